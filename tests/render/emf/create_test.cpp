// CEMFImage::Create on whole pages: the pixels against the metafile
// renderer, the page DIB's layout, sizes from the metafile and the record
// (forced resolution, fax, anisotropic resolution), and the render bitmap
// kept from page to page.
#include <string>

#include "emf_render.h"
#include "emf_test_util.h"
#include "render/emf/emf_geometry.h"

namespace {

using namespace emftest;
namespace dmf = tw::devmode::flags;

// A page of text and shapes, as an application records it on the printer.
std::vector<BYTE> TextPage(const TarnwickDEVMODE& dm) {
  return RecordPage(dm, [](HDC dc) {
    LOGFONTW lf{};
    lf.lfHeight = -42;  // 10 points at 300 DPI
    std::u16string face = u"Courier New";
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < 20; ++i) {
      std::u16string line = u"Line " + std::u16string(1, static_cast<char16_t>(u'A' + i)) +
                            u": the quick brown fox jumps over the lazy dog 0123456789";
      TextOutW(dc, 150, 150 + i * 46, line.c_str(), static_cast<int>(line.size()));
    }
    SelectObject(dc, old);
    DeleteObject(font);
    Fill(dc, 300, 1400, 2200, 1460);
    Ellipse(dc, 400, 1600, 1400, 2600);
    Fill(dc, 1500, 1600, 2300, 2600, RGB(200, 30, 60));
  });
}

class CreateTest : public JobTest {
 protected:
  // Renders the page; the page DIB or an empty view.
  std::unique_ptr<twtest::DibView> Render(const std::vector<BYTE>& page, TarnwickDEVMODE& dm,
                                          CEMFImage* image = nullptr) {
    CEMFImage own;
    CEMFImage& img = image ? *image : own;
    Block block(page);
    if (!img.Create(block.get(), &dm, job_.get(), FALSE, TRUE, FALSE)) return nullptr;
    return std::make_unique<twtest::DibView>(img.TakeDIB());
  }
};

TEST_F(CreateTest, PixelsAreThoseOfTheMetafileRenderer) {
  for (DWORD mode : {0u, 3u}) {
    SCOPED_TRACE(mode);
    TarnwickDEVMODE dm = Record(300, 300, mode);
    auto page = TextPage(dm);
    auto dib = Render(page, dm);
    ASSERT_TRUE(dib && dib->ok()) << tw::ToUtf8(Status());
    const BITMAPINFOHEADER& h = dib->Header();
    EXPECT_EQ(h.biWidth, 2550);
    EXPECT_EQ(h.biHeight, 3300);
    EXPECT_EQ(h.biBitCount, mode == 0 ? 1 : 24);
    EXPECT_EQ(h.biXPelsPerMeter, 11811);
    EXPECT_EQ(h.biYPelsPerMeter, 11811);
    EXPECT_EQ(h.biClrUsed, mode == 0 ? 2u : 0u);
    EXPECT_EQ(h.biSizeImage, mode == 0 ? 320u * 3300 : 7652u * 3300);
    if (mode == 0) {
      EXPECT_EQ(dib->Table()[0].rgbRed, 0);
      EXPECT_EQ(dib->Table()[1].rgbRed, 255);
      EXPECT_EQ(dib->Table()[1].rgbBlue, 255);
    }
    EXPECT_TRUE(dib->PaddingClear());

    twtools::RgbImage expected;
    twtools::RenderOptions options;
    options.dpi = 300;
    options.bits = mode == 0 ? 1 : 24;
    ASSERT_TRUE(twtools::RenderEmfBytes(page, options, expected).rendered);
    ASSERT_EQ(expected.width, 2550);
    ASSERT_EQ(expected.height, 3300);
    long different = 0, inked = 0;
    for (LONG y = 0; y < 3300; ++y) {
      const std::uint8_t* want = expected.Row(y);
      for (LONG x = 0; x < 2550; ++x) {
        std::uint32_t rgb;
        if (mode == 0) {
          rgb = dib->Get(x, y) ? 0xFFFFFF : 0;
        } else {
          rgb = dib->Get(x, y) & 0xFFFFFF;  // bytes B, G, R: 0xRRGGBB
        }
        std::uint32_t w = (std::uint32_t{want[3 * x]} << 16) | (std::uint32_t{want[3 * x + 1]} << 8) | want[3 * x + 2];
        different += rgb != w;
        inked += w != 0xFFFFFF;
      }
    }
    EXPECT_GT(inked, 100000);
    EXPECT_EQ(different, 0);
  }
}

TEST_F(CreateTest, SameBytesOnEveryRunWithTheRenderBitmapKept) {
  TarnwickDEVMODE dm = Record();
  auto black = RecordPage(dm, [](HDC dc) { Fill(dc, 0, 0, 2550, 3300); });
  auto text = TextPage(dm);
  std::vector<BYTE> first;
  for (int run = 0; run < 3; ++run) {
    // A black page in between: the kept render bitmap is filled white for the next.
    ASSERT_TRUE(Render(black, dm));
    auto dib = Render(text, dm);
    ASSERT_TRUE(dib && dib->ok());
    std::vector<BYTE> bytes(dib->Data(), dib->Data() + dib->Size());
    if (run == 0)
      first = bytes;
    else
      EXPECT_EQ(bytes, first) << "run " << run;
  }
  // The white corner of the text page.
  auto dib = Render(text, dm);
  EXPECT_FALSE(Black(*dib, 2549, 3299));
  EXPECT_FALSE(Black(*dib, 0, 0));
}

TEST_F(CreateTest, NoHandleOrBlockOutlivesThePage) {
  TarnwickDEVMODE dm = Record();
  auto page = TextPage(dm);
  Render(page, dm);  // first use of the settings store and the font caches
  ReleaseRenderBitmapCache();
  twtest::LeakGuard guard;
  for (DWORD mode : {0u, 1u, 3u}) {
    TarnwickDEVMODE each = Record(300, 300, mode);
    EXPECT_TRUE(Render(page, each));
    Block raw(twtest::DibBytes(100, 50, 24).bytes);
    CEMFImage image;
    EXPECT_TRUE(image.CreateFromRawData(raw.get(), &each, job_.get()));
  }
  ReleaseRenderBitmapCache();
}

}  // namespace
