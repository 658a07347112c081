// Directory entry time stamps: four bytes of packed BCD, read as one 32-bit
// value T with entry byte 26 most significant.
//
//   BITS  WIDTH FIELD
//   31-28   4   year tens       27-24  4  year units
//      23   1   month tens      22-19  4  month units
//   18-17   2   day tens        16-13  4  day units
//   12-11   2   hour tens       10-7   4  hour units
//     6-4   3   minute tens      3-0   4  minute units
//
// Two-digit years below 85 are 20xx, the rest 19xx, so 1985-2084 survive a
// round trip.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "host/host_time.h"

namespace tarnwick {

using TimeStamp = std::array<uint8_t, 4>;

// Packs a host time (year taken modulo 100). No range check, as on the
// machine: out-of-range values spill into neighbouring bits.
TimeStamp encode_time_stamp(const HostTime& t);

// Unpacks a time stamp into a host time with a four-digit year. Digits are
// not validated.
HostTime decode_time_stamp(std::span<const uint8_t, 4> stamp);

// The date and time a stamp names, by the same century rule; nothing for
// an all-zero stamp and for one whose digits name no date (a digit above
// 9, a month or day the calendar lacks, hour 24, minute 60).
std::optional<HostTime> stamp_date(std::span<const uint8_t, 4> stamp);

// The five raw bit groups the listing prints in hexadecimal: year byte,
// month (5 bits), day (6), hour (6), minute (7).
struct StampDisplay {
  unsigned year, month, day, hour, minute;
};
StampDisplay display_time_stamp(std::span<const uint8_t, 4> stamp);

}  // namespace tarnwick
