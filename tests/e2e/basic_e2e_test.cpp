// -b, -t and T as a user runs them: BASIC programs and BSD files out of an
// image as text and back in, one run per command and option, the refusals
// leaving no host file and the image as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "output/console.h"
#include "support/e2e.h"
#include "support/image_builder.h"
#include "support/message_text.h"
#include "support/sample_volumes.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::message_text;
using testing::read_file;
using testing::ScratchDir;
using testing::ToolRun;

constexpr uint32_t kRoot = kRootDirectoryRecord;

Bytes program_of(std::initializer_list<std::pair<uint16_t, Bytes>> lines) {
  Bytes p;
  for (const auto& [number, body] : lines) {
    const size_t n = body.size() + 5;
    p.insert(p.end(), {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(number),
                       static_cast<uint8_t>(number >> 8)});
    p.insert(p.end(), body.begin(), body.end());
    p.push_back(0x0D);
  }
  p.insert(p.end(), {0, 0});
  return p;
}

// 10 PRINT "ｱ"π and 20 REM hi; its listing in code page 932 and in UTF-8.
const Bytes kProgram =
    program_of({{10, {0x80, 0x88, ' ', '"', 0xB1, '"', 0xFF}}, {20, {0x80, 0x80, ' ', 'h', 'i'}}});
const std::string kListing = "10 PRINT \"\xB1\"\x83\xCE\n20 REM hi\n";
const std::string kListingUtf8 = "10 PRINT \"\xEF\xBD\xB1\"\xCF\x80\n20 REM hi\n";
// A BSD file of two lines and its text.
const Bytes kText = {'a', '\t', 0xB1, 0x0D, 0x82, 0xA0, 0x0D};
const std::string kTextHost = "a\t\xB1\n\x82\xA0\n";

std::string text_of(const Bytes& b) { return std::string(b.begin(), b.end()); }
Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }
// A text as the tool writes it into a host file: lines end in "\r\n" on
// Windows.
std::string host_lines(const std::string& s) {
  if (!testing::runs_under_wine()) return s;
  std::string t;
  for (const char c : s) {
    if (c == '\n') t += '\r';
    t += c;
  }
  return t;
}
Bytes body_of(const Bytes& mzt) { return Bytes(mzt.begin() + std::min<size_t>(128, mzt.size()), mzt.end()); }
uint16_t load_of(const Bytes& mzt) { return static_cast<uint16_t>(mzt.at(20) | mzt.at(21) << 8); }

Bytes basic_mzt(const std::string& name, const Bytes& body, uint16_t load = 0) {
  Bytes mzt = testing::make_mzt(name, body, load, 0);
  mzt[0] = mode::kBtx;
  return mzt;
}

class BasicE2eTest : public ::testing::Test {
 protected:
  // PROG (a program, load address 0x545C), BAD (a BTX file that is no
  // program), NOTE (a text), BIN (a BSD file that is no text), CODE (OBJ).
  void SetUp() override {
    testing::VolumeBuilder b(400, 1);
    testing::FileOptions at;
    at.load_address = 0x545C;
    b.add_contiguous(kRoot, "PROG", kProgram, mode::kBtx, at);
    b.add_contiguous(kRoot, "BAD", {0x01, 0x00}, mode::kBtx);
    b.add_bsd(kRoot, "NOTE", kText);
    b.add_bsd(kRoot, "BIN", {0x00, 0x01});
    b.add_contiguous(kRoot, "CODE", testing::pattern(10), mode::kObj);
    testing::write_file(dir_.file("disk.rom"), testing::make_rom_image(b.take()));
    testing::write_file(dir_.file("p.bas"), bytes_of(kListing));
    testing::write_file(dir_.file("n.txt"), bytes_of(kTextHost));
  }
  ToolRun run(const std::vector<std::string>& args, const std::string& locale = "C") {
    testing::RunOptions opt;
    opt.env = {{"LC_ALL", locale}};
    return testing::run_tool_with(args, dir_, opt);
  }
  // R of a file without options: an MZT file or a BSD file's bytes.
  Bytes out(const std::string& image, const std::string& path) {
    EXPECT_EQ(run({"R", image, "1", path, "r.out"}).status, 0) << path;
    return read_file(dir_.file("r.out"));
  }
  bool exists(const std::string& name) { return fs::exists(dir_.path() / name); }
  ScratchDir dir_;
};

TEST_F(BasicE2eTest, ROutAsListingAndText) {
  EXPECT_EQ(run({"-b", "R", "disk.rom", "1", "PROG", "p1.bas"}).status, 0);
  EXPECT_EQ(text_of(read_file(dir_.file("p1.bas"))), host_lines(kListing));
  EXPECT_EQ(run({"--text", "R", "disk.rom", "1", "NOTE", "n1.txt"}).status, 0);
  EXPECT_EQ(text_of(read_file(dir_.file("n1.txt"))), host_lines(kTextHost));
  // Both options: each acts on its own kind.
  EXPECT_EQ(run({"-bt", "R", "disk.rom", "1", "NOTE", "n2.txt"}).status, 0);
  EXPECT_EQ(text_of(read_file(dir_.file("n2.txt"))), host_lines(kTextHost));
  if (!testing::runs_under_wine()) {
    const ToolRun r = run({"--basic", "R", "disk.rom", "1", "PROG", "-"}, "C.UTF-8");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kListingUtf8);
  }
  const struct {
    std::vector<std::string> options;
    std::string path;
    std::string err;
  } refused[] = {
      {{"-b"}, "CODE", message_text(msg::kNotBasic, "CODE")},
      {{"-t"}, "PROG", message_text(msg::kNotText, "PROG")},
      {{"-b"}, "BAD", message_text(msg::kNotBasicProgram, "BAD")},
      {{"-t"}, "BIN", message_text(msg::kNotText, "BIN")},
  };
  for (const auto& c : refused) {
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"R", "disk.rom", "1", c.path, "no.txt"});
    const ToolRun r = run(args);
    EXPECT_EQ(r.status, 1) << c.path;
    EXPECT_EQ(r.err, c.err) << c.path;
    EXPECT_FALSE(exists("no.txt")) << c.path;
  }
}

TEST_F(BasicE2eTest, WStoresListingsTextsAndBasicTapeFiles) {
  // Over a BTX file the addresses stay; a new file gets 0 and 0.
  EXPECT_EQ(run({"-b", "W", "disk.rom", "1", "PROG", "p.bas"}).status, 0);
  EXPECT_EQ(body_of(out("disk.rom", "PROG")), kProgram);
  EXPECT_EQ(load_of(out("disk.rom", "PROG")), 0x545C);
  EXPECT_EQ(run({"-b", "W", "disk.rom", "1", "NEW", "p.bas"}).status, 0);
  EXPECT_EQ(load_of(out("disk.rom", "NEW")), 0);
  EXPECT_EQ(run({"-t", "W", "disk.rom", "1", "T1", "n.txt"}).status, 0);
  EXPECT_EQ(out("disk.rom", "T1"), kText);
  // Both options: a .txt file is text, any other a listing.
  testing::write_file(dir_.file("N.TXT"), bytes_of(kTextHost));
  EXPECT_EQ(run({"-b", "-t", "W", "disk.rom", "1", "T2", "N.TXT"}).status, 0);
  EXPECT_EQ(out("disk.rom", "T2"), kText);
  EXPECT_EQ(run({"-b", "-t", "W", "disk.rom", "1", "P2", "p.bas"}).status, 0);
  EXPECT_EQ(body_of(out("disk.rom", "P2")), kProgram);
  // A BASIC tape file stays BASIC without the options.
  testing::write_file(dir_.file("in.mzt"), basic_mzt("X", kProgram, 0x4806));
  EXPECT_EQ(run({"W", "disk.rom", "1", "P3", "in.mzt"}).status, 0);
  EXPECT_EQ(out("disk.rom", "P3")[0], mode::kBtx);
  if (!testing::runs_under_wine()) {
    testing::write_file(dir_.file("u.bas"), bytes_of(kListingUtf8));
    EXPECT_EQ(run({"-b", "W", "disk.rom", "1", "P4", "u.bas"}, "C.UTF-8").status, 0);
    EXPECT_EQ(body_of(out("disk.rom", "P4")), kProgram);
  }
}

TEST_F(BasicE2eTest, WRefusalsLeaveTheImageAsItWas) {
  const Bytes before = read_file(dir_.file("disk.rom"));
  testing::write_file(dir_.file("bad.bas"), bytes_of("10 PRINT\n\nX\n"));
  testing::write_file(dir_.file("brace.bas"), bytes_of("10 {8\n"));
  std::string big;
  for (int n = 1; n <= 2; ++n) big += std::to_string(n) + " " + std::string(40000, 'A') + "\n";
  testing::write_file(dir_.file("big.bas"), bytes_of(big));
  const struct {
    std::string file;
    std::string err;
  } refused[] = {
      {"bad.bas", message_text(msg::kNoLineNumber, 3u)},
      {"brace.bas", message_text(msg::kBadBrace, 1u)},
      {"big.bas", message_text(msg::kTooLarge, "big.bas")},
  };
  for (const auto& c : refused) {
    const ToolRun r = run({"-b", "W", "disk.rom", "1", "PROG", c.file});
    EXPECT_EQ(r.status, 1) << c.file;
    EXPECT_EQ(r.err, c.err) << c.file;
    EXPECT_EQ(read_file(dir_.file("disk.rom")), before) << c.file;
  }
}

TEST_F(BasicE2eTest, XThenAIntoANewDiskGivesTheSameFiles) {
  const ToolRun x = run({"-b", "-t", "X", "disk.rom", "1", "/", "out"});
  EXPECT_EQ(x.status, 0);  // the notices fail nothing
  EXPECT_EQ(x.err, message_text(msg::kWrittenAsIs, "BAD") + message_text(msg::kWrittenAsIs, "BIN"));
  EXPECT_EQ(text_of(read_file(dir_.file("out/PROG.bas"))), host_lines(kListing));
  EXPECT_EQ(text_of(read_file(dir_.file("out/NOTE.txt"))), host_lines(kTextHost));
  EXPECT_TRUE(exists("out/BAD.mzt") && exists("out/BIN.bsd") && exists("out/CODE.mzt"));

  ASSERT_EQ(run({"F", "new.d88"}).status, 0);
  EXPECT_EQ(run({"-b", "-t", "A", "new.d88", "1", "/", "out"}).status, 0);
  for (const char* name : {"BAD", "NOTE", "BIN", "CODE"}) {
    EXPECT_EQ(out("new.d88", name), out("disk.rom", name)) << name;
  }
  const Bytes prog = out("new.d88", "PROG");
  EXPECT_EQ(body_of(prog), kProgram);
  EXPECT_EQ(load_of(prog), 0);  // the only difference
  // Back into the first disk, a BTX file keeps its addresses.
  EXPECT_EQ(run({"-b", "A", "disk.rom", "1", "/", "out"}).status, 0);
  EXPECT_EQ(load_of(out("disk.rom", "PROG")), 0x545C);
  // Without the options the text files stay skipped.
  ASSERT_EQ(run({"F", "plain.d88"}).status, 0);
  EXPECT_EQ(run({"A", "plain.d88", "1", "/", "out"}).status, 0);
  EXPECT_EQ(run({"R", "plain.d88", "1", "PROG", "r.out"}).status, 1);
}

TEST_F(BasicE2eTest, AStoresOneHostFile) {
  EXPECT_EQ(run({"-b", "A", "disk.rom", "1", "/", "p.bas"}).status, 0);
  EXPECT_EQ(body_of(out("disk.rom", "p")), kProgram);
  EXPECT_EQ(run({"-t", "A", "disk.rom", "1", "SUB", "n.txt"}).status, 0);
  EXPECT_EQ(out("disk.rom", "SUB/n"), kText);
  // Without -b a listing is skipped, as in a folder.
  const ToolRun skipped = run({"A", "disk.rom", "1", "OTHER", "p.bas"});
  EXPECT_EQ(skipped.status, 0);
  EXPECT_EQ(skipped.err, message_text(msg::kSkipped, "p.bas"));
  EXPECT_EQ(run({"A", "disk.rom", "1", "/", "none.mzt"}).err, message_text(msg::kPathNotFound, "none.mzt"));
}

TEST_F(BasicE2eTest, TTurnsATapeFileIntoItsListingAndBack) {
  testing::write_file(dir_.file("prog.mzt"), basic_mzt("PROG", kProgram, 0x4806));
  const ToolRun listed = run({"T", "prog.mzt", "prog.bas"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.out, testing::done_line());
  EXPECT_EQ(text_of(read_file(dir_.file("prog.bas"))), host_lines(kListing));

  EXPECT_EQ(run({"t", "prog.bas", "NEWNAME.mzt"}).status, 0);
  Bytes expected = basic_mzt("NEWNAME.mzt", kProgram);
  std::fill(expected.begin() + 8, expected.begin() + 18, kNameEnd);
  EXPECT_EQ(read_file(dir_.file("NEWNAME.mzt")), expected);
  // "-" on either side; the run's own line then goes to standard error.
  const ToolRun piped = run({"T", "prog.mzt", "-"});
  EXPECT_EQ(piped.out, kListing);
  EXPECT_EQ(piped.err, testing::done_line());
  Bytes unnamed = basic_mzt("", kProgram);
  testing::RunOptions bytes;
  bytes.raw = true;  // the MZT file's 0x0D are its own
  EXPECT_EQ(bytes_of(testing::run_tool_with({"T", "prog.bas", "-"}, dir_, bytes).out), unnamed);
}

TEST_F(BasicE2eTest, TRefusalsLeaveTheTargetAsItWas) {
  testing::write_file(dir_.file("bad.bas"), bytes_of("10 PRINT\nX\n"));
  testing::write_file(dir_.file("old.mzt"), {1, 2, 3});
  Bytes tape(140, 0);  // an OBJ file's MZT header, then a BTX file's whose size does not fit
  tape[0] = 1, tape[1] = 'A', tape[2] = 0x0D;
  testing::write_file(dir_.file("obj.mzt"), tape);
  tape[0] = 2, tape[18] = 13;
  testing::write_file(dir_.file("cut.mzt"), tape);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
  } refused[] = {
      {{"T", "bad.bas", "new.mzt"}, 1, message_text(msg::kNoLineNumber, 2u)},
      {{"T", "bad.bas", "old.mzt"}, 1, message_text(msg::kNoLineNumber, 2u)},
      {{"T", "p.bas", "ABCDEFGHIJKLMNOPQ.mzt"}, 1, message_text(msg::kNameTooLong, "ABCDEFGHIJKLMNOPQ")},
      {{"T", "none.bas", "new.mzt"}, 1, message_text(msg::kHostFileNotFound, "none.bas")},
      {{"T", ".", "new.mzt"}, 1, message_text(msg::kNotAFile, ".")},
      {{"T", "obj.mzt", "new.mzt"}, 1, message_text(msg::kTapeNotBasic, "obj.mzt", 1u)},
      {{"T", "cut.mzt", "new.mzt"}, 1, message_text(msg::kNotBasicProgram, "cut.mzt")},
      {{"T", "p.bas"}, 2, ""},
      {{"T", "p.bas", "new.mzt", "x"}, 2, ""},
  };
  for (const auto& c : refused) {
    const ToolRun r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[1];
    if (c.status == 1) {
      EXPECT_EQ(r.err, c.err) << c.args[1];
    }
    EXPECT_FALSE(exists("new.mzt"));
    EXPECT_EQ(read_file(dir_.file("old.mzt")), (Bytes{1, 2, 3}));
  }
}

// A published program: listed and read back into the same bytes.
TEST_F(BasicE2eTest, TReadsAPublishedProgramBack) {
  const fs::path shared = fs::path(TARNWICK_REALDATA).parent_path() / "basic" / "SD_BAS.mzt";
  if (!fs::exists(shared)) GTEST_SKIP() << shared << " is absent";
  const Bytes original = read_file(shared.string());
  testing::write_file(dir_.file("sd.mzt"), original);
  ASSERT_EQ(run({"T", "sd.mzt", "sd.bas"}).status, 0);
  ASSERT_EQ(run({"T", "sd.bas", "again.mzt"}).status, 0);
  EXPECT_EQ(body_of(read_file(dir_.file("again.mzt"))), body_of(original));
}

// The MZ-2500's own BASIC programs do not parse as S-BASIC: X -b writes
// them as they are, with a notice each.
TEST_F(BasicE2eTest, XWritesMz2500ProgramsAsTheyAre) {
  const fs::path rom = fs::path(TARNWICK_REALDATA) / "SASIROM.BIN";
  if (!fs::exists(rom)) GTEST_SKIP() << rom << " is absent";
  testing::write_file(dir_.file("sasi.ROM"), read_file(rom.string()));
  const ToolRun r = run({"-b", "X", "sasi.ROM", "1", "/", "out"});
  EXPECT_EQ(r.status, 0);
  for (const char* name : {"HD FORMAT.m25", "HD PARTITION.m25", "ALGO COPY.m25"}) {
    EXPECT_NE(r.err.find(message_text(msg::kWrittenAsIs, name)), std::string::npos) << name;
    EXPECT_TRUE(exists(std::string("out/") + name + ".mzt")) << name;
  }
}

}  // namespace
}  // namespace tarnwick
