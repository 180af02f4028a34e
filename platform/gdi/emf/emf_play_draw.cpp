// Playing the drawing records: lines, curves, shapes, paths and regions.
#include <climits>
#include <vector>

#include "emf_playback.h"

namespace tw::emf {

HRGN MakeRegion(const RecordView& record, size_t offset, DWORD cbRgnData, const XFORM* xform, bool& malformed) {
  malformed = false;
  const RGNDATAHEADER* header;
  std::span<const RECT> rects;
  if (!ReadRegion(record, offset, cbRgnData, header, rects)) {
    malformed = true;
    return nullptr;
  }
  DWORD bytes = static_cast<DWORD>(sizeof(RGNDATAHEADER) + rects.size_bytes());
  return ExtCreateRegion(xform, bytes, reinterpret_cast<const RGNDATA*>(header));
}

namespace {

// Points of a 32-bit or 16-bit poly record, as POINTs.
bool readPoints(const RecordView& r, size_t offset, DWORD count, bool small, std::vector<POINT>& out) {
  bool ok = true;
  out.clear();
  if (small) {
    auto pts = r.Array<POINTS>(offset, count, ok);
    if (!ok) return false;
    out.reserve(pts.size());
    for (const POINTS& p : pts) out.push_back({p.x, p.y});
  } else {
    auto pts = r.Array<POINTL>(offset, count, ok);
    if (!ok) return false;
    out.reserve(pts.size());
    for (const POINTL& p : pts) out.push_back({p.x, p.y});
  }
  return true;
}

PlayResult poly(PlaybackContext& c, const RecordView& r, bool small) {
  // EMRPOLYLINE and EMRPOLYLINE16 share the head: bounds, then the count.
  auto* rec = r.AsAtLeast<EMRPOLYLINE>(offsetof(EMRPOLYLINE, aptl));
  if (!rec) return PlayResult::Malformed;
  std::vector<POINT> pts;
  if (!readPoints(r, offsetof(EMRPOLYLINE, aptl), rec->cptl, small, pts)) return PlayResult::Malformed;
  if (pts.size() > INT_MAX) return PlayResult::Failed;
  HDC hdc = c.hdc;
  int n = static_cast<int>(pts.size());
  switch (r.Type()) {
    case EMR_POLYGON:
    case EMR_POLYGON16: return Result(Polygon(hdc, pts.data(), n));
    case EMR_POLYLINE:
    case EMR_POLYLINE16: return Result(Polyline(hdc, pts.data(), n));
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIER16: return Result(PolyBezier(hdc, pts.data(), DWORD(n)));
    case EMR_POLYBEZIERTO:
    case EMR_POLYBEZIERTO16: return Result(PolyBezierTo(hdc, pts.data(), DWORD(n)));
    default: return Result(PolylineTo(hdc, pts.data(), DWORD(n)));  // POLYLINETO(16)
  }
}

PlayResult polyPoly(PlaybackContext& c, const RecordView& r, bool small) {
  auto* rec = r.AsAtLeast<EMRPOLYPOLYLINE>(offsetof(EMRPOLYPOLYLINE, aPolyCounts));
  if (!rec) return PlayResult::Malformed;
  bool ok = true;
  auto counts = r.Array<DWORD>(offsetof(EMRPOLYPOLYLINE, aPolyCounts), rec->nPolys, ok);
  if (!ok) return PlayResult::Malformed;
  size_t pointsAt = offsetof(EMRPOLYPOLYLINE, aPolyCounts) + counts.size_bytes();
  std::vector<POINT> pts;
  if (!readPoints(r, pointsAt, rec->cptl, small, pts)) return PlayResult::Malformed;
  unsigned long long total = 0;
  for (DWORD n : counts) total += n;
  if (total > pts.size()) return PlayResult::Malformed;  // the counts promise more points than there are
  if (counts.empty() || counts.size() > INT_MAX) return PlayResult::Failed;
  bool polygon = r.Type() == EMR_POLYPOLYGON || r.Type() == EMR_POLYPOLYGON16;
  if (polygon) {
    std::vector<INT> sizes(counts.begin(), counts.end());
    return Result(PolyPolygon(c.hdc, pts.data(), sizes.data(), int(sizes.size())));
  }
  return Result(PolyPolyline(c.hdc, pts.data(), counts.data(), DWORD(counts.size())));
}

PlayResult polyDraw(PlaybackContext& c, const RecordView& r, bool small) {
  auto* rec = r.AsAtLeast<EMRPOLYDRAW>(offsetof(EMRPOLYDRAW, aptl));
  if (!rec) return PlayResult::Malformed;
  std::vector<POINT> pts;
  if (!readPoints(r, offsetof(EMRPOLYDRAW, aptl), rec->cptl, small, pts)) return PlayResult::Malformed;
  bool ok = true;
  size_t typesAt = offsetof(EMRPOLYDRAW, aptl) + pts.size() * (small ? sizeof(POINTS) : sizeof(POINTL));
  auto types = r.Array<BYTE>(typesAt, pts.size(), ok);
  if (!ok) return PlayResult::Malformed;
  if (pts.size() > INT_MAX) return PlayResult::Failed;
  return Result(PolyDraw(c.hdc, pts.data(), types.data(), int(pts.size())));
}

PlayResult gradientFill(PlaybackContext& c, const RecordView& r) {
  auto* rec = r.AsAtLeast<EMRGRADIENTFILL>(offsetof(EMRGRADIENTFILL, Ver));
  if (!rec) return PlayResult::Malformed;
  bool ok = true;
  auto vertices = r.Array<TRIVERTEX>(offsetof(EMRGRADIENTFILL, Ver), rec->nVer, ok);
  if (!ok) return PlayResult::Malformed;
  size_t meshAt = offsetof(EMRGRADIENTFILL, Ver) + vertices.size_bytes();
  size_t itemSize = rec->ulMode == GRADIENT_FILL_TRIANGLE ? sizeof(GRADIENT_TRIANGLE) : sizeof(GRADIENT_RECT);
  auto mesh = r.Array<BYTE>(meshAt, size_t(rec->nTri) * itemSize, ok);
  if (!ok) return PlayResult::Malformed;
  // Mesh items name vertices by index: each must exist.
  const ULONG* idx = reinterpret_cast<const ULONG*>(mesh.data());
  for (size_t i = 0; i < mesh.size() / sizeof(ULONG); ++i)
    if (idx[i] >= rec->nVer) return PlayResult::Failed;
  std::vector<TRIVERTEX> v(vertices.begin(), vertices.end());
  std::vector<BYTE> m(mesh.begin(), mesh.end());
  return Result(GradientFill(c.hdc, v.data(), ULONG(v.size()), m.data(), rec->nTri, rec->ulMode));
}

PlayResult regionRecord(PlaybackContext& c, const RecordView& r) {
  // Regions of these records are in logical units, like the shapes.
  bool malformed = false;
  HRGN rgn = nullptr;
  BOOL ok = FALSE;
  switch (r.Type()) {
    case EMR_FILLRGN: {
      auto* rec = r.AsAtLeast<EMRFILLRGN>(offsetof(EMRFILLRGN, RgnData));
      if (!rec) return PlayResult::Malformed;
      rgn = MakeRegion(r, offsetof(EMRFILLRGN, RgnData), rec->cbRgnData, nullptr, malformed);
      HGDIOBJ brush = SlotObject(c, rec->ihBrush);
      if (rgn && brush) ok = FillRgn(c.hdc, rgn, HBRUSH(brush));
      break;
    }
    case EMR_FRAMERGN: {
      auto* rec = r.AsAtLeast<EMRFRAMERGN>(offsetof(EMRFRAMERGN, RgnData));
      if (!rec) return PlayResult::Malformed;
      rgn = MakeRegion(r, offsetof(EMRFRAMERGN, RgnData), rec->cbRgnData, nullptr, malformed);
      HGDIOBJ brush = SlotObject(c, rec->ihBrush);
      if (rgn && brush) ok = FrameRgn(c.hdc, rgn, HBRUSH(brush), rec->szlStroke.cx, rec->szlStroke.cy);
      break;
    }
    case EMR_INVERTRGN:
    case EMR_PAINTRGN: {
      auto* rec = r.AsAtLeast<EMRINVERTRGN>(offsetof(EMRINVERTRGN, RgnData));
      if (!rec) return PlayResult::Malformed;
      rgn = MakeRegion(r, offsetof(EMRINVERTRGN, RgnData), rec->cbRgnData, nullptr, malformed);
      if (rgn) ok = r.Type() == EMR_INVERTRGN ? InvertRgn(c.hdc, rgn) : PaintRgn(c.hdc, rgn);
      break;
    }
  }
  if (rgn) DeleteObject(rgn);
  if (malformed) return PlayResult::Malformed;
  return Result(ok);
}

}  // namespace

PlayResult PlayDrawingRecord(PlaybackContext& c, const RecordView& r, bool& handled) {
  handled = true;
  HDC hdc = c.hdc;
  switch (r.Type()) {
    case EMR_POLYGON:
    case EMR_POLYLINE:
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIERTO:
    case EMR_POLYLINETO:
      return poly(c, r, false);
    case EMR_POLYGON16:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIER16:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16:
      return poly(c, r, true);
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYGON:
      return polyPoly(c, r, false);
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON16:
      return polyPoly(c, r, true);
    case EMR_POLYDRAW:
      return polyDraw(c, r, false);
    case EMR_POLYDRAW16:
      return polyDraw(c, r, true);
    case EMR_LINETO: {
      auto* rec = r.As<EMRLINETO>();
      if (!rec) return PlayResult::Malformed;
      return Result(LineTo(hdc, rec->ptl.x, rec->ptl.y));
    }
    case EMR_RECTANGLE:
    case EMR_ELLIPSE: {
      auto* rec = r.As<EMRRECTANGLE>();
      if (!rec) return PlayResult::Malformed;
      const RECTL& b = rec->rclBox;
      return Result(r.Type() == EMR_RECTANGLE ? Rectangle(hdc, b.left, b.top, b.right, b.bottom)
                                              : Ellipse(hdc, b.left, b.top, b.right, b.bottom));
    }
    case EMR_ROUNDRECT: {
      auto* rec = r.As<EMRROUNDRECT>();
      if (!rec) return PlayResult::Malformed;
      const RECTL& b = rec->rclBox;
      return Result(RoundRect(hdc, b.left, b.top, b.right, b.bottom, rec->szlCorner.cx, rec->szlCorner.cy));
    }
    case EMR_ARC:
    case EMR_ARCTO:
    case EMR_CHORD:
    case EMR_PIE: {
      auto* rec = r.As<EMRARC>();
      if (!rec) return PlayResult::Malformed;
      const RECTL& b = rec->rclBox;
      const POINTL &s = rec->ptlStart, &e = rec->ptlEnd;
      switch (r.Type()) {
        case EMR_ARC: return Result(Arc(hdc, b.left, b.top, b.right, b.bottom, s.x, s.y, e.x, e.y));
        case EMR_ARCTO: return Result(ArcTo(hdc, b.left, b.top, b.right, b.bottom, s.x, s.y, e.x, e.y));
        case EMR_CHORD: return Result(Chord(hdc, b.left, b.top, b.right, b.bottom, s.x, s.y, e.x, e.y));
        default: return Result(Pie(hdc, b.left, b.top, b.right, b.bottom, s.x, s.y, e.x, e.y));
      }
    }
    case EMR_ANGLEARC: {
      auto* rec = r.As<EMRANGLEARC>();
      if (!rec) return PlayResult::Malformed;
      return Result(AngleArc(hdc, rec->ptlCenter.x, rec->ptlCenter.y, rec->nRadius, rec->eStartAngle,
                             rec->eSweepAngle));
    }
    case EMR_SETPIXELV: {
      auto* rec = r.As<EMRSETPIXELV>();
      if (!rec) return PlayResult::Malformed;
      return Result(SetPixelV(hdc, rec->ptlPixel.x, rec->ptlPixel.y, rec->crColor));
    }
    case EMR_EXTFLOODFILL: {
      auto* rec = r.As<EMREXTFLOODFILL>();
      if (!rec) return PlayResult::Malformed;
      return Result(ExtFloodFill(hdc, rec->ptlStart.x, rec->ptlStart.y, rec->crColor, rec->iMode));
    }
    case EMR_GRADIENTFILL:
      return gradientFill(c, r);

    // ---- paths ----
    case EMR_BEGINPATH: return Result(BeginPath(hdc));
    case EMR_ENDPATH: return Result(EndPath(hdc));
    case EMR_ABORTPATH: return Result(AbortPath(hdc));
    case EMR_CLOSEFIGURE: return Result(CloseFigure(hdc));
    case EMR_FLATTENPATH: return Result(FlattenPath(hdc));
    case EMR_WIDENPATH: return Result(WidenPath(hdc));
    case EMR_FILLPATH:
    case EMR_STROKEPATH:
    case EMR_STROKEANDFILLPATH:
      if (!r.As<EMRFILLPATH>()) return PlayResult::Malformed;
      return Result(r.Type() == EMR_FILLPATH ? FillPath(hdc)
                    : r.Type() == EMR_STROKEPATH ? StrokePath(hdc) : StrokeAndFillPath(hdc));

    // ---- regions ----
    case EMR_FILLRGN:
    case EMR_FRAMERGN:
    case EMR_INVERTRGN:
    case EMR_PAINTRGN:
      return regionRecord(c, r);
    default:
      handled = false;
      return PlayResult::Ok;
  }
}

}  // namespace tw::emf
