#include "operations/delete.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/frontend.h"
#include "operations/volume_report.h"
#include "support/image_builder.h"
#include "support/memory_host.h"
#include "support/message_text.h"

namespace tarnwick {
namespace {

using testing::err_text;
using testing::message_text;
using testing::out_text;

using testing::Bytes;
using testing::pattern;
using testing::VolumeBuilder;

constexpr uint32_t kRoot = kRootDirectoryRecord;

// Only the system record and the entry's mode byte (now 0) may differ.
void expect_only_bitmap_and_mode_changed(const Bytes& before, const Bytes& after, EntryRef e) {
  ASSERT_EQ(before.size(), after.size());
  for (size_t at = 0; at < before.size(); ++at) {
    if (at / kRecordSize == kSystemRecord || at == e.offset) continue;
    ASSERT_EQ(before[at], after[at]) << "byte " << at;
  }
  EXPECT_EQ(after[e.offset], 0);
}

// The blocks released, as verbose mode reports them.
int release_lines(const std::string& out) {
  int n = 0;
  for (size_t at = out.find("Free record"); at != std::string::npos; at = out.find("Free record", at + 1)) ++n;
  return n;
}

std::optional<EntryRef> delete_at(Volume& vol, Report& con, const std::string& path) {
  const PathResult target = resolve_path(vol, con, path);
  VolumeEdit edit(vol, alloc_trace(con));
  if (!delete_file(edit, con, target)) return std::nullopt;
  return target.entry;
}

struct Deletion {
  std::optional<EntryRef> result;
  Report con{true};
};

Deletion delete_verbose(Volume& vol, const std::string& path) {
  Deletion d;
  d.result = delete_at(vol, d.con, path);
  return d;
}

TEST(DeleteFileTest, ContiguousFilesReleaseOneRecordPerBegun256Bytes) {
  for (const uint16_t size : {0x300, 0x301}) {
    VolumeBuilder b(0x130, 1);
    for (uint32_t blk = 0x120; blk < 0x124; ++blk) b.mark_block(blk);
    const EntryRef e = b.add_entry(kRoot, mode::kObj, "PROG", size, 0x120);
    const Bytes before = b.bytes();
    const unsigned used = b.volume().sys16(sys::kUsedBlocks);

    const Deletion d = delete_verbose(b.volume(), "PROG");
    ASSERT_EQ(d.result, e);
    Console x;
    x.out(msg::kFileTrace, "PROG");
    x.out(msg::kFileFound, "PROG");
    for (unsigned k = 0; k < (size == 0x300 ? 3u : 4u); ++k) x.out(msg::kReleaseTrace, 0x120 + k, 0x120 + k, used - k - 1);
    EXPECT_EQ(out_text(d.con), x.out_text()) << size;
    EXPECT_EQ(err_text(d.con), "");
    expect_only_bitmap_and_mode_changed(before, b.bytes(), e);
  }
}

TEST(DeleteFileTest, ReleasesEachBlockOnceWithSeveralRecordsPerBlock) {
  VolumeBuilder b(0x50, 4);
  b.mark_block(0x48);
  b.mark_block(0x49);
  b.add_entry(kRoot, mode::kBtx, "TEXT", 0x800, 0x120);
  const int used = b.volume().sys16(sys::kUsedBlocks);
  const Deletion d = delete_verbose(b.volume(), "TEXT");
  ASSERT_TRUE(d.result);
  EXPECT_EQ(release_lines(out_text(d.con)), 2);
  EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), used - 2);

  // A file of size 0 holds the one block its allocation gave it.
  VolumeBuilder z(40, 4);
  z.add_contiguous(kRoot, "EMPTY", {});
  Report con;
  ASSERT_TRUE(delete_at(z.volume(), con, "EMPTY"));
  EXPECT_EQ(z.volume().sys16(sys::kUsedBlocks), 6);
}

TEST(DeleteFileTest, ChainedFilesReleaseEveryRecordOfTheChain) {
  VolumeBuilder b(64, 1);
  b.add_contiguous(kRoot, "KEEP", pattern(10));
  b.add_bsd(kRoot, "DATA", pattern(600));  // three records, one block each
  const Deletion d = delete_verbose(b.volume(), "DATA");
  ASSERT_TRUE(d.result);
  EXPECT_EQ(release_lines(out_text(d.con)), 3);
  EXPECT_EQ(b.volume().sys8(sys::kBitmap), 0x01);  // KEEP's block only

  // Start record 0: nothing to release, the entry is freed all the same.
  VolumeBuilder z(40, 1);
  const EntryRef e = z.add_entry(kRoot, mode::kBsd, "NONE", 100, 0);
  const Bytes before = z.bytes();
  const Deletion dz = delete_verbose(z.volume(), "NONE");
  ASSERT_EQ(dz.result, e);
  EXPECT_EQ(release_lines(out_text(dz.con)) + err_text(dz.con).size(), 0u);
  expect_only_bitmap_and_mode_changed(before, z.bytes(), e);
  EXPECT_EQ(z.volume().system_record()[sys::kUsedBlocks], 24);
}

TEST(DeleteFileTest, DamagedChainsAndIndexesAreReleasedAsFarAsTheyAreValid) {
  // The second of three chain records links back to the first, past the
  // volume or into the reserved records.
  for (const uint16_t bad_link : {0, 0xFFFF, 0x10}) {
    VolumeBuilder b(64, 1);
    const EntryRef e = b.add_bsd(kRoot, "DATA", pattern(600));
    const uint32_t first = b.volume().start_record(e);
    const uint32_t second = b.volume().le16(first * kRecordSize + kChainLink);
    b.volume().put16(second * kRecordSize + kChainLink, bad_link ? bad_link : static_cast<uint16_t>(first));
    const Deletion d = delete_verbose(b.volume(), "DATA");
    ASSERT_EQ(d.result, e) << bad_link;
    EXPECT_EQ(release_lines(out_text(d.con)), 2) << bad_link;
    EXPECT_EQ(err_text(d.con), message_text(msg::kDataDamaged, "DATA")) << bad_link;
    EXPECT_EQ(b.volume().mode(e), 0);
  }
  // Run 1 of an index past the volume: the index and run 0 are released.
  VolumeBuilder b(100, 1);
  const EntryRef e = b.add_brd(kRoot, "RAND", pattern(2 * 4096));
  b.volume().put16(b.volume().start_record(e) * kRecordSize + 2, 0xFFF8);
  const Deletion d = delete_verbose(b.volume(), "RAND");
  ASSERT_TRUE(d.result);
  EXPECT_EQ(release_lines(out_text(d.con)), 1 + 16);
  EXPECT_EQ(err_text(d.con), message_text(msg::kDataDamaged, "RAND"));
}

TEST(DeleteFileTest, IndexedFilesReleaseTheIndexAndEveryRun) {
  VolumeBuilder b(100, 1);
  b.add_brd(kRoot, "RAND", pattern(3 * 4096));
  const Deletion d = delete_verbose(b.volume(), "RAND");
  ASSERT_TRUE(d.result);
  EXPECT_EQ(release_lines(out_text(d.con)), 1 + 3 * 16);
  EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), 24);

  // A full index has no terminator: 128 runs and no more.
  VolumeBuilder full(2 + 1 + 128 + 1, 16);
  full.add_brd(kRoot, "BIG", pattern(128 * 4096));
  full.add_contiguous(kRoot, "NEXT", pattern(10));  // right after the last run
  const Deletion df = delete_verbose(full.volume(), "BIG");
  ASSERT_TRUE(df.result);
  EXPECT_EQ(release_lines(out_text(df.con)), 1 + 128);
  EXPECT_EQ(full.volume().sys16(sys::kUsedBlocks), 2 + 1);
}

TEST(DeleteFileTest, RefusesDirectoriesAndUnknownLayoutsChangingNothing) {
  VolumeBuilder b(64, 1);
  b.add_directory(kRoot, "SUB");
  b.add_other(kRoot, "RB", mode::kRb);
  b.add_other(kRoot, "ODD", 0x2A);
  const Bytes before = b.bytes();
  const struct {
    const char* path;
    std::string err;
  } cases[] = {{"SUB", message_text(msg::kIsDirectory, "SUB")},
               {"RB", message_text(msg::kUnsupportedMode, 0x05u)},
               {"ODD", message_text(msg::kUnsupportedMode, 0x2Au)}};
  for (const auto& c : cases) {
    Report con;
    EXPECT_FALSE(delete_at(b.volume(), con, c.path)) << c.path;
    EXPECT_EQ(err_text(con), c.err) << c.path;
    EXPECT_EQ(b.bytes(), before) << c.path;
  }
  EXPECT_NE(message_text(msg::kUnsupportedMode, 0x05u).find("(05)"), std::string::npos);
}

TEST(DeleteFileTest, FindsFilesInSubdirectoriesAndKeepsTheOldEntryBytes) {
  VolumeBuilder b(64, 1);
  const uint32_t sub = b.add_directory(kRoot, "GAMES");
  const EntryRef e = b.add_contiguous(sub, "HELLO", pattern(300), mode::kObj, {0x1200, 0x1203});
  const Bytes before = b.bytes();
  Report con;
  ASSERT_EQ(delete_at(b.volume(), con, "GAMES/HELLO"), e);
  expect_only_bitmap_and_mode_changed(before, b.bytes(), e);
  EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), 24 + 8);  // the directory's blocks remain
}

TEST(DeleteFileTest, NameWithoutUsedEntryChangesNothing) {
  VolumeBuilder b(64, 1);
  for (const char* n : {"A", "B", "C"}) b.add_contiguous(kRoot, n, pattern(1));
  Report con;
  ASSERT_TRUE(delete_at(b.volume(), con, "B"));
  const Bytes before = b.bytes();
  // B's freed entry still bears the name but is not a used entry.
  EXPECT_FALSE(delete_at(b.volume(), con, "B"));
  EXPECT_EQ(b.bytes(), before);
  VolumeBuilder full(64, 1);
  for (int i = 1; i < kEntriesPerDirectory; ++i) full.add_entry(kRoot, mode::kObj, "F", 0, 0);
  EXPECT_FALSE(delete_at(full.volume(), con, "NONE"));
  EXPECT_EQ(err_text(con), "");
}

TEST(CommandDeleteTest, ReportsAMissingPathAndDeletesAFoundOne) {
  VolumeBuilder b(64, 1);
  b.add_contiguous(kRoot, "PROG", pattern(700));
  const Bytes before = b.bytes();
  Report con;
  EXPECT_FALSE(delete_path(b.volume(), con, "prog"));
  EXPECT_EQ(err_text(con), message_text(msg::kPathNotFound, "prog"));
  EXPECT_EQ(b.bytes(), before);

  Report verbose(true);
  EXPECT_TRUE(delete_path(b.volume(), verbose, "PROG"));
  Console x;  // the lookup and the deletion each trace the file
  for (int twice = 0; twice < 2; ++twice) {
    x.out(msg::kFileTrace, "PROG");
    x.out(msg::kFileFound, "PROG");
  }
  for (unsigned k = 0; k < 3; ++k) x.out(msg::kReleaseTrace, 24 + k, 24 + k, 26 - k);
  EXPECT_EQ(out_text(verbose), x.out_text());
  EXPECT_EQ(err_text(verbose), "");
}

TEST(CommandDeleteTest, NoConfirmationAfterAFailedSave) {
  VolumeBuilder b(64, 1);
  b.add_contiguous(kRoot, "PROG", pattern(700));
  const Bytes image = testing::make_hdd_image(b.take());
  for (const bool fail_sync : {false, true}) {
    testing::MemoryHost host;
    host.files["disk.hdd"] = image;
    host.fault_name = "disk.hdd";
    host.fail_sync = fail_sync;
    if (!fail_sync) host.write_budget = 0;
    Console con;
    const char* argv[] = {"tarnwick", "D", "disk.hdd", "1", "PROG"};
    EXPECT_EQ(run_tarnwick(5, argv, con, host), 1);
    Console x;
    x.out(msg::kIsHddImage, "disk.hdd");
    x.out(msg::kDone);
    EXPECT_EQ(con.out_text(), x.out_text()) << fail_sync;
    EXPECT_EQ(con.err_text(), message_text(msg::kWriteFailedBecause, "disk.hdd", "Input/output error")) << fail_sync;
  }
}

}  // namespace
}  // namespace tarnwick
