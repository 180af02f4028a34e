// Reductions to one bit: ordered and clustered-dot screens, histogram
// thresholds and error diffusion, all on the luminance of each row.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "libs/twimaging/image_rows.h"

namespace tw::twimaging {
namespace {

// A screen: pixel (x, y) is white when its luminance is above
// limit[y % 8][x % 8]. Eight pixels are packed at a time.
using Limits = std::array<std::array<int, 8>, 8>;

HGLOBAL Screen(const InputImage& in, const Limits& limit) {
  OutputImage out(in, 1, kBlackWhite);
  if (!out.ok()) return nullptr;
  const LONG w = in.Width();
  std::vector<BYTE> luma(static_cast<std::size_t>(w));
  for (LONG y = 0; y < in.Height(); ++y) {
    in.RowLuma(y, luma.data());
    const std::array<int, 8>& row = limit[static_cast<std::size_t>(y % 8)];
    BYTE* d = out.Row(y);
    for (LONG x0 = 0; x0 < w; x0 += 8) {
      const BYTE* v = &luma[static_cast<std::size_t>(x0)];
      const int n = static_cast<int>(std::min<LONG>(8, w - x0));
      unsigned byte = 0;
      for (int i = 0; i < n; ++i) byte |= (v[i] > row[static_cast<std::size_t>(i)] ? 0x80u : 0u) >> i;
      d[x0 / 8] = static_cast<BYTE>(byte);
    }
  }
  return out.Release();
}

// Packs one flag byte (0 or 1) per pixel into a one-bit row.
void PackBits(const BYTE* flags, LONG width, BYTE* row) {
  for (LONG x0 = 0; x0 < width; x0 += 8) {
    const int n = static_cast<int>(std::min<LONG>(8, width - x0));
    unsigned byte = 0;
    for (int i = 0; i < n; ++i) byte |= static_cast<unsigned>(flags[x0 + i]) << (7 - i);
    row[x0 / 8] = static_cast<BYTE>(byte);
  }
}

Limits Flat(int limit) {
  Limits l;
  for (auto& row : l) row.fill(limit);
  return l;
}

// Ranks 0 .. 63 of the cells of an 8 x 8 cell by their distance from its
// centre (then by angle): dark dots grow outwards from the centre.
std::array<std::array<BYTE, 8>, 8> MakeClusterRanks() {
  struct Cell {
    double distance, angle;
    int x, y;
  };
  std::vector<Cell> cells;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      cells.push_back({std::hypot(x - 3.5, y - 3.5), std::atan2(y - 3.5, x - 3.5), x, y});
  std::sort(cells.begin(), cells.end(), [](const Cell& a, const Cell& b) {
    return a.distance != b.distance ? a.distance < b.distance : a.angle < b.angle;
  });
  std::array<std::array<BYTE, 8>, 8> ranks{};
  for (std::size_t i = 0; i < cells.size(); ++i)
    ranks[static_cast<std::size_t>(cells[i].y)][static_cast<std::size_t>(cells[i].x)] = static_cast<BYTE>(i);
  return ranks;
}

// Error diffusion in 16.16 fixed point, so that no part of the error is
// lost to rounding (only what the kernel itself drops); errors stay within
// a few hundred levels, so error * 7 fits in 32 bits. Floyd-Steinberg
// gives 7/16 to the next pixel and 3/16, 5/16, 1/16 to the three below;
// Atkinson 1/8 to the next two, the three below and the one two rows down.
// The shares for the next pixels of the same row stay in registers.
template <bool Atkinson>
HGLOBAL Diffuse(const InputImage& in, bool serpentine) {
  OutputImage out(in, 1, kBlackWhite);
  if (!out.ok()) return nullptr;
  const LONG w = in.Width();
  const std::size_t span = static_cast<std::size_t>(w) + 4;
  std::array<std::vector<std::int32_t>, 3> errors;  // this row, the next, the one after (2 cells of margin)
  for (auto& row : errors) row.assign(span, 0);
  std::vector<BYTE> luma(static_cast<std::size_t>(w)), white(static_cast<std::size_t>(w));
  for (LONG y = 0; y < in.Height(); ++y) {
    in.RowLuma(y, luma.data());
    const bool backwards = serpentine && (y % 2) == 1;
    const std::ptrdiff_t step = backwards ? -1 : 1;
    const std::int32_t* here = errors[0].data() + 2;
    std::int32_t* below = errors[1].data() + 2;
    std::int32_t* below2 = errors[2].data() + 2;
    std::int32_t ahead1 = 0, ahead2 = 0;
    for (LONG i = 0; i < w; ++i) {
      const std::ptrdiff_t x = backwards ? w - 1 - i : i;
      const std::int32_t value = (std::int32_t{luma[static_cast<std::size_t>(x)]} << 16) + here[x] + ahead1;
      const bool isWhite = value >= (128 << 16);
      white[static_cast<std::size_t>(x)] = isWhite;
      const std::int32_t error = value - (isWhite ? (255 << 16) : 0);
      if constexpr (Atkinson) {
        const std::int32_t e = error / 8;
        ahead1 = ahead2 + e;
        ahead2 = e;
        below[x - step] += e;
        below[x] += e;
        below[x + step] += e;
        below2[x] += e;
      } else {
        ahead1 = error * 7 / 16;
        below[x - step] += error * 3 / 16;
        below[x] += error * 5 / 16;
        below[x + step] += error / 16;
      }
    }
    PackBits(white.data(), w, out.Row(y));
    std::rotate(errors.begin(), errors.begin() + 1, errors.end());
    std::fill(errors[2].begin(), errors[2].end(), 0);
  }
  return out.Release();
}

}  // namespace

HGLOBAL OrderedOneBit(const InputImage& in) {
  // White when v * 128 > (2b + 1) * 255, b the matrix entry.
  static const Limits limits = [] {
    Limits l;
    for (std::size_t y = 0; y < 8; ++y)
      for (std::size_t x = 0; x < 8; ++x) l[y][x] = (2 * kBayer8[y][x] + 1) * 255 / 128;
    return l;
  }();
  return Screen(in, limits);
}

HGLOBAL ClusteredOneBit(const InputImage& in) {
  // Black while the cell's rank is below (255 - v) * 64 / 255: white when
  // rank * 255 >= (255 - v) * 64, that is v * 64 > 16319 - rank * 255.
  static const Limits limits = [] {
    const auto ranks = MakeClusterRanks();
    Limits l;
    for (std::size_t y = 0; y < 8; ++y)
      for (std::size_t x = 0; x < 8; ++x) l[y][x] = (16319 - ranks[y][x] * 255) / 64;
    return l;
  }();
  return Screen(in, limits);
}

HGLOBAL ThresholdOneBit(const InputImage& in, int level) {
  if (level != 0) return Screen(in, Flat(level - 1));  // white at or above the level
  std::vector<std::uint64_t> histogram(256, 0);
  std::vector<BYTE> luma(static_cast<std::size_t>(in.Width()));
  for (LONG y = 0; y < in.Height(); ++y) {
    in.RowLuma(y, luma.data());
    for (BYTE v : luma) ++histogram[v];
  }
  return Screen(in, Flat(OtsuLevel(histogram)));
}

HGLOBAL DiffuseOneBit(const InputImage& in, Diffusion kind) {
  switch (kind) {
    case Diffusion::FloydSteinberg: return Diffuse<false>(in, false);
    case Diffusion::FloydSteinbergSerpentine: return Diffuse<false>(in, true);
    default: return Diffuse<true>(in, false);
  }
}

}  // namespace tw::twimaging
