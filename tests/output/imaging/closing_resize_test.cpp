// The closing filter and resampling.
#include <gtest/gtest.h>

#include "output/imaging/dib_ops.h"
#include "tw_test_dib.h"
#include "tw_test.h"

using namespace tw::imaging;
using twtest::DibBytes;
using twtest::DibView;
using twtest::InputBlock;

namespace {

// A one-bit image from rows of '#' (black) and '.' (white) with the usual
// table (entry 0 black), or the inverted one (entry 0 white).
DibBytes Picture(const std::vector<std::string>& rows, bool inverted = false) {
  auto table = twtest::BlackWhiteTable();
  if (inverted) std::swap(table[0], table[1]);
  DibBytes dib(static_cast<LONG>(rows[0].size()), static_cast<LONG>(rows.size()), 1, table);
  for (LONG y = 0; y < dib.height; ++y)
    for (LONG x = 0; x < dib.width; ++x) dib.Set(x, y, (rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] == '#') == inverted);
  return dib;
}

std::vector<std::string> Rows(const DibView& v, bool inverted = false) {
  std::vector<std::string> rows;
  for (LONG y = 0; y < v.Height(); ++y) {
    std::string r;
    for (LONG x = 0; x < v.Width(); ++x) r += (v.Get(x, y) == 1) == inverted ? '#' : '.';
    rows.push_back(r);
  }
  return rows;
}

TEST(ImagingClosing, FillsGapsAndKeepsEdges) {
  twtest::LeakGuard guard;
  const std::vector<std::string> picture = {
      "............",
      "............",
      "..#.#.......",
      "............",
      ".......###..",
      ".......#.#..",
      ".......###..",
      "............",
      "##..........",
      "##..........",
  };
  const std::vector<std::string> closed = {
      "............",
      "............",
      "..###.......",  // the one-pixel gap between two black pixels is filled
      "............",
      ".......###..",
      ".......###..",  // and the hole inside a ring
      ".......###..",
      "............",
      "##..........",  // a shape at the image's edge neither grows nor shrinks
      "##..........",
  };
  for (bool inverted : {false, true}) {
    DibBytes dib = Picture(picture, inverted);
    InputBlock in(dib);
    DibView out(BinaryClosing(in.get()));
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(Rows(out, inverted), closed) << (inverted ? "entry 0 white" : "entry 0 black");
    EXPECT_EQ(std::memcmp(out.Data(), dib.bytes.data(), 48), 0) << "header and table copied";
    EXPECT_TRUE(out.PaddingClear());
  }
}

TEST(ImagingClosing, AllBlackStaysBlackAcrossBytes) {
  twtest::LeakGuard guard;
  DibBytes dib(37, 5, 1, twtest::BlackWhiteTable());  // all bits clear: black
  InputBlock in(dib);
  DibView out(BinaryClosing(in.get()));
  ASSERT_TRUE(out.ok());
  for (LONG y = 0; y < 5; ++y)
    for (LONG x = 0; x < 37; ++x) ASSERT_EQ(out.Get(x, y), 0u);
  DibBytes grey(4, 4, 8, twtest::GreyTable(256));
  InputBlock g(grey);
  EXPECT_EQ(BinaryClosing(g.get()), nullptr) << "one-bit input only";
}

TEST(ImagingResize, OneBitDoubledRepeatsRowsAndColumns) {
  twtest::LeakGuard guard;
  for (LONG w : {1, 5, 13}) {
    DibBytes dib(w, 3, 1, twtest::BlackWhiteTable());
    dib.Randomise(static_cast<std::uint32_t>(w));
    InputBlock in(dib);
    DibView out(ResizeDIB(in.get(), 2 * w, 6));
    ASSERT_TRUE(out.ok());
    ASSERT_EQ(out.Width(), 2 * w);
    ASSERT_EQ(out.Height(), 6);
    EXPECT_EQ(out.Header().biXPelsPerMeter, 11811) << "the input's header";
    for (LONG y = 0; y < 6; ++y)
      for (LONG x = 0; x < 2 * w; ++x) ASSERT_EQ(out.Get(x, y), dib.Get(x / 2, y / 2)) << x << "," << y;
    EXPECT_TRUE(out.PaddingClear());
  }
}

TEST(ImagingResize, OneBitSamplesPixelCentres) {
  twtest::LeakGuard guard;
  // Halving takes the second pixel of each pair; enlarging a single row or
  // column never reads beyond it; equal widths copy rows.
  DibBytes dib(8, 4, 1, twtest::BlackWhiteTable());
  dib.Randomise(11);
  InputBlock in(dib);
  DibView half(ResizeDIB(in.get(), 4, 2));
  ASSERT_TRUE(half.ok());
  for (LONG y = 0; y < 2; ++y)
    for (LONG x = 0; x < 4; ++x) EXPECT_EQ(half.Get(x, y), dib.Get(2 * x + 1, 2 * y + 1));
  DibView same(ResizeDIB(in.get(), 8, 12));
  ASSERT_TRUE(same.ok());
  for (LONG y = 0; y < 12; ++y)
    for (LONG x = 0; x < 8; ++x) EXPECT_EQ(same.Get(x, y), dib.Get(x, y / 3));
  DibBytes dot(1, 1, 1, twtest::BlackWhiteTable());
  dot.Set(0, 0, 1);
  InputBlock d(dot);
  DibView big(ResizeDIB(d.get(), 100, 70));
  ASSERT_TRUE(big.ok());
  for (LONG y = 0; y < 70; ++y)
    for (LONG x = 0; x < 100; ++x) ASSERT_EQ(big.Get(x, y), 1u);
}

TEST(ImagingResize, BicubicKeepsFlatAreasAndOrder) {
  twtest::LeakGuard guard;
  DibBytes dib(40, 30, 24);
  for (LONG y = 0; y < 30; ++y)
    for (LONG x = 0; x < 40; ++x) dib.Set(x, y, x < 20 ? 0x336699u : static_cast<std::uint32_t>(x * 6) << 8);
  InputBlock in(dib);
  for (auto [w2, h2] : {std::pair{80, 60}, std::pair{17, 9}, std::pair{40, 30}}) {
    DibView out(ResizeDIB(in.get(), w2, h2));
    ASSERT_TRUE(out.ok());
    ASSERT_EQ(out.Width(), w2);
    ASSERT_EQ(out.layout().bits, 24);
    // Far from the edge between the halves the flat colour stays, within
    // the rounding of the byte products.
    for (LONG y = 0; y < h2; ++y)
      for (LONG x = 0; x < w2 * 2 / 5; ++x)
        for (unsigned shift : {0u, 8u, 16u})
          ASSERT_NEAR(static_cast<int>(out.Get(x, y) >> shift & 0xFF), static_cast<int>(0x336699u >> shift & 0xFF), 2)
              << x << "," << y;
    // Green rises along the right half's ramp.
    for (LONG x = w2 * 3 / 5; x + 1 < w2; ++x) EXPECT_LE(out.Get(x, 0) >> 8 & 0xFF, out.Get(x + 1, 0) >> 8 & 0xFF);
    if (w2 == 40) {
      for (LONG x = 0; x < 40; ++x) EXPECT_EQ(out.Get(x, 7), dib.Get(x, 7)) << "the same size is the same image";
    }
  }
}

TEST(ImagingResize, PaletteImagesMapBackToTheirTable) {
  twtest::LeakGuard guard;
  // Grey ramp table: levels resample directly; a colour table: every output
  // index is one of the table's and flat areas keep their index.
  DibBytes grey(16, 16, 8, twtest::GreyTable(256));
  for (LONG y = 0; y < 16; ++y)
    for (LONG x = 0; x < 16; ++x) grey.Set(x, y, static_cast<std::uint32_t>(x * 16));
  InputBlock g(grey);
  DibView gout(ResizeDIB(g.get(), 32, 8));
  ASSERT_TRUE(gout.ok());
  for (LONG x = 0; x + 1 < 32; ++x) EXPECT_LE(gout.Get(x, 3), gout.Get(x + 1, 3));
  std::vector<RGBQUAD> table = {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}, {0, 0, 128, 0}};
  for (WORD bits : {4, 8}) {
    DibBytes dib(12, 12, bits, table);
    for (LONG y = 0; y < 12; ++y)
      for (LONG x = 0; x < 12; ++x) dib.Set(x, y, x < 6 ? 2 : 1);
    InputBlock in(dib);
    DibView out(ResizeDIB(in.get(), 25, 7));
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(out.layout().bits, bits);
    for (LONG y = 0; y < 7; ++y) {
      for (LONG x = 0; x < 25; ++x) ASSERT_LT(out.Get(x, y), 4u);
      EXPECT_EQ(out.Get(0, y), 2u);
      EXPECT_EQ(out.Get(24, y), 1u);
    }
  }
}

TEST(ImagingResize, RefusedSizesAndDepths) {
  twtest::LeakGuard guard;
  DibBytes dib(8, 8, 24);
  InputBlock in(dib);
  EXPECT_EQ(ResizeDIB(in.get(), 0, 5), nullptr);
  EXPECT_EQ(ResizeDIB(in.get(), 5, -1), nullptr);
  EXPECT_EQ(ResizeDIB(in.get(), 0x7FFFFFFF, 0x7FFFFFFF), nullptr) << "beyond the size limit";
  DibBytes deep(8, 8, 32);
  InputBlock d(deep);
  EXPECT_EQ(ResizeDIB(d.get(), 4, 4), nullptr);
}

}  // namespace
