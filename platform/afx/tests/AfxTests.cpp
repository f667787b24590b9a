// Tests of the MFC-shaped layer: windows and message maps, threads and their queues, the
// application object, synchronisation objects and strings.
#include <afxwin.h>
#include <afxmt.h>
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWait = 60000;  // ms; any wait that runs out fails the test (a safety net, not a bound)

const UINT WM_TEST_ADD = WM_APP + 1;
const UINT WM_TEST_THROW = WM_APP + 2;
const UINT WM_TEST_BASEONLY = WM_APP + 3;
const UINT WM_TEST_OVERRIDDEN = WM_APP + 4;
const UINT WM_TEST_THREAD = 0x8001;
const UINT WM_TEST_THREAD_RAW = 0x8002;

// A window class whose procedure is DefWindowProcW, as the control window's class is.
LPCWSTR PlainClass() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"AfxTestPlain";
    return RegisterClassW(&wc) != 0;
  }();
  EXPECT_TRUE(registered) << "RegisterClassW failed, error " << GetLastError();
  return L"AfxTestPlain";
}

std::string Hex(LONG_PTR v) {
  char b[32];
  snprintf(b, sizeof b, "0x%llx", static_cast<unsigned long long>(v));
  return b;
}

// ---------------------------------------------------------------------------------------------
// Message maps: a base window and a derived one that adds and overrides entries.
class CBaseWnd : public CWnd {
 public:
  std::vector<std::string> log;
  DWORD handlerThread = 0;

 protected:
  afx_msg int OnCreate(LPCREATESTRUCT cs) {
    log.push_back("create");
    return CWnd::OnCreate(cs);
  }
  afx_msg LRESULT OnBaseOnly(WPARAM w, LPARAM) {
    log.push_back("base-only");
    return static_cast<LRESULT>(w) * 10;
  }
  afx_msg LRESULT OnOverriddenBase(WPARAM, LPARAM) {
    log.push_back("base-overridden");
    return 1;
  }
  afx_msg void OnTimer(UINT_PTR id) { log.push_back("timer " + std::to_string(id)); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
  ON_WM_CREATE()
  ON_WM_TIMER()
  ON_MESSAGE(WM_TEST_BASEONLY, &CBaseWnd::OnBaseOnly)
  ON_MESSAGE(WM_TEST_OVERRIDDEN, &CBaseWnd::OnOverriddenBase)
END_MESSAGE_MAP()

class CDerivedWnd : public CBaseWnd {
 public:
  bool deleteOnNcDestroy = false;
  bool* destroyedFlag = nullptr;

 protected:
  afx_msg LRESULT OnAdd(WPARAM w, LPARAM l) {
    handlerThread = GetCurrentThreadId();
    return static_cast<LRESULT>(w + l);
  }
  afx_msg LRESULT OnThrow(WPARAM, LPARAM) { throw std::runtime_error("handler failure"); }
  afx_msg LRESULT OnOverridden(WPARAM, LPARAM) {
    log.push_back("derived-overridden");
    return 2;
  }
  void PostNcDestroy() override {
    if (destroyedFlag) *destroyedFlag = true;
    if (deleteOnNcDestroy) delete this;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedWnd, CBaseWnd)
  ON_MESSAGE(WM_TEST_ADD, &CDerivedWnd::OnAdd)
  ON_MESSAGE(WM_TEST_THROW, &CDerivedWnd::OnThrow)
  ON_MESSAGE(WM_TEST_OVERRIDDEN, &CDerivedWnd::OnOverridden)
END_MESSAGE_MAP()

TEST(AfxWindow, MessageMapChainsToBaseAndDerivedEntriesWin) {
  CDerivedWnd wnd;
  ASSERT_TRUE(wnd.CreateEx(0, PlainClass(), L"t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr))
      << "error " << GetLastError();
  // WM_CREATE of a DefWindowProcW class reaches the base map's ON_WM_CREATE.
  ASSERT_EQ(wnd.log.size(), 1u);
  EXPECT_EQ(wnd.log[0], "create");
  struct Case {
    UINT msg;
    WPARAM w;
    LRESULT expected;
    const char* logged;
  } cases[] = {
      {WM_TEST_BASEONLY, 4, 40, "base-only"},
      {WM_TEST_OVERRIDDEN, 0, 2, "derived-overridden"},
      {WM_TEST_ADD, 3, 3, nullptr},
  };
  for (const Case& c : cases) {
    wnd.log.clear();
    EXPECT_EQ(wnd.SendMessage(c.msg, c.w, 0), c.expected) << "message " << Hex(c.msg);
    if (c.logged) {
      ASSERT_EQ(wnd.log.size(), 1u) << "message " << Hex(c.msg);
      EXPECT_EQ(wnd.log[0], c.logged);
    }
  }
  // Unmapped messages reach the window's own procedure: the text set is the text read.
  wnd.SetWindowText(L"hello");
  CString text;
  wnd.GetWindowText(text);
  EXPECT_STREQ(text, L"hello");
  EXPECT_TRUE(wnd.DestroyWindow());
  EXPECT_EQ(wnd.m_hWnd, nullptr);
}

TEST(AfxWindow, HandleMapAttachAndTemporaryWrappers) {
  bool destroyed = false;
  auto* wnd = new CDerivedWnd;
  wnd->deleteOnNcDestroy = true;
  wnd->destroyedFlag = &destroyed;
  ASSERT_TRUE(wnd->CreateEx(0, PlainClass(), L"t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
  HWND h = wnd->m_hWnd;
  EXPECT_EQ(CWnd::FromHandlePermanent(h), wnd);
  EXPECT_EQ(CWnd::FromHandle(h), wnd);

  HWND foreign = CreateWindowExW(0, PlainClass(), L"foreign", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(foreign, nullptr) << "error " << GetLastError();
  EXPECT_EQ(CWnd::FromHandlePermanent(foreign), nullptr);
  CWnd* temp = CWnd::FromHandle(foreign);
  ASSERT_NE(temp, nullptr);
  EXPECT_EQ(temp->m_hWnd, foreign);
  EXPECT_EQ(CWnd::FromHandle(foreign), temp) << "one wrapper per handle until the map is cleared";
  CWnd::DeleteTempMap();
  EXPECT_TRUE(::DestroyWindow(foreign));

  // A self-deleting window: WM_NCDESTROY detaches it and PostNcDestroy deletes it.
  EXPECT_TRUE(::DestroyWindow(h));
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
}

TEST(AfxWindow, ExceptionInHandlerStopsAtWindowProcedure) {
  CDerivedWnd wnd;
  ASSERT_TRUE(wnd.CreateEx(0, PlainClass(), L"t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
  EXPECT_EQ(wnd.SendMessage(WM_TEST_THROW), 0);
  EXPECT_EQ(wnd.SendMessage(WM_TEST_ADD, 1, 2), 3) << "the window keeps working after a failed handler";
  wnd.DestroyWindow();
}

class CFailingCreateWnd : public CWnd {
 protected:
  afx_msg int OnCreate(LPCREATESTRUCT) { throw std::runtime_error("no"); }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CFailingCreateWnd, CWnd)
  ON_WM_CREATE()
END_MESSAGE_MAP()

TEST(AfxWindow, FailedCreationLeavesNoWindowOrMapEntry) {
  CFailingCreateWnd wnd;
  EXPECT_FALSE(wnd.CreateEx(0, PlainClass(), L"t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
  EXPECT_EQ(wnd.m_hWnd, nullptr);
  CWnd other;
  SetLastError(0);
  EXPECT_FALSE(other.CreateEx(0, L"NoSuchClassAfxTest", L"t", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr));
  // Windows documents ERROR_CANNOT_FIND_WND_CLASS; Wine answers ERROR_CLASS_DOES_NOT_EXIST.
  const DWORD error = GetLastError();
  EXPECT_TRUE(error == ERROR_CANNOT_FIND_WND_CLASS || error == ERROR_CLASS_DOES_NOT_EXIST) << "error " << error;
  EXPECT_EQ(other.m_hWnd, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Reflection: a button handles its own click; the parent's command entry does not run.
class CReflectButton : public CWnd {
 public:
  int clicks = 0;

 protected:
  afx_msg void OnClicked() { ++clicks; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CReflectButton, CWnd)
  ON_CONTROL_REFLECT(BN_CLICKED, &CReflectButton::OnClicked)
END_MESSAGE_MAP()

class CCommandParent : public CWnd {
 public:
  int commands = 0;
  int otherCommands = 0;

 protected:
  afx_msg void OnButton() { ++commands; }
  afx_msg void OnRange(UINT) { ++otherCommands; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CCommandParent, CWnd)
  ON_COMMAND(100, &CCommandParent::OnButton)
  ON_COMMAND_RANGE(200, 210, &CCommandParent::OnRange)
END_MESSAGE_MAP()

TEST(AfxWindow, CommandsAndReflectedNotifications) {
  CCommandParent parent;
  ASSERT_TRUE(parent.CreateEx(0, PlainClass(), L"p", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr));
  CReflectButton button;
  ASSERT_TRUE(button.CreateEx(0, L"BUTTON", L"b", WS_CHILD | BS_PUSHBUTTON, CRect(0, 0, 20, 20), &parent, 100))
      << "error " << GetLastError();
  // A click notification from the control goes to the control's reflect entry only.
  parent.SendMessage(WM_COMMAND, MAKEWPARAM(100, BN_CLICKED), reinterpret_cast<LPARAM>(button.m_hWnd));
  EXPECT_EQ(button.clicks, 1);
  EXPECT_EQ(parent.commands, 0);
  // A menu command (no control) with the same identifier reaches the parent's map.
  parent.SendMessage(WM_COMMAND, MAKEWPARAM(100, 0), 0);
  EXPECT_EQ(parent.commands, 1);
  parent.SendMessage(WM_COMMAND, MAKEWPARAM(205, 0), 0);
  parent.SendMessage(WM_COMMAND, MAKEWPARAM(211, 0), 0);
  EXPECT_EQ(parent.otherCommands, 1);
  parent.DestroyWindow();
  EXPECT_EQ(button.m_hWnd, nullptr) << "the child went with its parent";
}

// ---------------------------------------------------------------------------------------------
// A user-interface thread that owns a window and records what its loop sees.
struct UiThreadShared {
  HANDLE ready = nullptr;      // set once the window exists
  HANDLE threadMsg = nullptr;  // set by the ON_THREAD_MESSAGE handler
  std::atomic<HWND> hWnd{nullptr};
  std::atomic<int> preTranslatedThreadMsgs{0};
  std::atomic<int> mappedThreadMsgs{0};
  std::atomic<LPARAM> lastLParam{0};
  std::atomic<bool> mainWndInheritedAtStart{false};
  std::atomic<bool> mainWndClearedAtExit{false};
  std::atomic<int> exitInstanceCalls{0};
};
UiThreadShared g_ui;

class CUiThread : public CWinThread {
  DECLARE_DYNCREATE(CUiThread)
 public:
  CUiThread() { m_bAutoDelete = FALSE; }
  BOOL InitInstance() override {
    g_ui.mainWndInheritedAtStart = m_pMainWnd != nullptr || AfxGetMainWnd() != nullptr;
    auto* wnd = new CDerivedWnd;
    wnd->deleteOnNcDestroy = true;
    if (!wnd->CreateEx(0, PlainClass(), L"ui", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr)) return FALSE;
    m_pMainWnd = wnd;
    g_ui.hWnd = wnd->m_hWnd;
    SetEvent(g_ui.ready);
    return TRUE;
  }
  BOOL PreTranslateMessage(MSG* pMsg) override {
    if (!pMsg->hwnd && pMsg->message == WM_TEST_THREAD_RAW) {
      ++g_ui.preTranslatedThreadMsgs;
      g_ui.lastLParam = pMsg->lParam;
      SetEvent(g_ui.threadMsg);
      return TRUE;
    }
    return CWinThread::PreTranslateMessage(pMsg);
  }
  int ExitInstance() override {
    ++g_ui.exitInstanceCalls;
    g_ui.mainWndClearedAtExit = m_pMainWnd == nullptr;
    return CWinThread::ExitInstance();
  }

 protected:
  afx_msg void OnTestThread(WPARAM, LPARAM l) {
    ++g_ui.mappedThreadMsgs;
    g_ui.lastLParam = l;
    SetEvent(g_ui.threadMsg);
  }
  DECLARE_MESSAGE_MAP()
};
IMPLEMENT_DYNCREATE(CUiThread, CWinThread)
BEGIN_MESSAGE_MAP(CUiThread, CWinThread)
  ON_THREAD_MESSAGE(WM_TEST_THREAD, &CUiThread::OnTestThread)
END_MESSAGE_MAP()

class AfxThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_ui.ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_ui.threadMsg = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_ui.hWnd = nullptr;
    g_ui.preTranslatedThreadMsgs = 0;
    g_ui.mappedThreadMsgs = 0;
    g_ui.exitInstanceCalls = 0;
    g_ui.mainWndClearedAtExit = false;
    g_ui.mainWndInheritedAtStart = false;
  }
  void TearDown() override {
    if (m_thread) {
      if (g_ui.hWnd) ::PostMessageW(g_ui.hWnd, WM_CLOSE, 0, 0);
      m_thread->PostThreadMessage(WM_QUIT, 0, 0);
      EXPECT_EQ(WaitForSingleObject(m_thread->m_hThread, kWait), WAIT_OBJECT_0) << "thread did not end";
      delete m_thread;
    }
    CloseHandle(g_ui.ready);
    CloseHandle(g_ui.threadMsg);
  }
  CWinThread* m_thread = nullptr;
};

TEST_F(AfxThreadTest, WindowMessageRoundTripAcrossThreads) {
  m_thread = AfxBeginThread(RUNTIME_CLASS(CUiThread));
  ASSERT_NE(m_thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(g_ui.ready, kWait), WAIT_OBJECT_0);
  HWND h = g_ui.hWnd;
  auto* wnd = static_cast<CDerivedWnd*>(CWnd::FromHandlePermanent(h));
  ASSERT_NE(wnd, nullptr) << "the handle map is shared by the process";
  EXPECT_EQ(::SendMessageW(h, WM_TEST_ADD, 20, 22), 42);
  EXPECT_EQ(wnd->handlerThread, m_thread->m_nThreadID) << "the handler runs on the window's thread";
  EXPECT_EQ(GetWindowThreadProcessId(h, nullptr), m_thread->m_nThreadID);
}

TEST_F(AfxThreadTest, ThreadMessagesReachPreTranslateMessageAndTheMap) {
  m_thread = AfxBeginThread(RUNTIME_CLASS(CUiThread));
  ASSERT_NE(m_thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(g_ui.ready, kWait), WAIT_OBJECT_0);
  ASSERT_TRUE(m_thread->PostThreadMessage(WM_TEST_THREAD_RAW, 0, 7)) << "error " << GetLastError();
  ASSERT_EQ(WaitForSingleObject(g_ui.threadMsg, kWait), WAIT_OBJECT_0);
  EXPECT_EQ(g_ui.preTranslatedThreadMsgs.load(), 1);
  EXPECT_EQ(g_ui.lastLParam.load(), 7);
  ASSERT_TRUE(m_thread->PostThreadMessage(WM_TEST_THREAD, 0, 8)) << "error " << GetLastError();
  ASSERT_EQ(WaitForSingleObject(g_ui.threadMsg, kWait), WAIT_OBJECT_0);
  EXPECT_EQ(g_ui.mappedThreadMsgs.load(), 1) << "ON_THREAD_MESSAGE through the base PreTranslateMessage";
  EXPECT_EQ(g_ui.lastLParam.load(), 8);
}

TEST_F(AfxThreadTest, MessagePostedToSuspendedThreadIsDelivered) {
  m_thread = AfxBeginThread(RUNTIME_CLASS(CUiThread), THREAD_PRIORITY_BELOW_NORMAL, 0, CREATE_SUSPENDED);
  ASSERT_NE(m_thread, nullptr);
  EXPECT_EQ(m_thread->GetThreadPriority(), THREAD_PRIORITY_BELOW_NORMAL);
  ASSERT_TRUE(m_thread->PostThreadMessage(WM_TEST_THREAD, 0, 99)) << "error " << GetLastError();
  EXPECT_EQ(WaitForSingleObject(g_ui.ready, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the thread ran before resume";
  EXPECT_EQ(m_thread->ResumeThread(), 1u);
  ASSERT_EQ(WaitForSingleObject(g_ui.threadMsg, kWait), WAIT_OBJECT_0) << "the early message was lost";
  EXPECT_EQ(g_ui.lastLParam.load(), 99);
}

TEST_F(AfxThreadTest, DestroyingMainWindowClearsItAndEndsTheLoop) {
  CWinApp* app = AfxGetApp();
  EXPECT_EQ(app, nullptr) << "these tests run without an application object";
  m_thread = AfxBeginThread(RUNTIME_CLASS(CUiThread));
  ASSERT_NE(m_thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(g_ui.ready, kWait), WAIT_OBJECT_0);
  EXPECT_FALSE(g_ui.mainWndInheritedAtStart.load());
  ::PostMessageW(g_ui.hWnd, WM_CLOSE, 0, 0);  // DefWindowProc destroys the window
  ASSERT_EQ(WaitForSingleObject(m_thread->m_hThread, kWait), WAIT_OBJECT_0) << "the loop did not end";
  g_ui.hWnd = nullptr;
  EXPECT_EQ(g_ui.exitInstanceCalls.load(), 1);
  EXPECT_TRUE(g_ui.mainWndClearedAtExit.load());
  EXPECT_EQ(m_thread->m_pMainWnd, nullptr);
}

// Worker function form: parameter, priority, exit code, and the app's main window not inherited.
struct WorkerArgs {
  int input = 0;
  std::atomic<int> priority{0};
  std::atomic<bool> sawMainWnd{true};
  std::atomic<bool> sawThreadObject{false};
};

UINT AFX_CDECL Worker(LPVOID p) {
  auto* args = static_cast<WorkerArgs*>(p);
  args->priority = ::GetThreadPriority(::GetCurrentThread());
  args->sawMainWnd = AfxGetMainWnd() != nullptr;
  args->sawThreadObject = AfxGetThread() != nullptr && AfxGetThread()->m_pMainWnd == nullptr;
  return static_cast<UINT>(args->input * 2);
}

TEST(AfxThread, WorkerFormRunsWithPriorityAndWithoutTheAppMainWindow) {
  CWinApp app(L"AfxTestApp");
  CWnd mainWnd;
  ASSERT_TRUE(mainWnd.CreateEx(0, PlainClass(), L"main", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr));
  app.m_pMainWnd = &mainWnd;
  EXPECT_EQ(AfxGetApp(), &app);
  EXPECT_EQ(AfxGetThread(), &app) << "the app is the thread object of its own thread";
  EXPECT_EQ(AfxGetMainWnd(), &mainWnd);

  WorkerArgs args;
  args.input = 21;
  CWinThread* t = AfxBeginThread(&Worker, &args, THREAD_PRIORITY_ABOVE_NORMAL, 0, CREATE_SUSPENDED);
  ASSERT_NE(t, nullptr);
  t->m_bAutoDelete = FALSE;
  t->ResumeThread();
  ASSERT_EQ(WaitForSingleObject(t->m_hThread, kWait), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(t->m_hThread, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(args.priority.load(), THREAD_PRIORITY_ABOVE_NORMAL);
  EXPECT_FALSE(args.sawMainWnd.load()) << "a new thread must not take the application's main window";
  EXPECT_TRUE(args.sawThreadObject.load());
  delete t;
  app.m_pMainWnd = nullptr;
  mainWnd.DestroyWindow();
}

// The application object driven by AfxWinMain: InitInstance makes the main window, a posted
// close destroys it, which ends Run; ExitInstance's result is the exit code.
class CTestApp : public CWinApp {
 public:
  CTestApp() : CWinApp(L"AfxTestDrivenApp") {}
  std::vector<std::string> calls;
  BOOL failInit = FALSE;
  BOOL InitInstance() override {
    calls.push_back("InitInstance");
    if (failInit) return FALSE;
    auto* wnd = new CDerivedWnd;
    wnd->deleteOnNcDestroy = true;
    if (!wnd->CreateEx(0, PlainClass(), L"app", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr)) return FALSE;
    m_pMainWnd = wnd;
    wnd->PostMessage(WM_CLOSE);
    return TRUE;
  }
  int ExitInstance() override {
    calls.push_back("ExitInstance");
    return failInit ? 3 : 7;
  }
};

TEST(AfxApp, WinMainDrivesInitRunAndExit) {
  for (BOOL failInit : {FALSE, TRUE}) {
    CTestApp app;
    app.failInit = failInit;
    const int code = AfxWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPWSTR>(L"-x"), SW_HIDE);
    EXPECT_EQ(code, failInit ? 3 : 7);
    ASSERT_EQ(app.calls.size(), 2u);
    EXPECT_EQ(app.calls[0], "InitInstance");
    EXPECT_EQ(app.calls[1], "ExitInstance");
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_STREQ(app.m_lpCmdLine, L"-x");
  }
  EXPECT_EQ(AfxGetApp(), nullptr);
}

// ---------------------------------------------------------------------------------------------
TEST(AfxRuntimeClass, DynamicCreationAndKinds) {
  CRuntimeClass* rc = RUNTIME_CLASS(CUiThread);
  EXPECT_STREQ(rc->m_lpszClassName, "CUiThread");
  EXPECT_TRUE(rc->IsDerivedFrom(RUNTIME_CLASS(CWinThread)));
  EXPECT_FALSE(rc->IsDerivedFrom(RUNTIME_CLASS(CWnd)));
  CObject* obj = rc->CreateObject();
  ASSERT_NE(obj, nullptr);
  EXPECT_TRUE(obj->IsKindOf(RUNTIME_CLASS(CCmdTarget)));
  EXPECT_EQ(obj->GetRuntimeClass(), rc);
  delete obj;
  EXPECT_EQ(RUNTIME_CLASS(CWinThread)->CreateObject(), nullptr) << "CWinThread is not DYNCREATE";
  EXPECT_EQ(AfxBeginThread(RUNTIME_CLASS(CWnd)), nullptr) << "not a thread class";
}

// ---------------------------------------------------------------------------------------------
TEST(AfxSync, EventsResetAsConfigured) {
  CEvent autoReset;
  CEvent manual(FALSE, TRUE);
  EXPECT_FALSE(autoReset.Lock(0));
  autoReset.SetEvent();
  EXPECT_TRUE(autoReset.Lock(0));
  EXPECT_FALSE(autoReset.Lock(0)) << "an auto-reset event releases one wait";
  manual.SetEvent();
  EXPECT_TRUE(manual.Lock(0));
  EXPECT_TRUE(manual.Lock(0)) << "a manual-reset event stays set";
  manual.ResetEvent();
  EXPECT_FALSE(manual.Lock(0));
  CEvent initiallySet(TRUE);
  EXPECT_TRUE(initiallySet.Lock(0));
}

struct LockProbe {
  CCriticalSection* cs;
  HANDLE entered;
};

UINT AFX_CDECL EnterAndSignal(LPVOID p) {
  auto* probe = static_cast<LockProbe*>(p);
  CSingleLock lock(probe->cs, TRUE);
  SetEvent(probe->entered);
  return 0;
}

TEST(AfxSync, SingleLockHoldsUntilScopeEnds) {
  CCriticalSection cs;
  LockProbe probe{&cs, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  CWinThread* t = nullptr;
  {
    CSingleLock lock(&cs);
    EXPECT_FALSE(lock.IsLocked());
    EXPECT_TRUE(lock.Lock());
    EXPECT_TRUE(lock.IsLocked());
    EXPECT_TRUE(lock.Lock()) << "a second Lock is the same acquisition";
    t = AfxBeginThread(&EnterAndSignal, &probe, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(t, nullptr);
    t->m_bAutoDelete = FALSE;  // while suspended, so the thread cannot have deleted itself yet
    t->ResumeThread();
    EXPECT_EQ(WaitForSingleObject(probe.entered, 50), static_cast<DWORD>(WAIT_TIMEOUT)) << "entered a held section";
  }
  EXPECT_EQ(WaitForSingleObject(probe.entered, kWait), WAIT_OBJECT_0) << "the scope did not release the section";
  EXPECT_EQ(WaitForSingleObject(t->m_hThread, kWait), WAIT_OBJECT_0);
  delete t;
  CloseHandle(probe.entered);

  CEvent ev;
  CSingleLock evLock(&ev);
  EXPECT_FALSE(evLock.Lock(0));
  EXPECT_FALSE(evLock.IsLocked());
}

// ---------------------------------------------------------------------------------------------
TEST(AfxString, FormatFollowsTheMicrosoftRules) {
  struct Case {
    const wchar_t* expected;
    CString actual;
  };
  CString a, b, c, d;
  a.Format(L"%s-%d", L"ab", 5);  // %s is a wide string in a wide format
  b.Format(L"%S|%c", "narrow", L'x');
  c.Format(L"%08X %.2f %5s", 0xBEEFu, 1.5, L"r");
  d.Format(L"%s", L"");
  const Case cases[] = {{L"ab-5", a}, {L"narrow|x", b}, {L"0000BEEF 1.50     r", c}, {L"", d}};
  for (const Case& k : cases) EXPECT_STREQ(k.actual, k.expected);
  CString big;
  big.Format(L"%s%s", std::wstring(3000, L'a').c_str(), L"z");
  EXPECT_EQ(big.GetLength(), 3001);
  CStringA n;
  n.Format("%s:%d", "x", 3);
  EXPECT_STREQ(n, "x:3");
}

TEST(AfxString, EditingOperations) {
  CString s(L"  Hello, World  ");
  s.Trim();
  EXPECT_STREQ(s, L"Hello, World");
  EXPECT_EQ(s.Find(L"World"), 7);
  EXPECT_EQ(s.Find(L'o', 5), 8);
  EXPECT_EQ(s.ReverseFind(L'o'), 8);
  EXPECT_STREQ(s.Left(5), L"Hello");
  EXPECT_STREQ(s.Right(5), L"World");
  EXPECT_STREQ(s.Mid(7, 3), L"Wor");
  EXPECT_STREQ(s.Mid(50), L"");
  EXPECT_EQ(s.Replace(L"l", L"LL"), 3);
  EXPECT_STREQ(s, L"HeLLLLo, WorLLd");
  EXPECT_EQ(s.CompareNoCase(L"hellllo, worlld"), 0);
  int pos = 0;
  CString list(L"a|bb||c");
  std::vector<std::wstring> tokens;
  for (CString t = list.Tokenize(L"|", pos); pos != -1; t = list.Tokenize(L"|", pos)) tokens.emplace_back(t);
  EXPECT_EQ(tokens, (std::vector<std::wstring>{L"a", L"bb", L"c"}));
  CString buf;
  wcscpy(buf.GetBuffer(10), L"abc");
  buf.ReleaseBuffer();
  EXPECT_EQ(buf.GetLength(), 3);
  CString fromNarrow("plain");
  EXPECT_STREQ(fromNarrow, L"plain");
}

}  // namespace
