// Host file times on POSIX systems.
//
// The last-write time is the file's st_mtim. It is read and set as local
// broken-down time through localtime_r and mktime, so the TZ environment
// and its daylight-saving rules apply exactly as the C library applies them.
// Access times are never read and never changed.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "host/platform.h"

namespace tarnwick::platform {

namespace {

// A local time to the minute as the instant it names, in seconds since the
// epoch, by the zone's rules (false for no valid date).
bool local_to_epoch_seconds(const HostTime& t, int64_t& seconds) {
  // mktime would quietly turn 31 April into 1 May and month 0 into December
  // of the year before; an impossible date must leave the file alone.
  if (!host_time_is_valid(t)) return false;
  std::tm local{};
  local.tm_year = t.year - 1900;
  local.tm_mon = t.month - 1;
  local.tm_mday = t.day;
  local.tm_hour = t.hour;
  local.tm_min = t.minute;
  local.tm_sec = 0;
  local.tm_isdst = -1;  // let the zone's rules decide
  tzset();
  // A minute that the zone's clocks skip (the hour lost when daylight saving
  // begins) is read with the offset in force before the change: 02:30 on the
  // morning the clocks go from 02:00 to 03:00 becomes 03:30 summer time. That
  // instant is set; a file stamped in the gap keeps its time to the hour,
  // rather than the time of the run.
  const std::time_t when = std::mktime(&local);
  if (when == static_cast<std::time_t>(-1)) return false;
  seconds = static_cast<int64_t>(when);
  return true;
}

// The last-write time of `when`, the access time untouched.
struct Stamp {
  explicit Stamp(int64_t when) {
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<std::time_t>(when);
    times[1].tv_nsec = 0;
  }
  struct timespec times[2];
};

}  // namespace

bool read_file_time(Descriptor d, HostTime& t) {
  struct stat st;
  if (fstat(d, &st) != 0) return false;
  // localtime_r need not look at TZ again by itself; tzset makes it.
  tzset();
  const std::optional<HostTime> local = local_time_of(st.st_mtime);
  if (!local) return false;
  t = *local;
  return true;
}

std::optional<HostTime> local_time_of(std::time_t when) {
  std::tm local{};
  if (!localtime_r(&when, &local)) return std::nullopt;
  const int64_t year = int64_t{local.tm_year} + 1900;
  if (year < INT32_MIN || year > INT32_MAX) return std::nullopt;
  // Seconds and the part below them are dropped, never rounded.
  return HostTime{static_cast<int32_t>(year), local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
}

HostTime local_time_now() {
  tzset();
  return local_time_of(std::time(nullptr)).value_or(HostTime{});
}

bool set_file_time(Descriptor d, const HostTime& t) {
  int64_t when = 0;
  return local_to_epoch_seconds(t, when) && futimens(d, Stamp(when).times) == 0;
}

bool set_path_time(const NativeString& path, const HostTime& t) {
  int64_t when = 0;
  if (!local_to_epoch_seconds(t, when)) return false;
  // A pipe or a device has no time of its own to set; a folder has (X sets
  // it once the folder's contents are written).
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) return false;
  return utimensat(AT_FDCWD, path.c_str(), Stamp(when).times, 0) == 0;
}

}  // namespace tarnwick::platform

#endif  // !_WIN32
