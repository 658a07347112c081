// M, K and X as a user runs them: the built binary on an image file in a
// scratch folder, the host folder's files, bytes and times checked from
// outside.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/frontend.h"
#include "host/file.h"
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
using testing::pattern;
using testing::read_file;

constexpr uint32_t kRoot = kRootDirectoryRecord;

testing::FileOptions stamped(int year, int month, int day) {
  testing::FileOptions o;
  o.stamp = encode_time_stamp(HostTime{year, month, day, 12, 0});
  return o;
}

int64_t mtime_of(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(stat(p.c_str(), &st), 0) << p;
  return int64_t{st.st_mtim.tv_sec};
}

// The host's files and folders below `root`, as "path" or "path/".
std::string listing(const fs::path& root) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    names.push_back(fs::relative(e.path(), root).generic_string() + (e.is_directory() ? "/" : ""));
  }
  std::sort(names.begin(), names.end());
  std::string all;
  for (const std::string& n : names) all += n + "\n";
  return all;
}

TEST(TreeE2eTest, MakeFillListAndTakeTheWholeTreeOut) {
  testing::ScratchDir dir;
  // Wine without a Japanese locale cannot make host names beyond ASCII, so
  // a Windows build is given ASCII names there.
  const bool ascii = testing::runs_under_wine();
  const std::string game = ascii ? "GAME" : "\x83Q\x81[\x83\x80";  // ゲーム in Shift_JIS
  const std::string kana = ascii ? "KANA" : "\xB9\xDE\xB0\xD1";    // ｹﾞｰﾑ, half-width
  const std::string game_host = ascii ? "GAME" : "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0";
  const std::string kana_host = ascii ? "KANA" : "\xEF\xBD\xB9\xEF\xBE\x9E\xEF\xBD\xB0\xEF\xBE\x91";
  testing::VolumeBuilder b(400, 1);
  b.add_contiguous(kRoot, "HELLO", pattern(700, 1), mode::kObj, stamped(1986, 4, 1));
  b.add_contiguous(kRoot, "HELLO", pattern(30, 2), mode::kBtx, stamped(1987, 5, 2));  // the same name again
  b.add_bsd(kRoot, "A/B%", pattern(600, 3), stamped(1988, 6, 3));
  const uint32_t sub = b.add_directory(kRoot, game, stamped(1998, 12, 31));
  b.add_brd(sub, kana, pattern(5000, 4), stamped(2001, 2, 3));
  b.add_other(sub, "RB", mode::kRb);
  const EntryRef broken = b.add_bsd(sub, "BROKEN", pattern(300, 5));
  b.volume().put16(uint64_t{b.volume().start_record(broken)} * kRecordSize + kChainLink, 0xFFF0);
  b.add_contiguous(kRoot, ".", pattern(10, 9));  // a file no path names
  testing::write_file(dir.file("disk.rom"), testing::make_rom_image(b.take()));
  testing::write_file(dir.file("in.mzt"), testing::make_mzt("NEW", pattern(100, 6)));

  // The damaged file is what the check reports before and after each command.
  const std::string check_err = message_text(msg::kBsdFileError, "BROKEN");
  const std::string check_out = message_text(msg::kCheckFailed);

  // M makes a directory, W fills it, K refuses it while it holds a file.
  testing::ToolRun r = testing::run_tool({"M", "disk.rom", "1", "NEW"}, dir);
  EXPECT_EQ(r.err, check_err + check_err);
  EXPECT_NE(r.out.find(message_text(msg::kDirectoryCreated, "NEW")), std::string::npos);
  r = testing::run_tool({"W", "disk.rom", "1", "NEW/PROG", "in.mzt"}, dir);
  EXPECT_EQ(r.err, check_err + check_err);
  r = testing::run_tool({"K", "disk.rom", "1", "NEW"}, dir);
  EXPECT_EQ(r.err, check_err + message_text(msg::kDirectoryNotEmpty, "NEW") + check_err);

  // X: every file with R's bytes, names decoded from code page 932, '/' and
  // '%' written as %XX, the second HELLO told apart, the damaged file
  // reported and the RB file and the file "." skipped, all left out.
  const Bytes before_x = read_file(dir.file("disk.rom"));
  r = testing::run_tool({"X", "disk.rom", "1", "/", "out"}, dir);
  EXPECT_EQ(r.out, message_text(msg::kIsRomImage, "disk.rom") + check_out + "HELLO\nHELLO\nA/B%\n" + game + "/" +
                       kana + "\n" + "NEW/PROG\n" + message_text(msg::kFilesExtractedSkipped, 5, 2) + check_out +
                       message_text(msg::kDone));
  EXPECT_EQ(r.err, check_err + message_text(msg::kSkippedMode, (game + "/RB").c_str(), 0x05u) +
                       message_text(msg::kDataDamaged, "BROKEN") + message_text(msg::kSkippedMode, ".", 1u) +
                       check_err);
  const fs::path out = dir.path() / "out";
  std::vector<std::string> want = {"A%2FB%25.bsd", "HELLO.mzt", "HELLO~2.mzt", "NEW/", "NEW/PROG.mzt",
                                   game_host + "/", game_host + "/" + kana_host + ".brd"};
  std::sort(want.begin(), want.end());
  std::string want_listing;
  for (const std::string& w : want) want_listing += w + "\n";
  EXPECT_EQ(listing(out), want_listing);
  EXPECT_EQ(read_file((out / "A%2FB%25.bsd").string()), pattern(600, 3));
  EXPECT_EQ(read_file((out / "HELLO~2.mzt").string()).size(), 128u + 30u);
  for (const auto& [path, file] : {std::pair{"HELLO", "HELLO.mzt"}, std::pair{"NEW/PROG", "NEW/PROG.mzt"}}) {
    r = testing::run_tool({"R", "disk.rom", "1", path, "r.bin"}, dir);
    EXPECT_EQ(read_file((out / file).string()), read_file(dir.file("r.bin"))) << path;
    EXPECT_EQ(mtime_of(out / file), mtime_of(dir.file("r.bin"))) << path;
  }
  // The folder keeps its own stamp (1998-12-31 12:00), set after its file's
  // (2001-02-03 12:00), 765 days later.
  const fs::path game_folder = out / game_host;
  EXPECT_EQ(mtime_of(game_folder) + 765 * 86400, mtime_of(game_folder / (kana_host + ".brd")));
  EXPECT_EQ(read_file(dir.file("disk.rom")), before_x);

  // A folder that is not empty is refused, and nothing is written.
  r = testing::run_tool({"X", "disk.rom", "1", "", "out"}, dir);
  EXPECT_EQ(r.err, check_err + message_text(msg::kCannotWrite, "out") + message_text(msg::kNotEmptyFolder, "out") +
                       check_err);
}

// The run goes through the front end in this process, on the real host,
// which swaps SUB for a link to a folder outside HOSTDIR in the moment
// after X has made it and before X opens it.
TEST(TreeE2eTest, AFolderSwappedForALinkWhileXPausesLetsNothingOutside) {
  testing::ScratchDir dir;
  testing::VolumeBuilder b(400, 1);
  b.add_contiguous(kRoot, "TOP", pattern(100, 1), mode::kObj, stamped(1990, 1, 1));
  const uint32_t sub = b.add_directory(kRoot, "SUB", stamped(1991, 2, 2));
  b.add_bsd(sub, "IN", pattern(300, 2), stamped(1992, 3, 3));
  testing::write_file(dir.file("disk.hdd"), testing::make_hdd_image(b.take()));
  const fs::path outside = dir.path() / "outside";
  fs::create_directory(outside);
  const int64_t outside_time = mtime_of(outside);

  const fs::path made = dir.path() / "out" / "SUB";
  int swaps = 0;
  const std::unique_ptr<Host> host = make_native_host(kImageLockWait, false, [&] {
    if (!fs::is_directory(made) || fs::is_symlink(made)) return;
    ASSERT_TRUE(fs::remove(made));
    fs::create_directory_symlink(outside, made);
    ++swaps;
  });
  const std::string image = dir.file("disk.hdd");
  const std::string out = dir.file("out");
  const char* argv[] = {"tarnwick", "X", image.c_str(), "1", "/", out.c_str()};
  Console con;
  const int status = run_tarnwick(6, argv, con, *host);
  EXPECT_EQ(status, con.failure_reported() ? 1 : 0);

  EXPECT_EQ(swaps, 1);
  EXPECT_EQ(con.err_text(), message_text(msg::kCannotWriteBecause, "SUB", std::strerror(ENOTDIR)));
  EXPECT_NE(con.out_text().find("TOP\n" + message_text(msg::kFilesExtracted, 1)), std::string::npos) << con.out_text();
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_EQ(mtime_of(outside), outside_time);
  EXPECT_EQ(read_file((dir.path() / "out" / "TOP.mzt").string()).size(), 228u);
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

// What a round trip must keep of a host tree: every folder's and file's
// path and last-write time to the minute, and every file's bytes, an MZT
// header's name field up to its 0x0D (a store fills the rest with 0x0D).
std::string tree_contents(const fs::path& root) {
  std::vector<std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::string line = fs::relative(e.path(), root).generic_string() + " " + std::to_string(mtime_of(e.path()) / 60);
    if (!e.is_directory()) {
      Bytes b = read_file(e.path().string());
      if (e.path().extension() == ".mzt" && b.size() >= 18) {
        const auto end = std::find(b.begin() + 1, b.begin() + 18, uint8_t{0x0D});
        std::fill(end, b.begin() + 18, uint8_t{0x0D});
      }
      line.append(" ").append(b.begin(), b.end());
    }
    entries.push_back(line);
  }
  std::sort(entries.begin(), entries.end());
  std::string all;
  for (const std::string& s : entries) all += s + "\n";
  return all;
}

// A volume of 640 records holding every mode and the names that test the
// mapping both ways: Shift_JIS, half-width katakana, '%', bytes written as
// %XX, a "~" name and two files of one name (X writes the second "~2").
// Two files are large enough for A to copy them at the save.
Bytes round_trip_volume(bool ascii) {
  testing::VolumeBuilder b(320, 2);
  b.add_contiguous(kRoot, ascii ? "KANJI" : "\x8A\xBF\x8E\x9A", pattern(700, 1), mode::kObj, stamped(1986, 4, 1));
  b.add_contiguous(kRoot, ascii ? "KANA" : "\xB9\xDE\xB0\xD1", pattern(0x5234, 2), mode::kBtx, stamped(1987, 5, 2));
  b.add_bsd(kRoot, "100%", pattern(600, 3), stamped(1988, 6, 3));
  b.add_bsd(kRoot, "A/B", pattern(254, 4), stamped(1989, 7, 4));
  b.add_brd(kRoot, ascii ? "\x01X" : "\x87\x90", pattern(4096 * 5 + 32, 5), stamped(1990, 8, 5));
  b.add_contiguous(kRoot, "V~2", pattern(1, 6), mode::kObj, stamped(1991, 9, 6));
  b.add_bsd(kRoot, "TWIN", pattern(10, 7), stamped(1992, 10, 7));
  b.add_bsd(kRoot, "TWIN", {}, stamped(1993, 11, 8));
  const uint32_t sub = b.add_directory(kRoot, "SUB", stamped(1994, 12, 9));
  b.add_brd(sub, "DATA", {}, stamped(1995, 1, 10));
  const uint32_t deep = b.add_directory(sub, "DEEP", stamped(1996, 2, 11));
  b.add_contiguous(deep, "PROG", pattern(3000, 8), mode::kObj, stamped(2001, 3, 12));
  return b.take();
}

TEST(TreeE2eTest, WhatXWritesAStoresIntoABlankVolumeAndXWritesTheSameAgain) {
  const bool ascii = testing::runs_under_wine();
  const Bytes blank = testing::VolumeBuilder(320, 2).take();
  const struct {
    const char* image;
    Bytes (*make)(const Bytes&);
  } containers[] = {
      {"disk.hdd", [](const Bytes& v) { return testing::make_hdd_image(v); }},
      {"disk.d88", [](const Bytes& v) { return testing::make_d88_image(v); }},
      {"disk.rom", [](const Bytes& v) { return testing::make_rom_image(v); }},
  };
  for (const auto& c : containers) {
    testing::ScratchDir dir;
    testing::write_file(dir.file(c.image), c.make(round_trip_volume(ascii)));
    testing::ToolRun r = testing::run_tool({"X", c.image, "1", "/", "first"}, dir);
    ASSERT_EQ(r.err, "") << c.image;
    testing::write_file(dir.file(c.image), c.make(blank));
    r = testing::run_tool({"A", c.image, "1", "", "first"}, dir);
    EXPECT_EQ(r.err, "") << c.image;
    // In the byte order of the volume names, each directory where its name
    // falls.
    const std::string lines = std::string(ascii ? "\x01X\n" : "") + "100%\nA/B\n" + (ascii ? "KANA\nKANJI\n" : "") +
                              "SUB/DATA\nSUB/DEEP/PROG\nTWIN\nTWIN~2\nV~2\n" +
                              (ascii ? "" : "\x87\x90\n\x8A\xBF\x8E\x9A\n\xB9\xDE\xB0\xD1\n");
    EXPECT_NE(r.out.find(lines + message_text(msg::kFilesStored, 10) + message_text(msg::kDone)), std::string::npos)
        << c.image << r.out;
    r = testing::run_tool({"X", c.image, "1", "/", "second"}, dir);
    EXPECT_EQ(r.err, "") << c.image;
    EXPECT_EQ(tree_contents(dir.path() / "second"), tree_contents(dir.path() / "first")) << c.image;
  }
}

TEST(TreeE2eTest, ASkipsLinksAndPipesWithoutOpeningThem) {
  if (testing::runs_under_wine()) GTEST_SKIP() << "POSIX links and pipes";
  testing::ScratchDir dir;
  testing::write_file(dir.file("disk.rom"), testing::make_rom_image(testing::VolumeBuilder(64, 1).take()));
  fs::create_directories(dir.path() / "in");
  testing::write_file((dir.path() / "in" / "A.bsd").string(), pattern(10));
  fs::create_symlink("A.bsd", dir.path() / "in" / "L.bsd");
  // A pipe nobody writes to: opening it to read would wait for ever.
  ASSERT_EQ(mkfifo((dir.path() / "in" / "P.mzt").c_str(), 0600), 0);
  const testing::ToolRun r = testing::run_tool({"A", "disk.rom", "1", "", "in/"}, dir);
  EXPECT_EQ(r.err, message_text(msg::kSkipped, "in/L.bsd") + message_text(msg::kSkipped, "in/P.mzt"));
  EXPECT_EQ(r.out, message_text(msg::kIsRomImage, "disk.rom") + "A\n" + message_text(msg::kFilesStored, 1) +
                       message_text(msg::kDone));
}

TEST(TreeE2eTest, AStoresAllOrNothing) {
  testing::ScratchDir dir;
  // 40 free records: the first two files fit, the last does not.
  const Bytes image = testing::make_rom_image(testing::VolumeBuilder(24 + 40, 1).take());
  testing::write_file(dir.file("disk.rom"), image);
  fs::create_directories(dir.path() / "in" / "SUB");
  testing::write_file((dir.path() / "in" / "A.bsd").string(), pattern(254 * 20));
  testing::write_file((dir.path() / "in" / "SUB" / "B.brd").string(), pattern(4096));
  testing::write_file((dir.path() / "in" / "C.mzt").string(), testing::make_mzt("C", pattern(2000)));
  const testing::ToolRun r = testing::run_tool({"A", "disk.rom", "1", "NEW", "in"}, dir);
  EXPECT_EQ(r.err, message_text(msg::kNoSpace) + message_text(msg::kSpaceNeeded, "SUB", 2048u, 1024u));
  EXPECT_EQ(r.out, message_text(msg::kIsRomImage, "disk.rom") + message_text(msg::kDone));
  EXPECT_EQ(read_file(dir.file("disk.rom")), image);
  EXPECT_FALSE(fs::exists(dir.path() / "disk.rom-journal"));
}

}  // namespace
}  // namespace tarnwick
