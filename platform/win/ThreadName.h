// Thread names for the debugger.
#pragma once

#include <windows.h>

// Names a thread for the debugger (threadId -1 = the calling thread). Returns normally with or
// without a debugger: the naming exception is answered by a vectored handler of our own that
// continues execution, so it never reaches an unhandled-exception filter.
void SetThreadName(DWORD threadId, LPCSTR name);
// Formats the name (at most 512 characters) and names the thread.
void SetThreadNameF(DWORD threadId, LPCSTR format, ...);
