// 1-bit pages are bilevel (a set image point is the darker of the two
// colours), other pages of up to 8 bits with a grey table are grey, the rest
// RGB. Group 4 comes from the library's CCITT coder and JPEG from libtiff's,
// so the IOCA data is what the TIFF images of the same page hold.
#include "modca_page.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "ccitt.h"
#include "image_def.h"
#include "page_dib.h"
#include "tiff_errors.h"
#include "tw_tiff_api.h"

namespace twtiff::modca {
namespace {

using tw::codec::DibView;

enum class Kind { Bilevel, Grey, Rgb };

constexpr std::uint32_t kMaxIocaSide = 0x7FFF;  // the Image Size parameter's range

// Image points per 10 inches from pixels per metre; 200 dpi when the page
// has no resolution.
std::uint16_t Resolution(LONG pelsPerMeter) {
  if (pelsPerMeter <= 0) return 2000;
  std::uint64_t r = (std::uint64_t(pelsPerMeter) * 254 + 500) / 1000;
  return static_cast<std::uint16_t>(std::clamp<std::uint64_t>(r, 1, kMaxIocaSide));
}

unsigned Index(const BYTE* row, std::uint32_t x, int bits) {
  if (bits == 8) return row[x];
  std::size_t bit = std::size_t(x) * bits;
  return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

// Fills `out` with row `r` of the page in the image's form.
void PageRow(const DibView& dib, Kind kind, std::uint32_t r, BYTE* out) {
  const BYTE* src = dib.Row(r);
  const std::uint32_t w = dib.width;
  if (kind == Kind::Bilevel) {
    // A set bit is the darker colour; padding bits past the width are 0.
    const bool dark0 = tw::codec::Luma(dib.Color(0)) < 128, dark1 = tw::codec::Luma(dib.Color(1)) < 128;
    const std::size_t bytes = (w + 7) / 8;
    for (std::size_t i = 0; i < bytes; ++i) {
      BYTE b = src[i];
      out[i] = static_cast<BYTE>((dark1 ? b : 0) | (dark0 ? ~b : 0));
    }
    if (w % 8) out[bytes - 1] &= static_cast<BYTE>(0xFF00 >> (w % 8));
    return;
  }
  for (std::uint32_t x = 0; x < w; ++x) {
    if (dib.bits >= 24) {  // blue, green, red (and a fourth byte)
      const BYTE* p = src + std::size_t(x) * (dib.bits / 8);
      out[3 * x] = p[2], out[3 * x + 1] = p[1], out[3 * x + 2] = p[0];
      continue;
    }
    RGBQUAD c = dib.Color(Index(src, x, dib.bits));
    if (kind == Kind::Grey) {
      out[x] = c.rgbRed;
    } else {
      out[3 * x] = c.rgbRed, out[3 * x + 1] = c.rgbGreen, out[3 * x + 2] = c.rgbBlue;
    }
  }
}

// libtiff's JPEG coder on a one-strip image; its tables and the strip joined
// into one interchange stream (SOI, tables, frame, scan, EOI).
bool EncodeJpeg(const DibView& dib, Kind kind, int quality, const RowSource& rows, std::vector<BYTE>& jpeg) {
  enum : WORD { kShort = 3, kLong = 4 };
  const bool rgb = kind == Kind::Rgb;
  ImageDef def;
  bool ok = def.SetValue(TIFFTAG_IMAGEWIDTH, kLong, dib.width) && def.SetValue(TIFFTAG_IMAGELENGTH, kLong, dib.height) &&
            def.SetValue(TIFFTAG_BITSPERSAMPLE, kShort, 8) && def.SetValue(TIFFTAG_SAMPLESPERPIXEL, kShort, rgb ? 3 : 1) &&
            def.SetValue(TIFFTAG_PHOTOMETRIC, kShort, rgb ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK) &&
            def.SetValue(TIFFTAG_COMPRESSION, kShort, COMPRESSION_JPEG) &&
            def.SetValue(TIFFTAG_ROWSPERSTRIP, kLong, dib.height);
  if (!ok) return Fail(TW_TIFF_ERROR_ARGUMENT, "image %u x %u", dib.width, dib.height);
  VectorStream buffer;
  EncodeOptions options;
  options.jpegQuality = quality;
  if (!EncodeImage(buffer, def, rows, "IOCA image", options)) return false;

  LibTiff lib(buffer, "r", "IOCA image");
  TIFF* t = lib.Get();
  std::uint32_t tableBytes = 0;
  const BYTE* tables = nullptr;
  std::uint64_t* counts = nullptr;
  if (!t || !TIFFGetField(t, TIFFTAG_JPEGTABLES, &tableBytes, &tables) || !tables || tableBytes < 4 ||
      !TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts) || !counts || counts[0] < 4)
    return Fail(TW_TIFF_ERROR_ENCODE, "the JPEG data cannot be read back");
  std::vector<BYTE> strip(static_cast<std::size_t>(counts[0]));
  if (TIFFReadRawStrip(t, 0, strip.data(), static_cast<tmsize_t>(strip.size())) !=
      static_cast<tmsize_t>(strip.size()))
    return Fail(TW_TIFF_ERROR_ENCODE, "the JPEG data cannot be read back");
  // Tables: SOI ... EOI; strip: SOI ... EOI. Keep the first SOI and the last EOI.
  if (tables[0] != 0xFF || tables[1] != 0xD8 || tables[tableBytes - 2] != 0xFF || tables[tableBytes - 1] != 0xD9 ||
      strip[0] != 0xFF || strip[1] != 0xD8)
    return Fail(TW_TIFF_ERROR_ENCODE, "unexpected JPEG markers");
  jpeg.assign(tables, tables + tableBytes - 2);
  jpeg.insert(jpeg.end(), strip.begin() + 2, strip.end());
  return true;
}

}  // namespace

bool MakeIocaImage(HGLOBAL dib, int compression, int quality, IocaImage& image) {
  tw::codec::LockedBlock lock(dib);
  if (!lock.Data()) return Fail(TW_TIFF_ERROR_DIB, "no page bitmap");
  DibView view;
  tw::codec::DibStatus status = tw::codec::ParseDib(lock.Bytes(), view);
  if (status != tw::codec::DibStatus::Ok) return Fail(TW_TIFF_ERROR_DIB, "%s", tw::codec::DibStatusText(status));
  if (view.width > kMaxIocaSide || view.height > kMaxIocaSide)
    return Fail(TW_TIFF_ERROR_UNSUPPORTED, "IOCA images are at most %u x %u points, not %u x %u", kMaxIocaSide,
                kMaxIocaSide, view.width, view.height);
  const Kind kind = view.bits == 1 ? Kind::Bilevel : view.bits <= 8 && view.GreyTable() ? Kind::Grey : Kind::Rgb;
  BYTE id = static_cast<BYTE>(compression);
  if (compression == 0) id = kind == Kind::Bilevel ? kIocaG4 : kIocaJpeg;
  if (!(id == kIocaNone || (id == kIocaG4 && kind == Kind::Bilevel) || (id == kIocaJpeg && kind != Kind::Bilevel)))
    return Fail(TW_TIFF_ERROR_ARGUMENT, "compression %d for a %d-bit page", compression, view.bits);
  if (quality < 1 || quality > 100) return Fail(TW_TIFF_ERROR_ARGUMENT, "JPEG quality %d", quality);

  image.width = static_cast<std::uint16_t>(view.width);
  image.height = static_cast<std::uint16_t>(view.height);
  image.xRes = Resolution(view.xPelsPerMeter);
  image.yRes = Resolution(view.yPelsPerMeter);
  image.compression = id;
  image.ideSize = kind == Kind::Bilevel ? 1 : kind == Kind::Grey ? 8 : 24;
  image.data.clear();
  RowSource rows = [&](BYTE* row, std::uint32_t r) {
    PageRow(view, kind, r, row);
    return 0;
  };
  try {
    if (id == kIocaG4) return EncodeCcittData(view.width, view.height, TW_CCITT_GROUP4, rows, image.data);
    if (id == kIocaJpeg) return EncodeJpeg(view, kind, quality, rows, image.data);
    const std::size_t rowBytes = (std::size_t(view.width) * image.ideSize + 7) / 8;
    image.data.resize(rowBytes * view.height);
    std::vector<BYTE> row(RowBufferBytes(view.width, image.ideSize));
    for (std::uint32_t r = 0; r < view.height; ++r) {
      PageRow(view, kind, r, row.data());
      std::memcpy(image.data.data() + rowBytes * r, row.data(), rowBytes);
    }
  } catch (const std::bad_alloc&) {
    return Fail(TW_TIFF_ERROR_MEMORY, "no memory for the image data of a %u x %u page", view.width, view.height);
  }
  return true;
}

}  // namespace twtiff::modca
