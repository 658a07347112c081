#include "operations/session.h"

#include <gtest/gtest.h>

#include <functional>

#include "containers/image_file.h"
#include "containers/memory_store.h"
#include "host/in_memory_host.h"
#include "operations/format.h"
#include "support/image_builder.h"
#include "support/memory_host.h"
#include "support/message_text.h"
#include "support/sample_volumes.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::MemoryHost;

// Each command that writes, as the session runs it on a loaded volume.
using Command = std::function<std::optional<Change>(Session&, MemoryHost&, Report&)>;
const std::pair<const char*, Command> kCommands[] = {
    {"W", [](Session& s, MemoryHost& h, Report& r) { return s.store("GAMES/NEW", h, "new.mzt", {}, r); }},
    {"W over", [](Session& s, MemoryHost& h, Report& r) { return s.store("HELLO", h, "new.mzt", {}, r); }},
    {"I", [](Session& s, MemoryHost& h, Report& r) { return s.import_records("40", h, "raw.bin", r); }},
    {"D", [](Session& s, MemoryHost&, Report& r) { return s.delete_file("MAP", r); }},
    {"M", [](Session& s, MemoryHost& h, Report& r) { return s.make_directory("NEWDIR", h.now(), r); }},
    {"K",
     [](Session& s, MemoryHost& h, Report& r) {
       return s.make_directory("EMPTY", h.now(), r) ? s.remove_directory("EMPTY", r) : std::nullopt;
     }},
    {"A", [](Session& s, MemoryHost& h, Report& r) { return s.store_tree("/", h, "tree", {}, r); }},
};

// Runs the command on volume 0 of the image, which saves it.
void run_and_save(Session& session, const Command& command, MemoryHost& host) {
  Report rep;
  ASSERT_TRUE(session.identify(rep) && session.load(0, rep));
  const Session::Work work = [&](const CheckReport&, Report& r) { return command(session, host, r); };
  EXPECT_TRUE(session.run(Access::kWrite, work, rep).saved) << testing::err_text(rep);
  EXPECT_TRUE(session.close(rep) && !rep.failed());
}

// The same command on the same image leaves the same bytes whether the
// image is a host file (locked, journaled) or held in memory.
TEST(SessionTest, TheFileAndTheMemoryStoreSaveTheSameBytes) {
  const Bytes volume = testing::small_volume(2);
  const std::pair<const char*, Bytes> images[] = {{"disk.hdd", testing::make_hdd_image(volume)},
                                                  {"disk.d88", testing::make_d88_image(volume)},
                                                  {"disk.rom", testing::make_rom_image(volume)}};
  for (const auto& [name, bytes] : images) {
    for (const auto& [letter, command] : kCommands) {
      MemoryHost host;
      host.files["new.mzt"] = testing::make_mzt("NEW", testing::pattern(700));
      host.files["raw.bin"] = testing::pattern(300, 5);
      host.folders.insert("tree");
      host.files["tree/T.mzt"] = testing::make_mzt("T", testing::pattern(90));
      host.files[name] = bytes;
      Report rep;
      Session on_file(ImageFile::open(host, rep, name, Access::kWrite), Access::kWrite);
      run_and_save(on_file, command, host);
      auto memory = std::make_unique<MemoryStore>(name, bytes);
      const MemoryStore& kept = *memory;
      Session in_memory(std::move(memory), Access::kWrite);
      run_and_save(in_memory, command, host);
      EXPECT_NE(kept.bytes(), bytes) << name << " " << letter;
      EXPECT_EQ(kept.bytes(), host.files[name]) << name << " " << letter;
    }
  }
  // F: the blank disk made in memory is the file F makes.
  MemoryHost host;
  Report rep;
  MemoryStore blank("new.d88", {});
  ASSERT_TRUE(format_image_file(host, rep, "new.d88") && write_blank_disk(blank.file()));
  EXPECT_EQ(blank.bytes(), host.files["new.d88"]);
}

// The page's way with folders: X into a host in memory, then A of that
// folder into a blank disk, whose X gives the same folder again.
TEST(SessionTest, XAndABackThroughAHostInMemoryKeepEveryFile) {
  Session from(std::make_unique<MemoryStore>("a.hdd", testing::make_hdd_image(testing::small_volume(1))), Access::kRead);
  MemoryStore blank("b.d88", {});
  ASSERT_TRUE(write_blank_disk(blank.file()));
  Session to(std::make_unique<MemoryStore>("b.d88", blank.bytes()), Access::kWrite);
  InMemoryHost host;
  Report rep;
  ASSERT_TRUE(from.identify(rep) && from.load(0, rep) && to.identify(rep) && to.load(0, rep));
  EXPECT_EQ(from.extract_tree("/", host, "out", {}, rep).files, 5);
  const Session::Work store = [&](const CheckReport&, Report& r) { return to.store_tree("/", host, "out", {}, r); };
  ASSERT_TRUE(to.run(Access::kWrite, store, rep).saved) << testing::err_text(rep);
  to.extract_tree("/", host, "again", {}, rep);
  EXPECT_FALSE(rep.failed()) << testing::err_text(rep);
  for (const auto& [path, entry] : host.entries) {
    if (!path.starts_with("out/")) continue;
    const auto again = host.entries.find("again/" + path.substr(4));
    ASSERT_NE(again, host.entries.end()) << path;
    EXPECT_EQ(again->second.bytes, entry.bytes) << path;
    if (!entry.folder) {
      EXPECT_EQ(again->second.time, entry.time) << path;
    }
  }
  // C takes out floppy disks only.
  Report refused;
  EXPECT_FALSE(from.disk_image(NewImageForm::kD88, "x.d88", refused));
  EXPECT_EQ(testing::err_text(refused), testing::message_text(msg::kNotFloppy, "a.hdd"));
}

}  // namespace
}  // namespace tarnwick
