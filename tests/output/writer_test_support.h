// Helpers of the writer tests: a started job on the fake spooler whose
// writer is the record's, a recorded Letter page, the page as the writer
// sees it, page DIBs that are no page DIBs, and a writer's reports.
#pragma once
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../libs/codec_test_support.h"
#include "core/log/tw_log.h"
#include "core/thread_state.h"
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
#include "tw_test.h"

namespace writertest {

inline constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
inline constexpr WCHAR kIni[] = u"C:\\tw_printer.ini";

// What a thread keeps between pages (its render bitmap, its state) goes
// before a leak check.
// The encoders' per-thread error blocks too.
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
    codectest::MakeFolder(u"C:\\out");
  }
  void TearDown() override {
    tw::core::ThreadStateDetachThread();
    ResetLogStateForTests();
  }
  // A Letter page at 100 dpi (850 x 1100 pixels), kept small for the sanitizer build.
  static TarnwickDEVMODE Record(DWORD format, DWORD colorMode = 3) {
    tw::twdriver::DevModeOptions options;
    options.xDpi = options.yDpi = 100;
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
  // A Letter page recorded on the record's printer context: a black box over
  // pixels (100, 200) to (299, 399) and a red one over (400, 200) to (599, 399).
  static tw::dib::GlobalBlock BoxPage(const TarnwickDEVMODE& record, DWORD& size) {
    HDC printer = CreateDCW(u"WINSPOOL", kPrinter, nullptr, reinterpret_cast<const DEVMODEW*>(&record));
    RECT frame{0, 0, 21590, 27940};
    HDC dc = CreateEnhMetaFileW(printer, nullptr, &frame, nullptr);
    PatBlt(dc, 100, 200, 200, 200, BLACKNESS);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT box{400, 200, 600, 400};
    FillRect(dc, &box, red);
    DeleteObject(red);
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
