// A small 8-bit palette bitmap: the draw manager writes palette indices into its pixels and
// a colour ramp into its palette to paint the textured fill effects, then draws it.
#pragma once

#include <UniqueHandle.h>
#include <windows.h>

#include <memory>

class CCeXDib {
 public:
  CCeXDib();
  virtual ~CCeXDib();
  CCeXDib(const CCeXDib&) = delete;
  CCeXDib& operator=(const CCeXDib&) = delete;

  // Makes an empty bitmap of width x height; gives the block (header, palette, pixels) or
  // null when the size is not positive, too large (htmlctrl::IsSaneBitmapSize) or cannot
  // be allocated. Palette and pixels are left for the caller to fill.
  void* Create(int width, int height);
  void Clear();

  void SetPaletteIndex(BYTE index, BYTE red, BYTE green, BYTE blue);
  // Every entry moves percent (at most 100) of the way towards colour.
  void BlendPalette(COLORREF colour, long percent);
  // The first stored row (the bottom of the image); pixel (x, y from the top) is at
  // GetBits()[(GetHeight() - y - 1) * GetLineWidth() + x]. Null when empty.
  BYTE* GetBits() const;
  const RGBQUAD* GetPalette() const;
  void Draw(HDC dc, int x, int y);

  int GetHeight() const { return m_header.biHeight; }
  int GetLineWidth() const { return m_lineWidth; }
  WORD GetPaletteSize() const { return m_paletteSize; }

 private:
  std::unique_ptr<BYTE[]> m_buffer;
  BITMAPINFOHEADER m_header;
  int m_lineWidth = 0;
  WORD m_paletteSize = 0;
  win::UniqueBitmap m_section;
  win::UniqueMemoryDC m_memoryDc;
  void* m_sectionBits = nullptr;
};
