// A raw page (a packed DIB from the driver) drawn into the page bitmap in bands.
#include <algorithm>
#include <cstdint>

#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "render/emf/emf_internal.h"
#include "tw/packed_dib.h"

namespace dmns = tw::devmode;
using namespace tw::render;

namespace {

// The page is drawn in this many bands so that the band bitmap stays small.
constexpr LONG kRawBands = 5;

}  // namespace

BOOL CEMFImage::CreateFromRawData(HGLOBAL hData, TarnwickDEVMODE* pDevMode, CTWJob* pJob) {
  Trace(u"> CEMFImage::CreateFromRawData");
  m_pJob = pJob;
  if (!pJob) return FALSE;
  if (!FillBITMAPINFOForRawData(pDevMode)) return Fail(251, __FILE__, __LINE__);
  if (!AllocPageDIB()) return Fail(252, __FILE__, __LINE__);
  PageSettings settings = ReadPageSettings(*pJob, pDevMode);
  m_nWidth = m_lpBmi->bmiHeader.biWidth;
  m_nHeight = m_lpBmi->bmiHeader.biHeight;
  if (!RenderRawBands(hData, pDevMode, settings)) {
    ReplaceDIB(nullptr);
    return FALSE;
  }
  return FinishPage(pDevMode, settings, true, FALSE);
}

BOOL CEMFImage::RenderRawBands(HGLOBAL hData, TarnwickDEVMODE* pDevMode, const PageSettings& settings) {
  CTWJob& job = *m_pJob;
  DcPtr printer = CreatePrinterDC(job, pDevMode, settings.scope, settings.useWindowsSessionId);
  if (!printer) return FALSE;
  DcPtr memory(CreateCompatibleDC(printer.get()));
  if (!memory) return FALSE;

  BITMAPINFOHEADER& header = m_lpBmi->bmiHeader;
  const LONG width = header.biWidth;
  const LONG pageHeight = header.biHeight;
  m_dwImageHeight = static_cast<DWORD>(pageHeight);
  // Every band holds at least one row, and the bands reach the page's end.
  const LONG band = std::max<LONG>(1, (pageHeight + kRawBands - 1) / kRawBands);
  header.biHeight = band;
  header.biSizeImage = static_cast<DWORD>(tw::dib::RowBytes(width, header.biBitCount) * static_cast<std::size_t>(band));
  HBITMAP render = GetCachedDIBSection(memory.get(), m_lpBmi);
  if (!render) {
    job.HandleError(u"Out of memory", __FILE__, __LINE__);
    return FALSE;
  }
  tw::dib::BlockLock raw(hData);
  if (!raw.ok()) return FALSE;
  // The driver's data is checked before GDI reads it: header, table and rows within the block.
  auto layout = tw::dib::ReadLayout(raw.bytes());
  if (!layout) {
    job.HandleError(u"The raw page data is not a valid bitmap.", __FILE__, __LINE__);
    return FALSE;
  }
  const auto* rawInfo = reinterpret_cast<const BITMAPINFO*>(raw.data());
  const BYTE* rawBits = raw.data() + layout->bitsOffset;
  const LONG rawHeight = layout->height;

  const PageRoles& roles = settings.roles;
  const LONG watermarkWidth = pDevMode ? pDevMode->PaperWidthInPixels : 1728;
  const DWORD flags = pDevMode ? pDevMode->Flags : 0;
  const DWORD barcodeFlags = pDevMode ? pDevMode->BarcodeFlags : 0;
  HDC dc = memory.get();
  for (LONG offset = 0; offset < pageHeight; offset += band) {
    {
      SelectGuard brush(dc, GetStockObject(WHITE_BRUSH));
      SelectGuard bitmap(dc, render);
      SetWindowOrgEx(dc, 0, offset, nullptr);
      if (!roles.barcodeSeparator) {
        if (settings.imageWatermark && !AddWatermark(dc, pDevMode, watermarkWidth, static_cast<LONG>(m_dwImageHeight)))
          Trace(u"CEMFImage::CreateFromRawData: the image watermark was not drawn");
        if (settings.textWatermark) DrawTextWatermarkStamp(job, dc, pDevMode, false, 1);
      }
      SetWindowOrgEx(dc, 0, 0, nullptr);
      SetStretchBltMode(dc, BLACKONWHITE);
      // The band takes its rows of one stretch of the whole raw page onto
      // the whole page, so that the bands meet exactly whatever the sizes.
      if (roles.barcodeSeparator) {
        PatBlt(dc, 0, 0, width, band, PATCOPY);
      } else if (!StretchDIBits(dc, 0, -offset, width, pageHeight, 0, 0, layout->width, rawHeight, rawBits, rawInfo,
                                DIB_RGB_COLORS, SRCCOPY)) {
        Trace(u"CEMFImage::CreateFromRawData: StretchDIBits FAILED (%d)", GetLastError());
      }
      SetWindowOrgEx(dc, 0, offset, nullptr);
      if (offset == 0 && (!pDevMode || (flags & dmns::flags::WriteText) || (barcodeFlags & 0x1)))
        MakeRawPageText(job, dc, pDevMode, width, band);
      // No Bates number on raw pages.
      DrawDecorations(dc, pDevMode, settings, width, static_cast<LONG>(m_dwImageHeight), false, false);
      SetWindowOrgEx(dc, 0, 0, nullptr);
    }
    if (!CopyBandToDIB(dc, render, static_cast<DWORD>(offset), m_lpBmi)) return Fail(52, __FILE__, __LINE__);
  }
  GdiFlush();
  return TRUE;
}
