#include "ifd_chain.h"

#include <algorithm>
#include <unordered_set>

#include "tiff_errors.h"
#include "tw_tiff_api.h"

namespace twtiff {
namespace {

// More directories than this is taken for a damaged chain.
constexpr std::size_t kMaxDirectories = 1u << 20;
constexpr std::uint16_t kPageNumberTag = 297;
constexpr std::uint16_t kTypeShort = 3;

std::uint64_t Decode(const BYTE* p, int bytes, bool bigEndian) {
  std::uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) {
    int shift = 8 * (bigEndian ? bytes - 1 - i : i);
    v |= std::uint64_t(p[i]) << shift;
  }
  return v;
}

void Encode(BYTE* p, int bytes, bool bigEndian, std::uint64_t v) {
  for (int i = 0; i < bytes; ++i) {
    int shift = 8 * (bigEndian ? bytes - 1 - i : i);
    p[i] = static_cast<BYTE>(v >> shift);
  }
}

bool ReadUnsigned(Stream& s, const IfdChain& c, std::uint64_t at, int bytes, std::uint64_t& value) {
  BYTE b[8];
  if (!s.ReadAt(at, b, static_cast<std::size_t>(bytes))) return false;
  value = Decode(b, bytes, c.bigEndian);
  return true;
}

int OffsetBytes(const IfdChain& c) { return c.bigTiff ? 8 : 4; }
int CountBytes(const IfdChain& c) { return c.bigTiff ? 8 : 2; }
int EntryBytes(const IfdChain& c) { return c.bigTiff ? 20 : 12; }

bool Damaged(const char* what) { return Fail(TW_TIFF_ERROR_NOT_TIFF, "%s", what); }

// Adds the directories from `next` on to the chain. Directories appended
// since the chain was read lie past the last known one (`ascending`): that
// order alone rules out a loop, without recalling every offset seen.
bool Follow(Stream& s, IfdChain& c, std::uint64_t next, bool ascending) {
  std::uint64_t size = s.Size();
  std::unordered_set<std::uint64_t> seen;
  while (next != 0) {
    bool loops = ascending ? !c.offsets.empty() && next <= c.offsets.back() : !seen.insert(next).second;
    if (c.offsets.size() >= kMaxDirectories || loops) return Damaged("the directory chain loops");
    std::uint64_t count;
    if (next < 8 || next >= size || !ReadUnsigned(s, c, next, CountBytes(c), count))
      return Damaged("a directory offset points outside the data");
    if (count > size / EntryBytes(c)) return Damaged("a directory runs past the end of the data");
    std::uint64_t link = next + CountBytes(c) + count * EntryBytes(c);
    if (link + OffsetBytes(c) > size) return Damaged("a directory runs past the end of the data");
    c.offsets.push_back(next);
    c.nextLinks.push_back(link);
    if (!ReadUnsigned(s, c, link, OffsetBytes(c), next)) return Damaged("cannot read a directory link");
  }
  return true;
}

}  // namespace

bool ReadIfdChain(Stream& s, IfdChain& c) {
  c = IfdChain{};
  std::uint64_t size = s.Size();
  if (size == 0) return true;
  BYTE header[16] = {};
  if (size < 8 || !s.ReadAt(0, header, 8)) return Damaged("the data is too short for a TIFF header");
  if (header[0] == 'I' && header[1] == 'I') {
    c.bigEndian = false;
  } else if (header[0] == 'M' && header[1] == 'M') {
    c.bigEndian = true;
  } else {
    return Damaged("no TIFF byte-order mark");
  }
  std::uint64_t version = Decode(header + 2, 2, c.bigEndian);
  if (version == 43) {
    if (size < 16 || !s.ReadAt(8, header + 8, 8)) return Damaged("the data is too short for a BigTIFF header");
    if (Decode(header + 4, 2, c.bigEndian) != 8) return Damaged("unsupported BigTIFF offset size");
    c.bigTiff = true;
    c.headerLink = 8;
  } else if (version != 42) {
    return Damaged("no TIFF version number");
  }
  c.empty = false;

  std::uint64_t next;
  if (!ReadUnsigned(s, c, c.headerLink, OffsetBytes(c), next)) return Damaged("cannot read the first directory offset");
  return Follow(s, c, next, false);
}

bool ExtendIfdChain(Stream& s, IfdChain& c) {
  if (c.empty) return ReadIfdChain(s, c);
  std::uint64_t next;
  std::uint64_t link = c.offsets.empty() ? c.headerLink : c.nextLinks.back();
  if (!ReadUnsigned(s, c, link, OffsetBytes(c), next)) return Damaged("cannot read a directory link");
  return Follow(s, c, next, true);
}

bool WriteOffset(Stream& s, const IfdChain& c, std::uint64_t at, std::uint64_t value) {
  BYTE b[8];
  Encode(b, OffsetBytes(c), c.bigEndian, value);
  if (!s.WriteAt(at, b, static_cast<std::size_t>(OffsetBytes(c))))
    return Fail(TW_TIFF_ERROR_WRITE, "cannot update a directory link");
  return true;
}

bool RewritePageNumbers(Stream& s, std::uint32_t pageCount) {
  IfdChain c;
  if (!ReadIfdChain(s, c)) return false;
  std::size_t images = c.offsets.size();
  std::uint64_t total = std::min<std::uint64_t>(std::max<std::uint64_t>(pageCount, images), 0xFFFF);
  for (std::size_t k = 0; k < images; ++k) {
    std::uint64_t count;
    if (!ReadUnsigned(s, c, c.offsets[k], CountBytes(c), count)) return Damaged("cannot read a directory");
    std::uint64_t entry = c.offsets[k] + CountBytes(c);
    for (std::uint64_t i = 0; i < count; ++i, entry += EntryBytes(c)) {
      BYTE e[20];
      if (!s.ReadAt(entry, e, static_cast<std::size_t>(EntryBytes(c)))) return Damaged("cannot read a directory entry");
      if (Decode(e, 2, c.bigEndian) != kPageNumberTag) continue;
      std::uint64_t valueCount = Decode(e + 4, c.bigTiff ? 8 : 4, c.bigEndian);
      // Only the standard form (two SHORTs, stored in the entry) is rewritten.
      if (Decode(e + 2, 2, c.bigEndian) != kTypeShort || valueCount != 2) break;
      std::uint64_t valueAt = entry + (c.bigTiff ? 12 : 8);
      BYTE old[2];
      if (!s.ReadAt(valueAt, old, 2)) return Damaged("cannot read a page number");
      std::uint64_t index = images > 1 ? k : Decode(old, 2, c.bigEndian);
      BYTE v[4];
      Encode(v, 2, c.bigEndian, index);
      Encode(v + 2, 2, c.bigEndian, total);
      if (!s.WriteAt(valueAt, v, 4)) return Fail(TW_TIFF_ERROR_WRITE, "cannot write a page number");
      break;
    }
  }
  return true;
}

bool MoveLastDirectory(Stream& s, std::uint32_t position) {
  IfdChain c;
  if (!ReadIfdChain(s, c)) return false;
  std::size_t n = c.offsets.size();
  if (n < 2 || position >= n - 1) return true;  // already there
  std::uint64_t last = c.offsets[n - 1];
  std::uint64_t into = position == 0 ? c.headerLink : c.nextLinks[position - 1];
  // In this order the chain stays valid after each write: the last image
  // leaves the chain, gets its new successor, then is linked in.
  return WriteOffset(s, c, c.nextLinks[n - 2], 0) && WriteOffset(s, c, c.nextLinks[n - 1], c.offsets[position]) &&
         WriteOffset(s, c, into, last);
}

}  // namespace twtiff
