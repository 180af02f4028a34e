// CTWTIFFFile: TIFF files through the TIFF codec library.
#include <windows.h>

#include <algorithm>

#include "core/log/tw_log.h"
#include "job/job/tw_job.h"
#include "output/tiff/tiff_page.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/emf_image.h"

using tw::output::TiffLibrary;
using tw::output::TiffUse;
using namespace tw::output::tiff;

namespace {

constexpr CTWFile::ShapeErrors kPageErrors{ie::kNoData, 0, 0};

void ReportTiff(CTWJob& job, int number, const tw::output::TiffFailure& failure, const char* file, int line) {
  job.HandleTiffError(number, file, line, failure.code, failure.text);
}

}  // namespace

CTWTIFFFile::CTWTIFFFile() : m_pLibrary(std::make_unique<TiffLibrary>()) {}

CTWTIFFFile::~CTWTIFFFile() {
  // A document that ends without its close (the job went away) leaves a finished file.
  if (m_hTiff && m_pLibrary->CloseTiffFile) m_pLibrary->CloseTiffFile(m_hTiff);
}

BOOL CTWTIFFFile::OpenTIFFFile(const WCHAR* szFileName) {
  if (!szFileName) return Fail(ie::kNoName, __FILE__, __LINE__);
  if (!m_pJob) return FALSE;
  m_dwImagesWritten = 0;
  const TiffSettings s = ReadTiffSettings(*this);
  if (s.reopenAlways) {
    wcsncpy_s(m_szFileName, szFileName, _TRUNCATE);
    return TRUE;
  }
  switch (m_pLibrary->Load(TiffUse::KeptOpen, m_DevMode, m_pJob)) {
    case TiffLibrary::Result::NotLoaded:
      RemoveEmptyOutput(szFileName);  // the job's hold made it; the document fails
      return FALSE;
    case TiffLibrary::Result::EntryMissing:
      RemoveEmptyOutput(szFileName);
      return Fail(ie::kEntryMissing, __FILE__, __LINE__);
    case TiffLibrary::Result::Ready: break;
  }
  m_pLibrary->SetTiffError(0);
  wcsncpy_s(m_szFileName, szFileName, _TRUNCATE);
  // A file that does not open shows at the first page.
  m_hTiff = m_pLibrary->OpenTiffFileW(m_szFileName, 2);
  return TRUE;
}

BOOL CTWTIFFFile::SaveTIFFPage(HGLOBAL hData, DWORD, BOOL bEMF) {
  if (!m_pJob) return FALSE;
  const TiffSettings s = ReadTiffSettings(*this);
  if (s.reopenPages) {
    // With "Split Document" the job names the files; the new name is kept.
    if (s.splitDocument && m_pJob->m_szActFileName[0]) wcsncpy_s(m_szFileName, m_pJob->m_szActFileName, _TRUNCATE);
    return SavePageByReopening(hData, m_szFileName[0] ? m_szFileName : nullptr, bEMF);
  }
  if (!hData) return Fail(ie::kNoData, __FILE__, __LINE__);
  if (!m_pLibrary->Loaded()) return FALSE;
  CEMFImage image;
  const WCHAR* name = m_szFileName;
  switch (PreparePage(image, hData, bEMF, name, kPageErrors, false)) {
    case PageStep::Failed: CloseTIFFFile(); return FALSE;
    case PageStep::Done: return TRUE;
    case PageStep::Write: break;
  }
  const DWORD page = PageNumberOf(*this);
  tw::dib::BlockLock dib(image.m_hDIB);
  std::optional<PageImage> pageImage = DescribePage(dib);
  if (!pageImage) {
    Fail(ie::kDibNotLocked, __FILE__, __LINE__);
    CloseTIFFFile();
    return FALSE;
  }
  if (!m_hTiff) {
    CloseTIFFFile();
    return Fail(ie::kNotOpened, __FILE__, __LINE__);
  }
  const ImageOutcome outcome = WriteImage(*m_pLibrary, m_hTiff, *pageImage, page, s);
  if (outcome.result == ImageOutcome::Result::NotDefined) {
    CloseTIFFFile();
    ReportTiff(*m_pJob, ie::kNotDefined, outcome.failure, __FILE__, __LINE__);
    return FALSE;
  }
  const bool written = outcome.result == ImageOutcome::Result::Written;
  if (!written) {
    if (m_pJob->ValidateOutputFile(kCannotWrite, m_szFileName, TRUE)) Fail(ie::kNotEncoded, __FILE__, __LINE__);
    else m_bErrorReported = TRUE;
  }
  FinishImage(outcome.image);
  if (!written) return FALSE;
  ++m_dwImagesWritten;
  if (IsCoverAddedAtEnd(*this)) return MoveCoverToFront(page);
  return TRUE;
}

void CTWTIFFFile::FinishImage(int image) {
  if (!m_bErrorReported) {
    const tw::output::TiffFailure late = m_pLibrary->LastFailure();
    if (late.code != 0) ReportTiff(*m_pJob, ie::kLibraryReported, late, __FILE__, __LINE__);
  }
  m_pLibrary->DropTiffImage(m_hTiff, image);
}

BOOL CTWTIFFFile::MoveCoverToFront(DWORD page) {
  // The move works on the file as written: it is closed and opened again around it.
  m_pLibrary->CloseTiffFile(m_hTiff);
  m_hTiff = m_pLibrary->OpenTiffFileW(m_szFileName, 2);
  if (!m_hTiff) return Fail(ie::kNotOpened, __FILE__, __LINE__);
  m_pLibrary->MoveLastImageFast(m_hTiff, static_cast<int>(page) - 1, 0);
  m_pLibrary->CloseTiffFile(m_hTiff);
  m_hTiff = m_pLibrary->OpenTiffFileW(m_szFileName, 2);
  if (!m_hTiff) return Fail(ie::kNotOpened, __FILE__, __LINE__);
  return TRUE;
}

BOOL CTWTIFFFile::CloseTIFFFile() {
  if (!m_pJob) return FALSE;
  const TiffSettings s = ReadTiffSettings(*this);
  BOOL result = TRUE;
  if (!s.reopenAlways && m_pLibrary->Loaded()) {
    if (m_hTiff) m_pLibrary->CloseTiffFile(m_hTiff);
    m_hTiff = nullptr;
    // Nothing was added: there is nothing to convert or number.
    const bool added = m_dwImagesWritten > 0;
    bool converted = true;
    if (added && s.code == kCiscoCode) {
      Trace(u"Convert TIFF to CISCO format.");
      if (!m_pLibrary->ConvertTiffToCiscoFormatW(m_szFileName)) {
        if (m_pJob->ValidateOutputFile(kCannotWrite, m_szFileName, TRUE)) Fail(ie::kNotEncoded, __FILE__, __LINE__);
        else m_bErrorReported = TRUE;
        converted = false;
        result = FALSE;
      }
    }
    // The count covers every image written: cover pages added at the end
    // carry the lowest numbers but come last.
    const DWORD count = std::max(PageNumberOf(*this), m_dwImagesWritten);
    if (added && converted && count != 0 && m_pLibrary->UpdatePageNumbersW &&
        !m_pLibrary->UpdatePageNumbersW(m_szFileName, count) && !m_bErrorReported) {
      Fail(ie::kPageNumbers, __FILE__, __LINE__);
      result = FALSE;
    }
    m_pLibrary->Free();
  }
  RemoveEmptyOutput(m_szFileName);
  m_szFileName[0] = 0;
  m_dwImagesWritten = 0;
  return result;
}

void CTWTIFFFile::RemoveEmptyOutput(const WCHAR* szFileName) {
  if (!szFileName[0]) return;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(szFileName, GetFileExInfoStandard, &data)) return;
  if (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0 || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  // No page reached the file (the job's lock made it, or the library
  // emptied it): an empty file is no TIFF. The job's hold on it goes first.
  if (!DeleteFileW(szFileName)) {
    m_pJob->ReleaseFile();
    DeleteFileW(szFileName);
  }
  Trace(u"CTWTIFFFile: no page was written, %s removed", szFileName);
}

BOOL CTWTIFFFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR* szFileName, BOOL bEMF) {
  if (!m_pJob) return FALSE;
  const TiffSettings s = ReadTiffSettings(*this);
  if (s.reopenAlways) return SavePageByReopening(hData, szFileName, bEMF);
  if (!hData) return Fail(ie::kNoData, __FILE__, __LINE__);
  CEMFImage image;
  const WCHAR* name = szFileName;
  switch (PreparePage(image, hData, bEMF, name, kPageErrors)) {
    case PageStep::Failed: return FALSE;
    case PageStep::Done: return TRUE;
    case PageStep::Write: break;
  }
  const DWORD page = PageNumberOf(*this);
  tw::dib::BlockLock dib(image.m_hDIB);
  std::optional<PageImage> pageImage = DescribePage(dib);
  if (!pageImage) return Fail(ie::kDibNotLocked, __FILE__, __LINE__);
  if (!OpenTIFFFile(name)) return FALSE;
  if (!m_hTiff) {
    CloseTIFFFile();
    return Fail(ie::kNotOpened, __FILE__, __LINE__);
  }
  const ImageOutcome outcome = WriteImage(*m_pLibrary, m_hTiff, *pageImage, page, s);
  if (outcome.result == ImageOutcome::Result::NotDefined) {
    CloseTIFFFile();
    ReportTiff(*m_pJob, ie::kNotDefined, outcome.failure, __FILE__, __LINE__);
    return FALSE;
  }
  const bool written = outcome.result == ImageOutcome::Result::Written;
  if (!written) {
    if (m_pJob->ValidateOutputFile(kCannotWrite, name, TRUE)) Fail(ie::kNotEncoded, __FILE__, __LINE__);
    else m_bErrorReported = TRUE;
  }
  FinishImage(outcome.image);
  if (written) ++m_dwImagesWritten;
  // A failed CISCO conversion or page-number update fails the page too.
  const BOOL closed = CloseTIFFFile();
  return written && closed;
}

BOOL CTWTIFFFile::SavePageByReopening(HGLOBAL hData, const WCHAR* szFileName, BOOL bEMF) {
  if (!hData) return Fail(ie::kNoData, __FILE__, __LINE__);
  if (!szFileName) return Fail(ie::kNoName, __FILE__, __LINE__);
  const TiffSettings s = ReadTiffSettings(*this);
  CEMFImage image;
  const WCHAR* name = szFileName;
  switch (PreparePage(image, hData, bEMF, name, {ie::kNoData, ie::kNoName, 0})) {
    case PageStep::Failed: return FALSE;
    case PageStep::Done: return TRUE;
    case PageStep::Write: break;
  }
  // A content-based name is used, and the multipage file keeps it for the pages after it.
  if (szFileName == m_szFileName && name != szFileName) wcsncpy_s(m_szFileName, name, _TRUNCATE);
  const DWORD page = PageNumberOf(*this);

  TiffLibrary lib;
  switch (lib.Load(TiffUse::PerPage, m_DevMode, m_pJob)) {
    case TiffLibrary::Result::NotLoaded: return FALSE;
    case TiffLibrary::Result::EntryMissing: return Fail(ie::kEntryMissing, __FILE__, __LINE__);
    case TiffLibrary::Result::Ready: break;
  }
  lib.SetTiffError(0);
  Trace(u"CTWTIFFFile :: SaveFile");
  tw::dib::BlockLock dib(image.m_hDIB);
  std::optional<PageImage> pageImage = DescribePage(dib);
  if (!pageImage) return Fail(ie::kDibNotLocked, __FILE__, __LINE__);

  bool written = false;
  if (!pageImage->Bilevel()) {
    dib.Unlock();  // the library reads the block itself
    if (!lib.SaveDIBInTiffFileW(name, image.m_hDIB, SchemeOf(s.code), 0)) {
      const tw::output::TiffFailure failure = lib.LastFailure();
      if (m_pJob->ValidateOutputFile(kCannotWrite, name, TRUE)) ReportTiff(*m_pJob, ie::kNotSaved, failure, __FILE__, __LINE__);
      else m_bErrorReported = TRUE;
      return FALSE;
    }
    if (s.pageNumbers) {
      HTWTIFF tiff = lib.OpenTiffFileW(name, 2);
      if (!tiff) {
        ReportTiff(*m_pJob, ie::kNotReopened, lib.LastFailure(), __FILE__, __LINE__);
        return FALSE;
      }
      TW_TIFF_FILE_INFO info{};
      lib.GetTiffFileInfo(tiff, &info);
      if (info.dwImageCount > 0) {
        const int last = static_cast<int>(info.dwImageCount) - 1;
        const WORD number[2] = {static_cast<WORD>(page - 1), 0};
        lib.GetTiffImage(tiff, last);
        lib.DefineTiffImageInfoBuffer(tiff, last, 297, number, 3, 2);
      }
      lib.CloseTiffFile(tiff);
    }
    written = true;
  } else {
    HTWTIFF tiff = lib.OpenTiffFileW(name, 2);
    if (!tiff) return Fail(ie::kNotOpened, __FILE__, __LINE__);
    const ImageOutcome outcome = WriteImage(lib, tiff, *pageImage, page, s);
    if (outcome.result == ImageOutcome::Result::NotDefined) {
      lib.CloseTiffFile(tiff);
      ReportTiff(*m_pJob, ie::kNotDefined, outcome.failure, __FILE__, __LINE__);
      return FALSE;
    }
    written = outcome.result == ImageOutcome::Result::Written;
    if (!written) {
      if (m_pJob->ValidateOutputFile(kCannotWrite, name, TRUE)) Fail(ie::kNotEncoded, __FILE__, __LINE__);
      else m_bErrorReported = TRUE;
    }
    lib.CloseTiffFile(tiff);
    if (written && s.code == kCiscoCode) {
      if (!lib.ConvertTiffToCiscoFormatW(name)) {
        if (m_pJob->ValidateOutputFile(kCannotWrite, name, TRUE)) Fail(ie::kNotEncoded, __FILE__, __LINE__);
        else m_bErrorReported = TRUE;
        return FALSE;
      }
      if (lib.TiffError() == kNotAvailable) lib.SetTiffError(0);
    }
  }
  if (written && lib.UpdatePageNumbersW && !lib.UpdatePageNumbersW(name, page) && !m_bErrorReported) {
    Fail(ie::kPageNumbers, __FILE__, __LINE__);
    written = false;
  }
  if (!m_bErrorReported) {
    const tw::output::TiffFailure late = lib.LastFailure();
    if (late.code != 0) ReportTiff(*m_pJob, ie::kLibraryReported, late, __FILE__, __LINE__);
  }
  return written;
}
