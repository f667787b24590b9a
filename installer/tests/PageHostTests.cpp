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
    g_nsis = &m_nsis;
    static EmptyTemplate tmpl;
    m_window = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &tmpl.header, nullptr, &NsisDlgProc, 0);
    ASSERT_NE(nullptr, m_window) << GetLastError();
    CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 300, 140, m_window,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(nsis::kIdPageFrame)), nullptr, nullptr);
    for (int id : {nsis::kIdNext, nsis::kIdCancel, nsis::kIdBack})
      CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10 + 60 * id, 160, 50, 20, m_window,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    // Export calls keep the host's values; RunPage pushes through them.
    m_host.Call([](HWND, int size, WCHAR* vars, nsis::StackEntry** top, nsis::ExtraParameters* extra) {
      gwplugin::NsisEnterCall(size, vars, top, extra);
    });
    ASSERT_TRUE(gwplugin::ThePluginApp().EnsureStarted());
  }
  void TearDown() override {
    gwplugin::DestroyPluginApp();
    if (m_window) DestroyWindow(m_window);
    g_nsis = nullptr;
  }

  // Runs the test page; action runs once the page loop runs.
  int Run(void (*action)(CTestPage&, void*)) {
    gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
    app.SubclassNsisWindow(m_window);
    m_page.onShown = action;
    m_page.onShownContext = this;
    int result = app.RunPage(m_page, gwplugin_test::kTestPageTemplate);
    m_restoredProcOk = true;
    app.RestoreNsisWindow();
    m_restoredProcOk = GetWindowLongPtrW(m_window, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(&NsisDlgProc);
    return result;
  }

  static void Outer(CTestPage& page, WPARAM code) {
    ::SendMessageW(::GetParent(page.m_hWnd), nsis::kWmNotifyOuterNext, code, 0);
  }

  FakeNsis m_nsis;
  FakeNsisHost m_host;
  HWND m_window = nullptr;
  CTestPage m_page;
  bool m_restoredProcOk = false;
};

TEST_F(PageHost, NextPushesSuccessAboveThePagesValues) {
  m_host.Push(L"beneath");
  int result = Run([](CTestPage& page, void*) { Outer(page, nsis::kOuterNext); });
  EXPECT_EQ(gwplugin::kPageNext, result);
  EXPECT_EQ((Texts{L"success", L"2", L"value=page value", L"beneath"}), m_host.Stack());
  EXPECT_EQ((std::vector<PageEvent>{{gwplugin::WM_PAGE_LEAVING, 2}, {gwplugin::WM_PAGE_LEFT, 2}}), m_page.events);
  EXPECT_EQ(std::vector<WPARAM>{1}, m_nsis.outerNext);
  ASSERT_EQ(1u, m_nsis.customReady.size());
  EXPECT_EQ(nullptr, m_page.m_hWnd) << "the page window is destroyed after the run";
  EXPECT_TRUE(m_restoredProcOk) << "NSIS's dialog procedure is back";
}

TEST_F(PageHost, BackNeverAsksTheLeavingQuestion) {
  int result = Run([](CTestPage& page, void*) { Outer(page, static_cast<WPARAM>(nsis::kOuterBack)); });
  EXPECT_EQ(gwplugin::kPageBack, result);
  EXPECT_EQ((Texts{L"back", L"1", L"value=page value"}), m_host.Stack());
  EXPECT_EQ((std::vector<PageEvent>{{gwplugin::WM_PAGE_LEFT, 1}}), m_page.events);
}

TEST_F(PageHost, CancelReportsFourToThePage) {
  int result = Run([](CTestPage& page, void*) { Outer(page, nsis::kOuterCancel); });
  EXPECT_EQ(gwplugin::kPageCancel, result);
  EXPECT_EQ((Texts{L"cancel", L"4", L"value=page value"}), m_host.Stack());
  EXPECT_EQ((std::vector<PageEvent>{{gwplugin::WM_PAGE_LEFT, 4}}), m_page.events);
}

TEST_F(PageHost, ARefusingPageStaysUp) {
  m_page.allowLeaving = 0;
  int result = Run([](CTestPage& page, void*) {
    Outer(page, nsis::kOuterNext);  // refused: NSIS never sees it
    EXPECT_TRUE(::IsWindow(page.m_hWnd));
    page.allowLeaving = 1;
    Outer(page, nsis::kOuterNext);
  });
  EXPECT_EQ(gwplugin::kPageNext, result);
  EXPECT_EQ(std::vector<WPARAM>{1}, m_nsis.outerNext);
  EXPECT_EQ((std::vector<PageEvent>{
                {gwplugin::WM_PAGE_LEAVING, 2}, {gwplugin::WM_PAGE_LEAVING, 2}, {gwplugin::WM_PAGE_LEFT, 2}}),
            m_page.events);
}

TEST_F(PageHost, NsisRefusingTheMoveKeepsThePage) {
  int result = Run([](CTestPage& page, void* context) {
    auto* self = static_cast<PageHost*>(context);
    self->m_nsis.answer = 1;
    Outer(page, nsis::kOuterNext);
    EXPECT_TRUE(::IsWindow(page.m_hWnd));
    self->m_nsis.answer = 0;
    Outer(page, static_cast<WPARAM>(nsis::kOuterBack));
  });
  EXPECT_EQ(gwplugin::kPageBack, result);
  EXPECT_EQ((std::vector<WPARAM>{1, static_cast<WPARAM>(-1)}), m_nsis.outerNext);
}

// WM_QUIT belongs to the host's own loop: the page ends as cancelled and the quit message
// is posted again with its code.
TEST_F(PageHost, QuitEndsThePageAndIsPostedAgain) {
  int result = Run([](CTestPage&, void*) { PostQuitMessage(7); });
  EXPECT_EQ(gwplugin::kPageCancel, result);
  EXPECT_EQ((Texts{L"cancel"}), m_host.Stack());
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
  EXPECT_EQ((Texts{L"cancel"}), m_host.Stack());
  EXPECT_EQ(nullptr, m_page.m_hWnd) << "the page window is destroyed after the run";
  EXPECT_TRUE(m_restoredProcOk) << "NSIS's dialog procedure is back";
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "no quit message was taken";
}

TEST_F(PageHost, APageWithoutTemplateCancels) {
  gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
  app.SubclassNsisWindow(m_window);
  EXPECT_EQ(gwplugin::kPageCancel, app.RunPage(m_page, 65000));
  app.RestoreNsisWindow();
  EXPECT_EQ((Texts{L"cancel"}), m_host.Stack());
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
  m_host.Push(L"beneath");
  m_host.Push(L"/END");
  m_host.Push(L"|Languages|Mine|Third");
  gwplugin::CLangFlagsDlg& flags = app.flagsPage;
  flags.ReadStackTexts();
  EXPECT_EQ(L"Languages", flags.ModeText(0));
  EXPECT_EQ(L"Mine", flags.ModeText(1));
  EXPECT_EQ((Texts{L"beneath"}), m_host.Stack()) << "\"/END\" is consumed";
  m_host.Clear();
  app.SubclassNsisWindow(m_window);
  ::PostMessageW(m_window, nsis::kWmNotifyOuterNext, nsis::kOuterNext, 0);
  int result = app.RunPage(flags, 2017);
  app.RestoreNsisWindow();
  EXPECT_EQ(gwplugin::kPageNext, result);
  EXPECT_EQ((Texts{L"success", L"RS_LANG", L"0"}), m_host.Stack());
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
  m_host.Push(L"END");
  m_host.Push(L"");
  m_host.Push(L"0");
  m_host.Call(&gwplugin::Initialize);
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
            m_page.events);
  EXPECT_TRUE(IsWindowEnabled(m_window)) << "the NSIS window takes input again after the build";
}

}  // namespace
