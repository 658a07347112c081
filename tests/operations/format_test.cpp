// F on a host in memory: what it refuses, and that a failed write leaves
// no file behind. (The image it writes is compared with a real blank disk
// end to end.)
#include "operations/format.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/memory_host.h"
#include "support/message_text.h"

namespace tarnwick {
namespace {

using testing::message_text;
using testing::MemoryHost;

TEST(FormatTest, RefusalsAndFailedWritesLeaveNoNewFile) {
  struct Case {
    std::string name;
    std::function<void(MemoryHost&)> setup;
    const MessageText* error;  // nullptr: the image is written
    const char* reason = "";   // the system's, after a failed write
  };
  const std::vector<Case> cases = {
      {"blank.d88", [](MemoryHost&) {}, nullptr},
      {"BLANK.D88", [](MemoryHost&) {}, nullptr},
      // The journal of an image of that name that is gone goes too; a file
      // there that is no journal of ours is left alone, and F refused.
      {"stale.d88", [](MemoryHost& h) { h.files["stale.d88-journal"] = {'T', 'W', 'J'}; }, nullptr},
      {"text.d88", [](MemoryHost& h) { h.files["text.d88-journal"] = {'h', 'i', '\n'}; }, &msg::kImageWriteFailed},
      {"fifo.d88", [](MemoryHost& h) { h.others.insert("fifo.d88-journal"); }, &msg::kImageWriteFailed},
      {"disk.hdd", [](MemoryHost&) {}, &msg::kUnsupportedImage},
      {"disk.rom", [](MemoryHost&) {}, &msg::kUnsupportedImage},
      {"disk.d8", [](MemoryHost&) {}, &msg::kUnsupportedImage},
      {"d88", [](MemoryHost&) {}, &msg::kUnsupportedImage},
      {"disk.d88x", [](MemoryHost&) {}, &msg::kUnsupportedImage},
      {"old.d88", [](MemoryHost& h) { h.files["old.d88"] = {1, 2, 3}; }, &msg::kAlreadyExists},
      {"dir.D88", [](MemoryHost& h) { h.folders.insert("dir.D88"); }, &msg::kAlreadyExists},
      {"no/such.d88", [](MemoryHost&) {}, &msg::kImageWriteFailed, "No such file or directory"},
      {"locked.d88", [](MemoryHost& h) { h.fail_create = true; }, &msg::kImageWriteFailed, "Permission denied"},
      {"full.d88", [](MemoryHost& h) { h.write_budget = 100000; }, &msg::kImageWriteFailed, "Input/output error"},
      {"header.d88", [](MemoryHost& h) { h.write_budget = 687; }, &msg::kImageWriteFailed, "Input/output error"},
      {"unsynced.d88", [](MemoryHost& h) { h.fail_sync = true; }, &msg::kImageWriteFailed, "Input/output error"},
      {"unclosed.d88", [](MemoryHost& h) { h.fail_close = true; }, &msg::kImageWriteFailed, "Input/output error"},
  };
  for (const Case& c : cases) {
    MemoryHost host;
    c.setup(host);
    const MemoryHost before = host;
    Report con;
    EXPECT_EQ(format_image_file(host, con, c.name), c.error == nullptr) << c.name;
    EXPECT_EQ(testing::out_text(con), "") << c.name;
    if (c.error) {
      const std::string expected = *c.reason ? message_text(msg::kWriteFailedBecause, c.name, c.reason)
                                             : testing::message_with_text(*c.error, c.name);
      EXPECT_EQ(testing::err_text(con), expected) << c.name;
      EXPECT_EQ(host.files, before.files) << c.name;
      EXPECT_EQ(host.folders, before.folders) << c.name;
    } else {
      EXPECT_EQ(testing::err_text(con), "") << c.name;
      EXPECT_EQ(host.files[c.name].size(), 697008u) << c.name;
      EXPECT_FALSE(host.files.count(c.name + "-journal")) << c.name;
    }
  }
}

}  // namespace
}  // namespace tarnwick
