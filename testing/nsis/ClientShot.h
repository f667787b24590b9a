// A picture of a window's client area as the screen shows it, saved as PNG (GDI+ must be
// started). Without a window manager nobody draws the frame, so the client area is what a
// picture can show of it.
#pragma once

#include <windows.h>

#include <objidl.h>
#include <gdiplus.h>

#include <string>

namespace gwplugin_test {

inline bool SaveClientPng(HWND window, const std::wstring& path) {
  RECT rect{};
  GetClientRect(window, &rect);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const BOOL copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  bool saved = false;
  if (copied) {
    Gdiplus::Bitmap image(bitmap, nullptr);
    // The PNG encoder of GDI+.
    const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    saved = image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
  }
  DeleteObject(bitmap);
  return saved;
}

}  // namespace gwplugin_test
