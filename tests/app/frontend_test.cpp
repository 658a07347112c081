#include "app/frontend.h"
#include "containers/container.h"
#include "containers/hdd_rom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/image_builder.h"
#include "support/memory_host.h"
#include "support/message_text.h"
#include "support/sample_volumes.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::MemoryHost;
using testing::VolumeBuilder;
using testing::message_text;

struct RunResult {
  std::string out, err;
  int status;
};

RunResult run(MemoryHost& host, std::vector<std::string> args) {
  std::vector<const char*> argv{"tarnwick"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  Console con;
  const int status = run_tarnwick(static_cast<int>(argv.size()), argv.data(), con, host);
  return RunResult{con.out_text(), con.err_text(), status};
}

std::string usage() { return msg::kUsage.bytes; }
std::string done() { return msg::kDone.bytes; }

Bytes small_hdd() { return testing::make_hdd_image(VolumeBuilder(64, 1).take(), VolumeBuilder(32, 1).take()); }

TEST(ImageExtensionTest, LastThreeCharactersAfterADot) {
  EXPECT_EQ(image_extension("disk.d88"), "D88");
  EXPECT_EQ(image_extension("DISK.D88"), "D88");
  EXPECT_EQ(image_extension(".d88"), "D88");
  EXPECT_EQ(image_extension("disk.Rom"), "ROM");
  EXPECT_EQ(image_extension("disk.hdd"), "HDD");
  EXPECT_EQ(image_extension("disk"), "");
  EXPECT_EQ(image_extension("disk.d8"), "");
  EXPECT_EQ(image_extension("d88"), "");
  EXPECT_EQ(image_extension("disk.d88.bak"), "BAK");
}

// A command line that does not fit says why on standard error, the first
// reason that applies (an unknown option, an unknown command, the count,
// PART, L's path), then where help is; the usage goes to standard output
// and the exit status is 2. With no argument at all, the usage alone.
TEST(FrontEndTest, BadCommandLinesSayWhyAndPrintTheUsage) {
  MemoryHost host;
  host.files["img"] = small_hdd();
  const auto count = [](const char* letter, const char* n) { return message_text(msg::kArgumentCount, letter, n); };
  const std::string part = message_text(msg::kPartOneOrTwo);
  const struct {
    std::vector<std::string> args;
    std::string why;
  } cases[] = {
      {{}, ""},
      {{"L", "img", "3"}, part},
      {{"L", "img", "01"}, part},
      {{"L", "img", ""}, part},
      {{"R", "img", "1", "A"}, count("R", "5")},
      {{"D", "img", "1", "A", "B"}, count("D", "4")},
      {{"w", "img", "1", "A"}, count("w", "5-")},
      {{"I", "img", "1", "0"}, count("I", "5")},
      {{"X", "img"}, count("X", "5")},
      {{"A", "img", "1", "A", "B", "C"}, count("A", "5")},
      {{"M", "img", "1"}, count("M", "4")},
      {{"K", "img", "1", "A", "B"}, count("K", "4")},
      {{"C", "img", "1"}, count("C", "4")},
      {{"C", "img", "3", "new.d88"}, part},
      {{"L"}, count("L", "2-4")},
      {{"vF"}, count("F", "2-3")},
      {{"F", "new.d88", "1", "A"}, count("F", "2-3")},
      {{"F", "new.d88", "3"}, part},
      {{"D", "img", "7"}, count("D", "4")},  // the count comes first
      {{"V", "img"}, message_text(msg::kUnknownCommand, "V")},
      {{"VV", "img"}, message_text(msg::kUnknownCommand, "VV")},
      {{"Qxyz", "img", "9"}, message_text(msg::kUnknownCommand, "Qxyz")},
      {{"dir", "img", "1", "A"}, message_text(msg::kUnknownCommand, "dir")},  // a writing command's word
      {{"info", "img", "1", "10", "x"}, message_text(msg::kUnknownCommand, "info")},
      {{"Vmake", "img", "1", "A"}, message_text(msg::kUnknownCommand, "Vmake")},
      {{"", "img"}, message_text(msg::kUnknownCommand, "")},
      {{"-x", "L", "img"}, message_text(msg::kUnknownOption, "-x")},
      {{"--stat", "Q"}, message_text(msg::kUnknownOption, "--stat")},
      {{"-lx", "L", "img"}, message_text(msg::kUnknownOption, "-lx")},
      {{"-", "L", "img"}, message_text(msg::kUnknownCommand, "-")},  // a stream, no option
      {{"L", "img", "--", "-l"}, part},                                // no option after "--"
      {{"L", "img", "1", "-x"}, message_text(msg::kUnknownOption, "-x")},
      {{"D", "img", "1", "A", "-r"}, message_text(msg::kOptionOnlyFor, "-r", "L")},
      {{"-l"}, message_text(msg::kUnknownCommand, "")},
      {{"-l", "R", "img", "1", "A"}, count("R", "5")},
      {{"L", "img", "1", std::string(255, 'A')}, message_text(msg::kPathTooLong)},
      {{"T", "a.bas"}, count("T", "3")},
      {{"-n", "X", "L", "img"}, message_text(msg::kOptionOnlyFor, "-n", "T")},
      {{"--name=X", "L", "img"}, message_text(msg::kOptionOnlyFor, "--name", "T")},
      {{"-bn"}, message_text(msg::kOptionNeedsValue, "-n")},
      {{"t", "a.bas", "b.mzt", "3"}, count("t", "3")},
      {{"-b", "R", "img", "1", "A"}, count("R", "5")},
      {{"-bx", "L", "img"}, message_text(msg::kUnknownOption, "-bx")},
      {{"--basics", "L", "img"}, message_text(msg::kUnknownOption, "--basics")},
      {{"-j", "R", "img", "1", "A", "B"}, message_text(msg::kOptionOnlyFor, "-j", "L, E")},
      {{"-lr", "-j", "D", "img", "1", "A"}, message_text(msg::kOptionOnlyFor, "-r", "L")},
      {{"--json", "-r", "T", "a", "b", "c"}, message_text(msg::kOptionOnlyFor, "--json", "L, E")},
      {{"-jr", "E", "img"}, message_text(msg::kOptionOnlyFor, "-r", "L")},
      {{"--fix", "L", "img"}, message_text(msg::kOptionOnlyFor, "--fix", "E")},
      {{"--fix", "E", "img", "1", "A"}, count("E", "2-3")},
      {{"--recursive", "Q"}, message_text(msg::kUnknownCommand, "Q")},
      {{"-j", "L"}, count("L", "2-4")},
  };
  for (const auto& c : cases) {
    const std::string what = c.args.empty() ? "(none)" : c.args[0] + " " + std::to_string(c.args.size());
    for (const bool status : {false, true}) {
      if (status && c.args.empty()) continue;  // "-s" alone names no command
      std::vector<std::string> args = c.args;
      if (status) args.insert(args.begin(), "-s");  // accepted, and changes nothing
      const RunResult r = run(host, args);
      EXPECT_EQ(r.out, usage()) << what;
      EXPECT_EQ(r.err, c.why.empty() ? "" : c.why + message_text(msg::kSeeHelp)) << what;
      EXPECT_EQ(r.status, 2) << what;
    }
  }
  EXPECT_EQ(host.files["img"], small_hdd());
  EXPECT_EQ(host.files.size(), 1u);
}

// PART is judged on the image as it was opened: a bad one is a usage error
// that restores nothing, even where a save was cut short.
TEST(FrontEndTest, ABadPartRestoresNothing) {
  MemoryHost start;
  start.files["img"] = small_hdd();
  MemoryHost host;
  host.files = testing::stopped_before_journal_removal(start, {"M", "img", "1", "NEW"}).files;
  const auto before = host.files;
  ASSERT_TRUE(before.count("img-journal"));
  for (const std::vector<std::string>& args : {std::vector<std::string>{"L", "img", "3"}, {"M", "img", "3", "X"}}) {
    EXPECT_EQ(run(host, args).status, 2);
    EXPECT_EQ(host.files, before);
  }
  EXPECT_EQ(run(host, {"L", "img", "1"}).err, message_text(msg::kRestoredFromJournal, "img"));
}

// Options stand anywhere up to "--"; -q leaves the data alone on standard
// output; a wildcard picks entries for L, R and D, D all or nothing; W of
// several host files stores them all or none.
TEST(FrontEndTest, OptionsAnywhereQuietWildcardsAndSeveralHostFiles) {
  MemoryHost host;
  VolumeBuilder b(64, 1);
  for (const char* name : {"A1", "A2", "B1"}) b.add_contiguous(kRootDirectoryRecord, name, Bytes(300, 7));
  b.add_other(kRootDirectoryRecord, "AXE", mode::kRb);
  b.add_directory(kRootDirectoryRecord, "ADIR");
  host.files["img"] = testing::make_hdd_image(b.take());
  const Bytes image = host.files["img"];
  const std::string listed = run(host, {"-l", "L", "img"}).out;
  EXPECT_EQ(run(host, {"L", "img", "-l"}).out, listed);
  EXPECT_EQ(run(host, {"L", "--long", "img", "1"}).out, listed);
  const std::string two = run(host, {"L", "img", "1", "A?"}).out;
  EXPECT_EQ(run(host, {"L", "img", "1", "A?", "-q"}).out, two.substr(17, two.size() - 17 - done().size()));
  EXPECT_NE(two.find("\"A2\""), std::string::npos);
  EXPECT_EQ(two.find("\"AXE\""), std::string::npos);

  const RunResult none = run(host, {"L", "img", "1", "Z*"});
  EXPECT_EQ(none.err, message_text(msg::kNoMatch, "Z*"));
  EXPECT_EQ(none.status, 1);
  const RunResult refused = run(host, {"D", "img", "1", "A*"});
  EXPECT_EQ(refused.err, message_text(msg::kCannotDelete, "AXE") + message_text(msg::kUnsupportedMode, 5u) +
                             message_text(msg::kCannotDelete, "ADIR") + message_text(msg::kIsDirectory, "ADIR"));
  EXPECT_EQ(host.files["img"], image);

  const RunResult r = run(host, {"R", "img", "1", "A*", "out"});
  EXPECT_EQ(r.err, message_text(msg::kSkippedMode, "AXE", 5u) + message_text(msg::kSkippedDirectory, "ADIR"));
  EXPECT_EQ(host.files.count("out/A1.mzt") + host.files.count("out/A2.mzt"), 2u);
  EXPECT_EQ(run(host, {"-q", "D", "img", "1", "A?"}).out,
            message_text(msg::kDeleted, "A1") + message_text(msg::kDeleted, "A2"));

  host.files["a.mzt"] = testing::make_mzt("A", Bytes(10, 1));
  EXPECT_EQ(run(host, {"W", "img", "1", "NEW", "a.mzt", "missing.mzt"}).status, 1);
  EXPECT_EQ(run(host, {"L", "-q", "img", "1", "N*"}).out, "");
  EXPECT_EQ(run(host, {"W", "img", "1", "NEW", "a.mzt", "--", "-b.mzt"}).status, 1);  // no option after "--"
  host.files["-b.mzt"] = host.files["a.mzt"];
  EXPECT_EQ(run(host, {"W", "img", "1", "NEW", "a.mzt", "--", "-b.mzt"}).status, 0);
  const std::string stored = run(host, {"-q", "L", "img", "1", "NEW/?*"}).out;
  EXPECT_EQ(std::count(stored.begin(), stored.end(), '\n'), 2) << stored;
  EXPECT_NE(stored.find("\"-b\""), std::string::npos) << stored;
}

TEST(FrontEndTest, CommandLetterSpellings) {
  MemoryHost host;
  host.files["img"] = small_hdd();
  const std::string loaded = "img is HDD image\n" + done();
  for (const char* cmd : {"L", "l", "Lxyz", "list"}) EXPECT_EQ(run(host, {cmd, "img"}).out, loaded) << cmd;
  // Arguments after the path are ignored by L.
  EXPECT_EQ(run(host, {"L", "img", "1", "/", "extra", "more"}).out, loaded);
  const std::string verbose = run(host, {"vl", "img"}).out;
  EXPECT_EQ(verbose.rfind("\x83R\x83}\x83\x93\x83h: L\n", 0), 0u) << verbose;
  // A command that writes answers to its letter and its names alone.
  for (const char* w : {"WRITE", "vWrite", "Import", "Add"}) EXPECT_NE(run(host, {w, "img", "1", "A", "in"}).out, usage());
  for (const char* w : {"Delete", "del", "MKDIR", "md", "kill"}) EXPECT_NE(run(host, {w, "img", "1", "A"}).out, usage());
  EXPECT_NE(run(host, {"format", "new.d88"}).out, usage());
}

TEST(FrontEndTest, VerboseEchoesTheArguments) {
  MemoryHost host;
  host.files["img"] = small_hdd();
  const std::string echo_l = "\x83R\x83}\x83\x93\x83h: L\nHDD File: img\nHDD Num : 0\nMZ PATH : /\nMZT File: (null)\n";
  EXPECT_EQ(run(host, {"VL", "img"}).out.substr(0, echo_l.size()), echo_l);
  const std::string echo_games = "\x83R\x83}\x83\x93\x83h: L\nHDD File: img\nHDD Num : 1\nMZ PATH : GAMES\nMZT File: (null)\n";
  EXPECT_EQ(run(host, {"vL", "img", "2", "GAMES"}).out.substr(0, echo_games.size()), echo_games);
  const std::string echo_r = "\x83R\x83}\x83\x93\x83h: R\nHDD File: img\nHDD Num : 0\nMZ PATH : A\nMZT File: out.mzt\n";
  EXPECT_EQ(run(host, {"vr", "img", "1", "A", "out.mzt"}).out.substr(0, echo_r.size()), echo_r);
}

TEST(FrontEndTest, LongListPathsAreRefused) {
  MemoryHost host;
  host.files["img"] = small_hdd();
  EXPECT_NE(run(host, {"L", "img", "1", std::string(254, 'A')}).out, usage());
  EXPECT_EQ(run(host, {"L", "img", "1", std::string(255, 'A')}).out, usage());
  EXPECT_NE(run(host, {"L", "img", "1", std::string(254, 'A') + "/"}).out, usage());
  EXPECT_EQ(run(host, {"L", "img", "1", std::string(255, 'A') + "/"}).out, usage());
  // --help and --version are answered wherever they stand.
  EXPECT_EQ(run(host, {"L", "--help"}).out, msg::kHelp.bytes);
  EXPECT_EQ(run(host, {"W", "img", "1", "A", "--version"}).status, 0);
}

TEST(FrontEndTest, ContainerChoiceAndLoadFailures) {
  MemoryHost host;
  const Bytes rom = testing::make_rom_image(VolumeBuilder(32, 1).take());
  host.files["disk.rom"] = rom;
  host.files["disk.Rom"] = rom;
  host.files["disk.img"] = rom;  // a ROM image under another name
  host.files["short.rom"] = Bytes(100, 0);
  host.files["short.hdd"] = Bytes(255, 0);
  Bytes head(256, 0);
  std::copy_n("MZ-2500 HD system by SHARP Corp.  V1.0A", 39, head.begin());
  host.files["head.hdd"] = head;
  host.files["disk.hdd"] = small_hdd();
  host.files["empty.d88"] = {};

  EXPECT_EQ(run(host, {"L", "disk.rom"}).out, "disk.rom is ROM image\n" + done());
  EXPECT_EQ(run(host, {"L", "disk.Rom"}).out, "disk.Rom is ROM image\n" + done());

  RunResult r = run(host, {"L", "disk.img"});
  EXPECT_EQ(r.out, done());
  EXPECT_EQ(r.err, "disk.img \x82\xCD\x91\xCE\x89\x9E\x82\xB5\x82\xC4\x82\xA2\x82\xC8\x82\xA2\x83" "C\x83\x81\x81[\x83W\x83t\x83@\x83" "C\x83\x8B\x82\xC5\x82\xB7\n" +
                       message_text(msg::kNotAnyImage, "disk.img") + msg::kRomNeedsItsName.bytes);

  r = run(host, {"L", "short.rom"});
  EXPECT_EQ(r.out, "short.rom is ROM image\n" + done());
  EXPECT_EQ(r.err, msg::kRomFormatBad.bytes);

  r = run(host, {"L", "short.hdd"});
  EXPECT_EQ(r.out, done());
  EXPECT_EQ(r.err, std::string("short.hdd") + " \x82\xCD\x91\xCE\x89\x9E\x82\xB5\x82\xC4\x82\xA2\x82\xC8\x82\xA2\x83" "C\x83\x81\x81[\x83W\x83t\x83@\x83" "C\x83\x8B\x82\xC5\x82\xB7\n" +
                       message_text(msg::kNotAnyImage, "short.hdd"));

  r = run(host, {"L", "head.hdd"});
  EXPECT_EQ(r.out, "head.hdd is HDD image\n" + done());
  EXPECT_EQ(r.err, msg::kHddFormatBad.bytes);

  // Partition 2 of an image that has one.
  r = run(host, {"L", "disk.hdd", "2"});
  EXPECT_EQ(r.out, "disk.hdd is HDD image\n" + done());
  EXPECT_EQ(r.err, "");

  // A D88 image that fails its check prints no container line.
  r = run(host, {"L", "empty.d88"});
  EXPECT_EQ(r.out.find("is D88 image"), std::string::npos);
  EXPECT_NE(r.err.find(msg::kD88FormatBad.bytes), std::string::npos);
  EXPECT_EQ(r.out.substr(r.out.size() - done().size()), done());
}

// The volume's pages are read as the run needs them. An image file cut
// short under the run (reads come up short past the signature: within the
// load at one or two records, past it at more, where what the check and the
// command printed is taken back) is reported as a short image, and nothing
// is written.
TEST(FrontEndTest, AnImageCutShortUnderTheRunIsReportedAndNeverWritten) {
  for (unsigned i = 0; i < 16; ++i) {
    const char* command = i % 2 ? "D" : "L";
    MemoryHost host;
    host.files["disk.hdd"] = small_hdd();
    host.files["disk.hdd"][kPartition1Offset + Volume::kSystemOffset + sys::kTotalBlocks] = 64;
    const Bytes before = host.files["disk.hdd"];
    host.read_budget = (1 + i / 2) * kRecordSize;
    const RunResult r = run(host, {command, "disk.hdd", "1", "NAME"});
    EXPECT_EQ(r.out, "disk.hdd is HDD image\n" + done()) << command;
    EXPECT_EQ(r.err, msg::kHddFormatBad.bytes) << command;
    EXPECT_EQ(host.files["disk.hdd"], before) << command;
  }
}

TEST(FrontEndTest, AnImageThatCannotBeOpenedIsReported) {
  MemoryHost host;
  const RunResult r = run(host, {"L", "missing.hdd"});
  EXPECT_EQ(r.out, done());
  EXPECT_EQ(r.err, "'missing.hdd' \x82\xAA\x8AJ\x82\xAF\x82\xDC\x82\xB9\x82\xF1 (No such file or directory)\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(host.files.count("missing.hdd"));
}

// L and R only read the image, so an image the user may only read serves
// them and other readers may share it; W, D and I need it writable (and say
// so) and to themselves.
TEST(FrontEndTest, ListAndExtractShareAnImageTheyMayOnlyRead) {
  const std::vector<std::vector<std::string>> commands = {
      {"L", "img"}, {"R", "img", "1", "X", "out"}, {"W", "img", "1", "X", "in"}, {"D", "img", "1", "X"},
      {"I", "img", "1", "0", "in"}, {"E", "img"}, {"--fix", "E", "img"}};
  for (const auto& args : commands) {
    MemoryHost host;
    host.files["img"] = small_hdd();
    host.files["in"] = {};
    const bool reads = args[0] == "L" || args[0] == "R" || args[0] == "E";
    run(host, args);
    EXPECT_EQ(host.locks["img"], reads ? Lock::kShared : Lock::kExclusive) << args[0];

    host.files["img"] = small_hdd();
    host.read_only.push_back("img");
    const RunResult r = run(host, args);
    if (reads) {
      EXPECT_EQ(r.out.rfind("img is HDD image\n", 0), 0u) << args[0] << r.out;
      EXPECT_EQ(r.err.find("'img'"), std::string::npos) << args[0];
    } else {
      EXPECT_EQ(r.out, done());
      EXPECT_EQ(r.err, testing::message_text(msg::kImageOpenFailed, "img", "Permission denied")) << args[0];
    }
    EXPECT_EQ(host.files["img"], small_hdd());
  }
}

}  // namespace
}  // namespace tarnwick
