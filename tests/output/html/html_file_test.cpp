// The HTML writers: the page image under the page's name with the image's
// extension, the HTML page byte for byte, the link's path, long document
// names, and the failures of the page and of its image.
#include "../encoder_test_support.h"
#include "../writer_fixture.h"

namespace {

using codectest::Host;
using codectest::Quote;
using codectest::ReadBytes;
using codectest::RunTool;

// The page the template makes of a title and a link, written out line by line.
std::string Page(const std::string& title, const std::string& link) {
  return "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\r\n"
         "    <html>\r\n"
         "    <head>\r\n"
         "    <title>" + title + "</title>\r\n"
         "    </head>\r\n"
         "    <body bgcolor=\"#FFFFFF\">\r\n"
         "    <img src=\"file:///" + link + "\">\r\n"
         "    </body>\r\n"
         "    </html>\r\n";
}

class HtmlWriterTest : public writertest::WriterFixture {
 protected:
  std::u16string Status(const CTWJob& job) { return job.PrintStatus(); }
};

TEST_F(HtmlWriterTest, EachImageBesideItsPage) {
  twtest::LeakGuard leaks;
  struct Case {
    DWORD code, colorMode;
    const char* image;  // beside C:\out\doc.htm
    std::string check;  // an independent reader of the image
  } cases[] = {{28, 3, "doc.JPG", "jpeginfo -c"},
               {27, 2, "doc.PNG", "pngcheck"},
               {26, 0, "doc.gif", "giftext"},
               {29, 1, "doc.BMP", "bmptopnm >/dev/null"}};
  for (const auto& c : cases) {
    {
      auto job = StartedJob(LowResRecord(c.code, c.colorMode), u"Quarterly report.docx");
      DWORD size = 0;
      auto page = writertest::BoxPage(job->m_DevMode, size, RGB(255, 0, 0));
      ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\doc.htm", TRUE))
          << c.code << " " << tw::ToUtf8(Status(*job));
      EXPECT_EQ(ReadBytes(Host(u"C:\\out\\doc.htm")),
                Page("Quarterly report.docx", std::string("C|/out/") + c.image)) << c.code;
      auto image = Host(u"C:\\out\\" + tw::FromUtf8(c.image));
      auto check = RunTool(c.check + " " + Quote(image));
      EXPECT_EQ(check.status, 0) << c.code << ": " << check.output;
      std::filesystem::remove(image);
    }
    writertest::ReleaseThreadCaches();
  }
}

TEST_F(HtmlWriterTest, TheBitmapIsTheBmpWritersFile) {
  DWORD size = 0;
  auto bmp = StartedJob(LowResRecord(0, 1));
  auto page = writertest::BoxPage(bmp->m_DevMode, size, RGB(255, 0, 0));
  ASSERT_TRUE(bmp->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\ref.bmp", TRUE));
  auto html = StartedJob(LowResRecord(29, 1));
  ASSERT_TRUE(html->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\doc.htm", TRUE));
  std::string expected = ReadBytes(Host(u"C:\\out\\ref.bmp"));
  EXPECT_GT(expected.size(), 850u * 1100u);
  EXPECT_TRUE(ReadBytes(Host(u"C:\\out\\doc.BMP")) == expected);
}

TEST_F(HtmlWriterTest, ImageNamesFollowThePagesName) {
  auto job = StartedJob(LowResRecord(26, 0), u"d");
  DWORD size = 0;
  auto page = writertest::BoxPage(job->m_DevMode, size, RGB(255, 0, 0));
  // An older image of the name is replaced (the GIF library makes only new files).
  codectest::WriteBytes(Host(u"C:\\out\\doc.gif"), "older");
  ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\doc.htm", TRUE));
  EXPECT_EQ(ReadBytes(Host(u"C:\\out\\doc.gif")).substr(0, 6), "GIF87a");
  // No extension: one is added; a dot in a folder's name is no extension.
  codectest::MakeFolder(u"C:\\out\\v1.2");
  ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\page", TRUE));
  EXPECT_TRUE(std::filesystem::exists(Host(u"C:\\out\\page.gif")));
  EXPECT_EQ(ReadBytes(Host(u"C:\\out\\page")), Page("d", "C|/out/page.gif"));
  ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\v1.2\\page", TRUE));
  EXPECT_TRUE(std::filesystem::exists(Host(u"C:\\out\\v1.2\\page.gif")));
  EXPECT_EQ(ReadBytes(Host(u"C:\\out\\v1.2\\page")), Page("d", "C|/out/v1.2/page.gif"));
}

TEST_F(HtmlWriterTest, TheLinkAndTitleAreAnsiText) {
  auto job = StartedJob(LowResRecord(27), u"Preis 5\u20AC \u03A9mega");
  CTWHTMLFile& html = dynamic_cast<CTWHTMLPNGFile&>(*job->m_pOutputFile);
  // Characters a link cannot hold go; others outside the code page become "_".
  ASSERT_TRUE(html.SaveHTMLFile(u"C:\\out\\a.htm", u"C:\\out\\\"x*<y>?|\u03A9.PNG", job.get()));
  EXPECT_EQ(ReadBytes(Host(u"C:\\out\\a.htm")), Page("Preis 5\x80 ?mega", "C|/out/xy_.PNG"));
  // The longest document name and a long path are carried whole.
  const std::u16string name(MAX_PATH - 1, u'n');
  job->SetDocumentName(name.c_str());
  ASSERT_EQ(std::u16string(job->DocumentName()), name);
  const std::u16string folder = u"C:\\out\\" + std::u16string(200, u'f');
  ASSERT_TRUE(html.SaveHTMLFile(u"C:\\out\\b.htm", (folder + u"\\b.PNG").c_str(), job.get()));
  EXPECT_EQ(ReadBytes(Host(u"C:\\out\\b.htm")),
            Page(std::string(MAX_PATH - 1, 'n'), "C|/out/" + std::string(200, 'f') + "/b.PNG"));
  // A path whose link would not fit.
  std::u16string tooLong = u"C:\\out\\" + std::u16string(300, u'p') + u".PNG";
  EXPECT_FALSE(html.SaveHTMLFile(u"C:\\out\\c.htm", tooLong.c_str(), job.get()));
  EXPECT_EQ(Status(*job), u"Internal error: 301.");
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\out\\c.htm")));
}

TEST_F(HtmlWriterTest, FailuresOfThePageAndOfItsImage) {
  auto job = StartedJob(LowResRecord(28), u"doc");
  DWORD size = 0;
  auto page = writertest::BoxPage(job->m_DevMode, size, RGB(255, 0, 0));
  CTWHTMLFile& html = dynamic_cast<CTWHTMLJPEGFile&>(*job->m_pOutputFile);
  // No name: nothing said.
  EXPECT_FALSE(html.SaveHTMLFile(nullptr, u"C:\\out\\a.JPG", job.get()));
  EXPECT_FALSE(html.SaveHTMLFile(u"C:\\out\\a.htm", nullptr, job.get()));
  EXPECT_EQ(Status(*job), u"Printing started");
  // The page's folder is not there.
  EXPECT_FALSE(html.SaveHTMLFile(u"C:\\missing\\a.htm", u"C:\\out\\a.JPG", job.get()));
  EXPECT_EQ(Status(*job).rfind(u"25: Cannot write HTML file: ", 0), 0u) << tw::ToUtf8(Status(*job));
  // The page cannot be written in full (a full disk): 300, and no page stays.
  {
    enctest::FileSizeLimit full(100);
    EXPECT_FALSE(html.SaveHTMLFile(u"C:\\out\\a.htm", u"C:\\out\\a.JPG", job.get()));
  }
  EXPECT_EQ(Status(*job), u"Internal error: 300.");
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\out\\a.htm")));
  // The image fails: its writer says why, and no page is made.
  EXPECT_FALSE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\missing\\b.htm", TRUE));
  EXPECT_EQ(Status(*job).rfind(u"25: Cannot write JPEG file: ", 0), 0u) << tw::ToUtf8(Status(*job));
  EXPECT_FALSE(job->m_pOutputFile->SaveFile(nullptr, 0, u"C:\\out\\b.htm", TRUE));
  EXPECT_EQ(Status(*job), u"Internal error: 12.");
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\out\\b.htm")));
}

}  // namespace
