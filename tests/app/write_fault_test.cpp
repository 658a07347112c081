// Write faults through the whole front end, in memory: the image's save
// failing (writes cut short, a failed flush and sync) after each command
// that writes (W, D, I), in each container (a D88 image's save writes
// track by track, the others' in one piece), and the host file's writes
// failing on R. Each failure is reported once, with its own message, and
// never followed by a confirmation; the closing message still ends the run.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/frontend.h"
#include "support/image_builder.h"
#include "support/memory_host.h"
#include "support/sample_volumes.h"
#include "support/message_text.h"

namespace tarnwick {
namespace {

using testing::message_text;

using testing::Bytes;
using testing::MemoryHost;
using testing::pattern;

struct Image {
  std::string name;
  std::string partition;
  Bytes bytes;
  size_t volume_size;
  std::string container_line;  // what standard output shows before the command
};

std::vector<Image> images() {
  const Bytes v1 = testing::small_volume(1);
  const Bytes v2 = testing::small_volume(2);
  return {
      {"disk.rom", "1", testing::make_rom_image(v1, Bytes(100, 0xA5)), v1.size(), message_text(msg::kIsRomImage, "disk.rom")},
      {"disk.hdd", "1", testing::make_hdd_image(v2), v2.size(), message_text(msg::kIsHddImage, "disk.hdd")},
      {"two.hdd", "2", testing::make_hdd_image(v1, v2), v2.size(), message_text(msg::kIsHddImage, "two.hdd")},
      {"disk.d88", "1", testing::make_d88_image(v2), v2.size(),
       message_text(msg::kDiskType) + message_text(msg::kDiskType2DD) + message_text(msg::kIsD88Image, "disk.d88")},
  };
}

struct Fault {
  const char* what;
  std::optional<uint64_t> budget;
  bool sync = false;
  bool close = false;
};

struct Outcome {
  std::string out, err;
};

Outcome run(MemoryHost& host, const std::vector<std::string>& args) {
  std::vector<const char*> argv{"tarnwick"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  Console con;
  EXPECT_EQ(run_tarnwick(static_cast<int>(argv.size()), argv.data(), con, host), 0);
  return Outcome{con.out_text(), con.err_text()};
}

MemoryHost host_with(const Image& image) {
  MemoryHost host;
  host.files[image.name] = image.bytes;
  host.files["in.mzt"] = testing::make_mzt("NEW", pattern(700, 3));
  host.files["raw.bin"] = pattern(300, 5);
  host.times["in.mzt"] = HostTime{2004, 1, 5, 6, 7};
  return host;
}

TEST(WriteFaultTest, AFailedSaveIsReportedOnceAndNeverConfirmed) {
  const std::vector<std::vector<std::string>> commands = {
      {"D", "HELLO"}, {"D", "GAMES/WAR"}, {"W", "NEW", "in.mzt"}, {"W", "HELLO", "in.mzt"}, {"I", "5A", "raw.bin"}};
  for (const Image& image : images()) {
    for (const std::vector<std::string>& c : commands) {
      std::vector<std::string> args = {c[0], image.name, image.partition};
      args.insert(args.end(), c.begin() + 1, c.end());
      const std::string context = image.name + " " + c[0] + " " + c[1];
      const std::string deleted = message_text(msg::kDeleted, c[1].c_str());

      // Without a fault the run saves and D confirms.
      MemoryHost clean = host_with(image);
      const Outcome ok = run(clean, args);
      EXPECT_EQ(ok.err, "") << context;
      EXPECT_EQ(ok.out, image.container_line + (c[0] == "D" ? deleted : "") + message_text(msg::kDone)) << context;
      ASSERT_NE(clean.files[image.name], image.bytes) << context;
      // A save writes back what the command changed: cut it short anywhere.
      const uint64_t saved = clean.written[image.name];
      ASSERT_GT(saved, kRecordSize) << context;
      const std::vector<Fault> faults = {
          {"no byte written", 0},
          {"cut after one record", kRecordSize},
          {"last byte missing", saved - 1},
          {"flush and sync fail", std::nullopt, true},
      };

      for (const Fault& f : faults) {
        for (const bool verbose : {false, true}) {
          MemoryHost host = host_with(image);
          host.fault_name = image.name;
          host.write_budget = f.budget;
          host.fail_sync = f.sync;
          std::vector<std::string> a = args;
          if (verbose) a[0] = "V" + a[0];
          const Outcome r = run(host, a);
          const std::string where = context + ", " + f.what + (verbose ? ", verbose" : "");
          EXPECT_EQ(r.err, message_text(msg::kImageWriteFailed, image.name.c_str())) << where;
          EXPECT_EQ(r.out.find(deleted), std::string::npos) << where;
          EXPECT_TRUE(r.out.ends_with(message_text(msg::kDone))) << where;
          if (!verbose) {
            EXPECT_EQ(r.out, image.container_line + message_text(msg::kDone)) << where;
          }
        }
      }
    }
  }
}

TEST(WriteFaultTest, HostFileWriteFailuresOnRAreReportedOnce) {
  const Image image = images()[1];
  const std::vector<Fault> faults = {
      {"no byte written", 0}, {"cut after 100 bytes", 100}, {"sync fails", std::nullopt, true},
      {"close fails", std::nullopt, false, true}};
  for (const char* path : {"HELLO", "TITLE", "SCORES", "MAP", "GAMES/WAR"}) {
    const std::string name = std::string(path).substr(std::string(path).rfind('/') + 1);
    const std::string lines = message_text(msg::kFileTrace, name.c_str()) + message_text(msg::kFileFound, name.c_str());
    for (const Fault& f : faults) {
      MemoryHost host = host_with(image);
      host.fault_name = "out.bin";
      host.write_budget = f.budget;
      host.fail_sync = f.sync;
      host.fail_close = f.close;
      const Outcome r = run(host, {"R", image.name, image.partition, path, "out.bin"});
      const std::string where = std::string(path) + ", " + f.what;
      EXPECT_EQ(r.err, message_text(msg::kCannotWrite, "out.bin")) << where;
      EXPECT_EQ(r.out, image.container_line + lines + message_text(msg::kDone)) << where;
      EXPECT_EQ(host.files[image.name], image.bytes) << where;
      if (f.budget) {
        EXPECT_EQ(host.files["out.bin"].size(), *f.budget) << where;
      }
    }
  }
}

}  // namespace
}  // namespace tarnwick
