#include "app/frontend.h"
#include "containers/container.h"
#include "containers/hdd_rom.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/image_builder.h"
#include "support/memory_host.h"
#include "support/message_text.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::MemoryHost;
using testing::VolumeBuilder;

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

TEST(FrontEndTest, BadCommandLinesPrintTheUsageOnly) {
  MemoryHost host;
  host.files["img"] = small_hdd();
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"L", "img", "3"},
      {"L", "img", "01"},
      {"L", "img", "12"},
      {"L", "img", ""},
      {"R", "img", "1", "A"},
      {"D", "img", "1", "A", "B"},
      {"W", "img", "1", "A", "B", "C"},
      {"I", "img", "1", "0"},
      {"V", "img"},
      {"VV", "img"},
      {"X", "img"},
      {"X", "img", "1", "A"},
      {"A", "img", "1", "A"},
      {"A", "img", "1", "A", "B", "C"},
      {"M", "img", "1"},
      {"K", "img", "1", "A", "B"},
      {"Y", "img", "1", "A"},
      {"", "img"},
      {"L"},
      {"D", "img", "1"},
      {"F"},
      {"F", "new.d88", "3"},
      {"F", "new.d88", "1", "A"},
      // Options: unknown ones, and options without a command.
      {"-x", "L", "img"},
      {"--stat", "L", "img"},
      {"-lx", "L", "img"},
      {"-", "L", "img"},
      {"--", "L", "img"},
      {"-l"},
      {"--long", "-l"},
      {"-l", "L"},
      {"-l", "R", "img", "1", "A"},
      {"-x", "--help"},
  };
  for (const auto& args : bad) {
    const RunResult r = run(host, args);
    EXPECT_EQ(r.out, usage()) << (args.empty() ? "(none)" : args[0]);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    // Asked for, the exit status tells a wrong command line.
    std::vector<std::string> with_status{"-s"};
    with_status.insert(with_status.end(), args.begin(), args.end());
    const RunResult s = run(host, with_status);
    EXPECT_EQ(s.out, usage()) << "-s " << (args.empty() ? "(none)" : args[0]);
    EXPECT_EQ(s.status, 2);
  }
  EXPECT_EQ(host.files["img"], small_hdd());
  EXPECT_EQ(host.files.size(), 1u);
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
  EXPECT_EQ(r.err, "disk.img \x82\xCD\x91\xCE\x89\x9E\x82\xB5\x82\xC4\x82\xA2\x82\xC8\x82\xA2\x83" "C\x83\x81\x81[\x83W\x83t\x83@\x83" "C\x83\x8B\x82\xC5\x82\xB7\n");

  r = run(host, {"L", "short.rom"});
  EXPECT_EQ(r.out, "short.rom is ROM image\n" + done());
  EXPECT_EQ(r.err, msg::kRomFormatBad.bytes);

  r = run(host, {"L", "short.hdd"});
  EXPECT_EQ(r.out, done());
  EXPECT_EQ(r.err, std::string("short.hdd") + " \x82\xCD\x91\xCE\x89\x9E\x82\xB5\x82\xC4\x82\xA2\x82\xC8\x82\xA2\x83" "C\x83\x81\x81[\x83W\x83t\x83@\x83" "C\x83\x8B\x82\xC5\x82\xB7\n");

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
// short after loading (reads come up short past the signature and the
// system record) is reported as a short image, and nothing is written.
TEST(FrontEndTest, AnImageCutShortUnderTheRunIsReportedAndNeverWritten) {
  for (const char* command : {"L", "D"}) {
    MemoryHost host;
    host.files["disk.hdd"] = small_hdd();
    host.files["disk.hdd"][kPartition1Offset + Volume::kSystemOffset + sys::kTotalBlocks] = 64;
    const Bytes before = host.files["disk.hdd"];
    host.read_budget = 2 * kRecordSize;
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
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(host.files.count("missing.hdd"));
}

// L and R only read the image, so an image the user may only read serves
// them and other readers may share it; W, D and I need it writable (and say
// so) and to themselves.
TEST(FrontEndTest, ListAndExtractShareAnImageTheyMayOnlyRead) {
  const std::vector<std::vector<std::string>> commands = {
      {"L", "img"}, {"R", "img", "1", "X", "out"}, {"W", "img", "1", "X", "in"}, {"D", "img", "1", "X"},
      {"I", "img", "1", "0", "in"}};
  for (const auto& args : commands) {
    MemoryHost host;
    host.files["img"] = small_hdd();
    host.files["in"] = {};
    const bool reads = args[0] == "L" || args[0] == "R";
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
