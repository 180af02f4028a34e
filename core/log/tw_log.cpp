// Trace hook, install log, message capture log and their common writer.
#include "core/log/tw_log.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace {

constexpr size_t kMessageUnits = 2048;
constexpr DWORD kModulePathUnits = 512;

struct Switches {
  int debug = 0;
  int captureLevel = 0;
};

// Read once per process. Concurrent first writers wait for one reading
// rather than racing.
std::mutex g_switchesMutex;
bool g_switchesRead = false;
Switches g_switches;
std::atomic<bool> g_bannerWritten{false};

Switches switches() {
  std::lock_guard lock(g_switchesMutex);
  if (!g_switchesRead) {
    g_switches.debug = static_cast<int>(GetPrivateProfileIntW(u"Setting", u"Debug", 0, DEBUG_INI_FILE));
    g_switches.captureLevel =
        static_cast<int>(GetPrivateProfileIntW(u"Setting", u"Message Capture Log Level", 0, DEBUG_INI_FILE));
    g_switchesRead = true;
  }
  return g_switches;
}

void writeBanner(BOOL bWithLevel, const WCHAR* file, const WCHAR* prefix) {
  WriteLog(bWithLevel, TWLOG_INFO, file, prefix, u"* %s%s version %s", u"PDF Printer Driver", u"", u"17.63.3143");
  WriteLog(bWithLevel, TWLOG_INFO, file, prefix, u"* devmode.h version: %d", 1763);
  WCHAR module[kModulePathUnits] = {};
  GetModuleFileNameW(nullptr, module, kModulePathUnits);
  WriteLog(bWithLevel, TWLOG_INFO, file, prefix, u"* Loading Module: %s", module);
}

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};

}  // namespace

void Trace(const WCHAR*, ...) {}

void LogInstall(const WCHAR* format, ...) {
  if (switches().debug != 1) return;
  va_list args;
  va_start(args, format);
  WriteLogV(FALSE, TWLOG_OFF, INSTALL_LOG_FILE, INSTALL_LOG_PREFIX, format, args);
  va_end(args);
}

void LogMessageCapture(int level, const WCHAR* format, ...) {
  if (level > switches().captureLevel) return;
  va_list args;
  va_start(args, format);
  WriteLogV(TRUE, level, CAPTURE_LOG_FILE, CAPTURE_LOG_PREFIX, format, args);
  va_end(args);
}

void WriteLog(BOOL bWithLevel, int level, const WCHAR* file, const WCHAR* prefix, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLogV(bWithLevel, level, file, prefix, format, args);
  va_end(args);
}

void WriteLogV(BOOL bWithLevel, int level, const WCHAR* file, const WCHAR* prefix, const WCHAR* format,
               va_list args) {
  if (!file || !format) return;
  if (!prefix) prefix = u"";
  if (!g_bannerWritten.exchange(true)) writeBanner(bWithLevel, file, prefix);

  WCHAR message[kMessageUnits];
  if (_vsnwprintf(message, kMessageUnits - 1, format, args) < 0) message[kMessageUnits - 1] = 0;
  message[kMessageUnits - 1] = 0;

  std::u16string debugText = std::u16string(prefix) + message + u"\n";
  OutputDebugStringW(debugText.c_str());

  // Threads of this process write one line at a time, so that two first
  // writers of a new file do not both put a byte-order mark in it.
  static std::mutex fileMutex;
  std::lock_guard lock(fileMutex);
  std::unique_ptr<FILE, FileCloser> out(_wfopen(file, u"a+c, ccs=UTF-8"));
  if (!out) return;

  SYSTEMTIME now;
  GetLocalTime(&now);
  WCHAR time[16], date[16];
  swprintf(time, 16, u"%02d:%02d:%02d", now.wHour, now.wMinute, now.wSecond);
  swprintf(date, 16, u"%02d/%02d/%02d", now.wMonth, now.wDay, now.wYear % 100);
  LARGE_INTEGER counter{}, frequency{};
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  const double seconds =
      frequency.QuadPart ? static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart) : 0.0;
  const int pid = static_cast<int>(GetCurrentProcessId()), tid = static_cast<int>(GetCurrentThreadId());
  if (bWithLevel)
    fwprintf(out.get(), u"%.8f %s %s %s [PID %d] [TID %d] %s\n", seconds, LogLevelTag(level), date, time, pid, tid,
             message);
  else
    fwprintf(out.get(), u"%.8f %s %s: [%d] [%d] %s%s\n", seconds, date, time, pid, tid, prefix, message);
}

int GetDebugSwitch() { return switches().debug; }
int GetMessageCaptureLogLevel() { return switches().captureLevel; }

const WCHAR* LogLevelTag(int level) {
  switch (level) {
    case TWLOG_OFF: return u"[OFF]    ";
    case TWLOG_ERROR: return u"[ERROR]  ";
    case TWLOG_WARNING: return u"[WARNING]";
    case TWLOG_INFO: return u"[INFO]   ";
    default: return u"[DEBUG]  ";
  }
}

void ResetLogStateForTests() {
  {
    std::lock_guard lock(g_switchesMutex);
    g_switchesRead = false;
    g_switches = {};
  }
  g_bannerWritten = false;
}
