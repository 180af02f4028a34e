// The IOCA and MO:DCA writers: documents walked field by field, one page per
// image, Group 4 data decoded by libtiff, pages of later jobs added before
// the end of the document, the library kept for the writer's life, and the
// failures (a path check, or nothing more to say).
#include "../../libs/twtiff/modca_walk.h"
#include "../writer_fixture.h"

namespace {

using codectest::Image;
using namespace modcawalk;
using writertest::WriterFixture;

class ModcaWriter : public WriterFixture {
 protected:
  std::vector<Page> PagesOf(const std::string& name) {
    Walk walk = WalkFields(Read(name));
    EXPECT_EQ(walk.error, "") << name;
    return Pages(walk);
  }
  // The page's image: one image object whose Group 4 data decodes to the rows.
  void ExpectImage(const Page& page, const Image& img) {
    EXPECT_EQ(page.imageObjects, 1);
    Ioca io = ParseIoca(page.segment);
    ASSERT_TRUE(io.ok);
    EXPECT_EQ(io.compression, 0x82u);
    EXPECT_EQ(io.width, img.width);
    EXPECT_EQ(io.height, img.height);
    EXPECT_TRUE(tifftest::SameRows(DecodeG4(root_.Dir(), io), tifftest::Inverted(img)));
  }
};

TEST_F(ModcaWriter, AnIocaFileIsAOnePageDocumentEachTime) {
  auto job = StartedJob(Record(19));
  auto& writer = WriterOf<CTWIOCAFile>(*job);
  const Image first = codectest::BilevelPage(640, 90, 1), second = codectest::BilevelPage(320, 50, 2);
  tw::dib::GlobalBlock a(codectest::MakeDib(first)), b(codectest::MakeDib(second));
  writer.m_dwPageNo = 1;
  ASSERT_TRUE(writer.SavePageDIB(a.get(), u"C:\\out\\page.ica")) << Status(*job);
  auto pages = PagesOf("page.ica");
  ASSERT_EQ(pages.size(), 1u);
  ExpectImage(pages[0], first);
  // The library stays loaded: a record naming none changes nothing now.
  writer.m_DevMode.TiffDllName.Set(u"C:\\nowhere\\NoSuch.dll");
  writer.m_dwPageNo = 2;
  ASSERT_TRUE(writer.SavePageDIB(b.get(), u"C:\\out\\page.ica")) << Status(*job);
  pages = PagesOf("page.ica");
  ASSERT_EQ(pages.size(), 1u);
  ExpectImage(pages[0], second);
}

TEST_F(ModcaWriter, MoDcaPagesOfTheDocumentAndOfLaterJobsGoBeforeTheEnd) {
  const Image images[] = {codectest::BilevelPage(400, 60, 3), codectest::BilevelPage(400, 70, 4),
                          codectest::BilevelPage(300, 40, 5), codectest::BilevelPage(200, 30, 6)};
  {
    TarnwickDEVMODE dm = Record(48);
    dm.Flags |= tw::devmode::flags::Multipage;
    auto job = StartedJob(dm);
    auto& writer = WriterOf<CTWMODCAFile>(*job);
    for (DWORD k = 0; k < 3; ++k) {
      writer.m_dwPageNo = k + 1;
      tw::dib::GlobalBlock dib(codectest::MakeDib(images[k]));
      ASSERT_TRUE(writer.SavePageDIB(dib.get(), u"C:\\out\\doc.mca")) << Status(*job);
    }
  }
  const std::string before = Read("doc.mca");
  auto pages = PagesOf("doc.mca");
  ASSERT_EQ(pages.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(pages[k].name, "P000000" + std::to_string(k + 1));
    ExpectImage(pages[k], images[k]);
  }
  // A later job adds its page in front of the end of the document.
  {
    auto job = StartedJob(Record(48));
    auto& writer = WriterOf<CTWMODCAFile>(*job);
    writer.m_dwPageNo = 1;
    tw::dib::GlobalBlock dib(codectest::MakeDib(images[3]));
    ASSERT_TRUE(writer.SavePageDIB(dib.get(), u"C:\\out\\doc.mca")) << Status(*job);
  }
  const std::string after = Read("doc.mca");
  Walk walk = WalkFields(after);
  ASSERT_EQ(walk.error, "");
  const std::uint64_t oldEnd = WalkFields(before).fields.back().offset;
  EXPECT_EQ(after.substr(0, oldEnd), before.substr(0, oldEnd));
  pages = Pages(walk);
  ASSERT_EQ(pages.size(), 4u);
  ExpectImage(pages[3], images[3]);
}

TEST_F(ModcaWriter, ARenderedPageIsAnIocaPage) {
  twtest::LeakGuard leaks;
  {
    auto job = StartedJob(Record(19));
    DWORD size = 0;
    auto page = writertest::BoxPage(job->m_DevMode, size);
    ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\box.ica", TRUE)) << Status(*job);
    job.reset();
    ReleaseRenderBitmapCache();
    tw::core::ThreadStateDetachThread();
  }
  auto pages = PagesOf("box.ica");
  ASSERT_EQ(pages.size(), 1u);
  Ioca io = ParseIoca(pages[0].segment);
  ASSERT_TRUE(io.ok);
  EXPECT_EQ(io.width, 2550u);
  EXPECT_EQ(io.height, 3300u);
  EXPECT_EQ(io.xRes, 3000u);
  Image decoded = DecodeG4(root_.Dir(), io);
  ASSERT_EQ(decoded.height, 3300u);
  // Read as stored (white is zero): a set bit is black.
  auto black = [&](std::uint32_t x, std::uint32_t y) { return (decoded.rows[y][x / 8] >> (7 - x % 8)) & 1; };
  EXPECT_EQ(black(101, 201), 1);
  EXPECT_EQ(black(298, 398), 1);
  EXPECT_EQ(black(50, 50), 0);
  EXPECT_EQ(black(302, 300), 0);
}

TEST_F(ModcaWriter, FailuresAreThePathCheckOrNothingMore) {
  for (DWORD code : {19u, 48u}) {
    SCOPED_TRACE(code);
    auto job = StartedJob(Record(code));
    CTWFile& writer = *job->m_pOutputFile;
    auto save = [&](HGLOBAL dib, const WCHAR* name) {
      return code == 19 ? WriterOf<CTWIOCAFile>(*job).SavePageDIB(dib, name)
                        : WriterOf<CTWMODCAFile>(*job).SavePageDIB(dib, name);
    };
    const std::string prefix = code == 19 ? "25: Cannot write IOCA file: " : "25: Cannot write MO:DCA file: ";
    DWORD size = 0;
    auto page = writertest::BoxPage(job->m_DevMode, size);
    EXPECT_FALSE(writer.SaveFile(nullptr, 0, u"C:\\out\\a.x", TRUE));
    EXPECT_EQ(Status(*job), "Internal error: 100.");
    EXPECT_FALSE(writer.SaveFile(page.get(), size, nullptr, TRUE));
    EXPECT_EQ(Status(*job), "Internal error: 101.");
    // No page image: false, and nothing is said.
    job->HandleError(1, __FILE__, __LINE__);
    for (auto& bad : MalformedDibs()) EXPECT_FALSE(save(bad.get(), u"C:\\out\\bad.x"));
    EXPECT_EQ(Status(*job), "Internal error: 1.");
    EXPECT_FALSE(std::filesystem::exists(Out("bad.x")));

    tw::dib::GlobalBlock dib(codectest::MakeDib(codectest::BilevelPage(64, 16, 1)));
    // A library without the entry point, and one that is not there.
    writer.m_DevMode.TiffDllName.Set(u"TwJpeg.dll");
    EXPECT_FALSE(save(dib.get(), u"C:\\out\\b.x"));
    EXPECT_EQ(Status(*job), "TwTiff.dll cannot be loaded");
    job->HandleError(1, __FILE__, __LINE__);
    writer.m_DevMode.TiffDllName.Set(u"C:\\nowhere\\NoSuch.dll");
    EXPECT_FALSE(save(dib.get(), u"C:\\out\\b.x"));
    EXPECT_EQ(Status(*job), "TwTiff.dll cannot be loaded");
    writer.m_DevMode.TiffDllName.Set(u"TwTiff.dll");
    // The library refuses: the path check reports a bad path, else nothing more.
    EXPECT_FALSE(save(dib.get(), u"C:\\missing\\b.x"));
    EXPECT_EQ(Status(*job).rfind(prefix, 0), 0u) << Status(*job);
    if (code == 48) {
      codectest::WriteBytes(Out("text.mca"), "not a document");
      job->HandleError(1, __FILE__, __LINE__);
      EXPECT_FALSE(save(dib.get(), u"C:\\out\\text.mca"));
      EXPECT_EQ(Status(*job), "Internal error: 1.");
      EXPECT_EQ(Read("text.mca"), "not a document");
    }
  }
}

}  // namespace
