// Page DIB operations on a Letter page at 300 DPI (2550 x 3300): the turns,
// grey conversion, Stucki dithering and resampling that run on every page,
// at the depths the page path gives them.
#include <benchmark/benchmark.h>
#include <windows.h>

#include <cstring>
#include <random>

#include "libs/twimaging/twimaging.h"
#include "output/imaging/dib_ops.h"
#include "tw/packed_dib.h"

namespace {

constexpr LONG kWidth = 2550, kHeight = 3300;

// A text-like page: white, with lines of dark "words" and a grey box, as a
// page DIB of 1, 8 (grey) or 24 bits.
class PageDib {
 public:
  explicit PageDib(WORD bits) {
    BITMAPINFOHEADER h{};
    h.biXPelsPerMeter = h.biYPelsPerMeter = 11811;
    const DWORD colors = bits == 1 ? 2 : bits == 8 ? 256 : 0;
    auto dib = tw::dib::AllocDib(h, kWidth, kHeight, bits, colors);
    layout_ = dib->layout;
    tw::dib::BlockLock lock(dib->block.get());
    auto* table = reinterpret_cast<RGBQUAD*>(lock.data() + layout_.tableOffset);
    for (DWORD i = 0; i < colors; ++i) {
      const BYTE v = static_cast<BYTE>(colors == 2 ? i * 255 : i);
      table[i] = {v, v, v, 0};
    }
    std::mt19937 rng(7);
    for (LONG y = 0; y < kHeight; ++y) {
      BYTE* row = lock.data() + layout_.RowFromTop(y);
      const bool textLine = y >= 150 && y < 3150 && (y % 50) < 30;
      for (LONG x = 0; x < kWidth; ++x) {
        bool ink = textLine && x >= 150 && x < 2400 && (x / 12 + y / 50) % 7 != 0 && (rng() & 3) == 0;
        BYTE v = ink ? 0 : (y > 2000 && y < 2600 && x > 300 && x < 1500) ? 200 : 255;
        if (bits == 1) {
          if (v > 128) row[x / 8] |= static_cast<BYTE>(0x80u >> (x % 8));
        } else if (bits == 8) {
          row[x] = v;
        } else {
          row[3 * x] = v;
          row[3 * x + 1] = static_cast<BYTE>(v == 200 ? 120 : v);
          row[3 * x + 2] = v;
        }
      }
    }
    block_ = dib->block.release();
  }
  ~PageDib() { GlobalFree(block_); }
  HGLOBAL get() const { return block_; }

 private:
  tw::dib::Layout layout_;
  HGLOBAL block_ = nullptr;
};

void Run(benchmark::State& state, HGLOBAL (*op)(HGLOBAL), WORD bits) {
  PageDib page(bits);
  for (auto _ : state) {
    HGLOBAL out = op(page.get());
    if (!out) state.SkipWithError("operation failed");
    GlobalFree(out);
  }
  state.counters["Mpx/s"] =
      benchmark::Counter(double(kWidth) * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_RotateRight(benchmark::State& state) {
  Run(state, tw::imaging::RotateDIB90Right, static_cast<WORD>(state.range(0)));
}
BENCHMARK(BM_RotateRight)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_RotateLeft(benchmark::State& state) {
  Run(state, tw::imaging::RotateDIB90Left, static_cast<WORD>(state.range(0)));
}
BENCHMARK(BM_RotateLeft)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_Rotate180(benchmark::State& state) {
  Run(state, tw::imaging::RotateDIB180, static_cast<WORD>(state.range(0)));
}
BENCHMARK(BM_Rotate180)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_Crop(benchmark::State& state) {
  // A crop whose left edge is not on a byte: every byte is shifted.
  PageDib page(static_cast<WORD>(state.range(0)));
  for (auto _ : state) GlobalFree(tw::imaging::CropDIB(page.get(), 150, 150, 2399, 3149));
}
BENCHMARK(BM_Crop)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_ConvertToGrey(benchmark::State& state) { Run(state, tw::imaging::ConvertToGrey, 24); }
BENCHMARK(BM_ConvertToGrey)->Unit(benchmark::kMillisecond);

void BM_Threshold(benchmark::State& state) {
  Run(state, [](HGLOBAL h) { return tw::imaging::DitherThreshold(h, 0); }, 24);
}
BENCHMARK(BM_Threshold)->Unit(benchmark::kMillisecond);

void BM_Stucki(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  Run(state, bits == 1 ? [](HGLOBAL h) { return tw::imaging::StuckiDither(h, 1); }
                       : [](HGLOBAL h) { return tw::imaging::StuckiDither(h, 8); },
      24);
}
BENCHMARK(BM_Stucki)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

void BM_ResizeHalf(benchmark::State& state) {
  // To 150 DPI (1275 x 1650), as a preview or a fax page shrinks.
  Run(state, [](HGLOBAL h) { return tw::imaging::ResizeDIB(h, kWidth / 2, kHeight / 2); },
      static_cast<WORD>(state.range(0)));
}
BENCHMARK(BM_ResizeHalf)->Arg(1)->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_ResizeFax(benchmark::State& state) {
  // To the 1728-pixel fax width at 204 x 196 DPI.
  Run(state, [](HGLOBAL h) { return tw::imaging::ResizeDIB(h, 1728, 2156); }, static_cast<WORD>(state.range(0)));
}
BENCHMARK(BM_ResizeFax)->Arg(1)->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond);

void BM_BinaryClosing(benchmark::State& state) { Run(state, tw::imaging::BinaryClosing, 1); }
BENCHMARK(BM_BinaryClosing)->Unit(benchmark::kMillisecond);

// The imaging library's entries on the 24-bit page, as the colour
// reduction calls them.
void BM_TwImaging(benchmark::State& state, tw::twimaging::Ordinal ordinal, int bits, int variant) {
  using namespace tw::twimaging;
  HMODULE module = LoadLibraryW(kTwImagingDll);
  if (!module) {
    state.SkipWithError("TwImaging.dll not found");
    return;
  }
  PageDib page(24);
  for (auto _ : state) {
    HGLOBAL out = nullptr;
    switch (ordinal) {
      case kOrdinalBrightnessContrast:
        out = Entry<PFN_TWADJUSTBRIGHTNESSCONTRAST>(module, ordinal)(page.get(), bits, variant, 0);
        break;
      case kOrdinalOrderedDither: case kOrdinalAtkinsonDither:
        out = Entry<PFN_TWREDUCEBITS>(module, ordinal)(page.get(), bits);
        break;
      default: out = Entry<PFN_TWREDUCEVARIANT>(module, ordinal)(page.get(), bits, variant); break;
    }
    if (!out) state.SkipWithError("entry failed");
    GlobalFree(out);
  }
  FreeLibrary(module);
}
BENCHMARK_CAPTURE(BM_TwImaging, brightness_50_contrast_100, tw::twimaging::kOrdinalBrightnessContrast, 50, 100)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TwImaging, ordered_1, tw::twimaging::kOrdinalOrderedDither, 1, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TwImaging, atkinson_1, tw::twimaging::kOrdinalAtkinsonDither, 1, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TwImaging, floyd_steinberg_1, tw::twimaging::kOrdinalDiffuseColors, 1, 0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TwImaging, clustered_1, tw::twimaging::kOrdinalQuantizeColors, 1, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TwImaging, palette_diffused_8, tw::twimaging::kOrdinalDiffuseColors, 8, 0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TwImaging, palette_nearest_8, tw::twimaging::kOrdinalQuantizeColors, 8, 0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TwImaging, cube_ordered_8, tw::twimaging::kOrdinalQuantizeColors, 8, 1)->Unit(benchmark::kMillisecond);

}  // namespace
