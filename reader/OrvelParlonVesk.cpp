#include "OrvelParlonVesk.h"

#include <commctrl.h>

#include "CrashFilters.h"
#include "LanguageModule.h"
#include "OPV_MainWnd.h"
#include "ReaderTestHooks.h"
#include "Settings.h"
#include "ThSpeechControl.h"
#include "resource.h"

// One pointer-sized value in a section of its own that every process running this program
// maps at the same place ("shared" makes the linker mark the section read/write/shared). It
// must be initialised, or the compiler would move it to the common uninitialised data.
HWND SharedDialogHwnd __attribute__((section(".shared"), shared)) = nullptr;

COrvelParlonVeskApp theApp;

COrvelParlonVeskApp::COrvelParlonVeskApp() = default;

COrvelParlonVeskApp::~COrvelParlonVeskApp() = default;

void COrvelParlonVeskApp::InstallCrashFilters() {
  // Each filter calls the one installed before it, so this order makes a crash write the dump
  // and the system part, then the exception part, and end the process last.
  InstallTerminateFilter();
  InstallReportCheckFilter();
  InstallTextReportFilter();
  InstallDumpFilter();
}

BOOL COrvelParlonVeskApp::FailStart() {
  m_bStartFailed = true;
  return FALSE;
}

BOOL COrvelParlonVeskApp::InitInstance() {
  InstallCrashFilters();
  SetThreadName(static_cast<DWORD>(-1), "MAIN");

  switch (m_instanceMutex.Acquire(kSingleInstanceMutexName)) {
    case orv_reader::SingleInstanceMutex::Result::First:
      break;
    case orv_reader::SingleInstanceMutex::Result::AlreadyRunning:
      // Another reader runs: show its dialog again and end. It is not brought to the
      // foreground and is told nothing else.
      orv_reader::RestoreFirstInstance(SharedDialogHwnd);
      return FALSE;
    case orv_reader::SingleInstanceMutex::Result::Failed:
      // Without the mutex a second copy could not be recognised; running unguarded is
      // better than not running at all.
      break;
  }

  INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};  // list view .. animation classes
  InitCommonControlsEx(&controls);

  CWinApp::InitInstance();

  if (FAILED(m_ole.Initialize())) {
    AfxMessageBox(IDS_OLE_INIT_FAILED, MB_OK, static_cast<UINT>(-1));
    return FailStart();
  }
  m_com.Initialize();
  m_gdiplus.Startup();
  // No ActiveX controls are hosted, so there is no control container to enable.

  m_languageModule.reset(LoadLanguageModule());
  if (!m_languageModule) return FailStart();

  CCfgData::Instance();

  m_pSpeechThread = static_cast<VTTSFramework::CThSpeechControl*>(
      orv_reader::StartOwnedThread(RUNTIME_CLASS(VTTSFramework::CThSpeechControl), THREAD_PRIORITY_NORMAL));
  if (m_pSpeechThread == nullptr) return FailStart();

  try {
    m_pMainWindow = new COPV_MainWnd;
  } catch (CException* e) {
    // The window class could not be registered: start-up cannot go on.
    e->Delete();
    return FailStart();
  }
  m_pMainWnd = m_pMainWindow;
  // A reader that cannot show its dialog ends here (ExitInstance releases the mutex), rather
  // than running on invisible and keeping every later start out.
  if (orv_reader::testhooks::FaultNamed(orv_reader::testhooks::FaultPoint::MainWindowCreate) ||
      !m_pMainWindow->CreateEx(0, kMainWindowClass, L"OPV_WND", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr))
    return FailStart();
  m_pMainWindow->SendMessage(WM_OPV_CREATEDLG, 0, 0);
  if (m_pMainWindow->Dialog().GetSafeHwnd() == nullptr) return FailStart();
  SharedDialogHwnd = m_pMainWindow->Dialog().GetSafeHwnd();
  return TRUE;
}

int COrvelParlonVeskApp::ExitInstance() {
  // The order matters: the dialog (a speech client) goes before the speech thread, and the
  // speech thread, which uses COM, ends before COM and GDI+ are shut down.
  if (m_pMainWindow != nullptr) {
    m_pMainWnd = nullptr;
    m_pMainWindow->DestroyWindow();
    delete m_pMainWindow;
    m_pMainWindow = nullptr;
  }
  if (m_pSpeechThread != nullptr) {
    // It saves the speech settings before it ends; its object stays until it has ended. A start
    // that failed chose nothing (no voice yet): what an earlier run stored stays as it was.
    orv_reader::StopOwnedThread(m_pSpeechThread, WM_SPEECHTHREAD_SHUTDOWN,
                                m_bStartFailed ? SPEECH_CLOSE_SAVE_NOTHING : SPEECH_CLOSE_SAVE);
    m_pSpeechThread = nullptr;
  }
  m_gdiplus.Shutdown();
  m_com.Uninitialize();
  m_ole.Uninitialize();
  m_instanceMutex.Release();
  const int code = CWinApp::ExitInstance();
  return m_bStartFailed ? kFailedStartExitCode : code;
}
