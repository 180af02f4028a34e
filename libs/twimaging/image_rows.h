// Internal: reading any accepted input DIB row by row as colours or grey,
// and writing the one-bit and 8-bit results.
#pragma once
#include <windows.h>

#include <optional>
#include <span>
#include <vector>

#include "tw/packed_dib.h"

namespace tw::twimaging {

using tw::dib::Layout;

// Luminance 0 .. 255 of a colour: the ITU-R BT.601 weights in 256ths.
inline BYTE Luma(unsigned r, unsigned g, unsigned b) { return static_cast<BYTE>((77 * r + 150 * g + 29 * b + 128) >> 8); }

// An input image, locked and checked; rows are counted from the top.
class InputImage {
 public:
  explicit InputImage(HGLOBAL h);
  InputImage(const InputImage&) = delete;
  InputImage& operator=(const InputImage&) = delete;
  bool ok() const { return layout_.has_value(); }
  const Layout& layout() const { return *layout_; }
  LONG Width() const { return layout_->width; }
  LONG Height() const { return layout_->height; }
  // A 40-byte header for results: the input's resolution, nothing else.
  BITMAPINFOHEADER ResultHeader() const;
  // The height to give a result so that its rows run as the input's do.
  LONG SignedHeight() const { return layout_->topDown ? -layout_->height : layout_->height; }
  // Row y as blue, green, red bytes (3 per pixel).
  void RowBgr(LONG y, BYTE* bgr) const;
  // Row y as luminance.
  void RowLuma(LONG y, BYTE* luma) const;
  // The colour table (palette inputs), entries past it black.
  const RGBQUAD* Colors() const { return colors_; }
  const BYTE* Row(LONG y) const { return lock_.data() + layout_->RowFromTop(y); }

 private:
  tw::dib::BlockLock lock_;
  std::optional<Layout> layout_;
  RGBQUAD colors_[256] = {};
};

// A new result: a one-bit image (table black, white) or an 8-bit image
// with `table`. Rows counted from the top.
class OutputImage {
 public:
  OutputImage(const InputImage& in, WORD bits, std::span<const RGBQUAD> table);
  bool ok() const { return lock_.has_value() && lock_->ok(); }
  BYTE* Row(LONG y) { return lock_->data() + layout_.RowFromTop(y); }
  HGLOBAL Release();

 private:
  tw::dib::GlobalBlock block_;
  std::optional<tw::dib::BlockLock> lock_;
  Layout layout_;
};

// The black, white table of one-bit results.
inline constexpr RGBQUAD kBlackWhite[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};

// The 8 x 8 Bayer matrix, 0 .. 63.
extern const BYTE kBayer8[8][8];

// The threshold of the largest between-class variance of a histogram of
// 256 levels: pixels above it are the lighter class. 127 for an image of
// one level.
int OtsuLevel(const std::vector<std::uint64_t>& histogram);

// Reductions used by the entries.
HGLOBAL BrightnessContrast(HGLOBAL dib, int brightness, int contrast);
HGLOBAL OrderedOneBit(const InputImage& in);
HGLOBAL ClusteredOneBit(const InputImage& in);
HGLOBAL ThresholdOneBit(const InputImage& in, int level);  // level 0: from the histogram
enum class Diffusion { FloydSteinberg, FloydSteinbergSerpentine, Atkinson };
HGLOBAL DiffuseOneBit(const InputImage& in, Diffusion kind);
HGLOBAL PaletteEightBits(const InputImage& in, bool diffuse, bool serpentine);
HGLOBAL CubeEightBits(const InputImage& in);

}  // namespace tw::twimaging
