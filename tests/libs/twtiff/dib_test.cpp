// SaveDIBInTiffFileW and LoadTiffIntoDIBW: page DIBs of every depth under
// every scheme, checked with libtiff and read back; bad DIB headers; damaged
// files; the CISCO profile.
#include "tiff_test_support.h"

namespace {

using codectest::Host;
using codectest::Image;
using codectest::Quote;
using codectest::RunTool;
using namespace tifftest;

class DibTest : public ::testing::Test {
 protected:
  DibTest() { codectest::MakeFolder(u"C:\\Out"); }

  bool Save(const std::u16string& name, const Image& img, int scheme, bool topDown = false) {
    HGLOBAL dib = codectest::MakeDib(img, 7874, 3937, topDown);
    BOOL ok = api_.SaveDIBInTiffFileW(name.c_str(), dib, scheme, 0);
    GlobalFree(dib);
    return ok;
  }
  codectest::DibContents Load(const std::u16string& name, int image = 0) {
    HGLOBAL dib = api_.LoadTiffIntoDIBW(name.c_str(), image, 0);
    EXPECT_NE(dib, nullptr) << api_.ErrorText();
    codectest::DibContents out;
    if (dib) out = codectest::ReadDib(dib);
    GlobalFree(dib);
    return out;
  }

  twtest::TempRoot root_;
  codectest::Module module_{u"TwTiff.dll"};
  TiffApi api_{module_};
};

struct Kind {
  int bits;
  bool greyRamp;
  std::size_t colors;
};

class DibRoundTripTest : public DibTest, public ::testing::WithParamInterface<std::tuple<Kind, int>> {};

TEST_P(DibRoundTripTest, EveryPixelComesBack) {
  auto [kind, scheme] = GetParam();
  Image img = codectest::RandomImage(211, 67, kind.bits, 3, kind.colors);
  if (kind.greyRamp)
    for (int i = 0; i < 256; ++i) img.colors[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
  if (kind.bits == 1) img = codectest::BilevelPage(211, 67, 3);
  ASSERT_TRUE(Save(u"C:\\Out\\dib.tif", img, scheme)) << api_.ErrorText();
  ASSERT_TRUE(Save(u"C:\\Out\\dib.tif", img, scheme, true)) << api_.ErrorText();  // top-down DIB, second page

  auto path = Host(u"C:\\Out\\dib.tif");
  auto info = RunTool("tiffinfo -D " + Quote(path));
  EXPECT_EQ(info.status, 0) << info.output;
  auto read = ReadTiff(path);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].photometric, kind.bits == 24   ? PHOTOMETRIC_RGB
                                 : kind.greyRamp   ? PHOTOMETRIC_MINISBLACK
                                 : kind.bits == 1  ? PHOTOMETRIC_MINISBLACK
                                                   : PHOTOMETRIC_PALETTE);
  EXPECT_NEAR(read[0].xres, 200.0, 0.01);
  EXPECT_NEAR(read[0].yres, 100.0, 0.01);
  for (int page = 0; page < 2; ++page) {
    auto back = Load(u"C:\\Out\\dib.tif", page);
    EXPECT_EQ(codectest::ToRgb(back.image), codectest::ToRgb(img)) << "page " << page;
    EXPECT_NEAR(back.header.biXPelsPerMeter, 7874, 1);
    EXPECT_NEAR(back.header.biYPelsPerMeter, 3937, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    DepthsAndSchemes, DibRoundTripTest,
    ::testing::Combine(::testing::Values(Kind{1, false, 2}, Kind{4, false, 16}, Kind{8, false, 100},
                                         Kind{8, true, 256}, Kind{24, false, 0}),
                       ::testing::Values(TW_TIFF_SCHEME_NONE, TW_TIFF_SCHEME_PACKBITS, TW_TIFF_SCHEME_LZW,
                                         TW_TIFF_SCHEME_DEFLATE)));

TEST_F(DibTest, CcittSchemesTakeBilevelPagesWhicheverColourComesFirst) {
  Image page = codectest::BilevelPage(1728, 160, 5);
  Image whiteFirst = page;  // the same picture with the table the other way round
  whiteFirst.colors = {{255, 255, 255, 0}, {0, 0, 0, 0}};
  for (auto& row : whiteFirst.rows)
    for (auto& b : row) b = static_cast<BYTE>(~b);
  for (int scheme : {TW_TIFF_SCHEME_G3_1D, TW_TIFF_SCHEME_G3_2D, TW_TIFF_SCHEME_G4}) {
    ASSERT_TRUE(Save(u"C:\\Out\\fax.tif", page, scheme)) << api_.ErrorText();
    ASSERT_TRUE(Save(u"C:\\Out\\fax.tif", whiteFirst, scheme));
  }
  auto read = ReadTiff(Host(u"C:\\Out\\fax.tif"));
  ASSERT_EQ(read.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(read[i].photometric, PHOTOMETRIC_MINISWHITE);
    EXPECT_EQ(read[i].compression, i < 4 ? COMPRESSION_CCITTFAX3 : COMPRESSION_CCITTFAX4);
    EXPECT_TRUE(SameRows(read[i].pixels, Inverted(page))) << i;
    EXPECT_EQ(codectest::ToRgb(Load(u"C:\\Out\\fax.tif", static_cast<int>(i)).image), codectest::ToRgb(page));
  }
  EXPECT_EQ(read[2].group3, 1u);  // 2-D
  Image grey = codectest::RandomImage(50, 20, 8, 1);
  EXPECT_FALSE(Save(u"C:\\Out\\fax.tif", grey, TW_TIFF_SCHEME_G4));
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_UNSUPPORTED);
}

TEST_F(DibTest, JpegSchemeAndTheAnsiName) {
  Image rgb = codectest::RandomImage(300, 200, 24, 11);
  HGLOBAL dib = codectest::MakeDib(rgb);
  ASSERT_TRUE(api_.SaveDIBInTiffFile("C:\\Out\\photo.tif", dib, TW_TIFF_SCHEME_JPEG, 0)) << api_.ErrorText();
  GlobalFree(dib);
  auto info = RunTool("tiffinfo -D " + Quote(Host(u"C:\\Out\\photo.tif")));
  EXPECT_NE(info.output.find("Compression Scheme: JPEG"), std::string::npos) << info.output;
  auto back = Load(u"C:\\Out\\photo.tif");
  EXPECT_EQ(back.image.bits, 24);
  EXPECT_GE(codectest::Psnr(codectest::ToRgb(back.image), codectest::ToRgb(rgb)), 30.0);
}

TEST_F(DibTest, BadHeadersAreRefusedBeforeAnythingIsWritten) {
  Image img = codectest::RandomImage(40, 10, 8, 2);
  auto patch = [&](auto change) {
    HGLOBAL dib = codectest::MakeDib(img);
    auto* h = static_cast<BITMAPINFOHEADER*>(GlobalLock(dib));
    change(*h);
    GlobalUnlock(dib);
    BOOL ok = api_.SaveDIBInTiffFileW(u"C:\\Out\\bad.tif", dib, TW_TIFF_SCHEME_LZW, 0);
    GlobalFree(dib);
    return ok;
  };
  EXPECT_FALSE(patch([](BITMAPINFOHEADER& h) { h.biSize = 5000; }));
  EXPECT_FALSE(patch([](BITMAPINFOHEADER& h) { h.biSize = 12; }));
  EXPECT_FALSE(patch([](BITMAPINFOHEADER& h) { h.biClrUsed = 100000; }));
  EXPECT_FALSE(patch([](BITMAPINFOHEADER& h) { h.biHeight = 11; }));  // one row more than the block holds
  EXPECT_FALSE(patch([](BITMAPINFOHEADER& h) { h.biWidth = 0x7FFFFFFF; }));
  EXPECT_FALSE(patch([](BITMAPINFOHEADER& h) { h.biHeight = 0; }));
  EXPECT_FALSE(patch([](BITMAPINFOHEADER& h) { h.biHeight = INT32_MIN; }));
  EXPECT_FALSE(patch([](BITMAPINFOHEADER& h) { h.biBitCount = 16; }));
  EXPECT_FALSE(patch([](BITMAPINFOHEADER& h) { h.biCompression = 1; }));  // RLE8
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_DIB);
  EXPECT_NE(api_.ErrorText().find("Invalid page bitmap"), std::string::npos);
  HGLOBAL tiny = GlobalAlloc(GHND, 20);
  EXPECT_FALSE(api_.SaveDIBInTiffFileW(u"C:\\Out\\bad.tif", tiny, TW_TIFF_SCHEME_NONE, 0));
  GlobalFree(tiny);
  EXPECT_FALSE(api_.SaveDIBInTiffFileW(u"C:\\Out\\bad.tif", nullptr, TW_TIFF_SCHEME_NONE, 0));
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Out\\bad.tif")));
  HGLOBAL dib = codectest::MakeDib(img);
  EXPECT_FALSE(api_.SaveDIBInTiffFileW(u"C:\\Out\\bad.tif", dib, 208, 0));
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_ARGUMENT);
  GlobalFree(dib);
}

// A small TIFF written by libtiff directly, with a layout our writer never makes.
void WriteForeign(const std::filesystem::path& path, int kind) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  const std::uint32_t w = 32, h = 16;
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
  if (kind == 0) {  // tiled RGB
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
    TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
    std::vector<BYTE> tile(16 * 16 * 3);
    for (std::uint32_t tx = 0; tx < 2; ++tx) {
      for (std::size_t i = 0; i < tile.size(); ++i) tile[i] = static_cast<BYTE>(tx * 100 + i % 3 * 20);
      TIFFWriteTile(t, tile.data(), tx * 16, 0, 0, 0);
    }
  } else if (kind == 1) {  // 16-bit grey
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    std::vector<std::uint16_t> row(w);
    for (std::uint32_t y = 0; y < h; ++y) {
      for (std::uint32_t x = 0; x < w; ++x) row[x] = static_cast<std::uint16_t>(x * 2048);
      TIFFWriteScanline(t, row.data(), y, 0);
    }
  } else {  // 2-bit grey
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 2);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    std::vector<BYTE> row(w / 4, 0x1B);  // 0, 1, 2, 3
    for (std::uint32_t y = 0; y < h; ++y) TIFFWriteScanline(t, row.data(), y, 0);
  }
  TIFFClose(t);
}

TEST_F(DibTest, ForeignLayoutsLoad) {
  auto folder = Host(u"C:\\Out");
  for (int kind = 0; kind < 3; ++kind) WriteForeign(folder / ("f" + std::to_string(kind) + ".tif"), kind);
  auto tiled = Load(u"C:\\Out\\f0.tif");
  EXPECT_EQ(tiled.image.bits, 24);
  EXPECT_EQ(tiled.image.rows[3][3 * 20], 100);  // red of the second tile
  EXPECT_EQ(tiled.image.rows[3][3 * 20 + 1], 120);
  auto deep = Load(u"C:\\Out\\f1.tif");
  EXPECT_EQ(deep.image.bits, 24);
  EXPECT_EQ(deep.image.rows[0][3 * 3], 24);  // 3 x 2048 / 257
  auto twoBit = Load(u"C:\\Out\\f2.tif");
  EXPECT_EQ(twoBit.image.bits, 8);
  EXPECT_EQ(std::vector<BYTE>(twoBit.image.rows[5].begin(), twoBit.image.rows[5].begin() + 4),
            (std::vector<BYTE>{0, 85, 170, 255}));
}

TEST_F(DibTest, DamagedFilesFailCleanly) {
  // Two real files, cut short and with bytes changed: the loader returns a
  // DIB or null, never reads outside its data (the sanitizers watch).
  Image rgb = codectest::RandomImage(64, 48, 24, 4);
  Image page = codectest::BilevelPage(256, 96, 4);
  ASSERT_TRUE(Save(u"C:\\Out\\good_rgb.tif", rgb, TW_TIFF_SCHEME_LZW));
  ASSERT_TRUE(Save(u"C:\\Out\\good_fax.tif", page, TW_TIFF_SCHEME_G4));
  ASSERT_TRUE(Save(u"C:\\Out\\good_fax.tif", page, TW_TIFF_SCHEME_G3_2D));
  bool sawLibtiffText = false;
  for (const char* name : {"good_rgb.tif", "good_fax.tif"}) {
    std::string bytes = codectest::ReadBytes(Host(u"C:\\Out") / name);
    std::mt19937 rng(17);
    for (int trial = 0; trial < 160; ++trial) {
      std::string damaged = bytes;
      if (trial < 80) {
        damaged.resize(bytes.size() * trial / 80);
      } else {
        for (int k = 0; k < 1 + trial % 4; ++k) damaged[rng() % damaged.size()] = static_cast<char>(rng());
      }
      codectest::WriteBytes(Host(u"C:\\Out\\damaged.tif"), damaged);
      HGLOBAL dib = api_.LoadTiffIntoDIBW(u"C:\\Out\\damaged.tif", 0, 0);
      if (dib) {
        EXPECT_GE(codectest::ReadDib(dib).image.rows.size(), 1u);
        GlobalFree(dib);
      } else {
        EXPECT_NE(api_.TiffError(), 0);
        sawLibtiffText = sawLibtiffText || api_.ErrorText().find("(libtiff: ") != std::string::npos;
      }
    }
  }
  EXPECT_TRUE(sawLibtiffText);

  EXPECT_EQ(api_.LoadTiffIntoDIBW(u"C:\\Out\\none.tif", 0, 0), nullptr);
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_OPEN);
  codectest::WriteBytes(Host(u"C:\\Out\\text.tif"), "hello");
  EXPECT_EQ(api_.LoadTiffIntoDIBW(u"C:\\Out\\text.tif", 0, 0), nullptr);
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_NOT_TIFF);
  EXPECT_EQ(api_.LoadTiffIntoDIBW(u"C:\\Out\\good_rgb.tif", 1, 0), nullptr);
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_IMAGE);
  EXPECT_EQ(api_.LoadTiffIntoDIBW(u"C:\\Out\\good_rgb.tif", 0, 1), nullptr);
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_ARGUMENT);
}

TEST_F(DibTest, CiscoFilesAreTiffFModifiedHuffman) {
  Image page = codectest::BilevelPage(1728, 200, 8);
  for (int i = 0; i < 2; ++i) {
    HGLOBAL dib = codectest::MakeDib(page, 0, 0);  // no resolution: fax resolution
    ASSERT_TRUE(api_.SaveTiffForCiscoFormatW(u"C:\\Out\\cisco.tif", dib)) << api_.ErrorText();
    GlobalFree(dib);
  }
  // A Group 4 file of another program, min-is-black, 300 dpi, converted.
  auto g4 = Host(u"C:\\Out\\g4.tif");
  {
    TIFF* t = TIFFOpen(g4.c_str(), "w");
    for (int p = 0; p < 2; ++p) {
      TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.width);
      TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.height);
      TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
      TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
      TIFFSetField(t, TIFFTAG_XRESOLUTION, 300.0);
      TIFFSetField(t, TIFFTAG_YRESOLUTION, 300.0);
      TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
      for (std::uint32_t y = 0; y < page.height; ++y) TIFFWriteScanline(t, page.rows[y].data(), y, 0);
      TIFFWriteDirectory(t);
    }
    TIFFClose(t);
  }
  ASSERT_TRUE(api_.ConvertTiffToCiscoFormatW(u"C:\\Out\\g4.tif")) << api_.ErrorText();

  for (const char16_t* name : {u"C:\\Out\\cisco.tif", u"C:\\Out\\g4.tif"}) {
    auto path = Host(name);
    auto info = RunTool("tiffinfo -D " + Quote(path));
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_NE(info.output.find("FillOrder: lsb-to-msb"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Subfile Type: multi-page document"), std::string::npos) << info.output;
    auto read = ReadTiff(path);
    ASSERT_EQ(read.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(read[i].compression, COMPRESSION_CCITTFAX3);
      EXPECT_EQ(read[i].group3, 4u);  // EOLs byte-aligned
      EXPECT_EQ(read[i].photometric, PHOTOMETRIC_MINISWHITE);
      EXPECT_EQ(read[i].strips, 1u);
      EXPECT_EQ(read[i].page[0], i);
      EXPECT_EQ(read[i].page[1], 2);
      EXPECT_TRUE(SameRows(read[i].pixels, Inverted(page)));
    }
  }
  auto fax = ReadTiff(Host(u"C:\\Out\\cisco.tif"));
  EXPECT_FLOAT_EQ(fax[0].xres, 204.0f);
  EXPECT_FLOAT_EQ(ReadTiff(g4)[0].xres, 300.0f);

  // Colour cannot be faxed: the file stays as it was and no temporary file is left.
  Image rgb = codectest::RandomImage(20, 10, 24, 1);
  ASSERT_TRUE(Save(u"C:\\Out\\colour.tif", rgb, TW_TIFF_SCHEME_NONE));
  std::string before = codectest::ReadBytes(Host(u"C:\\Out\\colour.tif"));
  auto files = [&] { return std::distance(std::filesystem::directory_iterator(Host(u"C:\\Out")), {}); };
  auto count = files();
  EXPECT_FALSE(api_.ConvertTiffToCiscoFormatW(u"C:\\Out\\colour.tif"));
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_UNSUPPORTED);
  EXPECT_EQ(codectest::ReadBytes(Host(u"C:\\Out\\colour.tif")), before);
  EXPECT_EQ(files(), count);
  EXPECT_FALSE(api_.ConvertTiffToCiscoFormatW(u"C:\\Out\\missing.tif"));
}

}  // namespace
