// CEMFImage: the page pass of a metafile page, the render bitmap and its
// header, and the copy of rendered rows into the page DIB.
#include "render/emf/emf_image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/log/tw_log.h"
#include "core/thread_state.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/settings/settings_store.h"
#include "render/emf/emf_internal.h"
#include "render/render_setup.h"
#include "tw/packed_dib.h"
#include "tw/wingdi_emf.h"

namespace st = tw::settings;
namespace dmns = tw::devmode;
using namespace tw::render;

#define EMF_FAIL(n) Fail((n), __FILE__, __LINE__)

namespace tw::render {

HeaderPtr MakeBitmapHeader(LONG width, LONG height, WORD bits, LONG xPelsPerMeter, LONG yPelsPerMeter) {
  BitmapGeometry g{width, height, 0, 0, bits};
  if (width <= 0 || height <= 0 || (bits != 1 && bits != 24) || g.ImageBytes() > kMaxPageImageBytes) return nullptr;
  const DWORD colors = bits == 1 ? 2 : 0;
  HeaderPtr header(
      static_cast<BITMAPINFO*>(GlobalAlloc(GPTR, sizeof(BITMAPINFOHEADER) + std::max<DWORD>(colors, 1) * sizeof(RGBQUAD))));
  if (!header) return nullptr;
  BITMAPINFOHEADER& h = header->bmiHeader;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = bits;
  h.biCompression = BI_RGB;
  h.biSizeImage = static_cast<DWORD>(g.ImageBytes());
  h.biXPelsPerMeter = xPelsPerMeter;
  h.biYPelsPerMeter = yPelsPerMeter;
  h.biClrUsed = colors;
  h.biClrImportant = 0;
  if (bits == 1) {
    header->bmiColors[0] = {0, 0, 0, 0};
    header->bmiColors[1] = {255, 255, 255, 0};
  }
  return header;
}

void ClearRowPadding(BYTE* row, std::size_t stride, LONG width, WORD bits) {
  std::size_t used = static_cast<std::size_t>(width) * bits;
  std::size_t whole = used / 8;
  if (unsigned rest = used % 8) {
    row[whole] = static_cast<BYTE>(row[whole] & ~(0xFFu >> rest));
    ++whole;
  }
  if (whole < stride) std::memset(row + whole, 0, stride - whole);
}

PageSettings ReadPageSettings(CTWJob& job, const TarnwickDEVMODE* dm) {
  PageSettings s;
  s.scope = job.SettingsScope();
  st::EffectiveContext ctx{s.scope, dm, job.MergeStateForSettings(), job.m_bTiffViewer != FALSE};
  s.roles = GetPageRoles(job);
  s.format = st::EffectiveFileFormat(ctx);
  s.vectorFormat = s.format >= 36 && s.format <= 41;
  s.trim = {st::Effective(ctx, st::PageTrimWhitespaceLeft) != 0, st::Effective(ctx, st::PageTrimWhitespaceTop) != 0,
            st::Effective(ctx, st::PageTrimWhitespaceRight) != 0,
            st::Effective(ctx, st::PageTrimWhitespaceBottom) != 0};
  s.trimByIntensity = st::Effective(ctx, st::PageTrimByGrayscaleIntensity);
  s.intensity = st::Effective(ctx, st::PageGrayscaleIntensityForTrimming);
  s.crop = st::Effective(ctx, st::PageCropPage);
  if (s.crop) {
    s.cropMode = st::Effective(ctx, st::PageCropMode);
    s.cropLeft = st::Effective(ctx, st::PageCropLeft);
    s.cropTop = st::Effective(ctx, st::PageCropTop);
    s.cropRight = st::Effective(ctx, st::PageCropRight);
    s.cropBottom = st::Effective(ctx, st::PageCropBottom);
  }
  s.rotation = st::Effective(ctx, st::PageRotation);
  s.antialiasing = st::Effective(ctx, st::PageAntialiasing);
  s.useWindowsSessionId = st::Effective(ctx, st::MessagingUseWindowsSessionId);
  s.checkFonts = st::Effective(ctx, st::TroubleDebugLoggingEnable) != 0 || GetDebugSwitch() != 0;
  s.imageWatermark = st::EffectiveImageWatermark(ctx);
  const bool firstPage = s.roles.firstDocumentPage;
  const bool stampFirstOnly = st::Effective(ctx, st::StampFirstPageOnly) != 0;
  s.textWatermark = st::Effective(ctx, st::StampTextWatermarkEnable) != 0 && (!stampFirstOnly || firstPage);
  s.textStamp = st::Effective(ctx, st::StampTextStampEnable) != 0 && (!stampFirstOnly || firstPage);
  s.header = st::Effective(ctx, st::HeaderEnable) != 0 && (st::Effective(ctx, st::HeaderFirstPageOnly) == 0 || firstPage);
  s.footer = st::Effective(ctx, st::FooterEnable) != 0 && (st::Effective(ctx, st::FooterFirstPageOnly) == 0 || firstPage);
  s.contentBasedEmail = st::Effective(ctx, st::EmailContentBased);
  s.simpleContentBasedEmail = st::Effective(ctx, st::EmailSimpleContentBased);
  return s;
}

DcPtr CreatePrinterDC(CTWJob& job, TarnwickDEVMODE* dm, const st::SettingsScope& scope, bool keepInterfaceId) {
  std::optional<TarnwickDEVMODE> copy;
  if (dm) copy = *dm;
  std::optional<DWORD> interfaceId;
  if (keepInterfaceId) interfaceId = st::Read(scope, st::MessagingInterfaceId);
  DcPtr dc(CreateDCW(u"WINSPOOL", job.m_szPrinterName, nullptr,
                     copy ? reinterpret_cast<const DEVMODEW*>(&*copy) : nullptr));
  if (interfaceId) {
    // Making the context must not change the interface the clients are told of.
    if (!st::Write(scope, st::MessagingInterfaceId, *interfaceId))
      Trace(u"CEMFImage: Messaging Interface ID not written back (%d)", GetLastError());
    if (dm) dm->SessionID = *interfaceId;
  }
  if (!dc) Trace(u"CEMFImage: CreateDC FAILED (%d)", GetLastError());
  return dc;
}

}  // namespace tw::render

namespace {

// Width and height of a header, with its image size.
void SetHeaderSize(BITMAPINFOHEADER& h, LONG width, LONG height) {
  h.biWidth = width;
  h.biHeight = height;
  h.biSizeImage = static_cast<DWORD>(tw::dib::RowBytes(width, h.biBitCount) * static_cast<std::size_t>(height));
}

bool SameBitmap(const BITMAPINFOHEADER& a, const BITMAPINFOHEADER& b) {
  return a.biWidth == b.biWidth && a.biHeight == b.biHeight && a.biBitCount == b.biBitCount;
}

HBITMAP MakeDibSection(HDC hdc, const BITMAPINFO* header) {
  void* bits = nullptr;
  return CreateDIBSection(hdc, header, DIB_RGB_COLORS, &bits, nullptr, 0);
}

void CallEnableEudc() {
  HMODULE gdi = LoadLibraryW(u"gdi32.dll");
  if (!gdi) return;
  using EnableEudcFn = BOOL(WINAPI*)(BOOL);
  if (auto enable = reinterpret_cast<EnableEudcFn>(GetProcAddress(gdi, "EnableEUDC"))) enable(TRUE);
  FreeLibrary(gdi);
}

struct FontCheck {
  CTWJob* job;
  HDC printer;
};

int CALLBACK FontFoundProc(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

// Every face of the page that the printer does not know is reported.
int CALLBACK FontCheckProc(HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM param) {
  if (record->iType != EMR_EXTCREATEFONTINDIRECTW || record->nSize < EMR_EXTCREATEFONTINDIRECTW_MIN_SIZE) return 1;
  auto& check = *reinterpret_cast<FontCheck*>(param);
  LOGFONTW lf;
  std::memcpy(&lf, reinterpret_cast<const BYTE*>(record) + offsetof(EMREXTCREATEFONTINDIRECTW, elfw), sizeof lf);
  WCHAR face[LF_FACESIZE + 1] = {};
  std::memcpy(face, lf.lfFaceName, sizeof lf.lfFaceName);
  if (_wcsnicmp(face, u"system", 6) == 0) return 1;
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  std::memcpy(query.lfFaceName, face, sizeof query.lfFaceName);
  bool found = false;
  EnumFontFamiliesExW(check.printer, &query, FontFoundProc, reinterpret_cast<LPARAM>(&found), 0);
  if (!found) {
    WCHAR text[96];
    swprintf(text, 96, u"Error: Could not find font: %s", face);
    WriteDebugLog(*check.job, text);
    check.job->ReportJobError(FALSE, u"Could not find font: %s", face);
  }
  return 1;
}

}  // namespace

void tw::render::CheckPageFonts(CTWJob& job, HDC printer, HENHMETAFILE emf) {
  FontCheck check{&job, printer};
  EnumEnhMetaFile(nullptr, emf, FontCheckProc, &check, nullptr);
}

CEMFImage::CEMFImage() = default;

CEMFImage::~CEMFImage() {
  if (m_hDIB) GlobalFree(m_hDIB);
  if (m_lpBmi) GlobalFree(m_lpBmi);
  if (m_pJob && m_pJob->m_dwEndPageDelay) Sleep(m_pJob->m_dwEndPageDelay);
}

HGLOBAL CEMFImage::TakeDIB() { return std::exchange(m_hDIB, nullptr); }

void CEMFImage::ReplaceDIB(HGLOBAL hNew) {
  if (m_hDIB && m_hDIB != hNew) GlobalFree(m_hDIB);
  m_hDIB = hNew;
}

BOOL CEMFImage::Fail(int number, const char* file, int line) {
  if (m_pJob) m_pJob->HandleError(number, file, line);
  return FALSE;
}

BOOL CEMFImage::FillHeader(TarnwickDEVMODE* pDevMode, bool raw) {
  auto geometry = ComputeBitmapGeometry(pDevMode, raw);
  if (!geometry) return FALSE;
  HeaderPtr header = MakeBitmapHeader(geometry->width, geometry->height, geometry->bits,
                                      geometry->XPelsPerMeter(), geometry->YPelsPerMeter());
  if (!header) {
    if (m_pJob) m_pJob->HandleError(u"Out of memory", __FILE__, __LINE__);
    return FALSE;
  }
  if (m_lpBmi) GlobalFree(m_lpBmi);
  m_lpBmi = header.release();
  return TRUE;
}

BOOL CEMFImage::FillBITMAPINFO(TarnwickDEVMODE* pDevMode) { return FillHeader(pDevMode, false); }

BOOL CEMFImage::FillBITMAPINFOForRawData(TarnwickDEVMODE* pDevMode) { return FillHeader(pDevMode, true); }

LPBITMAPINFO CEMFImage::FillBITMAPINFO2(CTWJob* pJob, const TarnwickDEVMODE* pDevMode, LONG width, LONG height,
                                        LONG xPelsPerMeter, LONG yPelsPerMeter) {
  BitmapGeometry g{width, height, 0, 0, RenderBitsFor(pDevMode)};
  if (width <= 0 || height <= 0 || g.ImageBytes() > kMaxPageImageBytes) return nullptr;
  HeaderPtr header = MakeBitmapHeader(width, height, g.bits, xPelsPerMeter, yPelsPerMeter);
  if (!header && pJob) pJob->HandleError(u"Out of memory", __FILE__, __LINE__);
  return header.release();
}

BOOL CEMFImage::AllocPageDIB() {
  if (!m_lpBmi) return FALSE;
  const BITMAPINFOHEADER& h = m_lpBmi->bmiHeader;
  const std::size_t table = std::size_t{h.biClrUsed} * sizeof(RGBQUAD);
  // The rows are not cleared here: the band copies write every row whole.
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPINFOHEADER) + table + h.biSizeImage);
  if (!block) {
    LogMessageCapture(TWLOG_ERROR, u"CEMFImage::AllocPageDIB: GlobalAlloc failed, error %d", GetLastError());
    return FALSE;
  }
  tw::dib::GlobalBlock owner(block);
  tw::dib::BlockLock lock(block);
  if (!lock.ok()) return FALSE;
  std::memcpy(lock.data(), m_lpBmi, sizeof(BITMAPINFOHEADER) + table);
  lock.Unlock();
  ReplaceDIB(owner.release());
  return TRUE;
}

// The rows of a band land in the page DIB in one GetDIBits call; the
// bytes past the pixels of each row are cleared so that the page's bytes
// are the same on every run.
BOOL CEMFImage::CopyBandToDIB(HDC hdc, HBITMAP hBitmap, DWORD bandTop, const BITMAPINFO* pHeader) {
  if (!hBitmap || !pHeader || !m_hDIB) return FALSE;
  GdiFlush();
  BITMAP bm{};
  if (!GetObjectW(hBitmap, sizeof bm, &bm) || bm.bmHeight <= 0) return FALSE;
  tw::dib::BlockLock lock(m_hDIB);
  if (!lock.ok()) return FALSE;
  auto layout = tw::dib::ReadLayout(lock.bytes());
  if (!layout || layout->headerSize != sizeof(BITMAPINFOHEADER)) return FALSE;
  if (bandTop >= static_cast<DWORD>(layout->height)) return TRUE;
  const LONG rows = std::min<LONG>(bm.bmHeight, layout->height - static_cast<LONG>(bandTop));
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
  } info{};
  std::memcpy(&info, lock.data(), layout->bitsOffset);
  info.header.biHeight = layout->topDown ? -bm.bmHeight : bm.bmHeight;
  info.header.biSizeImage = 0;
  // Bottom-up scan lines count from the bitmap's bottom: the band's rows
  // are its last `rows` scan lines from the top.
  UINT start = layout->topDown ? 0 : static_cast<UINT>(bm.bmHeight - rows);
  LONG firstMemoryRow = layout->topDown ? static_cast<LONG>(bandTop) : layout->height - static_cast<LONG>(bandTop) - rows;
  BYTE* first = lock.data() + layout->MemoryRow(firstMemoryRow);
  int copied = GetDIBits(hdc, hBitmap, start, static_cast<UINT>(rows), first, reinterpret_cast<BITMAPINFO*>(&info),
                         DIB_RGB_COLORS);
  if (copied != rows) return FALSE;
  for (LONG i = 0; i < rows; ++i)
    ClearRowPadding(first + static_cast<std::size_t>(i) * layout->stride, layout->stride, layout->width, layout->bits);
  return TRUE;
}

BOOL CopyBitmapToNewDIB(HDC hdc, HBITMAP hBitmap, const BITMAPINFO* pHeader, HGLOBAL* phDIB) {
  if (!phDIB) return FALSE;
  *phDIB = nullptr;
  if (!hBitmap || !pHeader) return FALSE;
  const BITMAPINFOHEADER& h = pHeader->bmiHeader;
  auto dib = tw::dib::AllocDib(h, h.biWidth, h.biHeight, h.biBitCount, h.biClrUsed);
  if (!dib) return FALSE;
  {
    tw::dib::BlockLock lock(dib->block.get());
    if (!lock.ok()) return FALSE;
    std::memcpy(lock.data() + dib->layout.tableOffset, pHeader->bmiColors, std::size_t{h.biClrUsed} * sizeof(RGBQUAD));
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colors[256];
    } info{};
    std::memcpy(&info, lock.data(), dib->layout.bitsOffset);
    GdiFlush();
    int rows = GetDIBits(hdc, hBitmap, 0, static_cast<UINT>(dib->layout.height), lock.data() + dib->layout.bitsOffset,
                         reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    if (rows != dib->layout.height) return FALSE;
  }
  *phDIB = dib->block.release();
  return TRUE;
}

HBITMAP GetCachedDIBSection(HDC hdc, const BITMAPINFO* pHeader) {
  if (!pHeader) return nullptr;
  THREAD_STATE* state = tw::core::GetThreadState();
  if (!state) return nullptr;
  const BITMAPINFOHEADER& want = pHeader->bmiHeader;
  HANDLE& cached = state->hCachedGdi[0];
  BITMAPINFOHEADER had;
  std::memcpy(&had, state->bmiRenderBitmap, sizeof had);
  auto drop = [&] {
    if (cached) DeleteObject(static_cast<HGDIOBJ>(cached));
    cached = nullptr;
    std::memset(state->bmiRenderBitmap, 0, sizeof state->bmiRenderBitmap);
  };
  if (cached && SameBitmap(had, want)) return static_cast<HBITMAP>(cached);
  drop();
  HBITMAP made = nullptr;
  // One-bit pages render into a monochrome bitmap, so that GDI makes the
  // one-bit image itself; a DIB section when it cannot be had.
  if (want.biBitCount == 1) made = CreateBitmap(want.biWidth, std::abs(want.biHeight), 1, 1, nullptr);
  if (!made) made = MakeDibSection(hdc, pHeader);
  if (!made) return nullptr;
  cached = made;
  std::memcpy(state->bmiRenderBitmap, &want, sizeof want);
  return made;
}

HBITMAP GetDIBSection2(HDC hdc, const BITMAPINFO* pHeader) {
  if (!pHeader) return nullptr;
  const BITMAPINFOHEADER& want = pHeader->bmiHeader;
  if (want.biBitCount == 1)
    if (HBITMAP mono = CreateBitmap(want.biWidth, std::abs(want.biHeight), 1, 1, nullptr)) return mono;
  return MakeDibSection(hdc, pHeader);
}

void ReleaseRenderBitmapCache() {
  THREAD_STATE* state = tw::core::GetThreadState();
  if (!state) return;
  if (state->hCachedGdi[0]) DeleteObject(static_cast<HGDIOBJ>(state->hCachedGdi[0]));
  state->hCachedGdi[0] = nullptr;
  std::memset(state->bmiRenderBitmap, 0, sizeof state->bmiRenderBitmap);
}

BOOL CEMFImage::Create(HGLOBAL hData, TarnwickDEVMODE* pDevMode, CTWJob* pJob, BOOL bCompanion, BOOL bRegisterFonts,
                       BOOL bNoText) {
  Trace(u"> CEMFImage::Create");
  m_pJob = pJob;
  if (!pJob) return FALSE;
  SheetState sheet = GetSheetState(*pJob);
  if (sheet.pagesPerSheet > 0 && sheet.flush) {
    // The document's last, incomplete sheet.
    if (!ComposePendingSheet(*pJob, *this)) return EMF_FAIL(57);
    return !m_hDIB || ReducePage(pDevMode, false) ? TRUE : EMF_FAIL(57);
  }
  EmfPtr emf(ReadMetaFile(hData, pJob));
  if (!emf) return FALSE;
  LONG referencePpm = 0;
  RECT bounds{0, 0, -1, -1};
  UINT headerSize = GetEnhMetaFileHeader(emf.get(), 0, nullptr);
  SIZE reference = GetEMFPageSizeInPixels(emf.get(), &referencePpm, &bounds, headerSize);
  PageSettings settings = ReadPageSettings(*pJob, pDevMode);

  // The page size from the metafile unless the record fixes the paper.
  const DWORD paperBits = dmns::kDmPaperLength | dmns::kDmPaperWidth;
  if (pDevMode && (pDevMode->DM.dmFields & paperBits) != paperBits) {
    TargetSizeInputs in;
    in.reference = reference;
    in.xDpi = dmns::GetXDPI(pDevMode);
    in.yDpi = dmns::GetYDPI(pDevMode);
    in.landscape = pDevMode->DM.dmOrientation == 2;
    in.anisotropic = pJob->m_bAllowAnisotropicDpi != FALSE;
    in.vectorFormat = settings.vectorFormat;
    in.faxOutput = (pDevMode->Flags & dmns::flags::FaxOutput) != 0;
    in.saveAs = dmns::SaveAsApplies(pDevMode);
    in.faxMode = dmns::GetFaxMode(pDevMode);
    if (auto target = ComputeTargetSize(in)) {
      pDevMode->PaperWidthInPixels = target->widthPixels;
      pDevMode->PaperHeightInPixels = target->heightPixels;
      dmns::SetPaperWidth(*pDevMode, target->paperWidth);
      dmns::SetPaperLength(*pDevMode, target->paperLength);
    }
  }
  if (!FillBITMAPINFO(pDevMode)) return EMF_FAIL(251);

  // Trimming by the inked bounds, scaled to the page.
  BITMAPINFOHEADER& header = m_lpBmi->bmiHeader;
  const LONG fullWidth = header.biWidth, fullHeight = header.biHeight;
  BoundsTrim trim;
  if (!settings.trimByIntensity && settings.trim.Any())
    trim = ComputeBoundsTrim(bounds, reference, {fullWidth, fullHeight}, settings.trim);
  const Margins& t = trim.target;
  const Margins& r = trim.reference;
  SetHeaderSize(header, fullWidth - t.left - t.right, fullHeight - t.top - t.bottom);
  m_nLeft = t.left;
  m_nTop = t.top;
  m_nWidth = header.biWidth;
  m_nHeight = header.biHeight;
  const SIZE scaled{reference.cx - r.left - r.right, reference.cy - r.top - r.bottom};

  if (!AllocPageDIB()) return EMF_FAIL(252);
  if (!RenderMetaFile(emf.get(), pDevMode, settings, trim, scaled, referencePpm, bCompanion, bRegisterFonts,
                      bNoText)) {
    ReplaceDIB(nullptr);
    return FALSE;
  }
  emf.reset();
  return FinishPage(pDevMode, settings, false, bNoText);
}

BOOL CEMFImage::RenderMetaFile(HENHMETAFILE emf, TarnwickDEVMODE* pDevMode, const PageSettings& settings,
                               const BoundsTrim& trim, SIZE scaled, LONG referencePpm, BOOL bCompanion,
                               BOOL bRegisterFonts, BOOL bNoText) {
  CTWJob& job = *m_pJob;
  DcPtr printer = CreatePrinterDC(job, pDevMode, settings.scope, settings.useWindowsSessionId);
  if (!printer) return FALSE;
  DcPtr memory(CreateCompatibleDC(printer.get()));
  if (!memory) return FALSE;
  const LONG width = m_lpBmi->bmiHeader.biWidth, height = m_lpBmi->bmiHeader.biHeight;
  m_dwImageHeight = static_cast<DWORD>(height);
  HBITMAP render = GetCachedDIBSection(memory.get(), m_lpBmi);
  if (!render) {
    job.HandleError(u"Out of memory", __FILE__, __LINE__);
    return FALSE;
  }

  // Pages whose two resolutions differ are drawn at the metafile's own
  // resolution and stretched onto the page.
  const PageRoles& roles = settings.roles;
  bool scale = ScaledRendering(dmns::GetXDPI(pDevMode), dmns::GetYDPI(pDevMode),
                               pDevMode && (pDevMode->Flags & dmns::flags::FaxOutput), dmns::GetFaxMode(pDevMode),
                               roles.barcodeSeparator || roles.cover);
  DcPtr scaleDc;
  BitmapPtr scaledBitmap;
  if (scale) {
    scaleDc.reset(CreateCompatibleDC(printer.get()));
    HeaderPtr scaledHeader(FillBITMAPINFO2(&job, pDevMode, scaled.cx, scaled.cy, referencePpm, referencePpm));
    if (scaleDc && scaledHeader) scaledBitmap.reset(GetDIBSection2(scaleDc.get(), scaledHeader.get()));
    if (!scaledBitmap) scale = false;
  }

  const bool bates = pDevMode && (pDevMode->Flags & dmns::flags::BatesNumbering) && !bCompanion;
  const bool batesReady = bates && SetupBatesNumber(job, pDevMode);
  if (bRegisterFonts && !PageFontsRegistered(job)) RegisterFonts(emf);
  if (settings.checkFonts) CheckPageFonts(job, printer.get(), emf);

  // The page pass.
  HDC dc = memory.get();
  SelectGuard brush(dc, GetStockObject(WHITE_BRUSH));
  SelectGuard bitmap(dc, render);
  SetWindowOrgEx(dc, 0, 0, nullptr);
  const DWORD flags = pDevMode ? pDevMode->Flags : 0;
  const DWORD barcodeFlags = pDevMode ? pDevMode->BarcodeFlags : 0;
  const DWORD method = dmns::GetFileGenerationMethod(pDevMode);
  if (!bNoText && ((flags & dmns::flags::WriteText) || (barcodeFlags & 0x1) || settings.contentBasedEmail ||
                   settings.simpleContentBasedEmail || method == 9))
    RunTextPass(job, emf, printer.get(), pDevMode);
  PatBlt(dc, 0, 0, width, height, PATCOPY);

  const Margins& t = trim.target;
  const Margins& r = trim.reference;
  HDC target = dc;
  RECT rect{-t.left, -t.top, width + t.right, height + t.bottom};
  std::optional<SelectGuard> scaledBrush, scaledSelect;
  if (scale) {
    target = scaleDc.get();
    scaledBrush.emplace(target, GetStockObject(WHITE_BRUSH));
    scaledSelect.emplace(target, scaledBitmap.get());
    PatBlt(target, 0, 0, scaled.cx, scaled.cy, PATCOPY);
    rect = {-r.left, -r.top, scaled.cx + r.right, scaled.cy + r.bottom};
  }
  const LONG targetWidth = scale ? scaled.cx : width, targetHeight = scale ? scaled.cy : height;
  if (!roles.barcodeSeparator) {
    if (settings.imageWatermark && !AddWatermark(target, pDevMode, targetWidth, targetHeight))
      Trace(u"CEMFImage::Create: the image watermark was not drawn");
    if (settings.textWatermark) DrawTextWatermarkStamp(job, target, pDevMode, false, 1);
  }
  CallEnableEudc();
  PlayOptions play;
  play.job = &job;
  play.dm = pDevMode;
  play.antialiasing = settings.antialiasing;
  play.noText = bNoText != FALSE;
  play.textToCollector = (flags & dmns::flags::MailMerge) || BarcodeFromPageText(job, pDevMode) ||
                         settings.contentBasedEmail || method == 9;
  play.collectFirst = (flags & dmns::flags::MailMerge) || settings.contentBasedEmail ||
                      BarcodeFromPageText(job, pDevMode);
  if (!PlayPage(emf, target, rect, play)) Trace(u"CEMFImage::Create: playback stopped early (%d)", GetLastError());

  if (scale) {
    SetStretchBltMode(dc, BLACKONWHITE);
    SetStretchBltMode(target, BLACKONWHITE);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetWindowOrgEx(target, 0, 0, nullptr);
    if (!roles.barcodeSeparator) StretchBlt(dc, 0, 0, width, height, target, 0, 0, scaled.cx, scaled.cy, SRCCOPY);
  }
  DrawDecorations(dc, pDevMode, settings, width, height, batesReady, bates);
  scaledSelect.reset();
  scaledBrush.reset();
  bitmap.Restore();
  brush.Restore();
  if (!CopyBandToDIB(dc, render, 0, m_lpBmi)) return EMF_FAIL(52);
  GdiFlush();
  return TRUE;
}

// What is drawn over a rendered page (or band), in this order.
void CEMFImage::DrawDecorations(HDC dc, TarnwickDEVMODE* pDevMode, const PageSettings& settings, LONG width,
                                LONG height, bool batesReady, bool bates) {
  CTWJob& job = *m_pJob;
  const PageRoles& roles = settings.roles;
  DrawWatermarkOverlay(job, dc, pDevMode, width, height);
  const DWORD barcode = pDevMode ? pDevMode->BarcodeFlags : 0;
  if ((barcode & 0x1) && ((roles.barcodeSeparator && (barcode & 0x40)) || (roles.firstDocumentPage && (barcode & 0x2)) ||
                          (!roles.barcodeSeparator && !(barcode & 0x40) && !(barcode & 0x2))))
    DrawBarcode(job, dc, pDevMode, width, height);
  if (roles.barcodeSeparator) return;
  const DWORD annotation = pDevMode ? pDevMode->AnnotationFlags : 0;
  if ((annotation & 0x1) && (!(annotation & 0x2000000) || roles.firstDocumentPage)) DrawAnnotation(dc, pDevMode, 1);
  if (settings.header) DrawHeader(dc, pDevMode, 1);
  if (settings.footer) DrawFooter(dc, pDevMode, 1);
  if (settings.textStamp) DrawTextWatermarkStamp(job, dc, pDevMode, true, 1);
  if (batesReady)
    DrawBatesNumber(dc, pDevMode);
  else if (bates)
    Trace(u"CEMFImage::Create: Error loading BatesNumbering.");
}
