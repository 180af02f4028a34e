// The TIFF writers through the job's page path: the tags of every code and
// colour mode, one multipage file or a file per page, reopening, adding to
// an existing TIFF, in-memory TIFF, and the failures of the library. Files
// are read back with libtiff and checked with libtiff's tools.
#include <windows.h>

#include <tiffio.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "fake_spooler.h"
#include "client/messaging/messaging.h"
#include "job/job/tw_job.h"
#include "core/log/tw_log.h"
#include "core/thread_state.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/emf_image.h"
#include "shell_run.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/packed_dib.h"
#include "tw/pathmap.h"
#include "tw/root.h"
#include "tw/utf.h"
#include "metafile_block.h"
#include "tw_test.h"

namespace {

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr WCHAR kIni[] = u"C:\\tw_printer.ini";
namespace dmf = tw::devmode::flags;
constexpr DWORD kMultipage = dmf::Multipage;
constexpr DWORD kAddToFile = dmf::KeepExistingFiles;

// One image of a TIFF as libtiff reads it.
struct Image {
  uint32_t width = 0, height = 0, rowsPerStrip = 0, t4 = 0, subfile = 0;
  uint16_t compression = 0, photometric = 0, fillOrder = 1, bits = 0, samples = 0, unit = 0, planar = 0;
  float xres = 0, yres = 0;
  bool hasT4 = false, hasPageNumber = false, hasSubfile = false, hasColorMap = false;
  uint16_t page = 0, pages = 0;
  std::vector<std::vector<BYTE>> rows;  // decoded scan lines (bilevel and uncompressed pages)
};

std::vector<Image> ReadTiff(const std::filesystem::path& path, bool rows = true) {
  std::vector<Image> images;
  TIFFSetWarningHandler(nullptr);
  // "c": strips as written (libtiff would cut a large uncompressed one).
  TIFF* tif = TIFFOpen(path.c_str(), "rc");
  if (!tif) return images;
  do {
    Image im;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &im.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &im.height);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &im.rowsPerStrip);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &im.compression);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &im.photometric);
    TIFFGetField(tif, TIFFTAG_FILLORDER, &im.fillOrder);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &im.bits);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &im.samples);
    TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &im.unit);
    TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &im.planar);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &im.xres);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &im.yres);
    im.hasT4 = TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &im.t4) != 0;
    im.hasPageNumber = TIFFGetField(tif, TIFFTAG_PAGENUMBER, &im.page, &im.pages) != 0;
    im.hasSubfile = TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &im.subfile) != 0;
    uint16_t *r, *g, *b;
    im.hasColorMap = TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) != 0;
    if (rows && im.compression != COMPRESSION_JPEG) {
      for (uint32_t y = 0; y < im.height; ++y) {
        std::vector<BYTE> line(TIFFScanlineSize(tif));
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0) break;
        im.rows.push_back(std::move(line));
      }
    }
    images.push_back(std::move(im));
  } while (TIFFReadDirectory(tif));
  TIFFClose(tif);
  return images;
}

// A page recorded on the record's printer context with a black box at
// (x, 200) of 200 x 200 pixels: each page of a test puts it elsewhere.
tw::dib::GlobalBlock BoxPage(const TarnwickDEVMODE& record, int x, DWORD& size) {
  HDC printer = CreateDCW(u"WINSPOOL", kPrinter, nullptr, reinterpret_cast<const DEVMODEW*>(&record));
  RECT frame{0, 0, 21590, 27940};
  HDC dc = CreateEnhMetaFileW(printer, nullptr, &frame, nullptr);
  PatBlt(dc, x, 200, 200, 200, BLACKNESS);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT stripe{x, 500, x + 300, 520};
  FillRect(dc, &stripe, red);
  DeleteObject(red);
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  DeleteDC(printer);
  return twtest::MetafileBlock(emf, size);
}

// The page as the renderer draws it for the job: TIFF rows, top first (a
// set bit black for 1-bit pages).
std::vector<std::vector<BYTE>> RenderedRows(CTWJob& job, HGLOBAL page) {
  CEMFImage image;
  std::vector<std::vector<BYTE>> rows;
  TarnwickDEVMODE record = job.m_pOutputFile->m_DevMode;
  if (!image.Create(page, &record, &job, FALSE, TRUE, FALSE)) return rows;
  tw::dib::BlockLock lock(image.m_hDIB);
  auto layout = tw::dib::ReadLayout(lock.bytes());
  if (!layout) return rows;
  const size_t bytes = (static_cast<size_t>(layout->width) * layout->bits + 7) / 8;
  for (LONG y = 0; y < layout->height; ++y) {
    const BYTE* from = lock.data() + layout->RowFromTop(y);
    std::vector<BYTE> row(from, from + bytes);
    if (layout->bits == 1)
      for (auto& b : row) b = static_cast<BYTE>(~b);
    if (layout->bits == 24)
      for (size_t i = 0; i + 2 < bytes; i += 3) std::swap(row[i], row[i + 2]);
    rows.push_back(std::move(row));
  }
  // The last byte of a 1-bit row carries padding bits past the width.
  if (layout->bits == 1 && layout->width % 8)
    for (auto& row : rows) row.back() &= static_cast<BYTE>(0xFF << (8 - layout->width % 8));
  return rows;
}

std::vector<std::vector<BYTE>> Masked(std::vector<std::vector<BYTE>> rows, uint32_t width) {
  if (width % 8)
    for (auto& row : rows) row.back() &= static_cast<BYTE>(0xFF << (8 - width % 8));
  return rows;
}

class TiffWriterTest : public ::testing::Test {
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
  TarnwickDEVMODE Record(DWORD format, DWORD colorMode = 0, DWORD flags = 0, LONG dpi = 100) {
    tw::twdriver::DevModeOptions options;
    options.colorMode = colorMode;
    options.outputDirectory = u"C:\\out";
    options.xDpi = options.yDpi = dpi;
    TarnwickDEVMODE dm = tw::twdriver::MakeDevMode(options);
    dm.FileFormat = format;
    dm.FileGenerationMethod = 3;
    dm.ImageFileName.Set(u"doc");
    dm.Flags |= flags;
    return dm;
  }
  std::unique_ptr<CTWJob> StartedJob(const TarnwickDEVMODE& dm, bool expectStart = true) {
    auto job = std::make_unique<CTWJob>();
    job->SetJobID(5);
    job->SetPrinterName(kPrinter);
    std::vector<BYTE> bytes(sizeof dm);
    std::memcpy(bytes.data(), &dm, sizeof dm);
    EXPECT_TRUE(job->SetDevMode(bytes.data(), TRUE));
    EXPECT_EQ(job->StartDoc(), expectStart ? TRUE : FALSE);
    return job;
  }
  // Prints `pages` box pages through the job's page steps; the pages'
  // rendered rows go to `rendered` when given.
  bool PrintPages(CTWJob& job, int pages, std::vector<std::vector<std::vector<BYTE>>>* rendered = nullptr) {
    bool ok = true;
    for (int k = 0; k < pages; ++k) {
      DWORD size = 0;
      auto page = BoxPage(job.m_DevMode, 100 + 150 * k, size);
      ok = job.StartPage() && ok;
      job.SetPageDataSize(size);
      ok = job.EndPage(page.get()) && ok;
      if (rendered) rendered->push_back(RenderedRows(job, page.get()));
    }
    return ok;
  }
  // A whole document of `pages` pages.
  bool Print(const TarnwickDEVMODE& dm, int pages) {
    auto job = StartedJob(dm);
    bool ok = PrintPages(*job, pages);
    ok = job->EndDoc() && ok;
    status_ = job->PrintStatus();
    return ok;
  }
  std::filesystem::path Out(const char* name) { return root_.Dir() / "drive_c" / "out" / name; }
  std::vector<std::string> Outputs() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(root_.Dir() / "drive_c" / "out"))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  void ClearOutputs() { std::filesystem::remove_all(root_.Dir() / "drive_c" / "out"), std::filesystem::create_directories(root_.Dir() / "drive_c" / "out"); }

  twtest::TempRoot root_;
  twtest::ScopedSpooler spooler_;
  std::u16string status_;
};

TEST_F(TiffWriterTest, AGroup4DocumentIsOneFileOfItsPagesAsRendered) {
  twtest::LeakGuard leaks;
  std::vector<std::vector<std::vector<BYTE>>> rendered;
  {
    auto job = StartedJob(Record(7, 0, kMultipage | dmf::PageNumberingTag, 300));
    ASSERT_TRUE(PrintPages(*job, 3, &rendered));
    ASSERT_TRUE(job->EndDoc()) << tw::ToUtf8(job->PrintStatus());
    ReleaseRenderBitmapCache();
    tw::core::ThreadStateDetachThread();
  }
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"doc.grp", "doc.tif"}));
  auto images = ReadTiff(Out("doc.tif"));
  ASSERT_EQ(images.size(), 3u);
  for (size_t k = 0; k < 3; ++k) {
    const Image& im = images[k];
    EXPECT_EQ(im.width, 2550u);
    EXPECT_EQ(im.height, 3300u);
    EXPECT_EQ(im.compression, COMPRESSION_CCITTFAX4);
    EXPECT_EQ(im.photometric, PHOTOMETRIC_MINISWHITE);
    EXPECT_EQ(im.fillOrder, FILLORDER_MSB2LSB);
    EXPECT_EQ(im.rowsPerStrip, 3300u);
    EXPECT_EQ(im.unit, RESUNIT_INCH);
    EXPECT_EQ(im.xres, 300.0f);
    EXPECT_EQ(im.yres, 300.0f);
    EXPECT_FALSE(im.hasSubfile);
    // Numbered when written, and by the final count when the file closed.
    ASSERT_TRUE(im.hasPageNumber);
    EXPECT_EQ(im.page, k);
    EXPECT_EQ(im.pages, 3);
    EXPECT_TRUE(Masked(im.rows, im.width) == rendered[k]) << "image " << k;
  }
  // libtiff's own tools decode every strip and copy the file.
  auto info = twtest::Shell("tiffinfo -D '" + Out("doc.tif").string() + "' 2>&1");
  EXPECT_EQ(info.status, 0) << info.out;
  EXPECT_NE(info.out.find("Compression Scheme: CCITT Group 4"), std::string::npos) << info.out;
  EXPECT_EQ(info.out.find("rror"), std::string::npos) << info.out;
  auto copy = twtest::Shell("tiffcp '" + Out("doc.tif").string() + "' '" + Out("copy.tif").string() + "' 2>&1");
  EXPECT_EQ(copy.status, 0) << copy.out;
  EXPECT_EQ(ReadTiff(Out("copy.tif"), false).size(), 3u);
}

TEST_F(TiffWriterTest, WithoutMultipageEveryPageHasItsFile) {
  ASSERT_TRUE(Print(Record(7), 3)) << tw::ToUtf8(status_);
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"doc.grp", "doc.tif", "doc_002.tif", "doc_003.tif"}));
  for (const char* name : {"doc.tif", "doc_002.tif", "doc_003.tif"}) EXPECT_EQ(ReadTiff(Out(name), false).size(), 1u);
  // 43 with multipage on: every page is opened, added and closed on its
  // own, into the document's one name; 42 keeps one file without the switch.
  ClearOutputs();
  ASSERT_TRUE(Print(Record(43, 0, kMultipage | dmf::PageNumberingTag), 2));
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"doc.grp", "doc.tif"}));
  auto added = ReadTiff(Out("doc.tif"), false);
  ASSERT_EQ(added.size(), 2u);
  EXPECT_EQ(added[1].page, 1);
  EXPECT_EQ(added[1].pages, 2);
  ClearOutputs();
  ASSERT_TRUE(Print(Record(42), 2));
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"doc.grp", "doc.tif"}));
  EXPECT_EQ(ReadTiff(Out("doc.tif"), false).size(), 2u);
}

TEST_F(TiffWriterTest, EveryCodeAndColourModeGivesItsTags) {
  struct Case {
    DWORD code;
    uint16_t compression;
    std::optional<uint32_t> t4;
  } cases[] = {{3, 1, {}},  {4, 3, 0},  {5, 3, 4},  {6, 3, 1},  {7, 4, {}},  {8, 32773, {}}, {9, 5, {}},
               {10, 7, {}}, {21, 3, 0}, {22, 3, 0}, {23, 3, 0}, {42, 4, {}}, {43, 4, {}},   {44, 3, 0},
               {45, 3, 0},  {46, 1, {}}, {47, 1, {}}};
  for (const Case& c : cases) {
    const WORD allowed = c.code == 10 ? 0xa : (c.code == 3 || c.code == 8 || c.code == 9 || c.code >= 46) ? 0xf : 0x1;
    const std::pair<WORD, DWORD> modes[] = {{0x1, 0}, {0x8, 1}, {0x4, 2}, {0x2, 3}};
    for (auto [bit, mode] : modes) {
      if (!(allowed & bit)) continue;
      SCOPED_TRACE("code " + std::to_string(c.code) + " mode " + std::to_string(mode));
      ClearOutputs();
      ASSERT_TRUE(Print(Record(c.code, mode, kMultipage), 2)) << tw::ToUtf8(status_);
      auto images = ReadTiff(Out("doc.tif"));
      ASSERT_EQ(images.size(), 2u);
      const Image& im = images[1];
      EXPECT_EQ(im.width, 850u);
      EXPECT_EQ(im.height, 1100u);
      EXPECT_NEAR(im.xres, 100.0f, 0.01f);
      if (c.code == 10) {
        // Old-style JPEG is written as JPEG, grey or YCbCr.
        EXPECT_EQ(im.compression, COMPRESSION_JPEG);
        EXPECT_EQ(im.samples, mode == 3 ? 3 : 1);
      } else if (mode == 0) {
        EXPECT_EQ(im.compression, c.compression);
        EXPECT_EQ(im.photometric, PHOTOMETRIC_MINISWHITE);
        EXPECT_EQ(im.bits, 1);
        EXPECT_EQ(im.rowsPerStrip, 1100u);
        EXPECT_EQ(im.hasT4, c.t4.has_value());
        if (c.t4) {
          EXPECT_EQ(im.t4, *c.t4);
        }
      } else if (mode == 3) {
        EXPECT_EQ(im.compression, c.compression);
        EXPECT_EQ(im.photometric, PHOTOMETRIC_RGB);
        EXPECT_EQ(im.samples, 3);
        EXPECT_EQ(im.planar, PLANARCONFIG_CONTIG);
        EXPECT_EQ(im.rowsPerStrip, 8192u / 2550u);
      } else {
        EXPECT_EQ(im.compression, c.compression);
        EXPECT_EQ(im.photometric, PHOTOMETRIC_PALETTE);
        EXPECT_EQ(im.bits, 8);
        EXPECT_TRUE(im.hasColorMap);
        EXPECT_EQ(im.rowsPerStrip, 8192u / 107u);
      }
      auto info = twtest::Shell("tiffinfo -D '" + Out("doc.tif").string() + "' 2>&1");
      EXPECT_EQ(info.status, 0) << info.out;
      EXPECT_EQ(info.out.find("rror"), std::string::npos) << info.out;
    }
  }
}

TEST_F(TiffWriterTest, ColourPagesKeepTheirPixels) {
  std::vector<std::vector<std::vector<BYTE>>> rendered;
  for (DWORD mode : {2u, 3u}) {
    ClearOutputs();
    rendered.clear();
    auto job = StartedJob(Record(9, mode, kMultipage));
    ASSERT_TRUE(PrintPages(*job, 1, &rendered)) << tw::ToUtf8(job->PrintStatus());
    ASSERT_TRUE(job->EndDoc());
    auto images = ReadTiff(Out("doc.tif"));
    ASSERT_EQ(images.size(), 1u);
    EXPECT_TRUE(images[0].rows == rendered[0]) << mode;
  }
}

TEST_F(TiffWriterTest, SwitchesOfTheRecordSetTheirTags) {
  ASSERT_TRUE(Print(Record(4, 0, kMultipage | dmf::ReverseBitOrder | dmf::InternetTiff), 1));
  auto images = ReadTiff(Out("doc.tif"));
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].fillOrder, FILLORDER_LSB2MSB);
  ASSERT_TRUE(images[0].hasSubfile);
  EXPECT_EQ(images[0].subfile, 2u);
  EXPECT_FALSE(images[0].hasPageNumber);
  // The raw tags as tiffdump shows them: PageNumber SHORT (0, 1) after the close.
  ClearOutputs();
  ASSERT_TRUE(Print(Record(4, 0, dmf::PageNumberingTag), 2));
  auto dump = twtest::Shell("tiffdump '" + Out("doc_002.tif").string() + "' 2>&1");
  EXPECT_NE(dump.out.find("PageNumber (297) SHORT (3) 2<1 2>"), std::string::npos) << dump.out;
  EXPECT_NE(dump.out.find("Group3Options (292) LONG (4) 1<0>"), std::string::npos) << dump.out;
  EXPECT_NE(dump.out.find("XResolution (282) RATIONAL (5) 1<100>"), std::string::npos) << dump.out;
}

TEST_F(TiffWriterTest, CiscoFilesAreRewrittenAsTheLibraryDocumentsIt) {
  ASSERT_TRUE(Print(Record(30, 0, kMultipage), 2)) << tw::ToUtf8(status_);
  auto images = ReadTiff(Out("doc.tif"));
  ASSERT_EQ(images.size(), 2u);
  for (size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(images[k].compression, COMPRESSION_CCITTFAX3);
    EXPECT_EQ(images[k].t4, 4u);
    EXPECT_EQ(images[k].fillOrder, FILLORDER_LSB2MSB);
    EXPECT_EQ(images[k].subfile, 2u);
    EXPECT_EQ(images[k].rowsPerStrip, 1100u);
    EXPECT_EQ(images[k].page, k);
  }
  // One file per page is converted page by page.
  ClearOutputs();
  ASSERT_TRUE(Print(Record(30), 1));
  EXPECT_EQ(ReadTiff(Out("doc.tif"), false).at(0).fillOrder, FILLORDER_LSB2MSB);
}

TEST_F(TiffWriterTest, AddingToAnExistingTiffPutsThePagesAfterItsOwn) {
  ASSERT_TRUE(Print(Record(7, 0, kMultipage), 2));
  auto before = ReadTiff(Out("doc.tif"));
  ASSERT_EQ(before.size(), 2u);
  ASSERT_TRUE(Print(Record(7, 0, kMultipage | kAddToFile), 1));
  auto after = ReadTiff(Out("doc.tif"));
  ASSERT_EQ(after.size(), 3u);
  EXPECT_TRUE(after[0].rows == before[0].rows);
  EXPECT_TRUE(after[1].rows == before[1].rows);
  EXPECT_TRUE(after[2].rows == before[0].rows);  // the new document's first page: the box at 100
}

TEST_F(TiffWriterTest, ReopeningGivesTheFileThatKeepingItOpenGives) {
  ASSERT_TRUE(Print(Record(4, 0, kMultipage | dmf::PageNumberingTag), 3));
  auto kept = ReadTiff(Out("doc.tif"));
  ClearOutputs();
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Always Reopen TIFF File", u"1", kIni));
  ASSERT_TRUE(Print(Record(4, 0, kMultipage | dmf::PageNumberingTag), 3)) << tw::ToUtf8(status_);
  auto reopened = ReadTiff(Out("doc.tif"));
  ASSERT_EQ(kept.size(), 3u);
  ASSERT_EQ(reopened.size(), 3u);
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(reopened[k].compression, kept[k].compression);
    EXPECT_EQ(reopened[k].t4, kept[k].t4);
    EXPECT_EQ(reopened[k].photometric, kept[k].photometric);
    EXPECT_EQ(reopened[k].rowsPerStrip, kept[k].rowsPerStrip);
    EXPECT_EQ(reopened[k].xres, kept[k].xres);
    EXPECT_EQ(reopened[k].page, kept[k].page);
    EXPECT_EQ(reopened[k].pages, kept[k].pages);
    EXPECT_TRUE(reopened[k].rows == kept[k].rows) << k;
  }
  // Colour pages in reopen mode are the library's own images (LZW for code 9).
  ClearOutputs();
  ASSERT_TRUE(Print(Record(9, 3, kMultipage | dmf::PageNumberingTag), 2)) << tw::ToUtf8(status_);
  auto colour = ReadTiff(Out("doc.tif"), false);
  ASSERT_EQ(colour.size(), 2u);
  EXPECT_EQ(colour[1].compression, COMPRESSION_LZW);
  EXPECT_EQ(colour[1].samples, 3);
  EXPECT_EQ(colour[1].page, 1);
}

TEST_F(TiffWriterTest, InMemoryOutputGrowsOneBlockWithEveryPage) {
  auto job = StartedJob(Record(7, 0, kMultipage | dmf::GenerateInMemory));
  ASSERT_NE(dynamic_cast<CTWMemTIFFFile*>(job->m_pOutputFile.get()), nullptr);
  ASSERT_TRUE(PrintPages(*job, 3));
  ASSERT_TRUE(job->m_Output.inMemory);
  {
    tw::dib::BlockLock lock(job->m_Output.inMemory.get());
    ASSERT_TRUE(lock.ok());
    std::ofstream(Out("memory.tif"), std::ios::binary).write(reinterpret_cast<const char*>(lock.data()), lock.size());
  }
  auto images = ReadTiff(Out("memory.tif"));
  ASSERT_EQ(images.size(), 3u);
  EXPECT_EQ(images[2].compression, COMPRESSION_CCITTFAX4);
  EXPECT_NE(images[0].rows, images[2].rows);
  EXPECT_TRUE(job->EndDoc());
  EXPECT_EQ(Outputs(), (std::vector<std::string>{"doc.grp", "memory.tif"}));
}

TEST_F(TiffWriterTest, InMemoryPagesOfADocumentThatIsNotOneFileGoToTheClientOneByOne) {
  std::vector<std::vector<BYTE>> delivered;
  SetClientImageHook(
      [](void* c, HGLOBAL image) {
        tw::dib::BlockLock lock(image);
        static_cast<std::vector<std::vector<BYTE>>*>(c)->emplace_back(lock.data(), lock.data() + lock.size());
      },
      &delivered);
  {
    auto job = StartedJob(Record(30, 0, dmf::GenerateInMemory | dmf::PageNumberingTag));
    EXPECT_TRUE(PrintPages(*job, 2));
    EXPECT_TRUE(job->EndDoc());
  }
  SetClientImageHook(nullptr, nullptr);
  ASSERT_EQ(delivered.size(), 2u);
  for (size_t k = 0; k < 2; ++k) {
    std::ofstream(Out("page.tif"), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(delivered[k].data()), static_cast<std::streamsize>(delivered[k].size()));
    auto images = ReadTiff(Out("page.tif"));
    ASSERT_EQ(images.size(), 1u) << k;
    // Code 30 in memory: Group 3 with T4Options 0, like the file writers before the conversion.
    EXPECT_EQ(images[0].compression, COMPRESSION_CCITTFAX3);
    EXPECT_EQ(images[0].t4, 0u);
    EXPECT_EQ(images[0].page, k);
  }
}

TEST_F(TiffWriterTest, ALibraryThatIsMissingOrIncompleteFailsTheDocument) {
  TarnwickDEVMODE dm = Record(7, 0, kMultipage);
  dm.TiffDllName.Set(u"C:\\nowhere\\NoTiff.dll");
  auto job = StartedJob(dm, false);
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"TwTiff.dll cannot be loaded");
  // The file the job made when it named the document does not stay behind.
  EXPECT_FALSE(std::filesystem::exists(Out("doc.tif")));

  // Without MoveLastImageFast the kept-open file and the in-memory TIFF cannot work.
  dm.TiffDllName.Set(u"TwTiffNoMove.dll");
  job = StartedJob(dm, false);
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 3.");
  dm.Flags |= dmf::GenerateInMemory;
  job = StartedJob(dm);
  EXPECT_FALSE(PrintPages(*job, 1));
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 3.");
  // A page per file, reopened, needs no move.
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Always Reopen TIFF File", u"1", kIni));
  dm.Flags &= ~dmf::GenerateInMemory;
  ClearOutputs();
  ASSERT_TRUE(Print(dm, 2)) << tw::ToUtf8(status_);
  EXPECT_EQ(ReadTiff(Out("doc.tif"), false).size(), 2u);
}

TEST_F(TiffWriterTest, AnEncodingFailureCarriesTheLibrarysCodeAndText) {
  TarnwickDEVMODE dm = Record(7, 0, kMultipage);
  dm.TiffDllName.Set(u"TwTiffFailWrite.dll");
  auto job = StartedJob(dm);
  EXPECT_FALSE(PrintPages(*job, 1));
  // Internal error 9 in the group file, then the library's code and text.
  WCHAR status[256] = {}, tiffError[1024] = {};
  GetPrivateProfileStringW(kPrinter, u"Print status", u"", status, 256, u"C:\\out\\doc.grp");
  GetPrivateProfileStringW(kPrinter, u"TIFF Error", u"", tiffError, 1024, u"C:\\out\\doc.grp");
  EXPECT_EQ(std::u16string(status), u"Internal error: 9.");
  EXPECT_EQ(std::u16string(tiffError).rfind(u"8: ", 0), 0u) << tw::ToUtf8(tiffError);
  EXPECT_NE(std::u16string(tiffError).find(u"libtiff"), std::u16string::npos) << tw::ToUtf8(tiffError);
  EXPECT_EQ(job->m_szMergeErrorText.rfind(u"Error creating TIFF file. TIFF Error: 8 (", 0), 0u)
      << tw::ToUtf8(job->m_szMergeErrorText);
}

TEST_F(TiffWriterTest, AFileThatGetsNoPageIsNotLeftBehind) {
  auto job = StartedJob(Record(7, 0, kMultipage));
  auto* tiff = dynamic_cast<CTWTIFFFile*>(job->m_pOutputFile.get());
  ASSERT_NE(tiff, nullptr);
  // The job holds the named file from the start of the document.
  EXPECT_TRUE(std::filesystem::exists(Out("doc.tif")));
  EXPECT_TRUE(tiff->CloseTIFFFile());
  EXPECT_FALSE(std::filesystem::exists(Out("doc.tif")));
  // An existing TIFF the document was to add to stays as it was.
  job.reset();
  ClearOutputs();
  ASSERT_TRUE(Print(Record(7, 0, kMultipage), 1));
  const auto size = std::filesystem::file_size(Out("doc.tif"));
  job = StartedJob(Record(7, 0, kMultipage | kAddToFile));
  EXPECT_TRUE(dynamic_cast<CTWTIFFFile*>(job->m_pOutputFile.get())->CloseTIFFFile());
  EXPECT_EQ(std::filesystem::file_size(Out("doc.tif")), size);
}

TEST_F(TiffWriterTest, AFolderTheLayerDeniesIsReportedByThePathCheck) {
  // Colour pages added by reopening go through SaveDIBInTiffFileW, whose
  // failure is checked against the path: the folder is the fault.
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Always Reopen TIFF File", u"1", kIni));
  auto job = StartedJob(Record(9, 3, kMultipage));
  auto machine = *tw::config::Get();
  machine.denyWrite = {u"C:\\out"};
  ASSERT_TRUE(tw::config::Save(machine));
  EXPECT_FALSE(PrintPages(*job, 1));
  EXPECT_EQ(std::u16string(job->PrintStatus()),
            u"25: Cannot write TIFF file: \"C:\\out\\doc.tif\". Access Denied to Directory. Windows Error Code: 5");
  EXPECT_TRUE(ReadTiff(Out("doc.tif"), false).empty()) << "nothing was added";
}

TEST_F(TiffWriterTest, ThePageCountAtCloseIsNeverBelowTheImagesWritten) {
  // Pages numbered after the document's own (as cover pages added at its
  // end are) leave the writer at a lower number than the images written.
  auto job = StartedJob(Record(4, 0, kMultipage | dmf::PageNumberingTag));
  ASSERT_TRUE(PrintPages(*job, 3));
  job->m_pOutputFile->m_dwPageNo = 1;
  EXPECT_TRUE(dynamic_cast<CTWTIFFFile*>(job->m_pOutputFile.get())->CloseTIFFFile());
  auto images = ReadTiff(Out("doc.tif"), false);
  ASSERT_EQ(images.size(), 3u);
  for (const Image& im : images) EXPECT_EQ(im.pages, 3);
}

TEST_F(TiffWriterTest, PageFailuresCarryTheirNumbers) {
  auto job = StartedJob(Record(7, 0, kMultipage));
  auto* tiff = dynamic_cast<CTWTIFFFile*>(job->m_pOutputFile.get());
  EXPECT_FALSE(tiff->SaveTIFFPage(nullptr, 0, TRUE));
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 1.");
  EXPECT_FALSE(tiff->OpenTIFFFile(nullptr));
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 2.");
  // A page the renderer refuses closes the file; later pages fail silently.
  tw::dib::GlobalBlock junk(GlobalAlloc(GHND, 200));
  EXPECT_FALSE(tiff->SaveTIFFPage(junk.get(), 200, TRUE));
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 104.");
  DWORD size = 0;
  auto page = BoxPage(job->m_DevMode, 100, size);
  EXPECT_FALSE(tiff->SaveTIFFPage(page.get(), size, TRUE));
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 104.");
  // One file per page into a folder that is not there: the file does not open.
  auto single = StartedJob(Record(7));
  EXPECT_FALSE(single->m_pOutputFile->SaveFile(page.get(), size, u"C:\\missing\\a.tif", TRUE));
  EXPECT_EQ(std::u16string(single->PrintStatus()), u"Internal error: 5.");
}

}  // namespace
