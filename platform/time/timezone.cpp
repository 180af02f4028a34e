// Time zones: conversion between UTC and local time (the process's TZ, or an
// explicit TIME_ZONE_INFORMATION with Windows' transition rules) and
// GetTimeZoneInformation.
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "tw/clock.h"
#include "tw/lasterror.h"
#include "tw/time.h"
#include "tw/utf.h"
#include "winerror.h"

namespace {

using namespace tw::clock;

constexpr std::int64_t kSecond = 10000000;
constexpr std::int64_t kMinute = 60 * kSecond;

// The instant (local 100-ns units) a transition rule names in `year`: either
// an absolute date (wYear set) or "the n-th weekday of the month" (wDay 1-5,
// 5 = the last).
bool ruleInstant(const SYSTEMTIME& rule, std::int64_t year, std::int64_t& out) {
  if (rule.wMonth < 1 || rule.wMonth > 12) return false;
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(rule.wYear ? rule.wYear : year);
  st.wMonth = rule.wMonth;
  st.wHour = rule.wHour;
  st.wMinute = rule.wMinute;
  st.wSecond = rule.wSecond;
  st.wMilliseconds = rule.wMilliseconds;
  if (rule.wYear) {
    st.wDay = rule.wDay;
  } else {
    // Day of week of the 1st of the month (1970-01-01 was a Thursday).
    std::int64_t first = DaysFromCivil(st.wYear, st.wMonth, 1);
    int firstDow = static_cast<int>(((first % 7) + 11) % 7);
    int day = 1 + (rule.wDayOfWeek - firstDow + 7) % 7 + (rule.wDay - 1) * 7;
    while (day > DaysInMonth(st.wYear, st.wMonth)) day -= 7;
    st.wDay = static_cast<WORD>(day);
  }
  if (st.wHour == 23 && st.wMinute == 59 && st.wSecond == 59 && st.wMilliseconds == 999) {
    // "23:59:59.999" means the end of the day.
    st.wMilliseconds = 998;
  }
  return SystemTimeTo100ns(st, out);
}

bool hasDaylightRule(const TIME_ZONE_INFORMATION& tz) {
  return tz.DaylightDate.wMonth != 0 && tz.StandardDate.wMonth != 0;
}

// Whether daylight time is in effect at the UTC instant `utc` under `tz`.
bool daylightAtUtc(const TIME_ZONE_INFORMATION& tz, std::int64_t utc) {
  if (!hasDaylightRule(tz)) return false;
  SYSTEMTIME approx;
  if (!SystemTimeFrom100ns(utc - tz.Bias * kMinute, approx)) return false;
  std::int64_t start, end;
  if (!ruleInstant(tz.DaylightDate, approx.wYear, start) || !ruleInstant(tz.StandardDate, approx.wYear, end))
    return false;
  // The rules are in local time: the start in standard time, the end in
  // daylight time.
  std::int64_t startUtc = start + (tz.Bias + tz.StandardBias) * kMinute;
  std::int64_t endUtc = end + (tz.Bias + tz.DaylightBias) * kMinute;
  if (startUtc < endUtc) return utc >= startUtc && utc < endUtc;
  return !(utc >= endUtc && utc < startUtc);  // southern hemisphere
}

std::int64_t utcToLocal(const TIME_ZONE_INFORMATION& tz, std::int64_t utc) {
  LONG bias = tz.Bias + (daylightAtUtc(tz, utc) ? tz.DaylightBias : tz.StandardBias);
  return utc - bias * kMinute;
}

// The zone's name in the tz database: TZ (":Europe/Berlin", a path into
// zoneinfo, or a POSIX rule), else /etc/localtime's target, else UTC.
std::string zoneId() {
  std::string id;
  if (const char* tz = std::getenv("TZ"); tz) {
    id = tz;
    if (!id.empty() && id[0] == ':') id.erase(0, 1);
  } else {
    char target[512];
    ssize_t n = readlink("/etc/localtime", target, sizeof(target) - 1);
    if (n > 0) id.assign(target, static_cast<size_t>(n));
  }
  if (auto pos = id.find("zoneinfo/"); pos != std::string::npos) id.erase(0, pos + 9);
  if (id.empty()) id = "UTC";
  return id;
}

// The Windows name of the zone ("W. Europe Standard Time"); empty when ICU
// does not know one.
std::u16string windowsZoneName(const std::string& id) {
  UErrorCode err = U_ZERO_ERROR;
  icu::UnicodeString windowsId;
  icu::TimeZone::getWindowsID(icu::UnicodeString::fromUTF8(id), windowsId, err);
  if (U_FAILURE(err) || windowsId.isEmpty()) {
    if (id == "UTC" || id == "Etc/UTC" || id == "UCT" || id == "Zulu" || id == "Etc/Zulu" || id == "GMT0") return u"UTC";
    return {};
  }
  return std::u16string(reinterpret_cast<const char16_t*>(windowsId.getBuffer()), windowsId.length());
}

void copyName(WCHAR (&out)[32], std::u16string_view name) {
  size_t n = name.size() < 31 ? name.size() : 31;
  std::memcpy(out, name.data(), n * sizeof(WCHAR));
  out[n] = 0;
}

// Expresses a transition as Windows' "n-th weekday of the month" rule, in
// the local time that was in effect just before it.
SYSTEMTIME ruleFor(std::int64_t unixSeconds, std::int32_t offsetBefore) {
  SYSTEMTIME local{};
  SystemTimeFrom100ns(kUnixEpoch100ns + (unixSeconds + offsetBefore) * kSecond, local);
  SYSTEMTIME rule{};
  rule.wMonth = local.wMonth;
  rule.wDayOfWeek = local.wDayOfWeek;
  rule.wDay = static_cast<WORD>(local.wDay + 7 > DaysInMonth(local.wYear, local.wMonth) ? 5 : (local.wDay - 1) / 7 + 1);
  rule.wHour = local.wHour;
  rule.wMinute = local.wMinute;
  rule.wSecond = local.wSecond;
  return rule;
}

// Fills the zone's bias and this year's transitions from the tz database.
DWORD describeZone(TIME_ZONE_INFORMATION& tz, std::u16string& keyName) {
  std::memset(&tz, 0, sizeof(tz));
  const std::int64_t now = (NowUtc() - kUnixEpoch100ns) / kSecond;
  SYSTEMTIME today;
  SystemTimeFrom100ns(NowUtc(), today);
  const std::int64_t yearStart = DaysFromCivil(today.wYear, 1, 1) * 86400 - 86400;
  const std::int64_t yearEnd = DaysFromCivil(today.wYear + 1, 1, 1) * 86400 + 86400;

  bool nowDst = false;
  std::int32_t nowOffset = LocalOffsetAt(now, &nowDst);
  std::int32_t standardOffset = nowOffset, daylightOffset = nowOffset;
  bool sawStandard = !nowDst, sawDaylight = nowDst;
  bool prevDst;
  std::int32_t prevOffset = LocalOffsetAt(yearStart, &prevDst);
  for (std::int64_t t = yearStart + 86400; t <= yearEnd; t += 86400) {
    bool dst;
    std::int32_t off = LocalOffsetAt(t, &dst);
    if (off != prevOffset || dst != prevDst) {
      // Narrow the change down to the second.
      std::int64_t lo = t - 86400, hi = t;
      while (hi - lo > 1) {
        std::int64_t mid = lo + (hi - lo) / 2;
        bool midDst;
        std::int32_t midOff = LocalOffsetAt(mid, &midDst);
        if (midOff == prevOffset && midDst == prevDst)
          lo = mid;
        else
          hi = mid;
      }
      if (dst) {
        tz.DaylightDate = ruleFor(hi, prevOffset);
        daylightOffset = off;
        sawDaylight = true;
      } else {
        tz.StandardDate = ruleFor(hi, prevOffset);
        standardOffset = off;
        sawStandard = true;
      }
      prevOffset = off;
      prevDst = dst;
    }
  }
  if (!sawStandard) standardOffset = nowOffset;
  tz.Bias = -standardOffset / 60;
  tz.StandardBias = 0;
  const bool hasDst = sawDaylight && tz.DaylightDate.wMonth && tz.StandardDate.wMonth;
  if (hasDst) {
    tz.DaylightBias = -(daylightOffset - standardOffset) / 60;
  } else {
    std::memset(&tz.StandardDate, 0, sizeof(tz.StandardDate));
    std::memset(&tz.DaylightDate, 0, sizeof(tz.DaylightDate));
    if (nowDst) tz.Bias = -nowOffset / 60;  // permanent daylight time
  }

  const std::string id = zoneId();
  keyName = windowsZoneName(id);
  std::u16string standardName, daylightName;
  if (keyName == u"UTC") {
    standardName = daylightName = u"Coordinated Universal Time";
  } else if (!keyName.empty()) {
    standardName = daylightName = keyName;
    if (auto pos = daylightName.find(u"Standard"); pos != std::u16string::npos)
      daylightName.replace(pos, 8, u"Daylight");
  } else {
    // A zone ICU cannot name: the abbreviations the C library knows.
    tzset();
    standardName = tw::FromUtf8(tzname[0] ? tzname[0] : "");
    daylightName = tw::FromUtf8(tzname[1] ? tzname[1] : "");
    keyName = standardName;
  }
  copyName(tz.StandardName, standardName);
  copyName(tz.DaylightName, daylightName);
  if (!hasDst) return TIME_ZONE_ID_UNKNOWN;
  return nowDst ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

}  // namespace

BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                     const SYSTEMTIME* lpUniversalTime, LPSYSTEMTIME lpLocalTime) {
  std::int64_t utc;
  if (!lpUniversalTime || !lpLocalTime || !SystemTimeTo100ns(*lpUniversalTime, utc)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::int64_t local;
  if (lpTimeZoneInformation)
    local = utcToLocal(*lpTimeZoneInformation, utc);
  else
    local = utc + std::int64_t(LocalOffsetAt((utc - kUnixEpoch100ns) / kSecond)) * kSecond;
  if (!SystemTimeFrom100ns(local, *lpLocalTime)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

BOOL TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* lpTimeZoneInformation,
                                     const SYSTEMTIME* lpLocalTime, LPSYSTEMTIME lpUniversalTime) {
  std::int64_t local;
  if (!lpLocalTime || !lpUniversalTime || !SystemTimeTo100ns(*lpLocalTime, local)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::int64_t utc;
  if (lpTimeZoneInformation) {
    const TIME_ZONE_INFORMATION& tz = *lpTimeZoneInformation;
    // Standard time first; daylight time when only that reads back; a time in
    // the gap is taken as standard time.
    std::int64_t asStandard = local + (tz.Bias + tz.StandardBias) * kMinute;
    std::int64_t asDaylight = local + (tz.Bias + tz.DaylightBias) * kMinute;
    if (utcToLocal(tz, asStandard) == local)
      utc = asStandard;
    else if (hasDaylightRule(tz) && utcToLocal(tz, asDaylight) == local)
      utc = asDaylight;
    else
      utc = asStandard;
  } else {
    std::int64_t localUnix = (local - kUnixEpoch100ns);
    std::int64_t seconds = localUnix / kSecond, fraction = localUnix % kSecond;
    if (fraction < 0) {
      fraction += kSecond;
      --seconds;
    }
    utc = kUnixEpoch100ns + LocalToUtcSeconds(seconds) * kSecond + fraction;
  }
  if (!SystemTimeFrom100ns(utc, *lpUniversalTime)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation) {
  if (!lpTimeZoneInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  std::u16string key;
  return describeZone(*lpTimeZoneInformation, key);
}

DWORD GetDynamicTimeZoneInformation(PDYNAMIC_TIME_ZONE_INFORMATION pTimeZoneInformation) {
  if (!pTimeZoneInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  TIME_ZONE_INFORMATION tz;
  std::u16string key;
  DWORD result = describeZone(tz, key);
  std::memset(pTimeZoneInformation, 0, sizeof(*pTimeZoneInformation));
  std::memcpy(pTimeZoneInformation, &tz, sizeof(tz));
  size_t n = key.size() < 127 ? key.size() : 127;
  std::memcpy(pTimeZoneInformation->TimeZoneKeyName, key.data(), n * sizeof(WCHAR));
  return result;
}
