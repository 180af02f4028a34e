// The TIFF writers' call sequences against the real library, checked with
// libtiff and libtiff's tools: every compression the writers ask for, the
// colour modes, multipage files, reopening, appending, cover pages moved to
// the front, page numbers, and the failures the writers report.
#include "tiff_test_support.h"
#include "tw/root.h"

namespace {

using codectest::Host;
using codectest::Image;
using codectest::Quote;
using codectest::RunTool;
using namespace tifftest;

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class WriterSequenceTest : public ::testing::Test {
 protected:
  WriterSequenceTest() { codectest::MakeFolder(u"C:\\Out"); }

  // The pages into one kept-open file, as the multipage writer does.
  void WriteKeptOpen(const std::u16string& name, const std::vector<Image>& pages, WriterTags tags,
                     DWORD firstPage = 1) {
    HTWTIFF h = api_.OpenTiffFileW(name.c_str(), 2);
    ASSERT_NE(h, nullptr) << api_.ErrorText();
    for (std::size_t i = 0; i < pages.size(); ++i) {
      tags.page = static_cast<DWORD>(firstPage + i);
      WritePage(api_, h, tags, pages[i]);
    }
    ASSERT_TRUE(api_.CloseTiffFile(h)) << api_.ErrorText();
  }

  static std::vector<Image> Pages(int n, std::uint32_t w = 864, std::uint32_t h = 1100) {
    std::vector<Image> pages;
    for (int i = 0; i < n; ++i) pages.push_back(codectest::BilevelPage(w, h, 100 + i));
    return pages;
  }

  twtest::TempRoot root_;
  codectest::Module module_{u"TwTiff.dll"};
  TiffApi api_{module_};
};

TEST_F(WriterSequenceTest, ThreeGroup4PagesMakeOneFileWithTheWritersTags) {
  auto pages = Pages(3);
  WriterTags tags;
  tags.pageNumbers = true;
  WriteKeptOpen(u"C:\\Out\\doc.tif", pages, tags);
  ASSERT_TRUE(api_.UpdatePageNumbersW(u"C:\\Out\\doc.tif", 3)) << api_.ErrorText();

  auto path = Host(u"C:\\Out\\doc.tif");
  auto info = RunTool("tiffinfo -D " + Quote(path));
  EXPECT_EQ(info.status, 0) << info.output;
  EXPECT_EQ(Count(info.output, "Compression Scheme: CCITT Group 4"), 3) << info.output;
  EXPECT_EQ(Count(info.output, "Photometric Interpretation: min-is-white"), 3);
  EXPECT_NE(info.output.find("Page Number: 2-3"), std::string::npos) << info.output;
  EXPECT_EQ(info.output.find("Error"), std::string::npos) << info.output;
  auto dump = RunTool("tiffdump " + Quote(path));
  EXPECT_NE(dump.output.find("PageNumber (297) SHORT (3) 2<0 3>"), std::string::npos) << dump.output;
  EXPECT_NE(dump.output.find("XResolution (282) RATIONAL (5) 1<200>"), std::string::npos) << dump.output;
  EXPECT_NE(dump.output.find("RowsPerStrip (278) "), std::string::npos);
  auto copy = RunTool("tiffcp " + Quote(path) + " " + Quote(root_.Dir() / "copy.tif"));
  EXPECT_EQ(copy.status, 0) << copy.output;

  auto read = ReadTiff(path);
  ASSERT_EQ(read.size(), 3u);
  for (std::size_t i = 0; i < read.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(read[i].compression, COMPRESSION_CCITTFAX4);
    EXPECT_EQ(read[i].photometric, PHOTOMETRIC_MINISWHITE);
    EXPECT_EQ(read[i].rowsPerStrip, 1100u);
    EXPECT_EQ(read[i].strips, 1u);
    EXPECT_EQ(read[i].unit, RESUNIT_INCH);
    EXPECT_FLOAT_EQ(read[i].xres, 200.0f);
    EXPECT_TRUE(read[i].hasPageNumber);
    EXPECT_EQ(read[i].page[0], i);
    EXPECT_EQ(read[i].page[1], 3);
    EXPECT_TRUE(SameRows(read[i].pixels, Inverted(pages[i])));
  }
}

struct Variant {
  WORD compression;
  DWORD t4Options;
  bool reverseBits;
  bool internetTiff;
  const char* scheme;  // as tiffinfo names it
};

class BilevelVariantTest : public WriterSequenceTest, public ::testing::WithParamInterface<Variant> {};

TEST_P(BilevelVariantTest, DecodesToThePageWithTheTags) {
  const Variant& v = GetParam();
  WriterTags tags;
  tags.compression = v.compression;
  tags.t4Options = v.t4Options;
  tags.reverseBits = v.reverseBits;
  tags.internetTiff = v.internetTiff;
  tags.ppmX = 8032;  // 204 x 196 dpi
  tags.ppmY = 7717;
  auto pages = Pages(1, 1728, 600);
  WriteKeptOpen(u"C:\\Out\\page.tif", pages, tags);

  auto path = Host(u"C:\\Out\\page.tif");
  auto info = RunTool("tiffinfo -D " + Quote(path));
  EXPECT_EQ(info.status, 0) << info.output;
  EXPECT_NE(info.output.find(std::string("Compression Scheme: ") + v.scheme), std::string::npos) << info.output;
  auto read = ReadTiff(path);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].compression, v.compression);
  EXPECT_EQ(read[0].group3, v.compression == 3 ? v.t4Options : 0u);
  EXPECT_EQ(read[0].fillOrder, v.reverseBits ? FILLORDER_LSB2MSB : FILLORDER_MSB2LSB);
  EXPECT_EQ(read[0].subfileType, v.internetTiff ? 2u : 0u);
  EXPECT_FLOAT_EQ(read[0].xres, 204.0f);
  EXPECT_FLOAT_EQ(read[0].yres, 196.0f);
  EXPECT_TRUE(SameRows(read[0].pixels, Inverted(pages[0])));
}

INSTANTIATE_TEST_SUITE_P(
    Compressions, BilevelVariantTest,
    ::testing::Values(Variant{1, 0, false, false, "None"}, Variant{3, 0, false, false, "CCITT Group 3"},
                      Variant{3, 4, false, false, "CCITT Group 3"}, Variant{3, 1, false, false, "CCITT Group 3"},
                      Variant{4, 0, false, false, "CCITT Group 4"}, Variant{32773, 0, false, false, "PackBits"},
                      Variant{5, 0, false, false, "LZW"}, Variant{4, 0, true, false, "CCITT Group 4"},
                      Variant{3, 0, true, true, "CCITT Group 3"}));

TEST_F(WriterSequenceTest, PaletteAndRgbPagesKeepEveryPixel) {
  // 1700 pixels wide: the palette writer's rows per strip is 8192 / 213 = 38.
  Image palette = codectest::RandomImage(1700, 90, 8, 7, 16);
  Image rgb = codectest::RandomImage(333, 70, 24, 8);
  for (WORD compression : {WORD(1), WORD(32773), WORD(5)}) {
    SCOPED_TRACE(compression);
    std::u16string name = u"C:\\Out\\colour" + tw::FromUtf8(std::to_string(compression)) + u".tif";
    HTWTIFF h = api_.OpenTiffFileW(name.c_str(), 2);
    ASSERT_NE(h, nullptr) << api_.ErrorText();
    WriterTags tags;
    tags.compression = compression;
    tags.colorMode = 2;
    WritePage(api_, h, tags, palette);
    tags.colorMode = 3;
    WritePage(api_, h, tags, rgb);
    ASSERT_TRUE(api_.CloseTiffFile(h));

    auto path = Host(name);
    EXPECT_EQ(RunTool("tiffinfo -D " + Quote(path)).status, 0);
    auto read = ReadTiff(path);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].photometric, PHOTOMETRIC_PALETTE);
    EXPECT_EQ(read[0].compression, compression);
    EXPECT_EQ(read[0].rowsPerStrip, 38u);
    ASSERT_EQ(read[0].colormap.size(), 768u);  // padded from 16 entries
    EXPECT_EQ(read[0].colormap[3], palette.colors[3].rgbRed * 257);
    EXPECT_EQ(read[0].colormap[256 + 15], palette.colors[15].rgbGreen * 257);
    EXPECT_EQ(read[0].colormap[16], 0);
    EXPECT_TRUE(SameRows(read[0].pixels, palette));
    EXPECT_EQ(read[1].photometric, PHOTOMETRIC_RGB);
    EXPECT_EQ(read[1].spp, 3);
    EXPECT_TRUE(SameRows(read[1].pixels, rgb));
  }
}

TEST_F(WriterSequenceTest, CompressionSixIsWrittenAsJpeg) {
  Image rgb = codectest::RandomImage(320, 200, 24, 3);
  // Palette pages with smooth content (JPEG is for photographs, not noise).
  Image colours = codectest::RandomImage(320, 200, 8, 4, 200);
  for (std::size_t i = 0; i < 200; ++i) colours.colors[i] = {BYTE(i), BYTE(255 - i), BYTE(i / 2 + 40), 0};
  for (std::uint32_t y = 0; y < colours.height; ++y)
    for (std::uint32_t x = 0; x < colours.width; ++x) colours.rows[y][x] = static_cast<BYTE>((x / 3 + y / 4) % 200);
  Image greys = colours;
  for (std::size_t i = 0; i < greys.colors.size(); ++i) greys.colors[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
  HTWTIFF h = api_.OpenTiffFileW(u"C:\\Out\\jpeg.tif", 2);
  ASSERT_NE(h, nullptr);
  WriterTags tags;
  tags.compression = 6;
  tags.colorMode = 3;
  WritePage(api_, h, tags, rgb);
  tags.colorMode = 2;
  WritePage(api_, h, tags, colours);
  WritePage(api_, h, tags, greys);
  ASSERT_TRUE(api_.CloseTiffFile(h));

  auto path = Host(u"C:\\Out\\jpeg.tif");
  auto info = RunTool("tiffinfo -D " + Quote(path));
  EXPECT_EQ(info.status, 0) << info.output;
  EXPECT_EQ(Count(info.output, "Compression Scheme: JPEG"), 3) << info.output;
  auto read = ReadTiff(path);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].photometric, PHOTOMETRIC_YCBCR);
  EXPECT_EQ(read[1].photometric, PHOTOMETRIC_YCBCR);  // a colour palette becomes colour
  EXPECT_EQ(read[2].photometric, PHOTOMETRIC_MINISBLACK);  // a grey palette becomes grey
  for (const auto& p : read) {
    EXPECT_EQ(p.compression, COMPRESSION_JPEG);
    EXPECT_TRUE(p.rowsPerStrip % 16 == 0 || p.rowsPerStrip == p.height) << p.rowsPerStrip;
  }
  Image grey = read[2].pixels;
  grey.colors.clear();
  for (int i = 0; i < 256; ++i) grey.colors.push_back({BYTE(i), BYTE(i), BYTE(i), 0});
  EXPECT_GE(codectest::Psnr(codectest::ToRgb(read[0].pixels), codectest::ToRgb(rgb)), 30.0);
  EXPECT_GE(codectest::Psnr(codectest::ToRgb(read[1].pixels), codectest::ToRgb(colours)), 30.0);
  EXPECT_GE(codectest::Psnr(codectest::ToRgb(grey), codectest::ToRgb(greys)), 30.0);
}

TEST_F(WriterSequenceTest, ReopeningForEveryPageGivesTheSameFile) {
  auto pages = Pages(3, 600, 700);
  WriterTags tags;
  tags.pageNumbers = true;
  WriteKeptOpen(u"C:\\Out\\kept.tif", pages, tags);
  ASSERT_TRUE(api_.UpdatePageNumbersW(u"C:\\Out\\kept.tif", 3));
  for (DWORD p = 1; p <= 3; ++p) {
    WriteKeptOpen(u"C:\\Out\\reopened.tif", {pages[p - 1]}, tags, p);
    ASSERT_TRUE(api_.UpdatePageNumbersW(u"C:\\Out\\reopened.tif", p));
  }
  auto kept = ReadTiff(Host(u"C:\\Out\\kept.tif"));
  auto reopened = ReadTiff(Host(u"C:\\Out\\reopened.tif"));
  ASSERT_EQ(kept.size(), 3u);
  ASSERT_EQ(reopened.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(SameRows(kept[i].pixels, reopened[i].pixels));
    EXPECT_EQ(kept[i].compression, reopened[i].compression);
    EXPECT_EQ(reopened[i].page[0], i);
    EXPECT_EQ(reopened[i].page[1], 3);
  }
}

TEST_F(WriterSequenceTest, AddingToAnExistingTiffKeepsItsPages) {
  // A big-endian file from another program, two pages.
  auto path = Host(u"C:\\Out\\old.tif");
  auto old = Pages(2, 200, 120);
  {
    TIFF* t = TIFFOpen(path.c_str(), "wb");
    ASSERT_NE(t, nullptr);
    for (const Image& img : old) {
      TIFFSetField(t, TIFFTAG_IMAGEWIDTH, img.width);
      TIFFSetField(t, TIFFTAG_IMAGELENGTH, img.height);
      TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
      TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
      for (std::uint32_t y = 0; y < img.height; ++y) TIFFWriteScanline(t, const_cast<BYTE*>(img.rows[y].data()), y, 0);
      TIFFWriteDirectory(t);
    }
    TIFFClose(t);
  }
  auto added = Pages(2, 300, 150);
  WriteKeptOpen(u"C:\\Out\\old.tif", added, WriterTags{});
  auto read = ReadTiff(path);
  ASSERT_EQ(read.size(), 4u);
  EXPECT_TRUE(SameRows(read[0].pixels, old[0]));
  EXPECT_TRUE(SameRows(read[1].pixels, old[1]));
  EXPECT_TRUE(SameRows(read[2].pixels, Inverted(added[0])));
  EXPECT_TRUE(SameRows(read[3].pixels, Inverted(added[1])));
  EXPECT_EQ(RunTool("tiffinfo -D " + Quote(path)).status, 0);
}

TEST_F(WriterSequenceTest, CoverPagesAddedAtTheEndMoveToTheFront) {
  // Five pages, then two cover pages (page numbers 1 and 2) that the writer
  // moves to positions 0 and 1 with a close and reopen around each move.
  auto doc = Pages(5, 300, 200);
  auto covers = Pages(2, 300, 200);
  for (auto& c : covers) c = codectest::BilevelPage(300, 200, 900 + c.rows[5][3]);
  const std::u16string name = u"C:\\Out\\covers.tif";
  WriterTags tags;
  tags.pageNumbers = true;
  HTWTIFF h = api_.OpenTiffFileW(name.c_str(), 2);
  ASSERT_NE(h, nullptr);
  for (DWORD p = 1; p <= 5; ++p) {
    tags.page = p;
    WritePage(api_, h, tags, doc[p - 1]);
  }
  for (DWORD p = 1; p <= 2; ++p) {
    tags.page = p;
    WritePage(api_, h, tags, covers[p - 1]);
    ASSERT_TRUE(api_.CloseTiffFile(h));
    h = api_.OpenTiffFileW(name.c_str(), 2);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(api_.MoveLastImageFast(h, static_cast<int>(p - 1), 0)) << api_.ErrorText();
    ASSERT_TRUE(api_.CloseTiffFile(h));
    h = api_.OpenTiffFileW(name.c_str(), 2);
    ASSERT_NE(h, nullptr);
  }
  ASSERT_TRUE(api_.CloseTiffFile(h));
  ASSERT_TRUE(api_.UpdatePageNumbersW(name.c_str(), 2));  // the last cover's number: the file's count wins

  auto read = ReadTiff(Host(name));
  ASSERT_EQ(read.size(), 7u);
  EXPECT_TRUE(SameRows(read[0].pixels, Inverted(covers[0])));
  EXPECT_TRUE(SameRows(read[1].pixels, Inverted(covers[1])));
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(SameRows(read[2 + i].pixels, Inverted(doc[i])));
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(read[i].page[0], i);
    EXPECT_EQ(read[i].page[1], 7);
  }
  EXPECT_EQ(RunTool("tiffinfo -D " + Quote(Host(name))).status, 0);
}

TEST_F(WriterSequenceTest, ThreeHundredPagesOnOneKeptOpenHandleStayInOrder) {
  // A long document on one handle; between pages the handle also edits and
  // moves written images, after which it must find the chain's end anew.
  constexpr int kPages = 300;
  auto pages = Pages(kPages, 64, 24);
  const std::u16string name = u"C:\\Out\\long.tif";
  WriterTags tags;
  tags.pageNumbers = true;
  HTWTIFF h = api_.OpenTiffFileW(name.c_str(), 2);
  ASSERT_NE(h, nullptr) << api_.ErrorText();
  for (int i = 0; i < kPages; ++i) {
    tags.page = static_cast<DWORD>(i + 1);
    WritePage(api_, h, tags, pages[i]);
    if (i == 100) {
      // Page 50's directory is rewritten at the end of the data.
      WORD pair[2] = {49, 0};
      ASSERT_TRUE(api_.DefineTiffImageInfoBuffer(h, 49, 297, pair, kShort, 2)) << api_.ErrorText();
    }
    // Page 201 becomes the first, as a cover page does.
    if (i == 200) {
      ASSERT_TRUE(api_.MoveLastImageFast(h, 0, 0)) << api_.ErrorText();
    }
  }
  std::vector<int> order{200};
  for (int i = 0; i < kPages; ++i)
    if (i != 200) order.push_back(i);
  TW_TIFF_FILE_INFO info;
  ASSERT_TRUE(api_.GetTiffFileInfo(h, &info));
  EXPECT_EQ(info.dwImageCount, DWORD(kPages));
  ASSERT_TRUE(api_.CloseTiffFile(h)) << api_.ErrorText();
  ASSERT_TRUE(api_.UpdatePageNumbersW(name.c_str(), kPages)) << api_.ErrorText();

  auto path = Host(name);
  auto check = RunTool("tiffinfo " + Quote(path));
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_EQ(Count(check.output, "Compression Scheme: CCITT Group 4"), kPages);
  auto read = ReadTiff(path);
  ASSERT_EQ(read.size(), std::size_t(kPages));
  for (int i = 0; i < kPages; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(SameRows(read[i].pixels, Inverted(pages[order[i]])));
    EXPECT_EQ(read[i].page[0], i);
    EXPECT_EQ(read[i].page[1], kPages);
  }
}

TEST_F(WriterSequenceTest, PageNumberOfAWrittenImageIsEditedThroughGetTiffImage) {
  // The reopen writer's colour page: the library saves the DIB, then the
  // writer opens the file, counts its images and sets 297 on the last one.
  Image page = codectest::RandomImage(120, 80, 8, 5, 40);
  for (int i = 0; i < 2; ++i) {
    HGLOBAL dib = codectest::MakeDib(page);
    ASSERT_TRUE(api_.SaveDIBInTiffFileW(u"C:\\Out\\edit.tif", dib, TW_TIFF_SCHEME_NONE, 0)) << api_.ErrorText();
    GlobalFree(dib);
  }
  HTWTIFF h = api_.OpenTiffFileW(u"C:\\Out\\edit.tif", 2);
  ASSERT_NE(h, nullptr);
  TW_TIFF_FILE_INFO info;
  ASSERT_TRUE(api_.GetTiffFileInfo(h, &info));
  ASSERT_EQ(info.dwImageCount, 2u);
  EXPECT_EQ(info.dwByteOrder, 0x4949u);
  EXPECT_STREQ(info.szFileName, "C:\\Out\\edit.tif");
  ASSERT_TRUE(api_.GetTiffImage(h, 1));
  EXPECT_FALSE(api_.GetTiffImage(h, 2));
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_IMAGE);
  WORD pair[2] = {1, 0};
  ASSERT_TRUE(api_.DefineTiffImageInfoBuffer(h, 1, 297, pair, kShort, 2)) << api_.ErrorText();
  // Layout tags of a written image do not change.
  EXPECT_FALSE(api_.DefineTiffImageInfo(h, 1, 259, kShort, 5));
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_TAG);
  ASSERT_TRUE(api_.CloseTiffFile(h));

  auto read = ReadTiff(Host(u"C:\\Out\\edit.tif"));
  ASSERT_EQ(read.size(), 2u);
  EXPECT_FALSE(read[0].hasPageNumber);
  EXPECT_TRUE(read[1].hasPageNumber);
  EXPECT_EQ(read[1].page[0], 1);
  EXPECT_TRUE(SameRows(read[1].pixels, page));
  EXPECT_EQ(RunTool("tiffinfo -D " + Quote(Host(u"C:\\Out\\edit.tif"))).status, 0);
}

TEST_F(WriterSequenceTest, PageNumberUpdatesLeaveImagesWithoutThemAlone) {
  auto pages = Pages(2, 100, 60);
  WriterTags with;
  with.pageNumbers = true;
  WriteKeptOpen(u"C:\\Out\\mixed.tif", {pages[0]}, with);
  WriteKeptOpen(u"C:\\Out\\mixed.tif", {pages[1]}, WriterTags{});
  ASSERT_TRUE(api_.UpdatePageNumbersW(u"C:\\Out\\mixed.tif", 2));
  auto mixed = ReadTiff(Host(u"C:\\Out\\mixed.tif"));
  ASSERT_EQ(mixed.size(), 2u);
  EXPECT_EQ(mixed[0].page[1], 2);
  EXPECT_FALSE(mixed[1].hasPageNumber);

  // One page per file: the page keeps its number in the document.
  WriteKeptOpen(u"C:\\Out\\single.tif", {pages[0]}, with, 5);
  ASSERT_TRUE(api_.UpdatePageNumbersW(u"C:\\Out\\single.tif", 5));
  auto single = ReadTiff(Host(u"C:\\Out\\single.tif"));
  ASSERT_EQ(single.size(), 1u);
  EXPECT_EQ(single[0].page[0], 4);
  EXPECT_EQ(single[0].page[1], 5);

  EXPECT_FALSE(api_.UpdatePageNumbersW(u"C:\\Nowhere\\x.tif", 2));
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_OPEN);
}

TEST_F(WriterSequenceTest, FailuresLeaveValidFilesAndSayWhy) {
  auto pages = Pages(2, 200, 100);
  HTWTIFF h = api_.OpenTiffFileW(u"C:\\Out\\fail.tif", 2);
  ASSERT_NE(h, nullptr);
  WritePage(api_, h, WriterTags{}, pages[0]);
  // A page whose row function gives out: the rows past its height return 3.
  Image shorter = pages[1];
  shorter.rows.resize(40);
  shorter.height = 40;
  int image = api_.DefineTiffImage(h);
  DefineWriterTags(api_, h, image, WriterTags{}, pages[1]);
  WriterPage page{&shorter, 0};
  EXPECT_FALSE(api_.EncodeTiffImage(h, image, &page, &WriterRows));
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_ROW_SOURCE);
  EXPECT_NE(api_.ErrorText().find("returned 3 for row 40"), std::string::npos) << api_.ErrorText();
  EXPECT_TRUE(api_.DropTiffImage(h, image));
  EXPECT_FALSE(api_.DropTiffImage(h, image));
  ASSERT_TRUE(api_.CloseTiffFile(h));
  EXPECT_FALSE(api_.CloseTiffFile(h));  // a closed handle is refused, not used
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_ARGUMENT);
  auto read = ReadTiff(Host(u"C:\\Out\\fail.tif"));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(RunTool("tiffinfo -D " + Quote(Host(u"C:\\Out\\fail.tif"))).status, 0);

  // A new file whose only page fails is not left behind as a TIFF without images.
  h = api_.OpenTiffFileW(u"C:\\Out\\empty.tif", 2);
  ASSERT_NE(h, nullptr);
  image = api_.DefineTiffImage(h);
  DefineWriterTags(api_, h, image, WriterTags{}, pages[1]);
  EXPECT_FALSE(api_.EncodeTiffImage(h, image, &page, &WriterRows));
  ASSERT_TRUE(api_.CloseTiffFile(h));
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Out\\empty.tif")));

  // Definitions that do not make an image, and tags the library does not take.
  h = api_.OpenTiffFileW(u"C:\\Out\\defs.tif", 2);
  image = api_.DefineTiffImage(h);
  EXPECT_FALSE(api_.DefineTiffImageInfo(h, image, 33432, kShort, 1));
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_TAG);
  EXPECT_FALSE(api_.DefineTiffImageInfo(h, image, 259, kShort, 70000));
  EXPECT_FALSE(api_.DefineTiffImageInfo(h, image, 262, 12, 1));  // DOUBLE
  EXPECT_FALSE(api_.EncodeTiffImage(h, image, &page, &WriterRows));  // no width and height
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_DEFINITION);
  ASSERT_TRUE(api_.DefineTiffImageInfo(h, image, 256, kLong, 100));
  ASSERT_TRUE(api_.DefineTiffImageInfo(h, image, 257, kLong, 10));
  ASSERT_TRUE(api_.DefineTiffImageInfo(h, image, 258, kShort, 8));
  ASSERT_TRUE(api_.DefineTiffImageInfo(h, image, 259, kShort, 4));  // Group 4 of an 8-bit image
  EXPECT_FALSE(api_.EncodeTiffImage(h, image, &page, &WriterRows));
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_DEFINITION);
  EXPECT_NE(api_.ErrorText().find("bilevel"), std::string::npos);
  EXPECT_FALSE(api_.EncodeTiffImage(h, 77, &page, &WriterRows));
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_IMAGE);
  ASSERT_TRUE(api_.CloseTiffFile(h));
  EXPECT_EQ(api_.DefineTiffImage(h), -1);
  EXPECT_EQ(api_.DefineTiffImage(nullptr), -1);
}

TEST_F(WriterSequenceTest, PathsThatCannotBeWrittenAreReportedWithTheReason) {
  EXPECT_EQ(api_.OpenTiffFileW(u"C:\\Missing\\Folder\\a.tif", 2), nullptr);
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_OPEN);
  EXPECT_NE(api_.ErrorText().find("C:\\Missing\\Folder\\a.tif (Win32 error 3)"), std::string::npos)
      << api_.ErrorText();
  EXPECT_EQ(api_.OpenTiffFileW(nullptr, 2), nullptr);
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_ARGUMENT);
  EXPECT_EQ(api_.OpenTiffFileW(u"C:\\Out\\a.tif", 7), nullptr);
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_ARGUMENT);

  auto machine = *tw::config::Get();
  machine.denyWrite = {u"C:\\Locked"};
  ASSERT_TRUE(tw::config::Save(machine));
  codectest::MakeFolder(u"C:\\Locked");
  EXPECT_EQ(api_.OpenTiffFileW(u"C:\\Locked\\a.tif", 2), nullptr);
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_OPEN);
  EXPECT_NE(api_.ErrorText().find("(Win32 error 5)"), std::string::npos) << api_.ErrorText();

  // Something that is not a TIFF stays as it was.
  codectest::WriteBytes(Host(u"C:\\Out\\notes.tif"), "just some notes\n");
  EXPECT_EQ(api_.OpenTiffFileW(u"C:\\Out\\notes.tif", 2), nullptr);
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_NOT_TIFF);
  EXPECT_EQ(codectest::ReadBytes(Host(u"C:\\Out\\notes.tif")), "just some notes\n");
}

TEST_F(WriterSequenceTest, AFailingWriteReportsLibtiffsText) {
  codectest::Module failing(u"TwTiffFailWrite.dll");
  ASSERT_NE(failing.Get(), nullptr);
  TiffApi api(failing);
  HTWTIFF h = api.OpenTiffFileW(u"C:\\Out\\disk.tif", 2);
  ASSERT_NE(h, nullptr) << api.ErrorText();
  Image page = codectest::BilevelPage(300, 100, 1);
  int image = api.DefineTiffImage(h);
  DefineWriterTags(api, h, image, WriterTags{}, page);
  WriterPage context{&page, 0};
  EXPECT_FALSE(api.EncodeTiffImage(h, image, &context, &WriterRows));
  EXPECT_EQ(api.TiffError(), TW_TIFF_ERROR_ENCODE);
  std::string text = api.ErrorText();
  EXPECT_NE(text.find("Cannot encode the image"), std::string::npos) << text;
  EXPECT_NE(text.find("(libtiff: "), std::string::npos) << text;
  EXPECT_TRUE(api.CloseTiffFile(h));
  // The error text belongs to that library's thread state, not this one's.
  EXPECT_EQ(api_.TiffError(), 0);
}

}  // namespace
