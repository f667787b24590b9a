// The cost of handing a speak to a voice thread: time from posting a speak command
// (CTTS_Voice::Speak) to the fake engine's SpeakStream call, against a bare PostThreadMessage
// to a thread that answers by setting an event, the two alternating round by round. Printed as
// medians, 99th percentiles and their ratio.
#include "FakeSapiControl.h"
#include "TTSSapi5.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRounds = 2000;
constexpr DWORD kTimeout = 5000;
constexpr double kGoal = 2;  // median speak / median bare, at most

double Ms(LONGLONG ticks, LONGLONG frequency) {
  return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency);
}

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

// The echo thread for the bare round trips.
class Echo {
 public:
  Echo()
      : m_answered(CreateEventW(nullptr, FALSE, FALSE, nullptr)), m_ready(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (m_answered && m_ready) m_thread = CreateThread(nullptr, 0, &Echo::Main, this, 0, &m_id);
  }
  ~Echo() {
    if (m_thread) {
      PostThreadMessageW(m_id, WM_QUIT, 0, 0);
      WaitForSingleObject(m_thread, kTimeout);
      CloseHandle(m_thread);
    }
    if (m_answered) CloseHandle(m_answered);
    if (m_ready) CloseHandle(m_ready);
  }
  bool Start() { return m_thread && WaitForSingleObject(m_ready, kTimeout) == WAIT_OBJECT_0; }
  // One PostThreadMessage answered by an event; false when no answer came.
  bool RoundTrip(std::vector<LONGLONG>* samples) {
    LONGLONG start = Now();
    bool ok = PostThreadMessageW(m_id, WM_APP, 0, 0) && WaitForSingleObject(m_answered, kTimeout) == WAIT_OBJECT_0;
    samples->push_back(Now() - start);
    return ok;
  }

 private:
  // A thread with a message queue that answers each WM_APP by setting an event.
  static DWORD WINAPI Main(void* param) {
    auto* echo = static_cast<Echo*>(param);
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(echo->m_ready);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
      if (msg.message == WM_APP) SetEvent(echo->m_answered);
    return 0;
  }

  HANDLE m_answered;
  HANDLE m_ready;
  HANDLE m_thread = nullptr;
  DWORD m_id = 0;
};

// Round by round, a bare round trip and then a speak handed over, so that the load of the
// machine, which changes from second to second here, falls on both alike.
const char* Measure(std::vector<LONGLONG>* bare, std::vector<LONGLONG>* speak) {
  Echo echo;
  if (!echo.Start()) return "the echo thread did not start";

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
  if (!voice) return "the voice thread did not start";
  voice->m_bAutoDelete = FALSE;
  voice->ResumeThread();
  voice->Init(0);
  voice->GetRate();  // answered once the initialisation is done
  SpeechClient client;
  const char* failure = nullptr;
  for (int i = 0; !failure && i < kRounds; ++i) {
    if (!echo.RoundTrip(bare)) {
      failure = "a bare round trip was not answered";
      break;
    }
    auto* request = new SpeakRequest(&client, SPEAKF_ASYNC | SPEAKF_PURGE);
    request->PrepareText(L"word");
    LONGLONG start = Now();
    voice->Speak(request);
    if (WaitForSingleObject(session.SpeakEvent(), kTimeout) != WAIT_OBJECT_0)
      failure = "a speak did not reach the engine";
    speak->push_back(Now() - start);
  }
  voice->PostThreadMessage(WM_VOICE_QUIT, 0, 0);
  if (WaitForSingleObject(voice->m_hThread, kTimeout) == WAIT_OBJECT_0) delete voice;
  return failure;
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
  if (const char* failure = Measure(&bare, &speak)) {
    std::printf("bench_voice: %s (within %lu ms)\n", failure, kTimeout);
    return 1;
  }
  Figures b = Summarise(bare, frequency.QuadPart), s = Summarise(speak, frequency.QuadPart);
  std::printf("rounds                                  %d, alternating bare and speak\n", kRounds);
  std::printf("bare PostThreadMessage round trip       median %.4f ms  p99 %.4f ms\n", b.median, b.p99);
  std::printf("speak command to engine SpeakStream     median %.4f ms  p99 %.4f ms\n", s.median, s.p99);
  const double ratio = b.median > 0 ? s.median / b.median : 0.0;
  const char* verdict = ratio > 0 && ratio <= kGoal ? "met" : "NOT MET";
  std::printf("ratio (median speak / median bare)      %.2f (goal <= %.0f) %s\n", ratio, kGoal, verdict);
  // One row of the summary that scripts/run-bench prints after every benchmark.
  std::printf(
      "ROW\tvoice thread: speak command to the engine's SpeakStream, median\t%.3f ms\t"
      "%.3f ms (PostThreadMessage round trip)\t%.2f\t<= %.0f\t%s\n",
      s.median, b.median, ratio, kGoal, verdict);
  return 0;
}
