// A small application whose text the capture tests read: an edit control with a known
// selection inside a top-level window that hands its focus to the edit control, as Notepad
// does. Closes on WM_CLOSE, and by itself after two minutes so that no run leaves it behind.
#include <windows.h>

#include <cwchar>
#include <string>

#include "TextSource.h"

namespace {

enum class Mode { kText, kImage, kNone };
Mode g_mode = Mode::kText;
HWND g_edit = nullptr;
WNDPROC g_editProc = nullptr;

void PutImageOnly(HWND owner) {
  if (!OpenClipboard(owner)) return;
  EmptyClipboard();
  HBITMAP bitmap = CreateBitmap(8, 8, 1, 32, nullptr);
  if (bitmap && !SetClipboardData(CF_BITMAP, bitmap)) DeleteObject(bitmap);
  CloseClipboard();
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPY && g_mode != Mode::kText) {
    if (g_mode == Mode::kImage) PutImageOnly(hwnd);
    return 0;
  }
  return CallWindowProcW(g_editProc, hwnd, message, wParam, lParam);
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETFOCUS:
      if (g_edit) SetFocus(g_edit);
      return 0;
    case WM_SIZE:
      if (g_edit) MoveWindow(g_edit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_TIMER:
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 3) return 2;
  if (wcscmp(argv[1], L"open-clipboard") == 0) {
    // One try, as an application's paste would, for a window of its own: 0 when it opened.
    LocalFree(argv);
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr);
    if (!window) return 2;
    const BOOL opened = OpenClipboard(window);
    if (opened) CloseClipboard();
    DestroyWindow(window);
    return opened ? 0 : 1;
  }
  if (wcscmp(argv[1], L"image") == 0) g_mode = Mode::kImage;
  if (wcscmp(argv[1], L"none") == 0) g_mode = Mode::kNone;
  const std::wstring title = argv[2];
  LocalFree(argv);

  WNDCLASSW wc{};
  wc.lpfnWndProc = MainProc;
  wc.hInstance = instance;
  wc.lpszClassName = L"OrvTextSource";
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  if (!RegisterClassW(&wc)) return 3;
  HWND main = CreateWindowExW(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 40, 40, 420, 160, nullptr,
                              nullptr, instance, nullptr);
  if (!main) return 4;
  g_edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL, 0, 0,
                           400, 120, main, nullptr, instance, nullptr);
  if (!g_edit) return 5;
  g_editProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(g_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
  const std::wstring all = std::wstring(text_source::kBefore) + text_source::kSelection + text_source::kAfter;
  SetWindowTextW(g_edit, all.c_str());
  const size_t start = wcslen(text_source::kBefore);
  SendMessageW(g_edit, EM_SETSEL, start, start + wcslen(text_source::kSelection));
  SetTimer(main, 1, 120000, nullptr);
  ShowWindow(main, SW_SHOW);
  SetForegroundWindow(main);
  SetFocus(g_edit);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
