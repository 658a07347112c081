// Block allocation and release through the system record's bitmap.
//
// Both operations change only the system record: the bitmap bits and the
// used blocks counter (bytes 2-3), kept in step with each other. The records
// of the blocks themselves are never touched: allocated records keep their
// old bytes and released ones are not cleared.
#pragma once

#include <cstdint>

#include "output/console.h"
#include "volume/volume.h"

namespace tarnwick {

// Claims the first run of free blocks long enough for `length` bytes (one
// block for 0 bytes) and returns its first record, or 0 when none fits (the
// system record is then unchanged). The run is exactly as long as needed and
// never spans a used block. A free block is one whose bitmap bit is clear
// and none of whose records is one of records 0-23 or a record that a file
// or directory of the volume holds, whatever the bitmap says. Traces every
// step in verbose mode.
uint32_t allocate_blocks(Volume& vol, Console& con, uint32_t length);

// Frees the block that holds `record`, if it is a used data block. A block
// already free, and a record outside the data blocks, change nothing and
// print nothing, so a caller may hand over every record of a file.
void release_block(Volume& vol, Console& con, uint32_t record);

// The records of the data blocks that the bitmap can describe: past the
// reserved blocks, before total blocks, within the first 1992 data blocks
// and inside the volume image.
RecordRange data_records(const Volume& vol);

// True when `record` lies in a data block that the bitmap can describe:
// past the reserved blocks, before total blocks, within the first 1992 data
// blocks and inside the volume image.
bool is_data_record(const Volume& vol, uint32_t record);

}  // namespace tarnwick
