// The choices written down in docs/gdi.md ("Decisions") that no other test
// pins: sampling when stretching, arcs under mirroring, the alpha byte of
// blits, landscape resolutions, compressed DIBs.
#include <windows.h>

#include <cstring>

#include "gdi_test_util.h"
#include "tw_test.h"

using gditest::Canvas;

namespace {

TEST(GdiDecisions, ColorOnColorTakesThePixelUnderTheCentre) {
  // 4 source pixels onto 2: destination pixel d takes source (2d + 1) * 4 / 4 = 1, 3.
  BITMAPINFO bmi{{sizeof(BITMAPINFOHEADER), 4, -1, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, {}};
  BYTE bits[12] = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};  // red, green, blue, white
  Canvas c(2, 1);
  SetStretchBltMode(c.dc(), COLORONCOLOR);
  StretchDIBits(c.dc(), 0, 0, 2, 1, 0, 0, 4, 1, bits, &bmi, DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(c.Pixel(0, 0), 0x00FF00u);
  EXPECT_EQ(c.Pixel(1, 0), 0xFFFFFFu);
  // Enlarging repeats each source pixel.
  Canvas e(8, 1);
  StretchDIBits(e.dc(), 0, 0, 8, 1, 0, 0, 4, 1, bits, &bmi, DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(e.Pixel(0, 0), 0xFF0000u);
  EXPECT_EQ(e.Pixel(1, 0), 0xFF0000u);
  EXPECT_EQ(e.Pixel(2, 0), 0x00FF00u);
  EXPECT_EQ(e.Pixel(7, 0), 0xFFFFFFu);
}

TEST(GdiDecisions, AdvancedModeArcsTurnWithAMirroringTransform) {
  // Counter-clockwise from the right radial to the left one is the upper
  // half; mirrored top to bottom in GM_ADVANCED it lands in the lower half.
  Canvas c(12, 12);
  SelectObject(c.dc(), GetStockObject(BLACK_BRUSH));
  SetGraphicsMode(c.dc(), GM_ADVANCED);
  XFORM flip{1, 0, 0, -1, 0, 11};
  ASSERT_TRUE(SetWorldTransform(c.dc(), &flip));
  ASSERT_TRUE(Pie(c.dc(), 0, 0, 11, 11, 11, 5, 0, 5));
  EXPECT_EQ(c.CountBlack(0, 0, 12, 4), 0);
  EXPECT_GT(c.CountBlack(0, 7, 12, 12), 20);
}

TEST(GdiDecisions, BlitsClearAlphaExceptPlainCopiesOf32BitPixels) {
  Canvas src(1, 1, 32), dst(2, 1, 32);
  DWORD pixel = 0x80102030;
  std::memcpy(src.bits(), &pixel, 4);
  ASSERT_TRUE(BitBlt(dst.dc(), 0, 0, 1, 1, src.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(dst.Pixel(0, 0), 0x80102030u);
  ASSERT_TRUE(BitBlt(dst.dc(), 1, 0, 1, 1, src.dc(), 0, 0, SRCPAINT));
  EXPECT_EQ(dst.Pixel(1, 0), 0x00FFFFFFu);  // white | anything, alpha cleared
  ASSERT_TRUE(PatBlt(dst.dc(), 0, 0, 1, 1, WHITENESS));
  EXPECT_EQ(dst.Pixel(0, 0), 0x00FFFFFFu);
}

TEST(GdiDecisions, LandscapePrinterTurnsPaperAndResolution) {
  DEVMODEW dm{};
  dm.dmSize = sizeof(dm);
  dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_PRINTQUALITY | DM_YRESOLUTION;
  dm.dmOrientation = DMORIENT_LANDSCAPE;
  dm.dmPaperSize = DMPAPER_LETTER;
  dm.dmPrintQuality = 204;
  dm.dmYResolution = 98;
  HDC dc = CreateDCW(u"WINSPOOL", u"Fax", nullptr, &dm);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 98);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 204);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 1078);  // 279.4 mm at 98 DPI
  EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 1734);  // 215.9 mm at 204 DPI
  EXPECT_EQ(GetDeviceCaps(dc, HORZSIZE), 279);
  DeleteDC(dc);
}

TEST(GdiDecisions, JpegAndPngDibsAreRefusedOnRasterDcs) {
  Canvas c(4, 4);
  BITMAPINFO bmi{{sizeof(BITMAPINFOHEADER), 4, 4, 1, 0, BI_JPEG, 16, 0, 0, 0, 0}, {}};
  const BYTE jpeg[16] = {0xFF, 0xD8, 0xFF};
  EXPECT_EQ(StretchDIBits(c.dc(), 0, 0, 4, 4, 0, 0, 4, 4, jpeg, &bmi, DIB_RGB_COLORS, SRCCOPY), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  bmi.bmiHeader.biCompression = BI_PNG;
  EXPECT_EQ(StretchDIBits(c.dc(), 0, 0, 4, 4, 0, 0, 4, 4, jpeg, &bmi, DIB_RGB_COLORS, SRCCOPY), 0);
  EXPECT_EQ(c.CountBlack(0, 0, 4, 4), 0);
}

TEST(GdiDecisions, GeometricDashesAreMeasuredInPenWidths) {
  // PS_DASH at width 2 with flat caps: dash 6, gap 2.
  Canvas c(24, 5);
  LOGBRUSH lb{BS_SOLID, RGB(0, 0, 0), 0};
  HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT, 2, &lb, 0, nullptr);
  HGDIOBJ old = SelectObject(c.dc(), pen);
  MoveToEx(c.dc(), 0, 2, nullptr);
  LineTo(c.dc(), 24, 2);
  SelectObject(c.dc(), old);
  DeleteObject(pen);
  EXPECT_EQ(c.Text(1), "######..######..######..");
  EXPECT_EQ(c.Text(2), "######..######..######..");
  EXPECT_EQ(c.Text(3), "........................");
}

}  // namespace
