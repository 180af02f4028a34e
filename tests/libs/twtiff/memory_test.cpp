// In-memory TIFF: the library grows the job's movable block page by page
// and leaves exactly the TIFF in it.
#include "tiff_test_support.h"

namespace {

using codectest::Host;
using codectest::Image;
using codectest::Quote;
using codectest::RunTool;
using namespace tifftest;

class MemoryTiffTest : public ::testing::Test {
 protected:
  // The block's bytes as a file the independent tools can read.
  std::filesystem::path Dump(HGLOBAL block) {
    auto* p = static_cast<const char*>(GlobalLock(block));
    std::string bytes(p, GlobalSize(block));
    GlobalUnlock(block);
    auto path = root_.Dir() / "block.tif";
    codectest::WriteBytes(path, bytes);
    return path;
  }

  twtest::TempRoot root_;
  codectest::Module module_{u"TwTiff.dll"};
  TiffApi api_{module_};
  twtest::LeakGuard guard_;
};

TEST_F(MemoryTiffTest, TheJobsBlockGrowsPageByPageAndKeepsItsHandle) {
  HGLOBAL block = GlobalAlloc(GHND, 1);  // as the job creates it
  std::vector<Image> pages;
  WriterTags tags;
  tags.compression = 3;  // code 30 in memory: Group 3 with T4Options 0
  tags.pageNumbers = true;
  SIZE_T size = GlobalSize(block);
  for (DWORD p = 1; p <= 3; ++p) {
    pages.push_back(codectest::BilevelPage(1728, 400, p));
    HTWTIFF h = api_.OpenTiffInMemory(block, static_cast<DWORD>(GlobalSize(block)), p == 1 ? 3 : 2);
    ASSERT_NE(h, nullptr) << api_.ErrorText();
    tags.page = p;
    WritePage(api_, h, tags, pages.back());
    ASSERT_TRUE(api_.UpdatePageNumbersInMemory(h, p)) << api_.ErrorText();
    ASSERT_TRUE(api_.CloseTiffFile(h));
    EXPECT_GT(GlobalSize(block), size);
    size = GlobalSize(block);
    void* data = GlobalLock(block);
    EXPECT_EQ(GlobalHandle(data), block);  // still the caller's handle
    GlobalUnlock(block);
  }
  auto path = Dump(block);
  auto info = RunTool("tiffinfo -D " + Quote(path));
  EXPECT_EQ(info.status, 0) << info.output;
  auto read = ReadTiff(path);
  ASSERT_EQ(read.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(read[i].compression, COMPRESSION_CCITTFAX3);
    EXPECT_EQ(read[i].group3, 0u);
    EXPECT_EQ(read[i].page[0], i);
    EXPECT_EQ(read[i].page[1], 3);
    EXPECT_TRUE(SameRows(read[i].pixels, Inverted(pages[i])));
  }
  // Nothing past the TIFF: tiffcp reproduces a file no larger than the block.
  EXPECT_EQ(RunTool("tiffcp " + Quote(path) + " " + Quote(root_.Dir() / "copy.tif")).status, 0);
  EXPECT_LE(GlobalSize(block), std::filesystem::file_size(root_.Dir() / "copy.tif") + 64);

  // A cover page moved to the front, in memory.
  HTWTIFF h = api_.OpenTiffInMemory(block, static_cast<DWORD>(GlobalSize(block)), 2);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(api_.MoveLastImageFast(h, 0, 0));
  TW_TIFF_FILE_INFO info2;
  ASSERT_TRUE(api_.GetTiffFileInfo(h, &info2));
  EXPECT_EQ(info2.dwImageCount, 3u);
  EXPECT_STREQ(info2.szFileName, "");
  ASSERT_TRUE(api_.CloseTiffFile(h));
  read = ReadTiff(Dump(block));
  ASSERT_EQ(read.size(), 3u);
  EXPECT_TRUE(SameRows(read[0].pixels, Inverted(pages[2])));
  EXPECT_TRUE(SameRows(read[1].pixels, Inverted(pages[0])));
  GlobalFree(block);
}

TEST_F(MemoryTiffTest, JpegPagesAndNewTiffsReplaceWhatWasThere) {
  HGLOBAL block = GlobalAlloc(GHND, 1);
  Image rgb = codectest::RandomImage(200, 120, 24, 9);
  for (int round = 0; round < 2; ++round) {  // mode 3 starts afresh each time
    HTWTIFF h = api_.OpenTiffInMemory(block, static_cast<DWORD>(GlobalSize(block)), 3);
    ASSERT_NE(h, nullptr);
    WriterTags tags;
    tags.compression = 6;  // code 10 in memory
    tags.colorMode = 3;
    WritePage(api_, h, tags, rgb);
    ASSERT_TRUE(api_.CloseTiffFile(h));
  }
  auto read = ReadTiff(Dump(block));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].compression, COMPRESSION_JPEG);
  EXPECT_GE(codectest::Psnr(codectest::ToRgb(read[0].pixels), codectest::ToRgb(rgb)), 30.0);
  GlobalFree(block);
}

TEST_F(MemoryTiffTest, BlocksThatCannotHoldATiffAreRefused) {
  HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 64);
  EXPECT_EQ(api_.OpenTiffInMemory(fixed, 64, 3), nullptr);
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_ARGUMENT);
  GlobalFree(fixed);
  EXPECT_EQ(api_.OpenTiffInMemory(nullptr, 0, 3), nullptr);

  // A page that fails leaves the new block as it came: one zero byte.
  HGLOBAL block = GlobalAlloc(GHND, 1);
  HTWTIFF h = api_.OpenTiffInMemory(block, 1, 3);
  ASSERT_NE(h, nullptr);
  int image = api_.DefineTiffImage(h);
  EXPECT_FALSE(api_.EncodeTiffImage(h, image, nullptr, &WriterRows));  // no tags
  ASSERT_TRUE(api_.CloseTiffFile(h));
  EXPECT_EQ(GlobalSize(block), 1u);
  EXPECT_EQ(*static_cast<BYTE*>(GlobalLock(block)), 0);
  GlobalUnlock(block);
  EXPECT_EQ(api_.OpenTiffInMemory(block, 1, 1), nullptr);  // nothing to read
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_NOT_TIFF);

  // Bytes that are not a TIFF are not overwritten by "add".
  const char text[] = "not a tiff at all";
  block = GlobalReAlloc(block, sizeof text, GMEM_MOVEABLE);
  std::memcpy(GlobalLock(block), text, sizeof text);
  GlobalUnlock(block);
  EXPECT_EQ(api_.OpenTiffInMemory(block, sizeof text, 2), nullptr);
  EXPECT_EQ(api_.TiffError(), TW_TIFF_ERROR_NOT_TIFF);
  EXPECT_STREQ(static_cast<const char*>(GlobalLock(block)), text);
  GlobalUnlock(block);
  GlobalFree(block);
}

}  // namespace
