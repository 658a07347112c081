#include "operations/examine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "containers/image.h"
#include "containers/image_file.h"
#include "output/render.h"
#include "support/image_builder.h"
#include "support/memory_host.h"
#include "support/message_text.h"
#include "support/volume_audit.h"

namespace tarnwick {
namespace {

using testing::message_text;
using testing::pattern;
using testing::VolumeBuilder;

constexpr uint32_t kRoot = kRootDirectoryRecord;

std::string text(const Line& line) { return render(line, {}); }

// Each finding as its line and its reason.
std::vector<std::string> shown(const Examination& exam) {
  std::vector<std::string> out;
  for (const Finding& f : exam.findings) out.push_back(text(f.message) + text(f.reason));
  return out;
}

// 384 records (24 tracks), reserved 0-23: /A in block 6, /SUB in blocks 7-8 holding /SUB/B in block 9.
struct Sample {
  VolumeBuilder b{96, 4};
  EntryRef a = b.add_contiguous(kRoot, "A", pattern(300));
  uint32_t sub = b.add_directory(kRoot, "SUB");
  EntryRef in_sub = b.add_contiguous(sub, "B", pattern(10));
};

struct Case {
  const char* name;
  std::function<void(Sample&)> damage;
  std::vector<std::string> expected;
};

TEST(ExamineTest, EachFaultIsTheCheckLineWithItsReasonAndTheWalkGoesOn) {
  const std::string obj_draw = message_text(msg::kContiguousFileError, "OBJ", "DRAW");
  const Case cases[] = {
      {"sound", [](Sample&) {}, {}},
      {"start record 0", [](Sample& s) { s.b.add_entry(kRoot, mode::kObj, "DRAW", 300, 0); },
       {obj_draw + message_text(msg::kWhyStartInSystem, "/DRAW", 0u)}},
      {"past the end", [](Sample& s) { s.b.add_entry(kRoot, mode::kObj, "F", 300, 0x1000); },
       {message_text(msg::kContiguousFileError, "OBJ", "F") +
        message_text(msg::kWhyStartOutside, "/F", 0x1000u, 384u)}},
      {"no start", [](Sample& s) { s.b.add_entry(kRoot, mode::kBsd, "N", 10, 0); },
       {message_text(msg::kBsdFileError, "N") + message_text(msg::kWhyNoStart, "/N")}},
      {"loop",  // S in block 10 (record 40) links to itself
       [](Sample& s) { s.b.add_bsd(kRoot, "S", pattern(9)), s.b.volume().put16(40 * kRecordSize + kChainLink, 40); },
       {message_text(msg::kBsdFileError, "S") + message_text(msg::kWhyUsedTwice, "/S", 10u)}},
      {"two names", [](Sample& s) { s.b.add_entry(kRoot, mode::kDir, "ALIAS", 0, static_cast<uint16_t>(s.sub)); },
       {message_text(msg::kSubdirectoryError, "/ALIAS") + message_text(msg::kWhyReachedTwice, "/ALIAS", "/SUB", 28u)}},
      {"root ..", [](Sample& s) { s.b.add_entry(kRoot, mode::kDir, "..", 0, kRoot); },
       {std::string(msg::kDotDotNotParent.bytes) + message_text(msg::kWhyRootDotDot, 16u)}},
      {"header", [](Sample& s) { s.b.volume().put8(s.sub * kRecordSize, 0); },
       {std::string(msg::kBadDirectoryHeader.bytes) + message_text(msg::kWhyHeader, "/SUB", 28u, 0u)}},
      {"bitmap", [](Sample& s) { s.b.volume().put8(Volume::kSystemOffset + sys::kBitmap, 0x0E); },
       {message_text(msg::kUsedBlocksMismatch, 10, 9) + message_text(msg::kWhyUsedBlocks, 10u, 6u),
        message_text(msg::kBlocksFreeFixable, "/A", 6u, 6u) + message_text(msg::kWhyBlocksFree, "/A", 1u)}},
      {"records per block", [](Sample& s) { s.b.volume().set_sys8(sys::kRecordsPerBlockMinusOne, 0x20); },
       {message_text(msg::kBadRecordsPerBlock, 33) + message_text(msg::kWhyRecordsPerBlock, 0x20u)}},
      {"total blocks", [](Sample& s) { s.b.volume().set_sys16(sys::kTotalBlocks, 97); },
       {std::string(msg::kBadSystemRecord.bytes) + message_text(msg::kWhyVolumeTooSmall, 97u, 4u, 384u)}},
      {"several", [](Sample& s) {
         s.b.add_entry(kRoot, mode::kObj, "DRAW", 300, 0);
         s.b.add_entry(kRoot, mode::kObj, "C", 10, 25);
         s.b.volume().put16(uint64_t{s.b.volume().start_record(s.in_sub)} * kRecordSize + kChainLink, 3);
         s.b.volume().set_field8(s.in_sub, entry::kMode, mode::kBsd);
       },
       {message_text(msg::kBsdFileError, "B") + message_text(msg::kWhyRecordInSystem, "/SUB/B", 3u), obj_draw +
        message_text(msg::kWhyStartInSystem, "/DRAW", 0u), message_text(msg::kContiguousFileError, "OBJ", "C") +
        message_text(msg::kWhyShared, "/C", 6u, "/A")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sample s;
    c.damage(s);
    const Examination exam = examine_volume(s.b.volume());
    EXPECT_EQ(shown(exam), c.expected);
    // What the check says first is what the examination finds first.
    const CheckReport check = sanity_check(s.b.volume());
    EXPECT_EQ(check.sound, exam.sound());
    if (!check.sound) {
      EXPECT_EQ(text(check.lines.lines().front()), text(exam.findings.front().message));
    }
  }
}

TEST(ExamineTest, TheCheckAddsBlocksFreeInTheBitmapAsANoticeAfterItsLines) {
  Sample s;
  s.b.volume().put8(Volume::kSystemOffset + sys::kBitmap, 0x0E);  // /A's block
  s.b.volume().set_sys16(sys::kUsedBlocks, 9);
  const CheckReport check = sanity_check(s.b.volume(), true);
  EXPECT_TRUE(check.sound && check.free_in_bitmap.at(0).blocks == std::vector<uint32_t>{6});
  EXPECT_EQ(text(check.lines.lines().end()[-2]) + text(check.lines.lines().back()),
            msg::kCheckPassed.bytes + message_text(msg::kBlocksFreeFixable, "/A", 6u, 6u));
}

TEST(ExamineTest, ARepairMarksHeldBlocksUsedAndChangesNothingElse) {
  Sample s;
  Volume& v = s.b.volume();
  v.put8(Volume::kSystemOffset + sys::kBitmap, 0x08);  // /A and /SUB's first block free
  v.set_sys16(sys::kUsedBlocks, 3);
  const testing::Bytes before = s.b.bytes();
  const Repair repair = repair_volume(v);
  Report lines;
  report_repair(repair, lines);
  std::string all;
  for (const Line& l : lines.lines()) all += text(l);
  EXPECT_EQ(all, message_text(msg::kBlocksMarked, "/A", 6u, 6u) + message_text(msg::kBlocksMarked, "/SUB", 7u, 8u) +
                     message_text(msg::kUsedBlocksSet, 3u, 10u) + message_text(msg::kExamineClean));
  EXPECT_EQ(repair.mends[1].records, (RecordSpan{28, 35}));
  testing::Bytes after = s.b.bytes();
  std::copy_n(before.begin() + Volume::kSystemOffset, kRecordSize, after.begin() + Volume::kSystemOffset);
  EXPECT_EQ(after, before);
  // A count that was right while the bitmap had lost the blocks stays, with no line of its own.
  Sample right;
  right.b.volume().put8(Volume::kSystemOffset + sys::kBitmap, 0x08);
  const Repair kept = repair_volume(right.b.volume());
  EXPECT_EQ(kept.mends.size(), 2u);
  EXPECT_EQ(right.b.volume().sys16(sys::kUsedBlocks), 10u);
}

TEST(ExamineTest, NothingIsMendedWhereNoMendIsSafe) {
  // A sound volume is not written at all.
  testing::MemoryVolume sound(Sample().b.bytes());
  EXPECT_FALSE(repair_volume(sound).changed());
  EXPECT_TRUE(sound.pages().changed_runs().empty());

  // A file at record 0 is left as it is, with D advised.
  Sample s;
  s.b.add_entry(kRoot, mode::kObj, "DRAW", 300, 0);
  const Repair repair = repair_volume(s.b.volume());
  EXPECT_FALSE(repair.changed());
  EXPECT_EQ(text(repair.after.findings.at(0).advice.value()), msg::kAdviseDelete.bytes);

  // A file holding the system record (reserved blocks stop at record 8):
  // marking its block would change its bytes.
  VolumeBuilder b(100, 1, 8);
  for (uint32_t block = 16; block < 24; ++block) b.mark_block(block);
  b.add_entry(kRoot, mode::kObj, "SYS", 512, 14);
  const Examination exam = examine_volume(b.volume());
  EXPECT_EQ(shown(exam), std::vector<std::string>{message_text(msg::kBlocksFree, "/SYS", 14u, 15u) +
                                                   message_text(msg::kWhyBlocksFree, "/SYS", 2u)});
  EXPECT_FALSE(repair_volume(b.volume()).changed());
}

TEST(ExamineTest, ARepairSavedThroughTheJournaledFileLeavesASoundImage) {
  Sample s;
  s.b.volume().put8(Volume::kSystemOffset + sys::kBitmap, 0x0E);
  testing::MemoryHost host;
  host.files["disk.d88"] = testing::make_d88_image(s.b.bytes());
  Report rep;
  Image image(ImageFile::open(host, rep, "disk.d88", Access::kWrite), Access::kWrite);
  ASSERT_TRUE(image.identify(rep) && image.load(0, rep));
  ASSERT_TRUE(repair_volume(image.volume()).changed());
  ASSERT_TRUE(image.save(rep) && image.close(rep));
  const std::optional<testing::MemoryVolume> saved = testing::load_image_volume(host.files["disk.d88"], "disk.d88", 0);
  EXPECT_TRUE(saved && examine_volume(*saved).sound());
}

// Real disks, when they are at hand: one whose last files lie in blocks its
// bitmap shows free, one with an entry whose start record is 0.
TEST(ExamineTest, RealDisks) {
  const std::filesystem::path real(TARNWICK_REALDATA);
  if (!std::filesystem::exists(real / "OMEGA_FD.d88") || !std::filesystem::exists(real / "DRAWTEST.d88")) {
    GTEST_SKIP() << "no real disks";
  }
  const auto load = [&](const char* n) { return testing::load_image_volume(testing::read_file(real / n), n, 0); };
  std::optional<testing::MemoryVolume> omega = load("OMEGA_FD.d88"), draw = load("DRAWTEST.d88");
  ASSERT_TRUE(omega && draw);
  const Examination found = examine_volume(*omega);
  ASSERT_FALSE(found.sound());
  for (const Finding& f : found.findings) EXPECT_TRUE(f.fixable) << text(f.message);
  EXPECT_TRUE(repair_volume(*omega).after.sound());
  const Examination bad = examine_volume(*draw);
  const auto at_zero = std::find_if(bad.findings.begin(), bad.findings.end(), [](const Finding& f) {
    return f.path && f.path->find("DRAWTEST11txt") != std::string::npos && f.records == RecordSpan{0, 0};
  });
  EXPECT_NE(at_zero, bad.findings.end());
  EXPECT_FALSE(repair_volume(*draw).changed());
}

}  // namespace
}  // namespace tarnwick
