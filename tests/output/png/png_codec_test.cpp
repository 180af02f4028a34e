// SaveDIBInPNGFormat checked with pngcheck (chunks) and pngtopam (pixels);
// LoadPNGIntoDIB on files made by netpbm's own encoders and on what the
// writer wrote; failures, the per-thread error and the attach routine.
#include <gtest/gtest.h>

#include <thread>

#include "../encoder_test_support.h"
#include "output/png/png_codec.h"
#include "tw_test_dib.h"

namespace {

using codectest::Host;
using codectest::Image;
using codectest::Quote;
using codectest::RunTool;

class PngTest : public ::testing::Test {
 protected:
  PngTest() { codectest::MakeFolder(u"C:\\Out"); }
  ~PngTest() override { TwPNGMain(DLL_THREAD_DETACH); }

  bool Save(const std::u16string& name, const Image& img, LONG ppmX = 7874, LONG ppmY = 7874, bool topDown = false) {
    HGLOBAL dib = codectest::MakeDib(img, ppmX, ppmY, topDown);
    BOOL ok = SaveDIBInPNGFormat(name.c_str(), dib, 0);
    GlobalFree(dib);
    return ok;
  }
  static std::string LastErrorText() {
    char text[TW_PNG_ERROR_TEXT_SIZE];
    GetPNGLastError(text);
    return text;
  }
  // The file as pngtopam decodes it, against the image's colours.
  void ExpectPixels(const std::u16string& name, const Image& img) {
    enctest::Pnm p = enctest::DecodeWith("pngtopam " + Quote(Host(name)));
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.width, img.width);
    ASSERT_EQ(p.height, img.height);
    EXPECT_TRUE(enctest::PnmRgb(p) == codectest::ToRgb(img)) << "pngtopam's pixels differ";
  }
  // Reads a file with the library's reader; the DIB's contents.
  codectest::DibContents Load(const std::u16string& name, BOOL withAlpha, int expectedError = TW_PNG_ERROR_NONE) {
    int error = -1;
    HGLOBAL dib = LoadPNGIntoDIB(name.c_str(), &error, withAlpha);
    EXPECT_EQ(error, expectedError) << LastErrorText();
    EXPECT_EQ(GetPNGLastError(nullptr), expectedError);
    EXPECT_EQ(dib != nullptr, expectedError == TW_PNG_ERROR_NONE);
    codectest::DibContents out;
    if (dib) out = codectest::ReadDib(dib);
    GlobalFree(dib);
    return out;
  }

  twtest::TempRoot root_;
};

struct WriterCase {
  int bits;
  std::size_t colors;  // in the DIB's table; 0 = 2^bits
  const char* ihdr;    // as pngcheck describes it
  const char* plte;
};

class PngWriterTest : public PngTest, public ::testing::WithParamInterface<WriterCase> {};

TEST_P(PngWriterTest, ChunksAndPixelsAreThePage) {
  const WriterCase& c = GetParam();
  Image img = c.bits == 1 ? codectest::BilevelPage(203, 37, 2) : codectest::RandomImage(203, 37, c.bits, 4, c.colors);
  ASSERT_TRUE(Save(u"C:\\Out\\p.png", img)) << LastErrorText();
  EXPECT_EQ(GetPNGLastError(nullptr), TW_PNG_ERROR_NONE);
  EXPECT_EQ(LastErrorText(), "No error");

  auto check = RunTool("pngcheck -v " + Quote(Host(u"C:\\Out\\p.png")));
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_NE(check.output.find(std::string("203 x 37 image, ") + c.ihdr + ", non-interlaced"), std::string::npos)
      << check.output;
  if (c.plte) {
    EXPECT_NE(check.output.find(c.plte), std::string::npos) << check.output;
  } else {
    EXPECT_EQ(check.output.find("PLTE"), std::string::npos) << check.output;
  }
  EXPECT_NE(check.output.find("7874x7874 pixels/meter"), std::string::npos) << check.output;
  ExpectPixels(u"C:\\Out\\p.png", img);

  // The reader gives the page back: same depth, table and pixels.
  codectest::DibContents back = Load(u"C:\\Out\\p.png", TRUE);
  EXPECT_EQ(back.image.bits, img.bits);
  EXPECT_EQ(back.header.biXPelsPerMeter, 7874);
  EXPECT_TRUE(codectest::ToRgb(back.image) == codectest::ToRgb(img));
  if (img.bits <= 8) {
    ASSERT_EQ(back.image.colors.size(), std::size_t(1) << img.bits);
    for (std::size_t i = 0; i < img.colors.size(); ++i) EXPECT_EQ(back.image.colors[i].rgbGreen, img.colors[i].rgbGreen);
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, PngWriterTest,
                         ::testing::Values(WriterCase{1, 0, "1-bit palette", ": 2 palette entries"},
                                           WriterCase{4, 0, "4-bit palette", ": 16 palette entries"},
                                           WriterCase{8, 0, "8-bit palette", ": 256 palette entries"},
                                           WriterCase{8, 100, "8-bit palette", ": 100 palette entries"},
                                           WriterCase{24, 0, "24-bit RGB", nullptr}),
                         [](const auto& info) {
                           return "Bits" + std::to_string(info.param.bits) + "Colors" +
                                  std::to_string(info.param.colors);
                         });

TEST_F(PngTest, ResolutionAndRowOrder) {
  Image img = codectest::RandomImage(31, 17, 24, 6);
  // 204 x 98 dpi: two different values in pHYs.
  ASSERT_TRUE(Save(u"C:\\Out\\fax.png", img, 8031, 3858, true));
  auto check = RunTool("pngcheck -v " + Quote(Host(u"C:\\Out\\fax.png")));
  EXPECT_NE(check.output.find("8031x3858 pixels/meter"), std::string::npos) << check.output;
  ExpectPixels(u"C:\\Out\\fax.png", img);  // a top-down DIB comes out the same way up
  // Without a resolution there is no pHYs (rather than a zero or wrapped one).
  ASSERT_TRUE(Save(u"C:\\Out\\nores.png", img, 0, -5));
  check = RunTool("pngcheck -v " + Quote(Host(u"C:\\Out\\nores.png")));
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_EQ(check.output.find("pHYs"), std::string::npos) << check.output;
}

TEST_F(PngTest, FailuresLeaveTheirErrorAndNoFile) {
  GetPNGLastError(nullptr);
  twtest::LeakGuard guard;
  codectest::WriteBytes(Host(u"C:\\Out\\keep.png"), "old contents");
  // A bad DIB does not touch an existing file.
  std::vector<BYTE> bad = twtest::DibBytes(9, 9, 24).bytes;
  reinterpret_cast<BITMAPINFOHEADER*>(bad.data())->biHeight = 0;
  std::vector<BYTE> shortBlock = twtest::DibBytes(9, 9, 8).bytes;
  shortBlock.resize(shortBlock.size() - 3);
  for (auto& bytes : {bad, twtest::DibBytes(9, 9, 32).bytes, twtest::DibBytes(9, 9, 16).bytes, shortBlock}) {
    twtest::InputBlock in(bytes);
    EXPECT_FALSE(SaveDIBInPNGFormat(u"C:\\Out\\keep.png", in.get(), 0));
    EXPECT_EQ(GetPNGLastError(nullptr), TW_PNG_ERROR_DIB);
    EXPECT_EQ(LastErrorText(), "Invalid bitmap or DIB handle");
  }
  EXPECT_FALSE(SaveDIBInPNGFormat(u"C:\\Out\\keep.png", nullptr, 0));
  EXPECT_EQ(GetPNGLastError(nullptr), TW_PNG_ERROR_DIB);
  EXPECT_EQ(codectest::ReadBytes(Host(u"C:\\Out\\keep.png")), "old contents");

  Image img = codectest::RandomImage(64, 64, 24, 1);
  EXPECT_FALSE(Save(u"C:\\Missing\\a.png", img));
  EXPECT_EQ(GetPNGLastError(nullptr), TW_PNG_ERROR_CREATE);
  EXPECT_EQ(LastErrorText(), "Unable to create file");

  // A full disk: libpng's write fails and nothing stays behind.
  {
    enctest::FileSizeLimit limit(4096);
    EXPECT_FALSE(Save(u"C:\\Out\\full.png", codectest::RandomImage(300, 300, 24, 1)));
  }
  EXPECT_EQ(GetPNGLastError(nullptr), TW_PNG_ERROR_WRITE);
  EXPECT_FALSE(LastErrorText().empty());
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Out\\full.png")));
  // Pixels that index past the DIB's three colours: libpng refuses the palette index.
  Image shortTable = codectest::RandomImage(16, 4, 8, 1, 3);
  for (auto& row : shortTable.rows) row.assign(row.size(), 200);
  EXPECT_FALSE(Save(u"C:\\Out\\short.png", shortTable));
  EXPECT_EQ(GetPNGLastError(nullptr), TW_PNG_ERROR_WRITE);
  EXPECT_NE(LastErrorText().find("palette"), std::string::npos) << LastErrorText();
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Out\\short.png")));
  // An existing file is replaced by a good page.
  EXPECT_TRUE(Save(u"C:\\Out\\keep.png", img));
  ExpectPixels(u"C:\\Out\\keep.png", img);
}

// Files made by netpbm's encoders, from a PAM or PNM the test writes.
class PngReaderTest : public PngTest {
 protected:
  std::u16string Make(const std::string& name, const std::string& pnm, const std::string& tool) {
    auto src = Host(u"C:\\Out") / (name + ".src");
    codectest::WriteBytes(src, pnm);
    auto png = Host(u"C:\\Out") / (name + ".png");
    auto r = RunTool(tool + " " + Quote(src) + " > " + Quote(png));
    EXPECT_EQ(r.status, 0) << r.output;
    return u"C:\\Out\\" + std::u16string(name.begin(), name.end()) + u".png";
  }
  static std::string Pam(int w, int h, int depth, int maxval, const char* type, const std::vector<int>& samples) {
    std::string s = "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) + "\nDEPTH " +
                    std::to_string(depth) + "\nMAXVAL " + std::to_string(maxval) + "\nTUPLTYPE " + type + "\nENDHDR\n";
    for (int v : samples) {
      if (maxval > 255) s += static_cast<char>(v >> 8);
      s += static_cast<char>(v);
    }
    return s;
  }
  // The colour of pixel (x, y) of a DIB read back, as RGB.
  static std::array<int, 3> Rgb(const codectest::DibContents& d, std::uint32_t x, std::uint32_t y) {
    auto rgb = codectest::ToRgb(d.image);
    std::size_t i = 3 * (std::size_t(y) * d.image.width + x);
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
};

TEST_F(PngReaderTest, PaletteGreyAndRgbFilesBecomeDibsOfTheirDepth) {
  // 9 colours: a 4-bit palette.
  std::vector<int> px;
  for (int i = 0; i < 3 * 12; ++i) px.push_back((i / 3) % 9 * 25 + i % 3);
  auto pal = Load(Make("pal", Pam(4, 3, 3, 255, "RGB", px), "pnmtopng"), FALSE);
  EXPECT_EQ(pal.image.bits, 4);
  EXPECT_EQ(pal.image.colors.size(), 16u);
  EXPECT_EQ(pal.header.biHeight, 3);  // bottom-up
  EXPECT_EQ((Rgb(pal, 3, 2)), (std::array<int, 3>{(11 % 9) * 25, (11 % 9) * 25 + 1, (11 % 9) * 25 + 2}));

  // Grey: 8-bit with a ramp, and 1-bit (entry 1 = 255 / 1 x 1).
  auto grey = Load(Make("grey", Pam(3, 2, 1, 255, "GRAYSCALE", {0, 17, 34, 200, 201, 255}), "pamtopng"), FALSE);
  EXPECT_EQ(grey.image.bits, 8);
  EXPECT_EQ(grey.image.colors[128].rgbRed, 128);
  EXPECT_EQ(grey.image.rows[1][1], 201);
  auto bw = Load(Make("bw", Pam(9, 1, 1, 1, "BLACKANDWHITE", {0, 1, 1, 0, 0, 0, 0, 0, 1}), "pamtopng"), FALSE);
  EXPECT_EQ(bw.image.bits, 1);
  EXPECT_EQ(bw.image.colors[1].rgbBlue, 255);
  EXPECT_EQ(bw.image.rows[0][0], 0x60);
  EXPECT_EQ(bw.image.rows[0][1] & 0x80, 0x80);

  // RGB, interlaced or not, with a resolution in metres.
  std::vector<int> rgb;
  for (int i = 0; i < 3 * 7 * 5; ++i) rgb.push_back(i * 7 % 256);
  auto plain = Load(Make("rgb", Pam(7, 5, 3, 255, "RGB", rgb), "pamtopng"), FALSE);
  auto inter = Load(Make("rgbi", Pam(7, 5, 3, 255, "RGB", rgb), "pamtopng -interlace"), FALSE);
  EXPECT_EQ(plain.image.bits, 24);
  EXPECT_EQ((Rgb(plain, 6, 4)), (std::array<int, 3>{rgb[102], rgb[103], rgb[104]}));
  EXPECT_TRUE(plain.image.rows == inter.image.rows);

  ASSERT_TRUE(Save(u"C:\\Out\\res.png", codectest::RandomImage(5, 5, 24, 1), 8031, 3858));
  auto res = Load(u"C:\\Out\\res.png", FALSE);
  EXPECT_EQ(res.header.biXPelsPerMeter, 8031);
  EXPECT_EQ(res.header.biYPelsPerMeter, 3858);
  // A pHYs without a unit is an aspect ratio, not a resolution.
  auto ratio = Load(Make("ratio", Pam(2, 1, 3, 255, "RGB", {1, 2, 3, 4, 5, 6}), "pnmtopng -size '3 1 0'"), FALSE);
  EXPECT_EQ(ratio.header.biXPelsPerMeter, 0);
}

TEST_F(PngReaderTest, AlphaIsKeptOnlyWhenAskedForAndMultipliedIn) {
  auto rgba = Make("rgba", Pam(2, 1, 4, 255, "RGB_ALPHA", {10, 20, 30, 0, 200, 100, 50, 128}), "pamtopng");
  auto withAlpha = Load(rgba, TRUE);
  ASSERT_EQ(withAlpha.image.bits, 32);
  // Blue, green, red, alpha; each colour x alpha / 255, rounded.
  const auto& row = withAlpha.image.rows[0];
  EXPECT_EQ((std::vector<int>(row.begin(), row.end())),
            (std::vector<int>{0, 0, 0, 0, (50 * 128 + 127) / 255, (100 * 128 + 127) / 255, (200 * 128 + 127) / 255, 128}));
  Load(rgba, FALSE, TW_PNG_ERROR_DEPTH);
  EXPECT_EQ(LastErrorText(), "Unsupported bit depth or alpha channel exist");

  auto ga = Make("ga", Pam(2, 1, 2, 255, "GRAYSCALE_ALPHA", {7, 255, 200, 128}), "pamtopng");
  auto grey = Load(ga, TRUE);
  ASSERT_EQ(grey.image.bits, 32);
  int g = (200 * 128 + 127) / 255;
  EXPECT_EQ((std::vector<int>(grey.image.rows[0].begin(), grey.image.rows[0].end())),
            (std::vector<int>{7, 7, 7, 255, g, g, g, 128}));
  Load(ga, FALSE, TW_PNG_ERROR_DEPTH);
}

TEST_F(PngReaderTest, UnreadableFilesGiveTheirIndexAndNoDib) {
  GetPNGLastError(nullptr);
  twtest::LeakGuard guard;
  Load(Make("deep", Pam(2, 1, 3, 65535, "RGB", {1, 2, 3, 60000, 2, 1}), "pamtopng"), TRUE, TW_PNG_ERROR_DEPTH);
  Load(Make("two", Pam(2, 2, 1, 3, "GRAYSCALE", {0, 1, 2, 3}), "pamtopng"), TRUE, TW_PNG_ERROR_DEPTH);
  Load(u"C:\\Out\\none.png", TRUE, TW_PNG_ERROR_NOT_FOUND);
  EXPECT_EQ(LastErrorText(), "File not found");

  ASSERT_TRUE(Save(u"C:\\Out\\whole.png", codectest::RandomImage(300, 200, 24, 8)));
  std::string whole = codectest::ReadBytes(Host(u"C:\\Out\\whole.png"));
  codectest::WriteBytes(Host(u"C:\\Out\\cut.png"), whole.substr(0, whole.size() / 2));
  Load(u"C:\\Out\\cut.png", TRUE, TW_PNG_ERROR_READ);
  EXPECT_FALSE(LastErrorText().empty());  // libpng's own message
  codectest::WriteBytes(Host(u"C:\\Out\\junk.png"), "this is not a PNG file at all");
  Load(u"C:\\Out\\junk.png", TRUE, TW_PNG_ERROR_READ);
  std::string corrupt = whole;
  corrupt[100] ^= 0x55;  // inside the image data: its CRC no longer matches
  codectest::WriteBytes(Host(u"C:\\Out\\crc.png"), corrupt);
  Load(u"C:\\Out\\crc.png", TRUE, TW_PNG_ERROR_READ);
  // A header that claims a huge image is refused before any pixel memory is taken.
  std::string huge = whole;
  const BYTE big[] = {0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00};  // 65536 x 65536
  std::memcpy(huge.data() + 16, big, sizeof big);
  codectest::WriteBytes(Host(u"C:\\Out\\huge.png"), huge);
  int error = -1;
  EXPECT_EQ(LoadPNGIntoDIB(u"C:\\Out\\huge.png", &error, TRUE), nullptr);
  EXPECT_NE(error, TW_PNG_ERROR_NONE);
}

TEST_F(PngTest, ErrorsArePerThreadAndBlocksAreFreedAtDetach) {
  GetPNGLastError(nullptr);
  twtest::LeakGuard guard;
  EXPECT_FALSE(SaveDIBInPNGFormat(u"C:\\Out\\x.png", nullptr, 0));
  int other = -1;
  std::thread t([&] {
    EXPECT_TRUE(TwPNGMain(DLL_THREAD_ATTACH));
    other = GetPNGLastError(nullptr);
    EXPECT_TRUE(TwPNGMain(DLL_THREAD_DETACH));
  });
  t.join();
  EXPECT_EQ(other, TW_PNG_ERROR_NONE);
  EXPECT_EQ(GetPNGLastError(nullptr), TW_PNG_ERROR_DIB);
  EXPECT_TRUE(TwPNGMain(DLL_PROCESS_DETACH));
  EXPECT_TRUE(TwPNGMain(DLL_PROCESS_ATTACH));
  EXPECT_EQ(GetPNGLastError(nullptr), TW_PNG_ERROR_NONE);  // a fresh block
}

}  // namespace
