#include "volume/volume.h"

namespace tarnwick {

Geometry geometry_from_system_record(std::span<const uint8_t> record) {
  Geometry g;
  if (record.size() < kRecordSize) return g;
  g.records_per_block = record[sys::kRecordsPerBlockMinusOne] + 1;
  g.bytes_per_block = g.records_per_block * static_cast<int32_t>(kRecordSize);
  g.reserved_blocks = record[sys::kReservedBlocks];
  g.reserved_records = g.reserved_blocks * g.records_per_block;
  g.used_blocks = record[sys::kUsedBlocks] | (record[sys::kUsedBlocks + 1] << 8);
  g.total_blocks = record[sys::kTotalBlocks] | (record[sys::kTotalBlocks + 1] << 8);
  return g;
}

bool geometry_is_sound(const Geometry& g, uint64_t image_records) {
  if (g.records_per_block < 1 || g.total_blocks < 1) return false;
  if (g.reserved_blocks > g.total_blocks) return false;
  if (static_cast<uint32_t>(g.total_blocks - g.reserved_blocks) > kMaxDataBlocks) return false;
  const uint64_t records = uint64_t(g.total_blocks) * uint64_t(g.records_per_block);
  if (records < kMinimumRecords || records > kMaxRecords) return false;
  return records <= image_records;
}

const char* mode_label(uint8_t m) {
  switch (m) {
    case mode::kObj: return "OBJ";
    case mode::kBtx: return "BTX";
    case mode::kBsd: return "BSD";
    case mode::kBrd: return "BRD";
    case mode::kRb: return "RB ";
    case mode::kLib: return "LIB";
    case mode::kSys: return "SYS";
    case mode::kGr: return "GR ";
    case mode::kDir: return "DIR";
    default: return "???";
  }
}

}  // namespace tarnwick
