// Playing the records that set DC state: mapping modes and transforms,
// save/restore, attributes, clipping, and the records that change nothing
// we draw.
#include <cmath>

#include "emf_playback.h"

namespace tw::emf {

bool Finite(const Matrix& m) {
  return std::isfinite(m.m11) && std::isfinite(m.m12) && std::isfinite(m.m21) && std::isfinite(m.m22) &&
         std::isfinite(m.dx) && std::isfinite(m.dy);
}

namespace {

// Window extents of the fixed mapping modes, in their units per reference-
// device millimetre; the viewport extent is the device size (y up).
double unitsPerMillimetre(int mode) {
  switch (mode) {
    case MM_LOMETRIC: return 10.0;
    case MM_HIMETRIC: return 100.0;
    case MM_LOENGLISH: return 100.0 / 25.4;
    case MM_HIENGLISH: return 1000.0 / 25.4;
    case MM_TWIPS: return 1440.0 / 25.4;
    default: return 0.0;
  }
}

// Reference-device size in millimetres (micrometres when the file has no
// millimetres; 1 as a last resort so nothing divides by zero).
void referenceMillimetres(const ENHMETAHEADER& h, double& mx, double& my) {
  mx = h.szlMillimeters.cx > 0 ? h.szlMillimeters.cx : h.szlMicrometers.cx / 1000.0;
  my = h.szlMillimeters.cy > 0 ? h.szlMillimeters.cy : h.szlMicrometers.cy / 1000.0;
  if (!(mx > 0)) mx = 1;
  if (!(my > 0)) my = 1;
}

void setFixedExtents(PlaybackContext& c, int mode) {
  double mx, my;
  referenceMillimetres(c.header, mx, my);
  double k = unitsPerMillimetre(mode == MM_ISOTROPIC ? MM_LOMETRIC : mode);
  c.state.windowExt = {LONG(std::lround(mx * k)), LONG(std::lround(my * k))};
  c.state.viewportExt = {c.header.szlDevice.cx > 0 ? c.header.szlDevice.cx : 1,
                         -(c.header.szlDevice.cy > 0 ? c.header.szlDevice.cy : 1)};
}

// MM_ISOTROPIC keeps one scale for both axes: the viewport extent of the
// axis with the larger scale shrinks to the other's.
void fixIsotropic(MappingState& s) {
  if (s.mapMode != MM_ISOTROPIC || s.windowExt.cx == 0 || s.windowExt.cy == 0) return;
  double xs = double(s.viewportExt.cx) / s.windowExt.cx;
  double ys = double(s.viewportExt.cy) / s.windowExt.cy;
  if (std::fabs(xs) < std::fabs(ys)) {
    double cy = std::fabs(xs) * s.windowExt.cy * (s.viewportExt.cy < 0 ? -1 : 1);
    if (s.windowExt.cy < 0) cy = -cy;
    s.viewportExt.cy = LONG(std::lround(cy));
  } else if (std::fabs(ys) < std::fabs(xs)) {
    double cx = std::fabs(ys) * s.windowExt.cx * (s.viewportExt.cx < 0 ? -1 : 1);
    if (s.windowExt.cx < 0) cx = -cx;
    s.viewportExt.cx = LONG(std::lround(cx));
  }
  if (s.viewportExt.cx == 0) s.viewportExt.cx = 1;
  if (s.viewportExt.cy == 0) s.viewportExt.cy = 1;
}

bool scalableMode(int mode) { return mode == MM_ISOTROPIC || mode == MM_ANISOTROPIC; }

bool scaleExtent(SIZEL& ext, LONG xNum, LONG xDenom, LONG yNum, LONG yDenom) {
  if (xDenom == 0 || yDenom == 0) return false;
  long long cx = (long long)ext.cx * xNum / xDenom, cy = (long long)ext.cy * yNum / yDenom;
  if (cx == 0 || cy == 0 || cx > INT32_MAX || cx < INT32_MIN || cy > INT32_MAX || cy < INT32_MIN) return false;
  ext = {LONG(cx), LONG(cy)};
  return true;
}

PlayResult restoreDC(PlaybackContext& c, LONG relative) {
  // Only the metafile's own saves can be restored: the caller's state
  // (saved before playback) is out of its reach.
  size_t depth = c.saved.size();
  size_t levels;
  if (relative < 0) {
    if (size_t(-(long long)relative) > depth) return PlayResult::Failed;
    levels = size_t(-(long long)relative);
  } else {
    if (relative == 0 || size_t(relative) > depth) return PlayResult::Failed;
    levels = depth - size_t(relative) + 1;
  }
  if (!RestoreDC(c.hdc, -static_cast<int>(levels))) return PlayResult::Failed;
  c.state = c.saved[depth - levels];
  c.saved.resize(depth - levels);
  return Result(ApplyTransform(c));
}

}  // namespace

bool ApplyTransform(PlaybackContext& c) {
  const MappingState& s = c.state;
  Matrix mapping;
  if (s.windowExt.cx != 0 && s.windowExt.cy != 0) {
    mapping.m11 = double(s.viewportExt.cx) / s.windowExt.cx;
    mapping.m22 = double(s.viewportExt.cy) / s.windowExt.cy;
  }
  mapping.dx = s.viewportOrg.x - s.windowOrg.x * mapping.m11;
  mapping.dy = s.viewportOrg.y - s.windowOrg.y * mapping.m22;
  Matrix final = s.world.Then(mapping).Then(c.init);
  double det = final.m11 * final.m22 - final.m12 * final.m21;
  if (!Finite(final) || det == 0 || !std::isfinite(det)) return false;
  XFORM x = final.ToXform();
  if (x.eM11 * x.eM22 - x.eM12 * x.eM21 == 0) return false;  // singular once in single precision
  return SetWorldTransform(c.hdc, &x) != FALSE;
}

PlayResult PlayStateRecord(PlaybackContext& c, const RecordView& r, bool& handled) {
  handled = true;
  HDC hdc = c.hdc;
  MappingState& s = c.state;
  switch (r.Type()) {
    // ---- mapping and transforms ----
    case EMR_SETMAPMODE: {
      auto* rec = r.As<EMRSETMAPMODE>();
      if (!rec) return PlayResult::Malformed;
      int mode = static_cast<int>(rec->iMode);
      if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return PlayResult::Failed;
      int old = s.mapMode;
      s.mapMode = mode;
      if (mode == MM_TEXT) {
        s.windowExt = {1, 1};
        s.viewportExt = {1, 1};
      } else if (mode == MM_ANISOTROPIC) {
        if (old == MM_TEXT) s.windowExt = s.viewportExt = {1, 1};
      } else if (mode == MM_ISOTROPIC) {
        if (old != MM_ANISOTROPIC && old != MM_ISOTROPIC) setFixedExtents(c, MM_ISOTROPIC);
        fixIsotropic(s);
      } else {
        setFixedExtents(c, mode);
      }
      return Result(ApplyTransform(c));
    }
    case EMR_SETWINDOWEXTEX:
    case EMR_SETVIEWPORTEXTEX: {
      auto* rec = r.As<EMRSETWINDOWEXTEX>();
      if (!rec) return PlayResult::Malformed;
      if (!scalableMode(s.mapMode)) return PlayResult::Ok;  // ignored in the other modes, as GDI does
      if (rec->szlExtent.cx == 0 || rec->szlExtent.cy == 0) return PlayResult::Failed;
      (r.Type() == EMR_SETWINDOWEXTEX ? s.windowExt : s.viewportExt) = rec->szlExtent;
      fixIsotropic(s);
      return Result(ApplyTransform(c));
    }
    case EMR_SETWINDOWORGEX:
    case EMR_SETVIEWPORTORGEX: {
      auto* rec = r.As<EMRSETWINDOWORGEX>();
      if (!rec) return PlayResult::Malformed;
      (r.Type() == EMR_SETWINDOWORGEX ? s.windowOrg : s.viewportOrg) = rec->ptlOrigin;
      return Result(ApplyTransform(c));
    }
    case EMR_SCALEWINDOWEXTEX:
    case EMR_SCALEVIEWPORTEXTEX: {
      auto* rec = r.As<EMRSCALEWINDOWEXTEX>();
      if (!rec) return PlayResult::Malformed;
      if (!scalableMode(s.mapMode)) return PlayResult::Ok;
      SIZEL& ext = r.Type() == EMR_SCALEWINDOWEXTEX ? s.windowExt : s.viewportExt;
      if (!scaleExtent(ext, rec->xNum, rec->xDenom, rec->yNum, rec->yDenom)) return PlayResult::Failed;
      fixIsotropic(s);
      return Result(ApplyTransform(c));
    }
    case EMR_SETWORLDTRANSFORM: {
      auto* rec = r.As<EMRSETWORLDTRANSFORM>();
      if (!rec) return PlayResult::Malformed;
      Matrix x = Matrix::FromXform(rec->xform);
      if (!Finite(x)) return PlayResult::Failed;
      MappingState before = s;
      s.world = x;
      if (!ApplyTransform(c)) {
        s = before;  // a singular transform is refused, as SetWorldTransform refuses it
        return PlayResult::Failed;
      }
      return PlayResult::Ok;
    }
    case EMR_MODIFYWORLDTRANSFORM: {
      auto* rec = r.As<EMRMODIFYWORLDTRANSFORM>();
      if (!rec) return PlayResult::Malformed;
      Matrix x = Matrix::FromXform(rec->xform);
      MappingState before = s;
      switch (rec->iMode) {
        case MWT_IDENTITY: s.world = Matrix{}; break;
        case MWT_LEFTMULTIPLY: s.world = x.Then(s.world); break;
        case MWT_RIGHTMULTIPLY: s.world = s.world.Then(x); break;
        case MWT_SET: s.world = x; break;
        default: return PlayResult::Failed;
      }
      if (!Finite(s.world) || !ApplyTransform(c)) {
        s = before;
        return PlayResult::Failed;
      }
      return PlayResult::Ok;
    }

    // ---- save and restore ----
    case EMR_SAVEDC:
      if (SaveDC(hdc) == 0) return PlayResult::Failed;
      c.saved.push_back(s);
      return PlayResult::Ok;
    case EMR_RESTOREDC: {
      auto* rec = r.As<EMRRESTOREDC>();
      if (!rec) return PlayResult::Malformed;
      return restoreDC(c, rec->iRelative);
    }

    // ---- attributes ----
    case EMR_SETBKMODE: {
      auto* rec = r.As<EMRSETBKMODE>();
      if (!rec) return PlayResult::Malformed;
      return Result(SetBkMode(hdc, int(rec->iMode)) != 0);
    }
    case EMR_SETPOLYFILLMODE: {
      auto* rec = r.As<EMRSETPOLYFILLMODE>();
      if (!rec) return PlayResult::Malformed;
      return Result(SetPolyFillMode(hdc, int(rec->iMode)) != 0);
    }
    case EMR_SETROP2: {
      auto* rec = r.As<EMRSETROP2>();
      if (!rec) return PlayResult::Malformed;
      return Result(SetROP2(hdc, int(rec->iMode)) != 0);
    }
    case EMR_SETSTRETCHBLTMODE: {
      auto* rec = r.As<EMRSETSTRETCHBLTMODE>();
      if (!rec) return PlayResult::Malformed;
      return Result(SetStretchBltMode(hdc, int(rec->iMode)) != 0);
    }
    case EMR_SETTEXTALIGN: {
      auto* rec = r.As<EMRSETTEXTALIGN>();
      if (!rec) return PlayResult::Malformed;
      return Result(SetTextAlign(hdc, rec->iMode) != GDI_ERROR);
    }
    case EMR_SETTEXTCOLOR:
    case EMR_SETBKCOLOR: {
      auto* rec = r.As<EMRSETTEXTCOLOR>();
      if (!rec) return PlayResult::Malformed;
      COLORREF old = r.Type() == EMR_SETTEXTCOLOR ? SetTextColor(hdc, rec->crColor) : SetBkColor(hdc, rec->crColor);
      return Result(old != CLR_INVALID);
    }
    case EMR_SETMITERLIMIT: {
      auto* rec = r.As<EMRSETMITERLIMIT>();
      if (!rec) return PlayResult::Malformed;
      return Result(SetMiterLimit(hdc, rec->eMiterLimit, nullptr));
    }
    case EMR_SETARCDIRECTION: {
      auto* rec = r.As<EMRSETARCDIRECTION>();
      if (!rec) return PlayResult::Malformed;
      return Result(SetArcDirection(hdc, int(rec->iArcDirection)) != 0);
    }
    case EMR_SETBRUSHORGEX: {
      // The brush origin is in device units of the reference device.
      auto* rec = r.As<EMRSETBRUSHORGEX>();
      if (!rec) return PlayResult::Malformed;
      double x, y;
      c.init.Apply(rec->ptlOrigin.x, rec->ptlOrigin.y, x, y);
      if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 1e9 || std::fabs(y) > 1e9) return PlayResult::Failed;
      return Result(SetBrushOrgEx(hdc, int(std::lround(x)), int(std::lround(y)), nullptr));
    }
    case EMR_MOVETOEX: {
      auto* rec = r.As<EMRMOVETOEX>();
      if (!rec) return PlayResult::Malformed;
      return Result(MoveToEx(hdc, rec->ptl.x, rec->ptl.y, nullptr));
    }
    case EMR_SETMAPPERFLAGS: {
      auto* rec = r.As<EMRSETMAPPERFLAGS>();
      if (!rec) return PlayResult::Malformed;
      return Result(SetMapperFlags(hdc, rec->dwFlags) != GDI_ERROR);
    }
    case EMR_SETTEXTJUSTIFICATION: {
      auto* rec = r.As<EMRSETTEXTJUSTIFICATION>();
      if (!rec) return PlayResult::Malformed;
      return Result(SetTextJustification(hdc, rec->nBreakExtra, rec->nBreakCount));
    }
    case EMR_SETCOLORADJUSTMENT: {
      auto* rec = r.As<EMRSETCOLORADJUSTMENT>();
      if (!rec) return PlayResult::Malformed;
      return Result(SetColorAdjustment(hdc, &rec->ColorAdjustment));
    }
    case EMR_SETLAYOUT:
      // Right-to-left layout mirrors a window's client area; a page has
      // none, and recorded coordinates are already final.
      return r.As<EMRSETLAYOUT>() ? PlayResult::Ok : PlayResult::Malformed;

    // ---- clipping ----
    case EMR_INTERSECTCLIPRECT:
    case EMR_EXCLUDECLIPRECT: {
      auto* rec = r.As<EMRINTERSECTCLIPRECT>();
      if (!rec) return PlayResult::Malformed;
      const RECTL& rc = rec->rclClip;
      int res = r.Type() == EMR_INTERSECTCLIPRECT ? IntersectClipRect(hdc, rc.left, rc.top, rc.right, rc.bottom)
                                                  : ExcludeClipRect(hdc, rc.left, rc.top, rc.right, rc.bottom);
      return Result(res != ERROR);
    }
    case EMR_OFFSETCLIPRGN: {
      auto* rec = r.As<EMROFFSETCLIPRGN>();
      if (!rec) return PlayResult::Malformed;
      return Result(OffsetClipRgn(hdc, rec->ptlOffset.x, rec->ptlOffset.y) != ERROR);
    }
    case EMR_SELECTCLIPPATH: {
      auto* rec = r.As<EMRSELECTCLIPPATH>();
      if (!rec) return PlayResult::Malformed;
      return Result(SelectClipPath(hdc, int(rec->iMode)));
    }
    case EMR_SETMETARGN:
      return Result(SetMetaRgn(hdc) != ERROR);
    case EMR_EXTSELECTCLIPRGN: {
      auto* rec = r.AsAtLeast<EMREXTSELECTCLIPRGN>(offsetof(EMREXTSELECTCLIPRGN, RgnData));
      if (!rec) return PlayResult::Malformed;
      int mode = static_cast<int>(rec->iMode);
      if (mode < RGN_AND || mode > RGN_COPY) return PlayResult::Failed;
      if (rec->cbRgnData == 0) {
        // No region: back to the default clip (only RGN_COPY means that).
        if (mode != RGN_COPY) return PlayResult::Failed;
        return Result(ExtSelectClipRgn(hdc, nullptr, RGN_COPY) != ERROR);
      }
      // The region is in reference-device units: it follows the frame
      // mapping only, not the metafile's logical transforms.
      XFORM x = c.init.ToXform();
      bool malformed = false;
      HRGN rgn = MakeRegion(r, offsetof(EMREXTSELECTCLIPRGN, RgnData), rec->cbRgnData, &x, malformed);
      if (malformed) return PlayResult::Malformed;
      if (!rgn) return PlayResult::Failed;
      int res = ExtSelectClipRgn(hdc, rgn, mode);
      DeleteObject(rgn);
      return Result(res != ERROR);
    }

    // ---- records that leave the picture alone ----
    case EMR_HEADER:
    case EMR_EOF:
    case EMR_GDICOMMENT:  // EMF+ and spool records ride in comments: the EMF records that follow are drawn
    case EMR_SETICMMODE:
    case EMR_CREATECOLORSPACE:
    case EMR_CREATECOLORSPACEW:
    case EMR_SETCOLORSPACE:
    case EMR_DELETECOLORSPACE:
    case EMR_SETICMPROFILEA:
    case EMR_SETICMPROFILEW:
    case EMR_COLORMATCHTOTARGETW:
    case EMR_COLORCORRECTPALETTE:
    case EMR_SETLINKEDUFIS:
    case EMR_FORCEUFIMAPPING:
    case EMR_GLSRECORD:
    case EMR_GLSBOUNDEDRECORD:
    case EMR_PIXELFORMAT:
    case EMR_DRAWESCAPE:
    case EMR_EXTESCAPE:
    case EMR_NAMEDESCAPE:
      return PlayResult::Ok;
    default:
      handled = false;
      return PlayResult::Ok;
  }
}

}  // namespace tw::emf
