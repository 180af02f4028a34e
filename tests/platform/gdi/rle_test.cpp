// RLE sources are read row by row from their stream (never decoded whole):
// long streams with runs that overrun the row, odd absolute runs, deltas,
// ends of line, an early end of bitmap and a truncated stream draw exactly
// what a plain decoder of the whole image gives, through StretchDIBits,
// SetDIBitsToDevice, SetDIBits, and a turned blit.
#include <gtest/gtest.h>

#include <random>

#include "gdi_test_util.h"

using gditest::Canvas;

namespace {

constexpr int kWidth = 300, kHeight = 200;
constexpr DWORD kSentinel = 0x123456;  // the canvas where nothing is drawn

// Index i is the colour (i, 255 - i, 7 i): every index shows as itself.
DWORD colourOf(int index) { return DWORD(index) << 16 | DWORD(255 - index) << 8 | DWORD((index * 7) & 0xFF); }

struct Stream {
  bool rle4;
  std::vector<BYTE> bytes;
  // What it draws, rows from the top: index and whether it is set.
  std::vector<int> index = std::vector<int>(kWidth * kHeight, 0);
  std::vector<bool> set = std::vector<bool>(kWidth * kHeight, false);
};

// The plain decoder: the whole image at once, as the stream describes it.
void decodeWhole(Stream& s) {
  int x = 0, y = 0;  // y from the bottom
  size_t i = 0;
  auto put = [&](int v) {
    if (x >= 0 && x < kWidth && y < kHeight) {
      size_t at = size_t(kHeight - 1 - y) * kWidth + size_t(x);
      s.index[at] = v;
      s.set[at] = true;
    }
    ++x;
  };
  const std::vector<BYTE>& d = s.bytes;
  while (i + 1 < d.size() && y < kHeight) {
    int count = d[i], value = d[i + 1];
    i += 2;
    if (count) {
      for (int k = 0; k < count && x < kWidth; ++k) put(s.rle4 ? (k % 2 ? value & 15 : value >> 4) : value);
    } else if (value == 0) {
      x = 0, ++y;
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      if (i + 1 >= d.size()) break;
      x += d[i], y += d[i + 1];
      i += 2;
    } else {
      size_t bytes = s.rle4 ? (value + 1) / 2 : value;
      if (i + bytes > d.size()) break;
      for (int k = 0; k < value; ++k) put(s.rle4 ? (k % 2 ? d[i + k / 2] & 15 : d[i + k / 2] >> 4) : d[i + k]);
      i += (bytes + 1) & ~size_t(1);
    }
  }
}

// A random stream of every kind of operation (several kilobytes: many
// checkpoints apart).
Stream randomStream(bool rle4, unsigned seed, size_t truncateTo = 0) {
  Stream s{rle4, {}};
  std::mt19937 rng(seed);
  auto r = [&](int n) { return int(rng() % unsigned(n)); };
  int maxIndex = rle4 ? 16 : 256;
  for (int op = 0; op < 3000; ++op) {
    switch (r(10)) {
      case 0: s.bytes.insert(s.bytes.end(), {0, 0}); break;                              // end of line
      case 1: s.bytes.insert(s.bytes.end(), {0, 2, BYTE(r(40)), BYTE(r(3))}); break;     // delta
      case 2: case 3: {                                                                  // absolute run
        int n = 3 + r(60);
        s.bytes.insert(s.bytes.end(), {0, BYTE(n)});
        size_t bytes = rle4 ? size_t(n + 1) / 2 : size_t(n);
        for (size_t k = 0; k < bytes; ++k) s.bytes.push_back(BYTE(rng()));
        if (bytes % 2) s.bytes.push_back(0);
        break;
      }
      default: {  // a run, sometimes past the end of the row
        BYTE v = rle4 ? BYTE(r(16) << 4 | r(16)) : BYTE(r(maxIndex));
        s.bytes.insert(s.bytes.end(), {BYTE(1 + r(255)), v});
      }
    }
  }
  s.bytes.insert(s.bytes.end(), {0, 1});
  if (truncateTo) s.bytes.resize(truncateTo);
  decodeWhole(s);
  return s;
}

std::vector<BYTE> headerFor(const Stream& s, DWORD compression) {
  int colours = s.rle4 ? 16 : 256;
  std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + size_t(colours) * 4);
  BITMAPINFOHEADER h{sizeof(BITMAPINFOHEADER), kWidth, kHeight, 1, WORD(s.rle4 ? 4 : 8), compression,
                     compression == BI_RGB ? 0 : DWORD(s.bytes.size()), 0, 0, DWORD(colours), 0};
  std::memcpy(info.data(), &h, sizeof(h));
  for (int i = 0; i < colours; ++i) {
    DWORD c = colourOf(i);
    std::memcpy(info.data() + sizeof(h) + 4 * i, &c, 4);
  }
  return info;
}
const BITMAPINFO* bmi(const std::vector<BYTE>& info) { return reinterpret_cast<const BITMAPINFO*>(info.data()); }

// Compares a canvas drawn one to one at (ox, oy) with the decoded image.
void expectImage(const Canvas& c, const Stream& s, int ox, int oy) {
  int wrong = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      size_t at = size_t(y) * kWidth + size_t(x);
      DWORD want = s.set[at] ? colourOf(s.index[at]) : kSentinel;
      if ((c.Pixel(ox + x, oy + y) & 0xFFFFFF) != want && ++wrong <= 5)
        ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << std::hex << c.Pixel(ox + x, oy + y) << " not "
                      << want;
    }
  EXPECT_EQ(wrong, 0);
}

void fill(Canvas& c, int width, int height) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      BYTE* p = c.Row(y) + 3 * x;
      p[0] = kSentinel & 0xFF, p[1] = (kSentinel >> 8) & 0xFF, p[2] = kSentinel >> 16;
    }
}

}  // namespace

TEST(GdiRle, StreamsDrawWhatAWholeDecodeGives) {
  for (bool rle4 : {false, true}) {
    for (size_t truncate : {size_t(0), size_t(1001)}) {
      SCOPED_TRACE(std::string(rle4 ? "RLE4" : "RLE8") + (truncate ? ", truncated" : ""));
      Stream s = randomStream(rle4, rle4 ? 4u : 8u, truncate);
      ASSERT_GT(s.bytes.size(), 1000u);
      std::vector<BYTE> info = headerFor(s, rle4 ? BI_RLE4 : BI_RLE8);
      Canvas c(kWidth + 20, kHeight + 20);

      fill(c, kWidth + 20, kHeight + 20);
      ASSERT_EQ(StretchDIBits(c.dc(), 10, 10, kWidth, kHeight, 0, 0, kWidth, kHeight, s.bytes.data(), bmi(info),
                              DIB_RGB_COLORS, SRCCOPY),
                kHeight);
      expectImage(c, s, 10, 10);

      fill(c, kWidth + 20, kHeight + 20);
      ASSERT_EQ(SetDIBitsToDevice(c.dc(), 5, 7, kWidth, kHeight, 0, 0, 0, kHeight, s.bytes.data(), bmi(info),
                                  DIB_RGB_COLORS),
                kHeight);
      expectImage(c, s, 5, 7);

      // Into a bitmap: unset pixels keep the bitmap's.
      Canvas target(kWidth, kHeight);
      fill(target, kWidth, kHeight);
      ASSERT_EQ(SetDIBits(nullptr, target.bitmap(), 0, kHeight, s.bytes.data(), bmi(info), DIB_RGB_COLORS), kHeight);
      expectImage(target, s, 0, 0);
    }
  }
}

TEST(GdiRle, TurnedBlitSamplesLikeAPlainImage) {
  // A quarter turn: every destination row reads a different source column.
  // The RLE image must come out as the decoded image does, drawn as a plain
  // DIB, with the unset pixels (a second plain image, the mask) left alone.
  Stream s = randomStream(false, 21);
  std::vector<BYTE> rleInfo = headerFor(s, BI_RLE8), plainInfo = headerFor(s, BI_RGB);
  size_t stride = (kWidth + 3) & ~3;
  std::vector<BYTE> plain(stride * kHeight), mask(stride * kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      size_t at = size_t(y) * kWidth + size_t(x), to = size_t(kHeight - 1 - y) * stride + size_t(x);
      plain[to] = BYTE(s.index[at]);
      mask[to] = s.set[at] ? 1 : 0;
    }
  auto turned = [&](Canvas& c, const void* bits, const std::vector<BYTE>& info) {
    SetGraphicsMode(c.dc(), GM_ADVANCED);
    XFORM quarter{0, 1, -1, 0, float(kHeight + 10), 10};
    SetWorldTransform(c.dc(), &quarter);
    StretchDIBits(c.dc(), 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight, bits, bmi(info), DIB_RGB_COLORS, SRCCOPY);
  };
  Canvas fromRle(kHeight + 20, kWidth + 20), fromPlain(kHeight + 20, kWidth + 20), fromMask(kHeight + 20, kWidth + 20);
  turned(fromRle, s.bytes.data(), rleInfo);
  turned(fromPlain, plain.data(), plainInfo);
  turned(fromMask, mask.data(), plainInfo);
  int drawn = 0, wrong = 0;
  for (int y = 0; y < kWidth + 20; ++y)
    for (int x = 0; x < kHeight + 20; ++x) {
      bool set = (fromMask.Pixel(x, y) & 0xFFFFFF) == colourOf(1);
      DWORD want = set ? fromPlain.Pixel(x, y) & 0xFFFFFF : 0xFFFFFF;
      drawn += set;
      wrong += (fromRle.Pixel(x, y) & 0xFFFFFF) != want;
    }
  EXPECT_GT(drawn, kWidth * kHeight / 4);
  EXPECT_EQ(wrong, 0);
}
