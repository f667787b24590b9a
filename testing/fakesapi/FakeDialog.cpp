// The engine dialog of the fake: a real window with a modal loop of its own, like the property
// pages an engine shows. Its loop dispatches window messages only, so thread messages posted to
// the calling thread meanwhile are lost, exactly as with a real engine's dialog.
#include "FakeSupport.h"
#include "FakeTokens.h"

#include "FakeSapiControl.h"

namespace fakesapi {

namespace {

bool RegisterDialogClass() {
  static const bool registered = [] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = g_module;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kDialogClass;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

std::wstring DataText(const void* data, ULONG size) {
  if (!data || size < sizeof(wchar_t)) return std::wstring();
  // The extra data is a buffer of `size` bytes; the engines of this package take UTF-16 text.
  return std::wstring(static_cast<const wchar_t*>(data), size / sizeof(wchar_t));
}

}  // namespace

HRESULT RunEngineDialog(HWND parent, const wchar_t* typeOfUI, const void* data, ULONG size) {
  if (!RegisterDialogClass()) return HRESULT_FROM_WIN32(GetLastError());
  HWND owner = (parent && IsWindow(parent)) ? parent : nullptr;
  // Hidden unless asked for: showing and hiding a window costs seconds on a bare X server, and
  // the modal loop is the same either way.
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | (Env(kEnvShowDialogs) == L"1" ? WS_VISIBLE : 0);
  HWND dialog = CreateWindowExW(WS_EX_DLGMODALFRAME, kDialogClass, typeOfUI, style, 40, 40, 320, 200, owner, nullptr,
                                g_module, nullptr);
  if (!dialog) return HRESULT_FROM_WIN32(GetLastError());
  bool reenable = owner && EnableWindow(owner, FALSE) == FALSE;
  LogCall(L"DisplayUI", {{L"type", typeOfUI},
                         {L"parent", Hex(reinterpret_cast<UINT_PTR>(parent))},
                         {L"dialog", Hex(reinterpret_cast<UINT_PTR>(dialog))},
                         {L"size", Dec(size)},
                         {L"data", DataText(data, size)}});
  MSG msg;
  while (IsWindow(dialog)) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // leave the quit for the caller's loop
      break;
    }
    if (got == -1) break;
    if (!IsDialogMessageW(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (reenable) EnableWindow(owner, TRUE);
  if (IsWindow(dialog)) DestroyWindow(dialog);
  LogCall(L"DialogClosed", {{L"type", typeOfUI}});
  return S_OK;
}

}  // namespace fakesapi
