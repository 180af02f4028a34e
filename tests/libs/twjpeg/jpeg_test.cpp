// TwJpeg.dll: JFIF and CIELAB files checked with jpeginfo and libjpeg
// itself, read back with LoadJPEGIntoDIBW; failures, truncated and damaged
// files; TIFF files handed to the TIFF library.
// clang-format off
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include "../codec_test_support.h"
#include "jpeg_facts.h"
#include "tw/root.h"
#include "tw_jpeg_api.h"
#include "tw_tiff_api.h"

namespace {

using codectest::Host;
using codectest::Image;
using codectest::Quote;
using codectest::RunTool;
using twtest::InspectJpeg;
using twtest::JpegFacts;

class JpegTest : public ::testing::Test {
 protected:
  JpegTest() { codectest::MakeFolder(u"C:\\Out"); }

  int Save(const std::u16string& name, const Image& img, int quality) {
    HGLOBAL dib = codectest::MakeDib(img);
    int r = save_(name.c_str(), dib, quality);
    lastError_ = GetLastError();
    GlobalFree(dib);
    return r;
  }
  codectest::DibContents Load(const std::u16string& name) {
    HGLOBAL dib = load_(name.c_str());
    EXPECT_NE(dib, nullptr) << "error " << GetLastError();
    codectest::DibContents out;
    if (dib) out = codectest::ReadDib(dib);
    GlobalFree(dib);
    return out;
  }
  // A smooth photograph-like page (JPEG's kind of image).
  static Image Photo(std::uint32_t w, std::uint32_t h) {
    Image img{w, h, 24, {}, {}};
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
  static TW_JPEG_PARAMS LabBlock(WORD quality) {
    // The block the L*a*b writer fills: zero but for these values.
    TW_JPEG_PARAMS p;
    std::memset(&p, 0, sizeof p);
    auto* b = reinterpret_cast<BYTE*>(&p);
    std::memcpy(b + 12, &quality, 2);
    WORD two = 2, one = 1;
    DWORD one32 = 1;
    std::memcpy(b + 20, &two, 2);
    std::memcpy(b + 22, &two, 2);
    std::memcpy(b + 26, &one, 2);
    std::memcpy(b + 44, &one32, 4);
    std::memcpy(b + 48, &one32, 4);
    return p;
  }

  DWORD lastError_ = 0;  // right after the last Save
  twtest::TempRoot root_;
  codectest::Module module_{u"TwJpeg.dll"};
  SaveDIBInJPEGFileW_PROC save_ = module_.Proc<SaveDIBInJPEGFileW_PROC>("SaveDIBInJPEGFileW");
  SaveDIBInJPEGFileExW_PROC saveEx_ = module_.Proc<SaveDIBInJPEGFileExW_PROC>("SaveDIBInJPEGFileExW");
  LoadJPEGIntoDIBW_PROC load_ = module_.Proc<LoadJPEGIntoDIBW_PROC>("LoadJPEGIntoDIBW");
  SetTiffDllName_PROC setTiff_ = module_.Proc<SetTiffDllName_PROC>("SetTiffDllName");
};

TEST_F(JpegTest, ExportsAndTheBuildsWithoutASave) {
  codectest::Module lacking(u"TwJpegNoSave.dll"), lackingEx(u"TwJpegNoSaveEx.dll");
  ASSERT_NE(lacking.Get(), nullptr);
  ASSERT_NE(lackingEx.Get(), nullptr);
  for (const char* name : {"SetTiffDllName", "SaveDIBInJPEGFileW", "SaveDIBInJPEGFileExW", "LoadJPEGIntoDIBW"}) {
    EXPECT_NE(GetProcAddress(module_.Get(), name), nullptr) << name;
    EXPECT_EQ(GetProcAddress(lacking.Get(), name) == nullptr, std::string(name) == "SaveDIBInJPEGFileW") << name;
    EXPECT_EQ(GetProcAddress(lackingEx.Get(), name) == nullptr, std::string(name) == "SaveDIBInJPEGFileExW") << name;
  }
}

TEST_F(JpegTest, ColourPagesWithTheirDensity) {
  Image photo = Photo(400, 300);
  ASSERT_EQ(Save(u"C:\\Out\\photo.jpg", photo, 90), TW_JPEG_OK);
  auto path = Host(u"C:\\Out\\photo.jpg");
  auto check = RunTool("jpeginfo -c " + Quote(path));
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_NE(check.output.find(" 400 x  300 24bit N JFIF "), std::string::npos) << check.output;
  EXPECT_NE(check.output.find(" OK"), std::string::npos) << check.output;
  EXPECT_EQ(RunTool("djpeg -pnm -outfile " + Quote(root_.Dir() / "p.ppm") + " " + Quote(path)).status, 0);
  JpegFacts f = InspectJpeg(path);
  EXPECT_TRUE(f.jfif);
  EXPECT_EQ(f.densityUnit, 1);
  EXPECT_EQ(f.xDensity, 200);  // 7874 pixels per metre
  EXPECT_EQ(f.colorSpace, JCS_YCbCr);

  auto back = Load(u"C:\\Out\\photo.jpg");
  EXPECT_EQ(back.image.bits, 24);
  EXPECT_GE(codectest::Psnr(codectest::ToRgb(back.image), codectest::ToRgb(photo)), 30.0);
  EXPECT_NEAR(back.header.biXPelsPerMeter, 7874, 20);

  // Lower quality, smaller file.
  ASSERT_EQ(Save(u"C:\\Out\\small.jpg", photo, 10), TW_JPEG_OK);
  EXPECT_LT(std::filesystem::file_size(Host(u"C:\\Out\\small.jpg")), std::filesystem::file_size(path));
  ASSERT_EQ(Save(u"C:\\Out\\clamped.jpg", photo, 0), TW_JPEG_OK);  // below 1 reads as 1
  EXPECT_EQ(RunTool("jpeginfo -c " + Quote(Host(u"C:\\Out\\clamped.jpg"))).status, 0);
}

TEST_F(JpegTest, GreyAndPalettePages) {
  Image grey = codectest::RandomImage(120, 80, 8, 2);
  for (int i = 0; i < 256; ++i) grey.colors[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
  for (std::uint32_t y = 0; y < grey.height; ++y)
    for (std::uint32_t x = 0; x < grey.width; ++x) grey.rows[y][x] = static_cast<BYTE>(x * 2 + y);
  ASSERT_EQ(Save(u"C:\\Out\\grey.jpg", grey, 95), TW_JPEG_OK);
  EXPECT_EQ(InspectJpeg(Host(u"C:\\Out\\grey.jpg")).components, 1);
  auto back = Load(u"C:\\Out\\grey.jpg");
  EXPECT_EQ(back.image.bits, 8);
  EXPECT_GE(codectest::Psnr(codectest::ToRgb(back.image), codectest::ToRgb(grey)), 30.0);

  Image page = codectest::BilevelPage(160, 90, 3);  // black and white table: grey
  ASSERT_EQ(Save(u"C:\\Out\\page.jpg", page, 90), TW_JPEG_OK);
  EXPECT_EQ(InspectJpeg(Host(u"C:\\Out\\page.jpg")).components, 1);
  Image colours = codectest::RandomImage(64, 64, 4, 5);
  ASSERT_EQ(Save(u"C:\\Out\\colours.jpg", colours, 90), TW_JPEG_OK);
  EXPECT_EQ(InspectJpeg(Host(u"C:\\Out\\colours.jpg")).components, 3);
  EXPECT_EQ(RunTool("jpeginfo -c " + Quote(Host(u"C:\\Out\\colours.jpg"))).status, 0);
}

TEST_F(JpegTest, LabPagesUseTheFaxEncodingAndComeBack) {
  Image photo = Photo(300, 200);
  HGLOBAL dib = codectest::MakeDib(photo);
  TW_JPEG_PARAMS params = LabBlock(90);
  ASSERT_EQ(saveEx_(u"C:\\Out\\lab.jpg", dib, &params), TW_JPEG_OK);
  auto path = Host(u"C:\\Out\\lab.jpg");
  auto check = RunTool("jpeginfo -c " + Quote(path));
  EXPECT_EQ(check.status, 0) << check.output;
  JpegFacts f = InspectJpeg(path);
  EXPECT_EQ(f.components, 3);
  EXPECT_FALSE(f.jfif);  // no colour transform is implied
  EXPECT_TRUE(f.faxMarker);
  EXPECT_EQ(f.hSampling, 2);
  EXPECT_EQ(f.vSampling, 2);
  auto back = Load(u"C:\\Out\\lab.jpg");
  EXPECT_EQ(back.image.bits, 24);
  EXPECT_GE(codectest::Psnr(codectest::ToRgb(back.image), codectest::ToRgb(photo)), 30.0);
  EXPECT_NEAR(back.header.biXPelsPerMeter, 7874, 20);

  // The same block with YCbCr (colour space 0) is a plain JFIF file.
  params.wColorSpace = 0;
  ASSERT_EQ(saveEx_(u"C:\\Out\\ycc.jpg", dib, &params), TW_JPEG_OK);
  EXPECT_TRUE(InspectJpeg(Host(u"C:\\Out\\ycc.jpg")).jfif);
  params.wColorSpace = 7;
  EXPECT_EQ(saveEx_(u"C:\\Out\\bad.jpg", dib, &params), TW_JPEG_ERROR_ARGUMENT);
  params = LabBlock(90);
  params.wHSampling = 3;
  EXPECT_EQ(saveEx_(u"C:\\Out\\bad.jpg", dib, &params), TW_JPEG_ERROR_ARGUMENT);
  EXPECT_EQ(saveEx_(u"C:\\Out\\bad.jpg", dib, nullptr), TW_JPEG_ERROR_ARGUMENT);
  GlobalFree(dib);
}

TEST_F(JpegTest, FailuresReportAndLeaveNoFile) {
  Image photo = Photo(40, 30);
  EXPECT_EQ(Save(u"C:\\Missing\\a.jpg", photo, 75), TW_JPEG_ERROR_CREATE);
  EXPECT_EQ(lastError_, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  auto machine = *tw::config::Get();
  machine.denyWrite = {u"C:\\Locked"};
  ASSERT_TRUE(tw::config::Save(machine));
  codectest::MakeFolder(u"C:\\Locked");
  EXPECT_EQ(Save(u"C:\\Locked\\a.jpg", photo, 75), TW_JPEG_ERROR_CREATE);
  EXPECT_EQ(lastError_, static_cast<DWORD>(ERROR_ACCESS_DENIED));

  HGLOBAL dib = codectest::MakeDib(photo);
  auto* h = static_cast<BITMAPINFOHEADER*>(GlobalLock(dib));
  h->biHeight = 31;  // one row more than the block holds
  GlobalUnlock(dib);
  EXPECT_EQ(save_(u"C:\\Out\\bad.jpg", dib, 75), TW_JPEG_ERROR_DIB);
  EXPECT_EQ(save_(u"C:\\Out\\bad.jpg", nullptr, 75), TW_JPEG_ERROR_DIB);
  EXPECT_EQ(save_(nullptr, dib, 75), TW_JPEG_ERROR_ARGUMENT);
  GlobalFree(dib);
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Out\\bad.jpg")));
}

TEST_F(JpegTest, CmykFilesLoadAsRgb) {
  // libjpeg writes CMYK with an APP14 marker; such files store ink inverted
  // (255 = no ink): stored (255, 0, 255, 255) is magenta.
  auto path = Host(u"C:\\Out\\cmyk.jpg");
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, out);
  c.image_width = 16;
  c.image_height = 16;
  c.input_components = 4;
  c.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 100, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row(16 * 4);
  for (int x = 0; x < 16; ++x) row[4 * x] = 255, row[4 * x + 1] = 0, row[4 * x + 2] = 255, row[4 * x + 3] = 255;
  while (c.next_scanline < c.image_height) {
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&c, &p, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(out);
  auto back = Load(u"C:\\Out\\cmyk.jpg");
  ASSERT_EQ(back.image.bits, 24);
  EXPECT_NEAR(back.image.rows[8][24], 255, 3);  // red
  EXPECT_NEAR(back.image.rows[8][25], 0, 3);    // green
  EXPECT_NEAR(back.image.rows[8][26], 255, 3);  // blue
}

TEST_F(JpegTest, TruncatedAndDamagedFilesGiveNull) {
  Image photo = Photo(96, 64);
  ASSERT_EQ(Save(u"C:\\Out\\good.jpg", photo, 80), TW_JPEG_OK);
  std::string bytes = codectest::ReadBytes(Host(u"C:\\Out\\good.jpg"));
  for (std::size_t cut : {std::size_t(0), std::size_t(3), std::size_t(20), bytes.size() / 3, bytes.size() / 2,
                          bytes.size() - 10, bytes.size() - 2}) {
    codectest::WriteBytes(Host(u"C:\\Out\\cut.jpg"), bytes.substr(0, cut));
    EXPECT_EQ(load_(u"C:\\Out\\cut.jpg"), nullptr) << cut;
  }
  std::mt19937 rng(5);
  for (int trial = 0; trial < 80; ++trial) {
    std::string damaged = bytes;
    for (int k = 0; k < 1 + trial % 3; ++k) damaged[rng() % damaged.size()] = static_cast<char>(rng());
    codectest::WriteBytes(Host(u"C:\\Out\\damaged.jpg"), damaged);
    if (HGLOBAL dib = load_(u"C:\\Out\\damaged.jpg")) GlobalFree(dib);  // a DIB or null, never a crash
  }
  EXPECT_EQ(load_(u"C:\\Out\\none.jpg"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  codectest::WriteBytes(Host(u"C:\\Out\\text.jpg"), "this is text, not a picture");
  EXPECT_EQ(load_(u"C:\\Out\\text.jpg"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST_F(JpegTest, TiffFilesGoToTheTiffLibrary) {
  // A TIFF with a JPEG name, written by the TIFF library.
  codectest::Module tiff(u"TwTiff.dll");
  auto saveTiff = tiff.Proc<SaveDIBInTiffFileW_PROC>("SaveDIBInTiffFileW");
  Image page = codectest::RandomImage(50, 40, 8, 4, 30);
  HGLOBAL dib = codectest::MakeDib(page);
  ASSERT_TRUE(saveTiff(u"C:\\Out\\scan.jpg", dib, TW_TIFF_SCHEME_LZW, 0));
  GlobalFree(dib);
  EXPECT_EQ(load_(u"C:\\Out\\scan.jpg"), nullptr);  // no TIFF library named yet
  std::string library = tw::ToUtf8(tw::path::FromHost(codectest::BinDirOf("TwTiff.dll")));
  setTiff_(library.c_str());
  auto back = Load(u"C:\\Out\\scan.jpg");
  EXPECT_EQ(codectest::ToRgb(back.image), codectest::ToRgb(page));
  setTiff_(nullptr);
}

}  // namespace
