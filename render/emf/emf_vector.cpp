// Vector pages: the page, overlay and underlay metafiles of a page for the
// vector PDF writers and printer forwarding, their trim and rotation, and
// the record-replay callback every copy of a page goes through.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/settings/settings_store.h"
#include "render/emf/emf_internal.h"
#include "render/render_setup.h"
#include "tw/wingdi_emf.h"

namespace st = tw::settings;
namespace dmns = tw::devmode;
using namespace tw::render;

namespace {

// The page's header, whatever its length (at least the 88 bytes every
// metafile has); false when it cannot be read.
bool ReadHeader(HENHMETAFILE emf, ENHMETAHEADER& header) {
  const UINT size = GetEnhMetaFileHeader(emf, 0, nullptr);
  if (size < kMinEmfHeaderSize) return false;
  std::vector<BYTE> buffer(size);
  if (GetEnhMetaFileHeader(emf, size, reinterpret_cast<ENHMETAHEADER*>(buffer.data())) == 0) return false;
  header = {};
  std::memcpy(&header, buffer.data(), std::min<std::size_t>(size, sizeof header));
  return true;
}

// The page size (reference pixels) and resolution (dots per inch) a header
// gives. The device's size is taken in micrometres when the header has them:
// whole millimetres would make a Letter page 2548.8 x 3304.7 pixels.
bool PageSizeOf(const ENHMETAHEADER& h, EMFPageSizeF& size, EMFResolutionF& res) {
  if (h.szlMillimeters.cx <= 0 || h.szlMillimeters.cy <= 0 || h.szlDevice.cx <= 0 || h.szlDevice.cy <= 0) return false;
  const FLOAT umx = h.szlMicrometers.cx > 0 ? static_cast<FLOAT>(h.szlMicrometers.cx)
                                            : static_cast<FLOAT>(h.szlMillimeters.cx) * 1000.0f;
  const FLOAT umy = h.szlMicrometers.cy > 0 ? static_cast<FLOAT>(h.szlMicrometers.cy)
                                            : static_cast<FLOAT>(h.szlMillimeters.cy) * 1000.0f;
  size.cx = static_cast<FLOAT>(h.szlDevice.cx) / (umx / 1000.0f) * static_cast<FLOAT>(h.rclFrame.right - h.rclFrame.left) /
            100.0f;
  size.cy = static_cast<FLOAT>(h.rclFrame.bottom - h.rclFrame.top) / 100.0f * static_cast<FLOAT>(h.szlDevice.cy) /
            (umy / 1000.0f);
  res.x = std::trunc(static_cast<FLOAT>(h.szlDevice.cx) / (umx / 1000.0f) * 25.4f + 0.5f);
  res.y = std::trunc(static_cast<FLOAT>(h.szlDevice.cy) / (umy / 1000.0f) * 25.4f + 0.5f);
  return size.cx >= 1 && size.cy >= 1 && res.x >= 1 && res.y >= 1;
}

RECT FrameOf(const ENHMETAHEADER& h) {
  return {h.rclFrame.left, h.rclFrame.top, h.rclFrame.right, h.rclFrame.bottom};
}

// A metafile context on the printer context with the page's frame.
HDC NewMetaFile(HDC printer, const RECT& frame) {
  HDC meta = CreateEnhMetaFileW(printer, nullptr, &frame, nullptr);
  if (!meta) Trace(u"CEMFImage: CreateEnhMetaFile FAILED (%d)", GetLastError());
  return meta;
}

// Plays `emf` into `rect` of `dc` through the replay callback, inside the GDI mutex.
BOOL Replay(CTWJob* job, HDC dc, HENHMETAFILE emf, const RECT& rect) {
  if (!job) return EnumEnhMetaFile(dc, emf, ReplayEMFRecordProc, nullptr, &rect);
  GdiMutexScope mutex(*job);
  return EnumEnhMetaFile(dc, emf, ReplayEMFRecordProc, nullptr, &rect);
}

// The printer context of a record copy, with the messaging interface ID kept.
DcPtr PrinterFor(CTWJob& job, TarnwickDEVMODE* copy) {
  st::SettingsScope scope = job.SettingsScope();
  return CreatePrinterDC(job, copy, scope, st::Read(scope, st::MessagingUseWindowsSessionId) != 0);
}

void SwapPaper(TarnwickDEVMODE& dm) {
  std::swap(dm.PaperWidthInPixels, dm.PaperHeightInPixels);
  std::swap(dm.DM.dmPaperLength, dm.DM.dmPaperWidth);
}

// Clears ETO_IGNORELANGUAGE in a text record's copy: the layout of the text
// must not depend on the language processing of the device.
void ClearIgnoreLanguage(BYTE* record, DWORD size, DWORD type) {
  auto clear = [](BYTE* at) {
    DWORD options;
    std::memcpy(&options, at, sizeof options);
    options &= ~static_cast<DWORD>(ETO_IGNORELANGUAGE);
    std::memcpy(at, &options, sizeof options);
  };
  switch (type) {
    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW:
      if (size >= sizeof(EMREXTTEXTOUTW))
        clear(record + offsetof(EMREXTTEXTOUTW, emrtext) + offsetof(EMRTEXT, fOptions));
      break;
    case EMR_POLYTEXTOUTA:
    case EMR_POLYTEXTOUTW: {
      if (size < offsetof(EMRPOLYTEXTOUTW, aemrtext)) break;
      LONG count;
      std::memcpy(&count, record + offsetof(EMRPOLYTEXTOUTW, cStrings), sizeof count);
      const std::size_t room = (size - offsetof(EMRPOLYTEXTOUTW, aemrtext)) / sizeof(EMRTEXT);
      const std::size_t items = count > 0 ? std::min<std::size_t>(static_cast<std::size_t>(count), room) : 0;
      for (std::size_t i = 0; i < items; ++i)
        clear(record + offsetof(EMRPOLYTEXTOUTW, aemrtext) + i * sizeof(EMRTEXT) + offsetof(EMRTEXT, fOptions));
      break;
    }
    case EMR_SMALLTEXTOUT:
      if (size >= sizeof(EMRSMALLTEXTOUT)) clear(record + offsetof(EMRSMALLTEXTOUT, fuOptions));
      break;
    default:
      break;
  }
}

bool IsTextOut(DWORD type) {
  return type == EMR_EXTTEXTOUTA || type == EMR_EXTTEXTOUTW || type == EMR_POLYTEXTOUTA ||
         type == EMR_POLYTEXTOUTW || type == EMR_SMALLTEXTOUT;
}

// The isotropic-units switch the overlay's watermark and barcode are told.
bool OverlayIsotropic(const CTWJob& job, const TarnwickDEVMODE* dm, bool redirect, bool vectorFormat) {
  if (job.m_bAllowAnisotropicDpi && !vectorFormat) return false;
  const bool fax = dm && (dm->Flags & dmns::flags::FaxOutput);
  if (!redirect && fax && !dmns::SaveAsApplies(dm) && !vectorFormat) return false;
  return true;
}


// The overlay (decorations over the page; null when none applies) and,
// when asked for, the underlay (watermarks under it) of a page of `size`
// pixels. FALSE when a metafile context cannot be made or the Bates number
// cannot be set up (the layers made so far are the caller's).
BOOL MakeDecorationLayers(CEMFImage& image, CTWJob& job, HDC printer, const RECT& frame, TarnwickDEVMODE* dm,
                          const PageSettings& settings, SIZE size, bool isotropic, DWORD stampCopy,
                          DWORD underlayCopy, HENHMETAFILE* phOverlay, HENHMETAFILE* phUnderlay) {
  const PageRoles& roles = settings.roles;
  const DWORD barcode = dm ? dm->BarcodeFlags : 0;
  const DWORD annotation = dm ? dm->AnnotationFlags : 0;
  const bool bates = dm && (dm->Flags & dmns::flags::BatesNumbering);
  const bool annotate = (annotation & 0x1) && (!(annotation & 0x2000000) || roles.firstDocumentPage);
  const bool barcodeHere = (barcode & 0x1) && ((roles.barcodeSeparator && (barcode & 0x40)) ||
                                               (roles.firstDocumentPage && (barcode & 0x2)) ||
                                               (!roles.barcodeSeparator && !(barcode & 0x40) && !(barcode & 0x2)));
  const bool decorations =
      !roles.barcodeSeparator && (settings.footer || settings.header || settings.textStamp || annotate || bates);
  *phOverlay = nullptr;
  if (decorations || (barcode & 0x1) || WatermarkLiesOverPage(job, dm)) {
    HDC meta = NewMetaFile(printer, frame);
    if (!meta) return FALSE;
    SetGraphicsMode(meta, GM_ADVANCED);
    Trace(u"CEMFImage: overlay, isotropic units %d", isotropic ? 1 : 0);
    DrawWatermarkOverlay(job, meta, dm, size.cx, size.cy);
    if (barcodeHere) DrawBarcode(job, meta, dm, size.cx, size.cy);
    bool batesFailed = false;
    if (!roles.barcodeSeparator) {
      if (annotate) image.DrawAnnotation(meta, dm, stampCopy);
      if (settings.header) image.DrawHeader(meta, dm, stampCopy);
      if (settings.footer) image.DrawFooter(meta, dm, stampCopy);
      if (settings.textStamp) DrawTextWatermarkStamp(job, meta, dm, true, stampCopy);
      if (bates) {
        if (SetupBatesNumber(job, dm))
          image.DrawBatesNumber(meta, dm);
        else
          batesFailed = true;
      }
    }
    *phOverlay = CloseEnhMetaFile(meta);
    if (batesFailed) {
      Trace(u"Error loading BatesNumbering.");
      return FALSE;
    }
  }
  if (!phUnderlay) return TRUE;
  *phUnderlay = nullptr;
  if ((!settings.imageWatermark && !settings.textWatermark) || roles.barcodeSeparator) return TRUE;
  HDC meta = NewMetaFile(printer, frame);
  if (!meta) return FALSE;
  if (settings.imageWatermark &&
      !image.AddWatermark(meta, dm, dm ? dm->PaperWidthInPixels : 1728, static_cast<LONG>(image.m_dwImageHeight)))
    Trace(u"CEMFImage: the image watermark was not drawn");
  if (settings.textWatermark) DrawTextWatermarkStamp(job, meta, dm, false, underlayCopy);
  *phUnderlay = CloseEnhMetaFile(meta);
  return TRUE;
}

}  // namespace

int CALLBACK ReplayEMFRecordProc(HDC hdc, HANDLETABLE* table, const ENHMETARECORD* record, int handles, LPARAM) {
  const UINT n = static_cast<UINT>(handles);
  if (!IsTextOut(record->iType) || record->nSize < sizeof(EMR) || record->nSize % 4 != 0) {
    PlayEnhMetaFileRecord(hdc, table, record, n);
    return 1;
  }
  // The text record is changed in a copy and played as it is otherwise, so
  // its graphics mode, scales and spacing stay the record's own.
  thread_local std::vector<DWORD> copy;
  copy.resize(record->nSize / 4);
  std::memcpy(copy.data(), record, record->nSize);
  ClearIgnoreLanguage(reinterpret_cast<BYTE*>(copy.data()), record->nSize, record->iType);
  PlayEnhMetaFileRecord(hdc, table, reinterpret_cast<const ENHMETARECORD*>(copy.data()), n);
  return 1;
}

HENHMETAFILE RotateEMF(CTWJob* pJob, HENHMETAFILE hEmf, const EMFPageSizeF& size, const TarnwickDEVMODE* pDevMode,
                       int rotation) {
  EmfPtr source(hEmf);
  ENHMETAHEADER header;
  if (!pJob || !source || !ReadHeader(source.get(), header)) return nullptr;
  const bool quarter = rotation == 1 || rotation == 3;
  TarnwickDEVMODE copy{};
  if (pDevMode) {
    copy = *pDevMode;
    if (copy.DM.dmOrientation == 2) SwapPaper(copy);
    if (quarter) copy.DM.dmOrientation = copy.DM.dmOrientation == 2 ? 1 : 2;
  }
  DcPtr printer = PrinterFor(*pJob, pDevMode ? &copy : nullptr);
  if (!printer) return nullptr;
  RECT frame = FrameOf(header);
  if (quarter) frame = {frame.top, frame.left, frame.bottom, frame.right};
  HDC meta = NewMetaFile(printer.get(), frame);
  if (!meta) return nullptr;
  const FLOAT w = size.cx, h = size.cy;
  XFORM xf{1, 0, 0, 1, 0, 0};
  switch (rotation) {
    case 1: xf = {0, -1, 1, 0, 0, w}; break;   // (x, y) -> (y, W - x)
    case 2: xf = {-1, 0, 0, -1, w, h}; break;  // (x, y) -> (W - x, H - y)
    case 3: xf = {0, 1, -1, 0, h, 0}; break;   // (x, y) -> (H - y, x)
    default: break;
  }
  SetGraphicsMode(meta, GM_ADVANCED);
  SetWorldTransform(meta, &xf);
  const RECT rect{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)};
  if (!Replay(pJob, meta, source.get(), rect)) Trace(u"RotateEMF: playback stopped early (%d)", GetLastError());
  return CloseEnhMetaFile(meta);
}

HENHMETAFILE CropEMF(CTWJob* pJob, HENHMETAFILE hEmf, const EMFPageSizeF& size, const EMFResolutionF& res,
                     const TarnwickDEVMODE* pDevMode, const RECT& trim) {
  EmfPtr source(hEmf);
  ENHMETAHEADER header;
  if (!pJob || !source || !ReadHeader(source.get(), header) || res.x <= 0 || res.y <= 0) return nullptr;
  TarnwickDEVMODE copy{};
  if (pDevMode) {
    copy = *pDevMode;
    copy.PaperWidthInPixels = static_cast<LONG>(size.cx);
    copy.PaperHeightInPixels = static_cast<LONG>(size.cy);
    dmns::SetPaperWidth(copy, static_cast<LONG>(size.cx / res.x * 254.0f + 0.5f));
    dmns::SetPaperLength(copy, static_cast<LONG>(size.cy / res.y * 254.0f + 0.5f));
    copy.DM.dmPaperSize = 0;
    if (copy.DM.dmOrientation == 2) SwapPaper(copy);
  }
  DcPtr printer = PrinterFor(*pJob, pDevMode ? &copy : nullptr);
  if (!printer) return nullptr;
  const RECT frame{0, 0, static_cast<LONG>(size.cx / res.x * 2540.0f + 0.5f),
                   static_cast<LONG>(size.cy / res.y * 2540.0f + 0.5f)};
  if (frame.right <= 0 || frame.bottom <= 0) return nullptr;
  HDC meta = NewMetaFile(printer.get(), frame);
  if (!meta) return nullptr;
  const RECT old = FrameOf(header);
  XFORM xf{static_cast<FLOAT>(old.right - old.left) / static_cast<FLOAT>(frame.right), 0, 0,
           static_cast<FLOAT>(old.bottom - old.top) / static_cast<FLOAT>(frame.bottom),
           -static_cast<FLOAT>(trim.left), -static_cast<FLOAT>(trim.top)};
  SetGraphicsMode(meta, GM_ADVANCED);
  SetWorldTransform(meta, &xf);
  const RECT rect{0, 0, static_cast<LONG>(size.cx), static_cast<LONG>(size.cy)};
  if (!Replay(pJob, meta, source.get(), rect)) Trace(u"CropEMF: playback stopped early (%d)", GetLastError());
  return CloseEnhMetaFile(meta);
}

BOOL ApplyRotationToEMFs(CTWJob* pJob, HENHMETAFILE* phPage, HENHMETAFILE* phOverlay, HENHMETAFILE* phUnderlay,
                         TarnwickDEVMODE* pDevMode, EMFPageSizeF* pSize) {
  if (!pJob || !pSize) return FALSE;
  st::SettingsScope scope = pJob->SettingsScope();
  st::EffectiveContext ctx{scope, pDevMode, pJob->MergeStateForSettings(), pJob->m_bTiffViewer != FALSE};
  LONG rotation = st::Effective(ctx, st::PageRotation);
  if (pDevMode && (pDevMode->Flags & dmns::flags::RotatePaper)) rotation = pDevMode->DM.dmOrientation == 2 ? 3 : 0;
  if (rotation < 1 || rotation > 3) return TRUE;
  BOOL ok = TRUE;
  for (HENHMETAFILE* emf : {phPage, phOverlay, phUnderlay}) {
    if (!emf || !*emf) continue;
    *emf = RotateEMF(pJob, *emf, *pSize, pDevMode, static_cast<int>(rotation));
    if (!*emf) ok = FALSE;
  }
  if (rotation == 1 || rotation == 3) {
    if (pDevMode) {
      SwapPaper(*pDevMode);
      std::swap(pDevMode->DM.dmPrintQuality, pDevMode->DM.dmYResolution);
    }
    std::swap(pSize->cx, pSize->cy);
  }
  return ok;
}

BOOL CEMFImage::CreateEnhMetaFileExt(HGLOBAL hData, TarnwickDEVMODE* pDevMode, CTWJob* pJob, HENHMETAFILE* phPage,
                                     HENHMETAFILE* phOverlay, EMFPageSizeF* pSize, EMFResolutionF* pRes,
                                     HENHMETAFILE* phUnderlay, BOOL bRedirect, DWORD dwCopy, RECT* pTrim) {
  Trace(u"CEMFImage::CreateEnhMetaFileExt starts");
  m_pJob = pJob;
  if (!pJob || !phPage || !phOverlay || !pSize || !pRes) return FALSE;
  CTWJob& job = *pJob;
  *phPage = ReadMetaFile(hData, pJob);
  if (!*phPage) return FALSE;
  if (!bRedirect && !PageFontsRegistered(job)) RegisterFonts(*phPage);

  ENHMETAHEADER header;
  if (!ReadHeader(*phPage, header)) {
    Trace(u"CEMFImage::CreateEnhMetaFileExt: the metafile header cannot be read");
    return FALSE;
  }
  if (!PageSizeOf(header, *pSize, *pRes)) {
    Trace(u"CEMFImage::CreateEnhMetaFileExt: the metafile has no page size");
    return FALSE;
  }
  LONG ppm = 0;
  RECT bounds{0, 0, -1, -1};
  GetEMFPageSizeInPixels(*phPage, &ppm, &bounds, GetEnhMetaFileHeader(*phPage, 0, nullptr));
  if (!FillBITMAPINFO(pDevMode)) return Fail(251, __FILE__, __LINE__);
  const LONG rasterWidth = m_lpBmi->bmiHeader.biWidth, rasterHeight = m_lpBmi->bmiHeader.biHeight;

  PageSettings settings = ReadPageSettings(job, pDevMode);
  TarnwickDEVMODE copy{};
  const bool fax = pDevMode && (pDevMode->Flags & dmns::flags::FaxOutput);
  const bool faxCorrection = bRedirect && fax && dmns::GetFaxMode(pDevMode) == 2;
  if (pDevMode) {
    copy = *pDevMode;
    if (faxCorrection) {
      copy.Flags = (copy.Flags & ~(dmns::flags::FaxModeBit4 | dmns::flags::FaxModeBit2 | dmns::flags::FaxModeBit1)) |
                   dmns::flags::FaxModeBit3;
      const LONG x = dmns::GetXDPI(pDevMode), y = dmns::GetYDPI(pDevMode);
      if (y > 0) {
        if (copy.DM.dmOrientation == 2)
          copy.PaperWidthInPixels = static_cast<LONG>(static_cast<long long>(copy.PaperWidthInPixels) * x / y);
        else
          copy.PaperHeightInPixels = static_cast<LONG>(static_cast<long long>(copy.PaperHeightInPixels) * x / y);
      }
      dmns::SetResolution(copy, x, x);
    }
  }
  DcPtr printer = CreatePrinterDC(job, pDevMode ? &copy : nullptr, settings.scope, settings.useWindowsSessionId);
  if (!printer) return FALSE;
  if (settings.checkFonts) CheckPageFonts(job, printer.get(), *phPage);

  FLOAT width = pSize->cx, height = pSize->cy;
  if (faxCorrection) {
    if (pDevMode->DM.dmOrientation == 2)
      width = width / pRes->x * pRes->y;
    else
      height = height / pRes->y * pRes->x;
  }
  m_dwImageHeight = static_cast<DWORD>(height);
  m_lpBmi->bmiHeader.biWidth = static_cast<LONG>(width);

  // The margins to trim, in reference pixels.
  RECT trim{0, 0, 0, 0};
  if (pTrim) {
    if (settings.trimByIntensity || settings.crop) {
      // The companion raster's trimmed area, moved to the metafile's pixels.
      if (rasterWidth > 0 && rasterHeight > 0 && m_nWidth > 0 && m_nHeight > 0) {
        const double sx = width / rasterWidth, sy = height / rasterHeight;
        trim.left = static_cast<LONG>(m_nLeft * sx);
        trim.top = static_cast<LONG>(m_nTop * sy);
        trim.right = static_cast<LONG>(std::max<LONG>(0, rasterWidth - m_nLeft - m_nWidth) * sx);
        trim.bottom = static_cast<LONG>(std::max<LONG>(0, rasterHeight - m_nTop - m_nHeight) * sy);
      }
    } else if (!BoundsEmpty(bounds) && settings.trim.Any()) {
      const LONG w = static_cast<LONG>(width), h = static_cast<LONG>(height);
      if (settings.trim.left) trim.left = std::max<LONG>(0, bounds.left);
      if (settings.trim.top) trim.top = std::max<LONG>(0, bounds.top);
      if (settings.trim.right) trim.right = std::max<LONG>(0, w - bounds.right - 1);
      if (settings.trim.bottom) trim.bottom = std::max<LONG>(0, h - bounds.bottom - 1);
    }
    // At least one pixel of the page stays.
    if (trim.left + trim.right >= static_cast<LONG>(width)) trim.left = trim.right = 0;
    if (trim.top + trim.bottom >= static_cast<LONG>(height)) trim.top = trim.bottom = 0;
    width = std::max<FLOAT>(1, width - static_cast<FLOAT>(trim.left + trim.right));
    height = std::max<FLOAT>(1, height - static_cast<FLOAT>(trim.top + trim.bottom));
    *pTrim = trim;
  }
  pSize->cx = width;
  pSize->cy = height;

  // The text passes.
  const DWORD flags = pDevMode ? pDevMode->Flags : 0;
  const DWORD method = dmns::GetFileGenerationMethod(pDevMode);
  const RECT frame = FrameOf(header);
  if ((flags & dmns::flags::MailMerge) || !pDevMode || settings.contentBasedEmail || method == 9 ||
      BarcodeFromPageText(job, pDevMode)) {
    HDC meta = NewMetaFile(printer.get(), frame);
    if (meta) {
      const RECT rect{0, 0, static_cast<LONG>(pSize->cx), static_cast<LONG>(pSize->cy)};
      PlayOptions play;
      play.job = &job;
      play.dm = pDevMode;
      play.antialiasing = settings.antialiasing;
      play.textToCollector = true;
      play.collectFirst = true;
      if (!PlayPage(*phPage, meta, rect, play)) Trace(u"CEMFImage::CreateEnhMetaFileExt: the text pass stopped early");
      DeleteEnhMetaFile(CloseEnhMetaFile(meta));
    }
  }

  const PageRoles& roles = settings.roles;
  if (!MakeDecorationLayers(*this, job, printer.get(), frame, pDevMode, settings,
                            {static_cast<LONG>(pSize->cx), static_cast<LONG>(pSize->cy)},
                            OverlayIsotropic(job, pDevMode, bRedirect != FALSE, settings.vectorFormat), dwCopy, dwCopy,
                            phOverlay, phUnderlay))
    return FALSE;

  // The separator page carries nothing of the page.
  if (roles.barcodeSeparator) {
    HDC meta = NewMetaFile(printer.get(), frame);
    if (!meta) return FALSE;
    DeleteEnhMetaFile(std::exchange(*phPage, CloseEnhMetaFile(meta)));
    if (!*phPage) return FALSE;
  }
  printer.reset();

  if (trim.left || trim.top || trim.right || trim.bottom) {
    *phPage = CropEMF(pJob, *phPage, *pSize, *pRes, pDevMode, trim);
    if (!*phPage) return FALSE;
  }
  if (bRedirect) return TRUE;
  if (!ApplyRotationToEMFs(pJob, phPage, phOverlay, phUnderlay, pDevMode, pSize)) return FALSE;
  return ApplyPagesPerSheet(job, phPage, phOverlay, phUnderlay, pDevMode, pSize);
}

BOOL CEMFImage::CreateEnhMetaFileFromRawDataExt(HGLOBAL hData, TarnwickDEVMODE* pDevMode, CTWJob* pJob,
                                                HENHMETAFILE* phPage, HENHMETAFILE* phOverlay, EMFPageSizeF* pSize,
                                                EMFResolutionF* pRes, HENHMETAFILE* phUnderlay, DWORD dwCopy) {
  Trace(u"CEMFImage::CreateEnhMetaFileFromRawDataExt starts");
  m_pJob = pJob;
  if (!pJob || !phPage || !phOverlay || !pSize || !pRes) return FALSE;
  CTWJob& job = *pJob;
  *phPage = ReadMetaFileFromRawData(hData, pDevMode, pJob);
  if (!*phPage) return FALSE;
  ENHMETAHEADER header;
  if (!ReadHeader(*phPage, header) || !PageSizeOf(header, *pSize, *pRes)) {
    Trace(u"CEMFImage::CreateEnhMetaFileFromRawDataExt: the metafile has no page size");
    return FALSE;
  }
  PageSettings settings = ReadPageSettings(job, pDevMode);
  TarnwickDEVMODE copy{};
  if (pDevMode) copy = *pDevMode;
  DcPtr printer = CreatePrinterDC(job, pDevMode ? &copy : nullptr, settings.scope, settings.useWindowsSessionId);
  if (!printer) return FALSE;
  m_dwImageHeight = static_cast<DWORD>(pSize->cy);
  const RECT frame = FrameOf(header);
  const LONG w = static_cast<LONG>(pSize->cx), h = static_cast<LONG>(pSize->cy);
  const PageRoles& roles = settings.roles;
  // The watermark overlay in the raw page's own units; decorations copy 1.
  if (!MakeDecorationLayers(*this, job, printer.get(), frame, pDevMode, settings, {w, h}, false, 1, dwCopy, phOverlay,
                            phUnderlay))
    return FALSE;
  if (roles.barcodeSeparator) {
    HDC meta = NewMetaFile(printer.get(), frame);
    if (!meta) return FALSE;
    DeleteEnhMetaFile(std::exchange(*phPage, CloseEnhMetaFile(meta)));
    if (!*phPage) return FALSE;
  }
  printer.reset();
  if (!ApplyRotationToEMFs(pJob, phPage, phOverlay, phUnderlay, pDevMode, pSize)) return FALSE;
  return ApplyPagesPerSheet(job, phPage, phOverlay, phUnderlay, pDevMode, pSize);
}
