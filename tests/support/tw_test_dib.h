// Test helpers: building page DIBs pixel by pixel and reading them back.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "tw/packed_dib.h"

namespace twtest {

// A page DIB under construction: header, table and rows in one byte vector,
// pixels addressed from the top-left corner.
struct DibBytes {
  std::vector<BYTE> bytes;

  DibBytes(LONG width, LONG height, WORD bits, std::vector<RGBQUAD> table = {}, bool topDown = false) {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = width;
    h.biHeight = topDown ? -height : height;
    h.biPlanes = 1;
    h.biBitCount = bits;
    h.biCompression = BI_RGB;
    h.biXPelsPerMeter = 11811;
    h.biYPelsPerMeter = 3937;
    h.biClrUsed = static_cast<DWORD>(table.size());
    stride = tw::dib::RowBytes(width, bits);
    h.biSizeImage = static_cast<DWORD>(stride * static_cast<std::size_t>(height));
    bytes.resize(sizeof h + table.size() * 4 + h.biSizeImage);
    std::memcpy(bytes.data(), &h, sizeof h);
    if (!table.empty()) std::memcpy(bytes.data() + sizeof h, table.data(), table.size() * 4);
    this->width = width;
    this->height = height;
    this->bits = bits;
    this->topDown = topDown;
    bitsOffset = sizeof h + table.size() * 4;
  }

  LONG width, height;
  WORD bits;
  bool topDown;
  std::size_t stride, bitsOffset;

  BYTE* Row(LONG y) { return bytes.data() + bitsOffset + stride * static_cast<std::size_t>(topDown ? y : height - 1 - y); }
  std::uint32_t Get(LONG x, LONG y) { return GetPixel(Row(y), x, bits); }
  void Set(LONG x, LONG y, std::uint32_t v) { SetPixel(Row(y), x, bits, v); }

  // Fills every pixel (and only pixels) with random values.
  void Randomise(std::uint32_t seed) {
    std::mt19937 rng(seed);
    for (LONG y = 0; y < height; ++y)
      for (LONG x = 0; x < width; ++x) Set(x, y, static_cast<std::uint32_t>(rng()));
  }

  static std::uint32_t GetPixel(const BYTE* row, LONG x, WORD bits) {
    if (bits < 8) {
      std::size_t bit = static_cast<std::size_t>(x) * bits;
      return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
    }
    std::uint32_t v = 0;
    std::memcpy(&v, row + static_cast<std::size_t>(x) * (bits / 8), bits / 8);
    return v;
  }
  static void SetPixel(BYTE* row, LONG x, WORD bits, std::uint32_t v) {
    if (bits < 8) {
      std::size_t bit = static_cast<std::size_t>(x) * bits;
      unsigned shift = static_cast<unsigned>(8 - bits - bit % 8), mask = ((1u << bits) - 1) << shift;
      row[bit / 8] = static_cast<BYTE>((row[bit / 8] & ~mask) | ((v << shift) & mask));
      return;
    }
    std::memcpy(row + static_cast<std::size_t>(x) * (bits / 8), &v, bits / 8);
  }

  // A movable block holding these bytes; the caller frees it.
  HGLOBAL Block() const {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(h), bytes.data(), bytes.size());
    GlobalUnlock(h);
    return h;
  }
};

// A locked view of a result block, freed with the view.
class DibView {
 public:
  explicit DibView(HGLOBAL h) : h_(h) {
    if (!h_) return;
    data_ = static_cast<BYTE*>(GlobalLock(h_));
    size_ = GlobalSize(h_);
    layout_ = tw::dib::ReadLayout({data_, size_});
  }
  ~DibView() {
    if (data_) GlobalUnlock(h_);
    if (h_) GlobalFree(h_);
  }
  DibView(const DibView&) = delete;
  DibView& operator=(const DibView&) = delete;

  bool ok() const { return layout_.has_value(); }
  const tw::dib::Layout& layout() const { return *layout_; }
  const BITMAPINFOHEADER& Header() const { return *reinterpret_cast<const BITMAPINFOHEADER*>(data_); }
  const RGBQUAD* Table() const { return reinterpret_cast<const RGBQUAD*>(data_ + layout_->tableOffset); }
  const BYTE* Row(LONG y) const { return data_ + layout_->RowFromTop(y); }
  std::uint32_t Get(LONG x, LONG y) const { return DibBytes::GetPixel(Row(y), x, layout_->bits); }
  LONG Width() const { return layout_->width; }
  LONG Height() const { return layout_->height; }
  std::size_t Size() const { return size_; }
  const BYTE* Data() const { return data_; }
  // True when every bit of every row past the last pixel is 0.
  bool PaddingClear() const {
    const std::size_t usedBits = static_cast<std::size_t>(Width()) * layout_->bits;
    for (LONG y = 0; y < Height(); ++y)
      for (std::size_t bit = usedBits; bit < layout_->stride * 8; ++bit)
        if (Row(y)[bit / 8] & (0x80u >> (bit % 8))) return false;
    return true;
  }

 private:
  HGLOBAL h_;
  BYTE* data_ = nullptr;
  std::size_t size_ = 0;
  std::optional<tw::dib::Layout> layout_;
};

// A block whose bytes must still be `expected` when the scope ends: the
// operations never change their input.
class InputBlock {
 public:
  explicit InputBlock(const DibBytes& dib) : expected_(dib.bytes), h_(dib.Block()) {}
  explicit InputBlock(std::vector<BYTE> bytes) : expected_(std::move(bytes)) {
    h_ = GlobalAlloc(GMEM_MOVEABLE, expected_.size());
    std::memcpy(GlobalLock(h_), expected_.data(), expected_.size());
    GlobalUnlock(h_);
  }
  ~InputBlock() {
    BYTE* p = static_cast<BYTE*>(GlobalLock(h_));
    EXPECT_EQ(std::memcmp(p, expected_.data(), expected_.size()), 0) << "the input block was changed";
    GlobalUnlock(h_);
    GlobalFree(h_);
  }
  InputBlock(const InputBlock&) = delete;
  InputBlock& operator=(const InputBlock&) = delete;
  HGLOBAL get() const { return h_; }

 private:
  std::vector<BYTE> expected_;
  HGLOBAL h_;
};

inline std::vector<RGBQUAD> BlackWhiteTable() { return {{0, 0, 0, 0}, {255, 255, 255, 0}}; }
inline std::vector<RGBQUAD> GreyTable(unsigned entries) {
  std::vector<RGBQUAD> t(entries);
  for (unsigned i = 0; i < entries; ++i) {
    BYTE v = static_cast<BYTE>(entries == 1 ? 0 : i * 255 / (entries - 1));
    t[i] = {v, v, v, 0};
  }
  return t;
}
inline std::vector<RGBQUAD> TableFor(WORD bits) {
  if (bits == 1) return BlackWhiteTable();
  if (bits <= 8) return GreyTable(1u << bits);
  return {};
}

}  // namespace twtest
