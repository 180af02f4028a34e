// Grey conversion, the fixed threshold and Stucki dithering: exact values
// where the rule fixes them, and the tone they keep where it diffuses.
#include <gtest/gtest.h>

#include "output/imaging/dib_ops.h"
#include "tw_test_dib.h"
#include "tw_test.h"

using namespace tw::imaging;
using twtest::DibBytes;
using twtest::DibView;
using twtest::InputBlock;

namespace {

std::uint32_t Bgr(unsigned b, unsigned g, unsigned r) { return b | g << 8 | r << 16; }

TEST(ImagingGrey, TwentyFourBitsAverageTheChannels) {
  twtest::LeakGuard guard;
  DibBytes dib(5, 2, 24, {}, false);
  const unsigned samples[5][3] = {{0, 0, 0}, {255, 255, 255}, {1, 1, 2}, {10, 20, 31}, {255, 0, 1}};
  for (LONG x = 0; x < 5; ++x) dib.Set(x, 1, Bgr(samples[x][0], samples[x][1], samples[x][2]));
  InputBlock in(dib);
  DibView out(ConvertToGrey(in.get()));
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(out.layout().bits, 8);
  EXPECT_EQ(out.Header().biClrUsed, 256u);
  EXPECT_EQ(out.Header().biXPelsPerMeter, 11811);
  for (unsigned i = 0; i < 256; ++i) ASSERT_EQ(out.Table()[i].rgbRed, i);
  const unsigned expected[5] = {0, 255, 1, 20, 85};
  for (LONG x = 0; x < 5; ++x) EXPECT_EQ(out.Get(x, 1), expected[x]) << x;
  EXPECT_TRUE(out.PaddingClear());
}

TEST(ImagingGrey, OneBitGoesThroughItsTable) {
  twtest::LeakGuard guard;
  for (bool inverted : {false, true}) {
    auto table = twtest::BlackWhiteTable();
    if (inverted) std::swap(table[0], table[1]);
    DibBytes dib(11, 1, 1, table);
    dib.Set(0, 0, 1);
    dib.Set(10, 0, 1);
    InputBlock in(dib);
    DibView out(ConvertToGrey(in.get()));
    ASSERT_TRUE(out.ok());
    const unsigned set = inverted ? 0 : 255, clear = inverted ? 255 : 0;
    EXPECT_EQ(out.Get(0, 0), set);
    EXPECT_EQ(out.Get(1, 0), clear);
    EXPECT_EQ(out.Get(10, 0), set);
  }
}

TEST(ImagingGrey, PaletteImagesKeepPixelsAndGetAGreyTable) {
  twtest::LeakGuard guard;
  std::vector<RGBQUAD> table = {{30, 60, 90, 0}, {255, 0, 0, 0}, {3, 3, 3, 0}};
  for (WORD bits : {4, 8}) {
    DibBytes dib(7, 3, bits, table);
    dib.Randomise(bits);
    InputBlock in(dib);
    DibView out(ConvertToGrey(in.get()));
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(out.layout().bits, bits);
    EXPECT_EQ(out.Header().biClrUsed, bits == 4 ? 16u : 256u);
    EXPECT_EQ(out.Table()[0].rgbBlue, 60);
    EXPECT_EQ(out.Table()[0].rgbRed, 60);
    EXPECT_EQ(out.Table()[1].rgbGreen, 85);
    EXPECT_EQ(out.Table()[2].rgbGreen, 3);
    EXPECT_EQ(out.Table()[3].rgbGreen, 0) << "entries past the input's table are black";
    for (LONG y = 0; y < 3; ++y)
      for (LONG x = 0; x < 7; ++x) ASSERT_EQ(out.Get(x, y), dib.Get(x, y));
  }
  DibBytes deep(4, 4, 32);
  InputBlock in(deep);
  EXPECT_EQ(ConvertToGrey(in.get()), nullptr);
}

TEST(ImagingThreshold, SumOf384IsWhite) {
  twtest::LeakGuard guard;
  DibBytes dib(10, 1, 24);
  dib.Set(0, 0, Bgr(127, 128, 128));  // 383
  dib.Set(1, 0, Bgr(128, 128, 128));  // 384
  dib.Set(9, 0, Bgr(255, 255, 255));
  InputBlock in(dib);
  DibView out(DitherThreshold(in.get(), 77));
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(out.layout().bits, 1);
  EXPECT_EQ(out.Header().biClrUsed, 2u);
  EXPECT_EQ(out.Table()[0].rgbRed, 0);
  EXPECT_EQ(out.Table()[1].rgbRed, 255);
  EXPECT_EQ(out.Get(0, 0), 0u);
  EXPECT_EQ(out.Get(1, 0), 1u);
  EXPECT_EQ(out.Get(2, 0), 0u);
  EXPECT_EQ(out.Get(9, 0), 1u);
  EXPECT_TRUE(out.PaddingClear());
  DibBytes grey(4, 4, 8, twtest::GreyTable(256));
  InputBlock g(grey);
  EXPECT_EQ(DitherThreshold(g.get(), 0), nullptr) << "24-bit input only";
}

// A horizontal grey ramp 0..255 over the width, as 24-bit pixels.
DibBytes Ramp(LONG width, LONG height) {
  DibBytes dib(width, height, 24);
  for (LONG y = 0; y < height; ++y)
    for (LONG x = 0; x < width; ++x) {
      unsigned v = static_cast<unsigned>(x * 255 / (width - 1));
      dib.Set(x, y, Bgr(v, v, v));
    }
  return dib;
}

double MeanWhite(const DibView& out, LONG x0, LONG x1) {
  double white = 0;
  for (LONG y = 0; y < out.Height(); ++y)
    for (LONG x = x0; x < x1; ++x) white += out.Get(x, y);
  return white / (static_cast<double>(x1 - x0) * out.Height());
}

TEST(ImagingStucki, OneBitKeepsTheToneOfARamp) {
  twtest::LeakGuard guard;
  DibBytes dib = Ramp(512, 64);
  InputBlock in(dib);
  DibView out(StuckiDither(in.get(), 1));
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(out.layout().bits, 1);
  EXPECT_EQ(out.Table()[1].rgbGreen, 255);
  EXPECT_NEAR(MeanWhite(out, 0, 512), 0.5, 0.02) << "mean grey of the whole ramp";
  // Each eighth of the ramp keeps its own mean within 3 % (the shares are
  // truncated, so errors of a few levels near black and white are lost).
  for (LONG part = 0; part < 8; ++part) {
    double expected = 0;
    for (LONG x = part * 64; x < part * 64 + 64; ++x) expected += x * 255 / 511 / 255.0;
    EXPECT_NEAR(MeanWhite(out, part * 64, part * 64 + 64), expected / 64, 0.03) << "part " << part;
  }
  EXPECT_EQ(MeanWhite(out, 0, 1), 0.0) << "black stays black";
}

TEST(ImagingStucki, ErrorGoesToTheNextPixelTruncated) {
  // 200 is white with error -55; the next pixel gets trunc(4 * -55 / 21)
  // = -10, so 130 becomes 120: black.
  twtest::LeakGuard guard;
  DibBytes dib(2, 1, 24);
  dib.Set(0, 0, Bgr(200, 200, 200));
  dib.Set(1, 0, Bgr(130, 130, 130));
  InputBlock in(dib);
  DibView out(StuckiDither(in.get(), 1));
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(out.Get(0, 0), 1u);
  EXPECT_EQ(out.Get(1, 0), 0u);
}

TEST(ImagingStucki, EightBitsTableAndBoundedError) {
  twtest::LeakGuard guard;
  // Rows 0-9 pure blue, 10-19 white, 20-59 ramps: red up, green down, blue
  // up at half the pace.
  const LONG w = 2000, h = 60;
  DibBytes dib(w, h, 24);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) {
      unsigned v = static_cast<unsigned>(x * 255 / (w - 1));
      dib.Set(x, y, y < 10 ? Bgr(255, 0, 0) : y < 20 ? Bgr(255, 255, 255) : Bgr(v / 2, 255 - v, v));
    }
  InputBlock in(dib);
  DibView out(StuckiDither(in.get(), 8));
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(out.layout().bits, 8);
  EXPECT_EQ(out.Header().biClrUsed, 256u);
  const RGBQUAD& e = out.Table()[0xB7];  // 101 101 11: red 5, green 5, blue 3
  EXPECT_EQ(e.rgbRed, 180);
  EXPECT_EQ(e.rgbGreen, 180);
  EXPECT_EQ(e.rgbBlue, 255);
  // Pure blue is blue level 3 and white the top entry, all along the row:
  // the error of a bright pixel stays bounded instead of piling up until
  // an accumulator wraps.
  for (LONG y = 0; y < 20; ++y)
    for (LONG x = 0; x < w; ++x) ASSERT_EQ(out.Get(x, y), y < 10 ? 3u : 255u) << x << "," << y;
  // The ramps keep their mean through the table's colours.
  double r = 0, g = 0, b = 0, n = 0;
  for (LONG y = 22; y < h; ++y)
    for (LONG x = 0; x < w; ++x, ++n) {
      const RGBQUAD& c = out.Table()[out.Get(x, y)];
      r += c.rgbRed;
      g += c.rgbGreen;
      b += c.rgbBlue;
    }
  EXPECT_NEAR(r / n, 127.5, 255 * 0.02);
  EXPECT_NEAR(g / n, 127.5, 255 * 0.02);
  EXPECT_NEAR(b / n, 63.75, 255 * 0.02);
}

// Stucki as written out: every share added where it lands, rows bottom-up.
// Errors of the 8-bit variant are taken against the table's colours.
std::vector<int> ReferenceStucki(DibBytes& in, int bits) {
  const LONG w = in.width, h = in.height;
  const int channels = bits == 1 ? 1 : 3;
  std::vector<std::vector<int>> acc(static_cast<std::size_t>(channels * (h + 2)), std::vector<int>(static_cast<std::size_t>(w) + 4, 0));
  std::vector<int> out(static_cast<std::size_t>(w * h), 0);
  for (LONG m = 0; m < h; ++m) {
    const LONG y = h - 1 - m;  // memory order
    for (LONG x = 0; x < w; ++x) {
      const std::uint32_t p = in.Get(x, y);
      const int b = p & 0xFF, g = p >> 8 & 0xFF, r = p >> 16 & 0xFF;
      int result = 0;
      for (int c = 0; c < channels; ++c) {
        int value = bits == 1 ? std::min(255, (30 * r + 59 * g + 11 * b) / 100) : c == 0 ? r : c == 1 ? g : b;
        auto row = [&](LONG dy) -> std::vector<int>& { return acc[static_cast<std::size_t>(c * (h + 2) + m + dy)]; };
        const int v = value + row(0)[static_cast<std::size_t>(x) + 2];
        int e;
        if (bits == 1) {
          result = v > 128;
          e = v > 128 ? v - 255 : v;
        } else {
          const int level = std::clamp(v / (c == 2 ? 64 : 32), 0, c == 2 ? 3 : 7);
          result += level * (c == 0 ? 32 : c == 1 ? 4 : 1);
          e = v - level * (c == 2 ? 85 : 36);
        }
        const int share[5] = {e / 42, e / 21, e * 2 / 21, e * 4 / 21};
        const std::size_t at = static_cast<std::size_t>(x) + 2;
        row(0)[at + 1] += share[3];
        row(0)[at + 2] += share[2];
        const int next[5] = {share[1], share[2], share[3], share[2], share[1]};
        const int after[5] = {share[0], share[1], share[2], share[1], share[0]};
        for (int k = 0; k < 5; ++k) {
          row(1)[at - 2 + static_cast<std::size_t>(k)] += next[k];
          row(2)[at - 2 + static_cast<std::size_t>(k)] += after[k];
        }
      }
      out[static_cast<std::size_t>(y * w + x)] = result;
    }
  }
  return out;
}

TEST(ImagingStucki, SameAsTheWrittenOutRule) {
  twtest::LeakGuard guard;
  for (int bits : {1, 8}) {
    DibBytes dib(203, 37, 24);
    dib.Randomise(static_cast<std::uint32_t>(bits));
    InputBlock in(dib);
    DibView out(StuckiDither(in.get(), bits));
    ASSERT_TRUE(out.ok());
    const std::vector<int> expected = ReferenceStucki(dib, bits);
    for (LONG y = 0; y < 37; ++y)
      for (LONG x = 0; x < 203; ++x)
        ASSERT_EQ(static_cast<int>(out.Get(x, y)), expected[static_cast<std::size_t>(y * 203 + x)]) << bits << ": " << x << "," << y;
  }
}

TEST(ImagingStucki, PaletteInputAndRefusedDepths) {
  twtest::LeakGuard guard;
  // 4 bits through the table: entry 1 is white, entry 0 black.
  DibBytes dib(6, 2, 4, {{0, 0, 0, 0}, {255, 255, 255, 0}});
  for (LONG x = 0; x < 6; x += 2) dib.Set(x, 0, 1);
  dib.Set(5, 1, 9);  // past the table: black
  InputBlock in(dib);
  DibView out(StuckiDither(in.get(), 1));
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(out.Get(0, 0), 1u);
  EXPECT_EQ(out.Get(1, 0), 0u);
  EXPECT_EQ(out.Get(5, 1), 0u);
  DibBytes grey(4, 4, 8, twtest::GreyTable(256));
  InputBlock g(grey);
  EXPECT_EQ(StuckiDither(g.get(), 8), nullptr) << "no more bits than asked";
  EXPECT_EQ(StuckiDither(g.get(), 4), nullptr);
  DibView one(StuckiDither(g.get(), 1));
  EXPECT_TRUE(one.ok());
}

}  // namespace
