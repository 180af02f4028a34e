// Test helpers: a canvas to play metafiles onto, and a printer
// DC of an exact size to record them on (254 DPI, so that one reference
// pixel is exactly 0.1 mm and frames map to whole pixels).
#pragma once
#include <algorithm>
#include <cstring>

#include <windows.h>

#include "../gdi/gdi_test_util.h"

namespace twtest {

// The GDI tests' canvas (a DIB section in a memory DC), read as COLORREFs,
// with what metafile tests compare: the inked box, colour counts, and the
// pixels of two canvases.
class Canvas : public gditest::Canvas {
 public:
  Canvas(int width, int height, int bits = 24) : gditest::Canvas(width, height, bits), width_(width), height_(height) {}

  HDC Dc() const { return dc(); }
  void Clear() {
    GdiFlush();
    Fill(0xFF);
  }
  COLORREF Color(int x, int y) const {
    GdiFlush();
    DWORD rgb = Pixel(x, y) & 0xFFFFFF;
    return RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF);
  }
  int Count(COLORREF color) const {
    int n = 0;
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) n += Color(x, y) == color;
    return n;
  }
  // Inclusive box of the pixels that are not white ({0,0,-1,-1} if none).
  RECT InkBox() const {
    RECT r{width_, height_, -1, -1};
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x)
        if (Color(x, y) != RGB(255, 255, 255)) {
          r.left = std::min<LONG>(r.left, x);
          r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x);
          r.bottom = std::max<LONG>(r.bottom, y);
        }
    if (r.right < 0) r = {0, 0, -1, -1};
    return r;
  }
  bool SamePixels(const Canvas& other) const {
    if (other.width_ != width_ || other.height_ != height_) return false;
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x)
        if (Color(x, y) != other.Color(x, y)) return false;
    return true;
  }

 private:
  int width_, height_;
};

// A printer DC of paper width x height in 0.1 mm at `dpi` (both axes).
inline HDC PrinterDc(short widthTenths, short heightTenths, short dpi = 254) {
  DEVMODEW dm{};
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmFields = DM_PAPERWIDTH | DM_PAPERLENGTH | DM_PRINTQUALITY | DM_YRESOLUTION;
  dm.dmPaperWidth = widthTenths;
  dm.dmPaperLength = heightTenths;
  dm.dmPrintQuality = dpi;
  dm.dmYResolution = dpi;
  dm.dmBitsPerPel = 24;
  return CreateDCW(u"WINSPOOL", u"Test Printer", nullptr, &dm);
}

// A metafile DC on a 200 x 150 pixel reference page (254 DPI, frame 0.01 mm:
// 2000 x 1500), so playing into (0, 0, 200, 150) is one to one.
class Recording {
 public:
  explicit Recording(const RECT* frame = &kFrame, LPCWSTR file = nullptr, LPCWSTR description = nullptr) {
    printer_ = PrinterDc(200, 150);
    dc_ = CreateEnhMetaFileW(printer_, file, frame, description);
  }
  ~Recording() {
    if (dc_) DeleteDC(dc_);
    DeleteDC(printer_);
  }
  HDC Dc() const { return dc_; }
  HENHMETAFILE Close() {
    HENHMETAFILE h = CloseEnhMetaFile(dc_);
    dc_ = nullptr;
    return h;
  }
  static constexpr RECT kFrame{0, 0, 2000, 1500};
  static constexpr RECT kPage{0, 0, 200, 150};

 private:
  HDC printer_ = nullptr;
  HDC dc_ = nullptr;
};

// The header of a metafile.
inline ENHMETAHEADER HeaderOf(HENHMETAFILE h) {
  ENHMETAHEADER header{};
  GetEnhMetaFileHeader(h, sizeof(header), &header);
  return header;
}

}  // namespace twtest
