// The CRT's time functions on the layer's clock: _time64, _localtime64_s,
// _mktime64, wcsftime (the "C" locale's texts and the CRT's conversions),
// _wstrtime/_wstrdate.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "tw/clock.h"
#include "tw/time.h"
#include "tw/wcrt.h"

namespace {

// The CRT accepts times up to 3000-12-31 23:59:59 UTC.
constexpr __time64_t kMaxTime64 = 32535215999LL;

void invalidTm(struct tm* out) {
  std::memset(out, 0xFF, sizeof(*out));
  out->tm_zone = nullptr;
}

}  // namespace

__time64_t _time64(__time64_t* out) {
  __time64_t t = (tw::clock::NowUtc() - tw::clock::kUnixEpoch100ns) / 10000000;
  if (out) *out = t;
  return t;
}

errno_t _localtime64_s(struct tm* out, const __time64_t* t) {
  if (!out) return EINVAL;
  if (!t || *t < 0 || *t > kMaxTime64) {
    invalidTm(out);
    return EINVAL;
  }
  tzset();
  time_t value = static_cast<time_t>(*t);
  if (!localtime_r(&value, out)) {
    invalidTm(out);
    return EINVAL;
  }
  return 0;
}

errno_t _gmtime64_s(struct tm* out, const __time64_t* t) {
  if (!out) return EINVAL;
  if (!t || *t < 0 || *t > kMaxTime64) {
    invalidTm(out);
    return EINVAL;
  }
  time_t value = static_cast<time_t>(*t);
  gmtime_r(&value, out);
  return 0;
}

__time64_t _mktime64(struct tm* t) {
  if (!t) {
    errno = EINVAL;
    return -1;
  }
  tzset();
  time_t value = mktime(t);
  if (value < 0 || value > kMaxTime64) {
    errno = EINVAL;
    return -1;
  }
  return value;
}

__time64_t _mkgmtime64(struct tm* t) {
  if (!t) {
    errno = EINVAL;
    return -1;
  }
  time_t value = timegm(t);
  if (value < 0 || value > kMaxTime64) {
    errno = EINVAL;
    return -1;
  }
  return value;
}

namespace {

const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};

class Writer {
 public:
  Writer(WCHAR* buffer, size_t size) : m_buffer(buffer), m_size(size) {}
  void Put(WCHAR c) {
    if (m_used + 1 < m_size)
      m_buffer[m_used] = c;
    else
      m_overflow = true;
    ++m_used;
  }
  void Ascii(const char* s, size_t limit = std::string::npos) {
    for (size_t i = 0; s[i] && i < limit; ++i) Put(static_cast<WCHAR>(static_cast<unsigned char>(s[i])));
  }
  void Text(const std::u16string& s) {
    for (WCHAR c : s) Put(c);
  }
  // A number with `width` digits (zero-padded), or without leading zeros
  // when `noZeros` (the '#' flag).
  void Number(long long v, int width, bool noZeros) {
    char tmp[32];
    if (noZeros)
      std::snprintf(tmp, sizeof(tmp), "%lld", v);
    else
      std::snprintf(tmp, sizeof(tmp), "%0*lld", width, v);
    Ascii(tmp);
  }
  bool Overflow() const { return m_overflow; }
  size_t Used() const { return m_used; }

 private:
  WCHAR* m_buffer;
  size_t m_size;
  size_t m_used = 0;
  bool m_overflow = false;
};

bool validTm(const struct tm& t) {
  return t.tm_sec >= 0 && t.tm_sec <= 60 && t.tm_min >= 0 && t.tm_min <= 59 && t.tm_hour >= 0 && t.tm_hour <= 23 &&
         t.tm_mday >= 1 && t.tm_mday <= 31 && t.tm_mon >= 0 && t.tm_mon <= 11 && t.tm_wday >= 0 && t.tm_wday <= 6 &&
         t.tm_yday >= 0 && t.tm_yday <= 365 && t.tm_year >= -1900 && t.tm_year <= 8099;
}

// ISO 8601 week-based year and week of t.
void isoWeek(const struct tm& t, int& isoYear, int& week) {
  int year = t.tm_year + 1900;
  int wday = (t.tm_wday + 6) % 7;  // Monday = 0
  int yday = t.tm_yday;
  auto daysInYear = [](int y) { return ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) ? 366 : 365; };
  week = (yday - wday + 10) / 7;
  isoYear = year;
  if (week < 1) {
    isoYear = year - 1;
    int prevDays = daysInYear(isoYear);
    week = (yday + prevDays - wday + 10) / 7;
  } else if (week > 52) {
    int jan1Next = (wday + daysInYear(year) - yday) % 7;  // weekday (Mon=0) of next Jan 1
    if (jan1Next <= 3) {
      isoYear = year + 1;
      week = 1;
    }
  }
}

std::u16string zoneName(const struct tm& t) {
  TIME_ZONE_INFORMATION tz;
  GetTimeZoneInformation(&tz);
  return std::u16string(t.tm_isdst > 0 ? tz.DaylightName : tz.StandardName);
}

bool convert(Writer& w, WCHAR c, bool alt, const struct tm& t);

bool pattern(Writer& w, const char* fmt, const struct tm& t) {
  for (const char* p = fmt; *p; ++p) {
    if (*p == '%') {
      bool alt = p[1] == '#';
      if (alt) ++p;
      if (!convert(w, static_cast<WCHAR>(p[1]), alt, t)) return false;
      ++p;
    } else {
      w.Put(static_cast<WCHAR>(*p));
    }
  }
  return true;
}

bool convert(Writer& w, WCHAR c, bool alt, const struct tm& t) {
  const int hour12 = t.tm_hour % 12 == 0 ? 12 : t.tm_hour % 12;
  switch (c) {
    case u'a':
      w.Ascii(kDays[t.tm_wday], 3);
      return true;
    case u'A':
      w.Ascii(kDays[t.tm_wday]);
      return true;
    case u'b':
    case u'h':
      w.Ascii(kMonths[t.tm_mon], 3);
      return true;
    case u'B':
      w.Ascii(kMonths[t.tm_mon]);
      return true;
    case u'c':
      // "C" locale: "12/08/26 14:05:09"; long form "Tuesday, December 8, 2026, 14:05:09".
      return alt ? pattern(w, "%A, %B %#d, %Y, %H:%M:%S", t) : pattern(w, "%m/%d/%y %H:%M:%S", t);
    case u'C':
      w.Number((t.tm_year + 1900) / 100, 2, alt);
      return true;
    case u'd':
      w.Number(t.tm_mday, 2, alt);
      return true;
    case u'D':
      return pattern(w, "%m/%d/%y", t);
    case u'e':
      if (t.tm_mday < 10 && !alt) w.Put(u' ');
      w.Number(t.tm_mday, 1, true);
      return true;
    case u'F':
      return pattern(w, "%Y-%m-%d", t);
    case u'g':
    case u'G': {
      int isoYear, week;
      isoWeek(t, isoYear, week);
      if (c == u'g')
        w.Number(isoYear % 100, 2, alt);
      else
        w.Number(isoYear, 4, alt);
      return true;
    }
    case u'H':
      w.Number(t.tm_hour, 2, alt);
      return true;
    case u'I':
      w.Number(hour12, 2, alt);
      return true;
    case u'j':
      w.Number(t.tm_yday + 1, 3, alt);
      return true;
    case u'm':
      w.Number(t.tm_mon + 1, 2, alt);
      return true;
    case u'M':
      w.Number(t.tm_min, 2, alt);
      return true;
    case u'n':
      w.Put(u'\n');
      return true;
    case u'p':
      w.Ascii(t.tm_hour < 12 ? "AM" : "PM");
      return true;
    case u'r':
      return pattern(w, "%I:%M:%S %p", t);
    case u'R':
      return pattern(w, "%H:%M", t);
    case u'S':
      w.Number(t.tm_sec, 2, alt);
      return true;
    case u't':
      w.Put(u'\t');
      return true;
    case u'T':
      return pattern(w, "%H:%M:%S", t);
    case u'u':
      w.Number(t.tm_wday == 0 ? 7 : t.tm_wday, 1, true);
      return true;
    case u'U':
      w.Number((t.tm_yday + 7 - t.tm_wday) / 7, 2, alt);
      return true;
    case u'V': {
      int isoYear, week;
      isoWeek(t, isoYear, week);
      w.Number(week, 2, alt);
      return true;
    }
    case u'w':
      w.Number(t.tm_wday, 1, true);
      return true;
    case u'W':
      w.Number((t.tm_yday + 7 - (t.tm_wday + 6) % 7) / 7, 2, alt);
      return true;
    case u'x':
      return alt ? pattern(w, "%A, %B %#d, %Y", t) : pattern(w, "%m/%d/%y", t);
    case u'X':
      return pattern(w, "%H:%M:%S", t);
    case u'y':
      w.Number((t.tm_year + 1900) % 100, 2, alt);
      return true;
    case u'Y':
      w.Number(t.tm_year + 1900, 4, alt);
      return true;
    case u'z': {
      TIME_ZONE_INFORMATION tz;
      GetTimeZoneInformation(&tz);
      LONG bias = tz.Bias + (t.tm_isdst > 0 ? tz.DaylightBias : tz.StandardBias);
      LONG east = -bias;
      w.Put(east < 0 ? u'-' : u'+');
      if (east < 0) east = -east;
      w.Number(east / 60 * 100 + east % 60, 4, false);
      return true;
    }
    case u'Z':
      w.Text(zoneName(t));
      return true;
    case u'%':
      w.Put(u'%');
      return true;
    default:
      return false;
  }
}

}  // namespace

size_t wcsftime(WCHAR* buffer, size_t size, const WCHAR* format, const struct tm* t) {
  if (!buffer || size == 0) {
    errno = EINVAL;
    return 0;
  }
  buffer[0] = 0;
  if (!format || !t || !validTm(*t)) {
    errno = EINVAL;
    return 0;
  }
  Writer w(buffer, size);
  for (const WCHAR* p = format; *p; ++p) {
    if (*p != u'%') {
      w.Put(*p);
      continue;
    }
    ++p;
    bool alt = false;
    if (*p == u'#') {
      alt = true;
      ++p;
    }
    if (*p == u'E' || *p == u'O') ++p;  // accepted and ignored, as by the CRT
    if (!convert(w, *p, alt, *t)) {
      buffer[0] = 0;
      errno = EINVAL;
      return 0;
    }
  }
  if (w.Overflow()) {
    buffer[0] = 0;
    errno = ERANGE;
    return 0;
  }
  buffer[w.Used()] = 0;
  return w.Used();
}

namespace {

errno_t stamp(WCHAR* buffer, size_t size, bool time) {
  if (!buffer || size == 0) return EINVAL;
  if (size < 9) {
    buffer[0] = 0;
    return ERANGE;
  }
  SYSTEMTIME st;
  GetLocalTime(&st);
  if (time)
    swprintf_s(buffer, size, u"%02d:%02d:%02d", st.wHour, st.wMinute, st.wSecond);
  else
    swprintf_s(buffer, size, u"%02d/%02d/%02d", st.wMonth, st.wDay, st.wYear % 100);
  return 0;
}

}  // namespace

errno_t _wstrtime_s(WCHAR* buffer, size_t size) { return stamp(buffer, size, true); }
errno_t _wstrdate_s(WCHAR* buffer, size_t size) { return stamp(buffer, size, false); }
WCHAR* _wstrtime(WCHAR* buffer) {
  stamp(buffer, 9, true);
  return buffer;
}
WCHAR* _wstrdate(WCHAR* buffer) {
  stamp(buffer, 9, false);
  return buffer;
}
