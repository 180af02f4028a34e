#include "job/job/tw_job.h"

#include <algorithm>
#include <cstring>

#include "client/handoff/handoff.h"
#include "client/messaging/messaging.h"
#include "client/status/job_status.h"
#include "job/devmode/devmode_access.h"
#include "job/job/job_observer.h"
#include "job/settings/registry_key.h"
#include "job/settings/settings_store.h"
#include "core/impersonation.h"
#include "core/log/tw_log.h"
#include "core/thread_state.h"
#include "output/twfile/tw_file.h"

namespace st = tw::settings;
namespace dmf = tw::devmode::flags;

namespace {

st::SettingsScope ScopeOf(const CTWJob& job) { return job.SettingsScope(); }

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
  BOOL result = TRUE;
  while (used < count) {
    if (!m_pActCmd) {
      THREAD_STATE* state = tw::core::GetThreadState();
      if (!state) return FALSE;
      if (!state->pCmdHeader) {
        state->pCmdHeader = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, sizeof(PORT_COMMAND)));
        state->dwCmdHeaderFill = 0;
        if (!state->pCmdHeader) return FALSE;
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
      if (m_pActCmd->PayloadDropped()) result = FALSE;
    }
    if (m_pActCmd->ExpectsPayload()) continue;
    // Destroy the command (and its payload block) as soon as it has run.
    std::unique_ptr<CPortCmd> cmd = std::move(m_pActCmd);
    result = cmd->UpdateJob(this);
  }
  return result;
}

BOOL CTWJob::LoadPlugin() {
  auto scope = ScopeOf(*this);
  m_bUppercaseExtensions = st::Read(scope, st::IniUppercaseExtensions) != 0;
  std::u16string plugin = st::Read(scope, st::IniPluginFilename, MAX_PATH);
  if (m_hPlugin) return TRUE;
  m_hPlugin = LoadLibraryW(plugin.c_str());
  if (!m_hPlugin) {
    Trace(u"CTWJob::StartDoc: plug-in %s not loaded (%d)", plugin.c_str(), GetLastError());
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
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kDocCounterMutexName);
  // A wait that times out goes on unguarded.
  DWORD wait = mutex ? WaitForSingleObject(mutex, kDocCounterWait) : WAIT_FAILED;
  auto scope = ScopeOf(*this);
  m_dwDocumentNumber = st::Read(scope, st::LastDocNumber) + 1;
  if (!st::Write(scope, st::LastDocNumber, m_dwDocumentNumber))
    Trace(u"CTWJob::StartDoc: LastDocNumber not written (%d)", GetLastError());
  if (mutex) {
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
}

BOOL CTWJob::IsCancelledBeforeFirstPage() {
  // The preview's abort event and the Save-As dialog come with their areas.
  return st::Read(ScopeOf(*this), st::JobAbortJob) != 0;
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
  m_dwActPage = 1;
  CountDocument();
  if (!GenerateFilenames(TRUE)) return FALSE;
  --m_dwActPage;
  m_bCancelledBeforeFirstPage = IsCancelledBeforeFirstPage();

  ReadDocumentSwitches();
  if (m_dwStartDocDelay) Sleep(m_dwStartDocDelay);

  m_szPrintStatus = u"Printing started";
  m_bPrintStatusPending = TRUE;

  m_pOutputFile.reset();
  m_pOutputFile = CTWFile::CreateTWFileObject(m_DevMode.FileFormat);
  if (!m_pOutputFile) return FALSE;
  m_pOutputFile->SetJob(this);
  if (!m_bNoFileOutput && (m_DevMode.Flags & dmf::Multipage) && !m_pOutputFile->OpenDocument(m_szActFileName))
    return FALSE;
  // Record the group file in the group INI, under the printer's name.
  std::u16string groupIni = st::Read(ScopeOf(*this), st::IniGroupIniFile, MAX_PATH);
  if (!WritePrivateProfileStringW(m_szPrinterName, u"Group File", m_szGroupFileName, groupIni.c_str()))
    Trace(u"CTWJob::StartDoc: group INI %s not written (%d)", groupIni.c_str(), GetLastError());

  WriteStartDocHandOffKeys(*this);
  SendMessageToClients(*this, 1, m_szGroupFileName);
  return TRUE;
}

BOOL CTWJob::CloseOutputFile() {
  if (m_bNoFileOutput || !m_pOutputFile || !(m_DevMode.Flags & dmf::Multipage)) return TRUE;
  return m_pOutputFile->CloseDocument();
}

void CTWJob::DeletePerJobKey() {
  auto scope = ScopeOf(*this);
  std::u16string path = st::KeyPath(scope, st::Definition(st::JobAbortJob));
  LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
  if (status == ERROR_SUCCESS) RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
}

void CTWJob::PrintEmptyPage() {
  TarnwickDEVMODE dm = m_DevMode;
  // The page is made with width and height swapped for landscape.
  SwapLandscapeWidthHeight(dm);
  HDC printer = CreateDCW(nullptr, m_szPrinterName, nullptr, reinterpret_cast<const DEVMODEW*>(&dm));
  // The frame is the paper size in 0.01 mm.
  RECT frame = {0, 0, tw::devmode::GetPaperWidth(dm) * 10, tw::devmode::GetPaperLength(dm) * 10};
  HDC recorder = CreateEnhMetaFileW(printer, nullptr, &frame, nullptr);
  HENHMETAFILE emf = recorder ? CloseEnhMetaFile(recorder) : nullptr;
  if (printer) DeleteDC(printer);
  UINT size = emf ? GetEnhMetaFileBits(emf, 0, nullptr) : 0;
  HGLOBAL block = size ? GlobalAlloc(GHND, size) : nullptr;
  if (block) {
    if (auto* bytes = static_cast<BYTE*>(GlobalLock(block))) {
      GetEnhMetaFileBits(emf, size, bytes);
      GlobalUnlock(block);
    }
  }
  if (emf) DeleteEnhMetaFile(emf);
  if (!block) {
    Trace(u"CTWJob::EndDoc: the empty page could not be made");
    return;
  }
  // The page operations report their own failures; they are not looked at here.
  StartPage();
  m_dwPageDataSize = size;
  EndPage(block);
  GlobalFree(block);
}

BOOL CTWJob::EndDoc() {
  Trace(u"> CTWJob::EndDoc");
  tw::job::NotifyOperation(u"EndDoc", 0);
  if (m_bDocumentBlank) ReportJobWarning(u"The printed document was blank.");
  auto scope = ScopeOf(*this);
  // A document without pages still produces one (empty) page.
  if (m_dwActPage == 0 && !st::Read(scope, st::PageRemoveBlankPages)) PrintEmptyPage();
  st::Write(scope, st::TroubleReadEmfData, u"");
  if (!CloseOutputFile()) {
    DeletePerJobKey();
    return FALSE;
  }
  ReleaseFile();
  if (GroupFilesEnabled()) {
    m_szPrintStatus = u"Printing finished successfully";
    WritePrintStatus(m_szPrintStatus.c_str());
  }
  if (m_dwEndDocDelay) Sleep(m_dwEndDocDelay);
  if ((m_DevMode.Flags & dmf::DeleteGroupFile) && m_szGroupFileName[0]) DeleteFileW(m_szGroupFileName);
  SendMessageToClients(*this, 4, m_szGroupFileName);
  if (!CallPluginEndDoc()) {
    DeletePerJobKey();
    return FALSE;
  }
  ReportJobEnd(TRUE);
  DeletePerJobKey();
  return TRUE;
}

BOOL CTWJob::AbortDoc() {
  Trace(u"> CTWJob::AbortDoc");
  tw::job::NotifyOperation(u"AbortDoc", 0);
  ReportJobEnd(FALSE);
  st::Write(ScopeOf(*this), st::TroubleReadEmfData, u"");
  ReleaseFile();
  if (!CloseOutputFile()) {
    Trace(u"CTWJob::AbortDoc: the output could not be closed");
    DeletePerJobKey();
    return FALSE;
  }
  CallPluginAbort();
  WriteJobStatus(*this, u"Aborted");
  DeletePerJobKey();
  return TRUE;
}
