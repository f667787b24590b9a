// Programs that tests, benchmarks and the demo start and watch from the Windows side: a started
// process that is ended if it still runs when its owner goes, and the looks at another process's
// windows that have nothing to wait on but the windows themselves.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace orv_testing {

class StartedProgram {
 public:
  StartedProgram() = default;
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  // Starts `program` with `arguments` appended to its quoted path, in the program's folder.
  // Suspended: Resume() lets it run, so that its pid can be used first. False with
  // GetLastError() set when it did not start.
  bool Start(const std::wstring& program, const std::wstring& arguments = std::wstring(), bool suspended = false);
  void Resume();
  DWORD Pid() const { return m_info.dwProcessId; }
  // The exit code once it ended within the bound, else STILL_ACTIVE.
  DWORD WaitForExit(DWORD boundMs);
  // Posts WM_CLOSE to `window` (when given) and waits for the end; terminates it after the bound.
  void Close(HWND window, DWORD boundMs = 30000);

 private:
  PROCESS_INFORMATION m_info = {};
};

// The first visible top-level window of the process with that class and, when given, title.
HWND FindVisibleWindow(DWORD pid, const wchar_t* className, const wchar_t* title);

// Dispatches this thread's messages, showing each one to `seen` first when it is given, and
// looks again at `condition` whenever one arrives and every few milliseconds, until it holds;
// false when the bound passed first. WM_QUIT is shown but not dispatched.
bool PumpUntil(const std::function<bool()>& condition, DWORD boundMs,
               const std::function<void(const MSG&)>& seen = nullptr);

}  // namespace orv_testing
