#include "output/gif/gif_lzw.h"

namespace tw::gif {

LzwEncoder::LzwEncoder(int minCodeSize, std::vector<BYTE>& out)
    : minCodeSize_(minCodeSize), clearCode_(1 << minCodeSize), endCode_((1 << minCodeSize) + 1), out_(out), table_(kHashSize) {
  ResetTable();
  // Decoders start from a known table.
  PutCode(clearCode_);
}

void LzwEncoder::ResetTable() {
  for (Entry& e : table_) e.key = -1;
  nextCode_ = endCode_ + 1;
  codeBits_ = minCodeSize_ + 1;
}

bool LzwEncoder::Add(std::span<const BYTE> indices) {
  for (BYTE pixel : indices)
    if (pixel >= clearCode_) return false;
  for (BYTE pixel : indices) {
    if (prefix_ < 0) {
      prefix_ = pixel;
      continue;
    }
    std::int32_t key = (prefix_ << 8) | pixel;
    int slot = ((pixel << 4) ^ prefix_) % kHashSize;
    int step = slot == 0 ? 1 : kHashSize - slot;
    while (table_[slot].key != -1 && table_[slot].key != key) {
      slot -= step;
      if (slot < 0) slot += kHashSize;
    }
    if (table_[slot].key == key) {
      prefix_ = table_[slot].code;
      continue;
    }
    PutCode(prefix_);
    if (nextCode_ < kTableCodes) {
      table_[slot] = {key, static_cast<std::uint16_t>(nextCode_++)};
    } else {
      PutCode(clearCode_);
      ResetTable();
    }
    prefix_ = pixel;
  }
  return true;
}

void LzwEncoder::Finish() {
  if (prefix_ >= 0) PutCode(prefix_);
  PutCode(endCode_);
  if (bitCount_ > 0) PutByte(static_cast<BYTE>(bitBuffer_));
  bitBuffer_ = 0;
  bitCount_ = 0;
  if (blockFill_ > 0) {
    out_.push_back(static_cast<BYTE>(blockFill_));
    out_.insert(out_.end(), block_.begin(), block_.begin() + static_cast<std::ptrdiff_t>(blockFill_));
    blockFill_ = 0;
  }
}

void LzwEncoder::PutCode(int code) {
  bitBuffer_ |= static_cast<std::uint32_t>(code) << bitCount_;
  bitCount_ += codeBits_;
  while (bitCount_ >= 8) {
    PutByte(static_cast<BYTE>(bitBuffer_));
    bitBuffer_ >>= 8;
    bitCount_ -= 8;
  }
  // The decoder adds a table entry for each code after the first and widens
  // its codes when the next free one no longer fits; a code written with the
  // table at nextCode_ is read back with that entry pending, hence the test
  // on nextCode_ before this code's own entry is added.
  if (code != clearCode_ && nextCode_ > (1 << codeBits_) - 1 && codeBits_ < kMaxBits) ++codeBits_;
}

void LzwEncoder::PutByte(BYTE b) {
  block_[blockFill_++] = b;
  if (blockFill_ == block_.size()) {
    out_.push_back(static_cast<BYTE>(blockFill_));
    out_.insert(out_.end(), block_.begin(), block_.end());
    blockFill_ = 0;
  }
}

}  // namespace tw::gif
