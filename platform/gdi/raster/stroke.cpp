// Pens: Bresenham lines for thin pens (with GDI's line styles), outlines
// with caps, joins and dashes for wide pens.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "../draw.h"

namespace tw::gdi {

// Dash patterns of cosmetic pens, in pixels (on, off, on, off ...).
const std::vector<DWORD>& CosmeticPenStyle(int style) {
  static const std::vector<DWORD> dash{18, 6}, dot{3, 3}, dashDot{9, 6, 3, 6}, dashDotDot{9, 3, 3, 3, 3, 3},
      alternate{1, 1}, none;
  switch (style) {
    case PS_DASH: return dash;
    case PS_DOT: return dot;
    case PS_DASHDOT: return dashDot;
    case PS_DASHDOTDOT: return dashDotDot;
    case PS_ALTERNATE: return alternate;
    default: return none;
  }
}

// Dash patterns of geometric pens, in pen widths.
std::vector<double> GeometricPenStyle(const Pen& pen, double width, const Matrix& toDevice) {
  switch (pen.Style()) {
    case PS_DASH: return {3 * width, 1 * width};
    case PS_DOT: return {1 * width, 1 * width};
    case PS_DASHDOT: return {3 * width, 1 * width, 1 * width, 1 * width};
    case PS_DASHDOTDOT: return {3 * width, 1 * width, 1 * width, 1 * width, 1 * width, 1 * width};
    case PS_USERSTYLE: {
      // User style entries are logical lengths.
      double scale = std::sqrt(std::fabs(toDevice.Determinant()));
      std::vector<double> out;
      for (DWORD e : pen.styleEntries) out.push_back(e * scale);
      return out;
    }
    default: return {};
  }
}

namespace {

constexpr double kPi = 3.14159265358979323846;

// Collects pixels into horizontal runs before painting them.
template <class Emit>
class RunSink {
 public:
  explicit RunSink(Emit& emit) : emit_(emit) {}
  ~RunSink() { Flush(); }
  void Pixel(int x, int y) {
    if (open_ && y == y_ && x == x1_) {
      ++x1_;
      return;
    }
    if (open_ && y == y_ && x == x0_ - 1) {
      --x0_;
      return;
    }
    Flush();
    open_ = true;
    y_ = y;
    x0_ = x;
    x1_ = x + 1;
  }
  void Flush() {
    if (open_) emit_(y_, x0_, x1_);
    open_ = false;
  }

 private:
  Emit& emit_;
  bool open_ = false;
  int y_ = 0, x0_ = 0, x1_ = 0;
};

double signedArea(const std::vector<PointF>& poly) {
  double a = 0;
  for (std::size_t i = 0; i < poly.size(); ++i) {
    const PointF& p = poly[i];
    const PointF& q = poly[(i + 1) % poly.size()];
    a += p.x * q.y - q.x * p.y;
  }
  return a / 2;
}

void addPositive(Polygons& out, std::vector<PointF> poly) {
  if (poly.size() < 3) return;
  if (signedArea(poly) < 0) std::reverse(poly.begin(), poly.end());
  out.push_back(std::move(poly));
}

// A rectangle in device coordinates that may reach beyond LONG.
struct BoxF {
  double left, top, right, bottom;
};

BoxF grown(const RECT& r, double by) {
  return {r.left - by, r.top - by, r.right + by, r.bottom + by};
}

std::vector<PointF> circle(PointF c, double r) {
  int n = static_cast<int>(std::clamp(std::ceil(kPi * r), 8.0, 256.0));
  std::vector<PointF> out;
  for (int i = 0; i < n; ++i) {
    double t = 2 * kPi * i / n;
    out.push_back({c.x + r * std::cos(t), c.y + r * std::sin(t)});
  }
  return out;
}

// A round cap or join seen through `box`. Up to 256 corners the whole
// circle; a larger one (a pen hundreds of pixels wide and more) only as the
// sector facing the box, with chords within 1/10 pixel of the arc, so that
// its edge is true however large it is.
std::vector<PointF> circle(PointF c, double r, const BoxF* box) {
  if (!box || kPi * r <= 256) return circle(c, r);
  const PointF corners[4] = {{box->left, box->top}, {box->right, box->top}, {box->right, box->bottom},
                             {box->left, box->bottom}};
  double farthest = 0;
  for (const PointF& k : corners) farthest = std::max(farthest, std::hypot(k.x - c.x, k.y - c.y));
  if (farthest <= r) return {corners, corners + 4};  // covers the box
  double step = std::min(2 * kPi / 256, std::sqrt(0.8 / r));
  std::vector<PointF> out;
  double from = 0, to = 2 * kPi;
  bool inside = c.x >= box->left && c.x <= box->right && c.y >= box->top && c.y <= box->bottom;
  if (!inside) {
    // The box lies within less than a half-turn seen from the centre.
    double mid = std::atan2((box->top + box->bottom) / 2 - c.y, (box->left + box->right) / 2 - c.x), lo = 0, hi = 0;
    for (const PointF& k : corners) {
      double d = std::remainder(std::atan2(k.y - c.y, k.x - c.x) - mid, 2 * kPi);
      lo = std::min(lo, d);
      hi = std::max(hi, d);
    }
    from = mid + lo;
    to = mid + hi;
    out.push_back(c);
  }
  int n = static_cast<int>(std::ceil((to - from) / step));
  for (int i = 0; i <= n; ++i) {
    double t = from + (to - from) * i / std::max(n, 1);
    out.push_back({c.x + r * std::cos(t), c.y + r * std::sin(t)});
  }
  return out;
}

std::vector<PointF> dedupe(std::span<const PointF> points, bool closed) {
  std::vector<PointF> out;
  for (const PointF& p : points)
    if (out.empty() || std::fabs(p.x - out.back().x) > 1e-9 || std::fabs(p.y - out.back().y) > 1e-9) out.push_back(p);
  if (closed && out.size() > 1 && std::fabs(out.front().x - out.back().x) <= 1e-9 &&
      std::fabs(out.front().y - out.back().y) <= 1e-9)
    out.pop_back();
  return out;
}

// Clips segment a-b to `box`: the parameters [t0, t1] inside it, false
// when it misses (Liang-Barsky).
bool clipSegment(PointF a, PointF b, const BoxF& box, double& t0, double& t1) {
  t0 = 0;
  t1 = 1;
  double dx = b.x - a.x, dy = b.y - a.y;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x - box.left, box.right - a.x, a.y - box.top, box.bottom - a.y};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    double r = q[i] / p[i];
    if (p[i] < 0) {
      t0 = std::max(t0, r);
    } else {
      t1 = std::min(t1, r);
    }
  }
  return t0 <= t1;
}

// How many dashes of a pattern `period` long lie on the parts of the
// polyline inside `reach` and, of those, outside `box`.
void countDashes(const std::vector<PointF>& pts, bool closed, double period, const BoxF& reach, const BoxF& box,
                 double& inside, double& outside) {
  inside = outside = 0;
  std::size_t segments = closed ? pts.size() : pts.size() - 1;
  for (std::size_t i = 0; i < segments; ++i) {
    PointF a = pts[i], b = pts[(i + 1) % pts.size()];
    double len = std::hypot(b.x - a.x, b.y - a.y), t0, t1, u0, u1;
    if (!clipSegment(a, b, reach, t0, t1)) continue;
    double near = clipSegment(a, b, box, u0, u1) ? u1 - u0 : 0;
    inside += near * len / period;
    outside += std::max(0.0, (t1 - t0) - near) * len / period;
  }
}

// Sutherland-Hodgman: the part of a polygon inside `box`. Inside the box the
// polygon covers exactly the points it covered before.
std::vector<PointF> clipPolygon(const std::vector<PointF>& poly, const BoxF& box) {
  std::vector<PointF> in = poly, out;
  auto pass = [&](auto inside, auto cross) {
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
      const PointF& p = in[i];
      const PointF& q = in[(i + 1) % in.size()];
      bool pin = inside(p), qin = inside(q);
      if (pin) out.push_back(p);
      if (pin != qin) out.push_back(cross(p, q));
    }
    in.swap(out);
  };
  auto atX = [](double x) {
    return [x](const PointF& p, const PointF& q) { return PointF{x, p.y + (q.y - p.y) * (x - p.x) / (q.x - p.x)}; };
  };
  auto atY = [](double y) {
    return [y](const PointF& p, const PointF& q) { return PointF{p.x + (q.x - p.x) * (y - p.y) / (q.y - p.y), y}; };
  };
  pass([&](const PointF& p) { return p.x >= box.left; }, atX(box.left));
  if (!in.empty()) pass([&](const PointF& p) { return p.x <= box.right; }, atX(box.right));
  if (!in.empty()) pass([&](const PointF& p) { return p.y >= box.top; }, atY(box.top));
  if (!in.empty()) pass([&](const PointF& p) { return p.y <= box.bottom; }, atY(box.bottom));
  return in;
}

// Splits a polyline into its dashes (pattern lengths alternate on and off).
// Only the parts inside `visible` are walked dash by dash; the pattern's
// phase skips over the rest, so long lines off the surface cost nothing.
std::vector<std::vector<PointF>> dashPieces(const std::vector<PointF>& pts, bool closed,
                                            const std::vector<double>& pattern, const BoxF& visible) {
  std::vector<std::vector<PointF>> pieces;
  double total = 0;
  for (double v : pattern) total += std::max(v, 0.0);
  if (total <= 0) return {pts};
  double phase = 0;  // position within the pattern
  auto where = [&](double position, std::size_t& index, double& left) {
    double p = std::fmod(position, total);
    index = 0;
    while (index + 1 < pattern.size() && p >= std::max(pattern[index], 0.0)) p -= std::max(pattern[index++], 0.0);
    left = std::max(pattern[index], 0.0) - p;
  };
  std::size_t segments = closed ? pts.size() : pts.size() - 1;
  std::vector<PointF> current;
  for (std::size_t i = 0; i < segments; ++i) {
    PointF a = pts[i], b = pts[(i + 1) % pts.size()];
    double len = std::hypot(b.x - a.x, b.y - a.y);
    double t0, t1;
    if (len == 0) continue;
    if (!clipSegment(a, b, visible, t0, t1)) {
      if (current.size() > 1) pieces.push_back(std::move(current));
      current.clear();
      phase = std::fmod(phase + len, total);
      continue;
    }
    auto at = [&](double d) { return PointF{a.x + (b.x - a.x) * d / len, a.y + (b.y - a.y) * d / len}; };
    double pos = t0 * len, end = t1 * len;
    if (t0 > 0 && current.size() > 1) pieces.push_back(std::move(current));
    if (t0 > 0) current.clear();
    phase = std::fmod(phase + pos, total);
    std::size_t index;
    double left;
    where(phase, index, left);
    bool on = index % 2 == 0;
    if (on && current.empty()) current.push_back(at(pos));
    while (end - pos > left) {
      pos += left;
      phase = std::fmod(phase + left, total);
      if (on) {
        current.push_back(at(pos));
        pieces.push_back(std::move(current));
      }
      current.clear();
      index = (index + 1) % pattern.size();
      left = std::max(pattern[index], 1e-6);
      on = index % 2 == 0;
      if (on) current.push_back(at(pos));
    }
    phase = std::fmod(phase + (end - pos), total);
    if (on) current.push_back(at(end));
    if (t1 < 1) {
      if (current.size() > 1) pieces.push_back(std::move(current));
      current.clear();
      phase = std::fmod(phase + (1 - t1) * len, total);
    }
  }
  if (current.size() > 1) pieces.push_back(std::move(current));
  return pieces;
}

}  // namespace

void ForEachLinePixel(int x0, int y0, int x1, int y1, const std::function<void(int, int)>& f, const RECT* clip) {
  ForEachLineStep(x0, y0, x1, y1, clip, [&](int x, int y, long long) { f(x, y); });
}


namespace {

// The outline pieces of a stroke; round ones are made for `box` when given.
Polygons outline(Dc& dc, std::span<const PointF> input, bool closed, double width, const BoxF* box) {
  Polygons out;
  const Pen* pen = dc.State().pen.get();
  std::vector<PointF> pts = dedupe(input, closed);
  double h = width / 2;
  if (pts.size() < 2 || h <= 0) return out;
  DWORD cap = pen ? pen->EndCap() : PS_ENDCAP_ROUND;
  DWORD join = pen ? pen->Join() : PS_JOIN_ROUND;
  double miterLimit = dc.State().miterLimit;
  std::size_t n = pts.size();
  std::size_t segments = closed ? n : n - 1;
  auto normalOf = [&](PointF a, PointF b) {
    double len = std::hypot(b.x - a.x, b.y - a.y);
    return PointF{-(b.y - a.y) / len * h, (b.x - a.x) / len * h};
  };
  for (std::size_t i = 0; i < segments; ++i) {
    PointF a = pts[i], b = pts[(i + 1) % n];
    PointF nv = normalOf(a, b);
    if (!closed && cap == PS_ENDCAP_SQUARE) {
      double len = std::hypot(b.x - a.x, b.y - a.y);
      PointF d{(b.x - a.x) / len * h, (b.y - a.y) / len * h};
      if (i == 0) a = {a.x - d.x, a.y - d.y};
      if (i + 1 == segments) b = {b.x + d.x, b.y + d.y};
    }
    addPositive(out, {{a.x + nv.x, a.y + nv.y}, {b.x + nv.x, b.y + nv.y}, {b.x - nv.x, b.y - nv.y},
                      {a.x - nv.x, a.y - nv.y}});
  }
  // Joins at every vertex between two segments.
  for (std::size_t k = closed ? 0 : 1; k < (closed ? n : n - 1); ++k) {
    PointF prev = pts[(k + n - 1) % n], v = pts[k], next = pts[(k + 1) % n];
    PointF n1 = normalOf(prev, v), n2 = normalOf(v, next);
    double cross = (v.x - prev.x) * (next.y - v.y) - (v.y - prev.y) * (next.x - v.x);
    if (join == PS_JOIN_ROUND) {
      addPositive(out, circle(v, h, box));
      continue;
    }
    if (std::fabs(cross) < 1e-12) continue;  // straight on, or a U-turn (covered by the quads' ends)
    double s = cross > 0 ? -1 : 1;           // the outer side of the turn
    PointF p1{v.x + s * n1.x, v.y + s * n1.y}, p2{v.x + s * n2.x, v.y + s * n2.y};
    PointF sum{n1.x + n2.x, n1.y + n2.y};
    double sum2 = sum.x * sum.x + sum.y * sum.y;
    if (join == PS_JOIN_MITER && sum2 > 1e-12) {
      double k2 = 2 * h * h / sum2;
      PointF m{v.x + s * sum.x * k2, v.y + s * sum.y * k2};
      double miterLength = std::hypot(m.x - v.x, m.y - v.y) * 2;
      if (miterLength <= miterLimit * width) {
        addPositive(out, {v, p1, m, p2});
        continue;
      }
    }
    addPositive(out, {v, p1, p2});
  }
  if (!closed && cap == PS_ENDCAP_ROUND) {
    addPositive(out, circle(pts.front(), h, box));
    addPositive(out, circle(pts.back(), h, box));
  }
  return out;
}

}  // namespace

Polygons StrokeOutline(Dc& dc, std::span<const PointF> input, bool closed, double width) {
  return outline(dc, input, closed, width, nullptr);
}

void StrokePolyline(Dc& dc, std::span<const PointF> points, bool closed, PenCoverage* coverage) {
  const Pen* pen = dc.State().pen.get();
  if (!pen || pen->Style() == PS_NULL || points.size() < 2) return;
  Dib* dib = dc.Surface();
  if (!dib && !coverage) return;
  const DcState& s = dc.State();
  COLORREF color = pen->dcPen ? s.dcPenColor : pen->color;
  double width = dc.PenWidthDevice();

  std::optional<SpanPainter> painter, gapPainter;
  if (!coverage) {
    if (pen->brush && pen->Geometric()) {
      painter.emplace(dc, *dib, *pen->brush);
    } else {
      painter.emplace(dc, *dib, color);
    }
    if (s.bkMode == OPAQUE) gapPainter.emplace(dc, *dib, s.bkColor);
  }
  auto emitOn = [&](int y, int x0, int x1) {
    if (coverage) {
      coverage->on.push_back({y, x0, x1});
    } else {
      painter->Fill(y, x0, x1);
    }
  };
  auto emitGap = [&](int y, int x0, int x1) {
    if (coverage) {
      coverage->gaps.push_back({y, x0, x1});
    } else if (gapPainter) {
      gapPainter->Fill(y, x0, x1);
    }
  };

  if (width < 1.5) {
    // One pixel: Bresenham segments with the style pattern running on.
    std::vector<DWORD> style =
        pen->Style() == PS_USERSTYLE ? pen->styleEntries : CosmeticPenStyle(pen->Style());
    DWORD period = 0;
    for (DWORD v : style) period += v;
    RunSink onRuns(emitOn);
    RunSink gapRuns(emitGap);
    unsigned long long position = 0;
    RECT lineClip = dc.DeviceBounds();
    std::size_t n = points.size();
    std::size_t segments = closed ? n : n - 1;
    for (std::size_t i = 0; i < segments; ++i) {
      PointF a = points[i], b = points[(i + 1) % n];
      int ax = RoundToDevice(a.x), ay = RoundToDevice(a.y), bx = RoundToDevice(b.x), by = RoundToDevice(b.y);
      ForEachLineStep(ax, ay, bx, by, &lineClip, [&](int x, int y, long long step) {
        bool on = true;
        if (period > 0) {
          unsigned long long p = (position + static_cast<unsigned long long>(step)) % period, acc = 0;
          for (std::size_t k = 0; k < style.size(); ++k) {
            acc += style[k];
            if (p < acc) {
              on = (k % 2) == 0;
              break;
            }
          }
        }
        if (on) {
          onRuns.Pixel(x, y);
        } else if (s.bkMode == OPAQUE) {
          gapRuns.Pixel(x, y);
        }
      });
      long long adx = std::llabs(static_cast<long long>(bx) - ax), ady = std::llabs(static_cast<long long>(by) - ay);
      position += static_cast<unsigned long long>(std::max(adx, ady));
    }
    return;
  }

  std::vector<PointF> pts = dedupe(points, closed);
  if (pts.size() < 2) return;
  // The pixels wanted: the surface (a row more for collected coverage) and,
  // when painting, the clip's box. All work is bounded by them, however wide
  // the pen: the outline is cut to them, and a pen that covers them all
  // fills them like a rectangle.
  RECT bounds = dc.DeviceBounds();
  RECT want{bounds.left - 1, coverage ? bounds.top - 1 : bounds.top, bounds.right + 1, bounds.bottom + 1};
  if (!coverage) {
    RECT clip = dc.EffectiveClip().Bounds();
    if (clip.left >= clip.right || clip.top >= clip.bottom) return;
    want = {std::max(want.left, clip.left), std::max(want.top, clip.top), std::min(want.right, clip.right),
            std::min(want.bottom, clip.bottom)};
    if (want.left >= want.right || want.top >= want.bottom) return;
  }
  const BoxF box = grown(want, 1);  // pixel centres of `want` lie inside, off its edges

  std::vector<double> dashes = GeometricPenStyle(*pen, width, dc.LogicalToDevice());
  double period = 0;
  for (double v : dashes) period += std::max(v, 0.0);
  Polygons pieces;
  if (!dashes.empty() && period > 0) {
    // Dashes are walked where their outline can reach the wanted pixels:
    // caps and joins reach half the width (square corners and mitres more).
    double h = width / 2;
    double reachFactor = pen->Join() == PS_JOIN_MITER ? std::max<double>(dc.State().miterLimit, 1.5) : 1.5;
    double r = h * reachFactor + 2;
    const BoxF reach{box.left - r, box.top - r, box.right + r, box.bottom + r};
    // A pattern that would need more dashes beside the surface than it can
    // show on it is far finer than the pen, whose width and caps close its
    // gaps: it is drawn solid (only absurd pens get here; an ordinary one has
    // a few dashes beside the surface per segment).
    constexpr double kMaxDashes = 1 << 16;
    double inside = 0, outside = 0;
    countDashes(pts, closed, period, reach, box, inside, outside);
    if (outside > kMaxDashes || inside + outside > 16 * kMaxDashes) dashes.clear();
    for (const auto& piece : dashes.empty() ? std::vector<std::vector<PointF>>{pts}
                                            : dashPieces(pts, closed, dashes, reach)) {
      Polygons part = outline(dc, piece, dashes.empty() && closed, width, &box);
      pieces.insert(pieces.end(), std::make_move_iterator(part.begin()), std::make_move_iterator(part.end()));
    }
  } else {
    pieces = outline(dc, pts, closed, width, &box);
  }

  const double fullArea = (box.right - box.left) * (box.bottom - box.top);
  Polygons visible;
  for (const auto& poly : pieces) {
    std::vector<PointF> cut = clipPolygon(poly, box);
    if (cut.size() < 3) continue;
    if (std::fabs(signedArea(cut) - fullArea) < 1e-3) {
      // Covers every wanted pixel (the pieces are convex): nothing else counts.
      for (int y = want.top; y < want.bottom; ++y) emitOn(y, want.left, want.right);
      return;
    }
    visible.push_back(std::move(cut));
  }
  ScanPolygons(visible, WINDING, want.top, want.bottom, emitOn);
}

}  // namespace tw::gdi
