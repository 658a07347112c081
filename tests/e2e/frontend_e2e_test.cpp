// The front end as a user meets it: the real binary in a scratch folder.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "output/messages.h"
#include "support/e2e.h"
#include "support/image_builder.h"
#include "support/message_text.h"
#include "support/sample_volumes.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::ScratchDir;
using testing::VolumeBuilder;

TEST(FrontEndE2eTest, NoArgumentsPrintsTheUsageAloneAndExitsTwo) {
  ScratchDir dir;
  const testing::ToolRun r = testing::run_tool({}, dir);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, msg::kUsage.bytes);
  EXPECT_EQ(r.err, "");
}

TEST(FrontEndE2eTest, LoadingAndListingLeaveTheImageUnchanged) {
  ScratchDir dir;
  const Bytes image = testing::make_hdd_image(VolumeBuilder(64, 1).take(), VolumeBuilder(32, 2).take());
  testing::write_file(dir.file("disk.hdd"), image);
  for (const char* partition : {"1", "2"}) {
    const testing::ToolRun r = testing::run_tool({"L", "disk.hdd", partition}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "disk.hdd is HDD image\n" + testing::done_line());
    EXPECT_EQ(r.err, "");
  }
  EXPECT_EQ(testing::read_file(dir.file("disk.hdd")), image);
}

TEST(FrontEndE2eTest, FailuresStillCloseInOrder) {
  ScratchDir dir;
  testing::write_file(dir.file("bad.hdd"), Bytes(4096, 0));
  std::filesystem::create_directory(dir.file("folder.hdd"));

  testing::ToolRun r = testing::run_tool({"L", "bad.hdd"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, testing::done_line());
  EXPECT_EQ(r.err, std::string("bad.hdd") + (msg::kUnsupportedImage.bytes + 2) +  // after "%s"
                       testing::message_text(msg::kNotAnyImage, "bad.hdd"));

  r = testing::run_tool({"D", "missing.hdd", "1", "A"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, testing::done_line());
  EXPECT_EQ(r.err.rfind("'missing.hdd' ", 0), 0u) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing.hdd")));

  // A folder is refused at opening, whether the command reads or writes.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"L", "folder.hdd"},
                                               {"R", "folder.hdd", "1", "A", "a.mzt"},
                                               {"W", "folder.hdd", "1", "A", "bad.hdd"},
                                               {"D", "folder.hdd", "1", "A"},
                                               {"I", "folder.hdd", "1", "0", "bad.hdd"}}) {
    r = testing::run_tool(args, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, testing::done_line()) << args[0];
    EXPECT_EQ(r.err.rfind("'folder.hdd' ", 0), 0u) << args[0] << r.err;
  }
}

// Runs the tool in `dir` with standard output on `out_fd` and standard
// error into the file err.txt, each closed instead when its flag says so,
// and SIGPIPE as a shell leaves it, under LC_ALL=`locale`; the wait status.
int run_with_streams(const std::vector<std::string>& args, const ScratchDir& dir, int out_fd, bool close_out,
                     bool close_err, const char* locale = "C") {
  std::vector<std::string> all = {TARNWICK_BINARY};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string err = dir.file("err.txt");
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.path().c_str()) != 0 || setenv("LC_ALL", locale, 1) != 0) _exit(127);
    const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(err_fd, 2);
    close(err_fd);
    dup2(out_fd, 1);
    if (close_out) close(1);
    if (close_err) close(2);
    std::signal(SIGPIPE, SIG_DFL);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = -1;
  waitpid(pid, &status, 0);
  return status;
}

TEST(FrontEndE2eTest, StandardStreamsThatFailOrAreMissing) {
  if (!std::string(TARNWICK_RUNNER).empty()) GTEST_SKIP() << "POSIX descriptors of a native process";
  ScratchDir dir;
  VolumeBuilder b(64, 1);
  b.add_contiguous(kRootDirectoryRecord, "HELLO", testing::pattern(100));
  const Bytes image = testing::make_hdd_image(b.take());
  testing::write_file(dir.file("disk.hdd"), image);
  const auto exited_with = [](int status, int code) { return WIFEXITED(status) && WEXITSTATUS(status) == code; };
  const auto said = [&] {
    const Bytes bytes = testing::read_file(dir.file("err.txt"));
    return std::string(bytes.begin(), bytes.end());
  };

  // A full device: said once on standard error, and the run ends in order.
  const int full = open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  EXPECT_TRUE(exited_with(run_with_streams({"L", "disk.hdd"}, dir, full, false, false), 1));
  EXPECT_EQ(said(), testing::message_text(msg::kStdoutWriteFailed, std::strerror(ENOSPC)));
  // It is a failure of the run, said in the user's encoding.
  int status = run_with_streams({"-s", "L", "disk.hdd"}, dir, full, false, false, "C.UTF-8");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_EQ(said(), std::string(reinterpret_cast<const char*>(msg::kStdoutWriteFailed.text.data())).replace(
                        std::string(reinterpret_cast<const char*>(msg::kStdoutWriteFailed.text.data())).find("%s"),
                        2, std::strerror(ENOSPC)));
  close(full);

  // Started without standard output: nothing is written to whatever keeps
  // its number, and the run fails once, as a failed write does. R to "-"
  // then writes the file nowhere.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-s", "L", "disk.hdd"}, {"-s", "R", "disk.hdd", "1", "HELLO", "-"}}) {
    status = run_with_streams(args, dir, 1, true, false);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << args[1];
    const std::string failed = testing::message_text(msg::kStdoutWriteFailed, std::strerror(EBADF));
    EXPECT_EQ(said(), args[1] == "L" ? failed
                                     : testing::message_text(msg::kIsHddImage, "disk.hdd") + failed +
                                           testing::done_line())
        << args[1];
  }

  // A reader that has gone: the run ends quietly.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  EXPECT_TRUE(exited_with(run_with_streams({"L", "disk.hdd"}, dir, ends[1], false, false), 0));
  close(ends[1]);
  EXPECT_TRUE(testing::read_file(dir.file("err.txt")).empty());

  // Started without standard output, or without standard error: no message
  // lands in the image, which the run opens after them.
  for (const bool close_out : {true, false}) {
    status = run_with_streams({"W", "disk.hdd", "1", "NEW", "missing.mzt"}, dir, 1, close_out, !close_out);
    EXPECT_TRUE(exited_with(status, 1));
    EXPECT_EQ(testing::read_file(dir.file("disk.hdd")), image) << close_out;
  }
}


// What a user meets when a run fails: the message, the line that says for
// whom and why, and the exit status (0 when nothing failed, 1 when
// something did, 2 for a command line that does not fit), the same texts
// in code page 932 under the C locale and in UTF-8 under a UTF-8 locale.
// -s and --status change nothing.
TEST(FrontEndE2eTest, FailuresSayWhatAndWhyAndTheExitStatusTellsTheResult) {
  ScratchDir dir;
  VolumeBuilder disk(24 + 40, 1);
  disk.add_contiguous(kRootDirectoryRecord, "OLD", testing::pattern(5 * 256));
  disk.add_contiguous(disk.add_directory(kRootDirectoryRecord, "GAMES"), "WAR", testing::pattern(100));
  disk.add_entry(kRootDirectoryRecord, mode::kRb, "RB", 0, 0);  // a kind X does not copy
  testing::write_file(dir.file("disk.rom"), testing::make_rom_image(disk.take()));
  VolumeBuilder full(24 + 8, 1);
  for (int i = 1; i < kEntriesPerDirectory; ++i) {
    // Appended, not "F" + ...: GCC 12's optimiser sees a bogus overlap there.
    std::string name = "F";
    name += std::to_string(i);
    full.add_entry(kRootDirectoryRecord, mode::kRb, name, 0, 0);
  }
  testing::write_file(dir.file("full.rom"), testing::make_rom_image(full.take()));
  VolumeBuilder damaged(64, 1);
  damaged.volume().set_sys16(sys::kUsedBlocks, 60);  // the check finds the count wrong
  testing::write_file(dir.file("damaged.rom"), testing::make_rom_image(damaged.take()));
  testing::write_file(dir.file("bad.hdd"), Bytes(4096, 0));
  testing::write_file(dir.file("t.txt"), Bytes(20, 'a'));
  testing::write_file(dir.file("new.mzt"), testing::make_mzt("NEW", testing::pattern(10)));
  testing::write_file(dir.file("big.mzt"), testing::make_mzt("BIG", testing::pattern(60 * 256)));
  std::filesystem::create_directories(dir.path() / "folder");
  std::filesystem::create_directories(dir.path() / "busy");
  testing::write_file(dir.file("busy/keep"), Bytes(1, 1));
  std::filesystem::create_directories(dir.path() / "in");
  testing::write_file(dir.file("in/BIG.mzt"), testing::make_mzt("BIG", testing::pattern(60 * 256)));
  const std::string see_help = "\n詳しくは tarnwick --help\n";
  const std::string no_space = "空き容量が不足しています\n'BIG' に 15360 バイト必要ですが、空きは 6656 バイトです\n";
  const std::string root_full = "ディレクトリに空きがありません\nディレクトリ '/' に空きがありません\n";
  const auto because = [](const char* what, int error) { return what + std::string(" (") + std::strerror(error) + ")\n"; };
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;  // readable text
  } runs[] = {
      {{"L", "disk.rom"}, 0, ""},
      {{"I", "disk.rom", "1", "0", "/dev/null"}, 0, ""},
      {{"X", "disk.rom", "1", "/", "out"}, 0, "'RB' を飛ばしました (05)\n"},
      {{}, 2, ""},
      {{"L"}, 2, "引数の数が合いません (L は 2-4 個)" + see_help},
      {{"-x", "L", "disk.rom"}, 2, "オプション '-x' はありません" + see_help},
      {{"VV", "disk.rom"}, 2, "コマンド 'VV' はありません" + see_help},
      {{"W", "disk.rom", "1", "A"}, 2, "引数の数が合いません (W は 5- 個)" + see_help},
      {{"L", "disk.rom", "3"}, 2, "PART は 1 か 2 です" + see_help},
      {{"L", "missing.rom"}, 1, because("'missing.rom' が開けません", ENOENT)},
      {{"L", "bad.hdd"}, 1, "bad.hdd は対応していないイメージファイルです\n'bad.hdd' は HDD, D88, ROM のどのイメージでもありません\n"},
      // The check runs before and after the command.
      {{"L", "damaged.rom"}, 3, "使用済みブロック数(60)とビットマップ状態(24)が一致しない\n" "使用済みブロック数(60)とビットマップ状態(24)が一致しない\n"},
      {{"R", "disk.rom", "1", "NONE", "x.mzt"}, 1, "'NONE' が見つかりません\n"},
      {{"R", "disk.rom", "1", "OLD", "folder"}, 1, because("'folder' が書き込めません", EISDIR)},
      {{"W", "disk.rom", "1", "NEW", "t.txt"}, 1, "'t.txt' は MZT ファイルではありません\n"},
      {{"W", "disk.rom", "1", "BIG", "big.mzt"}, 1, no_space},
      {{"W", "full.rom", "1", "NEW", "new.mzt"}, 1, root_full},
      {{"M", "full.rom", "1", "NEW"}, 1, root_full},
      {{"D", "disk.rom", "1", "GAMES"}, 1, "'GAMES' はディレクトリです\n"},
      {{"K", "disk.rom", "1", "GAMES"}, 1, "ディレクトリ 'GAMES' は空ではありません\n"},
      {{"A", "disk.rom", "1", "/", "in"}, 1, no_space},
      {{"X", "disk.rom", "1", "/", "busy"}, 1, "'busy' が書き込めません\n'busy' は空のフォルダではありません\n"},
      {{"F", "no/new.d88"}, 1, because("'no/new.d88' への書き込みに失敗しました", ENOENT)},
  };
  for (const auto& run : runs) {
    const std::string what = run.args.empty() ? "(none)" : run.args[0] + " " + run.args.back();
    const std::u8string text(run.err.begin(), run.err.end());
    for (const char* locale : {"C", "C.UTF-8"}) {
      testing::RunOptions opt;
      opt.env = {{"LC_ALL", locale}};
      const testing::ToolRun r = testing::run_tool_with(run.args, dir, opt);
      std::filesystem::remove_all(dir.path() / "out");
      EXPECT_EQ(r.status, run.status) << what << " " << locale;
      std::string want = *locale == 'C' && locale[1] == 0 ? testing::cp932_text(text) : run.err;
      // Windows words the system's reasons its own way, and its redirected
      // streams always get the bytes.
      if (testing::runs_under_wine()) {
        want = testing::cp932_text(text);
        if (run.err.ends_with(")\n")) want.resize(want.rfind(" (") + 2);
      }
      EXPECT_EQ(r.err.substr(0, want.size()), want) << what << " " << locale;
      EXPECT_EQ(r.err.size() == want.size(), !testing::runs_under_wine() || !run.err.ends_with(")\n")) << what;
    }
    std::vector<std::string> args{"-s"};
    args.insert(args.end(), run.args.begin(), run.args.end());
    if (!run.args.empty()) {
      EXPECT_EQ(testing::run_tool(args, dir).status, run.status) << "-s " << what;
    }
    std::filesystem::remove_all(dir.path() / "out");
  }
}

TEST(FrontEndE2eTest, HelpAndVersionOpenNothing) {
  ScratchDir dir;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                               {"-h"},
                                               {"-s", "-h", "--version", "W", "new.d88", "1", "A", "B"}}) {
    const testing::ToolRun r = testing::run_tool(args, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, msg::kHelp.bytes);
    EXPECT_EQ(r.err, "");
  }
  // The help names every command, the options and the manual page.
  const std::string help(reinterpret_cast<const char*>(msg::kHelp.text.data()), msg::kHelp.text.size());
  for (const char* item : {"\n  L IMAGE", "\n  R IMAGE", "\n  W IMAGE", "\n  D IMAGE", "\n  I IMAGE", "\n  F IMAGE",
                           "\n  M IMAGE", "\n  K IMAGE", "\n  X IMAGE", "\n  A IMAGE", "\n  C IMAGE", "-s, --status", "-l, --long",
                           "-h, --help", "--version", " - ", "UTF-8", "man tarnwick"}) {
    EXPECT_NE(help.find(item), std::string::npos) << item;
  }
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--version"},
                                               {"--version", "--help", "L", "missing.hdd"}}) {
    const testing::ToolRun r = testing::run_tool(args, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::regex_match(r.out, std::regex("tarnwick [0-9]+(\\.[0-9]+)+\n"))) << r.out;
    EXPECT_EQ(r.err, "");
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace tarnwick
