#include "containers/hdd_rom.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "volume/volume.h"

namespace tarnwick {

bool check_hdd_signature(File& image) {
  uint8_t head[kRecordSize];
  if (image.read_at(0, head, sizeof head) != sizeof head) return false;
  return std::memcmp(head, kHddSignature, kHddSignatureLength) == 0;
}

namespace {

// A volume's pages straight from the image file, `base` bytes in.
class FilePages final : public PageSource {
 public:
  FilePages(File& file, uint64_t base) : file_(file), base_(base) {}
  bool fill(uint64_t offset, std::span<uint8_t> out) override {
    const size_t got = file_.read_at(base_ + offset, out.data(), out.size());
    if (got >= out.size()) return true;
    std::fill(out.begin() + static_cast<long>(got), out.end(), 0);
    return false;
  }

 private:
  File& file_;
  uint64_t base_;
};

// The size of the volume whose system record is at `base` + 0xF00, when
// the record describes a sound volume of at most `limit` bytes.
std::optional<uint64_t> volume_size_at(File& image, uint64_t base, uint64_t limit) {
  uint8_t system[kRecordSize];
  if (image.read_at(base + kSystemRecord * kRecordSize, system, sizeof system) != sizeof system) return std::nullopt;
  const Geometry g = geometry_from_system_record(system);
  const uint64_t size = uint64_t(g.total_blocks) * uint64_t(g.bytes_per_block);
  if (size == 0 || size > limit || !geometry_is_sound(g, size / kRecordSize)) return std::nullopt;
  return size;
}

// Reads the system record at `base` + 0xF00 and sets up the pager over the
// volume from `base` on. `limit` bounds the volume's end (partition 1 must
// not reach into partition 2). The file must hold the whole volume.
std::unique_ptr<Pager> load_volume_at(File& image, uint64_t base, uint64_t limit, MemoryHint hint) {
  const std::optional<uint64_t> found = volume_size_at(image, base, limit);
  if (!found) return nullptr;
  const uint64_t size = *found;
  // The file must hold the whole volume: its last byte is read to see.
  uint8_t last = 0;
  if (image.read_at(base + size - 1, &last, 1) != 1) return nullptr;
  try {
    return std::make_unique<Pager>(static_cast<size_t>(size), std::make_unique<FilePages>(image, base),
                                   std::move(hint));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

std::unique_ptr<PageSource> file_pages(File& image, uint64_t base) {
  return std::make_unique<FilePages>(image, base);
}

bool plan_volume_save(Pager& pager, uint64_t base, SavePlan& plan, const std::vector<bool>* unused) {
  for (const Pager::Run& run : pager.changed_runs()) {
    const std::span<const uint8_t> bytes(pager.readable(run.offset, run.length), static_cast<size_t>(run.length));
    // A run splits where its pages go from fresh to not.
    for (uint64_t at = 0; at < run.length;) {
      const bool fresh = all_unused(unused, run.offset + at, std::min<uint64_t>(Pager::kPageSize, run.length - at));
      uint64_t end = at;
      while (end < run.length) {
        const uint64_t n = std::min<uint64_t>(Pager::kPageSize, run.length - end);
        if (all_unused(unused, run.offset + end, n) != fresh) break;
        end += n;
      }
      plan.stretches.push_back({base + run.offset + at, bytes.subspan(at, end - at), fresh});
      at = end;
    }
  }
  return true;
}

std::unique_ptr<Pager> load_hdd_partition(File& image, int partition_index, Container& container, MemoryHint hint) {
  container.kind = ContainerKind::kHdd;
  container.partition_offset = partition_index == 0 ? kPartition1Offset : kPartition2Offset;
  // Partition 1 must end where partition 2 begins, or its save would
  // overwrite partition 2.
  const uint64_t limit = partition_index == 0 ? uint64_t{kPartition2Offset - kPartition1Offset} : UINT64_MAX;
  return load_volume_at(image, container.partition_offset, limit, std::move(hint));
}

std::unique_ptr<Pager> load_rom_image(File& image, MemoryHint hint) {
  return load_volume_at(image, 0, UINT64_MAX, std::move(hint));
}

bool reads_as_rom_image(File& image, uint64_t size) {
  return size != 0 && size % kRecordSize == 0 && volume_size_at(image, 0, size);
}

}  // namespace tarnwick
