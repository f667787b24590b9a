// The crash test program: installs the reader's filter chain as the reader does (after a filter
// of its own that must never run) and then fails in the way its argument names. Before failing
// it prints, one line each, the threads it had before the chain was installed, the threads it
// has after, a thread it parked in a known function, the thread that is about to fail and where
// its faulting call lies.
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

// Where the faulting call lies: the start of the function that makes it and the address that call
// returns to. The report's faulting stack must hold a frame in between, whether the processor
// faults in the callee or the callee raises the fault in software.
void SayWhereTheFaultingCallIs(const void* caller, const void* returnsTo) {
  printf("inside %llx %llx\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(caller)),
         static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(returnsTo)));
  fflush(stdout);
}

__attribute__((noinline)) void RaiseAccessViolation(const volatile void* address) {
  const ULONG_PTR information[2] = {1, reinterpret_cast<ULONG_PTR>(address)};  // a write there
  RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 2, information);
}

// The faulting callee of WriteThroughNull: the processor faults on its store (or it raises the
// fault in software), and the walk must get from there into WriteThroughNull.
__attribute__((noinline)) void StoreThrough(volatile int* target, const void* caller) {
  SayWhereTheFaultingCallIs(caller, __builtin_return_address(0));
  if (FaultsInSoftware()) RaiseAccessViolation(target);
  *target = 0x5EED;
}

__attribute__((noinline)) void WriteThroughNull() {
  StoreThrough(nullptr, reinterpret_cast<const void*>(&WriteThroughNull));
  asm volatile("");  // not a tail call: the frame of the faulting call stays
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

// A call through a null pointer faults at address 0, in no function, and the function that made
// the call may have no frame of its own in the walk (a walk by frame pointers goes from 0 to its
// caller): the frame that the walk must reach is CallNull's call of it.
__attribute__((noinline)) void CallThrough(Callback volatile* callback, const void* caller) {
  SayWhereTheFaultingCallIs(caller, __builtin_return_address(0));
  if (FaultsInSoftware() && *callback == nullptr) RaiseAccessViolation(nullptr);
  (*callback)(1);
}

__attribute__((noinline)) void CallNull() {
  Callback volatile callback = nullptr;
  CallThrough(&callback, reinterpret_cast<const void*>(&CallNull));
  asm volatile("");  // not a tail call: the frame of the faulting call stays
}

// A thread parked in a wait a few frames below its entry, for the report's thread list: the
// test requires that thread's call stack to hold a frame inside ParkHere, between its start and
// its call's return.
struct Parked {
  HANDLE parked = nullptr;
  HANDLE release = nullptr;  // never set: the thread waits until the process ends
};

__attribute__((noinline)) void WaitParked(Parked* parked, const void* caller) {
  printf("parked %lu %llx %llx\n", static_cast<unsigned long>(GetCurrentThreadId()),
         static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(caller)),
         static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(__builtin_return_address(0))));
  fflush(stdout);
  SetEvent(parked->parked);
  WaitForSingleObject(parked->release, INFINITE);
}

__attribute__((noinline)) DWORD ParkHere(Parked* parked) {
  volatile DWORD result = 0;
  WaitParked(parked, reinterpret_cast<const void*>(&ParkHere));
  return result;  // not a tail call: ParkHere keeps its frame
}

DWORD WINAPI ParkedThread(void* parameter) { return ParkHere(static_cast<Parked*>(parameter)); }

DWORD WINAPI FailingThread(void*) {
  AnnounceFault();
  WriteThroughNull();
  return 0;
}

// Two threads that fault together, as soon as they are let go.
DWORD WINAPI FailingOnSignal(void* go) {
  WaitForSingleObject(go, INFINITE);
  WriteThroughNull();
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

  Parked parked;
  parked.parked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  parked.release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (parked.parked == nullptr || parked.release == nullptr) return 3;
  HANDLE parkedThread = CreateThread(nullptr, 0, ParkedThread, &parked, 0, nullptr);
  if (parkedThread == nullptr || WaitForSingleObject(parked.parked, 120000) != WAIT_OBJECT_0) return 3;

  const char* mode = argv[1];
  if (strcmp(mode, "access") == 0) {
    AnnounceFault();
    WriteThroughNull();
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
    CallNull();
  }
  fprintf(stderr, "no fault for mode %s\n", mode);
  return 4;
}
