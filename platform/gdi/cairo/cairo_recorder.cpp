// The vector backend: colours, clipping, pens, brushes, shapes, paths and
// regions drawn into cairo.
#include "cairo_recorder.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "../draw.h"
#include "../gdiobj.h"
#include "../raster/brush.h"
#include "../raster/shapes.h"
#include "winerror.h"

namespace tw::gdi {
namespace {

constexpr double kPi = std::numbers::pi;

double channel(DWORD rgb, int shift) { return ((rgb >> shift) & 0xFF) / 255.0; }

}  // namespace

// cairo keeps paths in 24.8 fixed point: coordinates far off the page (as
// damaged metafiles have) are held where they cannot wrap around.
double CairoCoordinate(double v) {
  if (!(v > -4e6)) return -4e6;
  return v > 4e6 ? 4e6 : v;
}

namespace {

// A pattern cairo can draw: every entry finite and at least one positive.
bool usableDashes(const std::vector<double>& dashes) {
  double sum = 0;
  for (double d : dashes) {
    if (!std::isfinite(d) || d < 0) return false;
    sum += d;
  }
  return sum > 0 && dashes.size() <= 64;
}

cairo_surface_t* brushSurface(Dc& dc, const Brush& brush) {
  Dib format;
  format.SetFormat(32);
  RealizedBrush realized = RealizeBrush(dc, format, brush, true);
  if (realized.null || realized.solid || realized.width <= 0 || realized.height <= 0) return nullptr;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, realized.width, realized.height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  BYTE* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < realized.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + std::ptrdiff_t(y) * stride);
    for (int x = 0; x < realized.width; ++x) {
      std::size_t i = std::size_t(y) * realized.width + x;
      row[x] = realized.drawn[i] ? (0xFF000000u | (realized.values[i] & 0xFFFFFF)) : 0;
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

}  // namespace

CairoRecorder::CairoRecorder(cairo_t* cr, CairoDcOptions options) : cr_(cr), options_(std::move(options)) {
  cairo_get_matrix(cr_, &base_);
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
  // Glyph positions come from the layout: no hinting, no rounded metrics.
  cairo_font_options_t* fo = cairo_font_options_create();
  cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr_, fo);
  cairo_font_options_destroy(fo);
}

bool CairoRecorder::TakeFallback(RECT& box) {
  if (!fallback_) return false;
  box = *fallback_;
  fallback_.reset();
  return true;
}

bool CairoRecorder::SelectObject(Dc&, HGDIOBJ, const GdiObject& object) {
  // A bitmap cannot be selected into a DC without pixels.
  if (object.Type() == OBJ_BITMAP) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

// --- colours and sources ---

DWORD CairoRecorder::DeviceRgb(Dc& dc, COLORREF color) const {
  DWORD rgb = ResolveColor(dc, color);
  if (options_.color == CairoDcOptions::Color::Rgb) return rgb;
  DWORD grey = (((rgb >> 16) & 0xFF) * 299 + ((rgb >> 8) & 0xFF) * 587 + (rgb & 0xFF) * 114 + 500) / 1000;
  return grey * 0x010101u;
}

void CairoRecorder::SetSourceRgb(DWORD rgb) { cairo_set_source_rgb(cr_, channel(rgb, 16), channel(rgb, 8), channel(rgb, 0)); }

// How a ROP2 combines a colour with the page in PDF terms. Exact only for
// colours whose channels are all 0 or 255 where the operation is bitwise
// (AND, OR, XOR of such a channel is multiply, lighten, difference); null
// (std::nullopt) where PDF cannot say it.
std::optional<CairoRecorder::Rop2Mapping> CairoRecorder::MapRop2(int rop2, std::optional<DWORD> solid) {
  auto binary = [](DWORD c) {
    for (int shift : {0, 8, 16}) {
      DWORD v = (c >> shift) & 0xFF;
      if (v != 0 && v != 0xFF) return false;
    }
    return true;
  };
  Rop2Mapping m;
  switch (rop2) {
    case R2_COPYPEN: return m;
    case R2_BLACK: m.color = 0; return m;
    case R2_WHITE: m.color = 0xFFFFFF; return m;
    case R2_NOT: m.color = 0xFFFFFF, m.op = CAIRO_OPERATOR_DIFFERENCE; return m;
    default: break;
  }
  if (!solid) return std::nullopt;
  DWORD c = *solid & 0xFFFFFF, inverse = ~*solid & 0xFFFFFF;
  switch (rop2) {
    case R2_NOTCOPYPEN: m.color = inverse; return m;
    case R2_MASKPEN: m.op = CAIRO_OPERATOR_MULTIPLY; break;
    case R2_MERGEPEN: m.op = CAIRO_OPERATOR_LIGHTEN; break;
    case R2_XORPEN: m.op = CAIRO_OPERATOR_DIFFERENCE; break;
    case R2_MASKNOTPEN: m.color = inverse, m.op = CAIRO_OPERATOR_MULTIPLY; break;
    case R2_MERGENOTPEN: m.color = inverse, m.op = CAIRO_OPERATOR_LIGHTEN; break;
    case R2_NOTXORPEN: m.color = inverse, m.op = CAIRO_OPERATOR_DIFFERENCE; break;
    default: return std::nullopt;
  }
  if (!binary(c)) return std::nullopt;
  return m;
}

void CairoRecorder::ApplyRop2(const Rop2Mapping& m) {
  if (m.color) SetSourceRgb(*m.color);
  cairo_set_operator(cr_, m.op);
}

bool CairoRecorder::SetBrushSource(Dc& dc, const Brush& brush) {
  const DcState& s = dc.State();
  if (brush.style == BS_NULL) return false;
  if (brush.style == BS_SOLID) {
    SetSourceRgb(DeviceRgb(dc, brush.dcBrush ? s.dcBrushColor : brush.color));
    return true;
  }
  cairo_surface_t* surface = brushSurface(dc, brush);
  if (!surface) return false;
  if (options_.color != CairoDcOptions::Color::Rgb) {
    cairo_surface_flush(surface);
    BYTE* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < cairo_image_surface_get_height(surface); ++y) {
      auto* row = reinterpret_cast<uint32_t*>(data + std::ptrdiff_t(y) * stride);
      for (int x = 0; x < cairo_image_surface_get_width(surface); ++x)
        if (row[x]) row[x] = 0xFF000000u | DeviceRgb(dc, ColorrefFromRgb(row[x] & 0xFFFFFF));
    }
    cairo_surface_mark_dirty(surface);
  }
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
  cairo_surface_destroy(surface);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
  // The pattern repeats from the brush origin (device pixels).
  cairo_matrix_t m;
  cairo_matrix_init_translate(&m, -s.brushOrg.x, -s.brushOrg.y);
  cairo_pattern_set_matrix(pattern, &m);
  cairo_set_source(cr_, pattern);
  cairo_pattern_destroy(pattern);
  return true;
}

void CairoRecorder::SetDashes(Dc& dc, const Pen& pen, double width) {
  std::vector<double> dashes;
  if (width >= 1.5) {
    dashes = GeometricPenStyle(pen, width, dc.LogicalToDevice());
  } else if (pen.Style() == PS_USERSTYLE) {
    dashes.assign(pen.styleEntries.begin(), pen.styleEntries.end());
  } else {
    const std::vector<DWORD>& style = CosmeticPenStyle(pen.Style());
    dashes.assign(style.begin(), style.end());
  }
  if (usableDashes(dashes)) {
    cairo_set_dash(cr_, dashes.data(), int(dashes.size()), 0);
  } else {
    cairo_set_dash(cr_, nullptr, 0, 0);
  }
}

bool CairoRecorder::SetPenSource(Dc& dc, double& offset) {
  const DcState& s = dc.State();
  const Pen* pen = s.pen.get();
  if (!pen || pen->Style() == PS_NULL) return false;
  if (pen->brush && pen->Geometric() && pen->brush->style != BS_SOLID) {
    if (!SetBrushSource(dc, *pen->brush)) return false;
  } else {
    COLORREF color = pen->dcPen ? s.dcPenColor : pen->color;
    if (pen->brush && pen->Geometric()) color = pen->brush->color;
    SetSourceRgb(DeviceRgb(dc, color));
  }
  // The raster engine's width (whole pixels) decides the dashes and caps;
  // the line itself gets the exact width. A cosmetic pen is one pixel of
  // the printer: a device pixel, at most 1/300 inch (a metafile recorded at
  // screen resolution would otherwise print lines of 1/96 inch; viewers draw
  // lines thinner than their pixels one pixel wide).
  double width = dc.PenWidthDevice();
  const Matrix& m = dc.LogicalToDevice();
  bool cosmetic = (pen->extended && !pen->Geometric()) || pen->width == 0;
  double hairline = std::min(1.0, std::max(options_.dpiX, options_.dpiY) / 300.0);
  double exact = pen->width * std::hypot(m.m11, m.m12);
  cairo_set_line_width(cr_, cosmetic || !std::isfinite(exact) ? hairline : std::clamp(exact, hairline, 4e6));
  if (width < 1.5) {
    // One-pixel lines leave out their last pixel: no cap.
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_MITER);
  } else {
    DWORD cap = pen->EndCap(), join = pen->Join();
    cairo_set_line_cap(cr_, cap == PS_ENDCAP_SQUARE ? CAIRO_LINE_CAP_SQUARE
                            : cap == PS_ENDCAP_FLAT ? CAIRO_LINE_CAP_BUTT
                                                    : CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr_, join == PS_JOIN_BEVEL ? CAIRO_LINE_JOIN_BEVEL
                             : join == PS_JOIN_MITER ? CAIRO_LINE_JOIN_MITER
                                                     : CAIRO_LINE_JOIN_ROUND);
  }
  cairo_set_miter_limit(cr_, std::max<double>(1.0, s.miterLimit));
  SetDashes(dc, *pen, width);
  offset = std::fmod(std::round(width), 2.0) == 1.0 ? 0.5 : 0.0;
  return true;
}

// --- clip ---

bool CairoRecorder::ApplyClip(Dc& dc, const RegionData* extra) {
  // Every drawing passes here first.
  if (options_.onBeforeDraw) options_.onBeforeDraw();
  RegionData want = extra ? RegionData::Combine(dc.EffectiveClip(), *extra, RGN_AND) : dc.EffectiveClip();
  if (want.Empty()) return false;
  if (clipApplied_ && want == appliedClip_) return true;
  cairo_reset_clip(cr_);
  RECT page{0, 0, options_.width, options_.height};
  const RECT& first = want.Rects()[0];
  bool whole = want.Rects().size() == 1 && first.left == page.left && first.top == page.top &&
               first.right == page.right && first.bottom == page.bottom;
  if (!whole) {
    cairo_new_path(cr_);
    for (const RECT& r : want.Rects()) cairo_rectangle(cr_, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_clip(cr_);
  }
  appliedClip_ = std::move(want);
  clipApplied_ = true;
  return true;
}

// --- fallback ---

void CairoRecorder::Fallback(Dc& dc, RECT box) {
  RECT clip = dc.EffectiveClip().Bounds();
  RECT r{std::max({box.left, clip.left, LONG(0)}), std::max({box.top, clip.top, LONG(0)}),
         std::min({box.right, clip.right, LONG(options_.width)}), std::min({box.bottom, clip.bottom, LONG(options_.height)})};
  if (r.left >= r.right || r.top >= r.bottom) return;
  if (fallback_) {
    r = {std::min(r.left, fallback_->left), std::min(r.top, fallback_->top), std::max(r.right, fallback_->right),
         std::max(r.bottom, fallback_->bottom)};
  }
  fallback_ = r;
}

void CairoRecorder::FallbackQuad(Dc& dc, const double (&px)[4], const double (&py)[4]) {
  double x0 = *std::min_element(px, px + 4), x1 = *std::max_element(px, px + 4);
  double y0 = *std::min_element(py, py + 4), y1 = *std::max_element(py, py + 4);
  auto clampL = [](double v) { return LONG(std::clamp(v, -1e9, 1e9)); };
  Fallback(dc, RECT{clampL(std::floor(x0)), clampL(std::floor(y0)), clampL(std::ceil(x1)), clampL(std::ceil(y1))});
}

// --- geometry ---

std::vector<PointF> CairoRecorder::DevicePoints(Dc& dc, std::span<const POINT> points) const {
  std::vector<PointF> out(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    dc.ToDevice(points[i].x, points[i].y, out[i].x, out[i].y);
    out[i] = {CairoCoordinate(out[i].x), CairoCoordinate(out[i].y)};
  }
  return out;
}

void CairoRecorder::AddPolyline(std::span<const PointF> points, bool closed, double offset) {
  if (points.empty()) return;
  auto c = [&](double v) { return CairoCoordinate(v) + offset; };
  cairo_move_to(cr_, c(points[0].x), c(points[0].y));
  for (std::size_t i = 1; i < points.size(); ++i) cairo_line_to(cr_, c(points[i].x), c(points[i].y));
  if (closed) cairo_close_path(cr_);
}

template <class Figure>
bool CairoRecorder::FillAndStroke(Dc& dc, bool fill, bool stroke, int fillMode, Figure&& figure) {
  const DcState& s = dc.State();
  if (s.rop2 == R2_NOP) return true;
  const Brush* brush = fill && s.brush && s.brush->style != BS_NULL ? s.brush.get() : nullptr;
  const Pen* pen = stroke && s.pen && s.pen->Style() != PS_NULL ? s.pen.get() : nullptr;
  if (!brush && !pen) return true;
  std::optional<Rop2Mapping> brushRop, penRop;
  if (brush) {
    std::optional<DWORD> solid;
    if (brush->style == BS_SOLID) solid = DeviceRgb(dc, brush->dcBrush ? s.dcBrushColor : brush->color);
    brushRop = MapRop2(s.rop2, solid);
  }
  if (pen) {
    std::optional<DWORD> solid;
    if (!(pen->brush && pen->Geometric() && pen->brush->style != BS_SOLID))
      solid = DeviceRgb(dc, pen->brush && pen->Geometric() ? pen->brush->color : pen->dcPen ? s.dcPenColor : pen->color);
    penRop = MapRop2(s.rop2, solid);
  }
  if ((brush && !brushRop) || (pen && !penRop)) {
    cairo_new_path(cr_);
    figure(0.0, false);
    double x0, y0, x1, y1;
    cairo_path_extents(cr_, &x0, &y0, &x1, &y1);
    cairo_new_path(cr_);
    double grow = pen ? dc.PenWidthDevice() * std::max<double>(2.0, s.miterLimit) : 0;
    double px[4] = {x0 - grow, x1 + grow + 1, x1 + grow + 1, x0 - grow};
    double py[4] = {y0 - grow, y0 - grow, y1 + grow + 1, y1 + grow + 1};
    FallbackQuad(dc, px, py);
    return true;
  }
  if (!ApplyClip(dc)) return true;
  double offset = 0;
  if (brush && SetBrushSource(dc, *brush)) {
    ApplyRop2(*brushRop);
    cairo_new_path(cr_);
    figure(0.0, false);
    cairo_set_fill_rule(cr_, fillMode == WINDING ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill(cr_);
  }
  if (pen && SetPenSource(dc, offset)) {
    ApplyRop2(*penRop);
    bool dashed = pen->Style() != PS_SOLID && pen->Style() != PS_INSIDEFRAME;
    cairo_new_path(cr_);
    figure(offset, true);
    if (dashed && s.bkMode == OPAQUE && s.rop2 == R2_COPYPEN) {
      // OPAQUE mode: the gaps take the background colour.
      double dashOffset = 0;
      int count = cairo_get_dash_count(cr_);
      std::vector<double> dashes(std::size_t(std::max(count, 0)));
      if (count > 0) cairo_get_dash(cr_, dashes.data(), &dashOffset);
      cairo_pattern_t* ink = cairo_pattern_reference(cairo_get_source(cr_));
      cairo_set_dash(cr_, nullptr, 0, 0);
      SetSourceRgb(DeviceRgb(dc, s.bkColor));
      cairo_stroke_preserve(cr_);
      cairo_set_source(cr_, ink);
      cairo_pattern_destroy(ink);
      if (count > 0) cairo_set_dash(cr_, dashes.data(), count, dashOffset);
    }
    cairo_stroke(cr_);
  }
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  return true;
}

bool CairoRecorder::StrokeFigure(Dc& dc, const std::function<void(double offset)>& figure) {
  return FillAndStroke(dc, false, true, ALTERNATE, [&](double offset, bool) { figure(offset); });
}

bool CairoRecorder::LineTo(Dc& dc, int x, int y) {
  if (dc.State().path.Building()) return true;
  POINT pts[2] = {dc.State().currentPos, {x, y}};
  auto dev = DevicePoints(dc, pts);
  return StrokeFigure(dc, [&](double off) { AddPolyline(dev, false, off); });
}

bool CairoRecorder::Polyline(Dc& dc, std::span<const POINT> points) {
  if (dc.State().path.Building()) return true;
  auto dev = DevicePoints(dc, points);
  return StrokeFigure(dc, [&](double off) { AddPolyline(dev, false, off); });
}

bool CairoRecorder::PolylineTo(Dc& dc, std::span<const POINT> points) {
  if (dc.State().path.Building() || points.empty()) return true;
  std::vector<POINT> all{dc.State().currentPos};
  all.insert(all.end(), points.begin(), points.end());
  auto dev = DevicePoints(dc, all);
  return StrokeFigure(dc, [&](double off) { AddPolyline(dev, false, off); });
}

bool CairoRecorder::PolyPolyline(Dc& dc, std::span<const POINT> points, std::span<const DWORD> counts) {
  if (dc.State().path.Building()) return true;
  auto dev = DevicePoints(dc, points);
  return StrokeFigure(dc, [&](double off) {
    std::size_t at = 0;
    for (DWORD n : counts) {
      AddPolyline(std::span(dev).subspan(at, n), false, off);
      at += n;
    }
  });
}

bool CairoRecorder::Polygon(Dc& dc, std::span<const POINT> points) {
  if (dc.State().path.Building()) return true;
  auto dev = DevicePoints(dc, points);
  return FillAndStroke(dc, true, true, dc.State().polyFillMode,
                       [&](double off, bool) { AddPolyline(dev, true, off); });
}

bool CairoRecorder::PolyPolygon(Dc& dc, std::span<const POINT> points, std::span<const INT> counts) {
  if (dc.State().path.Building()) return true;
  auto dev = DevicePoints(dc, points);
  return FillAndStroke(dc, true, true, dc.State().polyFillMode, [&](double off, bool) {
    std::size_t at = 0;
    for (INT n : counts) {
      AddPolyline(std::span(dev).subspan(at, std::size_t(n)), true, off);
      at += std::size_t(n);
    }
  });
}

bool CairoRecorder::PolyBezier(Dc& dc, std::span<const POINT> points) {
  if (dc.State().path.Building()) return true;
  auto dev = DevicePoints(dc, points);
  return StrokeFigure(dc, [&](double off) {
    cairo_move_to(cr_, dev[0].x + off, dev[0].y + off);
    for (std::size_t i = 1; i + 2 < dev.size(); i += 3)
      cairo_curve_to(cr_, dev[i].x + off, dev[i].y + off, dev[i + 1].x + off, dev[i + 1].y + off, dev[i + 2].x + off,
                     dev[i + 2].y + off);
  });
}

bool CairoRecorder::PolyBezierTo(Dc& dc, std::span<const POINT> points) {
  if (dc.State().path.Building()) return true;
  std::vector<POINT> all{dc.State().currentPos};
  all.insert(all.end(), points.begin(), points.end());
  return PolyBezier(dc, all);
}

bool CairoRecorder::PolyDraw(Dc& dc, std::span<const POINT> points, std::span<const BYTE> types) {
  if (dc.State().path.Building()) return true;
  auto dev = DevicePoints(dc, points);
  PointF start;
  dc.ToDevice(dc.State().currentPos.x, dc.State().currentPos.y, start.x, start.y);
  return StrokeFigure(dc, [&](double off) {
    cairo_move_to(cr_, start.x + off, start.y + off);
    for (std::size_t i = 0; i < dev.size();) {
      BYTE kind = types[i] & ~PT_CLOSEFIGURE;
      bool close;
      if (kind == PT_MOVETO) {
        cairo_move_to(cr_, dev[i].x + off, dev[i].y + off);
        close = types[i] & PT_CLOSEFIGURE;
        ++i;
      } else if (kind == PT_LINETO) {
        cairo_line_to(cr_, dev[i].x + off, dev[i].y + off);
        close = types[i] & PT_CLOSEFIGURE;
        ++i;
      } else {
        cairo_curve_to(cr_, dev[i].x + off, dev[i].y + off, dev[i + 1].x + off, dev[i + 1].y + off, dev[i + 2].x + off,
                       dev[i + 2].y + off);
        close = types[i + 2] & PT_CLOSEFIGURE;
        i += 3;
      }
      if (close) cairo_close_path(cr_);
    }
  });
}

// --- boxes: rectangles, ellipses, rounded rectangles ---

namespace {
enum BoxKind { kRectangle, kEllipse, kRoundRect };

void roundedRect(cairo_t* cr, double l, double t, double r, double b, double rx, double ry) {
  rx = std::clamp(rx, 0.0, (r - l) / 2);
  ry = std::clamp(ry, 0.0, (b - t) / 2);
  if (rx <= 0 || ry <= 0) {
    cairo_rectangle(cr, l, t, r - l, b - t);
    return;
  }
  auto corner = [&](double cx, double cy, double from) {
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, from, from + kPi / 2);
    cairo_restore(cr);
  };
  cairo_new_sub_path(cr);
  corner(r - rx, t + ry, -kPi / 2);
  corner(r - rx, b - ry, 0);
  corner(l + rx, b - ry, kPi / 2);
  corner(l + rx, t + ry, kPi);
  cairo_close_path(cr);
}

void ellipse(cairo_t* cr, double cx, double cy, double rx, double ry) {
  if (rx <= 0 || ry <= 0) {
    cairo_rectangle(cr, cx - rx, cy - ry, 2 * rx, 2 * ry);
    return;
  }
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
  cairo_close_path(cr);
  cairo_restore(cr);
}
}  // namespace

bool CairoRecorder::DrawBox(Dc& dc, const RECT& logical, int kind, int cornerWidth, int cornerHeight) {
  if (dc.State().path.Building()) return true;
  RECT box;
  const Matrix& m = dc.LogicalToDevice();
  const Pen* pen = dc.State().pen.get();
  bool noPen = !pen || pen->Style() == PS_NULL;
  if (!DeviceBox(dc, logical, box)) {
    // Turned by the transform: the shape in logical space, through the transform.
    cairo_matrix_t toDevice{m.m11, m.m12, m.m21, m.m22, m.dx, m.dy};
    return FillAndStroke(dc, true, true, ALTERNATE, [&](double off, bool) {
      cairo_save(cr_);
      cairo_translate(cr_, off, off);
      cairo_transform(cr_, &toDevice);
      double l = std::min(logical.left, logical.right), r = std::max(logical.left, logical.right);
      double t = std::min(logical.top, logical.bottom), b = std::max(logical.top, logical.bottom);
      if (kind == kRectangle) cairo_rectangle(cr_, l, t, r - l, b - t);
      else if (kind == kEllipse) ellipse(cr_, (l + r) / 2, (t + b) / 2, (r - l) / 2, (b - t) / 2);
      else roundedRect(cr_, l, t, r, b, std::fabs(double(cornerWidth)) / 2, std::fabs(double(cornerHeight)) / 2);
      cairo_restore(cr_);
    });
  }
  if (box.right - box.left < 1 || box.bottom - box.top < 1) return true;
  double scaleX = std::hypot(m.m11, m.m12), scaleY = std::hypot(m.m21, m.m22);
  if (m.IsQuarterTurn()) std::swap(scaleX, scaleY);
  double rx = std::fabs(double(cornerWidth)) * scaleX / 2, ry = std::fabs(double(cornerHeight)) * scaleY / 2;
  double width = noPen ? 0 : dc.PenWidthDevice();
  bool insideFrame = !noPen && pen->Style() == PS_INSIDEFRAME && width >= 1.5;
  return FillAndStroke(dc, true, true, ALTERNATE, [&](double off, bool stroke) {
    double l, t, r, b, crx = rx, cry = ry;
    if (!stroke) {
      // The inside: the box, one pixel less on the right and bottom without
      // a pen (and for rectangles, whose frame takes the last pixels).
      bool less = noPen || kind == kRectangle;
      l = box.left, t = box.top, r = box.right - (less ? 1 : 0), b = box.bottom - (less ? 1 : 0);
    } else if (insideFrame) {
      // The pen's outer edge on the box's edges.
      double h = width / 2;
      l = box.left + h, t = box.top + h, r = std::max(l, box.right - h), b = std::max(t, box.bottom - h);
      crx = std::max(0.0, rx - h), cry = std::max(0.0, ry - h);
    } else {
      // Through the pixels of the box's edges.
      l = box.left + off, t = box.top + off, r = box.right - 1 + off, b = box.bottom - 1 + off;
    }
    l = CairoCoordinate(l), t = CairoCoordinate(t), r = CairoCoordinate(r), b = CairoCoordinate(b);
    if (kind == kRectangle) cairo_rectangle(cr_, l, t, r - l, b - t);
    else if (kind == kEllipse) ellipse(cr_, (l + r) / 2, (t + b) / 2, (r - l) / 2, (b - t) / 2);
    else roundedRect(cr_, l, t, r, b, crx, cry);
  });
}

bool CairoRecorder::Rectangle(Dc& dc, const RECT& box) { return DrawBox(dc, box, kRectangle, 0, 0); }
bool CairoRecorder::Ellipse(Dc& dc, const RECT& box) { return DrawBox(dc, box, kEllipse, 0, 0); }
bool CairoRecorder::RoundRect(Dc& dc, const RECT& box, int cw, int ch) { return DrawBox(dc, box, kRoundRect, cw, ch); }

// --- arcs ---

namespace {
enum ArcKind { kArc, kArcTo, kChord, kPie };
}  // namespace

bool CairoRecorder::DrawArc(Dc& dc, const RECT& logicalBox, POINT start, POINT end, int kind) {
  if (dc.State().path.Building()) return true;
  if (logicalBox.left == logicalBox.right || logicalBox.top == logicalBox.bottom) return true;
  const DcState& s = dc.State();
  ArcShape arc = ArcShapeOf(dc, logicalBox, start, end);
  std::vector<PointF>& points = arc.points;
  PointF center = arc.center;
  if (kind == kArcTo) {
    PointF cp;
    dc.ToDevice(s.currentPos.x, s.currentPos.y, cp.x, cp.y);
    points.insert(points.begin(), cp);
  }
  if (kind == kPie) points.insert(points.begin(), center);
  if (kind == kArc || kind == kArcTo) return StrokeFigure(dc, [&](double off) { AddPolyline(points, false, off); });
  return FillAndStroke(dc, true, true, ALTERNATE, [&](double off, bool) { AddPolyline(points, true, off); });
}

bool CairoRecorder::Arc(Dc& dc, const RECT& box, POINT a, POINT b) { return DrawArc(dc, box, a, b, kArc); }
bool CairoRecorder::ArcTo(Dc& dc, const RECT& box, POINT a, POINT b) { return DrawArc(dc, box, a, b, kArcTo); }
bool CairoRecorder::Chord(Dc& dc, const RECT& box, POINT a, POINT b) { return DrawArc(dc, box, a, b, kChord); }
bool CairoRecorder::Pie(Dc& dc, const RECT& box, POINT a, POINT b) { return DrawArc(dc, box, a, b, kPie); }

bool CairoRecorder::AngleArc(Dc& dc, int x, int y, DWORD radius, FLOAT startAngle, FLOAT sweepAngle) {
  if (dc.State().path.Building()) return true;
  // Angles in degrees, counterclockwise as seen with y growing downwards.
  double a0 = startAngle * kPi / 180, sweep = std::clamp<double>(sweepAngle, -3600, 3600) * kPi / 180;
  int steps = int(std::clamp(std::fabs(sweep) * std::max(4.0, std::sqrt(double(radius)) * 2), 1.0, 4096.0));
  std::vector<PointF> pts(1);
  dc.ToDevice(dc.State().currentPos.x, dc.State().currentPos.y, pts[0].x, pts[0].y);
  for (int i = 0; i <= steps; ++i) {
    double t = a0 + sweep * i / steps;
    PointF p;
    dc.ToDevice(x + radius * std::cos(t), y - radius * std::sin(t), p.x, p.y);
    pts.push_back(p);
  }
  return StrokeFigure(dc, [&](double off) { AddPolyline(pts, false, off); });
}

// --- paths ---

bool CairoRecorder::DrawPathFigures(Dc& dc, bool fill, bool stroke) {
  const auto& points = dc.State().path.points;
  auto figure = [&](double off) {
    auto c = [&](double v) { return CairoCoordinate(v) + off; };
    for (std::size_t i = 0; i < points.size();) {
      const PathPoint& p = points[i];
      BYTE kind = p.type & ~PT_CLOSEFIGURE;
      bool close;
      if (kind == PT_BEZIERTO && i + 2 < points.size()) {
        cairo_curve_to(cr_, c(p.x), c(p.y), c(points[i + 1].x), c(points[i + 1].y), c(points[i + 2].x),
                       c(points[i + 2].y));
        close = points[i + 2].type & PT_CLOSEFIGURE;
        i += 3;
      } else {
        if (kind == PT_MOVETO || !cairo_has_current_point(cr_)) cairo_move_to(cr_, c(p.x), c(p.y));
        else cairo_line_to(cr_, c(p.x), c(p.y));
        close = p.type & PT_CLOSEFIGURE;
        ++i;
      }
      if (close) cairo_close_path(cr_);
    }
  };
  if (!fill) return StrokeFigure(dc, figure);
  if (!FillAndStroke(dc, true, false, dc.State().polyFillMode, [&](double off, bool) { figure(off); })) return false;
  return !stroke || StrokeFigure(dc, figure);
}

bool CairoRecorder::FillPath(Dc& dc) { return DrawPathFigures(dc, true, false); }
bool CairoRecorder::StrokePath(Dc& dc) { return DrawPathFigures(dc, false, true); }
bool CairoRecorder::StrokeAndFillPath(Dc& dc) { return DrawPathFigures(dc, true, true); }

// --- pixels, flood fills, gradients ---

void CairoRecorder::FillDeviceRects(const std::vector<RECT>& rects) {
  cairo_new_path(cr_);
  for (const RECT& r : rects) cairo_rectangle(cr_, r.left, r.top, r.right - r.left, r.bottom - r.top);
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
  cairo_fill(cr_);
}

bool CairoRecorder::SetPixelV(Dc& dc, int x, int y, COLORREF color) {
  POINT p = dc.ToDevice({x, y});
  if (!ApplyClip(dc)) return true;
  SetSourceRgb(DeviceRgb(dc, color));
  FillDeviceRects({RECT{p.x, p.y, p.x + 1, p.y + 1}});
  return true;
}

bool CairoRecorder::ExtFloodFill(Dc& dc, int, int, COLORREF, UINT) {
  // The fill depends on the pixels already there: the raster engine does it.
  Fallback(dc, dc.EffectiveClip().Bounds());
  return true;
}

bool CairoRecorder::GradientFill(Dc& dc, std::span<const TRIVERTEX> vertices, const void* mesh, ULONG meshCount,
                                 ULONG mode) {
  if (!ApplyClip(dc)) return true;
  auto color = [&](const TRIVERTEX& v, double& r, double& g, double& b) {
    DWORD rgb = DeviceRgb(dc, RGB(v.Red >> 8, v.Green >> 8, v.Blue >> 8));
    r = channel(rgb, 16), g = channel(rgb, 8), b = channel(rgb, 0);
  };
  auto device = [&](const TRIVERTEX& v) {
    PointF p;
    dc.ToDevice(v.x, v.y, p.x, p.y);
    return p;
  };
  if (mode == GRADIENT_FILL_RECT_H || mode == GRADIENT_FILL_RECT_V) {
    const auto* rects = static_cast<const GRADIENT_RECT*>(mesh);
    for (ULONG i = 0; i < meshCount; ++i) {
      if (rects[i].UpperLeft >= vertices.size() || rects[i].LowerRight >= vertices.size()) continue;
      const TRIVERTEX& a = vertices[rects[i].UpperLeft];
      const TRIVERTEX& z = vertices[rects[i].LowerRight];
      PointF pa = device(a), pz = device(z);
      bool h = mode == GRADIENT_FILL_RECT_H;
      cairo_pattern_t* p = h ? cairo_pattern_create_linear(pa.x, 0, pz.x, 0) : cairo_pattern_create_linear(0, pa.y, 0, pz.y);
      double r, g, b;
      color(a, r, g, b);
      cairo_pattern_add_color_stop_rgb(p, 0, r, g, b);
      color(z, r, g, b);
      cairo_pattern_add_color_stop_rgb(p, 1, r, g, b);
      cairo_set_source(cr_, p);
      cairo_pattern_destroy(p);
      cairo_new_path(cr_);
      cairo_rectangle(cr_, std::min(pa.x, pz.x), std::min(pa.y, pz.y), std::fabs(pz.x - pa.x), std::fabs(pz.y - pa.y));
      cairo_fill(cr_);
    }
    return true;
  }
  if (mode == GRADIENT_FILL_TRIANGLE) {
    const auto* tris = static_cast<const GRADIENT_TRIANGLE*>(mesh);
    cairo_pattern_t* p = cairo_pattern_create_mesh();
    bool any = false;
    for (ULONG i = 0; i < meshCount; ++i) {
      ULONG idx[3] = {tris[i].Vertex1, tris[i].Vertex2, tris[i].Vertex3};
      if (idx[0] >= vertices.size() || idx[1] >= vertices.size() || idx[2] >= vertices.size()) continue;
      cairo_mesh_pattern_begin_patch(p);
      for (int k = 0; k < 3; ++k) {
        PointF q = device(vertices[idx[k]]);
        if (k == 0) cairo_mesh_pattern_move_to(p, q.x, q.y);
        else cairo_mesh_pattern_line_to(p, q.x, q.y);
      }
      for (int k = 0; k < 3; ++k) {
        double r, g, b;
        color(vertices[idx[k]], r, g, b);
        cairo_mesh_pattern_set_corner_color_rgb(p, unsigned(k), r, g, b);
      }
      cairo_mesh_pattern_end_patch(p);
      any = true;
    }
    if (any) {
      cairo_set_source(cr_, p);
      cairo_paint(cr_);
    }
    cairo_pattern_destroy(p);
  }
  return true;
}

// --- regions (logical rectangles, drawn through the transform) ---

bool CairoRecorder::FillRgn(Dc& dc, const RegionData& region, HBRUSH, const Brush& brush) {
  const DcState& s = dc.State();
  if (s.rop2 == R2_NOP || brush.style == BS_NULL) return true;
  RegionData device = TransformRegion(region, dc.LogicalToDevice());
  std::optional<DWORD> solid;
  if (brush.style == BS_SOLID) solid = DeviceRgb(dc, brush.dcBrush ? s.dcBrushColor : brush.color);
  std::optional<Rop2Mapping> rop = MapRop2(s.rop2, solid);
  if (!rop) {
    Fallback(dc, device.Bounds());
    return true;
  }
  if (!ApplyClip(dc) || !SetBrushSource(dc, brush)) return true;
  ApplyRop2(*rop);
  FillDeviceRects(device.Rects());
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  return true;
}

bool CairoRecorder::PaintRgn(Dc& dc, const RegionData& region) {
  if (!dc.State().brush) return true;
  return FillRgn(dc, region, nullptr, *dc.State().brush);
}

bool CairoRecorder::InvertRgn(Dc& dc, const RegionData& region) {
  if (!ApplyClip(dc)) return true;
  RegionData device = TransformRegion(region, dc.LogicalToDevice());
  SetSourceRgb(0xFFFFFF);
  cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE);
  FillDeviceRects(device.Rects());
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  return true;
}

bool CairoRecorder::FrameRgn(Dc& dc, const RegionData& region, HBRUSH handle, const Brush& brush, int width,
                             int height) {
  // The frame is the region less the region shrunk by the frame's size.
  RegionData inner = region.Erode(std::max(width, 0), std::max(height, 0));
  return FillRgn(dc, RegionData::Combine(region, inner, RGN_DIFF), handle, brush);
}

}  // namespace tw::gdi
