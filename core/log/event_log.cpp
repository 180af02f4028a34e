// The monitor's event source.
#include "core/log/event_log.h"

#include <cstdarg>
#include <mutex>
#include <string>

#include "core/log/event_messages.h"

namespace {

std::mutex g_fileMutex;
std::u16string g_messageFile;

// The module this code was linked into, else the executable.
std::u16string messageFile() {
  {
    std::lock_guard lock(g_fileMutex);
    if (!g_messageFile.empty()) return g_messageFile;
  }
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&SetEventMessageFile), &self);
  WCHAR path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  return std::u16string(path, n < MAX_PATH ? n : 0);
}

}  // namespace

void SetEventMessageFile(const WCHAR* path) {
  std::lock_guard lock(g_fileMutex);
  g_messageFile = path ? path : u"";
}

CEventLog::~CEventLog() { Deregister(); }

BOOL CEventLog::Register(const WCHAR* source) {
  Deregister();
  if (!source || !*source) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::u16string keyPath = std::u16string(EVENTLOG_APPLICATION_KEY) + source;
  HKEY key = nullptr;
  LSTATUS rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_SET_VALUE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(rc));
    return FALSE;
  }
  const std::u16string file = messageFile();
  const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  rc = RegSetValueExW(key, u"EventMessageFile", 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                      static_cast<DWORD>((file.size() + 1) * sizeof(WCHAR)));
  if (rc == ERROR_SUCCESS)
    rc = RegSetValueExW(key, u"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(rc));
    return FALSE;
  }
  m_hEventSource = RegisterEventSourceW(nullptr, source);
  return m_hEventSource ? TRUE : FALSE;
}

void CEventLog::Deregister() {
  if (m_hEventSource) DeregisterEventSource(m_hEventSource);
  m_hEventSource = nullptr;
}

BOOL CEventLog::Report(WORD type, DWORD id, WORD count, const WCHAR* const* strings) {
  if (!m_hEventSource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!strings) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  for (WORD i = 0; i < count; ++i)
    if (!strings[i]) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
  return ReportEventW(m_hEventSource, type, 0, id, nullptr, count, 0, const_cast<LPCWSTR*>(strings), nullptr);
}

BOOL CEventLog::ReportMessage(const WCHAR* text) { return Report(EVENTLOG_INFORMATION_TYPE, 1, 1, &text); }

BOOL CEventLog::ReportFinished(const WCHAR* const* strings) {
  return Report(EVENTLOG_INFORMATION_TYPE, MSG_PRINTING_FINISHED, EVENT_JOB_STRINGS, strings);
}

BOOL CEventLog::ReportAborted(const WCHAR* const* strings) {
  return Report(EVENTLOG_WARNING_TYPE, MSG_PRINTING_ABORTED, EVENT_JOB_STRINGS, strings);
}

BOOL CEventLog::ReportError(const WCHAR* const* strings) {
  return Report(EVENTLOG_ERROR_TYPE, MSG_PRINTING_ERROR, EVENT_ERROR_STRINGS, strings);
}

BOOL CEventLog::ReportWarning(const WCHAR* const* strings) {
  return Report(EVENTLOG_WARNING_TYPE, MSG_PRINTING_ERROR, EVENT_ERROR_STRINGS, strings);
}

BOOL CEventLog::ReportFormatted(const WCHAR* format, ...) {
  if (!format) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  WCHAR text[2048];
  va_list args;
  va_start(args, format);
  _vsnwprintf(text, 2047, format, args);
  va_end(args);
  text[2047] = 0;
  return ReportMessage(text);
}
