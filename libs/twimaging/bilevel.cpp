// Reductions to one bit: ordered and clustered-dot screens, histogram
// thresholds and error diffusion, all on the luminance of each row.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "libs/twimaging/image_rows.h"

namespace tw::twimaging {
namespace {

// Runs `white(x, y, luma)` for every pixel and packs the answers.
template <typename White>
HGLOBAL Screen(const InputImage& in, White&& white) {
  OutputImage out(in, 1, kBlackWhite);
  if (!out.ok()) return nullptr;
  std::vector<BYTE> luma(static_cast<std::size_t>(in.Width()));
  for (LONG y = 0; y < in.Height(); ++y) {
    in.RowLuma(y, luma.data());
    BYTE* d = out.Row(y);
    for (LONG x = 0; x < in.Width(); ++x)
      if (white(x, y, luma[static_cast<std::size_t>(x)])) d[x / 8] |= static_cast<BYTE>(0x80u >> (x % 8));
  }
  return out.Release();
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

struct Tap {
  int dx, dy, weight;
};
constexpr Tap kFloydSteinberg[] = {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}};
constexpr Tap kAtkinson[] = {{1, 0, 1}, {2, 0, 1}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}, {0, 2, 1}};

// Error diffusion in 16.16 fixed point, so that no part of the error is
// lost to rounding (only what the kernel itself drops).
template <std::size_t N>
HGLOBAL Diffuse(const InputImage& in, const Tap (&taps)[N], int divisor, bool serpentine) {
  OutputImage out(in, 1, kBlackWhite);
  if (!out.ok()) return nullptr;
  const LONG w = in.Width();
  const std::size_t span = static_cast<std::size_t>(w) + 4;
  std::array<std::vector<std::int32_t>, 3> errors;
  for (auto& row : errors) row.assign(span, 0);
  std::vector<BYTE> luma(static_cast<std::size_t>(w));
  for (LONG y = 0; y < in.Height(); ++y) {
    in.RowLuma(y, luma.data());
    BYTE* d = out.Row(y);
    const bool backwards = serpentine && (y % 2) == 1;
    for (LONG i = 0; i < w; ++i) {
      const LONG x = backwards ? w - 1 - i : i;
      const std::size_t at = static_cast<std::size_t>(x) + 2;
      const std::int32_t value = (std::int32_t{luma[static_cast<std::size_t>(x)]} << 16) + errors[0][at];
      const bool white = value >= (128 << 16);
      if (white) d[x / 8] |= static_cast<BYTE>(0x80u >> (x % 8));
      const std::int32_t error = value - (white ? (255 << 16) : 0);
      for (const Tap& t : taps) {
        const std::size_t target = at + static_cast<std::size_t>(backwards ? -t.dx : t.dx);
        errors[static_cast<std::size_t>(t.dy)][target] += static_cast<std::int32_t>(
            static_cast<std::int64_t>(error) * t.weight / divisor);
      }
    }
    std::rotate(errors.begin(), errors.begin() + 1, errors.end());
    std::fill(errors[2].begin(), errors[2].end(), 0);
  }
  return out.Release();
}

}  // namespace

HGLOBAL OrderedOneBit(const InputImage& in) {
  return Screen(in, [](LONG x, LONG y, unsigned v) {
    return v * 128 > (2u * kBayer8[y % 8][x % 8] + 1) * 255;
  });
}

HGLOBAL ClusteredOneBit(const InputImage& in) {
  static const auto ranks = MakeClusterRanks();
  return Screen(in, [](LONG x, LONG y, unsigned v) {
    return unsigned{ranks[static_cast<std::size_t>(y % 8)][static_cast<std::size_t>(x % 8)]} * 255 >= (255 - v) * 64;
  });
}

HGLOBAL ThresholdOneBit(const InputImage& in, int level) {
  if (level == 0) {
    std::vector<std::uint64_t> histogram(256, 0);
    std::vector<BYTE> luma(static_cast<std::size_t>(in.Width()));
    for (LONG y = 0; y < in.Height(); ++y) {
      in.RowLuma(y, luma.data());
      for (BYTE v : luma) ++histogram[v];
    }
    const int t = OtsuLevel(histogram);
    return Screen(in, [t](LONG, LONG, unsigned v) { return static_cast<int>(v) > t; });
  }
  return Screen(in, [level](LONG, LONG, unsigned v) { return static_cast<int>(v) >= level; });
}

HGLOBAL DiffuseOneBit(const InputImage& in, Diffusion kind) {
  switch (kind) {
    case Diffusion::FloydSteinberg: return Diffuse(in, kFloydSteinberg, 16, false);
    case Diffusion::FloydSteinbergSerpentine: return Diffuse(in, kFloydSteinberg, 16, true);
    default: return Diffuse(in, kAtkinson, 8, false);
  }
}

}  // namespace tw::twimaging
