// Time from process start to the main dialog being visible, for the reader and for a bare
// Win32 program that shows one window; the ratio is the figure (goal: at most 2).
//
// Each program is started several times; a start is timed from just before CreateProcess to
// the first moment its window is visible (shown: its first paint may still be pending, for the
// bare window as for the reader), then the window is closed and the process awaited. The median
// of the runs is reported.
//
// The reader is timed twice. Its usual start, the figure of the row: installed (the keys the
// installer makes are there) and run before, so "first" and the speech settings and window
// position that an earlier run saves at its end are in place; with a voice (of the fake engine),
// its skin and every control. And its first run, for comparison only: "first" removed before
// every start (each run writes it back at its end), so the usage hint shows and the maker's voice
// for the system's language is looked for.
//
// An optional argument names another reader program to time instead of the built one.
// `--compare OLD NEW [ROUNDS]` times two reader programs (e.g. a copy of an earlier build and the
// new one) start by start instead: each round starts the bare program, then the two readers in
// turns that swap every round, so that a machine busy with other work weighs on both alike; it
// reports the medians, the ratios and the median of the rounds' differences (usual start only).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ReaderBenchSupport.h"

namespace {

const int kRuns = 7;
const DWORD kTimeoutMs = 30000;

// One timed start; milliseconds, or a negative value when the window never showed.
double TimeStart(const std::wstring& program, const wchar_t* className, const wchar_t* title) {
  LARGE_INTEGER frequency, start, shown;
  QueryPerformanceFrequency(&frequency);
  std::wstring commandLine = L"\"" + program + L"\"";
  const std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &info)) {
    std::fprintf(stderr, "CreateProcess failed, error %lu\n", GetLastError());
    return -1;
  }
  HWND found = nullptr;
  const ULONGLONG deadline = GetTickCount64() + kTimeoutMs;
  while (GetTickCount64() < deadline) {
    found = orv_testing::FindVisibleWindow(info.dwProcessId, className, title);
    if (found) break;
    // Wakes at once when the process ends; otherwise looks again a millisecond later.
    if (MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, 1, QS_ALLINPUT) == WAIT_OBJECT_0) break;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  QueryPerformanceCounter(&shown);
  double ms = -1;
  if (found) {
    ms = 1000.0 * static_cast<double>(shown.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    PostMessageW(found, WM_CLOSE, 0, 0);
  }
  if (WaitForSingleObject(info.hProcess, kTimeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, kTimeoutMs);
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return ms;
}

// `prepare` runs before every start, the warm-up's included.
double Measure(const char* label, const std::wstring& program, const wchar_t* className, const wchar_t* title,
               const std::function<bool()>& prepare = nullptr) {
  if (prepare && !prepare()) {
    std::printf("%s: the reader's settings could not be prepared\n", label);
    return -1;
  }
  TimeStart(program, className, title);  // warm-up: file cache, Wine's own start-up
  std::vector<double> runs;
  for (int n = 0; n < kRuns; ++n) {
    if (prepare && !prepare()) {
      std::printf("%s: the reader's settings could not be prepared\n", label);
      return -1;
    }
    const double ms = TimeStart(program, className, title);
    if (ms < 0) {
      std::printf("%s: the window did not appear\n", label);
      return -1;
    }
    runs.push_back(ms);
  }
  const double median = reader_bench::Median(runs);
  std::printf("%-28s median %8.1f ms  (min %.1f, max %.1f, %d runs)\n", label, median,
              *std::min_element(runs.begin(), runs.end()), *std::max_element(runs.begin(), runs.end()), kRuns);
  return median;
}

// Old and new reader interleaved with the bare program, round by round.
int Compare(const std::wstring& bare, const std::wstring& oldReader, const std::wstring& newReader, int rounds,
            reader_bench::ScopedValues& values) {
  std::vector<double> bareRuns, oldRuns, newRuns, differences, oldRatios, newRatios;
  const auto reader = [&values](const std::wstring& program) {
    return values.SetEarlierRunState() ? TimeStart(program, L"#32770", L"Orvel Murmelin") : -1;
  };
  TimeStart(bare, L"OrvelBenchBareWindow", nullptr);  // warm-ups
  reader(oldReader);
  reader(newReader);
  for (int round = 0; round < rounds; ++round) {
    const double bareMs = TimeStart(bare, L"OrvelBenchBareWindow", nullptr);
    const bool oldFirst = round % 2 == 0;
    const double firstMs = reader(oldFirst ? oldReader : newReader);
    const double secondMs = reader(oldFirst ? newReader : oldReader);
    const double oldMs = oldFirst ? firstMs : secondMs, newMs = oldFirst ? secondMs : firstMs;
    if (bareMs <= 0 || oldMs <= 0 || newMs <= 0) {
      std::printf("round %d: a window did not appear\n", round + 1);
      return 1;
    }
    std::printf("round %2d: bare %7.1f  old %7.1f  new %7.1f ms\n", round + 1, bareMs, oldMs, newMs);
    bareRuns.push_back(bareMs);
    oldRuns.push_back(oldMs);
    newRuns.push_back(newMs);
    differences.push_back(newMs - oldMs);
    oldRatios.push_back(oldMs / bareMs);
    newRatios.push_back(newMs / bareMs);
  }
  using reader_bench::Median;
  std::printf("medians: bare %.1f, old %.1f, new %.1f ms; new - old per round: median %+.1f ms\n", Median(bareRuns),
              Median(oldRuns), Median(newRuns), Median(differences));
  std::printf("ratio to the round's bare start, median: old %.2f, new %.2f\n", Median(oldRatios), Median(newRatios));
  const auto least = [](const std::vector<double>& runs) { return *std::min_element(runs.begin(), runs.end()); };
  std::printf("fastest start: bare %.1f, old %.1f, new %.1f ms\n", least(bareRuns), least(oldRuns), least(newRuns));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring folder = reader_bench::BenchFolder();
  const bool compare = argc >= 4 && std::wstring(argv[1]) == L"--compare";
  const std::wstring reader = compare    ? std::wstring(argv[2])
                              : argc > 1 ? std::wstring(argv[1])
                                         : reader_bench::ReaderProgram();
  const std::wstring bare = folder + L"programs\\bare_window.exe";
  reader_bench::FakeEngine engine;
  reader_bench::ScopedValues values;
  if (!reader_bench::PrepareRun("reader start", reader, engine, values)) return 1;
  if (compare) {
    const int rounds = argc >= 5 ? std::max(1, _wtoi(argv[4])) : 15;
    return Compare(bare, reader, argv[3], rounds, values);
  }
  std::printf("Start-up to a visible window (process creation included):\n");
  const double bareMs = Measure("bare Win32 window", bare, L"OrvelBenchBareWindow", nullptr);
  const double readerMs = Measure("Orvel Murmelin, usual start", reader, L"#32770", L"Orvel Murmelin",
                                  [&values] { return values.SetEarlierRunState(); });
  const double firstRunMs = Measure("Orvel Murmelin, first run", reader, L"#32770", L"Orvel Murmelin",
                                    [&values] { return values.ForgetEarlierRun(); });
  if (bareMs <= 0 || readerMs <= 0 || firstRunMs <= 0) return 1;
  std::printf("ratio first run / bare       %8.2f  (for comparison: the usage hint and the voice search)\n",
              firstRunMs / bareMs);
  const double ratio = readerMs / bareMs;
  const char* verdict = ratio <= 2.0 ? "met" : "NOT MET";
  std::printf("ratio reader / bare          %8.2f  (goal <= 2: %s)\n", ratio, verdict);
  std::printf(
      "ROW\treader: usual start-up to the visible skinned dialog, median\t%.1f ms\t%.1f ms (one-window program)\t%.2f"
      "\t<= 2\t%s\n",
      readerMs, bareMs, ratio, verdict);
  return 0;
}
