#include "operations/store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "operations/delete.h"
#include "operations/volume_report.h"
#include "support/image_builder.h"
#include "support/memory_host.h"
#include "support/message_text.h"
#include "volume/path.h"

namespace tarnwick {
namespace {

using testing::err_text;
using testing::message_text;
using testing::out_text;

using testing::Bytes;
using testing::pattern;
using testing::VolumeBuilder;

constexpr uint32_t kRoot = kRootDirectoryRecord;

// An MZT file: header (mode, name with 0x0D fill, size, load and execution
// address, zeros) and the body. `size` is what the header claims.
Bytes make_mzt(const Bytes& body, uint16_t load = 0x1200, uint16_t exec = 0x1203, uint8_t mode = 1,
               const std::string& name = "MZTNAME", int size = -1) {
  Bytes m(128 + body.size(), 0);  // sized once: see make_mzt in tests/support
  m[0] = mode;
  for (size_t k = 0; k < 17; ++k) m[1 + k] = k < name.size() ? static_cast<uint8_t>(name[k]) : 0x0D;
  const uint16_t s = size < 0 ? static_cast<uint16_t>(body.size()) : static_cast<uint16_t>(size);
  const uint16_t fields[] = {s, load, exec};
  for (size_t k = 0; k < 3; ++k) {
    m[18 + 2 * k] = static_cast<uint8_t>(fields[k] & 0xFF);
    m[19 + 2 * k] = static_cast<uint8_t>(fields[k] >> 8);
  }
  std::copy(body.begin(), body.end(), m.begin() + 128);
  return m;
}

Bytes entry_bytes(const Volume& vol, EntryRef e) {
  const auto b = vol.bytes(e.offset, kEntrySize);
  return Bytes(b.begin(), b.end());
}

// The MZT file that extracting the entry gives back.
Bytes extracted(const Volume& vol, EntryRef e) {
  Bytes m(128, 0);
  for (uint32_t k = 0; k < 18; ++k) m[k] = vol.field8(e, k);
  for (uint32_t k = 0; k < 6; ++k) m[18 + k] = vol.field8(e, entry::kSize + k);
  const auto body = vol.bytes(uint64_t{vol.start_record(e)} * kRecordSize, vol.file_size(e));
  m.insert(m.end(), body.begin(), body.end());
  return m;
}

bool delete_at(Volume& vol, Report& con, const std::string& path) {
  VolumeEdit edit(vol);
  return delete_file(edit, con, resolve_path(vol, con, path));
}

// A W command on a volume, with the MZT file in a memory host.
struct StoreRun {
  explicit StoreRun(Volume& v, bool verbose = false) : vol(v), con(verbose) {}
  bool store(const std::string& path, const Bytes& mzt, const std::string& name = "in.mzt") {
    host.files[name] = mzt;
    return store_path(path, name);
  }
  bool store_path(const std::string& path, const std::string& name) {
    return store_host_file(vol, con, host, path, name, {}, {});
  }
  Volume& vol;
  Report con;
  testing::MemoryHost host;
};

TEST(StoreMztFileTest, WritesTheEntryAndTheBodyAndExtractsTheSameFile) {
  VolumeBuilder b(64, 1);
  // A freed entry with leftovers in every byte is reused and fully rewritten.
  const EntryRef old = b.add_contiguous(kRoot, "A-MUCH-LONGER-NM", pattern(10));
  b.volume().set_field8(old, entry::kUnnamed, 0x55);
  Report c;
  ASSERT_TRUE(delete_at(b.volume(), c, "A-MUCH-LONGER-NM"));

  StoreRun run(b.volume());
  run.host.times["in.mzt"] = HostTime{2004, 1, 5, 6, 7};
  const Bytes mzt = make_mzt(pattern(0x1234, 7), 0x1200, 0x1203, 1, "HELLO");
  ASSERT_TRUE(run.store("HELLO", mzt));
  EXPECT_EQ(err_text(run.con), "");
  EXPECT_EQ(out_text(run.con), "");

  const std::optional<EntryRef> e = testing::find_entry(b.volume(), "HELLO");
  ASSERT_EQ(e, old);
  const Bytes expected = {0x01, 'H',  'E',  'L',  'L',  'O',  0x0D, 0x0D, 0x0D, 0x0D, 0x0D,
                          0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x80, 0x00, 0x34, 0x12,
                          0x00, 0x12, 0x03, 0x12, 0x04, 0x08, 0xA3, 0x07, 24,   0};
  EXPECT_EQ(entry_bytes(b.volume(), *e), expected);
  EXPECT_EQ(extracted(b.volume(), *e), mzt);
  // 0x1234 bytes take 19 blocks of one record.
  EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), 24 + 19);
}

// An MZT of mode 2 (BASIC) becomes a BTX file, any other mode an OBJ file.
TEST(StoreMztFileTest, TakesNameFromThePathAndModeObjOrBtx) {
  VolumeBuilder b(64, 1);
  const uint32_t games = b.add_directory(kRoot, "GAMES");
  StoreRun run(b.volume());
  run.host.times["in.mzt"] = HostTime{1998, 12, 31, 23, 59};
  ASSERT_TRUE(run.store("GAMES/HELLO", make_mzt(pattern(5), 0, 0, 5, "SOMETHING")));
  const EntryRef e = Volume::entry_at(games, 3);  // after "." and ".."
  const Bytes got = entry_bytes(b.volume(), e);
  EXPECT_EQ(Bytes(got.begin(), got.begin() + 18),
            (Bytes{1, 0x48, 0x45, 0x4C, 0x4C, 0x4F, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13}));
  EXPECT_EQ(Bytes(got.begin() + 26, got.begin() + 30), (Bytes{0x98, 0x96, 0x31, 0xD9}));
  ASSERT_TRUE(run.store("GAMES/PROG", make_mzt(pattern(5), 0x545C, 0, 2, "PROG")));
  EXPECT_EQ(b.volume().mode(Volume::entry_at(games, 4)), mode::kBtx);
  EXPECT_EQ(b.volume().field16(Volume::entry_at(games, 4), entry::kLoadAddress), 0x545C);

  // Without a time from the host the stamp is that of no time at all.
  run.host.times.clear();

  // Sixteen characters fill bytes 1-16; byte 17 is the 0x0D.
  ASSERT_TRUE(run.store("GAMES/ABCDEFGHIJKLMNOP", make_mzt(pattern(5))));
  const EntryRef e16 = Volume::entry_at(games, 5);
  EXPECT_EQ(entry_name_text(b.volume(), e16), "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(b.volume().field8(e16, 17), 0x0D);
  const Bytes all = b.bytes();
  const TimeStamp none = encode_time_stamp(HostTime{});
  EXPECT_EQ(Bytes(all.begin() + e16.offset + 26, all.begin() + e16.offset + 30), Bytes(none.begin(), none.end()));
}

TEST(StoreMztFileTest, FillsTheFirstFreeEntry) {
  VolumeBuilder b(64, 1);
  for (const char* n : {"E1", "E2", "E3", "E4", "E5", "E6"}) b.add_contiguous(kRoot, n, pattern(1));
  Report c;
  ASSERT_TRUE(delete_at(b.volume(), c, "E5"));
  StoreRun run(b.volume());
  ASSERT_TRUE(run.store("NEW", make_mzt(pattern(1))));
  EXPECT_EQ(testing::find_entry(b.volume(), "NEW"), Volume::entry_at(kRoot, 5));
}

TEST(StoreMztFileTest, ReadsOnlyTheHeadersSizeOfBody) {
  VolumeBuilder b(64, 4);
  // Old bytes in the records the file will get.
  std::fill(b.writable().begin() + 24 * 256, b.writable().begin() + 28 * 256, 0xEE);
  Bytes mzt = make_mzt(pattern(300));
  mzt.resize(mzt.size() + 50, 0x77);  // trailing bytes past the body
  StoreRun run(b.volume());
  ASSERT_TRUE(run.store("F", mzt));
  const Bytes& img = b.bytes();
  EXPECT_TRUE(std::equal(img.begin() + 24 * 256, img.begin() + 24 * 256 + 300, mzt.begin() + 128));
  EXPECT_TRUE(std::all_of(img.begin() + 24 * 256 + 300, img.begin() + 28 * 256, [](uint8_t x) { return x == 0xEE; }));

  // A 0-byte body still takes one block and makes an OBJ of size 0.
  ASSERT_TRUE(run.store("EMPTY", make_mzt({})));
  const std::optional<EntryRef> e = testing::find_entry(b.volume(), "EMPTY");
  ASSERT_TRUE(e);
  EXPECT_EQ(b.volume().file_size(*e), 0);
  EXPECT_EQ(b.volume().start_record(*e), 28);
  EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), 6 + 2);
}

TEST(CommandStoreTest, ReplacesAFileThatFillsTheWholeVolume) {
  VolumeBuilder b(24 + 40, 1);
  b.add_contiguous(kRoot, "BIG", pattern(40 * 256, 1));
  ASSERT_EQ(b.volume().sys16(sys::kUsedBlocks), 64);
  StoreRun run(b.volume());
  const Bytes mzt = make_mzt(pattern(40 * 256, 9), 0x4000, 0x4000);
  ASSERT_TRUE(run.store("BIG", mzt));
  const std::optional<EntryRef> e = testing::find_entry(b.volume(), "BIG");
  ASSERT_TRUE(e);
  EXPECT_EQ(extracted(b.volume(), *e), make_mzt(pattern(40 * 256, 9), 0x4000, 0x4000, 1, "BIG"));
  EXPECT_EQ(b.volume().sys16(sys::kUsedBlocks), 64);
}

// Every W that fails prints its own message and leaves the volume exactly as
// it was, the former file of the path included.
TEST(CommandStoreTest, AFailedStoreLeavesTheVolumeAsItWas) {
  const std::string dir_missing = message_text(msg::kDirectoryNotFound, "NODIR");
  const struct {
    const char* what;
    std::string path;
    Bytes mzt;  // empty: no MZT file at all
    std::string err;
  } cases[] = {
      {"no MZT file", "OLD", {}, message_text(msg::kHostFileNotFound, "in.mzt")},
      {"short header", "OLD", Bytes(127, 0), message_text(msg::kNotMzt, "in.mzt")},
      // The free bytes count the blocks of the file W replaces.
      {"no room", "OLD", make_mzt(pattern(60 * 256)),
       message_text(msg::kNoSpace) + message_text(msg::kSpaceNeeded, "OLD", 15360u, 6144u)},
      {"no room comes before a bad path", "SUB/", make_mzt(pattern(60 * 256)),
       message_text(msg::kNoSpace) + message_text(msg::kSpaceNeeded, "SUB/", 15360u, 4864u)},
      {"missing directory", "NODIR/X", make_mzt(pattern(10)), dir_missing + dir_missing},
      {"path ends in '/'", "SUB/", make_mzt(pattern(10)), message_text(msg::kNoFileName)},
      {"empty path", "", make_mzt(pattern(10)), message_text(msg::kNoFileName)},
      {"name too long", "SUB/ABCDEFGHIJKLMNOPQ", make_mzt(pattern(10)),
       message_text(msg::kNameTooLong, "ABCDEFGHIJKLMNOPQ")},
      {"over-long middle component", "ABCDEFGHIJKLMNOPQ/X", make_mzt(pattern(10)),
       message_text(msg::kNameTooLong, "ABCDEFGHIJKLMNOPQ")},
      {"over-long component before a trailing '/'", "SUB/ABCDEFGHIJKLMNOPQ/", make_mzt(pattern(10)),
       message_text(msg::kNameTooLong, "ABCDEFGHIJKLMNOPQ")},
      {"only slashes", "//", make_mzt(pattern(10)), message_text(msg::kNoFileName)},
      {"slashes after a directory", "SUB///", make_mzt(pattern(10)), message_text(msg::kNoFileName)},
      {"slashes before a directory", "//SUB/", make_mzt(pattern(10)), message_text(msg::kNoFileName)},
      {"empty middle component", "SUB///NEW", make_mzt(pattern(10)),
       message_text(msg::kDirectoryNotFound, "SUB///NEW")},
      {"directory full", "FULL/NEW", make_mzt(pattern(10)),
       message_text(msg::kDirectoryFull) + message_text(msg::kDirectoryFullNamed, "FULL")},
      {"short body", "OLD", make_mzt(pattern(9), 0, 0, 1, "X", 10), message_text(msg::kReadFailed, "in.mzt")},
      {"directory in the way", "SUB", make_mzt(pattern(10)), message_text(msg::kIsDirectory, "SUB")},
      {"a file named . in the root", ".", make_mzt(pattern(10)), message_text(msg::kAlreadyExists, ".")},
  };
  for (const auto& c : cases) {
    VolumeBuilder b(24 + 40, 1);
    b.add_contiguous(kRoot, "OLD", pattern(5 * 256));
    b.add_directory(kRoot, "SUB");
    const uint32_t full = b.add_directory(kRoot, "FULL");
    for (int i = 3; i < kEntriesPerDirectory; ++i) b.add_entry(full, mode::kObj, "F", 0, 0);
    const Bytes before = b.bytes();
    StoreRun run(b.volume());
    if (!c.mzt.empty()) run.host.files["in.mzt"] = c.mzt;
    EXPECT_FALSE(run.store_path(c.path, "in.mzt")) << c.what;
    EXPECT_EQ(err_text(run.con), c.err) << c.what;
    EXPECT_EQ(b.bytes(), before) << c.what;
  }
}

TEST(CommandStoreTest, AFailedReplacementKeepsTheFormerFileAfterItsDelete) {
  // The former file's own blocks would fit the body; the store fails on a
  // short body after the delete, the allocation and the entry were done.
  VolumeBuilder b(24 + 8, 1);
  b.add_contiguous(kRoot, "OLD", pattern(8 * 256));
  const Bytes before = b.bytes();
  StoreRun run(b.volume(), true);
  EXPECT_FALSE(run.store("OLD", make_mzt(pattern(100), 0, 0, 1, "X", 2048)));
  EXPECT_EQ(b.bytes(), before);
  // It really went that far: blocks were released and claimed again.
  EXPECT_NE(out_text(run.con).find("Free record"), std::string::npos);
  EXPECT_NE(out_text(run.con).find("reserve bitmap"), std::string::npos);
}

}  // namespace
}  // namespace tarnwick
