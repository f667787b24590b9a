// A visible top-level window on the test display, and reading back what was drawn into it.
#pragma once

#include "DrawTestSupport.h"

#include <windows.h>

class TestWindow {
 public:
  TestWindow(int width, int height, COLORREF fill = RGB(255, 255, 255), int x = 40, int y = 40) {
    static const wchar_t* const kClass = L"OrvHtmlLightTestWindow";
    WNDCLASSW wc = {};
    if (!GetClassInfoW(GetModuleHandleW(nullptr), kClass, &wc)) {
      wc.lpfnWndProc = Procedure;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = kClass;
      wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      RegisterClassW(&wc);
    }
    m_window = CreateWindowExW(WS_EX_TOOLWINDOW, kClass, L"", WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(m_window, GWLP_USERDATA, static_cast<LONG_PTR>(fill));
    RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump();
  }
  ~TestWindow() { DestroyWindow(m_window); }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND get() const { return m_window; }
  static void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  // Copies the window's client area (or a child's) into a canvas.
  static void Capture(HWND window, TestCanvas& canvas) {
    HDC dc = GetDC(window);
    BitBlt(canvas.dc(), 0, 0, canvas.width(), canvas.height(), dc, 0, 0, SRCCOPY);
    ReleaseDC(window, dc);
  }

 private:
  // Erases with the colour kept in the window's user data.
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_ERASEBKGND) {
      RECT client;
      GetClientRect(window, &client);
      HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtrW(window, GWLP_USERDATA)));
      FillRect(reinterpret_cast<HDC>(wparam), &client, brush);
      DeleteObject(brush);
      return 1;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  HWND m_window = nullptr;
};
