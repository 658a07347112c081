#include "commands/delete.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/image_builder.h"
#include "support/memory_host.h"
#include "volume/alloc.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::pattern;
using testing::VolumeBuilder;

constexpr uint32_t kSys = Volume::kSystemOffset;

// Offsets at which two images differ.
std::vector<size_t> changed(const Bytes& a, const Bytes& b) {
  std::vector<size_t> d;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] != b[i]) d.push_back(i);
  }
  return d;
}

// Only the system record and the entry's mode byte may change.
void expect_only_bitmap_and_mode_changed(const Bytes& before, const Bytes& after, EntryRef e) {
  for (size_t at : changed(before, after)) {
    EXPECT_TRUE((at >= kSys && at < kSys + kRecordSize) || at == e.offset) << "byte " << at;
  }
  EXPECT_EQ(after[e.offset], 0);
}

// Releases, as verbose mode reports them, counted by line.
int release_lines(const std::string& out) {
  int n = 0;
  for (size_t at = out.find("Free record"); at != std::string::npos; at = out.find("Free record", at + 1)) ++n;
  return n;
}

std::string err_of(const Message& m, const char* arg) {
  Console c;
  c.err(m, arg);
  return c.err_text();
}

struct Deletion {
  std::optional<EntryRef> result;
  Console con;
};

Deletion delete_verbose(Volume& vol, const std::string& path) {
  Deletion d;
  d.con.verbose = true;
  d.result = delete_file(vol, d.con, path);
  return d;
}

TEST(DeleteFileTest, ContiguousFilesReleaseOneRecordPerBegun256Bytes) {
  for (const uint16_t size : {0x300, 0x301}) {
    VolumeBuilder b(0x130, 1);
    for (uint32_t blk = 0x120; blk < 0x124; ++blk) b.mark_block(blk);
    const EntryRef e = b.add_entry(kRootDirectoryRecord, mode::kObj, "PROG", size, 0x120);
    const Bytes before = b.bytes();
    const uint16_t used = b.volume().sys16(sys::kUsedBlocks);

    const Deletion d = delete_verbose(b.volume(), "PROG");
    ASSERT_EQ(d.result, e);
    Console x;
    x.verbose = true;
    x.trace(msg::kFileTrace, "PROG");
    x.trace(msg::kFileFound, "PROG");
    const int records = size == 0x300 ? 3 : 4;
    for (int k = 0; k < records; ++k) {
      x.trace(msg::kReleaseTrace, 0x120u + unsigned(k), 0x120u + unsigned(k), unsigned(used - k - 1));
    }
    EXPECT_EQ(d.con.out_text(), x.out_text()) << size;
    EXPECT_EQ(d.con.err_text(), "");
    // Block 0x123 stays used for the shorter file.
    EXPECT_EQ(b.volume().sys8(sys::kBitmap + (0x123 - 24) / 8) & (1u << ((0x123 - 24) % 8)) ? 1 : 0,
              size == 0x300 ? 1 : 0);
    expect_only_bitmap_and_mode_changed(before, b.bytes(), e);
  }
}

TEST(DeleteFileTest, ReleasesEachBlockOnceWithSeveralRecordsPerBlock) {
  VolumeBuilder b(0x50, 4);
  b.mark_block(0x48);
  b.mark_block(0x49);
  b.add_entry(kRootDirectoryRecord, mode::kBtx, "TEXT", 0x800, 0x120);
  const uint16_t used = b.volume().sys16(sys::kUsedBlocks);
  const Deletion d = delete_verbose(b.volume(), "TEXT");
  ASSERT_TRUE(d.result);
  EXPECT_EQ(release_lines(d.con.out_text()), 2);
  EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), used - 2);
}

TEST(DeleteFileTest, EmptyFileReleasesTheBlockItWasGiven) {
  VolumeBuilder b(40, 4);
  b.add_contiguous(kRootDirectoryRecord, "EMPTY", {});
  ASSERT_EQ(b.volume().sys16(sys::kUsedBlocks), 7);
  Console con;
  ASSERT_TRUE(delete_file(b.volume(), con, "EMPTY"));
  EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), 6);
  EXPECT_EQ(b.volume().sys8(sys::kBitmap), 0);
}

TEST(DeleteFileTest, ChainedFilesReleaseEveryRecordOfTheChain) {
  VolumeBuilder b(64, 1);
  b.add_contiguous(kRootDirectoryRecord, "KEEP", pattern(10));
  b.add_bsd(kRootDirectoryRecord, "DATA", pattern(600));  // three records, one block each
  const Deletion d = delete_verbose(b.volume(), "DATA");
  ASSERT_TRUE(d.result);
  EXPECT_EQ(release_lines(d.con.out_text()), 3);
  EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), 25);
  EXPECT_EQ(b.volume().sys8(sys::kBitmap), 0x01);  // KEEP's block only

  // Start record 0: nothing to release, the entry is freed all the same.
  VolumeBuilder z(40, 1);
  const EntryRef e = z.add_entry(kRootDirectoryRecord, mode::kBsd, "NONE", 100, 0);
  const Bytes before = z.bytes();
  const Deletion dz = delete_verbose(z.volume(), "NONE");
  ASSERT_EQ(dz.result, e);
  EXPECT_EQ(release_lines(dz.con.out_text()), 0);
  EXPECT_EQ(dz.con.err_text(), "");
  EXPECT_EQ(changed(before, z.bytes()), std::vector<size_t>{e.offset});
}

TEST(DeleteFileTest, DamagedChainsAreReleasedAsFarAsTheyAreValid) {
  const struct {
    const char* what;
    uint16_t bad_link;
  } cases[] = {{"loop", 0}, {"past the volume", 0xFFFF}, {"into the reserved records", 0x10}};
  for (const auto& c : cases) {
    VolumeBuilder b(64, 1);
    b.add_bsd(kRootDirectoryRecord, "DATA", pattern(600));
    const uint32_t first = b.volume().start_record(Volume::entry_at(kRootDirectoryRecord, 1));
    const uint32_t second = b.volume().le16(first * kRecordSize + kChainLink);
    // The second record links back to the first, or out of the data blocks.
    b.volume().put16(second * kRecordSize + kChainLink, c.bad_link ? c.bad_link : static_cast<uint16_t>(first));
    const Deletion d = delete_verbose(b.volume(), "DATA");
    ASSERT_TRUE(d.result) << c.what;
    EXPECT_EQ(release_lines(d.con.out_text()), 2) << c.what;
    EXPECT_EQ(d.con.err_text(), err_of(msg::kDataDamaged, "DATA")) << c.what;
    EXPECT_EQ(b.volume().mode(*d.result), 0) << c.what;
    // The third record, no longer reachable, keeps its block.
    EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), 25) << c.what;
  }
}

TEST(DeleteFileTest, IndexedFilesReleaseTheIndexAndEveryRun) {
  VolumeBuilder b(100, 1);
  b.add_brd(kRootDirectoryRecord, "RAND", pattern(3 * 4096));
  ASSERT_EQ(b.volume().sys16(sys::kUsedBlocks), 24 + 1 + 3 * 16);
  const Deletion d = delete_verbose(b.volume(), "RAND");
  ASSERT_TRUE(d.result);
  EXPECT_EQ(release_lines(d.con.out_text()), 1 + 3 * 16);
  EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), 24);

  // A full index has no terminator: 128 runs and no more.
  VolumeBuilder full(2 + 1 + 128 + 2, 16);
  full.add_brd(kRootDirectoryRecord, "BIG", pattern(128 * 4096));
  full.add_contiguous(kRootDirectoryRecord, "NEXT", pattern(10));  // right after the last run
  const Deletion df = delete_verbose(full.volume(), "BIG");
  ASSERT_TRUE(df.result);
  EXPECT_EQ(release_lines(df.con.out_text()), 1 + 128);
  EXPECT_EQ(full.volume().sys16(sys::kUsedBlocks), 2 + 1);
}

TEST(DeleteFileTest, IndexSlotsOutsideTheVolumeEndTheRelease) {
  VolumeBuilder b(100, 1);
  b.add_brd(kRootDirectoryRecord, "RAND", pattern(2 * 4096));
  const uint32_t index = b.volume().start_record(Volume::entry_at(kRootDirectoryRecord, 1));
  b.volume().put16(index * kRecordSize + 2, 0xFFF8);  // run 1 past the volume
  const Deletion d = delete_verbose(b.volume(), "RAND");
  ASSERT_TRUE(d.result);
  EXPECT_EQ(release_lines(d.con.out_text()), 1 + 16);
  EXPECT_EQ(d.con.err_text(), err_of(msg::kDataDamaged, "RAND"));
}

TEST(DeleteFileTest, RefusesDirectoriesAndUnknownLayoutsChangingNothing) {
  VolumeBuilder b(64, 1);
  b.add_directory(kRootDirectoryRecord, "SUB");
  b.add_other(kRootDirectoryRecord, "RB", mode::kRb);
  b.add_other(kRootDirectoryRecord, "ODD", 0x2A);
  const Bytes before = b.bytes();
  const struct {
    const char* path;
    std::string err;
  } cases[] = {{"SUB", err_of(msg::kIsDirectory, "SUB")},
               {"RB", "\x91\xCE\x89\x9E\x82\xB5\x82\xC4\x82\xA2\x82\xC8\x82\xA2\x8C^\x82\xCC\x83t\x83@\x83"
                      "C\x83\x8B\x82\xC5\x82\xB7 (05)\n"},
               {"ODD", [] {
                  Console c;
                  c.err(msg::kUnsupportedMode, 0x2Au);
                  return c.err_text();
                }()}};
  for (const auto& c : cases) {
    Console con;
    EXPECT_FALSE(delete_file(b.volume(), con, c.path)) << c.path;
    EXPECT_EQ(con.err_text(), c.err) << c.path;
    EXPECT_EQ(b.bytes(), before) << c.path;
  }
}

TEST(DeleteFileTest, FindsFilesInSubdirectoriesAndKeepsTheOldEntryBytes) {
  VolumeBuilder b(64, 1);
  const uint32_t sub = b.add_directory(kRootDirectoryRecord, "GAMES");
  testing::FileOptions opt;
  opt.load_address = 0x1200;
  opt.exec_address = 0x1203;
  const EntryRef e = b.add_contiguous(sub, "HELLO", pattern(300), mode::kObj, opt);
  const Bytes before = b.bytes();
  Console con;
  ASSERT_EQ(delete_file(b.volume(), con, "GAMES/HELLO"), e);
  EXPECT_EQ(b.volume().current_directory, sub);
  expect_only_bitmap_and_mode_changed(before, b.bytes(), e);
  EXPECT_TRUE(std::equal(before.begin() + e.offset + 1, before.begin() + e.offset + 32,
                         b.bytes().begin() + e.offset + 1));
  EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), 24 + 8);  // the directory's blocks remain
}

TEST(DeleteFileTest, NameWithoutUsedEntryGivesTheFirstFreeEntry) {
  VolumeBuilder b(64, 1);
  b.add_contiguous(kRootDirectoryRecord, "A", pattern(1));
  b.add_contiguous(kRootDirectoryRecord, "B", pattern(1));
  b.add_contiguous(kRootDirectoryRecord, "C", pattern(1));
  Console con;
  ASSERT_TRUE(delete_file(b.volume(), con, "B"));
  const Bytes before = b.bytes();
  // B's freed entry (2) still bears the name but is not a used entry.
  EXPECT_EQ(delete_file(b.volume(), con, "B"), Volume::entry_at(kRootDirectoryRecord, 2));
  EXPECT_EQ(b.bytes(), before);
  // A directory with no free entry among 1-63.
  VolumeBuilder full(64, 1);
  for (int i = 1; i < kEntriesPerDirectory; ++i) full.add_entry(kRootDirectoryRecord, mode::kObj, "F", 0, 0);
  EXPECT_FALSE(delete_file(full.volume(), con, "NONE"));
  EXPECT_EQ(con.err_text(), "");
}

TEST(CommandDeleteTest, ReportsAMissingPathAndDeletesAFoundOne) {
  VolumeBuilder b(64, 1);
  b.add_contiguous(kRootDirectoryRecord, "PROG", pattern(700));
  const Bytes before = b.bytes();
  Console con;
  testing::MemoryHost host;
  HostTime time;
  RunContext ctx{con, host, b.volume(), time, "img"};

  EXPECT_FALSE(command_delete(ctx, "prog"));
  EXPECT_EQ(con.err_text(), err_of(msg::kPathNotFound, "prog"));
  EXPECT_EQ(b.bytes(), before);

  con.clear();
  con.verbose = true;
  EXPECT_TRUE(command_delete(ctx, "PROG"));
  // The lookup and the deletion each trace the file.
  Console x;
  x.verbose = true;
  for (int twice = 0; twice < 2; ++twice) {
    x.trace(msg::kFileTrace, "PROG");
    x.trace(msg::kFileFound, "PROG");
  }
  for (unsigned k = 0; k < 3; ++k) x.trace(msg::kReleaseTrace, 24u + k, 24u + k, 26u - k);
  EXPECT_EQ(con.out_text(), x.out_text());
  EXPECT_EQ(con.err_text(), "");
  EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), 24);
}

}  // namespace
}  // namespace tarnwick
