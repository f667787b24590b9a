#include "CeXDib.h"

#include "GdiOwners.h"

#include <algorithm>
#include <cstring>
#include <new>

CCeXDib::CCeXDib() { std::memset(&m_header, 0, sizeof m_header); }

CCeXDib::~CCeXDib() { Clear(); }

void CCeXDib::Clear() {
  m_memoryDc.reset();
  m_section.reset();
  m_sectionBits = nullptr;
  m_buffer.reset();
  std::memset(&m_header, 0, sizeof m_header);
  m_lineWidth = 0;
  m_paletteSize = 0;
}

void* CCeXDib::Create(int width, int height) {
  Clear();
  if (!htmlctrl::IsSaneBitmapSize(width, height)) return nullptr;
  // Checked above: width <= 16384, so the stride and the image size fit easily in 32 bits.
  const int line_width = ((width * 8 + 31) >> 5) * 4;
  const size_t image_size = static_cast<size_t>(line_width) * static_cast<size_t>(height);
  const WORD palette_size = 256;
  const size_t total = sizeof(BITMAPINFOHEADER) + palette_size * sizeof(RGBQUAD) + image_size;
  m_buffer.reset(new (std::nothrow) BYTE[total]);
  if (!m_buffer) return nullptr;
  std::memset(m_buffer.get(), 0, total);

  m_header.biSize = sizeof(BITMAPINFOHEADER);
  m_header.biWidth = width;
  m_header.biHeight = height;
  m_header.biPlanes = 1;
  m_header.biBitCount = 8;
  m_header.biCompression = BI_RGB;
  m_header.biSizeImage = static_cast<DWORD>(image_size);
  m_lineWidth = line_width;
  m_paletteSize = palette_size;
  std::memcpy(m_buffer.get(), &m_header, sizeof m_header);
  return m_buffer.get();
}

void CCeXDib::SetPaletteIndex(BYTE index, BYTE red, BYTE green, BYTE blue) {
  if (!m_buffer || m_paletteSize == 0 || index >= m_paletteSize) return;
  RGBQUAD* entry = reinterpret_cast<RGBQUAD*>(m_buffer.get() + m_header.biSize) + index;
  entry->rgbBlue = blue;
  entry->rgbGreen = green;
  entry->rgbRed = red;
  entry->rgbReserved = 0;
}

const RGBQUAD* CCeXDib::GetPalette() const {
  if (!m_buffer || m_paletteSize == 0) return nullptr;
  return reinterpret_cast<const RGBQUAD*>(m_buffer.get() + m_header.biSize);
}

void CCeXDib::BlendPalette(COLORREF colour, long percent) {
  if (!m_buffer || m_paletteSize == 0) return;
  percent = std::clamp(percent, 0L, 100L);
  RGBQUAD* entry = reinterpret_cast<RGBQUAD*>(m_buffer.get() + m_header.biSize);
  const long r = GetRValue(colour), g = GetGValue(colour), b = GetBValue(colour);
  for (WORD i = 0; i < m_paletteSize; ++i, ++entry) {
    entry->rgbRed = static_cast<BYTE>((r * percent + entry->rgbRed * (100 - percent)) / 100);
    entry->rgbGreen = static_cast<BYTE>((g * percent + entry->rgbGreen * (100 - percent)) / 100);
    entry->rgbBlue = static_cast<BYTE>((b * percent + entry->rgbBlue * (100 - percent)) / 100);
  }
}

BYTE* CCeXDib::GetBits() const {
  if (!m_buffer) return nullptr;
  return m_buffer.get() + m_header.biSize + m_paletteSize * sizeof(RGBQUAD);
}

void CCeXDib::Draw(HDC dc, int x, int y) {
  if (!m_buffer || !dc) return;
  if (!m_section) {
    m_section.reset(CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(m_buffer.get()), DIB_RGB_COLORS, &m_sectionBits,
                                     nullptr, 0));
    if (!m_section || !m_sectionBits) {
      m_section.reset();
      m_sectionBits = nullptr;
      return;
    }
  }
  // GDI may still be drawing from the section: let it finish before the pixels change.
  GdiFlush();
  std::memcpy(m_sectionBits, GetBits(), m_header.biSizeImage);
  if (!m_memoryDc) {
    m_memoryDc.reset(CreateCompatibleDC(dc));
    if (!m_memoryDc) return;
  }
  htmlctrl::Selection select(m_memoryDc.get(), m_section.get());
  BitBlt(dc, x, y, m_header.biWidth, m_header.biHeight, m_memoryDc.get(), 0, 0, SRCCOPY);
}
