// Time from process start to the main dialog being visible, for the reader and for a bare
// Win32 program that shows one window; the ratio is the figure (goal: at most 2).
//
// Each program is started several times; a start is timed from just before CreateProcess to
// the first moment its window is visible, then the window is closed and the process awaited.
// The median of the runs is reported.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

const int kRuns = 7;
const DWORD kTimeoutMs = 30000;

std::wstring Folder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

struct Search {
  DWORD pid;
  const wchar_t* className;
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner != s->pid || !IsWindowVisible(hwnd)) return TRUE;
  wchar_t text[128] = {};
  GetClassNameW(hwnd, text, 128);
  if (wcscmp(text, s->className) != 0) return TRUE;
  if (s->title) {
    GetWindowTextW(hwnd, text, 128);
    if (wcscmp(text, s->title) != 0) return TRUE;
  }
  s->found = hwnd;
  return FALSE;
}

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
  Search search = {info.dwProcessId, className, title, nullptr};
  const ULONGLONG deadline = GetTickCount64() + kTimeoutMs;
  while (search.found == nullptr && GetTickCount64() < deadline) {
    EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
    if (search.found) break;
    // Wakes at once when the process ends; otherwise looks again a millisecond later.
    if (MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, 1, QS_ALLINPUT) == WAIT_OBJECT_0) break;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  QueryPerformanceCounter(&shown);
  double ms = -1;
  if (search.found) {
    ms = 1000.0 * static_cast<double>(shown.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    PostMessageW(search.found, WM_CLOSE, 0, 0);
  }
  if (WaitForSingleObject(info.hProcess, kTimeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, kTimeoutMs);
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return ms;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? -1 : values[values.size() / 2];
}

double Measure(const char* label, const std::wstring& program, const wchar_t* className, const wchar_t* title) {
  TimeStart(program, className, title);  // warm-up: file cache, Wine's own start-up
  std::vector<double> runs;
  for (int n = 0; n < kRuns; ++n) {
    const double ms = TimeStart(program, className, title);
    if (ms < 0) {
      std::printf("%s: the window did not appear\n", label);
      return -1;
    }
    runs.push_back(ms);
  }
  const double median = Median(runs);
  std::printf("%-28s median %8.1f ms  (min %.1f, max %.1f, %d runs)\n", label, median,
              *std::min_element(runs.begin(), runs.end()), *std::max_element(runs.begin(), runs.end()), kRuns);
  return median;
}

// "language" under the maker key for the time of the benchmark, as the installer writes it.
class LanguageValue {
 public:
  LanguageValue() {
    // The reader keeps its keys in the 32-bit registry view, whichever build reads them.
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ORVEL", 0, nullptr, 0, KEY_READ | KEY_WRITE | KEY_WOW64_32KEY,
                        nullptr, &m_key, nullptr) != ERROR_SUCCESS) {
      m_key = nullptr;
      return;
    }
    DWORD size = 0;
    if (RegQueryValueExW(m_key, L"language", nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
      m_old.resize(size);
      m_had = RegQueryValueExW(m_key, L"language", nullptr, &m_type, m_old.data(), &size) == ERROR_SUCCESS;
    }
    const wchar_t english[] = L"english";
    RegSetValueExW(m_key, L"language", 0, REG_SZ, reinterpret_cast<const BYTE*>(english), sizeof(english));
  }
  ~LanguageValue() {
    if (!m_key) return;
    if (m_had) {
      RegSetValueExW(m_key, L"language", 0, m_type, m_old.data(), static_cast<DWORD>(m_old.size()));
    } else {
      RegDeleteValueW(m_key, L"language");
    }
    RegCloseKey(m_key);
  }
  LanguageValue(const LanguageValue&) = delete;
  LanguageValue& operator=(const LanguageValue&) = delete;

 private:
  HKEY m_key = nullptr;
  bool m_had = false;
  DWORD m_type = 0;
  std::vector<BYTE> m_old;
};

}  // namespace

int main() {
  const std::wstring folder = Folder();
  const std::wstring reader = folder + L"..\\reader\\bin\\Orvel Murmelin.exe";
  const std::wstring bare = folder + L"programs\\bare_window.exe";
  if (GetFileAttributesW(reader.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::printf("reader start: the reader is not built\n");
    return 1;
  }
  if (HANDLE running = OpenMutexW(SYNCHRONIZE, FALSE, L"ONLY_ONE_ORVEL_TUNELO")) {
    CloseHandle(running);
    std::printf("reader start: a reader is already running in this prefix; close it first\n");
    return 1;
  }
  LanguageValue language;
  std::printf("Start-up to a visible window (process creation included):\n");
  const double bareMs = Measure("bare Win32 window", bare, L"OrvelBenchBareWindow", nullptr);
  const double readerMs = Measure("Orvel Murmelin main dialog", reader, L"#32770", L"Orvel Murmelin");
  if (bareMs <= 0 || readerMs <= 0) return 1;
  const double ratio = readerMs / bareMs;
  std::printf("ratio reader / bare          %8.2f  (goal <= 2: %s)\n", ratio, ratio <= 2.0 ? "met" : "NOT met");
  return 0;
}
