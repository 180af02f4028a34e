// TIFF output end to end: text documents written by `twdriver` and printed
// by `twspool print` through TarnwickMon.dll as Group 4 TIFF, checked with
// libtiff's tools and decoded by netpbm's, pixel for pixel against what
// `emfrender` draws of the same pages in one bit.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "shell_run.h"
#include "tw_test.h"

namespace {

std::vector<BYTE> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Dark pixels of an image, row by row from the top.
struct InkMap {
  long width = 0, height = 0;
  std::vector<bool> ink;
  bool operator==(const InkMap&) const = default;
};

template <typename T>
T At(const std::vector<BYTE>& bytes, size_t offset) {
  T v{};
  if (offset + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + offset, sizeof v);
  return v;
}

// A 1- or 24-bit BMP as emfrender writes it (dark: the colour's sum below 384).
InkMap BmpInk(const std::vector<BYTE>& bmp) {
  InkMap map;
  if (bmp.size() < 54 || At<uint16_t>(bmp, 0) != 0x4D42) return map;
  const int32_t w = At<int32_t>(bmp, 18), h = At<int32_t>(bmp, 22);
  const uint16_t bits = At<uint16_t>(bmp, 28);
  const uint32_t offset = At<uint32_t>(bmp, 10);
  const size_t stride = (static_cast<size_t>(w) * bits + 31) / 32 * 4;
  if ((bits != 1 && bits != 24) || w <= 0 || h <= 0 || offset + stride * h > bmp.size()) return map;
  auto dark = [](const BYTE* c) { return c[0] + c[1] + c[2] < 384; };
  map.width = w;
  map.height = h;
  for (int32_t y = 0; y < h; ++y) {
    const BYTE* row = bmp.data() + offset + stride * (h - 1 - y);
    for (int32_t x = 0; x < w; ++x)
      map.ink.push_back(bits == 24 ? dark(row + 3 * x) : dark(bmp.data() + 54 + 4 * ((row[x / 8] >> (7 - x % 8)) & 1)));
  }
  return map;
}

// A raw PBM (P4, a set bit black) as tifftopnm writes it.
InkMap PbmInk(const std::vector<BYTE>& pbm) {
  InkMap map;
  std::string head(pbm.begin(), pbm.begin() + std::min<size_t>(pbm.size(), 64));
  long w = 0, h = 0;
  int used = 0;
  if (std::sscanf(head.c_str(), "P4 %ld %ld%n", &w, &h, &used) != 2 || w <= 0 || h <= 0) return map;
  const size_t offset = static_cast<size_t>(used) + 1, stride = (static_cast<size_t>(w) + 7) / 8;
  if (offset + stride * h > pbm.size()) return map;
  map.width = w;
  map.height = h;
  for (long y = 0; y < h; ++y)
    for (long x = 0; x < w; ++x) map.ink.push_back((pbm[offset + stride * y + x / 8] >> (7 - x % 8)) & 1);
  return map;
}

size_t InkCount(const InkMap& m) { return static_cast<size_t>(std::count(m.ink.begin(), m.ink.end(), true)); }

class TiffOutputEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    output_ = root_.Dir() / "drive_c" / "Users" / "Public" / "Documents" / "Tarnwick";
    std::filesystem::remove_all(output_);
    ASSERT_EQ(Run(Tool("twspool") + " init").status, 0);
  }
  static twtest::ShellRun Run(const std::string& command) { return twtest::Shell(command + " 2>&1"); }
  std::string Bin(const std::string& name) { return "'" + (twtest::BinDir() / name).string() + "'"; }
  std::string Tool(const std::string& name) { return Bin(name) + " --root '" + root_.Dir().string() + "'"; }
  std::filesystem::path TextFile(const std::vector<std::string>& pages) {
    std::string text;
    for (size_t i = 0; i < pages.size(); ++i) {
      if (i) text += "\f";
      for (int line = 0; line < 12; ++line) text += pages[i] + " line " + std::to_string(line) + "\n";
    }
    auto path = root_.Dir() / "doc.txt";
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  twtest::ShellRun Print(const std::filesystem::path& text, const std::string& options) {
    auto job = root_.Dir() / "job.twj";
    auto written = Run(Bin("twdriver") + " -o '" + job.string() + "' --dpi 300 " + options + " '" + text.string() + "'");
    EXPECT_EQ(written.status, 0) << written.out;
    return Run(Tool("twspool") + " print --document doc.txt '" + job.string() + "'");
  }
  std::vector<std::string> Outputs(const std::string& extension = ".tif") {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(output_))
      if (e.path().extension() == extension) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  InkMap Reference(const std::filesystem::path& text, int page) {
    auto dir = root_.Dir() / "pages";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    auto split = Run(Bin("twdriver") + " --dpi 300 --pages-to '" + dir.string() + "' '" + text.string() + "'");
    EXPECT_EQ(split.status, 0) << split.out;
    char name[32];
    std::snprintf(name, sizeof name, "page-%04d.emf", page);
    auto bmp = dir / "ref.bmp";
    auto render = Run(Bin("emfrender") + " '" + (dir / name).string() + "' --bits 1 --dpi 300 -o '" + bmp.string() + "'");
    EXPECT_EQ(render.status, 0) << render.out;
    return BmpInk(ReadAll(bmp));
  }
  // Image k (0-based) of a TIFF decoded by netpbm.
  InkMap Decoded(const std::filesystem::path& tif, int k) {
    auto one = root_.Dir() / "one.tif";
    auto pbm = root_.Dir() / "one.pbm";
    auto cut = Run("tiffcp '" + tif.string() + "," + std::to_string(k) + "' '" + one.string() + "'");
    EXPECT_EQ(cut.status, 0) << cut.out;
    auto decode = twtest::Shell("tifftopnm '" + one.string() + "' > '" + pbm.string() + "' 2>/dev/null");
    EXPECT_EQ(decode.status, 0);
    return PbmInk(ReadAll(pbm));
  }

  twtest::TempRoot root_;
  std::filesystem::path output_;
};

TEST_F(TiffOutputEndToEnd, AThreePageDocumentIsOneGroup4TiffOfItsRenderedPages) {
  auto text = TextFile({"Alpha", "Beta", "Gamma"});
  auto run = Print(text, "--set FileFormat=7 --set Flags=0x28");
  ASSERT_NE(run.out.find(": printed"), std::string::npos) << run.out;
  ASSERT_EQ(Outputs(), std::vector<std::string>{"doc.tif"});
  const auto tif = output_ / "doc.tif";
  auto info = Run("tiffinfo -D '" + tif.string() + "'");
  ASSERT_EQ(info.status, 0) << info.out;
  EXPECT_EQ(info.out.find("rror"), std::string::npos) << info.out;
  auto count = [&](const std::string& what) {
    size_t n = 0;
    for (size_t at = info.out.find(what); at != std::string::npos; at = info.out.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("Image Width: 2550 Image Length: 3300"), 3u) << info.out;
  EXPECT_EQ(count("Compression Scheme: CCITT Group 4"), 3u);
  EXPECT_EQ(count("Photometric Interpretation: min-is-white"), 3u);
  EXPECT_EQ(count("FillOrder: msb-to-lsb"), 3u);
  EXPECT_EQ(count("Resolution: 300, 300 pixels/inch"), 3u);
  EXPECT_EQ(count("Rows/Strip: 3300"), 3u);
  for (const char* pageNumber : {"Page Number: 0-3", "Page Number: 1-3", "Page Number: 2-3"})
    EXPECT_EQ(count(pageNumber), 1u) << pageNumber << "\n" << info.out;
  // Readable by libtiff's converters, and each image is the page as rendered.
  auto pdf = Run("tiff2pdf -o '" + (root_.Dir() / "doc.pdf").string() + "' '" + tif.string() + "'");
  EXPECT_EQ(pdf.status, 0) << pdf.out;
  for (int page = 1; page <= 3; ++page) {
    InkMap out = Decoded(tif, page - 1), ref = Reference(text, page);
    EXPECT_GT(InkCount(out), 1000u) << page;
    EXPECT_TRUE(out == ref) << "page " << page << ": " << InkCount(out) << " ink pixels, reference " << InkCount(ref);
  }
}

TEST_F(TiffOutputEndToEnd, WithoutMultipageEveryPageIsItsOwnTiff) {
  auto text = TextFile({"Alpha", "Beta", "Gamma"});
  auto run = Print(text, "--set FileFormat=7");
  ASSERT_NE(run.out.find(": printed"), std::string::npos) << run.out;
  ASSERT_EQ(Outputs(), (std::vector<std::string>{"doc.tif", "doc_002.tif", "doc_003.tif"}));
  for (const auto& name : Outputs()) {
    auto info = Run("tiffinfo -D '" + (output_ / name).string() + "'");
    EXPECT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("CCITT Group 4"), std::string::npos) << info.out;
  }
  EXPECT_TRUE(Decoded(output_ / "doc_002.tif", 0) == Reference(text, 2));
}

TEST_F(TiffOutputEndToEnd, AMissingLibraryFailsTheJobWithItsMessage) {
  auto text = TextFile({"Alpha"});
  auto run = Print(text, "--set FileFormat=7 --set Flags=0x20 --set TiffDllName=NoTiffHere.dll");
  EXPECT_NE(run.out.find(": failed"), std::string::npos) << run.out;
  EXPECT_TRUE(Outputs().empty());
  auto events = Run(Tool("twspool") + " events");
  EXPECT_NE(events.out.find("TwTiff.dll cannot be loaded"), std::string::npos) << events.out;
}

}  // namespace
