#include "containers/raw.h"

#include <algorithm>
#include <new>

#include "containers/d88.h"
#include "containers/hdd_rom.h"
#include "volume/format.h"
#include "volume/volume.h"

namespace tarnwick {

namespace {

using raw::kTrackBytes;
// A page of the volume is one track: the save writes whole changed pages.
static_assert(kTrackBytes == Pager::kPageSize);

// Where volume byte `offset` lies in a raw image as on the disk.
uint64_t on_disk_offset(uint64_t offset) {
  const uint64_t t = offset / kTrackBytes;
  return static_cast<uint64_t>(d88::d88_track_of(static_cast<int>(t))) * kTrackBytes + offset % kTrackBytes;
}

// A raw image's pages as on the disk: page t from D88 track t XOR 1,
// inverted back.
class InvertedTrackPages final : public PageSource {
 public:
  explicit InvertedTrackPages(File& file) : file_(file) {}
  bool fill(uint64_t offset, std::span<uint8_t> out) override {
    bool all = offset % kTrackBytes == 0 && out.size() % kTrackBytes == 0;
    for (size_t done = 0; all && done < out.size(); done += kTrackBytes) {
      uint8_t* page = out.data() + done;
      all = file_.read_at(on_disk_offset(offset + done), page, kTrackBytes) == kTrackBytes;
      if (all) d88::copy_inverted(page, page, kTrackBytes);
    }
    if (!all) std::fill(out.begin(), out.end(), 0);
    return all;
  }

 private:
  File& file_;
};

// Whether record 15 in the order given describes a volume a raw image of
// `records` records holds.
bool fits(const Geometry& g, uint64_t records) {
  const uint64_t volume_records = uint64_t(g.total_blocks) * uint64_t(g.records_per_block);
  return g.reserved_blocks < g.total_blocks && volume_records >= kMinimumRecords && volume_records <= records &&
         geometry_is_sound(g, records);
}

}  // namespace

std::optional<RawOrder> raw_image_order(File& image, uint64_t size) {
  if (size % kTrackBytes != 0 || !is_raw_track_count(size / kTrackBytes)) return std::nullopt;
  const uint64_t system = uint64_t{kSystemRecord} * kRecordSize;
  for (const RawOrder order : {RawOrder::kAsOnDisk, RawOrder::kAsVolume}) {
    const bool on_disk = order == RawOrder::kAsOnDisk;
    uint8_t record[kRecordSize];
    if (image.read_at(on_disk ? on_disk_offset(system) : system, record, sizeof record) != sizeof record) break;
    if (on_disk) d88::copy_inverted(record, record, sizeof record);
    if (fits(geometry_from_system_record(record), size / kRecordSize)) return order;
  }
  return std::nullopt;
}

std::unique_ptr<Pager> load_raw_image(File& image, RawOrder order, uint64_t size, MemoryHint hint) {
  if (size % kTrackBytes != 0 || !is_raw_track_count(size / kTrackBytes)) return nullptr;
  std::unique_ptr<PageSource> source;
  if (order == RawOrder::kAsOnDisk) {
    source = std::make_unique<InvertedTrackPages>(image);
  } else {
    source = file_pages(image, 0);
  }
  std::unique_ptr<Pager> pager;
  try {
    pager = std::make_unique<Pager>(static_cast<size_t>(size), std::move(source), std::move(hint));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  const Volume vol(*pager);
  if (!fits(vol.geometry(), vol.record_count()) || pager->read_failed()) return nullptr;
  return pager;
}

uint64_t raw_file_offset(RawOrder order, uint64_t offset) {
  return order == RawOrder::kAsOnDisk ? on_disk_offset(offset) : offset;
}

bool plan_raw_save(Pager& pager, RawOrder order, SavePlan& plan, const std::vector<bool>* unused) {
  if (order == RawOrder::kAsVolume) return plan_volume_save(pager, 0, plan, unused);
  std::vector<uint64_t> changed;
  for (const Pager::Run& run : pager.changed_runs()) {
    for (uint64_t at = run.offset; at < run.offset + run.length; at += kTrackBytes) changed.push_back(at);
  }
  plan.storage.resize(changed.size() * kTrackBytes);
  for (size_t i = 0; i < changed.size(); ++i) {
    uint8_t* track = plan.storage.data() + i * kTrackBytes;
    d88::copy_inverted(pager.readable(changed[i], kTrackBytes), track, kTrackBytes);
    plan.stretches.push_back({on_disk_offset(changed[i]), std::span<const uint8_t>(track, kTrackBytes),
                              all_unused(unused, changed[i], kTrackBytes)});
  }
  return true;
}

std::vector<uint8_t> raw_image_bytes(std::span<const uint8_t> volume) {
  // Tracks pair up on a cylinder: a lone last track has no place.
  if (volume.size() % (2 * kTrackBytes) != 0) return {};
  std::vector<uint8_t> out(volume.size());
  for (uint64_t at = 0; at < out.size(); at += kTrackBytes) {
    d88::copy_inverted(volume.data() + at, out.data() + on_disk_offset(at), kTrackBytes);
  }
  return out;
}

}  // namespace tarnwick
