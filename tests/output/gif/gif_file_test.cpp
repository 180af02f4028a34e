// CTWGIFFile: pages as GIF files whose header is checked byte by byte and
// which giftopnm decodes to the page's pixels; an existing file, the other
// failures and page DIBs that are no page DIBs.
#include "../encoder_test_support.h"
#include "../writer_fixture.h"

namespace {

using codectest::Host;
using codectest::Quote;

class GifFileTest : public writertest::WriterFixture {
 protected:
  static std::vector<BYTE> Decoded(const std::u16string& name) {
    return enctest::PnmRgb(enctest::DecodeWith("giftopnm " + Quote(Host(name))));
  }
  // The bytes a GIF87a file of the page starts with, up to its minimum code size.
  static std::string Header(const codectest::DibContents& page) {
    const int bits = page.image.bits;
    std::string h = "GIF87a";
    auto word = [&](LONG v) { h += static_cast<char>(v & 0xFF), h += static_cast<char>(v >> 8); };
    word(page.header.biWidth);
    word(page.header.biHeight);
    h += static_cast<char>(0x80 | (bits - 1) << 4 | (bits - 1));
    h += std::string(2, '\0');  // background, aspect
    for (int i = 0; i < (1 << bits); ++i) {
      RGBQUAD c = i < static_cast<int>(page.image.colors.size()) ? page.image.colors[i] : RGBQUAD{};
      h += {static_cast<char>(c.rgbRed), static_cast<char>(c.rgbGreen), static_cast<char>(c.rgbBlue)};
    }
    h += ',';
    word(0), word(0), word(page.header.biWidth), word(page.header.biHeight);
    h += '\0';
    h += static_cast<char>(std::max(bits, 2));
    return h;
  }
};

TEST_F(GifFileTest, PagesStartWithTheirHeaderAndDecodeToThePage) {
  twtest::LeakGuard leaks;
  struct Case {
    DWORD code, colorMode;
    BYTE packed;
  } cases[] = {{25, 0, 0x80}, {31, 1, 0xF7}};
  for (const auto& c : cases) {
    {
      auto job = StartedJob(LowResRecord(c.code, c.colorMode));
      DWORD size = 0;
      auto page = writertest::BoxPage(job->m_DevMode, size, RGB(255, 0, 0));
      ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\page.gif", TRUE)) << c.code;
      codectest::DibContents rendered = Rendered(*job, page.get());
      std::string bytes = codectest::ReadBytes(Host(u"C:\\out\\page.gif"));
      const std::string header = Header(rendered);
      EXPECT_EQ(static_cast<BYTE>(header[10]), c.packed);
      EXPECT_EQ(bytes.substr(0, header.size()), header) << c.code;
      EXPECT_EQ(bytes.back(), ';');
      EXPECT_TRUE(Decoded(u"C:\\out\\page.gif") == codectest::ToRgb(rendered.image)) << c.code;
      std::filesystem::remove(Host(u"C:\\out\\page.gif"));
    }
    writertest::ReleaseThreadCaches();
  }
}

TEST_F(GifFileTest, AnExistingFileIsGifErrorFive) {
  auto job = StartedJob(LowResRecord(25, 0));
  auto& writer = dynamic_cast<CTWGIFFile&>(*job->m_pOutputFile);
  codectest::WriteBytes(Host(u"C:\\out\\old.gif"), "older");
  codectest::Image img = codectest::RandomImage(40, 20, 1, 3);
  tw::dib::GlobalBlock dib(codectest::MakeDib(img));
  EXPECT_FALSE(writer.SavePageDIB(dib.get(), u"C:\\out\\old.gif"));
  EXPECT_EQ(std::u16string(job->PrintStatus()), u"212: Error saving GIF image. GIF error 5");
  EXPECT_EQ(codectest::ReadBytes(Host(u"C:\\out\\old.gif")), "older");
  // A new name takes the page.
  ASSERT_TRUE(writer.SavePageDIB(dib.get(), u"C:\\out\\new.gif"));
  EXPECT_TRUE(Decoded(u"C:\\out\\new.gif") == codectest::ToRgb(img));
}

TEST_F(GifFileTest, FailuresCarryTheirNumbers) {
  auto job = StartedJob(LowResRecord(25, 0));
  DWORD size = 0;
  auto page = writertest::BoxPage(job->m_DevMode, size, RGB(255, 0, 0));
  auto& writer = dynamic_cast<CTWGIFFile&>(*job->m_pOutputFile);
  auto status = [&] { return std::u16string(job->PrintStatus()); };
  EXPECT_FALSE(writer.SaveFile(nullptr, 0, u"C:\\out\\a.gif", TRUE));
  EXPECT_EQ(status(), u"Internal error: 209.");
  EXPECT_FALSE(writer.SaveFile(page.get(), size, nullptr, TRUE));
  EXPECT_EQ(status(), u"Internal error: 210.");
  EXPECT_FALSE(writer.SaveFile(page.get(), size, u"C:\\missing\\a.gif", TRUE));
  EXPECT_EQ(status().rfind(u"25: Cannot write GIF file: ", 0), 0u) << tw::ToUtf8(status());
  // True colour is no page a GIF holds.
  std::vector<writertest::BadDib> bad = writertest::BadPageDibs();
  tw::dib::GlobalBlock colour(codectest::MakeDib(codectest::RandomImage(8, 8, 24, 1)));
  bad.push_back({"24 bits", writertest::BytesOf(colour.get())});
  for (const auto& b : bad) {
    job->m_szPrintStatus.clear();
    tw::dib::GlobalBlock block(writertest::Block(b.bytes));
    EXPECT_FALSE(writer.SavePageDIB(block.get(), u"C:\\out\\bad.gif")) << b.what;
    EXPECT_EQ(status(), u"Internal error: 211.") << b.what;
    EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\out\\bad.gif"))) << b.what;
  }
}

}  // namespace
