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

}  // namespace tarnwick
