// Region arithmetic on y-x banded rectangle lists.
#include "region.h"

#include <algorithm>
#include <cstring>

#include "winerror.h"

namespace tw::gdi {
namespace {

using Interval = std::pair<int, int>;  // [first, second)

// Appends band [top, bottom) with `xs` (sorted, disjoint, not touching),
// merging it into the previous band when that one ends at `top` and has the
// same intervals.
void appendBand(std::vector<RECT>& rects, std::size_t& lastBandStart, int top, int bottom,
                const std::vector<Interval>& xs) {
  if (xs.empty() || top >= bottom) return;
  if (lastBandStart < rects.size()) {
    std::size_t count = rects.size() - lastBandStart;
    if (rects[lastBandStart].bottom == top && count == xs.size()) {
      bool same = true;
      for (std::size_t i = 0; i < count && same; ++i)
        same = rects[lastBandStart + i].left == xs[i].first && rects[lastBandStart + i].right == xs[i].second;
      if (same) {
        for (std::size_t i = 0; i < count; ++i) rects[lastBandStart + i].bottom = bottom;
        return;
      }
    }
  }
  lastBandStart = rects.size();
  for (const auto& x : xs) rects.push_back({x.first, top, x.second, bottom});
}

// Sorts and merges intervals (overlapping or touching ones become one).
void normalise(std::vector<Interval>& xs) {
  std::sort(xs.begin(), xs.end());
  std::size_t out = 0;
  for (std::size_t i = 0; i < xs.size(); ++i) {
    if (xs[i].first >= xs[i].second) continue;
    if (out > 0 && xs[i].first <= xs[out - 1].second) {
      xs[out - 1].second = std::max(xs[out - 1].second, xs[i].second);
    } else {
      xs[out++] = xs[i];
    }
  }
  xs.resize(out);
}

// Combines two sorted disjoint interval lists by a boolean operation.
void combineIntervals(const std::vector<Interval>& a, const std::vector<Interval>& b, int mode,
                      std::vector<Interval>& out) {
  out.clear();
  // Sweep over all boundaries; inside-ness of each list toggles at its edges.
  std::vector<int> edges;
  edges.reserve(2 * (a.size() + b.size()));
  for (const auto& x : a) edges.insert(edges.end(), {x.first, x.second});
  for (const auto& x : b) edges.insert(edges.end(), {x.first, x.second});
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  std::size_t ia = 0, ib = 0;
  for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
    int x0 = edges[i], x1 = edges[i + 1];
    while (ia < a.size() && a[ia].second <= x0) ++ia;
    while (ib < b.size() && b[ib].second <= x0) ++ib;
    bool inA = ia < a.size() && a[ia].first <= x0;
    bool inB = ib < b.size() && b[ib].first <= x0;
    bool in = false;
    switch (mode) {
      case RGN_AND: in = inA && inB; break;
      case RGN_OR: in = inA || inB; break;
      case RGN_XOR: in = inA != inB; break;
      case RGN_DIFF: in = inA && !inB; break;
      default: break;
    }
    if (!in) continue;
    if (!out.empty() && out.back().second == x0) {
      out.back().second = x1;
    } else {
      out.emplace_back(x0, x1);
    }
  }
}

// The intervals of the band of `rects` that covers [y, ...) starting the
// search at `index` (bands sorted by top); advances `index` past bands that
// end at or before y.
void bandAt(const std::vector<RECT>& rects, std::size_t& index, int y, std::vector<Interval>& out) {
  out.clear();
  while (index < rects.size() && rects[index].bottom <= y) {
    int top = rects[index].top;
    while (index < rects.size() && rects[index].top == top) ++index;
  }
  if (index >= rects.size() || rects[index].top > y) return;
  for (std::size_t i = index; i < rects.size() && rects[i].top == rects[index].top; ++i)
    out.emplace_back(rects[i].left, rects[i].right);
}

}  // namespace

RegionData::RegionData(const RECT& r) {
  if (r.left < r.right && r.top < r.bottom) rects_.push_back(r);
}

RegionData RegionData::FromSpans(std::vector<Span> spans) {
  std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
    return a.y != b.y ? a.y < b.y : a.x0 < b.x0;
  });
  RegionData out;
  std::size_t last = static_cast<std::size_t>(-1);
  std::vector<Interval> xs;
  for (std::size_t i = 0; i < spans.size();) {
    int y = spans[i].y;
    xs.clear();
    for (; i < spans.size() && spans[i].y == y; ++i) xs.emplace_back(spans[i].x0, spans[i].x1);
    normalise(xs);
    appendBand(out.rects_, last, y, y + 1, xs);
  }
  return out;
}

bool RegionData::FromRgnData(const RGNDATA* data, std::size_t size, RegionData& out) {
  if (!data || size < sizeof(RGNDATAHEADER)) return false;
  RGNDATAHEADER header;
  std::memcpy(&header, data, sizeof(header));
  if (header.dwSize < sizeof(RGNDATAHEADER) || header.iType != RDH_RECTANGLES) return false;
  if (header.dwSize > size || header.nCount > (size - header.dwSize) / sizeof(RECT)) return false;
  std::vector<RECT> rects(header.nCount);
  if (header.nCount)
    std::memcpy(rects.data(), reinterpret_cast<const BYTE*>(data) + header.dwSize, header.nCount * sizeof(RECT));
  out = FromRects(std::move(rects));
  return true;
}

RegionData RegionData::FromRects(std::vector<RECT> rects) {
  // The rectangles may overlap and come in any order: cut the plane into
  // bands at every top and bottom and take the union of each band.
  std::vector<int> ys;
  std::erase_if(rects, [](const RECT& r) { return r.left >= r.right || r.top >= r.bottom; });
  for (const RECT& r : rects) ys.insert(ys.end(), {static_cast<int>(r.top), static_cast<int>(r.bottom)});
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::sort(rects.begin(), rects.end(), [](const RECT& a, const RECT& b) { return a.top < b.top; });
  RegionData out;
  std::size_t last = static_cast<std::size_t>(-1);
  std::vector<Interval> xs;
  for (std::size_t i = 0; i + 1 < ys.size(); ++i) {
    xs.clear();
    for (const RECT& r : rects) {
      if (r.top > ys[i]) break;
      if (r.bottom > ys[i]) xs.emplace_back(r.left, r.right);
    }
    normalise(xs);
    appendBand(out.rects_, last, ys[i], ys[i + 1], xs);
  }
  return out;
}

RECT RegionData::Bounds() const {
  if (rects_.empty()) return {0, 0, 0, 0};
  RECT b = rects_.front();
  for (const RECT& r : rects_) {
    b.left = std::min(b.left, r.left);
    b.right = std::max(b.right, r.right);
  }
  b.top = rects_.front().top;
  b.bottom = rects_.back().bottom;
  return b;
}

int RegionData::Complexity() const {
  if (rects_.empty()) return NULLREGION;
  return rects_.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

std::size_t RegionData::FindBand(int y) const {
  // First rectangle whose bottom is above... binary search on band bottoms.
  std::size_t lo = 0, hi = rects_.size();
  while (lo < hi) {
    std::size_t mid = (lo + hi) / 2;
    if (rects_[mid].bottom <= y) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo >= rects_.size() || rects_[lo].top > y) return rects_.size();
  // Back up to the first rectangle of this band.
  while (lo > 0 && rects_[lo - 1].top == rects_[lo].top) --lo;
  return lo;
}

bool RegionData::Contains(int x, int y) const {
  bool found = false;
  ForEachInRow(y, [&](int x0, int x1) { found = found || (x >= x0 && x < x1); });
  return found;
}

bool RegionData::Intersects(const RECT& r) const {
  if (r.left >= r.right || r.top >= r.bottom) return false;
  for (const RECT& q : rects_) {
    if (q.top >= r.bottom) break;
    if (q.bottom > r.top && q.left < r.right && q.right > r.left) return true;
  }
  return false;
}

void RegionData::Offset(int dx, int dy) {
  // Saturating: absurd offsets pile the region up at the edge of the
  // coordinate space instead of overflowing.
  auto move = [](LONG& v, int d) {
    v = static_cast<LONG>(std::clamp<long long>(static_cast<long long>(v) + d, -(1LL << 30), 1LL << 30));
  };
  for (RECT& r : rects_) {
    move(r.left, dx);
    move(r.right, dx);
    move(r.top, dy);
    move(r.bottom, dy);
  }
  std::erase_if(rects_, [](const RECT& r) { return r.left >= r.right || r.top >= r.bottom; });
}

bool RegionData::operator==(const RegionData& other) const {
  if (rects_.size() != other.rects_.size()) return false;
  return std::memcmp(rects_.data(), other.rects_.data(), rects_.size() * sizeof(RECT)) == 0;
}

RegionData RegionData::Combine(const RegionData& a, const RegionData& b, int mode) {
  if (mode == RGN_COPY) return a;
  // Fast paths that need no sweep.
  if (mode == RGN_AND && (a.Empty() || b.Empty())) return {};
  if ((mode == RGN_OR || mode == RGN_XOR) && b.Empty()) return a;
  if ((mode == RGN_OR || mode == RGN_XOR) && a.Empty()) return b;
  if (mode == RGN_DIFF && (a.Empty() || b.Empty())) return a;

  std::vector<int> ys;
  ys.reserve(2 * (a.rects_.size() + b.rects_.size()));
  for (const RECT& r : a.rects_) ys.insert(ys.end(), {static_cast<int>(r.top), static_cast<int>(r.bottom)});
  for (const RECT& r : b.rects_) ys.insert(ys.end(), {static_cast<int>(r.top), static_cast<int>(r.bottom)});
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

  RegionData out;
  std::size_t last = static_cast<std::size_t>(-1);
  std::size_t ia = 0, ib = 0;
  std::vector<Interval> xa, xb, xs;
  for (std::size_t i = 0; i + 1 < ys.size(); ++i) {
    bandAt(a.rects_, ia, ys[i], xa);
    bandAt(b.rects_, ib, ys[i], xb);
    combineIntervals(xa, xb, mode, xs);
    appendBand(out.rects_, last, ys[i], ys[i + 1], xs);
  }
  return out;
}

RegionData RegionData::Intersect(const RECT& rect) const {
  return Combine(*this, RegionData(rect), RGN_AND);
}

RegionData RegionData::Erode(int w, int h) const {
  // Eroded by [-t, t] so far; X & (X + s) & (X - s) extends that to
  // [-(t + s), t + s] as long as s <= 2t + 1, so the reach doubles each step.
  RegionData x = *this;
  for (int axis = 0; axis < 2; ++axis) {
    long long goal = axis == 0 ? w : h, t = 0;
    while (t < goal && !x.Empty()) {
      int step = static_cast<int>(std::min(goal - t, 2 * t + 1));
      RegionData plus = x, minus = x;
      plus.Offset(axis == 0 ? step : 0, axis == 0 ? 0 : step);
      minus.Offset(axis == 0 ? -step : 0, axis == 0 ? 0 : -step);
      x = Combine(Combine(x, plus, RGN_AND), minus, RGN_AND);
      t += step;
    }
  }
  return x;
}

std::vector<BYTE> RegionData::ToRgnData() const {
  std::vector<BYTE> out(sizeof(RGNDATAHEADER) + rects_.size() * sizeof(RECT));
  RGNDATAHEADER header{sizeof(RGNDATAHEADER), RDH_RECTANGLES, static_cast<DWORD>(rects_.size()),
                       static_cast<DWORD>(rects_.size() * sizeof(RECT)), Bounds()};
  std::memcpy(out.data(), &header, sizeof(header));
  if (!rects_.empty()) std::memcpy(out.data() + sizeof(header), rects_.data(), rects_.size() * sizeof(RECT));
  return out;
}

void RegionBuilder::Add(int y, int x0, int x1) {
  if (x0 >= x1) return;
  if (!xs_.empty() && y != row_) Flush();
  row_ = y;
  xs_.emplace_back(x0, x1);
}

void RegionBuilder::Flush() {
  normalise(xs_);
  appendBand(out_.rects_, lastBand_, row_, row_ + 1, xs_);
  xs_.clear();
}

RegionData RegionBuilder::Finish() {
  if (!xs_.empty()) Flush();
  return std::move(out_);
}

}  // namespace tw::gdi
