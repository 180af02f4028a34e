// Text on a Letter page at 300 DPI (2550 x 3300): a full page of 10-point
// Courier New (66 lines of 80 columns) into a 1-bit and a 24-bit page, and a
// page of proportional text, with warm glyph caches (the state a renderer is
// in from its second page on).
#include <benchmark/benchmark.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr int kWidth = 2550, kHeight = 3300;

class Page {
 public:
  explicit Page(int bpp) {
    dc_ = CreateCompatibleDC(nullptr);
    if (bpp == 1) {
      bitmap_ = CreateBitmap(kWidth, kHeight, 1, 1, nullptr);
    } else {
      BITMAPINFO bmi{{sizeof(BITMAPINFOHEADER), kWidth, kHeight, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0, 0, 0},
                     {}};
      void* bits = nullptr;
      bitmap_ = CreateDIBSection(dc_, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    }
    old_ = SelectObject(dc_, bitmap_);
    PatBlt(dc_, 0, 0, kWidth, kHeight, WHITENESS);
  }
  ~Page() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};

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

void renderPage(benchmark::State& state, const char16_t* face) {
  Page page(static_cast<int>(state.range(0)));
  LOGFONTW lf{};
  lf.lfHeight = -42;  // 10 points at 300 DPI
  lf.lfWeight = FW_NORMAL;
  for (int i = 0; face[i]; ++i) lf.lfFaceName[i] = face[i];
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(page.dc(), font);
  SetBkMode(page.dc(), TRANSPARENT);
  auto lines = pageLines();
  for (auto _ : state) {
    for (int i = 0; i < 66; ++i)
      TextOutW(page.dc(), 150, 150 + i * 46, reinterpret_cast<LPCWSTR>(lines[i].data()), int(lines[i].size()));
  }
  state.counters["chars/s"] = benchmark::Counter(66.0 * 80, benchmark::Counter::kIsIterationInvariantRate);
  SelectObject(page.dc(), old);
  DeleteObject(font);
}

void BM_TextPageCourier(benchmark::State& state) { renderPage(state, u"Courier New"); }
BENCHMARK(BM_TextPageCourier)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_TextPageArial(benchmark::State& state) { renderPage(state, u"Arial"); }
BENCHMARK(BM_TextPageArial)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_MeasureLine(benchmark::State& state) {
  Page page(24);
  LOGFONTW lf{};
  lf.lfHeight = -42;
  const char16_t face[] = u"Times New Roman";
  for (int i = 0; face[i]; ++i) lf.lfFaceName[i] = face[i];
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(page.dc(), font);
  auto lines = pageLines();
  SIZE size{};
  for (auto _ : state)
    benchmark::DoNotOptimize(
        GetTextExtentPoint32W(page.dc(), reinterpret_cast<LPCWSTR>(lines[0].data()), int(lines[0].size()), &size));
  SelectObject(page.dc(), old);
  DeleteObject(font);
}
BENCHMARK(BM_MeasureLine)->Unit(benchmark::kMicrosecond);

}  // namespace
