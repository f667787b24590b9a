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
  m_defaults.colour1 = m_defaults.colour2 = m_defaults.colour3 = GetSysColor(COLOR_INFOBK);
  m_defaults.direction = kBottomEdge;
  m_border.reset(CreateSolidBrush(GetSysColor(COLOR_INFOTEXT)));
  m_cursorQuery = [] {
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
  if (m_window) DestroyWindow();
  m_tools.clear();
}

BOOL CPPToolTip::Create(HWND parent) {
  if (m_window) return FALSE;
  m_parent = parent;
  m_window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, 0, 0, parent, nullptr,
                             ThisModule(), this);
  if (!m_window) return FALSE;
  m_cornerX = m_cornerY = 16;
  m_marginX = m_marginY = 12;
  m_anchorWidth = 12;
  m_anchorHeight = 16;
  m_anchorOffset = 16;
  m_drawer.SetCallbackHyperlink(m_window, kRedrawRequest);
  StopTimer(kAnimationTimer);
  StartTimer(kAnimationTimer, 100);
  return TRUE;
}

void CPPToolTip::DestroyWindow() {
  if (!m_window) return;
  HideAll();
  StopTimer(kAnimationTimer);
  HWND window = m_window;
  m_window = nullptr;
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  ::DestroyWindow(window);
  m_armed.clear();
}

void CPPToolTip::AddTool(HWND window, const Tool& tool) {
  std::vector<Tool>& list = m_tools[window];
  for (Tool& existing : list)
    if (SameRect(existing.rect, tool.rect)) {
      existing = tool;
      return;
    }
  list.push_back(tool);
}

BOOL CPPToolTip::GetTool(HWND window, int id, Tool& tool) const {
  auto found = m_tools.find(window);
  if (found == m_tools.end()) return FALSE;
  for (const Tool& existing : found->second)
    if (existing.id == id) {
      tool = existing;
      return TRUE;
    }
  return FALSE;
}

void CPPToolTip::RemoveTool(HWND window, int id) {
  auto found = m_tools.find(window);
  if (found == m_tools.end()) return;
  std::vector<Tool>& list = found->second;
  auto tool = std::find_if(list.begin(), list.end(), [id](const Tool& t) { return t.id == id; });
  if (tool == list.end()) return;
  const RECT rect = tool->rect;
  list.erase(std::remove_if(list.begin(), list.end(), [&rect](const Tool& t) { return SameRect(t.rect, rect); }),
             list.end());
  if (list.empty()) m_tools.erase(found);
}

void CPPToolTip::SetBorder(COLORREF colour) {
  m_border.reset(CreateSolidBrush(colour));
  m_borderX = m_borderY = m_border ? 1 : 0;
}

void CPPToolTip::OnDrawBorder(HDC dc, HRGN region) {
  if (m_border && m_borderX && m_borderY) FrameRgn(dc, region, m_border.get(), m_borderX, m_borderY);
}

// ---------------------------------------------------------------------------------------
// Timers and the delay and fade machine

void CPPToolTip::StartTimer(UINT id, UINT interval) {
  m_armed[id] = interval;
  if (m_window) SetTimer(m_window, id, interval, nullptr);
}

void CPPToolTip::StopTimer(UINT id) {
  m_armed.erase(id);
  if (m_window) KillTimer(m_window, id);
}

void CPPToolTip::RelayEvent(const MSG& message) {
  if (!m_window) return;
  switch (message.message) {
    case WM_MOUSEMOVE:
      OnMouseMove(message.pt);
      break;
    case WM_LBUTTONDOWN:
      if (IsVisible() && WindowFromPoint(message.pt) == m_window) {
        POINT client = message.pt;
        ScreenToClient(m_window, &client);
        const int area = m_drawer.PtInHotArea(client);
        if (area >= 0) m_drawer.JumpToHyperlink(area);
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
  if (point.x == m_lastPoint.x && point.y == m_lastPoint.y) return;
  m_lastPoint = point;
  const int behaviour = m_current.behaviour;
  if (IsVisible() && WindowFromPoint(point) == m_window && !(behaviour & kTrackMouse)) {
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
  if (window == m_currentWindow && SameRect(tool.rect, m_current.rect)) {
    if (behaviour & kTrackMouse) {
      StartAutoHide();
      RECT r;
      GetWindowRect(m_window, &r);
      MoveWindow(m_window, point.x, point.y, r.right - r.left, r.bottom - r.top, TRUE);
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
  auto found = m_tools.find(taken);
  if (found == m_tools.end() || found->second.empty()) return false;
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
  m_showQueued = false;
  if (m_state == kAppearing || m_state == kShown) {
    if (m_state == kAppearing) StopTimer(kFadeInTimer);
    BeginHide();
  }
  m_pendingWindow = window;
  m_pending = tool;
  if (m_state != kHidden) {
    m_showQueued = true;
    m_queuedWithDelay = m_initialDelay != 0;
  } else if (m_initialDelay) {
    StartTimer(kShowTimer, m_initialDelay);
  } else {
    OnTimer(kShowTimer);
  }
}

void CPPToolTip::StartAutoHide() {
  if (m_autohideDelay && !(m_current.behaviour & kNoAutoHide)) StartTimer(kHideTimer, m_autohideDelay);
}

void CPPToolTip::BeginHide() {
  if (m_state == kAppearing) {
    StopTimer(kFadeInTimer);
    OnTimer(kHideTimer);
  } else if (m_state == kShown) {
    OnTimer(kHideTimer);
  }
}

void CPPToolTip::ForgetCurrent() {
  m_currentWindow = nullptr;
  m_current.rect = RECT{};
}

void CPPToolTip::HideAll() {
  m_state = kHidden;
  for (UINT id = kShowTimer; id <= kFadeOutTimer; ++id) StopTimer(id);
  if (IsVisible()) {
    if (m_current.behaviour & kMultipleShow) ForgetCurrent();
    ShowWindow(m_window, SW_HIDE);
  }
}

void CPPToolTip::OnTimer(UINT id) {
  switch (id) {
    case kShowTimer: {
      StopTimer(kShowTimer);
      const POINT cursor = m_cursorQuery ? m_cursorQuery() : m_lastPoint;
      const bool still = cursor.x == m_lastPoint.x && cursor.y == m_lastPoint.y;
      if (still && m_state == kHidden) {
        m_state = kAppearing;
        if (!ShowPending()) {
          m_state = kHidden;  // nothing to show
          return;
        }
        if (m_fadeInOn && m_fadeInDelay) {
          StartTimer(kFadeInTimer, m_fadeInDelay);
        } else {
          m_state = kShown;
          StartAutoHide();
        }
      } else if (!still && (m_state == kAppearing || m_state == kShown)) {
        BeginHide();
      }
      break;
    }
    case kHideTimer:
      StopTimer(kShowTimer);
      StopTimer(kFadeInTimer);
      StopTimer(kHideTimer);
      if (m_state == kDisappearing) return;
      m_state = kDisappearing;
      if (m_fadeOutOn && m_fadeOutDelay) {
        StartTimer(kFadeOutTimer, m_fadeOutDelay);
      } else {
        m_transparency = 100;
        OnTimer(kFadeOutTimer);
      }
      break;
    case kFadeInTimer:
      m_transparency = std::max(0, m_transparency - 20);
      if (m_transparency <= m_current.transparency) {
        m_transparency = m_current.transparency;
        StopTimer(kFadeInTimer);
        m_state = kShown;
        StartAutoHide();
      }
      DrawOnWindow(m_transparency);
      break;
    case kFadeOutTimer:
      m_transparency = m_transparency >= 80 ? 100 : m_transparency + 20;
      if (m_transparency < 100) {
        DrawOnWindow(m_transparency);
        return;
      }
      StopTimer(kFadeOutTimer);
      if (m_current.behaviour & kMultipleShow) ForgetCurrent();
      if (m_window) ShowWindow(m_window, SW_HIDE);
      m_state = kHidden;
      if (m_showQueued) {
        m_showQueued = false;
        if (m_queuedWithDelay)
          StartTimer(kShowTimer, m_initialDelay);
        else
          OnTimer(kShowTimer);
      }
      break;
    case kAnimationTimer:
      if (IsVisible() && m_state == kShown && m_drawer.OnTimer()) DrawOnWindow(m_transparency);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------
// Showing and drawing

bool CPPToolTip::ShowPending() {
  if (!m_window) return false;
  Tool tool = m_pending;
  if (!(tool.mask & kMaskValue)) tool.value = m_defaults.value;
  if (!(tool.mask & kMaskEffect)) {
    tool.effect = m_defaults.effect;
    tool.granularity = m_defaults.granularity;
  }
  if (!(tool.mask & kMaskColours)) {
    tool.colour1 = m_defaults.colour1;
    tool.colour2 = m_defaults.colour2;
    tool.colour3 = m_defaults.colour3;
  }
  if (!(tool.mask & kMaskDirection)) tool.direction = m_defaults.direction;
  if (!(tool.mask & kMaskBehaviour)) tool.behaviour = m_defaults.behaviour;
  if (!(tool.mask & kMaskTransparency)) tool.transparency = m_defaults.transparency;
  tool.transparency = static_cast<BYTE>(std::min<int>(tool.transparency, 100));

  POINT cursor = m_lastPoint;
  if (m_notify && IsWindow(m_notify)) {
    NM_PPTOOLTIP_DISPLAY request = {};
    request.hdr.hwndFrom = m_window;
    request.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(m_window));
    request.hdr.code = kTextRequest;
    request.tool_window = m_pendingWindow;
    request.point = &cursor;
    request.tool = &tool;
    SendMessageW(m_notify, WM_NOTIFY, request.hdr.idFrom, reinterpret_cast<LPARAM>(&request));
  }
  if (tool.text.empty() || !m_window) return false;

  HDC window_dc = GetDC(m_window);
  if (!window_dc) return false;
  const SIZE text = m_drawer.PrepareOutput(window_dc, tool.text);
  const SIZE body = {text.cx + 2 * m_marginX, text.cy + 2 * m_marginY};
  const RECT screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                       GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                       GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  m_placement = Place(cursor, body, tool.direction, screen, m_anchorWidth, m_anchorHeight, m_anchorOffset);
  const RECT& b = m_placement.body;
  m_content = RECT{b.left + m_marginX, b.top + m_marginY, b.left + m_marginX + text.cx, b.top + m_marginY + text.cy};
  m_size = SIZE{m_placement.window.right - m_placement.window.left, m_placement.window.bottom - m_placement.window.top};
  if (!IsSaneBitmapSize(m_size.cx + m_shadowDx, m_size.cy + m_shadowDy)) {
    ReleaseDC(m_window, window_dc);
    return false;
  }

  m_region.reset(CreateRoundRectRgn(b.left, b.top, b.right + 1, b.bottom + 1, m_cornerX, m_cornerY));
  if (m_anchorWidth && m_anchorHeight && m_region) {
    Region triangle(CreatePolygonRgn(m_placement.triangle, 3, WINDING));
    if (triangle) CombineRgn(m_region.get(), m_region.get(), triangle.get(), RGN_OR);
  }

  // The background: the fill effect over the body, the pointer's strip filled by repeating the
  // body's pixels next to it.
  m_background.reset(CreateCompatibleBitmap(window_dc, m_size.cx, m_size.cy));
  {
    MemoryDC memory(CreateCompatibleDC(window_dc));
    Selection selected(memory.get(), m_background.get());
    CPPDrawManager& manager = m_drawer.GetDrawManager();
    manager.FillEffect(memory.get(), b, tool.effect, tool.colour1, tool.colour2, tool.colour3, tool.granularity, 5);
    const int side = m_placement.direction & 0x30;
    if (side == kTopEdge)
      manager.TileBitmap(memory.get(), 0, 0, m_size.cx, b.top, memory.get(), 0, b.top + 1, m_size.cx, 1);
    if (side == kBottomEdge)
      manager.TileBitmap(memory.get(), 0, b.bottom, m_size.cx, m_size.cy - b.bottom, memory.get(), 0, b.bottom - 1,
                         m_size.cx, 1);
    if (side == kLeftEdge)
      manager.TileBitmap(memory.get(), 0, 0, b.left, m_size.cy, memory.get(), b.left + 1, 0, 1, m_size.cy);
    if (side == kRightEdge)
      manager.TileBitmap(memory.get(), b.right, 0, m_size.cx - b.right, m_size.cy, memory.get(), b.right - 1, 0, 1,
                         m_size.cy);
  }
  m_transparency = m_fadeInOn && m_fadeInDelay ? 100 : tool.transparency;

  // What lies under the tip is read from the screen before the tip is shown: once shown, its
  // own pixels are all a window DC can give (and nothing at all on a composited desktop).
  const int full_x = m_size.cx + m_shadowDx, full_y = m_size.cy + m_shadowDy;
  {
    HDC screen_dc = GetDC(nullptr);
    m_savedScreen.reset(CreateCompatibleBitmap(window_dc, full_x, full_y));
    MemoryDC memory(CreateCompatibleDC(window_dc));
    Selection selected(memory.get(), m_savedScreen.get());
    if (screen_dc)
      BitBlt(memory.get(), 0, 0, full_x, full_y, screen_dc, m_placement.window.left, m_placement.window.top, SRCCOPY);
    if (screen_dc) ReleaseDC(nullptr, screen_dc);
  }
  ReleaseDC(m_window, window_dc);

  // The window's region: the tip, and with a shadow the tip moved by the shadow offset too.
  Region window_region(CreateRectRgn(0, 0, 0, 0));
  if (window_region && m_region) {
    CombineRgn(window_region.get(), m_region.get(), nullptr, RGN_COPY);
    if (m_shadowDx || m_shadowDy) {
      Region shadow(CreateRectRgn(0, 0, 0, 0));
      if (shadow) {
        CombineRgn(shadow.get(), m_region.get(), nullptr, RGN_COPY);
        OffsetRgn(shadow.get(), m_shadowDx, m_shadowDy);
        CombineRgn(window_region.get(), window_region.get(), shadow.get(), RGN_OR);
      }
    }
    if (SetWindowRgn(m_window, window_region.get(), FALSE)) window_region.release();  // the system owns it now
  }
  m_currentWindow = m_pendingWindow;
  m_current = tool;
  SetWindowPos(m_window, HWND_TOPMOST, m_placement.window.left, m_placement.window.top, full_x, full_y,
               SWP_NOACTIVATE | SWP_SHOWWINDOW);
  DrawOnWindow(m_transparency);
  return true;
}

void CPPToolTip::DrawOnWindow(int transparency) {
  if (!m_window) return;
  HDC dc = GetDC(m_window);
  if (!dc) return;
  Draw(dc, transparency);
  ReleaseDC(m_window, dc);
}

void CPPToolTip::Draw(HDC dc, int transparency) {
  if (!m_background || !m_savedScreen || !m_region) return;
  transparency = std::clamp(transparency, 0, 100);
  const int full_x = m_size.cx + m_shadowDx, full_y = m_size.cy + m_shadowDy;
  // The tip image: background, text, border.
  MemoryDC tip(CreateCompatibleDC(dc));
  Bitmap tip_bitmap(CreateCompatibleBitmap(dc, m_size.cx, m_size.cy));
  MemoryDC source(CreateCompatibleDC(dc));
  if (!tip || !tip_bitmap || !source) return;
  Selection tip_selected(tip.get(), tip_bitmap.get());
  {
    Selection background_selected(source.get(), m_background.get());
    BitBlt(tip.get(), 0, 0, m_size.cx, m_size.cy, source.get(), 0, 0, SRCCOPY);
  }
  m_drawer.DrawPreparedOutput(tip.get(), m_content);
  OnDrawBorder(tip.get(), m_region.get());

  // The composition: the saved screen, darkened by the shadow, with the tip blended on.
  MemoryDC composition(CreateCompatibleDC(dc));
  Bitmap composition_bitmap(CreateCompatibleBitmap(dc, full_x, full_y));
  if (!composition || !composition_bitmap) return;
  Selection composition_selected(composition.get(), composition_bitmap.get());
  {
    Selection saved_selected(source.get(), m_savedScreen.get());
    BitBlt(composition.get(), 0, 0, full_x, full_y, source.get(), 0, 0, SRCCOPY);
  }
  if (m_shadowDx || m_shadowDy) {
    const int c = MulDiv(255, 100 - m_shadowDarkness, 100);
    const int grey = c + (255 - c) * transparency / 100;
    Bitmap mask(CreateCompatibleBitmap(dc, m_size.cx, m_size.cy));
    if (mask) {
      {
        Selection mask_selected(source.get(), mask.get());
        RECT all = {0, 0, m_size.cx, m_size.cy};
        FillRect(source.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        Brush shade(CreateSolidBrush(RGB(grey, grey, grey)));
        FillRgn(source.get(), m_region.get(), shade.get());
      }
      m_drawer.GetDrawManager().DrawShadow(composition.get(), m_shadowDx, m_shadowDy, m_size.cx, m_size.cy, mask.get(),
                                           m_shadowBlurred, m_shadowBlurX, m_shadowBlurY);
    }
  }
  SelectClipRgn(composition.get(), m_region.get());
  m_drawer.GetDrawManager().AlphaBitBlt(tip.get(), composition.get(), 0, 0, m_size.cx, m_size.cy, 100 - transparency);
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
  if (!self || !self->m_window) return DefWindowProcW(window, message, wparam, lparam);
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
      HDC dc = BeginPaint(m_window, &paint);
      if (dc) Draw(dc, m_transparency);
      EndPaint(m_window, &paint);
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
      ScreenToClient(m_window, &point);
      if (!m_drawer.OnSetCursor(point)) SetCursor(LoadCursorW(nullptr, IDC_ARROW));
      return TRUE;
    }
    case WM_ACTIVATEAPP: {
      const LRESULT result = DefWindowProcW(m_window, message, wparam, lparam);
      if (!wparam) HideAll();
      return result;
    }
    case kRedrawRequest:
      if (m_redrawOnRequest) DrawOnWindow(0);
      return 1;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    default:
      return DefWindowProcW(m_window, message, wparam, lparam);
  }
}
