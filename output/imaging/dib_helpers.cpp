// Copies, the 32-to-24-bit conversion, palettes and the header arithmetic
// the other operations share.
#include <cstddef>
#include <cstring>
#include <vector>

#include "output/imaging/dib_access.h"
#include "output/imaging/dib_ops.h"

namespace tw::imaging {

DWORD GetDIBColorCount(LPCVOID lpbi) { return lpbi ? tw::dib::ColorCount(lpbi) : 0; }

DWORD GetDIBColorTableSize(LPCVOID lpbi) {
  if (!lpbi) return 0;
  DWORD headerSize;
  std::memcpy(&headerSize, lpbi, sizeof headerSize);
  return GetDIBColorCount(lpbi) * (headerSize == sizeof(BITMAPCOREHEADER) ? 3 : 4);
}

DWORD GetDIBRowBytes(LONG width, WORD bits) { return static_cast<DWORD>(tw::dib::RowBytes(width, bits)); }

std::optional<RECT> CropRectFromEdges(LONG width, LONG height, LONG left, LONG top, LONG rightEdge,
                                      LONG bottomEdge) {
  left = std::max<LONG>(left, 0);
  top = std::max<LONG>(top, 0);
  rightEdge = std::min(rightEdge, width);
  bottomEdge = std::min(bottomEdge, height);
  if (left >= rightEdge || top >= bottomEdge) return std::nullopt;
  return RECT{left, top, rightEdge - 1, bottomEdge - 1};
}

HGLOBAL CopyDIB(HGLOBAL hDIB) {
  tw::dib::BlockLock in(hDIB);
  if (!in.ok() || in.size() == 0) return nullptr;
  tw::dib::GlobalBlock out(GlobalAlloc(GMEM_MOVEABLE, in.size()));
  if (!out) return nullptr;
  {
    tw::dib::BlockLock target(out.get());
    if (!target.ok()) return nullptr;
    std::memcpy(target.data(), in.data(), in.size());
  }
  return out.release();
}

HGLOBAL Convert32To24(HGLOBAL hDIB) {
  SourceDib src(hDIB);
  if (!src.ok() || src.Bits() != 32 || !src.layout().PlainPixels()) return nullptr;
  const Layout& l = src.layout();
  TargetDib out(src.Header(), l.width, l.topDown ? -l.height : l.height, 24, l.colors);
  if (!out.ok()) return nullptr;
  std::span<const RGBQUAD> table = src.Table();
  std::memcpy(out.Table(), table.data(), table.size_bytes());
  for (LONG m = 0; m < l.height; ++m) {
    const BYTE* s = src.MemoryRow(m);
    BYTE* d = out.MemoryRow(m);
    for (LONG x = 0; x < l.width; ++x, s += 4, d += 3) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
  }
  return out.Release();
}

namespace {

HPALETTE PaletteOf(HGLOBAL hDIB) {
  tw::dib::BlockLock lock(hDIB);
  if (!lock.ok()) return nullptr;
  auto layout = tw::dib::ReadLayout(lock.bytes());
  if (!layout) return nullptr;
  DWORD count = layout->colors ? layout->colors : 256;
  std::vector<PALETTEENTRY> entries(count);
  const BYTE* table = lock.data() + layout->tableOffset;
  std::size_t entryBytes = layout->Core() ? sizeof(RGBTRIPLE) : sizeof(RGBQUAD);
  for (DWORD i = 0; i < count; ++i) {
    PALETTEENTRY& e = entries[i];
    if (layout->colors) {
      const BYTE* c = table + i * entryBytes;  // blue, green, red
      e = {c[2], c[1], c[0], 0};
    } else if (i == 255) {
      e = {255, 255, 255, 0};
    } else {
      e = {static_cast<BYTE>((i % 8) * 32), static_cast<BYTE>((i / 8 % 8) * 32), static_cast<BYTE>(i / 64 * 64), 0};
    }
  }
  // LOGPALETTE declares one entry; the others follow it in the same storage.
  std::vector<BYTE> storage(offsetof(LOGPALETTE, palPalEntry) + count * sizeof(PALETTEENTRY));
  const WORD header[2] = {0x300, static_cast<WORD>(count)};
  std::memcpy(storage.data(), header, sizeof header);
  std::memcpy(storage.data() + offsetof(LOGPALETTE, palPalEntry), entries.data(), count * sizeof(PALETTEENTRY));
  auto* pal = reinterpret_cast<const LOGPALETTE*>(storage.data());
  return CreatePalette(pal);
}

}  // namespace

HPALETTE CreateDIBPalette(HGLOBAL hDIB) {
  return NullOnNoMemory([&] { return PaletteOf(hDIB); });
}

}  // namespace tw::imaging
