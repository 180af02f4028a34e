// The EMF writer (code 18): metafile pages as the driver sent them, turned
// or composed pages replayed, bitmaps (raw pages, mail-merge pages) drawn
// into a metafile; and its in-memory variant, which hands the page to the
// client.
#include <windows.h>

#include "client/messaging/messaging.h"
#include "core/log/tw_log.h"
#include "job/devmode/devmode_dump.h"
#include "job/job/tw_job.h"
#include "job/naming/naming.h"
#include "job/page/page_seams.h"
#include "job/settings/effective.h"
#include "output/common/page_dib.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/emf_image.h"
#include "render/emf/page_seams.h"

namespace {

namespace st = tw::settings;
namespace flags = tw::devmode::flags;

constexpr int kNoData = 46;
constexpr int kNoName = 47;
constexpr int kNotWritten = 48;
constexpr int kDataNotLocked = 49;
constexpr WCHAR kPrefix[] = u"Cannot write EMF file: ";
const HGLOBAL kFinalSheet = reinterpret_cast<HGLOBAL>(-1);

st::EffectiveContext Context(const CTWJob& job, const TarnwickDEVMODE& record, const st::SettingsScope& scope) {
  return {scope, &record, job.MergeStateForSettings(), job.m_bTiffViewer != FALSE};
}

// The page's text is wanted: text output, OCR, or e-mails split by content.
bool PageTextWanted(const CTWJob& job, const TarnwickDEVMODE& record) {
  if (record.Flags & flags::WriteText) return true;
  if (tw::naming::OcrEffective(job)) return true;
  const st::SettingsScope scope = job.SettingsScope();
  return st::Effective(Context(job, record, scope), st::EmailContentBased);
}

// A metafile page is re-played when it is turned (landscape pages with
// "rotate paper", else the page rotation) or composed with others on a sheet.
bool PageIsReplayed(const CTWJob& job, const TarnwickDEVMODE& record, DWORD pagesPerSheet) {
  if (pagesPerSheet > 1) return true;
  if (record.Flags & flags::RotatePaper) return record.DM.dmOrientation == DMORIENT_LANDSCAPE;
  const st::SettingsScope scope = job.SettingsScope();
  return st::Effective(Context(job, record, scope), st::PageRotation) != 0;
}

BOOL Render(CEMFImage& image, HGLOBAL hData, BOOL bEMF, TarnwickDEVMODE& record, CTWJob* job) {
  return bEMF ? image.Create(hData, &record, job, FALSE, TRUE, FALSE) : image.CreateFromRawData(hData, &record, job);
}

// The page replayed turned by the vector page preparation. The file holds
// the page alone, as an unturned page's file does: the overlay is dropped,
// no underlay or trim is asked for. The preparation adapts the record it is
// given to the turned page, so it gets a copy: the preview and forwarding of
// this page read the writer's record after the page is stored. Null when
// the page is abandoned (its fault reported or logged where it was found).
tw::render::EmfPtr ReplayedPage(CEMFImage& image, HGLOBAL hData, const TarnwickDEVMODE& record, CTWJob& job) {
  TarnwickDEVMODE copy = record;
  HENHMETAFILE page = nullptr, overlay = nullptr;
  EMFPageSizeF size;
  EMFResolutionF res;
  const BOOL made = image.CreateEnhMetaFileExt(hData, &copy, &job, &page, &overlay, &size, &res, nullptr, FALSE, 1,
                                               nullptr);
  tw::render::EmfPtr owned(page), overlayOwned(overlay);
  if (!made) {
    Trace(u"CTWEMFFile::SaveFile: Error creating enhanced metafile.");
    owned.reset();
  }
  return owned;
}

}  // namespace

BOOL CTWEMFFile::SaveFile(HGLOBAL hData, DWORD dwSize, const WCHAR* szFileName, BOOL bEMF) {
  Trace(u"CTWEMFFile::SaveFile");
  Trace(u"CTWEMFFile::SaveFile: bEMF: %d", bEMF);
  for (const std::u16string& line : tw::devmode::DumpStandardPart(m_DevMode)) Trace(u"%s", line.c_str());
  if (!hData) return Fail(kNoData, __FILE__, __LINE__);
  if (!szFileName) return Fail(kNoName, __FILE__, __LINE__);
  if (!m_pJob) return FALSE;
  const bool finalSheet = hData == kFinalSheet;

  // The page is rendered first when its text is wanted (the bitmap serves mail merge).
  CEMFImage image;
  bool rendered = false;
  if (!finalSheet && PageTextWanted(*m_pJob, m_DevMode)) {
    if (!Render(image, hData, bEMF, m_DevMode, m_pJob)) return FALSE;
    rendered = true;
  }
  const WCHAR* name = szFileName;
  if (tw::page::ContentSplitNeedsNewName(*m_pJob)) {
    if (!m_pJob->GenerateFilenames(FALSE)) return FALSE;
    name = m_pJob->m_szActFileName;
  }
  const tw::render::SheetState sheet = tw::render::GetSheetState(*m_pJob);
  const bool sheetComplete = m_pJob->m_Pages.SheetComplete(sheet.pagesPerSheet, sheet.flush);

  // A bitmap page: a raw page, or a metafile page with mail merge.
  const bool mailMerge = (m_DevMode.Flags & flags::WriteText) && (m_DevMode.Flags & flags::MailMerge);
  if (!bEMF || (mailMerge && !finalSheet)) {
    if (!bEMF && !rendered && !Render(image, hData, bEMF, m_DevMode, m_pJob)) return FALSE;
    if (!sheetComplete) return TRUE;
    if (!image.m_hDIB) return FALSE;
    if (!SaveDIBIntoMetaFile(this, name, image.m_hDIB, m_pJob->PrinterName()))
      return ReportWriteFailure(kPrefix, name, kNotWritten, __FILE__, __LINE__);
    return TRUE;
  }

  if (finalSheet || PageIsReplayed(*m_pJob, m_DevMode, sheet.pagesPerSheet)) {
    tw::render::EmfPtr page;
    if (!finalSheet && !(page = ReplayedPage(image, hData, m_DevMode, *m_pJob))) return FALSE;
    if (sheet.pagesPerSheet > 1) {
      HENHMETAFILE composed = nullptr;
      if (!tw::render::AddPageToSheetEMF(*m_pJob, page.release(), composed)) return FALSE;
      page.reset(composed);
    }
    if (!page) return TRUE;  // the sheet is not complete
    // The copy writes the file whole or removes it.
    tw::render::EmfPtr copy(CopyEnhMetaFileW(page.get(), name));
    if (!copy) return ReportWriteFailure(kPrefix, name, kNotWritten, __FILE__, __LINE__);
    return TRUE;
  }

  // Any other metafile page: the driver's bytes unchanged.
  tw::dib::BlockLock data(hData);
  if (!data.ok() || dwSize > data.size()) return Fail(kDataNotLocked, __FILE__, __LINE__);
  tw::output::UniqueFile file(
      CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return ReportWriteFailure(kPrefix, name, kNotWritten, __FILE__, __LINE__);
  const bool written = tw::output::WriteAll(file.get(), data.data(), dwSize);
  if (!file.Close() || !written) {
    // A metafile cut short does not stay behind.
    DeleteFileW(name);
    return ReportWriteFailure(kPrefix, name, kNotWritten, __FILE__, __LINE__);
  }
  return TRUE;
}

BOOL CTWMemEMFFile::SaveFile(HGLOBAL hData, DWORD, const WCHAR*, BOOL bEMF) {
  Trace(u"CTWMemEMFFile::SaveFile");
  if (!hData) return Fail(kNoData, __FILE__, __LINE__);
  if (!m_pJob) return FALSE;
  if (hData != kFinalSheet && PageTextWanted(*m_pJob, m_DevMode)) {
    CEMFImage image;
    if (!Render(image, hData, bEMF, m_DevMode, m_pJob)) return FALSE;
  }
  if (hData == kFinalSheet) return TRUE;
  SendInMemoryPage(*m_pJob, hData);
  return TRUE;
}
