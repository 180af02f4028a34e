// Absurd input from damaged metafiles or careless callers: huge or
// inverted coordinates, degenerate shapes. Drawing must finish, stay on the
// surface and draw what is visible.
#include <windows.h>

#include <climits>

#include "gdi_test_util.h"
#include "tw_test.h"

using gditest::Canvas;
using gditest::Selected;

namespace {

TEST(GdiExtremes, HugeCoordinatesDrawOnlyWhatIsVisible) {
  Canvas c(20, 20);
  const int big = 1000000000;
  MoveToEx(c.dc(), -big, 10, nullptr);
  ASSERT_TRUE(LineTo(c.dc(), big, 10));  // a horizontal line across the page
  EXPECT_EQ(c.CountBlack(0, 10, 20, 11), 20);
  c.Fill(0xFF);
  SelectObject(c.dc(), GetStockObject(BLACK_BRUSH));
  ASSERT_TRUE(Ellipse(c.dc(), -big, -big, big, big));  // covers the page
  EXPECT_EQ(c.CountBlack(0, 0, 20, 20), 400);
  ASSERT_TRUE(RoundRect(c.dc(), -big, -big, big, big, big, big));
  ASSERT_TRUE(Rectangle(c.dc(), INT_MIN, INT_MIN, INT_MAX, INT_MAX));
  {
    // A dashed wide pen along a line a billion pixels long.
    LOGBRUSH lb{BS_SOLID, RGB(255, 0, 0), 0};
    Selected pen(c.dc(), ExtCreatePen(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT, 2, &lb, 0, nullptr));
    MoveToEx(c.dc(), -big, 5, nullptr);
    ASSERT_TRUE(LineTo(c.dc(), big, 5));
    int red = 0;
    for (int x = 0; x < 20; ++x) red += c.Pixel(x, 5) == 0xFF0000u;
    EXPECT_GT(red, 5);   // dashes...
    EXPECT_LT(red, 20);  // ...and gaps
  }
  POINT far[] = {{-big, -big}, {big, -big}, {0, big}};
  ASSERT_TRUE(Polygon(c.dc(), far, 3));
  HRGN huge = CreateRectRgn(-big, -big, big, big);
  ASSERT_TRUE(FrameRgn(c.dc(), huge, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)), big, big));
  DeleteObject(huge);
  BITMAPINFO bmi{{sizeof(BITMAPINFOHEADER), 2, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {}};
  BYTE bits[16] = {};
  SetStretchBltMode(c.dc(), HALFTONE);
  EXPECT_EQ(StretchDIBits(c.dc(), 0, 0, 20, 20, -big, -big, INT_MAX, INT_MAX, bits, &bmi, DIB_RGB_COLORS, SRCCOPY),
            INT_MAX);
}

TEST(GdiExtremes, DegenerateShapesAndEmptyRegions) {
  Canvas c(8, 8);
  SelectObject(c.dc(), GetStockObject(BLACK_BRUSH));
  EXPECT_TRUE(Rectangle(c.dc(), 3, 3, 3, 6));
  EXPECT_TRUE(Ellipse(c.dc(), 3, 3, 3, 3));
  EXPECT_TRUE(Pie(c.dc(), 1, 1, 1, 1, 0, 0, 0, 0));
  POINT line[] = {{1, 1}, {5, 1}};
  EXPECT_EQ(c.CountBlack(0, 0, 8, 8), 0);
  EXPECT_TRUE(Polygon(c.dc(), line, 2));  // no area: the outline there and back, 1..5
  EXPECT_EQ(c.Text(1), ".#####..");
  HRGN empty = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(SelectClipRgn(c.dc(), empty), NULLREGION);
  PatBlt(c.dc(), 0, 0, 8, 8, BLACKNESS);
  EXPECT_EQ(c.CountBlack(0, 0, 8, 8), 5);  // nothing more visible
  DeleteObject(empty);
  EXPECT_FALSE(PolyBezier(c.dc(), line, 2));
  BYTE types[2] = {PT_MOVETO, 0x77};
  EXPECT_FALSE(PolyDraw(c.dc(), line, types, 2));
}

TEST(GdiExtremes, RegionAndRectangleArithmeticSaturates) {
  Canvas c(8, 8);
  HRGN rgn = CreateRectRgn(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  EXPECT_NE(OffsetRgn(rgn, INT_MAX, INT_MIN), ERROR);
  EXPECT_NE(OffsetRgn(rgn, INT_MIN, INT_MAX), ERROR);
  RECT all{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  EXPECT_TRUE(FillRect(c.dc(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
  EXPECT_EQ(c.CountBlack(0, 0, 8, 8), 64);
  EXPECT_TRUE(FrameRect(c.dc(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))));
  EXPECT_TRUE(InvertRect(c.dc(), &all));
  SelectClipRgn(c.dc(), rgn);
  EXPECT_NE(OffsetClipRgn(c.dc(), INT_MAX, INT_MAX), ERROR);
  DeleteObject(rgn);
}

TEST(GdiExtremes, FrameRgnDrawsTheBorderWidth) {
  Canvas c(10, 10);
  HRGN rgn = CreateRectRgn(1, 1, 9, 9);
  ASSERT_TRUE(FrameRgn(c.dc(), rgn, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)), 2, 1));
  EXPECT_EQ(c.Text(0), "..........");
  EXPECT_EQ(c.Text(1), ".########.");
  EXPECT_EQ(c.Text(4), ".##....##.");
  EXPECT_EQ(c.Text(8), ".########.");
  EXPECT_EQ(c.Text(9), "..........");
  DeleteObject(rgn);
}

}  // namespace
