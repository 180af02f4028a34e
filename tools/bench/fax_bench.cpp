// Group 4 coding of the benchmark text page: 66 lines of 80 columns of
// 10-point Courier New on a Letter page at 300 dpi (2550 x 3300, 1 bit),
// rendered once through the layer's GDI. Both figures are a whole page into
// an in-memory TIFF with the TIFF writer's tags, rows handed over as the
// writer's row function does (the padded DIB row, inverted):
//   BM_G4_TwTiff   EncodeTiffImage of TwTiff.dll (its own coder, raw strips)
//   BM_G4_libtiff  libtiff's Group 4 coder through TIFFWriteScanline
// Each repetition codes one page; the figure is the median of 200.
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tw_tiff_api.h"

namespace {

constexpr LONG kWidth = 2550, kHeight = 3300;
constexpr std::size_t kStride = (kWidth + 31) / 32 * 4;

// The page as a top-down 1-bit DIB's rows (palette entry 0 black, 1 white).
std::vector<BYTE> RenderTextPage() {
  std::vector<BYTE> rows(kStride * kHeight, 0xFF);
  HDC dc = CreateCompatibleDC(nullptr);
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[2];
  } info{{sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 1, BI_RGB, 0, 0, 0, 2, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    DeleteDC(dc);
    return {};
  }
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  PatBlt(dc, 0, 0, kWidth, kHeight, WHITENESS);
  LOGFONTW lf{};
  lf.lfHeight = -42;  // 10 points at 300 dpi
  std::u16string face = u"Courier New";
  face.copy(lf.lfFaceName, face.size());
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  const std::u16string words = u"The quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs. ";
  for (int i = 0; i < 66; ++i) {
    std::u16string line;
    for (int k = 0; line.size() < 80; ++k) line += words[(i * 7 + k) % words.size()];
    TextOutW(dc, 150, 150 + i * 46, line.c_str(), 80);
  }
  GdiFlush();
  std::memcpy(rows.data(), bits, rows.size());
  SelectObject(dc, oldFont);
  DeleteObject(font);
  SelectObject(dc, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return rows;
}

const std::vector<BYTE>& Page() {
  static const std::vector<BYTE> page = RenderTextPage();
  return page;
}

// The TIFF writer's row function for a bilevel page: the whole padded row,
// inverted (a word at a time, as a writer would).
int WINAPI WriterRows(BYTE* row, DWORD r, LPVOID context) {
  const BYTE* src = static_cast<const BYTE*>(context) + kStride * r;
  static_assert(kStride % 8 == 0);
  for (std::size_t i = 0; i < kStride; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, src + i, 8);
    w = ~w;
    std::memcpy(row + i, &w, 8);
  }
  return 0;
}

// A TIFF in memory for libtiff.
struct Memory {
  std::vector<BYTE> bytes;
  toff_t at = 0;
  static tmsize_t Read(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<Memory*>(h);
    tmsize_t have = std::min<tmsize_t>(n, tmsize_t(m->bytes.size()) - tmsize_t(std::min<toff_t>(m->at, m->bytes.size())));
    if (have <= 0) return 0;
    std::memcpy(buf, m->bytes.data() + m->at, std::size_t(have));
    m->at += toff_t(have);
    return have;
  }
  static tmsize_t Write(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<Memory*>(h);
    if (m->at + toff_t(n) > m->bytes.size()) m->bytes.resize(m->at + toff_t(n));
    std::memcpy(m->bytes.data() + m->at, buf, std::size_t(n));
    m->at += toff_t(n);
    return n;
  }
  static toff_t Seek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<Memory*>(h);
    m->at = (whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->at : m->bytes.size()) + off;
    return m->at;
  }
  static int Close(thandle_t) { return 0; }
  static toff_t Size(thandle_t h) { return static_cast<Memory*>(h)->bytes.size(); }
  static int Map(thandle_t, void**, toff_t*) { return 0; }
  static void Unmap(thandle_t, void*, toff_t) {}
};

// The coded data of a TIFF in memory: its strips' bytes, as libtiff reads them.
double StripBytes(std::vector<BYTE> tiff) {
  Memory m{std::move(tiff), 0};
  TIFF* t = TIFFClientOpen("page", "r", &m, Memory::Read, Memory::Write, Memory::Seek, Memory::Close, Memory::Size,
                           Memory::Map, Memory::Unmap);
  if (!t) return 0;
  std::uint64_t* counts = nullptr;
  std::uint64_t total = 0;
  if (TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts))
    for (std::uint32_t s = 0; s < TIFFNumberOfStrips(t); ++s) total += counts[s];
  TIFFClose(t);
  return double(total);
}

struct TwTiff {
  TwTiff() : module(LoadLibraryW(u"TwTiff.dll")) {
    if (!module) return;
    open = reinterpret_cast<OpenTiffInMemory_PROC>(GetProcAddress(module, "OpenTiffInMemory"));
    define = reinterpret_cast<DefineTiffImage_PROC>(GetProcAddress(module, "DefineTiffImage"));
    info = reinterpret_cast<DefineTiffImageInfo_PROC>(GetProcAddress(module, "DefineTiffImageInfo"));
    encode = reinterpret_cast<EncodeTiffImage_PROC>(GetProcAddress(module, "EncodeTiffImage"));
    close = reinterpret_cast<CloseTiffFile_PROC>(GetProcAddress(module, "CloseTiffFile"));
  }
  HMODULE module;
  OpenTiffInMemory_PROC open = nullptr;
  DefineTiffImage_PROC define = nullptr;
  DefineTiffImageInfo_PROC info = nullptr;
  EncodeTiffImage_PROC encode = nullptr;
  CloseTiffFile_PROC close = nullptr;
};

// One page as the Group 4 writer sends it; the TIFF's size, 0 on failure.
SIZE_T TwTiffPage(const TwTiff& lib, HGLOBAL block) {
  HTWTIFF h = lib.open(block, 0, 3);
  if (!h) return 0;
  int image = lib.define(h);
  enum : WORD { kShort = 3, kLong = 4, kRational = 5 };
  bool ok = lib.info(h, image, 259, kShort, 4) && lib.info(h, image, 256, kLong, kWidth) &&
            lib.info(h, image, 257, kLong, kHeight) && lib.info(h, image, 258, kShort, 1) &&
            lib.info(h, image, 277, kShort, 1) && lib.info(h, image, 278, kShort, kHeight) &&
            lib.info(h, image, 266, kShort, 1) && lib.info(h, image, 282, kRational, 300) &&
            lib.info(h, image, 283, kRational, 300) && lib.info(h, image, 296, kShort, 2) &&
            lib.info(h, image, 262, kShort, 0) &&
            lib.encode(h, image, const_cast<BYTE*>(Page().data()), &WriterRows);
  ok = lib.close(h) && ok;
  return ok ? GlobalSize(block) : 0;
}

void BM_G4_TwTiff(benchmark::State& state) {
  TwTiff lib;
  if (!lib.encode || Page().empty()) {
    state.SkipWithError("TwTiff.dll or the page is missing");
    return;
  }
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 1);
  SIZE_T size = 0;
  for (auto _ : state) size = TwTiffPage(lib, block);
  if (size == 0) state.SkipWithError("EncodeTiffImage failed");
  state.counters["tiff_bytes"] = double(size);
  if (const auto* data = static_cast<const BYTE*>(GlobalLock(block))) {
    state.counters["coded_bytes"] = StripBytes(std::vector<BYTE>(data, data + size));
    GlobalUnlock(block);
  }
  GlobalFree(block);
  FreeLibrary(lib.module);
}

std::size_t LibtiffPage(Memory& m) {
  m.bytes.clear();
  m.at = 0;
  TIFF* t = TIFFClientOpen("page", "w", &m, Memory::Read, Memory::Write, Memory::Seek, Memory::Close, Memory::Size,
                           Memory::Map, Memory::Unmap);
  if (!t) return 0;
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, kHeight);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, kHeight);
  TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  TIFFSetField(t, TIFFTAG_XRESOLUTION, 300.0);
  TIFFSetField(t, TIFFTAG_YRESOLUTION, 300.0);
  TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  std::vector<BYTE> row(kStride + 4);
  bool ok = true;
  for (DWORD r = 0; ok && r < DWORD(kHeight); ++r) {
    WriterRows(row.data(), r, const_cast<BYTE*>(Page().data()));
    ok = TIFFWriteScanline(t, row.data(), r, 0) >= 0;
  }
  ok = TIFFWriteDirectory(t) && ok;
  TIFFClose(t);
  return ok ? m.bytes.size() : 0;
}

void BM_G4_libtiff(benchmark::State& state) {
  if (Page().empty()) {
    state.SkipWithError("the page is missing");
    return;
  }
  Memory m;
  std::size_t size = 0;
  for (auto _ : state) size = LibtiffPage(m);
  if (size == 0) state.SkipWithError("libtiff failed");
  state.counters["tiff_bytes"] = double(size);
  state.counters["coded_bytes"] = StripBytes(m.bytes);
}

// One page per repetition, 200 repetitions: the median is the figure.
BENCHMARK(BM_G4_TwTiff)->Iterations(1)->Repetitions(200)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_G4_libtiff)->Iterations(1)->Repetitions(200)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

}  // namespace
