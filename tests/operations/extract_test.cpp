#include "operations/extract.h"
#include "operations/tree.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "operations/volume_report.h"
#include "support/image_builder.h"
#include "support/memory_host.h"
#include "support/message_text.h"
#include "volume/timestamp.h"

namespace tarnwick {
namespace {

using testing::err_text;
using testing::message_text;
using testing::out_text;

using testing::Bytes;
using testing::FileOptions;
using testing::pattern;
using testing::VolumeBuilder;

constexpr uint32_t kRoot = kRootDirectoryRecord;
constexpr uint16_t kPastEnd = 400;  // the test volume has records 0-399

std::string found(const std::string& name) {
  return message_text(msg::kFileTrace, name.c_str()) + message_text(msg::kFileFound, name.c_str());
}

FileOptions opt(TimeStamp stamp, uint16_t load = 0, uint16_t exec = 0) {
  FileOptions o;
  o.stamp = stamp;
  o.load_address = load;
  o.exec_address = exec;
  return o;
}

Bytes slice(const Bytes& b, size_t from, size_t n) {
  return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + n));
}

class ExtractTest : public ::testing::Test {
 protected:
  VolumeBuilder b{400, 1};
  testing::MemoryHost host;
  Report con;

  // R of `path` into `out` as the front end runs it; what `out` then holds.
  Bytes run(const std::string& path, const std::string& out = "out.bin") {
    extract_to_host(b.volume(), con, host, "disk.hdd", path, out, {}, {});
    return host.files.count(out) ? host.files[out] : Bytes{};
  }
  HostTime out_time() { return host.times.count("out.bin") ? host.times["out.bin"] : HostTime{}; }
  uint32_t link_of(uint32_t record) { return b.volume().le16(record * kRecordSize + kChainLink); }
};

TEST_F(ExtractTest, ObjAndBtxBecomeMztFiles) {
  const Bytes data = pattern(0x1234, 9);
  b.add_contiguous(kRoot, "GAME", data, mode::kObj, opt({0x24, 0x81, 0x24, 0x07}, 0x1200, 0x1203));
  Bytes mzt = run("/GAME");
  EXPECT_EQ(out_text(con), found("GAME"));
  EXPECT_EQ(err_text(con), "");
  ASSERT_EQ(mzt.size(), 128u + 0x1234);
  EXPECT_EQ(slice(mzt, 0, 6), (Bytes{1, 'G', 'A', 'M', 'E', 0x0D}));
  EXPECT_EQ(slice(mzt, 18, 6), (Bytes{0x34, 0x12, 0x00, 0x12, 0x03, 0x12}));
  EXPECT_EQ(slice(mzt, 24, 104), Bytes(104, 0));  // attribute, stamp, start record stay out
  EXPECT_EQ(slice(mzt, 128, 0x1234), data);
  EXPECT_EQ(out_time(), (HostTime{2024, 10, 9, 8, 7}));

  // The whole name field travels, bytes after the 0x0D included.
  const EntryRef btx = b.add_contiguous(kRoot, "AB", pattern(300), mode::kBtx);
  const Bytes field = {'A', 'B', 0x0D, 'x', 0x00, 0xFF, 0x0D, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  for (uint32_t i = 0; i < field.size(); ++i) b.volume().set_field8(btx, entry::kName + i, field[i]);
  mzt = run("AB");
  ASSERT_EQ(mzt.size(), 128u + 300);
  EXPECT_EQ(mzt[0], 2);
  EXPECT_EQ(slice(mzt, 1, 17), field);

  // An empty file is the header alone; nothing is read, wherever it starts.
  const EntryRef empty = b.add_contiguous(kRoot, "EMPTY", {}, mode::kObj);
  b.volume().set_field16(empty, entry::kStartRecord, 0xFFFF);
  EXPECT_EQ(run("EMPTY").size(), 128u);
  EXPECT_EQ(err_text(con), "");
}

TEST_F(ExtractTest, TheTimeStampFollowsTheCenturyRule) {
  b.add_contiguous(kRoot, "OLD", pattern(1), mode::kObj, opt({0x85, 0x08, 0x20, 0x00}));
  b.add_contiguous(kRoot, "NEW", pattern(1), mode::kObj, opt({0x84, 0x96, 0x31, 0xD9}));
  run("OLD");
  EXPECT_EQ(out_time(), (HostTime{1985, 1, 1, 0, 0}));
  run("NEW");
  EXPECT_EQ(out_time(), (HostTime{2084, 12, 31, 23, 59}));
}

TEST_F(ExtractTest, BsdAndBrdGiveTheirBareData) {
  const Bytes data = pattern(4096 + 32, 7);
  for (size_t size : {254u, 255u}) {
    b.add_bsd(kRoot, "BSD" + std::to_string(size), slice(data, 0, size));
    EXPECT_EQ(run("BSD" + std::to_string(size)), slice(data, 0, size));
  }
  b.add_entry(kRoot, mode::kBsd, "BSD0", 0, 0xFFFF);  // size 0: nothing is read
  EXPECT_EQ(run("BSD0"), Bytes{});
  // A chain that ends before the size is a shorter file: two records' data.
  const EntryRef shorter = b.add_bsd(kRoot, "SHORT", slice(data, 0, 300));
  b.volume().set_field16(shorter, entry::kSize, 1000);
  Bytes want = slice(data, 0, 300);
  want.resize(2 * kChainData, 0);
  EXPECT_EQ(run("SHORT"), want);

  b.add_brd(kRoot, "BRD128", slice(data, 0, 4096));
  EXPECT_EQ(run("BRD128"), slice(data, 0, 4096));
  b.add_brd(kRoot, "BRD129", data);
  EXPECT_EQ(run("BRD129"), data);
  const uint32_t index = b.claim_blocks(1);  // all slots 0
  b.add_entry(kRoot, mode::kBrd, "NO RUNS", 10, static_cast<uint16_t>(index));
  EXPECT_EQ(run("NO RUNS"), Bytes{});
  EXPECT_EQ(err_text(con), "");
}

TEST_F(ExtractTest, AFullBrdIndexEndsAfterItsLastSlot) {
  VolumeBuilder big(140, 16);  // one block per run
  const Bytes data = pattern(128 * kRunSize, 1);
  const EntryRef e = big.add_brd(kRoot, "BIG", data);
  big.volume().set_field16(e, entry::kSize, 0xFFFF);
  big.volume().put16((big.volume().start_record(e) + 1) * kRecordSize, 0xFFFF);  // a 129th slot would read this
  b = std::move(big);
  EXPECT_EQ(run("BIG"), data);
  EXPECT_EQ(err_text(con), "");
}

// A refused entry leaves an empty host file with its time where there was
// none; a file that stands there keeps its bytes and its time.
TEST_F(ExtractTest, DirectoriesAndOtherModesLeaveAnEmptyFileWithTheirTime) {
  b.add_directory(kRoot, "GAMES", opt({0x99, 0x96, 0x31, 0xD9}));
  EXPECT_EQ(run("GAMES"), Bytes{});
  EXPECT_EQ(out_text(con), found("GAMES"));
  EXPECT_EQ(err_text(con), message_text(msg::kIsDirectory, "GAMES"));
  EXPECT_EQ(out_time(), (HostTime{1999, 12, 31, 23, 59}));
  for (uint8_t m : {mode::kRb, mode::kLib, mode::kSys, mode::kGr, uint8_t{0x2C}}) {
    con = Report(con.verbose());
    host.files.erase("out.bin");
    const std::string name = "MODE" + std::to_string(m);
    b.add_other(kRoot, name, m, opt({0x00, 0x08, 0x20, 0x00}));
    EXPECT_EQ(run(name), Bytes{});
    EXPECT_EQ(out_text(con), found(name));
    EXPECT_EQ(err_text(con), message_text(msg::kUnsupportedMode, unsigned{m}));
    EXPECT_EQ(out_time(), (HostTime{2000, 1, 1, 0, 0}));
  }
  host.files["kept.bin"] = pattern(5);
  EXPECT_EQ(run("GAMES", "kept.bin"), pattern(5));
  EXPECT_FALSE(host.times.count("kept.bin"));
}

TEST_F(ExtractTest, NoHostFileForAMissingPathOrTheImageItself) {
  b.add_directory(kRoot, "GAMES");
  b.add_contiguous(kRoot, "GAME", pattern(10));
  run("GAMES/NOPE");
  run("TOOLS/NOPE");
  EXPECT_EQ(out_text(con), "");
  EXPECT_EQ(err_text(con), message_text(msg::kPathNotFound, "GAMES/NOPE") + message_text(msg::kDirectoryNotFound, "TOOLS") +
                                message_text(msg::kPathNotFound, "TOOLS/NOPE"));
  EXPECT_TRUE(host.files.empty());

  con = Report(con.verbose());
  host.files["disk.hdd"] = b.bytes();
  EXPECT_EQ(run("GAME", "disk.hdd"), b.bytes());
  EXPECT_EQ(err_text(con), message_text(msg::kCannotWrite, "disk.hdd"));
  EXPECT_TRUE(host.times.empty());
}

TEST_F(ExtractTest, VerboseModePrintsTheFileLinesTwice) {
  b.add_contiguous(kRoot, "GAME", pattern(10));
  con = Report(true);
  run("GAME");
  EXPECT_EQ(out_text(con), found("GAME") + found("GAME"));
}

// One fault per case, on a volume holding one file named FILE.
struct Damage {
  const char* what;
  uint8_t mode;
  void (*spoil)(Volume& v, EntryRef e);
};
// GoogleTest would print a case as its raw bytes, padding included.
void PrintTo(const Damage& d, std::ostream* os) { *os << d.what; }

class ExtractDamageTest : public ExtractTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(ExtractDamageTest, IsReportedBeforeAnythingIsWritten) {
  const FileOptions when = opt({0x98, 0x96, 0x31, 0xD9});
  const uint8_t m = GetParam().mode;
  const EntryRef e = m == mode::kBsd   ? b.add_bsd(kRoot, "FILE", pattern(1000), when)
                     : m == mode::kBrd ? b.add_brd(kRoot, "FILE", pattern(3 * kRunSize), when)
                                       : b.add_contiguous(kRoot, "FILE", pattern(1000), m, when);
  GetParam().spoil(b.volume(), e);
  const Bytes before = b.bytes();
  EXPECT_EQ(run("FILE"), Bytes{});
  EXPECT_EQ(out_text(con), found("FILE"));
  EXPECT_EQ(err_text(con), message_text(msg::kDataDamaged, "FILE"));
  EXPECT_EQ(out_time(), (HostTime{1998, 12, 31, 23, 59}));
  EXPECT_EQ(b.bytes(), before);
}

void set_start(Volume& v, EntryRef e, uint16_t r) { v.set_field16(e, entry::kStartRecord, r); }
uint32_t first_byte(const Volume& v, EntryRef e) { return v.start_record(e) * kRecordSize; }
uint32_t link_of(const Volume& v, uint32_t r) { return v.le16(r * kRecordSize + kChainLink); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractDamageTest,
    ::testing::Values(
        Damage{"ObjStartPastTheEnd", mode::kObj, [](Volume& v, EntryRef e) { set_start(v, e, kPastEnd); }},
        Damage{"BtxRunningOffTheEnd", mode::kBtx, [](Volume& v, EntryRef e) { set_start(v, e, kPastEnd - 3); }},
        Damage{"BsdStartPastTheEnd", mode::kBsd, [](Volume& v, EntryRef e) { set_start(v, e, 0xFFFF); }},
        Damage{"BsdLinkPastTheEnd", mode::kBsd,
               [](Volume& v, EntryRef e) { v.put16(first_byte(v, e) + kChainLink, kPastEnd); }},
        Damage{"BsdRecordLinkedToItself", mode::kBsd,
               [](Volume& v, EntryRef e) { v.put16(first_byte(v, e) + kChainLink, v.start_record(e)); }},
        Damage{"BsdChainComingBack", mode::kBsd,
               [](Volume& v, EntryRef e) {
                 const uint32_t third = link_of(v, link_of(v, v.start_record(e)));
                 v.put16(third * kRecordSize + kChainLink, v.start_record(e));
                 v.set_field16(e, entry::kSize, 0xFFFF);
               }},
        Damage{"BrdIndexPastTheEnd", mode::kBrd, [](Volume& v, EntryRef e) { set_start(v, e, kPastEnd); }},
        Damage{"BrdRunPastTheEnd", mode::kBrd, [](Volume& v, EntryRef e) { v.put16(first_byte(v, e) + 4, kPastEnd); }},
        Damage{"BrdRunRunningOffTheEnd", mode::kBrd,
               [](Volume& v, EntryRef e) { v.put16(first_byte(v, e) + 2, kPastEnd - 8); }}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.what); });

TEST_F(ExtractTest, LinksAndSlotsPastTheSizeAreNeverFollowed) {
  const EntryRef bsd = b.add_bsd(kRoot, "BSD", pattern(600));  // three records, two needed
  b.volume().set_field16(bsd, entry::kSize, 2 * kChainData);
  b.volume().put16(link_of(b.volume().start_record(bsd)) * kRecordSize + kChainLink, 0xFFFF);
  EXPECT_EQ(run("BSD"), pattern(2 * kChainData));
  const EntryRef brd = b.add_brd(kRoot, "BRD", pattern(kRunSize));
  b.volume().put16(b.volume().start_record(brd) * kRecordSize + 2, 0xFFFF);
  EXPECT_EQ(run("BRD"), pattern(kRunSize));
  EXPECT_EQ(err_text(con), "");
}

TEST_F(ExtractTest, AFailedTimeStampIsReportedAndTheFileStays) {
  b.add_contiguous(kRoot, "GAME", pattern(1000));
  host.fail_set_time = true;
  EXPECT_EQ(run("GAME").size(), 1128u);
  EXPECT_EQ(out_text(con), found("GAME"));
  EXPECT_EQ(err_text(con), message_text(msg::kCannotSetTime, "out.bin"));
}

// X: every file and folder is stamped through its own handle, every folder
// made durable once its contents are done and the top one last; a failure
// of either is reported and the files stay.
TEST_F(ExtractTest, TreeReportsEachFailedStampAndSync) {
  b.add_contiguous(kRoot, "TOP", pattern(100));
  const uint32_t sub = b.add_directory(kRoot, "SUB", opt(encode_time_stamp(HostTime{1986, 4, 1, 18, 0})));
  b.add_bsd(sub, "IN", pattern(300));
  struct Case {
    bool fail_time, fail_durable;
    std::string err;
  };
  for (const Case& c :
       {Case{false, false, ""},
        Case{true, false,
             message_text(msg::kCannotSetTime, "TOP") + message_text(msg::kCannotSetTime, "SUB/IN") +
                 message_text(msg::kCannotSetTime, "SUB")},
        Case{false, true, message_text(msg::kCannotWrite, "SUB") + message_text(msg::kCannotWrite, "out")}}) {
    host = testing::MemoryHost();
    con = Report(con.verbose());
    host.fail_set_time = c.fail_time;
    host.fail_durable = c.fail_durable;
    extract_tree(b.volume(), con, host, "/", "out", {}, {});
    EXPECT_EQ(out_text(con), "TOP\nSUB/IN\n" + message_text(msg::kFilesExtracted, 2));
    EXPECT_EQ(err_text(con), c.err);
    EXPECT_EQ(host.files["out/TOP.mzt"].size(), 228u);
    EXPECT_EQ(host.files["out/SUB/IN.bsd"], pattern(300));
    EXPECT_EQ(host.durable_calls, 2);
    if (!c.fail_time) {
      EXPECT_EQ(host.times["out/SUB"], (HostTime{1986, 4, 1, 18, 0}));
      EXPECT_EQ(host.times["out/SUB/IN.bsd"], (HostTime{1998, 12, 31, 23, 59}));
    }
  }
}

// Records each write: data must go out in whole stretches, not piecemeal.
class RecordingFile final : public File {
 public:
  std::vector<std::pair<uint64_t, size_t>> writes;
  size_t read_at(uint64_t, void*, size_t) override { return 0; }
  size_t write_at(uint64_t offset, const void*, size_t n) override {
    writes.emplace_back(offset, n);
    return n;
  }
  bool failed() override { return false; }
  std::string failure_text() override { return ""; }
  bool last_write_time(HostTime&) override { return false; }
  bool sync() override { return true; }
  bool close() override { return true; }
  uint64_t link_count() override { return 1; }
  std::optional<uint64_t> size() override { return std::nullopt; }
  std::optional<HostPath> real_path(const HostPath&) override { return std::nullopt; }
  std::optional<std::string> lock_unavailable() override { return std::nullopt; }
};

// Each file's buffer is prepared by the host in one call before it is
// filled.
TEST_F(ExtractTest, EachFileGoesOutInOneWrite) {
  b.add_contiguous(kRoot, "OBJ", pattern(5000));
  b.add_bsd(kRoot, "BSD", pattern(600));
  b.add_brd(kRoot, "BRD", pattern(10000));  // three runs stored one after the other
  using Writes = std::vector<std::pair<uint64_t, size_t>>;
  auto writes = [&](const char* path, Extraction want) {
    RecordingFile f;
    std::vector<uint8_t> buffer;
    const MemoryHint hint = [this](void* p, size_t n) { host.prepare_for_writing(p, n); };
    EXPECT_EQ(extract_contents(b.volume(), con, hint, *resolve_path(b.volume(), con, path).entry, path, f, buffer), want);
    return f.writes;
  };
  EXPECT_EQ(writes("OBJ", Extraction::kWritten), (Writes{{0, 5128}}));
  EXPECT_EQ(writes("BSD", Extraction::kWritten), (Writes{{0, 600}}));
  EXPECT_EQ(writes("BRD", Extraction::kWritten), (Writes{{0, 10016}}));
  EXPECT_EQ(host.prepare_calls, 3);
  EXPECT_EQ(host.prepared_bytes, 5128u + 600u + 10016u);
}

}  // namespace
}  // namespace tarnwick
