// Blits: stretch modes, source origins, colour <-> monochrome rules, ROPs,
// AlphaBlend, transforms applied to blits, compressed and partial DIBs.
#include <windows.h>

#include <cstring>
#include <vector>

#include "gdi_test_util.h"
#include "tw_test.h"

using gditest::Canvas;
using gditest::Selected;

namespace {

// A packed DIB built in memory: header, colour table, rows.
struct TestDib {
  std::vector<BYTE> info;
  std::vector<BYTE> bits;
  const BITMAPINFO* bmi() const { return reinterpret_cast<const BITMAPINFO*>(info.data()); }

  TestDib(int w, int h, int bpp, std::vector<RGBQUAD> colors = {}, DWORD compression = BI_RGB) {
    info.resize(sizeof(BITMAPINFOHEADER) + colors.size() * 4 + (compression == BI_BITFIELDS ? 12 : 0));
    BITMAPINFOHEADER hdr{sizeof(BITMAPINFOHEADER), w, h, 1, static_cast<WORD>(bpp), compression, 0, 0, 0,
                         static_cast<DWORD>(colors.size()), 0};
    std::memcpy(info.data(), &hdr, sizeof(hdr));
    if (!colors.empty()) std::memcpy(info.data() + sizeof(hdr), colors.data(), colors.size() * 4);
    bits.assign(static_cast<size_t>((w * bpp + 31) / 32 * 4) * (h < 0 ? -h : h), 0);
  }
  int stride() const { return static_cast<int>((bmi()->bmiHeader.biWidth * bmi()->bmiHeader.biBitCount + 31) / 32 * 4); }
  // Writes a 24-bit pixel at memory row r (the first row in memory is 0).
  void Put24(int x, int memoryRow, DWORD rgb) {
    BYTE* p = bits.data() + memoryRow * stride() + 3 * x;
    p[0] = static_cast<BYTE>(rgb);
    p[1] = static_cast<BYTE>(rgb >> 8);
    p[2] = static_cast<BYTE>(rgb >> 16);
  }
};

RGBQUAD q(BYTE r, BYTE g, BYTE b) { return {b, g, r, 0}; }

TEST(GdiStretch, BlackOnWhiteKeepsBlackWhenShrinking) {
  TestDib dib(4, -4, 24);  // top-down, white with one black pixel at (1, 2)
  std::fill(dib.bits.begin(), dib.bits.end(), 0xFF);
  dib.Put24(1, 2, 0x000000);
  Canvas c(2, 2);
  SetStretchBltMode(c.dc(), BLACKONWHITE);
  ASSERT_EQ(StretchDIBits(c.dc(), 0, 0, 2, 2, 0, 0, 4, 4, dib.bits.data(), dib.bmi(), DIB_RGB_COLORS, SRCCOPY), 4);
  EXPECT_EQ(c.Picture(), (std::vector<std::string>{"..", "#."}));
  // WHITEONBLACK keeps white the same way.
  std::fill(dib.bits.begin(), dib.bits.end(), 0x00);
  dib.Put24(3, 0, 0xFFFFFF);
  c.Fill(0x00);
  SetStretchBltMode(c.dc(), WHITEONBLACK);
  StretchDIBits(c.dc(), 0, 0, 2, 2, 0, 0, 4, 4, dib.bits.data(), dib.bmi(), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(c.Picture(), (std::vector<std::string>{"#.", "##"}));
}

TEST(GdiStretch, MonochromeHalvingKeepsThinLines) {
  // The page path of a 600 DPI rendering shrunk to 300 DPI: monochrome to
  // monochrome, BLACKONWHITE, a one-pixel line must survive.
  twtest::LeakGuard guard;
  HDC src = CreateCompatibleDC(nullptr), dst = CreateCompatibleDC(nullptr);
  HBITMAP big = CreateBitmap(8, 8, 1, 1, nullptr), small = CreateBitmap(4, 4, 1, 1, nullptr);
  HGDIOBJ oldSrc = SelectObject(src, big), oldDst = SelectObject(dst, small);
  PatBlt(src, 0, 0, 8, 8, WHITENESS);
  PatBlt(src, 3, 0, 1, 8, BLACKNESS);  // a vertical line in column 3
  SetStretchBltMode(dst, BLACKONWHITE);
  ASSERT_TRUE(StretchBlt(dst, 0, 0, 4, 4, src, 0, 0, 8, 8, SRCCOPY));
  BYTE bits[8];
  ASSERT_EQ(GetBitmapBits(small, sizeof(bits), bits), 8);
  for (int row = 0; row < 4; ++row) EXPECT_EQ(bits[2 * row] & 0xF0, 0xB0) << row;  // 1011: column 1 black
  SelectObject(src, oldSrc);
  SelectObject(dst, oldDst);
  DeleteObject(big);
  DeleteObject(small);
  DeleteDC(src);
  DeleteDC(dst);
}

TEST(GdiStretch, HalftoneAveragesTheArea) {
  TestDib dib(2, -2, 24);
  dib.Put24(0, 0, 0x000000);
  dib.Put24(1, 0, 0xFFFFFF);
  dib.Put24(0, 1, 0xFFFFFF);
  dib.Put24(1, 1, 0x000000);
  Canvas c(1, 1);
  SetStretchBltMode(c.dc(), HALFTONE);
  StretchDIBits(c.dc(), 0, 0, 1, 1, 0, 0, 2, 2, dib.bits.data(), dib.bmi(), DIB_RGB_COLORS, SRCCOPY);
  DWORD p = c.Pixel(0, 0);
  EXPECT_NEAR(static_cast<int>(p & 0xFF), 128, 1);
  EXPECT_EQ(p & 0xFF, (p >> 8) & 0xFF);
}

TEST(GdiStretchDIBits, SourceYCountsFromTheBottomOfABottomUpDib) {
  // Memory rows, first to last: red, green, blue, white.
  for (bool bottomUp : {true, false}) {
    TestDib dib(1, bottomUp ? 4 : -4, 24);
    DWORD rows[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    for (int r = 0; r < 4; ++r) dib.Put24(0, r, rows[r]);
    Canvas c(1, 2);
    ASSERT_EQ(StretchDIBits(c.dc(), 0, 0, 1, 2, 0, 0, 1, 2, dib.bits.data(), dib.bmi(), DIB_RGB_COLORS, SRCCOPY), 2);
    if (bottomUp) {
      // Rows 0..1 from the bottom: green above red.
      EXPECT_EQ(c.Pixel(0, 0), 0x00FF00u);
      EXPECT_EQ(c.Pixel(0, 1), 0xFF0000u);
    } else {
      EXPECT_EQ(c.Pixel(0, 0), 0xFF0000u);
      EXPECT_EQ(c.Pixel(0, 1), 0x00FF00u);
    }
  }
}

TEST(GdiStretchDIBits, PaletteBitfieldsAndRleSources) {
  Canvas c(4, 2);
  // 4 bits per pixel with a table.
  TestDib four(2, -1, 4, {q(0, 0, 0), q(255, 0, 0), q(0, 0, 255)});
  four.bits[0] = 0x12;  // red, blue
  StretchDIBits(c.dc(), 0, 0, 2, 1, 0, 0, 2, 1, four.bits.data(), four.bmi(), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(c.Pixel(0, 0), 0xFF0000u);
  EXPECT_EQ(c.Pixel(1, 0), 0x0000FFu);
  // 16 bits with 5-6-5 masks.
  TestDib fields(1, -1, 16, {}, BI_BITFIELDS);
  DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
  std::memcpy(fields.info.data() + sizeof(BITMAPINFOHEADER), masks, 12);
  fields.bits[0] = 0xE0;  // 0x07E0: full green
  fields.bits[1] = 0x07;
  StretchDIBits(c.dc(), 2, 0, 1, 1, 0, 0, 1, 1, fields.bits.data(), fields.bmi(), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(c.Pixel(2, 0), 0x00FF00u);

  // RLE8: bottom row four red, top row two green then nothing (pixels the
  // stream leaves unset are not drawn).
  Canvas r(4, 2);
  TestDib rle(4, 2, 8, {q(0, 0, 0), q(255, 0, 0), q(0, 255, 0)}, BI_RLE8);
  const BYTE stream[] = {4, 1, 0, 0, 2, 2, 0, 1};
  rle.bits.assign(stream, stream + sizeof(stream));
  reinterpret_cast<BITMAPINFOHEADER*>(rle.info.data())->biSizeImage = sizeof(stream);
  ASSERT_EQ(StretchDIBits(r.dc(), 0, 0, 4, 2, 0, 0, 4, 2, rle.bits.data(), rle.bmi(), DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(r.Pixel(0, 0), 0x00FF00u);
  EXPECT_EQ(r.Pixel(1, 0), 0x00FF00u);
  EXPECT_EQ(r.Pixel(2, 0), 0xFFFFFFu);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(r.Pixel(x, 1), 0xFF0000u);
}

TEST(GdiStretchDIBits, BadInputFails) {
  Canvas c(2, 2);
  TestDib dib(1, 1, 24);
  EXPECT_EQ(StretchDIBits(c.dc(), 0, 0, 1, 1, 0, 0, 1, 1, nullptr, dib.bmi(), DIB_RGB_COLORS, SRCCOPY), 0);
  TestDib bad(1, 1, 7);
  EXPECT_EQ(StretchDIBits(c.dc(), 0, 0, 1, 1, 0, 0, 1, 1, bad.bits.data(), bad.bmi(), DIB_RGB_COLORS, SRCCOPY), 0);
  EXPECT_EQ(StretchDIBits(reinterpret_cast<HDC>(0x1234), 0, 0, 1, 1, 0, 0, 1, 1, dib.bits.data(), dib.bmi(),
                          DIB_RGB_COLORS, SRCCOPY),
            0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(GdiSetDIBitsToDevice, DrawsOnlyTheScanLinesGiven) {
  // A 1 x 4 bottom-up DIB of which only scan lines 1 and 2 are passed.
  TestDib dib(1, 4, 24);
  std::vector<BYTE> part(2 * 4);
  part[0 * 4 + 2] = 0xFF;  // scan line 1: red
  part[1 * 4 + 1] = 0xFF;  // scan line 2: green
  Canvas c(1, 4);
  ASSERT_EQ(SetDIBitsToDevice(c.dc(), 0, 0, 1, 4, 0, 0, 1, 2, part.data(), dib.bmi(), DIB_RGB_COLORS), 2);
  EXPECT_EQ(c.Pixel(0, 0), 0xFFFFFFu);  // scan line 3 (top): not given
  EXPECT_EQ(c.Pixel(0, 1), 0x00FF00u);
  EXPECT_EQ(c.Pixel(0, 2), 0xFF0000u);
  EXPECT_EQ(c.Pixel(0, 3), 0xFFFFFFu);
}

TEST(GdiBlt, MonochromeAndColourConversions) {
  twtest::LeakGuard guard;
  // Mono -> colour: 0 bits take the destination's text colour, 1 bits its
  // background colour.
  HDC mdc = CreateCompatibleDC(nullptr);
  const BYTE monoBits[2] = {0x30, 0x00};  // 0011 0000: pixels 2 and 3 set
  HBITMAP mono = CreateBitmap(4, 1, 1, 1, monoBits);
  HGDIOBJ old = SelectObject(mdc, mono);
  Canvas c(4, 1);
  SetTextColor(c.dc(), RGB(255, 0, 0));
  SetBkColor(c.dc(), RGB(0, 0, 255));
  ASSERT_TRUE(BitBlt(c.dc(), 0, 0, 4, 1, mdc, 0, 0, SRCCOPY));
  EXPECT_EQ(c.Pixel(0, 0), 0xFF0000u);
  EXPECT_EQ(c.Pixel(1, 0), 0xFF0000u);
  EXPECT_EQ(c.Pixel(2, 0), 0x0000FFu);
  // Colour -> mono: the source's background colour becomes 1, all else 0.
  SetPixel(c.dc(), 0, 0, RGB(0, 255, 0));
  SetBkColor(c.dc(), RGB(0, 255, 0));
  ASSERT_TRUE(BitBlt(mdc, 0, 0, 4, 1, c.dc(), 0, 0, SRCCOPY));
  BYTE out[2] = {};
  GetBitmapBits(mono, 2, out);
  EXPECT_EQ(out[0] & 0xF0, 0x80);
  SelectObject(mdc, old);
  DeleteObject(mono);
  DeleteDC(mdc);
}

TEST(GdiBlt, NamedAndGeneralRops) {
  struct Case {
    DWORD rop;
    DWORD expected;
  } cases[] = {
      {SRCCOPY, 0x00FF00},     {SRCAND, 0x000000},     {SRCPAINT, 0x00FFFF},  {SRCINVERT, 0x00FFFF},
      {SRCERASE, 0x00FF00},    {NOTSRCCOPY, 0xFF00FF}, {NOTSRCERASE, 0xFF0000}, {MERGECOPY, 0x00FF00},
      {MERGEPAINT, 0xFF00FF},  {PATCOPY, 0xFFFF00},    {PATINVERT, 0xFFFFFF}, {DSTINVERT, 0xFFFF00},
      {BLACKNESS, 0x000000},   {WHITENESS, 0xFFFFFF},  {PATPAINT, 0xFFFFFF},
      {0x00B8074A, 0xFF0000},  // ((D ^ P) & S) ^ P
  };
  Canvas src(1, 1);
  SetPixel(src.dc(), 0, 0, RGB(0, 255, 0));  // S green
  for (const Case& t : cases) {
    Canvas c(1, 1);
    SetPixel(c.dc(), 0, 0, RGB(0, 0, 255));  // D blue
    Selected brush(c.dc(), CreateSolidBrush(RGB(255, 255, 0)));  // P yellow
    ASSERT_TRUE(BitBlt(c.dc(), 0, 0, 1, 1, src.dc(), 0, 0, t.rop)) << std::hex << t.rop;
    EXPECT_EQ(c.Pixel(0, 0), t.expected) << std::hex << t.rop;
  }
}

TEST(GdiBlt, PatternBrushesFollowTheBrushOrigin) {
  TestDib pattern(2, -2, 24);  // checker: black at (0,0) and (1,1)
  std::fill(pattern.bits.begin(), pattern.bits.end(), 0xFF);
  pattern.Put24(0, 0, 0);
  pattern.Put24(1, 1, 0);
  std::vector<BYTE> packed(pattern.info);
  packed.insert(packed.end(), pattern.bits.begin(), pattern.bits.end());
  Canvas c(4, 2);
  {
    Selected brush(c.dc(), CreateDIBPatternBrushPt(packed.data(), DIB_RGB_COLORS));
    ASSERT_TRUE(PatBlt(c.dc(), 0, 0, 4, 2, PATCOPY));
    EXPECT_EQ(c.Picture(), (std::vector<std::string>{"#.#.", ".#.#"}));
    SetBrushOrgEx(c.dc(), 1, 0, nullptr);
    PatBlt(c.dc(), 0, 0, 4, 2, PATCOPY);
    EXPECT_EQ(c.Picture(), (std::vector<std::string>{".#.#", "#.#."}));
  }
  EXPECT_FALSE(PatBlt(c.dc(), 0, 0, 1, 1, SRCCOPY));  // PatBlt takes no source
}

TEST(GdiBlt, MirroringAndRotationApplyToBlits) {
  Canvas src(2, 1);
  SetPixel(src.dc(), 0, 0, RGB(0, 0, 0));  // black, white
  {
    // Negative destination width mirrors.
    Canvas c(2, 1);
    ASSERT_TRUE(StretchBlt(c.dc(), 2, 0, -2, 1, src.dc(), 0, 0, 2, 1, SRCCOPY));
    EXPECT_EQ(c.Text(0), ".#");
  }
  {
    // A mirroring world transform: x' = 4 - x.
    Canvas c(4, 1);
    SetGraphicsMode(c.dc(), GM_ADVANCED);
    XFORM mirror{-1, 0, 0, 1, 4, 0};
    ASSERT_TRUE(SetWorldTransform(c.dc(), &mirror));
    ASSERT_TRUE(BitBlt(c.dc(), 0, 0, 2, 1, src.dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(c.Text(0), "...#");
  }
  {
    // A quarter turn: x' = 10 - y, y' = x. The source's left pixel lands on
    // device column 9, row 0; its right pixel on row 1.
    Canvas c(12, 3);
    SetGraphicsMode(c.dc(), GM_ADVANCED);
    XFORM turn{0, 1, -1, 0, 10, 0};
    ASSERT_TRUE(SetWorldTransform(c.dc(), &turn));
    PatBlt(c.dc(), 0, 0, 2, 1, BLACKNESS);  // the whole target goes black first
    EXPECT_EQ(c.CountBlack(0, 0, 12, 3), 2);
    EXPECT_TRUE(c.Black(9, 0));
    EXPECT_TRUE(c.Black(9, 1));
    ASSERT_TRUE(BitBlt(c.dc(), 0, 0, 2, 1, src.dc(), 0, 0, SRCCOPY));
    EXPECT_TRUE(c.Black(9, 0));
    EXPECT_FALSE(c.Black(9, 1));
  }
}

TEST(GdiAlphaBlend, PremultipliedSourceAndConstantAlpha) {
  twtest::LeakGuard guard;
  // One premultiplied pixel: red at half coverage (R 128, A 128).
  Canvas src(1, 1, 32);
  DWORD pixel = 0x80800000;
  std::memcpy(src.bits(), &pixel, 4);
  struct Case {
    BYTE constant;
    int r, g;
  } cases[] = {{255, 255, 127}, {127, 255, 191}};
  for (const Case& t : cases) {
    Canvas c(1, 1);  // white
    BLENDFUNCTION bf{AC_SRC_OVER, 0, t.constant, AC_SRC_ALPHA};
    ASSERT_TRUE(AlphaBlend(c.dc(), 0, 0, 1, 1, src.dc(), 0, 0, 1, 1, bf));
    // dst = src * SCA / 255 + dst * (1 - srcA * SCA / 255^2)
    EXPECT_NEAR(static_cast<int>(c.Pixel(0, 0) >> 16), t.r, 1);
    EXPECT_NEAR(static_cast<int>((c.Pixel(0, 0) >> 8) & 0xFF), t.g, 1);
    EXPECT_NEAR(static_cast<int>(c.Pixel(0, 0) & 0xFF), t.g, 1);
  }
  // Without per-pixel alpha only the constant counts.
  Canvas opaque(1, 1);
  SetPixel(opaque.dc(), 0, 0, RGB(255, 0, 0));
  Canvas c(1, 1);
  ASSERT_TRUE(AlphaBlend(c.dc(), 0, 0, 1, 1, opaque.dc(), 0, 0, 1, 1, BLENDFUNCTION{AC_SRC_OVER, 0, 128, 0}));
  EXPECT_NEAR(static_cast<int>((c.Pixel(0, 0) >> 8) & 0xFF), 127, 1);
}

TEST(GdiAlphaBlend, FailsWhereTheCallerFallsBack) {
  Canvas src(2, 2, 32), src24(2, 2, 24), c(4, 4);
  BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  EXPECT_FALSE(AlphaBlend(c.dc(), 0, 0, 2, 2, src.dc(), 1, 1, 2, 2, bf));  // source rect outside
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(AlphaBlend(c.dc(), 0, 0, -2, 2, src.dc(), 0, 0, 2, 2, bf));
  EXPECT_FALSE(AlphaBlend(c.dc(), 0, 0, 2, 2, src24.dc(), 0, 0, 2, 2, bf));  // per-pixel alpha needs 32 bits
  BLENDFUNCTION badOp{1, 0, 255, 0};
  EXPECT_FALSE(AlphaBlend(c.dc(), 0, 0, 2, 2, src.dc(), 0, 0, 2, 2, badOp));
  EXPECT_TRUE(AlphaBlend(c.dc(), 0, 0, 4, 4, src.dc(), 0, 0, 2, 2, bf));
}

TEST(GdiAlphaBlend, MonochromeTargetBlendsThenThresholds) {
  twtest::LeakGuard guard;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP mono = CreateBitmap(2, 1, 1, 1, nullptr);
  HGDIOBJ old = SelectObject(dc, mono);
  PatBlt(dc, 0, 0, 2, 1, WHITENESS);
  Canvas src(2, 1);
  SetPixel(src.dc(), 0, 0, RGB(0, 0, 0));
  // Black at 25 % stays light (white); at 75 % it turns black.
  AlphaBlend(dc, 0, 0, 1, 1, src.dc(), 0, 0, 1, 1, BLENDFUNCTION{AC_SRC_OVER, 0, 64, 0});
  AlphaBlend(dc, 1, 0, 1, 1, src.dc(), 0, 0, 1, 1, BLENDFUNCTION{AC_SRC_OVER, 0, 192, 0});
  BYTE bits[2] = {};
  GetBitmapBits(mono, 2, bits);
  EXPECT_EQ(bits[0] & 0xC0, 0x80);
  SelectObject(dc, old);
  DeleteObject(mono);
  DeleteDC(dc);
}

TEST(GdiBlt, TransparentAndMaskBlt) {
  Canvas src(3, 1);
  SetPixel(src.dc(), 1, 0, RGB(255, 0, 0));
  Canvas c(3, 1);
  c.Fill(0x00);
  ASSERT_TRUE(TransparentBlt(c.dc(), 0, 0, 3, 1, src.dc(), 0, 0, 3, 1, RGB(255, 255, 255)));
  EXPECT_EQ(c.Pixel(0, 0), 0x000000u);
  EXPECT_EQ(c.Pixel(1, 0), 0xFF0000u);
  EXPECT_EQ(c.Pixel(2, 0), 0x000000u);

  twtest::LeakGuard guard;
  const BYTE maskBits[2] = {0xA0, 0};  // 101: pixels 0 and 2 take the foreground ROP
  HBITMAP mask = CreateBitmap(3, 1, 1, 1, maskBits);
  Canvas d(3, 1);
  d.Fill(0x00);
  ASSERT_TRUE(MaskBlt(d.dc(), 0, 0, 3, 1, src.dc(), 0, 0, mask, 0, 0, MAKEROP4(SRCCOPY, 0x00AA0029)));
  EXPECT_EQ(d.Pixel(0, 0), 0xFFFFFFu);
  EXPECT_EQ(d.Pixel(1, 0), 0x000000u);
  EXPECT_EQ(d.Pixel(2, 0), 0xFFFFFFu);
  DeleteObject(mask);
}

TEST(GdiBlt, ClippedAndWindowOrigin) {
  Canvas src(4, 4);
  src.Fill(0x00);
  Canvas c(6, 6);
  SetWindowOrgEx(c.dc(), 2, 2, nullptr);  // logical (2, 2) is device (0, 0)
  IntersectClipRect(c.dc(), 2, 2, 4, 4);
  ASSERT_TRUE(BitBlt(c.dc(), 1, 1, 4, 4, src.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(c.CountBlack(0, 0, 6, 6), 4);
  EXPECT_TRUE(c.Black(0, 0));
  EXPECT_TRUE(c.Black(1, 1));
}

}  // namespace

namespace {

TEST(GdiSolidFill, TrueColourSpansWriteEveryByteOfTheirPixelsOnly) {
  // Fills that replace their pixels are written as bytes (memset for greys);
  // the pixels beside the span and the rows' padding are left alone.
  twtest::LeakGuard guard;
  Canvas c(7, 3, 24);
  c.Fill(0x5A);
  for (COLORREF color : {RGB(255, 255, 255), RGB(0, 0, 0), RGB(0x12, 0x34, 0x56)}) {
    HBRUSH brush = CreateSolidBrush(color);
    HGDIOBJ old = SelectObject(c.dc(), brush);
    PatBlt(c.dc(), 2, 1, 4, 1, PATCOPY);
    SelectObject(c.dc(), old);
    DeleteObject(brush);
    const DWORD rgb = (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
    for (int x = 2; x < 6; ++x) EXPECT_EQ(c.Pixel(x, 1), rgb) << x;
    EXPECT_EQ(c.Pixel(1, 1), 0x5A5A5Au);
    EXPECT_EQ(c.Pixel(6, 1), 0x5A5A5Au);
    EXPECT_EQ(c.Row(1)[21], 0x5A);  // padding
    EXPECT_EQ(c.Pixel(3, 0), 0x5A5A5Au);
  }
  // A span that keeps part of its pixels (an inverting pattern) still goes pixel by pixel.
  PatBlt(c.dc(), 0, 2, 7, 1, DSTINVERT);
  EXPECT_EQ(c.Pixel(4, 2), 0xA5A5A5u);
}

}  // namespace
