// The blit engine: source sampling (stretch modes, mirroring, rotation),
// colour conversion between formats, ROP3, alpha blending, transparency.
#include "blit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "../draw.h"
#include "brush.h"

namespace tw::gdi {
namespace {

// --- ROP3 on rows ---

DWORD ropGeneral(DWORD rop3, DWORD s, DWORD p, DWORD d) {
  // Bit (P*4 + S*2 + D) of the ROP code is the result for those input bits.
  DWORD out = 0;
  for (int m = 0; m < 8; ++m) {
    if (!((rop3 >> m) & 1)) continue;
    DWORD term = ((m & 4) ? p : ~p) & ((m & 2) ? s : ~s) & ((m & 1) ? d : ~d);
    out |= term;
  }
  return out;
}

// D := rop(S, P, D) for n pixels, then masked to the destination's bits.
void applyRop(DWORD rop3, const DWORD* S, const DWORD* P, DWORD* D, int n, DWORD mask) {
  switch (rop3) {
    case 0xCC: for (int i = 0; i < n; ++i) D[i] = S[i] & mask; return;               // SRCCOPY
    case 0xF0: for (int i = 0; i < n; ++i) D[i] = P[i] & mask; return;               // PATCOPY
    case 0x00: for (int i = 0; i < n; ++i) D[i] = 0; return;                         // BLACKNESS
    case 0xFF: for (int i = 0; i < n; ++i) D[i] = mask; return;                      // WHITENESS
    case 0x88: for (int i = 0; i < n; ++i) D[i] = (S[i] & D[i]) & mask; return;      // SRCAND
    case 0xEE: for (int i = 0; i < n; ++i) D[i] = (S[i] | D[i]) & mask; return;      // SRCPAINT
    case 0x66: for (int i = 0; i < n; ++i) D[i] = (S[i] ^ D[i]) & mask; return;      // SRCINVERT
    case 0x44: for (int i = 0; i < n; ++i) D[i] = (S[i] & ~D[i]) & mask; return;     // SRCERASE
    case 0x33: for (int i = 0; i < n; ++i) D[i] = ~S[i] & mask; return;              // NOTSRCCOPY
    case 0x11: for (int i = 0; i < n; ++i) D[i] = ~(S[i] | D[i]) & mask; return;     // NOTSRCERASE
    case 0xC0: for (int i = 0; i < n; ++i) D[i] = (P[i] & S[i]) & mask; return;      // MERGECOPY
    case 0xBB: for (int i = 0; i < n; ++i) D[i] = (~S[i] | D[i]) & mask; return;     // MERGEPAINT
    case 0xFB: for (int i = 0; i < n; ++i) D[i] = (P[i] | ~S[i] | D[i]) & mask; return;  // PATPAINT
    case 0x5A: for (int i = 0; i < n; ++i) D[i] = (P[i] ^ D[i]) & mask; return;      // PATINVERT
    case 0x55: for (int i = 0; i < n; ++i) D[i] = ~D[i] & mask; return;              // DSTINVERT
    case 0xAA: for (int i = 0; i < n; ++i) D[i] &= mask; return;                     // D
    default:
      for (int i = 0; i < n; ++i) D[i] = ropGeneral(rop3, S ? S[i] : 0, P ? P[i] : 0, D[i]) & mask;
      return;
  }
}

// --- colour conversion from the source format to the destination's ---

class Converter {
 public:
  Converter(const BlitSource& src, Dc& dc, const Dib& dst) : src_(*src.dib), dst_(dst) {
    const Dib& s = *src.dib;
    dstMonoDdb_ = dc.SurfaceIsMonoDdb();
    monoToMono_ = src.monoDdb && dstMonoDdb_;
    bkRgb_ = src.bkRgb & 0xFFFFFF;
    if (src.monoDdb) {
      // 0 bits: the destination's text colour, 1 bits: its background.
      rgbLut_ = {ResolveColor(dc, dc.State().textColor), ResolveColor(dc, dc.State().bkColor)};
    } else if (s.bpp <= 8) {
      for (const RGBQUAD& q : s.colors) rgbLut_.push_back(RgbFromQuad(q));
    }
    if (s.bpp <= 8) {
      std::size_t entries = std::size_t{1} << s.bpp;
      rgbLut_.resize(entries, 0);
      for (std::size_t i = 0; i < entries; ++i)
        destLut_.push_back(monoToMono_ ? static_cast<DWORD>(i) : RgbToDest(rgbLut_[i]));
    }
    sameFormat_ = !src.monoDdb && !dstMonoDdb_ && s.bpp == dst.bpp && s.bpp > 8 &&
                  std::equal(s.masks, s.masks + 3, dst.masks);
    srcDirect24_ = s.bpp == 24 || (s.bpp == 32 && s.masks[0] == 0xFF0000 && s.masks[1] == 0xFF00 && s.masks[2] == 0xFF);
    dstDirect_ = !dstMonoDdb_ && (dst.bpp == 24 || (dst.bpp == 32 && dst.masks[0] == 0xFF0000 &&
                                                    dst.masks[1] == 0xFF00 && dst.masks[2] == 0xFF));
  }

  bool SameFormat() const { return sameFormat_; }

  // rgb of a source pixel; 32-bit sources keep their alpha in bits 24..31.
  DWORD ToRgb(DWORD v) const {
    if (src_.bpp <= 8) return rgbLut_[v & ((1u << src_.bpp) - 1)];
    if (srcDirect24_) return src_.bpp == 24 ? (v & 0xFFFFFF) : v;
    return src_.funcs->pixelToRgb(src_, v);
  }

  DWORD RgbToDest(DWORD rgb) {
    rgb &= 0xFFFFFF;
    if (dstMonoDdb_) return rgb == bkRgb_ ? 1 : 0;
    if (dstDirect_) return rgb;
    if (dst_.bpp > 8) return dst_.funcs->rgbToPixel(dst_, rgb);
    std::size_t slot = ((rgb >> 12) ^ (rgb >> 3) ^ rgb) & (cache_.size() - 1);
    if (cache_[slot].first != rgb + 1) cache_[slot] = {rgb + 1, dst_.NearestIndex(rgb)};
    return cache_[slot].second;
  }

  DWORD ToDest(DWORD v) {
    if (src_.bpp <= 8) return destLut_[v & ((1u << src_.bpp) - 1)];
    if (sameFormat_) return v;
    return RgbToDest(ToRgb(v));
  }

 private:
  const Dib& src_;
  const Dib& dst_;
  bool dstMonoDdb_ = false, monoToMono_ = false, sameFormat_ = false, srcDirect24_ = false, dstDirect_ = false;
  DWORD bkRgb_ = 0xFFFFFF;
  std::vector<DWORD> rgbLut_, destLut_;
  std::array<std::pair<DWORD, DWORD>, 4096> cache_{};
};

// Fetches source rows once each (a small cache for sequential access). RLE
// rows are decoded here, one at a time; nothing holds the whole image.
class SourceRows {
 public:
  // Raw pixel values of one DIB row for columns [First(), ...), and which
  // of them are drawn (null: all).
  struct Row {
    const DWORD* values = nullptr;
    const BYTE* drawn = nullptr;
    explicit operator bool() const { return values != nullptr; }
    bool Drawn(int i) const { return !drawn || drawn[i]; }
  };

  explicit SourceRows(const BlitSource& src) : src_(src) {
    x0_ = std::max(0, src.x);
    x1_ = std::min(src.dib->width, src.x + src.width);
  }
  // Reads only columns [x0, x1) of the DIB from now on (what the visible
  // part of the destination samples).
  void Limit(int x0, int x1) {
    x0_ = std::max(x0_, x0);
    x1_ = std::min(x1_, x1);
  }
  Row Get(int y) {
    if (y < 0 || y >= src_.dib->height || x0_ >= x1_) return {};
    auto it = std::find_if(rows_.begin(), rows_.end(), [y](const Cached& c) { return c.y == y; });
    if (it == rows_.end()) {
      // The oldest slot is reused (its buffers too).
      it = rows_.begin() + static_cast<std::ptrdiff_t>(next_);
      next_ = (next_ + 1) % rows_.size();
      std::size_t n = static_cast<std::size_t>(x1_ - x0_);
      it->y = y;
      it->values.resize(n);
      if (src_.rle) {
        it->drawn.resize(n);
        src_.rle->DecodeRow(y, x0_, x1_, it->values.data(), it->drawn.data());
      } else {
        src_.dib->funcs->getPixels(*src_.dib, y, x0_, x1_ - x0_, it->values.data());
      }
    }
    if (src_.drawn)
      return {it->values.data(), src_.drawn->data() + static_cast<std::size_t>(y) * src_.dib->width + x0_};
    // RLE pixels left unset are index 0 and drawn when the source says so.
    bool gaps = src_.rle && !src_.rleUnsetIsZero;
    return {it->values.data(), gaps ? it->drawn.data() : nullptr};
  }
  bool Inside(int x) const { return x >= x0_ && x < x1_; }
  int First() const { return x0_; }

 private:
  struct Cached {
    int y;
    std::vector<DWORD> values;
    std::vector<BYTE> drawn;
  };
  const BlitSource& src_;
  int x0_, x1_;
  std::array<Cached, 4> rows_{{{-1, {}, {}}, {-1, {}, {}}, {-1, {}, {}}, {-1, {}, {}}}};
  std::size_t next_ = 0;
};

// Source index for destination step d of `count` over `srcCount` source
// pixels: nearest (pixel centres) or the range a shrink gathers.
inline int nearestIndex(long long d, long long count, long long srcCount) {
  return static_cast<int>((2 * d + 1) * srcCount / (2 * count));
}
inline void rangeOf(long long d, long long count, long long srcCount, int& first, int& last) {
  first = static_cast<int>(d * srcCount / count);
  last = static_cast<int>((d + 1) * srcCount / count);
  if (last <= first) last = first + 1;
}

// Premultiplied source: dst = src * SCA / 255 + dst * (1 - srcA * SCA / 255^2),
// with a = srcA * SCA / 255 the effective source alpha.
DWORD blendChannel(DWORD s, DWORD d, DWORD sca, DWORD a) {
  DWORD sv = (s * sca + 127) / 255;
  DWORD dv = (d * (255 - a) + 127) / 255;
  return std::min<DWORD>(255, sv + dv);
}

class BlitRun {
 public:
  BlitRun(Dc& dc, Dib& dib, const BlitSource* src, const BlitParams& params)
      : dc_(dc), dib_(dib), src_(src), params_(params) {
    rop3_ = (params.rop >> 16) & 0xFF;
    backRop3_ = (params.rop >> 24) & 0xFF;
    usesPattern_ = RopUsesPattern(params.rop) || (params.mask && RopUsesPattern(params.rop >> 8));
    if (src) {
      converter_.emplace(*src, dc, dib);
      rows_.emplace(*src);
    }
    if (usesPattern_ && dc.State().brush) brush_ = RealizeBrush(dc, dib, *dc.State().brush, false);
    // 32-bit destinations get alpha 0 from every operation except a plain
    // copy of 32-bit pixels.
    writeMask_ = dib.bpp == 32 ? (dib.masks[0] | dib.masks[1] | dib.masks[2]) : dib.ValueMask();
    if (params.kind == BlitKind::Rop && rop3_ == 0xCC && !params.mask && converter_ && converter_->SameFormat())
      writeMask_ = dib.ValueMask();
  }

  // Paints destination row y, pixels [x0, x1), from raw source values
  // (rawSource) or already converted ones (converted), skipping pixels
  // where skip is set. maskBits: 1 foreground, 0 background ROP.
  void Emit(int y, int x0, int x1, const DWORD* raw, const DWORD* converted, const BYTE* skip, const BYTE* maskBits) {
    int n = x1 - x0;
    if (n <= 0) return;
    S_.resize(static_cast<std::size_t>(n));
    D_.resize(static_cast<std::size_t>(n));
    dib_.funcs->getPixels(dib_, y, x0, n, D_.data());
    std::vector<DWORD> before;
    if (skip || maskBits) before = D_;
    switch (params_.kind) {
      case BlitKind::Rop: {
        if (raw)
          for (int i = 0; i < n; ++i) S_[i] = converter_->ToDest(raw[i]);
        const DWORD* S = raw ? S_.data() : converted;
        const DWORD* P = nullptr;
        if (usesPattern_) {
          P_.resize(static_cast<std::size_t>(n));
          if (brush_.null) {
            std::fill(P_.begin(), P_.end(), 0);
          } else {
            brush_.Row(y, x0, n, P_.data());
          }
          P = P_.data();
        }
        if (maskBits) {
          std::vector<DWORD> back = D_;
          applyRop(backRop3_, S, P, back.data(), n, writeMask_);
          applyRop(rop3_, S, P, D_.data(), n, writeMask_);
          for (int i = 0; i < n; ++i)
            if (!maskBits[i]) D_[i] = back[i];
        } else {
          applyRop(rop3_, S, P, D_.data(), n, writeMask_);
        }
        break;
      }
      case BlitKind::Transparent:
        for (int i = 0; i < n; ++i) {
          DWORD rgb = converter_->ToRgb(raw[i]) & 0xFFFFFF;
          if (rgb == params_.transparentRgb) continue;
          D_[i] = converter_->RgbToDest(rgb) & writeMask_;
        }
        break;
      case BlitKind::AlphaBlend: Blend(raw, n); break;
    }
    if (skip || maskBits)
      for (int i = 0; i < n; ++i)
        if ((skip && skip[i]) || (params_.kind != BlitKind::Rop && maskBits && !maskBits[i])) D_[i] = before[i];
    dib_.funcs->putPixels(dib_, y, x0, n, D_.data());
  }

  Converter* converter() { return converter_ ? &*converter_ : nullptr; }
  SourceRows* rows() { return rows_ ? &*rows_ : nullptr; }

 private:
  void Blend(const DWORD* raw, int n) {
    const BLENDFUNCTION& bf = params_.blend;
    DWORD sca = bf.SourceConstantAlpha;
    bool perPixel = bf.AlphaFormat & AC_SRC_ALPHA;
    bool direct = dib_.bpp == 24 || (dib_.bpp == 32 && dib_.masks[0] == 0xFF0000);
    for (int i = 0; i < n; ++i) {
      DWORD s = converter_->ToRgb(raw[i]);
      DWORD d = direct ? D_[i] : dib_.funcs->pixelToRgb(dib_, D_[i]);
      DWORD srcA = perPixel ? (s >> 24) : 255;
      DWORD a = (srcA * sca + 127) / 255;  // effective source alpha
      DWORD r, g, b;
      if (perPixel) {
        r = blendChannel((s >> 16) & 0xFF, (d >> 16) & 0xFF, sca, a);
        g = blendChannel((s >> 8) & 0xFF, (d >> 8) & 0xFF, sca, a);
        b = blendChannel(s & 0xFF, d & 0xFF, sca, a);
      } else {
        auto mix = [&](DWORD sc, DWORD dc2) { return (sc * sca + dc2 * (255 - sca) + 127) / 255; };
        r = mix((s >> 16) & 0xFF, (d >> 16) & 0xFF);
        g = mix((s >> 8) & 0xFF, (d >> 8) & 0xFF);
        b = mix(s & 0xFF, d & 0xFF);
      }
      DWORD rgb = (r << 16) | (g << 8) | b;
      if (dib_.bpp == 32 && dib_.masks[0] == 0xFF0000) {
        DWORD dstA = d >> 24;
        DWORD outA = std::min<DWORD>(255, a + (dstA * (255 - a) + 127) / 255);
        D_[i] = rgb | (outA << 24);
      } else if (dib_.bpp == 24) {
        D_[i] = rgb;
      } else if (dib_.bpp <= 8) {
        // Blended colours take the nearest colour the surface has (on a
        // monochrome page: blend in colour, then threshold).
        D_[i] = dib_.NearestIndex(rgb);
      } else {
        D_[i] = dib_.funcs->rgbToPixel(dib_, rgb);
      }
    }
  }

  Dc& dc_;
  Dib& dib_;
  const BlitSource* src_;
  const BlitParams& params_;
  DWORD rop3_, backRop3_;
  bool usesPattern_;
  DWORD writeMask_;
  std::optional<Converter> converter_;
  std::optional<SourceRows> rows_;
  RealizedBrush brush_;
  std::vector<DWORD> S_, D_, P_;
};

bool isAxisAligned(const BlitTarget& t) { return t.right.y == t.origin.y && t.down.x == t.origin.x; }

void clipRows(Dc& dc, const RECT& bounds, const std::function<void(int, int, int)>& f) {
  RegionData area = dc.EffectiveClip().Intersect(bounds);
  for (const RECT& r : area.Rects())
    for (int y = r.top; y < r.bottom; ++y) f(y, r.left, r.right);
}

// Black and white (entry 0 black, entry 1 white): monochrome bitmaps and
// the usual 1-bit page DIBs.
bool blackAndWhite(const Dib& d, bool monoDdb) {
  if (d.bpp != 1) return false;
  if (monoDdb) return true;
  return d.colors.size() >= 2 && RgbFromQuad(d.colors[0]) == 0 && RgbFromQuad(d.colors[1]) == 0xFFFFFF;
}

// BLACKONWHITE shrinking by whole factors between black-and-white 1-bit
// surfaces (a page rendered at 600 DPI brought to 300): a destination pixel
// is the AND of its source block, worked out on whole bytes of rows.
bool monoShrink(Dc& dc, Dib& dib, const RECT& dest, bool mirrorX, bool mirrorY, const BlitSource* src,
                const BlitParams& params) {
  const Dib& s = *src->dib;
  long long dw = dest.right - dest.left, dh = dest.bottom - dest.top;
  if (params.kind != BlitKind::Rop || ((params.rop >> 16) & 0xFF) != 0xCC || params.mask || src->rle ||
      src->drawn || params.stretchMode != BLACKONWHITE || mirrorX || mirrorY || src->width % dw || src->height % dh ||
      src->x < 0 || src->y < 0 || src->x + src->width > s.width || src->y + src->height > s.height ||
      !blackAndWhite(s, src->monoDdb) || !blackAndWhite(dib, dc.SurfaceIsMonoDdb()))
    return false;
  int fx = static_cast<int>(src->width / dw), fy = static_cast<int>(src->height / dh);
  if (fx < 1 || fy < 1 || (fx == 1 && fy == 1)) return false;
  std::vector<BYTE> acc(s.Stride());
  std::vector<DWORD> out;
  clipRows(dc, dest, [&](int y, int x0, int x1) {
    // AND the source rows of this destination row.
    int sy = src->y + (y - dest.top) * fy;
    std::memcpy(acc.data(), s.Row(sy), acc.size());
    for (int k = 1; k < fy; ++k) {
      const BYTE* row = s.Row(sy + k);
      for (std::size_t i = 0; i < acc.size(); ++i) acc[i] &= row[i];
    }
    out.resize(static_cast<std::size_t>(x1 - x0));
    for (int x = x0; x < x1; ++x) {
      int sx = src->x + (x - dest.left) * fx;
      DWORD bit = 1;
      for (int k = 0; k < fx && bit; ++k) bit &= (acc[static_cast<std::size_t>((sx + k) >> 3)] >> (7 - ((sx + k) & 7))) & 1;
      out[static_cast<std::size_t>(x - x0)] = bit;
    }
    dib.funcs->putPixels(dib, y, x0, x1 - x0, out.data());
  });
  return true;
}

// A ROP without source over a solid brush (PatBlt with a solid brush,
// BLACKNESS, WHITENESS, DSTINVERT): per bit of the brush value the
// operation on the destination is 0, 1, D or ~D, so whole spans go through
// the surface's and/xor fill.
bool solidPatternFill(Dc& dc, Dib& dib, const RECT& dest, const BlitParams& params) {
  if (params.kind != BlitKind::Rop || params.mask) return false;
  DWORD rop3 = (params.rop >> 16) & 0xFF;
  DWORD pattern = 0;
  if (RopUsesPattern(params.rop)) {
    if (!dc.State().brush) return false;
    RealizedBrush brush = RealizeBrush(dc, dib, *dc.State().brush, false);
    if (brush.null || !brush.solid) return false;
    pattern = brush.value;
  }
  DWORD mask = dib.ValueMask(), andMask = 0, xorMask = 0;
  for (DWORD p : {0u, 1u}) {
    // Result bits for this brush bit with D = 0 and D = 1 (S irrelevant).
    DWORD r0 = (rop3 >> (p * 4)) & 1, r1 = (rop3 >> (p * 4 + 1)) & 1;
    DWORD bits = p ? pattern : ~pattern;
    if (r0 ^ r1) andMask |= bits;
    if (r0) xorMask |= bits;
  }
  andMask &= mask;
  xorMask &= mask;
  clipRows(dc, dest, [&](int y, int x0, int x1) { dib.funcs->solidSpan(dib, y, x0, x1, andMask, xorMask); });
  return true;
}

// SRCCOPY 1:1 between surfaces of one format (a band or an image copied
// unscaled): rows are copied as they are.
bool sameFormatCopy(Dc& dc, Dib& dib, const RECT& dest, bool mirrorX, bool mirrorY, const BlitSource* src,
                    const BlitParams& params) {
  if (params.kind != BlitKind::Rop || ((params.rop >> 16) & 0xFF) != 0xCC || params.mask || src->rle ||
      src->drawn || mirrorX || mirrorY || dest.right - dest.left != src->width || dest.bottom - dest.top != src->height)
    return false;
  const Dib& s = *src->dib;
  bool monoBoth = src->monoDdb && dc.SurfaceIsMonoDdb();
  bool same = s.bpp == dib.bpp && (monoBoth || (!src->monoDdb && !dc.SurfaceIsMonoDdb() &&
                                                (s.bpp > 8 ? std::equal(s.masks, s.masks + 3, dib.masks)
                                                           : s.colors.size() == dib.colors.size() &&
                                                                 std::memcmp(s.colors.data(), dib.colors.data(),
                                                                             s.colors.size() * sizeof(RGBQUAD)) == 0)));
  if (!same) return false;
  std::vector<DWORD> row;
  clipRows(dc, dest, [&](int y, int x0, int x1) {
    int sy = src->y + (y - dest.top);
    int sx0 = src->x + (x0 - dest.left);
    // Only the part that exists in the source is copied.
    int lo = std::max(sx0, 0), hi = std::min(sx0 + (x1 - x0), s.width);
    if (sy < 0 || sy >= s.height || lo >= hi) return;
    int dx = x0 + (lo - sx0), n = hi - lo;
    if (s.bpp >= 8) {
      std::size_t bytes = static_cast<std::size_t>(s.bpp / 8);
      std::memmove(dib.Row(y) + dx * bytes, s.Row(sy) + lo * bytes, n * bytes);
    } else {
      row.resize(static_cast<std::size_t>(n));
      s.funcs->getPixels(s, sy, lo, n, row.data());
      dib.funcs->putPixels(dib, y, dx, n, row.data());
    }
  });
  return true;
}


// Rows of the mask bitmap read as 0/1 per source pixel.
BYTE maskBit(const BlitParams& p, int sx, int sy, const BlitSource& src) {
  int mx = p.maskX + (sx - src.x), my = p.maskY + (sy - src.y);
  if (mx < 0 || my < 0 || mx >= p.mask->width || my >= p.mask->height) return 0;
  DWORD v;
  p.mask->funcs->getPixels(*p.mask, my, mx, 1, &v);
  return v ? 1 : 0;
}

void axisAlignedBlit(Dc& dc, Dib& dib, const BlitTarget& t, const BlitSource* src, const BlitParams& params) {
  int ox = RoundToDevice(t.origin.x), oy = RoundToDevice(t.origin.y);
  int rx = RoundToDevice(t.right.x), dy = RoundToDevice(t.down.y);
  bool mirrorX = rx < ox, mirrorY = dy < oy;
  RECT dest{std::min(ox, rx), std::min(oy, dy), std::max(ox, rx), std::max(oy, dy)};
  long long dw = dest.right - dest.left, dh = dest.bottom - dest.top;
  if (dw <= 0 || dh <= 0) return;
  if (!src && solidPatternFill(dc, dib, dest, params)) return;
  if (src && sameFormatCopy(dc, dib, dest, mirrorX, mirrorY, src, params)) return;
  if (src && monoShrink(dc, dib, dest, mirrorX, mirrorY, src, params)) return;
  BlitRun run(dc, dib, src, params);
  if (!src) {
    std::vector<DWORD> none;
    clipRows(dc, dest, [&](int y, int x0, int x1) {
      none.assign(static_cast<std::size_t>(x1 - x0), 0);
      run.Emit(y, x0, x1, nullptr, none.data(), nullptr, nullptr);
    });
    return;
  }
  long long sw = src->width, sh = src->height;
  bool shrinkX = sw > dw, shrinkY = sh > dh;
  int mode = params.kind == BlitKind::Rop ? params.stretchMode : COLORONCOLOR;
  // RLE sources are sampled, never combined: folding every pixel of a few
  // runs that stand for millions of them would cost what decoding them
  // whole saves.
  bool combine = (mode == BLACKONWHITE || mode == WHITEONBLACK || mode == HALFTONE) && (shrinkX || shrinkY) &&
                 !params.mask && !src->HasGaps() && !src->rle;
  SourceRows& rows = *run.rows();
  Converter& conv = *run.converter();
  // Source columns [first, last) that destination column x reads.
  auto columns = [&](int x, int& first, int& last) {
    long long rx = mirrorX ? dw - 1 - (x - dest.left) : x - dest.left;
    if (combine && shrinkX) {
      rangeOf(rx, dw, sw, first, last);
    } else {
      first = nearestIndex(rx, dw, sw);
      last = first + 1;
    }
    first += src->x;
    last += src->x;
  };
  {
    // Only the columns the visible part of the destination reads are
    // fetched (the mapping is monotonic, so its ends bound it).
    RECT visible = dc.EffectiveClip().Intersect(dest).Bounds();
    if (visible.right <= visible.left) return;
    int a0, a1, b0, b1;
    columns(visible.left, a0, a1);
    columns(visible.right - 1, b0, b1);
    rows.Limit(std::min(a0, b0), std::max(a1, b1));
  }
  // Combining happens on destination values where their bits mean colour
  // channels (1, 16, 24, 32 bits), else on rgb.
  bool rgbSpace = mode == HALFTONE || (dib.bpp == 4 || dib.bpp == 8);
  std::vector<DWORD> raw, values;
  std::vector<BYTE> skip, maskBits;
  std::vector<int> firsts, lasts;
  std::vector<DWORD> folded;
  std::vector<long long> sums;
  clipRows(dc, dest, [&](int y, int x0, int x1) {
    int n = x1 - x0;
    long long ry = mirrorY ? dh - 1 - (y - dest.top) : y - dest.top;
    skip.assign(static_cast<std::size_t>(n), 0);
    if (!combine) {
      int sy = src->y + nearestIndex(ry, dh, sh);
      SourceRows::Row row = rows.Get(sy);
      raw.assign(static_cast<std::size_t>(n), 0);
      if (params.mask) maskBits.assign(static_cast<std::size_t>(n), 0);
      for (int i = 0; i < n; ++i) {
        int sx, unused;
        columns(x0 + i, sx, unused);
        if (!row || !rows.Inside(sx) || !row.Drawn(sx - rows.First())) {
          skip[static_cast<std::size_t>(i)] = 1;
          continue;
        }
        raw[static_cast<std::size_t>(i)] = row.values[sx - rows.First()];
        if (params.mask) maskBits[static_cast<std::size_t>(i)] = maskBit(params, sx, sy, *src);
      }
      run.Emit(y, x0, x1, raw.data(), nullptr, skip.data(), params.mask ? maskBits.data() : nullptr);
      return;
    }
    // Shrinking with BLACKONWHITE / WHITEONBLACK (AND / OR of every source
    // pixel a destination pixel covers) or HALFTONE (their average), folded
    // in one source row at a time.
    int sy0, sy1;
    if (shrinkY) {
      rangeOf(ry, dh, sh, sy0, sy1);
    } else {
      sy0 = nearestIndex(ry, dh, sh);
      sy1 = sy0 + 1;
    }
    firsts.resize(static_cast<std::size_t>(n));
    lasts.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) columns(x0 + i, firsts[static_cast<std::size_t>(i)], lasts[static_cast<std::size_t>(i)]);
    folded.assign(static_cast<std::size_t>(n), mode == BLACKONWHITE ? 0xFFFFFFFF : 0);
    sums.assign(static_cast<std::size_t>(n) * 4, 0);  // r, g, b, count (HALFTONE)
    std::fill(skip.begin(), skip.end(), 1);           // until a source pixel is found
    for (int sy = std::max(sy0, -src->y); sy < std::min(sy1, src->dib->height - src->y); ++sy) {
      SourceRows::Row row = rows.Get(src->y + sy);
      if (!row) continue;
      for (int i = 0; i < n; ++i) {
        std::size_t k = static_cast<std::size_t>(i);
        for (int sx = firsts[k]; sx < lasts[k]; ++sx) {
          if (!rows.Inside(sx)) continue;
          DWORD v = row.values[sx - rows.First()];
          skip[k] = 0;
          if (mode == HALFTONE) {
            DWORD rgb = conv.ToRgb(v);
            sums[k * 4] += (rgb >> 16) & 0xFF;
            sums[k * 4 + 1] += (rgb >> 8) & 0xFF;
            sums[k * 4 + 2] += rgb & 0xFF;
            ++sums[k * 4 + 3];
          } else {
            DWORD c = rgbSpace ? (conv.ToRgb(v) & 0xFFFFFF) : conv.ToDest(v);
            folded[k] = mode == BLACKONWHITE ? (folded[k] & c) : (folded[k] | c);
          }
        }
      }
    }
    values.assign(static_cast<std::size_t>(n), 0);
    for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
      if (skip[k]) continue;
      if (mode == HALFTONE) {
        long long count = sums[k * 4 + 3];
        auto average = [&](int c) { return static_cast<DWORD>((sums[k * 4 + c] + count / 2) / count); };
        values[k] = conv.RgbToDest(average(0) << 16 | average(1) << 8 | average(2));
      } else {
        values[k] = rgbSpace ? conv.RgbToDest(folded[k]) : folded[k];
      }
    }
    run.Emit(y, x0, x1, nullptr, values.data(), skip.data(), nullptr);
  });
}

// A general target as a map from (u, v) in [0, 1)^2 over the source to the
// device, and the device box it covers.
Matrix sourceToDevice(const BlitTarget& t) {
  return {t.right.x - t.origin.x, t.right.y - t.origin.y, t.down.x - t.origin.x,
          t.down.y - t.origin.y, t.origin.x, t.origin.y};
}
RECT targetBounds(const BlitTarget& t) {
  double xs[4] = {t.origin.x, t.right.x, t.down.x, t.right.x + t.down.x - t.origin.x};
  double ys[4] = {t.origin.y, t.right.y, t.down.y, t.right.y + t.down.y - t.origin.y};
  auto whole = [](double v) { return static_cast<LONG>(std::clamp(v, -1e9, 1e9)); };
  return {whole(std::floor(*std::min_element(xs, xs + 4))), whole(std::floor(*std::min_element(ys, ys + 4))),
          whole(std::ceil(*std::max_element(xs, xs + 4))), whole(std::ceil(*std::max_element(ys, ys + 4)))};
}

void generalBlit(Dc& dc, Dib& dib, const BlitTarget& t, const BlitSource* src, const BlitParams& params) {
  // Inverse map from device points to (u, v) in [0, 1) over the source.
  Matrix toSource;
  if (!sourceToDevice(t).Invert(toSource)) return;
  RECT bounds = targetBounds(t);
  BlitRun run(dc, dib, src, params);
  std::vector<DWORD> raw, none;
  std::vector<BYTE> skip, maskBits;
  clipRows(dc, bounds, [&](int y, int x0, int x1) {
    int n = x1 - x0;
    raw.assign(static_cast<std::size_t>(n), 0);
    none.assign(static_cast<std::size_t>(n), 0);
    skip.assign(static_cast<std::size_t>(n), 0);
    maskBits.assign(static_cast<std::size_t>(n), 1);
    for (int i = 0; i < n; ++i) {
      double u, v;
      toSource.Apply(x0 + i + 0.5, y + 0.5, u, v);
      if (!(u >= 0 && u < 1 && v >= 0 && v < 1)) {
        skip[static_cast<std::size_t>(i)] = 1;
        continue;
      }
      if (!src) continue;
      int sx = src->x + std::min(src->width - 1, static_cast<int>(u * src->width));
      int sy = src->y + std::min(src->height - 1, static_cast<int>(v * src->height));
      SourceRows& rows = *run.rows();
      SourceRows::Row row = rows.Get(sy);
      if (!row || !rows.Inside(sx) || !row.Drawn(sx - rows.First())) {
        skip[static_cast<std::size_t>(i)] = 1;
        continue;
      }
      raw[static_cast<std::size_t>(i)] = row.values[sx - rows.First()];
      if (params.mask) maskBits[static_cast<std::size_t>(i)] = maskBit(params, sx, sy, *src);
    }
    run.Emit(y, x0, x1, src ? raw.data() : nullptr, src ? nullptr : none.data(), skip.data(),
             params.mask ? maskBits.data() : nullptr);
  });
}

// A turned or sheared blit of an RLE source, whose pixels the destination
// samples in no row order: the part of the source the visible destination
// can reach is decoded once, row by row, at no finer a resolution than the
// destination's (one sample per cell of f x f pixels), into a plain image
// with a mask of the pixels drawn, which is then blitted.
void generalRleBlit(Dc& dc, Dib& dib, const BlitTarget& t, const BlitSource& src, const BlitParams& params) {
  Matrix toDevice = sourceToDevice(t), toSource;
  if (!toDevice.Invert(toSource)) return;
  RECT box = dc.EffectiveClip().Intersect(targetBounds(t)).Bounds();
  if (box.right <= box.left || box.bottom <= box.top) return;
  // The source pixels the box's corners map to bound what it samples.
  double u0 = 1e18, u1 = -1e18, v0 = 1e18, v1 = -1e18;
  for (double x : {double(box.left), double(box.right)})
    for (double y : {double(box.top), double(box.bottom)}) {
      double u, v;
      toSource.Apply(x, y, u, v);
      u0 = std::min(u0, u), u1 = std::max(u1, u), v0 = std::min(v0, v), v1 = std::max(v1, v);
    }
  auto pixel = [](double f, int extent, int offset, int limit) {
    return std::clamp(offset + static_cast<int>(std::floor(std::clamp(f, 0.0, 1.0) * extent)), 0, limit);
  };
  int rx0 = std::max(pixel(u0, src.width, src.x, src.dib->width), src.x);
  int rx1 = std::min(pixel(u1, src.width, src.x, src.dib->width) + 1, std::min(src.x + src.width, src.dib->width));
  int ry0 = std::max(pixel(v0, src.height, src.y, src.dib->height), src.y);
  int ry1 = std::min(pixel(v1, src.height, src.y, src.dib->height) + 1, std::min(src.y + src.height, src.dib->height));
  if (rx1 <= rx0 || ry1 <= ry0) return;
  long long rw = rx1 - rx0, rh = ry1 - ry0;
  double budget = std::max(1.0, double(box.right - box.left) * double(box.bottom - box.top));
  int f = std::max(1, static_cast<int>(std::ceil(std::sqrt(double(rw) * double(rh) / budget))));
  int sw = static_cast<int>((rw + f - 1) / f), sh = static_cast<int>((rh + f - 1) / f);

  Dib sampled = *src.dib;
  std::vector<BYTE> pixels(Dib::StrideFor(sw, 8) * static_cast<std::size_t>(sh));
  std::vector<BYTE> drawn(static_cast<std::size_t>(sw) * sh, 1);
  sampled.width = sw;
  sampled.height = sh;
  sampled.top = pixels.data();
  sampled.pitch = static_cast<std::ptrdiff_t>(Dib::StrideFor(sw, 8));
  std::vector<DWORD> values(static_cast<std::size_t>(rw)), row(static_cast<std::size_t>(sw));
  std::vector<BYTE> set(static_cast<std::size_t>(rw));
  for (int j = 0; j < sh; ++j) {
    int sy = std::min(ry0 + j * f + f / 2, ry1 - 1);
    src.rle->DecodeRow(sy, rx0, rx1, values.data(), set.data());
    for (int i = 0; i < sw; ++i) {
      std::size_t k = static_cast<std::size_t>(std::min(i * f + f / 2, static_cast<int>(rw) - 1));
      row[static_cast<std::size_t>(i)] = values[k];
      if (!src.rleUnsetIsZero) drawn[static_cast<std::size_t>(j) * sw + i] = set[k];
    }
    sampled.funcs->putPixels(sampled, j, 0, sw, row.data());
  }
  // The part of the target the decoded rectangle covers.
  auto at = [&](double u, double v) {
    double x, y;
    toDevice.Apply(u, v, x, y);
    return PointF{x, y};
  };
  double a0 = double(rx0 - src.x) / src.width, a1 = double(rx1 - src.x) / src.width;
  double b0 = double(ry0 - src.y) / src.height, b1 = double(ry1 - src.y) / src.height;
  BlitTarget part{at(a0, b0), at(a1, b0), at(a0, b1)};
  BlitSource plain = src;
  plain.rle = nullptr;
  plain.dib = &sampled;
  plain.drawn = src.rleUnsetIsZero ? nullptr : &drawn;
  plain.x = plain.y = 0;
  plain.width = sw;
  plain.height = sh;
  generalBlit(dc, dib, part, &plain, params);
}

}  // namespace

void Blit(Dc& dc, const BlitTarget& target, const BlitSource* source, const BlitParams& params) {
  Dib* dib = dc.Surface();
  if (!dib) return;
  if (source && (!source->dib || source->width <= 0 || source->height <= 0)) return;
  if (isAxisAligned(target)) {
    axisAlignedBlit(dc, *dib, target, source, params);
  } else if (source && source->rle) {
    generalRleBlit(dc, *dib, target, *source, params);
  } else {
    generalBlit(dc, *dib, target, source, params);
  }
}

}  // namespace tw::gdi
