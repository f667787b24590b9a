#include "SkinButton.h"

#include "ControlTooltips.h"

namespace draw_helpers {

const DrawList& CDrawButtonSkin::ForState(int state) const {
  if (state < 0 || state >= kButtonStateCount) return lists[BUTTON_NORMAL];
  const DrawList& list = lists[static_cast<size_t>(state)];
  if (list.empty() || !list.front()) return lists[BUTTON_NORMAL];
  return list;
}

}  // namespace draw_helpers

namespace {

// The owner-draw bits of a button style; a style with any of them set is drawn by the button.
constexpr DWORD kOwnerDrawBits = 0x0B;

// The last point relayed to a tooltip by any skinned button.
POINT g_lastRelayedPoint = {0, 0};

}  // namespace

IMPLEMENT_DYNAMIC(CSkinButton, CButton)

BEGIN_MESSAGE_MAP(CSkinButton, CButton)
  ON_WM_MOUSEMOVE()
  ON_WM_MOUSELEAVE()
  ON_WM_LBUTTONUP()
  ON_WM_LBUTTONDBLCLK()
  ON_WM_ERASEBKGND()
  ON_WM_TIMER()
END_MESSAGE_MAP()

CSkinButton::CSkinButton() : m_painter(draw_helpers::SkinBackgroundPainter::kRedrawEveryPaint, this, &m_memory) {}

CSkinButton::~CSkinButton() { m_tooltip.Destroy(); }

void CSkinButton::SetSkin(Gdiplus::Image* image, int rows, bool resize, int width, int height, const CRect& source) {
  using namespace draw_helpers;
  if (resize && m_hWnd) SetWindowPos(nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  m_skin.Clear();
  m_busyAnimation = nullptr;  // it lived in the busy list
  const CPoint at((width - source.Width()) / 2, (height - source.Height()) / 2);
  CRect row = source;
  AddDraw(m_skin.lists, BUTTON_NORMAL, std::make_shared<CDrawImageArea>(image, row, at));
  if (rows == 0) return;
  for (int state : {BUTTON_PRESSED, BUTTON_HOT}) {
    row.OffsetRect(0, source.Height());
    AddDraw(m_skin.lists, state, std::make_shared<CDrawImageArea>(image, row, at));
  }
  if (rows == 2) return;
  row.OffsetRect(0, source.Height());
  AddDraw(m_skin.lists, BUTTON_DISABLED, std::make_shared<CDrawImageArea>(image, row, at));
}

void CSkinButton::SetBusyAnimation(std::shared_ptr<draw_helpers::CImageAnimation2> animation) {
  m_busyAnimation = animation.get();
  if (animation) draw_helpers::AddDraw(m_skin.lists, draw_helpers::BUTTON_BUSY, std::move(animation));
}

bool CSkinButton::SetBusy(bool on) {
  if (!m_busyAnimation) return false;
  if (on == m_busy) return true;
  m_busy = on;
  if (on) {
    SetTimer(TIMER_BUTTON_ANIMATION, m_busyAnimation->GetFramePeriod(), nullptr);
  } else {
    KillTimer(TIMER_BUTTON_ANIMATION);
    Invalidate(FALSE);
  }
  return true;
}

void CSkinButton::SetTooltip(LPCTSTR text) {
  orv_controls::SetDescriptionTooltip(m_tooltip, this, TOOL_ID, text, true);
}

int CSkinButton::StateFor(UINT itemState) const {
  using namespace draw_helpers;
  if (!IsWindowEnabled()) return BUTTON_DISABLED;
  if (m_busy) return BUTTON_BUSY;
  if (!m_hovering) return (itemState & ODS_FOCUS) ? BUTTON_HOT : BUTTON_NORMAL;
  return (itemState & ODS_SELECTED) ? BUTTON_PRESSED : BUTTON_HOT;
}

void CSkinButton::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) {
  if (!lpDrawItemStruct) return;
  const draw_helpers::DrawList& normal = m_skin.lists[draw_helpers::BUTTON_NORMAL];
  if (normal.empty() || !normal.front()) {
    // Nothing to draw from: the button draws itself as a plain push button from now on.
    SendMessage(BM_SETSTYLE, GetStyle() & 0xFFFF & ~kOwnerDrawBits, TRUE);
    return;
  }
  const draw_helpers::DrawList& list = m_skin.ForState(StateFor(lpDrawItemStruct->itemState));
  CDC* dc = CDC::FromHandle(lpDrawItemStruct->hDC);
  const CRect item(lpDrawItemStruct->rcItem);
  m_painter.Paint(
      dc,
      [&list](CDC& memory) {
        Gdiplus::Graphics graphics(memory.m_hDC);
        for (const draw_helpers::DrawPtr& draw : list)
          if (draw) draw->Draw(&graphics);
      },
      nullptr, item.Width(), item.Height());
  // Without the keyboard cues (the window's UI state hides the focus) there is no rectangle.
  const bool cues =
      !(lpDrawItemStruct->itemState & ODS_NOFOCUSRECT) && !(SendMessage(WM_QUERYUISTATE) & UISF_HIDEFOCUS);
  if ((lpDrawItemStruct->itemState & ODS_FOCUS) && cues) dc->DrawFocusRect(&item);
}

BOOL CSkinButton::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_ENABLE) {
    // The skin shows the state: enabling redraws the face.
    Default();
    Invalidate(FALSE);
    if (pResult) *pResult = TRUE;
    return TRUE;
  }
  if (message == WM_LBUTTONDOWN) {
    if (m_tooltip.Control().m_hWnd) m_tooltip.Control().Pop();
    m_released = false;
    LRESULT r = Default();
    // The window the clicks are forwarded to answers for the button.
    if (m_clickForward && m_clickForward->m_hWnd) r = m_clickForward->SendMessage(WM_LBUTTONDOWN, wParam, lParam);
    if (pResult) *pResult = r;
    return TRUE;
  }
  if (m_painter.HandleMessage(message, wParam, lParam, pResult)) return TRUE;
  return CButton::OnWndMsg(message, wParam, lParam, pResult);
}

void CSkinButton::OnMouseMove(UINT, CPoint) {
  if (!m_hovering) {
    m_hovering = true;
    TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, m_hWnd, 0};
    TrackMouseEvent(&track);
    Invalidate(FALSE);
  }
  Default();
}

void CSkinButton::OnMouseLeave() {
  m_hovering = false;
  Invalidate(FALSE);
}

void CSkinButton::OnLButtonUp(UINT, CPoint) {
  m_released = true;
  Default();
}

void CSkinButton::OnLButtonDblClk(UINT nFlags, CPoint point) {
  // A fast second click is still a click: press again, then let the double click go on.
  if (!m_hovering) return;
  SendMessage(WM_LBUTTONDOWN, nFlags, MAKELPARAM(point.x, point.y));
  Default();
}

BOOL CSkinButton::OnEraseBkgnd(CDC*) {
  if (GetStyle() & kOwnerDrawBits) return TRUE;  // the face covers everything
  return static_cast<BOOL>(Default());
}

void CSkinButton::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == TIMER_BUTTON_ANIMATION && m_busyAnimation) {
    SetTimer(TIMER_BUTTON_ANIMATION, m_busyAnimation->GetFramePeriod(), nullptr);
    m_busyAnimation->NextFrame();
    Invalidate(FALSE);
    return;
  }
  Default();
}

BOOL CSkinButton::PreTranslateMessage(MSG* pMsg) {
  if (!pMsg) return FALSE;
  if (pMsg->message == WM_MOUSEMOVE) {
    orv_controls::RelayMouseMove(m_tooltip, pMsg, g_lastRelayedPoint);
  } else if (pMsg->message == WM_KEYUP && pMsg->wParam == VK_RETURN && pMsg->hwnd == m_hWnd) {
    const WPARAM command = MAKEWPARAM(GetDlgCtrlID(), 0);
    CWnd* parent = GetParent();
    CWnd* mainWnd = AfxGetMainWnd();
    LRESULT handled = 0;
    // The main window answers first; when it is the parent itself, once is enough.
    if (mainWnd && mainWnd->m_hWnd && (!parent || mainWnd->m_hWnd != parent->m_hWnd))
      handled = mainWnd->SendMessage(WM_COMMAND, command, 0);
    if (handled == 0 && parent && parent->m_hWnd) parent->SendMessage(WM_COMMAND, command, 0);
    return TRUE;
  }
  return CButton::PreTranslateMessage(pMsg);
}
