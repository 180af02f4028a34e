// Text: argument checks in front of the font engine, the ETO_OPAQUE box, and
// the glyph primitive blending coverage per pixel format.
#include <windows.h>

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
    if (bpp == 24) {
      EXPECT_EQ(c.Pixel(2, 0), 0x7F7F7Fu);  // half covered: half way to black
    }
    if (bpp == 32) {
      EXPECT_EQ(c.Alpha(1, 0), 0xFFu);  // untouched
      EXPECT_EQ(c.Alpha(2, 0), 0u);
      EXPECT_EQ(c.Alpha(3, 0), 0u);
    }
  }
}

}  // namespace
