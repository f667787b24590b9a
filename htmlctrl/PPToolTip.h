// The HTML tooltip: a borderless top-most popup with a rounded body and a pointer whose point
// sits on the cursor, showing HTML text for the tools (rectangles of windows) its owner
// registers, with show and hide delays, fades and a soft shadow.
#pragma once

#include "GdiOwners.h"
#include "PPHtmlDrawer.h"

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class CPPToolTip {
 public:
  // Messages: the notify window is asked for a tool's text with WM_NOTIFY of this code, and
  // the drawer asks the tip to redraw with the second one.
  static constexpr UINT kTextRequest = WM_USER + 100;
  static constexpr UINT kRedrawRequest = WM_USER + 101;
  enum Timers : UINT {
    kShowTimer = 256,
    kHideTimer = 257,
    kFadeInTimer = 258,
    kFadeOutTimer = 259,
    kAnimationTimer = 260
  };
  enum State { kHidden = 0, kAppearing = 1, kShown = 2, kDisappearing = 3 };
  // Which tool fields the tool sets itself; the others take the tip's defaults when shown.
  enum Mask {
    kMaskValue = 0x01,
    kMaskEffect = 0x02,
    kMaskColours = 0x04,
    kMaskDirection = 0x08,
    kMaskBehaviour = 0x10,
    kMaskTransparency = 0x20,
  };
  enum Behaviour {
    kMultipleShow = 0x01,
    kTrackMouse = 0x02,
    kRestartHideOnMove = 0x04,
    kStayOverTip = 0x08,
    kNoAutoHide = 0x10,
  };
  // The side the pointer sits on (the tip lies on the other side of the cursor), plus where
  // along that side: 0 near the start, 1 near the end, 2 centred.
  enum Direction { kTopEdge = 0, kBottomEdge = 16, kLeftEdge = 32, kRightEdge = 48 };

  struct Tool {
    int id = 0;
    RECT rect = {};  // client coordinates of its window; empty on a window's only tool: all of it
    std::wstring text;
    int mask = 0;
    int value = 0;
    int direction = 0;
    int effect = 0;
    int behaviour = 0;
    BYTE granularity = 0;
    BYTE transparency = 0;  // percent
    COLORREF colour1 = 0, colour2 = 0, colour3 = 0;
  };

  // Where a tip goes for a cursor point: its final direction, its window rectangle (screen),
  // the anchor point and body inside that window, and the pointer triangle.
  struct Placement {
    int direction = 0;
    RECT window = {};
    POINT anchor = {};
    RECT body = {};
    POINT triangle[3] = {};
  };
  static Placement Place(POINT cursor, SIZE body, int direction, const RECT& screen, int anchor_width,
                         int anchor_height, int anchor_offset);

  // Registers the window class once; throws std::runtime_error when it cannot.
  CPPToolTip();
  virtual ~CPPToolTip();
  CPPToolTip(const CPPToolTip&) = delete;
  CPPToolTip& operator=(const CPPToolTip&) = delete;

  BOOL Create(HWND parent);
  virtual void DestroyWindow();
  HWND GetSafeHwnd() const { return window_; }

  void AddTool(HWND window, const Tool& tool);
  BOOL GetTool(HWND window, int id, Tool& tool) const;
  void RemoveTool(HWND window, int id);
  // The owner passes every message it sees.
  void RelayEvent(const MSG& message);
  void HideAll();

  virtual void OnDrawBorder(HDC dc, HRGN region);
  void SetBorder(COLORREF colour);

  // Settings the owner writes.
  void SetNotify(HWND window) { notify_ = window; }
  void SetMaxTipWidth(int width) { drawer_.SetMaxWidth(width); }
  int GetMaxTipWidth() const { return drawer_.GetMaxWidth(); }
  void SetInitialDelay(UINT ms) { initial_delay_ = ms; }
  void SetAutoHideDelay(UINT ms) { autohide_delay_ = ms; }
  UINT GetAutoHideDelay() const { return autohide_delay_; }
  void SetFadeDelays(UINT fade_in_ms, UINT fade_out_ms) {
    fade_in_delay_ = fade_in_ms;
    fade_out_delay_ = fade_out_ms;
  }
  void EnableFades(bool fade_in, bool fade_out) {
    fade_in_on_ = fade_in;
    fade_out_on_ = fade_out;
  }
  // The cursor position read when the show delay ends (GetCursorPos unless replaced).
  void SetCursorQuery(std::function<POINT()> query) { cursor_query_ = std::move(query); }

  // Timer steps, run by WM_TIMER; public so that the delay and fade machine can be driven
  // step by step.
  void OnTimer(UINT id);

  int GetState() const { return state_; }
  int GetTransparency() const { return transparency_; }
  HWND GetCurrentToolWindow() const { return current_window_; }
  const Tool& GetCurrentTool() const { return current_; }
  const Placement& GetPlacement() const { return placement_; }
  bool IsTimerArmed(UINT id) const { return armed_.count(id) != 0; }
  UINT TimerInterval(UINT id) const {
    auto found = armed_.find(id);
    return found == armed_.end() ? 0 : found->second;
  }
  // What lay on the screen under the tip when it was shown.
  HBITMAP GetSavedScreen() const { return saved_screen_.get(); }

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnMouseMove(POINT point);
  bool FindTool(POINT screen, HWND& window, Tool& tool) const;
  void QueueTool(HWND window, const Tool& tool);
  void StartAutoHide();
  void BeginHide();
  void ForgetCurrent();
  bool ShowPending();
  void Draw(HDC dc, int transparency);
  void DrawOnWindow(int transparency);
  void StartTimer(UINT id, UINT interval);
  void StopTimer(UINT id);
  bool IsVisible() const { return window_ && IsWindowVisible(window_); }

  HWND window_ = nullptr;
  HWND parent_ = nullptr;
  HWND notify_ = nullptr;
  CPPHtmlDrawer drawer_;
  std::map<HWND, std::vector<Tool>> tools_;
  HWND current_window_ = nullptr;
  Tool current_;
  HWND pending_window_ = nullptr;
  Tool pending_;
  POINT last_point_ = {-32768, -32768};
  int state_ = kHidden;
  int transparency_ = 0;
  bool show_queued_ = false;
  bool queued_with_delay_ = false;
  std::map<UINT, UINT> armed_;
  std::function<POINT()> cursor_query_;

  UINT initial_delay_ = 500, autohide_delay_ = 5000, fade_in_delay_ = 0, fade_out_delay_ = 0;
  bool fade_in_on_ = true, fade_out_on_ = true;
  Tool defaults_;
  int corner_x_ = 16, corner_y_ = 16;
  int margin_x_ = 12, margin_y_ = 12;
  int anchor_width_ = 12, anchor_height_ = 16, anchor_offset_ = 16;
  int shadow_dx_ = 6, shadow_dy_ = 6, shadow_blur_x_ = 7, shadow_blur_y_ = 7, shadow_darkness_ = 50;
  bool shadow_blurred_ = true;
  bool redraw_on_request_ = true;

  // The shown tip.
  Placement placement_;
  RECT content_ = {};
  SIZE size_ = {};           // the window without its shadow
  htmlctrl::Region region_;  // the tip without its shadow, window coordinates
  htmlctrl::Bitmap background_;
  htmlctrl::Bitmap saved_screen_;
  htmlctrl::Brush border_;
  int border_x_ = 1, border_y_ = 1;
};

// The text request sent to the notify window; the handler may change the tool in place.
struct NM_PPTOOLTIP_DISPLAY {
  NMHDR hdr;
  HWND tool_window;
  POINT* point;
  CPPToolTip::Tool* tool;
};
