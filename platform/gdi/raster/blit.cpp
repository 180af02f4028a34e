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

// Fetches source rows once each (a small cache for sequential access).
class SourceRows {
 public:
  explicit SourceRows(const BlitSource& src) : src_(src) {
    x0_ = std::max(0, src.x);
    x1_ = std::min(src.dib->width, src.x + src.width);
  }
  // Raw pixel values of DIB row y for columns [x0, x1); null when outside.
  const DWORD* Row(int y) {
    if (y < 0 || y >= src_.dib->height || x0_ >= x1_) return nullptr;
    auto it = std::find_if(rows_.begin(), rows_.end(), [y](const Cached& c) { return c.y == y; });
    if (it != rows_.end()) return it->values.data();
    if (rows_.size() >= capacity_) rows_.erase(rows_.begin());
    rows_.push_back({y, std::vector<DWORD>(static_cast<std::size_t>(x1_ - x0_))});
    src_.dib->funcs->getPixels(*src_.dib, y, x0_, x1_ - x0_, rows_.back().values.data());
    return rows_.back().values.data();
  }
  // Keeps at least n rows, so n row pointers taken in a row stay valid.
  void Reserve(std::size_t n) { capacity_ = std::max(capacity_, n); }
  bool Inside(int x) const { return x >= x0_ && x < x1_; }
  int First() const { return x0_; }
  bool Defined(int x, int y) const {
    return !src_.defined || (*src_.defined)[static_cast<std::size_t>(y) * src_.dib->width + x];
  }

 private:
  struct Cached {
    int y;
    std::vector<DWORD> values;
  };
  const BlitSource& src_;
  int x0_, x1_;
  std::size_t capacity_ = 4;
  std::vector<Cached> rows_;
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
  if (params.kind != BlitKind::Rop || ((params.rop >> 16) & 0xFF) != 0xCC || params.mask || src->defined ||
      params.stretchMode != BLACKONWHITE || mirrorX || mirrorY || src->width % dw || src->height % dh ||
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
  if (params.kind != BlitKind::Rop || ((params.rop >> 16) & 0xFF) != 0xCC || params.mask || src->defined ||
      mirrorX || mirrorY || dest.right - dest.left != src->width || dest.bottom - dest.top != src->height)
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
  bool combine = (mode == BLACKONWHITE || mode == WHITEONBLACK || mode == HALFTONE) && (shrinkX || shrinkY) &&
                 !params.mask && !src->defined;
  SourceRows& rows = *run.rows();
  Converter& conv = *run.converter();
  // Combining happens on destination values where their bits mean colour
  // channels (1, 16, 24, 32 bits), else on rgb.
  bool rgbSpace = mode == HALFTONE || (dib.bpp == 4 || dib.bpp == 8);
  std::vector<DWORD> raw, values, acc;
  std::vector<BYTE> skip, maskBits;
  std::vector<long long> sums;
  clipRows(dc, dest, [&](int y, int x0, int x1) {
    int n = x1 - x0;
    long long ry = mirrorY ? dh - 1 - (y - dest.top) : y - dest.top;
    skip.assign(static_cast<std::size_t>(n), 0);
    if (!combine) {
      int sy = src->y + nearestIndex(ry, dh, sh);
      const DWORD* row = rows.Row(sy);
      raw.assign(static_cast<std::size_t>(n), 0);
      if (params.mask) maskBits.assign(static_cast<std::size_t>(n), 0);
      for (int i = 0; i < n; ++i) {
        long long rx2 = mirrorX ? dw - 1 - (x0 + i - dest.left) : x0 + i - dest.left;
        int sx = src->x + nearestIndex(rx2, dw, sw);
        if (!row || !rows.Inside(sx) || !rows.Defined(sx, sy)) {
          skip[static_cast<std::size_t>(i)] = 1;
          continue;
        }
        raw[static_cast<std::size_t>(i)] = row[sx - rows.First()];
        if (params.mask) maskBits[static_cast<std::size_t>(i)] = maskBit(params, sx, sy, *src);
      }
      run.Emit(y, x0, x1, raw.data(), nullptr, skip.data(), params.mask ? maskBits.data() : nullptr);
      return;
    }
    // Shrinking with BLACKONWHITE / WHITEONBLACK (AND / OR of every source
    // pixel a destination pixel covers) or HALFTONE (their average).
    int sy0, sy1;
    if (shrinkY) {
      rangeOf(ry, dh, sh, sy0, sy1);
      // Only rows that exist in the source DIB take part.
      sy0 = std::max(sy0, -src->y);
      sy1 = std::min(sy1, src->dib->height - src->y);
    } else {
      sy0 = nearestIndex(ry, dh, sh);
      sy1 = sy0 + 1;
    }
    values.assign(static_cast<std::size_t>(n), 0);
    std::vector<const DWORD*> rowPtrs;
    rows.Reserve(static_cast<std::size_t>(std::max(0, sy1 - sy0)) + 1);
    for (int sy = sy0; sy < sy1; ++sy) rowPtrs.push_back(rows.Row(src->y + sy));
    for (int i = 0; i < n; ++i) {
      long long rx2 = mirrorX ? dw - 1 - (x0 + i - dest.left) : x0 + i - dest.left;
      int sx0, sx1;
      if (shrinkX) {
        rangeOf(rx2, dw, sw, sx0, sx1);
        sx0 = std::max(sx0, -src->x);
        sx1 = std::min(sx1, src->dib->width - src->x);
      } else {
        sx0 = nearestIndex(rx2, dw, sw);
        sx1 = sx0 + 1;
      }
      bool any = false;
      DWORD result = mode == BLACKONWHITE ? 0xFFFFFFFF : 0;
      long long r = 0, g = 0, b = 0, count = 0;
      for (const DWORD* row : rowPtrs) {
        if (!row) continue;
        for (int sx = sx0; sx < sx1; ++sx) {
          int ax = src->x + sx;
          if (!rows.Inside(ax)) continue;
          DWORD v = row[ax - rows.First()];
          any = true;
          if (mode == HALFTONE) {
            DWORD rgb = conv.ToRgb(v);
            r += (rgb >> 16) & 0xFF;
            g += (rgb >> 8) & 0xFF;
            b += rgb & 0xFF;
            ++count;
          } else {
            DWORD c = rgbSpace ? (conv.ToRgb(v) & 0xFFFFFF) : conv.ToDest(v);
            result = mode == BLACKONWHITE ? (result & c) : (result | c);
          }
        }
      }
      if (!any) {
        skip[static_cast<std::size_t>(i)] = 1;
        continue;
      }
      if (mode == HALFTONE) {
        DWORD rgb = static_cast<DWORD>(((r + count / 2) / count) << 16 | ((g + count / 2) / count) << 8 |
                                       ((b + count / 2) / count));
        values[static_cast<std::size_t>(i)] = conv.RgbToDest(rgb);
      } else {
        values[static_cast<std::size_t>(i)] = rgbSpace ? conv.RgbToDest(result) : result;
      }
    }
    run.Emit(y, x0, x1, nullptr, values.data(), skip.data(), nullptr);
  });
}

void generalBlit(Dc& dc, Dib& dib, const BlitTarget& t, const BlitSource* src, const BlitParams& params) {
  // Inverse map from device points to (u, v) in [0, 1) over the source.
  Matrix toDevice{t.right.x - t.origin.x, t.right.y - t.origin.y, t.down.x - t.origin.x,
                  t.down.y - t.origin.y, t.origin.x, t.origin.y};
  Matrix toSource;
  if (!toDevice.Invert(toSource)) return;
  double xs[4] = {t.origin.x, t.right.x, t.down.x, t.right.x + t.down.x - t.origin.x};
  double ys[4] = {t.origin.y, t.right.y, t.down.y, t.right.y + t.down.y - t.origin.y};
  auto whole = [](double v) { return static_cast<LONG>(std::clamp(v, -1e9, 1e9)); };
  RECT bounds{whole(std::floor(*std::min_element(xs, xs + 4))), whole(std::floor(*std::min_element(ys, ys + 4))),
              whole(std::ceil(*std::max_element(xs, xs + 4))), whole(std::ceil(*std::max_element(ys, ys + 4)))};
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
      const DWORD* row = run.rows()->Row(sy);
      if (!row || !run.rows()->Inside(sx) || !run.rows()->Defined(sx, sy)) {
        skip[static_cast<std::size_t>(i)] = 1;
        continue;
      }
      raw[static_cast<std::size_t>(i)] = row[sx - run.rows()->First()];
      if (params.mask) maskBits[static_cast<std::size_t>(i)] = maskBit(params, sx, sy, *src);
    }
    run.Emit(y, x0, x1, src ? raw.data() : nullptr, src ? nullptr : none.data(), skip.data(),
             params.mask ? maskBits.data() : nullptr);
  });
}

}  // namespace

void Blit(Dc& dc, const BlitTarget& target, const BlitSource* source, const BlitParams& params) {
  Dib* dib = dc.Surface();
  if (!dib) return;
  if (source && (!source->dib || source->width <= 0 || source->height <= 0)) return;
  if (isAxisAligned(target)) {
    axisAlignedBlit(dc, *dib, target, source, params);
  } else {
    generalBlit(dc, *dib, target, source, params);
  }
}

}  // namespace tw::gdi
