#include "fax_coder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tw::codec {
namespace {

// ---- code words (T.4 tables 2 and 3, figure 7) ---------------------------------

struct Code {
  std::uint32_t bits;
  unsigned length;
};

constexpr Code C(const char* s) {
  Code c{0, 0};
  for (; *s; ++s, ++c.length) c.bits = c.bits << 1 | (*s == '1' ? 1u : 0u);
  return c;
}

constexpr Code kWhiteTerminating[64] = {
    C("00110101"), C("000111"),   C("0111"),     C("1000"),     C("1011"),     C("1100"),     C("1110"),
    C("1111"),     C("10011"),    C("10100"),    C("00111"),    C("01000"),    C("001000"),   C("000011"),
    C("110100"),   C("110101"),   C("101010"),   C("101011"),   C("0100111"),  C("0001100"),  C("0001000"),
    C("0010111"),  C("0000011"),  C("0000100"),  C("0101000"),  C("0101011"),  C("0010011"),  C("0100100"),
    C("0011000"),  C("00000010"), C("00000011"), C("00011010"), C("00011011"), C("00010010"), C("00010011"),
    C("00010100"), C("00010101"), C("00010110"), C("00010111"), C("00101000"), C("00101001"), C("00101010"),
    C("00101011"), C("00101100"), C("00101101"), C("00000100"), C("00000101"), C("00001010"), C("00001011"),
    C("01010010"), C("01010011"), C("01010100"), C("01010101"), C("00100100"), C("00100101"), C("01011000"),
    C("01011001"), C("01011010"), C("01011011"), C("01001010"), C("01001011"), C("00110010"), C("00110011"),
    C("00110100"),
};

constexpr Code kBlackTerminating[64] = {
    C("0000110111"),   C("010"),          C("11"),           C("10"),           C("011"),
    C("0011"),         C("0010"),         C("00011"),        C("000101"),       C("000100"),
    C("0000100"),      C("0000101"),      C("0000111"),      C("00000100"),     C("00000111"),
    C("000011000"),    C("0000010111"),   C("0000011000"),   C("0000001000"),   C("00001100111"),
    C("00001101000"),  C("00001101100"),  C("00000110111"),  C("00000101000"),  C("00000010111"),
    C("00000011000"),  C("000011001010"), C("000011001011"), C("000011001100"), C("000011001101"),
    C("000001101000"), C("000001101001"), C("000001101010"), C("000001101011"), C("000011010010"),
    C("000011010011"), C("000011010100"), C("000011010101"), C("000011010110"), C("000011010111"),
    C("000001101100"), C("000001101101"), C("000011011010"), C("000011011011"), C("000001010100"),
    C("000001010101"), C("000001010110"), C("000001010111"), C("000001100100"), C("000001100101"),
    C("000001010010"), C("000001010011"), C("000000100100"), C("000000110111"), C("000000111000"),
    C("000000100111"), C("000000101000"), C("000001011000"), C("000001011001"), C("000000101011"),
    C("000000101100"), C("000001011010"), C("000001100110"), C("000001100111"),
};

// Make-up codes for 64, 128, ... 2560: 27 of each colour, then 13 shared.
constexpr Code kWhiteMakeUp[27] = {
    C("11011"),     C("10010"),     C("010111"),    C("0110111"),   C("00110110"),  C("00110111"),
    C("01100100"),  C("01100101"),  C("01101000"),  C("01100111"),  C("011001100"), C("011001101"),
    C("011010010"), C("011010011"), C("011010100"), C("011010101"), C("011010110"), C("011010111"),
    C("011011000"), C("011011001"), C("011011010"), C("011011011"), C("010011000"), C("010011001"),
    C("010011010"), C("011000"),    C("010011011"),
};

constexpr Code kBlackMakeUp[27] = {
    C("0000001111"),    C("000011001000"),  C("000011001001"),  C("000001011011"),  C("000000110011"),
    C("000000110100"),  C("000000110101"),  C("0000001101100"), C("0000001101101"), C("0000001001010"),
    C("0000001001011"), C("0000001001100"), C("0000001001101"), C("0000001110010"), C("0000001110011"),
    C("0000001110100"), C("0000001110101"), C("0000001110110"), C("0000001110111"), C("0000001010010"),
    C("0000001010011"), C("0000001010100"), C("0000001010101"), C("0000001011010"), C("0000001011011"),
    C("0000001100100"), C("0000001100101"),
};

constexpr Code kSharedMakeUp[13] = {
    C("00000001000"),  C("00000001100"),  C("00000001101"),  C("000000010010"), C("000000010011"),
    C("000000010100"), C("000000010101"), C("000000010110"), C("000000010111"), C("000000011100"),
    C("000000011101"), C("000000011110"), C("000000011111"),
};

constexpr Code kEol = C("000000000001");
constexpr Code kPass = C("0001");
constexpr Code kHorizontal = C("001");
// Vertical modes by a1 - b1 + 3: VL3, VL2, VL1, V0, VR1, VR2, VR3.
constexpr Code kVertical[7] = {C("0000010"), C("000010"), C("010"), C("1"), C("011"), C("000011"), C("0000011")};

// The longest run one table entry codes: one make-up code (2560 at most) and
// a terminating code. Longer runs first take 2560-pixel make-up codes.
constexpr std::uint32_t kTableRuns = 2560 + 64;
constexpr Code kMakeUp2560 = kSharedMakeUp[12];

// A run's whole code (make-up and terminating) as code << 5 | length: at most
// 13 + 12 = 25 bits.
using RunTable = std::array<std::uint32_t, kTableRuns>;

constexpr RunTable MakeRunTable(const Code (&terminating)[64], const Code (&makeUp)[27]) {
  RunTable table{};
  for (std::uint32_t run = 0; run < kTableRuns; ++run) {
    Code t = terminating[run % 64];
    Code c = t;
    if (run >= 64) {
      std::uint32_t m = run / 64 - 1;  // 0 = 64
      Code up = m < 27 ? makeUp[m] : kSharedMakeUp[m - 27];
      c = {up.bits << t.length | t.bits, up.length + t.length};
    }
    table[run] = c.bits << 5 | c.length;
  }
  return table;
}

constexpr RunTable kWhiteRuns = MakeRunTable(kWhiteTerminating, kWhiteMakeUp);
constexpr RunTable kBlackRuns = MakeRunTable(kBlackTerminating, kBlackMakeUp);
static_assert((kWhiteRuns[2623] & 31) <= 25 && (kBlackRuns[2623] & 31) <= 25);

// The most bits a run of up to `width` pixels codes to, over a whole row:
// every run at most 25 bits, plus one 12-bit 2560 make-up per 2560 pixels.
std::size_t RowBits(std::uint32_t width) {
  std::size_t steps = std::size_t(width) + 2;  // changes of a row, and the step to its end
  return steps * (kHorizontal.length + 2 * 25) + (steps / 2 + 2) * kPass.length +
         (std::size_t(width) / 2560 + 2) * 12 + 2 * (kEol.length + 1) + 16;
}

// A run's code: at most 25 bits once the 2560 make-ups of a longer run are
// out (each flushed), so the two runs of horizontal mode fit the accumulator.
inline void PutRun(FaxBitWriter& w, const std::uint32_t* table, std::uint32_t run) {
  for (; run >= kTableRuns; run -= 2560) {
    w.Put(kMakeUp2560.bits, kMakeUp2560.length);
    w.Flush();
  }
  std::uint32_t e = table[run];
  w.Put(e >> 5, e & 31);
}

inline void PutOnes(FaxBitWriter& w, std::size_t count) {
  for (; count > 24; count -= 24) {
    w.Put(0xFFFFFF, 24);
    w.Flush();
  }
  w.Put((1u << count) - 1, static_cast<unsigned>(count));
  w.Flush();
}

// How many of the next four changes the two rows share in order, before the
// row's end: that many V0 codes.
unsigned SharedChanges(const std::int32_t* cur, const std::int32_t* ref, std::int32_t width) {
#if defined(__SSE2__)
  __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur));
  __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ref));
  __m128i same = _mm_and_si128(_mm_cmpeq_epi32(c, r), _mm_cmplt_epi32(c, _mm_set1_epi32(width)));
  auto mask = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(same)));
  return static_cast<unsigned>(__builtin_ctz(~mask));
#else
  unsigned k = 0;
  while (k < 4 && cur[k] == ref[k] && cur[k] < width) ++k;
  return k;
#endif
}

}  // namespace

FaxCoder::FaxCoder(std::uint32_t width, const FaxCoding& coding)
    : width_(width),
      coding_(coding),
      lineBytes_((std::size_t(width) + 7) / 8),
      paddedBytes_((std::size_t(width) + 63) / 64 * 8),
      rowBound_(RowBits(width) / 8 + 8) {
  if (coding_.k == 0) coding_.k = 1;
  for (int i = 0; i < 2; ++i) {
    lines_[i].assign(paddedBytes_, 0);
    // A slot before the first change, a change per pixel at most, then the
    // row's end repeated (the coding loop reads up to five entries past the
    // last change, and one before the first).
    changes_[i].assign(1 + std::size_t(width) + kEnds, static_cast<std::int32_t>(width));
  }
  out_.resize(std::max<std::size_t>(rowBound_ * 2, 1 << 16));
  writer_.at = out_.data();
}

void FaxCoder::Reserve(std::size_t bytes) {
  std::size_t used = static_cast<std::size_t>(writer_.at - out_.data());
  if (out_.size() - used >= bytes) return;
  out_.resize(std::max(out_.size() * 2, used + bytes));
  writer_.at = out_.data() + used;
}

void FaxCoder::BeginStrip() {
  // The reference line of a strip's first row is white: no changes.
  int ref = current_ ^ 1;
  std::fill(lines_[ref].begin(), lines_[ref].end(), BYTE{0});
  counts_[ref] = 0;
  std::fill_n(Changes(ref), kEnds, static_cast<std::int32_t>(width_));
  row_ = 0;
}

std::size_t FaxCoder::FindChanges(const BYTE* line, std::int32_t* changes) const {
  // Words are loaded little-endian and their bytes' bits reversed, so that
  // pixel x of a word is bit x: changes come out lowest bit first, and
  // clearing the lowest set bit keeps the loop's dependency chain short.
  static_assert(std::endian::native == std::endian::little);
  constexpr std::uint64_t k1 = 0x5555555555555555, k2 = 0x3333333333333333, k4 = 0x0F0F0F0F0F0F0F0F;
  std::int32_t* p = changes;
  std::uint64_t carry = 0;  // the last pixel of the word before, at bit 0
  for (std::size_t at = 0; at < paddedBytes_; at += 8) {
    std::uint64_t w;
    std::memcpy(&w, line + at, 8);
    if ((w | carry) == 0) continue;  // white after white (margins, gaps between lines)
    w = (w >> 1 & k1) | (w & k1) << 1;
    w = (w >> 2 & k2) | (w & k2) << 2;
    w = (w >> 4 & k4) | (w & k4) << 4;
    std::uint64_t m = w ^ (w << 1 | carry);
    carry = w >> 63;
    auto base = static_cast<std::int32_t>(at * 8);
    for (; m; m &= m - 1) *p++ = base + __builtin_ctzll(m);
  }
  // Padding bits are white: a row that ends black changes back at the width.
  if (p != changes && p[-1] >= static_cast<std::int32_t>(width_)) --p;
  std::size_t count = static_cast<std::size_t>(p - changes);
  std::fill_n(p, kEnds, static_cast<std::int32_t>(width_));
  return count;
}

void FaxCoder::AddRow(const BYTE* row) {
  int cur = current_, ref = cur ^ 1;
  BYTE* line = lines_[cur].data();
  std::memcpy(line, row, lineBytes_);
  if (width_ % 8) line[lineBytes_ - 1] &= static_cast<BYTE>(0xFF00 >> (width_ % 8));

  Reserve(rowBound_);
  bool oneD = coding_.scheme == FaxCoding::Scheme::ModifiedHuffman ||
              (coding_.scheme == FaxCoding::Scheme::Group3 && (!coding_.twoD || row_ % coding_.k == 0));
  if (coding_.scheme == FaxCoding::Scheme::Group3) PutEol(oneD);

  // A row equal to the one above (common in text and rules) keeps its
  // reference's changes; in 2-D each change is a V0 code, plus one at the end.
  bool same = std::memcmp(line, lines_[ref].data(), paddedBytes_) == 0;
  if (same) {
    counts_[cur] = counts_[ref];
    std::copy_n(Changes(ref), counts_[ref] + kEnds, Changes(cur));
  } else {
    counts_[cur] = FindChanges(line, Changes(cur));
  }
  if (oneD) {
    Code1D(Changes(cur), counts_[cur]);
  } else if (same) {
    PutOnes(writer_, counts_[cur] + 1);
  } else {
    Code2D(Changes(cur), Changes(ref));
  }
  if (coding_.scheme == FaxCoding::Scheme::ModifiedHuffman) {
    writer_.PadToByte();
    writer_.Flush();
  }
  current_ = ref;
  ++row_;
}

void FaxCoder::Code1D(const std::int32_t* changes, std::size_t count) {
  const std::uint32_t* tables[2] = {kWhiteRuns.data(), kBlackRuns.data()};
  FaxBitWriter w = writer_;
  std::int32_t at = 0;
  for (std::size_t i = 0; i <= count; ++i) {
    std::int32_t next = changes[i];  // the row's width after the last change
    PutRun(w, tables[i & 1], static_cast<std::uint32_t>(next - at));
    w.Flush();
    at = next;
  }
  writer_ = w;
}

// T.6 section 2.2 with the changes of both rows as sorted lists. a1 is the
// coding row's change at index i (so a0's colour is white when i is even);
// b1 is the first reference change right of a0 whose index has i's parity
// (a change to the colour opposite a0's), found from j, the first reference
// change right of a0. A row starts with a0 at 0 and j at 0 (a0 counts as
// just left of the row).
//
// Steps are branches, which the processor predicts well on text (and so runs
// ahead); the one frequent pattern, a run of V0 codes where the rows share
// their changes, is taken four changes at a time.
void FaxCoder::Code2D(const std::int32_t* cur, const std::int32_t* ref) {
  const auto width = static_cast<std::int32_t>(width_);
  FaxBitWriter w = writer_;
  std::int32_t a0 = 0;
  std::size_t i = 0, j = 0;
  for (;;) {
    std::size_t jb = j + ((j ^ i) & 1);
    std::int32_t b1 = ref[jb], a1 = cur[i];
    if (a1 == b1) {
      if (a1 >= width) {
        w.Put(1, 1);
        w.Flush();
        break;
      }
      // b1 moves on with a1 while the changes are the same.
      std::size_t k = 1;
      for (unsigned more = 4; more == 4; k += more) more = SharedChanges(cur + i + k, ref + jb + k, width);
      PutOnes(w, k);
      i += k;
      j = jb + k;
      a0 = cur[i - 1];
      continue;
    }
    std::int32_t b2 = ref[jb + 1];
    if (b2 < a1) {
      w.Put(kPass.bits, kPass.length);
      w.Flush();
      a0 = b2;
      j = jb + 2;
      continue;
    }
    std::int32_t d = a1 - b1;
    if (d >= -3 && d <= 3) {
      w.Put(kVertical[d + 3].bits, kVertical[d + 3].length);
      w.Flush();
      // The first reference change right of a1: when a1 is left of b1, the
      // old j if it is right of a1, else b1; otherwise the one after b1, or
      // after b2 when b2 is a1.
      j = d < 0 ? (ref[j] > a1 ? j : jb) : jb + 1 + (b2 <= a1 ? 1 : 0);
      a0 = a1;
      ++i;
      if (a0 >= width) break;
      continue;
    }
    std::int32_t a2 = cur[i + 1];
    bool white = (i & 1) == 0;
    w.Put(kHorizontal.bits, kHorizontal.length);
    PutRun(w, white ? kWhiteRuns.data() : kBlackRuns.data(), static_cast<std::uint32_t>(a1 - a0));
    PutRun(w, white ? kBlackRuns.data() : kWhiteRuns.data(), static_cast<std::uint32_t>(a2 - a1));
    w.Flush();
    a0 = a2;
    i += 2;
    if (a0 >= width) break;
    while (ref[j] <= a0) ++j;
  }
  writer_ = w;
}

void FaxCoder::PutEol(bool oneD) {
  // With fill bits the EOL's last bit is a byte's last (T.4 4.1.2): pad to 4 bits into a byte.
  if (coding_.fillBits) writer_.bits += (4 - writer_.bits) & 7;
  if (coding_.twoD)
    writer_.Put(kEol.bits << 1 | (oneD ? 1u : 0u), kEol.length + 1);
  else
    writer_.Put(kEol.bits, kEol.length);
  writer_.Flush();
}

void FaxCoder::EndStrip() {
  Reserve(32);
  if (coding_.scheme == FaxCoding::Scheme::Group4) {
    writer_.Put(kEol.bits, kEol.length);  // EOFB
    writer_.Put(kEol.bits, kEol.length);
  } else if (coding_.scheme == FaxCoding::Scheme::Group3 && coding_.rtc) {
    for (int n = 0; n < 6; ++n) {
      if (coding_.twoD)
        writer_.Put(kEol.bits << 1 | 1u, kEol.length + 1);
      else
        writer_.Put(kEol.bits, kEol.length);
      writer_.Flush();
    }
  }
  writer_.PadToByte();
  writer_.Flush();
}

}  // namespace tw::codec
