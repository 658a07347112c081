#include "containers/hdd_rom.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/image_builder.h"
#include "support/memory_host.h"
#include "support/memory_volume.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::MemoryHost;
using testing::VolumeBuilder;

std::unique_ptr<File> open_image(MemoryHost& host, const Bytes& bytes, const std::string& name = "img") {
  host.files[name] = bytes;
  return host.open(HostPath::from_argument(name), OpenMode::kUpdate, nullptr);
}

Bytes signed_head(size_t length) {
  Bytes head(length, 0xEE);
  std::memcpy(head.data(), kHddSignature, std::min(length, kHddSignatureLength));
  return head;
}

TEST(HddSignatureTest, NeedsAll39BytesAndA256ByteHead) {
  MemoryHost host;
  EXPECT_TRUE(check_hdd_signature(*open_image(host, signed_head(256))));
  EXPECT_FALSE(check_hdd_signature(*open_image(host, signed_head(255))));
  EXPECT_FALSE(check_hdd_signature(*open_image(host, signed_head(20))));

  Bytes one_blank = signed_head(256);
  const std::string text = "MZ-2500 HD system by SHARP Corp. V1.0A";
  std::memcpy(one_blank.data(), text.data(), text.size());
  EXPECT_FALSE(check_hdd_signature(*open_image(host, one_blank)));
}

TEST(HddLoadTest, LoadsEitherPartitionWithItsGeometry) {
  VolumeBuilder p1(64, 4);
  VolumeBuilder p2(40, 1, 24);
  MemoryHost host;
  auto image = open_image(host, testing::make_hdd_image(p1.take(), p2.take()));

  Container where;
  std::unique_ptr<Pager> pager = load_hdd_partition(*image, 0, where);
  ASSERT_TRUE(pager);
  Volume vol(*pager);
  EXPECT_EQ(where.partition_offset, kPartition1Offset);
  EXPECT_EQ(vol.size(), 64u * 4 * 256);
  EXPECT_EQ(vol.geometry().records_per_block, 4);
  EXPECT_EQ(vol.geometry().bytes_per_block, 1024);
  EXPECT_EQ(vol.geometry().reserved_blocks, 6);
  EXPECT_EQ(vol.geometry().reserved_records, 24);
  EXPECT_EQ(vol.geometry().used_blocks, 6);
  EXPECT_EQ(vol.geometry().total_blocks, 64);

  pager = load_hdd_partition(*image, 1, where);
  ASSERT_TRUE(pager);
  vol = Volume(*pager);
  EXPECT_EQ(where.partition_offset, kPartition2Offset);
  EXPECT_EQ(vol.size(), 40u * 256);
  EXPECT_EQ(vol.geometry().records_per_block, 1);
}

TEST(HddLoadTest, RefusesShortAndImpossibleVolumes) {
  MemoryHost host;
  Container where;

  // Partition 2 of an image that ends before its system record.
  VolumeBuilder p1(64, 1);
  auto image = open_image(host, testing::make_hdd_image(p1.take()));
  EXPECT_FALSE(load_hdd_partition(*image, 1, where));

  // A volume longer than the file.
  Bytes cut = testing::make_hdd_image(VolumeBuilder(64, 1).take());
  cut.resize(cut.size() - 1);
  EXPECT_FALSE(load_hdd_partition(*open_image(host, cut), 0, where));

  // ROM images, so that only the system record decides.
  auto with_system = [&](auto poke) {
    VolumeBuilder b(64, 1);
    poke(b.volume());
    Bytes img = b.take();
    img.resize(img.size() + 20 * 1024 * 1024, 0);  // room for any claimed size
    return load_rom_image(*open_image(host, img, "x.rom")) != nullptr;
  };
  EXPECT_TRUE(with_system([](Volume&) {}));
  // Total blocks 0.
  EXPECT_FALSE(with_system([](Volume& v) { v.set_sys16(sys::kTotalBlocks, 0); }));
  // Fewer than 24 records: the root directory would lie outside.
  EXPECT_FALSE(with_system([](Volume& v) { v.set_sys16(sys::kTotalBlocks, 23); v.set_sys8(sys::kReservedBlocks, 0); }));
  // Reserved blocks above total blocks.
  EXPECT_FALSE(with_system([](Volume& v) { v.set_sys8(sys::kReservedBlocks, 65); }));
  // More than 1992 data blocks.
  EXPECT_FALSE(with_system([](Volume& v) { v.set_sys16(sys::kTotalBlocks, 24 + 1993); }));
  EXPECT_TRUE(with_system([](Volume& v) { v.set_sys16(sys::kTotalBlocks, 24 + 1992); }));
  // More than 65536 records: 2048 blocks of 32 records would be exactly 65536.
  EXPECT_FALSE(with_system([](Volume& v) {
    v.set_sys8(sys::kRecordsPerBlockMinusOne, 63);
    v.set_sys8(sys::kReservedBlocks, 1);
    v.set_sys16(sys::kTotalBlocks, 1025);
  }));
  EXPECT_TRUE(with_system([](Volume& v) {
    v.set_sys8(sys::kRecordsPerBlockMinusOne, 63);
    v.set_sys8(sys::kReservedBlocks, 1);
    v.set_sys16(sys::kTotalBlocks, 1024);
  }));

  // Partition 1 must not reach into partition 2: 1252 blocks of 8 KB fit
  // before 0x9CC000, 1256 do not.
  for (uint16_t total : {1252, 1253}) {
    VolumeBuilder b(64, 1);
    b.volume().set_sys8(sys::kRecordsPerBlockMinusOne, 31);
    b.volume().set_sys8(sys::kReservedBlocks, 1);
    b.volume().set_sys16(sys::kTotalBlocks, total);
    Bytes img = testing::make_hdd_image(b.take());
    img.resize(kPartition2Offset + 0x10000, 0);
    EXPECT_EQ(load_hdd_partition(*open_image(host, img), 0, where) != nullptr, total == 1252) << total;
  }
}

TEST(HddLoadTest, RecordsPerBlock256StillLoads) {
  // Judging 256 records per block is the consistency check's business.
  MemoryHost host;
  Bytes volume(size_t{24} * 65536, 0);
  volume[Volume::kSystemOffset + sys::kRecordsPerBlockMinusOne] = 0xFF;
  volume[Volume::kSystemOffset + sys::kTotalBlocks] = 24;
  const auto image = open_image(host, volume, "x.rom");
  const std::unique_ptr<Pager> pager = load_rom_image(*image);
  ASSERT_TRUE(pager);
  const Volume vol(*pager);
  EXPECT_EQ(vol.geometry().records_per_block, 256);
  EXPECT_EQ(vol.geometry().bytes_per_block, 65536);
}

TEST(HddSaveTest, WritesOnlyTheVolumeAndRoundTripsUnchanged) {
  VolumeBuilder p1(64, 1);
  VolumeBuilder p2(48, 1);
  Bytes original = testing::make_hdd_image(p1.take(), p2.take());
  for (size_t i = 0x27; i < kPartition1Offset; ++i) original[i] = static_cast<uint8_t>(i * 7);
  for (size_t i = kPartition1Offset + 64 * 256; i < kPartition2Offset; i += 4099) original[i] = 0x5A;
  original.resize(original.size() + 1000, 0xA5);  // bytes after partition 2

  for (int partition : {0, 1}) {
    MemoryHost host;
    auto image = open_image(host, original);
    Container where;
    const std::unique_ptr<Pager> pager = load_hdd_partition(*image, partition, where);
    ASSERT_TRUE(pager);
    Volume vol(*pager);
    ASSERT_TRUE(testing::save_unjournaled(*image, *pager, where));
    EXPECT_EQ(host.files["img"], original) << "unchanged volume, partition " << partition;

    vol.put8(vol.size() - 1, 0x42);
    vol.put8(0, 0x43);
    ASSERT_TRUE(testing::save_unjournaled(*image, *pager, where));
    Bytes expected = original;
    expected[where.partition_offset] = 0x43;
    expected[where.partition_offset + vol.size() - 1] = 0x42;
    EXPECT_EQ(host.files["img"], expected) << "partition " << partition;
  }
}

TEST(RomTest, LoadsFromByteZeroAndLeavesTheTailAlone) {
  const Bytes tail(3000, 0x77);
  const Bytes original = testing::make_rom_image(VolumeBuilder(32, 1).take(), tail);
  MemoryHost host;
  auto image = open_image(host, original, "x.rom");
  const std::unique_ptr<Pager> pager = load_rom_image(*image);
  ASSERT_TRUE(pager);
  Volume vol(*pager);
  EXPECT_EQ(vol.size(), 32u * 256);
  vol.put8(100, 0x99);
  Container rom;
  rom.kind = ContainerKind::kRom;
  ASSERT_TRUE(testing::save_unjournaled(*image, *pager, rom));
  Bytes expected = original;
  expected[100] = 0x99;
  EXPECT_EQ(host.files["x.rom"], expected);

  // Shorter than its system record.
  EXPECT_FALSE(load_rom_image(*open_image(host, Bytes(0xFFF, 0), "short.rom")));
}

TEST(SaveTest, ReportsShortWritesAndFailedSyncs) {
  const Bytes original = testing::make_rom_image(VolumeBuilder(32, 1).take());
  Container where;
  where.kind = ContainerKind::kRom;
  {
    MemoryHost host;
    auto image = open_image(host, original, "x.rom");
    const std::unique_ptr<Pager> pager = load_rom_image(*image);
    ASSERT_TRUE(pager);
    Volume(*pager).put8(0x1000, 1);
    host.write_budget = 100;
    EXPECT_FALSE(testing::save_unjournaled(*image, *pager, where));
  }
  {
    MemoryHost host;
    auto image = open_image(host, original, "x.rom");
    const std::unique_ptr<Pager> pager = load_rom_image(*image);
    ASSERT_TRUE(pager);
    Volume(*pager).put8(0x1000, 1);
    host.fail_sync = true;
    EXPECT_FALSE(testing::save_unjournaled(*image, *pager, where));
  }
}

}  // namespace
}  // namespace tarnwick
