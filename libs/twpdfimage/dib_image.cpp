#include "dib_image.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "codecs.h"
#include "tw_pdf_image.h"

namespace twpdf {
namespace {

constexpr int kMaxSide = 1 << 20;
constexpr std::uint64_t kMaxPixels = 1ull << 31;

struct DibView {
  int width = 0, height = 0, bpp = 0;
  bool bottomUp = true;
  DWORD masks[3] = {0, 0, 0};
  std::vector<RGBQUAD> colors;
  const BYTE* bits = nullptr;
  std::size_t stride = 0;
  LONG ppmX = 0, ppmY = 0;
  const BYTE* Row(int y) const { return bits + std::size_t(bottomUp ? height - 1 - y : y) * stride; }
};

int parseDib(const BYTE* dib, std::size_t size, DibView& v, std::string& why) {
  BITMAPINFOHEADER h;
  if (!dib || size < sizeof(h)) {
    why = "the page data is shorter than a bitmap header";
    return TWPDF_IMAGE_ERROR_DIB;
  }
  std::memcpy(&h, dib, sizeof(h));
  if (h.biSize < sizeof(h) || h.biSize > size || h.biPlanes != 1 || h.biWidth <= 0 || h.biHeight == 0 ||
      h.biWidth > kMaxSide || h.biHeight > kMaxSide || h.biHeight < -kMaxSide) {
    why = "the bitmap header is not valid";
    return TWPDF_IMAGE_ERROR_DIB;
  }
  v.width = h.biWidth;
  v.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  v.bottomUp = h.biHeight > 0;
  v.bpp = h.biBitCount;
  v.ppmX = h.biXPelsPerMeter;
  v.ppmY = h.biYPelsPerMeter;
  if (std::uint64_t(v.width) * std::uint64_t(v.height) > kMaxPixels) {
    why = "the page has too many pixels";
    return TWPDF_IMAGE_ERROR_DIB;
  }
  bool bitfields = h.biCompression == BI_BITFIELDS && (v.bpp == 16 || v.bpp == 32);
  if (!(h.biCompression == BI_RGB || bitfields) ||
      !(v.bpp == 1 || v.bpp == 4 || v.bpp == 8 || v.bpp == 16 || v.bpp == 24 || v.bpp == 32)) {
    why = "the bitmap's format (" + std::to_string(v.bpp) + " bits, compression " + std::to_string(h.biCompression) +
          ") is not supported";
    return TWPDF_IMAGE_ERROR_DIB;
  }
  std::size_t at = h.biSize;
  if (bitfields) {
    if (h.biSize >= 52) {
      std::memcpy(v.masks, dib + 40, 12);  // V4 and V5 headers hold the masks
    } else {
      if (size < at + 12) {
        why = "the bit-field masks are missing";
        return TWPDF_IMAGE_ERROR_DIB;
      }
      std::memcpy(v.masks, dib + at, 12);
      at += 12;
    }
  } else if (v.bpp == 16) {
    v.masks[0] = 0x7C00, v.masks[1] = 0x03E0, v.masks[2] = 0x001F;
  } else if (v.bpp == 32) {
    v.masks[0] = 0xFF0000, v.masks[1] = 0x00FF00, v.masks[2] = 0x0000FF;
  }
  if (v.bpp <= 8) {
    std::size_t n = h.biClrUsed ? std::min<std::size_t>(h.biClrUsed, std::size_t(1) << v.bpp) : std::size_t(1) << v.bpp;
    if (size < at + n * 4) {
      why = "the colour table is cut short";
      return TWPDF_IMAGE_ERROR_DIB;
    }
    v.colors.resize(n);
    std::memcpy(v.colors.data(), dib + at, n * 4);
    at += n * 4;
  }
  v.stride = (std::size_t(v.width) * v.bpp + 31) / 32 * 4;
  if ((size - at) / v.stride < std::size_t(v.height)) {
    why = "the bitmap's pixels are cut short";
    return TWPDF_IMAGE_ERROR_DIB;
  }
  v.bits = dib + at;
  return 0;
}

// Pixels per metre are whole numbers: 300 DPI is stored as 11811. A value
// within the rounding of a whole DPI is taken as that DPI, so the page comes
// out 612 points wide, not 612.001.
double dpiOf(LONG ppm) {
  double dpi = ppm * 0.0254, whole = std::round(dpi);
  return std::fabs(whole / 0.0254 - ppm) <= 0.5 + 1e-9 ? whole : dpi;
}

DWORD rgbOf(const RGBQUAD& q) { return (DWORD(q.rgbRed) << 16) | (DWORD(q.rgbGreen) << 8) | q.rgbBlue; }

// One channel of a bit-field pixel scaled to 8 bits.
BYTE field(DWORD pixel, DWORD mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  DWORD max = mask >> shift, value = (pixel & mask) >> shift;
  return BYTE(value * 255 / max);
}

// Row y as 8-bit RGB (or grey with `grey`).
void rowRgb(const DibView& v, int y, bool grey, BYTE* out) {
  const BYTE* in = v.Row(y);
  for (int x = 0; x < v.width; ++x) {
    DWORD rgb;
    if (v.bpp <= 8) {
      unsigned index = v.bpp == 8 ? in[x] : v.bpp == 4 ? (in[x / 2] >> (x % 2 ? 0 : 4)) & 0xF : (in[x / 8] >> (7 - x % 8)) & 1;
      rgb = index < v.colors.size() ? rgbOf(v.colors[index]) : 0;
    } else if (v.bpp == 24) {
      rgb = (DWORD(in[3 * x + 2]) << 16) | (DWORD(in[3 * x + 1]) << 8) | in[3 * x];
    } else {
      DWORD p = v.bpp == 16 ? DWORD(in[2 * x] | (in[2 * x + 1] << 8))
                            : DWORD(in[4 * x] | (in[4 * x + 1] << 8) | (in[4 * x + 2] << 16) | (DWORD(in[4 * x + 3]) << 24));
      rgb = (DWORD(field(p, v.masks[0])) << 16) | (DWORD(field(p, v.masks[1])) << 8) | field(p, v.masks[2]);
    }
    if (grey) {
      out[x] = BYTE(((rgb >> 16) & 0xFF) * 299 / 1000 + ((rgb >> 8) & 0xFF) * 587 / 1000 + (rgb & 0xFF) * 114 / 1000);
    } else {
      out[3 * x] = BYTE(rgb >> 16), out[3 * x + 1] = BYTE(rgb >> 8), out[3 * x + 2] = BYTE(rgb);
    }
  }
}

bool greyRamp(const DibView& v) {
  if (v.bpp != 8 || v.colors.size() != 256) return false;
  for (std::size_t i = 0; i < 256; ++i)
    if (v.colors[i].rgbRed != i || v.colors[i].rgbGreen != i || v.colors[i].rgbBlue != i) return false;
  return true;
}

bool allGrey(const DibView& v) {
  return v.bpp <= 8 && std::all_of(v.colors.begin(), v.colors.end(), [](const RGBQUAD& q) {
           return q.rgbRed == q.rgbGreen && q.rgbGreen == q.rgbBlue;
         });
}

std::string hexPalette(const std::vector<RGBQUAD>& colors) {
  static const char* digits = "0123456789ABCDEF";
  std::string s = "<";
  for (const RGBQUAD& q : colors)
    for (BYTE b : {q.rgbRed, q.rgbGreen, q.rgbBlue}) {
      s += digits[b >> 4];
      s += digits[b & 15];
    }
  return s + ">";
}

// Deflates rows produced one at a time.
class Deflater {
 public:
  Deflater() { ok_ = deflateInit(&z_, 6) == Z_OK; }
  ~Deflater() { deflateEnd(&z_); }
  bool Add(const BYTE* data, std::size_t n, bool last) {
    if (!ok_) return false;
    z_.next_in = const_cast<BYTE*>(data);
    z_.avail_in = uInt(n);
    int flush = last ? Z_FINISH : Z_NO_FLUSH;
    BYTE buffer[16384];
    int status;
    do {
      z_.next_out = buffer;
      z_.avail_out = sizeof(buffer);
      status = deflate(&z_, flush);
      if (status == Z_STREAM_ERROR) return ok_ = false;
      out_.insert(out_.end(), buffer, buffer + (sizeof(buffer) - z_.avail_out));
    } while (z_.avail_out == 0 || (last && status != Z_STREAM_END));
    return true;
  }
  std::vector<BYTE>& Out() { return out_; }

 private:
  z_stream z_{};
  bool ok_ = false;
  std::vector<BYTE> out_;
};

// The image's samples with Flate, a row at a time from `row(y)`.
template <class Row>
int deflateRows(int height, std::size_t line, Row&& row, PdfImage& out, std::string& why) {
  Deflater z;
  for (int y = 0; y < height; ++y)
    if (!z.Add(row(y), line, y + 1 == height)) return why = "Flate coding failed", TWPDF_IMAGE_ERROR_ENCODE;
  out.data = std::move(z.Out());
  out.filter = "/FlateDecode";
  return 0;
}

}  // namespace

int MakePdfImage(const BYTE* dib, std::size_t size, DWORD compression, int quality, PdfImage& out, std::string& why) {
  DibView v;
  if (int e = parseDib(dib, size, v, why)) return e;
  out.width = v.width;
  out.height = v.height;
  // Pixels per metre -> dots per inch; none given: 300.
  out.dpiX = v.ppmX > 0 ? dpiOf(v.ppmX) : 300;
  out.dpiY = v.ppmY > 0 ? dpiOf(v.ppmY) : out.dpiX;
  try {
    if (v.bpp == 1) {
      // The samples are the palette indices; black and white as a grey
      // image (index 0 white is turned round by /Decode).
      std::vector<RGBQUAD> colors = v.colors;
      colors.resize(2, RGBQUAD{255, 255, 255, 0});
      DWORD c0 = rgbOf(colors[0]), c1 = rgbOf(colors[1]);
      bool blackWhite = (c0 == 0 && c1 == 0xFFFFFF) || (c0 == 0xFFFFFF && c1 == 0);
      out.bitsPerComponent = 1;
      out.colorSpace = blackWhite ? "/DeviceGray" : "[/Indexed /DeviceRGB 1 " + hexPalette(colors) + "]";
      if (blackWhite && c0 == 0xFFFFFF) out.decode = "[1 0]";
      std::size_t line = (std::size_t(v.width) + 7) / 8;
      if (compression & 0x0800) {
        // Group 4 codes 1 as black, which decodes to sample 0.
        std::vector<BYTE> rows(line * std::size_t(v.height));
        for (int y = 0; y < v.height; ++y) {
          const BYTE* in = v.Row(y);
          BYTE* o = rows.data() + std::size_t(y) * line;
          for (std::size_t i = 0; i < line; ++i) o[i] = BYTE(~in[i]);
        }
        out.data = EncodeG4(rows, v.width, v.height);
        if (out.data.empty()) {
          why = "Group 4 coding failed";
          return TWPDF_IMAGE_ERROR_ENCODE;
        }
        out.filter = "/CCITTFaxDecode";
        out.decodeParms = "<< /K -1 /Columns " + std::to_string(v.width) + " /Rows " + std::to_string(v.height) + " >>";
        return 0;
      }
      return deflateRows(v.height, line, [&](int y) { return v.Row(y); }, out, why);
    }
    bool jpeg = compression & 0x1000;
    if (!jpeg && v.bpp <= 8) {
      // Palette pages keep their indices.
      bool grey = greyRamp(v);
      out.bitsPerComponent = v.bpp;
      out.colorSpace = grey ? "/DeviceGray"
                            : "[/Indexed /DeviceRGB " + std::to_string(v.colors.size() - 1) + " " + hexPalette(v.colors) + "]";
      std::size_t line = (std::size_t(v.width) * v.bpp + 7) / 8;
      return deflateRows(v.height, line, [&](int y) { return v.Row(y); }, out, why);
    }
    bool grey = allGrey(v);
    int components = grey ? 1 : 3;
    out.bitsPerComponent = 8;
    out.colorSpace = grey ? "/DeviceGray" : "/DeviceRGB";
    std::size_t line = std::size_t(v.width) * components;
    if (jpeg) {
      std::vector<BYTE> rows(line * std::size_t(v.height));
      for (int y = 0; y < v.height; ++y) rowRgb(v, y, grey, rows.data() + std::size_t(y) * line);
      out.data = EncodeJpeg(rows.data(), line, v.width, v.height, components, quality);
      if (out.data.empty()) {
        why = "JPEG coding failed";
        return TWPDF_IMAGE_ERROR_ENCODE;
      }
      out.filter = "/DCTDecode";
      return 0;
    }
    std::vector<BYTE> row(line);
    return deflateRows(v.height, line, [&](int y) {
      rowRgb(v, y, grey, row.data());
      return row.data();
    }, out, why);
  } catch (const std::bad_alloc&) {
    why = "out of memory";
    return TWPDF_IMAGE_ERROR_MEMORY;
  }
}

}  // namespace twpdf
