// The 2048-byte header of a CALS raster file: 16 records of 128 bytes,
// space-padded, without line ends.
#pragma once
#include <windows.h>

#include <array>

namespace tw::ccitt {

inline constexpr std::size_t kCalsRecordBytes = 128;
inline constexpr std::size_t kCalsHeaderBytes = 16 * kCalsRecordBytes;
using CalsHeader = std::array<char, kCalsHeaderBytes>;

// The header of a page of width x height pixels at `pelsPerMeter` across.
CalsHeader MakeCalsHeader(DWORD width, DWORD height, LONG pelsPerMeter);

}  // namespace tw::ccitt
