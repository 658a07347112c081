// The image file around a volume: which container it is, how the volume is
// loaded from it, and how it is written back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "containers/d88.h"
#include "containers/save_plan.h"
#include "host/file.h"
#include "output/console.h"
#include "volume/pager.h"

namespace tarnwick {

enum class ContainerKind { kHdd, kRom, kD88 };

// Where the loaded volume came from: all the save routine needs.
struct Container {
  ContainerKind kind = ContainerKind::kHdd;
  uint32_t partition_offset = 0;  // HDD images
  D88Header d88;                  // D88 images
};

// The image file name's extension: its last three characters upper-cased
// when the fourth-last is '.', else empty.
std::string image_extension(std::string_view file_name);

// Chooses the container by the image file name's extension (".D88" a D88
// image, ".ROM" a ROM image, anything else an HDD image, recognised by its
// signature), prints which it is and loads the volume (partition_index 0 or
// 1 for HDD images): the pager over it, reading from `image`, which must
// stay open. Nothing, after the failure has been reported, when the volume
// could not be loaded.
std::unique_ptr<Pager> load_container(File& image, const std::string& image_name, int partition_index, Console& con,
                                      Container& container, MemoryHint hint = {});

// Prints the container's message for an image it cannot load.
void report_load_failure(Console& con, const Container& container);

// The stretches of the image file the container's save would write, and
// their new bytes, fresh over the records `unused` marks. False when the
// volume cannot be written back where it came from.
bool plan_save(File& image, Pager& pager, const Container& container, SavePlan& plan,
               const std::vector<bool>* unused = nullptr);

}  // namespace tarnwick
