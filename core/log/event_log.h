// CEventLog: the monitor's event source. Registered under the printer's name
// in the Application log, with the monitor module as its message file.
#pragma once
#include <windows.h>

inline constexpr const WCHAR* EVENTLOG_APPLICATION_KEY = u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

// The module path written as "EventMessageFile". Empty (the default): the
// module that contains this code (the monitor library). Hosts and tests that
// link the code into an executable name the module that carries the table.
void SetEventMessageFile(const WCHAR* path);

class CEventLog {
 public:
  CEventLog() = default;
  CEventLog(const CEventLog&) = delete;
  CEventLog& operator=(const CEventLog&) = delete;
  virtual ~CEventLog();

  // Id 1 with one string (not used by the monitor).
  virtual BOOL ReportMessage(const WCHAR* text);
  // Ten strings: information 0x64.
  virtual BOOL ReportFinished(const WCHAR* const* strings);
  // Ten strings: warning 0x65.
  virtual BOOL ReportAborted(const WCHAR* const* strings);
  // Eleven strings: error 0x66.
  virtual BOOL ReportError(const WCHAR* const* strings);
  // Eleven strings: warning 0x66.
  virtual BOOL ReportWarning(const WCHAR* const* strings);
  // A formatted string with id 1 (not used by the monitor).
  virtual BOOL ReportFormatted(const WCHAR* format, ...);

  // Writes the registration key ("EventMessageFile", "TypesSupported" 7)
  // and opens the source. FALSE (and unregistered) on any failure.
  BOOL Register(const WCHAR* source);
  void Deregister();
  BOOL IsRegistered() const { return m_hEventSource != nullptr; }

 private:
  BOOL Report(WORD type, DWORD id, WORD count, const WCHAR* const* strings);

  HANDLE m_hEventSource = nullptr;
};
