// Fills and blits on a Letter page at 300 DPI (2550 x 3300), the page the
// renderer draws into, at 1 bit (monochrome bitmap) and 24 bits (DIB section).
#include <benchmark/benchmark.h>
#include <windows.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 2550, kHeight = 3300;

// A memory DC holding the page bitmap.
class Page {
 public:
  explicit Page(int bpp, int width = kWidth, int height = kHeight) {
    dc_ = CreateCompatibleDC(nullptr);
    if (bpp == 1) {
      bitmap_ = CreateBitmap(width, height, 1, 1, nullptr);
    } else {
      BITMAPINFO bmi{{sizeof(BITMAPINFOHEADER), width, height, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0, 0, 0},
                     {}};
      void* bits = nullptr;
      bitmap_ = CreateDIBSection(dc_, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    }
    old_ = SelectObject(dc_, bitmap_);
    PatBlt(dc_, 0, 0, width, height, WHITENESS);
  }
  ~Page() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bitmap_; }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};

void pixels(benchmark::State& state, double perIteration) {
  state.counters["Mpx/s"] = benchmark::Counter(perIteration / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PatBltPage(benchmark::State& state) {
  Page page(static_cast<int>(state.range(0)));
  SelectObject(page.dc(), GetStockObject(GRAY_BRUSH));
  for (auto _ : state) PatBlt(page.dc(), 0, 0, kWidth, kHeight, PATCOPY);
  pixels(state, double(kWidth) * kHeight);
}
BENCHMARK(BM_PatBltPage)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_Rectangles(benchmark::State& state) {
  // 2000 small filled boxes, as a table or a text-like page makes.
  Page page(static_cast<int>(state.range(0)));
  SelectObject(page.dc(), GetStockObject(BLACK_BRUSH));
  SelectObject(page.dc(), GetStockObject(NULL_PEN));
  for (auto _ : state)
    for (int i = 0; i < 2000; ++i) {
      int x = (i * 37) % (kWidth - 100), y = (i * 53) % (kHeight - 40);
      Rectangle(page.dc(), x, y, x + 90, y + 30);
    }
}
BENCHMARK(BM_Rectangles)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_Lines(benchmark::State& state) {
  // 2000 one-pixel lines across the page.
  Page page(static_cast<int>(state.range(0)));
  std::mt19937 random(7);
  std::vector<POINT> ends(4000);
  for (auto& p : ends) p = {static_cast<LONG>(random() % kWidth), static_cast<LONG>(random() % kHeight)};
  for (auto _ : state)
    for (std::size_t i = 0; i < ends.size(); i += 2) {
      MoveToEx(page.dc(), ends[i].x, ends[i].y, nullptr);
      LineTo(page.dc(), ends[i + 1].x, ends[i + 1].y);
    }
}
BENCHMARK(BM_Lines)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_WideLines(benchmark::State& state) {
  Page page(static_cast<int>(state.range(0)));
  HPEN pen = CreatePen(PS_SOLID, 8, RGB(0, 0, 0));
  SelectObject(page.dc(), pen);
  for (auto _ : state)
    for (int i = 0; i < 200; ++i) {
      MoveToEx(page.dc(), 10, 10 + i * 16, nullptr);
      LineTo(page.dc(), kWidth - 10, 20 + i * 16);
    }
  SelectObject(page.dc(), GetStockObject(BLACK_PEN));
  DeleteObject(pen);
}
BENCHMARK(BM_WideLines)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_PolygonFill(benchmark::State& state) {
  // A 64-point star over the whole page, winding fill.
  Page page(static_cast<int>(state.range(0)));
  std::vector<POINT> star;
  for (int i = 0; i < 64; ++i) {
    double a = i * 3.14159265358979 * 2 * 29 / 64;
    star.push_back({static_cast<LONG>(kWidth / 2 + kWidth / 2.1 * std::cos(a)),
                    static_cast<LONG>(kHeight / 2 + kHeight / 2.1 * std::sin(a))});
  }
  SelectObject(page.dc(), GetStockObject(BLACK_BRUSH));
  SetPolyFillMode(page.dc(), WINDING);
  for (auto _ : state) Polygon(page.dc(), star.data(), static_cast<int>(star.size()));
}
BENCHMARK(BM_PolygonFill)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

std::vector<BYTE> makeDib(int width, int height, int bpp, BITMAPINFO& bmi) {
  bmi = {{sizeof(BITMAPINFOHEADER), width, height, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0, 0, 0}, {}};
  std::size_t stride = ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4;
  std::vector<BYTE> bits(stride * height);
  std::mt19937 random(3);
  for (auto& b : bits) b = static_cast<BYTE>(random());
  return bits;
}

void BM_StretchDIBitsCopy(benchmark::State& state) {
  // A 24-bit page image drawn 1:1 (a watermark or a raw page band).
  Page page(static_cast<int>(state.range(0)));
  BITMAPINFO bmi;
  auto bits = makeDib(kWidth, kHeight, 24, bmi);
  for (auto _ : state)
    StretchDIBits(page.dc(), 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, bits.data(), &bmi, DIB_RGB_COLORS, SRCCOPY);
  pixels(state, double(kWidth) * kHeight);
}
BENCHMARK(BM_StretchDIBitsCopy)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_ShrinkBlackOnWhite(benchmark::State& state) {
  // The 600 -> 300 DPI path: a page twice the size shrunk with BLACKONWHITE.
  int bpp = static_cast<int>(state.range(0));
  Page big(bpp, kWidth * 2, kHeight * 2), page(bpp);
  SetStretchBltMode(page.dc(), BLACKONWHITE);
  for (auto _ : state) StretchBlt(page.dc(), 0, 0, kWidth, kHeight, big.dc(), 0, 0, kWidth * 2, kHeight * 2, SRCCOPY);
  pixels(state, double(kWidth) * kHeight * 4);
}
BENCHMARK(BM_ShrinkBlackOnWhite)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_HalftoneShrink(benchmark::State& state) {
  Page page(24);
  BITMAPINFO bmi;
  auto bits = makeDib(kWidth * 2, kHeight * 2, 24, bmi);
  SetStretchBltMode(page.dc(), HALFTONE);
  for (auto _ : state)
    StretchDIBits(page.dc(), 0, 0, kWidth, kHeight, 0, 0, kWidth * 2, kHeight * 2, bits.data(), &bmi, DIB_RGB_COLORS,
                  SRCCOPY);
  pixels(state, double(kWidth) * kHeight * 4);
}
BENCHMARK(BM_HalftoneShrink)->Unit(benchmark::kMillisecond);

void BM_AlphaBlendPage(benchmark::State& state) {
  // A 32-bit overlay blended over the whole 24-bit page.
  Page page(24), overlay(32);
  for (auto _ : state)
    AlphaBlend(page.dc(), 0, 0, kWidth, kHeight, overlay.dc(), 0, 0, kWidth, kHeight,
               BLENDFUNCTION{AC_SRC_OVER, 0, 153, AC_SRC_ALPHA});
  pixels(state, double(kWidth) * kHeight);
}
BENCHMARK(BM_AlphaBlendPage)->Unit(benchmark::kMillisecond);

void BM_GetDIBitsRowByRow(benchmark::State& state) {
  // Copying the rendered page into the page DIB one scan line per call.
  int bpp = static_cast<int>(state.range(0));
  Page page(bpp);
  std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD));
  auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
  bmi->bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, kHeight, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0,
                    bpp == 1 ? 2u : 0u, 0};
  std::vector<BYTE> row(((kWidth * bpp + 31) / 32) * 4);
  for (auto _ : state)
    for (UINT y = 0; y < static_cast<UINT>(kHeight); ++y)
      GetDIBits(page.dc(), page.bitmap(), y, 1, row.data(), bmi, DIB_RGB_COLORS);
  pixels(state, double(kWidth) * kHeight);
}
BENCHMARK(BM_GetDIBitsRowByRow)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

}  // namespace
