// The front end as a user meets it: the real binary in a scratch folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "output/messages.h"
#include "support/e2e.h"
#include "support/image_builder.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::ScratchDir;
using testing::VolumeBuilder;

TEST(FrontEndE2eTest, NoArgumentsPrintsTheUsageAndExitsZero) {
  ScratchDir dir;
  const testing::ToolRun r = testing::run_tool({}, dir);
  EXPECT_EQ(r.status, 0);
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
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, testing::done_line());
  EXPECT_EQ(r.err, std::string("bad.hdd") + (msg::kUnsupportedImage.bytes + 2));  // after "%s"

  r = testing::run_tool({"D", "missing.hdd", "1", "A"}, dir);
  EXPECT_EQ(r.status, 0);
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
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, testing::done_line()) << args[0];
    EXPECT_EQ(r.err.rfind("'folder.hdd' ", 0), 0u) << args[0] << r.err;
  }
}

}  // namespace
}  // namespace tarnwick
