// The recorder's byte buffer and bounds box.
#include <algorithm>
#include <cstring>
#include <new>

#include "emf_recorder.h"

namespace tw::emf {

size_t RecordWriter::Begin(DWORD type, const void* head, size_t headSize) {
  size_t start = bytes_.size();
  Append(head, headSize);
  if (!failed_) std::memcpy(bytes_.data() + start, &type, 4);
  return start;
}

void RecordWriter::Append(const void* data, size_t size) {
  if (size == 0 || failed_) return;
  size_t at = bytes_.size();
  try {
    bytes_.resize(at + size);
  } catch (const std::bad_alloc&) {
    failed_ = true;
    return;
  }
  std::memcpy(bytes_.data() + at, data, size);
}

void RecordWriter::Pad() {
  static const BYTE zeros[3] = {0, 0, 0};
  Append(zeros, (4 - bytes_.size() % 4) % 4);
}

void RecordWriter::End(size_t start) {
  Pad();
  if (failed_) return;
  DWORD size = static_cast<DWORD>(bytes_.size() - start);
  std::memcpy(bytes_.data() + start + 4, &size, 4);
  ++records_;
}

void BoundsBox::Add(const RECTL& r) {
  if (r.right < r.left || r.bottom < r.top) return;
  if (empty) {
    box = r;
    empty = false;
    return;
  }
  box.left = std::min(box.left, r.left);
  box.top = std::min(box.top, r.top);
  box.right = std::max(box.right, r.right);
  box.bottom = std::max(box.bottom, r.bottom);
}

}  // namespace tw::emf
