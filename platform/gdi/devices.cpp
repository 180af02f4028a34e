// Devices: the screen, printers made from a DEVMODE, memory and metafile
// DCs; creating and deleting DCs; GetDeviceCaps.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <set>

#include "dc.h"
#include "tw/gdi.h"
#include "winerror.h"

namespace tw::gdi {
namespace {

// Portrait paper sizes in 0.1 mm by DEVMODE paper code.
struct PaperSize {
  short code;
  short width, length;
};
constexpr PaperSize kPapers[] = {
    {DMPAPER_LETTER, 2159, 2794},     {DMPAPER_LETTERSMALL, 2159, 2794}, {DMPAPER_TABLOID, 2794, 4318},
    {DMPAPER_LEDGER, 4318, 2794},     {DMPAPER_LEGAL, 2159, 3556},       {DMPAPER_STATEMENT, 1397, 2159},
    {DMPAPER_EXECUTIVE, 1841, 2667},  {DMPAPER_A3, 2970, 4200},          {DMPAPER_A4, 2100, 2970},
    {DMPAPER_A4SMALL, 2100, 2970},    {DMPAPER_A5, 1480, 2100},          {DMPAPER_B4, 2570, 3640},
    {DMPAPER_B5, 1820, 2570},         {DMPAPER_FOLIO, 2159, 3302},       {DMPAPER_QUARTO, 2150, 2750},
    {DMPAPER_10X14, 2540, 3556},      {DMPAPER_11X17, 2794, 4318},       {DMPAPER_NOTE, 2159, 2794},
    {DMPAPER_ENV_9, 984, 2254},       {DMPAPER_ENV_10, 1048, 2413},      {DMPAPER_ENV_11, 1143, 2635},
    {DMPAPER_ENV_12, 1207, 2794},     {DMPAPER_ENV_14, 1270, 2921},      {DMPAPER_CSHEET, 4318, 5588},
    {DMPAPER_DSHEET, 5588, 8636},     {DMPAPER_ESHEET, 8636, 11176},     {DMPAPER_ENV_DL, 1100, 2200},
    {DMPAPER_ENV_C5, 1620, 2290},     {DMPAPER_ENV_C3, 3240, 4580},      {DMPAPER_ENV_C4, 2290, 3240},
    {DMPAPER_ENV_C6, 1140, 1620},     {DMPAPER_ENV_C65, 1140, 2290},     {DMPAPER_ENV_B4, 2500, 3530},
    {DMPAPER_ENV_B5, 1760, 2500},     {DMPAPER_ENV_B6, 1760, 1250},      {DMPAPER_ENV_ITALY, 1100, 2300},
    {DMPAPER_ENV_MONARCH, 984, 1905}, {DMPAPER_ENV_PERSONAL, 921, 1651}, {DMPAPER_FANFOLD_US, 3778, 2794},
    {DMPAPER_FANFOLD_STD_GERMAN, 2159, 3048}, {DMPAPER_FANFOLD_LGL_GERMAN, 2159, 3302},
    {DMPAPER_ISO_B4, 2500, 3530},     {DMPAPER_JAPANESE_POSTCARD, 1000, 1480}, {DMPAPER_A2, 4200, 5940},
    {DMPAPER_A6, 1050, 1480}};

// Resolution codes of the printer settings record: negative codes and the
// 50..3000 range, anything else 300 (the driver's reading rule).
void decodeResolution(short printQuality, short yResolution, int& x, int& y) {
  auto one = [](short v, bool vertical) {
    switch (v) {
      case -1: return 100;
      case -2: return 200;
      case -3: return 300;
      case -4: return 600;
      case -5: return vertical ? 98 : 204;
      case -6: return vertical ? 196 : 204;
      default: return (v >= 50 && v <= 3000) ? static_cast<int>(v) : 300;
    }
  };
  x = one(printQuality, false);
  y = one(yResolution, true);
}

std::mutex g_validatorMutex;
PrinterNameValidator g_validator;

// Metafile DCs alive, told about every DeleteObject.
std::mutex g_recordingMutex;
std::set<Dc*> g_recordingDcs;

bool equalsNoCase(LPCWSTR a, std::u16string_view b) {
  if (!a) return false;
  std::u16string_view s(a);
  if (s.size() != b.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i], d = b[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    if (d >= u'a' && d <= u'z') d = static_cast<char16_t>(d - 32);
    if (c != d) return false;
  }
  return true;
}

HDC insertDc(std::shared_ptr<Dc> dc) { return static_cast<HDC>(InsertObject(std::move(dc))); }

}  // namespace

// The driver's private part of the settings record (after the DEVMODEW
// head) holds the page size in pixels and the rendering resolution the
// driver settled on. A printer DC is made from the DEVMODEW head alone; the
// settings component that owns the record layout decodes the private part
// and adjusts the capabilities here when it needs them to differ.
void ApplyDriverPrivatePart(std::span<const BYTE> privatePart, DeviceCaps& caps) {
  (void)privatePart;
  (void)caps;
}

DeviceCaps ScreenCaps() {
  DeviceCaps caps;
  caps.technology = DT_RASDISPLAY;
  caps.horzRes = 1920;
  caps.vertRes = 1080;
  caps.logPixelsX = caps.logPixelsY = 96;
  caps.bitsPixel = 32;
  caps.widthUm = 1920 * 25400 / 96;   // 508 mm
  caps.heightUm = 1080 * 25400 / 96;  // 285.75 mm
  caps.horzSizeMm = static_cast<int>((caps.widthUm + 500) / 1000);
  caps.vertSizeMm = static_cast<int>((caps.heightUm + 500) / 1000);
  caps.physicalWidth = caps.horzRes;
  caps.physicalHeight = caps.vertRes;
  return caps;
}

DeviceCaps PrinterCapsFromDevmode(const DEVMODEW* dm, std::size_t size) {
  // Portrait paper size in 0.1 mm, resolution, orientation, depth.
  int paperWidth = 2159, paperLength = 2794;
  int dpiX = 300, dpiY = 300;
  bool landscape = false;
  int bits = 24;
  if (dm && size >= offsetof(DEVMODEW, dmBitsPerPel) + sizeof(DWORD)) {
    DWORD fields = dm->dmFields;
    int scale = dm->dmScale > 0 ? dm->dmScale : 100;
    int w = dm->dmPaperWidth * scale / 100, l = dm->dmPaperLength * scale / 100;
    bool explicitSize = (fields & DM_PAPERWIDTH) && (fields & DM_PAPERLENGTH) && w > 0 && l > 0;
    const PaperSize* paper = nullptr;
    for (const auto& p : kPapers)
      if (p.code == dm->dmPaperSize) paper = &p;
    if (explicitSize) {
      paperWidth = w;
      paperLength = l;
    } else if (paper) {
      paperWidth = paper->width;
      paperLength = paper->length;
    } else if (w > 0 && l > 0) {
      paperWidth = w;
      paperLength = l;
    }
    decodeResolution(dm->dmPrintQuality, dm->dmYResolution, dpiX, dpiY);
    landscape = dm->dmOrientation == DMORIENT_LANDSCAPE;
    bits = dm->dmBitsPerPel == 1 ? 1 : 24;
  }
  if (landscape) {  // the page turns: the long edge and its resolution go across
    std::swap(paperWidth, paperLength);
    std::swap(dpiX, dpiY);
  }
  DeviceCaps caps;
  caps.technology = DT_RASPRINTER;
  caps.logPixelsX = dpiX;
  caps.logPixelsY = dpiY;
  caps.horzRes = static_cast<int>(paperWidth / 254.0 * dpiX + 0.5);
  caps.vertRes = static_cast<int>(paperLength / 254.0 * dpiY + 0.5);
  caps.widthUm = paperWidth * 100;
  caps.heightUm = paperLength * 100;
  caps.horzSizeMm = (paperWidth + 5) / 10;
  caps.vertSizeMm = (paperLength + 5) / 10;
  caps.bitsPixel = bits;
  caps.physicalWidth = caps.horzRes;
  caps.physicalHeight = caps.vertRes;
  if (dm && dm->dmSize >= sizeof(DEVMODEW) && size > dm->dmSize)
    ApplyDriverPrivatePart({reinterpret_cast<const BYTE*>(dm) + dm->dmSize, size - dm->dmSize}, caps);
  return caps;
}

void SetPrinterNameValidator(PrinterNameValidator validator) {
  std::lock_guard lock(g_validatorMutex);
  g_validator = std::move(validator);
}

HDC CreateRecordingDc(HDC reference, std::unique_ptr<DcRecorder> recorder) {
  DeviceCaps caps = ScreenCaps();
  if (reference) {
    auto ref = LookupDc(reference);
    if (!ref) return nullptr;
    caps = ref->Caps();
  }
  if (!recorder) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto dc = std::make_shared<Dc>(DeviceKind::Metafile, caps);
  dc->SetRecorder(std::move(recorder));
  Dc* raw = dc.get();
  HDC handle = insertDc(std::move(dc));
  if (handle) {
    std::lock_guard lock(g_recordingMutex);
    g_recordingDcs.insert(raw);
  }
  return handle;
}

void NotifyRecordersOfDelete(HGDIOBJ handle, const GdiObject& object) {
  std::lock_guard lock(g_recordingMutex);
  for (Dc* dc : g_recordingDcs)
    if (DcRecorder* recorder = dc->Recorder()) recorder->ObjectDeleted(handle, object);
}

}  // namespace tw::gdi

using namespace tw::gdi;

HDC CreateDCW(LPCWSTR driver, LPCWSTR device, LPCWSTR, CONST DEVMODEW* devmode) {
  if (equalsNoCase(driver, u"DISPLAY") || (!driver && equalsNoCase(device, u"DISPLAY")))
    return insertDc(std::make_shared<Dc>(DeviceKind::Display, ScreenCaps()));
  if (!device || !*device || (driver && *driver && !equalsNoCase(driver, u"WINSPOOL"))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  PrinterNameValidator validator;
  {
    std::lock_guard lock(g_validatorMutex);
    validator = g_validator;
  }
  if (validator && !validator(device)) return nullptr;
  std::size_t size = 0;
  if (devmode) {
    if (devmode->dmSize < offsetof(DEVMODEW, dmBitsPerPel) + sizeof(DWORD)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    size = static_cast<std::size_t>(devmode->dmSize) + devmode->dmDriverExtra;
  }
  return insertDc(std::make_shared<Dc>(DeviceKind::Printer, PrinterCapsFromDevmode(devmode, size)));
}

HDC CreateICW(LPCWSTR driver, LPCWSTR device, LPCWSTR port, CONST DEVMODEW* devmode) {
  return CreateDCW(driver, device, port, devmode);
}

HDC CreateCompatibleDC(HDC hdc) {
  DeviceCaps caps = ScreenCaps();
  if (hdc) {
    auto dc = LookupDc(hdc);
    if (!dc) return nullptr;
    caps = dc->Caps();  // a metafile DC's are its reference device's
  }
  return insertDc(std::make_shared<Dc>(DeviceKind::Memory, caps));
}

BOOL DeleteDC(HDC hdc) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (dc->Kind() == DeviceKind::Metafile) {
    {
      std::lock_guard lock(g_recordingMutex);
      g_recordingDcs.erase(dc.get());
    }
    if (auto recorder = dc->DetachRecorder()) recorder->DcDeleted(*dc);
  }
  if (!RemoveObject(hdc)) return FALSE;
  dc->Release();
  return TRUE;
}

HDC GetDC(HWND hwnd) {
  if (hwnd) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return insertDc(std::make_shared<Dc>(DeviceKind::Display, ScreenCaps()));
}

int ReleaseDC(HWND, HDC hdc) {
  auto dc = LookupDc(hdc);
  if (!dc || dc->Kind() != DeviceKind::Display) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return DeleteDC(hdc) ? 1 : 0;
}

int GetDeviceCaps(HDC hdc, int index) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  const DeviceCaps& c = dc->Caps();
  bool display = c.technology == DT_RASDISPLAY;
  switch (index) {
    case DRIVERVERSION: return 0x4000;
    case TECHNOLOGY: return c.technology;
    case HORZSIZE: return c.horzSizeMm;
    case VERTSIZE: return c.vertSizeMm;
    case HORZRES: return c.horzRes;
    case VERTRES: return c.vertRes;
    case BITSPIXEL: return c.bitsPixel;
    case PLANES: return c.planes;
    case NUMBRUSHES: return -1;
    case NUMPENS: return -1;
    case NUMMARKERS: return 0;
    case NUMFONTS: return 0;
    case NUMCOLORS: return c.bitsPixel <= 8 ? 1 << c.bitsPixel : -1;
    case PDEVICESIZE: return 0;
    case CURVECAPS:
      return CC_CIRCLES | CC_PIE | CC_CHORD | CC_ELLIPSES | CC_WIDE | CC_STYLED | CC_WIDESTYLED | CC_INTERIORS |
             CC_ROUNDRECT;
    case LINECAPS: return LC_POLYLINE | LC_MARKER | LC_POLYMARKER | LC_WIDE | LC_STYLED | LC_WIDESTYLED | LC_INTERIORS;
    case POLYGONALCAPS:
      return PC_POLYGON | PC_RECTANGLE | PC_WINDPOLYGON | PC_SCANLINE | PC_WIDE | PC_STYLED | PC_WIDESTYLED |
             PC_INTERIORS | PC_POLYPOLYGON | PC_PATHS;
    case TEXTCAPS: return TC_OP_CHARACTER | TC_OP_STROKE | TC_CP_STROKE | TC_CR_ANY | TC_SA_DOUBLE | TC_SA_INTEGER |
                          TC_SA_CONTIN | TC_UA_ABLE | TC_SO_ABLE | TC_RA_ABLE;
    case CLIPCAPS: return CP_RECTANGLE | CP_REGION;
    case RASTERCAPS:
      return RC_BITBLT | RC_BITMAP64 | RC_GDI20_OUTPUT | RC_DI_BITMAP | RC_DIBTODEV | RC_BIGFONT | RC_STRETCHBLT |
             RC_FLOODFILL | RC_STRETCHDIB | RC_OP_DX_OUTPUT;
    case ASPECTX: return 36;
    case ASPECTY: return 36;
    case ASPECTXY: return 51;
    case LOGPIXELSX: return c.logPixelsX;
    case LOGPIXELSY: return c.logPixelsY;
    case SIZEPALETTE: return 0;
    case NUMRESERVED: return 20;
    case COLORRES: return c.bitsPixel >= 24 ? 24 : c.bitsPixel;
    case PHYSICALWIDTH: return display ? 0 : c.physicalWidth;
    case PHYSICALHEIGHT: return display ? 0 : c.physicalHeight;
    case PHYSICALOFFSETX: return display ? 0 : c.physicalOffsetX;
    case PHYSICALOFFSETY: return display ? 0 : c.physicalOffsetY;
    case SCALINGFACTORX: return 0;
    case SCALINGFACTORY: return 0;
    case VREFRESH: return display ? 60 : 0;
    case DESKTOPVERTRES: return display ? c.vertRes : 0;
    case DESKTOPHORZRES: return display ? c.horzRes : 0;
    case BLTALIGNMENT: return 0;
    case SHADEBLENDCAPS:
      return SB_CONST_ALPHA | SB_PIXEL_ALPHA | SB_PREMULT_ALPHA | SB_GRAD_RECT | SB_GRAD_TRI;
    case COLORMGMTCAPS: return 0;
    default: return 0;
  }
}
