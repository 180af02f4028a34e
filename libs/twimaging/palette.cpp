// Reductions to 8 bits: a palette chosen from the image (its own colours,
// or a median cut of them), mapped to the nearest colour or with
// Floyd-Steinberg diffusion; and the 6 x 6 x 6 cube with ordered dithering.
#include <algorithm>
#include <array>
#include <vector>

#include "libs/twimaging/image_rows.h"

namespace tw::twimaging {
namespace {

inline std::uint32_t Key(unsigned b, unsigned g, unsigned r) { return b | g << 8 | r << 16; }
inline unsigned Bin(unsigned b, unsigned g, unsigned r) { return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3); }

// The colours of an image: up to 256 exact ones while it has no more, and a
// histogram over 32 levels a channel with the sums to average each bin.
struct BinTotals {
  std::uint64_t count, b, g, r;
};
struct ColorCensus {
  std::vector<std::uint32_t> exact;  // empty once there are more than 256
  bool few = true;
  std::vector<BinTotals> bins = std::vector<BinTotals>(32768, BinTotals{});

  explicit ColorCensus(const InputImage& in) {
    std::array<std::uint32_t, 1024> seen;  // open addressing, 0xFFFFFFFF empty
    seen.fill(0xFFFFFFFF);
    std::vector<BYTE> row(static_cast<std::size_t>(in.Width()) * 3);
    for (LONG y = 0; y < in.Height(); ++y) {
      in.RowBgr(y, row.data());
      for (std::size_t i = 0; i < row.size(); i += 3) {
        const unsigned b = row[i], g = row[i + 1], r = row[i + 2];
        BinTotals& bin = bins[Bin(b, g, r)];
        ++bin.count;
        bin.b += b;
        bin.g += g;
        bin.r += r;
        if (!few) continue;
        const std::uint32_t key = Key(b, g, r);
        for (std::size_t slot = (key * 2654435761u) >> 22;; slot = (slot + 1) % seen.size()) {
          if (seen[slot] == key) break;
          if (seen[slot] == 0xFFFFFFFF) {
            seen[slot] = key;
            exact.push_back(key);
            if (exact.size() > 256) {
              few = false;
              exact.clear();
            }
            break;
          }
        }
      }
    }
  }
};

// Median cut over the histogram's occupied bins.
std::vector<RGBQUAD> MedianCut(const ColorCensus& census) {
  struct Box {
    std::vector<unsigned> bins;
  };
  auto channel = [](unsigned bin, int c) { return c == 0 ? bin & 31 : c == 1 ? bin >> 5 & 31 : bin >> 10; };
  std::vector<Box> boxes(1);
  for (unsigned bin = 0; bin < 32768; ++bin)
    if (census.bins[bin].count) boxes[0].bins.push_back(bin);
  while (boxes.size() < 256) {
    // Split the box with the widest channel range at its pixels' median.
    int best = -1, bestAxis = 0;
    unsigned bestRange = 0;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].bins.size() < 2) continue;
      for (int c = 0; c < 3; ++c) {
        unsigned lo = 31, hi = 0;
        for (unsigned bin : boxes[i].bins) {
          lo = std::min(lo, channel(bin, c));
          hi = std::max(hi, channel(bin, c));
        }
        if (hi - lo > bestRange || best < 0) {
          bestRange = hi - lo;
          best = static_cast<int>(i);
          bestAxis = c;
        }
      }
    }
    if (best < 0) break;
    std::vector<unsigned>& bins = boxes[static_cast<std::size_t>(best)].bins;
    std::sort(bins.begin(), bins.end(), [&](unsigned a, unsigned b) {
      return channel(a, bestAxis) != channel(b, bestAxis) ? channel(a, bestAxis) < channel(b, bestAxis) : a < b;
    });
    std::uint64_t total = 0, half = 0;
    for (unsigned bin : bins) total += census.bins[bin].count;
    std::size_t cut = 0;
    while (cut + 1 < bins.size() && (half += census.bins[bins[cut]].count) * 2 < total) ++cut;
    Box upper{std::vector<unsigned>(bins.begin() + static_cast<std::ptrdiff_t>(cut) + 1, bins.end())};
    bins.resize(cut + 1);
    boxes.push_back(std::move(upper));
  }
  std::vector<RGBQUAD> palette;
  for (const Box& box : boxes) {
    std::uint64_t n = 0, b = 0, g = 0, r = 0;
    for (unsigned bin : box.bins) {
      const BinTotals& t = census.bins[bin];
      n += t.count;
      b += t.b;
      g += t.g;
      r += t.r;
    }
    palette.push_back({static_cast<BYTE>((b + n / 2) / n), static_cast<BYTE>((g + n / 2) / n),
                       static_cast<BYTE>((r + n / 2) / n), 0});
  }
  return palette;
}

// The palette, and whether it holds every colour of the image (then no
// pixel has an error to diffuse).
std::pair<std::vector<RGBQUAD>, bool> ChoosePalette(const InputImage& in) {
  ColorCensus census(in);
  if (!census.few) return {MedianCut(census), false};
  std::vector<RGBQUAD> palette;
  for (std::uint32_t key : census.exact)
    palette.push_back({static_cast<BYTE>(key), static_cast<BYTE>(key >> 8), static_cast<BYTE>(key >> 16), 0});
  return {palette, true};
}

// The nearest palette entry of a colour: the palette's own colours at once
// (a table that never forgets them); others by a search, remembered per
// colour (Exact) or per 32-level bin (Approximate).
class PaletteMatch {
 public:
  explicit PaletteMatch(std::span<const RGBQUAD> palette) : palette_(palette.begin(), palette.end()) {
    for (std::size_t i = 0; i < palette_.size(); ++i) {
      const std::uint32_t key = Key(palette_[i].rgbBlue, palette_[i].rgbGreen, palette_[i].rgbRed);
      std::size_t slot = Hash(key) >> 22;
      while (own_[slot] != kEmpty && (own_[slot] >> 8) != key) slot = (slot + 1) & kOwnMask;
      if (own_[slot] == kEmpty) own_[slot] = std::uint64_t{key} << 8 | i;
    }
  }
  BYTE Exact(unsigned b, unsigned g, unsigned r) {
    const std::uint32_t key = Key(b, g, r);
    if (key == lastKey_) return lastIndex_;  // runs of one colour
    lastKey_ = key;
    lastIndex_ = Lookup(key, b, g, r);
    return lastIndex_;
  }
  BYTE Approximate(unsigned b, unsigned g, unsigned r) {
    if (int index = Own(Key(b, g, r)); index >= 0) return static_cast<BYTE>(index);
    std::int16_t& bin = bins_[Bin(b, g, r)];
    if (bin < 0) bin = Search((b & ~7u) | 4, (g & ~7u) | 4, (r & ~7u) | 4);
    return static_cast<BYTE>(bin);
  }

 private:
  static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};
  static constexpr std::size_t kOwnMask = 1023;
  BYTE Lookup(std::uint32_t key, unsigned b, unsigned g, unsigned r) {
    if (int index = Own(key); index >= 0) return static_cast<BYTE>(index);
    std::uint64_t& slot = searched_[Hash(key) >> 20];
    if ((slot >> 8) != key) slot = std::uint64_t{key} << 8 | Search(b, g, r);
    return static_cast<BYTE>(slot);
  }

  static std::uint32_t Hash(std::uint32_t key) { return key * 2654435761u; }
  int Own(std::uint32_t key) const {
    for (std::size_t slot = Hash(key) >> 22;; slot = (slot + 1) & kOwnMask) {
      if (own_[slot] == kEmpty) return -1;
      if ((own_[slot] >> 8) == key) return static_cast<int>(own_[slot] & 0xFF);
    }
  }
  BYTE Search(unsigned b, unsigned g, unsigned r) const {
    int best = 0, bestDistance = 1 << 30;
    for (std::size_t i = 0; i < palette_.size(); ++i) {
      const int db = static_cast<int>(b) - palette_[i].rgbBlue, dg = static_cast<int>(g) - palette_[i].rgbGreen,
                dr = static_cast<int>(r) - palette_[i].rgbRed;
      const int distance = db * db + dg * dg + dr * dr;
      if (distance < bestDistance) {
        bestDistance = distance;
        best = static_cast<int>(i);
      }
    }
    return static_cast<BYTE>(best);
  }
  std::vector<RGBQUAD> palette_;
  std::uint32_t lastKey_ = 0xFFFFFFFF;
  BYTE lastIndex_ = 0;
  // On the heap (about 100 KB): callers may run on small thread stacks.
  std::vector<std::uint64_t> own_ = std::vector<std::uint64_t>(kOwnMask + 1, kEmpty);  // open addressing, <= 256 used
  std::vector<std::uint64_t> searched_ = std::vector<std::uint64_t>(4096, kEmpty);
  std::vector<std::int16_t> bins_ = std::vector<std::int16_t>(32768, -1);
};

}  // namespace

HGLOBAL PaletteEightBits(const InputImage& in, bool diffuse, bool serpentine) {
  const auto [palette, complete] = ChoosePalette(in);
  OutputImage out(in, 8, palette);
  if (!out.ok()) return nullptr;
  PaletteMatch match(palette);
  const LONG w = in.Width();
  std::vector<BYTE> row(static_cast<std::size_t>(w) * 3);
  if (!diffuse || complete) {
    for (LONG y = 0; y < in.Height(); ++y) {
      in.RowBgr(y, row.data());
      BYTE* d = out.Row(y);
      for (LONG x = 0; x < w; ++x) {
        const BYTE* c = &row[static_cast<std::size_t>(x) * 3];
        d[x] = match.Exact(c[0], c[1], c[2]);
      }
    }
    return out.Release();
  }
  // Floyd-Steinberg per channel in 16.16 fixed point: two rows of errors
  // with a margin of one pixel on either side, the share for the next pixel
  // kept in registers.
  const std::size_t span = (static_cast<std::size_t>(w) + 2) * 3;
  std::vector<std::int32_t> current(span, 0), next(span, 0);
  for (LONG y = 0; y < in.Height(); ++y) {
    in.RowBgr(y, row.data());
    BYTE* d = out.Row(y);
    const bool backwards = serpentine && (y % 2) == 1;
    const std::ptrdiff_t step = backwards ? -3 : 3;
    const std::int32_t* here = current.data() + 3;
    std::int32_t* below = next.data() + 3;
    std::int32_t ahead[3] = {0, 0, 0};
    for (LONG i = 0; i < w; ++i) {
      const std::ptrdiff_t x = backwards ? w - 1 - i : i;
      const std::ptrdiff_t at = x * 3;
      std::int32_t value[3];
      unsigned level[3];
      for (std::ptrdiff_t c = 0; c < 3; ++c) {
        value[c] = std::clamp((std::int32_t{row[static_cast<std::size_t>(at + c)]} << 16) + here[at + c] + ahead[c], 0,
                              255 << 16);
        level[c] = static_cast<unsigned>((value[c] + (1 << 15)) >> 16);
      }
      const BYTE index = match.Approximate(level[0], level[1], level[2]);
      d[x] = index;
      const RGBQUAD& shown = palette[index];
      const int shownChannel[3] = {shown.rgbBlue, shown.rgbGreen, shown.rgbRed};
      for (std::ptrdiff_t c = 0; c < 3; ++c) {
        const std::int32_t e = value[c] - (shownChannel[c] << 16);
        ahead[c] = e * 7 / 16;
        below[at + c - step] += e * 3 / 16;
        below[at + c] += e * 5 / 16;
        below[at + c + step] += e / 16;
      }
    }
    std::swap(current, next);
    std::fill(next.begin(), next.end(), 0);
  }
  return out.Release();
}

HGLOBAL CubeEightBits(const InputImage& in) {
  std::array<RGBQUAD, 216> cube;
  for (unsigned i = 0; i < 216; ++i)
    cube[i] = {static_cast<BYTE>(i % 6 * 51), static_cast<BYTE>(i / 6 % 6 * 51), static_cast<BYTE>(i / 36 * 51), 0};
  OutputImage out(in, 8, cube);
  if (!out.ok()) return nullptr;
  const LONG w = in.Width();
  std::vector<BYTE> row(static_cast<std::size_t>(w) * 3);
  for (LONG y = 0; y < in.Height(); ++y) {
    in.RowBgr(y, row.data());
    BYTE* d = out.Row(y);
    for (LONG x = 0; x < w; ++x) {
      // Level = floor(v / 51 + (2b + 1) / 128): rounds up with the
      // probability of the fraction, so the mean is kept.
      const unsigned threshold = (2u * kBayer8[y % 8][x % 8] + 1) * 51;
      const BYTE* c = &row[static_cast<std::size_t>(x) * 3];
      const unsigned b = (c[0] * 128u + threshold) / 6528, g = (c[1] * 128u + threshold) / 6528,
                     r = (c[2] * 128u + threshold) / 6528;
      d[x] = static_cast<BYTE>(r * 36 + g * 6 + b);
    }
  }
  return out.Release();
}

}  // namespace tw::twimaging
