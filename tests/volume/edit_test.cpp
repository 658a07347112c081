#include "volume/edit.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/image_builder.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::MemoryVolume;
using testing::VolumeBuilder;

Bytes system_record(const Volume& vol) {
  const auto r = vol.system_record();
  return Bytes(r.begin(), r.end());
}

uint8_t bitmap(const Volume& vol, uint32_t byte) { return vol.sys8(sys::kBitmap + byte); }

// The steps an allocation or release hands to its trace, kept in order.
struct Steps {
  std::vector<AllocStep> seen;
  AllocTrace trace() {
    return [this](const AllocStep& s) { seen.push_back(s); };
  }
};

using Kind = AllocStep::Kind;

// Claims `length` bytes from a fresh edit of `vol`: its first record, 0 for none.
uint32_t claim(Volume& vol, uint32_t length, const AllocTrace& trace = {}) {
  VolumeEdit edit(vol, trace);
  return edit.claim(length).value_or(0);
}

// Frees the block of `record` by removing an entry that holds it alone.
void release(Volume& vol, uint32_t record, const AllocTrace& trace = {}) {
  VolumeEdit edit(vol, trace);
  const EntryRef e = Volume::entry_at(kRootDirectoryRecord, 63);
  edit.write_entry(e, NewEntry{mode::kObj, "F", sized_fields(1), record, {}});
  edit.remove_entry(e);
}

TEST(ClaimTest, TakesWholeBlocksAndOneForNothing) {
  VolumeBuilder b(40, 4);  // 1024 bytes per block, blocks 0-5 reserved
  VolumeEdit edit(b.volume());
  const struct {
    uint32_t length, record;
    int used_after;
  } cases[] = {{1, 24, 7}, {1024, 28, 8}, {1025, 32, 10}, {0, 40, 11}};
  for (const auto& c : cases) {
    EXPECT_EQ(edit.claim(c.length), c.record) << c.length;
    EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), c.used_after) << c.length;
  }
  EXPECT_EQ(bitmap(b.volume(), 0), 0x1F);
}

TEST(ClaimTest, ClaimsTheFirstRunThatFitsAndTracesEveryStep) {
  VolumeBuilder b(40, 4, 6);
  b.mark_block(6);
  b.mark_block(8);  // bitmap byte 0 = 0x05
  MemoryVolume one = b.volume();

  Steps steps;
  EXPECT_EQ(claim(b.volume(), 2048, steps.trace()), 36u);
  EXPECT_EQ(bitmap(b.volume(), 0), 0x1D);
  EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), 10);
  const std::vector<AllocStep> want = {
      {Kind::kBlocks, 2},         {Kind::kDataBlocks, 34},    {Kind::kScan, 0x01, 0x05, 0},
      {Kind::kScan, 0x02, 0x05, 0}, {Kind::kScan, 0x04, 0x05, 1}, {Kind::kScan, 0x08, 0x05, 0},
      {Kind::kScan, 0x10, 0x05, 1}, {Kind::kReserve, 9},        {Kind::kReserve, 10},
  };
  EXPECT_EQ(steps.seen, want);

  EXPECT_EQ(claim(one, 1), 28u);
  EXPECT_EQ(bitmap(one, 0), 0x07);
  EXPECT_EQ(one.sys16(sys::kUsedBlocks), 9);
}

TEST(ClaimTest, NoRunLongEnoughChangesNothing) {
  VolumeBuilder full(30, 1);  // 6 data blocks, all used
  for (uint32_t blk = 24; blk < 30; ++blk) full.mark_block(blk);
  VolumeBuilder gaps(30, 1);  // free runs of 1, 2 and 1 blocks
  gaps.mark_block(25);
  gaps.mark_block(28);
  // 3000 data blocks declared (the load refuses it), bytes 6-254 all used:
  // read as bitmap, byte 255 (0) would look free.
  MemoryVolume huge(Bytes(kMinimumRecords * kRecordSize, 0));
  huge.set_sys16(sys::kTotalBlocks, 3000);
  for (uint32_t at = sys::kBitmap; at < sys::kRecordsPerBlockMinusOne; ++at) huge.set_sys8(at, 0xFF);

  const struct {
    Volume* vol;
    uint32_t length;
  } cases[] = {{&full.volume(), 0}, {&full.volume(), 1}, {&gaps.volume(), 3 * 256}, {&huge, 1}};
  for (const auto& c : cases) {
    const Bytes before = system_record(*c.vol);
    EXPECT_EQ(claim(*c.vol, c.length), 0u);
    EXPECT_EQ(system_record(*c.vol), before);
  }
  // What the claim wanted and what was free, in bytes.
  VolumeEdit edit(gaps.volume());
  EXPECT_FALSE(edit.claim(3 * 256));
  EXPECT_EQ(edit.no_space().needed, 3u * 256);
  EXPECT_EQ(edit.no_space().free, 4u * 256);
  EXPECT_EQ(claim(gaps.volume(), 512), 26u);
}

TEST(ClaimTest, UsedBlocksCarryBetweenItsBytes) {
  VolumeBuilder b(64, 1);
  Volume& vol = b.volume();
  vol.set_sys16(sys::kUsedBlocks, 0x00FF);
  const uint32_t r = claim(vol, 1);
  EXPECT_EQ(vol.sys16(sys::kUsedBlocks), 0x0100);
  release(vol, r);
  EXPECT_EQ(vol.sys16(sys::kUsedBlocks), 0x00FF);
  vol.set_sys16(sys::kUsedBlocks, 0xFFFF);  // byte 3 wraps on its own
  claim(vol, 1);
  EXPECT_EQ(vol.sys16(sys::kUsedBlocks), 0x0000);
}

TEST(ReleaseTest, FreesEachBlockOnceAndOnlyDataBlocks) {
  VolumeBuilder b(20, 4);  // data blocks 6-19
  Volume& vol = b.volume();
  ASSERT_EQ(claim(vol, 1024), 24u);
  Steps steps;
  {
    VolumeEdit edit(vol, steps.trace());
    const EntryRef e = Volume::entry_at(kRootDirectoryRecord, 63);
    edit.write_entry(e, NewEntry{mode::kObj, "F", sized_fields(1024), 24, {}});
    edit.remove_entry(e);
  }
  EXPECT_EQ(vol.sys16(sys::kUsedBlocks), 6);
  EXPECT_EQ(bitmap(vol, 0), 0x00);
  const std::vector<AllocStep> want = {{Kind::kRelease, 24, 6, 6}};
  EXPECT_EQ(steps.seen, want);

  // Already free, reserved, past total blocks, past the image: nothing.
  const Bytes before = system_record(vol);
  steps.seen.clear();
  for (uint32_t rec : {24u, 0u, 15u, 23u, 80u, 0xFFFFu}) release(vol, rec, steps.trace());
  EXPECT_EQ(system_record(vol), before);
  EXPECT_TRUE(steps.seen.empty());
}

TEST(ReleaseTest, IgnoresBlocksBeyondTheBitmap) {
  // 3000 data blocks declared, 2 records per block: block 24 + 1992 would
  // be bit 1992, which is bit 0 of byte 255 (1 here).
  MemoryVolume vol(Bytes(4096 * kRecordSize, 0));
  vol.put8(kRootDirectoryRecord * kRecordSize, kDirectoryNormal);
  vol.set_sys8(sys::kReservedBlocks, 24);
  vol.set_sys16(sys::kTotalBlocks, 3024);
  vol.set_sys16(sys::kUsedBlocks, 100);
  vol.set_sys8(sys::kRecordsPerBlockMinusOne, 1);
  const Bytes before = system_record(vol);
  release(vol, (24 + 1992) * 2);
  EXPECT_EQ(system_record(vol), before);
  EXPECT_TRUE(data_records(vol).contains((24 + 1991) * 2 + 1));
}

// The bitmap may leave free what files hold: no reserved blocks over the
// system record and the root, or a bitmap a few records off (a real MZ-2000
// disk has one). A block is taken only when nothing of the volume lies in it.
TEST(ClaimTest, NeverTakesABlockThatTheVolumeUsesWhateverTheBitmapSays) {
  VolumeBuilder b(64, 4, 0);  // no reserved blocks: records 0-23 are blocks 0-5
  for (uint32_t block = 0; block < 6; ++block) b.mark_block(block);
  const EntryRef file = b.add_contiguous(kRootDirectoryRecord, "FILE", testing::pattern(2000));
  const uint32_t sub = b.add_directory(kRootDirectoryRecord, "SUB");
  b.add_bsd(sub, "CHAIN", testing::pattern(600));
  MemoryVolume agreeing = b.volume();
  // Clear the whole bitmap and the count to match: the volume now says every
  // block is free. It must place files where the agreeing volume does.
  Volume& v = b.volume();
  for (uint32_t k = 0; k < 8; ++k) v.set_sys8(sys::kBitmap + k, 0);
  v.set_sys16(sys::kUsedBlocks, 0);
  // One edit, which finds what the volume holds once, takes the same runs.
  MemoryVolume pooled = b.volume();
  VolumeEdit edit(pooled);
  for (const uint32_t length : {1u, 2048u, 5000u}) {
    const uint32_t want = claim(agreeing, length);
    EXPECT_GT(want, v.start_record(file)) << length;
    EXPECT_EQ(claim(v, length), want) << length;
    EXPECT_EQ(edit.claim(length), want) << length;
  }
  EXPECT_EQ(system_record(pooled), system_record(v));
}

// A rolled-back edit leaves every byte the volume's files lead to as it was:
// a file removed and its blocks taken again for new data, entries written,
// a directory made.
TEST(RollbackTest, PutsBackWhatTheFilesLeadTo) {
  VolumeBuilder b(24 + 40, 1);
  const EntryRef old = b.add_bsd(kRootDirectoryRecord, "OLD", testing::pattern(700));
  const Bytes before = b.bytes();
  VolumeEdit edit(b.volume());
  ASSERT_TRUE(edit.remove_entry(old));
  const Written chain = edit.write_chained(testing::pattern(1000, 9));
  ASSERT_TRUE(chain);
  EXPECT_EQ(chain.start, 24u);  // where OLD was
  edit.write_entry(old, NewEntry{mode::kBsd, "NEW", sized_fields(1000), chain.start, {}});
  ASSERT_TRUE(edit.make_directory(kRootDirectoryRecord, Volume::entry_at(kRootDirectoryRecord, 2), "D", {}));
  ASSERT_NE(b.bytes(), before);
  edit.rollback();
  const Bytes after = b.bytes();
  // Bytes of blocks that were free may keep the new data; nothing leads there.
  const size_t used = 24 + 3;  // OLD's chain
  EXPECT_EQ(Bytes(after.begin(), after.begin() + used * kRecordSize),
            Bytes(before.begin(), before.begin() + used * kRecordSize));
  EXPECT_EQ(after[Volume::kSystemOffset + sys::kUsedBlocks], before[Volume::kSystemOffset + sys::kUsedBlocks]);
}

}  // namespace
}  // namespace tarnwick
