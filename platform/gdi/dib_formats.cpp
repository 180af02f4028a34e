// The per-format primitive tables of the DIB engine. Each format is a small
// traits struct (read and write one pixel value of a row, convert to and
// from rgb); the table functions are templates over it, so the per-pixel
// work is inlined and only whole rows go through the table's pointers.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "dib.h"

namespace tw::gdi {
namespace {

inline DWORD tableRgb(const Dib& d, DWORD index) {
  return index < d.colors.size() ? RgbFromQuad(d.colors[index]) : 0;
}

// Channel extraction for 16- and 32-bit bit-field formats: scaled to 8 bits
// by replicating the high bits, as GDI expands 5-bit channels.
inline DWORD fieldTo8(DWORD pixel, DWORD mask, int shift, int len) {
  if (!mask) return 0;
  DWORD v = (pixel & mask) >> shift;
  if (len >= 8) return v >> (len - 8);
  DWORD out = v << (8 - len);
  for (int have = len; have < 8; have += len) out |= (v << (8 - len)) >> have;
  return out & 0xFF;
}
inline DWORD fieldFrom8(DWORD v, DWORD mask, int shift, int len) {
  if (!mask) return 0;
  DWORD scaled = len >= 8 ? v << (len - 8) : v >> (8 - len);
  return (scaled << shift) & mask;
}

struct F1 {
  static DWORD Get(const Dib&, const BYTE* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
  static void Put(const Dib&, BYTE* row, int x, DWORD v) {
    BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
    row[x >> 3] = (v & 1) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
  }
  static DWORD ToRgb(const Dib& d, DWORD v) { return tableRgb(d, v & 1); }
  static DWORD FromRgb(const Dib& d, DWORD rgb) { return d.NearestIndex(rgb); }
};
struct F4 {
  static DWORD Get(const Dib&, const BYTE* row, int x) { return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4; }
  static void Put(const Dib&, BYTE* row, int x, DWORD v) {
    BYTE& b = row[x >> 1];
    b = (x & 1) ? static_cast<BYTE>((b & 0xF0) | (v & 0x0F)) : static_cast<BYTE>((b & 0x0F) | ((v & 0x0F) << 4));
  }
  static DWORD ToRgb(const Dib& d, DWORD v) { return tableRgb(d, v & 0x0F); }
  static DWORD FromRgb(const Dib& d, DWORD rgb) { return d.NearestIndex(rgb); }
};
struct F8 {
  static DWORD Get(const Dib&, const BYTE* row, int x) { return row[x]; }
  static void Put(const Dib&, BYTE* row, int x, DWORD v) { row[x] = static_cast<BYTE>(v); }
  static DWORD ToRgb(const Dib& d, DWORD v) { return tableRgb(d, v & 0xFF); }
  static DWORD FromRgb(const Dib& d, DWORD rgb) { return d.NearestIndex(rgb); }
};
struct F16 {
  static DWORD Get(const Dib&, const BYTE* row, int x) { return row[2 * x] | (row[2 * x + 1] << 8); }
  static void Put(const Dib&, BYTE* row, int x, DWORD v) {
    row[2 * x] = static_cast<BYTE>(v);
    row[2 * x + 1] = static_cast<BYTE>(v >> 8);
  }
  static DWORD ToRgb(const Dib& d, DWORD v) {
    return (fieldTo8(v, d.masks[0], d.shifts[0], d.lengths[0]) << 16) |
           (fieldTo8(v, d.masks[1], d.shifts[1], d.lengths[1]) << 8) |
           fieldTo8(v, d.masks[2], d.shifts[2], d.lengths[2]);
  }
  static DWORD FromRgb(const Dib& d, DWORD rgb) {
    return fieldFrom8((rgb >> 16) & 0xFF, d.masks[0], d.shifts[0], d.lengths[0]) |
           fieldFrom8((rgb >> 8) & 0xFF, d.masks[1], d.shifts[1], d.lengths[1]) |
           fieldFrom8(rgb & 0xFF, d.masks[2], d.shifts[2], d.lengths[2]);
  }
};
struct F24 {
  static DWORD Get(const Dib&, const BYTE* row, int x) {
    const BYTE* p = row + 3 * x;
    return p[0] | (p[1] << 8) | (static_cast<DWORD>(p[2]) << 16);
  }
  static void Put(const Dib&, BYTE* row, int x, DWORD v) {
    BYTE* p = row + 3 * x;
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
    p[2] = static_cast<BYTE>(v >> 16);
  }
  static DWORD ToRgb(const Dib&, DWORD v) { return v & 0xFFFFFF; }
  static DWORD FromRgb(const Dib&, DWORD rgb) { return rgb & 0xFFFFFF; }
};
struct F32 {
  static DWORD Get(const Dib&, const BYTE* row, int x) {
    DWORD v;
    std::memcpy(&v, row + 4 * x, 4);
    return v;
  }
  static void Put(const Dib&, BYTE* row, int x, DWORD v) { std::memcpy(row + 4 * x, &v, 4); }
  static DWORD ToRgb(const Dib&, DWORD v) { return v; }
  static DWORD FromRgb(const Dib&, DWORD rgb) { return rgb & 0xFFFFFF; }
};
struct F32Fields : F32 {
  static DWORD ToRgb(const Dib& d, DWORD v) { return F16::ToRgb(d, v); }
  static DWORD FromRgb(const Dib& d, DWORD rgb) { return F16::FromRgb(d, rgb); }
};

// The alpha byte is not part of any colour channel of a 32-bit surface:
// fills and lines leave 0 there.
template <class F>
constexpr DWORD writeMask(const Dib& d) {
  if constexpr (std::is_same_v<F, F32>) return 0x00FFFFFF;
  if constexpr (std::is_same_v<F, F32Fields>) return d.masks[0] | d.masks[1] | d.masks[2];
  return 0xFFFFFFFF;
}

template <class F>
void solidSpanT(const Dib& d, int y, int x0, int x1, DWORD andMask, DWORD xorMask) {
  BYTE* row = d.Row(y);
  DWORD keep = writeMask<F>(d);
  for (int x = x0; x < x1; ++x) F::Put(d, row, x, ((F::Get(d, row, x) & andMask) ^ xorMask) & keep);
}

// 24 bits: a span that replaces its pixels (a fill with a solid brush or
// pen) is written as bytes, a grey (white, black) with memset; everything
// else goes pixel by pixel.
void solidSpan24(const Dib& d, int y, int x0, int x1, DWORD andMask, DWORD xorMask) {
  if ((andMask & 0xFFFFFF) != 0) return solidSpanT<F24>(d, y, x0, x1, andMask, xorMask);
  if (x0 >= x1) return;
  BYTE* p = d.Row(y) + 3 * static_cast<std::ptrdiff_t>(x0);
  const std::size_t n = static_cast<std::size_t>(x1 - x0);
  const BYTE b0 = static_cast<BYTE>(xorMask), b1 = static_cast<BYTE>(xorMask >> 8), b2 = static_cast<BYTE>(xorMask >> 16);
  if (b0 == b1 && b1 == b2) {
    std::memset(p, b0, 3 * n);
    return;
  }
  for (std::size_t i = 0; i < n; ++i, p += 3) {
    p[0] = b0;
    p[1] = b1;
    p[2] = b2;
  }
}

// 1 bit: whole bytes at once between the partial edge bytes.
void solidSpan1(const Dib& d, int y, int x0, int x1, DWORD andMask, DWORD xorMask) {
  if (x0 >= x1) return;
  BYTE* row = d.Row(y);
  BYTE a = (andMask & 1) ? 0xFF : 0x00, xr = (xorMask & 1) ? 0xFF : 0x00;
  int first = x0 >> 3, last = (x1 - 1) >> 3;
  BYTE headMask = static_cast<BYTE>(0xFF >> (x0 & 7));
  BYTE tailMask = static_cast<BYTE>(0xFF << (7 - ((x1 - 1) & 7)));
  auto apply = [&](BYTE& b, BYTE m) { b = static_cast<BYTE>((b & ~m) | ((((b & a) ^ xr)) & m)); };
  if (first == last) {
    apply(row[first], headMask & tailMask);
    return;
  }
  apply(row[first], headMask);
  if (a == 0) {
    std::memset(row + first + 1, xr, static_cast<std::size_t>(last - first - 1));
  } else {
    for (int i = first + 1; i < last; ++i) row[i] = static_cast<BYTE>((row[i] & a) ^ xr);
  }
  apply(row[last], tailMask);
}

void solidSpan8(const Dib& d, int y, int x0, int x1, DWORD andMask, DWORD xorMask) {
  if (x0 >= x1) return;
  BYTE* row = d.Row(y);
  if ((andMask & 0xFF) == 0) {
    std::memset(row + x0, static_cast<int>(xorMask & 0xFF), static_cast<std::size_t>(x1 - x0));
    return;
  }
  for (int x = x0; x < x1; ++x) row[x] = static_cast<BYTE>((row[x] & andMask) ^ xorMask);
}

void solidSpan32(const Dib& d, int y, int x0, int x1, DWORD andMask, DWORD xorMask) {
  if (x0 >= x1) return;
  auto* row = reinterpret_cast<BYTE*>(d.Row(y));
  andMask &= 0x00FFFFFF;
  xorMask &= 0x00FFFFFF;
  if (andMask == 0) {
    for (int x = x0; x < x1; ++x) std::memcpy(row + 4 * x, &xorMask, 4);
    return;
  }
  for (int x = x0; x < x1; ++x) {
    DWORD v;
    std::memcpy(&v, row + 4 * x, 4);
    v = (v & andMask) ^ xorMask;
    std::memcpy(row + 4 * x, &v, 4);
  }
}

template <class F>
void getPixelsT(const Dib& d, int y, int x, int n, DWORD* out) {
  const BYTE* row = d.Row(y);
  for (int i = 0; i < n; ++i) out[i] = F::Get(d, row, x + i);
}
template <class F>
void putPixelsT(const Dib& d, int y, int x, int n, const DWORD* in) {
  BYTE* row = d.Row(y);
  for (int i = 0; i < n; ++i) F::Put(d, row, x + i, in[i]);
}
template <>
void getPixelsT<F8>(const Dib& d, int y, int x, int n, DWORD* out) {
  const BYTE* row = d.Row(y) + x;
  for (int i = 0; i < n; ++i) out[i] = row[i];
}
template <>
void putPixelsT<F32>(const Dib& d, int y, int x, int n, const DWORD* in) {
  std::memcpy(d.Row(y) + 4 * static_cast<std::ptrdiff_t>(x), in, 4 * static_cast<std::size_t>(n));
}
template <>
void getPixelsT<F32>(const Dib& d, int y, int x, int n, DWORD* out) {
  std::memcpy(out, d.Row(y) + 4 * static_cast<std::ptrdiff_t>(x), 4 * static_cast<std::size_t>(n));
}

template <class F>
DWORD pixelToRgbT(const Dib& d, DWORD v) {
  return F::ToRgb(d, v);
}
template <class F>
DWORD rgbToPixelT(const Dib& d, DWORD rgb) {
  return F::FromRgb(d, rgb);
}

// Glyph coverage is blended as GDI blends greyscale text, not linearly:
// coverage becomes one of 17 levels (what its 4-bit glyph bitmaps hold);
// levels 0 and 1 leave the pixel, 16 paints the text colour, and a level in
// between moves each channel from the destination towards the text colour
// only as far as a gamma-like ramp allows (the channel a level gives full
// text on a black ground and the reverse ramp on a white one), so thin and
// partly covered pixels stay lighter than a linear blend makes them.
constexpr BYTE kSmoothingRamp[17] = {0,    0x4D, 0x68, 0x7C, 0x8C, 0x9A, 0xA7, 0xB2, 0xBD,
                                     0xC7, 0xD0, 0xD9, 0xE1, 0xE9, 0xF0, 0xF8, 0xFF};
constexpr int kSmoothingLevels = 16;

inline int smoothingLevel(DWORD coverage) { return static_cast<int>(coverage * (kSmoothingLevels + 1) / 256); }

// One channel of a level between 1 and 16 exclusive: the result for a black
// ground is `low`, for a white ground `high`; other grounds are interpolated
// between the text channel and the one of those on their side of it.
struct SmoothedChannel {
  DWORD text, low, high;
  DWORD Of(DWORD dst) const {
    if (dst > text) return text + (dst - text) * (high - text) / (255 - text);
    if (dst < text) return text - (text - dst) * (text - low) / text;
    return dst;
  }
};

template <class F>
void blendCoverageT(const Dib& d, int y, int x, int n, const BYTE* coverage, DWORD color) {
  BYTE* row = d.Row(y);
  DWORD solid = F::FromRgb(d, color);
  // Per level and channel (red, green, blue) for this text colour.
  SmoothedChannel levels[kSmoothingLevels][3];
  for (int l = 2; l < kSmoothingLevels; ++l)
    for (int c = 0; c < 3; ++c) {
      DWORD text = (color >> (16 - 8 * c)) & 0xFF;
      DWORD up = kSmoothingRamp[kSmoothingLevels - l];
      levels[l][c] = {text, kSmoothingRamp[l] * text / 255, up + (255 - up) * text / 255};
    }
  for (int i = 0; i < n; ++i) {
    int level = smoothingLevel(coverage[i]);
    if (level <= 1) continue;
    if (level >= kSmoothingLevels) {
      F::Put(d, row, x + i, solid);
      continue;
    }
    DWORD dst = F::ToRgb(d, F::Get(d, row, x + i));
    const SmoothedChannel* ch = levels[level];
    DWORD mixed = ch[0].Of((dst >> 16) & 0xFF) << 16 | ch[1].Of((dst >> 8) & 0xFF) << 8 | ch[2].Of(dst & 0xFF);
    F::Put(d, row, x + i, F::FromRgb(d, mixed));
  }
}

// The top bits of eight coverage bytes as one byte, the first byte's in
// the most significant bit (each byte's bit moves to its own place: the
// products never overlap).
inline BYTE TopBits(std::uint64_t eight) {
  return static_cast<BYTE>(((__builtin_bswap64(eight) & 0x8080808080808080ull) * 0x0002040810204081ull) >> 56);
}

// One-bit rows (text on a black-and-white page), 56 pixels at a time: a
// piece whose coverage is whole or nothing, as glyphs on one-bit surfaces
// are, is gathered into bits and written a byte at a time; any other piece
// goes through blendCoverageT<F1>, whose result this equals.
void blendCoverage1(const Dib& d, int y, int x, int n, const BYTE* coverage, DWORD color) {
  constexpr int kPiece = 56;  // a whole number of bytes, so every piece starts at the same bit
  BYTE* row = d.Row(y);
  const bool set = F1::FromRgb(d, color) & 1;
  for (int i = 0; i < n; i += kPiece) {
    const int m = std::min(kPiece, n - i);
    std::uint64_t bits = 0;  // pixel i + k at bit 63 - k
    bool whole = true;
    for (int j = 0; j < m; j += 8) {
      std::uint64_t eight = 0;
      const BYTE* from = coverage + i + j;
      if (m - j >= 8) {
        std::memcpy(&eight, from, 8);
      } else {
        // Gathered in a register: a short copy into `eight` followed by its
        // 8-byte load stalls on every glyph row's last piece.
        for (int b = 0; b < m - j; ++b) eight |= std::uint64_t{from[b]} << (8 * b);
      }
      whole &= eight == ((eight & 0x8080808080808080ull) >> 7) * 0xFF;
      bits |= std::uint64_t{TopBits(eight)} << (56 - j);
    }
    const int px = x + i;
    if (!whole) {
      blendCoverageT<F1>(d, y, px, m, coverage + i, color);
      continue;
    }
    const int first = px & 7;
    bits >>= first;
    BYTE* out = row + (px >> 3);
    const int bytes = (first + m + 7) / 8;
    if (set) {
      for (int j = 0; j < bytes; ++j) out[j] = static_cast<BYTE>(out[j] | (bits >> (56 - 8 * j)));
    } else {
      for (int j = 0; j < bytes; ++j) out[j] = static_cast<BYTE>(out[j] & ~(bits >> (56 - 8 * j)));
    }
  }
}

template <class F>
constexpr DibFuncs makeFuncs(void (*solid)(const Dib&, int, int, int, DWORD, DWORD),
                             void (*blend)(const Dib&, int, int, int, const BYTE*, DWORD) = blendCoverageT<F>) {
  return {solid, getPixelsT<F>, putPixelsT<F>, pixelToRgbT<F>, rgbToPixelT<F>, blend};
}

const DibFuncs kFuncs1 = makeFuncs<F1>(solidSpan1, blendCoverage1);
const DibFuncs kFuncs4 = makeFuncs<F4>(solidSpanT<F4>);
const DibFuncs kFuncs8 = makeFuncs<F8>(solidSpan8);
const DibFuncs kFuncs16 = makeFuncs<F16>(solidSpanT<F16>);
const DibFuncs kFuncs24 = makeFuncs<F24>(solidSpan24);
const DibFuncs kFuncs32 = makeFuncs<F32>(solidSpan32);
const DibFuncs kFuncs32Fields = makeFuncs<F32Fields>(solidSpanT<F32Fields>);

void maskInfo(DWORD mask, int& shift, int& len) {
  shift = 0;
  len = 0;
  if (!mask) return;
  while (!(mask & 1)) {
    mask >>= 1;
    ++shift;
  }
  while (mask & 1) {
    mask >>= 1;
    ++len;
  }
}

}  // namespace

bool Dib::SetFormat(int bitCount, DWORD red, DWORD green, DWORD blue) {
  bpp = bitCount;
  masks[0] = masks[1] = masks[2] = 0;
  switch (bitCount) {
    case 1: funcs = &kFuncs1; break;
    case 4: funcs = &kFuncs4; break;
    case 8: funcs = &kFuncs8; break;
    case 16:
      if (!red && !green && !blue) {
        red = 0x7C00;
        green = 0x03E0;
        blue = 0x001F;
      }
      if ((red | green | blue) > 0xFFFF) return false;
      funcs = &kFuncs16;
      break;
    case 24: funcs = &kFuncs24; break;
    case 32:
      if (!red && !green && !blue) {
        red = 0xFF0000;
        green = 0x00FF00;
        blue = 0x0000FF;
      }
      funcs = (red == 0xFF0000 && green == 0x00FF00 && blue == 0x0000FF) ? &kFuncs32 : &kFuncs32Fields;
      break;
    default: funcs = nullptr; return false;
  }
  if (bitCount == 16 || bitCount == 32) {
    // Each mask must be one run of bits, and the masks must not overlap.
    DWORD ms[3] = {red, green, blue};
    for (int i = 0; i < 3; ++i) {
      maskInfo(ms[i], shifts[i], lengths[i]);
      if (ms[i] && (ms[i] >> shifts[i]) != ((1ull << lengths[i]) - 1)) return false;
      masks[i] = ms[i];
    }
    if ((red & green) || (red & blue) || (green & blue)) return false;
  }
  return true;
}

DWORD Dib::NearestIndex(DWORD rgb) const {
  return NearestEntry(colors.size(), rgb, [&](std::size_t i) { return RgbFromQuad(colors[i]); });
}

void Rop2Masks(int rop2, DWORD pen, DWORD valueMask, DWORD& andMask, DWORD& xorMask) {
  // ROP2 code - 1 is the truth table: bit (P * 2 + D) is the result for pen
  // bit P and destination bit D. Per pen bit the operation on D is one of
  // 0, 1, D, ~D, i.e. (D & a) ^ x.
  unsigned table = static_cast<unsigned>(rop2 - 1) & 0xF;
  auto ax = [&](unsigned p, DWORD& a, DWORD& x) {
    unsigned r0 = (table >> (p * 2)) & 1, r1 = (table >> (p * 2 + 1)) & 1;
    a = (r0 ^ r1) ? 0xFFFFFFFF : 0;
    x = r0 ? 0xFFFFFFFF : 0;
  };
  DWORD a0, x0, a1, x1;
  ax(0, a0, x0);
  ax(1, a1, x1);
  andMask = ((pen & a1) | (~pen & a0)) & valueMask;
  xorMask = ((pen & x1) | (~pen & x0)) & valueMask;
}

}  // namespace tw::gdi
