// The EMF writers: metafile pages stored as the driver sent them, bitmap
// pages drawn into a metafile (checked record by record and replayed by our
// player), turned pages through the replay step, the in-memory page, and
// the failures with their numbers.
#include "../writer_fixture.h"
#include "client/messaging/messaging.h"

namespace {

using codectest::Image;
using writertest::WriterFixture;

template <typename T>
T At(const std::string& bytes, std::size_t offset) {
  T v{};
  if (offset + sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + offset, sizeof v);
  return v;
}

// The records of a metafile file, walked by their sizes.
struct EmfWalk {
  std::string error;
  std::vector<DWORD> types;
  RECTL frame{};
};
EmfWalk WalkEmf(const std::string& bytes) {
  EmfWalk w;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const DWORD type = At<DWORD>(bytes, pos), size = At<DWORD>(bytes, pos + 4);
    if (size < 8 || size % 4 || pos + size > bytes.size()) return w.error = "bad record size at " + std::to_string(pos), w;
    w.types.push_back(type);
    pos += size;
  }
  if (w.types.empty() || w.types.front() != EMR_HEADER) return w.error = "no header first", w;
  if (w.types.back() != EMR_EOF) return w.error = "no EOF last", w;
  if (bytes.substr(40, 4) != " EMF") return w.error = "no signature", w;
  if (At<DWORD>(bytes, 48) != bytes.size()) return w.error = "nBytes is not the file size", w;
  if (At<DWORD>(bytes, 52) != w.types.size()) return w.error = "nRecords is not the record count", w;
  std::memcpy(&w.frame, bytes.data() + 24, sizeof w.frame);
  return w;
}

std::string BlockBytes(HGLOBAL block, DWORD size) {
  tw::dib::BlockLock lock(block);
  return std::string(reinterpret_cast<const char*>(lock.data()), size);
}

class EmfWriter : public WriterFixture {
 protected:
  // The metafile file played by our player into a 24-bit bitmap of
  // width x height: its pixels as RGB, top row first.
  std::vector<BYTE> Played(const std::string& name, LONG width, LONG height) {
    std::u16string path = u"C:\\out\\" + tw::FromUtf8(name);
    HENHMETAFILE emf = GetEnhMetaFileW(path.c_str());
    EXPECT_NE(emf, nullptr);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT rect{0, 0, width, height};
    PlayEnhMetaFile(dc, emf, &rect);
    GdiFlush();
    std::vector<BYTE> rgb;
    const std::size_t stride = (std::size_t(width) * 3 + 3) / 4 * 4;
    for (LONG y = 0; y < height; ++y)
      for (LONG x = 0; x < width; ++x) {
        const BYTE* p = static_cast<const BYTE*>(bits) + stride * y + 3 * x;
        rgb.insert(rgb.end(), {p[2], p[1], p[0]});
      }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    DeleteEnhMetaFile(emf);
    return rgb;
  }
};

TEST_F(EmfWriter, MetafilePagesAreTheDriversBytes) {
  twtest::LeakGuard leaks;
  {
    auto job = StartedJob(Record(18, 3));
    DWORD size = 0;
    auto page = writertest::BoxPage(job->m_DevMode, size);
    ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\page.emf", TRUE)) << Status(*job);
    EXPECT_EQ(Read("page.emf"), BlockBytes(page.get(), size));
    // The block may be larger than the page: the page's size is what is written.
    tw::dib::GlobalBlock larger(GlobalAlloc(GHND, size + 100));
    {
      tw::dib::BlockLock to(larger.get()), from(page.get());
      std::memcpy(to.data(), from.data(), size);
    }
    ASSERT_TRUE(job->m_pOutputFile->SaveFile(larger.get(), size, u"C:\\out\\larger.emf", TRUE));
    EXPECT_EQ(Read("larger.emf"), Read("page.emf"));
  }
}

TEST_F(EmfWriter, BitmapsBecomeAMetafileOfOneStretchDibits) {
  auto job = StartedJob(Record(18, 3));
  struct Case {
    Image img;
    LONG ppm;
  } cases[] = {{codectest::RandomImage(120, 70, 24, 3), 11811},
               {codectest::BilevelPage(200, 50, 4), 11811},
               {codectest::RandomImage(64, 40, 8, 5), 0}};
  // The record's printer is at 300 dpi, as the pages it renders.
  for (const Case& c : cases) {
    SCOPED_TRACE(c.img.bits);
    tw::dib::GlobalBlock dib(codectest::MakeDib(c.img, c.ppm, c.ppm));
    ASSERT_TRUE(SaveDIBIntoMetaFile(job->m_pOutputFile.get(), u"C:\\out\\dib.emf", dib.get(), writertest::kPrinter));
    const std::string bytes = Read("dib.emf");
    EmfWalk walk = WalkEmf(bytes);
    ASSERT_EQ(walk.error, "");
    EXPECT_EQ(std::count(walk.types.begin(), walk.types.end(), DWORD{EMR_STRETCHDIBITS}), 1);
    // The frame in 0.01 mm at the page's resolution (the printer's 300 dpi without one).
    const LONG dpi = c.ppm ? static_cast<LONG>(c.ppm / 39.37 + 0.5) : 300;
    EXPECT_EQ(walk.frame.left, 0);
    EXPECT_EQ(walk.frame.right, static_cast<LONG>(c.img.width) * 2540 / dpi);
    EXPECT_EQ(walk.frame.bottom, static_cast<LONG>(c.img.height) * 2540 / dpi);
    // Our player draws it as the page.
    const auto played = Played("dib.emf", c.img.width, c.img.height), expected = Rgb(c.img);
    ASSERT_EQ(played.size(), expected.size());
    std::size_t differ = 0;
    for (std::size_t i = 0; i < played.size(); ++i) differ += played[i] != expected[i];
    EXPECT_EQ(differ, 0u) << "the played page differs";
  }
  // Not a bitmap: no file.
  for (auto& bad : MalformedDibs())
    EXPECT_FALSE(SaveDIBIntoMetaFile(job->m_pOutputFile.get(), u"C:\\out\\bad.emf", bad.get(), writertest::kPrinter));
  EXPECT_FALSE(std::filesystem::exists(Out("bad.emf")));
}

TEST_F(EmfWriter, ARawPageIsDrawnIntoTheMetafile) {
  auto job = StartedJob(Record(18));
  // A raw page of the record's size: white with a black box.
  Image img = codectest::BilevelPage(2550, 3300, 1);
  for (auto& row : img.rows) std::fill(row.begin(), row.end(), 0xFF);
  for (std::uint32_t y = 1000; y < 1100; ++y)
    for (std::uint32_t x = 800; x < 1000; ++x) img.rows[y][x / 8] &= static_cast<BYTE>(~(0x80 >> (x % 8)));
  tw::dib::GlobalBlock raw(codectest::MakeDib(img, 11811, 11811));
  const DWORD size = static_cast<DWORD>(GlobalSize(raw.get()));
  ASSERT_TRUE(job->m_pOutputFile->SaveFile(raw.get(), size, u"C:\\out\\raw.emf", FALSE)) << Status(*job);
  EmfWalk walk = WalkEmf(Read("raw.emf"));
  ASSERT_EQ(walk.error, "");
  EXPECT_EQ(std::count(walk.types.begin(), walk.types.end(), DWORD{EMR_STRETCHDIBITS}), 1);
  EXPECT_EQ(walk.frame.right, 2550 * 2540 / 300);
  auto rgb = Played("raw.emf", 2550, 3300);
  auto at = [&](std::size_t x, std::size_t y) { return rgb[(y * 2550 + x) * 3]; };
  EXPECT_EQ(at(900, 1050), 0);
  EXPECT_EQ(at(799, 1050), 255);
  EXPECT_EQ(at(900, 1100), 255);
}

TEST_F(EmfWriter, TurnedPagesGoThroughTheReplayStep) {
  auto job = StartedJob(Record(18));
  // Landscape pages are turned with "rotate paper".
  job->m_pOutputFile->m_DevMode.Flags |= tw::devmode::flags::RotatePaper;
  job->m_pOutputFile->m_DevMode.DM.dmOrientation = DMORIENT_LANDSCAPE;
  DWORD size = 0;
  auto page = writertest::BoxPage(job->m_DevMode, size);
  ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\turned.emf", TRUE)) << Status(*job);
  EmfWalk walk = WalkEmf(Read("turned.emf"));
  EXPECT_EQ(walk.error, "");
  // A page that is no metafile is reported by the reader.
  tw::dib::GlobalBlock junk(GlobalAlloc(GHND, 200));
  EXPECT_FALSE(job->m_pOutputFile->SaveFile(junk.get(), 200, u"C:\\out\\junk.emf", TRUE));
  EXPECT_EQ(Status(*job), "Internal error: 104.");
  EXPECT_FALSE(std::filesystem::exists(Out("junk.emf")));
}

TEST_F(EmfWriter, FailuresCarryTheirNumbers) {
  auto job = StartedJob(Record(18));
  CTWFile& writer = *job->m_pOutputFile;
  DWORD size = 0;
  auto page = writertest::BoxPage(job->m_DevMode, size);
  EXPECT_FALSE(writer.SaveFile(nullptr, 0, u"C:\\out\\a.emf", TRUE));
  EXPECT_EQ(Status(*job), "Internal error: 46.");
  EXPECT_FALSE(writer.SaveFile(page.get(), size, nullptr, TRUE));
  EXPECT_EQ(Status(*job), "Internal error: 47.");
  EXPECT_FALSE(writer.SaveFile(page.get(), size, u"C:\\missing\\a.emf", TRUE));
  EXPECT_EQ(Status(*job).rfind("25: Cannot write EMF file: ", 0), 0u) << Status(*job);
  // A size past the block: the data cannot be had.
  EXPECT_FALSE(writer.SaveFile(page.get(), size + 4096, u"C:\\out\\a.emf", TRUE));
  EXPECT_EQ(Status(*job), "Internal error: 49.");
  {
    enctest::FileSizeLimit limit(64);
    EXPECT_FALSE(writer.SaveFile(page.get(), size, u"C:\\out\\full.emf", TRUE));
  }
  EXPECT_EQ(Status(*job), "Internal error: 48.");
  EXPECT_FALSE(std::filesystem::exists(Out("full.emf")));
}

TEST_F(EmfWriter, InMemoryThePageGoesToTheClient) {
  std::string delivered;
  SetClientImageHook(
      [](void* c, HGLOBAL image) {
        tw::dib::BlockLock lock(image);
        static_cast<std::string*>(c)->assign(reinterpret_cast<const char*>(lock.data()), lock.size());
      },
      &delivered);
  TarnwickDEVMODE dm = Record(18);
  dm.Flags |= tw::devmode::flags::GenerateInMemory;
  auto job = StartedJob(dm);
  ASSERT_NE(dynamic_cast<CTWMemEMFFile*>(job->m_pOutputFile.get()), nullptr);
  DWORD size = 0;
  auto page = writertest::BoxPage(job->m_DevMode, size);
  ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, job->m_szActFileName, TRUE));
  EXPECT_EQ(delivered, BlockBytes(page.get(), static_cast<DWORD>(GlobalSize(page.get()))));
  EXPECT_FALSE(job->m_pOutputFile->SaveFile(nullptr, 0, job->m_szActFileName, TRUE));
  EXPECT_EQ(Status(*job), "Internal error: 46.");
  SetClientImageHook(nullptr, nullptr);
  for (const auto& e : std::filesystem::directory_iterator(root_.Dir() / "drive_c" / "out"))
    EXPECT_NE(e.path().extension(), ".emf") << e.path();
}

}  // namespace
