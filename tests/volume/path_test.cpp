#include "volume/path.h"

#include <gtest/gtest.h>

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
  Resolution last_;
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

TEST(NextPathComponentTest, SplitsSkipsOneSlashAndRejectsEmptyOrLong) {
  struct Step {
    ComponentStatus status;
    std::string component;
  };
  auto split = [](std::string_view path) {
    std::vector<Step> steps;
    size_t cursor = 0;
    std::string c;
    for (;;) {
      const ComponentStatus s = next_path_component(path, cursor, c);
      steps.push_back({s, c});
      if (s != ComponentStatus::kMore) return steps;
    }
  };
  auto statuses = [&](std::string_view path) {
    std::string out;
    for (const Step& s : split(path)) {
      out += std::to_string(static_cast<int>(s.status));
      // A component is given only with statuses 1 and 0.
      out += s.status == ComponentStatus::kInvalid ? " " : ":" + s.component + " ";
    }
    return out;
  };
  EXPECT_EQ(statuses(""), "-1 ");
  EXPECT_EQ(statuses("/"), "-1 ");
  EXPECT_EQ(statuses("NAME"), "0:NAME ");
  EXPECT_EQ(statuses("/NAME"), "0:NAME ");
  EXPECT_EQ(statuses("A/B/"), "1:A 1:B -1 ");
  EXPECT_EQ(statuses("A//B"), "1:A 0:B ");
  EXPECT_EQ(statuses("A///B"), "1:A -1 ");
  EXPECT_EQ(statuses(kSixteen), "0:" + kSixteen + " ");
  EXPECT_EQ(statuses(kSixteen + "/X"), "1:" + kSixteen + " 0:X ");
  EXPECT_EQ(statuses(kSixteen + "Q"), "-1 ");
  EXPECT_EQ(statuses(kSixteen + "Q/X"), "-1 ");
}

TEST_F(PathTest, NameMatchesExactlyAndCaseSensitively) {
  const EntryRef abc = *find_entry(vol(), "ABC");
  EXPECT_TRUE(name_matches(vol(), "ABC", abc));
  EXPECT_FALSE(name_matches(vol(), "abc", abc));
  EXPECT_FALSE(name_matches(vol(), "AB", abc));
  EXPECT_FALSE(name_matches(vol(), "ABCD", abc));
  EXPECT_FALSE(name_matches(vol(), "", abc));
  EXPECT_TRUE(name_matches(vol(), kSixteen, sixteen_));
  // A name field without its 0x0D matches nothing, not even its 16 bytes.
  vol().set_field8(sixteen_, entry::kName + 16, 'Q');
  EXPECT_FALSE(name_matches(vol(), kSixteen, sixteen_));
  EXPECT_FALSE(find_entry(vol(), kSixteen));
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
  EXPECT_EQ(resolve_path(vol(), "DIR1/").failure, ResolveFailure::kEmptyLast);
}

TEST_F(PathTest, FindsNamesInTheRootAndInSubdirectories) {
  EXPECT_EQ(find_entry(vol(), "NAME"), root_name_);
  EXPECT_EQ(find_entry(vol(), "/NAME"), root_name_);
  EXPECT_EQ(find_entry(vol(), "DIR1/NAME"), dir1_name_);
  EXPECT_EQ(find_entry(vol(), "/DIR1/NAME"), dir1_name_);
  EXPECT_EQ(find_entry(vol(), "DIR1//NAME"), dir1_name_);
  EXPECT_EQ(lookup_path(vol(), "DIR1//NAME").resolution.directory, dir1_);
  // "." and ".." are ordinary DIR entries.
  EXPECT_EQ(find_entry(vol(), "DIR1/INNER/../NAME"), dir1_name_);
  EXPECT_EQ(find_entry(vol(), "DIR1/../NAME"), root_name_);
  EXPECT_EQ(find_entry(vol(), "DIR1/./././NAME"), dir1_name_);
  EXPECT_EQ(find_entry(vol(), kSixteen), sixteen_);
  // A directory is an entry like any other.
  EXPECT_TRUE(find_entry(vol(), "DIR1"));
}

TEST_F(PathTest, InvalidComponentsResolveToNoneAndSayWhy) {
  EXPECT_FALSE(resolve("DIR1///NAME"));
  EXPECT_EQ(last_.directory, dir1_);
  EXPECT_FALSE(resolve(kSixteen + "Q"));
  EXPECT_FALSE(resolve("DIR1/" + kSixteen + "Q/NAME"));
  EXPECT_FALSE(find_entry(vol(), kSixteen + "Q"));
  const Resolution r = resolve_path(vol(), "DIR1/" + kSixteen + "Q");
  EXPECT_EQ(r.failure, ResolveFailure::kTooLongLast);
  EXPECT_EQ(r.bad_component, kSixteen + "Q");
  EXPECT_EQ(resolve_path(vol(), "DIR1///NAME").failure, ResolveFailure::kInvalidMiddle);
}

TEST_F(PathTest, AMissingDirectoryIsNamedAndLeavesTheDeepestDirectoryEntered) {
  const auto missing = [this](std::string_view path) {
    EXPECT_FALSE(resolve(path)) << path;
    EXPECT_EQ(last_.failure, ResolveFailure::kDirectoryMissing) << path;
    return last_.bad_component;
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
  const EntryRef e = *find_entry(vol(), "DIR1");
  // Records 396-403 end past the 400-record volume.
  vol().set_field16(e, entry::kStartRecord, 396);
  EXPECT_FALSE(resolve("DIR1/NAME"));
  EXPECT_EQ(last_.directory, kRoot);
  vol().set_field16(e, entry::kStartRecord, 0xFFFF);
  EXPECT_FALSE(resolve("DIR1/"));
  EXPECT_EQ(last_.directory, kRoot);
  EXPECT_EQ(last_.failure, ResolveFailure::kDirectoryMissing);
  EXPECT_EQ(last_.bad_component, "DIR1");
  // The last 8 records are still inside.
  vol().set_field16(e, entry::kStartRecord, 392);
  vol().put8(392 * kRecordSize, kDirectoryNormal);
  EXPECT_FALSE(resolve("DIR1/"));
  EXPECT_EQ(last_.directory, 392u);
}

TEST_F(PathTest, DeletedEntriesAreNotFound) {
  vol().set_field8(root_name_, entry::kMode, mode::kFree);
  EXPECT_FALSE(find_entry(vol(), "NAME"));
  // A deleted DIR entry is no directory either.
  const EntryRef d = *find_entry(vol(), "DIR1");
  vol().set_field8(d, entry::kMode, mode::kFree);
  EXPECT_FALSE(resolve("DIR1/NAME"));
  EXPECT_EQ(last_.failure, ResolveFailure::kDirectoryMissing);
}

}  // namespace
}  // namespace tarnwick
