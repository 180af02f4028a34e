// Pens, brushes, fonts and palettes as objects: GetObject data and the
// stock objects.
#include "gdiobj.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "bitmap.h"
#include "dibinfo.h"
#include "winerror.h"

namespace tw::gdi {
namespace {

int copyOut(const void* data, int size, int cb, void* pv) {
  if (!pv) return size;
  if (cb <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int n = std::min(cb, size);
  std::memcpy(pv, data, static_cast<std::size_t>(n));
  return n;
}

struct Stock {
  HGDIOBJ handles[STOCK_LAST + 1] = {};
  HGDIOBJ bitmap = nullptr;
};

std::shared_ptr<Pen> makePen(DWORD style, COLORREF color) {
  auto pen = std::make_shared<Pen>();
  pen->style = style;
  pen->color = color;
  return pen;
}
std::shared_ptr<Brush> makeBrush(UINT style, COLORREF color) {
  auto brush = std::make_shared<Brush>();
  brush->style = style;
  brush->color = color;
  return brush;
}
std::shared_ptr<Font> makeFont(LONG height, LONG weight, BYTE pitch, const char16_t* face) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfCharSet = ANSI_CHARSET;
  lf.lfPitchAndFamily = pitch;
  std::u16string_view name(face);
  std::copy(name.begin(), name.end(), lf.lfFaceName);
  return std::make_shared<Font>(lf);
}

const Stock& stock() {
  static Stock* s = [] {
    auto* st = new Stock;
    auto put = [&](int index, std::shared_ptr<GdiObject> object) {
      st->handles[index] = InsertStockObject(std::move(object), index);
    };
    put(WHITE_BRUSH, makeBrush(BS_SOLID, RGB(255, 255, 255)));
    put(LTGRAY_BRUSH, makeBrush(BS_SOLID, RGB(192, 192, 192)));
    put(GRAY_BRUSH, makeBrush(BS_SOLID, RGB(128, 128, 128)));
    put(DKGRAY_BRUSH, makeBrush(BS_SOLID, RGB(64, 64, 64)));
    put(BLACK_BRUSH, makeBrush(BS_SOLID, RGB(0, 0, 0)));
    put(NULL_BRUSH, makeBrush(BS_NULL, 0));
    put(WHITE_PEN, makePen(PS_SOLID, RGB(255, 255, 255)));
    put(BLACK_PEN, makePen(PS_SOLID, RGB(0, 0, 0)));
    put(NULL_PEN, makePen(PS_NULL, 0));
    put(OEM_FIXED_FONT, makeFont(12, FW_NORMAL, FIXED_PITCH | FF_MODERN, u"Terminal"));
    put(ANSI_FIXED_FONT, makeFont(12, FW_NORMAL, FIXED_PITCH | FF_MODERN, u"Courier"));
    put(ANSI_VAR_FONT, makeFont(12, FW_NORMAL, VARIABLE_PITCH | FF_SWISS, u"MS Sans Serif"));
    put(SYSTEM_FONT, makeFont(16, FW_BOLD, VARIABLE_PITCH | FF_SWISS, u"System"));
    put(DEVICE_DEFAULT_FONT, makeFont(16, FW_BOLD, VARIABLE_PITCH | FF_SWISS, u"System"));
    put(DEFAULT_PALETTE, std::make_shared<Palette>(DefaultPaletteEntries()));
    put(SYSTEM_FIXED_FONT, makeFont(16, FW_NORMAL, FIXED_PITCH | FF_MODERN, u"Fixedsys"));
    put(DEFAULT_GUI_FONT, makeFont(-11, FW_NORMAL, VARIABLE_PITCH | FF_SWISS, u"MS Shell Dlg"));
    auto dcBrush = makeBrush(BS_SOLID, RGB(255, 255, 255));
    dcBrush->dcBrush = true;
    put(DC_BRUSH, dcBrush);
    auto dcPen = makePen(PS_SOLID, RGB(0, 0, 0));
    dcPen->dcPen = true;
    put(DC_PEN, dcPen);
    st->bitmap = InsertStockObject(Bitmap::MakeDdb(1, 1, 1), -1);
    return st;
  }();
  return *s;
}

}  // namespace

HGDIOBJ StockHandle(int index) {
  if (index < 0 || index > STOCK_LAST) return nullptr;
  return stock().handles[index];
}

HGDIOBJ StockBitmapHandle() { return stock().bitmap; }

int Pen::GetObjectData(int cb, void* pv) const {
  if (!extended) {
    LOGPEN lp{style, {static_cast<LONG>(width), 0}, color};
    return copyOut(&lp, sizeof(lp), cb, pv);
  }
  // EXTLOGPEN with the style entries in place of elpStyleEntry[1].
  std::size_t size = offsetof(EXTLOGPEN, elpStyleEntry) + std::max<std::size_t>(1, styleEntries.size()) * 4;
  std::vector<BYTE> data(size);
  EXTLOGPEN head{};
  head.elpPenStyle = style;
  head.elpWidth = width;
  head.elpBrushStyle = brushStyle;
  head.elpColor = color;
  head.elpHatch = hatch;
  head.elpNumEntries = static_cast<DWORD>(styleEntries.size());
  std::memcpy(data.data(), &head, offsetof(EXTLOGPEN, elpStyleEntry));
  if (!styleEntries.empty())
    std::memcpy(data.data() + offsetof(EXTLOGPEN, elpStyleEntry), styleEntries.data(), styleEntries.size() * 4);
  size = offsetof(EXTLOGPEN, elpStyleEntry) + styleEntries.size() * 4;
  if (pv && static_cast<std::size_t>(cb) < size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return copyOut(data.data(), static_cast<int>(size), cb, pv);
}

int Brush::GetObjectData(int cb, void* pv) const {
  LOGBRUSH lb{style, color, hatch};
  if (style == BS_DIBPATTERN || style == BS_DIBPATTERNPT) lb.lbColor = pattern ? pattern->usage : 0;
  return copyOut(&lb, sizeof(lb), cb, pv);
}

int Font::GetObjectData(int cb, void* pv) const { return copyOut(&logfont, sizeof(logfont), cb, pv); }

int Palette::GetObjectData(int cb, void* pv) const {
  WORD count = static_cast<WORD>(Entries().size());
  return copyOut(&count, sizeof(count), cb, pv);
}

UINT Palette::NearestIndex(COLORREF color) const {
  std::lock_guard lock(mutex_);
  if (entries_.empty()) return CLR_INVALID;
  return NearestEntry(entries_.size(), RgbFromColorref(color), [&](std::size_t i) {
    return (static_cast<DWORD>(entries_[i].peRed) << 16) | (static_cast<DWORD>(entries_[i].peGreen) << 8) |
           entries_[i].peBlue;
  });
}

}  // namespace tw::gdi
