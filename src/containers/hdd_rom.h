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

#include "containers/container.h"
#include "containers/save_plan.h"
#include "host/file.h"
#include "volume/volume.h"

namespace tarnwick {

inline constexpr uint32_t kPartition1Offset = 0x2100;
inline constexpr uint32_t kPartition2Offset = 0x9CC000;
inline constexpr char kHddSignature[] = "MZ-2500 HD system by SHARP Corp.  V1.0A";
inline constexpr size_t kHddSignatureLength = sizeof kHddSignature - 1;  // 39

// True when the file is at least 256 bytes long and starts with the signature.
bool check_hdd_signature(File& image);

// Loads partition 1 (index 0) or 2 (any other index). Fills `vol` and the
// partition offset in `container`. False, with `vol` left empty, when the system
// record or the volume cannot be read or describes no usable volume.
bool load_hdd_partition(File& image, int partition_index, Volume& vol, Container& container);
bool save_hdd_partition(File& image, const Volume& vol, uint32_t partition_offset);

bool load_rom_image(File& image, Volume& vol);
bool save_rom_image(File& image, const Volume& vol);

// The plan of an HDD or ROM save: the pages the command changed, each run of
// them one stretch at `base` (the partition's offset, 0 for a ROM image)
// plus its offset in the volume. The bytes are the volume's own. With
// `unused` (unused_records of the volume as loaded), the pages whose records
// are all unused make fresh stretches of their own.
bool plan_volume_save(const Volume& vol, uint64_t base, SavePlan& plan, const std::vector<bool>* unused = nullptr);

}  // namespace tarnwick
