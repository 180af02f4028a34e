// GIF's LZW coder: variable-length codes packed least significant bit first,
// clear code 2^n and end code 2^n + 1 for the minimum code size n, codes from
// n + 1 bits growing up to 12, and a clear code whenever all 4096 codes are
// taken. The string table is an open-addressed hash of 5021 entries.
#pragma once
#include <windows.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tw::gif {

class LzwEncoder {
 public:
  // The coded data goes to `out` as GIF data sub-blocks (a length byte and up
  // to 255 bytes each); the caller writes the minimum code size before them
  // and the zero-length block after them, and may take what `out` holds at
  // any time. minCodeSize is 2 to 8.
  LzwEncoder(int minCodeSize, std::vector<BYTE>& out);

  // Codes pixel indices; false (nothing coded) when one is not below
  // 2^minCodeSize.
  bool Add(std::span<const BYTE> indices);
  // Codes the pending string and the end code and closes the last sub-block.
  void Finish();

 private:
  static constexpr int kMaxBits = 12;
  static constexpr int kTableCodes = 1 << kMaxBits;
  static constexpr int kHashSize = 5021;  // a prime above 4096

  struct Entry {
    std::int32_t key;  // prefix << 8 | pixel; -1 when free
    std::uint16_t code;
  };

  void ResetTable();
  void PutCode(int code);
  void PutByte(BYTE b);

  int minCodeSize_;
  int clearCode_;
  int endCode_;
  int nextCode_ = 0;
  int codeBits_ = 0;
  int prefix_ = -1;  // the string matched so far, -1 before the first pixel
  std::uint32_t bitBuffer_ = 0;
  int bitCount_ = 0;
  std::array<BYTE, 255> block_{};
  std::size_t blockFill_ = 0;
  std::vector<BYTE>& out_;
  std::vector<Entry> table_;  // kHashSize entries, off the stack
};

}  // namespace tw::gif
