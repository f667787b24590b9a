#include "PluginApp.h"

#include "CheckingDlg.h"
#include "DialogTemplates.h"
#include "MessageWait.h"
#include "NsisStack.h"
#include "PluginLog.h"
#include "SizeProbes.h"

#include <CatalogueReader.h>
#include <XmlPropertyNode.h>

#include <objidl.h>
#include <gdiplus.h>
#include <commctrl.h>

#include <exception>

namespace gwplugin {

// ---------------------------------------------------------------------------------------------
IMPLEMENT_DYNCREATE(CHiddenWnd, CWnd)

BEGIN_MESSAGE_MAP(CHiddenWnd, CWnd)
  ON_MESSAGE(WM_CONTENT_DOWNLOADED, &CHiddenWnd::OnContentDownloaded)
END_MESSAGE_MAP()

CHiddenWnd::CHiddenWnd() {
  HINSTANCE instance = AfxGetInstanceHandle();
  WNDCLASSW existing{};
  if (GetClassInfoW(instance, kClassName, &existing)) return;
  WNDCLASSW wc{};
  wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  if (!RegisterClassW(&wc)) AfxThrowResourceException();
}

BOOL CHiddenWnd::CreateHidden() { return CreateEx(0, kClassName, kWindowName, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr); }

LRESULT CHiddenWnd::OnContentDownloaded(WPARAM, LPARAM) {
  try {
    if (CGWPluginApp* app = PluginAppIfAny()) app->OnCatalogueEnded();
  } catch (...) {
    AfxReportCaughtException("CHiddenWnd::OnContentDownloaded");
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
namespace {

CGWPluginApp* g_app = nullptr;

}  // namespace

CGWPluginApp& ThePluginApp() {
  if (!g_app) g_app = new CGWPluginApp();
  return *g_app;
}

CGWPluginApp* PluginAppIfAny() { return g_app; }

void ForgetUnloadCallback();

void DestroyPluginApp() {
  ForgetUnloadCallback();
  if (!g_app) return;
  if (g_app->Started()) g_app->ExitInstance();
  delete g_app;
  g_app = nullptr;
}

CGWPluginApp::CGWPluginApp() : CWinApp(L"GWPlugin") {
  catalogue.sizeProbe = [this](const orv_products::ProductList& products) {
    SizeProbeSettings settings;
    settings.userAgent = userAgent;
    settings.timeouts = catalogueTimeouts;
    ProbeSizes(products, settings);
  };
}

CGWPluginApp::~CGWPluginApp() {
  try {
    StopCatalogueDownload();
  } catch (...) {
  }
  // A window still up here belongs to a thread that may be gone; do not touch it.
  if (m_hiddenWindow && m_hiddenWindow->m_hWnd) m_hiddenWindow->Detach();
}

BOOL CGWPluginApp::InitInstance() {
  CWinApp::InitInstance();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr) != Gdiplus::Ok) m_gdiplusToken = 0;
  m_hiddenWindow.reset();
  m_hiddenWindow = std::make_unique<CHiddenWnd>();
  if (!m_hiddenWindow->CreateHidden()) return FALSE;
  return TRUE;
}

int CGWPluginApp::ExitInstance() {
  StopAllDownloads();
  StopCatalogueDownload();
  StopUnfinishedProbes();
  if (m_hiddenWindow && m_hiddenWindow->m_hWnd) m_hiddenWindow->DestroyWindow();
  m_hiddenWindow.reset();
  // GDI+ images must go while GDI+ runs; the pages themselves live on until the destructor.
  flagsPage.ReleaseImages();
  progressPage.ReleaseBanner();
  if (m_gdiplusToken) Gdiplus::GdiplusShutdown(m_gdiplusToken);
  m_gdiplusToken = 0;
  m_started = false;
  return CWinApp::ExitInstance();
}

bool CGWPluginApp::EnsureStarted() {
  if (m_started) return true;
  try {
    m_started = InitInstance() != FALSE;
  } catch (...) {
    AfxReportCaughtException("CGWPluginApp::InitInstance");  // deletes a CException
    m_started = false;
  }
  return m_started;
}

void CGWPluginApp::SubclassNsisWindow(HWND window) {
  if (window) {
    m_savedDialogProc =
        SetWindowLongPtrW(window, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&CGWPluginApp::ParentDlgProc));
  } else if (m_subclassedWindow && m_savedDialogProc) {
    SetWindowLongPtrW(m_subclassedWindow, DWLP_DLGPROC, m_savedDialogProc);
    m_savedDialogProc = 0;
  }
  m_parentWindow = window;
  m_subclassedWindow = window;
}

void CGWPluginApp::RestoreNsisWindow() {
  if (m_subclassedWindow && m_savedDialogProc) SetWindowLongPtrW(m_subclassedWindow, DWLP_DLGPROC, m_savedDialogProc);
  m_savedDialogProc = 0;
  m_subclassedWindow = nullptr;
  m_parentWindow = nullptr;
}

INT_PTR CALLBACK CGWPluginApp::ParentDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CGWPluginApp* app = g_app;
  if (!app || !app->m_savedDialogProc) return FALSE;
  auto nsis_proc = reinterpret_cast<DLGPROC>(app->m_savedDialogProc);
  const bool outer_next = message == nsis::kWmNotifyOuterNext;
  try {
    CWnd* page = app->m_currentPage;
    if (outer_next && static_cast<int>(wParam) == nsis::kOuterNext && page && page->m_hWnd) {
      int may_leave = 1;
      page->SendMessage(WM_PAGE_LEAVING, kPageNext, reinterpret_cast<LPARAM>(&may_leave));
      if (may_leave == 0) return 1;
    }
  } catch (...) {
    AfxReportCaughtException("CGWPluginApp::ParentDlgProc");
  }
  INT_PTR result = CallWindowProcW(reinterpret_cast<WNDPROC>(nsis_proc), window, message, wParam, lParam);
  if (!outer_next || result != 0) return result;
  try {
    int code = static_cast<int>(wParam);
    app->m_pageResult = code == nsis::kOuterBack ? kPageBack : code == nsis::kOuterCancel ? kPageCancel : kPageNext;
    CWnd* page = app->m_currentPage;
    if (page && page->m_hWnd) {
      page->SendMessage(WM_PAGE_LEFT, static_cast<WPARAM>(app->m_pageResult), 0);
      page->PostMessage(WM_CLOSE, 0, 0);
    }
  } catch (...) {
    AfxReportCaughtException("CGWPluginApp::ParentDlgProc");
  }
  app->m_pageEnded = true;
  return result;
}

int CGWPluginApp::RunPage(CDialog& page, int template_id, const std::function<void()>& pre_show) {
  RECT frame{};
  bool have_frame = false;
  if (m_parentWindow) {
    if (HWND placeholder = ::GetDlgItem(m_parentWindow, nsis::kIdPageFrame)) {
      have_frame = ::GetWindowRect(placeholder, &frame) != FALSE;
      ::MapWindowPoints(nullptr, m_parentWindow, reinterpret_cast<POINT*>(&frame), 2);
    }
  }
  if (pre_show) pre_show();

  m_pageResult = kPageCancel;
  if (!page.Create(static_cast<UINT>(template_id), CWnd::FromHandle(m_parentWindow))) {
    // No page can be shown: leave the wizard as if the user cancelled.
    NsisPushString(L"cancel");
    return kPageCancel;
  }
  if (have_frame)
    page.SetWindowPos(nullptr, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                      SWP_NOZORDER | SWP_NOACTIVATE);
  m_currentPage = &page;
  m_pageResult = kPageNext;
  if (m_parentWindow) {
    LRESULT font = ::SendMessageW(m_parentWindow, WM_GETFONT, 0, 0);
    page.SendMessage(WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    ::SendMessageW(m_parentWindow, nsis::kWmNotifyCustomReady, reinterpret_cast<WPARAM>(page.m_hWnd), 0);
  }
  page.ShowWindow(SW_SHOWNA);

  m_pageEnded = false;
  bool quit = false;
  WPARAM quit_code = 0;
  MSG msg;
  while (!m_pageEnded) {
    if (!page.m_hWnd || !::IsWindow(page.m_hWnd)) {
      m_pageResult = kPageCancel;
      break;
    }
    BOOL got = pageGetMessage(&msg, nullptr, 0, 0);
    if (got == -1) {  // the queue cannot be read: leave rather than spin
      m_pageResult = kPageCancel;
      break;
    }
    if (got == 0) {  // WM_QUIT belongs to the host's loop: end the page and hand it back
      quit = true;
      quit_code = msg.wParam;
      m_pageResult = kPageCancel;
      break;
    }
    if (page.PreTranslateMessage(&msg)) continue;
    if (::IsDialogMessageW(page.m_hWnd, &msg)) continue;
    if (m_parentWindow && ::IsDialogMessageW(m_parentWindow, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }

  m_currentPage = nullptr;
  if (page.m_hWnd) page.DestroyWindow();
  const int result = m_pageResult;
  NsisPushString(result == kPageCancel ? L"cancel" : result == kPageBack ? L"back" : L"success");
  if (quit) ::PostQuitMessage(static_cast<int>(quit_code));
  return result;
}

void CGWPluginApp::EndPage(int result) {
  m_pageResult = result;
  m_pageEnded = true;
}

void CGWPluginApp::ClickNsisNext() {
  if (!m_parentWindow) return;
  HWND next = ::GetDlgItem(m_parentWindow, nsis::kIdNext);
  if (next) ::EnableWindow(next, TRUE);
  ::SendMessageW(m_parentWindow, WM_COMMAND, nsis::kIdNext, reinterpret_cast<LPARAM>(next));
}

int CGWPluginApp::catalogueResult() const { return m_handoff ? m_handoff->Result() : 0; }

bool CGWPluginApp::WaitForDownloadEnd(DWORD milliseconds) const {
  if (!m_handoff) return false;
  if (m_handoff->Ended()) return true;
  if (!m_handoff->EndedEvent()) return false;
  return WaitForSingleObject(m_handoff->EndedEvent(), milliseconds) == WAIT_OBJECT_0;
}

void PinPluginModule() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                          reinterpret_cast<LPCWSTR>(&PinPluginModule), &module))
    LogLine(L"the plug-in could not be pinned, error " + std::to_wstring(GetLastError()));
}

void CGWPluginApp::StopAllDownloads() {
  // The catalogue's worker must not wait on this thread, which is about to wait for it.
  if (m_handoff) m_handoff->SetNotifyWindow(nullptr);
  const int running = FileDownloadTask::StopAll(unloadWaitMs);
  if (running == 0) return;
  LogLine(L"downloads still running at unload: " + std::to_wstring(running) + L"; the plug-in stays loaded");
  PinPluginModule();
}

void CGWPluginApp::StopCatalogueDownload() {
  if (m_handoff) m_handoff->SetNotifyWindow(nullptr);
  if (m_catalogueTask) {
    if (m_catalogueTask->GetState() != DownloadState::NotStarted && !m_catalogueTask->WaitFinished(0)) {
      m_catalogueTask->RequestCancel();
      if (!m_catalogueTask->WaitFinished(unloadWaitMs)) {
        LogLine(L"the catalogue download is still running at unload; the plug-in stays loaded");
        PinPluginModule();
      }
    }
    m_finishedConnection.disconnect();
    m_catalogueTask.reset();
  }
}

void CGWPluginApp::StopUnfinishedProbes() const {
  if (EndUnfinishedProbes(unloadWaitMs)) return;
  LogLine(L"a size probe is still running at unload; the plug-in stays loaded");
  PinPluginModule();
}

void CGWPluginApp::StartContentDownload() {
  StopCatalogueDownload();
  m_content.reset();
  m_offersBuilt = false;
  m_offersBuiltFor = -1;
  m_handoff = std::make_shared<CatalogueHandOff>();
  m_handoff->SetNotifyWindow(m_hiddenWindow ? m_hiddenWindow->m_hWnd : nullptr);
  try {
    FileDownloadTaskPtr task(new FileDownloadTask());
    task->SetUrl(CatalogueAddress(langid));
    task->SetUserAgent(userAgent);
    task->SetTimeouts(catalogueTimeouts);
    // The slot holds the hand-off, never the application object: it may run after the
    // plug-in has let the download go.
    std::shared_ptr<CatalogueHandOff> handoff = m_handoff;
    m_finishedConnection = task->Finished().connect([handoff](FileDownloadTask& ended) {
      int result = static_cast<int>(DownloadResult::Failed);
      try {
        result = static_cast<int>(ended.GetResult());
      } catch (...) {
        // The outcome cannot be read: the download counts as failed.
      }
      handoff->Finish(result);
    });
    m_catalogueTask = task;
    // A body the XML reader would refuse anyway is refused as it arrives, before a broken or
    // hostile server can make the installer hold hundreds of megabytes for it.
    task->StartToMemory(kMaxXmlDocumentBytes);
  } catch (const std::exception& e) {
    LogLine(L"the catalogue download could not start: " + WidenAscii(e.what()));
    m_handoff->Finish(static_cast<int>(DownloadResult::Failed));
  } catch (...) {
    LogLine(L"the catalogue download could not start");
    m_handoff->Finish(static_cast<int>(DownloadResult::Failed));
  }
}

void CGWPluginApp::OnCatalogueEnded() {
  if (!m_handoff || !m_handoff->Ended()) return;
  // The build dispatches messages while the size probes run. It runs now only where no script
  // code can slip in between: behind the checking dialog (its owner is disabled), or while a
  // page is up (the NSIS window is disabled during the build). Anywhere else the script could
  // call an export from inside the build; the offers are then built when it next asks.
  if (!m_checkingDialog && !(m_currentPage && m_parentWindow)) return;
  BuildOffers();
}

namespace {

// Disables a window for a scope, unless it was disabled already (a modal dialog's owner).
class InputBlock {
 public:
  explicit InputBlock(HWND window) {
    if (window && IsWindow(window) && IsWindowEnabled(window)) {
      m_window = window;
      EnableWindow(m_window, FALSE);
    }
  }
  ~InputBlock() {
    if (m_window && IsWindow(m_window)) EnableWindow(m_window, TRUE);
  }
  InputBlock(const InputBlock&) = delete;
  InputBlock& operator=(const InputBlock&) = delete;

 private:
  HWND m_window = nullptr;
};

class Flag {
 public:
  explicit Flag(bool& flag) : m_flag(flag) { m_flag = true; }
  ~Flag() { m_flag = false; }
  Flag(const Flag&) = delete;
  Flag& operator=(const Flag&) = delete;

 private:
  bool& m_flag;
};

}  // namespace

void CGWPluginApp::BuildOffers() {
  // The size probes dispatch messages while they wait, so the hand-over (or the checking
  // dialog's look) may ask again meanwhile: the running build takes the newer outcome.
  if (m_building) {
    m_rebuildPending = true;
    return;
  }
  bool built = false;
  {
    Flag building(m_building);
    // Clicks on the installer window during the build would reach the script and the pages
    // while the offers are half made; it still paints.
    InputBlock block(m_parentWindow ? m_parentWindow : m_waitOwner);
    do {
      m_rebuildPending = false;
      const int result = catalogueResult();
      if (m_offersBuilt && m_offersBuiltFor == result) break;
      BuildOffersOnce(result);
      m_offersBuilt = true;
      m_offersBuiltFor = result;
      built = true;
    } while (m_rebuildPending);
  }
  if (!built) return;
  if (CWnd* page = m_currentPage)
    if (page->m_hWnd) page->SendMessage(WM_CONTENT_READY, 0, 0);
  if (m_checkingDialog && m_checkingDialog->m_hWnd) m_checkingDialog->EndDialog(CCheckingDlg::kEndedBuilt);
}

void CGWPluginApp::BuildOffersOnce(int result) {
  m_content.reset();
  if (result == static_cast<int>(DownloadResult::Success) && m_catalogueTask) {
    try {
      EnsureLocaleCatalog();
      ByteBuffer data = m_catalogueTask->GetData();
      m_content = ParseCatalogue(MemoryView(data));
      if (!m_content) LogLine(L"catalogue rejected: not an XML document");
    } catch (const std::exception& e) {
      m_content.reset();
      LogLine(L"catalogue rejected: " + WidenAscii(e.what()));
    } catch (...) {
      m_content.reset();
      LogLine(L"catalogue rejected: unknown failure");
    }
  } else if (!m_handoff) {
    LogLine(L"no catalogue download was started: the offers are made without it");
  } else if (result == 0) {
    LogLine(L"catalogue not there in time: the offers are made without it");
  } else {
    LogLine(L"catalogue download failed: " + WidenAscii(DownloadResultName(static_cast<DownloadResult>(result))));
  }
  catalogue.OnContentReady(m_content);
  catalogue.MergeProductLists();
  LogLine(L"offers built: catalogue " + std::to_wstring(catalogue.downloadedProducts.size()) + L", built-in offer " +
          std::to_wstring(ProductCatalogue::CountOfferedProducts(catalogue.builtInOffer.products)) +
          L", merged offer " + std::to_wstring(ProductCatalogue::CountOfferedProducts(catalogue.mergedOffer.products)));
}

void CGWPluginApp::RunCheckingDialog(HWND owner) {
  const DWORD limit = CatalogueWaitLimit(catalogueTimeouts);
  const int template_id = TemplatesForLanguage(langid).checking;
  CCheckingDlg dialog(static_cast<UINT>(template_id), CWnd::FromHandle(owner));
  dialog.SetWaitLimit(limit);
  dialog.SetLook([this] { OnCatalogueEnded(); }, checkingLookInterval);
  m_checkingDialog = &dialog;
  INT_PTR ended = -1;
  try {
    ended = dialog.DoModal();
  } catch (...) {
    m_checkingDialog = nullptr;
    throw;
  }
  m_checkingDialog = nullptr;
  if (ended == -1) {
    // No dialog: wait all the same, as long as the dialog would have.
    LogLine(L"checking dialog " + std::to_wstring(template_id) + L" could not be shown, error " +
            std::to_wstring(GetLastError()));
    if (m_handoff && m_handoff->EndedEvent()) WaitDispatchingMessages(m_handoff->EndedEvent(), limit);
  } else {
    LogLine(L"checking dialog closed");
  }
}

void CGWPluginApp::WaitForCatalogue(HWND owner) {
  m_waitOwner = owner;
  struct Forget {
    HWND& owner;
    ~Forget() { owner = nullptr; }
  } forget{m_waitOwner};
  if (m_handoff && m_handoff->Ended()) BuildOffers();  // no-op when built for this outcome
  if (m_offersBuilt) return;
  if (m_handoff && !m_handoff->Ended()) RunCheckingDialog(owner);
  // Ended, given up or closed: the offers are made from whatever has arrived.
  BuildOffers();
}

}  // namespace gwplugin
