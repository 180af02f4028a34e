// Vector pages: the page's metafiles, their size and resolution, trimming,
// rotation and the replay of text records.
#include <cstring>

#include "emf_test_util.h"
#include "job/page/page_seams.h"
#include "render/emf/page_seams.h"
#include "tw/pathmap.h"
#include "tw/wingdi_emf.h"

namespace {

using namespace emftest;
namespace st = tw::settings;

struct Emf {
  HENHMETAFILE h = nullptr;
  ~Emf() {
    if (h) DeleteEnhMetaFile(h);
  }
};

ENHMETAHEADER HeaderOf(HENHMETAFILE emf) {
  ENHMETAHEADER h{};
  GetEnhMetaFileHeader(emf, sizeof h, &h);
  return h;
}

// The metafile played onto a white 24-bit bitmap of w x h; whether (x, y) is black.
class Picture {
 public:
  Picture(HENHMETAFILE emf, LONG w, LONG h) : w_(w) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    PatBlt(dc_, 0, 0, w, h, WHITENESS);
    RECT rect{0, 0, w, h};
    PlayEnhMetaFile(dc_, emf, &rect);
    GdiFlush();
  }
  ~Picture() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  bool Black(LONG x, LONG y) const {
    const BYTE* p = bits_ + static_cast<std::size_t>(y) * ((w_ * 3 + 3) & ~3) + x * 3;
    return p[0] < 128 && p[1] < 128 && p[2] < 128;
  }

 private:
  LONG w_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
  BYTE* bits_ = nullptr;
};

class VectorPageTest : public JobTest {};

TEST_F(VectorPageTest, APlainPageGivesItsSizeAndNoOverlay) {
  TarnwickDEVMODE dm = Record();
  Block page(RecordPage(dm, [](HDC dc) { Fill(dc, 100, 200, 300, 400); }));
  CEMFImage image;
  Emf emf, overlay, underlay;
  EMFPageSizeF size;
  EMFResolutionF res;
  RECT trim{1, 1, 1, 1};
  ASSERT_TRUE(image.CreateEnhMetaFileExt(page.get(), &dm, job_.get(), &emf.h, &overlay.h, &size, &res, &underlay.h,
                                         FALSE, 1, &trim));
  ASSERT_NE(emf.h, nullptr);
  EXPECT_EQ(overlay.h, nullptr);
  EXPECT_EQ(underlay.h, nullptr);
  EXPECT_NEAR(size.cx, 2550, 0.5);
  EXPECT_NEAR(size.cy, 3300, 0.5);
  EXPECT_EQ(res.x, 300);
  EXPECT_EQ(res.y, 300);
  EXPECT_EQ(trim.left + trim.top + trim.right + trim.bottom, 0);
  Picture picture(emf.h, 2550, 3300);
  EXPECT_TRUE(picture.Black(150, 250));
  EXPECT_FALSE(picture.Black(50, 50));
}

TEST_F(VectorPageTest, ADamagedPageIsRefusedWithItsError) {
  TarnwickDEVMODE dm = Record();
  std::vector<BYTE> bytes = RecordPage(dm, [](HDC dc) { Fill(dc, 0, 0, 10, 10); });
  bytes.resize(120);  // the header says more than there is
  Block page(bytes);
  CEMFImage image;
  Emf emf, overlay;
  EMFPageSizeF size;
  EMFResolutionF res;
  EXPECT_FALSE(image.CreateEnhMetaFileExt(page.get(), &dm, job_.get(), &emf.h, &overlay.h, &size, &res, nullptr,
                                          FALSE, 1, nullptr));
  EXPECT_EQ(emf.h, nullptr);
  EXPECT_EQ(Status(), u"Internal error: 104.");
}

TEST_F(VectorPageTest, TrimmedMarginsLeaveThePage) {
  Set(st::PageTrimWhitespaceLeft, 1);
  Set(st::PageTrimWhitespaceTop, 1);
  TarnwickDEVMODE dm = Record();
  Block page(RecordPage(dm, [](HDC dc) { Fill(dc, 300, 400, 600, 700); }));
  CEMFImage image;
  Emf emf, overlay;
  EMFPageSizeF size;
  EMFResolutionF res;
  RECT trim{};
  ASSERT_TRUE(image.CreateEnhMetaFileExt(page.get(), &dm, job_.get(), &emf.h, &overlay.h, &size, &res, nullptr,
                                         FALSE, 1, &trim));
  EXPECT_EQ(trim.left, 300);
  EXPECT_EQ(trim.top, 400);
  EXPECT_EQ(trim.right, 0);
  EXPECT_EQ(trim.bottom, 0);
  EXPECT_NEAR(size.cx, 2250, 0.5);
  EXPECT_NEAR(size.cy, 2900, 0.5);
  const ENHMETAHEADER h = HeaderOf(emf.h);
  EXPECT_EQ(h.rclFrame.right, static_cast<LONG>(2250 / 300.0 * 2540 + 0.5));
  Picture picture(emf.h, 2250, 2900);
  EXPECT_TRUE(picture.Black(2, 2));
  EXPECT_TRUE(picture.Black(297, 297));
  EXPECT_FALSE(picture.Black(310, 310));
}

TEST_F(VectorPageTest, RotationOneTurnsPageAndRecord) {
  Set(st::PageRotation, 1);
  TarnwickDEVMODE dm = Record();
  Block page(RecordPage(dm, [](HDC dc) { Fill(dc, 0, 0, 100, 50); }));
  CEMFImage image;
  Emf emf, overlay;
  EMFPageSizeF size;
  EMFResolutionF res;
  ASSERT_TRUE(image.CreateEnhMetaFileExt(page.get(), &dm, job_.get(), &emf.h, &overlay.h, &size, &res, nullptr,
                                         FALSE, 1, nullptr));
  EXPECT_NEAR(size.cx, 3300, 0.5);
  EXPECT_NEAR(size.cy, 2550, 0.5);
  EXPECT_EQ(dm.PaperWidthInPixels, 3300);
  EXPECT_EQ(dm.PaperHeightInPixels, 2550);
  const ENHMETAHEADER h = HeaderOf(emf.h);
  EXPECT_GT(h.rclFrame.right - h.rclFrame.left, h.rclFrame.bottom - h.rclFrame.top);
  // (x, y) -> (y, W - x): the box at the top-left corner lands at the bottom-left.
  Picture picture(emf.h, 3300, 2550);
  EXPECT_TRUE(picture.Black(25, 2500));
  EXPECT_FALSE(picture.Black(25, 25));
  EXPECT_FALSE(picture.Black(75, 2500));
}

TEST_F(VectorPageTest, RotationsTwoAndThree) {
  TarnwickDEVMODE dm = Record();
  std::vector<BYTE> bytes = RecordPage(dm, [](HDC dc) { Fill(dc, 0, 0, 100, 50); });
  const EMFPageSizeF size{2550, 3300};
  {
    Block page(bytes);
    Emf turned;
    turned.h = RotateEMF(job_.get(), ReadMetaFile(page.get(), job_.get()), size, &dm, 2);
    ASSERT_NE(turned.h, nullptr);
    Picture picture(turned.h, 2550, 3300);
    EXPECT_TRUE(picture.Black(2500, 3280));  // (W - x, H - y)
    EXPECT_FALSE(picture.Black(25, 25));
  }
  {
    Block page(bytes);
    Emf turned;
    turned.h = RotateEMF(job_.get(), ReadMetaFile(page.get(), job_.get()), size, &dm, 3);
    ASSERT_NE(turned.h, nullptr);
    Picture picture(turned.h, 3300, 2550);
    EXPECT_TRUE(picture.Black(3280, 25));  // (H - y, x)
    EXPECT_FALSE(picture.Black(25, 25));
  }
  EXPECT_EQ(RotateEMF(job_.get(), nullptr, size, &dm, 1), nullptr);
}

struct TextSeen {
  DWORD options = 0;
  POINTL reference{};
  std::u16string text;
  std::vector<LONG> dx;
  int count = 0;
};

int CALLBACK ReadText(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM param) {
  if (record->iType != EMR_EXTTEXTOUTW) return 1;
  auto& seen = *reinterpret_cast<TextSeen*>(param);
  const BYTE* r = reinterpret_cast<const BYTE*>(record);
  EMREXTTEXTOUTW rec;
  std::memcpy(&rec, r, sizeof rec);
  seen.options = rec.emrtext.fOptions;
  seen.reference = rec.emrtext.ptlReference;
  seen.text.assign(reinterpret_cast<const char16_t*>(r + rec.emrtext.offString), rec.emrtext.nChars);
  seen.dx.resize(rec.emrtext.nChars);
  if (rec.emrtext.offDx) std::memcpy(seen.dx.data(), r + rec.emrtext.offDx, rec.emrtext.nChars * sizeof(LONG));
  ++seen.count;
  return 1;
}

TEST_F(VectorPageTest, ReplayClearsTheLanguageFlagAndKeepsTheText) {
  TarnwickDEVMODE dm = Record();
  const INT dx[3] = {40, 50, 60};
  Block page(RecordPage(dm, [&](HDC dc) { ExtTextOutW(dc, 120, 340, ETO_IGNORELANGUAGE, nullptr, u"abc", 3, dx); }));
  Emf source;
  source.h = ReadMetaFile(page.get(), job_.get());
  ASSERT_NE(source.h, nullptr);
  TextSeen before;
  EnumEnhMetaFile(nullptr, source.h, ReadText, &before, nullptr);
  ASSERT_EQ(before.count, 1);
  ASSERT_NE(before.options & ETO_IGNORELANGUAGE, 0u);

  const ENHMETAHEADER h = HeaderOf(source.h);
  HDC printer = CreateDCW(u"WINSPOOL", kPrinter, nullptr, reinterpret_cast<const DEVMODEW*>(&dm));
  RECT frame{h.rclFrame.left, h.rclFrame.top, h.rclFrame.right, h.rclFrame.bottom};
  HDC copy = CreateEnhMetaFileW(printer, nullptr, &frame, nullptr);
  RECT rect{0, 0, 2550, 3300};
  EXPECT_TRUE(EnumEnhMetaFile(copy, source.h, ReplayEMFRecordProc, nullptr, &rect));
  Emf replayed;
  replayed.h = CloseEnhMetaFile(copy);
  DeleteDC(printer);
  TextSeen after;
  EnumEnhMetaFile(nullptr, replayed.h, ReadText, &after, nullptr);
  ASSERT_EQ(after.count, 1);
  EXPECT_EQ(after.options & ETO_IGNORELANGUAGE, 0u);
  EXPECT_EQ(after.text, u"abc");
  EXPECT_EQ(after.reference.x, 120);
  EXPECT_EQ(after.reference.y, 340);
  EXPECT_EQ(after.dx, before.dx);
  // The source metafile is unchanged.
  TextSeen again;
  EnumEnhMetaFile(nullptr, source.h, ReadText, &again, nullptr);
  EXPECT_NE(again.options & ETO_IGNORELANGUAGE, 0u);
}

TEST_F(VectorPageTest, ARawPageBecomesAMetafileOfItsSize) {
  TarnwickDEVMODE dm = Record();
  // A raw page: a 1-bit DIB of the page with a black box.
  twtest::DibBytes dib(2550, 3300, 1, twtest::BlackWhiteTable());
  for (LONG y = 0; y < 3300; ++y)
    for (LONG x = 0; x < 2550; ++x) dib.Set(x, y, (x >= 100 && x < 300 && y >= 100 && y < 200) ? 0 : 1);
  Block page(dib.bytes);
  CEMFImage image;
  Emf emf, overlay, underlay;
  EMFPageSizeF size;
  EMFResolutionF res;
  ASSERT_TRUE(image.CreateEnhMetaFileFromRawDataExt(page.get(), &dm, job_.get(), &emf.h, &overlay.h, &size, &res,
                                                    &underlay.h, 1));
  // The raw page's metafile has the printer's size in whole millimetres.
  EXPECT_NEAR(size.cx, 2550, 6.0);
  EXPECT_NEAR(size.cy, 3300, 6.0);
  EXPECT_EQ(overlay.h, nullptr);
  Picture picture(emf.h, 2550, 3300);
  EXPECT_TRUE(picture.Black(150, 150));
  EXPECT_FALSE(picture.Black(50, 50));
}

}  // namespace

namespace {

// Files of the temporary folder whose names start with "~tw".
int ForwardingFiles() {
  WCHAR dir[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, dir);
  std::filesystem::path host;
  if (tw::path::ToHost(dir, host) != 0 || !std::filesystem::exists(host)) return 0;
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(host))
    n += e.path().filename().string().rfind("~tw", 0) == 0;
  return n;
}

TEST_F(VectorPageTest, ForwardedCopiesAreMadeFromThePageAndLeaveNothingBehind) {
  TarnwickDEVMODE dm = Record();
  job_->m_DevMode = dm;
  Block page(RecordPage(dm, [](HDC dc) { Fill(dc, 100, 200, 300, 400); }));
  const int before = ForwardingFiles();
  EXPECT_TRUE(tw::page::ForwardPageToPrinter(*job_, page.get(), 0, FALSE, 3));
  EXPECT_EQ(ForwardingFiles(), before);
  std::vector<BYTE> damaged(200, 0xA5);
  Block bad(damaged);
  EXPECT_FALSE(tw::page::ForwardPageToPrinter(*job_, bad.get(), 0, FALSE, 2));
  EXPECT_EQ(ForwardingFiles(), before);
}

}  // namespace
