#include "UsageHint.h"

#include <UniqueHandle.h>

#include "resource.h"

IMPLEMENT_DYNAMIC(CUseHintDlg, CDialog)

BEGIN_MESSAGE_MAP(CUseHintDlg, CDialog)
  ON_WM_PAINT()
  ON_WM_ERASEBKGND()
  ON_BN_CLICKED(IDC_HINT_CLOSE_LINK, &CUseHintDlg::OnCloseLink)
  ON_BN_CLICKED(IDC_HINT_ACTION, &CUseHintDlg::OnActionLink)
  ON_WM_TIMER()
  ON_WM_WINDOWPOSCHANGED()
  ON_WM_DESTROY()
END_MESSAGE_MAP()

CUseHintDlg::CUseHintDlg()
    : CDialog(IDD_USE_HINT), m_painter(draw_helpers::SkinBackgroundPainter::kRedrawEveryPaint, this, &m_memory) {}

CUseHintDlg::~CUseHintDlg() {
  if (m_hWnd) DestroyWindow();
}

BOOL CUseHintDlg::CreateByType(int type, CWnd* parent) {
  if (type != 1) return FALSE;
  if (!Create(IDD_USE_HINT, parent)) return FALSE;
  m_nType = type;
  return TRUE;
}

BOOL CUseHintDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // Never take the focus from the application whose text the user is about to read.
  ModifyStyleEx(0, WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW);
  m_painter.SetDrawCallback([this](CDC& dc) { PaintBackground(dc); });
  if (m_text.SubclassDlgItem(IDC_HINT_TEXT, this)) {
    m_text.m_bLinkLook = false;
    m_text.m_bFitToText = true;
    m_text.m_nMaxLines = 2;
    m_text.SetUp();
    m_painter.Register(&m_text);
  }
  if (m_closeLink.SubclassDlgItem(IDC_HINT_CLOSE_LINK, this)) {
    m_closeLink.m_nTextAlign = 2;
    m_closeLink.SetUp();
    m_painter.Register(&m_closeLink);
  }
  if (::GetDlgItem(m_hWnd, IDC_HINT_ACTION) && !m_bActionAttached) {
    if (m_actionLink.SubclassDlgItem(IDC_HINT_ACTION, this)) {
      m_bActionAttached = true;
      m_actionLink.SetUp();
      m_painter.Register(&m_actionLink);
    }
  } else {
    m_painter.Unregister(&m_actionLink);
  }
  CRect window;
  GetWindowRect(&window);
  win::UniqueRegion region(::CreateRoundRectRgn(0, 0, window.Width() + 1, window.Height() + 1, 8, 8));
  // The window owns the region once it is set.
  if (region && ::SetWindowRgn(m_hWnd, region.get(), FALSE)) region.release();
  // FALSE: the dialog manager would otherwise focus a control, which activates the popup and
  // takes the focus from the application whose text is to be read.
  return FALSE;
}

void CUseHintDlg::PaintBackground(CDC& dc) {
  CRect client;
  GetClientRect(&client);
  dc.FillSolidRect(&client, kBackground);
  const win::UniqueRegion region(::CreateRectRgn(0, 0, 0, 0));
  if (!region) return;
  if (::GetWindowRgn(m_hWnd, region.get()) != ERROR) {
    const win::UniqueBrush outline(::CreateSolidBrush(kOutline));
    if (outline) ::FrameRgn(dc.m_hDC, region.get(), outline.get(), 1, 1);
  }
}

void CUseHintDlg::OnPaint() {
  CPaintDC dc(this);
  CRect client;
  GetClientRect(&client);
  m_painter.Paint(&dc, nullptr, nullptr, client.Width(), client.Height());
}

BOOL CUseHintDlg::OnEraseBkgnd(CDC*) { return TRUE; }  // the paint covers everything

void CUseHintDlg::OnCloseLink() {
  if (m_nAlpha != 0) StartFadeOut();
}

void CUseHintDlg::OnActionLink() {
  if (m_action) m_action();
}

void CUseHintDlg::StartFadeOut() {
  if (!m_hWnd) return;
  KillTimer(TIMER_HINT_FADEIN);
  m_nAlpha = 255;
  m_bFadingOut = true;
  SetTimer(TIMER_HINT_FADEOUT, m_nFadeOutPeriod, nullptr);
}

void CUseHintDlg::ApplyAlpha() {
  if (m_nAlpha < 0) m_nAlpha = 0;
  if (m_nAlpha > 255) m_nAlpha = 255;
  SetLayeredAlpha(m_hWnd, m_nAlpha);
}

void CUseHintDlg::OnTimer(UINT_PTR nIDEvent) {
  switch (nIDEvent) {
    case TIMER_HINT_FADEOUT:
      ApplyAlpha();
      if (m_nAlpha < 26) {
        DestroyWindow();
        return;
      }
      m_nAlpha -= kFadeStep;
      break;
    case TIMER_HINT_FADEIN:
      ApplyAlpha();
      if (m_nAlpha < 255)
        m_nAlpha += kFadeStep;
      else
        KillTimer(TIMER_HINT_FADEIN);
      break;
    case TIMER_HINT_AUTOHIDE:
      KillTimer(TIMER_HINT_AUTOHIDE);
      if (m_nAlpha != 0) StartFadeOut();
      break;
    default:
      break;
  }
  CDialog::OnTimer(nIDEvent);
}

void CUseHintDlg::OnWindowPosChanged(WINDOWPOS* lpwndpos) {
  CDialog::OnWindowPosChanged(lpwndpos);
  if (lpwndpos && (lpwndpos->flags & SWP_SHOWWINDOW)) ApplyAlpha();
}

void CUseHintDlg::OnDestroy() {
  KillTimer(TIMER_HINT_FADEIN);
  KillTimer(TIMER_HINT_FADEOUT);
  KillTimer(TIMER_HINT_AUTOHIDE);
  m_nType = 0;
  m_bFadingOut = false;
  m_nAlpha = 0;
  if (m_bActionAttached) {
    m_painter.Unregister(&m_actionLink);
    m_actionLink.UnsubclassWindow();
    m_bActionAttached = false;
  }
  m_painter.Unregister(&m_text);
  m_painter.Unregister(&m_closeLink);
  CDialog::OnDestroy();
}

void CUseHintDlg::ShowBelow(CWnd* owner, UINT autoHideMs) {
  if (!m_hWnd && !CreateByType(1, nullptr)) return;
  UINT flags = SWP_NOSIZE | SWP_NOACTIVATE;
  CRect ownerRect;
  if (owner && owner->m_hWnd)
    owner->GetWindowRect(&ownerRect);
  else
    flags |= SWP_NOMOVE;
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, ownerRect.left, ownerRect.bottom, 0, 0, flags);
  // Shown without activation: the focus stays in the application whose text is read.
  if (!::IsWindowVisible(m_hWnd)) ::ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
  // A running fade-out starts at 255, so the alpha alone cannot tell that the hint is leaving.
  if (m_nAlpha != 255 || m_bFadingOut) {
    KillTimer(TIMER_HINT_FADEOUT);
    m_bFadingOut = false;
    m_nAlpha = 0;
    SetTimer(TIMER_HINT_FADEIN, m_nFadeInPeriod, nullptr);
  }
  if (autoHideMs != 0) SetTimer(TIMER_HINT_AUTOHIDE, autoHideMs, nullptr);
}

void CUseHintDlg::Hide() {
  if (m_hWnd && m_nAlpha != 0) StartFadeOut();
}

void CUseHintDlg::FollowOwner(CWnd* owner) {
  if (!m_hWnd || !owner || !owner->m_hWnd || !::IsWindowVisible(m_hWnd)) return;
  CRect ownerRect;
  owner->GetWindowRect(&ownerRect);
  ::SetWindowPos(m_hWnd, nullptr, ownerRect.left, ownerRect.bottom, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CUseHintDlg::SetLayeredAlpha(HWND window, int alpha) {
  using SetAttributes = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
  // Looked up once: older systems have no layered windows, and then the hint simply shows.
  static const SetAttributes setAttributes = [] {
    HMODULE user32 = ::GetModuleHandleW(L"user32");
    return user32 ? reinterpret_cast<SetAttributes>(
                        reinterpret_cast<void*>(::GetProcAddress(user32, "SetLayeredWindowAttributes")))
                  : nullptr;
  }();
  if (!setAttributes || !window) return false;
  const LONG exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
  ::SetLastError(0);
  if (!::SetWindowLongW(window, GWL_EXSTYLE, exStyle | WS_EX_LAYERED) && ::GetLastError() != 0) return false;
  return setAttributes(window, RGB(255, 255, 255), static_cast<BYTE>(alpha), LWA_COLORKEY | LWA_ALPHA) != FALSE;
}
