#include "job/devmode/devmode_geometry.h"

#include <iterator>

#include "job/devmode/devmode_access.h"
#include "output/formats/format_table.h"
#include "tw/wcrt.h"

namespace tw::devmode {

bool SwapLandscapeWidthHeight(TarnwickDEVMODE& dm) {
  if (dm.DM.dmOrientation != 2) return false;
  SHORT width = dm.DM.dmPaperWidth;
  dm.DM.dmPaperWidth = dm.DM.dmPaperLength;
  dm.DM.dmPaperLength = width;
  LONG pixels = dm.PaperWidthInPixels;
  dm.PaperWidthInPixels = dm.PaperHeightInPixels;
  dm.PaperHeightInPixels = pixels;
  return true;
}

void SwitchOffStampsForFormat(TarnwickDEVMODE& dm, DWORD format) {
  constexpr DWORD kEmf = 18;
  if (format != kEmf) return;
  dm.AnnotationFlags = dm.AnnotationFlags & ~DWORD{1};
  dm.WatermarkFlags = dm.WatermarkFlags & ~DWORD{1};
  dm.BarcodeFlags = dm.BarcodeFlags & ~DWORD{1};
  dm.Flags = dm.Flags & ~flags::BatesNumbering;
}

void CorrectResolution(TarnwickDEVMODE& dm) {
  if (dm.Flags & flags::FaxOutput) {
    dm.DM.dmPrintQuality = 204;
    dm.DM.dmYResolution = IsFaxStandardResolution(GetFaxMode(&dm)) ? 98 : 196;
  }
  SHORT quality = dm.DM.dmPrintQuality;
  if (quality < 0) {
    // The driver's negative codes as the job means them (not the table's
    // reading: -1 and -2 are the fax resolutions here).
    SHORT x = 300, y = 300;
    switch (quality) {
      case -4: x = y = 600; break;
      case -2: x = 204; y = 196; break;
      case -1: x = 204; y = 98; break;
      default: break;
    }
    dm.DM.dmPrintQuality = x;
    dm.DM.dmYResolution = y;
    return;
  }
  if (quality > 3000) dm.DM.dmPrintQuality = 3000;
  if (dm.DM.dmYResolution > 3000) dm.DM.dmYResolution = 3000;
}

void ApplyFormatFlags(TarnwickDEVMODE& dm, DWORD format) {
  DWORD f = dm.Flags;
  switch (format) {
    case 21: f |= flags::PageNumberingTag | flags::ReverseBitOrder; break;
    case 22:
    case 23: f = (f & ~flags::ReverseBitOrder) | flags::PageNumberingTag; break;
    case 30: f &= ~flags::ReverseBitOrder; break;
    default: break;
  }
  dm.Flags = f;
}

DWORD CorrectColorMode(TarnwickDEVMODE& dm, DWORD requestedMode, WORD mask) {
  DWORD mode = tw::formats::AdjustColorModeToMask(requestedMode, mask);
  SetColorMode(dm, mode);
  return mode;
}

std::u16string GeometryText(const TarnwickDEVMODE& dm) {
  WCHAR text[160];
  swprintf_s(text, std::size(text), u"Orientation %d, paper %d x %d (scale %d), %d x %d DPI, %d x %d pixels",
             int{dm.DM.dmOrientation}, int{dm.DM.dmPaperWidth}, int{dm.DM.dmPaperLength}, int{dm.DM.dmScale},
             static_cast<int>(GetXDPI(&dm)), static_cast<int>(GetYDPI(&dm)), static_cast<int>(dm.PaperWidthInPixels),
             static_cast<int>(dm.PaperHeightInPixels));
  return text;
}

}  // namespace tw::devmode
