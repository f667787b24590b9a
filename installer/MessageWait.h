// Waiting on the NSIS thread without freezing the installer: the thread's messages are
// dispatched while the wait lasts, so its windows repaint and other threads' sent messages
// are answered.
#pragma once

#include <windows.h>

namespace gwplugin {

// Waits until handle is signalled or timeout_ms (INFINITE allowed) have passed, dispatching
// the thread's messages meanwhile. Answers WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED (with
// GetLastError). A WM_QUIT met on the way ends the dispatching (the rest of the wait does not
// pump) and is posted again before returning, so the loop that owns it still sees it.
DWORD WaitDispatchingMessages(HANDLE handle, DWORD timeout_ms);

}  // namespace gwplugin
