#include "dib_tiff.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "ifd_chain.h"
#include "page_dib.h"
#include "tiff_errors.h"
#include "tiff_file.h"

namespace twtiff {
namespace {

using tw::codec::DibView;

enum : WORD { kShort = 3, kLong = 4, kRational = 5 };

struct SchemeInfo {
  int scheme;
  std::uint16_t compression;
  DWORD t4Options;
};
constexpr SchemeInfo kSchemes[] = {
    {TW_TIFF_SCHEME_NONE, COMPRESSION_NONE, 0},       {TW_TIFF_SCHEME_PACKBITS, COMPRESSION_PACKBITS, 0},
    {TW_TIFF_SCHEME_LZW, COMPRESSION_LZW, 0},         {TW_TIFF_SCHEME_G3_1D, COMPRESSION_CCITTFAX3, 0},
    {TW_TIFF_SCHEME_G3_2D, COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING},
    {TW_TIFF_SCHEME_G4, COMPRESSION_CCITTFAX4, 0},    {TW_TIFF_SCHEME_DEFLATE, COMPRESSION_ADOBE_DEFLATE, 0},
    {TW_TIFF_SCHEME_JPEG, COMPRESSION_JPEG, 0},
    // TIFF-F for CISCO gateways: Modified Huffman, EOLs byte-aligned.
    {kSchemeCisco, COMPRESSION_CCITTFAX3, GROUP3OPT_FILLBITS},
};

const SchemeInfo* FindScheme(int scheme) {
  for (const SchemeInfo& s : kSchemes)
    if (s.scheme == scheme) return &s;
  return nullptr;
}

bool IsCcitt(std::uint16_t c) { return c == COMPRESSION_CCITTFAX3 || c == COMPRESSION_CCITTFAX4; }

// Tags and rows of a page DIB under a scheme. The row source reads the DIB,
// which must stay locked while it is used.
bool Describe(const DibView& dib, const SchemeInfo& scheme, ImageDef& def, RowSource& rows) {
  bool ccitt = IsCcitt(scheme.compression);
  int bits = dib.bits;
  if (ccitt && bits != 1) return Fail(TW_TIFF_ERROR_UNSUPPORTED, "CCITT coding takes 1-bit pages, not %d-bit", bits);
  std::uint16_t photometric;
  bool invert = false;
  bool palette = false;
  if (bits == 1) {
    bool darkFirst = tw::codec::Luma(dib.Color(0)) <= tw::codec::Luma(dib.Color(1));
    if (ccitt) {
      // Fax coding counts set bits as black.
      photometric = PHOTOMETRIC_MINISWHITE;
      invert = darkFirst;
    } else if (dib.GreyTable()) {
      photometric = darkFirst ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE;
    } else {
      photometric = PHOTOMETRIC_PALETTE;
      palette = true;
    }
  } else if (bits == 8 && dib.GreyRamp()) {
    photometric = PHOTOMETRIC_MINISBLACK;
  } else if (bits <= 8) {
    photometric = PHOTOMETRIC_PALETTE;
    palette = true;
  } else {
    photometric = PHOTOMETRIC_RGB;
  }

  bool ok = def.SetValue(TIFFTAG_IMAGEWIDTH, kLong, dib.width) && def.SetValue(TIFFTAG_IMAGELENGTH, kLong, dib.height) &&
            def.SetValue(TIFFTAG_COMPRESSION, kShort, scheme.compression) &&
            def.SetValue(TIFFTAG_PHOTOMETRIC, kShort, photometric);
  if (bits <= 8) {
    ok = ok && def.SetValue(TIFFTAG_BITSPERSAMPLE, kShort, DWORD(bits)) && def.SetValue(TIFFTAG_SAMPLESPERPIXEL, kShort, 1);
  } else {
    WORD three[3] = {8, 8, 8};
    ok = ok && def.SetValues(TIFFTAG_BITSPERSAMPLE, three, kShort, 3) && def.SetValue(TIFFTAG_SAMPLESPERPIXEL, kShort, 3);
  }
  if (palette) {
    std::size_t n = std::min<std::size_t>(dib.colors.size(), std::size_t(1) << bits);
    std::vector<WORD> map(3 * n);
    for (std::size_t i = 0; i < n; ++i) {
      map[i] = static_cast<WORD>(dib.colors[i].rgbRed * 257);
      map[n + i] = static_cast<WORD>(dib.colors[i].rgbGreen * 257);
      map[2 * n + i] = static_cast<WORD>(dib.colors[i].rgbBlue * 257);
    }
    if (n == 0) return Fail(TW_TIFF_ERROR_DIB, "a palette bitmap without colours");
    ok = ok && def.SetValues(TIFFTAG_COLORMAP, map.data(), kShort, static_cast<DWORD>(map.size()));
  }
  if (scheme.compression == COMPRESSION_CCITTFAX3) ok = ok && def.SetValue(TIFFTAG_GROUP3OPTIONS, kLong, scheme.t4Options);

  constexpr LONG kMaxPpm = 16'000'000;  // ppm x 254 stays a 32-bit numerator
  LONG xppm = dib.xPelsPerMeter, yppm = dib.yPelsPerMeter;
  DWORD x[2] = {DWORD(xppm) * 254, 10000}, y[2] = {DWORD(yppm) * 254, 10000};
  bool resolution = xppm > 0 && yppm > 0 && xppm < kMaxPpm && yppm < kMaxPpm;
  if (scheme.scheme == kSchemeCisco) {
    if (!resolution) {  // fax resolution when the page gives none
      x[0] = 204, x[1] = 1, y[0] = 196, y[1] = 1;
      resolution = true;
    }
    ok = ok && def.SetValue(TIFFTAG_FILLORDER, kShort, FILLORDER_LSB2MSB) &&
         def.SetValue(TIFFTAG_SUBFILETYPE, kLong, FILETYPE_PAGE) && def.SetValue(TIFFTAG_PAGENUMBER, kShort, 0);
  }
  if (resolution) {
    ok = ok && def.SetValues(TIFFTAG_XRESOLUTION, x, kRational, 1) && def.SetValues(TIFFTAG_YRESOLUTION, y, kRational, 1) &&
         def.SetValue(TIFFTAG_RESOLUTIONUNIT, kShort, RESUNIT_INCH);
  }
  if (!ok) return false;

  std::size_t packed = (std::size_t(dib.width) * std::min(bits, 8) + 7) / 8;
  rows = [&dib, bits, invert, packed](BYTE* row, std::uint32_t r) {
    const BYTE* src = dib.Row(r);
    if (bits <= 8) {
      if (invert) {
        for (std::size_t i = 0; i < packed; ++i) row[i] = static_cast<BYTE>(~src[i]);
      } else {
        std::memcpy(row, src, packed);
      }
      return 0;
    }
    std::size_t step = bits == 32 ? 4 : 3;
    for (std::uint32_t x = 0; x < dib.width; ++x) {
      const BYTE* p = src + x * step;
      row[3 * x] = p[2];
      row[3 * x + 1] = p[1];
      row[3 * x + 2] = p[0];
    }
    return 0;
  };
  return true;
}

LONG PelsPerMeter(float resolution, std::uint16_t unit) {
  if (!(resolution > 0) || resolution > 1e6f) return 0;
  double perMeter = unit == RESUNIT_CENTIMETER ? resolution * 100.0 : unit == RESUNIT_NONE ? 0.0 : resolution / 0.0254;
  return static_cast<LONG>(std::lround(perMeter));
}

// Bilevel, grey and palette images of up to 8 bits, read row by row.
HGLOBAL LoadIndexed(TIFF* t, std::uint32_t width, std::uint32_t height, std::uint16_t bps, std::uint16_t photometric,
                    LONG xppm, LONG yppm, const char* name) {
  std::vector<RGBQUAD> table;
  int bits = 8;
  bool bilevel = bps == 1 && photometric != PHOTOMETRIC_PALETTE;
  if (bilevel) {
    bits = 1;
    table = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  } else if (photometric == PHOTOMETRIC_PALETTE) {
    std::uint16_t *r, *g, *b;
    if (!TIFFGetField(t, TIFFTAG_COLORMAP, &r, &g, &b)) {
      Fail(TW_TIFF_ERROR_DECODE, "%s: a palette image without a colour map", name);
      return nullptr;
    }
    std::size_t n = std::size_t(1) << bps;
    // Some writers store 8-bit colour maps; 16-bit ones are the standard.
    bool eightBit = std::all_of(r, r + n, [](std::uint16_t v) { return v < 256; }) &&
                    std::all_of(g, g + n, [](std::uint16_t v) { return v < 256; }) &&
                    std::all_of(b, b + n, [](std::uint16_t v) { return v < 256; });
    for (std::size_t i = 0; i < n; ++i) {
      auto c = [eightBit](std::uint16_t v) { return static_cast<BYTE>(eightBit ? v : v >> 8); };
      table.push_back({c(b[i]), c(g[i]), c(r[i]), 0});
    }
    if (bps == 1) bits = 1;
  } else {
    for (int i = 0; i < 256; ++i) table.push_back({BYTE(i), BYTE(i), BYTE(i), 0});
  }

  tw::codec::DibBuilder dib(width, height, bits, table, xppm, yppm);
  if (!dib.Valid()) {
    Fail(TW_TIFF_ERROR_MEMORY, "%s: no memory for a %u x %u bitmap", name, width, height);
    return nullptr;
  }
  tmsize_t lineBytes = TIFFScanlineSize(t);
  if (lineBytes <= 0 || std::uint64_t(lineBytes) < (std::uint64_t(width) * bps + 7) / 8) {
    Fail(TW_TIFF_ERROR_DECODE, "%s: unexpected row size", name);
    return nullptr;
  }
  std::vector<BYTE> line(static_cast<std::size_t>(lineBytes));
  unsigned max = (1u << bps) - 1;
  for (std::uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(t, line.data(), y, 0) < 0) {
      Fail(TW_TIFF_ERROR_DECODE, "%s: row %u", name, y);
      return nullptr;
    }
    BYTE* out = dib.Row(y);
    if (bits == 1) {
      std::size_t n = (width + 7) / 8;
      bool flip = photometric == PHOTOMETRIC_MINISWHITE;  // DIB bit 1 is white
      for (std::size_t i = 0; i < n; ++i) out[i] = flip ? static_cast<BYTE>(~line[i]) : line[i];
      continue;
    }
    for (std::uint32_t x = 0; x < width; ++x) {
      std::size_t bit = std::size_t(x) * bps;
      unsigned v = bps == 8 ? line[x] : (line[bit / 8] >> (8 - bps - bit % 8)) & max;
      if (photometric == PHOTOMETRIC_PALETTE) {
        out[x] = static_cast<BYTE>(v);
      } else {
        BYTE grey = static_cast<BYTE>(v * 255 / max);
        out[x] = photometric == PHOTOMETRIC_MINISWHITE ? static_cast<BYTE>(255 - grey) : grey;
      }
    }
  }
  return dib.Release();
}

// Anything else: libtiff's RGBA reader, bottom row first as a DIB is.
HGLOBAL LoadRgb(TIFF* t, std::uint32_t width, std::uint32_t height, LONG xppm, LONG yppm, const char* name) {
  std::vector<std::uint32_t> raster;
  try {
    raster.resize(std::size_t(width) * height);
  } catch (const std::bad_alloc&) {
    Fail(TW_TIFF_ERROR_MEMORY, "%s: no memory for %u x %u pixels", name, width, height);
    return nullptr;
  }
  if (!TIFFReadRGBAImageOriented(t, width, height, raster.data(), ORIENTATION_BOTLEFT, 0)) {
    Fail(TW_TIFF_ERROR_DECODE, "%s", name);
    return nullptr;
  }
  tw::codec::DibBuilder dib(width, height, 24, {}, xppm, yppm);
  if (!dib.Valid()) {
    Fail(TW_TIFF_ERROR_MEMORY, "%s: no memory for a %u x %u bitmap", name, width, height);
    return nullptr;
  }
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint32_t* src = raster.data() + std::size_t(height - 1 - y) * width;  // raster row 0 is the bottom
    BYTE* out = dib.Row(y);
    for (std::uint32_t x = 0; x < width; ++x) {
      out[3 * x] = static_cast<BYTE>(TIFFGetB(src[x]));
      out[3 * x + 1] = static_cast<BYTE>(TIFFGetG(src[x]));
      out[3 * x + 2] = static_cast<BYTE>(TIFFGetR(src[x]));
    }
  }
  return dib.Release();
}

}  // namespace

bool SaveDibInTiff(std::u16string_view name, HGLOBAL dib, int scheme) {
  const SchemeInfo* info = FindScheme(scheme);
  if (!info) return Fail(TW_TIFF_ERROR_ARGUMENT, "scheme %d", scheme);
  if (name.empty()) return Fail(TW_TIFF_ERROR_ARGUMENT, "no file name");
  tw::codec::LockedBlock lock(dib);
  if (!lock.Data()) return Fail(TW_TIFF_ERROR_DIB, "the page bitmap block is not valid");
  DibView view;
  tw::codec::DibStatus status = tw::codec::ParseDib(lock.Bytes(), view);
  if (status != tw::codec::DibStatus::Ok) return Fail(TW_TIFF_ERROR_DIB, "%s", tw::codec::DibStatusText(status));
  ImageDef def;
  RowSource rows;
  if (!Describe(view, *info, def, rows)) return false;

  std::unique_ptr<TiffFile> file = TiffFile::OpenFile(name, int(OpenMode::Add));
  if (!file) return false;
  bool ok = file->EncodeDefinition(def, rows);
  if (ok && scheme == kSchemeCisco) ok = file->UpdatePageNumbers(0);
  if (!ok) {
    KeepError keep;
    file->Close();
    return false;
  }
  return file->Close();
}

HGLOBAL LoadTiffIntoDib(std::u16string_view path, int image) {
  if (path.empty() || image < 0) {
    Fail(TW_TIFF_ERROR_ARGUMENT, "no path or a negative image number");
    return nullptr;
  }
  std::unique_ptr<TiffFile> file = TiffFile::OpenFile(path, int(OpenMode::Read));
  if (!file) return nullptr;
  VectorStream copy;
  bool inMemory = copy.CopyFrom(file->Data());
  LibTiff lib(inMemory ? static_cast<Stream&>(copy) : file->Data(), "r", file->Name());
  TIFF* t = lib.Get();
  if (!t) {
    Fail(TW_TIFF_ERROR_NOT_TIFF, "%s", file->Name());
    return nullptr;
  }
  if (!TIFFSetDirectory(t, static_cast<tdir_t>(image))) {
    Fail(TW_TIFF_ERROR_IMAGE, "%s has no image %d", file->Name(), image);
    return nullptr;
  }
  std::uint32_t width = 0, height = 0;
  std::uint16_t bps = 1, spp = 1, photometric = PHOTOMETRIC_MINISWHITE, planar = PLANARCONFIG_CONTIG;
  std::uint16_t unit = RESUNIT_INCH;
  float xres = 0, yres = 0;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bps);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &unit);
  bool hasPhotometric = TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetField(t, TIFFTAG_XRESOLUTION, &xres);
  TIFFGetField(t, TIFFTAG_YRESOLUTION, &yres);
  if (width == 0 || height == 0 || std::uint64_t(width) * height > tw::codec::kMaxPixels) {
    Fail(TW_TIFF_ERROR_UNSUPPORTED, "%s: image size %u x %u", file->Name(), width, height);
    return nullptr;
  }
  LONG xppm = PelsPerMeter(xres, unit), yppm = PelsPerMeter(yres, unit);
  bool indexed = hasPhotometric && !TIFFIsTiled(t) && spp == 1 && planar == PLANARCONFIG_CONTIG &&
                 (bps == 1 || bps == 2 || bps == 4 || bps == 8) &&
                 (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK ||
                  photometric == PHOTOMETRIC_PALETTE);
  return indexed ? LoadIndexed(t, width, height, bps, photometric, xppm, yppm, file->Name())
                 : LoadRgb(t, width, height, xppm, yppm, file->Name());
}

}  // namespace twtiff
