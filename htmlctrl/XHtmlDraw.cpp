#include "XHtmlDraw.h"

#include "GdiOwners.h"
#include "LinkOpen.h"
#include "XNamedColors.h"

#include <atomic>
#include <cwchar>

void XHTMLDRAWPARAMS::Cleanup() {
  // The bitmap back out of the DC before either goes: a selected bitmap cannot be deleted.
  if (memory_dc && old_bitmap) SelectObject(memory_dc.get(), old_bitmap);
  memory_dc.reset();
  bitmap.reset();
  old_bitmap = nullptr;
  link_target.clear();
  link_target.shrink_to_fit();
}

namespace htmlctrl {

namespace {

const LightEntity kEntities[] = {
    {L"&amp;", 0x0026},    {L"&bull;", 0x2022},   {L"&cent;", 0x00A2},   {L"&copy;", 0x00A9},  {L"&deg;", 0x00B0},
    {L"&euro;", 0x20AC},   {L"&frac12;", 0x00BD}, {L"&frac14;", 0x00BC}, {L"&gt;", 0x003E},    {L"&iquest;", 0x00BF},
    {L"&lt;", 0x003C},     {L"&micro;", 0x00B5},  {L"&middot;", 0x00B7}, {L"&nbsp;", 0x0020},  {L"&para;", 0x00B6},
    {L"&plusmn;", 0x00B1}, {L"&pound;", 0x00A3},  {L"&quot;", 0x0022},   {L"&reg;", 0x00AE},   {L"&sect;", 0x00A7},
    {L"&sup1;", 0x00B9},   {L"&sup2;", 0x00B2},   {L"&times;", 0x00D7},  {L"&trade;", 0x2122},
};
constexpr int kEntityCount = static_cast<int>(sizeof kEntities / sizeof kEntities[0]);

// The entity row starting at text[at], or -1.
int EntityAt(const std::wstring& text, size_t at) {
  if (text[at] != L'&') return -1;
  for (int row = 0; row < kEntityCount; ++row) {
    const size_t length = wcslen(kEntities[row].text);
    if (text.size() - at >= length && _wcsnicmp(text.c_str() + at, kEntities[row].text, length) == 0) return row;
  }
  return -1;
}

// One attribute word and its value (quotes removed) from position at; false at the end.
bool NextAttribute(const std::wstring& text, size_t& at, std::wstring& name, std::wstring& value) {
  while (at < text.size() && (text[at] == L' ' || text[at] == L'\t' || text[at] == L'\r' || text[at] == L'\n')) ++at;
  if (at >= text.size()) return false;
  const size_t start = at;
  while (at < text.size() && text[at] != L'=' && text[at] != L' ' && text[at] != L'\t') ++at;
  name = text.substr(start, at - start);
  value.clear();
  if (at < text.size() && text[at] == L'=') {
    ++at;
    if (at < text.size() && (text[at] == L'"' || text[at] == L'\'')) {
      const wchar_t quote = text[at++];
      const size_t end = text.find(quote, at);
      value = text.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
      at = end == std::wstring::npos ? text.size() : end + 1;
    } else {
      const size_t value_start = at;
      while (at < text.size() && text[at] != L' ' && text[at] != L'\t') ++at;
      value = text.substr(value_start, at - value_start);
    }
  }
  return true;
}

}  // namespace

int LightEntityCount() { return kEntityCount; }

const LightEntity& LightEntityAt(int row) { return kEntities[row >= 0 && row < kEntityCount ? row : 0]; }

std::wstring InsertEntityPlaceholders(const std::wstring& text) {
  std::wstring result;
  result.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    if (text[at] == kEntityMark) {
      ++at;
      continue;
    }
    const int row = EntityAt(text, at);
    if (row < 0) {
      result += text[at++];
      continue;
    }
    result += kEntityMark;
    result += static_cast<wchar_t>(kFirstEntityCode + row);
    at += wcslen(kEntities[row].text);
  }
  return result;
}

std::wstring ResolveEntityPlaceholders(const std::wstring& text) {
  std::wstring result;
  result.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] != kEntityMark) {
      result += text[at];
      continue;
    }
    if (at + 1 >= text.size()) break;
    const int row = text[++at] - kFirstEntityCode;
    result += row >= 0 && row < kEntityCount ? kEntities[row].character : L' ';
  }
  return result;
}

LightFontAttributes ReadLightFontAttributes(const std::wstring& attributes) {
  LightFontAttributes font;
  std::wstring name, value;
  for (size_t at = 0; NextAttribute(attributes, at, name, value);) {
    if (_wcsicmp(name.c_str(), L"color") == 0) {
      font.has_colour = true;
      font.colour = CXNamedColors(value.c_str()).GetRGB();
    } else if (_wcsicmp(name.c_str(), L"bgcolor") == 0) {
      font.has_background = true;
      font.background = CXNamedColors(value.c_str()).GetRGB();
    } else if (_wcsicmp(name.c_str(), L"face") == 0) {
      font.has_face = true;
      font.face = value;
    } else if (_wcsicmp(name.c_str(), L"size") == 0) {
      font.has_size = true;
      // Sizes are small numbers; a huge one must not overflow the font height.
      const int size = _wtoi(value.c_str());
      font.size = size > 100 ? 100 : size < -100 ? -100 : size;
    }
  }
  return font;
}

bool StartsNoCase(const std::wstring& text, size_t at, const wchar_t* literal) {
  const size_t length = wcslen(literal);
  return text.size() - at >= length && _wcsnicmp(text.c_str() + at, literal, length) == 0;
}

void DecreaseCounter(int& counter) {
  if (counter > 0) --counter;
}

LOGFONTW StyledFont(const LOGFONTW& base, bool bold, bool italic, bool underline, bool strike) {
  LOGFONTW look = base;
  look.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  look.lfItalic = italic ? TRUE : FALSE;
  look.lfUnderline = underline ? TRUE : FALSE;
  look.lfStrikeOut = strike ? TRUE : FALSE;
  return look;
}

void ChangeFontHeight(LOGFONTW& font, int step) {
  if (font.lfHeight <= 0)
    font.lfHeight -= step;
  else
    font.lfHeight += step;
  font.lfHeight = font.lfHeight > 300 ? 300 : font.lfHeight < -300 ? -300 : font.lfHeight;
}

bool ConsumeCounterTag(const std::wstring& text, size_t& at, const CounterTag* tags, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (!StartsNoCase(text, at, tags[i].text)) continue;
    if (tags[i].step > 0)
      ++*tags[i].counter;
    else
      DecreaseCounter(*tags[i].counter);
    at += wcslen(tags[i].text);
    return true;
  }
  return false;
}

void SetFaceName(LOGFONTW& font, const std::wstring& face) {
  const size_t length = face.size() < LF_FACESIZE - 1 ? face.size() : LF_FACESIZE - 1;
  wmemcpy(font.lfFaceName, face.data(), length);
  font.lfFaceName[length] = L'\0';
}

CXHtmlDrawLink::CXHtmlDrawLink() = default;

CXHtmlDrawLink::~CXHtmlDrawLink() = default;

void CXHtmlDrawLink::AddAppCommand(HWND window, UINT message, WPARAM wparam, const std::wstring& name) {
  m_commands.push_back(AppCommand{window, message, wparam, name});
}

BOOL CXHtmlDrawLink::GotoURL(const wchar_t* url, LPARAM lparam) {
  if (!url || !*url) return FALSE;
  if (_wcsnicmp(url, L"APP:", 4) == 0) return ProcessAppCommand(url + 4, lparam);
  if (_wcsnicmp(url, L"\"APP:", 5) == 0) return ProcessAppCommand(url + 5, lparam);
  return OpenHyperlink(url, HKEY_CLASSES_ROOT) > 32;
}

BOOL CXHtmlDrawLink::ProcessAppCommand(const wchar_t* name, LPARAM lparam) {
  if (!name) return FALSE;
  std::wstring command(name);
  if (!command.empty() && command.front() == L'"') command.erase(0, 1);
  if (!command.empty() && command.back() == L'"') command.pop_back();
  if (command.empty()) return FALSE;
  for (const AppCommand& entry : m_commands) {
    if (_wcsicmp(entry.name.c_str(), command.c_str()) != 0 || !IsWindow(entry.window)) continue;
    SendMessageW(entry.window, entry.message, entry.wparam, lparam);
    return TRUE;
  }
  return FALSE;
}

}  // namespace htmlctrl

using namespace htmlctrl;

namespace {

// Only one Draw at a time in the process: a paint inside a paint returns at once.
std::atomic<bool> g_drawing{false};

class BusyFlag {
 public:
  BusyFlag() : m_acquired(!g_drawing.exchange(true)) {}
  ~BusyFlag() {
    if (m_acquired) g_drawing = false;
  }
  BusyFlag(const BusyFlag&) = delete;
  BusyFlag& operator=(const BusyFlag&) = delete;
  bool acquired() const { return m_acquired; }

 private:
  bool m_acquired;
};

}  // namespace

int CXHtmlDraw::Draw(HDC dc, const wchar_t* text, XHTMLDRAWPARAMS* params, BOOL hot_link) {
  BusyFlag busy;
  if (!busy.acquired() || !dc || !text || !params || !*text) return 0;
  HWND window = WindowFromDC(dc);
  if (!window || !IsWindowVisible(window)) return 0;
  RECT clip;
  if (GetClipBox(dc, &clip) == NULLREGION || GetClipBox(dc, &clip) == ERROR) return 0;
  const RECT rect = params->rect;
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0 || !IsSaneBitmapSize(width, height)) return 0;

  const COLORREF background =
      params->background_colour == CLR_INVALID ? GetSysColor(COLOR_WINDOW) : params->background_colour;
  const COLORREF text_colour = params->text_colour == CLR_INVALID ? GetSysColor(COLOR_WINDOWTEXT) : params->text_colour;
  MemoryDC work(CreateCompatibleDC(dc));
  Bitmap work_bitmap(CreateCompatibleBitmap(dc, width, height));
  if (!work || !work_bitmap) return 0;
  Selection work_selected(work.get(), work_bitmap.get());
  RECT all = {0, 0, width, height};
  if (params->background_copy) {
    if (!params->memory_dc) {
      params->memory_dc.reset(CreateCompatibleDC(dc));
      params->bitmap.reset(CreateCompatibleBitmap(dc, width, height));
      if (params->memory_dc && params->bitmap) {
        params->old_bitmap = SelectObject(params->memory_dc.get(), params->bitmap.get());
        BitBlt(params->memory_dc.get(), 0, 0, width, height, dc, rect.left, rect.top, SRCCOPY);
      }
    }
    BitBlt(work.get(), 0, 0, width, height, params->memory_dc.get(), 0, 0, SRCCOPY);
  } else {
    Brush fill(CreateSolidBrush(background));
    FillRect(work.get(), &all, fill.get());
  }

  params->link_rect = rect;
  params->link_drawn = 0;
  params->link_hot = 0;
  params->right_x = 0;
  params->link_target.clear();

  LOGFONTW base = {};
  if (params->own_font) {
    base = params->font;
  } else {
    HGDIOBJ current = GetCurrentObject(dc, OBJ_FONT);
    if (!current || !GetObjectW(current, sizeof base, &base))
      GetObjectW(GetStockObject(SYSTEM_FONT), sizeof base, &base);
  }
  LOGFONTW font = base;
  std::wstring source(text);
  if (source.size() > kMaxText) source.resize(kMaxText);
  const std::wstring marked = InsertEntityPlaceholders(source);

  int bold = params->bold, italic = params->italic, underline = params->underline, strike = params->strike_out;
  int sub = 0, sup = 0;
  COLORREF colour = text_colour, back = background;
  bool in_link = false;
  int x = 0;
  UINT format = params->format | (params->end_ellipsis ? DT_END_ELLIPSIS : 0);
  const int old_mode = GetBkMode(work.get());

  const CounterTag counters[] = {{L"<B>", &bold, 1},     {L"</B>", &bold, -1},    {L"<I>", &italic, 1},
                                 {L"</I>", &italic, -1}, {L"<U>", &underline, 1}, {L"</U>", &underline, -1},
                                 {L"<S>", &strike, 1},   {L"</S>", &strike, -1},  {L"<SUB>", &sub, 1},
                                 {L"</SUB>", &sub, -1},  {L"<SUP>", &sup, 1},     {L"</SUP>", &sup, -1}};

  for (size_t at = 0; at < marked.size();) {
    if (marked[at] == L'<') {
      if (ConsumeCounterTag(marked, at, counters)) continue;
      if (StartsNoCase(marked, at, L"<BIG>") || StartsNoCase(marked, at, L"</SMALL>")) {
        ChangeFontHeight(font, 2);
        at = marked.find(L'>', at) + 1;
        continue;
      }
      if (StartsNoCase(marked, at, L"</BIG>") || StartsNoCase(marked, at, L"<SMALL>")) {
        ChangeFontHeight(font, -2);
        at = marked.find(L'>', at) + 1;
        continue;
      }
      if (StartsNoCase(marked, at, L"<FONT")) {
        const size_t close = marked.find(L'>', at);
        if (close == std::wstring::npos) {
          at += 5;
          continue;
        }
        const LightFontAttributes attributes = ReadLightFontAttributes(marked.substr(at + 5, close - at - 5));
        if (attributes.has_colour && !params->forced_colour) colour = attributes.colour;
        if (attributes.has_background) back = attributes.background;
        if (attributes.has_face) SetFaceName(font, attributes.face);
        if (attributes.has_size) ChangeFontHeight(font, -attributes.size);
        at = close + 1;
        continue;
      }
      if (StartsNoCase(marked, at, L"</FONT>")) {
        font = base;
        colour = text_colour;
        back = background;
        at += 7;
        continue;
      }
      if (StartsNoCase(marked, at, L"</A>")) {
        at += 4;
        if (!in_link) continue;
        params->link_rect.right = rect.left + x;
        params->link_drawn = 1;
        if (hot_link) DecreaseCounter(underline);
        font = base;
        colour = text_colour;
        back = background;
        in_link = false;
        continue;
      }
      if (StartsNoCase(marked, at, L"<A")) {
        const size_t close = marked.find(L'>', at);
        const std::wstring tag = marked.substr(at, close == std::wstring::npos ? std::wstring::npos : close - at);
        const wchar_t* href = FindNoCase(tag.c_str(), L"HREF=");
        if (!href) {
          at += 2;
          continue;
        }
        std::wstring target(href + 5);
        if (!target.empty() && target.front() == L'"') target.erase(0, 1);
        if (!target.empty() && target.back() == L'"') target.pop_back();
        params->link_target = ResolveEntityPlaceholders(target);
        wmemcpy(font.lfFaceName, base.lfFaceName, LF_FACESIZE);
        font.lfFaceName[LF_FACESIZE - 1] = L'\0';
        font.lfHeight = base.lfHeight;
        back = background;
        colour = params->link_colour;
        params->link_rect.left = rect.left + x;
        in_link = true;
        if (hot_link) {
          ++underline;
          params->link_hot = 1;
        }
        at = close == std::wstring::npos ? marked.size() : close + 1;
        continue;
      }
    }
    // Text up to the next tag; a "<" that starts no tag is one character of text.
    size_t end = marked.find(L'<', at + 1);
    if (end == std::wstring::npos) end = marked.size();
    const std::wstring piece = ResolveEntityPlaceholders(marked.substr(at, end - at));
    at = end;
    if (piece.empty()) continue;

    const LOGFONTW look = StyledFont(font, bold, italic, underline, strike);
    Font piece_font(CreateFontIndirectW(&look));
    Selection font_selected(work.get(),
                            piece_font ? static_cast<HGDIOBJ>(piece_font.get()) : GetStockObject(SYSTEM_FONT));
    SetTextColor(work.get(), colour);
    if (params->text_background_colour == CLR_INVALID) {
      SetBkMode(work.get(), TRANSPARENT);
    } else {
      SetBkMode(work.get(), OPAQUE);
      SetBkColor(work.get(), params->text_background_colour);
    }
    SIZE extent = {0, 0};
    GetTextExtentPoint32W(work.get(), piece.c_str(), static_cast<int>(piece.size()), &extent);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(work.get(), &metrics);
    if (back != background && params->text_background_colour == CLR_INVALID) {
      int right = x + extent.cx + 1 + (italic ? 2 : 0) + ((metrics.tmPitchAndFamily & TMPF_TRUETYPE) ? 0 : 2);
      if (right > width) right = width;
      RECT fill_rect = {x, 0, right, height};
      Brush fill(CreateSolidBrush(back));
      FillRect(work.get(), &fill_rect, fill.get());
    }
    RECT piece_rect = {x, 0, width, height};
    const int shift = metrics.tmAscent / 2;
    if (sub) OffsetRect(&piece_rect, 0, shift);
    if (sup) OffsetRect(&piece_rect, 0, -shift);
    if (in_link) {
      RECT measured = piece_rect;
      DrawTextW(work.get(), piece.c_str(), static_cast<int>(piece.size()), &measured, format | DT_CALCRECT);
      const int link_height = measured.bottom - measured.top;
      const int top = (format & DT_VCENTER) ? (height - link_height) / 2 : 0;
      params->link_rect.top = rect.top + (top > 0 ? top : 0);
      params->link_rect.bottom = params->link_rect.top + link_height;
    }
    DrawTextW(work.get(), piece.c_str(), static_cast<int>(piece.size()), &piece_rect, format);
    x += extent.cx;
  }
  SetBkMode(work.get(), old_mode);
  params->right_x = rect.left + x;
  BitBlt(dc, rect.left, rect.top, width, height, work.get(), 0, 0, SRCCOPY);
  return 0;
}

int CXHtmlDraw::GetPlainText(const wchar_t* text, wchar_t* out, int out_size) {
  if (out && out_size > 0) out[0] = L'\0';
  if (!text) return 0;
  const std::wstring plain = GetPlainText(std::wstring(text));
  if (!out) return static_cast<int>(plain.size());
  if (out_size <= 0) return 0;
  const size_t length = plain.size() < static_cast<size_t>(out_size) ? plain.size() : static_cast<size_t>(out_size) - 1;
  wmemcpy(out, plain.data(), length);
  out[length] = L'\0';
  return static_cast<int>(length);
}

std::wstring CXHtmlDraw::GetPlainText(const std::wstring& text) {
  if (text.find_first_of(L"<&") == std::wstring::npos) return text;
  // Tags first, so that escaped brackets decoded afterwards stay text.
  std::wstring stripped;
  stripped.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    if (text[at] != L'<') {
      stripped += text[at++];
      continue;
    }
    const size_t close = text.find(L'>', at);
    if (close == std::wstring::npos) break;
    at = close + 1;
  }
  std::wstring plain;
  plain.reserve(stripped.size());
  for (size_t at = 0; at < stripped.size();) {
    const int row = EntityAt(stripped, at);
    if (row < 0) {
      plain += stripped[at++];
      continue;
    }
    plain += LightEntityAt(row).character;
    at += wcslen(LightEntityAt(row).text);
  }
  return plain;
}
