// Reading and storing rules of the job's DEVMODE record.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "devmode_test_util.h"
#include "job/devmode/devmode_access.h"

using namespace tw::devmode;

namespace {

TEST(DevModeRules, NoRecordGivesTheDocumentedDefaults) {
  EXPECT_EQ(GetXDPI(nullptr), 300);
  EXPECT_EQ(GetYDPI(nullptr), 300);
  EXPECT_EQ(GetFileFormat(nullptr), 4u);
  EXPECT_EQ(GetColorMode(nullptr), 0u);
  EXPECT_EQ(GetBitsPerPixel(nullptr), 1u);
  EXPECT_EQ(GetWatermarkBrightnessL(nullptr), 40u);
  EXPECT_EQ(GetWatermarkBrightnessP(nullptr), 40u);
  EXPECT_EQ(GetFaxMode(nullptr), 0u);
  EXPECT_FALSE(SaveAsApplies(nullptr));
  EXPECT_EQ(GetParameterOrder(nullptr, 0), 0u);
  EXPECT_EQ(GetCustomParameter(nullptr), u"");
}

TEST(DevModeRules, ResolutionDecodingTable) {
  struct Row {
    LONG stored, x, y;
  };
  const Row rows[] = {
      {-1, 100, 100}, {-2, 200, 200}, {-3, 300, 300}, {-4, 600, 600}, {-5, 204, 98}, {-6, 204, 196},
      {0, 300, 300},  {50, 50, 50},   {3000, 3000, 3000}, {49, 300, 300}, {3001, 300, 300}, {-7, 300, 300},
      {204, 204, 204}, {-32768, 300, 300}, {32767, 300, 300},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(DecodeXResolution(r.stored), r.x) << r.stored;
    EXPECT_EQ(DecodeYResolution(r.stored), r.y) << r.stored;
  }
  auto dm = ZeroRecord();
  dm->DM.dmPrintQuality = -5;
  dm->DM.dmYResolution = -6;
  EXPECT_EQ(GetXDPI(dm.get()), 204);
  EXPECT_EQ(GetYDPI(dm.get()), 196);
  // -1 read without correction means 100 DPI.
  dm->DM.dmPrintQuality = -1;
  EXPECT_EQ(GetXDPI(dm.get()), 100);
}

TEST(DevModeRules, ResolutionStoringRule) {
  auto dm = ZeroRecord();
  struct Row {
    LONG requestX, requestY;
    SHORT storedX, storedY;
  };
  const Row rows[] = {
      {-1, -2, 100, 200}, {-4, -4, 600, 600}, {-5, -5, 204, 98}, {-6, -6, 204, 196},
      {72, 3000, 72, 3000}, {49, 3001, 300, 300}, {0, -3, 300, 300}, {70000, -70000, 300, 300},
  };
  for (const Row& r : rows) {
    SetResolution(*dm, r.requestX, r.requestY);
    EXPECT_EQ(dm->DM.dmPrintQuality, r.storedX) << r.requestX;
    EXPECT_EQ(dm->DM.dmYResolution, r.storedY) << r.requestY;
  }
}

TEST(DevModeRules, ClampsOnReading) {
  auto dm = ZeroRecord();
  dm->LossRatio = 0;
  EXPECT_EQ(GetLossRatio(dm.get()), 1u);
  dm->LossRatio = 57;
  EXPECT_EQ(GetLossRatio(dm.get()), 57u);
  dm->LossRatio = 101;
  EXPECT_EQ(GetLossRatio(dm.get()), 100u);
  dm->LossRatio = 0xffffffff;
  EXPECT_EQ(GetLossRatio(dm.get()), 100u);

  dm->Brightness = 199;
  EXPECT_EQ(GetBrightness(dm.get()), 199u);
  dm->Brightness = 200;
  EXPECT_EQ(GetBrightness(dm.get()), 199u);

  dm->ColorMode = 3;
  EXPECT_EQ(GetColorMode(dm.get()), 3u);
  dm->ColorMode = 4;
  EXPECT_EQ(GetColorMode(dm.get()), 3u);

  dm->FileGenerationMethod = 9;
  EXPECT_EQ(GetFileGenerationMethod(dm.get()), 9u);
  dm->FileGenerationMethod = 10;
  EXPECT_EQ(GetFileGenerationMethod(dm.get()), 0u);

  dm->WatermarkBrightnessL = 100;
  dm->WatermarkBrightnessP = 101;
  EXPECT_EQ(GetWatermarkBrightnessL(dm.get()), 100u);
  EXPECT_EQ(GetWatermarkBrightnessP(dm.get()), 40u);

  // The stored bytes are not touched by reading.
  EXPECT_EQ(dm->ColorMode, 4u);
  EXPECT_EQ(dm->WatermarkBrightnessP, 101);
}

TEST(DevModeRules, BitsPerPixelFollowColourMode) {
  EXPECT_EQ(BitsPerPixelOfColorMode(0), 1u);
  EXPECT_EQ(BitsPerPixelOfColorMode(1), 8u);
  EXPECT_EQ(BitsPerPixelOfColorMode(2), 8u);
  EXPECT_EQ(BitsPerPixelOfColorMode(3), 24u);
  auto dm = ZeroRecord();
  SetColorMode(*dm, 0);
  EXPECT_EQ(dm->DM.dmBitsPerPel, 1u);
  SetColorMode(*dm, 2);
  EXPECT_EQ(dm->ColorMode, 2u);
  EXPECT_EQ(dm->DM.dmBitsPerPel, 24u);  // the correction stores 24 for every mode but 0
  SetColorMode(*dm, 9);
  EXPECT_EQ(dm->ColorMode, 3u);
}

TEST(DevModeRules, FaxModeReadAndWrite) {
  auto dm = ZeroRecord();
  struct Row {
    DWORD bits, kind;
  };
  // Priority: 0x2, then 0x800000, then 0x1000, then 0x1.
  const Row rows[] = {{0, 0},        {0x1, 4},        {0x1000, 3},         {0x800000, 2},
                      {0x2, 1},      {0x2 | 0x1, 1},  {0x800000 | 0x1000, 2}, {0x1000 | 0x1, 3},
                      {0x801003, 1}};
  for (const Row& r : rows) {
    dm->Flags = r.bits | 0x40;
    EXPECT_EQ(GetFaxMode(dm.get()), r.kind) << std::hex << r.bits;
  }
  for (DWORD kind = 0; kind <= 4; ++kind) {
    dm->Flags = 0x801003 | 0x10000;
    SetFaxMode(*dm, kind);
    EXPECT_EQ(GetFaxMode(dm.get()), kind);
    EXPECT_EQ(dm->Flags & 0x10000, 0x10000u) << "other bits stay";
    DWORD faxBits = dm->Flags & 0x801003;
    EXPECT_TRUE(faxBits == 0 || (faxBits & (faxBits - 1)) == 0) << "one bit at most";
  }
  EXPECT_TRUE(IsFaxStandardResolution(2));
  EXPECT_TRUE(IsFaxStandardResolution(3));
  EXPECT_FALSE(IsFaxStandardResolution(1));
  EXPECT_FALSE(IsFaxStandardResolution(4));
  EXPECT_FALSE(IsFaxStandardResolution(0));
}

TEST(DevModeRules, PaperDimensionStoringRule) {
  auto dm = ZeroRecord();
  dm->DM.dmPaperWidth = 2159;
  dm->DM.dmPaperLength = 2794;
  dm->DM.dmScale = 100;
  // 3300 mm does not fit at scale 100: both dimensions at scale 1000.
  EXPECT_TRUE(SetPaperWidth(*dm, 33000));
  EXPECT_EQ(dm->DM.dmPaperWidth, 3300);
  EXPECT_EQ(dm->DM.dmPaperLength, 279);
  EXPECT_EQ(dm->DM.dmScale, 1000);
  EXPECT_EQ(GetPaperWidth(*dm), 33000);
  EXPECT_EQ(GetPaperLength(*dm), 2790);

  // Back to a small width: the other dimension is re-expressed at scale 100.
  EXPECT_TRUE(SetPaperWidth(*dm, 2100));
  EXPECT_EQ(dm->DM.dmScale, 100);
  EXPECT_EQ(dm->DM.dmPaperWidth, 2100);
  EXPECT_EQ(dm->DM.dmPaperLength, 2790);

  // The other dimension reaching 32767 at scale 100 also switches to 1000.
  dm->DM.dmPaperLength = 4000;
  dm->DM.dmScale = 900;  // 36000 at scale 100
  EXPECT_TRUE(SetPaperWidth(*dm, 2000));
  EXPECT_EQ(dm->DM.dmScale, 1000);
  EXPECT_EQ(dm->DM.dmPaperWidth, 200);
  EXPECT_EQ(dm->DM.dmPaperLength, 3600);

  EXPECT_TRUE(SetPaperLength(*dm, 2970));
  EXPECT_EQ(dm->DM.dmScale, 100);
  EXPECT_EQ(dm->DM.dmPaperLength, 2970);
  EXPECT_EQ(dm->DM.dmPaperWidth, 2000);

  // A value too large even at scale 1000 is limited, and says so.
  EXPECT_FALSE(SetPaperLength(*dm, 400000));
  EXPECT_EQ(dm->DM.dmPaperLength, 32767);
  EXPECT_EQ(dm->DM.dmScale, 1000);
}

// Sets paper and resolution through the storing rules and computes pixels.
void Page(TarnwickDEVMODE& dm, LONG width, LONG length, LONG dpi) {
  dm.DM.dmScale = 100;
  SetPaperWidth(dm, width);
  SetPaperLength(dm, length);
  SetResolution(dm, dpi, dpi);
  dm.DM.dmFields = kDmPaperLength | kDmPaperWidth | kDmPrintQuality | kDmYResolution;
}

TEST(DevModeRules, PixelSizeFromPaperAndResolution) {
  auto dm = ZeroRecord();
  Page(*dm, 2159, 2794, 300);  // letter
  ASSERT_TRUE(ComputePaperPixels(*dm));
  EXPECT_EQ(dm->PaperWidthInPixels, 2550);
  EXPECT_EQ(dm->PaperHeightInPixels, 3300);

  Page(*dm, 2100, 2970, 200);  // A4
  ASSERT_TRUE(ComputePaperPixels(*dm));
  EXPECT_EQ(dm->PaperWidthInPixels, 1654);
  EXPECT_EQ(dm->PaperHeightInPixels, 2339);

  // Scale 1000 takes part in the width.
  Page(*dm, 33000, 2794, 100);
  ASSERT_TRUE(ComputePaperPixels(*dm));
  EXPECT_EQ(dm->PaperWidthInPixels, PaperPixels(100, 33000));
  EXPECT_EQ(dm->PaperHeightInPixels, PaperPixels(100, 2790));
}

TEST(DevModeRules, FaxLandscapeComputesWidthWithTheVerticalResolution) {
  auto dm = ZeroRecord();
  Page(*dm, 2794, 2159, 300);
  SetResolution(*dm, -5, -5);  // 204 x 98
  dm->DM.dmOrientation = 2;
  dm->Flags = flags::FaxOutput;
  ASSERT_TRUE(ComputePaperPixels(*dm));
  EXPECT_EQ(dm->PaperWidthInPixels, PaperPixels(98, 2794));
  EXPECT_EQ(dm->PaperHeightInPixels, PaperPixels(204, 2159));
  // Portrait fax, or landscape without fax: X DPI across.
  dm->DM.dmOrientation = 1;
  ASSERT_TRUE(ComputePaperPixels(*dm));
  EXPECT_EQ(dm->PaperWidthInPixels, PaperPixels(204, 2794));
  dm->DM.dmOrientation = 2;
  dm->Flags = 0;
  ASSERT_TRUE(ComputePaperPixels(*dm));
  EXPECT_EQ(dm->PaperWidthInPixels, PaperPixels(204, 2794));
}

TEST(DevModeRules, PixelSizeNeedsAllFourFieldBitsAndPositiveResults) {
  auto dm = ZeroRecord();
  Page(*dm, 2159, 2794, 300);
  dm->PaperWidthInPixels = 11;
  dm->PaperHeightInPixels = 12;
  for (DWORD missing : {kDmPaperLength, kDmPaperWidth, kDmPrintQuality, kDmYResolution}) {
    dm->DM.dmFields = (kDmPaperLength | kDmPaperWidth | kDmPrintQuality | kDmYResolution) & ~missing;
    EXPECT_FALSE(ComputePaperPixels(*dm));
    EXPECT_EQ(dm->PaperWidthInPixels, 11);
    EXPECT_EQ(dm->PaperHeightInPixels, 12);
  }
  dm->DM.dmFields = kDmPaperLength | kDmPaperWidth | kDmPrintQuality | kDmYResolution;
  dm->DM.dmPaperLength = 0;
  EXPECT_FALSE(ComputePaperPixels(*dm)) << "a zero height stores neither value";
  EXPECT_EQ(dm->PaperWidthInPixels, 11);
}

TEST(DevModeRules, ParameterOrderByRecordVersion) {
  auto dm = ZeroRecord();
  for (int i = 0; i < 8; ++i) {
    WORD v = static_cast<WORD>(i + 1);
    std::memcpy(dm->ParameterOrder + 2 * i, &v, 2);
  }
  dm->BatesProfile = 0x09;
  std::memset(&dm->CustomParameter, 0, sizeof dm->CustomParameter);
  dm->CustomParameter.raw[0] = 0x01;
  for (int i = 0; i < 8; ++i) dm->ParameterOrder2[i] = static_cast<BYTE>(20 + i);

  dm->DM.dmDriverVersion = 1469;  // nine u16 entries, the ninth over BatesProfile
  EXPECT_EQ(ParameterOrderCount(dm.get()), 9u);
  EXPECT_EQ(GetParameterOrder(dm.get(), 0), 1u);
  EXPECT_EQ(GetParameterOrder(dm.get(), 7), 8u);
  EXPECT_EQ(GetParameterOrder(dm.get(), 8), 0x0109u);
  EXPECT_EQ(GetParameterOrder(dm.get(), 9), 0u);

  dm->DM.dmDriverVersion = 1470;  // 0..7 u16, 8..15 bytes
  EXPECT_EQ(ParameterOrderCount(dm.get()), 16u);
  EXPECT_EQ(GetParameterOrder(dm.get(), 7), 8u);
  EXPECT_EQ(GetParameterOrder(dm.get(), 8), 20u);
  EXPECT_EQ(GetParameterOrder(dm.get(), 15), 27u);
  EXPECT_EQ(GetParameterOrder(dm.get(), 16), 0u);

  EXPECT_TRUE(SetParameterOrder(*dm, 12, 5));
  EXPECT_EQ(dm->ParameterOrder2[4], 5);
  dm->DM.dmDriverVersion = 1000;
  EXPECT_TRUE(SetParameterOrder(*dm, 8, 0x0203));
  EXPECT_EQ(dm->BatesProfile, 0x03);
  EXPECT_FALSE(SetParameterOrder(*dm, 9, 1));
}

TEST(DevModeRules, TextOutputAndPagesPerSheet) {
  auto dm = ZeroRecord();
  dm->DM.dmDriverVersion = 1455;
  dm->Flags = flags::AdvancedTextOld;
  dm->TextOutputType = 0;
  EXPECT_TRUE(IsAdvancedText(dm.get()));
  dm->DM.dmDriverVersion = 1456;
  EXPECT_FALSE(IsAdvancedText(dm.get())) << "newer records use TextOutputType";
  dm->TextOutputType = 1;
  EXPECT_TRUE(IsAdvancedText(dm.get()));
  dm->TextOutputType = 3;
  EXPECT_EQ(GetTextOutputType(dm.get()), 2u);
  dm->PagesPerSheet = 1;
  EXPECT_EQ(GetPagesPerSheet(dm.get()), 0u);
  dm->PagesPerSheet = 4;
  EXPECT_EQ(GetPagesPerSheet(dm.get()), 4u);
}

TEST(DevModeRules, SizeConsistencyAndSaveAsBit) {
  auto dm = ZeroRecord();
  dm->DM.dmSize = 220;
  dm->DM.dmDriverExtra = 6659;
  EXPECT_TRUE(HasConsistentSize(*dm));
  dm->DM.dmDriverExtra = 6658;
  EXPECT_FALSE(HasConsistentSize(*dm));
  dm->DM.dmSize = 0xffff;
  dm->DM.dmDriverExtra = 6879 - 0xffff + 0x10000;  // wraps in 16 bits, must not count
  EXPECT_FALSE(HasConsistentSize(*dm));
  dm->Flags = 0x80000000;
  EXPECT_TRUE(SaveAsApplies(dm.get()));
}

}  // namespace
