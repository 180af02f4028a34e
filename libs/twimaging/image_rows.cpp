#include "libs/twimaging/image_rows.h"

#include <cstring>

namespace tw::twimaging {

const BYTE kBayer8[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21},
};

InputImage::InputImage(HGLOBAL h) : lock_(h) {
  if (!lock_.ok()) return;
  auto layout = tw::dib::ReadLayout(lock_.bytes());
  if (!layout || layout->Core() || !layout->PlainPixels() || layout->bits == 16) return;
  if (layout->bits <= 8)
    std::memcpy(colors_, lock_.data() + layout->tableOffset, layout->colors * sizeof(RGBQUAD));
  layout_ = layout;
}

BITMAPINFOHEADER InputImage::ResultHeader() const {
  BITMAPINFOHEADER in;
  std::memcpy(&in, lock_.data(), sizeof in);
  BITMAPINFOHEADER h{};
  h.biXPelsPerMeter = in.biXPelsPerMeter;
  h.biYPelsPerMeter = in.biYPelsPerMeter;
  return h;
}

void InputImage::RowBgr(LONG y, BYTE* bgr) const {
  const BYTE* s = Row(y);
  const LONG w = layout_->width;
  switch (layout_->bits) {
    case 24: std::memcpy(bgr, s, static_cast<std::size_t>(w) * 3); return;
    case 32:
      for (LONG x = 0; x < w; ++x, s += 4, bgr += 3) {
        bgr[0] = s[0];
        bgr[1] = s[1];
        bgr[2] = s[2];
      }
      return;
    default: {
      const unsigned bits = layout_->bits, perByte = 8 / bits, mask = (1u << bits) - 1;
      for (LONG x = 0; x < w; ++x, bgr += 3) {
        const unsigned ux = static_cast<unsigned>(x);
        const RGBQUAD& c = colors_[(s[ux / perByte] >> (8 - bits - (ux % perByte) * bits)) & mask];
        bgr[0] = c.rgbBlue;
        bgr[1] = c.rgbGreen;
        bgr[2] = c.rgbRed;
      }
    }
  }
}

void InputImage::RowLuma(LONG y, BYTE* luma) const {
  const BYTE* s = Row(y);
  const LONG w = layout_->width;
  if (layout_->bits >= 24) {
    const std::size_t step = layout_->bits / 8;
    for (LONG x = 0; x < w; ++x, s += step) luma[x] = Luma(s[2], s[1], s[0]);
    return;
  }
  BYTE lut[256];
  for (unsigned i = 0; i < 256; ++i) lut[i] = Luma(colors_[i].rgbRed, colors_[i].rgbGreen, colors_[i].rgbBlue);
  if (layout_->bits == 8) {
    for (LONG x = 0; x < w; ++x) luma[x] = lut[s[x]];
    return;
  }
  const unsigned bits = layout_->bits, perByte = 8 / bits, mask = (1u << bits) - 1;
  for (LONG x = 0; x < w; ++x) {
    const unsigned ux = static_cast<unsigned>(x);
    luma[x] = lut[(s[ux / perByte] >> (8 - bits - (ux % perByte) * bits)) & mask];
  }
}

OutputImage::OutputImage(const InputImage& in, WORD bits, std::span<const RGBQUAD> table) {
  auto dib = tw::dib::AllocDib(in.ResultHeader(), in.Width(), in.SignedHeight(), bits,
                               static_cast<DWORD>(table.size()));
  if (!dib) return;
  block_ = std::move(dib->block);
  layout_ = dib->layout;
  lock_.emplace(block_.get());
  if (ok()) std::memcpy(lock_->data() + layout_.tableOffset, table.data(), table.size_bytes());
}

HGLOBAL OutputImage::Release() {
  if (!ok()) return nullptr;
  lock_->Unlock();
  return block_.release();
}

int OtsuLevel(const std::vector<std::uint64_t>& histogram) {
  double total = 0, sum = 0;
  for (int i = 0; i < 256; ++i) {
    total += static_cast<double>(histogram[static_cast<std::size_t>(i)]);
    sum += i * static_cast<double>(histogram[static_cast<std::size_t>(i)]);
  }
  double below = 0, belowSum = 0, best = 0;
  int level = 127;
  for (int t = 0; t < 255; ++t) {
    below += static_cast<double>(histogram[static_cast<std::size_t>(t)]);
    belowSum += t * static_cast<double>(histogram[static_cast<std::size_t>(t)]);
    const double above = total - below;
    if (below == 0 || above == 0) continue;
    const double diff = belowSum / below - (sum - belowSum) / above;
    const double variance = below * above * diff * diff;
    if (variance > best) {
      best = variance;
      level = t;
    }
  }
  return level;
}

}  // namespace tw::twimaging
