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

// A partition of 6 MB, so that loading and saving take a while.
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

// The test holds a lock on the image for a while; a run either goes ahead
// at once or waits until the lock is let go, then does its work.
TEST(ImageLockE2eTest, ARunWaitsForAConflictingLock) {
  struct Case {
    bool exclusive;  // the lock the test holds
    std::vector<std::string> args;
    bool waits;
  };
  const Case cases[] = {
      {false, {"L", "disk.hdd"}, false},
      {false, {"R", "disk.hdd", "1", "HELLO", "hello.mzt"}, false},
      {false, {"W", "disk.hdd", "1", "NEW", "new.mzt"}, true},
      {true, {"L", "disk.hdd"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.exclusive ? " against an exclusive lock" : " against a shared lock"));
    ScratchDir dir;
    testing::VolumeBuilder b(64, 1);
    b.add_contiguous(kRootDirectoryRecord, "HELLO", testing::pattern(300));
    testing::write_file(dir.file("disk.hdd"), testing::make_hdd_image(b.take()));
    testing::write_file(dir.file("new.mzt"), testing::make_mzt("NEW", testing::pattern(100)));

    testing::FileLockHolder lock(dir.file("disk.hdd"), c.exclusive);
    ASSERT_TRUE(lock.held());
    std::future<ToolRun> run = start(c.args, dir);
    // A run that goes ahead ends while the lock is held; one that waits does
    // not end before the lock is let go.
    const bool ended_while_held = run.wait_for(c.waits ? 1500ms : 20s) == std::future_status::ready;
    lock.release();
    const ToolRun r = run.get();
    EXPECT_EQ(ended_while_held, !c.waits);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.out.ends_with(testing::done_line()));
  }
}

// Past the lock wait a run reports that it could not open the image and
// ends in order. The run goes through the front end in this process, with
// the real host and a short wait.
TEST(ImageLockTest, ARunGivesUpAfterTheLockWait) {
  for (const bool exclusive : {false, true}) {
    SCOPED_TRACE(exclusive ? "exclusive" : "shared");
    ScratchDir dir;
    const std::string image = dir.file("disk.hdd");
    testing::VolumeBuilder b(64, 1);
    b.add_contiguous(kRootDirectoryRecord, "HELLO", testing::pattern(300));
    const Bytes bytes = testing::make_hdd_image(b.take());
    testing::write_file(image, bytes);
    testing::FileLockHolder lock(image, exclusive);
    ASSERT_TRUE(lock.held());

    const std::unique_ptr<Host> host = make_native_host(300ms);
    // L waits only for an exclusive lock, D for any.
    const char* argv[] = {"tarnwick", exclusive ? "L" : "D", image.c_str(), "1", "HELLO"};
    Console con;
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(run_tarnwick(exclusive ? 3 : 5, argv, con, *host), 0);
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_EQ(con.err_text(), testing::message_text(msg::kImageOpenFailed, image.c_str(), std::strerror(EWOULDBLOCK)));
    EXPECT_EQ(con.out_text(), testing::done_line());
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 10s);
    EXPECT_EQ(testing::read_file(image), bytes);
  }
}

}  // namespace
}  // namespace tarnwick
