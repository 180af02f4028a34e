// The arithmetic of a page image: page size from a metafile header, the
// target size table, the render bitmap under forced resolution and fax,
// trimming by inked bounds, cropping edges and the font-quality rule.
#include <gtest/gtest.h>

#include <limits>

#include "emf_test_util.h"
#include "render/emf/emf_geometry.h"
#include "render/emf/emf_internal.h"

namespace {

using namespace tw::render;
using emftest::Record;
namespace dmf = tw::devmode::flags;

ENHMETAHEADER LetterHeader() {
  ENHMETAHEADER h{};
  h.iType = EMR_HEADER;
  h.nSize = sizeof h;
  h.rclFrame = {0, 0, 21590, 27940};
  h.rclBounds = {100, 200, 2000, 3000};
  h.szlDevice = {2550, 3300};
  h.szlMillimeters = {216, 279};
  h.szlMicrometers = {215900, 279400};
  return h;
}

TEST(EmfPageSize, LetterAtThreeHundredDpi) {
  EmfPageSize page = EmfPageSizeFromHeader(LetterHeader());
  EXPECT_EQ(page.size.cx, 2550);
  EXPECT_EQ(page.size.cy, 3300);
  EXPECT_EQ(page.pelsPerMeter, 11811);
  EXPECT_EQ(page.bounds.left, 100);
  EXPECT_EQ(page.bounds.bottom, 3000);
}

TEST(EmfPageSize, BoundsMoveToTheFrameOriginAndOldHeadersUseMillimetres) {
  ENHMETAHEADER h = LetterHeader();
  h.rclFrame = {1000, 2000, 22590, 29940};  // 10 mm and 20 mm in: 118 and 236 pixels
  EmfPageSize page = EmfPageSizeFromHeader(h);
  EXPECT_EQ(page.size.cx, 2550);
  EXPECT_EQ(page.bounds.left, 100 - 118);
  EXPECT_EQ(page.bounds.top, 200 - 236);
  // A header without micrometres (88 bytes) takes the millimetres.
  h = LetterHeader();
  h.szlMicrometers = {0, 0};
  page = EmfPageSizeFromHeader(h);
  EXPECT_NEAR(page.size.cx, 2550 * 215.9 / 216, 1);
  EXPECT_GT(page.pelsPerMeter, 0);
}

TEST(EmfPageSize, UnusableHeadersGiveNoSize) {
  ENHMETAHEADER h = LetterHeader();
  h.szlMicrometers = {0, 0};
  h.szlMillimeters = {0, 0};
  EXPECT_EQ(EmfPageSizeFromHeader(h).size.cx, 0);
  h = LetterHeader();
  h.szlDevice = {0, 3300};
  EXPECT_EQ(EmfPageSizeFromHeader(h).size.cx, 0);
  h = LetterHeader();
  h.rclFrame = {std::numeric_limits<LONG>::min(), 0, std::numeric_limits<LONG>::max(), 27940};
  EmfPageSize huge = EmfPageSizeFromHeader(h);  // limited, never undefined
  EXPECT_GT(huge.size.cx, 0);
  h.rclFrame = {100, 0, 0, 27940};  // right of left
  EXPECT_EQ(EmfPageSizeFromHeader(h).size.cx, 0);
}

TEST(TargetSize, ReferenceAndTargetResolutions) {
  TargetSizeInputs in;
  in.reference = {2550, 3300};
  in.xDpi = 300;
  in.yDpi = 300;
  auto t = ComputeTargetSize(in);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->widthPixels, 2550);
  EXPECT_EQ(t->heightPixels, 3300);
  EXPECT_EQ(t->paperWidth, 2159);
  EXPECT_EQ(t->paperLength, 2794);

  // Anisotropic: the metafile is taken as drawn at (X, Y), unless vector.
  in.yDpi = 600;
  in.reference = {2550, 6600};
  in.anisotropic = true;
  t = ComputeTargetSize(in);
  EXPECT_EQ(t->heightPixels, 6600);
  EXPECT_EQ(t->paperLength, 2794);
  in.vectorFormat = true;  // (X, X)
  t = ComputeTargetSize(in);
  EXPECT_EQ(t->heightPixels, 13200);

  // Fax portrait, FaxMode 4: the metafile was drawn at 600 DPI.
  in = {};
  in.reference = {5100, 6600};
  in.xDpi = 204;
  in.yDpi = 196;
  in.faxOutput = true;
  in.faxMode = 4;
  t = ComputeTargetSize(in);
  EXPECT_EQ(t->widthPixels, 204 * 5100 / 600);
  EXPECT_EQ(t->heightPixels, 196 * 6600 / 600);
  // FaxMode 3 falls to (X, X); Save-As values turn the fax rule off.
  in.faxMode = 3;
  in.reference = {1734, 2244};
  t = ComputeTargetSize(in);
  EXPECT_EQ(t->heightPixels, 196 * 2244 / 204);
  in.faxMode = 1;
  in.saveAs = true;
  EXPECT_EQ(ComputeTargetSize(in)->heightPixels, 196 * 2244 / 204);
  in.saveAs = false;
  EXPECT_EQ(ComputeTargetSize(in)->heightPixels, 2244);

  // Landscape fax: reference (Y, X), target (Y, X).
  in = {};
  in.landscape = true;
  in.faxOutput = true;
  in.xDpi = 204;
  in.yDpi = 98;
  in.faxMode = 2;
  in.reference = {1078, 833};
  t = ComputeTargetSize(in);
  EXPECT_EQ(t->widthPixels, 1078);
  EXPECT_EQ(t->heightPixels, 833);

  in.reference = {0, 3300};
  EXPECT_FALSE(ComputeTargetSize(in));
}

TEST(ScaledRendering, ResolutionsFaxAndPageRoles) {
  EXPECT_TRUE(ScaledRendering(300, 600, false, 0, false));
  EXPECT_FALSE(ScaledRendering(300, 305, false, 0, false));
  EXPECT_FALSE(ScaledRendering(300, 310, false, 0, false));
  EXPECT_TRUE(ScaledRendering(300, 311, false, 0, false));
  EXPECT_TRUE(ScaledRendering(204, 98, true, 3, false));
  EXPECT_FALSE(ScaledRendering(204, 98, true, 2, false));
  EXPECT_TRUE(ScaledRendering(204, 196, true, 4, false));
  EXPECT_TRUE(ScaledRendering(300, 300, false, 0, true));
}

TEST(BitmapGeometry, ForcedResolution) {
  TarnwickDEVMODE dm = Record();
  dm.Flags |= dmf::UserResolution;
  dm.UserFlags = MAKELONG(200, 200);
  auto g = ComputeBitmapGeometry(&dm, false);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->width, 1700);
  EXPECT_EQ(g->height, 2200);
  EXPECT_EQ(g->XPelsPerMeter(), 7874);

  dm.UserFlags = 0;  // takes the record's resolution and keeps it
  g = ComputeBitmapGeometry(&dm, false);
  EXPECT_EQ(dm.UserFlags, 0x012C012Cu);
  EXPECT_EQ(g->width, 2550);
  EXPECT_EQ(g->height, 3300);

  dm.UserFlags = 0xFFFF0000;  // code -1: 100 x 100
  g = ComputeBitmapGeometry(&dm, false);
  EXPECT_EQ(dm.UserFlags, static_cast<DWORD>(MAKELONG(100, 100)));
  EXPECT_EQ(g->width, 850);
  EXPECT_EQ(g->height, 1100);
  EXPECT_EQ(g->XPelsPerMeter(), 3937);

  dm.UserFlags = MAKELONG(150, 0);  // a word of 0 stands for the record's own resolution
  g = ComputeBitmapGeometry(&dm, false);
  EXPECT_EQ(g->width, 1275);
  EXPECT_EQ(g->height, 3300);
}

TEST(BitmapGeometry, FaxSizes) {
  TarnwickDEVMODE dm = Record(204, 196);
  dm.Flags |= dmf::FaxOutput | dmf::UserResolution;  // forced resolution does not apply to fax
  dm.UserFlags = MAKELONG(100, 100);
  auto g = ComputeBitmapGeometry(&dm, false);
  EXPECT_EQ(g->width, 1728);
  EXPECT_EQ(g->height, dm.PaperHeightInPixels);
  EXPECT_EQ(g->xDpi, 204);
  EXPECT_EQ(g->yDpi, 196);
  dm.Flags |= dmf::FaxModeBit4;  // FaxMode 2: standard resolution
  g = ComputeBitmapGeometry(&dm, false);
  EXPECT_EQ(g->yDpi, 98);
  dm.FaxHeader = 44;
  EXPECT_EQ(ComputeBitmapGeometry(&dm, false)->height, dm.PaperHeightInPixels - 44);

  TarnwickDEVMODE land = Record(204, 196, 0, 2);
  land.Flags |= dmf::FaxOutput;
  g = ComputeBitmapGeometry(&land, false);
  EXPECT_EQ(g->height, 1728);
  EXPECT_EQ(g->xDpi, 196);
  EXPECT_EQ(g->yDpi, 204);

  // No record: a fax page of 1728 x 2200.
  g = ComputeBitmapGeometry(nullptr, false);
  EXPECT_EQ(g->width, 1728);
  EXPECT_EQ(g->height, 2200);
  EXPECT_EQ(g->bits, 1);
}

TEST(BitmapGeometry, RawFaxPagesScaleTheOtherSide) {
  TarnwickDEVMODE dm = Record(204, 196);
  dm.Flags |= dmf::FaxOutput | dmf::FaxModeBit4;  // standard: 98 rows an inch
  dm.FaxHeader = 10;
  auto g = ComputeBitmapGeometry(&dm, true);
  EXPECT_EQ(g->width, 1728);
  EXPECT_EQ(g->height, 98 * (dm.PaperHeightInPixels - 10) / 196 - 10);
}

TEST(BitmapGeometry, DepthAndLimits) {
  TarnwickDEVMODE dm = Record();
  EXPECT_EQ(ComputeBitmapGeometry(&dm, false)->bits, 1);
  dm.Dithering = 6;
  EXPECT_EQ(ComputeBitmapGeometry(&dm, false)->bits, 24);
  EXPECT_EQ(ComputeBitmapGeometry(&dm, true)->bits, 24);
  dm.Dithering = 5;
  EXPECT_EQ(ComputeBitmapGeometry(&dm, true)->bits, 1);  // raw pages: only threshold reduction renders in colour
  EXPECT_EQ(ComputeBitmapGeometry(&dm, false)->bits, 24);
  for (DWORD mode : {1u, 2u, 3u}) {
    TarnwickDEVMODE colour = Record(300, 300, mode);
    EXPECT_EQ(ComputeBitmapGeometry(&colour, false)->bits, 24) << mode;
  }
  // A page whose rows would not fit 32-bit sizes, and empty pages.
  TarnwickDEVMODE huge = Record(3000, 3000, 3);
  huge.PaperWidthInPixels = 354331;
  huge.PaperHeightInPixels = 354331;
  EXPECT_FALSE(ComputeBitmapGeometry(&huge, false));
  huge.PaperWidthInPixels = 0;
  EXPECT_FALSE(ComputeBitmapGeometry(&huge, false));
  TarnwickDEVMODE header = Record();
  header.FaxHeader = 5000;
  EXPECT_FALSE(ComputeBitmapGeometry(&header, false));
}

TEST(BoundsTrim, SameResolutionCutsToTheInk) {
  RECT ink{100, 200, 2000, 3000};
  BoundsTrim t = ComputeBoundsTrim(ink, {2550, 3300}, {2550, 3300}, {true, true, true, true});
  EXPECT_EQ(t.target.left, 100);
  EXPECT_EQ(t.target.top, 200);
  EXPECT_EQ(2550 - t.target.left - t.target.right, 1901);
  EXPECT_EQ(3300 - t.target.top - t.target.bottom, 2801);
  EXPECT_EQ(t.reference.right, t.target.right);
  // Only the sides asked for.
  t = ComputeBoundsTrim(ink, {2550, 3300}, {2550, 3300}, {true, false, false, false});
  EXPECT_EQ(t.target.left, 100);
  EXPECT_EQ(t.target.top + t.target.right + t.target.bottom, 0);
}

TEST(BoundsTrim, OtherTargetsScaleOutwardsAndClamp) {
  // Bounds are reference pixels: a half-size target cuts half as much and keeps the ink.
  RECT ink{101, 201, 2000, 3000};
  BoundsTrim t = ComputeBoundsTrim(ink, {2550, 3300}, {1275, 1650}, {true, true, true, true});
  EXPECT_EQ(t.target.left, 50);
  EXPECT_EQ(t.target.top, 100);
  EXPECT_EQ(1275 - t.target.right, 1001);  // (2000 + 1) / 2 rounded up
  EXPECT_EQ(t.reference.left, 101);
  // Ink off the page trims nothing; ink past an edge is cut at the edge.
  t = ComputeBoundsTrim({-50, -40, 3000, 4000}, {2550, 3300}, {2550, 3300}, {true, true, true, true});
  EXPECT_EQ(t.target.left + t.target.top + t.target.right + t.target.bottom, 0);
  t = ComputeBoundsTrim({3000, 10, 3100, 20}, {2550, 3300}, {2550, 3300}, {true, true, true, true});
  EXPECT_EQ(t.target.left, 0);
  EXPECT_EQ(t.target.top, 10);
  EXPECT_EQ(t.target.right, 0);
  t = ComputeBoundsTrim({0, 0, -1, -1}, {2550, 3300}, {2550, 3300}, {true, true, true, true});
  EXPECT_EQ(t.target.left + t.target.right, 0);
}

TEST(CropEdges, MarginsOrEdgesInHundredthsOfAnInch) {
  RECT r = ComputeCropEdges(2550, 3300, 300, 300, 0, 50, 0, 0, 0);
  EXPECT_EQ(r.left, 150);
  EXPECT_EQ(r.right, 2550);  // mode 0, right margin 0: the page's own edge
  r = ComputeCropEdges(2550, 3300, 300, 300, 1, 0, 0, 800, 1000);
  EXPECT_EQ(r.right, 2400);
  EXPECT_EQ(r.bottom, 3000);
  r = ComputeCropEdges(2550, 3300, 300, 600, 0, 0, 10, 0, 10);
  EXPECT_EQ(r.top, 60);
  EXPECT_EQ(r.bottom, 3300 - 60);
  r = ComputeCropEdges(2550, 3300, 300, 300, 0, 0xFFFFFFFF, 0, 0, 0);  // read as -1
  EXPECT_EQ(r.left, -3);
}

TEST(FontQuality, AntialiasingSetting) {
  EXPECT_EQ(FontQualityFor(0, 3, 300, ANTIALIASED_QUALITY), NONANTIALIASED_QUALITY);
  EXPECT_EQ(FontQualityFor(1, 0, 300, DEFAULT_QUALITY), ANTIALIASED_QUALITY);
  EXPECT_EQ(FontQualityFor(2, 0, 300, DEFAULT_QUALITY), CLEARTYPE_QUALITY);
  EXPECT_EQ(FontQualityFor(3, 0, 300, PROOF_QUALITY), PROOF_QUALITY);
  // Automatic (4 and any other value).
  EXPECT_EQ(FontQualityFor(4, 0, 300, ANTIALIASED_QUALITY), NONANTIALIASED_QUALITY);
  EXPECT_EQ(FontQualityFor(4, 1, 300, DEFAULT_QUALITY), ANTIALIASED_QUALITY);
  EXPECT_EQ(FontQualityFor(4, 1, 300, NONANTIALIASED_QUALITY), NONANTIALIASED_QUALITY);
  EXPECT_EQ(FontQualityFor(9, 2, 150, CLEARTYPE_NATURAL_QUALITY), CLEARTYPE_QUALITY);
  EXPECT_EQ(FontQualityFor(4, 3, 300, NONANTIALIASED_QUALITY), NONANTIALIASED_QUALITY);
  EXPECT_EQ(FontQualityFor(4, 3, 300, DRAFT_QUALITY), ANTIALIASED_QUALITY);
  EXPECT_EQ(FontQualityFor(4, 3, 149, DRAFT_QUALITY), DRAFT_QUALITY);
  EXPECT_EQ(FontQualityFor(4, 1, 100, DEFAULT_QUALITY), DEFAULT_QUALITY);
}

}  // namespace
