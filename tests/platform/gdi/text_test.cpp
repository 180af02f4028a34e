// Text: argument checks in front of the font engine, the ETO_OPAQUE box, and
// the glyph primitive blending coverage per pixel format with GDI's rule for
// greyscale text.
#include <windows.h>

#include <memory>

#include "../../../platform/gdi/draw.h"
#include "gdi_test_util.h"
#include "tw_test.h"

using gditest::Canvas;

namespace {

TEST(GdiTextSeam, BadArgumentsFailCleanly) {
  Canvas c(8, 8);
  SetLastError(0);
  EXPECT_FALSE(TextOutW(c.dc(), 0, 0, nullptr, 3));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(TextOutW(reinterpret_cast<HDC>(0x77), 0, 0, u"A", 1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(c.CountBlack(0, 0, 8, 8), 0);
}

TEST(GdiTextSeam, OpaqueBoxWithoutText) {
  Canvas c(6, 4);
  SetBkColor(c.dc(), RGB(0, 0, 0));
  SetROP2(c.dc(), R2_NOP);  // the box ignores ROP2
  RECT r{1, 1, 4, 3};
  ASSERT_TRUE(ExtTextOutW(c.dc(), 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr));
  EXPECT_EQ(c.Text(0), "......");
  EXPECT_EQ(c.Text(1), ".###..");
  EXPECT_EQ(c.Text(2), ".###..");
  EXPECT_EQ(c.Text(3), "......");
}

TEST(GdiGlyphs, CoverageMaskBlendsPerFormatAndClearsAlpha) {
  const BYTE mask[3] = {0, 128, 255};
  for (int bpp : {1, 24, 32}) {
    Canvas c(4, 2, bpp);
    auto dc = tw::gdi::LookupDc(c.dc());
    IntersectClipRect(c.dc(), 0, 0, 4, 1);
    tw::gdi::DrawCoverageMask(*dc, 1, 0, 3, 1, mask, 3, RGB(0, 0, 0));
    tw::gdi::DrawCoverageMask(*dc, 1, 1, 3, 1, mask, 3, RGB(0, 0, 0));  // clipped away
    EXPECT_FALSE(c.Black(1, 0)) << bpp;
    EXPECT_TRUE(c.Black(3, 0)) << bpp;
    EXPECT_FALSE(c.Black(3, 1)) << bpp;
    if (bpp == 32) {
      EXPECT_EQ(c.Alpha(1, 0), 0xFFu);  // untouched
      EXPECT_EQ(c.Alpha(2, 0), 0u);
      EXPECT_EQ(c.Alpha(3, 0), 0u);
    }
  }
}

TEST(GdiGlyphs, GreyscaleTextIsAsLightAsGdiDrawsIt) {
  // Coverage becomes one of 17 levels (coverage x 17 / 256). Levels 0 and
  // 1 leave the pixel, 16 is the text colour, and in between black text on
  // white takes the value of GDI's ramp for 16 - level, white text on black
  // the value for the level: 0x4D 0x68 0x7C 0x8C 0x9A 0xA7 0xB2 0xBD 0xC7
  // 0xD0 0xD9 0xE1 0xE9 0xF0 0xF8 for levels 1 to 15.
  const BYTE mask[6] = {0, 30, 31, 128, 240, 255};  // levels 0, 1, 2, 8, 15, 16
  auto draw = [&](COLORREF ground, COLORREF text) {
    auto canvas = std::make_unique<Canvas>(6, 1, 24);
    HBRUSH brush = CreateSolidBrush(ground);
    RECT all{0, 0, 6, 1};
    FillRect(canvas->dc(), &all, brush);
    DeleteObject(brush);
    tw::gdi::DrawCoverageMask(*tw::gdi::LookupDc(canvas->dc()), 0, 0, 6, 1, mask, 6, text);
    GdiFlush();
    return canvas;
  };
  auto grey = [](DWORD v) { return v << 16 | v << 8 | v; };
  auto onWhite = draw(RGB(255, 255, 255), RGB(0, 0, 0));
  const DWORD blackOnWhite[6] = {0xFF, 0xFF, 0xF0, 0xBD, 0x4D, 0x00};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(onWhite->Pixel(x, 0), grey(blackOnWhite[x])) << x;
  auto onBlack = draw(RGB(0, 0, 0), RGB(255, 255, 255));
  const DWORD whiteOnBlack[6] = {0x00, 0x00, 0x68, 0xBD, 0xF8, 0xFF};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(onBlack->Pixel(x, 0), grey(whiteOnBlack[x])) << x;
  // Other grounds go the same share of the way: half-covered black text on
  // grey 0x80 comes to 0x80 x 0xBD / 0xFF; a channel equal to the text's
  // stays.
  auto onGrey = draw(RGB(0x80, 0x80, 0xFF), RGB(0, 0, 0xFF));
  EXPECT_EQ(onGrey->Pixel(3, 0), DWORD(0x5E5EFF));
  // A 16-bit surface keeps the rule, in its 5-bit channels.
  Canvas sixteen(6, 1, 16);
  PatBlt(sixteen.dc(), 0, 0, 6, 1, WHITENESS);
  tw::gdi::DrawCoverageMask(*tw::gdi::LookupDc(sixteen.dc()), 0, 0, 6, 1, mask, 6, RGB(0, 0, 0));
  for (int x = 0; x < 6; ++x) {
    COLORREF c = GetPixel(sixteen.dc(), x, 0);
    EXPECT_NEAR(int(GetRValue(c)), int(blackOnWhite[x]), 8) << x;
  }
}

}  // namespace
