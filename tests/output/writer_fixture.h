// The set-up of the writer tests: a machine root with the printer, records
// as the driver makes them, jobs whose document has started, pages recorded
// on the printer, the page as the writer sees it, page DIBs that are no page
// DIBs, reading the files back and a writer's reports.
#pragma once
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/log/tw_log.h"
#include "core/thread_state.h"
#include "encoder_test_support.h"
#include "event_entries.h"
#include "fake_spooler.h"
#include "job/job/tw_job.h"
#include "output/gif/gif_writer.h"
#include "output/png/png_codec.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/emf_image.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/packed_dib.h"
#include "tw/utf.h"
#include "metafile_block.h"
#include "tw_test.h"

namespace writertest {

inline constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
inline constexpr WCHAR kIni[] = u"C:\\tw_printer.ini";

// A metafile page of `frame` (0.01 mm) recorded on the record's printer by
// `draw`, as the driver sends it: the metafile's bytes in a movable block.
template <typename Draw>
tw::dib::GlobalBlock RecordedPage(const TarnwickDEVMODE& record, const RECT& frame, Draw draw, DWORD& size) {
  HDC printer = CreateDCW(u"WINSPOOL", kPrinter, nullptr, reinterpret_cast<const DEVMODEW*>(&record));
  HDC dc = CreateEnhMetaFileW(printer, nullptr, &frame, nullptr);
  draw(dc);
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  DeleteDC(printer);
  return twtest::MetafileBlock(emf, size);
}

// A Letter page with a black box over pixels (100, 200) to (299, 399) and
// one of `beside` over (400, 200) to (599, 399).
inline tw::dib::GlobalBlock BoxPage(const TarnwickDEVMODE& record, DWORD& size,
                                    COLORREF beside = RGB(128, 128, 128)) {
  auto draw = [beside](HDC dc) {
    PatBlt(dc, 100, 200, 200, 200, BLACKNESS);
    HBRUSH brush = CreateSolidBrush(beside);
    RECT box{400, 200, 600, 400};
    FillRect(dc, &box, brush);
    DeleteObject(brush);
  };
  return RecordedPage(record, RECT{0, 0, 21590, 27940}, draw, size);
}

// What a thread keeps between pages (its render bitmap, its state, the
// encoders' error blocks) goes before a leak check.
inline void ReleaseThreadCaches() {
  ReleaseRenderBitmapCache();
  tw::core::ThreadStateDetachThread();
  TwPNGMain(DLL_THREAD_DETACH);
  TwGIFMain(nullptr, DLL_THREAD_DETACH);
}

class WriterFixture : public ::testing::Test {
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
  // A Letter page at 300 dpi, black and white unless told.
  static TarnwickDEVMODE Record(DWORD format, DWORD colorMode = 0) { return RecordAt(300, format, colorMode); }
  // A Letter page at 100 dpi (850 x 1100 pixels), kept small for the sanitizer build.
  static TarnwickDEVMODE LowResRecord(DWORD format, DWORD colorMode = 3) { return RecordAt(100, format, colorMode); }
  static TarnwickDEVMODE RecordAt(LONG dpi, DWORD format, DWORD colorMode) {
    tw::twdriver::DevModeOptions options;
    options.xDpi = options.yDpi = dpi;
    options.colorMode = colorMode;
    options.outputDirectory = u"C:\\out";
    TarnwickDEVMODE dm = tw::twdriver::MakeDevMode(options);
    dm.FileFormat = format;
    return dm;
  }
  // A job whose document has started (its writer made), named `document`.
  static std::unique_ptr<CTWJob> StartedJob(const TarnwickDEVMODE& dm, const WCHAR* document = nullptr) {
    auto job = std::make_unique<CTWJob>();
    job->SetJobID(5);
    job->SetPrinterName(kPrinter);
    if (document) job->SetDocumentName(document);
    std::vector<BYTE> bytes(sizeof dm);
    std::memcpy(bytes.data(), &dm, sizeof dm);
    EXPECT_TRUE(job->SetDevMode(bytes.data(), TRUE));
    EXPECT_TRUE(job->StartDoc());
    return job;
  }
  template <typename Writer>
  static Writer& WriterOf(CTWJob& job) {
    auto* writer = dynamic_cast<Writer*>(job.m_pOutputFile.get());
    EXPECT_NE(writer, nullptr);
    return *writer;
  }
  static std::string Status(const CTWJob& job) { return tw::ToUtf8(job.PrintStatus()); }
  std::filesystem::path Out(const std::string& name) const { return root_.Dir() / "drive_c" / "out" / name; }
  std::string Read(const std::string& name) const { return codectest::ReadBytes(Out(name)); }

  // Page DIBs a writer must refuse: a wrong header size, a zero or negative
  // width, a zero height, a bit count no format has, rows past the block.
  static std::vector<tw::dib::GlobalBlock> MalformedDibs() {
    std::vector<tw::dib::GlobalBlock> dibs;
    auto make = [&](auto change) {
      HGLOBAL h = codectest::MakeDib(codectest::BilevelPage(64, 16, 1));
      {
        tw::dib::BlockLock lock(h);
        auto* header = reinterpret_cast<BITMAPINFOHEADER*>(lock.data());
        change(*header);
      }
      dibs.emplace_back(h);
    };
    make([](BITMAPINFOHEADER& h) { h.biSize = 20; });
    make([](BITMAPINFOHEADER& h) { h.biWidth = 0; });
    make([](BITMAPINFOHEADER& h) { h.biWidth = -64; });
    make([](BITMAPINFOHEADER& h) { h.biHeight = 0; });
    make([](BITMAPINFOHEADER& h) { h.biBitCount = 7; });
    make([](BITMAPINFOHEADER& h) { h.biHeight = 4000; });  // too few bytes for its rows
    make([](BITMAPINFOHEADER& h) { h.biWidth = 0x7FFFFFFF; });
    dibs.emplace_back();
    return dibs;
  }

  // The image's pixels as RGB triples, top row first.
  static std::vector<BYTE> Rgb(const codectest::Image& img) {
    std::vector<BYTE> out;
    for (const auto& row : img.rows)
      for (std::uint32_t x = 0; x < img.width; ++x) {
        if (img.bits == 24) {
          out.insert(out.end(), row.begin() + 3 * x, row.begin() + 3 * x + 3);
          continue;
        }
        const std::size_t bit = std::size_t(x) * img.bits;
        const unsigned index = (row[bit / 8] >> (8 - img.bits - bit % 8)) & ((1u << img.bits) - 1);
        const RGBQUAD q = img.colors[index];
        out.insert(out.end(), {q.rgbRed, q.rgbGreen, q.rgbBlue});
      }
    return out;
  }

  // The page image a writer of the job stores for the page.
  static codectest::DibContents Rendered(CTWJob& job, HGLOBAL page) {
    CEMFImage image;
    TarnwickDEVMODE dm = job.m_pOutputFile->m_DevMode;
    EXPECT_TRUE(image.Create(page, &dm, &job, FALSE, TRUE, FALSE));
    return image.m_hDIB ? codectest::ReadDib(image.m_hDIB) : codectest::DibContents{};
  }

  twtest::TempRoot root_;
  twtest::ScopedSpooler spooler_;
};

// A block's bytes.
inline std::vector<BYTE> BytesOf(HGLOBAL h) {
  tw::dib::BlockLock lock(h);
  return lock.ok() ? std::vector<BYTE>(lock.data(), lock.data() + lock.size()) : std::vector<BYTE>{};
}

// Page DIBs no writer may hand to an encoder, by what is wrong with them.
struct BadDib {
  const char* what;
  std::vector<BYTE> bytes;
};
inline std::vector<BadDib> BadPageDibs() {
  codectest::Image img = codectest::RandomImage(16, 8, 8, 3);
  tw::dib::GlobalBlock good(codectest::MakeDib(img));
  const std::vector<BYTE> base = BytesOf(good.get());
  auto with = [&](size_t offset, auto value) {
    std::vector<BYTE> b = base;
    std::memcpy(b.data() + offset, &value, sizeof value);
    return b;
  };
  std::vector<BYTE> shortRows(base.begin(), base.end() - 20);
  return {{"header size 41", with(0, DWORD{41})},         {"header size 12", with(0, DWORD{12})},
          {"width 0", with(4, LONG{0})},                  {"width -16", with(4, LONG{-16})},
          {"height 0", with(8, LONG{0})},                 {"height -8", with(8, LONG{-8})},
          {"16 bits", with(14, WORD{16})},                {"3 bits", with(14, WORD{3})},
          {"32 bits", with(14, WORD{32})},                {"rows past the block", shortRows},
          {"width 2^30", with(4, LONG{1 << 30})},         {"header only", std::vector<BYTE>(base.begin(), base.begin() + 40)}};
}

inline HGLOBAL Block(const std::vector<BYTE>& bytes) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  std::memcpy(GlobalLock(h), bytes.data(), bytes.size());
  GlobalUnlock(h);
  return h;
}

// The errors the jobs reported, oldest first (the last text of each error entry).
inline std::vector<std::string> ReportedErrors() {
  std::vector<std::string> out;
  for (const auto& e : twtest::ReadEventEntries())
    if (e.type == EVENTLOG_ERROR_TYPE && !e.strings.empty()) out.push_back(tw::ToUtf8(e.strings.back()));
  return out;
}

}  // namespace writertest
