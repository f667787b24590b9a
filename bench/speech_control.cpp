// The speech control window under load: WM_SPEECH_SPEAK requests from a client thread to the
// fake SAPI voice, against a bare cross-thread SendMessage.
//
// Prints the requests per second that the control window hands to the voice (SendMessage of each
// request, then a blocking query that returns once the voice has taken them all), and the median
// and 99th-percentile time from the client's SendMessage to the fake voice's speak call. The
// yardstick is a bare window procedure on another thread: the same figures for SendMessage alone.
#include "FakeSapiControl.h"
#include "SpeechTestSupport.h"

#include <afxwin.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kThroughputRequests = 5000;
constexpr int kLatencySamples = 2000;
constexpr int kWarmUp = 100;

LARGE_INTEGER g_freq;

double Microseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  return static_cast<double>(to.QuadPart - from.QuadPart) * 1e6 / static_cast<double>(g_freq.QuadPart);
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

void DrainMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// The yardstick: a bare window procedure on a thread of its own.
const UINT WM_BENCH_PING = WM_APP + 31;
HWND g_bareWnd = nullptr;
HANDLE g_bareReady = nullptr;

LRESULT CALLBACK BareProc(HWND h, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_BENCH_PING) return static_cast<LRESULT>(w) + 1;
  return DefWindowProcW(h, message, w, l);
}

DWORD WINAPI BareThread(LPVOID) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = &BareProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"OrvelBenchSpeechBare";
  if (RegisterClassW(&wc))
    g_bareWnd =
        CreateWindowExW(0, wc.lpszClassName, L"bare", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
  SetEvent(g_bareReady);
  if (!g_bareWnd) return 1;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  DestroyWindow(g_bareWnd);
  return 0;
}

int Fail(const char* what) {
  std::printf("speech_control: %s (error %lu)\n", what, GetLastError());
  return 1;
}

}  // namespace

int main() {
  QueryPerformanceFrequency(&g_freq);
  if (FAILED(fakesapi::EnsureRegistered())) return Fail("the fake SAPI could not be registered");
  fakesapi::Session fake;
  fake.AddVoice({L"BenchVoice", L"Bench", L"Bench", L"Other", L"409", {}, true});
  // Without a call log the fake's call event is set by speak calls only.
  SetEnvironmentVariableW(fakesapi::kEnvLog, nullptr);
  HANDLE spoke = fake.CallEvent();
  if (!spoke) return Fail("no call event");

  speech_test::ControlThread control;
  if (!control.Started()) return Fail("the speech control thread did not start");
  speech_test::Client chooser;
  SpeechClient bench;  // no listeners: the notifications of the load go nowhere
  control.Register(chooser);
  control.Register(bench);
  if (!control.SelectAndWait(chooser, 0)) return Fail("the voice did not become ready");
  SpeakArgs args;
  args.client = &bench;
  args.text = L"a";
  args.flags = SPEAKF_PURGE;
  const HWND hwnd = control.hwnd();

  // Latency: one request at a time, from SendMessage to the engine's speak call.
  std::vector<double> latency;
  for (int i = 0; i < kWarmUp + kLatencySamples; ++i) {
    ResetEvent(spoke);
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    SendMessageW(hwnd, WM_SPEECH_SPEAK, reinterpret_cast<WPARAM>(&args), 0);
    if (WaitForSingleObject(spoke, 5000) != WAIT_OBJECT_0) return Fail("the fake voice was not asked to speak");
    QueryPerformanceCounter(&t1);
    if (i >= kWarmUp) latency.push_back(Microseconds(t0, t1));
    DrainMessages();
  }

  // Throughput: requests back to back; the blocking pause query returns once the voice thread
  // has handled every command queued before it.
  LARGE_INTEGER t0, t1;
  QueryPerformanceCounter(&t0);
  for (int i = 0; i < kThroughputRequests; ++i) SendMessageW(hwnd, WM_SPEECH_SPEAK, reinterpret_cast<WPARAM>(&args), 0);
  SendMessageW(hwnd, WM_SPEECH_IS_PAUSED, reinterpret_cast<WPARAM>(&bench), 0);
  QueryPerformanceCounter(&t1);
  const double speechPerSecond = kThroughputRequests * 1e6 / Microseconds(t0, t1);
  DrainMessages();
  if (!control.Stop()) return Fail("the speech control thread did not end");

  // The yardstick.
  g_bareReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD bareId = 0;
  HANDLE bareThread = CreateThread(nullptr, 0, &BareThread, nullptr, 0, &bareId);
  if (!bareThread || WaitForSingleObject(g_bareReady, 10000) != WAIT_OBJECT_0 || !g_bareWnd)
    return Fail("the yardstick thread did not start");
  std::vector<double> bare;
  LRESULT check = 0;
  for (int i = 0; i < kWarmUp + kLatencySamples; ++i) {
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    check += SendMessageW(g_bareWnd, WM_BENCH_PING, static_cast<WPARAM>(i), 0);
    QueryPerformanceCounter(&b);
    if (i >= kWarmUp) bare.push_back(Microseconds(a, b));
  }
  QueryPerformanceCounter(&t0);
  for (int i = 0; i < kThroughputRequests; ++i) check += SendMessageW(g_bareWnd, WM_BENCH_PING, 1, 0);
  QueryPerformanceCounter(&t1);
  const double barePerSecond = kThroughputRequests * 1e6 / Microseconds(t0, t1);
  PostThreadMessageW(bareId, WM_QUIT, 0, 0);
  WaitForSingleObject(bareThread, 10000);
  CloseHandle(bareThread);
  CloseHandle(g_bareReady);

  std::printf("speech_control: WM_SPEECH_SPEAK (one word, SPEAKF_PURGE) to the fake SAPI voice\n");
  std::printf("  requests per second:            %10.0f   (bare cross-thread SendMessage: %.0f)\n", speechPerSecond,
              barePerSecond);
  std::printf("  SendMessage -> engine speak:    median %8.1f us, 99th percentile %8.1f us (n=%d)\n",
              Percentile(latency, 0.5), Percentile(latency, 0.99), kLatencySamples);
  std::printf("  bare cross-thread SendMessage:  median %8.1f us, 99th percentile %8.1f us (n=%d)\n",
              Percentile(bare, 0.5), Percentile(bare, 0.99), kLatencySamples);
  return check > 0 ? 0 : 1;
}
