// Playing the object records: pens, brushes, fonts and palettes made into
// the playback's handle table, selected and deleted by table index.
#include <cstring>
#include <vector>

#include "emf_playback.h"

namespace tw::emf {

HGDIOBJ SlotObject(const PlaybackContext& c, DWORD index) {
  if (index & ENHMETA_STOCK_OBJECT) {
    DWORD stock = index & ~ENHMETA_STOCK_OBJECT;
    if (stock > STOCK_LAST) return nullptr;
    return GetStockObject(static_cast<int>(stock));
  }
  if (index == 0 || index >= c.tableSize) return nullptr;  // slot 0 is the metafile itself
  return c.table->objectHandle[index];
}

bool StoreObject(PlaybackContext& c, DWORD index, HGDIOBJ object) {
  if (!object) return false;
  if (index == 0 || index >= c.tableSize) {
    DeleteObject(object);
    return false;
  }
  HGDIOBJ& slot = c.table->objectHandle[index];
  if (slot) DeleteObject(slot);  // a slot reused without EMR_DELETEOBJECT
  slot = object;
  return true;
}

namespace {

// A packed DIB (header, table, bits in one block) from a record's DIB.
std::vector<BYTE> packedDib(const DibRef& dib) {
  std::vector<BYTE> packed(size_t(dib.headerBytes) + dib.bitsSize);
  std::memcpy(packed.data(), dib.info, dib.headerBytes);
  std::memcpy(packed.data() + dib.headerBytes, dib.bits, dib.bitsSize);
  return packed;
}

PlayResult createMonoBrush(PlaybackContext& c, const RecordView& r) {
  auto* rec = r.As<EMRCREATEMONOBRUSH>();
  if (!rec) return PlayResult::Malformed;
  DibRef dib;
  if (PlayResult read = Result(ReadDib(r, rec->offBmi, rec->cbBmi, rec->offBits, rec->cbBits, dib, rec->iUsage));
      read != PlayResult::Ok)
    return read;
  if (dib.bitCount != 1) return PlayResult::Failed;
  // A monochrome pattern takes the DC's text and background colours, so it
  // becomes a pattern brush over a monochrome bitmap.
  HBITMAP bitmap = CreateBitmap(dib.width, dib.height < 0 ? -dib.height : dib.height, 1, 1, nullptr);
  if (!bitmap) return PlayResult::Failed;
  HBRUSH brush = nullptr;
  if (SetDIBits(c.hdc, bitmap, 0, UINT(dib.height < 0 ? -dib.height : dib.height), dib.bits, dib.info,
                DIB_RGB_COLORS) != 0)
    brush = CreatePatternBrush(bitmap);
  DeleteObject(bitmap);
  return Result(StoreObject(c, rec->ihBrush, brush));
}

PlayResult createDibBrush(PlaybackContext& c, const RecordView& r) {
  auto* rec = r.As<EMRCREATEDIBPATTERNBRUSHPT>();
  if (!rec) return PlayResult::Malformed;
  DibRef dib;
  if (PlayResult read = Result(ReadDib(r, rec->offBmi, rec->cbBmi, rec->offBits, rec->cbBits, dib, rec->iUsage));
      read != PlayResult::Ok)
    return read;
  std::vector<BYTE> packed = packedDib(dib);
  return Result(StoreObject(c, rec->ihBrush, CreateDIBPatternBrushPt(packed.data(), rec->iUsage)));
}

PlayResult extCreatePen(PlaybackContext& c, const RecordView& r) {
  auto* rec = r.AsAtLeast<EMREXTCREATEPEN>(offsetof(EMREXTCREATEPEN, elp.elpStyleEntry));
  if (!rec) return PlayResult::Malformed;
  const EXTLOGPEN32& elp = rec->elp;
  bool ok = true;
  auto styles = r.Array<DWORD>(offsetof(EMREXTCREATEPEN, elp.elpStyleEntry), elp.elpNumEntries, ok);
  if (!ok) return PlayResult::Malformed;
  LOGBRUSH lb{elp.elpBrushStyle, elp.elpColor, elp.elpHatch};
  std::vector<BYTE> packed;
  if (elp.elpBrushStyle == BS_DIBPATTERN || elp.elpBrushStyle == BS_DIBPATTERNPT ||
      elp.elpBrushStyle == BS_PATTERN) {
    DibRef dib;
    if (PlayResult read = Result(ReadDib(r, rec->offBmi, rec->cbBmi, rec->offBits, rec->cbBits, dib, DIB_RGB_COLORS));
        read != PlayResult::Ok)
      return read;
    packed = packedDib(dib);
    lb.lbStyle = BS_DIBPATTERNPT;
    lb.lbColor = DIB_RGB_COLORS;
    lb.lbHatch = reinterpret_cast<ULONG_PTR>(packed.data());
  }
  DWORD style = elp.elpPenStyle;
  bool user = (style & PS_STYLE_MASK) == PS_USERSTYLE;
  HPEN pen = ExtCreatePen(style, elp.elpWidth, &lb, user ? DWORD(styles.size()) : 0, user ? styles.data() : nullptr);
  if (!pen && user) {
    // A damaged dash pattern still draws the line, solid.
    pen = ExtCreatePen((style & ~PS_STYLE_MASK) | PS_SOLID, elp.elpWidth, &lb, 0, nullptr);
  }
  return Result(StoreObject(c, rec->ihPen, pen));
}

PlayResult createPalette(PlaybackContext& c, const RecordView& r) {
  auto* rec = r.AsAtLeast<EMRCREATEPALETTE>(offsetof(EMRCREATEPALETTE, lgpl.palPalEntry));
  if (!rec) return PlayResult::Malformed;
  bool ok = true;
  auto entries = r.Array<PALETTEENTRY>(offsetof(EMRCREATEPALETTE, lgpl.palPalEntry), rec->lgpl.palNumEntries, ok);
  if (!ok) return PlayResult::Malformed;
  if (entries.empty()) return PlayResult::Failed;
  std::vector<BYTE> block(offsetof(LOGPALETTE, palPalEntry) + entries.size_bytes());
  auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = rec->lgpl.palNumEntries;
  std::memcpy(lp->palPalEntry, entries.data(), entries.size_bytes());
  return Result(StoreObject(c, rec->ihPal, CreatePalette(lp)));
}

}  // namespace

PlayResult PlayObjectRecord(PlaybackContext& c, const RecordView& r, bool& handled) {
  handled = true;
  switch (r.Type()) {
    case EMR_CREATEPEN: {
      auto* rec = r.As<EMRCREATEPEN>();
      if (!rec) return PlayResult::Malformed;
      return Result(StoreObject(c, rec->ihPen, CreatePenIndirect(&rec->lopn)));
    }
    case EMR_EXTCREATEPEN:
      return extCreatePen(c, r);
    case EMR_CREATEBRUSHINDIRECT: {
      auto* rec = r.As<EMRCREATEBRUSHINDIRECT>();
      if (!rec) return PlayResult::Malformed;
      UINT style = rec->lb.lbStyle;
      // Only solid, hatched and hollow brushes are stored this way; pattern
      // brushes have their own records.
      if (style != BS_SOLID && style != BS_HATCHED && style != BS_NULL) style = BS_SOLID;
      LOGBRUSH lb{style, rec->lb.lbColor, rec->lb.lbHatch};
      return Result(StoreObject(c, rec->ihBrush, CreateBrushIndirect(&lb)));
    }
    case EMR_CREATEMONOBRUSH:
      return createMonoBrush(c, r);
    case EMR_CREATEDIBPATTERNBRUSHPT:
      return createDibBrush(c, r);
    case EMR_EXTCREATEFONTINDIRECTW: {
      // Only the leading LOGFONTW is read: the record holds it alone (104
      // bytes) or at the start of a longer font description.
      auto* rec = r.AsAtLeast<EMREXTCREATEFONTINDIRECTW>(EMR_EXTCREATEFONTINDIRECTW_MIN_SIZE);
      if (!rec) return PlayResult::Malformed;
      LOGFONTW lf;
      std::memcpy(&lf, &rec->elfw.elfLogFont, sizeof(lf));
      lf.lfFaceName[LF_FACESIZE - 1] = 0;
      return Result(StoreObject(c, rec->ihFont, CreateFontIndirectW(&lf)));
    }
    case EMR_CREATEPALETTE:
      return createPalette(c, r);
    case EMR_SELECTOBJECT: {
      auto* rec = r.As<EMRSELECTOBJECT>();
      if (!rec) return PlayResult::Malformed;
      HGDIOBJ object = SlotObject(c, rec->ihObject);
      if (!object) return PlayResult::Failed;
      if (GetObjectType(object) == OBJ_PAL) return Result(SelectPalette(c.hdc, HPALETTE(object), FALSE) != nullptr);
      return Result(SelectObject(c.hdc, object) != nullptr);
    }
    case EMR_DELETEOBJECT: {
      auto* rec = r.As<EMRDELETEOBJECT>();
      if (!rec) return PlayResult::Malformed;
      DWORD index = rec->ihObject;
      if (index == 0 || index >= c.tableSize || (index & ENHMETA_STOCK_OBJECT)) return PlayResult::Failed;
      HGDIOBJ& slot = c.table->objectHandle[index];
      if (!slot) return PlayResult::Failed;
      BOOL ok = DeleteObject(slot);
      slot = nullptr;
      return Result(ok);
    }
    case EMR_SELECTPALETTE: {
      auto* rec = r.As<EMRSELECTPALETTE>();
      if (!rec) return PlayResult::Malformed;
      HGDIOBJ pal = SlotObject(c, rec->ihPal);
      if (!pal) return PlayResult::Failed;
      return Result(SelectPalette(c.hdc, HPALETTE(pal), TRUE) != nullptr);
    }
    case EMR_REALIZEPALETTE:
      return Result(RealizePalette(c.hdc) != GDI_ERROR);
    case EMR_SETPALETTEENTRIES: {
      auto* rec = r.AsAtLeast<EMRSETPALETTEENTRIES>(offsetof(EMRSETPALETTEENTRIES, aPalEntries));
      if (!rec) return PlayResult::Malformed;
      bool ok = true;
      auto entries = r.Array<PALETTEENTRY>(offsetof(EMRSETPALETTEENTRIES, aPalEntries), rec->cEntries, ok);
      if (!ok) return PlayResult::Malformed;
      HGDIOBJ pal = SlotObject(c, rec->ihPal);
      if (!pal || entries.empty()) return PlayResult::Failed;
      return Result(SetPaletteEntries(HPALETTE(pal), rec->iStart, UINT(entries.size()), entries.data()) != 0);
    }
    case EMR_RESIZEPALETTE: {
      auto* rec = r.As<EMRRESIZEPALETTE>();
      if (!rec) return PlayResult::Malformed;
      HGDIOBJ pal = SlotObject(c, rec->ihPal);
      if (!pal) return PlayResult::Failed;
      return Result(ResizePalette(HPALETTE(pal), rec->cEntries));
    }
    default:
      handled = false;
      return PlayResult::Ok;
  }
}

}  // namespace tw::emf
