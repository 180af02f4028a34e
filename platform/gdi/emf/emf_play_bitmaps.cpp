// Playing the bitmap records. A record's source bitmap becomes a DIB section
// in a memory DC, so the blit runs through the same BitBlt/StretchBlt/
// AlphaBlend code as any other, with the source transform and background
// colour the record carries. Compressed sources are the exception: they are
// blitted from the record's bits (blitCompressed).
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "../dc.h"
#include "emf_playback.h"

namespace tw::emf {
namespace {

bool isIdentity(const XFORM& x) {
  return x.eM11 == 1 && x.eM12 == 0 && x.eM21 == 0 && x.eM22 == 1 && x.eDx == 0 && x.eDy == 0;
}

// A memory DC holding a record's bitmap; everything is released on every path.
class SourceBitmap {
 public:
  SourceBitmap() = default;
  SourceBitmap(const SourceBitmap&) = delete;
  SourceBitmap& operator=(const SourceBitmap&) = delete;
  ~SourceBitmap() {
    if (dc_ && old_) SelectObject(dc_, old_);
    if (bitmap_) DeleteObject(bitmap_);
    if (dc_) DeleteDC(dc_);
  }

  // Makes the DC and the bitmap (selected).
  bool Make(HDC reference, const DibRef& dib, DWORD usage) {
    dc_ = CreateCompatibleDC(reference);
    if (!dc_) return false;
    bitmap_ = MakeBitmap(dc_, dib, usage);
    if (!bitmap_) return false;
    old_ = SelectObject(dc_, bitmap_);
    return old_ != nullptr;
  }

  // A DIB section with the record's pixels (uncompressed: a compressed
  // source is never made into a bitmap, see blitCompressed).
  static HBITMAP MakeBitmap(HDC dc, const DibRef& dib, DWORD usage) {
    if (dib.Compressed()) return nullptr;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, dib.info, usage, &bits, nullptr, 0);
    if (!bitmap || !bits) {
      if (bitmap) DeleteObject(bitmap);
      return nullptr;
    }
    GdiFlush();
    std::memcpy(bits, dib.bits, dib.bitsSize);
    return bitmap;
  }

  // The source transform and background colour the record carries.
  void Prepare(const XFORM& xformSrc, COLORREF bkColor) {
    SetBkColor(dc_, bkColor);
    if (!isIdentity(xformSrc)) {
      SetGraphicsMode(dc_, GM_ADVANCED);
      SetWorldTransform(dc_, &xformSrc);
    }
  }

  HDC Dc() const { return dc_; }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

// A 1-bit mask bitmap (MaskBlt, PlgBlt), owned.
class MaskBitmap {
 public:
  ~MaskBitmap() {
    if (bitmap_) DeleteObject(bitmap_);
  }
  HBITMAP Get() const { return bitmap_; }
  // No mask in the record: fine (null). A damaged one: malformed.
  PlayResult Load(HDC reference, const RecordView& r, DWORD usage, DWORD offBmi, DWORD cbBmi, DWORD offBits,
                  DWORD cbBits) {
    if (cbBmi == 0) return PlayResult::Ok;
    DibRef dib;
    if (PlayResult read = Result(ReadDib(r, offBmi, cbBmi, offBits, cbBits, dib, usage)); read != PlayResult::Ok)
      return read;
    if (dib.bitCount != 1) return PlayResult::Failed;
    HDC dc = CreateCompatibleDC(reference);
    if (!dc) return PlayResult::Failed;
    bitmap_ = SourceBitmap::MakeBitmap(dc, dib, usage);
    DeleteDC(dc);
    return bitmap_ ? PlayResult::Ok : PlayResult::Failed;
  }

 private:
  HBITMAP bitmap_ = nullptr;
};

// The source bitmap of a record that needs it in a DC. Compressed sources
// fail here: only BITBLT and STRETCHBLT draw them (blitCompressed), the
// reference GDI cannot blend or mask them either.
PlayResult loadSource(PlaybackContext& c, const DibRef& dib, DWORD usage, SourceBitmap& source) {
  if (dib.Compressed()) return PlayResult::Failed;
  return source.Make(c.hdc, dib, usage) ? PlayResult::Ok : PlayResult::Failed;
}

PlayResult loadSource(PlaybackContext& c, const RecordView& r, DWORD usage, DWORD offBmi, DWORD cbBmi, DWORD offBits,
                      DWORD cbBits, SourceBitmap& source) {
  DibRef dib;
  if (PlayResult read = Result(ReadDib(r, offBmi, cbBmi, offBits, cbBits, dib, usage)); read != PlayResult::Ok)
    return read;
  return loadSource(c, dib, usage, source);
}

// One coordinate through a transform, rounded as GDI rounds device points.
LONG deviceCoordinate(double v) { return static_cast<LONG>(std::floor(std::clamp(v, -1e9, 1e9) + 0.5)); }

// BITBLT / STRETCHBLT of a compressed (RLE) source: drawn straight from
// the record's bits, which are read row by row, so a small stream that
// describes a huge image costs no more than what it covers on the page.
// The source rectangle goes through the record's source transform as the
// source DC would map it.
PlayResult blitCompressed(PlaybackContext& c, const DibRef& dib, const EMRSTRETCHBLT& rec, LONG cxSrc, LONG cySrc) {
  const XFORM& x = rec.xformSrc;
  if (x.eM12 != 0 || x.eM21 != 0) return PlayResult::Failed;  // a turned source cannot be blitted
  LONG left = deviceCoordinate(rec.xSrc * double(x.eM11) + x.eDx);
  LONG top = deviceCoordinate(rec.ySrc * double(x.eM22) + x.eDy);
  LONG right = deviceCoordinate((double(rec.xSrc) + cxSrc) * x.eM11 + x.eDx);
  LONG bottom = deviceCoordinate((double(rec.ySrc) + cySrc) * x.eM22 + x.eDy);
  long long width = static_cast<long long>(right) - left, height = static_cast<long long>(bottom) - top;
  if (width == 0 || height == 0 || width < INT_MIN || width > INT_MAX || height < INT_MIN || height > INT_MAX)
    return PlayResult::Failed;
  // StretchDIBits counts the source's rows from the bottom of a bottom-up DIB.
  long long rows = dib.height < 0 ? -static_cast<long long>(dib.height) : dib.height;
  long long ySrc = dib.height < 0 ? top : rows - top - height;
  if (ySrc < INT_MIN || ySrc > INT_MAX) return PlayResult::Failed;
  int lines = tw::gdi::StretchDibAsBitmap(c.hdc, rec.xDest, rec.yDest, rec.cxDest, rec.cyDest, left, int(ySrc),
                                          int(width), int(height), dib.bits, dib.info, rec.iUsageSrc, rec.dwRop,
                                          rec.crBkColorSrc);
  return Result(lines != 0 && lines != int(GDI_ERROR));
}

PlayResult bitBlt(PlaybackContext& c, const RecordView& r) {
  auto* rec = r.As<EMRBITBLT>();
  if (!rec) return PlayResult::Malformed;
  if (rec->cbBmiSrc == 0)  // no source: a pattern operation (PatBlt)
    return Result(PatBlt(c.hdc, rec->xDest, rec->yDest, rec->cxDest, rec->cyDest, rec->dwRop));
  DibRef dib;
  if (PlayResult read = Result(ReadDib(r, rec->offBmiSrc, rec->cbBmiSrc, rec->offBitsSrc, rec->cbBitsSrc, dib,
                                       rec->iUsageSrc));
      read != PlayResult::Ok)
    return read;
  if (dib.Compressed()) {
    // EMRBITBLT is EMRSTRETCHBLT without the source size, which is the
    // destination's.
    EMRSTRETCHBLT as{};
    std::memcpy(&as, rec, sizeof(EMRBITBLT));
    return blitCompressed(c, dib, as, rec->cxDest, rec->cyDest);
  }
  SourceBitmap source;
  if (PlayResult loaded = loadSource(c, dib, rec->iUsageSrc, source); loaded != PlayResult::Ok) return loaded;
  source.Prepare(rec->xformSrc, rec->crBkColorSrc);
  return Result(BitBlt(c.hdc, rec->xDest, rec->yDest, rec->cxDest, rec->cyDest, source.Dc(), rec->xSrc, rec->ySrc,
                       rec->dwRop));
}

// STRETCHBLT, ALPHABLEND and TRANSPARENTBLT share one layout.
PlayResult stretchFamily(PlaybackContext& c, const RecordView& r) {
  auto* rec = r.As<EMRSTRETCHBLT>();
  if (!rec) return PlayResult::Malformed;
  if (rec->cbBmiSrc == 0) {
    if (r.Type() != EMR_STRETCHBLT) return PlayResult::Failed;  // blending needs a source
    return Result(PatBlt(c.hdc, rec->xDest, rec->yDest, rec->cxDest, rec->cyDest, rec->dwRop));
  }
  DibRef dib;
  if (PlayResult read = Result(ReadDib(r, rec->offBmiSrc, rec->cbBmiSrc, rec->offBitsSrc, rec->cbBitsSrc, dib,
                                       rec->iUsageSrc));
      read != PlayResult::Ok)
    return read;
  if (dib.Compressed() && r.Type() == EMR_STRETCHBLT) return blitCompressed(c, dib, *rec, rec->cxSrc, rec->cySrc);
  SourceBitmap source;
  if (PlayResult loaded = loadSource(c, dib, rec->iUsageSrc, source); loaded != PlayResult::Ok) return loaded;
  source.Prepare(rec->xformSrc, rec->crBkColorSrc);
  switch (r.Type()) {
    case EMR_ALPHABLEND: {
      BLENDFUNCTION blend;
      std::memcpy(&blend, &rec->dwRop, sizeof(blend));  // the four bytes in record order
      return Result(AlphaBlend(c.hdc, rec->xDest, rec->yDest, rec->cxDest, rec->cyDest, source.Dc(), rec->xSrc,
                               rec->ySrc, rec->cxSrc, rec->cySrc, blend));
    }
    case EMR_TRANSPARENTBLT:
      return Result(TransparentBlt(c.hdc, rec->xDest, rec->yDest, rec->cxDest, rec->cyDest, source.Dc(), rec->xSrc,
                                   rec->ySrc, rec->cxSrc, rec->cySrc, UINT(rec->dwRop)));
    default:
      return Result(StretchBlt(c.hdc, rec->xDest, rec->yDest, rec->cxDest, rec->cyDest, source.Dc(), rec->xSrc,
                               rec->ySrc, rec->cxSrc, rec->cySrc, rec->dwRop));
  }
}

// The DIB fields of a record's source or mask bitmap.
struct DibFields {
  DWORD usage, offBmi, cbBmi, offBits, cbBits;
};

// Source (optional) and mask (optional) of MASKBLT and PLGBLT.
PlayResult loadSourceAndMask(PlaybackContext& c, const RecordView& r, const DibFields& src, const XFORM& xform,
                             COLORREF bkColor, const DibFields& mask, SourceBitmap& source, MaskBitmap& maskBitmap) {
  if (src.cbBmi != 0) {
    PlayResult loaded = loadSource(c, r, src.usage, src.offBmi, src.cbBmi, src.offBits, src.cbBits, source);
    if (loaded != PlayResult::Ok) return loaded;
    source.Prepare(xform, bkColor);
  }
  return maskBitmap.Load(c.hdc, r, mask.usage, mask.offBmi, mask.cbBmi, mask.offBits, mask.cbBits);
}

PlayResult maskBlt(PlaybackContext& c, const RecordView& r) {
  auto* rec = r.As<EMRMASKBLT>();
  if (!rec) return PlayResult::Malformed;
  SourceBitmap source;
  MaskBitmap mask;
  PlayResult loaded = loadSourceAndMask(
      c, r, {rec->iUsageSrc, rec->offBmiSrc, rec->cbBmiSrc, rec->offBitsSrc, rec->cbBitsSrc}, rec->xformSrc,
      rec->crBkColorSrc, {rec->iUsageMask, rec->offBmiMask, rec->cbBmiMask, rec->offBitsMask, rec->cbBitsMask},
      source, mask);
  if (loaded != PlayResult::Ok) return loaded;
  return Result(MaskBlt(c.hdc, rec->xDest, rec->yDest, rec->cxDest, rec->cyDest, source.Dc(), rec->xSrc, rec->ySrc,
                        mask.Get(), rec->xMask, rec->yMask, rec->dwRop));
}

PlayResult plgBlt(PlaybackContext& c, const RecordView& r) {
  auto* rec = r.As<EMRPLGBLT>();
  if (!rec) return PlayResult::Malformed;
  if (rec->cbBmiSrc == 0) return PlayResult::Failed;
  SourceBitmap source;
  MaskBitmap mask;
  PlayResult loaded = loadSourceAndMask(
      c, r, {rec->iUsageSrc, rec->offBmiSrc, rec->cbBmiSrc, rec->offBitsSrc, rec->cbBitsSrc}, rec->xformSrc,
      rec->crBkColorSrc, {rec->iUsageMask, rec->offBmiMask, rec->cbBmiMask, rec->offBitsMask, rec->cbBitsMask},
      source, mask);
  if (loaded != PlayResult::Ok) return loaded;
  POINT pts[3] = {{rec->aptlDest[0].x, rec->aptlDest[0].y},
                  {rec->aptlDest[1].x, rec->aptlDest[1].y},
                  {rec->aptlDest[2].x, rec->aptlDest[2].y}};
  return Result(PlgBlt(c.hdc, pts, source.Dc(), rec->xSrc, rec->ySrc, rec->cxSrc, rec->cySrc, mask.Get(), rec->xMask,
                       rec->yMask));
}

PlayResult stretchDIBits(PlaybackContext& c, const RecordView& r) {
  auto* rec = r.As<EMRSTRETCHDIBITS>();
  if (!rec) return PlayResult::Malformed;
  if (rec->cbBmiSrc == 0)
    return Result(PatBlt(c.hdc, rec->xDest, rec->yDest, rec->cxDest, rec->cyDest, rec->dwRop));
  DibRef dib;
  if (PlayResult read = Result(ReadDib(r, rec->offBmiSrc, rec->cbBmiSrc, rec->offBitsSrc, rec->cbBitsSrc, dib,
                                       rec->iUsageSrc));
      read != PlayResult::Ok)
    return read;
  int lines = StretchDIBits(c.hdc, rec->xDest, rec->yDest, rec->cxDest, rec->cyDest, rec->xSrc, rec->ySrc,
                            rec->cxSrc, rec->cySrc, dib.bits, dib.info, rec->iUsageSrc, rec->dwRop);
  return Result(lines != 0 && lines != int(GDI_ERROR));
}

PlayResult setDIBitsToDevice(PlaybackContext& c, const RecordView& r) {
  auto* rec = r.As<EMRSETDIBITSTODEVICE>();
  if (!rec) return PlayResult::Malformed;
  DibRef dib;
  if (PlayResult read = Result(ReadDib(r, rec->offBmiSrc, rec->cbBmiSrc, rec->offBitsSrc, rec->cbBitsSrc, dib,
                                       rec->iUsageSrc));
      read != PlayResult::Ok)
    return read;
  if (rec->cxSrc < 0 || rec->cySrc < 0) return PlayResult::Failed;
  int lines = SetDIBitsToDevice(c.hdc, rec->xDest, rec->yDest, DWORD(rec->cxSrc), DWORD(rec->cySrc), rec->xSrc,
                                rec->ySrc, rec->iStartScan, rec->cScans, dib.bits, dib.info, rec->iUsageSrc);
  return Result(lines != 0);
}

}  // namespace

PlayResult PlayBitmapRecord(PlaybackContext& c, const RecordView& r, bool& handled) {
  handled = true;
  switch (r.Type()) {
    case EMR_BITBLT: return bitBlt(c, r);
    case EMR_STRETCHBLT:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT: return stretchFamily(c, r);
    case EMR_MASKBLT: return maskBlt(c, r);
    case EMR_PLGBLT: return plgBlt(c, r);
    case EMR_STRETCHDIBITS: return stretchDIBits(c, r);
    case EMR_SETDIBITSTODEVICE: return setDIBitsToDevice(c, r);
    default:
      handled = false;
      return PlayResult::Ok;
  }
}

}  // namespace tw::emf
