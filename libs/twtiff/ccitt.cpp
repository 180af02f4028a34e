// libtiff's fax coders write the strip of a one-strip image in a private
// buffer; the strip's bytes are the raw CCITT data.
#include "ccitt.h"

#include <new>
#include <vector>

#include "tiff_errors.h"
#include "tw_tiff_api.h"
#include "win_io.h"

namespace twtiff {

bool EncodeCcitt(HANDLE file, DWORD width, DWORD height, DWORD mode, const RowSource& rows) {
  DWORD group = mode & 0xFFFF;
  DWORD flags = mode & ~DWORD(0xFFFF);
  bool twoD = flags & TW_CCITT_2D, noEol = flags & TW_CCITT_NO_EOL;
  if ((group != TW_CCITT_GROUP3 && group != TW_CCITT_GROUP4) || (flags & ~DWORD(TW_CCITT_2D | TW_CCITT_NO_EOL)) ||
      (group == TW_CCITT_GROUP3 && twoD && noEol))
    return Fail(TW_TIFF_ERROR_ARGUMENT, "CCITT mode 0x%x", mode);
  if (!file || file == INVALID_HANDLE_VALUE) return Fail(TW_TIFF_ERROR_ARGUMENT, "no file handle");

  enum : WORD { kShort = 3, kLong = 4 };
  std::uint16_t compression = group == TW_CCITT_GROUP4 ? COMPRESSION_CCITTFAX4
                              : noEol                  ? COMPRESSION_CCITTRLE
                                                       : COMPRESSION_CCITTFAX3;
  ImageDef def;
  bool ok = def.SetValue(TIFFTAG_IMAGEWIDTH, kLong, width) && def.SetValue(TIFFTAG_IMAGELENGTH, kLong, height) &&
            def.SetValue(TIFFTAG_BITSPERSAMPLE, kShort, 1) && def.SetValue(TIFFTAG_SAMPLESPERPIXEL, kShort, 1) &&
            def.SetValue(TIFFTAG_PHOTOMETRIC, kShort, PHOTOMETRIC_MINISWHITE) &&
            def.SetValue(TIFFTAG_COMPRESSION, kShort, compression) &&
            def.SetValue(TIFFTAG_ROWSPERSTRIP, kLong, height) &&
            // libtiff's 2-D coder takes K from the vertical resolution: fine (> 150 dpi) gives K = 4.
            def.SetValue(TIFFTAG_YRESOLUTION, kLong, 196) && def.SetValue(TIFFTAG_XRESOLUTION, kLong, 204);
  if (compression == COMPRESSION_CCITTFAX3)
    ok = ok && def.SetValue(TIFFTAG_GROUP3OPTIONS, kLong, twoD ? GROUP3OPT_2DENCODING : 0);
  if (!ok) return Fail(TW_TIFF_ERROR_ARGUMENT, "image %u x %u", width, height);

  VectorStream buffer;
  EncodeOptions options;
  // Group 3 streams end with RTC; FAXMODE_CLASSIC keeps it (TIFF leaves it out).
  if (compression == COMPRESSION_CCITTFAX3) options.faxMode = FAXMODE_CLASSIC;
  if (!EncodeImage(buffer, def, rows, "CCITT data", options)) return false;

  LibTiff lib(buffer, "r", "CCITT data");
  TIFF* t = lib.Get();
  std::uint64_t* counts = nullptr;
  if (!t || !TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts) || !counts)
    return Fail(TW_TIFF_ERROR_ENCODE, "the coded strip cannot be read back");
  std::vector<BYTE> strip;
  try {
    strip.resize(static_cast<std::size_t>(counts[0]));
  } catch (const std::bad_alloc&) {
    return Fail(TW_TIFF_ERROR_MEMORY, "no memory for %llu coded bytes", static_cast<unsigned long long>(counts[0]));
  }
  if (!strip.empty() && TIFFReadRawStrip(t, 0, strip.data(), static_cast<tmsize_t>(strip.size())) !=
                            static_cast<tmsize_t>(strip.size()))
    return Fail(TW_TIFF_ERROR_ENCODE, "the coded strip cannot be read back");
  if (!tw::codec::WriteAll(file, strip.data(), strip.size()))
    return Fail(TW_TIFF_ERROR_WRITE, "writing %zu coded bytes (Win32 error %u)", strip.size(), GetLastError());
  return true;
}

}  // namespace twtiff
