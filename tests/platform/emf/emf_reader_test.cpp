// The metafile reader: header forms real files use, records whose size
// fields lie, embedded bitmaps and regions that point outside their record.
#include <gtest/gtest.h>

#include "../../../platform/gdi/emf/emf_reader.h"
#include "emf_bytes.h"

using tw::emf::DibRead;
using tw::emf::DibRef;
using tw::emf::HeaderInfo;
using tw::emf::ReadDib;
using tw::emf::ReadHeader;
using tw::emf::ReadRegion;
using tw::emf::RecordReader;
using tw::emf::RecordView;
using twtest::EmfBytes;

namespace {

std::vector<DWORD> recordTypes(std::vector<BYTE>& bytes, RecordReader::Status& last) {
  RecordReader reader(bytes);
  std::vector<DWORD> types;
  BYTE* rec;
  DWORD size;
  while ((last = reader.Next(rec, size)) == RecordReader::Status::Record) types.push_back(RecordView(rec, size).Type());
  return types;
}

}  // namespace

TEST(EmfHeader, ReadsTheThreeHeaderForms) {
  for (DWORD size : {88u, 100u, 108u}) {
    EmfBytes emf(size, {0, 0, 21590, 27940}, {2550, 3300}, {216, 279});
    auto& bytes = emf.Finish();
    HeaderInfo info;
    ASSERT_TRUE(ReadHeader(bytes, info)) << size;
    EXPECT_EQ(info.storedSize, size);
    EXPECT_EQ(info.dataSize, bytes.size());
    EXPECT_EQ(info.hasPixelFormatFields, size >= 100);
    EXPECT_EQ(info.hasMicrometers, size >= 108);
    // Without the field, micrometres come from millimetres.
    EXPECT_EQ(info.header.szlMicrometers.cx, 216000);
    EXPECT_EQ(info.header.szlMicrometers.cy, 279000);
    EXPECT_EQ(info.header.rclFrame.right, 21590);
  }
}

TEST(EmfHeader, KeepsExactMicrometersWhenPresent) {
  EmfBytes emf(108, {0, 0, 21590, 27940}, {2550, 3300}, {216, 279});
  emf.Header().szlMicrometers = {215900, 279400};
  HeaderInfo info;
  ASSERT_TRUE(ReadHeader(emf.Finish(), info));
  EXPECT_EQ(info.header.szlMicrometers.cx, 215900);
  EXPECT_EQ(info.header.szlMicrometers.cy, 279400);
}

TEST(EmfHeader, DescriptionRightAfterTheBaseHidesTheLaterFields) {
  // Old writers put the description at offset 88: the bytes there are text,
  // not a pixel format or micrometres.
  EmfBytes emf(152);
  const char16_t text[] = u"App\0Title\0";
  std::memcpy(emf.Bytes().data() + 88, text, sizeof(text));
  std::memset(emf.Bytes().data() + 88 + sizeof(text), 'x', 152 - 88 - sizeof(text));
  emf.Header().nDescription = 10;
  emf.Header().offDescription = 88;
  HeaderInfo info;
  ASSERT_TRUE(ReadHeader(emf.Finish(), info));
  EXPECT_FALSE(info.hasPixelFormatFields);
  EXPECT_FALSE(info.hasMicrometers);
  EXPECT_EQ(info.header.cbPixelFormat, 0u);
  EXPECT_EQ(info.pixelFormatOffset, 0u);
  EXPECT_EQ(info.descriptionOffset, 88u);
  EXPECT_EQ(info.descriptionChars, 10u);
  EXPECT_EQ(info.header.szlMicrometers.cx, 100000);
}

TEST(EmfHeader, DamagedDescriptionAndPixelFormatOffsetsAreIgnored) {
  EmfBytes emf(108);
  emf.Header().nDescription = 36;
  emf.Header().offDescription = 0xBE000000;  // far outside
  emf.Header().cbPixelFormat = 6619213;
  emf.Header().offPixelFormat = 6357108;
  HeaderInfo info;
  ASSERT_TRUE(ReadHeader(emf.Finish(), info));
  EXPECT_EQ(info.descriptionChars, 0u);
  EXPECT_EQ(info.pixelFormatSize, 0u);
}

TEST(EmfHeader, HugeMillimetresDoNotOverflowTheMicrometres) {
  // Found by fuzzing: a damaged 88-byte header with absurd millimetres.
  EmfBytes emf(88, {0, 0, 100, 100}, {100, 100}, {8388946, -8388946});
  HeaderInfo info;
  ASSERT_TRUE(ReadHeader(emf.Finish(), info));
  EXPECT_EQ(info.header.szlMicrometers.cx, INT32_MAX);
  EXPECT_EQ(info.header.szlMicrometers.cy, INT32_MIN);
}

TEST(EmfHeader, RefusesWhatIsNotAMetafile) {
  auto check = [](auto damage) {
    EmfBytes emf;
    auto& bytes = emf.Finish();
    damage(emf, bytes);
    HeaderInfo info;
    const char* why = nullptr;
    EXPECT_FALSE(ReadHeader(bytes, info, &why));
    EXPECT_NE(why, nullptr);
  };
  check([](EmfBytes& e, auto&) { e.Header().iType = EMR_SETLAYOUT; });
  check([](EmfBytes& e, auto&) { e.Header().dSignature = 0x12345678; });
  check([](EmfBytes& e, auto&) { e.Header().nSize = 84; });
  check([](EmfBytes& e, auto&) { e.Header().nSize = 110; });
  check([](EmfBytes& e, auto& b) { e.Header().nBytes = static_cast<DWORD>(b.size() + 4); });  // truncated file
  check([](EmfBytes& e, auto&) { e.Header().nSize = 0x10000; });  // header longer than the file
  check([](EmfBytes&, auto& b) { b.resize(60); });
}

TEST(EmfHeader, TrailingBytesBeyondNBytesAreNotPartOfTheMetafile) {
  EmfBytes emf;
  auto bytes = emf.Finish();
  DWORD n = static_cast<DWORD>(bytes.size());
  bytes.resize(bytes.size() + 64, 0xEE);
  HeaderInfo info;
  ASSERT_TRUE(ReadHeader(bytes, info));
  EXPECT_EQ(info.dataSize, n);
}

TEST(EmfRecords, WalksToEofAndIgnoresWhatFollows) {
  EmfBytes emf;
  emf.Add(EMR_SAVEDC, {});
  emf.Add(EMR_SETBKMODE, {1});
  auto bytes = emf.Finish();
  bytes.resize(bytes.size() + 16, 0);  // junk after EOF
  RecordReader::Status last;
  auto types = recordTypes(bytes, last);
  EXPECT_EQ(last, RecordReader::Status::End);
  EXPECT_EQ(types, (std::vector<DWORD>{EMR_HEADER, EMR_SAVEDC, EMR_SETBKMODE, EMR_EOF}));
}

TEST(EmfRecords, SizeFieldsThatLieAreMalformed) {
  for (DWORD badSize : {0u, 4u, 6u, 14u, 0x7FFFFFF8u, 0xFFFFFFFCu}) {
    EmfBytes emf;
    size_t at = emf.Add(EMR_SETBKMODE, {1});
    emf.Add(EMR_SAVEDC, {});
    auto& bytes = emf.Finish();
    emf.SetDword(at + 4, badSize);
    RecordReader::Status last;
    auto types = recordTypes(bytes, last);
    EXPECT_EQ(last, RecordReader::Status::Malformed) << badSize;
    EXPECT_EQ(types, (std::vector<DWORD>{EMR_HEADER})) << badSize;
  }
}

TEST(EmfRecords, TruncatedDataEndsWithoutReadingPastIt) {
  EmfBytes emf;
  emf.Add(EMR_SETBKMODE, {1});
  auto bytes = emf.Finish();
  bytes.resize(bytes.size() - 12);  // EOF cut in the middle
  RecordReader::Status last;
  auto types = recordTypes(bytes, last);
  EXPECT_EQ(last, RecordReader::Status::Malformed);
  EXPECT_EQ(types.size(), 2u);
  bytes.resize(bytes.size() - 4);  // now fewer than 8 bytes are left
  types = recordTypes(bytes, last);
  EXPECT_EQ(last, RecordReader::Status::End);
  EXPECT_EQ(types.size(), 2u);
}

TEST(EmfRecords, ASecondHeaderIsMalformed) {
  EmfBytes emf;
  emf.Add(EMR_HEADER, {0, 0, 0, 0});
  RecordReader::Status last;
  auto types = recordTypes(emf.Finish(), last);
  EXPECT_EQ(last, RecordReader::Status::Malformed);
  EXPECT_EQ(types.size(), 1u);
}

TEST(EmfRecordView, ArraysMustFitTheRecord) {
  std::vector<BYTE> rec(40, 0);
  RecordView view(rec.data(), 40);
  bool ok;
  EXPECT_EQ(view.Array<POINTL>(8, 4, ok).size(), 4u);
  EXPECT_TRUE(ok);
  view.Array<POINTL>(8, 5, ok);
  EXPECT_FALSE(ok);
  view.Array<POINTL>(40, 1, ok);
  EXPECT_FALSE(ok);
  view.Array<POINTL>(8, size_t(1) << 62, ok);  // count * size overflows
  EXPECT_FALSE(ok);
  view.Array<POINTL>(size_t(-8), 1, ok);  // offset + size overflows
  EXPECT_FALSE(ok);
  EXPECT_EQ(view.Read<DWORD>(38), 0u);  // straddles the end: not read
  EXPECT_EQ(view.As<EMRSTRETCHDIBITS>(), nullptr);
}

namespace {

// A record holding a DIB at offset 20 (header + table) and bits after it.
std::vector<BYTE> dibRecord(LONG w, LONG h, WORD bpp, DWORD clrUsed, size_t tableEntries, size_t bitsBytes,
                            DWORD compression = BI_RGB, DWORD biSize = 40) {
  std::vector<BYTE> rec(20 + biSize + tableEntries * 4 + bitsBytes, 0);
  BITMAPINFOHEADER bih{};
  bih.biSize = biSize;
  bih.biWidth = w;
  bih.biHeight = h;
  bih.biPlanes = 1;
  bih.biBitCount = bpp;
  bih.biCompression = compression;
  bih.biClrUsed = clrUsed;
  std::memcpy(rec.data() + 20, &bih, sizeof(bih));
  for (size_t i = 0; i < tableEntries; ++i) rec[20 + biSize + i * 4] = static_cast<BYTE>(0x10 + i);
  for (size_t i = 0; i < bitsBytes; ++i) rec[20 + biSize + tableEntries * 4 + i] = 0xAB;
  return rec;
}

}  // namespace

TEST(EmfDib, CompleteDibPointsIntoTheRecord) {
  auto rec = dibRecord(10, 3, 8, 2, 2, 12 * 3);
  RecordView view(rec.data(), static_cast<DWORD>(rec.size()));
  DibRef dib;
  ASSERT_EQ(DibRead::Ok, ReadDib(view, 20, 48, 68, 36, dib));
  EXPECT_EQ(reinterpret_cast<const BYTE*>(dib.info), rec.data() + 20);
  EXPECT_EQ(dib.bits, rec.data() + 68);
  EXPECT_EQ(dib.colorsUsed, 2u);
  EXPECT_TRUE(dib.padded.empty());
}

TEST(EmfDib, ShortBitsArePaddedWithZeros) {
  auto rec = dibRecord(10, 3, 24, 0, 0, 40);  // needs 32 x 3 = 96 bytes
  RecordView view(rec.data(), static_cast<DWORD>(rec.size()));
  DibRef dib;
  ASSERT_EQ(DibRead::Ok, ReadDib(view, 20, 40, 60, 96, dib));  // cbBits claims more than the record holds
  ASSERT_EQ(dib.bitsSize, 96u);
  EXPECT_EQ(dib.bits[39], 0xAB);
  EXPECT_EQ(dib.bits[40], 0);
  EXPECT_EQ(dib.bits[95], 0);
}

TEST(EmfDib, ShortColourTableIsCompletedInACopy) {
  // 4-bit: 16 entries implied, record holds 3.
  auto rec = dibRecord(4, 1, 4, 0, 3, 4);
  RecordView view(rec.data(), static_cast<DWORD>(rec.size()));
  DibRef dib;
  ASSERT_EQ(DibRead::Ok, ReadDib(view, 20, 52, 72, 4, dib));
  ASSERT_FALSE(dib.infoCopy.empty());
  EXPECT_GE(dib.infoSize, 40u + 16 * 4);
  EXPECT_EQ(dib.info->bmiHeader.biClrUsed, 16u);
  EXPECT_EQ(dib.info->bmiColors[2].rgbBlue, 0x12);
  EXPECT_EQ(dib.info->bmiColors[3].rgbBlue, 0);
}

TEST(EmfDib, HugeClrUsedIsClamped) {
  auto rec = dibRecord(8, 1, 1, 0xFFFFFFFF, 2, 4);
  RecordView view(rec.data(), static_cast<DWORD>(rec.size()));
  DibRef dib;
  ASSERT_EQ(DibRead::Ok, ReadDib(view, 20, 48, 68, 4, dib));
  EXPECT_EQ(dib.info->bmiHeader.biClrUsed, 2u);
}

TEST(EmfDib, CoreHeaderIsConverted) {
  std::vector<BYTE> rec(20 + 12 + 6 + 2 + 4, 0);
  BYTE core[12] = {12, 0, 0, 0, 3, 0, 1, 0, 1, 0, 1, 0};  // 3 x 1, 1 bit
  std::memcpy(rec.data() + 20, core, 12);
  BYTE table[6] = {1, 2, 3, 4, 5, 6};
  std::memcpy(rec.data() + 32, table, 6);
  RecordView view(rec.data(), static_cast<DWORD>(rec.size()));
  DibRef dib;
  ASSERT_EQ(DibRead::Ok, ReadDib(view, 20, 18, 40, 4, dib));
  EXPECT_EQ(dib.info->bmiHeader.biSize, 40u);
  EXPECT_EQ(dib.info->bmiHeader.biWidth, 3);
  EXPECT_EQ(dib.info->bmiColors[1].rgbBlue, 4);
  EXPECT_EQ(dib.info->bmiColors[1].rgbRed, 6);
}

TEST(EmfDib, RejectsDibsThatCannotBeRead) {
  DibRef dib;
  auto rec = dibRecord(10, 3, 8, 0, 256, 40);
  RecordView view(rec.data(), static_cast<DWORD>(rec.size()));
  // Sizes that point outside the record: malformed (playback stops).
  EXPECT_EQ(DibRead::Malformed, ReadDib(view, 20, 0x1000, 60, 40, dib));        // header beyond the record
  EXPECT_EQ(DibRead::Malformed, ReadDib(view, 0xFFFFFFF0, 40, 60, 40, dib));    // offset wraps
  EXPECT_EQ(DibRead::Malformed, ReadDib(view, 20, 1064, 0x7FFFFFFF, 40, dib));  // bits beyond the record
  EXPECT_EQ(DibRead::Malformed, ReadDib(view, 20, 36, 60, 40, dib));            // header longer than cbBmi
  // Headers GDI does not draw: the record is refused, playback goes on.
  auto huge = dibRecord(0x7FFFFFFF, 0x7FFFFFFF, 32, 0, 0, 16);
  RecordView hv(huge.data(), static_cast<DWORD>(huge.size()));
  EXPECT_EQ(DibRead::Refused, ReadDib(hv, 20, 40, 60, 16, dib));  // absurd size, not padded
  auto zeroWidth = dibRecord(0, 3, 24, 0, 0, 16);
  RecordView zv(zeroWidth.data(), static_cast<DWORD>(zeroWidth.size()));
  EXPECT_EQ(DibRead::Refused, ReadDib(zv, 20, 40, 60, 16, dib));
  auto badDepth = dibRecord(4, 4, 7, 0, 0, 16);
  RecordView bv(badDepth.data(), static_cast<DWORD>(badDepth.size()));
  EXPECT_EQ(DibRead::Refused, ReadDib(bv, 20, 40, 60, 16, dib));
}

TEST(EmfDib, RleStreamGetsAnEndMark) {
  auto rec = dibRecord(4, 2, 8, 0, 256, 4, BI_RLE8);
  std::memcpy(rec.data() + 20 + 40 + 1024, "\x02\x05\x00\x00", 4);  // run, end of line; no end of bitmap
  RecordView view(rec.data(), static_cast<DWORD>(rec.size()));
  DibRef dib;
  ASSERT_EQ(DibRead::Ok, ReadDib(view, 20, 1064, 1084, 4, dib));
  ASSERT_EQ(dib.bitsSize, 6u);
  EXPECT_EQ(dib.bits[4], 0);
  EXPECT_EQ(dib.bits[5], 1);
  EXPECT_EQ(dib.info->bmiHeader.biSizeImage, 6u);
}

TEST(EmfRegion, CountMustFitTheData) {
  std::vector<BYTE> rec(16 + 32 + 2 * 16, 0);
  RGNDATAHEADER h{32, RDH_RECTANGLES, 2, 32, {0, 0, 10, 10}};
  std::memcpy(rec.data() + 16, &h, sizeof(h));
  RecordView view(rec.data(), static_cast<DWORD>(rec.size()));
  const RGNDATAHEADER* out;
  std::span<const RECT> rects;
  ASSERT_TRUE(ReadRegion(view, 16, 64, out, rects));
  EXPECT_EQ(rects.size(), 2u);
  EXPECT_FALSE(ReadRegion(view, 16, 48, out, rects));  // cbRgnData too small for two
  h.nCount = 0x10000000;
  std::memcpy(rec.data() + 16, &h, sizeof(h));
  EXPECT_FALSE(ReadRegion(view, 16, 64, out, rects));
  EXPECT_FALSE(ReadRegion(view, 16, 0x100, out, rects));  // beyond the record
}
