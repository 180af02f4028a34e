#include "output/imaging/dib_access.h"

namespace tw::imaging {

TargetDib::TargetDib(const BITMAPINFOHEADER& header, LONG width, LONG height, WORD bits, DWORD colors) {
  auto dib = tw::dib::AllocDib(header, width, height, bits, colors);
  if (!dib) return;
  block_ = std::move(dib->block);
  layout_ = dib->layout;
  lock_.emplace(block_.get());
}

TargetDib::TargetDib(const SourceDib& src, LONG width, LONG height, bool swapResolution) {
  const Layout& in = src.layout();
  if (in.Core()) return;  // only the 40-byte family is written here
  std::size_t stride = tw::dib::RowBytes(width, in.bits);
  if (stride == 0 || height <= 0) return;
  std::uint64_t image = static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height);
  if (image > tw::dib::kMaxImageBytes) return;
  block_ = tw::dib::GlobalBlock(GlobalAlloc(GHND, in.bitsOffset + image));
  if (!block_) return;
  lock_.emplace(block_.get());
  if (!lock_->ok()) return;
  std::span<const BYTE> prefix = src.Prefix();
  std::memcpy(lock_->data(), prefix.data(), prefix.size());
  BITMAPINFOHEADER h = src.Header();
  h.biWidth = width;
  h.biHeight = in.topDown ? -height : height;
  h.biSizeImage = static_cast<DWORD>(image);
  if (swapResolution) std::swap(h.biXPelsPerMeter, h.biYPelsPerMeter);
  std::memcpy(lock_->data(), &h, sizeof h);
  layout_ = in;
  layout_.width = width;
  layout_.height = height;
  layout_.stride = stride;
  layout_.imageBytes = static_cast<std::size_t>(image);
}

HGLOBAL TargetDib::Release() {
  if (!ok()) return nullptr;
  lock_->Unlock();
  return block_.release();
}

}  // namespace tw::imaging
