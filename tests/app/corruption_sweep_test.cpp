// Damaged images through every command, in memory: every truncation at a
// record (HDD, ROM) or sector (D88) boundary, and every single-byte change of
// the system record, of the root directory's header and used entries (and
// the first free one) and of a D88 image's track table, each byte set to
// 0x00, 0xFF, one bit flipped and one more. Every command (L, R, W, D, I, A,
// and L with -j -r) runs on every damaged image. No run may crash or hang,
// every run ends in order (its status 1 when it reported a failure, else 0;
// the closing message last, or with -j a standard output that is one JSON
// document or nothing), and no run changes a byte of
// the image file outside the volume it loaded (L and R none at all). Where
// the damage leaves the volume sound, a confirmed delete and a saved store
// keep it sound, the bitmap changed exactly where the files' blocks did.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/frontend.h"
#include "containers/container.h"
#include "containers/hdd_rom.h"
#include "support/image_builder.h"
#include "support/image_regions.h"
#include "support/json_check.h"
#include "support/message_text.h"
#include "support/memory_host.h"
#include "support/sample_volumes.h"
#include "support/volume_audit.h"

namespace tarnwick {
namespace {

using testing::ByteRange;
using testing::Bytes;
using testing::MemoryHost;
using testing::pattern;

constexpr uint64_t kD88Header = 688;
constexpr uint64_t kSectorSpan = 16 + kRecordSize;
constexpr uint32_t kSweptEntries = 8;  // the header, six used entries, the first free one

// The values a byte is changed to: 0x00, 0xFF, one bit flipped (a different
// bit for each offset) and one more, leaving out those equal to the byte.
std::vector<uint8_t> changed_values(uint8_t original, uint64_t offset) {
  std::set<uint8_t> values{0x00, 0xFF, static_cast<uint8_t>(original ^ (1u << (offset % 8))),
                           static_cast<uint8_t>(original + 1)};
  values.erase(original);
  return {values.begin(), values.end()};
}

class Sweep {
 public:
  Sweep(std::string image_name, std::string partition)
      : image_name_(std::move(image_name)), partition_(std::move(partition)) {
    mzt_ = testing::make_mzt("NEW", pattern(600, 9));
    raw_ = pattern(300, 17);
  }

  // Runs every command on the damaged image `image`; `what` names the damage.
  void run_all(const std::string& what, const Bytes& image) {
    ++images_;
    const int partition_index = partition_ == "2" ? 1 : 0;
    const std::vector<ByteRange> writable = testing::writable_ranges(image, image_name_, partition_index);
    std::optional<testing::MemoryVolume> sound = testing::load_image_volume(image, image_name_, partition_index);
    if (sound && !testing::volume_is_sound(*sound)) sound.reset();
    const int k = images_;
    static const char* const list_paths[] = {"/", "GAMES", "GAMES/"};
    static const char* const store_paths[] = {"NEW", "HELLO", "GAMES/NEW"};
    static const char* const records[] = {"20", "5F", "0F", "10"};
    const std::vector<std::string>& paths = testing::small_volume_paths();
    const std::string v = k % 3 == 0 ? "V" : "";
    const std::string& path = paths[static_cast<size_t>(k) % paths.size()];
    run(what, image, {}, nullptr, {v + "L", image_name_, partition_, list_paths[k % 3]});
    run(what, image, {}, nullptr, {"-jr", v + "L", image_name_, partition_, list_paths[k % 3]});
    run(what, image, {}, nullptr, {v + "R", image_name_, partition_, path, "out.bin"});
    Volume* before = sound ? &*sound : nullptr;
    run(what, image, writable, before, {v + "W", image_name_, partition_, store_paths[k % 3], "in.mzt"});
    run(what, image, writable, before, {v + "D", image_name_, partition_, path});
    run(what, image, writable, nullptr, {v + "I", image_name_, partition_, records[k % 4], "raw.bin"});
    run(what, image, writable, before, {v + "A", image_name_, partition_, store_paths[k % 3], "tree"});
  }

  // The undamaged image: the commands do their work without a word on
  // standard error, and those that write change the image. Guards the sweep
  // against a sample or arguments on which every command fails early.
  void expect_intact_image_works(const Bytes& image) {
    const std::vector<std::vector<std::string>> commands = {
        {"L", "GAMES"}, {"R", "MAP", "out.bin"}, {"W", "HELLO", "in.mzt"}, {"D", "SCORES"}, {"I", "5A", "raw.bin"}};
    for (const std::vector<std::string>& c : commands) {
      MemoryHost host;
      host.files[image_name_] = image;
      host.files["in.mzt"] = mzt_;
      host.files["raw.bin"] = raw_;
      std::vector<const char*> argv{"tarnwick", c[0].c_str(), image_name_.c_str(), partition_.c_str()};
      for (size_t i = 1; i < c.size(); ++i) argv.push_back(c[i].c_str());
      Console con;
      run_tarnwick(static_cast<int>(argv.size()), argv.data(), con, host);
      EXPECT_EQ(con.err_text(), "") << image_name_ << " " << c[0];
      const bool writes = c[0] == "W" || c[0] == "D" || c[0] == "I";
      EXPECT_EQ(host.files[image_name_] != image, writes) << image_name_ << " " << c[0];
    }
  }

  int images() const { return images_; }
  int runs() const { return runs_; }
  int sound_saves() const { return sound_saves_; }
  int failures() const { return failures_; }

 private:
  // `sound`: the volume before the run, for a store or delete on a sound
  // volume; none otherwise.
  void run(const std::string& what, const Bytes& image, const std::vector<ByteRange>& writable, Volume* sound,
           const std::vector<std::string>& args) {
    ++runs_;
    MemoryHost host;
    host.files[image_name_] = image;
    host.files["in.mzt"] = mzt_;
    host.files["raw.bin"] = raw_;
    host.times["in.mzt"] = HostTime{2004, 1, 5, 6, 7};
    // A folder for A: a file of each layout, one in a subfolder.
    host.folders.insert("tree");
    host.folders.insert("tree/SUB");
    host.files["tree/NEW.mzt"] = mzt_;
    host.files["tree/SUB/S.bsd"] = raw_;
    host.files["tree/R.brd"] = Bytes(raw_.begin(), raw_.begin() + 288);
    std::vector<const char*> argv{"tarnwick"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    Console con;
    const int status = run_tarnwick(static_cast<int>(argv.size()), argv.data(), con, host);

    const std::string& out = con.out_text();
    const std::string done = msg::kDone.bytes;
    // A JSON listing's standard output is its document alone, or nothing.
    const bool json = args.front() == "-jr";
    std::string broken;
    if (status != testing::exit_status_told(con)) {
      broken = "exit status " + std::to_string(status);
    } else if (json && !out.empty() && !testing::is_json_document(out)) {
      broken = "standard output is not one JSON document";
    } else if (!json && (out.size() < done.size() || out.compare(out.size() - done.size(), done.size(), done) != 0)) {
      broken = "the closing message is not last";
    } else if (const int64_t at = testing::first_change_outside(image, host.files[image_name_], writable); at >= 0) {
      broken = "byte " + std::to_string(at) + " outside the volume changed";
    } else if (sound && host.files[image_name_] != image) {
      std::optional<testing::MemoryVolume> after =
          testing::load_image_volume(host.files[image_name_], image_name_, partition_ == "2" ? 1 : 0);
      if (!after || !testing::sound_volume_moved_in_step(*sound, *after)) {
        broken = "the saved volume is not sound or its bitmap moved out of step with its files";
      }
      ++sound_saves_;
    }
    if (broken.empty()) return;
    if (++failures_ <= 10) {
      std::string command;
      for (const std::string& a : args) command += " " + a;
      ADD_FAILURE() << what << ":" << command << ": " << broken;
    }
  }

  std::string image_name_;
  std::string partition_;
  Bytes mzt_, raw_;
  int images_ = 0;
  int sound_saves_ = 0;
  int runs_ = 0;
  int failures_ = 0;
};

// Truncations at every multiple of `step` from `from` up to the image's end.
void sweep_truncations(Sweep& s, const Bytes& image, uint64_t from, uint64_t step) {
  for (uint64_t n = from; n < image.size(); n += step) {
    s.run_all("cut to " + std::to_string(n), Bytes(image.begin(), image.begin() + static_cast<long>(n)));
  }
}

// Every changed value of every byte at the offsets given.
void sweep_bytes(Sweep& s, const Bytes& image, const std::vector<uint64_t>& offsets, const std::string& where) {
  for (size_t i = 0; i < offsets.size(); ++i) {
    const uint64_t at = offsets[i];
    for (const uint8_t value : changed_values(image[at], at)) {
      Bytes damaged = image;
      damaged[at] = value;
      char what[96];
      std::snprintf(what, sizeof what, "%s byte %zu = %02X", where.c_str(), i, static_cast<unsigned>(value));
      s.run_all(what, damaged);
    }
  }
}

// File offsets of the system record and of the swept root directory entries,
// for a volume whose volume byte v lies at file offset place(v).
template <typename Place>
void sweep_volume_bytes(Sweep& s, const Bytes& image, Place place) {
  std::vector<uint64_t> system, root;
  for (uint64_t b = 0; b < kRecordSize; ++b) system.push_back(place(kSystemRecord * kRecordSize + b));
  for (uint64_t b = 0; b < kSweptEntries * kEntrySize; ++b) {
    root.push_back(place(kRootDirectoryRecord * kRecordSize + b));
  }
  sweep_bytes(s, image, system, "system record");
  sweep_bytes(s, image, root, "root directory");
}

void report(const char* name, const Sweep& s) {
  std::printf("[ sweep    ] %s: %d damaged images, %d runs, %d saves of sound volumes audited\n", name, s.images(),
              s.runs(), s.sound_saves());
  EXPECT_EQ(s.failures(), 0);
}

TEST(CorruptionSweepTest, RomImage) {
  const Bytes image = testing::make_rom_image(testing::small_volume(1), Bytes(300, 0xA5));
  Sweep s("disk.rom", "1");
  s.expect_intact_image_works(image);
  sweep_truncations(s, image, 0, kRecordSize);
  sweep_volume_bytes(s, image, [](uint64_t v) { return v; });
  report("ROM", s);
}

TEST(CorruptionSweepTest, HddPartition1) {
  const Bytes image = testing::make_hdd_image(testing::small_volume(2));
  Sweep s("disk.hdd", "1");
  s.expect_intact_image_works(image);
  sweep_truncations(s, image, 0, kRecordSize);
  sweep_volume_bytes(s, image, [](uint64_t v) { return kPartition1Offset + v; });
  report("HDD partition 1", s);
}

// Partition 2 lies almost 10 MB into the file, so only its truncations are
// swept here; its volume is read and written by the same code as
// partition 1's, whose byte changes are swept above.
TEST(CorruptionSweepTest, HddPartition2Truncations) {
  const Bytes image = testing::make_hdd_image(testing::small_volume(1), testing::small_volume(4));
  Sweep s("disk.hdd", "2");
  s.expect_intact_image_works(image);
  for (const uint64_t n : {uint64_t{0}, uint64_t{kRecordSize}, uint64_t{kPartition1Offset}}) {
    s.run_all("cut to " + std::to_string(n), Bytes(image.begin(), image.begin() + static_cast<long>(n)));
  }
  sweep_truncations(s, image, kPartition2Offset, kRecordSize);
  report("HDD partition 2", s);
}

TEST(CorruptionSweepTest, D88Image) {
  const Bytes image = testing::make_d88_image(testing::small_volume(2));
  Sweep s("disk.d88", "1");
  s.expect_intact_image_works(image);
  for (const uint64_t n : {uint64_t{0}, kD88Header - 1}) {
    s.run_all("cut to " + std::to_string(n), Bytes(image.begin(), image.begin() + static_cast<long>(n)));
  }
  // Every sector's start and the start of its data.
  for (uint64_t at = kD88Header; at < image.size(); at += kSectorSpan) {
    for (const uint64_t n : {at, at + 16}) {
      s.run_all("cut to " + std::to_string(n), Bytes(image.begin(), image.begin() + static_cast<long>(n)));
    }
  }
  // Volume record r is stored sector r % 16 of volume track r / 16, which is
  // D88 track (r / 16) XOR 1; the builder stores D88 tracks in order.
  sweep_volume_bytes(s, image, [](uint64_t v) {
    const uint64_t r = v / kRecordSize;
    const uint64_t d88_track = (r / 16) ^ 1;
    return kD88Header + (d88_track * 16 + r % 16) * kSectorSpan + 16 + v % kRecordSize;
  });
  std::vector<uint64_t> table;
  for (uint64_t at = D88Header::kTrackTable; at < D88Header::kSize; ++at) table.push_back(at);
  sweep_bytes(s, image, table, "track table");
  report("D88", s);
}

}  // namespace
}  // namespace tarnwick
