// System time, file times, the fake clock, time zones and the CRT time
// functions. Expected values are calendar facts and Windows' documented
// rules (e.g. FileTimeToLocalFileTime uses today's offset).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "time_test_support.h"
#include "tw_test.h"
#include "windows.h"

namespace {

using twtest::FakeClock;
using twtest::ScopedEnv;

SYSTEMTIME St(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
  SYSTEMTIME st{};
  st.wYear = y;
  st.wMonth = mo;
  st.wDay = d;
  st.wHour = h;
  st.wMinute = mi;
  st.wSecond = s;
  st.wMilliseconds = ms;
  return st;
}

std::string Show(const SYSTEMTIME& st) {
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%04u-%02u-%02u %02u:%02u:%02u.%03u dow%u", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek);
  return buf;
}

ULONGLONG Value(const FILETIME& ft) { return (ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

TEST(FileTimes, ConvertBothWaysWithTheDayOfWeek) {
  SYSTEMTIME st = St(2026, 12, 8, 14, 5, 9, 123);
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  // 2026-12-08T14:05:09Z is Unix time 1796738709.
  EXPECT_EQ(Value(ft), 134412123091230000ull);
  SYSTEMTIME back{};
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
  EXPECT_EQ(Show(back), "2026-12-08 14:05:09.123 dow2") << "a Tuesday";
  FILETIME zero{0, 0};
  ASSERT_TRUE(FileTimeToSystemTime(&zero, &back));
  EXPECT_EQ(Show(back), "1601-01-01 00:00:00.000 dow1") << "the epoch was a Monday";
  SYSTEMTIME leap = St(2024, 2, 29, 23, 59, 59, 999);
  ASSERT_TRUE(SystemTimeToFileTime(&leap, &ft));
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
  EXPECT_EQ(Show(back), "2024-02-29 23:59:59.999 dow4");
}

TEST(FileTimes, InvalidFieldsAreRejected) {
  FILETIME ft;
  for (SYSTEMTIME bad : {St(2025, 2, 29), St(2026, 13, 1), St(2026, 4, 31), St(2026, 1, 1, 24), St(2026, 1, 1, 0, 60),
                         St(2026, 1, 1, 0, 0, 60), St(2026, 1, 1, 0, 0, 0, 1000), St(1600, 12, 31), St(2026, 0, 1)}) {
    SetLastError(0);
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft)) << Show(bad);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  FILETIME negative{0, 0x80000000u};
  SYSTEMTIME st;
  EXPECT_FALSE(FileTimeToSystemTime(&negative, &st));
  FILETIME a{1, 0}, b{0, 1};
  EXPECT_EQ(CompareFileTime(&a, &b), -1);
  EXPECT_EQ(CompareFileTime(&b, &a), 1);
  EXPECT_EQ(CompareFileTime(&a, &a), 0);
}

TEST(FakeClock, FrozenWallClockInUtcAndLocalTime) {
  FakeClock clock("2026-12-08T14:05:09Z", "America/New_York");
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  GetLocalTime(&local);
  EXPECT_EQ(Show(utc), "2026-12-08 14:05:09.000 dow2");
  EXPECT_EQ(Show(local), "2026-12-08 09:05:09.000 dow2") << "New York is UTC-5 in December";
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  EXPECT_EQ(Value(ft), 134412123090000000ull);
  EXPECT_EQ(_time64(nullptr), 1796738709);
  WCHAR t[9], d[9];
  EXPECT_EQ(_wstrtime_s(t, 9), 0);
  EXPECT_EQ(_wstrdate_s(d, 9), 0);
  EXPECT_EQ(std::u16string(t), u"09:05:09");
  EXPECT_EQ(std::u16string(d), u"12/08/26");
}

TEST(FakeClock, LocalOriginFollowsTheZoneAndTheClockRuns) {
  ScopedEnv zone("TZ", "Europe/Berlin");
  ScopedEnv time("TW_FAKE_TIME", "2026-12-08T14:05:09");
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  GetLocalTime(&local);
  EXPECT_EQ(utc.wHour, 13) << "a local origin is Berlin time (UTC+1 in winter)";
  EXPECT_EQ(local.wHour, 14);
  EXPECT_EQ(local.wMinute, 5);
  EXPECT_LT(local.wSecond, 40) << "the clock started at 14:05:09";
  FILETIME before, after;
  GetSystemTimeAsFileTime(&before);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  GetSystemTimeAsFileTime(&after);
  EXPECT_GE(Value(after) - Value(before), 300000ull) << "not frozen: the clock runs from the origin";
}

TEST(FakeClock, OffsetOriginAndBadValues) {
  {
    ScopedEnv zone("TZ", "UTC");
    ScopedEnv time("TW_FAKE_TIME", "2026-07-01T10:00:00+02:00");
    ScopedEnv frozen("TW_FAKE_TIME_FROZEN", "1");
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    EXPECT_EQ(Show(utc), "2026-07-01 08:00:00.000 dow3");
  }
  ScopedEnv time("TW_FAKE_TIME", "not a time");
  SYSTEMTIME utc;
  GetSystemTime(&utc);
  EXPECT_GE(utc.wYear, 2024) << "an unreadable value leaves the real clock";
}

TEST(FakeClock, TickOriginMovesTickAndPerformanceCounter) {
  ScopedEnv tick("TW_FAKE_TICK", "1000000");
  DWORD t = GetTickCount();
  EXPECT_GE(t, 1000000u);
  EXPECT_LT(t, 1005000u);
  EXPECT_GE(GetTickCount64(), t);
  EXPECT_LT(GetTickCount64(), 1005000u);
  LARGE_INTEGER f, c;
  ASSERT_TRUE(QueryPerformanceFrequency(&f));
  ASSERT_TRUE(QueryPerformanceCounter(&c));
  EXPECT_EQ(f.QuadPart, 10000000);
  double seconds = double(c.QuadPart) / double(f.QuadPart);
  EXPECT_GE(seconds, 1000.0);
  EXPECT_LT(seconds, 1005.0);
}

TEST(TimeZones, NullZoneUsesTheProcessZoneWithHistoricalRules) {
  ScopedEnv zone("TZ", "America/New_York");
  SYSTEMTIME local;
  SYSTEMTIME summer = St(2026, 7, 1, 12, 0, 0, 250);
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &summer, &local));
  EXPECT_EQ(Show(local), "2026-07-01 08:00:00.250 dow3");
  SYSTEMTIME winter = St(2026, 12, 8, 14, 0);
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &winter, &local));
  EXPECT_EQ(local.wHour, 9);
  // 2006 still had the old US rules: daylight time ended on October 29.
  SYSTEMTIME oldRule = St(2006, 11, 1, 12, 0);
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &oldRule, &local));
  EXPECT_EQ(local.wHour, 7);
  SYSTEMTIME back;
  SYSTEMTIME wall = St(2026, 7, 1, 8, 0, 0, 250);
  ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &wall, &back));
  EXPECT_EQ(Show(back), "2026-07-01 12:00:00.250 dow3");
  SYSTEMTIME bad = St(2026, 2, 30);
  SetLastError(0);
  EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(nullptr, &bad, &local));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(TimeZones, UtcZoneIsIdentity) {
  ScopedEnv zone("TZ", "UTC");
  SYSTEMTIME in = St(2026, 7, 1, 12, 34, 56), out;
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &in, &out));
  EXPECT_EQ(Show(out), "2026-07-01 12:34:56.000 dow3");
  TIME_ZONE_INFORMATION tz;
  EXPECT_EQ(GetTimeZoneInformation(&tz), static_cast<DWORD>(TIME_ZONE_ID_UNKNOWN));
  EXPECT_EQ(tz.Bias, 0);
  EXPECT_EQ(std::u16string(tz.StandardName), u"Coordinated Universal Time");
  EXPECT_EQ(tz.DaylightDate.wMonth, 0);
}

TIME_ZONE_INFORMATION Pacific() {
  TIME_ZONE_INFORMATION tz{};
  tz.Bias = 480;
  tz.StandardDate = St(0, 11, 1, 2);  // first Sunday of November, 2:00
  tz.StandardDate.wDayOfWeek = 0;
  tz.DaylightDate = St(0, 3, 2, 2);  // second Sunday of March, 2:00
  tz.DaylightDate.wDayOfWeek = 0;
  tz.DaylightBias = -60;
  return tz;
}

TEST(TimeZones, ExplicitZoneAppliesItsRules) {
  TIME_ZONE_INFORMATION tz = Pacific();
  auto local = [&](SYSTEMTIME utc) {
    SYSTEMTIME out{};
    EXPECT_TRUE(SystemTimeToTzSpecificLocalTime(&tz, &utc, &out));
    return Show(out);
  };
  EXPECT_EQ(local(St(2026, 1, 15, 20, 0)), "2026-01-15 12:00:00.000 dow4");
  EXPECT_EQ(local(St(2026, 7, 4, 19, 0)), "2026-07-04 12:00:00.000 dow6");
  // 2026: daylight time from March 8 2:00 PST (10:00 UTC) to November 1
  // 2:00 PDT (09:00 UTC).
  EXPECT_EQ(local(St(2026, 3, 8, 9, 59, 59)), "2026-03-08 01:59:59.000 dow0");
  EXPECT_EQ(local(St(2026, 3, 8, 10, 0, 0)), "2026-03-08 03:00:00.000 dow0");
  EXPECT_EQ(local(St(2026, 11, 1, 8, 59, 59)), "2026-11-01 01:59:59.000 dow0");
  EXPECT_EQ(local(St(2026, 11, 1, 9, 0, 0)), "2026-11-01 01:00:00.000 dow0");
  // "Last Sunday" rules (wDay 5), e.g. central Europe: March 29 2026.
  TIME_ZONE_INFORMATION eu{};
  eu.Bias = -60;
  eu.DaylightBias = -60;
  eu.DaylightDate = St(0, 3, 5, 2);
  eu.StandardDate = St(0, 10, 5, 3);
  tz = eu;
  EXPECT_EQ(local(St(2026, 3, 29, 0, 59, 59)), "2026-03-29 01:59:59.000 dow0");
  EXPECT_EQ(local(St(2026, 3, 29, 1, 0, 0)), "2026-03-29 03:00:00.000 dow0");
  EXPECT_EQ(local(St(2026, 10, 25, 0, 59, 59)), "2026-10-25 02:59:59.000 dow0");
  EXPECT_EQ(local(St(2026, 10, 25, 1, 0, 0)), "2026-10-25 02:00:00.000 dow0");
  SYSTEMTIME wall = St(2026, 7, 4, 12, 0), utc;
  tz = Pacific();
  ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(&tz, &wall, &utc));
  EXPECT_EQ(Show(utc), "2026-07-04 19:00:00.000 dow6");
}

TEST(TimeZones, CurrentZoneDescribesItsRulesWithWindowsNames) {
  FakeClock clock("2026-07-01T12:00:00Z", "America/Los_Angeles");
  TIME_ZONE_INFORMATION tz;
  EXPECT_EQ(GetTimeZoneInformation(&tz), static_cast<DWORD>(TIME_ZONE_ID_DAYLIGHT));
  EXPECT_EQ(tz.Bias, 480);
  EXPECT_EQ(tz.StandardBias, 0);
  EXPECT_EQ(tz.DaylightBias, -60);
  EXPECT_EQ(std::u16string(tz.StandardName), u"Pacific Standard Time");
  EXPECT_EQ(std::u16string(tz.DaylightName), u"Pacific Daylight Time");
  EXPECT_EQ(tz.DaylightDate.wMonth, 3);
  EXPECT_EQ(tz.DaylightDate.wDay, 2);
  EXPECT_EQ(tz.DaylightDate.wDayOfWeek, 0);
  EXPECT_EQ(tz.DaylightDate.wHour, 2);
  EXPECT_EQ(tz.StandardDate.wMonth, 11);
  EXPECT_EQ(tz.StandardDate.wDay, 1);
  EXPECT_EQ(tz.StandardDate.wHour, 2);
  // The description converts like the zone itself.
  SYSTEMTIME in = St(2026, 11, 1, 9, 30), viaTz, viaNull;
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(&tz, &in, &viaTz));
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &in, &viaNull));
  EXPECT_EQ(Show(viaTz), Show(viaNull));
  DYNAMIC_TIME_ZONE_INFORMATION dyn;
  GetDynamicTimeZoneInformation(&dyn);
  EXPECT_EQ(std::u16string(dyn.TimeZoneKeyName), u"Pacific Standard Time");
}

TEST(TimeZones, BerlinUsesLastSundayRules) {
  FakeClock clock("2026-01-10T12:00:00Z", "Europe/Berlin");
  TIME_ZONE_INFORMATION tz;
  EXPECT_EQ(GetTimeZoneInformation(&tz), static_cast<DWORD>(TIME_ZONE_ID_STANDARD));
  EXPECT_EQ(tz.Bias, -60);
  EXPECT_EQ(std::u16string(tz.StandardName), u"W. Europe Standard Time");
  EXPECT_EQ(tz.DaylightDate.wMonth, 3);
  EXPECT_EQ(tz.DaylightDate.wDay, 5);
  EXPECT_EQ(tz.DaylightDate.wHour, 2);
  EXPECT_EQ(tz.StandardDate.wMonth, 10);
  EXPECT_EQ(tz.StandardDate.wDay, 5);
  EXPECT_EQ(tz.StandardDate.wHour, 3);
}

TEST(TimeZones, LocalFileTimeUsesTodaysOffset) {
  // Windows documents that FileTimeToLocalFileTime applies the offset in
  // effect now, even to a time of the other season.
  FakeClock clock("2026-07-01T12:00:00Z", "Europe/Berlin");
  SYSTEMTIME january = St(2026, 1, 15, 12, 0), out;
  FILETIME ft, local, back;
  ASSERT_TRUE(SystemTimeToFileTime(&january, &ft));
  ASSERT_TRUE(FileTimeToLocalFileTime(&ft, &local));
  ASSERT_TRUE(FileTimeToSystemTime(&local, &out));
  EXPECT_EQ(out.wHour, 14) << "summer offset +2 applied to a January time";
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
  EXPECT_EQ(Value(back), Value(ft));
}

TEST(CrtTime, LocalTimeAndWcsftimeFormats) {
  FakeClock clock("2026-12-08T14:05:09", "UTC");
  __time64_t now = _time64(nullptr);
  struct tm tm;
  ASSERT_EQ(_localtime64_s(&tm, &now), 0);
  WCHAR buf[128];
  auto f = [&](const WCHAR* format) {
    size_t n = wcsftime(buf, 128, format, &tm);
    return std::u16string(buf, n);
  };
  EXPECT_EQ(f(u"%I:%M:%S %p"), u"02:05:09 PM");
  EXPECT_EQ(f(u"%m/%d/%Y"), u"12/08/2026");
  EXPECT_EQ(f(u"%d/%m/%Y"), u"08/12/2026");
  EXPECT_EQ(f(u"%Y/%m/%d"), u"2026/12/08");
  EXPECT_EQ(f(u"%#d.%#m. %#I"), u"8.12. 2") << "# drops leading zeros";
  EXPECT_EQ(f(u"%A %a %B %b %j %w %u"), u"Tuesday Tue December Dec 342 2 2");
  EXPECT_EQ(f(u"%c|%x|%X"), u"12/08/26 14:05:09|12/08/26|14:05:09");
  EXPECT_EQ(f(u"%#x"), u"Tuesday, December 8, 2026");
  EXPECT_EQ(f(u"%F %T %R %D %y %C %e"), u"2026-12-08 14:05:09 14:05 12/08/26 26 20  8");
  EXPECT_EQ(f(u"%U %W %V %G"), u"49 49 50 2026");
  EXPECT_EQ(f(u"%Z %z %%"), u"Coordinated Universal Time +0000 %");
  EXPECT_EQ(wcsftime(buf, 5, u"%Y-%m", &tm), 0u) << "does not fit";
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(wcsftime(buf, 128, u"%Q", &tm), 0u) << "no such conversion";
  struct tm bad = tm;
  bad.tm_mon = 12;
  EXPECT_EQ(wcsftime(buf, 128, u"%m", &bad), 0u);
  EXPECT_EQ(_mktime64(&tm), now);
  __time64_t negative = -1;
  EXPECT_EQ(_localtime64_s(&tm, &negative), EINVAL);
}

}  // namespace
