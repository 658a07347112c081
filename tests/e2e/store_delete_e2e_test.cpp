// D and W run as a user runs them: the built binary on image files in a
// scratch folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "output/console.h"
#include "containers/hdd_rom.h"
#include "support/e2e.h"
#include "support/image_builder.h"
#include "support/message_text.h"
#include "volume/format.h"
#include "volume/path.h"
#include "volume/volume.h"

namespace tarnwick {
namespace {

using testing::message_text;

using testing::Bytes;
using testing::pattern;
using testing::read_file;
using testing::run_tool;
using testing::ScratchDir;
using testing::ToolRun;
using testing::VolumeBuilder;
using testing::write_file;

constexpr uint32_t kRoot = kRootDirectoryRecord;

// A volume of 100 one-record data blocks holding files of each layout, a
// subdirectory with a file, and an RB file.
Bytes sample_volume() {
  VolumeBuilder b(24 + 100, 1);
  b.add_contiguous(kRoot, "PROG", pattern(700));
  b.add_bsd(kRoot, "SEQ", pattern(600, 3));
  b.add_brd(kRoot, "RAND", pattern(4096 + 32, 5));
  const uint32_t games = b.add_directory(kRoot, "GAMES");
  b.add_contiguous(games, "HELLO", pattern(300, 9));
  b.add_other(kRoot, "RB", mode::kRb);
  return b.take();
}

// An MZT file: header with mode 1, the name, size, load and execution
// address, then the body (which may be shorter or longer than `size`).
Bytes make_mzt(const Bytes& body, const std::string& name, int size = -1) {
  Bytes m(128 + body.size(), 0);  // sized once: see make_mzt in tests/support
  m[0] = 1;
  for (size_t k = 0; k < 17; ++k) m[1 + k] = k < name.size() ? static_cast<uint8_t>(name[k]) : 0x0D;
  const uint16_t s = size < 0 ? static_cast<uint16_t>(body.size()) : static_cast<uint16_t>(size);
  const uint16_t fields[] = {s, 0x1200, 0x1203};
  for (size_t k = 0; k < 3; ++k) {
    m[18 + 2 * k] = static_cast<uint8_t>(fields[k] & 0xFF);
    m[19 + 2 * k] = static_cast<uint8_t>(fields[k] >> 8);
  }
  std::copy(body.begin(), body.end(), m.begin() + 128);
  return m;
}

// The image file kinds, and where the volume lies in each.
struct Kind {
  const char* file;
  Bytes (*make)(const Bytes& volume);
  size_t offset;
};

const Kind kKinds[] = {
    {"disk.hdd", [](const Bytes& v) { return testing::make_hdd_image(v); }, kPartition1Offset},
    {"disk.rom", [](const Bytes& v) { return testing::make_rom_image(v, Bytes(100, 0xA5)); }, 0},
};

testing::MemoryVolume volume_of(const Kind& k, const Bytes& image, size_t size) {
  const auto from = image.begin() + static_cast<long>(k.offset);
  return testing::MemoryVolume(Bytes(from, from + static_cast<long>(size)));
}

// True when the image bytes around the volume are the same in both.
bool same_outside(const Kind& k, const Bytes& a, const Bytes& b, size_t size) {
  const size_t end = k.offset + size;
  return a.size() == b.size() && std::equal(a.begin(), a.begin() + static_cast<long>(k.offset), b.begin()) &&
         std::equal(a.begin() + static_cast<long>(end), a.end(), b.begin() + static_cast<long>(end));
}

// What the tool prints on standard output around a command's own lines.
std::string container_line(const Kind& k) {
  Console c;
  c.out(std::string(k.file).ends_with(".rom") ? msg::kIsRomImage : msg::kIsHddImage, k.file);
  return c.out_text();
}

std::optional<EntryRef> find_in(const Volume& vol, uint32_t dir, const std::string& name) {
  for (int i = 1; i < kEntriesPerDirectory; ++i) {
    const EntryRef e = Volume::entry_at(dir, i);
    if (vol.mode(e) != 0 && name_matches(vol, name, e)) return e;
  }
  return std::nullopt;
}

// Bitmap bits set in `a` and clear in `b`, and the other way round.
std::pair<int, int> bitmap_changes(const Volume& a, const Volume& b) {
  int cleared = 0;
  int set = 0;
  for (uint32_t at = sys::kBitmap; at < sys::kRecordsPerBlockMinusOne; ++at) {
    for (int bit = 0; bit < 8; ++bit) {
      const bool was = a.sys8(at) >> bit & 1;
      const bool is = b.sys8(at) >> bit & 1;
      cleared += was && !is;
      set += !was && is;
    }
  }
  return {cleared, set};
}

TEST(StoreDeleteE2eTest, DeleteConfirmsAndSavesTheFreedEntry) {
  const Bytes volume = sample_volume();
  const testing::MemoryVolume before(volume);
  for (const Kind& k : kKinds) {
    const struct {
      const char* path;
      int blocks;
    } files[] = {{"PROG", 3}, {"SEQ", 3}, {"RAND", 1 + 2 * 16}, {"GAMES/HELLO", 2}};
    for (const auto& [path, blocks] : files) {
      ScratchDir dir;
      const Bytes image = k.make(volume);
      write_file(dir.file(k.file), image);
      const ToolRun r = run_tool({"D", k.file, "1", path}, dir);
      Console x;
      x.out(msg::kDeleted, path);
      EXPECT_EQ(r.out, container_line(k) + x.out_text() + testing::done_line()) << k.file << " " << path;
      EXPECT_EQ(r.err, "") << path;  // no complaint from either check
      EXPECT_EQ(r.status, 0);

      const Bytes saved = read_file(dir.file(k.file));
      ASSERT_EQ(saved.size(), image.size());
      const testing::MemoryVolume after = volume_of(k, saved, volume.size());
      EXPECT_TRUE(same_outside(k, saved, image, volume.size()));
      // Outside the volume nothing moved; inside, only the system record
      // and the entry's mode byte.
      const std::string name = std::string(path).substr(std::string(path).rfind('/') + 1);
      const uint32_t where = name == path ? kRoot : before.start_record(*find_in(before, kRoot, "GAMES"));
      const EntryRef e = *find_in(before, where, name);
      EXPECT_EQ(after.mode(e), 0);
      for (size_t at = 0; at < volume.size(); ++at) {
        if ((at >= Volume::kSystemOffset && at < Volume::kSystemOffset + 256) || at == e.offset) continue;
        ASSERT_EQ(after.u8(at), volume[at]) << path << " byte " << at;
      }
      EXPECT_EQ(bitmap_changes(before, after), std::make_pair(blocks, 0)) << path;
      EXPECT_EQ(after.sys16(sys::kUsedBlocks), before.sys16(sys::kUsedBlocks) - blocks) << path;
    }
  }
}

TEST(StoreDeleteE2eTest, DeleteThatFailsLeavesTheImageUntouched) {
  const Kind& k = kKinds[0];
  const struct {
    const char* path;
    std::string err;
  } cases[] = {
      {"NOPE", message_text(msg::kPathNotFound, "NOPE")},
      {"NODIR/PROG", message_text(msg::kDirectoryNotFound, "NODIR") + message_text(msg::kPathNotFound, "NODIR/PROG")},
      {"GAMES", message_text(msg::kIsDirectory, "GAMES")},
      {"RB", message_text(msg::kUnsupportedMode, 5u)},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    const Bytes image = k.make(sample_volume());
    write_file(dir.file(k.file), image);
    const ToolRun r = run_tool({"D", k.file, "1", c.path}, dir);
    EXPECT_EQ(r.out, container_line(k) + testing::done_line()) << c.path;
    EXPECT_EQ(r.err, c.err) << c.path;
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(dir.file(k.file)), image) << c.path;
  }
}

TEST(StoreDeleteE2eTest, StoreSavesTheFileAndReplacesAFormerOne) {
  const Bytes volume = sample_volume();
  for (const Kind& k : kKinds) {
    // A new file in a subdirectory, and a replacement of a file that grows.
    for (const char* path : {"GAMES/NEW", "PROG"}) {
      ScratchDir dir;
      const Bytes image = k.make(volume);
      write_file(dir.file(k.file), image);
      const std::string name = std::string(path).substr(std::string(path).rfind('/') + 1);
      const Bytes mzt = make_mzt(pattern(0x1234, 11), name);
      write_file(dir.file("in.mzt"), mzt);
      const ToolRun r = run_tool({"W", k.file, "1", path, "in.mzt"}, dir);
      EXPECT_EQ(r.out, container_line(k) + testing::done_line()) << path;
      EXPECT_EQ(r.err, "") << path;
      EXPECT_EQ(r.status, 0);

      const Bytes saved = read_file(dir.file(k.file));
      ASSERT_EQ(saved.size(), image.size());
      EXPECT_TRUE(same_outside(k, saved, image, volume.size()));
      const testing::MemoryVolume after = volume_of(k, saved, volume.size());
      const uint32_t where = name == path ? kRoot : after.start_record(*find_in(after, kRoot, "GAMES"));
      const std::optional<EntryRef> e = find_in(after, where, name);
      ASSERT_TRUE(e) << path;
      // What extracting it gives back is the MZT file that went in.
      Bytes out(128, 0);
      for (uint32_t b = 0; b < 18; ++b) out[b] = after.field8(*e, b);
      for (uint32_t b = 0; b < 6; ++b) out[18 + b] = after.field8(*e, entry::kSize + b);
      const auto body = after.bytes(uint64_t{after.start_record(*e)} * kRecordSize, after.file_size(*e));
      out.insert(out.end(), body.begin(), body.end());
      EXPECT_EQ(out, mzt) << path;
      EXPECT_EQ(after.field8(*e, entry::kAttribute), 0x80);
    }
  }
}

TEST(StoreDeleteE2eTest, StoreThatFailsLeavesTheImageUntouched) {
  const Kind& k = kKinds[0];
  const std::string nodir = message_text(msg::kDirectoryNotFound, "NODIR");
  const struct {
    const char* what;
    std::string path;
    Bytes mzt;  // empty: no MZT file
    std::string err;
  } cases[] = {
      {"no MZT file", "PROG", {}, message_text(msg::kHostFileNotFound, "in.mzt")},
      {"short header", "PROG", Bytes(100, 1), message_text(msg::kNotMzt, "in.mzt")},
      {"no room", "PROG", make_mzt(pattern(120 * 256), "X"),
       message_text(msg::kNoSpace) + message_text(msg::kSpaceNeeded, "PROG", 30720u, 13568u)},
      {"missing directory", "NODIR/X", make_mzt(pattern(10), "X"), nodir + nodir},
      {"path ends in '/'", "GAMES/", make_mzt(pattern(10), "X"), message_text(msg::kNoFileName)},
      {"name too long", "ABCDEFGHIJKLMNOPQ", make_mzt(pattern(10), "X"), message_text(msg::kNameTooLong, "ABCDEFGHIJKLMNOPQ")},
      {"short body", "PROG", make_mzt(pattern(10), "X", 11), message_text(msg::kReadFailed, "in.mzt")},
      {"directory in the way", "GAMES", make_mzt(pattern(10), "X"), message_text(msg::kIsDirectory, "GAMES")},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    const Bytes image = k.make(sample_volume());
    write_file(dir.file(k.file), image);
    if (!c.mzt.empty()) write_file(dir.file("in.mzt"), c.mzt);
    const ToolRun r = run_tool({"W", k.file, "1", c.path, "in.mzt"}, dir);
    EXPECT_EQ(r.out, container_line(k) + testing::done_line()) << c.what;
    EXPECT_EQ(r.err, c.err) << c.what;
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(dir.file(k.file)), image) << c.what;
  }

  // A full directory (of files the check passes over), on partition 2 of an
  // image with two partitions.
  VolumeBuilder b(24 + 8, 1);
  for (int i = 1; i < kEntriesPerDirectory; ++i) b.add_entry(kRoot, mode::kRb, std::string("F").append(std::to_string(i)), 0, 0);
  ScratchDir dir;
  const Bytes image = testing::make_hdd_image(sample_volume(), b.take());
  write_file(dir.file("two.hdd"), image);
  write_file(dir.file("in.mzt"), make_mzt(pattern(10), "X"));
  const ToolRun r = run_tool({"W", "two.hdd", "2", "NEW", "in.mzt"}, dir);
  Console x;
  x.out(msg::kIsHddImage, "two.hdd");
  x.out(msg::kDone);
  EXPECT_EQ(r.out, x.out_text());
  EXPECT_EQ(r.err, message_text(msg::kDirectoryFull) + message_text(msg::kDirectoryFullNamed, "/"));
  EXPECT_EQ(read_file(dir.file("two.hdd")), image);
}

TEST(StoreDeleteE2eTest, EmptyMztMakesAnObjOfSizeZeroThatTheCheckReports) {
  ScratchDir dir;
  write_file(dir.file("disk.rom"), testing::make_rom_image(sample_volume()));
  write_file(dir.file("empty.mzt"), make_mzt({}, "EMPTY"));
  const ToolRun w = run_tool({"W", "disk.rom", "1", "EMPTY", "empty.mzt"}, dir);
  EXPECT_EQ(w.status, 3);  // stored; the check after it reports the file
  const Bytes saved = read_file(dir.file("disk.rom"));
  const testing::MemoryVolume after(saved);
  const std::optional<EntryRef> e = find_in(after, kRoot, "EMPTY");
  ASSERT_TRUE(e);
  EXPECT_EQ(after.file_size(*e), 0);
  EXPECT_NE(after.start_record(*e), 0);
  // The stored file is kept as it is: the check after the store reports on
  // it exactly what a later run's checks report on the saved volume (the
  // check before the store saw a clean volume).
  const ToolRun again = run_tool({"D", "disk.rom", "1", "NOPE"}, dir);
  EXPECT_EQ(again.err, w.err + message_text(msg::kPathNotFound, "NOPE") + w.err);

  // Deleting it frees its block again.
  run_tool({"D", "disk.rom", "1", "EMPTY"}, dir);
  EXPECT_EQ(testing::MemoryVolume(read_file(dir.file("disk.rom"))).sys16(sys::kUsedBlocks),
            testing::MemoryVolume(sample_volume()).sys16(sys::kUsedBlocks));
}

TEST(StoreDeleteE2eTest, RealRomImageTakesARealMztFileAndGivesUpAFile) {
  const std::string real = TARNWICK_REALDATA;
  if (!std::filesystem::exists(real + "/SASIROM.BIN") || !std::filesystem::exists(real + "/IPL-SEL-MAKER.mzt")) {
    GTEST_SKIP() << "no real data";
  }
  ScratchDir dir;
  const Bytes rom = read_file(real + "/SASIROM.BIN");
  const Bytes mzt = read_file(real + "/IPL-SEL-MAKER.mzt");
  write_file(dir.file("sasi.rom"), rom);
  write_file(dir.file("ipl.mzt"), mzt);
  const ToolRun w = run_tool({"W", "sasi.rom", "1", "IPLSELECTERMAKER", "ipl.mzt"}, dir);
  EXPECT_EQ(w.err, "");
  const testing::MemoryVolume stored(read_file(dir.file("sasi.rom")));
  const std::optional<EntryRef> e = find_in(stored, kRoot, "IPLSELECTERMAKER");
  ASSERT_TRUE(e);
  // The header's name is the path's, so extracting gives the very same file.
  Bytes out(128, 0);
  for (uint32_t b = 0; b < 18; ++b) out[b] = stored.field8(*e, b);
  for (uint32_t b = 0; b < 6; ++b) out[18 + b] = stored.field8(*e, entry::kSize + b);
  const auto body = stored.bytes(uint64_t{stored.start_record(*e)} * kRecordSize, stored.file_size(*e));
  out.insert(out.end(), body.begin(), body.end());
  EXPECT_EQ(out, mzt);
  EXPECT_EQ(stored.sys16(sys::kUsedBlocks), 94 + 21);

  const ToolRun d = run_tool({"D", "sasi.rom", "1", "HD FORMAT.m25"}, dir);
  EXPECT_EQ(d.err, "");
  EXPECT_EQ(testing::MemoryVolume(read_file(dir.file("sasi.rom"))).sys16(sys::kUsedBlocks), 94 + 21 - 34);
}

}  // namespace
}  // namespace tarnwick
