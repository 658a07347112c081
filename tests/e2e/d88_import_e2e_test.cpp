// D88 images and the I command as a user meets them: the real binary in a
// scratch folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "output/console.h"
#include "output/messages.h"
#include "containers/hdd_rom.h"
#include "support/e2e.h"
#include "support/image_builder.h"
#include "support/message_text.h"
#include "support/sample_volumes.h"

namespace tarnwick {
namespace {

using testing::message_text;

using testing::Bytes;
using testing::D88Options;
using testing::ScratchDir;
using testing::ToolRun;
using testing::VolumeBuilder;

// A 2DD floppy volume (160 tracks, 2 records per block) holding one file.
Bytes floppy_volume() {
  VolumeBuilder b(1280, 2);
  b.add_contiguous(kRootDirectoryRecord, "HELLO", testing::pattern(1000));
  return b.take();
}

// A D88 image with bytes the tool must never touch: a 17th sector on every
// track, a write-protect flag and a tail after the last track.
Bytes awkward_d88(const Bytes& volume) {
  D88Options o;
  o.extra_sectors = 1;
  o.write_protect = true;
  Bytes image = testing::make_d88_image(volume, o);
  image.insert(image.end(), {0xDE, 0xAD});
  return image;
}

TEST(D88E2eTest, ListingShowsTheDiskTypeAndLeavesTheImageUnchanged) {
  ScratchDir dir;
  const Bytes image = awkward_d88(floppy_volume());
  testing::write_file(dir.file("disk.d88"), image);
  const ToolRun r = testing::run_tool({"L", "disk.d88"}, dir);
  EXPECT_EQ(r.status, 1);
  // 16 + 1 sectors on each of 160 tracks.
  std::string warnings;
  for (int t = 0; t < 160; ++t) warnings += message_text(msg::kSectorCount, t ^ 1, 17) + msg::kIgnoringSectors.bytes;
  EXPECT_EQ(r.err, warnings);
  EXPECT_EQ(r.out.rfind("Disk type: 2DD\ndisk.d88 is D88 image\n", 0), 0u) << r.out;
  EXPECT_TRUE(r.out.ends_with(testing::done_line()));
  EXPECT_EQ(testing::read_file(dir.file("disk.d88")), image);
}

TEST(D88E2eTest, FailedCheckOrLoadEndsTheRunInOrder) {
  ScratchDir dir;
  const std::string bad_format = msg::kD88FormatBad.bytes;

  testing::write_file(dir.file("short.d88"), Bytes(687, 0));
  ToolRun r = testing::run_tool({"L", "short.d88"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, testing::done_line());
  EXPECT_EQ(r.err, std::string(msg::kNotD88.bytes) + bad_format);  // one line

  Bytes image = testing::make_d88_image(floppy_volume());
  image[testing::d88_track_offset(image, 1) + 6] = 0x40;  // density of D88 track 1, R 1
  testing::write_file(dir.file("single.d88"), image);
  r = testing::run_tool({"I", "single.d88", "1", "0", "none.bin"}, dir);
  EXPECT_EQ(r.out, "Disk type: 2DD\n" + testing::done_line());
  EXPECT_EQ(r.err, message_text(msg::kSingleDensity, 1, 1) + bad_format);
  EXPECT_EQ(testing::read_file(dir.file("single.d88")), image);

  testing::write_file(dir.file("blank.D88"), Bytes(688, 0));
  r = testing::run_tool({"L", "blank.D88"}, dir);
  EXPECT_EQ(r.out, "Disk type: 2D\nblank.D88 is D88 image\n" + testing::done_line());
  EXPECT_EQ(r.err, bad_format);
}

// I at record 0x20 of the same volume held in each container.
TEST(D88E2eTest, FormatMakesADiskThatTakesFilesAndNeverOverwrites) {
  ScratchDir dir;
  ToolRun r = testing::run_tool({"F", "new.d88"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Disk type: 2DD\nnew.d88 is D88 image\n" + testing::done_line());
  EXPECT_EQ(r.err, "");
  const Bytes blank = testing::read_file(dir.file("new.d88"));
  EXPECT_EQ(blank.size(), 697008u);

  r = testing::run_tool({"F", "new.d88", "2"}, dir);
  EXPECT_EQ(r.out, testing::done_line());
  EXPECT_EQ(r.err, message_text(msg::kAlreadyExists, "new.d88"));
  EXPECT_EQ(testing::read_file(dir.file("new.d88")), blank);
  r = testing::run_tool({"F", "new.img"}, dir);
  EXPECT_EQ(r.err, message_text(msg::kUnsupportedImage, "new.img"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("new.img")));

  const Bytes body = testing::pattern(3000);
  testing::write_file(dir.file("hello.mzt"), testing::make_mzt("HELLO", body));
  r = testing::run_tool({"W", "new.d88", "1", "HELLO", "hello.mzt"}, dir);
  EXPECT_EQ(r.err, "");
  r = testing::run_tool({"VL", "new.d88"}, dir);
  EXPECT_EQ(r.err, "");
  // The first free block follows the 24 reserved ones: record 48.
  EXPECT_NE(r.out.find("\"HELLO\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" 0030\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(msg::kCheckPassed.bytes), std::string::npos) << r.out;
  r = testing::run_tool({"R", "new.d88", "1", "HELLO", "back.mzt"}, dir);
  EXPECT_EQ(testing::read_file(dir.file("back.mzt")), testing::make_mzt("HELLO", body));
}

TEST(ImportE2eTest, WritesTheRightBytesInEveryContainer) {
  const Bytes volume = floppy_volume();
  const Bytes data = testing::pattern(300, 77);
  Bytes changed = volume;
  std::copy(data.begin(), data.end(), changed.begin() + 0x20 * kRecordSize);

  struct Case {
    const char* name;
    Bytes before;
    Bytes after;
    const char* container_line;
  };
  const Case cases[] = {
      {"disk.hdd", testing::make_hdd_image(volume), testing::make_hdd_image(changed), "disk.hdd is HDD image\n"},
      {"disk.rom", testing::make_rom_image(volume, {9, 9}), testing::make_rom_image(changed, {9, 9}),
       "disk.rom is ROM image\n"},
      {"disk.d88", awkward_d88(volume), awkward_d88(changed), "Disk type: 2DD\ndisk.d88 is D88 image\n"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    testing::write_file(dir.file(c.name), c.before);
    testing::write_file(dir.file("raw.bin"), data);
    const ToolRun r = testing::run_tool({"I", c.name, "1", "20", "raw.bin"}, dir);
    EXPECT_EQ(r.status, testing::status_for(r));
    EXPECT_EQ(r.out.rfind(c.container_line, 0), 0u) << c.name << ": " << r.out;
    EXPECT_TRUE(r.out.ends_with(testing::done_line())) << c.name;
    EXPECT_EQ(testing::read_file(dir.file(c.name)), c.after) << c.name;
  }
}

TEST(ImportE2eTest, RefusedImportLeavesTheImageByteIdentical) {
  const Bytes volume = floppy_volume();
  for (const char* name : {"disk.hdd", "disk.d88"}) {
    const Bytes image = std::string(name) == "disk.d88" ? awkward_d88(volume) : testing::make_hdd_image(volume);
    ScratchDir dir;
    testing::write_file(dir.file(name), image);
    testing::write_file(dir.file("raw.bin"), testing::pattern(2 * kRecordSize));
    const auto before = std::filesystem::last_write_time(dir.file(name));

    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"I", name, "1", "0x10", "raw.bin"}, msg::kBadRecordNumber.bytes},
        {{"I", name, "1", "10", "missing.bin"}, message_text(msg::kHostFileNotFound, "missing.bin")},
        {{"I", name, "1", "9FF", "raw.bin"}, message_text(msg::kDoesNotFit, "raw.bin")},  // last record
        {{"I", name, "1", "A00", "raw.bin"}, msg::kBadRecordNumber.bytes},
    };
    for (const auto& [args, message] : refusals) {
      const ToolRun r = testing::run_tool(args, dir);
      EXPECT_EQ(r.status, 1);
      EXPECT_TRUE(r.err.ends_with(message)) << name << " " << args[3];
      EXPECT_EQ(testing::read_file(dir.file(name)), image) << name << " " << args[3];
    }
    EXPECT_EQ(std::filesystem::last_write_time(dir.file(name)), before) << name;
  }
}

TEST(ImportE2eTest, EmptyFileSavesAnUnchangedD88ImageByteForByte) {
  ScratchDir dir;
  const Bytes image = awkward_d88(floppy_volume());
  testing::write_file(dir.file("disk.d88"), image);
  testing::write_file(dir.file("empty.bin"), {});
  // Record 0xA00 is just past the end of the 2560-record volume.
  for (const char* record : {"0", "A00"}) {
    const ToolRun r = testing::run_tool({"I", "disk.d88", "1", record, "empty.bin"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.ends_with(testing::done_line()));
    EXPECT_EQ(r.err.find(msg::kImageWriteFailed.bytes), std::string::npos);
    EXPECT_EQ(testing::read_file(dir.file("disk.d88")), image) << record;
  }
}

// Real disks made by other tools.
class RealD88E2eTest : public ::testing::Test {
 protected:
  static std::filesystem::path source(const char* name) {
    return std::filesystem::path(TARNWICK_REALDATA) / name;
  }
  void SetUp() override {
    if (!std::filesystem::exists(TARNWICK_REALDATA)) GTEST_SKIP() << "no real data";
  }
};

TEST_F(RealD88E2eTest, TwoDdDiskListsAnEmptyRootAndTakesAnImport) {
  ScratchDir dir;
  std::filesystem::copy_file(source("IPLS_0_9bKai2DD.d88"), dir.file("ipls.d88"));
  const Bytes image = testing::read_file(dir.file("ipls.d88"));

  ToolRun r = testing::run_tool({"L", "ipls.d88"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Disk type: 2DD\nipls.d88 is D88 image\n" + testing::done_line());
  EXPECT_EQ(r.err, "");

  // One byte into record 0x100 (volume track 16, D88 track 17, first
  // stored sector): exactly that data byte changes, stored inverted.
  testing::write_file(dir.file("x.bin"), {'X'});
  r = testing::run_tool({"I", "ipls.d88", "1", "100", "x.bin"}, dir);
  EXPECT_EQ(r.err, "");
  const Bytes after = testing::read_file(dir.file("ipls.d88"));
  ASSERT_EQ(after.size(), image.size());
  const size_t at = testing::d88_track_offset(image, 17) + 16;
  for (size_t i = 0; i < after.size(); ++i) {
    ASSERT_EQ(after[i], i == at ? static_cast<uint8_t>(~'X') : image[i]) << i;
  }
}

// F makes the disk the machine makes, but for the boot program in records
// 0-14, which F leaves blank (0xFF, stored inverted as 0x00).
TEST_F(RealD88E2eTest, FormatMatchesTheRealBlankDisk) {
  ScratchDir dir;
  ASSERT_EQ(testing::run_tool({"F", "blank.D88"}, dir).err, "");
  const Bytes made = testing::read_file(dir.file("blank.D88"));
  const Bytes real = testing::read_file(source("IPLS_0_9bKai2DD.d88").string());
  ASSERT_EQ(made.size(), real.size());
  ASSERT_TRUE(std::equal(real.begin(), real.begin() + 688, made.begin()));
  for (int d = 0; d < 160; ++d) {
    const size_t track = testing::d88_track_offset(real, d);
    for (size_t j = 0; j < 16; ++j) {
      const auto sector = made.begin() + static_cast<long>(track + 272 * j);
      const auto real_sector = real.begin() + static_cast<long>(track + 272 * j);
      EXPECT_TRUE(std::equal(sector, sector + 16, real_sector)) << "track " << d << " sector " << j;
      const size_t record = static_cast<size_t>(d ^ 1) * 16 + j;
      if (record >= 15) {
        EXPECT_TRUE(std::equal(sector + 16, sector + 272, real_sector + 16)) << "record " << record;
      } else {
        EXPECT_TRUE(std::all_of(sector + 16, sector + 272, [](uint8_t b) { return b == 0; })) << "record " << record;
      }
    }
  }
}

TEST_F(RealD88E2eTest, TwoDDiskIsRefusedForItsDensity) {
  ScratchDir dir;
  std::filesystem::copy_file(source("IPLS_0_9bKai2D.d88"), dir.file("ipls2d.d88"));
  const ToolRun r = testing::run_tool({"L", "ipls2d.d88"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Disk type: 2D\n" + testing::done_line());
  EXPECT_EQ(r.err, message_text(msg::kSingleDensity, 1, 1) + msg::kD88FormatBad.bytes);
}

}  // namespace
}  // namespace tarnwick
