// TwImaging.dll loaded by name, each entry taken by its ordinal, and each
// method checked for the property its description promises.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "libs/twimaging/twimaging.h"
#include "tw_test.h"
#include "tw_test_dib.h"

using namespace tw::twimaging;
using twtest::DibBytes;
using twtest::DibView;
using twtest::InputBlock;

namespace {

std::uint32_t Bgr(unsigned b, unsigned g, unsigned r) { return b | g << 8 | r << 16; }

class TwImaging : public testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryW(kTwImagingDll);
    ASSERT_NE(module_, nullptr) << "TwImaging.dll beside the test";
    adjust_ = Entry<PFN_TWADJUSTBRIGHTNESSCONTRAST>(module_, kOrdinalBrightnessContrast);
    ordered_ = Entry<PFN_TWREDUCEBITS>(module_, kOrdinalOrderedDither);
    atkinson_ = Entry<PFN_TWREDUCEBITS>(module_, kOrdinalAtkinsonDither);
    bilevel_ = Entry<PFN_TWGREYTOBILEVEL>(module_, kOrdinalGreyToBilevel);
    diffuse_ = Entry<PFN_TWREDUCEVARIANT>(module_, kOrdinalDiffuseColors);
    quantize_ = Entry<PFN_TWREDUCEVARIANT>(module_, kOrdinalQuantizeColors);
    ASSERT_TRUE(adjust_ && ordered_ && atkinson_ && bilevel_ && diffuse_ && quantize_);
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  HMODULE module_ = nullptr;
  PFN_TWADJUSTBRIGHTNESSCONTRAST adjust_ = nullptr;
  PFN_TWREDUCEBITS ordered_ = nullptr, atkinson_ = nullptr;
  PFN_TWGREYTOBILEVEL bilevel_ = nullptr;
  PFN_TWREDUCEVARIANT diffuse_ = nullptr, quantize_ = nullptr;
};

DibBytes Flat(LONG w, LONG h, unsigned v) {
  DibBytes dib(w, h, 24);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) dib.Set(x, y, Bgr(v, v, v));
  return dib;
}

// A horizontal ramp from black to white.
DibBytes Ramp(LONG w, LONG h) {
  DibBytes dib(w, h, 24);
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x) {
      unsigned v = static_cast<unsigned>(x * 255 / (w - 1));
      dib.Set(x, y, Bgr(v, v, v));
    }
  return dib;
}

// Share of white pixels of a one-bit result in columns x0 .. x1 - 1.
double White(const DibView& v, LONG x0, LONG x1) {
  double n = 0;
  for (LONG y = 0; y < v.Height(); ++y)
    for (LONG x = x0; x < x1; ++x) n += v.Get(x, y);
  return n / (static_cast<double>(x1 - x0) * v.Height());
}
double White(const DibView& v) { return White(v, 0, v.Width()); }

// The mean grey the ramp's columns x0 .. x1 - 1 hold, 0 .. 1.
double RampMean(LONG w, LONG x0, LONG x1) {
  double s = 0;
  for (LONG x = x0; x < x1; ++x) s += static_cast<double>(x * 255 / (w - 1)) / 255;
  return s / (x1 - x0);
}

void ExpectOneBit(const DibView& v, LONG w, LONG h) {
  ASSERT_TRUE(v.ok());
  EXPECT_EQ(v.layout().bits, 1);
  EXPECT_EQ(v.Width(), w);
  EXPECT_EQ(v.Height(), h);
  EXPECT_EQ(v.Header().biClrUsed, 2u);
  EXPECT_EQ(v.Table()[0].rgbRed, 0);
  EXPECT_EQ(v.Table()[1].rgbRed, 255);
  EXPECT_EQ(v.Header().biXPelsPerMeter, 11811) << "the input's resolution";
  EXPECT_TRUE(v.PaddingClear());
}

TEST_F(TwImaging, EntriesByOrdinalOnly) {
  EXPECT_EQ(GetProcAddress(module_, OrdinalName(80)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(module_, "TwOrderedDither"), nullptr) << "no names";
}

TEST_F(TwImaging, BrightnessAndContrastFollowTheirFormula) {
  twtest::LeakGuard guard;
  DibBytes dib(5, 2, 24);
  const unsigned values[5] = {0, 64, 100, 128, 192};
  for (LONG x = 0; x < 5; ++x) dib.Set(x, 1, Bgr(values[x], values[x], 255 - values[x]));
  InputBlock in(dib);
  {
    DibView same(adjust_(in.get(), 0, 0, 0));
    ASSERT_TRUE(same.ok());
    EXPECT_EQ(same.Size(), dib.bytes.size());
    EXPECT_EQ(std::memcmp(same.Data(), dib.bytes.data(), dib.bytes.size()), 0) << "0, 0 changes nothing";
  }
  {
    DibView contrast(adjust_(in.get(), 0, 100, 0));
    ASSERT_TRUE(contrast.ok());
    const unsigned expected[5] = {0, 0, 72, 128, 255};  // distance from 128 doubled
    for (LONG x = 0; x < 5; ++x) EXPECT_EQ(contrast.Get(x, 1) & 0xFF, expected[x]) << values[x];
  }
  {
    DibView brighter(adjust_(in.get(), 50, 0, 0));
    ASSERT_TRUE(brighter.ok());
    EXPECT_EQ(brighter.Get(3, 1) & 0xFF, 192u) << "mid grey lifted by 64";
    EXPECT_EQ(brighter.Get(4, 1) & 0xFF, 255u);
    DibView darker(adjust_(in.get(), -100, 0, 0));
    EXPECT_EQ(darker.Get(3, 1) & 0xFF, 0u);
  }
  // Monotone for every setting the page path can ask for.
  DibBytes ramp = Ramp(256, 1);
  InputBlock r(ramp);
  for (int b : {-100, -37, 0, 20, 99})
    for (int c : {0, 40, 100}) {
      DibView v(adjust_(r.get(), b, c, 0));
      ASSERT_TRUE(v.ok());
      for (LONG x = 0; x + 1 < 256; ++x) ASSERT_LE(v.Get(x, 0) & 0xFF, v.Get(x + 1, 0) & 0xFF) << b << " " << c;
    }
  EXPECT_EQ(adjust_(in.get(), 101, 0, 0), nullptr);
  EXPECT_EQ(adjust_(in.get(), 0, -1, 0), nullptr);
  EXPECT_EQ(adjust_(in.get(), 0, 101, 0), nullptr);
  EXPECT_EQ(adjust_(in.get(), 0, 0, 1), nullptr);
}

TEST_F(TwImaging, BrightnessOfPaletteAndAlphaImages) {
  twtest::LeakGuard guard;
  DibBytes pal(4, 4, 8, {{128, 128, 128, 0}, {10, 20, 30, 0}});
  pal.Randomise(1);
  InputBlock p(pal);
  DibView v(adjust_(p.get(), 50, 0, 0));
  ASSERT_TRUE(v.ok());
  EXPECT_EQ(v.Table()[0].rgbGreen, 192);
  EXPECT_EQ(v.Table()[1].rgbRed, 94);
  for (LONG y = 0; y < 4; ++y)
    for (LONG x = 0; x < 4; ++x) EXPECT_EQ(v.Get(x, y), pal.Get(x, y)) << "pixels kept";
  DibBytes alpha(3, 1, 32);
  alpha.Set(0, 0, 0x7F808080);
  InputBlock a(alpha);
  DibView av(adjust_(a.get(), 50, 0, 0));
  ASSERT_TRUE(av.ok());
  EXPECT_EQ(av.Get(0, 0), 0x7FC0C0C0u) << "the fourth byte is not a colour";
}

TEST_F(TwImaging, OrderedDitherKeepsEachTilesTone) {
  twtest::LeakGuard guard;
  DibBytes flat = Flat(64, 16, 128);
  InputBlock in(flat);
  DibView v(ordered_(in.get(), 1));
  ExpectOneBit(v, 64, 16);
  for (LONG ty = 0; ty < 16; ty += 8)
    for (LONG tx = 0; tx < 64; tx += 8) {
      int white = 0;
      for (LONG y = ty; y < ty + 8; ++y)
        for (LONG x = tx; x < tx + 8; ++x) white += static_cast<int>(v.Get(x, y));
      EXPECT_EQ(white, 32) << "half of every 8 x 8 tile";
    }
  DibBytes ramp = Ramp(512, 32);
  InputBlock r(ramp);
  DibView rv(ordered_(r.get(), 1));
  ASSERT_TRUE(rv.ok());
  EXPECT_NEAR(White(rv), RampMean(512, 0, 512), 0.02) << "mean grey of the ramp";
  for (LONG part = 0; part < 8; ++part)
    EXPECT_NEAR(White(rv, part * 64, part * 64 + 64), RampMean(512, part * 64, part * 64 + 64), 0.02) << part;
  EXPECT_EQ(ordered_(in.get(), 8), nullptr) << "one bit only";
}

TEST_F(TwImaging, AtkinsonClipsLightAndDarkTints) {
  twtest::LeakGuard guard;
  for (auto [v, expected] : {std::pair{224u, 1.0}, {240u, 1.0}, {31u, 0.0}, {10u, 0.0}}) {
    DibBytes flat = Flat(200, 50, v);
    InputBlock in(flat);
    DibView out(atkinson_(in.get(), 1));
    ExpectOneBit(out, 200, 50);
    EXPECT_EQ(White(out), expected) << "flat " << v;
  }
  DibBytes mid = Flat(200, 50, 128);
  InputBlock m(mid);
  DibView mv(atkinson_(m.get(), 1));
  EXPECT_NEAR(White(mv), 128 / 255.0, 0.02);
  DibBytes ramp = Ramp(512, 32);
  InputBlock r(ramp);
  DibView rv(atkinson_(r.get(), 1));
  EXPECT_NEAR(White(rv), RampMean(512, 0, 512), 0.02) << "the ramp's mean, its ends clipped alike";
}

TEST_F(TwImaging, GreyToBilevelSplitsTwoTones) {
  twtest::LeakGuard guard;
  // Dark text (60) on a grey background (120): a threshold from the image
  // keeps them apart where a fixed middle (128) would blacken both.
  DibBytes grey(40, 10, 8, twtest::GreyTable(256));
  for (LONG y = 0; y < 10; ++y)
    for (LONG x = 0; x < 40; ++x) grey.Set(x, y, (x / 5) % 2 ? 120 : 60);
  InputBlock in(grey);
  DibView automatic(bilevel_(in.get(), 0));
  ExpectOneBit(automatic, 40, 10);
  for (LONG x = 0; x < 40; ++x) EXPECT_EQ(automatic.Get(x, 3), (x / 5) % 2 ? 1u : 0u) << x;
  DibView fixed(bilevel_(in.get(), 128));
  EXPECT_EQ(White(fixed), 0.0);
  DibView at120(bilevel_(in.get(), 120));
  EXPECT_EQ(at120.Get(5, 0), 1u) << "at or above the level is white";
  EXPECT_EQ(at120.Get(0, 0), 0u);
  DibBytes rgb = Flat(4, 4, 100);
  InputBlock c(rgb);
  EXPECT_EQ(bilevel_(c.get(), 0), nullptr) << "8-bit input only";
  EXPECT_EQ(bilevel_(in.get(), 256), nullptr);
  // One level only: split at the middle.
  DibBytes plain(8, 8, 8, twtest::GreyTable(256));
  InputBlock p(plain);
  DibView pv(bilevel_(p.get(), 0));
  EXPECT_EQ(White(pv), 0.0) << "all 0 is black";
}

TEST_F(TwImaging, FloydSteinbergKeepsTheRampsTone) {
  twtest::LeakGuard guard;
  DibBytes ramp = Ramp(512, 64);
  InputBlock in(ramp);
  DibView raster(diffuse_(in.get(), 1, 0));
  DibView serpentine(diffuse_(in.get(), 1, 1));
  ExpectOneBit(raster, 512, 64);
  ExpectOneBit(serpentine, 512, 64);
  for (const DibView* v : {&raster, &serpentine}) {
    EXPECT_NEAR(White(*v), RampMean(512, 0, 512), 0.02);
    for (LONG part = 0; part < 8; ++part)
      EXPECT_NEAR(White(*v, part * 64, part * 64 + 64), RampMean(512, part * 64, part * 64 + 64), 0.02) << part;
  }
  EXPECT_NE(std::memcmp(raster.Row(1), serpentine.Row(1), raster.layout().stride), 0)
      << "the serpentine order runs its second row backwards";
  EXPECT_EQ(diffuse_(in.get(), 4, 0), nullptr);
  EXPECT_EQ(diffuse_(in.get(), 1, 2), nullptr);
}

TEST_F(TwImaging, ClusteredScreenKeepsToneInFewerDots) {
  twtest::LeakGuard guard;
  for (unsigned v : {32u, 128u, 200u}) {
    DibBytes flat = Flat(64, 64, v);
    InputBlock in(flat);
    DibView out(quantize_(in.get(), 1, 0));
    ExpectOneBit(out, 64, 64);
    EXPECT_NEAR(White(out), v / 255.0, 0.02) << v;
  }
  // At mid grey the clustered screen changes colour along a row far less
  // often than the dispersed Bayer pattern.
  DibBytes flat = Flat(64, 64, 128);
  InputBlock in(flat);
  DibView clustered(quantize_(in.get(), 1, 0));
  DibView dispersed(ordered_(in.get(), 1));
  auto transitions = [](const DibView& v) {
    int n = 0;
    for (LONG y = 0; y < v.Height(); ++y)
      for (LONG x = 0; x + 1 < v.Width(); ++x) n += v.Get(x, y) != v.Get(x + 1, y);
    return n;
  };
  EXPECT_LT(transitions(clustered) * 3, transitions(dispersed));
}

TEST_F(TwImaging, HistogramThresholdOnColour) {
  twtest::LeakGuard guard;
  DibBytes dib(20, 4, 24);
  for (LONG y = 0; y < 4; ++y)
    for (LONG x = 0; x < 20; ++x) dib.Set(x, y, x < 10 ? Bgr(40, 40, 90) : Bgr(200, 200, 120));
  InputBlock in(dib);
  DibView out(quantize_(in.get(), 1, 1));
  ExpectOneBit(out, 20, 4);
  EXPECT_EQ(out.Get(0, 0), 0u);
  EXPECT_EQ(out.Get(19, 3), 1u);
}

// An image of `colors` distinct colours.
DibBytes FewColours(unsigned colors) {
  DibBytes dib(64, 40, 24);
  for (LONG y = 0; y < 40; ++y)
    for (LONG x = 0; x < 64; ++x) {
      unsigned i = static_cast<unsigned>(x * 40 + y) % colors;
      dib.Set(x, y, Bgr(i * 37 % 256, i * 91 % 256, i * 13 % 256));
    }
  return dib;
}

// A smooth colour field with thousands of colours.
DibBytes ColourField() {
  DibBytes dib(256, 128, 24);
  for (LONG y = 0; y < 128; ++y)
    for (LONG x = 0; x < 256; ++x) dib.Set(x, y, Bgr(static_cast<unsigned>(x), static_cast<unsigned>(y * 2), static_cast<unsigned>(255 - x)));
  return dib;
}

void ExpectMeanKept(const DibView& out, const DibBytes& in) {
  double sums[3] = {}, want[3] = {};
  for (LONG y = 0; y < out.Height(); ++y)
    for (LONG x = 0; x < out.Width(); ++x) {
      const RGBQUAD& c = out.Table()[out.Get(x, y)];
      sums[0] += c.rgbBlue;
      sums[1] += c.rgbGreen;
      sums[2] += c.rgbRed;
      std::uint32_t p = const_cast<DibBytes&>(in).Get(x, y);
      for (int k = 0; k < 3; ++k) want[k] += p >> (8 * k) & 0xFF;
    }
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(sums[k] / want[k], 1.0, 0.02) << "channel " << k;
}

TEST_F(TwImaging, PaletteFromTheImage) {
  twtest::LeakGuard guard;
  DibBytes few = FewColours(200);
  InputBlock in(few);
  for (auto [entry, variant] : {std::pair{diffuse_, 0}, {diffuse_, 1}, {quantize_, 0}}) {
    DibView out(entry(in.get(), 8, variant));
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(out.layout().bits, 8);
    EXPECT_EQ(out.Header().biClrUsed, 200u) << "the image's own colours";
    for (LONG y = 0; y < 40; ++y)
      for (LONG x = 0; x < 64; ++x) {
        const RGBQUAD& c = out.Table()[out.Get(x, y)];
        ASSERT_EQ(Bgr(c.rgbBlue, c.rgbGreen, c.rgbRed), few.Get(x, y)) << "reproduced exactly at " << x << "," << y;
      }
  }
  DibBytes field = ColourField();
  InputBlock f(field);
  DibView diffused(diffuse_(f.get(), 8, 0));
  ASSERT_TRUE(diffused.ok());
  EXPECT_EQ(diffused.Header().biClrUsed, 256u) << "a median cut of many colours";
  ExpectMeanKept(diffused, field);
  DibView nearest(quantize_(f.get(), 8, 0));
  ASSERT_TRUE(nearest.ok());
  // Each pixel takes the nearest of the chosen colours.
  for (LONG y = 0; y < 128; y += 9)
    for (LONG x = 0; x < 256; x += 7) {
      std::uint32_t p = field.Get(x, y);
      auto distance = [&](const RGBQUAD& c) {
        int db = c.rgbBlue - static_cast<int>(p & 0xFF), dg = c.rgbGreen - static_cast<int>(p >> 8 & 0xFF),
            dr = c.rgbRed - static_cast<int>(p >> 16);
        return db * db + dg * dg + dr * dr;
      };
      int best = 1 << 30;
      for (DWORD i = 0; i < nearest.Header().biClrUsed; ++i) best = std::min(best, distance(nearest.Table()[i]));
      ASSERT_EQ(distance(nearest.Table()[nearest.Get(x, y)]), best) << x << "," << y;
    }
}

TEST_F(TwImaging, ColourCubeWithOrderedDither) {
  twtest::LeakGuard guard;
  DibBytes field = ColourField();
  InputBlock in(field);
  DibView out(quantize_(in.get(), 8, 1));
  ASSERT_TRUE(out.ok());
  ASSERT_EQ(out.Header().biClrUsed, 216u);
  const RGBQUAD& e = out.Table()[101];  // 2 * 36 + 4 * 6 + 5
  EXPECT_EQ(e.rgbRed, 102);
  EXPECT_EQ(e.rgbGreen, 204);
  EXPECT_EQ(e.rgbBlue, 255);
  ExpectMeanKept(out, field);
}

TEST_F(TwImaging, InputsOfEveryAcceptedKind) {
  twtest::LeakGuard guard;
  // A one-bit image reduces to itself; 4-bit and 32-bit images are read
  // through their table and their first three bytes; rows keep their order.
  DibBytes one(21, 5, 1, twtest::BlackWhiteTable(), true);
  one.Randomise(4);
  InputBlock o(one);
  DibView same(diffuse_(o.get(), 1, 0));
  ASSERT_TRUE(same.ok());
  EXPECT_TRUE(same.layout().topDown);
  for (LONG y = 0; y < 5; ++y)
    for (LONG x = 0; x < 21; ++x) ASSERT_EQ(same.Get(x, y), one.Get(x, y));
  DibBytes four(9, 3, 4, {{0, 0, 0, 0}, {255, 255, 255, 0}});
  for (LONG x = 0; x < 9; ++x) four.Set(x, 1, x % 2);
  InputBlock f(four);
  DibView fv(ordered_(f.get(), 1));
  ASSERT_TRUE(fv.ok());
  EXPECT_EQ(fv.Get(1, 1), 1u);
  EXPECT_EQ(fv.Get(2, 1), 0u);
  DibBytes deep(9, 3, 32);
  for (LONG x = 0; x < 9; ++x) deep.Set(x, 0, x < 4 ? 0xFF000000u : 0x00FFFFFFu);
  InputBlock d(deep);
  DibView dv(quantize_(d.get(), 1, 0));
  ASSERT_TRUE(dv.ok());
  EXPECT_EQ(dv.Get(0, 0), 0u);
  EXPECT_EQ(dv.Get(8, 0), 1u);
  DibBytes sixteen(4, 4, 16);
  InputBlock s(sixteen);
  EXPECT_EQ(diffuse_(s.get(), 1, 0), nullptr);
}

TEST_F(TwImaging, LyingHeadersGiveNull) {
  twtest::LeakGuard guard;
  std::vector<std::function<void(DibBytes&)>> lies = {
      [](DibBytes& d) { d.bytes.resize(d.bytes.size() - 1); },
      [](DibBytes& d) { reinterpret_cast<BITMAPINFOHEADER*>(d.bytes.data())->biClrUsed = 0x40000000; },
      [](DibBytes& d) { reinterpret_cast<BITMAPINFOHEADER*>(d.bytes.data())->biWidth = 0x7FFFFFFF; },
      [](DibBytes& d) { reinterpret_cast<BITMAPINFOHEADER*>(d.bytes.data())->biCompression = BI_RLE8; },
      [](DibBytes& d) { d.bytes.resize(30); },
  };
  for (std::size_t i = 0; i < lies.size(); ++i) {
    DibBytes dib(10, 10, 8, twtest::GreyTable(256));
    lies[i](dib);
    InputBlock in(dib.bytes);
    EXPECT_EQ(adjust_(in.get(), 10, 10, 0), nullptr) << i;
    EXPECT_EQ(ordered_(in.get(), 1), nullptr) << i;
    EXPECT_EQ(atkinson_(in.get(), 1), nullptr) << i;
    EXPECT_EQ(bilevel_(in.get(), 0), nullptr) << i;
    for (int bits : {1, 8})
      for (int variant : {0, 1}) {
        EXPECT_EQ(diffuse_(in.get(), bits, variant), nullptr) << i;
        EXPECT_EQ(quantize_(in.get(), bits, variant), nullptr) << i;
      }
  }
  EXPECT_EQ(diffuse_(nullptr, 1, 0), nullptr);
}

}  // namespace
