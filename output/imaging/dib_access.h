// Internal: a locked, checked input DIB and a new output DIB, with row
// access counted from the top or in memory order.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <span>

#include "tw/packed_dib.h"

namespace tw::imaging {

using tw::dib::Layout;

// The input of an operation: locked for the object's lifetime; ok() only
// when its layout was read and fits the block.
class SourceDib {
 public:
  explicit SourceDib(HGLOBAL h) : lock_(h) {
    if (lock_.ok()) layout_ = tw::dib::ReadLayout(lock_.bytes());
  }
  bool ok() const { return layout_.has_value(); }
  const Layout& layout() const { return *layout_; }
  LONG Width() const { return layout_->width; }
  LONG Height() const { return layout_->height; }
  WORD Bits() const { return layout_->bits; }
  const BYTE* Row(LONG yFromTop) const { return lock_.data() + layout_->RowFromTop(yFromTop); }
  const BYTE* MemoryRow(LONG m) const { return lock_.data() + layout_->MemoryRow(m); }
  // The colour table of a 40-byte (or larger) header; empty for a core one.
  std::span<const RGBQUAD> Table() const {
    if (layout_->Core()) return {};
    return {reinterpret_cast<const RGBQUAD*>(lock_.data() + layout_->tableOffset), layout_->colors};
  }
  BITMAPINFOHEADER Header() const { return tw::dib::HeaderOf(lock_.bytes(), *layout_); }
  // Header, masks and colour table: everything before the rows.
  std::span<const BYTE> Prefix() const { return {lock_.data(), layout_->bitsOffset}; }

 private:
  tw::dib::BlockLock lock_;
  std::optional<Layout> layout_;
};

// The result of an operation, zero-filled and locked until Release().
class TargetDib {
 public:
  // A 40-byte header made from `header` (see tw::dib::AllocDib) and a table
  // of `colors` entries.
  TargetDib(const BITMAPINFOHEADER& header, LONG width, LONG height, WORD bits, DWORD colors);
  // The header, masks and colour table of `src`, with another width and
  // height (the sign of the source's height kept) and the image size
  // recomputed. `swapResolution` exchanges the pixels per metre.
  TargetDib(const SourceDib& src, LONG width, LONG height, bool swapResolution);
  TargetDib(const TargetDib&) = delete;
  TargetDib& operator=(const TargetDib&) = delete;

  bool ok() const { return lock_.has_value() && lock_->ok(); }
  const Layout& layout() const { return layout_; }
  BYTE* Row(LONG yFromTop) { return lock_->data() + layout_.RowFromTop(yFromTop); }
  BYTE* MemoryRow(LONG m) { return lock_->data() + layout_.MemoryRow(m); }
  RGBQUAD* Table() { return reinterpret_cast<RGBQUAD*>(lock_->data() + layout_.tableOffset); }
  // Unlocks the block and hands it to the caller (null when not ok()).
  HGLOBAL Release();

 private:
  tw::dib::GlobalBlock block_;
  std::optional<tw::dib::BlockLock> lock_;
  Layout layout_;
};

// Runs an operation whose working buffers may fail to allocate: such a
// failure is a null result, like a block that cannot be had.
template <typename F>
auto NullOnNoMemory(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Bytes of a row that hold pixels (the rest of the stride is padding).
inline std::size_t UsedRowBytes(LONG width, unsigned bits) {
  return (static_cast<std::size_t>(width) * bits + 7) / 8;
}

// The mask of the bits of a row's last used byte that hold pixels.
inline BYTE LastByteMask(LONG width, unsigned bits) {
  unsigned used = static_cast<unsigned>((static_cast<std::uint64_t>(width) * bits) % 8);
  return used == 0 ? BYTE{0xFF} : static_cast<BYTE>(0xFF00u >> used);
}

// Grey of a colour as the grey operations take it: (b + g + r) / 3.
inline BYTE GreyOf(unsigned b, unsigned g, unsigned r) { return static_cast<BYTE>((b + g + r) / 3); }

// 256 colours for palette pixels: entries past the table are black, so a
// pixel that indexes beyond its table reads black instead of other bytes.
struct ColorLut {
  RGBQUAD colors[256] = {};
  explicit ColorLut(std::span<const RGBQUAD> table) {
    std::memcpy(colors, table.data(), std::min<std::size_t>(table.size(), 256) * sizeof(RGBQUAD));
  }
};

}  // namespace tw::imaging
