// The cost of handing a speak to a voice thread: time from posting a speak command
// (CTTS_Voice::Speak) to the fake engine's SpeakStream call, against a bare PostThreadMessage
// to a thread that answers by setting an event. Printed as medians, 99th percentiles and ratio.
#include "FakeSapiControl.h"
#include "TTSSapi5.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRounds = 2000;
constexpr DWORD kTimeout = 5000;

double Ms(LONGLONG ticks, LONGLONG frequency) { return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency); }

LONGLONG Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

struct Figures {
  double median;
  double p99;
};

Figures Summarise(std::vector<LONGLONG> samples, LONGLONG frequency) {
  std::sort(samples.begin(), samples.end());
  return {Ms(samples[samples.size() / 2], frequency), Ms(samples[samples.size() * 99 / 100], frequency)};
}

struct Echo {
  HANDLE answered;
  HANDLE ready;
};

// A thread with a message queue that answers each WM_APP by setting an event.
DWORD WINAPI EchoThread(void* param) {
  auto* echo = static_cast<Echo*>(param);
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  SetEvent(echo->ready);
  while (GetMessageW(&msg, nullptr, 0, 0) > 0)
    if (msg.message == WM_APP) SetEvent(echo->answered);
  return 0;
}

bool BareRoundTrips(std::vector<LONGLONG>* samples) {
  Echo echo{CreateEventW(nullptr, FALSE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  if (!echo.answered || !echo.ready) return false;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, &EchoThread, &echo, 0, &id);
  bool ok = thread && WaitForSingleObject(echo.ready, kTimeout) == WAIT_OBJECT_0;
  for (int i = 0; ok && i < kRounds; ++i) {
    LONGLONG start = Now();
    ok = PostThreadMessageW(id, WM_APP, 0, 0) && WaitForSingleObject(echo.answered, kTimeout) == WAIT_OBJECT_0;
    samples->push_back(Now() - start);
  }
  if (thread) {
    PostThreadMessageW(id, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, kTimeout);
    CloseHandle(thread);
  }
  CloseHandle(echo.answered);
  CloseHandle(echo.ready);
  return ok;
}

bool SpeakHandOvers(std::vector<LONGLONG>* samples) {
  fakesapi::Session session;
  SetEnvironmentVariableW(fakesapi::kEnvLog, nullptr);  // no log file: it would cost time
  fakesapi::VoiceSpec spec;
  spec.key = L"Bench Voice";
  spec.description = L"Bench Voice";
  spec.name = L"Bench";
  spec.vendor = L"Bench";
  spec.language = L"409";
  session.AddVoice(spec);

  auto* voice = static_cast<VTTSFramework::CTTS_SAPI5*>(
      AfxBeginThread(RUNTIME_CLASS(VTTSFramework::CTTS_SAPI5), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED));
  if (!voice) return false;
  voice->m_bAutoDelete = FALSE;
  voice->ResumeThread();
  voice->Init(0);
  voice->GetRate();  // answered once the initialisation is done
  SpeechClient client;
  bool ok = true;
  for (int i = 0; ok && i < kRounds; ++i) {
    auto* request = new SpeakRequest(&client, SPEAKF_ASYNC | SPEAKF_PURGE);
    request->PrepareText(L"word");
    LONGLONG start = Now();
    voice->Speak(request);
    ok = WaitForSingleObject(session.SpeakEvent(), kTimeout) == WAIT_OBJECT_0;
    samples->push_back(Now() - start);
  }
  voice->PostThreadMessage(WM_VOICE_QUIT, 0, 0);
  if (WaitForSingleObject(voice->m_hThread, kTimeout) == WAIT_OBJECT_0) delete voice;
  return ok;
}

}  // namespace

int main() {
  HRESULT hr = fakesapi::EnsureRegistered();
  if (FAILED(hr)) {
    std::printf("bench_voice: cannot register the fake SAPI server: 0x%08lx\n", static_cast<unsigned long>(hr));
    return 1;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<LONGLONG> bare, speak;
  if (!BareRoundTrips(&bare)) {
    std::printf("bench_voice: the bare round trip failed\n");
    return 1;
  }
  if (!SpeakHandOvers(&speak)) {
    std::printf("bench_voice: a speak did not reach the engine within %lu ms\n", kTimeout);
    return 1;
  }
  Figures b = Summarise(bare, frequency.QuadPart), s = Summarise(speak, frequency.QuadPart);
  std::printf("rounds                                  %d\n", kRounds);
  std::printf("bare PostThreadMessage round trip       median %.4f ms  p99 %.4f ms\n", b.median, b.p99);
  std::printf("speak command to engine SpeakStream     median %.4f ms  p99 %.4f ms\n", s.median, s.p99);
  std::printf("ratio (median speak / median bare)      %.2f\n", b.median > 0 ? s.median / b.median : 0.0);
  return 0;
}
