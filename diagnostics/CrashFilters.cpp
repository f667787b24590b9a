#include "CrashFilters.h"

#include <dbghelp.h>
#include <process.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "ExceptionReport.h"
#include "SystemReport.h"
#include "UniqueHandle.h"

namespace {

constexpr size_t kReportPathChars = 260;
// Far beyond what a report takes (seconds; a full-memory dump under Wine, about two minutes).
constexpr DWORD kReportTimeLimitMs = 10 * 60 * 1000;

// Everything the filters share. Written by the installers on the UI thread before any crash,
// and by the first filter entry before it wakes the reporting thread (the event orders it).
struct ChainState {
  wchar_t reportPath[kReportPathChars] = {};
  LPTOP_LEVEL_EXCEPTION_FILTER beforeTerminate = nullptr;  // never called
  LPTOP_LEVEL_EXCEPTION_FILTER beforeReportCheck = nullptr;
  LPTOP_LEVEL_EXCEPTION_FILTER beforeTextReport = nullptr;
  LPTOP_LEVEL_EXCEPTION_FILTER beforeDump = nullptr;

  HANDLE wake = nullptr;      // set by the filter entry: a crash is to be reported
  HANDLE finished = nullptr;  // set by the reporting thread when the chain returned
  HANDLE reporter = nullptr;
  DWORD reporterId = 0;

  volatile LONG entered = 0;  // 1 once a crash is being reported
  // The crash being reported and the thread that runs the chain for it.
  EXCEPTION_POINTERS* pointers = nullptr;
  DWORD faultingThreadId = 0;
  DWORD workerId = 0;
  LPTOP_LEVEL_EXCEPTION_FILTER entry = nullptr;
  LONG result = EXCEPTION_CONTINUE_SEARCH;
};

ChainState g_chain;

}  // namespace

// dbghelp walks a stack only for a process whose symbol handler is set up. Done once, on the
// thread that writes the report, before the dump: MiniDumpWriteDump then finds it ready instead
// of setting up (under Wine: loading every module's debug information) on its own. Symbols are
// loaded on first use only. The process ends after the report, so it is never cleaned up.
// Invading the process can fail (Wine cannot always inspect its own process, as under an i386
// emulator, and answers ERROR_INVALID_PARAMETER): the handler is then set up without it and
// given the process's modules one by one, so the walks (which need the modules' unwind data on
// x64) and the dump still work.
SymbolHandler PrepareSymbolHandler() {
  SymSetOptions(SymGetOptions() | SYMOPT_DEFERRED_LOADS);
  const HANDLE process = GetCurrentProcess();
  if (SymInitialize(process, nullptr, TRUE)) return SymbolHandler::Invaded;
  if (!SymInitialize(process, nullptr, FALSE)) return SymbolHandler::None;
  const win::UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0));
  if (!snapshot) return SymbolHandler::ModuleByModule;
  MODULEENTRY32W module = {};
  module.dwSize = sizeof module;
  for (BOOL more = Module32FirstW(snapshot.get(), &module); more; more = Module32NextW(snapshot.get(), &module)) {
    SymLoadModuleExW(process, nullptr, module.szExePath, module.szModule,
                     static_cast<DWORD64>(reinterpret_cast<uintptr_t>(module.modBaseAddr)), module.modBaseSize, nullptr,
                     0);
  }
  return SymbolHandler::ModuleByModule;
}

namespace {

unsigned __stdcall ReporterMain(void*) {
  WaitForSingleObject(g_chain.wake, INFINITE);
  PrepareSymbolHandler();
  g_chain.result = g_chain.entry(g_chain.pointers);
  SetEvent(g_chain.finished);
  return 0;
}

// Prepared while the process is healthy: a crash may leave no stack, memory or handles to
// start a thread with.
void StartReporter() {
  if (g_chain.reporter != nullptr) return;
  g_chain.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  g_chain.finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (g_chain.wake == nullptr || g_chain.finished == nullptr) return;
  unsigned id = 0;
  const uintptr_t thread = _beginthreadex(nullptr, 0, ReporterMain, nullptr, 0, &id);
  if (thread == 0) return;
  g_chain.reporter = reinterpret_cast<HANDLE>(thread);
  g_chain.reporterId = id;
}

// A stack overflow is raised on what is left of the faulting thread's stack; the filter needs a
// little of it to wake the reporting thread. Keep that room on the installing thread (the
// reader's UI thread). Looked up by name: systems before Vista do not have the call.
void ReserveStackForOverflow() {
  using SetThreadStackGuaranteeFn = BOOL(WINAPI*)(PULONG);
  const auto reserve = reinterpret_cast<SetThreadStackGuaranteeFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadStackGuarantee")));
  ULONG bytes = 32 * 1024;
  if (reserve != nullptr) reserve(&bytes);
}

// Called first by every filter. Answers false when the call is the chain's own work for the
// crash being reported; otherwise this is the platform reporting an exception: the first one
// is handed to the reporting thread (or, without it, run here), whose chain result is then put
// into `result`. A fault inside the report ends the process at once. A later fault of another
// thread waits until the first one's report and dump are written (as long as the faulting
// thread waits for them) and then ends the process: one report, of the first fault.
bool HandOver(LPTOP_LEVEL_EXCEPTION_FILTER filter, EXCEPTION_POINTERS* pointers, LONG* result) {
  if (g_chain.entered && GetCurrentThreadId() == g_chain.workerId && pointers == g_chain.pointers) return false;
  if (InterlockedCompareExchange(&g_chain.entered, 1, 0) != 0) {
    const DWORD self = GetCurrentThreadId();
    if (self != g_chain.reporterId && self != g_chain.workerId && g_chain.finished != nullptr) {
      WaitForSingleObject(g_chain.finished, kReportTimeLimitMs);
    }
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(kCrashExitCode));
  }
  g_chain.pointers = pointers;
  g_chain.faultingThreadId = GetCurrentThreadId();
  g_chain.entry = filter;
  if (g_chain.reporter != nullptr) {
    g_chain.workerId = g_chain.reporterId;
    SetEvent(g_chain.wake);
    // The faulting thread may hold a lock that the report needs (a crash inside the heap holds
    // the heap's): the report then never finishes, and the process must still end.
    if (WaitForSingleObject(g_chain.finished, kReportTimeLimitMs) != WAIT_OBJECT_0) {
      TerminateProcess(GetCurrentProcess(), static_cast<UINT>(kCrashExitCode));
    }
    *result = g_chain.result;
  } else {
    g_chain.workerId = GetCurrentThreadId();
    PrepareSymbolHandler();
    *result = filter(pointers);
    if (g_chain.finished != nullptr) SetEvent(g_chain.finished);
  }
  return true;
}

LONG CallPredecessor(LPTOP_LEVEL_EXCEPTION_FILTER predecessor, EXCEPTION_POINTERS* pointers) {
  return predecessor ? predecessor(pointers) : EXCEPTION_CONTINUE_SEARCH;
}

// "mdmp_mode" of the reader's application key, passed unchanged as the dump type; 0 when the key
// or the value is missing or the value is not a 4-byte REG_DWORD. Read here, at the crash, with
// registry calls of its own: the crash path leans on nothing of the program it reports on. The
// reader keeps its keys in the 32-bit registry view, in both builds.
MINIDUMP_TYPE DumpType() {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kReaderAppKey, 0, KEY_READ | KEY_WOW64_32KEY, &opened) != ERROR_SUCCESS)
    return MiniDumpNormal;
  const win::UniqueRegKey key(opened);
  DWORD type = 0, mode = 0, size = sizeof mode;
  const LONG rc = RegQueryValueExW(key.get(), L"mdmp_mode", nullptr, &type, reinterpret_cast<BYTE*>(&mode), &size);
  if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof mode) return MiniDumpNormal;
  return static_cast<MINIDUMP_TYPE>(mode);
}

void WriteMinidump(const wchar_t* reportPath, EXCEPTION_POINTERS* pointers) {
  using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                            PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);
  // Freed last, after the dump file is closed.
  const win::UniqueModule dbghelp(LoadLibraryW(L"DBGHELP.DLL"));
  auto writeDump = dbghelp ? reinterpret_cast<MiniDumpWriteDumpFn>(
                                 reinterpret_cast<void*>(GetProcAddress(dbghelp.get(), "MiniDumpWriteDump")))
                           : nullptr;
  if (writeDump != nullptr) {
    const std::wstring path = MinidumpPathFor(reportPath, static_cast<long long>(time(nullptr)));
    const win::UniqueFile file(path.empty() ? INVALID_HANDLE_VALUE
                                            : CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    // The dump names the faulting thread, not the one writing it.
    MINIDUMP_EXCEPTION_INFORMATION exception = {
        g_chain.faultingThreadId ? g_chain.faultingThreadId : GetCurrentThreadId(), pointers, FALSE};
    // Without a file there is no dump; the call is not made, as it would gather the whole
    // dump (seconds of work) only to fail on the handle.
    if (file) {
      writeDump(GetCurrentProcess(), GetCurrentProcessId(), file.get(), DumpType(), pointers ? &exception : nullptr,
                nullptr, nullptr);
    }
  }
}

std::wstring Widen(const char* text) { return std::wstring(text, text + strlen(text)); }

}  // namespace

std::wstring MinidumpPathFor(const wchar_t* reportPath, long long seconds) {
  const std::wstring report(reportPath);
  const size_t slash = report.rfind(L'\\');
  if (slash == std::wstring::npos) return {};
  char name[32];
  // Right-aligned with spaces, unlike the report's zero-padded stamp.
  snprintf(name, sizeof name, "\\state_%10d.mdmp", static_cast<int>(static_cast<unsigned int>(seconds)));
  std::wstring path = report.substr(0, slash) + Widen(name);
  if (path.size() >= 512) return {};
  return path;
}

const wchar_t* CrashReportPath() { return g_chain.reportPath; }

void WriteDumpAndSystemLines(const wchar_t* reportPath, EXCEPTION_POINTERS* pointers) {
  WriteMinidump(reportPath, pointers);
  if (reportPath[0] == L'\0') return;
  FILE* report = _wfopen(reportPath, L"at");
  if (report == nullptr) return;
  WriteSystemLines(report);
  fflush(report);
  fclose(report);
}

void InstallTerminateFilter() {
  wchar_t appData[MAX_PATH] = {};
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) {
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%.10d", static_cast<int>(static_cast<unsigned int>(time(nullptr))));
    const std::wstring path = std::wstring(appData) + L"\\" + kProductName + L"\\" + Widen(stamp) + L".rpt";
    // A path that does not fit stays empty: no report rather than one in the wrong place.
    if (path.size() < kReportPathChars) wcscpy(g_chain.reportPath, path.c_str());
  }
  StartReporter();
  ReserveStackForOverflow();
  g_chain.beforeTerminate = SetUnhandledExceptionFilter(TerminateFilter);
}

void InstallReportCheckFilter() { g_chain.beforeReportCheck = SetUnhandledExceptionFilter(ReportCheckFilter); }

void InstallTextReportFilter() { g_chain.beforeTextReport = SetUnhandledExceptionFilter(TextReportFilter); }

void InstallDumpFilter() { g_chain.beforeDump = SetUnhandledExceptionFilter(DumpFilter); }

LONG WINAPI DumpFilter(EXCEPTION_POINTERS* pointers) {
  LONG result = EXCEPTION_CONTINUE_SEARCH;
  if (HandOver(DumpFilter, pointers, &result)) return result;
  try {
    WriteDumpAndSystemLines(g_chain.reportPath, pointers);
  } catch (...) {
    // Out of memory in a damaged process: the text report may still be written.
  }
  return CallPredecessor(g_chain.beforeDump, pointers);
}

LONG WINAPI TextReportFilter(EXCEPTION_POINTERS* pointers) {
  LONG result = EXCEPTION_CONTINUE_SEARCH;
  if (HandOver(TextReportFilter, pointers, &result)) return result;
  // The report and the thread handle are closed at the end of this statement, before the notice.
  if (const win::UniqueFile report(g_chain.reportPath[0] ? CreateFileW(g_chain.reportPath, GENERIC_WRITE, 0, nullptr,
                                                                       OPEN_ALWAYS, FILE_FLAG_WRITE_THROUGH, nullptr)
                                                         : INVALID_HANDLE_VALUE);
      report) {
    SetFilePointer(report.get(), 0, nullptr, FILE_END);
    FaultSite site;
    const bool elsewhere = g_chain.faultingThreadId != GetCurrentThreadId();
    // The current thread's pseudo handle needs no closing; another thread's real handle does.
    const win::UniqueKernelHandle faulting(
        elsewhere ? OpenThread(THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, g_chain.faultingThreadId)
                  : nullptr);
    site.thread = elsewhere ? faulting.get() : GetCurrentThread();
    site.omittedThreadId = elsewhere ? GetCurrentThreadId() : 0;
    try {
      WriteExceptionReport(report.get(), pointers, site);
    } catch (...) {
      // What was written stays; the chain goes on to end the process.
    }
  }
  OutputDebugStringA(
      "An unhandled exception has occurred.\r\n"
      "Information regarding the exception has been logged.\r\n"
      "Please contact your application vendor for further assistance.\r\n");
  return CallPredecessor(g_chain.beforeTextReport, pointers);
}

LONG WINAPI ReportCheckFilter(EXCEPTION_POINTERS* pointers) {
  LONG result = EXCEPTION_CONTINUE_SEARCH;
  if (HandOver(ReportCheckFilter, pointers, &result)) return result;
  return CallPredecessor(g_chain.beforeReportCheck, pointers);
}

LONG WINAPI TerminateFilter(EXCEPTION_POINTERS* pointers) {
  LONG result = EXCEPTION_CONTINUE_SEARCH;
  if (HandOver(TerminateFilter, pointers, &result)) return result;
  // The orderly end: exit handlers and static destructors run.
  exit(kCrashExitCode);
}
