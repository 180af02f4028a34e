// The job's page steps one by one: the writer's record and page number, pages
// without data, the Save-As cancel, cover pages (the job's own pages) and the
// barcode separator page.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

#include "fake_spooler.h"
#include "job/job/tw_job.h"
#include "job/settings/save_as.h"
#include "job/settings/settings_store.h"
#include "core/log/tw_log.h"
#include "core/thread_state.h"
#include "output/twfile/tw_file.h"
#include "render/emf/emf_image.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/packed_dib.h"
#include "tw/pathmap.h"
#include "metafile_block.h"
#include "tw_test.h"

namespace {

namespace st = tw::settings;

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr DWORD kJobId = 12;

class PageStepsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLogStateForTests();
    spooler_.spooler->AddPrinter(kPrinter, u"C:\\tw_printer.ini");
    out_ = root_.Dir() / "drive_c" / "out";
    std::filesystem::create_directories(out_);
  }
  void TearDown() override {
    tw::core::ThreadStateDetachThread();
    ResetLogStateForTests();
  }
  static TarnwickDEVMODE Record() {
    tw::twdriver::DevModeOptions options;
    options.outputDirectory = u"C:\\out";
    return tw::twdriver::MakeDevMode(options);
  }
  void Start(CTWJob& job, const TarnwickDEVMODE& dm, const WCHAR* document = u"doc.txt") {
    job.SetJobID(kJobId);
    job.SetPrinterName(kPrinter);
    job.SetDocumentName(document);
    std::vector<BYTE> bytes(sizeof dm);
    std::memcpy(bytes.data(), &dm, sizeof dm);
    ASSERT_TRUE(job.SetDevMode(bytes.data(), TRUE));
    ASSERT_TRUE(job.StartDoc());
  }
  // A page with a black box at `x`, recorded on the printer's context.
  tw::dib::GlobalBlock Page(const TarnwickDEVMODE& dm, int x, DWORD& size) {
    HDC printer = CreateDCW(u"WINSPOOL", kPrinter, nullptr, reinterpret_cast<const DEVMODEW*>(&dm));
    RECT frame{0, 0, 21590, 27940};
    HDC dc = CreateEnhMetaFileW(printer, nullptr, &frame, nullptr);
    PatBlt(dc, x, 300, 100, 100, BLACKNESS);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    DeleteDC(printer);
    return twtest::MetafileBlock(emf, size);
  }
  BOOL PrintPage(CTWJob& job, int x) {
    DWORD size = 0;
    auto page = Page(job.m_DevMode, x, size);
    if (!job.StartPage()) return FALSE;
    job.SetPageDataSize(size);
    return job.EndPage(page.get());
  }
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(out_))
      if (e.path().extension() == ".bmp") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  twtest::TempRoot root_;
  twtest::ScopedSpooler spooler_;
  std::filesystem::path out_;
};

TEST_F(PageStepsTest, TheWriterGetsThePagesRecordAndNumber) {
  twtest::LeakGuard leaks;
  {
    CTWJob job;
    Start(job, Record());
    ASSERT_TRUE(PrintPage(job, 100));
    EXPECT_EQ(job.m_pOutputFile->m_dwPageNo, 1u);
    // A record that arrives with the next page reaches the writer at its start.
    job.m_DevMode.LossRatio = 33;
    ASSERT_TRUE(job.StartPage());
    EXPECT_EQ(job.m_pOutputFile->m_DevMode.LossRatio, 33u);
    DWORD size = 0;
    auto page = Page(job.m_DevMode, 200, size);
    job.SetPageDataSize(size);
    ASSERT_TRUE(job.EndPage(page.get()));
    EXPECT_EQ(job.m_pOutputFile->m_dwPageNo, 2u);
    EXPECT_TRUE(job.EndDoc());
    ReleaseRenderBitmapCache();
    tw::core::ThreadStateDetachThread();
  }
  EXPECT_EQ(Files(), (std::vector<std::string>{"doc.bmp", "doc_002.bmp"}));
}

TEST_F(PageStepsTest, APageWithoutDataFailsAndIsNotTakenForBlank) {
  auto scope = st::ScopeForPrinter(kPrinter);
  ASSERT_TRUE(st::Write(scope, st::PageRemoveBlankPages, 1));
  CTWJob job;
  Start(job, Record());
  ASSERT_TRUE(job.StartPage());
  EXPECT_FALSE(job.EndPage(nullptr));
  EXPECT_FALSE(job.m_bSkipNextStartPage);
  EXPECT_FALSE(job.EndPageRaw(nullptr));
}

TEST_F(PageStepsTest, ACancelledSaveAsDialogStopsTheFirstPage) {
  TarnwickDEVMODE dm = Record();
  dm.Flags |= tw::devmode::flags::SaveAs;
  auto scope = st::ScopeForPrinter(kPrinter, kJobId);
  ASSERT_TRUE(st::WriteSaveAs(scope, st::SaveAsText::OutputPath, u"C:\\out"));
  // 2 passes the start of the document (which looks for 1), not the page.
  ASSERT_TRUE(st::WriteSaveAs(scope, st::SaveAsDword::CancelWasPressed, 2));
  CTWJob job;
  Start(job, dm);
  ASSERT_FALSE(job.m_bCancelledBeforeFirstPage);
  std::ofstream(root_.Dir() / "drive_c" / "out" / "doc.grp") << "[x]";
  wcsncpy_s(job.m_szGroupFileName, u"C:\\out\\doc.grp", _TRUNCATE);
  EXPECT_FALSE(job.StartPage());
  EXPECT_FALSE(st::ReadSaveAs(scope, st::SaveAsDword::CancelWasPressed).has_value());
  EXPECT_TRUE(Files().empty());
}

TEST_F(PageStepsTest, CoverPagesAreTheJobsOwnPages) {
  // Neither page selection nor blank removal touches a cover page, and it
  // counts no spool page; cover 0 is output page 1.
  auto scope = st::ScopeForPrinter(kPrinter);
  ASSERT_TRUE(st::Write(scope, st::PagePrintSelectedPagesOnly, 1));
  ASSERT_TRUE(st::Write(scope, st::PageSelectedPages, u"2"));
  ASSERT_TRUE(st::Write(scope, st::PageRemoveBlankPages, 1));
  CTWJob job;
  Start(job, Record());
  ASSERT_TRUE(job.AddCoverPage(0));
  EXPECT_EQ(job.m_dwActPage, 1u);
  EXPECT_EQ(job.m_dwSpoolPage, 0u);
  EXPECT_EQ(Files(), std::vector<std::string>{"doc.bmp"});
  // The document's pages go on from there: its page 2 is selected.
  EXPECT_TRUE(PrintPage(job, 100));
  EXPECT_TRUE(PrintPage(job, 200));
  EXPECT_EQ(job.m_dwSpoolPage, 2u);
  EXPECT_EQ(Files(), (std::vector<std::string>{"doc.bmp", "doc_002.bmp"}));
}

TEST_F(PageStepsTest, AFailedCoverPageFailsTheDocument) {
  CTWJob job;
  TarnwickDEVMODE dm = Record();
  dm.FileFormat = 7;  // a TIFF file per page, from a library that is not there: every page fails
  dm.TiffDllName.Set(u"NoSuchTiff.dll");
  Start(job, dm);
  EXPECT_FALSE(job.AddCoverPage(0));
}

TEST_F(PageStepsTest, TheBarcodeSeparatorPageGoesInFrontOfTheFirstPage) {
  TarnwickDEVMODE dm = Record();
  dm.BarcodeFlags = 0x41;
  CTWJob job;
  Start(job, dm);
  ASSERT_TRUE(PrintPage(job, 100));
  // The separator page took page 1; the document's first page is page 2.
  EXPECT_EQ(job.m_dwActPage, 2u);
  ASSERT_TRUE(PrintPage(job, 200));
  EXPECT_EQ(job.m_dwActPage, 3u);
  EXPECT_EQ(Files(), (std::vector<std::string>{"doc.bmp", "doc_002.bmp", "doc_003.bmp"}));
}

}  // namespace
