#include "volume/blank.h"

#include <algorithm>

#include "volume/coding.h"

namespace tarnwick {

std::vector<uint8_t> blank_volume(const BlankLayout& layout) {
  const uint32_t records = uint32_t{layout.total_blocks} * layout.records_per_block;
  if (records < kMinimumRecords) return {};
  std::vector<uint8_t> vol(size_t{records} * kRecordSize, 0xFF);
  const std::span<uint8_t> record = std::span(vol).subspan(kSystemRecord * kRecordSize, kRecordSize);
  std::fill(record.begin(), record.end(), uint8_t{0});
  uint8_t* system = record.data();
  system[sys::kVolumeNumber] = 1;
  system[sys::kReservedBlocks] = layout.reserved_blocks;
  store16(system + sys::kUsedBlocks, layout.reserved_blocks);
  store16(system + sys::kTotalBlocks, layout.total_blocks);
  system[sys::kRecordsPerBlockMinusOne] = static_cast<uint8_t>(layout.records_per_block - 1);
  write_blank_directory(std::span(vol).subspan(kRootDirectoryRecord * kRecordSize, kDirectorySize));
  return vol;
}

void write_blank_directory(std::span<uint8_t> dir) {
  if (dir.size() != kDirectorySize) return;
  std::fill(dir.begin(), dir.end(), uint8_t{0});
  for (uint32_t e = 0; e < static_cast<uint32_t>(kEntriesPerDirectory); ++e) {
    std::fill_n(dir.begin() + e * kEntrySize + entry::kName, kNameLength, kNameEnd);
  }
  dir[0] = kDirectoryNormal;
}

}  // namespace tarnwick
