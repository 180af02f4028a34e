// The job's page steps: StartPage, EndPage and EndPageRaw, and what they
// share with the pages the job makes itself (cover_pages.cpp).
//
// Page selection, blank pages and the pages the job makes:
// - every page the driver sends counts as a spool page, also one that
//   follows a page dropped as blank, so that page selection always looks at
//   the driver's numbering;
// - a page that is not selected is skipped before the blank test: a skipped
//   blank page does not make the next page take its place;
// - a page dropped as blank leaves its number and names to the next page
//   that is printed, however many unselected pages come between;
// - cover pages and the empty page of a document without pages are the
//   job's own: no spool page, no selection, no blank test.
#include <windows.h>

#include <algorithm>
#include <string>

#include "client/handoff/handoff.h"
#include "client/messaging/messaging.h"
#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/group/group_file.h"
#include "job/job/job_observer.h"
#include "job/job/tw_job.h"
#include "job/naming/naming.h"
#include "job/page/page_seams.h"
#include "job/settings/effective.h"
#include "job/settings/save_as.h"
#include "output/twfile/tw_writers.h"
#include "render/emf/emf_image.h"
#include "render/emf/page_seams.h"
#include "tw/packed_dib.h"

namespace st = tw::settings;
namespace dmf = tw::devmode::flags;
using Kind = tw::job::OutputDocument::Kind;

namespace {

constexpr DWORD kBarcodeOn = 0x1;
constexpr DWORD kBarcodeSeparatorPage = 0x40;

struct JobContext {
  explicit JobContext(const CTWJob& job)
      : scope(job.SettingsScope()),
        ctx{scope, &job.m_DevMode, job.MergeStateForSettings(), job.m_bTiffViewer != FALSE} {}
  st::SettingsScope scope;
  st::EffectiveContext ctx;
};

bool EmailSplitByContent(const st::EffectiveContext& ctx) {
  return st::Effective(ctx, st::PostPrintSendInEmail) &&
         (st::Effective(ctx, st::EmailContentBased) || st::Effective(ctx, st::EmailSimpleContentBased));
}

// The output is split by the pages' content: content-based e-mail or naming method 9.
bool SplitByContent(const CTWJob& job, const st::EffectiveContext& ctx) {
  return EmailSplitByContent(ctx) || tw::devmode::GetFileGenerationMethod(&job.m_DevMode) == 9;
}

tw::render::SheetState Sheet(const CTWJob& job) { return tw::render::GetSheetState(job); }

bool SeparatorPageOn(const TarnwickDEVMODE& dm) {
  return (dm.BarcodeFlags & (kBarcodeOn | kBarcodeSeparatorPage)) == (kBarcodeOn | kBarcodeSeparatorPage);
}

// The largest page number of the selection (0 when there is none).
DWORD LargestSelectedPage(const std::vector<st::PageRange>& ranges) {
  DWORD largest = 0;
  for (const auto& r : ranges) largest = std::max<DWORD>(largest, std::max(r.first, r.last));
  return largest;
}

// The fonts of one page: made before the page is written, gone on every return.
class PageFontRegistry {
 public:
  explicit PageFontRegistry(CTWJob& job) : job_(job) {
    tw::page::CreatePageFontRegistry(job_);
    if (job_.m_DevMode.ClientFlags & tw::devmode::kClientProtectedMode) tw::page::RegisterIEFonts(job_);
  }
  ~PageFontRegistry() { tw::page::DestroyPageFontRegistry(job_); }
  PageFontRegistry(const PageFontRegistry&) = delete;
  PageFontRegistry& operator=(const PageFontRegistry&) = delete;

 private:
  CTWJob& job_;
};

// Page data taken from a capture file instead of the received block: used
// for the page, then freed and the received size restored on every return.
class SubstitutedPage {
 public:
  SubstitutedPage(CTWJob& job, HGLOBAL received, DWORD page) : job_(job), received_(received) {
    DWORD size = 0;
    block_ = tw::dib::GlobalBlock(tw::page::ReadSubstitutePageData(job, page, &size));
    if (block_) {
      receivedSize_ = std::exchange(job_.m_dwPageDataSize, size);
      substituted_ = true;
    }
  }
  ~SubstitutedPage() { Restore(); }
  SubstitutedPage(const SubstitutedPage&) = delete;
  SubstitutedPage& operator=(const SubstitutedPage&) = delete;

  HGLOBAL Data() const { return block_ ? block_.get() : received_; }
  void Restore() {
    if (!substituted_) return;
    block_ = tw::dib::GlobalBlock();
    job_.m_dwPageDataSize = receivedSize_;
    substituted_ = false;
  }

 private:
  CTWJob& job_;
  HGLOBAL received_;
  tw::dib::GlobalBlock block_;
  DWORD receivedSize_ = 0;
  bool substituted_ = false;
};

}  // namespace

bool CTWJob::SpoolPageSelected() const {
  return !m_PageSelection || st::IsPageSelected(*m_PageSelection, m_dwSpoolPage);
}

DWORD CTWJob::FirstDocumentPage() { return 1 + (m_szCoverPage.empty() ? 0 : CountCoverPages()); }

bool CTWJob::PageCancelled() {
  JobContext jc(*this);
  if (st::Read(jc.scope, st::JobAbortJob) != 0) return true;
  if (PreviewAbortEventExists(*this)) {
    m_bPreviewAborted = TRUE;
    DeleteOutputFiles();
    return true;
  }
  std::optional<DWORD> cancel = st::EffectiveSaveAs(jc.ctx, st::SaveAsDword::CancelWasPressed);
  return cancel && *cancel != 0;
}

bool CTWJob::DocumentPasswordAccepted() {
  using Password = tw::job::PageState::Password;
  // Decided once per document: the first page takes the password out of
  // the name, so later pages could not find it again.
  if (m_Pages.password != Password::Unchecked) return m_Pages.password == Password::Accepted;
  std::u16string password = st::Read(SettingsScope(), st::IniPassword, MAX_PATH);
  m_Pages.password = Password::Accepted;
  if (password.empty()) return true;
  std::u16string name = m_szDocumentName;
  size_t at = name.find(password);
  if (at == std::u16string::npos) {
    Trace(u"Invalid password, exiting.");
    m_Pages.password = Password::Refused;
    return false;
  }
  name.erase(at, password.size());
  wcsncpy_s(m_szDocumentName, name.c_str(), _TRUNCATE);
  return true;
}

BOOL CTWJob::PageMayStart() {
  GetPrinterINIFile(m_szPrinterINIFile);
  if (PageCancelled()) {
    if (m_szGroupFileName[0]) DeleteFileW(m_szGroupFileName);
    st::DeleteSaveAsKey(SettingsScope());
    Trace(u"StartPage: User clicked Cancel button on Save As dialog.");
    LogMessageCapture(TWLOG_INFO, u"Job %u: cancelled at page %u", m_dwJobID, m_dwActPage);
    return FALSE;
  }
  if (!DocumentPasswordAccepted()) return FALSE;
  if (m_bAbortPrinting) return FALSE;
  if (!CallPluginStartPage()) return FALSE;
  if (m_pOutputFile) m_pOutputFile->m_DevMode = m_DevMode;
  return TRUE;
}

void CTWJob::StartTextOutputPage() {
  if (!(m_DevMode.Flags & dmf::WriteText)) return;
  if (!tw::naming::DocumentGoesIntoOneFile(*this)) {
    tw::page::StartTextPage(*this, nullptr);
    return;
  }
  WCHAR header[32] = {};
  if (!m_bNoPageHeaders) swprintf_s(header, std::size(header), u"Page %d:", static_cast<int>(m_dwActPage));
  tw::page::StartTextPage(*this, header[0] ? header : nullptr);
  if (m_pOutputFile) m_pOutputFile->m_dwPageNo = m_dwActPage;
}

BOOL CTWJob::StartPage() {
  Trace(u"> CTWJob::StartPage");
  m_ScopeCache.Forget();
  tw::job::NotifyOperation(u"StartPage", 0);
  if (!m_Pages.jobMadePage) {
    ++m_dwSpoolPage;
    // Not selected: nothing of this page is written (its EndPage skips it).
    if (!SpoolPageSelected()) return TRUE;
    // The previous page was dropped as blank: this one takes its number,
    // names and place.
    if (m_bSkipNextStartPage) return TRUE;
  }
  m_Pages.sheetIndex = m_dwActPage++;
  tw::page::ResetPageText(*this);
  m_Pages.StartPageText(m_dwActPage);
  tw::page::ClearBarcodeText(*this);
  tw::page::ResetOcrErrors(*this);
  if (!PageMayStart()) return FALSE;
  StartTextOutputPage();
  const DWORD perSheet = Sheet(*this).pagesPerSheet;
  const bool newNames =
      m_Pages.SheetNumber(perSheet) != 0 && m_Pages.SheetStarts(perSheet) && !tw::page::ContentFileOpen(*this);
  if (newNames && !GenerateFilenames(FALSE)) return FALSE;
  if (m_Pages.SheetStarts(perSheet)) SendMessageToClients(*this, 2, m_szActFileName);
  return TRUE;
}

BOOL CTWJob::EndPage(HGLOBAL hData) {
  Trace(u"> CTWJob::EndPage");
  tw::job::NotifyOperation(u"EndPage", m_dwPageDataSize);
  return EndPageOf(hData, false);
}

BOOL CTWJob::EndPageRaw(HGLOBAL hData) {
  Trace(u"> CTWJob::EndPageRaw");
  tw::job::NotifyOperation(u"EndPageRaw", m_dwPageDataSize);
  return EndPageOf(hData, true);
}

BOOL CTWJob::EndPageOf(HGLOBAL hData, bool bRaw) {
  tw::group::RecordProducedFiles(*this);
  // A page without data, or a document without writer, fails before
  // anything looks at the page.
  if (!hData || !m_pOutputFile) return FALSE;
  JobContext jc(*this);
  if (!m_Pages.jobMadePage) {
    if (!SpoolPageSelected()) {
      // A skipped metafile page still gives its embedded fonts to the pages
      // after it, up to the last selected one.
      if (bRaw || m_dwSpoolPage >= LargestSelectedPage(*m_PageSelection)) return TRUE;
      HENHMETAFILE emf = ReadMetaFile(hData, this);
      if (!emf) return FALSE;
      BOOL registered = tw::page::RegisterPageFonts(*this, emf);
      DeleteEnhMetaFile(emf);
      return registered;
    }
    if (st::Read(jc.scope, st::PageRemoveBlankPages) && IsBlankPage(hData, this, bRaw)) {
      m_bSkipNextStartPage = TRUE;
      return TRUE;
    }
  }
  m_bDocumentBlank = FALSE;
  m_bSkipNextStartPage = FALSE;

  std::optional<PageFontRegistry> fonts;
  if (!bRaw) fonts.emplace(*this);
  m_pOutputFile->m_dwPageNo = m_dwActPage;
  {
    tw::dib::BlockLock data(hData);
    if (data.ok()) tw::page::CapturePageData(*this, data.data(), std::min<size_t>(m_dwPageDataSize, data.size()));
  }
  std::optional<SubstitutedPage> substitute;
  if (!bRaw) {
    const bool separator = SeparatorPageOn(m_DevMode);
    substitute.emplace(*this, hData, separator && m_dwActPage > 1 ? m_dwActPage - 1 : m_dwActPage);
  }
  HGLOBAL page = substitute ? substitute->Data() : hData;

  if (SeparatorPageOn(m_DevMode) && m_dwActPage == FirstDocumentPage()) {
    if (!CreateCoverPage(page, bRaw)) return FALSE;
    m_pOutputFile->m_dwPageNo = m_dwActPage;
  }
  if (!WritePageImage(page, !bRaw)) return FALSE;
  // The text file follows the pages unless cover pages added at the end
  // change their order in a one-file output.
  if (!bRaw && (m_DevMode.Flags & dmf::WriteText) && !st::Effective(jc.ctx, st::TextGenerateInMemory)) {
    const bool coversReorder = !m_szCoverPage.empty() && !st::Read(jc.scope, st::CoverStartBeforePrinting) &&
                               tw::naming::DocumentGoesIntoOneFile(*this);
    if (!coversReorder) tw::page::WritePageText(*this, m_dwActPage);
  }
  if (!ShowPageInPreview(page, bRaw)) return FALSE;
  if (!ForwardPage(page, bRaw)) return FALSE;
  if (substitute) substitute->Restore();

  const tw::render::SheetState sheet = Sheet(*this);
  return FinishWrittenPage(bRaw, m_Pages.SheetComplete(sheet.pagesPerSheet, sheet.flush));
}

BOOL CTWJob::WritePageImage(HGLOBAL hData, BOOL bEMF) {
  if (!m_bGenerateInMemory && m_bNoFileOutput) return RenderPageForText(hData, bEMF);
  const DWORD size = m_dwPageDataSize;
  switch (m_Output.kind) {
    case Kind::ImagePdf:
      if (!m_Output.opened) break;
      if (auto* pdf = dynamic_cast<CTWPDFFile*>(m_pOutputFile.get())) return pdf->SavePDFPage(hData, size, bEMF);
      return FALSE;
    case Kind::VectorPdf:
      if (!m_Output.oneFile) break;
      if (auto* pdf = dynamic_cast<CTWVectorPDFFile*>(m_pOutputFile.get())) return pdf->SavePDFPage(hData, size, bEMF);
      return FALSE;
    case Kind::Tiff:
      if (!m_Output.opened) break;
      if (auto* tiff = dynamic_cast<CTWTIFFFile*>(m_pOutputFile.get()); tiff && tiff->SaveTIFFPage(hData, size, bEMF))
        return TRUE;
      Trace(u"EndPage: Error saving TIFF page");
      return FALSE;
    case Kind::None:
      break;
  }
  // The page block goes to the writer as it came: the writer renders it.
  return m_pOutputFile->SaveFile(hData, size, m_szActFileName, bEMF);
}

BOOL CTWJob::RenderPageForText(HGLOBAL hData, BOOL bEMF) {
  JobContext jc(*this);
  bool wanted = (m_DevMode.Flags & (dmf::WriteText | dmf::MailMerge)) || st::Effective(jc.ctx, st::OcrEnabled) != 0;
  if (bEMF) wanted = wanted || SplitByContent(*this, jc.ctx);
  if (!wanted) return TRUE;
  TarnwickDEVMODE record = m_pOutputFile ? m_pOutputFile->m_DevMode : m_DevMode;
  CEMFImage image;
  return bEMF ? image.Create(hData, &record, this, FALSE, TRUE, FALSE) : image.CreateFromRawData(hData, &record, this);
}

BOOL CTWJob::ShowPageInPreview(HGLOBAL hData, BOOL bRaw) {
  if (!m_bPreviewWindow) return TRUE;
  const tw::render::SheetState sheet = Sheet(*this);
  if (!bRaw && sheet.pagesPerSheet >= 2)
    return tw::page::AddPageToPreviewSheet(*this, hData, bRaw,
                                           m_Pages.SheetComplete(sheet.pagesPerSheet, sheet.flush));
  TarnwickDEVMODE record = m_pOutputFile->m_DevMode;
  CEMFImage image;
  if (!(bRaw ? image.CreateFromRawData(hData, &record, this) : image.Create(hData, &record, this, FALSE, TRUE, FALSE)))
    return FALSE;
  SendPreviewPage(*this, image.m_hDIB);
  return TRUE;
}

BOOL CTWJob::ForwardPage(HGLOBAL hData, BOOL bRaw) {
  JobContext jc(*this);
  if (!st::EffectiveRedirectPrinting(jc.ctx)) return TRUE;
  // Forwarding waits while a content-based file is still collecting pages.
  if (SplitByContent(*this, jc.ctx) && tw::page::ContentFileOpen(*this)) return TRUE;
  DWORD copies = m_DevMode.DM.dmCopies > 0 ? static_cast<DWORD>(m_DevMode.DM.dmCopies) : 1;
  if (st::Effective(jc.ctx, st::RedirectUseNumberOfCopies)) {
    DWORD wanted = st::Effective(jc.ctx, st::RedirectNumberOfCopies);
    if (wanted >= 2) copies = wanted;
  }
  return tw::page::ForwardPageToPrinter(*this, hData, m_dwPageDataSize, bRaw, copies);
}

void CTWJob::WritePageHandOffs(bool separator) {
  JobContext jc(*this);
  const st::EffectiveContext& ctx = jc.ctx;
  const bool firstSheet = m_Pages.SheetNumber(Sheet(*this).pagesPerSheet) == 0;
  const bool emailByContent = EmailSplitByContent(ctx);
  if (emailByContent && (separator ? m_dwActPage == 1 : firstSheet)) WriteEmailSendingProgramforStartApp(*this);
  if (!separator && emailByContent &&
      (tw::page::PageStartedContentFile(*this) || st::Effective(ctx, st::EmailMultipageContentBased)))
    WriteContentFileForStartApp(*this);
  const bool startedApplication =
      st::Effective(ctx, st::PostPrintSendInEmail) || st::Effective(ctx, st::SharePointUpload) ||
      st::EffectiveFtpUpload(ctx) || st::Effective(ctx, st::PostPrintHttpUpload) ||
      st::Effective(ctx, st::PostPrintDatabaseUpload) || st::Effective(ctx, st::PostPrintMFilesUpload) ||
      st::EffectiveTiffViewer(ctx);
  if (!startedApplication) return;
  const bool oneFile = tw::naming::DocumentGoesIntoOneFile(*this) && !SplitByContent(*this, ctx);
  const bool htmlOneFile =
      st::EffectiveFileFormat(ctx) == 37 && st::Effective(ctx, st::HtmlSeparatePages) == 0;
  bool registers;
  if (separator)
    registers = ((!tw::naming::DocumentGoesIntoOneFile(*this) || tw::page::ContentFileOpen(*this)) && !htmlOneFile) ||
                m_dwActPage == 1;
  else
    registers = (oneFile || htmlOneFile) ? firstSheet : true;
  if (registers) WriteFileNameToRegistryforStartApp(*this);
}

BOOL CTWJob::FinishWrittenPage(bool bRaw, bool sheetComplete) {
  if (sheetComplete) {
    WritePageHandOffs(false);
    if (!UpdateGroupFile()) return FALSE;
    SendMessageToClients(*this, 3, m_szActFileName);
  }
  // A raw page's text collector ends with its page.
  if (bRaw) tw::page::DestroyTextCollector(*this);
  if (!CallPluginEndPage()) return FALSE;
  tw::page::UpdatePageBatesNumber(*this);
  tw::group::WriteLastOutputFile(*this);
  return TRUE;
}
