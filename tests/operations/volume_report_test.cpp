#include "operations/volume_report.h"

#include <gtest/gtest.h>

#include <string>

#include "support/image_builder.h"
#include "support/message_text.h"

namespace tarnwick {
namespace {

using testing::message_text;
using testing::pattern;
using testing::VolumeBuilder;

constexpr uint32_t kRoot = kRootDirectoryRecord;

// Only a directory on the way that is not there is reported, once per walk;
// a path that ends short or holds an over-long name says nothing here.
TEST(VolumeReportTest, AWalkReportsOnlyAMissingDirectory) {
  VolumeBuilder b(400);
  const uint32_t dir1 = b.add_directory(kRoot, "DIR1");
  b.add_contiguous(dir1, "NAME", pattern(10));
  b.add_contiguous(kRoot, "PROG", pattern(10));
  const struct {
    const char* path;
    std::string err;
  } cases[] = {
      {"DIR1/SUB/X", message_text(msg::kDirectoryNotFound, "SUB")},
      {"PROG/X", message_text(msg::kDirectoryNotFound, "PROG")},
      {"dir1/", message_text(msg::kDirectoryNotFound, "dir1")},
      {"DIR1/NAME", ""},
      {"DIR1/", ""},
      {"DIR1///NAME", ""},
      {"ABCDEFGHIJKLMNOPQ", ""},
  };
  for (const auto& c : cases) {
    Report con;
    resolve_path(b.volume(), con, c.path);
    EXPECT_EQ(testing::err_text(con), c.err) << c.path;
    EXPECT_EQ(testing::out_text(con), "") << c.path;
  }
}

// A resolution with its report and verbose traces, as the commands make it.
std::optional<EntryRef> find_entry(const Volume& vol, Report& con, const std::string& path) {
  const PathResult r = resolve_path(vol, con, path);
  trace_lookup(con, r);
  return r.entry;
}

TEST(VolumeReportTest, VerboseFindTracesTheNameAndTheHit) {
  VolumeBuilder b(400);
  const uint32_t dir1 = b.add_directory(kRoot, "DIR1");
  b.add_contiguous(dir1, "NAME", pattern(10));
  Report quiet;
  EXPECT_TRUE(find_entry(b.volume(), quiet, "DIR1/NAME"));
  EXPECT_EQ(testing::out_text(quiet), "");  // traces only in verbose mode
  Report con(true);
  EXPECT_TRUE(find_entry(b.volume(), con, "DIR1/NAME"));
  EXPECT_FALSE(find_entry(b.volume(), con, "DIR1/NONE"));
  EXPECT_FALSE(find_entry(b.volume(), con, "DIR1/"));
  EXPECT_EQ(testing::out_text(con), message_text(msg::kFileTrace, "NAME") + message_text(msg::kFileFound, "NAME") +
                                message_text(msg::kFileTrace, "NONE"));
  EXPECT_EQ(testing::out_text(con), "FILE: NAME\nFile 'NAME' found.\nFILE: NONE\n");
}

TEST(VolumeReportTest, AllocationStepsBecomeVerboseTraces) {
  VolumeBuilder b(40, 4, 6);
  b.mark_block(6);
  b.mark_block(8);  // bitmap byte 0 = 0x05
  Report quiet;
  EXPECT_FALSE(alloc_trace(quiet));  // nothing to call outside verbose mode

  Report con(true);
  VolumeEdit edit(b.volume(), alloc_trace(con));
  ASSERT_EQ(edit.claim(2048), 36u);
  const EntryRef e = Volume::entry_at(kRoot, 1);
  edit.write_entry(e, NewEntry{mode::kObj, "F", sized_fields(1), 36, {}});
  edit.remove_entry(e);
  Console x;
  x.out(msg::kAllocBlocks, 2);
  x.out(msg::kAllocDataBlocks, 34);
  x.out(msg::kAllocScan, 0x01u, 0x05u, 0);
  x.out(msg::kAllocScan, 0x02u, 0x05u, 0);
  x.out(msg::kAllocScan, 0x04u, 0x05u, 1);
  x.out(msg::kAllocScan, 0x08u, 0x05u, 0);
  x.out(msg::kAllocScan, 0x10u, 0x05u, 1);
  x.out(msg::kAllocReserve, 9);
  x.out(msg::kAllocReserve, 10);
  x.out(msg::kReleaseTrace, 36u, 9u, 9u);
  EXPECT_EQ(testing::out_text(con), x.out_text());
  EXPECT_EQ(testing::err_text(con), "");
}

}  // namespace
}  // namespace tarnwick
