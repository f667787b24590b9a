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
        ++self->requests_;
        self->requested_window_ = request->tool_window;
        request->tool->text = self->text_;
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
    parent_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 100, 100,
                              500, 400, nullptr, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(parent_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // Tool windows of the same class: they erase in the same green.
    first_ = CreateWindowW(wc.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 250, 400, parent_, nullptr, wc.hInstance,
                           nullptr);
    second_ = CreateWindowW(wc.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 250, 0, 250, 400, parent_, nullptr,
                            wc.hInstance, nullptr);
    TestWindow::Pump();
    EXPECT_TRUE(tip_.Create(parent_));
    tip_.SetNotify(parent_);
    // Delays that never elapse during a test: every step is driven by hand.
    tip_.SetInitialDelay(600000);
    tip_.SetAutoHideDelay(600000);
    tip_.SetCursorQuery([this] { return cursor_; });
    Tip::Tool whole;
    whole.id = 1;
    tip_.AddTool(first_, whole);
    tip_.AddTool(second_, whole);
  }
  ~ToolTipMachine() override {
    tip_.DestroyWindow();
    DestroyWindow(parent_);
  }

  void Move(POINT screen) {
    MSG msg = {};
    msg.hwnd = WindowFromPoint(screen);
    msg.message = WM_MOUSEMOVE;
    msg.pt = screen;
    tip_.RelayEvent(msg);
  }
  void Relay(UINT message) {
    MSG msg = {};
    msg.hwnd = first_;
    msg.message = message;
    msg.pt = cursor_;
    tip_.RelayEvent(msg);
  }
  // Moves there and rests: the show delay ends with the cursor still there.
  void MoveAndRest(POINT screen) {
    cursor_ = screen;
    Move(screen);
    ASSERT_TRUE(tip_.IsTimerArmed(Tip::kShowTimer));
    tip_.OnTimer(Tip::kShowTimer);
  }

  HWND parent_ = nullptr, first_ = nullptr, second_ = nullptr;
  Tip tip_;
  POINT cursor_ = {0, 0};
  std::wstring text_ = L"<b>Tip</b> text";
  int requests_ = 0;
  HWND requested_window_ = nullptr;
};

TEST_F(ToolTipMachine, DelaysShowHideAndTheCursorRule) {
  const POINT a = {300, 400}, b = {302, 401};
  cursor_ = a;
  Move(a);
  EXPECT_TRUE(tip_.IsTimerArmed(Tip::kShowTimer));
  EXPECT_EQ(600000u, tip_.TimerInterval(Tip::kShowTimer));
  // The same point again changes nothing.
  Move(a);
  EXPECT_EQ(0, requests_);
  tip_.OnTimer(Tip::kShowTimer);
  EXPECT_EQ(Tip::kShown, tip_.GetState());
  EXPECT_EQ(1, requests_);
  EXPECT_EQ(first_, requested_window_);
  EXPECT_TRUE(IsWindowVisible(tip_.GetSafeHwnd()));
  EXPECT_EQ(0, tip_.GetTransparency());
  EXPECT_EQ(600000u, tip_.TimerInterval(Tip::kHideTimer));
  // The pointer's point is on the cursor.
  RECT window;
  GetWindowRect(tip_.GetSafeHwnd(), &window);
  EXPECT_EQ(a.x, window.left + tip_.GetPlacement().anchor.x);
  EXPECT_EQ(a.y, window.top + tip_.GetPlacement().anchor.y);

  // Without fades the auto-hide step hides at once.
  tip_.OnTimer(Tip::kHideTimer);
  EXPECT_EQ(Tip::kHidden, tip_.GetState());
  EXPECT_FALSE(IsWindowVisible(tip_.GetSafeHwnd()));
  EXPECT_FALSE(tip_.IsTimerArmed(Tip::kHideTimer));

  // Moving inside the same tool does not show it again (no multiple-show behaviour).
  Move(b);
  EXPECT_FALSE(tip_.IsTimerArmed(Tip::kShowTimer));
  // Another tool is queued; the cursor moving meanwhile prevents the show.
  const POINT c = {400, 300};
  Move(c);
  EXPECT_TRUE(tip_.IsTimerArmed(Tip::kShowTimer));
  cursor_ = POINT{401, 300};
  tip_.OnTimer(Tip::kShowTimer);
  EXPECT_EQ(Tip::kHidden, tip_.GetState());
  EXPECT_EQ(1, requests_);
  // Resting there shows it for the second window.
  MoveAndRest(POINT{410, 300});
  EXPECT_EQ(Tip::kShown, tip_.GetState());
  EXPECT_EQ(second_, requested_window_);
  // A key press, a click or deactivating the application hides the tip at once.
  const UINT hiding[] = {WM_KEYDOWN, WM_RBUTTONDOWN, WM_MOUSEWHEEL, WM_NCLBUTTONDOWN};
  for (UINT message : hiding) {
    Tip::Tool multiple;
    multiple.id = 1;
    multiple.mask = Tip::kMaskBehaviour;
    multiple.behaviour = Tip::kMultipleShow;
    tip_.AddTool(second_, multiple);
    Move(POINT{700, 700});  // away from every tool: the current one is forgotten
    MoveAndRest(POINT{cursor_.x + 1, 300});
    ASSERT_EQ(Tip::kShown, tip_.GetState()) << message;
    Relay(message);
    EXPECT_EQ(Tip::kHidden, tip_.GetState()) << message;
    EXPECT_FALSE(IsWindowVisible(tip_.GetSafeHwnd())) << message;
  }
  MoveAndRest(POINT{cursor_.x + 1, 300});
  SendMessageW(tip_.GetSafeHwnd(), WM_ACTIVATEAPP, FALSE, 0);
  EXPECT_FALSE(IsWindowVisible(tip_.GetSafeHwnd()));
  // Leaving every tool stops a pending show.
  Move(POINT{cursor_.x + 2, 300});
  Move(POINT{700, 700});
  EXPECT_FALSE(tip_.IsTimerArmed(Tip::kShowTimer));
  // An empty text shows nothing.
  text_.clear();
  MoveAndRest(POINT{100, 150});
  EXPECT_EQ(Tip::kHidden, tip_.GetState());
  EXPECT_FALSE(IsWindowVisible(tip_.GetSafeHwnd()));
}

TEST_F(ToolTipMachine, FadesAndAQueuedShow) {
  tip_.SetFadeDelays(600000, 600000);
  Tip::Tool see_through;
  see_through.id = 1;
  see_through.mask = Tip::kMaskTransparency;
  see_through.transparency = 30;
  tip_.AddTool(first_, see_through);
  MoveAndRest(POINT{200, 400});
  EXPECT_EQ(Tip::kAppearing, tip_.GetState());
  EXPECT_EQ(100, tip_.GetTransparency());
  EXPECT_TRUE(tip_.IsTimerArmed(Tip::kFadeInTimer));
  EXPECT_FALSE(tip_.IsTimerArmed(Tip::kHideTimer));
  const int fade_in[] = {80, 60, 40, 30};
  for (int expected : fade_in) {
    tip_.OnTimer(Tip::kFadeInTimer);
    EXPECT_EQ(expected, tip_.GetTransparency());
  }
  EXPECT_EQ(Tip::kShown, tip_.GetState());
  EXPECT_FALSE(tip_.IsTimerArmed(Tip::kFadeInTimer));
  EXPECT_TRUE(tip_.IsTimerArmed(Tip::kHideTimer));

  tip_.OnTimer(Tip::kHideTimer);
  EXPECT_EQ(Tip::kDisappearing, tip_.GetState());
  EXPECT_TRUE(tip_.IsTimerArmed(Tip::kFadeOutTimer));
  // A tool entered while the tip fades out waits for the fade's end.
  cursor_ = POINT{400, 300};
  Move(cursor_);
  EXPECT_FALSE(tip_.IsTimerArmed(Tip::kShowTimer));
  const int fade_out[] = {50, 70, 90, 100};
  for (int expected : fade_out) {
    EXPECT_TRUE(IsWindowVisible(tip_.GetSafeHwnd()));
    tip_.OnTimer(Tip::kFadeOutTimer);
    EXPECT_EQ(expected, tip_.GetTransparency());
  }
  EXPECT_EQ(Tip::kHidden, tip_.GetState());
  EXPECT_FALSE(IsWindowVisible(tip_.GetSafeHwnd()));
  EXPECT_TRUE(tip_.IsTimerArmed(Tip::kShowTimer));
  tip_.OnTimer(Tip::kShowTimer);
  EXPECT_EQ(Tip::kAppearing, tip_.GetState());
  EXPECT_EQ(second_, tip_.GetCurrentToolWindow());
}

TEST_F(ToolTipMachine, AutoHideDelayAndBehaviours) {
  struct Case {
    UINT delay;
    int behaviour;
    UINT armed;  // 0: no auto-hide timer
  } cases[] = {{20000, 0, 20000}, {0, 0, 0}, {20000, Tip::kNoAutoHide, 0}};
  int x = 100;
  for (const Case& c : cases) {
    tip_.SetAutoHideDelay(c.delay);
    Tip::Tool tool;
    tool.id = 1;
    tool.mask = Tip::kMaskBehaviour;
    tool.behaviour = c.behaviour | Tip::kMultipleShow;
    tip_.AddTool(first_, tool);
    MoveAndRest(POINT{x++, 300});
    EXPECT_EQ(Tip::kShown, tip_.GetState());
    EXPECT_EQ(c.armed, tip_.TimerInterval(Tip::kHideTimer)) << c.delay << " " << c.behaviour;
    tip_.HideAll();
  }
  EXPECT_EQ(20000u, tip_.GetAutoHideDelay());
  // Moving inside the shown tool only restarts the auto-hide delay.
  tip_.SetAutoHideDelay(600000);
  Tip::Tool restart;
  restart.id = 1;
  restart.mask = Tip::kMaskBehaviour;
  restart.behaviour = Tip::kRestartHideOnMove;
  tip_.AddTool(first_, restart);
  MoveAndRest(POINT{150, 300});
  tip_.OnTimer(Tip::kHideTimer);  // hidden; the same tool stays current
  tip_.SetAutoHideDelay(700000);
  Move(POINT{151, 300});
  EXPECT_EQ(700000u, tip_.TimerInterval(Tip::kHideTimer));
  EXPECT_FALSE(tip_.IsTimerArmed(Tip::kShowTimer));
}

TEST_F(ToolTipMachine, ToolsAndEmptyRectangles) {
  Tip::Tool a, b, got;
  a.id = 1;
  b.id = 2;
  b.rect = RECT{0, 0, 10, 10};
  tip_.AddTool(second_, b);  // with two tools an empty rectangle matches nothing
  Move(POINT{400, 300});
  EXPECT_FALSE(tip_.IsTimerArmed(Tip::kShowTimer));
  MoveAndRest(POINT{355, 105});
  EXPECT_EQ(1, requests_);
  EXPECT_TRUE(tip_.GetTool(second_, 2, got));
  EXPECT_EQ(10, got.rect.right);
  b.text = L"replaced";
  tip_.AddTool(second_, b);  // an equal rectangle replaces
  EXPECT_TRUE(tip_.GetTool(second_, 2, got));
  EXPECT_EQ(L"replaced", got.text);
  tip_.RemoveTool(second_, 2);
  tip_.RemoveTool(second_, 1);
  EXPECT_FALSE(tip_.GetTool(second_, 1, got));
  EXPECT_FALSE(tip_.GetTool(second_, 2, got));
  EXPECT_TRUE(tip_.GetTool(first_, 1, got));
}

TEST_F(ToolTipMachine, ShadowComposesOverWhatLayBelow) {
  MoveAndRest(POINT{300, 400});
  ASSERT_EQ(Tip::kShown, tip_.GetState());
  // The saved picture is the parent's green, read before the tip covered it.
  TestCanvas saved(40, 40);
  HDC source = CreateCompatibleDC(saved.dc());
  HGDIOBJ old = SelectObject(source, tip_.GetSavedScreen());
  BitBlt(saved.dc(), 0, 0, 40, 40, source, 0, 0, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
  EXPECT_COLOUR(RGB(0, 160, 0), saved.At(20, 20));

  // On screen: the body in the info colour with ink, the shadow darker than the green beside
  // the body, and the green untouched beyond the shadow's reach.
  RedrawWindow(tip_.GetSafeHwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  RECT window;
  GetWindowRect(tip_.GetSafeHwnd(), &window);
  TestCanvas shot(window.right - window.left, window.bottom - window.top);
  TestWindow::Capture(tip_.GetSafeHwnd(), shot);
  const RECT body = tip_.GetPlacement().body;
  EXPECT_COLOUR(GetSysColor(COLOR_INFOBK), shot.At(body.left + 4, (body.top + body.bottom) / 2));
  EXPECT_GT(
      shot.CountNot(GetSysColor(COLOR_INFOBK), RECT{body.left + 12, body.top + 12, body.right - 12, body.bottom - 12}),
      0);
  const COLORREF shadow = shot.At(body.right + 2, (body.top + body.bottom) / 2);
  EXPECT_LT(GetGValue(shadow), 160) << std::hex << shadow;
  EXPECT_EQ(0u, GetRValue(shadow));
}

}  // namespace
