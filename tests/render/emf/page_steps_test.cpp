// The steps of a metafile page: sizes from the metafile and the record,
// forced resolution, fax, the anisotropic (scaled) path, trimming, cropping,
// rotation, the placeable header and the failures a page reports.
#include <cstring>

#include "emf_test_util.h"

namespace {

using namespace emftest;
namespace st = tw::settings;
namespace dmf = tw::devmode::flags;

class PageStepsTest : public JobTest {
 protected:
  std::unique_ptr<twtest::DibView> Render(const std::vector<BYTE>& page, TarnwickDEVMODE& dm,
                                          CEMFImage* image = nullptr) {
    CEMFImage own;
    CEMFImage& img = image ? *image : own;
    Block block(page);
    if (!img.Create(block.get(), &dm, job_.get(), FALSE, TRUE, FALSE)) return nullptr;
    return std::make_unique<twtest::DibView>(img.TakeDIB());
  }
  // The inked extent of a page image (inclusive, from the top-left corner).
  struct Ink {
    LONG left, top, right, bottom;
  };
  static Ink InkOf(const twtest::DibView& dib) {
    Ink ink{dib.Width(), dib.Height(), -1, -1};
    for (LONG y = 0; y < dib.Height(); ++y) {
      const BYTE* row = dib.Row(y);
      for (LONG x = 0; x < dib.Width(); ++x) {
        // White bytes of a one-bit row hold no ink.
        if (dib.layout().bits == 1 && x % 8 == 0 && x + 8 <= dib.Width() && row[x / 8] == 0xFF) {
          x += 7;
          continue;
        }
        if (Black(dib, x, y))
          ink = {std::min(ink.left, x), std::min(ink.top, y), std::max(ink.right, x), std::max(ink.bottom, y)};
      }
    }
    return ink;
  }
  // A Letter page at 300 DPI with a black square near its top-right corner.
  std::vector<BYTE> SquarePage(const TarnwickDEVMODE& dm) {
    return RecordPage(dm, [](HDC dc) { Fill(dc, 2300, 50, 2500, 250); });
  }
};

TEST_F(PageStepsTest, PageSizeFromTheMetafileUnlessTheRecordFixesThePaper) {
  TarnwickDEVMODE dm = Record();
  auto page = SquarePage(dm);
  dm.PaperWidthInPixels = 1000;
  dm.PaperHeightInPixels = 1200;
  auto kept = Render(page, dm);  // both paper bits set: the record's size
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->Width(), 1000);
  EXPECT_EQ(kept->Height(), 1200);

  dm.DM.dmFields &= ~tw::devmode::kDmPaperWidth;
  dm.DM.dmPaperWidth = 1000;
  auto fromFrame = Render(page, dm);
  ASSERT_TRUE(fromFrame);
  EXPECT_EQ(fromFrame->Width(), 2550);
  EXPECT_EQ(fromFrame->Height(), 3300);
  EXPECT_EQ(dm.PaperWidthInPixels, 2550);
  EXPECT_EQ(dm.PaperHeightInPixels, 3300);
  EXPECT_EQ(tw::devmode::GetPaperWidth(dm), 2159);
  EXPECT_EQ(tw::devmode::GetPaperLength(dm), 2794);
  EXPECT_TRUE(Black(*fromFrame, 2400, 150));
}

TEST_F(PageStepsTest, ForcedResolutionAndFaxSizes) {
  TarnwickDEVMODE dm = Record();
  auto page = SquarePage(dm);
  dm.Flags |= dmf::UserResolution;
  dm.UserFlags = MAKELONG(200, 200);
  auto forced = Render(page, dm);
  ASSERT_TRUE(forced);
  EXPECT_EQ(forced->Width(), 1700);
  EXPECT_EQ(forced->Height(), 2200);
  EXPECT_EQ(forced->Header().biXPelsPerMeter, 7874);
  EXPECT_TRUE(Black(*forced, 1600, 100));  // the square, at two thirds

  TarnwickDEVMODE fax = Record(204, 196);
  fax.Flags |= dmf::FaxOutput;
  auto faxPage = Render(RecordPage(fax, [](HDC dc) { Fill(dc, 1600, 20, 1700, 120); }), fax);
  ASSERT_TRUE(faxPage);
  EXPECT_EQ(faxPage->Width(), 1728);
  EXPECT_EQ(faxPage->Height(), 2156);
  EXPECT_EQ(faxPage->Header().biXPelsPerMeter, 8031);
  EXPECT_EQ(faxPage->Header().biYPelsPerMeter, 7717);
  EXPECT_TRUE(Black(*faxPage, 1650, 70));
}

TEST_F(PageStepsTest, AnisotropicPagesAreStretchedFromTheMetafilesResolution) {
  TarnwickDEVMODE reference = Record();
  auto page = RecordPage(reference, [](HDC dc) { Fill(dc, 300, 300, 600, 600); });
  TarnwickDEVMODE dm = Record(300, 600);
  auto dib = Render(page, dm);
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->Width(), 2550);
  EXPECT_EQ(dib->Height(), 6600);
  EXPECT_EQ(dib->Header().biYPelsPerMeter, 23622);
  // The square of 300 reference pixels is 600 rows high on the page (the
  // player maps the frame through the reference's whole millimetres: its
  // far edge may land a few pixels short).
  Ink ink = InkOf(*dib);
  EXPECT_EQ(ink.left, 300);
  EXPECT_EQ(ink.top, 600);
  EXPECT_EQ(ink.right, 599);
  EXPECT_NEAR(ink.bottom, 1199, 3);
}

TEST_F(PageStepsTest, TrimmingByTheInkedBounds) {
  Set(st::PageTrimWhitespaceLeft, 1);
  Set(st::PageTrimWhitespaceRight, 1);
  Set(st::PageTrimWhitespaceTop, 1);
  Set(st::PageTrimWhitespaceBottom, 1);
  TarnwickDEVMODE dm = Record();
  auto page = RecordPage(dm, [](HDC dc) { Fill(dc, 100, 200, 2001, 3001); });
  CEMFImage image;
  auto dib = Render(page, dm, &image);
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->Width(), 1901);
  EXPECT_EQ(dib->Height(), 2801);
  EXPECT_EQ(image.m_nLeft, 100);
  EXPECT_EQ(image.m_nTop, 200);
  EXPECT_EQ(image.m_nWidth, 1901);
  EXPECT_EQ(image.m_nHeight, 2801);
  Ink ink = InkOf(*dib);
  EXPECT_EQ(ink.left, 0);
  EXPECT_EQ(ink.top, 0);
  EXPECT_GE(ink.right, 1899);
  EXPECT_GE(ink.bottom, 2795);

  // At another resolution the bounds are scaled: the ink is kept whole.
  dm.Flags |= dmf::UserResolution;
  dm.UserFlags = MAKELONG(150, 150);
  CEMFImage half;
  auto small = Render(page, dm, &half);
  ASSERT_TRUE(small);
  EXPECT_EQ(half.m_nLeft, 50);
  EXPECT_EQ(half.m_nTop, 100);
  EXPECT_NEAR(small->Width(), 951, 1);
  ink = InkOf(*small);
  EXPECT_EQ(ink.left, 0);
  EXPECT_EQ(ink.top, 0);
  EXPECT_GE(ink.right, small->Width() - 2);
  EXPECT_GE(ink.bottom, small->Height() - 4);
}

TEST_F(PageStepsTest, CroppingInHundredthsOfAnInch) {
  TarnwickDEVMODE dm = Record();
  auto page = SquarePage(dm);
  Set(st::PageCropPage, true);
  Set(st::PageCropLeft, 50u);
  CEMFImage image;
  auto dib = Render(page, dm, &image);
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->Width(), 2400);  // 150 columns off the left; right margin 0 keeps the edge
  EXPECT_EQ(dib->Height(), 3300);
  EXPECT_EQ(image.m_nLeft, 150);
  EXPECT_TRUE(Black(*dib, 2400 - 150, 150));

  Set(st::PageCropMode, 1u);
  Set(st::PageCropLeft, 0u);
  Set(st::PageCropRight, 800u);
  Set(st::PageCropBottom, 1000u);
  dib = Render(page, dm);
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->Width(), 2400);
  EXPECT_EQ(dib->Height(), 3000);

  // A crop that leaves nothing keeps the page as it is.
  Set(st::PageCropMode, 0u);
  Set(st::PageCropLeft, 900u);
  Set(st::PageCropRight, 0u);
  Set(st::PageCropBottom, 0u);
  dib = Render(page, dm);
  ASSERT_TRUE(dib);
  EXPECT_EQ(dib->Width(), 2550);
}

TEST_F(PageStepsTest, RotationTurnsThePage) {
  TarnwickDEVMODE dm = Record();
  auto page = SquarePage(dm);
  Set(st::PageRotation, 1);
  auto left = Render(page, dm);
  ASSERT_TRUE(left);
  EXPECT_EQ(left->Width(), 3300);
  EXPECT_EQ(left->Height(), 2550);
  EXPECT_TRUE(Black(*left, 150, 150));  // top-right goes to top-left
  Set(st::PageRotation, 2);
  auto half = Render(page, dm);
  EXPECT_EQ(half->Width(), 2550);
  EXPECT_TRUE(Black(*half, 150, 3300 - 1 - 150));  // to bottom-left
  Set(st::PageRotation, 3);
  auto right = Render(page, dm);
  EXPECT_TRUE(Black(*right, 3300 - 1 - 150, 2400));

  // Rotating the paper: portrait pages stay, landscape pages take turn 3.
  dm.Flags |= dmf::RotatePaper;
  auto portrait = Render(page, dm);
  EXPECT_EQ(portrait->Width(), 2550);
  TarnwickDEVMODE land = Record(300, 300, 0, 2);
  std::swap(land.PaperWidthInPixels, land.PaperHeightInPixels);  // as the job's correction leaves a landscape record
  land.Flags |= dmf::RotatePaper;
  Set(st::PageRotation, 1);
  auto landscape = Render(RecordPage(land, [](HDC dc) { Fill(dc, 10, 10, 20, 20); }), land);
  ASSERT_TRUE(landscape);
  EXPECT_EQ(landscape->Width(), land.PaperHeightInPixels);
  EXPECT_EQ(landscape->Height(), land.PaperWidthInPixels);
  EXPECT_TRUE(Black(*landscape, landscape->Width() - 1 - 15, 15));  // turned clockwise
}

TEST_F(PageStepsTest, PlaceableHeaderAndSignature) {
  TarnwickDEVMODE dm = Record();
  auto page = SquarePage(dm);
  std::vector<BYTE> placeable(24, 0);
  const DWORD key = 0x9AC6CDD7;
  std::memcpy(placeable.data(), &key, 4);
  placeable.insert(placeable.end(), page.begin(), page.end());
  auto dib = Render(placeable, dm);
  ASSERT_TRUE(dib);
  EXPECT_TRUE(Black(*dib, 2400, 150));
  // Without the key the metafile is read from byte 0: the same bytes behind
  // 24 other ones are no metafile there.
  std::vector<BYTE> shifted(24, 0x11);
  shifted.insert(shifted.end(), page.begin(), page.end());
  EXPECT_FALSE(Render(shifted, dm));
  EXPECT_EQ(Status(), u"Internal error: 104.");
  // The signature is left to the metafile layer, which refuses a page without it.
  job_->m_szPrintStatus.clear();
  auto unsigned_ = page;
  std::memset(unsigned_.data() + offsetof(ENHMETAHEADER, dSignature), 0, 4);
  EXPECT_FALSE(Render(unsigned_, dm));
  EXPECT_EQ(Status(), u"Internal error: 104.");
}

TEST_F(PageStepsTest, UnreadablePagesReportTheirInternalError) {
  TarnwickDEVMODE dm = Record();
  CEMFImage none;
  EXPECT_FALSE(none.Create(nullptr, &dm, job_.get(), FALSE, TRUE, FALSE));
  EXPECT_EQ(Status(), u"Internal error: 100.");

  // A length field past the block is not believed.
  auto page = SquarePage(dm);
  DWORD tooLong = static_cast<DWORD>(page.size() + 4096);
  std::memcpy(page.data() + offsetof(ENHMETAHEADER, nBytes), &tooLong, 4);
  EXPECT_FALSE(Render(page, dm));
  EXPECT_EQ(Status(), u"Internal error: 104.");
  job_->m_szPrintStatus.clear();
  EXPECT_FALSE(Render(std::vector<BYTE>(40, 0), dm));
  EXPECT_EQ(Status(), u"Internal error: 104.");

  // A page whose size overflows what one block holds.
  TarnwickDEVMODE huge = Record(3000, 3000, 3);
  huge.PaperWidthInPixels = 354331;
  huge.PaperHeightInPixels = 354331;
  job_->m_szPrintStatus.clear();
  EXPECT_FALSE(Render(SquarePage(dm), huge));
  EXPECT_EQ(Status(), u"Internal error: 251.");
}

}  // namespace
