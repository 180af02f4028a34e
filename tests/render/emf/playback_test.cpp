// How a page's records are played: the font quality of "Antialiasing",
// pages without their text, the check for fonts the printer lacks, the
// messaging interface kept across the printer context, the render bitmap
// cache and the EndPage delay.
#include <chrono>

#include "emf_test_util.h"
#include "event_entries.h"

namespace {

using namespace emftest;
namespace st = tw::settings;

std::vector<BYTE> TextAndBox(const TarnwickDEVMODE& dm, const char16_t* face = u"Arial") {
  return RecordPage(dm, [face](HDC dc) {
    LOGFONTW lf{};
    lf.lfHeight = -60;
    for (int i = 0; face[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = face[i];
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    const std::u16string text = u"Quality of glyph edges";
    TextOutW(dc, 200, 200, text.c_str(), static_cast<int>(text.size()));
    SelectObject(dc, old);
    DeleteObject(font);
    Fill(dc, 200, 600, 400, 700);
  });
}

class PlaybackTest : public JobTest {
 protected:
  std::unique_ptr<twtest::DibView> Render(const std::vector<BYTE>& page, TarnwickDEVMODE& dm, BOOL noText = FALSE) {
    CEMFImage image;
    Block block(page);
    if (!image.Create(block.get(), &dm, job_.get(), FALSE, TRUE, noText)) return nullptr;
    return std::make_unique<twtest::DibView>(image.TakeDIB());
  }
  // Pixels of the text's area that are neither black nor white.
  static long Greys(const twtest::DibView& dib) {
    long n = 0;
    for (LONG y = 150; y < 300; ++y)
      for (LONG x = 200; x < 1200; ++x) {
        std::uint32_t v = dib.Get(x, y) & 0xFFFFFF;
        n += v != 0 && v != 0xFFFFFF;
      }
    return n;
  }
  static long Blacks(const twtest::DibView& dib, LONG top, LONG bottom) {
    long n = 0;
    for (LONG y = top; y < bottom; ++y)
      for (LONG x = 200; x < 1200; ++x) n += Black(dib, x, y);
    return n;
  }
};

TEST_F(PlaybackTest, AntialiasingDecidesTheGlyphEdges) {
  TarnwickDEVMODE dm = Record(300, 300, 3);
  auto page = TextAndBox(dm);
  auto automatic = Render(page, dm);  // true colour at 300 DPI: antialiased
  ASSERT_TRUE(automatic);
  EXPECT_GT(Greys(*automatic), 100);
  Set(st::PageAntialiasing, 0u);
  auto aliased = Render(page, dm);
  ASSERT_TRUE(aliased);
  EXPECT_EQ(Greys(*aliased), 0);
  EXPECT_GT(Blacks(*aliased, 150, 300), 1000);
  // Below 150 DPI the font keeps its own (default) quality.
  Set(st::PageAntialiasing, 4u);
  TarnwickDEVMODE low = Record(100, 100, 3);
  auto own = Render(TextAndBox(low), low);
  ASSERT_TRUE(own);
}

TEST_F(PlaybackTest, PagesWithoutTheirText) {
  TarnwickDEVMODE dm = Record();
  auto page = TextAndBox(dm);
  auto withText = Render(page, dm);
  auto noText = Render(page, dm, TRUE);
  ASSERT_TRUE(withText && noText);
  EXPECT_GT(Blacks(*withText, 150, 300), 1000);
  EXPECT_EQ(Blacks(*noText, 150, 300), 0);
  EXPECT_GT(Blacks(*noText, 600, 700), 19000);  // the box is drawn all the same
}

TEST_F(PlaybackTest, FontsThePrinterLacksAreReportedWithDebugLogging) {
  TarnwickDEVMODE dm = Record();
  auto page = TextAndBox(dm, u"NoSuchFace Xyz");
  auto mentions = [] {
    int n = 0;
    for (const auto& e : twtest::ReadEventEntries())
      for (const auto& s : e.strings) n += s.find(u"Could not find font: NoSuchFace Xyz") != std::u16string::npos;
    return n;
  };
  ASSERT_TRUE(Render(page, dm));
  EXPECT_EQ(mentions(), 0);
  Set(st::TroubleDebugLoggingEnable, 1);
  ASSERT_TRUE(Render(page, dm));  // the page itself is still rendered
  EXPECT_EQ(mentions(), 1);
  ASSERT_TRUE(Render(TextAndBox(dm, u"Courier New"), dm));
  EXPECT_EQ(mentions(), 1);
}

TEST_F(PlaybackTest, TheMessagingInterfaceIsKeptAcrossThePrinterContext) {
  Set(st::MessagingUseWindowsSessionId, true);
  Set(st::MessagingInterfaceId, 7u);
  TarnwickDEVMODE dm = Record();
  dm.SessionID = 3;
  ASSERT_TRUE(Render(TextAndBox(dm), dm));
  EXPECT_EQ(dm.SessionID, 7u);
  EXPECT_EQ(st::Read(Scope(), st::MessagingInterfaceId), 7u);
  // Without the session switch the record is left alone.
  Set(st::MessagingUseWindowsSessionId, false);
  dm.SessionID = 3;
  ASSERT_TRUE(Render(TextAndBox(dm), dm));
  EXPECT_EQ(dm.SessionID, 3u);
}

TEST_F(PlaybackTest, TheRenderBitmapIsKeptForPagesOfItsSize) {
  HDC dc = CreateCompatibleDC(nullptr);
  CEMFImage a, b;
  TarnwickDEVMODE dm = Record();
  ASSERT_TRUE(a.FillBITMAPINFO(&dm));
  HBITMAP first = GetCachedDIBSection(dc, a.m_lpBmi);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetCachedDIBSection(dc, a.m_lpBmi), first);
  BITMAP bm{};
  ASSERT_TRUE(GetObjectW(first, sizeof bm, &bm));
  EXPECT_EQ(bm.bmBitsPixel, 1);
  dm.UserFlags = MAKELONG(150, 150);
  dm.Flags |= tw::devmode::flags::UserResolution;
  ASSERT_TRUE(b.FillBITMAPINFO(&dm));
  HBITMAP second = GetCachedDIBSection(dc, b.m_lpBmi);
  ASSERT_NE(second, nullptr);
  ASSERT_TRUE(GetObjectW(second, sizeof bm, &bm));
  EXPECT_EQ(bm.bmWidth, 1275);
  EXPECT_EQ(GetObjectW(first, sizeof bm, &bm), 0) << "the bitmap of the other size is deleted";
  DeleteDC(dc);
  auto before = tw::debug::Snapshot();
  ReleaseRenderBitmapCache();
  EXPECT_EQ(tw::debug::Diff(before, tw::debug::Snapshot()), "GdiObjects -1") << "releasing the cache deletes its bitmap";
}

TEST_F(PlaybackTest, ThePageImageWaitsForTheEndPageDelay) {
  job_->m_dwEndPageDelay = 300;
  auto start = std::chrono::steady_clock::now();
  { CEMFImage image; image.m_pJob = job_.get(); }
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(290));
}

}  // namespace
