#include "containers/image.h"

#include <gtest/gtest.h>

#include <functional>

#include "operations/delete.h"
#include "operations/directory.h"
#include "operations/import.h"
#include "operations/store.h"
#include "operations/store_tree.h"
#include "containers/image_file.h"
#include "containers/memory_store.h"
#include "support/image_builder.h"
#include "support/memory_host.h"
#include "support/sample_volumes.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::MemoryHost;

// Each command that writes, as the front end runs it on a loaded volume.
using Command = std::function<bool(RunContext&)>;
const std::pair<const char*, Command> kCommands[] = {
    {"W", [](RunContext& c) { return command_store(c, "GAMES/NEW", "new.mzt"); }},
    {"W over", [](RunContext& c) { return command_store(c, "HELLO", "new.mzt"); }},
    {"I", [](RunContext& c) { return command_import(c, "40", "raw.bin"); }},
    {"D", [](RunContext& c) { return command_delete(c, "MAP"); }},
    {"M", [](RunContext& c) { return make_directory(c, "NEWDIR"); }},
    {"K", [](RunContext& c) { return make_directory(c, "EMPTY") && remove_directory(c, "EMPTY"); }},
    {"A", [](RunContext& c) { return command_store_tree(c, "/", "tree").has_value(); }},
};

// Runs the command on volume 0 of the image and saves it.
void run_and_save(Image& image, const Command& command, MemoryHost& host) {
  Report rep;
  ASSERT_TRUE(image.identify(rep) && image.load(0, rep));
  Console con;
  HostTime time;
  RunContext ctx{con, host, image.volume(), time, image.name()};
  EXPECT_TRUE(command(ctx) && image.save(rep)) << con.err_text();
  EXPECT_TRUE(image.close(rep) && !rep.failed());
}

// The same command on the same image leaves the same bytes whether the
// image is a host file (locked, journaled) or held in memory.
TEST(ImageStoreTest, TheFileAndTheMemoryStoreSaveTheSameBytes) {
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
      Image on_file(ImageFile::open(host, rep, name, Access::kWrite), Access::kWrite);
      run_and_save(on_file, command, host);
      auto memory = std::make_unique<MemoryStore>(name, bytes);
      const MemoryStore& kept = *memory;
      Image in_memory(std::move(memory), Access::kWrite);
      run_and_save(in_memory, command, host);
      EXPECT_NE(kept.bytes(), bytes) << name << " " << letter;
      EXPECT_EQ(kept.bytes(), host.files[name]) << name << " " << letter;
    }
  }
}

}  // namespace
}  // namespace tarnwick
