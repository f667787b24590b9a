// Owners for the GDI objects and DCs that the HTML controls make, so that every drawing
// routine leaves the device context as it found it, also on early returns.
#pragma once

#include <windows.h>

#include <utility>

namespace htmlctrl {

template <typename H, void (*Close)(H)>
class GdiOwner {
 public:
  GdiOwner() = default;
  explicit GdiOwner(H handle) : handle_(handle) {}
  GdiOwner(const GdiOwner&) = delete;
  GdiOwner& operator=(const GdiOwner&) = delete;
  GdiOwner(GdiOwner&& other) noexcept : handle_(other.release()) {}
  GdiOwner& operator=(GdiOwner&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~GdiOwner() { reset(); }

  H get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  H release() { return std::exchange(handle_, nullptr); }
  void reset(H handle = nullptr) {
    if (handle_) Close(handle_);
    handle_ = handle;
  }

 private:
  H handle_ = nullptr;
};

inline void CloseObject(HGDIOBJ h) { DeleteObject(h); }
inline void CloseBitmap(HBITMAP h) { DeleteObject(h); }
inline void CloseFont(HFONT h) { DeleteObject(h); }
inline void CloseBrush(HBRUSH h) { DeleteObject(h); }
inline void ClosePen(HPEN h) { DeleteObject(h); }
inline void CloseRegion(HRGN h) { DeleteObject(h); }
inline void CloseDC(HDC h) { DeleteDC(h); }
inline void CloseIcon(HICON h) { DestroyIcon(h); }
inline void CloseModule(HMODULE h) { FreeLibrary(h); }

using Bitmap = GdiOwner<HBITMAP, CloseBitmap>;
using Font = GdiOwner<HFONT, CloseFont>;
using Brush = GdiOwner<HBRUSH, CloseBrush>;
using Pen = GdiOwner<HPEN, ClosePen>;
using Region = GdiOwner<HRGN, CloseRegion>;
using MemoryDC = GdiOwner<HDC, CloseDC>;
using Icon = GdiOwner<HICON, CloseIcon>;
using Module = GdiOwner<HMODULE, CloseModule>;

// Selects an object into a DC for the life of the scope.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(dc && object ? SelectObject(dc, object) : nullptr) {}
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  ~Selection() {
    if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
  }

 private:
  HDC dc_;
  HGDIOBJ old_;
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
