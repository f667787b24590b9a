// Layout and drawing of text, rules, images and links into memory DCs. Expected sizes come
// from the extents of the same fonts, measured here, since fonts differ between systems.
#include "DrawTestSupport.h"
#include "PPHtmlDrawer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const COLORREF kWhite = RGB(255, 255, 255);

struct Drawn {
  SIZE size;
  std::vector<CPPHtmlDrawer::LineInfo> lines;
};

TEST(HtmlLayout, SizesFollowMeasuredExtents) {
  TestCanvas canvas(400, 200);
  HDC dc = canvas.dc();
  const SIZE hello = Extent(dc, L"Hello"), world = Extent(dc, L" world"), bold = Extent(dc, L"Hello", FW_BOLD);
  const SIZE a = Extent(dc, L"a"), b = Extent(dc, L"b"), x = Extent(dc, L"x");
  const int line = hello.cy;
  struct Case {
    const wchar_t* html;
    LONG width, height;
  } cases[] = {
      {L"Hello", hello.cx + 1, line + 1},
      {L"<b>Hello</b> world", bold.cx + world.cx + 1, line + 1},
      {L"a<br>b", std::max(a.cx, b.cx) + 1, 2 * line + 1},
      {L"a\r\nb", std::max(a.cx, b.cx) + 1, 2 * line + 1},
      {L"a<br=3>b", std::max(a.cx, b.cx) + 1, 4 * line + 1},
      {L"<t>x", 32 + x.cx + 1, line + 1},
      {L"<t=2>x", 64 + x.cx + 1, line + 1},
      {L"x<t>x", 32 + x.cx + 1, line + 1},
      {L"<font size=200%>x</font>", Extent(dc, L"x", FW_NORMAL, 2 * (10 * GetDeviceCaps(dc, LOGPIXELSY) / 72)).cx + 1,
       Extent(dc, L"x", FW_NORMAL, 2 * (10 * GetDeviceCaps(dc, LOGPIXELSY) / 72)).cy + 1},
      {L"<string idres=203>", Extent(dc, L"Hello").cx + 1, line + 1},
      {L"", 0, 0},
      {L"<zz><qq>", 0, 0},
      {L"<bmp idres=101>", 8 + 1, 4 + 1},
      {L"<bmp idres=101 width=200% height=10>", 16 + 1, 10 + 1},
      {L"<bmp idres=999>", 0, 0},
      {L"<ilst idres=102 cx=4>", 4 + 1, 4 + 1},
      // Absurd sizes from markup: the picture is left out rather than attempted.
      {L"<bmp idres=101 width=100000000 height=100000000>", 0, 0},
      {L"<bmp idres=101 width=65536 height=65536>", 0, 0},
      {L"<bmp idres=101 width=-5>", 0, 0},
  };
  for (const auto& c : cases) {
    CPPHtmlDrawer drawer;
    const SIZE size = drawer.PrepareOutput(dc, c.html);
    EXPECT_EQ(c.width, size.cx) << Narrow(c.html);
    EXPECT_EQ(c.height, size.cy) << Narrow(c.html);
  }
  CPPHtmlDrawer drawer;
  EXPECT_EQ(10, drawer.PrepareOutput(dc, L"<hr size=1>").cy);  // at least size + 8 high
  EXPECT_EQ(L"second", CPPHtmlDrawer::GetStringSecondField(201));
  EXPECT_EQ(L"", CPPHtmlDrawer::GetStringSecondField(202));
  EXPECT_EQ(L"", CPPHtmlDrawer::GetStringSecondField(0));
}

TEST(HtmlLayout, WrapsToTheMaximumWidth) {
  TestCanvas canvas(400, 400);
  HDC dc = canvas.dc();
  const int w = Extent(dc, L"W").cx;
  CPPHtmlDrawer drawer;
  drawer.SetMaxWidth(100);
  const SIZE size = drawer.PrepareOutput(dc, std::wstring(40, L'W'));
  EXPECT_LE(size.cx, 101);
  const auto& lines = drawer.Lines();
  ASSERT_GE(lines.size(), 2u);
  int characters = 0;
  for (size_t i = 0; i + 1 < lines.size() && lines[i].height > 0; ++i) {
    EXPECT_LE(lines[i].width, 100) << "line " << i;
    if (lines[i].wrapped) {
      EXPECT_GT(lines[i].width + w, 100) << "line " << i << " could hold one more";
    }
    characters += lines[i].width / w;
  }
  EXPECT_EQ(40, characters);

  // Words wrap after their spaces; only wrapped lines are justified.
  drawer.SetMaxWidth(60);
  drawer.PrepareOutput(dc, L"<justify>aaa bbb ccc ddd eee fff</justify>");
  ASSERT_GE(drawer.Lines().size(), 2u);
  EXPECT_TRUE(drawer.Lines()[0].wrapped);
  EXPECT_EQ(3, drawer.Lines()[0].align);
}

// Centred and right-aligned lines whose words are cut to fit: the drawing pass must place
// every piece that measuring placed, so each measured line shows ink.
TEST(HtmlLayout, CutWordsAreDrawnOnAlignedLines) {
  for (const wchar_t* align : {L"center", L"right", L"left"}) {
    TestCanvas canvas(60, 400);
    CPPHtmlDrawer drawer;
    drawer.SetMaxWidth(60);
    const std::wstring html = std::wstring(L"<") + align + L">" + std::wstring(30, L'W') + L"</" + align + L">";
    const SIZE size = drawer.PrepareOutput(canvas.dc(), html);
    drawer.DrawPreparedOutput(canvas.dc(), RECT{0, 0, 60, size.cy});
    int y = 0;
    int inked = 0, measured = 0;
    for (const auto& line : drawer.Lines()) {
      if (line.height == 0) continue;
      ++measured;
      if (canvas.CountNot(kWhite, RECT{0, y, 60, std::min(y + line.height, 400)}) > 0) ++inked;
      y += line.height;
    }
    EXPECT_GE(measured, 3) << Narrow(align);
    EXPECT_EQ(measured, inked) << Narrow(align);
  }
}

TEST(HtmlLayout, AlignmentRulesAndDisabledLook) {
  TestCanvas canvas(300, 60);
  HDC dc = canvas.dc();
  const SIZE abc = Extent(dc, L"abc");
  {
    CPPHtmlDrawer drawer;
    drawer.PrepareOutput(dc, L"<right>abc</right>");
    drawer.DrawPreparedOutput(dc, RECT{0, 0, 300, 60});
    EXPECT_GE(canvas.RightmostInk(), 299 - 3);
    EXPECT_GE(canvas.LeftmostInk(), 300 - abc.cx - 2);
  }
  canvas.Fill(kWhite);
  {
    CPPHtmlDrawer drawer;
    drawer.PrepareOutput(dc, L"<center>abc</center>");
    drawer.DrawPreparedOutput(dc, RECT{0, 0, 300, 60});
    EXPECT_NEAR((300 - abc.cx) / 2, canvas.LeftmostInk(), 3);
  }
  canvas.Fill(kWhite);
  {
    // A rule of half the width, at the vertical middle of its line, in the text colour.
    CPPHtmlDrawer drawer;
    drawer.PrepareOutput(dc, L"<hr width=50% color=red>");
    drawer.DrawPreparedOutput(dc, RECT{0, 0, 200, 60});
    const int middle = drawer.Lines()[0].height / 2;
    EXPECT_EQ(100, 300 - canvas.CountNot(RGB(255, 0, 0), RECT{0, middle, 300, middle + 1}));
  }
  canvas.Fill(kWhite);
  {
    CPPHtmlDrawer drawer;
    drawer.EnableOutput(false);
    drawer.PrepareOutput(dc, L"<font color=red bkgnd=yellow><b>WWW</b></font>");
    drawer.DrawPreparedOutput(dc, RECT{0, 0, 300, 60});
    int red = 0, yellow = 0, other = 0;
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 300; ++x) {
        const COLORREF c = canvas.At(x, y);
        if (c == RGB(255, 0, 0))
          ++red;
        else if (c == RGB(255, 255, 0))
          ++yellow;
        else if (c != kWhite)
          ++other;
      }
    EXPECT_EQ(0, red);
    EXPECT_EQ(0, yellow);
    EXPECT_GT(other, 0);
  }
}

TEST(HtmlLayout, ImagesFromResourcesStripsAndModules) {
  TestCanvas canvas(40, 20);
  HDC dc = canvas.dc();
  struct Case {
    const wchar_t* html;
    COLORREF at_origin;
    COLORREF at_5_0;
  } cases[] = {
      {L"<bmp idres=101>", RGB(255, 0, 0), RGB(0, 0, 255)},
      {L"<bmp idres=101 mask=#0000ff>", RGB(255, 0, 0), kWhite},
      {L"<ilst idres=102 cx=4 index=1>", RGB(255, 255, 0), kWhite},
      {L"<ilst idres=102 cx=4 index=2 mask=#ff00ff>", kWhite, kWhite},
      {L"<ilst idres=102 cx=4 index=3>", kWhite, kWhite},
      // An icon with a transparent 4 x 4 corner, at its own size and stretched to twice it.
      {L"<icon idres=301 width=16 height=16>", kWhite, RGB(255, 0, 0)},
      {L"<icon idres=301 width=32 height=32>", kWhite, kWhite},
      {L"<icon idres=301 width=16 height=16 style=g>", kWhite, RGB(0x4C, 0x4C, 0x4C)},
  };
  for (const auto& c : cases) {
    canvas.Fill(kWhite);
    CPPHtmlDrawer drawer;
    const SIZE size = drawer.PrepareOutput(dc, c.html);
    drawer.DrawPreparedOutput(dc, RECT{0, 0, 40, std::max<LONG>(size.cy, 1)});
    EXPECT_COLOUR(c.at_origin, canvas.At(0, 0)) << Narrow(c.html);
    EXPECT_COLOUR(c.at_5_0, canvas.At(5, 0)) << Narrow(c.html);
    if (wcsstr(c.html, L"width=32")) {
      EXPECT_EQ(33, size.cx) << Narrow(c.html);
      EXPECT_COLOUR(RGB(255, 0, 0), canvas.At(9, 9)) << Narrow(c.html);
      EXPECT_COLOUR(RGB(255, 0, 0), canvas.At(31, 19)) << Narrow(c.html);
    }
  }

  // An animated strip of three frames at speed 3: a frame every third tick, back to 0.
  CPPHtmlDrawer drawer;
  drawer.PrepareOutput(dc, L"<ilst idres=102 cx=4 speed=3>");
  ASSERT_EQ(1u, drawer.Animations().size());
  EXPECT_FALSE(drawer.OnTimer());
  EXPECT_FALSE(drawer.OnTimer());
  EXPECT_TRUE(drawer.OnTimer());
  EXPECT_EQ(1, drawer.Animations()[0].frame);
  for (int i = 0; i < 6; ++i) drawer.OnTimer();
  EXPECT_EQ(0, drawer.Animations()[0].frame);
  canvas.Fill(kWhite);
  for (int i = 0; i < 6; ++i) drawer.OnTimer();
  drawer.DrawPreparedOutput(dc, RECT{0, 0, 40, 20});
  EXPECT_COLOUR(RGB(255, 0, 255), canvas.At(0, 0));  // frame 2

  // A module named by the markup gives its pictures, and none of its code runs.
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dll = path;
  dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"html_resources.dll";
  SetEnvironmentVariableW(L"ORV_HTML_RESOURCE_DLL_RAN", nullptr);
  canvas.Fill(kWhite);
  CPPHtmlDrawer from_dll;
  const SIZE size = from_dll.PrepareOutput(dc, L"<bmp srcdll=\"" + dll + L"\" iddll=1>");
  EXPECT_EQ(9, size.cx);
  from_dll.DrawPreparedOutput(dc, RECT{0, 0, 40, 20});
  EXPECT_COLOUR(RGB(255, 0, 0), canvas.At(0, 0));
  EXPECT_EQ(0u, GetEnvironmentVariableW(L"ORV_HTML_RESOURCE_DLL_RAN", nullptr, 0)) << "the module's code ran";
  CPPHtmlDrawer with_module;
  ASSERT_TRUE(with_module.SetResourceDll(dll));
  EXPECT_EQ(9, with_module.PrepareOutput(dc, L"<bmp iddll=1>").cx);
  EXPECT_EQ(0u, GetEnvironmentVariableW(L"ORV_HTML_RESOURCE_DLL_RAN", nullptr, 0)) << "the module's code ran";
}

// Records the messages the drawer sends about links.
struct LinkWindow {
  static std::vector<std::pair<UINT, WPARAM>>& Log() {
    static std::vector<std::pair<UINT, WPARAM>> log;
    return log;
  }
  static std::wstring& Text() {
    static std::wstring text;
    return text;
  }
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_USER + 101) Log().emplace_back(message, w);
    if (message == WM_USER + 7) {
      Text() = reinterpret_cast<const wchar_t*>(w);
      return 77;
    }
    return DefWindowProcW(window, message, w, l);
  }
  LinkWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvHtmlLinkTest";
    RegisterClassW(&wc);
    hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  }
  ~LinkWindow() { DestroyWindow(hwnd); }
  HWND hwnd;
};

TEST(HtmlLayout, HotAreasNotificationsAndMessageLinks) {
  TestCanvas canvas(400, 60);
  HDC dc = canvas.dc();
  LinkWindow window;
  ASSERT_NE(nullptr, window.hwnd);
  LinkWindow::Log().clear();
  CPPHtmlDrawer drawer;
  drawer.SetCallbackHyperlink(window.hwnd, WM_USER + 101);
  drawer.SetCallbackMessage(window.hwnd, WM_USER + 7);
  drawer.PrepareOutput(dc, L"<a href=\"http://x.test/\">link</a> plain <a msg=go>message</a> <a>none</a>");
  const RECT all = {0, 0, 400, 60};
  drawer.DrawPreparedOutput(dc, all);
  ASSERT_EQ(3u, drawer.HotAreas().size());
  // Every redraw rebuilds the hot areas rather than adding to them.
  drawer.DrawPreparedOutput(dc, all);
  drawer.DrawPreparedOutput(dc, all);
  ASSERT_EQ(3u, drawer.HotAreas().size());

  const RECT first = drawer.HotAreas()[0].rect;
  const POINT in_first = {first.left + 1, first.top + 1};
  const POINT in_first_too = {first.right, first.bottom};  // edges count
  EXPECT_EQ(0, drawer.PtInHotArea(in_first));
  EXPECT_EQ(0, drawer.PtInHotArea(in_first_too));
  EXPECT_TRUE(drawer.OnSetCursor(in_first));
  EXPECT_TRUE(drawer.OnSetCursor(in_first_too));
  EXPECT_FALSE(drawer.OnSetCursor(POINT{399, 59}));
  const RECT third = drawer.HotAreas()[2].rect;
  EXPECT_FALSE(drawer.OnSetCursor(POINT{third.left + 1, third.top + 1}));  // no target, no hand
  const std::vector<std::pair<UINT, WPARAM>> expected = {
      {WM_USER + 101, 0}, {WM_USER + 101, static_cast<WPARAM>(-2)}, {WM_USER + 101, 2}};
  EXPECT_EQ(expected, LinkWindow::Log());
  EXPECT_EQ(2, drawer.GetHotLink());

  // The hot link takes its hover look on the next preparation.
  EXPECT_EQ(77, drawer.JumpToHyperlink(1));
  EXPECT_EQ(L"go", LinkWindow::Text());
  EXPECT_EQ(0, drawer.JumpToHyperlink(2));
  EXPECT_EQ(0, drawer.JumpToHyperlink(3));
  EXPECT_EQ(0, drawer.JumpToHyperlink(-1));
}

}  // namespace
