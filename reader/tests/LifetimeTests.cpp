// Start-up and shutdown pieces: the single-instance mutex, restoring the first instance, the
// COM / OLE sessions that release only what they acquired, and the speech thread's shutdown
// wait on a handle that stays valid.
#include <gtest/gtest.h>

#include <objbase.h>
#include <ole2.h>

#include <string>
#include <thread>

#include "AppLifetime.h"
#include "ReaderTestSupport.h"

using reader_test::Hex;
using namespace orv_reader;

namespace {

std::wstring UniqueMutexName() {
  return L"orv-reader-test-mutex-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
}

TEST(SingleInstance, FirstHoldsSecondFindsItThirdAfterReleaseHolds) {
  const std::wstring name = UniqueMutexName();
  SingleInstanceMutex first, second, third;
  EXPECT_EQ(SingleInstanceMutex::Result::First, first.Acquire(name.c_str()));
  EXPECT_TRUE(first.IsHeld());
  EXPECT_EQ(SingleInstanceMutex::Result::AlreadyRunning, second.Acquire(name.c_str()));
  EXPECT_FALSE(second.IsHeld());
  second.Release();  // holds nothing: must not touch the first instance's mutex
  EXPECT_EQ(SingleInstanceMutex::Result::AlreadyRunning, third.Acquire(name.c_str()));
  first.Release();
  EXPECT_FALSE(first.IsHeld());
  EXPECT_EQ(SingleInstanceMutex::Result::First, third.Acquire(name.c_str()));
}

TEST(SingleInstance, RestoresOnlyAWindowThatStillExists) {
  EXPECT_FALSE(RestoreFirstInstance(nullptr));

  // A dialog of this program's own image and session, as the first instance's is to the second.
  HWND window = CreateWindowExW(0, WC_DIALOG, L"first instance", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(nullptr, window) << "error " << GetLastError();
  ShowWindow(window, SW_SHOWMINIMIZED);
  ASSERT_TRUE(IsIconic(window));
  EXPECT_TRUE(RestoreFirstInstance(window));
  EXPECT_FALSE(IsIconic(window));
  EXPECT_TRUE(IsWindowVisible(window));
  DestroyWindow(window);
  // The first instance has gone; its handle in the shared section is stale.
  EXPECT_FALSE(RestoreFirstInstance(window));
}

// Runs body on a thread of its own, so COM's per-thread state starts clean.
template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

TEST(ComSession, UninitialisesOnlyWhatItInitialised) {
  OnFreshThread([] {
    // The thread already belongs to the multithreaded apartment: CoInitialize(NULL) fails with
    // RPC_E_CHANGED_MODE, and the session must not take away the thread's own initialisation.
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    {
      ComInitialization com;
      EXPECT_EQ(RPC_E_CHANGED_MODE, com.Initialize());
      EXPECT_FALSE(com.IsInitialized());
      com.Uninitialize();
    }
    const HRESULT still = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(S_FALSE, still) << "the thread's own COM initialisation was undone: " << Hex(still);
    CoUninitialize();
    CoUninitialize();
  });
  OnFreshThread([] {
    ComInitialization com;
    EXPECT_EQ(S_OK, com.Initialize());
    EXPECT_TRUE(com.IsInitialized());
    com.Uninitialize();
    com.Uninitialize();  // a second call does nothing
    // Fully uninitialised: the thread may now join another apartment.
    const HRESULT after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(S_OK, after) << Hex(after);
    CoUninitialize();
  });
  OnFreshThread([] {
    // Already in a single-threaded apartment: S_FALSE is a success that must be balanced, once.
    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    {
      ComInitialization com;
      EXPECT_EQ(S_FALSE, com.Initialize());
      EXPECT_TRUE(com.IsInitialized());
    }
    const HRESULT mta = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(RPC_E_CHANGED_MODE, mta) << "the thread's own initialisation is still there: " << Hex(mta);
    CoUninitialize();
  });
}

TEST(OleSession, UninitialisesOnlyWhatItInitialised) {
  OnFreshThread([] {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    {
      OleInitialization ole;
      EXPECT_TRUE(FAILED(ole.Initialize()));
      EXPECT_FALSE(ole.IsInitialized());
    }
    const HRESULT still = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(S_FALSE, still) << Hex(still);
    CoUninitialize();
    CoUninitialize();
  });
  OnFreshThread([] {
    {
      OleInitialization ole;
      EXPECT_TRUE(SUCCEEDED(ole.Initialize()));
      EXPECT_TRUE(ole.IsInitialized());
    }
    const HRESULT after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(S_OK, after) << Hex(after);
    CoUninitialize();
  });
}

TEST(GdiplusSession, ShutsDownOnlyAStartedSession) {
  GdiplusSession never;
  never.Shutdown();  // no token: nothing to shut down
  EXPECT_FALSE(never.IsStarted());

  GdiplusSession gdiplus;
  ASSERT_TRUE(gdiplus.Startup());
  EXPECT_TRUE(gdiplus.IsStarted());
  gdiplus.Shutdown();
  EXPECT_FALSE(gdiplus.IsStarted());
  gdiplus.Shutdown();
}

// A thread that, like the speech control thread, has work to finish after it is told to end.
constexpr UINT WM_PROBE_SHUTDOWN = WM_APP + 0x101;
volatile LONG g_probeStarted = 0;
volatile LONG g_probeFinished = 0;

class CShutdownProbeThread : public CWinThread {
  DECLARE_DYNCREATE(CShutdownProbeThread)
 public:
  BOOL InitInstance() override {
    InterlockedExchange(&g_probeStarted, 1);
    return TRUE;
  }
  int ExitInstance() override {
    // Work done on the way out, as the speech thread saves its settings.
    InterlockedExchange(&g_probeFinished, 1);
    return CWinThread::ExitInstance();
  }

 protected:
  void OnShutdown(WPARAM, LPARAM) { PostQuitMessage(0); }
  DECLARE_MESSAGE_MAP()
};
IMPLEMENT_DYNCREATE(CShutdownProbeThread, CWinThread)
BEGIN_MESSAGE_MAP(CShutdownProbeThread, CWinThread)
  ON_THREAD_MESSAGE(WM_PROBE_SHUTDOWN, &CShutdownProbeThread::OnShutdown)
END_MESSAGE_MAP()

TEST(OwnedThread, ShutdownWaitsOnAHandleThatStaysValid) {
  for (int round = 0; round < 5; ++round) {
    InterlockedExchange(&g_probeStarted, 0);
    InterlockedExchange(&g_probeFinished, 0);
    CWinThread* thread = StartOwnedThread(RUNTIME_CLASS(CShutdownProbeThread));
    ASSERT_NE(nullptr, thread);
    EXPECT_FALSE(thread->m_bAutoDelete) << "a self-deleting thread closes the handle shutdown waits on";
    const DWORD wait = StopOwnedThread(thread, WM_PROBE_SHUTDOWN);
    EXPECT_EQ(WAIT_OBJECT_0, wait) << "round " << round << ", error " << GetLastError();
    EXPECT_EQ(1, g_probeStarted) << "round " << round;
    EXPECT_EQ(1, g_probeFinished) << "shutdown returned before the thread finished, round " << round;
  }
}

TEST(OwnedThread, ThreadThatEndedOnItsOwnIsStillWaitedFor) {
  CWinThread* thread = StartOwnedThread(RUNTIME_CLASS(CShutdownProbeThread));
  ASSERT_NE(nullptr, thread);
  thread->PostThreadMessage(WM_PROBE_SHUTDOWN, 0, 0);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread->m_hThread, 10000));
  // Its queue is gone, so the shutdown message cannot be posted; the wait still succeeds.
  EXPECT_EQ(WAIT_OBJECT_0, StopOwnedThread(thread, WM_PROBE_SHUTDOWN));
}

}  // namespace
