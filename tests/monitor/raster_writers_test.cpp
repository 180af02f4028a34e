// The JPEG, PNG, GIF and HTML writers end to end: text pages written by
// `twdriver`, printed by `twspool print` through TarnwickMon.dll, checked
// with independent tools and compared with the BMP of the same page.
#include <fstream>

#include "../output/encoder_test_support.h"
#include "shell_run.h"
#include "tw_test.h"

namespace {

using codectest::Quote;
using codectest::ReadBytes;
using codectest::RunTool;

class RasterWritersEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    output_ = root_.Dir() / "drive_c" / "Users" / "Public" / "Documents" / "Tarnwick";
    ASSERT_EQ(Run(Tool("twspool") + " init").status, 0);
    text_ = root_.Dir() / "doc.txt";
    std::ofstream out(text_, std::ios::binary);
    for (int line = 0; line < 20; ++line) out << "Line " << line << " of a page printed as an image\n";
  }
  static twtest::ShellRun Run(const std::string& command) { return twtest::Shell(command + " 2>&1"); }
  std::string Bin(const std::string& name) { return "'" + (twtest::BinDir() / name).string() + "'"; }
  std::string Tool(const std::string& name) { return Bin(name) + " --root '" + root_.Dir().string() + "'"; }

  // Prints the text page in `format` and colour mode `color` (150 dpi), from an empty output folder.
  void Print(int format, const std::string& color, const std::string& more = "") {
    for (const auto& e : std::filesystem::directory_iterator(output_)) std::filesystem::remove(e.path());
    auto job = root_.Dir() / "job.twj";
    auto written = Run(Bin("twdriver") + " -o " + Quote(job) + " --dpi 150 --color " + color +
                       " --set FileFormat=" + std::to_string(format) + " " + more + " " + Quote(text_));
    ASSERT_EQ(written.status, 0) << written.out;
    auto run = Run(Tool("twspool") + " print --document doc.txt " + Quote(job));
    ASSERT_EQ(run.status, 0) << run.out;
    ASSERT_NE(run.out.find(": printed"), std::string::npos) << format << ": " << run.out;
  }
  std::filesystem::path Out(const std::string& name) const { return output_ / name; }
  // The page as the BMP writer stores it: its bytes and its pixels.
  struct Reference {
    std::string bmp;
    std::vector<BYTE> rgb;
    LONG ppm = 0;
  };
  Reference BmpOf(const std::string& color) {
    Print(0, color);
    Reference r;
    r.bmp = ReadBytes(Out("doc.bmp"));
    r.rgb = enctest::PnmRgb(enctest::DecodeWith("bmptopnm " + Quote(Out("doc.bmp"))));
    if (r.bmp.size() > 42) std::memcpy(&r.ppm, r.bmp.data() + 38, sizeof r.ppm);
    return r;
  }

  twtest::TempRoot root_;
  std::filesystem::path output_, text_;
};

TEST_F(RasterWritersEndToEnd, JpegFilesAreCloseToThePageAndCarryItsDensity) {
  Reference page = BmpOf("true");
  ASSERT_FALSE(page.rgb.empty());
  const int dpi = static_cast<int>(std::lround(page.ppm * 0.0254));
  for (int format : {16, 33}) {
    Print(format, "true");
    auto check = RunTool("jpeginfo -c " + Quote(Out("doc.jpg")));
    EXPECT_EQ(check.status, 0) << check.output;
    auto decoded = enctest::PnmRgb(enctest::DecodeWith("djpeg -pnm " + Quote(Out("doc.jpg"))));
    EXPECT_GE(codectest::Psnr(decoded, page.rgb), 30.0) << format;
    // JFIF: density unit 1 (dots per inch) and the densities, big-endian.
    std::string bytes = ReadBytes(Out("doc.jpg"));
    ASSERT_GT(bytes.size(), 18u);
    EXPECT_EQ(bytes.substr(6, 5), std::string("JFIF\0", 5));
    EXPECT_EQ(bytes[13], 1);
    EXPECT_EQ(static_cast<BYTE>(bytes[14]) << 8 | static_cast<BYTE>(bytes[15]), dpi);
  }
  EXPECT_TRUE(std::filesystem::exists(Out("doc.XML")));  // code 33's summary

  std::map<int, std::uintmax_t> sizes;
  for (int ratio : {10, 90}) {
    Print(16, "true", "--set LossRatio=" + std::to_string(ratio));
    sizes[ratio] = std::filesystem::file_size(Out("doc.jpg"));
  }
  EXPECT_LT(sizes[10], sizes[90]);

  Print(17, "true");
  auto check = RunTool("jpeginfo -c " + Quote(Out("doc.jpg")));
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_NE(ReadBytes(Out("doc.jpg")).find(std::string("G3FAX\0", 6)), std::string::npos);
}

TEST_F(RasterWritersEndToEnd, PngAndGifFilesHoldThePagesPixels) {
  struct Case {
    const char* color;
    int png, gif;
    const char* ihdr;
    const char* plte;
    BYTE packed;
  } cases[] = {{"bw", 24, 25, "1-bit palette", "2 palette entries", 0x80},
               {"grey", 32, 31, "8-bit palette", "256 palette entries", 0xF7}};
  for (const auto& c : cases) {
    Reference page = BmpOf(c.color);
    ASSERT_FALSE(page.rgb.empty());
    Print(c.png, c.color);
    std::string chunks = RunTool("pngcheck -v " + Quote(Out("doc.png"))).output;
    EXPECT_NE(chunks.find(c.ihdr), std::string::npos) << chunks;
    EXPECT_NE(chunks.find(c.plte), std::string::npos) << chunks;
    EXPECT_NE(chunks.find(std::to_string(page.ppm) + "x" + std::to_string(page.ppm) + " pixels/meter"),
              std::string::npos)
        << chunks;
    EXPECT_TRUE(enctest::PnmRgb(enctest::DecodeWith("pngtopam " + Quote(Out("doc.png")))) == page.rgb) << c.color;

    Print(c.gif, c.color);
    std::string gif = ReadBytes(Out("doc.gif"));
    ASSERT_GT(gif.size(), 13u);
    EXPECT_EQ(gif.substr(0, 6), "GIF87a");
    EXPECT_EQ(gif.substr(6, 4), page.bmp.substr(18, 2) + page.bmp.substr(22, 2));  // width, height
    EXPECT_EQ(static_cast<BYTE>(gif[10]), c.packed);
    EXPECT_TRUE(enctest::PnmRgb(enctest::DecodeWith("giftopnm " + Quote(Out("doc.gif")))) == page.rgb) << c.color;
  }
}

TEST_F(RasterWritersEndToEnd, HtmlPagesShowTheirImage) {
  Reference page = BmpOf("grey");
  Print(29, "grey");
  EXPECT_TRUE(ReadBytes(Out("doc.BMP")) == page.bmp);
  auto html = [](const std::string& image) {
    return "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\r\n    <html>\r\n    <head>\r\n"
           "    <title>doc.txt</title>\r\n    </head>\r\n    <body bgcolor=\"#FFFFFF\">\r\n"
           "    <img src=\"file:///C|/Users/Public/Documents/Tarnwick/" + image + "\">\r\n"
           "    </body>\r\n    </html>\r\n";
  };
  EXPECT_EQ(ReadBytes(Out("doc.htm")), html("doc.BMP"));
  Print(26, "grey");
  EXPECT_EQ(ReadBytes(Out("doc.htm")), html("doc.gif"));
  EXPECT_TRUE(enctest::PnmRgb(enctest::DecodeWith("giftopnm " + Quote(Out("doc.gif")))) == page.rgb);
}

}  // namespace
