// The progress page hosted in a fake NSIS window, driving the real install queue against the
// local gateway with a shortened step: a whole run ending in the page's own Next press, a
// failed download retried (resuming) or cancelled ("CLOSE" under "cancel"), and the banner.
#include "QueueTestSupport.h"

#include <DialogTemplates.h>
#include <FakeNsisHost.h>
#include <FakeNsisWindow.h>
#include <NsisStack.h>
#include <PluginApp.h>

#include <commctrl.h>

#include <functional>
#include <map>

using namespace gwplugin;
using gwplugin_test::FakeNsisHost;
using gwplugin_test::FakeNsisWindow;
using gwplugin_test::WhenLoopRuns;
using orv_products::CProdPtr;
using queue_test::Gateway;
using queue_test::GatewayControl;
using queue_test::InstallerRecord;
using queue_test::ProductInstaller;
using queue_test::QueueSandbox;
using queue_test::ReadBytes;
using Texts = std::vector<std::wstring>;

namespace {

std::wstring Text(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// A 24-bit bitmap file of width x height pixels.
bool WriteBitmap(const std::wstring& path, int width, int height) {
  const DWORD row = static_cast<DWORD>((width * 3 + 3) & ~3);
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = row * static_cast<DWORD>(height);
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
  bytes.append(info.biSizeImage, '\x40');
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  CloseHandle(handle);
  return ok;
}

class ProgressPage : public QueueSandbox {
 protected:
  void SetUp() override {
    QueueSandbox::SetUp();
    DestroyPluginApp();
    ASSERT_NE(nullptr, m_nsis.Handle());
    m_host.Call([](HWND, int size, WCHAR* vars, nsis::StackEntry** top, nsis::ExtraParameters* extra) {
      NsisEnterCall(size, vars, top, extra);
    });
    ASSERT_TRUE(ThePluginApp().EnsureStarted());
    ThePluginApp().langid = 1033;
    // The queue steps every 10 ms instead of every second.
    ThePluginApp().progressPage.SetStepInterval(10);
  }
  void TearDown() override {
    DestroyPluginApp();
    QueueSandbox::TearDown();
  }

  // Runs the page as ShowInstallDialog does (banner arguments already pushed); action runs
  // once the page is up. The queue asks its questions through the sandbox.
  int RunProgress(std::function<void(HWND page)> action = nullptr) {
    CGWPluginApp& app = ThePluginApp();
    app.progressPage.Queue().Configure(Config(1033));
    app.SubclassNsisWindow(m_nsis.Handle());
    if (action) WhenLoopRuns([&app, action] { action(app.progressPage.m_hWnd); });
    m_nsis.GiveUpAfter(120000);  // a safety net: the page would otherwise wait forever
    const int result = app.RunPage(app.progressPage, TemplatesForLanguage(1033).progress);
    m_nsis.GiveUpAfter(0);
    app.RestoreNsisWindow();
    EXPECT_FALSE(m_nsis.GaveUp()) << "the page did not end by itself";
    return result;
  }

  FakeNsisWindow m_nsis;
  FakeNsisHost m_host;
};

// Two downloads (an application and a voice), installed in order; the page disables Back and
// Next, loses Cancel when the downloads are over, and presses Next itself at the end.
TEST_F(ProgressPage, AWholeRunEndsWithTheNextPress) {
  std::string why;
  ASSERT_NE(nullptr, Gateway(&why)) << why;
  ProductOffer& offer = ThePluginApp().catalogue.mergedOffer;
  CProdPtr helm = Download(L"ORVEL_HELM", L"Orvel Helmstand", L"app_helm.exe", VersionNumber(2, 1, 0, 0));
  CProdPtr elbe = Download(L"VOICE_ELBE", L"Orvel 2 Elbe", L"voice_elbe.exe", VersionNumber(1, 6, 2, 0));
  offer.products = {helm, elbe};
  m_host.Push(L"beneath");
  m_host.Push(L"");  // no banner
  struct AtNext {
    bool back = true, cancel = true, next = false;
    std::wstring status;
    int position = -1, upper = -1;
  } at_next;
  m_nsis.onNextClicked = [&] {
    HWND page = ThePluginApp().progressPage.m_hWnd;
    at_next.back = m_nsis.ButtonEnabled(nsis::kIdBack);
    at_next.cancel = m_nsis.ButtonEnabled(nsis::kIdCancel);
    at_next.next = m_nsis.ButtonEnabled(nsis::kIdNext);
    at_next.status = Text(GetDlgItem(page, CProgressDlg::kIdStatus));
    HWND bar = GetDlgItem(page, CProgressDlg::kIdProgress);
    at_next.position = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
    at_next.upper = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
  };
  EXPECT_EQ(kPageNext, RunProgress());
  EXPECT_EQ((Texts{L"success", L"beneath"}), m_host.Stack()) << "the page pushes nothing of its own";
  EXPECT_EQ(std::vector<WPARAM>{1}, m_nsis.moves);
  EXPECT_FALSE(at_next.back);
  EXPECT_FALSE(at_next.cancel) << "no cancel once the downloads are over";
  EXPECT_TRUE(at_next.next) << "the page enables Next before it presses it";
  EXPECT_EQ(L"Installation completed", at_next.status);
  EXPECT_EQ(4, at_next.upper);
  EXPECT_EQ(4, at_next.position);
  const std::vector<InstallerRecord> records = Records();
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ("ORVEL_HELM", records[0].id);
  EXPECT_EQ("VOICE_ELBE", records[1].id);
  EXPECT_EQ("1033", records[1].language);
}

struct FailureCase {
  const char* name;
  const wchar_t* fault;
  int answer;
  int result;
  Texts stack;
  std::size_t records;
};

// How a page was left.
struct Left {
  int result = -1;
  Texts stack;
  std::vector<WPARAM> moves;
  int cancelCommands = 0;  // WM_COMMAND of the NSIS Cancel button
};

enum class Press { Click, Escape, EscapeWithoutFocus, EscapeWhileDisabled };

const char* PressName(Press press) {
  switch (press) {
    case Press::Click:
      return "click on Cancel";
    case Press::Escape:
      return "Escape";
    case Press::EscapeWithoutFocus:
      return "Escape, no focus";
    case Press::EscapeWhileDisabled:
      return "Escape, Cancel disabled";
  }
  return "?";
}

// Escape on any of the plug-in's pages does what a click on the NSIS Cancel button does there
// (the progress page during a download: leave and stop the download, its file closed), and
// nothing while that button is disabled (then the test leaves the page with Back).
TEST_F(ProgressPage, EscapePressesTheNsisCancelWheneverItIsEnabled) {
  std::string why;
  const testgateway::GatewayInfo* gateway = Gateway(&why);
  ASSERT_NE(nullptr, gateway) << why;
  int run = 0;  // actions left over from an earlier run do nothing
  for (const char* kind : {"flags", "components", "progress"}) {
    const bool progress = std::string(kind) == "progress";
    std::map<Press, Left> left;
    for (Press press : {Press::Click, Press::Escape, Press::EscapeWithoutFocus, Press::EscapeWhileDisabled}) {
      SCOPED_TRACE(std::string(kind) + " page, " + PressName(press));
      TearDown();
      SetUp();
      m_host.Clear();
      CGWPluginApp& app = ThePluginApp();
      CProdPtr elbe;
      CDialog* page = &app.progressPage;
      int template_id = TemplatesForLanguage(1033).progress;
      std::function<void()> pre_show;
      if (progress) {
        // The download gets its headers and then not a byte more.
        ASSERT_TRUE(GatewayControl(L"/_control/reset"));
        ASSERT_TRUE(GatewayControl(
            L"/_control/fault?path=/voice_elbe.exe&fault=stall&only=GET&stall_after=0&stall_seconds=300"));
        elbe = Download(L"VOICE_ELBE", L"Orvel 2 Elbe", L"voice_elbe.exe", VersionNumber(1, 6, 2, 0));
        app.catalogue.mergedOffer.products = {elbe};
        app.progressPage.Queue().Configure(Config(1033));
        m_host.Push(L"");  // no banner
      } else if (std::string(kind) == "flags") {
        page = &app.flagsPage;
        template_id = TemplatesForLanguage(1033).flags;
        m_host.Push(L"/END");
        m_host.Push(L"|Languages|Mine");
        pre_show = [&app] { app.flagsPage.ReadStackTexts(); };
      } else {
        page = &app.componentsPage;
        template_id = TemplatesForLanguage(1033).components;
      }
      m_nsis.moves.clear();
      m_nsis.cancelCommands = 0;
      const int this_run = ++run;
      WhenLoopRuns([&, this_run, press] {
        HWND window = page->m_hWnd;
        if (progress) {
          EXPECT_TRUE(testgateway::AwaitLogged(*gateway, "GET /voice_elbe.exe")) << "the download never started";
        }
        HWND cancel = m_nsis.Button(nsis::kIdCancel);
        if (press == Press::EscapeWhileDisabled) EnableWindow(cancel, FALSE);
        if (press == Press::Click) {
          SendMessageW(m_nsis.Handle(), WM_COMMAND, MAKEWPARAM(nsis::kIdCancel, BN_CLICKED),
                       reinterpret_cast<LPARAM>(cancel));
          return;
        }
        // The key reaches the page's loop as a user's would, on the page's first control (the
        // progress page has none that takes the focus: the page itself then). With no focus at
        // all (the focused NSIS button was disabled under it, say) the system gives the key to
        // the active window, the installer's, as a system key.
        HWND focus = GetNextDlgTabItem(window, nullptr, FALSE);
        if (!focus) focus = window;
        UINT down = WM_KEYDOWN, up = WM_KEYUP;
        if (press == Press::EscapeWithoutFocus) {
          focus = m_nsis.Handle();
          down = WM_SYSKEYDOWN;
          up = WM_SYSKEYUP;
          SetFocus(nullptr);
        } else {
          SetFocus(focus);
        }
        const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(VK_ESCAPE, 0)) << 16;
        PostMessageW(focus, down, VK_ESCAPE, scan | 1);
        PostMessageW(focus, up, VK_ESCAPE, scan | 1 | (3 << 30));
        // Runs once the key has been handled: a page still up is left with Back.
        WhenLoopRuns([&, this_run, window] {
          if (run == this_run && IsWindow(window)) m_nsis.Move(static_cast<WPARAM>(nsis::kOuterBack));
        });
      });
      app.SubclassNsisWindow(m_nsis.Handle());
      m_nsis.GiveUpAfter(120000);  // a safety net: the page would otherwise wait forever
      Left& seen = left[press];
      seen.result = app.RunPage(*page, template_id, pre_show);
      m_nsis.GiveUpAfter(0);
      app.RestoreNsisWindow();
      EXPECT_FALSE(m_nsis.GaveUp()) << "the page did not end";
      seen.stack = m_host.Stack();
      seen.moves = m_nsis.moves;
      seen.cancelCommands = m_nsis.cancelCommands;
      EnableWindow(m_nsis.Button(nsis::kIdCancel), TRUE);
      if (progress) {
        // However the page was left, the download was stopped before it went: its task has
        // ended as cancelled, and its file stays, closed.
        const std::deque<InstallQueueEntry>& entries = app.progressPage.Queue().Entries();
        ASSERT_EQ(1u, entries.size());
        ASSERT_TRUE(entries[0].task);
        EXPECT_TRUE(entries[0].task->WaitFinished(0)) << "the download still runs after the page has gone";
        EXPECT_EQ(DownloadResult::Cancelled, entries[0].task->GetResult())
            << DownloadResultName(entries[0].task->GetResult());
        win::UniqueFile exclusive(CreateFileW(elbe->instFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(exclusive) << "the download file is still open (error " << GetLastError() << ")";
        EXPECT_TRUE(testgateway::ReleaseHeld(*gateway));
      }
    }
    const Left& click = left[Press::Click];
    EXPECT_EQ(kPageCancel, click.result) << kind;
    EXPECT_EQ(1, click.cancelCommands) << kind;
    EXPECT_EQ(std::vector<WPARAM>{nsis::kOuterCancel}, click.moves) << kind;
    for (Press press : {Press::Escape, Press::EscapeWithoutFocus}) {
      const Left& escape = left[press];
      EXPECT_EQ(click.result, escape.result) << kind << ", " << PressName(press);
      EXPECT_EQ(click.stack, escape.stack) << kind << ", " << PressName(press);
      EXPECT_EQ(click.moves, escape.moves) << kind << ", " << PressName(press);
      EXPECT_EQ(click.cancelCommands, escape.cancelCommands) << kind << ", " << PressName(press);
    }
    const Left& disabled = left[Press::EscapeWhileDisabled];
    EXPECT_EQ(kPageBack, disabled.result) << kind;
    EXPECT_EQ(0, disabled.cancelCommands) << kind;
    EXPECT_EQ(std::vector<WPARAM>{static_cast<WPARAM>(nsis::kOuterBack)}, disabled.moves) << kind;
  }
}

// A failed download asks Retry/Cancel: Retry resumes into the same file and the run goes on;
// Cancel ends the page with "CLOSE" under "cancel".
TEST_F(ProgressPage, AFailedDownloadIsRetriedOrCancelled) {
  std::string why;
  ASSERT_NE(nullptr, Gateway(&why)) << why;
  const std::vector<FailureCase> cases = {
      {"retry resumes", L"fault=short&only=GET", IDRETRY, kPageNext, {L"success"}, 1},
      {"cancel", L"fault=404", IDCANCEL, kPageCancel, {L"cancel", L"CLOSE"}, 0},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    m_questions.clear();
    ASSERT_TRUE(GatewayControl(std::wstring(L"/_control/fault?path=/voice_elbe.exe&") + c.fault));
    CProdPtr elbe = Download(L"VOICE_ELBE", L"Orvel 2 Elbe", L"voice_elbe.exe", VersionNumber(1, 6, 2, 0));
    ThePluginApp().catalogue.mergedOffer.products = {elbe};
    m_answer = [&](const Question&) {
      EXPECT_TRUE(GatewayControl(L"/_control/reset"));
      return c.answer;
    };
    EXPECT_EQ(c.result, RunProgress());
    EXPECT_EQ(c.stack, m_host.Stack());
    EXPECT_EQ(1u, m_questions.size());
    EXPECT_EQ(c.records, Records().size());
    if (c.answer == IDRETRY) {
      EXPECT_TRUE(ReadBytes(elbe->instFile) == ReadBytes(ProductInstaller(L"voice_elbe.exe")));
      std::string log;
      ASSERT_TRUE(GatewayControl(L"/_control/log", &log));
      EXPECT_NE(std::string::npos, log.find("GET /voice_elbe.exe bytes=")) << "the retry resumes: " << log;
    }
  }
}

// Runs an action once the NSIS Next button has been enabled and the handling that enabled it
// has returned to the page's loop.
LRESULT CALLBACK WatchNextEnabled(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto* action = reinterpret_cast<std::function<void()>*>(data);
  if (message == WM_ENABLE && wParam && *action) {
    WhenLoopRuns(std::move(*action));
    *action = nullptr;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

struct InstallFailureCase {
  const char* name;
  std::function<void()> arrange;
  const wchar_t* status;
  std::size_t records;  // installer runs recorded
};

// When a product did not install the page stays with the failure in view and Next enabled,
// and it takes the keyboard: Next, disabled under the focus while the queue ran, gets the focus
// back as the installer window's default button, so that a real Return goes on (with no focus
// the key would reach the active window as a system key, which no dialog turns into a press).
TEST_F(ProgressPage, AFailedInstallLeavesNextFocusedForReturn) {
  std::string why;
  ASSERT_NE(nullptr, Gateway(&why)) << why;
  const std::vector<InstallFailureCase> cases = {
      {"the installer exits with 2", [this] { SetFailure(L"VOICE_ELBE", 2); }, L"Installation failed: Orvel 2 Elbe", 1},
      {"the downloaded file changed before it ran",
       [this] { SetVariable(L"ORV_GW_TEST_OVERWRITE_DOWNLOAD", ProductInstaller(L"app_helm.exe")); },
       L"Installation failed: Orvel 2 Elbe", 0},
  };
  for (const InstallFailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    m_host.Clear();
    m_nsis.moves.clear();
    c.arrange();
    ThePluginApp().catalogue.mergedOffer.products = {
        Download(L"VOICE_ELBE", L"Orvel 2 Elbe", L"voice_elbe.exe", VersionNumber(1, 6, 2, 0))};
    m_host.Push(L"");  // no banner
    struct Seen {
      bool ran = false;
      HWND focus = nullptr;
      LRESULT dialogCode = 0;
      std::wstring status;
    } seen;
    HWND next = m_nsis.Button(nsis::kIdNext);
    std::function<void()> atFailure = [&] {
      seen.ran = true;
      seen.focus = GetFocus();
      if (seen.focus) seen.dialogCode = SendMessageW(seen.focus, WM_GETDLGCODE, 0, 0);
      HWND page = ThePluginApp().progressPage.m_hWnd;
      seen.status = Text(GetDlgItem(page, CProgressDlg::kIdStatus));
      // Return as the keyboard gives it: to the focus, or with none to the active window (the
      // installer's) as a system key.
      HWND target = seen.focus ? seen.focus : m_nsis.Handle();
      const UINT down = seen.focus ? WM_KEYDOWN : WM_SYSKEYDOWN, up = seen.focus ? WM_KEYUP : WM_SYSKEYUP;
      const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(VK_RETURN, 0)) << 16;
      PostMessageW(target, down, VK_RETURN, scan | 1);
      PostMessageW(target, up, VK_RETURN, scan | 1 | (3 << 30));
      // Runs once the key has been handled: a page still up is left with Back.
      WhenLoopRuns([this, page] {
        if (IsWindow(page)) m_nsis.Move(static_cast<WPARAM>(nsis::kOuterBack));
      });
    };
    ASSERT_TRUE(SetWindowSubclass(next, WatchNextEnabled, 1, reinterpret_cast<DWORD_PTR>(&atFailure)));
    const int result = RunProgress();
    RemoveWindowSubclass(next, WatchNextEnabled, 1);
    WhenLoopRuns(nullptr);  // an action this row left pending must not run in a later one
    ASSERT_TRUE(seen.ran) << "Next was never enabled";
    EXPECT_EQ(c.status, seen.status);
    EXPECT_EQ(next, seen.focus) << "the window with the focus: " << seen.focus << ", Next is " << next;
    EXPECT_TRUE(seen.dialogCode & DLGC_DEFPUSHBUTTON)
        << "Next is not the default button, WM_GETDLGCODE 0x" << std::hex << seen.dialogCode;
    EXPECT_EQ(kPageNext, result) << "Return did not go on";
    EXPECT_EQ(std::vector<WPARAM>{nsis::kOuterNext}, m_nsis.moves);
    EXPECT_EQ(c.records, Records().size());
  }
}

struct BannerCase {
  const char* name;
  int imageWidth;  // 0: no file
  int frameWidth, frameHeight, interval;
  int frames;
  UINT period;
};

// The banner: frames cut from one wide image; anything that cannot give a frame gives no
// banner, and an interval that cannot time the frames leaves the first one standing.
TEST_F(ProgressPage, BannerFrames) {
  const std::vector<BannerCase> cases = {
      {"three frames every 2 s", 600, 200, 50, 2, 3, 2000},
      {"one frame, no timer", 200, 200, 50, 2, 1, 0},
      {"narrower than a frame", 150, 200, 50, 2, 0, 0},
      {"frame width 0", 600, 0, 50, 2, 0, 0},
      {"negative frame width", 600, -200, 50, 2, 0, 0},
      {"frame height 0", 600, 200, 0, 2, 0, 0},
      {"interval 0", 600, 200, 50, 0, 3, 0},
      {"interval too long for the timer", 600, 200, 50, 5000000, 3, 3600000},
      {"no such file", 0, 200, 50, 2, 0, 0},
  };
  CProgressDlg& page = ThePluginApp().progressPage;
  int n = 0;
  for (const BannerCase& c : cases) {
    // GDI+ keeps a loaded image's file open: each case has a file of its own.
    const std::wstring path = m_temp + L"banner" + std::to_wstring(++n) + L".bmp";
    if (c.imageWidth) {
      ASSERT_TRUE(WriteBitmap(path, c.imageWidth, 50));
    }
    page.LoadBanner(path, c.frameWidth, c.frameHeight, c.interval);
    EXPECT_EQ(c.frames, page.FrameCount()) << c.name;
    EXPECT_EQ(c.period, page.BannerPeriod()) << c.name;
  }
  page.ReleaseBanner();
}

// On the page: the banner's arguments are popped (and only they), the frames follow
// 0, 1, 2, 0 on the banner timer, and with nothing to install the first step presses Next.
TEST_F(ProgressPage, BannerOnThePage) {
  const std::wstring path = m_temp + L"banner.bmp";
  ASSERT_TRUE(WriteBitmap(path, 600, 50));
  struct Run {
    const wchar_t* frameWidth;
    int frames;
    std::vector<int> cycle;
  };
  for (const Run& run : {Run{L"200", 3, {0, 1, 2, 0}}, Run{L"0", 0, {0}}}) {
    m_host.Clear();
    m_host.Push(L"beneath");
    m_host.Push(L"2");
    m_host.Push(L"50");
    m_host.Push(run.frameWidth);
    m_host.Push(path);
    std::vector<int> cycle;
    int frames = -1;
    // The queue's own timer stays out of the way; the test gives the one step.
    ThePluginApp().progressPage.SetStepInterval(USER_TIMER_MAXIMUM);
    EXPECT_EQ(kPageNext, RunProgress([&](HWND window) {
                CProgressDlg& page = ThePluginApp().progressPage;
                frames = page.FrameCount();
                cycle.push_back(page.CurrentFrame());
                for (int i = 0; i < 3 && frames > 0; ++i) {
                  SendMessageW(window, WM_TIMER, CProgressDlg::IDT_BANNER_FRAME, 0);
                  cycle.push_back(page.CurrentFrame());
                }
                UpdateWindow(window);  // paints the frame (nothing for no banner)
                SendMessageW(window, WM_TIMER, CProgressDlg::IDT_QUEUE_STEP, 0);
              }));
    EXPECT_EQ(run.frames, frames);
    EXPECT_EQ(run.cycle, cycle);
    EXPECT_EQ((Texts{L"success", L"beneath"}), m_host.Stack());
  }
}

}  // namespace
