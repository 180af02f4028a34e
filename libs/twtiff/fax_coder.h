// Group 3 and Group 4 fax coding (ITU-T T.4 and T.6) of bilevel rows,
// written for speed: a row's colour changes are found a 64-bit word at a
// time, run lengths become code words through one table look-up, and codes
// go out through a 64-bit accumulator four bytes at a time.
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

namespace twtiff {

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
  std::span<BYTE> Bytes() { return {out_.data(), used_}; }
  void Take() { used_ = 0; }

 private:
  // Colour changes of the row in line_ into changes; returns their number.
  std::size_t FindChanges(const BYTE* line, std::int32_t* changes) const;
  void Code1D(const std::int32_t* changes, std::size_t count);
  void Code2D(const std::int32_t* changes, const std::int32_t* reference);
  void PutRun(const std::uint32_t* table, std::uint32_t run);
  void PutOnes(std::size_t count);
  void Put(std::uint32_t code, unsigned length) {
    acc_ = (acc_ << length) | code;
    bits_ += length;
    if (bits_ >= 32) {
      bits_ -= 32;
      std::uint32_t word = __builtin_bswap32(static_cast<std::uint32_t>(acc_ >> bits_));
      __builtin_memcpy(out_.data() + used_, &word, 4);
      used_ += 4;
    }
  }
  void PutEol(bool oneD);
  void PadToByte();
  void Reserve(std::size_t bytes);

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
  std::size_t used_ = 0;
  std::uint64_t acc_ = 0;
  unsigned bits_ = 0;  // pending bits in the low end of acc_ (< 32)
};

}  // namespace twtiff
