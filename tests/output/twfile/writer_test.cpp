// The writer framework: the factory's class per format code, the codec
// library look-up and loading, and the BMP writers.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "fake_spooler.h"
#include "job/job/tw_job.h"
#include "job/settings/save_as.h"
#include "client/messaging/messaging.h"
#include "core/log/tw_log.h"
#include "core/thread_state.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/emf_image.h"
#include "shell_run.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/packed_dib.h"
#include "tw/pathmap.h"
#include "tw/utf.h"
#include "metafile_block.h"
#include "tw_test.h"

namespace {

namespace st = tw::settings;

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr WCHAR kIni[] = u"C:\\tw_printer.ini";

std::filesystem::path Host(std::u16string_view windowsPath) {
  std::filesystem::path p;
  EXPECT_EQ(tw::path::ToHost(windowsPath, p), 0u);
  return p;
}

std::vector<BYTE> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <typename T>
T At(const std::vector<BYTE>& bytes, size_t offset) {
  T v{};
  if (offset + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + offset, sizeof v);
  return v;
}

// A Letter page recorded on the record's printer context with a black box
// over pixels (100, 200) to (299, 399).
tw::dib::GlobalBlock BoxPage(const TarnwickDEVMODE& record, DWORD& size) {
  HDC printer = CreateDCW(u"WINSPOOL", kPrinter, nullptr, reinterpret_cast<const DEVMODEW*>(&record));
  RECT frame{0, 0, 21590, 27940};
  HDC dc = CreateEnhMetaFileW(printer, nullptr, &frame, nullptr);
  PatBlt(dc, 100, 200, 200, 200, BLACKNESS);
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  DeleteDC(printer);
  return twtest::MetafileBlock(emf, size);
}

// What a thread keeps between pages (its render bitmap, its state) goes
// before the leak check.
void ReleaseThreadCaches() {
  ReleaseRenderBitmapCache();
  tw::core::ThreadStateDetachThread();
}

class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLogStateForTests();
    spooler_.spooler->AddPrinter(kPrinter, kIni);
    std::filesystem::create_directories(root_.Dir() / "drive_c" / "out");
  }
  void TearDown() override {
    tw::core::ThreadStateDetachThread();
    ResetLogStateForTests();
  }
  TarnwickDEVMODE Record(DWORD format = 0, DWORD colorMode = 0) {
    tw::twdriver::DevModeOptions options;
    options.colorMode = colorMode;
    options.outputDirectory = u"C:\\out";
    TarnwickDEVMODE dm = tw::twdriver::MakeDevMode(options);
    dm.FileFormat = format;
    return dm;
  }
  // A job whose document has started (its writer made).
  std::unique_ptr<CTWJob> StartedJob(const TarnwickDEVMODE& dm) {
    auto job = std::make_unique<CTWJob>();
    job->SetJobID(5);
    job->SetPrinterName(kPrinter);
    std::vector<BYTE> bytes(sizeof dm);
    std::memcpy(bytes.data(), &dm, sizeof dm);
    EXPECT_TRUE(job->SetDevMode(bytes.data(), TRUE));
    EXPECT_TRUE(job->StartDoc());
    return job;
  }

  twtest::TempRoot root_;
  twtest::ScopedSpooler spooler_;
};

TEST_F(WriterTest, TheFactoryMakesTheWriterOfTheEffectiveCode) {
  CTWJob job;
  job.SetJobID(3);
  job.SetPrinterName(kPrinter);
  auto is = [&](DWORD code, bool inMemory, auto* type) {
    TarnwickDEVMODE dm = Record(code);
    if (inMemory) dm.Flags |= tw::devmode::flags::GenerateInMemory;
    auto writer = CTWFile::CreateTWFileObject(dm, &job);
    EXPECT_NE(writer, nullptr) << code;
    if (!writer) return false;
    EXPECT_EQ(std::memcmp(&writer->m_DevMode, &dm, sizeof dm), 0);
    EXPECT_EQ(writer->m_dwPageNo, 0u);
    EXPECT_EQ(writer->m_pJob, &job);
    using T = std::remove_pointer_t<decltype(type)>;
    return dynamic_cast<T*>(writer.get()) != nullptr;
  };
  EXPECT_TRUE(is(0, false, static_cast<CTWBMPFile*>(nullptr)));
  EXPECT_TRUE(is(0, true, static_cast<CTWMemBMPFile*>(nullptr)));
  EXPECT_TRUE(is(34, true, static_cast<CTWMemBMPFile*>(nullptr)));
  EXPECT_TRUE(is(33, false, static_cast<CTWJPEGFile*>(nullptr)));
  EXPECT_TRUE(is(7, false, static_cast<CTWTIFFFile*>(nullptr)));
  EXPECT_TRUE(is(46, true, static_cast<CTWMemTIFFFile*>(nullptr)));
  EXPECT_TRUE(is(29, false, static_cast<CTWHTMLBMPFile*>(nullptr)));
  EXPECT_TRUE(is(36, false, static_cast<CTWVectorPDFFile*>(nullptr)));
  EXPECT_TRUE(is(38, false, static_cast<CTWPDFAFile*>(nullptr)));
  EXPECT_TRUE(is(35, false, static_cast<CTWPDFFile*>(nullptr)));
  for (DWORD code : {37u, 39u, 49u, 1000u}) EXPECT_EQ(CTWFile::CreateTWFileObject(Record(code), &job), nullptr);

  // The job's Save-As values count: the dialog chose TIFF Group 4.
  TarnwickDEVMODE saveAs = Record(0);
  saveAs.Flags |= tw::devmode::flags::SaveAs;
  job.m_DevMode = saveAs;
  ASSERT_TRUE(st::WriteSaveAs(st::ScopeForPrinter(kPrinter, 3), st::SaveAsDword::FileFormat, 7));
  EXPECT_NE(dynamic_cast<CTWTIFFFile*>(CTWFile::CreateTWFileObject(saveAs, &job).get()), nullptr);
  // Without a job the record's own code decides.
  EXPECT_NE(dynamic_cast<CTWBMPFile*>(CTWFile::CreateTWFileObject(saveAs, nullptr).get()), nullptr);
}

TEST_F(WriterTest, CodecLibrariesAreFoundBesideTheDriver) {
  const std::u16string driverDir = u"C:\\Windows\\System32\\spool\\drivers\\x64";
  std::ofstream(Host(driverDir + u"\\Codec1.dll")) << "x";
  std::ofstream(Host(driverDir + u"\\3\\Codec3.dll")) << "x";
  std::ofstream(Host(u"C:\\out\\Mine.dll")) << "x";
  WCHAR path[MAX_PATH];
  // The name itself names a file.
  ASSERT_TRUE(GetCorrectDllName(u"C:\\out\\Mine.dll", path));
  EXPECT_EQ(std::u16string(path), u"C:\\out\\Mine.dll");
  // The driver directory, then its "3" folder, by the name's file part.
  ASSERT_TRUE(GetCorrectDllName(u"C:\\nowhere\\Codec1.dll", path));
  EXPECT_EQ(std::u16string(path), driverDir + u"\\Codec1.dll");
  ASSERT_TRUE(GetCorrectDllName(u"Codec3.dll", path));
  EXPECT_EQ(std::u16string(path), driverDir + u"\\3\\Codec3.dll");
  // Found nowhere: the bare name, for the loader's search.
  ASSERT_TRUE(GetCorrectDllName(u"C:\\nowhere\\NoSuch.dll", path));
  EXPECT_EQ(std::u16string(path), u"NoSuch.dll");
  // A name that fills the path with the driver folder is one that is not there.
  std::u16string longName(MAX_PATH - 10, u'n');
  ASSERT_TRUE(GetCorrectDllName(longName.c_str(), path));
  EXPECT_EQ(std::u16string(path), longName);
  // The spooler gives no driver directory.
  spooler_.spooler->driverDirectoryError = ERROR_ACCESS_DENIED;
  EXPECT_FALSE(GetCorrectDllName(u"Codec1.dll", path));
}

TEST_F(WriterTest, ACodecLibraryThatCannotBeLoadedIsReported) {
  auto job = StartedJob(Record());
  TarnwickDEVMODE dm = Record();
  tw::output::CodecLibrary library;
  ASSERT_TRUE(library.Load(tw::output::Codec::Tiff, dm, job.get())) << tw::ToUtf8(library.Path());
  EXPECT_NE(library.Get<FARPROC>("OpenTiffFileW"), nullptr);
  EXPECT_EQ(library.Get<FARPROC>("NoSuchExport"), nullptr);
  ASSERT_TRUE(library.Load(tw::output::Codec::Jpeg, dm, job.get()));
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Printing started");

  dm.JpegDllName.Set(u"C:\\nowhere\\NoSuch.dll");
  EXPECT_FALSE(library.Load(tw::output::Codec::Jpeg, dm, job.get()));
  EXPECT_FALSE(library.Loaded());
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"TwJpeg.dll cannot be loaded");
}

TEST_F(WriterTest, TheBmpWriterStoresThePageWithItsFileHeader) {
  twtest::LeakGuard leaks;
  {
    auto job = StartedJob(Record());
    DWORD size = 0;
    auto page = BoxPage(job->m_DevMode, size);
    ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\box.bmp", TRUE));
    ReleaseThreadCaches();
  }
  auto bytes = ReadAll(root_.Dir() / "drive_c" / "out" / "box.bmp");
  ASSERT_EQ(bytes.size(), 1056062u);  // 62 + 320 x 3300
  EXPECT_EQ(At<WORD>(bytes, 0), 0x4D42);
  EXPECT_EQ(At<DWORD>(bytes, 2), 1056062u);
  EXPECT_EQ(At<DWORD>(bytes, 10), 62u);
  EXPECT_EQ(At<LONG>(bytes, 18), 2550);
  EXPECT_EQ(At<LONG>(bytes, 22), 3300);
  EXPECT_EQ(At<WORD>(bytes, 28), 1);
  EXPECT_EQ(At<LONG>(bytes, 38), 11811);
  EXPECT_EQ(At<DWORD>(bytes, 54), 0u);          // entry 0: black
  EXPECT_EQ(At<DWORD>(bytes, 58), 0x00FFFFFFu);  // entry 1: white
  auto pixel = [&](int x, int y) {
    BYTE b = bytes[62 + static_cast<size_t>(3299 - y) * 320 + x / 8];
    return (b >> (7 - x % 8)) & 1;
  };
  EXPECT_EQ(pixel(101, 201), 0);
  EXPECT_EQ(pixel(297, 397), 0);
  EXPECT_EQ(pixel(302, 399), 1);
  EXPECT_EQ(pixel(97, 200), 1);
  EXPECT_EQ(pixel(0, 0), 1);
  // An independent reader takes it as a 2550 x 3300 bitmap.
  auto check = twtest::Shell("bmptopnm '" + (root_.Dir() / "drive_c/out/box.bmp").string() + "' 2>/dev/null | pnmfile");
  EXPECT_NE(check.out.find("2550 by 3300"), std::string::npos) << check.out;
}

TEST_F(WriterTest, BmpFailuresCarryTheirNumbers) {
  auto job = StartedJob(Record());
  DWORD size = 0;
  auto page = BoxPage(job->m_DevMode, size);
  CTWFile& writer = *job->m_pOutputFile;
  EXPECT_FALSE(writer.SaveFile(nullptr, 0, u"C:\\out\\a.bmp", TRUE));
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 22.");
  EXPECT_FALSE(writer.SaveFile(page.get(), size, nullptr, TRUE));
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 23.");
  // A file in a folder that is not there: the path check reports it.
  EXPECT_FALSE(writer.SaveFile(page.get(), size, u"C:\\missing\\a.bmp", TRUE));
  EXPECT_EQ(std::u16string(job->PrintStatus()).rfind(u"25: Cannot write BMP file: ", 0), 0u)
      << tw::ToUtf8(job->PrintStatus());
  // A page the renderer refuses is reported by it (not a metafile: 104).
  tw::dib::GlobalBlock junk(GlobalAlloc(GHND, 200));
  EXPECT_FALSE(writer.SaveFile(junk.get(), 200, u"C:\\out\\b.bmp", TRUE));
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"Internal error: 104.");
  EXPECT_FALSE(std::filesystem::exists(root_.Dir() / "drive_c" / "out" / "b.bmp"));
}

TEST_F(WriterTest, TheInMemoryBmpWriterHandsTheClientABmpFileImage) {
  std::vector<BYTE> delivered;
  SetClientImageHook(
      [](void* c, HGLOBAL image) {
        tw::dib::BlockLock lock(image);
        static_cast<std::vector<BYTE>*>(c)->assign(lock.data(), lock.data() + lock.size());
      },
      &delivered);
  {
    twtest::LeakGuard leaks;
    TarnwickDEVMODE dm = Record(0, 3);
    dm.Flags |= tw::devmode::flags::GenerateInMemory;
    auto job = StartedJob(dm);
    ASSERT_NE(dynamic_cast<CTWMemBMPFile*>(job->m_pOutputFile.get()), nullptr);
    DWORD size = 0;
    auto page = BoxPage(job->m_DevMode, size);
    ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, job->m_szActFileName, TRUE));
    ReleaseThreadCaches();
  }
  SetClientImageHook(nullptr, nullptr);
  // 24 bits: rows of 7650 bytes padded to 7652.
  ASSERT_EQ(delivered.size(), 54u + 7652u * 3300u);
  EXPECT_EQ(At<WORD>(delivered, 0), 0x4D42);
  EXPECT_EQ(At<DWORD>(delivered, 2), delivered.size());
  EXPECT_EQ(At<DWORD>(delivered, 10), 54u);
  EXPECT_EQ(At<WORD>(delivered, 28), 24);
  EXPECT_FALSE(std::filesystem::exists(root_.Dir() / "drive_c" / "out" / "box.bmp"));
}

}  // namespace
