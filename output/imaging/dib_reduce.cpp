// Colour reductions: 8-bit grey, one bit by a fixed threshold, and Stucki
// error diffusion to one bit or to a fixed 256-colour table.
#include <cstring>
#include <vector>

#include "output/imaging/dib_access.h"
#include "output/imaging/dib_ops.h"

namespace tw::imaging {
namespace {

// (b + g + r) / 3 for sums up to 765 without a division.
inline BYTE Third(unsigned sum) { return static_cast<BYTE>((sum * 0xAAABu) >> 17); }

LONG SignedHeight(const Layout& l) { return l.topDown ? -l.height : l.height; }

void GreyRamp(RGBQUAD* table) {
  for (unsigned i = 0; i < 256; ++i) table[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
}

HGLOBAL GreyFromOneBit(const SourceDib& src) {
  const Layout& l = src.layout();
  TargetDib out(src.Header(), l.width, SignedHeight(l), 8, 256);
  if (!out.ok()) return nullptr;
  GreyRamp(out.Table());
  // A clear bit is entry 0, a set bit entry 1, each made grey; a table too
  // short for an entry leaves it black (0) or white (1).
  BYTE grey[2] = {0, 255};
  std::span<const RGBQUAD> table = src.Table();
  for (std::size_t i = 0; i < table.size() && i < 2; ++i) grey[i] = GreyOf(table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed);
  // Eight output bytes per source byte.
  BYTE expand[256][8];
  for (unsigned v = 0; v < 256; ++v)
    for (unsigned b = 0; b < 8; ++b) expand[v][b] = grey[(v >> (7 - b)) & 1];
  const std::size_t whole = static_cast<std::size_t>(l.width) / 8, rest = static_cast<std::size_t>(l.width) % 8;
  for (LONG m = 0; m < l.height; ++m) {
    const BYTE* s = src.MemoryRow(m);
    BYTE* d = out.MemoryRow(m);
    for (std::size_t k = 0; k < whole; ++k, d += 8) std::memcpy(d, expand[s[k]], 8);
    if (rest) std::memcpy(d, expand[s[whole]], rest);
  }
  return out.Release();
}

HGLOBAL GreyTable(const SourceDib& src) {
  const Layout& l = src.layout();
  const DWORD entries = l.bits == 4 ? 16 : 256;
  TargetDib out(src.Header(), l.width, SignedHeight(l), l.bits, entries);
  if (!out.ok()) return nullptr;
  std::span<const RGBQUAD> table = src.Table();
  RGBQUAD* target = out.Table();
  for (std::size_t i = 0; i < table.size(); ++i) {
    BYTE g = GreyOf(table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed);
    target[i] = {g, g, g, 0};
  }
  for (LONG m = 0; m < l.height; ++m) std::memcpy(out.MemoryRow(m), src.MemoryRow(m), l.stride);
  return out.Release();
}

HGLOBAL GreyFromRgb(const SourceDib& src) {
  const Layout& l = src.layout();
  TargetDib out(src.Header(), l.width, SignedHeight(l), 8, 256);
  if (!out.ok()) return nullptr;
  GreyRamp(out.Table());
  for (LONG m = 0; m < l.height; ++m) {
    const BYTE* s = src.MemoryRow(m);
    BYTE* d = out.MemoryRow(m);
    for (LONG x = 0; x < l.width; ++x, s += 3) d[x] = Third(unsigned{s[0]} + s[1] + s[2]);
  }
  return out.Release();
}

// The header of a reduced image: the input's size and resolution.
BITMAPINFOHEADER ReducedHeader(const SourceDib& src) {
  BITMAPINFOHEADER h{};
  BITMAPINFOHEADER in = src.Header();
  h.biXPelsPerMeter = in.biXPelsPerMeter;
  h.biYPelsPerMeter = in.biYPelsPerMeter;
  return h;
}

void BlackWhite(RGBQUAD* table) {
  table[0] = {0, 0, 0, 0};
  table[1] = {255, 255, 255, 0};
}

// Stucki error diffusion over three accumulator rows per channel (the
// current row and the next two), each with two cells of margin on either
// side; rows are taken in memory order, pixels left to right. The shares of
// an error e are 8/42, 4/42, 2/42 and 1/42 of it, truncated toward zero.
class StuckiRows {
 public:
  explicit StuckiRows(LONG width) : width_(static_cast<std::size_t>(width) + 4) {
    for (auto& row : rows_) row.assign(width_, 0);
    for (int i = 0; i < 3; ++i) p_[i] = rows_[i].data() + 2;
  }
  std::int16_t* Current() { return p_[0]; }
  void Spread(LONG x, int e) {
    const int e8 = e * 4 / 21, e4 = e * 2 / 21, e2 = e / 21, e1 = e / 42;
    std::int16_t* c = p_[0] + x;
    std::int16_t* n = p_[1] + x;
    std::int16_t* a = p_[2] + x;
    c[1] += e8; c[2] += e4;
    n[-2] += e2; n[-1] += e4; n[0] += e8; n[1] += e4; n[2] += e2;
    a[-2] += e1; a[-1] += e2; a[0] += e4; a[1] += e2; a[2] += e1;
  }
  // The next row becomes current; the row after it starts empty.
  void Advance() {
    std::int16_t* done = p_[0];
    p_[0] = p_[1];
    p_[1] = p_[2];
    p_[2] = done;
    std::memset(done - 2, 0, width_ * sizeof(std::int16_t));
  }

 private:
  std::size_t width_;
  std::vector<std::int16_t> rows_[3];
  std::int16_t* p_[3];
};

// Red, green and blue of every pixel of a 4-, 8- or 24-bit row.
class RgbReader {
 public:
  explicit RgbReader(const SourceDib& src) : lut_(src.Table()), bits_(src.Bits()) {}
  template <typename F>
  void Row(const BYTE* s, LONG width, F&& f) const {
    if (bits_ == 24) {
      for (LONG x = 0; x < width; ++x, s += 3) f(x, s[2], s[1], s[0]);
    } else {
      for (LONG x = 0; x < width; ++x) {
        unsigned index = bits_ == 8 ? s[x] : (s[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F;
        const RGBQUAD& c = lut_.colors[index];
        f(x, c.rgbRed, c.rgbGreen, c.rgbBlue);
      }
    }
  }

 private:
  ColorLut lut_;
  unsigned bits_;
};

HGLOBAL StuckiToOneBit(const SourceDib& src) {
  const Layout& l = src.layout();
  TargetDib out(ReducedHeader(src), l.width, SignedHeight(l), 1, 2);
  if (!out.ok()) return nullptr;
  BlackWhite(out.Table());
  RgbReader reader(src);
  StuckiRows acc(l.width);
  for (LONG m = 0; m < l.height; ++m) {
    std::int16_t* cur = acc.Current();
    reader.Row(src.MemoryRow(m), l.width, [cur](LONG x, unsigned r, unsigned g, unsigned b) {
      unsigned lum = (30 * r + 59 * g + 11 * b) / 100;
      cur[x] += static_cast<std::int16_t>(lum > 255 ? 255 : lum);
    });
    BYTE* d = out.MemoryRow(m);
    for (LONG x = 0; x < l.width; ++x) {
      int v = cur[x];
      if (v > 128) {
        d[x / 8] |= static_cast<BYTE>(0x80u >> (x % 8));
        acc.Spread(x, v - 255);
      } else {
        acc.Spread(x, v);
      }
    }
    acc.Advance();
  }
  return out.Release();
}

HGLOBAL StuckiToEightBits(const SourceDib& src) {
  const Layout& l = src.layout();
  TargetDib out(ReducedHeader(src), l.width, SignedHeight(l), 8, 256);
  if (!out.ok()) return nullptr;
  RGBQUAD* table = out.Table();
  for (unsigned i = 0; i < 256; ++i)
    table[i] = {static_cast<BYTE>(i % 4 * 85), static_cast<BYTE>(i / 4 % 8 * 36), static_cast<BYTE>(i / 32 * 36), 0};
  RgbReader reader(src);
  StuckiRows red(l.width), green(l.width), blue(l.width);
  for (LONG m = 0; m < l.height; ++m) {
    std::int16_t* r = red.Current();
    std::int16_t* g = green.Current();
    std::int16_t* b = blue.Current();
    reader.Row(src.MemoryRow(m), l.width, [&](LONG x, unsigned cr, unsigned cg, unsigned cb) {
      r[x] += static_cast<std::int16_t>(cr);
      g[x] += static_cast<std::int16_t>(cg);
      b[x] += static_cast<std::int16_t>(cb);
    });
    BYTE* d = out.MemoryRow(m);
    for (LONG x = 0; x < l.width; ++x) {
      const int vr = r[x], vg = g[x], vb = b[x];
      const int lr = std::clamp(vr / 32, 0, 7), lg = std::clamp(vg / 32, 0, 7), lb = std::clamp(vb / 64, 0, 3);
      d[x] = static_cast<BYTE>(lr * 32 + lg * 4 + lb);
      // The error is taken against the colour the table shows for the
      // level, so that it stays bounded (a level's own step, 32 or 64,
      // would leave 31 or 63 of every bright pixel to pile up).
      red.Spread(x, vr - lr * 36);
      green.Spread(x, vg - lg * 36);
      blue.Spread(x, vb - lb * 85);
    }
    red.Advance();
    green.Advance();
    blue.Advance();
  }
  return out.Release();
}

}  // namespace

HGLOBAL ConvertToGrey(HGLOBAL hDIB) {
  SourceDib src(hDIB);
  if (!src.ok() || src.layout().headerSize != sizeof(BITMAPINFOHEADER) || src.layout().compression != BI_RGB)
    return nullptr;
  switch (src.Bits()) {
    case 1: return GreyFromOneBit(src);
    case 4: case 8: return GreyTable(src);
    case 24: return GreyFromRgb(src);
    default: return nullptr;
  }
}

HGLOBAL DitherThreshold(HGLOBAL hDIB, INT /*level*/) {
  SourceDib src(hDIB);
  if (!src.ok() || src.Bits() != 24 || src.layout().Core()) return nullptr;
  const Layout& l = src.layout();
  TargetDib out(ReducedHeader(src), l.width, SignedHeight(l), 1, 2);
  if (!out.ok()) return nullptr;
  BlackWhite(out.Table());
  for (LONG m = 0; m < l.height; ++m) {
    const BYTE* s = src.MemoryRow(m);
    BYTE* d = out.MemoryRow(m);
    for (LONG x0 = 0; x0 < l.width; x0 += 8) {
      const LONG n = std::min<LONG>(8, l.width - x0);
      unsigned byte = 0;
      for (LONG i = 0; i < n; ++i, s += 3)
        byte |= (unsigned{s[0]} + s[1] + s[2] >= 384 ? 0x80u : 0u) >> i;
      d[x0 / 8] = static_cast<BYTE>(byte);
    }
  }
  return out.Release();
}

HGLOBAL StuckiDither(HGLOBAL hDIB, INT bits) {
  SourceDib src(hDIB);
  if (!src.ok() || src.layout().Core() || src.layout().compression != BI_RGB) return nullptr;
  const WORD in = src.Bits();
  if ((bits != 1 && bits != 8) || (in != 4 && in != 8 && in != 24) || in <= bits) return nullptr;
  return bits == 1 ? StuckiToOneBit(src) : StuckiToEightBits(src);
}

}  // namespace tw::imaging
