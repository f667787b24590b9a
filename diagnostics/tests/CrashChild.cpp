// The crash test program: installs the reader's filter chain as the reader does (after a filter
// of its own that must never run) and then fails in the way its argument names. Before failing
// it prints, one line each, the threads it had before the chain was installed, the threads it
// has after, and the thread that is about to fail (and, for a fault raised in software, where).
#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "CrashFilters.h"

namespace {

// Exit code of the filter that was in force before the chain: the chain never calls it.
constexpr UINT kForeignFilterExit = 0x7E57;

LONG WINAPI ForeignFilter(EXCEPTION_POINTERS*) { ExitProcess(kForeignFilterExit); }

void PrintThreads(const char* label) {
  printf("%s", label);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more;
       entry.dwSize = sizeof entry, more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId())
      printf(" %lu", static_cast<unsigned long>(entry.th32ThreadID));
  }
  CloseHandle(snapshot);
  printf("\n");
}

void AnnounceFault() {
  printf("faulting %lu\n", static_cast<unsigned long>(GetCurrentThreadId()));
  fflush(stdout);
}

// Under an i386 user-mode emulator, Wine receives a processor fault without its trap number
// and raises an illegal instruction (C000001D) instead of the access violation: there, the
// faults that the processor would raise are raised in software at the same place, so that the
// report and the dump of an access violation are still checked.
bool FaultsInSoftware() { return GetEnvironmentVariableW(L"ORV_IA32_EMULATED", nullptr, 0) != 0; }

// The test then requires a frame of the report inside the faulting function: the child says where
// that function starts and where its call to the raise returns to.
__attribute__((noinline)) void RaiseAccessViolation(const volatile void* address, const void* faultingFunction) {
  printf("inside %llx %llx\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(faultingFunction)),
         static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(__builtin_return_address(0))));
  fflush(stdout);
  const ULONG_PTR information[2] = {1, reinterpret_cast<ULONG_PTR>(address)};  // a write there
  RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 2, information);
}

__attribute__((noinline)) void WriteThroughNull(volatile int* target) {
  if (FaultsInSoftware()) RaiseAccessViolation(target, reinterpret_cast<const void*>(&WriteThroughNull));
  *target = 0x5EED;
}

__attribute__((noinline)) int RecurseWide(volatile int* depth) {
  volatile char page[4096];
  page[0] = page[sizeof page - 1] = static_cast<char>(++*depth);
  if (*depth < 0) return 0;  // never: the count only grows until the stack is gone
  return RecurseWide(depth) + page[0];
}

// Thousands of small frames, as a runaway recursion has, then wide ones until the stack is
// gone: a wide last frame leaves the system room below it to raise the exception (64-bit Wine
// needs about 6 KB there, or it ends the thread without raising anything).
__attribute__((noinline)) int Recurse(volatile int* depth) {
  volatile char small[16];
  small[0] = static_cast<char>(++*depth);
  if (*depth > 10000) return RecurseWide(depth);
  return Recurse(depth) + small[0];
}

using Callback = void (*)(int);

__attribute__((noinline)) void CallThrough(Callback volatile* callback) {
  if (FaultsInSoftware() && *callback == nullptr)
    RaiseAccessViolation(nullptr, reinterpret_cast<const void*>(&CallThrough));
  (*callback)(1);
}

DWORD WINAPI FailingThread(void*) {
  AnnounceFault();
  WriteThroughNull(nullptr);
  return 0;
}

// Two threads that fault together, as soon as they are let go.
DWORD WINAPI FailingOnSignal(void* go) {
  WaitForSingleObject(go, INFINITE);
  WriteThroughNull(nullptr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s access|thread|together|overflow|nullcall\n", argv[0]);
    return 2;
  }
  // Wine's crash dialog must not come up should the chain ever let an exception through.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(ForeignFilter);
  PrintThreads("before");
  InstallTerminateFilter();
  InstallReportCheckFilter();
  InstallTextReportFilter();
  InstallDumpFilter();
  PrintThreads("after");

  const char* mode = argv[1];
  if (strcmp(mode, "access") == 0) {
    AnnounceFault();
    WriteThroughNull(nullptr);
  } else if (strcmp(mode, "thread") == 0) {
    HANDLE thread = CreateThread(nullptr, 0, FailingThread, nullptr, 0, nullptr);
    if (thread == nullptr) return 3;
    WaitForSingleObject(thread, INFINITE);
  } else if (strcmp(mode, "together") == 0) {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD ids[2] = {};
    HANDLE threads[2] = {CreateThread(nullptr, 0, FailingOnSignal, go, 0, &ids[0]),
                         CreateThread(nullptr, 0, FailingOnSignal, go, 0, &ids[1])};
    if (go == nullptr || threads[0] == nullptr || threads[1] == nullptr) return 3;
    printf("faulting %lu %lu\n", static_cast<unsigned long>(ids[0]), static_cast<unsigned long>(ids[1]));
    fflush(stdout);
    SetEvent(go);
    WaitForMultipleObjects(2, threads, TRUE, INFINITE);
  } else if (strcmp(mode, "overflow") == 0) {
    AnnounceFault();
    volatile int depth = 0;
    Recurse(&depth);
  } else if (strcmp(mode, "nullcall") == 0) {
    AnnounceFault();
    Callback volatile callback = nullptr;
    CallThrough(&callback);
  }
  fprintf(stderr, "no fault for mode %s\n", mode);
  return 4;
}
