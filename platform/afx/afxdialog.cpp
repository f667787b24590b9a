// CDialog, dialog data exchange and the standard controls.
#include "afxwin.h"

#include <cerrno>
#include <climits>
#include <cwchar>
#include <cwctype>
#include <exception>

// ---------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, &CDialog::OnCommandOK)
  ON_COMMAND(IDCANCEL, &CDialog::OnCommandCancel)
END_MESSAGE_MAP()

CDialog::CDialog() = default;

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_lpszTemplateName(MAKEINTRESOURCE(nIDTemplate)), m_nIDHelp(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::CDialog(LPCTSTR lpszTemplateName, CWnd* pParentWnd)
    : m_lpszTemplateName(lpszTemplateName), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() {
  // A modeless dialog still up when its object goes: take the window down with it.
  if (m_hWnd && ::IsWindow(m_hWnd)) DestroyWindow();
}

namespace {

// The template resource and the module that holds it; null when missing.
LPCDLGTEMPLATE FindDialogTemplate(LPCTSTR name, HINSTANCE* pModule) {
  if (!name) return nullptr;
  HINSTANCE module = AfxFindResourceHandle(name, RT_DIALOG);
  HRSRC info = module ? ::FindResourceW(module, name, RT_DIALOG) : nullptr;
  if (!info) return nullptr;
  HGLOBAL loaded = ::LoadResource(module, info);
  if (!loaded) return nullptr;
  *pModule = module;
  return static_cast<LPCDLGTEMPLATE>(::LockResource(loaded));
}

HWND ParentHandle(const CWnd* pParentWnd) { return pParentWnd ? pParentWnd->m_hWnd : nullptr; }

}  // namespace

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  CDialog* pDialog = reinterpret_cast<CDialog*>(lParam);
  if (!pDialog) return FALSE;
  try {
    if (pDialog->m_hWnd != hWnd && !pDialog->SubclassWindow(hWnd)) return FALSE;
    return pDialog->OnInitDialog();
  } catch (...) {
    AfxReportCaughtException("CDialog::OnInitDialog");  // deletes a CException
  }
  return FALSE;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) { return Create(MAKEINTRESOURCE(nIDTemplate), pParentWnd); }

BOOL CDialog::Create(LPCTSTR lpszTemplateName, CWnd* pParentWnd) {
  m_lpszTemplateName = lpszTemplateName;
  if (IS_INTRESOURCE(lpszTemplateName)) m_nIDHelp = static_cast<UINT>(reinterpret_cast<UINT_PTR>(lpszTemplateName));
  HINSTANCE module = nullptr;
  LPCDLGTEMPLATE tmpl = FindDialogTemplate(lpszTemplateName, &module);
  if (!tmpl) return FALSE;
  m_pParentWnd = pParentWnd;
  m_bModal = false;
  HWND hWnd = ::CreateDialogIndirectParamW(module, tmpl, ParentHandle(pParentWnd), &CDialog::DialogProc,
                                           reinterpret_cast<LPARAM>(this));
  if (!hWnd) return FALSE;
  if (m_hWnd != hWnd) {  // WM_INITDIALOG could not attach the object
    ::DestroyWindow(hWnd);
    return FALSE;
  }
  return TRUE;
}

INT_PTR CDialog::DoModal() {
  HINSTANCE module = nullptr;
  LPCDLGTEMPLATE tmpl = FindDialogTemplate(m_lpszTemplateName, &module);
  if (!tmpl) return -1;
  m_bModal = true;
  INT_PTR result = ::DialogBoxIndirectParamW(module, tmpl, ParentHandle(m_pParentWnd), &CDialog::DialogProc,
                                             reinterpret_cast<LPARAM>(this));
  m_bModal = false;
  return result;
}

void CDialog::EndDialog(int nResult) {
  if (!m_hWnd) return;
  if (m_bModal)
    ::EndDialog(m_hWnd, nResult);
  else
    ::ShowWindow(m_hWnd, SW_HIDE);
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::OnCommandOK() { OnOK(); }
void CDialog::OnCommandCancel() { OnCancel(); }

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
  if (!m_hWnd) return FALSE;
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return !dx.m_bFailed;
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
  if (m_bModal || !m_hWnd || !pMsg) return FALSE;
  if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST) return FALSE;
  if (pMsg->hwnd != m_hWnd && !::IsChild(m_hWnd, pMsg->hwnd)) return FALSE;
  return ::IsDialogMessageW(m_hWnd, pMsg);
}

// ---------------------------------------------------------------------------------------------
HWND CDataExchange::PrepareCtrl(int nIDC) {
  HWND hWnd = nullptr;
  if (m_pDlgWnd && m_pDlgWnd->m_hWnd) hWnd = ::GetDlgItem(m_pDlgWnd->m_hWnd, nIDC);
  m_hWndLastControl = hWnd;
  return hWnd;
}

void CDataExchange::Fail() {
  m_bFailed = TRUE;
  if (m_hWndLastControl) ::SetFocus(m_hWndLastControl);
}

void AFXAPI DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (rControl.m_hWnd) return;
  HWND hWnd = pDX->PrepareCtrl(nIDC);
  if (!hWnd || !rControl.SubclassWindow(hWnd)) pDX->Fail();
}

namespace {

CString ControlText(HWND hWnd) {
  CString text;
  int length = ::GetWindowTextLengthW(hWnd);
  if (length > 0) {
    ::GetWindowTextW(hWnd, text.GetBuffer(length + 1), length + 1);
    text.ReleaseBuffer();
  }
  return text;
}

bool ParseInt(const CString& text, long long& value) {
  const wchar_t* p = text.GetString();
  while (iswspace(*p)) ++p;
  if (!*p) return false;
  wchar_t* end = nullptr;
  errno = 0;
  value = wcstoll(p, &end, 10);
  if (errno != 0 || end == p) return false;
  while (iswspace(*end)) ++end;
  return *end == L'\0';
}

}  // namespace

void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
  HWND hWnd = pDX->PrepareEditCtrl(nIDC);
  if (!hWnd) return pDX->Fail();
  if (pDX->m_bSaveAndValidate)
    value = ControlText(hWnd);
  else
    ::SetWindowTextW(hWnd, value.GetString());
}

void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, int& value) {
  HWND hWnd = pDX->PrepareEditCtrl(nIDC);
  if (!hWnd) return pDX->Fail();
  if (pDX->m_bSaveAndValidate) {
    long long parsed = 0;
    if (!ParseInt(ControlText(hWnd), parsed) || parsed < INT_MIN || parsed > INT_MAX) return pDX->Fail();
    value = static_cast<int>(parsed);
  } else {
    wchar_t text[16];
    _snwprintf(text, 16, L"%d", value);
    text[15] = L'\0';
    ::SetWindowTextW(hWnd, text);
  }
}

void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, UINT& value) {
  HWND hWnd = pDX->PrepareEditCtrl(nIDC);
  if (!hWnd) return pDX->Fail();
  if (pDX->m_bSaveAndValidate) {
    long long parsed = 0;
    if (!ParseInt(ControlText(hWnd), parsed) || parsed < 0 || parsed > UINT_MAX) return pDX->Fail();
    value = static_cast<UINT>(parsed);
  } else {
    wchar_t text[16];
    _snwprintf(text, 16, L"%u", value);
    text[15] = L'\0';
    ::SetWindowTextW(hWnd, text);
  }
}

void AFXAPI DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
  HWND hWnd = pDX->PrepareCtrl(nIDC);
  if (!hWnd) return pDX->Fail();
  if (pDX->m_bSaveAndValidate)
    value = static_cast<int>(::SendMessageW(hWnd, BM_GETCHECK, 0, 0));
  else
    ::SendMessageW(hWnd, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void AFXAPI DDX_Radio(CDataExchange* pDX, int nIDC, int& value) {
  HWND hWnd = pDX->PrepareCtrl(nIDC);
  if (!hWnd) return pDX->Fail();
  if (pDX->m_bSaveAndValidate) value = -1;
  int index = 0;
  for (HWND h = hWnd; h; h = ::GetWindow(h, GW_HWNDNEXT)) {
    if (h != hWnd && (::GetWindowLongW(h, GWL_STYLE) & WS_GROUP)) break;
    if (!(::SendMessageW(h, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON)) continue;
    if (pDX->m_bSaveAndValidate) {
      if (::SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
    } else {
      ::SendMessageW(h, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    ++index;
  }
}

// ---------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CStatic, CWnd)
IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CComboBox, CWnd)
IMPLEMENT_DYNAMIC(CListBox, CWnd)

namespace {

// WM_DRAWITEM reflected to an owner-drawn control: its DrawItem draws, the answer is TRUE.
template <typename TControl>
BOOL ReflectDrawItem(TControl* control, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message != WM_DRAWITEM) return control->CWnd::OnChildNotify(message, wParam, lParam, pResult);
  auto* dis = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
  if (!dis) return FALSE;
  control->DrawItem(dis);
  if (pResult) *pResult = TRUE;
  return TRUE;
}

}  // namespace

void CStatic::DrawItem(LPDRAWITEMSTRUCT) {}
BOOL CStatic::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return ReflectDrawItem(this, message, wParam, lParam, pResult);
}
void CButton::DrawItem(LPDRAWITEMSTRUCT) {}
BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  return ReflectDrawItem(this, message, wParam, lParam, pResult);
}

void CComboBox::GetLBText(int nIndex, CString& rString) const {
  rString = CString();
  int length = GetLBTextLen(nIndex);
  if (length == CB_ERR) return;
  LRESULT copied =
      SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(rString.GetBuffer(length + 1)));
  rString.ReleaseBuffer(copied == CB_ERR ? 0 : static_cast<int>(copied));
}

void CListBox::GetText(int nIndex, CString& rString) const {
  rString = CString();
  int length = GetTextLen(nIndex);
  if (length == LB_ERR) return;
  LRESULT copied =
      SendMessage(LB_GETTEXT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(rString.GetBuffer(length + 1)));
  rString.ReleaseBuffer(copied == LB_ERR ? 0 : static_cast<int>(copied));
}

UINT CListBox::ItemFromPoint(CPoint pt, BOOL& bOutside) const {
  DWORD result = static_cast<DWORD>(SendMessage(LB_ITEMFROMPOINT, 0, MAKELPARAM(pt.x, pt.y)));
  bOutside = HIWORD(result) != 0;
  return LOWORD(result);
}
