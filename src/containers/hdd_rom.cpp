#include "containers/hdd_rom.h"

#include <cstring>
#include <new>

namespace tarnwick {

bool check_hdd_signature(File& image) {
  uint8_t head[kRecordSize];
  if (image.read_at(0, head, sizeof head) != sizeof head) return false;
  return std::memcmp(head, kHddSignature, kHddSignatureLength) == 0;
}

namespace {

// Reads the system record at `base` + 0xF00, then the whole volume from
// `base` in one read. `limit` bounds the volume's end (partition 1 must not
// reach into partition 2).
bool load_volume_at(File& image, uint64_t base, uint64_t limit, Volume& vol) {
  vol = Volume();
  uint8_t system[kRecordSize];
  if (image.read_at(base + Volume::kSystemOffset, system, sizeof system) != sizeof system) return false;
  const Geometry g = geometry_from_system_record(system);
  const uint64_t size = uint64_t(g.total_blocks) * uint64_t(g.bytes_per_block);
  if (size == 0 || size > limit) return false;
  if (!geometry_is_sound(g, size / kRecordSize)) return false;

  std::vector<uint8_t> bytes;
  try {
    bytes.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (image.read_at(base, bytes.data(), bytes.size()) != bytes.size()) return false;
  vol = Volume(std::move(bytes));
  return true;
}

bool save_volume_at(File& image, uint64_t base, const Volume& vol) {
  return image.write_at(base, vol.image().data(), vol.size()) == vol.size();
}

}  // namespace

bool load_hdd_partition(File& image, int partition_index, Volume& vol, Container& container) {
  container.kind = ContainerKind::kHdd;
  container.partition_offset = partition_index == 0 ? kPartition1Offset : kPartition2Offset;
  // Partition 1 must end where partition 2 begins, or its save would
  // overwrite partition 2.
  const uint64_t limit = partition_index == 0 ? uint64_t{kPartition2Offset - kPartition1Offset} : UINT64_MAX;
  return load_volume_at(image, container.partition_offset, limit, vol);
}

bool save_hdd_partition(File& image, const Volume& vol, uint32_t partition_offset) {
  return save_volume_at(image, partition_offset, vol);
}

bool load_rom_image(File& image, Volume& vol) { return load_volume_at(image, 0, UINT64_MAX, vol); }

bool save_rom_image(File& image, const Volume& vol) { return save_volume_at(image, 0, vol); }

}  // namespace tarnwick
