// Colour reduction of page images (DitherImage) by colour mode, dithering
// and brightness, and the colour depth of whole pages.
#include "emf_test_util.h"

namespace {

using namespace emftest;

twtest::DibBytes Page24(LONG w, LONG h, std::uint32_t rgb) {
  twtest::DibBytes d(w, h, 24);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) d.Set(x, y, rgb);
  return d;
}

class DitherTest : public JobTest {
 protected:
  std::unique_ptr<twtest::DibView> Reduce(const twtest::DibBytes& page, const TarnwickDEVMODE& dm) {
    twtest::InputBlock input(page);
    CEMFImage image;
    HGLOBAL out = image.DitherImage(input.get(), &dm);
    if (!out) return nullptr;
    return std::make_unique<twtest::DibView>(out);
  }
};

TEST_F(DitherTest, FixedThresholdAndGrey) {
  TarnwickDEVMODE dm = Record(300, 300, 0);
  dm.Dithering = 6;
  auto page = Page24(8, 2, 0xFFFFFF);
  page.Set(0, 0, 0x80807F);  // 383: black
  page.Set(1, 0, 0x808080);  // 384: white
  auto bw = Reduce(page, dm);
  ASSERT_TRUE(bw);
  EXPECT_EQ(bw->layout().bits, 1);
  EXPECT_EQ(bw->Get(0, 0), 0u);
  EXPECT_EQ(bw->Get(1, 0), 1u);

  TarnwickDEVMODE grey = Record(300, 300, 1);
  auto g = Reduce(Page24(4, 4, 0x306090), grey);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->layout().bits, 8);
  EXPECT_EQ(g->Get(2, 2), (0x30u + 0x60 + 0x90) / 3);
  EXPECT_EQ(g->Table()[200].rgbGreen, 200);
}

TEST_F(DitherTest, PaletteAndLibraryReductions) {
  // Stucki to 8 bits: pure blue stays at blue level 3.
  TarnwickDEVMODE palette = Record(300, 300, 2);
  palette.Dithering = 5;
  auto blue = Reduce(Page24(16, 16, 0x0000FF), palette);
  ASSERT_TRUE(blue);
  EXPECT_EQ(blue->layout().bits, 8);
  EXPECT_EQ(blue->Get(7, 7), 3u);
  // The imaging library's reductions give the depth asked for.
  for (DWORD dithering : {0u, 2u, 8u, 9u}) {
    palette.Dithering = dithering;
    auto p = Reduce(Page24(16, 16, 0x2080C0), palette);
    ASSERT_TRUE(p) << dithering;
    EXPECT_EQ(p->layout().bits, 8) << dithering;
  }
  TarnwickDEVMODE bw = Record();
  auto halves = Page24(16, 16, 0x000000);
  for (LONG y = 0; y < 16; ++y)
    for (LONG x = 8; x < 16; ++x) halves.Set(x, y, 0xFFFFFF);
  for (DWORD dithering : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u}) {
    bw.Dithering = dithering;
    auto p = Reduce(halves, bw);
    ASSERT_TRUE(p) << dithering;
    EXPECT_EQ(p->layout().bits, 1) << dithering;
    EXPECT_EQ(p->Get(3, 3), 0u) << dithering;
    EXPECT_EQ(p->Get(12, 3), 1u) << dithering;
  }
  // True colour is never reduced.
  EXPECT_FALSE(Reduce(Page24(4, 4, 0), Record(300, 300, 3)));
}

TEST_F(DitherTest, BrightnessComesFirst) {
  // Brightness 150: +50 brightness, contrast 100 (mid grey lifted to white).
  TarnwickDEVMODE dm = Record(300, 300, 1);
  auto plain = Reduce(Page24(4, 4, 0x808080), dm);
  ASSERT_TRUE(plain);
  dm.Brightness = 150;
  auto bright = Reduce(Page24(4, 4, 0x808080), dm);
  ASSERT_TRUE(bright);
  EXPECT_GT(bright->Get(1, 1), plain->Get(1, 1) + 40);
  dm.Brightness = 250;  // acts as 199
  auto brightest = Reduce(Page24(4, 4, 0x808080), dm);
  ASSERT_TRUE(brightest);
  EXPECT_GE(brightest->Get(1, 1), bright->Get(1, 1));
}

TEST_F(DitherTest, OversizedPagesAreRefused) {
  TarnwickDEVMODE dm = Record(300, 300, 1);
  dm.PaperWidthInPixels = 40000;
  dm.PaperHeightInPixels = 40000;  // 1.6e9 pixels, more than 32 bits of the product allow
  EXPECT_FALSE(Reduce(Page24(4, 4, 0), dm));
}

TEST_F(DitherTest, PagesComeOutInTheDepthOfTheirColourMode) {
  for (DWORD mode : {0u, 1u, 2u, 3u}) {
    SCOPED_TRACE(mode);
    TarnwickDEVMODE dm = Record(300, 300, mode);
    Block page(RecordPage(dm, [](HDC dc) { Fill(dc, 100, 100, 200, 200, RGB(200, 40, 40)); }));
    CEMFImage image;
    ASSERT_TRUE(image.Create(page.get(), &dm, job_.get(), FALSE, TRUE, FALSE)) << tw::ToUtf8(Status());
    twtest::DibView dib(image.TakeDIB());
    const WORD expected[] = {1, 8, 8, 24};
    EXPECT_EQ(dib.layout().bits, expected[mode]);
    EXPECT_EQ(dib.Width(), 2550);
    if (mode == 1) {
      EXPECT_EQ(dib.Header().biClrUsed, 256u);
    }
  }
}

}  // namespace
