// CWinApp, AfxWinMain and the message boxes.
#include "afx_state.h"

using afx_detail::State;

namespace {
CWinApp* g_pApp = nullptr;  // the one application object, set by its constructor
}

IMPLEMENT_DYNAMIC(CWinApp, CWinThread)

CWinApp::CWinApp(LPCTSTR lpszAppName) {
  if (lpszAppName) {
    m_strAppName = lpszAppName;
    m_pszAppName = m_strAppName;
  }
  m_bAutoDelete = FALSE;  // the application object is not the thread's to delete
  m_nThreadID = GetCurrentThreadId();
  HANDLE self = nullptr;
  if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                      DUPLICATE_SAME_ACCESS))
    m_hThread = self;
  g_pApp = this;
  m_hInstance = AfxGetInstanceHandle();
  State().thread = this;
}

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = nullptr;
}

BOOL CWinApp::InitApplication() { return TRUE; }
BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return static_cast<int>(m_msgCur.wParam); }

int CWinApp::Run() {
  if (!m_pMainWnd) AfxPostQuitMessage(0);  // nothing would ever end the loop
  return CWinThread::Run();
}

int CWinApp::DoMessageBox(LPCTSTR lpszPrompt, UINT nType, UINT) {
  HWND owner = nullptr;
  if (CWnd* main = AfxGetMainWnd(); main && ::IsWindow(main->m_hWnd)) owner = main->m_hWnd;
  if (!owner) owner = ::GetActiveWindow();
  return ::MessageBoxW(owner, lpszPrompt, AfxGetAppName(), nType);
}

CWinApp* AFXAPI AfxGetApp() { return g_pApp; }

CWnd* AFXAPI AfxGetMainWnd() {
  CWinThread* thread = AfxGetThread();
  return thread ? thread->GetMainWnd() : nullptr;
}

LPCTSTR AFXAPI AfxGetAppName() {
  if (CWinApp* app = AfxGetApp(); app && app->m_pszAppName) return app->m_pszAppName;
  return L"";
}

BOOL AFXAPI AfxWinInit(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow) {
  CWinApp* app = AfxGetApp();
  if (!app) return FALSE;
  app->m_hInstance = hInstance ? hInstance : AfxGetInstanceHandle();
  app->m_hPrevInstance = hPrevInstance;
  app->m_strCmdLine = lpCmdLine ? lpCmdLine : L"";
  app->m_lpCmdLine = app->m_strCmdLine.GetBuffer();
  app->m_nCmdShow = nCmdShow;
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(app->m_hInstance, path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    CString exe(path);
    exe = exe.Mid(exe.ReverseFind(L'\\') + 1);
    if (const int dot = exe.ReverseFind(L'.'); dot > 0) exe.Truncate(dot);
    app->m_strExeName = exe;
    app->m_pszExeName = app->m_strExeName;
    if (!app->m_pszAppName) {
      app->m_strAppName = exe;
      app->m_pszAppName = app->m_strAppName;
    }
  }
  return TRUE;
}

int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow) {
  CWinApp* app = AfxGetApp();
  if (!app) {
    OutputDebugStringA("afx: AfxWinMain without an application object\n");
    return -1;
  }
  State().thread = app;
  int code = -1;
  try {
    if (!AfxWinInit(hInstance, hPrevInstance, lpCmdLine, nCmdShow) || !app->InitApplication()) return -1;
    if (!app->InitInstance()) {
      if (app->m_pMainWnd) app->m_pMainWnd->DestroyWindow();
      code = app->ExitInstance();
    } else {
      code = app->Run();
    }
  } catch (...) {
    AfxReportCaughtException("application");
    code = -1;
  }
  CWnd::DeleteTempMap();
  return code;
}

int AFXAPI AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT nIDHelp) {
  if (CWinApp* app = AfxGetApp()) return app->DoMessageBox(lpszText, nType, nIDHelp);
  return ::MessageBoxW(::GetActiveWindow(), lpszText, AfxGetAppName(), nType);
}

int AFXAPI AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
  CString text;
  if (!text.LoadString(nIDPrompt)) {
    // Without its text the box would say nothing; the missing string is the error to see.
    wchar_t line[80];
    swprintf(line, 80, L"afx: message box string %u is missing\n", nIDPrompt);
    OutputDebugStringW(line);
    return 0;
  }
  return AfxMessageBox(text, nType, nIDHelp == static_cast<UINT>(-1) ? nIDPrompt : nIDHelp);
}
