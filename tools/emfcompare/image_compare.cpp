// Neighbourhood-tolerant, ink-relative image comparison.
#include "image_compare.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>
#include <vector>

namespace twtools {
namespace {

struct Counts {
  std::uint64_t ink = 0;
  std::uint64_t wrong = 0;
};

inline bool near(const std::uint8_t* a, const std::uint8_t* b, int t) {
  return std::abs(a[0] - b[0]) <= t && std::abs(a[1] - b[1]) <= t && std::abs(a[2] - b[2]) <= t;
}

// True when pixel (x, y) of `a` has a near match in the 3x3 neighbourhood of
// (x, y) in `b`.
inline bool matched(const RgbImage& a, const RgbImage& b, int x, int y, int t) {
  const std::uint8_t* pa = a.Row(y) + size_t(x) * 3;
  int y0 = std::max(0, y - 1), y1 = std::min(b.height - 1, y + 1);
  int x0 = std::max(0, x - 1), x1 = std::min(b.width - 1, x + 1);
  for (int yy = y0; yy <= y1; ++yy) {
    const std::uint8_t* row = b.Row(yy);
    for (int xx = x0; xx <= x1; ++xx)
      if (near(pa, row + size_t(xx) * 3, t)) return true;
  }
  return false;
}

// The page's background: the reference's most frequent colour (white paper,
// or the fill of a page that paints its background).
std::uint32_t backgroundOf(const RgbImage& image) {
  std::unordered_map<std::uint32_t, std::uint64_t> histogram;
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* row = image.Row(y);
    for (int x = 0; x < image.width; ++x) {
      const std::uint8_t* p = row + size_t(x) * 3;
      ++histogram[(std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2]];
    }
  }
  std::uint32_t best = 0xFFFFFF;
  std::uint64_t most = 0;
  for (const auto& [color, n] : histogram)
    if (n > most || (n == most && color > best)) {
      most = n;
      best = color;
    }
  return best;
}

Counts count(const RgbImage& ours, const RgbImage& ref, const CompareOptions& o) {
  Counts c;
  std::uint32_t bg = backgroundOf(ref);
  const std::uint8_t background[3] = {std::uint8_t(bg >> 16), std::uint8_t(bg >> 8), std::uint8_t(bg)};
  auto isInk = [&](const std::uint8_t* p) { return !near(p, background, o.inkThreshold); };
  for (int y = 0; y < ours.height; ++y) {
    const std::uint8_t* ro = ours.Row(y);
    const std::uint8_t* rr = ref.Row(y);
    for (int x = 0; x < ours.width; ++x) {
      const std::uint8_t* po = ro + size_t(x) * 3;
      const std::uint8_t* pr = rr + size_t(x) * 3;
      bool ink = isInk(po) || isInk(pr);
      if (!ink) continue;  // background in both: nothing to compare
      ++c.ink;
      if (near(po, pr, o.threshold)) continue;  // the common case, without the neighbourhood
      if (!matched(ours, ref, x, y, o.threshold) || !matched(ref, ours, x, y, o.threshold)) ++c.wrong;
    }
  }
  return c;
}

double figure(const Counts& c) {
  if (c.ink == 0) return 1.0;
  return 1.0 - static_cast<double>(c.wrong) / static_cast<double>(c.ink);
}

}  // namespace

RgbImage Reduce(const RgbImage& image, int block) {
  RgbImage out;
  if (block <= 1) return image;
  int w = (image.width + block - 1) / block, h = (image.height + block - 1) / block;
  out.Reset(w, h);
  std::vector<std::uint32_t> sum(size_t(w) * 3);
  for (int by = 0; by < h; ++by) {
    std::fill(sum.begin(), sum.end(), 0);
    int y0 = by * block, y1 = std::min(image.height, y0 + block);
    for (int y = y0; y < y1; ++y) {
      const std::uint8_t* row = image.Row(y);
      for (int x = 0; x < image.width; ++x)
        for (int ch = 0; ch < 3; ++ch) sum[size_t(x / block) * 3 + ch] += row[size_t(x) * 3 + ch];
    }
    std::uint8_t* dst = out.Row(by);
    for (int bx = 0; bx < w; ++bx) {
      int cols = std::min(image.width, (bx + 1) * block) - bx * block;
      std::uint32_t n = std::uint32_t(cols) * std::uint32_t(y1 - y0);
      for (int ch = 0; ch < 3; ++ch) dst[size_t(bx) * 3 + ch] = std::uint8_t((sum[size_t(bx) * 3 + ch] + n / 2) / n);
    }
  }
  return out;
}

CompareResult CompareImages(const RgbImage& ours, const RgbImage& reference, const CompareOptions& options) {
  CompareResult r;
  r.sizeMatches = ours.width == reference.width && ours.height == reference.height && ours.width > 0 &&
                  ours.height > 0;
  if (!r.sizeMatches) return r;
  Counts fine = count(ours, reference, options);
  r.inkPixels = fine.ink;
  r.wrongPixels = fine.wrong;
  r.fine = figure(fine);
  r.pageShare = static_cast<double>(fine.wrong) / (double(ours.width) * double(ours.height));
  CompareOptions coarseOptions = options;
  Counts coarse = count(Reduce(ours, options.coarseBlock), Reduce(reference, options.coarseBlock), coarseOptions);
  r.coarse = figure(coarse);
  return r;
}

}  // namespace twtools
