// The reader's application object: start-up, the single-instance guard and shutdown.
#pragma once

#include <UniqueHandle.h>
#include <afxwin.h>

#include <memory>

#include "AppLifetime.h"

namespace VTTSFramework {
class CThSpeechControl;
}
class COPV_MainWnd;

// Sent once by start-up to the hidden main window, which then creates the main dialog.
constexpr UINT WM_OPV_CREATEDLG = WM_USER + 0x301;  // 0x701

// The main dialog of the instance that owns the single-instance mutex, seen by every running
// copy of the program (a data section shared between processes). It keeps its value after that
// instance ends, so it may name a window that no longer exists.
extern HWND SharedDialogHwnd;

// The process's exit code when its start-up ended without showing the dialog (a second
// instance, which has shown its first instance's, ends with 0).
constexpr int kFailedStartExitCode = 1;

// Name of the mutex that lets one reader run at a time.
constexpr const wchar_t* kSingleInstanceMutexName = L"ONLY_ONE_ORVEL_TUNELO";

class COrvelParlonVeskApp : public CWinApp {
 public:
  COrvelParlonVeskApp();
  ~COrvelParlonVeskApp() override;  // frees the language module

  BOOL InitInstance() override;
  int ExitInstance() override;

  // The speech control thread, from start-up until shutdown; NULL outside that span.
  VTTSFramework::CThSpeechControl* GetSpeechThread() const { return m_pSpeechThread; }

 private:
  // The one place where the reader's chained crash filters are installed: the very first step
  // of start-up, before anything else can fail.
  void InstallCrashFilters();
  // Marks start-up as failed (ExitInstance then answers kFailedStartExitCode); answers FALSE.
  BOOL FailStart();

  // All of these are touched on the UI thread only.
  orv_reader::SingleInstanceMutex m_instanceMutex;
  COPV_MainWnd* m_pMainWindow = nullptr;  // owned; also the application's main window
  win::UniqueModule m_languageModule;
  VTTSFramework::CThSpeechControl* m_pSpeechThread = nullptr;  // owned (not auto-deleted)
  bool m_bStartFailed = false;
  orv_reader::GdiplusSession m_gdiplus;
  orv_reader::OleInitialization m_ole;
  orv_reader::ComInitialization m_com;
};

extern COrvelParlonVeskApp theApp;
