// wine_session: holds a Wine session of the test prefix open (scripts/wine-session starts it).
//
//   wine_session hold   stays up until it is ended (wineserver -k at the session's end): a
//                       program of its own, attached to the prefix's desktop, so the server never
//                       counts down to its shutdown and the desktop (explorer) never closes
//                       between the programs that a test starts one after another. Signals the
//                       event below once the desktop is up.
//   wine_session wait   waits until a holder has signalled that; exit code 0, or 1 after 120 s
//                       (what went wrong is on standard error).
//
// A program that starts while the server or the desktop closes can lose its desktop or be
// ended with exit code 1; with a holder up, neither closes while the session lasts.
#include <windows.h>

#include <cwchar>

namespace {

constexpr DWORD kWaitMs = 120000;
// Local to the prefix's session, like everything the server names.
constexpr wchar_t kReadyEvent[] = L"OrvWineSessionReady";
constexpr wchar_t kHolderMutex[] = L"OrvWineSessionHolder";

int Fail(const wchar_t* what) {
  std::fwprintf(stderr, L"wine_session: %ls (error %lu)\n", what, GetLastError());
  return 1;
}

int Hold() {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kHolderMutex);
  if (!mutex) return Fail(L"the holder's mutex cannot be made");
  // A holder is already up (its starter died before recording it): that one holds the session.
  if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, kReadyEvent);
  if (!ready) return Fail(L"the ready event cannot be made");
  // Asking for the desktop window starts the desktop (explorer) when it is not up and attaches
  // this process to it: a desktop with a program attached stays open.
  if (!GetDesktopWindow()) return Fail(L"no desktop window");
  if (!SetEvent(ready)) return Fail(L"the ready event cannot be set");
  // Nothing ends this wait (on the process's own end) but the end of the session.
  WaitForSingleObject(GetCurrentProcess(), INFINITE);
  return 0;
}

int Wait() {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, kReadyEvent);
  if (!ready) return Fail(L"the ready event cannot be made");
  const DWORD r = WaitForSingleObject(ready, kWaitMs);
  if (r == WAIT_OBJECT_0) return 0;
  std::fwprintf(stderr, L"wine_session: no holder signalled within %lu ms (wait result 0x%lx)\n", kWaitMs, r);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wcscmp(argv[1], L"hold") == 0) return Hold();
  if (argc == 2 && std::wcscmp(argv[1], L"wait") == 0) return Wait();
  std::fwprintf(stderr, L"usage: wine_session hold|wait\n");
  return 2;
}
