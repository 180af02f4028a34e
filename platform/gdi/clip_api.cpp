// Clipping: the DC's clip and meta regions.
#include <algorithm>
#include <cmath>

#include "dc.h"
#include "draw.h"
#include "raster/scan.h"
#include "winerror.h"

namespace tw::gdi {

// A logical rectangle as a device region: a rectangle when the transform
// keeps rectangles axis-aligned, else the transformed quadrilateral.
RegionData LogicalRectRegion(Dc& dc, RECT r) {
  const Matrix& m = dc.LogicalToDevice();
  if (m.IsAxisAligned() || m.IsQuarterTurn()) {
    POINT a = dc.ToDevice({r.left, r.top}), b = dc.ToDevice({r.right, r.bottom});
    return RegionData(RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)});
  }
  std::vector<PointF> quad(4);
  const POINT corners[4] = {{r.left, r.top}, {r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}};
  for (int i = 0; i < 4; ++i) m.Apply(corners[i].x, corners[i].y, quad[i].x, quad[i].y);
  RECT bounds = dc.DeviceBounds();
  return PolygonRegion({quad}, ALTERNATE, bounds.top - 1, bounds.bottom + 1);
}

int SelectClipRegion(Dc& dc, const RegionData* region, int mode) {
  if (mode < RGN_AND || mode > RGN_COPY || (!region && mode != RGN_COPY)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return ERROR;
  }
  if (DcRecorder* recorder = dc.Recorder())
    if (!recorder->ExtSelectClipRgn(dc, region, mode)) return ERROR;
  DcState& s = dc.State();
  if (!region) {
    s.clip.reset();
  } else if (mode == RGN_COPY) {
    s.clip = *region;
  } else {
    RegionData base = s.clip ? *s.clip : RegionData(dc.DeviceBounds());
    s.clip = RegionData::Combine(base, *region, mode);
  }
  dc.ClipChanged();
  return dc.EffectiveClip().Complexity();
}

}  // namespace tw::gdi

using namespace tw::gdi;

namespace {

int clipWithRect(HDC hdc, int left, int top, int right, int bottom, bool exclude) {
  auto dc = LookupDc(hdc);
  if (!dc) return ERROR;
  RECT r{left, top, right, bottom};
  if (DcRecorder* recorder = dc->Recorder()) {
    bool ok = exclude ? recorder->ExcludeClipRect(*dc, r) : recorder->IntersectClipRect(*dc, r);
    if (!ok) return ERROR;
  }
  // An inverted rectangle is taken as given, after normalising.
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  RegionData rect = LogicalRectRegion(*dc, r);
  DcState& s = dc->State();
  RegionData base = s.clip ? *s.clip : RegionData(dc->DeviceBounds());
  s.clip = RegionData::Combine(base, rect, exclude ? RGN_DIFF : RGN_AND);
  dc->ClipChanged();
  return dc->EffectiveClip().Complexity();
}

// Copies a region into an existing HRGN.
bool storeRegion(HRGN hrgn, const RegionData& data) {
  auto region = LookupObjectAs<Region>(hrgn);
  if (!region) return false;
  region->Set(data);
  return true;
}

}  // namespace

int SelectClipRgn(HDC hdc, HRGN hrgn) { return ExtSelectClipRgn(hdc, hrgn, RGN_COPY); }

int ExtSelectClipRgn(HDC hdc, HRGN hrgn, int mode) {
  auto dc = LookupDc(hdc);
  if (!dc) return ERROR;
  if (!hrgn) return SelectClipRegion(*dc, nullptr, mode);
  auto region = LookupObjectAs<Region>(hrgn);
  if (!region) return ERROR;
  RegionData data = region->Get();
  return SelectClipRegion(*dc, &data, mode);
}

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
  return clipWithRect(hdc, left, top, right, bottom, false);
}

int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
  return clipWithRect(hdc, left, top, right, bottom, true);
}

int OffsetClipRgn(HDC hdc, int x, int y) {
  auto dc = LookupDc(hdc);
  if (!dc) return ERROR;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->OffsetClipRgn(*dc, x, y)) return ERROR;
  DcState& s = dc->State();
  if (s.clip) {
    double dx, dy;
    dc->LogicalToDevice().ApplyVector(x, y, dx, dy);
    s.clip->Offset(RoundToDevice(dx), RoundToDevice(dy));
    dc->ClipChanged();
  }
  return dc->EffectiveClip().Complexity();
}

int GetClipBox(HDC hdc, LPRECT rect) {
  auto dc = LookupDc(hdc);
  if (!dc) return ERROR;
  if (!rect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return ERROR;
  }
  const RegionData& clip = dc->EffectiveClip();
  RECT box = clip.Bounds();
  Matrix inverse;
  if (!dc->DeviceToLogical(inverse)) return ERROR;
  double x0, y0, x1, y1;
  inverse.Apply(box.left, box.top, x0, y0);
  inverse.Apply(box.right, box.bottom, x1, y1);
  *rect = {RoundToDevice(std::min(x0, x1)), RoundToDevice(std::min(y0, y1)), RoundToDevice(std::max(x0, x1)),
           RoundToDevice(std::max(y0, y1))};
  return clip.Complexity();
}

int GetClipRgn(HDC hdc, HRGN hrgn) {
  auto dc = LookupDc(hdc);
  if (!dc) return -1;
  const auto& clip = dc->State().clip;
  if (!clip) return 0;
  return storeRegion(hrgn, *clip) ? 1 : -1;
}

int GetMetaRgn(HDC hdc, HRGN hrgn) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  const auto& meta = dc->State().meta;
  return storeRegion(hrgn, meta ? *meta : RegionData()) ? 1 : 0;
}

int SetMetaRgn(HDC hdc) {
  auto dc = LookupDc(hdc);
  if (!dc) return ERROR;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->SetMetaRgn(*dc)) return ERROR;
  DcState& s = dc->State();
  if (s.clip) {
    s.meta = s.meta ? RegionData::Combine(*s.meta, *s.clip, RGN_AND) : *s.clip;
    s.clip.reset();
    dc->ClipChanged();
  }
  return s.meta ? s.meta->Complexity() : SIMPLEREGION;
}

int GetRandomRgn(HDC hdc, HRGN hrgn, INT which) {
  auto dc = LookupDc(hdc);
  if (!dc) return -1;
  const DcState& s = dc->State();
  switch (which) {
    case 1:  // CLIPRGN
      if (!s.clip) return 0;
      return storeRegion(hrgn, *s.clip) ? 1 : -1;
    case 2:  // METARGN
      if (!s.meta) return 0;
      return storeRegion(hrgn, *s.meta) ? 1 : -1;
    case 3:  // APIRGN: meta and clip together
      if (!s.clip && !s.meta) return 0;
      if (s.clip && s.meta) return storeRegion(hrgn, RegionData::Combine(*s.meta, *s.clip, RGN_AND)) ? 1 : -1;
      return storeRegion(hrgn, s.clip ? *s.clip : *s.meta) ? 1 : -1;
    case SYSRGN: return storeRegion(hrgn, RegionData(dc->DeviceBounds())) ? 1 : -1;
    default: SetLastError(ERROR_INVALID_PARAMETER); return -1;
  }
}

BOOL PtVisible(HDC hdc, int x, int y) {
  auto dc = LookupDc(hdc);
  if (!dc) return -1;
  POINT p = dc->ToDevice({x, y});
  return dc->EffectiveClip().Contains(p.x, p.y) ? TRUE : FALSE;
}

BOOL RectVisible(HDC hdc, CONST RECT* rect) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!rect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  RECT r = *rect;
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  RegionData area = LogicalRectRegion(*dc, r);
  return RegionData::Combine(area, dc->EffectiveClip(), RGN_AND).Empty() ? FALSE : TRUE;
}
