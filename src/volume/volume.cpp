#include "volume/volume.h"


namespace tarnwick {

Geometry geometry_from_system_record(std::span<const uint8_t> record) {
  Geometry g;
  if (record.size() < kRecordSize) return g;
  g.records_per_block = record[sys::kRecordsPerBlockMinusOne] + 1;
  g.bytes_per_block = g.records_per_block * static_cast<int32_t>(kRecordSize);
  g.reserved_blocks = record[sys::kReservedBlocks];
  g.reserved_records = g.reserved_blocks * g.records_per_block;
  g.used_blocks = load16(record.data() + sys::kUsedBlocks);
  g.total_blocks = load16(record.data() + sys::kTotalBlocks);
  return g;
}

bool geometry_fits(const Geometry& g, uint64_t image_records) {
  if (g.reserved_blocks > g.total_blocks) return false;
  if (static_cast<uint32_t>(g.total_blocks - g.reserved_blocks) > kMaxDataBlocks) return false;
  return uint64_t(g.total_blocks) * uint64_t(g.records_per_block) <= image_records;
}

bool geometry_is_sound(const Geometry& g, uint64_t image_records) {
  if (g.records_per_block < 1 || g.total_blocks < 1) return false;
  const uint64_t records = uint64_t(g.total_blocks) * uint64_t(g.records_per_block);
  if (records < kMinimumRecords || records > kMaxRecords) return false;
  return geometry_fits(g, image_records);
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
