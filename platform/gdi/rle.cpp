// Row-by-row reading of BI_RLE8 / BI_RLE4 streams.
#include "rle.h"

#include <algorithm>

namespace tw::gdi {
namespace {

// At most this many checkpoints: a row costs at most 1/kCheckpoints of the
// stream to reach, whatever its length.
constexpr std::size_t kCheckpoints = 4096;

}  // namespace

RleImage::RleImage(const BYTE* data, std::size_t size, bool rle4, int width, int height)
    : data_(data), size_(size), rle4_(rle4), width_(std::max(width, 0)), height_(std::max(height, 0)) {
  std::size_t step = std::max<std::size_t>(256, size_ / kCheckpoints);
  State s;
  checkpoints_.push_back(s);
  std::size_t next = step;
  while (Step(s, nullptr)) {
    if (s.offset >= next) {
      checkpoints_.push_back(s);
      next = s.offset + step;
    }
  }
}

bool RleImage::Step(State& s, const Output* out) const {
  if (s.ended || s.y >= height_ || s.offset + 1 >= size_) {
    s.ended = true;
    return false;
  }
  const BYTE count = data_[s.offset], value = data_[s.offset + 1];
  s.offset += 2;
  // x never needs to pass the width: nothing is drawn there until the
  // next end of line (and so it cannot overflow on endless deltas).
  auto emit = [&](int from, int n, auto&& indexAt) {
    if (out && s.y == out->row) {
      int lo = std::max(from, out->x0), hi = std::min({from + n, out->x1, width_});
      for (int x = lo; x < hi; ++x) {
        out->values[x - out->x0] = indexAt(x - from);
        out->set[x - out->x0] = 1;
      }
    }
  };
  if (count > 0) {  // a run of one value (RLE4: two alternating nibbles)
    emit(s.x, count, [&](int k) -> DWORD { return rle4_ ? ((k & 1) ? value & 0x0F : value >> 4) : value; });
    s.x = std::min(s.x + count, width_);
    return true;
  }
  switch (value) {
    case 0:  // end of line
      s.x = 0;
      ++s.y;
      return true;
    case 1:  // end of bitmap
      s.ended = true;
      return false;
    case 2:  // delta
      if (s.offset + 1 >= size_) {
        s.ended = true;
        return false;
      }
      s.x = std::min(s.x + data_[s.offset], width_);
      s.y = std::min(s.y + data_[s.offset + 1], height_);
      s.offset += 2;
      return true;
    default: {  // `value` pixels as they are, padded to a word
      std::size_t bytes = rle4_ ? (value + 1u) / 2 : value;
      if (bytes > size_ - s.offset) {
        s.ended = true;
        return false;
      }
      const BYTE* p = data_ + s.offset;
      emit(s.x, value, [&](int k) -> DWORD {
        return rle4_ ? ((k & 1) ? p[k / 2] & 0x0F : p[k / 2] >> 4) : p[k];
      });
      s.x = std::min(s.x + value, width_);
      s.offset += (bytes + 1) & ~std::size_t{1};
      return true;
    }
  }
}

void RleImage::DecodeRow(int y, int x0, int x1, DWORD* values, BYTE* set) const {
  if (x1 <= x0) return;
  std::fill(values, values + (x1 - x0), 0);
  std::fill(set, set + (x1 - x0), 0);
  if (y < 0 || y >= height_) return;
  const int row = height_ - 1 - y;  // stream rows count from the bottom
  // The last checkpoint still below the row: everything the stream does to
  // the row comes after it.
  auto after = std::partition_point(checkpoints_.begin(), checkpoints_.end(),
                                    [row](const State& c) { return c.y < row; });
  State s = after == checkpoints_.begin() ? checkpoints_.front() : *(after - 1);
  Output out{row, x0, x1, values, set};
  while (s.y <= row && Step(s, &out)) {
  }
}

}  // namespace tw::gdi
