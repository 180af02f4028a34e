// A page DIB as a PDF image XObject: its colour space, bit depth and
// compressed samples. One-bit pages keep their bits (Group 4 or Flate),
// palette pages their palette (/Indexed, or /DeviceGray for a grey ramp),
// deeper pages become RGB (Flate or JPEG).
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace twpdf {

struct PdfImage {
  int width = 0;
  int height = 0;
  double dpiX = 300, dpiY = 300;
  std::string colorSpace;   // a PDF object: /DeviceGray, /DeviceRGB, [/Indexed ...]
  int bitsPerComponent = 8;
  std::string filter;       // /FlateDecode, /CCITTFaxDecode, /DCTDecode
  std::string decodeParms;  // empty or a dictionary
  std::string decode;       // empty or an array
  std::vector<BYTE> data;
};

// Reads a packed DIB (BITMAPINFOHEADER or a later header, uncompressed or
// bit fields) of `size` bytes and compresses it as `compression` asks
// (TWPDF_COMPRESS_* of tw_pdf_image.h). 0, or a TWPDF_IMAGE_ERROR_* code
// with `why` telling what failed.
int MakePdfImage(const BYTE* dib, std::size_t size, DWORD compression, int quality, PdfImage& out, std::string& why);

}  // namespace twpdf
