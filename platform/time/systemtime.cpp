// System time, file times, tick count and performance counter.
#include <cstring>

#include "tw/clock.h"
#include "tw/lasterror.h"
#include "tw/time.h"
#include "winerror.h"

namespace tw::clock {

bool SystemTimeTo100ns(const SYSTEMTIME& st, std::int64_t& out) {
  if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
      st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 ||
      st.wMilliseconds > 999)
    return false;
  std::int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay) - DaysFromCivil(1601, 1, 1);
  std::int64_t seconds = days * 86400 + st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
  out = seconds * 10000000 + std::int64_t(st.wMilliseconds) * 10000;
  return true;
}

bool SystemTimeFrom100ns(std::int64_t value, SYSTEMTIME& st) {
  if (value < 0) return false;
  std::int64_t seconds = value / 10000000;
  std::int64_t days = seconds / 86400 + DaysFromCivil(1601, 1, 1);
  std::int64_t secOfDay = seconds % 86400;
  std::int64_t y;
  unsigned m, d;
  CivilFromDays(days, y, m, d);
  if (y > 30827) return false;
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  // 1970-01-01 (day 0) was a Thursday.
  st.wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);
  st.wHour = static_cast<WORD>(secOfDay / 3600);
  st.wMinute = static_cast<WORD>(secOfDay / 60 % 60);
  st.wSecond = static_cast<WORD>(secOfDay % 60);
  st.wMilliseconds = static_cast<WORD>(value / 10000 % 1000);
  return true;
}

std::int64_t LocalNow100ns() {
  std::int64_t utc = NowUtc();
  return utc + std::int64_t(LocalOffsetAt((utc - kUnixEpoch100ns) / 10000000)) * 10000000;
}

}  // namespace tw::clock

namespace {

using namespace tw::clock;

std::int64_t fromFileTime(const FILETIME& ft) {
  return static_cast<std::int64_t>((std::uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

void toFileTime(std::int64_t v, FILETIME& ft) {
  ft.dwLowDateTime = static_cast<DWORD>(std::uint64_t(v));
  ft.dwHighDateTime = static_cast<DWORD>(std::uint64_t(v) >> 32);
}

// The offset in effect now, in 100-ns units.
std::int64_t currentOffset() {
  return std::int64_t(LocalOffsetAt((NowUtc() - kUnixEpoch100ns) / 10000000)) * 10000000;
}

}  // namespace

void GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  if (lpSystemTime) SystemTimeFrom100ns(NowUtc(), *lpSystemTime);
}

void GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  if (lpSystemTime) SystemTimeFrom100ns(LocalNow100ns(), *lpSystemTime);
}

void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  if (lpSystemTimeAsFileTime) toFileTime(NowUtc(), *lpSystemTimeAsFileTime);
}

void GetSystemTimePreciseAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  GetSystemTimeAsFileTime(lpSystemTimeAsFileTime);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
  std::int64_t v;
  if (!lpSystemTime || !lpFileTime || !SystemTimeTo100ns(*lpSystemTime, v)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  toFileTime(v, *lpFileTime);
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
  if (!lpFileTime || !lpSystemTime || !SystemTimeFrom100ns(fromFileTime(*lpFileTime), *lpSystemTime)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
  if (!lpFileTime || !lpLocalFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  toFileTime(fromFileTime(*lpFileTime) + currentOffset(), *lpLocalFileTime);
  return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime) {
  if (!lpLocalFileTime || !lpFileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  toFileTime(fromFileTime(*lpLocalFileTime) - currentOffset(), *lpFileTime);
  return TRUE;
}

LONG CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2) {
  if (!lpFileTime1 || !lpFileTime2) return 0;
  std::uint64_t a = std::uint64_t(fromFileTime(*lpFileTime1)), b = std::uint64_t(fromFileTime(*lpFileTime2));
  return a < b ? -1 : a > b ? 1 : 0;
}

DWORD GetTickCount(void) { return static_cast<DWORD>(TickMs()); }
ULONGLONG GetTickCount64(void) { return TickMs(); }

BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount) {
  if (!lpPerformanceCount) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  lpPerformanceCount->QuadPart = Counter100ns();
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency) {
  if (!lpFrequency) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  lpFrequency->QuadPart = 10000000;
  return TRUE;
}
