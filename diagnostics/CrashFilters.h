// The reader's four chained unhandled-exception filters. Installed first thing at start-up, in
// this order; one crash then runs DumpFilter, TextReportFilter, ReportCheckFilter and
// TerminateFilter, which leave a minidump and a text report in the reader's folder of the
// user's application data (when that folder exists; the reader never creates it) and end the
// process with exit code -1.
//
// The work does not run on the faulting thread: after a stack overflow that thread has no stack
// left for it. A reporting thread, started by InstallTerminateFilter and idle until then, is
// woken by the filter and runs the chain while the faulting thread waits. A fault during the
// report ends the process at once with the same exit code; a crash of another thread meanwhile
// waits for the first crash's report and then ends the process.
#pragma once

#include <windows.h>

#include <string>

constexpr int kCrashExitCode = -1;

// The reader's application key (HKEY_LOCAL_MACHINE, 32-bit view), where a crash reads
// "mdmp_mode". The diagnostics spell it themselves: they include nothing of the reader.
constexpr const wchar_t* kReaderAppKey = L"SOFTWARE\\Orvel\\Orvel Murmelin";

void InstallTerminateFilter();
void InstallReportCheckFilter();
void InstallTextReportFilter();
void InstallDumpFilter();

LONG WINAPI TerminateFilter(EXCEPTION_POINTERS* pointers);
LONG WINAPI ReportCheckFilter(EXCEPTION_POINTERS* pointers);
LONG WINAPI TextReportFilter(EXCEPTION_POINTERS* pointers);
LONG WINAPI DumpFilter(EXCEPTION_POINTERS* pointers);

// How dbghelp's symbol handler for this process was set up.
enum class SymbolHandler {
  None,            // it could not be
  Invaded,         // the handler found the loaded modules itself
  ModuleByModule,  // the process could not be invaded: the modules were given one by one
};

// Sets up dbghelp's symbol handler for this process, as the reporting thread does before the
// report and the dump, and says how.
SymbolHandler PrepareSymbolHandler();

// Writes the minidump beside the report (named by the crash time) and appends the system part
// to the report. `pointers` may be null: the dump then has no exception information.
void WriteDumpAndSystemLines(const wchar_t* reportPath, EXCEPTION_POINTERS* pointers);

// The report path formed by InstallTerminateFilter:
// <application data>\Orvel Murmelin\<start-up seconds, at least ten digits>.rpt.
const wchar_t* CrashReportPath();

// The minidump path for a crash at `seconds` beside `reportPath`: the report's folder and
// "\state_" + the seconds right-aligned in ten places + ".mdmp". Empty when the report path has
// no folder.
std::wstring MinidumpPathFor(const wchar_t* reportPath, long long seconds);
