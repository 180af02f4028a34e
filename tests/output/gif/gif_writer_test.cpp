// SaveDIBInGIFFormat: the file layout byte by byte, the LZW stream read back
// by a decoder of the test's own (code widths, clear codes, table limits) and
// the pixels decoded by netpbm's giftopnm; failures and the per-thread error.
#include <gtest/gtest.h>

#include <thread>

#include "../encoder_test_support.h"
#include "output/gif/gif_writer.h"
#include "tw_test_dib.h"

namespace {

using codectest::Host;
using codectest::Image;
using codectest::Quote;
using codectest::RunTool;

// A GIF file taken apart: screen, global table, image descriptor and the
// image data with its sub-block sizes.
struct GifFile {
  bool ok = false;
  std::string signature;
  unsigned screenW = 0, screenH = 0, packed = 0, background = 0, aspect = 0;
  std::vector<BYTE> table;  // RGB triples
  unsigned left = 0, top = 0, width = 0, height = 0, imagePacked = 0, minCodeSize = 0;
  std::vector<std::size_t> blockSizes;
  std::vector<BYTE> data;  // the sub-blocks' bytes, joined
  bool trailer = false;
};

GifFile ParseGif(const std::string& s) {
  GifFile g;
  auto b = [&](std::size_t i) -> unsigned { return i < s.size() ? static_cast<BYTE>(s[i]) : 0u; };
  auto w = [&](std::size_t i) { return b(i) | b(i + 1) << 8; };
  if (s.size() < 13) return g;
  g.signature = s.substr(0, 6);
  g.screenW = w(6), g.screenH = w(8), g.packed = b(10), g.background = b(11), g.aspect = b(12);
  std::size_t pos = 13;
  if (g.packed & 0x80) {
    std::size_t n = 3u << ((g.packed & 7) + 1);
    g.table.assign(s.begin() + 13, s.begin() + static_cast<std::ptrdiff_t>(std::min(s.size(), 13 + n)));
    pos += n;
  }
  if (b(pos) != 0x2C) return g;
  g.left = w(pos + 1), g.top = w(pos + 3), g.width = w(pos + 5), g.height = w(pos + 7), g.imagePacked = b(pos + 9);
  g.minCodeSize = b(pos + 10);
  pos += 11;
  while (pos < s.size()) {
    std::size_t n = b(pos++);
    if (n == 0) break;
    g.blockSizes.push_back(n);
    g.data.insert(g.data.end(), s.begin() + static_cast<std::ptrdiff_t>(pos),
                  s.begin() + static_cast<std::ptrdiff_t>(std::min(s.size(), pos + n)));
    pos += n;
  }
  g.trailer = pos + 1 == s.size() && b(pos) == 0x3B;
  g.ok = true;
  return g;
}

// A plain GIF LZW decoder that also records how the stream was built.
struct Lzw {
  std::vector<BYTE> pixels;
  std::vector<int> widths;  // of every code read
  std::vector<int> codes;
  int clears = 0;
  int clearsWithTableFull = 0;
  int codesOverFullTable = 0;  // non-clear codes read after all 4096 were taken
  bool end = false, ok = true;
};

Lzw DecodeLzw(unsigned minCodeSize, const std::vector<BYTE>& data) {
  Lzw r;
  const int clear = 1 << minCodeSize, endCode = clear + 1;
  std::vector<int> prefix(4096, -1);
  std::vector<BYTE> suffix(4096), first(4096);
  for (int i = 0; i < clear; ++i) suffix[i] = first[i] = static_cast<BYTE>(i);
  int width = static_cast<int>(minCodeSize) + 1, next = endCode + 1, prev = -1;
  std::size_t bit = 0;
  auto expand = [&](int code) {
    std::vector<BYTE> out;
    for (int c = code; c >= 0; c = prefix[c]) out.push_back(suffix[c]);
    r.pixels.insert(r.pixels.end(), out.rbegin(), out.rend());
  };
  while (bit + width <= data.size() * 8) {
    int code = 0;
    for (int i = 0; i < width; ++i, ++bit) code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
    r.widths.push_back(width);
    r.codes.push_back(code);
    if (code == clear) {
      ++r.clears;
      if (next == 4096) ++r.clearsWithTableFull;
      width = static_cast<int>(minCodeSize) + 1, next = endCode + 1, prev = -1;
      continue;
    }
    if (code == endCode) {
      r.end = true;
      break;
    }
    if (next == 4096) ++r.codesOverFullTable;
    if (prev < 0) {
      if (code >= clear) return r.ok = false, r;
      expand(code);
      prev = code;
      continue;
    }
    BYTE head;
    if (code < next) {
      head = first[code];
    } else if (code == next) {
      head = first[prev];
    } else {
      r.ok = false;
      return r;
    }
    if (next < 4096) {
      prefix[next] = prev, suffix[next] = head, first[next] = first[prev];
      ++next;
      if (next == (1 << width) && width < 12) ++width;
    }
    expand(code);
    prev = code;
  }
  return r;
}

class GifWriterTest : public ::testing::Test {
 protected:
  GifWriterTest() { codectest::MakeFolder(u"C:\\Out"); }
  ~GifWriterTest() override { TwGIFMain(nullptr, DLL_THREAD_DETACH); }

  // Saves the image as a DIB; the error code from the call.
  int Save(const std::u16string& name, const Image& img, bool topDown = false) {
    HGLOBAL dib = codectest::MakeDib(img, 7874, 7874, topDown);
    int code = -1;
    BOOL ok = SaveDIBInGIFFormat(name.c_str(), dib, 0, &code);
    GlobalFree(dib);
    EXPECT_EQ(ok != FALSE, code == TW_GIF_ERROR_NONE);
    EXPECT_EQ(GetGIFLastError(), code);
    return code;
  }
  GifFile Read(const std::u16string& name) { return ParseGif(codectest::ReadBytes(Host(name))); }

  // giftopnm's pixels against the image's colours.
  void ExpectDecodesTo(const std::u16string& name, const Image& img) {
    enctest::Pnm p = enctest::DecodeWith("giftopnm " + Quote(Host(name)));
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.width, img.width);
    ASSERT_EQ(p.height, img.height);
    EXPECT_TRUE(enctest::PnmRgb(p) == codectest::ToRgb(img)) << "giftopnm's pixels differ";
  }

  twtest::TempRoot root_;
};

// The palette indices of an image, one per pixel, top row first.
std::vector<BYTE> Indices(const Image& img) {
  std::vector<BYTE> out;
  for (const auto& row : img.rows)
    for (std::uint32_t x = 0; x < img.width; ++x) {
      std::size_t bit = std::size_t(x) * img.bits;
      out.push_back(static_cast<BYTE>((row[bit / 8] >> (8 - img.bits - bit % 8)) & ((1u << img.bits) - 1)));
    }
  return out;
}

TEST_F(GifWriterTest, OneBitPageHasTheLayoutByteForByte) {
  Image img = codectest::BilevelPage(37, 5, 1);
  img.colors = {{10, 20, 30, 0}, {200, 210, 220, 0}};
  ASSERT_EQ(Save(u"C:\\Out\\a.gif", img), TW_GIF_ERROR_NONE);
  std::string s = codectest::ReadBytes(Host(u"C:\\Out\\a.gif"));
  // Header, screen 37 x 5, 0x80 (table of 2), background 0, aspect 0, table,
  // descriptor at 0, 0 of 37 x 5 without local table, minimum code size 2.
  const BYTE head[] = {'G', 'I', 'F', '8', '7', 'a', 37, 0, 5, 0, 0x80, 0, 0, 30, 20, 10, 220, 210, 200,
                       0x2C, 0, 0, 0, 0, 37, 0, 5, 0, 0, 2};
  ASSERT_GE(s.size(), sizeof head + 3);
  EXPECT_EQ(s.substr(0, sizeof head), std::string(reinterpret_cast<const char*>(head), sizeof head));
  EXPECT_EQ(static_cast<BYTE>(s.back()), 0x3B);
  EXPECT_EQ(static_cast<BYTE>(s[s.size() - 2]), 0x00);

  GifFile g = Read(u"C:\\Out\\a.gif");
  ASSERT_TRUE(g.ok && g.trailer);
  Lzw lzw = DecodeLzw(g.minCodeSize, g.data);
  ASSERT_TRUE(lzw.ok && lzw.end);
  EXPECT_EQ(lzw.codes.front(), 4);  // clear code 2^2, 3 bits
  EXPECT_EQ(lzw.widths.front(), 3);
  EXPECT_EQ(lzw.pixels, Indices(img));
  ExpectDecodesTo(u"C:\\Out\\a.gif", img);
}

TEST_F(GifWriterTest, EightAndFourBitPagesCarryTheirDepth) {
  struct Case {
    int bits;
    BYTE packed;
    std::size_t tableEntries;
  };
  for (Case c : {Case{8, 0xF7, 256}, Case{4, 0xB3, 16}, Case{2, 0x91, 4}}) {
    SCOPED_TRACE(c.bits);
    Image img = codectest::RandomImage(53, 31, c.bits, 7);
    ASSERT_EQ(Save(u"C:\\Out\\b.gif", img), TW_GIF_ERROR_NONE);
    GifFile g = Read(u"C:\\Out\\b.gif");
    ASSERT_TRUE(g.ok && g.trailer);
    EXPECT_EQ(g.signature, "GIF87a");
    EXPECT_EQ(g.packed, c.packed);
    EXPECT_EQ(g.table.size(), 3 * c.tableEntries);
    EXPECT_EQ(g.table[3], img.colors[1].rgbRed);
    EXPECT_EQ(g.table[5], img.colors[1].rgbBlue);
    EXPECT_EQ(g.minCodeSize, std::max(c.bits, 2));
    Lzw lzw = DecodeLzw(g.minCodeSize, g.data);
    ASSERT_TRUE(lzw.ok && lzw.end);
    EXPECT_EQ(lzw.codes.front(), 1 << g.minCodeSize);  // clear 256 for 8 bits
    EXPECT_EQ(lzw.codes.back(), (1 << g.minCodeSize) + 1);  // end 257
    EXPECT_EQ(lzw.pixels, Indices(img));
    ExpectDecodesTo(u"C:\\Out\\b.gif", img);
    ASSERT_TRUE(DeleteFileW(u"C:\\Out\\b.gif"));
  }
}

// Noise fills the 4096-entry table many times over; long runs make the
// longest strings and 12-bit codes.
TEST_F(GifWriterTest, FullTablesAreClearedAndCodesStayWithinTwelveBits) {
  struct Case {
    const char16_t* name;
    Image img;
  };
  Image runs = codectest::RandomImage(1500, 400, 8, 5);
  for (std::uint32_t y = 0; y < runs.height; ++y)
    for (std::uint32_t x = 0; x < runs.width; ++x) runs.rows[y][x] = static_cast<BYTE>((x / 300 + y / 50) % 7);
  for (Case c : {Case{u"C:\\Out\\noise8.gif", codectest::RandomImage(700, 500, 8, 9)},
                 Case{u"C:\\Out\\noise1.gif", codectest::RandomImage(1203, 400, 1, 4)},
                 Case{u"C:\\Out\\runs.gif", runs}}) {
    SCOPED_TRACE(codectest::Quote(Host(c.name)));
    ASSERT_EQ(Save(c.name, c.img), TW_GIF_ERROR_NONE);
    GifFile g = Read(c.name);
    ASSERT_TRUE(g.ok && g.trailer);
    for (std::size_t n : g.blockSizes) ASSERT_LE(n, 255u);
    EXPECT_EQ(g.blockSizes.front(), 255u);
    Lzw lzw = DecodeLzw(g.minCodeSize, g.data);
    ASSERT_TRUE(lzw.ok && lzw.end);
    EXPECT_EQ(lzw.pixels, Indices(c.img));
    EXPECT_LE(*std::max_element(lzw.widths.begin(), lzw.widths.end()), 12);
    // Every clear after the first comes exactly when the table is full, and
    // no code is ever written against a full table.
    EXPECT_GT(lzw.clears, 1);
    EXPECT_EQ(lzw.clearsWithTableFull, lzw.clears - 1);
    EXPECT_EQ(lzw.codesOverFullTable, 0);
    EXPECT_EQ(*std::max_element(lzw.widths.begin(), lzw.widths.end()), 12);
    ExpectDecodesTo(c.name, c.img);
    auto info = RunTool("gifsicle --info " + Quote(Host(c.name)));
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_EQ(info.output.find("warning"), std::string::npos) << info.output;
  }
}

TEST_F(GifWriterTest, TopDownPagesShortTablesAndOddWidths) {
  Image img = codectest::RandomImage(13, 9, 8, 2, 5);  // 5 colours in the DIB's table
  ASSERT_EQ(Save(u"C:\\Out\\t.gif", img, true), TW_GIF_ERROR_NONE);
  GifFile g = Read(u"C:\\Out\\t.gif");
  ASSERT_TRUE(g.ok);
  ASSERT_EQ(g.table.size(), 3u * 256);
  // Entries past the DIB's five are black.
  EXPECT_TRUE(std::all_of(g.table.begin() + 15, g.table.end(), [](BYTE v) { return v == 0; }));
  EXPECT_EQ(g.table[12], img.colors[4].rgbRed);
  ExpectDecodesTo(u"C:\\Out\\t.gif", img);

  auto text = RunTool("giftext " + Quote(Host(u"C:\\Out\\t.gif")));
  EXPECT_EQ(text.status, 0) << text.output;
  EXPECT_NE(text.output.find("Width = 13, Height = 9"), std::string::npos) << text.output;
  EXPECT_NE(text.output.find("BitsPerPixel = 8"), std::string::npos) << text.output;
}

TEST_F(GifWriterTest, AnExistingFileIsLeftAloneWithErrorFive) {
  codectest::WriteBytes(Host(u"C:\\Out\\taken.gif"), "not mine");
  Image img = codectest::BilevelPage(16, 4, 1);
  HGLOBAL dib = codectest::MakeDib(img);
  int code = -1;
  EXPECT_FALSE(SaveDIBInGIFFormat(u"C:\\Out\\taken.gif", dib, 0, &code));
  EXPECT_EQ(code, TW_GIF_ERROR_FILE);
  EXPECT_EQ(GetGIFLastError(), TW_GIF_ERROR_FILE);
  EXPECT_EQ(codectest::ReadBytes(Host(u"C:\\Out\\taken.gif")), "not mine");
  // A missing folder is the same error; success clears it.
  EXPECT_FALSE(SaveDIBInGIFFormat(u"C:\\Missing\\x.gif", dib, 0, nullptr));
  EXPECT_EQ(GetGIFLastError(), TW_GIF_ERROR_FILE);
  EXPECT_TRUE(SaveDIBInGIFFormat(u"C:\\Out\\fresh.gif", dib, 0, &code));
  EXPECT_EQ(code, TW_GIF_ERROR_NONE);
  EXPECT_EQ(GetGIFLastError(), TW_GIF_ERROR_NONE);
  GlobalFree(dib);
  // A full disk: error 5, and no partial file keeps the name taken.
  EXPECT_EQ(Save(u"C:\\Out\\full.gif", codectest::RandomImage(300, 300, 8, 1)), TW_GIF_ERROR_NONE);
  ASSERT_TRUE(DeleteFileW(u"C:\\Out\\full.gif"));
  {
    enctest::FileSizeLimit limit(4096);
    EXPECT_EQ(Save(u"C:\\Out\\full.gif", codectest::RandomImage(300, 300, 8, 1)), TW_GIF_ERROR_FILE);
  }
  EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Out\\full.gif")));
}

TEST_F(GifWriterTest, BadPageDibsFailWithoutAFile) {
  GetGIFLastError();  // this thread's block exists before the guard looks
  twtest::LeakGuard guard;
  auto tryBytes = [&](std::vector<BYTE> bytes, const char* what) {
    SCOPED_TRACE(what);
    twtest::InputBlock in(std::move(bytes));
    int code = -1;
    EXPECT_FALSE(SaveDIBInGIFFormat(u"C:\\Out\\bad.gif", in.get(), 0, &code));
    EXPECT_EQ(code, TW_GIF_ERROR_DIB);
    EXPECT_FALSE(std::filesystem::exists(Host(u"C:\\Out\\bad.gif")));
  };
  twtest::DibBytes good(20, 10, 8, twtest::GreyTable(256));
  auto with = [&](auto change) {
    std::vector<BYTE> b = good.bytes;
    change(reinterpret_cast<BITMAPINFOHEADER*>(b.data()), b);
    return b;
  };
  tryBytes(with([](BITMAPINFOHEADER* h, auto&) { h->biSize = 20; }), "header size");
  tryBytes(with([](BITMAPINFOHEADER* h, auto&) { h->biWidth = 0; }), "width 0");
  tryBytes(with([](BITMAPINFOHEADER* h, auto&) { h->biWidth = -20; }), "negative width");
  tryBytes(with([](BITMAPINFOHEADER* h, auto&) { h->biHeight = 0; }), "height 0");
  tryBytes(with([](BITMAPINFOHEADER* h, auto&) { h->biBitCount = 7; }), "bit count 7");
  tryBytes(with([](auto*, std::vector<BYTE>& b) { b.resize(b.size() - 1); }), "one byte short");
  tryBytes(twtest::DibBytes(20, 10, 24).bytes, "24 bits");
  tryBytes(twtest::DibBytes(70000, 1, 1, twtest::BlackWhiteTable()).bytes, "wider than 65535");
  int code = -1;
  EXPECT_FALSE(SaveDIBInGIFFormat(u"C:\\Out\\bad.gif", nullptr, 0, &code));
  EXPECT_EQ(code, TW_GIF_ERROR_DIB);
}

TEST_F(GifWriterTest, EachThreadKeepsItsOwnErrorAndFreesItsBlock) {
  GetGIFLastError();
  twtest::LeakGuard guard;
  Image img = codectest::BilevelPage(8, 8, 1);
  HGLOBAL dib = codectest::MakeDib(img);
  EXPECT_FALSE(SaveDIBInGIFFormat(u"C:\\Missing\\a.gif", dib, 0, nullptr));
  int other = -1, otherAfter = -1;
  std::thread t([&] {
    // A thread made before the library knew it gets its block on first use.
    other = GetGIFLastError();
    SaveDIBInGIFFormat(u"C:\\Out\\thread.gif", dib, 0, nullptr);
    otherAfter = GetGIFLastError();
    TwGIFMain(nullptr, DLL_THREAD_DETACH);
  });
  t.join();
  EXPECT_EQ(other, TW_GIF_ERROR_NONE);
  EXPECT_EQ(otherAfter, TW_GIF_ERROR_NONE);
  EXPECT_EQ(GetGIFLastError(), TW_GIF_ERROR_FILE);
  GlobalFree(dib);
}

TEST_F(GifWriterTest, AttachAndDetachRoutine) {
  twtest::LeakGuard guard;
  EXPECT_TRUE(TwGIFMain(nullptr, DLL_PROCESS_ATTACH));
  EXPECT_TRUE(TwGIFMain(nullptr, DLL_THREAD_ATTACH));
  EXPECT_EQ(GetGIFLastError(), TW_GIF_ERROR_NONE);
  EXPECT_TRUE(TwGIFMain(nullptr, DLL_THREAD_DETACH));
  EXPECT_TRUE(TwGIFMain(nullptr, DLL_PROCESS_DETACH));
  // Used again after process detach (a program that links the library).
  EXPECT_EQ(GetGIFLastError(), TW_GIF_ERROR_NONE);
  EXPECT_TRUE(TwGIFMain(nullptr, DLL_PROCESS_DETACH));
}

}  // namespace
