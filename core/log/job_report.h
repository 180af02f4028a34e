// The job's event reports and error texts, as free functions over what they
// need of the job (JOB_EVENT_INFO), so that CTWJob's ReportJobEnd,
// ReportJobError, ReportJobErrorText, ReportJobWarning, HandleError and
// HandleTiffError are thin calls (job/job/job_reports.cpp).
#pragma once
#include <windows.h>

#include <cstdarg>
#include <functional>
#include <string>

// What a report needs of the job.
struct JOB_EVENT_INFO {
  const WCHAR* pszPrinterName = nullptr;   // the event source, %1
  const WCHAR* pszDocumentName = nullptr;  // m_szDocumentName, %2
  const WCHAR* pszUserName = nullptr;      // %3
  SYSTEMTIME stSubmitted{};                // m_stSubmitted (local time), %4 %5
  // %8 %9 %10; null or empty: the machine configuration's values.
  const WCHAR* pszComputerName = nullptr;
  const WCHAR* pszIPAddress = nullptr;
  const WCHAR* pszHostName = nullptr;
  DWORD dwEventLoggingLevel = 2;  // "Event Logging Level"
  HANDLE hClientToken = nullptr;  // m_hClientToken: the job already works as the spooler
  // The spooler's impersonation pair; null: the layer's functions.
  HANDLE (*pfnRevertToPrinterSelf)() = nullptr;
  BOOL (*pfnImpersonatePrinterClient)(HANDLE) = nullptr;
};

// Information 0x64 (finished, level 3 or more) or warning 0x65 (aborted,
// level 2 or more). TRUE when written or when the level says not to write.
BOOL ReportJobEnd(const JOB_EVENT_INFO& info, BOOL bFinished);
// Error 0x66 (level 1 or more); without bWithCurrentTime %6 and %7 stay empty.
BOOL ReportJobError(const JOB_EVENT_INFO& info, BOOL bWithCurrentTime, const WCHAR* format, ...);
BOOL ReportJobErrorV(const JOB_EVENT_INFO& info, BOOL bWithCurrentTime, const WCHAR* format, va_list args);
// Error 0x66 with the current time.
BOOL ReportJobErrorText(const JOB_EVENT_INFO& info, const WCHAR* format, ...);
// Warning 0x66 (level 2 or more) with the current time.
BOOL ReportJobWarning(const JOB_EVENT_INFO& info, const WCHAR* format, ...);
BOOL ReportJobWarningV(const JOB_EVENT_INFO& info, const WCHAR* format, va_list args);

// What an error handler does to the job, worked out from its arguments.
struct JOB_ERROR {
  bool bValid = false;                 // false: a null text, nothing to do
  std::u16string strPrintStatus;       // m_szPrintStatus and message 5
  bool bWritePrintStatus = true;       // group file "Print status" = strPrintStatus
  std::u16string strTiffError;         // group file "TIFF Error"; empty: none
  std::u16string strErrorLocation;     // group file "Error Location"; empty when "Debug" is 0
  std::u16string strEventText;         // the error entry's text (%11)
  DWORD dwMergeErrorNumber = 0;        // m_dwMergeErrorNumber
  std::u16string strMergeErrorText;    // m_szMergeErrorText
};

// HandleError (text): null text gives an invalid JOB_ERROR.
JOB_ERROR MakeJobError(const WCHAR* text, const char* file, int line);
// HandleError (number): "Internal error: 57.".
JOB_ERROR MakeJobError(int number, const char* file, int line);
// HandleTiffError.
JOB_ERROR MakeTiffJobError(int number, const char* file, int line, int tiffNumber, const char* tiffText);

// Where the handlers put an error; an empty function is skipped (a part not
// built yet).
struct JOB_ERROR_TARGETS {
  JOB_EVENT_INFO event;
  std::function<void()> markStatusPending;                                 // m_bPrintStatusPending
  std::function<void(const WCHAR* key, const WCHAR* value)> writeGroupEntry;  // printer section, if enabled
  std::function<void(const WCHAR* text)> sendErrorMessage;                 // message 5
  std::function<void(const WCHAR* text)> setPrintStatus;                   // m_szPrintStatus
  std::function<void(DWORD number, const WCHAR* text)> setMergeError;      // merge error fields
};

// Runs the handler's steps in their order: status pending, group entries,
// message 5, m_szPrintStatus, event entry, merge fields. The event entry's
// result (FALSE when it could not be written); the job goes on either way.
BOOL ApplyJobError(const JOB_ERROR& error, const JOB_ERROR_TARGETS& targets);
