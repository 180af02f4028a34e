// Internal: the drawing objects behind HPEN, HBRUSH, HFONT and HPALETTE.
// Pens, brushes and fonts never change after creation, so any thread may
// read them without a lock; palettes guard their entries.
#pragma once
#include <mutex>
#include <vector>

#include "dib.h"
#include "objects.h"

namespace tw::gdi {

class Brush;

class Pen : public GdiObject {
 public:
  DWORD Type() const override { return extended ? OBJ_EXTPEN : OBJ_PEN; }
  int GetObjectData(int cb, void* pv) const override;

  int Style() const { return static_cast<int>(style & PS_STYLE_MASK); }
  bool Geometric() const { return (style & PS_TYPE_MASK) == PS_GEOMETRIC; }
  DWORD EndCap() const { return style & PS_ENDCAP_MASK; }
  DWORD Join() const { return style & PS_JOIN_MASK; }

  DWORD style = PS_SOLID;    // full style: type, end cap, join, line style
  DWORD width = 0;           // logical units; 0 (cosmetic) = one pixel
  COLORREF color = 0;
  bool extended = false;     // made by ExtCreatePen (OBJ_EXTPEN)
  UINT brushStyle = BS_SOLID;  // ExtCreatePen's brush
  ULONG_PTR hatch = 0;
  std::shared_ptr<const Brush> brush;  // geometric pens with a pattern brush
  std::vector<DWORD> styleEntries;     // PS_USERSTYLE dash lengths
  bool dcPen = false;                  // the DC_PEN stock object: colour from the DC
};

// A pattern brush's pixels: a packed DIB (header, colour table, bits) kept
// as the bytes a metafile record carries, and a Dib view over them.
struct BrushPattern {
  std::vector<BYTE> packedDib;
  UINT usage = DIB_RGB_COLORS;
  // From a monochrome bitmap (CreatePatternBrush of a mono DDB): drawn with
  // the DC's text colour for 0 bits and background colour for 1 bits.
  bool mono = false;
  Dib dib;
};

class Brush : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_BRUSH; }
  int GetObjectData(int cb, void* pv) const override;

  UINT style = BS_SOLID;  // BS_SOLID, BS_NULL, BS_HATCHED, BS_PATTERN, BS_DIBPATTERNPT
  COLORREF color = 0;
  ULONG_PTR hatch = 0;
  std::shared_ptr<const BrushPattern> pattern;
  bool dcBrush = false;  // the DC_BRUSH stock object: colour from the DC
};

class Font : public GdiObject {
 public:
  explicit Font(const LOGFONTW& lf) : logfont(lf) {}
  DWORD Type() const override { return OBJ_FONT; }
  int GetObjectData(int cb, void* pv) const override;
  const LOGFONTW logfont;
};

class Palette : public GdiObject {
 public:
  explicit Palette(std::vector<PALETTEENTRY> entries) : entries_(std::move(entries)) {}
  DWORD Type() const override { return OBJ_PAL; }
  int GetObjectData(int cb, void* pv) const override;  // WORD entry count

  std::vector<PALETTEENTRY> Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
  }
  void SetEntries(std::vector<PALETTEENTRY> entries) {
    std::lock_guard lock(mutex_);
    entries_ = std::move(entries);
  }
  // Nearest entry by squared RGB distance, lowest index on a tie;
  // CLR_INVALID for an empty palette.
  UINT NearestIndex(COLORREF color) const;

 private:
  mutable std::mutex mutex_;
  std::vector<PALETTEENTRY> entries_;
};

// Stock objects (made on first use, never deleted): the handle of stock
// object `index` (WHITE_BRUSH ... DC_PEN), null for an index without one.
HGDIOBJ StockHandle(int index);
// The default 1x1 monochrome bitmap every memory DC starts with.
HGDIOBJ StockBitmapHandle();

}  // namespace tw::gdi
