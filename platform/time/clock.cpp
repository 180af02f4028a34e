// The layer's clock: the real clocks of Linux, or the fixed origins of
// TW_FAKE_TIME / TW_FAKE_TICK for tests, and local time under TZ.
#include "tw/clock.h"

#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace tw::clock {
namespace {

std::int64_t realUtc() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return kUnixEpoch100ns + std::int64_t(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
}

// Time since boot, suspend included, as Windows' tick count counts it.
std::int64_t boot100ns() {
  timespec ts;
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return std::int64_t(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
}

int digits(const char*& p, int count) {
  int v = 0;
  for (int i = 0; i < count; ++i, ++p) {
    if (*p < '0' || *p > '9') return -1;
    v = v * 10 + (*p - '0');
  }
  return v;
}

// "YYYY-MM-DD[T| ]HH:MM[:SS[.fff]][Z|+HH:MM|-HH:MM]"; a time without zone is
// local time. Returns false for anything else.
bool parseFakeTime(const char* text, std::int64_t& utc100ns) {
  const char* p = text;
  int y = digits(p, 4);
  if (y < 1601 || *p++ != '-') return false;
  int mo = digits(p, 2);
  if (mo < 1 || mo > 12 || *p++ != '-') return false;
  int d = digits(p, 2);
  if (d < 1 || d > DaysInMonth(y, mo)) return false;
  if (*p != 'T' && *p != 't' && *p != ' ') return false;
  ++p;
  int h = digits(p, 2);
  if (h < 0 || h > 23 || *p++ != ':') return false;
  int mi = digits(p, 2);
  if (mi < 0 || mi > 59) return false;
  int s = 0;
  std::int64_t fraction = 0;  // 100-ns units
  if (*p == ':') {
    ++p;
    s = digits(p, 2);
    if (s < 0 || s > 59) return false;
    if (*p == '.') {
      ++p;
      std::int64_t scale = 1000000;
      if (*p < '0' || *p > '9') return false;
      for (; *p >= '0' && *p <= '9'; ++p) {
        fraction += (*p - '0') * scale;
        scale /= 10;
      }
    }
  }
  std::int64_t seconds = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
  if (*p == 'Z' || *p == 'z') {
    ++p;
  } else if (*p == '+' || *p == '-') {
    int sign = *p++ == '-' ? -1 : 1;
    int oh = digits(p, 2);
    if (oh < 0 || *p++ != ':') return false;
    int om = digits(p, 2);
    if (om < 0) return false;
    seconds -= sign * (oh * 3600 + om * 60);
  } else if (*p == '\0') {
    seconds = LocalToUtcSeconds(seconds);
  }
  if (*p != '\0') return false;
  utc100ns = kUnixEpoch100ns + seconds * 10000000 + fraction;
  return true;
}

struct State {
  bool loaded = false;
  bool fakeTime = false, frozen = false, fakeTick = false;
  std::int64_t timeOrigin = 0;  // UTC, FILETIME units
  std::int64_t tickOrigin = 0;  // 100-ns units
  std::int64_t bootAtLoad = 0;  // boot100ns() when the origins were read
};

std::mutex g_mutex;
State g_state;

void load(State& s) {
  s = State{};
  s.loaded = true;
  s.bootAtLoad = boot100ns();
  if (const char* t = std::getenv("TW_FAKE_TIME"); t && *t) s.fakeTime = parseFakeTime(t, s.timeOrigin);
  if (const char* f = std::getenv("TW_FAKE_TIME_FROZEN"); f && std::strcmp(f, "1") == 0) s.frozen = true;
  if (const char* k = std::getenv("TW_FAKE_TICK"); k && *k) {
    char* end = nullptr;
    unsigned long long ms = std::strtoull(k, &end, 10);
    if (end && *end == '\0') {
      s.fakeTick = true;
      s.tickOrigin = static_cast<std::int64_t>(ms) * 10000;
    }
  }
}

State current() {
  std::lock_guard lock(g_mutex);
  if (!g_state.loaded) load(g_state);
  return g_state;
}

}  // namespace

std::int64_t NowUtc() {
  State s = current();
  if (!s.fakeTime) return realUtc();
  if (s.frozen) return s.timeOrigin;
  return s.timeOrigin + (boot100ns() - s.bootAtLoad);
}

std::int64_t Counter100ns() {
  State s = current();
  if (!s.fakeTick) return boot100ns();
  return s.tickOrigin + (boot100ns() - s.bootAtLoad);
}

std::uint64_t TickMs() { return static_cast<std::uint64_t>(Counter100ns() / 10000); }

void Reload() {
  std::lock_guard lock(g_mutex);
  load(g_state);
}

std::int32_t LocalOffsetAt(std::int64_t unixSeconds, bool* isDst) {
  tzset();  // follow changes of TZ made by the process
  time_t t = static_cast<time_t>(unixSeconds);
  struct tm local;
  if (!localtime_r(&t, &local)) {
    if (isDst) *isDst = false;
    return 0;
  }
  if (isDst) *isDst = local.tm_isdst > 0;
  return static_cast<std::int32_t>(local.tm_gmtoff);
}

std::int64_t LocalToUtcSeconds(std::int64_t localSeconds) {
  // The offsets a local time can have are those around it; try the one
  // before and the one after.
  std::int32_t before = LocalOffsetAt(localSeconds - 86400);
  std::int32_t after = LocalOffsetAt(localSeconds + 86400);
  std::int64_t first = localSeconds - std::max(before, after);  // the earlier instant
  std::int64_t second = localSeconds - std::min(before, after);
  if (first + LocalOffsetAt(first) == localSeconds) return first;
  if (second + LocalOffsetAt(second) == localSeconds) return second;
  // In a gap (clocks jumped forward): the instant the offset before the gap
  // gives, which lies after the jump.
  return localSeconds - before;
}

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

int DaysInMonth(std::int64_t year, unsigned month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace tw::clock
