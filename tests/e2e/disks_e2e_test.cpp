// Every disk in the file: D88 files of several disks, images told by their
// content, raw floppy images and C, as a user meets them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "containers/raw.h"
#include "output/messages.h"
#include "support/e2e.h"
#include "support/image_builder.h"
#include "support/message_text.h"
#include "support/sample_volumes.h"
#include "volume/format.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::message_text;
using testing::pattern;
using testing::read_file;
using testing::run_tool;
using testing::ScratchDir;
using testing::ToolRun;
using testing::VolumeBuilder;
using testing::write_file;

constexpr uint32_t kRoot = kRootDirectoryRecord;

// A disk of `blocks` one-record blocks holding HELLO and an empty EMPTY,
// named `name` in its header.
Bytes disk(const std::string& name, uint16_t blocks, uint8_t type = 0x10, bool protect = false) {
  VolumeBuilder b(blocks, 1);
  b.add_contiguous(kRoot, "HELLO", pattern(600, static_cast<uint8_t>(blocks)));
  b.add_directory(kRoot, "EMPTY");
  testing::D88Options o;
  o.disk_type = type;
  o.write_protect = protect;
  Bytes d = testing::make_d88_image(b.take(), o);
  std::fill_n(d.begin(), 17, 0);
  std::copy(name.begin(), name.end(), d.begin());
  return d;
}

// Three disks of other types and sizes, the last write-protected, and
// bytes after them.
struct ThreeDisks {
  Bytes d1 = disk("FIRST", 160);
  Bytes d2 = disk("", 320, 0x00);
  Bytes d3 = disk("THIRD", 256, 0x10, true);
  Bytes tail = Bytes(100, 0xE5);
  Bytes file() const {
    Bytes all;
    for (const Bytes* b : {&d1, &d2, &d3, &tail}) all.insert(all.end(), b->begin(), b->end());
    return all;
  }
};

std::string done() { return testing::done_line(); }
std::string slice(const Bytes& b, size_t from, size_t n) { return std::string(b.begin() + from, b.begin() + from + n); }

TEST(DisksE2eTest, LWithoutPartListsTheDisksAndWithPartOneDisk) {
  ScratchDir dir;
  const ThreeDisks t;
  write_file(dir.file("three.d88"), t.file());
  ToolRun r = run_tool({"L", "three.d88"}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const auto line = [](unsigned n, const char* type, size_t size, const char* name) {
    return message_text(msg::kDiskListLine, n, type, static_cast<unsigned>(size), name);
  };
  EXPECT_EQ(r.out, line(1, "2DD", t.d1.size(), "FIRST") + "\n" + line(2, "2D", t.d2.size(), "") + "\n" +
                       line(3, "2DD", t.d3.size(), "THIRD") + message_text(msg::kWriteProtected) + "\n" + done());
  // A disk of the file reads as it reads alone, named first.
  write_file(dir.file("alone.d88"), t.d3);
  const ToolRun alone = run_tool({"L", "alone.d88", "1"}, dir);
  r = run_tool({"L", "three.d88", "3"}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, message_text(msg::kDiskOfFile, 3u, 3u, "THIRD") +
                       std::string(alone.out).replace(alone.out.find("alone"), 5, "three"));
  EXPECT_EQ(read_file(dir.file("three.d88")), t.file());
}

// PART names a disk from 1 to the count, judged once the file is open; for
// any other image it stays 1 or 2.
TEST(DisksE2eTest, PartIsADiskNumberOnlyInAFileOfSeveralDisks) {
  ScratchDir dir;
  write_file(dir.file("three.d88"), ThreeDisks().file());
  write_file(dir.file("one.d88"), disk("ONE", 160));
  for (const char* part : {"4", "0", "02", "+1", "x"}) {
    const ToolRun r = run_tool({"R", "three.d88", part, "HELLO", "out.mzt"}, dir);
    EXPECT_EQ(r.status, 1) << part;
    EXPECT_EQ(r.out, done()) << part;
    EXPECT_EQ(r.err, message_text(msg::kNoSuchDisk, part, 3u)) << part;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.mzt")));
  }
  for (const char* image : {"one.d88", "missing.d88"}) {
    const ToolRun r = run_tool({"L", image, "3"}, dir);
    EXPECT_EQ(r.status, 2) << image;
    EXPECT_EQ(r.err.rfind(message_text(msg::kPartOneOrTwo), 0), 0u) << image;
  }
  const ToolRun r = run_tool({"VL", "three.d88", "3"}, dir);
  EXPECT_NE(r.out.find(message_text(msg::kEchoPartition, 2)), std::string::npos) << r.out;
}

// W, D, I, M, K and A on the middle disk change that disk's bytes only:
// the disk ends as the same command leaves it in a file of its own.
TEST(DisksE2eTest, EveryWritingCommandOnTheMiddleDiskChangesThatDiskOnly) {
  const ThreeDisks t;
  const Bytes before = t.file();
  const size_t at = t.d1.size(), n = t.d2.size();
  const std::vector<std::vector<std::string>> commands = {
      {"W", "NEW", "in.mzt"}, {"D", "HELLO"}, {"I", "30", "raw.bin"}, {"K", "EMPTY"}, {"M", "NEWDIR"}, {"A", "/", "h"}};
  for (const std::vector<std::string>& c : commands) {
    ScratchDir dir;
    write_file(dir.file("three.d88"), before);
    write_file(dir.file("alone.d88"), t.d2);
    write_file(dir.file("in.mzt"), testing::make_mzt("NEW", pattern(3000, 4)));
    write_file(dir.file("raw.bin"), pattern(700, 6));
    std::filesystem::create_directory(dir.file("h"));
    write_file(dir.file("h/TREE.mzt"), testing::make_mzt("TREE", pattern(100, 8)));
    std::vector<std::string> args = {c[0], "three.d88", "2"};
    args.insert(args.end(), c.begin() + 1, c.end());
    const ToolRun r = run_tool(args, dir, "UTC0");
    EXPECT_EQ(r.status, 0) << c[0] << r.err;
    const Bytes after = read_file(dir.file("three.d88"));
    ASSERT_EQ(after.size(), before.size()) << c[0];
    EXPECT_EQ(slice(after, 0, at), slice(before, 0, at)) << c[0];
    EXPECT_EQ(slice(after, at + n, after.size() - at - n), slice(before, at + n, before.size() - at - n)) << c[0];
    EXPECT_NE(slice(after, at, n), slice(before, at, n)) << c[0];
    if (c[0] == "M" || c[0] == "A") continue;  // they stamp a directory with the time of the run
    args[1] = "alone.d88";
    run_tool(args, dir, "UTC0");
    const Bytes alone = read_file(dir.file("alone.d88"));
    EXPECT_EQ(slice(after, at, n), slice(alone, 0, n)) << c[0];
  }
}

// A D88 file under any name is told by its header; a disk whose track runs
// into the next disk fails its check.
TEST(DisksE2eTest, ContentTellsTheContainerAndDisksStayInsideTheirBytes) {
  ScratchDir dir;
  const Bytes one = disk("ONE", 160);
  for (const char* name : {"disk.d88.bak", "disk.dsk"}) {
    write_file(dir.file(name), one);
    const ToolRun r = run_tool({"L", name}, dir);
    EXPECT_EQ(r.status, 0) << name;
    EXPECT_NE(r.out.find(message_text(msg::kIsD88Image, name)), std::string::npos) << name;
  }
  ThreeDisks t;
  // D88 track 3 of disk 2 starts 10 bytes before the disk's end.
  testing::set_d88_track_offset(t.d2, 3, static_cast<uint32_t>(t.d2.size() - 10));
  write_file(dir.file("three.d88"), t.file());
  const ToolRun r = run_tool({"L", "three.d88", "2"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, message_text(msg::kTrackOutsideFile, 3) + msg::kD88FormatBad.bytes);
  write_file(dir.file("junk.img"), pattern(70 * 4096));
  EXPECT_EQ(run_tool({"L", "junk.img"}, dir).err,
            message_text(msg::kUnsupportedImage, "junk.img") + message_text(msg::kNotAnyImage, "junk.img"));
}

// A raw image in either order reads as the volume it holds and is written
// back in the order it was read; one the check finds damaged is not written.
TEST(DisksE2eTest, RawImagesInBothOrders) {
  VolumeBuilder b(1120, 1);  // 70 tracks
  b.add_contiguous(kRoot, "HELLO", pattern(600));
  const Bytes vol = b.take();
  ScratchDir dir;
  write_file(dir.file("in.mzt"), testing::make_mzt("NEW", pattern(3000, 4)));
  write_file(dir.file("disk.rom"), vol);
  ASSERT_EQ(run_tool({"W", "disk.rom", "1", "NEW", "in.mzt"}, dir, "UTC0").status, 0);
  const Bytes stored = read_file(dir.file("disk.rom"));
  for (const bool on_disk : {true, false}) {
    write_file(dir.file("disk.2dd"), on_disk ? raw_image_bytes(vol) : vol);
    ToolRun r = run_tool({"W", "disk.2dd", "1", "NEW", "in.mzt"}, dir, "UTC0");
    EXPECT_EQ(r.out, message_text(msg::kIsRawImage, "disk.2dd") + done()) << on_disk;
    EXPECT_EQ(read_file(dir.file("disk.2dd")), on_disk ? raw_image_bytes(stored) : stored) << on_disk;
  }
  Bytes damaged = vol;
  damaged[Volume::kSystemOffset + sys::kUsedBlocks] ^= 1;
  write_file(dir.file("disk.2dd"), raw_image_bytes(damaged));
  ToolRun r = run_tool({"D", "disk.2dd", "1", "HELLO"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.ends_with(message_text(msg::kRawNotWritten, "disk.2dd"))) << r.err;
  EXPECT_EQ(read_file(dir.file("disk.2dd")), raw_image_bytes(damaged));
  r = run_tool({"R", "disk.2dd", "1", "HELLO", "out.bin"}, dir);
  EXPECT_EQ(read_file(dir.file("out.bin")).size(), 128u + 600u);
}

// C splits a disk out; D88 -> raw -> D88 and raw -> D88 -> raw hold byte
// for byte.
TEST(DisksE2eTest, ConvertSplitsADiskOutAndRoundTrips) {
  ScratchDir dir;
  const ThreeDisks t;
  write_file(dir.file("three.d88"), t.file());
  ToolRun r = run_tool({"C", "three.d88", "3", "third.d88"}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.ends_with(message_text(msg::kImageCreated, "third.d88") + done())) << r.out;
  EXPECT_EQ(read_file(dir.file("third.d88")), t.d3);
  // A one-disk file: the span its size field gives, trailing bytes left.
  Bytes tailed = t.d1;
  tailed.insert(tailed.end(), 300, 0x11);
  write_file(dir.file("tailed.dsk"), tailed);
  ASSERT_EQ(run_tool({"C", "tailed.dsk", "1", "first.d88"}, dir).status, 0);
  EXPECT_EQ(read_file(dir.file("first.d88")), t.d1);

  ASSERT_EQ(run_tool({"F", "blank.d88"}, dir).status, 0);
  ASSERT_EQ(run_tool({"C", "blank.d88", "1", "blank.2DD"}, dir).status, 0);
  ASSERT_EQ(run_tool({"C", "blank.2DD", "1", "again.D88"}, dir).status, 0);
  EXPECT_EQ(read_file(dir.file("again.D88")), read_file(dir.file("blank.d88")));
  ASSERT_EQ(run_tool({"C", "again.D88", "2", "again.2d"}, dir).status, 0);
  EXPECT_EQ(read_file(dir.file("again.2d")), read_file(dir.file("blank.2DD")));
  ASSERT_EQ(run_tool({"F", "blank.2d"}, dir).status, 0);  // F's disk as C writes it raw
  EXPECT_EQ(read_file(dir.file("blank.2d")), read_file(dir.file("blank.2DD")));

  write_file(dir.file("disk.hdd"), testing::make_hdd_image(testing::small_volume(1)));
  const struct {
    std::vector<std::string> args;
    std::string err;
  } refusals[] = {
      {{"C", "disk.hdd", "1", "x.d88"}, message_text(msg::kNotFloppy, "disk.hdd")},
      {{"C", "three.d88", "1", "x.img"}, message_text(msg::kUnknownImageForm, "x.img")},
      {{"C", "three.d88", "1", "blank.d88"}, message_text(msg::kAlreadyExists, "blank.d88")},
      {{"C", "three.d88", "2", "x.2d"}, message_text(msg::kUnknownImageForm, "x.2d")},  // 20 tracks
  };
  for (const auto& c : refusals) {
    r = run_tool(c.args, dir);
    EXPECT_EQ(r.status, 1) << c.args[3];
    EXPECT_EQ(r.err, c.err) << c.args[3];
    EXPECT_TRUE(c.args[3] == "blank.d88" || !std::filesystem::exists(dir.file(c.args[3]))) << c.args[3];
  }
}

// The real disks joined with cat into one file, and converted to raw.
TEST(DisksE2eTest, RealDisksJoinedAndConverted) {
  const std::filesystem::path real(TARNWICK_REALDATA);
  if (!std::filesystem::exists(real / "IPLS_0_9bKai2DD.d88")) GTEST_SKIP() << "no real data";
  ScratchDir dir;
  const Bytes dd = read_file((real / "IPLS_0_9bKai2DD.d88").string());
  const Bytes two_d = read_file((real / "IPLS_0_9bKai2D.d88").string());
  Bytes joined = dd;
  joined.insert(joined.end(), two_d.begin(), two_d.end());
  joined.insert(joined.end(), dd.begin(), dd.end());
  write_file(dir.file("joined.d88"), joined);
  write_file(dir.file("alone.d88"), dd);
  const std::string listed = run_tool({"L", "joined.d88"}, dir).out;
  EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 4) << listed;
  const std::string alone = run_tool({"L", "alone.d88", "1"}, dir).out;
  const std::string third = run_tool({"L", "joined.d88", "3"}, dir).out;
  EXPECT_TRUE(third.ends_with(alone.substr(alone.find(" is D88"))));
  EXPECT_EQ(run_tool({"L", "joined.d88", "2"}, dir).status, 1);  // the 2D disk's single density
  ASSERT_EQ(run_tool({"C", "joined.d88", "3", "ipls.2dd"}, dir).status, 0);
  ASSERT_EQ(run_tool({"C", "ipls.2dd", "1", "ipls.d88"}, dir).status, 0);
  ASSERT_EQ(run_tool({"C", "ipls.d88", "1", "back.2dd"}, dir).status, 0);
  EXPECT_EQ(read_file(dir.file("back.2dd")), read_file(dir.file("ipls.2dd")));
  const ToolRun r = run_tool({"L", "ipls.2dd"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, message_text(msg::kIsRawImage, "ipls.2dd") + done());
}

}  // namespace
}  // namespace tarnwick
