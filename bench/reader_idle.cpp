// The reader at rest: started as a user's is (one voice, the dialog unfolded with every control
// shown), then left alone. Its runner (reader_idle.runner) counts, from the host, how often the
// process's threads wake and how much processor time they take while nothing happens, and does
// the same for a bare one-window program as the yardstick. This program sets the scene: for
// each program it starts it, waits for its window, lets it settle, prints
// "IDLE<TAB>label<TAB>image name<TAB>seconds" for the runner and keeps the program untouched
// for that long, then closes it.
#include <windows.h>

#include <cstdio>
#include <string>

#include "ReaderBenchSupport.h"

namespace {

const DWORD kSettleMs = 8000;  // start-up work, first paints, the start-up voice thread's reaping (5 s)
const DWORD kMeasureS = 10;    // the runner's window
const DWORD kMarginMs = 8000;  // the runner's search for the process on a busy host

// Keeps one started program still while the runner measures it; false when it never showed.
bool Idle(const char* label, const std::wstring& program, const wchar_t* className, const wchar_t* title) {
  orv_testing::StartedProgram p;
  if (!p.Start(program)) return false;
  HWND window = nullptr;
  if (!orv_testing::PumpUntil([&] { return (window = orv_testing::FindVisibleWindow(p.Pid(), className, title)); },
                              60000)) {
    std::printf("%s: the window did not appear\n", label);
    return false;
  }
  // No pointer over any window: hovering would start tooltips' timers.
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  Sleep(kSettleMs);  // a measurement interval, not a synchronisation
  const std::wstring image = program.substr(program.find_last_of(L'\\') + 1);
  std::printf("IDLE\t%s\t%ls\t%lu\n", label, image.c_str(), static_cast<unsigned long>(kMeasureS));
  std::fflush(stdout);
  Sleep(kMeasureS * 1000 + kMarginMs);
  p.Close(window, 60000);
  return true;
}

}  // namespace

int main() {
  reader_bench::FakeEngine engine;
  reader_bench::ScopedValues values;
  if (!reader_bench::PrepareRun("reader idle", reader_bench::ReaderProgram(), engine, values)) return 1;
  if (!Idle("bare", reader_bench::BenchFolder() + L"programs\\bare_window.exe", L"OrvelBenchBareWindow", nullptr))
    return 1;
  if (!Idle("reader", reader_bench::ReaderProgram(), L"#32770", L"Orvel Murmelin")) return 1;
  return 0;
}
