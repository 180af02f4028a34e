// The CALS and raw CCITT writers: the CALS header byte for byte, the coded
// data decoded by fax2tiff and libtiff, every raw coding, the bit sense of
// either colour table, and the failures with their numbers.
#include "../../libs/twtiff/tiff_test_support.h"
#include "../writer_fixture.h"
#include "output/ccitt/cals_header.h"

namespace {

using codectest::Image;
using codectest::Quote;
using codectest::RunTool;
using writertest::WriterFixture;

std::string Record(const std::string& text) { return text + std::string(128 - text.size(), ' '); }

TEST(CalsHeader, SixteenRecordsOfTheirKeysAndValues) {
  const auto header = tw::ccitt::MakeCalsHeader(1728, 2200, 7874);
  std::string expected = Record("srcdocid: ") + Record("dstdocis: ") + Record("txtfileid: ") + Record("figid: ") +
                         Record("scrgph: ") + Record("doccls: ") + Record("rtype: 1") + Record("rorient: 000,270") +
                         Record("rpelcnt: 001728,002200") + Record("rdensty: 0200") + Record("notes: ");
  expected += std::string(5 * 128, ' ');
  ASSERT_EQ(expected.size(), 2048u);
  EXPECT_EQ(std::string(header.begin(), header.end()), expected);
  // 300 dpi rounds from 11811 pixels per metre; a page without resolution has density 0.
  const auto fine = tw::ccitt::MakeCalsHeader(2550, 3300, 11811);
  EXPECT_EQ(std::string(fine.data() + 9 * 128, 13), "rdensty: 0300");
  const auto none = tw::ccitt::MakeCalsHeader(1, 1, 0);
  EXPECT_EQ(std::string(none.data() + 8 * 128, 22), "rpelcnt: 000001,000001");
  EXPECT_EQ(std::string(none.data() + 9 * 128, 13), "rdensty: 0000");
}

class CcittWriter : public WriterFixture {
 protected:
  // Raw CCITT data decoded by fax2tiff with the coding's option, then read by libtiff;
  // the rows of the page (white bits set, as the DIB).
  Image Fax2tiff(const std::string& data, std::uint32_t width, const char* option, std::uint32_t height) {
    auto raw = root_.Dir() / "data.fax";
    codectest::WriteBytes(raw, data);
    auto tif = root_.Dir() / "data.tif";
    std::filesystem::remove(tif);
    auto r = RunTool(std::string("fax2tiff -M ") + option + " -X " + std::to_string(width) + " -o " + Quote(tif) +
                     " " + Quote(raw));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("bad"), std::string::npos) << r.output;
    auto read = tifftest::ReadTiff(tif);
    if (read.size() != 1) return {};
    Image decoded = read[0].pixels;
    // The closing RTC or EOFB reads as up to six blank rows.
    EXPECT_GE(decoded.height, height);
    EXPECT_LE(decoded.height, height + 6);
    decoded.rows.resize(std::min(decoded.height, height));
    decoded.height = static_cast<std::uint32_t>(decoded.rows.size());
    return read[0].photometric == PHOTOMETRIC_MINISWHITE ? tifftest::Inverted(decoded) : decoded;
  }
  // Rows without EOL, wrapped as one strip of a compression-2 TIFF and read by libtiff.
  Image ReadNoEol(const std::string& data, std::uint32_t width, std::uint32_t height) {
    auto path = root_.Dir() / "rle.tif";
    TIFF* t = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(t, nullptr);
    if (!t) return {};
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTRLE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height);
    TIFFWriteRawStrip(t, 0, const_cast<char*>(data.data()), static_cast<tmsize_t>(data.size()));
    TIFFClose(t);
    auto read = tifftest::ReadTiff(path);
    return read.size() == 1 ? tifftest::Inverted(read[0].pixels) : Image{};
  }
  // The page with its colour table turned round (white first) and its bits inverted: the same picture.
  static tw::dib::GlobalBlock WhiteFirst(const Image& page) {
    Image flipped = tifftest::Inverted(page);
    std::swap(flipped.colors[0], flipped.colors[1]);
    return tw::dib::GlobalBlock(codectest::MakeDib(flipped));
  }
};

TEST_F(CcittWriter, CalsIsTheHeaderAndGroup4Data) {
  auto job = StartedJob(Record(11));
  auto& writer = WriterOf<CTWCALSFile>(*job);
  const Image page = codectest::BilevelPage(1728, 220, 11);
  tw::dib::GlobalBlock dib(codectest::MakeDib(page));
  ASSERT_TRUE(writer.SavePageDIB(dib.get(), u"C:\\out\\page.cg4")) << Status(*job);
  std::string bytes = Read("page.cg4");
  ASSERT_GT(bytes.size(), 2048u);
  const auto header = tw::ccitt::MakeCalsHeader(1728, 220, 7874);
  EXPECT_EQ(bytes.substr(0, 2048), std::string(header.begin(), header.end()));
  EXPECT_EQ(bytes.substr(8 * 128, 22), "rpelcnt: 001728,000220");
  EXPECT_TRUE(tifftest::SameRows(Fax2tiff(bytes.substr(2048), 1728, "-4", 220), page));
  // A table with white first is the same picture.
  tw::dib::GlobalBlock flipped = WhiteFirst(page);
  ASSERT_TRUE(writer.SavePageDIB(flipped.get(), u"C:\\out\\flip.cg4"));
  EXPECT_EQ(Read("flip.cg4"), bytes);
}

TEST_F(CcittWriter, ARenderedPageBecomesACalsFile) {
  twtest::LeakGuard leaks;
  {
    auto job = StartedJob(Record(11));
    DWORD size = 0;
    auto page = writertest::BoxPage(job->m_DevMode, size);
    ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\box.cg4", TRUE)) << Status(*job);
    ReleaseRenderBitmapCache();
    tw::core::ThreadStateDetachThread();
  }
  std::string bytes = Read("box.cg4");
  EXPECT_EQ(bytes.substr(8 * 128, 22), "rpelcnt: 002550,003300");
  EXPECT_EQ(bytes.substr(9 * 128, 13), "rdensty: 0300");
  Image decoded = Fax2tiff(bytes.substr(2048), 2550, "-4", 3300);
  ASSERT_EQ(decoded.height, 3300u);
  auto white = [&](std::uint32_t x, std::uint32_t y) { return (decoded.rows[y][x / 8] >> (7 - x % 8)) & 1; };
  EXPECT_EQ(white(101, 201), 0);
  EXPECT_EQ(white(298, 398), 0);
  EXPECT_EQ(white(99, 201), 1);
  EXPECT_EQ(white(50, 3000), 1);
}

struct RawCase {
  DWORD code;
  const char* option;  // fax2tiff's; null: no EOL, read through the compression-2 wrapper
};

class RawWriter : public CcittWriter, public ::testing::WithParamInterface<RawCase> {};

TEST_P(RawWriter, EveryCodingDecodesToThePage) {
  auto job = StartedJob(Record(GetParam().code));
  auto& writer = WriterOf<CTWRawFile>(*job);
  const Image page = codectest::BilevelPage(1000, 150, GetParam().code);
  tw::dib::GlobalBlock dib(codectest::MakeDib(page));
  ASSERT_TRUE(writer.SavePageDIB(dib.get(), u"C:\\out\\page.raw")) << Status(*job);
  const std::string data = Read("page.raw");
  Image decoded = GetParam().option ? Fax2tiff(data, 1000, GetParam().option, 150) : ReadNoEol(data, 1000, 150);
  EXPECT_TRUE(tifftest::SameRows(decoded, page));
  tw::dib::GlobalBlock flipped = WhiteFirst(page);
  ASSERT_TRUE(writer.SavePageDIB(flipped.get(), u"C:\\out\\flip.raw"));
  EXPECT_EQ(Read("flip.raw"), data);
}

INSTANTIATE_TEST_SUITE_P(Codes, RawWriter,
                         ::testing::Values(RawCase{12, "-1"}, RawCase{13, nullptr}, RawCase{14, "-2"},
                                           RawCase{15, "-4"}));

TEST_F(CcittWriter, CalsFailuresCarryTheirNumbers) {
  auto job = StartedJob(Record(11));
  auto& writer = WriterOf<CTWCALSFile>(*job);
  DWORD size = 0;
  auto page = writertest::BoxPage(job->m_DevMode, size);
  EXPECT_FALSE(writer.SaveFile(nullptr, 0, u"C:\\out\\a.cg4", TRUE));
  EXPECT_EQ(Status(*job), "Internal error: 27.");
  EXPECT_FALSE(writer.SaveFile(page.get(), size, nullptr, TRUE));
  EXPECT_EQ(Status(*job), "Internal error: 28.");
  for (auto& bad : MalformedDibs()) {
    EXPECT_FALSE(writer.SavePageDIB(bad.get(), u"C:\\out\\bad.cg4"));
    EXPECT_EQ(Status(*job), "Internal error: 29.");
  }
  tw::dib::GlobalBlock grey(codectest::MakeDib(codectest::RandomImage(16, 16, 8, 1)));
  job->HandleError(1, __FILE__, __LINE__);
  EXPECT_FALSE(writer.SavePageDIB(grey.get(), u"C:\\out\\bad.cg4"));
  EXPECT_EQ(Status(*job), "Internal error: 29.");
  EXPECT_FALSE(std::filesystem::exists(Out("bad.cg4")));

  tw::dib::GlobalBlock dib(codectest::MakeDib(codectest::BilevelPage(500, 300, 2)));
  EXPECT_FALSE(writer.SavePageDIB(dib.get(), u"C:\\missing\\a.cg4"));
  EXPECT_EQ(Status(*job).rfind("25: Cannot write CALS file: ", 0), 0u) << Status(*job);
  {
    enctest::FileSizeLimit limit(2100);
    EXPECT_FALSE(writer.SavePageDIB(dib.get(), u"C:\\out\\full.cg4"));
  }
  EXPECT_EQ(Status(*job), "Internal error: 31.");
  EXPECT_FALSE(std::filesystem::exists(Out("full.cg4")));
  // A library without the coder, and one that is not there.
  writer.m_DevMode.TiffDllName.Set(u"TwJpeg.dll");
  EXPECT_FALSE(writer.SavePageDIB(dib.get(), u"C:\\out\\b.cg4"));
  EXPECT_EQ(Status(*job), "Internal error: 30.");
  writer.m_DevMode.TiffDllName.Set(u"C:\\nowhere\\NoSuch.dll");
  EXPECT_FALSE(writer.SavePageDIB(dib.get(), u"C:\\out\\b.cg4"));
  EXPECT_EQ(Status(*job), "TwTiff.dll cannot be loaded");
  EXPECT_FALSE(std::filesystem::exists(Out("b.cg4")));
}

TEST_F(CcittWriter, RawFailuresCarryTheirNumbers) {
  auto job = StartedJob(Record(15));
  auto& writer = WriterOf<CTWRawFile>(*job);
  DWORD size = 0;
  auto page = writertest::BoxPage(job->m_DevMode, size);
  EXPECT_FALSE(writer.SaveFile(nullptr, 0, u"C:\\out\\a.raw", TRUE));
  EXPECT_EQ(Status(*job), "Internal error: 32.");
  EXPECT_FALSE(writer.SaveFile(page.get(), size, nullptr, TRUE));
  EXPECT_EQ(Status(*job), "Internal error: 33.");
  for (auto& bad : MalformedDibs()) {
    EXPECT_FALSE(writer.SavePageDIB(bad.get(), u"C:\\out\\bad.raw"));
    EXPECT_EQ(Status(*job), "Internal error: 34.");
  }
  tw::dib::GlobalBlock dib(codectest::MakeDib(codectest::BilevelPage(500, 300, 2)));
  // No path check for the raw writer.
  EXPECT_FALSE(writer.SavePageDIB(dib.get(), u"C:\\missing\\a.raw"));
  EXPECT_EQ(Status(*job), "Internal error: 36.");
  {
    enctest::FileSizeLimit limit(100);
    EXPECT_FALSE(writer.SavePageDIB(dib.get(), u"C:\\out\\full.raw"));
  }
  EXPECT_EQ(Status(*job), "Internal error: 37.");
  EXPECT_FALSE(std::filesystem::exists(Out("full.raw")));
  writer.m_DevMode.TiffDllName.Set(u"TwJpeg.dll");
  EXPECT_FALSE(writer.SavePageDIB(dib.get(), u"C:\\out\\b.raw"));
  EXPECT_EQ(Status(*job), "Internal error: 35.");
  EXPECT_FALSE(std::filesystem::exists(Out("b.raw")));
}

}  // namespace
