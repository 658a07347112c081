#include "support/volume_audit.h"

#include <algorithm>
#include <memory>

#include "operations/check.h"
#include "containers/container.h"
#include "support/memory_host.h"

namespace tarnwick::testing {

std::optional<MemoryVolume> load_image_volume(const Bytes& image, const std::string& image_name,
                                              int partition_index) {
  MemoryHost host;
  host.files[image_name] = image;
  const std::unique_ptr<File> f = host.open(HostPath::from_argument(image_name), OpenMode::kUpdate, nullptr);
  Report quiet;
  Container container;
  if (!identify_container(*f, image_name, quiet, container)) return std::nullopt;
  const std::unique_ptr<Pager> pager = load_container(*f, image_name, partition_index, quiet, container);
  if (!pager) return std::nullopt;
  Bytes bytes(pager->size());
  if (!pager->read(0, bytes)) return std::nullopt;
  return MemoryVolume(std::move(bytes));
}

std::vector<bool> bitmap_bits(const Volume& vol) {
  const int32_t data_blocks = vol.sys16(sys::kTotalBlocks) - vol.sys8(sys::kReservedBlocks);
  std::vector<bool> bits(static_cast<size_t>(std::max(data_blocks, 0)));
  for (size_t i = 0; i < bits.size(); ++i) {
    bits[i] = vol.sys8(sys::kBitmap + static_cast<uint32_t>(i / 8)) & (1u << (i % 8));
  }
  return bits;
}

std::optional<std::vector<bool>> claimed_blocks(Volume& vol) {
  if (!sanity_check(vol).lines.empty()) return std::nullopt;
  Report quiet;

  // The check's walk again, keeping its table of claimed records.
  const Geometry g = vol.geometry();
  const uint32_t rpb = static_cast<uint32_t>(g.records_per_block);
  CheckState st{vol, quiet, g.records_per_block, {}};
  std::vector<uint8_t>& table = st.sanity_check_record_status;
  table.assign(size_t(g.total_blocks) * rpb, 0);
  for (uint32_t r = 0; r < static_cast<uint32_t>(g.reserved_records); ++r) table[r] = 1;
  for (uint32_t r = kRootDirectoryRecord; r < kRootDirectoryRecord + kDirectoryRecords && r < table.size(); ++r) {
    table[r] = 1;
  }
  if (!check_directory(st, kRootDirectoryRecord, std::nullopt, "")) return std::nullopt;

  std::vector<bool> claimed(static_cast<size_t>(g.total_blocks - g.reserved_blocks));
  for (uint32_t r = static_cast<uint32_t>(g.reserved_records); r < table.size(); ++r) {
    if (table[r] != 0) claimed[r / rpb - static_cast<uint32_t>(g.reserved_blocks)] = true;
  }
  return claimed;
}

bool volume_is_sound(Volume& vol) {
  const std::optional<std::vector<bool>> claimed = claimed_blocks(vol);
  if (!claimed) return false;
  const std::vector<bool> bits = bitmap_bits(vol);
  for (size_t i = 0; i < claimed->size(); ++i) {
    if ((*claimed)[i] && !bits[i]) return false;
  }
  return true;
}

bool sound_volume_moved_in_step(Volume& before, Volume& after) {
  const std::optional<std::vector<bool>> claimed_before = claimed_blocks(before);
  const std::optional<std::vector<bool>> claimed_after = claimed_blocks(after);
  if (!claimed_before || !claimed_after || claimed_before->size() != claimed_after->size()) return false;
  const std::vector<bool> bits_before = bitmap_bits(before);
  const std::vector<bool> bits_after = bitmap_bits(after);
  for (size_t i = 0; i < claimed_after->size(); ++i) {
    const int bitmap_moved = int{bits_after[i]} - int{bits_before[i]};
    const int claims_moved = int{(*claimed_after)[i]} - int{(*claimed_before)[i]};
    if (bitmap_moved != claims_moved) return false;
  }
  return true;
}

}  // namespace tarnwick::testing
