// Hosting a page in an NSIS-like window: the replaced dialog procedure, the page messages,
// the pushed results and the page loop's handling of WM_QUIT. The fake NSIS window is a
// dialog with the page frame (1018) and the Next, Cancel and Back buttons; its own dialog
// procedure accepts every move, as NSIS does when the page's leave function agrees.
#include <Exports.h>
#include <FakeNsisHost.h>
#include <NsisStack.h>
#include <PluginApp.h>
#include <TestPage.h>

#include "PluginTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using gwplugin_test::CTestPage;
using gwplugin_test::FakeNsisHost;
using gwplugin_test::PageEvent;
using Texts = std::vector<std::wstring>;

namespace {

struct FakeNsis {
  std::vector<WPARAM> outerNext;  // WM_NOTIFY_OUTER_NEXT seen by NSIS's own procedure
  std::vector<HWND> customReady;
  INT_PTR answer = 0;  // what NSIS's procedure answers WM_NOTIFY_OUTER_NEXT
};
FakeNsis* g_nsis = nullptr;

INT_PTR CALLBACK NsisDlgProc(HWND, UINT message, WPARAM wParam, LPARAM) {
  if (!g_nsis) return FALSE;
  if (message == nsis::kWmNotifyOuterNext) {
    g_nsis->outerNext.push_back(wParam);
    return g_nsis->answer;
  }
  if (message == nsis::kWmNotifyCustomReady) g_nsis->customReady.push_back(reinterpret_cast<HWND>(wParam));
  return message == WM_INITDIALOG;
}

// An empty dialog template in memory (DLGTEMPLATE + menu, class, title, all empty).
struct alignas(4) EmptyTemplate {
  DLGTEMPLATE header{WS_POPUP | WS_CAPTION | DS_SETFONT * 0, 0, 0, 0, 0, 320, 200};
  WORD menu = 0, window_class = 0, title = 0;
};

class PageHost : public testing::Test {
 public:
  void SetUp() override {
    gwplugin::DestroyPluginApp();
    g_nsis = &nsis_;
    static EmptyTemplate tmpl;
    window_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &tmpl.header, nullptr, &NsisDlgProc, 0);
    ASSERT_NE(nullptr, window_) << GetLastError();
    CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 300, 140, window_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(nsis::kIdPageFrame)), nullptr, nullptr);
    for (int id : {nsis::kIdNext, nsis::kIdCancel, nsis::kIdBack})
      CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10 + 60 * id, 160, 50, 20, window_,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    // Export calls keep the host's values; RunPage pushes through them.
    host_.Call([](HWND, int size, WCHAR* vars, nsis::StackEntry** top, nsis::ExtraParameters* extra) {
      gwplugin::NsisEnterCall(size, vars, top, extra);
    });
    ASSERT_TRUE(gwplugin::ThePluginApp().EnsureStarted());
  }
  void TearDown() override {
    gwplugin::DestroyPluginApp();
    if (window_) DestroyWindow(window_);
    g_nsis = nullptr;
  }

  // Runs the test page; action runs once the page loop runs.
  int Run(void (*action)(CTestPage&, void*)) {
    gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
    app.SubclassNsisWindow(window_);
    page_.onShown = action;
    page_.onShownContext = this;
    int result = app.RunPage(page_, gwplugin_test::kTestPageTemplate);
    restored_proc_ok_ = true;
    app.RestoreNsisWindow();
    restored_proc_ok_ = GetWindowLongPtrW(window_, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(&NsisDlgProc);
    return result;
  }

  static void Outer(CTestPage& page, WPARAM code) {
    ::SendMessageW(::GetParent(page.m_hWnd), nsis::kWmNotifyOuterNext, code, 0);
  }

  FakeNsis nsis_;
  FakeNsisHost host_;
  HWND window_ = nullptr;
  CTestPage page_;
  bool restored_proc_ok_ = false;
};

TEST_F(PageHost, NextPushesSuccessAboveThePagesValues) {
  host_.Push(L"beneath");
  int result = Run([](CTestPage& page, void*) { Outer(page, nsis::kOuterNext); });
  EXPECT_EQ(gwplugin::kPageNext, result);
  EXPECT_EQ((Texts{L"success", L"2", L"value=page value", L"beneath"}), host_.Stack());
  EXPECT_EQ((std::vector<PageEvent>{{gwplugin::WM_PAGE_LEAVING, 2}, {gwplugin::WM_PAGE_LEFT, 2}}), page_.events);
  EXPECT_EQ(std::vector<WPARAM>{1}, nsis_.outerNext);
  ASSERT_EQ(1u, nsis_.customReady.size());
  EXPECT_EQ(nullptr, page_.m_hWnd) << "the page window is destroyed after the run";
  EXPECT_TRUE(restored_proc_ok_) << "NSIS's dialog procedure is back";
}

TEST_F(PageHost, BackNeverAsksTheLeavingQuestion) {
  int result = Run([](CTestPage& page, void*) { Outer(page, static_cast<WPARAM>(nsis::kOuterBack)); });
  EXPECT_EQ(gwplugin::kPageBack, result);
  EXPECT_EQ((Texts{L"back", L"1", L"value=page value"}), host_.Stack());
  EXPECT_EQ((std::vector<PageEvent>{{gwplugin::WM_PAGE_LEFT, 1}}), page_.events);
}

TEST_F(PageHost, CancelReportsFourToThePage) {
  int result = Run([](CTestPage& page, void*) { Outer(page, nsis::kOuterCancel); });
  EXPECT_EQ(gwplugin::kPageCancel, result);
  EXPECT_EQ((Texts{L"cancel", L"4", L"value=page value"}), host_.Stack());
  EXPECT_EQ((std::vector<PageEvent>{{gwplugin::WM_PAGE_LEFT, 4}}), page_.events);
}

TEST_F(PageHost, ARefusingPageStaysUp) {
  page_.allowLeaving = 0;
  int result = Run([](CTestPage& page, void*) {
    Outer(page, nsis::kOuterNext);  // refused: NSIS never sees it
    EXPECT_TRUE(::IsWindow(page.m_hWnd));
    page.allowLeaving = 1;
    Outer(page, nsis::kOuterNext);
  });
  EXPECT_EQ(gwplugin::kPageNext, result);
  EXPECT_EQ(std::vector<WPARAM>{1}, nsis_.outerNext);
  EXPECT_EQ((std::vector<PageEvent>{
                {gwplugin::WM_PAGE_LEAVING, 2}, {gwplugin::WM_PAGE_LEAVING, 2}, {gwplugin::WM_PAGE_LEFT, 2}}),
            page_.events);
}

TEST_F(PageHost, NsisRefusingTheMoveKeepsThePage) {
  int result = Run([](CTestPage& page, void* context) {
    auto* self = static_cast<PageHost*>(context);
    self->nsis_.answer = 1;
    Outer(page, nsis::kOuterNext);
    EXPECT_TRUE(::IsWindow(page.m_hWnd));
    self->nsis_.answer = 0;
    Outer(page, static_cast<WPARAM>(nsis::kOuterBack));
  });
  EXPECT_EQ(gwplugin::kPageBack, result);
  EXPECT_EQ((std::vector<WPARAM>{1, static_cast<WPARAM>(-1)}), nsis_.outerNext);
}

// WM_QUIT belongs to the host's own loop: the page ends as cancelled and the quit message
// is posted again with its code.
TEST_F(PageHost, QuitEndsThePageAndIsPostedAgain) {
  int result = Run([](CTestPage&, void*) { PostQuitMessage(7); });
  EXPECT_EQ(gwplugin::kPageCancel, result);
  EXPECT_EQ((Texts{L"cancel"}), host_.Stack());
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "WM_QUIT was swallowed";
  EXPECT_EQ(7u, msg.wParam);
}

// Fault: GetMessageW's -1 (the queue cannot be read) was taken for a message. It ends the page
// as cancelled at once, without a quit message; a loop that went on would end as "success".
int g_getMessageCalls = 0;
BOOL WINAPI UnreadableQueue(LPMSG msg, HWND, UINT, UINT) {
  *msg = MSG{};
  if (++g_getMessageCalls == 1) return -1;
  gwplugin::ThePluginApp().EndPage(gwplugin::kPageNext);
  return TRUE;  // WM_NULL
}

TEST_F(PageHost, AnUnreadableQueueEndsThePageAsCancelled) {
  g_getMessageCalls = 0;
  gwplugin::ThePluginApp().pageGetMessage = &UnreadableQueue;
  int result = Run([](CTestPage&, void*) {});
  EXPECT_EQ(gwplugin::kPageCancel, result);
  EXPECT_EQ(1, g_getMessageCalls);
  EXPECT_EQ((Texts{L"cancel"}), host_.Stack());
  EXPECT_EQ(nullptr, page_.m_hWnd) << "the page window is destroyed after the run";
  EXPECT_TRUE(restored_proc_ok_) << "NSIS's dialog procedure is back";
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "no quit message was taken";
}

TEST_F(PageHost, APageWithoutTemplateCancels) {
  gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
  app.SubclassNsisWindow(window_);
  EXPECT_EQ(gwplugin::kPageCancel, app.RunPage(page_, 65000));
  app.RestoreNsisWindow();
  EXPECT_EQ((Texts{L"cancel"}), host_.Stack());
}

TEST_F(PageHost, ThePageFillsTheNsisFrame) {
  Run([](CTestPage& page, void*) {
    HWND parent = ::GetParent(page.m_hWnd);
    RECT frame, placed;
    ::GetWindowRect(::GetDlgItem(parent, nsis::kIdPageFrame), &frame);
    ::GetWindowRect(page.m_hWnd, &placed);
    EXPECT_EQ(frame.left, placed.left);
    EXPECT_EQ(frame.top, placed.top);
    EXPECT_EQ(frame.right, placed.right);
    EXPECT_EQ(frame.bottom, placed.bottom);
    Outer(page, nsis::kOuterNext);
  });
}

// The flags page with no catalogue: what it pops and pushes.
TEST_F(PageHost, FlagsPageReadsItsTextsAndPushesLanguageMode) {
  gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
  host_.Push(L"beneath");
  host_.Push(L"/END");
  host_.Push(L"|Languages|Mine|Third");
  gwplugin::CLangFlagsDlg& flags = app.flagsPage;
  flags.ReadStackTexts();
  EXPECT_EQ(L"Languages", flags.ModeText(0));
  EXPECT_EQ(L"Mine", flags.ModeText(1));
  EXPECT_EQ((Texts{L"beneath"}), host_.Stack()) << "\"/END\" is consumed";
  host_.Clear();
  app.SubclassNsisWindow(window_);
  ::PostMessageW(window_, nsis::kWmNotifyOuterNext, nsis::kOuterNext, 0);
  int result = app.RunPage(flags, 2017);
  app.RestoreNsisWindow();
  EXPECT_EQ(gwplugin::kPageNext, result);
  EXPECT_EQ((Texts{L"success", L"RS_LANG", L"0"}), host_.Stack());
}

TEST(FlagsPageTexts, AtMostTwoStringsArePopped) {
  FakeNsisHost host;
  host.Call([](HWND, int size, WCHAR* vars, nsis::StackEntry** top, nsis::ExtraParameters* extra) {
    gwplugin::NsisEnterCall(size, vars, top, extra);
  });
  host.Push(L"/END");
  host.Push(L"second");
  host.Push(L"only first");
  gwplugin::CLangFlagsDlg page;
  page.ReadStackTexts();
  EXPECT_EQ(L"only first", page.ModeText(0));
  EXPECT_EQ(L"", page.ModeText(1));
  EXPECT_EQ((Texts{L"/END"}), host.Stack());
}

// The catalogue download ends while a page is up: the offers are built there and then (the
// NSIS window taking no input meanwhile) and the page is told to refill itself.
TEST_F(PageHost, ACatalogueEndingUnderAPageRebuildsAndTellsThePage) {
  gwplugin_test::ScopedEnvironment gateway(L"ORV_GW_TEST_GATEWAY", gwplugin_test::RefusedGateway());
  host_.Push(L"END");
  host_.Push(L"");
  host_.Push(L"0");
  host_.Call(&gwplugin::Initialize);
  EXPECT_FALSE(gwplugin::ThePluginApp().OffersBuilt());
  int result = Run([](CTestPage& page, void*) {
    // The hand-over is queued once the download has ended; Next is queued behind it.
    EXPECT_TRUE(gwplugin::ThePluginApp().WaitForDownloadEnd(30000));
    ::PostMessageW(::GetParent(page.m_hWnd), nsis::kWmNotifyOuterNext, nsis::kOuterNext, 0);
  });
  EXPECT_EQ(gwplugin::kPageNext, result);
  EXPECT_TRUE(gwplugin::ThePluginApp().OffersBuilt());
  EXPECT_EQ((std::vector<PageEvent>{
                {gwplugin::WM_CONTENT_READY, 0}, {gwplugin::WM_PAGE_LEAVING, 2}, {gwplugin::WM_PAGE_LEFT, 2}}),
            page_.events);
  EXPECT_TRUE(IsWindowEnabled(window_)) << "the NSIS window takes input again after the build";
}

}  // namespace
