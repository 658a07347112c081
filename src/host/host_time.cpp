#include "host/host_time.h"

namespace tarnwick {

namespace {

bool is_leap_year(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int32_t year, int32_t month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && is_leap_year(year)) return 29;
  return kDays[month - 1];
}

}  // namespace

bool host_time_is_valid(const HostTime& t) {
  if (t.year < 1601 || t.year > 30827) return false;
  if (t.month < 1 || t.month > 12) return false;
  if (t.day < 1 || t.day > days_in_month(t.year, t.month)) return false;
  if (t.hour < 0 || t.hour > 23) return false;
  if (t.minute < 0 || t.minute > 59) return false;
  return true;
}

}  // namespace tarnwick
