// The image PDF writer (codes 20 and 35): each page image becomes a page of
// a PDF document made by TwPdfImage.dll, whose entry points are taken by
// ordinal.
#include <windows.h>

#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/page/page_seams.h"
#include "job/settings/effective.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/emf_image.h"
#include "render/emf/page_seams.h"
#include "tw_pdf_image.h"

namespace st = tw::settings;

namespace {

constexpr WCHAR kLibraryName[] = u"TwPdfImage.dll";

// Internal errors of the image PDF writer.
namespace ie {
constexpr int kReleaseAfterPage = 200;
constexpr int kPageNotSaved = 201;
constexpr int kNoName = 202;
constexpr int kNoHandle = 203;
constexpr int kNotCreated = 204;
constexpr int kReleaseAfterCreate = 205;
constexpr int kReleaseAfterFinish = 206;
constexpr int kNotFinished = 207;
constexpr int kRelease = 208;
}  // namespace ie

template <typename Proc>
Proc Ordinal(HMODULE library, int ordinal) {
  return library ? reinterpret_cast<Proc>(GetProcAddress(library, reinterpret_cast<LPCSTR>(MAKEINTRESOURCEW(ordinal)))) : nullptr;
}

bool ValidHandle(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }

bool FileExists(const WCHAR* name) { return GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES; }

// The compression flag after the colour mode's rules: Group 4 only for black
// and white, JPEG only for colour; everything else Flate.
DWORD CompressionFor(WORD flag, DWORD colorMode) {
  DWORD f = flag;
  switch (colorMode) {
    case 0:
      if (f == TWPDF_COMPRESS_JPEG) f = TWPDF_COMPRESS_FLATE;
      break;
    case 1:
    case 2:
      if (f == TWPDF_COMPRESS_G4 || f == TWPDF_COMPRESS_JPEG) f = TWPDF_COMPRESS_FLATE;
      break;
    default:
      if (f == TWPDF_COMPRESS_G4) f = TWPDF_COMPRESS_FLATE;
      break;
  }
  return f;
}

}  // namespace

CTWPDFFile::~CTWPDFFile() {
  // A document still open is abandoned with its handle.
  if (m_Pdf.hPDF) ReleaseDocument();
  if (m_Pdf.library) FreeLibrary(m_Pdf.library);
}

BOOL CTWPDFFile::SetPdfEncryption(const TarnwickDEVMODE&) { return TRUE; }
BOOL CTWPDFFile::SetPdfSettings(const TarnwickDEVMODE&) { return TRUE; }

bool CTWPDFFile::ReleaseDocument() {
  auto release = Ordinal<PFN_pdf_Release_PDF>(m_Pdf.library, TWPDF_ORD_RELEASE_PDF);
  const int result = release ? release(m_Pdf.hPDF) : TWPDF_RELEASE_FAILED;
  m_Pdf.hPDF = nullptr;
  m_Pdf.open = false;
  return result != TWPDF_RELEASE_FAILED;
}

BOOL CTWPDFFile::OpenPDFFile(const WCHAR* szFileName) {
  if (m_Pdf.open) return TRUE;
  if (!szFileName) {
    Trace(u"PDF:  Error 102");
    return Fail(ie::kNoName, __FILE__, __LINE__);
  }
  if (!m_Pdf.library) m_Pdf.library = LoadLibraryW(kLibraryName);
  if (!m_Pdf.library) Trace(u"PDF:  %s cannot be loaded (%d)", kLibraryName, GetLastError());
  // A handle left by an abandoned document goes first.
  if (m_Pdf.hPDF) ReleaseDocument();
  auto init = Ordinal<PFN_pdf_Init_PDF>(m_Pdf.library, TWPDF_ORD_INIT_PDF);
  if (!init || init(&m_Pdf.hPDF, szFileName) != 0) Trace(u"OpenPDFFile:  pdf_Init_PDF() Error");
  Trace(u"PDF:  pdf_Init_PDF Exit");
  if (!ValidHandle(m_Pdf.hPDF)) {
    m_Pdf.hPDF = nullptr;
    Trace(u"PDF:  Error 203");
    return Fail(ie::kNoHandle, __FILE__, __LINE__);
  }
  Trace(u"PDF:  pdf_CreatePDF m_hPDF: %x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_Pdf.hPDF)));
  // The library adds to a file that exists; one it refuses stays as it is.
  const bool existed = FileExists(szFileName);
  auto create = Ordinal<PFN_pdf_CreatePDF>(m_Pdf.library, TWPDF_ORD_CREATE_PDF);
  if (create && create(m_Pdf.hPDF, szFileName) == 0) {
    Trace(u"PDF:  pdf_CreatePDF done");
    m_Pdf.open = true;
    m_Pdf.pageSaved = false;
    return TRUE;
  }
  if (!m_pJob || m_pJob->ValidateOutputFile(u"Cannot write PDF file: ", szFileName, TRUE)) {
    Trace(u"PDF:  Error 204");
    Fail(ie::kNotCreated, __FILE__, __LINE__);
  }
  if (auto abort = Ordinal<PFN_pdf_AbortPDF>(m_Pdf.library, TWPDF_ORD_ABORT_PDF)) abort(m_Pdf.hPDF, 0);
  // Only a file this create made is removed, never the user's own.
  if (!existed) DeleteFileW(szFileName);
  if (!ReleaseDocument()) {
    Trace(u"OpenPDFFile:  pdf_Release_PDF ERROR");
    Fail(ie::kReleaseAfterCreate, __FILE__, __LINE__);
  }
  return FALSE;
}

BOOL CTWPDFFile::SavePDFPage(HGLOBAL hData, DWORD, BOOL bEMF) {
  Trace(u"CTWPDFFile::SavePDFPage");
  if (!m_pJob || !hData) return FALSE;
  CEMFImage image;
  const BOOL rendered = bEMF ? image.Create(hData, &m_DevMode, m_pJob, FALSE, TRUE, FALSE)
                             : image.CreateFromRawData(hData, &m_DevMode, m_pJob);
  if (!rendered) return FALSE;
  Trace(u"PDF:  Image.Create done");
  if (tw::page::ContentSplitNeedsNewName(*m_pJob)) {
    ClosePDFFile();
    if (!m_pJob->GenerateFilenames(FALSE)) return FALSE;
    if (!OpenPDFFile(m_pJob->m_szActFileName)) return FALSE;
  }
  const tw::render::SheetState sheet = tw::render::GetSheetState(*m_pJob);
  if (!m_pJob->m_Pages.SheetComplete(sheet.pagesPerSheet, sheet.flush)) return TRUE;
  if (!image.m_hDIB) return FALSE;
  Trace(u"PDF:  Image.GetDIB done");

  st::SettingsScope scope = m_pJob->SettingsScope();
  st::EffectiveContext ctx{scope, &m_DevMode, m_pJob->MergeStateForSettings(), m_pJob->m_bTiffViewer != FALSE};
  const DWORD colorMode = st::EffectiveColorMode(ctx);
  const DWORD compression = CompressionFor(st::EffectiveImagePdfCompression(ctx), colorMode);
  WCHAR codecPath[MAX_PATH] = {};
  const std::u16string codec = colorMode == 3 ? m_DevMode.JpegDllName.Get() : m_DevMode.TiffDllName.Get();
  if (!GetCorrectDllName(codec.c_str(), codecPath)) codecPath[0] = 0;
  const int quality = static_cast<int>(st::EffectiveLossRatio(ctx));

  Trace(u"PDF:  pdf_SaveDIBAsPDFPage start");
  auto save = Ordinal<PFN_pdf_SaveDIBAsPDFPage>(m_Pdf.library, TWPDF_ORD_SAVE_DIB_AS_PDF_PAGE);
  if (m_Pdf.open && save && save(m_Pdf.hPDF, image.m_hDIB, codecPath, compression, quality) == 0) {
    m_Pdf.pageSaved = true;
    return TRUE;
  }
  WCHAR text[TWPDF_ERROR_TEXT_UNITS] = {};
  if (auto errorText = Ordinal<PFN_pdf_GetErrorText>(m_Pdf.library, TWPDF_ORD_GET_ERROR_TEXT); errorText && m_Pdf.hPDF)
    errorText(m_Pdf.hPDF, text);
  Trace(u"SaveDIBAsPDFPage: Error '%s'", text);
  Fail(ie::kPageNotSaved, __FILE__, __LINE__);
  if (auto abort = Ordinal<PFN_pdf_AbortPDF>(m_Pdf.library, TWPDF_ORD_ABORT_PDF); abort && m_Pdf.hPDF)
    abort(m_Pdf.hPDF, 0);
  // The abandoned document is not finished at the close.
  m_Pdf.open = false;
  return FALSE;
}

BOOL CTWPDFFile::ClosePDFFile() {
  if (!m_Pdf.open) return TRUE;
  Trace(u"PDF:  pdf_FinishPDF start");
  auto finish = Ordinal<PFN_pdf_FinishPDF>(m_Pdf.library, TWPDF_ORD_FINISH_PDF);
  if (!finish || finish(m_Pdf.hPDF) != 0) {
    auto lastError = Ordinal<PFN_pdf_GetLastError>(m_Pdf.library, TWPDF_ORD_GET_LAST_ERROR);
    const int code = lastError ? lastError(m_Pdf.hPDF) : 0;
    Trace(u"pdf_FinishPDF: Error '%d'", code);
    if (auto abort = Ordinal<PFN_pdf_AbortPDF>(m_Pdf.library, TWPDF_ORD_ABORT_PDF)) abort(m_Pdf.hPDF, code);
    if (!ReleaseDocument()) {
      Trace(u"ClosePDFFile:  pdf_Release_PDF ERROR");
      Fail(ie::kReleaseAfterFinish, __FILE__, __LINE__);
    }
    return Fail(ie::kNotFinished, __FILE__, __LINE__);
  }
  Trace(u"PDF:  pdf_Release_PDF start");
  if (!ReleaseDocument()) {
    Trace(u"PDF:  pdf_Release_PDF ERROR");
    return Fail(ie::kRelease, __FILE__, __LINE__);
  }
  Trace(u"PDF:  DONE");
  return TRUE;
}

BOOL CTWPDFFile::SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) {
  Trace(u"CTWPDFFile::SaveFile START");
  if (m_pJob) {
    // A page that does not complete its sheet only goes into the sheet.
    const tw::render::SheetState sheet = tw::render::GetSheetState(*m_pJob);
    if (!m_pJob->m_Pages.SheetComplete(sheet.pagesPerSheet, sheet.flush)) return SavePDFPage(hData, dwSize, bEMF);
  }
  if (!OpenPDFFile(szFileName)) return FALSE;
  if (SavePDFPage(hData, dwSize, bEMF)) return ClosePDFFile();
  Trace(u"SaveFile: Error");
  // Releasing the unfinished document abandons it: no partial file stays.
  if (m_Pdf.hPDF && !ReleaseDocument()) {
    Trace(u"SaveFile:  pdf_Release_PDF ERROR");
    Fail(ie::kReleaseAfterPage, __FILE__, __LINE__);
  }
  m_Pdf.open = false;
  return FALSE;
}
