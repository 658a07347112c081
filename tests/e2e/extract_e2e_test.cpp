// R as a user runs it: the built binary on an image file in a scratch
// folder, the host file's bytes and last-write time checked from outside.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>

#include "output/console.h"
#include "support/civil_time.h"
#include "support/e2e.h"
#include "support/image_builder.h"
#include "support/message_text.h"

namespace tarnwick {
namespace {

using testing::message_text;

namespace fs = std::filesystem;
using testing::Bytes;
using testing::local_instant;
using testing::pattern;
using testing::read_file;
using testing::ToolRun;

constexpr uint32_t kRoot = kRootDirectoryRecord;
constexpr int64_t kHour = 3600;

std::string found(const char* name) { return message_text(msg::kFileTrace, name) + message_text(msg::kFileFound, name); }

testing::FileOptions at(int year, int month, int day, int hour, int minute, uint16_t load = 0, uint16_t exec = 0) {
  testing::FileOptions o;
  o.stamp = encode_time_stamp(HostTime{year, month, day, hour, minute});
  o.load_address = load;
  o.exec_address = exec;
  return o;
}

// The last-write time in seconds; -1 when it has a part below the second.
int64_t mtime_of(const std::string& name) {
  struct stat st {};
  EXPECT_EQ(stat(name.c_str(), &st), 0) << name;
  return st.st_mtim.tv_nsec == 0 ? int64_t{st.st_mtim.tv_sec} : -1;
}

class ExtractE2eTest : public ::testing::Test {
 protected:
  testing::ScratchDir dir_;
  Bytes image_;
  const Bytes obj_ = pattern(3000, 1);
  const Bytes brd_ = pattern(5000, 3);

  void SetUp() override {
    testing::VolumeBuilder b(128, 32, 1);
    b.add_contiguous(kRoot, "WINTER", obj_, mode::kObj, at(1998, 12, 31, 23, 59, 0x1200, 0x1203));
    b.add_contiguous(kRoot, "SUMMER", pattern(10), mode::kBtx, at(2024, 7, 15, 12, 30));
    b.add_bsd(kRoot, "SCORES", pattern(700, 2), at(1988, 2, 29, 8, 5));
    b.add_brd(kRoot, "MAP DATA", brd_, at(2084, 6, 1, 0, 0));
    b.add_directory(kRoot, "GAMES", at(1986, 4, 1, 9, 30));
    image_ = testing::make_hdd_image(b.take());
    testing::write_file(dir_.file("disk.hdd"), image_);
  }

  ToolRun extract(const std::string& path, const std::string& host_file, const std::string& tz = "UTC0",
                  const std::string& command = "R") {
    ToolRun r = testing::run_tool({command, "disk.hdd", "1", path, host_file}, dir_, tz);
    EXPECT_EQ(r.status, testing::status_for(r));
    EXPECT_EQ(read_file(dir_.file("disk.hdd")), image_) << "R changed the image file";
    return r;
  }
  static std::string lines(const std::string& middle = "") {
    return message_text(msg::kIsHddImage, "disk.hdd") + middle + testing::done_line();
  }
};

TEST_F(ExtractE2eTest, FilesComeOutWithTheirTimeInEveryZone) {
  Bytes mzt(128, 0);
  const Bytes head = {1, 'W', 'I', 'N', 'T', 'E', 'R', 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D,
                      0x0D, 0x0D, 0xB8, 0x0B, 0x00, 0x12, 0x03, 0x12};
  std::copy(head.begin(), head.end(), mzt.begin());
  mzt.insert(mzt.end(), obj_.begin(), obj_.end());
  Bytes brd = brd_;
  brd.resize(5024, 0);  // BRD sizes count 32-byte units

  for (const auto& [tz, winter, summer] : {std::tuple{"UTC0", 0 * kHour, 0 * kHour}, {"JST-9", 9 * kHour, 9 * kHour},
                                           {"CET-1CEST,M3.5.0,M10.5.0/3", 1 * kHour, 2 * kHour}}) {
    SCOPED_TRACE(tz);
    testing::write_file(dir_.file("winter.mzt"), pattern(50000));  // an existing file is replaced
    ToolRun r = extract("WINTER", "winter.mzt", tz);
    EXPECT_EQ(r.out, lines(found("WINTER")));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(dir_.file("winter.mzt")), mzt);
    EXPECT_EQ(mtime_of(dir_.file("winter.mzt")), local_instant(1998, 12, 31, 23, 59, 0, winter));

    extract("SUMMER", "summer.mzt", tz);
    EXPECT_EQ(read_file(dir_.file("summer.mzt")).size(), 138u);
    EXPECT_EQ(mtime_of(dir_.file("summer.mzt")), local_instant(2024, 7, 15, 12, 30, 0, summer));

    r = extract("/MAP DATA", "map.dat", tz);
    EXPECT_EQ(r.out, lines(found("MAP DATA")));
    EXPECT_EQ(read_file(dir_.file("map.dat")), brd);
    EXPECT_EQ(mtime_of(dir_.file("map.dat")), local_instant(2084, 6, 1, 0, 0, 0, summer));
  }
}

TEST_F(ExtractE2eTest, AMissingPathCreatesNoHostFileAndADirectoryAnEmptyOne) {
  ToolRun r = extract("GAMES/NOPE", "nope.mzt");
  EXPECT_EQ(r.out, lines());
  EXPECT_EQ(r.err, message_text(msg::kPathNotFound, "GAMES/NOPE"));
  EXPECT_FALSE(fs::exists(dir_.file("nope.mzt")));

  r = extract("GAMES", "games.mzt", "JST-9");
  EXPECT_EQ(r.out, lines(found("GAMES")));
  EXPECT_EQ(r.err, message_text(msg::kIsDirectory, "GAMES"));
  EXPECT_EQ(fs::file_size(dir_.file("games.mzt")), 0u);
  EXPECT_EQ(mtime_of(dir_.file("games.mzt")), local_instant(1986, 4, 1, 9, 30, 0, 9 * kHour));
}

TEST_F(ExtractE2eTest, TheImageFileOrAnUncreatableFileIsRefused) {
  fs::create_hard_link(dir_.file("disk.hdd"), dir_.file("same.hdd"));
  for (const char* name : {"disk.hdd", "./disk.hdd", "same.hdd"}) {
    const ToolRun r = extract("WINTER", name);
    EXPECT_EQ(r.out, lines());
    EXPECT_EQ(r.err, message_text(msg::kCannotWrite, name));
  }
  // The system says why a file cannot be made.
  const ToolRun r = extract("WINTER", "no such folder/x.mzt");
  const std::string reason = testing::runs_under_wine() ? r.err.substr(r.err.rfind(" (") + 2, r.err.size() - r.err.rfind(" (") - 4)
                                                         : std::strerror(ENOENT);
  EXPECT_EQ(r.err, message_text(msg::kCannotWriteBecause, "no such folder/x.mzt", reason.c_str()));
}

TEST_F(ExtractE2eTest, VerboseModePrintsTheFileLinesTwice) {
  const ToolRun r = extract("SCORES", "scores.dat", "UTC0", "vR");
  const std::string twice = found("SCORES") + found("SCORES");
  EXPECT_NE(r.out.find(twice), std::string::npos);
  EXPECT_EQ(r.out.find(found("SCORES") + twice), std::string::npos);
  EXPECT_EQ(read_file(dir_.file("scores.dat")), pattern(700, 2));
}

TEST(ExtractRealDataE2eTest, ABtxFileOfARealRomImage) {
  const fs::path rom = fs::path(TARNWICK_REALDATA) / "SASIROM.BIN";
  if (!fs::exists(rom)) GTEST_SKIP() << "no real data at " << rom;
  testing::ScratchDir dir;
  fs::copy_file(rom, dir.file("sasi.ROM"));
  const Bytes image = read_file(dir.file("sasi.ROM"));
  const ToolRun r = testing::run_tool({"R", "sasi.ROM", "1", "HD FORMAT.m25", "format.mzt"}, dir, "UTC0");
  EXPECT_EQ(r.out, message_text(msg::kIsRomImage, "sasi.ROM") + found("HD FORMAT.m25") + testing::done_line());
  EXPECT_EQ(read_file(dir.file("sasi.ROM")), image);

  // What the file must hold, read straight from its root directory entry.
  const testing::MemoryVolume vol{image};
  std::optional<EntryRef> e;
  for (int i = 1; i < kEntriesPerDirectory && !e; ++i) {
    const EntryRef c = Volume::entry_at(kRoot, i);
    if (vol.mode(c) == mode::kBtx && vol.field8(c, 1) == 'H' && vol.field8(c, 4) == 'F') e = c;
  }
  ASSERT_TRUE(e);
  Bytes want(128, 0);
  for (uint32_t i = 0; i < 18; ++i) want[i] = vol.field8(*e, i);
  for (uint32_t i = 0; i < 6; ++i) want[18 + i] = vol.field8(*e, entry::kSize + i);
  const auto body = vol.bytes(uint64_t{vol.start_record(*e)} * kRecordSize, vol.file_size(*e));
  want.insert(want.end(), body.begin(), body.end());
  EXPECT_EQ(read_file(dir.file("format.mzt")), want);
  EXPECT_EQ(mtime_of(dir.file("format.mzt")), local_instant(2022, 5, 23, 18, 52, 0, 0));
}

}  // namespace
}  // namespace tarnwick
