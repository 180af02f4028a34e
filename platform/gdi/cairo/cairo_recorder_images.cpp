// The vector backend's blits: DIBs and DC pixels become cairo images
// (nearest-neighbour, never interpolated), one-bit images stencil masks;
// pattern blits become fills. Raster operations that combine the image with
// the page exactly (AND, OR and XOR of black-and-white sources, inversion)
// become blend modes; the others are left to the raster engine.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "../dibinfo.h"
#include "../draw.h"
#include "../raster/blit.h"
#include "../rle.h"
#include "cairo_recorder.h"
#include "winerror.h"

namespace tw::gdi {
namespace {

enum class ImageOp { Copy, CopyInverted, Multiply, Lighten, Difference, Alpha, Transparent, Unsupported };

ImageOp opForRop(DWORD rop) {
  switch ((rop >> 16) & 0xFF) {
    case 0xCC: return ImageOp::Copy;
    case 0x33: return ImageOp::CopyInverted;
    case 0x88: return ImageOp::Multiply;   // SRCAND
    case 0xEE: return ImageOp::Lighten;    // SRCPAINT
    case 0x66: return ImageOp::Difference;  // SRCINVERT
    default: return ImageOp::Unsupported;
  }
}

// Cuts the source rectangle to the DIB and the target with it.
bool cropToDib(CairoRecorder::ImageSource& src, BlitTarget& target) {
  if (src.width <= 0 || src.height <= 0) return false;
  int x0 = std::max(src.x, 0), y0 = std::max(src.y, 0);
  int x1 = std::min(src.x + src.width, src.dib->width), y1 = std::min(src.y + src.height, src.dib->height);
  if (x0 >= x1 || y0 >= y1) return false;
  double u0 = double(x0 - src.x) / src.width, u1 = double(x1 - src.x) / src.width;
  double v0 = double(y0 - src.y) / src.height, v1 = double(y1 - src.y) / src.height;
  PointF r{target.right.x - target.origin.x, target.right.y - target.origin.y};
  PointF d{target.down.x - target.origin.x, target.down.y - target.origin.y};
  auto at = [&](double u, double v) { return PointF{target.origin.x + r.x * u + d.x * v, target.origin.y + r.y * u + d.y * v}; };
  target = {at(u0, v0), at(u1, v0), at(u0, v1)};
  src.x = x0, src.y = y0, src.width = x1 - x0, src.height = y1 - y0;
  return true;
}

void parallelogram(cairo_t* cr, const BlitTarget& t) {
  PointF far{t.right.x + t.down.x - t.origin.x, t.right.y + t.down.y - t.origin.y};
  cairo_new_path(cr);
  cairo_move_to(cr, t.origin.x, t.origin.y);
  cairo_line_to(cr, t.right.x, t.right.y);
  cairo_line_to(cr, far.x, far.y);
  cairo_line_to(cr, t.down.x, t.down.y);
  cairo_close_path(cr);
}

void targetBox(const BlitTarget& t, RECT& box) {
  double xs[4] = {t.origin.x, t.right.x, t.down.x, t.right.x + t.down.x - t.origin.x};
  double ys[4] = {t.origin.y, t.right.y, t.down.y, t.right.y + t.down.y - t.origin.y};
  auto c = [](double v) { return LONG(std::clamp(v, -1e9, 1e9)); };
  box = {c(std::floor(*std::min_element(xs, xs + 4))), c(std::floor(*std::min_element(ys, ys + 4))),
         c(std::ceil(*std::max_element(xs, xs + 4))), c(std::ceil(*std::max_element(ys, ys + 4)))};
}

// A pattern of `surface` (w x h pixels) mapped onto the target; null when
// the target collapses.
cairo_pattern_t* imagePattern(cairo_surface_t* surface, int w, int h, const BlitTarget& t) {
  cairo_matrix_t m;
  cairo_matrix_init(&m, (t.right.x - t.origin.x) / w, (t.right.y - t.origin.y) / w, (t.down.x - t.origin.x) / h,
                    (t.down.y - t.origin.y) / h, t.origin.x, t.origin.y);
  if (cairo_matrix_invert(&m) != CAIRO_STATUS_SUCCESS) return nullptr;
  cairo_pattern_t* p = cairo_pattern_create_for_surface(surface);
  cairo_pattern_set_matrix(p, &m);
  cairo_pattern_set_filter(p, CAIRO_FILTER_NEAREST);
  cairo_pattern_set_extend(p, CAIRO_EXTEND_NONE);
  return p;
}

// A content hash, so a picture repeated on many pages is stored once.
void setUniqueId(cairo_surface_t* surface, const BYTE* data, std::size_t size, int w, int h, int kind) {
  std::uint64_t hash = 1469598103934665603ull;
  auto mix = [&](const BYTE* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
  };
  int head[3] = {w, h, kind};
  mix(reinterpret_cast<const BYTE*>(head), sizeof(head));
  mix(data, size);
  auto* id = new std::string("tw-image-" + std::to_string(hash));
  cairo_status_t status = cairo_surface_set_mime_data(
      surface, CAIRO_MIME_TYPE_UNIQUE_ID, reinterpret_cast<const unsigned char*>(id->data()), id->size(),
      [](void* p) { delete static_cast<std::string*>(p); }, id);
  if (status != CAIRO_STATUS_SUCCESS) delete id;
}

struct SurfaceOwner {
  cairo_surface_t* s = nullptr;
  ~SurfaceOwner() {
    if (s) cairo_surface_destroy(s);
  }
};

}  // namespace

CairoRecorder::Placement CairoRecorder::LogicalPlacement(Dc& dc, int x, int y, int width, int height) const {
  auto at = [&](double lx, double ly) {
    double dx, dy;
    dc.LogicalToDevice().Apply(lx, ly, dx, dy);
    return PointF{double(RoundToDevice(dx)), double(RoundToDevice(dy))};
  };
  return {at(x, y), at(double(x) + width, y), at(x, double(y) + height)};
}

bool CairoRecorder::PatternRect(Dc& dc, const Placement& where, DWORD rop) {
  // A ROP3 that reads no source is a ROP2 of the brush and the page.
  static const std::pair<BYTE, int> kRop3ToRop2[] = {
      {0x00, R2_BLACK},       {0x05, R2_NOTMERGEPEN}, {0x0A, R2_MASKNOTPEN}, {0x0F, R2_NOTCOPYPEN},
      {0x50, R2_MASKPENNOT},  {0x55, R2_NOT},         {0x5A, R2_XORPEN},     {0x5F, R2_NOTMASKPEN},
      {0xA0, R2_MASKPEN},     {0xA5, R2_NOTXORPEN},   {0xAA, R2_NOP},        {0xAF, R2_MERGENOTPEN},
      {0xF0, R2_COPYPEN},     {0xF5, R2_MERGEPENNOT}, {0xFA, R2_MERGEPEN},   {0xFF, R2_WHITE}};
  BYTE r = BYTE((rop >> 16) & 0xFF);
  int rop2 = 0;
  for (auto [code, value] : kRop3ToRop2)
    if (code == r) rop2 = value;
  if (rop2 == R2_NOP) return true;
  const DcState& s = dc.State();
  const Brush* brush = s.brush.get();
  std::optional<DWORD> solid;
  if (brush && brush->style == BS_SOLID) solid = DeviceRgb(dc, brush->dcBrush ? s.dcBrushColor : brush->color);
  bool usesBrush = rop2 != R2_BLACK && rop2 != R2_WHITE && rop2 != R2_NOT;
  if (usesBrush && (!brush || brush->style == BS_NULL)) return true;
  std::optional<Rop2Mapping> mapping = rop2 ? MapRop2(rop2, solid) : std::nullopt;
  if (!mapping) {
    RECT box;
    targetBox(where, box);
    Fallback(dc, box);
    return true;
  }
  if (!ApplyClip(dc)) return true;
  if (usesBrush && !SetBrushSource(dc, *brush)) return true;
  ApplyRop2(*mapping);
  parallelogram(cr_, where);
  cairo_fill(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  return true;
}

bool CairoRecorder::PlaceImage(Dc& dc, Placement target, ImageSource src, DWORD rop, BlitMode mode,
                               DWORD transparentRgb, BLENDFUNCTION blend) {
  if (!cropToDib(src, target)) return true;
  ImageOp op = mode == BlitMode::Alpha         ? ImageOp::Alpha
               : mode == BlitMode::Transparent ? ImageOp::Transparent
                                               : opForRop(rop);
  RECT box;
  targetBox(target, box);
  if (op == ImageOp::Unsupported) {
    Fallback(dc, box);
    return true;
  }
  if (!ApplyClip(dc)) return true;
  const Dib& dib = *src.dib;
  const DcState& s = dc.State();
  int w = src.width, h = src.height;
  bool sourceAlpha = op == ImageOp::Alpha && (blend.AlphaFormat & AC_SRC_ALPHA);
  bool undefined = src.defined && !src.defined->empty();
  bool needAlpha = sourceAlpha || op == ImageOp::Transparent || undefined;

  // The source rectangle as rgb (alpha in bits 24..31 when it counts).
  std::vector<DWORD> pixels;
  try {
    pixels.resize(std::size_t(w) * h);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  DWORD mono0 = ResolveColor(dc, s.textColor), mono1 = ResolveColor(dc, s.bkColor);
  std::vector<DWORD> lut;
  if (dib.bpp <= 8)
    for (const RGBQUAD& q : dib.colors) lut.push_back(RgbFromQuad(q));
  std::vector<DWORD> row(std::size_t(w), 0);
  for (int y = 0; y < h; ++y) {
    dib.funcs->getPixels(dib, src.y + y, src.x, w, row.data());
    DWORD* out = pixels.data() + std::size_t(y) * w;
    for (int x = 0; x < w; ++x) {
      DWORD v = row[std::size_t(x)], rgb;
      if (src.monoDdb) rgb = (v & 1) ? mono1 : mono0;
      else if (dib.bpp <= 8) rgb = v < lut.size() ? lut[v] : 0;
      else rgb = dib.funcs->pixelToRgb(dib, v);
      if (!sourceAlpha) rgb = (rgb & 0xFFFFFF) | 0xFF000000u;
      if (op == ImageOp::Transparent && (rgb & 0xFFFFFF) == transparentRgb) rgb = 0;
      if (undefined && !(*src.defined)[std::size_t(src.y + y) * dib.width + src.x + x]) rgb = 0;
      if (op == ImageOp::CopyInverted) rgb ^= 0xFFFFFF;
      out[x] = rgb;
    }
  }
  ConvertPixels(pixels, w, h, sourceAlpha);
  bool binary = std::all_of(pixels.begin(), pixels.end(), [](DWORD p) {
    DWORD c = p & 0xFFFFFF;
    return c == 0 || c == 0xFFFFFF;
  });
  if ((op == ImageOp::Multiply || op == ImageOp::Lighten || op == ImageOp::Difference) && !binary) {
    Fallback(dc, box);
    return true;
  }

  // Two colours and nothing to blend: a one-bit stencil over a rectangle of
  // the other colour.
  DWORD c0 = pixels[0] & 0xFFFFFF, c1 = c0;
  bool twoColours = !needAlpha && (op == ImageOp::Copy || op == ImageOp::CopyInverted);
  for (std::size_t i = 0; twoColours && i < pixels.size(); ++i) {
    DWORD c = pixels[i] & 0xFFFFFF;
    if (c == c0 || c == c1) continue;
    if (c1 == c0) c1 = c;
    else twoColours = false;
  }
  twoColours = twoColours && (dib.bpp == 1 || options_.color == CairoDcOptions::Color::Mono);
  auto luminance = [](DWORD c) { return ((c >> 16) & 0xFF) * 299 + ((c >> 8) & 0xFF) * 587 + (c & 0xFF) * 114; };
  SurfaceOwner surface;
  CairoImage image;
  image.width = w, image.height = h;
  if (twoColours) {
    DWORD ink = luminance(c0) <= luminance(c1) ? c0 : c1, paper = ink == c0 ? c1 : c0;
    surface.s = cairo_image_surface_create(CAIRO_FORMAT_A1, w, h);
    if (cairo_surface_status(surface.s) != CAIRO_STATUS_SUCCESS) return false;
    cairo_surface_flush(surface.s);
    BYTE* data = cairo_image_surface_get_data(surface.s);
    int stride = cairo_image_surface_get_stride(surface.s);
    std::memset(data, 0, std::size_t(stride) * h);
    for (int y = 0; y < h; ++y) {
      BYTE* line = data + std::ptrdiff_t(y) * stride;
      const DWORD* in = pixels.data() + std::size_t(y) * w;
      for (int x = 0; x < w; ++x)
        if ((in[x] & 0xFFFFFF) == ink) line[x >> 3] |= BYTE(1u << (x & 7));  // cairo's A1: first pixel in the low bit
    }
    cairo_surface_mark_dirty(surface.s);
    setUniqueId(surface.s, data, std::size_t(stride) * h, w, h, 1);
    image.surface = surface.s;
    image.kind = CairoImage::Kind::Stencil;
    if (options_.onImage) options_.onImage(image);
    cairo_pattern_t* mask = imagePattern(surface.s, w, h, target);
    if (!mask) return true;
    if (ink != paper) {
      SetSourceRgb(paper);
      parallelogram(cr_, target);
      cairo_fill(cr_);
    }
    SetSourceRgb(ink);
    cairo_mask(cr_, mask);
    cairo_pattern_destroy(mask);
    return true;
  }

  cairo_format_t format = needAlpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24;
  surface.s = cairo_image_surface_create(format, w, h);
  if (cairo_surface_status(surface.s) != CAIRO_STATUS_SUCCESS) return false;
  cairo_surface_flush(surface.s);
  BYTE* data = cairo_image_surface_get_data(surface.s);
  int stride = cairo_image_surface_get_stride(surface.s);
  bool grey = true;
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<std::uint32_t*>(data + std::ptrdiff_t(y) * stride);
    const DWORD* in = pixels.data() + std::size_t(y) * w;
    for (int x = 0; x < w; ++x) {
      DWORD p = in[x];
      if (needAlpha && !sourceAlpha) {
        // Straight colours with alpha 0 or 255: premultiply.
        p = (p >> 24) ? p : 0;
      }
      line[x] = p;
      DWORD r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      grey = grey && r == g && g == b;
    }
  }
  cairo_surface_mark_dirty(surface.s);
  setUniqueId(surface.s, data, std::size_t(stride) * h, w, h, needAlpha ? 3 : 2);
  image.surface = surface.s;
  image.kind = needAlpha ? CairoImage::Kind::Argb : grey ? CairoImage::Kind::Gray : CairoImage::Kind::Rgb;
  if (options_.onImage) options_.onImage(image);
  cairo_pattern_t* pattern = imagePattern(surface.s, w, h, target);
  if (!pattern) return true;
  cairo_set_source(cr_, pattern);
  cairo_pattern_destroy(pattern);
  cairo_set_operator(cr_, op == ImageOp::Multiply   ? CAIRO_OPERATOR_MULTIPLY
                          : op == ImageOp::Lighten  ? CAIRO_OPERATOR_LIGHTEN
                          : op == ImageOp::Difference ? CAIRO_OPERATOR_DIFFERENCE
                                                      : CAIRO_OPERATOR_OVER);
  if (op == ImageOp::Alpha && blend.SourceConstantAlpha != 255) {
    cairo_paint_with_alpha(cr_, blend.SourceConstantAlpha / 255.0);
  } else {
    cairo_paint(cr_);
  }
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  return true;
}

void CairoRecorder::ConvertPixels(std::vector<DWORD>& pixels, int w, int h, bool premultiplied) const {
  bool adjust = options_.brightness != 0 || options_.contrast != 0;
  if (!adjust && options_.color == CairoDcOptions::Color::Rgb) return;
  BYTE table[256];
  for (int v = 0; v < 256; ++v) {
    double c = (v - 128.0) * (100.0 + options_.contrast) / 100.0 + 128.0 + options_.brightness * 255.0 / 100.0;
    table[v] = BYTE(std::clamp(std::lround(c), 0L, 255L));
  }
  auto adjusted = [&](DWORD p) {
    DWORD a = p >> 24;
    if (premultiplied && a != 255) return p;  // blended pixels are left as they are
    DWORD r = table[(p >> 16) & 0xFF], g = table[(p >> 8) & 0xFF], b = table[p & 0xFF];
    if (options_.color != CairoDcOptions::Color::Rgb) r = g = b = (r * 299 + g * 587 + b * 114 + 500) / 1000;
    return (a << 24) | (r << 16) | (g << 8) | b;
  };
  for (DWORD& p : pixels) p = adjusted(p);
  if (options_.color != CairoDcOptions::Color::Mono) return;
  // One bit: threshold, or error diffusion (Floyd-Steinberg).
  std::vector<int> error(options_.ditherImages ? std::size_t(w + 2) * 2 : 0, 0);
  for (int y = 0; y < h; ++y) {
    int* cur = options_.ditherImages ? error.data() + std::size_t(y % 2) * (w + 2) + 1 : nullptr;
    int* next = options_.ditherImages ? error.data() + std::size_t((y + 1) % 2) * (w + 2) + 1 : nullptr;
    if (next) std::fill(next - 1, next + w + 1, 0);
    for (int x = 0; x < w; ++x) {
      DWORD& p = pixels[std::size_t(y) * w + x];
      if ((p >> 24) == 0) continue;
      int v = int(p & 0xFF) + (cur ? cur[x] / 16 : 0);
      int out = v >= 128 ? 255 : 0;
      if (cur) {
        int e = v - out;
        cur[x + 1] += e * 7;
        next[x - 1] += e * 3;
        next[x] += e * 5;
        next[x + 1] += e;
      }
      p = (p & 0xFF000000u) | DWORD(out) * 0x010101u;
    }
  }
}

bool CairoRecorder::PlaceDcPixels(Dc& dc, Placement target, Dc& source, int xSrc, int ySrc, int widthSrc,
                                  int heightSrc, DWORD rop, BlitMode mode, DWORD transparentRgb,
                                  BLENDFUNCTION blend) {
  Dib* dib = source.Surface();
  if (!dib) {
    SetLastError(ERROR_INVALID_PARAMETER);  // printer, screen and metafile DCs have no pixels to read
    return false;
  }
  const Matrix& m = source.LogicalToDevice();
  if (!m.IsAxisAligned()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  POINT a = source.ToDevice({xSrc, ySrc});
  POINT b = source.ToDevice({LONG(std::clamp<long long>(static_cast<long long>(xSrc) + widthSrc, INT_MIN, INT_MAX)),
                             LONG(std::clamp<long long>(static_cast<long long>(ySrc) + heightSrc, INT_MIN, INT_MAX))});
  if (b.x < a.x) {
    std::swap(a.x, b.x);
    MirrorTargetX(target);
  }
  if (b.y < a.y) {
    std::swap(a.y, b.y);
    MirrorTargetY(target);
  }
  ImageSource src;
  src.dib = dib;
  src.monoDdb = source.SurfaceIsMonoDdb();
  src.x = a.x, src.y = a.y, src.width = b.x - a.x, src.height = b.y - a.y;
  return PlaceImage(dc, target, src, rop, mode, transparentRgb, blend);
}

bool CairoRecorder::PatBlt(Dc& dc, int x, int y, int width, int height, DWORD rop) {
  return PatternRect(dc, LogicalPlacement(dc, x, y, width, height), rop);
}

bool CairoRecorder::BitBlt(Dc& dc, int x, int y, int width, int height, Dc* source, int xSrc, int ySrc, DWORD rop) {
  return StretchBlt(dc, x, y, width, height, source, xSrc, ySrc, width, height, rop);
}

bool CairoRecorder::StretchBlt(Dc& dc, int x, int y, int width, int height, Dc* source, int xSrc, int ySrc,
                               int widthSrc, int heightSrc, DWORD rop) {
  Placement where = LogicalPlacement(dc, x, y, width, height);
  if (!RopUsesSource(rop)) return PatternRect(dc, where, rop);
  if (!source) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return PlaceDcPixels(dc, where, *source, xSrc, ySrc, widthSrc, heightSrc, rop, BlitMode::Rop, 0, {});
}

bool CairoRecorder::MaskBlt(Dc& dc, int x, int y, int width, int height, Dc*, int, int, const Bitmap*, int, int,
                            DWORD) {
  // Two raster operations chosen per pixel by a mask: left to the raster engine.
  RECT box;
  targetBox(LogicalPlacement(dc, x, y, width, height), box);
  Fallback(dc, box);
  return true;
}

bool CairoRecorder::PlgBlt(Dc& dc, const POINT points[3], Dc& source, int xSrc, int ySrc, int width, int height,
                           const Bitmap* mask, int, int) {
  auto at = [&](POINT p) {
    POINT d = dc.ToDevice(p);
    return PointF{double(d.x), double(d.y)};
  };
  Placement where{at(points[0]), at(points[1]), at(points[2])};
  if (mask) {
    RECT box;
    targetBox(where, box);
    Fallback(dc, box);
    return true;
  }
  return PlaceDcPixels(dc, where, source, xSrc, ySrc, width, height, SRCCOPY, BlitMode::Rop, 0, {});
}

bool CairoRecorder::TransparentBlt(Dc& dc, int x, int y, int width, int height, Dc& source, int xSrc, int ySrc,
                                   int widthSrc, int heightSrc, UINT transparent) {
  return PlaceDcPixels(dc, LogicalPlacement(dc, x, y, width, height), source, xSrc, ySrc, widthSrc, heightSrc, SRCCOPY,
                       BlitMode::Transparent, RgbFromColorref(transparent & 0xFFFFFF), {});
}

bool CairoRecorder::AlphaBlend(Dc& dc, int x, int y, int width, int height, Dc& source, int xSrc, int ySrc,
                               int widthSrc, int heightSrc, BLENDFUNCTION blend) {
  Dib* dib = source.Surface();
  if (dib && (blend.AlphaFormat & AC_SRC_ALPHA) && dib->bpp != 32) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return PlaceDcPixels(dc, LogicalPlacement(dc, x, y, width, height), source, xSrc, ySrc, widthSrc, heightSrc, SRCCOPY,
                       BlitMode::Alpha, 0, blend);
}

bool CairoRecorder::PlaceDibBits(Dc& dc, Placement target, std::span<const BYTE> bits, std::span<const BYTE> info,
                                 UINT usage, int xSrc, int ySrc, int widthSrc, int heightSrc, DWORD rop,
                                 bool ySrcFromTop) {
  DibHeader header;
  if (!ParseDibHeader(reinterpret_cast<const BITMAPINFO*>(info.data()), info.size(), usage, dc.State().palette.get(),
                      true, header))
    return false;
  if (header.compression == BI_JPEG || header.compression == BI_PNG) return PlaceCompressedDib(dc, target, header, bits);
  Dib dib;
  std::vector<BYTE> pixels, defined;
  bool rle = header.compression == BI_RLE8 || header.compression == BI_RLE4;
  if (!rle && !MakeDibView(header, bits.data(), bits.size(), dib)) return false;
  if (widthSrc < 0) {
    xSrc += widthSrc;
    widthSrc = -widthSrc;
    MirrorTargetX(target);
  }
  if (heightSrc < 0) {
    ySrc += heightSrc;
    heightSrc = -heightSrc;
    MirrorTargetY(target);
  }
  ImageSource src;
  src.dib = &dib;
  src.x = xSrc;
  src.width = widthSrc;
  src.height = heightSrc;
  // The source rectangle counts its y from the bottom of a bottom-up DIB.
  src.y = header.topDown || ySrcFromTop ? ySrc : header.height - ySrc - heightSrc;
  if (rle && !DecodeRleSource(dc, target, header, bits, src, pixels, defined, dib)) return true;
  if (rle) src.defined = &defined;
  if (!RopUsesSource(rop)) return PatternRect(dc, target, rop);
  return PlaceImage(dc, target, src, rop, BlitMode::Rop, 0, {});
}

// An RLE source is decoded only where the blit reads it, into 8-bit
// indices with a map of the pixels the stream sets. A source too large to
// embed is left to the raster engine (false: nothing more to draw here).
bool CairoRecorder::DecodeRleSource(Dc& dc, const Placement& target, const DibHeader& header,
                                    std::span<const BYTE> bits, ImageSource& src, std::vector<BYTE>& pixels,
                                    std::vector<BYTE>& defined, Dib& dib) {
  constexpr long long kMaxPixels = 16LL << 20;
  int x0 = std::max(src.x, 0), y0 = std::max(src.y, 0);
  int x1 = int(std::min<long long>(static_cast<long long>(src.x) + src.width, header.width));
  int y1 = int(std::min<long long>(static_cast<long long>(src.y) + src.height, header.height));
  if (x1 <= x0 || y1 <= y0) {
    x0 = y0 = 0;
    x1 = y1 = 1;  // nothing of the image is read: one unset pixel
  }
  if (static_cast<long long>(x1 - x0) * (y1 - y0) > kMaxPixels) {
    RECT box;
    targetBox(target, box);
    Fallback(dc, box);
    return false;
  }
  RleImage image(bits.data(), bits.size(), header.compression == BI_RLE4, header.width, header.height);
  dib = RleFormat(header);
  dib.width = x1 - x0;
  dib.height = y1 - y0;
  std::size_t stride = (static_cast<std::size_t>(dib.width) + 3) & ~std::size_t(3);
  pixels.assign(stride * dib.height, 0);
  defined.assign(static_cast<std::size_t>(dib.width) * dib.height, 0);
  dib.top = pixels.data();
  dib.pitch = static_cast<std::ptrdiff_t>(stride);
  std::vector<DWORD> values(dib.width);
  for (int y = y0; y < y1; ++y) {
    BYTE* set = defined.data() + static_cast<std::size_t>(y - y0) * dib.width;
    image.DecodeRow(y, x0, x1, values.data(), set);
    BYTE* row = dib.Row(y - y0);
    for (int x = 0; x < dib.width; ++x) row[x] = static_cast<BYTE>(values[x]);
  }
  src.x -= x0;
  src.y -= y0;
  return true;
}

bool CairoRecorder::PlaceCompressedDib(Dc& dc, const Placement& target, const DibHeader& header,
                                       std::span<const BYTE> bits) {
  if (!ApplyClip(dc)) return true;
  SurfaceOwner surface;
  if (header.compression == BI_PNG) {
    struct Reader {
      std::span<const BYTE> data;
      std::size_t at = 0;
    } reader{bits};
    surface.s = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* out, unsigned int length) {
          auto* r = static_cast<Reader*>(closure);
          if (r->data.size() - r->at < length) return CAIRO_STATUS_READ_ERROR;
          std::memcpy(out, r->data.data() + r->at, length);
          r->at += length;
          return CAIRO_STATUS_SUCCESS;
        },
        &reader);
  } else {
    // A JPEG goes into the document as it is; the surface only gives its size.
    surface.s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, header.width, header.height);
    if (cairo_surface_status(surface.s) == CAIRO_STATUS_SUCCESS) {
      auto* copy = new std::vector<BYTE>(bits.begin(), bits.end());
      if (cairo_surface_set_mime_data(surface.s, CAIRO_MIME_TYPE_JPEG, copy->data(), copy->size(),
                                      [](void* p) { delete static_cast<std::vector<BYTE>*>(p); },
                                      copy) != CAIRO_STATUS_SUCCESS)
        delete copy;
    }
  }
  if (cairo_surface_status(surface.s) != CAIRO_STATUS_SUCCESS) {
    SetLastError(ERROR_INVALID_DATA);
    return false;
  }
  int w = cairo_image_surface_get_width(surface.s), h = cairo_image_surface_get_height(surface.s);
  cairo_pattern_t* pattern = imagePattern(surface.s, w, h, target);
  if (!pattern) return true;
  cairo_set_source(cr_, pattern);
  cairo_pattern_destroy(pattern);
  cairo_paint(cr_);
  return true;
}

bool CairoRecorder::StretchDIBits(Dc& dc, int x, int y, int width, int height, int xSrc, int ySrc, int widthSrc,
                                  int heightSrc, std::span<const BYTE> bits, std::span<const BYTE> info, UINT usage,
                                  DWORD rop) {
  return PlaceDibBits(dc, LogicalPlacement(dc, x, y, width, height), bits, info, usage, xSrc, ySrc, widthSrc,
                      heightSrc, rop, false);
}

bool CairoRecorder::SetDIBitsToDevice(Dc& dc, int x, int y, DWORD width, DWORD height, int xSrc, int ySrc,
                                      UINT startScan, UINT lines, std::span<const BYTE> bits,
                                      std::span<const BYTE> info, UINT usage) {
  DibHeader header;
  if (!ParseDibHeader(reinterpret_cast<const BITMAPINFO*>(info.data()), info.size(), usage, dc.State().palette.get(),
                      true, header))
    return false;
  if (lines == 0) return true;
  // The scan lines given are a DIB of their own; the source rectangle is
  // found in the whole DIB (rows from the top) and moved into them.
  int firstRow = header.topDown ? int(startScan) : header.height - int(startScan + lines);
  int srcTop = header.topDown ? ySrc : header.height - ySrc - int(height);
  std::vector<BYTE> part(info.begin(), info.end());
  auto* bih = reinterpret_cast<BITMAPINFOHEADER*>(part.data());
  if (part.size() < sizeof(BITMAPINFOHEADER) || bih->biSize < sizeof(BITMAPINFOHEADER)) return false;
  bih->biHeight = header.topDown ? -LONG(lines) : LONG(lines);
  bih->biSizeImage = DWORD(bits.size());
  POINT origin = dc.ToDevice({x, y});
  Placement where{{double(origin.x), double(origin.y)},
                  {double(origin.x) + width, double(origin.y)},
                  {double(origin.x), double(origin.y) + height}};
  return PlaceDibBits(dc, where, bits, part, usage, xSrc, srcTop - firstRow, int(width), int(height), SRCCOPY, true);
}

}  // namespace tw::gdi
