// CTWJob's DEVMODE record: taking it in (SetDevMode), correcting it
// (CorrectDevMode) and the values the job derives beside it. The steps call
// the free functions of job/settings and job/devmode in the job's order.
#include <windows.h>
#include <winspool.h>

#include <memory>
#include <string>
#include <vector>

#include "client/forward/redirect_log.h"
#include "client/handoff/handoff.h"
#include "client/merge/merge_job_table.h"
#include "client/messaging/messaging.h"
#include "client/status/job_status.h"
#include "job/devmode/devmode_access.h"
#include "job/devmode/devmode_geometry.h"
#include "job/job/job_observer.h"
#include "job/job/tw_job.h"
#include "job/settings/correct_devmode.h"
#include "job/settings/devmode_intake.h"
#include "job/settings/effective.h"
#include "job/settings/printer_ids.h"
#include "job/settings/shared_printer.h"
#include "core/impersonation.h"
#include "core/log/tw_log.h"
#include "render/render_setup.h"

namespace st = tw::settings;
namespace dmf = tw::devmode::flags;

namespace {

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h) CloseHandle(h);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// The whole record a PRINTER_INFO_8/9 points at, only when the answer holds
// all its bytes and it is of this driver's size.
const TarnwickDEVMODE* WholeRecord(const std::vector<BYTE>& info, const DEVMODEW* devMode) {
  if (!devMode) return nullptr;
  const BYTE* start = reinterpret_cast<const BYTE*>(devMode);
  const BYTE* end = info.data() + info.size();
  if (start < info.data() || start > end || static_cast<size_t>(end - start) < sizeof(TarnwickDEVMODE)) return nullptr;
  const auto* record = reinterpret_cast<const TarnwickDEVMODE*>(start);
  return tw::devmode::HasConsistentSize(*record) ? record : nullptr;
}

// A printer's default record (level 8 global, level 9 per user), copied.
std::optional<TarnwickDEVMODE> PrinterDefaultRecord(const tw::core::PrinterHandle& printer, DWORD level,
                                                    const WCHAR* caller) {
  if (!printer) {
    Trace(u"%s: OpenPrinter failed. Error: %d", caller, GetLastError());
    return std::nullopt;
  }
  std::vector<BYTE> info = printer.QueryPrinter(level);
  if (info.empty()) {
    Trace(u"%s: GetPrinter failed. Error: %d", caller, GetLastError());
    return std::nullopt;
  }
  const DEVMODEW* devMode = level == 8 ? reinterpret_cast<const PRINTER_INFO_8W*>(info.data())->pDevMode
                                       : reinterpret_cast<const PRINTER_INFO_9W*>(info.data())->pDevMode;
  const TarnwickDEVMODE* record = WholeRecord(info, devMode);
  if (!record) return std::nullopt;
  TarnwickDEVMODE copy;
  std::memcpy(&copy, record, sizeof copy);
  return copy;
}

// The spooler's user and machine names of a job (GetJob level 2).
std::optional<st::SpoolerJobNames> SpoolerJobNames(const tw::core::PrinterHandle& printer, DWORD jobId) {
  if (!printer) {
    Trace(u"CTWJob: OpenPrinter failed. Error: %d", GetLastError());
    return std::nullopt;
  }
  std::vector<BYTE> info = printer.QueryJob(jobId, 2);
  if (info.empty()) {
    Trace(u"CTWJob: GetJob failed. Error: %d", GetLastError());
    return std::nullopt;
  }
  const auto* job = reinterpret_cast<const JOB_INFO_2W*>(info.data());
  st::SpoolerJobNames names;
  if (job->pUserName) names.userName = job->pUserName;
  if (job->pMachineName) names.machineName = job->pMachineName;
  return names;
}

std::u16string LocalComputerName() {
  WCHAR name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = static_cast<DWORD>(std::size(name));
  return GetComputerNameW(name, &size) ? std::u16string(name) : std::u16string();
}

void LogLines(const std::vector<std::u16string>& lines) {
  for (const auto& line : lines) LogMessageCapture(TWLOG_INFO, u"%s", line.c_str());
}

}  // namespace

st::SettingsScope CTWJob::SettingsScope() const { return m_ScopeCache.Get(m_DevMode, m_dwJobID, m_szPrinterINIFile); }

st::MergeState CTWJob::MergeStateForSettings() const {
  st::MergeState merge;
  merge.active = m_bMergeActive != FALSE;
  merge.record = m_bHasMergeSettings ? &m_MergeSettings : nullptr;
  merge.off = m_bMergeOff != FALSE;
  return merge;
}

BOOL CTWJob::SetDevMode(const BYTE* record, BOOL first) {
  Trace(u"> CTWJob::SetDevMode");
  m_ScopeCache.Forget();
  tw::job::NotifyOperation(u"SetDevMode", first);
  TarnwickDEVMODE incoming;
  if (record) std::memcpy(&incoming, record, sizeof incoming);

  if (first) {
    // Before a record is taken the job's settings are its printer's.
    st::SettingsScope printerScope = st::ScopeForPrinter(m_szPrinterName, m_dwJobID, m_szPrinterINIFile);
    std::u16string cleaned = st::CleanDocumentName(printerScope, m_szDocumentName);
    wcsncpy_s(m_szDocumentName, cleaned.c_str(), _TRUNCATE);
    if (st::TakeJobDataType(printerScope)) m_bDataTypeFlag = TRUE;

    m_bSharedPrinter = IsSharedPrinter(record ? &incoming : nullptr);
    if (m_bSharedPrinter || m_bDataTypeFlag) {
      Trace(u"CTWJob::SetDevMode: RevertToPrinterSelf called");
      HANDLE client = tw::core::RevertToPrinterSelfHelper();
      if (!client) Trace(u"CTWJob::SetDevMode: RevertToPrinterSelf returned NULL, error: %d", GetLastError());
      // The port may have kept the client's token already: it stays the one
      // the job impersonates at its end.
      if (client && !m_hClientToken) m_hClientToken = client;
      m_bDataTypeFlag = TRUE;
    }
  }
  if (!record) return TRUE;

  st::TakePrinterIdentity(incoming, m_szPrinterName);
  {
    st::SettingsScope scope = SettingsScope();
    st::EffectiveContext ctx{scope, &m_DevMode, MergeStateForSettings(), m_bTiffViewer != FALSE};
    if (!st::TakeIncomingRecord(m_DevMode, incoming, first, ctx)) {
      Trace(u"CTWJob::SetDevMode: a record with another output format is ignored");
      return TRUE;
    }
  }
  m_bDevModeTaken = TRUE;

  if (!tw::devmode::HasConsistentSize(m_DevMode)) {
    std::optional<TarnwickDEVMODE> userDefault = PrinterDefaultRecord(Printer(), 9, u"CTWJob::SetDevMode");
    st::ReplaceInconsistentRecord(m_DevMode, userDefault ? &*userDefault : nullptr);
  }

  st::SettingsScope scope = SettingsScope();
  st::ApplyForcedPageSettings(scope, m_DevMode);

  // The INI values below (sharing, OCR, interface, time-outs) read this file.
  if (!GetPrinterINIFile(m_szPrinterINIFile))
    Trace(u"GetPrinterINIFile: OpenPrinter failed. Error: %d", GetLastError());
  scope = SettingsScope();
  st::EffectiveContext ctx{scope, &m_DevMode, MergeStateForSettings(), m_bTiffViewer != FALSE};

  if (first) {
    WritePortMonitorStaretdTheJobToRegistry(*this);
    GetEnvironmentVariables();
    TakeDocumentSwitches(ctx);
    TakeCoverPage(ctx);
    if (m_bSharedPrinter || (m_DevMode.Flags & dmf::SaveAs)) {
      Trace(u"> CTWJob::SetDevMode Printing from session 0");
      m_DevMode.Flags2 = m_DevMode.Flags2 & ~tw::devmode::flags2::MergeWindow;
    }
    EnterMergeMode(ctx);
    ctx.merge = MergeStateForSettings();
    if (m_DevMode.Flags & dmf::BatesNumbering) m_bBatesSetUp = SetupBatesNumber(*this, &m_DevMode);
  }

  if (m_bSharedPrinter) {
    st::SharingSettings sharing = st::ReadSharingSettings(scope);
    CopySettingsForSharedPrinter(m_DevMode, sharing.ignoreStandard, sharing.ignoreExtended);
  }

  if (first) {
    st::OcrBitmapSettings ocr = st::ReadOcrBitmapSettings(scope);
    m_szOcrBitmapDirectory = ocr.directory;
    m_bWriteOcrBitmaps = ocr.write;
    st::MessagingInterface client = st::ResolveMessagingInterface(scope, m_DevMode);
    m_szMessagingInterfaceName = client.name;
    m_dwMessagingInterfaceID = client.id;
    m_bClientSessionUnknown = client.sessionUnknown;
    m_ChannelNames = st::MakeJobChannelNames(m_szMessagingInterfaceName, m_dwMessagingInterfaceID, m_dwJobID,
                                             GetTickCount(), m_szPrinterName);
    LogMessageCapture(TWLOG_INFO, u"Pipe name: %s", m_ChannelNames.clientPipe.c_str());
    TakeOutputSwitches();
  }

  CorrectDevMode(m_DevMode);

  if (first && m_bDataTypeFlag) InitApplicationStarter(*this);

  std::vector<std::u16string> timeoutLines;
  st::JobTimeouts timeouts = st::ReadJobTimeouts(scope, &timeoutLines);
  LogLines(timeoutLines);
  m_dwStartApplicationTimeout = static_cast<DWORD>(std::max(0, timeouts.startApplication));
  m_dwMessagingTimeout = static_cast<DWORD>(std::max(0, timeouts.messaging));
  m_dwMessagingTimeout2 = static_cast<DWORD>(std::max(0, timeouts.messaging2));
  m_bAllowAnisotropicDpi = timeouts.allowAnisotropicDpi;

  ctx.tiffViewer = m_bTiffViewer != FALSE;
  if (first && st::EffectiveStartsApplication(ctx) && (m_DevMode.StartAppFlags & tw::devmode::startapp::ForMessaging))
    StartApplicationAndWait(TRUE);

  SendDEVMODEPipeMessage(*this, m_DevMode, first);

  if (first) {
    TakeOutputSwitches();
    SetupPagesPerSheet(*this, &m_DevMode);
    ctx.record = &m_DevMode;
    if (st::EffectiveRedirectPrinting(ctx) && st::Read(scope, st::RedirectEnableLog)) {
      std::u16string logFile = st::Read(scope, st::RedirectLogFile);
      ValidateRedirectPrintingLog(*this, logFile.c_str());
    }
  }
  RefreshCompanionDevMode(*this, m_DevMode);
  return TRUE;
}

void CTWJob::TakeDocumentSwitches(const st::EffectiveContext& ctx) {
  m_bPreviewWindow = st::Read(ctx.scope, st::PostPrintPreviewWindow);
  m_PageSelection = st::ReadPageSelection(ctx.scope);
}

void CTWJob::TakeCoverPage(const st::EffectiveContext& ctx) {
  std::optional<std::u16string> requested = st::RequestedCoverPage(ctx);
  if (!requested) return;
  st::CoverPageCheck check = st::CheckCoverPage(*requested, st::EffectiveFileFormat(ctx));
  if (!check.accepted) {
    // The job goes on without a cover page: the user is told (message 5)
    // and the event log keeps it, but the job does not fail.
    std::u16string text = st::CoverPageErrorText(*requested);
    ReportJobErrorText(u"%s", text.c_str());
    SendMessageToClients(*this, 5, text.c_str());
    return;
  }
  m_szCoverPage = *requested;
  bool showFiller = st::Read(ctx.scope, st::CoverShowFiller) != 0;
  if (check.pdf) {
    m_bPdfCoverPage = TRUE;
    m_DevMode.Flags2 = m_DevMode.Flags2 & ~tw::devmode::flags2::MergeWindow;
    m_bOpenOutputForCoverPage = showFiller;
  } else if (showFiller && st::Read(ctx.scope, st::CoverStartBeforePrinting) != 0) {
    m_bStartCoverPageFiller = TRUE;
  }
}

void CTWJob::EnterMergeMode(const st::EffectiveContext& ctx) {
  if (m_bSharedPrinter || !(m_DevMode.Flags2 & tw::devmode::flags2::MergeWindow) ||
      st::ExistingFileActionWithoutMerge(ctx) != 0)
    return;
  Trace(u"> CTWJob::SetDevMode Merge window enabled");
  try {
    std::u16string utility = st::Read(ctx.scope, st::NamingMergeUtility);
    DWORD attributes = utility.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(utility.c_str());
    const bool installed = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    // Without the utility's hand-shake the job could never get a turn: it
    // prints without merging, as when no utility is installed.
    if (!installed || !tw::merge::MergeHandShakeAvailable()) {
      if (installed) Trace(u"> CTWJob::SetDevMode merge hand-shake not available");
      Trace(u"> CTWJob::SetDevMode Disable Merge window (3)");
      m_DevMode.Flags2 = m_DevMode.Flags2 & ~tw::devmode::flags2::MergeWindow;
      return;
    }
    m_szMergeMapName = st::MergeMapName(st::Read(ctx.scope, st::JobWindowsSessionId), m_szPrinterName);
    Trace(u"> CTWJob::SetDevMode Map name: %s", m_szMergeMapName.c_str());
    m_bMergeActive = TRUE;
    tw::merge::MergeTurn turn;
    if (!tw::merge::WaitForTurn(m_szMergeMapName, m_dwJobID, turn) || !turn.found) {
      Trace(u"SetDevMode: Failed to open map: %s", m_szMergeMapName.c_str());
      // Merging abandoned: the job does not print.
      m_bMergeOff = TRUE;
      m_bAbortPrinting = TRUE;
      return;
    }
    if (turn.cancelled) {
      m_bMergeOff = TRUE;
      m_bAbortPrinting = TRUE;
      return;
    }
    m_MergeSettings = turn.settings;
    m_bHasMergeSettings = TRUE;
    m_DevMode.FileGenerationMethod = 3;
    if (m_MergeSettings.outputFileName.size() < 260) m_DevMode.ImageFileName.Set(m_MergeSettings.outputFileName);
  } catch (...) {
    Trace(u"> CTWJob::SetDevMode Disable Merge window (2)");
    m_DevMode.Flags2 = m_DevMode.Flags2 & ~tw::devmode::flags2::MergeWindow;
    m_bMergeActive = FALSE;
    m_bHasMergeSettings = FALSE;
  }
}

void CTWJob::TakeOutputSwitches() {
  std::vector<std::u16string> lines;
  st::OutputSwitches output = st::ApplyInMemorySwitch(m_DevMode, &lines);
  LogLines(lines);
  m_bGenerateInMemory = output.generateInMemory;
  m_bNoFileOutput = output.noFileOutput;
}

void CTWJob::StartApplicationAndWait(BOOL forMessaging) {
  const bool ownProcess = (m_DevMode.StartAppFlags & tw::devmode::startapp::InSpoolerContext) != 0;
  UniqueHandle ready;
  if (!ownProcess) {
    WCHAR name[MAX_PATH + 32];
    swprintf_s(name, std::size(name), u"Global\\%s_%d", m_szMessagingInterfaceName.c_str(),
               static_cast<int>(m_dwJobID));
    ready.reset(CreateEventW(nullptr, TRUE, FALSE, name));
    if (!ready) Trace(u"Error creating the mutex");
  }
  if (!m_DevMode.ApplicationPath.Empty()) StartApplication(*this, TRUE, forMessaging);
  // The application signals the event when it is ready for the exchange.
  if (ready) WaitForSingleObject(ready.get(), m_dwStartApplicationTimeout);
}

void CTWJob::CorrectDevMode(TarnwickDEVMODE& devMode) {
  st::SettingsScope scope = SettingsScope();
  st::EffectiveContext ctx{scope, &devMode, MergeStateForSettings(), m_bTiffViewer != FALSE};
  st::CorrectDevMode(ctx, devMode, [](std::u16string_view line) {
    std::u16string text(line);
    Trace(u"%s", text.c_str());
  });
  if (ctx.tiffViewer) m_bTiffViewer = TRUE;
  MakeTemporaryGroupFiles(ctx);
}

void CTWJob::MakeTemporaryGroupFiles(const st::EffectiveContext& ctx) {
  if (m_bGenerateInMemory || !(ctx.record->Flags & dmf::GroupFileDisabled)) return;
  const bool wanted[kTemporaryGroupActions] = {
      st::EffectiveFtpUpload(ctx),
      st::Effective(ctx, st::PostPrintHttpUpload),
      st::Effective(ctx, st::PostPrintDatabaseUpload),
      st::Effective(ctx, st::PostPrintMFilesUpload),
      st::Effective(ctx, st::SharePointUpload),
      st::EffectiveTiffViewer(ctx),
  };
  WCHAR tempDir[MAX_PATH + 1] = {};
  DWORD length = GetTempPathW(static_cast<DWORD>(std::size(tempDir)), tempDir);
  if (length == 0 || length >= std::size(tempDir)) return;  // no temporary directory: try again next time
  for (int i = 0; i < kTemporaryGroupActions; ++i) {
    if (!wanted[i] || !m_szTemporaryGroupFiles[i].empty()) continue;
    std::u16string path =
        st::TemporaryGroupFileName(tempDir, static_cast<st::TemporaryGroupAction>(i), m_dwMessagingInterfaceID,
                                   m_dwJobID, GetTickCount(), m_szPrinterName);
    if (path.empty()) continue;
    if (!tw::group::CreateUNICODEFile(path.c_str()) ||
        !WritePrivateProfileStringW(m_szPrinterName, u"Temporary", u"1", path.c_str())) {
      Trace(u"CTWJob::CorrectDevMode: temporary group file %s not made (%d)", path.c_str(), GetLastError());
      continue;
    }
    m_szTemporaryGroupFiles[i] = path;
  }
}

void CTWJob::SwapLandscapeWidthHeight(TarnwickDEVMODE& devMode) {
  if (!tw::devmode::SwapLandscapeWidthHeight(devMode)) return;
  Trace(u"CTWJob::SwapLandscapeWidthHeight: width %d length %d, %d x %d pixels",
        static_cast<int>(devMode.DM.dmPaperWidth), static_cast<int>(devMode.DM.dmPaperLength),
        static_cast<int>(devMode.PaperWidthInPixels), static_cast<int>(devMode.PaperHeightInPixels));
}

BOOL CTWJob::IsSharedPrinter(const TarnwickDEVMODE* devMode) {
  const tw::core::PrinterHandle& printer = Printer();
  if (!printer) {
    Trace(u"CTWJob::IsSharedPrinter: OpenPrinter failed. Error: %d", GetLastError());
    return FALSE;
  }
  std::vector<BYTE> info = printer.QueryPrinter(2);
  if (info.empty()) {
    Trace(u"CTWJob::IsSharedPrinter: GetPrinter failed. Error: %d", GetLastError());
    return FALSE;
  }
  DWORD attributes = reinterpret_cast<const PRINTER_INFO_2W*>(info.data())->Attributes;
  if (!(attributes & st::kPrinterAttributeShared)) return FALSE;
  std::optional<st::SpoolerJobNames> names = SpoolerJobNames(printer, m_dwJobID);
  std::optional<std::u16string_view> machine;
  if (names && !names->machineName.empty()) machine = st::AfterLastBackslash(names->machineName);
  return st::IsSharedPrinter(attributes, machine, devMode, LocalComputerName());
}

void CTWJob::CopySettingsForSharedPrinter(TarnwickDEVMODE& devMode, BOOL ignoreStandard, BOOL ignoreExtended) {
  // Without the server's record (traced) nothing is copied.
  std::optional<TarnwickDEVMODE> server =
      PrinterDefaultRecord(Printer(), 8, u"CTWJob::CopySettingsForSharedPrinter");
  if (!server) return;
  st::SettingsScope scope = SettingsScope();
  bool clientDirectory = st::Read(scope, st::NamingUseOutputDirectoryFromClient);
  st::CopySettingsForSharedPrinter(devMode, *server, ignoreStandard, ignoreExtended, clientDirectory);
}

void CTWJob::GetEnvironmentVariables() {
  std::optional<st::SpoolerJobNames> names;
  if (m_bSharedPrinter) names = SpoolerJobNames(Printer(), m_dwJobID);
  m_Environment = st::GetEnvironmentVariables(SettingsScope(), m_bDevModeTaken ? &m_DevMode : nullptr,
                                              m_bSharedPrinter != FALSE, names);
}
