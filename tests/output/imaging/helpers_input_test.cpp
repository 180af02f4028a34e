// Colour counts, copies, the 32-to-24-bit conversion, palettes, and headers
// from outside that lie about their sizes.
#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "output/imaging/dib_ops.h"
#include "tw_test_dib.h"
#include "tw_test.h"

using namespace tw::imaging;
using twtest::DibBytes;
using twtest::DibView;
using twtest::InputBlock;

namespace {

BITMAPINFOHEADER& HeaderIn(DibBytes& dib) { return *reinterpret_cast<BITMAPINFOHEADER*>(dib.bytes.data()); }

TEST(ImagingHelpers, ColorCountAndTableSize) {
  BITMAPINFOHEADER h{};
  h.biSize = 40;
  for (auto [bits, count] : {std::pair{1, 2u}, {4, 16u}, {8, 256u}, {16, 0u}, {24, 0u}, {32, 0u}}) {
    h.biBitCount = static_cast<WORD>(bits);
    EXPECT_EQ(GetDIBColorCount(&h), count) << bits;
    EXPECT_EQ(GetDIBColorTableSize(&h), count * 4);
  }
  h.biClrUsed = 7;
  EXPECT_EQ(GetDIBColorCount(&h), 7u) << "biClrUsed when not 0, whatever the depth";
  BITMAPCOREHEADER core{12, 4, 4, 1, 8};
  EXPECT_EQ(GetDIBColorCount(&core), 256u);
  EXPECT_EQ(GetDIBColorTableSize(&core), 768u) << "three bytes an entry";
  EXPECT_EQ(GetDIBColorCount(nullptr), 0u);
  EXPECT_EQ(GetDIBRowBytes(2550, 1), 320u);
  EXPECT_EQ(GetDIBRowBytes(2550, 24), 7652u);
  EXPECT_EQ(GetDIBRowBytes(0x7FFFFFFF, 32), 0u) << "too large a row";
}

TEST(ImagingHelpers, CopyIsTheSameBytesInANewBlock) {
  twtest::LeakGuard guard;
  DibBytes dib(13, 7, 4, twtest::GreyTable(16));
  dib.Randomise(3);
  InputBlock in(dib);
  HGLOBAL copy = CopyDIB(in.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, in.get());
  EXPECT_EQ(GlobalFlags(copy) & GMEM_DISCARDABLE, 0u);
  DibView v(copy);
  ASSERT_EQ(v.Size(), dib.bytes.size());
  EXPECT_EQ(std::memcmp(v.Data(), dib.bytes.data(), v.Size()), 0);
  EXPECT_EQ(CopyDIB(nullptr), nullptr);
}

TEST(ImagingHelpers, ThirtyTwoToTwentyFourBits) {
  twtest::LeakGuard guard;
  DibBytes dib(5, 3, 32, {}, true);
  dib.Randomise(9);
  InputBlock in(dib);
  DibView out(Convert32To24(in.get()));
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(out.layout().bits, 24);
  EXPECT_EQ(out.Header().biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(out.Header().biSizeImage, 3u * ((3 * 5 + 3) / 4 * 4));
  EXPECT_EQ(out.Header().biHeight, -3) << "row order kept";
  for (LONG y = 0; y < 3; ++y)
    for (LONG x = 0; x < 5; ++x) ASSERT_EQ(out.Get(x, y), dib.Get(x, y) & 0xFFFFFF);
  DibBytes rgb(4, 4, 24);
  InputBlock r(rgb);
  EXPECT_EQ(Convert32To24(r.get()), nullptr) << "32-bit input only";
}

TEST(ImagingHelpers, ThirtyTwoBitFieldsWithPlainMasks) {
  twtest::LeakGuard guard;
  for (bool plain : {true, false}) {
    // A 40-byte header, BI_BITFIELDS and its three masks before the rows.
    std::vector<BYTE> bytes(40 + 12 + 2 * 4);
    BITMAPINFOHEADER h{40, 2, 1, 1, 32, BI_BITFIELDS, 8, 0, 0, 0, 0};
    std::memcpy(bytes.data(), &h, 40);
    const DWORD masks[3] = {plain ? 0xFF0000u : 0xFFu, 0xFF00u, plain ? 0xFFu : 0xFF0000u};
    std::memcpy(bytes.data() + 40, masks, 12);
    const BYTE pixels[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::memcpy(bytes.data() + 52, pixels, 8);
    InputBlock in(bytes);
    DibView out(Convert32To24(in.get()));
    ASSERT_EQ(out.ok(), plain) << "only masks in the plain byte order are dropped to 24 bits";
    if (plain) {
      EXPECT_EQ(out.Get(0, 0), 0x030201u);
      EXPECT_EQ(out.Get(1, 0), 0x070605u);
    }
  }
}

TEST(ImagingHelpers, PaletteFromTheTableOrACube) {
  twtest::LeakGuard guard;
  DibBytes dib(2, 2, 8, {{10, 20, 30, 0}, {1, 2, 3, 0}});
  InputBlock in(dib);
  HPALETTE p = CreateDIBPalette(in.get());
  ASSERT_NE(p, nullptr);
  PALETTEENTRY e[3] = {};
  EXPECT_EQ(GetPaletteEntries(p, 0, 3, e), 2u);
  EXPECT_EQ(e[0].peRed, 30);
  EXPECT_EQ(e[0].peGreen, 20);
  EXPECT_EQ(e[0].peBlue, 10);
  EXPECT_EQ(e[0].peFlags, 0);
  EXPECT_EQ(e[1].peRed, 3);
  DeleteObject(p);
  DibBytes rgb(2, 2, 24);
  InputBlock r(rgb);
  p = CreateDIBPalette(r.get());
  ASSERT_NE(p, nullptr);
  PALETTEENTRY all[256];
  ASSERT_EQ(GetPaletteEntries(p, 0, 256, all), 256u);
  EXPECT_EQ(all[0x53].peRed, 3 * 32);   // i mod 8
  EXPECT_EQ(all[0x53].peGreen, 2 * 32); // (i / 8) mod 8
  EXPECT_EQ(all[0x53].peBlue, 64);      // i / 64
  EXPECT_EQ(all[255].peRed, 255);
  EXPECT_EQ(all[255].peBlue, 255);
  DeleteObject(p);
  // A core header's table has three-byte entries.
  std::vector<BYTE> core(12 + 2 * 3 + 4);
  BITMAPCOREHEADER ch{12, 1, 1, 1, 1};
  std::memcpy(core.data(), &ch, 12);
  core[12] = 7; core[13] = 8; core[14] = 9; core[15] = 4; core[16] = 5; core[17] = 6;
  InputBlock c(core);
  p = CreateDIBPalette(c.get());
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(GetPaletteEntries(p, 0, 2, e), 2u);
  EXPECT_EQ(e[1].peRed, 6);
  EXPECT_EQ(e[1].peBlue, 4);
  DeleteObject(p);
}

// Every operation that reads the image, each giving null (or no palette).
std::vector<std::pair<const char*, std::function<bool(HGLOBAL)>>> Readers() {
  auto freed = [](HGLOBAL h) {
    if (h) GlobalFree(h);
    return h != nullptr;
  };
  return {
      {"RotateDIB90Left", [=](HGLOBAL h) { return freed(RotateDIB90Left(h)); }},
      {"RotateDIB90Right", [=](HGLOBAL h) { return freed(RotateDIB90Right(h)); }},
      {"RotateDIB180", [=](HGLOBAL h) { return freed(RotateDIB180(h)); }},
      {"CropDIB", [=](HGLOBAL h) { return freed(CropDIB(h, 0, 0, 0, 0)); }},
      {"ConvertToGrey", [=](HGLOBAL h) { return freed(ConvertToGrey(h)); }},
      {"DitherThreshold", [=](HGLOBAL h) { return freed(DitherThreshold(h, 0)); }},
      {"StuckiDither 1", [=](HGLOBAL h) { return freed(StuckiDither(h, 1)); }},
      {"StuckiDither 8", [=](HGLOBAL h) { return freed(StuckiDither(h, 8)); }},
      {"BinaryClosing", [=](HGLOBAL h) { return freed(BinaryClosing(h)); }},
      {"ResizeDIB", [=](HGLOBAL h) { return freed(ResizeDIB(h, 10, 10)); }},
      {"Convert32To24", [=](HGLOBAL h) { return freed(Convert32To24(h)); }},
      {"CreateDIBPalette", [](HGLOBAL h) {
         HPALETTE p = CreateDIBPalette(h);
         if (p) DeleteObject(p);
         return p != nullptr;
       }},
  };
}

TEST(ImagingUntrustedHeaders, LyingHeadersGiveNull) {
  twtest::LeakGuard guard;
  std::vector<std::pair<const char*, std::function<void(DibBytes&)>>> lies = {
      {"rows cut short", [](DibBytes& d) { d.bytes.resize(d.bytes.size() - 1); }},
      {"huge colour count", [](DibBytes& d) { HeaderIn(d).biClrUsed = 0xFFFFFFFF; }},
      {"colour table past the depth", [](DibBytes& d) { HeaderIn(d).biClrUsed = 257; }},
      {"huge width and height", [](DibBytes& d) { HeaderIn(d).biWidth = HeaderIn(d).biHeight = 0x7FFFFFFF; }},
      {"width times bits wraps", [](DibBytes& d) { HeaderIn(d).biWidth = 0x40000000; }},
      {"negative width", [](DibBytes& d) { HeaderIn(d).biWidth = -4; }},
      {"smallest height", [](DibBytes& d) { HeaderIn(d).biHeight = INT_MIN; }},
      {"zero height", [](DibBytes& d) { HeaderIn(d).biHeight = 0; }},
      {"no planes", [](DibBytes& d) { HeaderIn(d).biPlanes = 0; }},
      {"header size 0", [](DibBytes& d) { HeaderIn(d).biSize = 0; }},
      {"header size 39", [](DibBytes& d) { HeaderIn(d).biSize = 39; }},
      {"header larger than the block", [](DibBytes& d) { HeaderIn(d).biSize = 124; d.bytes.resize(100); }},
      {"run-length compression", [](DibBytes& d) { HeaderIn(d).biCompression = BI_RLE8; }},
      {"bit fields on 8 bits", [](DibBytes& d) { HeaderIn(d).biCompression = BI_BITFIELDS; }},
      {"seven bits", [](DibBytes& d) { HeaderIn(d).biBitCount = 7; }},
      {"block shorter than a header", [](DibBytes& d) { d.bytes.resize(20); }},
  };
  for (auto& [what, lie] : lies) {
    for (WORD bits : {1, 8, 24, 32}) {
      DibBytes dib(9, 6, bits, twtest::TableFor(bits));
      dib.Randomise(bits);
      // The bit-field lie is about 8 bits; the others apply to every depth.
      if (std::string(what) == "bit fields on 8 bits" && bits != 8) continue;
      lie(dib);
      InputBlock in(dib.bytes);
      for (auto& [name, op] : Readers())
        EXPECT_FALSE(op(in.get())) << name << " accepted " << what << " at " << bits << " bits";
    }
  }
  for (auto& [name, op] : Readers()) EXPECT_FALSE(op(nullptr)) << name;
}

TEST(ImagingUntrustedHeaders, ShortTablesReadAsBlack) {
  // One-entry tables are legal; pixels indexing beyond them read black
  // rather than the bytes after the table.
  twtest::LeakGuard guard;
  DibBytes one(20, 4, 1, {{255, 255, 255, 0}});
  one.Randomise(1);
  InputBlock in(one);
  for (auto& [name, op] : Readers()) op(in.get());  // no over-read under the sanitizers
  DibBytes eight(20, 4, 8, {{255, 255, 255, 0}, {0, 0, 0, 0}});
  eight.Randomise(2);
  InputBlock e(eight);
  DibView grey(StuckiDither(e.get(), 1));
  ASSERT_TRUE(grey.ok());
  for (LONG y = 0; y < 4; ++y)
    for (LONG x = 0; x < 20; ++x)
      if (eight.Get(x, y) > 1) {
        EXPECT_EQ(grey.Get(x, y), 0u) << "index " << eight.Get(x, y) << " is black";
      }
}

}  // namespace
