// Group 3 and Group 4 fax coding (ITU-T T.4 and T.6) of bilevel rows,
// written for speed: a row's colour changes are found a 64-bit word at a
// time, run lengths become code words through one table look-up, changes the
// row shares with the one above are compared four at a time, and codes go
// out through a 64-bit accumulator.
//
// The coding is the one the recommendations fix (pass mode when b2 < a1,
// vertical mode when |a1 - b1| <= 3, else horizontal mode), so the data is
// what libtiff's coders produce for the same rows and options. Bits are MSB
// first; a 0 bit is coded as a white run, a 1 bit as a black run.
#pragma once
#include <windows.h>

#include <cstdint>
#include <span>
#include <vector>

namespace tw::codec {

struct FaxCoding {
  enum class Scheme {
    ModifiedHuffman,  // 1-D rows, no EOL, each row ends on a byte boundary (TIFF compression 2)
    Group3,           // an EOL before each row (TIFF compression 3)
    Group4,           // 2-D rows, EOFB after the last (TIFF compression 4)
  };
  Scheme scheme = Scheme::Group4;
  bool twoD = false;      // Group 3: a 1-D row, then k - 1 2-D rows, and so on
  unsigned k = 4;         // Group 3 2-D
  bool fillBits = false;  // Group 3: every EOL ends on a byte boundary
  bool rtc = false;       // Group 3: RTC (six EOLs) after the last row
};

// Codes go out MSB first through a 64-bit accumulator whose whole bytes
// Flush stores, eight bytes at a time without a branch (the bytes past the
// whole ones are stored again later). The coding loops work on a local copy,
// which the compiler keeps in registers.
struct FaxBitWriter {
  std::uint64_t acc = 0;  // pending bits from the top down; the rest zero
  unsigned bits = 0;      // pending bits: below 8 after Flush
  BYTE* at = nullptr;     // at least 8 writable bytes
  // 1 <= length, bits + length <= 63
  void Put(std::uint32_t code, unsigned length) {
    acc |= std::uint64_t(code) << (64 - bits - length);
    bits += length;
  }
  void Flush() {
    std::uint64_t bytes = __builtin_bswap64(acc);
    __builtin_memcpy(at, &bytes, 8);
    unsigned whole = bits >> 3;
    at += whole;
    acc <<= whole * 8;
    bits &= 7;
  }
  // Zero bits up to the next byte boundary.
  void PadToByte() { bits = (bits + 7) & ~7u; }
};

class FaxCoder {
 public:
  // Throws std::bad_alloc when the row buffers cannot be had.
  FaxCoder(std::uint32_t width, const FaxCoding& coding);

  // A strip starts with a white reference line (and, in Group 3 2-D, a 1-D row).
  void BeginStrip();
  // Codes one row: (width + 7) / 8 bytes, MSB first; bits past the width are ignored.
  void AddRow(const BYTE* row);
  // EOFB or RTC as the scheme asks, then zero bits to the next byte.
  void EndStrip();

  // The whole bytes coded and not yet taken; Take() forgets them.
  std::span<BYTE> Bytes() { return {out_.data(), static_cast<std::size_t>(writer_.at - out_.data())}; }
  void Take() { writer_.at = out_.data(); }

 private:
  // Colour changes of a padded row into `changes`; returns their number.
  std::size_t FindChanges(const BYTE* line, std::int32_t* changes) const;
  void Code1D(const std::int32_t* changes, std::size_t count);
  void Code2D(const std::int32_t* changes, const std::int32_t* reference);
  void PutEol(bool oneD);
  void Reserve(std::size_t bytes);
  // The changes of row buffer k: index -1 is a slot, the end is repeated kEnds times.
  std::int32_t* Changes(int k) { return changes_[k].data() + 1; }
  static constexpr std::size_t kEnds = 5;

  std::uint32_t width_;
  FaxCoding coding_;
  std::size_t lineBytes_, paddedBytes_;  // a row's bytes; with padding to whole words
  std::size_t rowBound_;                 // the most bytes one row can code to
  std::vector<BYTE> lines_[2];           // the row and the one before it
  std::vector<std::int32_t> changes_[2];
  std::size_t counts_[2] = {0, 0};
  int current_ = 0;
  std::uint32_t row_ = 0;  // rows coded in this strip

  std::vector<BYTE> out_;
  FaxBitWriter writer_;
};

}  // namespace tw::codec
