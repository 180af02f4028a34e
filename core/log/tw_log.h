// The monitor's diagnostics: the trace hook (discards developer messages),
// the install log and the message capture log, both switched on by
// "C:\PrnDebug.ini" and written into "C:\Temp" (nothing is written when that
// folder does not exist).
#pragma once
#include <windows.h>

#include <cstdarg>

// Levels of the message capture log.
inline constexpr int TWLOG_OFF = 0;
inline constexpr int TWLOG_ERROR = 1;
inline constexpr int TWLOG_WARNING = 2;
inline constexpr int TWLOG_INFO = 3;
inline constexpr int TWLOG_DEBUG = 4;

inline constexpr const WCHAR* DEBUG_INI_FILE = u"C:\\PrnDebug.ini";
inline constexpr const WCHAR* INSTALL_LOG_FILE = u"C:\\Temp\\TWDriverInstall.log";
inline constexpr const WCHAR* INSTALL_LOG_PREFIX = u"TARNWICKMON: ";
inline constexpr const WCHAR* CAPTURE_LOG_FILE = u"C:\\Temp\\MessageCapture_PORTMON_DLL.txt";
inline constexpr const WCHAR* CAPTURE_LOG_PREFIX = u"PortMon dll: ";

// Developer trace ("> CTWJob::StartDoc"): discarded, costs nothing.
void Trace(const WCHAR* format, ...);
// The install log, when "Debug" is 1.
void LogInstall(const WCHAR* format, ...);
// The message capture log, when `level` is at most "Message Capture Log Level".
void LogMessageCapture(int level, const WCHAR* format, ...);

// The common writer of both logs: the banner before the first line of the
// process, the debugger output, then one line appended to `file`.
void WriteLog(BOOL bWithLevel, int level, const WCHAR* file, const WCHAR* prefix, const WCHAR* format, ...);
void WriteLogV(BOOL bWithLevel, int level, const WCHAR* file, const WCHAR* prefix, const WCHAR* format,
               va_list args);

// The switches of "C:\PrnDebug.ini" section "Setting", read once per process
// at the first use of either log (or of these).
int GetDebugSwitch();            // "Debug"
int GetMessageCaptureLogLevel();  // "Message Capture Log Level"

// The 9-character tag of a level ("[WARNING]"); levels out of range are
// "[DEBUG]  ".
const WCHAR* LogLevelTag(int level);

// Forgets the switches and the banner flag, so that a test can act as a new
// process.
void ResetLogStateForTests();
