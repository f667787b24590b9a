// Per-thread state of the layer, shared by the window and thread parts.
#pragma once

#include "afxwin.h"

#include <memory>
#include <unordered_map>

namespace afx_detail {

using TempMap = std::unordered_map<HWND, std::unique_ptr<CWnd>>;

// Trivially destructible on purpose. A thread_local object with a destructor has that destructor
// run from mingw-w64's thread-exit callback, which under 64-bit Wine (with user32 loaded) leaves
// the process heap locked: the next allocation of any thread then waits forever. Whatever needs
// freeing is freed explicitly instead (CWnd::DeleteTempMap at idle time and at thread end).
struct ThreadState {
  CWinThread* thread = nullptr;     // the layer's thread object of this thread, or the app
  const MSG* currentMsg = nullptr;  // the message of the innermost AfxWndProc on this thread
  CWnd* creating = nullptr;         // the object whose window CreateEx is creating
  TempMap* tempMap = nullptr;       // FromHandle's temporary wrappers, made on first use
};

ThreadState& State();

// Thrown by AfxEndThread to unwind to the thread entry.
struct EndThreadUnwind {
  UINT code;
  BOOL bDelete;
};

// The thread started by CreateThread; defined with CWinThread.
unsigned __stdcall ThreadEntry(void* pGate);

}  // namespace afx_detail
