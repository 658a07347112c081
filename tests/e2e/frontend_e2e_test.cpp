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


// The exit status tells the result: 0 when nothing failed, 1 when a failure
// was reported, 2 for a wrong command line; -s is still accepted.
TEST(FrontEndE2eTest, TheExitStatusTellsTheResult) {
  ScratchDir dir;
  testing::write_file(dir.file("disk.hdd"), testing::make_hdd_image(VolumeBuilder(64, 1).take()));
  testing::write_file(dir.file("bad.hdd"), Bytes(4096, 0));
  VolumeBuilder damaged(64, 1);
  damaged.volume().set_sys16(sys::kUsedBlocks, 60);  // the check finds the count wrong
  testing::write_file(dir.file("damaged.hdd"), testing::make_hdd_image(damaged.take()));
  const struct {
    std::vector<std::string> args;
    int status;
  } runs[] = {
      {{"L", "disk.hdd"}, 0},
      {{"R", "disk.hdd", "1", "NOSUCH", "x.mzt"}, 1},  // a refused command
      {{"L", "missing.hdd"}, 1},                       // the image cannot be opened
      {{"L", "bad.hdd"}, 1},                           // nor loaded
      {{"L", "damaged.hdd"}, 1},                       // the check fails
      {{"I", "disk.hdd", "1", "0", "/dev/null"}, 0},   // a command that changes the image
      {{"-x", "L", "disk.hdd"}, 2},
      {{}, 2},
      {{"L"}, 2},
  };
  for (const auto& run : runs) {
    for (const char* option : {"", "-s", "--status", "-ls"}) {
      std::vector<std::string> args{option};
      if (*option == 0) args.clear();
      args.insert(args.end(), run.args.begin(), run.args.end());
      const testing::ToolRun r = testing::run_tool(args, dir);
      EXPECT_EQ(r.status, run.status) << option << " " << (run.args.empty() ? "" : run.args.back());
    }
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
