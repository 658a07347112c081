// HDD images (a signature and two partitions at fixed positions) and ROM
// images (a bare volume from byte 0).
//
// HDD image file:
//   POSITION   LENGTH  CONTENTS
//   0          39      "MZ-2500 HD system by SHARP Corp.  V1.0A"
//   0x27       217     rest of the first 256 bytes, not read
//   0x100      0x2000  not read
//   0x2100     ...     partition 1 volume (system record at 0x3000)
//   0x9CC000   ...     partition 2 volume (system record at 0x9CCF00)
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "containers/container.h"
#include "containers/save_plan.h"
#include "host/file.h"
#include "volume/pager.h"

namespace tarnwick {

inline constexpr uint32_t kPartition1Offset = 0x2100;
inline constexpr uint32_t kPartition2Offset = 0x9CC000;
inline constexpr char kHddSignature[] = "MZ-2500 HD system by SHARP Corp.  V1.0A";
inline constexpr size_t kHddSignatureLength = sizeof kHddSignature - 1;  // 39

// A volume's pages straight from the image file, `base` bytes in.
std::unique_ptr<PageSource> file_pages(File& image, uint64_t base);

// True when the file is at least 256 bytes long and starts with the signature.
bool check_hdd_signature(File& image);

// The pager over partition 1 (index 0) or 2 (any other index), its
// partition offset set in `container`. Nothing when the system record or
// the volume cannot be read or describes no usable volume.
std::unique_ptr<Pager> load_hdd_partition(File& image, int partition_index, Container& container,
                                          MemoryHint hint = {});

// The pager over a ROM image's volume, from byte 0.
std::unique_ptr<Pager> load_rom_image(File& image, MemoryHint hint = {});

// True when a file of `size` bytes, a whole number of records, is a volume
// load_rom_image takes: its system record describes a volume the file holds.
bool reads_as_rom_image(File& image, uint64_t size);

// The plan of an HDD or ROM save: the pages the command changed, each run of
// them one stretch at `base` (the partition's offset, 0 for a ROM image)
// plus its offset in the volume. The bytes are the pager's own. With
// `unused` (VolumeUse::unused of the volume as loaded), the pages whose records
// are all unused make fresh stretches of their own.
bool plan_volume_save(Pager& pager, uint64_t base, SavePlan& plan, const std::vector<bool>* unused = nullptr);

}  // namespace tarnwick
