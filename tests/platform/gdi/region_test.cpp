// Regions: combination modes, the banded form GetRegionData returns,
// polygon and ellipse regions.
#include <windows.h>

#include <vector>

#include "tw_test.h"

namespace {

std::vector<RECT> rectsOf(HRGN rgn) {
  DWORD size = GetRegionData(rgn, 0, nullptr);
  std::vector<BYTE> data(size);
  EXPECT_EQ(GetRegionData(rgn, size, reinterpret_cast<RGNDATA*>(data.data())), size);
  auto* rd = reinterpret_cast<RGNDATA*>(data.data());
  EXPECT_EQ(rd->rdh.iType, static_cast<DWORD>(RDH_RECTANGLES));
  auto* r = reinterpret_cast<RECT*>(rd->Buffer);
  return {r, r + rd->rdh.nCount};
}

bool same(const RECT& a, LONG l, LONG t, LONG r, LONG b) {
  return a.left == l && a.top == t && a.right == r && a.bottom == b;
}

TEST(GdiRegions, CombineModes) {
  twtest::LeakGuard guard;
  HRGN a = CreateRectRgn(0, 0, 4, 4), b = CreateRectRgn(2, 2, 6, 6), out = CreateRectRgn(0, 0, 0, 0);
  ASSERT_EQ(CombineRgn(out, a, b, RGN_AND), SIMPLEREGION);
  auto r = rectsOf(out);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(same(r[0], 2, 2, 4, 4));

  ASSERT_EQ(CombineRgn(out, a, b, RGN_OR), COMPLEXREGION);
  r = rectsOf(out);  // bands: [0,2) 0..4, [2,4) 0..6, [4,6) 2..6
  ASSERT_EQ(r.size(), 3u);
  EXPECT_TRUE(same(r[0], 0, 0, 4, 2));
  EXPECT_TRUE(same(r[1], 0, 2, 6, 4));
  EXPECT_TRUE(same(r[2], 2, 4, 6, 6));

  ASSERT_EQ(CombineRgn(out, a, b, RGN_XOR), COMPLEXREGION);
  r = rectsOf(out);
  ASSERT_EQ(r.size(), 4u);
  EXPECT_TRUE(same(r[1], 0, 2, 2, 4));
  EXPECT_TRUE(same(r[2], 4, 2, 6, 4));
  EXPECT_FALSE(PtInRegion(out, 3, 3));
  EXPECT_TRUE(PtInRegion(out, 5, 3));

  ASSERT_EQ(CombineRgn(out, a, b, RGN_DIFF), COMPLEXREGION);
  r = rectsOf(out);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_TRUE(same(r[0], 0, 0, 4, 2));
  EXPECT_TRUE(same(r[1], 0, 2, 2, 4));

  ASSERT_EQ(CombineRgn(out, b, nullptr, RGN_COPY), SIMPLEREGION);
  EXPECT_TRUE(EqualRgn(out, b));
  ASSERT_EQ(CombineRgn(out, a, a, RGN_DIFF), NULLREGION);
  EXPECT_EQ(CombineRgn(out, a, b, 9), ERROR);
  for (HRGN h : {a, b, out}) DeleteObject(h);
}

TEST(GdiRegions, BoxOffsetAndQueries) {
  HRGN r = CreateRectRgn(5, 6, 1, 2);  // normalised
  RECT box;
  ASSERT_EQ(GetRgnBox(r, &box), SIMPLEREGION);
  EXPECT_TRUE(same(box, 1, 2, 5, 6));
  ASSERT_EQ(OffsetRgn(r, 10, -2), SIMPLEREGION);
  GetRgnBox(r, &box);
  EXPECT_TRUE(same(box, 11, 0, 15, 4));
  EXPECT_TRUE(PtInRegion(r, 11, 0));
  EXPECT_FALSE(PtInRegion(r, 15, 0));  // right edge excluded
  RECT probe{14, 3, 20, 20};
  EXPECT_TRUE(RectInRegion(r, &probe));
  RECT away{15, 0, 20, 20};
  EXPECT_FALSE(RectInRegion(r, &away));
  ASSERT_TRUE(SetRectRgn(r, 0, 0, 0, 0));
  EXPECT_EQ(GetRgnBox(r, &box), NULLREGION);
  DeleteObject(r);
}

TEST(GdiRegions, PolygonEllipseAndRoundTrip) {
  POINT tri[] = {{0, 0}, {4, 0}, {0, 4}};
  HRGN t = CreatePolygonRgn(tri, 3, ALTERNATE);
  auto r = rectsOf(t);  // row y covers 0 .. 4 - y (right edge excluded)
  ASSERT_EQ(r.size(), 4u);
  for (int y = 0; y < 4; ++y) EXPECT_TRUE(same(r[y], 0, y, 4 - y, y + 1)) << y;
  HRGN e = CreateEllipticRgn(0, 0, 10, 6);
  RECT box;
  GetRgnBox(e, &box);
  EXPECT_TRUE(same(box, 0, 0, 10, 6));
  EXPECT_FALSE(PtInRegion(e, 0, 0));
  EXPECT_TRUE(PtInRegion(e, 5, 3));
  // RGNDATA back into a region, moved by a transform.
  DWORD size = GetRegionData(t, 0, nullptr);
  std::vector<BYTE> data(size);
  GetRegionData(t, size, reinterpret_cast<RGNDATA*>(data.data()));
  XFORM shift{1, 0, 0, 1, 100, 0};
  HRGN moved = ExtCreateRegion(&shift, size, reinterpret_cast<RGNDATA*>(data.data()));
  ASSERT_NE(moved, nullptr);
  OffsetRgn(t, 100, 0);
  EXPECT_TRUE(EqualRgn(moved, t));
  EXPECT_EQ(ExtCreateRegion(nullptr, 8, reinterpret_cast<RGNDATA*>(data.data())), nullptr);  // too short
  EXPECT_EQ(CreatePolygonRgn(tri, 3, 7), nullptr);
  for (HRGN h : {t, e, moved}) DeleteObject(h);
}

TEST(GdiRegions, PaintingRegions) {
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO bmi{{sizeof(BITMAPINFOHEADER), 4, -1, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {}};
  BYTE* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bmp);
  HRGN rgn = CreateRectRgn(1, 0, 3, 1);
  ASSERT_TRUE(FillRgn(dc, rgn, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
  EXPECT_EQ(bits[0], 0);     // FillRgn of a white page: pixel 0 untouched (still 0: a fresh section)
  ASSERT_TRUE(InvertRgn(dc, rgn));
  EXPECT_EQ(bits[3], 0xFF);
  EXPECT_EQ(bits[9], 0x00);
  EXPECT_FALSE(FillRgn(dc, rgn, reinterpret_cast<HBRUSH>(rgn)));
  SelectObject(dc, old);
  DeleteObject(rgn);
  DeleteObject(bmp);
  DeleteDC(dc);
}

}  // namespace
