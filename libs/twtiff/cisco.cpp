#include "cisco.h"

#include <cmath>
#include <string>
#include <vector>

#include "tiff_errors.h"
#include "tiff_file.h"

namespace twtiff {
namespace {

enum : WORD { kShort = 3, kLong = 4, kRational = 5 };

// A resolution in dots per inch as a rational over 100, or `fallback`.
void Resolution(float value, std::uint16_t unit, DWORD fallback, DWORD out[2]) {
  double dpi = unit == RESUNIT_CENTIMETER ? value * 2.54 : value;
  out[0] = dpi > 0 && dpi < 1e5 ? static_cast<DWORD>(std::lround(dpi * 100)) : fallback * 100;
  out[1] = 100;
}

bool CopyImages(TIFF* in, TiffFile& out, const char* name) {
  tdir_t count = TIFFNumberOfDirectories(in);
  for (tdir_t k = 0; k < count; ++k) {
    if (!TIFFSetDirectory(in, k)) return Fail(TW_TIFF_ERROR_DECODE, "%s: image %u", name, unsigned(k));
    std::uint32_t width = 0, height = 0;
    std::uint16_t bps = 1, spp = 1, photometric = PHOTOMETRIC_MINISWHITE, unit = RESUNIT_INCH;
    float xres = 0, yres = 0;
    TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(in, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(in, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(in, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(in, TIFFTAG_RESOLUTIONUNIT, &unit);
    TIFFGetField(in, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetField(in, TIFFTAG_XRESOLUTION, &xres);
    TIFFGetField(in, TIFFTAG_YRESOLUTION, &yres);
    if (bps != 1 || spp != 1 || TIFFIsTiled(in) ||
        (photometric != PHOTOMETRIC_MINISWHITE && photometric != PHOTOMETRIC_MINISBLACK))
      return Fail(TW_TIFF_ERROR_UNSUPPORTED, "%s: image %u is not a bilevel striped image", name, unsigned(k));

    ImageDef def;
    DWORD x[2], y[2];
    Resolution(xres, unit, 204, x);
    Resolution(yres, unit, 196, y);
    WORD page[2] = {static_cast<WORD>(std::min<tdir_t>(k, 0xFFFF)), static_cast<WORD>(std::min<tdir_t>(count, 0xFFFF))};
    bool ok = def.SetValue(TIFFTAG_SUBFILETYPE, kLong, FILETYPE_PAGE) && def.SetValue(TIFFTAG_IMAGEWIDTH, kLong, width) &&
              def.SetValue(TIFFTAG_IMAGELENGTH, kLong, height) && def.SetValue(TIFFTAG_BITSPERSAMPLE, kShort, 1) &&
              def.SetValue(TIFFTAG_SAMPLESPERPIXEL, kShort, 1) &&
              def.SetValue(TIFFTAG_COMPRESSION, kShort, COMPRESSION_CCITTFAX3) &&
              def.SetValue(TIFFTAG_GROUP3OPTIONS, kLong, GROUP3OPT_FILLBITS) &&
              def.SetValue(TIFFTAG_PHOTOMETRIC, kShort, PHOTOMETRIC_MINISWHITE) &&
              def.SetValue(TIFFTAG_FILLORDER, kShort, FILLORDER_LSB2MSB) &&
              def.SetValue(TIFFTAG_ROWSPERSTRIP, kLong, height) &&
              def.SetValues(TIFFTAG_XRESOLUTION, x, kRational, 1) && def.SetValues(TIFFTAG_YRESOLUTION, y, kRational, 1) &&
              def.SetValue(TIFFTAG_RESOLUTIONUNIT, kShort, RESUNIT_INCH) &&
              def.SetValues(TIFFTAG_PAGENUMBER, page, kShort, 2);
    if (!ok) return false;
    std::size_t bytes = (std::size_t(width) + 7) / 8;
    bool invert = photometric == PHOTOMETRIC_MINISBLACK;
    RowSource rows = [&](BYTE* row, std::uint32_t r) {
      if (TIFFReadScanline(in, row, r, 0) < 0) {
        Fail(TW_TIFF_ERROR_DECODE, "%s: image %u, row %u", name, unsigned(k), r);
        return kRowFailureReported;
      }
      if (invert)
        for (std::size_t i = 0; i < bytes; ++i) row[i] = static_cast<BYTE>(~row[i]);
      return 0;
    };
    if (!out.EncodeDefinition(def, rows)) return false;
  }
  return true;
}

// A file held open by another handle (the job keeps its one-file output
// open) cannot be replaced: the converted data is written over it instead.
bool CopyOver(const WCHAR* from, const std::u16string& to) {
  tw::codec::FileHandle source(
      CreateFileW(from, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  tw::codec::FileHandle target(CreateFileW(to.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!source.Valid() || !target.Valid()) return false;
  std::vector<BYTE> buffer(1 << 16);
  for (;;) {
    DWORD got = 0, put = 0;
    if (!ReadFile(source.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
    if (got == 0) break;
    if (!WriteFile(target.Get(), buffer.data(), got, &put, nullptr) || put != got) return false;
  }
  if (!target.Close()) return false;
  source.Close();
  DeleteFileW(from);
  return true;
}

}  // namespace

bool ConvertToCisco(std::u16string_view name) {
  std::u16string path(name);
  WCHAR full[MAX_PATH];
  LPWSTR filePart = nullptr;
  DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, &filePart);
  if (n == 0 || n >= MAX_PATH || !filePart) return Fail(TW_TIFF_ERROR_OPEN, "%s: not a file path", tw::codec::ToAnsi(path).c_str());
  std::u16string folder(full, static_cast<std::size_t>(filePart - full));
  WCHAR temp[MAX_PATH];
  if (!GetTempFileNameW(folder.c_str(), u"twc", 0, temp))
    return Fail(TW_TIFF_ERROR_OPEN, "no temporary file beside %s (Win32 error %u)", tw::codec::ToAnsi(path).c_str(),
                GetLastError());

  bool ok;
  {
    std::unique_ptr<TiffFile> source = TiffFile::OpenFile(path, int(OpenMode::Read));
    std::unique_ptr<TiffFile> target = source ? TiffFile::OpenFile(temp, int(OpenMode::New)) : nullptr;
    ok = source && target;
    if (ok) {
      VectorStream copy;
      bool inMemory = copy.CopyFrom(source->Data());
      LibTiff in(inMemory ? static_cast<Stream&>(copy) : source->Data(), "r", source->Name());
      ok = in.Get() ? CopyImages(in.Get(), *target, source->Name())
                    : Fail(TW_TIFF_ERROR_NOT_TIFF, "%s", source->Name());
    }
    if (target && ok) {
      ok = target->Close();
    } else if (target) {
      KeepError keep;
      target->Close();
    }
  }
  if (ok && !MoveFileExW(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING) && !CopyOver(temp, path))
    ok = Fail(TW_TIFF_ERROR_WRITE, "cannot replace %s (Win32 error %u)", tw::codec::ToAnsi(path).c_str(), GetLastError());
  if (!ok) {
    KeepError keep;
    DeleteFileW(temp);
  }
  return ok;
}

}  // namespace twtiff
