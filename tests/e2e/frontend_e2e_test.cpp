// The front end as a user meets it: the real binary in a scratch folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "output/messages.h"
#include "support/e2e.h"
#include "support/image_builder.h"
#include "volume/format.h"

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

// Takes the right to write a file away: its write permission and, where
// the file system has it, the immutable attribute, which also binds the
// superuser. Both are given back at the end.
class WriteProtection {
 public:
  explicit WriteProtection(const std::string& path) : path_(path) {
    std::filesystem::permissions(path_, std::filesystem::perms::owner_read);
#ifdef __linux__
    fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    if (fd_ >= 0 && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      immutable_ = ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
    }
#endif
  }
  ~WriteProtection() {
#ifdef __linux__
    int flags = 0;
    if (immutable_ && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ioctl(fd_, FS_IOC_SETFLAGS, &flags);
    }
    if (fd_ >= 0) close(fd_);
#endif
    std::filesystem::permissions(path_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  }
  WriteProtection(const WriteProtection&) = delete;
  WriteProtection& operator=(const WriteProtection&) = delete;
  // False for the superuser on a file system without the attribute.
  bool holds() const { return immutable_ || geteuid() != 0; }

 private:
  std::string path_;
  int fd_ = -1;
  bool immutable_ = false;
};

// L and R only read: an image that may not be written serves them; W, D and
// I are refused at opening.
TEST(FrontEndE2eTest, ListAndExtractReadAWriteProtectedImage) {
  ScratchDir dir;
  VolumeBuilder b(64, 1);
  b.add_contiguous(kRootDirectoryRecord, "HELLO", testing::pattern(300));
  const Bytes image = testing::make_hdd_image(b.take());
  testing::write_file(dir.file("disk.hdd"), image);
  const WriteProtection protection(dir.file("disk.hdd"));
  if (!protection.holds()) GTEST_SKIP() << "the superuser may write the image all the same";

  testing::ToolRun r = testing::run_tool({"L", "disk.hdd"}, dir);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("\"HELLO\""), std::string::npos) << r.out;
  r = testing::run_tool({"R", "disk.hdd", "1", "HELLO", "hello.mzt"}, dir);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(testing::read_file(dir.file("hello.mzt")).size(), 128u + 300u);
  r = testing::run_tool({"D", "disk.hdd", "1", "HELLO"}, dir);
  EXPECT_EQ(r.err.rfind("'disk.hdd' ", 0), 0u) << r.err;
  EXPECT_EQ(testing::read_file(dir.file("disk.hdd")), image);
}

}  // namespace
}  // namespace tarnwick
