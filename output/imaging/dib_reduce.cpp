// Colour reductions: 8-bit grey, one bit by a fixed threshold, and Stucki
// error diffusion to one bit or to a fixed 256-colour table.
#include <array>
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

// The four Stucki shares of an error e: 8/42, 4/42, 2/42 and 1/42 of it,
// truncated toward zero. Errors stay within a few hundred; a table holds
// those, larger ones are divided out.
struct Shares {
  std::int16_t s8, s4, s2, s1;
};
inline Shares SharesOf(int e) {
  static const auto table = [] {
    std::array<Shares, 2048> t{};
    for (int i = 0; i < 2048; ++i) {
      const int v = i - 1024;
      t[static_cast<std::size_t>(i)] = {static_cast<std::int16_t>(v * 4 / 21), static_cast<std::int16_t>(v * 2 / 21),
                                        static_cast<std::int16_t>(v / 21), static_cast<std::int16_t>(v / 42)};
    }
    return t;
  }();
  if (e >= -1024 && e < 1024) return table[static_cast<std::size_t>(e + 1024)];
  return {static_cast<std::int16_t>(e * 4 / 21), static_cast<std::int16_t>(e * 2 / 21), static_cast<std::int16_t>(e / 21),
          static_cast<std::int16_t>(e / 42)};
}

// Stucki error diffusion of N channels over three accumulator rows per
// channel (the current row and the next two), each with two cells of
// margin on either side; rows are taken in memory order, pixels left to
// right. Within a row only the two shares to the right depend on the pixels
// just decided, so the row is decided in one serial pass that keeps them in
// registers (the channels side by side) and records every pixel's shares;
// the shares for the two rows below are then added in a second pass that
// has no such dependency.
template <std::size_t N>
class Stucki {
 public:
  explicit Stucki(LONG width) : width_(static_cast<std::size_t>(width)) {
    for (auto& channel : acc_)
      for (auto& row : channel) row.assign(width_ + 4, 0);
    for (auto& channel : shares_)
      for (auto& row : channel) row.assign(width_ + 4, 0);
  }
  // Channel c's accumulators for the current row, cell 0 being pixel 0;
  // the caller adds the pixel values.
  std::int16_t* Current(std::size_t c) { return acc_[c][cur_].data() + 2; }

  // Decides the current row: decide(x, values, errors) reads the N values
  // and stores the N errors. Then spreads the errors to the rows below and
  // moves down one row.
  template <typename Decide>
  void Row(Decide&& decide) {
    std::array<const std::int16_t*, N> value;
    std::array<std::array<std::int16_t*, 4>, N> share;
    for (std::size_t c = 0; c < N; ++c) {
      value[c] = Current(c);
      for (std::size_t k = 0; k < 4; ++k) share[c][k] = shares_[c][k].data() + 2;
    }
    std::array<int, N> from1{}, from2{}, next2{}, v, e;  // 8/42 of x-1, 4/42 of x-2, 4/42 of x-1
    for (std::size_t x = 0; x < width_; ++x) {
      for (std::size_t c = 0; c < N; ++c) v[c] = value[c][x] + from1[c] + from2[c];
      decide(x, v, e);
      for (std::size_t c = 0; c < N; ++c) {
        const Shares sh = SharesOf(e[c]);
        share[c][0][x] = sh.s8;
        share[c][1][x] = sh.s4;
        share[c][2][x] = sh.s2;
        share[c][3][x] = sh.s1;
        from2[c] = next2[c];
        next2[c] = sh.s4;
        from1[c] = sh.s8;
      }
    }
    const auto width = static_cast<std::ptrdiff_t>(width_);
    for (std::size_t c = 0; c < N; ++c) {
      const std::int16_t *s8 = share[c][0], *s4 = share[c][1], *s2 = share[c][2], *s1 = share[c][3];
      std::int16_t* below = acc_[c][(cur_ + 1) % 3].data() + 2;
      std::int16_t* after = acc_[c][(cur_ + 2) % 3].data() + 2;
      for (std::ptrdiff_t x = 0; x < width; ++x) {
        // Shares of pixels x-2 .. x+2 (the margins hold zeros).
        below[x] = static_cast<std::int16_t>(below[x] + s2[x - 2] + s4[x - 1] + s8[x] + s4[x + 1] + s2[x + 2]);
        after[x] = static_cast<std::int16_t>(after[x] + s1[x - 2] + s2[x - 1] + s4[x] + s2[x + 1] + s1[x + 2]);
      }
      // The finished row becomes the row after next, empty.
      std::fill(acc_[c][cur_].begin(), acc_[c][cur_].end(), std::int16_t{0});
    }
    cur_ = (cur_ + 1) % 3;
  }

 private:
  std::size_t width_;
  std::array<std::array<std::vector<std::int16_t>, 3>, N> acc_;
  std::array<std::array<std::vector<std::int16_t>, 4>, N> shares_;  // 8/42, 4/42, 2/42, 1/42 of each error
  std::size_t cur_ = 0;
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
  Stucki<1> grey(l.width);
  std::vector<BYTE> white(static_cast<std::size_t>(l.width));
  for (LONG m = 0; m < l.height; ++m) {
    std::int16_t* cur = grey.Current(0);
    reader.Row(src.MemoryRow(m), l.width, [cur](LONG x, unsigned r, unsigned g, unsigned b) {
      unsigned lum = (30 * r + 59 * g + 11 * b) / 100;
      cur[x] += static_cast<std::int16_t>(lum > 255 ? 255 : lum);
    });
    // Decisions go to a byte each and are packed after the row, so that
    // no pixel waits for the previous one's read-modify-write of a byte.
    grey.Row([&white](std::size_t x, const std::array<int, 1>& v, std::array<int, 1>& e) {
      const bool isWhite = v[0] > 128;
      white[x] = isWhite;
      e[0] = isWhite ? v[0] - 255 : v[0];
    });
    BYTE* d = out.MemoryRow(m);
    for (LONG x0 = 0; x0 < l.width; x0 += 8) {
      const LONG n = std::min<LONG>(8, l.width - x0);
      unsigned byte = 0;
      for (LONG i = 0; i < n; ++i) byte |= static_cast<unsigned>(white[static_cast<std::size_t>(x0 + i)]) << (7 - i);
      d[x0 / 8] = static_cast<BYTE>(byte);
    }
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
  Stucki<3> diffusion(l.width);
  for (LONG m = 0; m < l.height; ++m) {
    std::int16_t* r = diffusion.Current(0);
    std::int16_t* g = diffusion.Current(1);
    std::int16_t* b = diffusion.Current(2);
    reader.Row(src.MemoryRow(m), l.width, [&](LONG x, unsigned cr, unsigned cg, unsigned cb) {
      r[x] += static_cast<std::int16_t>(cr);
      g[x] += static_cast<std::int16_t>(cg);
      b[x] += static_cast<std::int16_t>(cb);
    });
    // The error is taken against the colour the table shows for the level
    // (36 or 85 a step), so that it stays bounded: against the level's own
    // step (32 or 64) 31 or 63 of every bright pixel would pile up until an
    // accumulator wrapped.
    BYTE* d = out.MemoryRow(m);
    diffusion.Row([d](std::size_t x, const std::array<int, 3>& v, std::array<int, 3>& e) {
      const int lr = std::clamp(v[0] / 32, 0, 7), lg = std::clamp(v[1] / 32, 0, 7), lb = std::clamp(v[2] / 64, 0, 3);
      d[x] = static_cast<BYTE>(lr * 32 + lg * 4 + lb);
      e[0] = v[0] - lr * 36;
      e[1] = v[1] - lg * 36;
      e[2] = v[2] - lb * 85;
    });
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
  return NullOnNoMemory([&] { return bits == 1 ? StuckiToOneBit(src) : StuckiToEightBits(src); });
}

}  // namespace tw::imaging
