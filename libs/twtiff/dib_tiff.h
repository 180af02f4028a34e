// Page DIBs into TIFF images and back.
#pragma once
#include <windows.h>

#include <string_view>

namespace twtiff {

// The CISCO profile of SaveTiffForCiscoFormatW, beside the public schemes.
inline constexpr int kSchemeCisco = -1;

// Appends the page DIB to the TIFF file `name` (created when missing).
bool SaveDibInTiff(std::u16string_view name, HGLOBAL dib, int scheme);

// Image `image` of the TIFF file as a new page DIB, or null.
HGLOBAL LoadTiffIntoDib(std::u16string_view path, int image);

}  // namespace twtiff
