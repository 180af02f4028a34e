// Time: the system clock, local time and time zones, tick counts and the
// performance counter.
//
// The wall clock and the tick count can be fixed for tests (see
// docs/platform.md, "Time and clock control"):
//   TW_FAKE_TIME="2026-12-08T14:05:09"   local time origin (or "...Z" / "+01:00")
//   TW_FAKE_TIME_FROZEN=1                the wall clock stays at the origin
//   TW_FAKE_TICK=123456                  GetTickCount's origin in milliseconds
// The local time zone is the process's (TZ, as on Linux).
#pragma once
#include "tw/wintypes.h"

typedef struct _TIME_ZONE_INFORMATION {
  LONG Bias;  // minutes: UTC = local time + Bias
  WCHAR StandardName[32];
  SYSTEMTIME StandardDate;
  LONG StandardBias;
  WCHAR DaylightName[32];
  SYSTEMTIME DaylightDate;
  LONG DaylightBias;
} TIME_ZONE_INFORMATION, *PTIME_ZONE_INFORMATION, *LPTIME_ZONE_INFORMATION;
static_assert(sizeof(TIME_ZONE_INFORMATION) == 172);

typedef struct _TIME_DYNAMIC_ZONE_INFORMATION {
  LONG Bias;
  WCHAR StandardName[32];
  SYSTEMTIME StandardDate;
  LONG StandardBias;
  WCHAR DaylightName[32];
  SYSTEMTIME DaylightDate;
  LONG DaylightBias;
  WCHAR TimeZoneKeyName[128];
  BOOLEAN DynamicDaylightTimeDisabled;
} DYNAMIC_TIME_ZONE_INFORMATION, *PDYNAMIC_TIME_ZONE_INFORMATION;
static_assert(sizeof(DYNAMIC_TIME_ZONE_INFORMATION) == 432);

#define TIME_ZONE_ID_INVALID ((DWORD)0xFFFFFFFF)
#define TIME_ZONE_ID_UNKNOWN 0
#define TIME_ZONE_ID_STANDARD 1
#define TIME_ZONE_ID_DAYLIGHT 2

TWAPI void GetSystemTime(LPSYSTEMTIME lpSystemTime);
TWAPI void GetLocalTime(LPSYSTEMTIME lpSystemTime);
TWAPI void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);
TWAPI void GetSystemTimePreciseAsFileTime(LPFILETIME lpSystemTimeAsFileTime);

// Field checks as on Windows: year 1601-30827, month 1-12, a day that exists,
// hour < 24, minute and second < 60, milliseconds < 1000; wDayOfWeek is
// ignored on input and set on output. Failure: ERROR_INVALID_PARAMETER.
TWAPI BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);
TWAPI BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);
// These use the time zone's current offset (daylight saving time included
// when it is in effect now), not the offset at the converted time, exactly as
// Windows documents it.
TWAPI BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime);
TWAPI BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime);
// -1, 0 or 1.
TWAPI LONG CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2);

// A null time zone is the current one, with the offset in effect at the
// given time (historical rules from the tz database). An explicit
// TIME_ZONE_INFORMATION is applied by its Bias and transition rules.
TWAPI BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                           const SYSTEMTIME* lpUniversalTime, LPSYSTEMTIME lpLocalTime);
TWAPI BOOL TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                           const SYSTEMTIME* lpLocalTime, LPSYSTEMTIME lpUniversalTime);
// The current zone: bias, this year's transition rules, and the Windows
// names of the zone ("Pacific Standard Time", "Coordinated Universal Time").
TWAPI DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation);
TWAPI DWORD GetDynamicTimeZoneInformation(PDYNAMIC_TIME_ZONE_INFORMATION pTimeZoneInformation);

// Milliseconds since the system started (CLOCK_BOOTTIME), or since
// TW_FAKE_TICK's origin; GetTickCount wraps after 49.7 days.
TWAPI DWORD GetTickCount(void);
TWAPI ULONGLONG GetTickCount64(void);
// 10 MHz, the frequency Windows reports; the counter runs with the tick
// count (so TW_FAKE_TICK moves it too).
TWAPI BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount);
TWAPI BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency);
