// Device contexts made from printer settings, the screen, memory DCs, and
// the device capabilities pages rely on.
#include <windows.h>

#include <cstring>

#include "tw/gdi.h"
#include "tw_test.h"

namespace {

DEVMODEW devmode(short paper, short orientation, short xdpi, short ydpi, DWORD bits = 24) {
  DEVMODEW dm{};
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmSpecVersion = DM_SPECVERSION;
  dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_PRINTQUALITY | DM_YRESOLUTION | DM_BITSPERPEL;
  dm.dmOrientation = orientation;
  dm.dmPaperSize = paper;
  dm.dmPrintQuality = xdpi;
  dm.dmYResolution = ydpi;
  dm.dmScale = 100;
  dm.dmBitsPerPel = bits;
  return dm;
}

struct Caps {
  int horzRes, vertRes, horzSize, vertSize, dpiX, dpiY, bits;
};

Caps capsOf(const DEVMODEW& dm) {
  HDC dc = CreateDCW(u"WINSPOOL", u"Tarnwick Printer", nullptr, &dm);
  EXPECT_NE(dc, nullptr);
  Caps c{GetDeviceCaps(dc, HORZRES),   GetDeviceCaps(dc, VERTRES),    GetDeviceCaps(dc, HORZSIZE),
         GetDeviceCaps(dc, VERTSIZE),  GetDeviceCaps(dc, LOGPIXELSX), GetDeviceCaps(dc, LOGPIXELSY),
         GetDeviceCaps(dc, BITSPIXEL)};
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALWIDTH), c.horzRes);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALHEIGHT), c.vertRes);
  EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETX), 0);
  EXPECT_EQ(GetDeviceCaps(dc, TECHNOLOGY), DT_RASPRINTER);
  EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_DC));
  DeleteDC(dc);
  return c;
}

TEST(GdiPrinterDc, LetterAt300DpiIs2550By3300) {
  twtest::LeakGuard guard;
  Caps c = capsOf(devmode(DMPAPER_LETTER, DMORIENT_PORTRAIT, 300, 300));
  EXPECT_EQ(c.horzRes, 2550);
  EXPECT_EQ(c.vertRes, 3300);
  EXPECT_EQ(c.horzSize, 216);  // 215.9 mm
  EXPECT_EQ(c.vertSize, 279);  // 279.4 mm
  EXPECT_EQ(c.dpiX, 300);
  EXPECT_EQ(c.dpiY, 300);
  EXPECT_EQ(c.bits, 24);
}

TEST(GdiPrinterDc, OrientationScaleResolutionCodesAndDepth) {
  // A4 landscape at 600 DPI: 297 x 210 mm.
  Caps a4 = capsOf(devmode(DMPAPER_A4, DMORIENT_LANDSCAPE, 600, 600));
  EXPECT_EQ(a4.horzRes, 7016);  // 2970 / 254 * 600 = 7015.7
  EXPECT_EQ(a4.vertRes, 4961);  // 2100 / 254 * 600 = 4960.6
  // Paper given in 0.1 mm at 50 % scale: 4318 x 5588 -> 2159 x 2794.
  DEVMODEW custom = devmode(0, DMORIENT_PORTRAIT, 100, 100, 1);
  custom.dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH | DM_SCALE;
  custom.dmPaperWidth = 4318;
  custom.dmPaperLength = 5588;
  custom.dmScale = 50;
  Caps half = capsOf(custom);
  EXPECT_EQ(half.horzRes, 850);
  EXPECT_EQ(half.vertRes, 1100);
  EXPECT_EQ(half.bits, 1);  // dmBitsPerPel 1
  // The record's resolution codes: -5 is 204 x 98 (fax, standard).
  Caps fax = capsOf(devmode(DMPAPER_LETTER, DMORIENT_PORTRAIT, -5, -5));
  EXPECT_EQ(fax.dpiX, 204);
  EXPECT_EQ(fax.dpiY, 98);
  EXPECT_EQ(fax.horzRes, 1734);  // 2159 / 254 * 204 = 1734.0
  EXPECT_EQ(fax.vertRes, 1078);  // 2794 / 254 * 98 = 1078.0
  // Values outside 50..3000 read as 300; no paper code reads as Letter.
  Caps odd = capsOf(devmode(0, DMORIENT_PORTRAIT, 7, 4000));
  EXPECT_EQ(odd.dpiX, 300);
  EXPECT_EQ(odd.dpiY, 300);
  EXPECT_EQ(odd.horzRes, 2550);
}

TEST(GdiPrinterDc, NamesAndDriverChecks) {
  twtest::LeakGuard guard;
  DEVMODEW dm = devmode(DMPAPER_LETTER, DMORIENT_PORTRAIT, 300, 300);
  EXPECT_EQ(CreateDCW(u"WINSPOOL", nullptr, nullptr, &dm), nullptr);
  EXPECT_EQ(CreateDCW(u"SOMEDRIVER", u"Printer", nullptr, &dm), nullptr);
  DEVMODEW tiny = dm;
  tiny.dmSize = 20;
  EXPECT_EQ(CreateDCW(u"WINSPOOL", u"Printer", nullptr, &tiny), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // Without settings: Letter at 300 DPI.
  HDC plain = CreateDCW(u"winspool", u"Printer", nullptr, nullptr);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(GetDeviceCaps(plain, HORZRES), 2550);
  DeleteDC(plain);
  // When the spooler is present it decides which printers exist.
  tw::gdi::SetPrinterNameValidator([](const WCHAR* name) {
    if (std::u16string_view(name) == u"Known") return true;
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return false;
  });
  EXPECT_EQ(CreateDCW(u"WINSPOOL", u"Unknown", nullptr, &dm), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  HDC known = CreateDCW(u"WINSPOOL", u"Known", nullptr, &dm);
  EXPECT_NE(known, nullptr);
  DeleteDC(known);
  tw::gdi::SetPrinterNameValidator(nullptr);
}

TEST(GdiScreenDc, FixedCapabilities) {
  twtest::LeakGuard guard;
  HDC screen = GetDC(nullptr);
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 1920);
  EXPECT_EQ(GetDeviceCaps(screen, VERTRES), 1080);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
  EXPECT_EQ(GetDeviceCaps(screen, PLANES), 1);
  EXPECT_EQ(GetDeviceCaps(screen, TECHNOLOGY), DT_RASDISPLAY);
  EXPECT_EQ(GetDC(reinterpret_cast<HWND>(0x10)), nullptr);
  // A memory DC compatible with a DC reports that DC's device.
  DEVMODEW dm = devmode(DMPAPER_A4, DMORIENT_PORTRAIT, 200, 200, 1);
  HDC printer = CreateDCW(u"WINSPOOL", u"P", nullptr, &dm);
  HDC mem = CreateCompatibleDC(printer);
  EXPECT_EQ(GetDeviceCaps(mem, LOGPIXELSX), 200);
  EXPECT_EQ(GetDeviceCaps(mem, BITSPIXEL), 1);
  EXPECT_EQ(GetObjectType(mem), static_cast<DWORD>(OBJ_MEMDC));
  HDC memScreen = CreateCompatibleDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(memScreen, LOGPIXELSX), 96);
  DeleteDC(mem);
  DeleteDC(memScreen);
  DeleteDC(printer);
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
}

}  // namespace
