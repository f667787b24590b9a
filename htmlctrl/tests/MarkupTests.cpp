// The drawer's markup: preparation, tokens, attributes, colours, lengths, the style sheet and
// the tag effects on the style stack. Nothing here needs a window or a device context.
#include "HtmlMarkup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const LengthMetrics kMetrics = {7, 15, 96};  // ex, em, pixels per inch

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c >= 32 && c < 127) {
      out += static_cast<char>(c);
    } else {
      char code[12];
      snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(c));
      out += code;
    }
  }
  return out;
}

// Tokens as one line: text runs in [], tags in <> with their attribute text after a "|".
std::wstring Tokens(const std::wstring& text) {
  std::wstring out;
  size_t pos = 0;
  HtmlToken token;
  while (HtmlMarkup::NextToken(text, pos, text.size(), token)) {
    if (token.kind == HtmlToken::TEXT)
      out += L"[" + token.text + L"]";
    else
      out += L"<" + std::wstring(token.closing ? L"/" : L"") + token.text +
             (token.attributes.empty() ? L"" : L"|" + token.attributes) + L">";
  }
  return out;
}

TEST(HtmlMarkup, PreparesEntitiesBreaksAndTokens) {
  const HtmlMarkup markup;
  EXPECT_EQ(13u, markup.EntityCount());
  struct Case {
    const wchar_t* text;
    bool newlines_break;
    const wchar_t* tokens;
  } cases[] = {
      {L"a &lt;b&gt; c", true, L"[a <b> c]"},
      {L"&amp;lt;", true, L"[<]"},  // "&amp;" first, so "&lt;" appears and is replaced next
      {L"&copy;&euro;&trade;&nbsp;&quot;", true, L"[\x00A9\x20AC\x2122 \"]"},
      {L"&bogus; &AMP;", true, L"[&bogus; &AMP;]"},
      {L"x\r\ny", true, L"[x]<br>[y]"},
      {L"x\r\ny", false, L"[xy]"},
      {L"a\tb", true, L"[a]<t>[b]"},
      {L"a\tb", false, L"[ab]"},
      {L"<B>x</B>", true, L"<B>[x]</B>"},
      {L"<font color=red size=3>x</font>", true, L"<font|color=red size=3>[x]</font>"},
      {L"<br=3><t=2>", true, L"<br|=3><t|=2>"},
      {L"a<<b", true, L"[a<b]"},
      {L"a<", true, L"[a<]"},
      {L"a<b c", true, L"[a][b c]"},  // unterminated: an empty tag that does nothing, the rest is text
      {L"<b>x<y<<z<", true, L"<b>[x][y<z<]"},
      {L"<a   href='x y'>", true, L"<a|href='x y'>"},
      {L"", true, L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Narrow(c.tokens), Narrow(Tokens(markup.PrepareText(c.text, c.newlines_break)))) << Narrow(c.text);
  }
}

TEST(HtmlMarkup, ReadsAttributes) {
  struct Case {
    const wchar_t* text;
    HtmlAttributes expected;
  } cases[] = {
      {L"color=red size=3", {{L"color", L"red"}, {L"size", L"3"}}},
      {L"face = \"Arial Black\" style='b i'", {{L"face", L"Arial Black"}, {L"style", L"b i"}}},
      {L"flag other=1", {{L"flag", L""}, {L"other", L"1"}}},
      {L"href=\"unclosed", {{L"href", L"unclosed"}}},
      {L"  ==  ", {}},
      {L".5=x", {{L".5", L"x"}}},
  };
  for (const auto& c : cases) {
    const HtmlAttributes got = HtmlMarkup::ParseAttributes(c.text);
    ASSERT_EQ(c.expected.size(), got.size()) << Narrow(c.text);
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(Narrow(c.expected[i].first), Narrow(got[i].first)) << Narrow(c.text);
      EXPECT_EQ(Narrow(c.expected[i].second), Narrow(got[i].second)) << Narrow(c.text);
    }
  }
  bool found = false;
  EXPECT_EQ(L"2", HtmlMarkup::Attribute(HtmlMarkup::ParseAttributes(L"a=1 a=2"), L"a", &found));
  EXPECT_TRUE(found);
  HtmlMarkup::Attribute({}, L"a", &found);
  EXPECT_FALSE(found);
}

TEST(HtmlMarkup, ParsesColoursByNameAndNumber) {
  HtmlMarkup markup;
  EXPECT_EQ(168u, markup.ColourCount());
  const COLORREF fallback = 0x123456;
  struct Case {
    const wchar_t* text;
    COLORREF expected;
  } cases[] = {
      {L"#ff0000", RGB(255, 0, 0)},
      {L"#00FF80", RGB(0, 255, 128)},
      {L"#f00", fallback},
      {L"#ff00000", fallback},
      {L"#gg0000", fallback},
      {L"255", RGB(255, 0, 0)},
      {L"0x00ff00", 0x00FF00},
      {L"010", 8},
      {L"red", RGB(255, 0, 0)},
      {L"Red", fallback},
      {L"brown", 0x2A2AA5},
      {L"lightgrey", RGB(211, 211, 211)},
      {L"yellowgreen", RGB(154, 205, 50)},
      {L"rebeccapurple", fallback},
      {L"", fallback},
      {L"buttonface", GetSysColor(COLOR_BTNFACE)},
      {L"infobackground", GetSysColor(COLOR_INFOBK)},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, markup.ParseColour(c.text, fallback))
        << Narrow(c.text) << std::hex << " got 0x" << markup.ParseColour(c.text, fallback);
  markup.SetEnabled(false);
  EXPECT_EQ(markup.DisabledColour(), markup.ParseColour(L"red", fallback));
  EXPECT_EQ(static_cast<COLORREF>(255), markup.ParseColour(L"255", fallback));
}

TEST(HtmlMarkup, ParsesLengthsWithUnits) {
  struct Case {
    int current;
    const wchar_t* text;
    bool font_size;
    int expected;
  } cases[] = {
      {12, L"150%", true, 18},
      {12, L"", false, 12},
      {0, L"12pt", true, 16},
      {0, L"3", true, 12},
      {0, L"1", true, 8},
      {0, L"7", true, 36},
      {0, L"+2", true, 10},
      {0, L"-2", true, 10},
      {0, L"9", true, 9},
      {0, L"-9", true, -9},
      {0, L"-9", false, -9},
      {0, L"5px", false, 5},
      {0, L"2ex", false, 14},
      {0, L"2em", false, 30},
      {0, L"1in", false, 96},
      {0, L"1cm", false, 37},
      {0, L"10mm", false, 37},
      {0, L"1pc", false, 16},
      {0, L"0x10", false, 16},
      {0, L"abc", false, 0},
      {0, L"99999999px", false, 32767},
      {100, L"99999999%", false, 32767},
      {0, L"-99999999", false, -32767},
      // Percentages round to the nearest pixel as MulDiv does, halves away from zero.
      {13, L"75%", true, 10},
      {10, L"65%", false, 7},
      {-13, L"75%", true, -10},
      {-10, L"65%", true, -7},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, HtmlMarkup::ParseLength(c.current, c.text, c.font_size, kMetrics))
        << c.current << " " << Narrow(c.text) << (c.font_size ? " (font size)" : "");
}

TEST(HtmlMarkup, StyleSheetRulesAndDeclarations) {
  HtmlMarkup markup;
  ASSERT_NE(nullptr, markup.LookupRule(L"H1"));
  EXPECT_EQ(nullptr, markup.LookupRule(L"table"));
  EXPECT_NE(nullptr, markup.LookupRule(L"p"));

  struct Case {
    const wchar_t* sheet;  // null: the built-in one
    const wchar_t* selector;
    int font_height;
    int weight;
    COLORREF colour;
    const wchar_t* face;
    bool italic;
    int background_mode;
  } cases[] = {
      {nullptr, L"h2", 17, 700, RGB(255, 153, 0), L"verdana", false, TRANSPARENT},
      {nullptr, L"h6", 10, 400, RGB(0x62, 0x62, 0x62), L"verdana", false, TRANSPARENT},  // 65% of 16
      {nullptr, L"pre", 12, 400, RGB(0, 0, 0), L"courier", false, OPAQUE},
      {nullptr, L".cpp-comment", 16, 400, RGB(0, 128, 0), L"Verdana", true, TRANSPARENT},
      {L"x {color: Red; font-size: 20px}", L"x", 20, 400, RGB(255, 0, 0), L"Verdana", false, TRANSPARENT},
      {L"x {color:red} x {font-weight:bolder}", L"x", 16, 900, RGB(0, 0, 0), L"Verdana", false, TRANSPARENT},
      {L"  .note{ font-family : \"Comic Sans\" ; font-style:oblique }", L".NOTE", 16, 400, RGB(0, 0, 0), L"comic sans",
       true, TRANSPARENT},
      {L"x {bogus: 1; font-weight 700; color:blue}", L"x", 16, 400, RGB(0, 0, 255), L"Verdana", false, TRANSPARENT},
      {L"x {background-color: yellow}", L"x", 16, 400, RGB(0, 0, 0), L"Verdana", false, OPAQUE},
      {L"x {font-size: 50%", L"x", 8, 400, RGB(0, 0, 0), L"Verdana", false, TRANSPARENT},
  };
  for (const auto& c : cases) {
    markup.SetStyleSheet(c.sheet);
    HtmlStyle style;
    markup.ApplyRule(c.selector, style, kMetrics);
    const std::string where = Narrow(c.sheet ? c.sheet : L"(built-in)") + " " + Narrow(c.selector);
    EXPECT_EQ(c.font_height, style.font_height) << where;
    EXPECT_EQ(c.weight, style.weight) << where;
    EXPECT_EQ(c.colour, style.text_colour) << where;
    EXPECT_EQ(Narrow(c.face), Narrow(style.font_face)) << where;
    EXPECT_EQ(c.italic, style.italic) << where;
    EXPECT_EQ(c.background_mode, style.background_mode) << where;
  }
  markup.SetStyleSheet(L"x {color:red}");
  EXPECT_EQ(L"x {color:red}", markup.GetStyleSheet());
  EXPECT_EQ(nullptr, markup.LookupRule(L"h1"));

  // Decorations, borders and the disabled colour.
  HtmlStyle style;
  style.underline = true;
  markup.ApplyDeclarations(L"text-decoration: overline, line-through", style, kMetrics);
  EXPECT_TRUE(style.underline && style.overline && style.strikeout);
  markup.ApplyDeclarations(L"text-decoration: none", style, kMetrics);
  EXPECT_FALSE(style.underline || style.overline || style.strikeout);
  markup.ApplyDeclarations(L"border-style: dotted", style, kMetrics);
  EXPECT_EQ(3, style.border_style);
  EXPECT_EQ(1, style.border_width);
  markup.ApplyDeclarations(L"border-width: 0", style, kMetrics);
  EXPECT_EQ(0, style.border_style);
  markup.SetEnabled(false);
  markup.ApplyDeclarations(L"color: red; background-color: yellow", style, kMetrics);
  EXPECT_EQ(markup.DisabledColour(), style.text_colour);
  EXPECT_EQ(TRANSPARENT, style.background_mode);
}

// Runs the container tags of a text over a style record and gives the style of each text
// run, as the drawer would see it.
std::vector<HtmlStyle> StylesOfRuns(const HtmlMarkup& markup, const std::wstring& text, HtmlStyle start,
                                    int hot_link = -2) {
  std::vector<HtmlStyle> runs;
  std::vector<HtmlStyle> stack;
  int links = -1;
  size_t pos = 0;
  HtmlToken token;
  const std::wstring prepared = markup.PrepareText(text, true);
  while (HtmlMarkup::NextToken(prepared, pos, prepared.size(), token)) {
    if (token.kind == HtmlToken::TEXT) {
      runs.push_back(start);
      continue;
    }
    const int kind = markup.TagKind(token.text);
    if (HtmlMarkup::IsContainer(kind))
      markup.ApplyContainerTag(kind, token.text, token.closing, token.attributes, start, stack, kMetrics, links,
                               hot_link);
  }
  return runs;
}

TEST(HtmlMarkup, TagEffectsOnTheStyleStack) {
  HtmlMarkup markup;
  HtmlStyle plain;
  auto runs = StylesOfRuns(markup, L"<b>y<b>x</b></b>z", plain);
  ASSERT_EQ(3u, runs.size());
  EXPECT_EQ(800, runs[0].weight);
  EXPECT_EQ(900, runs[1].weight);
  EXPECT_EQ(400, runs[2].weight);

  runs = StylesOfRuns(markup, L"<b><i>x</b>y</i>z", plain);  // "</b>" finds "italic" on top
  ASSERT_EQ(3u, runs.size());
  EXPECT_TRUE(runs[1].italic && runs[1].weight == 800);
  EXPECT_TRUE(!runs[2].italic && runs[2].weight == 800);

  runs = StylesOfRuns(markup, L"<B>x</B>", plain);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(400, runs[0].weight);

  HtmlStyle twelve;
  twelve.font_height = 12;
  struct Case {
    const wchar_t* text;
    int font_height;
    COLORREF colour;
  } fonts[] = {
      {L"<font size=3>x", 12, 0},
      {L"<font size=12pt>x", 16, 0},
      {L"<font size=150%>x", 18, 0},
      {L"<body><small>x", 10, 0},  // 75% of the body's 13 pixels
      {L"<font color=#ff0000>x", 12, RGB(255, 0, 0)},
      {L"<font color=#f00>x", 12, 0},
      {L"<font color=255>x", 12, RGB(255, 0, 0)},
      {L"<font color=Red>x", 12, 0},
      {L"<font face=Arial size=-1 color=navy>x", 8, RGB(0, 0, 128)},
  };
  for (const auto& c : fonts) {
    runs = StylesOfRuns(markup, c.text, twelve);
    ASSERT_EQ(1u, runs.size()) << Narrow(c.text);
    EXPECT_EQ(c.font_height, runs[0].font_height) << Narrow(c.text);
    EXPECT_EQ(c.colour, runs[0].text_colour) << Narrow(c.text);
  }

  HtmlStyle italic;
  italic.italic = true;
  runs = StylesOfRuns(markup, L"<font style=b-iu>x", italic);
  ASSERT_EQ(1u, runs.size());
  EXPECT_TRUE(runs[0].weight == 700 && !runs[0].italic && runs[0].underline);

  runs = StylesOfRuns(markup, L"<span class=cpp-comment>x</span>y<center><sub>z", plain);
  ASSERT_EQ(3u, runs.size());
  EXPECT_TRUE(runs[0].italic && runs[0].text_colour == RGB(0, 128, 0));
  EXPECT_FALSE(runs[1].italic);
  EXPECT_EQ(1, runs[2].horizontal_align);
  EXPECT_EQ(2, runs[2].vertical_align);
  EXPECT_EQ(10, runs[2].font_height);

  // Links: kind and target, counted, the hot one drawn with "a:hover".
  runs = StylesOfRuns(markup, L"<a href=\"http://x.test/\">one</a><a msg='go'>two</a><a>three</a>", plain, 1);
  ASSERT_EQ(3u, runs.size());
  EXPECT_EQ(1, runs[0].link_kind);
  EXPECT_EQ(L"http://x.test/", runs[0].link_target);
  EXPECT_FALSE(runs[0].underline);
  EXPECT_EQ(2, runs[1].link_kind);
  EXPECT_EQ(L"go", runs[1].link_target);
  EXPECT_TRUE(runs[1].underline);
  EXPECT_EQ(RGB(0, 0, 255), runs[1].text_colour);
  EXPECT_EQ(2, runs[2].link_kind);
  EXPECT_TRUE(runs[2].link_target.empty());

  markup.SetEnabled(false);
  runs = StylesOfRuns(markup, L"<font color=red bkgnd=yellow>x", plain);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(markup.DisabledColour(), runs[0].text_colour);
  EXPECT_EQ(TRANSPARENT, runs[0].background_mode);
}

TEST(HtmlMarkup, TransformsAndWrapCharacters) {
  EXPECT_EQ(L"HELLO WORLD", HtmlMarkup::Transform(L"Hello world", 1));
  EXPECT_EQ(L"hello world", HtmlMarkup::Transform(L"Hello WORLD", 2));
  EXPECT_EQ(L"Hello World  X", HtmlMarkup::Transform(L"hELLO wORLD  x", 3));
  for (wchar_t c : std::wstring(L" -.,!:;)}]?")) EXPECT_TRUE(HtmlMarkup::IsWrapChar(c)) << static_cast<int>(c);
  for (wchar_t c : std::wstring(L"a(_/")) EXPECT_FALSE(HtmlMarkup::IsWrapChar(c)) << static_cast<int>(c);
  EXPECT_FALSE(HtmlMarkup::IsWrapChar(L'\0'));
}

}  // namespace

// The browser fallback of hot links: the handler's command from the registry, read in full
// whatever its length, and the address appended as one quoted argument or not at all.
#include "LinkOpen.h"

namespace {

TEST(HtmlLinks, BrowserCommandLines) {
  struct Case {
    const wchar_t* command;
    const wchar_t* address;
    bool built;
    const wchar_t* line;
  } cases[] = {
      {L"\"C:\\b\\browser.exe\" -url \"%1\"", L"http://x.test/a b", true,
       L"\"C:\\b\\browser.exe\" -url  \"http://x.test/a b\""},
      {L"browser.exe %1", L"http://x.test/", true, L"browser.exe  \"http://x.test/\""},
      {L"browser.exe", L"http://x.test/", true, L"browser.exe \"http://x.test/\""},
      {L"browser.exe %1", L"http://x.test/\" & calc.exe \"", false, L""},
      {L"browser.exe %1", L"http://x.test/\r\nother", false, L""},
      {L"browser.exe %1", L"", false, L""},
      {L"", L"http://x.test/", false, L""},
  };
  for (const auto& c : cases) {
    std::wstring line;
    EXPECT_EQ(c.built, htmlctrl::BuildBrowserCommandLine(c.command, c.address, line)) << Narrow(c.address);
    EXPECT_EQ(Narrow(c.line), Narrow(line)) << Narrow(c.address);
  }
}

TEST(HtmlLinks, HandlerCommandOfAnyLength) {
  const wchar_t* const kRoot = L"Software\\OrvelTests\\HtmlClasses";
  HKEY root = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_CURRENT_USER, kRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr));
  // Both longer than a fixed 260-character buffer (a key name is at most 255 characters, so
  // the class name stays within that).
  const std::wstring html_class(250, L'c');
  const std::wstring command = L"\"C:\\" + std::wstring(900, L'p') + L"\\browser.exe\" \"%1\"";
  auto set_default = [&](const std::wstring& subkey, const std::wstring& value) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
    RegCloseKey(key);
  };
  set_default(L".htm", html_class);
  set_default(html_class + L"\\shell\\open\\command", command);
  std::wstring read;
  EXPECT_TRUE(htmlctrl::GetHtmlOpenCommand(root, read));
  EXPECT_EQ(command, read);
  RegCloseKey(root);
  RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
}

}  // namespace
