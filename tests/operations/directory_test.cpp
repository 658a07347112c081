#include "operations/directory.h"

#include <gtest/gtest.h>

#include <string>

#include "operations/check.h"
#include "operations/volume_report.h"
#include "support/image_builder.h"
#include "support/message_text.h"
#include "volume/path.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::err_text;
using testing::message_text;
using testing::pattern;
using testing::VolumeBuilder;

constexpr uint32_t kRoot = kRootDirectoryRecord;
const HostTime kNow{2026, 12, 7, 9, 30};

// A volume with a file, a subdirectory with a file, an empty subdirectory
// and a full one.
VolumeBuilder sample(bool with_full = true) {
  VolumeBuilder b(24 + 60, 1);
  b.add_contiguous(kRoot, "FILE", pattern(300));
  const uint32_t games = b.add_directory(kRoot, "GAMES");
  b.add_contiguous(games, "WAR", pattern(10));
  b.add_directory(kRoot, "EMPTY");
  if (!with_full) return b;
  const uint32_t full = b.add_directory(kRoot, "FULL");
  for (int i = 3; i < kEntriesPerDirectory; ++i) b.add_entry(full, mode::kRb, "F", 0, 0);
  return b;
}

// M (at kNow) and K on a volume.
bool run_directory_command(char command, Volume& vol, Report& con, const std::string& path) {
  return command == 'M' ? make_directory(vol, con, path, kNow) : remove_directory(vol, con, path);
}

TEST(DirectoryTest, RefusalsNameThePathAndChangeNothing) {
  const std::string sixteen = "ABCDEFGHIJKLMNOP";
  const struct {
    char command;
    std::string path;
    std::string err;
  } cases[] = {
      {'M', "FILE", message_text(msg::kAlreadyExists, "FILE")},
      {'M', "GAMES", message_text(msg::kAlreadyExists, "GAMES")},
      {'M', "GAMES/..", message_text(msg::kAlreadyExists, "GAMES/..")},
      {'M', "NODIR/NEW", message_text(msg::kDirectoryNotFound, "NODIR/NEW")},
      {'M', "FILE/NEW", message_text(msg::kDirectoryNotFound, "FILE/NEW")},
      {'M', sixteen + "Q", message_text(msg::kNameTooLong, (sixteen + "Q").c_str())},
      {'M', "GAMES/", message_text(msg::kNoFileName)},
      {'M', "FULL/NEW", message_text(msg::kDirectoryFull) + message_text(msg::kDirectoryFullNamed, "FULL")},
      {'K', "", message_text(msg::kCannotDelete, "")},
      {'K', "/", message_text(msg::kCannotDelete, "/")},
      {'K', "GAMES/.", message_text(msg::kCannotDelete, "GAMES/.")},
      {'K', "GAMES", message_text(msg::kDirectoryNotEmpty, "GAMES")},
      {'K', "FILE", message_text(msg::kNotADirectory, "FILE")},
      {'K', "NONE", message_text(msg::kPathNotFound, "NONE")},
      {'K', "NODIR/X", message_text(msg::kDirectoryNotFound, "NODIR/X")},
  };
  for (const auto& c : cases) {
    VolumeBuilder b = sample();
    const Bytes before = b.bytes();
    Report con;
    const bool changed = run_directory_command(c.command, b.volume(), con, c.path);
    EXPECT_FALSE(changed) << c.command << " " << c.path;
    EXPECT_EQ(err_text(con), c.err) << c.command << " " << c.path;
    EXPECT_EQ(b.bytes(), before) << c.command << " " << c.path;
  }
  // No room for 2,048 bytes.
  VolumeBuilder tight(24 + 4, 1);
  Report con;
  EXPECT_FALSE(run_directory_command('M', tight.volume(), con, "NEW"));
  EXPECT_EQ(err_text(con), message_text(msg::kNoSpace) + message_text(msg::kSpaceNeeded, "NEW", 2048u, 1024u));
}

TEST(DirectoryTest, MakesADirectoryTheCheckPassesAndRemovesItAgain) {
  VolumeBuilder b = sample(false);
  const Bytes before = b.bytes();
  Volume& v = b.volume();
  Report con;
  ASSERT_TRUE(run_directory_command('M', v, con, "GAMES/NEW"));
  const std::optional<EntryRef> e = testing::find_entry(v, "GAMES/NEW");
  ASSERT_TRUE(e);
  const uint32_t start = v.start_record(*e);
  const uint32_t games = v.start_record(*testing::find_entry(v, "GAMES"));
  const TimeStamp stamp = encode_time_stamp(kNow);
  // The parent's entry: mode, name and fill, attribute, zeros, stamp, start.
  Bytes want{mode::kDir, 'N', 'E', 'W'};
  want.resize(18, kNameEnd);
  want.insert(want.end(), {0x80, 0, 0, 0, 0, 0, 0, 0});
  want.insert(want.end(), stamp.begin(), stamp.end());
  want.insert(want.end(), {static_cast<uint8_t>(start), static_cast<uint8_t>(start >> 8)});
  const auto entry = v.bytes(e->offset, kEntrySize);
  EXPECT_EQ(Bytes(entry.begin(), entry.end()), want);
  // Its records: the header, "." and "..", blank entries.
  EXPECT_EQ(v.u8(uint64_t{start} * kRecordSize), kDirectoryNormal);
  EXPECT_EQ(v.start_record(Volume::entry_at(start, 1)), start);
  EXPECT_EQ(v.start_record(Volume::entry_at(start, 2)), games);
  EXPECT_EQ(entry_name_text(v, Volume::entry_at(start, 2)), "..");
  EXPECT_EQ(v.time_stamp(Volume::entry_at(start, 2)), stamp);
  for (int i = 3; i < kEntriesPerDirectory; ++i) {
    const EntryRef blank = Volume::entry_at(start, i);
    EXPECT_EQ(v.mode(blank), mode::kFree);
    EXPECT_EQ(v.u8(blank.offset + 16), kNameEnd);
    EXPECT_EQ(v.u8(blank.offset + 17), 0);
  }
  const CheckReport check = sanity_check(v);
  ASSERT_TRUE(check.walked);
  EXPECT_TRUE(check.lines.empty());

  ASSERT_TRUE(run_directory_command('K', v, con, "GAMES/NEW"));
  EXPECT_EQ(err_text(con), "");
  // The blocks are free again and the entry is free.
  EXPECT_EQ(v.sys16(sys::kUsedBlocks), load16(before.data() + Volume::kSystemOffset + sys::kUsedBlocks));
  EXPECT_EQ(v.mode(*e), mode::kFree);
  EXPECT_FALSE(testing::find_entry(v, "GAMES/NEW"));
}

}  // namespace
}  // namespace tarnwick
