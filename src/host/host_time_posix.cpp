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

// Reads the last-write time of an open file into `t`; the descriptor stays
// open. `t` is left alone unless the whole conversion succeeds.
bool read_open_file_time(int fd, HostTime& t) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  // localtime_r need not look at TZ again by itself; tzset makes it.
  tzset();
  std::tm local{};
  if (!localtime_r(&st.st_mtime, &local)) return false;
  const int64_t year = int64_t{local.tm_year} + 1900;
  if (year < INT32_MIN || year > INT32_MAX) return false;
  // Seconds and the part below them are dropped, never rounded.
  t = HostTime{static_cast<int32_t>(year), local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
  return true;
}

}  // namespace

HostTime local_time_now() {
  const std::time_t now = std::time(nullptr);
  tzset();
  std::tm local{};
  if (!localtime_r(&now, &local)) return HostTime{};
  return HostTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
}

bool read_stream_time(std::FILE* f, HostTime& t) { return read_open_file_time(fileno(f), t); }

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

bool set_host_file_time(const std::string& name, const HostTime& t) {
  int64_t when = 0;
  if (!local_to_epoch_seconds(t, when)) return false;
  // A pipe or a device has no time of its own to set; a folder has (X sets
  // it once the folder's contents are written).
  struct stat st {};
  if (stat(name.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // access time: untouched
  times[1].tv_sec = static_cast<std::time_t>(when);
  times[1].tv_nsec = 0;
  return utimensat(AT_FDCWD, name.c_str(), times, 0) == 0;
}

}  // namespace tarnwick::platform

#endif  // !_WIN32
