// A sample of damaged images through every command of the built binary:
// truncated images and single-byte damage to the system record and the
// root directory, in each container. The in-memory sweep covers every
// boundary and byte; this checks that the real program, on real files, ends
// every run in order and leaves the bytes around the volume alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "containers/hdd_rom.h"
#include "support/e2e.h"
#include "support/image_builder.h"
#include "support/image_regions.h"
#include "support/sample_volumes.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::pattern;
using testing::ScratchDir;

struct Sample {
  const char* file;
  Bytes image;
  uint64_t volume_at;  // file offset of volume byte 0 (HDD, ROM)
};

Bytes damaged(const Bytes& image, uint64_t at, uint8_t value) {
  Bytes d = image;
  d[at] = value;
  return d;
}

TEST(CorruptionE2eTest, DamagedImagesEndInOrderAndKeepTheBytesAroundTheVolume) {
  const Sample samples[] = {
      {"disk.rom", testing::make_rom_image(testing::small_volume(1), Bytes(300, 0xA5)), 0},
      {"disk.hdd", testing::make_hdd_image(testing::small_volume(2)), kPartition1Offset},
      {"disk.d88", testing::make_d88_image(testing::small_volume(2)), 0},
  };
  ScratchDir dir;
  testing::write_file(dir.file("in.mzt"), testing::make_mzt("NEW", pattern(600)));
  testing::write_file(dir.file("raw.bin"), pattern(300, 3));
  const std::vector<std::vector<std::string>> commands = {
      {"L", "GAMES"}, {"R", "SCORES", "out.bin"}, {"W", "HELLO", "in.mzt"}, {"D", "MAP"}, {"I", "20", "raw.bin"}};
  int runs = 0;
  for (const Sample& s : samples) {
    const uint64_t sys = s.volume_at + kSystemRecord * kRecordSize;
    const uint64_t root = s.volume_at + kRootDirectoryRecord * kRecordSize;
    std::vector<std::pair<std::string, Bytes>> images = {
        {"cut inside the system record", Bytes(s.image.begin(), s.image.begin() + static_cast<long>(sys + 128))},
        {"cut one record short", Bytes(s.image.begin(), s.image.end() - kRecordSize)},
        {"cut to the header", Bytes(s.image.begin(), s.image.begin() + 256)},
    };
    // Damage written into the volume's own bytes (a D88 image stores them
    // inverted, elsewhere; its track table is damaged instead).
    if (s.volume_at != 0 || std::string(s.file) == "disk.rom") {
      images.push_back({"255 records per block", damaged(s.image, sys + 255, 0xFE)});
      images.push_back({"total blocks 0xFF60", damaged(s.image, sys + 5, 0xFF)});
      images.push_back({"first file starts past the end", damaged(s.image, root + 32 + 31, 0xFF)});
    } else {
      images.push_back({"track 0 at 1", damaged(s.image, D88Header::kTrackTable, 1)});
      images.push_back({"track 2 past the end", damaged(s.image, D88Header::kTrackTable + 8 + 3, 0x7F)});
      const uint8_t track1 = s.image[D88Header::kTrackTable + 4];
      images.push_back({"track 1 one byte on", damaged(s.image, D88Header::kTrackTable + 4, uint8_t(track1 + 1))});
    }
    for (const auto& [what, image] : images) {
      const std::vector<testing::ByteRange> writable = testing::writable_ranges(image, s.file, 0);
      for (const std::vector<std::string>& c : commands) {
        testing::write_file(dir.file(s.file), image);
        std::vector<std::string> args = {c[0], s.file, "1"};
        args.insert(args.end(), c.begin() + 1, c.end());
        const testing::ToolRun r = testing::run_tool(args, dir);
        ++runs;
        const std::string context = std::string(s.file) + ", " + what + ", " + c[0];
        EXPECT_EQ(r.status, testing::status_for(r)) << context;
        EXPECT_TRUE(r.out.ends_with(testing::done_line())) << context;
        const bool writes = c[0] == "W" || c[0] == "D" || c[0] == "I";
        const Bytes after = testing::read_file(dir.file(s.file));
        EXPECT_LT(testing::first_change_outside(image, after, writes ? writable : std::vector<testing::ByteRange>{}), 0)
            << context;
      }
    }
  }
  EXPECT_EQ(runs, 90);
}

}  // namespace
}  // namespace tarnwick
