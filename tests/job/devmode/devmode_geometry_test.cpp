// The record corrections: landscape exchange, resolution, format flags and
// the colour mode each format accepts.
#include <gtest/gtest.h>

#include "devmode_test_util.h"
#include "job/devmode/devmode_access.h"
#include "job/devmode/devmode_geometry.h"
#include "output/formats/format_table.h"

using namespace tw::devmode;

namespace {

TEST(DevModeGeometry, LandscapeExchangesDimensionsAndPixelsOnly) {
  auto dm = ZeroRecord();
  dm->DM.dmOrientation = 2;
  dm->DM.dmPaperWidth = 2159;
  dm->DM.dmPaperLength = 2794;
  dm->DM.dmScale = 1000;
  dm->PaperWidthInPixels = 2550;
  dm->PaperHeightInPixels = 3300;
  EXPECT_TRUE(SwapLandscapeWidthHeight(*dm));
  EXPECT_EQ(+dm->DM.dmPaperWidth, 2794);
  EXPECT_EQ(+dm->DM.dmPaperLength, 2159);
  EXPECT_EQ(+dm->DM.dmScale, 1000);
  EXPECT_EQ(+dm->PaperWidthInPixels, 3300);
  EXPECT_EQ(+dm->PaperHeightInPixels, 2550);

  dm->DM.dmOrientation = 1;
  EXPECT_FALSE(SwapLandscapeWidthHeight(*dm));
  EXPECT_EQ(+dm->DM.dmPaperWidth, 2794);
  EXPECT_EQ(+dm->PaperWidthInPixels, 3300);
}

TEST(DevModeGeometry, FaxOutputSetsTheFaxResolutions) {
  struct Row {
    DWORD kind;
    SHORT y;
  };
  for (Row r : {Row{0, 196}, Row{1, 196}, Row{2, 98}, Row{3, 98}, Row{4, 196}}) {
    auto dm = ZeroRecord();
    dm->Flags = flags::FaxOutput;
    SetFaxMode(*dm, r.kind);
    dm->DM.dmPrintQuality = 600;
    dm->DM.dmYResolution = 600;
    CorrectResolution(*dm);
    EXPECT_EQ(+dm->DM.dmPrintQuality, 204) << r.kind;
    EXPECT_EQ(+dm->DM.dmYResolution, r.y) << r.kind;
  }
}

TEST(DevModeGeometry, NegativeQualityIsMadeConcreteAndLargeValuesLowered) {
  struct Row {
    SHORT quality, yIn, x, y;
  };
  const Row rows[] = {
      {-4, 0, 600, 600}, {-2, 0, 204, 196}, {-1, 0, 204, 98}, {-3, 0, 300, 300},
      {-5, 0, 300, 300}, {-6, 0, 300, 300}, {-100, 0, 300, 300},
      {3001, 3001, 3000, 3000}, {32767, 150, 3000, 150}, {200, 5000, 200, 3000}, {0, 0, 0, 0},
      {300, -2, 300, -2},  // only dmPrintQuality decides; a negative Y keeps its reading
  };
  for (const Row& r : rows) {
    auto dm = ZeroRecord();
    dm->DM.dmPrintQuality = r.quality;
    dm->DM.dmYResolution = r.yIn;
    CorrectResolution(*dm);
    EXPECT_EQ(+dm->DM.dmPrintQuality, r.x) << r.quality;
    EXPECT_EQ(+dm->DM.dmYResolution, r.y) << r.quality;
  }
  // Read without correction, -1 means 100 DPI.
  auto dm = ZeroRecord();
  dm->DM.dmPrintQuality = -1;
  EXPECT_EQ(GetXDPI(dm.get()), 100);
}

TEST(DevModeGeometry, FormatFlagsAndEmfStamps) {
  constexpr DWORD kTag = flags::PageNumberingTag, kRev = flags::ReverseBitOrder;
  struct Row {
    DWORD format, in, out;
  };
  const Row rows[] = {
      {21, 0, kTag | kRev}, {22, kRev, kTag}, {23, kRev | 0x40, kTag | 0x40},
      {30, kRev | kTag, kTag}, {7, kRev, kRev}, {18, kRev, kRev},
  };
  for (const Row& r : rows) {
    auto dm = ZeroRecord();
    dm->Flags = r.in;
    ApplyFormatFlags(*dm, r.format);
    EXPECT_EQ(+dm->Flags, r.out) << r.format;
  }

  auto dm = ZeroRecord();
  dm->AnnotationFlags = 0x7;
  dm->WatermarkFlags = 0x403;
  dm->BarcodeFlags = 0x11;
  dm->Flags = flags::BatesNumbering | flags::WriteText;
  SwitchOffStampsForFormat(*dm, 36);
  EXPECT_EQ(+dm->WatermarkFlags, 0x403u);
  SwitchOffStampsForFormat(*dm, 18);
  EXPECT_EQ(+dm->AnnotationFlags, 0x6u);
  EXPECT_EQ(+dm->WatermarkFlags, 0x402u);
  EXPECT_EQ(+dm->BarcodeFlags, 0x10u);
  EXPECT_EQ(+dm->Flags, flags::WriteText);
}

// The fall-back chains written out from the capability rule, one mode at a
// time, independently of the format table's own function.
DWORD ExpectedMode(DWORD mode, WORD mask) {
  bool m0 = mask & 0x1, m3 = mask & 0x2, m2 = mask & 0x4, m1 = mask & 0x8;
  switch (mode) {
    case 0: return m0 ? 0 : m1 ? 1 : m2 ? 2 : 3;
    case 1: return m1 ? 1 : m2 ? 2 : m3 ? 3 : m0 ? 0 : 3;
    case 2: return m2 ? 2 : m3 ? 3 : m1 ? 1 : m0 ? 0 : 3;
    default: return m3 ? 3 : m2 ? 2 : m1 ? 1 : m0 ? 0 : 3;
  }
}

TEST(DevModeGeometry, ColourModeForEveryCapabilityMaskOfTheFormatTable) {
  int masksSeen = 0;
  WORD seen[16] = {};
  for (const auto& row : tw::formats::AllFormats()) {
    if (!seen[row.colours & 0xf]++) ++masksSeen;
    for (DWORD mode = 0; mode <= 4; ++mode) {
      auto dm = ZeroRecord();
      DWORD got = CorrectColorMode(*dm, mode, row.colours);
      DWORD want = ExpectedMode(mode > 3 ? 3 : mode, row.colours);
      EXPECT_EQ(got, want) << "format " << row.code << " mode " << mode;
      EXPECT_EQ(+dm->ColorMode, want);
      EXPECT_EQ(+dm->DM.dmBitsPerPel, want == 0 ? 1u : 24u);
    }
  }
  EXPECT_GE(masksSeen, 5);
  // The two cases users meet: 24-bit on a black-and-white format, grey on colour-only.
  auto dm = ZeroRecord();
  EXPECT_EQ(CorrectColorMode(*dm, 3, 0x1), 0u);
  EXPECT_EQ(+dm->DM.dmBitsPerPel, 1u);
  EXPECT_EQ(CorrectColorMode(*dm, 1, 0x2), 3u);
  EXPECT_EQ(+dm->DM.dmBitsPerPel, 24u);
}

}  // namespace
