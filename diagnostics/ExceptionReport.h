// The exception part of the crash report: when and what went wrong, where, the faulting
// thread's registers and call stack, and the call stack of every other thread. Narrow text,
// each line ending in "\r\n", written through a file handle and echoed to the debugger output.
//
// The shipped 32-bit program writes EAX..EIP; a 64-bit build writes its own registers (RAX..RIP)
// and full-width addresses in the same form.
#pragma once

#include <windows.h>

#include <cstddef>

// Frames written per call stack at most: a runaway recursion or a damaged stack would
// otherwise fill the report without end.
constexpr int kMaxStackFrames = 512;

// Where the exception happened, for a report written on another thread than the faulting one.
struct FaultSite {
  HANDLE thread = nullptr;    // a real handle of the faulting thread (GetCurrentThread when on it)
  DWORD omittedThreadId = 0;  // the reporting thread when it is not the faulting one; 0 = none
};

// Writes the whole exception part to `report` (positioned at its end).
void WriteExceptionReport(HANDLE report, EXCEPTION_POINTERS* pointers, const FaultSite& site);

// Formats into a 1024-byte line, sends it to the debugger output and writes it to `report`;
// answers the formatted length.
int ReportPrintf(HANDLE report, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The name of an exception code: the platform constant's name without "EXCEPTION_" for the 22
// codes that have one, else NTDLL's message text for the code. The text lives in a buffer of
// this module that the next unknown code overwrites; a code without message text leaves what
// was there.
const char* GetExceptionName(DWORD code);

// The module and section that hold `address`: the module's file name, the 1-based section
// number and the offset within that section. Only an image mapping with valid headers counts as
// a module. The caller zeroes the outputs; false when no module holds the address (the name is
// still set when a module does but none of its sections).
bool GetLogicalAddress(const void* address, char* moduleName, DWORD nameSize, DWORD& section, uintptr_t& offset);

// The call stack from `context`, at most kMaxStackFrames frames.
void WriteCallStack(HANDLE report, HANDLE thread, const CONTEXT& context);

// The call stacks of the process's threads, all but `omittedThreadId`.
void WriteThreadList(HANDLE report, DWORD omittedThreadId);

// Reads one thread's registers and writes its call stack.
void WriteThreadStack(HANDLE report, DWORD threadId);
