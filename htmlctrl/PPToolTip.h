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
  HWND GetSafeHwnd() const { return m_window; }

  void AddTool(HWND window, const Tool& tool);
  BOOL GetTool(HWND window, int id, Tool& tool) const;
  void RemoveTool(HWND window, int id);
  // The owner passes every message it sees.
  void RelayEvent(const MSG& message);
  void HideAll();

  virtual void OnDrawBorder(HDC dc, HRGN region);
  void SetBorder(COLORREF colour);

  // Settings the owner writes.
  void SetNotify(HWND window) { m_notify = window; }
  void SetMaxTipWidth(int width) { m_drawer.SetMaxWidth(width); }
  int GetMaxTipWidth() const { return m_drawer.GetMaxWidth(); }
  void SetInitialDelay(UINT ms) { m_initialDelay = ms; }
  void SetAutoHideDelay(UINT ms) { m_autohideDelay = ms; }
  UINT GetAutoHideDelay() const { return m_autohideDelay; }
  void SetFadeDelays(UINT fade_in_ms, UINT fade_out_ms) {
    m_fadeInDelay = fade_in_ms;
    m_fadeOutDelay = fade_out_ms;
  }
  void EnableFades(bool fade_in, bool fade_out) {
    m_fadeInOn = fade_in;
    m_fadeOutOn = fade_out;
  }
  // The cursor position read when the show delay ends (GetCursorPos unless replaced).
  void SetCursorQuery(std::function<POINT()> query) { m_cursorQuery = std::move(query); }

  // Timer steps, run by WM_TIMER; public so that the delay and fade machine can be driven
  // step by step.
  void OnTimer(UINT id);

  int GetState() const { return m_state; }
  int GetTransparency() const { return m_transparency; }
  HWND GetCurrentToolWindow() const { return m_currentWindow; }
  const Tool& GetCurrentTool() const { return m_current; }
  const Placement& GetPlacement() const { return m_placement; }
  bool IsTimerArmed(UINT id) const { return m_armed.count(id) != 0; }
  UINT TimerInterval(UINT id) const {
    auto found = m_armed.find(id);
    return found == m_armed.end() ? 0 : found->second;
  }
  // What lay on the screen under the tip when it was shown.
  HBITMAP GetSavedScreen() const { return m_savedScreen.get(); }

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
  bool IsVisible() const { return m_window && IsWindowVisible(m_window); }

  HWND m_window = nullptr;
  HWND m_parent = nullptr;
  HWND m_notify = nullptr;
  CPPHtmlDrawer m_drawer;
  std::map<HWND, std::vector<Tool>> m_tools;
  HWND m_currentWindow = nullptr;
  Tool m_current;
  HWND m_pendingWindow = nullptr;
  Tool m_pending;
  POINT m_lastPoint = {-32768, -32768};
  int m_state = kHidden;
  int m_transparency = 0;
  bool m_showQueued = false;
  bool m_queuedWithDelay = false;
  std::map<UINT, UINT> m_armed;
  std::function<POINT()> m_cursorQuery;

  UINT m_initialDelay = 500, m_autohideDelay = 5000, m_fadeInDelay = 0, m_fadeOutDelay = 0;
  bool m_fadeInOn = true, m_fadeOutOn = true;
  Tool m_defaults;
  int m_cornerX = 16, m_cornerY = 16;
  int m_marginX = 12, m_marginY = 12;
  int m_anchorWidth = 12, m_anchorHeight = 16, m_anchorOffset = 16;
  int m_shadowDx = 6, m_shadowDy = 6, m_shadowBlurX = 7, m_shadowBlurY = 7, m_shadowDarkness = 50;
  bool m_shadowBlurred = true;
  bool m_redrawOnRequest = true;

  // The shown tip.
  Placement m_placement;
  RECT m_content = {};
  SIZE m_size = {};           // the window without its shadow
  htmlctrl::Region m_region;  // the tip without its shadow, window coordinates
  htmlctrl::Bitmap m_background;
  htmlctrl::Bitmap m_savedScreen;
  htmlctrl::Brush m_border;
  int m_borderX = 1, m_borderY = 1;
};

// The text request sent to the notify window; the handler may change the tool in place.
struct NM_PPTOOLTIP_DISPLAY {
  NMHDR hdr;
  HWND tool_window;
  POINT* point;
  CPPToolTip::Tool* tool;
};
