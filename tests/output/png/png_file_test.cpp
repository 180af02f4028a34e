// CTWPNGFile: pages of each depth as PNG files checked by pngcheck and
// decoded by pngtopam to the page's pixels; its failures and page DIBs that
// are no page DIBs.
#include "../encoder_test_support.h"
#include "../writer_fixture.h"

namespace {

using codectest::Host;
using codectest::Quote;
using codectest::RunTool;

class PngFileTest : public writertest::WriterFixture {
 protected:
  static std::vector<BYTE> Decoded(const std::u16string& name) {
    return enctest::PnmRgb(enctest::DecodeWith("pngtopam " + Quote(Host(name))));
  }
  static std::string Chunks(const std::u16string& name) { return RunTool("pngcheck -v " + Quote(Host(name))).output; }
};

TEST_F(PngFileTest, PagesKeepTheirDepthTableAndResolution) {
  twtest::LeakGuard leaks;
  struct Case {
    DWORD code, colorMode;
    const char* ihdr;
    const char* plte;  // null: no PLTE
  } cases[] = {{24, 0, "850 x 1100 image, 1-bit palette, non-interlaced", "2 palette entries"},
               {32, 3, "850 x 1100 image, 24-bit RGB, non-interlaced", nullptr}};
  for (const auto& c : cases) {
    {
      auto job = StartedJob(LowResRecord(c.code, c.colorMode));
      DWORD size = 0;
      auto page = writertest::BoxPage(job->m_DevMode, size, RGB(255, 0, 0));
      ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\page.png", TRUE)) << c.code;
      std::string chunks = Chunks(u"C:\\out\\page.png");
      EXPECT_NE(chunks.find(c.ihdr), std::string::npos) << chunks;
      EXPECT_EQ(chunks.find("chunk PLTE") != std::string::npos, c.plte != nullptr) << chunks;
      if (c.plte) {
        EXPECT_NE(chunks.find(c.plte), std::string::npos) << chunks;
      }
      EXPECT_NE(chunks.find("3937x3937 pixels/meter"), std::string::npos) << chunks;
      EXPECT_NE(chunks.find("No errors detected"), std::string::npos) << chunks;
      codectest::DibContents rendered = Rendered(*job, page.get());
      EXPECT_TRUE(Decoded(u"C:\\out\\page.png") == codectest::ToRgb(rendered.image)) << c.code;
    }
    writertest::ReleaseThreadCaches();
  }
}

TEST_F(PngFileTest, PaletteAndGreyPagesWithTwoResolutions) {
  auto job = StartedJob(LowResRecord(24, 2));
  auto& writer = dynamic_cast<CTWPNGFile&>(*job->m_pOutputFile);
  for (std::size_t colours : {256u, 37u}) {
    codectest::Image img = codectest::RandomImage(97, 41, 8, 9, colours);
    tw::dib::GlobalBlock dib(codectest::MakeDib(img, 8032, 3858));  // 204 x 98 dpi
    ASSERT_TRUE(writer.SavePageDIB(dib.get(), u"C:\\out\\pal.png"));
    std::string chunks = Chunks(u"C:\\out\\pal.png");
    EXPECT_NE(chunks.find("97 x 41 image, 8-bit palette"), std::string::npos) << chunks;
    EXPECT_NE(chunks.find(std::to_string(colours) + " palette entries"), std::string::npos) << chunks;
    EXPECT_NE(chunks.find("8032x3858 pixels/meter"), std::string::npos) << chunks;
    EXPECT_TRUE(Decoded(u"C:\\out\\pal.png") == codectest::ToRgb(img));
  }
  codectest::Image four = codectest::RandomImage(33, 9, 4, 4);
  tw::dib::GlobalBlock dib(codectest::MakeDib(four));
  ASSERT_TRUE(writer.SavePageDIB(dib.get(), u"C:\\out\\four.png"));
  EXPECT_NE(Chunks(u"C:\\out\\four.png").find("4-bit palette"), std::string::npos);
  EXPECT_TRUE(Decoded(u"C:\\out\\four.png") == codectest::ToRgb(four));
}

TEST_F(PngFileTest, FailuresCarryTheirNumbers) {
  auto job = StartedJob(LowResRecord(24, 0));
  DWORD size = 0;
  auto page = writertest::BoxPage(job->m_DevMode, size, RGB(255, 0, 0));
  auto& writer = dynamic_cast<CTWPNGFile&>(*job->m_pOutputFile);
  auto status = [&] { return std::u16string(job->PrintStatus()); };
  EXPECT_FALSE(writer.SaveFile(nullptr, 0, u"C:\\out\\a.png", TRUE));
  EXPECT_EQ(status(), u"Internal error: 209.");
  EXPECT_FALSE(writer.SaveFile(page.get(), size, nullptr, TRUE));
  EXPECT_EQ(status(), u"Internal error: 210.");
  EXPECT_FALSE(writer.SaveFile(page.get(), size, u"C:\\missing\\a.png", TRUE));
  EXPECT_EQ(status().rfind(u"25: Cannot write PNG file: ", 0), 0u) << tw::ToUtf8(status());
  // A usable path whose file cannot be written (the disk is full).
  codectest::Image img = codectest::RandomImage(300, 300, 24, 2);
  tw::dib::GlobalBlock dib(codectest::MakeDib(img));
  {
    enctest::FileSizeLimit full(1000);
    EXPECT_FALSE(writer.SavePageDIB(dib.get(), u"C:\\out\\full.png"));
  }
  EXPECT_EQ(status(), u"Internal error: 212.");
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\out\\full.png")));
  for (const auto& bad : writertest::BadPageDibs()) {
    job->m_szPrintStatus.clear();
    tw::dib::GlobalBlock block(writertest::Block(bad.bytes));
    EXPECT_FALSE(writer.SavePageDIB(block.get(), u"C:\\out\\bad.png")) << bad.what;
    EXPECT_EQ(status(), u"Internal error: 211.") << bad.what;
    EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\out\\bad.png"))) << bad.what;
  }
}

}  // namespace
