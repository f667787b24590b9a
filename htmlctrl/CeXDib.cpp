#include "CeXDib.h"

#include "GdiOwners.h"

#include <algorithm>
#include <cstring>
#include <new>

CCeXDib::CCeXDib() { std::memset(&header_, 0, sizeof header_); }

CCeXDib::~CCeXDib() { Clear(); }

void CCeXDib::Clear() {
  if (memory_dc_) DeleteDC(memory_dc_);
  if (section_) DeleteObject(section_);
  memory_dc_ = nullptr;
  section_ = nullptr;
  section_bits_ = nullptr;
  buffer_.reset();
  std::memset(&header_, 0, sizeof header_);
  line_width_ = 0;
  palette_size_ = 0;
}

void* CCeXDib::Create(int width, int height) {
  Clear();
  if (!htmlctrl::IsSaneBitmapSize(width, height)) return nullptr;
  // Checked above: width <= 16384, so the stride and the image size fit easily in 32 bits.
  const int line_width = ((width * 8 + 31) >> 5) * 4;
  const size_t image_size = static_cast<size_t>(line_width) * static_cast<size_t>(height);
  const WORD palette_size = 256;
  const size_t total = sizeof(BITMAPINFOHEADER) + palette_size * sizeof(RGBQUAD) + image_size;
  buffer_.reset(new (std::nothrow) BYTE[total]);
  if (!buffer_) return nullptr;
  std::memset(buffer_.get(), 0, total);

  header_.biSize = sizeof(BITMAPINFOHEADER);
  header_.biWidth = width;
  header_.biHeight = height;
  header_.biPlanes = 1;
  header_.biBitCount = 8;
  header_.biCompression = BI_RGB;
  header_.biSizeImage = static_cast<DWORD>(image_size);
  line_width_ = line_width;
  palette_size_ = palette_size;
  std::memcpy(buffer_.get(), &header_, sizeof header_);
  return buffer_.get();
}

void CCeXDib::SetPaletteIndex(BYTE index, BYTE red, BYTE green, BYTE blue) {
  if (!buffer_ || palette_size_ == 0 || index >= palette_size_) return;
  RGBQUAD* entry = reinterpret_cast<RGBQUAD*>(buffer_.get() + header_.biSize) + index;
  entry->rgbBlue = blue;
  entry->rgbGreen = green;
  entry->rgbRed = red;
  entry->rgbReserved = 0;
}

const RGBQUAD* CCeXDib::GetPalette() const {
  if (!buffer_ || palette_size_ == 0) return nullptr;
  return reinterpret_cast<const RGBQUAD*>(buffer_.get() + header_.biSize);
}

void CCeXDib::BlendPalette(COLORREF colour, long percent) {
  if (!buffer_ || palette_size_ == 0) return;
  percent = std::clamp(percent, 0L, 100L);
  RGBQUAD* entry = reinterpret_cast<RGBQUAD*>(buffer_.get() + header_.biSize);
  const long r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
  for (WORD i = 0; i < palette_size_; ++i, ++entry) {
    entry->rgbRed = static_cast<BYTE>((r * percent + entry->rgbRed * (100 - percent)) / 100);
    entry->rgbGreen = static_cast<BYTE>((g * percent + entry->rgbGreen * (100 - percent)) / 100);
    entry->rgbBlue = static_cast<BYTE>((b * percent + entry->rgbBlue * (100 - percent)) / 100);
  }
}

BYTE* CCeXDib::GetBits() const {
  if (!buffer_) return nullptr;
  return buffer_.get() + header_.biSize + palette_size_ * sizeof(RGBQUAD);
}

void CCeXDib::Draw(HDC dc, int x, int y) {
  if (!buffer_ || !dc) return;
  if (!section_) {
    section_ =
        CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(buffer_.get()), DIB_RGB_COLORS, &section_bits_, nullptr, 0);
    if (!section_ || !section_bits_) {
      if (section_) DeleteObject(section_);
      section_ = nullptr;
      section_bits_ = nullptr;
      return;
    }
  }
  // GDI may still be drawing from the section: let it finish before the pixels change.
  GdiFlush();
  std::memcpy(section_bits_, GetBits(), header_.biSizeImage);
  if (!memory_dc_) {
    memory_dc_ = CreateCompatibleDC(dc);
    if (!memory_dc_) return;
  }
  htmlctrl::Selection select(memory_dc_, section_);
  BitBlt(dc, x, y, header_.biWidth, header_.biHeight, memory_dc_, 0, 0, SRCCOPY);
}
