// Image codecs of the PDF libraries: Group 4 (ITU-T T.6, the PDF CCITT
// filter with K = -1) and baseline JPEG (the DCT filter).
#pragma once
#include <windows.h>

#include <cstddef>
#include <vector>

namespace twpdf {

// Group 4 data of a one-bit image: rows from the top, packed ((width + 7)
// / 8 bytes each), most significant bit first, 1 = black (decoded by
// CCITTFaxDecode with BlackIs1 false as 0 = black). Empty when the image
// cannot be coded.
std::vector<BYTE> EncodeG4(const std::vector<BYTE>& rows, int width, int height);

// Baseline JPEG of 8-bit rows from the top: 1 component (grey) or 3 (R, G,
// B). Quality 1..100 (clamped). Empty when the image cannot be coded.
std::vector<BYTE> EncodeJpeg(const BYTE* rows, std::size_t stride, int width, int height, int components, int quality);

}  // namespace twpdf
