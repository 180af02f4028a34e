// The recorder: bounds of what is drawn, the header from the reference
// device, object records and handle slots, text with advances, files, and
// recorded pages that play back to the pixels drawn directly.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "emf_canvas.h"
#include "tw/pathmap.h"
#include "tw_test.h"

using twtest::Canvas;
using twtest::HeaderOf;
using twtest::Recording;

namespace {

// The records of a metafile, each as its bytes.
std::vector<std::vector<BYTE>> recordsOf(HENHMETAFILE h) {
  std::vector<std::vector<BYTE>> out;
  EnumEnhMetaFile(
      nullptr, h,
      [](HDC, HANDLETABLE*, const ENHMETARECORD* r, int, LPARAM data) -> int {
        auto* list = reinterpret_cast<std::vector<std::vector<BYTE>>*>(data);
        const BYTE* p = reinterpret_cast<const BYTE*>(r);
        list->emplace_back(p, p + r->nSize);
        return 1;
      },
      &out, nullptr);
  return out;
}

std::vector<DWORD> typesOf(HENHMETAFILE h) {
  std::vector<DWORD> types;
  for (const auto& r : recordsOf(h)) types.push_back(reinterpret_cast<const EMR*>(r.data())->iType);
  return types;
}

template <class T>
const T& as(const std::vector<BYTE>& record) {
  return *reinterpret_cast<const T*>(record.data());
}

RECTL boundsAfter(const std::function<void(HDC)>& draw) {
  Recording rec;
  draw(rec.Dc());
  HENHMETAFILE h = rec.Close();
  RECTL b = HeaderOf(h).rclBounds;
  DeleteEnhMetaFile(h);
  return b;
}

void expectRect(const RECTL& r, LONG l, LONG t, LONG rt, LONG b) {
  EXPECT_EQ(r.left, l);
  EXPECT_EQ(r.top, t);
  EXPECT_EQ(r.right, rt);
  EXPECT_EQ(r.bottom, b);
}

}  // namespace

TEST(EmfRecorder, BoundsOfPrimitives) {
  twtest::LeakGuard leaks;
  // A rectangle leaves its right and bottom edges out (compatible mode).
  expectRect(boundsAfter([](HDC dc) { Rectangle(dc, 10, 10, 20, 20); }), 10, 10, 19, 19);
  // Nothing drawn: empty bounds.
  expectRect(boundsAfter([](HDC dc) { SetBkColor(dc, RGB(1, 1, 1)); }), 0, 0, -1, -1);
  // A 6-pixel geometric pen inks 3 pixels either side of the line.
  expectRect(boundsAfter([](HDC dc) {
               HPEN pen = CreatePen(PS_SOLID, 6, RGB(0, 0, 0));
               HGDIOBJ old = SelectObject(dc, pen);
               MoveToEx(dc, 50, 50, nullptr);
               LineTo(dc, 80, 50);
               SelectObject(dc, old);
               DeleteObject(pen);
             }),
             47, 47, 83, 53);
  // Through the DC's mapping: the window origin moves the picture.
  expectRect(boundsAfter([](HDC dc) {
               SetWindowOrgEx(dc, -100, -5, nullptr);
               Rectangle(dc, 0, 0, 10, 10);
             }),
             100, 5, 109, 14);
  // Clipped drawing inks only inside the clip.
  expectRect(boundsAfter([](HDC dc) {
               IntersectClipRect(dc, 0, 0, 15, 15);
               Rectangle(dc, 10, 10, 30, 30);
             }),
             10, 10, 14, 14);
  // Several calls accumulate.
  expectRect(boundsAfter([](HDC dc) {
               Ellipse(dc, 10, 20, 30, 40);
               PatBlt(dc, 100, 100, 10, 5, BLACKNESS);
             }),
             10, 20, 109, 104);
}

TEST(EmfRecorder, HeaderComesFromTheReferenceDevice) {
  twtest::LeakGuard leaks;
  // Letter at 300 DPI: the page a cover page is recorded on.
  HDC printer = twtest::PrinterDc(2159, 2794, 300);
  ASSERT_NE(printer, nullptr);
  RECT frame{0, 0, 21590, 27940};
  HDC dc = CreateEnhMetaFileW(printer, nullptr, &frame, u"Tarnwick\0Cover\0\0");
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetObjectType(dc), DWORD(OBJ_ENHMETADC));
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 2550);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
  SelectObject(dc, pen);
  Rectangle(dc, 100, 200, 2001, 3001);
  HENHMETAFILE h = CloseEnhMetaFile(dc);
  ASSERT_NE(h, nullptr);
  ENHMETAHEADER hd = HeaderOf(h);
  EXPECT_EQ(hd.dSignature, DWORD(ENHMETA_SIGNATURE));
  EXPECT_EQ(hd.nVersion, 0x10000u);
  expectRect(hd.rclFrame, 0, 0, 21590, 27940);
  expectRect(hd.rclBounds, 100, 200, 2000, 3000);
  EXPECT_EQ(hd.szlDevice.cx, 2550);
  EXPECT_EQ(hd.szlDevice.cy, 3300);
  EXPECT_EQ(hd.szlMillimeters.cx, 216);
  EXPECT_EQ(hd.szlMillimeters.cy, 279);
  EXPECT_EQ(hd.szlMicrometers.cx, 215900);
  EXPECT_EQ(hd.szlMicrometers.cy, 279400);
  EXPECT_EQ(hd.nBytes, GetEnhMetaFileBits(h, 0, nullptr));
  EXPECT_EQ(hd.nRecords, typesOf(h).size());
  EXPECT_EQ(hd.nHandles, 2);  // the metafile and the pen
  EXPECT_EQ(hd.nPalEntries, 0u);
  // The page size a page renderer computes from it comes back exactly.
  double px = hd.szlDevice.cx / (hd.szlMicrometers.cx / 1000.0);
  EXPECT_EQ(static_cast<int>((hd.rclFrame.right - hd.rclFrame.left) / 100.0 * px + 0.5), 2550);
  std::u16string desc(GetEnhMetaFileDescriptionW(h, 0, nullptr), u'?');
  GetEnhMetaFileDescriptionW(h, UINT(desc.size()), desc.data());
  EXPECT_EQ(desc, std::u16string(u"Tarnwick\0Cover\0\0", 16));
  DeleteEnhMetaFile(h);
  DeleteObject(pen);
  DeleteDC(printer);
}

TEST(EmfRecorder, ObjectsAreWrittenOnceAndTheirSlotsReused) {
  twtest::LeakGuard leaks;
  Recording rec;
  HDC dc = rec.Dc();
  HPEN a = CreatePen(PS_DASH, 1, RGB(255, 0, 0));
  HBRUSH b = CreateHatchBrush(HS_CROSS, RGB(0, 0, 255));
  HGDIOBJ oldPen = SelectObject(dc, a);
  SelectObject(dc, b);
  SelectObject(dc, GetStockObject(BLACK_PEN));
  SelectObject(dc, a);  // already in the metafile: selected, not created again
  SelectObject(dc, oldPen);
  DeleteObject(a);      // frees slot 1
  HPEN c = CreatePen(PS_SOLID, 2, RGB(0, 255, 0));
  SelectObject(dc, c);  // takes slot 1 again
  HENHMETAFILE h = rec.Close();
  DeleteObject(b);
  DeleteObject(c);
  ASSERT_NE(h, nullptr);

  std::vector<std::pair<DWORD, DWORD>> objectRecords;  // (type, slot)
  for (const auto& r : recordsOf(h)) {
    DWORD type = as<EMR>(r).iType;
    if (type == EMR_CREATEPEN) objectRecords.push_back({type, as<EMRCREATEPEN>(r).ihPen});
    if (type == EMR_CREATEBRUSHINDIRECT) objectRecords.push_back({type, as<EMRCREATEBRUSHINDIRECT>(r).ihBrush});
    if (type == EMR_SELECTOBJECT || type == EMR_DELETEOBJECT)
      objectRecords.push_back({type, as<EMRSELECTOBJECT>(r).ihObject});
  }
  std::vector<std::pair<DWORD, DWORD>> expected = {
      {EMR_CREATEPEN, 1},
      {EMR_SELECTOBJECT, 1},
      {EMR_CREATEBRUSHINDIRECT, 2},
      {EMR_SELECTOBJECT, 2},
      {EMR_SELECTOBJECT, ENHMETA_STOCK_OBJECT | BLACK_PEN},
      {EMR_SELECTOBJECT, 1},
      {EMR_SELECTOBJECT, ENHMETA_STOCK_OBJECT | BLACK_PEN},
      {EMR_DELETEOBJECT, 1},
      {EMR_CREATEPEN, 1},
      {EMR_SELECTOBJECT, 1},
  };
  EXPECT_EQ(objectRecords, expected);
  EXPECT_EQ(HeaderOf(h).nHandles, 3);
  // The hatch brush is written as what it is.
  for (const auto& r : recordsOf(h))
    if (as<EMR>(r).iType == EMR_CREATEBRUSHINDIRECT) {
      EXPECT_EQ(as<EMRCREATEBRUSHINDIRECT>(r).lb.lbStyle, UINT(BS_HATCHED));
      EXPECT_EQ(as<EMRCREATEBRUSHINDIRECT>(r).lb.lbHatch, ULONG(HS_CROSS));
    }
  DeleteEnhMetaFile(h);
}

TEST(EmfRecorder, TextIsRecordedWithAdvances) {
  twtest::LeakGuard leaks;
  Recording rec;
  INT given[3] = {7, 8, 9};
  ExtTextOutW(rec.Dc(), 10, 20, 0, nullptr, u"abc", 3, given);
  ExtTextOutW(rec.Dc(), 10, 40, ETO_IGNORELANGUAGE, nullptr, u"de", 2, nullptr);
  // Found by fuzzing: vertical advances asked for without an array.
  ExtTextOutW(rec.Dc(), 10, 60, ETO_PDY, nullptr, u"fgh", 3, nullptr);
  HENHMETAFILE h = rec.Close();
  ASSERT_NE(h, nullptr);
  std::vector<std::vector<BYTE>> texts;
  for (const auto& r : recordsOf(h))
    if (as<EMR>(r).iType == EMR_EXTTEXTOUTW) texts.push_back(r);
  ASSERT_EQ(texts.size(), 3u);
  const EMRTEXT& third = as<EMREXTTEXTOUTW>(texts[2]).emrtext;
  ASSERT_LE(third.offDx + 6 * sizeof(INT), texts[2].size());  // x and y for each character
  INT dx3[6];
  std::memcpy(dx3, texts[2].data() + third.offDx, sizeof(dx3));
  EXPECT_GT(dx3[0], 0);
  EXPECT_EQ(dx3[1], 0);
  const EMRTEXT& first = as<EMREXTTEXTOUTW>(texts[0]).emrtext;
  EXPECT_EQ(first.nChars, 3u);
  EXPECT_EQ(first.ptlReference.y, 20);
  ASSERT_NE(first.offDx, 0u);
  ASSERT_LE(first.offDx + 12, texts[0].size());
  INT dx[3];
  std::memcpy(dx, texts[0].data() + first.offDx, 12);
  EXPECT_EQ(dx[0], 7);
  EXPECT_EQ(dx[2], 9);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(texts[0].data() + first.offString), 3), u"abc");
  const EMRTEXT& second = as<EMREXTTEXTOUTW>(texts[1]).emrtext;
  EXPECT_EQ(second.fOptions, UINT(ETO_IGNORELANGUAGE));
  ASSERT_NE(second.offDx, 0u);  // measured advances even when none were given
  INT dx2[2];
  std::memcpy(dx2, texts[1].data() + second.offDx, 8);
  EXPECT_GT(dx2[0], 0);
  DeleteEnhMetaFile(h);
}

TEST(EmfRecorder, WhatAMetafileDcRefuses) {
  twtest::LeakGuard leaks;
  Recording rec;
  HBITMAP bmp = CreateBitmap(8, 8, 1, 1, nullptr);
  EXPECT_EQ(SelectObject(rec.Dc(), bmp), nullptr);  // no bitmap on a metafile DC
  DeleteObject(bmp);
  Canvas canvas(4, 4);
  EXPECT_EQ(CloseEnhMetaFile(canvas.Dc()), nullptr);  // not a metafile DC
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(CreateEnhMetaFileW(nullptr, u"C:\\no such folder\\x.emf", nullptr, nullptr), nullptr);
  // Deleting the DC without closing it drops the recording (the leak guard
  // checks that nothing stays behind).
  HDC dropped = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(dropped, nullptr);
  Rectangle(dropped, 0, 0, 10, 10);
  EXPECT_TRUE(DeleteDC(dropped));
}

TEST(EmfRecorder, CommentsAndTheFileOnDisk) {
  twtest::LeakGuard leaks;
  HENHMETAFILE h;
  {
    Recording rec(&Recording::kFrame, u"C:\\page.emf");
    BYTE zeros[4] = {0, 0, 0, 0};
    EXPECT_TRUE(GdiComment(rec.Dc(), 4, zeros));
    h = rec.Close();
  }
  ASSERT_NE(h, nullptr);
  std::vector<BYTE> bytes(GetEnhMetaFileBits(h, 0, nullptr));
  GetEnhMetaFileBits(h, UINT(bytes.size()), bytes.data());
  std::filesystem::path host;
  ASSERT_EQ(tw::path::ToHost(u"C:\\page.emf", host), 0u);
  std::ifstream in(host, std::ios::binary);
  std::vector<BYTE> onDisk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(onDisk, bytes);
  bool found = false;
  for (const auto& r : recordsOf(h))
    if (as<EMR>(r).iType == EMR_GDICOMMENT) {
      found = true;
      EXPECT_EQ(as<EMRGDICOMMENT>(r).cbData, 4u);
    }
  EXPECT_TRUE(found);
  DeleteEnhMetaFile(h);
}

namespace {

// The same drawing for a canvas and a recording.
void drawPage(HDC dc) {
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HPEN blue = CreatePen(PS_SOLID, 3, RGB(0, 0, 255));
  HGDIOBJ oldBrush = SelectObject(dc, red);
  HGDIOBJ oldPen = SelectObject(dc, blue);
  Rectangle(dc, 10, 10, 60, 40);
  Ellipse(dc, 70, 10, 120, 60);
  POINT tri[3] = {{130, 60}, {190, 60}, {160, 10}};
  Polygon(dc, tri, 3);
  SelectObject(dc, GetStockObject(NULL_PEN));
  HBRUSH hatch = CreateHatchBrush(HS_DIAGCROSS, RGB(0, 128, 0));
  SelectObject(dc, hatch);
  Rectangle(dc, 10, 80, 60, 140);
  PatBlt(dc, 70, 80, 30, 20, BLACKNESS);
  // A small bitmap stretched.
  BITMAPINFOHEADER bih{sizeof(BITMAPINFOHEADER), 2, 2, 1, 24, BI_RGB, 16, 0, 0, 0, 0};
  BYTE bits[16] = {0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0};
  StretchDIBits(dc, 110, 80, 40, 40, 0, 0, 2, 2, bits, reinterpret_cast<BITMAPINFO*>(&bih), DIB_RGB_COLORS, SRCCOPY);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(red);
  DeleteObject(blue);
  DeleteObject(hatch);
}

}  // namespace

TEST(EmfRecorder, RecordedPagePlaysBackToTheSamePixels) {
  twtest::LeakGuard leaks;
  Canvas direct(200, 150);
  drawPage(direct.Dc());

  Recording rec;
  drawPage(rec.Dc());
  HENHMETAFILE h = rec.Close();
  ASSERT_NE(h, nullptr);
  Canvas played(200, 150);
  RECT page = Recording::kPage;
  ASSERT_TRUE(PlayEnhMetaFile(played.Dc(), h, &page));
  EXPECT_TRUE(played.SamePixels(direct));
  EXPECT_EQ(played.Color(35, 25), RGB(255, 0, 0));

  // Played into another recorder, the page is recorded again and still
  // plays back the same.
  Recording again;
  ASSERT_TRUE(PlayEnhMetaFile(again.Dc(), h, &page));
  HENHMETAFILE h2 = again.Close();
  ASSERT_NE(h2, nullptr);
  std::vector<DWORD> types = typesOf(h2);
  EXPECT_NE(std::find(types.begin(), types.end(), DWORD(EMR_STRETCHDIBITS)), types.end());
  Canvas replayed(200, 150);
  ASSERT_TRUE(PlayEnhMetaFile(replayed.Dc(), h2, &page));
  EXPECT_TRUE(replayed.SamePixels(direct));
  RECTL b1 = HeaderOf(h).rclBounds, b2 = HeaderOf(h2).rclBounds;
  EXPECT_EQ(b1.left, b2.left);
  EXPECT_EQ(b1.bottom, b2.bottom);

  DeleteEnhMetaFile(h);
  DeleteEnhMetaFile(h2);
}

TEST(EmfRecorder, BlitFromAMemoryDcEmbedsItsPixels) {
  twtest::LeakGuard leaks;
  Canvas source(10, 10);
  PatBlt(source.Dc(), 0, 0, 5, 10, BLACKNESS);  // left half black
  Recording rec;
  BitBlt(rec.Dc(), 20, 30, 10, 10, source.Dc(), 0, 0, SRCCOPY);
  StretchBlt(rec.Dc(), 50, 30, 20, 20, source.Dc(), 0, 0, 10, 10, SRCCOPY);
  HENHMETAFILE h = rec.Close();
  ASSERT_NE(h, nullptr);
  expectRect(HeaderOf(h).rclBounds, 20, 30, 69, 49);
  Canvas played(200, 150);
  RECT page = Recording::kPage;
  ASSERT_TRUE(PlayEnhMetaFile(played.Dc(), h, &page));
  EXPECT_EQ(played.Color(22, 35), RGB(0, 0, 0));
  EXPECT_EQ(played.Color(27, 35), RGB(255, 255, 255));
  EXPECT_EQ(played.Color(55, 40), RGB(0, 0, 0));
  EXPECT_EQ(played.Color(65, 40), RGB(255, 255, 255));
  DeleteEnhMetaFile(h);
}

TEST(EmfRecorder, BlitReachingPastItsSourceEmbedsOnlyTheSourcesPixels) {
  twtest::LeakGuard leaks;
  // Found by fuzzing: a source transform that makes the source rectangle
  // huge must not make a huge embedded bitmap.
  Canvas source(10, 10);
  SetGraphicsMode(source.Dc(), GM_ADVANCED);
  XFORM huge{100000, 0, 0, 100000, 0, 0};
  SetWorldTransform(source.Dc(), &huge);
  Recording rec;
  BitBlt(rec.Dc(), 0, 0, 50, 50, source.Dc(), 0, 0, SRCCOPY);
  ModifyWorldTransform(source.Dc(), nullptr, MWT_IDENTITY);
  BitBlt(rec.Dc(), 60, 0, 10, 10, source.Dc(), -5, -3, SRCCOPY);  // starts outside the source
  HENHMETAFILE h = rec.Close();
  ASSERT_NE(h, nullptr);
  std::vector<const EMRBITBLT*> blits;
  auto records = recordsOf(h);
  for (const auto& r : records)
    if (as<EMR>(r).iType == EMR_BITBLT) blits.push_back(&as<EMRBITBLT>(r));
  ASSERT_EQ(blits.size(), 2u);
  for (const EMRBITBLT* b : blits) EXPECT_LE(b->cbBitsSrc, 10u * 10u * 4u);
  EXPECT_EQ(blits[1]->xSrc, -5);
  EXPECT_EQ(blits[1]->ySrc, -3);
  DeleteEnhMetaFile(h);
}

TEST(EmfRecorder, ReplayIntoATurnedRecordingTurnsThePage) {
  twtest::LeakGuard leaks;
  // A 200 x 150 page with a red box, replayed a quarter turn as the vector
  // page preparation turns pages: (x, y) -> (y, W - x) on a 150 x 200 page.
  Recording original;
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  SelectObject(original.Dc(), red);
  SelectObject(original.Dc(), GetStockObject(NULL_PEN));
  Rectangle(original.Dc(), 10, 20, 20, 30);
  HENHMETAFILE page = original.Close();
  DeleteObject(red);
  ASSERT_NE(page, nullptr);

  HDC printer = twtest::PrinterDc(150, 200);
  RECT turnedFrame{0, 0, 1500, 2000};
  HDC dc = CreateEnhMetaFileW(printer, nullptr, &turnedFrame, nullptr);
  SetGraphicsMode(dc, GM_ADVANCED);
  XFORM turn{0, -1, 1, 0, 0, 200};
  SetWorldTransform(dc, &turn);
  RECT whole = Recording::kPage;  // (0, 0, W, H) of the original page
  ASSERT_TRUE(PlayEnhMetaFile(dc, page, &whole));
  XFORM after{};
  GetWorldTransform(dc, &after);
  EXPECT_EQ(after.eM12, -1.0f);  // the caller's transform is back
  HENHMETAFILE turned = CloseEnhMetaFile(dc);
  ASSERT_NE(turned, nullptr);
  // The content's origin lies at (0, W): the box at x 10..19, y 20..29 comes
  // to x 20..29, y 181..190 (inclusive bounds, in turned-page pixels).
  RECTL b = HeaderOf(turned).rclBounds;
  EXPECT_NEAR(b.left, 20, 1);
  EXPECT_NEAR(b.right, 28, 1);
  EXPECT_NEAR(b.top, 181, 1);
  EXPECT_NEAR(b.bottom, 190, 1);
  Canvas canvas(150, 200);
  RECT page2{0, 0, 150, 200};
  ASSERT_TRUE(PlayEnhMetaFile(canvas.Dc(), turned, &page2));
  RECT ink = canvas.InkBox();
  EXPECT_NEAR(ink.left, 20, 1);
  EXPECT_NEAR(ink.top, 181, 1);
  EXPECT_NEAR(ink.right, 28, 1);
  EXPECT_NEAR(ink.bottom, 190, 1);
  EXPECT_EQ(canvas.Color(24, 185), RGB(255, 0, 0));
  DeleteEnhMetaFile(page);
  DeleteEnhMetaFile(turned);
  DeleteDC(printer);
}

TEST(EmfRecorder, MetricMappingModePlaysBackWhereItWasDrawn) {
  twtest::LeakGuard leaks;
  // Letter at 300 DPI: 215.9 mm across, which rounds to 216 for HORZSIZE.
  // A box drawn in MM_LOMETRIC near the far edge must play back on the
  // pixels the recording DC drew it on (its bounds), not a pixel off: the
  // player maps both the frame and the metric mode through the header's
  // millimetres, and the two roundings cancel.
  HDC printer = twtest::PrinterDc(2159, 2794, 300);
  RECT frame{0, 0, 21590, 27940};
  HDC dc = CreateEnhMetaFileW(printer, nullptr, &frame, nullptr);
  SetMapMode(dc, MM_LOMETRIC);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  SelectObject(dc, red);
  SelectObject(dc, GetStockObject(NULL_PEN));
  Rectangle(dc, 2000, -2500, 2100, -2600);
  HENHMETAFILE h = CloseEnhMetaFile(dc);
  DeleteObject(red);
  ASSERT_NE(h, nullptr);
  RECTL b = HeaderOf(h).rclBounds;
  EXPECT_NEAR(b.left, 2362, 1);
  Canvas canvas(2550, 3300);
  RECT page{0, 0, 2550, 3300};
  ASSERT_TRUE(PlayEnhMetaFile(canvas.Dc(), h, &page));
  int midY = (b.top + b.bottom) / 2;
  EXPECT_EQ(canvas.Color(b.left, midY), RGB(255, 0, 0));
  EXPECT_EQ(canvas.Color(b.left - 1, midY), RGB(255, 255, 255));
  EXPECT_EQ(canvas.Color(b.right - 1, midY), RGB(255, 0, 0));  // (a pen-less fill ends one short of the bounds)
  EXPECT_EQ(canvas.Color(b.right + 1, midY), RGB(255, 255, 255));
  DeleteEnhMetaFile(h);
  DeleteDC(printer);
}
