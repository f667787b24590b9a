#include "PPHtmlDrawer.h"

#include "GdiOwners.h"
#include "LinkOpen.h"

#include <algorithm>
#include <cwchar>
#include <exception>

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

CPPHtmlDrawer::CPPHtmlDrawer() : shadow_colour_(RGB(MulDiv(255, 50, 100), MulDiv(255, 50, 100), MulDiv(255, 50, 100))) {
  hand_cursor_ = LoadHandCursor(hand_owned_);
}

CPPHtmlDrawer::~CPPHtmlDrawer() {
  if (font_) DeleteObject(font_);
  if (hand_owned_) DestroyCursor(hand_cursor_);
  if (module_owned_ && resource_module_) FreeLibrary(resource_module_);
}

void CPPHtmlDrawer::SetCallbackHyperlink(HWND window, UINT message, LPARAM param) {
  link_window_ = window;
  link_message_ = message;
  link_param_ = param;
}

void CPPHtmlDrawer::SetCallbackMessage(HWND window, UINT message, LPARAM param) {
  message_window_ = window;
  message_message_ = message;
  message_param_ = param;
}

void CPPHtmlDrawer::SetResourceModule(HMODULE module, bool owned) {
  if (module_owned_ && resource_module_ && resource_module_ != module) FreeLibrary(resource_module_);
  resource_module_ = module;
  module_owned_ = owned && module;
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
  text_ = markup_.PrepareText(text, newlines_break_);
  if (text_.empty()) return size;
  dc_ = dc;
  const RECT rect = {0, 0, max_width_, 0};
  size = RunPass(true, rect);
  if (size.cx == 0 && size.cy == 0) {
    text_.clear();
    return size;
  }
  if (max_width_ > 0 && size.cx > max_width_) size.cx = max_width_;
  size.cx += 1;
  size.cy += 1;
  return size;
}

void CPPHtmlDrawer::DrawPreparedOutput(HDC dc, const RECT& rect) {
  if (!dc || text_.empty()) return;
  dc_ = dc;
  RunPass(false, rect);
}

SIZE CPPHtmlDrawer::RunPass(bool measuring, const RECT& rect) {
  measuring_ = measuring;
  // Hot areas are rebuilt by every pass; appending would pile them up with each redraw.
  hot_areas_.clear();
  if (measuring) {
    lines_.clear();
    animations_.clear();
    tables_.clear();
  }
  line_index_ = 0;
  table_index_ = -1;
  fixed_cells_ = 0;
  link_counter_ = -1;
  animation_index_ = -1;
  stack_.clear();

  HGDIOBJ old_font = GetCurrentObject(dc_, OBJ_FONT);
  const int old_mode = GetBkMode(dc_);
  const COLORREF old_text = GetTextColor(dc_);
  const COLORREF old_background = GetBkColor(dc_);
  GetTextMetricsW(dc_, &tm_);
  metrics_.em_height = tm_.tmHeight;
  metrics_.pixels_per_inch = GetDeviceCaps(dc_, LOGPIXELSY);
  SIZE x_size = {0, 0};
  GetTextExtentPoint32W(dc_, L"x", 1, &x_size);
  metrics_.ex_height = x_size.cy;

  style_ = HtmlStyle();
  markup_.ApplyRule(L"body", style_, metrics_);
  MakeFont();

  SIZE size = {0, 0};
  try {
    size = LayoutBlock(text_, 0, text_.size(), rect, 0);
  } catch (const std::exception&) {
    // Out of memory for the records of an enormous text: the pass ends where it stands,
    // and the DC is restored below; drawing code never lets an exception out.
  }

  SelectObject(dc_, old_font);
  SetBkMode(dc_, old_mode);
  SetTextColor(dc_, old_text);
  SetBkColor(dc_, old_background);
  SetTextJustification(dc_, 0, 0);
  stack_.clear();
  if (font_) DeleteObject(font_);
  font_ = nullptr;
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
  return line_index_ < lines_.size() ? &lines_[line_index_] : nullptr;
}

SIZE CPPHtmlDrawer::LayoutStretch(const std::wstring& text, size_t begin, size_t end, const RECT& rect) {
  PushStyle(L"body");
  markup_.ApplyRule(L"body", style_, metrics_);
  MakeFont();
  left_ = rect.left;
  right_ = rect.right;
  line_width_ = std::max(0, static_cast<int>(rect.right - rect.left));
  y_ = rect.top;
  stretch_width_ = 0;
  const size_t first_line = line_index_;
  StartLine();
  size_t pos = begin;
  HtmlToken token;
  while (HtmlMarkup::NextToken(text, pos, end, token)) {
    if (token.kind == HtmlToken::TEXT)
      HandleText(token.text);
    else
      HandleTag(token);
  }
  if (!line_empty_) EndLine(1, false);
  SetTextJustification(dc_, 0, 0);
  PopStyle(L"body");
  MakeFont();

  SIZE size = {stretch_width_, y_ - rect.top};
  for (size_t i = first_line; i < lines_.size() && i <= line_index_; ++i)
    if (lines_[i].percent > 0)
      size.cx = std::max<LONG>(size.cx, lines_[i].width + MulDiv(size.cx, lines_[i].percent, 100));
  return size;
}

// ---------------------------------------------------------------------------------------
// Lines

void CPPHtmlDrawer::StartLine() {
  line_empty_ = true;
  justify_room_ = justify_spaces_ = 0;
  if (measuring_) {
    LineInfo line;
    line.align = style_.horizontal_align;
    if (line_index_ >= lines_.size()) lines_.resize(line_index_ + 1);
    lines_[line_index_] = line;
    x_ = left_;
    return;
  }
  const LineInfo* line = CurrentLine();
  const LineInfo empty;
  if (!line) line = &empty;
  const int available = right_ - left_;
  int width = line->width;
  if (line->percent > 0) width += MulDiv(available, line->percent, 100);
  SetTextJustification(dc_, 0, 0);
  if (line->align == 3 && line->wrapped && line->spaces > 0) {
    justify_room_ = std::max(0, available - width);
    justify_spaces_ = line->spaces;
  }
  if (line->align == 1)
    x_ = left_ + (available - width) / 2;
  else if (line->align == 2)
    x_ = left_ + available - width;
  else
    x_ = left_;
}

void CPPHtmlDrawer::EndLine(int count, bool wrapped) {
  count = std::clamp(count, 1, kMaxRepeat);
  int height = 0;
  if (LineInfo* line = CurrentLine()) {
    if (measuring_) {
      if (line->ascent == 0) line->ascent = tm_.tmHeight;
      line->height = line->ascent + line->descent;
      line->width = x_ - left_;
      line->wrapped = wrapped;
      stretch_width_ = std::max(stretch_width_, line->width);
    }
    height = line->height;
  }
  ++line_index_;
  y_ += count * height;
  StartLine();
}

void CPPHtmlDrawer::PlaceBox(int width, int height, int* top) {
  LineInfo* line = CurrentLine();
  if (measuring_) {
    if (line) {
      line->align = style_.horizontal_align;
      line->ascent = std::max(line->ascent, height);
    }
    *top = y_;
    return;
  }
  const int H = line ? line->height : 0, D = line ? line->descent : 0;
  switch (style_.vertical_align) {
    case 0:
      *top = y_;
      break;
    case 1:
      *top = y_ + (H - height) / 2;
      break;
    case 2:
      *top = y_ + H - height;
      break;
    default:
      *top = y_ + H - D - height;
      break;
  }
  (void)width;
}

void CPPHtmlDrawer::AddHotArea(int left, int top, int right, int bottom) {
  if (measuring_ || style_.link_kind == 0) return;
  hot_areas_.push_back(HotArea{RECT{left, top, right, bottom}, style_.link_kind, link_counter_, style_.link_target});
}

// ---------------------------------------------------------------------------------------
// Text

void CPPHtmlDrawer::HandleText(const std::wstring& run) {
  const std::wstring text = HtmlMarkup::Transform(run, style_.text_transform);
  // The run is walked by position: copying what is left for every line would cost the
  // square of a long run's length.
  size_t start = 0;
  while (start < text.size()) {
    SetTextJustification(dc_, 0, 0);
    const size_t left = text.size() - start;
    const wchar_t* rest = text.c_str() + start;
    const int room = left_ + line_width_ - x_;
    size_t taken = left;   // characters that this piece uses up
    size_t length = left;  // characters that it shows
    bool cut = false;
    if ((max_width_ > 0 || fixed_cells_ > 0) && line_width_ > 0) {
      // Only as many characters as could possibly fit are measured.
      const int window = static_cast<int>(std::min<size_t>(left, static_cast<size_t>(std::max(room, 0)) + 2));
      int fit = 0;
      SIZE extent = {0, 0};
      if (!GetTextExtentExPointW(dc_, rest, window, std::max(room, 0), &fit, nullptr, &extent)) fit = 0;
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
        if (at == 0 && line_empty_) at = static_cast<size_t>(std::max(fit, 1));
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
  if (!measuring_ && justify_spaces_ > 0 && spaces > 0) {
    const int share = MulDiv(justify_room_, std::min(spaces, justify_spaces_), justify_spaces_);
    SetTextJustification(dc_, share, spaces);
    justify_room_ -= share;
    justify_spaces_ = std::max(0, justify_spaces_ - spaces);
  }
  SIZE extent = {0, 0};
  GetTextExtentPoint32W(dc_, piece.c_str(), length, &extent);
  LineInfo* line = CurrentLine();
  if (measuring_) {
    if (line) {
      line->align = style_.horizontal_align;
      line->spaces += spaces;
      line->ascent = std::max<int>(line->ascent, tm_.tmAscent);
      line->descent = std::max<int>(line->descent, extent.cy - tm_.tmAscent);
    }
  } else {
    const int H = line ? line->height : 0, D = line ? line->descent : 0;
    int top;
    switch (style_.vertical_align) {
      case 0:
        top = y_;
        break;
      case 1:
        top = y_ + (H - tm_.tmHeight) / 2;
        break;
      case 2:
        top = y_ + H - tm_.tmAscent;
        break;
      default:
        top = y_ + H - tm_.tmAscent - D;
        break;
    }
    AddHotArea(x_, top, x_ + extent.cx, top + extent.cy);
    TextOutW(dc_, x_, top, piece.c_str(), length);
    if (style_.overline) {
      Pen pen(CreatePen(PS_SOLID, style_.weight < FW_BOLD ? 1 : 2, Resolve(style_.text_colour)));
      if (pen) {
        Selection select(dc_, pen.get());
        POINT old;
        MoveToEx(dc_, x_, top, &old);
        LineTo(dc_, x_ + extent.cx, top);
        MoveToEx(dc_, old.x, old.y, nullptr);
      }
    }
  }
  SetTextJustification(dc_, 0, 0);
  x_ += extent.cx;
  line_empty_ = false;
}

// ---------------------------------------------------------------------------------------
// Tags

void CPPHtmlDrawer::HandleTag(const HtmlToken& token) {
  const int kind = markup_.TagKind(token.text);
  if (kind == TAG_UNKNOWN) return;
  if (HtmlMarkup::IsContainer(kind)) {
    if (markup_.ApplyContainerTag(kind, token.text, token.closing, token.attributes, style_, stack_, metrics_,
                                  link_counter_, hot_link_))
      MakeFont();
    return;
  }
  auto repeat = [&]() {
    const std::wstring count = token.attributes.size() > 1 ? token.attributes.substr(1) : std::wstring();
    return std::clamp(HtmlMarkup::ParseLength(1, count, false, metrics_), 1, kMaxRepeat);
  };
  switch (kind) {
    case TAG_NEWLINE:
      EndLine(repeat(), false);
      break;
    case TAG_TABULATION: {
      const int stops = repeat();
      const long long position = ((static_cast<long long>(x_) - left_) / tab_width_ + stops) * tab_width_;
      x_ = left_ + static_cast<int>(std::min<long long>(position, 1 << 24));
      line_empty_ = false;
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
  HtmlStyle rule = style_;
  markup_.ApplyRule(L"hr", rule, metrics_);
  const std::wstring width_text = HtmlMarkup::Attribute(attributes, L"width");
  const bool percent = width_text.empty() || width_text.back() == L'%';
  const int width = std::max(0, HtmlMarkup::ParseLength(100, width_text, false, metrics_));
  const int size = std::max(0, HtmlMarkup::ParseLength(1, HtmlMarkup::Attribute(attributes, L"size"), false, metrics_));
  COLORREF colour = markup_.ParseColour(HtmlMarkup::Attribute(attributes, L"color"), rule.text_colour);
  if (!markup_.IsEnabled()) colour = markup_.DisabledColour();
  if (width == 0 || size == 0) return;  // takes no room
  LineInfo* line = CurrentLine();
  if (measuring_) {
    if (line) {
      if (percent) line->percent += width;
      line->ascent = std::max(line->ascent, size + 8);
      line->align = style_.horizontal_align;
    }
    x_ += percent ? 1 : width;
  } else {
    const int pixels = percent ? MulDiv(right_ - left_, width, 100) : width;
    const int middle = y_ + (line ? line->height : 0) / 2;
    draw_manager_.DrawLine(dc_, x_, middle, x_ + pixels, middle, Resolve(colour), CPPDrawManager::PEN_SOLID, size);
    x_ += pixels;
  }
  line_empty_ = false;
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
  const COLORREF mask = markup_.ParseColour(mask_text, RGB(255, 0, 255));
  const int index = std::max(0, HtmlMarkup::ParseLength(0, get(L"index"), false, metrics_));

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
    else if (c == L's' && (shadow_dx_ || shadow_dy_))
      bits |= shadow_gradient_ ? CPPDrawManager::IMAGE_EFFECT_GRADIENT_SHADOW : CPPDrawManager::IMAGE_EFFECT_SHADOW;
  }
  if (!markup_.IsEnabled()) bits = (bits & ~0xFFu) | CPPDrawManager::IMAGE_EFFECT_MONOCHROME;
  const bool shadow =
      (bits & (CPPDrawManager::IMAGE_EFFECT_SHADOW | CPPDrawManager::IMAGE_EFFECT_GRADIENT_SHADOW)) != 0;
  const COLORREF colour = markup_.IsEnabled() ? shadow_colour_ : markup_.DisabledColour();

  // A module named by the markup is mapped for its resources only: its code never runs.
  Module own_module;
  auto module_for_dll = [&]() -> HMODULE {
    if (srcdll.empty()) return resource_module_;
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
    image_w = wt.empty() ? cx : HtmlMarkup::ParseLength(cx, wt, false, metrics_);
    image_h = ht.empty() ? cy : HtmlMarkup::ParseLength(cy, ht, false, metrics_);
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
      strip_cx = std::max(0, HtmlMarkup::ParseLength(0, get(L"cx"), false, metrics_));
      strip_cy = std::max(0, HtmlMarkup::ParseLength(0, get(L"cy"), false, metrics_));
      if (!strip_cx && !strip_cy)
        strip_cx = strip_cy = std::min(own.cx, own.cy);
      else if (!strip_cx)
        strip_cx = strip_cy;
      else if (!strip_cy)
        strip_cy = strip_cx;
      if (strip_cx <= 0 || strip_cy <= 0) return;
      const int count = (own.cx / strip_cx) * (own.cy / strip_cy);
      const int speed = std::max(0, HtmlMarkup::ParseLength(0, get(L"speed"), false, metrics_));
      if (speed > 0) {
        if (measuring_) {
          animations_.push_back(AnimatedImage{index, count, 0, speed});
          ++animation_index_;
        } else if (static_cast<size_t>(++animation_index_) < animations_.size()) {
          frame = animations_[static_cast<size_t>(animation_index_)].frame;
        }
      }
      if (frame >= count) return;
      own = SIZE{strip_cx, strip_cy};
    } else if (kind == TAG_IMAGELIST && image_list_) {
      if (index >= ImageList_GetImageCount(image_list_)) return;
      int cx = 0, cy = 0;
      ImageList_GetIconSize(image_list_, &cx, &cy);
      own = SIZE{cx, cy};
      from_image_list = true;
    }
    if (!bitmap && !from_image_list) return;
    image_w = ImageLength(get(L"width"), own.cx, metrics_);
    image_h = ImageLength(get(L"height"), own.cy, metrics_);
  }
  // Sizes come from the markup: a picture too large to make is left out, not attempted.
  if (!IsSaneBitmapSize(image_w, image_h)) return;

  int width = image_w, height = image_h;
  if (shadow) {
    width += shadow_dx_;
    height += shadow_dy_;
  }
  if ((max_width_ > 0 || fixed_cells_ > 0) && line_width_ > 0 && !line_empty_ && x_ + width > left_ + line_width_)
    EndLine(1, true);
  if (LineInfo* line = CurrentLine()) line->align = style_.horizontal_align;
  int top = 0;
  PlaceBox(width, height, &top);
  if (!measuring_) {
    AddHotArea(x_, top, x_ + width, top + height);
    if (kind == TAG_ICON) {
      draw_manager_.DrawIcon(dc_, x_, top, image_w, image_h, icon, bits, shadow, shadow_dx_, shadow_dy_,
                             shadow_depth_x_, shadow_depth_y_, colour);
    } else if (from_image_list) {
      Icon list_icon(ImageList_GetIcon(image_list_, index, ILD_NORMAL));
      if (list_icon)
        draw_manager_.DrawIcon(dc_, x_, top, image_w, image_h, list_icon.get(), bits, shadow, shadow_dx_, shadow_dy_,
                               shadow_depth_x_, shadow_depth_y_, colour);
    } else if (kind == TAG_IMAGELIST) {
      draw_manager_.DrawImageList(dc_, x_, top, image_w, image_h, bitmap, frame, strip_cx, strip_cy, mask_given, mask,
                                  bits, shadow, shadow_dx_, shadow_dy_, shadow_depth_x_, shadow_depth_y_, colour);
    } else {
      draw_manager_.DrawBitmap(dc_, x_, top, image_w, image_h, bitmap, mask_given, mask, bits, shadow, shadow_dx_,
                               shadow_dy_, shadow_depth_x_, shadow_depth_y_, colour);
    }
  }
  x_ += width;
  line_empty_ = false;
}

// ---------------------------------------------------------------------------------------
// Style and font

void CPPHtmlDrawer::PushStyle(const wchar_t* name) {
  style_.tag_name = name;
  stack_.push_back(style_);
  style_.tag_name.clear();
}

void CPPHtmlDrawer::PopStyle(const wchar_t* name) {
  if (!stack_.empty() && stack_.back().tag_name == name) {
    style_ = std::move(stack_.back());
    stack_.pop_back();
  }
  style_.tag_name.clear();
}

COLORREF CPPHtmlDrawer::Resolve(COLORREF colour) const {
  // 0x80000000 | index names a system colour, looked up when used.
  if (colour != CLR_INVALID && (colour & 0x80000000)) return GetSysColor(static_cast<int>(colour & 0xFF));
  return colour & 0x00FFFFFF;
}

void CPPHtmlDrawer::MakeFont() {
  LOGFONTW font = {};
  font.lfHeight = std::clamp(style_.font_height, -kMaxFontHeight, kMaxFontHeight);
  font.lfWeight = std::clamp(style_.weight, 0, 1000);
  font.lfItalic = style_.italic;
  font.lfUnderline = style_.underline;
  font.lfStrikeOut = style_.strikeout;
  font.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(font.lfFaceName, style_.font_face.c_str(), LF_FACESIZE - 1);
  HFONT made = CreateFontIndirectW(&font);
  if (made) {
    SelectObject(dc_, made);
    if (font_) DeleteObject(font_);
    font_ = made;
  }
  GetTextMetricsW(dc_, &tm_);
  metrics_.em_height = tm_.tmHeight;
  SIZE x_size = {0, 0};
  if (GetTextExtentPoint32W(dc_, L"x", 1, &x_size)) metrics_.ex_height = x_size.cy;
  SetBkMode(dc_, style_.background_mode == OPAQUE ? OPAQUE : TRANSPARENT);
  SetTextColor(dc_, Resolve(style_.text_colour));
  SetBkColor(dc_, Resolve(style_.background_colour));
}

// ---------------------------------------------------------------------------------------
// Mouse and links

int CPPHtmlDrawer::PtInHotArea(POINT point) const {
  for (size_t i = 0; i < hot_areas_.size(); ++i) {
    const RECT& r = hot_areas_[i].rect;
    if (point.x >= r.left && point.x <= r.right && point.y >= r.top && point.y <= r.bottom) return static_cast<int>(i);
  }
  return -1;
}

BOOL CPPHtmlDrawer::OnSetCursor(POINT point) {
  const int area = PtInHotArea(point);
  if (area < 0) {
    if (hot_link_ != -2) {
      hot_link_ = -2;
      if (link_window_ && link_message_)
        SendMessageW(link_window_, link_message_, static_cast<WPARAM>(-2), link_param_);
    }
    return FALSE;
  }
  const HotArea& hot = hot_areas_[static_cast<size_t>(area)];
  if (hot.number != hot_link_) {
    hot_link_ = hot.number;
    if (link_window_ && link_message_)
      SendMessageW(link_window_, link_message_, static_cast<WPARAM>(hot_link_), link_param_);
  }
  if (!hot.target.empty() && hand_cursor_) {
    SetCursor(hand_cursor_);
    return TRUE;
  }
  return FALSE;
}

LRESULT CPPHtmlDrawer::JumpToHyperlink(int area) {
  if (area < 0 || static_cast<size_t>(area) >= hot_areas_.size()) return 0;
  const HotArea hot = hot_areas_[static_cast<size_t>(area)];
  if (hot.target.empty()) return 0;
  if (hot.kind == 1) return OpenHyperlink(hot.target, HKEY_CLASSES_ROOT);
  if (message_window_ && message_message_)
    return SendMessageW(message_window_, message_message_, reinterpret_cast<WPARAM>(hot.target.c_str()),
                        message_param_);
  return 0;
}

BOOL CPPHtmlDrawer::OnTimer() {
  BOOL changed = FALSE;
  for (auto& animation : animations_) {
    if (animation.count <= 0) continue;
    if (++animation.tick >= animation.ticks_per_frame) {
      animation.tick = 0;
      animation.frame = animation.frame + 1 >= animation.count ? 0 : animation.frame + 1;
      changed = TRUE;
    }
  }
  return changed;
}
