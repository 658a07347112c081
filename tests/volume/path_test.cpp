#include "volume/path.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/image_builder.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::pattern;
using testing::VolumeBuilder;

constexpr uint32_t kRoot = kRootDirectoryRecord;
const std::string kSixteen = "ABCDEFGHIJKLMNOP";

// Root: NAME, ABC, PROG (OBJ files), a 16-character name, DIR1 with NAME
// and INNER inside, and OTHER holding its own NAME.
class PathTest : public ::testing::Test {
 protected:
  PathTest() : b_(400) {
    root_name_ = b_.add_contiguous(kRoot, "NAME", pattern(10));
    b_.add_contiguous(kRoot, "ABC", pattern(10));
    b_.add_contiguous(kRoot, "PROG", pattern(10));
    sixteen_ = b_.add_contiguous(kRoot, kSixteen, pattern(10));
    dir1_ = b_.add_directory(kRoot, "DIR1");
    dir1_name_ = b_.add_contiguous(dir1_, "NAME", pattern(10));
    inner_ = b_.add_directory(dir1_, "INNER");
    other_ = b_.add_directory(kRoot, "OTHER");
    b_.add_contiguous(other_, "NAME", pattern(10));
  }

  Volume& vol() { return b_.volume(); }

  // Resolves `path`, keeping the resolution so the tests see where it went.
  std::optional<std::string> resolve(std::string_view path) {
    last_ = resolve_path(vol(), path);
    return last_.name;
  }

  VolumeBuilder b_;
  PathResult last_;
  EntryRef root_name_, sixteen_, dir1_name_;
  uint32_t dir1_ = 0, inner_ = 0, other_ = 0;
};

TEST(EntryNameTextTest, StopsAtTheFirst0x0DOrGivesError) {
  VolumeBuilder b(100);
  Volume& v = b.volume();
  const EntryRef e = b.add_contiguous(kRoot, kSixteen, pattern(1));
  EXPECT_EQ(entry_name_text(v, e), kSixteen);  // 0x0D in byte 17
  v.set_field8(e, entry::kName + 16, 'Q');     // no 0x0D in bytes 1-17
  EXPECT_EQ(entry_name_text(v, e), "<error>");
  v.set_field8(e, entry::kName + 16, kNameEnd);
  v.set_field8(e, entry::kName + 3, kNameEnd);  // the first 0x0D ends it
  EXPECT_EQ(entry_name_text(v, e), "ABC");
  v.set_field8(e, entry::kName, kNameEnd);
  EXPECT_EQ(entry_name_text(v, e), "");
}

// How a path splits into names: one leading '/' skipped, a '/' after each
// name, and a name empty or of 17 characters or more ending the walk; what
// the text says of itself is kept wherever the walk stopped.
TEST_F(PathTest, PathsSplitIntoNamesAndSayWhatStoppedThem) {
  const struct {
    std::string path;
    std::optional<std::string> name;
    PathFault fault;
    uint32_t directory;
    std::optional<std::string> too_long;
  } cases[] = {
      {"", std::nullopt, PathFault::kEmptyLast, kRoot, std::nullopt},
      {"/", std::nullopt, PathFault::kEmptyLast, kRoot, std::nullopt},
      {"NAME", "NAME", PathFault::kNone, kRoot, std::nullopt},
      {"/NAME", "NAME", PathFault::kNone, kRoot, std::nullopt},
      {"DIR1/INNER/", std::nullopt, PathFault::kEmptyLast, inner_, std::nullopt},
      {"DIR1//NAME", "NAME", PathFault::kNone, dir1_, std::nullopt},
      {"DIR1///NAME", std::nullopt, PathFault::kBadName, dir1_, std::nullopt},
      {"//NAME", std::nullopt, PathFault::kBadName, kRoot, std::nullopt},
      {kSixteen, kSixteen, PathFault::kNone, kRoot, std::nullopt},
      {kSixteen + "Q", std::nullopt, PathFault::kBadName, kRoot, kSixteen + "Q"},
      {"DIR1/" + kSixteen + "Q/NAME", std::nullopt, PathFault::kBadName, dir1_, kSixteen + "Q"},
      {"DIR1///" + kSixteen + "Q", std::nullopt, PathFault::kBadName, dir1_, kSixteen + "Q"},
      {"NOSUCH/" + kSixteen + "Q", std::nullopt, PathFault::kDirectoryMissing, kRoot, kSixteen + "Q"},
  };
  for (const auto& c : cases) {
    const PathResult r = resolve_path(vol(), c.path);
    EXPECT_EQ(r.name, c.name) << c.path;
    EXPECT_EQ(r.fault, c.fault) << c.path;
    EXPECT_EQ(r.directory, c.directory) << c.path;
    EXPECT_EQ(r.too_long, c.too_long) << c.path;
    EXPECT_EQ(r.no_file_name, c.path.empty() || c.path.back() == '/') << c.path;
  }
}

TEST_F(PathTest, NameMatchesExactlyAndCaseSensitively) {
  const EntryRef abc = *testing::find_entry(vol(), "ABC");
  EXPECT_TRUE(name_matches(vol(), "ABC", abc));
  EXPECT_FALSE(name_matches(vol(), "abc", abc));
  EXPECT_FALSE(name_matches(vol(), "AB", abc));
  EXPECT_FALSE(name_matches(vol(), "ABCD", abc));
  EXPECT_FALSE(name_matches(vol(), "", abc));
  EXPECT_TRUE(name_matches(vol(), kSixteen, sixteen_));
  // A name field without its 0x0D matches nothing, not even its 16 bytes.
  vol().set_field8(sixteen_, entry::kName + 16, 'Q');
  EXPECT_FALSE(name_matches(vol(), kSixteen, sixteen_));
  EXPECT_FALSE(testing::find_entry(vol(), kSixteen));
}

TEST_F(PathTest, EmptyRootAndTrailingSlashResolveToNoneAndGiveTheDirectoryReached) {
  EXPECT_FALSE(resolve(""));
  EXPECT_EQ(last_.directory, kRoot);
  EXPECT_FALSE(resolve("/"));
  EXPECT_EQ(last_.directory, kRoot);
  EXPECT_FALSE(resolve("DIR1/"));
  EXPECT_EQ(last_.directory, dir1_);
  EXPECT_FALSE(resolve("DIR1/INNER/"));
  EXPECT_EQ(last_.directory, inner_);
  EXPECT_EQ(resolve_path(vol(), "DIR1/").fault, PathFault::kEmptyLast);
}

TEST_F(PathTest, FindsNamesInTheRootAndInSubdirectories) {
  EXPECT_EQ(testing::find_entry(vol(), "NAME"), root_name_);
  EXPECT_EQ(testing::find_entry(vol(), "/NAME"), root_name_);
  EXPECT_EQ(testing::find_entry(vol(), "DIR1/NAME"), dir1_name_);
  EXPECT_EQ(testing::find_entry(vol(), "/DIR1/NAME"), dir1_name_);
  EXPECT_EQ(testing::find_entry(vol(), "DIR1//NAME"), dir1_name_);
  EXPECT_EQ(resolve_path(vol(), "DIR1//NAME").directory, dir1_);
  // "." and ".." are ordinary DIR entries.
  EXPECT_EQ(testing::find_entry(vol(), "DIR1/INNER/../NAME"), dir1_name_);
  EXPECT_EQ(testing::find_entry(vol(), "DIR1/../NAME"), root_name_);
  EXPECT_EQ(testing::find_entry(vol(), "DIR1/./././NAME"), dir1_name_);
  EXPECT_EQ(testing::find_entry(vol(), kSixteen), sixteen_);
  // A directory is an entry like any other.
  EXPECT_TRUE(testing::find_entry(vol(), "DIR1"));
}

TEST_F(PathTest, AMissingDirectoryIsNamedAndLeavesTheDeepestDirectoryEntered) {
  const auto missing = [this](std::string_view path) {
    EXPECT_FALSE(resolve(path)) << path;
    EXPECT_EQ(last_.fault, PathFault::kDirectoryMissing) << path;
    return last_.component;
  };
  EXPECT_EQ(missing("DIR1/SUB/X"), "SUB");
  EXPECT_EQ(last_.directory, dir1_);
  EXPECT_EQ(missing("NOSUCH/"), "NOSUCH");
  EXPECT_EQ(last_.directory, kRoot);
  // A file cannot stand for a directory.
  EXPECT_EQ(missing("PROG/X"), "PROG");
  // Names are case-sensitive on the way down too.
  EXPECT_EQ(missing("dir1/NAME"), "dir1");
}

TEST_F(PathTest, ASubdirectoryWhoseRecordsLieOutsideTheVolumeIsMissing) {
  const EntryRef e = *testing::find_entry(vol(), "DIR1");
  // Records 396-403 end past the 400-record volume.
  vol().set_field16(e, entry::kStartRecord, 396);
  EXPECT_FALSE(resolve("DIR1/NAME"));
  EXPECT_EQ(last_.directory, kRoot);
  vol().set_field16(e, entry::kStartRecord, 0xFFFF);
  EXPECT_FALSE(resolve("DIR1/"));
  EXPECT_EQ(last_.directory, kRoot);
  EXPECT_EQ(last_.fault, PathFault::kDirectoryMissing);
  EXPECT_EQ(last_.component, "DIR1");
  // The last 8 records are still inside.
  vol().set_field16(e, entry::kStartRecord, 392);
  vol().put8(392 * kRecordSize, kDirectoryNormal);
  EXPECT_FALSE(resolve("DIR1/"));
  EXPECT_EQ(last_.directory, 392u);
}

TEST_F(PathTest, DeletedEntriesAreNotFound) {
  vol().set_field8(root_name_, entry::kMode, mode::kFree);
  EXPECT_FALSE(testing::find_entry(vol(), "NAME"));
  // A deleted DIR entry is no directory either.
  const EntryRef d = *testing::find_entry(vol(), "DIR1");
  vol().set_field8(d, entry::kMode, mode::kFree);
  EXPECT_FALSE(resolve("DIR1/NAME"));
  EXPECT_EQ(last_.fault, PathFault::kDirectoryMissing);
}

}  // namespace
}  // namespace tarnwick
