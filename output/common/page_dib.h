// What the writers that store a page image share: the page DIB locked and
// checked for the depths a format stores, and a file handle that closes
// itself.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <utility>

#include "tw/packed_dib.h"

namespace tw::output {

// The page DIB, locked for the object's lifetime. ok() is false for a block
// that cannot be locked or whose header, table or rows do not describe a
// plain DIB of one of the given depths inside the block.
class PageDib {
 public:
  PageDib(HGLOBAL hDIB, std::initializer_list<WORD> depths) : lock_(hDIB) {
    if (!lock_.ok()) return;
    layout_ = tw::dib::ReadLayout(lock_.bytes());
    if (layout_ && (layout_->Core() || !layout_->PlainPixels() ||
                    std::find(depths.begin(), depths.end(), layout_->bits) == depths.end()))
      layout_.reset();
  }
  bool ok() const { return layout_.has_value(); }
  const tw::dib::Layout& layout() const { return *layout_; }
  LONG Width() const { return layout_->width; }
  LONG Height() const { return layout_->height; }
  WORD Bits() const { return layout_->bits; }
  // Row y counted from the top (stride bytes).
  const BYTE* Row(LONG y) const { return lock_.data() + layout_->RowFromTop(y); }
  // Colour entry i, black past the table.
  RGBQUAD Color(DWORD i) const {
    RGBQUAD q{};
    if (i < layout_->colors) std::memcpy(&q, lock_.data() + layout_->tableOffset + 4 * std::size_t{i}, sizeof q);
    return q;
  }
  const BITMAPINFOHEADER& Header() const { return *reinterpret_cast<const BITMAPINFOHEADER*>(lock_.data()); }

 private:
  tw::dib::BlockLock lock_;
  std::optional<tw::dib::Layout> layout_;
};

// One-bit rows reach the CCITT coders with a set bit black: a DIB whose
// first colour is black (or darker than the second) has its bits inverted.
inline bool OneBitRowsNeedInverting(const PageDib& dib) {
  RGBQUAD a = dib.Color(0), b = dib.Color(1);
  auto sum = [](RGBQUAD q) { return int{q.rgbBlue} + q.rgbGreen + q.rgbRed; };
  return sum(a) == 0 || sum(a) < sum(b);
}

// A file handle closed with the object.
class UniqueFile {
 public:
  UniqueFile() = default;
  explicit UniqueFile(HANDLE h) : h_(h) {}
  ~UniqueFile() { Close(); }
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;
  bool ok() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }
  // False when closing fails (data not written).
  bool Close() {
    if (!ok()) return true;
    return CloseHandle(std::exchange(h_, INVALID_HANDLE_VALUE)) != FALSE;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

// All of `size` bytes written.
inline bool WriteAll(HANDLE file, const void* data, std::size_t size) {
  const auto* p = static_cast<const BYTE*>(data);
  while (size > 0) {
    DWORD ask = static_cast<DWORD>(std::min<std::size_t>(size, 0x40000000)), wrote = 0;
    if (!WriteFile(file, p, ask, &wrote, nullptr) || wrote == 0) return false;
    p += wrote;
    size -= wrote;
  }
  return true;
}

}  // namespace tw::output
