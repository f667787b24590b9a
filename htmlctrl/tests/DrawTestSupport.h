// A white 32-bit memory canvas for the drawing tests, read back pixel by pixel.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

class TestCanvas {
 public:
  TestCanvas(int width, int height, COLORREF fill = RGB(255, 255, 255)) : m_width(width), m_height(height) {
    m_dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info;
    std::memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, so row y is m_bits[y * width]
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_bits = static_cast<DWORD*>(bits);
    m_old = SelectObject(m_dc, m_bitmap);
    Fill(fill);
  }
  ~TestCanvas() {
    SelectObject(m_dc, m_old);
    DeleteObject(m_bitmap);
    DeleteDC(m_dc);
  }
  TestCanvas(const TestCanvas&) = delete;
  TestCanvas& operator=(const TestCanvas&) = delete;

  HDC dc() const { return m_dc; }
  HBITMAP bitmap() const { return m_bitmap; }
  int width() const { return m_width; }
  int height() const { return m_height; }
  void Fill(COLORREF colour) {
    GdiFlush();
    for (int i = 0; i < m_width * m_height; ++i) m_bits[i] = ToDib(colour);
  }
  void Set(int x, int y, COLORREF colour) {
    GdiFlush();
    m_bits[y * m_width + x] = ToDib(colour);
  }
  // The pixel as a COLORREF (alpha dropped).
  COLORREF At(int x, int y) const {
    GdiFlush();
    const DWORD p = m_bits[y * m_width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
  // Pixels in the rectangle that differ from colour.
  int CountNot(COLORREF colour, RECT r) const {
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (At(x, y) != colour) ++count;
    return count;
  }
  int CountNot(COLORREF colour) const { return CountNot(colour, RECT{0, 0, m_width, m_height}); }
  // Rightmost and leftmost columns holding a pixel other than white (-1 when none).
  int RightmostInk() const {
    for (int x = m_width - 1; x >= 0; --x)
      if (CountNot(RGB(255, 255, 255), RECT{x, 0, x + 1, m_height})) return x;
    return -1;
  }
  int LeftmostInk() const {
    for (int x = 0; x < m_width; ++x)
      if (CountNot(RGB(255, 255, 255), RECT{x, 0, x + 1, m_height})) return x;
    return -1;
  }

 private:
  static DWORD ToDib(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

  int m_width, m_height;
  HDC m_dc;
  HBITMAP m_bitmap;
  HGDIOBJ m_old;
  DWORD* m_bits = nullptr;
};

// The extent of text in the drawer's body font (Verdana, 10 pt) with the given weight and
// height (0: the body's); expected sizes derive from it, since fonts differ between systems.
inline SIZE Extent(HDC dc, const std::wstring& text, int weight = FW_NORMAL, int height = 0) {
  LOGFONTW font = {};
  font.lfHeight = height ? height : 10 * GetDeviceCaps(dc, LOGPIXELSY) / 72;
  font.lfWeight = weight;
  font.lfCharSet = DEFAULT_CHARSET;
  wcscpy(font.lfFaceName, L"Verdana");
  HFONT made = CreateFontIndirectW(&font);
  HGDIOBJ old = SelectObject(dc, made);
  SIZE size = {0, 0};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  DeleteObject(made);
  return size;
}

inline std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

#define EXPECT_COLOUR(expected, actual) \
  EXPECT_EQ(static_cast<unsigned>(expected), static_cast<unsigned>(actual)) << std::hex << "0x" << (actual)
