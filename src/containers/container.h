// The image file around a volume: which container it is, how the volume is
// loaded from it, and how it is written back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "containers/d88.h"
#include "containers/file_window.h"
#include "containers/raw.h"
#include "containers/save_plan.h"
#include "host/file.h"
#include "output/report.h"
#include "volume/pager.h"

namespace tarnwick {

enum class ContainerKind { kHdd, kRom, kD88, kRaw };

// The kind as scripts and the page name it: "HDD", "ROM", "D88", "raw".
const char* container_kind_name(ContainerKind kind);

// Where the loaded volume came from: all the save routine needs.
struct Container {
  ContainerKind kind = ContainerKind::kHdd;
  uint32_t partition_offset = 0;  // HDD images
  D88Header d88;                  // D88 images: the loaded disk's header
  std::vector<DiskSpan> disks;    // D88 images: every disk of the file
  DiskSpan disk = kWholeFile;     // D88 images: the loaded disk's stretch of the file
  int index = 0;                  // the loaded volume: HDD partition 0 or 1, D88 disk from 0
  RawOrder raw_order = RawOrder::kAsOnDisk;  // raw images
  uint64_t file_size = 0;         // the image file's size when told, else 0

  // A D88 file of more than one disk: PART picks the disk.
  bool several_disks() const { return kind == ContainerKind::kD88 && disks.size() > 1; }
  // A floppy disk's image: a D88 disk or a raw image.
  bool floppy() const { return kind == ContainerKind::kD88 || kind == ContainerKind::kRaw; }
};

// The image file name's extension: its last three characters upper-cased
// when the fourth-last is '.', else empty.
std::string image_extension(std::string_view file_name);

// Tells which container the image is: by its name's extension, ".D88" a
// D88 file and ".ROM" a ROM image (in any case); else by its content, in
// this order: an HDD image by its signature, a D88 file by its header, a
// raw floppy image by its size and system record. Finds the disks of a D88
// file. Says nothing but the refusal of a file that is none of these;
// false then.
bool identify_container(File& image, const std::string& image_name, Report& rep, Container& container);

// Loads volume `index` of the container that identify_container told:
// the HDD partition (0 or 1), or for a D88 file of several disks the disk
// (from 0), which is named first. Says the container's lines and loads
// the volume: the pager over it, reading from `image`, which must stay
// open. Nothing, after the failure has been said, when the volume could
// not be loaded.
std::unique_ptr<Pager> load_container(File& image, const std::string& image_name, int index, Report& rep,
                                      Container& container, MemoryHint hint = {});

// The bytes of the image file that make the loaded D88 disk on its own:
// its stretch of a file of several disks; for a file of one disk, see
// d88_lone_disk_bytes.
DiskSpan d88_disk_bytes(const Container& container);

// The container's message for an image it cannot load.
void report_load_failure(Report& rep, const Container& container);

// The stretches of the image file the container's save would write, and
// their new bytes, fresh over the records `unused` marks. False when the
// volume cannot be written back where it came from.
bool plan_save(File& image, Pager& pager, const Container& container, SavePlan& plan,
               const std::vector<bool>* unused = nullptr);

// Adds to the plan, as unchanged spans, where in the image file the
// records `bound` marks (bound_records of the volume) lie, and in a D88
// file every disk's header, which tells where the disks and their tracks
// are.
void plan_bound_records(const Container& container, const std::vector<bool>& bound, SavePlan& plan);

}  // namespace tarnwick
