#include "PPHtmlDrawer.h"

#include "GdiOwners.h"
#include "LinkOpen.h"

#include <algorithm>
#include <cwchar>
#include <exception>
#include <utility>

using namespace htmlctrl;

namespace {

constexpr int kMaxRepeat = 1000;  // line breaks and tab stops of one tag
// Glyphs beyond this many pixels serve no description and take the font engine a long time
// to render; larger sizes from markup are drawn at this one.
constexpr int kMaxFontHeight = 300;

// Resource ids are 16-bit; anything larger would be taken for a pointer by the loaders.
WORD ResourceId(const std::wstring& text) {
  if (text.empty()) return 0;
  const unsigned long id = wcstoul(text.c_str(), nullptr, 0);
  return id > 0xFFFF ? 0 : static_cast<WORD>(id);
}

int CountSpaces(const std::wstring& text) { return static_cast<int>(std::count(text.begin(), text.end(), L' ')); }

// A size attribute: a percentage of the picture's own size or plain pixels.
int ImageLength(const std::wstring& text, int own, const LengthMetrics& metrics) {
  if (text.empty()) return own;
  return HtmlMarkup::ParseLength(own, text, false, metrics);
}

// Finds the next top-level table between pos and end: begin at its "<", end after its
// matching "</table>" (or the end when it is never closed).
bool FindTable(const std::wstring& text, size_t pos, size_t end, size_t& table_begin, size_t& table_end) {
  TagScan scan;
  size_t at = pos;
  while (ScanTag(text, at, end, scan)) {
    if (scan.closing || scan.name != L"table") continue;
    table_begin = scan.begin;
    int depth = 1;
    while (depth > 0 && ScanTag(text, at, end, scan))
      if (scan.name == L"table") depth += scan.closing ? -1 : 1;
    table_end = depth == 0 ? at : end;
    return true;
  }
  return false;
}

}  // namespace

CPPHtmlDrawer::CPPHtmlDrawer()
    : m_shadowColour(RGB(MulDiv(255, 50, 100), MulDiv(255, 50, 100), MulDiv(255, 50, 100))) {}

CPPHtmlDrawer::~CPPHtmlDrawer() = default;

void CPPHtmlDrawer::SetCallbackHyperlink(HWND window, UINT message, LPARAM param) {
  m_linkWindow = window;
  m_linkMessage = message;
  m_linkParam = param;
}

void CPPHtmlDrawer::SetCallbackMessage(HWND window, UINT message, LPARAM param) {
  m_messageWindow = window;
  m_messageMessage = message;
  m_messageParam = param;
}

void CPPHtmlDrawer::SetResourceModule(HMODULE module, bool owned) {
  // Setting the module it already holds must not free it.
  if (m_ownedModule.get() == module) m_ownedModule.release();
  m_ownedModule.reset(owned ? module : nullptr);
  m_resourceModule = module;
}

bool CPPHtmlDrawer::SetResourceDll(const std::wstring& path) {
  HMODULE module = LoadResourceOnlyModule(path);
  if (!module) return false;
  SetResourceModule(module, true);
  return true;
}

std::wstring CPPHtmlDrawer::GetStringSecondField(UINT id) {
  if (id == 0 || id > 0xFFFF) return std::wstring();
  const wchar_t* raw = nullptr;
  const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&raw), 0);
  if (length <= 0 || !raw) return std::wstring();
  const std::wstring text(raw, static_cast<size_t>(length));
  const size_t first = text.find(L'\n');
  if (first == std::wstring::npos) return std::wstring();
  const size_t second = text.find(L'\n', first + 1);
  return text.substr(first + 1, second == std::wstring::npos ? std::wstring::npos : second - first - 1);
}

// ---------------------------------------------------------------------------------------
// Passes

SIZE CPPHtmlDrawer::PrepareOutput(HDC dc, const std::wstring& text) {
  SIZE size = {0, 0};
  if (!dc) return size;
  SetTextJustification(dc, 0, 0);
  m_text = m_markup.PrepareText(text, m_newlinesBreak);
  if (m_text.empty()) return size;
  m_dc = dc;
  const RECT rect = {0, 0, m_maxWidth, 0};
  size = RunPass(true, rect);
  if (size.cx == 0 && size.cy == 0) {
    m_text.clear();
    return size;
  }
  if (m_maxWidth > 0 && size.cx > m_maxWidth) size.cx = m_maxWidth;
  size.cx += 1;
  size.cy += 1;
  return size;
}

void CPPHtmlDrawer::DrawPreparedOutput(HDC dc, const RECT& rect) {
  if (!dc || m_text.empty()) return;
  m_dc = dc;
  RunPass(false, rect);
}

SIZE CPPHtmlDrawer::RunPass(bool measuring, const RECT& rect) {
  m_measuring = measuring;
  // Hot areas are rebuilt by every pass; appending would pile them up with each redraw.
  m_hotAreas.clear();
  if (measuring) {
    m_lines.clear();
    m_animations.clear();
    m_tables.clear();
  }
  m_lineIndex = 0;
  m_tableIndex = -1;
  m_fixedCells = 0;
  m_linkCounter = -1;
  m_animationIndex = -1;
  m_stack.clear();

  HGDIOBJ old_font = GetCurrentObject(m_dc, OBJ_FONT);
  const int old_mode = GetBkMode(m_dc);
  const COLORREF old_text = GetTextColor(m_dc);
  const COLORREF old_background = GetBkColor(m_dc);
  GetTextMetricsW(m_dc, &m_tm);
  m_metrics.em_height = m_tm.tmHeight;
  m_metrics.pixels_per_inch = GetDeviceCaps(m_dc, LOGPIXELSY);
  SIZE x_size = {0, 0};
  GetTextExtentPoint32W(m_dc, L"x", 1, &x_size);
  m_metrics.ex_height = x_size.cy;

  m_style = HtmlStyle();
  m_markup.ApplyRule(L"body", m_style, m_metrics);
  MakeFont();

  SIZE size = {0, 0};
  try {
    size = LayoutBlock(m_text, 0, m_text.size(), rect, 0);
  } catch (const std::exception&) {
    // Out of memory for the records of an enormous text: the pass ends where it stands,
    // and the DC is restored below; drawing code never lets an exception out.
  }

  SelectObject(m_dc, old_font);
  SetBkMode(m_dc, old_mode);
  SetTextColor(m_dc, old_text);
  SetBkColor(m_dc, old_background);
  SetTextJustification(m_dc, 0, 0);
  m_stack.clear();
  m_font.reset();  // deselected above
  return size;
}

SIZE CPPHtmlDrawer::LayoutBlock(const std::wstring& text, size_t begin, size_t end, const RECT& rect, int depth) {
  SIZE total = {0, 0};
  RECT part = rect;
  auto add = [&](SIZE size) {
    total.cx = std::max(total.cx, size.cx);
    total.cy += size.cy;
    part.top += size.cy;
  };
  size_t pos = begin;
  while (pos < end) {
    size_t table_begin = 0, table_end = 0;
    if (!FindTable(text, pos, end, table_begin, table_end)) {
      add(LayoutStretch(text, pos, end, part));
      break;
    }
    if (table_begin > pos) add(LayoutStretch(text, pos, table_begin, part));
    add(LayoutTable(text, table_begin, table_end, part, depth));
    pos = table_end;
  }
  return total;
}

CPPHtmlDrawer::LineInfo* CPPHtmlDrawer::CurrentLine() {
  return m_lineIndex < m_lines.size() ? &m_lines[m_lineIndex] : nullptr;
}

SIZE CPPHtmlDrawer::LayoutStretch(const std::wstring& text, size_t begin, size_t end, const RECT& rect) {
  PushStyle(L"body");
  m_markup.ApplyRule(L"body", m_style, m_metrics);
  MakeFont();
  m_left = rect.left;
  m_right = rect.right;
  m_lineWidth = std::max(0, static_cast<int>(rect.right - rect.left));
  m_y = rect.top;
  m_stretchWidth = 0;
  const size_t first_line = m_lineIndex;
  StartLine();
  size_t pos = begin;
  HtmlToken token;
  while (HtmlMarkup::NextToken(text, pos, end, token)) {
    if (token.kind == HtmlToken::TEXT)
      HandleText(token.text);
    else
      HandleTag(token);
  }
  if (!m_lineEmpty) EndLine(1, false);
  SetTextJustification(m_dc, 0, 0);
  PopStyle(L"body");
  MakeFont();

  SIZE size = {m_stretchWidth, m_y - rect.top};
  for (size_t i = first_line; i < m_lines.size() && i <= m_lineIndex; ++i)
    if (m_lines[i].percent > 0)
      size.cx = std::max<LONG>(size.cx, m_lines[i].width + MulDiv(size.cx, m_lines[i].percent, 100));
  return size;
}

// ---------------------------------------------------------------------------------------
// Lines

void CPPHtmlDrawer::StartLine() {
  m_lineEmpty = true;
  m_justifyRoom = m_justifySpaces = 0;
  if (m_measuring) {
    LineInfo line;
    line.align = m_style.horizontal_align;
    if (m_lineIndex >= m_lines.size()) m_lines.resize(m_lineIndex + 1);
    m_lines[m_lineIndex] = line;
    m_x = m_left;
    return;
  }
  const LineInfo* line = CurrentLine();
  const LineInfo empty;
  if (!line) line = &empty;
  const int available = m_right - m_left;
  int width = line->width;
  if (line->percent > 0) width += MulDiv(available, line->percent, 100);
  SetTextJustification(m_dc, 0, 0);
  if (line->align == 3 && line->wrapped && line->spaces > 0) {
    m_justifyRoom = std::max(0, available - width);
    m_justifySpaces = line->spaces;
  }
  if (line->align == 1)
    m_x = m_left + (available - width) / 2;
  else if (line->align == 2)
    m_x = m_left + available - width;
  else
    m_x = m_left;
}

void CPPHtmlDrawer::EndLine(int count, bool wrapped) {
  count = std::clamp(count, 1, kMaxRepeat);
  int height = 0;
  if (LineInfo* line = CurrentLine()) {
    if (m_measuring) {
      if (line->ascent == 0) line->ascent = m_tm.tmHeight;
      line->height = line->ascent + line->descent;
      line->width = m_x - m_left;
      line->wrapped = wrapped;
      m_stretchWidth = std::max(m_stretchWidth, line->width);
    }
    height = line->height;
  }
  ++m_lineIndex;
  m_y += count * height;
  StartLine();
}

void CPPHtmlDrawer::PlaceBox(int width, int height, int* top) {
  LineInfo* line = CurrentLine();
  if (m_measuring) {
    if (line) {
      line->align = m_style.horizontal_align;
      line->ascent = std::max(line->ascent, height);
    }
    *top = m_y;
    return;
  }
  const int H = line ? line->height : 0, D = line ? line->descent : 0;
  switch (m_style.vertical_align) {
    case 0:
      *top = m_y;
      break;
    case 1:
      *top = m_y + (H - height) / 2;
      break;
    case 2:
      *top = m_y + H - height;
      break;
    default:
      *top = m_y + H - D - height;
      break;
  }
  (void)width;
}

void CPPHtmlDrawer::AddHotArea(int left, int top, int right, int bottom) {
  if (m_measuring || m_style.link_kind == 0) return;
  m_hotAreas.push_back(HotArea{RECT{left, top, right, bottom}, m_style.link_kind, m_linkCounter, m_style.link_target});
}

// ---------------------------------------------------------------------------------------
// Text

void CPPHtmlDrawer::HandleText(const std::wstring& run) {
  const std::wstring text = HtmlMarkup::Transform(run, m_style.text_transform);
  // The run is walked by position: copying what is left for every line would cost the
  // square of a long run's length.
  size_t start = 0;
  while (start < text.size()) {
    SetTextJustification(m_dc, 0, 0);
    const size_t left = text.size() - start;
    const wchar_t* rest = text.c_str() + start;
    const int room = m_left + m_lineWidth - m_x;
    size_t taken = left;   // characters that this piece uses up
    size_t length = left;  // characters that it shows
    bool cut = false;
    if ((m_maxWidth > 0 || m_fixedCells > 0) && m_lineWidth > 0) {
      // Only as many characters as could possibly fit are measured.
      const int window = static_cast<int>(std::min<size_t>(left, static_cast<size_t>(std::max(room, 0)) + 2));
      int fit = 0;
      SIZE extent = {0, 0};
      if (!GetTextExtentExPointW(m_dc, rest, window, std::max(room, 0), &fit, nullptr, &extent)) fit = 0;
      fit = std::clamp(fit, 0, window);
      if (static_cast<size_t>(window) < left || fit < window) {
        cut = true;
        size_t at = 0;
        const size_t limit = std::min<size_t>(static_cast<size_t>(fit) + 1, left);
        for (size_t i = limit; i > 0; --i) {
          const wchar_t c = rest[i - 1];
          if (HtmlMarkup::IsWrapChar(c) && (i <= static_cast<size_t>(fit) || c == L' ')) {
            at = i;
            break;
          }
        }
        // A line with nothing on it yet takes at least one character, whatever its width.
        if (at == 0 && m_lineEmpty) at = static_cast<size_t>(std::max(fit, 1));
        taken = at;
        length = at;
        while (length > 0 && rest[length - 1] == L' ') --length;
        while (taken < left && rest[taken] == L' ') ++taken;
      }
    }
    if (length > 0) PlacePiece(std::wstring(rest, length));
    start += taken;
    if (cut) EndLine(1, true);
  }
}

void CPPHtmlDrawer::PlacePiece(const std::wstring& piece) {
  const int length = static_cast<int>(std::min<size_t>(piece.size(), INT_MAX));
  const int spaces = CountSpaces(piece);
  if (!m_measuring && m_justifySpaces > 0 && spaces > 0) {
    const int share = MulDiv(m_justifyRoom, std::min(spaces, m_justifySpaces), m_justifySpaces);
    SetTextJustification(m_dc, share, spaces);
    m_justifyRoom -= share;
    m_justifySpaces = std::max(0, m_justifySpaces - spaces);
  }
  SIZE extent = {0, 0};
  GetTextExtentPoint32W(m_dc, piece.c_str(), length, &extent);
  LineInfo* line = CurrentLine();
  if (m_measuring) {
    if (line) {
      line->align = m_style.horizontal_align;
      line->spaces += spaces;
      line->ascent = std::max<int>(line->ascent, m_tm.tmAscent);
      line->descent = std::max<int>(line->descent, extent.cy - m_tm.tmAscent);
    }
  } else {
    const int H = line ? line->height : 0, D = line ? line->descent : 0;
    int top;
    switch (m_style.vertical_align) {
      case 0:
        top = m_y;
        break;
      case 1:
        top = m_y + (H - m_tm.tmHeight) / 2;
        break;
      case 2:
        top = m_y + H - m_tm.tmAscent;
        break;
      default:
        top = m_y + H - m_tm.tmAscent - D;
        break;
    }
    AddHotArea(m_x, top, m_x + extent.cx, top + extent.cy);
    TextOutW(m_dc, m_x, top, piece.c_str(), length);
    if (m_style.overline) {
      Pen pen(CreatePen(PS_SOLID, m_style.weight < FW_BOLD ? 1 : 2, Resolve(m_style.text_colour)));
      if (pen) {
        Selection select(m_dc, pen.get());
        POINT old;
        MoveToEx(m_dc, m_x, top, &old);
        LineTo(m_dc, m_x + extent.cx, top);
        MoveToEx(m_dc, old.x, old.y, nullptr);
      }
    }
  }
  SetTextJustification(m_dc, 0, 0);
  m_x += extent.cx;
  m_lineEmpty = false;
}

// ---------------------------------------------------------------------------------------
// Tags

void CPPHtmlDrawer::HandleTag(const HtmlToken& token) {
  const int kind = m_markup.TagKind(token.text);
  if (kind == TAG_UNKNOWN) return;
  if (HtmlMarkup::IsContainer(kind)) {
    if (m_markup.ApplyContainerTag(kind, token.text, token.closing, token.attributes, m_style, m_stack, m_metrics,
                                   m_linkCounter, m_hotLink))
      MakeFont();
    return;
  }
  auto repeat = [&]() {
    const std::wstring count = token.attributes.size() > 1 ? token.attributes.substr(1) : std::wstring();
    return std::clamp(HtmlMarkup::ParseLength(1, count, false, m_metrics), 1, kMaxRepeat);
  };
  switch (kind) {
    case TAG_NEWLINE:
      EndLine(repeat(), false);
      break;
    case TAG_TABULATION: {
      const int stops = repeat();
      const long long position = ((static_cast<long long>(m_x) - m_left) / m_tabWidth + stops) * m_tabWidth;
      m_x = m_left + static_cast<int>(std::min<long long>(position, 1 << 24));
      m_lineEmpty = false;
      break;
    }
    case TAG_HLINE:
      HandleRule(HtmlMarkup::ParseAttributes(token.attributes));
      break;
    case TAG_BITMAP:
    case TAG_ICON:
    case TAG_IMAGELIST:
      HandleImage(kind, HtmlMarkup::ParseAttributes(token.attributes));
      break;
    case TAG_STRING:
      HandleString(HtmlMarkup::ParseAttributes(token.attributes));
      break;
    default:
      break;
  }
}

void CPPHtmlDrawer::HandleRule(const HtmlAttributes& attributes) {
  HtmlStyle rule = m_style;
  m_markup.ApplyRule(L"hr", rule, m_metrics);
  const std::wstring width_text = HtmlMarkup::Attribute(attributes, L"width");
  const bool percent = width_text.empty() || width_text.back() == L'%';
  const int width = std::max(0, HtmlMarkup::ParseLength(100, width_text, false, m_metrics));
  const int size =
      std::max(0, HtmlMarkup::ParseLength(1, HtmlMarkup::Attribute(attributes, L"size"), false, m_metrics));
  COLORREF colour = m_markup.ParseColour(HtmlMarkup::Attribute(attributes, L"color"), rule.text_colour);
  if (!m_markup.IsEnabled()) colour = m_markup.DisabledColour();
  if (width == 0 || size == 0) return;  // takes no room
  LineInfo* line = CurrentLine();
  if (m_measuring) {
    if (line) {
      if (percent) line->percent += width;
      line->ascent = std::max(line->ascent, size + 8);
      line->align = m_style.horizontal_align;
    }
    m_x += percent ? 1 : width;
  } else {
    const int pixels = percent ? MulDiv(m_right - m_left, width, 100) : width;
    const int middle = m_y + (line ? line->height : 0) / 2;
    m_drawManager.DrawLine(m_dc, m_x, middle, m_x + pixels, middle, Resolve(colour), CPPDrawManager::PEN_SOLID, size);
    m_x += pixels;
  }
  m_lineEmpty = false;
}

void CPPHtmlDrawer::HandleString(const HtmlAttributes& attributes) {
  WORD id = ResourceId(HtmlMarkup::Attribute(attributes, L"idres"));
  if (!id) id = ResourceId(HtmlMarkup::Attribute(attributes, L"iddll"));
  if (!id) return;
  const wchar_t* raw = nullptr;
  const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&raw), 0);
  if (length <= 0 || !raw) return;
  PlacePiece(std::wstring(raw, static_cast<size_t>(length)));
}

void CPPHtmlDrawer::HandleImage(int kind, const HtmlAttributes& attributes) {
  auto get = [&](const wchar_t* name) { return HtmlMarkup::Attribute(attributes, name); };
  const std::wstring idres = get(L"idres"), iddll = get(L"iddll"), handle = get(L"handle"), file = get(L"file"),
                     srcdll = get(L"srcdll");
  bool mask_given = false;
  const std::wstring mask_text = HtmlMarkup::Attribute(attributes, L"mask", &mask_given);
  const COLORREF mask = m_markup.ParseColour(mask_text, RGB(255, 0, 255));
  const int index = std::max(0, HtmlMarkup::ParseLength(0, get(L"index"), false, m_metrics));

  const bool hot = InHotLink();
  const std::wstring letters = hot && !get(L"hotstyle").empty() ? get(L"hotstyle") : get(L"style");
  DWORD bits = 0;
  for (wchar_t c : letters) {
    if (c == L'g')
      bits |= CPPDrawManager::IMAGE_EFFECT_GRAYEN;
    else if (c == L'd')
      bits |= CPPDrawManager::IMAGE_EFFECT_DARKEN;
    else if (c == L'l')
      bits |= CPPDrawManager::IMAGE_EFFECT_LIGHTEN;
    else if (c == L's' && (m_shadowDx || m_shadowDy))
      bits |= m_shadowGradient ? CPPDrawManager::IMAGE_EFFECT_GRADIENT_SHADOW : CPPDrawManager::IMAGE_EFFECT_SHADOW;
  }
  if (!m_markup.IsEnabled()) bits = (bits & ~0xFFu) | CPPDrawManager::IMAGE_EFFECT_MONOCHROME;
  const bool shadow =
      (bits & (CPPDrawManager::IMAGE_EFFECT_SHADOW | CPPDrawManager::IMAGE_EFFECT_GRADIENT_SHADOW)) != 0;
  const COLORREF colour = m_markup.IsEnabled() ? m_shadowColour : m_markup.DisabledColour();

  // A module named by the markup is mapped for its resources only: its code never runs.
  Module own_module;
  auto module_for_dll = [&]() -> HMODULE {
    if (srcdll.empty()) return m_resourceModule;
    own_module.reset(LoadResourceOnlyModule(srcdll));
    return own_module.get();
  };

  HBITMAP bitmap = nullptr;
  HICON icon = nullptr;
  Bitmap owned_bitmap;
  Icon owned_icon;
  int image_w = 0, image_h = 0;
  int strip_cx = 0, strip_cy = 0;
  int frame = index;
  bool from_image_list = false;

  if (kind == TAG_ICON) {
    const std::wstring wt = get(L"width"), ht = get(L"height");
    const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    image_w = wt.empty() ? cx : HtmlMarkup::ParseLength(cx, wt, false, m_metrics);
    image_h = ht.empty() ? cy : HtmlMarkup::ParseLength(cy, ht, false, m_metrics);
    if (!IsSaneBitmapSize(image_w, image_h)) return;
    if (WORD id = ResourceId(idres)) {
      owned_icon.reset(static_cast<HICON>(
          LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, image_w, image_h, 0)));
    } else if (!file.empty()) {
      owned_icon.reset(
          static_cast<HICON>(LoadImageW(nullptr, file.c_str(), IMAGE_ICON, image_w, image_h, LR_LOADFROMFILE)));
    } else if (WORD dll_id = ResourceId(iddll)) {
      if (HMODULE module = module_for_dll())
        owned_icon.reset(
            static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(dll_id), IMAGE_ICON, image_w, image_h, 0)));
    } else if (!handle.empty()) {
      icon = reinterpret_cast<HICON>(static_cast<UINT_PTR>(wcstoull(handle.c_str(), nullptr, 0)));
    }
    if (owned_icon) icon = owned_icon.get();
    if (!icon) return;
  } else {
    if (WORD id = ResourceId(idres)) {
      owned_bitmap.reset(static_cast<HBITMAP>(
          LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    } else if (!file.empty()) {
      owned_bitmap.reset(static_cast<HBITMAP>(LoadImageW(nullptr, file.c_str(), IMAGE_BITMAP, 0, 0,
                                                         LR_LOADFROMFILE | LR_CREATEDIBSECTION | LR_DEFAULTSIZE)));
    } else if (WORD dll_id = ResourceId(iddll)) {
      if (HMODULE module = module_for_dll())
        owned_bitmap.reset(static_cast<HBITMAP>(
            LoadImageW(module, MAKEINTRESOURCEW(dll_id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    } else if (!handle.empty()) {
      bitmap = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(wcstoull(handle.c_str(), nullptr, 0)));
    }
    if (owned_bitmap) bitmap = owned_bitmap.get();
    SIZE own = bitmap ? CPPDrawManager::GetSizeOfBitmap(bitmap) : SIZE{0, 0};
    if (kind == TAG_IMAGELIST && bitmap) {
      strip_cx = std::max(0, HtmlMarkup::ParseLength(0, get(L"cx"), false, m_metrics));
      strip_cy = std::max(0, HtmlMarkup::ParseLength(0, get(L"cy"), false, m_metrics));
      if (!strip_cx && !strip_cy)
        strip_cx = strip_cy = std::min(own.cx, own.cy);
      else if (!strip_cx)
        strip_cx = strip_cy;
      else if (!strip_cy)
        strip_cy = strip_cx;
      if (strip_cx <= 0 || strip_cy <= 0) return;
      const int count = (own.cx / strip_cx) * (own.cy / strip_cy);
      const int speed = std::max(0, HtmlMarkup::ParseLength(0, get(L"speed"), false, m_metrics));
      if (speed > 0) {
        if (m_measuring) {
          m_animations.push_back(AnimatedImage{index, count, 0, speed});
          ++m_animationIndex;
        } else if (static_cast<size_t>(++m_animationIndex) < m_animations.size()) {
          frame = m_animations[static_cast<size_t>(m_animationIndex)].frame;
        }
      }
      if (frame >= count) return;
      own = SIZE{strip_cx, strip_cy};
    } else if (kind == TAG_IMAGELIST && m_imageList) {
      if (index >= ImageList_GetImageCount(m_imageList)) return;
      int cx = 0, cy = 0;
      ImageList_GetIconSize(m_imageList, &cx, &cy);
      own = SIZE{cx, cy};
      from_image_list = true;
    }
    if (!bitmap && !from_image_list) return;
    image_w = ImageLength(get(L"width"), own.cx, m_metrics);
    image_h = ImageLength(get(L"height"), own.cy, m_metrics);
  }
  // Sizes come from the markup: a picture too large to make is left out, not attempted.
  if (!IsSaneBitmapSize(image_w, image_h)) return;

  int width = image_w, height = image_h;
  if (shadow) {
    width += m_shadowDx;
    height += m_shadowDy;
  }
  if ((m_maxWidth > 0 || m_fixedCells > 0) && m_lineWidth > 0 && !m_lineEmpty && m_x + width > m_left + m_lineWidth)
    EndLine(1, true);
  if (LineInfo* line = CurrentLine()) line->align = m_style.horizontal_align;
  int top = 0;
  PlaceBox(width, height, &top);
  if (!m_measuring) {
    AddHotArea(m_x, top, m_x + width, top + height);
    if (kind == TAG_ICON) {
      m_drawManager.DrawIcon(m_dc, m_x, top, image_w, image_h, icon, bits, shadow, m_shadowDx, m_shadowDy,
                             m_shadowDepthX, m_shadowDepthY, colour);
    } else if (from_image_list) {
      Icon list_icon(ImageList_GetIcon(m_imageList, index, ILD_NORMAL));
      if (list_icon)
        m_drawManager.DrawIcon(m_dc, m_x, top, image_w, image_h, list_icon.get(), bits, shadow, m_shadowDx, m_shadowDy,
                               m_shadowDepthX, m_shadowDepthY, colour);
    } else if (kind == TAG_IMAGELIST) {
      m_drawManager.DrawImageList(m_dc, m_x, top, image_w, image_h, bitmap, frame, strip_cx, strip_cy, mask_given, mask,
                                  bits, shadow, m_shadowDx, m_shadowDy, m_shadowDepthX, m_shadowDepthY, colour);
    } else {
      m_drawManager.DrawBitmap(m_dc, m_x, top, image_w, image_h, bitmap, mask_given, mask, bits, shadow, m_shadowDx,
                               m_shadowDy, m_shadowDepthX, m_shadowDepthY, colour);
    }
  }
  m_x += width;
  m_lineEmpty = false;
}

// ---------------------------------------------------------------------------------------
// Style and font

void CPPHtmlDrawer::PushStyle(const wchar_t* name) {
  m_style.tag_name = name;
  m_stack.push_back(m_style);
  m_style.tag_name.clear();
}

void CPPHtmlDrawer::PopStyle(const wchar_t* name) {
  if (!m_stack.empty() && m_stack.back().tag_name == name) {
    m_style = std::move(m_stack.back());
    m_stack.pop_back();
  }
  m_style.tag_name.clear();
}

COLORREF CPPHtmlDrawer::Resolve(COLORREF colour) const {
  // 0x80000000 | index names a system colour, looked up when used.
  if (colour != CLR_INVALID && (colour & 0x80000000)) return GetSysColor(static_cast<int>(colour & 0xFF));
  return colour & 0x00FFFFFF;
}

void CPPHtmlDrawer::MakeFont() {
  LOGFONTW font = {};
  font.lfHeight = std::clamp(m_style.font_height, -kMaxFontHeight, kMaxFontHeight);
  font.lfWeight = std::clamp(m_style.weight, 0, 1000);
  font.lfItalic = m_style.italic;
  font.lfUnderline = m_style.underline;
  font.lfStrikeOut = m_style.strikeout;
  font.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(font.lfFaceName, m_style.font_face.c_str(), LF_FACESIZE - 1);
  Font made(CreateFontIndirectW(&font));
  if (made) {
    SelectObject(m_dc, made.get());
    m_font = std::move(made);  // the font it replaces in the DC goes
  }
  GetTextMetricsW(m_dc, &m_tm);
  m_metrics.em_height = m_tm.tmHeight;
  SIZE x_size = {0, 0};
  if (GetTextExtentPoint32W(m_dc, L"x", 1, &x_size)) m_metrics.ex_height = x_size.cy;
  SetBkMode(m_dc, m_style.background_mode == OPAQUE ? OPAQUE : TRANSPARENT);
  SetTextColor(m_dc, Resolve(m_style.text_colour));
  SetBkColor(m_dc, Resolve(m_style.background_colour));
}

// ---------------------------------------------------------------------------------------
// Mouse and links

int CPPHtmlDrawer::PtInHotArea(POINT point) const {
  for (size_t i = 0; i < m_hotAreas.size(); ++i) {
    const RECT& r = m_hotAreas[i].rect;
    if (point.x >= r.left && point.x <= r.right && point.y >= r.top && point.y <= r.bottom) return static_cast<int>(i);
  }
  return -1;
}

BOOL CPPHtmlDrawer::OnSetCursor(POINT point) {
  const int area = PtInHotArea(point);
  if (area < 0) {
    if (m_hotLink != -2) {
      m_hotLink = -2;
      if (m_linkWindow && m_linkMessage)
        SendMessageW(m_linkWindow, m_linkMessage, static_cast<WPARAM>(-2), m_linkParam);
    }
    return FALSE;
  }
  const HotArea& hot = m_hotAreas[static_cast<size_t>(area)];
  if (hot.number != m_hotLink) {
    m_hotLink = hot.number;
    if (m_linkWindow && m_linkMessage)
      SendMessageW(m_linkWindow, m_linkMessage, static_cast<WPARAM>(m_hotLink), m_linkParam);
  }
  if (!hot.target.empty() && m_handCursor.get()) {
    SetCursor(m_handCursor.get());
    return TRUE;
  }
  return FALSE;
}

LRESULT CPPHtmlDrawer::JumpToHyperlink(int area) {
  if (area < 0 || static_cast<size_t>(area) >= m_hotAreas.size()) return 0;
  const HotArea hot = m_hotAreas[static_cast<size_t>(area)];
  if (hot.target.empty()) return 0;
  if (hot.kind == 1) return OpenHyperlink(hot.target, HKEY_CLASSES_ROOT);
  if (m_messageWindow && m_messageMessage)
    return SendMessageW(m_messageWindow, m_messageMessage, reinterpret_cast<WPARAM>(hot.target.c_str()),
                        m_messageParam);
  return 0;
}

BOOL CPPHtmlDrawer::OnTimer() {
  BOOL changed = FALSE;
  for (auto& animation : m_animations) {
    if (animation.count <= 0) continue;
    if (++animation.tick >= animation.ticks_per_frame) {
      animation.tick = 0;
      animation.frame = animation.frame + 1 >= animation.count ? 0 : animation.frame + 1;
      changed = TRUE;
    }
  }
  return changed;
}
