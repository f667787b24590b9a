// Thousands of generated and mutated snippets of the kind a downloaded catalogue could carry
// (unclosed tags, huge spans and sizes, nested tables, stray entities) are prepared and
// drawn; none may crash, hang or leave the DC changed. The seed is fixed, so a failure
// reproduces.
#include "DrawTestSupport.h"
#include "LightTestSupport.h"
#include "PPHtmlDrawer.h"
#include "XHTMLStatic.h"
#include "XHtmlDraw.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

const wchar_t* const kFragments[] = {
    L"<table>",
    L"</table>",
    L"<tr>",
    L"</tr>",
    L"<td>",
    L"</td>",
    L"<td colspan=99999>",
    L"<td rowspan=99999>",
    L"<td colspan=-7 rowspan=0>",
    L"<table border=2 borderstyle=double bgcolor=red bgeffect=metal>",
    L"<table cellspacing=32767 cellpadding=-32767>",
    L"<td width=99999999 height=99999999>",
    L"<table background=\"file:c:\\nothing.bmp\">",
    L"<td bgeffect=hardbump bgcolor=blue>",
    L"<td bgeffect=99>",
    L"<b>",
    L"</b>",
    L"<i>",
    L"<u>",
    L"<s>",
    L"</i>",
    L"<font size=7 color=#zzzzzz face=>",
    L"<font size=-99999>",
    L"</font>",
    L"<font style=+-bius>",
    L"<h1>",
    L"</h1>",
    L"<pre>",
    L"<code>",
    L"<sub>",
    L"<sup>",
    L"<span class=cpp-comment>",
    L"<center>",
    L"<right>",
    L"<justify>",
    L"</center>",
    L"<vcenter>",
    L"<bottom>",
    L"<br>",
    L"<br=99999>",
    L"<t>",
    L"<t=99999>",
    L"<hr>",
    L"<hr width=1000% size=99999>",
    L"<hr width=-5>",
    L"<a href=\"http://x.test/\">",
    L"<a msg=m>",
    L"</a>",
    L"<bmp idres=101>",
    L"<bmp idres=101 width=65536 height=65536>",
    L"<bmp idres=70000>",
    L"<bmp handle=12345>",
    L"<bmp file=\"c:\\no\\such.bmp\">",
    L"<icon idres=1 width=1000%>",
    L"<icon width=0>",
    L"<ilst idres=102 cx=0 cy=0 speed=1 index=99>",
    L"<ilst idres=102 cx=99999>",
    L"<string idres=203>",
    L"<string idres=99999999>",
    L"&lt;",
    L"&amp;",
    L"&bogus;",
    L"<<",
    L"<",
    L">",
    L"<>",
    L"</>",
    L"<=>",
    L"< table>",
    L"Hello world. ",
    L"WWWWWWWWWWWWWWWWWWWW",
    L"a-b,c;d",
    L"\r\n",
    L"\t",
    L" ",
    L"\x00A9\x20AC",
    L"<body>",
    L"</body>",
};

// Light markup as catalogue labels and the static carry it.
const wchar_t* const kLightFragments[] = {
    L"<B>",
    L"</B>",
    L"<i>",
    L"</I>",
    L"<U>",
    L"</u>",
    L"<S>",
    L"</S>",
    L"<STRIKE>",
    L"</STRIKE>",
    L"<BIG>",
    L"</BIG>",
    L"<SMALL>",
    L"</SMALL>",
    L"<SUB>",
    L"</SUB>",
    L"<SUP>",
    L"</SUP>",
    L"<CENTER>",
    L"</CENTER>",
    L"<CODE>",
    L"</CODE>",
    L"<BR>",
    L"<HR>",
    L"<HR SIZE=99999>",
    L"<hr size=-4>",
    L"<FONT>",
    L"<FONT",
    L"<font color=\"red\" bgcolor=#00ff00 face=\"Courier New\" size=\"2\">",
    L"<font face=\"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\">",
    L"<font size=2147483647>",
    L"<font size=-2147483647 color=255,255>",
    L"<font color=\"#12345\" bgcolor=,,,>",
    L"</FONT>",
    L"<A HREF=\"http://x.test/\">",
    L"<a href=APP:help>",
    L"<a href=>",
    L"<A",
    L"<A name=x>",
    L"</A>",
    L"&amp;",
    L"&LT;",
    L"&gt;",
    L"&nbsp;",
    L"&micro;",
    L"&trade;",
    L"&bogus;",
    L"&",
    L"\x0001",
    L"\x0001\xE105",
    L"\r\n",
    L"\n",
    L"\r",
    L" ",
    L"word ",
    L"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW",
    L"<",
    L">",
    L"<>",
    L"</>",
    L"<<<",
    L"\x00A9",
};

template <size_t N>
std::wstring Generate(std::mt19937& random, const wchar_t* const (&fragments)[N]) {
  std::uniform_int_distribution<size_t> pick(0, N - 1);
  std::uniform_int_distribution<int> count(1, 40);
  std::wstring text;
  for (int i = count(random); i > 0; --i) text += fragments[pick(random)];
  return text;
}

std::wstring Generate(std::mt19937& random) { return Generate(random, kFragments); }

// Deletes, duplicates, swaps or inserts characters, so tags break at every place.
void Mutate(std::wstring& text, std::mt19937& random) {
  std::uniform_int_distribution<int> kind(0, 3), times(1, 6);
  const std::wstring alphabet = L"<>/=\"' &;#0123456789abcdefghijklmnopqrstuvwxyz%-";
  for (int n = times(random); n > 0 && !text.empty(); --n) {
    std::uniform_int_distribution<size_t> at(0, text.size() - 1);
    const size_t i = at(random);
    switch (kind(random)) {
      case 0:
        text.erase(i, std::min<size_t>(text.size() - i, 1 + random() % 8));
        break;
      case 1:
        text.insert(i, text.substr(i, 1 + random() % 16));
        break;
      case 2:
        std::swap(text[i], text[at(random)]);
        break;
      default:
        text.insert(text.begin() + static_cast<std::ptrdiff_t>(i), alphabet[random() % alphabet.size()]);
        break;
    }
  }
}

TEST(HtmlRobustness, GeneratedAndMutatedSnippets) {
  TestCanvas canvas(160, 120);
  HDC dc = canvas.dc();
  HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
  const int mode = GetBkMode(dc);
  const COLORREF text_colour = GetTextColor(dc);
  std::mt19937 random(20261209);
  const int kSnippets = 2000;
  const int widths[] = {0, 1, 40, 150};
  for (int i = 0; i < kSnippets; ++i) {
    std::wstring html = Generate(random);
    if (i % 2) Mutate(html, random);
    CPPHtmlDrawer drawer;
    drawer.SetMaxWidth(widths[i % 4]);
    if (i % 7 == 0) drawer.EnableOutput(false);
    if (i % 11 == 0) drawer.SetNewlinesBreak(false);
    const SIZE size = drawer.PrepareOutput(dc, html);
    ASSERT_GE(size.cx, 0) << i;
    ASSERT_GE(size.cy, 0) << i;
    drawer.DrawPreparedOutput(dc, RECT{0, 0, i % 3 ? 160 : 20, 120});
    drawer.OnSetCursor(POINT{10, 10});
    drawer.OnTimer();
    drawer.DrawPreparedOutput(dc, RECT{5, 5, 80, 60});
  }
  // The drawer leaves the DC's font, mode and colour as it found them.
  EXPECT_EQ(font, GetCurrentObject(dc, OBJ_FONT));
  EXPECT_EQ(mode, GetBkMode(dc));
  EXPECT_EQ(text_colour, GetTextColor(dc));
}

TEST(HtmlRobustness, LightMarkupSnippets) {
  TestWindow window(220, 140);
  CXHTMLStatic control;
  ASSERT_TRUE(control.Create(L"", WS_VISIBLE, RECT{0, 60, 220, 140}, window.get(), 1));
  HDC dc = GetDC(window.get());
  HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
  const COLORREF text_colour = GetTextColor(dc);
  std::mt19937 random(20261210);
  for (int i = 0; i < 1500; ++i) {
    std::wstring html = Generate(random, kLightFragments);
    if (i % 2) Mutate(html, random);
    XHTMLDRAWPARAMS params;
    params.rect = RECT{0, 0, i % 5 ? 220 : 3, i % 3 ? 20 : 60};
    params.background_copy = i % 4 == 0;
    params.end_ellipsis = i % 6 == 0;
    params.text_background_colour = i % 8 == 0 ? RGB(1, 2, 3) : CLR_INVALID;
    CXHtmlDraw().Draw(dc, html.c_str(), &params, i % 2);
    ASSERT_GE(params.right_x, 0) << i;
    wchar_t small[5];
    ASSERT_LE(CXHtmlDraw::GetPlainText(html.c_str(), small, i % 6), 4) << i;
    ASSERT_LE(CXHtmlDraw::GetPlainText(html).size(), html.size()) << i;
    if (i % 10 == 0) {
      control.SetWindowText(html.c_str());
      for (size_t link = 0; link < control.LinkRects().size(); ++link) ASSERT_LT(link, control.LinkTargets().size());
    }
  }
  EXPECT_EQ(font, GetCurrentObject(dc, OBJ_FONT));
  EXPECT_EQ(text_colour, GetTextColor(dc));
  ReleaseDC(window.get(), dc);
}

TEST(HtmlRobustness, DeepNestingAndLongRuns) {
  TestCanvas canvas(200, 200);
  std::wstring nested;
  for (int i = 0; i < 200; ++i) nested += L"<table><tr><td>";
  nested += L"x";
  CPPHtmlDrawer drawer;
  EXPECT_GT(drawer.PrepareOutput(canvas.dc(), nested).cx, 0);
  drawer.DrawPreparedOutput(canvas.dc(), RECT{0, 0, 200, 200});
  EXPECT_LE(drawer.Tables().size(), 8u);

  std::wstring styles;
  for (int i = 0; i < 20000; ++i) styles += L"<b><font size=+1>";
  drawer.PrepareOutput(canvas.dc(), styles + L"deep");
  // Long texts in one run or without a single ">" are read in time proportional to their
  // length (a quadratic reading would not end within the test's time-out).
  drawer.SetMaxWidth(50);
  drawer.PrepareOutput(canvas.dc(), std::wstring(1 << 20, L'W'));
  drawer.DrawPreparedOutput(canvas.dc(), RECT{0, 0, 50, 200});
  std::wstring unterminated;
  for (int i = 0; i < 300000; ++i) unterminated += L"<a ";
  drawer.PrepareOutput(canvas.dc(), unterminated + L"<table" + unterminated);
  drawer.DrawPreparedOutput(canvas.dc(), RECT{0, 0, 50, 200});
}

}  // namespace
