#include "operations/check.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>

#include "support/image_builder.h"
#include "support/message_text.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::FileOptions;
using testing::message_text;
using testing::pattern;
using testing::VolumeBuilder;

constexpr uint32_t kRoot = kRootDirectoryRecord;

struct CheckRun {
  bool result = false;
  std::string out, err;
};

CheckRun run_check(Volume& v, bool verbose = false) {
  Console con;
  CheckRun r;
  const CheckReport check = sanity_check(v, verbose);
  // Files moved by hand lie in blocks the bitmap shows free; those notices
  // have tests of their own.
  for (const Line& l : check.lines.lines()) {
    if (l.message != &msg::kBlocksFreeFixable && l.message != &msg::kBlocksFree) con.show(l);
  }
  r.result = check.walked;
  r.out = con.out_text();
  r.err = con.err_text();
  return r;
}

const std::string kFailed = msg::kCheckFailed.bytes;
const std::string kPassed = msg::kCheckPassed.bytes;

// Expects the walk to stop at one fault: its message alone on standard
// error, then the one "Sanity check: エラー" line.
void expect_walk_fault(Volume& v, const std::string& message) {
  const CheckRun r = run_check(v);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.err, message);
  EXPECT_EQ(r.out, kFailed);
}

// Expects the check to stop before the walk: the message and no
// "Sanity check:" line, even in verbose mode.
void expect_early_stop(Volume& v, const std::string& message) {
  const CheckRun r = run_check(v, true);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.err, message);
  EXPECT_EQ(r.out, "");
}

void expect_clean(Volume& v) {
  const CheckRun r = run_check(v);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "");
}

// A file of every mode and a subdirectory tree.
void fill_sample(VolumeBuilder& b) {
  b.add_contiguous(kRoot, "HELLO", pattern(1000));
  b.add_contiguous(kRoot, "TITLE PICTURE", pattern(3000), mode::kBtx);
  b.add_bsd(kRoot, "SCORES", pattern(700));
  b.add_brd(kRoot, "MAP DATA", pattern(5000));
  b.add_other(kRoot, "RB FILE", mode::kRb);
  b.add_other(kRoot, "LIBRARY", mode::kLib);
  b.add_other(kRoot, "SYSTEM", mode::kSys);
  b.add_other(kRoot, "GRAPHICS", mode::kGr);
  const uint32_t games = b.add_directory(kRoot, "GAMES");
  b.add_contiguous(games, "SPACE WAR", pattern(12000), mode::kObj);
  const uint32_t tools = b.add_directory(games, "TOOLS");
  b.add_contiguous(tools, "EDITOR", pattern(256));
}

uint16_t start_of(Volume& v, EntryRef e) { return v.start_record(e); }

TEST(SanityCheckTest, ACleanVolumePrintsNothingAndPassesInVerboseMode) {
  for (int rpb : {1, 2, 16, 32}) {
    SCOPED_TRACE(rpb);
    VolumeBuilder b(static_cast<uint16_t>(rpb == 1 ? 600 : 4000 / rpb), rpb);
    fill_sample(b);
    Volume& v = b.volume();
    const Bytes before = b.bytes();
    expect_clean(v);
    EXPECT_EQ(b.bytes(), before);

    const CheckRun verbose = run_check(v, true);
    EXPECT_EQ(verbose.err, "");
    ASSERT_GE(verbose.out.size(), kPassed.size());
    EXPECT_EQ(verbose.out.substr(verbose.out.size() - kPassed.size()), kPassed);
  }
}

TEST(SanityCheckTest, VerboseModeTracesEachNameAndEachRecordTested) {
  VolumeBuilder b(40, 2);  // reserved blocks 0-11 (records 0-23)
  b.add_contiguous(kRoot, "HELLO", pattern(300));  // block 12: records 24, 25
  b.add_other(kRoot, "RB FILE", mode::kRb);
  b.add_contiguous(kRoot, "CLASH", pattern(10));  // moved below into HELLO's block
  Volume& v = b.volume();
  CheckRun r = run_check(v, true);
  const std::string hello = "HELLO\n" + message_text(msg::kRecordStatusTrace, 0x18u, 0) +
                            message_text(msg::kRecordStatusTrace, 0x19u, 0) + "RB FILE\n";
  EXPECT_EQ(r.out, hello + "CLASH\n" + message_text(msg::kRecordStatusTrace, 0x1Cu, 0) +
                       message_text(msg::kRecordStatusTrace, 0x1Du, 0) + kPassed);
  EXPECT_EQ(r.out.substr(0, 43), "HELLO\nsanity_check_record_status[0018] = 0\n");

  // The conflict traces the claimed record it meets, then stops the walk.
  v.set_field16(Volume::entry_at(kRoot, 3), entry::kStartRecord, 25);
  r = run_check(v, true);
  EXPECT_EQ(r.out, hello + "CLASH\n" + message_text(msg::kRecordStatusTrace, 0x18u, 1) + kFailed);
  EXPECT_EQ(r.err, message_text(msg::kContiguousFileError, "OBJ", "CLASH"));
}

TEST(SanityCheckTest, RecordsPerBlockAbove32StopsTheCheck) {
  VolumeBuilder b(100);
  Volume& v = b.volume();
  v.set_sys8(sys::kRecordsPerBlockMinusOne, 0x20);
  expect_early_stop(v, message_text(msg::kBadRecordsPerBlock, 33));
  v.set_sys8(sys::kRecordsPerBlockMinusOne, 0xFF);
  expect_early_stop(v, message_text(msg::kBadRecordsPerBlock, 256));

  VolumeBuilder ok(10, 32, 1);  // 0x1F: 32 records per block is accepted
  expect_clean(ok.volume());
}

TEST(SanityCheckTest, ASystemRecordThatDoesNotFitTheVolumeStopsTheCheck) {
  const std::string bad = msg::kBadSystemRecord.bytes;
  {
    VolumeBuilder b(100);  // reserved 24
    b.volume().set_sys16(sys::kTotalBlocks, 23);
    expect_early_stop(b.volume(), bad);
  }
  {
    VolumeBuilder b(100);
    b.volume().set_sys16(sys::kTotalBlocks, 101);  // past the image
    expect_early_stop(b.volume(), bad);
  }
  {
    VolumeBuilder b(100);
    b.volume().set_sys8(sys::kRecordsPerBlockMinusOne, 1);  // 200 records
    expect_early_stop(b.volume(), bad);
  }
  {
    VolumeBuilder b(2017);  // 1993 data blocks: the bitmap would reach byte 255
    expect_early_stop(b.volume(), bad);
  }
  // The limits themselves are sound.
  VolumeBuilder most(2016);  // 1992 data blocks
  most.add_contiguous(kRoot, "LAST", pattern(10));
  expect_clean(most.volume());
  VolumeBuilder none(24);  // no data blocks at all
  expect_clean(none.volume());
}

TEST(SanityCheckTest, AMiscountedBitmapStopsTheCheck) {
  VolumeBuilder b(100);
  b.add_contiguous(kRoot, "A", pattern(10));  // used blocks 25
  Volume& v = b.volume();
  v.put8(Volume::kSystemOffset + sys::kBitmap + 5, 0x10);  // one bit more
  expect_early_stop(v, message_text(msg::kUsedBlocksMismatch, 25, 26));
  v.put8(Volume::kSystemOffset + sys::kBitmap + 5, 0x00);
  v.set_sys16(sys::kUsedBlocks, 0x1FF);
  expect_early_stop(v, message_text(msg::kUsedBlocksMismatch, 0x1FF, 25));
  v.set_sys16(sys::kUsedBlocks, 25);
  // Bits past the last data block (76 of them here) are not counted.
  v.put8(Volume::kSystemOffset + sys::kBitmap + 9, 0xF0);
  expect_clean(v);
}

TEST(SanityCheckTest, DirectoryHeadersMustBeNormal) {
  VolumeBuilder b(200);
  const uint32_t sub = b.add_directory(kRoot, "SUB");
  const uint32_t deep = b.add_directory(sub, "DEEP");
  Volume& v = b.volume();
  const std::string swapped = msg::kSwappedDirectory.bytes;
  const std::string header = msg::kBadDirectoryHeader.bytes;
  v.put8(kRoot * kRecordSize, kDirectorySwapped);
  expect_walk_fault(v, swapped);
  v.put8(kRoot * kRecordSize, 0x00);
  expect_walk_fault(v, header);
  v.put8(kRoot * kRecordSize, kDirectoryNormal);
  v.put8(deep * kRecordSize, kDirectorySwapped);
  expect_walk_fault(v, swapped);
  v.put8(deep * kRecordSize, 0x82);
  expect_walk_fault(v, header);
}

TEST(SanityCheckTest, FilesSharingABlockAreReportedAtTheSecond) {
  VolumeBuilder b(100, 4);  // reserved blocks 0-5
  const EntryRef first = b.add_contiguous(kRoot, "FIRST", pattern(256));
  Volume& v = b.volume();
  const uint16_t s = start_of(v, first);
  // Another record of the same block: two files never share a block.
  b.add_entry(kRoot, mode::kBtx, "SECOND", 100, static_cast<uint16_t>(s + 2));
  expect_walk_fault(v, message_text(msg::kContiguousFileError, "BTX", "SECOND"));
  // Modes the tool does not read claim nothing and are never tested.
  v.set_field8(Volume::entry_at(kRoot, 2), entry::kMode, mode::kGr);
  expect_clean(v);
  for (uint8_t m : {mode::kRb, mode::kLib, mode::kSys, uint8_t{6}, uint8_t{0x80}}) {
    v.set_field8(Volume::entry_at(kRoot, 2), entry::kMode, m);
    expect_clean(v);
  }
}

TEST(SanityCheckTest, FilesInTheReservedRecordsOrOfNoLengthAreReported) {
  VolumeBuilder b(100, 4);
  const EntryRef e = b.add_contiguous(kRoot, "PROG", pattern(100));
  Volume& v = b.volume();
  const std::string err = message_text(msg::kContiguousFileError, "OBJ", "PROG");
  for (uint16_t start : {0, 5, 16, 23}) {
    v.set_field16(e, entry::kStartRecord, start);
    expect_walk_fault(v, err);
  }
  v.set_field16(e, entry::kStartRecord, 24);
  expect_clean(v);
  v.set_field16(e, entry::kSize, 0);
  expect_walk_fault(v, err);
}

TEST(SanityCheckTest, RecordsOutsideTheVolumeAreAConflictOfTheirEntry) {
  VolumeBuilder b(100);  // records 0-99
  const EntryRef obj = b.add_contiguous(kRoot, "PROG", pattern(100));
  Volume& v = b.volume();
  const std::string err = message_text(msg::kContiguousFileError, "OBJ", "PROG");
  for (uint16_t start : {100, 0xFFFF}) {
    v.set_field16(obj, entry::kStartRecord, start);
    expect_walk_fault(v, err);
  }
  v.set_field16(obj, entry::kStartRecord, 99);
  v.set_field16(obj, entry::kSize, 257);  // the second record would be 100
  expect_walk_fault(v, err);
  v.set_field16(obj, entry::kSize, 256);
  expect_clean(v);

  const EntryRef dir = b.add_entry(kRoot, mode::kDir, "FAR", 0, 95);  // records 95-102
  expect_walk_fault(v, message_text(msg::kSubdirectoryError, "/FAR"));
  v.set_field16(dir, entry::kStartRecord, 0xFFFF);
  expect_walk_fault(v, message_text(msg::kSubdirectoryError, "/FAR"));
  v.set_field8(dir, entry::kMode, mode::kFree);

  const EntryRef bsd = b.add_entry(kRoot, mode::kBsd, "CHAIN", 10, 0xFFFF);
  expect_walk_fault(v, message_text(msg::kBsdFileError, "CHAIN"));
  v.set_field16(bsd, entry::kStartRecord, 50);
  v.put16(50 * kRecordSize + kChainLink, 100);
  expect_walk_fault(v, message_text(msg::kBsdFileError, "CHAIN"));
  v.put16(50 * kRecordSize + kChainLink, 0);
  expect_clean(v);

  const EntryRef brd = b.add_entry(kRoot, mode::kBrd, "RUNS", 1, 0xFFFF);
  expect_walk_fault(v, message_text(msg::kBrdFileError, "RUNS"));
  v.set_field16(brd, entry::kStartRecord, 60);
  v.put16(60 * kRecordSize, 85);  // records 85-100: the last is outside
  expect_walk_fault(v, message_text(msg::kBrdFileError, "RUNS"));
  v.put16(60 * kRecordSize, 70);
  expect_clean(v);
}

TEST(SanityCheckTest, BsdChainsThatLoopOrComeBackAreConflicts) {
  VolumeBuilder b(100, 4);  // records 0-399, reserved 0-23
  const EntryRef e = b.add_bsd(kRoot, "CHAIN", pattern(600));  // blocks 6, 7, 8
  Volume& v = b.volume();
  expect_clean(v);
  const std::string err = message_text(msg::kBsdFileError, "CHAIN");
  auto link = [&](uint32_t from, uint16_t to) { v.put16(uint64_t{from} * kRecordSize + kChainLink, to); };

  v.set_field16(e, entry::kStartRecord, 0);  // no records at all
  expect_walk_fault(v, err);
  v.set_field16(e, entry::kStartRecord, 40);
  link(40, 40);  // a record that links to itself
  expect_walk_fault(v, err);
  link(40, 41);  // a loop inside one block
  link(41, 42);
  link(42, 41);
  expect_walk_fault(v, err);
  link(42, 60);  // out of the block and back into it
  link(60, 43);
  link(43, 0);
  expect_walk_fault(v, err);
  link(60, 61);  // the same chain, ending in the second block
  link(61, 0);
  expect_clean(v);
}

TEST(SanityCheckTest, BrdRunsMustNotOverlapAnything) {
  VolumeBuilder b(200, 4);  // runs of 16 records span 4 blocks
  const EntryRef other = b.add_contiguous(kRoot, "OTHER", pattern(100));
  const EntryRef e = b.add_brd(kRoot, "MAP", pattern(9000));  // index and 3 runs
  Volume& v = b.volume();
  expect_clean(v);
  const uint32_t index = v.start_record(e);
  const uint16_t run0 = v.le16(index * kRecordSize);
  const std::string err = message_text(msg::kBrdFileError, "MAP");

  v.put16(index * kRecordSize + 2, run0);  // two runs on the same records
  expect_walk_fault(v, err);
  v.put16(index * kRecordSize + 2, static_cast<uint16_t>(index + 1));  // the index's block
  expect_walk_fault(v, err);
  // The run's last block is someone else's.
  v.put16(index * kRecordSize + 2, static_cast<uint16_t>(v.start_record(other) - 12));
  expect_walk_fault(v, err);
  v.put16(index * kRecordSize + 2, 0);  // the list ends early: one run only
  expect_clean(v);
  v.set_field16(e, entry::kStartRecord, static_cast<uint16_t>(v.start_record(other) + 1));
  expect_walk_fault(v, err);
}

TEST(SanityCheckTest, DotEntriesMustPointAtTheirDirectories) {
  VolumeBuilder b(200);
  const uint32_t sub = b.add_directory(kRoot, "SUB");
  const uint32_t other = b.add_directory(kRoot, "OTHER");
  Volume& v = b.volume();
  const EntryRef dot = Volume::entry_at(sub, 1);
  const EntryRef dotdot = Volume::entry_at(sub, 2);

  v.set_field16(dot, entry::kStartRecord, static_cast<uint16_t>(other));
  expect_walk_fault(v, msg::kDotNotSelf.bytes);
  v.set_field16(dot, entry::kStartRecord, static_cast<uint16_t>(sub));
  v.set_field16(dotdot, entry::kStartRecord, static_cast<uint16_t>(other));
  expect_walk_fault(v, msg::kDotDotNotParent.bytes);
  v.set_field16(dotdot, entry::kStartRecord, static_cast<uint16_t>(kRoot));
  expect_clean(v);

  // The root may have a "." but never a "..".
  b.add_entry(kRoot, mode::kDir, ".", 0, static_cast<uint16_t>(kRoot));
  expect_clean(v);
  b.add_entry(kRoot, mode::kDir, "..", 0, static_cast<uint16_t>(kRoot));
  expect_walk_fault(v, msg::kDotDotNotParent.bytes);
}

TEST(SanityCheckTest, DirectoriesPointingBackUpTheTreeAreConflicts) {
  VolumeBuilder b(200);
  const uint32_t dir1 = b.add_directory(kRoot, "DIR1");
  const uint32_t sub = b.add_directory(dir1, "SUB");
  Volume& v = b.volume();
  const EntryRef loop = b.add_entry(sub, mode::kDir, "LOOP", 0, static_cast<uint16_t>(sub));
  expect_walk_fault(v, message_text(msg::kSubdirectoryError, "/DIR1/SUB/LOOP"));
  v.set_field16(loop, entry::kStartRecord, static_cast<uint16_t>(dir1));
  expect_walk_fault(v, message_text(msg::kSubdirectoryError, "/DIR1/SUB/LOOP"));
  v.set_field16(loop, entry::kStartRecord, static_cast<uint16_t>(kRoot));
  expect_walk_fault(v, message_text(msg::kSubdirectoryError, "/DIR1/SUB/LOOP"));
  // A second name for a directory already walked.
  v.set_field16(loop, entry::kStartRecord, static_cast<uint16_t>(dir1));
  v.set_field8(loop, entry::kMode, mode::kFree);
  b.add_entry(kRoot, mode::kDir, "ALIAS", 0, static_cast<uint16_t>(sub));
  expect_walk_fault(v, message_text(msg::kSubdirectoryError, "/ALIAS"));
}

TEST(SanityCheckTest, TheRootIsClaimedEvenWhenTheReservedRecordsStopShortOfIt) {
  VolumeBuilder b(100, 1, 16);  // reserved records 0-15 only
  for (uint32_t block = 16; block < 24; ++block) b.mark_block(block);
  b.add_contiguous(kRoot, "PROG", pattern(100));
  Volume& v = b.volume();
  expect_clean(v);
  b.add_entry(kRoot, mode::kDir, "UP", 0, static_cast<uint16_t>(kRoot));
  expect_walk_fault(v, message_text(msg::kSubdirectoryError, "/UP"));
  v.set_field8(Volume::entry_at(kRoot, 2), entry::kMode, mode::kFree);
  b.add_entry(kRoot, mode::kObj, "OVER", 300, 22);
  expect_walk_fault(v, message_text(msg::kContiguousFileError, "OBJ", "OVER"));
}

TEST(SanityCheckTest, NameTracesAndMessagesUseTheNameText) {
  VolumeBuilder b(100);
  const EntryRef e = b.add_contiguous(kRoot, "PROG", pattern(100));
  Volume& v = b.volume();
  for (uint32_t k = 0; k < 17; ++k) v.set_field8(e, entry::kName + k, 'X');
  v.set_field16(e, entry::kSize, 0);
  const CheckRun r = run_check(v, true);
  EXPECT_EQ(r.out, "<error>\n" + kFailed);
  EXPECT_EQ(r.err, message_text(msg::kContiguousFileError, "OBJ", "<error>"));
}

// Runs `body` on a thread with a 1 MB stack.
void on_small_stack(const std::function<void()>& body) {
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 1 << 20), 0);
  pthread_t thread;
  auto call = [](void* p) -> void* {
    (*static_cast<const std::function<void()>*>(p))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, call, const_cast<std::function<void()>*>(&body)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

TEST(SanityCheckTest, DeepNestingIsWalkedOnASmallStackAndItsPathTextIsCut) {
  // 1,980 levels of D, each in a block of its own.
  constexpr int kLevels = 1980;
  VolumeBuilder b(1995, 8);
  uint32_t dir = kRoot;
  for (int i = 0; i < kLevels; ++i) dir = b.add_directory(dir, "D");
  Volume& v = b.volume();
  CheckRun clean, fault;
  on_small_stack([&] { clean = run_check(v); });
  EXPECT_EQ(clean.err, "");
  EXPECT_EQ(clean.out, "");

  b.add_entry(dir, mode::kDir, "UP", 0, static_cast<uint16_t>(kRoot));
  on_small_stack([&] { fault = run_check(v); });
  std::string path;
  for (int i = 0; i < kLevels; ++i) path += "/D";
  path.resize(255);
  EXPECT_EQ(fault.err, message_text(msg::kSubdirectoryError, path.c_str()));
  EXPECT_EQ(fault.out, kFailed);
}

// The single operations, on a table built by hand.
class MarkRecordsTest : public ::testing::Test {
 protected:
  MarkRecordsTest() : b_(64, 4) {}  // 256 records, reserved 0-23

  CheckState state() {
    CheckState st{b_.volume(), con_, 4, std::vector<uint8_t>(256, 0)};
    for (int r = 0; r < 24; ++r) st.sanity_check_record_status[static_cast<size_t>(r)] = 1;
    return st;
  }

  VolumeBuilder b_;
  Report con_;
};

TEST_F(MarkRecordsTest, BlockFreeTestsEveryRecordOfTheBlock) {
  CheckState st = state();
  EXPECT_EQ(check_block_free(st, 23), 0);
  EXPECT_EQ(check_block_free(st, 24), 1);
  st.sanity_check_record_status[27] = 1;
  EXPECT_EQ(check_block_free(st, 24), 0);
  EXPECT_EQ(check_block_free(st, 26), 0);
  EXPECT_EQ(check_block_free(st, 28), 1);
  EXPECT_EQ(check_block_free(st, 256), 0);  // past the table
}

TEST_F(MarkRecordsTest, ContiguousClaimsOneRecordPer256BytesAndTestsEachBlockOnce) {
  CheckState st = state();
  EXPECT_EQ(mark_contiguous_records(st, 24, 0), 0);
  EXPECT_EQ(mark_contiguous_records(st, 24, 1), 1);
  EXPECT_EQ(mark_contiguous_records(st, 28, 256), 1);
  EXPECT_EQ(mark_contiguous_records(st, 32, 257), 2);
  EXPECT_EQ(mark_contiguous_records(st, 36, 2048), 8);  // blocks 9 and 10
  EXPECT_EQ(st.sanity_check_record_status[43], 1);
  EXPECT_EQ(st.sanity_check_record_status[44], 0);
  // A file may start inside a block, as long as the whole block is free.
  EXPECT_EQ(mark_contiguous_records(st, 46, 1024), 4);  // 46-49
  EXPECT_EQ(mark_contiguous_records(st, 44, 1), 0);
  EXPECT_EQ(mark_contiguous_records(st, 50, 1), 0);
  // The longest file reaches past the 256-record table.
  EXPECT_EQ(mark_contiguous_records(st, 52, 65535), 0);
  EXPECT_EQ(st.sanity_check_record_status[255], 1);
}

TEST_F(MarkRecordsTest, ChainedClaimsEachRecordOfTheChain) {
  Volume& v = b_.volume();
  auto link = [&](uint32_t from, uint16_t to) { v.put16(uint64_t{from} * kRecordSize + kChainLink, to); };
  link(24, 25);
  link(25, 40);  // records of one chain may skip around blocks
  link(40, 26);
  link(26, 0);
  CheckState looped = state();
  EXPECT_EQ(mark_chained_records(looped, 0), 0);
  EXPECT_EQ(mark_chained_records(looped, 24), 0);  // comes back into block 6
  link(40, 41);
  link(41, 0);
  CheckState st = state();
  EXPECT_EQ(mark_chained_records(st, 24), 4);
  EXPECT_EQ(st.sanity_check_record_status[26], 0);
}

TEST_F(MarkRecordsTest, IndexedCountsTheIndexAnd17PerRun) {
  Volume& v = b_.volume();
  CheckState empty = state();
  EXPECT_EQ(mark_indexed_records(empty, 24), 1);  // an empty index: no runs
  v.put16(28 * kRecordSize + 0, 32);
  v.put16(28 * kRecordSize + 2, 48);
  CheckState st = state();
  EXPECT_EQ(mark_indexed_records(st, 28), 1 + 17 + 17);
  for (uint32_t r = 32; r < 64; ++r) EXPECT_EQ(st.sanity_check_record_status[r], 1) << r;
  EXPECT_EQ(st.sanity_check_record_status[64], 0);
}

TEST(MarkIndexedRecordsTest, AFullIndexHasNoTerminatorAndBigBlocksAreTestedOncePerRun) {
  // 16 records per block: one test per run. 128 runs of 16 records.
  VolumeBuilder b(131, 16, 1);
  Volume& v = b.volume();
  for (uint32_t k = 0; k < 128; ++k) v.put16(16 * kRecordSize + 2 * k, static_cast<uint16_t>(32 + 16 * k));
  Report con(true);
  CheckState st{v, con, 16, std::vector<uint8_t>(131 * 16, 0)};
  EXPECT_EQ(mark_indexed_records(st, 16), 1 + 128 * 17);
  EXPECT_EQ(con.size(), 129u * 16u);
  // A run that straddles two blocks claims into the second untested.
  VolumeBuilder c(10, 32, 1);
  Volume& w = c.volume();
  w.put16(32 * kRecordSize, 64 + 24);  // records 88-103: blocks 2 and 3
  CheckState st2{w, con, 32, std::vector<uint8_t>(320, 0)};
  EXPECT_EQ(mark_indexed_records(st2, 32), 18);
  EXPECT_EQ(st2.sanity_check_record_status[103], 1);
}

}  // namespace
}  // namespace tarnwick
