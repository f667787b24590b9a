// pagedriver ACTION CAPTION EVENT: waits until the test page has set the named EVENT (it is
// up in the NSIS window titled CAPTION), then presses Next, Back or Cancel there as a user would (WM_COMMAND from the
// button to the NSIS window). Exit code 0 when the press was made.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fwprintf(stderr, L"usage: pagedriver next|back|cancel CAPTION EVENT\n");
    return 2;
  }
  int id = 0;
  if (wcscmp(argv[1], L"next") == 0)
    id = 1;
  else if (wcscmp(argv[1], L"cancel") == 0)
    id = 2;
  else if (wcscmp(argv[1], L"back") == 0)
    id = 3;
  if (id == 0) return 2;

  HANDLE shown = CreateEventW(nullptr, TRUE, FALSE, argv[3]);
  if (!shown) {
    fwprintf(stderr, L"pagedriver: CreateEvent failed, error %lu\n", GetLastError());
    return 1;
  }
  DWORD wait = WaitForSingleObject(shown, 60000);
  CloseHandle(shown);
  if (wait != WAIT_OBJECT_0) {
    fwprintf(stderr, L"pagedriver: the page did not appear (wait result 0x%lx)\n", wait);
    return 1;
  }
  HWND nsis_window = FindWindowW(L"#32770", argv[2]);
  if (!nsis_window) {
    fwprintf(stderr, L"pagedriver: no window \"%ls\"\n", argv[2]);
    return 1;
  }
  HWND button = GetDlgItem(nsis_window, id);
  if (!PostMessageW(nsis_window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button))) {
    fwprintf(stderr, L"pagedriver: PostMessage failed, error %lu\n", GetLastError());
    return 1;
  }
  return 0;
}
