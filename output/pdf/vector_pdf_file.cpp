// The vector PDF writers (codes 36, 40, 41; PDF/A 38): each page's
// metafiles (page, overlay) are played into a page of the PDF engine's
// document; the document lives from the start of the job's document to its
// end (multipage) or for one page (SaveFile).
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "client/messaging/messaging.h"
#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/naming/naming.h"
#include "job/page/page_seams.h"
#include "job/settings/effective.h"
#include "output/pdf/pdf_seams.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/emf_image.h"
#include "render/emf/page_seams.h"
#include "tw_pdf_interface.h"

namespace st = tw::settings;
namespace dmns = tw::devmode;

namespace {

constexpr int kInterfaceNotCreated = 7;
constexpr int kNoPageData = 38;
constexpr int kNoFileName = 39;
// Engine failures are reported as this plus the engine's code.
constexpr int kEngineErrorBase = 310;

struct EmfDeleter {
  void operator()(HENHMETAFILE h) const {
    if (h) DeleteEnhMetaFile(h);
  }
};
using EmfPtr = std::unique_ptr<std::remove_pointer_t<HENHMETAFILE>, EmfDeleter>;

bool FileExists(const WCHAR* name) { return name && GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES; }

st::EffectiveContext ContextOf(const CTWJob& job, const TarnwickDEVMODE& record, const st::SettingsScope& scope) {
  return st::EffectiveContext{scope, &record, job.MergeStateForSettings(), job.m_bTiffViewer != FALSE};
}

bool EmailSplitByContent(const st::EffectiveContext& ctx) {
  return st::Effective(ctx, st::PostPrintSendInEmail) &&
         (st::Effective(ctx, st::EmailContentBased) || st::Effective(ctx, st::EmailSimpleContentBased));
}

// The job was cancelled: the document it started is abandoned, not ended.
bool JobCancelled(CTWJob& job) {
  st::SettingsScope scope = job.SettingsScope();
  if (st::Read(scope, st::JobAbortJob) != 0 || job.AbortPrinting()) return true;
  st::EffectiveContext ctx = ContextOf(job, job.m_DevMode, scope);
  std::optional<DWORD> cancel = st::EffectiveSaveAs(ctx, st::SaveAsDword::CancelWasPressed);
  return cancel && *cancel != 0;
}

// r(v): v + 0.5 truncated.
double RoundHalfUp(double v) { return std::trunc(v + 0.5); }

}  // namespace

CTWVectorPDFFile::~CTWVectorPDFFile() {
  Trace(u"CTWVectorPDFFile::~CTWVectorPDFFile()");
  // An unfinished document is abandoned with its interface.
  DestroyInterface();
  tw::output::ReleaseWatermarkDCs(m_Pdf.watermarkDCs);
}

BOOL CTWVectorPDFFile::Report(int number, const char* file, int line) {
  m_Pdf.anyErrorReported = true;
  return Fail(number, file, line);
}

void CTWVectorPDFFile::DestroyInterface() {
  // The pointers are forgotten with the interface, so that it is never destroyed twice.
  if (m_Pdf.pdfInt) m_Pdf.pdfInt->Destroy();
  m_Pdf.pdfInt = nullptr;
  m_Pdf.pdf = nullptr;
  m_Pdf.saveStarted = false;
}

bool CTWVectorPDFFile::CreateDocument(const TarnwickDEVMODE& record, const WCHAR* who) {
  DestroyInterface();
  m_Pdf.pdfInt = CPDFInt::CreateInterface();
  if (!m_Pdf.pdfInt) {
    Report(kInterfaceNotCreated, __FILE__, __LINE__);
    Trace(u"%s: Error creating interface.", who);
    return false;
  }
  m_Pdf.pdf = m_Pdf.pdfInt->GetPDF();
  SetPdfSettings(record);
  if (!m_Pdf.pdf) {
    Report(kEngineErrorBase + m_Pdf.pdfInt->GetLastError(), __FILE__, __LINE__);
    Trace(u"%s: Error getting CPDF object.", who);
    DestroyInterface();
    return false;
  }
  if (m_pJob && (tw::naming::ExistingFileAction(*m_pJob) == 0 || m_pJob->m_bPdfCoverPage)) m_Pdf.pdf->SetAppend(TRUE);
  return true;
}

CTWVectorPDFFile::Start CTWVectorPDFFile::StartSave(const WCHAR* name) {
  if (!m_Pdf.pdf) return Start::Reported;
  const bool memory = m_pJob && m_pJob->m_bGenerateInMemory;
  BOOL ok;
  if (memory) {
    Trace(u"CTWVectorPDFFile::StartSavePDFToMemory.");
    ok = m_Pdf.pdf->StartSavePDFToMemory(nullptr);
  } else {
    Trace(u"CTWVectorPDFFile::StartSavePDFFile: %s", name);
    ok = m_Pdf.pdf->StartSavePDFFileW(name);
  }
  if (ok) {
    m_Pdf.saveStarted = true;
    if (m_pJob && (tw::naming::ExistingFileAction(*m_pJob) == 0 || m_pJob->m_bPdfCoverPage)) {
      // The new pages go behind those of the file (never page 0).
      const int n = m_Pdf.pdf->GetNumberOfPages();
      m_Pdf.page = static_cast<DWORD>(std::max(n, 0)) + 1;
      if (n > 0) m_Pdf.counter = static_cast<DWORD>(n) + 1;
    }
    return Start::Started;
  }
  const int code = m_Pdf.pdf->GetLastError();
  DestroyInterface();
  m_Pdf.errorReported = true;
  if (!memory && m_pJob && !m_pJob->ValidateOutputFile(u"Cannot write PDF file: ", name, TRUE)) {
    m_Pdf.anyErrorReported = true;  // the path check has said why
    return Start::Failed;
  }
  Report(kEngineErrorBase + code, __FILE__, __LINE__);
  return Start::Reported;
}

BOOL CTWVectorPDFFile::InitializeInterface(const TarnwickDEVMODE& record, const WCHAR* szFileName, BOOL bMultipage) {
  Trace(u"CTWVectorPDFFile::InitializeInterface starts.");
  m_Pdf.page = 1;
  m_Pdf.counter = 1;
  m_Pdf.errorReported = false;
  m_Pdf.printed = false;
  m_Pdf.multipage = bMultipage != FALSE;
  m_Pdf.fileName[0] = 0;
  if (szFileName) lstrcpynW(m_Pdf.fileName, szFileName, static_cast<int>(std::size(m_Pdf.fileName)));
  m_Pdf.fileExisted = FileExists(szFileName);
  if (!bMultipage) return TRUE;
  if (!CreateDocument(record, u"CTWVectorPDFFile::InitializeInterface")) return FALSE;
  if (m_pJob) {
    st::SettingsScope scope = m_pJob->SettingsScope();
    st::EffectiveContext ctx = ContextOf(*m_pJob, record, scope);
    // The save starts with the first page, whose content may name the file.
    if (EmailSplitByContent(ctx) || st::Effective(ctx, st::PageSplitDocument)) return TRUE;
  }
  return StartSave(m_Pdf.fileName) != Start::Failed;
}

BOOL CTWVectorPDFFile::WritePage(HGLOBAL hData, BOOL bEMF, const WCHAR* who, bool sheetComplete) {
  CTWJob& job = *m_pJob;
  st::SettingsScope scope = job.SettingsScope();
  st::EffectiveContext ctx = ContextOf(job, m_DevMode, scope);
  const DWORD code = st::EffectiveFileFormat(ctx);
  const tw::render::SheetState sheet = tw::render::GetSheetState(job);
  const bool nup = sheet.pagesPerSheet > 1;
  const tw::render::PageRoles roles = tw::render::GetPageRoles(job);

  // The rasters that accompany the page: text, OCR, barcodes, trimming.
  CEMFImage image;
  const bool ocr = st::Effective(ctx, st::OcrEnabled) != 0;
  const bool pageTextBarcode = tw::render::BarcodeFromPageText(job, &m_DevMode);
  const bool writeText = (m_DevMode.Flags & dmns::flags::WriteText) != 0;
  if (bEMF) {
    if (code == 41 && !image.Create(hData, &m_DevMode, &job, TRUE, FALSE, TRUE))
      Trace(u"%s: the text-free raster could not be made.", who);
    const bool trims = st::Effective(ctx, st::PageTrimByGrayscaleIntensity) || st::Effective(ctx, st::PageCropPage) ||
                       st::Effective(ctx, st::PageTrimWhitespaceLeft) || st::Effective(ctx, st::PageTrimWhitespaceTop) ||
                       st::Effective(ctx, st::PageTrimWhitespaceRight) ||
                       st::Effective(ctx, st::PageTrimWhitespaceBottom);
    if ((writeText || (ocr && code != 41) || pageTextBarcode || trims || st::Effective(ctx, st::EmailContentBased) ||
         st::Effective(ctx, st::EmailSimpleContentBased) || dmns::GetFileGenerationMethod(&m_DevMode) == 9) &&
        !image.Create(hData, &m_DevMode, &job, TRUE, TRUE, FALSE))
      Trace(u"%s: the companion raster could not be made.", who);
  } else if ((writeText || ocr || pageTextBarcode) && !image.CreateFromRawData(hData, &m_DevMode, &job)) {
    Trace(u"%s: the companion raster could not be made.", who);
  }

  // The page's metafiles.
  HENHMETAFILE page = nullptr, overlay = nullptr, underlay = nullptr;
  EMFPageSizeF size;
  EMFResolutionF res;
  RECT trim{0, 0, 0, 0};
  BOOL made;
  if (bEMF) {
    made = image.CreateEnhMetaFileExt(hData, &m_DevMode, &job, &page, &overlay, &size, &res, nup ? &underlay : nullptr,
                                      FALSE, 1, &trim);
  } else {
    Trace(u"%s: RAW data", who);
    made = image.CreateEnhMetaFileFromRawDataExt(hData, &m_DevMode, &job, &page, &overlay, &size, &res,
                                                 nup ? &underlay : nullptr, 1);
  }
  EmfPtr pageOwner(page), overlayOwner(overlay), underlayOwner(underlay);
  if (!made) {
    Trace(bEMF ? u"%s: Error creating enhanced metafile." : u"%s: Error creating enhanced metafiles from RAW data.",
          who);
    return FALSE;
  }
  const int width = static_cast<int>(size.cx), height = static_cast<int>(size.cy);
  const int xRes = static_cast<int>(res.x), yRes = static_cast<int>(res.y);
  Trace(u"%s: size %d x %d, resolution %d x %d", who, width, height, xRes, yRes);

  // The watermarks are drawn on the page first.
  BOOL newPage = TRUE;
  const bool imageWatermark = st::EffectiveImageWatermark(ctx);
  const bool textWatermark = st::Effective(ctx, st::StampTextWatermarkEnable) != 0 &&
                             (st::Effective(ctx, st::StampFirstPageOnly) == 0 || roles.firstDocumentPage);
  if (!nup && (imageWatermark || textWatermark) && !roles.barcodeSeparator) {
    Trace(u"%s: Add Watermark.", who);
    CPDFPage pdfPage = m_Pdf.pdf->AddPage(width, height, xRes, yRes);
    if (!pdfPage.IsLegal()) {
      Trace(u"%s: PDFPage is not legal (1).", who);
      return Report(kEngineErrorBase + m_Pdf.pdf->GetLastError(), __FILE__, __LINE__);
    }
    if (imageWatermark) {
      if (HDC dc = tw::output::GetWatermarkDC(job, m_DevMode, m_Pdf.watermarkDCs))
        PrintWatermarkToPDF(*this, dc, pdfPage, SIZE{width, height}, job);
      else
        Trace(u"Error creating DC of the watermark image.");
    }
    if (textWatermark) tw::output::DrawTextWatermarkToPDF(job, m_DevMode, pdfPage, SIZE{width, height});
    newPage = FALSE;
  } else if (nup && job.m_Pages.SheetStarts(sheet.pagesPerSheet)) {
    if (!m_Pdf.pdf->AddPage(width, height, xRes, yRes).IsLegal()) return FALSE;
    newPage = FALSE;
  }

  // The layers: the page, then the overlay.
  for (HENHMETAFILE layer : {pageOwner.get(), overlayOwner.get()}) {
    if (!layer) continue;
    if (!m_Pdf.pdfInt->LoadMetaFile(layer)) {
      Trace(u"%s: Error loading enhanced metafile.", who);
      return Report(kEngineErrorBase + m_Pdf.pdfInt->GetLastError(), __FILE__, __LINE__);
    }
    Trace(u"%s: m_dwPage: %d", who, static_cast<int>(m_Pdf.page));
    if (!m_Pdf.pdfInt->ExecuteMetaFile(1, static_cast<int>(m_Pdf.page), newPage)) {
      Trace(u"%s: Error execute enhanced metafile.", who);
      const int error = m_Pdf.pdfInt->GetLastError();
      m_Pdf.pdfInt->CloseMetaFile();
      return Report(kEngineErrorBase + error, __FILE__, __LINE__);
    }
    m_Pdf.pdfInt->CloseMetaFile();
    newPage = FALSE;
  }
  if (!sheetComplete) return TRUE;

  CPDFPage pdfPage = m_Pdf.pdf->GetPage(static_cast<int>(m_Pdf.page));
  if (code == 41 && pdfPage.IsLegal()) {
    const std::vector<tw::output::OcrWord> words = tw::output::GetOcrWords(job, bEMF != FALSE);
    if (!words.empty()) {
      pdfPage.BeginOCRText();
      for (const tw::output::OcrWord& word : words)
        pdfPage.WriteOCRText(&word.rect, word.text.c_str(), u"Helvetica", yRes * word.size / 72.0, nullptr);
      pdfPage.EndOCRText();
    }
  }
  // The page size from the record's paper, less what was trimmed.
  const double paperWidth = static_cast<double>(m_DevMode.DM.dmPaperWidth) * m_DevMode.DM.dmScale / 100.0;
  const double paperLength = static_cast<double>(m_DevMode.DM.dmPaperLength) * m_DevMode.DM.dmScale / 100.0;
  if (paperWidth > 0 && paperLength > 0 && xRes > 0 && yRes > 0) {
    double w = RoundHalfUp(paperWidth / 254.0 * xRes) / xRes * 72.0;
    double h = RoundHalfUp(paperLength / 254.0 * yRes) / yRes * 72.0;
    if (!nup) {
      w -= static_cast<double>(trim.left + trim.right) / xRes * 72.0;
      h -= static_cast<double>(trim.top + trim.bottom) / yRes * 72.0;
    }
    Trace(u"%s: PageSize: (%.3f, %.3f)", who, w, h);
    pdfPage.SetPageSize(w, h);
  }
  if (!pdfPage.IsLegal()) {
    Trace(u"%s: PDFPage is not legal.", who);
    return Report(kEngineErrorBase + m_Pdf.pdf->GetLastError(), __FILE__, __LINE__);
  }
  const BOOL written =
      job.m_bGenerateInMemory ? m_Pdf.pdf->WritePageToPDFMemory(pdfPage) : m_Pdf.pdf->WritePageToPDFFile(pdfPage);
  if (!written) return Report(kEngineErrorBase + m_Pdf.pdf->GetLastError(), __FILE__, __LINE__);
  ++m_Pdf.page;
  ++m_Pdf.counter;
  m_Pdf.printed = true;
  return TRUE;
}

BOOL CTWVectorPDFFile::SavePDFPage(HGLOBAL hData, DWORD, BOOL bEMF) {
  Trace(u"CTWVectorPDFFile::SavePDFPage starts.");
  Trace(u"CTWVectorPDFFile::SavePDFPage bEMF: %d.", bEMF);
  // After a reported failure the document is gone: later pages do nothing.
  if (m_Pdf.errorReported || !m_Pdf.pdfInt || !m_pJob) return TRUE;
  CTWJob& job = *m_pJob;
  const tw::render::SheetState sheet = tw::render::GetSheetState(job);
  if (sheet.pagesPerSheet > 1 && sheet.flush) {
    // The last, incomplete sheet.
    CPDFPage pdfPage = m_Pdf.pdf->GetPage(static_cast<int>(m_Pdf.page));
    if (!pdfPage.IsLegal()) {
      Trace(u"CTWVectorPDFFile::SavePDFPage: PDFPage is not legal.");
      return Report(kEngineErrorBase + m_Pdf.pdf->GetLastError(), __FILE__, __LINE__);
    }
    const BOOL written =
        job.m_bGenerateInMemory ? m_Pdf.pdf->WritePageToPDFMemory(pdfPage) : m_Pdf.pdf->WritePageToPDFFile(pdfPage);
    if (!written) return Report(kEngineErrorBase + m_Pdf.pdf->GetLastError(), __FILE__, __LINE__);
    ++m_Pdf.page;
    ++m_Pdf.counter;
    m_Pdf.printed = true;
    return TRUE;
  }
  if (!hData) return FALSE;
  if (tw::page::ContentSplitNeedsNewName(job)) {
    if (!job.GenerateFilenames(FALSE)) return FALSE;
    UninitializeInterface(m_DevMode);
    if (!InitializeInterface(m_DevMode, job.m_szActFileName, TRUE)) return FALSE;
    if (m_Pdf.errorReported || !m_Pdf.pdfInt) return TRUE;
  }
  if (!m_Pdf.saveStarted) {
    SetPdfEncryption(m_DevMode);
    switch (StartSave(m_Pdf.fileName)) {
      case Start::Failed: return FALSE;
      case Start::Reported: return TRUE;
      case Start::Started: break;
    }
  }
  return WritePage(hData, bEMF, u"CTWVectorPDFFile::SavePDFPage",
                   job.m_Pages.SheetComplete(sheet.pagesPerSheet, sheet.flush));
}

BOOL CTWVectorPDFFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  Trace(u"CTWVectorPDFFile::SaveFile starts.");
  Trace(u"CTWVectorPDFFile::SaveFile: Filename: %s", szFileName ? szFileName : u"");
  if (!m_pJob) return FALSE;
  CTWJob& job = *m_pJob;
  const tw::render::SheetState sheet = tw::render::GetSheetState(job);
  const bool lastSheet = sheet.pagesPerSheet > 1 && sheet.flush;
  if (!hData && !lastSheet) return Report(kNoPageData, __FILE__, __LINE__);
  if (!szFileName) return Report(kNoFileName, __FILE__, __LINE__);
  const bool complete = job.m_Pages.SheetComplete(sheet.pagesPerSheet, sheet.flush);
  const WCHAR* name = szFileName;
  if (job.m_Pages.SheetStarts(sheet.pagesPerSheet) || !m_Pdf.pdfInt) {
    if (!CreateDocument(m_DevMode, u"CTWVectorPDFFile::SaveFile")) return FALSE;
    // Each of these documents starts at its first page (or behind a file it adds to).
    m_Pdf.page = 1;
    st::SettingsScope scope = job.SettingsScope();
    st::EffectiveContext ctx = ContextOf(job, m_DevMode, scope);
    if (complete && (EmailSplitByContent(ctx) || dmns::GetFileGenerationMethod(&m_DevMode) == 9)) {
      CEMFImage companion;
      if (bEMF ? !companion.Create(hData, &m_DevMode, &job, TRUE, TRUE, FALSE)
               : !companion.CreateFromRawData(hData, &m_DevMode, &job))
        Trace(u"CTWVectorPDFFile::SaveFile: the companion raster could not be made.");
      SetPdfEncryption(m_DevMode);
      if (tw::page::ContentSplitNeedsNewName(job)) {
        if (!job.GenerateFilenames(FALSE)) {
          DestroyInterface();
          return FALSE;
        }
        name = job.m_szActFileName;
        lstrcpynW(m_Pdf.fileName, name, static_cast<int>(std::size(m_Pdf.fileName)));
      }
    }
    switch (StartSave(name)) {
      case Start::Failed: return FALSE;
      case Start::Reported: return TRUE;
      case Start::Started: break;
    }
  }
  if (!WritePage(hData, bEMF, u"CTWVectorPDFFile::SaveFile", complete)) {
    DestroyInterface();
    return FALSE;
  }
  if (!complete) return TRUE;
  // One page, one document: ended here.
  if (job.m_bGenerateInMemory) {
    tw::dib::GlobalBlock block(m_Pdf.pdf->EndSavePDFToMemory());
    if (!block) {
      const int code = m_Pdf.pdf->GetLastError();
      DestroyInterface();
      return Report(kEngineErrorBase + code, __FILE__, __LINE__);
    }
    m_Pdf.saveStarted = false;
    DestroyInterface();
    SendInMemoryPage(job, block.get());
  } else {
    if (!m_Pdf.pdf->EndSavePDFFile()) {
      const int code = m_Pdf.pdf->GetLastError();
      DestroyInterface();
      return Report(kEngineErrorBase + code, __FILE__, __LINE__);
    }
    m_Pdf.saveStarted = false;
    DestroyInterface();
  }
  return TRUE;
}

BOOL CTWVectorPDFFile::UninitializeInterface(const TarnwickDEVMODE&) {
  Trace(u"CTWVectorPDFFile::UninitializeInterface starts.");
  BOOL result = TRUE;
  if (m_Pdf.multipage && m_Pdf.pdfInt && m_Pdf.pdf && m_Pdf.saveStarted && !m_Pdf.errorReported && m_pJob &&
      !JobCancelled(*m_pJob)) {
    // A document without a page is abandoned rather than ended: a file it
    // created goes, a file it would have added to keeps its bytes.
    if (!m_Pdf.printed) {
      Trace(u"CTWVectorPDFFile::UninitializeInterface: no page written, the save is abandoned.");
    } else if (m_pJob->m_bGenerateInMemory) {
      HGLOBAL block = m_Pdf.pdf->EndSavePDFToMemory();
      if (!block) {
        Report(kEngineErrorBase + m_Pdf.pdf->GetLastError(), __FILE__, __LINE__);
        result = FALSE;
      } else {
        m_pJob->m_Output.inMemory = tw::dib::GlobalBlock(block);
      }
    } else if (!m_Pdf.pdf->EndSavePDFFile()) {
      Report(kEngineErrorBase + m_Pdf.pdf->GetLastError(), __FILE__, __LINE__);
      result = FALSE;
    }
    m_Pdf.saveStarted = false;
  }
  Trace(u"CTWVectorPDFFile::UninitializeInterface: Delete PDF Interface.");
  DestroyInterface();
  tw::output::ReleaseWatermarkDCs(m_Pdf.watermarkDCs);
  Trace(u"CTWVectorPDFFile::UninitializeInterface: Printed at least one page: %d, file already existed: %d",
        m_Pdf.printed ? 1 : 0, m_Pdf.fileExisted ? 1 : 0);
  if (!m_Pdf.printed && !m_Pdf.fileExisted && m_Pdf.fileName[0] && !(m_pJob && m_pJob->m_bGenerateInMemory)) {
    Trace(u"CTWVectorPDFFile::UninitializeInterface: No printed pages, deleting PDF: %s", m_Pdf.fileName);
    DeleteFileW(m_Pdf.fileName);
  }
  return result;
}
