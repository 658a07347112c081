// Builds the benchmark's images: large, realistic volumes full of files of
// every layout in nested directories.
//
//   make_bench_images OUTPUT-FOLDER
//
// Writes into the folder:
//   bench.hdd          an HDD image, both partitions about 10 MB and nearly full
//   bench.d88          a full 2DD floppy (160 tracks, 2 records per block)
//   fill25.hdd ...     partition 1 alone with 25, 50 and 100 % of its data
//                      blocks in use, for the consistency check's growth
//   blank.hdd          an HDD image whose partition 1 has bench.hdd's geometry
//                      and holds nothing
//   big.mzt            a 65,535-byte OBJ file to store with W
//   raw.bin            65,535 bytes to copy over records with I
//   bench.env          shell assignments naming the paths, records, offsets
//                      and sizes the benchmark script works with
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "containers/hdd_rom.h"
#include "support/image_builder.h"

using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

// A small deterministic generator, so that every run builds the same images.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t below(uint32_t n) { return next() % n; }

 private:
  uint32_t state_;
};

struct Directory {
  uint32_t record;
  std::string path;  // "" for the root, else "A/B"
  int free_entries;
};

struct Shape {
  uint16_t total_blocks;
  int records_per_block;
  int top_dirs;        // directories in the root
  int sub_dirs;        // subdirectories in each of those
  int deep_dirs;       // subdirectories in each of those
  size_t largest_runs; // runs of the largest file (a BRD)
  double fill;         // share of the data blocks to fill
  uint32_t seed;
};

// Fills a volume the way a well-used disk looks: a directory tree three deep,
// OBJ, BTX, BSD and BRD files of many sizes, some entries of modes the tool
// only lists, one directory full to its last entry, one very large file.
class Filler {
 public:
  explicit Filler(const Shape& s)
      : s_(s), b_(s.total_blocks, s.records_per_block), rnd_(s.seed),
        bytes_per_block_(static_cast<size_t>(s.records_per_block) * kRecordSize) {}

  VolumeBuilder& builder() { return b_; }
  std::map<std::string, std::string> facts;

  void build() {
    dirs_.push_back({kRootDirectoryRecord, "", 63});
    for (int i = 0; i < s_.top_dirs; ++i) {
      const size_t top = add_dir(0, name("DIR", i));
      for (int j = 0; j < s_.sub_dirs; ++j) {
        const size_t sub = add_dir(top, name("SUB", j));
        for (int k = 0; k < s_.deep_dirs; ++k) add_dir(sub, name("DEEP", k));
      }
    }
    const size_t deep = dirs_.size() - 1;  // the last, deepest directory

    // The largest file, the file W replaces and the records I overwrites.
    if (s_.largest_runs > 0) {
      const Bytes data = pattern(s_.largest_runs * kRunSize - 100, 9);
      const EntryRef e = b_.add_brd(dirs_[deep].record, "LARGEST", data, stamp());
      --dirs_[deep].free_entries;
      facts["LARGEST"] = join(dirs_[deep].path, "LARGEST");
      facts["LARGEST_BYTES"] = std::to_string(b_.volume().file_size(e) * kBrdUnit);
    }
    add_file(deep, "REPLACE ME", mode::kObj, pattern(65535, 21));
    facts["REPLACE"] = join(dirs_[deep].path, "REPLACE ME");
    const EntryRef target = add_file(1, "IMPORT TARGET", mode::kObj, pattern(65535, 33));
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", b_.volume().start_record(target));
    facts["IMPORT_RECORD"] = hex;

    // A directory filled to its last entry: the listing's heaviest case.
    const size_t many = add_dir(0, "MANY FILES");
    while (dirs_[many].free_entries > 0 && fits(1)) add_file(many, name("F", dirs_[many].free_entries), mode::kObj,
                                                             pattern(200 + rnd_.below(2000), 1));
    facts["LIST"] = dirs_[many].path;

    // Then files of every kind spread over the tree until the volume is as
    // full as asked.
    const uint32_t data_blocks = s_.total_blocks - b_.reserved_blocks();
    const uint32_t target_used = b_.reserved_blocks() + static_cast<uint32_t>(s_.fill * data_blocks);
    int n = 0;
    int misses = 0;
    while (used() < target_used && misses < 1000) {
      const size_t d = rnd_.below(static_cast<uint32_t>(dirs_.size()));
      if (dirs_[d].free_entries == 0) {
        ++misses;
        continue;
      }
      const uint32_t room = target_used - used();
      if (!add_random(d, name("FILE", ++n), room)) ++misses;
    }
    facts["USED_BLOCKS"] = std::to_string(used());
    facts["TOTAL_BLOCKS"] = std::to_string(s_.total_blocks);
    facts["RECORDS_PER_BLOCK"] = std::to_string(s_.records_per_block);
    facts["FILES"] = std::to_string(files_);
    facts["DIRECTORIES"] = std::to_string(dirs_.size());
    facts["VOLUME_BYTES"] = std::to_string(b_.bytes().size());
  }

 private:
  static std::string name(const char* stem, int i) {
    char s[17];
    std::snprintf(s, sizeof s, "%s%02d", stem, i);
    return s;
  }
  static std::string join(const std::string& dir, const std::string& name) {
    return dir.empty() ? name : dir + "/" + name;
  }
  uint32_t used() { return b_.volume().sys16(sys::kUsedBlocks); }
  bool fits(uint32_t blocks) { return used() + blocks <= s_.total_blocks; }
  uint32_t blocks_for(size_t bytes) const {
    return static_cast<uint32_t>(std::max<size_t>(1, (bytes + bytes_per_block_ - 1) / bytes_per_block_));
  }

  FileOptions stamp() {
    // Spread over the years the time stamp can carry, 1985 to 2084.
    const int year = 1985 + static_cast<int>(rnd_.below(100));
    FileOptions o;
    o.stamp = encode_time_stamp(HostTime{year, 1 + static_cast<int>(rnd_.below(12)),
                                         1 + static_cast<int>(rnd_.below(28)), static_cast<int>(rnd_.below(24)),
                                         static_cast<int>(rnd_.below(60))});
    o.load_address = static_cast<uint16_t>(rnd_.below(0x10000));
    o.exec_address = o.load_address;
    o.attribute = rnd_.below(8) == 0 ? 0x81 : 0x80;
    return o;
  }

  size_t add_dir(size_t parent, const std::string& n) {
    const uint32_t record = b_.add_directory(dirs_[parent].record, n, stamp());
    --dirs_[parent].free_entries;
    dirs_.push_back({record, join(dirs_[parent].path, n), 61});
    return dirs_.size() - 1;
  }

  EntryRef add_file(size_t d, const std::string& n, uint8_t mode, const Bytes& data) {
    --dirs_[d].free_entries;
    ++files_;
    return b_.add_contiguous(dirs_[d].record, n, data, mode, stamp());
  }

  // Adds one file of a random layout and size that takes at most `room`
  // blocks; false when the one picked does not fit.
  bool add_random(size_t d, const std::string& n, uint32_t room) {
    const uint32_t kind = rnd_.below(10);
    const uint32_t dir = dirs_[d].record;
    if (kind < 5) {  // OBJ and BTX, 1 byte to 64 KB
      const size_t size = 1 + rnd_.below(rnd_.below(4) == 0 ? 65535 : 8000);
      if (blocks_for(size) > room) return false;
      add_file(d, n, kind < 4 ? mode::kObj : mode::kBtx, pattern(size, static_cast<uint8_t>(kind)));
      return true;
    }
    if (kind < 7) {  // BSD: each chain record in a block of its own
      const size_t size = 1 + rnd_.below(4 * kChainData);
      if ((size + kChainData - 1) / kChainData > room) return false;
      b_.add_bsd(dir, n, pattern(size, 3), stamp());
    } else if (kind < 9) {  // BRD, 1 to 16 runs
      const size_t runs = 1 + rnd_.below(16);
      if (1 + runs * blocks_for(kRunSize) > room) return false;
      b_.add_brd(dir, n, pattern(runs * kRunSize - rnd_.below(kRunSize), 5), stamp());
    } else {  // a mode the tool lists but never reads
      static const uint8_t kOther[] = {mode::kRb, mode::kLib, mode::kSys, mode::kGr};
      b_.add_other(dir, n, kOther[rnd_.below(4)], stamp());
    }
    --dirs_[d].free_entries;
    ++files_;
    return true;
  }

  Shape s_;
  VolumeBuilder b_;
  Random rnd_;
  size_t bytes_per_block_;
  std::vector<Directory> dirs_;
  int files_ = 0;
};

// 1,250 blocks of 32 records: 10,240,000 bytes, the most that fits before
// partition 2 begins, rounded down.
Shape hdd_shape(double fill, uint32_t seed) { return {1250, 32, 6, 4, 2, 128, fill, seed}; }

// A 2DD floppy: 160 tracks of 16 records, 2 records per block.
Shape d88_shape() { return {1280, 2, 4, 3, 2, 32, 0.985, 7}; }

void save(const std::filesystem::path& dir, const char* name, const Bytes& bytes) {
  write_file((dir / name).string(), bytes);
}

Bytes make_mzt(const std::string& name, const Bytes& body) {
  Bytes mzt(128 + body.size(), 0);  // sized once: see make_mzt in tests/support
  mzt[0] = mode::kObj;
  for (size_t i = 0; i < 17; ++i) mzt[1 + i] = i < name.size() ? static_cast<uint8_t>(name[i]) : kNameEnd;
  mzt[18] = static_cast<uint8_t>(body.size() & 0xFF);
  mzt[19] = static_cast<uint8_t>(body.size() >> 8);
  mzt[21] = 0x12;  // load and execution address 0x1200
  mzt[23] = 0x12;
  std::copy(body.begin(), body.end(), mzt.begin() + 128);
  return mzt;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_bench_images OUTPUT-FOLDER\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  std::FILE* env = std::fopen((dir / "bench.env").string().c_str(), "w");
  if (!env) {
    std::fprintf(stderr, "cannot write %s\n", (dir / "bench.env").string().c_str());
    return 1;
  }
  auto facts = [&](const char* prefix, const Filler& f) {
    for (const auto& [key, value] : f.facts) std::fprintf(env, "%s_%s='%s'\n", prefix, key.c_str(), value.c_str());
  };

  Filler p1(hdd_shape(0.99, 1));
  p1.build();
  Filler p2(hdd_shape(0.99, 2));
  p2.build();
  facts("HDD", p1);
  std::fprintf(env, "HDD_OFFSET=%u\n", kPartition1Offset);
  save(dir, "bench.hdd", make_hdd_image(p1.builder().bytes(), p2.builder().bytes()));
  // Partition 1's geometry with nothing in it, for A to fill.
  save(dir, "blank.hdd", make_hdd_image(VolumeBuilder(hdd_shape(0, 1).total_blocks, 32).take()));

  Filler fd(d88_shape());
  fd.build();
  facts("D88", fd);
  // The tracks, sector headers and data, lie back to back after the header.
  std::fprintf(env, "D88_OFFSET=688\nD88_TRACK_BYTES=%zu\n", fd.builder().bytes().size() / 256 * 272);
  save(dir, "bench.d88", make_d88_image(fd.builder().bytes()));

  for (const int percent : {25, 50, 100}) {
    Filler f(hdd_shape(percent / 100.0, 3));
    f.build();
    const std::string prefix = "FILL" + std::to_string(percent);
    facts(prefix.c_str(), f);
    save(dir, ("fill" + std::to_string(percent) + ".hdd").c_str(), make_hdd_image(f.builder().bytes()));
  }

  save(dir, "big.mzt", make_mzt("BIG PROGRAM", pattern(65535, 77)));
  save(dir, "raw.bin", pattern(65535, 55));
  std::fclose(env);
  return 0;
}
