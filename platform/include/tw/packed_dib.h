// Packed DIBs in movable global blocks (a BITMAPINFOHEADER, optional colour
// masks, the colour table, then the rows padded to 4 bytes): owning and
// locking such blocks, and reading their layout. Every size in a header
// comes from outside: ReadLayout computes in 64 bits and refuses a layout
// whose table or rows do not fit in the block, so callers may index rows
// without further checks.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <utility>

namespace tw::dib {

// Owns a global block; frees it on destruction unless released.
class GlobalBlock {
 public:
  GlobalBlock() = default;
  explicit GlobalBlock(HGLOBAL h) : h_(h) {}
  GlobalBlock(GlobalBlock&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
  GlobalBlock& operator=(GlobalBlock&& other) noexcept {
    if (this != &other) {
      if (h_) GlobalFree(h_);
      h_ = std::exchange(other.h_, nullptr);
    }
    return *this;
  }
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;
  ~GlobalBlock() {
    if (h_) GlobalFree(h_);
  }
  HGLOBAL get() const { return h_; }
  HGLOBAL release() { return std::exchange(h_, nullptr); }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HGLOBAL h_ = nullptr;
};

// Locks a global block for the lifetime of the object. A null or invalid
// handle gives an empty lock (ok() false).
class BlockLock {
 public:
  explicit BlockLock(HGLOBAL h) : h_(h) {
    if (h_ && (data_ = static_cast<BYTE*>(GlobalLock(h_))) != nullptr) size_ = GlobalSize(h_);
  }
  BlockLock(const BlockLock&) = delete;
  BlockLock& operator=(const BlockLock&) = delete;
  ~BlockLock() {
    if (data_) GlobalUnlock(h_);
  }
  bool ok() const { return data_ != nullptr; }
  // Unlocks early (before the block is handed on).
  void Unlock() {
    if (data_) GlobalUnlock(h_);
    data_ = nullptr;
    size_ = 0;
  }
  BYTE* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::span<BYTE> bytes() const { return {data_, size_}; }

 private:
  HGLOBAL h_;
  BYTE* data_ = nullptr;
  std::size_t size_ = 0;
};

// The largest pixel area a DIB may have here: biSizeImage is a DWORD, and
// sizes stay well inside what the layer's 32-bit fields can carry.
inline constexpr std::uint64_t kMaxImageBytes = 0x7FFFFFFFu;

// Bytes of one row of `width` pixels of `bits` each, padded to 4 bytes; 0
// when the width is not positive or the row would not fit the limit.
constexpr std::size_t RowBytes(std::int64_t width, unsigned bits) {
  if (width <= 0 || bits == 0 || bits > 32) return 0;
  std::uint64_t bytes = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
  return bytes > kMaxImageBytes ? 0 : static_cast<std::size_t>(bytes);
}

// The colour count of a DIB header: for a 40-byte (or larger) header
// biClrUsed when it is not 0; otherwise, and for a 12-byte core header, by
// the bit count: 2, 4, 16 or 256 for 1, 2, 4 or 8 bits, 0 for the others.
// `header` must hold at least the header's first 36 bytes (12 for a core
// header).
inline DWORD ColorCount(const void* header) {
  DWORD size;
  std::memcpy(&size, header, sizeof size);
  WORD bits;
  if (size == sizeof(BITMAPCOREHEADER)) {
    std::memcpy(&bits, static_cast<const BYTE*>(header) + offsetof(BITMAPCOREHEADER, bcBitCount), sizeof bits);
  } else {
    DWORD used;
    std::memcpy(&used, static_cast<const BYTE*>(header) + offsetof(BITMAPINFOHEADER, biClrUsed), sizeof used);
    if (used != 0) return used;
    std::memcpy(&bits, static_cast<const BYTE*>(header) + offsetof(BITMAPINFOHEADER, biBitCount), sizeof bits);
  }
  return bits <= 8 && bits != 0 && (8 % bits) == 0 ? DWORD{1} << bits : 0;
}

// Where the parts of a packed DIB lie, checked against the block.
struct Layout {
  LONG width = 0;
  LONG height = 0;       // rows, always positive
  bool topDown = false;  // the header's height was negative
  WORD bits = 0;
  DWORD compression = BI_RGB;
  DWORD headerSize = 0;  // 12 (core), 40, 52, 56, 108 or 124
  DWORD colors = 0;      // colour table entries
  DWORD masks[3] = {0, 0, 0};  // BI_BITFIELDS red, green, blue
  std::size_t tableOffset = 0;
  std::size_t bitsOffset = 0;
  std::size_t stride = 0;
  std::size_t imageBytes = 0;  // stride * height

  bool Core() const { return headerSize == sizeof(BITMAPCOREHEADER); }
  // BI_RGB, or BI_BITFIELDS whose masks are the plain byte order of BI_RGB.
  bool PlainPixels() const {
    if (compression == BI_RGB) return true;
    if (compression != BI_BITFIELDS) return false;
    if (bits == 32) return masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;
    return bits == 16 && masks[0] == 0x7C00 && masks[1] == 0x3E0 && masks[2] == 0x1F;
  }
  // Offset (from the start of the block) of row y counted from the top.
  std::size_t RowFromTop(LONG y) const {
    std::size_t memoryRow = topDown ? static_cast<std::size_t>(y) : static_cast<std::size_t>(height - 1 - y);
    return bitsOffset + memoryRow * stride;
  }
  // Offset of row m in memory order (the first row stored is 0).
  std::size_t MemoryRow(LONG m) const { return bitsOffset + static_cast<std::size_t>(m) * stride; }
};

// Reads and checks the layout of the packed DIB in `block`. Refused (empty):
// a header size other than 12, 40, 52, 56, 108 or 124, or larger than the
// block; planes other than 1; a width or height of 0 (or a negative width); a
// bit count other than 1, 2, 4, 8, 16, 24 or 32; compression other than
// BI_RGB (BI_BITFIELDS for 16 and 32 bits); more table entries than the depth
// can index (256 for deeper pixels); rows past the block or beyond
// kMaxImageBytes.
inline std::optional<Layout> ReadLayout(std::span<const BYTE> block) {
  if (block.size() < sizeof(DWORD)) return std::nullopt;
  Layout l;
  std::memcpy(&l.headerSize, block.data(), sizeof l.headerSize);
  std::int64_t height = 0;
  WORD planes = 0;
  if (l.headerSize == sizeof(BITMAPCOREHEADER)) {
    if (block.size() < sizeof(BITMAPCOREHEADER)) return std::nullopt;
    BITMAPCOREHEADER h;
    std::memcpy(&h, block.data(), sizeof h);
    l.width = h.bcWidth;
    height = h.bcHeight;
    planes = h.bcPlanes;
    l.bits = h.bcBitCount;
  } else {
    switch (l.headerSize) {
      case 40: case 52: case 56: case 108: case 124: break;
      default: return std::nullopt;
    }
    if (block.size() < l.headerSize) return std::nullopt;
    BITMAPINFOHEADER h;
    std::memcpy(&h, block.data(), sizeof h);
    l.width = h.biWidth;
    height = h.biHeight;
    planes = h.biPlanes;
    l.bits = h.biBitCount;
    l.compression = h.biCompression;
  }
  if (planes != 1 || l.width <= 0 || height == 0) return std::nullopt;
  l.topDown = height < 0;
  height = height < 0 ? -height : height;
  if (height > 0x7FFFFFFF) return std::nullopt;
  l.height = static_cast<LONG>(height);
  switch (l.bits) {
    case 1: case 2: case 4: case 8: case 24: break;
    case 16: case 32: if (l.Core()) return std::nullopt; break;
    default: return std::nullopt;
  }
  std::uint64_t tableOffset = l.headerSize;
  if (l.compression == BI_BITFIELDS) {
    if (l.bits != 16 && l.bits != 32) return std::nullopt;
    // A 40-byte header is followed by the three masks; larger ones hold them.
    std::size_t at = sizeof(BITMAPINFOHEADER);
    if (l.headerSize == sizeof(BITMAPINFOHEADER)) tableOffset += sizeof l.masks;
    if (block.size() < at + sizeof l.masks) return std::nullopt;
    std::memcpy(l.masks, block.data() + at, sizeof l.masks);
  } else if (l.compression != BI_RGB) {
    return std::nullopt;
  }
  l.colors = ColorCount(block.data());
  if (l.colors > (l.bits <= 8 ? (DWORD{1} << l.bits) : DWORD{256})) return std::nullopt;
  l.stride = RowBytes(l.width, l.bits);
  if (l.stride == 0) return std::nullopt;
  std::uint64_t image = static_cast<std::uint64_t>(l.stride) * static_cast<std::uint64_t>(l.height);
  std::uint64_t bitsOffset = tableOffset + std::uint64_t{l.colors} * (l.Core() ? 3 : 4);
  if (image > kMaxImageBytes || bitsOffset + image > block.size()) return std::nullopt;
  l.tableOffset = static_cast<std::size_t>(tableOffset);
  l.bitsOffset = static_cast<std::size_t>(bitsOffset);
  l.imageBytes = static_cast<std::size_t>(image);
  return l;
}

// A new zero-filled packed DIB with a 40-byte header: `header` gives the
// fields that are not set here (pixels per metre, important colours), width,
// height (negative for top-down rows), bit count, BI_RGB, biSizeImage and
// biClrUsed = `colors` are set. Empty when the size is beyond the limits or
// the block cannot be had.
struct NewDib {
  GlobalBlock block;
  Layout layout;
};
inline std::optional<NewDib> AllocDib(const BITMAPINFOHEADER& header, std::int64_t width, std::int64_t height,
                                      WORD bits, DWORD colors) {
  std::size_t stride = RowBytes(width, bits);
  std::int64_t rows = height < 0 ? -height : height;
  if (stride == 0 || rows == 0 || rows > 0x7FFFFFFF || colors > 256) return std::nullopt;
  std::uint64_t image = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(rows);
  if (image > kMaxImageBytes) return std::nullopt;
  std::size_t tableBytes = std::size_t{colors} * sizeof(RGBQUAD);
  NewDib dib;
  dib.block = GlobalBlock(GlobalAlloc(GHND, sizeof(BITMAPINFOHEADER) + tableBytes + image));
  if (!dib.block) return std::nullopt;
  BlockLock lock(dib.block.get());
  if (!lock.ok()) return std::nullopt;
  BITMAPINFOHEADER h = header;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = static_cast<LONG>(width);
  h.biHeight = static_cast<LONG>(height);
  h.biPlanes = 1;
  h.biBitCount = bits;
  h.biCompression = BI_RGB;
  h.biSizeImage = static_cast<DWORD>(image);
  h.biClrUsed = colors;
  std::memcpy(lock.data(), &h, sizeof h);
  Layout& l = dib.layout;
  l.width = h.biWidth;
  l.height = static_cast<LONG>(rows);
  l.topDown = height < 0;
  l.bits = bits;
  l.headerSize = sizeof(BITMAPINFOHEADER);
  l.colors = colors;
  l.tableOffset = sizeof(BITMAPINFOHEADER);
  l.bitsOffset = l.tableOffset + tableBytes;
  l.stride = stride;
  l.imageBytes = static_cast<std::size_t>(image);
  return dib;
}

// The 40 bytes of a header as a struct (a core header gives its four fields
// in the larger struct's places).
inline BITMAPINFOHEADER HeaderOf(std::span<const BYTE> block, const Layout& l) {
  BITMAPINFOHEADER h{};
  if (l.Core()) {
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = l.width;
    h.biHeight = l.height;
    h.biPlanes = 1;
    h.biBitCount = l.bits;
  } else {
    std::memcpy(&h, block.data(), sizeof h);
  }
  return h;
}

}  // namespace tw::dib
