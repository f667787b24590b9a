// The plug-in's application object: all state that lives from one export call to the next,
// the hidden window through which other threads reach the NSIS thread, and the hosting of
// the wizard pages inside the NSIS window.
//
// Threads: everything here is used on the NSIS thread (the thread that calls the exports),
// except where a member says otherwise.
#pragma once

#include "CatalogueDownload.h"
#include "Pages.h"
#include "ProductCatalogue.h"

#include <CatalogueContent.h>
#include <FileDownloadTask.h>

#include <afxwin.h>

#include <boost/signals2/connection.hpp>

#include <functional>
#include <memory>
#include <string>

namespace gwplugin {

// The hidden window: a 1 x 1 popup of class "GWPluginWnd" that download threads send
// WM_CONTENT_DOWNLOADED to, so that the catalogue is built on the NSIS thread.
class CHiddenWnd : public CWnd {
  DECLARE_DYNCREATE(CHiddenWnd)
 public:
  // Registers the window class once per process; throws the resource exception when the
  // class cannot be registered.
  CHiddenWnd();
  BOOL CreateHidden();

  static constexpr const wchar_t* kClassName = L"GWPluginWnd";
  static constexpr const wchar_t* kWindowName = L"GWPLUGINWND";

 protected:
  afx_msg LRESULT OnContentDownloaded(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()
};

class CCheckingDlg;

class CGWPluginApp : public CWinApp {
 public:
  CGWPluginApp();
  ~CGWPluginApp() override;

  // Starts GDI+ and creates the hidden window. Run on the first export call, never from
  // DllMain (both are documented as unsafe under the loader lock).
  BOOL InitInstance() override;
  // Ends every download still running (the catalogue's, the queue's, the size probes'), then
  // destroys the hidden window and shuts GDI+ down; on the NSIS thread.
  int ExitInstance() override;
  // InitInstance once; false when it failed (the exports then answer as for no data).
  bool EnsureStarted();
  bool Started() const { return m_started; }

  // Replaces (window) or restores (null) the NSIS window's dialog procedure.
  void SubclassNsisWindow(HWND window);
  // Restores NSIS's procedure and forgets both window handles (after each page export).
  void RestoreNsisWindow();
  static INT_PTR CALLBACK ParentDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // Places the page in the NSIS page frame, runs it until NSIS moves on, goes back or
  // cancels, and pushes "success", "back" or "cancel". pre_show runs before the page window
  // exists. Answers the page result.
  int RunPage(CDialog& page, int template_id, const std::function<void()>& pre_show = nullptr);
  // Enables the NSIS Next button and clicks it.
  void ClickNsisNext();

  // Starts fetching the catalogue (the end of Initialize). An earlier download is let go.
  void StartContentDownload();
  // Returns once the offers are built: at once when they are; otherwise, while the download
  // runs, behind the modal checking dialog (owned by owner), which ends when the offers are
  // built, when its wait limit (CatalogueWaitLimit) has passed, or on WM_CLOSE. The offers are
  // then built from what has arrived.
  void WaitForCatalogue(HWND owner = nullptr);
  // On the NSIS thread, when the hand-off says the download has ended (WM_CONTENT_DOWNLOADED):
  // behind the checking dialog or while a page is up, parses the catalogue, builds both offers,
  // tells the page and ends the checking dialog; elsewhere leaves that to the next wait.
  void OnCatalogueEnded();

  // Ends the running page as if NSIS had moved with result (the progress page cancels so).
  void EndPage(int result);

  LANGID langid = 0;
  bool applicationsCheckBox = true;
  int profileFlag = 0;
  std::wstring userAgent;
  std::wstring secondConfigurationText;
  ProductCatalogue catalogue;
  CLangFlagsDlg flagsPage;
  CComponentsDlg componentsPage;
  CProgressDlg progressPage;

  HWND parentWindow() const { return m_parentWindow; }
  // 0 while the catalogue download runs (or none was started), else its DownloadResult.
  int catalogueResult() const;
  // True once the offers have been built (only the NSIS thread sets it).
  bool OffersBuilt() const { return m_offersBuilt; }
  // Waits, without dispatching messages, until the catalogue download has ended.
  bool WaitForDownloadEnd(DWORD milliseconds) const;
  FileDownloadTaskPtr CatalogueTask() const { return m_catalogueTask; }

  // The catalogue download's time-outs (also given to the size probes); the checking dialog
  // waits at most CatalogueWaitLimit of them. Set before Initialize.
  DownloadTimeouts catalogueTimeouts;
  // How often the checking dialog looks at the download besides being told (a lost
  // hand-over message costs at most this long).
  UINT checkingLookInterval = 500;
  // How long unloading (or leaving the progress page by Cancel) waits for the downloads it has
  // asked to stop; one still running after that keeps the plug-in loaded until the process ends.
  DWORD unloadWaitMs = 3000;
  // Where a page loop takes its messages from; tests put a queue that cannot be read in its place.
  BOOL(WINAPI* pageGetMessage)(LPMSG, HWND, UINT, UINT) = &::GetMessageW;

 private:
  bool m_started = false;
  HWND m_parentWindow = nullptr;
  HWND m_subclassedWindow = nullptr;
  CWnd* m_currentPage = nullptr;
  LONG_PTR m_savedDialogProc = 0;
  int m_pageResult = kPageNext;
  bool m_pageEnded = false;
  ULONG_PTR m_gdiplusToken = 0;
  std::unique_ptr<CHiddenWnd> m_hiddenWindow;

  // The catalogue download. The task and the hand-off are shared with the download thread;
  // everything else here is the NSIS thread's.
  void BuildOffers();
  void BuildOffersOnce(int result);
  void StopCatalogueDownload();
  // Size probes cancelled at their deadline still run this module's code: the unload waits
  // for them as for the catalogue download.
  void StopUnfinishedProbes() const;
  void StopAllDownloads();
  void RunCheckingDialog(HWND owner);
  FileDownloadTaskPtr m_catalogueTask;
  std::shared_ptr<CatalogueHandOff> m_handoff;
  boost::signals2::connection m_finishedConnection;
  ServiceContent2Ptr m_content;
  bool m_offersBuilt = false;
  int m_offersBuiltFor = -1;  // the download result the offers were built for (0: not there)
  bool m_building = false;
  bool m_rebuildPending = false;
  CCheckingDlg* m_checkingDialog = nullptr;
  HWND m_waitOwner = nullptr;
};

// The one application object; created on first use (an export call) on the NSIS thread.
CGWPluginApp& ThePluginApp();
// The object if it exists (null before the first export call and after the unload).
CGWPluginApp* PluginAppIfAny();
// Keeps this module loaded until the process ends: a thread that outlives the plug-in's
// unloading still runs its code.
void PinPluginModule();

// Ends the application object: ExitInstance, then deletion. Called from the host's unload
// callback on the NSIS thread.
void DestroyPluginApp();

}  // namespace gwplugin
