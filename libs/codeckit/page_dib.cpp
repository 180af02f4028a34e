#include "page_dib.h"

#include <climits>
#include <cstring>

namespace tw::codec {

std::uint64_t DibStride(std::uint32_t width, int bits) {
  return (std::uint64_t(width) * static_cast<unsigned>(bits) + 31) / 32 * 4;
}

RGBQUAD DibView::Color(unsigned index) const {
  return index < colors.size() ? colors[index] : RGBQUAD{0, 0, 0, 0};
}

bool DibView::GreyTable() const {
  for (const RGBQUAD& c : colors)
    if (c.rgbRed != c.rgbGreen || c.rgbGreen != c.rgbBlue) return false;
  return true;
}

bool DibView::GreyRamp() const {
  if (colors.size() != 256) return false;
  for (unsigned i = 0; i < 256; ++i)
    if (colors[i].rgbRed != i || colors[i].rgbGreen != i || colors[i].rgbBlue != i) return false;
  return true;
}

const char* DibStatusText(DibStatus status) {
  switch (status) {
    case DibStatus::Ok: return "valid";
    case DibStatus::BadHeader: return "the bitmap header is invalid";
    case DibStatus::Unsupported: return "the bitmap format is not supported";
    case DibStatus::Truncated: return "the bitmap block is smaller than its header says";
  }
  return "invalid bitmap";
}

DibStatus ParseDib(std::span<const BYTE> block, DibView& view) {
  view = DibView{};
  if (block.size() < sizeof(BITMAPINFOHEADER)) return DibStatus::Truncated;
  BITMAPINFOHEADER h;
  std::memcpy(&h, block.data(), sizeof h);
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > block.size()) return DibStatus::BadHeader;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT_MIN) return DibStatus::BadHeader;
  if (h.biCompression != BI_RGB) return DibStatus::Unsupported;
  int bits = h.biBitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return DibStatus::Unsupported;
  std::uint32_t width = static_cast<std::uint32_t>(h.biWidth);
  std::uint32_t height = static_cast<std::uint32_t>(h.biHeight < 0 ? -std::int64_t(h.biHeight) : h.biHeight);
  if (std::uint64_t(width) * height > kMaxPixels) return DibStatus::Unsupported;

  std::uint64_t colors = h.biClrUsed;
  if (colors == 0 && bits <= 8) colors = 1u << bits;
  if (colors > 256) return DibStatus::BadHeader;
  std::uint64_t pixelOffset = std::uint64_t(h.biSize) + 4 * colors;
  std::uint64_t stride = DibStride(width, bits);
  if (pixelOffset + stride * height > block.size()) return DibStatus::Truncated;

  view.width = width;
  view.height = height;
  view.bits = bits;
  view.topDown = h.biHeight < 0;
  view.colors = {reinterpret_cast<const RGBQUAD*>(block.data() + h.biSize), static_cast<std::size_t>(colors)};
  view.pixels = block.data() + pixelOffset;
  view.stride = static_cast<std::size_t>(stride);
  view.xPelsPerMeter = h.biXPelsPerMeter;
  view.yPelsPerMeter = h.biYPelsPerMeter;
  return DibStatus::Ok;
}

DibBuilder::DibBuilder(std::uint32_t width, std::uint32_t height, int bits, std::span<const RGBQUAD> colors,
                       LONG xPelsPerMeter, LONG yPelsPerMeter) {
  if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX) return;
  if (std::uint64_t(width) * height > kMaxPixels || colors.size() > 256) return;
  std::uint64_t stride = DibStride(width, bits);
  std::uint64_t header = sizeof(BITMAPINFOHEADER) + 4 * colors.size();
  block_.Reset(GlobalAlloc(GHND, static_cast<SIZE_T>(header + stride * height)));
  if (!block_.Get()) return;
  base_ = static_cast<BYTE*>(GlobalLock(block_.Get()));
  if (!base_) return;
  BITMAPINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = static_cast<LONG>(width);
  h.biHeight = static_cast<LONG>(height);
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(bits);
  h.biCompression = BI_RGB;
  h.biSizeImage = static_cast<DWORD>(stride * height);
  h.biXPelsPerMeter = xPelsPerMeter;
  h.biYPelsPerMeter = yPelsPerMeter;
  h.biClrUsed = static_cast<DWORD>(colors.size());
  std::memcpy(base_, &h, sizeof h);
  if (!colors.empty()) std::memcpy(base_ + sizeof h, colors.data(), 4 * colors.size());
  pixels_ = base_ + header;
  stride_ = static_cast<std::size_t>(stride);
  height_ = height;
}

DibBuilder::~DibBuilder() {
  if (base_) GlobalUnlock(block_.Get());
}

HGLOBAL DibBuilder::Release() {
  if (!base_) return nullptr;
  GlobalUnlock(block_.Get());
  base_ = pixels_ = nullptr;
  return block_.Release();
}

}  // namespace tw::codec
