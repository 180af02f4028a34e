// DC attributes, mapping modes and world transforms, SaveDC / RestoreDC,
// current position, and the small calls (GdiFlush, GdiComment, EnableEUDC).
#include <cmath>

#include "dc.h"
#include "draw.h"
#include "winerror.h"

using namespace tw::gdi;

namespace {

// The common shape of an attribute setter: look the DC up, validate, let
// the recorder see the call, store, return the previous value.
template <class T, class Valid, class Record>
T setAttribute(HDC hdc, T DcState::*field, T value, T failure, Valid valid, Record record) {
  auto dc = LookupDc(hdc);
  if (!dc) return failure;
  if (!valid(value)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return failure;
  }
  if (DcRecorder* recorder = dc->Recorder())
    if (!record(*recorder, *dc, value)) return failure;
  T previous = dc->State().*field;
  dc->State().*field = value;
  return previous;
}

template <class T>
T getAttribute(HDC hdc, T DcState::*field, T failure) {
  auto dc = LookupDc(hdc);
  return dc ? dc->State().*field : failure;
}

bool anyValue(...) { return true; }

bool fixedExtents(int mapMode) { return mapMode != MM_ISOTROPIC && mapMode != MM_ANISOTROPIC; }

}  // namespace

COLORREF SetBkColor(HDC hdc, COLORREF color) {
  return setAttribute<COLORREF>(hdc, &DcState::bkColor, color, CLR_INVALID, anyValue,
                                [](DcRecorder& r, Dc& dc, COLORREF v) { return r.SetBkColor(dc, v); });
}
COLORREF GetBkColor(HDC hdc) { return getAttribute<COLORREF>(hdc, &DcState::bkColor, CLR_INVALID); }

int SetBkMode(HDC hdc, int mode) {
  return setAttribute<int>(hdc, &DcState::bkMode, mode, 0, [](int v) { return v == TRANSPARENT || v == OPAQUE; },
                           [](DcRecorder& r, Dc& dc, int v) { return r.SetBkMode(dc, v); });
}
int GetBkMode(HDC hdc) { return getAttribute<int>(hdc, &DcState::bkMode, 0); }

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  return setAttribute<COLORREF>(hdc, &DcState::textColor, color, CLR_INVALID, anyValue,
                                [](DcRecorder& r, Dc& dc, COLORREF v) { return r.SetTextColor(dc, v); });
}
COLORREF GetTextColor(HDC hdc) { return getAttribute<COLORREF>(hdc, &DcState::textColor, CLR_INVALID); }

UINT SetTextAlign(HDC hdc, UINT align) {
  return setAttribute<UINT>(hdc, &DcState::textAlign, align, GDI_ERROR, anyValue,
                            [](DcRecorder& r, Dc& dc, UINT v) { return r.SetTextAlign(dc, v); });
}
UINT GetTextAlign(HDC hdc) { return getAttribute<UINT>(hdc, &DcState::textAlign, GDI_ERROR); }

int SetROP2(HDC hdc, int rop2) {
  return setAttribute<int>(hdc, &DcState::rop2, rop2, 0, [](int v) { return v >= R2_BLACK && v <= R2_WHITE; },
                           [](DcRecorder& r, Dc& dc, int v) { return r.SetROP2(dc, v); });
}
int GetROP2(HDC hdc) { return getAttribute<int>(hdc, &DcState::rop2, 0); }

int SetPolyFillMode(HDC hdc, int mode) {
  return setAttribute<int>(hdc, &DcState::polyFillMode, mode, 0,
                           [](int v) { return v == ALTERNATE || v == WINDING; },
                           [](DcRecorder& r, Dc& dc, int v) { return r.SetPolyFillMode(dc, v); });
}
int GetPolyFillMode(HDC hdc) { return getAttribute<int>(hdc, &DcState::polyFillMode, 0); }

int SetStretchBltMode(HDC hdc, int mode) {
  return setAttribute<int>(hdc, &DcState::stretchMode, mode, 0,
                           [](int v) { return v >= BLACKONWHITE && v <= HALFTONE; },
                           [](DcRecorder& r, Dc& dc, int v) { return r.SetStretchBltMode(dc, v); });
}
int GetStretchBltMode(HDC hdc) { return getAttribute<int>(hdc, &DcState::stretchMode, 0); }

int SetArcDirection(HDC hdc, int dir) {
  return setAttribute<int>(hdc, &DcState::arcDirection, dir, 0,
                           [](int v) { return v == AD_COUNTERCLOCKWISE || v == AD_CLOCKWISE; },
                           [](DcRecorder& r, Dc& dc, int v) { return r.SetArcDirection(dc, v); });
}
int GetArcDirection(HDC hdc) { return getAttribute<int>(hdc, &DcState::arcDirection, 0); }

int SetTextCharacterExtra(HDC hdc, int extra) {
  auto dc = LookupDc(hdc);
  if (!dc) return static_cast<int>(0x80000000);
  int previous = dc->State().charExtra;
  dc->State().charExtra = extra;
  return previous;
}
int GetTextCharacterExtra(HDC hdc) { return getAttribute<int>(hdc, &DcState::charExtra, static_cast<int>(0x80000000)); }

BOOL SetTextJustification(HDC hdc, int extra, int count) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->SetTextJustification(*dc, extra, count)) return FALSE;
  dc->State().justifyExtra = count > 0 ? extra : 0;
  dc->State().justifyCount = count > 0 ? count : 0;
  return TRUE;
}

DWORD SetMapperFlags(HDC hdc, DWORD flags) {
  return setAttribute<DWORD>(hdc, &DcState::mapperFlags, flags, GDI_ERROR, anyValue,
                             [](DcRecorder& r, Dc& dc, DWORD v) { return r.SetMapperFlags(dc, v); });
}

DWORD SetLayout(HDC hdc, DWORD layout) {
  return setAttribute<DWORD>(hdc, &DcState::layout, layout, GDI_ERROR, anyValue,
                             [](DcRecorder& r, Dc& dc, DWORD v) { return r.SetLayout(dc, v); });
}
DWORD GetLayout(HDC hdc) { return getAttribute<DWORD>(hdc, &DcState::layout, GDI_ERROR); }

int SetICMMode(HDC hdc, int mode) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  if (mode == 3) return dc->State().icmMode;  // ICM_QUERY
  if (mode != 1 && mode != 2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->SetICMMode(*dc, mode)) return 0;
  dc->State().icmMode = mode;
  return mode;  // colour management is not performed: ICM_ON is remembered only
}

BOOL SetColorAdjustment(HDC hdc, CONST COLORADJUSTMENT* lpca) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!lpca || lpca->caSize != sizeof(COLORADJUSTMENT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->SetColorAdjustment(*dc, *lpca)) return FALSE;
  dc->State().colorAdjustment = *lpca;
  return TRUE;
}

BOOL GetColorAdjustment(HDC hdc, LPCOLORADJUSTMENT lpca) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!lpca) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpca = dc->State().colorAdjustment;
  return TRUE;
}

COLORREF SetDCBrushColor(HDC hdc, COLORREF color) {
  return setAttribute<COLORREF>(hdc, &DcState::dcBrushColor, color, CLR_INVALID, anyValue,
                                [](DcRecorder& r, Dc& dc, COLORREF v) { return r.SetDCBrushColor(dc, v); });
}
COLORREF GetDCBrushColor(HDC hdc) { return getAttribute<COLORREF>(hdc, &DcState::dcBrushColor, CLR_INVALID); }
COLORREF SetDCPenColor(HDC hdc, COLORREF color) {
  return setAttribute<COLORREF>(hdc, &DcState::dcPenColor, color, CLR_INVALID, anyValue,
                                [](DcRecorder& r, Dc& dc, COLORREF v) { return r.SetDCPenColor(dc, v); });
}
COLORREF GetDCPenColor(HDC hdc) { return getAttribute<COLORREF>(hdc, &DcState::dcPenColor, CLR_INVALID); }

BOOL SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->SetBrushOrgEx(*dc, x, y)) return FALSE;
  if (lppt) *lppt = dc->State().brushOrg;
  dc->State().brushOrg = {x, y};
  return TRUE;
}

BOOL GetBrushOrgEx(HDC hdc, LPPOINT lppt) {
  auto dc = LookupDc(hdc);
  if (!dc || !lppt) {
    if (dc) SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lppt = dc->State().brushOrg;
  return TRUE;
}

BOOL SetMiterLimit(HDC hdc, FLOAT limit, PFLOAT old) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!(limit >= 1.0f)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->SetMiterLimit(*dc, limit)) return FALSE;
  if (old) *old = dc->State().miterLimit;
  dc->State().miterLimit = limit;
  return TRUE;
}

BOOL GetMiterLimit(HDC hdc, PFLOAT plimit) {
  auto dc = LookupDc(hdc);
  if (!dc || !plimit) {
    if (dc) SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *plimit = dc->State().miterLimit;
  return TRUE;
}

// --- coordinate spaces ---

int SetGraphicsMode(HDC hdc, int iMode) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  DcState& s = dc->State();
  if (iMode != GM_COMPATIBLE && iMode != GM_ADVANCED) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // As documented: back to GM_COMPATIBLE only with the identity transform.
  if (iMode == GM_COMPATIBLE && !s.world.IsIdentity()) return 0;
  int previous = s.graphicsMode;
  s.graphicsMode = iMode;
  return previous;
}
int GetGraphicsMode(HDC hdc) { return getAttribute<int>(hdc, &DcState::graphicsMode, 0); }

int SetMapMode(HDC hdc, int iMode) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  if (iMode < MM_MIN || iMode > MM_MAX) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->SetMapMode(*dc, iMode)) return 0;
  DcState& s = dc->State();
  int previous = s.mapMode;
  if (iMode != previous || fixedExtents(iMode)) {
    s.mapMode = iMode;
    dc->ApplyMapModeExtents();
    dc->TransformChanged();
  }
  return previous;
}
int GetMapMode(HDC hdc) { return getAttribute<int>(hdc, &DcState::mapMode, 0); }

namespace {

enum class Which { WindowOrg, ViewportOrg, WindowExt, ViewportExt };

BOOL setOriginOrExtent(HDC hdc, Which which, int x, int y, bool offset, LPPOINT oldPoint, LPSIZE oldSize) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  DcState& s = dc->State();
  bool extent = which == Which::WindowExt || which == Which::ViewportExt;
  if (extent) {
    SIZE& ext = which == Which::WindowExt ? s.windowExt : s.viewportExt;
    if (oldSize) *oldSize = ext;
    if (fixedExtents(s.mapMode)) return TRUE;  // ignored in fixed-scale modes
    if (x == 0 || y == 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
  }
  POINT& org = which == Which::WindowOrg ? s.windowOrg : s.viewportOrg;
  int nx = x, ny = y;
  if (offset) {
    nx = org.x + x;
    ny = org.y + y;
  }
  if (DcRecorder* recorder = dc->Recorder()) {
    bool ok = true;
    switch (which) {
      case Which::WindowOrg: ok = recorder->SetWindowOrgEx(*dc, nx, ny); break;
      case Which::ViewportOrg: ok = recorder->SetViewportOrgEx(*dc, nx, ny); break;
      case Which::WindowExt: ok = recorder->SetWindowExtEx(*dc, x, y); break;
      case Which::ViewportExt: ok = recorder->SetViewportExtEx(*dc, x, y); break;
    }
    if (!ok) return FALSE;
  }
  if (extent) {
    (which == Which::WindowExt ? s.windowExt : s.viewportExt) = {x, y};
    dc->FixIsotropic();
  } else {
    if (oldPoint) *oldPoint = org;
    org = {nx, ny};
  }
  dc->TransformChanged();
  return TRUE;
}

BOOL scaleExtent(HDC hdc, bool window, int xn, int xd, int yn, int yd, LPSIZE old) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  DcState& s = dc->State();
  SIZE& ext = window ? s.windowExt : s.viewportExt;
  if (old) *old = ext;
  if (fixedExtents(s.mapMode)) return TRUE;
  if (xd == 0 || yd == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  LONG cx = static_cast<LONG>(static_cast<long long>(ext.cx) * xn / xd);
  LONG cy = static_cast<LONG>(static_cast<long long>(ext.cy) * yn / yd);
  if (cx == 0 || cy == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DcRecorder* recorder = dc->Recorder()) {
    bool ok = window ? recorder->ScaleWindowExtEx(*dc, xn, xd, yn, yd) : recorder->ScaleViewportExtEx(*dc, xn, xd, yn, yd);
    if (!ok) return FALSE;
  }
  ext = {cx, cy};
  dc->FixIsotropic();
  dc->TransformChanged();
  return TRUE;
}

BOOL getPoint(HDC hdc, POINT DcState::*field, LPPOINT out) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *out = dc->State().*field;
  return TRUE;
}

BOOL getSize(HDC hdc, SIZE DcState::*field, LPSIZE out) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *out = dc->State().*field;
  return TRUE;
}

}  // namespace

BOOL SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return setOriginOrExtent(hdc, Which::WindowOrg, x, y, false, lppt, nullptr);
}
BOOL OffsetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return setOriginOrExtent(hdc, Which::WindowOrg, x, y, true, lppt, nullptr);
}
BOOL SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return setOriginOrExtent(hdc, Which::ViewportOrg, x, y, false, lppt, nullptr);
}
BOOL OffsetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return setOriginOrExtent(hdc, Which::ViewportOrg, x, y, true, lppt, nullptr);
}
BOOL SetWindowExtEx(HDC hdc, int x, int y, LPSIZE lpsz) {
  return setOriginOrExtent(hdc, Which::WindowExt, x, y, false, nullptr, lpsz);
}
BOOL SetViewportExtEx(HDC hdc, int x, int y, LPSIZE lpsz) {
  return setOriginOrExtent(hdc, Which::ViewportExt, x, y, false, nullptr, lpsz);
}
BOOL ScaleWindowExtEx(HDC hdc, int xn, int xd, int yn, int yd, LPSIZE lpsz) {
  return scaleExtent(hdc, true, xn, xd, yn, yd, lpsz);
}
BOOL ScaleViewportExtEx(HDC hdc, int xn, int xd, int yn, int yd, LPSIZE lpsz) {
  return scaleExtent(hdc, false, xn, xd, yn, yd, lpsz);
}
BOOL GetWindowOrgEx(HDC hdc, LPPOINT p) { return getPoint(hdc, &DcState::windowOrg, p); }
BOOL GetViewportOrgEx(HDC hdc, LPPOINT p) { return getPoint(hdc, &DcState::viewportOrg, p); }
BOOL GetWindowExtEx(HDC hdc, LPSIZE s) { return getSize(hdc, &DcState::windowExt, s); }
BOOL GetViewportExtEx(HDC hdc, LPSIZE s) { return getSize(hdc, &DcState::viewportExt, s); }

BOOL SetWorldTransform(HDC hdc, CONST XFORM* lpxf) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!lpxf || dc->State().graphicsMode != GM_ADVANCED) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Matrix m = Matrix::FromXform(*lpxf);
  double det = m.Determinant();
  if (det == 0 || !std::isfinite(det) || !std::isfinite(m.dx) || !std::isfinite(m.dy)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->SetWorldTransform(*dc, *lpxf)) return FALSE;
  dc->State().world = m;
  dc->TransformChanged();
  return TRUE;
}

BOOL GetWorldTransform(HDC hdc, LPXFORM lpxf) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (!lpxf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpxf = dc->State().world.ToXform();
  return TRUE;
}

BOOL ModifyWorldTransform(HDC hdc, CONST XFORM* lpxf, DWORD mode) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  DcState& s = dc->State();
  if (s.graphicsMode != GM_ADVANCED || (mode != MWT_IDENTITY && !lpxf) || mode < MWT_IDENTITY || mode > MWT_SET) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Matrix result;
  if (mode != MWT_IDENTITY) {
    Matrix m = Matrix::FromXform(*lpxf);
    if (mode == MWT_LEFTMULTIPLY) result = m.Then(s.world);
    if (mode == MWT_RIGHTMULTIPLY) result = s.world.Then(m);
    if (mode == MWT_SET) result = m;
    double det = result.Determinant();
    if (det == 0 || !std::isfinite(det)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
  }
  if (DcRecorder* recorder = dc->Recorder()) {
    XFORM xf = mode == MWT_IDENTITY ? XFORM{1, 0, 0, 1, 0, 0} : *lpxf;
    if (!recorder->ModifyWorldTransform(*dc, xf, mode)) return FALSE;
  }
  s.world = result;
  dc->TransformChanged();
  return TRUE;
}

BOOL CombineTransform(LPXFORM out, CONST XFORM* a, CONST XFORM* b) {
  if (!out || !a || !b) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *out = Matrix::FromXform(*a).Then(Matrix::FromXform(*b)).ToXform();
  return TRUE;
}

BOOL LPtoDP(HDC hdc, LPPOINT lppt, int c) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if ((!lppt && c > 0) || c < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  for (int i = 0; i < c; ++i) lppt[i] = dc->ToDevice(lppt[i]);
  return TRUE;
}

BOOL DPtoLP(HDC hdc, LPPOINT lppt, int c) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if ((!lppt && c > 0) || c < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Matrix inverse;
  if (!dc->DeviceToLogical(inverse)) return FALSE;
  for (int i = 0; i < c; ++i) {
    double x, y;
    inverse.Apply(lppt[i].x, lppt[i].y, x, y);
    lppt[i] = {RoundToDevice(x), RoundToDevice(y)};
  }
  return TRUE;
}

BOOL GetDCOrgEx(HDC hdc, LPPOINT lppt) {
  auto dc = LookupDc(hdc);
  if (!dc || !lppt) return FALSE;
  *lppt = {0, 0};
  return TRUE;
}

BOOL GetCurrentPositionEx(HDC hdc, LPPOINT lppt) { return getPoint(hdc, &DcState::currentPos, lppt); }

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->MoveToEx(*dc, x, y)) return FALSE;
  if (lppt) *lppt = dc->State().currentPos;
  dc->State().currentPos = {x, y};
  if (dc->State().path.Building()) PathMoveTo(*dc, x, y);
  return TRUE;
}

// --- SaveDC / RestoreDC ---

int SaveDC(HDC hdc) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->SaveDC(*dc)) return 0;
  return dc->Save();
}

BOOL RestoreDC(HDC hdc, int nSavedDC) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  int count = dc->SaveLevel();
  int index = nSavedDC > 0 ? nSavedDC - 1 : count + nSavedDC;
  if (nSavedDC == 0 || index < 0 || index >= count) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DcRecorder* recorder = dc->Recorder())
    if (!recorder->RestoreDC(*dc, nSavedDC)) return FALSE;
  return dc->Restore(nSavedDC) ? TRUE : FALSE;
}

// --- small calls ---

BOOL GdiFlush(void) { return TRUE; }  // drawing is never batched: memory is current after every call

DWORD GdiSetBatchLimit(DWORD) { return 1; }
DWORD GdiGetBatchLimit(void) { return 1; }

BOOL GdiComment(HDC hdc, UINT nSize, CONST BYTE* lpData) {
  auto dc = LookupDc(hdc);
  if (!dc) return FALSE;
  if (nSize > 0 && !lpData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DcRecorder* recorder = dc->Recorder()) return recorder->GdiComment(*dc, {lpData, nSize}) ? TRUE : FALSE;
  return TRUE;  // a comment means nothing to a raster device
}

BOOL EnableEUDC(BOOL) { return TRUE; }  // no end-user-defined characters are linked

BOOL LineDDA(int xStart, int yStart, int xEnd, int yEnd, LINEDDAPROC lpProc, LPARAM data) {
  if (!lpProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ForEachLinePixel(xStart, yStart, xEnd, yEnd, [&](int x, int y) { lpProc(x, y, data); });
  return TRUE;
}
