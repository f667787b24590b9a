#include "PPToolTip.h"

#include <algorithm>
#include <stdexcept>

using namespace htmlctrl;

namespace {

const wchar_t kClassName[] = L"CPPToolTip";

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Moves the low part (0 start, 1 end, 2 centre) along one axis so that the tip fits between
// low_edge and high_edge: length is the tip's extent along the axis, at the cursor's coordinate.
int FitAlong(int low, int at, int length, int offset, int low_edge, int high_edge) {
  switch (low) {
    case 0:
      if (at + length - offset > high_edge) return at + offset - length < low_edge ? 2 : 1;
      return 0;
    case 1:
      if (at + offset - length < low_edge) return at + length - offset > high_edge ? 2 : 0;
      return 1;
    default:
      if (offset >= at - low_edge) return 0;
      if (offset >= high_edge - at) return 1;
      return 2;
  }
}

// The anchor's coordinate along its side, inside a window of that length whose anchor sits
// on the cursor coordinate at.
int AnchorAlong(int low, int at, int length, int offset, int low_edge, int high_edge) {
  int anchor = low == 0 ? offset : low == 1 ? length - offset : length / 2;
  if (low == 2) {
    if (at - anchor < low_edge) anchor = at - low_edge;
    if (at - anchor + length > high_edge) anchor = at + length - high_edge;
  }
  if (at - anchor < low_edge) anchor = at - low_edge;  // the window may not start before the edge
  if (low == 1 && at - anchor + length > high_edge) anchor = at + length - high_edge;
  return anchor;
}

}  // namespace

CPPToolTip::Placement CPPToolTip::Place(POINT p, SIZE body, int direction, const RECT& s, int anchor_width,
                                        int anchor_height, int anchor_offset) {
  Placement result;
  int side = direction & 0x30;
  int low = direction & 0x03;
  if (low == 3) low = 0;
  const bool vertical_side = side == kTopEdge || side == kBottomEdge;  // pointer on a top or bottom edge
  const int h = anchor_height, o = anchor_offset;
  const int width = body.cx + (vertical_side ? 0 : h);
  const int height = body.cy + (vertical_side ? h : 0);
  if (vertical_side) {
    low = FitAlong(low, p.x, width, o, s.left, s.right);
    if (side == kTopEdge && p.y + height > s.bottom)
      side = kBottomEdge;
    else if (side == kBottomEdge && p.y - height < s.top)
      side = kTopEdge;
  } else {
    if (side == kLeftEdge && p.x + width > s.right)
      side = kRightEdge;
    else if (side == kRightEdge && p.x - width < s.left)
      side = kLeftEdge;
    low = FitAlong(low, p.y, height, o, s.top, s.bottom);
  }
  result.direction = side | low;

  POINT anchor = {};
  if (vertical_side) {
    anchor.x = AnchorAlong(low, p.x, width, o, s.left, s.right);
    anchor.y = side == kTopEdge ? 0 : height;
  } else {
    anchor.y = AnchorAlong(low, p.y, height, o, s.top, s.bottom);
    anchor.x = side == kLeftEdge ? 0 : width;
  }
  result.anchor = anchor;
  result.window = RECT{p.x - anchor.x, p.y - anchor.y, p.x - anchor.x + width, p.y - anchor.y + height};
  result.body = RECT{0, 0, body.cx, body.cy};
  if (side == kTopEdge) OffsetRect(&result.body, 0, h);
  if (side == kLeftEdge) OffsetRect(&result.body, h, 0);

  const RECT& b = result.body;
  result.triangle[0] = anchor;
  if (vertical_side) {
    const int edge = side == kTopEdge ? b.top : b.bottom;
    int from = low == 0 ? o : low == 1 ? b.right - o : anchor.x - anchor_width / 2;
    int to = low == 0 ? o + anchor_width : low == 1 ? b.right - o - anchor_width : anchor.x + anchor_width / 2;
    result.triangle[1] = POINT{from, edge};
    result.triangle[2] = POINT{to, edge};
  } else {
    const int edge = side == kLeftEdge ? b.left : b.right;
    int from = low == 0 ? o : low == 1 ? b.bottom - o : anchor.y - anchor_width / 2;
    int to = low == 0 ? o + anchor_width : low == 1 ? b.bottom - o - anchor_width : anchor.y + anchor_width / 2;
    result.triangle[1] = POINT{edge, from};
    result.triangle[2] = POINT{edge, to};
  }
  return result;
}

CPPToolTip::CPPToolTip() {
  defaults_.colour1 = defaults_.colour2 = defaults_.colour3 = GetSysColor(COLOR_INFOBK);
  defaults_.direction = kBottomEdge;
  border_.reset(CreateSolidBrush(GetSysColor(COLOR_INFOTEXT)));
  cursor_query_ = [] {
    POINT point = {0, 0};
    GetCursorPos(&point);
    return point;
  };
  HINSTANCE module = ThisModule();
  WNDCLASSW existing = {};
  if (!GetClassInfoW(module, kClassName, &existing)) {
    WNDCLASSW wc = {};
    wc.style = CS_SAVEBITS;
    wc.lpfnWndProc = WindowProcedure;
    wc.hInstance = module;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    if (!RegisterClassW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
      throw std::runtime_error("the tooltip window class cannot be registered");
  }
}

CPPToolTip::~CPPToolTip() {
  if (window_) DestroyWindow();
  tools_.clear();
}

BOOL CPPToolTip::Create(HWND parent) {
  if (window_) return FALSE;
  parent_ = parent;
  window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, 0, 0, parent, nullptr,
                            ThisModule(), this);
  if (!window_) return FALSE;
  corner_x_ = corner_y_ = 16;
  margin_x_ = margin_y_ = 12;
  anchor_width_ = 12;
  anchor_height_ = 16;
  anchor_offset_ = 16;
  drawer_.SetCallbackHyperlink(window_, kRedrawRequest);
  StopTimer(kAnimationTimer);
  StartTimer(kAnimationTimer, 100);
  return TRUE;
}

void CPPToolTip::DestroyWindow() {
  if (!window_) return;
  HideAll();
  StopTimer(kAnimationTimer);
  HWND window = window_;
  window_ = nullptr;
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  ::DestroyWindow(window);
  armed_.clear();
}

void CPPToolTip::AddTool(HWND window, const Tool& tool) {
  std::vector<Tool>& list = tools_[window];
  for (Tool& existing : list)
    if (SameRect(existing.rect, tool.rect)) {
      existing = tool;
      return;
    }
  list.push_back(tool);
}

BOOL CPPToolTip::GetTool(HWND window, int id, Tool& tool) const {
  auto found = tools_.find(window);
  if (found == tools_.end()) return FALSE;
  for (const Tool& existing : found->second)
    if (existing.id == id) {
      tool = existing;
      return TRUE;
    }
  return FALSE;
}

void CPPToolTip::RemoveTool(HWND window, int id) {
  auto found = tools_.find(window);
  if (found == tools_.end()) return;
  std::vector<Tool>& list = found->second;
  auto tool = std::find_if(list.begin(), list.end(), [id](const Tool& t) { return t.id == id; });
  if (tool == list.end()) return;
  const RECT rect = tool->rect;
  list.erase(std::remove_if(list.begin(), list.end(), [&rect](const Tool& t) { return SameRect(t.rect, rect); }),
             list.end());
  if (list.empty()) tools_.erase(found);
}

void CPPToolTip::SetBorder(COLORREF colour) {
  border_.reset(CreateSolidBrush(colour));
  border_x_ = border_y_ = border_ ? 1 : 0;
}

void CPPToolTip::OnDrawBorder(HDC dc, HRGN region) {
  if (border_ && border_x_ && border_y_) FrameRgn(dc, region, border_.get(), border_x_, border_y_);
}

// ---------------------------------------------------------------------------------------
// Timers and the delay and fade machine

void CPPToolTip::StartTimer(UINT id, UINT interval) {
  armed_[id] = interval;
  if (window_) SetTimer(window_, id, interval, nullptr);
}

void CPPToolTip::StopTimer(UINT id) {
  armed_.erase(id);
  if (window_) KillTimer(window_, id);
}

void CPPToolTip::RelayEvent(const MSG& message) {
  if (!window_) return;
  switch (message.message) {
    case WM_MOUSEMOVE:
      OnMouseMove(message.pt);
      break;
    case WM_LBUTTONDOWN:
      if (IsVisible() && WindowFromPoint(message.pt) == window_) {
        POINT client = message.pt;
        ScreenToClient(window_, &client);
        const int area = drawer_.PtInHotArea(client);
        if (area >= 0) drawer_.JumpToHyperlink(area);
      }
      HideAll();
      break;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDOWN:
    case WM_NCMBUTTONDBLCLK:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_MOUSEWHEEL:
      HideAll();
      break;
    default:
      break;
  }
}

void CPPToolTip::OnMouseMove(POINT point) {
  if (point.x == last_point_.x && point.y == last_point_.y) return;
  last_point_ = point;
  const int behaviour = current_.behaviour;
  if (IsVisible() && WindowFromPoint(point) == window_ && !(behaviour & kTrackMouse)) {
    if (behaviour & kStayOverTip)
      StartAutoHide();
    else
      BeginHide();
    return;
  }
  HWND window = nullptr;
  Tool tool;
  if (!FindTool(point, window, tool)) {
    ForgetCurrent();
    StopTimer(kShowTimer);
    BeginHide();
    return;
  }
  if (window == current_window_ && SameRect(tool.rect, current_.rect)) {
    if (behaviour & kTrackMouse) {
      StartAutoHide();
      RECT r;
      GetWindowRect(window_, &r);
      MoveWindow(window_, point.x, point.y, r.right - r.left, r.bottom - r.top, TRUE);
      return;
    }
    if (behaviour & kRestartHideOnMove) {
      StartAutoHide();
      return;
    }
    if (!(behaviour & kMultipleShow)) {
      BeginHide();
      return;
    }
  }
  QueueTool(window, tool);
}

bool CPPToolTip::FindTool(POINT screen, HWND& window, Tool& tool) const {
  HWND under = WindowFromPoint(screen);
  if (!under) return false;
  HWND parent = GetParent(under);
  if (!parent) return false;
  wchar_t class_name[32] = {};
  GetClassNameW(parent, class_name, 32);
  HWND taken = nullptr;
  if ((GetWindowLongW(parent, GWL_STYLE) & CBS_DROPDOWN) && _wcsicmp(class_name, L"combobox") == 0) {
    taken = parent;
  } else {
    POINT client = screen;
    ScreenToClient(parent, &client);
    taken = ChildWindowFromPoint(parent, client);
    if (!taken || !IsWindowEnabled(taken)) return false;
  }
  auto found = tools_.find(taken);
  if (found == tools_.end() || found->second.empty()) return false;
  const std::vector<Tool>& list = found->second;
  if (list.size() == 1 && IsRectEmpty(&list[0].rect)) {
    window = taken;
    tool = list[0];
    return true;
  }
  POINT client = screen;
  ScreenToClient(taken, &client);
  for (const Tool& candidate : list)
    if (PtInRect(&candidate.rect, client)) {
      window = taken;
      tool = candidate;
      return true;
    }
  return false;
}

void CPPToolTip::QueueTool(HWND window, const Tool& tool) {
  show_queued_ = false;
  if (state_ == kAppearing || state_ == kShown) {
    if (state_ == kAppearing) StopTimer(kFadeInTimer);
    BeginHide();
  }
  pending_window_ = window;
  pending_ = tool;
  if (state_ != kHidden) {
    show_queued_ = true;
    queued_with_delay_ = initial_delay_ != 0;
  } else if (initial_delay_) {
    StartTimer(kShowTimer, initial_delay_);
  } else {
    OnTimer(kShowTimer);
  }
}

void CPPToolTip::StartAutoHide() {
  if (autohide_delay_ && !(current_.behaviour & kNoAutoHide)) StartTimer(kHideTimer, autohide_delay_);
}

void CPPToolTip::BeginHide() {
  if (state_ == kAppearing) {
    StopTimer(kFadeInTimer);
    OnTimer(kHideTimer);
  } else if (state_ == kShown) {
    OnTimer(kHideTimer);
  }
}

void CPPToolTip::ForgetCurrent() {
  current_window_ = nullptr;
  current_.rect = RECT{};
}

void CPPToolTip::HideAll() {
  state_ = kHidden;
  for (UINT id = kShowTimer; id <= kFadeOutTimer; ++id) StopTimer(id);
  if (IsVisible()) {
    if (current_.behaviour & kMultipleShow) ForgetCurrent();
    ShowWindow(window_, SW_HIDE);
  }
}

void CPPToolTip::OnTimer(UINT id) {
  switch (id) {
    case kShowTimer: {
      StopTimer(kShowTimer);
      const POINT cursor = cursor_query_ ? cursor_query_() : last_point_;
      const bool still = cursor.x == last_point_.x && cursor.y == last_point_.y;
      if (still && state_ == kHidden) {
        state_ = kAppearing;
        if (!ShowPending()) {
          state_ = kHidden;  // nothing to show
          return;
        }
        if (fade_in_on_ && fade_in_delay_) {
          StartTimer(kFadeInTimer, fade_in_delay_);
        } else {
          state_ = kShown;
          StartAutoHide();
        }
      } else if (!still && (state_ == kAppearing || state_ == kShown)) {
        BeginHide();
      }
      break;
    }
    case kHideTimer:
      StopTimer(kShowTimer);
      StopTimer(kFadeInTimer);
      StopTimer(kHideTimer);
      if (state_ == kDisappearing) return;
      state_ = kDisappearing;
      if (fade_out_on_ && fade_out_delay_) {
        StartTimer(kFadeOutTimer, fade_out_delay_);
      } else {
        transparency_ = 100;
        OnTimer(kFadeOutTimer);
      }
      break;
    case kFadeInTimer:
      transparency_ = std::max(0, transparency_ - 20);
      if (transparency_ <= current_.transparency) {
        transparency_ = current_.transparency;
        StopTimer(kFadeInTimer);
        state_ = kShown;
        StartAutoHide();
      }
      DrawOnWindow(transparency_);
      break;
    case kFadeOutTimer:
      transparency_ = transparency_ >= 80 ? 100 : transparency_ + 20;
      if (transparency_ < 100) {
        DrawOnWindow(transparency_);
        return;
      }
      StopTimer(kFadeOutTimer);
      if (current_.behaviour & kMultipleShow) ForgetCurrent();
      if (window_) ShowWindow(window_, SW_HIDE);
      state_ = kHidden;
      if (show_queued_) {
        show_queued_ = false;
        if (queued_with_delay_)
          StartTimer(kShowTimer, initial_delay_);
        else
          OnTimer(kShowTimer);
      }
      break;
    case kAnimationTimer:
      if (IsVisible() && state_ == kShown && drawer_.OnTimer()) DrawOnWindow(transparency_);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------
// Showing and drawing

bool CPPToolTip::ShowPending() {
  if (!window_) return false;
  Tool tool = pending_;
  if (!(tool.mask & kMaskValue)) tool.value = defaults_.value;
  if (!(tool.mask & kMaskEffect)) {
    tool.effect = defaults_.effect;
    tool.granularity = defaults_.granularity;
  }
  if (!(tool.mask & kMaskColours)) {
    tool.colour1 = defaults_.colour1;
    tool.colour2 = defaults_.colour2;
    tool.colour3 = defaults_.colour3;
  }
  if (!(tool.mask & kMaskDirection)) tool.direction = defaults_.direction;
  if (!(tool.mask & kMaskBehaviour)) tool.behaviour = defaults_.behaviour;
  if (!(tool.mask & kMaskTransparency)) tool.transparency = defaults_.transparency;
  tool.transparency = static_cast<BYTE>(std::min<int>(tool.transparency, 100));

  POINT cursor = last_point_;
  if (notify_ && IsWindow(notify_)) {
    NM_PPTOOLTIP_DISPLAY request = {};
    request.hdr.hwndFrom = window_;
    request.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(window_));
    request.hdr.code = kTextRequest;
    request.tool_window = pending_window_;
    request.point = &cursor;
    request.tool = &tool;
    SendMessageW(notify_, WM_NOTIFY, request.hdr.idFrom, reinterpret_cast<LPARAM>(&request));
  }
  if (tool.text.empty() || !window_) return false;

  HDC window_dc = GetDC(window_);
  if (!window_dc) return false;
  const SIZE text = drawer_.PrepareOutput(window_dc, tool.text);
  const SIZE body = {text.cx + 2 * margin_x_, text.cy + 2 * margin_y_};
  const RECT screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                       GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                       GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  placement_ = Place(cursor, body, tool.direction, screen, anchor_width_, anchor_height_, anchor_offset_);
  const RECT& b = placement_.body;
  content_ = RECT{b.left + margin_x_, b.top + margin_y_, b.left + margin_x_ + text.cx, b.top + margin_y_ + text.cy};
  size_ = SIZE{placement_.window.right - placement_.window.left, placement_.window.bottom - placement_.window.top};
  if (!IsSaneBitmapSize(size_.cx + shadow_dx_, size_.cy + shadow_dy_)) {
    ReleaseDC(window_, window_dc);
    return false;
  }

  region_.reset(CreateRoundRectRgn(b.left, b.top, b.right + 1, b.bottom + 1, corner_x_, corner_y_));
  if (anchor_width_ && anchor_height_ && region_) {
    Region triangle(CreatePolygonRgn(placement_.triangle, 3, WINDING));
    if (triangle) CombineRgn(region_.get(), region_.get(), triangle.get(), RGN_OR);
  }

  // The background: the fill effect over the body, the pointer's strip filled by repeating the
  // body's pixels next to it.
  background_.reset(CreateCompatibleBitmap(window_dc, size_.cx, size_.cy));
  {
    MemoryDC memory(CreateCompatibleDC(window_dc));
    Selection selected(memory.get(), background_.get());
    CPPDrawManager& manager = drawer_.GetDrawManager();
    manager.FillEffect(memory.get(), b, tool.effect, tool.colour1, tool.colour2, tool.colour3, tool.granularity, 5);
    const int side = placement_.direction & 0x30;
    if (side == kTopEdge)
      manager.TileBitmap(memory.get(), 0, 0, size_.cx, b.top, memory.get(), 0, b.top + 1, size_.cx, 1);
    if (side == kBottomEdge)
      manager.TileBitmap(memory.get(), 0, b.bottom, size_.cx, size_.cy - b.bottom, memory.get(), 0, b.bottom - 1,
                         size_.cx, 1);
    if (side == kLeftEdge)
      manager.TileBitmap(memory.get(), 0, 0, b.left, size_.cy, memory.get(), b.left + 1, 0, 1, size_.cy);
    if (side == kRightEdge)
      manager.TileBitmap(memory.get(), b.right, 0, size_.cx - b.right, size_.cy, memory.get(), b.right - 1, 0, 1,
                         size_.cy);
  }
  transparency_ = fade_in_on_ && fade_in_delay_ ? 100 : tool.transparency;

  // What lies under the tip is read from the screen before the tip is shown: once shown, its
  // own pixels are all a window DC can give (and nothing at all on a composited desktop).
  const int full_x = size_.cx + shadow_dx_, full_y = size_.cy + shadow_dy_;
  {
    HDC screen_dc = GetDC(nullptr);
    saved_screen_.reset(CreateCompatibleBitmap(window_dc, full_x, full_y));
    MemoryDC memory(CreateCompatibleDC(window_dc));
    Selection selected(memory.get(), saved_screen_.get());
    if (screen_dc)
      BitBlt(memory.get(), 0, 0, full_x, full_y, screen_dc, placement_.window.left, placement_.window.top, SRCCOPY);
    if (screen_dc) ReleaseDC(nullptr, screen_dc);
  }
  ReleaseDC(window_, window_dc);

  // The window's region: the tip, and with a shadow the tip moved by the shadow offset too.
  HRGN window_region = CreateRectRgn(0, 0, 0, 0);
  if (window_region && region_) {
    CombineRgn(window_region, region_.get(), nullptr, RGN_COPY);
    if (shadow_dx_ || shadow_dy_) {
      Region shadow(CreateRectRgn(0, 0, 0, 0));
      if (shadow) {
        CombineRgn(shadow.get(), region_.get(), nullptr, RGN_COPY);
        OffsetRgn(shadow.get(), shadow_dx_, shadow_dy_);
        CombineRgn(window_region, window_region, shadow.get(), RGN_OR);
      }
    }
    if (!SetWindowRgn(window_, window_region, FALSE)) DeleteObject(window_region);  // the system owns it on success
  } else if (window_region) {
    DeleteObject(window_region);
  }
  current_window_ = pending_window_;
  current_ = tool;
  SetWindowPos(window_, HWND_TOPMOST, placement_.window.left, placement_.window.top, full_x, full_y,
               SWP_NOACTIVATE | SWP_SHOWWINDOW);
  DrawOnWindow(transparency_);
  return true;
}

void CPPToolTip::DrawOnWindow(int transparency) {
  if (!window_) return;
  HDC dc = GetDC(window_);
  if (!dc) return;
  Draw(dc, transparency);
  ReleaseDC(window_, dc);
}

void CPPToolTip::Draw(HDC dc, int transparency) {
  if (!background_ || !saved_screen_ || !region_) return;
  transparency = std::clamp(transparency, 0, 100);
  const int full_x = size_.cx + shadow_dx_, full_y = size_.cy + shadow_dy_;
  // The tip image: background, text, border.
  MemoryDC tip(CreateCompatibleDC(dc));
  Bitmap tip_bitmap(CreateCompatibleBitmap(dc, size_.cx, size_.cy));
  MemoryDC source(CreateCompatibleDC(dc));
  if (!tip || !tip_bitmap || !source) return;
  Selection tip_selected(tip.get(), tip_bitmap.get());
  {
    Selection background_selected(source.get(), background_.get());
    BitBlt(tip.get(), 0, 0, size_.cx, size_.cy, source.get(), 0, 0, SRCCOPY);
  }
  drawer_.DrawPreparedOutput(tip.get(), content_);
  OnDrawBorder(tip.get(), region_.get());

  // The composition: the saved screen, darkened by the shadow, with the tip blended on.
  MemoryDC composition(CreateCompatibleDC(dc));
  Bitmap composition_bitmap(CreateCompatibleBitmap(dc, full_x, full_y));
  if (!composition || !composition_bitmap) return;
  Selection composition_selected(composition.get(), composition_bitmap.get());
  {
    Selection saved_selected(source.get(), saved_screen_.get());
    BitBlt(composition.get(), 0, 0, full_x, full_y, source.get(), 0, 0, SRCCOPY);
  }
  if (shadow_dx_ || shadow_dy_) {
    const int c = MulDiv(255, 100 - shadow_darkness_, 100);
    const int grey = c + (255 - c) * transparency / 100;
    Bitmap mask(CreateCompatibleBitmap(dc, size_.cx, size_.cy));
    if (mask) {
      {
        Selection mask_selected(source.get(), mask.get());
        RECT all = {0, 0, size_.cx, size_.cy};
        FillRect(source.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        Brush shade(CreateSolidBrush(RGB(grey, grey, grey)));
        FillRgn(source.get(), region_.get(), shade.get());
      }
      drawer_.GetDrawManager().DrawShadow(composition.get(), shadow_dx_, shadow_dy_, size_.cx, size_.cy, mask.get(),
                                          shadow_blurred_, shadow_blur_x_, shadow_blur_y_);
    }
  }
  SelectClipRgn(composition.get(), region_.get());
  drawer_.GetDrawManager().AlphaBitBlt(tip.get(), composition.get(), 0, 0, size_.cx, size_.cy, 100 - transparency);
  SelectClipRgn(composition.get(), nullptr);
  BitBlt(dc, 0, 0, full_x, full_y, composition.get(), 0, 0, SRCCOPY);
}

// ---------------------------------------------------------------------------------------
// Window procedure

LRESULT CALLBACK CPPToolTip::WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<CPPToolTip*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || !self->window_) return DefWindowProcW(window, message, wparam, lparam);
  try {
    return self->OnMessage(message, wparam, lparam);
  } catch (...) {
    // Nothing may unwind into the system's dispatcher; the tip just goes.
    ShowWindow(window, SW_HIDE);
    return DefWindowProcW(window, message, wparam, lparam);
  }
}

LRESULT CPPToolTip::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window_, &paint);
      if (dc) Draw(dc, transparency_);
      EndPaint(window_, &paint);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_TIMER:
      OnTimer(static_cast<UINT>(wparam));
      return 0;
    case WM_SETCURSOR: {
      POINT point;
      GetCursorPos(&point);
      ScreenToClient(window_, &point);
      if (!drawer_.OnSetCursor(point)) SetCursor(LoadCursorW(nullptr, IDC_ARROW));
      return TRUE;
    }
    case WM_ACTIVATEAPP: {
      const LRESULT result = DefWindowProcW(window_, message, wparam, lparam);
      if (!wparam) HideAll();
      return result;
    }
    case kRedrawRequest:
      if (redraw_on_request_) DrawOnWindow(0);
      return 1;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    default:
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}
