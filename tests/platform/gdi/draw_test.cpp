// GDI's pixel rules for lines and filled shapes, derived from the documented
// behaviour: lines leave out their last pixel, rectangles their right and
// bottom edges (GM_COMPATIBLE), PS_NULL shapes are one pixel smaller,
// PS_INSIDEFRAME keeps the pen inside the box, fills and lines write 0 into
// the alpha byte of 32-bit pixels.
#include <windows.h>

#include "gdi_test_util.h"
#include "tw_test.h"

using gditest::Canvas;
using gditest::Selected;
using Picture = std::vector<std::string>;

namespace {

TEST(GdiLines, LastPixelIsNotDrawn) {
  twtest::LeakGuard guard;
  Canvas c(8, 6);
  MoveToEx(c.dc(), 1, 1, nullptr);
  ASSERT_TRUE(LineTo(c.dc(), 5, 1));  // horizontal: 1..4
  MoveToEx(c.dc(), 6, 0, nullptr);
  ASSERT_TRUE(LineTo(c.dc(), 6, 4));  // vertical: rows 0..3
  MoveToEx(c.dc(), 0, 2, nullptr);
  ASSERT_TRUE(LineTo(c.dc(), 3, 5));  // diagonal: (0,2) (1,3) (2,4)
  EXPECT_EQ(c.Picture(), (Picture{"......#.",  //
                                  ".####.#.",  //
                                  "#.....#.",  //
                                  ".#....#.",  //
                                  "..#.....",  //
                                  "........"}));
  POINT cp;
  ASSERT_TRUE(GetCurrentPositionEx(c.dc(), &cp));
  EXPECT_EQ(cp.x, 3);
  EXPECT_EQ(cp.y, 5);
}

TEST(GdiLines, PolylineJoinsWithoutGapsAndExcludesOnlyTheEnd) {
  Canvas c(6, 5);
  POINT pts[] = {{0, 0}, {4, 0}, {4, 3}, {0, 3}};
  ASSERT_TRUE(Polyline(c.dc(), pts, 4));
  // Each segment leaves out its end, which the next segment starts with.
  EXPECT_EQ(c.Picture(), (Picture{"#####.", "....#.", "....#.", ".####.", "......"}));
  EXPECT_FALSE(Polyline(c.dc(), pts, 1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(GdiLines, CosmeticDotsAndBackgroundMode) {
  Canvas c(12, 3);
  {
    Selected pen(c.dc(), CreatePen(PS_DOT, 0, RGB(0, 0, 0)));
    SetBkMode(c.dc(), TRANSPARENT);
    MoveToEx(c.dc(), 0, 0, nullptr);
    LineTo(c.dc(), 12, 0);
    // In OPAQUE mode the gaps take the background colour.
    SetBkMode(c.dc(), OPAQUE);
    SetBkColor(c.dc(), RGB(0, 0, 0));
    MoveToEx(c.dc(), 0, 2, nullptr);
    LineTo(c.dc(), 12, 2);
  }
  EXPECT_EQ(c.Text(0), "###...###...");
  EXPECT_EQ(c.Text(2), "############");
}

TEST(GdiLines, Rop2CombinesPenAndDestination) {
  Canvas c(6, 3);
  SetROP2(c.dc(), R2_NOT);
  MoveToEx(c.dc(), 0, 1, nullptr);
  LineTo(c.dc(), 4, 1);
  EXPECT_EQ(c.Text(1), "####..");
  MoveToEx(c.dc(), 2, 1, nullptr);
  LineTo(c.dc(), 6, 1);  // inverting again restores white
  EXPECT_EQ(c.Text(1), "##..##");
  {
    Selected pen(c.dc(), CreatePen(PS_SOLID, 0, RGB(255, 0, 0)));
    SetROP2(c.dc(), R2_MASKPEN);  // white & red = red; black & red = black
    MoveToEx(c.dc(), 0, 1, nullptr);
    LineTo(c.dc(), 6, 1);
  }
  EXPECT_EQ(c.Pixel(0, 1), 0x000000u);
  EXPECT_EQ(c.Pixel(2, 1), 0xFF0000u);
}

TEST(GdiLines, WidePenCoversItsWidthAroundTheLine) {
  Canvas c(12, 9);
  LOGBRUSH lb{BS_SOLID, RGB(0, 0, 0), 0};
  Selected pen(c.dc(), ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT, 3, &lb, 0, nullptr));
  MoveToEx(c.dc(), 2, 4, nullptr);
  LineTo(c.dc(), 10, 4);
  EXPECT_EQ(c.Text(2), "............");
  EXPECT_EQ(c.Text(3), "..########..");
  EXPECT_EQ(c.Text(4), "..########..");
  EXPECT_EQ(c.Text(5), "..########..");
  EXPECT_EQ(c.Text(6), "............");
}

TEST(GdiShapes, RectangleExcludesRightAndBottomEdges) {
  Canvas c(8, 7);
  ASSERT_TRUE(Rectangle(c.dc(), 1, 1, 6, 5));
  EXPECT_EQ(c.Picture(), (Picture{"........",  //
                                  ".#####..",  //
                                  ".#...#..",  //
                                  ".#...#..",  //
                                  ".#####..",  //
                                  "........",  //
                                  "........"}));
}

TEST(GdiShapes, NullPenRectangleIsOnePixelSmaller) {
  Canvas c(8, 7);
  SelectObject(c.dc(), GetStockObject(NULL_PEN));
  SelectObject(c.dc(), GetStockObject(BLACK_BRUSH));
  ASSERT_TRUE(Rectangle(c.dc(), 1, 1, 6, 5));
  EXPECT_EQ(c.Picture(), (Picture{"........",  //
                                  ".####...",  //
                                  ".####...",  //
                                  ".####...",  //
                                  "........",  //
                                  "........",  //
                                  "........"}));
}

TEST(GdiShapes, AdvancedModeIncludesRightAndBottomEdges) {
  Canvas c(8, 7);
  SetGraphicsMode(c.dc(), GM_ADVANCED);
  ASSERT_TRUE(Rectangle(c.dc(), 1, 1, 6, 5));
  EXPECT_EQ(c.Text(1), ".######.");
  EXPECT_EQ(c.Text(5), ".######.");
  EXPECT_EQ(c.Text(3), ".#....#.");
  EXPECT_EQ(c.Text(6), "........");
}

TEST(GdiShapes, InsideFramePenStaysInsideTheBox) {
  // A cell [5, 9) framed as pages per sheet do: Rectangle from cell - B to
  // cell + B with a PS_INSIDEFRAME pen of width B paints B pixels outside
  // the cell and nothing inside or beyond.
  Canvas c(14, 14);
  const int B = 3;
  Selected pen(c.dc(), CreatePen(PS_INSIDEFRAME, B, RGB(0, 0, 0)));
  ASSERT_TRUE(Rectangle(c.dc(), 5 - B, 5 - B, 9 + B, 9 + B));
  for (int y = 5; y < 9; ++y) EXPECT_EQ(c.Text(y), "..###....###..") << y;
  for (int x = 5; x < 9; ++x) {
    for (int y = 2; y < 5; ++y) EXPECT_TRUE(c.Black(x, y)) << x << "," << y;
    for (int y = 5; y < 9; ++y) EXPECT_FALSE(c.Black(x, y)) << x << "," << y;
    for (int y = 9; y < 12; ++y) EXPECT_TRUE(c.Black(x, y)) << x << "," << y;
  }
  EXPECT_EQ(c.Text(1), "..............");
  EXPECT_EQ(c.Text(12), "..............");
  EXPECT_EQ(c.CountBlack(0, 0, 2, 14) + c.CountBlack(12, 0, 14, 14), 0);
}

TEST(GdiShapes, PolygonFillsTopLeftRuleAndOutlineCoversAllEdges) {
  Canvas c(8, 7);
  POINT square[] = {{1, 1}, {5, 1}, {5, 4}, {1, 4}};
  {
    SelectObject(c.dc(), GetStockObject(NULL_PEN));
    SelectObject(c.dc(), GetStockObject(BLACK_BRUSH));
    ASSERT_TRUE(Polygon(c.dc(), square, 4));
  }
  EXPECT_EQ(c.Picture(), (Picture{"........", ".####...", ".####...", ".####...", "........", "........",
                                  "........"}));
  c.Fill(0xFF);
  SelectObject(c.dc(), GetStockObject(BLACK_PEN));
  SelectObject(c.dc(), GetStockObject(WHITE_BRUSH));
  ASSERT_TRUE(Polygon(c.dc(), square, 4));
  EXPECT_EQ(c.Picture(), (Picture{"........", ".#####..", ".#...#..", ".#...#..", ".#####..", "........",
                                  "........"}));
}

TEST(GdiShapes, PolyFillModes) {
  // Two overlapping squares drawn the same way round: ALTERNATE leaves the
  // overlap empty, WINDING fills it.
  POINT pts[] = {{0, 0}, {6, 0}, {6, 6}, {0, 6}, {2, 2}, {8, 2}, {8, 8}, {2, 8}};
  INT counts[] = {4, 4};
  for (int mode : {ALTERNATE, WINDING}) {
    Canvas c(9, 9);
    SelectObject(c.dc(), GetStockObject(NULL_PEN));
    SelectObject(c.dc(), GetStockObject(BLACK_BRUSH));
    SetPolyFillMode(c.dc(), mode);
    ASSERT_TRUE(PolyPolygon(c.dc(), pts, counts, 2));
    EXPECT_TRUE(c.Black(1, 1));
    EXPECT_TRUE(c.Black(7, 7));
    EXPECT_EQ(c.Black(3, 3), mode == WINDING) << mode;
    EXPECT_FALSE(c.Black(7, 1));
  }
}

TEST(GdiShapes, EllipseTouchesItsBoxAndIsSymmetric) {
  Canvas c(12, 12);
  SelectObject(c.dc(), GetStockObject(BLACK_BRUSH));
  ASSERT_TRUE(Ellipse(c.dc(), 1, 1, 11, 9));  // pixels 1..10 x 1..8
  EXPECT_GT(c.CountBlack(1, 1, 11, 2), 0);    // top row touched
  EXPECT_GT(c.CountBlack(1, 8, 11, 9), 0);    // bottom row
  EXPECT_GT(c.CountBlack(1, 1, 2, 9), 0);     // left column
  EXPECT_GT(c.CountBlack(10, 1, 11, 9), 0);   // right column
  EXPECT_EQ(c.CountBlack(0, 0, 12, 1) + c.CountBlack(0, 9, 12, 12), 0);
  EXPECT_EQ(c.CountBlack(0, 0, 1, 12) + c.CountBlack(11, 0, 12, 12), 0);
  EXPECT_FALSE(c.Black(1, 1));  // corners of the box stay outside
  EXPECT_FALSE(c.Black(10, 8));
  for (int y = 1; y <= 8; ++y)
    for (int x = 1; x <= 10; ++x) EXPECT_EQ(c.Black(x, y), c.Black(11 - x, 9 - y)) << x << "," << y;
}

TEST(GdiShapes, BrushNeverPaintsUnderThePen) {
  // With R2_NOT a pixel painted twice would come back white.
  Canvas c(8, 8);
  SelectObject(c.dc(), GetStockObject(BLACK_BRUSH));
  SetROP2(c.dc(), R2_NOT);
  ASSERT_TRUE(Rectangle(c.dc(), 1, 1, 7, 7));
  EXPECT_EQ(c.CountBlack(1, 1, 7, 7), 36);
}

TEST(GdiShapes, FillsAndLinesWriteZeroAlpha) {
  Canvas c(6, 4, 32);  // every byte 0xFF: alpha 255
  MoveToEx(c.dc(), 0, 0, nullptr);
  LineTo(c.dc(), 3, 0);
  RECT r{0, 2, 2, 4};
  FillRect(c.dc(), &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  EXPECT_EQ(c.Pixel(0, 0), 0x00000000u);
  EXPECT_EQ(c.Pixel(2, 0), 0x00000000u);
  EXPECT_EQ(c.Pixel(3, 0), 0xFFFFFFFFu);  // untouched
  EXPECT_EQ(c.Pixel(1, 3), 0x00808080u);
  EXPECT_EQ(c.Pixel(2, 3), 0xFFFFFFFFu);
}

TEST(GdiShapes, MonochromeTargetsTakeTheNearestColour) {
  twtest::LeakGuard guard;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP mono = CreateBitmap(8, 2, 1, 1, nullptr);  // all 0: black
  HGDIOBJ old = SelectObject(dc, mono);
  PatBlt(dc, 0, 0, 8, 2, WHITENESS);
  HPEN red = CreatePen(PS_SOLID, 0, RGB(255, 0, 0)), yellow = CreatePen(PS_SOLID, 0, RGB(255, 255, 0));
  SelectObject(dc, red);
  MoveToEx(dc, 0, 0, nullptr);
  LineTo(dc, 4, 0);
  SelectObject(dc, GetStockObject(WHITE_PEN));
  PatBlt(dc, 0, 1, 8, 1, BLACKNESS);
  SelectObject(dc, yellow);
  MoveToEx(dc, 0, 1, nullptr);
  LineTo(dc, 4, 1);
  BYTE bits[4] = {};
  ASSERT_EQ(GetBitmapBits(mono, sizeof(bits), bits), 4);
  EXPECT_EQ(bits[0], 0x0F);  // red became black on row 0
  EXPECT_EQ(bits[2], 0xF0);  // yellow became white on row 1
  SelectObject(dc, old);
  DeleteObject(red);
  DeleteObject(yellow);
  DeleteObject(mono);
  DeleteDC(dc);
}

TEST(GdiShapes, PieAndChordStayInTheirHalf) {
  Canvas c(12, 12);
  SelectObject(c.dc(), GetStockObject(BLACK_BRUSH));
  // The upper half: counterclockwise from the right radial to the left one.
  ASSERT_TRUE(Pie(c.dc(), 0, 0, 12, 12, 12, 6, 0, 6));
  EXPECT_GT(c.CountBlack(0, 0, 12, 5), 20);
  EXPECT_EQ(c.CountBlack(0, 7, 12, 12), 0);
  c.Fill(0xFF);
  SetArcDirection(c.dc(), AD_CLOCKWISE);  // now the lower half
  ASSERT_TRUE(Chord(c.dc(), 0, 0, 12, 12, 12, 6, 0, 6));
  EXPECT_EQ(c.CountBlack(0, 0, 12, 5), 0);
  EXPECT_GT(c.CountBlack(0, 7, 12, 12), 20);
}

TEST(GdiPaths, FillPathMatchesPolygonAndClipPathClips) {
  Canvas a(10, 10), b(10, 10);
  POINT tri[] = {{1, 1}, {8, 1}, {4, 8}};
  SelectObject(a.dc(), GetStockObject(NULL_PEN));
  SelectObject(a.dc(), GetStockObject(BLACK_BRUSH));
  Polygon(a.dc(), tri, 3);
  SelectObject(b.dc(), GetStockObject(BLACK_BRUSH));
  ASSERT_TRUE(BeginPath(b.dc()));
  MoveToEx(b.dc(), 1, 1, nullptr);
  LineTo(b.dc(), 8, 1);
  LineTo(b.dc(), 4, 8);
  ASSERT_TRUE(CloseFigure(b.dc()));
  ASSERT_TRUE(EndPath(b.dc()));
  EXPECT_EQ(GetPath(b.dc(), nullptr, nullptr, 0), 3);
  ASSERT_TRUE(FillPath(b.dc()));
  EXPECT_EQ(a.Picture(), b.Picture());
  EXPECT_FALSE(FillPath(b.dc()));  // the path was used up

  // The same triangle as a clip path: a black page shows only inside it.
  Canvas d(10, 10);
  BeginPath(d.dc());
  Polygon(d.dc(), tri, 3);
  EndPath(d.dc());
  ASSERT_TRUE(SelectClipPath(d.dc(), RGN_COPY));
  PatBlt(d.dc(), 0, 0, 10, 10, BLACKNESS);
  EXPECT_EQ(d.Picture(), a.Picture());
}

TEST(GdiPaths, StrokeAndFillAndBadStates) {
  Canvas c(8, 8);
  EXPECT_FALSE(EndPath(c.dc()));
  EXPECT_FALSE(StrokePath(c.dc()));
  BeginPath(c.dc());
  Rectangle(c.dc(), 1, 1, 6, 6);
  EXPECT_FALSE(FillPath(c.dc()));  // still open
  EndPath(c.dc());
  SelectObject(c.dc(), GetStockObject(WHITE_BRUSH));
  ASSERT_TRUE(StrokeAndFillPath(c.dc()));
  EXPECT_EQ(c.Text(1), ".#####..");
  EXPECT_EQ(c.Text(3), ".#...#..");
  EXPECT_EQ(c.Text(5), ".#####..");
}

TEST(GdiClipping, EveryPrimitiveIsClipped) {
  Canvas c(10, 10);
  ASSERT_EQ(IntersectClipRect(c.dc(), 2, 2, 8, 8), SIMPLEREGION);
  ASSERT_EQ(ExcludeClipRect(c.dc(), 4, 4, 6, 6), COMPLEXREGION);
  PatBlt(c.dc(), 0, 0, 10, 10, BLACKNESS);
  EXPECT_EQ(c.Text(1), "..........");
  EXPECT_EQ(c.Text(2), "..######..");
  EXPECT_EQ(c.Text(4), "..##..##..");
  c.Fill(0xFF);
  MoveToEx(c.dc(), 0, 5, nullptr);
  LineTo(c.dc(), 10, 5);
  EXPECT_EQ(c.Text(5), "..##..##..");
  RECT box;
  EXPECT_EQ(GetClipBox(c.dc(), &box), COMPLEXREGION);
  EXPECT_EQ(box.left, 2);
  EXPECT_EQ(box.bottom, 8);
  // Removing the clip region draws everywhere again.
  ASSERT_EQ(SelectClipRgn(c.dc(), nullptr), SIMPLEREGION);
  c.Fill(0xFF);
  PatBlt(c.dc(), 0, 0, 10, 10, BLACKNESS);
  EXPECT_EQ(c.CountBlack(0, 0, 10, 10), 100);
}

TEST(GdiClipping, ClipRectanglesAreLogicalAndRegionsDevice) {
  Canvas c(10, 10);
  SetWindowOrgEx(c.dc(), 0, 5, nullptr);  // logical y 5 is device row 0
  IntersectClipRect(c.dc(), 0, 7, 10, 9);  // device rows 2..3
  PatBlt(c.dc(), 0, 5, 10, 10, BLACKNESS);
  EXPECT_EQ(c.CountBlack(0, 0, 10, 10), 20);
  EXPECT_EQ(c.CountBlack(0, 2, 10, 4), 20);
  // ExtSelectClipRgn takes device coordinates whatever the mapping.
  HRGN rgn = CreateRectRgn(0, 8, 3, 10);
  ASSERT_EQ(ExtSelectClipRgn(c.dc(), rgn, RGN_OR), COMPLEXREGION);
  DeleteObject(rgn);
  c.Fill(0xFF);
  PatBlt(c.dc(), 0, 5, 10, 10, BLACKNESS);
  EXPECT_EQ(c.CountBlack(0, 0, 10, 10), 26);
  EXPECT_TRUE(c.Black(0, 9));
  EXPECT_EQ(ExtSelectClipRgn(c.dc(), nullptr, RGN_AND), ERROR);
}

TEST(GdiClipping, MetaRegionLimitsLaterClipping) {
  Canvas c(10, 4);
  IntersectClipRect(c.dc(), 0, 0, 5, 4);
  SetMetaRgn(c.dc());
  HRGN none = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetClipRgn(c.dc(), none), 0);  // the clip moved into the meta region
  DeleteObject(none);
  // A clip that asks for more cannot widen what the meta region allows.
  HRGN wide = CreateRectRgn(3, 0, 10, 4);
  SelectClipRgn(c.dc(), wide);
  DeleteObject(wide);
  PatBlt(c.dc(), 0, 0, 10, 4, BLACKNESS);
  EXPECT_EQ(c.Text(0), "...##.....");
}

TEST(GdiPixels, SetGetPixelAndFloodFill) {
  Canvas c(6, 6);
  EXPECT_EQ(SetPixel(c.dc(), 2, 3, RGB(10, 20, 30)), RGB(10, 20, 30));
  EXPECT_EQ(GetPixel(c.dc(), 2, 3), RGB(10, 20, 30));
  EXPECT_EQ(c.Pixel(2, 3), 0x0A141Eu);
  EXPECT_EQ(GetPixel(c.dc(), 6, 0), CLR_INVALID);
  // A closed black frame; flooding the inside stops at it.
  Rectangle(c.dc(), 0, 0, 5, 5);
  SelectObject(c.dc(), GetStockObject(BLACK_BRUSH));
  c.Fill(0xFF);
  SelectObject(c.dc(), GetStockObject(WHITE_BRUSH));
  Rectangle(c.dc(), 0, 0, 5, 5);
  SelectObject(c.dc(), GetStockObject(BLACK_BRUSH));
  ASSERT_TRUE(ExtFloodFill(c.dc(), 2, 2, RGB(0, 0, 0), FLOODFILLBORDER));
  EXPECT_EQ(c.CountBlack(0, 0, 5, 5), 25);
  EXPECT_EQ(c.CountBlack(5, 0, 6, 6) + c.CountBlack(0, 5, 6, 6), 0);
}

}  // namespace
