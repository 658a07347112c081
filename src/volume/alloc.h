// Block allocation and release through the system record's bitmap.
//
// Both operations change only the system record: the bitmap bits and the
// used blocks counter (bytes 2-3), kept in step with each other. The records
// of the blocks themselves are never touched: allocated records keep their
// old bytes and released ones are not cleared.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "volume/volume.h"

namespace tarnwick {

// One step of an allocation or a release, handed to a caller that traces
// them. What a, b and c hold depends on the kind.
struct AllocStep {
  enum class Kind {
    kBlocks,      // a: the blocks the length needs
    kDataBlocks,  // a: total blocks less the reserved ones
    kScan,        // a: the bitmap bit's mask, b: its byte, c: the free run before it
    kReserve,     // a: the block claimed
    kRelease,     // a: the record, b: its block, c: the used blocks left
  };
  Kind kind;
  int64_t a = 0, b = 0, c = 0;
  bool operator==(const AllocStep&) const = default;
};
using AllocTrace = std::function<void(const AllocStep&)>;

// Claims the first run of free blocks long enough for `length` bytes (one
// block for 0 bytes) and returns its first record, or 0 when none fits (the
// system record is then unchanged). The run is exactly as long as needed and
// never spans a used block. A free block is one whose bitmap bit is clear
// and none of whose records is one of records 0-23 or a record that a file
// or directory of the volume holds, whatever the bitmap says. Hands every
// step to `trace`, if given.
uint32_t allocate_blocks(Volume& vol, uint32_t length, const AllocTrace& trace = {});

// Frees the block that holds `record`, if it is a used data block. A block
// already free, and a record outside the data blocks, change nothing and
// trace nothing, so a caller may hand over every record of a file.
void release_block(Volume& vol, uint32_t record, const AllocTrace& trace = {});

// The records of the data blocks that the bitmap can describe: past the
// reserved blocks, before total blocks, within the first 1992 data blocks
// and inside the volume image.
RecordRange data_records(const Volume& vol);

// Per record of the volume: true when it lies in a data block whose bitmap
// bit is clear and of which no file or directory holds a record, so that
// nothing of the volume as it stands lies there. A save may write such
// records without keeping what they held before the save for the journal's
// check (containers/journal.h).
std::vector<bool> unused_records(const Volume& vol);

// True when `record` lies in a data block that the bitmap can describe:
// past the reserved blocks, before total blocks, within the first 1992 data
// blocks and inside the volume image.
bool is_data_record(const Volume& vol, uint32_t record);

}  // namespace tarnwick
