// Page DIBs to JPEG files and back, over libjpeg-turbo.
#pragma once
#include <windows.h>

#include <string_view>

namespace twjpeg {

struct SaveOptions {
  int quality = 75;
  bool lab = false;
  int hSampling = 2, vSampling = 2;  // chroma subsampling
  bool faxMarker = false;
  bool optimize = false;
};

// 0 or a TW_JPEG_ERROR_ code.
int SaveDib(std::u16string_view name, HGLOBAL dib, const SaveOptions& options);
// A new page DIB or null (the Win32 last error says why).
HGLOBAL LoadJpeg(std::u16string_view path);
// The TIFF library that LoadJpeg hands TIFF files to.
void SetTiffLibrary(const char* path);

}  // namespace twjpeg
