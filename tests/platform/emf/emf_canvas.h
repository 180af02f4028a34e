// Test helpers: a 24-bit DIB section to play metafiles onto, and a printer
// DC of an exact size to record them on (254 DPI, so that one reference
// pixel is exactly 0.1 mm and frames map to whole pixels).
#pragma once
#include <algorithm>
#include <cstring>

#include <windows.h>

namespace twtest {

class Canvas {
 public:
  Canvas(int width, int height, int bits = 24) : width_(width), height_(height), bits_(bits) {
    dc_ = CreateCompatibleDC(nullptr);
    struct {
      BITMAPINFOHEADER h;
      RGBQUAD colors[2];
    } info{};
    info.h = {sizeof(BITMAPINFOHEADER), width, -height, 1, WORD(bits), BI_RGB, 0, 0, 0, 0, 0};
    if (bits == 1) {
      info.h.biClrUsed = 2;
      info.colors[1] = {255, 255, 255, 0};
    }
    bitmap_ = CreateDIBSection(dc_, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits_ptr_, nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    Clear();
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC Dc() const { return dc_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  size_t Stride() const { return ((size_t(width_) * bits_ + 31) / 32) * 4; }
  BYTE* Row(int y) const { return static_cast<BYTE*>(bits_ptr_) + Stride() * size_t(y); }
  void Clear(BYTE value = 0xFF) {
    GdiFlush();
    std::memset(bits_ptr_, value, Stride() * size_t(height_));
  }
  COLORREF Pixel(int x, int y) const {
    GdiFlush();
    const BYTE* row = Row(y);
    if (bits_ == 1) return ((row[x / 8] >> (7 - x % 8)) & 1) ? RGB(255, 255, 255) : RGB(0, 0, 0);
    const BYTE* p = row + size_t(x) * (bits_ / 8);
    return RGB(p[2], p[1], p[0]);
  }
  // Pixels of the given colour.
  int Count(COLORREF color) const {
    int n = 0;
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) n += Pixel(x, y) == color;
    return n;
  }
  // Inclusive box of the pixels that are not white ({0,0,-1,-1} if none).
  RECT InkBox() const {
    RECT r{width_, height_, -1, -1};
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x)
        if (Pixel(x, y) != RGB(255, 255, 255)) {
          r.left = std::min<LONG>(r.left, x);
          r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x);
          r.bottom = std::max<LONG>(r.bottom, y);
        }
    if (r.right < 0) r = {0, 0, -1, -1};
    return r;
  }
  bool SamePixels(const Canvas& other) const {
    if (other.width_ != width_ || other.height_ != height_ || other.bits_ != bits_) return false;
    GdiFlush();
    for (int y = 0; y < height_; ++y)
      if (std::memcmp(Row(y), other.Row(y), size_t(width_) * bits_ / 8) != 0) return false;
    return true;
  }

 private:
  int width_, height_, bits_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  void* bits_ptr_ = nullptr;
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
