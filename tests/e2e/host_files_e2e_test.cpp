// Host files that are no regular files: named pipes (FIFOs), which can only
// be read or written in sequence and only once, and devices.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <future>
#include <string>

#include "containers/hdd_rom.h"
#include "support/civil_time.h"
#include "support/e2e.h"
#include "support/image_builder.h"
#include "support/message_text.h"
#include "support/sample_volumes.h"
#include "volume/format.h"
#include "volume/timestamp.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::message_text;
using testing::read_file;
using testing::run_tool;
using testing::ScratchDir;
using testing::ToolRun;

const Bytes kBody = testing::pattern(3000, 7);

// Waits for `f`; after 10 seconds both ends of the FIFO are opened and
// closed again and again without waiting, which lets an open that waits for
// the other end go on: a tool that would wait for ever fails the test
// instead of hanging it.
template <typename T>
T wait_nudging(std::future<T>& f, const std::string& fifo) {
  if (f.wait_for(10s) == std::future_status::ready) return f.get();
  while (f.wait_for(20ms) != std::future_status::ready) {
    for (const int flags : {O_RDONLY | O_NONBLOCK, O_WRONLY | O_NONBLOCK}) {
      const int fd = open(fifo.c_str(), flags);
      if (fd >= 0) close(fd);
    }
  }
  return f.get();
}

class HostFilesE2eTest : public ::testing::Test {
 protected:
  ScratchDir dir_;
  Bytes image_;

  void SetUp() override {
    testing::VolumeBuilder b(64, 1);
    testing::FileOptions o;
    o.stamp = encode_time_stamp(HostTime{2001, 2, 3, 4, 5});
    o.load_address = 0x1200;
    o.exec_address = 0x1200;
    b.add_contiguous(kRootDirectoryRecord, "HELLO", kBody, mode::kObj, o);
    image_ = testing::make_hdd_image(b.take());
    testing::write_file(dir_.file("disk.hdd"), image_);
  }
  std::string fifo() {
    const std::string name = dir_.file("p");
    EXPECT_EQ(mkfifo(name.c_str(), 0600), 0);
    return name;
  }
  std::future<ToolRun> start(const std::vector<std::string>& args) {
    return std::async(std::launch::async, [this, args] { return run_tool(args, dir_); });
  }
  static std::string done(const std::string& middle = "") {
    return message_text(msg::kIsHddImage, "disk.hdd") + middle + testing::done_line();
  }
};

std::string found(const char* name) { return message_text(msg::kFileTrace, name) + message_text(msg::kFileFound, name); }

TEST_F(HostFilesE2eTest, ExtractionWritesIntoAFifoOrADevice) {
  const Bytes mzt = testing::make_mzt("HELLO", kBody);
  const ToolRun null = run_tool({"R", "disk.hdd", "1", "HELLO", "/dev/null"}, dir_, "UTC0");
  EXPECT_EQ(null.out, done(found("HELLO")));
  EXPECT_EQ(null.err, "");
  struct stat st {};
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_NE(st.st_mtime, testing::local_instant(2001, 2, 3, 4, 5, 0, 0)) << "the device took the time stamp";

  if (testing::runs_under_wine()) GTEST_SKIP() << "FIFOs are POSIX only";
  const std::string p = fifo();
  std::future<Bytes> reader = std::async(std::launch::async, read_file, p);
  std::future<ToolRun> tool = start({"R", "disk.hdd", "1", "HELLO", "p"});
  const ToolRun r = wait_nudging(tool, p);
  EXPECT_EQ(r.out, done(found("HELLO")));
  EXPECT_EQ(r.err, "");
  const Bytes got = wait_nudging(reader, p);
  EXPECT_TRUE(got == mzt) << got.size() << " bytes came through";
  EXPECT_EQ(read_file(dir_.file("disk.hdd")), image_);
  // T writes into it too, and leaves it a FIFO.
  testing::write_file(dir_.file("t.bas"), Bytes{'1', '0', ' ', 'E', 'N', 'D', '\n'});
  reader = std::async(std::launch::async, read_file, p);
  tool = start({"T", "t.bas", "p"});
  EXPECT_EQ(wait_nudging(tool, p).status, 0);
  EXPECT_EQ(wait_nudging(reader, p).size(), 137u);
  EXPECT_TRUE(std::filesystem::is_fifo(p));
}

TEST_F(HostFilesE2eTest, StoreReadsAFifoOnce) {
  if (testing::runs_under_wine()) GTEST_SKIP() << "FIFOs are POSIX only";
  // A writer whose reader leaves early must not end the test run.
  const auto old_handler = std::signal(SIGPIPE, SIG_IGN);
  const Bytes mzt = testing::make_mzt("NEW", testing::pattern(500, 3));
  const std::string p = fifo();
  std::future<void> writer = std::async(std::launch::async, testing::write_file, p, mzt);
  std::future<ToolRun> tool = start({"W", "disk.hdd", "1", "NEW", "p"});
  const ToolRun w = wait_nudging(tool, p);
  wait_nudging(writer, p);
  std::signal(SIGPIPE, old_handler);
  EXPECT_EQ(w.out, done());
  EXPECT_EQ(w.err, "");

  const ToolRun r = run_tool({"R", "disk.hdd", "1", "NEW", "new.mzt"}, dir_);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(dir_.file("new.mzt")), mzt);
}

TEST_F(HostFilesE2eTest, ImportStoresNothingFromADeviceThatDoesNotFitOrCannotBeRead) {
  struct Case {
    const char* source;
    const Message<Severity::kFailure, arg::HostText>& failure;
  };
  // /proc/self/mem is a file of no length whose reads at address 0 fail.
  for (const Case& c : {Case{"/dev/zero", msg::kDoesNotFit}, Case{"/proc/self/mem", msg::kReadFailed}}) {
    if (testing::runs_under_wine() && std::string(c.source) == "/proc/self/mem") continue;
    const ToolRun r = run_tool({"I", "disk.hdd", "1", "20", c.source}, dir_);
    EXPECT_EQ(r.out, done());
    EXPECT_EQ(r.err, message_text(c.failure, c.source));
    EXPECT_EQ(read_file(dir_.file("disk.hdd")), image_);
  }
}

TEST_F(HostFilesE2eTest, ExtractionIntoAFifoWhoseReaderLeavesIsAFailedWrite) {
  if (testing::runs_under_wine()) GTEST_SKIP() << "FIFOs are POSIX only";
  // More than a pipe holds, so the tool is still writing when the reader,
  // which takes one byte, leaves.
  testing::VolumeBuilder b(2000, 1);
  b.add_brd(kRootDirectoryRecord, "BIG", testing::pattern(300000, 9));
  testing::write_file(dir_.file("disk.hdd"), testing::make_hdd_image(b.take()));
  const std::string p = fifo();
  std::future<void> reader = std::async(std::launch::async, [p] {
    const int fd = open(p.c_str(), O_RDONLY);
    if (fd < 0) return;
    char byte;
    const ssize_t got = read(fd, &byte, 1);
    close(fd);
    (void)got;
  });
  std::future<ToolRun> tool = start({"R", "disk.hdd", "1", "BIG", "p"});
  const ToolRun r = wait_nudging(tool, p);
  reader.get();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, done(found("BIG")));
  EXPECT_EQ(r.err, message_text(msg::kCannotWriteBecause, "p", std::strerror(EPIPE)));
}

// R writes to standard output by "-" or by a name of the file standard
// output is: it then carries exactly the bytes R writes into a file, and
// everything else the run prints goes to standard error.
TEST_F(HostFilesE2eTest, ExtractionToStandardOutputCarriesTheFileAlone) {
  const ToolRun into_file = run_tool({"R", "disk.hdd", "1", "HELLO", "hello.mzt"}, dir_);
  const Bytes mzt = read_file(dir_.file("hello.mzt"));
  ASSERT_EQ(mzt, testing::make_mzt("HELLO", kBody));
  std::vector<std::string> targets{"-"};
  // The tool's standard output is the scratch folder's .stdout.
  if (!testing::runs_under_wine()) targets.insert(targets.end(), {"/dev/stdout", "/dev/fd/1", ".stdout"});
  // A Windows build's standard output is taken as it is: the file's bytes
  // must come through without line-end translation.
  testing::RunOptions raw;
  raw.raw = true;
  const auto text = [](std::string s) {
    std::erase(s, '\r');
    return s;
  };
  const std::string file(mzt.begin(), mzt.end());
  for (const std::string& target : targets) {
    ToolRun r = testing::run_tool_with({"R", "disk.hdd", "1", "HELLO", target}, dir_, raw);
    EXPECT_TRUE(r.out == file) << target << ": " << r.out.size() << " bytes";
    EXPECT_EQ(text(r.err), into_file.out) << target;
    EXPECT_EQ(r.status, 0) << target;
    // Verbose traces and failures go to standard error too.
    r = testing::run_tool_with({"-s", "VR", "disk.hdd", "1", "HELLO", target}, dir_, raw);
    EXPECT_TRUE(r.out == file) << target;
    EXPECT_NE(text(r.err).find(message_text(msg::kEchoHostFile, target.c_str())), std::string::npos) << target;
    EXPECT_EQ(r.status, 0) << target;
    r = run_tool({"-s", "R", "disk.hdd", "1", "NOSUCH", target}, dir_);
    EXPECT_EQ(r.out, "") << target;
    EXPECT_EQ(r.err, done(message_text(msg::kPathNotFound, "NOSUCH"))) << target;
    EXPECT_EQ(r.status, 1) << target;
  }
  EXPECT_EQ(read_file(dir_.file("disk.hdd")), image_);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("-")));
}

// W and I read "-" from standard input, a redirected file or a pipe. W
// stamps the file with the redirected file's time, or with now for a pipe.
TEST_F(HostFilesE2eTest, StoreAndImportReadStandardInput) {
  const Bytes mzt = testing::make_mzt("NEW", testing::pattern(500, 3));
  testing::write_file(dir_.file("new.mzt"), mzt);
  const struct timespec times[2] = {{0, UTIME_OMIT}, {testing::local_instant(2003, 4, 5, 6, 7, 0, 0), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir_.file("new.mzt").c_str(), times, 0), 0);
  testing::RunOptions redirected;
  redirected.tz = "UTC0";
  redirected.stdin_file = "new.mzt";
  testing::RunOptions piped = redirected;
  piped.stdin_pipe = true;

  ToolRun r = testing::run_tool_with({"-s", "W", "disk.hdd", "1", "FILED", "-"}, dir_, redirected);
  EXPECT_EQ(r.out, done());
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
  r = testing::run_tool_with({"-s", "W", "disk.hdd", "1", "PIPED", "-"}, dir_, piped);
  EXPECT_EQ(r.out, done());
  EXPECT_EQ(r.err, "");
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char today[48];
  std::snprintf(today, sizeof today, "'%02d/%02d/%02d", utc.tm_year % 100, utc.tm_mon + 1, utc.tm_mday);

  r = run_tool({"L", "disk.hdd"}, dir_);
  EXPECT_NE(r.out.find(" OBJ  \"FILED\"           '03/04/05 06:07\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" OBJ  \"PIPED\"           " + std::string(today)), std::string::npos) << r.out;
  for (const char* name : {"FILED", "PIPED"}) {
    r = run_tool({"R", "disk.hdd", "1", name, "back.mzt"}, dir_);
    EXPECT_EQ(read_file(dir_.file("back.mzt")), testing::make_mzt(name, testing::pattern(500, 3))) << name;
  }

  // I copies what comes through a pipe over the records from 0x20 on.
  const Bytes raw = testing::pattern(700, 9);
  testing::write_file(dir_.file("raw.bin"), raw);
  piped.stdin_file = "raw.bin";
  const Bytes before = read_file(dir_.file("disk.hdd"));
  r = testing::run_tool_with({"-s", "I", "disk.hdd", "1", "20", "-"}, dir_, piped);
  EXPECT_EQ(r.out, done());
  EXPECT_EQ(r.status, 0);
  Bytes expected = before;
  std::copy(raw.begin(), raw.end(), expected.begin() + kPartition1Offset + 0x20 * kRecordSize);
  EXPECT_EQ(read_file(dir_.file("disk.hdd")), expected);
}

}  // namespace
}  // namespace tarnwick
