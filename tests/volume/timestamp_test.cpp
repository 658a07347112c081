#include "volume/timestamp.h"

#include <gtest/gtest.h>

#include <utility>

namespace tarnwick {
namespace {

TimeStamp S(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return {a, b, c, d}; }

TEST(TimeStampTest, EncodesTheDocumentedExamples) {
  EXPECT_EQ(encode_time_stamp({1999, 12, 31, 23, 59}), S(0x99, 0x96, 0x31, 0xD9));
  EXPECT_EQ(encode_time_stamp({2000, 1, 1, 0, 0}), S(0x00, 0x08, 0x20, 0x00));
  EXPECT_EQ(encode_time_stamp({2024, 10, 9, 8, 7}), S(0x24, 0x81, 0x24, 0x07));
  EXPECT_EQ(encode_time_stamp({2004, 1, 5, 6, 7}), S(0x04, 0x08, 0xA3, 0x07));
  EXPECT_EQ(encode_time_stamp({1998, 12, 31, 23, 59}), S(0x98, 0x96, 0x31, 0xD9));
  // A time that could not be read stays all zero.
  EXPECT_EQ(encode_time_stamp({0, 0, 0, 0, 0}), S(0, 0, 0, 0));
}

TEST(TimeStampTest, YearsBeforeYearZeroGiveTwoDecimalDigits) {
  for (const auto& [year, byte] : {std::pair{-1199, 0x01}, {-1, 0x99}, {-100, 0x00}, {-2024, 0x76}}) {
    EXPECT_EQ(encode_time_stamp({year, 1, 1, 0, 0})[0], byte) << year;
  }
}

TEST(TimeStampTest, DecodesWithTheCenturyRule) {
  EXPECT_EQ(decode_time_stamp(S(0x99, 0x96, 0x31, 0xD9)), (HostTime{1999, 12, 31, 23, 59}));
  EXPECT_EQ(decode_time_stamp(S(0x24, 0x81, 0x24, 0x07)), (HostTime{2024, 10, 9, 8, 7}));
  EXPECT_EQ(decode_time_stamp(S(0x84, 0x08, 0x20, 0x00)).year, 2084);
  EXPECT_EQ(decode_time_stamp(S(0x85, 0x08, 0x20, 0x00)).year, 1985);
  EXPECT_EQ(decode_time_stamp(S(0, 0, 0, 0)), (HostTime{2000, 0, 0, 0, 0}));
}

// A stamp names a date only when every digit is one and the calendar has
// the day; a stamp of zeros names none.
TEST(TimeStampTest, TheDateAStampNames) {
  const std::pair<HostTime, bool> cases[] = {
      {{2000, 2, 29, 0, 0}, true},    {{1999, 12, 31, 23, 59}, true}, {{2001, 2, 29, 0, 0}, false},
      {{1999, 4, 31, 0, 0}, false},   {{1999, 13, 1, 0, 0}, false},   {{1999, 0, 1, 0, 0}, false},
      {{1999, 1, 0, 0, 0}, false},    {{1999, 1, 1, 24, 0}, false},   {{1999, 1, 1, 0, 60}, false},
  };
  for (const auto& [t, names] : cases) {
    EXPECT_EQ(stamp_date(encode_time_stamp(t)), names ? std::optional(t) : std::nullopt) << t.month << "/" << t.day;
  }
  EXPECT_EQ(stamp_date(S(0, 0, 0, 0)), std::nullopt);
  EXPECT_EQ(stamp_date(S(0x84, 0x08, 0x20, 0x00)), (HostTime{2084, 1, 1, 0, 0}));
  for (const TimeStamp digit_above_9 : {S(0xA0, 0x08, 0x20, 0), S(0x9A, 0x08, 0x20, 0), S(0x99, 0x58, 0x20, 0),
                                        S(0x99, 0x09, 0x40, 0), S(0x99, 0x08, 0x25, 0), S(0x99, 0x08, 0x20, 0x0A)}) {
    EXPECT_EQ(stamp_date(digit_above_9), std::nullopt);
  }
}

TEST(TimeStampTest, RoundTripsEveryMinuteOfSampleDaysIn1985To2084) {
  for (int year : {1985, 1999, 2000, 2024, 2084}) {
    for (int month = 1; month <= 12; ++month) {
      for (int day : {1, 9, 10, 19, 28, 31}) {
        for (int hour = 0; hour < 24; ++hour) {
          for (int minute = 0; minute < 60; minute += 7) {
            const HostTime t{year, month, day, hour, minute};
            ASSERT_EQ(decode_time_stamp(encode_time_stamp(t)), t);
          }
        }
      }
    }
  }
  EXPECT_EQ(decode_time_stamp(encode_time_stamp({2085, 1, 1, 0, 0})).year, 1985);
}

TEST(TimeStampTest, DisplayShowsRawBitGroups) {
  const StampDisplay d = display_time_stamp(S(0x99, 0x96, 0x31, 0xD9));
  EXPECT_EQ(d.year, 0x99u);
  EXPECT_EQ(d.month, 0x12u);
  EXPECT_EQ(d.day, 0x31u);
  EXPECT_EQ(d.hour, 0x23u);
  EXPECT_EQ(d.minute, 0x59u);
  // Nibbles above 9 are not decoded: they show as hexadecimal letters.
  const StampDisplay f = display_time_stamp(S(0xFF, 0xFF, 0xFF, 0xFF));
  EXPECT_EQ(f.year, 0xFFu);
  EXPECT_EQ(f.month, 0x1Fu);
  EXPECT_EQ(f.day, 0x3Fu);
  EXPECT_EQ(f.hour, 0x3Fu);
  EXPECT_EQ(f.minute, 0x7Fu);
}

}  // namespace
}  // namespace tarnwick
