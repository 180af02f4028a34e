// Raw pages (packed DIBs from the driver) drawn in bands, short and
// malformed raw pages, trimming by grey intensity, and the metafile that
// draws a raw page.
#include "emf_test_util.h"

namespace {

using namespace emftest;
namespace st = tw::settings;

// A raw page of the record's size: white, with black rectangles.
twtest::DibBytes RawPage(LONG width, LONG height, WORD bits) {
  std::vector<RGBQUAD> table;
  if (bits == 1) table = twtest::BlackWhiteTable();
  if (bits == 4 || bits == 8) table = twtest::GreyTable(1u << bits);
  twtest::DibBytes dib(width, height, bits, table);
  const std::uint32_t white = bits == 24 ? 0xFFFFFF : (1u << bits) - 1;
  for (LONG y = 0; y < height; ++y)
    for (LONG x = 0; x < width; ++x) dib.Set(x, y, white);
  return dib;
}

void Box(twtest::DibBytes& dib, LONG l, LONG t, LONG r, LONG b, std::uint32_t value = 0) {
  for (LONG y = t; y < b; ++y)
    for (LONG x = l; x < r; ++x) dib.Set(x, y, value);
}

class RawTest : public JobTest {
 protected:
  std::unique_ptr<twtest::DibView> Render(const twtest::DibBytes& raw, TarnwickDEVMODE& dm, CEMFImage* image = nullptr) {
    CEMFImage own;
    CEMFImage& img = image ? *image : own;
    Block block(raw.bytes);
    if (!img.CreateFromRawData(block.get(), &dm, job_.get())) return nullptr;
    return std::make_unique<twtest::DibView>(img.TakeDIB());
  }
};

TEST_F(RawTest, EveryDepthRendersInBandsPixelForPixel) {
  for (WORD bits : {1, 4, 8, 24}) {
    SCOPED_TRACE(bits);
    TarnwickDEVMODE dm = Record();
    auto raw = RawPage(2550, 3300, bits);
    // Boxes across the band borders (every 660 rows) and at the page's edges.
    Box(raw, 0, 0, 7, 5);
    Box(raw, 1000, 650, 1013, 671);
    Box(raw, 2543, 3290, 2550, 3300);
    auto dib = Render(raw, dm);
    ASSERT_TRUE(dib && dib->ok());
    EXPECT_EQ(dib->Width(), 2550);
    EXPECT_EQ(dib->Height(), 3300);
    EXPECT_EQ(dib->layout().bits, 1);
    EXPECT_TRUE(dib->PaddingClear());
    long wrong = 0;
    for (LONG y = 0; y < 3300; ++y)
      for (LONG x = 0; x < 2550; ++x) wrong += Black(*dib, x, y) != (raw.Get(x, y) == 0);
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(RawTest, TrueColourRawPagesKeepTheirColours) {
  TarnwickDEVMODE dm = Record(300, 300, 3);
  auto raw = RawPage(2550, 3300, 24);
  Box(raw, 100, 3000, 200, 3100, 0x2040C0);
  auto dib = Render(raw, dm);
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->layout().bits, 24);
  EXPECT_EQ(dib->Get(150, 3050) & 0xFFFFFF, 0x2040C0u);
  EXPECT_EQ(dib->Get(150, 2999) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(RawTest, ShortPagesAndShortRawData) {
  // A page of 4 rows: every band holds at least one row.
  TarnwickDEVMODE dm = Record();
  dm.PaperHeightInPixels = 4;
  auto raw = RawPage(2550, 4, 1);
  Box(raw, 0, 3, 10, 4);
  auto dib = Render(raw, dm);
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->Height(), 4);
  EXPECT_TRUE(Black(*dib, 5, 3));
  EXPECT_FALSE(Black(*dib, 5, 2));

  // Raw data of 4 rows on a Letter page is stretched over the page.
  dm = Record();
  auto four = RawPage(2550, 4, 1);
  Box(four, 0, 0, 2550, 1);
  dib = Render(four, dm);
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->Height(), 3300);
  EXPECT_TRUE(Black(*dib, 100, 0));
  EXPECT_TRUE(Black(*dib, 100, 824));
  EXPECT_FALSE(Black(*dib, 100, 826));
  EXPECT_FALSE(Black(*dib, 100, 3299));
}

TEST_F(RawTest, MalformedRawDataFailsThePage) {
  TarnwickDEVMODE dm = Record();
  auto raw = RawPage(100, 100, 8);
  raw.bytes.resize(raw.bytes.size() - 500);  // rows past the block
  EXPECT_FALSE(Render(raw, dm));
  EXPECT_EQ(Status(), u"The raw page data is not a valid bitmap.");
  CEMFImage noJob;
  Block block(RawPage(10, 10, 1).bytes);
  EXPECT_FALSE(noJob.CreateFromRawData(block.get(), &dm, nullptr));
}

TEST_F(RawTest, TrimmingByGreyIntensity) {
  Set(st::PageTrimWhitespaceLeft, 1);
  Set(st::PageTrimWhitespaceRight, 1);
  Set(st::PageTrimWhitespaceTop, 1);
  Set(st::PageTrimWhitespaceBottom, 1);
  Set(st::PageTrimByGrayscaleIntensity, true);
  Set(st::PageGrayscaleIntensityForTrimming, 50u);  // ink is 128 and darker
  TarnwickDEVMODE dm = Record(300, 300, 3);
  auto raw = RawPage(2550, 3300, 24);
  Box(raw, 0, 0, 2550, 3300, 0x969696);  // a (150, 150, 150) frame all over
  Box(raw, 500, 600, 1000, 1200, 0);
  CEMFImage image;
  auto dib = Render(raw, dm, &image);
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->Width(), 500);
  EXPECT_EQ(dib->Height(), 600);
  EXPECT_EQ(dib->Get(0, 0) & 0xFFFFFF, 0u);
  EXPECT_EQ(image.m_nLeft, 0);  // raw pages do not track where the image lies
}

TEST_F(RawTest, MetafileOfARawPage) {
  TarnwickDEVMODE dm = Record();
  auto raw = RawPage(2550, 3300, 1);
  Box(raw, 2000, 100, 2100, 200);
  Block block(raw.bytes);
  CEMFImage image;
  HENHMETAFILE emf = image.ReadMetaFileFromRawData(block.get(), &dm, job_.get());
  ASSERT_NE(emf, nullptr);
  EXPECT_EQ(image.m_dwImageHeight, 3300u);
  // Its frame is the printer's size in whole millimetres.
  ENHMETAHEADER header{};
  ASSERT_TRUE(GetEnhMetaFileHeader(emf, sizeof header, &header));
  EXPECT_EQ(header.rclFrame.right, 21600);
  EXPECT_EQ(header.rclFrame.bottom, 27900);
  // Played at the page's size it draws the raw page.
  std::vector<BYTE> bytes(GetEnhMetaFileBits(emf, 0, nullptr));
  GetEnhMetaFileBits(emf, static_cast<UINT>(bytes.size()), bytes.data());
  DeleteEnhMetaFile(emf);
  CEMFImage render;
  Block page(bytes);
  ASSERT_TRUE(render.Create(page.get(), &dm, job_.get(), FALSE, TRUE, FALSE));
  twtest::DibView dib(render.TakeDIB());
  EXPECT_TRUE(Black(dib, 2050, 150));
  EXPECT_FALSE(Black(dib, 1990, 150));
}

}  // namespace
