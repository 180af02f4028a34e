// Device contexts: state, transforms, clipping, SaveDC / RestoreDC.
#include "dc.h"

#include <algorithm>
#include <cmath>

#include "winerror.h"

namespace tw::gdi {

Dc::Dc(DeviceKind kind, const DeviceCaps& caps) : kind_(kind), caps_(caps) {
  state_.penHandle = StockHandle(BLACK_PEN);
  state_.pen = LookupObjectAs<Pen>(state_.penHandle);
  state_.brushHandle = StockHandle(WHITE_BRUSH);
  state_.brush = LookupObjectAs<Brush>(state_.brushHandle);
  state_.fontHandle = StockHandle(SYSTEM_FONT);
  state_.font = LookupObjectAs<Font>(state_.fontHandle);
  state_.paletteHandle = StockHandle(DEFAULT_PALETTE);
  state_.palette = LookupObjectAs<Palette>(state_.paletteHandle);
  if (kind == DeviceKind::Memory) {
    state_.bitmapHandle = StockBitmapHandle();
    state_.bitmap = LookupObjectAs<Bitmap>(state_.bitmapHandle);
  }
  defaultSurface_.width = defaultSurface_.height = 1;
  defaultSurface_.SetFormat(1);
  defaultSurface_.colors = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  defaultSurface_.top = defaultPixel_;
  defaultSurface_.pitch = 4;
  TransformChanged();
}

Dc::~Dc() = default;

DWORD Dc::Type() const {
  switch (kind_) {
    case DeviceKind::Memory: return OBJ_MEMDC;
    case DeviceKind::Metafile: return OBJ_ENHMETADC;
    default: return OBJ_DC;
  }
}

Matrix Dc::PageTransform() const {
  const DcState& s = state_;
  double sx = 1, sy = 1;
  if (s.mapMode != MM_TEXT && s.windowExt.cx != 0 && s.windowExt.cy != 0) {
    sx = static_cast<double>(s.viewportExt.cx) / s.windowExt.cx;
    sy = static_cast<double>(s.viewportExt.cy) / s.windowExt.cy;
  }
  return Matrix::Translate(-s.windowOrg.x, -s.windowOrg.y)
      .Then(Matrix::Scale(sx, sy))
      .Then(Matrix::Translate(s.viewportOrg.x, s.viewportOrg.y));
}

void Dc::TransformChanged() { toDevice_ = state_.world.Then(PageTransform()); }

bool Dc::DeviceToLogical(Matrix& out) const {
  if (!toDevice_.Invert(out)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

POINT Dc::ToDevice(POINT p) const {
  double x, y;
  toDevice_.Apply(p.x, p.y, x, y);
  return {RoundToDevice(x), RoundToDevice(y)};
}

void Dc::ApplyMapModeExtents() {
  DcState& s = state_;
  // Logical units per device width from the device's exact size.
  auto units = [&](double perMicrometre) {
    s.windowExt = {static_cast<LONG>(std::llround(caps_.widthUm * perMicrometre)),
                   static_cast<LONG>(std::llround(caps_.heightUm * perMicrometre))};
    if (s.windowExt.cx == 0) s.windowExt.cx = 1;
    if (s.windowExt.cy == 0) s.windowExt.cy = 1;
    s.viewportExt = {caps_.horzRes ? caps_.horzRes : 1, -(caps_.vertRes ? caps_.vertRes : 1)};
  };
  switch (s.mapMode) {
    case MM_TEXT:
      s.windowExt = {1, 1};
      s.viewportExt = {1, 1};
      break;
    case MM_LOMETRIC: units(1.0 / 100); break;
    case MM_HIMETRIC: units(1.0 / 10); break;
    case MM_LOENGLISH: units(1.0 / 254); break;
    case MM_HIENGLISH: units(1.0 / 25.4); break;
    case MM_TWIPS: units(1440.0 / 25400); break;
    case MM_ISOTROPIC: units(1.0 / 100); break;
    default: break;  // MM_ANISOTROPIC keeps the extents it had
  }
}

void Dc::FixIsotropic() {
  DcState& s = state_;
  if (s.mapMode != MM_ISOTROPIC || s.windowExt.cx == 0 || s.windowExt.cy == 0 || caps_.horzRes == 0 ||
      caps_.vertRes == 0)
    return;
  // Physical size of one logical unit along each axis; the larger one is
  // brought down to the smaller so that units are square on the device.
  double ux = std::fabs(static_cast<double>(s.viewportExt.cx) * caps_.widthUm / caps_.horzRes / s.windowExt.cx);
  double uy = std::fabs(static_cast<double>(s.viewportExt.cy) * caps_.heightUm / caps_.vertRes / s.windowExt.cy);
  if (ux > uy) {
    LONG v = static_cast<LONG>(std::floor(s.viewportExt.cx * uy / ux + 0.5));
    s.viewportExt.cx = v ? v : (s.viewportExt.cx >= 0 ? 1 : -1);
  } else if (uy > ux) {
    LONG v = static_cast<LONG>(std::floor(s.viewportExt.cy * ux / uy + 0.5));
    s.viewportExt.cy = v ? v : (s.viewportExt.cy >= 0 ? 1 : -1);
  }
}

double Dc::PenWidthDevice() const {
  const Pen* pen = state_.pen.get();
  if (!pen || pen->Style() == PS_NULL) return 0;
  if ((pen->extended && !pen->Geometric()) || pen->width == 0) return 1;
  // The logical width along the x axis, in whole device pixels (at least one).
  double width = std::floor(pen->width * std::hypot(toDevice_.m11, toDevice_.m12) + 0.5);
  return std::max(1.0, width);
}

Dib* Dc::Surface() {
  if (kind_ != DeviceKind::Memory || !state_.bitmap) return nullptr;
  if (state_.bitmapHandle == StockBitmapHandle()) return &defaultSurface_;
  return &state_.bitmap->dib;
}

bool Dc::SurfaceIsMonoDdb() const {
  if (kind_ != DeviceKind::Memory || !state_.bitmap) return false;
  return state_.bitmapHandle == StockBitmapHandle() || state_.bitmap->MonoDdb();
}

bool Dc::SelectBitmap(HGDIOBJ handle, const std::shared_ptr<Bitmap>& bitmap) {
  if (kind_ != DeviceKind::Memory) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  bool stock = handle == StockBitmapHandle();
  if (!stock && !bitmap->Select(this)) {
    SetLastError(ERROR_INVALID_PARAMETER);  // selected into another DC
    return false;
  }
  if (state_.bitmap && state_.bitmap != bitmap && state_.bitmapHandle != StockBitmapHandle())
    state_.bitmap->Deselect(this);
  state_.bitmap = bitmap;
  state_.bitmapHandle = handle;
  ClipChanged();
  return true;
}

RECT Dc::DeviceBounds() {
  if (Dib* surface = Surface()) return {0, 0, surface->width, surface->height};
  return {0, 0, caps_.horzRes, caps_.vertRes};
}

const RegionData& Dc::EffectiveClip() {
  if (!clipValid_) {
    effectiveClip_ = RegionData(DeviceBounds());
    if (state_.meta) effectiveClip_ = RegionData::Combine(effectiveClip_, *state_.meta, RGN_AND);
    if (state_.clip) effectiveClip_ = RegionData::Combine(effectiveClip_, *state_.clip, RGN_AND);
    clipValid_ = true;
  }
  return effectiveClip_;
}

int Dc::Save() {
  saved_.push_back(state_);
  return static_cast<int>(saved_.size());
}

bool Dc::Restore(int level) {
  int count = static_cast<int>(saved_.size());
  int index = level > 0 ? level - 1 : count + level;
  if (level == 0 || index < 0 || index >= count) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  DcState restored = std::move(saved_[static_cast<std::size_t>(index)]);
  saved_.resize(static_cast<std::size_t>(index));
  ApplyRestoredState(std::move(restored));
  return true;
}

void Dc::ApplyRestoredState(DcState&& restored) {
  // The bitmap goes through SelectBitmap so ownership stays consistent; if
  // the saved one is now selected elsewhere the current one stays.
  HGDIOBJ bitmapHandle = restored.bitmapHandle;
  std::shared_ptr<Bitmap> bitmap = restored.bitmap;
  restored.bitmapHandle = state_.bitmapHandle;
  restored.bitmap = state_.bitmap;
  state_ = std::move(restored);
  if (bitmap && bitmap != state_.bitmap) SelectBitmap(bitmapHandle, bitmap);
  TransformChanged();
  ClipChanged();
}

void Dc::Release() {
  if (state_.bitmap && state_.bitmapHandle != StockBitmapHandle()) state_.bitmap->Deselect(this);
  state_.bitmap.reset();
  for (auto& saved : saved_) saved.bitmap.reset();
}

std::shared_ptr<Dc> LookupDc(HDC hdc) { return LookupObjectAs<Dc>(hdc); }

}  // namespace tw::gdi
