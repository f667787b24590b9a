// The palette bitmap and the draw manager: pixels of fills, blits, masks and shadows.
#include "CeXDib.h"
#include "DrawTestSupport.h"
#include "GdiOwners.h"
#include "PPDrawManager.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kRed = RGB(255, 0, 0);

TEST(CCeXDib, SizesPaletteAndRefresh) {
  CCeXDib dib;
  struct Case {
    int width, height, stride;
    bool made;
  } cases[] = {
      {1, 1, 4, true},
      {5, 2, 8, true},
      {8, 3, 8, true},
      {0, 5, 0, false},
      {5, 0, 0, false},
      {-1, 5, 0, false},
      {70000, 70000, 0, false},     // 4.9e9 pixels: refused, no wrap
      {65536, 65536, 0, false},     // 2^32 bytes wraps a 32-bit size to 0
      {16384, 2048, 16384, false},  // within each side, over the total
  };
  for (const auto& c : cases) {
    const bool made = dib.Create(c.width, c.height) != nullptr;
    EXPECT_EQ(c.made, made) << c.width << " x " << c.height;
    if (made) {
      EXPECT_EQ(c.stride, dib.GetLineWidth()) << c.width;
    }
    if (!made) {
      EXPECT_EQ(nullptr, dib.GetBits());
      dib.SetPaletteIndex(0, 1, 2, 3);  // does nothing without a buffer
      dib.BlendPalette(kRed, 50);
    }
  }

  ASSERT_NE(nullptr, dib.Create(2, 2));
  EXPECT_EQ(256, dib.GetPaletteSize());
  for (int i = 0; i < 256; ++i) dib.SetPaletteIndex(static_cast<BYTE>(i), static_cast<BYTE>(i), 0, 0);
  dib.BlendPalette(RGB(0, 0, 200), 0);
  EXPECT_EQ(7, dib.GetPalette()[7].rgbRed);
  dib.BlendPalette(RGB(0, 0, 200), 150);  // taken as 100
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(0, dib.GetPalette()[i].rgbRed);
    EXPECT_EQ(200, dib.GetPalette()[i].rgbBlue);
  }
  dib.SetPaletteIndex(1, 255, 0, 0);
  dib.SetPaletteIndex(2, 0, 255, 0);
  BYTE* bits = dib.GetBits();
  bits[0] = bits[1] = bits[4] = bits[5] = 1;  // both rows red
  TestCanvas canvas(4, 4);
  dib.Draw(canvas.dc(), 1, 1);
  EXPECT_COLOUR(kRed, canvas.At(1, 1));
  EXPECT_COLOUR(kRed, canvas.At(2, 2));
  EXPECT_COLOUR(kWhite, canvas.At(3, 3));
  bits[(dib.GetHeight() - 0 - 1) * dib.GetLineWidth() + 0] = 2;  // top left pixel green
  dib.Draw(canvas.dc(), 1, 1);
  EXPECT_COLOUR(RGB(0, 255, 0), canvas.At(1, 1));
  EXPECT_COLOUR(kRed, canvas.At(1, 2));
}

TEST(CPPDrawManager, ColourHelpers) {
  EXPECT_COLOUR(RGB(250, 125, 0), CPPDrawManager::LightenColor(RGB(200, 100, 0), 0.25));
  EXPECT_COLOUR(RGB(255, 125, 0), CPPDrawManager::LightenColor(RGB(220, 100, 0), 0.25));
  EXPECT_COLOUR(RGB(220, 100, 0), CPPDrawManager::LightenColor(RGB(220, 100, 0), 1.5));
  EXPECT_COLOUR(RGB(150, 75, 0), CPPDrawManager::DarkenColor(RGB(200, 100, 0), 0.75));
  EXPECT_COLOUR(RGB(200, 100, 0), CPPDrawManager::DarkenColor(RGB(200, 100, 0), 1.0));
  EXPECT_COLOUR(RGB(55, 155, 255), CPPDrawManager::InvertColor(RGB(200, 100, 0)));
  EXPECT_EQ(0x4C4C4Cu, CPPDrawManager::PixelGrayScale(0xFF0000));  // red weighs 0.299
  EXPECT_EQ(0x1D1D1Du, CPPDrawManager::PixelGrayScale(0x0000FF));
  EXPECT_COLOUR(RGB(127, 127, 127), CPPDrawManager::MixColors(RGB(0, 0, 0), kWhite, 0.5, 0.5));
}

// Every effect, every size from 0 to 8 in both directions: a fill of one colour covers its
// rectangle exactly and touches nothing else; an empty rectangle draws nothing.
TEST(CPPDrawManager, EveryFillEffectAtEverySmallSize) {
  CPPDrawManager manager;
  TestCanvas canvas(12, 12);
  for (int effect = -1; effect <= 16; ++effect) {
    for (int w = 0; w <= 8; ++w) {
      for (int h = 0; h <= 8; ++h) {
        canvas.Fill(kWhite);
        const RECT rect = {2, 2, 2 + w, 2 + h};
        manager.FillEffect(canvas.dc(), rect, effect, kRed, kRed, kRed, 5, 0);
        const int inside = canvas.CountNot(kRed, rect);
        const int outside = canvas.CountNot(kWhite) - (w * h - inside);
        EXPECT_EQ(0, inside) << "effect " << effect << " at " << w << " x " << h;
        EXPECT_EQ(0, outside) << "effect " << effect << " at " << w << " x " << h;
      }
    }
  }
  // Granularities beyond the palette are taken at its edge, not divided by.
  for (int effect = 7; effect <= 15; ++effect)
    for (int g : {0, 255, 1000, -5}) manager.FillEffect(canvas.dc(), RECT{0, 0, 7, 5}, effect, kRed, kRed, kRed, g, 0);
  // Far too large to make: nothing is drawn and nothing fails.
  manager.FillEffect(canvas.dc(), RECT{0, 0, 40000, 3}, 15, kRed, kRed, kRed, 5, 0);
}

TEST(CPPDrawManager, GradientsAndTexturedPalette) {
  CPPDrawManager manager;
  TestCanvas canvas(40, 8);
  // Ten pixels for 64 bands: the empty bands are skipped, so the first pixel shows band 6.
  manager.FillEffect(canvas.dc(), RECT{0, 0, 10, 8}, 1, RGB(0, 0, 0), kWhite, RGB(0, 0, 255), 5, 0);
  EXPECT_COLOUR(RGB(0, 0, 255 * 6 / 64), canvas.At(0, 4));
  // Band 63 of 64: (0 * 1 + 255 * 63) >> 6.
  EXPECT_COLOUR(RGB(0, 0, 251), canvas.At(9, 4));
  // Centred gradient: the ends in the first colour, the middle towards the third.
  manager.FillEffect(canvas.dc(), RECT{0, 0, 40, 8}, 3, RGB(0, 0, 0), kWhite, RGB(0, 0, 255), 5, 0);
  EXPECT_COLOUR(RGB(0, 0, 255 * 3 / 64), canvas.At(0, 0));  // 20 pixels: band 3 first
  EXPECT_GT(GetBValue(canvas.At(19, 0)), 200);
  EXPECT_LT(GetBValue(canvas.At(39, 0)), 20);
  // A textured effect only uses palette colours between the first and the third colour.
  manager.FillEffect(canvas.dc(), RECT{0, 0, 40, 8}, 13, RGB(200, 0, 0), RGB(100, 0, 0), RGB(0, 0, 0), 5, 0);
  for (int x = 0; x < 40; ++x) EXPECT_EQ(0, GetGValue(canvas.At(x, 3)));
}

TEST(CPPDrawManager, AlphaBlits) {
  CPPDrawManager manager;
  TestCanvas source(4, 4, kRed), target(6, 6, kWhite);
  manager.AlphaBitBlt(source.dc(), target.dc(), 1, 1, 4, 4, 0);
  EXPECT_COLOUR(kWhite, target.At(2, 2));
  manager.AlphaBitBlt(source.dc(), target.dc(), 1, 1, 4, 4, 50);
  EXPECT_COLOUR(RGB(255, 127, 127), target.At(2, 2));
  EXPECT_COLOUR(kWhite, target.At(0, 0));
  manager.AlphaBitBlt(source.dc(), target.dc(), 1, 1, 4, 4, 100);
  EXPECT_COLOUR(kRed, target.At(4, 4));
  EXPECT_COLOUR(kWhite, target.At(5, 5));

  // Per-pixel alpha: opaque pixels replace, transparent ones keep the destination.
  TestCanvas alpha(2, 1, kRed);
  GdiFlush();
  target.Fill(kWhite);
  {
    // Alpha 255 on the first pixel, 0 on the second.
    BITMAP info;
    GetObjectW(alpha.bitmap(), sizeof info, &info);
    DWORD* bits = static_cast<DWORD*>(info.bmBits);
    bits[0] = 0xFFFF0000;
    bits[1] = 0x00FF0000;
  }
  manager.AlphaChannelBitBlt(alpha.dc(), target.dc(), 0, 0, 2, 1);
  EXPECT_COLOUR(kRed, target.At(0, 0));
  EXPECT_COLOUR(kWhite, target.At(1, 0));
}

TEST(CPPDrawManager, MasksShadowsAndImageCells) {
  CPPDrawManager manager;
  // 4 x 2: left half red, right half blue.
  TestCanvas picture(4, 2, RGB(0, 0, 255));
  picture.Set(0, 0, kRed);
  picture.Set(1, 0, kRed);
  picture.Set(0, 1, kRed);
  picture.Set(1, 1, kRed);
  htmlctrl::Bitmap copy(static_cast<HBITMAP>(CopyImage(picture.bitmap(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  ASSERT_TRUE(copy);

  TestCanvas canvas(10, 10, RGB(0, 255, 0));
  manager.DrawBitmap(canvas.dc(), 1, 1, 4, 2, copy.get(), true, RGB(0, 0, 255), 0, false, 0, 0, 0, 0, 0);
  EXPECT_COLOUR(kRed, canvas.At(1, 1));
  EXPECT_COLOUR(RGB(0, 255, 0), canvas.At(3, 1));  // blue was the mask colour
  // Grey scale and a stretched copy.
  canvas.Fill(kWhite);
  manager.DrawBitmap(canvas.dc(), 0, 0, 8, 4, copy.get(), false, 0, CPPDrawManager::IMAGE_EFFECT_GRAYEN, false, 0, 0, 0,
                     0, 0);
  EXPECT_COLOUR(RGB(0x4C, 0x4C, 0x4C), canvas.At(0, 0));
  EXPECT_COLOUR(RGB(0x1D, 0x1D, 0x1D), canvas.At(7, 3));
  // A single-colour image with a hard shadow below and right of it.
  canvas.Fill(kWhite);
  manager.DrawBitmap(canvas.dc(), 0, 0, 4, 2, copy.get(), true, RGB(0, 0, 255),
                     CPPDrawManager::IMAGE_EFFECT_MONOCHROME | CPPDrawManager::IMAGE_EFFECT_SHADOW, true, 2, 2, 3, 3,
                     RGB(128, 128, 128));
  EXPECT_COLOUR(RGB(128, 128, 128), canvas.At(0, 0));
  EXPECT_COLOUR(RGB(128, 128, 128), canvas.At(2, 3));  // shadow: white darkened by 128 / 255
  EXPECT_COLOUR(kWhite, canvas.At(5, 3));              // right of the shadow: the mask's transparent part

  // Image cells: cell 1 of a 2 x 1 strip; an index past the cells draws nothing.
  canvas.Fill(kWhite);
  manager.DrawImageList(canvas.dc(), 0, 0, 2, 2, copy.get(), 1, 2, 2, false, 0, 0, false, 0, 0, 0, 0, 0);
  EXPECT_COLOUR(RGB(0, 0, 255), canvas.At(0, 0));
  canvas.Fill(kWhite);
  manager.DrawImageList(canvas.dc(), 0, 0, 2, 2, copy.get(), 2, 2, 2, false, 0, 0, false, 0, 0, 0, 0, 0);
  manager.DrawImageList(canvas.dc(), 0, 0, 2, 2, copy.get(), 0, 0, 2, false, 0, 0, false, 0, 0, 0, 0, 0);
  EXPECT_EQ(0, canvas.CountNot(kWhite));
}

TEST(CPPDrawManager, BlurMaskIsABoxAverage) {
  std::vector<DWORD> mask(5 * 5, 0xFF);
  std::vector<double> out(25);
  ASSERT_TRUE(CPPDrawManager::BlurMask(5, 5, mask.data(), 3, 3, out.data()));
  for (double v : out) EXPECT_DOUBLE_EQ(1.0, v);
  mask[2 * 5 + 2] = 0;  // one black pixel in the middle
  ASSERT_TRUE(CPPDrawManager::BlurMask(5, 5, mask.data(), 3, 3, out.data()));
  EXPECT_DOUBLE_EQ(8.0 / 9.0, out[2 * 5 + 2]);
  EXPECT_DOUBLE_EQ(8.0 / 9.0, out[1 * 5 + 1]);
  EXPECT_DOUBLE_EQ(1.0, out[0]);
  EXPECT_FALSE(CPPDrawManager::BlurMask(0, 5, mask.data(), 3, 3, out.data()));
}

TEST(CPPDrawManager, RectanglesAndLines) {
  CPPDrawManager manager;
  TestCanvas canvas(12, 12);
  manager.DrawRectangle(canvas.dc(), 1, 1, 11, 11, kRed, RGB(0, 0, 255), 1, 0);
  EXPECT_EQ(0, canvas.CountNot(kWhite));
  manager.DrawRectangle(canvas.dc(), 1, 1, 11, 11, kRed, RGB(0, 0, 255), 1, 1);
  EXPECT_COLOUR(kRed, canvas.At(1, 5));
  EXPECT_COLOUR(kRed, canvas.At(5, 1));
  EXPECT_COLOUR(RGB(0, 0, 255), canvas.At(10, 5));
  EXPECT_COLOUR(RGB(0, 0, 255), canvas.At(5, 10));
  EXPECT_COLOUR(kWhite, canvas.At(5, 5));
  EXPECT_COLOUR(kWhite, canvas.At(11, 11));
  canvas.Fill(kWhite);
  manager.DrawRectangle(canvas.dc(), 0, 0, 12, 12, kRed, kRed, CPPDrawManager::PEN_DOUBLE, 1);
  EXPECT_COLOUR(kRed, canvas.At(0, 6));
  EXPECT_COLOUR(kWhite, canvas.At(1, 6));
  EXPECT_COLOUR(kRed, canvas.At(2, 6));  // the second outline, 2 x width inside
  canvas.Fill(kWhite);
  manager.DrawLine(canvas.dc(), 0, 3, 10, 3, kRed, CPPDrawManager::PEN_DOUBLE, 1);
  EXPECT_COLOUR(kRed, canvas.At(5, 3));
  EXPECT_COLOUR(kRed, canvas.At(5, 5));
  EXPECT_COLOUR(kWhite, canvas.At(5, 4));
}

}  // namespace
