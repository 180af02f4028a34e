// Bitmaps in metafile records with every DIB header form GDI knows (and
// two it does not), in each compression and row order, in every record that
// carries a bitmap. Under the sanitizers: each header is read inside the
// record's bytes; it is drawn or refused as the reference GDI does; a
// refused record fails alone and playback goes on.
//
// The verdicts below come from the reference renderer
// (../shared/tools/emfref) run on these very metafiles: set
// TW_DIB_CASES_DIR=DIR to have the test write them (the fuzzing seeds in
// tools/fuzz/seeds/emf-dib are the same files).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "emf_bytes.h"
#include "emf_canvas.h"
#include "tw_test.h"

namespace {

enum class Compression { Rgb, Bitfields, Rle4, Rle8 };
const char* nameOf(Compression c) {
  switch (c) {
    case Compression::Rgb: return "rgb";
    case Compression::Bitfields: return "bf";
    case Compression::Rle4: return "rle4";
    case Compression::Rle8: return "rle8";
  }
  return "";
}
bool isRle(Compression c) { return c == Compression::Rle4 || c == Compression::Rle8; }

// The records a bitmap can come in, in the order of their tiles on the page.
enum Record { BitBlt, StretchBlt, StretchDIBits, SetDIBitsToDevice, PatternBrush, AlphaBlend, kRecords };
const char* const kRecordNames[kRecords] = {"BITBLT", "STRETCHBLT", "STRETCHDIBITS", "SETDIBITSTODEVICE",
                                            "CREATEDIBPATTERNBRUSHPT", "ALPHABLEND"};

// Header sizes and what the reference GDI does with them.
struct SizeVerdict {
  DWORD size;
  bool drawn;
  const char* form;
};
constexpr SizeVerdict kSizes[] = {
    {12, true, "BITMAPCOREHEADER (no compression field: BI_RGB, bottom-up only)"},
    {16, false, "short OS/2 header: nothing drawn (ALPHABLEND crashes the reference)"},
    {40, true, "BITMAPINFOHEADER"},
    {44, true, "40 bytes and 4 more: masks still at offset 40"},
    {52, true, "BITMAPV2INFOHEADER"},
    {56, true, "BITMAPV3INFOHEADER"},
    {64, true, "OS/2 2.x header, read as an info header"},
    {108, true, "BITMAPV4HEADER"},
    {124, true, "BITMAPV5HEADER"},
    {128, true, "longer than V5"},
};

// Whether the reference draws a bitmap of this header and compression in
// this record. Beyond the header size: RLE images are never top-down, are
// refused for pattern brushes, and crash the reference in ALPHABLEND (we
// refuse them there). (The reference draws the core-header pattern brush
// black, having lost its RGBTRIPLE table; we draw its colours.)
bool referenceDraws(const SizeVerdict& size, Compression c, bool topDown, Record record) {
  if (!size.drawn) return false;
  if (isRle(c) && (topDown || record == PatternBrush || record == AlphaBlend)) return false;
  return true;
}

constexpr int kSide = 16;  // the picture: top half red, bottom half blue
constexpr int kPageWidth = 640, kPageHeight = 112;
int tileX(int i) { return 16 + 96 * i; }
constexpr int kTileY = 16;

void put32(std::vector<BYTE>& v, DWORD value) {
  BYTE b[4];
  std::memcpy(b, &value, 4);
  v.insert(v.end(), b, b + 4);
}

// Header (with its masks or colour table) and bits of the picture.
struct Dib {
  std::vector<BYTE> info, bits;
};

Dib makeDib(DWORD size, Compression c, bool topDown) {
  // Table: black, red, blue. Rows from the top: 8 red, 8 blue.
  const RGBQUAD table[3] = {{0, 0, 0, 0}, {0, 0, 255, 0}, {255, 0, 0, 0}};
  auto indexOfRow = [](int topRow) { return topRow < kSide / 2 ? 1 : 2; };
  Dib d;
  WORD bpp = c == Compression::Rgb ? 8 : c == Compression::Bitfields ? 32 : c == Compression::Rle8 ? 8 : 4;
  for (int i = 0; i < kSide; ++i) {
    int topRow = topDown && !isRle(c) ? i : kSide - 1 - i;  // rows in stored order (RLE: from the bottom)
    int index = indexOfRow(topRow);
    if (c == Compression::Rgb) {
      d.bits.insert(d.bits.end(), kSide, static_cast<BYTE>(index));
    } else if (c == Compression::Bitfields) {
      // Masks with red in the low byte: lost masks show as blue for red.
      for (int x = 0; x < kSide; ++x) put32(d.bits, index == 1 ? 0x000000FF : 0x00FF0000);
    } else {
      BYTE value = c == Compression::Rle8 ? BYTE(index) : BYTE(index << 4 | index);
      BYTE run[4] = {kSide, value, 0, 0};  // a run, end of line
      d.bits.insert(d.bits.end(), run, run + 4);
    }
  }
  if (isRle(c)) {
    d.bits.push_back(0);
    d.bits.push_back(1);  // end of bitmap
  }
  if (size == 12) {
    BITMAPCOREHEADER core{12, kSide, kSide, 1, bpp};
    d.info.resize(12);
    std::memcpy(d.info.data(), &core, 12);
    for (const RGBQUAD& q : table) d.info.insert(d.info.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed});
    return d;
  }
  if (size == 16) {  // width, height, planes, bit count
    put32(d.info, 16);
    put32(d.info, kSide);
    put32(d.info, DWORD(topDown ? -kSide : kSide));
    d.info.insert(d.info.end(), {1, 0, BYTE(bpp), 0});
  } else {
    DWORD compression = c == Compression::Rgb         ? BI_RGB
                        : c == Compression::Bitfields ? BI_BITFIELDS
                        : c == Compression::Rle8      ? BI_RLE8
                                                      : BI_RLE4;
    BITMAPINFOHEADER h{size, kSide, topDown ? -kSide : kSide, 1, bpp, compression,
                       isRle(c) ? DWORD(d.bits.size()) : 0, 0, 0, bpp <= 8 ? 3u : 0u, 0};
    d.info.assign(size, 0);
    std::memcpy(d.info.data(), &h, sizeof(h));
    if (c == Compression::Bitfields) {
      // At offset 40 in every header form (after a 40-byte header, inside
      // the longer ones).
      d.info.resize(std::max<size_t>(size, 52), 0);
      const DWORD masks[3] = {0x000000FF, 0x0000FF00, 0x00FF0000};
      std::memcpy(d.info.data() + 40, masks, 12);
      return d;
    }
  }
  for (const RGBQUAD& q : table) d.info.insert(d.info.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed, 0});
  return d;
}

// A record: its fixed part `T`, the header, the bits; `place` is told the
// offsets and sizes and fills in the record's fields.
template <class T, class Place>
void addWithDib(twtest::EmfBytes& emf, DWORD type, T rec, const Dib& dib, Place&& place) {
  DWORD offBmi = sizeof(T), offBits = offBmi + DWORD((dib.info.size() + 3) / 4 * 4);
  place(rec, offBmi, DWORD(dib.info.size()), offBits, DWORD(dib.bits.size()));
  std::vector<BYTE> body(offBits - 8 + dib.bits.size(), 0);
  std::memcpy(body.data(), reinterpret_cast<const BYTE*>(&rec) + 8, sizeof(T) - 8);
  std::memcpy(body.data() + offBmi - 8, dib.info.data(), dib.info.size());
  std::memcpy(body.data() + offBits - 8, dib.bits.data(), dib.bits.size());
  emf.AddRaw(type, body);
}

const XFORM kIdentity{1, 0, 0, 1, 0, 0};

template <class T>
T blitRecord(int x, int width) {
  T r{};
  r.rclBounds = {x, kTileY, x + width - 1, kTileY + width - 1};
  r.xDest = x;
  r.yDest = kTileY;
  r.cxDest = width;
  r.cyDest = width;
  r.xformSrc = kIdentity;
  r.crBkColorSrc = RGB(255, 255, 255);
  r.iUsageSrc = DIB_RGB_COLORS;
  return r;
}

void selectStock(twtest::EmfBytes& emf, int object) { emf.Add(EMR_SELECTOBJECT, {ENHMETA_STOCK_OBJECT | DWORD(object)}); }

// One metafile: the picture in each record, on its own tile, then a green
// marker that shows playback went on.
std::vector<BYTE> metafileFor(const SizeVerdict& size, Compression c, bool topDown) {
  twtest::EmfBytes emf(108, {0, 0, kPageWidth * 2540 / 150 - 1, kPageHeight * 2540 / 150 - 1}, {1500, 1500},
                       {254, 254});
  Dib dib = makeDib(size.size, c, topDown);
  auto src = [](auto& r, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits) {
    r.offBmiSrc = offBmi;
    r.cbBmiSrc = cbBmi;
    r.offBitsSrc = offBits;
    r.cbBitsSrc = cbBits;
  };
  auto bitblt = blitRecord<EMRBITBLT>(tileX(BitBlt), kSide);
  bitblt.dwRop = SRCCOPY;
  addWithDib(emf, EMR_BITBLT, bitblt, dib, src);
  auto stretch = blitRecord<EMRSTRETCHBLT>(tileX(StretchBlt), 4 * kSide);
  stretch.dwRop = SRCCOPY;
  stretch.cxSrc = stretch.cySrc = kSide;
  addWithDib(emf, EMR_STRETCHBLT, stretch, dib, src);

  EMRSTRETCHDIBITS sdb{};
  sdb.xDest = tileX(StretchDIBits);
  sdb.yDest = kTileY;
  sdb.cxSrc = sdb.cySrc = kSide;
  sdb.cxDest = sdb.cyDest = 4 * kSide;
  sdb.iUsageSrc = DIB_RGB_COLORS;
  sdb.dwRop = SRCCOPY;
  addWithDib(emf, EMR_STRETCHDIBITS, sdb, dib, src);

  EMRSETDIBITSTODEVICE sdd{};
  sdd.xDest = tileX(SetDIBitsToDevice);
  sdd.yDest = kTileY;
  sdd.cxSrc = sdd.cySrc = kSide;
  sdd.iUsageSrc = DIB_RGB_COLORS;
  sdd.cScans = kSide;
  addWithDib(emf, EMR_SETDIBITSTODEVICE, sdd, dib, src);

  EMRCREATEDIBPATTERNBRUSHPT brush{};
  brush.ihBrush = 1;
  brush.iUsage = DIB_RGB_COLORS;
  addWithDib(emf, EMR_CREATEDIBPATTERNBRUSHPT, brush, dib,
             [](auto& r, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits) {
               r.offBmi = offBmi;
               r.cbBmi = cbBmi;
               r.offBits = offBits;
               r.cbBits = cbBits;
             });
  selectStock(emf, NULL_PEN);
  emf.Add(EMR_SELECTOBJECT, {1});
  int px = tileX(PatternBrush);
  emf.Add(EMR_RECTANGLE, {DWORD(px), kTileY, DWORD(px + 4 * kSide + 1), kTileY + 4 * kSide + 1});
  selectStock(emf, WHITE_BRUSH);
  emf.Add(EMR_DELETEOBJECT, {1});

  auto blend = blitRecord<EMRALPHABLEND>(tileX(AlphaBlend), 4 * kSide);
  BLENDFUNCTION opaque{AC_SRC_OVER, 0, 255, 0};
  std::memcpy(&blend.dwRop, &opaque, 4);
  blend.cxSrc = blend.cySrc = kSide;
  addWithDib(emf, EMR_ALPHABLEND, blend, dib, src);

  emf.Add(EMR_CREATEBRUSHINDIRECT, {2, BS_SOLID, RGB(0, 255, 0), 0});
  emf.Add(EMR_SELECTOBJECT, {2});
  int mx = tileX(kRecords);
  emf.Add(EMR_RECTANGLE, {DWORD(mx), kTileY, DWORD(mx + 16), kTileY + 16});
  selectStock(emf, WHITE_BRUSH);
  emf.Add(EMR_DELETEOBJECT, {2});
  emf.Header().nHandles = 3;
  return emf.Finish();
}

struct Case {
  const SizeVerdict* size;
  Compression compression;
  bool topDown;
  std::string Name() const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "h%03u-%s-%s", unsigned(size->size), nameOf(compression), topDown ? "td" : "bu");
    return buf;
  }
};

std::vector<Case> allCases() {
  std::vector<Case> cases;
  for (const SizeVerdict& size : kSizes)
    for (Compression c : {Compression::Rgb, Compression::Bitfields, Compression::Rle4, Compression::Rle8})
      for (bool topDown : {false, true})
        if (size.size != 12 || (c == Compression::Rgb && !topDown)) cases.push_back({&size, c, topDown});
  return cases;
}

// Where each tile is read: its top (red) half and bottom (blue) half.
void samplePoints(int record, POINT& top, POINT& bottom) {
  int x = tileX(record);
  if (record == BitBlt || record == SetDIBitsToDevice) {
    top = {x + 8, kTileY + 4};
    bottom = {x + 8, kTileY + 12};
  } else if (record == PatternBrush) {  // the pattern repeats every 16 device pixels from the origin
    top = {x + 32, kTileY + 20};
    bottom = {x + 32, kTileY + 28};
  } else {
    top = {x + 32, kTileY + 16};
    bottom = {x + 32, kTileY + 48};
  }
}

// Plays a record and notes whether it succeeded.
struct Outcome {
  std::vector<std::pair<DWORD, BOOL>> results;
};
int CALLBACK playAndNote(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM param) {
  BOOL ok = PlayEnhMetaFileRecord(hdc, table, record, UINT(handles));
  reinterpret_cast<Outcome*>(param)->results.emplace_back(record->iType, ok);
  return 1;
}

}  // namespace

TEST(EmfDibHeaders, EveryHeaderSizeAndCompressionIsDrawnOrRefusedAsTheReferenceDoes) {
  const char* dumpDir = std::getenv("TW_DIB_CASES_DIR");
  int drawn = 0, refused = 0;
  for (const Case& c : allCases()) {
    SCOPED_TRACE(c.Name() + ": " + c.size->form);
    std::vector<BYTE> bytes = metafileFor(*c.size, c.compression, c.topDown);
    if (dumpDir) {
      std::ofstream(std::filesystem::path(dumpDir) / (c.Name() + ".emf"), std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    twtest::LeakGuard leaks;
    HENHMETAFILE h = SetEnhMetaFileBits(UINT(bytes.size()), bytes.data());
    ASSERT_NE(h, nullptr);
    twtest::Canvas canvas(kPageWidth, kPageHeight);
    RECT page{0, 0, kPageWidth, kPageHeight};
    Outcome outcome;
    EXPECT_TRUE(EnumEnhMetaFile(canvas.Dc(), h, playAndNote, &outcome, &page));
    DeleteEnhMetaFile(h);

    for (int record = 0; record < kRecords; ++record) {
      SCOPED_TRACE(kRecordNames[record]);
      POINT top, bottom;
      samplePoints(record, top, bottom);
      if (referenceDraws(*c.size, c.compression, c.topDown, Record(record))) {
        EXPECT_EQ(canvas.Color(top.x, top.y), RGB(255, 0, 0));
        EXPECT_EQ(canvas.Color(bottom.x, bottom.y), RGB(0, 0, 255));
        ++drawn;
      } else {
        EXPECT_EQ(canvas.Color(top.x, top.y), RGB(255, 255, 255));
        EXPECT_EQ(canvas.Color(bottom.x, bottom.y), RGB(255, 255, 255));
        ++refused;
      }
    }
    // A refused bitmap fails its record, never more: the marker after them
    // is drawn, and each bitmap record failed exactly when it was refused.
    EXPECT_EQ(canvas.Color(tileX(kRecords) + 8, kTileY + 8), RGB(0, 255, 0));
    const DWORD types[kRecords] = {EMR_BITBLT, EMR_STRETCHBLT, EMR_STRETCHDIBITS, EMR_SETDIBITSTODEVICE,
                                   EMR_CREATEDIBPATTERNBRUSHPT, EMR_ALPHABLEND};
    for (int record = 0; record < kRecords; ++record) {
      auto it = std::find_if(outcome.results.begin(), outcome.results.end(),
                             [&](const auto& r) { return r.first == types[record]; });
      ASSERT_NE(it, outcome.results.end());
      EXPECT_EQ(it->second != FALSE, referenceDraws(*c.size, c.compression, c.topDown, Record(record)))
          << kRecordNames[record];
    }
  }
  // 73 metafiles of 6 records.
  EXPECT_EQ(drawn + refused, 73 * kRecords);
}
