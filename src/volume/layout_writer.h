// Writing many files into a volume in one go: block allocation that reads
// the volume once, and the chained (BSD) and indexed (BRD) layouts written
// from bytes.
//
// BlockPool takes blocks exactly as allocate_blocks does (first fit, whole
// blocks, a block free only when its bitmap bit is clear and no file or
// directory holds a record of it), but finds the held records once, when it
// is made, instead of on every call. Everything that changes the volume's
// files meanwhile must go through it or tell it (forget_file).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "volume/volume.h"

namespace tarnwick {

class BlockPool {
 public:
  explicit BlockPool(Volume& vol);

  // Claims the first run of free blocks long enough for `length` bytes (one
  // block for 0): bitmap bits and the used blocks counter. Its first record,
  // or 0 when none fits (nothing changed then).
  uint32_t allocate(uint32_t length);

  // The file or directory an entry describes is about to be released: its
  // records no longer count as held.
  void forget_file(EntryRef e);

 private:
  bool taken(uint32_t block) const;
  void hold_file(EntryRef e, int by);

  Volume& vol_;
  uint32_t records_per_block_ = 1;
  uint32_t reserved_ = 0;  // reserved blocks: bitmap bit i is block reserved_ + i
  uint32_t scan_ = 0;      // bitmap bits that describe blocks
  // Per block: how many records of it files and directories hold.
  std::vector<uint32_t> held_;
  uint32_t first_candidate_ = 0;  // every bit before it is taken
};

// Writes `data` (at most 65,535 bytes) as a chain of records, 254 data bytes
// and a link each, the last linking to 0; one record for no data. The
// records are taken a block at a time, first fit, and used in order, so no
// more is claimed than whole blocks. The first record, or nothing when the
// volume has no room (blocks claimed so far stay claimed).
std::optional<uint32_t> write_chained(Volume& vol, BlockPool& pool, std::span<const uint8_t> data);

// Lays out `size` bytes (at most 128 runs of 4096 bytes) as an index
// record listing runs of 16 records, each run and the index on blocks of
// their own; no run for no data. Claims the blocks and fills in the index;
// the first record of each run goes to `runs`, in order, for the caller to
// fill. The index record, or nothing when the volume has no room.
std::optional<uint32_t> lay_out_indexed(Volume& vol, BlockPool& pool, uint64_t size, std::vector<uint32_t>& runs);

}  // namespace tarnwick
