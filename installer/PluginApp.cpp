#include "PluginApp.h"

#include "CheckingDlg.h"
#include "DialogTemplates.h"
#include "MessageWait.h"
#include "NsisStack.h"
#include "PluginLog.h"
#include "SizeProbes.h"

#include <CatalogueReader.h>

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
  if (hidden_window_ && hidden_window_->m_hWnd) hidden_window_->Detach();
}

BOOL CGWPluginApp::InitInstance() {
  CWinApp::InitInstance();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&gdiplus_token_, &input, nullptr) != Gdiplus::Ok) gdiplus_token_ = 0;
  hidden_window_.reset();
  hidden_window_ = std::make_unique<CHiddenWnd>();
  if (!hidden_window_->CreateHidden()) return FALSE;
  return TRUE;
}

int CGWPluginApp::ExitInstance() {
  StopCatalogueDownload();
  if (hidden_window_ && hidden_window_->m_hWnd) hidden_window_->DestroyWindow();
  hidden_window_.reset();
  // GDI+ images must go while GDI+ runs; the pages themselves live on until the destructor.
  flagsPage.ReleaseImages();
  progressPage.ReleaseBanner();
  if (gdiplus_token_) Gdiplus::GdiplusShutdown(gdiplus_token_);
  gdiplus_token_ = 0;
  started_ = false;
  return CWinApp::ExitInstance();
}

bool CGWPluginApp::EnsureStarted() {
  if (started_) return true;
  try {
    started_ = InitInstance() != FALSE;
  } catch (...) {
    AfxReportCaughtException("CGWPluginApp::InitInstance");  // deletes a CException
    started_ = false;
  }
  return started_;
}

void CGWPluginApp::SubclassNsisWindow(HWND window) {
  if (window) {
    saved_dialog_proc_ =
        SetWindowLongPtrW(window, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&CGWPluginApp::ParentDlgProc));
  } else if (subclassed_window_ && saved_dialog_proc_) {
    SetWindowLongPtrW(subclassed_window_, DWLP_DLGPROC, saved_dialog_proc_);
    saved_dialog_proc_ = 0;
  }
  parent_window_ = window;
  subclassed_window_ = window;
}

void CGWPluginApp::RestoreNsisWindow() {
  if (subclassed_window_ && saved_dialog_proc_) SetWindowLongPtrW(subclassed_window_, DWLP_DLGPROC, saved_dialog_proc_);
  saved_dialog_proc_ = 0;
  subclassed_window_ = nullptr;
  parent_window_ = nullptr;
}

INT_PTR CALLBACK CGWPluginApp::ParentDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CGWPluginApp* app = g_app;
  if (!app || !app->saved_dialog_proc_) return FALSE;
  auto nsis_proc = reinterpret_cast<DLGPROC>(app->saved_dialog_proc_);
  const bool outer_next = message == nsis::kWmNotifyOuterNext;
  try {
    CWnd* page = app->current_page_;
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
    app->page_result_ = code == nsis::kOuterBack ? kPageBack : code == nsis::kOuterCancel ? kPageCancel : kPageNext;
    CWnd* page = app->current_page_;
    if (page && page->m_hWnd) {
      page->SendMessage(WM_PAGE_LEFT, static_cast<WPARAM>(app->page_result_), 0);
      page->PostMessage(WM_CLOSE, 0, 0);
    }
  } catch (...) {
    AfxReportCaughtException("CGWPluginApp::ParentDlgProc");
  }
  app->page_ended_ = true;
  return result;
}

int CGWPluginApp::RunPage(CDialog& page, int template_id, const std::function<void()>& pre_show) {
  RECT frame{};
  bool have_frame = false;
  if (parent_window_) {
    if (HWND placeholder = ::GetDlgItem(parent_window_, nsis::kIdPageFrame)) {
      have_frame = ::GetWindowRect(placeholder, &frame) != FALSE;
      ::MapWindowPoints(nullptr, parent_window_, reinterpret_cast<POINT*>(&frame), 2);
    }
  }
  if (pre_show) pre_show();

  page_result_ = kPageCancel;
  if (!page.Create(static_cast<UINT>(template_id), CWnd::FromHandle(parent_window_))) {
    // No page can be shown: leave the wizard as if the user cancelled.
    NsisPushString(L"cancel");
    return kPageCancel;
  }
  if (have_frame)
    page.SetWindowPos(nullptr, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
                      SWP_NOZORDER | SWP_NOACTIVATE);
  current_page_ = &page;
  page_result_ = kPageNext;
  if (parent_window_) {
    LRESULT font = ::SendMessageW(parent_window_, WM_GETFONT, 0, 0);
    page.SendMessage(WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    ::SendMessageW(parent_window_, nsis::kWmNotifyCustomReady, reinterpret_cast<WPARAM>(page.m_hWnd), 0);
  }
  page.ShowWindow(SW_SHOWNA);

  page_ended_ = false;
  bool quit = false;
  WPARAM quit_code = 0;
  MSG msg;
  while (!page_ended_) {
    if (!page.m_hWnd || !::IsWindow(page.m_hWnd)) {
      page_result_ = kPageCancel;
      break;
    }
    BOOL got = pageGetMessage(&msg, nullptr, 0, 0);
    if (got == -1) {  // the queue cannot be read: leave rather than spin
      page_result_ = kPageCancel;
      break;
    }
    if (got == 0) {  // WM_QUIT belongs to the host's loop: end the page and hand it back
      quit = true;
      quit_code = msg.wParam;
      page_result_ = kPageCancel;
      break;
    }
    if (page.PreTranslateMessage(&msg)) continue;
    if (::IsDialogMessageW(page.m_hWnd, &msg)) continue;
    if (parent_window_ && ::IsDialogMessageW(parent_window_, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }

  current_page_ = nullptr;
  if (page.m_hWnd) page.DestroyWindow();
  const int result = page_result_;
  NsisPushString(result == kPageCancel ? L"cancel" : result == kPageBack ? L"back" : L"success");
  if (quit) ::PostQuitMessage(static_cast<int>(quit_code));
  return result;
}

void CGWPluginApp::EndPage(int result) {
  page_result_ = result;
  page_ended_ = true;
}

void CGWPluginApp::ClickNsisNext() {
  if (!parent_window_) return;
  HWND next = ::GetDlgItem(parent_window_, nsis::kIdNext);
  if (next) ::EnableWindow(next, TRUE);
  ::SendMessageW(parent_window_, WM_COMMAND, nsis::kIdNext, reinterpret_cast<LPARAM>(next));
}

int CGWPluginApp::catalogueResult() const { return handoff_ ? handoff_->Result() : 0; }

bool CGWPluginApp::WaitForDownloadEnd(DWORD milliseconds) const {
  if (!handoff_) return false;
  if (handoff_->Ended()) return true;
  if (!handoff_->EndedEvent()) return false;
  return WaitForSingleObject(handoff_->EndedEvent(), milliseconds) == WAIT_OBJECT_0;
}

namespace {

// Keeps this module loaded until the process ends: a download thread that outlives the
// plug-in's unloading still runs the module's code.
void PinThisModule() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                          reinterpret_cast<LPCWSTR>(&PinThisModule), &module))
    LogLine(L"the plug-in could not be pinned, error " + std::to_wstring(GetLastError()));
}

}  // namespace

void CGWPluginApp::StopCatalogueDownload() {
  if (handoff_) handoff_->SetNotifyWindow(nullptr);
  if (catalogue_task_) {
    if (catalogue_task_->GetState() != DownloadState::NotStarted && !catalogue_task_->WaitFinished(0)) {
      catalogue_task_->RequestCancel();
      if (!catalogue_task_->WaitFinished(unloadWaitMs)) {
        LogLine(L"the catalogue download is still running at unload; the plug-in stays loaded");
        PinThisModule();
      }
    }
    finished_connection_.disconnect();
    catalogue_task_.reset();
  }
}

void CGWPluginApp::StartContentDownload() {
  StopCatalogueDownload();
  content_.reset();
  offers_built_ = false;
  offers_built_for_ = -1;
  handoff_ = std::make_shared<CatalogueHandOff>();
  handoff_->SetNotifyWindow(hidden_window_ ? hidden_window_->m_hWnd : nullptr);
  try {
    FileDownloadTaskPtr task(new FileDownloadTask());
    task->SetUrl(CatalogueAddress(langid));
    task->SetUserAgent(userAgent);
    task->SetTimeouts(catalogueTimeouts);
    // The slot holds the hand-off, never the application object: it may run after the
    // plug-in has let the download go.
    std::shared_ptr<CatalogueHandOff> handoff = handoff_;
    finished_connection_ = task->Finished().connect([handoff](FileDownloadTask& ended) {
      int result = static_cast<int>(DownloadResult::Failed);
      try {
        result = static_cast<int>(ended.GetResult());
      } catch (...) {
        // The outcome cannot be read: the download counts as failed.
      }
      handoff->Finish(result);
    });
    catalogue_task_ = task;
    task->StartToMemory();
  } catch (const std::exception& e) {
    LogLine(L"the catalogue download could not start: " + WidenAscii(e.what()));
    handoff_->Finish(static_cast<int>(DownloadResult::Failed));
  } catch (...) {
    LogLine(L"the catalogue download could not start");
    handoff_->Finish(static_cast<int>(DownloadResult::Failed));
  }
}

void CGWPluginApp::OnCatalogueEnded() {
  if (!handoff_ || !handoff_->Ended()) return;
  // The build dispatches messages while the size probes run. It runs now only where no script
  // code can slip in between: behind the checking dialog (its owner is disabled), or while a
  // page is up (the NSIS window is disabled during the build). Anywhere else the script could
  // call an export from inside the build; the offers are then built when it next asks.
  if (!checking_dialog_ && !(current_page_ && parent_window_)) return;
  BuildOffers();
}

namespace {

// Disables a window for a scope, unless it was disabled already (a modal dialog's owner).
class InputBlock {
 public:
  explicit InputBlock(HWND window) {
    if (window && IsWindow(window) && IsWindowEnabled(window)) {
      window_ = window;
      EnableWindow(window_, FALSE);
    }
  }
  ~InputBlock() {
    if (window_ && IsWindow(window_)) EnableWindow(window_, TRUE);
  }
  InputBlock(const InputBlock&) = delete;
  InputBlock& operator=(const InputBlock&) = delete;

 private:
  HWND window_ = nullptr;
};

class Flag {
 public:
  explicit Flag(bool& flag) : flag_(flag) { flag_ = true; }
  ~Flag() { flag_ = false; }
  Flag(const Flag&) = delete;
  Flag& operator=(const Flag&) = delete;

 private:
  bool& flag_;
};

}  // namespace

void CGWPluginApp::BuildOffers() {
  // The size probes dispatch messages while they wait, so the hand-over (or the checking
  // dialog's look) may ask again meanwhile: the running build takes the newer outcome.
  if (building_) {
    rebuild_pending_ = true;
    return;
  }
  bool built = false;
  {
    Flag building(building_);
    // Clicks on the installer window during the build would reach the script and the pages
    // while the offers are half made; it still paints.
    InputBlock block(parent_window_ ? parent_window_ : wait_owner_);
    do {
      rebuild_pending_ = false;
      const int result = catalogueResult();
      if (offers_built_ && offers_built_for_ == result) break;
      BuildOffersOnce(result);
      offers_built_ = true;
      offers_built_for_ = result;
      built = true;
    } while (rebuild_pending_);
  }
  if (!built) return;
  if (CWnd* page = current_page_)
    if (page->m_hWnd) page->SendMessage(WM_CONTENT_READY, 0, 0);
  if (checking_dialog_ && checking_dialog_->m_hWnd) checking_dialog_->EndDialog(CCheckingDlg::kEndedBuilt);
}

void CGWPluginApp::BuildOffersOnce(int result) {
  content_.reset();
  if (result == static_cast<int>(DownloadResult::Success) && catalogue_task_) {
    try {
      EnsureLocaleCatalog();
      ByteBuffer data = catalogue_task_->GetData();
      content_ = ParseCatalogue(MemoryView(data));
      if (!content_) LogLine(L"catalogue rejected: not an XML document");
    } catch (const std::exception& e) {
      content_.reset();
      LogLine(L"catalogue rejected: " + WidenAscii(e.what()));
    } catch (...) {
      content_.reset();
      LogLine(L"catalogue rejected: unknown failure");
    }
  } else if (!handoff_) {
    LogLine(L"no catalogue download was started: the offers are made without it");
  } else if (result == 0) {
    LogLine(L"catalogue not there in time: the offers are made without it");
  } else {
    LogLine(L"catalogue download failed: " + WidenAscii(DownloadResultName(static_cast<DownloadResult>(result))));
  }
  catalogue.OnContentReady(content_);
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
  checking_dialog_ = &dialog;
  INT_PTR ended = -1;
  try {
    ended = dialog.DoModal();
  } catch (...) {
    checking_dialog_ = nullptr;
    throw;
  }
  checking_dialog_ = nullptr;
  if (ended == -1) {
    // No dialog: wait all the same, as long as the dialog would have.
    LogLine(L"checking dialog " + std::to_wstring(template_id) + L" could not be shown, error " +
            std::to_wstring(GetLastError()));
    if (handoff_ && handoff_->EndedEvent()) WaitDispatchingMessages(handoff_->EndedEvent(), limit);
  } else {
    LogLine(L"checking dialog closed");
  }
}

void CGWPluginApp::WaitForCatalogue(HWND owner) {
  wait_owner_ = owner;
  struct Forget {
    HWND& owner;
    ~Forget() { owner = nullptr; }
  } forget{wait_owner_};
  if (handoff_ && handoff_->Ended()) BuildOffers();  // no-op when built for this outcome
  if (offers_built_) return;
  if (handoff_ && !handoff_->Ended()) RunCheckingDialog(owner);
  // Ended, given up or closed: the offers are made from whatever has arrived.
  BuildOffers();
}

}  // namespace gwplugin
