// The HTML drawer: lays out a short text in a small HTML and CSS subset (runs, images, links,
// rules, tables) in a measuring pass and draws it from the recorded lines in a drawing pass.
#pragma once

#include "HtmlMarkup.h"
#include "PPDrawManager.h"

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

class CPPHtmlDrawer {
 public:
  // One laid-out line.
  struct LineInfo {
    int width = 0;
    int height = 0;
    int ascent = 0;
    int descent = 0;
    int percent = 0;  // of the line taken by percentage-wide rules
    int align = 0;
    int spaces = 0;
    bool wrapped = false;
  };
  // A rectangle of a link, rebuilt by every drawing pass.
  struct HotArea {
    RECT rect;
    int kind;    // 1 hyperlink, 2 message link
    int number;  // the link's number in the pass
    std::wstring target;
  };
  struct AnimatedImage {
    int frame = 0;
    int count = 0;
    int tick = 0;
    int ticks_per_frame = 0;
  };
  struct TableCell {
    int col_span = 1;
    int row_span = 1;
    int width = 0;
    int height = 0;
    int content_height = 0;
    bool covered = false;
  };
  struct TableGeometry {
    int columns = 0;
    int rows = 0;
    std::vector<TableCell> cells;  // rows x columns
    std::vector<int> widths;
    std::vector<int> heights;
    std::vector<char> fixed_width;  // a column holds a cell with a "width" attribute
    TableCell& At(int row, int column) { return cells[static_cast<size_t>(row) * columns + column]; }
  };

  CPPHtmlDrawer();
  virtual ~CPPHtmlDrawer();
  CPPHtmlDrawer(const CPPHtmlDrawer&) = delete;
  CPPHtmlDrawer& operator=(const CPPHtmlDrawer&) = delete;

  // Prepares and measures text; gives its size (width + 1, height + 1), 0 x 0 when empty.
  SIZE PrepareOutput(HDC dc, const std::wstring& text);
  // Draws the prepared text with its top left corner at the rectangle's.
  void DrawPreparedOutput(HDC dc, const RECT& rect);

  // Mouse moved: TRUE when over a link with a target (the hand cursor was set).
  BOOL OnSetCursor(POINT point);
  int PtInHotArea(POINT point) const;
  LRESULT JumpToHyperlink(int area);
  // One animation tick; TRUE when some frame changed.
  BOOL OnTimer();

  void SetMaxWidth(int width) { max_width_ = width < 0 ? 0 : width; }
  int GetMaxWidth() const { return max_width_; }
  void SetCallbackHyperlink(HWND window, UINT message, LPARAM param = 0);
  void SetCallbackMessage(HWND window, UINT message, LPARAM param = 0);
  // A module for "iddll" images; an owned one is freed with the drawer.
  void SetResourceModule(HMODULE module, bool owned);
  // Loads the file as a resource module (data only, none of its code runs).
  bool SetResourceDll(const std::wstring& path);
  void EnableOutput(bool enabled) { markup_.SetEnabled(enabled); }
  void SetNewlinesBreak(bool on) { newlines_break_ = on; }
  // The text between the first and second newline of a string resource.
  static std::wstring GetStringSecondField(UINT id);

  CPPDrawManager& GetDrawManager() { return draw_manager_; }
  const std::vector<LineInfo>& Lines() const { return lines_; }
  const std::vector<HotArea>& HotAreas() const { return hot_areas_; }
  const std::vector<TableGeometry>& Tables() const { return tables_; }
  const std::vector<AnimatedImage>& Animations() const { return animations_; }
  int GetHotLink() const { return hot_link_; }

 private:
  struct ImageSpec;

  SIZE RunPass(bool measuring, const RECT& rect);
  SIZE LayoutBlock(const std::wstring& text, size_t begin, size_t end, const RECT& rect, int depth);
  SIZE LayoutStretch(const std::wstring& text, size_t begin, size_t end, const RECT& rect);
  SIZE LayoutTable(const std::wstring& text, size_t begin, size_t end, const RECT& rect, int depth);

  void HandleTag(const HtmlToken& token);
  void HandleText(const std::wstring& run);
  void PlacePiece(const std::wstring& piece);
  void StartLine();
  void EndLine(int count, bool wrapped);
  void HandleRule(const HtmlAttributes& attributes);
  void HandleImage(int kind, const HtmlAttributes& attributes);
  void HandleString(const HtmlAttributes& attributes);
  void PlaceBox(int width, int height, int* top);
  void AddHotArea(int left, int top, int right, int bottom);
  bool InHotLink() const { return style_.link_kind != 0 && link_counter_ == hot_link_; }

  void PushStyle(const wchar_t* name);
  void PopStyle(const wchar_t* name);
  void ApplyTableAttributes(const HtmlAttributes& attributes, bool table_form);
  void MakeFont();
  COLORREF Resolve(COLORREF colour) const;
  void DrawTableBackground(const RECT& rect);
  LineInfo* CurrentLine();

  HtmlMarkup markup_;
  CPPDrawManager draw_manager_;

  // Pass state.
  HDC dc_ = nullptr;
  bool measuring_ = false;
  HtmlStyle style_;
  std::vector<HtmlStyle> stack_;
  HFONT font_ = nullptr;
  TEXTMETRICW tm_ = {};
  LengthMetrics metrics_;
  int left_ = 0, right_ = 0, line_width_ = 0, x_ = 0, y_ = 0;
  int stretch_width_ = 0;
  bool line_empty_ = true;  // nothing placed on the current line yet (both passes decide by it)
  int justify_room_ = 0, justify_spaces_ = 0;
  size_t line_index_ = 0;
  int table_index_ = -1;
  int link_counter_ = -1;
  int animation_index_ = -1;

  std::wstring text_;
  int max_width_ = 0;
  // Cells with a width of their own being laid out: text inside them wraps at that width even
  // without a maximum width.
  int fixed_cells_ = 0;
  int tab_width_ = 32;
  bool newlines_break_ = true;
  std::vector<LineInfo> lines_;
  std::vector<HotArea> hot_areas_;
  std::vector<AnimatedImage> animations_;
  std::vector<TableGeometry> tables_;
  int hot_link_ = -2;
  HWND link_window_ = nullptr;
  UINT link_message_ = 0;
  LPARAM link_param_ = 0;
  HWND message_window_ = nullptr;
  UINT message_message_ = 0;
  LPARAM message_param_ = 0;
  HCURSOR hand_cursor_ = nullptr;
  bool hand_owned_ = false;
  HIMAGELIST image_list_ = nullptr;
  HMODULE resource_module_ = nullptr;
  bool module_owned_ = false;
  // Shadow of images drawn with the "s" style letter.
  int shadow_dx_ = 4, shadow_dy_ = 4, shadow_depth_x_ = 7, shadow_depth_y_ = 7, shadow_darkness_ = 50;
  bool shadow_gradient_ = true;
  COLORREF shadow_colour_;
};
