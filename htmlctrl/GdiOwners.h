// Short names for the owners (win::UniqueHandle) of the GDI objects and DCs that the HTML
// controls make, so that every drawing routine leaves the device context as it found it, also
// on early returns.
#pragma once

#include <UniqueHandle.h>
#include <windows.h>

namespace htmlctrl {

using Bitmap = win::UniqueBitmap;
using Font = win::UniqueFont;
using Brush = win::UniqueBrush;
using Pen = win::UniquePen;
using Region = win::UniqueRegion;
using MemoryDC = win::UniqueMemoryDC;
using Icon = win::UniqueIcon;
using Module = win::UniqueModule;

// Selects an object into a DC for the life of the scope.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : m_dc(dc), m_old(dc && object ? SelectObject(dc, object) : nullptr) {}
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  ~Selection() {
    if (m_old && m_old != HGDI_ERROR) SelectObject(m_dc, m_old);
  }

 private:
  HDC m_dc;
  HGDIOBJ m_old;
};

// The largest bitmap the controls agree to make: sides up to 16384 pixels and at most
// 2^24 pixels in all (64 MB at 32 bits). Sizes from downloaded markup can be anything; the
// products below are computed in 64 bits so that they cannot wrap.
constexpr int kMaxBitmapSide = 16384;
constexpr long long kMaxBitmapPixels = 1LL << 24;
inline bool IsSaneBitmapSize(int width, int height) {
  return width > 0 && height > 0 && width <= kMaxBitmapSide && height <= kMaxBitmapSide &&
         static_cast<long long>(width) * height <= kMaxBitmapPixels;
}

// A 32-bit DIB section of the given size (bottom-up rows, 0xAARRGGBB words), or null for a
// size that IsSaneBitmapSize refuses; bits receives the pixel pointer.
HBITMAP CreateDib32(HDC dc, int width, int height, DWORD** bits);

}  // namespace htmlctrl
