#include "job/job/tw_job.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "client/forward/forwarding.h"
#include "client/handoff/handoff.h"
#include "client/messaging/messaging.h"
#include "client/status/job_status.h"
#include "job/devmode/devmode_access.h"
#include "job/job/end_doc_handoffs.h"
#include "job/job/job_observer.h"
#include "job/settings/effective.h"
#include "job/settings/registry_key.h"
#include "job/settings/save_as.h"
#include "job/settings/settings_store.h"
#include "core/impersonation.h"
#include "core/log/tw_log.h"
#include "core/thread_state.h"
#include "output/twfile/tw_file.h"
#include "output/twfile/tw_writers.h"

namespace st = tw::settings;
namespace dmf = tw::devmode::flags;

namespace {

st::SettingsScope ScopeOf(const CTWJob& job) { return job.SettingsScope(); }

// Cover pages go in front of the document: made before printing ("Start
// Before Printing") or at its end.
enum class CoverPages { None, BeforePrinting, AtEnd };
CoverPages CoverPagesOf(const CTWJob& job) {
  if (job.m_szCoverPage.empty()) return CoverPages::None;
  return st::Read(ScopeOf(job), st::CoverStartBeforePrinting) ? CoverPages::BeforePrinting : CoverPages::AtEnd;
}

// The plug-in sees landscape pages with width and height swapped; the swap
// is undone after the call.
class LandscapeSwap {
 public:
  explicit LandscapeSwap(CTWJob& job) : job_(job) { job_.SwapLandscapeWidthHeight(job_.m_DevMode); }
  ~LandscapeSwap() { job_.SwapLandscapeWidthHeight(job_.m_DevMode); }
  LandscapeSwap(const LandscapeSwap&) = delete;
  LandscapeSwap& operator=(const LandscapeSwap&) = delete;

 private:
  CTWJob& job_;
};

}  // namespace

CTWJob::CTWJob() { Trace(u"> CTWJob::CTWJob"); }

CTWJob::~CTWJob() {
  if (m_hClientToken && !tw::core::ImpersonatePrinterClientHelper(m_hClientToken))
    Trace(u"CTWJob::~CTWJob: ImpersonatePrinterClient failed");
  m_pActCmd.reset();
  m_pOutputFile.reset();
  if (m_hPlugin) FreeLibrary(m_hPlugin);
  if (m_hGdiMutex) CloseHandle(m_hGdiMutex);
}

void CTWJob::SetPrinterName(const WCHAR* name) {
  wcsncpy_s(m_szPrinterName, name ? name : u"", _TRUNCATE);
  if (!m_hGdiMutex) m_hGdiMutex = CreateMutexW(nullptr, FALSE, kGdiMutexName);
}

BOOL CTWJob::AcquireGdiMutex() {
  if (!m_hGdiMutex) return FALSE;
  DWORD wait = WaitForSingleObject(m_hGdiMutex, kGdiMutexWait);
  return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

BOOL CTWJob::WritePort(const BYTE* buffer, DWORD count, DWORD* consumed) {
  DWORD used = 0;
  if (consumed) *consumed = 0;
  // A failure fails the document: the rest of the block is taken without
  // running, and so is every later block.
  auto fail = [&] {
    m_Document.Fail();
    m_pActCmd.reset();
    if (consumed) *consumed = count;
    return FALSE;
  };
  if (m_Document.Failed()) return fail();
  while (used < count) {
    if (!m_pActCmd) {
      THREAD_STATE* state = tw::core::GetThreadState();
      if (!state) return fail();
      if (!state->pCmdHeader) {
        state->pCmdHeader = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, sizeof(PORT_COMMAND)));
        state->dwCmdHeaderFill = 0;
        if (!state->pCmdHeader) return fail();
      }
      DWORD n = std::min<DWORD>(count - used, sizeof(PORT_COMMAND) - state->dwCmdHeaderFill);
      std::memcpy(state->pCmdHeader + state->dwCmdHeaderFill, buffer + used, n);
      state->dwCmdHeaderFill += n;
      // The block ended inside a header: the rest comes with the next block.
      if (state->dwCmdHeaderFill < sizeof(PORT_COMMAND)) return TRUE;
      m_pActCmd = CPortCmd::CreateCmd(reinterpret_cast<const PORT_COMMAND*>(state->pCmdHeader));
      used += n;
      if (consumed) *consumed = used;
      GlobalFree(state->pCmdHeader);
      state->pCmdHeader = nullptr;
      state->dwCmdHeaderFill = 0;
      if (!m_pActCmd) {
        // Invalid header: the rest of the block is dropped.
        if (consumed) *consumed = count;
        return TRUE;
      }
    }
    if (used < count && m_pActCmd->ExpectsPayload()) {
      used += m_pActCmd->AddPayload(buffer + used, count - used);
      if (consumed) *consumed = used;
      // Bytes that cannot be stored fail the job at once rather than when
      // (if ever) the announced size has arrived.
      if (m_pActCmd->PayloadDropped()) return fail();
    }
    if (m_pActCmd->ExpectsPayload()) continue;
    // Destroy the command (and its payload block) as soon as it has run.
    std::unique_ptr<CPortCmd> cmd = std::move(m_pActCmd);
    if (!cmd->UpdateJob(this)) {
      LogMessageCapture(TWLOG_ERROR, u"! Error: Job %u: %s failed; the rest of the document is not run", m_dwJobID,
                        cmd->Name());
      return fail();
    }
    m_Document.Ran(cmd->Header().dwCommandType);
  }
  return TRUE;
}

BOOL CTWJob::LoadPlugin() {
  auto scope = ScopeOf(*this);
  m_bUppercaseExtensions = st::Read(scope, st::IniUppercaseExtensions) != 0;
  std::u16string plugin = st::Read(scope, st::IniPluginFilename, MAX_PATH);
  if (m_hPlugin) return TRUE;
  m_hPlugin = LoadLibraryW(plugin.c_str());
  if (!m_hPlugin) {
    // Most printers have no plug-in: an information line, not an error.
    LogMessageCapture(TWLOG_INFO, u"Plug-in %s not loaded (error %d)", plugin.c_str(),
                      static_cast<int>(GetLastError()));
    return FALSE;
  }
  m_fnTwStartDoc = reinterpret_cast<PFN_TwStartDoc>(GetProcAddress(m_hPlugin, "TwStartDoc"));
  m_fnTwStartPage = reinterpret_cast<PFN_TwStartPage>(GetProcAddress(m_hPlugin, "TwStartPage"));
  m_fnTwEndPage = reinterpret_cast<PFN_TwEndPage>(GetProcAddress(m_hPlugin, "TwEndPage"));
  m_fnTwEndDoc = reinterpret_cast<PFN_TwEndDoc>(GetProcAddress(m_hPlugin, "TwEndDoc"));
  m_fnTwAbort = reinterpret_cast<PFN_TwAbort>(GetProcAddress(m_hPlugin, "TwAbort"));
  return TRUE;
}

BOOL CTWJob::CallPluginStartDoc() {
  if (!m_fnTwStartDoc) return TRUE;
  LandscapeSwap swap(*this);
  return m_fnTwStartDoc(&m_DevMode, &m_PluginContext[0], &m_PluginContext[1]);
}

BOOL CTWJob::CallPluginStartPage() {
  if (!m_fnTwStartPage) return TRUE;
  LandscapeSwap swap(*this);
  return m_fnTwStartPage(&m_DevMode, m_PluginContext[0]);
}

BOOL CTWJob::CallPluginEndPage() {
  if (!m_fnTwEndPage) return TRUE;
  LandscapeSwap swap(*this);
  return m_fnTwEndPage(&m_DevMode, m_PluginContext[0], m_dwActPage);
}

BOOL CTWJob::CallPluginEndDoc() {
  if (!m_fnTwEndDoc) return TRUE;
  LandscapeSwap swap(*this);
  return m_fnTwEndDoc(&m_DevMode, m_PluginContext[0], m_szGroupFileName);
}

void CTWJob::CallPluginAbort() {
  if (!m_fnTwAbort) return;
  LandscapeSwap swap(*this);
  m_fnTwAbort(&m_DevMode, m_PluginContext[0]);
}

void CTWJob::CountDocument() {
  std::unique_ptr<void, BOOL (*)(HANDLE)> mutex(CreateMutexW(nullptr, FALSE, kDocCounterMutexName), &CloseHandle);
  DWORD wait = mutex ? WaitForSingleObject(mutex.get(), kDocCounterWait) : WAIT_FAILED;
  const bool locked = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  auto scope = ScopeOf(*this);
  m_dwDocumentNumber = st::Read(scope, st::LastDocNumber) + 1;
  if (!st::Write(scope, st::LastDocNumber, m_dwDocumentNumber))
    Trace(u"CTWJob::StartDoc: LastDocNumber not written (%d)", GetLastError());
  if (locked) ReleaseMutex(mutex.get());
  // A counter held that long belongs to a job that hangs: go on without it,
  // but say that two documents may have got the same number.
  if (wait == WAIT_TIMEOUT)
    ReportJobWarning(u"The document counter was not free within %d seconds; document number %u was counted "
                     u"without it and may repeat.",
                     static_cast<int>(kDocCounterWait / 1000), m_dwDocumentNumber);
}

BOOL CTWJob::DropOutputIfPreviewAborted() {
  if (!PreviewAbortEventExists(*this)) return FALSE;
  m_bPreviewAborted = TRUE;
  m_pOutputFile.reset();
  DeleteOutputFiles();
  return TRUE;
}

BOOL CTWJob::IsCancelledBeforeFirstPage() {
  auto scope = ScopeOf(*this);
  if (st::Read(scope, st::JobAbortJob) != 0) return TRUE;
  if (DropOutputIfPreviewAborted()) return TRUE;
  st::EffectiveContext ctx{scope, &m_DevMode, MergeStateForSettings(), m_bTiffViewer != FALSE};
  std::optional<DWORD> cancel = st::EffectiveSaveAs(ctx, st::SaveAsDword::CancelWasPressed);
  return cancel && *cancel == 1;
}

void CTWJob::ReadDocumentSwitches() {
  auto scope = ScopeOf(*this);
  m_dwEndPageDelay = static_cast<DWORD>(std::max(0, st::Read(scope, st::IniEndPageDelay)));
  m_dwStartDocDelay = static_cast<DWORD>(std::max(0, st::Read(scope, st::IniStartDocDelay)));
  m_dwEndDocDelay = static_cast<DWORD>(std::max(0, st::Read(scope, st::IniEndDocDelay)));
  m_dwLineAdjustment = static_cast<DWORD>(st::Read(scope, st::IniTextLineAdjustment));
  m_dwEventLoggingLevel = static_cast<DWORD>(st::Read(scope, st::IniEventLoggingLevel));
  m_bAlwaysReopenTiffFile = st::Read(scope, st::IniAlwaysReopenTiffFile) == 1;
  m_bDisplayWordCoordinates = st::Read(scope, st::IniTextDisplayWordCoordinates) == 1;
  m_bDuplexCapability = st::Read(scope, st::IniDuplexCapability) == 1;
  m_bWriteCopiesToGroupFile = st::Read(scope, st::IniWriteNumberOfCopiesToGroupFile) == 1;
  m_bAddPageNumberToFirstFilename = st::Read(scope, st::IniAddPageNumberToFirstPageFilename) == 1;
  m_dwBitmapMergingMode = static_cast<DWORD>(st::Read(scope, st::IniPdfBitmapMergingMode));

  m_bFilterJunkCharacters = st::Read(scope, st::TextFilterJunkCharacters);
  m_bUseLegacyCoordinates = st::Read(scope, st::TextUseLegacyCoordinates);
  m_bNoPageHeaders = st::Read(scope, st::TextNoPageHeaders);
  m_dwGlyphConversionMethod = st::Read(scope, st::TextGlyphConversionMethod);
  m_dwLineBreaks = st::Read(scope, st::TextLineBreaks);
  m_dwAddSpace = st::Read(scope, st::TextAddSpace);
  m_dwCharacterRows = st::Read(scope, st::TextCharacterRows);
  m_dwCharacterColumns = st::Read(scope, st::TextCharacterColumns);
  m_dwTextOutputType = tw::devmode::GetTextOutputType(&m_DevMode);
  m_bTextOutputOptions = m_DevMode.TextOutputOptions;

  // Margins in hundredths of an inch (units 0) or tenths of a millimetre
  // (units 1) become pixels; other units are pixels already.
  DWORD units = st::Read(scope, st::TextMarginUnits);
  LONG xDpi = tw::devmode::GetXDPI(&m_DevMode), yDpi = tw::devmode::GetYDPI(&m_DevMode);
  auto pixels = [units](DWORD margin, LONG dpi) -> LONG {
    LONGLONG per = units == 0 ? 100 : units == 1 ? 254 : 0;
    if (!per) return static_cast<LONG>(margin);
    return static_cast<LONG>((static_cast<LONGLONG>(margin) * dpi + per / 2) / per);
  };
  m_rcTextMargins.top = pixels(st::Read(scope, st::TextMarginTop), yDpi);
  m_rcTextMargins.bottom = pixels(st::Read(scope, st::TextMarginBottom), yDpi);
  m_rcTextMargins.left = pixels(st::Read(scope, st::TextMarginLeft), xDpi);
  m_rcTextMargins.right = pixels(st::Read(scope, st::TextMarginRight), xDpi);
}

BOOL CTWJob::StartDoc() {
  Trace(u"> CTWJob::StartDoc");
  tw::job::NotifyOperation(u"StartDoc", 0);
  RegisterEventLogSource();
  GetPrinterINIFile(m_szPrinterINIFile);
  LoadPlugin();
  if (!CallPluginStartDoc()) {
    // The plug-in refused the document: it produces nothing, its first page fails.
    m_bAbortPrinting = TRUE;
    return TRUE;
  }
  auto scope = ScopeOf(*this);
  // The document's pages are numbered after the cover pages EndDoc puts in front.
  m_dwActPage = 1 + (CoverPagesOf(*this) == CoverPages::AtEnd ? CountCoverPages() : 0);
  CountDocument();
  if (!GenerateFilenames(TRUE)) return FALSE;
  --m_dwActPage;
  m_bCancelledBeforeFirstPage = IsCancelledBeforeFirstPage();
  // A PDF cover page starts the output file; the pages are added behind it.
  if (m_bPdfCoverPage && !m_szCoverPage.empty() && m_szActFileName[0] && !m_bCancelledBeforeFirstPage &&
      !CopyFileW(m_szCoverPage.c_str(), m_szActFileName, FALSE))
    Trace(u"CTWJob::StartDoc: cover page %s not copied (%d)", m_szCoverPage.c_str(), GetLastError());

  st::EffectiveContext ctx{scope, &m_DevMode, MergeStateForSettings(), m_bTiffViewer != FALSE};
  const DWORD startApp = m_DevMode.StartAppFlags;
  if (st::EffectiveStartsApplication(ctx) && (startApp & tw::devmode::startapp::BeforePrinting) &&
      !(startApp & tw::devmode::startapp::ForMessaging))
    StartApplicationAndWait(FALSE);

  ReadDocumentSwitches();
  if (m_dwStartDocDelay) Sleep(m_dwStartDocDelay);

  m_szPrintStatus = u"Printing started";
  m_bPrintStatusPending = TRUE;

  m_pOutputFile.reset();
  m_Output.kind = tw::job::OutputDocument::Kind::None;
  m_Output.opened = false;
  m_pOutputFile = CTWFile::CreateTWFileObject(m_DevMode, this);
  if (!m_pOutputFile) {
    // A format without writer: the document fails before anything is written.
    LogMessageCapture(TWLOG_ERROR, u"! Error: Job %u: format %u has no writer", m_dwJobID,
                      static_cast<unsigned>(m_DevMode.FileFormat));
    return FALSE;
  }
  if (!m_bNoFileOutput && !OpenOutputFile()) return FALSE;
  // Record the group file in the group INI, under the printer's name.
  std::u16string groupIni = st::Read(scope, st::IniGroupIniFile, MAX_PATH);
  if (!WritePrivateProfileStringW(m_szPrinterName, u"Group File", m_szGroupFileName, groupIni.c_str()))
    Trace(u"CTWJob::StartDoc: group INI %s not written (%d)", groupIni.c_str(), GetLastError());
  if (m_bGenerateInMemory) FreeInMemoryOutput();

  WriteStartDocHandOffKeys(*this);
  SendMessageToClients(*this, 1, m_szGroupFileName);
  if (!m_bCancelledBeforeFirstPage && m_bPreviewWindow) SendPreviewOverlay(*this);
  if (st::Effective(ctx, st::OcrEnabled) && !OpenOcrOutput()) Trace(u"CTWJob::StartDoc: OCR output not opened");
  if (CoverPagesOf(*this) == CoverPages::BeforePrinting && !AddCoverPagesBeforePrinting()) return FALSE;
  return TRUE;
}

void CTWJob::DeletePerJobKey() {
  auto scope = ScopeOf(*this);
  std::u16string path = st::KeyPath(scope, st::Definition(st::JobAbortJob));
  LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
  if (status == ERROR_SUCCESS) RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
}

void CTWJob::PrintEmptyPage() {
  DWORD size = 0;
  tw::dib::GlobalBlock block(MakePageMetafile(m_DevMode, 0, false, size));
  if (!block) {
    Trace(u"CTWJob::EndDoc: the empty page could not be made");
    return;
  }
  // The page is the job's own: page selection and the blank test pass it.
  // The page operations report their own failures; they are not looked at here.
  tw::job::JobMadePage own(m_Pages);
  StartPage();
  m_dwPageDataSize = size;
  EndPage(block.get());
}

BOOL CTWJob::EndDoc() {
  Trace(u"> CTWJob::EndDoc");
  tw::job::NotifyOperation(u"EndDoc", 0);
  auto scope = ScopeOf(*this);
  st::EffectiveContext ctx{scope, &m_DevMode, MergeStateForSettings(), m_bTiffViewer != FALSE};
  if (m_bDocumentBlank) ReportJobWarning(u"The printed document was blank.");
  const CoverPages coverPages = CoverPagesOf(*this);
  if (coverPages == CoverPages::AtEnd && !AddCoverPagesAtEnd()) return FALSE;
  // A document without pages still produces one (empty) page, unless it
  // merges with others.
  const bool merging = m_bMergeActive && !m_bMergeOff;
  if (m_dwActPage == 0 && !st::Read(scope, st::PageRemoveBlankPages) && !merging) PrintEmptyPage();
  // Makes the merge end itself when the sheet cannot be saved.
  if (!FinishPagesPerSheet()) return FALSE;
  st::Write(scope, st::TroubleReadEmfData, u"");
  UpdateBatesNumber();
  const bool ocr = st::Effective(ctx, st::OcrEnabled) != 0;
  if (ocr) CloseOcrOutput();
  if (!m_bNoFileOutput && !CloseOutputFile()) {
    DeletePerJobKey();
    EndMerge(FALSE);
    return FALSE;
  }
  ReleaseFile();
  // The XML summary reads the final status from the group data even when no
  // group file is written.
  const bool xmlSummary = tw::group::WritesXmlSummary(*this);
  // A vector PDF whose writer reported an error keeps that error as its status.
  const auto* vectorPdf = dynamic_cast<const CTWVectorPDFFile*>(m_pOutputFile.get());
  if ((GroupFilesEnabled() || xmlSummary) && !(vectorPdf && vectorPdf->ErrorReported())) {
    m_szPrintStatus = u"Printing finished successfully";
    WritePrintStatus(m_szPrintStatus.c_str());
  }
  if (xmlSummary) GenerateXmlSummary();
  const tw::job::EndDocHandOffs handOffs =
      tw::job::DecideEndDocHandOffs(ctx, {merging, coverPages != CoverPages::None});
  if (handOffs.startApplication) StartApplication(*this);
  if (m_dwEndDocDelay) Sleep(m_dwEndDocDelay);
  if ((m_DevMode.Flags & dmf::DeleteGroupFile) && m_szGroupFileName[0]) DeleteFileW(m_szGroupFileName);
  FreeInMemoryOutput();
  if (handOffs.forwarding) WriteEndDocForPrinterForwardingToRegistry(*this);
  else if (handOffs.noRedirectMessage) WriteNoRedirectMsgForPrinterForwardingToRegistry(*this);
  if (handOffs.JobStatus()) WriteJobStatus(*this, u"Job Finished");
  if (m_bGenerateInMemory) SendInMemoryDocument(*this);
  SendMessageToClients(*this, 4, m_szGroupFileName);
  if (!CallPluginEndDoc()) {
    DeletePerJobKey();
    EndMerge(FALSE);
    return FALSE;
  }
  if (ctx.SaveAsApplies() && !handOffs.forwarding && !st::DeleteSaveAsKey(scope))
    Trace(u"CTWJob::EndDoc: Save-As key not deleted (%d)", GetLastError());
  ClearEmbeddedFonts();
  LogMessageCapture(TWLOG_DEBUG, u"Job %u: GDI mutex held %u ms in %u page plays, waited for %u ms", m_dwJobID,
                    static_cast<DWORD>(m_GdiMutexTime.heldUs / 1000), m_GdiMutexTime.plays,
                    static_cast<DWORD>(m_GdiMutexTime.waitedUs / 1000));
  ReportJobEnd(TRUE);
  DeletePerJobKey();
  DropOutputIfPreviewAborted();
  EndMerge(FALSE);
  return TRUE;
}

BOOL CTWJob::AbortDoc() {
  Trace(u"> CTWJob::AbortDoc");
  tw::job::NotifyOperation(u"AbortDoc", 0);
  auto scope = ScopeOf(*this);
  st::EffectiveContext ctx{scope, &m_DevMode, MergeStateForSettings(), m_bTiffViewer != FALSE};
  ReportJobEnd(FALSE);
  st::Write(scope, st::TroubleReadEmfData, u"");
  ReleaseFile();
  if (st::Effective(ctx, st::OcrEnabled)) CloseOcrOutput();
  if (!m_bNoFileOutput && !CloseOutputFile()) {
    Trace(u"CTWJob::AbortDoc: the output could not be closed");
    DeletePerJobKey();
    EndMerge(TRUE);
    DropOutputIfPreviewAborted();
    return FALSE;
  }
  CallPluginAbort();
  WriteJobStatus(*this, u"Aborted");
  ClearEmbeddedFonts();
  DeletePerJobKey();
  DropOutputIfPreviewAborted();
  EndMerge(TRUE);
  return TRUE;
}
