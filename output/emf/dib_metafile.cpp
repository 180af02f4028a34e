// SaveDIBIntoMetaFile: a page bitmap stored as an enhanced metafile on the
// job's printer.
#include <windows.h>

#include <memory>
#include <optional>
#include <vector>

#include "core/log/tw_log.h"
#include "job/job/tw_job.h"
#include "job/settings/effective.h"
#include "output/common/page_dib.h"
#include "output/twfile/tw_writers.h"

namespace {

namespace st = tw::settings;

struct DcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
using DcPtr = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;
struct ObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
template <typename Handle>
using ObjectPtr = std::unique_ptr<std::remove_pointer_t<Handle>, ObjectDeleter>;

// The printer context on the writer's record. With the Windows session ID
// in use, making it must not change the interface the clients are told of.
DcPtr PrinterContext(CTWFile& writer, const WCHAR* printer) {
  std::optional<st::SettingsScope> scope;
  std::optional<DWORD> interfaceId;
  if (writer.m_pJob) {
    scope = writer.m_pJob->SettingsScope();
    if (st::Read(*scope, st::MessagingUseWindowsSessionId)) interfaceId = st::Read(*scope, st::MessagingInterfaceId);
  }
  DcPtr dc(CreateDCW(u"WINSPOOL", printer, nullptr, reinterpret_cast<const DEVMODEW*>(&writer.m_DevMode)));
  if (interfaceId) {
    if (!st::Write(*scope, st::MessagingInterfaceId, *interfaceId))
      Trace(u"SaveDIBIntoMetaFile: Messaging Interface ID not written back (%d)", GetLastError());
    writer.m_DevMode.SessionID = *interfaceId;
  }
  return dc;
}

// The logical palette of the DIB's colours; a DIB without a table gets a
// 3-3-2 colour cube with white last.
ObjectPtr<HPALETTE> PaletteOf(const tw::output::PageDib& dib) {
  const DWORD count = dib.layout().colors ? dib.layout().colors : 256;
  std::vector<BYTE> block(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
  auto* palette = reinterpret_cast<LOGPALETTE*>(block.data());
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<WORD>(count);
  for (DWORD i = 0; i < count; ++i) {
    PALETTEENTRY& e = palette->palPalEntry[i];
    if (dib.layout().colors) {
      const RGBQUAD q = dib.Color(i);
      e = {q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
    } else if (i == 255) {
      e = {255, 255, 255, 0};
    } else {
      e = {static_cast<BYTE>(i % 8 * 32), static_cast<BYTE>(i / 8 % 8 * 32), static_cast<BYTE>(i / 64 * 64), 0};
    }
  }
  return ObjectPtr<HPALETTE>(CreatePalette(palette));
}

// Pixels per metre as dots per inch, rounded; the printer's when the page has none.
int DotsPerInch(LONG pelsPerMeter, HDC printer, int index) {
  const int dpi = static_cast<int>(pelsPerMeter / 39.37 + 0.5);
  return dpi > 0 ? dpi : GetDeviceCaps(printer, index);
}

}  // namespace

BOOL SaveDIBIntoMetaFile(CTWFile* pWriter, const WCHAR* szFileName, HGLOBAL hDIB, const WCHAR* szPrinterName) {
  Trace(u"SaveDIBIntoMetaFile starts...");
  if (!pWriter || !szFileName) return FALSE;
  DcPtr printer = PrinterContext(*pWriter, szPrinterName);
  if (!printer) {
    Trace(u"CEMFImage: CreateDC FAILED !!! ");
    return FALSE;
  }
  tw::output::PageDib dib(hDIB, {1, 4, 8, 24, 32});
  if (!dib.ok()) {
    Trace(u"SaveDIBIntoMetaFile: the page is not a bitmap");
    return FALSE;
  }
  const BITMAPINFOHEADER& h = dib.Header();
  const LONG width = dib.Width(), height = dib.Height();
  Trace(u"SaveDIBIntoMetaFile: DIB size %u, planes %d, bits per pixel %d", static_cast<unsigned>(GlobalSize(hDIB)),
        GetDeviceCaps(printer.get(), PLANES), GetDeviceCaps(printer.get(), BITSPIXEL));
  Trace(u"SaveDIBIntoMetaFile: width %d height %d bits %d colours %u ppm %d x %d", width, height, h.biBitCount,
        static_cast<unsigned>(dib.layout().colors), h.biXPelsPerMeter, h.biYPelsPerMeter);
  ObjectPtr<HPALETTE> palette = PaletteOf(dib);
  ObjectPtr<HBITMAP> bitmap(CreateCompatibleBitmap(printer.get(), width, height));
  if (!palette || !bitmap) {
    Trace(u"SaveDIBIntoMetaFile: no palette or bitmap (%d)", GetLastError());
    return FALSE;
  }
  // The frame in 0.01 mm at the page's resolution.
  const int xDpi = DotsPerInch(h.biXPelsPerMeter, printer.get(), LOGPIXELSX);
  const int yDpi = DotsPerInch(h.biYPelsPerMeter, printer.get(), LOGPIXELSY);
  const RECT frame{0, 0, static_cast<LONG>(std::int64_t{width} * 2540 / xDpi),
                   static_cast<LONG>(std::int64_t{height} * 2540 / yDpi)};
  Trace(u"SaveDIBIntoMetaFile: rect: left: %d top: %d right: %d bottom: %d", frame.left, frame.top, frame.right,
        frame.bottom);
  HDC meta = CreateEnhMetaFileW(printer.get(), szFileName, &frame, nullptr);
  if (!meta) {
    Trace(u"SaveDIBIntoMetaFile: CreateEnhMetaFile FAILED (%d)", GetLastError());
    return FALSE;
  }
  HPALETTE oldPalette = SelectPalette(meta, palette.get(), FALSE);
  RealizePalette(meta);
  HGDIOBJ oldBrush = SelectObject(meta, GetStockObject(WHITE_BRUSH));
  HGDIOBJ oldBitmap = SelectObject(meta, bitmap.get());
  PatBlt(meta, 0, 0, width, height, PATCOPY);
  const auto* info = reinterpret_cast<const BITMAPINFO*>(&h);
  const BYTE* bits = reinterpret_cast<const BYTE*>(&h) + dib.layout().bitsOffset;
  const int drawn =
      StretchDIBits(meta, 0, 0, width, height, 0, 0, width, height, bits, info, DIB_RGB_COLORS, SRCCOPY);
  if (oldBitmap) SelectObject(meta, oldBitmap);
  if (oldBrush) SelectObject(meta, oldBrush);
  if (oldPalette) SelectPalette(meta, oldPalette, FALSE);
  HENHMETAFILE emf = CloseEnhMetaFile(meta);
  if (!emf || drawn <= 0) {
    Trace(u"SaveDIBIntoMetaFile: the metafile was not made (%d)", GetLastError());
    if (emf) DeleteEnhMetaFile(emf);
    DeleteFileW(szFileName);
    return FALSE;
  }
  DeleteEnhMetaFile(emf);
  Trace(u"SaveDIBIntoMetaFile ends successfully...");
  return TRUE;
}
