#include "OPV_MainWnd.h"

#include "OrvelParlonVesk.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(COPV_MainWnd, CWnd)
  ON_MESSAGE(WM_OPV_CREATEDLG, &COPV_MainWnd::OnCreateMainDialog)
END_MESSAGE_MAP()

// The speech thread is running before the main window is made (start-up order).
COPV_MainWnd::COPV_MainWnd() : m_dlg(theApp.GetSpeechThread()) {
  m_hIcon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));

  const HINSTANCE instance = AfxGetInstanceHandle();
  WNDCLASSW existing = {};
  if (GetClassInfoW(instance, kMainWindowClass, &existing)) return;

  WNDCLASSW wc = {};
  wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = instance;
  wc.hIcon = m_hIcon;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kMainWindowClass;
  if (!RegisterClassW(&wc)) AfxThrowResourceException();
}

COPV_MainWnd::~COPV_MainWnd() {
  // The dialog member is destroyed with this object; its window went with ours (owned popups
  // are destroyed with their owner).
  if (m_hWnd != nullptr) DestroyWindow();
}

LRESULT COPV_MainWnd::OnCreateMainDialog(WPARAM, LPARAM) {
  if (m_dlg.Create(IDD_ORVELPARLONVESK_DIALOG, this)) m_dlg.ShowWindow(SW_SHOW);
  return 0;
}
