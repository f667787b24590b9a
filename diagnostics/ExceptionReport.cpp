#include "ExceptionReport.h"

#include <dbghelp.h>
#include <tlhelp32.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "UniqueHandle.h"

namespace {

#if defined(_WIN64)
#define ORV_ADDRESS "%016llX"
using AddressArg = unsigned long long;
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_AMD64;
#else
#define ORV_ADDRESS "%08X"
using AddressArg = unsigned int;
constexpr DWORD kMachine = IMAGE_FILE_MACHINE_I386;
#endif

AddressArg Address(uintptr_t value) { return static_cast<AddressArg>(value); }
AddressArg Address(const void* value) { return Address(reinterpret_cast<uintptr_t>(value)); }

struct NamedCode {
  DWORD code;
  const char* name;
};

const NamedCode kExceptionNames[] = {
    {0x80000001, "GUARD_PAGE"},
    {0x80000002, "DATATYPE_MISALIGNMENT"},
    {0x80000003, "BREAKPOINT"},
    {0x80000004, "SINGLE_STEP"},
    {0xC0000005, "ACCESS_VIOLATION"},
    {0xC0000006, "IN_PAGE_ERROR"},
    {0xC0000008, "INVALID_HANDLE"},
    {0xC000001D, "ILLEGAL_INSTRUCTION"},
    {0xC0000025, "NONCONTINUABLE_EXCEPTION"},
    {0xC0000026, "INVALID_DISPOSITION"},
    {0xC000008C, "ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008D, "FLT_DENORMAL_OPERAND"},
    {0xC000008E, "FLT_DIVIDE_BY_ZERO"},
    {0xC000008F, "FLT_INEXACT_RESULT"},
    {0xC0000090, "FLT_INVALID_OPERATION"},
    {0xC0000091, "FLT_OVERFLOW"},
    {0xC0000092, "FLT_STACK_CHECK"},
    {0xC0000093, "FLT_UNDERFLOW"},
    {0xC0000094, "INT_DIVIDE_BY_ZERO"},
    {0xC0000095, "INT_OVERFLOW"},
    {0xC0000096, "PRIV_INSTRUCTION"},
    {0xC00000FD, "STACK_OVERFLOW"},
};

// Keeps the last message text of a code outside the table.
char g_exceptionText[512];

bool IsReadable(DWORD protect) {
  if (protect & (PAGE_GUARD | PAGE_NOACCESS)) return false;
  return (protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                     PAGE_EXECUTE_WRITECOPY)) != 0;
}

// True when [address, address + size) lies in readable committed memory of one region.
bool CanRead(const void* address, size_t size) {
  MEMORY_BASIC_INFORMATION region = {};
  if (VirtualQuery(address, &region, sizeof region) != sizeof region) return false;
  if (region.State != MEM_COMMIT || !IsReadable(region.Protect)) return false;
  const auto start = reinterpret_cast<uintptr_t>(address);
  const auto end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
  return start + size >= start && start + size <= end;
}

}  // namespace

int ReportPrintf(HANDLE report, const char* format, ...) {
  char line[1024] = {};
  va_list arguments;
  va_start(arguments, format);
  int length = vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (length < 0) return length;
  if (length >= static_cast<int>(sizeof line)) length = sizeof line - 1;
  OutputDebugStringA(line);
  DWORD written = 0;
  // A line that does not reach the file is lost; the next one is still tried.
  WriteFile(report, line, static_cast<DWORD>(length), &written, nullptr);
  return length;
}

const char* GetExceptionName(DWORD code) {
  for (const NamedCode& entry : kExceptionNames) {
    if (entry.code == code) return entry.name;
  }
  FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, GetModuleHandleW(L"NTDLL.DLL"), code, 0,
                 g_exceptionText, sizeof g_exceptionText, nullptr);
  return g_exceptionText;
}

bool GetLogicalAddress(const void* address, char* moduleName, DWORD nameSize, DWORD& section, uintptr_t& offset) {
  MEMORY_BASIC_INFORMATION region = {};
  if (VirtualQuery(address, &region, sizeof region) != sizeof region) return false;
  // Only an image mapping is a module: an allocation base of free memory, the heap or a stack
  // has no headers to read (a call through a null pointer lands at 0, whose "base" is 0, and
  // the module handle 0 would even name the program).
  if (region.State != MEM_COMMIT || region.Type != MEM_IMAGE || region.AllocationBase == nullptr) return false;
  const auto base = static_cast<const BYTE*>(region.AllocationBase);
  if (GetModuleFileNameA(reinterpret_cast<HMODULE>(region.AllocationBase), moduleName, nameSize) == 0) return false;

  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (!CanRead(dos, sizeof *dos) || dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0) return false;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (!CanRead(nt, sizeof *nt) || nt->Signature != IMAGE_NT_SIGNATURE) return false;
  const auto* sections = IMAGE_FIRST_SECTION(nt);
  const WORD count = nt->FileHeader.NumberOfSections;
  if (!CanRead(sections, sizeof(IMAGE_SECTION_HEADER) * count)) return false;

  const uintptr_t rva = reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(base);
  for (WORD i = 0; i < count; ++i) {
    const uintptr_t start = sections[i].VirtualAddress;
    const DWORD size = sections[i].SizeOfRawData > sections[i].Misc.VirtualSize ? sections[i].SizeOfRawData
                                                                                : sections[i].Misc.VirtualSize;
    if (rva >= start && rva <= start + size) {
      section = i + 1u;
      offset = rva - start;
      return true;
    }
  }
  return false;
}

void WriteCallStack(HANDLE report, HANDLE thread, const CONTEXT& start) {
  ReportPrintf(report, "Call stack:\r\n");
  ReportPrintf(report, "Address\tFrame\r\n");

  // The walk changes the context it is given.
  CONTEXT context = start;
  STACKFRAME64 frame = {};
#if defined(_WIN64)
  frame.AddrPC.Offset = context.Rip;
  frame.AddrStack.Offset = context.Rsp;
  frame.AddrFrame.Offset = context.Rbp;
#else
  frame.AddrPC.Offset = context.Eip;
  frame.AddrStack.Offset = context.Esp;
  frame.AddrFrame.Offset = context.Ebp;
#endif
  frame.AddrPC.Mode = frame.AddrStack.Mode = frame.AddrFrame.Mode = AddrModeFlat;

  const HANDLE process = GetCurrentProcess();
  for (int written = 0; written < kMaxStackFrames; ++written) {
    if (!StackWalk64(kMachine, process, thread, &frame, &context, nullptr, SymFunctionTableAccess64, SymGetModuleBase64,
                     nullptr))
      break;
    if (frame.AddrFrame.Offset == 0) break;
    ReportPrintf(report, ORV_ADDRESS "\t" ORV_ADDRESS, Address(static_cast<uintptr_t>(frame.AddrPC.Offset)),
                 Address(static_cast<uintptr_t>(frame.AddrFrame.Offset)));

    union {
      IMAGEHLP_SYMBOL64 symbol;
      BYTE bytes[sizeof(IMAGEHLP_SYMBOL64) + 512];
    } buffer = {};
    buffer.symbol.SizeOfStruct = sizeof(IMAGEHLP_SYMBOL64);
    buffer.symbol.MaxNameLength = 512;
    DWORD64 displacement = 0;
    if (SymGetSymFromAddr64(process, frame.AddrPC.Offset, &displacement, &buffer.symbol)) {
      ReportPrintf(report, "%s+%llX\r\n", buffer.symbol.Name, static_cast<unsigned long long>(displacement));
    } else {
      char module[MAX_PATH] = {};
      DWORD section = 0;
      uintptr_t offset = 0;
      GetLogicalAddress(reinterpret_cast<const void*>(static_cast<uintptr_t>(frame.AddrPC.Offset)), module,
                        sizeof module, section, offset);
      ReportPrintf(report, "%04X:" ORV_ADDRESS " %s\r\n", static_cast<unsigned>(section), Address(offset), module);
    }
  }
}

void WriteThreadStack(HANDLE report, DWORD threadId) {
  const win::UniqueKernelHandle thread(OpenThread(THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, TRUE, threadId));
  if (!thread) return;
  // The thread keeps running: its registers are a snapshot, and the walk is bounded in case
  // the stack changes under it.
  CONTEXT context;
  memset(&context, 0, sizeof context);
  context.ContextFlags = CONTEXT_FULL;
  if (GetThreadContext(thread.get(), &context)) {
    WriteCallStack(report, thread.get(), context);
  } else {
    const DWORD error = GetLastError();
    char line[1024] = {};
    snprintf(line, sizeof line, "Error code:%u (0x%x)\n", static_cast<unsigned>(error), static_cast<unsigned>(error));
    OutputDebugStringA(line);
  }
}

void WriteThreadList(HANDLE report, DWORD omittedThreadId) {
  const win::UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return;
  ReportPrintf(report, "Thread list:\r\n");
  const DWORD process = GetCurrentProcessId();
  // Entries too short to hold the owning process id are skipped.
  constexpr DWORD kOwnerEnd = offsetof(THREADENTRY32, th32OwnerProcessID) + sizeof(DWORD);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       entry.dwSize = sizeof entry, more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.dwSize < kOwnerEnd || entry.th32OwnerProcessID != process) continue;
    if (omittedThreadId != 0 && entry.th32ThreadID == omittedThreadId) continue;
    ReportPrintf(report, "Process 0x%x thread 0x%x\r\n", static_cast<unsigned>(process),
                 static_cast<unsigned>(entry.th32ThreadID));
    WriteThreadStack(report, entry.th32ThreadID);
    ReportPrintf(report, "\r\n");
  }
}

void WriteExceptionReport(HANDLE report, EXCEPTION_POINTERS* pointers, const FaultSite& site) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  const CONTEXT& c = *pointers->ContextRecord;

  SYSTEMTIME now = {};
  GetLocalTime(&now);
  ReportPrintf(report, "Unhandled exception: %02d/%02d/%04d %02d:%02d:%02d\r\n", now.wMonth, now.wDay, now.wYear,
               now.wHour, now.wMinute, now.wSecond);
  ReportPrintf(report, "Exception code: %08X %s\r\n", static_cast<unsigned>(record.ExceptionCode),
               GetExceptionName(record.ExceptionCode));

  char module[MAX_PATH] = {};
  DWORD section = 0;
  uintptr_t offset = 0;
  GetLogicalAddress(record.ExceptionAddress, module, sizeof module, section, offset);
  ReportPrintf(report, "Fault address:  " ORV_ADDRESS " %02X:" ORV_ADDRESS " %s\r\n", Address(record.ExceptionAddress),
               static_cast<unsigned>(section), Address(offset), module);

  ReportPrintf(report, "\nRegisters:\r\n");
#if defined(_WIN64)
  ReportPrintf(report, "RAX:%016llX\r\nRBX:%016llX\r\nRCX:%016llX\r\nRDX:%016llX\r\nRSI:%016llX\r\nRDI:%016llX\r\n",
               Address(c.Rax), Address(c.Rbx), Address(c.Rcx), Address(c.Rdx), Address(c.Rsi), Address(c.Rdi));
  ReportPrintf(report, "CS:RIP:%04X:%016llX\r\n", static_cast<unsigned>(c.SegCs), Address(c.Rip));
  ReportPrintf(report, "SS:RSP:%04X:%016llX  RBP:%016llX\r\n", static_cast<unsigned>(c.SegSs), Address(c.Rsp),
               Address(c.Rbp));
#else
  ReportPrintf(report, "EAX:%08X\r\nEBX:%08X\r\nECX:%08X\r\nEDX:%08X\r\nESI:%08X\r\nEDI:%08X\r\n", Address(c.Eax),
               Address(c.Ebx), Address(c.Ecx), Address(c.Edx), Address(c.Esi), Address(c.Edi));
  ReportPrintf(report, "CS:EIP:%04X:%08X\r\n", static_cast<unsigned>(c.SegCs), Address(c.Eip));
  ReportPrintf(report, "SS:ESP:%04X:%08X  EBP:%08X\r\n", static_cast<unsigned>(c.SegSs), Address(c.Esp),
               Address(c.Ebp));
#endif
  ReportPrintf(report, "DS:%04X  ES:%04X  FS:%04X  GS:%04X\r\n", static_cast<unsigned>(c.SegDs),
               static_cast<unsigned>(c.SegEs), static_cast<unsigned>(c.SegFs), static_cast<unsigned>(c.SegGs));
  ReportPrintf(report, "Flags:%08X\r\n", static_cast<unsigned>(c.EFlags));

  WriteCallStack(report, site.thread, c);
  ReportPrintf(report, "\r\n");
  WriteThreadList(report, site.omittedThreadId);
  ReportPrintf(report, "\r\n");
}
