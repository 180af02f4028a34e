// EncodeCcittImage: raw CCITT data at a file handle's position, decoded by
// libtiff's fax2tiff and by libtiff itself.
#include "tiff_test_support.h"

namespace {

using codectest::Host;
using codectest::Image;
using codectest::Quote;
using codectest::RunTool;
using namespace tifftest;

// The CALS and raw writers' rows: (width + 7) / 8 bytes, set bit = black.
int WINAPI CcittRows(BYTE* row, DWORD r, LPVOID context) {
  auto* img = static_cast<const Image*>(context);
  if (r >= img->height) return 3;
  for (std::size_t i = 0; i < img->rows[r].size(); ++i) row[i] = static_cast<BYTE>(~img->rows[r][i]);
  return 0;
}

class CcittTest : public ::testing::Test {
 protected:
  CcittTest() { codectest::MakeFolder(u"C:\\Out"); }

  // Writes a 2048-byte header, then the coded page; returns the coded bytes.
  std::string Encode(DWORD mode, const Image& page, BOOL* result = nullptr) {
    HANDLE f = CreateFileW(u"C:\\Out\\page.raw", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(f, INVALID_HANDLE_VALUE);
    std::string header(2048, ' ');
    DWORD done = 0;
    WriteFile(f, header.data(), 2048, &done, nullptr);
    BOOL ok = api_.EncodeCcittImage(f, page.width, page.height, mode, const_cast<Image*>(&page), &CcittRows);
    if (result) *result = ok;
    EXPECT_TRUE(ok || result) << api_.ErrorText();
    CloseHandle(f);
    std::string bytes = codectest::ReadBytes(Host(u"C:\\Out\\page.raw"));
    EXPECT_EQ(bytes.substr(0, 2048), header);
    return bytes.substr(2048);
  }

  twtest::TempRoot root_;
  codectest::Module module_{u"TwTiff.dll"};
  TiffApi api_{module_};
};

struct FaxMode {
  DWORD mode;
  const char* option;  // fax2tiff's option for the coding
};

class CcittModeTest : public CcittTest, public ::testing::WithParamInterface<FaxMode> {};

TEST_P(CcittModeTest, Fax2tiffDecodesThePage) {
  Image page = codectest::BilevelPage(1728, 500, 42);
  std::string data = Encode(GetParam().mode, page);
  ASSERT_FALSE(data.empty());
  auto raw = root_.Dir() / "page.fax";
  codectest::WriteBytes(raw, data);
  auto tif = root_.Dir() / "page.tif";
  auto r = RunTool(std::string("fax2tiff -M ") + GetParam().option + " -X 1728 -o " + Quote(tif) + " " + Quote(raw));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.find("bad"), std::string::npos) << r.output;
  auto read = ReadTiff(tif);
  ASSERT_EQ(read.size(), 1u);
  // fax2tiff reads the closing RTC (six EOLs) or EOFB as blank rows of its own.
  Image decoded = read[0].pixels;
  ASSERT_GE(decoded.height, page.height) << r.output;
  ASSERT_LE(decoded.height, page.height + 6) << r.output;
  bool minIsWhite = read[0].photometric == PHOTOMETRIC_MINISWHITE;
  for (std::uint32_t y = page.height; y < decoded.height; ++y)
    for (std::size_t i = 0; i < page.RowBytes(); ++i) EXPECT_EQ(decoded.rows[y][i], minIsWhite ? 0 : 0xFF);
  decoded.rows.resize(page.height);
  decoded.height = page.height;
  EXPECT_TRUE(SameRows(decoded, minIsWhite ? Inverted(page) : page));
}

INSTANTIATE_TEST_SUITE_P(Modes, CcittModeTest,
                         ::testing::Values(FaxMode{3, "-1"}, FaxMode{0x10003, "-2"}, FaxMode{4, "-4"}));

TEST_F(CcittTest, NoEolRowsAreByteAlignedModifiedHuffman) {
  Image page = codectest::BilevelPage(1000, 300, 7);
  std::string data = Encode(0x40003, page);
  // Wrapped as a TIFF strip with compression 2 (Modified Huffman, no EOL),
  // libtiff's decoder gives the page back.
  auto path = root_.Dir() / "rle.tif";
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTRLE);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, page.height);
  ASSERT_EQ(TIFFWriteRawStrip(t, 0, data.data(), static_cast<tmsize_t>(data.size())), tmsize_t(data.size()));
  TIFFClose(t);
  auto read = ReadTiff(path);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_TRUE(SameRows(read[0].pixels, Inverted(page)));
  // No EOL code (eleven zero bits then a one) anywhere in a page of runs.
  EXPECT_LT(data.size(), Encode(3, page).size());
}

TEST_F(CcittTest, BadModesAndFailingRowsWriteNothing) {
  Image page = codectest::BilevelPage(200, 50, 1);
  for (DWORD mode : {DWORD(5), DWORD(0x50003), DWORD(0x20004), DWORD(0)}) {
    BOOL ok = TRUE;
    EXPECT_EQ(Encode(mode, page, &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_ARGUMENT);
  }
  Image shorter = page;
  shorter.height = 20;
  shorter.rows.resize(20);
  HANDLE f = CreateFileW(u"C:\\Out\\short.raw", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_FALSE(api_.EncodeCcittImage(f, 200, 50, 4, &shorter, &CcittRows));
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_ROW_SOURCE);
  CloseHandle(f);
  EXPECT_EQ(std::filesystem::file_size(Host(u"C:\\Out\\short.raw")), 0u);
  EXPECT_FALSE(api_.EncodeCcittImage(INVALID_HANDLE_VALUE, 200, 50, 4, &page, &CcittRows));
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_ARGUMENT);
  EXPECT_FALSE(api_.EncodeCcittImage(nullptr, 200, 50, 4, &page, nullptr));
}

}  // namespace
