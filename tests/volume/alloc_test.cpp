#include "volume/alloc.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/image_builder.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::VolumeBuilder;

Bytes system_record(const Volume& vol) {
  const auto r = vol.system_record();
  return Bytes(r.begin(), r.end());
}

uint8_t bitmap(const Volume& vol, uint32_t byte) { return vol.sys8(sys::kBitmap + byte); }

// The verbose lines a sequence of trace calls prints.
struct Expected {
  Console con;
  Expected() { con.verbose = true; }
};

TEST(AllocateBlocksTest, TakesWholeBlocksAndOneForNothing) {
  // 4 records per block: 1024 bytes per block; reserved blocks 6 (records 0-23).
  VolumeBuilder b(40, 4);
  Volume& vol = b.volume();
  Console con;
  const struct {
    uint32_t length;
    uint32_t record;
    int used_after;
  } cases[] = {{1, 24, 7}, {1024, 28, 8}, {1025, 32, 10}, {0, 40, 11}};
  for (const auto& c : cases) {
    EXPECT_EQ(allocate_blocks(vol, con, c.length), c.record) << c.length;
    EXPECT_EQ(vol.sys16(sys::kUsedBlocks), c.used_after) << c.length;
  }
  EXPECT_EQ(bitmap(vol, 0), 0x1F);
  EXPECT_EQ(con.out_text(), "");  // traces only in verbose mode
  EXPECT_EQ(con.err_text(), "");
}

TEST(AllocateBlocksTest, ClaimsTheFirstRunThatFitsAndTracesEveryStep) {
  // Blocks 6 and 8 in use: bitmap byte 0 = 0x05.
  VolumeBuilder b(40, 4, 6);
  b.mark_block(6);
  b.mark_block(8);
  ASSERT_EQ(bitmap(b.volume(), 0), 0x05);
  const Volume before = b.volume();

  Volume two = before;
  Console con;
  con.verbose = true;
  EXPECT_EQ(allocate_blocks(two, con, 2048), 36u);
  EXPECT_EQ(bitmap(two, 0), 0x1D);
  EXPECT_EQ(two.sys16(sys::kUsedBlocks), 10);
  Expected x;
  x.con.trace(msg::kAllocBlocks, 2);
  x.con.trace(msg::kAllocDataBlocks, 34);
  x.con.trace(msg::kAllocScan, 0x01u, 0x05u, 0);
  x.con.trace(msg::kAllocScan, 0x02u, 0x05u, 0);
  x.con.trace(msg::kAllocScan, 0x04u, 0x05u, 1);
  x.con.trace(msg::kAllocScan, 0x08u, 0x05u, 0);
  x.con.trace(msg::kAllocScan, 0x10u, 0x05u, 1);
  x.con.trace(msg::kAllocReserve, 9);
  x.con.trace(msg::kAllocReserve, 10);
  EXPECT_EQ(con.out_text(), x.con.out_text());

  Volume one = before;
  EXPECT_EQ(allocate_blocks(one, con, 1), 28u);
  EXPECT_EQ(bitmap(one, 0), 0x07);
  EXPECT_EQ(one.sys16(sys::kUsedBlocks), 9);
  // Only the system record changed.
  for (uint32_t r = 0; r < before.record_count(); ++r) {
    if (r == kSystemRecord) continue;
    ASSERT_TRUE(std::equal(one.image().begin() + r * 256, one.image().begin() + r * 256 + 256,
                           before.image().begin() + r * 256));
  }
}

TEST(AllocateBlocksTest, NoRunLongEnoughChangesNothing) {
  VolumeBuilder full(30, 1);  // 6 data blocks
  for (uint32_t blk = 24; blk < 30; ++blk) full.mark_block(blk);
  VolumeBuilder gaps(30, 1);  // free runs of 1, 2 and 1 blocks
  gaps.mark_block(25);
  gaps.mark_block(28);
  const struct {
    Volume* vol;
    uint32_t length;
  } cases[] = {{&full.volume(), 0}, {&full.volume(), 1}, {&gaps.volume(), 3 * 256}};
  for (const auto& c : cases) {
    const Bytes before = system_record(*c.vol);
    Console con;
    EXPECT_EQ(allocate_blocks(*c.vol, con, c.length), 0u);
    EXPECT_EQ(system_record(*c.vol), before);
    EXPECT_EQ(con.err_text(), "");
  }
  // The two-block run between them still fits two blocks.
  Console con;
  EXPECT_EQ(allocate_blocks(gaps.volume(), con, 512), 26u);
}

TEST(AllocateBlocksTest, UsedBlocksCarryBetweenItsBytes) {
  VolumeBuilder b(64, 1);
  Volume& vol = b.volume();
  vol.set_sys16(sys::kUsedBlocks, 0x00FF);
  Console con;
  const uint32_t r = allocate_blocks(vol, con, 1);
  EXPECT_EQ(vol.sys16(sys::kUsedBlocks), 0x0100);
  release_block(vol, con, r);
  EXPECT_EQ(vol.sys16(sys::kUsedBlocks), 0x00FF);
  // Byte 3 wraps on its own, as on the machine.
  vol.set_sys16(sys::kUsedBlocks, 0xFFFF);
  allocate_blocks(vol, con, 1);
  EXPECT_EQ(vol.sys16(sys::kUsedBlocks), 0x0000);
}

TEST(AllocateBlocksTest, NeverScansPastTheLastBitmapByte) {
  // A system record declaring 3000 data blocks (the load refuses it) with
  // bytes 6-254 all used and byte 255 = 0: read as bitmap, byte 255 would
  // look free.
  Volume vol(Bytes(kMinimumRecords * kRecordSize, 0));
  vol.set_sys16(sys::kTotalBlocks, 3000);
  for (uint32_t at = sys::kBitmap; at < sys::kRecordsPerBlockMinusOne; ++at) vol.set_sys8(at, 0xFF);
  const Bytes before = system_record(vol);
  Console con;
  EXPECT_EQ(allocate_blocks(vol, con, 1), 0u);
  EXPECT_EQ(system_record(vol), before);
}

TEST(ReleaseBlockTest, FreesEachBlockOnceAndOnlyDataBlocks) {
  VolumeBuilder b(20, 4);  // reserved 6, data blocks 6-19
  Volume& vol = b.volume();
  Console con;
  con.verbose = true;
  const uint32_t r = allocate_blocks(vol, con, 1024);
  ASSERT_EQ(r, 24u);
  con.clear();
  for (uint32_t k = 0; k < 4; ++k) release_block(vol, con, r + k);
  EXPECT_EQ(vol.sys16(sys::kUsedBlocks), 6);
  EXPECT_EQ(bitmap(vol, 0), 0x00);
  Expected x;
  x.con.trace(msg::kReleaseTrace, 24u, 6u, 6u);
  EXPECT_EQ(con.out_text(), x.con.out_text());

  // Already free, reserved, past total blocks, past the image: nothing.
  const Bytes before = system_record(vol);
  con.clear();
  for (uint32_t rec : {24u, 0u, 15u, 23u, 80u, 0xFFFFu}) release_block(vol, con, rec);
  EXPECT_EQ(system_record(vol), before);
  EXPECT_EQ(con.out_text(), "");
}

TEST(ReleaseBlockTest, IgnoresBlocksBeyondTheBitmap) {
  // 3000 data blocks declared (the load refuses this), 2 records per block:
  // block 24 + 1992 would be bit 1992, which is bit 0 of byte 255 (1 here).
  Volume vol(Bytes(4096 * kRecordSize, 0));
  vol.set_sys8(sys::kReservedBlocks, 24);
  vol.set_sys16(sys::kTotalBlocks, 3024);
  vol.set_sys16(sys::kUsedBlocks, 100);
  vol.set_sys8(sys::kRecordsPerBlockMinusOne, 1);
  const Bytes before = system_record(vol);
  Console con;
  release_block(vol, con, (24 + 1992) * 2);
  EXPECT_EQ(system_record(vol), before);
  EXPECT_FALSE(is_data_record(vol, (24 + 1992) * 2));
  EXPECT_TRUE(is_data_record(vol, (24 + 1991) * 2 + 1));
}

}  // namespace
}  // namespace tarnwick
