// Page DIBs: a packed DIB in a global block — BITMAPINFOHEADER, biClrUsed
// colour entries (2^bits when 0 for 1 to 8 bits), then the rows, bottom-up
// (top-down for a negative height), each padded to 4 bytes. Every size in a
// DIB header comes from outside the library: ParseDib checks them against the
// block before anything is read.
#pragma once
#include <windows.h>

#include <cstdint>
#include <span>

#include "win_io.h"

namespace tw::codec {

// Images above this many pixels are refused (read or made), so that a header
// cannot make a codec allocate without bound.
inline constexpr std::uint64_t kMaxPixels = std::uint64_t(1) << 28;

// The bytes of one padded DIB row.
std::uint64_t DibStride(std::uint32_t width, int bits);

// A checked view of a DIB inside its (locked) block.
struct DibView {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int bits = 0;  // 1, 4, 8, 24 or 32
  bool topDown = false;
  std::span<const RGBQUAD> colors;
  const BYTE* pixels = nullptr;
  std::size_t stride = 0;
  LONG xPelsPerMeter = 0;
  LONG yPelsPerMeter = 0;

  // Row `top` counted from the top of the image.
  const BYTE* Row(std::uint32_t top) const { return pixels + stride * (topDown ? top : height - 1 - top); }
  // The colour of a table index; black past the end of the table.
  RGBQUAD Color(unsigned index) const;
  // Every table entry has equal red, green and blue.
  bool GreyTable() const;
  // 256 entries, entry i = (i, i, i).
  bool GreyRamp() const;
};

enum class DibStatus { Ok, BadHeader, Unsupported, Truncated };
const char* DibStatusText(DibStatus status);

// Checks the header, the colour table and the rows against the block.
DibStatus ParseDib(std::span<const BYTE> block, DibView& view);

// Luminance 0..255 of a colour (integer Rec. 601 weights).
inline int Luma(const RGBQUAD& c) { return (c.rgbRed * 299 + c.rgbGreen * 587 + c.rgbBlue * 114 + 500) / 1000; }

// A new page DIB in a movable zero-filled block, filled row by row and then
// handed over with Release. biClrUsed is the number of colours given.
class DibBuilder {
 public:
  DibBuilder(std::uint32_t width, std::uint32_t height, int bits, std::span<const RGBQUAD> colors, LONG xPelsPerMeter,
             LONG yPelsPerMeter);
  ~DibBuilder();
  DibBuilder(const DibBuilder&) = delete;
  DibBuilder& operator=(const DibBuilder&) = delete;

  bool Valid() const { return pixels_ != nullptr; }
  BYTE* Row(std::uint32_t top) { return pixels_ + stride_ * (height_ - 1 - top); }
  std::size_t Stride() const { return stride_; }
  // Unlocks the block and gives it to the caller.
  HGLOBAL Release();

 private:
  OwnedBlock block_;
  BYTE* base_ = nullptr;
  BYTE* pixels_ = nullptr;
  std::size_t stride_ = 0;
  std::uint32_t height_ = 0;
};

}  // namespace tw::codec
