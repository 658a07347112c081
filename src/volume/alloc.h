// Block allocation and release through the system record's bitmap.
#pragma once

#include <cstdint>

#include "app/console.h"
#include "volume/volume.h"

namespace tarnwick {

// Claims the first run of free blocks long enough for `length` bytes (one
// block for 0 bytes) and returns its first record, or 0 when none fits.
uint32_t allocate_blocks(Volume& vol, Console& con, uint32_t length);

// Frees the block that holds `record`, if it is a used data block.
void release_block(Volume& vol, Console& con, uint32_t record);

}  // namespace tarnwick
