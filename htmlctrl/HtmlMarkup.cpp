#include "HtmlMarkup.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace {

struct NamedColour {
  const wchar_t* name;
  DWORD rgb;  // 0xRRGGBB as the web writes it
};

const NamedColour kWebColours[] = {
    {L"aqua", 0x00FFFF},
    {L"black", 0x000000},
    {L"blue", 0x0000FF},
    {L"brown", 0xA52A2A},
    {L"cyan", 0x00FFFF},
    {L"gold", 0xFFD700},
    {L"gray", 0x808080},
    {L"green", 0x008000},
    {L"magenta", 0xFF00FF},
    {L"maroon", 0x800000},
    {L"navy", 0x000080},
    {L"olive", 0x808000},
    {L"orange", 0xFFA500},
    {L"pink", 0xFFC0CB},
    {L"purple", 0x800080},
    {L"red", 0xFF0000},
    {L"silver", 0xC0C0C0},
    {L"snow", 0xFFFAFA},
    {L"violet", 0xEE82EE},
    {L"white", 0xFFFFFF},
    {L"yellow", 0xFFFF00},
    {L"aliceblue", 0xF0F8FF},
    {L"antiquewhite", 0xFAEBD7},
    {L"aquamarine", 0x7FFFD4},
    {L"azure", 0xF0FFFF},
    {L"beige", 0xF5F5DC},
    {L"bisque", 0xFFE4C4},
    {L"blanchedalmond", 0xFFEBCD},
    {L"blueviolet", 0x8A2BE2},
    {L"burlywood", 0xDEB887},
    {L"cadetblue", 0x5F9EA0},
    {L"chartreuse", 0x7FFF00},
    {L"chocolate", 0xD2691E},
    {L"coral", 0xFF7F50},
    {L"cornflowerblue", 0x6495ED},
    {L"cornsilk", 0xFFF8DC},
    {L"crimson", 0xDC143C},
    {L"darkblue", 0x00008B},
    {L"darkcyan", 0x008B8B},
    {L"darkgoldenrod", 0xB8860B},
    {L"darkgray", 0xA9A9A9},
    {L"darkgreen", 0x006400},
    {L"darkkhaki", 0xBDB76B},
    {L"darkmagenta", 0x8B008B},
    {L"darkolivegreen", 0x556B2F},
    {L"darkorange", 0xFF8C00},
    {L"darkorchid", 0x9932CC},
    {L"darkred", 0x8B0000},
    {L"darksalmon", 0xE9967A},
    {L"darkseagreen", 0x8FBC8F},
    {L"darkslateblue", 0x483D8B},
    {L"darkslategray", 0x2F4F4F},
    {L"darkturquoise", 0x00CED1},
    {L"darkviolet", 0x9400D3},
    {L"deeppink", 0xFF1493},
    {L"deepskyblue", 0x00BFFF},
    {L"dimgray", 0x696969},
    {L"dodgerblue", 0x1E90FF},
    {L"firebrick", 0xB22222},
    {L"floralwhite", 0xFFFAF0},
    {L"forestgreen", 0x228B22},
    {L"fuchsia", 0xFF00FF},
    {L"gainsboro", 0xDCDCDC},
    {L"ghostwhite", 0xF8F8FF},
    {L"goldenrod", 0xDAA520},
    {L"greenyellow", 0xADFF2F},
    {L"honeydew", 0xF0FFF0},
    {L"hotpink", 0xFF69B4},
    {L"indianred", 0xCD5C5C},
    {L"indigo", 0x4B0082},
    {L"ivory", 0xFFFFF0},
    {L"khaki", 0xF0E68C},
    {L"lavender", 0xE6E6FA},
    {L"lavenderblush", 0xFFF0F5},
    {L"lawngreen", 0x7CFC00},
    {L"lemonchiffon", 0xFFFACD},
    {L"lightblue", 0xADD8E6},
    {L"lightcoral", 0xF08080},
    {L"lightcyan", 0xE0FFFF},
    {L"lightgoldenrodyellow", 0xFAFAD2},
    {L"lightgreen", 0x90EE90},
    {L"lightgrey", 0xD3D3D3},
    {L"lightpink", 0xFFB6C1},
    {L"lightsalmon", 0xFFA07A},
    {L"lightseagreen", 0x20B2AA},
    {L"lightskyblue", 0x87CEFA},
    {L"lightslategray", 0x778899},
    {L"lightsteelblue", 0xB0C4DE},
    {L"lightyellow", 0xFFFFE0},
    {L"lime", 0x00FF00},
    {L"limegreen", 0x32CD32},
    {L"linen", 0xFAF0E6},
    {L"mediumaquamarine", 0x66CDAA},
    {L"mediumblue", 0x0000CD},
    {L"mediumorchid", 0xBA55D3},
    {L"mediumpurple", 0x9370DB},
    {L"mediumseagreen", 0x3CB371},
    {L"mediumslateblue", 0x7B68EE},
    {L"mediumspringgreen", 0x00FA9A},
    {L"mediumturquoise", 0x48D1CC},
    {L"mediumvioletred", 0xC71585},
    {L"midnightblue", 0x191970},
    {L"mintcream", 0xF5FFFA},
    {L"mistyrose", 0xFFE4E1},
    {L"moccasin", 0xFFE4B5},
    {L"navajowhite", 0xFFDEAD},
    {L"oldlace", 0xFDF5E6},
    {L"olivedrab", 0x6B8E23},
    {L"orangered", 0xFF4500},
    {L"orchid", 0xDA70D6},
    {L"palegoldenrod", 0xEEE8AA},
    {L"palegreen", 0x98FB98},
    {L"paleturquoise", 0xAFEEEE},
    {L"palevioletred", 0xDB7093},
    {L"papayawhip", 0xFFEFD5},
    {L"peachpuff", 0xFFDAB9},
    {L"peru", 0xCD853F},
    {L"plum", 0xDDA0DD},
    {L"powderblue", 0xB0E0E6},
    {L"rosybrown", 0xBC8F8F},
    {L"royalblue", 0x4169E1},
    {L"saddlebrown", 0x8B4513},
    {L"salmon", 0xFA8072},
    {L"sandybrown", 0xF4A460},
    {L"seagreen", 0x2E8B57},
    {L"seashell", 0xFFF5EE},
    {L"sienna", 0xA0522D},
    {L"skyblue", 0x87CEEB},
    {L"slateblue", 0x6A5ACD},
    {L"slategray", 0x708090},
    {L"springgreen", 0x00FF7F},
    {L"steelblue", 0x4682B4},
    {L"tan", 0xD2B48C},
    {L"teal", 0x008080},
    {L"thistle", 0xD8BFD8},
    {L"tomato", 0xFF6347},
    {L"turquoise", 0x40E0D0},
    {L"wheat", 0xF5DEB3},
    {L"whitesmoke", 0xF5F5F5},
    {L"yellowgreen", 0x9ACD32},
};

const std::pair<const wchar_t*, int> kSystemColours[] = {
    {L"activeborder", COLOR_ACTIVEBORDER},
    {L"activecaption", COLOR_ACTIVECAPTION},
    {L"appworkspace", COLOR_APPWORKSPACE},
    {L"background", COLOR_BACKGROUND},
    {L"buttonface", COLOR_BTNFACE},
    {L"buttonhighlight", COLOR_BTNHIGHLIGHT},
    {L"buttonshadow", COLOR_BTNSHADOW},
    {L"buttontext", COLOR_BTNTEXT},
    {L"captiontext", COLOR_CAPTIONTEXT},
    {L"graytext", COLOR_GRAYTEXT},
    {L"highlight", COLOR_HIGHLIGHT},
    {L"highlighttext", COLOR_HIGHLIGHTTEXT},
    {L"inactiveborder", COLOR_INACTIVEBORDER},
    {L"inactivecaption", COLOR_INACTIVECAPTION},
    {L"inactivecaptiontext", COLOR_INACTIVECAPTIONTEXT},
    {L"infobackground", COLOR_INFOBK},
    {L"infotext", COLOR_INFOTEXT},
    {L"menu", COLOR_MENU},
    {L"menutext", COLOR_MENUTEXT},
    {L"scrollbar", COLOR_SCROLLBAR},
    {L"threeddarkshadow", COLOR_3DDKSHADOW},
    {L"threedface", COLOR_BTNFACE},
    {L"threedhighlight", COLOR_BTNHIGHLIGHT},
    {L"threedlightshadow", COLOR_3DLIGHT},
    {L"threedshadow", COLOR_BTNSHADOW},
    {L"window", COLOR_WINDOW},
    {L"windowframe", COLOR_WINDOWFRAME},
    {L"windowtext", COLOR_WINDOWTEXT},
};

const wchar_t* const kBuiltInSheet =
    L"body {font-size: 10pt; color:black; font-family:Verdana}\r\n"
    L"p {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
    L"h1 {font-size: 14pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
    L"h2 {font-size: 13pt; color:#ff9900; font-family:Verdana; font-weight:bold}\r\n"
    L"h3 {font-size: 12pt; color:#ff9900; font-family:Arial; font-weight:bold}\r\n"
    L"h4 {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
    L"h5 {font-size: 9pt; color:#ff9900; font-family:Verdana; font-weight:bold}\r\n"
    L"h6 {font-size: 65%; color:#626262; font-family:Verdana; font-weight:normal}\r\n"
    L"pre {font-size: 9pt; font-family:\"Courier\"; background-color:#fbedbb}\r\n"
    L"code {color:#990000; font-family:Arial}\r\n"
    L"a:link {text-decoration:none; color:blue}\r\n"
    L"a:hover {text-decoration:underline; color:blue}\r\n"
    L"sub {font-size:65%; vertical-align:bottom}\r\n"
    L"sup {font-size:65%; vertical-align:top}\r\n"
    L"big {font-size:125%}\r\n"
    L"small {font-size:75%}\r\n"
    L".cpp-comment {color:green; font-style:italic}\r\n";

// Lengths from markup are kept within what GDI coordinates and the layout's sums take.
constexpr int kMaxLength = 32767;

bool IsWordStart(wchar_t c) { return (c >= L'0' && c <= L'9') || (c < 128 && iswalpha(c)) || c == L'.'; }

std::wstring Lower(std::wstring text) {
  for (auto& c : text)
    if (c < 128) c = static_cast<wchar_t>(towlower(c));
  return text;
}

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to) {
  if (from.empty() || text.find(from) == std::wstring::npos) return;
  std::wstring out;
  out.reserve(text.size());
  size_t start = 0;
  for (size_t at; (at = text.find(from, start)) != std::wstring::npos; start = at + from.size()) {
    out.append(text, start, at - start);
    out += to;
  }
  out.append(text, start, std::wstring::npos);
  text.swap(out);
}

unsigned long ReadNumber(const std::wstring& text) { return text.empty() ? 0 : wcstoul(text.c_str(), nullptr, 0); }

int Clamp(long long value) { return static_cast<int>(std::clamp<long long>(value, -kMaxLength, kMaxLength)); }

}  // namespace

HtmlMarkup::HtmlMarkup() : m_disabledColour(GetSysColor(COLOR_BTNSHADOW)) {
  m_entities = {{L"&amp;", L"&"},       {L"&bull;", L"\x2022"},   {L"&copy;", L"\x00A9"}, {L"&euro;", L"\x20AC"},
                {L"&gt;", L">"},        {L"&iquest;", L"\x00BF"}, {L"&lt;", L"<<"},       {L"&nbsp;", L" "},
                {L"&para;", L"\x00B6"}, {L"&pound;", L"\x00A3"},  {L"&quot;", L"\""},     {L"&reg;", L"\x00AE"},
                {L"&trade;", L"\x2122"}};
  const std::pair<const wchar_t*, std::pair<int, const wchar_t*>> tags[] = {
      {L"b", {TAG_BOLD, L"bold"}},
      {L"i", {TAG_ITALIC, L"italic"}},
      {L"em", {TAG_ITALIC, L"italic"}},
      {L"u", {TAG_UNDERLINE, L"underline"}},
      {L"s", {TAG_STRIKEOUT, L"strikeout"}},
      {L"strike", {TAG_STRIKEOUT, L"strikeout"}},
      {L"font", {TAG_FONT, L"font"}},
      {L"hr", {TAG_HLINE, L""}},
      {L"br", {TAG_NEWLINE, L""}},
      {L"\n", {TAG_NEWLINE, L""}},
      {L"t", {TAG_TABULATION, L""}},
      {L"\t", {TAG_TABULATION, L""}},
      {L"left", {TAG_LEFT, L"left"}},
      {L"center", {TAG_CENTER, L"center"}},
      {L"right", {TAG_RIGHT, L"right"}},
      {L"justify", {TAG_JUSTIFY, L"justify"}},
      {L"baseline", {TAG_BASELINE, L"baseline"}},
      {L"top", {TAG_TOP, L"top"}},
      {L"vcenter", {TAG_VCENTER, L"vcenter"}},
      {L"middle", {TAG_VCENTER, L"vcenter"}},
      {L"bottom", {TAG_BOTTOM, L"bottom"}},
      {L"bmp", {TAG_BITMAP, L""}},
      {L"icon", {TAG_ICON, L""}},
      {L"ilst", {TAG_IMAGELIST, L""}},
      {L"string", {TAG_STRING, L""}},
      {L"span", {TAG_SPAN, L"span"}},
      {L"a", {TAG_HYPERLINK, L"link"}},
  };
  for (const auto& tag : tags) m_tags[tag.first] = {tag.second.first, tag.second.second};
  for (const wchar_t* word :
       {L"body", L"h1", L"h2", L"h3", L"h4", L"h5", L"h6", L"code", L"pre", L"big", L"small", L"sub", L"sup"})
    m_tags[word] = {TAG_STYLE, word};
  for (const auto& colour : kWebColours)
    m_colours[colour.name] = RGB((colour.rgb >> 16) & 0xFF, (colour.rgb >> 8) & 0xFF, colour.rgb & 0xFF);
  for (const auto& colour : kSystemColours) m_colours[colour.first] = GetSysColor(colour.second);
  SetStyleSheet(nullptr);
}

std::wstring HtmlMarkup::PrepareText(const std::wstring& text, bool newlines_break) const {
  std::wstring out = text;
  for (const auto& entity : m_entities) ReplaceAll(out, entity.first, entity.second);
  out.erase(std::remove(out.begin(), out.end(), L'\r'), out.end());
  if (newlines_break) {
    ReplaceAll(out, L"\n", L"<br>");
    ReplaceAll(out, L"\t", L"<t>");
  } else {
    out.erase(std::remove_if(out.begin(), out.end(), [](wchar_t c) { return c == L'\n' || c == L'\t'; }), out.end());
  }
  return out;
}

bool HtmlMarkup::NextToken(const std::wstring& text, size_t& pos, size_t end, HtmlToken& token) {
  end = std::min(end, text.size());
  if (pos >= end) return false;
  token = HtmlToken();
  while (pos < end) {
    const size_t open = text.find(L'<', pos);
    if (open == std::wstring::npos || open >= end) {
      token.text.append(text, pos, end - pos);
      pos = end;
      break;
    }
    token.text.append(text, pos, open - pos);
    if (open + 1 >= end || text[open + 1] == L'<') {
      token.text += L'<';
      pos = std::min(open + 2, end);
      continue;
    }
    if (!token.text.empty()) {
      pos = open;  // the tag is the next token
      return true;
    }
    const size_t close = text.find(L'>', open + 1);
    if (close == std::wstring::npos || close >= end) {
      // No ">" follows, so no tag follows either: every lone "<" left is an empty tag, which
      // does nothing, and "<<" a literal. Read in one go, the rest costs one pass, not one
      // search to the end for each "<".
      for (size_t i = open; i < end; ++i) {
        if (text[i] != L'<') {
          token.text += text[i];
        } else if (i + 1 < end && text[i + 1] == L'<') {
          token.text += L'<';
          ++i;
        } else if (i + 1 >= end) {
          token.text += L'<';
        }
      }
      pos = end;
      return true;
    }
    token.kind = HtmlToken::TAG;
    std::wstring tag = text.substr(open + 1, close - open - 1);
    pos = close + 1;
    const size_t name_end = tag.find_first_of(L" =");
    token.text = tag.substr(0, name_end);
    if (name_end != std::wstring::npos) {
      const size_t rest = tag.find_first_not_of(L' ', name_end);
      if (rest != std::wstring::npos) token.attributes = tag.substr(rest);
    }
    if (!token.text.empty() && token.text[0] == L'/') {
      token.closing = true;
      token.text.erase(0, 1);
    }
    return true;
  }
  return true;
}

bool ScanTag(const std::wstring& text, size_t& pos, size_t end, TagScan& tag) {
  end = std::min(end, text.size());
  while (pos < end) {
    const size_t open = text.find(L'<', pos);
    if (open == std::wstring::npos || open >= end) break;
    if (open + 1 >= end || text[open + 1] == L'<') {
      pos = std::min(open + 2, end);
      continue;
    }
    const size_t close = text.find(L'>', open + 1);
    if (close == std::wstring::npos || close >= end) break;  // no ">" ahead: no tag either
    pos = close + 1;
    const size_t name_end = std::min(text.find_first_of(L" =", open + 1), close);
    tag.begin = open;
    tag.name.assign(text, open + 1, name_end - open - 1);
    tag.closing = !tag.name.empty() && tag.name[0] == L'/';
    if (tag.closing) tag.name.erase(0, 1);
    const size_t rest = text.find_first_not_of(L' ', name_end);
    tag.attributes = rest < close ? text.substr(rest, close - rest) : std::wstring();
    return true;
  }
  pos = end;
  return false;
}

HtmlAttributes HtmlMarkup::ParseAttributes(const std::wstring& text) {
  HtmlAttributes out;
  size_t i = 0;
  const size_t n = text.size();
  while (true) {
    while (i < n && !IsWordStart(text[i])) ++i;
    if (i >= n) break;
    const size_t name_start = i;
    while (i < n && text[i] != L' ' && text[i] != L'=') ++i;
    std::wstring name = text.substr(name_start, i - name_start);
    while (i < n && text[i] == L' ') ++i;
    std::wstring value;
    if (i < n && text[i] == L'=') {
      while (i < n && (text[i] == L' ' || text[i] == L'=')) ++i;
      if (i < n && (text[i] == L'\'' || text[i] == L'"')) {
        const wchar_t quote = text[i++];
        const size_t close = text.find(quote, i);
        const size_t stop = close == std::wstring::npos ? n : close;
        value = text.substr(i, stop - i);
        i = stop == n ? n : stop + 1;
      } else {
        const size_t stop = std::min(text.find(L' ', i), n);
        value = text.substr(i, stop - i);
        i = stop;
      }
    }
    out.emplace_back(std::move(name), std::move(value));
  }
  return out;
}

std::wstring HtmlMarkup::Attribute(const HtmlAttributes& attributes, const wchar_t* name, bool* found) {
  std::wstring value;
  bool seen = false;
  for (const auto& attribute : attributes)
    if (attribute.first == name) {
      value = attribute.second;
      seen = true;
    }
  if (found) *found = seen;
  return value;
}

COLORREF HtmlMarkup::ParseColour(const std::wstring& text, COLORREF fallback) const {
  if (text.empty()) return fallback;
  if (text[0] == L'#') {
    if (text.size() != 7) return fallback;
    for (size_t i = 1; i < 7; ++i)
      if (!iswxdigit(text[i])) return fallback;
    const unsigned long rgb = wcstoul(text.c_str() + 1, nullptr, 16);
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
  }
  if (text[0] >= L'0' && text[0] <= L'9') return static_cast<COLORREF>(ReadNumber(text));
  const auto found = m_colours.find(text);
  if (found == m_colours.end()) return fallback;
  return m_enabled ? found->second : m_disabledColour;
}

int HtmlMarkup::ParseLength(int current, const std::wstring& text, bool font_size, const LengthMetrics& metrics) {
  if (text.empty()) return current;
  if (text.back() == L'%') {
    // Rounded half away from zero, as MulDiv rounds, but in 64 bits: a huge value clamps
    // instead of failing as MulDiv would.
    const long long product = static_cast<long long>(current) * Clamp(_wtoi(text.c_str()));
    return Clamp((product + (product < 0 ? -50 : 50)) / 100);
  }
  std::wstring rest = text;
  bool negative = false;
  if (rest[0] == L'+' || rest[0] == L'-') {
    negative = rest[0] == L'-';
    rest.erase(0, 1);
  }
  const long long n = Clamp(_wtoi(rest.c_str()));
  const std::wstring unit = rest.size() >= 2 ? rest.substr(rest.size() - 2) : L"";
  long long value;
  if (unit == L"px") {
    value = n;
  } else if (unit == L"ex") {
    value = n * metrics.ex_height;
  } else if (unit == L"em") {
    value = n * metrics.em_height;
  } else if (unit == L"in" || unit == L"cm" || unit == L"mm" || unit == L"pt" || unit == L"pc") {
    const long long product = n * metrics.pixels_per_inch;
    if (unit == L"in")
      value = product;
    else if (unit == L"cm")
      value = static_cast<long long>(product / 2.54);
    else if (unit == L"mm")
      value = static_cast<long long>(product / 25.4);
    else if (unit == L"pt")
      value = product / 72;
    else
      value = product / 6;
  } else {
    value = std::min<unsigned long>(ReadNumber(rest), kMaxLength);
    static const int kFontSizes[] = {8, 10, 12, 14, 18, 24, 36};
    if (font_size && value >= 1 && value <= 7)
      value = kFontSizes[value - 1];
    else if (negative)
      value = -value;
    return Clamp(value);
  }
  // A sign before a length with a unit is dropped: only plain numbers take it.
  return Clamp(value);
}

int HtmlMarkup::ParseFontStyle(const std::wstring& word, int current) {
  if (word.empty() || word == L"normal") return 0;
  if (word == L"italic" || word == L"oblique") return 1;
  return current;
}

int HtmlMarkup::ParseFontWeight(const std::wstring& word, int current) {
  if (word.empty() || word == L"normal") return FW_NORMAL;
  if (word == L"bold") return FW_BOLD;
  if (word == L"bolder") return FW_HEAVY;
  if (word == L"lighter") return FW_THIN;
  (void)current;
  return std::clamp(_wtoi(word.c_str()), 0, 1000);
}

int HtmlMarkup::ParseTextAlign(const std::wstring& word, int current) {
  if (word.empty() || word == L"left") return 0;
  if (word == L"center") return 1;
  if (word == L"right") return 2;
  return current;
}

int HtmlMarkup::ParseVerticalAlign(const std::wstring& word, int current) {
  if (word.empty() || word == L"baseline") return 3;
  if (word == L"middle" || word == L"vcenter") return 1;
  if (word == L"top") return 0;
  if (word == L"bottom") return 2;
  return current;
}

int HtmlMarkup::ParseTextTransform(const std::wstring& word, int current) {
  if (word.empty() || word == L"none") return 0;
  if (word == L"uppercase") return 1;
  if (word == L"lowercase") return 2;
  if (word == L"capitalize") return 3;
  return current;
}

int HtmlMarkup::ParseBorderStyle(const std::wstring& word, int current) {
  if (word.empty() || word == L"none") return 0;
  if (word == L"solid") return 1;
  if (word == L"dotted") return 3;
  if (word == L"dashed") return 2;
  if (word == L"double") return 6;
  return current;
}

int HtmlMarkup::ParseBorderWidth(const std::wstring& word, int current, const LengthMetrics& metrics) {
  if (word == L"thin") return current * 75 / 100;
  if (word == L"thick") return current * 125 / 100;
  if (word == L"medium") return current;
  return ParseLength(current, word, false, metrics);
}

void HtmlMarkup::ApplyTextDecoration(const std::wstring& words, HtmlStyle& style) {
  size_t i = 0;
  bool any = false;
  while (i <= words.size()) {
    const size_t stop = std::min(words.find_first_of(L" ,", i), words.size());
    const std::wstring word = words.substr(i, stop - i);
    i = stop + 1;
    if (word.empty()) continue;
    any = true;
    if (word == L"none")
      style.underline = style.strikeout = style.overline = false;
    else if (word == L"underline")
      style.underline = true;
    else if (word == L"line-through")
      style.strikeout = true;
    else if (word == L"overline")
      style.overline = true;
  }
  if (!any) style.underline = style.strikeout = style.overline = false;
}

std::wstring HtmlMarkup::Transform(const std::wstring& text, int transform) {
  std::wstring out = text;
  switch (transform) {
    case 1:
      for (auto& c : out) c = static_cast<wchar_t>(towupper(c));
      break;
    case 2:
    case 3:
      for (auto& c : out) c = static_cast<wchar_t>(towlower(c));
      if (transform == 3)
        for (size_t i = 0; i < out.size(); ++i)
          if ((i == 0 || out[i - 1] == L' ') && out[i] >= L'a' && out[i] <= L'z')
            out[i] = static_cast<wchar_t>(out[i] - 32);
      break;
    default:
      break;
  }
  return out;
}

bool HtmlMarkup::IsWrapChar(wchar_t c) { return wcschr(L" -.,!:;)}]?", c) != nullptr && c != 0; }

void HtmlMarkup::SetStyleSheet(const wchar_t* text) {
  m_sheet.clear();
  m_sheetSource = text ? text : kBuiltInSheet;
  const std::wstring& sheet = m_sheetSource;
  const size_t n = sheet.size();
  size_t i = 0;
  while (true) {
    while (i < n && !IsWordStart(sheet[i])) ++i;
    if (i >= n) break;
    const size_t start = i;
    while (i < n && sheet[i] != L' ' && sheet[i] != L'{') ++i;
    std::wstring selector = Lower(sheet.substr(start, i - start));
    const size_t open = sheet.find(L'{', i);
    if (open == std::wstring::npos) break;
    const size_t close = sheet.find(L'}', open + 1);
    const size_t stop = close == std::wstring::npos ? n : close;
    if (!selector.empty()) m_sheet[selector] = sheet.substr(open + 1, stop - open - 1);
    i = stop == n ? n : stop + 1;
  }
}

const std::wstring* HtmlMarkup::LookupRule(const std::wstring& selector) const {
  const auto found = m_sheet.find(Lower(selector));
  return found == m_sheet.end() ? nullptr : &found->second;
}

void HtmlMarkup::ApplyRule(const std::wstring& selector, HtmlStyle& style, const LengthMetrics& metrics) const {
  if (const std::wstring* rule = LookupRule(selector)) ApplyDeclarations(*rule, style, metrics);
}

void HtmlMarkup::ApplyDeclarations(const std::wstring& declarations, HtmlStyle& style,
                                   const LengthMetrics& metrics) const {
  const std::wstring text = Lower(declarations);
  const size_t n = text.size();
  size_t i = 0;
  while (true) {
    while (i < n && !IsWordStart(text[i])) ++i;
    if (i >= n) break;
    const size_t start = i;
    while (i < n && text[i] != L' ' && text[i] != L':') ++i;
    const std::wstring property = text.substr(start, i - start);
    while (i < n && text[i] == L' ') ++i;
    if (i >= n || text[i] != L':') {
      const size_t next = text.find(L';', i);
      i = next == std::wstring::npos ? n : next + 1;
      continue;
    }
    ++i;
    while (i < n && text[i] == L' ') ++i;
    std::wstring value;
    if (i < n && text[i] == L'"') {
      const size_t close = text.find(L'"', i + 1);
      if (close != std::wstring::npos) value = text.substr(i + 1, close - i - 1);
      i = close == std::wstring::npos ? n : close + 1;
    } else {
      const size_t stop = std::min(text.find(L';', i), n);
      value = text.substr(i, stop - i);
      i = stop;
    }
    while (!value.empty() && value.back() == L' ') value.pop_back();
    ApplyDeclaration(property, value, style, metrics);
  }
}

void HtmlMarkup::ApplyDeclaration(const std::wstring& property, const std::wstring& value, HtmlStyle& style,
                                  const LengthMetrics& metrics) const {
  if (property == L"font-size") {
    style.font_height = ParseLength(style.font_height, value, true, metrics);
  } else if (property == L"font-family") {
    if (!value.empty()) style.font_face = value;
  } else if (property == L"font-style") {
    style.italic = ParseFontStyle(value, style.italic) != 0;
  } else if (property == L"font-weight") {
    style.weight = ParseFontWeight(value, style.weight);
  } else if (property == L"text-align") {
    style.horizontal_align = ParseTextAlign(value, style.horizontal_align);
  } else if (property == L"text-transform") {
    style.text_transform = ParseTextTransform(value, style.text_transform);
  } else if (property == L"color") {
    style.text_colour = m_enabled ? ParseColour(value, style.text_colour) : m_disabledColour;
  } else if (property == L"background-color") {
    if (value.empty() || value == L"transparent" || !m_enabled) {
      style.background_mode = TRANSPARENT;
    } else {
      style.background_mode = OPAQUE;
      style.background_colour = ParseColour(value, style.background_colour);
    }
  } else if (property == L"text-decoration") {
    ApplyTextDecoration(value, style);
  } else if (property == L"vertical-align") {
    style.vertical_align = ParseVerticalAlign(value, style.vertical_align);
  } else if (property == L"border-color") {
    style.border_light = style.border_dark = m_enabled ? ParseColour(value, style.border_light) : m_disabledColour;
  } else if (property == L"border-width" || property == L"size") {
    style.border_width = ParseBorderWidth(value, style.border_width, metrics);
    if (style.border_width <= 0)
      style.border_style = 0;
    else if (style.border_style == 0)
      style.border_style = 1;
  } else if (property == L"border-style") {
    style.border_style = ParseBorderStyle(value, style.border_style);
    if (style.border_style != 0 && style.border_width == 0) style.border_width = 1;
  } else if (property == L"margin") {
    style.margin = ParseLength(style.margin, value, false, metrics);
  } else if (property == L"padding") {
    style.padding = ParseLength(style.padding, value, false, metrics);
  }
}

int HtmlMarkup::TagKind(const std::wstring& word, std::wstring* style_name) const {
  const auto found = m_tags.find(word);
  if (found == m_tags.end()) {
    if (style_name) style_name->clear();
    return TAG_UNKNOWN;
  }
  if (style_name) *style_name = found->second.second;
  return found->second.first;
}

bool HtmlMarkup::IsContainer(int kind) {
  return (kind >= TAG_BOLD && kind <= TAG_FONT) || (kind >= TAG_LEFT && kind <= TAG_BOTTOM) ||
         (kind >= TAG_STYLE && kind <= TAG_HYPERLINK);
}

void HtmlMarkup::ApplyFontTag(const HtmlAttributes& attributes, HtmlStyle& style, const LengthMetrics& metrics) const {
  for (const auto& attribute : attributes) {
    const std::wstring& name = attribute.first;
    const std::wstring& value = attribute.second;
    if (name == L"face") {
      if (!value.empty()) style.font_face = value;
    } else if (name == L"size") {
      style.font_height = ParseLength(style.font_height, value, true, metrics);
    } else if (name == L"color") {
      style.text_colour = m_enabled ? ParseColour(value, style.text_colour) : m_disabledColour;
    } else if (name == L"style") {
      bool on = true;
      for (wchar_t c : value) {
        switch (c) {
          case L'b':
            style.weight = on ? FW_BOLD : FW_NORMAL;
            on = true;
            break;
          case L'i':
            style.italic = on;
            on = true;
            break;
          case L'u':
            style.underline = on;
            on = true;
            break;
          case L's':
            style.strikeout = on;
            on = true;
            break;
          case L'o':
            style.overline = on;
            on = true;
            break;
          case L'-':
            on = false;
            break;
          case L'+':
            on = true;
            break;
          default:
            break;
        }
      }
    } else if (name == L"weight") {
      style.weight = ParseFontWeight(value, style.weight);
    } else if (name == L"bkgnd") {
      if (value.empty() || value == L"transparent" || !m_enabled) {
        style.background_mode = TRANSPARENT;
      } else {
        style.background_mode = OPAQUE;
        style.background_colour = ParseColour(value, style.background_colour);
      }
    }
  }
}

bool HtmlMarkup::ApplyContainerTag(int kind, const std::wstring& word, bool closing, const std::wstring& attributes,
                                   HtmlStyle& current, std::vector<HtmlStyle>& stack, const LengthMetrics& metrics,
                                   int& link_counter, int hot_link) const {
  std::wstring style_name;
  if (TagKind(word, &style_name) != kind || !IsContainer(kind)) return false;
  current.tag_name = style_name;
  bool changed = false;
  if (closing) {
    if (!stack.empty() && stack.back().tag_name == style_name) {
      current = std::move(stack.back());
      stack.pop_back();
      changed = true;
    }
  } else {
    stack.push_back(current);
    changed = true;
    switch (kind) {
      case TAG_BOLD:
        current.weight = std::min(current.weight * 2, 900);
        break;
      case TAG_ITALIC:
        current.italic = !current.italic;
        break;
      case TAG_UNDERLINE:
        current.underline = !current.underline;
        break;
      case TAG_STRIKEOUT:
        current.strikeout = !current.strikeout;
        break;
      case TAG_FONT:
        ApplyFontTag(ParseAttributes(attributes), current, metrics);
        break;
      case TAG_LEFT:
        current.horizontal_align = 0;
        break;
      case TAG_CENTER:
        current.horizontal_align = 1;
        break;
      case TAG_RIGHT:
        current.horizontal_align = 2;
        break;
      case TAG_JUSTIFY:
        current.horizontal_align = 3;
        break;
      case TAG_BASELINE:
        current.vertical_align = 3;
        break;
      case TAG_TOP:
        current.vertical_align = 0;
        break;
      case TAG_VCENTER:
        current.vertical_align = 1;
        break;
      case TAG_BOTTOM:
        current.vertical_align = 2;
        break;
      case TAG_STYLE:
        ApplyRule(word, current, metrics);
        break;
      case TAG_SPAN:
        for (const auto& attribute : ParseAttributes(attributes))
          if (attribute.first == L"class") ApplyRule(L"." + attribute.second, current, metrics);
        break;
      case TAG_HYPERLINK:
        current.link_kind = 2;
        current.link_target.clear();
        for (const auto& attribute : ParseAttributes(attributes)) {
          if (attribute.first == L"href") {
            current.link_kind = 1;
            current.link_target = attribute.second;
          } else if (attribute.first == L"msg") {
            current.link_kind = 2;
            current.link_target = attribute.second;
          }
        }
        ++link_counter;
        ApplyRule(link_counter == hot_link ? L"a:hover" : L"a:link", current, metrics);
        break;
      default:
        break;
    }
  }
  current.tag_name.clear();
  return changed;
}
