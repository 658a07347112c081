#include "containers/save_plan.h"

#include <algorithm>


namespace tarnwick {

namespace {

// The stretches that hold bytes, in file order.
std::vector<const Stretch*> in_file_order(std::span<const Stretch> stretches) {
  std::vector<const Stretch*> sorted;
  for (const Stretch& s : stretches) {
    if (!s.bytes.empty()) sorted.push_back(&s);
  }
  std::sort(sorted.begin(), sorted.end(), [](const Stretch* a, const Stretch* b) { return a->offset < b->offset; });
  return sorted;
}

// Adds sector `sector` to the units, fresh or not; a sector met again (two
// stretches meet inside it) is fresh only if both say so.
void add_sector(std::vector<WriteUnit>& units, uint64_t sector, bool fresh, uint64_t file_size) {
  const uint64_t at = sector * kSectorSize;
  const uint64_t length = std::min(kSectorSize, file_size - at);
  if (!units.empty() && !units.back().runs.empty()) {
    WriteUnit& unit = units.back();
    SectorRun& run = unit.runs.back();
    if (unit.end() > at) {  // the last sector again
      if (run.fresh && !fresh) {
        run.length -= length;
        if (run.length == 0) unit.runs.pop_back();
        unit.runs.push_back({at, length, false});
      }
      return;
    }
    if (unit.end() == at) {
      if (run.fresh == fresh) {
        run.length += length;
      } else {
        unit.runs.push_back({at, length, fresh});
      }
      return;
    }
  }
  units.push_back(WriteUnit{at, {{at, length, fresh}}, {}});
}

}  // namespace

std::optional<std::vector<WriteUnit>> sector_units(std::span<const Stretch> stretches, uint64_t file_size) {
  std::vector<WriteUnit> units;
  uint64_t covered = 0;  // every byte before it belongs to a stretch already placed
  for (const Stretch* s : in_file_order(stretches)) {
    if (s->offset > file_size || s->bytes.size() > file_size - s->offset || s->offset < covered) return std::nullopt;
    covered = s->offset + s->bytes.size();
    for (uint64_t sector = s->offset / kSectorSize; sector * kSectorSize < covered; ++sector) {
      add_sector(units, sector, s->fresh, file_size);
    }
  }
  return units;
}

bool gather_units(File& image, std::span<const Stretch> stretches, std::vector<WriteUnit>& units,
                  RunObserver* observer, const MemoryHint& hint) {
  const std::vector<const Stretch*> sorted = in_file_order(stretches);
  size_t first = 0;  // the first stretch that may still reach the current run
  for (WriteUnit& unit : units) {
    const uint64_t length = unit.end() - unit.offset;
    unit.bytes.reserve(static_cast<size_t>(length));
    if (hint) hint(unit.bytes.data(), static_cast<size_t>(length));
    unit.bytes.resize(static_cast<size_t>(length));
    if (image.read_at(unit.offset, unit.bytes.data(), unit.bytes.size()) != unit.bytes.size()) return false;
    for (const SectorRun& run : unit.runs) {
      const std::span<uint8_t> bytes(unit.bytes.data() + (run.offset - unit.offset), static_cast<size_t>(run.length));
      if (observer && !observer->old_bytes(run, bytes)) return false;
      const uint64_t run_end = run.offset + run.length;
      while (first < sorted.size() && sorted[first]->offset + sorted[first]->bytes.size() <= run.offset) ++first;
      for (size_t k = first; k < sorted.size() && sorted[k]->offset < run_end; ++k) {
        const Stretch& s = *sorted[k];
        const uint64_t from = std::max(s.offset, run.offset);
        const uint64_t to = std::min(s.offset + s.bytes.size(), run_end);
        std::copy_n(s.bytes.begin() + static_cast<std::ptrdiff_t>(from - s.offset), to - from,
                    bytes.begin() + static_cast<std::ptrdiff_t>(from - run.offset));
      }
      if (observer && !observer->new_bytes(run, bytes)) return false;
    }
  }
  return true;
}

bool write_units(File& image, const std::vector<WriteUnit>& units) {
  for (const WriteUnit& unit : units) {
    if (image.write_at(unit.offset, unit.bytes.data(), unit.bytes.size()) != unit.bytes.size()) return false;
  }
  return true;
}

}  // namespace tarnwick
