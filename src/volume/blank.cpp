#include "volume/blank.h"

#include <algorithm>
#include <vector>

namespace tarnwick {

Volume blank_volume(const BlankLayout& layout) {
  const uint32_t records = uint32_t{layout.total_blocks} * layout.records_per_block;
  Volume vol(std::vector<uint8_t>(size_t{records} * kRecordSize, 0xFF));
  const std::span<uint8_t> system = vol.writable_bytes(Volume::kSystemOffset, kRecordSize);
  std::fill(system.begin(), system.end(), uint8_t{0});
  vol.set_sys8(sys::kVolumeNumber, 1);
  vol.set_sys8(sys::kReservedBlocks, layout.reserved_blocks);
  vol.set_sys16(sys::kUsedBlocks, layout.reserved_blocks);
  vol.set_sys16(sys::kTotalBlocks, layout.total_blocks);
  vol.set_sys8(sys::kRecordsPerBlockMinusOne, static_cast<uint8_t>(layout.records_per_block - 1));
  write_blank_directory(vol, kRootDirectoryRecord);
  return vol;
}

void write_blank_directory(Volume& vol, uint32_t first_record) {
  const std::span<uint8_t> dir = vol.writable_bytes(uint64_t{first_record} * kRecordSize, kDirectorySize);
  std::fill(dir.begin(), dir.end(), uint8_t{0});
  if (dir.empty()) return;
  for (int i = 0; i < kEntriesPerDirectory; ++i) {
    const EntryRef e = Volume::entry_at(first_record, i);
    for (uint32_t b = 0; b < kNameLength; ++b) vol.set_field8(e, entry::kName + b, kNameEnd);
  }
  vol.set_field8(Volume::entry_at(first_record, 0), entry::kMode, kDirectoryNormal);
}

}  // namespace tarnwick
