#include "XHTMLStatic.h"

#include "XNamedColors.h"

#include <commctrl.h>

#include <cwchar>

using namespace htmlctrl;

namespace {

constexpr UINT_PTR kSubclassId = 0x58485354;  // "XHST"
constexpr COLORREF kLinkColour = RGB(0, 0, 255);

}  // namespace

// One word (or space) of a line, laid out before the line is drawn so that a centred line
// can be placed as a whole.
struct CXHTMLStatic::Piece {
  std::wstring text;
  LOGFONTW font;
  COLORREF colour;
  COLORREF background;  // CLR_INVALID: transparent
  int shift;            // down for subscript, up (negative) for superscript
  int width;
  std::wstring target;  // of the link the piece belongs to; empty outside links
};

CXHTMLStatic::CXHTMLStatic() { Reset(); }

CXHTMLStatic::~CXHTMLStatic() {
  if (m_window && IsWindow(m_window)) RemoveWindowSubclass(m_window, SubclassProc, kSubclassId);
  if (m_tooltip && IsWindow(m_tooltip)) DestroyWindow(m_tooltip);
  Reset();
  if (m_cache && m_cacheOld) SelectObject(m_cache.get(), m_cacheOld);
}

void CXHTMLStatic::Reset() {
  m_background = GetSysColor(COLOR_WINDOW);
  m_textColour = GetSysColor(COLOR_WINDOWTEXT);
  m_leftMargin = m_rightMargin = 0;
  ClearLinks();
  m_links.ClearAppCommands();
  m_needsRedraw = true;
}

void CXHTMLStatic::ClearLinks() {
  if (m_tooltip && IsWindow(m_tooltip)) {
    for (size_t i = 0; i < m_linkRects.size(); ++i) {
      TOOLINFOW tool = {};
      tool.cbSize = sizeof tool;
      tool.hwnd = m_window;
      tool.uId = i + 1;
      SendMessageW(m_tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
  }
  m_linkRects.clear();
  m_linkTargets.clear();
}

BOOL CXHTMLStatic::Create(const wchar_t* text, DWORD style, const RECT& rect, HWND parent, UINT id, DWORD ex_style) {
  HWND made = CreateWindowExW(ex_style, L"STATIC", text, style | WS_CHILD, rect.left, rect.top, rect.right - rect.left,
                              rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                              GetModuleHandleW(nullptr), nullptr);
  if (!made) return FALSE;
  if (!SubclassWindow(made)) {
    DestroyWindow(made);
    return FALSE;
  }
  return TRUE;
}

BOOL CXHTMLStatic::SubclassWindow(HWND window) {
  if (!window || m_window) return FALSE;
  if (!SetWindowSubclass(window, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) return FALSE;
  m_window = window;
  SetWindowLongPtrW(window, GWL_STYLE, GetWindowLongPtrW(window, GWL_STYLE) | SS_NOTIFY);
  m_tooltip =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, GetModuleHandleW(nullptr), nullptr);
  m_needsRedraw = true;
  return TRUE;
}

void CXHTMLStatic::SetWindowText(const wchar_t* text) {
  if (!m_window) return;
  m_needsRedraw = true;
  ::SetWindowTextW(m_window, text ? text : L"");
  RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

COLORREF CXHTMLStatic::SetBkColor(COLORREF colour) {
  const COLORREF old = m_background;
  m_background = (colour & CXNamedColors::kSystemColour) ? GetSysColor(static_cast<int>(colour & 0xFF)) : colour;
  m_needsRedraw = true;
  return old;
}

COLORREF CXHTMLStatic::SetBkColor(const wchar_t* name) { return SetBkColor(CXNamedColors(name).GetRGB()); }

COLORREF CXHTMLStatic::SetTextColor(COLORREF colour) {
  const COLORREF old = m_textColour;
  m_textColour = (colour & CXNamedColors::kSystemColour) ? GetSysColor(static_cast<int>(colour & 0xFF)) : colour;
  m_needsRedraw = true;
  return old;
}

COLORREF CXHTMLStatic::SetTextColor(const wchar_t* name) { return SetTextColor(CXNamedColors(name).GetRGB()); }

void CXHTMLStatic::AddAppCommand(HWND window, UINT message, WPARAM wparam, const std::wstring& name) {
  m_links.AddAppCommand(window, message, wparam, name);
}

int CXHTMLStatic::LinkAt(POINT client) const {
  for (size_t i = 0; i < m_linkRects.size(); ++i)
    if (PtInRect(&m_linkRects[i], client)) return static_cast<int>(i);
  return -1;
}

BOOL CXHTMLStatic::OpenLink(int index) {
  if (index < 0 || static_cast<size_t>(index) >= m_linkTargets.size()) return FALSE;
  const std::wstring target = m_linkTargets[static_cast<size_t>(index)];
  return m_links.GotoURL(target.c_str(), 0);
}

LRESULT CALLBACK CXHTMLStatic::SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                            DWORD_PTR data) {
  auto* self = reinterpret_cast<CXHTMLStatic*>(data);
  try {
    return self->OnMessage(message, wparam, lparam);
  } catch (...) {
    // Nothing may unwind through the system's dispatcher; the control just stays undrawn.
    return DefSubclassProc(window, message, wparam, lparam);
  }
}

LRESULT CXHTMLStatic::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND window = m_window;
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (dc) Paint(dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wparam));
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETTEXT:
      // Stored without the static's own repaint, which would paint over a transparent
      // control's background before the next paint reads it.
      m_needsRedraw = true;
      return DefWindowProcW(window, message, wparam, lparam);
    case WM_SETFONT:
    case WM_SIZE:
      m_needsRedraw = true;
      break;
    case WM_MOUSEMOVE: {
      if (IsWindowVisible(window) && !m_linkRects.empty()) {
        const POINT point = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
        if (NeedsHand(point)) {
          HCURSOR previous = SetCursor(m_links.GetHandCursor());
          if (!m_overLink) m_replacedCursor = previous;
          m_overLink = true;
        } else if (m_overLink) {
          if (m_replacedCursor) SetCursor(m_replacedCursor);
          m_overLink = false;
        }
      }
      break;
    }
    case WM_SETCURSOR:
      if (m_overLink) return TRUE;
      break;
    case WM_LBUTTONDOWN: {
      // The click that the control reports as STN_CLICKED.
      const POINT point = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
      const int link = LinkAt(point);
      if (link >= 0) OpenLink(link);
      break;
    }
    case WM_DESTROY:
      if (m_tooltip && IsWindow(m_tooltip)) DestroyWindow(m_tooltip);
      m_tooltip = nullptr;
      break;
    case WM_NCDESTROY: {
      RemoveWindowSubclass(window, SubclassProc, kSubclassId);
      m_window = nullptr;
      return DefSubclassProc(window, message, wparam, lparam);
    }
    default:
      break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

void CXHTMLStatic::Paint(HDC dc) {
  RECT client;
  GetClientRect(m_window, &client);
  const int width = client.right, height = client.bottom;
  if (!IsSaneBitmapSize(width, height)) return;
  if (!m_needsRedraw && m_cache) {
    BitBlt(dc, 0, 0, width, height, m_cache.get(), 0, 0, SRCCOPY);
    return;
  }
  if (m_cache && m_cacheOld) SelectObject(m_cache.get(), m_cacheOld);
  m_cacheOld = nullptr;
  m_cache.reset(CreateCompatibleDC(dc));
  m_cacheBitmap.reset(CreateCompatibleBitmap(dc, width, height));
  if (!m_cache || !m_cacheBitmap) return;
  m_cacheOld = SelectObject(m_cache.get(), m_cacheBitmap.get());
  // The cache starts from the picture under the control, which a transparent one keeps.
  BitBlt(m_cache.get(), 0, 0, width, height, dc, 0, 0, SRCCOPY);
  m_needsRedraw = false;
  ClearLinks();
  Render(m_cache.get(), client);
  BitBlt(dc, 0, 0, width, height, m_cache.get(), 0, 0, SRCCOPY);
}

void CXHTMLStatic::FlushLine(HDC dc, std::vector<Piece>& line, int left, int right, int& y, int line_height,
                             bool centred) {
  int total = 0;
  for (const Piece& piece : line) total += piece.width;
  int x = centred ? left + (right - left - total) / 2 : left;
  bool continues_link = false;
  const std::wstring* previous_target = nullptr;
  for (const Piece& piece : line) {
    continues_link = continues_link && previous_target && *previous_target == piece.target;
    Font font(CreateFontIndirectW(&piece.font));
    Selection selected(dc, font ? static_cast<HGDIOBJ>(font.get()) : GetStockObject(SYSTEM_FONT));
    ::SetTextColor(dc, piece.colour);
    if (piece.background == CLR_INVALID) {
      SetBkMode(dc, TRANSPARENT);
    } else {
      SetBkMode(dc, OPAQUE);
      ::SetBkColor(dc, piece.background);
    }
    TextOutW(dc, x, y + piece.shift, piece.text.c_str(), static_cast<int>(piece.text.size()));
    if (!piece.target.empty() && continues_link) {
      m_linkRects.back().right = x + piece.width;  // the next word of the same link
      if (m_tooltipsOn && m_tooltip) {
        TOOLINFOW tool = {};
        tool.cbSize = sizeof tool;
        tool.hwnd = m_window;
        tool.uId = m_linkRects.size();
        tool.rect = m_linkRects.back();
        SendMessageW(m_tooltip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
      }
    } else if (!piece.target.empty()) {
      const RECT area = {x, y, x + piece.width, y + line_height};
      m_linkRects.push_back(area);
      m_linkTargets.push_back(piece.target);
      const bool app =
          _wcsnicmp(piece.target.c_str(), L"APP:", 4) == 0 || _wcsnicmp(piece.target.c_str(), L"\"APP:", 5) == 0;
      if (m_tooltipsOn && m_tooltip && !app) {
        TOOLINFOW tool = {};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = m_window;
        tool.uId = m_linkRects.size();
        tool.rect = area;
        tool.lpszText = const_cast<wchar_t*>(m_linkTargets.back().c_str());
        SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
      }
    }
    continues_link = !piece.target.empty();
    previous_target = &piece.target;
    x += piece.width;
  }
  line.clear();
  y += line_height;
}

void CXHTMLStatic::Render(HDC dc, const RECT& client) {
  const int length = GetWindowTextLengthW(m_window);
  std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(m_window, &text[0], length + 1)));
  const std::wstring marked = InsertEntityPlaceholders(text);
  const LONG ex_style = GetWindowLongW(m_window, GWL_EXSTYLE);
  if (!(ex_style & WS_EX_TRANSPARENT)) {
    Brush fill(CreateSolidBrush(m_background));
    FillRect(dc, &client, fill.get());
  }
  if (marked.empty() || !IsWindowVisible(m_window)) return;

  LOGFONTW base = {};
  if (m_useFont) {
    base = m_font;
  } else {
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(m_window, WM_GETFONT, 0, 0));
    if (!font) font = GetCurrentObject(dc, OBJ_FONT);
    if (!font || !GetObjectW(font, sizeof base, &base)) GetObjectW(GetStockObject(SYSTEM_FONT), sizeof base, &base);
  }
  const int left = client.left + m_leftMargin, right = client.right - m_rightMargin, bottom = client.bottom;
  const int old_mode = GetBkMode(dc);
  const COLORREF old_text = GetTextColor(dc), old_back = GetBkColor(dc);

  int underline = 0, bold = 0, italic = 0, strike = 0, centre = 0, sub = 0, sup = 0;
  LOGFONTW font = base;
  COLORREF colour = m_textColour, back = CLR_INVALID;
  COLORREF saved_colour = colour;
  std::wstring target;
  std::vector<Piece> line;
  int x = left, y = client.top;

  // The height of a line in the current font.
  auto line_height = [&]() {
    Font made(CreateFontIndirectW(&font));
    Selection selected(dc, made ? static_cast<HGDIOBJ>(made.get()) : GetStockObject(SYSTEM_FONT));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    return static_cast<int>(metrics.tmHeight);
  };
  int height = line_height();
  bool centred = false;  // something on the line was placed inside <CENTER>
  auto end_line = [&]() {
    FlushLine(dc, line, left, right, y, height, centred || centre > 0);
    centred = false;
    x = left;
    height = line_height();
  };
  auto place = [&](const std::wstring& word) {
    const LOGFONTW look = StyledFont(font, bold, italic, underline, strike);
    Font made(CreateFontIndirectW(&look));
    Selection selected(dc, made ? static_cast<HGDIOBJ>(made.get()) : GetStockObject(SYSTEM_FONT));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SIZE extent = {0, 0};
    GetTextExtentPoint32W(dc, word.c_str(), static_cast<int>(word.size()), &extent);
    if (x + extent.cx > right - 2 && !line.empty() && word != L" ") end_line();
    if (line.empty() && word == L" ") return;  // a wrapped line does not start with a space
    const int shift = sub ? metrics.tmAscent / 2 : sup ? -metrics.tmAscent / 2 : 0;
    if (metrics.tmHeight > height) height = metrics.tmHeight;
    if (centre > 0) centred = true;
    line.push_back(Piece{word, look, colour, back, shift, extent.cx, target});
    x += extent.cx;
  };

  for (size_t at = 0; at < marked.size() && y < bottom;) {
    if (marked[at] == L'<') {
      const CounterTag counters[] = {
          {L"<B>", &bold, 1},          {L"</B>", &bold, -1},        {L"<I>", &italic, 1},
          {L"</I>", &italic, -1},      {L"<U>", &underline, 1},     {L"</U>", &underline, -1},
          {L"<STRIKE>", &strike, 1},   {L"</STRIKE>", &strike, -1}, {L"<CENTER>", &centre, 1},
          {L"</CENTER>", &centre, -1}, {L"<SUB>", &sub, 1},         {L"</SUB>", &sub, -1},
          {L"<SUP>", &sup, 1},         {L"</SUP>", &sup, -1}};
      if (ConsumeCounterTag(marked, at, counters)) continue;
      const size_t close = marked.find(L'>', at);
      const size_t after = close == std::wstring::npos ? marked.size() : close + 1;
      if (StartsNoCase(marked, at, L"<BIG>") || StartsNoCase(marked, at, L"</SMALL>")) {
        ChangeFontHeight(font, 1);
        at = after;
        continue;
      }
      if (StartsNoCase(marked, at, L"</BIG>") || StartsNoCase(marked, at, L"<SMALL>")) {
        ChangeFontHeight(font, -1);
        at = after;
        continue;
      }
      if (StartsNoCase(marked, at, L"<FONT")) {
        const LightFontAttributes attributes = ReadLightFontAttributes(
            marked.substr(at + 5, (close == std::wstring::npos ? marked.size() : close) - at - 5));
        if (attributes.has_colour) colour = attributes.colour;
        if (attributes.has_background) back = attributes.background;
        if (attributes.has_face) SetFaceName(font, attributes.face);
        if (attributes.has_size) ChangeFontHeight(font, -attributes.size);
        at = after;
        continue;
      }
      if (StartsNoCase(marked, at, L"</FONT>") || StartsNoCase(marked, at, L"</CODE>")) {
        const bool whole = StartsNoCase(marked, at, L"</FONT>");
        font = base;
        if (whole) {
          colour = target.empty() ? m_textColour : kLinkColour;
          back = CLR_INVALID;
        }
        at = after;
        continue;
      }
      if (StartsNoCase(marked, at, L"<CODE>")) {
        SetFaceName(font, L"Courier New");
        at = after;
        continue;
      }
      if (StartsNoCase(marked, at, L"<A HREF=")) {
        target = ResolveEntityPlaceholders(
            marked.substr(at + 8, (close == std::wstring::npos ? marked.size() : close) - at - 8));
        if (!target.empty() && target.front() == L'"') target.erase(0, 1);
        if (!target.empty() && target.back() == L'"') target.pop_back();
        if (target.empty()) target = L" ";  // a link with an empty target is still a link piece
        saved_colour = colour;
        colour = kLinkColour;
        ++underline;
        at = after;
        continue;
      }
      if (StartsNoCase(marked, at, L"</A>")) {
        if (!target.empty()) {
          target.clear();
          colour = saved_colour;
          DecreaseCounter(underline);
        }
        at = after;
        continue;
      }
      if (StartsNoCase(marked, at, L"<BR>")) {
        end_line();
        at = after;
        continue;
      }
      if (StartsNoCase(marked, at, L"<HR")) {
        const std::wstring attributes =
            marked.substr(at + 3, (close == std::wstring::npos ? marked.size() : close) - at - 3);
        if (const wchar_t* size = FindNoCase(attributes.c_str(), L"SIZE=")) {
          const int width = _wtoi(size[5] == L'"' ? size + 6 : size + 5);
          m_ruleWidth = width < 0 ? 0 : width > 100 ? 100 : width;
        }
        if (!line.empty()) end_line();
        Brush rule(CreateSolidBrush(colour));
        RECT area = {client.left, y, client.right, y + m_ruleWidth};
        FillRect(dc, &area, rule.get());
        y += m_ruleWidth;
        at = after;
        continue;
      }
    }
    // Text up to the next "<": words split at spaces, a carriage return or line feed ends
    // the line.
    size_t end = marked.find(L'<', at + 1);
    if (end == std::wstring::npos) end = marked.size();
    const std::wstring run = marked.substr(at, end - at);
    at = end;
    size_t word_start = 0;
    for (size_t i = 0; i <= run.size() && y < bottom; ++i) {
      const wchar_t c = i < run.size() ? run[i] : L'\0';
      if (i < run.size() && c != L' ' && c != L'\r' && c != L'\n') continue;
      if (i > word_start) place(ResolveEntityPlaceholders(run.substr(word_start, i - word_start)));
      if (c == L' ') place(L" ");
      if (c == L'\n' || (c == L'\r' && (i + 1 >= run.size() || run[i + 1] != L'\n'))) end_line();
      word_start = i + 1;
    }
  }
  if (!line.empty() && y < bottom) FlushLine(dc, line, left, right, y, height, centred || centre > 0);
  // Links whose target was set to the placeholder space have none to open.
  for (auto& link_target : m_linkTargets)
    if (link_target == L" ") link_target.clear();
  SetBkMode(dc, old_mode);
  ::SetTextColor(dc, old_text);
  ::SetBkColor(dc, old_back);
}
