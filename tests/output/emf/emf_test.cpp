// The EMF writers: metafile pages stored as the driver sent them, bitmap
// pages drawn into a metafile (checked record by record and replayed by our
// player), turned pages replayed turned, the in-memory page, and the
// failures with their numbers.
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
  RECTL bounds{};
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
  std::memcpy(&w.bounds, bytes.data() + 8, sizeof w.bounds);
  std::memcpy(&w.frame, bytes.data() + 24, sizeof w.frame);
  return w;
}

std::string BlockBytes(HGLOBAL block, DWORD size) {
  tw::dib::BlockLock lock(block);
  return std::string(reinterpret_cast<const char*>(lock.data()), size);
}

class EmfWriter : public WriterFixture {
 protected:
  // The metafile file played by our player into a white 24-bit bitmap of
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
    PatBlt(dc, 0, 0, width, height, WHITENESS);
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

// A record at 100 dpi (small pages to play back) in the given orientation.
TarnwickDEVMODE SmallRecord(SHORT orientation) {
  tw::twdriver::DevModeOptions options;
  options.outputDirectory = u"C:\\out";
  options.orientation = orientation;
  options.xDpi = options.yDpi = 100;
  TarnwickDEVMODE dm = tw::twdriver::MakeDevMode(options);
  dm.FileFormat = 18;
  return dm;
}

// A Letter page recorded on the record's printer (850 x 1100 pixels, or
// 1100 x 850 landscape) with one black box over pixels (100, 50) to (199, 99).
tw::dib::GlobalBlock MarkPage(const TarnwickDEVMODE& record, DWORD& size) {
  const bool landscape = record.DM.dmOrientation == DMORIENT_LANDSCAPE;
  const RECT frame{0, 0, landscape ? 27940 : 21590, landscape ? 21590 : 27940};
  return writertest::RecordedPage(record, frame, [](HDC dc) { PatBlt(dc, 100, 50, 100, 50, BLACKNESS); }, size);
}

TEST_F(EmfWriter, TurnedPagesAreStoredTurned) {
  twtest::LeakGuard leaks;
  struct Case {
    const char* what;
    SHORT orientation;
    bool rotatePaper;
    int rotation;  // the "Rotation" page setting
    bool footer;   // makes an overlay, which the file does not take
    LONG width, height;  // of the stored page, pixels
    RECTL box;           // the pixels the mark covers, turned (inclusive)
  } cases[] = {
      // Landscape with "rotate paper": rotation 3, (x, y) -> (H - y, x).
      {"rotate paper", DMORIENT_LANDSCAPE, true, 0, false, 850, 1100, {750, 100, 799, 199}},
      // Rotation 1: (x, y) -> (y, W - x).
      {"rotation 1", DMORIENT_PORTRAIT, false, 1, false, 1100, 850, {50, 650, 99, 749}},
      {"rotation 1 with an overlay", DMORIENT_PORTRAIT, false, 1, true, 1100, 850, {50, 650, 99, 749}},
      // Rotation 2: (x, y) -> (W - x, H - y).
      {"rotation 2", DMORIENT_PORTRAIT, false, 2, false, 850, 1100, {650, 1000, 749, 1049}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TarnwickDEVMODE record = SmallRecord(c.orientation);
    if (c.rotatePaper) record.Flags |= tw::devmode::flags::RotatePaper;
    auto job = StartedJob(record);
    ASSERT_TRUE(tw::settings::Write(job->SettingsScope(), tw::settings::PageRotation, c.rotation));
    ASSERT_TRUE(tw::settings::Write(job->SettingsScope(), tw::settings::FooterEnable, c.footer ? 1 : 0));
    const TarnwickDEVMODE before = job->m_pOutputFile->m_DevMode;
    DWORD size = 0;
    auto page = MarkPage(before, size);
    ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\turned.emf", TRUE)) << Status(*job);
    // The writer's record still describes the page as it came: the preview
    // and forwarding of the page read it after the writer.
    EXPECT_EQ(std::memcmp(&before, &job->m_pOutputFile->m_DevMode, sizeof before), 0);

    const std::string bytes = Read("turned.emf");
    EmfWalk walk = WalkEmf(bytes);
    ASSERT_EQ(walk.error, "");
    // The frame is the turned page's, in 0.01 mm; the bounds are the mark's.
    EXPECT_EQ(walk.frame.left, 0);
    EXPECT_EQ(walk.frame.top, 0);
    EXPECT_EQ(walk.frame.right, c.width == 850 ? 21590 : 27940);
    EXPECT_EQ(walk.frame.bottom, c.height == 850 ? 21590 : 27940);
    EXPECT_EQ(walk.bounds.left, c.box.left);
    EXPECT_EQ(walk.bounds.top, c.box.top);
    EXPECT_EQ(walk.bounds.right, c.box.right);
    EXPECT_EQ(walk.bounds.bottom, c.box.bottom);
    // Played, the mark is where the turn puts it, and nowhere else (to a
    // pixel: the player maps the frame through whole millimetres).
    const auto rgb = Played("turned.emf", c.width, c.height);
    RECTL ink{c.width, c.height, -1, -1};
    std::size_t inked = 0;
    for (LONG y = 0; y < c.height; ++y)
      for (LONG x = 0; x < c.width; ++x) {
        if (rgb[(std::size_t(y) * c.width + x) * 3] >= 128) continue;
        ++inked;
        ink = {std::min(ink.left, x), std::min(ink.top, y), std::max(ink.right, x), std::max(ink.bottom, y)};
      }
    EXPECT_NEAR(ink.left, c.box.left, 1);
    EXPECT_NEAR(ink.top, c.box.top, 1);
    EXPECT_NEAR(ink.right, c.box.right, 1);
    EXPECT_NEAR(ink.bottom, c.box.bottom, 1);
    EXPECT_NEAR(static_cast<double>(inked), 100.0 * 50.0, 200.0);
  }
}

TEST_F(EmfWriter, PagesNotTurnedKeepTheDriversBytes) {
  // "Rotate paper" turns landscape pages only; a landscape page without it
  // and without a page rotation is not turned either.
  for (auto [orientation, rotatePaper] : {std::pair{DMORIENT_PORTRAIT, true}, std::pair{DMORIENT_LANDSCAPE, false}}) {
    TarnwickDEVMODE record = SmallRecord(static_cast<SHORT>(orientation));
    if (rotatePaper) record.Flags |= tw::devmode::flags::RotatePaper;
    auto job = StartedJob(record);
    DWORD size = 0;
    auto page = MarkPage(job->m_pOutputFile->m_DevMode, size);
    ASSERT_TRUE(job->m_pOutputFile->SaveFile(page.get(), size, u"C:\\out\\page.emf", TRUE)) << Status(*job);
    EXPECT_EQ(Read("page.emf"), BlockBytes(page.get(), size)) << orientation;
  }
}

TEST_F(EmfWriter, ATurnedPageThatFailsLeavesNoFile) {
  twtest::LeakGuard leaks;
  {
    TarnwickDEVMODE record = SmallRecord(DMORIENT_LANDSCAPE);
    record.Flags |= tw::devmode::flags::RotatePaper;
    auto job = StartedJob(record);
    CTWFile& writer = *job->m_pOutputFile;
    DWORD size = 0;
    auto page = MarkPage(writer.m_DevMode, size);
    const std::string good = BlockBytes(page.get(), size);
    auto block = [](const std::string& bytes) {
      tw::dib::GlobalBlock b(GlobalAlloc(GHND, bytes.size()));
      tw::dib::BlockLock lock(b.get());
      std::memcpy(lock.data(), bytes.data(), bytes.size());
      return b;
    };
    // Not a metafile, and a metafile cut short: reported by the reader.
    tw::dib::GlobalBlock junk(GlobalAlloc(GHND, 200));
    EXPECT_FALSE(writer.SaveFile(junk.get(), 200, u"C:\\out\\bad.emf", TRUE));
    EXPECT_EQ(Status(*job), "Internal error: 104.");
    auto cut = block(good.substr(0, good.size() - 24));
    EXPECT_FALSE(writer.SaveFile(cut.get(), size - 24, u"C:\\out\\bad.emf", TRUE));
    EXPECT_EQ(Status(*job), "Internal error: 104.");
    // A header without a reference device: no page size to turn.
    std::string noDevice = good;
    std::memset(noDevice.data() + 72, 0, 16);  // szlDevice, szlMillimeters
    auto flat = block(noDevice);
    EXPECT_FALSE(writer.SaveFile(flat.get(), size, u"C:\\out\\bad.emf", TRUE));
    EXPECT_FALSE(std::filesystem::exists(Out("bad.emf")));

    // The turned page cannot be written: the path check, or internal error 48.
    EXPECT_FALSE(writer.SaveFile(page.get(), size, u"C:\\missing\\a.emf", TRUE));
    EXPECT_EQ(Status(*job).rfind("25: Cannot write EMF file: ", 0), 0u) << Status(*job);
    {
      enctest::FileSizeLimit limit(64);
      EXPECT_FALSE(writer.SaveFile(page.get(), size, u"C:\\out\\full.emf", TRUE));
    }
    EXPECT_EQ(Status(*job), "Internal error: 48.");
    EXPECT_FALSE(std::filesystem::exists(Out("full.emf")));
  }
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
