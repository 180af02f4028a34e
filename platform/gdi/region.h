// Internal: regions as y-x banded rectangle lists (the form GetRegionData
// returns): rectangles sorted by top, then left; rectangles of one band share
// top and bottom, never overlap or touch horizontally, and equal neighbouring
// bands are merged. Coordinates are device pixels, right and bottom exclusive.
#pragma once
#include <mutex>
#include <span>
#include <vector>

#include "objects.h"

namespace tw::gdi {

class RegionData {
 public:
  RegionData() = default;
  explicit RegionData(const RECT& rect);  // empty for an empty rectangle

  // One interval [x0, x1) per span; spans may come in any order and overlap.
  struct Span {
    int y, x0, x1;
  };
  static RegionData FromSpans(std::vector<Span> spans);
  // The union of rectangles given in any order (empty ones ignored).
  static RegionData FromRects(std::vector<RECT> rects);
  // Parses RGNDATA (RDH_RECTANGLES); false for malformed data.
  static bool FromRgnData(const RGNDATA* data, std::size_t size, RegionData& out);

  const std::vector<RECT>& Rects() const { return rects_; }
  bool Empty() const { return rects_.empty(); }
  RECT Bounds() const;  // all zero when empty
  // NULLREGION, SIMPLEREGION or COMPLEXREGION.
  int Complexity() const;
  bool Contains(int x, int y) const;
  bool Intersects(const RECT& rect) const;
  void Offset(int dx, int dy);
  bool operator==(const RegionData& other) const;

  // RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF (RGN_COPY is a plain copy).
  static RegionData Combine(const RegionData& a, const RegionData& b, int mode);
  RegionData Intersect(const RECT& rect) const;
  // The pixels whose neighbours up to w columns and h rows away are all in
  // the region (erosion by a (2w+1) x (2h+1) box); O(log w + log h) steps.
  RegionData Erode(int w, int h) const;

  // RGNDATA bytes (header + rectangles) as GetRegionData returns them.
  std::vector<BYTE> ToRgnData() const;

  // Calls f(x0, x1) for each interval of row y, left to right.
  template <class F>
  void ForEachInRow(int y, F&& f) const {
    std::size_t band = FindBand(y);
    for (std::size_t i = band; i < rects_.size() && rects_[i].top == rects_[band].top; ++i) {
      if (rects_[i].top > y || rects_[i].bottom <= y) break;
      f(rects_[i].left, rects_[i].right);
    }
  }

 private:
  friend class RegionBuilder;
  // Index of the first rectangle of the band holding row y, or rects_.size().
  std::size_t FindBand(int y) const;
  std::vector<RECT> rects_;
};

// Builds a region from spans that arrive row by row (y never decreasing),
// keeping only the merged bands in memory.
class RegionBuilder {
 public:
  void Add(int y, int x0, int x1);
  RegionData Finish();

 private:
  void Flush();
  RegionData out_;
  std::size_t lastBand_ = static_cast<std::size_t>(-1);
  int row_ = 0;
  std::vector<std::pair<int, int>> xs_;
};

class Region : public GdiObject {
 public:
  explicit Region(RegionData data = {}) : data_(std::move(data)) {}
  DWORD Type() const override { return OBJ_REGION; }
  RegionData Get() const {
    std::lock_guard lock(mutex_);
    return data_;
  }
  void Set(RegionData data) {
    std::lock_guard lock(mutex_);
    data_ = std::move(data);
  }

 private:
  mutable std::mutex mutex_;
  RegionData data_;
};

}  // namespace tw::gdi
