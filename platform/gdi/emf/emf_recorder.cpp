// The recorder: state records, objects and their handle slots, drawing
// records with their bounds, and the header written at the end.
#include "emf_recorder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "winerror.h"

namespace tw::emf {

using tw::gdi::Dc;

namespace {

constexpr std::uint64_t kDcColorSerial = ~std::uint64_t(0);  // marks the DC_BRUSH/DC_PEN stand-in slots

// Half a pen's width, the ink beyond the geometry (bounded, so a huge pen
// cannot overflow the bounds arithmetic).
LONG penExtent(double width) {
  if (!(width > 1)) return 0;
  return static_cast<LONG>(std::min(std::ceil(width / 2), 1e8));
}

LONG clampToLong(double v) {
  if (!(v > -1e9)) return -1000000000;
  if (v > 1e9) return 1000000000;
  return static_cast<LONG>(std::floor(v + 0.5));
}

// The header part (header, masks, colour table) of a packed DIB.
size_t packedHeaderSize(const std::vector<BYTE>& packed, UINT usage) {
  if (packed.size() < sizeof(BITMAPINFOHEADER)) return packed.size();
  BITMAPINFOHEADER h;
  std::memcpy(&h, packed.data(), sizeof(h));
  size_t colors = h.biClrUsed;
  if (colors == 0 && h.biBitCount <= 8 && h.biBitCount != 0) colors = size_t(1) << h.biBitCount;
  size_t masks = (h.biCompression == BI_BITFIELDS && h.biSize == sizeof(BITMAPINFOHEADER)) ? 12 : 0;
  size_t size = h.biSize + masks + colors * (usage == DIB_PAL_COLORS ? 2 : 4);
  return std::min(size, packed.size());
}

// Writes a record whose head is followed by a DIB (header part, then bits),
// filling the four offset/size fields of the head.
struct DibFields {
  DWORD* offBmi;
  DWORD* cbBmi;
  DWORD* offBits;
  DWORD* cbBits;
};

void placeDib(size_t headSize, size_t extraBefore, std::span<const BYTE> info, std::span<const BYTE> bits,
              DibFields f) {
  size_t at = headSize + extraBefore;
  *f.offBmi = info.empty() ? 0 : static_cast<DWORD>(at);
  *f.cbBmi = static_cast<DWORD>(info.size());
  at += (info.size() + 3) / 4 * 4;
  *f.offBits = bits.empty() ? 0 : static_cast<DWORD>(at);
  *f.cbBits = static_cast<DWORD>(bits.size());
}

}  // namespace

EmfRecorder::EmfRecorder(const RECT* frame, std::u16string description, std::filesystem::path file)
    : description_(std::move(description)), file_(std::move(file)) {
  if (frame) frame_ = *frame;
}

// ---- helpers --------------------------------------------------------------

void EmfRecorder::Simple(DWORD type) { writer_.Fixed(type, EMRABORTPATH{}); }

void EmfRecorder::Pair(DWORD type, LONG a, LONG b) {
  EMRLINETO r{};  // the layout of every record holding one POINTL or SIZEL
  r.ptl = {a, b};
  writer_.Fixed(type, r);
}

void EmfRecorder::Dword(DWORD type, DWORD value) {
  EMRSELECTOBJECT r{};
  r.ihObject = value;
  writer_.Fixed(type, r);
}

bool EmfRecorder::PenVisible(Dc& dc) const {
  const auto& pen = dc.State().pen;
  return pen && pen->Style() != PS_NULL;
}

bool EmfRecorder::BrushVisible(Dc& dc) const {
  const auto& brush = dc.State().brush;
  return brush && brush->style != BS_NULL;
}

RECTL EmfRecorder::PointsBounds(Dc& dc, std::span<const POINT> points, bool withPen, bool exclusiveEdges) {
  if (points.empty()) return {0, 0, -1, -1};
  double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
  for (const POINT& p : points) {
    double x, y;
    dc.ToDevice(p.x, p.y, x, y);
    minX = std::min(minX, x);
    maxX = std::max(maxX, x);
    minY = std::min(minY, y);
    maxY = std::max(maxY, y);
  }
  RECTL r{clampToLong(minX), clampToLong(minY), clampToLong(maxX), clampToLong(maxY)};
  bool pen = withPen && PenVisible(dc);
  if (pen) {
    // A wide pen inks half its width on each side of the geometry.
    LONG e = penExtent(dc.PenWidthDevice());
    r = {r.left - e, r.top - e, r.right + e, r.bottom + e};
  } else if (exclusiveEdges) {
    r.right -= 1;  // a fill alone leaves the right and bottom edges out
    r.bottom -= 1;
  }
  return r;
}

RECTL EmfRecorder::RecordedBox(Dc& dc, const RECT& box) const {
  RECTL r{std::min(box.left, box.right), std::min(box.top, box.bottom), std::max(box.left, box.right),
          std::max(box.top, box.bottom)};
  if (dc.State().graphicsMode == GM_COMPATIBLE) {
    r.right -= 1;  // kept inclusive in the record, as GDI draws it in the compatible mode
    r.bottom -= 1;
  }
  return r;
}

RECTL EmfRecorder::BoxBounds(Dc& dc, const RECT& box, bool withPen) {
  RECTL b = RecordedBox(dc, box);
  POINT corners[4] = {{b.left, b.top}, {b.right, b.top}, {b.left, b.bottom}, {b.right, b.bottom}};
  RECTL r = PointsBounds(dc, corners, false, false);
  const auto& pen = dc.State().pen;
  if (withPen && pen && pen->Style() != PS_NULL && pen->Style() != PS_INSIDEFRAME) {
    LONG e = penExtent(dc.PenWidthDevice());
    r = {r.left - e, r.top - e, r.right + e, r.bottom + e};
  }
  return r;
}

RECTL EmfRecorder::Ink(Dc& dc, RECTL bounds) {
  if (bounds.right < bounds.left || bounds.bottom < bounds.top) return {0, 0, -1, -1};
  const auto& state = dc.State();
  auto clipTo = [&](const tw::gdi::RegionData& region) {
    RECT c = region.Bounds();  // right/bottom exclusive
    bounds.left = std::max(bounds.left, c.left);
    bounds.top = std::max(bounds.top, c.top);
    bounds.right = std::min(bounds.right, c.right - 1);
    bounds.bottom = std::min(bounds.bottom, c.bottom - 1);
  };
  if (state.clip) clipTo(*state.clip);
  if (state.meta) clipTo(*state.meta);
  if (bounds.right < bounds.left || bounds.bottom < bounds.top) return {0, 0, -1, -1};
  (pathOpen_ ? pathBounds_ : bounds_).Add(bounds);
  return bounds;
}

void EmfRecorder::PolyRecord(Dc&, DWORD type, std::span<const POINT> points, const RECTL& bounds) {
  bool small = std::all_of(points.begin(), points.end(), [](const POINT& p) {
    return p.x >= SHRT_MIN && p.x <= SHRT_MAX && p.y >= SHRT_MIN && p.y <= SHRT_MAX;
  });
  EMRPOLYLINE head{};
  head.rclBounds = bounds;
  head.cptl = static_cast<DWORD>(points.size());
  if (small) {
    // The 16-bit forms (85..89) follow the 32-bit ones (2..6) in order.
    size_t start = writer_.Begin(type + (EMR_POLYBEZIER16 - EMR_POLYBEZIER), &head, offsetof(EMRPOLYLINE, aptl));
    for (const POINT& p : points) {
      POINTS s{SHORT(p.x), SHORT(p.y)};
      writer_.Append(&s, sizeof(s));
    }
    writer_.End(start);
  } else {
    size_t start = writer_.Begin(type, &head, offsetof(EMRPOLYLINE, aptl));
    writer_.Append(points.data(), points.size_bytes());
    writer_.End(start);
  }
}

bool EmfRecorder::Poly(Dc& dc, DWORD type, std::span<const POINT> points, bool fill, bool fromCurrent) {
  std::lock_guard lock(mutex_);
  std::vector<POINT> all;
  std::span<const POINT> used = points;
  if (fromCurrent) {
    all.reserve(points.size() + 1);
    all.push_back(dc.State().currentPos);
    all.insert(all.end(), points.begin(), points.end());
    used = all;
  }
  RECTL bounds = Ink(dc, PointsBounds(dc, used, true, fill));
  PolyRecord(dc, type, points, bounds);
  return true;
}

bool EmfRecorder::ArcRecord(Dc& dc, DWORD type, const RECT& box, POINT start, POINT end) {
  std::lock_guard lock(mutex_);
  RECTL bounds = BoxBounds(dc, box, true);
  if (type == EMR_ARCTO) {
    // ArcTo also draws the line from the current position.
    POINT cp = dc.State().currentPos;
    RECTL line = PointsBounds(dc, std::span<const POINT>(&cp, 1), true, false);
    bounds = {std::min(bounds.left, line.left), std::min(bounds.top, line.top), std::max(bounds.right, line.right),
              std::max(bounds.bottom, line.bottom)};
  }
  EMRARC r{};
  r.rclBox = RecordedBox(dc, box);
  r.ptlStart = {start.x, start.y};
  r.ptlEnd = {end.x, end.y};
  Ink(dc, bounds);
  writer_.Fixed(type, r);
  return true;
}

// ---- state ----------------------------------------------------------------

bool EmfRecorder::SaveDC(Dc&) {
  std::lock_guard lock(mutex_);
  Simple(EMR_SAVEDC);
  return true;
}

bool EmfRecorder::RestoreDC(Dc& dc, int savedDc) {
  std::lock_guard lock(mutex_);
  // The record holds a relative level; an absolute one becomes relative.
  int relative = savedDc;
  if (savedDc > 0) relative = savedDc - dc.SaveLevel() - 1;
  if (relative >= 0 || -relative > dc.SaveLevel()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  EMRRESTOREDC r{};
  r.iRelative = relative;
  writer_.Fixed(EMR_RESTOREDC, r);
  return true;
}

bool EmfRecorder::SetMapMode(Dc&, int mode) {
  std::lock_guard lock(mutex_);
  Dword(EMR_SETMAPMODE, DWORD(mode));
  return true;
}

bool EmfRecorder::SetWindowOrgEx(Dc&, int x, int y) {
  std::lock_guard lock(mutex_);
  Pair(EMR_SETWINDOWORGEX, x, y);
  return true;
}

bool EmfRecorder::SetWindowExtEx(Dc&, int cx, int cy) {
  std::lock_guard lock(mutex_);
  Pair(EMR_SETWINDOWEXTEX, cx, cy);
  return true;
}

bool EmfRecorder::SetViewportOrgEx(Dc&, int x, int y) {
  std::lock_guard lock(mutex_);
  Pair(EMR_SETVIEWPORTORGEX, x, y);
  return true;
}

bool EmfRecorder::SetViewportExtEx(Dc&, int cx, int cy) {
  std::lock_guard lock(mutex_);
  Pair(EMR_SETVIEWPORTEXTEX, cx, cy);
  return true;
}

bool EmfRecorder::ScaleWindowExtEx(Dc&, int xNum, int xDenom, int yNum, int yDenom) {
  std::lock_guard lock(mutex_);
  writer_.Fixed(EMR_SCALEWINDOWEXTEX, EMRSCALEVIEWPORTEXTEX{{}, xNum, xDenom, yNum, yDenom});
  return true;
}

bool EmfRecorder::ScaleViewportExtEx(Dc&, int xNum, int xDenom, int yNum, int yDenom) {
  std::lock_guard lock(mutex_);
  writer_.Fixed(EMR_SCALEVIEWPORTEXTEX, EMRSCALEVIEWPORTEXTEX{{}, xNum, xDenom, yNum, yDenom});
  return true;
}

bool EmfRecorder::SetWorldTransform(Dc&, const XFORM& xform) {
  std::lock_guard lock(mutex_);
  EMRSETWORLDTRANSFORM r{};
  r.xform = xform;
  writer_.Fixed(EMR_SETWORLDTRANSFORM, r);
  return true;
}

bool EmfRecorder::ModifyWorldTransform(Dc&, const XFORM& xform, DWORD mode) {
  std::lock_guard lock(mutex_);
  EMRMODIFYWORLDTRANSFORM r{};
  r.xform = xform;
  r.iMode = mode;
  writer_.Fixed(EMR_MODIFYWORLDTRANSFORM, r);
  return true;
}

bool EmfRecorder::SetBkMode(Dc&, int mode) {
  std::lock_guard lock(mutex_);
  Dword(EMR_SETBKMODE, DWORD(mode));
  return true;
}

bool EmfRecorder::SetBkColor(Dc&, COLORREF color) {
  std::lock_guard lock(mutex_);
  Dword(EMR_SETBKCOLOR, color);
  return true;
}

bool EmfRecorder::SetTextColor(Dc&, COLORREF color) {
  std::lock_guard lock(mutex_);
  Dword(EMR_SETTEXTCOLOR, color);
  return true;
}

bool EmfRecorder::SetTextAlign(Dc&, UINT align) {
  std::lock_guard lock(mutex_);
  Dword(EMR_SETTEXTALIGN, align);
  return true;
}

bool EmfRecorder::SetROP2(Dc&, int rop2) {
  std::lock_guard lock(mutex_);
  Dword(EMR_SETROP2, DWORD(rop2));
  return true;
}

bool EmfRecorder::SetPolyFillMode(Dc&, int mode) {
  std::lock_guard lock(mutex_);
  Dword(EMR_SETPOLYFILLMODE, DWORD(mode));
  return true;
}

bool EmfRecorder::SetStretchBltMode(Dc&, int mode) {
  std::lock_guard lock(mutex_);
  Dword(EMR_SETSTRETCHBLTMODE, DWORD(mode));
  return true;
}

bool EmfRecorder::SetBrushOrgEx(Dc&, int x, int y) {
  std::lock_guard lock(mutex_);
  Pair(EMR_SETBRUSHORGEX, x, y);
  return true;
}

bool EmfRecorder::SetMiterLimit(Dc&, FLOAT limit) {
  std::lock_guard lock(mutex_);
  EMRSETMITERLIMIT r{};
  r.eMiterLimit = limit;
  writer_.Fixed(EMR_SETMITERLIMIT, r);
  return true;
}

bool EmfRecorder::SetArcDirection(Dc&, int direction) {
  std::lock_guard lock(mutex_);
  Dword(EMR_SETARCDIRECTION, DWORD(direction));
  return true;
}

bool EmfRecorder::SetMapperFlags(Dc&, DWORD flags) {
  std::lock_guard lock(mutex_);
  Dword(EMR_SETMAPPERFLAGS, flags);
  return true;
}

bool EmfRecorder::SetLayout(Dc&, DWORD layout) {
  std::lock_guard lock(mutex_);
  Dword(EMR_SETLAYOUT, layout);
  return true;
}

bool EmfRecorder::SetICMMode(Dc&, int mode) {
  std::lock_guard lock(mutex_);
  Dword(EMR_SETICMMODE, DWORD(mode));
  return true;
}

bool EmfRecorder::SetColorAdjustment(Dc&, const COLORADJUSTMENT& adjustment) {
  std::lock_guard lock(mutex_);
  EMRSETCOLORADJUSTMENT r{};
  r.ColorAdjustment = adjustment;
  writer_.Fixed(EMR_SETCOLORADJUSTMENT, r);
  return true;
}

bool EmfRecorder::SetTextJustification(Dc&, int extra, int count) {
  std::lock_guard lock(mutex_);
  EMRSETTEXTJUSTIFICATION r{};
  r.nBreakExtra = extra;
  r.nBreakCount = count;
  writer_.Fixed(EMR_SETTEXTJUSTIFICATION, r);
  return true;
}

bool EmfRecorder::SetDCBrushColor(Dc& dc, COLORREF color) {
  std::lock_guard lock(mutex_);
  if (!dcBrushSelected_) return true;  // nothing recorded until DC_BRUSH is in use
  dc.State().dcBrushColor = color;     // the new colour is what the stand-in brush must carry
  return SelectDcColorObject(dc, true);
}

bool EmfRecorder::SetDCPenColor(Dc& dc, COLORREF color) {
  std::lock_guard lock(mutex_);
  if (!dcPenSelected_) return true;
  dc.State().dcPenColor = color;
  return SelectDcColorObject(dc, false);
}

bool EmfRecorder::MoveToEx(Dc&, int x, int y) {
  std::lock_guard lock(mutex_);
  Pair(EMR_MOVETOEX, x, y);
  return true;
}

// ---- objects ----------------------------------------------------------------

DWORD EmfRecorder::FreeSlot() {
  for (DWORD i = 1; i < slots_.size(); ++i)
    if (slots_[i] == 0) return i;
  slots_.push_back(0);
  return static_cast<DWORD>(slots_.size() - 1);
}

bool EmfRecorder::WritePen(DWORD slot, const tw::gdi::Pen& pen) {
  if (!pen.extended) {
    EMRCREATEPEN r{};
    r.ihPen = slot;
    r.lopn.lopnStyle = pen.style;
    r.lopn.lopnWidth = {LONG(pen.width), 0};
    r.lopn.lopnColor = pen.color;
    writer_.Fixed(EMR_CREATEPEN, r);
    return true;
  }
  EMREXTCREATEPEN head{};
  head.ihPen = slot;
  head.elp.elpPenStyle = pen.style;
  head.elp.elpWidth = pen.width;
  head.elp.elpBrushStyle = pen.brushStyle;
  head.elp.elpColor = pen.color;
  head.elp.elpHatch = static_cast<ULONG>(pen.hatch);
  head.elp.elpNumEntries = static_cast<DWORD>(pen.styleEntries.size());
  const size_t headSize = offsetof(EMREXTCREATEPEN, elp.elpStyleEntry);
  std::span<const BYTE> info, bits;
  if (pen.brush && pen.brush->pattern) {
    const auto& packed = pen.brush->pattern->packedDib;
    size_t h = packedHeaderSize(packed, pen.brush->pattern->usage);
    info = {packed.data(), h};
    bits = {packed.data() + h, packed.size() - h};
    head.elp.elpBrushStyle = BS_DIBPATTERNPT;
    head.elp.elpColor = pen.brush->pattern->usage;
    head.elp.elpHatch = 0;
  }
  placeDib(headSize, pen.styleEntries.size() * 4, info, bits, {&head.offBmi, &head.cbBmi, &head.offBits, &head.cbBits});
  size_t start = writer_.Begin(EMR_EXTCREATEPEN, &head, headSize);
  writer_.Append(pen.styleEntries.data(), pen.styleEntries.size() * 4);
  writer_.Append(info.data(), info.size());
  writer_.Pad();
  writer_.Append(bits.data(), bits.size());
  writer_.End(start);
  return true;
}

bool EmfRecorder::WriteBrush(DWORD slot, const tw::gdi::Brush& brush) {
  if (!brush.pattern) {
    EMRCREATEBRUSHINDIRECT r{};
    r.ihBrush = slot;
    r.lb.lbStyle = brush.style == BS_NULL || brush.style == BS_HATCHED ? brush.style : BS_SOLID;
    r.lb.lbColor = brush.color;
    r.lb.lbHatch = static_cast<ULONG>(brush.hatch);
    writer_.Fixed(EMR_CREATEBRUSHINDIRECT, r);
    return true;
  }
  const tw::gdi::BrushPattern& pattern = *brush.pattern;
  size_t h = packedHeaderSize(pattern.packedDib, pattern.usage);
  std::span<const BYTE> info{pattern.packedDib.data(), h};
  std::span<const BYTE> bits{pattern.packedDib.data() + h, pattern.packedDib.size() - h};
  EMRCREATEDIBPATTERNBRUSHPT head{};
  head.ihBrush = slot;
  head.iUsage = pattern.usage;
  placeDib(sizeof(head), 0, info, bits, {&head.offBmi, &head.cbBmi, &head.offBits, &head.cbBits});
  // A monochrome pattern takes the DC's colours when drawn: its own record.
  size_t start = writer_.Begin(pattern.mono ? EMR_CREATEMONOBRUSH : EMR_CREATEDIBPATTERNBRUSHPT, &head, sizeof(head));
  writer_.Append(info.data(), info.size());
  writer_.Pad();
  writer_.Append(bits.data(), bits.size());
  writer_.End(start);
  return true;
}

bool EmfRecorder::WriteFont(DWORD slot, const tw::gdi::Font& font) {
  EMREXTCREATEFONTINDIRECTW r{};
  r.ihFont = slot;
  std::memcpy(&r.elfw.elfLogFont, &font.logfont, sizeof(LOGFONTW));
  writer_.Fixed(EMR_EXTCREATEFONTINDIRECTW, r);
  return true;
}

bool EmfRecorder::WritePalette(DWORD slot, const tw::gdi::Palette& palette) {
  std::vector<PALETTEENTRY> entries = palette.Entries();
  if (entries.empty() || entries.size() > 0xFFFF) return false;
  EMRCREATEPALETTE head{};
  head.ihPal = slot;
  head.lgpl.palVersion = 0x300;
  head.lgpl.palNumEntries = static_cast<WORD>(entries.size());
  size_t start = writer_.Begin(EMR_CREATEPALETTE, &head, offsetof(EMRCREATEPALETTE, lgpl.palPalEntry));
  writer_.Append(entries.data(), entries.size() * sizeof(PALETTEENTRY));
  writer_.End(start);
  return true;
}

DWORD EmfRecorder::SlotFor(Dc&, const tw::gdi::GdiObject& object) {
  auto it = slotOf_.find(object.Serial());
  if (it != slotOf_.end()) return it->second;
  DWORD slot = FreeSlot();
  bool written = false;
  switch (object.Type()) {
    case OBJ_PEN:
    case OBJ_EXTPEN:
      written = WritePen(slot, static_cast<const tw::gdi::Pen&>(object));
      break;
    case OBJ_BRUSH:
      written = WriteBrush(slot, static_cast<const tw::gdi::Brush&>(object));
      break;
    case OBJ_FONT:
      written = WriteFont(slot, static_cast<const tw::gdi::Font&>(object));
      break;
    case OBJ_PAL:
      written = WritePalette(slot, static_cast<const tw::gdi::Palette&>(object));
      break;
    default:
      break;
  }
  if (!written) return 0;
  slots_[slot] = object.Serial();
  slotOf_[object.Serial()] = slot;
  return slot;
}

bool EmfRecorder::SelectDcColorObject(Dc& dc, bool brush) {
  DWORD& slot = brush ? dcBrushSlot_ : dcPenSlot_;
  if (slot == 0) {
    slot = FreeSlot();
    slots_[slot] = kDcColorSerial;
  }
  if (brush) {
    EMRCREATEBRUSHINDIRECT r{};
    r.ihBrush = slot;
    r.lb = {BS_SOLID, dc.State().dcBrushColor, 0};
    writer_.Fixed(EMR_CREATEBRUSHINDIRECT, r);
  } else {
    EMRCREATEPEN r{};
    r.ihPen = slot;
    r.lopn = {PS_SOLID, {0, 0}, dc.State().dcPenColor};
    writer_.Fixed(EMR_CREATEPEN, r);
  }
  Dword(EMR_SELECTOBJECT, slot);
  return true;
}

bool EmfRecorder::SelectObject(Dc& dc, HGDIOBJ handle, const tw::gdi::GdiObject& object) {
  std::lock_guard lock(mutex_);
  DWORD type = object.Type();
  if (type == OBJ_BITMAP || type == OBJ_REGION) {
    SetLastError(ERROR_INVALID_PARAMETER);  // a metafile DC has no bitmap to select
    return false;
  }
  bool isBrush = type == OBJ_BRUSH, isPen = type == OBJ_PEN || type == OBJ_EXTPEN;
  int index = -1;
  if (tw::gdi::IsStockObject(handle, &index) && index >= 0) {
    if (index == DC_BRUSH || index == DC_PEN) {
      (index == DC_BRUSH ? dcBrushSelected_ : dcPenSelected_) = true;
      return SelectDcColorObject(dc, index == DC_BRUSH);
    }
    if (isBrush) dcBrushSelected_ = false;
    if (isPen) dcPenSelected_ = false;
    Dword(EMR_SELECTOBJECT, ENHMETA_STOCK_OBJECT | DWORD(index));
    return true;
  }
  DWORD slot = SlotFor(dc, object);
  if (slot == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (isBrush) dcBrushSelected_ = false;
  if (isPen) dcPenSelected_ = false;
  Dword(EMR_SELECTOBJECT, slot);
  return true;
}

bool EmfRecorder::SelectPalette(Dc& dc, HPALETTE handle, const tw::gdi::Palette& palette, BOOL) {
  std::lock_guard lock(mutex_);
  int index = -1;
  if (tw::gdi::IsStockObject(handle, &index) && index >= 0) {
    Dword(EMR_SELECTPALETTE, ENHMETA_STOCK_OBJECT | DWORD(index));
    return true;
  }
  DWORD slot = SlotFor(dc, palette);
  if (slot == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  Dword(EMR_SELECTPALETTE, slot);
  return true;
}

bool EmfRecorder::RealizePalette(Dc&) {
  std::lock_guard lock(mutex_);
  Simple(EMR_REALIZEPALETTE);
  return true;
}

void EmfRecorder::ObjectDeleted(HGDIOBJ, const tw::gdi::GdiObject& object) {
  std::lock_guard lock(mutex_);
  auto it = slotOf_.find(object.Serial());
  if (it == slotOf_.end()) return;
  Dword(EMR_DELETEOBJECT, it->second);
  slots_[it->second] = 0;
  slotOf_.erase(it);
}

// ---- drawing --------------------------------------------------------------

bool EmfRecorder::LineTo(Dc& dc, int x, int y) {
  std::lock_guard lock(mutex_);
  POINT pts[2] = {dc.State().currentPos, {x, y}};
  Ink(dc, PointsBounds(dc, pts, true, false));
  Pair(EMR_LINETO, x, y);
  return true;
}

bool EmfRecorder::Polyline(Dc& dc, std::span<const POINT> points) {
  return Poly(dc, EMR_POLYLINE, points, false, false);
}
bool EmfRecorder::PolylineTo(Dc& dc, std::span<const POINT> points) {
  return Poly(dc, EMR_POLYLINETO, points, false, true);
}
bool EmfRecorder::Polygon(Dc& dc, std::span<const POINT> points) {
  return Poly(dc, EMR_POLYGON, points, true, false);
}
bool EmfRecorder::PolyBezier(Dc& dc, std::span<const POINT> points) {
  return Poly(dc, EMR_POLYBEZIER, points, false, false);
}
bool EmfRecorder::PolyBezierTo(Dc& dc, std::span<const POINT> points) {
  return Poly(dc, EMR_POLYBEZIERTO, points, false, true);
}

namespace {

template <class Count>
bool polyPolyRecord(RecordWriter& writer, DWORD type, std::span<const POINT> points, std::span<const Count> counts,
                    const RECTL& bounds) {
  bool small = std::all_of(points.begin(), points.end(), [](const POINT& p) {
    return p.x >= SHRT_MIN && p.x <= SHRT_MAX && p.y >= SHRT_MIN && p.y <= SHRT_MAX;
  });
  EMRPOLYPOLYLINE head{};
  head.rclBounds = bounds;
  head.nPolys = static_cast<DWORD>(counts.size());
  head.cptl = static_cast<DWORD>(points.size());
  size_t start = writer.Begin(small ? type + (EMR_POLYPOLYLINE16 - EMR_POLYPOLYLINE) : type, &head,
                              offsetof(EMRPOLYPOLYLINE, aPolyCounts));
  for (Count c : counts) {
    DWORD n = static_cast<DWORD>(c);
    writer.Append(&n, 4);
  }
  if (small) {
    for (const POINT& p : points) {
      POINTS s{SHORT(p.x), SHORT(p.y)};
      writer.Append(&s, sizeof(s));
    }
  } else {
    writer.Append(points.data(), points.size_bytes());
  }
  writer.End(start);
  return true;
}

}  // namespace

bool EmfRecorder::PolyPolyline(Dc& dc, std::span<const POINT> points, std::span<const DWORD> counts) {
  std::lock_guard lock(mutex_);
  RECTL bounds = Ink(dc, PointsBounds(dc, points, true, false));
  return polyPolyRecord(writer_, EMR_POLYPOLYLINE, points, counts, bounds);
}

bool EmfRecorder::PolyPolygon(Dc& dc, std::span<const POINT> points, std::span<const INT> counts) {
  std::lock_guard lock(mutex_);
  RECTL bounds = Ink(dc, PointsBounds(dc, points, true, true));
  return polyPolyRecord(writer_, EMR_POLYPOLYGON, points, counts, bounds);
}

bool EmfRecorder::PolyDraw(Dc& dc, std::span<const POINT> points, std::span<const BYTE> types) {
  std::lock_guard lock(mutex_);
  std::vector<POINT> all(points.begin(), points.end());
  all.push_back(dc.State().currentPos);
  RECTL bounds = Ink(dc, PointsBounds(dc, all, true, false));
  bool small = std::all_of(points.begin(), points.end(), [](const POINT& p) {
    return p.x >= SHRT_MIN && p.x <= SHRT_MAX && p.y >= SHRT_MIN && p.y <= SHRT_MAX;
  });
  EMRPOLYDRAW head{};
  head.rclBounds = bounds;
  head.cptl = static_cast<DWORD>(points.size());
  size_t start = writer_.Begin(small ? EMR_POLYDRAW16 : EMR_POLYDRAW, &head, offsetof(EMRPOLYDRAW, aptl));
  if (small) {
    for (const POINT& p : points) {
      POINTS s{SHORT(p.x), SHORT(p.y)};
      writer_.Append(&s, sizeof(s));
    }
  } else {
    writer_.Append(points.data(), points.size_bytes());
  }
  writer_.Append(types.data(), types.size());
  writer_.End(start);
  return true;
}

bool EmfRecorder::Rectangle(Dc& dc, const RECT& box) {
  std::lock_guard lock(mutex_);
  EMRRECTANGLE r{};
  r.rclBox = RecordedBox(dc, box);
  Ink(dc, BoxBounds(dc, box, true));
  writer_.Fixed(EMR_RECTANGLE, r);
  return true;
}

bool EmfRecorder::Ellipse(Dc& dc, const RECT& box) {
  std::lock_guard lock(mutex_);
  EMRELLIPSE r{};
  r.rclBox = RecordedBox(dc, box);
  Ink(dc, BoxBounds(dc, box, true));
  writer_.Fixed(EMR_ELLIPSE, r);
  return true;
}

bool EmfRecorder::RoundRect(Dc& dc, const RECT& box, int cornerWidth, int cornerHeight) {
  std::lock_guard lock(mutex_);
  EMRROUNDRECT r{};
  r.rclBox = RecordedBox(dc, box);
  r.szlCorner = {cornerWidth, cornerHeight};
  Ink(dc, BoxBounds(dc, box, true));
  writer_.Fixed(EMR_ROUNDRECT, r);
  return true;
}

bool EmfRecorder::Arc(Dc& dc, const RECT& box, POINT start, POINT end) {
  return ArcRecord(dc, EMR_ARC, box, start, end);
}
bool EmfRecorder::ArcTo(Dc& dc, const RECT& box, POINT start, POINT end) {
  return ArcRecord(dc, EMR_ARCTO, box, start, end);
}
bool EmfRecorder::Chord(Dc& dc, const RECT& box, POINT start, POINT end) {
  return ArcRecord(dc, EMR_CHORD, box, start, end);
}
bool EmfRecorder::Pie(Dc& dc, const RECT& box, POINT start, POINT end) {
  return ArcRecord(dc, EMR_PIE, box, start, end);
}

bool EmfRecorder::AngleArc(Dc& dc, int x, int y, DWORD radius, FLOAT startAngle, FLOAT sweepAngle) {
  std::lock_guard lock(mutex_);
  LONG r = static_cast<LONG>(std::min<DWORD>(radius, 0x3FFFFFFF));
  POINT pts[3] = {dc.State().currentPos, {x - r, y - r}, {x + r, y + r}};
  Ink(dc, PointsBounds(dc, pts, true, false));
  EMRANGLEARC rec{};
  rec.ptlCenter = {x, y};
  rec.nRadius = radius;
  rec.eStartAngle = startAngle;
  rec.eSweepAngle = sweepAngle;
  writer_.Fixed(EMR_ANGLEARC, rec);
  return true;
}

bool EmfRecorder::SetPixelV(Dc& dc, int x, int y, COLORREF color) {
  std::lock_guard lock(mutex_);
  POINT p{x, y};
  Ink(dc, PointsBounds(dc, std::span<const POINT>(&p, 1), false, false));
  EMRSETPIXELV r{};
  r.ptlPixel = {x, y};
  r.crColor = color;
  writer_.Fixed(EMR_SETPIXELV, r);
  return true;
}

bool EmfRecorder::ExtFloodFill(Dc& dc, int x, int y, COLORREF color, UINT type) {
  std::lock_guard lock(mutex_);
  // A flood can reach anywhere the clip allows.
  RECT area = dc.EffectiveClip().Bounds();
  Ink(dc, {area.left, area.top, area.right - 1, area.bottom - 1});
  EMREXTFLOODFILL r{};
  r.ptlStart = {x, y};
  r.crColor = color;
  r.iMode = type;
  writer_.Fixed(EMR_EXTFLOODFILL, r);
  return true;
}

bool EmfRecorder::GradientFill(Dc& dc, std::span<const TRIVERTEX> vertices, const void* mesh, ULONG meshCount,
                               ULONG mode) {
  std::lock_guard lock(mutex_);
  std::vector<POINT> pts;
  pts.reserve(vertices.size());
  for (const TRIVERTEX& v : vertices) pts.push_back({v.x, v.y});
  EMRGRADIENTFILL head{};
  head.rclBounds = Ink(dc, PointsBounds(dc, pts, false, true));
  head.nVer = static_cast<DWORD>(vertices.size());
  head.nTri = meshCount;
  head.ulMode = mode;
  size_t itemSize = mode == GRADIENT_FILL_TRIANGLE ? sizeof(GRADIENT_TRIANGLE) : sizeof(GRADIENT_RECT);
  size_t start = writer_.Begin(EMR_GRADIENTFILL, &head, offsetof(EMRGRADIENTFILL, Ver));
  writer_.Append(vertices.data(), vertices.size_bytes());
  writer_.Append(mesh, size_t(meshCount) * itemSize);
  writer_.End(start);
  return true;
}

bool EmfRecorder::RegionRecord(Dc& dc, DWORD type, const tw::gdi::RegionData& region, DWORD brushSlot, SIZE stroke) {
  std::vector<BYTE> data = region.ToRgnData();
  RECT b = region.Bounds();
  RECTL bounds{b.left, b.top, b.right - 1, b.bottom - 1};
  if (type == EMR_FRAMERGN) bounds = {bounds.left - stroke.cx, bounds.top - stroke.cy, bounds.right + stroke.cx,
                                      bounds.bottom + stroke.cy};
  bounds = region.Empty() ? RECTL{0, 0, -1, -1} : Ink(dc, bounds);
  size_t start;
  if (type == EMR_FILLRGN) {
    EMRFILLRGN head{};
    head.rclBounds = bounds;
    head.cbRgnData = static_cast<DWORD>(data.size());
    head.ihBrush = brushSlot;
    start = writer_.Begin(type, &head, offsetof(EMRFILLRGN, RgnData));
  } else if (type == EMR_FRAMERGN) {
    EMRFRAMERGN head{};
    head.rclBounds = bounds;
    head.cbRgnData = static_cast<DWORD>(data.size());
    head.ihBrush = brushSlot;
    head.szlStroke = {stroke.cx, stroke.cy};
    start = writer_.Begin(type, &head, offsetof(EMRFRAMERGN, RgnData));
  } else {
    EMRPAINTRGN head{};
    head.rclBounds = bounds;
    head.cbRgnData = static_cast<DWORD>(data.size());
    start = writer_.Begin(type, &head, offsetof(EMRPAINTRGN, RgnData));
  }
  writer_.Append(data.data(), data.size());
  writer_.End(start);
  return true;
}

bool EmfRecorder::FillRgn(Dc& dc, const tw::gdi::RegionData& region, HBRUSH handle, const tw::gdi::Brush& brush) {
  std::lock_guard lock(mutex_);
  int index = -1;
  DWORD slot = tw::gdi::IsStockObject(handle, &index) && index >= 0 ? (ENHMETA_STOCK_OBJECT | DWORD(index))
                                                                     : SlotFor(dc, brush);
  if (slot == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return RegionRecord(dc, EMR_FILLRGN, region, slot, {0, 0});
}

bool EmfRecorder::FrameRgn(Dc& dc, const tw::gdi::RegionData& region, HBRUSH handle, const tw::gdi::Brush& brush,
                           int width, int height) {
  std::lock_guard lock(mutex_);
  int index = -1;
  DWORD slot = tw::gdi::IsStockObject(handle, &index) && index >= 0 ? (ENHMETA_STOCK_OBJECT | DWORD(index))
                                                                     : SlotFor(dc, brush);
  if (slot == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return RegionRecord(dc, EMR_FRAMERGN, region, slot, {width, height});
}

bool EmfRecorder::PaintRgn(Dc& dc, const tw::gdi::RegionData& region) {
  std::lock_guard lock(mutex_);
  return RegionRecord(dc, EMR_PAINTRGN, region, 0, {0, 0});
}

bool EmfRecorder::InvertRgn(Dc& dc, const tw::gdi::RegionData& region) {
  std::lock_guard lock(mutex_);
  return RegionRecord(dc, EMR_INVERTRGN, region, 0, {0, 0});
}

// ---- paths ------------------------------------------------------------------

bool EmfRecorder::BeginPath(Dc&) {
  std::lock_guard lock(mutex_);
  pathOpen_ = true;
  pathBounds_ = BoundsBox{};
  Simple(EMR_BEGINPATH);
  return true;
}

bool EmfRecorder::EndPath(Dc&) {
  std::lock_guard lock(mutex_);
  pathOpen_ = false;
  Simple(EMR_ENDPATH);
  return true;
}

bool EmfRecorder::AbortPath(Dc&) {
  std::lock_guard lock(mutex_);
  pathOpen_ = false;
  pathBounds_ = BoundsBox{};
  Simple(EMR_ABORTPATH);
  return true;
}

bool EmfRecorder::CloseFigure(Dc&) {
  std::lock_guard lock(mutex_);
  Simple(EMR_CLOSEFIGURE);
  return true;
}

bool EmfRecorder::FlattenPath(Dc&) {
  std::lock_guard lock(mutex_);
  Simple(EMR_FLATTENPATH);
  return true;
}

bool EmfRecorder::WidenPath(Dc& dc) {
  std::lock_guard lock(mutex_);
  // The widened outline reaches half a pen further out.
  if (!pathBounds_.empty) {
    LONG e = penExtent(dc.PenWidthDevice());
    RECTL b = pathBounds_.box;
    pathBounds_.box = {b.left - e, b.top - e, b.right + e, b.bottom + e};
  }
  Simple(EMR_WIDENPATH);
  return true;
}

namespace {

void pathRecord(RecordWriter& writer, DWORD type, const RECTL& bounds) {
  EMRFILLPATH r{};
  r.rclBounds = bounds;
  writer.Fixed(type, r);
}

}  // namespace

bool EmfRecorder::FillPath(Dc&) {
  std::lock_guard lock(mutex_);
  RECTL b = pathBounds_.Get();
  bounds_.Add(b);
  pathBounds_ = BoundsBox{};
  pathRecord(writer_, EMR_FILLPATH, b);
  return true;
}

bool EmfRecorder::StrokePath(Dc& dc) {
  std::lock_guard lock(mutex_);
  RECTL b = pathBounds_.Get();
  if (!pathBounds_.empty) {
    LONG e = penExtent(dc.PenWidthDevice());
    b = {b.left - e, b.top - e, b.right + e, b.bottom + e};
  }
  bounds_.Add(b);
  pathBounds_ = BoundsBox{};
  pathRecord(writer_, EMR_STROKEPATH, b);
  return true;
}

bool EmfRecorder::StrokeAndFillPath(Dc& dc) {
  std::lock_guard lock(mutex_);
  RECTL b = pathBounds_.Get();
  if (!pathBounds_.empty) {
    LONG e = penExtent(dc.PenWidthDevice());
    b = {b.left - e, b.top - e, b.right + e, b.bottom + e};
  }
  bounds_.Add(b);
  pathBounds_ = BoundsBox{};
  pathRecord(writer_, EMR_STROKEANDFILLPATH, b);
  return true;
}

bool EmfRecorder::SelectClipPath(Dc&, int mode) {
  std::lock_guard lock(mutex_);
  pathBounds_ = BoundsBox{};
  Dword(EMR_SELECTCLIPPATH, DWORD(mode));
  return true;
}

// ---- clipping -------------------------------------------------------------

bool EmfRecorder::IntersectClipRect(Dc&, const RECT& rect) {
  std::lock_guard lock(mutex_);
  EMRINTERSECTCLIPRECT r{};
  r.rclClip = rect;
  writer_.Fixed(EMR_INTERSECTCLIPRECT, r);
  return true;
}

bool EmfRecorder::ExcludeClipRect(Dc&, const RECT& rect) {
  std::lock_guard lock(mutex_);
  EMREXCLUDECLIPRECT r{};
  r.rclClip = rect;
  writer_.Fixed(EMR_EXCLUDECLIPRECT, r);
  return true;
}

bool EmfRecorder::OffsetClipRgn(Dc&, int x, int y) {
  std::lock_guard lock(mutex_);
  Pair(EMR_OFFSETCLIPRGN, x, y);
  return true;
}

bool EmfRecorder::ExtSelectClipRgn(Dc&, const tw::gdi::RegionData* region, int mode) {
  std::lock_guard lock(mutex_);
  std::vector<BYTE> data;
  if (region) data = region->ToRgnData();
  EMREXTSELECTCLIPRGN head{};
  head.cbRgnData = static_cast<DWORD>(data.size());
  head.iMode = static_cast<DWORD>(mode);
  size_t start = writer_.Begin(EMR_EXTSELECTCLIPRGN, &head, offsetof(EMREXTSELECTCLIPRGN, RgnData));
  writer_.Append(data.data(), data.size());
  writer_.End(start);
  return true;
}

bool EmfRecorder::SetMetaRgn(Dc&) {
  std::lock_guard lock(mutex_);
  Simple(EMR_SETMETARGN);
  return true;
}

bool EmfRecorder::GdiComment(Dc&, std::span<const BYTE> data) {
  std::lock_guard lock(mutex_);
  EMRGDICOMMENT head{};
  head.cbData = static_cast<DWORD>(data.size());
  size_t start = writer_.Begin(EMR_GDICOMMENT, &head, offsetof(EMRGDICOMMENT, Data));
  writer_.Append(data.data(), data.size());
  writer_.End(start);
  return true;
}

void EmfRecorder::DcDeleted(Dc&) {
  std::lock_guard lock(mutex_);
  writer_.Bytes().clear();
  writer_.Bytes().shrink_to_fit();
  slotOf_.clear();
}

// ---- the end ----------------------------------------------------------------

std::vector<BYTE> EmfRecorder::Finish(const tw::gdi::DeviceCaps& caps) {
  std::lock_guard lock(mutex_);
  try {
    return FinishLocked(caps);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::vector<BYTE> EmfRecorder::FinishLocked(const tw::gdi::DeviceCaps& caps) {
  EMREOF eof{};
  eof.nPalEntries = 0;
  eof.offPalEntries = sizeof(EMREOF) - sizeof(DWORD);
  eof.nSizeLast = sizeof(EMREOF);
  writer_.Fixed(EMR_EOF, eof);
  if (writer_.Failed()) return {};

  // The description follows the header; its length is a whole number of
  // DWORDs in the header record.
  std::vector<BYTE>& bytes = writer_.Bytes();
  size_t descBytes = description_.size() * sizeof(WCHAR);
  size_t descPadded = (descBytes + 3) / 4 * 4;
  if (descPadded) bytes.insert(bytes.begin() + sizeof(ENHMETAHEADER), descPadded, 0);
  if (descBytes) std::memcpy(bytes.data() + sizeof(ENHMETAHEADER), description_.data(), descBytes);

  ENHMETAHEADER h{};
  h.iType = EMR_HEADER;
  h.nSize = static_cast<DWORD>(sizeof(ENHMETAHEADER) + descPadded);
  h.rclBounds = bounds_.Get();
  h.dSignature = ENHMETA_SIGNATURE;
  h.nVersion = 0x10000;
  h.nBytes = static_cast<DWORD>(bytes.size());
  h.nRecords = writer_.Records();
  h.nHandles = static_cast<WORD>(std::min<size_t>(slots_.size(), 0xFFFF));
  h.nDescription = static_cast<DWORD>(description_.size());
  h.offDescription = description_.empty() ? 0 : sizeof(ENHMETAHEADER);
  h.nPalEntries = 0;
  h.szlDevice = {caps.horzRes, caps.vertRes};
  h.szlMillimeters = {caps.horzSizeMm, caps.vertSizeMm};
  h.szlMicrometers = {caps.widthUm, caps.heightUm};
  if (h.szlMicrometers.cx <= 0) h.szlMicrometers = {caps.horzSizeMm * 1000, caps.vertSizeMm * 1000};
  if (frame_) {
    h.rclFrame = *frame_;
  } else if (!bounds_.empty && caps.horzRes > 0 && caps.vertRes > 0) {
    // No frame given: the picture's bounds in 0.01 mm (inclusive edges).
    double kx = h.szlMicrometers.cx / 10.0 / caps.horzRes, ky = h.szlMicrometers.cy / 10.0 / caps.vertRes;
    RECTL b = bounds_.box;
    h.rclFrame = {clampToLong(b.left * kx), clampToLong(b.top * ky), clampToLong((b.right + 1) * kx),
                  clampToLong((b.bottom + 1) * ky)};
  }
  std::memcpy(bytes.data(), &h, sizeof(h));
  return std::move(bytes);
}

}  // namespace tw::emf
