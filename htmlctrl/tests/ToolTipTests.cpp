// The HTML tooltip: where it goes for a cursor point, its delay and fade machine driven by
// its timer steps with an injected cursor position, the text request, and what it draws.
#include "LightTestSupport.h"
#include "PPToolTip.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Tip = CPPToolTip;

TEST(ToolTipPlacement, FitsTheVirtualScreen) {
  const RECT screen = {0, 0, 1024, 768};
  const RECT wide = {-1280, -200, 1024, 768};  // a second monitor left of and above the first
  const SIZE body = {200, 100};
  // Anchor height 16, offset 16, width 12. Window = body grown by 16 across the pointer side.
  struct Case {
    const char* what;
    POINT cursor;
    int direction;
    RECT screen;
    int final_direction;
    RECT window;
    RECT body;
  } cases[] = {
      {"above, pointer near the left end", {500, 400}, 16, screen, 16, {484, 284, 684, 400}, {0, 0, 200, 100}},
      {"below", {500, 400}, 0, screen, 0, {484, 400, 684, 516}, {0, 16, 200, 116}},
      {"near the right edge: right end", {1000, 400}, 16, screen, 17, {816, 284, 1016, 400}, {0, 0, 200, 100}},
      {"right end near the left edge: left end", {30, 400}, 17, screen, 16, {14, 284, 214, 400}, {0, 0, 200, 100}},
      {"centred", {500, 400}, 18, screen, 18, {400, 284, 600, 400}, {0, 0, 200, 100}},
      {"centred next to the left edge: left end", {10, 400}, 18, screen, 16, {0, 284, 200, 400}, {0, 0, 200, 100}},
      {"near the top: flips below", {500, 50}, 16, screen, 0, {484, 50, 684, 166}, {0, 16, 200, 116}},
      {"near the bottom: flips above", {500, 700}, 0, screen, 16, {484, 584, 684, 700}, {0, 0, 200, 100}},
      {"right of the cursor", {500, 400}, 32, screen, 32, {500, 384, 716, 484}, {16, 0, 216, 100}},
      {"right of the cursor at the right edge: flips left",
       {900, 400},
       32,
       screen,
       48,
       {684, 384, 900, 484},
       {0, 0, 200, 100}},
      {"left of the cursor at the left edge: flips right",
       {100, 400},
       48,
       screen,
       32,
       {100, 384, 316, 484},
       {16, 0, 216, 100}},
      {"left of the cursor near the bottom: bottom end",
       {500, 740},
       48,
       screen,
       49,
       {284, 656, 500, 756},
       {0, 0, 200, 100}},
      {"starts at the screen's left edge", {5, 400}, 16, screen, 16, {0, 284, 200, 400}, {0, 0, 200, 100}},
      {"second monitor: near its top flips below",
       {-1000, -150},
       16,
       wide,
       0,
       {-1016, -150, -816, -34},
       {0, 16, 200, 116}},
      {"second monitor: room above", {-1000, 0}, 16, wide, 16, {-1016, -116, -816, 0}, {0, 0, 200, 100}},
  };
  for (const Case& c : cases) {
    const Tip::Placement p = Tip::Place(c.cursor, body, c.direction, c.screen, 12, 16, 16);
    EXPECT_EQ(c.final_direction, p.direction) << c.what;
    EXPECT_EQ(c.window.left, p.window.left) << c.what;
    EXPECT_EQ(c.window.top, p.window.top) << c.what;
    EXPECT_EQ(c.window.right, p.window.right) << c.what;
    EXPECT_EQ(c.window.bottom, p.window.bottom) << c.what;
    EXPECT_EQ(c.body.left, p.body.left) << c.what;
    EXPECT_EQ(c.body.top, p.body.top) << c.what;
    // The pointer's point is the cursor, and the window stays on the virtual screen.
    EXPECT_EQ(c.cursor.x, p.window.left + p.anchor.x) << c.what;
    EXPECT_EQ(c.cursor.y, p.window.top + p.anchor.y) << c.what;
    EXPECT_EQ(p.anchor.x, p.triangle[0].x);
    EXPECT_GE(p.window.left, c.screen.left) << c.what;
    EXPECT_LE(p.window.right, c.screen.right) << c.what;
  }
  // The pointer's base lies on the body edge, anchor width apart.
  const Tip::Placement below = Tip::Place(POINT{500, 400}, body, 0, screen, 12, 16, 16);
  EXPECT_EQ(16, below.triangle[1].y);
  EXPECT_EQ(16, below.triangle[1].x);
  EXPECT_EQ(28, below.triangle[2].x);
}

// A parent window with two tool windows, which answers the tip's text requests.
class ToolTipMachine : public ::testing::Test {
 protected:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NOTIFY) {
      auto* request = reinterpret_cast<NM_PPTOOLTIP_DISPLAY*>(lparam);
      if (request->hdr.code == Tip::kTextRequest) {
        auto* self = reinterpret_cast<ToolTipMachine*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        ++self->m_requests;
        self->m_requestedWindow = request->tool_window;
        request->tool->text = self->m_text;
        return 0;
      }
    }
    if (message == WM_ERASEBKGND) {
      RECT client;
      GetClientRect(window, &client);
      HBRUSH brush = CreateSolidBrush(RGB(0, 160, 0));
      FillRect(reinterpret_cast<HDC>(wparam), &client, brush);
      DeleteObject(brush);
      return 1;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  ToolTipMachine() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Procedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvToolTipTestParent";
    RegisterClassW(&wc);
    // Top-most, so that windows of other test programs on the same display cannot be the
    // window under the test's points.
    m_parent = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 100, 100,
                               500, 400, nullptr, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(m_parent, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // Tool windows of the same class: they erase in the same green.
    m_first = CreateWindowW(wc.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 250, 400, m_parent, nullptr,
                            wc.hInstance, nullptr);
    m_second = CreateWindowW(wc.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 250, 0, 250, 400, m_parent, nullptr,
                             wc.hInstance, nullptr);
    TestWindow::Pump();
    EXPECT_TRUE(m_tip.Create(m_parent));
    m_tip.SetNotify(m_parent);
    // Delays that never elapse during a test: every step is driven by hand.
    m_tip.SetInitialDelay(600000);
    m_tip.SetAutoHideDelay(600000);
    m_tip.SetCursorQuery([this] { return m_cursor; });
    Tip::Tool whole;
    whole.id = 1;
    m_tip.AddTool(m_first, whole);
    m_tip.AddTool(m_second, whole);
  }
  ~ToolTipMachine() override {
    m_tip.DestroyWindow();
    DestroyWindow(m_parent);
  }

  void Move(POINT screen) {
    MSG msg = {};
    msg.hwnd = WindowFromPoint(screen);
    msg.message = WM_MOUSEMOVE;
    msg.pt = screen;
    m_tip.RelayEvent(msg);
  }
  void Relay(UINT message) {
    MSG msg = {};
    msg.hwnd = m_first;
    msg.message = message;
    msg.pt = m_cursor;
    m_tip.RelayEvent(msg);
  }
  // Moves there and rests: the show delay ends with the cursor still there.
  void MoveAndRest(POINT screen) {
    m_cursor = screen;
    Move(screen);
    ASSERT_TRUE(m_tip.IsTimerArmed(Tip::kShowTimer));
    m_tip.OnTimer(Tip::kShowTimer);
  }

  HWND m_parent = nullptr, m_first = nullptr, m_second = nullptr;
  Tip m_tip;
  POINT m_cursor = {0, 0};
  std::wstring m_text = L"<b>Tip</b> text";
  int m_requests = 0;
  HWND m_requestedWindow = nullptr;
};

TEST_F(ToolTipMachine, DelaysShowHideAndTheCursorRule) {
  const POINT a = {300, 400}, b = {302, 401};
  m_cursor = a;
  Move(a);
  EXPECT_TRUE(m_tip.IsTimerArmed(Tip::kShowTimer));
  EXPECT_EQ(600000u, m_tip.TimerInterval(Tip::kShowTimer));
  // The same point again changes nothing.
  Move(a);
  EXPECT_EQ(0, m_requests);
  m_tip.OnTimer(Tip::kShowTimer);
  EXPECT_EQ(Tip::kShown, m_tip.GetState());
  EXPECT_EQ(1, m_requests);
  EXPECT_EQ(m_first, m_requestedWindow);
  EXPECT_TRUE(IsWindowVisible(m_tip.GetSafeHwnd()));
  EXPECT_EQ(0, m_tip.GetTransparency());
  EXPECT_EQ(600000u, m_tip.TimerInterval(Tip::kHideTimer));
  // The pointer's point is on the cursor.
  RECT window;
  GetWindowRect(m_tip.GetSafeHwnd(), &window);
  EXPECT_EQ(a.x, window.left + m_tip.GetPlacement().anchor.x);
  EXPECT_EQ(a.y, window.top + m_tip.GetPlacement().anchor.y);

  // Without fades the auto-hide step hides at once.
  m_tip.OnTimer(Tip::kHideTimer);
  EXPECT_EQ(Tip::kHidden, m_tip.GetState());
  EXPECT_FALSE(IsWindowVisible(m_tip.GetSafeHwnd()));
  EXPECT_FALSE(m_tip.IsTimerArmed(Tip::kHideTimer));

  // Moving inside the same tool does not show it again (no multiple-show behaviour).
  Move(b);
  EXPECT_FALSE(m_tip.IsTimerArmed(Tip::kShowTimer));
  // Another tool is queued; the cursor moving meanwhile prevents the show.
  const POINT c = {400, 300};
  Move(c);
  EXPECT_TRUE(m_tip.IsTimerArmed(Tip::kShowTimer));
  m_cursor = POINT{401, 300};
  m_tip.OnTimer(Tip::kShowTimer);
  EXPECT_EQ(Tip::kHidden, m_tip.GetState());
  EXPECT_EQ(1, m_requests);
  // Resting there shows it for the second window.
  MoveAndRest(POINT{410, 300});
  EXPECT_EQ(Tip::kShown, m_tip.GetState());
  EXPECT_EQ(m_second, m_requestedWindow);
  // A key press, a click or deactivating the application hides the tip at once.
  const UINT hiding[] = {WM_KEYDOWN, WM_RBUTTONDOWN, WM_MOUSEWHEEL, WM_NCLBUTTONDOWN};
  for (UINT message : hiding) {
    Tip::Tool multiple;
    multiple.id = 1;
    multiple.mask = Tip::kMaskBehaviour;
    multiple.behaviour = Tip::kMultipleShow;
    m_tip.AddTool(m_second, multiple);
    Move(POINT{700, 700});  // away from every tool: the current one is forgotten
    MoveAndRest(POINT{m_cursor.x + 1, 300});
    ASSERT_EQ(Tip::kShown, m_tip.GetState()) << message;
    Relay(message);
    EXPECT_EQ(Tip::kHidden, m_tip.GetState()) << message;
    EXPECT_FALSE(IsWindowVisible(m_tip.GetSafeHwnd())) << message;
  }
  MoveAndRest(POINT{m_cursor.x + 1, 300});
  SendMessageW(m_tip.GetSafeHwnd(), WM_ACTIVATEAPP, FALSE, 0);
  EXPECT_FALSE(IsWindowVisible(m_tip.GetSafeHwnd()));
  // Leaving every tool stops a pending show.
  Move(POINT{m_cursor.x + 2, 300});
  Move(POINT{700, 700});
  EXPECT_FALSE(m_tip.IsTimerArmed(Tip::kShowTimer));
  // An empty text shows nothing.
  m_text.clear();
  MoveAndRest(POINT{100, 150});
  EXPECT_EQ(Tip::kHidden, m_tip.GetState());
  EXPECT_FALSE(IsWindowVisible(m_tip.GetSafeHwnd()));
}

TEST_F(ToolTipMachine, FadesAndAQueuedShow) {
  m_tip.SetFadeDelays(600000, 600000);
  Tip::Tool see_through;
  see_through.id = 1;
  see_through.mask = Tip::kMaskTransparency;
  see_through.transparency = 30;
  m_tip.AddTool(m_first, see_through);
  MoveAndRest(POINT{200, 400});
  EXPECT_EQ(Tip::kAppearing, m_tip.GetState());
  EXPECT_EQ(100, m_tip.GetTransparency());
  EXPECT_TRUE(m_tip.IsTimerArmed(Tip::kFadeInTimer));
  EXPECT_FALSE(m_tip.IsTimerArmed(Tip::kHideTimer));
  const int fade_in[] = {80, 60, 40, 30};
  for (int expected : fade_in) {
    m_tip.OnTimer(Tip::kFadeInTimer);
    EXPECT_EQ(expected, m_tip.GetTransparency());
  }
  EXPECT_EQ(Tip::kShown, m_tip.GetState());
  EXPECT_FALSE(m_tip.IsTimerArmed(Tip::kFadeInTimer));
  EXPECT_TRUE(m_tip.IsTimerArmed(Tip::kHideTimer));

  m_tip.OnTimer(Tip::kHideTimer);
  EXPECT_EQ(Tip::kDisappearing, m_tip.GetState());
  EXPECT_TRUE(m_tip.IsTimerArmed(Tip::kFadeOutTimer));
  // A tool entered while the tip fades out waits for the fade's end.
  m_cursor = POINT{400, 300};
  Move(m_cursor);
  EXPECT_FALSE(m_tip.IsTimerArmed(Tip::kShowTimer));
  const int fade_out[] = {50, 70, 90, 100};
  for (int expected : fade_out) {
    EXPECT_TRUE(IsWindowVisible(m_tip.GetSafeHwnd()));
    m_tip.OnTimer(Tip::kFadeOutTimer);
    EXPECT_EQ(expected, m_tip.GetTransparency());
  }
  EXPECT_EQ(Tip::kHidden, m_tip.GetState());
  EXPECT_FALSE(IsWindowVisible(m_tip.GetSafeHwnd()));
  EXPECT_TRUE(m_tip.IsTimerArmed(Tip::kShowTimer));
  m_tip.OnTimer(Tip::kShowTimer);
  EXPECT_EQ(Tip::kAppearing, m_tip.GetState());
  EXPECT_EQ(m_second, m_tip.GetCurrentToolWindow());
}

TEST_F(ToolTipMachine, AutoHideDelayAndBehaviours) {
  struct Case {
    UINT delay;
    int behaviour;
    UINT armed;  // 0: no auto-hide timer
  } cases[] = {{20000, 0, 20000}, {0, 0, 0}, {20000, Tip::kNoAutoHide, 0}};
  int x = 100;
  for (const Case& c : cases) {
    m_tip.SetAutoHideDelay(c.delay);
    Tip::Tool tool;
    tool.id = 1;
    tool.mask = Tip::kMaskBehaviour;
    tool.behaviour = c.behaviour | Tip::kMultipleShow;
    m_tip.AddTool(m_first, tool);
    MoveAndRest(POINT{x++, 300});
    EXPECT_EQ(Tip::kShown, m_tip.GetState());
    EXPECT_EQ(c.armed, m_tip.TimerInterval(Tip::kHideTimer)) << c.delay << " " << c.behaviour;
    m_tip.HideAll();
  }
  EXPECT_EQ(20000u, m_tip.GetAutoHideDelay());
  // Moving inside the shown tool only restarts the auto-hide delay.
  m_tip.SetAutoHideDelay(600000);
  Tip::Tool restart;
  restart.id = 1;
  restart.mask = Tip::kMaskBehaviour;
  restart.behaviour = Tip::kRestartHideOnMove;
  m_tip.AddTool(m_first, restart);
  MoveAndRest(POINT{150, 300});
  m_tip.OnTimer(Tip::kHideTimer);  // hidden; the same tool stays current
  m_tip.SetAutoHideDelay(700000);
  Move(POINT{151, 300});
  EXPECT_EQ(700000u, m_tip.TimerInterval(Tip::kHideTimer));
  EXPECT_FALSE(m_tip.IsTimerArmed(Tip::kShowTimer));
}

TEST_F(ToolTipMachine, ToolsAndEmptyRectangles) {
  Tip::Tool a, b, got;
  a.id = 1;
  b.id = 2;
  b.rect = RECT{0, 0, 10, 10};
  m_tip.AddTool(m_second, b);  // with two tools an empty rectangle matches nothing
  Move(POINT{400, 300});
  EXPECT_FALSE(m_tip.IsTimerArmed(Tip::kShowTimer));
  MoveAndRest(POINT{355, 105});
  EXPECT_EQ(1, m_requests);
  EXPECT_TRUE(m_tip.GetTool(m_second, 2, got));
  EXPECT_EQ(10, got.rect.right);
  b.text = L"replaced";
  m_tip.AddTool(m_second, b);  // an equal rectangle replaces
  EXPECT_TRUE(m_tip.GetTool(m_second, 2, got));
  EXPECT_EQ(L"replaced", got.text);
  m_tip.RemoveTool(m_second, 2);
  m_tip.RemoveTool(m_second, 1);
  EXPECT_FALSE(m_tip.GetTool(m_second, 1, got));
  EXPECT_FALSE(m_tip.GetTool(m_second, 2, got));
  EXPECT_TRUE(m_tip.GetTool(m_first, 1, got));
}

TEST_F(ToolTipMachine, ShadowComposesOverWhatLayBelow) {
  MoveAndRest(POINT{300, 400});
  ASSERT_EQ(Tip::kShown, m_tip.GetState());
  // The saved picture is the parent's green, read before the tip covered it.
  TestCanvas saved(40, 40);
  HDC source = CreateCompatibleDC(saved.dc());
  HGDIOBJ old = SelectObject(source, m_tip.GetSavedScreen());
  BitBlt(saved.dc(), 0, 0, 40, 40, source, 0, 0, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
  EXPECT_COLOUR(RGB(0, 160, 0), saved.At(20, 20));

  // On screen: the body in the info colour with ink, the shadow darker than the green beside
  // the body, and the green untouched beyond the shadow's reach.
  RedrawWindow(m_tip.GetSafeHwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  RECT window;
  GetWindowRect(m_tip.GetSafeHwnd(), &window);
  TestCanvas shot(window.right - window.left, window.bottom - window.top);
  TestWindow::Capture(m_tip.GetSafeHwnd(), shot);
  const RECT body = m_tip.GetPlacement().body;
  EXPECT_COLOUR(GetSysColor(COLOR_INFOBK), shot.At(body.left + 4, (body.top + body.bottom) / 2));
  EXPECT_GT(
      shot.CountNot(GetSysColor(COLOR_INFOBK), RECT{body.left + 12, body.top + 12, body.right - 12, body.bottom - 12}),
      0);
  const COLORREF shadow = shot.At(body.right + 2, (body.top + body.bottom) / 2);
  EXPECT_LT(GetGValue(shadow), 160) << std::hex << shadow;
  EXPECT_EQ(0u, GetRValue(shadow));
}

}  // namespace
