// The player: frame to rectangle, the caller's state around playback, the
// handle table, callbacks that edit records or query the DC, damaged
// records, comments, mapping modes and clipping.
#include <gtest/gtest.h>

#include <vector>

#include "emf_bytes.h"
#include "emf_canvas.h"
#include "tw_test.h"

using twtest::Canvas;
using twtest::EmfBytes;

namespace {

const COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255), kWhite = RGB(255, 255, 255);

void addBrush(EmfBytes& emf, DWORD slot, COLORREF color) {
  EMRCREATEBRUSHINDIRECT b{};
  b.ihBrush = slot;
  b.lb = {BS_SOLID, color, 0};
  emf.AddStruct(EMR_CREATEBRUSHINDIRECT, b);
}
void addSelect(EmfBytes& emf, DWORD slot) { emf.Add(EMR_SELECTOBJECT, {slot}); }
void addRect(EmfBytes& emf, RECTL box) {
  EMRRECTANGLE r{};
  r.rclBox = box;
  emf.AddStruct(EMR_RECTANGLE, r);
}

// A metafile that fills box (inclusive) with `color` and no outline.
EmfBytes filledBox(RECTL box, COLORREF color = kRed) {
  EmfBytes emf;
  emf.Header().nHandles = 2;
  addBrush(emf, 1, color);
  addSelect(emf, 1);
  addSelect(emf, ENHMETA_STOCK_OBJECT | NULL_PEN);
  addRect(emf, box);
  return emf;
}

struct Emf {
  explicit Emf(std::vector<BYTE>& bytes) : h(SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data())) {}
  ~Emf() {
    if (h) DeleteEnhMetaFile(h);
  }
  HENHMETAFILE h;
};

bool sameXform(const XFORM& a, const XFORM& b) {
  return a.eM11 == b.eM11 && a.eM12 == b.eM12 && a.eM21 == b.eM21 && a.eM22 == b.eM22 && a.eDx == b.eDx &&
         a.eDy == b.eDy;
}

}  // namespace

TEST(EmfPlayer, FrameMapsOneToOneOntoItsPixelSize) {
  twtest::LeakGuard leaks;
  auto emf = filledBox({10, 20, 19, 29});
  Emf m(emf.Finish());
  ASSERT_NE(m.h, nullptr);
  Canvas canvas(200, 150);
  RECT page{0, 0, 200, 150};
  ASSERT_TRUE(PlayEnhMetaFile(canvas.Dc(), m.h, &page));
  RECT ink = canvas.InkBox();
  EXPECT_EQ(ink.left, 10);
  EXPECT_EQ(ink.top, 20);
  // The box is inclusive, but without a pen GDI fills one pixel less to the
  // right and bottom (as it does for Rectangle(10, 20, 20, 30) in the
  // compatible mode, which records this box).
  EXPECT_EQ(ink.right, 18);
  EXPECT_EQ(ink.bottom, 28);
  EXPECT_EQ(canvas.Color(15, 25), kRed);
}

TEST(EmfPlayer, FrameScalesAndMovesWithTheRectangle) {
  auto emf = filledBox({10, 20, 19, 29});
  Emf m(emf.Finish());
  Canvas canvas(420, 330);
  RECT rect{20, 30, 420, 330};  // twice the size, moved by (20, 30)
  ASSERT_TRUE(PlayEnhMetaFile(canvas.Dc(), m.h, &rect));
  RECT ink = canvas.InkBox();
  EXPECT_EQ(ink.left, 40);
  EXPECT_EQ(ink.top, 70);
  EXPECT_NEAR(ink.right, 57, 1);
  EXPECT_NEAR(ink.bottom, 87, 1);
}

TEST(EmfPlayer, CallersStateIsAsBeforeAfterPlayback) {
  twtest::LeakGuard leaks;
  EmfBytes emf;
  emf.Header().nHandles = 3;
  addBrush(emf, 1, kBlue);
  addSelect(emf, 1);
  EMRCREATEPEN pen{};
  pen.ihPen = 2;
  pen.lopn = {PS_SOLID, {3, 0}, kRed};
  emf.AddStruct(EMR_CREATEPEN, pen);
  addSelect(emf, 2);
  emf.Add(EMR_SETTEXTALIGN, {TA_BASELINE | TA_CENTER});
  emf.Add(EMR_SETBKCOLOR, {RGB(1, 2, 3)});
  emf.Add(EMR_SETTEXTCOLOR, {RGB(4, 5, 6)});
  emf.Add(EMR_SETROP2, {R2_XORPEN});
  emf.Add(EMR_SETBKMODE, {TRANSPARENT});
  emf.Add(EMR_SETMAPMODE, {MM_LOMETRIC});
  emf.Add(EMR_SAVEDC, {});  // never restored by the metafile
  emf.Add(EMR_MOVETOEX, {40, 40});
  EMRSETWORLDTRANSFORM w{};
  w.xform = {2, 0, 0, 2, 5, 5};
  emf.AddStruct(EMR_SETWORLDTRANSFORM, w);
  emf.Add(EMR_INTERSECTCLIPRECT, {0, 0, 10, 10});
  addRect(emf, {1, 1, 5, 5});
  Emf m(emf.Finish());
  ASSERT_NE(m.h, nullptr);

  Canvas canvas(200, 150);
  HDC dc = canvas.Dc();
  HPEN myPen = CreatePen(PS_DASH, 1, RGB(0, 128, 0));
  HBRUSH myBrush = CreateSolidBrush(RGB(0, 200, 0));
  HGDIOBJ oldPen = SelectObject(dc, myPen);
  HGDIOBJ oldBrush = SelectObject(dc, myBrush);
  SetTextAlign(dc, TA_BOTTOM | TA_RIGHT);
  SetBkColor(dc, RGB(7, 8, 9));
  SetTextColor(dc, RGB(10, 11, 12));
  SetGraphicsMode(dc, GM_ADVANCED);
  XFORM mine{1, 0, 0, 1, 3, 4};
  SetWorldTransform(dc, &mine);
  MoveToEx(dc, 11, 12, nullptr);
  IntersectClipRect(dc, 0, 0, 150, 100);
  RECT clipBefore;
  GetClipBox(dc, &clipBefore);
  int levelBefore = SaveDC(dc);
  RestoreDC(dc, -1);

  RECT rect{0, 0, 200, 150};
  EXPECT_TRUE(PlayEnhMetaFile(dc, m.h, &rect));

  EXPECT_EQ(GetTextAlign(dc), UINT(TA_BOTTOM | TA_RIGHT));
  EXPECT_EQ(GetBkColor(dc), RGB(7, 8, 9));
  EXPECT_EQ(GetTextColor(dc), RGB(10, 11, 12));
  EXPECT_EQ(GetBkMode(dc), OPAQUE);
  EXPECT_EQ(GetROP2(dc), R2_COPYPEN);
  EXPECT_EQ(GetMapMode(dc), MM_TEXT);
  EXPECT_EQ(GetGraphicsMode(dc), GM_ADVANCED);
  XFORM now{};
  GetWorldTransform(dc, &now);
  EXPECT_TRUE(sameXform(now, mine));
  POINT cp{};
  GetCurrentPositionEx(dc, &cp);
  EXPECT_EQ(cp.x, 11);
  EXPECT_EQ(cp.y, 12);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), myPen);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), myBrush);
  RECT clipAfter;
  GetClipBox(dc, &clipAfter);
  EXPECT_EQ(clipBefore.left, clipAfter.left);
  EXPECT_EQ(clipBefore.right, clipAfter.right);
  EXPECT_EQ(clipBefore.bottom, clipAfter.bottom);
  EXPECT_EQ(SaveDC(dc), levelBefore);  // the metafile's unbalanced SaveDC is gone too
  RestoreDC(dc, -1);

  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(myPen);
  DeleteObject(myBrush);
}

TEST(EmfPlayer, MetafileStartsFromTheRecordingDefaults) {
  // The caller's brush, colours and mode do not leak into the picture.
  EmfBytes emf;
  addRect(emf, {10, 10, 29, 29});  // default pen (black) and brush (white)
  Emf m(emf.Finish());
  Canvas canvas(200, 150);
  HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
  HGDIOBJ old = SelectObject(canvas.Dc(), green);
  SetROP2(canvas.Dc(), R2_NOT);
  RECT rect{0, 0, 200, 150};
  ASSERT_TRUE(PlayEnhMetaFile(canvas.Dc(), m.h, &rect));
  EXPECT_EQ(canvas.Color(10, 15), RGB(0, 0, 0));  // outline
  EXPECT_EQ(canvas.Color(20, 20), kWhite);        // interior: the white stock brush
  SelectObject(canvas.Dc(), old);
  DeleteObject(green);
}

namespace {

struct Seen {
  std::vector<DWORD> types;
  std::vector<XFORM> transforms;
  std::vector<POINT> devicePoints;
  HGDIOBJ slot1 = nullptr;
  DWORD slot1Type = 0;
  int handles = 0;
  HENHMETAFILE slot0 = nullptr;
};

int CALLBACK observe(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM data) {
  auto* seen = reinterpret_cast<Seen*>(data);
  seen->types.push_back(record->iType);
  seen->handles = handles;
  seen->slot0 = static_cast<HENHMETAFILE>(table->objectHandle[0]);
  PlayEnhMetaFileRecord(hdc, table, record, static_cast<UINT>(handles));
  if (record->iType == EMR_CREATEBRUSHINDIRECT) {
    seen->slot1 = table->objectHandle[1];
    seen->slot1Type = GetObjectType(seen->slot1);
  }
  if (record->iType == EMR_RECTANGLE) {
    XFORM x{};
    GetWorldTransform(hdc, &x);
    seen->transforms.push_back(x);
    POINT p{10, 20};
    LPtoDP(hdc, &p, 1);
    seen->devicePoints.push_back(p);
  }
  return 1;
}

}  // namespace

TEST(EmfPlayer, CallbackSeesTheHandleTableAndTheCombinedTransform) {
  twtest::LeakGuard leaks;
  auto emf = filledBox({10, 20, 19, 29});
  emf.Add(EMR_SETMAPMODE, {MM_ANISOTROPIC});
  emf.Add(EMR_SETWINDOWEXTEX, {100, 100});
  emf.Add(EMR_SETVIEWPORTEXTEX, {50, 50});  // half size
  addRect(emf, {10, 20, 19, 29});
  Emf m(emf.Finish());
  Canvas canvas(400, 300);
  RECT rect{0, 0, 400, 300};  // twice the frame's pixel size
  Seen seen;
  ASSERT_TRUE(EnumEnhMetaFile(canvas.Dc(), m.h, observe, &seen, &rect));
  EXPECT_EQ(seen.handles, 2);
  EXPECT_EQ(seen.slot0, m.h);
  EXPECT_EQ(seen.slot1Type, DWORD(OBJ_BRUSH));
  ASSERT_EQ(seen.transforms.size(), 2u);
  EXPECT_FLOAT_EQ(seen.transforms[0].eM11, 2.0f);  // frame -> rectangle
  EXPECT_FLOAT_EQ(seen.transforms[1].eM11, 1.0f);  // then the metafile's own halving
  EXPECT_EQ(seen.devicePoints[0].x, 20);
  EXPECT_EQ(seen.devicePoints[0].y, 40);
  EXPECT_EQ(seen.devicePoints[1].x, 10);
  EXPECT_EQ(seen.devicePoints[1].y, 20);
  EXPECT_EQ(seen.types.front(), DWORD(EMR_HEADER));
  EXPECT_EQ(seen.types.back(), DWORD(EMR_EOF));
  // The table's objects are gone after playback (the leak guard checks it).
  EXPECT_EQ(GetObjectType(seen.slot1), 0u);
}

namespace {

// Turns every brush blue before it is made, playing the edited record from a
// fresh movable memory block (as the vector page preparation does).
int CALLBACK recolour(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, record->nSize);
  auto* copy = static_cast<ENHMETARECORD*>(GlobalLock(block));
  std::memcpy(copy, record, record->nSize);
  if (copy->iType == EMR_CREATEBRUSHINDIRECT) reinterpret_cast<EMRCREATEBRUSHINDIRECT*>(copy)->lb.lbColor = kBlue;
  PlayEnhMetaFileRecord(hdc, table, copy, static_cast<UINT>(handles));
  GlobalUnlock(block);
  GlobalFree(block);
  return 1;
}

// Edits records in place, as the page renderer edits font records.
int CALLBACK editInPlace(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM) {
  if (record->iType == EMR_RECTANGLE) {
    auto* r = const_cast<EMRRECTANGLE*>(reinterpret_cast<const EMRRECTANGLE*>(record));
    r->rclBox.right += 20;
  }
  PlayEnhMetaFileRecord(hdc, table, record, static_cast<UINT>(handles));
  return 1;
}

int CALLBACK stopAtSecond(HDC, HANDLETABLE*, const ENHMETARECORD*, int, LPARAM data) {
  return ++*reinterpret_cast<int*>(data) < 2;
}

}  // namespace

TEST(EmfPlayer, CallbackMayEditRecordsBeforeTheyPlay) {
  twtest::LeakGuard leaks;
  auto emf = filledBox({10, 20, 19, 29});
  Emf m(emf.Finish());
  Canvas canvas(200, 150);
  RECT rect{0, 0, 200, 150};
  ASSERT_TRUE(EnumEnhMetaFile(canvas.Dc(), m.h, recolour, nullptr, &rect));
  EXPECT_EQ(canvas.Color(15, 25), kBlue);

  canvas.Clear();
  ASSERT_TRUE(EnumEnhMetaFile(canvas.Dc(), m.h, editInPlace, nullptr, &rect));
  EXPECT_EQ(canvas.Color(35, 25), kRed);
  EXPECT_EQ(canvas.InkBox().right, 38);
}

TEST(EmfPlayer, CallbackReturningZeroStops) {
  auto emf = filledBox({10, 20, 19, 29});
  Emf m(emf.Finish());
  Canvas canvas(200, 150);
  RECT rect{0, 0, 200, 150};
  int calls = 0;
  EXPECT_FALSE(EnumEnhMetaFile(canvas.Dc(), m.h, stopAtSecond, &calls, &rect));
  EXPECT_EQ(calls, 2);
}

TEST(EmfPlayer, DamagedRecordEndsPlaybackWithAnError) {
  twtest::LeakGuard leaks;
  auto emf = filledBox({10, 20, 19, 29});
  // A polygon that claims 1000 points but holds two.
  EMRPOLYLINE poly{};
  poly.cptl = 1000;
  emf.AddStruct(EMR_POLYGON, poly, 8);
  addRect(emf, {50, 50, 59, 59});
  Emf m(emf.Finish());
  Canvas canvas(200, 150);
  RECT rect{0, 0, 200, 150};
  SetLastError(0);
  EXPECT_FALSE(PlayEnhMetaFile(canvas.Dc(), m.h, &rect));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
  EXPECT_EQ(canvas.Color(15, 25), kRed);    // drawn before the damage
  EXPECT_EQ(canvas.Color(55, 55), kWhite);  // not after it
}

TEST(EmfPlayer, RecordSizeBeyondTheDataEndsPlayback) {
  auto emf = filledBox({10, 20, 19, 29});
  size_t at = emf.Add(EMR_SETBKMODE, {OPAQUE});
  addRect(emf, {50, 50, 59, 59});
  std::vector<BYTE>& bytes = emf.Finish();
  emf.SetDword(at + 4, 0x100000);  // runs past the end
  Emf m(bytes);
  ASSERT_NE(m.h, nullptr);
  Canvas canvas(200, 150);
  RECT rect{0, 0, 200, 150};
  EXPECT_FALSE(PlayEnhMetaFile(canvas.Dc(), m.h, &rect));
  EXPECT_EQ(canvas.Color(15, 25), kRed);
  EXPECT_EQ(canvas.Color(55, 55), kWhite);
}

TEST(EmfPlayer, CommentsAreSeenAndSkippedTextFailuresDoNotStop) {
  auto emf = filledBox({10, 20, 19, 29});
  // An EMF+ comment: seen by the callback, drawn by nobody.
  std::vector<BYTE> comment(4 + 4 + 12, 0);
  DWORD cb = 16, id = EMR_COMMENT_EMFPLUS_IDENTIFIER;
  std::memcpy(comment.data(), &cb, 4);
  std::memcpy(comment.data() + 4, &id, 4);
  emf.AddRaw(EMR_GDICOMMENT, comment);
  // A text record (drawn by the font engine when there is one).
  EMREXTTEXTOUTW text{};
  text.emrtext.ptlReference = {100, 100};
  text.emrtext.nChars = 2;
  text.emrtext.offString = sizeof(EMREXTTEXTOUTW);
  text.emrtext.offDx = sizeof(EMREXTTEXTOUTW) + 4;
  size_t t = emf.AddStruct(EMR_EXTTEXTOUTW, text, 12);
  std::memcpy(emf.Bytes().data() + t + sizeof(EMREXTTEXTOUTW), u"Hi", 4);
  addRect(emf, {50, 50, 59, 59});
  Emf m(emf.Finish());
  Canvas canvas(200, 150);
  RECT rect{0, 0, 200, 150};
  Seen seen;
  EXPECT_TRUE(EnumEnhMetaFile(canvas.Dc(), m.h, observe, &seen, &rect));
  EXPECT_NE(std::find(seen.types.begin(), seen.types.end(), DWORD(EMR_GDICOMMENT)), seen.types.end());
  EXPECT_EQ(canvas.Color(55, 55), kRed);  // the record after the comment and the text
  canvas.Clear();
  EXPECT_TRUE(PlayEnhMetaFile(canvas.Dc(), m.h, &rect));
  EXPECT_EQ(canvas.Color(55, 55), kRed);
}

TEST(EmfPlayer, MetafileClipCannotWidenTheCallersClip) {
  EmfBytes emf;
  emf.Header().nHandles = 2;
  // Clip to the whole page, by region, replacing whatever was there.
  std::vector<BYTE> rgn(8 + 32 + 16, 0);
  DWORD cbRgn = 48, mode = RGN_COPY;
  RGNDATAHEADER h{32, RDH_RECTANGLES, 1, 16, {0, 0, 1000, 1000}};
  RECT all{0, 0, 1000, 1000};
  std::memcpy(rgn.data(), &cbRgn, 4);
  std::memcpy(rgn.data() + 4, &mode, 4);
  std::memcpy(rgn.data() + 8, &h, 32);
  std::memcpy(rgn.data() + 40, &all, 16);
  emf.AddRaw(EMR_EXTSELECTCLIPRGN, rgn);
  addBrush(emf, 1, kRed);
  addSelect(emf, 1);
  addSelect(emf, ENHMETA_STOCK_OBJECT | NULL_PEN);
  addRect(emf, {0, 0, 199, 149});
  Emf m(emf.Finish());
  Canvas canvas(200, 150);
  IntersectClipRect(canvas.Dc(), 0, 0, 50, 40);
  RECT rect{0, 0, 200, 150};
  ASSERT_TRUE(PlayEnhMetaFile(canvas.Dc(), m.h, &rect));
  EXPECT_EQ(canvas.Count(kRed), 50 * 40);
  EXPECT_EQ(canvas.Color(49, 39), kRed);
  EXPECT_EQ(canvas.Color(50, 39), kWhite);
}

TEST(EmfPlayer, FixedMappingModesUseTheReferenceDevice) {
  // 0.1 mm per reference pixel: MM_LOMETRIC units are pixels, y upwards.
  EmfBytes emf;
  emf.Header().nHandles = 2;
  addBrush(emf, 1, kRed);
  addSelect(emf, 1);
  addSelect(emf, ENHMETA_STOCK_OBJECT | NULL_PEN);
  emf.Add(EMR_SETMAPMODE, {MM_LOMETRIC});
  addRect(emf, {10, -20, 19, -29});
  emf.Add(EMR_SETMAPMODE, {MM_HIMETRIC});  // 0.01 mm: ten units a pixel
  addRect(emf, {1000, -1000, 1090, -1090});
  Emf m(emf.Finish());
  Canvas canvas(200, 150);
  RECT rect{0, 0, 200, 150};
  ASSERT_TRUE(PlayEnhMetaFile(canvas.Dc(), m.h, &rect));
  EXPECT_EQ(canvas.Color(15, 25), kRed);
  EXPECT_EQ(canvas.Color(105, 105), kRed);
  EXPECT_EQ(canvas.Color(111, 105), kWhite);
}

TEST(EmfPlayer, IsotropicKeepsOneScale) {
  EmfBytes emf;
  emf.Header().nHandles = 2;
  addBrush(emf, 1, kRed);
  addSelect(emf, 1);
  addSelect(emf, ENHMETA_STOCK_OBJECT | NULL_PEN);
  emf.Add(EMR_SETMAPMODE, {MM_ISOTROPIC});
  emf.Add(EMR_SETWINDOWEXTEX, {100, 100});
  emf.Add(EMR_SETVIEWPORTEXTEX, {200, 100});  // x would scale 2, y 1: both become 1
  addRect(emf, {10, 10, 19, 19});
  Emf m(emf.Finish());
  Canvas canvas(200, 150);
  RECT rect{0, 0, 200, 150};
  ASSERT_TRUE(PlayEnhMetaFile(canvas.Dc(), m.h, &rect));
  RECT ink = canvas.InkBox();
  EXPECT_EQ(ink.left, 10);
  EXPECT_EQ(ink.right, 18);
}

TEST(EmfPlayer, RestoreBeyondTheMetafilesOwnSavesIsRefused) {
  EmfBytes emf;
  emf.Add(EMR_RESTOREDC, {DWORD(-3)});
  emf.Add(EMR_SETTEXTALIGN, {TA_RIGHT});
  Emf m(emf.Finish());
  Canvas canvas(200, 150);
  SetTextAlign(canvas.Dc(), TA_BOTTOM);
  int level = SaveDC(canvas.Dc());
  RECT rect{0, 0, 200, 150};
  EXPECT_TRUE(PlayEnhMetaFile(canvas.Dc(), m.h, &rect));
  EXPECT_EQ(GetTextAlign(canvas.Dc()), UINT(TA_BOTTOM));
  EXPECT_EQ(SaveDC(canvas.Dc()), level + 1);  // the caller's own save is still there
  RestoreDC(canvas.Dc(), level);
}

TEST(EmfPlayer, EnumerationWithoutADcOnlyParses) {
  auto emf = filledBox({10, 20, 19, 29});
  Emf m(emf.Finish());
  Seen seen;
  EXPECT_TRUE(EnumEnhMetaFile(nullptr, m.h, observe, &seen, nullptr));
  EXPECT_EQ(seen.types.size(), 6u);
  EXPECT_EQ(seen.slot1, nullptr);  // nothing is made without a DC
}

TEST(EmfPlayer, BadArgumentsFailCleanly) {
  auto emf = filledBox({10, 20, 19, 29});
  Emf m(emf.Finish());
  Canvas canvas(20, 20);
  RECT rect{0, 0, 20, 20};
  EXPECT_FALSE(PlayEnhMetaFile(canvas.Dc(), m.h, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(PlayEnhMetaFile(canvas.Dc(), reinterpret_cast<HENHMETAFILE>(0x4321), &rect));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(EnumEnhMetaFile(canvas.Dc(), m.h, nullptr, nullptr, &rect));
  EXPECT_FALSE(PlayEnhMetaFileRecord(canvas.Dc(), nullptr, nullptr, 1));
}

TEST(EmfPlayer, BitmapRecordsDrawTheirPixels) {
  // EMR_STRETCHDIBITS of a 2 x 2 24-bit bottom-up DIB stretched to 20 x 20.
  EmfBytes emf;
  EMRSTRETCHDIBITS rec{};
  rec.xDest = 100;
  rec.yDest = 50;
  rec.cxDest = 20;
  rec.cyDest = 20;
  rec.cxSrc = 2;
  rec.cySrc = 2;
  rec.offBmiSrc = sizeof(EMRSTRETCHDIBITS);
  rec.cbBmiSrc = sizeof(BITMAPINFOHEADER);
  rec.offBitsSrc = rec.offBmiSrc + rec.cbBmiSrc;
  rec.cbBitsSrc = 16;
  rec.dwRop = SRCCOPY;
  rec.iUsageSrc = DIB_RGB_COLORS;
  size_t at = emf.AddStruct(EMR_STRETCHDIBITS, rec, 40 + 16);
  BITMAPINFOHEADER bih{sizeof(BITMAPINFOHEADER), 2, 2, 1, 24, BI_RGB, 16, 0, 0, 0, 0};
  std::memcpy(emf.Bytes().data() + at + rec.offBmiSrc, &bih, sizeof(bih));
  // bottom row: blue, blue; top row: red, red (BGR, rows padded to 8 bytes)
  BYTE bits[16] = {255, 0, 0, 255, 0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0};
  std::memcpy(emf.Bytes().data() + at + rec.offBitsSrc, bits, 16);
  Emf m(emf.Finish());
  Canvas canvas(200, 150);
  RECT rect{0, 0, 200, 150};
  ASSERT_TRUE(PlayEnhMetaFile(canvas.Dc(), m.h, &rect));
  EXPECT_EQ(canvas.Color(105, 55), kRed);   // top of the picture
  EXPECT_EQ(canvas.Color(105, 65), kBlue);  // bottom
  EXPECT_EQ(canvas.Color(99, 55), kWhite);
}
