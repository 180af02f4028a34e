// Reading and relinking a TIFF's directory (IFD) chain in the raw bytes, for
// the operations that change a file in place without re-encoding anything:
// image counts, page numbers, moving an image. Classic TIFF and BigTIFF, in
// either byte order. Every offset and count read is checked against the data
// before it is used, and a chain that loops or runs off the data is refused.
#pragma once
#include <cstdint>
#include <vector>

#include "tiff_stream.h"

namespace twtiff {

struct IfdChain {
  bool empty = true;       // no header at all (an empty file or block)
  bool bigEndian = false;  // "MM"
  bool bigTiff = false;    // version 43: 8-byte offsets
  std::uint64_t headerLink = 4;         // where the first directory's offset is stored
  std::vector<std::uint64_t> offsets;   // each directory, in chain order
  std::vector<std::uint64_t> nextLinks; // where each directory's "next" offset is stored
};

// Reads the chain; false (error TW_TIFF_ERROR_NOT_TIFF) for data that is not a
// TIFF or whose chain is damaged. An empty stream is an empty chain.
bool ReadIfdChain(Stream& stream, IfdChain& chain);

// Brings a chain read earlier up to date after images were appended to the
// data (the old directories unchanged): reads only the new directories.
bool ExtendIfdChain(Stream& stream, IfdChain& chain);

// Stores `value` as an offset (4 or 8 bytes in the file's byte order) at `at`.
bool WriteOffset(Stream& stream, const IfdChain& chain, std::uint64_t at, std::uint64_t value);

// Rewrites PageNumber of every directory that has one (as the header of
// tw_tiff_api.h describes for UpdatePageNumbersW).
bool RewritePageNumbers(Stream& stream, std::uint32_t pageCount);

// Moves the last directory to `position` by relinking three offsets.
bool MoveLastDirectory(Stream& stream, std::uint32_t position);

}  // namespace twtiff
