// CObject, run-time classes, exceptions, module handles and the string helpers.
#include "afx.h"
#include "afxwin.h"

#include <cstdio>
#include <exception>
#include <string>

// ---------------------------------------------------------------------------------------------
CObject* CRuntimeClass::CreateObject() {
  if (!m_pfnCreateObject) return nullptr;
  try {
    return m_pfnCreateObject();
  } catch (...) {
    AfxReportCaughtException("CRuntimeClass::CreateObject");
    return nullptr;
  }
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const {
  for (const CRuntimeClass* p = this; p; p = p->GetBaseClass())
    if (p == pBaseClass) return TRUE;
  return FALSE;
}

CRuntimeClass* PASCAL CObject::GetThisClass() {
  static CRuntimeClass s_class = {"CObject", nullptr, nullptr};
  return &s_class;
}
CRuntimeClass* CObject::GetRuntimeClass() const { return GetThisClass(); }
BOOL CObject::IsKindOf(const CRuntimeClass* pClass) const { return GetRuntimeClass()->IsDerivedFrom(pClass); }

CObject* AFXAPI AfxDynamicDownCast(CRuntimeClass* pClass, CObject* pObject) {
  return pObject && pObject->IsKindOf(pClass) ? pObject : nullptr;
}

// ---------------------------------------------------------------------------------------------
IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CSimpleException, CException)
IMPLEMENT_DYNAMIC(CMemoryException, CSimpleException)
IMPLEMENT_DYNAMIC(CResourceException, CSimpleException)
IMPLEMENT_DYNAMIC(CNotSupportedException, CSimpleException)
IMPLEMENT_DYNAMIC(CInvalidArgException, CSimpleException)
IMPLEMENT_DYNAMIC(CUserException, CSimpleException)

void CException::Delete() {
  if (m_bAutoDelete) delete this;
}

void AFXAPI AfxThrowResourceException() { throw new CResourceException; }
void AFXAPI AfxThrowMemoryException() { throw new CMemoryException; }
void AFXAPI AfxThrowNotSupportedException() { throw new CNotSupportedException; }
void AFXAPI AfxThrowInvalidArgException() { throw new CInvalidArgException; }
void AFXAPI AfxThrowUserException() { throw new CUserException; }

void AFXAPI AfxReportCaughtException(const char* where) noexcept {
  std::string text = "afx: exception stopped at ";
  text += where ? where : "?";
  try {
    throw;
  } catch (CException* e) {
    text += ": ";
    text += e ? e->GetRuntimeClass()->m_lpszClassName : "null CException";
    if (e) e->Delete();
  } catch (const std::exception& e) {
    text += ": ";
    text += e.what();
  } catch (...) {
    text += ": unknown exception";
  }
  text += "\n";
  OutputDebugStringA(text.c_str());
}

// ---------------------------------------------------------------------------------------------
static HINSTANCE g_hResource = nullptr;

HINSTANCE AFXAPI AfxGetInstanceHandle() {
  if (CWinApp* app = AfxGetApp(); app && app->m_hInstance) return app->m_hInstance;
  // The module this layer is linked into: the program, or the DLL.
  HMODULE h = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&g_hResource), &h))
    h = GetModuleHandleW(nullptr);
  return h;
}

HINSTANCE AFXAPI AfxGetResourceHandle() { return g_hResource ? g_hResource : AfxGetInstanceHandle(); }
void AFXAPI AfxSetResourceHandle(HINSTANCE hInstResource) { g_hResource = hInstResource; }
HINSTANCE AFXAPI AfxFindResourceHandle(LPCTSTR, LPCTSTR) { return AfxGetResourceHandle(); }

// ---------------------------------------------------------------------------------------------
namespace afx_detail {

HINSTANCE ResourceHandleForStrings() { return AfxGetResourceHandle(); }

int StrOps<wchar_t>::FormatLength(const wchar_t* fmt, va_list args) { return _vscwprintf(fmt, args); }
int StrOps<wchar_t>::Format(wchar_t* out, size_t count, const wchar_t* fmt, va_list args) {
  return _vsnwprintf(out, count, fmt, args);
}
std::wstring StrOps<wchar_t>::Convert(const char* text, int length) {
  if (!text || length == 0) return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, length, &out[0], n);
  if (length < 0 && !out.empty() && out.back() == L'\0') out.pop_back();
  return out;
}
int StrOps<wchar_t>::CompareNoCase(const wchar_t* a, const wchar_t* b) { return _wcsicmp(a, b); }
int StrOps<wchar_t>::LoadString(HINSTANCE h, UINT id, std::wstring& out) {
  const wchar_t* res = nullptr;
  const int n = ::LoadStringW(h, id, reinterpret_cast<LPWSTR>(&res), 0);
  if (n <= 0 || !res) return 0;
  out.assign(res, static_cast<size_t>(n));
  return n;
}

int StrOps<char>::FormatLength(const char* fmt, va_list args) { return _vscprintf(fmt, args); }
int StrOps<char>::Format(char* out, size_t count, const char* fmt, va_list args) {
  return _vsnprintf(out, count, fmt, args);
}
std::string StrOps<char>::Convert(const wchar_t* text, int length) {
  if (!text || length == 0) return std::string();
  const int n = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, length, &out[0], n, nullptr, nullptr);
  if (length < 0 && !out.empty() && out.back() == '\0') out.pop_back();
  return out;
}
int StrOps<char>::CompareNoCase(const char* a, const char* b) { return _stricmp(a, b); }

}  // namespace afx_detail
