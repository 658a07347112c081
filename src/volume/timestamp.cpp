#include "volume/timestamp.h"

namespace tarnwick {

namespace {

uint32_t stamp_value(std::span<const uint8_t, 4> s) {
  return (uint32_t{s[0]} << 24) | (uint32_t{s[1]} << 16) | (uint32_t{s[2]} << 8) | s[3];
}

// Tens and units of a field whose tens digit is `tens_bits` wide, at `shift`.
int bcd_field(uint32_t t, int shift, int tens_bits) {
  const uint32_t units = (t >> shift) & 0xF;
  const uint32_t tens = (t >> (shift + 4)) & ((1u << tens_bits) - 1);
  return static_cast<int>(tens * 10 + units);
}

}  // namespace

TimeStamp encode_time_stamp(const HostTime& t) {
  // Unsigned arithmetic keeps wild values defined; the bytes then hold
  // whatever the packing formula gives, as the machine's own code does. The
  // year alone is brought into 0-99 first, also for years before year 0
  // (whose remainder in C++ is negative), so that it always gives a pair of
  // decimal digits.
  const uint32_t year = static_cast<uint32_t>((t.year % 100 + 100) % 100);
  const uint32_t month = static_cast<uint32_t>(t.month);
  const uint32_t day = static_cast<uint32_t>(t.day);
  const uint32_t hour = static_cast<uint32_t>(t.hour);
  const uint32_t minute = static_cast<uint32_t>(t.minute);
  TimeStamp s;
  s[0] = static_cast<uint8_t>((year / 10) * 16 + year % 10);
  s[1] = static_cast<uint8_t>((month / 10) * 128 + (month % 10) * 8 + (day / 10) * 2 + (day % 10) / 8);
  s[2] = static_cast<uint8_t>(((day % 10) % 8) * 32 + (hour / 10) * 8 + (hour % 10) / 2);
  s[3] = static_cast<uint8_t>(((hour % 10) % 2) * 128 + (minute / 10) * 16 + minute % 10);
  return s;
}

HostTime decode_time_stamp(std::span<const uint8_t, 4> stamp) {
  const uint32_t t = stamp_value(stamp);
  HostTime h;
  const int year = bcd_field(t, 24, 4);
  h.year = year < 85 ? 2000 + year : 1900 + year;
  h.month = bcd_field(t, 19, 1);
  h.day = bcd_field(t, 13, 2);
  h.hour = bcd_field(t, 7, 2);
  h.minute = bcd_field(t, 0, 3);
  return h;
}

std::optional<HostTime> stamp_date(std::span<const uint8_t, 4> stamp) {
  const uint32_t t = stamp_value(stamp);
  if (t == 0) return std::nullopt;
  // Every unit digit and the year's tens digit are nibbles of their own.
  for (const int shift : {28, 24, 19, 13, 7, 0}) {
    if (((t >> shift) & 0xF) > 9) return std::nullopt;
  }
  const HostTime h = decode_time_stamp(stamp);
  if (!host_time_is_valid(h)) return std::nullopt;
  return h;
}

StampDisplay display_time_stamp(std::span<const uint8_t, 4> stamp) {
  const uint32_t t = stamp_value(stamp);
  return StampDisplay{t >> 24, (t >> 19) & 0x1F, (t >> 13) & 0x3F, (t >> 7) & 0x3F, t & 0x7F};
}

}  // namespace tarnwick
