// The GDI toolbox of the HTML controls: fill effects, gradients, alpha blits, soft shadows,
// image variants (grey, darker, lighter, single colour, inverted) and framed lines.
#pragma once

#include "CeXDib.h"

#include <windows.h>

class CPPDrawManager {
 public:
  // Fill effects; any number not listed paints a solid fill.
  enum {
    EFFECT_SOLID = 0,
    EFFECT_HGRADIENT,
    EFFECT_VGRADIENT,
    EFFECT_HCGRADIENT,
    EFFECT_VCGRADIENT,
    EFFECT_3HGRADIENT,
    EFFECT_3VGRADIENT,
    EFFECT_NOISE,
    EFFECT_DIAGSHADE,
    EFFECT_HSHADE,
    EFFECT_VSHADE,
    EFFECT_HBUMP,
    EFFECT_VBUMP,
    EFFECT_SOFTBUMP,
    EFFECT_HARDBUMP,
    EFFECT_METAL,
  };
  // Image effect bits.
  enum {
    IMAGE_EFFECT_GRAYEN = 0x0001,
    IMAGE_EFFECT_DARKEN = 0x0002,
    IMAGE_EFFECT_LIGHTEN = 0x0004,
    IMAGE_EFFECT_MONOCHROME = 0x0008,
    IMAGE_EFFECT_SHADOW = 0x0100,
    IMAGE_EFFECT_GRADIENT_SHADOW = 0x0200,
    IMAGE_EFFECT_INVERT = 0x8000,
    IMAGE_EFFECT_MASK = IMAGE_EFFECT_MONOCHROME | IMAGE_EFFECT_INVERT,
  };
  // Pen styles of DrawRectangle and DrawLine.
  enum { PEN_SOLID = 1, PEN_DASH = 2, PEN_DOT = 3, PEN_DASHDOT = 4, PEN_DASHDOTDOT = 5, PEN_DOUBLE = 6 };

  CPPDrawManager() = default;
  virtual ~CPPDrawManager() = default;

  static DWORD PixelGrayScale(DWORD pixel);
  static COLORREF InvertColor(COLORREF colour);
  static COLORREF DarkenColor(COLORREF colour, double factor);
  static COLORREF LightenColor(COLORREF colour, double factor);
  static COLORREF MixColors(COLORREF destination, COLORREF source, double source_weight, double destination_weight);

  static SIZE GetSizeOfIcon(HICON icon);
  static SIZE GetSizeOfBitmap(HBITMAP bitmap);

  void FillEffect(HDC dc, const RECT& rect, int effect, COLORREF colour1, COLORREF colour2, COLORREF colour3,
                  int granularity = 5, int blend_percent = 0);
  void DrawGradient(HDC dc, const RECT& rect, COLORREF from, COLORREF to, bool horizontal);
  void TileBitmap(HDC destination, int x, int y, int width, int height, HDC source, int source_x, int source_y,
                  int tile_width, int tile_height);
  void AlphaBitBlt(HDC source, HDC destination, int x, int y, int width, int height, int percent);
  void AlphaChannelBitBlt(HDC source, HDC destination, int x, int y, int width, int height);
  void DrawShadow(HDC destination, int x, int y, int width, int height, HBITMAP mask, bool blurred, int blur_x,
                  int blur_y);
  // Box average of the mask's lowest bytes over blur_x x blur_y, as factors 0..1; out holds
  // width x height values. False when the sizes are not positive or too large.
  static bool BlurMask(int width, int height, const DWORD* mask, int blur_x, int blur_y, double* out);

  // A new 32-bit DIB section (caller deletes it) or null.
  HBITMAP ConvertBitmap(HBITMAP bitmap, int width, int height, DWORD flags, bool use_transparent, COLORREF transparent,
                        COLORREF replace);
  HICON StretchIcon(HICON icon, int width, int height);
  void DrawBitmap(HDC dc, int x, int y, int width, int height, HBITMAP bitmap, bool use_transparent,
                  COLORREF transparent, DWORD flags, bool shadow_on, int shadow_dx, int shadow_dy, int blur_x,
                  int blur_y, COLORREF colour);
  void DrawIcon(HDC dc, int x, int y, int width, int height, HICON icon, DWORD flags, bool shadow_on, int shadow_dx,
                int shadow_dy, int blur_x, int blur_y, COLORREF colour);
  void DrawImageList(HDC dc, int x, int y, int width, int height, HBITMAP strip, int index, int cell_width,
                     int cell_height, bool use_transparent, COLORREF transparent, DWORD flags, bool shadow_on,
                     int shadow_dx, int shadow_dy, int blur_x, int blur_y, COLORREF colour);

  void DrawRectangle(HDC dc, int left, int top, int right, int bottom, COLORREF top_left, COLORREF bottom_right,
                     int pen_style, int pen_width);
  void DrawLine(HDC dc, int x1, int y1, int x2, int y2, COLORREF colour, int pen_style, int pen_width);

 private:
  void FillTextured(HDC dc, const RECT& rect, int effect, COLORREF colour1, COLORREF colour2, COLORREF colour3,
                    int granularity, int blend_percent);
  void DrawConverted(HDC dc, int x, int y, int width, int height, HBITMAP source, bool use_transparent,
                     COLORREF transparent, COLORREF mask_transparent, HBITMAP mask_source, DWORD flags, bool shadow_on,
                     int shadow_dx, int shadow_dy, int blur_x, int blur_y, COLORREF colour, bool icon);

  CCeXDib m_dib;
  bool m_alphaSeen = false;
};
