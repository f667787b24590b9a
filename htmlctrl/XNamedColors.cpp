#include "XNamedColors.h"

#include <cwchar>
#include <cwctype>
#include <string>

namespace {

struct ColourRow {
  const wchar_t* name;
  COLORREF value;
};

constexpr COLORREF kSystemColour = CXNamedColors::kSystemColour;

// Searched in order; some values differ on purpose from the drawer's CSS table (Gray is
// #7F7F7F here), since labels were written against these.
const ColourRow kColours[] = {
    {L"AliceBlue", 0xFFF8F0},
    {L"AntiqueWhite", 0xD7EBFA},
    {L"Aqua", 0xFFFF00},
    {L"Aquamarine", 0xD4FF7F},
    {L"Azure", 0xFFFFF0},
    {L"Beige", 0xDCF5F5},
    {L"Bisque", 0xC4E4FF},
    {L"Black", 0x000000},
    {L"BlanchedAlmond", 0xCDFFFF},
    {L"Blue", 0xFF0000},
    {L"BlueViolet", 0xE22B8A},
    {L"Brown", 0x2A2AA5},
    {L"Burlywood", 0x87B8DE},
    {L"CadetBlue", 0xA09E5F},
    {L"Chartreuse", 0x00FF7F},
    {L"Chocolate", 0x1E69D2},
    {L"Coral", 0x507FFF},
    {L"CornflowerBlue", 0xED9564},
    {L"Cornsilk", 0xDCF8FF},
    {L"Crimson", 0x3C14DC},
    {L"Cyan", 0xFFFF00},
    {L"DarkBlue", 0x8B0000},
    {L"DarkCyan", 0x8B8B00},
    {L"DarkGoldenRod", 0x0B86B8},
    {L"DarkGray", 0xA9A9A9},
    {L"DarkGreen", 0x006400},
    {L"DarkKhaki", 0x6BB7BD},
    {L"DarkMagenta", 0x8B008B},
    {L"DarkOliveGreen", 0x2F6B55},
    {L"DarkOrange", 0x008CFF},
    {L"DarkOrchid", 0xCC3299},
    {L"DarkRed", 0x00008B},
    {L"DarkSalmon", 0x7A96E9},
    {L"DarkSeaGreen", 0x8FBC8F},
    {L"DarkSlateBlue", 0x8B3D48},
    {L"DarkSlateGray", 0x4F4F2F},
    {L"DarkTurquoise", 0xD1CE00},
    {L"DarkViolet", 0xD30094},
    {L"DeepPink", 0x9314FF},
    {L"DeepSkyBlue", 0xFFBF00},
    {L"DimGray", 0x696969},
    {L"DodgerBlue", 0xFF901E},
    {L"FireBrick", 0x2222B2},
    {L"FloralWhite", 0xF0FAFF},
    {L"ForestGreen", 0x228B22},
    {L"Fuchsia", 0xFF00FF},
    {L"Gainsboro", 0xDCDCDC},
    {L"GhostWhite", 0xFFF8F8},
    {L"Gold", 0x00D7FF},
    {L"GoldenRod", 0x20A5DA},
    {L"Gray", 0x7F7F7F},
    {L"Green", 0x008000},
    {L"GreenYellow", 0x2FFFAD},
    {L"HoneyDew", 0xF0FFF0},
    {L"HotPink", 0xB469FF},
    {L"IndianRed", 0x5C5CCD},
    {L"Indigo", 0x82004B},
    {L"Ivory", 0xF0FFFF},
    {L"Khaki", 0x8CE6F0},
    {L"Lavender", 0xFAE6E6},
    {L"LavenderBlush", 0xF5F0FF},
    {L"Lawngreen", 0x00FC7C},
    {L"LemonChiffon", 0xCDFAFF},
    {L"LightBlue", 0xE6D8AD},
    {L"LightCoral", 0x8080F0},
    {L"LightCyan", 0xFFFFE0},
    {L"LightGoldenRodYellow", 0xD2FAFA},
    {L"LightGreen", 0x90EE90},
    {L"LightGrey", 0xD3D3D3},
    {L"LightPink", 0xC1B6FF},
    {L"LightSalmon", 0x7AA0FF},
    {L"LightSeaGreen", 0xAAB220},
    {L"LightSkyBlue", 0xFACE87},
    {L"LightSlateGray", 0x998877},
    {L"LightSteelBlue", 0xDEC4B0},
    {L"LightYellow", 0xE0FFFF},
    {L"Lime", 0x00FF00},
    {L"LimeGreen", 0x32CD32},
    {L"Linen", 0xE6F0FA},
    {L"Magenta", 0xFF00FF},
    {L"Maroon", 0x000080},
    {L"MediumAquamarine", 0xAACD66},
    {L"MediumBlue", 0xCD0000},
    {L"MediumOrchid", 0xD355BA},
    {L"MediumPurple", 0xDB7093},
    {L"MediumSeaGreen", 0x71B33C},
    {L"MediumSlateBlue", 0xEE687B},
    {L"MediumSpringGreen", 0x9AFA00},
    {L"MediumTurquoise", 0xCCD148},
    {L"MediumVioletRed", 0x8515C7},
    {L"MidnightBlue", 0x701919},
    {L"MintCream", 0xFAFFF5},
    {L"MistyRose", 0xE1E4FF},
    {L"Moccasin", 0xB5E4FF},
    {L"NavajoWhite", 0xADDEFF},
    {L"Navy", 0x800000},
    {L"OldLace", 0xE6F5FD},
    {L"Olive", 0x008080},
    {L"OliveDrab", 0x238E6B},
    {L"Orange", 0x00A5FF},
    {L"OrangeRed", 0x0045FF},
    {L"Orchid", 0xD670DA},
    {L"PaleGoldenRod", 0xAAE8EE},
    {L"PaleGreen", 0x98FB98},
    {L"PaleTurquoise", 0xEEEEAF},
    {L"PaleVioletRed", 0x9370DB},
    {L"PapayaWhip", 0xD5EFFF},
    {L"PeachPuff", 0xB9DAFF},
    {L"Peru", 0x3F85CD},
    {L"Pink", 0xCBC0FF},
    {L"Plum", 0xDDA0DD},
    {L"PowderBlue", 0xE6E0B0},
    {L"Purple", 0x800080},
    {L"Red", 0x0000FF},
    {L"RosyBrown", 0x8F8FBC},
    {L"RoyalBlue", 0xE16941},
    {L"SaddleBrown", 0x13458B},
    {L"Salmon", 0x7280FA},
    {L"SandyBrown", 0x60A4F4},
    {L"SeaGreen", 0x578B2E},
    {L"SeaShell", 0xEEF5FF},
    {L"Sienna", 0x2D52A0},
    {L"Silver", 0xC0C0C0},
    {L"SkyBlue", 0xEBCE87},
    {L"SlateBlue", 0xCD5A6A},
    {L"SlateGray", 0x908070},
    {L"Snow", 0xFAFAFF},
    {L"SpringGreen", 0x7FFF00},
    {L"SteelBlue", 0xB48246},
    {L"Tan", 0x8CB4D2},
    {L"Teal", 0x808000},
    {L"Thistle", 0xD8BFD8},
    {L"Tomato", 0x4763FF},
    {L"Turquoise", 0xD0E040},
    {L"Violet", 0xEE82EE},
    {L"Wheat", 0xB3DEF5},
    {L"White", 0xFFFFFF},
    {L"WhiteSmoke", 0xF5F5F5},
    {L"Yellow", 0x00FFFF},
    {L"YellowGreen", 0x32CD8B},
    {L"ActiveBorder", kSystemColour | 10},
    {L"ActiveCaption", kSystemColour | 2},
    {L"ActiveCaptionText", kSystemColour | 9},
    {L"AppWorkspace", kSystemColour | 12},
    {L"Background", kSystemColour | 1},
    {L"BtnFace", kSystemColour | 15},
    {L"BtnHighlight", kSystemColour | 20},
    {L"BtnHilight", kSystemColour | 20},
    {L"BtnShadow", kSystemColour | 16},
    {L"BtnText", kSystemColour | 18},
    {L"CaptionText", kSystemColour | 9},
    {L"Control", kSystemColour | 15},
    {L"ControlDark", kSystemColour | 16},
    {L"ControlDarkDark", kSystemColour | 21},
    {L"ControlLight", kSystemColour | 20},
    {L"ControlLightLight", kSystemColour | 20},
    {L"ControlText", kSystemColour | 18},
    {L"Desktop", kSystemColour | 1},
    {L"GradientActiveCaption", kSystemColour | 27},
    {L"GradientInactiveCaption", kSystemColour | 28},
    {L"GrayText", kSystemColour | 17},
    {L"Highlight", kSystemColour | 13},
    {L"HighlightText", kSystemColour | 14},
    {L"HotLight", kSystemColour | 26},
    {L"HotTrack", kSystemColour | 26},
    {L"InactiveBorder", kSystemColour | 11},
    {L"InactiveCaption", kSystemColour | 3},
    {L"InactiveCaptionText", kSystemColour | 19},
    {L"Info", kSystemColour | 24},
    {L"InfoBk", kSystemColour | 24},
    {L"InfoText", kSystemColour | 23},
    {L"Menu", kSystemColour | 4},
    {L"MenuBar", kSystemColour | 30},
    {L"MenuHilight", kSystemColour | 29},
    {L"MenuText", kSystemColour | 7},
    {L"ScrollBar", kSystemColour | 0},
    {L"Window", kSystemColour | 5},
    {L"WindowFrame", kSystemColour | 6},
    {L"WindowText", kSystemColour | 8},
};

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

}  // namespace

int CXNamedColors::TableSize() { return static_cast<int>(sizeof kColours / sizeof kColours[0]); }

void CXNamedColors::SetColorFromString(const wchar_t* text) {
  if (!text) return;
  m_value = 0;
  if (const wchar_t* comma = wcschr(text, L',')) {
    const int red = _wtoi(text);
    const int green = _wtoi(comma + 1);
    const wchar_t* second = wcschr(comma + 1, L',');
    const int blue = second ? _wtoi(second + 1) : 0;
    m_value = RGB(red & 0xFF, green & 0xFF, blue & 0xFF);
    return;
  }
  if (!wcschr(text, L'#')) {
    for (const ColourRow& row : kColours)
      if (_wcsicmp(row.name, text) == 0) {
        m_value = row.value;
        return;
      }
    return;
  }
  if (wcslen(text) != 7 || text[0] != L'#') return;
  int digits[6];
  for (int i = 0; i < 6; ++i)
    if ((digits[i] = HexDigit(text[i + 1])) < 0) return;
  m_value = RGB(digits[0] * 16 + digits[1], digits[2] * 16 + digits[3], digits[4] * 16 + digits[5]);
}

COLORREF CXNamedColors::GetRGB() const {
  if (m_value & kSystemColour) return GetSysColor(static_cast<int>(m_value & 0xFF));
  return m_value;
}

const wchar_t* FindNoCase(const wchar_t* text, const wchar_t* pattern) {
  if (!text) return nullptr;
  if (!pattern || !*pattern) return text;
  const size_t length = wcslen(pattern);
  for (const wchar_t* at = text; *at; ++at)
    if (_wcsnicmp(at, pattern, length) == 0) return at;
  return nullptr;
}

int ReplaceNoCase(const wchar_t* source, const wchar_t* find, const wchar_t* replacement, wchar_t* destination,
                  size_t capacity) {
  if (!source || !find || !replacement || !destination || !*source || !*find || capacity == 0) return 0;
  const size_t find_length = wcslen(find);
  std::wstring result;
  bool matched = false;
  for (const wchar_t* at = source; *at;) {
    if (_wcsnicmp(at, find, find_length) == 0) {
      result += replacement;
      at += find_length;
      matched = true;
    } else {
      result += *at++;
    }
  }
  if (!matched) return 0;
  const size_t length = result.size() < capacity ? result.size() : capacity - 1;
  wmemcpy(destination, result.data(), length);
  destination[length] = L'\0';
  return static_cast<int>(length);
}
