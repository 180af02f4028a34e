// The library's own CCITT coders (EncodeTiffImage with compression 2, 3, 4
// and EncodeCcittImage) against libtiff: every page decodes with libtiff to
// exactly the rows it was given, and is never larger than what libtiff's own
// coders make of the same rows and tags. Pages: adversarial ones (blank,
// black, alternating pixels, single columns, odd widths, runs across the
// make-up code limits), random ones, a page of text and, when the shared
// corpus is there, rendered metafiles.
#include <functional>
#include <memory>

#include "tiff_test_support.h"

namespace {

using codectest::Host;
using codectest::Image;
using namespace tifftest;

struct Page {
  std::string name;
  Image image;
};

Image Pattern(std::uint32_t w, std::uint32_t h, const std::function<bool(std::uint32_t, std::uint32_t)>& black) {
  Image img{w, h, 1, {{0, 0, 0, 0}, {255, 255, 255, 0}}, {}};
  for (std::uint32_t y = 0; y < h; ++y) {
    std::vector<BYTE> row(img.RowBytes(), 0);
    for (std::uint32_t x = 0; x < w; ++x)
      if (black(x, y)) row[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    img.rows.push_back(std::move(row));
  }
  return img;
}

// Rows of runs whose lengths are drawn up to `longest`, white first.
Image Runs(std::uint32_t w, std::uint32_t h, std::uint32_t longest, unsigned seed) {
  std::mt19937 rng(seed);
  Image img = Pattern(w, h, [](std::uint32_t, std::uint32_t) { return false; });
  for (auto& row : img.rows) {
    bool black = false;
    for (std::uint32_t x = 0; x < w;) {
      std::uint32_t run = 1 + rng() % longest;
      for (std::uint32_t e = std::min(w, x + run); x < e; ++x)
        if (black) row[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
      black = !black;
    }
  }
  return img;
}

std::vector<Page> AdversarialPages() {
  std::vector<Page> pages;
  auto add = [&](std::string name, Image img) { pages.push_back({std::move(name), std::move(img)}); };
  using XY = std::uint32_t;
  add("white", Pattern(1728, 40, [](XY, XY) { return false; }));
  add("black", Pattern(1728, 40, [](XY, XY) { return true; }));
  add("alternating columns", Pattern(1001, 30, [](XY x, XY) { return x % 2 == 1; }));
  add("alternating rows", Pattern(1000, 31, [](XY, XY y) { return y % 2 == 0; }));
  add("checkerboard", Pattern(999, 30, [](XY x, XY y) { return (x + y) % 2 == 0; }));
  add("first column", Pattern(2550, 20, [](XY x, XY) { return x == 0; }));
  add("last column", Pattern(2550, 20, [](XY x, XY) { return x == 2549; }));
  add("middle column", Pattern(2550, 20, [](XY x, XY) { return x == 1275; }));
  // Edges that move by 0..5 pixels a row: every vertical code, and horizontal mode past 3.
  add("slanted edges", Pattern(1700, 60, [](XY x, XY y) { return (x + (y * y) % 6 * (y % 2 ? 1 : -1) + 60) % 40 < 17; }));
  add("black then white halves", Pattern(300, 20, [](XY x, XY y) { return y < 10 ? x < 150 : x >= 150; }));
  for (std::uint32_t w : {1u, 2u, 7u, 8u, 9u, 31u, 63u, 64u, 65u, 127u, 129u, 1727u}) {
    std::mt19937 rng(w);
    add("noise, width " + std::to_string(w), Pattern(w, 40, [&](XY, XY) { return rng() % 2 == 0; }));
    add("runs, width " + std::to_string(w), Runs(w, 40, 9, w));
  }
  std::mt19937 rng(7);
  add("sparse noise", Pattern(2550, 80, [&](XY, XY) { return rng() % 50 == 0; }));
  add("random runs", Runs(2550, 80, 300, 11));
  // Runs around the make-up limits: 63/64, 1728, 1792, 2560, 2623/2624, 5184.
  std::vector<std::uint32_t> lengths = {63,   64,   65,   1727, 1728, 1729, 1791, 1792, 1793, 2559,
                                        2560, 2561, 2623, 2624, 2625, 5183, 5184, 5185, 7000};
  add("long runs", Pattern(7001, static_cast<XY>(2 * lengths.size()), [&](XY x, XY y) {
        std::uint32_t run = lengths[y / 2];
        return y % 2 == 0 ? x >= run : x < run;  // a white run of `run`, or a black one
      }));
  return pages;
}

// One text page as the benchmark has it: 66 lines of 80 columns of 10-point
// Courier New on a Letter page at 300 dpi, through the layer's GDI.
Image TextPage() {
  constexpr LONG kW = 2550, kH = 3300;
  Image img{kW, kH, 1, {{0, 0, 0, 0}, {255, 255, 255, 0}}, {}};
  HDC dc = CreateCompatibleDC(nullptr);
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[2];
  } info{{sizeof(BITMAPINFOHEADER), kW, -kH, 1, 1, BI_RGB, 0, 0, 0, 2, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    ADD_FAILURE() << "no 1-bit DIB section";
    DeleteDC(dc);
    return img;
  }
  HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
  PatBlt(dc, 0, 0, kW, kH, WHITENESS);
  LOGFONTW lf{};
  lf.lfHeight = -42;
  std::u16string face = u"Courier New";
  face.copy(lf.lfFaceName, face.size());
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  const std::u16string words = u"The quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs. ";
  for (int i = 0; i < 66; ++i) {
    std::u16string line;
    for (int k = 0; line.size() < 80; ++k) line += words[(i * 7 + k) % words.size()];
    TextOutW(dc, 150, 150 + i * 46, line.c_str(), 80);
  }
  GdiFlush();
  std::size_t stride = (kW + 31) / 32 * 4;
  for (LONG y = 0; y < kH; ++y) {
    const BYTE* src = static_cast<const BYTE*>(bits) + stride * y;
    img.rows.emplace_back(src, src + img.RowBytes());
  }
  SelectObject(dc, oldFont);
  DeleteObject(font);
  SelectObject(dc, oldBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return img;
}

// A metafile of the shared corpus rendered to 1 bit at 150 dpi (at most
// about 4 Mpx); an empty image when it cannot be rendered.
Image RenderedMetafile(const std::filesystem::path& path) {
  Image img{0, 0, 1, {{0, 0, 0, 0}, {255, 255, 255, 0}}, {}};
  std::string bytes = codectest::ReadBytes(path);
  HENHMETAFILE emf = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), reinterpret_cast<const BYTE*>(bytes.data()));
  ENHMETAHEADER header{};
  if (!emf || !GetEnhMetaFileHeader(emf, sizeof header, &header)) {
    if (emf) DeleteEnhMetaFile(emf);
    return img;
  }
  double w = (double(header.rclFrame.right) - header.rclFrame.left) * 150 / 2540;
  double h = (double(header.rclFrame.bottom) - header.rclFrame.top) * 150 / 2540;
  double scale = w * h > 4e6 ? std::sqrt(4e6 / (w * h)) : 1;
  LONG width = std::lround(w * scale), height = std::lround(h * scale);
  if (width < 1 || height < 1) {
    DeleteEnhMetaFile(emf);
    return img;
  }
  HDC dc = CreateCompatibleDC(nullptr);
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[2];
  } info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 1, BI_RGB, 0, 0, 0, 2, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap && bits) {
    HGDIOBJ old = SelectObject(dc, bitmap);
    PatBlt(dc, 0, 0, width, height, WHITENESS);
    RECT rect{0, 0, width, height};
    PlayEnhMetaFile(dc, emf, &rect);
    GdiFlush();
    img.width = static_cast<std::uint32_t>(width);
    img.height = static_cast<std::uint32_t>(height);
    std::size_t stride = (std::size_t(width) + 31) / 32 * 4;
    for (LONG y = 0; y < height; ++y) {
      const BYTE* src = static_cast<const BYTE*>(bits) + stride * y;
      img.rows.emplace_back(src, src + img.RowBytes());
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
  }
  DeleteDC(dc);
  DeleteEnhMetaFile(emf);
  return img;
}

// The rows as they are, set bit = black (photometric 0).
int WINAPI PageRows(BYTE* row, DWORD r, LPVOID context) {
  auto* img = static_cast<const Image*>(context);
  if (r >= img->height) return 3;
  std::memcpy(row, img->rows[r].data(), img->rows[r].size());
  return 0;
}

// Raw CCITT data as the one strip of a TIFF, decoded by libtiff. libtiff
// 4.5's reader of compression 2 loses a last row that ends in the data's last
// byte (its own coder's data too), so that data gets two zero bytes more.
Image DecodeStrip(std::string raw, const Image& page, WORD compression, DWORD t4Options,
                  const std::filesystem::path& path) {
  if (compression == COMPRESSION_CCITTRLE) raw.append(2, '\0');
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) return {};
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
  if (compression == COMPRESSION_CCITTFAX3) TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, t4Options);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, page.height);
  TIFFWriteRawStrip(t, 0, raw.data(), static_cast<tmsize_t>(raw.size()));
  TIFFClose(t);
  auto pages = ReadTiff(path);
  return pages.size() == 1 ? pages[0].pixels : Image{};
}

// A TIFF coding as the tags give it.
struct Coding {
  const char* name;
  WORD compression;
  DWORD t4Options;      // tag 292 with compression 3
  WORD fillOrder;       // 266
  DWORD rowsPerStrip;   // 0 = the whole image
  DWORD dpi;            // 282 and 283; Group 3 2-D takes K = 4 above 150, else 2
};

void PrintTo(const Coding& c, std::ostream* os) { *os << c.name; }

const Coding kCodings[] = {
    {"G4", 4, 0, 1, 0, 300},
    {"G4, FillOrder 2, strips of 7 rows", 4, 0, 2, 7, 300},
    {"G3 1-D", 3, 0, 1, 0, 300},
    {"G3 1-D, fill bits, FillOrder 2", 3, 4, 2, 0, 300},
    {"G3 2-D, K = 4", 3, 1, 1, 0, 300},
    {"G3 2-D, K = 2, fill bits, strips of 5 rows", 3, 5, 1, 5, 100},
    {"Modified Huffman without EOL", 2, 0, 1, 0, 300},
};

struct Coded {
  Image decoded;
  std::uint64_t bytes = 0;  // all strips
  std::uint32_t strips = 0;
};

// What libtiff reads from a file: the rows and the strips' size.
Coded ReadBack(const std::filesystem::path& path, const Image& page) {
  Coded c;
  auto pages = ReadTiff(path);
  if (pages.size() != 1) {
    ADD_FAILURE() << pages.size() << " images in " << path;
    return c;
  }
  c.decoded = pages[0].pixels;
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (!t) return c;
  c.strips = TIFFNumberOfStrips(t);
  std::uint64_t* counts = nullptr;
  if (TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts))
    for (std::uint32_t s = 0; s < c.strips; ++s) c.bytes += counts[s];
  if (pages[0].compression == COMPRESSION_CCITTRLE && c.strips == 1) {
    std::string raw(static_cast<std::size_t>(c.bytes), '\0');
    TIFFReadRawStrip(t, 0, raw.data(), static_cast<tmsize_t>(raw.size()));
    auto wrapped = path;
    c.decoded = DecodeStrip(raw, page, COMPRESSION_CCITTRLE, 0, wrapped.replace_extension(".rle.tif"));
  }
  TIFFClose(t);
  return c;
}

class FaxCoderTest : public ::testing::TestWithParam<Coding> {
 protected:
  FaxCoderTest() { codectest::MakeFolder(u"C:\\Out"); }

  // The page through the library's EncodeTiffImage, with the tags a writer sets.
  Coded Ours(const Image& page, const Coding& c) {
    HTWTIFF h = api_.OpenTiffFileW(u"C:\\Out\\ours.tif", 3);
    EXPECT_NE(h, nullptr) << api_.ErrorText();
    int image = api_.DefineTiffImage(h);
    auto set = [&](WORD tag, WORD type, DWORD value) {
      EXPECT_TRUE(api_.DefineTiffImageInfo(h, image, tag, type, value)) << tag << ": " << api_.ErrorText();
    };
    set(259, kShort, c.compression);
    if (c.compression == 3) set(292, kLong, c.t4Options);
    set(256, kLong, page.width);
    set(257, kLong, page.height);
    set(258, kShort, 1);
    set(277, kShort, 1);
    if (c.rowsPerStrip) set(278, kShort, c.rowsPerStrip);
    set(266, kShort, c.fillOrder);
    set(282, kRational, c.dpi);
    set(283, kRational, c.dpi);
    set(296, kShort, 2);
    set(262, kShort, 0);
    EXPECT_TRUE(api_.EncodeTiffImage(h, image, const_cast<Image*>(&page), &PageRows)) << api_.ErrorText();
    EXPECT_TRUE(api_.CloseTiffFile(h)) << api_.ErrorText();
    return ReadBack(Host(u"C:\\Out\\ours.tif"), page);
  }

  // The same rows and tags through libtiff's own coders.
  Coded Libtiffs(const Image& page, const Coding& c) {
    auto path = root_.Dir() / "libtiff.tif";
    TIFF* t = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(t, nullptr);
    if (!t) return {};
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, c.compression);
    if (c.compression == 3) TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, c.t4Options);
    TIFFSetField(t, TIFFTAG_FILLORDER, c.fillOrder);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, c.rowsPerStrip ? c.rowsPerStrip : page.height);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, float(c.dpi));
    TIFFSetField(t, TIFFTAG_YRESOLUTION, float(c.dpi));
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    for (std::uint32_t y = 0; y < page.height; ++y) {
      std::vector<BYTE> row = page.rows[y];
      EXPECT_GE(TIFFWriteScanline(t, row.data(), y, 0), 0);
    }
    TIFFClose(t);
    return ReadBack(path, page);
  }

  // Ours decodes to the page, in as many strips as libtiff's and no more bytes.
  void Check(const Page& page) {
    SCOPED_TRACE(page.name + " (" + std::to_string(page.image.width) + " x " + std::to_string(page.image.height) +
                 ")");
    const Coding& c = GetParam();
    Coded ours = Ours(page.image, c), theirs = Libtiffs(page.image, c);
    EXPECT_TRUE(SameRows(ours.decoded, page.image));
    EXPECT_TRUE(SameRows(theirs.decoded, page.image));
    EXPECT_EQ(ours.strips, theirs.strips);
    EXPECT_GT(ours.bytes, 0u);
    EXPECT_LE(ours.bytes, theirs.bytes);
  }

  twtest::TempRoot root_;
  codectest::Module module_{u"TwTiff.dll"};
  TiffApi api_{module_};
};

TEST_P(FaxCoderTest, AdversarialAndRandomPagesDecodeExactlyAndNoLarger) {
  for (const Page& page : AdversarialPages()) Check(page);
}

// Coded data over a megabyte reaches libtiff in pieces appended to the strip.
TEST_P(FaxCoderTest, LargeCodedStripsArriveWhole) {
  std::mt19937 rng(3);
  Image noise = Pattern(3000, 2000, [&](std::uint32_t, std::uint32_t) { return rng() % 2 == 0; });
  Coded ours = Ours(noise, GetParam());
  EXPECT_GT(ours.bytes, 1u << 20);  // the pieces are 1 MB
  EXPECT_TRUE(SameRows(ours.decoded, noise));
}

TEST_P(FaxCoderTest, TextPageDecodesExactlyAndNoLarger) {
  static const Image text = TextPage();
  // The page holds text: ink on about 66 x 30 of its rows.
  std::size_t inked = 0;
  for (const auto& row : text.rows)
    inked += std::any_of(row.begin(), row.end(), [](BYTE b) { return b != 0xFF; });
  ASSERT_GT(inked, 1500u);
  Check({"text page", text});
}

TEST_P(FaxCoderTest, CorpusPagesDecodeExactlyAndNoLarger) {
  auto shared = twtest::SharedDir();
  if (shared.empty()) GTEST_SKIP() << "no shared corpus (TW_SHARED_DIR): the rendered metafile pages are not checked";
  // Every eighth metafile of the corpus: charts, drawings, text, bitmaps.
  std::vector<std::filesystem::path> files;
  for (const auto& e : std::filesystem::directory_iterator(shared / "corpus" / "emf"))
    if (e.path().extension() == ".emf") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  int checked = 0;
  for (std::size_t i = 0; i < files.size(); i += 8) {
    Image img = RenderedMetafile(files[i]);
    if (img.rows.empty()) continue;
    Check({files[i].filename().string(), img});
    ++checked;
  }
  EXPECT_GE(checked, 10);
}

INSTANTIATE_TEST_SUITE_P(Codings, FaxCoderTest, ::testing::ValuesIn(kCodings));

// ---- EncodeCcittImage ------------------------------------------------------------

struct RawMode {
  DWORD mode;
  WORD compression;  // the TIFF compression that reads the raw data
  DWORD t4Options;
};

void PrintTo(const RawMode& m, std::ostream* os) { *os << "mode 0x" << std::hex << m.mode; }

class RawCcittTest : public ::testing::TestWithParam<RawMode> {
 protected:
  RawCcittTest() { codectest::MakeFolder(u"C:\\Out"); }

  std::string Ours(const Image& page) {
    HANDLE f = CreateFileW(u"C:\\Out\\page.raw", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(api_.EncodeCcittImage(f, page.width, page.height, GetParam().mode, const_cast<Image*>(&page),
                                      &PageRows))
        << api_.ErrorText();
    CloseHandle(f);
    return codectest::ReadBytes(Host(u"C:\\Out\\page.raw"));
  }

  // libtiff's coder on the same rows, its strip as raw data (Group 3 with RTC).
  std::string Libtiffs(const Image& page) {
    auto path = root_.Dir() / "ref.tif";
    TIFF* t = TIFFOpen(path.c_str(), "w");
    SetTags(t, page);
    if (GetParam().compression == 3) TIFFSetField(t, TIFFTAG_FAXMODE, FAXMODE_CLASSIC);
    for (std::uint32_t y = 0; y < page.height; ++y) {
      std::vector<BYTE> row = page.rows[y];
      TIFFWriteScanline(t, row.data(), y, 0);
    }
    TIFFClose(t);
    t = TIFFOpen(path.c_str(), "r");
    std::string raw(std::size_t(TIFFRawStripSize(t, 0)), '\0');
    TIFFReadRawStrip(t, 0, raw.data(), static_cast<tmsize_t>(raw.size()));
    TIFFClose(t);
    return raw;
  }

  void SetTags(TIFF* t, const Image& page) {
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, GetParam().compression);
    if (GetParam().compression == 3) TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, GetParam().t4Options);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, page.height);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 196.0f);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 204.0f);
  }

  twtest::TempRoot root_;
  codectest::Module module_{u"TwTiff.dll"};
  TiffApi api_{module_};
};

TEST_P(RawCcittTest, DecodesExactlyAndNoLargerThanLibtiffs) {
  for (const Page& page : AdversarialPages()) {
    SCOPED_TRACE(page.name);
    std::string ours = Ours(page.image);
    EXPECT_TRUE(SameRows(
        DecodeStrip(ours, page.image, GetParam().compression, GetParam().t4Options, root_.Dir() / "wrapped.tif"),
        page.image));
    EXPECT_LE(ours.size(), Libtiffs(page.image).size());
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, RawCcittTest,
                         ::testing::Values(RawMode{3, 3, 0}, RawMode{0x10003, 3, GROUP3OPT_2DENCODING}, RawMode{4, 4, 0},
                                           RawMode{0x40003, 2, 0}));

}  // namespace
