// One volume, three containers: every command must act the same on the
// volume whether it sits in an HDD, a ROM or a D88 image.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include <string>
#include <vector>

#include "containers/hdd_rom.h"
#include "support/e2e.h"
#include "support/image_builder.h"
#include "support/sample_volumes.h"
#include "volume/format.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::pattern;
using testing::read_file;
using testing::run_tool;
using testing::ScratchDir;
using testing::ToolRun;
using testing::VolumeBuilder;
using testing::write_file;

constexpr uint32_t kRoot = kRootDirectoryRecord;

// 160 one-record blocks: ten D88 tracks.
Bytes shared_volume() {
  VolumeBuilder b(160, 1);
  testing::FileOptions opt;
  opt.load_address = 0x1200;
  opt.exec_address = 0x1203;
  opt.stamp = encode_time_stamp({2004, 1, 5, 6, 7});
  b.add_contiguous(kRoot, "PROG", pattern(1500), mode::kObj, opt);
  b.add_contiguous(kRoot, "TEXT", pattern(300, 1), mode::kBtx, opt);
  b.add_bsd(kRoot, "SEQ", pattern(600, 3), opt);
  b.add_brd(kRoot, "RAND", pattern(4096 + 64, 5), opt);
  const uint32_t games = b.add_directory(kRoot, "GAMES", opt);
  b.add_contiguous(games, "HELLO", pattern(256, 9), mode::kObj, opt);
  return b.take();
}

struct Container {
  std::string name;
  Bytes (*make)(const Bytes&);
  Bytes (*volume_of)(const Bytes&);
};

Bytes volume_of_hdd(const Bytes& image) {
  return Bytes(image.begin() + kPartition1Offset, image.begin() + kPartition1Offset + 160 * 256);
}
Bytes volume_of_rom(const Bytes& image) { return Bytes(image.begin(), image.begin() + 160 * 256); }
// Gathers the volume back out of a D88 image written by make_d88_image.
Bytes volume_of_d88(const Bytes& image) {
  Bytes vol(160 * 256);
  for (size_t t = 0; t < 10; ++t) {
    const size_t d = t ^ 1;
    const size_t at = 0x20 + 4 * d;
    const size_t offset = image[at] | (image[at + 1] << 8) | (image[at + 2] << 16) | (size_t{image[at + 3]} << 24);
    for (size_t j = 0; j < 16; ++j) {
      for (size_t b = 0; b < 256; ++b) {
        vol[(t * 16 + j) * 256 + b] = static_cast<uint8_t>(~image[offset + 272 * j + 16 + b]);
      }
    }
  }
  return vol;
}

const std::vector<Container>& containers() {
  static const std::vector<Container> all = {
      {"disk.hdd", [](const Bytes& v) { return testing::make_hdd_image(v); }, volume_of_hdd},
      {"disk.rom", [](const Bytes& v) { return testing::make_rom_image(v, Bytes(512, 0x77)); }, volume_of_rom},
      {"disk.d88", [](const Bytes& v) { return testing::make_d88_image(v); }, volume_of_d88},
  };
  return all;
}

// Runs one command on each container holding the same volume and checks
// that output (less the container lines), host files and the volume agree.
void expect_same_everywhere(const std::vector<std::string>& args, const std::string& host_out = "",
                            const Bytes& host_in = {}) {
  std::string first_out, first_err;
  Bytes first_host, first_volume;
  for (const Container& c : containers()) {
    ScratchDir dir;
    write_file(dir.file(c.name), c.make(shared_volume()));
    if (!host_in.empty()) {
      // One time for every container's host file, or a minute turning
      // between two runs stamps their files differently.
      write_file(dir.file("in.bin"), host_in);
      std::filesystem::last_write_time(dir.file("in.bin"), std::filesystem::file_time_type(std::chrono::hours(1)));
    }
    std::vector<std::string> full = args;
    full.insert(full.begin() + 1, c.name);
    const ToolRun r = run_tool(full, dir, "UTC0");
    EXPECT_EQ(r.status, testing::status_for(r));
    // Drop the container's own lines ("Disk type", "... is ... image").
    std::string out = r.out;
    const std::string marker = " image\n";
    out = out.substr(out.find(marker) + marker.size());
    const Bytes volume = c.volume_of(read_file(dir.file(c.name)));
    const Bytes host = host_out.empty() ? Bytes{} : read_file(dir.file(host_out));
    if (&c == &containers().front()) {
      first_out = out;
      first_err = r.err;
      first_host = host;
      first_volume = volume;
      continue;
    }
    EXPECT_EQ(out, first_out) << c.name << " " << args[0];
    EXPECT_EQ(r.err, first_err) << c.name << " " << args[0];
    EXPECT_EQ(host, first_host) << c.name << " " << args[0];
    EXPECT_EQ(volume, first_volume) << c.name << " " << args[0];
  }
}

TEST(ContainersE2eTest, ListingIsTheSame) {
  expect_same_everywhere({"vL", "1", "/"});
  expect_same_everywhere({"L", "1", "GAMES"});
}

TEST(ContainersE2eTest, ExtractionIsTheSame) {
  for (const char* path : {"PROG", "TEXT", "SEQ", "RAND", "GAMES/HELLO", "GAMES", "MISSING"}) {
    expect_same_everywhere({"R", "1", path, "out.bin"}, std::string(path) == "MISSING" ? "" : "out.bin");
  }
}

TEST(ContainersE2eTest, StoringDeletingAndImportingAreTheSame) {
  expect_same_everywhere({"W", "1", "GAMES/NEW", "in.bin"}, "", testing::make_mzt("NEW", pattern(2000, 4)));
  expect_same_everywhere({"W", "1", "PROG", "in.bin"}, "", testing::make_mzt("PROG", pattern(100, 4)));
  for (const char* path : {"PROG", "SEQ", "RAND", "GAMES/HELLO", "GAMES"}) expect_same_everywhere({"D", "1", path});
  expect_same_everywhere({"I", "1", "30", "in.bin"}, "", pattern(700, 6));
}

// R from one volume, then W into another, carries a file with its bytes,
// addresses and time stamp.
TEST(ContainersE2eTest, ExtractThenStoreCarriesAFileBetweenVolumes) {
  for (const char* tz : {"UTC0", "JST-9"}) {
    ScratchDir dir;
    write_file(dir.file("from.hdd"), testing::make_hdd_image(shared_volume()));
    write_file(dir.file("to.d88"), testing::make_d88_image(VolumeBuilder(160, 1).take()));
    ToolRun r = run_tool({"R", "from.hdd", "1", "PROG", "prog.mzt"}, dir, tz);
    ASSERT_EQ(r.err, "");
    r = run_tool({"W", "to.d88", "1", "GAME", "prog.mzt"}, dir, tz);
    ASSERT_EQ(r.err, "");
    r = run_tool({"R", "to.d88", "1", "GAME", "back.mzt"}, dir, tz);
    ASSERT_EQ(r.err, "");

    Bytes expected = read_file(dir.file("prog.mzt"));
    Bytes back = read_file(dir.file("back.mzt"));
    // The name field comes from the path: PROG became GAME.
    const std::string game = "GAME";
    for (size_t k = 0; k < 17; ++k) expected[1 + k] = k < game.size() ? static_cast<uint8_t>(game[k]) : 0x0D;
    EXPECT_EQ(back, expected) << tz;

    // The time stamp travelled too: both listings show the same date.
    const std::string from = run_tool({"L", "from.hdd"}, dir, tz).out;
    const std::string to = run_tool({"L", "to.d88"}, dir, tz).out;
    EXPECT_NE(from.find("'04/01/05 06:07"), std::string::npos) << from;
    EXPECT_NE(to.find(" OBJ  \"GAME\"            '04/01/05 06:07\n"), std::string::npos) << tz << to;
  }
}

}  // namespace
}  // namespace tarnwick
