// The host time: a local date and time to the minute, the form in which a
// file's time stamp travels between the volume and the host file system.
#pragma once

#include <cstdint>

namespace tarnwick {

struct HostTime {
  int32_t year = 0;  // in full, e.g. 1998
  int32_t month = 0;
  int32_t day = 0;
  int32_t hour = 0;
  int32_t minute = 0;
  bool operator==(const HostTime&) const = default;
};

// True when the five values name a real calendar minute: month 1-12, a day
// that exists in that month (leap years by the Gregorian rule), hour 0-23,
// minute 0-59, and a year of 1601-30827, the span that every host's file
// times can hold. A time stamp of all zero bits decodes to month 0 and day
// 0, which is no date: such a time must never reach a host file.
bool host_time_is_valid(const HostTime& t);

}  // namespace tarnwick
