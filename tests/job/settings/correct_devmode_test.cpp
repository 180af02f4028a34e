// The job's record correction: page geometry, resolution, colour mode, and
// the switches the registry adds (FTP upload, TIFF viewer, Save-As dialog).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "job/devmode/devmode_access.h"
#include "job/settings/correct_devmode.h"
#include "job/settings/save_as.h"
#include "settings_test_util.h"
#include "tw_test.h"

using namespace tw::settings;
namespace dm = tw::devmode;
using dm::TarnwickDEVMODE;

namespace {

constexpr char16_t kPrinter[] = u"Tarnwick Printer";
constexpr DWORD kAllGeometryFields = dm::kDmPaperLength | dm::kDmPaperWidth | dm::kDmPrintQuality | dm::kDmYResolution;

class CorrectDevModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    internal::ResetOncePerProcessState();
    std::memset(record_.get(), 0, sizeof(TarnwickDEVMODE));
    record_->DM.dmDeviceName.Set(kPrinter);
    record_->DM.dmFields = kAllGeometryFields;
    record_->DM.dmOrientation = 1;
    record_->DM.dmScale = 100;
    record_->FileFormat = 3;
    scope_ = ScopeForPrinter(kPrinter, 5);
  }
  void Paper(SHORT width, SHORT length, SHORT x, SHORT y) {
    record_->DM.dmPaperWidth = width;
    record_->DM.dmPaperLength = length;
    record_->DM.dmPrintQuality = x;
    record_->DM.dmYResolution = y;
  }
  EffectiveContext Run() {
    EffectiveContext ctx{scope_, record_.get(), merge_, tiffViewer_};
    CorrectDevMode(ctx, *record_);
    tiffViewer_ = ctx.tiffViewer;
    return ctx;
  }

  twtest::TempRoot root_;
  std::unique_ptr<TarnwickDEVMODE> record_ = std::make_unique<TarnwickDEVMODE>();
  SettingsScope scope_;
  MergeState merge_;
  bool tiffViewer_ = false;
};

TEST_F(CorrectDevModeTest, PixelSizesOfLetterAndA4) {
  Paper(2159, 2794, 300, 300);
  Run();
  EXPECT_EQ(+record_->PaperWidthInPixels, 2550);
  EXPECT_EQ(+record_->PaperHeightInPixels, 3300);

  Paper(2100, 2970, 200, 200);
  Run();
  EXPECT_EQ(+record_->PaperWidthInPixels, 1654);
  EXPECT_EQ(+record_->PaperHeightInPixels, 2339);
}

TEST_F(CorrectDevModeTest, FaxFineLandscape) {
  record_->Flags = dm::flags::FaxOutput;
  dm::SetFaxMode(*record_, 4);  // fine
  record_->DM.dmOrientation = 2;
  Paper(2159, 2794, 300, 300);
  Run();
  EXPECT_EQ(dm::GetXDPI(record_.get()), 204);
  EXPECT_EQ(dm::GetYDPI(record_.get()), 196);
  // Exchanged, then the width computed with the vertical resolution.
  EXPECT_EQ(+record_->DM.dmPaperWidth, 2794);
  EXPECT_EQ(+record_->DM.dmPaperLength, 2159);
  EXPECT_EQ(+record_->PaperWidthInPixels, 2156);   // 196 / 254 * 2794
  EXPECT_EQ(+record_->PaperHeightInPixels, 1734);  // 204 / 254 * 2159
}

TEST_F(CorrectDevModeTest, LandscapeWithoutGeometryBitsExchangesTheStoredPixels) {
  record_->DM.dmFields = dm::kDmPaperLength | dm::kDmPaperWidth;  // no resolution bits
  record_->DM.dmOrientation = 2;
  Paper(2159, 2794, 300, 300);
  record_->PaperWidthInPixels = 100;
  record_->PaperHeightInPixels = 200;
  Run();
  EXPECT_EQ(+record_->DM.dmPaperWidth, 2794);
  EXPECT_EQ(+record_->PaperWidthInPixels, 200);
  EXPECT_EQ(+record_->PaperHeightInPixels, 100);
}

TEST_F(CorrectDevModeTest, QualityMinusOneWithoutFaxBecomes204By98) {
  Paper(2159, 2794, -1, 0);
  Run();
  EXPECT_EQ(+record_->DM.dmPrintQuality, 204);
  EXPECT_EQ(+record_->DM.dmYResolution, 98);
  EXPECT_EQ(+record_->PaperWidthInPixels, 1734);
  EXPECT_EQ(+record_->PaperHeightInPixels, 1078);  // 98 / 254 * 2794 = 1078.0
}

TEST_F(CorrectDevModeTest, ColourModeFollowsTheEffectiveFormat) {
  Paper(2159, 2794, 300, 300);
  record_->FileFormat = 7;  // black and white only
  record_->ColorMode = 3;
  Run();
  EXPECT_EQ(+record_->ColorMode, 0u);
  EXPECT_EQ(+record_->DM.dmBitsPerPel, 1u);

  record_->FileFormat = 16;  // true colour only
  record_->ColorMode = 1;
  Run();
  EXPECT_EQ(+record_->ColorMode, 3u);
  EXPECT_EQ(+record_->DM.dmBitsPerPel, 24u);

  // With Save-As values: the Save-As format and colour depth decide.
  record_->Flags = dm::flags::SaveAs;
  record_->FileFormat = 16;
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::FileFormat, 3));
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::ColorDepth, 1));
  Run();
  EXPECT_EQ(+record_->ColorMode, 1u);
  EXPECT_EQ(+record_->DM.dmBitsPerPel, 24u);
}

TEST_F(CorrectDevModeTest, EmfSwitchesStampsOffAndTiffFormatsSetTheirFlags) {
  record_->FileFormat = 18;
  record_->WatermarkFlags = 1;
  record_->AnnotationFlags = 1;
  record_->BarcodeFlags = 1;
  record_->Flags = dm::flags::BatesNumbering;
  Run();
  EXPECT_EQ(record_->WatermarkFlags | record_->AnnotationFlags | record_->BarcodeFlags, 0u);
  EXPECT_EQ(record_->Flags & dm::flags::BatesNumbering, 0u);

  record_->FileFormat = 21;
  record_->Flags = 0;
  Run();
  EXPECT_EQ(+record_->Flags, dm::flags::PageNumberingTag | dm::flags::ReverseBitOrder);
}

TEST_F(CorrectDevModeTest, ForceSaveAsDialogSetsBit31) {
  Run();
  EXPECT_FALSE(record_->Flags & dm::flags::SaveAs);
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::ForceSaveAsDialog, 2));
  Run();
  EXPECT_FALSE(record_->Flags & dm::flags::SaveAs);
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::ForceSaveAsDialog, 1));
  Run();
  EXPECT_TRUE(record_->Flags & dm::flags::SaveAs);
}

TEST_F(CorrectDevModeTest, FtpConnectionAddsTextOutputAndOcr) {
  ASSERT_TRUE(Write(scope_, PostPrintFtpUpload, true));
  ASSERT_TRUE(Write(scope_, FtpSelectedConnection, 2));
  ASSERT_TRUE(Write(scope_, FtpUploadText, true, Fill{2, std::nullopt}));
  Run();
  EXPECT_TRUE(record_->Flags & dm::flags::WriteText);
  EXPECT_EQ(Read(scope_, OcrEnabled), 0);

  ASSERT_TRUE(Write(scope_, FtpUploadOcr, true, Fill{2, std::nullopt}));
  Run();
  EXPECT_EQ(Read(scope_, OcrEnabled), 1);

  // Another connection's switches do not count.
  record_->Flags = 0;
  ASSERT_TRUE(Write(scope_, FtpSelectedConnection, 3));
  Run();
  EXPECT_FALSE(record_->Flags & dm::flags::WriteText);
}

TEST_F(CorrectDevModeTest, TiffViewerNeedsSwitchRegisteredFileAndFormat) {
  const std::u16string appPath = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TwImageView.exe";
  ASSERT_TRUE(Write(scope_, PostPrintOpenTiffViewer, true));
  Run();
  EXPECT_FALSE(tiffViewer_) << "no viewer registered";

  ASSERT_TRUE(SetRegText(HKEY_LOCAL_MACHINE, appPath, nullptr, u"C:\\Viewer\\TwImageView.exe"));
  Run();
  EXPECT_FALSE(tiffViewer_) << "the registered file does not exist";

  ASSERT_TRUE(CreateDirectoryW(u"C:\\Viewer", nullptr));
  ASSERT_TRUE(MakeFile(u"C:\\Viewer\\TwImageView.exe"));
  record_->FileFormat = 16;
  Run();
  EXPECT_FALSE(tiffViewer_) << "JPEG is not a viewer format";
  record_->FileFormat = 44;
  Run();
  EXPECT_TRUE(tiffViewer_);
  // Decided once for the job.
  ASSERT_TRUE(Write(scope_, PostPrintOpenTiffViewer, false));
  Run();
  EXPECT_TRUE(tiffViewer_);
}

TEST_F(CorrectDevModeTest, TracesGeometryBeforeAndAfter) {
  Paper(2159, 2794, 300, 300);
  std::vector<std::u16string> lines;
  EffectiveContext ctx{scope_, record_.get(), merge_, tiffViewer_};
  CorrectDevMode(ctx, *record_, [&](std::u16string_view l) { lines.emplace_back(l); });
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], u"CTWJob::CorrectDevMode : == IN ==");
  EXPECT_EQ(lines[2], u"CTWJob::CorrectDevMode : == OUT ==");
  EXPECT_NE(lines[3].find(u"2550 x 3300 pixels"), std::u16string::npos) << std::string(lines[3].begin(), lines[3].end());
}

TEST_F(CorrectDevModeTest, RandomRecordsDoNotCrash) {
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) {
    auto* bytes = reinterpret_cast<BYTE*>(record_.get());
    for (size_t b = 0; b < sizeof(TarnwickDEVMODE); ++b) bytes[b] = static_cast<BYTE>(random());
    if (i % 2) record_->FileFormat = random() % 50;
    if (i % 3 == 0) record_->DM.dmFields = kAllGeometryFields;
    Run();
    EXPECT_LE(+record_->ColorMode, 3u);
    EXPECT_TRUE(record_->DM.dmBitsPerPel == 1 || record_->DM.dmBitsPerPel == 24);
  }
}

}  // namespace
