// Write faults through the whole front end, in memory: the image's save
// failing (writes cut short, a failed flush and sync) after each command
// that writes (W, D, I), in each container (a D88 image's save writes
// track by track, the others' in one piece), and the host file's writes
// failing on R. Each failure is reported once, with its own message, and
// never followed by a confirmation; the closing message still ends the run,
// and the next run finds the image as it was.
//
// Crashes: a save stopped after any of its steps, with the process killed or
// the power lost, leaves the old or the new image for the next run, and the
// journal that protects it is played back, thrown away when cut short, or
// read over an image that cannot be written.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/frontend.h"
#include "codecs/mzt.h"
#include "containers/raw.h"
#include "support/image_builder.h"
#include "support/image_regions.h"
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

Bytes joined(const std::vector<Bytes>& disks) {
  Bytes all;
  for (const Bytes& d : disks) all.insert(all.end(), d.begin(), d.end());
  return all;
}

// The volume on a raw image's smallest disk: 70 tracks.
Bytes seventy_tracks(Bytes volume) {
  volume.resize(70 * 4096, 0);
  return volume;
}

std::vector<Image> images() {
  const Bytes v1 = testing::small_volume(1);
  const Bytes v2 = testing::small_volume(2);
  return {
      {"disk.rom", "1", testing::make_rom_image(v1, Bytes(100, 0xA5)), v1.size(), message_text(msg::kIsRomImage, "disk.rom")},
      {"disk.hdd", "1", testing::make_hdd_image(v2), v2.size(), message_text(msg::kIsHddImage, "disk.hdd")},
      {"two.hdd", "2", testing::make_hdd_image(v1, v2), v2.size(), message_text(msg::kIsHddImage, "two.hdd")},
      {"disk.d88", "1", testing::make_d88_image(v2), v2.size(),
       message_text(msg::kDiskType) + message_text(msg::kDiskType2DD) + message_text(msg::kIsD88Image, "disk.d88")},
      // The middle disk of three: what its save leaves is the old or the
      // new file, the other disks as they were.
      {"three.d88", "2", joined({testing::make_d88_image(v1), testing::make_d88_image(v2), testing::make_d88_image(v1)}),
       v2.size(),
       message_text(msg::kDiskOfFile, 2u, 3u, "TARNWICK") + message_text(msg::kDiskType) +
           message_text(msg::kDiskType2DD) + message_text(msg::kIsD88Image, "three.d88")},
      {"disk.2dd", "1", raw_image_bytes(seventy_tracks(v2)), v2.size(), message_text(msg::kIsRawImage, "disk.2dd")},
  };
}

struct Fault {
  const char* what;
  std::optional<uint64_t> budget;
  bool sync = false;
  bool close = false;
  bool create = false;
  bool journal = false;  // the fault hits the journal, not the image
};

struct Outcome {
  std::string out, err;
};

Outcome run(MemoryHost& host, const std::vector<std::string>& args) {
  std::vector<const char*> argv{"tarnwick"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  Console con;
  // The exit status tells whether anything failed.
  const int status = run_tarnwick(static_cast<int>(argv.size()), argv.data(), con, host);
  EXPECT_EQ(status, testing::exit_status_told(con));
  return Outcome{con.out_text(), con.err_text()};
}

MemoryHost host_with(const Image& image) {
  MemoryHost host;
  host.files[image.name] = image.bytes;
  host.files["in.mzt"] = testing::make_mzt("NEW", pattern(700, 3));
  host.files["raw.bin"] = pattern(300, 5);
  // Large enough to cover whole pages of free blocks: fresh stretches.
  host.files["big.mzt"] = testing::make_mzt("BIG", pattern(6000, 13));
  host.times["in.mzt"] = HostTime{2004, 1, 5, 6, 7};
  return host;
}

TEST(WriteFaultTest, AFailedSaveIsReportedOnceAndNeverConfirmed) {
  const std::vector<std::vector<std::string>> commands = {
      {"D", "HELLO"}, {"D", "GAMES/WAR"}, {"W", "NEW", "in.mzt"}, {"W", "HELLO", "in.mzt"}, {"W", "BIG", "big.mzt"},
      {"I", "5A", "raw.bin"}};
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
          {"journal cannot be created", std::nullopt, false, false, true, true},
          {"journal cut short", 30, false, false, false, true},
          {"journal sync fails", std::nullopt, true, false, false, true},
      };

      for (const Fault& f : faults) {
        for (const bool verbose : {false, true}) {
          MemoryHost host = host_with(image);
          host.fault_name = image.name + (f.journal ? "-journal" : "");
          host.write_budget = f.budget;
          host.fail_sync = f.sync;
          host.fail_create = f.create;
          std::vector<std::string> a = args;
          if (verbose) a[0] = "V" + a[0];
          const Outcome r = run(host, a);
          const std::string where = context + ", " + f.what + (verbose ? ", verbose" : "");
          // The memory host's words for a failed write and a refused creation.
          const char* reason = f.create ? "Permission denied" : "Input/output error";
          EXPECT_EQ(r.err, message_text(msg::kWriteFailedBecause, image.name.c_str(), reason)) << where;
          EXPECT_EQ(r.out.find(deleted), std::string::npos) << where;
          EXPECT_TRUE(r.out.ends_with(message_text(msg::kDone))) << where;
          if (!verbose) {
            EXPECT_EQ(r.out, image.container_line + message_text(msg::kDone)) << where;
          }
          // Without a journal the image was never touched; with one, the
          // next run brings the image back.
          const bool journal_left = host.files.count(image.name + "-journal") != 0;
          EXPECT_FALSE(f.journal && journal_left) << where;
          EXPECT_TRUE(journal_left || host.files[image.name] == image.bytes) << where;
          host.write_budget.reset();
          host.fail_sync = host.fail_create = false;
          const Outcome next = run(host, {"L", image.name, image.partition});
          EXPECT_EQ(next.err, journal_left ? message_text(msg::kRestoredFromJournal, image.name.c_str()) : "") << where;
          EXPECT_EQ(host.files[image.name], image.bytes) << where;
          EXPECT_FALSE(host.files.count(image.name + "-journal")) << where;
        }
      }
    }
  }
}

// A reads every host file while the command runs, so one whose bytes come
// up short fails the command, naming the host file, and nothing is saved.
TEST(WriteFaultTest, AHostFileUnreadableWhenAStoresItLeavesTheImageAsItWas) {
  const Bytes blank = testing::VolumeBuilder(320, 2).take();
  const struct {
    const char* name;
    Bytes image;
  } cases[] = {
      {"disk.hdd", testing::make_hdd_image(blank)},
      {"disk.rom", testing::make_rom_image(blank)},
      {"disk.d88", testing::make_d88_image(blank)},
  };
  for (const auto& c : cases) {
    MemoryHost host;
    host.files[c.name] = c.image;
    host.folders.insert("h");
    host.files["h/BIG.mzt"] = testing::make_mzt("BIG", pattern(20000, 13));
    host.fault_name = "h/BIG.mzt";
    // The header and the pages at either end of the body, not the rest.
    host.read_budget = mzt::kHeaderSize + 2 * Volume::kPageSize;
    const Outcome r = run(host, {"A", c.name, "1", "", "h"});
    EXPECT_EQ(r.err, message_text(msg::kReadFailed, "h/BIG.mzt")) << c.name;
    EXPECT_EQ(r.out.find(message_text(msg::kFilesStored, 1)), std::string::npos) << c.name;
    EXPECT_EQ(host.files[c.name], c.image) << c.name;
    EXPECT_FALSE(host.files.count(std::string(c.name) + "-journal")) << c.name;
  }
}

// A holds what it stores in memory once, in the volume's pages: its save
// digests and writes them from there, copying no more than the sectors where
// they meet other bytes.
TEST(WriteFaultTest, ASaveTakesNoCopyOfWhatItStores) {
  MemoryHost host;
  host.files["disk.hdd"] = testing::make_hdd_image(testing::VolumeBuilder(640, 8).take());
  host.folders.insert("h");
  for (const char* name : {"h/A.mzt", "h/B.mzt", "h/C.mzt", "h/D.mzt"}) {
    host.files[name] = testing::make_mzt("F", pattern(60000, static_cast<uint8_t>(name[2])));
  }
  ASSERT_EQ(run(host, {"A", "disk.hdd", "1", "", "h"}).err, "");
  EXPECT_LT(host.prepared_bytes, 4 * 60000 + 128 * 1024);
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
      host.files["out.bin"] = pattern(3);
      host.fault_name = "out.bin.tarnwick-new";
      host.write_budget = f.budget;
      host.fail_sync = f.sync;
      host.fail_close = f.close;
      const Outcome r = run(host, {"R", image.name, image.partition, path, "out.bin"});
      const std::string where = std::string(path) + ", " + f.what;
      EXPECT_EQ(r.err, message_text(msg::kCannotWriteBecause, "out.bin", "Input/output error")) << where;
      EXPECT_EQ(r.out, image.container_line + lines + message_text(msg::kDone)) << where;
      EXPECT_EQ(host.files[image.name], image.bytes) << where;
      EXPECT_EQ(host.files["out.bin"], pattern(3)) << where;
      EXPECT_FALSE(host.files.count("out.bin.tarnwick-new")) << where;
    }
  }
}

std::vector<std::string> arguments(const Image& image, const std::vector<std::string>& command) {
  std::vector<std::string> args = {command[0], image.name, image.partition};
  args.insert(args.end(), command.begin() + 1, command.end());
  return args;
}

const std::vector<std::vector<std::string>> kSaves = {
    {"W", "NEW", "in.mzt"}, {"W", "BIG", "big.mzt"}, {"D", "HELLO"}, {"I", "5A", "raw.bin"}};

TEST(CrashTest, ASaveStoppedAfterAnyStepLeavesTheOldOrTheNewImage) {
  using Crash = MemoryHost::Crash;
  for (const Image& image : images()) {
    MemoryHost old_host = host_with(image);
    const Outcome old_listing = run(old_host, {"L", image.name, image.partition});
    for (const std::vector<std::string>& c : kSaves) {
      const std::string context = image.name + " " + c[0];
      MemoryHost clean = host_with(image);
      run(clean, arguments(image, c));
      const Bytes after = clean.files[image.name];
      const uint64_t steps = clean.steps;
      const Outcome new_listing = run(clean, {"L", image.name, image.partition});
      std::set<std::string> seen;
      for (uint64_t n = 0; n <= steps; ++n) {
        for (const Crash how : {Crash::kProcessKilled, Crash::kPowerLost, Crash::kNamesLost}) {
          const std::string where = context + " stopped after " + std::to_string(n) + " steps, crash " +
                                    std::to_string(static_cast<int>(how));
          MemoryHost host = host_with(image);
          host.keep_as_synced();
          host.crash_after = n;
          run(host, arguments(image, c));
          host.crash(how);
          const Outcome next = run(host, {"L", image.name, image.partition});
          const bool is_new = host.files[image.name] == after;
          EXPECT_TRUE(is_new || host.files[image.name] == image.bytes) << where;
          EXPECT_EQ(next.out, is_new ? new_listing.out : old_listing.out) << where;
          const bool restored = next.err == message_text(msg::kRestoredFromJournal, image.name.c_str());
          EXPECT_TRUE(restored || next.err.empty()) << where << next.err;
          EXPECT_FALSE(host.files.count(image.name + "-journal")) << where;
          seen.insert(std::string(is_new ? "new" : "old") + (restored ? " restored" : ""));
        }
      }
      EXPECT_EQ(seen, (std::set<std::string>{"old", "old restored", "new"})) << context;
    }
  }
}

// A reads each host file once, while the command runs: a file rewritten
// during the save (here while the journal is synced) cannot make the image
// and its journal disagree. Stopped after any step, the save leaves the
// image as it was or as it meant to make it.
TEST(CrashTest, AHostFileRewrittenDuringTheSaveLeavesTheOldOrTheNewImage) {
  for (const Image& image : images()) {
    const auto start = [&] {
      MemoryHost host = host_with(image);
      host.folders.insert("h");
      host.files["h/BIG.mzt"] = testing::make_mzt("BIG", pattern(6000, 17));
      host.on_sync = [&host](const std::string& name) {
        if (name.ends_with("-journal")) host.files["h/BIG.mzt"] = testing::make_mzt("BIG", pattern(6000, 99));
      };
      return host;
    };
    const std::vector<std::string> args = {"A", image.name, image.partition, "", "h"};
    MemoryHost clean = start();
    run(clean, args);
    const Bytes after = clean.files[image.name];
    ASSERT_NE(after, image.bytes) << image.name;
    for (uint64_t n = 0; n <= clean.steps; ++n) {
      MemoryHost host = start();
      host.keep_as_synced();
      host.crash_after = n;
      run(host, args);
      host.crash(MemoryHost::Crash::kPowerLost);
      host.on_sync = nullptr;
      run(host, {"L", image.name, image.partition});
      const Bytes& now = host.files[image.name];
      EXPECT_TRUE(now == after || now == image.bytes) << image.name << " stopped after " << n << " steps";
    }
  }
}

// A journal left by a crash belongs to the image the crash left, not to a
// copy of it that later work changed: that copy, put back beside the
// journal, keeps every byte, and the journal is refused and kept. The later
// work frees the saved file's blocks and takes them again for a file of
// the same size, leaving every other byte the save wrote as it was or as
// the save made it (so only the new data tells the copy apart), and
// elsewhere changes only a directory the save never wrote. W's and A's
// saves, in every container, stopped after each of their steps. And D's:
// a later W takes the blocks D freed (so the system record reads as before
// the D, its directory as after it), with other bytes or, as an empty file
// does, none.
TEST(JournalTest, AJournalIsNeverPlayedBackOverACopyChangedSince) {
  // The volume's free blocks start at record `free_from`: after a file, the
  // directory SUB on a page of its own, and more files.
  const auto volume = [](uint32_t free_from) {
    testing::VolumeBuilder b(320, 2);
    b.add_contiguous(kRootDirectoryRecord, "FILL", pattern(2048));
    const uint32_t sub = b.add_directory(kRootDirectoryRecord, "SUB");
    for (uint32_t k = 0; k < (free_from - 40) / 2; ++k) {  // SUB ends at record 40; a block each
      b.add_contiguous(sub, "F" + std::to_string(k), pattern(512));
    }
    return b.take();
  };
  const struct {
    uint32_t free_from;  // the save's file on whole pages of its own
    std::vector<std::string> save;
    std::vector<std::vector<std::string>> later;
  } sequences[] = {
      {48, {"W", "NEWF", "new.mzt"}, {{"D", "NEWF"}, {"W", "SUB/Z", "z.mzt"}}},
      // A's directory NEW fills the rest of a page, its file F1 two more.
      {56, {"A", "", "tree"}, {{"D", "NEW/F1"}, {"W", "NEW/F1", "z.mzt"}}},
      // F5's block lies on a page D does not write, in sectors of its own.
      {64, {"D", "SUB/F5"}, {{"W", "Z", "one.mzt"}}},
      {64, {"D", "SUB/F5"}, {{"W", "E", "empty.mzt"}}},
  };
  for (const auto& sequence : sequences) {
    const Bytes v = volume(sequence.free_from);
    for (const Image& image : {Image{"disk.rom", "1", testing::make_rom_image(v), v.size(), ""},
                               Image{"disk.hdd", "1", testing::make_hdd_image(v), v.size(), ""},
                               Image{"disk.d88", "1", testing::make_d88_image(v), v.size(), ""},
                               Image{"disk.2dd", "1", raw_image_bytes(seventy_tracks(v)), v.size(), ""},
                               Image{"three.d88", "2", joined({testing::make_d88_image(v), testing::make_d88_image(v),
                                                               testing::make_d88_image(v)}), v.size(), ""}}) {
      const auto start = [&] {
        MemoryHost host;
        host.files[image.name] = image.bytes;
        host.files["new.mzt"] = testing::make_mzt("NEWF", pattern(8192, 19));
        host.files["z.mzt"] = testing::make_mzt("Z", pattern(8192, 21));
        host.files["one.mzt"] = testing::make_mzt("Z", pattern(512, 21));
        host.files["empty.mzt"] = testing::make_mzt("E", {});
        host.folders.insert("tree");
        host.folders.insert("tree/NEW");
        host.files["tree/NEW/F1.mzt"] = testing::make_mzt("F1", pattern(8192, 23));
        return host;
      };
      const std::string journal = image.name + "-journal";
      const std::string context = image.name + " " + sequence.save[0];
      MemoryHost clean = start();
      ASSERT_EQ(run(clean, arguments(image, sequence.save)).err, "") << context;
      int refused = 0;
      for (uint64_t n = 0; n <= clean.steps; ++n) {
        const std::string where = context + " stopped after " + std::to_string(n) + " steps";
        MemoryHost host = start();
        host.keep_as_synced();
        host.crash_after = n;
        run(host, arguments(image, sequence.save));
        host.crash(MemoryHost::Crash::kProcessKilled);
        const Bytes left = host.files[image.name];
        // The image is copied without its journal, changed, and put back.
        const std::optional<Bytes> kept =
            host.files.count(journal) ? std::optional<Bytes>(host.files[journal]) : std::nullopt;
        host.files.erase(journal);
        for (const std::vector<std::string>& c : sequence.later) run(host, arguments(image, c));
        const Bytes changed = host.files[image.name];
        if (kept) host.files[journal] = *kept;
        const Outcome r = run(host, {"L", image.name, image.partition});
        if (changed == left) continue;  // the copy is the image the crash left
        EXPECT_NE(r.err, message_text(msg::kRestoredFromJournal, image.name.c_str())) << where;
        EXPECT_EQ(host.files[image.name], changed) << where;
        if (r.err == message_text(msg::kJournalNotThisFile, journal.c_str())) {
          ++refused;
          EXPECT_EQ(host.files[journal], *kept) << where;
        }
      }
      EXPECT_GT(refused, 0) << context;
    }
  }
}

// The journal a save leaves when it is stopped just before the journal is
// deleted: complete, beside an image that holds the new volume.
struct Leftover {
  Bytes image;    // the new volume
  Bytes journal;  // the old bytes of what the save wrote
};

Leftover leftover_of(const Image& image, const std::vector<std::string>& command) {
  MemoryHost host = testing::stopped_before_journal_removal(host_with(image), arguments(image, command));
  return {host.files[image.name], host.files[image.name + "-journal"]};
}

// What the journal covers: every stretch's offset and length.
std::vector<std::pair<uint64_t, uint64_t>> stretches_of(const Bytes& journal) {
  std::vector<std::pair<uint64_t, uint64_t>> stretches;
  for (const testing::JournalStretch& s : testing::journal_stretches(journal)) stretches.push_back({s.offset, s.length});
  return stretches;
}

// A journal cut short or damaged was made before the image was touched: it
// is deleted without a word and the run goes on with the image as it is.
// One whose magic is damaged is no journal of ours: it stays, and L goes on
// without it.
TEST(JournalTest, AJournalCutShortOrDamagedIsDeletedSilently) {
  for (const Image& image : images()) {
    const Leftover left = leftover_of(image, {"D", "HELLO"});
    ASSERT_GT(left.journal.size(), 48u) << image.name;
    struct Case {
      std::string what;
      Bytes journal;
      bool ours;
    };
    std::vector<Case> journals;
    for (size_t n = 0; n < left.journal.size(); n += n < 64 ? 1 : 61) {
      journals.push_back({"cut to " + std::to_string(n), Bytes(left.journal.begin(), left.journal.begin() + n), true});
    }
    for (size_t at = 0; at < left.journal.size(); at += at < 48 || at + 4 >= left.journal.size() ? 1 : 97) {
      Bytes damaged = left.journal;
      damaged[at] ^= 0x10;
      journals.push_back({"byte " + std::to_string(at) + " changed", damaged, at >= 8});
    }
    Bytes longer = left.journal;
    longer.push_back(0);
    journals.push_back({"a byte after the checksum", longer, true});
    for (const Case& c : journals) {
      MemoryHost host = host_with(image);
      host.files[image.name + "-journal"] = c.journal;
      const Outcome r = run(host, {"L", image.name, image.partition});
      EXPECT_EQ(r.err, "") << image.name << ", " << c.what;
      EXPECT_EQ(host.files[image.name], image.bytes) << image.name << ", " << c.what;
      EXPECT_EQ(host.files.count(image.name + "-journal"), c.ours ? 0u : 1u) << image.name << ", " << c.what;
    }
  }
}

// A complete journal is played back only over an image its save can have
// left: the same size, and at every byte of every stretch the old or the
// new byte. Any other image (restored from a backup, changed since, another
// file given the name) keeps the journal, and the run ends before loading.
TEST(JournalTest, AJournalOfAnotherStateOfTheFileIsKeptAndRefused) {
  for (const Image& image : images()) {
    const Leftover left = leftover_of(image, {"D", "HELLO"});
    const auto [offset, length] = stretches_of(left.journal).back();
    Bytes neither = left.image;
    neither[offset + length / 2] ^= 0x5A;  // neither old nor new
    Bytes shorter = left.image;
    shorter.resize(offset + length - 1);  // the last stretch no longer fits
    Bytes longer = left.image;
    longer.push_back(0);
    for (const auto& [what, bytes] : {std::pair{"a byte neither old nor new", neither},
                                      std::pair{"cut short", shorter}, std::pair{"grown", longer}}) {
      for (const char* command : {"L", "D"}) {
        MemoryHost host = host_with(image);
        host.files[image.name] = bytes;
        host.files[image.name + "-journal"] = left.journal;
        const Outcome r = run(host, command[0] == 'L' ? std::vector<std::string>{"L", image.name, image.partition}
                                                      : arguments(image, {"D", "HELLO"}));
        const std::string journal = image.name + "-journal";
        const std::string where = image.name + ", " + what + ", " + command;
        EXPECT_EQ(r.err, message_text(msg::kJournalNotThisFile, journal.c_str())) << where;
        EXPECT_EQ(r.out, message_text(msg::kDone)) << where;
        EXPECT_EQ(host.files[image.name], bytes) << where;
        EXPECT_EQ(host.files[journal], left.journal) << where;
      }
    }
  }
}

// A file stored into free blocks: the journal keeps what those blocks held
// (once, when it is one byte over and over) and only a digest of each new
// sector. A save stopped between its sectors leaves each one old or new,
// which fits; a sector holding anything else (another file stored there
// since) does not.
TEST(JournalTest, AFileStoredIntoFreeBlocksIsKeptInTheJournalAsDigests) {
  for (const Image& image : images()) {
    const Leftover left = leftover_of(image, {"W", "BIG", "big.mzt"});
    uint64_t written = 0;
    std::optional<testing::JournalStretch> fresh;
    for (const testing::JournalStretch& s : testing::journal_stretches(left.journal)) {
      written += s.length;
      if (s.fresh) fresh = s;
    }
    ASSERT_TRUE(fresh) << image.name;
    EXPECT_LT(left.journal.size(), 2 * written) << image.name;
    Bytes half = left.image;  // the first half of the fresh sectors written
    const uint64_t old_from = fresh->offset + fresh->length / 1024 * 512;
    std::copy_n(image.bytes.begin() + static_cast<long>(old_from), fresh->offset + fresh->length - old_from,
                half.begin() + static_cast<long>(old_from));
    Bytes scribbled = left.image;
    scribbled[fresh->offset + fresh->length - 1] ^= 0x77;
    for (const auto& [what, bytes, fits] : {std::tuple{"half written", half, true},
                                            std::tuple{"scribbled", scribbled, false}}) {
      MemoryHost host = host_with(image);
      host.files[image.name] = bytes;
      host.files[image.name + "-journal"] = left.journal;
      const Outcome r = run(host, {"L", image.name, image.partition});
      const std::string journal = image.name + "-journal";
      EXPECT_EQ(r.err, fits ? message_text(msg::kRestoredFromJournal, image.name.c_str())
                            : message_text(msg::kJournalNotThisFile, journal.c_str()))
          << image.name << ", " << what;
      EXPECT_EQ(host.files[image.name], fits ? image.bytes : bytes) << image.name << ", " << what;
    }
  }
}

// The same journal as a former version wrote it: every stretch's old and
// new bytes in full, no form byte, no unchanged runs.
Bytes as_version_2(const Bytes& journal) {
  Bytes v2(journal.begin(), journal.begin() + 24);
  v2[8] = 2;
  size_t at = 24;
  for (const testing::JournalStretch& s : testing::journal_stretches(journal)) {
    const uint8_t form = journal[at + 16];
    if (s.unchanged) {
      --v2[12];
      at += 17 + 4 * ((s.length + 511) / 512);
      continue;
    }
    v2.insert(v2.end(), journal.begin() + static_cast<long>(at), journal.begin() + static_cast<long>(at + 16));
    at += 17;
    if (form & 1) {
      v2.insert(v2.end(), s.length, journal[at]);
      at += 1;
    } else {
      v2.insert(v2.end(), journal.begin() + static_cast<long>(at), journal.begin() + static_cast<long>(at + s.length));
      at += s.length;
    }
    v2.insert(v2.end(), journal.begin() + static_cast<long>(at), journal.begin() + static_cast<long>(at + s.length));
    at += s.length;
  }
  uint32_t crc = 0xFFFFFFFFu;
  for (const uint8_t b : v2) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  crc = ~crc;
  for (int k = 0; k < 4; ++k) v2.push_back(static_cast<uint8_t>(crc >> (8 * k)));
  return v2;
}

TEST(JournalTest, AJournalOfTheFormerVersionIsStillPlayedBack) {
  for (const Image& image : images()) {
    const Leftover left = leftover_of(image, {"D", "HELLO"});
    MemoryHost host = host_with(image);
    host.files[image.name] = left.image;
    host.files[image.name + "-journal"] = as_version_2(left.journal);
    const Outcome r = run(host, {"L", image.name, image.partition});
    EXPECT_EQ(r.err, message_text(msg::kRestoredFromJournal, image.name.c_str())) << image.name;
    EXPECT_EQ(host.files[image.name], image.bytes) << image.name;
  }
}

// A journal left behind is played back by any run before its command, L
// taking the image for itself to do so; over an image it may only read, L
// reads the old bytes from the journal, sector headers included, says it
// could not restore the image, and leaves both files alone.
TEST(JournalTest, ALeftoverJournalIsPlayedBackOrReadOver) {
  for (const Image& image : images()) {
    MemoryHost old_host = host_with(image);
    const Outcome old_listing = run(old_host, {"L", image.name, image.partition});
    const Leftover left = leftover_of(image, {"D", "HELLO"});
    const std::string restored = message_text(msg::kRestoredFromJournal, image.name.c_str());
    // Torn: the save stopped in the middle of every run, between two of its
    // sectors.
    Bytes torn = left.image;
    for (const auto& [offset, length] : stretches_of(left.journal)) {
      const size_t old_at = static_cast<size_t>(offset);
      std::copy_n(image.bytes.begin() + static_cast<long>(old_at), length / 1024 * 512,
                  torn.begin() + static_cast<long>(old_at));
    }
    for (const std::vector<std::string>& c : kSaves) {
      MemoryHost host = host_with(image);
      host.files[image.name] = torn;
      host.files[image.name + "-journal"] = left.journal;
      const Outcome r = run(host, arguments(image, c));
      MemoryHost clean = host_with(image);
      const Outcome clean_run = run(clean, arguments(image, c));
      EXPECT_EQ(r.err, restored) << image.name << " " << c[0];
      EXPECT_EQ(r.out, clean_run.out) << image.name << " " << c[0];
      EXPECT_EQ(host.files[image.name], clean.files[image.name]) << image.name << " " << c[0];
      EXPECT_FALSE(host.files.count(image.name + "-journal")) << image.name << " " << c[0];
    }
    for (const bool read_only : {false, true}) {
      MemoryHost host = host_with(image);
      host.files[image.name] = torn;
      host.files[image.name + "-journal"] = left.journal;
      if (read_only) host.read_only.push_back(image.name);
      // The notice is no failure: the run's status stays 0 under -s.
      const Outcome r = run(host, {"-s", "L", image.name, image.partition});
      const std::string where = image.name + (read_only ? ", read-only" : "");
      EXPECT_EQ(r.err, read_only ? message_text(msg::kReadOnlyNotRestored, image.name.c_str()) : restored) << where;
      EXPECT_EQ(r.out, old_listing.out) << where;
      EXPECT_EQ(host.locks[image.name], read_only ? Lock::kShared : Lock::kExclusive) << where;
      EXPECT_EQ(host.files[image.name], read_only ? torn : image.bytes) << where;
      EXPECT_EQ(host.files.count(image.name + "-journal"), read_only ? 1u : 0u) << where;
    }
    // Where the file system offers no lock, another run may be making the
    // save the journal protects: it is neither played back nor deleted, and
    // the run ends before loading.
    {
      MemoryHost host = host_with(image);
      host.no_locks = true;
      host.files[image.name] = torn;
      host.files[image.name + "-journal"] = left.journal;
      const std::string unlocked = message_text(msg::kCannotLock, image.name.c_str(), "No locks available");
      for (const char* command : {"L", "D"}) {
        const Outcome r = run(host, command[0] == 'L' ? std::vector<std::string>{"L", image.name, image.partition}
                                                      : arguments(image, {"D", "HELLO"}));
        EXPECT_EQ(r.err, unlocked + message_text(msg::kCannotRestore, image.name.c_str())) << image.name << command;
        EXPECT_EQ(r.out, message_text(msg::kDone)) << image.name << command;
        EXPECT_EQ(host.files[image.name], torn) << image.name << command;
        EXPECT_EQ(host.files[image.name + "-journal"], left.journal) << image.name << command;
      }
      // Without a journal it says so once and goes on.
      host.files.erase(image.name + "-journal");
      host.files[image.name] = image.bytes;
      const Outcome r = run(host, {"L", image.name, image.partition});
      EXPECT_EQ(r.err, unlocked) << image.name;
      EXPECT_EQ(r.out, old_listing.out) << image.name;
    }
    // A journal that cannot be played back ends the run before anything is
    // loaded, and stays.
    MemoryHost host = host_with(image);
    host.files[image.name] = torn;
    host.files[image.name + "-journal"] = left.journal;
    host.fault_name = image.name;
    host.write_budget = 0;
    Outcome r = run(host, {"L", image.name, image.partition});
    EXPECT_EQ(r.err, message_text(msg::kImageWriteFailed, image.name.c_str())) << image.name;
    EXPECT_EQ(r.out, message_text(msg::kDone)) << image.name;
    EXPECT_EQ(host.files[image.name + "-journal"], left.journal) << image.name;
  }
}

// Only our own files are ever removed. Anything else at the journal's name
// (a text file, a folder, a FIFO, a device, a link) is left untouched:
// readers go on without it and without a word, writers are refused before
// loading.
TEST(JournalTest, AForeignFileAtTheJournalsNameIsLeftAlone) {
  for (const Image& image : images()) {
    MemoryHost clean = host_with(image);
    const Outcome listing = run(clean, {"L", image.name, image.partition});
    const std::string journal = image.name + "-journal";
    const std::vector<std::pair<const char*, std::function<void(MemoryHost&)>>> foreign = {
        {"text", [&](MemoryHost& h) { h.files[journal] = {'T', 'W', 'x', '\n'}; }},
        {"folder", [&](MemoryHost& h) { h.folders.insert(journal); }},
        {"FIFO", [&](MemoryHost& h) { h.others.insert(journal); }},
    };
    for (const auto& [what, make] : foreign) {
      for (const char* command : {"L", "D"}) {
        MemoryHost host = host_with(image);
        make(host);
        const MemoryHost before = host;
        const Outcome r = run(host, command[0] == 'L' ? std::vector<std::string>{"L", image.name, image.partition}
                                                      : arguments(image, {"D", "HELLO"}));
        const std::string where = image.name + ", " + what + ", " + command;
        if (command[0] == 'L') {
          EXPECT_EQ(r.err, "") << where;
          EXPECT_EQ(r.out, listing.out) << where;
        } else {
          EXPECT_EQ(r.err, message_text(msg::kImageWriteFailed, image.name.c_str())) << where;
          EXPECT_EQ(r.out, message_text(msg::kDone)) << where;
        }
        EXPECT_EQ(host.files, before.files) << where;
        EXPECT_EQ(host.folders, before.folders) << where;
      }
    }
  }
}

}  // namespace
}  // namespace tarnwick
