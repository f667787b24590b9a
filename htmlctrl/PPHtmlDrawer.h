// The HTML drawer: lays out a short text in a small HTML and CSS subset (runs, images, links,
// rules, tables) in a measuring pass and draws it from the recorded lines in a drawing pass.
#pragma once

#include "HtmlMarkup.h"
#include "LinkOpen.h"
#include "PPDrawManager.h"

#include <UniqueHandle.h>
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

  void SetMaxWidth(int width) { m_maxWidth = width < 0 ? 0 : width; }
  int GetMaxWidth() const { return m_maxWidth; }
  void SetCallbackHyperlink(HWND window, UINT message, LPARAM param = 0);
  void SetCallbackMessage(HWND window, UINT message, LPARAM param = 0);
  // A module for "iddll" images; an owned one is freed with the drawer.
  void SetResourceModule(HMODULE module, bool owned);
  // Loads the file as a resource module (data only, none of its code runs).
  bool SetResourceDll(const std::wstring& path);
  void EnableOutput(bool enabled) { m_markup.SetEnabled(enabled); }
  void SetNewlinesBreak(bool on) { m_newlinesBreak = on; }
  // The text between the first and second newline of a string resource.
  static std::wstring GetStringSecondField(UINT id);

  CPPDrawManager& GetDrawManager() { return m_drawManager; }
  const std::vector<LineInfo>& Lines() const { return m_lines; }
  const std::vector<HotArea>& HotAreas() const { return m_hotAreas; }
  const std::vector<TableGeometry>& Tables() const { return m_tables; }
  const std::vector<AnimatedImage>& Animations() const { return m_animations; }
  int GetHotLink() const { return m_hotLink; }

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
  bool InHotLink() const { return m_style.link_kind != 0 && m_linkCounter == m_hotLink; }

  void PushStyle(const wchar_t* name);
  void PopStyle(const wchar_t* name);
  void ApplyTableAttributes(const HtmlAttributes& attributes, bool table_form);
  void MakeFont();
  COLORREF Resolve(COLORREF colour) const;
  void DrawTableBackground(const RECT& rect);
  LineInfo* CurrentLine();

  HtmlMarkup m_markup;
  CPPDrawManager m_drawManager;

  // Pass state.
  HDC m_dc = nullptr;
  bool m_measuring = false;
  HtmlStyle m_style;
  std::vector<HtmlStyle> m_stack;
  win::UniqueFont m_font;  // the pass's font, selected into m_dc while the pass runs
  TEXTMETRICW m_tm = {};
  LengthMetrics m_metrics;
  int m_left = 0, m_right = 0, m_lineWidth = 0, m_x = 0, m_y = 0;
  int m_stretchWidth = 0;
  bool m_lineEmpty = true;  // nothing placed on the current line yet (both passes decide by it)
  int m_justifyRoom = 0, m_justifySpaces = 0;
  size_t m_lineIndex = 0;
  int m_tableIndex = -1;
  int m_linkCounter = -1;
  int m_animationIndex = -1;

  std::wstring m_text;
  int m_maxWidth = 0;
  // Cells with a width of their own being laid out: text inside them wraps at that width even
  // without a maximum width.
  int m_fixedCells = 0;
  int m_tabWidth = 32;
  bool m_newlinesBreak = true;
  std::vector<LineInfo> m_lines;
  std::vector<HotArea> m_hotAreas;
  std::vector<AnimatedImage> m_animations;
  std::vector<TableGeometry> m_tables;
  int m_hotLink = -2;
  HWND m_linkWindow = nullptr;
  UINT m_linkMessage = 0;
  LPARAM m_linkParam = 0;
  HWND m_messageWindow = nullptr;
  UINT m_messageMessage = 0;
  LPARAM m_messageParam = 0;
  htmlctrl::HandCursor m_handCursor;
  HIMAGELIST m_imageList = nullptr;
  HMODULE m_resourceModule = nullptr;  // the module in use, owned or not
  win::UniqueModule m_ownedModule;     // the same module when the drawer owns it
  // Shadow of images drawn with the "s" style letter.
  int m_shadowDx = 4, m_shadowDy = 4, m_shadowDepthX = 7, m_shadowDepthY = 7, m_shadowDarkness = 50;
  bool m_shadowGradient = true;
  COLORREF m_shadowColour;
};
