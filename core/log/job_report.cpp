// The job's event reports and error handlers.
#include "core/log/job_report.h"

#include "core/log/event_log.h"
#include "core/log/event_messages.h"
#include "core/log/tw_log.h"
#include "tw/root.h"
#include "tw/utf.h"

namespace {

constexpr int kDateUnits = 256;
constexpr size_t kTextUnits = 2048;

enum class Entry { Finished, Aborted, Warning, Error };

DWORD minimumLevel(Entry entry) {
  switch (entry) {
    case Entry::Finished: return 3;
    case Entry::Aborted:
    case Entry::Warning: return 2;
    case Entry::Error: return 1;
  }
  return 1;
}

std::u16string formatDate(const SYSTEMTIME* when) {
  WCHAR buffer[kDateUnits] = {};
  GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, when, nullptr, buffer, kDateUnits);
  return buffer;
}

std::u16string formatTime(const SYSTEMTIME* when) {
  WCHAR buffer[kDateUnits] = {};
  GetTimeFormatW(LOCALE_SYSTEM_DEFAULT, 0, when, nullptr, buffer, kDateUnits);
  return buffer;
}

std::u16string orDefault(const WCHAR* given, const std::u16string& fallback) {
  return given && *given ? std::u16string(given) : fallback;
}

// Reports as the spooler itself: reverts the client impersonation unless the
// job already did, and takes it back afterwards.
BOOL report(const JOB_EVENT_INFO& info, Entry entry, bool withCurrentTime, const WCHAR* errorText) {
  if (info.dwEventLoggingLevel < minimumLevel(entry)) return TRUE;
  if (!info.pszPrinterName || !*info.pszPrinterName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto revert = info.pfnRevertToPrinterSelf ? info.pfnRevertToPrinterSelf : &RevertToPrinterSelf;
  auto impersonate = info.pfnImpersonatePrinterClient ? info.pfnImpersonatePrinterClient : &ImpersonatePrinterClient;
  HANDLE token = nullptr;
  if (!info.hClientToken) token = revert();

  BOOL ok = FALSE;
  {
    CEventLog log;
    if (log.Register(info.pszPrinterName)) {
      const auto machine = tw::config::Get();
      const std::u16string submittedDate = formatDate(&info.stSubmitted), submittedTime = formatTime(&info.stSubmitted);
      SYSTEMTIME now;
      GetLocalTime(&now);
      const std::u16string nowDate = withCurrentTime ? formatDate(&now) : u"";
      const std::u16string nowTime = withCurrentTime ? formatTime(&now) : u"";
      const std::u16string computer = orDefault(info.pszComputerName, machine->computerName);
      const std::u16string address = orDefault(info.pszIPAddress, tw::FromUtf8(machine->address));
      const std::u16string host = orDefault(info.pszHostName, machine->dnsName);
      const WCHAR* strings[EVENT_ERROR_STRINGS] = {info.pszPrinterName,
                                                   info.pszDocumentName ? info.pszDocumentName : u"",
                                                   info.pszUserName ? info.pszUserName : u"",
                                                   submittedDate.c_str(),
                                                   submittedTime.c_str(),
                                                   nowDate.c_str(),
                                                   nowTime.c_str(),
                                                   computer.c_str(),
                                                   address.c_str(),
                                                   host.c_str(),
                                                   errorText ? errorText : u""};
      switch (entry) {
        case Entry::Finished: ok = log.ReportFinished(strings); break;
        case Entry::Aborted: ok = log.ReportAborted(strings); break;
        case Entry::Warning: ok = log.ReportWarning(strings); break;
        case Entry::Error: ok = log.ReportError(strings); break;
      }
      if (!ok) Trace(u"ReportJob: ReportEvent failed, error %d", GetLastError());
    } else {
      Trace(u"ReportJob: cannot register event source %s, error %d", info.pszPrinterName, GetLastError());
    }
    const DWORD error = GetLastError();
    log.Deregister();
    SetLastError(error);
  }
  if (token) impersonate(token);
  return ok;
}

std::u16string formatText(const WCHAR* format, va_list args) {
  WCHAR text[kTextUnits];
  _vsnwprintf(text, kTextUnits - 1, format, args);
  text[kTextUnits - 1] = 0;
  return text;
}

std::u16string printf16(const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  std::u16string text = formatText(format, args);
  va_end(args);
  return text;
}

std::u16string errorLocation(const char* file, int line) {
  if (GetDebugSwitch() == 0) return {};
  return printf16(u"%S line %d", file ? file : "", line);
}

}  // namespace

BOOL ReportJobEnd(const JOB_EVENT_INFO& info, BOOL bFinished) {
  return report(info, bFinished ? Entry::Finished : Entry::Aborted, true, nullptr);
}

BOOL ReportJobErrorV(const JOB_EVENT_INFO& info, BOOL bWithCurrentTime, const WCHAR* format, va_list args) {
  if (!format) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string text = formatText(format, args);
  return report(info, Entry::Error, bWithCurrentTime != FALSE, text.c_str());
}

BOOL ReportJobError(const JOB_EVENT_INFO& info, BOOL bWithCurrentTime, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  BOOL ok = ReportJobErrorV(info, bWithCurrentTime, format, args);
  va_end(args);
  return ok;
}

BOOL ReportJobErrorText(const JOB_EVENT_INFO& info, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  BOOL ok = ReportJobErrorV(info, TRUE, format, args);
  va_end(args);
  return ok;
}

BOOL ReportJobWarningV(const JOB_EVENT_INFO& info, const WCHAR* format, va_list args) {
  if (!format) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string text = formatText(format, args);
  return report(info, Entry::Warning, true, text.c_str());
}

BOOL ReportJobWarning(const JOB_EVENT_INFO& info, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  BOOL ok = ReportJobWarningV(info, format, args);
  va_end(args);
  return ok;
}

JOB_ERROR MakeJobError(const WCHAR* text, const char* file, int line) {
  JOB_ERROR e;
  if (!text) return e;
  e.bValid = true;
  e.strPrintStatus = text;
  e.strErrorLocation = errorLocation(file, line);
  e.strEventText = text;
  e.dwMergeErrorNumber = 0;
  e.strMergeErrorText = text;
  return e;
}

JOB_ERROR MakeJobError(int number, const char* file, int line) {
  JOB_ERROR e;
  e.bValid = true;
  e.strPrintStatus = printf16(u"%s: %d.", u"Internal error", number);
  e.strErrorLocation = errorLocation(file, line);
  e.strEventText = printf16(u"%d", number);
  e.dwMergeErrorNumber = static_cast<DWORD>(number);
  return e;
}

JOB_ERROR MakeTiffJobError(int number, const char* file, int line, int tiffNumber, const char* tiffText) {
  JOB_ERROR e = MakeJobError(number, file, line);
  e.bWritePrintStatus = number != 0;
  const bool hasText = tiffText && *tiffText;
  if (tiffNumber != 0) {
    e.strTiffError = hasText ? printf16(u"%d: %S", tiffNumber, tiffText) : printf16(u"%d", tiffNumber);
    e.strMergeErrorText = hasText ? printf16(u"Error creating TIFF file. TIFF Error: %d (%S)", tiffNumber, tiffText)
                                  : printf16(u"Error creating TIFF file. TIFF Error: %d", tiffNumber);
    if (number != 0)
      e.strEventText = hasText ? printf16(u"%d; TIFF Error: %d (%S)", number, tiffNumber, tiffText)
                               : printf16(u"%d; TIFF Error: %d", number, tiffNumber);
    else
      e.strEventText = hasText ? printf16(u"TIFF Error: %d (%S)", tiffNumber, tiffText)
                               : printf16(u"TIFF Error: %d", tiffNumber);
  }
  return e;
}

BOOL ApplyJobError(const JOB_ERROR& error, const JOB_ERROR_TARGETS& targets) {
  if (!error.bValid) return TRUE;
  if (targets.markStatusPending) targets.markStatusPending();
  if (targets.writeGroupEntry) {
    if (error.bWritePrintStatus) targets.writeGroupEntry(u"Print status", error.strPrintStatus.c_str());
    if (!error.strTiffError.empty()) targets.writeGroupEntry(u"TIFF Error", error.strTiffError.c_str());
    if (!error.strErrorLocation.empty()) targets.writeGroupEntry(u"Error Location", error.strErrorLocation.c_str());
  }
  if (targets.sendErrorMessage) targets.sendErrorMessage(error.strPrintStatus.c_str());
  if (targets.setPrintStatus) targets.setPrintStatus(error.strPrintStatus.c_str());
  BOOL reported = ReportJobErrorText(targets.event, u"%s", error.strEventText.c_str());
  if (targets.setMergeError) targets.setMergeError(error.dwMergeErrorNumber, error.strMergeErrorText.c_str());
  return reported;
}
