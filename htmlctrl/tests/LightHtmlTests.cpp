// Named colours, the light drawer's entity table, plain text, drawing and links, and the
// check-box images with and without visual styles.
#include "CheckboxImages.h"
#include "LightTestSupport.h"
#include "XHtmlDraw.h"
#include "XNamedColors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace htmlctrl;

namespace {

TEST(NamedColours, WordsHexAndTriplets) {
  struct Case {
    const wchar_t* text;
    COLORREF expected;
  } cases[] = {
      {L"#ff0000", RGB(255, 0, 0)},
      {L"#FF000", 0},
      {L"#00ff0g", 0},
      {L"#0000FF", RGB(0, 0, 255)},
      {L"red", RGB(255, 0, 0)},
      {L"RED", RGB(255, 0, 0)},
      {L"Red", RGB(255, 0, 0)},
      {L"blurple", 0},
      {L"255,128", RGB(255, 128, 0)},
      {L"1,2,3", RGB(1, 2, 3)},
      {L"Gray", RGB(0x7F, 0x7F, 0x7F)},
      {L"YellowGreen", RGB(0x8B, 0xCD, 0x32)},
      {L"BlanchedAlmond", RGB(0xFF, 0xFF, 0xCD)},
      {L"aliceblue", RGB(0xF0, 0xF8, 0xFF)},
      {L"lightsteelblue", RGB(0xB0, 0xC4, 0xDE)},
      {L"InfoBk", GetSysColor(COLOR_INFOBK)},
      {L"windowtext", GetSysColor(COLOR_WINDOWTEXT)},
      {L"MenuBar", GetSysColor(30)},
      {L"", 0},
  };
  for (const Case& c : cases) {
    CXNamedColors colour;
    colour.SetValue(RGB(9, 9, 9));
    colour.SetColorFromString(c.text);
    EXPECT_COLOUR(c.expected, colour.GetRGB()) << Narrow(c.text);
  }
  EXPECT_EQ(179, CXNamedColors::TableSize());
  CXNamedColors kept;
  kept.SetValue(RGB(9, 9, 9));
  kept.SetColorFromString(nullptr);
  EXPECT_COLOUR(RGB(9, 9, 9), kept.GetRGB());
  // A system colour is read when used, so it follows a change of the system colours.
  CXNamedColors info(L"InfoBk");
  EXPECT_EQ(CXNamedColors::kSystemColour | COLOR_INFOBK, info.GetValue());
}

TEST(NamedColours, FindAndReplaceWithoutCase) {
  const wchar_t* text = L"one &LT;two&lt;";
  EXPECT_EQ(text + 4, FindNoCase(text, L"&lt;"));
  EXPECT_EQ(text, FindNoCase(text, L""));
  EXPECT_EQ(nullptr, FindNoCase(nullptr, L"x"));
  EXPECT_EQ(nullptr, FindNoCase(text, L"three"));
  wchar_t out[32] = L"untouched";
  EXPECT_EQ(9, ReplaceNoCase(text, L"&lt;", L"<", out, 32));
  EXPECT_STREQ(L"one <two<", out);
  wcscpy(out, L"untouched");
  EXPECT_EQ(0, ReplaceNoCase(text, L"&gt;", L">", out, 32));
  EXPECT_EQ(0, ReplaceNoCase(L"", L"a", L"b", out, 32));
  EXPECT_STREQ(L"untouched", out);
  EXPECT_EQ(3, ReplaceNoCase(L"aaaa", L"a", L"bb", out, 4));  // cut to the destination
  EXPECT_STREQ(L"bbb", out);
}

TEST(LightEntities, TableAndPlaceholders) {
  ASSERT_EQ(24, LightEntityCount());
  struct Spot {
    const wchar_t* text;
    wchar_t character;
  } spots[] = {{L"&amp;", L'&'},     {L"&LT;", L'<'},      {L"&Gt;", L'>'},   {L"&nbsp;", L' '},   {L"&euro;", 0x20AC},
               {L"&trade;", 0x2122}, {L"&micro;", 0x00B5}, {L"&quot;", L'"'}, {L"&times;", 0x00D7}};
  for (const Spot& spot : spots)
    EXPECT_EQ(std::wstring(1, spot.character), ResolveEntityPlaceholders(InsertEntityPlaceholders(spot.text)))
        << Narrow(spot.text);
  // No placeholder may read as something the controls interpret: a bracket, a space or a
  // line break.
  for (int row = 0; row < LightEntityCount(); ++row) {
    const std::wstring marked = InsertEntityPlaceholders(LightEntityAt(row).text);
    ASSERT_EQ(2u, marked.size());
    EXPECT_EQ(std::wstring::npos, marked.find_first_of(L"<> \t\r\n")) << Narrow(LightEntityAt(row).text);
  }
  EXPECT_EQ(L"a\x00A9&bogus;", ResolveEntityPlaceholders(InsertEntityPlaceholders(L"a&copy;&bogus;")));
  // A text cannot forge a placeholder, an unknown code is a space, a mark at the end goes.
  EXPECT_EQ(L"xy", ResolveEntityPlaceholders(InsertEntityPlaceholders(L"x\x0001y")));
  EXPECT_EQ(L"a b", ResolveEntityPlaceholders(std::wstring(L"a\x0001"
                                                           L"Zb")));
  EXPECT_EQ(L"a", ResolveEntityPlaceholders(std::wstring(L"a\x0001")));
}

TEST(LightEntities, PlainText) {
  struct Case {
    const wchar_t* html;
    const wchar_t* plain;
  } cases[] = {
      {L"plain", L"plain"},
      {L"a<b>b", L"ab"},
      {L"a<b", L"a"},
      {L"&amp;amp;", L"&amp;"},
      {L"&lt;b&gt;", L"<b>"},
      {L"&LT;b&gt;bold&lt;/b&gt;", L"<b>bold</b>"},
      {L"<font color=red>x</font> &copy;", L"x \x00A9"},
      {L"<>", L""},
      {L"a>b", L"a>b"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::wstring(c.plain), CXHtmlDraw::GetPlainText(c.html)) << Narrow(c.html);
    wchar_t out[64];
    EXPECT_EQ(static_cast<int>(wcslen(c.plain)), CXHtmlDraw::GetPlainText(c.html, out, 64));
    EXPECT_STREQ(c.plain, out);
    EXPECT_EQ(static_cast<int>(wcslen(c.plain)), CXHtmlDraw::GetPlainText(c.html, nullptr, 0));
  }
  // Output sizes bound the copy; a size of 0 writes nothing at all.
  wchar_t out[8] = {L'#', L'#', L'#', L'#', L'#', L'#', L'#', L'#'};
  EXPECT_EQ(0, CXHtmlDraw::GetPlainText(L"<b>abcdef</b>", out, 0));
  EXPECT_EQ(L'#', out[0]);
  EXPECT_EQ(3, CXHtmlDraw::GetPlainText(L"<b>abcdef</b>", out, 4));
  EXPECT_STREQ(L"abc", out);
  EXPECT_EQ(L'#', out[4]);
  EXPECT_EQ(0, CXHtmlDraw::GetPlainText(nullptr, out, 8));
}

TEST(LightFont, AttributesAndFaceBound) {
  const LightFontAttributes font =
      ReadLightFontAttributes(L" color=\"red\" BGCOLOR=#00ff00 Face=\"Courier New\" size=\"2\" other=1");
  EXPECT_TRUE(font.has_colour && font.has_background && font.has_face && font.has_size);
  EXPECT_COLOUR(RGB(255, 0, 0), font.colour);
  EXPECT_COLOUR(RGB(0, 255, 0), font.background);
  EXPECT_EQ(L"Courier New", font.face);
  EXPECT_EQ(2, font.size);
  // A face of 32 characters or more fills the field with its terminator: 31 characters.
  for (size_t length : {31u, 32u, 40u}) {
    LOGFONTW logfont;
    memset(&logfont, 0x41, sizeof logfont);
    SetFaceName(logfont, std::wstring(length, L'F'));
    EXPECT_EQ(length < 31 ? length : 31u, wcsnlen(logfont.lfFaceName, LF_FACESIZE)) << length;
  }
}

// Drawing needs a visible window's DC.
class LightDraw : public ::testing::Test {
 protected:
  LightDraw() : m_window(400, 60) { m_dc = GetDC(m_window.get()); }
  ~LightDraw() override { ReleaseDC(m_window.get(), m_dc); }

  int DrawnWidth(const std::wstring& html, XHTMLDRAWPARAMS& params, BOOL hot = FALSE) {
    params.rect = RECT{10, 10, 390, 40};
    CXHtmlDraw().Draw(m_dc, html.c_str(), &params, hot);
    return params.right_x - params.rect.left;
  }
  int TextWidth(const std::wstring& text, int weight = FW_NORMAL) {
    LOGFONTW font = {};
    GetObjectW(GetCurrentObject(m_dc, OBJ_FONT), sizeof font, &font);
    font.lfWeight = weight;
    HFONT made = CreateFontIndirectW(&font);
    HGDIOBJ old = SelectObject(m_dc, made);
    SIZE size = {0, 0};
    GetTextExtentPoint32W(m_dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(m_dc, old);
    DeleteObject(made);
    return size.cx;
  }

  TestWindow m_window;
  HDC m_dc;
};

TEST_F(LightDraw, PiecesAdvanceByTheirMeasuredWidth) {
  struct Case {
    const wchar_t* html;
    const wchar_t* text;
    int weight;
  } cases[] = {
      {L"&LT;b&gt;", L"<b>", FW_NORMAL},  // escaped brackets are text, in the plain font
      {L"</B>plain", L"plain", FW_NORMAL},
      {L"<b>x</b>", L"x", FW_BOLD},
      {L"<B>bold</B>", L"bold", FW_BOLD},
      {L"a < b", L"a < b", FW_NORMAL},
      {L"<font face=\"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\" color=red>x</font>", nullptr, 0},
  };
  for (const Case& c : cases) {
    XHTMLDRAWPARAMS params;
    const int width = DrawnWidth(c.html, params);
    if (c.text)
      EXPECT_EQ(TextWidth(c.text, c.weight), width) << Narrow(c.html);
    else
      EXPECT_GT(width, 0);
  }
  // Longer texts are cut at 1,000 characters.
  XHTMLDRAWPARAMS params;
  EXPECT_EQ(TextWidth(std::wstring(1000, L'i')), DrawnWidth(std::wstring(1200, L'i'), params));
}

TEST_F(LightDraw, LinkRectangleTargetAndHotLook) {
  XHTMLDRAWPARAMS params;
  params.background_colour = RGB(255, 255, 255);
  const int width = DrawnWidth(L"go <a href=\"http://x.test/\">there</a> now", params);
  EXPECT_EQ(TextWidth(L"go there now"), width);
  EXPECT_TRUE(params.link_drawn);
  EXPECT_FALSE(params.link_hot);
  EXPECT_EQ(L"http://x.test/", params.link_target);
  EXPECT_EQ(10 + TextWidth(L"go "), params.link_rect.left);
  EXPECT_EQ(10 + TextWidth(L"go there"), params.link_rect.right);
  EXPECT_GT(params.link_rect.bottom, params.link_rect.top);
  // Link text is drawn in the link colour, and nowhere else.
  TestCanvas canvas(400, 60);
  TestWindow::Capture(m_window.get(), canvas);
  auto blue = [&canvas](RECT r) {
    return (r.right - r.left) * (r.bottom - r.top) - canvas.CountNot(RGB(0, 0, 255), r);
  };
  EXPECT_GT(blue(RECT{params.link_rect.left, 10, params.link_rect.right, 40}), 0);
  EXPECT_EQ(0, blue(RECT{10, 10, params.link_rect.left, 40}));
  EXPECT_EQ(0, blue(RECT{params.link_rect.right, 10, 390, 40}));
  EXPECT_GT(canvas.CountNot(RGB(255, 255, 255), RECT{10, 10, params.link_rect.left, 40}), 0);

  XHTMLDRAWPARAMS hot;
  DrawnWidth(L"<a href=x>there</a>", hot, TRUE);
  EXPECT_TRUE(hot.link_hot);
  EXPECT_EQ(L"x", hot.link_target);
  // "<A" without a target and a stray "</A>" are no link.
  XHTMLDRAWPARAMS none;
  DrawnWidth(L"<a name=x>there</a>", none);
  EXPECT_FALSE(none.link_drawn);
  EXPECT_TRUE(none.link_target.empty());
}

TEST_F(LightDraw, NothingDrawnIntoHiddenOrEmptyPlaces) {
  XHTMLDRAWPARAMS params;
  params.rect = RECT{10, 10, 10, 40};
  params.right_x = 77;
  CXHtmlDraw().Draw(m_dc, L"text", &params, FALSE);
  EXPECT_EQ(77, params.right_x);
  TestCanvas memory(50, 50);
  params.rect = RECT{0, 0, 50, 50};
  CXHtmlDraw().Draw(memory.dc(), L"text", &params, FALSE);
  EXPECT_EQ(77, params.right_x);
  EXPECT_EQ(0, memory.CountNot(RGB(255, 255, 255)));
}

LRESULT CALLBACK CountingProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP + 5) {
    SetWindowLongPtrW(window, GWLP_USERDATA, GetWindowLongPtrW(window, GWLP_USERDATA) + 1);
    SetPropW(window, L"lparam", reinterpret_cast<HANDLE>(lparam));
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

TEST(LightLinks, AppCommands) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = CountingProcedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"OrvLightCommandTarget";
  RegisterClassW(&wc);
  HWND target = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  ASSERT_TRUE(target);
  CXHtmlDrawLink link;
  EXPECT_TRUE(link.GetHandCursor());
  link.AddAppCommand(target, WM_APP + 5, 0, L"about");
  struct Case {
    const wchar_t* url;
    BOOL ran;
  } cases[] = {{L"\"APP:About\"", TRUE}, {L"app:ABOUT", TRUE}, {L"APP:\"about\"", TRUE}, {L"APP:help", FALSE},
               {L"APP:", FALSE},         {L"", FALSE},         {nullptr, FALSE}};
  int expected = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(c.ran, link.GotoURL(c.url, 42)) << (c.url ? Narrow(c.url) : "null");
    if (c.ran) ++expected;
    EXPECT_EQ(expected, GetWindowLongPtrW(target, GWLP_USERDATA));
  }
  EXPECT_EQ(42, reinterpret_cast<LPARAM>(GetPropW(target, L"lparam")));
  RemovePropW(target, L"lparam");
  DestroyWindow(target);
  EXPECT_FALSE(link.GotoURL(L"\"APP:About\""));
}

// A theme whose functions record what they were asked to draw.
class RecordingTheme : public ThemeApi {
 public:
  explicit RecordingTheme(BOOL active) : m_active(active) {}
  HTHEME OpenThemeData(HWND, const wchar_t* classes) override {
    opened_class = classes;
    ++opened;
    return reinterpret_cast<HTHEME>(static_cast<INT_PTR>(0x1234));
  }
  HRESULT CloseThemeData(HTHEME) override {
    ++closed;
    return S_OK;
  }
  HRESULT DrawThemeBackground(HTHEME, HDC dc, int part, int state, const RECT* rect, const RECT*) override {
    backgrounds.push_back({part, state, *rect});
    // Something to see: a filled square in a colour per state.
    HBRUSH brush = CreateSolidBrush(RGB(state * 10, 0, 0));
    FillRect(dc, rect, brush);
    DeleteObject(brush);
    return S_OK;
  }
  HRESULT DrawThemeEdge(HTHEME, HDC, int part, int state, const RECT* rect, UINT, UINT, RECT*) override {
    edges.push_back({part, state, *rect});
    return S_OK;
  }
  BOOL IsThemeActive() override { return m_active; }
  BOOL IsAppThemed() override { return TRUE; }

  struct Call {
    int part, state;
    RECT rect;
  };
  std::vector<Call> backgrounds, edges;
  std::wstring opened_class;
  int opened = 0, closed = 0;

 private:
  BOOL m_active;
};

TEST(CheckboxImages, EveryStateThemedAndClassic) {
  TestCanvas screen(32, 32);
  const int kSize = 16;
  const int themed_states[kCheckboxImages] = {0, 1, 5, 9, 0, 4, 8, 12, 0, 2, 6, 10, 0, 4, 8, 12, 0};
  RecordingTheme theme(TRUE);
  HIMAGELIST list = nullptr;
  ASSERT_TRUE(CreateCheckboxImageList(screen.dc(), kSize, list, RGB(255, 255, 255), theme));
  EXPECT_EQ(kCheckboxImages, ImageList_GetImageCount(list));
  EXPECT_EQ(L"BUTTON", theme.opened_class);
  EXPECT_EQ(1, theme.closed);
  ASSERT_EQ(12u, theme.backgrounds.size());
  ASSERT_EQ(12u, theme.edges.size());
  size_t call = 0;
  for (int i = 0; i < kCheckboxImages; ++i) {
    if (!themed_states[i]) {
      EXPECT_EQ(nullptr, CheckboxImageAt(i).name) << i;
      continue;
    }
    const auto& drawn = theme.backgrounds[call++];
    EXPECT_EQ(3, drawn.part);
    EXPECT_EQ(themed_states[i], drawn.state) << i;
    EXPECT_EQ(i * kSize + 1, drawn.rect.left);
    EXPECT_EQ(i * kSize + kSize - 1, drawn.rect.right);
    EXPECT_EQ(kSize - 1, drawn.rect.bottom);
  }
  // Drawn back from the list: unused squares are background, used ones the state's colour.
  for (int i = 0; i < kCheckboxImages; ++i) {
    TestCanvas image(kSize, kSize);
    ImageList_Draw(list, i, image.dc(), 0, 0, ILD_NORMAL);
    if (themed_states[i])
      EXPECT_COLOUR(RGB(themed_states[i] * 10, 0, 0), image.At(kSize / 2, kSize / 2)) << i;
    else
      EXPECT_EQ(0, image.CountNot(RGB(255, 255, 255))) << i;
  }

  // Size 0 fails and leaves the list as it was.
  HIMAGELIST kept = list;
  EXPECT_FALSE(CreateCheckboxImageList(screen.dc(), 0, list, RGB(255, 255, 255), theme));
  EXPECT_FALSE(CreateCheckboxImageList(nullptr, kSize, list, RGB(255, 255, 255), theme));
  EXPECT_EQ(kept, list);
  EXPECT_EQ(kCheckboxImages, ImageList_GetImageCount(list));

  // Visual styles off: flat classic boxes, no theme opened; checked differs from unchecked,
  // hot looks like normal, disabled like disabled.
  RecordingTheme off(FALSE);
  ASSERT_TRUE(CreateCheckboxImageList(screen.dc(), kSize, list, RGB(255, 255, 255), off));
  EXPECT_EQ(0, off.opened);
  EXPECT_TRUE(off.backgrounds.empty());
  std::vector<std::vector<COLORREF>> pixels(kCheckboxImages);
  for (int i = 0; i < kCheckboxImages; ++i) {
    TestCanvas image(kSize, kSize);
    ImageList_Draw(list, i, image.dc(), 0, 0, ILD_NORMAL);
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) pixels[i].push_back(image.At(x, y));
    if (!themed_states[i])
      EXPECT_EQ(0, image.CountNot(RGB(255, 255, 255))) << i;
    else
      EXPECT_GT(image.CountNot(RGB(255, 255, 255)), 0) << i;
  }
  EXPECT_NE(pixels[1], pixels[2]);
  EXPECT_NE(pixels[2], pixels[3]);
  EXPECT_NE(pixels[1], pixels[5]);
  EXPECT_EQ(pixels[1], pixels[9]);
  EXPECT_EQ(pixels[3], pixels[11]);
  EXPECT_EQ(pixels[6], pixels[14]);
  ImageList_Destroy(list);
}

TEST(CheckboxImages, ThemeLibraryEntries) {
  // The module's library is loaded and, in a fresh prefix, themed.
  ThemeApi& themes = Themes();
  if (themes.IsThemeActive() && themes.IsAppThemed()) {
    TestCanvas screen(32, 32);
    HIMAGELIST list = nullptr;
    ASSERT_TRUE(CreateCheckboxImageList(screen.dc(), 16, list, RGB(255, 255, 255)));
    TestCanvas image(16, 16);
    ImageList_Draw(list, 2, image.dc(), 0, 0, ILD_NORMAL);
    EXPECT_GT(image.CountNot(RGB(255, 255, 255)), 13);
    ImageList_Destroy(list);
  }
  // Without the library, or with a module lacking the entries, there is no visual style.
  for (const wchar_t* name : {L"no-such-theme-library.dll", L"kernel32.dll"}) {
    ThemeLibrary library(name);
    EXPECT_FALSE(library.IsThemeActive()) << Narrow(name);
    EXPECT_FALSE(library.IsAppThemed());
    EXPECT_EQ(nullptr, library.OpenThemeData(nullptr, L"BUTTON"));
    RECT r = {0, 0, 4, 4};
    EXPECT_EQ(E_FAIL, library.DrawThemeBackground(nullptr, nullptr, 3, 1, &r, nullptr));
    EXPECT_EQ(E_FAIL, library.DrawThemeEdge(nullptr, nullptr, 3, 1, &r, 0, 0, nullptr));
    EXPECT_EQ(E_FAIL, library.CloseThemeData(nullptr));
  }
}

}  // namespace
