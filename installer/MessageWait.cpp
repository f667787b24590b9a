#include "MessageWait.h"

namespace gwplugin {

DWORD WaitDispatchingMessages(HANDLE handle, DWORD timeout_ms) {
  const ULONGLONG start = GetTickCount64();
  bool quit = false;
  WPARAM quit_code = 0;
  DWORD result = WAIT_FAILED;
  for (;;) {
    DWORD remaining = INFINITE;
    if (timeout_ms != INFINITE) {
      const ULONGLONG elapsed = GetTickCount64() - start;
      remaining = elapsed >= timeout_ms ? 0 : static_cast<DWORD>(timeout_ms - elapsed);
    }
    const DWORD woken = quit ? WaitForSingleObject(handle, remaining)
                             : MsgWaitForMultipleObjectsEx(1, &handle, remaining, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken != WAIT_OBJECT_0 + 1 || quit) {
      result = woken == WAIT_OBJECT_0 || woken == WAIT_TIMEOUT ? woken : WAIT_FAILED;
      break;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        quit_code = msg.wParam;
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (quit) {
    const DWORD error = GetLastError();
    PostQuitMessage(static_cast<int>(quit_code));
    SetLastError(error);
  }
  return result;
}

}  // namespace gwplugin
