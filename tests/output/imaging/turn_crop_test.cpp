// Quarter and half turns and cropping, against pixel-by-pixel references
// on random images of every depth and awkward sizes.
#include <gtest/gtest.h>

#include "output/imaging/dib_ops.h"
#include "tw_test_dib.h"
#include "tw_test.h"

using namespace tw::imaging;
using twtest::DibBytes;
using twtest::DibView;
using twtest::InputBlock;

namespace {

enum class Turn { Left, Right, Half };

HGLOBAL Apply(Turn t, HGLOBAL h) {
  return t == Turn::Left ? RotateDIB90Left(h) : t == Turn::Right ? RotateDIB90Right(h) : RotateDIB180(h);
}

void CheckTurn(Turn turn, LONG w, LONG h, WORD bits, bool topDown) {
  SCOPED_TRACE(testing::Message() << "turn " << static_cast<int>(turn) << " " << w << "x" << h << " bits " << bits
                                  << (topDown ? " top-down" : ""));
  DibBytes dib(w, h, bits, twtest::TableFor(bits), topDown);
  dib.Randomise(static_cast<std::uint32_t>(w * 131 + h * 7 + bits));
  InputBlock in(dib);
  DibView out(Apply(turn, in.get()));
  ASSERT_TRUE(out.ok());
  const bool quarter = turn != Turn::Half;
  ASSERT_EQ(out.Width(), quarter ? h : w);
  ASSERT_EQ(out.Height(), quarter ? w : h);
  EXPECT_EQ(out.layout().bits, bits);
  EXPECT_EQ(out.layout().topDown, topDown);
  EXPECT_EQ(out.Header().biSizeImage, out.layout().stride * static_cast<std::size_t>(out.Height()));
  EXPECT_EQ(out.Header().biXPelsPerMeter, quarter ? 3937 : 11811);
  EXPECT_EQ(out.Header().biYPelsPerMeter, quarter ? 11811 : 3937);
  EXPECT_EQ(out.Header().biClrUsed, dib.bytes[32] | dib.bytes[33] << 8);
  EXPECT_EQ(std::memcmp(out.Table(), dib.bytes.data() + 40, out.layout().colors * 4), 0) << "table kept";
  EXPECT_TRUE(out.PaddingClear());
  int wrong = 0;
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) {
      LONG nx = turn == Turn::Left ? y : turn == Turn::Right ? h - 1 - y : w - 1 - x;
      LONG ny = turn == Turn::Left ? w - 1 - x : turn == Turn::Right ? x : h - 1 - y;
      if (out.Get(nx, ny) != dib.Get(x, y) && ++wrong < 5)
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") not at (" << nx << ", " << ny << ")";
    }
}

TEST(ImagingTurns, EveryDepthAndSizeMatchesTheMapping) {
  twtest::LeakGuard guard;
  for (WORD bits : {1, 2, 4, 8, 16, 24, 32})
    for (LONG w : {1, 7, 8, 9, 17, 64, 71})
      for (LONG h : {1, 5, 8, 13})
        for (Turn t : {Turn::Left, Turn::Right, Turn::Half}) CheckTurn(t, w, h, bits, false);
  for (Turn t : {Turn::Left, Turn::Right, Turn::Half}) {
    CheckTurn(t, 19, 11, 1, true);
    CheckTurn(t, 10, 3, 24, true);
  }
}

TEST(ImagingTurns, ThreeByTwoTurnedLeft) {
  twtest::LeakGuard guard;
  DibBytes dib(3, 2, 24);
  dib.Set(2, 0, 0x123456);  // top-right corner
  InputBlock in(dib);
  DibView out(RotateDIB90Left(in.get()));
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(out.Width(), 2);
  EXPECT_EQ(out.Height(), 3);
  EXPECT_EQ(out.Get(0, 0), 0x123456u) << "the top-right corner ends at the top-left corner";
}

TEST(ImagingTurns, PageSizeOneBitRoundTrip) {
  // A Letter page at 300 dpi: four quarter turns and two half turns give
  // the page back.
  twtest::LeakGuard guard;
  DibBytes dib(2550, 3300, 1, twtest::BlackWhiteTable());
  dib.Randomise(5);
  InputBlock in(dib);
  HGLOBAL a = RotateDIB90Right(in.get());
  HGLOBAL b = RotateDIB90Left(a);
  HGLOBAL c = RotateDIB180(b);
  HGLOBAL d = RotateDIB180(c);
  DibView out(d);
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(out.Size(), dib.bytes.size());
  EXPECT_EQ(std::memcmp(out.Data(), dib.bytes.data(), dib.bytes.size()), 0) << "the same header, table and rows";
  for (HGLOBAL h : {a, b, c}) GlobalFree(h);
}

TEST(ImagingTurns, UnsupportedInputGivesNull) {
  twtest::LeakGuard guard;
  EXPECT_EQ(RotateDIB90Left(nullptr), nullptr);
  // A core header is not turned.
  std::vector<BYTE> core(12 + 6 + 4, 0);
  BITMAPCOREHEADER ch{12, 1, 1, 1, 1};
  std::memcpy(core.data(), &ch, sizeof ch);
  InputBlock in(core);
  EXPECT_EQ(RotateDIB90Right(in.get()), nullptr);
}

void CheckCrop(WORD bits, LONG w, LONG h, LONG l, LONG t, LONG r, LONG b) {
  SCOPED_TRACE(testing::Message() << "crop bits " << bits << " " << w << "x" << h << " (" << l << "," << t << ")-("
                                  << r << "," << b << ")");
  DibBytes dib(w, h, bits, twtest::TableFor(bits));
  dib.Randomise(static_cast<std::uint32_t>(bits * 1000 + l * 10 + r));
  InputBlock in(dib);
  DibView out(CropDIB(in.get(), l, t, r, b));
  ASSERT_TRUE(out.ok());
  ASSERT_EQ(out.Width(), r - l + 1);
  ASSERT_EQ(out.Height(), b - t + 1);
  EXPECT_EQ(out.Header().biSizeImage, out.layout().stride * static_cast<std::size_t>(out.Height()));
  EXPECT_TRUE(out.PaddingClear());
  for (LONG y = 0; y < out.Height(); ++y)
    for (LONG x = 0; x < out.Width(); ++x) ASSERT_EQ(out.Get(x, y), dib.Get(l + x, t + y)) << x << "," << y;
}

TEST(ImagingCrop, InclusiveRectangleAtEveryDepth) {
  twtest::LeakGuard guard;
  for (WORD bits : {1, 2, 4, 8, 16, 24, 32}) {
    CheckCrop(bits, 40, 9, 0, 0, 39, 8);   // whole image
    CheckCrop(bits, 40, 9, 3, 2, 12, 6);   // bit offset 3 for one bit
    CheckCrop(bits, 40, 9, 8, 0, 8, 0);    // one pixel
    CheckCrop(bits, 40, 9, 5, 1, 39, 8);   // up to the last column
    CheckCrop(bits, 33, 4, 31, 0, 32, 3);  // the source row's last byte
  }
}

TEST(ImagingCrop, OneBitColumnsThreeToTwelve) {
  twtest::LeakGuard guard;
  DibBytes dib(16, 1, 1, twtest::BlackWhiteTable());
  dib.Row(0)[0] = 0xFF;
  dib.Row(0)[1] = 0xFF;
  InputBlock in(dib);
  DibView out(CropDIB(in.get(), 3, 0, 12, 0));
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(out.Width(), 10);
  EXPECT_EQ(out.Row(0)[0], 0xFF) << "bits shifted left by 3";
  EXPECT_EQ(out.Row(0)[1], 0xC0) << "the last 6 bits of the row cleared";
}

TEST(ImagingCrop, RectanglesOutsideTheImageFail) {
  twtest::LeakGuard guard;
  DibBytes dib(20, 10, 8, twtest::GreyTable(256));
  InputBlock in(dib);
  EXPECT_EQ(CropDIB(in.get(), 0, 0, 20, 9), nullptr) << "right is inclusive: column 20 does not exist";
  EXPECT_EQ(CropDIB(in.get(), 0, 0, 19, 10), nullptr);
  EXPECT_EQ(CropDIB(in.get(), -1, 0, 5, 5), nullptr);
  EXPECT_EQ(CropDIB(in.get(), 6, 0, 5, 5), nullptr);
  EXPECT_EQ(CropDIB(in.get(), 0, 6, 5, 5), nullptr);
  DibView ok(CropDIB(in.get(), 0, 0, 19, 9));
  EXPECT_TRUE(ok.ok());
}

TEST(ImagingCrop, ExclusiveEdgesBecomeAnInclusiveRectangle) {
  // A crop given by margins: the right edge is width - right, the first
  // column not kept. A right margin of 0 keeps the last column.
  auto r = CropRectFromEdges(2550, 3300, 150, 0, 2550 - 0, 3300 - 0);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->left, 150);
  EXPECT_EQ(r->right, 2549);
  EXPECT_EQ(r->bottom, 3299);
  // "Crop Right" 800 as an edge: right edge at column 2400, 2400 columns.
  r = CropRectFromEdges(2550, 3300, 0, 0, 2400, 3000);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->right - r->left + 1, 2400);
  EXPECT_EQ(r->bottom - r->top + 1, 3000);
  // Edges beyond the image are clamped; negative starts too.
  r = CropRectFromEdges(100, 50, -20, -5, 500, 60);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->left, 0);
  EXPECT_EQ(r->top, 0);
  EXPECT_EQ(r->right, 99);
  EXPECT_EQ(r->bottom, 49);
  // Nothing left: no rectangle.
  EXPECT_FALSE(CropRectFromEdges(2550, 3300, 2700, 0, 2550, 3300));
  EXPECT_FALSE(CropRectFromEdges(2550, 3300, 100, 0, 100, 3300));
  EXPECT_FALSE(CropRectFromEdges(2550, 3300, 0, 3300, 2550, 3300));
}

}  // namespace
