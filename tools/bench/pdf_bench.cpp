// The PDF libraries' speed: a dense text page (66 lines of 80 columns of
// 10-point Courier New on Letter at 300 DPI, as a metafile) into a vector
// PDF, page after page, the end of the save included; and one-bit page
// images into an image PDF with Group 4.
//
//   pdf_bench [benchmark options]
//   pdf_bench --rss-pages=N   writes N text pages into one PDF and prints the
//                             peak resident memory (run it for 200 and 2000)
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tw/gdi_cairo.h"
#include "tw/pathmap.h"
#include "tw/root.h"
#include "codecs.h"
#include "tw_pdf_image.h"
#include "tw_pdf_interface.h"

namespace {

std::vector<std::u16string> pageLines() {
  const std::u16string words =
      u"The quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs. 0123456789 ";
  std::vector<std::u16string> lines;
  for (int i = 0; i < 66; ++i) {
    std::u16string line;
    for (int k = 0; line.size() < 80; ++k) line += words[(i * 7 + k) % words.size()];
    lines.push_back(line);
  }
  return lines;
}

// The page as the driver records it: text records on a metafile DC.
HENHMETAFILE textPage() {
  HDC reference = tw::gdi::CreatePageReferenceDC(2550, 3300, 300, 300);
  RECT frame{0, 0, 21590, 27940};
  HDC dc = CreateEnhMetaFileW(reference, nullptr, &frame, nullptr);
  DeleteDC(reference);
  LOGFONTW lf{};
  lf.lfHeight = -42;
  std::u16string face = u"Courier New";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  auto lines = pageLines();
  for (std::size_t i = 0; i < lines.size(); ++i)
    TextOutW(dc, 150, 150 + int(i) * 45, lines[i].c_str(), int(lines[i].size()));
  SelectObject(dc, old);
  DeleteObject(font);
  return CloseEnhMetaFile(dc);
}

std::filesystem::path workDir() {
  static std::filesystem::path dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "pdfbench-XXXXXX").string();
    std::string made = mkdtemp(pattern.data());
    tw::root::SetDir(made);
    std::filesystem::create_directories(made + "/drive_c/out");
    return std::filesystem::path(made);
  }();
  return dir;
}

// A vector PDF of `pages` copies of the page, as the writer makes it.
bool writeDocument(HENHMETAFILE page, int pages) {
  CPDFInt* pdf = CPDFInt::CreateInterface();
  CPDF* doc = pdf->GetPDF();
  bool ok = doc->StartSavePDFFileW(u"C:\\out\\bench.pdf");
  for (int n = 1; ok && n <= pages; ++n) {
    ok = pdf->LoadMetaFile(page) && pdf->ExecuteMetaFile(1, n, TRUE);
    pdf->CloseMetaFile();
    CPDFPage p = doc->GetPage(n);
    ok = ok && p.SetPageSize(612, 792) && doc->WritePageToPDFFile(p);
  }
  ok = ok && doc->EndSavePDFFile();
  pdf->Destroy();
  return ok;
}

void VectorPdfTextPages(benchmark::State& state) {
  workDir();
  HENHMETAFILE page = textPage();
  int pages = int(state.range(0));
  for (auto _ : state)
    if (!writeDocument(page, pages)) state.SkipWithError("the document was not written");
  state.SetItemsProcessed(state.iterations() * pages);
  state.counters["bytes/page"] =
      double(std::filesystem::file_size(workDir() / "drive_c/out/bench.pdf")) / double(pages);
  DeleteEnhMetaFile(page);
}
BENCHMARK(VectorPdfTextPages)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();

// The text page rendered by the raster engine into a one-bit Letter page at
// 300 DPI (a packed DIB, as the page renderer hands it over).
HGLOBAL oneBitTextPage();

// Group 4 coding alone (libtiff's coder, which the TIFF writers use too):
// what an image PDF page costs at least.
void Group4CodingOnly(benchmark::State& state) {
  HGLOBAL dib = oneBitTextPage();
  const BYTE* p = static_cast<const BYTE*>(GlobalLock(dib));
  const int w = 2550, h = 3300, stride = (w + 31) / 32 * 4, line = (w + 7) / 8;
  std::vector<BYTE> page(std::size_t(line) * h);
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < line; ++i) page[std::size_t(y) * line + i] = BYTE(~p[48 + std::size_t(h - 1 - y) * stride + i]);
  GlobalUnlock(dib);
  for (auto _ : state) {
    std::vector<BYTE> rows = page;
    benchmark::DoNotOptimize(twpdf::EncodeG4(rows, w, h));
  }
  state.SetItemsProcessed(state.iterations());
  GlobalFree(dib);
}
BENCHMARK(Group4CodingOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// Pages of it into an image PDF with Group 4.
void ImagePdfGroup4Pages(benchmark::State& state) {
  workDir();
  HMODULE module = LoadLibraryW(u"TwPdfImage.dll");
  auto get = [&](int n) { return GetProcAddress(module, reinterpret_cast<LPCSTR>(MAKEINTRESOURCEW(n))); };
  auto init = reinterpret_cast<PFN_pdf_Init_PDF>(get(TWPDF_ORD_INIT_PDF));
  auto create = reinterpret_cast<PFN_pdf_CreatePDF>(get(TWPDF_ORD_CREATE_PDF));
  auto save = reinterpret_cast<PFN_pdf_SaveDIBAsPDFPage>(get(TWPDF_ORD_SAVE_DIB_AS_PDF_PAGE));
  auto finish = reinterpret_cast<PFN_pdf_FinishPDF>(get(TWPDF_ORD_FINISH_PDF));
  auto release = reinterpret_cast<PFN_pdf_Release_PDF>(get(TWPDF_ORD_RELEASE_PDF));
  HGLOBAL dib = oneBitTextPage();
  int pages = int(state.range(0));
  for (auto _ : state) {
    HANDLE doc = nullptr;
    bool ok = init(&doc, u"C:\\out\\image.pdf") == 0 && create(doc, u"C:\\out\\image.pdf") == 0;
    for (int i = 0; ok && i < pages; ++i) ok = save(doc, dib, u"", TWPDF_COMPRESS_G4, 75) == 0;
    ok = ok && finish(doc) == 0;
    release(doc);
    std::filesystem::remove(workDir() / "drive_c/out/image.pdf");
    if (!ok) state.SkipWithError("the image PDF was not written");
  }
  state.SetItemsProcessed(state.iterations() * pages);
  GlobalFree(dib);
  FreeLibrary(module);
}
BENCHMARK(ImagePdfGroup4Pages)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();

HGLOBAL oneBitTextPage() {
  const int w = 2550, h = 3300, stride = (w + 31) / 32 * 4;
  struct MonoInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colors[2];
  } info{{sizeof(BITMAPINFOHEADER), w, h, 1, 1, BI_RGB, 0, 11811, 11811, 2, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
  void* pixels = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  PatBlt(dc, 0, 0, w, h, WHITENESS);
  HENHMETAFILE page = textPage();
  RECT r{0, 0, w, h};
  PlayEnhMetaFile(dc, page, &r);
  DeleteEnhMetaFile(page);
  GdiFlush();
  HGLOBAL dib = GlobalAlloc(GMEM_MOVEABLE, sizeof info + std::size_t(stride) * h);
  auto* p = static_cast<BYTE*>(GlobalLock(dib));
  std::memcpy(p, &info, sizeof info);
  std::memcpy(p + sizeof info, pixels, std::size_t(stride) * h);
  GlobalUnlock(dib);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return dib;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rss-pages=", 12) != 0) continue;
    int pages = std::atoi(argv[i] + 12);
    workDir();
    HENHMETAFILE page = textPage();
    bool ok = writeDocument(page, pages);
    DeleteEnhMetaFile(page);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%d pages: %s, %.0f KB per page, peak resident memory %.1f MB\n", pages, ok ? "written" : "FAILED",
                double(std::filesystem::file_size(workDir() / "drive_c/out/bench.pdf")) / 1024 / pages,
                usage.ru_maxrss / 1024.0);
    std::filesystem::remove_all(workDir());
    return ok ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(workDir());
  return 0;
}
