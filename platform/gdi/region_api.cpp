// Region objects: creation, combination and queries.
#include <algorithm>
#include <cstring>

#include "raster/scan.h"
#include "raster/shapes.h"
#include "region.h"
#include "transform.h"
#include "winerror.h"

using namespace tw::gdi;

namespace {

HRGN insertRegion(RegionData data) {
  return static_cast<HRGN>(InsertObject(std::make_shared<Region>(std::move(data))));
}

RECT normalised(int x1, int y1, int x2, int y2) {
  return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

RegionData rowsRegion(const std::function<void(const RowEmitter&)>& produce) {
  RegionBuilder builder;
  produce([&](int y, int x0, int x1) { builder.Add(y, x0, x1); });
  return builder.Finish();
}

bool validMode(int mode) { return mode == ALTERNATE || mode == WINDING; }

}  // namespace

HRGN CreateRectRgn(int x1, int y1, int x2, int y2) { return insertRegion(RegionData(normalised(x1, y1, x2, y2))); }

HRGN CreateRectRgnIndirect(CONST RECT* r) {
  if (!r) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateRectRgn(r->left, r->top, r->right, r->bottom);
}

HRGN CreateEllipticRgn(int x1, int y1, int x2, int y2) {
  RECT box = normalised(x1, y1, x2, y2);
  box.top = std::max<LONG>(box.top, -kRegionRowLimit);
  box.bottom = std::min<LONG>(box.bottom, kRegionRowLimit);
  return insertRegion(rowsRegion([&](const RowEmitter& emit) { EllipseRows(box, emit); }));
}

HRGN CreateEllipticRgnIndirect(CONST RECT* r) {
  if (!r) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateEllipticRgn(r->left, r->top, r->right, r->bottom);
}

HRGN CreateRoundRectRgn(int x1, int y1, int x2, int y2, int w, int h) {
  RECT box = normalised(x1, y1, x2, y2);
  box.top = std::max<LONG>(box.top, -kRegionRowLimit);
  box.bottom = std::min<LONG>(box.bottom, kRegionRowLimit);
  return insertRegion(rowsRegion([&](const RowEmitter& emit) { RoundRectRows(box, std::abs(w), std::abs(h), emit); }));
}

HRGN CreatePolyPolygonRgn(CONST POINT* pptl, CONST INT* pc, int cPoly, int iMode) {
  if (!pptl || !pc || cPoly <= 0 || !validMode(iMode)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Polygons polys;
  const POINT* p = pptl;
  for (int i = 0; i < cPoly; ++i) {
    if (pc[i] < 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    std::vector<PointF> poly;
    for (int k = 0; k < pc[i]; ++k) poly.push_back({static_cast<double>(p[k].x), static_cast<double>(p[k].y)});
    p += pc[i];
    polys.push_back(std::move(poly));
  }
  return insertRegion(PolygonRegion(polys, iMode));
}

HRGN CreatePolygonRgn(CONST POINT* pptl, int cPoint, int iMode) {
  return CreatePolyPolygonRgn(pptl, &cPoint, 1, iMode);
}

HRGN ExtCreateRegion(CONST XFORM* lpx, DWORD nCount, CONST RGNDATA* lpData) {
  RegionData data;
  if (!lpData || !RegionData::FromRgnData(lpData, nCount, data)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (lpx) data = TransformRegion(data, Matrix::FromXform(*lpx));
  return insertRegion(std::move(data));
}

int CombineRgn(HRGN hrgnDst, HRGN hrgnSrc1, HRGN hrgnSrc2, int iMode) {
  if (iMode < RGN_AND || iMode > RGN_COPY) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return ERROR;
  }
  auto dst = LookupObjectAs<Region>(hrgnDst);
  auto a = LookupObjectAs<Region>(hrgnSrc1);
  if (!dst || !a) return ERROR;
  RegionData result;
  if (iMode == RGN_COPY) {
    result = a->Get();
  } else {
    auto b = LookupObjectAs<Region>(hrgnSrc2);
    if (!b) return ERROR;
    result = RegionData::Combine(a->Get(), b->Get(), iMode);
  }
  int complexity = result.Complexity();
  dst->Set(std::move(result));
  return complexity;
}

BOOL SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom) {
  auto region = LookupObjectAs<Region>(hrgn);
  if (!region) return FALSE;
  region->Set(RegionData(normalised(left, top, right, bottom)));
  return TRUE;
}

int OffsetRgn(HRGN hrgn, int x, int y) {
  auto region = LookupObjectAs<Region>(hrgn);
  if (!region) return ERROR;
  RegionData data = region->Get();
  data.Offset(x, y);
  int complexity = data.Complexity();
  region->Set(std::move(data));
  return complexity;
}

int GetRgnBox(HRGN hrgn, LPRECT lprc) {
  auto region = LookupObjectAs<Region>(hrgn);
  if (!region) return ERROR;
  if (!lprc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return ERROR;
  }
  RegionData data = region->Get();
  *lprc = data.Bounds();
  return data.Complexity();
}

DWORD GetRegionData(HRGN hrgn, DWORD nCount, LPRGNDATA lpRgnData) {
  auto region = LookupObjectAs<Region>(hrgn);
  if (!region) return 0;
  std::vector<BYTE> bytes = region->Get().ToRgnData();
  if (!lpRgnData) return static_cast<DWORD>(bytes.size());
  if (nCount < bytes.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::memcpy(lpRgnData, bytes.data(), bytes.size());
  return static_cast<DWORD>(bytes.size());
}

BOOL EqualRgn(HRGN hrgn1, HRGN hrgn2) {
  auto a = LookupObjectAs<Region>(hrgn1);
  auto b = LookupObjectAs<Region>(hrgn2);
  if (!a || !b) return ERROR;
  return a->Get() == b->Get() ? TRUE : FALSE;
}

BOOL PtInRegion(HRGN hrgn, int x, int y) {
  auto region = LookupObjectAs<Region>(hrgn);
  return region && region->Get().Contains(x, y) ? TRUE : FALSE;
}

BOOL RectInRegion(HRGN hrgn, CONST RECT* lprect) {
  auto region = LookupObjectAs<Region>(hrgn);
  if (!region || !lprect) return FALSE;
  return region->Get().Intersects(normalised(lprect->left, lprect->top, lprect->right, lprect->bottom)) ? TRUE
                                                                                                          : FALSE;
}
