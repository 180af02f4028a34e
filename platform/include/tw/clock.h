// Internal: the layer's clock, with the test controls TW_FAKE_TIME,
// TW_FAKE_TIME_FROZEN and TW_FAKE_TICK (tw/time.h), and the local-time
// conversion every time function shares.
#pragma once
#include <cstdint>

#include "tw/wintypes.h"

namespace tw::clock {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kUnixEpoch100ns = 116444736000000000LL;

// Now, in FILETIME units (100 ns since 1601, UTC).
TWCPPAPI std::int64_t NowUtc();
// Milliseconds of the tick count.
TWCPPAPI std::uint64_t TickMs();
// The performance counter in 100-ns units.
TWCPPAPI std::int64_t Counter100ns();
// Reads the environment variables again (tests change them at run time).
TWCPPAPI void Reload();

// The offset of local time from UTC (seconds, east positive) at the UTC
// instant `unixSeconds`, under the process's TZ; `isDst` tells whether
// daylight saving time is in effect then.
TWCPPAPI std::int32_t LocalOffsetAt(std::int64_t unixSeconds, bool* isDst = nullptr);
// UTC seconds of a local wall-clock time (seconds since 1970 as if it were
// UTC). Ambiguous times take the earlier (daylight) instant, times in a gap
// move forward by the gap.
TWCPPAPI std::int64_t LocalToUtcSeconds(std::int64_t localSeconds);

// SYSTEMTIME <-> 100-ns units since 1601 (the same scale for UTC and local
// times). The first checks the fields as SystemTimeToFileTime does; the second
// fails for negative values and years past 30827.
TWCPPAPI bool SystemTimeTo100ns(const SYSTEMTIME& st, std::int64_t& out);
TWCPPAPI bool SystemTimeFrom100ns(std::int64_t value, SYSTEMTIME& st);
// The current local time in 100-ns units since 1601.
TWCPPAPI std::int64_t LocalNow100ns();

// Calendar arithmetic (proleptic Gregorian).
TWCPPAPI std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d);
TWCPPAPI void CivilFromDays(std::int64_t days, std::int64_t& y, unsigned& m, unsigned& d);
TWCPPAPI int DaysInMonth(std::int64_t year, unsigned month);

}  // namespace tw::clock
