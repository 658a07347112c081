// Blank volumes and directories, as the machine formats them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "volume/format.h"

namespace tarnwick {

struct BlankLayout {
  uint16_t total_blocks;
  uint8_t records_per_block;
  uint8_t reserved_blocks;  // outside the bitmap: records 0-15, the root directory
};

// A 2DD floppy data disk: 160 tracks of 16 records, 2 records a block, the
// first 24 blocks reserved.
inline constexpr BlankLayout k2ddDataDisk{1280, 2, 24};

// The bytes of a freshly formatted volume: every record 0xFF but the system
// record (volume number 1, the reserved blocks, as many used, the total, a
// clear bitmap, records per block - 1 in byte 255, the rest 0) and the root
// directory, blank.
std::vector<uint8_t> blank_volume(const BlankLayout& layout);

// Writes a blank directory over its 2048 bytes: entry 0 the header (byte 0
// = 0x80), every entry's name field 16 x 0x0D, every other byte 0.
void write_blank_directory(std::span<uint8_t> dir);

}  // namespace tarnwick
