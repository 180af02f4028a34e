// Metafile handles: made from bytes and files, their header as callers read
// it, copies, and refusal of data that is not a metafile.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "emf_bytes.h"
#include "tw/pathmap.h"
#include "tw_test.h"

using twtest::EmfBytes;

namespace {

std::vector<BYTE> bitsOf(HENHMETAFILE h) {
  UINT size = GetEnhMetaFileBits(h, 0, nullptr);
  std::vector<BYTE> out(size);
  EXPECT_EQ(GetEnhMetaFileBits(h, size, out.data()), size);
  return out;
}

}  // namespace

TEST(EnhMetaFile, BitsRoundTripAndTheCopyIsPrivate) {
  twtest::LeakGuard leaks;
  EmfBytes emf;
  emf.Add(EMR_SETBKMODE, {TRANSPARENT});
  std::vector<BYTE> bytes = emf.Finish();
  HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetObjectType(h), DWORD(OBJ_ENHMETAFILE));
  std::vector<BYTE> given = bytes;
  bytes[bytes.size() - 4] ^= 0xFF;  // the caller's buffer changes; the metafile does not
  EXPECT_EQ(bitsOf(h), given);
  // A short buffer gets what fits.
  std::vector<BYTE> part(16);
  EXPECT_EQ(GetEnhMetaFileBits(h, 16, part.data()), 16u);
  EXPECT_TRUE(std::equal(part.begin(), part.end(), given.begin()));
  EXPECT_TRUE(DeleteEnhMetaFile(h));
  EXPECT_FALSE(DeleteEnhMetaFile(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST(EnhMetaFile, RefusesDataThatIsNotAMetafile) {
  twtest::LeakGuard leaks;
  EmfBytes emf;
  std::vector<BYTE> bytes = emf.Finish();
  EXPECT_EQ(SetEnhMetaFileBits(0, bytes.data()), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(SetEnhMetaFileBits(40, bytes.data()), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
  // nBytes promises more than there is: a truncated file.
  EXPECT_EQ(SetEnhMetaFileBits(static_cast<UINT>(bytes.size() - 4), bytes.data()), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
  bytes[40] = 0;  // the signature
  EXPECT_EQ(SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data()), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
}

TEST(EnhMetaFile, BytesAfterNBytesAreLeftOut) {
  twtest::LeakGuard leaks;
  EmfBytes emf;
  std::vector<BYTE> bytes = emf.Finish();
  size_t n = bytes.size();
  bytes.resize(n + 100, 0xAA);
  HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetEnhMetaFileBits(h, 0, nullptr), n);
  DeleteEnhMetaFile(h);
}

TEST(EnhMetaFile, HeaderOfAnOldFileStillHasMicrometers) {
  twtest::LeakGuard leaks;
  // An 88-byte header (no pixel format, no micrometres): callers that read
  // szlMicrometers at offset 100 get millimetres x 1000, not garbage.
  EmfBytes emf(88, {0, 0, 21590, 27940}, {2550, 3300}, {216, 279});
  std::vector<BYTE> bytes = emf.Finish();
  HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
  ASSERT_NE(h, nullptr);
  UINT size = GetEnhMetaFileHeader(h, 0, nullptr);
  EXPECT_EQ(size, sizeof(ENHMETAHEADER));
  ENHMETAHEADER header{};
  EXPECT_EQ(GetEnhMetaFileHeader(h, size, &header), size);
  EXPECT_EQ(header.szlMicrometers.cx, 216000);
  EXPECT_EQ(header.szlMicrometers.cy, 279000);
  EXPECT_EQ(header.szlDevice.cx, 2550);
  EXPECT_EQ(header.rclFrame.bottom, 27940);
  EXPECT_EQ(header.nBytes, bytes.size());
  // Too small for the header's fixed part.
  EXPECT_EQ(GetEnhMetaFileHeader(h, 40, &header), 0u);
  DeleteEnhMetaFile(h);
}

TEST(EnhMetaFile, HeaderWithDescriptionAndTheDescription) {
  twtest::LeakGuard leaks;
  const char16_t desc[] = u"App\0Page 1\0";
  size_t descBytes = sizeof(desc);  // 12 chars incl. the final NUL pair
  EmfBytes emf(static_cast<DWORD>(108 + (descBytes + 3) / 4 * 4));
  std::memcpy(emf.Bytes().data() + 108, desc, descBytes);
  emf.Header().nDescription = static_cast<DWORD>(descBytes / 2);
  emf.Header().offDescription = 108;
  std::vector<BYTE> bytes = emf.Finish();
  HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetEnhMetaFileHeader(h, 0, nullptr), emf.Header().nSize);
  UINT chars = GetEnhMetaFileDescriptionW(h, 0, nullptr);
  EXPECT_EQ(chars, descBytes / 2);
  std::u16string text(chars, u'?');
  EXPECT_EQ(GetEnhMetaFileDescriptionW(h, chars, text.data()), chars);
  EXPECT_EQ(text, std::u16string(desc, descBytes / 2));
  DeleteEnhMetaFile(h);
}

TEST(EnhMetaFile, PaletteOfTheEofRecord) {
  twtest::LeakGuard leaks;
  EmfBytes emf;
  // EMR_EOF with two palette entries after its fixed part.
  std::vector<BYTE> body(20, 0);
  DWORD n = 2, off = 16, last = 28;
  std::memcpy(body.data(), &n, 4);
  std::memcpy(body.data() + 4, &off, 4);
  PALETTEENTRY pal[2] = {{1, 2, 3, 0}, {4, 5, 6, 0}};
  std::memcpy(body.data() + 8, pal, 8);
  std::memcpy(body.data() + 16, &last, 4);
  emf.AddRaw(EMR_EOF, body);
  emf.Header().nBytes = static_cast<DWORD>(emf.Bytes().size());
  HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(emf.Bytes().size()), emf.Bytes().data());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetEnhMetaFilePaletteEntries(h, 0, nullptr), 2u);
  PALETTEENTRY out[2]{};
  EXPECT_EQ(GetEnhMetaFilePaletteEntries(h, 2, out), 2u);
  EXPECT_EQ(out[1].peGreen, 5);
  DeleteEnhMetaFile(h);
}

TEST(EnhMetaFile, FilesAndCopies) {
  twtest::LeakGuard leaks;
  EmfBytes emf;
  emf.Add(EMR_SAVEDC, {});
  std::vector<BYTE> bytes = emf.Finish();
  HENHMETAFILE h = SetEnhMetaFileBits(static_cast<UINT>(bytes.size()), bytes.data());
  ASSERT_NE(h, nullptr);

  // To a file and back.
  HENHMETAFILE onDisk = CopyEnhMetaFileW(h, u"C:\\page.emf");
  ASSERT_NE(onDisk, nullptr);
  std::filesystem::path host;
  ASSERT_EQ(tw::path::ToHost(u"C:\\page.emf", host), 0u);
  std::ifstream in(host, std::ios::binary);
  std::vector<BYTE> written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, bytes);
  HENHMETAFILE read = GetEnhMetaFileW(u"C:\\page.emf");
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(bitsOf(read), bytes);

  // In memory: a new handle, the same bytes.
  HENHMETAFILE copy = CopyEnhMetaFileW(h, nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, h);
  EXPECT_EQ(bitsOf(copy), bytes);

  EXPECT_EQ(GetEnhMetaFileW(u"C:\\no such file.emf"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(CopyEnhMetaFileW(h, u"C:\\no such folder\\page.emf"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  std::ofstream(host, std::ios::binary | std::ios::trunc) << "not a metafile at all, just some text bytes here";
  EXPECT_EQ(GetEnhMetaFileW(u"C:\\page.emf"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));

  for (HENHMETAFILE x : {h, onDisk, read, copy}) EXPECT_TRUE(DeleteEnhMetaFile(x));
}

TEST(EnhMetaFile, InvalidHandlesFailCleanly) {
  HENHMETAFILE bogus = reinterpret_cast<HENHMETAFILE>(0x12345678);
  EXPECT_EQ(GetEnhMetaFileBits(bogus, 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetEnhMetaFileHeader(nullptr, 0, nullptr), 0u);
  EXPECT_EQ(CopyEnhMetaFileW(bogus, nullptr), nullptr);
  EXPECT_FALSE(DeleteEnhMetaFile(nullptr));
  // A brush is not a metafile, and DeleteEnhMetaFile leaves it alone.
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  EXPECT_FALSE(DeleteEnhMetaFile(reinterpret_cast<HENHMETAFILE>(brush)));
  EXPECT_EQ(GetObjectType(brush), DWORD(OBJ_BRUSH));
  DeleteObject(brush);
}
