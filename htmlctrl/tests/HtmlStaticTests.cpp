// The HTML static drawn into a window: lines, entities, centring, rules, links with their
// tooltips and "APP:" commands, and transparency.
#include "LightTestSupport.h"
#include "XHTMLStatic.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

namespace {

constexpr int kWidth = 300, kHeight = 120;
const COLORREF kWhite = RGB(255, 255, 255);

class HtmlStatic : public ::testing::Test {
 protected:
  HtmlStatic() : m_parent(kWidth + 20, kHeight + 20, RGB(255, 0, 0)) {}

  void Make(const wchar_t* text, DWORD ex_style = 0) {
    ASSERT_TRUE(
        m_control.Create(L"", WS_VISIBLE, RECT{10, 10, 10 + kWidth, 10 + kHeight}, m_parent.get(), 7, ex_style));
    m_control.SetBkColor(kWhite);
    m_control.SetTextColor(RGB(0, 0, 0));
    m_control.SetWindowText(text);
    TestWindow::Pump();
  }
  void Capture(TestCanvas& canvas) {
    RedrawWindow(m_control.GetSafeHwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    TestWindow::Capture(m_control.GetSafeHwnd(), canvas);
  }
  // Rows holding ink of the text colour (not the background), as [first, last].
  static std::pair<int, int> InkRows(const TestCanvas& canvas) {
    int first = -1, last = -1;
    for (int y = 0; y < canvas.height(); ++y)
      if (canvas.CountNot(kWhite, RECT{0, y, canvas.width(), y + 1})) {
        if (first < 0) first = y;
        last = y;
      }
    return {first, last};
  }
  int LineHeight() {
    HDC dc = GetDC(m_control.GetSafeHwnd());
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(m_control.GetSafeHwnd(), WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(m_control.GetSafeHwnd(), dc);
    return metrics.tmHeight;
  }

  TestWindow m_parent;
  CXHTMLStatic m_control;
};

TEST_F(HtmlStatic, LinesEntitiesAndRules) {
  struct Case {
    const wchar_t* html;
    int lines;  // lines of ink expected, counted from the text height
  } cases[] = {
      // Escaped brackets and every other entity stay on their line.
      {L"a&gt;b&lt;c&micro;d&nbsp;e&amp;f&GT;", 1},
      {L"one<br>two", 2},
      {L"one\r\ntwo\nthree", 3},
      {L"<b>bold</b> <i>italic</i> <u>under</u> <strike>struck</strike>", 1},
  };
  for (const Case& c : cases) {
    Make(c.html);
    TestCanvas canvas(kWidth, kHeight);
    Capture(canvas);
    const auto rows = InkRows(canvas);
    ASSERT_GE(rows.first, 0) << Narrow(c.html);
    EXPECT_LT(rows.second, c.lines * LineHeight()) << Narrow(c.html);
    EXPECT_GE(rows.second, (c.lines - 1) * LineHeight()) << Narrow(c.html);
    DestroyWindow(m_control.GetSafeHwnd());
  }
}

TEST_F(HtmlStatic, WrapsCentresAndDrawsRules) {
  std::wstring words;
  for (int i = 0; i < 40; ++i) words += L"word ";
  Make(words.c_str());
  TestCanvas canvas(kWidth, kHeight);
  Capture(canvas);
  EXPECT_GT(InkRows(canvas).second, 2 * LineHeight());  // wrapped over several lines
  EXPECT_EQ(0, canvas.CountNot(kWhite, RECT{kWidth - 2, 0, kWidth, kHeight}));

  m_control.SetWindowText(L"<center>mid</center>");
  Capture(canvas);
  const int left = canvas.LeftmostInk(), right = canvas.RightmostInk();
  EXPECT_NEAR(kWidth - 1 - right, left, 3);
  EXPECT_GT(left, kWidth / 3);

  m_control.SetWindowText(L"top<hr size=3>below");
  Capture(canvas);
  const int rule = LineHeight();
  for (int y = rule; y < rule + 3; ++y) EXPECT_EQ(0, canvas.CountNot(RGB(0, 0, 0), RECT{0, y, kWidth, y + 1})) << y;
  EXPECT_GT(canvas.CountNot(kWhite, RECT{0, rule + 3, kWidth, rule + 3 + LineHeight()}), 0);
}

LRESULT CALLBACK CommandProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP + 9) SetWindowLongPtrW(window, GWLP_USERDATA, GetWindowLongPtrW(window, GWLP_USERDATA) + 1);
  return DefWindowProcW(window, message, wparam, lparam);
}

TEST_F(HtmlStatic, LinksTooltipsAndCommands) {
  Make(L"See <a href=\"http://x.test/\">the site</a> or <a href=\"APP:Help\">Help</a>.");
  TestCanvas canvas(kWidth, kHeight);
  Capture(canvas);
  ASSERT_EQ(2u, m_control.LinkRects().size());  // "the site" and "Help"
  EXPECT_EQ(L"http://x.test/", m_control.LinkTargets()[0]);
  EXPECT_EQ(L"APP:Help", m_control.LinkTargets().back());
  // Web links have tooltips with their targets; commands have none.
  EXPECT_EQ(static_cast<LRESULT>(m_control.LinkRects().size() - 1),
            SendMessageW(m_control.GetToolTip(), TTM_GETTOOLCOUNT, 0, 0));
  const RECT first = m_control.LinkRects()[0];
  EXPECT_LT(canvas.CountNot(RGB(0, 0, 255), first), (first.right - first.left) * (first.bottom - first.top));
  EXPECT_EQ(0, canvas.CountNot(RGB(0, 0, 255), RECT{first.right, 0, first.right + 1, 0}));

  // Setting the same text again draws it from scratch: the links are not doubled.
  m_control.SetWindowText(L"See <a href=\"http://x.test/\">the site</a> or <a href=\"APP:Help\">Help</a>.");
  Capture(canvas);
  EXPECT_EQ(2u, m_control.LinkRects().size());

  WNDCLASSW wc = {};
  wc.lpfnWndProc = CommandProcedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"OrvStaticCommandTarget";
  RegisterClassW(&wc);
  HWND target = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  m_control.AddAppCommand(target, WM_APP + 9, 0, L"help");
  const RECT help = m_control.LinkRects().back();
  SendMessageW(m_control.GetSafeHwnd(), WM_LBUTTONDOWN, MK_LBUTTON,
               MAKELPARAM((help.left + help.right) / 2, (help.top + help.bottom) / 2));
  SendMessageW(m_control.GetSafeHwnd(), WM_LBUTTONUP, 0,
               MAKELPARAM((help.left + help.right) / 2, (help.top + help.bottom) / 2));
  EXPECT_EQ(1, GetWindowLongPtrW(target, GWLP_USERDATA));
  SendMessageW(m_control.GetSafeHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, kHeight - 2));
  EXPECT_EQ(1, GetWindowLongPtrW(target, GWLP_USERDATA));
  DestroyWindow(target);
}

TEST_F(HtmlStatic, TransparentKeepsTheParentsPicture) {
  Make(L"x", WS_EX_TRANSPARENT);
  TestCanvas canvas(kWidth, kHeight);
  RedrawWindow(m_parent.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  m_control.SetWindowText(L"x");
  TestWindow::Capture(m_control.GetSafeHwnd(), canvas);
  EXPECT_COLOUR(RGB(255, 0, 0), canvas.At(kWidth - 5, kHeight - 5));
  EXPECT_GT(canvas.CountNot(RGB(255, 0, 0)), 0);
  DestroyWindow(m_control.GetSafeHwnd());
  Make(L"x");
  Capture(canvas);
  EXPECT_COLOUR(kWhite, canvas.At(kWidth - 5, kHeight - 5));
}

}  // namespace
