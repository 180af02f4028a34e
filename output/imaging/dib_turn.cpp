// Quarter and half turns. One-bit images turn in 8 x 8 blocks of bits (a
// bit-matrix transpose); byte-sized pixels are copied in tiles so that the
// columns written stay in cache; 2- and 4-bit pixels are moved one by one.
#include <array>
#include <cstring>
#include <vector>

#include "output/imaging/dib_access.h"
#include "output/imaging/dib_ops.h"

namespace tw::imaging {
namespace {

enum class Turn { Left, Right, Half };

// Transposes an 8 x 8 bit matrix held row by row, first row in the most
// significant byte, first column in each byte's most significant bit.
inline std::uint64_t Transpose8x8(std::uint64_t x) {
  std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
  x ^= t ^ (t << 28);
  return x;
}

constexpr std::array<BYTE, 256> MakeBitReverse() {
  std::array<BYTE, 256> table{};
  for (unsigned v = 0; v < 256; ++v) {
    unsigned r = 0;
    for (unsigned b = 0; b < 8; ++b)
      if (v & (1u << b)) r |= 0x80u >> b;
    table[v] = static_cast<BYTE>(r);
  }
  return table;
}
constexpr std::array<BYTE, 256> kBitReverse = MakeBitReverse();

// The output rows, counted from the top, that receive source column x: a
// clockwise turn puts column x on row x, an anticlockwise one on row W-1-x.
std::vector<BYTE*> ColumnTargets(TargetDib& out, LONG width, bool clockwise) {
  std::vector<BYTE*> rows(static_cast<std::size_t>(width));
  for (LONG x = 0; x < width; ++x) rows[static_cast<std::size_t>(x)] = out.Row(clockwise ? x : width - 1 - x);
  return rows;
}

void QuarterTurnOneBit(const SourceDib& src, TargetDib& out, bool clockwise) {
  const LONG w = src.Width(), h = src.Height();
  std::vector<BYTE*> targets = ColumnTargets(out, w, clockwise);
  std::vector<BYTE> zeroRow(src.layout().stride, 0);
  const std::size_t srcBytes = UsedRowBytes(w, 1);
  const LONG groups = (h + 7) / 8;
  for (LONG k = 0; k < groups; ++k) {
    // Output byte k holds output columns 8k..8k+7: source rows y, read
    // upwards from the bottom (clockwise) or downwards from the top.
    const BYTE* rows[8];
    for (LONG i = 0; i < 8; ++i) {
      LONG y = clockwise ? h - 1 - 8 * k - i : 8 * k + i;
      rows[i] = (y >= 0 && y < h) ? src.Row(y) : zeroRow.data();
    }
    for (std::size_t bx = 0; bx < srcBytes; ++bx) {
      std::uint64_t block = 0;
      for (int i = 0; i < 8; ++i) block = (block << 8) | rows[i][bx];
      if (block == 0) continue;  // the output is zero-filled already
      block = Transpose8x8(block);
      const LONG x0 = static_cast<LONG>(bx * 8);
      const int n = static_cast<int>(std::min<LONG>(8, w - x0));
      for (int j = 0; j < n; ++j) targets[static_cast<std::size_t>(x0 + j)][k] = static_cast<BYTE>(block >> (56 - 8 * j));
    }
  }
}

void HalfTurnOneBit(const SourceDib& src, TargetDib& out) {
  const LONG w = src.Width(), h = src.Height();
  const std::size_t n = UsedRowBytes(w, 1);
  const unsigned pad = static_cast<unsigned>(n * 8 - static_cast<std::size_t>(w));  // junk bits led by the reversal
  const BYTE lastMask = LastByteMask(w, 1);
  std::vector<BYTE> reversed(n + 1, 0);
  for (LONG y = 0; y < h; ++y) {
    const BYTE* s = src.Row(y);
    BYTE* d = out.Row(h - 1 - y);
    for (std::size_t k = 0; k < n; ++k) reversed[k] = kBitReverse[s[n - 1 - k]];
    if (pad == 0) {
      std::memcpy(d, reversed.data(), n);
    } else {
      for (std::size_t k = 0; k < n; ++k)
        d[k] = static_cast<BYTE>((reversed[k] << pad) | (reversed[k + 1] >> (8 - pad)));
    }
    d[n - 1] &= lastMask;
  }
}

// 2- and 4-bit pixels, one at a time.
void TurnSubByte(const SourceDib& src, TargetDib& out, Turn turn) {
  const LONG w = src.Width(), h = src.Height();
  const unsigned bits = src.Bits(), perByte = 8 / bits, mask = (1u << bits) - 1;
  for (LONG y = 0; y < h; ++y) {
    const BYTE* s = src.Row(y);
    for (LONG x = 0; x < w; ++x) {
      unsigned shift = 8 - bits - (static_cast<unsigned>(x) % perByte) * bits;
      unsigned v = (s[static_cast<unsigned>(x) / perByte] >> shift) & mask;
      LONG nx, ny;
      switch (turn) {
        case Turn::Left: nx = y; ny = w - 1 - x; break;
        case Turn::Right: nx = h - 1 - y; ny = x; break;
        default: nx = w - 1 - x; ny = h - 1 - y; break;
      }
      unsigned nshift = 8 - bits - (static_cast<unsigned>(nx) % perByte) * bits;
      out.Row(ny)[static_cast<unsigned>(nx) / perByte] |= static_cast<BYTE>(v << nshift);
    }
  }
}

// Pixels of B bytes. Quarter turns go through 64 x 64 tiles.
template <std::size_t B>
void TurnBytes(const SourceDib& src, TargetDib& out, Turn turn) {
  const LONG w = src.Width(), h = src.Height();
  if (turn == Turn::Half) {
    for (LONG y = 0; y < h; ++y) {
      const BYTE* s = src.Row(y);
      BYTE* d = out.Row(h - 1 - y) + static_cast<std::size_t>(w - 1) * B;
      for (LONG x = 0; x < w; ++x, s += B, d -= B) std::memcpy(d, s, B);
    }
    return;
  }
  const bool clockwise = turn == Turn::Right;
  std::vector<BYTE*> targets = ColumnTargets(out, w, clockwise);
  constexpr LONG kTile = 64;
  for (LONG y0 = 0; y0 < h; y0 += kTile) {
    const LONG y1 = std::min(h, y0 + kTile);
    for (LONG x0 = 0; x0 < w; x0 += kTile) {
      const LONG x1 = std::min(w, x0 + kTile);
      for (LONG y = y0; y < y1; ++y) {
        const BYTE* s = src.Row(y) + static_cast<std::size_t>(x0) * B;
        const std::size_t column = static_cast<std::size_t>(clockwise ? h - 1 - y : y) * B;
        for (LONG x = x0; x < x1; ++x, s += B) std::memcpy(targets[static_cast<std::size_t>(x)] + column, s, B);
      }
    }
  }
}

HGLOBAL TurnDIB(HGLOBAL hDIB, Turn turn) {
  SourceDib src(hDIB);
  if (!src.ok()) return nullptr;
  const bool quarter = turn != Turn::Half;
  TargetDib out(src, quarter ? src.Height() : src.Width(), quarter ? src.Width() : src.Height(), quarter);
  if (!out.ok()) return nullptr;
  switch (src.Bits()) {
    case 1:
      if (quarter) QuarterTurnOneBit(src, out, turn == Turn::Right);
      else HalfTurnOneBit(src, out);
      break;
    case 2: case 4: TurnSubByte(src, out, turn); break;
    case 8: TurnBytes<1>(src, out, turn); break;
    case 16: TurnBytes<2>(src, out, turn); break;
    case 24: TurnBytes<3>(src, out, turn); break;
    case 32: TurnBytes<4>(src, out, turn); break;
    default: return nullptr;
  }
  return out.Release();
}

}  // namespace

HGLOBAL RotateDIB90Left(HGLOBAL hDIB) { return NullOnNoMemory([&] { return TurnDIB(hDIB, Turn::Left); }); }
HGLOBAL RotateDIB90Right(HGLOBAL hDIB) { return NullOnNoMemory([&] { return TurnDIB(hDIB, Turn::Right); }); }
HGLOBAL RotateDIB180(HGLOBAL hDIB) { return NullOnNoMemory([&] { return TurnDIB(hDIB, Turn::Half); }); }

}  // namespace tw::imaging
