// Writes the sample images into a folder: sample.hdd (two partitions),
// sample.rom, sample.d88, and two MZT files to store with W: hello.mzt and
// spacewar.mzt, the MZT file of the samples' GAMES/SPACE WAR, as R writes
// it (its last-write time the file's stamp).
//
//   make_samples OUTPUT-FOLDER
#include <cstdio>
#include <filesystem>
#include <string>

#include "host/file.h"
#include "host/host_path.h"
#include "support/image_builder.h"

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

FileOptions stamped(uint8_t y, uint8_t b1, uint8_t b2, uint8_t b3, uint16_t load = 0, uint16_t exec = 0,
                    uint8_t attribute = 0x80) {
  FileOptions o;
  o.stamp = {y, b1, b2, b3};
  o.load_address = load;
  o.exec_address = exec;
  o.attribute = attribute;
  return o;
}

FileOptions at(int year, int month, int day, int hour, int minute, uint16_t load = 0, uint16_t exec = 0,
               uint8_t attribute = 0x80) {
  const TimeStamp s = encode_time_stamp(HostTime{year, month, day, hour, minute});
  return stamped(s[0], s[1], s[2], s[3], load, exec, attribute);
}

const Bytes kSpaceWar = pattern(12000, 11);

// A volume with a file of every mode and a subdirectory tree.
void fill(VolumeBuilder& b) {
  const uint32_t root = kRootDirectoryRecord;
  b.add_contiguous(root, "HELLO", pattern(1000), mode::kObj, at(1986, 4, 1, 9, 30, 0x1200, 0x1200));
  b.add_contiguous(root, "TITLE PICTURE", pattern(3000, 7), mode::kBtx, at(1987, 11, 23, 18, 5, 0x0000, 0x0000, 0x81));
  b.add_bsd(root, "SCORES", pattern(700, 3), at(1988, 2, 29, 23, 59));
  b.add_brd(root, "MAP DATA", pattern(5000, 5), at(1990, 7, 7, 7, 7));
  b.add_other(root, "RB FILE", mode::kRb, at(1991, 1, 2, 3, 4));
  b.add_other(root, "LIBRARY", mode::kLib, at(1992, 5, 6, 7, 8));
  b.add_other(root, "SYSTEM", mode::kSys, at(1993, 9, 10, 11, 12));
  b.add_other(root, "GRAPHICS", mode::kGr, at(1994, 12, 24, 20, 0));
  const uint32_t games = b.add_directory(root, "GAMES", at(1998, 12, 31, 23, 59));
  b.add_contiguous(games, "SPACE WAR", kSpaceWar, mode::kObj, at(2004, 1, 5, 6, 7, 0x2000, 0x2003));
  const uint32_t tools = b.add_directory(games, "TOOLS", at(2024, 10, 9, 8, 7));
  b.add_contiguous(tools, "EDITOR", pattern(256, 13), mode::kObj, at(2024, 10, 9, 8, 7, 0x1200, 0x1234));
}

void save(const std::filesystem::path& dir, const char* name, const Bytes& bytes) {
  write_file((dir / name).string(), bytes);
  std::printf("%s\n", (dir / name).string().c_str());
}

// An MZT file of an OBJ file: its header, then its bytes.
Bytes mzt_file(const std::string& name, const Bytes& body, uint16_t load, uint16_t exec) {
  Bytes mzt(128, 0);
  mzt[0] = 1;
  for (size_t i = 0; i < 17; ++i) mzt[1 + i] = i < name.size() ? static_cast<uint8_t>(name[i]) : 0x0D;
  const uint16_t fields[] = {static_cast<uint16_t>(body.size()), load, exec};
  for (size_t i = 0; i < 3; ++i) {
    mzt[18 + 2 * i] = static_cast<uint8_t>(fields[i] & 0xFF);
    mzt[19 + 2 * i] = static_cast<uint8_t>(fields[i] >> 8);
  }
  mzt.insert(mzt.end(), body.begin(), body.end());
  return mzt;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_samples OUTPUT-FOLDER\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);

  // HDD partitions of 1 MB: 128 blocks of 32 records.
  VolumeBuilder p1(128, 32, 1);
  fill(p1);
  VolumeBuilder p2(64, 32, 1);
  p2.add_contiguous(kRootDirectoryRecord, "SECOND", pattern(2048, 1), mode::kObj, at(2001, 2, 3, 4, 5));
  save(dir, "sample.hdd", make_hdd_image(p1.take(), p2.take()));

  VolumeBuilder rom(512, 1);
  fill(rom);
  save(dir, "sample.rom", make_rom_image(rom.take()));

  // A 2DD floppy: 160 tracks of 16 records, 2 records per block.
  VolumeBuilder fd(1280, 2);
  fill(fd);
  save(dir, "sample.d88", make_d88_image(fd.take()));

  save(dir, "hello.mzt", mzt_file("HELLO WORLD", pattern(600, 42), 0x1200, 0x1200));
  save(dir, "spacewar.mzt", mzt_file("SPACE WAR", kSpaceWar, 0x2000, 0x2003));
  if (!native_host().set_time(HostPath::from_argument((dir / "spacewar.mzt").string()), HostTime{2004, 1, 5, 6, 7})) {
    std::fprintf(stderr, "make_samples: cannot set the time of spacewar.mzt\n");
    return 1;
  }
  return 0;
}
