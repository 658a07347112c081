// L and the consistency check around it, run as a user runs the tool.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/e2e.h"
#include "support/image_builder.h"
#include "support/json_check.h"
#include "support/message_text.h"
#include "support/sample_volumes.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::done_line;
using testing::FileOptions;
using testing::message_text;
using testing::pattern;
using testing::ScratchDir;
using testing::ToolRun;
using testing::VolumeBuilder;

constexpr uint32_t kRoot = kRootDirectoryRecord;

FileOptions at(int year, int month, int day, int hour, int minute, uint8_t attribute = 0x80) {
  FileOptions o;
  o.stamp = encode_time_stamp(HostTime{year, month, day, hour, minute});
  o.attribute = attribute;
  return o;
}

// The volume of the sample images: a file of every mode and a tree.
void fill_sample(VolumeBuilder& b) {
  b.add_contiguous(kRoot, "HELLO", pattern(1000), mode::kObj, at(1986, 4, 1, 9, 30));
  b.add_contiguous(kRoot, "TITLE PICTURE", pattern(3000, 7), mode::kBtx, at(1987, 11, 23, 18, 5, 0x81));
  b.add_bsd(kRoot, "SCORES", pattern(700, 3), at(1988, 2, 29, 23, 59));
  b.add_brd(kRoot, "MAP DATA", pattern(5000, 5), at(1990, 7, 7, 7, 7));
  b.add_other(kRoot, "RB FILE", mode::kRb, at(1991, 1, 2, 3, 4));
  b.add_other(kRoot, "LIBRARY", mode::kLib, at(1992, 5, 6, 7, 8));
  b.add_other(kRoot, "SYSTEM", mode::kSys, at(1993, 9, 10, 11, 12));
  b.add_other(kRoot, "GRAPHICS", mode::kGr, at(1994, 12, 24, 20, 0));
  const uint32_t games = b.add_directory(kRoot, "GAMES", at(1998, 12, 31, 23, 59));
  b.add_contiguous(games, "SPACE WAR", pattern(12000, 11), mode::kObj, at(2004, 1, 5, 6, 7));
  const uint32_t tools = b.add_directory(games, "TOOLS", at(2024, 10, 9, 8, 7));
  b.add_contiguous(tools, "EDITOR", pattern(256, 13), mode::kObj, at(2024, 10, 9, 8, 7));
}

const std::string kSampleRoot =
    " OBJ  \"HELLO\"           '86/04/01 09:30\n"
    " BTX* \"TITLE PICTURE\"   '87/11/23 18:05\n"
    " BSD  \"SCORES\"          '88/02/29 23:59\n"
    " BRD  \"MAP DATA\"        '90/07/07 07:07\n"
    " RB   \"RB FILE\"         '91/01/02 03:04\n"
    " LIB  \"LIBRARY\"         '92/05/06 07:08\n"
    " SYS  \"SYSTEM\"          '93/09/10 11:12\n"
    " GR   \"GRAPHICS\"        '94/12/24 20:00\n"
    " DIR  \"GAMES\"           '98/12/31 23:59\n";
const std::string kSampleGames =
    " DIR  \".\"               '98/12/31 23:59\n"
    " DIR  \"..\"              '98/12/31 23:59\n"
    " OBJ  \"SPACE WAR\"       '04/01/05 06:07\n"
    " DIR  \"TOOLS\"           '24/10/09 08:07\n";
const std::string kSampleTools =
    " DIR  \".\"               '24/10/09 08:07\n"
    " DIR  \"..\"              '24/10/09 08:07\n"
    " OBJ  \"EDITOR\"          '24/10/09 08:07\n";

const std::string kFailed = msg::kCheckFailed.bytes;
const std::string kPassed = msg::kCheckPassed.bytes;

// Runs the tool on `image` in `dir` and expects the image file's bytes to
// be the same afterwards: L never writes, although it opens for update.
ToolRun run_unchanged(const ScratchDir& dir, const std::string& image, const std::vector<std::string>& args) {
  const Bytes before = testing::read_file(dir.file(image));
  ToolRun r = run_tool(args, dir);
  EXPECT_EQ(testing::read_file(dir.file(image)), before) << "image file changed";
  EXPECT_EQ(r.status, testing::status_for(r));
  return r;
}

std::string rom_line(const std::string& name) { return message_text(msg::kIsRomImage, name.c_str()); }
std::string hdd_line(const std::string& name) { return message_text(msg::kIsHddImage, name.c_str()); }

class ListE2eTest : public ::testing::Test {
 protected:
  void write_sample_rom() {
    VolumeBuilder rom(512, 1);
    fill_sample(rom);
    testing::write_file(dir_.file("sample.rom"), testing::make_rom_image(rom.take()));
  }
  ScratchDir dir_;
};

TEST_F(ListE2eTest, ListsTheSampleRomRootAndSubdirectories) {
  write_sample_rom();
  ToolRun r = run_unchanged(dir_, "sample.rom", {"L", "sample.rom"});
  EXPECT_EQ(r.out, rom_line("sample.rom") + kSampleRoot + done_line());
  EXPECT_EQ(r.err, "");

  for (const std::string path : {"GAMES", "GAMES/", "/GAMES", "GAMES/TOOLS/.."}) {
    SCOPED_TRACE(path);
    r = run_unchanged(dir_, "sample.rom", {"l", "sample.rom", "1", path});
    EXPECT_EQ(r.out, rom_line("sample.rom") + kSampleGames + done_line());
    EXPECT_EQ(r.err, "");
  }
  r = run_unchanged(dir_, "sample.rom", {"list", "sample.rom", "2", "GAMES//TOOLS"});
  EXPECT_EQ(r.out, rom_line("sample.rom") + kSampleTools + done_line());
  r = run_unchanged(dir_, "sample.rom", {"L", "sample.rom", "1", "/"});
  EXPECT_EQ(r.out, rom_line("sample.rom") + kSampleRoot + done_line());
  r = run_unchanged(dir_, "sample.rom", {"L", "sample.rom", "1", "GAMES/TOOLS/..", "extra", "args"});
  EXPECT_EQ(r.out, rom_line("sample.rom") + kSampleGames + done_line());
  // The long listing: sizes, an OBJ file's addresses, the free space (512
  // blocks less the 144 that the reserved records and the files take).
  for (const char* option : {"-l", "--long"}) {
    r = run_unchanged(dir_, "sample.rom", {option, "L", "sample.rom", "1", "GAMES"});
    EXPECT_EQ(r.out, rom_line("sample.rom") +
                         " DIR  \".\"               '98/12/31 23:59     2048\n"
                         " DIR  \"..\"              '98/12/31 23:59     2048\n"
                         " OBJ  \"SPACE WAR\"       '04/01/05 06:07    12000 0000 0000\n"
                         " DIR  \"TOOLS\"           '24/10/09 08:07     2048\n" +
                         message_text(msg::kListFree, 94208u, 368u, 512u) + done_line());
    EXPECT_EQ(r.err, "");
  }
}

// -r lists the tree below PATH as ls -R does. With -j standard output
// carries one JSON document, the same in every locale, and nothing else
// (traces go to standard error); a PATH that is not there gives none.
TEST_F(ListE2eTest, RecursiveAndJsonListings) {
  write_sample_rom();
  ToolRun r = run_unchanged(dir_, "sample.rom", {"-r", "L", "sample.rom"});
  EXPECT_EQ(r.out, rom_line("sample.rom") + kSampleRoot + message_text(msg::kListHeading, "/GAMES") + kSampleGames +
                       message_text(msg::kListHeading, "/GAMES/TOOLS") + kSampleTools + done_line());
  r = run_unchanged(dir_, "sample.rom", {"-jr", "L", "sample.rom", "1", "GAMES"});
  EXPECT_TRUE(testing::is_json_document(r.out)) << r.out;
  EXPECT_NE(r.out.find(R"("path":"/GAMES","entries":[{"name":".")"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(R"("name":"EDITOR")"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
  testing::RunOptions utf8;
  utf8.env = {{"LC_ALL", "C.UTF-8"}};
  EXPECT_EQ(run_tool_with({"--json", "--recursive", "L", "sample.rom", "1", "GAMES"}, dir_, utf8).out, r.out);
  r = run_tool({"--json", "VL", "sample.rom"}, dir_);
  EXPECT_TRUE(testing::is_json_document(r.out)) << r.out;
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find(kPassed), std::string::npos);
  EXPECT_EQ(r.err.find(" OBJ "), std::string::npos);
  r = run_unchanged(dir_, "sample.rom", {"-j", "L", "sample.rom", "1", "NOSUCH/"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, message_text(msg::kDirectoryNotFound, "NOSUCH"));
}

TEST_F(ListE2eTest, AFailedPathListsTheDeepestDirectoryEntered) {
  write_sample_rom();
  ToolRun r = run_unchanged(dir_, "sample.rom", {"L", "sample.rom", "1", "GAMES/NOSUCH"});
  EXPECT_EQ(r.out, rom_line("sample.rom") + kSampleGames + done_line());
  EXPECT_EQ(r.err, message_text(msg::kDirectoryNotFound, "NOSUCH"));
  r = run_unchanged(dir_, "sample.rom", {"L", "sample.rom", "1", "HELLO"});  // a file
  EXPECT_EQ(r.out, rom_line("sample.rom") + kSampleRoot + done_line());
  EXPECT_EQ(r.err, message_text(msg::kDirectoryNotFound, "HELLO"));
  r = run_unchanged(dir_, "sample.rom", {"L", "sample.rom", "1", "games"});
  EXPECT_EQ(r.err, message_text(msg::kDirectoryNotFound, "games"));
  r = run_unchanged(dir_, "sample.rom", {"L", "sample.rom", "1", "GAMES///TOOLS"});
  EXPECT_EQ(r.out, rom_line("sample.rom") + kSampleGames + done_line());
  EXPECT_EQ(r.err, "");
}

TEST_F(ListE2eTest, AOneLetterPathListsThatDirectory) {
  VolumeBuilder b(100);
  const uint32_t a = b.add_directory(kRoot, "A", at(2001, 2, 3, 4, 5));
  b.add_contiguous(a, "INSIDE", pattern(10), mode::kObj, at(2001, 2, 3, 4, 5));
  b.add_contiguous(kRoot, "B", pattern(10), mode::kObj, at(2001, 2, 3, 4, 5));
  testing::write_file(dir_.file("one.rom"), testing::make_rom_image(b.take()));
  const std::string in_a =
      " DIR  \".\"               '01/02/03 04:05\n"
      " DIR  \"..\"              '01/02/03 04:05\n"
      " OBJ  \"INSIDE\"          '01/02/03 04:05\n";
  ToolRun r = run_unchanged(dir_, "one.rom", {"L", "one.rom", "1", "A"});
  EXPECT_EQ(r.out, rom_line("one.rom") + in_a + done_line());
  EXPECT_EQ(r.err, "");
  // A one-letter file is not a directory: it is reported, and the root listed.
  r = run_unchanged(dir_, "one.rom", {"L", "one.rom", "1", "B"});
  EXPECT_EQ(r.err, message_text(msg::kDirectoryNotFound, "B"));
  EXPECT_EQ(r.out, rom_line("one.rom") +
                       " DIR  \"A\"               '01/02/03 04:05\n"
                       " OBJ  \"B\"               '01/02/03 04:05\n" +
                       done_line());
}

TEST_F(ListE2eTest, ListsBothPartitionsOfAnHddImage) {
  VolumeBuilder p1(128, 32, 1);
  fill_sample(p1);
  VolumeBuilder p2(64, 32, 1);
  p2.add_contiguous(kRoot, "SECOND", pattern(2048, 1), mode::kObj, at(2001, 2, 3, 4, 5));
  testing::write_file(dir_.file("sample.hdd"), testing::make_hdd_image(p1.take(), p2.take()));
  ToolRun r = run_unchanged(dir_, "sample.hdd", {"L", "sample.hdd", "1", "GAMES"});
  EXPECT_EQ(r.out, hdd_line("sample.hdd") + kSampleGames + done_line());
  EXPECT_EQ(r.err, "");
  r = run_unchanged(dir_, "sample.hdd", {"L", "sample.hdd", "2"});
  EXPECT_EQ(r.out, hdd_line("sample.hdd") + " OBJ  \"SECOND\"          '01/02/03 04:05\n" + done_line());
  EXPECT_EQ(r.err, "");
}

TEST_F(ListE2eTest, VerboseModeEchoesTracesTheChecksAndShowsStartRecords) {
  VolumeBuilder b(30);  // reserved records 0-23
  b.add_contiguous(kRoot, "HI", pattern(10));
  testing::write_file(dir_.file("tiny.rom"), testing::make_rom_image(b.take()));
  const ToolRun r = run_unchanged(dir_, "tiny.rom", {"VL", "tiny.rom"});
  const std::string check = "HI\n" + message_text(msg::kRecordStatusTrace, 0x18u, 0) + kPassed;
  EXPECT_EQ(r.out, message_text(msg::kEchoCommand, static_cast<int>('L')) +
                       message_text(msg::kEchoImage, "tiny.rom") + message_text(msg::kEchoPartition, 0) +
                       message_text(msg::kEchoPath, "/") + message_text(msg::kEchoHostFile, "(null)") +
                       rom_line("tiny.rom") + check + " OBJ  \"HI\"              '98/12/31 23:59 0018\n" + check +
                       done_line());
  EXPECT_EQ(r.err, "");
}

// The check runs before and after the command and never stops it.
class CheckE2eTest : public ::testing::Test {
 protected:
  ToolRun list_rom(Bytes volume) {
    testing::write_file(dir_.file("disk.rom"), testing::make_rom_image(volume));
    return run_unchanged(dir_, "disk.rom", {"L", "disk.rom"});
  }
  ScratchDir dir_;
};

TEST_F(CheckE2eTest, TheSampleVolumePassesBothChecks) {
  for (int rpb : {1, 2, 32}) {
    SCOPED_TRACE(rpb);
    VolumeBuilder b(static_cast<uint16_t>(rpb == 32 ? 128 : 1024 / rpb), rpb);
    fill_sample(b);
    testing::write_file(dir_.file("s.rom"), testing::make_rom_image(b.take()));
    const ToolRun r = run_unchanged(dir_, "s.rom", {"vL", "s.rom", "1", "GAMES/TOOLS"});
    EXPECT_EQ(r.err, "");
    const size_t first = r.out.find(kPassed);
    ASSERT_NE(first, std::string::npos);
    const size_t second = r.out.find(kPassed, first + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(r.out.find(kFailed), std::string::npos);
    EXPECT_EQ(r.out.substr(second), kPassed + done_line());
  }
}

TEST_F(CheckE2eTest, AnEarlyStopPrintsItsMessageTwiceAndTheListingStillRuns) {
  {
    VolumeBuilder b(2, 33, 1);
    b.add_contiguous(kRoot, "BIG", pattern(10), mode::kObj, at(2001, 2, 3, 4, 5));
    const ToolRun r = list_rom(b.take());
    EXPECT_EQ(r.err, message_text(msg::kBadRecordsPerBlock, 33) + message_text(msg::kBadRecordsPerBlock, 33));
    EXPECT_EQ(r.out, rom_line("disk.rom") + " OBJ  \"BIG\"             '01/02/03 04:05\n" + done_line());
  }
  {
    VolumeBuilder b(100);
    b.add_contiguous(kRoot, "F", pattern(10), mode::kObj, at(2001, 2, 3, 4, 5));
    b.volume().put8(Volume::kSystemOffset + sys::kBitmap + 3, 0x80);
    const ToolRun r = list_rom(b.take());
    const std::string mismatch = message_text(msg::kUsedBlocksMismatch, 25, 26);
    EXPECT_EQ(r.err, mismatch + mismatch);
    EXPECT_EQ(r.out, rom_line("disk.rom") + " OBJ  \"F\"               '01/02/03 04:05\n" + done_line());
  }
}

TEST_F(CheckE2eTest, AWalkFaultIsReportedBeforeAndAfterTheListing) {
  VolumeBuilder b(100);
  const uint32_t sub = b.add_directory(kRoot, "SUB", at(2001, 2, 3, 4, 5));
  b.add_entry(sub, mode::kDir, "LOOP", 0, static_cast<uint16_t>(kRoot), at(2001, 2, 3, 4, 5));
  const ToolRun r = list_rom(b.take());
  const std::string fault = message_text(msg::kSubdirectoryError, "/SUB/LOOP");
  EXPECT_EQ(r.err, fault + fault);
  EXPECT_EQ(r.out, rom_line("disk.rom") + kFailed + " DIR  \"SUB\"             '01/02/03 04:05\n" + kFailed +
                       done_line());
}

TEST_F(CheckE2eTest, HostileVolumesEndWithAReport) {
  // A BSD chain that loops on itself and a BRD index that lists itself.
  VolumeBuilder b(100);
  const EntryRef bsd = b.add_bsd(kRoot, "LOOP", pattern(10));
  testing::MemoryVolume& v = b.volume();
  v.put16(uint64_t{v.start_record(bsd)} * kRecordSize + kChainLink, v.start_record(bsd));
  ToolRun r = list_rom(v.bytes());
  EXPECT_EQ(r.err, message_text(msg::kBsdFileError, "LOOP") + message_text(msg::kBsdFileError, "LOOP"));

  VolumeBuilder c(100);
  const EntryRef brd = c.add_brd(kRoot, "SELF", pattern(10));
  testing::MemoryVolume& w = c.volume();
  w.put16(uint64_t{w.start_record(brd)} * kRecordSize, w.start_record(brd));
  r = list_rom(w.bytes());
  EXPECT_EQ(r.err, message_text(msg::kBrdFileError, "SELF") + message_text(msg::kBrdFileError, "SELF"));
}

// E, --fix E and the commands around them on three volumes: a sound one,
// one whose file F lies in a block the bitmap shows free, one with an entry
// whose start record is 0000. Each run in turn on the image as the runs
// before left it; what it prints between the container's line and the
// closing one.
TEST_F(CheckE2eTest, ExamineTellsWhatIsWrongAndFixMendsOnlyTheBitmap) {
  VolumeBuilder sound(100);
  sound.add_contiguous(kRoot, "F", pattern(10));  // block 0018, bitmap bit 0
  VolumeBuilder free_block = sound;
  free_block.volume().put8(Volume::kSystemOffset + sys::kBitmap, 0);
  free_block.volume().set_sys16(sys::kUsedBlocks, 24);
  VolumeBuilder no_start = sound;
  no_start.add_entry(kRoot, mode::kObj, "DRAW", 300, 0);
  const std::string clean = msg::kExamineClean.bytes, one = message_text(msg::kExamineProblems, 1u);
  const std::string notice = message_text(msg::kBlocksFreeFixable, "/F", 0x18u, 0x18u);
  const std::string draw_line = message_text(msg::kContiguousFileError, "OBJ", "DRAW");
  const std::string draw = draw_line + message_text(msg::kWhyStartInSystem, "/DRAW", 0u);
  struct Run {
    std::vector<std::string> args;
    int status;
    std::string out, err;
    bool writes = false;
  };
  const std::vector<std::pair<Bytes, std::vector<Run>>> volumes = {
      {sound.take(), {{{"--fix", "E", "disk.rom", "1"}, 0, clean, ""}}},
      {free_block.take(),
       {{{"L", "disk.rom"}, 0, " OBJ  \"F\"               '98/12/31 23:59\n", notice + notice},
        {{"E", "disk.rom"}, 3, one, notice + message_text(msg::kWhyBlocksFree, "/F", 1u)},
        {{"--fix", "E", "disk.rom"}, 0, message_text(msg::kBlocksMarked, "/F", 0x18u, 0x18u) + clean, "", true},
        {{"W", "disk.rom", "1", "NEW", "new.mzt"}, 0, "", "", true},  // not into F's block
        {{"E", "disk.rom"}, 0, clean, ""}}},
      {no_start.take(),
       {{{"E", "disk.rom"}, 3, one, draw},
        {{"--fix", "E", "disk.rom"}, 3, one, draw + message_text(msg::kAdviseDelete)},
        {{"R", "disk.rom", "1", "F", "f.bin"}, 3, kFailed + "FILE: F\nFile 'F' found.\n" + kFailed,
         draw_line + draw_line}}},
  };
  testing::write_file(dir_.file("new.mzt"), testing::make_mzt("NEW", pattern(300)));
  for (const auto& [volume, runs] : volumes) {
    testing::write_file(dir_.file("disk.rom"), testing::make_rom_image(volume));
    for (const Run& run : runs) {
      const Bytes before = testing::read_file(dir_.file("disk.rom"));
      const ToolRun r = testing::run_tool(run.args, dir_);
      const std::string what = run.args[run.args.size() == 2 ? 0 : 1];
      EXPECT_EQ(r.status, run.status) << what;
      EXPECT_EQ(r.out, rom_line("disk.rom") + run.out + done_line()) << what;
      EXPECT_EQ(r.err, run.err) << what;
      EXPECT_EQ(testing::read_file(dir_.file("disk.rom")) != before, run.writes) << what;
    }
  }
  const Bytes extracted = testing::read_file(dir_.file("f.bin"));  // an MZT file: F's bytes after the header
  EXPECT_EQ(Bytes(extracted.end() - 10, extracted.end()), pattern(10));
  const std::string json = testing::run_tool({"-j", "E", "disk.rom"}, dir_).out;
  EXPECT_NE(json.find(R"("path":"/DRAW","records":[0,0],"fixable":false}],"fixed":[]})"), std::string::npos) << json;
}

TEST(RealDataE2eTest, TheSasiRomListsItsThreeBtxFilesAndPassesTheCheck) {
  const std::filesystem::path source = std::filesystem::path(TARNWICK_REALDATA) / "SASIROM.BIN";
  if (!std::filesystem::exists(source)) GTEST_SKIP() << source << " is absent";
  ScratchDir dir;
  std::filesystem::copy_file(source, dir.file("SASI.ROM"));
  const ToolRun r = run_unchanged(dir, "SASI.ROM", {"L", "SASI.ROM"});
  EXPECT_EQ(r.err, "");
  // Byte 0 of every directory record is 0x80, so entries 8, 16, ... 56
  // carry mode 0x80 and an empty name: they are listed like any entry.
  std::string unknown;
  for (int i = 0; i < 7; ++i) unknown += " ???  \"\"                '00/00/00 00:00\n";
  EXPECT_EQ(r.out, rom_line("SASI.ROM") +
                       " BTX  \"HD FORMAT.m25\"   '22/05/23 18:52\n"
                       " BTX  \"HD PARTITION.m25\"'22/05/23 18:52\n"
                       " BTX  \"ALGO COPY.m25\"   '22/05/23 18:52\n" +
                       unknown + done_line());
  const ToolRun v = run_unchanged(dir, "SASI.ROM", {"VL", "SASI.ROM"});
  EXPECT_EQ(v.err, "");
  EXPECT_EQ(v.out.find(kFailed), std::string::npos);
  EXPECT_EQ(v.out.substr(v.out.size() - kPassed.size() - done_line().size()), kPassed + done_line());
}

}  // namespace
}  // namespace tarnwick
