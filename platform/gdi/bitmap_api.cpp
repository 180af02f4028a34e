// Bitmaps and DIBs: CreateBitmap, CreateCompatibleBitmap, CreateDIBSection,
// CreateDIBitmap, GetDIBits, SetDIBits, GetBitmapBits, colour tables.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "dc.h"
#include "dibinfo.h"
#include "rle.h"
#include "tw/gdi.h"
#include "winerror.h"

using namespace tw::gdi;

namespace {

std::atomic<int> g_failBitmaps{0};

bool consumeFailure() {
  int n = g_failBitmaps.load();
  while (n > 0 && !g_failBitmaps.compare_exchange_weak(n, n - 1)) {
  }
  if (n > 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return true;
  }
  return false;
}


HBITMAP insertBitmap(std::shared_ptr<Bitmap> bitmap) {
  if (!bitmap) return nullptr;
  return static_cast<HBITMAP>(InsertObject(std::move(bitmap)));
}

int supportedDepth(UINT bits) {
  for (int d : {1, 4, 8, 16, 24, 32})
    if (bits <= static_cast<UINT>(d)) return d;
  return 0;
}

// A colour DDB of `bpp` bits: palette depths get the default table.
std::shared_ptr<Bitmap> makeDdb(int width, int height, int bpp) {
  auto bitmap = Bitmap::MakeDdb(width, height, bpp);
  if (bitmap && (bpp == 4 || bpp == 8)) bitmap->dib.colors = DefaultColorTable(bpp);
  return bitmap;
}

// Copies pixels row by row between DIBs of any formats, converting through
// rgb (palette targets take the nearest entry). Rows are addressed from the
// top; `set` (RLE sources) leaves the pixels the stream did not set.
class RowCopier {
 public:
  RowCopier(const Dib& src, const Dib& dst, bool rawBits) : src_(src), dst_(dst) {
    raw_ = rawBits || (src.bpp == dst.bpp && (src.bpp > 8 ? std::equal(src.masks, src.masks + 3, dst.masks)
                                                          : sameColors(src, dst)));
    if (!raw_ && src.bpp <= 8) {
      std::size_t n = std::size_t{1} << src.bpp;
      for (std::size_t i = 0; i < n; ++i) {
        DWORD rgb = i < src.colors.size() ? RgbFromQuad(src.colors[i]) : 0;
        lut_.push_back(dst.funcs->rgbToPixel(dst, rgb));
      }
    }
    buffer_.resize(static_cast<std::size_t>(std::max(src.width, dst.width)));
  }
  void Copy(int srcRow, int dstRow, int width, const BYTE* set = nullptr) {
    width = std::min({width, src_.width, dst_.width});
    if (raw_ && !set && src_.bpp == dst_.bpp) {
      CopyBits(src_.Row(srcRow), dst_.Row(dstRow), width, src_.bpp);
      return;
    }
    src_.funcs->getPixels(src_, srcRow, 0, width, buffer_.data());
    if (!raw_) {
      for (int i = 0; i < width; ++i) {
        DWORD v = buffer_[static_cast<std::size_t>(i)];
        if (src_.bpp <= 8) {
          v = lut_[v & ((1u << src_.bpp) - 1)];
        } else if (src_.bpp == 32 && dst_.bpp == 32 && dst_.masks[0] == 0xFF0000) {
          v = src_.funcs->pixelToRgb(src_, v);  // 32-bit to 32-bit keeps the alpha byte
        } else {
          v = dst_.funcs->rgbToPixel(dst_, src_.funcs->pixelToRgb(src_, v) & 0xFFFFFF);
        }
        buffer_[static_cast<std::size_t>(i)] = v;
      }
    }
    if (set) {
      old_.resize(static_cast<std::size_t>(width));
      dst_.funcs->getPixels(dst_, dstRow, 0, width, old_.data());
      for (int i = 0; i < width; ++i)
        if (!set[i]) buffer_[static_cast<std::size_t>(i)] = old_[static_cast<std::size_t>(i)];
    }
    dst_.funcs->putPixels(dst_, dstRow, 0, width, buffer_.data());
  }

 private:
  // The first `width` pixels of a row of the same format, bit for bit;
  // the bits after them in the last byte keep their value.
  static void CopyBits(const BYTE* src, BYTE* dst, int width, int bpp) {
    std::size_t bits = static_cast<std::size_t>(width) * static_cast<std::size_t>(bpp);
    std::size_t whole = bits / 8;
    std::memcpy(dst, src, whole);
    if (unsigned rest = bits % 8) {
      BYTE keep = static_cast<BYTE>(0xFFu >> rest);  // pixels fill a byte from its top bit
      dst[whole] = static_cast<BYTE>((dst[whole] & keep) | (src[whole] & ~keep));
    }
  }
  static bool sameColors(const Dib& a, const Dib& b) {
    return a.colors.size() == b.colors.size() &&
           std::equal(a.colors.begin(), a.colors.end(), b.colors.begin(), [](const RGBQUAD& x, const RGBQUAD& y) {
             return x.rgbRed == y.rgbRed && x.rgbGreen == y.rgbGreen && x.rgbBlue == y.rgbBlue;
           });
  }
  const Dib& src_;
  const Dib& dst_;
  bool raw_ = false;
  std::vector<DWORD> lut_;
  std::vector<DWORD> buffer_, old_;
};

// Writes scan lines [start, start + lines) of a DIB into a bitmap; start
// counts from the bottom of a bottom-up DIB. Returns the lines set.
int setBitmapRows(Bitmap& bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info, UINT usage,
                  const Palette* palette) {
  DibHeader header;
  if (!bits || !ParseDibHeader(info, SIZE_MAX, usage, palette, true, header)) return InvalidParameter();
  if (start >= static_cast<UINT>(header.height)) return 0;
  lines = std::min<UINT>(lines, static_cast<UINT>(header.height) - start);
  bool rle = header.compression == BI_RLE8 || header.compression == BI_RLE4;
  int h = bitmap.dib.height;
  // Scan line `scan` of the DIB: its row from the top and the bitmap's row.
  auto place = [&](UINT scan, int& dibRow, int& bitmapRow) {
    dibRow = header.topDown ? static_cast<int>(scan) : header.height - 1 - static_cast<int>(scan);
    bitmapRow = header.topDown ? static_cast<int>(scan) : h - 1 - static_cast<int>(scan);
  };
  if (rle) {
    // Decoded a row at a time into a one-row view; unset pixels keep the
    // bitmap's.
    RleImage image(static_cast<const BYTE*>(bits), header.sizeImage, header.compression == BI_RLE4, header.width,
                   header.height);
    Dib row = RleFormat(header);
    std::vector<BYTE> rowBits(Dib::StrideFor(header.width, 8));
    row.height = 1;
    row.top = rowBits.data();
    row.pitch = static_cast<std::ptrdiff_t>(rowBits.size());
    std::vector<DWORD> values(static_cast<std::size_t>(header.width));
    std::vector<BYTE> set(static_cast<std::size_t>(header.width));
    RowCopier copier(row, bitmap.dib, false);
    for (UINT i = 0; i < lines; ++i) {
      int dibRow, bitmapRow;
      place(start + i, dibRow, bitmapRow);
      if (bitmapRow < 0 || bitmapRow >= h) continue;
      image.DecodeRow(dibRow, 0, header.width, values.data(), set.data());
      row.funcs->putPixels(row, 0, 0, header.width, values.data());
      copier.Copy(0, bitmapRow, header.width, set.data());
    }
    return static_cast<int>(lines);
  }
  // The bits hold just the lines given.
  DibHeader part = header;
  part.height = static_cast<int>(lines);
  part.sizeImage = static_cast<DWORD>(header.stride * lines);
  Dib view;
  if (!MakeDibView(part, bits, part.sizeImage, view)) return 0;
  RowCopier copier(view, bitmap.dib, false);
  for (UINT i = 0; i < lines; ++i) {
    int dibRow, bitmapRow;
    place(start + i, dibRow, bitmapRow);
    if (bitmapRow < 0 || bitmapRow >= h) continue;
    copier.Copy(header.topDown ? static_cast<int>(i) : static_cast<int>(lines - 1 - i), bitmapRow, header.width);
  }
  return static_cast<int>(lines);
}

std::shared_ptr<Bitmap> selectedBitmap(HDC hdc) {
  auto dc = LookupDc(hdc);
  if (!dc) return nullptr;
  if (!dc->State().bitmap || dc->State().bitmapHandle == StockBitmapHandle() || !dc->State().bitmap->dibSection) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return dc->State().bitmap;
}

}  // namespace

namespace tw::gdi {
void FailNextBitmapCreations(int count) { g_failBitmaps.store(std::max(0, count)); }
}  // namespace tw::gdi

HBITMAP CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, CONST VOID* lpBits) {
  if (nWidth < 0 || nHeight < 0 || nPlanes != 1 || nBitCount == 0 || nBitCount > 32) {
    InvalidParameter();
    return nullptr;
  }
  if (nWidth == 0 || nHeight == 0) return static_cast<HBITMAP>(StockBitmapHandle());
  if (consumeFailure()) return nullptr;
  auto bitmap = makeDdb(nWidth, nHeight, supportedDepth(nBitCount));
  if (!bitmap) return nullptr;
  if (lpBits) {
    // Initial bits: device-dependent rows, top-down, padded to 16 bits.
    std::size_t rowBytes = (static_cast<std::size_t>(nWidth) * bitmap->dib.bpp + 15) / 16 * 2;
    std::size_t copy = std::min(rowBytes, bitmap->dib.Stride());
    for (int y = 0; y < nHeight; ++y)
      std::memcpy(bitmap->dib.Row(y), static_cast<const BYTE*>(lpBits) + rowBytes * static_cast<std::size_t>(y), copy);
  }
  return insertBitmap(bitmap);
}

HBITMAP CreateBitmapIndirect(CONST BITMAP* pbm) {
  if (!pbm) {
    InvalidParameter();
    return nullptr;
  }
  return CreateBitmap(pbm->bmWidth, pbm->bmHeight, pbm->bmPlanes, pbm->bmBitsPixel, pbm->bmBits);
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  auto dc = LookupDc(hdc);
  if (!dc) return nullptr;
  if (cx < 0 || cy < 0) {
    InvalidParameter();
    return nullptr;
  }
  if (cx == 0 || cy == 0) return static_cast<HBITMAP>(StockBitmapHandle());
  if (consumeFailure()) return nullptr;
  // A memory DC makes bitmaps like the one selected into it (monochrome
  // while it holds its default bitmap); other DCs like their device.
  if (dc->Kind() == DeviceKind::Memory) {
    if (dc->SurfaceIsMonoDdb()) return insertBitmap(makeDdb(cx, cy, 1));
    const Dib& sel = *dc->Surface();
    auto bitmap = Bitmap::MakeDdb(cx, cy, sel.bpp);
    if (!bitmap) return nullptr;
    if (sel.bpp == 16 || sel.bpp == 32) bitmap->dib.SetFormat(sel.bpp, sel.masks[0], sel.masks[1], sel.masks[2]);
    if (sel.bpp <= 8) bitmap->dib.colors = sel.colors;
    return insertBitmap(bitmap);
  }
  int bpp = dc->Caps().bitsPixel == 1 ? 1 : supportedDepth(static_cast<UINT>(dc->Caps().bitsPixel));
  return insertBitmap(makeDdb(cx, cy, bpp ? bpp : 32));
}

HBITMAP CreateDIBSection(HDC hdc, CONST BITMAPINFO* pbmi, UINT usage, VOID** ppvBits, HANDLE hSection,
                         DWORD offset) {
  if (ppvBits) *ppvBits = nullptr;
  std::shared_ptr<Dc> dc;
  if (hdc && !(dc = LookupDc(hdc))) return nullptr;
  if (usage == DIB_PAL_COLORS && !dc) {
    InvalidParameter();
    return nullptr;
  }
  if (hSection || offset) {
    SetLastError(ERROR_NOT_SUPPORTED);  // no file-mapping backed sections
    return nullptr;
  }
  DibHeader header;
  if (!ParseDibHeader(pbmi, SIZE_MAX, usage, dc ? dc->State().palette.get() : nullptr, false, header))
    return nullptr;
  if (pbmi->bmiHeader.biSize >= sizeof(BITMAPINFOHEADER) && pbmi->bmiHeader.biPlanes != 1) {
    InvalidParameter();
    return nullptr;
  }
  BITMAPINFOHEADER h{};
  if (pbmi->bmiHeader.biSize >= sizeof(BITMAPINFOHEADER)) std::memcpy(&h, pbmi, sizeof(h));
  auto bitmap = Bitmap::MakeDibSection(header.width, header.height, header.topDown, header.bpp, header.colors,
                                       header.masks, header.compression, h);
  if (!bitmap) return nullptr;
  BYTE* bits = bitmap->dib.TopDown() ? bitmap->dib.top : bitmap->dib.Row(header.height - 1);
  HBITMAP handle = insertBitmap(bitmap);
  if (handle && ppvBits) *ppvBits = bits;
  return handle;
}

HBITMAP CreateDIBitmap(HDC hdc, CONST BITMAPINFOHEADER* pbmih, DWORD flInit, CONST VOID* pjBits,
                       CONST BITMAPINFO* pbmi, UINT iUsage) {
  std::shared_ptr<Dc> dc;
  if (hdc && !(dc = LookupDc(hdc))) return nullptr;
  if (!pbmih) {
    InvalidParameter();
    return nullptr;
  }
  int width, height;
  if (pbmih->biSize == sizeof(BITMAPCOREHEADER)) {
    auto core = reinterpret_cast<const BITMAPCOREHEADER*>(pbmih);
    width = core->bcWidth;
    height = core->bcHeight;
  } else if (pbmih->biSize >= sizeof(BITMAPINFOHEADER)) {
    width = pbmih->biWidth;
    height = pbmih->biHeight < 0 ? -pbmih->biHeight : pbmih->biHeight;
  } else {
    InvalidParameter();
    return nullptr;
  }
  if (width < 0 || height < 0 || pbmih->biHeight == INT32_MIN) {
    InvalidParameter();
    return nullptr;
  }
  // A device-dependent bitmap in the format of the DC's device (of the
  // selected bitmap for a memory DC), as CreateCompatibleBitmap makes;
  // without a DC in the screen's format.
  HBITMAP handle;
  if (dc) {
    handle = CreateCompatibleBitmap(hdc, width, height);
  } else {
    HDC screen = GetDC(nullptr);
    handle = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
  }
  if (!handle) return nullptr;
  if ((flInit & CBM_INIT) && pjBits && pbmi && handle != StockBitmapHandle()) {
    auto bitmap = LookupObjectAs<Bitmap>(handle);
    DibHeader info;
    if (!ParseDibHeader(pbmi, SIZE_MAX, iUsage, dc ? dc->State().palette.get() : nullptr, true, info) ||
        setBitmapRows(*bitmap, 0, static_cast<UINT>(info.height), pjBits, pbmi, iUsage,
                      dc ? dc->State().palette.get() : nullptr) <= 0) {
      DeleteObject(handle);
      return nullptr;
    }
  }
  return handle;
}

int SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, CONST VOID* lpBits, CONST BITMAPINFO* lpbmi,
              UINT ColorUse) {
  std::shared_ptr<Dc> dc;
  if (hdc && !(dc = LookupDc(hdc))) return 0;
  auto bitmap = LookupObjectAs<Bitmap>(hbm);
  if (!bitmap) return 0;
  if (hbm == StockBitmapHandle()) return InvalidParameter();
  return setBitmapRows(*bitmap, start, cLines, lpBits, lpbmi, ColorUse, dc ? dc->State().palette.get() : nullptr);
}

int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi, UINT usage) {
  auto dc = LookupDc(hdc);
  if (!dc) return 0;
  auto bitmap = LookupObjectAs<Bitmap>(hbm);
  if (!bitmap) return 0;
  if (!lpbmi || (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS)) return InvalidParameter();
  BITMAPINFOHEADER& h = lpbmi->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER)) return InvalidParameter();  // core headers are not filled in here
  const Dib& src = bitmap->dib;

  if (h.biBitCount == 0) {
    // Describe the bitmap itself.
    if (lpvBits) return InvalidParameter();
    h.biWidth = src.width;
    h.biHeight = src.height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(src.bpp);
    h.biCompression = (src.bpp == 16 || src.bpp == 32) && src.masks[0] != (src.bpp == 16 ? 0x7C00u : 0xFF0000u)
                          ? BI_BITFIELDS
                          : BI_RGB;
    h.biSizeImage = static_cast<DWORD>(Dib::StrideFor(src.width, src.bpp) * src.height);
    h.biClrUsed = 0;
    h.biClrImportant = 0;
    return 1;
  }
  int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return InvalidParameter();
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32))) return InvalidParameter();
  int width = h.biWidth;
  if (width <= 0) return InvalidParameter();
  bool topDown = h.biHeight < 0;

  // The output format and its colour table (the bitmap's own for the same
  // depth, else GDI's default: entry 0 black, the last one white).
  Dib out;
  DWORD* masks = reinterpret_cast<DWORD*>(reinterpret_cast<BYTE*>(lpbmi) + h.biSize);
  if (h.biCompression == BI_BITFIELDS) {
    DWORD r = bpp == 16 ? 0xF800 : 0xFF0000, g = bpp == 16 ? 0x07E0 : 0x00FF00, b = bpp == 16 ? 0x001F : 0x0000FF;
    if (h.biSize == sizeof(BITMAPINFOHEADER)) {
      masks[0] = r;
      masks[1] = g;
      masks[2] = b;
    }
    out.SetFormat(bpp, r, g, b);
  } else {
    out.SetFormat(bpp);
  }
  if (bpp <= 8) {
    out.colors = src.bpp == bpp && !src.colors.empty() ? src.colors : DefaultColorTable(bpp);
    out.colors.resize(std::size_t{1} << bpp, RGBQUAD{0, 0, 0, 0});
    auto* table = reinterpret_cast<BYTE*>(lpbmi) + h.biSize;
    if (usage == DIB_PAL_COLORS) {
      for (std::size_t i = 0; i < out.colors.size(); ++i) {
        WORD index = static_cast<WORD>(i);
        std::memcpy(table + 2 * i, &index, 2);
      }
    } else {
      std::memcpy(table, out.colors.data(), out.colors.size() * sizeof(RGBQUAD));
    }
  }
  std::size_t stride = Dib::StrideFor(width, bpp);
  if (h.biSizeImage == 0 || !lpvBits) h.biSizeImage = static_cast<DWORD>(stride * static_cast<std::size_t>(std::abs(h.biHeight)));
  if (!lpvBits) return 1;  // header and colour table only

  if (start >= static_cast<UINT>(src.height)) return 0;
  UINT lines = std::min<UINT>(cLines, static_cast<UINT>(src.height) - start);
  out.width = width;
  out.height = static_cast<int>(lines);
  out.top = static_cast<BYTE*>(lpvBits);
  out.pitch = static_cast<std::ptrdiff_t>(stride);
  // A monochrome bitmap's bits are black 0 / white 1 already.
  RowCopier copier(src, out, bitmap->MonoDdb() && bpp == 1 && out.colors[0].rgbRed == 0 && out.colors[1].rgbRed == 255);
  if (width > src.width) std::memset(lpvBits, 0, stride * lines);
  for (UINT i = 0; i < lines; ++i) {
    UINT scan = start + i;
    int srcRow = topDown ? static_cast<int>(scan) : src.height - 1 - static_cast<int>(scan);
    // Buffer rows follow the requested orientation: row i in memory is
    // scan line start + i.
    copier.Copy(srcRow, static_cast<int>(i), width);
  }
  return static_cast<int>(lines);
}

LONG GetBitmapBits(HBITMAP hbit, LONG cb, LPVOID lpvBits) {
  auto bitmap = LookupObjectAs<Bitmap>(hbit);
  if (!bitmap) return 0;
  const Dib& d = bitmap->dib;
  std::size_t rowBytes = (static_cast<std::size_t>(d.width) * d.bpp + 15) / 16 * 2;
  std::size_t total = rowBytes * static_cast<std::size_t>(d.height);
  if (!lpvBits) return static_cast<LONG>(total);
  if (cb <= 0) return 0;
  std::size_t left = std::min<std::size_t>(static_cast<std::size_t>(cb), total);
  BYTE* out = static_cast<BYTE*>(lpvBits);
  for (int y = 0; y < d.height && left > 0; ++y) {
    std::size_t n = std::min(left, rowBytes);
    std::memcpy(out, d.Row(y), std::min(n, d.Stride()));
    out += n;
    left -= n;
  }
  return static_cast<LONG>(std::min<std::size_t>(static_cast<std::size_t>(cb), total));
}

LONG SetBitmapBits(HBITMAP hbm, DWORD cb, CONST VOID* pvBits) {
  auto bitmap = LookupObjectAs<Bitmap>(hbm);
  if (!bitmap) return 0;
  if (!pvBits || hbm == StockBitmapHandle()) return InvalidParameter();
  const Dib& d = bitmap->dib;
  std::size_t rowBytes = (static_cast<std::size_t>(d.width) * d.bpp + 15) / 16 * 2;
  std::size_t left = std::min<std::size_t>(cb, rowBytes * static_cast<std::size_t>(d.height));
  std::size_t done = left;
  const BYTE* in = static_cast<const BYTE*>(pvBits);
  for (int y = 0; y < d.height && left > 0; ++y) {
    std::size_t n = std::min(left, rowBytes);
    std::memcpy(d.Row(y), in, std::min(n, d.Stride()));
    in += n;
    left -= n;
  }
  return static_cast<LONG>(done);
}

BOOL GetBitmapDimensionEx(HBITMAP hbit, LPSIZE lpsize) {
  auto bitmap = LookupObjectAs<Bitmap>(hbit);
  if (!bitmap || !lpsize) return bitmap ? InvalidParameter() : FALSE;
  *lpsize = bitmap->dimension;
  return TRUE;
}

BOOL SetBitmapDimensionEx(HBITMAP hbm, int w, int h, LPSIZE lpsz) {
  auto bitmap = LookupObjectAs<Bitmap>(hbm);
  if (!bitmap) return FALSE;
  if (lpsz) *lpsz = bitmap->dimension;
  bitmap->dimension = {w, h};
  return TRUE;
}

UINT GetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, RGBQUAD* prgbq) {
  auto bitmap = selectedBitmap(hdc);
  if (!bitmap || !prgbq) return 0;
  const auto& colors = bitmap->dib.colors;
  if (bitmap->dib.bpp > 8 || iStart >= colors.size()) return 0;
  UINT n = std::min<UINT>(cEntries, static_cast<UINT>(colors.size()) - iStart);
  std::copy_n(colors.begin() + iStart, n, prgbq);
  return n;
}

UINT SetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, CONST RGBQUAD* prgbq) {
  auto bitmap = selectedBitmap(hdc);
  if (!bitmap || !prgbq) return 0;
  auto& colors = bitmap->dib.colors;
  if (bitmap->dib.bpp > 8 || iStart >= colors.size()) return 0;
  UINT n = std::min<UINT>(cEntries, static_cast<UINT>(colors.size()) - iStart);
  std::copy_n(prgbq, n, colors.begin() + iStart);
  return n;
}
