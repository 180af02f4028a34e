// The corpus comparison: the similarity figure forgives one-pixel shifts but
// not missing ink, is relative to the page's background, and the baseline
// rules catch a file that got worse and a share that fell below the floor.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <cstring>

#include "corpus_baseline.h"
#include "image_compare.h"
#include "image_io.h"

using namespace twtools;

namespace {

RgbImage page(int w, int h, std::uint8_t r = 255, std::uint8_t g = 255, std::uint8_t b = 255) {
  RgbImage img;
  img.Reset(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      img.Row(y)[x * 3] = r;
      img.Row(y)[x * 3 + 1] = g;
      img.Row(y)[x * 3 + 2] = b;
    }
  return img;
}

void box(RgbImage& img, int x0, int y0, int x1, int y1, std::uint8_t v = 0) {
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) std::memset(img.Row(y) + x * 3, v, 3);
}

// A private file name with the given extension.
std::filesystem::path tempFile(const char* stem, const char* extension) {
  return std::filesystem::temp_directory_path() / (std::string(stem) + "-" + std::to_string(getpid()) + extension);
}

}  // namespace

TEST(ImageCompare, IdenticalAndShiftedByOnePixelAreEqual) {
  RgbImage ref = page(100, 80);
  box(ref, 10, 10, 60, 12);  // a 2-pixel line
  box(ref, 20, 30, 50, 60);
  CompareResult same = CompareImages(ref, ref);
  EXPECT_TRUE(same.sizeMatches);
  EXPECT_DOUBLE_EQ(same.fine, 1.0);
  EXPECT_DOUBLE_EQ(same.coarse, 1.0);
  RgbImage shifted = page(100, 80);
  box(shifted, 11, 11, 61, 13);
  box(shifted, 21, 31, 51, 61);
  EXPECT_DOUBLE_EQ(CompareImages(shifted, ref).fine, 1.0);
  // Two pixels off is a difference.
  RgbImage far = page(100, 80);
  box(far, 12, 13, 62, 15);
  box(far, 22, 32, 52, 62);
  EXPECT_LT(CompareImages(far, ref).fine, 0.8);
}

TEST(ImageCompare, MissingInkScoresNearZeroWhateverThePaper) {
  RgbImage ref = page(200, 200);
  box(ref, 50, 50, 60, 60);
  RgbImage blank = page(200, 200);
  CompareResult r = CompareImages(blank, ref);
  EXPECT_DOUBLE_EQ(r.fine, 0.0);  // all of the ink is missing
  EXPECT_LT(r.pageShare, 0.01);   // though hardly any of the page differs
  // A coloured page: its background is not ink.
  RgbImage cream = page(200, 200, 255, 250, 230);
  RgbImage creamRef = cream;
  box(creamRef, 50, 50, 60, 60);
  EXPECT_DOUBLE_EQ(CompareImages(cream, creamRef).fine, 0.0);
  EXPECT_DOUBLE_EQ(CompareImages(cream, cream).fine, 1.0);
}

TEST(ImageCompare, CoarseComparisonForgivesGlyphShapes) {
  // The same "word" in two different shapes: 2-pixel strokes against a
  // checkerboard of the same area.
  RgbImage a = page(64, 32), b = page(64, 32);
  for (int y = 8; y < 16; ++y)
    for (int x = 8; x < 40; ++x) {
      if (x % 4 < 2) std::memset(a.Row(y) + x * 3, 0, 3);
      if ((x + y) % 2 == 0) std::memset(b.Row(y) + x * 3, 0, 3);
    }
  CompareResult r = CompareImages(a, b);
  EXPECT_GT(r.coarse, r.fine);
  EXPECT_GT(r.coarse, 0.9);
}

TEST(ImageCompare, SizesMustMatch) {
  EXPECT_FALSE(CompareImages(page(10, 10), page(10, 11)).sizeMatches);
  EXPECT_EQ(CompareImages(page(10, 10), page(10, 11)).fine, 0.0);
}

TEST(ImageCompare, ReduceAveragesBlocksAndKeepsTheEdge) {
  RgbImage img = page(5, 3);
  box(img, 0, 0, 2, 2);  // one 2x2 black block
  RgbImage r = Reduce(img, 2);
  ASSERT_EQ(r.width, 3);
  ASSERT_EQ(r.height, 2);
  EXPECT_EQ(r.Row(0)[0], 0);
  EXPECT_EQ(r.Row(0)[3], 255);
  EXPECT_EQ(r.Row(1)[6], 255);  // the one-pixel corner block
}

TEST(ImageIo, PngAndBmpRoundTrip) {
  RgbImage img = page(7, 5, 10, 20, 30);
  box(img, 1, 1, 3, 3, 200);
  auto png = tempFile("img", ".png");
  std::string error;
  ASSERT_TRUE(WriteImage(png, img, error)) << error;
  RgbImage back;
  ASSERT_TRUE(ReadPng(png, back, error)) << error;
  EXPECT_EQ(back.width, 7);
  EXPECT_EQ(back.rgb, img.rgb);
  auto bmp = tempFile("img", ".bmp");
  ASSERT_TRUE(WriteImage(bmp, img, error)) << error;
  std::ifstream in(bmp, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 54u + 24u * 5);  // rows of 21 bytes padded to 24
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[10], 54);
  // Bottom-up, BGR: the first stored row is the image's last.
  EXPECT_EQ(bytes[54], 30);
  EXPECT_EQ(bytes[56], 10);
  EXPECT_FALSE(WriteImage(tempFile("img", ".gif"), img, error));
  EXPECT_FALSE(ReadPng(bmp, back, error));  // not a PNG
  std::filesystem::remove(png);
  std::filesystem::remove(bmp);
}

TEST(CorpusBaseline, RoundTripAndRegressionRules) {
  Baseline b;
  b.tolerance = 0.9;
  b.floor = 0.5;
  b.files["emf/a.emf"] = {0.95, 0.97, "text"};
  b.files["emf/b.emf"] = {0.50, 0.60, ""};
  auto path = tempFile("baseline", ".tsv");
  std::string error;
  ASSERT_TRUE(WriteBaseline(path, b, "regenerate me", error)) << error;
  Baseline read;
  ASSERT_TRUE(ReadBaseline(path, read, error)) << error;
  EXPECT_DOUBLE_EQ(read.tolerance, 0.9);
  EXPECT_DOUBLE_EQ(read.floor, 0.5);
  ASSERT_EQ(read.files.size(), 2u);
  EXPECT_DOUBLE_EQ(read.files["emf/a.emf"].coarse, 0.97);
  EXPECT_EQ(read.files["emf/a.emf"].note, "text");

  std::map<std::string, BaselineEntry> now = read.files;
  EXPECT_TRUE(FindRegressions(read, now, 0.02).empty());
  now["emf/a.emf"].fine = 0.94;  // within the margin
  EXPECT_TRUE(FindRegressions(read, now, 0.02).empty());
  now["emf/b.emf"].coarse = 0.55;  // worse beyond it
  auto worse = FindRegressions(read, now, 0.02);
  ASSERT_EQ(worse.size(), 1u);
  EXPECT_EQ(worse[0].file, "emf/b.emf");
  now.erase("emf/a.emf");  // a file that is no longer rendered
  EXPECT_EQ(FindRegressions(read, now, 0.02).size(), 2u);

  int within = 0, counted = 0;
  EXPECT_DOUBLE_EQ(ShareWithinTolerance(read.files, 0.9, {}, &within, &counted), 0.5);
  EXPECT_EQ(within, 1);
  EXPECT_DOUBLE_EQ(ShareWithinTolerance(read.files, 0.9, {"emf/b.emf"}), 1.0);

  std::ofstream(path) << "file\tfine\tcoarse\tnote\nemf/x.emf\tnot-a-number\t0.5\t\n";
  EXPECT_FALSE(ReadBaseline(path, read, error));
  EXPECT_NE(error.find("bad number"), std::string::npos);
  std::filesystem::remove(path);
}
