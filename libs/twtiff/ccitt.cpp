// The rows are coded in memory and written in one piece, so nothing reaches
// the file when a row cannot be had.
#include "ccitt.h"

#include <new>
#include <vector>

#include "fax_coder.h"
#include "page_dib.h"
#include "tiff_errors.h"
#include "tw_tiff_api.h"
#include "win_io.h"

namespace twtiff {

using tw::codec::FaxCoder;
using tw::codec::FaxCoding;

bool EncodeCcitt(HANDLE file, DWORD width, DWORD height, DWORD mode, const RowSource& rows) {
  if (!file || file == INVALID_HANDLE_VALUE) return Fail(TW_TIFF_ERROR_ARGUMENT, "no file handle");
  std::vector<BYTE> strip;
  if (!EncodeCcittData(width, height, mode, rows, strip)) return false;
  if (!tw::codec::WriteAll(file, strip.data(), strip.size()))
    return Fail(TW_TIFF_ERROR_WRITE, "writing %zu coded bytes (Win32 error %u)", strip.size(), GetLastError());
  return true;
}

bool EncodeCcittData(DWORD width, DWORD height, DWORD mode, const RowSource& rows, std::vector<BYTE>& strip) {
  DWORD group = mode & 0xFFFF;
  DWORD flags = mode & ~DWORD(0xFFFF);
  bool twoD = flags & TW_CCITT_2D, noEol = flags & TW_CCITT_NO_EOL;
  if ((group != TW_CCITT_GROUP3 && group != TW_CCITT_GROUP4) || (flags & ~DWORD(TW_CCITT_2D | TW_CCITT_NO_EOL)) ||
      (group == TW_CCITT_GROUP3 && twoD && noEol))
    return Fail(TW_TIFF_ERROR_ARGUMENT, "CCITT mode 0x%x", mode);
  if (width == 0 || height == 0) return Fail(TW_TIFF_ERROR_DEFINITION, "an image of %u x %u pixels", width, height);
  if (width > kMaxImageSide || height > kMaxImageSide || std::uint64_t(width) * height > tw::codec::kMaxPixels)
    return Fail(TW_TIFF_ERROR_DEFINITION, "the image (%u x %u) is too large", width, height);

  // Group 3 streams end with RTC. 2-D rows take K = 4 (fine resolution).
  FaxCoding coding;
  if (group == TW_CCITT_GROUP4) {
    coding.scheme = FaxCoding::Scheme::Group4;
  } else if (noEol) {
    coding.scheme = FaxCoding::Scheme::ModifiedHuffman;
  } else {
    coding.scheme = FaxCoding::Scheme::Group3;
    coding.twoD = twoD;
    coding.k = 4;
    coding.rtc = true;
  }
  try {
    std::vector<BYTE> row(RowBufferBytes(width, 1), 0);
    FaxCoder coder(width, coding);
    coder.BeginStrip();
    for (DWORD r = 0; r < height; ++r) {
      int rc = rows(row.data(), r);
      if (rc == kRowFailureReported) return false;
      if (rc != 0) return Fail(TW_TIFF_ERROR_ROW_SOURCE, "it returned %d for row %u", rc, r);
      coder.AddRow(row.data());
    }
    coder.EndStrip();
    std::span<BYTE> data = coder.Bytes();
    strip.assign(data.begin(), data.end());
  } catch (const std::bad_alloc&) {
    return Fail(TW_TIFF_ERROR_MEMORY, "no memory to code %u x %u pixels", width, height);
  }
  return true;
}

}  // namespace twtiff
