// Write faults with the built binary on real files. A lowered file size
// limit (RLIMIT_FSIZE; the tool ignores SIGXFSZ) makes the kernel cut a write
// short at a chosen offset and refuse the rest, as a full disk does, also for
// writes in place: the image's save is cut short inside what it writes back
// (at a sector's start: a save writes whole sectors, and a device cuts a
// write short at no other place), and R's host file past its first bytes.
// The image's old bytes cannot go back under the same limit: the journal
// left beside it brings them back at the next run.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/frontend.h"
#include "output/console.h"
#include "containers/d88.h"
#include "containers/hdd_rom.h"
#include "support/e2e.h"
#include "support/image_builder.h"
#include "support/image_regions.h"
#include "support/memory_host.h"
#include "support/sample_volumes.h"
#include "support/message_text.h"

namespace tarnwick {
namespace {

using testing::message_text;

using testing::Bytes;
using testing::pattern;
using testing::ScratchDir;

// Lowers this process's file size limit, which the tool inherits, for the
// guard's lifetime. SIGXFSZ keeps its default action, as in a shell after
// `ulimit -f`: the tool ignores it itself, so that a write past the limit
// fails instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit lowered = old_;
    lowered.rlim_cur = bytes;
    ok_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    old_handler_ = std::signal(SIGXFSZ, SIG_DFL);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }
  bool ok() const { return ok_; }

 private:
  rlimit old_{};
  bool ok_ = false;
  void (*old_handler_)(int) = SIG_DFL;
};

bool runs_natively() { return std::string(TARNWICK_RUNNER).empty(); }

TEST(WriteFaultE2eTest, AnImageSaveCutShortIsReportedAndNeverConfirmed) {
  if (!runs_natively()) GTEST_SKIP() << "the file size limit is a property of native processes";
  struct Case {
    const char* file;
    Bytes image;
    uint64_t limit;  // where writes stop
    std::string container_line;
  };
  const Bytes d88 = testing::make_d88_image(testing::small_volume(2));
  const std::string d88_line =
      message_text(msg::kDiskType) + message_text(msg::kDiskType2DD) + message_text(msg::kIsD88Image, "disk.d88");
  const Case cases[] = {
      {"disk.rom", testing::make_rom_image(testing::small_volume(1), Bytes(100, 0xA5)), 4096,
       message_text(msg::kIsRomImage, "disk.rom")},
      {"disk.hdd", testing::make_hdd_image(testing::small_volume(2)), kPartition1Offset + 4096,
       message_text(msg::kIsHddImage, "disk.hdd")},
      // Inside the first track every command changes (the system record's
      // D88 track 1), and inside that track's last sector's data, each at
      // a sector's start: a save writes whole sectors of the file.
      {"disk.d88", d88, (testing::d88_track_offset(d88, 1) + 512) / 512 * 512, d88_line},
      {"disk.d88", d88, (testing::d88_track_offset(d88, 1) + d88::kTrackSpan - 100) / 512 * 512, d88_line},
  };
  const std::vector<std::vector<std::string>> commands = {
      {"D", "HELLO"}, {"W", "NEW", "in.mzt"}, {"I", "5A", "raw.bin"}};
  ScratchDir dir;
  testing::write_file(dir.file("in.mzt"), testing::make_mzt("NEW", pattern(700)));
  testing::write_file(dir.file("raw.bin"), pattern(300, 5));
  for (const Case& c : cases) {
    for (const std::vector<std::string>& command : commands) {
      testing::write_file(dir.file(c.file), c.image);
      std::vector<std::string> args = {command[0], c.file, "1"};
      args.insert(args.end(), command.begin() + 1, command.end());
      const std::string context = std::string(c.file) + " " + command[0] + " limit " + std::to_string(c.limit);
      testing::ToolRun r;
      {
        FileSizeLimit limit(c.limit);
        ASSERT_TRUE(limit.ok());
        r = testing::run_tool(args, dir);
      }
      EXPECT_EQ(r.status, 1) << context;
      EXPECT_EQ(r.err, message_text(msg::kWriteFailedBecause, c.file, std::strerror(EFBIG))) << context;
      EXPECT_EQ(r.out, c.container_line + message_text(msg::kDone)) << context;
      // Nothing past the limit was written.
      const Bytes after = testing::read_file(dir.file(c.file));
      ASSERT_EQ(after.size(), c.image.size()) << context;
      EXPECT_TRUE(std::equal(after.begin() + static_cast<long>(c.limit), after.end(),
                             c.image.begin() + static_cast<long>(c.limit)))
          << context;
      // The next run finds the image as it was.
      const std::string journal = dir.file(std::string(c.file) + "-journal");
      const bool journal_left = std::filesystem::exists(journal);
      r = testing::run_tool({"L", c.file}, dir);
      EXPECT_EQ(r.err, journal_left ? message_text(msg::kRestoredFromJournal, c.file) : "") << context;
      EXPECT_EQ(testing::read_file(dir.file(c.file)), c.image) << context;
      EXPECT_FALSE(std::filesystem::exists(journal)) << context;
    }
  }
}

// R cut short says so, and leaves the file it would have replaced as it was.
TEST(WriteFaultE2eTest, AHostFileCutShortOnRIsReported) {
  if (!runs_natively()) GTEST_SKIP() << "the file size limit is a property of native processes";
  ScratchDir dir;
  const Bytes image = testing::make_hdd_image(testing::small_volume(2));
  testing::write_file(dir.file("disk.hdd"), image);
  testing::write_file(dir.file("out.bin"), pattern(10));
  for (const char* path : {"HELLO", "SCORES", "MAP"}) {
    testing::ToolRun r;
    {
      FileSizeLimit limit(200);
      ASSERT_TRUE(limit.ok());
      r = testing::run_tool({"R", "disk.hdd", "1", path, "out.bin"}, dir);
    }
    EXPECT_EQ(r.status, 1) << path;
    EXPECT_EQ(r.err, message_text(msg::kCannotWriteBecause, "out.bin", std::strerror(EFBIG))) << path;
    EXPECT_EQ(r.out, message_text(msg::kIsHddImage, "disk.hdd") + message_text(msg::kFileTrace, path) +
                         message_text(msg::kFileFound, path) + message_text(msg::kDone))
        << path;
    EXPECT_EQ(testing::read_file(dir.file("out.bin")), pattern(10)) << path;
    EXPECT_EQ(testing::read_file(dir.file("disk.hdd")), image) << path;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << path;
  }
}

// A D that stopped just before deleting its journal (in memory), its image
// and journal then put on disk: L plays the journal back.
TEST(JournalE2eTest, AJournalLeftBesideAnImageIsPlayedBackByL) {
  const Bytes image = testing::make_d88_image(testing::small_volume(2));
  testing::MemoryHost start;
  start.files["disk.d88"] = image;
  testing::MemoryHost host = testing::stopped_before_journal_removal(start, {"D", "disk.d88", "1", "HELLO"});
  ASSERT_NE(host.files["disk.d88"], image);
  ASSERT_TRUE(host.files.count("disk.d88-journal"));

  ScratchDir dir;
  testing::write_file(dir.file("disk.d88"), host.files["disk.d88"]);
  testing::write_file(dir.file("disk.d88-journal"), host.files["disk.d88-journal"]);
  const testing::ToolRun r = testing::run_tool({"L", "disk.d88"}, dir);
  EXPECT_EQ(r.err, message_text(msg::kRestoredFromJournal, "disk.d88"));
  EXPECT_NE(r.out.find("\"HELLO\""), std::string::npos) << r.out;
  EXPECT_EQ(testing::read_file(dir.file("disk.d88")), image);
  EXPECT_FALSE(std::filesystem::exists(dir.file("disk.d88-journal")));
}

// A journal belongs to the file, not to the name a run used: a save through
// a symbolic link that leaves its journal behind leaves it beside the real
// file, and the next run through the real name plays it back before its own
// save, which a later run through the link then finds intact.
TEST(JournalE2eTest, AJournalLeftThroughALinkIsFoundThroughTheRealName) {
  if (!runs_natively()) GTEST_SKIP() << "the file size limit is a property of native processes";
  ScratchDir dir;
  // Partition 2 lies far enough into the file for its journal to be made
  // below a limit that stops the save.
  const Bytes image = testing::make_hdd_image(testing::small_volume(2), testing::small_volume(2));
  testing::write_file(dir.file("disk.hdd"), image);
  std::filesystem::create_symlink("disk.hdd", dir.file("cur.hdd"));
  const Bytes second = testing::make_mzt("SECOND", pattern(3000, 9));
  testing::write_file(dir.file("second.mzt"), second);
  // Where D's save ends, and how long its journal is (in memory): a file
  // size limit between the two lets the journal be made and the save fail
  // in its last sector, which cannot go back under the same limit either.
  testing::MemoryHost start;
  start.files["disk.hdd"] = image;
  testing::MemoryHost stopped = testing::stopped_before_journal_removal(start, {"D", "disk.hdd", "2", "HELLO"});
  const Bytes& journal = stopped.files["disk.hdd-journal"];
  uint64_t save_end = 0;
  for (const testing::JournalStretch& s : testing::journal_stretches(journal)) {
    if (!s.unchanged) save_end = std::max(save_end, s.offset + s.length);
  }
  ASSERT_LT(journal.size(), save_end - 512);
  {
    FileSizeLimit limit(save_end - 512);
    ASSERT_TRUE(limit.ok());
    const testing::ToolRun r = testing::run_tool({"D", "cur.hdd", "2", "HELLO"}, dir);
    EXPECT_EQ(r.err, message_text(msg::kWriteFailedBecause, "cur.hdd", std::strerror(EFBIG)));
  }
  ASSERT_TRUE(std::filesystem::exists(dir.file("disk.hdd-journal")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("cur.hdd-journal")));

  testing::ToolRun r = testing::run_tool({"W", "disk.hdd", "2", "SECOND", "second.mzt"}, dir);
  EXPECT_EQ(r.err, message_text(msg::kRestoredFromJournal, "disk.hdd"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("disk.hdd-journal")));
  r = testing::run_tool({"L", "cur.hdd", "2"}, dir);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("\"SECOND\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"HELLO\""), std::string::npos) << r.out;
  r = testing::run_tool({"R", "cur.hdd", "2", "SECOND", "out.mzt"}, dir);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(testing::read_file(dir.file("out.mzt")), second);
}

// No journal can keep a file's other names whole: a write through any name
// of a file with two is refused before loading; reading goes on.
TEST(JournalE2eTest, AnImageWithTwoNamesIsOnlyRead) {
  ScratchDir dir;
  const Bytes image = testing::make_hdd_image(testing::small_volume(2));
  testing::write_file(dir.file("disk.hdd"), image);
  std::filesystem::create_hard_link(dir.file("disk.hdd"), dir.file("other.hdd"));
  for (const char* name : {"disk.hdd", "other.hdd"}) {
    testing::ToolRun r = testing::run_tool({"D", name, "1", "HELLO"}, dir);
    EXPECT_EQ(r.err, message_text(msg::kImageHasManyNames, name)) << name;
    EXPECT_EQ(r.out, message_text(msg::kDone)) << name;
    r = testing::run_tool({"L", name}, dir);
    EXPECT_EQ(r.err, "") << name;
    EXPECT_NE(r.out.find("\"HELLO\""), std::string::npos) << name;
  }
  EXPECT_EQ(testing::read_file(dir.file("disk.hdd")), image);
  EXPECT_FALSE(std::filesystem::exists(dir.file("disk.hdd-journal")));
}

// What is at the journal's name and is no journal of ours is never read
// past its first bytes, waited on or deleted: L goes on without a word, D
// is refused. A FIFO there would hold a run that opened it to read for
// ever.
TEST(JournalE2eTest, AForeignFileAtTheJournalsNameIsLeftAlone) {
  using Clock = std::chrono::steady_clock;
  const Bytes image = testing::make_hdd_image(testing::small_volume(2));
  struct Case {
    const char* what;
    void (*make)(const std::string& path);
  };
  const Case cases[] = {
      {"text", [](const std::string& p) { testing::write_file(p, Bytes{'n', 'o', 't', 'e', '\n'}); }},
      {"FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }},
      {"folder", [](const std::string& p) { std::filesystem::create_directory(p); }},
      {"link to a journal", [](const std::string& p) {
         testing::write_file(p + ".real", Bytes{'T', 'W', 'J'});
         std::filesystem::create_symlink(std::filesystem::path(p + ".real").filename(), p);
       }},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    testing::write_file(dir.file("disk.hdd"), image);
    const std::string journal = dir.file("disk.hdd-journal");
    c.make(journal);
    const auto kind = std::filesystem::symlink_status(journal).type();
    const auto began = Clock::now();
    testing::ToolRun r = testing::run_tool({"L", "disk.hdd"}, dir);
    EXPECT_EQ(r.err, "") << c.what;
    EXPECT_NE(r.out.find("\"HELLO\""), std::string::npos) << c.what;
    r = testing::run_tool({"D", "disk.hdd", "1", "HELLO"}, dir);
    std::string want = message_text(msg::kImageWriteFailed, "disk.hdd");
    // Wine sees a link as a file the journal cannot be made over, and says
    // so with the system's reason.
    if (testing::runs_under_wine() && r.err.ends_with(")\n")) want.pop_back();
    EXPECT_EQ(r.err.substr(0, want.size()), want) << c.what;
    if (!testing::runs_under_wine()) {
      EXPECT_EQ(r.err, want) << c.what;
    }
    EXPECT_LT(Clock::now() - began, std::chrono::seconds(2)) << c.what;
    EXPECT_EQ(testing::read_file(dir.file("disk.hdd")), image) << c.what;
    EXPECT_EQ(std::filesystem::symlink_status(journal).type(), kind) << c.what;
  }
}

}  // namespace
}  // namespace tarnwick
