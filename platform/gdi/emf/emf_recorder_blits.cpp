// The recorder's bitmap and text records. Blits embed the source pixels
// (as a DIB of the source rectangle); text records always carry an advance
// array, as recorded GDI text does.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <numbers>
#include <type_traits>

#include "../text_seam.h"
#include "emf_recorder.h"
#include "winerror.h"

namespace tw::emf {

using tw::gdi::Dc;
using tw::gdi::Matrix;

namespace {

LONG roundToLong(double v) {
  if (!(v > -1e9)) return -1000000000;
  if (v > 1e9) return 1000000000;
  return static_cast<LONG>(std::floor(v + 0.5));
}

// The pixels of a source rectangle, ready for a record: the embedded DIB,
// and the source origin and transform that find the rectangle in it.
struct EmbeddedSource {
  std::vector<BYTE> info;
  std::vector<BYTE> bits;
  LONG xSrc = 0;
  LONG ySrc = 0;
  XFORM xform{1, 0, 0, 1, 0, 0};
  COLORREF bkColor = 0;
};

bool embedSource(Dc& source, int xSrc, int ySrc, int widthSrc, int heightSrc, EmbeddedSource& out) {
  const Matrix& m = source.LogicalToDevice();
  double xs[4], ys[4];
  m.Apply(xSrc, ySrc, xs[0], ys[0]);
  m.Apply(double(xSrc) + widthSrc, ySrc, xs[1], ys[1]);
  m.Apply(xSrc, double(ySrc) + heightSrc, xs[2], ys[2]);
  m.Apply(double(xSrc) + widthSrc, double(ySrc) + heightSrc, xs[3], ys[3]);
  RECT r{roundToLong(*std::min_element(xs, xs + 4)), roundToLong(*std::min_element(ys, ys + 4)),
         roundToLong(*std::max_element(xs, xs + 4)), roundToLong(*std::max_element(ys, ys + 4))};
  // Only the source's own pixels are embedded: a rectangle reaching past the
  // source (a damaged or huge source transform) must not become a huge bitmap.
  RECT surface = source.DeviceBounds();
  RECT c{std::max(r.left, surface.left), std::max(r.top, surface.top), std::min(r.right, surface.right),
         std::min(r.bottom, surface.bottom)};
  if (c.right <= c.left || c.bottom <= c.top) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!tw::gdi::ReadSourceBits(source, c, out.info, out.bits)) return false;
  out.bkColor = source.State().bkColor;
  if (m.m11 == 1 && m.m22 == 1 && m.m12 == 0 && m.m21 == 0) {
    // A plain offset: the rectangle starts at (0, 0) of the embedded bitmap
    // (left of it when the source rectangle began outside the source).
    out.xSrc = r.left - c.left;
    out.ySrc = r.top - c.top;
  } else {
    // Anything else: the source transform, moved to the embedded rectangle.
    Matrix local = m.Then(Matrix::Translate(-c.left, -c.top));
    out.xform = local.ToXform();
    out.xSrc = xSrc;
    out.ySrc = ySrc;
  }
  return true;
}

// A 1-bit packed DIB of a monochrome mask bitmap.
bool embedMask(const tw::gdi::Bitmap& mask, std::vector<BYTE>& info, std::vector<BYTE>& bits) {
  const tw::gdi::Dib& d = mask.dib;
  if (d.bpp != 1 || d.width <= 0 || d.height <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  info.assign(sizeof(BITMAPINFOHEADER) + 2 * sizeof(RGBQUAD), 0);
  BITMAPINFOHEADER h{sizeof(BITMAPINFOHEADER), d.width, d.height, 1, 1, BI_RGB, 0, 0, 0, 2, 0};
  size_t stride = tw::gdi::Dib::StrideFor(d.width, 1);
  h.biSizeImage = static_cast<DWORD>(stride * size_t(d.height));
  std::memcpy(info.data(), &h, sizeof(h));
  RGBQUAD colors[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  if (d.colors.size() >= 2) {
    colors[0] = d.colors[0];
    colors[1] = d.colors[1];
  }
  std::memcpy(info.data() + sizeof(h), colors, sizeof(colors));
  bits.assign(stride * size_t(d.height), 0);
  for (int y = 0; y < d.height; ++y)  // bottom-up
    std::memcpy(bits.data() + size_t(d.height - 1 - y) * stride, d.Row(y), std::min(stride, d.Stride()));
  return true;
}

// True when a ternary raster operation reads the source.
bool usesSource(DWORD rop) {
  DWORD code = (rop >> 16) & 0xFF;
  return ((code >> 2) & 0x33) != (code & 0x33);
}

// Appends a DIB (header part, then bits) at the end of the record begun at
// `start` and fills the record's four fields (offBmi, cbBmi, offBits,
// cbBits) at `fieldOffset`; all zero when there is no DIB.
void appendDib(RecordWriter& w, size_t start, const std::vector<BYTE>& info, const std::vector<BYTE>& bits,
               size_t fieldOffset) {
  w.Pad();
  if (w.Failed()) return;
  size_t at = w.Size() - start;
  DWORD fields[4] = {0, 0, 0, 0};
  if (!info.empty()) {
    fields[0] = static_cast<DWORD>(at);
    fields[1] = static_cast<DWORD>(info.size());
    fields[2] = static_cast<DWORD>(at + (info.size() + 3) / 4 * 4);
    fields[3] = static_cast<DWORD>(bits.size());
  }
  std::memcpy(w.At(start + fieldOffset), fields, sizeof(fields));
  w.Append(info.data(), info.size());
  w.Pad();
  w.Append(bits.data(), bits.size());
}

}  // namespace

RECTL EmfRecorder::DestinationBounds(Dc& dc, int x, int y, int width, int height) {
  POINT corners[4] = {{x, y}, {x + width, y}, {x, y + height}, {x + width, y + height}};
  RECTL r = PointsBounds(dc, corners, false, false);
  // The far edges of a blit's rectangle are not drawn.
  if (r.right > r.left) r.right -= 1;
  if (r.bottom > r.top) r.bottom -= 1;
  return r;
}

bool EmfRecorder::BlitRecord(Dc& dc, DWORD type, int x, int y, int width, int height, Dc* source, int xSrc,
                             int ySrc, int widthSrc, int heightSrc, DWORD rop) {
  EmbeddedSource src;
  bool blend = type == EMR_ALPHABLEND || type == EMR_TRANSPARENTBLT;
  if (source && (blend || usesSource(rop))) {
    if (!embedSource(*source, xSrc, ySrc, widthSrc, heightSrc, src)) return false;
  } else if (blend) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  RECTL bounds = Ink(dc, DestinationBounds(dc, x, y, width, height));
  EMRSTRETCHBLT head{};
  head.rclBounds = bounds;
  head.xDest = x;
  head.yDest = y;
  head.cxDest = width;
  head.cyDest = height;
  head.dwRop = rop;
  head.xSrc = src.xSrc;
  head.ySrc = src.ySrc;
  head.xformSrc = src.xform;
  head.crBkColorSrc = src.bkColor;
  head.iUsageSrc = DIB_RGB_COLORS;
  head.cxSrc = widthSrc;
  head.cySrc = heightSrc;
  size_t headSize = type == EMR_BITBLT ? sizeof(EMRBITBLT) : sizeof(EMRSTRETCHBLT);
  size_t start = writer_.Begin(type, &head, headSize);
  appendDib(writer_, start, src.info, src.bits, offsetof(EMRBITBLT, offBmiSrc));
  writer_.End(start);
  return true;
}

bool EmfRecorder::PatBlt(Dc& dc, int x, int y, int width, int height, DWORD rop) {
  std::lock_guard lock(mutex_);
  return BlitRecord(dc, EMR_BITBLT, x, y, width, height, nullptr, 0, 0, width, height, rop);
}

bool EmfRecorder::BitBlt(Dc& dc, int x, int y, int width, int height, Dc* source, int xSrc, int ySrc, DWORD rop) {
  std::lock_guard lock(mutex_);
  return BlitRecord(dc, EMR_BITBLT, x, y, width, height, source, xSrc, ySrc, width, height, rop);
}

bool EmfRecorder::StretchBlt(Dc& dc, int x, int y, int width, int height, Dc* source, int xSrc, int ySrc,
                             int widthSrc, int heightSrc, DWORD rop) {
  std::lock_guard lock(mutex_);
  return BlitRecord(dc, EMR_STRETCHBLT, x, y, width, height, source, xSrc, ySrc, widthSrc, heightSrc, rop);
}

bool EmfRecorder::TransparentBlt(Dc& dc, int x, int y, int width, int height, Dc& source, int xSrc, int ySrc,
                                 int widthSrc, int heightSrc, UINT transparent) {
  std::lock_guard lock(mutex_);
  return BlitRecord(dc, EMR_TRANSPARENTBLT, x, y, width, height, &source, xSrc, ySrc, widthSrc, heightSrc,
                    transparent);
}

bool EmfRecorder::AlphaBlend(Dc& dc, int x, int y, int width, int height, Dc& source, int xSrc, int ySrc,
                             int widthSrc, int heightSrc, BLENDFUNCTION blend) {
  std::lock_guard lock(mutex_);
  DWORD packed;
  std::memcpy(&packed, &blend, sizeof(packed));
  return BlitRecord(dc, EMR_ALPHABLEND, x, y, width, height, &source, xSrc, ySrc, widthSrc, heightSrc, packed);
}

bool EmfRecorder::MaskBlt(Dc& dc, int x, int y, int width, int height, Dc* source, int xSrc, int ySrc,
                          const tw::gdi::Bitmap* mask, int xMask, int yMask, DWORD rop) {
  std::lock_guard lock(mutex_);
  EmbeddedSource src;
  if (source && !embedSource(*source, xSrc, ySrc, width, height, src)) return false;
  std::vector<BYTE> maskInfo, maskBits;
  if (mask && !embedMask(*mask, maskInfo, maskBits)) return false;
  EMRMASKBLT head{};
  head.rclBounds = Ink(dc, DestinationBounds(dc, x, y, width, height));
  head.xDest = x;
  head.yDest = y;
  head.cxDest = width;
  head.cyDest = height;
  head.dwRop = rop;
  head.xSrc = src.xSrc;
  head.ySrc = src.ySrc;
  head.xformSrc = src.xform;
  head.crBkColorSrc = src.bkColor;
  head.iUsageSrc = DIB_RGB_COLORS;
  head.xMask = xMask;
  head.yMask = yMask;
  head.iUsageMask = DIB_RGB_COLORS;
  size_t start = writer_.Begin(EMR_MASKBLT, &head, sizeof(head));
  appendDib(writer_, start, src.info, src.bits, offsetof(EMRMASKBLT, offBmiSrc));
  appendDib(writer_, start, maskInfo, maskBits, offsetof(EMRMASKBLT, offBmiMask));
  writer_.End(start);
  return true;
}

bool EmfRecorder::PlgBlt(Dc& dc, const POINT points[3], Dc& source, int xSrc, int ySrc, int width, int height,
                         const tw::gdi::Bitmap* mask, int xMask, int yMask) {
  std::lock_guard lock(mutex_);
  EmbeddedSource src;
  if (!embedSource(source, xSrc, ySrc, width, height, src)) return false;
  std::vector<BYTE> maskInfo, maskBits;
  if (mask && !embedMask(*mask, maskInfo, maskBits)) return false;
  POINT corners[4] = {points[0], points[1], points[2],
                      {points[1].x + points[2].x - points[0].x, points[1].y + points[2].y - points[0].y}};
  EMRPLGBLT head{};
  head.rclBounds = Ink(dc, PointsBounds(dc, corners, false, false));
  for (int i = 0; i < 3; ++i) head.aptlDest[i] = {points[i].x, points[i].y};
  head.xSrc = src.xSrc;
  head.ySrc = src.ySrc;
  head.cxSrc = width;
  head.cySrc = height;
  head.xformSrc = src.xform;
  head.crBkColorSrc = src.bkColor;
  head.iUsageSrc = DIB_RGB_COLORS;
  head.xMask = xMask;
  head.yMask = yMask;
  head.iUsageMask = DIB_RGB_COLORS;
  size_t start = writer_.Begin(EMR_PLGBLT, &head, sizeof(head));
  appendDib(writer_, start, src.info, src.bits, offsetof(EMRPLGBLT, offBmiSrc));
  appendDib(writer_, start, maskInfo, maskBits, offsetof(EMRPLGBLT, offBmiMask));
  writer_.End(start);
  return true;
}

bool EmfRecorder::StretchDIBits(Dc& dc, int x, int y, int width, int height, int xSrc, int ySrc, int widthSrc,
                                int heightSrc, std::span<const BYTE> bits, std::span<const BYTE> info, UINT usage,
                                DWORD rop) {
  std::lock_guard lock(mutex_);
  EMRSTRETCHDIBITS head{};
  head.rclBounds = Ink(dc, DestinationBounds(dc, x, y, width, height));
  head.xDest = x;
  head.yDest = y;
  head.xSrc = xSrc;
  head.ySrc = ySrc;
  head.cxSrc = widthSrc;
  head.cySrc = heightSrc;
  head.iUsageSrc = usage;
  head.dwRop = rop;
  head.cxDest = width;
  head.cyDest = height;
  bool withBits = !bits.empty() && !info.empty();
  if (withBits) {
    head.offBmiSrc = sizeof(head);
    head.cbBmiSrc = static_cast<DWORD>(info.size());
    head.offBitsSrc = static_cast<DWORD>(sizeof(head) + (info.size() + 3) / 4 * 4);
    head.cbBitsSrc = static_cast<DWORD>(bits.size());
  }
  size_t start = writer_.Begin(EMR_STRETCHDIBITS, &head, sizeof(head));
  if (withBits) {
    writer_.Append(info.data(), info.size());
    writer_.Pad();
    writer_.Append(bits.data(), bits.size());
  }
  writer_.End(start);
  return true;
}

bool EmfRecorder::SetDIBitsToDevice(Dc& dc, int x, int y, DWORD width, DWORD height, int xSrc, int ySrc,
                                    UINT startScan, UINT lines, std::span<const BYTE> bits, std::span<const BYTE> info,
                                    UINT usage) {
  std::lock_guard lock(mutex_);
  EMRSETDIBITSTODEVICE head{};
  head.rclBounds = Ink(dc, DestinationBounds(dc, x, y, int(std::min<DWORD>(width, 0x7FFFFFFF)),
                                             int(std::min<DWORD>(height, 0x7FFFFFFF))));
  head.xDest = x;
  head.yDest = y;
  head.xSrc = xSrc;
  head.ySrc = ySrc;
  head.cxSrc = static_cast<LONG>(width);
  head.cySrc = static_cast<LONG>(height);
  head.offBmiSrc = sizeof(head);
  head.cbBmiSrc = static_cast<DWORD>(info.size());
  head.offBitsSrc = static_cast<DWORD>(sizeof(head) + (info.size() + 3) / 4 * 4);
  head.cbBitsSrc = static_cast<DWORD>(bits.size());
  head.iUsageSrc = usage;
  head.iStartScan = startScan;
  head.cScans = lines;
  size_t start = writer_.Begin(EMR_SETDIBITSTODEVICE, &head, sizeof(head));
  writer_.Append(info.data(), info.size());
  writer_.Pad();
  writer_.Append(bits.data(), bits.size());
  writer_.End(start);
  return true;
}

// ---- text -----------------------------------------------------------------

std::vector<INT> EmfRecorder::Advances(Dc& dc, std::u16string_view text, const INT* dx, UINT options) {
  size_t n = text.size() * ((options & ETO_PDY) ? 2 : 1);
  if (dx) return std::vector<INT>(dx, dx + n);
  if (options & ETO_PDY) {
    // Vertical advances need an array to come from; without one, zero.
    std::vector<INT> both(n, 0);
    std::vector<INT> x = Advances(dc, text, nullptr, options & ~ETO_PDY);
    for (size_t i = 0; i < x.size(); ++i) both[2 * i] = x[i];
    return both;
  }
  std::vector<INT> out(text.size(), 0);
  if (text.empty()) return out;
  // The font engine measures (glyph indices one by one); partial extents
  // give each character's advance.
  HDC hdc = static_cast<HDC>(dc.Handle());
  std::vector<INT> partial(text.size(), 0);
  SIZE size{};
  bool measured = false;
  if (!(options & ETO_GLYPH_INDEX) && text.size() <= INT_MAX) {
    measured = GetTextExtentExPointW(hdc, reinterpret_cast<LPCWSTR>(text.data()), int(text.size()), 0, nullptr,
                                     partial.data(), &size) != FALSE;
  } else if (text.size() <= INT_MAX) {
    measured = true;
    for (size_t i = 0; i < text.size() && measured; ++i) {
      WORD glyph = text[i];
      measured = GetTextExtentPointI(hdc, &glyph, 1, &size) != FALSE;
      partial[i] = (i ? partial[i - 1] : 0) + size.cx;
    }
  }
  if (measured) {
    for (size_t i = 0; i < text.size(); ++i) out[i] = partial[i] - (i ? partial[i - 1] : 0);
    return out;
  }
  // No font engine to ask: half the em height per character stands in, so
  // the record is complete and its bounds plausible.
  const auto& font = dc.State().font;
  LONG height = font ? font->logfont.lfHeight : 16;
  LONG width = font ? font->logfont.lfWidth : 0;
  LONG em = height < 0 ? -height : (height * 4 + 2) / 5;
  INT advance = width != 0 ? std::abs(width) : std::max<LONG>(1, (em + 1) / 2);
  std::fill(out.begin(), out.end(), advance);
  return out;
}

RECTL EmfRecorder::TextBounds(Dc& dc, int x, int y, UINT options, const RECT* rect, std::span<const INT> advances,
                              size_t count) {
  const auto& state = dc.State();
  if (state.textAlign & TA_UPDATECP) {
    x = state.currentPos.x;
    y = state.currentPos.y;
  }
  bool pdy = options & ETO_PDY;
  double width = 0, rise = 0;
  size_t step = pdy ? 2 : 1;
  for (size_t i = 0; i < count && i * step + step - 1 < advances.size(); ++i) {
    width += advances[i * step];
    if (pdy) rise += advances[i * step + 1];
  }
  const auto& font = state.font;
  // The realised font's cell; an estimate from the LOGFONT when it cannot
  // be realised.
  LONG lfHeight = font ? font->logfont.lfHeight : 16;
  double cell = lfHeight < 0 ? -lfHeight * 1.2 : (lfHeight ? lfHeight : 16);
  double ascent = cell * 0.8, descent = cell - ascent;
  TEXTMETRICW tm{};
  if (GetTextMetricsW(static_cast<HDC>(dc.Handle()), &tm) && tm.tmHeight > 0) {
    cell = tm.tmHeight;
    ascent = tm.tmAscent;
    descent = tm.tmDescent;
  }
  double x0 = 0, x1 = width;
  UINT h = state.textAlign & (TA_LEFT | TA_RIGHT | TA_CENTER);
  if (h == TA_RIGHT) x0 = -width, x1 = 0;
  if (h == TA_CENTER) x0 = -width / 2, x1 = width / 2;
  double y0 = 0, y1 = cell;
  UINT v = state.textAlign & (TA_TOP | TA_BOTTOM | TA_BASELINE);
  if (v == TA_BOTTOM) y0 = -cell, y1 = 0;
  if (v == TA_BASELINE) y0 = -ascent, y1 = descent;
  if (rise) y0 = std::min(y0, y0 - std::fabs(rise)), y1 = std::max(y1, y1 + std::fabs(rise));
  // Escapement turns the line about the reference point (counter-clockwise
  // on the page).
  double angle = font ? font->logfont.lfEscapement * std::numbers::pi / 1800.0 : 0;
  double c = std::cos(angle), s = std::sin(angle);
  POINT pts[4];
  double corners[4][2] = {{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}};
  for (int i = 0; i < 4; ++i) {
    double px = corners[i][0] * c + corners[i][1] * s, py = -corners[i][0] * s + corners[i][1] * c;
    pts[i] = {roundToLong(x + px), roundToLong(y + py)};
  }
  RECTL b = count ? PointsBounds(dc, pts, false, false) : RECTL{0, 0, -1, -1};
  if (rect && (options & (ETO_OPAQUE | ETO_CLIPPED))) {
    RECTL r = DestinationBounds(dc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    if (options & ETO_CLIPPED && !(options & ETO_OPAQUE)) {
      b = {std::max(b.left, r.left), std::max(b.top, r.top), std::min(b.right, r.right), std::min(b.bottom, r.bottom)};
    } else if (options & ETO_OPAQUE) {
      if (b.right < b.left) b = r;
      else b = {std::min(b.left, r.left), std::min(b.top, r.top), std::max(b.right, r.right), std::max(b.bottom, r.bottom)};
    }
  }
  return b;
}

void EmfRecorder::TextHead(Dc& dc, const RECTL& bounds, std::vector<BYTE>& head) {
  // rclBounds, iGraphicsMode, exScale, eyScale (the scales: 0.01 mm per
  // device pixel in the compatible mode, as text there does not follow the
  // world transform).
  const auto& caps = dc.Caps();
  DWORD mode = static_cast<DWORD>(dc.State().graphicsMode);
  FLOAT ex = 0, ey = 0;
  if (mode == GM_COMPATIBLE && caps.horzRes > 0 && caps.vertRes > 0) {
    ex = FLOAT(caps.widthUm / 10.0 / caps.horzRes);
    ey = FLOAT(caps.heightUm / 10.0 / caps.vertRes);
  }
  head.resize(28);
  std::memcpy(head.data(), &bounds, 16);
  std::memcpy(head.data() + 16, &mode, 4);
  std::memcpy(head.data() + 20, &ex, 4);
  std::memcpy(head.data() + 24, &ey, 4);
}

namespace {

// 8-bit glyph indices (or bytes) one for one as 16-bit units.
std::u16string widenBytes(const char* bytes, size_t n) {
  std::u16string wide(n, u'\0');
  for (size_t i = 0; i < n; ++i) wide[i] = static_cast<unsigned char>(bytes[i]);
  return wide;
}

// One EMRTEXT and its payload (string, advances) for a record whose items
// start at `itemsEnd` bytes after the record start.
struct TextPayload {
  EMRTEXT text{};
  std::vector<BYTE> string;
  std::vector<INT> dx;
};

void layoutPayloads(std::vector<TextPayload>& items, size_t payloadStart) {
  size_t at = payloadStart;
  for (auto& item : items) {
    item.text.offString = static_cast<DWORD>(at);
    at += (item.string.size() + 3) / 4 * 4;
    item.text.offDx = static_cast<DWORD>(at);
    at += item.dx.size() * sizeof(INT);
  }
}

void appendPayloads(RecordWriter& w, const std::vector<TextPayload>& items) {
  for (const auto& item : items) {
    w.Append(item.string.data(), item.string.size());
    w.Pad();
    w.Append(item.dx.data(), item.dx.size() * sizeof(INT));
  }
}

}  // namespace

bool EmfRecorder::ExtTextOutW(Dc& dc, int x, int y, UINT options, const RECT* rect, std::u16string_view text,
                              const INT* dx) {
  std::lock_guard lock(mutex_);
  std::vector<TextPayload> items(1);
  TextPayload& p = items[0];
  p.dx = Advances(dc, text, dx, options);
  p.string.resize(text.size() * 2);
  if (!text.empty()) std::memcpy(p.string.data(), text.data(), text.size() * 2);
  p.text.ptlReference = {x, y};
  p.text.nChars = static_cast<DWORD>(text.size());
  p.text.fOptions = options;
  p.text.rcl = rect ? RECTL{rect->left, rect->top, rect->right, rect->bottom} : RECTL{0, 0, 0, 0};
  RECTL bounds = Ink(dc, TextBounds(dc, x, y, options, rect, p.dx, text.size()));
  std::vector<BYTE> head;
  TextHead(dc, bounds, head);
  layoutPayloads(items, sizeof(EMREXTTEXTOUTW));
  EMR emr{};
  size_t start = writer_.Begin(EMR_EXTTEXTOUTW, &emr, sizeof(emr));
  writer_.Append(head.data(), head.size());
  writer_.Append(&p.text, sizeof(EMRTEXT));
  appendPayloads(writer_, items);
  writer_.End(start);
  return true;
}

bool EmfRecorder::ExtTextOutA(Dc& dc, int x, int y, UINT options, const RECT* rect, std::string_view text,
                              const INT* dx) {
  std::lock_guard lock(mutex_);
  // Measured as drawn: in the code page of the font's character set
  // (glyph indices as they are).
  std::u16string wide = options & ETO_GLYPH_INDEX ? widenBytes(text.data(), text.size())
                                                  : tw::gdi::text::WidenForMeasuring(dc, text);
  std::vector<TextPayload> items(1);
  TextPayload& p = items[0];
  p.dx = Advances(dc, wide, dx, options);
  p.string.assign(text.begin(), text.end());
  p.text.ptlReference = {x, y};
  p.text.nChars = static_cast<DWORD>(text.size());
  p.text.fOptions = options;
  p.text.rcl = rect ? RECTL{rect->left, rect->top, rect->right, rect->bottom} : RECTL{0, 0, 0, 0};
  RECTL bounds = Ink(dc, TextBounds(dc, x, y, options, rect, p.dx, text.size()));
  std::vector<BYTE> head;
  TextHead(dc, bounds, head);
  layoutPayloads(items, sizeof(EMREXTTEXTOUTA));
  EMR emr{};
  size_t start = writer_.Begin(EMR_EXTTEXTOUTA, &emr, sizeof(emr));
  writer_.Append(head.data(), head.size());
  writer_.Append(&p.text, sizeof(EMRTEXT));
  appendPayloads(writer_, items);
  writer_.End(start);
  return true;
}

namespace {

// The payloads of a POLYTEXTOUT record's items, and their joint bounds;
// `widen` gives the characters an item's string is measured as.
template <class Char, class Item, class WidenFn, class AdvanceFn, class BoundsFn>
std::vector<TextPayload> polyPayloads(std::span<const Item> list, WidenFn widen, AdvanceFn advances,
                                      BoundsFn boundsOf, RECTL& bounds) {
  BoundsBox box;
  std::vector<TextPayload> items(list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    const Item& it = list[i];
    TextPayload& p = items[i];
    std::u16string wide = widen(it);
    p.dx = advances(wide, it.pdx, it.uiFlags);
    p.string.resize(size_t(it.n) * sizeof(Char));
    if (it.n) std::memcpy(p.string.data(), it.lpstr, p.string.size());
    p.text.ptlReference = {it.x, it.y};
    p.text.nChars = it.n;
    p.text.fOptions = it.uiFlags;
    p.text.rcl = {it.rcl.left, it.rcl.top, it.rcl.right, it.rcl.bottom};
    box.Add(boundsOf(it, p.dx));
  }
  bounds = box.Get();
  return items;
}

}  // namespace

bool EmfRecorder::PolyTextOutW(Dc& dc, std::span<const POLYTEXTW> list) {
  std::lock_guard lock(mutex_);
  RECTL raw;
  std::vector<TextPayload> items = polyPayloads<char16_t>(
      list, [](const POLYTEXTW& it) { return std::u16string(reinterpret_cast<const char16_t*>(it.lpstr), it.n); },
      [&](std::u16string_view t, const INT* dx, UINT o) { return Advances(dc, t, dx, o); },
      [&](const POLYTEXTW& it, std::span<const INT> adv) {
        return TextBounds(dc, it.x, it.y, it.uiFlags, &it.rcl, adv, it.n);
      },
      raw);
  RECTL bounds = Ink(dc, raw);
  std::vector<BYTE> head;
  TextHead(dc, bounds, head);
  LONG count = static_cast<LONG>(items.size());
  layoutPayloads(items, offsetof(EMRPOLYTEXTOUTW, aemrtext) + items.size() * sizeof(EMRTEXT));
  EMR emr{};
  size_t start = writer_.Begin(EMR_POLYTEXTOUTW, &emr, sizeof(emr));
  writer_.Append(head.data(), head.size());
  writer_.Append(&count, sizeof(count));
  for (const auto& item : items) writer_.Append(&item.text, sizeof(EMRTEXT));
  appendPayloads(writer_, items);
  writer_.End(start);
  return true;
}

bool EmfRecorder::PolyTextOutA(Dc& dc, std::span<const POLYTEXTA> list) {
  std::lock_guard lock(mutex_);
  RECTL raw;
  std::vector<TextPayload> items = polyPayloads<char>(
      list,
      [&](const POLYTEXTA& it) {
        return it.uiFlags & ETO_GLYPH_INDEX ? widenBytes(it.lpstr, it.n)
                                            : tw::gdi::text::WidenForMeasuring(dc, std::string_view(it.lpstr, it.n));
      },
      [&](std::u16string_view t, const INT* dx, UINT o) { return Advances(dc, t, dx, o); },
      [&](const POLYTEXTA& it, std::span<const INT> adv) {
        return TextBounds(dc, it.x, it.y, it.uiFlags, &it.rcl, adv, it.n);
      },
      raw);
  RECTL bounds = Ink(dc, raw);
  std::vector<BYTE> head;
  TextHead(dc, bounds, head);
  LONG count = static_cast<LONG>(items.size());
  layoutPayloads(items, offsetof(EMRPOLYTEXTOUTA, aemrtext) + items.size() * sizeof(EMRTEXT));
  EMR emr{};
  size_t start = writer_.Begin(EMR_POLYTEXTOUTA, &emr, sizeof(emr));
  writer_.Append(head.data(), head.size());
  writer_.Append(&count, sizeof(count));
  for (const auto& item : items) writer_.Append(&item.text, sizeof(EMRTEXT));
  appendPayloads(writer_, items);
  writer_.End(start);
  return true;
}

}  // namespace tw::emf
