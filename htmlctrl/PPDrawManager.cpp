#include "PPDrawManager.h"

#include "GdiOwners.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace htmlctrl {

namespace {

// The header of a bottom-up 32-bit DIB of a size that IsSaneBitmapSize accepted.
BITMAPINFO Dib32Info(int width, int height) {
  BITMAPINFO info;
  std::memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(width) * static_cast<DWORD>(height);
  return info;
}

}  // namespace

HBITMAP CreateDib32(HDC dc, int width, int height, DWORD** bits) {
  *bits = nullptr;
  if (!IsSaneBitmapSize(width, height)) return nullptr;
  BITMAPINFO info = Dib32Info(width, height);
  void* pixels = nullptr;
  Bitmap section(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
  if (!section || !pixels) return nullptr;
  *bits = static_cast<DWORD*>(pixels);
  return section.release();
}

}  // namespace htmlctrl

using namespace htmlctrl;

namespace {

// A 32-bit section selected into a memory DC of its own.
struct DibCanvas {
  MemoryDC dc;
  Bitmap bitmap;
  DWORD* bits = nullptr;
  int width = 0;
  int height = 0;
  HGDIOBJ old = nullptr;

  bool Make(HDC reference, int w, int h) {
    dc.reset(CreateCompatibleDC(reference));
    if (!dc) return false;
    bitmap.reset(CreateDib32(reference, w, h, &bits));
    if (!bitmap) return false;
    width = w;
    height = h;
    old = SelectObject(dc.get(), bitmap.get());
    return true;
  }
  size_t Count() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
  // Gives the section up (deselected) to the caller.
  HBITMAP Detach() {
    if (old) SelectObject(dc.get(), old);
    old = nullptr;
    GdiFlush();
    return bitmap.release();
  }
  ~DibCanvas() {
    if (old) SelectObject(dc.get(), old);
  }
};

DWORD ToDibOrder(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

int Cube(int v) { return v * v * v; }

// A random number 0 <= n < range without dividing by (32767 / range), which is 0 for ranges
// above 32767 and undefined for 0.
int RandomBelow(int range) {
  if (range <= 0) return 0;
  return static_cast<int>((static_cast<long long>(rand()) * range) / (static_cast<long long>(RAND_MAX) + 1));
}

}  // namespace

DWORD CPPDrawManager::PixelGrayScale(DWORD pixel) {
  const double r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
  const DWORD grey = static_cast<DWORD>(r * 0.299 + g * 0.587 + b * 0.114) & 0xFF;
  return grey * 0x010101;
}

COLORREF CPPDrawManager::InvertColor(COLORREF colour) {
  return RGB(255 - GetRValue(colour), 255 - GetGValue(colour), 255 - GetBValue(colour));
}

COLORREF CPPDrawManager::DarkenColor(COLORREF colour, double factor) {
  if (factor >= 1.0) return colour;
  if (factor < 0.0) factor = 0.0;
  return RGB(static_cast<BYTE>(GetRValue(colour) * factor), static_cast<BYTE>(GetGValue(colour) * factor),
             static_cast<BYTE>(GetBValue(colour) * factor));
}

COLORREF CPPDrawManager::LightenColor(COLORREF colour, double factor) {
  if (factor > 1.0) return colour;
  if (factor < 0.0) factor = 0.0;
  auto channel = [factor](int v) { return static_cast<BYTE>(std::min(255, static_cast<int>(v * (1.0 + factor)))); };
  return RGB(channel(GetRValue(colour)), channel(GetGValue(colour)), channel(GetBValue(colour)));
}

COLORREF CPPDrawManager::MixColors(COLORREF destination, COLORREF source, double source_weight,
                                   double destination_weight) {
  auto channel = [&](int d, int s) {
    const int v = static_cast<int>(s * source_weight + d * destination_weight);
    return static_cast<BYTE>(std::clamp(v, 0, 255));
  };
  return RGB(channel(GetRValue(destination), GetRValue(source)), channel(GetGValue(destination), GetGValue(source)),
             channel(GetBValue(destination), GetBValue(source)));
}

SIZE CPPDrawManager::GetSizeOfIcon(HICON icon) {
  SIZE size = {0, 0};
  ICONINFO info;
  if (icon && GetIconInfo(icon, &info)) {
    size.cx = static_cast<LONG>(info.xHotspot * 2);
    size.cy = static_cast<LONG>(info.yHotspot * 2);
    // GetIconInfo made copies of both bitmaps for the caller.
    const Bitmap mask(info.hbmMask), colour(info.hbmColor);
  }
  return size;
}

SIZE CPPDrawManager::GetSizeOfBitmap(HBITMAP bitmap) {
  SIZE size = {0, 0};
  BITMAP info;
  if (bitmap && GetObjectW(bitmap, sizeof info, &info)) {
    size.cx = info.bmWidth;
    size.cy = info.bmHeight;
  }
  return size;
}

void CPPDrawManager::DrawGradient(HDC dc, const RECT& rect, COLORREF from, COLORREF to, bool horizontal) {
  const long long extent = horizontal ? rect.right - rect.left : rect.bottom - rect.top;
  if (extent <= 0 || rect.right <= rect.left || rect.bottom <= rect.top) return;
  for (int k = 0; k < 64; ++k) {
    const long long start = (k * extent) >> 6;
    const long long end = (k * extent + extent) >> 6;
    if (end <= start) continue;
    const COLORREF colour = RGB((GetRValue(from) * (64 - k) + GetRValue(to) * k) >> 6,
                                (GetGValue(from) * (64 - k) + GetGValue(to) * k) >> 6,
                                (GetBValue(from) * (64 - k) + GetBValue(to) * k) >> 6);
    RECT band = rect;
    if (horizontal) {
      band.left = static_cast<LONG>(rect.left + start);
      band.right = static_cast<LONG>(rect.left + end);
    } else {
      band.top = static_cast<LONG>(rect.top + start);
      band.bottom = static_cast<LONG>(rect.top + end);
    }
    Brush brush(CreateSolidBrush(colour));
    if (brush) FillRect(dc, &band, brush.get());
  }
}

void CPPDrawManager::FillEffect(HDC dc, const RECT& rect, int effect, COLORREF colour1, COLORREF colour2,
                                COLORREF colour3, int granularity, int blend_percent) {
  if (!dc || rect.right <= rect.left || rect.bottom <= rect.top) return;
  // Two gradients side by side (or one above the other): first -> middle, middle -> last.
  auto split = [&](bool horizontal, COLORREF middle, COLORREF last) {
    RECT first = rect, second = rect;
    if (horizontal)
      first.right = second.left = rect.left + (rect.right - rect.left) / 2;
    else
      first.bottom = second.top = rect.top + (rect.bottom - rect.top) / 2;
    DrawGradient(dc, first, colour1, middle, horizontal);
    DrawGradient(dc, second, middle, last, horizontal);
  };
  switch (effect) {
    case EFFECT_HGRADIENT:
      DrawGradient(dc, rect, colour1, colour3, true);
      return;
    case EFFECT_VGRADIENT:
      DrawGradient(dc, rect, colour1, colour3, false);
      return;
    case EFFECT_HCGRADIENT:
      split(true, colour3, colour1);
      return;
    case EFFECT_VCGRADIENT:
      split(false, colour3, colour1);
      return;
    case EFFECT_3HGRADIENT:
      split(true, colour2, colour3);
      return;
    case EFFECT_3VGRADIENT:
      split(false, colour2, colour3);
      return;
    case EFFECT_NOISE:
    case EFFECT_DIAGSHADE:
    case EFFECT_HSHADE:
    case EFFECT_VSHADE:
    case EFFECT_HBUMP:
    case EFFECT_VBUMP:
    case EFFECT_SOFTBUMP:
    case EFFECT_HARDBUMP:
    case EFFECT_METAL:
      FillTextured(dc, rect, effect, colour1, colour2, colour3, granularity, blend_percent);
      return;
    default: {
      Brush brush(CreateSolidBrush(colour1));
      if (brush) FillRect(dc, &rect, brush.get());
      return;
    }
  }
}

void CPPDrawManager::FillTextured(HDC dc, const RECT& rect, int effect, COLORREF colour1, COLORREF colour2,
                                  COLORREF colour3, int granularity, int blend_percent) {
  const int W = rect.right - rect.left;
  const int H = rect.bottom - rect.top;
  // Only the part that can show is computed: the pattern of each pixel still follows from
  // its place in the whole rectangle, so a fill larger than the window costs what shows.
  RECT visible = rect;
  RECT clip;
  if (GetClipBox(dc, &clip) != ERROR && !IntersectRect(&visible, &rect, &clip)) return;
  const int VW = visible.right - visible.left;
  const int VH = visible.bottom - visible.top;
  const int ox = visible.left - rect.left;      // columns left of the visible part
  const int oy = rect.bottom - visible.bottom;  // rows below it (rows count from the bottom)
  if (W <= 0 || H <= 0 || !m_dib.Create(VW, VH)) return;
  for (int i = 0; i < 256; ++i) {
    auto mix = [i](int c1, int c2, int c3) {
      return static_cast<BYTE>(i < 128 ? ((128 - i) * c3 + i * c2) / 128 : ((255 - i) * c2 + (i - 127) * c1) / 128);
    };
    m_dib.SetPaletteIndex(static_cast<BYTE>(i), mix(GetRValue(colour1), GetRValue(colour2), GetRValue(colour3)),
                          mix(GetGValue(colour1), GetGValue(colour2), GetGValue(colour3)),
                          mix(GetBValue(colour1), GetBValue(colour2), GetBValue(colour3)));
  }
  m_dib.BlendPalette(colour1, blend_percent);

  const int g = std::clamp(granularity, 0, 255);
  const int t = 255 - 2 * g;
  const int m = g == 0 ? 1 : 2 * g;
  const int stride = m_dib.GetLineWidth();
  BYTE* bits = m_dib.GetBits();
  auto noise = [&]() { return rand() / (32767 / m) - g; };
  // Row r and column c of the whole rectangle, within the visible part.
  auto at = [&](int r, int c) -> BYTE& { return bits[static_cast<size_t>(r - oy) * stride + (c - ox)]; };
  auto bump = [g](int v, int n) { return 128 + (((Cube(v / n - 127) / 16384) * (128 - g)) / 128); };

  switch (effect) {
    case EFFECT_NOISE:
      for (int r = oy; r < oy + VH; ++r)
        for (int c = ox; c < ox + VW; ++c) at(r, c) = static_cast<BYTE>(rand() / (32767 / m) - g - 128);
      break;
    case EFFECT_DIAGSHADE:
      for (int r = oy; r < oy + VH; ++r)
        for (int c = ox; c < ox + VW; ++c)
          at(r, c) = static_cast<BYTE>(g + (r * (t / 2)) / H + ((W - c) * (t / 2)) / W + noise());
      break;
    case EFFECT_HSHADE:
      for (int r = oy; r < oy + VH; ++r)
        for (int c = ox; c < ox + VW; ++c) at(r, c) = static_cast<BYTE>(g + (r * t) / H + noise());
      break;
    case EFFECT_VSHADE:
      for (int r = oy; r < oy + VH; ++r)
        for (int c = ox; c < ox + VW; ++c) at(r, c) = static_cast<BYTE>(g + ((W - c) * t) / W + noise());
      break;
    case EFFECT_HBUMP:
      for (int r = oy; r < oy + VH; ++r)
        for (int c = ox; c < ox + VW; ++c) at(r, c) = static_cast<BYTE>(bump(r * 255, H) + noise());
      break;
    case EFFECT_VBUMP:
      for (int r = oy; r < oy + VH; ++r)
        for (int c = ox; c < ox + VW; ++c) at(r, c) = static_cast<BYTE>(bump((W - c) * 255, W) + noise());
      break;
    case EFFECT_SOFTBUMP:
      for (int r = oy; r < oy + VH; ++r) {
        const int a = Cube(r * 255 / H - 127) / 16384;
        for (int c = ox; c < ox + VW; ++c) {
          const int b = Cube((W - c) * 255 / W - 127) / 16384;
          int C = ((a + b) * (128 - g)) / 128 + 128;
          if (C < g) C = g;
          if (C > 255 - g) C = 255 - g;
          at(r, c) = static_cast<BYTE>(C + noise());
        }
      }
      break;
    case EFFECT_HARDBUMP: {
      for (int r = oy; r < oy + VH; ++r) {
        const int base = Cube(r * 255 / H - 127) / 16384 * (64 - g) * 2 / 128 + 128;
        for (int c = ox; c < ox + VW; ++c) at(r, c) = static_cast<BYTE>(base);
      }
      // The bevel needs a band at least one pixel wide and two rows to curve over; smaller
      // areas keep the plain bump instead of dividing by zero.
      const int w = std::min(W / 6, 16);
      const long long quarter = static_cast<long long>(H) * H / 4;
      if (w > 0 && quarter > 0) {
        for (int r = oy, A = -H / 2 + oy; r < oy + VH; ++r, ++A) {
          const long long C = (static_cast<long long>(w) * A * A) / quarter + W / 2 - w;
          for (int c = ox; c < ox + VW; ++c) {
            if (C < c - W / 2)
              at(r, c) = static_cast<BYTE>(g + 128 * (W - c) / w);
            else if (C + c - W / 2 < 0)
              at(r, c) = static_cast<BYTE>(255 - g - 128 * c / w);
          }
        }
      }
      for (int r = oy; r < oy + VH; ++r)
        for (int c = ox; c < ox + VW; ++c) at(r, c) = static_cast<BYTE>(at(r, c) + noise());
      break;
    }
    case EFFECT_METAL: {
      std::memset(bits, 0, static_cast<size_t>(stride) * VH);
      const int shortest = std::min(W, H);
      for (int k = 0; k < 200; ++k) {
        const int x0 = RandomBelow(W);
        const int y0 = RandomBelow(H);
        // Streaks longer than any window can show are cut, so that huge areas stay cheap.
        const int length = std::min(RandomBelow(shortest), 8192);
        const BYTE value = static_cast<BYTE>(rand() / 819);
        for (int j = 0; j < length / 2; ++j) {
          auto put = [&](int x, int y) {
            const int r = H - 1 - y;
            if (x >= ox && x < ox + VW && r >= oy && r < oy + VH) at(r, x) = value;
          };
          put(x0 - j, y0 + j);
          put(W + j - x0, y0 - j);
        }
      }
      const int v = (t - 40) / 2;
      for (int r = oy; r < oy + VH; ++r)
        for (int c = ox; c < ox + VW; ++c)
          at(r, c) = static_cast<BYTE>(at(r, c) + (r * v) / H + ((W - c) * v) / W + rand() / (32767 / m));
      break;
    }
    default:
      break;
  }
  m_dib.Draw(dc, visible.left, visible.top);
}

void CPPDrawManager::TileBitmap(HDC destination, int x, int y, int width, int height, HDC source, int source_x,
                                int source_y, int tile_width, int tile_height) {
  if (tile_width <= 0 || tile_height <= 0 || width <= 0 || height <= 0) return;
  for (int left = x; left < x + width; left += tile_width) {
    const int w = std::min(tile_width, x + width - left);
    for (int top = y; top < y + height; top += tile_height) {
      const int h = std::min(tile_height, y + height - top);
      BitBlt(destination, left, top, w, h, source, source_x, source_y, SRCCOPY);
    }
  }
}

void CPPDrawManager::AlphaBitBlt(HDC source, HDC destination, int x, int y, int width, int height, int percent) {
  if (percent >= 100) {
    BitBlt(destination, x, y, width, height, source, 0, 0, SRCCOPY);
    return;
  }
  if (percent <= 0) return;
  DibCanvas src, dst;
  if (!src.Make(destination, width, height) || !dst.Make(destination, width, height)) return;
  BitBlt(src.dc.get(), 0, 0, width, height, source, 0, 0, SRCCOPY);
  BitBlt(dst.dc.get(), 0, 0, width, height, destination, x, y, SRCCOPY);
  GdiFlush();
  const double p = percent / 100.0;
  for (size_t i = 0; i < dst.Count(); ++i) dst.bits[i] = MixColors(dst.bits[i], src.bits[i], p, 1.0 - p);
  BitBlt(destination, x, y, width, height, dst.dc.get(), 0, 0, SRCCOPY);
}

void CPPDrawManager::AlphaChannelBitBlt(HDC source, HDC destination, int x, int y, int width, int height) {
  DibCanvas src, dst;
  if (!src.Make(destination, width, height) || !dst.Make(destination, width, height)) return;
  BitBlt(src.dc.get(), 0, 0, width, height, source, 0, 0, SRCCOPY);
  BitBlt(dst.dc.get(), 0, 0, width, height, destination, x, y, SRCCOPY);
  GdiFlush();
  for (size_t i = 0; i < dst.Count(); ++i) {
    const double p = (src.bits[i] >> 24) / 255.0;
    dst.bits[i] = MixColors(dst.bits[i], src.bits[i], p, 1.0 - p);
  }
  BitBlt(destination, x, y, width, height, dst.dc.get(), 0, 0, SRCCOPY);
}

bool CPPDrawManager::BlurMask(int width, int height, const DWORD* mask, int blur_x, int blur_y, double* out) {
  if (!IsSaneBitmapSize(width, height) || blur_x < 1 || blur_y < 1 || blur_x > 255 || blur_y > 255) return false;
  const int cols = width + blur_x - 1;
  const int rows = height + blur_y - 1;
  std::vector<double> grid;
  std::vector<double> across;
  try {
    grid.assign(static_cast<size_t>(cols) * rows, 255.0);
    across.assign(static_cast<size_t>(width) * rows, 0.0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c)
      grid[static_cast<size_t>(r + blur_y / 2) * cols + c + blur_x / 2] =
          mask[static_cast<size_t>(r) * width + c] & 0xFF;
  // Box sums along the rows, then along the columns, each by a running sum.
  for (int r = 0; r < rows; ++r) {
    const double* line = &grid[static_cast<size_t>(r) * cols];
    double sum = 0;
    for (int c = 0; c < blur_x; ++c) sum += line[c];
    for (int c = 0; c < width; ++c) {
      across[static_cast<size_t>(r) * width + c] = sum;
      if (c + blur_x < cols) sum += line[c + blur_x] - line[c];
    }
  }
  const double scale = static_cast<double>(blur_x) * blur_y * 255.0;
  for (int c = 0; c < width; ++c) {
    double sum = 0;
    for (int r = 0; r < blur_y; ++r) sum += across[static_cast<size_t>(r) * width + c];
    for (int r = 0; r < height; ++r) {
      out[static_cast<size_t>(r) * width + c] = sum / scale;
      if (r + blur_y < rows)
        sum += across[static_cast<size_t>(r + blur_y) * width + c] - across[static_cast<size_t>(r) * width + c];
    }
  }
  return true;
}

void CPPDrawManager::DrawShadow(HDC destination, int x, int y, int width, int height, HBITMAP mask, bool blurred,
                                int blur_x, int blur_y) {
  if (!mask) return;
  DibCanvas dst, shape;
  if (!dst.Make(destination, width, height) || !shape.Make(destination, width, height)) return;
  MemoryDC mask_dc(CreateCompatibleDC(destination));
  if (!mask_dc) return;
  Selection select_mask(mask_dc.get(), mask);
  const SIZE mask_size = GetSizeOfBitmap(mask);
  BitBlt(dst.dc.get(), 0, 0, width, height, destination, x, y, SRCCOPY);
  std::vector<double> factors;
  try {
    factors.resize(dst.Count());
  } catch (const std::bad_alloc&) {
    return;
  }
  if (blurred) {
    blur_x = std::clamp(blur_x | 1, 1, 255);
    blur_y = std::clamp(blur_y | 1, 1, 255);
    RECT all = {0, 0, width, height};
    FillRect(shape.dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (width - blur_x > 0 && height - blur_y > 0) {
      SetStretchBltMode(shape.dc.get(), COLORONCOLOR);
      StretchBlt(shape.dc.get(), blur_x / 2, blur_y / 2, width - blur_x, height - blur_y, mask_dc.get(), 0, 0,
                 mask_size.cx, mask_size.cy, SRCCOPY);
    }
    GdiFlush();
    if (!BlurMask(width, height, shape.bits, blur_x, blur_y, factors.data())) return;
  } else {
    BitBlt(shape.dc.get(), 0, 0, width, height, mask_dc.get(), 0, 0, SRCCOPY);
    GdiFlush();
    for (size_t i = 0; i < factors.size(); ++i) factors[i] = (shape.bits[i] & 0xFF) / 255.0;
  }
  for (size_t i = 0; i < dst.Count(); ++i)
    if (factors[i] >= 0) dst.bits[i] = DarkenColor(dst.bits[i], factors[i]);
  BitBlt(destination, x, y, width, height, dst.dc.get(), 0, 0, SRCCOPY);
}

HBITMAP CPPDrawManager::ConvertBitmap(HBITMAP bitmap, int width, int height, DWORD flags, bool use_transparent,
                                      COLORREF transparent, COLORREF replace) {
  if (!bitmap) return nullptr;
  HDC screen = GetDC(nullptr);
  DibCanvas out;
  const bool made = out.Make(screen, width, height);
  if (!made) {
    ReleaseDC(nullptr, screen);
    return nullptr;
  }
  const SIZE size = GetSizeOfBitmap(bitmap);
  bool copied = false;
  if (size.cx == width && size.cy == height) {
    // Straight from the bitmap, so that a 32-bit source keeps its alpha bytes.
    BITMAPINFO info = Dib32Info(width, height);
    GdiFlush();
    copied = GetDIBits(out.dc.get(), bitmap, 0, height, out.bits, &info, DIB_RGB_COLORS) == height;
  }
  if (!copied) {
    MemoryDC source_dc(CreateCompatibleDC(screen));
    if (source_dc) {
      Selection select(source_dc.get(), bitmap);
      SetStretchBltMode(out.dc.get(), COLORONCOLOR);
      StretchBlt(out.dc.get(), 0, 0, width, height, source_dc.get(), 0, 0, size.cx, size.cy, SRCCOPY);
      GdiFlush();
      // Bitmaps without an alpha channel come out with arbitrary top bytes.
      for (size_t i = 0; i < out.Count(); ++i) out.bits[i] &= 0x00FFFFFF;
    }
  }
  ReleaseDC(nullptr, screen);

  const DWORD key = ToDibOrder(transparent);
  const DWORD colour = ToDibOrder(replace);
  for (size_t i = 0; i < out.Count(); ++i) {
    DWORD pixel = out.bits[i];
    const DWORD alpha = pixel & 0xFF000000;
    DWORD rgb = pixel & 0x00FFFFFF;
    if (alpha) m_alphaSeen = true;
    if (use_transparent && rgb == key) {
      rgb = 0;
    } else {
      if (flags & IMAGE_EFFECT_GRAYEN) rgb = PixelGrayScale(rgb);
      if (flags & IMAGE_EFFECT_DARKEN) rgb = DarkenColor(rgb, 0.75);
      if (flags & IMAGE_EFFECT_LIGHTEN) rgb = LightenColor(rgb, 0.25);
      if (flags & IMAGE_EFFECT_MONOCHROME) rgb = colour;
    }
    if (flags & IMAGE_EFFECT_INVERT) rgb = InvertColor(rgb) & 0x00FFFFFF;
    out.bits[i] = alpha | rgb;
  }
  return out.Detach();
}

HICON CPPDrawManager::StretchIcon(HICON icon, int width, int height) {
  if (!icon || !IsSaneBitmapSize(width, height)) return nullptr;
  ICONINFO info;
  if (!GetIconInfo(icon, &info)) return nullptr;
  Bitmap mask(info.hbmMask), colour(info.hbmColor);
  BITMAP mask_info;
  if (!mask || !GetObjectW(mask.get(), sizeof mask_info, &mask_info)) return nullptr;
  const int source_w = mask_info.bmWidth;
  const int source_h = static_cast<int>(info.yHotspot * 2);
  HDC screen = GetDC(nullptr);
  MemoryDC from(CreateCompatibleDC(screen)), to(CreateCompatibleDC(screen));
  Bitmap new_colour(colour ? CreateCompatibleBitmap(screen, width, height) : nullptr);
  Bitmap new_mask(CreateBitmap(width, height, 1, 1, nullptr));
  ReleaseDC(nullptr, screen);
  if (!from || !to || !new_mask || (colour && !new_colour)) return nullptr;
  {
    Selection s1(from.get(), mask.get()), s2(to.get(), new_mask.get());
    SetStretchBltMode(to.get(), COLORONCOLOR);
    StretchBlt(to.get(), 0, 0, width, height, from.get(), 0, 0, source_w, source_h, SRCCOPY);
  }
  if (colour) {
    Selection s1(from.get(), colour.get()), s2(to.get(), new_colour.get());
    SetStretchBltMode(to.get(), COLORONCOLOR);
    StretchBlt(to.get(), 0, 0, width, height, from.get(), 0, 0, source_w, source_h, SRCCOPY);
  }
  ICONINFO made = {TRUE, static_cast<DWORD>(width / 2), static_cast<DWORD>(height / 2), new_mask.get(),
                   new_colour.get()};
  return CreateIconIndirect(&made);
}

void CPPDrawManager::DrawConverted(HDC dc, int x, int y, int width, int height, HBITMAP source, bool use_transparent,
                                   COLORREF transparent, COLORREF mask_transparent, HBITMAP mask_source, DWORD flags,
                                   bool shadow_on, int shadow_dx, int shadow_dy, int blur_x, int blur_y,
                                   COLORREF colour, bool icon) {
  // The mask is white where the image is transparent and black elsewhere.
  Bitmap mask(icon ? ConvertBitmap(mask_source, width, height, 0, false, 0, 0)
                   : ConvertBitmap(source, width, height, IMAGE_EFFECT_MASK, use_transparent, transparent, 0xFFFFFF));
  Bitmap shadow;
  const bool shadow_mask = shadow_on && (flags & (IMAGE_EFFECT_SHADOW | IMAGE_EFFECT_GRADIENT_SHADOW));
  if (shadow_mask)
    shadow.reset(ConvertBitmap(mask_source, width, height, IMAGE_EFFECT_MASK, use_transparent, mask_transparent,
                               InvertColor(colour)));
  m_alphaSeen = false;
  Bitmap image(ConvertBitmap(source, width, height, flags, use_transparent, transparent, colour));
  if (!mask || !image) return;
  MemoryDC image_dc(CreateCompatibleDC(dc)), mask_dc(CreateCompatibleDC(dc));
  if (!image_dc || !mask_dc) return;
  Selection s1(image_dc.get(), image.get()), s2(mask_dc.get(), mask.get());
  auto put = [&](int px, int py) {
    if (m_alphaSeen) {
      AlphaChannelBitBlt(image_dc.get(), dc, px, py, width, height);
    } else {
      const COLORREF old_text = SetTextColor(dc, RGB(0, 0, 0));
      BitBlt(dc, px, py, width, height, mask_dc.get(), 0, 0, SRCAND);
      BitBlt(dc, px, py, width, height, image_dc.get(), 0, 0, SRCPAINT);
      SetTextColor(dc, old_text);
    }
  };
  if (shadow_on) {
    if (shadow_mask) {
      if (shadow)
        DrawShadow(dc, x + shadow_dx, y + shadow_dy, width, height, shadow.get(),
                   (flags & IMAGE_EFFECT_GRADIENT_SHADOW) != 0, blur_x, blur_y);
    } else {
      put(x + shadow_dx, y + shadow_dy);
    }
  }
  put(x, y);
}

void CPPDrawManager::DrawBitmap(HDC dc, int x, int y, int width, int height, HBITMAP bitmap, bool use_transparent,
                                COLORREF transparent, DWORD flags, bool shadow_on, int shadow_dx, int shadow_dy,
                                int blur_x, int blur_y, COLORREF colour) {
  m_alphaSeen = false;
  if (!bitmap || !dc || !IsSaneBitmapSize(width, height)) return;
  DrawConverted(dc, x, y, width, height, bitmap, use_transparent, transparent, transparent, bitmap, flags, shadow_on,
                shadow_dx, shadow_dy, blur_x, blur_y, colour, false);
}

void CPPDrawManager::DrawIcon(HDC dc, int x, int y, int width, int height, HICON icon, DWORD flags, bool shadow_on,
                              int shadow_dx, int shadow_dy, int blur_x, int blur_y, COLORREF colour) {
  m_alphaSeen = false;
  if (!icon || !dc || !IsSaneBitmapSize(width, height)) return;
  const SIZE size = GetSizeOfIcon(icon);
  Icon sized(size.cx == width && size.cy == height ? CopyIcon(icon) : StretchIcon(icon, width, height));
  if (!sized) return;
  ICONINFO info;
  if (!GetIconInfo(sized.get(), &info)) return;
  Bitmap mask(info.hbmMask), colour_bitmap(info.hbmColor);
  if (!colour_bitmap) {
    // A monochrome icon: its one bitmap holds both masks, GDI draws it best.
    DrawIconEx(dc, x, y, sized.get(), width, height, 0, nullptr, DI_NORMAL);
    return;
  }
  const bool single_colour = (flags & IMAGE_EFFECT_MONOCHROME) != 0;
  HBITMAP source = single_colour ? mask.get() : colour_bitmap.get();
  DrawConverted(dc, x, y, width, height, source, true, single_colour ? RGB(255, 255, 255) : RGB(0, 0, 0),
                RGB(255, 255, 255), mask.get(), flags, shadow_on, shadow_dx, shadow_dy, blur_x, blur_y, colour, true);
}

void CPPDrawManager::DrawImageList(HDC dc, int x, int y, int width, int height, HBITMAP strip, int index,
                                   int cell_width, int cell_height, bool use_transparent, COLORREF transparent,
                                   DWORD flags, bool shadow_on, int shadow_dx, int shadow_dy, int blur_x, int blur_y,
                                   COLORREF colour) {
  if (!strip || cell_width <= 0 || cell_height <= 0 || index < 0) return;
  const SIZE size = GetSizeOfBitmap(strip);
  const int columns = size.cx / cell_width;
  const int rows = size.cy / cell_height;
  if (columns <= 0 || rows <= 0 || static_cast<long long>(index) >= static_cast<long long>(columns) * rows) return;
  DibCanvas cell;
  if (!cell.Make(dc, cell_width, cell_height)) return;
  MemoryDC strip_dc(CreateCompatibleDC(dc));
  if (!strip_dc) return;
  {
    Selection select(strip_dc.get(), strip);
    BitBlt(cell.dc.get(), 0, 0, cell_width, cell_height, strip_dc.get(), (index % columns) * cell_width,
           (index / columns) * cell_height, SRCCOPY);
  }
  Bitmap frame(cell.Detach());
  DrawBitmap(dc, x, y, width, height, frame.get(), use_transparent, transparent, flags, shadow_on, shadow_dx, shadow_dy,
             blur_x, blur_y, colour);
}

namespace {

int PenStyleOf(int style) {
  switch (style) {
    case CPPDrawManager::PEN_DASH:
      return PS_DASH;
    case CPPDrawManager::PEN_DOT:
      return PS_DOT;
    case CPPDrawManager::PEN_DASHDOT:
      return PS_DASHDOT;
    case CPPDrawManager::PEN_DASHDOTDOT:
      return PS_DASHDOTDOT;
    default:
      return PS_SOLID;
  }
}

}  // namespace

void CPPDrawManager::DrawRectangle(HDC dc, int left, int top, int right, int bottom, COLORREF top_left,
                                   COLORREF bottom_right, int pen_style, int pen_width) {
  if (pen_width <= 0 || !dc) return;
  Pen first(CreatePen(PenStyleOf(pen_style), pen_width, top_left));
  Pen second(top_left != bottom_right ? CreatePen(PenStyleOf(pen_style), pen_width, bottom_right) : nullptr);
  if (!first) return;
  HPEN br = second ? second.get() : first.get();
  const int outlines = pen_style == PEN_DOUBLE ? 2 : 1;
  POINT old_position;
  MoveToEx(dc, 0, 0, &old_position);
  for (int k = 0; k < outlines; ++k) {
    const int inset = k * 2 * pen_width;
    const int L = left + inset + pen_width / 2, T = top + inset + pen_width / 2;
    const int R = right - 1 - inset - (pen_width - 1) / 2, B = bottom - 1 - inset - (pen_width - 1) / 2;
    if (R < L || B < T) break;
    {
      Selection pen(dc, first.get());
      MoveToEx(dc, L, B, nullptr);
      LineTo(dc, L, T);
      LineTo(dc, R, T);
    }
    {
      Selection pen(dc, br);
      MoveToEx(dc, R, T, nullptr);
      LineTo(dc, R, B);
      LineTo(dc, L, B);
    }
  }
  MoveToEx(dc, old_position.x, old_position.y, nullptr);
}

void CPPDrawManager::DrawLine(HDC dc, int x1, int y1, int x2, int y2, COLORREF colour, int pen_style, int pen_width) {
  if (pen_width <= 0 || !dc) return;
  Pen pen(CreatePen(PenStyleOf(pen_style), pen_width, colour));
  if (!pen) return;
  Selection select(dc, pen.get());
  POINT old_position;
  MoveToEx(dc, x1, y1, &old_position);
  LineTo(dc, x2, y2);
  if (pen_style == PEN_DOUBLE) {
    // Down beside a line that is not vertical, right beside one that is not horizontal.
    const int dy = x1 != x2 ? 2 * pen_width : 0;
    const int dx = y1 != y2 ? 2 * pen_width : 0;
    MoveToEx(dc, x1 + dx, y1 + dy, nullptr);
    LineTo(dc, x2 + dx, y2 + dy);
  }
  MoveToEx(dc, old_position.x, old_position.y, nullptr);
}
