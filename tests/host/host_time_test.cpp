// Host file times on real files in several time zones. The expected instants
// are computed without the C library, so a wrong TZ or daylight-saving
// treatment shows as a mismatch.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "host/file.h"
#include "support/civil_time.h"
#include "support/e2e.h"
#include "support/image_builder.h"

namespace tarnwick {
namespace {

using testing::local_instant;
constexpr int64_t kHour = 3600;

// Sets TZ for the life of the guard, then puts the old value back.
class TzGuard {
 public:
  explicit TzGuard(const char* tz) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~TzGuard() {
    saved_ ? setenv("TZ", saved_->c_str(), 1) : unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

void set_times(const std::string& name, int64_t atime, long anano, int64_t mtime, long mnano) {
  struct timespec ts[2] = {{static_cast<time_t>(atime), anano}, {static_cast<time_t>(mtime), mnano}};
  ASSERT_EQ(utimensat(AT_FDCWD, name.c_str(), ts, 0), 0);
}

// The last-write time of a file, read through the open file.
bool read_time(const std::string& name, HostTime& t) {
  const std::unique_ptr<File> f = native_host().open(HostPath::from_argument(name), OpenMode::kRead);
  return f && f->last_write_time(t);
}

bool set_time(const std::string& name, const HostTime& t) {
  return native_host().set_time(HostPath::from_argument(name), t);
}

struct timespec mtime_of(const std::string& name) {
  struct stat st {};
  EXPECT_EQ(stat(name.c_str(), &st), 0);
  return st.st_mtim;
}

struct Zone {
  const char* tz;
  int64_t winter, summer;  // offsets east of UTC in January and in July
};
void PrintTo(const Zone& z, std::ostream* os) { *os << z.tz; }

class HostTimeTest : public ::testing::TestWithParam<Zone> {
 protected:
  TzGuard tz_{GetParam().tz};
  testing::ScratchDir dir_;
  std::string file_ = dir_.file("game.mzt");
  void SetUp() override { testing::write_file(file_, testing::pattern(10)); }
};

TEST_P(HostTimeTest, ReadsAndSetsLocalTimeToTheMinute) {
  const Zone z = GetParam();
  // Reading drops the seconds and below, never rounding up.
  set_times(file_, 0, 0, local_instant(2024, 3, 5, 14, 7, 59, z.winter), 999'999'999);
  HostTime t;
  ASSERT_TRUE(read_time(file_, t));
  EXPECT_EQ(t, (HostTime{2024, 3, 5, 14, 7}));

  // Setting gives the whole minute and leaves the access time alone.
  set_times(file_, 123'456'789, 987'654'321, 0, 0);
  ASSERT_TRUE(set_time(file_, {1998, 12, 31, 23, 59}));
  struct stat st {};
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, local_instant(1998, 12, 31, 23, 59, 0, z.winter));
  EXPECT_EQ(st.st_mtim.tv_nsec, 0);
  EXPECT_EQ(st.st_atim.tv_sec, 123'456'789);
  EXPECT_EQ(st.st_atim.tv_nsec, 987'654'321);
  ASSERT_TRUE(set_time(file_, {2024, 7, 15, 12, 30}));
  EXPECT_EQ(mtime_of(file_).tv_sec, local_instant(2024, 7, 15, 12, 30, 0, z.summer));

  for (const HostTime& want : {HostTime{1985, 1, 1, 0, 0}, HostTime{2000, 2, 29, 12, 0},
                               HostTime{2038, 1, 19, 3, 14}, HostTime{2084, 12, 31, 23, 59}}) {
    ASSERT_TRUE(set_time(file_, want));
    ASSERT_TRUE(read_time(file_, t));
    EXPECT_EQ(t, want);
  }
}

TEST_P(HostTimeTest, MissingFilesAndImpossibleDatesChangeNothing) {
  const std::string missing = dir_.file("missing.mzt");
  EXPECT_FALSE(set_time(missing, {1998, 12, 31, 23, 59}));
  EXPECT_FALSE(std::filesystem::exists(missing));

  set_times(file_, 0, 0, 1'000'000'000, 500);
  for (const HostTime& bad : {HostTime{2000, 0, 0, 0, 0},  // an all-zero time stamp
                              HostTime{2024, 4, 31, 12, 0}, HostTime{2023, 2, 29, 12, 0}, HostTime{2100, 2, 29, 12, 0},
                              HostTime{2024, 13, 1, 0, 0}, HostTime{2024, 1, 32, 0, 0}, HostTime{2024, 1, 1, 24, 0},
                              HostTime{2024, 1, 1, 0, 60}, HostTime{2024, 1, 1, -1, 0}, HostTime{0, 1, 1, 0, 0},
                              HostTime{INT32_MIN, 1, 1, 0, 0}}) {
    EXPECT_FALSE(set_time(file_, bad)) << bad.year << "-" << bad.month << "-" << bad.day;
    EXPECT_EQ(mtime_of(file_).tv_sec, 1'000'000'000);
    EXPECT_EQ(mtime_of(file_).tv_nsec, 500);
  }
  EXPECT_TRUE(set_time(file_, {2024, 2, 29, 0, 0}));
  EXPECT_TRUE(set_time(file_, {2024, 4, 30, 0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Zones, HostTimeTest,
                         ::testing::Values(Zone{"UTC0", 0, 0}, Zone{"JST-9", 9 * kHour, 9 * kHour},
                                           Zone{"CET-1CEST,M3.5.0,M10.5.0/3", 1 * kHour, 2 * kHour},
                                           Zone{"EST5EDT,M3.2.0,M11.1.0", -5 * kHour, -4 * kHour}));

TEST(HostTimeDstTest, AMinuteTheClocksSkipTakesTheZonesReading) {
  TzGuard tz("CET-1CEST,M3.5.0,M10.5.0/3");
  testing::ScratchDir dir;
  const std::string file = dir.file("game.mzt");
  testing::write_file(file, {});
  set_times(file, 0, 0, 1'000'000'000, 0);
  // On 31 March 2024 the clocks went from 02:00 straight to 03:00; 02:30 is
  // read with the offset of the hour before, as 03:30 summer time.
  EXPECT_TRUE(set_time(file, {2024, 3, 31, 2, 30}));
  EXPECT_EQ(mtime_of(file).tv_sec, local_instant(2024, 3, 31, 2, 30, 0, 1 * kHour));
  EXPECT_TRUE(set_time(file, {2024, 3, 31, 3, 0}));
  EXPECT_EQ(mtime_of(file).tv_sec, local_instant(2024, 3, 31, 3, 0, 0, 2 * kHour));
  // On 27 October 02:30 came twice; either instant reads back as 02:30.
  ASSERT_TRUE(set_time(file, {2024, 10, 27, 2, 30}));
  HostTime back;
  ASSERT_TRUE(read_time(file, back));
  EXPECT_EQ(back, (HostTime{2024, 10, 27, 2, 30}));
}

}  // namespace
}  // namespace tarnwick

#endif  // !_WIN32
