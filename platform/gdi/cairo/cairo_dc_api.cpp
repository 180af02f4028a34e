// The vector backend's entry points (tw/gdi_cairo.h).
#include <cmath>

#include "cairo_fonts.h"
#include "cairo_recorder.h"
#include "tw/gdi_cairo.h"
#include "winerror.h"

namespace tw::gdi {
namespace {

bool validPage(int width, int height, double dpiX, double dpiY) {
  return width > 0 && height > 0 && width <= 1000000 && height <= 1000000 && dpiX >= 1 && dpiY >= 1 &&
         dpiX <= 100000 && dpiY <= 100000;
}

}  // namespace

std::shared_ptr<CairoFonts> CreateCairoFonts() { return std::make_shared<CairoFonts>(); }

HDC CreatePageReferenceDC(int width, int height, double dpiX, double dpiY) {
  if (!validPage(width, height, dpiX, dpiY)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  DeviceCaps caps;
  caps.technology = DT_RASPRINTER;
  caps.horzRes = caps.physicalWidth = width;
  caps.vertRes = caps.physicalHeight = height;
  caps.logPixelsX = int(std::lround(dpiX));
  caps.logPixelsY = int(std::lround(dpiY));
  caps.bitsPixel = 24;
  caps.horzSizeMm = int(std::lround(width / dpiX * 25.4));
  caps.vertSizeMm = int(std::lround(height / dpiY * 25.4));
  caps.widthUm = LONG(std::lround(width / dpiX * 25400));
  caps.heightUm = LONG(std::lround(height / dpiY * 25400));
  return static_cast<HDC>(InsertObject(std::make_shared<Dc>(DeviceKind::Printer, caps)));
}

HDC CreateCairoDC(cairo_t* cr, const CairoDcOptions& options) {
  if (!cr || cairo_status(cr) != CAIRO_STATUS_SUCCESS || !options.fonts ||
      !validPage(options.width, options.height, options.dpiX, options.dpiY)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HDC reference = CreatePageReferenceDC(options.width, options.height, options.dpiX, options.dpiY);
  if (!reference) return nullptr;
  HDC dc = CreateRecordingDc(reference, std::make_unique<CairoRecorder>(cr, options));
  DeleteDC(reference);
  return dc;
}

bool TakeFallbackRegion(HDC hdc, RECT& box) {
  auto dc = LookupDc(hdc);
  if (!dc) return false;
  auto* recorder = dynamic_cast<CairoRecorder*>(dc->Recorder());
  return recorder && recorder->TakeFallback(box);
}

}  // namespace tw::gdi
