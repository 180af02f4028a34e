// The page path on a Letter page at 300 DPI: a full page of 10-point
// Courier New (66 lines of 80 columns) recorded as an application prints
// it, rendered by CEMFImage into a 1-bit and a 24-bit page DIB. Measured
// apart: the play into the render bitmap (under the GDI mutex, as a page is
// played), the copy of the rendered rows into the page DIB, the whole
// CEMFImage::Create (settings, contexts, render, copy, finishing steps),
// the blank-page test, the image operations a page may go through, and the
// page handed to the BMP and Group 4 TIFF writers as the job hands it
// (render, copy, coding, file).
// Every figure is the median of 200 single pages, so warm-up and outliers
// of the shared machine do not count.
#include <benchmark/benchmark.h>
#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "output/imaging/dib_ops.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/emf_image.h"
#include "render/emf/emf_internal.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/pathmap.h"
#include "tw/root.h"
#include "tw/utf.h"

namespace {

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr int kRepetitions = 200;

// A machine root of its own, removed at exit.
class BenchRoot {
 public:
  BenchRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "twbench-XXXXXX").string();
    if (const char* made = mkdtemp(pattern.data())) dir_ = made;
    tw::root::SetDir(dir_);
  }
  ~BenchRoot() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

 private:
  std::filesystem::path dir_;
};

TarnwickDEVMODE Letter(DWORD colorMode) {
  tw::twdriver::DevModeOptions o;
  o.colorMode = colorMode;
  auto dm = tw::twdriver::MakeDevMode(o);
  dm.Brightness = 100;
  return dm;
}

// 66 lines of 80 columns of Courier New 10 pt with half-inch margins,
// recorded on the printer's context.
std::vector<BYTE> TextPage(const TarnwickDEVMODE& dm) {
  HDC printer = CreateDCW(u"WINSPOOL", kPrinter, nullptr, reinterpret_cast<const DEVMODEW*>(&dm));
  RECT frame{0, 0, 21590, 27940};
  HDC dc = CreateEnhMetaFileW(printer, nullptr, &frame, nullptr);
  LOGFONTW lf{};
  lf.lfHeight = -42;
  std::u16string face = u"Courier New";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  HFONT font = CreateFontIndirectW(&lf);
  SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  const std::u16string words =
      u"The quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs. 0123456789 ";
  for (int i = 0; i < 66; ++i) {
    std::u16string line;
    for (int k = 0; line.size() < 80; ++k) line += words[(i * 7 + k) % words.size()];
    TextOutW(dc, 150, 150 + i * 45, line.c_str(), static_cast<int>(line.size()));
  }
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  DeleteObject(font);
  DeleteDC(printer);
  std::vector<BYTE> bytes(GetEnhMetaFileBits(emf, 0, nullptr));
  GetEnhMetaFileBits(emf, static_cast<UINT>(bytes.size()), bytes.data());
  DeleteEnhMetaFile(emf);
  return bytes;
}

// A job printing the benchmark page in colour mode 0 (1 bit) or 3 (24 bits).
struct Fixture {
  explicit Fixture(int bits) : dm(Letter(bits == 1 ? 0 : 3)) {
    job.SetPrinterName(kPrinter);
    job.m_DevMode = dm;
    page = TextPage(dm);
    block = GlobalAlloc(GMEM_MOVEABLE, page.size());
    std::memcpy(GlobalLock(block), page.data(), page.size());
    GlobalUnlock(block);
  }
  ~Fixture() { GlobalFree(block); }
  TarnwickDEVMODE dm;
  CTWJob job;
  std::vector<BYTE> page;
  HGLOBAL block = nullptr;
};

// One fixture per depth for the whole run: every repetition then sees the
// state a job is in from its second page on (root, registry, caches).
Fixture& Shared(int bits) {
  static BenchRoot root;
  static std::unique_ptr<Fixture> fixtures[2];
  auto& f = fixtures[bits == 1 ? 0 : 1];
  if (!f) f = std::make_unique<Fixture>(bits);
  return *f;
}

// The render bitmap and context of a page, as CEMFImage::Create sets them up.
struct RenderTarget {
  explicit RenderTarget(Fixture& f) : image() {
    image.m_pJob = &f.job;
    image.FillBITMAPINFO(&f.dm);
    image.AllocPageDIB();
    dc = CreateCompatibleDC(nullptr);
    bitmap = GetCachedDIBSection(dc, image.m_lpBmi);
    emf = SetEnhMetaFileBits(static_cast<UINT>(f.page.size()), f.page.data());
    options.job = &f.job;
    options.dm = &f.dm;
  }
  ~RenderTarget() {
    DeleteEnhMetaFile(emf);
    DeleteDC(dc);
  }
  void Play() {
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    PatBlt(dc, 0, 0, 2550, 3300, PATCOPY);
    RECT rect{0, 0, 2550, 3300};
    tw::render::PlayPage(emf, dc, rect, options);
    SelectObject(dc, oldBitmap);
    SelectObject(dc, oldBrush);
  }
  CEMFImage image;
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HENHMETAFILE emf = nullptr;
  tw::render::PlayOptions options;
};

void BM_PageRender(benchmark::State& state) {
  Fixture& f = Shared(static_cast<int>(state.range(0)));
  RenderTarget target(f);
  target.Play();  // glyph caches warm, as from a document's second page on
  for (auto _ : state) target.Play();
}
BENCHMARK(BM_PageRender)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);

void BM_PageCopy(benchmark::State& state) {
  Fixture& f = Shared(static_cast<int>(state.range(0)));
  RenderTarget target(f);
  target.Play();
  for (auto _ : state) target.image.CopyBandToDIB(target.dc, target.bitmap, 0, target.image.m_lpBmi);
}
BENCHMARK(BM_PageCopy)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);

void BM_PageRenderAndCopy(benchmark::State& state) {
  Fixture& f = Shared(static_cast<int>(state.range(0)));
  RenderTarget target(f);
  target.Play();
  for (auto _ : state) {
    target.Play();
    target.image.CopyBandToDIB(target.dc, target.bitmap, 0, target.image.m_lpBmi);
  }
}
BENCHMARK(BM_PageRenderAndCopy)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);

// The whole page as a writer asks for it, up to the page DIB it takes over.
void BM_PageCreate(benchmark::State& state) {
  Fixture& f = Shared(static_cast<int>(state.range(0)));
  {
    CEMFImage warm;
    warm.Create(f.block, &f.dm, &f.job, FALSE, TRUE, FALSE);
  }
  for (auto _ : state) {
    CEMFImage image;
    if (!image.Create(f.block, &f.dm, &f.job, FALSE, TRUE, FALSE)) state.SkipWithError("the page was not rendered");
    HGLOBAL dib = image.TakeDIB();
    benchmark::DoNotOptimize(dib);
    GlobalFree(dib);
  }
}
BENCHMARK(BM_PageCreate)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);

// The blank-page test of a page with ink (rendered, stopped at the first ink).
void BM_BlankTest(benchmark::State& state) {
  Fixture& f = Shared(static_cast<int>(state.range(0)));
  IsBlankPage(f.block, &f.job, FALSE);
  for (auto _ : state) benchmark::DoNotOptimize(IsBlankPage(f.block, &f.job, FALSE));
}
BENCHMARK(BM_BlankTest)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);

// The page handed over to the writer as the job hands it: the driver's block
// goes to SaveFile unchanged, the writer renders it and writes the BMP file
// (header and the page DIB in two writes, no copy of the image).
void BM_PageToBmpWriter(benchmark::State& state) {
  Fixture& f = Shared(static_cast<int>(state.range(0)));
  std::unique_ptr<CTWFile> writer = CTWFile::CreateTWFileObject(f.dm, &f.job);
  const WCHAR* file = u"C:\\Users\\Public\\page_bench.bmp";
  writer->SaveFile(f.block, static_cast<DWORD>(f.page.size()), file, TRUE);
  for (auto _ : state)
    if (!writer->SaveFile(f.block, static_cast<DWORD>(f.page.size()), file, TRUE))
      state.SkipWithError("the page was not written");
}
BENCHMARK(BM_PageToBmpWriter)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);

// The page as a Group 4 TIFF (code 7), handed over as the job hands it.
// Arg 0: one file per page (SaveFile: the library loaded, the file opened,
// the page rendered, coded and written, the file closed and numbered);
// arg 1: a page added to the multipage file the job keeps open (SaveTIFFPage).
void BM_PageToTiffWriter(benchmark::State& state) {
  Fixture& f = Shared(1);
  TarnwickDEVMODE dm = f.dm;
  dm.FileFormat = 7;
  // No spooler here to name the driver folder: the library beside this program.
  dm.TiffDllName.Set(tw::path::FromHost(std::filesystem::canonical("/proc/self/exe").parent_path() / "TwTiff.dll"));
  f.job.m_DevMode = dm;
  std::unique_ptr<CTWFile> writer = CTWFile::CreateTWFileObject(dm, &f.job);
  auto* tiff = dynamic_cast<CTWTIFFFile*>(writer.get());
  const WCHAR* file = u"C:\\Users\\Public\\page_bench.tif";
  const DWORD size = static_cast<DWORD>(f.page.size());
  const bool kept = state.range(0) == 1;
  DeleteFileW(file);
  writer->m_dwPageNo = 1;
  if (!tiff || (kept && !tiff->OpenTIFFFile(file)))
    state.SkipWithError(("the TIFF writer did not start: " + tw::ToUtf8(f.job.PrintStatus())).c_str());
  for (auto _ : state)
    if (!(kept ? tiff->SaveTIFFPage(f.block, size, TRUE) : writer->SaveFile(f.block, size, file, TRUE)))
      state.SkipWithError("the page was not written");
  if (kept && tiff) tiff->CloseTIFFFile();
  f.job.m_DevMode = f.dm;
}
BENCHMARK(BM_PageToTiffWriter)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);

// Image operations on the rendered page: a quarter turn, a crop, and (24
// bits) the fixed-threshold reduction to one bit.
void BM_PageImageOps(benchmark::State& state) {
  Fixture& f = Shared(static_cast<int>(state.range(0)));
  CEMFImage image;
  image.Create(f.block, &f.dm, &f.job, FALSE, TRUE, FALSE);
  for (auto _ : state) {
    HGLOBAL turned = tw::imaging::RotateDIB90Right(image.m_hDIB);
    HGLOBAL cropped = tw::imaging::CropDIB(image.m_hDIB, 150, 150, 2399, 3149);
    HGLOBAL reduced = state.range(0) == 24 ? tw::imaging::DitherThreshold(image.m_hDIB, 0) : nullptr;
    GlobalFree(turned);
    GlobalFree(cropped);
    if (reduced) GlobalFree(reduced);
  }
}
BENCHMARK(BM_PageImageOps)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(50)->ReportAggregatesOnly(true);

}  // namespace
