// Bitmaps and DIBs: the live DIB-section layout, device-dependent bitmaps,
// GetDIBits / SetDIBits conversions and their row order.
#include <windows.h>

#include <cstring>
#include <vector>

#include "gdi_test_util.h"
#include "tw/gdi.h"
#include "tw_test.h"

using gditest::Canvas;

namespace {

std::vector<BYTE> headerFor(int w, int h, int bpp, int colors = 0) {
  std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
  bmi->bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0,
                    static_cast<DWORD>(colors), 0};
  return info;
}

TEST(GdiDibSection, BitsPointerIsTheLiveDibLayout) {
  twtest::LeakGuard guard;
  for (bool bottomUp : {true, false}) {
    auto info = headerFor(3, bottomUp ? 2 : -2, 24);
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bmp, nullptr);
    ASSERT_NE(bits, nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    // 3 pixels of 3 bytes: rows padded to 12 bytes. Pixel (0, 0) is the
    // first memory row of a top-down DIB and the last of a bottom-up one.
    SetPixel(dc, 0, 0, RGB(1, 2, 3));
    GdiFlush();
    BYTE* top = static_cast<BYTE*>(bits) + (bottomUp ? 12 : 0);
    EXPECT_EQ(top[0], 3);  // B, G, R
    EXPECT_EQ(top[1], 2);
    EXPECT_EQ(top[2], 1);
    // Writes through the pointer are what the next call sees.
    BYTE* last = static_cast<BYTE*>(bits) + (bottomUp ? 0 : 12) + 6;
    last[0] = 0x30;
    last[1] = 0x20;
    last[2] = 0x10;
    EXPECT_EQ(GetPixel(dc, 2, 1), RGB(0x10, 0x20, 0x30));
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectW(bmp, sizeof(ds), &ds), static_cast<int>(sizeof(DIBSECTION)));
    EXPECT_EQ(ds.dsBm.bmBits, bits);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 12);
    EXPECT_EQ(ds.dsBm.bmHeight, 2);
    EXPECT_EQ(ds.dsBmih.biSizeImage, 24u);
    BITMAP bm{};
    ASSERT_EQ(GetObjectW(bmp, sizeof(bm), &bm), static_cast<int>(sizeof(BITMAP)));
    EXPECT_EQ(bm.bmBitsPixel, 24);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
  }
}

TEST(GdiDibSection, RejectsBadHeaders) {
  void* bits = reinterpret_cast<void*>(1);
  auto info = headerFor(4, 4, 3);
  EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &bits, nullptr, 0),
            nullptr);
  EXPECT_EQ(bits, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  auto zero = headerFor(0, 4, 24);
  EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(zero.data()), DIB_RGB_COLORS, &bits, nullptr, 0),
            nullptr);
  auto huge = headerFor(0x7FFFFFF, 0x7FFFFFF, 32);
  EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(huge.data()), DIB_RGB_COLORS, &bits, nullptr, 0),
            nullptr);
  EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
}

TEST(GdiGetDIBits, OneRowAtATimeIntoOneBit) {
  // A monochrome page bitmap copied scan line by scan line into a 1-bit
  // bottom-up page DIB whose table is entry 0 black, entry 1 white.
  twtest::LeakGuard guard;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP page = CreateBitmap(10, 3, 1, 1, nullptr);
  HGDIOBJ old = SelectObject(dc, page);
  PatBlt(dc, 0, 0, 10, 3, WHITENESS);
  PatBlt(dc, 0, 0, 1, 1, BLACKNESS);   // top-left
  PatBlt(dc, 9, 2, 1, 1, BLACKNESS);   // bottom-right
  SelectObject(dc, old);
  auto info = headerFor(10, 3, 1, 2);
  auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
  std::vector<BYTE> dib(3 * 4, 0xAA);
  for (UINT scan = 0; scan < 3; ++scan) {
    BYTE row[4];
    ASSERT_EQ(GetDIBits(dc, page, scan, 1, row, bmi, DIB_RGB_COLORS), 1) << scan;
    std::memcpy(dib.data() + 4 * scan, row, 4);  // bottom-up: scan 0 is the bottom row
  }
  EXPECT_EQ(bmi->bmiColors[0].rgbRed, 0);
  EXPECT_EQ(bmi->bmiColors[1].rgbRed, 255);
  EXPECT_EQ(bmi->bmiColors[1].rgbBlue, 255);
  EXPECT_EQ(dib[0], 0xFF);  // bottom row: 1111 1111 11 with pixel 9 black
  EXPECT_EQ(dib[1] & 0xC0, 0x80);
  EXPECT_EQ(dib[8], 0x7F);  // top row: pixel 0 black
  EXPECT_EQ(dib[9] & 0xC0, 0xC0);
  EXPECT_EQ(GetDIBits(dc, page, 3, 1, dib.data(), bmi, DIB_RGB_COLORS), 0);  // past the last line
  DeleteObject(page);
  DeleteDC(dc);
}

TEST(GdiGetDIBits, SameFormatRowsKeepTheBitsPastThePixels) {
  // Copies of the bitmap's own format move whole rows; the bits after the
  // last pixel (end of its byte, the row's padding) keep what the caller
  // had there, as pixel-by-pixel copies leave them.
  twtest::LeakGuard guard;
  for (int bpp : {1, 4, 8, 24}) {
    for (int width : {1, 5, 13, 33}) {
      SCOPED_TRACE(testing::Message() << bpp << " bits, width " << width);
      auto info = headerFor(width, 3, bpp, bpp <= 8 ? 1 << bpp : 0);
      auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
      for (int i = 0; i < (bpp <= 8 ? 1 << bpp : 0); ++i) {
        BYTE v = static_cast<BYTE>(i * 255 / ((1 << bpp) - 1));
        bmi->bmiColors[i] = {v, v, v, 0};
      }
      HDC dc = CreateCompatibleDC(nullptr);
      void* bits = nullptr;
      HBITMAP section = CreateDIBSection(dc, bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
      ASSERT_NE(section, nullptr);
      const size_t stride = ((size_t(width) * bpp + 31) / 32) * 4;
      for (size_t i = 0; i < stride * 3; ++i) static_cast<BYTE*>(bits)[i] = static_cast<BYTE>(i * 37 + 11);
      // Pixels of the section only: clear what lies past them.
      std::vector<BYTE> source(static_cast<BYTE*>(bits), static_cast<BYTE*>(bits) + stride * 3);
      std::vector<BYTE> out(stride * 3, 0xA5);
      ASSERT_EQ(GetDIBits(dc, section, 0, 3, out.data(), bmi, DIB_RGB_COLORS), 3);
      const size_t used = size_t(width) * bpp;
      for (size_t row = 0; row < 3; ++row)
        for (size_t bit = 0; bit < stride * 8; ++bit) {
          BYTE mask = static_cast<BYTE>(0x80 >> (bit % 8));
          size_t at = row * stride + bit / 8;
          BYTE expected = bit < used ? (source[at] & mask) : (0xA5 & mask);
          ASSERT_EQ(out[at] & mask, expected) << "row " << row << " bit " << bit;
        }
      DeleteObject(section);
      DeleteDC(dc);
    }
  }
}

TEST(GdiGetDIBits, ConvertsDepthsAndDescribesTheBitmap) {
  Canvas c(2, 2);  // 24-bit
  SetPixel(c.dc(), 0, 0, RGB(200, 200, 200));  // light: nearest white
  SetPixel(c.dc(), 1, 0, RGB(90, 0, 0));       // dark: nearest black
  auto info = headerFor(2, -2, 1, 2);  // top-down request
  auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
  BYTE rows[8] = {};
  ASSERT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, 2, rows, bmi, DIB_RGB_COLORS), 2);
  EXPECT_EQ(rows[0] & 0xC0, 0x80);
  EXPECT_EQ(rows[4] & 0xC0, 0xC0);
  // 32-bit request from 24 bits: same colours, alpha 0.
  auto info32 = headerFor(2, 2, 32);
  DWORD px[4] = {};
  ASSERT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, 2, px, reinterpret_cast<BITMAPINFO*>(info32.data()), DIB_RGB_COLORS), 2);
  EXPECT_EQ(px[2], 0x00C8C8C8u);  // bottom-up: the top row comes second
  // biBitCount 0 asks for the bitmap's own description.
  auto query = headerFor(0, 0, 0);
  ASSERT_NE(GetDIBits(c.dc(), c.bitmap(), 0, 0, nullptr, reinterpret_cast<BITMAPINFO*>(query.data()), DIB_RGB_COLORS), 0);
  auto* h = reinterpret_cast<BITMAPINFOHEADER*>(query.data());
  EXPECT_EQ(h->biWidth, 2);
  EXPECT_EQ(h->biHeight, 2);
  EXPECT_EQ(h->biBitCount, 24);
  EXPECT_EQ(h->biSizeImage, 16u);
}

TEST(GdiSetDIBits, IntoDeviceBitmapsAndCreateDIBitmap) {
  twtest::LeakGuard guard;
  HDC screen = GetDC(nullptr);
  // 2 x 2 bottom-up 8-bit DIB: bottom row red red, top row blue blue.
  auto info = headerFor(2, 2, 8, 2);
  auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
  bmi->bmiColors[0] = {0, 0, 255, 0};
  bmi->bmiColors[1] = {255, 0, 0, 0};
  BYTE bits[8] = {0, 0, 0, 0, 1, 1, 0, 0};
  HBITMAP ddb = CreateDIBitmap(screen, &bmi->bmiHeader, CBM_INIT, bits, bmi, DIB_RGB_COLORS);
  ASSERT_NE(ddb, nullptr);
  BITMAP bm{};
  GetObjectW(ddb, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 32);  // the screen's depth
  EXPECT_EQ(bm.bmBits, nullptr);  // device-dependent: no bits pointer
  HDC dc = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(dc, ddb);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 0, 0));
  SelectObject(dc, old);
  // SetDIBits of scan line 1 only (the top row) with new bits.
  BYTE top[4] = {0, 0, 0, 0};
  ASSERT_EQ(SetDIBits(dc, ddb, 1, 1, top, bmi, DIB_RGB_COLORS), 1);
  SelectObject(dc, ddb);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 0, 1), RGB(255, 0, 0));
  SelectObject(dc, old);
  DeleteObject(ddb);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}

TEST(GdiBitmaps, MonochromeBitmapsAndFailureHook) {
  twtest::LeakGuard guard;
  const BYTE bits[4] = {0xF0, 0x00, 0x0F, 0x00};  // rows padded to 16 bits
  HBITMAP mono = CreateBitmap(8, 2, 1, 1, bits);
  ASSERT_NE(mono, nullptr);
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(mono, sizeof(bm), &bm), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(bm.bmWidthBytes, 2);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  EXPECT_EQ(bm.bmHeight, 2);
  BYTE back[4] = {};
  EXPECT_EQ(GetBitmapBits(mono, 4, back), 4);
  EXPECT_EQ(std::memcmp(back, bits, 4), 0);
  DeleteObject(mono);

  tw::gdi::FailNextBitmapCreations(1);
  EXPECT_EQ(CreateBitmap(8, 8, 1, 1, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  HBITMAP again = CreateBitmap(8, 8, 1, 1, nullptr);
  EXPECT_NE(again, nullptr);
  DeleteObject(again);
  EXPECT_EQ(CreateBitmap(4, 4, 2, 1, nullptr), nullptr);  // planes must be 1
}

TEST(GdiBitmaps, CompatibleBitmapsFollowTheSelectedBitmap) {
  twtest::LeakGuard guard;
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP first = CreateCompatibleBitmap(mem, 4, 4);  // holds the default 1x1 mono bitmap
  BITMAP bm{};
  GetObjectW(first, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  HDC screen = GetDC(nullptr);
  HBITMAP colour = CreateCompatibleBitmap(screen, 4, 4);
  GetObjectW(colour, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 32);
  HGDIOBJ old = SelectObject(mem, colour);
  HBITMAP second = CreateCompatibleBitmap(mem, 4, 4);
  GetObjectW(second, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmBitsPixel, 32);
  // A bitmap is selected into one DC at a time.
  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(other, colour), nullptr);
  SelectObject(mem, old);
  EXPECT_NE(SelectObject(other, colour), nullptr);
  DeleteDC(other);  // deleting a DC releases its bitmap
  EXPECT_NE(SelectObject(mem, colour), nullptr);
  SelectObject(mem, old);
  for (HBITMAP b : {first, colour, second}) DeleteObject(b);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
}

}  // namespace
