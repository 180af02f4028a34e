// Helpers for GDI tests: a memory DC drawing on a DIB section of a chosen
// depth, filled white, with readable pixel access.
#pragma once
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace gditest {

class Canvas {
 public:
  // A top-down DIB section (bottom-up when `bottomUp`) of w x h pixels.
  Canvas(int w, int h, int bpp = 24, bool bottomUp = false) : w_(w), h_(h), bpp_(bpp) {
    std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
    bmi->bmiHeader = {sizeof(BITMAPINFOHEADER), w, bottomUp ? h : -h, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0,
                      0, 0};
    if (bpp == 1) {
      bmi->bmiColors[0] = {0, 0, 0, 0};
      bmi->bmiColors[1] = {255, 255, 255, 0};
      bmi->bmiHeader.biClrUsed = 2;
    }
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, bmi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    Fill(0xFF);
    bottomUp_ = bottomUp;
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bitmap_; }
  BYTE* bits() const { return bits_; }
  int stride() const { return ((w_ * bpp_ + 31) / 32) * 4; }
  void Fill(BYTE value) { std::memset(bits_, value, static_cast<size_t>(stride()) * h_); }

  // Row y from the top in memory.
  BYTE* Row(int y) const { return bits_ + static_cast<size_t>(bottomUp_ ? h_ - 1 - y : y) * stride(); }

  // The pixel as 0x00RRGGBB (24/32 bit) or its index (1 bit).
  DWORD Pixel(int x, int y) const {
    const BYTE* r = Row(y);
    if (bpp_ == 1) return (r[x / 8] >> (7 - x % 8)) & 1;
    if (bpp_ == 24) return r[3 * x] | (r[3 * x + 1] << 8) | (r[3 * x + 2] << 16);
    DWORD v;
    std::memcpy(&v, r + 4 * x, 4);
    return v;
  }
  DWORD Alpha(int x, int y) const { return Pixel(x, y) >> 24; }
  bool Black(int x, int y) const { return bpp_ == 1 ? Pixel(x, y) == 0 : (Pixel(x, y) & 0xFFFFFF) == 0; }

  // One character per pixel: '#' black, '.' white, '?' anything else.
  std::string Text(int y) const {
    std::string s;
    for (int x = 0; x < w_; ++x) {
      DWORD p = bpp_ == 1 ? (Pixel(x, y) ? 0xFFFFFF : 0) : Pixel(x, y) & 0xFFFFFF;
      s += p == 0 ? '#' : p == 0xFFFFFF ? '.' : '?';
    }
    return s;
  }
  std::vector<std::string> Picture() const {
    std::vector<std::string> rows;
    for (int y = 0; y < h_; ++y) rows.push_back(Text(y));
    return rows;
  }
  // Counts black pixels in [x0, x1) x [y0, y1).
  int CountBlack(int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += Black(x, y) ? 1 : 0;
    return n;
  }

 private:
  int w_, h_, bpp_;
  bool bottomUp_ = false;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  BYTE* bits_ = nullptr;
};

// Selects an object for the scope and deletes it afterwards.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), object_(object), old_(SelectObject(dc, object)) {}
  ~Selected() {
    SelectObject(dc_, old_);
    DeleteObject(object_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ object_;
  HGDIOBJ old_;
};

}  // namespace gditest
