// The PCX and DCX writers: run-length coding byte for byte, headers by
// depth, pages decoded by netpbm's reader, the DCX page table, and the
// failures with their numbers.
#include "../writer_fixture.h"
#include "output/pcx/pcx_codec.h"

namespace {

using codectest::Image;
using codectest::Quote;
using writertest::WriterFixture;

std::vector<BYTE> Coded(const std::vector<BYTE>& line) {
  std::vector<BYTE> out;
  tw::pcx::EncodeLine(line, out);
  return out;
}

template <typename T>
T At(const std::string& bytes, std::size_t offset) {
  T v{};
  if (offset + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + offset, sizeof v);
  return v;
}

TEST(PcxRunLength, RunsSingleBytesAndHighBytes) {
  // 200 equal bytes: runs of 63, 63, 63 and 11.
  EXPECT_EQ(Coded(std::vector<BYTE>(200, 0x41)),
            (std::vector<BYTE>{0xFF, 0x41, 0xFF, 0x41, 0xFF, 0x41, 0xCB, 0x41}));
  // A high byte standing alone takes a count of one; a low one is itself.
  EXPECT_EQ(Coded({0xC5}), (std::vector<BYTE>{0xC1, 0xC5}));
  EXPECT_EQ(Coded({0x12, 0xC0, 0xBF, 0xFF}), (std::vector<BYTE>{0x12, 0xC1, 0xC0, 0xBF, 0xC1, 0xFF}));
  // Two equal bytes are a run; a run of 64 leaves a single byte.
  EXPECT_EQ(Coded({7, 7, 9}), (std::vector<BYTE>{0xC2, 7, 9}));
  std::vector<BYTE> sixtyFour(64, 0);
  EXPECT_EQ(Coded(sixtyFour), (std::vector<BYTE>{0xFF, 0, 0}));
  EXPECT_TRUE(Coded({}).empty());
}

class PcxWriter : public WriterFixture {
 protected:
  // The file decoded by netpbm's PCX reader as RGB.
  std::vector<BYTE> Decoded(const std::filesystem::path& file, std::uint32_t& width, std::uint32_t& height) {
    enctest::Pnm pnm = enctest::DecodeWith("pcxtoppm " + Quote(file));
    width = pnm.width;
    height = pnm.height;
    return pnm.ok ? enctest::PnmRgb(pnm) : std::vector<BYTE>{};
  }
};

TEST_F(PcxWriter, HeadersFollowThePageDepth) {
  auto job = StartedJob(Record(1));
  auto& writer = WriterOf<CTWPCXFile>(*job);
  // 24 bits, 1701 pixels: three planes of 1702 bytes, palette information 1.
  Image wide = codectest::RandomImage(1701, 3, 24, 4);
  tw::dib::GlobalBlock dib(codectest::MakeDib(wide, 11810, 11810));
  ASSERT_TRUE(writer.SavePageDIB(dib.get(), u"C:\\out\\wide.pcx")) << Status(*job);
  std::string bytes = Read("wide.pcx");
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x0A\x05\x01\x08", 4));
  EXPECT_EQ(At<WORD>(bytes, 8), 1700);  // xMax
  EXPECT_EQ(At<WORD>(bytes, 10), 2);    // yMax
  EXPECT_EQ(At<WORD>(bytes, 12), 299);  // 11810 / 39.37 = 299.97, truncated
  EXPECT_EQ(static_cast<BYTE>(bytes[65]), 3);
  EXPECT_EQ(At<WORD>(bytes, 66), 1702);
  EXPECT_EQ(At<WORD>(bytes, 68), 1);
  EXPECT_EQ(bytes.substr(16, 48), std::string(48, '\0'));  // no 16-colour map
  // The screen's size, and its resolution for a page without one.
  Image bw = codectest::BilevelPage(40, 5, 2);
  tw::dib::GlobalBlock noRes(codectest::MakeDib(bw, 0, 0));
  ASSERT_TRUE(writer.SavePageDIB(noRes.get(), u"C:\\out\\bw.pcx"));
  bytes = Read("bw.pcx");
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(At<WORD>(bytes, 12), GetDeviceCaps(screen, LOGPIXELSX));
  EXPECT_EQ(At<WORD>(bytes, 70), GetDeviceCaps(screen, HORZRES));
  EXPECT_EQ(At<WORD>(bytes, 72), GetDeviceCaps(screen, VERTRES));
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(static_cast<BYTE>(bytes[3]), 1);
  EXPECT_EQ(static_cast<BYTE>(bytes[65]), 1);
  EXPECT_EQ(At<WORD>(bytes, 66), 5);  // (40 + 7) / 8
  EXPECT_EQ(bytes.substr(16, 6), std::string("\0\0\0\xFF\xFF\xFF", 6));  // black, white
}

TEST_F(PcxWriter, PagesOfEveryDepthDecodeToTheirPixels) {
  auto job = StartedJob(Record(1));
  auto& writer = WriterOf<CTWPCXFile>(*job);
  const Image images[] = {codectest::BilevelPage(203, 37, 1), codectest::RandomImage(97, 21, 4, 2),
                          codectest::RandomImage(130, 19, 8, 3), codectest::RandomImage(77, 23, 24, 5),
                          codectest::RandomImage(64, 300, 8, 6, 5)};  // long runs across a short table
  int n = 0;
  for (const Image& img : images) {
    const std::u16string name = u"C:\\out\\p" + tw::FromUtf8(std::to_string(++n)) + u".pcx";
    tw::dib::GlobalBlock dib(codectest::MakeDib(img));
    ASSERT_TRUE(writer.SavePageDIB(dib.get(), name.c_str())) << img.bits << ": " << Status(*job);
    std::uint32_t w = 0, h = 0;
    auto rgb = Decoded(codectest::Host(name), w, h);
    EXPECT_EQ(w, img.width) << img.bits;
    EXPECT_EQ(h, img.height) << img.bits;
    EXPECT_TRUE(rgb == Rgb(img)) << img.bits << " bits: the pixels differ";
    std::string bytes = codectest::ReadBytes(codectest::Host(name));
    if (img.bits == 8) {
      ASSERT_GT(bytes.size(), 769u);
      EXPECT_EQ(static_cast<BYTE>(bytes[bytes.size() - 769]), 12);
    }
  }
  // A top-down page is stored top row first as well.
  Image img = codectest::RandomImage(31, 9, 24, 8);
  tw::dib::GlobalBlock topDown(codectest::MakeDib(img, 7874, 7874, true));
  ASSERT_TRUE(writer.SavePageDIB(topDown.get(), u"C:\\out\\top.pcx"));
  std::uint32_t w = 0, h = 0;
  EXPECT_TRUE(Decoded(Out("top.pcx"), w, h) == Rgb(img));
}

TEST_F(PcxWriter, ARenderedPageIsStoredAsPcx) {
  twtest::LeakGuard leaks;
  {
    auto job = StartedJob(Record(1));
    DWORD size = 0;
    auto page = writertest::BoxPage(job->m_DevMode, size);
    ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\box.pcx", TRUE)) << Status(*job);
    ReleaseRenderBitmapCache();
    tw::core::ThreadStateDetachThread();
  }
  enctest::Pnm pnm = enctest::DecodeWith("pcxtoppm " + Quote(Out("box.pcx")));
  ASSERT_TRUE(pnm.ok);
  ASSERT_EQ(pnm.width, 2550u);
  ASSERT_EQ(pnm.height, 3300u);
  auto dark = [&](std::size_t x, std::size_t y) { return pnm.samples[(y * pnm.width + x) * 3] < 128; };
  EXPECT_TRUE(dark(101, 201));
  EXPECT_TRUE(dark(298, 398));
  EXPECT_FALSE(dark(99, 201));
  EXPECT_FALSE(dark(301, 300));
  EXPECT_FALSE(dark(10, 10));
}

TEST_F(PcxWriter, FailuresCarryTheirNumbers) {
  auto job = StartedJob(Record(1));
  auto& writer = WriterOf<CTWPCXFile>(*job);
  DWORD size = 0;
  auto page = writertest::BoxPage(job->m_DevMode, size);
  EXPECT_FALSE(writer.SaveFile(nullptr, 0, u"C:\\out\\a.pcx", TRUE));
  EXPECT_EQ(Status(*job), "Internal error: 38.");
  EXPECT_FALSE(writer.SaveFile(page.get(), size, nullptr, TRUE));
  EXPECT_EQ(Status(*job), "Internal error: 39.");
  for (auto& dib : MalformedDibs()) {
    EXPECT_FALSE(writer.SavePageDIB(dib.get(), u"C:\\out\\bad.pcx"));
    EXPECT_EQ(Status(*job), "Internal error: 40.");
  }
  EXPECT_FALSE(std::filesystem::exists(Out("bad.pcx")));
  // A folder that is not there: the path check reports it.
  tw::dib::GlobalBlock dib(codectest::MakeDib(codectest::BilevelPage(64, 64, 3)));
  EXPECT_FALSE(writer.SavePageDIB(dib.get(), u"C:\\missing\\a.pcx"));
  EXPECT_EQ(Status(*job).rfind("25: Cannot write PCX file: ", 0), 0u) << Status(*job);
  // A usable path whose writes fail: 306, and no partial file.
  {
    enctest::FileSizeLimit limit(100);
    EXPECT_FALSE(writer.SavePageDIB(dib.get(), u"C:\\out\\full.pcx"));
  }
  EXPECT_EQ(Status(*job), "Internal error: 306.");
  EXPECT_FALSE(std::filesystem::exists(Out("full.pcx")));
}

// ---- DCX ------------------------------------------------------------------------

class DcxWriter : public PcxWriter {
 protected:
  // The page offsets of the table, up to its first zero slot.
  static std::vector<DWORD> Offsets(const std::string& bytes) {
    std::vector<DWORD> offsets;
    for (std::size_t slot = 1; slot <= 10023; ++slot) {
      DWORD v = At<DWORD>(bytes, 4 * slot);
      if (!v) break;
      offsets.push_back(v);
    }
    return offsets;
  }
  // Page k of the file (0-based) on its own, decoded.
  std::vector<BYTE> Page(const std::string& bytes, std::size_t k) {
    auto offsets = Offsets(bytes);
    std::size_t end = k + 1 < offsets.size() ? offsets[k + 1] : bytes.size();
    auto file = root_.Dir() / "page.pcx";
    codectest::WriteBytes(file, bytes.substr(offsets[k], end - offsets[k]));
    std::uint32_t w = 0, h = 0;
    return Decoded(file, w, h);
  }
};

TEST_F(DcxWriter, AMultipageDocumentIsOneFileWithAPageTable) {
  TarnwickDEVMODE dm = Record(2);
  dm.Flags |= tw::devmode::flags::Multipage;
  auto job = StartedJob(dm);
  auto& writer = WriterOf<CTWDCXFile>(*job);
  const Image pages[] = {codectest::BilevelPage(120, 40, 1), codectest::RandomImage(50, 20, 8, 2),
                         codectest::RandomImage(33, 17, 24, 3)};
  for (DWORD k = 0; k < 3; ++k) {
    writer.m_dwPageNo = k + 1;
    tw::dib::GlobalBlock dib(codectest::MakeDib(pages[k]));
    ASSERT_TRUE(writer.SavePageDIB(dib.get(), u"C:\\out\\doc.dcx")) << Status(*job);
  }
  std::string bytes = Read("doc.dcx");
  EXPECT_EQ(At<DWORD>(bytes, 0), 0x3ADE68B1u);
  auto offsets = Offsets(bytes);
  ASSERT_EQ(offsets.size(), 3u);
  EXPECT_EQ(offsets[0], 40096u);
  EXPECT_LT(offsets[0], offsets[1]);
  EXPECT_LT(offsets[1], offsets[2]);
  EXPECT_EQ(At<DWORD>(bytes, 16), 0u);  // slot 4
  for (std::size_t k = 0; k < 3; ++k) EXPECT_TRUE(Page(bytes, k) == Rgb(pages[k])) << "page " << k + 1;
  // The document's first page starts the file afresh.
  writer.m_dwPageNo = 1;
  tw::dib::GlobalBlock dib(codectest::MakeDib(pages[2]));
  ASSERT_TRUE(writer.SavePageDIB(dib.get(), u"C:\\out\\doc.dcx"));
  EXPECT_EQ(Offsets(Read("doc.dcx")).size(), 1u);
}

TEST_F(DcxWriter, WithoutMultipageEveryPageIsANewFile) {
  auto job = StartedJob(Record(2));
  auto& writer = WriterOf<CTWDCXFile>(*job);
  Image img = codectest::BilevelPage(64, 8, 4);
  tw::dib::GlobalBlock dib(codectest::MakeDib(img));
  for (DWORD page : {1u, 2u}) {
    writer.m_dwPageNo = page;
    ASSERT_TRUE(writer.SavePageDIB(dib.get(), u"C:\\out\\one.dcx"));
  }
  std::string bytes = Read("one.dcx");
  ASSERT_EQ(Offsets(bytes), std::vector<DWORD>{40096});
  EXPECT_TRUE(Page(bytes, 0) == Rgb(img));
}

TEST_F(DcxWriter, FailuresCarryTheirNumbers) {
  TarnwickDEVMODE dm = Record(2);
  dm.Flags |= tw::devmode::flags::Multipage;
  auto job = StartedJob(dm);
  auto& writer = WriterOf<CTWDCXFile>(*job);
  EXPECT_FALSE(writer.SaveFile(nullptr, 0, u"C:\\out\\a.dcx", TRUE));
  EXPECT_EQ(Status(*job), "Internal error: 42.");
  DWORD size = 0;
  auto page = writertest::BoxPage(job->m_DevMode, size);
  EXPECT_FALSE(writer.SaveFile(page.get(), size, nullptr, TRUE));
  EXPECT_EQ(Status(*job), "Internal error: 43.");
  for (auto& bad : MalformedDibs()) {
    EXPECT_FALSE(writer.SavePageDIB(bad.get(), u"C:\\out\\bad.dcx"));
    EXPECT_EQ(Status(*job), "Internal error: 44.");
  }
  tw::dib::GlobalBlock dib(codectest::MakeDib(codectest::BilevelPage(64, 8, 4)));
  writer.m_dwPageNo = 1;
  EXPECT_FALSE(writer.SavePageDIB(dib.get(), u"C:\\missing\\a.dcx"));
  EXPECT_EQ(Status(*job).rfind("25: Cannot write DCX file: ", 0), 0u) << Status(*job);
  // A later page for a file that is no DCX: it cannot be added.
  codectest::WriteBytes(Out("other.dcx"), std::string(50000, 'x'));
  writer.m_dwPageNo = 2;
  EXPECT_FALSE(writer.SavePageDIB(dib.get(), u"C:\\out\\other.dcx"));
  EXPECT_EQ(Status(*job), "Internal error: 46.");
  EXPECT_EQ(Read("other.dcx"), std::string(50000, 'x'));
  // A page whose writing fails leaves the document as it was.
  writer.m_dwPageNo = 1;
  ASSERT_TRUE(writer.SavePageDIB(dib.get(), u"C:\\out\\doc.dcx"));
  const std::string before = Read("doc.dcx");
  writer.m_dwPageNo = 2;
  tw::dib::GlobalBlock big(codectest::MakeDib(codectest::RandomImage(400, 400, 24, 9)));
  {
    enctest::FileSizeLimit limit(before.size() + 1000);
    EXPECT_FALSE(writer.SavePageDIB(big.get(), u"C:\\out\\doc.dcx"));
  }
  EXPECT_EQ(Status(*job), "Internal error: 46.");
  EXPECT_EQ(Read("doc.dcx"), before);
}

}  // namespace
