// Painting spans with colours and brushes under ROP2, clipped.
#include <algorithm>

#include "../dibinfo.h"
#include "../draw.h"
#include "brush.h"

namespace tw::gdi {
namespace {

// 8x8 hatch patterns, one byte per row, most significant bit leftmost.
constexpr BYTE kHatches[6][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00},  // HS_HORIZONTAL
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // HS_VERTICAL
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // HS_FDIAGONAL
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // HS_BDIAGONAL
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08},  // HS_CROSS
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // HS_DIAGCROSS
};

int floorMod(int a, int m) {
  int r = a % m;
  return r < 0 ? r + m : r;
}

}  // namespace

DWORD ResolveColor(Dc& dc, COLORREF color) {
  if ((color >> 24) == 0x01) {  // PALETTEINDEX: an entry of the selected palette
    auto entries = dc.State().palette ? dc.State().palette->Entries() : std::vector<PALETTEENTRY>();
    WORD index = static_cast<WORD>(color & 0xFFFF);
    if (index >= entries.size()) return 0;
    const PALETTEENTRY& e = entries[index];
    return (static_cast<DWORD>(e.peRed) << 16) | (static_cast<DWORD>(e.peGreen) << 8) | e.peBlue;
  }
  return RgbFromColorref(color & 0x00FFFFFF);
}

void SpanPainter::Setup(Dc& dc, Dib& dib, const RegionData* clip) {
  dib_ = &dib;
  clip_ = clip ? clip : &dc.EffectiveClip();
  rop2_ = dc.State().rop2;
  writeMask_ = dib.bpp == 32 ? (dib.masks[0] | dib.masks[1] | dib.masks[2]) : dib.ValueMask();
}

SpanPainter::SpanPainter(Dc& dc, Dib& dib, COLORREF color, const RegionData* clip) {
  Setup(dc, dib, clip);
  pixel_ = dib.funcs->rgbToPixel(dib, ResolveColor(dc, color));
  Rop2Masks(rop2_, pixel_, dib.ValueMask(), and_, xor_);
}

RealizedBrush RealizeBrush(Dc& dc, const Dib& dib, const Brush& brush, bool honourBkMode) {
  RealizedBrush out;
  const DcState& s = dc.State();
  auto toPixel = [&](DWORD rgb) { return dib.funcs->rgbToPixel(dib, rgb); };
  out.origin = s.brushOrg;
  switch (brush.style) {
    case BS_NULL: out.null = true; return out;
    case BS_SOLID: out.value = toPixel(ResolveColor(dc, brush.dcBrush ? s.dcBrushColor : brush.color)); return out;
    case BS_HATCHED: {
      out.solid = false;
      out.width = out.height = 8;
      DWORD fore = toPixel(ResolveColor(dc, brush.color)), back = toPixel(ResolveColor(dc, s.bkColor));
      bool opaque = !honourBkMode || s.bkMode == OPAQUE;
      const BYTE* bits = kHatches[brush.hatch <= HS_DIAGCROSS ? brush.hatch : 0];
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          bool set = (bits[y] >> (7 - x)) & 1;
          out.values.push_back(set ? fore : back);
          out.drawn.push_back(set || opaque ? 1 : 0);
        }
      return out;
    }
    default: break;
  }
  if (!brush.pattern || brush.pattern->dib.width <= 0 || brush.pattern->dib.height <= 0) {
    out.null = true;
    return out;
  }
  out.solid = false;
  const Dib& p = brush.pattern->dib;
  out.width = p.width;
  out.height = p.height;
  // Patterns made from monochrome bitmaps take the text colour for 0 bits
  // and the background colour for 1 bits.
  DWORD text = toPixel(ResolveColor(dc, s.textColor)), back = toPixel(ResolveColor(dc, s.bkColor));
  std::vector<DWORD> src(static_cast<std::size_t>(p.width));
  std::vector<DWORD> lut;
  if (p.bpp <= 8 && !brush.pattern->mono)
    for (const RGBQUAD& q : p.colors) lut.push_back(toPixel(RgbFromQuad(q)));
  for (int y = 0; y < p.height; ++y) {
    p.funcs->getPixels(p, y, 0, p.width, src.data());
    for (int x = 0; x < p.width; ++x) {
      DWORD v = src[static_cast<std::size_t>(x)];
      DWORD value;
      if (brush.pattern->mono) {
        value = (v & 1) ? back : text;
      } else if (p.bpp <= 8) {
        value = v < lut.size() ? lut[v] : toPixel(0);
      } else {
        value = toPixel(p.funcs->pixelToRgb(p, v) & 0xFFFFFF);
      }
      out.values.push_back(value);
      out.drawn.push_back(1);
    }
  }
  return out;
}

void RealizedBrush::Row(int y, int x, int n, DWORD* out) const {
  if (solid) {
    std::fill(out, out + n, value);
    return;
  }
  const DWORD* row = values.data() + static_cast<std::size_t>(floorMod(y - origin.y, height)) * width;
  int px = floorMod(x - origin.x, width);
  for (int i = 0; i < n; ++i) {
    out[i] = row[px];
    if (++px == width) px = 0;
  }
}

const BYTE* RealizedBrush::DrawnRow(int y) const {
  return drawn.data() + static_cast<std::size_t>(floorMod(y - origin.y, height)) * width;
}

SpanPainter::SpanPainter(Dc& dc, Dib& dib, const Brush& brush, const RegionData* clip) {
  Setup(dc, dib, clip);
  RealizedBrush realized = RealizeBrush(dc, dib, brush, true);
  if (realized.null) {
    active_ = false;
    return;
  }
  if (realized.solid) {
    pixel_ = realized.value;
    Rop2Masks(rop2_, pixel_, dib.ValueMask(), and_, xor_);
    return;
  }
  solid_ = false;
  patternWidth_ = realized.width;
  patternHeight_ = realized.height;
  pattern_ = std::move(realized.values);
  patternDrawn_ = std::move(realized.drawn);
  origin_ = realized.origin;
}

void SpanPainter::SetRop2(int rop2) {
  rop2_ = rop2;
  if (solid_) Rop2Masks(rop2_, pixel_, dib_->ValueMask(), and_, xor_);
}

void SpanPainter::Fill(int y, int x0, int x1) {
  if (!active_ || x0 >= x1 || y < 0 || y >= dib_->height) return;
  x0 = std::max(x0, 0);
  x1 = std::min(x1, dib_->width);
  if (x0 >= x1) return;
  const auto& rects = clip_->Rects();
  if (rects.size() == 1) {  // the usual case: one clip rectangle
    const RECT& r = rects.front();
    if (y < r.top || y >= r.bottom) return;
    int lo = std::max<int>(x0, r.left), hi = std::min<int>(x1, r.right);
    if (lo < hi) Paint(y, lo, hi);
    return;
  }
  clip_->ForEachInRow(y, [&](int c0, int c1) {
    int lo = std::max(x0, c0), hi = std::min(x1, c1);
    if (lo < hi) Paint(y, lo, hi);
  });
}

void SpanPainter::FillRegion(const RegionData& region) {
  for (const RECT& r : region.Rects())
    for (int y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, dib_->height); ++y) Fill(y, r.left, r.right);
}

void SpanPainter::Paint(int y, int x0, int x1) {
  if (solid_) {
    dib_->funcs->solidSpan(*dib_, y, x0, x1, and_, xor_);
    return;
  }
  // Per-pixel pattern value: the ROP2 truth table applied bit-wise.
  unsigned table = static_cast<unsigned>(rop2_ - 1) & 0xF;
  DWORD mask = dib_->ValueMask();
  auto bitmask = [&](unsigned bit) { return ((table >> bit) & 1) ? mask : 0u; };
  DWORD r00 = bitmask(0), r01 = bitmask(1), r10 = bitmask(2), r11 = bitmask(3);  // r{P}{D}
  int n = x1 - x0;
  row_.resize(static_cast<std::size_t>(n));
  dib_->funcs->getPixels(*dib_, y, x0, n, row_.data());
  int py = floorMod(y - origin_.y, patternHeight_);
  const DWORD* pat = pattern_.data() + static_cast<std::size_t>(py) * patternWidth_;
  const BYTE* drawn = patternDrawn_.data() + static_cast<std::size_t>(py) * patternWidth_;
  int px = floorMod(x0 - origin_.x, patternWidth_);
  for (int i = 0; i < n; ++i) {
    if (drawn[px]) {
      DWORD p = pat[px], d = row_[static_cast<std::size_t>(i)];
      DWORD result = (p & d & r11) | (p & ~d & r10) | (~p & d & r01) | (~p & ~d & r00);
      row_[static_cast<std::size_t>(i)] = result & writeMask_;
    }
    if (++px == patternWidth_) px = 0;
  }
  dib_->funcs->putPixels(*dib_, y, x0, n, row_.data());
}

}  // namespace tw::gdi
