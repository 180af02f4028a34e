// The job's event reports and error handlers: thin calls over the reporters
// of core/log/job_report.h with what the job knows of itself.
#include <cstdarg>
#include <string>
#include <vector>

#include <windows.h>
#include <winspool.h>

#include "client/messaging/messaging.h"
#include "job/job/tw_job.h"
#include "core/impersonation.h"
#include "core/printer_handle.h"
#include "core/log/event_log.h"
#include "core/log/job_report.h"
#include "core/log/tw_log.h"

namespace {

// The owner of the job in the spooler queue; empty when the spooler does not
// know the job.
std::u16string SpoolerJobUser(const CTWJob& job) {
  if (!job.m_szPrinterName[0]) return {};
  std::vector<BYTE> info = tw::core::PrinterHandle(job.m_szPrinterName).QueryJob(job.m_dwJobID, 1);
  if (info.size() < sizeof(JOB_INFO_1W)) return {};
  const auto* record = reinterpret_cast<const JOB_INFO_1W*>(info.data());
  return record->pUserName ? std::u16string(record->pUserName) : std::u16string();
}

// Who printed from where (%3, %8, %9, %10): the job's environment values,
// known once it has taken in its DEVMODE. Before that (the settings
// hand-over) the user is the spooler job's owner; an empty computer, address
// or host makes the entry show the machine configuration's.
tw::settings::JobEnvironment EnvironmentOf(const CTWJob& job) {
  tw::settings::JobEnvironment env = job.m_Environment;
  if (env.userName.empty()) env.userName = SpoolerJobUser(job);
  return env;
}

// What a report needs of the job; keeps the strings the info points into.
class JobEventContext {
 public:
  explicit JobEventContext(const CTWJob& job) : env_(EnvironmentOf(job)) {
    info_.pszPrinterName = job.m_szPrinterName;
    info_.pszDocumentName = job.m_szDocumentName;
    info_.pszUserName = env_.userName.c_str();
    info_.stSubmitted = job.m_stSubmitted;
    info_.pszComputerName = env_.computerName.c_str();
    info_.pszIPAddress = env_.ipAddress.c_str();
    info_.pszHostName = env_.hostName.c_str();
    info_.dwEventLoggingLevel = job.m_dwEventLoggingLevel;
    info_.hClientToken = job.m_hClientToken;
    // The spooler's own pair, found in "Spoolss.dll".
    info_.pfnRevertToPrinterSelf = &tw::core::RevertToPrinterSelfHelper;
    info_.pfnImpersonatePrinterClient = &tw::core::ImpersonatePrinterClientHelper;
  }
  JobEventContext(const JobEventContext&) = delete;
  JobEventContext& operator=(const JobEventContext&) = delete;
  const JOB_EVENT_INFO& Info() const { return info_; }

 private:
  tw::settings::JobEnvironment env_;
  JOB_EVENT_INFO info_;
};

// Puts an error into the job: status pending, group file entries (when the
// job writes group files), message 5, the print status, the event log and
// the merge error fields.
void ApplyToJob(CTWJob& job, const JOB_ERROR& error) {
  if (!error.bValid) return;
  JobEventContext context(job);
  JOB_ERROR_TARGETS targets;
  targets.event = context.Info();
  targets.markStatusPending = [&job] { job.m_bPrintStatusPending = TRUE; };
  if (job.GroupFilesEnabled())
    targets.writeGroupEntry = [&job](const WCHAR* key, const WCHAR* value) {
      if (!job.WriteGroupFileEntry(key, value)) Trace(u"CTWJob::HandleError: group entry %s not written", key);
    };
  targets.sendErrorMessage = [&job](const WCHAR* text) { SendMessageToClients(job, 5, text); };
  targets.setPrintStatus = [&job](const WCHAR* text) { job.m_szPrintStatus = text; };
  targets.setMergeError = [&job](DWORD number, const WCHAR* text) {
    job.m_dwMergeErrorNumber = number;
    job.m_szMergeErrorText = text;
  };
  if (!ApplyJobError(error, targets)) Trace(u"CTWJob::HandleError: no event entry (%d)", GetLastError());
}

}  // namespace

BOOL CTWJob::RegisterEventLogSource() {
  CEventLog log;
  if (!log.Register(m_szPrinterName)) {
    Trace(u"CTWJob::RegisterEventLogSource: %s not registered (%d)", m_szPrinterName, GetLastError());
    return FALSE;
  }
  log.Deregister();
  return TRUE;
}

BOOL CTWJob::ReportJobEnd(BOOL bFinished) {
  JobEventContext context(*this);
  return ::ReportJobEnd(context.Info(), bFinished);
}

BOOL CTWJob::ReportJobError(BOOL bWithCurrentTime, const WCHAR* format, ...) {
  JobEventContext context(*this);
  va_list args;
  va_start(args, format);
  BOOL ok = ::ReportJobErrorV(context.Info(), bWithCurrentTime, format, args);
  va_end(args);
  return ok;
}

BOOL CTWJob::ReportJobErrorText(const WCHAR* format, ...) {
  JobEventContext context(*this);
  va_list args;
  va_start(args, format);
  BOOL ok = ::ReportJobErrorV(context.Info(), TRUE, format, args);
  va_end(args);
  return ok;
}

BOOL CTWJob::ReportJobWarning(const WCHAR* format, ...) {
  JobEventContext context(*this);
  va_list args;
  va_start(args, format);
  BOOL ok = ::ReportJobWarningV(context.Info(), format, args);
  va_end(args);
  return ok;
}

void CTWJob::HandleError(const WCHAR* text, const char* file, int line) {
  ApplyToJob(*this, MakeJobError(text, file, line));
}

void CTWJob::HandleError(int number, const char* file, int line) {
  ApplyToJob(*this, MakeJobError(number, file, line));
}

void CTWJob::HandleTiffError(int number, const char* file, int line, int tiffNumber, const char* tiffText) {
  ApplyToJob(*this, MakeTiffJobError(number, file, line, tiffNumber, tiffText));
}
