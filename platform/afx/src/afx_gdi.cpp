// Device contexts and GDI objects of the layer.
#include "afxwin.h"

#include <memory>
#include <unordered_map>

namespace {

// FromHandle's temporary DC wrappers of this thread. Only a pointer is thread_local (see
// ThreadState for why nothing thread_local may have a destructor); the map is freed by
// CDC::DeleteTempMap at idle time and at thread end.
using DcTempMap = std::unordered_map<HDC, std::unique_ptr<CDC>>;
thread_local DcTempMap* t_dcTempMap = nullptr;

}  // namespace

IMPLEMENT_DYNAMIC(CGdiObject, CObject)
IMPLEMENT_DYNAMIC(CBitmap, CGdiObject)
IMPLEMENT_DYNAMIC(CFont, CGdiObject)
IMPLEMENT_DYNAMIC(CBrush, CGdiObject)
IMPLEMENT_DYNAMIC(CRgn, CGdiObject)
IMPLEMENT_DYNAMIC(CDC, CObject)
IMPLEMENT_DYNAMIC(CPaintDC, CDC)
IMPLEMENT_DYNAMIC(CClientDC, CDC)

// ---------------------------------------------------------------------------------------------
BOOL CGdiObject::Attach(HGDIOBJ hObject) {
  if (!hObject || m_hObject) return FALSE;
  m_hObject = hObject;
  return TRUE;
}

BOOL CGdiObject::DeleteObject() {
  if (!m_hObject) return FALSE;
  const BOOL ok = ::DeleteObject(m_hObject);
  m_hObject = nullptr;
  return ok;
}

BOOL CFont::CreateFontIndirect(const LOGFONTW* lpLogFont) {
  return lpLogFont ? Attach(::CreateFontIndirectW(lpLogFont)) : FALSE;
}

BOOL CBrush::CreateSolidBrush(COLORREF crColor) { return Attach(::CreateSolidBrush(crColor)); }

// ---------------------------------------------------------------------------------------------
CDC::~CDC() {
  if (!m_bTemporary) DeleteDC();
}

CDC* PASCAL CDC::FromHandle(HDC hDC) {
  if (!hDC) return nullptr;
  if (!t_dcTempMap) t_dcTempMap = new DcTempMap;
  auto it = t_dcTempMap->find(hDC);
  if (it != t_dcTempMap->end()) return it->second.get();
  auto wrapper = std::make_unique<CDC>();
  wrapper->m_hDC = hDC;
  wrapper->m_bTemporary = true;
  CDC* p = wrapper.get();
  t_dcTempMap->emplace(hDC, std::move(wrapper));
  return p;
}

void PASCAL CDC::DeleteTempMap() {
  delete t_dcTempMap;
  t_dcTempMap = nullptr;
}

BOOL CDC::Attach(HDC hDC) {
  if (!hDC || m_hDC) return FALSE;
  m_hDC = hDC;
  return TRUE;
}

HDC CDC::Detach() {
  HDC h = m_hDC;
  m_hDC = nullptr;
  return h;
}

BOOL CDC::CreateCompatibleDC(CDC* pDC) {
  if (m_hDC) return FALSE;
  return Attach(::CreateCompatibleDC(pDC ? pDC->m_hDC : nullptr));
}

BOOL CDC::DeleteDC() {
  if (!m_hDC) return FALSE;
  const BOOL ok = ::DeleteDC(m_hDC);
  m_hDC = nullptr;
  return ok;
}

void CDC::FillSolidRect(LPCRECT lpRect, COLORREF clr) {
  if (!lpRect) return;
  // ExtTextOut with an opaque rectangle fills without a brush, and leaves the DC's colour as it
  // found it.
  const COLORREF old = ::SetBkColor(m_hDC, clr);
  ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, lpRect, nullptr, 0, nullptr);
  ::SetBkColor(m_hDC, old);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF clr) {
  const RECT r = {x, y, x + cx, y + cy};
  FillSolidRect(&r, clr);
}

CSize CDC::GetTextExtent(LPCTSTR lpszString, int nCount) const {
  SIZE size{};
  if (!::GetTextExtentPoint32W(m_hDC, lpszString, nCount, &size)) return CSize();
  return CSize(size);
}

// ---------------------------------------------------------------------------------------------
CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd ? pWnd->m_hWnd : nullptr) {
  if (m_hWnd) Attach(::BeginPaint(m_hWnd, &m_ps));
}

CPaintDC::~CPaintDC() {
  if (m_hWnd && m_hDC) ::EndPaint(m_hWnd, &m_ps);
  Detach();
}

CClientDC::CClientDC(CWnd* pWnd) : m_hWnd(pWnd ? pWnd->m_hWnd : nullptr) { Attach(::GetDC(m_hWnd)); }

CClientDC::~CClientDC() {
  if (m_hDC) ::ReleaseDC(m_hWnd, m_hDC);
  Detach();
}
