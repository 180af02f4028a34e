// Values the job derives when a document starts: page selection, cover
// page, channel and file names.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "job/settings/job_setup.h"
#include "job/settings/save_as.h"
#include "settings_test_util.h"
#include "tw_test.h"

using namespace tw::settings;
using tw::devmode::TarnwickDEVMODE;

namespace {

std::vector<DWORD> Pages(const std::vector<PageRange>& ranges, DWORD upTo) {
  std::vector<DWORD> pages;
  for (DWORD p = 1; p <= upTo; ++p)
    if (IsPageSelected(ranges, p)) pages.push_back(p);
  return pages;
}

TEST(PageSelection, ListsRangesAndStrayCharacters) {
  auto r = ParseSelectedPages(u"1, 3-4,7");
  ASSERT_TRUE(r);
  EXPECT_EQ(Pages(*r, 10), (std::vector<DWORD>{1, 3, 4, 7}));

  // A semicolon between two numbers joins them into one number.
  r = ParseSelectedPages(u"1;2");
  ASSERT_TRUE(r);
  ASSERT_EQ(r->size(), 1u);
  EXPECT_EQ((*r)[0].first, 12);
  EXPECT_EQ(Pages(*r, 20), (std::vector<DWORD>{12}));

  // A descending range keeps its order and selects the same pages.
  r = ParseSelectedPages(u"9-6");
  ASSERT_TRUE(r);
  EXPECT_EQ((*r)[0].first, 9);
  EXPECT_EQ((*r)[0].last, 6);
  EXPECT_EQ(Pages(*r, 10), (std::vector<DWORD>{6, 7, 8, 9}));

  r = ParseSelectedPages(u"p.2, p.5-6,");  // empty items are skipped
  ASSERT_TRUE(r);
  EXPECT_EQ(Pages(*r, 10), (std::vector<DWORD>{2, 5, 6}));

  r = ParseSelectedPages(u"65534");
  ASSERT_TRUE(r);
  EXPECT_TRUE(IsPageSelected(*r, 65534));
}

TEST(PageSelection, UnparsableListsTurnSelectionOff) {
  for (const char16_t* text : {u"", u"abc", u",", u"0", u"65535", u"1-", u"-3", u"1--3", u"1-2-3", u"3,0-2",
                               u"99999999999999999999"})
    EXPECT_FALSE(ParseSelectedPages(text)) << std::string(text, text + std::char_traits<char16_t>::length(text));
}

class JobSetup : public ::testing::Test {
 protected:
  void SetUp() override {
    internal::ResetOncePerProcessState();
    std::memset(record_.get(), 0, sizeof(TarnwickDEVMODE));
    scope_ = ScopeForPrinter(u"Tarnwick Printer", 9);
  }
  EffectiveContext Context() const { return EffectiveContext{scope_, record_.get(), merge_, false}; }

  twtest::TempRoot root_;
  std::unique_ptr<TarnwickDEVMODE> record_ = std::make_unique<TarnwickDEVMODE>();
  SettingsScope scope_;
  MergeState merge_;
};

TEST_F(JobSetup, SelectionNeedsTheSwitch) {
  ASSERT_TRUE(Write(scope_, PageSelectedPages, u"2-3"));
  EXPECT_FALSE(ReadPageSelection(scope_));
  ASSERT_TRUE(Write(scope_, PagePrintSelectedPagesOnly, true));
  auto r = ReadPageSelection(scope_);
  ASSERT_TRUE(r);
  EXPECT_EQ(Pages(*r, 5), (std::vector<DWORD>{2, 3}));
}

TEST_F(JobSetup, CoverPageComesFromTheDefaultOrThePerJobKey) {
  ASSERT_TRUE(Write(scope_, CoverDefaultCoverPage, u"C:\\Covers\\default.tif"));
  ASSERT_TRUE(Write(scope_, JobDefaultCoverPage, u"C:\\Covers\\job.tif"));
  EXPECT_FALSE(RequestedCoverPage(Context()));

  ASSERT_TRUE(Write(scope_, CoverEnable, 1));
  EXPECT_EQ(RequestedCoverPage(Context()), u"C:\\Covers\\job.tif");
  ASSERT_TRUE(Write(scope_, CoverEnableDefault, 1));
  EXPECT_EQ(RequestedCoverPage(Context()), u"C:\\Covers\\default.tif");

  // Save-As value 108 overrides the switch while Flags bit 31 is set.
  record_->Flags = tw::devmode::flags::SaveAs;
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::AddCoverPage, 0));
  EXPECT_FALSE(RequestedCoverPage(Context()));
}

TEST_F(JobSetup, CoverPageAcceptanceByExtensionAndFormat) {
  ASSERT_TRUE(CreateDirectoryW(u"C:\\Covers", nullptr));
  for (const char16_t* f : {u"C:\\Covers\\a.pdf", u"C:\\Covers\\B.PDF", u"C:\\Covers\\c.tif"})
    ASSERT_TRUE(MakeFile(f));

  // A capital ".PDF" is not ".pdf": it passes as an image cover page, then counts as PDF.
  auto check = CheckCoverPage(u"C:\\Covers\\B.PDF", 3);
  EXPECT_TRUE(check.accepted);
  EXPECT_TRUE(check.pdf);
  EXPECT_FALSE(CheckCoverPage(u"C:\\Covers\\B.PDF", 35).accepted);

  for (DWORD f : {35u, 36u, 40u, 41u}) EXPECT_TRUE(CheckCoverPage(u"C:\\Covers\\a.pdf", f).accepted) << f;
  for (DWORD f : {3u, 20u, 38u}) EXPECT_FALSE(CheckCoverPage(u"C:\\Covers\\a.pdf", f).accepted) << f;
  for (DWORD f : {3u, 10u, 21u, 23u, 30u}) {
    auto c = CheckCoverPage(u"C:\\Covers\\c.tif", f);
    EXPECT_TRUE(c.accepted) << f;
    EXPECT_FALSE(c.pdf);
  }
  for (DWORD f : {2u, 11u, 20u, 24u, 36u}) EXPECT_FALSE(CheckCoverPage(u"C:\\Covers\\c.tif", f).accepted) << f;
  EXPECT_FALSE(CheckCoverPage(u"C:\\Covers\\missing.tif", 3).accepted);
  EXPECT_FALSE(CheckCoverPage(u"C:\\Covers", 3).accepted);
  EXPECT_FALSE(CheckCoverPage(u"", 3).accepted);
  EXPECT_EQ(CoverPageErrorText(u"C:\\x.tif"), u"412: Could not load Cover Page: C:\\x.tif");
}

TEST(JobNames, ChannelsGroupFilesAndMergeBlock) {
  EXPECT_EQ(ReducedPrinterName(u"Tarnwick Printer #2 (Ä)"), u"Tarnwick_Printer__2__Ä_");
  auto n = MakeJobChannelNames(u"TwClient", 3, 17, 123456, u"Tarnwick Printer");
  EXPECT_EQ(n.previewPipe, u"\\\\.\\pipe\\TW_PREVIEW_3_17_123456_Tarnwick_Printer");
  EXPECT_EQ(n.previewAbortEvent, u"Global\\TW_PREVIEW_ABORT_3_17_123456_Tarnwick_Printer");
  EXPECT_EQ(n.ftpPipe, u"\\\\.\\pipe\\TW_FTP_3_17_123456_Tarnwick_Printer");
  EXPECT_EQ(n.httpPipe, u"\\\\.\\pipe\\TW_HTTP_3_17_123456_Tarnwick_Printer");
  EXPECT_EQ(n.dbPipe, u"\\\\.\\pipe\\TW_DB_3_17_123456_Tarnwick_Printer");
  EXPECT_EQ(n.mfilesPipe, u"\\\\.\\pipe\\TW_MFiles_3_17_123456_Tarnwick_Printer");
  EXPECT_EQ(n.sharePointPipe, u"\\\\.\\pipe\\TW_SharePoint_3_17_123456_Tarnwick_Printer");
  EXPECT_EQ(n.tiffViewerPipe, u"\\\\.\\pipe\\TW_TiffViewer_3_17_123456_Tarnwick_Printer");
  EXPECT_EQ(n.clientPipe, u"\\\\.\\pipe\\TwClient3");
  // A tick count past 2^31 prints as the signed number it always did.
  EXPECT_EQ(MakeJobChannelNames(u"X", 0, 1, 0x80000000u, u"P").ftpPipe, u"\\\\.\\pipe\\TW_FTP_0_1_-2147483648_P");

  EXPECT_EQ(TemporaryGroupFileName(u"C:\\Windows\\Temp", TemporaryGroupAction::SharePoint, 1, 2, 3, u"A B"),
            u"C:\\Windows\\Temp\\TW_SharePoint_1_2_3_A_B.grp");
  EXPECT_EQ(TemporaryGroupFileName(u"C:\\T\\", TemporaryGroupAction::TiffViewer, 1, 2, 3, u"P"),
            u"C:\\T\\TW_TiffViewer_1_2_3_P.grp");
  EXPECT_EQ(TemporaryGroupFileName(u"", TemporaryGroupAction::Ftp, 1, 2, 3, u"P"), u"");
  EXPECT_EQ(MergeMapName(2, u"Tarnwick Printer"), u"Session\\2\\TwMerge__Tarnwick_Printer");
}

}  // namespace
