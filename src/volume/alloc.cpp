#include "volume/alloc.h"

#include <algorithm>
#include <vector>

#include "volume/walk.h"

namespace tarnwick {

namespace {

// Bitmap bit i: bit (i mod 8) of system record byte 6 + i / 8.
uint32_t bitmap_byte(uint32_t bit) { return sys::kBitmap + bit / 8; }
uint8_t bitmap_mask(uint32_t bit) { return static_cast<uint8_t>(1u << (bit % 8)); }

// The used blocks counter is changed byte by byte, as the machine does: the
// carry from byte 2 goes into byte 3, and byte 3 wraps on its own.
void add_used_block(Volume& vol) {
  const uint8_t low = static_cast<uint8_t>(vol.sys8(sys::kUsedBlocks) + 1);
  vol.set_sys8(sys::kUsedBlocks, low);
  if (low == 0) vol.set_sys8(sys::kUsedBlocks + 1, static_cast<uint8_t>(vol.sys8(sys::kUsedBlocks + 1) + 1));
}

void remove_used_block(Volume& vol) {
  const uint8_t low = static_cast<uint8_t>(vol.sys8(sys::kUsedBlocks) - 1);
  vol.set_sys8(sys::kUsedBlocks, low);
  if (low == 0xFF) vol.set_sys8(sys::kUsedBlocks + 1, static_cast<uint8_t>(vol.sys8(sys::kUsedBlocks + 1) - 1));
}

// Marks the records of every file and directory reachable from the root,
// records 0-23 (the system record and the root directory) included. Unlike
// the consistency check, the walk does not stop at a damaged file or
// directory: whatever it can reach is protected. Each directory is entered
// once, so the walk ends on any volume.
std::vector<bool> claimed_records(const Volume& vol) {
  const uint32_t records = vol.record_count();
  std::vector<bool> claimed(records, false);
  for (uint32_t r = 0; r < std::min(kMinimumRecords, records); ++r) claimed[r] = true;
  for_each_reachable_entry(vol, [&](EntryRef e) {
    FileWalk walk = FileWalk::of_entry(vol, e, RecordRange{0, records}, false);
    while (const std::optional<Piece> p = walk.next()) {
      for (uint32_t r = p->first; r < p->first + p->records; ++r) claimed[r] = true;
    }
  });
  return claimed;
}

// True when a record of `block` is claimed.
bool block_claimed(const std::vector<bool>& claimed, uint32_t block, uint32_t records_per_block) {
  const uint64_t first = uint64_t{block} * records_per_block;
  for (uint64_t r = first; r < first + records_per_block && r < claimed.size(); ++r) {
    if (claimed[r]) return true;
  }
  return false;
}

}  // namespace

uint32_t allocate_blocks(Volume& vol, uint32_t length, const AllocTrace& trace) {
  const Geometry g = vol.geometry();
  const uint64_t bytes_per_block = uint64_t(g.bytes_per_block);
  const uint64_t blocks = (uint64_t{length} + bytes_per_block - 1) / bytes_per_block;
  if (trace) trace({AllocStep::Kind::kBlocks, static_cast<int64_t>(blocks)});
  const int data_blocks = g.total_blocks - g.reserved_blocks;
  if (trace) trace({AllocStep::Kind::kDataBlocks, data_blocks});

  // The load refuses volumes with more data blocks than bytes 6-254 hold;
  // the scan is bounded there all the same, so it never reads byte 255.
  const uint32_t scan = static_cast<uint32_t>(std::clamp<int>(data_blocks, 0, kMaxDataBlocks));
  // A block is taken only when the bitmap says it is free and no file holds
  // a record of it: a bitmap that disagrees with the files must not cost a
  // file its data.
  const std::vector<bool> claimed = claimed_records(vol);
  const uint32_t rpb = static_cast<uint32_t>(g.records_per_block);
  uint32_t run = 0;
  uint32_t run_start = 0;
  for (uint32_t i = 0; i < scan; ++i) {
    const uint8_t m = bitmap_mask(i);
    const uint8_t b = vol.sys8(bitmap_byte(i));
    if (trace) trace({AllocStep::Kind::kScan, m, b, run});
    if ((b & m) || block_claimed(claimed, i + static_cast<uint32_t>(g.reserved_blocks), rpb)) {
      run = 0;
      continue;
    }
    if (run == 0) run_start = i;
    ++run;
    // Tested after the run grew, so a request for 0 blocks takes one.
    if (run < blocks) continue;

    for (uint32_t j = run_start; j < run_start + run; ++j) {
      vol.set_sys8(bitmap_byte(j), static_cast<uint8_t>(vol.sys8(bitmap_byte(j)) | bitmap_mask(j)));
      if (trace) trace({AllocStep::Kind::kReserve, int64_t{j} + g.reserved_blocks});
      add_used_block(vol);
    }
    return (run_start + static_cast<uint32_t>(g.reserved_blocks)) * static_cast<uint32_t>(g.records_per_block);
  }
  return 0;
}

RecordRange data_records(const Volume& vol) {
  const Geometry g = vol.geometry();
  const int32_t data_end = std::min(g.total_blocks, g.reserved_blocks + static_cast<int32_t>(kMaxDataBlocks));
  const uint64_t first = uint64_t(g.reserved_blocks) * uint64_t(g.records_per_block);
  const uint64_t end = std::max<uint64_t>(uint64_t(std::max(data_end, 0)) * uint64_t(g.records_per_block), first);
  const uint64_t records = vol.record_count();
  return RecordRange{static_cast<uint32_t>(std::min(first, records)), static_cast<uint32_t>(std::min(end, records))};
}

bool is_data_record(const Volume& vol, uint32_t record) { return data_records(vol).contains(record); }

std::vector<bool> unused_records(const Volume& vol) {
  std::vector<bool> unused(vol.record_count(), false);
  const Geometry g = vol.geometry();
  const RecordRange data = data_records(vol);
  if (g.records_per_block < 1 || data.first >= data.end) return unused;
  const std::vector<bool> claimed = claimed_records(vol);
  const uint32_t rpb = static_cast<uint32_t>(g.records_per_block);
  for (uint32_t block = data.first / rpb; uint64_t{block} * rpb < data.end; ++block) {
    const uint32_t bit = block - static_cast<uint32_t>(g.reserved_blocks);
    if ((vol.sys8(bitmap_byte(bit)) & bitmap_mask(bit)) || block_claimed(claimed, block, rpb)) continue;
    const uint32_t first = block * rpb;
    for (uint32_t r = first; r < first + rpb && r < data.end; ++r) unused[r] = true;
  }
  return unused;
}

void release_block(Volume& vol, uint32_t record, const AllocTrace& trace) {
  if (!is_data_record(vol, record)) return;
  const Geometry g = vol.geometry();
  const uint32_t block = record / static_cast<uint32_t>(g.records_per_block);
  const uint32_t bit = block - static_cast<uint32_t>(g.reserved_blocks);
  const uint8_t b = vol.sys8(bitmap_byte(bit));
  if (!(b & bitmap_mask(bit))) return;
  vol.set_sys8(bitmap_byte(bit), static_cast<uint8_t>(b & ~bitmap_mask(bit)));
  remove_used_block(vol);
  if (trace) trace({AllocStep::Kind::kRelease, record, block, vol.sys16(sys::kUsedBlocks)});
}

}  // namespace tarnwick
