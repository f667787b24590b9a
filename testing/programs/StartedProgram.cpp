#include "StartedProgram.h"

#include <cwchar>

namespace orv_testing {

StartedProgram::~StartedProgram() {
  if (!m_info.hProcess) return;
  if (WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(m_info.hProcess, 1);
    WaitForSingleObject(m_info.hProcess, 10000);
  }
  CloseHandle(m_info.hThread);
  CloseHandle(m_info.hProcess);
}

bool StartedProgram::Start(const std::wstring& program, const std::wstring& arguments, bool suspended) {
  std::wstring commandLine = L"\"" + program + L"\"" + arguments;
  const std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, suspended ? CREATE_SUSPENDED : 0,
                      nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &m_info)) {
    m_info = PROCESS_INFORMATION();
    return false;
  }
  return true;
}

void StartedProgram::Resume() {
  if (m_info.hThread) ResumeThread(m_info.hThread);
}

DWORD StartedProgram::WaitForExit(DWORD boundMs) {
  DWORD code = STILL_ACTIVE;
  if (m_info.hProcess && WaitForSingleObject(m_info.hProcess, boundMs) == WAIT_OBJECT_0)
    GetExitCodeProcess(m_info.hProcess, &code);
  return code;
}

void StartedProgram::Close(HWND window, DWORD boundMs) {
  if (!m_info.hProcess) return;
  if (window) PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(m_info.hProcess, boundMs) != WAIT_OBJECT_0) {
    TerminateProcess(m_info.hProcess, 1);
    WaitForSingleObject(m_info.hProcess, boundMs);
  }
}

namespace {
struct Search {
  DWORD pid;
  const wchar_t* className;
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK MatchVisible(HWND hwnd, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner != s->pid || !IsWindowVisible(hwnd)) return TRUE;
  wchar_t text[256] = {};
  GetClassNameW(hwnd, text, 256);
  if (wcscmp(text, s->className) != 0) return TRUE;
  if (s->title) {
    GetWindowTextW(hwnd, text, 256);
    if (wcscmp(text, s->title) != 0) return TRUE;
  }
  s->found = hwnd;
  return FALSE;
}
}  // namespace

HWND FindVisibleWindow(DWORD pid, const wchar_t* className, const wchar_t* title) {
  Search search = {pid, className, title, nullptr};
  EnumWindows(MatchVisible, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool PumpUntil(const std::function<bool()>& condition, DWORD boundMs, const std::function<void(const MSG&)>& seen) {
  const ULONGLONG deadline = GetTickCount64() + boundMs;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (seen) seen(msg);
      if (msg.message == WM_QUIT) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

}  // namespace orv_testing
