// The JPEG writers: pages as JFIF files (decoded by djpeg and checked by
// jpeginfo), their quality and density, the CIELAB writer's samples and
// marker, the library's missing entry points, failures and page DIBs that
// are no page DIBs.
// clang-format off
#include <cmath>
#include <cstdio>
#include <map>
#include <jpeglib.h>
// clang-format on

#include "../encoder_test_support.h"
#include "../writer_fixture.h"
#include "jpeg_facts.h"

namespace {

using codectest::Host;
using codectest::Quote;
using codectest::RunTool;
using twtest::InspectJpeg;
using twtest::JpegFacts;
using writertest::ReportedErrors;

// A smooth photograph-like page (JPEG's kind of image), 24 bits.
codectest::Image Photo(std::uint32_t w, std::uint32_t h) {
  codectest::Image img{w, h, 24, {}, {}};
  for (std::uint32_t y = 0; y < h; ++y) {
    std::vector<BYTE> row(3 * w);
    for (std::uint32_t x = 0; x < w; ++x) {
      row[3 * x] = static_cast<BYTE>(128 + 100 * std::sin(x / 23.0));
      row[3 * x + 1] = static_cast<BYTE>((x + 2 * y) % 256 / 2 + 60);
      row[3 * x + 2] = static_cast<BYTE>(200 - y % 150);
    }
    img.rows.push_back(row);
  }
  return img;
}

class JpegWriterTest : public writertest::WriterFixture {
 protected:
  // djpeg's decoding of a file as RGB triples.
  static std::vector<BYTE> Decoded(const std::u16string& name) {
    return enctest::PnmRgb(enctest::DecodeWith("djpeg -pnm " + Quote(Host(name))));
  }
  template <typename Writer>
  static BOOL SaveDib(CTWJob& job, const codectest::Image& img, const WCHAR* name, LONG ppmX = 7874,
                      LONG ppmY = 7874) {
    tw::dib::GlobalBlock dib(codectest::MakeDib(img, ppmX, ppmY));
    auto* writer = dynamic_cast<Writer*>(job.m_pOutputFile.get());
    EXPECT_NE(writer, nullptr);
    return writer && writer->SavePageDIB(dib.get(), name);
  }
};

TEST_F(JpegWriterTest, PagesBecomeJfifFilesCloseToThePageWithItsDensity) {
  twtest::LeakGuard leaks;
  {
    auto job = StartedJob(LowResRecord(16));
    DWORD size = 0;
    auto page = writertest::BoxPage(job->m_DevMode, size, RGB(255, 0, 0));
    ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\box.jpg", TRUE));
    auto check = RunTool("jpeginfo -c " + Quote(Host(u"C:\\out\\box.jpg")));
    EXPECT_EQ(check.status, 0) << check.output;
    codectest::DibContents rendered = Rendered(*job, page.get());
    ASSERT_EQ(rendered.image.bits, 24);
    EXPECT_GE(codectest::Psnr(Decoded(u"C:\\out\\box.jpg"), codectest::ToRgb(rendered.image)), 30.0);
    JpegFacts f = InspectJpeg(Host(u"C:\\out\\box.jpg"));
    EXPECT_TRUE(f.jfif);
    EXPECT_EQ(f.width, rendered.header.biWidth);
    EXPECT_EQ(f.densityUnit, 1);  // dots per inch
    EXPECT_EQ(f.xDensity, static_cast<int>(std::lround(rendered.header.biXPelsPerMeter * 0.0254)));
  }
  writertest::ReleaseThreadCaches();
}

TEST_F(JpegWriterTest, TheLossRatioIsTheQuality) {
  auto job = StartedJob(LowResRecord(16));
  codectest::Image photo = Photo(320, 240);
  std::map<DWORD, std::uintmax_t> sizes;
  for (DWORD ratio : {10u, 75u, 90u}) {
    job->m_pOutputFile->m_DevMode.LossRatio = ratio;
    const std::u16string name = u"C:\\out\\q" + tw::FromUtf8(std::to_string(ratio)) + u".jpg";
    ASSERT_TRUE(SaveDib<CTWJPEGFile>(*job, photo, name.c_str(), 8032, 3858));
    sizes[ratio] = std::filesystem::file_size(Host(name));
    JpegFacts f = InspectJpeg(Host(name));
    EXPECT_EQ(f.xDensity, 204);
    EXPECT_EQ(f.yDensity, 98);
  }
  EXPECT_LT(sizes[10], sizes[90]);
  EXPECT_LT(sizes[75], sizes[90]);
  EXPECT_GE(codectest::Psnr(Decoded(u"C:\\out\\q75.jpg"), codectest::ToRgb(photo)), 30.0);
}

TEST_F(JpegWriterTest, LabPagesHoldCielabSamplesAndTheirMarker) {
  // Neutral greys: a* and b* are 0, L* follows the lightness.
  auto lightness = [](BYTE v) {
    double c = v / 255.0;
    double y = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    double f = y > 216.0 / 24389 ? std::cbrt(y) : (24389.0 / 27 * y + 16) / 116;
    return 116 * f - 16;
  };
  auto job = StartedJob(LowResRecord(17));
  for (BYTE grey : {BYTE{40}, BYTE{119}, BYTE{200}}) {
    codectest::Image patch{64, 32, 24, {}, std::vector<std::vector<BYTE>>(32, std::vector<BYTE>(64 * 3, grey))};
    ASSERT_TRUE(SaveDib<CTWJPEGLabFile>(*job, patch, u"C:\\out\\lab.jpg"));
    auto check = RunTool("jpeginfo -c " + Quote(Host(u"C:\\out\\lab.jpg")));
    EXPECT_EQ(check.status, 0) << check.output;
    JpegFacts f = InspectJpeg(Host(u"C:\\out\\lab.jpg"));
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.components, 3);
    EXPECT_FALSE(f.jfif);
    EXPECT_TRUE(f.faxMarker);
    EXPECT_EQ(f.hSampling, 2);
    EXPECT_EQ(f.vSampling, 2);
    ASSERT_EQ(f.samples.size(), 64u * 32u * 3u);
    const size_t centre = (16 * 64 + 32) * 3;
    EXPECT_NEAR(f.samples[centre] * 100.0 / 255, lightness(grey), 2.0) << int(grey);
    EXPECT_NEAR(f.samples[centre + 1] * 170.0 / 255 - 85, 0.0, 2.0) << int(grey);
    EXPECT_NEAR(f.samples[centre + 2] * 200.0 / 255 - 75, 0.0, 2.0) << int(grey);
    std::string bytes = codectest::ReadBytes(Host(u"C:\\out\\lab.jpg"));
    EXPECT_NE(bytes.find(std::string("G3FAX\0", 6)), std::string::npos);
  }
  // A whole page through the writer.
  DWORD size = 0;
  auto page = writertest::BoxPage(job->m_DevMode, size, RGB(255, 0, 0));
  ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\page.jpg", TRUE));
  auto check = RunTool("jpeginfo -c " + Quote(Host(u"C:\\out\\page.jpg")));
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_TRUE(InspectJpeg(Host(u"C:\\out\\page.jpg")).faxMarker);
}

TEST_F(JpegWriterTest, FailuresCarryEachWritersNumbers) {
  struct Case {
    DWORD code;
    int noData, noName, entryMissing, notWritten;
    const char* library;  // the test build without the writer's save
    std::u16string prefix;
  } cases[] = {{16, 12, 13, 15, 16, "TwJpegNoSave.dll", u"25: Cannot write JPEG file: "},
               {17, 17, 18, 20, 21, "TwJpegNoSaveEx.dll", u"25: Cannot write JPEG LAB file: "}};
  for (const auto& c : cases) {
    auto job = StartedJob(LowResRecord(c.code));
    DWORD size = 0;
    auto page = writertest::BoxPage(job->m_DevMode, size, RGB(255, 0, 0));
    CTWFile& writer = *job->m_pOutputFile;
    auto status = [&] { return std::u16string(job->PrintStatus()); };
    auto number = [](int n) { return u"Internal error: " + tw::FromUtf8(std::to_string(n)) + u"."; };
    EXPECT_FALSE(writer.SaveFile(nullptr, 0, u"C:\\out\\a.jpg", TRUE));
    EXPECT_EQ(status(), number(c.noData));
    EXPECT_FALSE(writer.SaveFile(page.get(), size, nullptr, TRUE));
    EXPECT_EQ(status(), number(c.noName));
    // A folder that is not there: the path check reports it.
    EXPECT_FALSE(writer.SaveFile(page.get(), size, u"C:\\missing\\a.jpg", TRUE));
    EXPECT_EQ(status().rfind(c.prefix, 0), 0u) << tw::ToUtf8(status());

    // The library without the writer's entry point: its number, then the path check's.
    auto before = ReportedErrors().size();
    writer.m_DevMode.JpegDllName.Set(tw::FromUtf8(c.library));
    EXPECT_FALSE(writer.SaveFile(page.get(), size, u"C:\\out\\a.jpg", TRUE));
    auto errors = ReportedErrors();
    ASSERT_EQ(errors.size(), before + 2);
    EXPECT_EQ(errors[before], std::to_string(c.entryMissing));
    EXPECT_EQ(errors[before + 1], std::to_string(c.notWritten));
    // No library at all: the message, then the path check's number.
    writer.m_DevMode.JpegDllName.Set(u"C:\\nowhere\\NoSuch.dll");
    EXPECT_FALSE(writer.SaveFile(page.get(), size, u"C:\\out\\a.jpg", TRUE));
    errors = ReportedErrors();
    ASSERT_EQ(errors.size(), before + 4);
    EXPECT_EQ(errors[before + 2], "TwJpeg.dll cannot be loaded");
    EXPECT_EQ(errors[before + 3], std::to_string(c.notWritten));
    EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\out\\a.jpg")));
    job.reset();
    writertest::ReleaseThreadCaches();
  }
}

TEST_F(JpegWriterTest, DibsThatAreNoPageDibsAreNotEncoded) {
  twtest::LeakGuard leaks;
  auto plain = StartedJob(LowResRecord(16));
  auto lab = StartedJob(LowResRecord(17));
  for (const auto& bad : writertest::BadPageDibs()) {
    tw::dib::GlobalBlock dib(writertest::Block(bad.bytes));
    // The plain writer has no number for it: FALSE, nothing reported.
    EXPECT_FALSE(dynamic_cast<CTWJPEGFile&>(*plain->m_pOutputFile).SavePageDIB(dib.get(), u"C:\\out\\bad.jpg"))
        << bad.what;
    EXPECT_EQ(std::u16string(plain->PrintStatus()), u"Printing started") << bad.what;
    EXPECT_FALSE(dynamic_cast<CTWJPEGLabFile&>(*lab->m_pOutputFile).SavePageDIB(dib.get(), u"C:\\out\\bad.jpg"))
        << bad.what;
    EXPECT_EQ(std::u16string(lab->PrintStatus()), u"Internal error: 19.") << bad.what;
    EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\out\\bad.jpg"))) << bad.what;
  }
  plain.reset();
  lab.reset();
  writertest::ReleaseThreadCaches();
}

}  // namespace
