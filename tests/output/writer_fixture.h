// The set-up of the page-image writer tests: a machine root with the
// printer, records as the driver makes them, jobs whose document has
// started, pages recorded on the printer, and reading the files back.
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
#include "fake_spooler.h"
#include "job/job/tw_job.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/emf_image.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/packed_dib.h"
#include "tw/utf.h"
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
  size = GetEnhMetaFileBits(emf, 0, nullptr);
  tw::dib::GlobalBlock block(GlobalAlloc(GHND, size));
  {
    tw::dib::BlockLock lock(block.get());
    GetEnhMetaFileBits(emf, size, lock.data());
  }
  DeleteEnhMetaFile(emf);
  return block;
}

// A Letter page with a black box over pixels (100, 200) to (299, 399) and a
// grey one beside it.
inline tw::dib::GlobalBlock BoxPage(const TarnwickDEVMODE& record, DWORD& size) {
  auto draw = [](HDC dc) {
    PatBlt(dc, 100, 200, 200, 200, BLACKNESS);
    HBRUSH grey = CreateSolidBrush(RGB(128, 128, 128));
    RECT box{400, 200, 600, 400};
    FillRect(dc, &box, grey);
    DeleteObject(grey);
  };
  return RecordedPage(record, RECT{0, 0, 21590, 27940}, draw, size);
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
  static TarnwickDEVMODE Record(DWORD format, DWORD colorMode = 0) {
    tw::twdriver::DevModeOptions options;
    options.colorMode = colorMode;
    options.outputDirectory = u"C:\\out";
    TarnwickDEVMODE dm = tw::twdriver::MakeDevMode(options);
    dm.FileFormat = format;
    return dm;
  }
  // A job whose document has started (its writer made).
  static std::unique_ptr<CTWJob> StartedJob(const TarnwickDEVMODE& dm) {
    auto job = std::make_unique<CTWJob>();
    job->SetJobID(5);
    job->SetPrinterName(kPrinter);
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

  twtest::TempRoot root_;
  twtest::ScopedSpooler spooler_;
};

}  // namespace writertest
