#include "render/emf/emf_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "job/devmode/devmode_access.h"

namespace tw::render {
namespace dm = tw::devmode;
namespace {

constexpr LONG kFaxWidth = 1728;
constexpr LONG kNoRecordWidth = 1728;
constexpr LONG kNoRecordHeight = 2200;

// A double as a LONG, truncated toward zero and limited to the LONG range
// (a damaged header must not make the conversion undefined).
LONG TruncToLong(double v) {
  if (!(v == v)) return 0;
  if (v >= static_cast<double>(std::numeric_limits<LONG>::max())) return std::numeric_limits<LONG>::max();
  if (v <= static_cast<double>(std::numeric_limits<LONG>::min())) return std::numeric_limits<LONG>::min();
  return static_cast<LONG>(v);
}

LONG ClampToLong(std::int64_t v) {
  return static_cast<LONG>(std::clamp<std::int64_t>(v, std::numeric_limits<LONG>::min(),
                                                    std::numeric_limits<LONG>::max()));
}

// The micrometres of the reference device: the exact size, or, in headers
// that do not carry it (or carry 0), the millimetres.
double Micrometres(LONG micrometres, LONG millimetres) {
  if (micrometres > 0) return micrometres;
  if (millimetres > 0) return millimetres * 1000.0;
  return 0;
}

bool FineFaxMode(DWORD faxMode) { return faxMode == 0 || faxMode == 1 || faxMode == 4; }

}  // namespace

EmfPageSize EmfPageSizeFromHeader(const ENHMETAHEADER& h) {
  EmfPageSize out;
  double umx = Micrometres(h.szlMicrometers.cx, h.szlMillimeters.cx);
  double umy = Micrometres(h.szlMicrometers.cy, h.szlMillimeters.cy);
  if (umx <= 0 || umy <= 0 || h.szlDevice.cx <= 0 || h.szlDevice.cy <= 0) return out;
  // Pixels per millimetre in single precision, as the page size is defined.
  float px = static_cast<float>(h.szlDevice.cx) / (static_cast<float>(umx) / 1000.0f);
  float py = static_cast<float>(h.szlDevice.cy) / (static_cast<float>(umy) / 1000.0f);
  double frameWidth = static_cast<double>(h.rclFrame.right) - h.rclFrame.left;
  double frameHeight = static_cast<double>(h.rclFrame.bottom) - h.rclFrame.top;
  LONG cx = TruncToLong(static_cast<float>(frameWidth / 100.0) * px + 0.5);
  LONG cy = TruncToLong(static_cast<float>(frameHeight / 100.0) * py + 0.5);
  if (cx <= 0 || cy <= 0) return out;
  out.size = {cx, cy};
  out.pelsPerMeter = TruncToLong(h.szlDevice.cx / (umx / 1000000.0));
  LONG fx = TruncToLong(static_cast<float>(h.rclFrame.left / 100.0) * px + 0.5);
  LONG fy = TruncToLong(static_cast<float>(h.rclFrame.top / 100.0) * py + 0.5);
  auto shift = [](LONG v, LONG by) { return ClampToLong(std::int64_t{v} - by); };
  out.bounds = {shift(h.rclBounds.left, fx), shift(h.rclBounds.top, fy), shift(h.rclBounds.right, fx),
                shift(h.rclBounds.bottom, fy)};
  return out;
}

std::optional<TargetSize> ComputeTargetSize(const TargetSizeInputs& in) {
  if (in.reference.cx <= 0 || in.reference.cy <= 0 || in.xDpi <= 0 || in.yDpi <= 0) return std::nullopt;
  const LONG X = in.xDpi, Y = in.yDpi;
  // Fax output rendered as an image, without Save-As values.
  const bool faxImage = in.faxOutput && !in.vectorFormat && !in.saveAs;
  LONG e = X, d = X;
  if (!in.landscape) {
    if (in.anisotropic) {
      if (!in.vectorFormat) d = Y;
    } else if (faxImage && in.faxMode == 4) {
      e = d = 600;
    } else if (faxImage && in.faxMode != 3) {
      d = Y;
    }
  } else {
    if (in.anisotropic) {
      if (!in.vectorFormat) e = Y;
    } else if (faxImage && in.faxMode != 3) {
      e = Y;
    }
  }
  LONG c = X, b = Y;
  if (in.landscape && in.faxOutput) std::swap(c, b);
  TargetSize out;
  out.widthPixels = TruncToLong(static_cast<double>(c) * in.reference.cx / e);
  out.heightPixels = TruncToLong(static_cast<double>(b) * in.reference.cy / d);
  out.paperWidth = TruncToLong(static_cast<double>(in.reference.cx) / e * 254 + 0.5);
  out.paperLength = TruncToLong(static_cast<double>(in.reference.cy) / d * 254 + 0.5);
  return out;
}

bool ScaledRendering(LONG xDpi, LONG yDpi, bool faxOutput, DWORD faxMode, bool separatorOrCover) {
  bool scale = std::abs(xDpi - yDpi) > 10;
  if (faxOutput) scale = (scale && faxMode == 3) || faxMode == 4;
  return scale || separatorOrCover;
}

LONG BitmapGeometry::XPelsPerMeter() const { return PelsPerMeter(xDpi); }
LONG BitmapGeometry::YPelsPerMeter() const { return PelsPerMeter(yDpi); }
std::uint64_t BitmapGeometry::Stride() const {
  if (width <= 0) return 0;
  return bits == 1 ? (static_cast<std::uint64_t>(width) + 31) / 32 * 4
                   : (3 * static_cast<std::uint64_t>(width) + 3) / 4 * 4;
}

LONG PelsPerMeter(LONG dpi) { return TruncToLong(dpi * 10000 / 254.0 + 0.5); }

WORD RenderBitsFor(const TarnwickDEVMODE* dm) {
  return dm::GetBitsPerPixel(dm) == 1 && (dm ? dm->Dithering : 0) == 0 ? 1 : 24;
}

std::optional<BitmapGeometry> ComputeBitmapGeometry(TarnwickDEVMODE* rec, bool raw) {
  const LONG X = dm::GetXDPI(rec), Y = dm::GetYDPI(rec);
  std::int64_t W = rec ? rec->PaperWidthInPixels : kNoRecordWidth;
  std::int64_t H = rec ? std::int64_t{rec->PaperHeightInPixels} - rec->FaxHeader : kNoRecordHeight;
  LONG xr = X, yr = Y;
  const bool fax = !rec || (rec->Flags & dm::flags::FaxOutput);
  const bool landscape = rec && rec->DM.dmOrientation == 2;
  const DWORD faxMode = dm::GetFaxMode(rec);

  if (rec && (rec->Flags & dm::flags::UserResolution) && !fax) {
    DWORD user = rec->UserFlags;
    switch (static_cast<SHORT>(HIWORD(user))) {
      case -1: user = MAKELONG(100, 100); break;
      case -2: user = MAKELONG(200, 200); break;
      case -3: user = MAKELONG(300, 300); break;
      case -4: user = MAKELONG(600, 600); break;
      case -5: user = MAKELONG(204, 98); break;
      case -6: user = MAKELONG(204, 196); break;
      default: break;
    }
    if (user == 0) user = MAKELONG(X, Y);
    rec->UserFlags = user;
    // A word of 0 would make an empty page: it stands for the record's own resolution.
    LONG lo = LOWORD(user) ? LOWORD(user) : X;
    LONG hi = HIWORD(user) ? HIWORD(user) : Y;
    if (W > 0 && H > 0) {
      W = static_cast<std::int64_t>(static_cast<std::uint64_t>(lo) * static_cast<std::uint64_t>(W) /
                                    static_cast<std::uint64_t>(X));
      H = static_cast<std::int64_t>(static_cast<std::uint64_t>(hi) * static_cast<std::uint64_t>(H) /
                                    static_cast<std::uint64_t>(Y));
    }
    xr = lo;
    yr = hi;
  }
  if (fax) {
    const bool fine = FineFaxMode(faxMode);
    const std::int64_t faxHeader = rec ? rec->FaxHeader : 0;
    if (!landscape) {
      xr = 204;
      yr = fine ? 196 : 98;
      W = kFaxWidth;
      if (raw) H = yr * H / Y - faxHeader;
    } else {
      xr = fine ? 196 : 98;
      yr = 204;
      H = kFaxWidth;
      if (raw) W = xr * W / X - faxHeader;
    }
  }
  BitmapGeometry g;
  if (raw) {
    g.bits = dm::GetBitsPerPixel(rec) == 1 && (rec ? rec->Dithering : 0) != 6 ? 1 : 24;
  } else {
    g.bits = RenderBitsFor(rec);
  }
  if (W <= 0 || H <= 0 || W > std::numeric_limits<LONG>::max() || H > std::numeric_limits<LONG>::max())
    return std::nullopt;
  g.width = static_cast<LONG>(W);
  g.height = static_cast<LONG>(H);
  g.xDpi = xr;
  g.yDpi = yr;
  if (g.ImageBytes() > kMaxPageImageBytes) return std::nullopt;
  return g;
}

BoundsTrim ComputeBoundsTrim(const RECT& bounds, SIZE reference, SIZE target, TrimSides sides) {
  BoundsTrim trim;
  if (BoundsEmpty(bounds) || reference.cx <= 0 || reference.cy <= 0 || target.cx <= 0 || target.cy <= 0)
    return trim;
  // One axis: the inked span [first, last] of a page of `ref` pixels, as
  // margins of that page and of a page of `dst` pixels.
  auto axis = [](LONG first, LONG last, LONG ref, LONG dst, bool cutLow, bool cutHigh, LONG& lowRef, LONG& highRef,
                 LONG& lowDst, LONG& highDst) {
    std::int64_t begin = std::max<std::int64_t>(first, 0);
    std::int64_t end = std::min<std::int64_t>(std::int64_t{last} + 1, ref);
    if (end <= begin) return;  // the ink lies off the page: nothing to trim by
    // Scaled outwards: the first pixel down, the end up.
    std::int64_t dBegin = begin * dst / ref;
    std::int64_t dEnd = std::min<std::int64_t>((end * dst + ref - 1) / ref, dst);
    if (dEnd <= dBegin) dEnd = dBegin + 1;
    if (cutLow) {
      lowRef = static_cast<LONG>(begin);
      lowDst = static_cast<LONG>(dBegin);
    }
    if (cutHigh) {
      highRef = static_cast<LONG>(ref - end);
      highDst = static_cast<LONG>(dst - dEnd);
    }
  };
  axis(bounds.left, bounds.right, reference.cx, target.cx, sides.left, sides.right, trim.reference.left,
       trim.reference.right, trim.target.left, trim.target.right);
  axis(bounds.top, bounds.bottom, reference.cy, target.cy, sides.top, sides.bottom, trim.reference.top,
       trim.reference.bottom, trim.target.top, trim.target.bottom);
  return trim;
}

RECT ComputeCropEdges(LONG width, LONG height, LONG xDpi, LONG yDpi, DWORD mode, DWORD left, DWORD top, DWORD right,
                      DWORD bottom) {
  // The values are read as signed numbers of hundredths of an inch.
  auto pixels = [](LONG dpi, DWORD value) {
    return ClampToLong(std::int64_t{dpi} * static_cast<LONG>(value) / 100);
  };
  RECT r{pixels(xDpi, left), pixels(yDpi, top), pixels(xDpi, right), pixels(yDpi, bottom)};
  if (mode == 0) {
    r.right = ClampToLong(std::int64_t{width} - r.right);
    r.bottom = ClampToLong(std::int64_t{height} - r.bottom);
  }
  return r;
}

}  // namespace tw::render
