// Text on one-bit surfaces, whose glyph rows are written a byte at a time:
// the pixels equal those of the same aliased text on a 24-bit surface, at
// every bit position, for black text and white text.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tw_test.h"

namespace {

constexpr int kW = 203, kH = 64;

// A memory DC with a one-bit DIB section, a monochrome bitmap or a 24-bit
// DIB section, filled with `background`.
class Surface {
 public:
  Surface(int kind, COLORREF background) {
    dc_ = CreateCompatibleDC(nullptr);
    struct {
      BITMAPINFOHEADER h;
      RGBQUAD colors[2];
    } info{{sizeof(BITMAPINFOHEADER), kW, -kH, 1, static_cast<WORD>(kind == 24 ? 24 : 1), BI_RGB, 0, 0, 0, 2, 0},
           {{0, 0, 0, 0}, {255, 255, 255, 0}}};
    void* bits = nullptr;
    bitmap_ = kind == 0 ? CreateBitmap(kW, kH, 1, 1, nullptr)
                        : CreateDIBSection(dc_, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    HBRUSH brush = CreateSolidBrush(background);
    RECT all{0, 0, kW, kH};
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
  }
  ~Surface() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};

void Draw(HDC dc, int x, COLORREF color) {
  LOGFONTW lf{};
  lf.lfHeight = -23;
  lf.lfQuality = NONANTIALIASED_QUALITY;
  std::u16string face = u"Courier New";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, color);
  const std::u16string text = u"Wg@#%&MW|il1 Text across bytes";
  TextOutW(dc, x, 8, text.c_str(), static_cast<int>(text.size()));
  SelectObject(dc, old);
  DeleteObject(font);
}

TEST(MonoText, GlyphRowsEqualThoseOfATrueColourSurface) {
  twtest::LeakGuard guard;
  for (bool whiteOnBlack : {false, true}) {
    const COLORREF paper = whiteOnBlack ? RGB(0, 0, 0) : RGB(255, 255, 255);
    const COLORREF ink = whiteOnBlack ? RGB(255, 255, 255) : RGB(0, 0, 0);
    for (int x = 0; x < 17; ++x) {
      SCOPED_TRACE(testing::Message() << "x " << x << (whiteOnBlack ? " white on black" : ""));
      Surface colour(24, paper), dibSection(1, paper), mono(0, paper);
      Draw(colour.dc(), x, ink);
      Draw(dibSection.dc(), x, ink);
      Draw(mono.dc(), x, ink);
      long differences = 0, inked = 0;
      for (int yy = 0; yy < kH; ++yy)
        for (int xx = 0; xx < kW; ++xx) {
          COLORREF want = GetPixel(colour.dc(), xx, yy);
          inked += want != paper;
          differences += GetPixel(dibSection.dc(), xx, yy) != want;
          differences += GetPixel(mono.dc(), xx, yy) != want;
        }
      EXPECT_GT(inked, 200);
      EXPECT_EQ(differences, 0);
    }
  }
}

}  // namespace
