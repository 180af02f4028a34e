// DC state: mapping modes, world transforms, SaveDC / RestoreDC.
#include <windows.h>

#include "tw_test.h"

namespace {

struct PrinterDc {
  HDC dc;
  PrinterDc() {
    DEVMODEW dm{};
    dm.dmSize = sizeof(dm);
    dm.dmFields = DM_PAPERSIZE | DM_PRINTQUALITY | DM_YRESOLUTION;
    dm.dmPaperSize = DMPAPER_LETTER;
    dm.dmPrintQuality = 300;
    dm.dmYResolution = 300;
    dc = CreateDCW(u"WINSPOOL", u"P", nullptr, &dm);
  }
  ~PrinterDc() { DeleteDC(dc); }
};

POINT toDevice(HDC dc, int x, int y) {
  POINT p{x, y};
  EXPECT_TRUE(LPtoDP(dc, &p, 1));
  return p;
}

TEST(GdiMapping, MetricAndEnglishModesAtPrinterResolution) {
  PrinterDc p;
  SetMapMode(p.dc, MM_LOMETRIC);  // 0.1 mm, y up
  POINT a = toDevice(p.dc, 254, -254);  // 1 inch right, 1 inch down
  EXPECT_EQ(a.x, 300);
  EXPECT_EQ(a.y, 300);
  SetMapMode(p.dc, MM_HIENGLISH);  // 0.001 inch
  POINT b = toDevice(p.dc, 1000, -500);
  EXPECT_EQ(b.x, 300);
  EXPECT_EQ(b.y, 150);
  SetMapMode(p.dc, MM_TWIPS);
  POINT c = toDevice(p.dc, 1440, 0);
  EXPECT_EQ(c.x, 300);
  // Window and viewport extents are ignored outside the scalable modes.
  SIZE ext;
  EXPECT_TRUE(SetWindowExtEx(p.dc, 5, 5, &ext));
  EXPECT_EQ(toDevice(p.dc, 1440, 0).x, 300);
}

TEST(GdiMapping, IsotropicKeepsUnitsSquare) {
  PrinterDc p;
  SetMapMode(p.dc, MM_ISOTROPIC);
  SetWindowExtEx(p.dc, 100, 100, nullptr);
  SetViewportExtEx(p.dc, 300, 600, nullptr);  // asks for 3 x 6
  SIZE vp;
  GetViewportExtEx(p.dc, &vp);
  EXPECT_EQ(vp.cx, 300);
  EXPECT_EQ(vp.cy, 300);  // brought down to the smaller scale
  SetMapMode(p.dc, MM_ANISOTROPIC);
  SetViewportExtEx(p.dc, 300, 600, nullptr);
  POINT a = toDevice(p.dc, 10, 10);
  EXPECT_EQ(a.x, 30);
  EXPECT_EQ(a.y, 60);
  SetWindowOrgEx(p.dc, 10, 0, nullptr);
  SetViewportOrgEx(p.dc, 5, 7, nullptr);
  a = toDevice(p.dc, 10, 10);
  EXPECT_EQ(a.x, 5);
  EXPECT_EQ(a.y, 67);
  POINT back{5, 67};
  ASSERT_TRUE(DPtoLP(p.dc, &back, 1));
  EXPECT_EQ(back.x, 10);
  EXPECT_EQ(back.y, 10);
  EXPECT_FALSE(SetWindowExtEx(p.dc, 0, 10, nullptr));
  EXPECT_FALSE(ScaleViewportExtEx(p.dc, 1, 0, 1, 1, nullptr));
  ASSERT_TRUE(ScaleViewportExtEx(p.dc, 1, 3, 1, 2, nullptr));
  GetViewportExtEx(p.dc, &vp);
  EXPECT_EQ(vp.cx, 100);
  EXPECT_EQ(vp.cy, 300);
}

TEST(GdiWorldTransform, AdvancedModeOnly) {
  HDC dc = CreateCompatibleDC(nullptr);
  XFORM scale{2, 0, 0, 3, 10, 20};
  EXPECT_FALSE(SetWorldTransform(dc, &scale));  // GM_COMPATIBLE
  ASSERT_EQ(SetGraphicsMode(dc, GM_ADVANCED), GM_COMPATIBLE);
  ASSERT_TRUE(SetWorldTransform(dc, &scale));
  POINT a = toDevice(dc, 1, 1);
  EXPECT_EQ(a.x, 12);
  EXPECT_EQ(a.y, 23);
  // Left-multiplying applies the new transform first.
  XFORM turn{0, 1, -1, 0, 0, 0};  // (x, y) -> (-y, x)
  ASSERT_TRUE(ModifyWorldTransform(dc, &turn, MWT_LEFTMULTIPLY));
  a = toDevice(dc, 1, 0);  // -> (0, 1) -> (10, 23)
  EXPECT_EQ(a.x, 10);
  EXPECT_EQ(a.y, 23);
  XFORM got{};
  ASSERT_TRUE(GetWorldTransform(dc, &got));
  EXPECT_FLOAT_EQ(got.eM12, 3);
  EXPECT_FLOAT_EQ(got.eM21, -2);
  XFORM singular{1, 1, 1, 1, 0, 0};
  EXPECT_FALSE(SetWorldTransform(dc, &singular));
  // Back to GM_COMPATIBLE only after resetting to identity.
  EXPECT_EQ(SetGraphicsMode(dc, GM_COMPATIBLE), 0);
  ASSERT_TRUE(ModifyWorldTransform(dc, nullptr, MWT_IDENTITY));
  EXPECT_EQ(SetGraphicsMode(dc, GM_COMPATIBLE), GM_ADVANCED);
  XFORM combined{};
  ASSERT_TRUE(CombineTransform(&combined, &scale, &turn));  // scale, then turn
  EXPECT_FLOAT_EQ(combined.eM11, 0);
  EXPECT_FLOAT_EQ(combined.eM12, 2);
  EXPECT_FLOAT_EQ(combined.eDx, -20);
  EXPECT_FLOAT_EQ(combined.eDy, 10);
  DeleteDC(dc);
}

TEST(GdiSaveDc, RestoresEverythingRelativeAndAbsolute) {
  twtest::LeakGuard guard;
  HDC dc = CreateCompatibleDC(nullptr);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
  EXPECT_EQ(SaveDC(dc), 1);
  SelectObject(dc, pen);
  SetTextAlign(dc, TA_BOTTOM | TA_RIGHT);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(9, 9, 9));
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowOrgEx(dc, 5, 5, nullptr);
  SetGraphicsMode(dc, GM_ADVANCED);
  XFORM x{2, 0, 0, 2, 0, 0};
  SetWorldTransform(dc, &x);
  IntersectClipRect(dc, 0, 0, 1, 1);
  MoveToEx(dc, 7, 8, nullptr);
  EXPECT_EQ(SaveDC(dc), 2);
  SetTextAlign(dc, TA_UPDATECP);
  EXPECT_EQ(SaveDC(dc), 3);
  ASSERT_TRUE(RestoreDC(dc, -1));  // back to level 2's state
  EXPECT_EQ(GetTextAlign(dc), static_cast<UINT>(TA_UPDATECP));
  ASSERT_TRUE(RestoreDC(dc, 1));  // absolute: back to the first state, dropping 2
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
  EXPECT_EQ(GetTextAlign(dc), static_cast<UINT>(TA_TOP | TA_LEFT));
  EXPECT_EQ(GetBkMode(dc), OPAQUE);
  EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
  EXPECT_EQ(GetMapMode(dc), MM_TEXT);
  EXPECT_EQ(GetGraphicsMode(dc), GM_COMPATIBLE);
  POINT p = toDevice(dc, 3, 3);
  EXPECT_EQ(p.x, 3);
  POINT cp;
  GetCurrentPositionEx(dc, &cp);
  EXPECT_EQ(cp.x, 0);
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetClipRgn(dc, rgn), 0);
  DeleteObject(rgn);
  EXPECT_FALSE(RestoreDC(dc, 1));  // that level is gone now
  EXPECT_FALSE(RestoreDC(dc, 0));
  EXPECT_FALSE(RestoreDC(dc, -1));
  DeleteObject(pen);
  DeleteDC(dc);
}

TEST(GdiAttributes, SettersReturnPreviousAndRejectBadValues) {
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SetBkMode(dc, 7), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(SetROP2(dc, R2_XORPEN), R2_COPYPEN);
  EXPECT_EQ(SetROP2(dc, 0), 0);
  EXPECT_EQ(SetStretchBltMode(dc, HALFTONE), BLACKONWHITE);
  EXPECT_EQ(SetPolyFillMode(dc, WINDING), ALTERNATE);
  EXPECT_EQ(SetBkColor(dc, RGB(1, 1, 1)), RGB(255, 255, 255));
  EXPECT_EQ(SetMapMode(dc, 99), 0);
  FLOAT old = 0;
  EXPECT_TRUE(SetMiterLimit(dc, 4, &old));
  EXPECT_FLOAT_EQ(old, 10);
  EXPECT_FALSE(SetMiterLimit(dc, 0.5f, nullptr));
  EXPECT_EQ(SetBkColor(reinterpret_cast<HDC>(0x42), 0), CLR_INVALID);
  DeleteDC(dc);
}

}  // namespace
