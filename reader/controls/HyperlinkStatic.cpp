#include "HyperlinkStatic.h"

IMPLEMENT_DYNAMIC(CHyperlinkStatic, CStatic)

BEGIN_MESSAGE_MAP(CHyperlinkStatic, CStatic)
  ON_WM_MOUSEMOVE()
  ON_WM_MOUSELEAVE()
  ON_WM_SETCURSOR()
  ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CHyperlinkStatic::~CHyperlinkStatic() { m_tooltip.Destroy(); }

void CHyperlinkStatic::SetUp() {
  if (!m_hWnd) return;
  if (!m_bFontsMade) {
    HFONT font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
    if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW logFont{};
    if (GetObjectW(font, sizeof(logFont), &logFont)) {
      m_fontNormal.CreateFontIndirect(&logFont);
      logFont.lfUnderline = TRUE;
      m_fontUnderlined.CreateFontIndirect(&logFont);
      m_bFontsMade = m_fontNormal.m_hObject && m_fontUnderlined.m_hObject;
    }
  }
  // The static's type is a value in the low bits, not a flag: SS_OWNERDRAW OR-ed into a
  // right-aligned static would make an enhanced-metafile static.
  const DWORD style = GetStyle();
  if ((style & SS_TYPEMASK) != SS_OWNERDRAW) {
    SetWindowLongW(m_hWnd, GWL_STYLE, static_cast<LONG>((style & ~static_cast<DWORD>(SS_TYPEMASK)) | SS_OWNERDRAW));
    Invalidate(FALSE);
  }
  if (m_bLinkLook) {
    m_bUnderlineOnHover = false;
    if (m_bFontsMade) m_pCurrentFont = &m_fontUnderlined;
  }
  if (m_bFitToText) FitToText();
  m_tooltip.Defer([this](CToolTipCtrl& tooltip) { tooltip.Create(this, TTS_ALWAYSTIP); });
}

void CHyperlinkStatic::FitToText() {
  CClientDC dc(this);
  HGDIOBJ oldFont = nullptr;
  HFONT font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
  if (font) oldFont = dc.SelectObject(font);
  CRect client;
  GetClientRect(&client);
  CRect line(0, 0, client.Width(), 0);
  dc.DrawText(L"one line", -1, &line, DT_CALCRECT);
  CString text;
  GetWindowText(text);
  CRect all(0, 0, client.Width(), 0);
  dc.DrawText(text, &all, DT_CALCRECT | DT_WORDBREAK);
  if (oldFont) dc.SelectObject(oldFont);

  const int lineHeight = line.Height();
  if (lineHeight <= 0) return;
  int height = all.Height();
  if (m_nMaxLines * lineHeight < height) {
    m_nLineCount = m_nMaxLines;
    height = m_nMaxLines * lineHeight;
  } else {
    m_nLineCount = height / lineHeight;
  }
  SetWindowPos(nullptr, 0, 0, client.Width(), height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

UINT CHyperlinkStatic::DrawFormat() const {
  UINT format = m_nTextAlign & 3;
  if (m_bFitToText) format |= DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS;
  return format;
}

void CHyperlinkStatic::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) {
  if (!lpDrawItemStruct) return;
  CDC* dc = CDC::FromHandle(lpDrawItemStruct->hDC);
  const int saved = dc->SaveDC();
  const CRect item(lpDrawItemStruct->rcItem);
  m_background.CopyTo(*dc, item.left, item.top, item.Width(), item.Height());
  if (m_pCurrentFont) dc->SelectObject(m_pCurrentFont);
  dc->SetBkMode(TRANSPARENT);
  CString text;
  GetWindowText(text);
  CRect client;
  GetClientRect(&client);
  const UINT format = DrawFormat();
  if (!IsWindowEnabled()) {
    CRect shadow = client;
    shadow.OffsetRect(1, 1);
    dc->SetTextColor(RGB(255, 255, 255));
    dc->DrawText(text, &shadow, format);
    dc->SetTextColor(GetSysColor(COLOR_GRAYTEXT));
  } else if (m_bLinkLook) {
    dc->SetTextColor(m_crLink);
  }
  dc->DrawText(text, &client, format);
  dc->RestoreDC(saved);
}

BOOL CHyperlinkStatic::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (m_background.HandleMessage(message, wParam, lParam, pResult)) return TRUE;
  return CStatic::OnWndMsg(message, wParam, lParam, pResult);
}

void CHyperlinkStatic::OnMouseMove(UINT, CPoint) {
  if (!m_bHovering) {
    m_bHovering = true;
    TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, m_hWnd, 0};
    TrackMouseEvent(&track);
    if (m_bUnderlineOnHover && m_bLinkLook && m_bFontsMade) {
      m_pCurrentFont = &m_fontUnderlined;
      Invalidate(FALSE);
    }
  }
  Default();
}

void CHyperlinkStatic::OnMouseLeave() {
  m_bHovering = false;
  if (m_bUnderlineOnHover && m_bLinkLook && m_bFontsMade) {
    m_pCurrentFont = &m_fontNormal;
    Invalidate(FALSE);
  }
}

BOOL CHyperlinkStatic::OnSetCursor(CWnd*, UINT, UINT) {
  if (m_bLinkLook) {
    ::SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return TRUE;
  }
  return static_cast<BOOL>(Default());
}

BOOL CHyperlinkStatic::OnEraseBkgnd(CDC*) { return TRUE; }

BOOL CHyperlinkStatic::PreTranslateMessage(MSG* pMsg) {
  if (pMsg && (m_tooltip.MakeOnMouse(pMsg) || m_tooltip.Control().m_hWnd)) m_tooltip.Control().RelayEvent(pMsg);
  return CStatic::PreTranslateMessage(pMsg);
}
