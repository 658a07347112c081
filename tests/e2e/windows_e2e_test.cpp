// What differs when the tool is a Windows program: console line ends, host
// file times going through the Windows time calls, and file identity.
//
// The console case needs the Windows build (run under Wine). The time and
// identity cases run against any build: there they check the Windows calls,
// here the POSIX ones. They need R and W and skip while the binary under test
// does not carry those out yet.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "output/messages.h"
#include "support/e2e.h"
#include "support/image_builder.h"
#include "volume/format.h"
#include "volume/path.h"
#include "volume/timestamp.h"

namespace tarnwick::testing {
namespace {

using std::chrono::days;
using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::seconds;
using std::chrono::sys_days;
using std::chrono::year;

// Seconds since 1970 of a UTC date and time.
int64_t utc(int y, unsigned mo, unsigned d, int h, int mi, int s = 0) {
  const auto t = sys_days{year{y} / mo / d} + hours{h} + minutes{mi} + seconds{s};
  return std::chrono::duration_cast<seconds>(t.time_since_epoch()).count();
}

struct Mtime {
  int64_t sec;
  long nsec;
};

std::optional<Mtime> mtime_of(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return Mtime{static_cast<int64_t>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec};
}

void set_mtime(const std::string& path, int64_t sec) {
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(sec);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

TimeStamp stamp_of(int y, int mo, int d, int h, int mi) { return encode_time_stamp(HostTime{y, mo, d, h, mi}); }

// A ROM image whose root holds the OBJ file HELLO with the given time stamp.
Bytes rom_with_hello(const TimeStamp& stamp) {
  VolumeBuilder b(512, 1);
  FileOptions o;
  o.stamp = stamp;
  o.load_address = 0x1200;
  o.exec_address = 0x1200;
  b.add_contiguous(kRootDirectoryRecord, "HELLO", pattern(300), mode::kObj, o);
  return make_rom_image(b.take());
}

bool hello_extracted(const ToolRun& r) { return r.out.find("File 'HELLO' found.\n") != std::string::npos; }

// Whether the binary under test extracts files yet.
bool extraction_built() {
  ScratchDir dir;
  write_file(dir.file("probe.rom"), rom_with_hello(stamp_of(2001, 2, 3, 4, 5)));
  return hello_extracted(run_tool({"R", "probe.rom", "1", "HELLO", "probe.mzt"}, dir));
}

// Time zones as POSIX TZ texts, which need no time zone database; Wine takes
// its zone from TZ as the C library does. The summer case shows that the
// daylight bias is applied for a date in summer time.
struct ZoneCase {
  const char* tz;
  HostTime local;
  int64_t utc_seconds;  // the same moment in UTC
};

const ZoneCase kZones[] = {
    {"UTC0", {2024, 3, 5, 14, 7}, utc(2024, 3, 5, 14, 7)},
    {"JST-9", {2024, 3, 5, 14, 7}, utc(2024, 3, 5, 5, 7)},
    {"JST-9", {1998, 12, 31, 23, 59}, utc(1998, 12, 31, 14, 59)},
    {"CET-1CEST,M3.5.0,M10.5.0/3", {2023, 7, 14, 10, 20}, utc(2023, 7, 14, 8, 20)},
    {"CET-1CEST,M3.5.0,M10.5.0/3", {2023, 1, 14, 10, 20}, utc(2023, 1, 14, 9, 20)},
};

std::string describe(const ZoneCase& z) {
  const HostTime& t = z.local;
  return std::string(z.tz) + " " + std::to_string(t.year) + "-" + std::to_string(t.month) + "-" +
         std::to_string(t.day) + " " + std::to_string(t.hour) + ":" + std::to_string(t.minute);
}

TEST(WindowsE2eTest, ConsoleLinesEndInCrLf) {
  if (!runs_under_wine()) GTEST_SKIP() << "only a Windows build writes \\r\\n";
  ScratchDir dir;
  RunOptions raw;
  raw.raw = true;

  // The usage text: every line of it, the empty first one included.
  const ToolRun usage = run_tool_with({}, dir, raw);
  std::string expected;
  for (const char* p = msg::kUsage.bytes; *p; ++p) {
    if (*p == '\n') expected += '\r';
    expected += *p;
  }
  EXPECT_EQ(usage.out, expected);

  // A run that loads an image: the container line and the closing line.
  write_file(dir.file("disk.rom"), rom_with_hello(stamp_of(2001, 2, 3, 4, 5)));
  const ToolRun listed = run_tool_with({"L", "disk.rom"}, dir, raw);
  ASSERT_FALSE(listed.out.empty());
  EXPECT_EQ(listed.out.find("disk.rom is ROM image\r\n"), 0u) << listed.out;
  EXPECT_TRUE(listed.out.ends_with("\r\n"));
  for (size_t i = listed.out.find('\n'); i != std::string::npos; i = listed.out.find('\n', i + 1)) {
    ASSERT_GT(i, 0u);
    EXPECT_EQ(listed.out[i - 1], '\r') << "bare \\n at byte " << i;
  }

  // Standard error is a text stream too.
  const ToolRun missing = run_tool_with({"L", "missing.hdd"}, dir, raw);
  ASSERT_FALSE(missing.err.empty());
  EXPECT_TRUE(missing.err.ends_with("\r\n")) << missing.err;
  EXPECT_EQ(missing.err.find('\n'), missing.err.size() - 1);
  std::string done = done_line();  // ends in '\n'
  done.back() = '\r';
  done += '\n';
  EXPECT_EQ(missing.out, done);
}

TEST(WindowsE2eTest, ExtractedFileTakesTheTimeStampInEveryZone) {
  if (!extraction_built()) GTEST_SKIP() << "R is not built yet";
  for (const ZoneCase& z : kZones) {
    SCOPED_TRACE(describe(z));
    ScratchDir dir;
    write_file(dir.file("disk.rom"), rom_with_hello(encode_time_stamp(z.local)));
    const Bytes image = read_file(dir.file("disk.rom"));
    const ToolRun r = run_tool({"R", "disk.rom", "1", "HELLO", "hello.mzt"}, dir, z.tz);
    EXPECT_TRUE(hello_extracted(r)) << r.out << r.err;
    const std::optional<Mtime> m = mtime_of(dir.file("hello.mzt"));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->sec, z.utc_seconds);
    EXPECT_EQ(m->nsec, 0);
    EXPECT_EQ(read_file(dir.file("hello.mzt")).size(), 128u + 300u);
    EXPECT_TRUE(read_file(dir.file("disk.rom")) == image) << "the image changed";
  }
}

// A time stamp that names no real date or time must not reach the host file:
// it keeps the time it got when R created it.
TEST(WindowsE2eTest, ImpossibleTimeStampLeavesTheHostFileTime) {
  if (!extraction_built()) GTEST_SKIP() << "R is not built yet";
  const TimeStamp impossible[] = {
      {0, 0, 0, 0},                  // year 2000, month 0, day 0
      stamp_of(2023, 11, 31, 10, 0),  // 31 November
      stamp_of(2023, 2, 29, 10, 0),   // 29 February of a common year
      stamp_of(2023, 13, 1, 10, 0),
      stamp_of(2023, 5, 5, 24, 0),
      stamp_of(2023, 5, 5, 23, 60),
  };
  for (const TimeStamp& s : impossible) {
    SCOPED_TRACE(::testing::PrintToString(s));
    ScratchDir dir;
    write_file(dir.file("disk.rom"), rom_with_hello(s));
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    const ToolRun r = run_tool({"R", "disk.rom", "1", "HELLO", "hello.mzt"}, dir, "JST-9");
    const int64_t after = static_cast<int64_t>(std::time(nullptr));
    EXPECT_TRUE(hello_extracted(r)) << r.out << r.err;
    const std::optional<Mtime> m = mtime_of(dir.file("hello.mzt"));
    ASSERT_TRUE(m);
    EXPECT_GE(m->sec, before - 2);
    EXPECT_LE(m->sec, after + 2);
  }
  // Leap years are told apart: 29 February 2024 is a date.
  ScratchDir dir;
  write_file(dir.file("disk.rom"), rom_with_hello(stamp_of(2024, 2, 29, 10, 0)));
  run_tool({"R", "disk.rom", "1", "HELLO", "hello.mzt"}, dir, "UTC0");
  const std::optional<Mtime> m = mtime_of(dir.file("hello.mzt"));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->sec, utc(2024, 2, 29, 10, 0));
}

// A local time that the change to summer time skips (on 31 March 2024 the
// clocks went from 02:00 to 03:00 in this zone) still reaches the host file:
// the C library reads it as 03:30 summer time (01:30 UTC), Windows as
// TzSpecificLocalTimeToSystemTime converts it (00:30 UTC under Wine). Either
// is within the hour of the stamp, never the time of the run.
TEST(WindowsE2eTest, AStampInTheSummerTimeGapReachesTheHostFile) {
  if (!extraction_built()) GTEST_SKIP() << "R is not built yet";
  ScratchDir dir;
  write_file(dir.file("disk.rom"), rom_with_hello(stamp_of(2024, 3, 31, 2, 30)));
  const ToolRun r = run_tool({"R", "disk.rom", "1", "HELLO", "hello.mzt"}, dir, "CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_TRUE(hello_extracted(r)) << r.out << r.err;
  const std::optional<Mtime> m = mtime_of(dir.file("hello.mzt"));
  ASSERT_TRUE(m);
  EXPECT_GE(m->sec, utc(2024, 3, 31, 0, 30));
  EXPECT_LE(m->sec, utc(2024, 3, 31, 1, 30));
}

// An MZT file for W: the OBJ header and a body of `size` bytes.
Bytes hello_mzt(uint16_t size) {
  Bytes mzt(128, 0);
  mzt[0] = mode::kObj;
  const std::string name = "HELLO\r";
  std::copy(name.begin(), name.end(), mzt.begin() + 1);
  mzt[18] = static_cast<uint8_t>(size & 0xFF);
  mzt[19] = static_cast<uint8_t>(size >> 8);
  mzt[21] = 0x12;  // load address 0x1200
  mzt[23] = 0x12;  // execution address 0x1200
  const Bytes body = pattern(size, 9);
  mzt.insert(mzt.end(), body.begin(), body.end());
  return mzt;
}

// The time stamp bytes of the root's entry `name` in a ROM image file.
std::optional<TimeStamp> stamp_in_image(const std::string& rom, const std::string& name) {
  const testing::MemoryVolume vol(read_file(rom));
  const std::optional<EntryRef> e = find_in_directory(vol, kRootDirectoryRecord, name);
  if (!e) return std::nullopt;
  return vol.time_stamp(*e);
}

// W takes the MZT file's last-write time, read as local time with the
// seconds cut off (59 seconds do not round up to the next minute).
TEST(WindowsE2eTest, StoredFileTakesTheHostFileTimeInEveryZone) {
  for (const ZoneCase& z : kZones) {
    SCOPED_TRACE(describe(z));
    ScratchDir dir;
    VolumeBuilder b(512, 1);
    write_file(dir.file("disk.rom"), make_rom_image(b.take()));
    const Bytes before = read_file(dir.file("disk.rom"));
    write_file(dir.file("hello.mzt"), hello_mzt(300));
    set_mtime(dir.file("hello.mzt"), z.utc_seconds + 59);
    const ToolRun r = run_tool({"W", "disk.rom", "1", "HELLO", "hello.mzt"}, dir, z.tz);
    // A W that is not built yet stores nothing and says nothing; a built one
    // that fails says why.
    if (read_file(dir.file("disk.rom")) == before && r.err.empty()) GTEST_SKIP() << "W is not built yet";
    const std::optional<TimeStamp> s = stamp_in_image(dir.file("disk.rom"), "HELLO");
    ASSERT_TRUE(s) << r.out << r.err;
    EXPECT_EQ(*s, encode_time_stamp(z.local));
  }
}

// R must never write over the image it reads, whatever name the host file is
// given. Windows finds files whatever the case of their names, and a name
// with bytes beyond ASCII goes through the system's ANSI code page.
TEST(WindowsE2eTest, ExtractionRefusesTheImageUnderAnotherName) {
  if (!extraction_built()) GTEST_SKIP() << "R is not built yet";
  struct Case {
    std::string image;
    std::string host;
    bool wine_only;  // only Windows names files case-insensitively
  };
  // 0xC6 0x92 is U+0192 in UTF-8, which the Windows build sees as the code
  // page byte 0x83, a Shift_JIS lead byte.
  const Case cases[] = {
      {"disk.rom", "./disk.rom", false},
      {"disk.rom", "DISK.ROM", true},
      {"\xC6\x92.rom", "\xC6\x92.rom", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    if (c.wine_only && !runs_under_wine()) continue;
    ScratchDir dir;
    write_file(dir.file(c.image), rom_with_hello(stamp_of(2001, 2, 3, 4, 5)));
    const Bytes image = read_file(dir.file(c.image));
    RunOptions opt;
    opt.env = {{"LC_ALL", "C.UTF-8"}};  // Wine's file names in UTF-8
    const ToolRun r = run_tool_with({"R", c.image, "1", "HELLO", c.host}, dir, opt);
    EXPECT_TRUE(read_file(dir.file(c.image)) == image) << "the image changed\n" << r.out << r.err;
    EXPECT_FALSE(hello_extracted(r));
    EXPECT_FALSE(r.err.empty());
  }
}

}  // namespace
}  // namespace tarnwick::testing
