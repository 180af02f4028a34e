// Resampling. One-bit images take the nearest source pixel; 4-, 8- and
// 24-bit images are resampled bicubically, first along the rows, then down
// the columns, with each resampled source row kept while the next output
// rows still need it.
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "output/imaging/dib_access.h"
#include "output/imaging/dib_ops.h"

namespace tw::imaging {
namespace {

// The source index (0 .. size - 1) whose pixel centre is nearest to the
// centre of output index i: (4 * size + 8 * i * size) / (8 * newSize).
inline LONG NearestCentre(LONG i, LONG size, LONG newSize) {
  return static_cast<LONG>((4 * static_cast<std::uint64_t>(size) + 8 * static_cast<std::uint64_t>(i) * size) /
                           (8 * static_cast<std::uint64_t>(newSize)));
}

HGLOBAL ResizeOneBit(const SourceDib& src, LONG width, LONG height) {
  TargetDib out(src, width, height, false);
  if (!out.ok()) return nullptr;
  const LONG w = src.Width(), h = src.Height();
  const std::size_t n = UsedRowBytes(width, 1);
  const BYTE lastMask = LastByteMask(width, 1);
  // Where each output column's pixel comes from: a byte and a bit of it.
  std::vector<std::uint32_t> byteOf(static_cast<std::size_t>(width));
  std::vector<BYTE> bitOf(static_cast<std::size_t>(width));
  for (LONG j = 0; j < width; ++j) {
    LONG x = NearestCentre(j, w, width);
    byteOf[static_cast<std::size_t>(j)] = static_cast<std::uint32_t>(x / 8);
    bitOf[static_cast<std::size_t>(j)] = static_cast<BYTE>(0x80u >> (x % 8));
  }
  const BYTE* lastSource = nullptr;
  const BYTE* lastRow = nullptr;
  for (LONG i = 0; i < height; ++i) {
    const BYTE* s = src.Row(NearestCentre(i, h, height));
    BYTE* d = out.Row(i);
    if (s == lastSource) {
      std::memcpy(d, lastRow, n);
      continue;
    }
    if (width == w) {
      std::memcpy(d, s, n);
    } else {
      for (LONG j0 = 0; j0 < width; j0 += 8) {
        const LONG count = std::min<LONG>(8, width - j0);
        unsigned byte = 0;
        for (LONG b = 0; b < count; ++b) {
          const std::size_t j = static_cast<std::size_t>(j0 + b);
          if (s[byteOf[j]] & bitOf[j]) byte |= 0x80u >> b;
        }
        d[j0 / 8] = static_cast<BYTE>(byte);
      }
    }
    d[n - 1] &= lastMask;
    lastSource = s;
    lastRow = d;
  }
  return out.Release();
}

// The cubic convolution kernel.
double Kernel(double t) {
  t = std::fabs(t);
  if (t < 1) return t * t * t - 2 * t * t + 1;
  if (t < 2) return -(t * t * t - 5 * t * t + 8 * t - 4);
  return 0;
}

// (128 + w * v) / 255 for weights and values 0 .. 255, and the same with
// the weight's sign for weights -255 .. 255: row w + 255 holds weight w.
using ProductRow = std::array<std::int16_t, 256>;
const std::array<ProductRow, 511>& SignedProducts() {
  static const auto table = [] {
    auto t = std::make_unique<std::array<ProductRow, 511>>();
    for (int w = -255; w <= 255; ++w)
      for (int v = 0; v < 256; ++v) {
        const int product = (128 + std::abs(w) * v) / 255;
        (*t)[static_cast<std::size_t>(w + 255)][static_cast<std::size_t>(v)] =
            static_cast<std::int16_t>(w < 0 ? -product : product);
      }
    return t;
  }();
  return *table;
}

// Four source indices (edge pixels repeated) and the product rows of their
// weights (the kernel's values scaled by 255 and rounded, summing to 255),
// for each output index.
struct Taps {
  std::array<std::uint32_t, 4> index;
  std::array<const std::int16_t*, 4> product;
};

std::vector<Taps> MakeTaps(LONG size, LONG newSize) {
  const auto& products = SignedProducts();
  std::vector<Taps> taps(static_cast<std::size_t>(newSize));
  for (LONG j = 0; j < newSize; ++j) {
    const std::uint64_t pos = static_cast<std::uint64_t>(j) * static_cast<std::uint64_t>(size);
    const LONG base = static_cast<LONG>(pos / static_cast<std::uint64_t>(newSize));
    const double d = static_cast<double>(pos % static_cast<std::uint64_t>(newSize)) / newSize;
    Taps& t = taps[static_cast<std::size_t>(j)];
    std::array<int, 4> weight;
    int sum = 0, largest = 0;
    for (int k = 0; k < 4; ++k) {
      t.index[static_cast<std::size_t>(k)] = static_cast<std::uint32_t>(std::clamp<LONG>(base - 1 + k, 0, size - 1));
      weight[static_cast<std::size_t>(k)] = static_cast<int>(std::lround(Kernel(d - (k - 1)) * 255));
      sum += weight[static_cast<std::size_t>(k)];
      if (std::abs(weight[static_cast<std::size_t>(k)]) > std::abs(weight[static_cast<std::size_t>(largest)])) largest = k;
    }
    // Rounding may leave the sum one off 255; the largest weight absorbs
    // it so that the weights still add up to one.
    int& adjusted = weight[static_cast<std::size_t>(largest)];
    adjusted = std::clamp(adjusted + 255 - sum, -255, 255);
    for (std::size_t k = 0; k < 4; ++k) t.product[k] = products[static_cast<std::size_t>(weight[k] + 255)].data();
  }
  return taps;
}

inline BYTE Combine(const std::array<const std::int16_t*, 4>& product, BYTE v0, BYTE v1, BYTE v2, BYTE v3) {
  const int sum = product[0][v0] + product[1][v1] + product[2][v2] + product[3][v3];
  return static_cast<BYTE>(std::clamp(sum, 0, 255));
}

// Nearest table colour of a resampled colour, through the platform's
// palette match; the answers are kept for colours that repeat.
class NearestColor {
 public:
  explicit NearestColor(std::span<const RGBQUAD> table) {
    std::vector<BYTE> storage(offsetof(LOGPALETTE, palPalEntry) + table.size() * sizeof(PALETTEENTRY));
    const WORD header[2] = {0x300, static_cast<WORD>(table.size())};
    std::memcpy(storage.data(), header, sizeof header);
    for (std::size_t i = 0; i < table.size(); ++i) {
      const PALETTEENTRY e = {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
      std::memcpy(storage.data() + offsetof(LOGPALETTE, palPalEntry) + i * sizeof e, &e, sizeof e);
    }
    palette_ = CreatePalette(reinterpret_cast<const LOGPALETTE*>(storage.data()));
  }
  ~NearestColor() {
    if (palette_) DeleteObject(palette_);
  }
  NearestColor(const NearestColor&) = delete;
  NearestColor& operator=(const NearestColor&) = delete;
  bool ok() const { return palette_ != nullptr; }
  BYTE Index(BYTE r, BYTE g, BYTE b) {
    const std::uint32_t rgb = RGB(r, g, b);
    std::uint64_t& slot = cache_[(rgb * 2654435761u) >> 20];
    if ((slot >> 8) != rgb) slot = (std::uint64_t{rgb} << 8) | (GetNearestPaletteIndex(palette_, rgb) & 0xFF);
    return static_cast<BYTE>(slot);
  }

 private:
  static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};
  HPALETTE palette_ = nullptr;
  std::vector<std::uint64_t> cache_ = std::vector<std::uint64_t>(4096, kEmpty);
};

// Bicubic resampling of rows of `channels` bytes per pixel. `expand` turns
// source row y (from the top) into such bytes; `store` writes an output row.
template <typename Expand, typename Store>
void Bicubic(LONG w, LONG h, LONG width, LONG height, std::size_t channels, Expand&& expand, Store&& store) {
  const std::vector<Taps> across = MakeTaps(w, width), down = MakeTaps(h, height);
  std::vector<BYTE> line(static_cast<std::size_t>(w) * channels);
  const std::size_t outBytes = static_cast<std::size_t>(width) * channels;
  // Four source rows resampled along the row, and which rows they are.
  std::array<std::vector<BYTE>, 4> cached;
  std::array<LONG, 4> cachedRow = {-1, -1, -1, -1};
  for (auto& c : cached) c.resize(outBytes);
  std::vector<BYTE> result(outBytes);
  for (LONG i = 0; i < height; ++i) {
    const Taps& t = down[static_cast<std::size_t>(i)];
    std::array<const BYTE*, 4> rows{};
    for (int k = 0; k < 4; ++k) {
      const LONG y = static_cast<LONG>(t.index[static_cast<std::size_t>(k)]);
      int slot = -1;
      for (int c = 0; c < 4; ++c)
        if (cachedRow[static_cast<std::size_t>(c)] == y) slot = c;
      if (slot < 0) {
        // Reuse a slot that holds none of the rows this output row needs.
        for (int c = 0; c < 4 && slot < 0; ++c) {
          bool needed = false;
          for (int q = 0; q < 4; ++q) needed |= cachedRow[static_cast<std::size_t>(c)] == static_cast<LONG>(t.index[static_cast<std::size_t>(q)]);
          if (!needed) slot = c;
        }
        expand(y, line.data());
        BYTE* target = cached[static_cast<std::size_t>(slot)].data();
        for (LONG j = 0; j < width; ++j) {
          const Taps& a = across[static_cast<std::size_t>(j)];
          for (std::size_t c = 0; c < channels; ++c)
            target[static_cast<std::size_t>(j) * channels + c] =
                Combine(a.product, line[a.index[0] * channels + c], line[a.index[1] * channels + c],
                        line[a.index[2] * channels + c], line[a.index[3] * channels + c]);
        }
        cachedRow[static_cast<std::size_t>(slot)] = y;
      }
      rows[static_cast<std::size_t>(k)] = cached[static_cast<std::size_t>(slot)].data();
    }
    for (std::size_t b = 0; b < outBytes; ++b) result[b] = Combine(t.product, rows[0][b], rows[1][b], rows[2][b], rows[3][b]);
    store(i, result.data());
  }
}

bool IsGreyRamp(std::span<const RGBQUAD> table) {
  if (table.size() != 256) return false;
  for (std::size_t i = 0; i < 256; ++i)
    if (table[i].rgbRed != i || table[i].rgbGreen != i || table[i].rgbBlue != i) return false;
  return true;
}

HGLOBAL ResizeBicubic(const SourceDib& src, LONG width, LONG height) {
  TargetDib out(src, width, height, false);
  if (!out.ok()) return nullptr;
  const LONG w = src.Width(), h = src.Height();
  const WORD bits = src.Bits();
  if (bits == 24 || (bits == 8 && IsGreyRamp(src.Table()))) {
    // Values resample directly: colours, or grey levels that are their own
    // table index.
    const std::size_t bytes = static_cast<std::size_t>(w) * (bits / 8);
    Bicubic(w, h, width, height, bits / 8, [&](LONG y, BYTE* line) { std::memcpy(line, src.Row(y), bytes); },
            [&](LONG i, const BYTE* row) { std::memcpy(out.Row(i), row, static_cast<std::size_t>(width) * (bits / 8)); });
    return out.Release();
  }
  const ColorLut lut(src.Table());
  NearestColor nearest(src.Table());
  if (!nearest.ok()) return nullptr;
  auto expand = [&](LONG y, BYTE* line) {
    const BYTE* s = src.Row(y);
    for (LONG x = 0; x < w; ++x, line += 3) {
      const unsigned index = bits == 8 ? s[x] : (s[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F;
      const RGBQUAD& c = lut.colors[index];
      line[0] = c.rgbBlue;
      line[1] = c.rgbGreen;
      line[2] = c.rgbRed;
    }
  };
  auto store = [&](LONG i, const BYTE* row) {
    BYTE* d = out.Row(i);
    for (LONG j = 0; j < width; ++j, row += 3) {
      const BYTE index = nearest.Index(row[2], row[1], row[0]);
      if (bits == 8) d[j] = index;
      else d[j / 2] |= static_cast<BYTE>(j % 2 ? index & 0x0F : index << 4);
    }
  };
  Bicubic(w, h, width, height, 3, expand, store);
  return out.Release();
}

}  // namespace

HGLOBAL ResizeDIB(HGLOBAL hDIB, LONG width, LONG height) {
  SourceDib src(hDIB);
  if (!src.ok() || width <= 0 || height <= 0 || src.layout().compression != BI_RGB) return nullptr;
  switch (src.Bits()) {
    case 1: return NullOnNoMemory([&] { return ResizeOneBit(src, width, height); });
    case 4: case 8: case 24: return NullOnNoMemory([&] { return ResizeBicubic(src, width, height); });
    default: return nullptr;
  }
}

}  // namespace tw::imaging
