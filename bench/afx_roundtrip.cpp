// The layer's cost per message: a SendMessage round trip from this thread to a window on another
// thread, once to a CWnd with a message map and once to a bare Win32 window procedure that does
// the same work. Both windows live on the same CWinThread, so only the window procedure differs.
// Prints the time per round trip of each and their ratio (the layer's overhead; goal <= 1.2).
#include <afxwin.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const UINT WM_BENCH_ADD = WM_APP + 20;
constexpr int kCalls = 3000;
constexpr int kWarmUp = 200;

class CBenchWnd : public CWnd {
 protected:
  afx_msg LRESULT OnAdd(WPARAM w, LPARAM l) { return static_cast<LRESULT>(w) + l; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CBenchWnd, CWnd)
  ON_MESSAGE(WM_BENCH_ADD, &CBenchWnd::OnAdd)
END_MESSAGE_MAP()

LRESULT CALLBACK BareProc(HWND h, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_BENCH_ADD) return static_cast<LRESULT>(w) + l;
  return DefWindowProcW(h, message, w, l);
}

struct Shared {
  HANDLE ready = nullptr;
  HWND afxWnd = nullptr;
  HWND bareWnd = nullptr;
};
Shared g_shared;

class CBenchThread : public CWinThread {
  DECLARE_DYNCREATE(CBenchThread)
 public:
  CBenchThread() { m_bAutoDelete = FALSE; }
  BOOL InitInstance() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &BareProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvelBenchBare";
    if (!RegisterClassW(&wc)) return FALSE;
    g_shared.bareWnd =
        CreateWindowExW(0, wc.lpszClassName, L"bare", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    if (!m_wnd.CreateEx(0, AfxRegisterWndClass(0), L"afx", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr)) return FALSE;
    g_shared.afxWnd = m_wnd.m_hWnd;
    SetEvent(g_shared.ready);
    return g_shared.bareWnd != nullptr;
  }
  int ExitInstance() override {
    m_wnd.DestroyWindow();
    if (g_shared.bareWnd) DestroyWindow(g_shared.bareWnd);
    return CWinThread::ExitInstance();
  }

 private:
  CBenchWnd m_wnd;
};
IMPLEMENT_DYNCREATE(CBenchThread, CWinThread)

// Times each call separately, alternating the two windows call by call, so that the load of
// the machine falls on both alike; answers the median microseconds per round trip of each.
struct Figures {
  double afx = 0;
  double bare = 0;
  bool same = true;  // both procedures answered the same
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

Figures Measure(HWND afxWnd, HWND bareWnd, int calls) {
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  const double toMicro = 1e6 / static_cast<double>(freq.QuadPart);
  std::vector<double> afx, bare;
  afx.reserve(static_cast<size_t>(calls));
  bare.reserve(static_cast<size_t>(calls));
  Figures f;
  for (int i = 0; i < calls; ++i) {
    LARGE_INTEGER t0, t1, t2;
    QueryPerformanceCounter(&t0);
    const LRESULT a = SendMessageW(afxWnd, WM_BENCH_ADD, static_cast<WPARAM>(i), 1);
    QueryPerformanceCounter(&t1);
    const LRESULT b = SendMessageW(bareWnd, WM_BENCH_ADD, static_cast<WPARAM>(i), 1);
    QueryPerformanceCounter(&t2);
    afx.push_back(static_cast<double>(t1.QuadPart - t0.QuadPart) * toMicro);
    bare.push_back(static_cast<double>(t2.QuadPart - t1.QuadPart) * toMicro);
    f.same = f.same && a == b && a == static_cast<LRESULT>(i) + 1;
  }
  f.afx = Median(afx);
  f.bare = Median(bare);
  return f;
}

// The same, but timing batches of calls: a same-thread call is too short for the timer.
Figures MeasureBatched(HWND afxWnd, HWND bareWnd, int batches, int perBatch) {
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  const double toMicro = 1e6 / static_cast<double>(freq.QuadPart) / perBatch;
  std::vector<double> afx, bare;
  Figures f;
  for (int b = 0; b < batches; ++b) {
    LARGE_INTEGER t0, t1, t2;
    LRESULT sumA = 0, sumB = 0;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < perBatch; ++i) sumA += SendMessageW(afxWnd, WM_BENCH_ADD, static_cast<WPARAM>(i), 1);
    QueryPerformanceCounter(&t1);
    for (int i = 0; i < perBatch; ++i) sumB += SendMessageW(bareWnd, WM_BENCH_ADD, static_cast<WPARAM>(i), 1);
    QueryPerformanceCounter(&t2);
    afx.push_back(static_cast<double>(t1.QuadPart - t0.QuadPart) * toMicro);
    bare.push_back(static_cast<double>(t2.QuadPart - t1.QuadPart) * toMicro);
    f.same = f.same && sumA == sumB;
  }
  f.afx = Median(afx);
  f.bare = Median(bare);
  return f;
}

}  // namespace

int main() {
  g_shared.ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!g_shared.ready) return 1;
  CWinThread* thread = AfxBeginThread(RUNTIME_CLASS(CBenchThread));
  if (!thread || WaitForSingleObject(g_shared.ready, 20000) != WAIT_OBJECT_0 || !g_shared.afxWnd || !g_shared.bareWnd) {
    std::printf("afx_roundtrip: the window thread did not start\n");
    return 1;
  }
  Measure(g_shared.afxWnd, g_shared.bareWnd, kWarmUp);
  const Figures cross = Measure(g_shared.afxWnd, g_shared.bareWnd, kCalls);
  thread->PostThreadMessage(WM_QUIT, 0, 0);
  WaitForSingleObject(thread->m_hThread, 20000);
  delete thread;
  CloseHandle(g_shared.ready);

  // The same pair of windows on this thread: no thread switch, so the layer's own share shows.
  CBenchWnd local;
  HWND localBare = CreateWindowExW(0, L"OrvelBenchBare", L"bare", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
  Figures same;
  if (local.CreateEx(0, AfxRegisterWndClass(0), L"afx", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr) && localBare) {
    MeasureBatched(local.m_hWnd, localBare, 5, 1000);
    same = MeasureBatched(local.m_hWnd, localBare, 41, 2000);
  }
  if (localBare) DestroyWindow(localBare);
  local.DestroyWindow();

  std::printf("afx_roundtrip: SendMessage round trips, median of %d calls each, alternating call by call\n", kCalls);
  std::printf("  to another thread: bare window procedure %9.2f us, CWnd with message map %9.2f us\n", cross.bare,
              cross.afx);
  std::printf("  ratio CWnd / bare (another thread): %6.3f (goal <= 1.2)\n", cross.afx / cross.bare);
  std::printf("  same thread (median of batches): bare %6.3f us, CWnd %6.3f us (ratio %.3f)\n", same.bare, same.afx,
              same.bare > 0 ? same.afx / same.bare : 0.0);
  const bool ok = cross.same && same.same;
  if (!ok) std::printf("  the two procedures answered differently\n");
  return ok ? 0 : 1;
}
