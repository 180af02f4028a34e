// SaveDIBInIOCAFormatW and InsertMODCAPageW. A structured-field walker of the
// test's own checks introducers, lengths and begin/end nesting; an IOCA
// segment parser takes each page's image apart; the image data is decoded
// independently: Group 4 by libtiff and fax2tiff, JPEG by djpeg.
#include <map>

#include "../../output/encoder_test_support.h"
#include "modca_walk.h"
#include "tiff_test_support.h"

namespace {

using codectest::Host;
using codectest::Image;
using codectest::Quote;
using codectest::RunTool;
using namespace tifftest;
using namespace modcawalk;

class ModcaTest : public ::testing::Test {
 protected:
  ModcaTest() { codectest::MakeFolder(u"C:\\Out"); }

  int SaveIoca(const std::u16string& name, const Image& img, int compression = 0, int quality = 90, LONG ppmX = 7874,
               LONG ppmY = 7874) {
    HGLOBAL dib = codectest::MakeDib(img, ppmX, ppmY);
    int rc = api_.SaveDIBInIOCAFormatW(name.c_str(), dib, compression, quality);
    GlobalFree(dib);
    EXPECT_EQ(rc, api_.TiffError() * (rc != 0)) << "the result is the thread's error code";
    return rc;
  }
  int Insert(const std::u16string& name, const Image& img, int position = -1, int compression = 0) {
    HGLOBAL dib = codectest::MakeDib(img);
    int rc = api_.InsertMODCAPageW(name.c_str(), position, dib, compression, 90);
    GlobalFree(dib);
    return rc;
  }
  std::vector<Page> Read(const std::u16string& name) {
    return Pages(WalkFields(codectest::ReadBytes(Host(name))));
  }

  twtest::TempRoot root_;
  codectest::Module module_{u"TwTiff.dll"};
  TiffApi api_{module_};
};

TEST_F(ModcaTest, BilevelPageIsOneDocumentPageWithGroup4Data) {
  Image img = codectest::BilevelPage(1728, 300, 5);
  ASSERT_EQ(SaveIoca(u"C:\\Out\\p.ica", img, 0, 90, 8031, 3858), 0) << api_.ErrorText();
  std::vector<Page> pages = Read(u"C:\\Out\\p.ica");
  ASSERT_EQ(pages.size(), 1u);
  const Page& p = pages[0];
  EXPECT_EQ(p.name, "P0000001");
  EXPECT_EQ(p.endName, p.name);
  EXPECT_EQ(p.imageObjects, 1);
  EXPECT_EQ(p.imageName, "I0000001");
  // Page, object area and image descriptors: 204 x 98 dpi as points per 10 inches.
  ASSERT_EQ(p.pgd.size(), 15u);
  EXPECT_EQ(Be(p.pgd, 2, 2), 2040u);
  EXPECT_EQ(Be(p.pgd, 4, 2), 980u);
  EXPECT_EQ(Be(p.pgd, 6, 3), 1728u);
  EXPECT_EQ(Be(p.pgd, 9, 3), 300u);
  ASSERT_EQ(p.idd.size(), 13u);
  EXPECT_EQ(Be(p.idd, 5, 2), 1728u);
  EXPECT_EQ((std::vector<BYTE>(p.idd.begin() + 9, p.idd.end())), (std::vector<BYTE>{0xF7, 0x02, 0x01, 0x0A}));
  ASSERT_EQ(p.obd.size(), 20u);
  EXPECT_EQ(Be(p.obd, 14, 3), 1728u);
  EXPECT_EQ(Be(p.obd, 17, 3), 300u);
  EXPECT_EQ(p.obp.size(), 24u);
  EXPECT_EQ(p.mio.size(), 5u);

  Ioca io = ParseIoca(p.segment);
  ASSERT_TRUE(io.ok);
  EXPECT_EQ(io.order, (std::vector<unsigned>{0x70, 0x91, 0x94, 0x95, 0x96, 0xFE92, 0x93, 0x71}));
  EXPECT_EQ(io.unitBase, 0u);
  EXPECT_EQ(io.xRes, 2040u);
  EXPECT_EQ(io.yRes, 980u);
  EXPECT_EQ(io.width, 1728u);
  EXPECT_EQ(io.height, 300u);
  EXPECT_EQ(io.compression, 0x82u);
  EXPECT_EQ(io.recording, 0x01u);
  EXPECT_EQ(io.ideSize, 1u);
  Image decoded = DecodeG4(root_.Dir(), io);
  EXPECT_TRUE(SameRows(decoded, Inverted(img))) << "libtiff's Group 4 decoder disagrees";

  // fax2tiff reads the same data as a Group 4 page.
  auto raw = root_.Dir() / "page.g4";
  codectest::WriteBytes(raw, std::string(io.data.begin(), io.data.end()));
  auto tif = root_.Dir() / "fax.tif";
  auto r = RunTool("fax2tiff -4 -M -X 1728 -o " + Quote(tif) + " " + Quote(raw));
  ASSERT_EQ(r.status, 0) << r.output;
  auto fax = ReadTiff(tif);
  ASSERT_EQ(fax.size(), 1u);
  ASSERT_GE(fax[0].pixels.height, 300u);
  fax[0].pixels.rows.resize(300);
  fax[0].pixels.height = 300;
  EXPECT_TRUE(SameRows(fax[0].pixels, fax[0].photometric == PHOTOMETRIC_MINISWHITE ? Inverted(img) : img));
}

TEST_F(ModcaTest, SignificantBitsFollowTheColourTable) {
  Image img = codectest::BilevelPage(100, 20, 9);
  img.colors = {{250, 250, 250, 0}, {5, 5, 5, 0}};  // entry 1 is the dark one
  ASSERT_EQ(SaveIoca(u"C:\\Out\\w.ica", img, TW_IOCA_COMPRESSION_NONE), 0) << api_.ErrorText();
  std::vector<Page> pages = Read(u"C:\\Out\\w.ica");
  ASSERT_EQ(pages.size(), 1u);
  Ioca io = ParseIoca(pages[0].segment);
  ASSERT_TRUE(io.ok);
  EXPECT_EQ(io.compression, 0x03u);
  ASSERT_EQ(io.data.size(), 13u * 20);
  Image raw{100, 20, 1, {}, {}};
  for (std::uint32_t y = 0; y < 20; ++y)
    raw.rows.emplace_back(io.data.begin() + 13 * y, io.data.begin() + 13 * (y + 1));
  EXPECT_TRUE(SameRows(raw, img));
  for (auto& row : raw.rows) EXPECT_EQ(row[12] & 0x0F, 0);  // padding clear
  // The usual table (entry 0 black) gives the inverse.
  Image usual = codectest::BilevelPage(100, 20, 9);
  ASSERT_EQ(SaveIoca(u"C:\\Out\\w.ica", usual), 0);
  Image decoded = DecodeG4(root_.Dir(), ParseIoca(Read(u"C:\\Out\\w.ica")[0].segment));
  EXPECT_TRUE(SameRows(decoded, Inverted(usual)));
}

struct ColourCase {
  const char* what;
  Image img;
  int compression;
  unsigned ideSize;
  int format;  // IDE structure, -1 for none
};

TEST_F(ModcaTest, GreyAndColourPagesAreJpegOrRawSamples) {
  Image grey = codectest::RandomImage(120, 80, 8, 3);
  for (int i = 0; i < 256; ++i) grey.colors[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
  for (std::uint32_t y = 0; y < grey.height; ++y)
    for (std::uint32_t x = 0; x < grey.width; ++x) grey.rows[y][x] = static_cast<BYTE>((x + 2 * y) % 256);
  Image rgb = codectest::RandomImage(120, 80, 24, 3);
  // A palette of 20 colours along a gradient, written as RGB.
  Image palette = codectest::RandomImage(64, 48, 8, 3, 20);
  for (int i = 0; i < 20; ++i) palette.colors[i] = {BYTE(60 + 5 * i), BYTE(250 - 8 * i), BYTE(40 + 10 * i), 0};
  for (std::uint32_t y = 0; y < palette.height; ++y)
    for (std::uint32_t x = 0; x < palette.width; ++x) palette.rows[y][x] = static_cast<BYTE>(std::min(19u, (x + y) / 6));
  Image grey4 = codectest::RandomImage(61, 9, 4, 3);
  for (int i = 0; i < 16; ++i) grey4.colors[i] = {BYTE(i * 17), BYTE(i * 17), BYTE(i * 17), 0};

  for (const ColourCase& c : {ColourCase{"grey jpeg", grey, 0, 8, -1}, ColourCase{"rgb jpeg", rgb, 0, 24, 0x12},
                              ColourCase{"grey raw", grey, 3, 8, -1}, ColourCase{"rgb raw", rgb, 3, 24, 0x01},
                              ColourCase{"palette raw", palette, 3, 24, 0x01},
                              ColourCase{"palette jpeg", palette, 0x83, 24, 0x12},
                              ColourCase{"grey 4-bit raw", grey4, 3, 8, -1}}) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(SaveIoca(u"C:\\Out\\c.ica", c.img, c.compression), 0) << api_.ErrorText();
    std::vector<Page> pages = Read(u"C:\\Out\\c.ica");
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].idd.back(), 0x0B);  // function set 11
    Ioca io = ParseIoca(pages[0].segment);
    ASSERT_TRUE(io.ok);
    EXPECT_EQ(io.ideSize, c.ideSize);
    EXPECT_EQ(io.format, c.format);
    std::vector<BYTE> expected = codectest::ToRgb(c.img);
    if (c.ideSize == 8) {  // one grey sample per point
      std::vector<BYTE> g;
      for (std::size_t i = 0; i < expected.size(); i += 3) g.push_back(expected[i]);
      expected = g;
    }
    if (io.compression == 0x03) {
      EXPECT_TRUE(io.data == expected);
      continue;
    }
    ASSERT_EQ(io.compression, 0x83u);
    auto jpg = root_.Dir() / "c.jpg";
    codectest::WriteBytes(jpg, std::string(io.data.begin(), io.data.end()));
    auto check = RunTool("jpeginfo -c " + Quote(jpg));
    EXPECT_EQ(check.status, 0) << check.output;
    enctest::Pnm p = enctest::DecodeWith("djpeg -pnm " + Quote(jpg));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.width, c.img.width);
    EXPECT_EQ(p.height, c.img.height);
    EXPECT_EQ(p.channels, c.ideSize / 8);
    EXPECT_GE(codectest::Psnr(p.samples, expected), 30.0);
  }
  // A lower quality gives less data.
  ASSERT_EQ(SaveIoca(u"C:\\Out\\q.ica", rgb, 0, 20), 0);
  std::size_t low = ParseIoca(Read(u"C:\\Out\\q.ica")[0].segment).data.size();
  ASSERT_EQ(SaveIoca(u"C:\\Out\\q.ica", rgb, 0, 95), 0);
  EXPECT_LT(low, ParseIoca(Read(u"C:\\Out\\q.ica")[0].segment).data.size());
}

TEST_F(ModcaTest, LargePagesSpanSeveralPictureDataFields) {
  Image rgb = codectest::RandomImage(400, 300, 24, 8);
  ASSERT_EQ(SaveIoca(u"C:\\Out\\big.ica", rgb, TW_IOCA_COMPRESSION_NONE), 0) << api_.ErrorText();
  Walk w = WalkFields(codectest::ReadBytes(Host(u"C:\\Out\\big.ica")));
  ASSERT_EQ(w.error, "");
  EXPECT_GT(std::count_if(w.fields.begin(), w.fields.end(), [](const Field& f) { return f.id == 0xD3EEFB; }), 10);
  std::vector<Page> pages = Pages(w);
  ASSERT_EQ(pages.size(), 1u);
  Ioca io = ParseIoca(pages[0].segment);
  ASSERT_TRUE(io.ok);
  EXPECT_TRUE(io.data == codectest::ToRgb(rgb));
  EXPECT_GT(std::count(io.order.begin(), io.order.end(), 0xFE92u), 0);
}

TEST_F(ModcaTest, PagesAreAddedInPrintOrderBeforeTheDocumentEnd) {
  std::vector<Image> imgs = {codectest::BilevelPage(500, 100, 1), codectest::BilevelPage(500, 120, 2),
                             codectest::BilevelPage(640, 90, 3)};
  Image grey = codectest::RandomImage(50, 50, 8, 4);
  for (int i = 0; i < 256; ++i) grey.colors[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
  ASSERT_EQ(Insert(u"C:\\Out\\doc.mca", imgs[0]), 0) << api_.ErrorText();
  std::string one = codectest::ReadBytes(Host(u"C:\\Out\\doc.mca"));
  ASSERT_EQ(Insert(u"C:\\Out\\doc.mca", imgs[1], 1), 0) << api_.ErrorText();  // the page count is the end too
  ASSERT_EQ(Insert(u"C:\\Out\\doc.mca", grey), 0) << api_.ErrorText();
  ASSERT_EQ(Insert(u"C:\\Out\\doc.mca", imgs[2]), 0) << api_.ErrorText();
  std::string all = codectest::ReadBytes(Host(u"C:\\Out\\doc.mca"));
  // The first page's bytes are untouched: only the end moved.
  Walk first = WalkFields(one);
  ASSERT_EQ(first.error, "");
  EXPECT_EQ(all.substr(0, first.fields.back().offset), one.substr(0, first.fields.back().offset));

  std::vector<Page> pages = Pages(WalkFields(all));
  ASSERT_EQ(pages.size(), 4u);
  const Image* order[] = {&imgs[0], &imgs[1], nullptr, &imgs[2]};
  for (std::size_t k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    char name[16];
    std::snprintf(name, sizeof name, "P%07zu", k + 1);
    EXPECT_EQ(pages[k].name, name);
    EXPECT_EQ(pages[k].imageObjects, 1);
    Ioca io = ParseIoca(pages[k].segment);
    ASSERT_TRUE(io.ok);
    if (!order[k]) {
      EXPECT_EQ(io.ideSize, 8u);
      continue;
    }
    EXPECT_EQ(io.width, order[k]->width);
    EXPECT_TRUE(SameRows(DecodeG4(root_.Dir(), io), Inverted(*order[k])));
  }
}

// The library remembers how it left a document; a file changed since is
// walked again.
TEST_F(ModcaTest, ADocumentChangedBetweenPagesIsCheckedAgain) {
  Image img = codectest::BilevelPage(64, 16, 1);
  ASSERT_EQ(Insert(u"C:\\Out\\doc.mca", img), 0);
  ASSERT_EQ(Insert(u"C:\\Out\\doc.mca", img), 0);
  std::string bytes = codectest::ReadBytes(Host(u"C:\\Out\\doc.mca"));
  Walk w = WalkFields(bytes);
  ASSERT_EQ(w.error, "");
  // Same size, but the second page's end is no longer an end.
  std::string broken = bytes;
  auto secondEnd = std::find_if(w.fields.rbegin(), w.fields.rend(), [](const Field& f) { return f.id == 0xD3A9AF; });
  broken[secondEnd->offset + 4] = static_cast<char>(0xA8);
  codectest::WriteBytes(Host(u"C:\\Out\\doc.mca"), broken);
  EXPECT_EQ(Insert(u"C:\\Out\\doc.mca", img), TW_TIFF_ERROR_NOT_MODCA);
  EXPECT_EQ(codectest::ReadBytes(Host(u"C:\\Out\\doc.mca")), broken);
  // Put right again (a later write time), it takes pages again.
  codectest::WriteBytes(Host(u"C:\\Out\\doc.mca"), bytes);
  ASSERT_EQ(Insert(u"C:\\Out\\doc.mca", img), 0);
  std::vector<Page> pages = Read(u"C:\\Out\\doc.mca");
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[2].name, "P0000003");
}

TEST_F(ModcaTest, FilesThatAreNoDocumentStayAsTheyWere) {
  Image img = codectest::BilevelPage(64, 16, 1);
  ASSERT_EQ(Insert(u"C:\\Out\\good.mca", img), 0);
  std::string good = codectest::ReadBytes(Host(u"C:\\Out\\good.mca"));
  Walk w = WalkFields(good);
  std::map<std::string, std::string> bad = {
      {"text", "this is not a document"},
      {"cut", good.substr(0, good.size() - 5)},
      {"no end", good.substr(0, w.fields.back().offset)},
      {"trailing", good + std::string(4, '\0')},
      {"no begin", good.substr(w.fields[1].offset)},
  };
  std::string unmatched = good;
  unmatched[w.fields[1].offset + 5] = static_cast<char>(0xAA);  // BPG becomes a begin of another kind
  bad["unmatched"] = unmatched;
  std::string longField = good;
  longField[1] = static_cast<char>(0x7F);  // the first field claims more bytes than the file has
  bad["long"] = longField;
  for (const auto& [what, bytes] : bad) {
    SCOPED_TRACE(what);
    codectest::WriteBytes(Host(u"C:\\Out\\bad.mca"), bytes);
    EXPECT_EQ(Insert(u"C:\\Out\\bad.mca", img), TW_TIFF_ERROR_NOT_MODCA);
    EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_NOT_MODCA);
    EXPECT_EQ(codectest::ReadBytes(Host(u"C:\\Out\\bad.mca")), bytes);
  }
  // An empty file becomes a document; another position than the end is refused.
  codectest::WriteBytes(Host(u"C:\\Out\\empty.mca"), "");
  ASSERT_EQ(Insert(u"C:\\Out\\empty.mca", img), 0);
  EXPECT_EQ(Read(u"C:\\Out\\empty.mca").size(), 1u);
  EXPECT_EQ(Insert(u"C:\\Out\\good.mca", img, 0), TW_TIFF_ERROR_ARGUMENT);
  EXPECT_EQ(Insert(u"C:\\Out\\good.mca", img, -2), TW_TIFF_ERROR_ARGUMENT);
  EXPECT_EQ(Insert(u"C:\\Out\\none.mca", img, 3), TW_TIFF_ERROR_ARGUMENT);
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Out\\none.mca")));
  EXPECT_EQ(codectest::ReadBytes(Host(u"C:\\Out\\good.mca")), good);
}

TEST_F(ModcaTest, AFailedWriteLeavesTheDocumentAsItWas) {
  Image small = codectest::BilevelPage(64, 16, 1);
  ASSERT_EQ(Insert(u"C:\\Out\\doc.mca", small), 0);
  std::string before = codectest::ReadBytes(Host(u"C:\\Out\\doc.mca"));
  Image big = codectest::RandomImage(1000, 1000, 24, 1);
  {
    enctest::FileSizeLimit limit(before.size() + 1000);
    EXPECT_EQ(Insert(u"C:\\Out\\doc.mca", big, -1, TW_IOCA_COMPRESSION_NONE), TW_TIFF_ERROR_WRITE);
    EXPECT_EQ(SaveIoca(u"C:\\Out\\new.ica", big, TW_IOCA_COMPRESSION_NONE), TW_TIFF_ERROR_WRITE);
  }
  EXPECT_EQ(codectest::ReadBytes(Host(u"C:\\Out\\doc.mca")), before);
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Out\\new.ica")));
  // The document still takes pages.
  ASSERT_EQ(Insert(u"C:\\Out\\doc.mca", small), 0);
  EXPECT_EQ(Read(u"C:\\Out\\doc.mca").size(), 2u);
}

TEST_F(ModcaTest, BadPagesAndArgumentsFailWithTheirCode) {
  Image img = codectest::BilevelPage(64, 16, 1);
  Image rgb = codectest::RandomImage(8, 8, 24, 1);
  EXPECT_EQ(SaveIoca(u"C:\\Out\\a.ica", img, TW_IOCA_COMPRESSION_JPEG), TW_TIFF_ERROR_ARGUMENT);
  EXPECT_EQ(SaveIoca(u"C:\\Out\\a.ica", rgb, TW_IOCA_COMPRESSION_G4), TW_TIFF_ERROR_ARGUMENT);
  EXPECT_EQ(SaveIoca(u"C:\\Out\\a.ica", rgb, 7), TW_TIFF_ERROR_ARGUMENT);
  EXPECT_EQ(SaveIoca(u"C:\\Out\\a.ica", rgb, 0, 0), TW_TIFF_ERROR_ARGUMENT);
  EXPECT_EQ(SaveIoca(u"C:\\Out\\a.ica", rgb, 0, 101), TW_TIFF_ERROR_ARGUMENT);
  EXPECT_EQ(SaveIoca(u"C:\\Out\\a.ica", codectest::BilevelPage(33000, 2, 1)), TW_TIFF_ERROR_UNSUPPORTED);
  EXPECT_EQ(SaveIoca(u"C:\\Missing\\a.ica", img), TW_TIFF_ERROR_OPEN);
  EXPECT_EQ(api_.SaveDIBInIOCAFormatW(nullptr, nullptr, 0, 90), TW_TIFF_ERROR_ARGUMENT);
  HGLOBAL dib = codectest::MakeDib(img);
  auto* h = static_cast<BITMAPINFOHEADER*>(GlobalLock(dib));
  h->biBitCount = 3;
  GlobalUnlock(dib);
  EXPECT_EQ(api_.SaveDIBInIOCAFormatW(u"C:\\Out\\a.ica", dib, 0, 90), TW_TIFF_ERROR_DIB);
  EXPECT_EQ(api_.InsertMODCAPageW(u"C:\\Out\\a.mca", -1, dib, 0, 90), TW_TIFF_ERROR_DIB);
  GlobalFree(dib);
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Out\\a.ica")));
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Out\\a.mca")));
  char text[TW_TIFF_ERROR_TEXT_SIZE];
  api_.TiffErrorString(text, TW_TIFF_ERROR_NOT_MODCA);
  EXPECT_STREQ(text, "Not a MO:DCA document the library can add to");
}

}  // namespace
