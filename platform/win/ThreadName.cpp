#include "ThreadName.h"

#include <cstdarg>
#include <cstdio>

// Thread names. The debugger learns a thread's name from a first-chance exception with code
// 0x406D1388. mingw has no __try/__except, so a vectored handler of our own answers it with
// EXCEPTION_CONTINUE_EXECUTION. A debugger sees the exception first (and reads the name); without
// one, our handler ends it before any frame-based handler or unhandled-exception filter runs.
// The handler acts only on the exception raised by SetThreadName on the same thread.
namespace {

constexpr DWORD kThreadNameException = 0x406D1388;
thread_local bool t_namingThread = false;

LONG CALLBACK ContinueAfterThreadName(EXCEPTION_POINTERS* info) {
  if (t_namingThread && info && info->ExceptionRecord && info->ExceptionRecord->ExceptionCode == kThreadNameException)
    return EXCEPTION_CONTINUE_EXECUTION;
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void SetThreadName(DWORD threadId, LPCSTR name) {
  PVOID handler = AddVectoredExceptionHandler(1, &ContinueAfterThreadName);
  if (!handler) return;  // without the handler the exception could end the process
  // The record the debuggers read: type 0x1000, the narrow name, the thread, flags 0. It travels
  // as the exception's arguments, as many pointer-sized words as it fills (4 on 32-bit Windows).
  struct ThreadNameInfo {
    DWORD dwType;
    LPCSTR szName;
    DWORD dwThreadID;
    DWORD dwFlags;
  };
  const ThreadNameInfo info = {0x1000, name ? name : "", threadId, 0};
  constexpr DWORD kArgs = static_cast<DWORD>(sizeof(ThreadNameInfo) / sizeof(ULONG_PTR));
  t_namingThread = true;
  RaiseException(kThreadNameException, 0, kArgs, reinterpret_cast<const ULONG_PTR*>(&info));
  t_namingThread = false;
  RemoveVectoredExceptionHandler(handler);
}

void SetThreadNameF(DWORD threadId, LPCSTR format, ...) {
  char name[513];
  va_list args;
  va_start(args, format);
  const int n = _vsnprintf(name, sizeof name - 1, format ? format : "", args);
  va_end(args);
  // Older C libraries answer -1 when the text was cut, newer ones the uncut length.
  name[n < 0 || n > static_cast<int>(sizeof name - 1) ? sizeof name - 1 : static_cast<size_t>(n)] = '\0';
  SetThreadName(threadId, name);
}
