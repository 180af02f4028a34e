// The PDF writers inside a job: failures at the start of a document, damaged
// pages, documents without pages, the image writer's failures, the random
// owner password and the image watermark's layout.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include "core/log/tw_log.h"
#include "core/thread_state.h"
#include "fake_spooler.h"
#include "job/job/tw_job.h"
#include "output/pdf/pdf_password.h"
#include "output/pdf/pdf_seams.h"
#include "output/twfile/tw_writers.h"
#include "pdf_tools.h"
#include "render/emf/emf_image.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/packed_dib.h"
#include "tw/pathmap.h"
#include "tw/utf.h"
#include "metafile_block.h"
#include "tw_test.h"

namespace {

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr WCHAR kIni[] = u"C:\\tw_printer.ini";

std::filesystem::path Host(std::u16string_view windowsPath) {
  std::filesystem::path p;
  EXPECT_EQ(tw::path::ToHost(windowsPath, p), 0u);
  return p;
}

std::string Slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A Letter page recorded on the record's printer context with a line of text.
tw::dib::GlobalBlock TextPage(const TarnwickDEVMODE& record, const char16_t* text, DWORD& size) {
  HDC printer = CreateDCW(u"WINSPOOL", kPrinter, nullptr, reinterpret_cast<const DEVMODEW*>(&record));
  RECT frame{0, 0, 21590, 27940};
  HDC dc = CreateEnhMetaFileW(printer, nullptr, &frame, nullptr);
  TextOutW(dc, 300, 300, text, static_cast<int>(std::char_traits<char16_t>::length(text)));
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  DeleteDC(printer);
  return twtest::MetafileBlock(emf, size);
}

// A block that claims to be a metafile and is not one.
tw::dib::GlobalBlock DamagedPage(DWORD& size) {
  size = 200;
  tw::dib::GlobalBlock block(GlobalAlloc(GHND, size));
  tw::dib::BlockLock lock(block.get());
  std::memset(lock.data(), 0xA5, size);
  return block;
}

class PdfWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLogStateForTests();
    spooler_.spooler->AddPrinter(kPrinter, kIni);
    std::filesystem::create_directories(root_.Dir() / "drive_c" / "out");
  }
  void TearDown() override {
    ReleaseRenderBitmapCache();
    tw::core::ThreadStateDetachThread();
    ResetLogStateForTests();
  }
  TarnwickDEVMODE Record(DWORD format, DWORD flags = 0) {
    tw::twdriver::DevModeOptions options;
    options.outputDirectory = u"C:\\out";
    TarnwickDEVMODE dm = tw::twdriver::MakeDevMode(options);
    dm.FileFormat = format;
    dm.Flags = flags;
    dm.Brightness = 100;
    return dm;
  }
  std::unique_ptr<CTWJob> Job(const TarnwickDEVMODE& dm) {
    auto job = std::make_unique<CTWJob>();
    job->SetJobID(5);
    job->SetPrinterName(kPrinter);
    std::vector<BYTE> bytes(sizeof dm);
    std::memcpy(bytes.data(), &dm, sizeof dm);
    EXPECT_TRUE(job->SetDevMode(bytes.data(), TRUE));
    return job;
  }
  std::unique_ptr<CTWFile> Writer(CTWJob& job) { return CTWFile::CreateTWFileObject(job.m_DevMode, &job); }

  twtest::TempRoot root_;
  twtest::ScopedSpooler spooler_;
};

TEST_F(PdfWriterTest, AStartThatFailsOnABadPathEndsTheDocumentOnce) {
  auto job = Job(Record(36, 0x20));
  auto writer = Writer(*job);
  auto& pdf = dynamic_cast<CTWVectorPDFFile&>(*writer);
  // A folder that is not there: the path check says why, the start fails.
  EXPECT_FALSE(pdf.InitializeInterface(job->m_DevMode, u"C:\\nowhere\\doc.pdf", TRUE));
  EXPECT_NE(std::u16string(job->PrintStatus()).find(u"25:"), std::u16string::npos)
      << tw::ToUtf8(job->PrintStatus());
  EXPECT_TRUE(pdf.ErrorReported());
  // Later pages do nothing, and the end destroys nothing twice.
  DWORD size = 0;
  auto page = TextPage(job->m_DevMode, u"Never written", size);
  EXPECT_TRUE(pdf.SavePDFPage(page.get(), size, TRUE));
  EXPECT_TRUE(pdf.UninitializeInterface(job->m_DevMode));
  EXPECT_TRUE(pdf.UninitializeInterface(job->m_DevMode));
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\nowhere")));
}

TEST_F(PdfWriterTest, ADamagedPageFailsAloneAndTheDocumentGoesOn) {
  auto job = Job(Record(36, 0x20));
  auto writer = Writer(*job);
  auto& pdf = dynamic_cast<CTWVectorPDFFile&>(*writer);
  ASSERT_TRUE(pdf.InitializeInterface(job->m_DevMode, u"C:\\out\\doc.pdf", TRUE));
  DWORD size = 0;
  auto damaged = DamagedPage(size);
  EXPECT_FALSE(pdf.SavePDFPage(damaged.get(), size, TRUE));
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 104.");
  auto page = TextPage(job->m_DevMode, u"The good page", size);
  EXPECT_TRUE(pdf.SavePDFPage(page.get(), size, TRUE));
  EXPECT_TRUE(pdf.UninitializeInterface(job->m_DevMode));
  const auto file = Host(u"C:\\out\\doc.pdf");
  EXPECT_TRUE(twtest::QpdfClean(file));
  EXPECT_EQ(twtest::PdfInfo(file, "Pages"), "1");
  EXPECT_NE(twtest::PdfText(file).find("The good page"), std::string::npos);

  // One document per page: the damaged page leaves no file behind.
  auto single = Job(Record(36));
  auto one = Writer(*single);
  EXPECT_FALSE(one->SaveFile(damaged.get(), size, u"C:\\out\\one.pdf", TRUE));
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\out\\one.pdf")));
  EXPECT_FALSE(one->SaveFile(nullptr, 0, u"C:\\out\\one.pdf", TRUE));
  EXPECT_EQ(std::u16string(single->PrintStatus()), u"Internal error: 38.");
  EXPECT_FALSE(one->SaveFile(page.get(), size, nullptr, TRUE));
  EXPECT_EQ(std::u16string(single->PrintStatus()), u"Internal error: 39.");
}

TEST_F(PdfWriterTest, ADocumentWithoutPagesLeavesNoFileAndKeepsAnExistingOne) {
  {
    auto job = Job(Record(36, 0x20));
    auto writer = Writer(*job);
    auto& pdf = dynamic_cast<CTWVectorPDFFile&>(*writer);
    ASSERT_TRUE(pdf.InitializeInterface(job->m_DevMode, u"C:\\out\\empty.pdf", TRUE));
    EXPECT_TRUE(pdf.UninitializeInterface(job->m_DevMode));
    EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\out\\empty.pdf")));
  }
  // Adding to an existing PDF without a page: the file keeps its bytes.
  {
    auto job = Job(Record(36, 0x20));
    auto writer = Writer(*job);
    auto& pdf = dynamic_cast<CTWVectorPDFFile&>(*writer);
    ASSERT_TRUE(pdf.InitializeInterface(job->m_DevMode, u"C:\\out\\kept.pdf", TRUE));
    DWORD size = 0;
    auto page = TextPage(job->m_DevMode, u"Kept page", size);
    ASSERT_TRUE(pdf.SavePDFPage(page.get(), size, TRUE));
    ASSERT_TRUE(pdf.UninitializeInterface(job->m_DevMode));
  }
  const std::string before = Slurp(Host(u"C:\\out\\kept.pdf"));
  auto job = Job(Record(36, 0x100020));
  auto writer = Writer(*job);
  auto& pdf = dynamic_cast<CTWVectorPDFFile&>(*writer);
  ASSERT_TRUE(pdf.InitializeInterface(job->m_DevMode, u"C:\\out\\kept.pdf", TRUE));
  EXPECT_TRUE(pdf.UninitializeInterface(job->m_DevMode));
  EXPECT_EQ(Slurp(Host(u"C:\\out\\kept.pdf")), before);
  EXPECT_FALSE(pdf.ErrorReported());
}

TEST_F(PdfWriterTest, InMemoryTheDocumentIsTheJobsBlock) {
  auto job = Job(Record(36, 0x4000020));
  job->m_bGenerateInMemory = TRUE;
  auto writer = Writer(*job);
  auto& pdf = dynamic_cast<CTWVectorPDFFile&>(*writer);
  ASSERT_TRUE(pdf.InitializeInterface(job->m_DevMode, u"C:\\out\\memory.pdf", TRUE));
  DWORD size = 0;
  auto page = TextPage(job->m_DevMode, u"Kept in memory", size);
  ASSERT_TRUE(pdf.SavePDFPage(page.get(), size, TRUE));
  ASSERT_TRUE(pdf.UninitializeInterface(job->m_DevMode));
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\out\\memory.pdf")));
  ASSERT_TRUE(job->m_Output.inMemory);
  std::string bytes;
  {
    tw::dib::BlockLock lock(job->m_Output.inMemory.get());
    ASSERT_TRUE(lock.ok());
    bytes.assign(reinterpret_cast<const char*>(lock.data()), lock.size());
  }
  EXPECT_EQ(bytes.compare(0, 5, "%PDF-"), 0);
  const auto file = root_.Dir() / "memory.pdf";
  std::ofstream(file, std::ios::binary) << bytes;
  EXPECT_TRUE(twtest::QpdfClean(file));
  EXPECT_NE(twtest::PdfText(file).find("Kept in memory"), std::string::npos);
}

TEST_F(PdfWriterTest, PdfAIsNotEncryptedWhenItsDocumentStartsAnew) {
  namespace st = tw::settings;
  const st::SettingsScope scope = st::ScopeForPrinter(kPrinter, 5);
  ASSERT_TRUE(st::Write(scope, st::PdfDocumentEncryption, 4));
  ASSERT_TRUE(st::Write(scope, st::PdfDocumentUserPassword, u"u"));
  auto job = Job(Record(38, 0x20));
  auto writer = Writer(*job);
  auto& pdf = dynamic_cast<CTWVectorPDFFile&>(*writer);
  ASSERT_TRUE(pdf.InitializeInterface(job->m_DevMode, u"C:\\out\\a.pdf", TRUE));
  // What a split document's new start does before its save.
  EXPECT_TRUE(pdf.SetPdfEncryption(job->m_DevMode));
  DWORD size = 0;
  auto page = TextPage(job->m_DevMode, u"Archived page", size);
  ASSERT_TRUE(pdf.SavePDFPage(page.get(), size, TRUE));
  ASSERT_TRUE(pdf.UninitializeInterface(job->m_DevMode));
  EXPECT_EQ(twtest::PdfInfo(Host(u"C:\\out\\a.pdf"), "Encrypted"), "no");
  // The same settings encrypt a plain vector PDF.
  auto plainJob = Job(Record(36, 0x20));
  auto plainWriter = Writer(*plainJob);
  auto& plain = dynamic_cast<CTWVectorPDFFile&>(*plainWriter);
  ASSERT_TRUE(plain.InitializeInterface(plainJob->m_DevMode, u"C:\\out\\p.pdf", TRUE));
  ASSERT_TRUE(plain.SavePDFPage(page.get(), size, TRUE));
  ASSERT_TRUE(plain.UninitializeInterface(plainJob->m_DevMode));
  EXPECT_EQ(twtest::PdfInfo(Host(u"C:\\out\\p.pdf"), "Encrypted", "-upw u").rfind("yes", 0), 0u);
}

TEST_F(PdfWriterTest, TheImageWriterReportsItsOwnErrors) {
  auto job = Job(Record(35));
  auto writer = Writer(*job);
  auto& pdf = dynamic_cast<CTWPDFFile&>(*writer);
  EXPECT_FALSE(pdf.OpenPDFFile(nullptr));
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 202.");
  EXPECT_FALSE(pdf.OpenPDFFile(u"C:\\nowhere\\doc.pdf"));
  EXPECT_NE(std::u16string(job->PrintStatus()).find(u"25:"), std::u16string::npos);
  // A file the library refuses to add to is the user's: it stays.
  std::ofstream(Host(u"C:\\out\\mine.pdf")) << "mine";
  EXPECT_FALSE(pdf.OpenPDFFile(u"C:\\out\\mine.pdf"));
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 204.");
  EXPECT_EQ(Slurp(Host(u"C:\\out\\mine.pdf")), "mine");
  EXPECT_TRUE(pdf.ClosePDFFile());  // nothing open

  // A damaged page: reported by the renderer, no file.
  DWORD size = 0;
  auto damaged = DamagedPage(size);
  EXPECT_FALSE(pdf.SaveFile(damaged.get(), size, u"C:\\out\\bad.pdf", TRUE));
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\out\\bad.pdf")));
  // A good page is one document.
  auto page = TextPage(job->m_DevMode, u"Image page", size);
  ASSERT_TRUE(pdf.SaveFile(page.get(), size, u"C:\\out\\good.pdf", TRUE));
  EXPECT_TRUE(twtest::QpdfClean(Host(u"C:\\out\\good.pdf")));
  EXPECT_EQ(twtest::ToolRows("pdfimages", "-list", Host(u"C:\\out\\good.pdf")).size(), 1u);
}

TEST_F(PdfWriterTest, RandomOwnerPasswordsHaveNoZeroUnit) {
  std::set<std::u16string> seen;
  for (int i = 0; i < 300; ++i) {
    std::u16string password = tw::output::RandomOwnerPassword();
    ASSERT_EQ(password.size(), 16u);
    EXPECT_EQ(password.find(u'\0'), std::u16string::npos);
    seen.insert(password);
  }
  EXPECT_EQ(seen.size(), 300u);
}

TEST_F(PdfWriterTest, WatermarkPlacements) {
  using tw::output::WatermarkLayout;
  const SIZE page{2550, 3300};
  // 528: the bitmap's bottom-right corner on the page's.
  auto b = WatermarkLayout(528, page, {400, 200}, 2550);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].target.right, 2550);
  EXPECT_EQ(b[0].target.bottom, 3300);
  EXPECT_EQ(b[0].target.left, 2150);
  EXPECT_FALSE(b[0].stretch);
  // Centred, larger than the page across: its middle part.
  b = WatermarkLayout(4, page, {3000, 200}, 2550);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].target.left, 0);
  EXPECT_EQ(b[0].target.right, 2550);
  EXPECT_EQ(b[0].source.left, 225);
  EXPECT_EQ(b[0].target.top, 1550);
  // Fit to width at the top: stretched to the paper's width, height in proportion.
  b = WatermarkLayout(128, page, {500, 100}, 2550);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_TRUE(b[0].stretch);
  EXPECT_EQ(b[0].target.bottom - b[0].target.top, 510);
  EXPECT_EQ(b[0].target.top, 0);
  // Tiles cover the page row by row; tiny tiles are bounded.
  EXPECT_EQ(WatermarkLayout(8, page, {1000, 1000}, 2550).size(), 3u * 4u);
  EXPECT_LE(WatermarkLayout(8, page, {1, 1}, 2550).size(), 65536u);
  EXPECT_TRUE(WatermarkLayout(8, page, {0, 10}, 2550).empty());
}

}  // namespace
