// Absurd input from damaged metafiles or careless callers: huge or
// inverted coordinates, degenerate shapes. Drawing must finish, stay on the
// surface and draw what is visible.
#include <windows.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

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

// Pens far wider than the surface (a damaged metafile's transform makes a
// one-unit pen 1e8 pixels wide): drawn at once, with their true edges.
TEST(GdiExtremes, HugePensDrawTheirTrueEdges) {
  Canvas c(40, 20);
  const int big = 1000000000, half = 100000000;
  LOGBRUSH lb{BS_SOLID, RGB(0, 0, 0), 0};
  {
    // The lower edge of a pen 2e8 wide runs along y = 10: rows 0..9 only.
    Selected pen(c.dc(), ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_FLAT, 2 * half, &lb, 0, nullptr));
    MoveToEx(c.dc(), -big, 10 - half, nullptr);
    ASSERT_TRUE(LineTo(c.dc(), big, 10 - half));
    EXPECT_EQ(c.CountBlack(0, 0, 40, 10), 400);
    EXPECT_EQ(c.CountBlack(0, 10, 40, 20), 0);
    // Its left end, flat, at x = 25 (a diagonal far off would not do: the
    // ends are exact only for flat caps).
    c.Fill(0xFF);
    MoveToEx(c.dc(), 25, 10 - half, nullptr);
    ASSERT_TRUE(LineTo(c.dc(), big, 10 - half));
    EXPECT_EQ(c.CountBlack(25, 0, 40, 10), 150);
    EXPECT_EQ(c.CountBlack(0, 0, 25, 20) + c.CountBlack(25, 10, 40, 20), 0);
  }
  {
    // Many vertices, round joins, the surface deep inside the stroke; under
    // R2_NOT every pixel is inverted once, however many pieces cover it.
    c.Fill(0xFF);
    Selected pen(c.dc(), ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_ROUND | PS_JOIN_ROUND, 2 * half, &lb, 0, nullptr));
    std::vector<POINT> zigzag;
    for (int i = 0; i < 4000; ++i) zigzag.push_back({i % 2 ? 30 : -30, i * 7 % 50 - 20});
    SetROP2(c.dc(), R2_NOT);
    ASSERT_TRUE(Polyline(c.dc(), zigzag.data(), static_cast<int>(zigzag.size())));
    EXPECT_EQ(c.CountBlack(0, 0, 40, 20), 800);
    SetROP2(c.dc(), R2_COPYPEN);
    // Only the clip is touched.
    c.Fill(0xFF);
    IntersectClipRect(c.dc(), 5, 5, 10, 8);
    ASSERT_TRUE(Polyline(c.dc(), zigzag.data(), static_cast<int>(zigzag.size())));
    EXPECT_EQ(c.CountBlack(5, 5, 10, 8), 15);
    EXPECT_EQ(c.CountBlack(0, 0, 40, 20), 15);
    SelectClipRgn(c.dc(), nullptr);
  }
  {
    // A round cap 1e8 in radius whose edge crosses the surface at 50
    // degrees from its centre: pixels on each side of the true circle.
    c.Fill(0xFF);
    const double radius = half, cx = 20 - 64278761.0, cy = 10 - 76604444.0;
    Selected pen(c.dc(), ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_ROUND, 2 * half, &lb, 0, nullptr));
    MoveToEx(c.dc(), static_cast<int>(cx), static_cast<int>(cy), nullptr);
    ASSERT_TRUE(LineTo(c.dc(), static_cast<int>(cx) - 1, static_cast<int>(cy)));
    int wrong = 0, black = 0, white = 0;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 40; ++x) {
        double d = std::hypot(x - cx, y - cy) - radius;
        if (d < -0.25) {
          ++black;
          wrong += !c.Black(x, y);
        } else if (d > 0.25) {
          ++white;
          wrong += c.Black(x, y);
        }
      }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(black, 100);
    EXPECT_GT(white, 100);
  }
  {
    // Dashes one unit long on a pen 2e8 wide: they overlap each other's
    // width and caps, and the stroke is drawn solid.
    c.Fill(0xFF);
    const DWORD style[] = {1, 1};
    Selected pen(c.dc(), ExtCreatePen(PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_ROUND, 2 * half, &lb, 2, style));
    MoveToEx(c.dc(), -big, -big, nullptr);
    ASSERT_TRUE(LineTo(c.dc(), big, big));
    EXPECT_EQ(c.CountBlack(0, 0, 40, 20), 800);
  }
}

TEST(GdiExtremes, WidePenDashesKeepTheirGaps) {
  // Dashes 3 wide and gaps 1 wide (pen widths) of an 8-pixel flat pen:
  // 24 on, 8 off from the line's start, also when the line starts far off
  // the surface (the pattern runs on from there).
  Canvas c(64, 20);
  LOGBRUSH lb{BS_SOLID, RGB(0, 0, 0), 0};
  Selected pen(c.dc(), ExtCreatePen(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT, 8, &lb, 0, nullptr));
  MoveToEx(c.dc(), -32 * 1000, 10, nullptr);
  ASSERT_TRUE(LineTo(c.dc(), 1000, 10));
  EXPECT_EQ(c.Text(10), std::string(24, '#') + std::string(8, '.') + std::string(24, '#') + std::string(8, '.'));
  EXPECT_EQ(c.CountBlack(0, 6, 64, 14), 8 * 48);
  EXPECT_EQ(c.CountBlack(0, 0, 64, 6) + c.CountBlack(0, 14, 64, 20), 0);
}

}  // namespace
