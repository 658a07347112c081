// Seconds since 1970-01-01 00:00 UTC for a calendar date, computed without
// the C library, so that tests check its time-zone handling against an
// independent answer.
#pragma once

#include <cstdint>

namespace tarnwick::testing {

// Days from 1970-01-01 to the given Gregorian date (proleptic).
constexpr int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The instant of a local date and time in a zone `offset_seconds` east of UTC.
constexpr int64_t local_instant(int64_t y, int64_t mo, int64_t d, int64_t h, int64_t mi, int64_t s,
                                int64_t offset_seconds) {
  return days_from_civil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s - offset_seconds;
}

static_assert(days_from_civil(1970, 1, 1) == 0);
static_assert(days_from_civil(2000, 3, 1) == 11017);
static_assert(local_instant(1998, 12, 31, 23, 59, 0, 0) == 915148740);

}  // namespace tarnwick::testing
