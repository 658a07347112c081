// Runs that share one image: each holds a lock on the image file from
// opening to closing, shared for L and R, exclusive for W, D and I, and a run
// that finds the image locked waits for the other to finish.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "app/frontend.h"
#include "host/file.h"
#include "support/e2e.h"
#include "support/image_builder.h"
#include "support/message_text.h"
#include "support/sample_volumes.h"
#include "volume/format.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::run_tool;
using testing::ScratchDir;
using testing::ToolRun;

// A partition of 6 MB, so that loading and saving take a while. Runs of the
// tool started at once wait for each other in turn.
Bytes large_image() { return testing::make_hdd_image(testing::VolumeBuilder(1500, 16).take()); }

std::future<ToolRun> start(const std::vector<std::string>& args, const ScratchDir& dir) {
  return std::async(std::launch::async, [args, &dir] { return run_tool(args, dir); });
}

TEST(ImageLockE2eTest, ParallelStoresKeepEveryFile) {
  const std::vector<std::string> names = {"ONE", "TWO", "THREE", "FOUR"};
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ScratchDir dir;
    testing::write_file(dir.file("disk.hdd"), large_image());
    for (size_t i = 0; i < names.size(); ++i) {
      testing::write_file(dir.file(names[i] + ".mzt"),
                          testing::make_mzt(names[i], testing::pattern(2000, static_cast<uint8_t>(i))));
    }
    std::vector<std::future<ToolRun>> runs;
    for (const std::string& name : names) runs.push_back(start({"W", "disk.hdd", "1", name, name + ".mzt"}, dir));
    for (std::future<ToolRun>& r : runs) EXPECT_EQ(r.get().err, "");

    // Every file is there, and the check finds nothing wrong.
    const ToolRun listed = run_tool({"L", "disk.hdd"}, dir);
    EXPECT_EQ(listed.err, "");
    for (const std::string& name : names) {
      EXPECT_NE(listed.out.find("\"" + name + "\""), std::string::npos) << name << "\n" << listed.out;
    }
  }
}

// With a lock held on the image, a run that conflicts with it gives up
// after the lock wait, reports that it could not open the image and ends in
// order; a reader beside a reader goes ahead. The run goes through the front
// end in this process, with the real host and a short wait.
TEST(ImageLockTest, AConflictingRunGivesUpAfterTheLockWait) {
  struct Case {
    bool exclusive;  // the lock held
    const char* command;
    bool gives_up;
  };
  for (const Case c : {Case{false, "L", false}, Case{false, "D", true}, Case{true, "L", true}}) {
    SCOPED_TRACE(std::string(c.command) + (c.exclusive ? " beside an exclusive lock" : " beside a shared lock"));
    ScratchDir dir;
    const std::string image = dir.file("disk.hdd");
    testing::VolumeBuilder b(64, 1);
    b.add_contiguous(kRootDirectoryRecord, "HELLO", testing::pattern(300));
    const Bytes bytes = testing::make_hdd_image(b.take());
    testing::write_file(image, bytes);
    testing::FileLockHolder lock(image, c.exclusive);
    ASSERT_TRUE(lock.held());

    const std::unique_ptr<Host> host = make_native_host(300ms);
    const char* argv[] = {"tarnwick", c.command, image.c_str(), "1", "HELLO"};
    Console con;
    const auto began = std::chrono::steady_clock::now();
    const int status = run_tarnwick(c.command[0] == 'L' ? 3 : 5, argv, con, *host);
    EXPECT_EQ(status, con.failure_reported() ? 1 : 0);
    const auto took = std::chrono::steady_clock::now() - began;
    if (c.gives_up) {
      EXPECT_EQ(con.err_text(), testing::message_text(msg::kImageOpenFailed, image.c_str(), std::strerror(EWOULDBLOCK)));
      EXPECT_EQ(con.out_text(), testing::done_line());
      EXPECT_GE(took, 300ms);
      EXPECT_LT(took, 10s);
    } else {
      EXPECT_EQ(con.err_text(), "");
      EXPECT_LT(took, 300ms);
    }
    EXPECT_EQ(testing::read_file(image), bytes);
  }
}

}  // namespace
}  // namespace tarnwick
