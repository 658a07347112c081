// What a save writes: stretches of the image file and their new bytes, and
// how they go out in whole sectors.
//
// A container turns a changed volume into a plan before any byte of the
// image changes, so that the old bytes of exactly those stretches can be put
// aside first (containers/journal.h).
//
// The image file is written in whole 512-byte sectors aligned on the file,
// every sector inside one write call: a process killed or a power cut
// between two calls leaves each sector wholly old or wholly new, which is
// what lets the journal tell an image its save left from any other. The
// volume's records do not lie on sector boundaries in every container (an
// HDD partition starts 256 bytes into a sector, a D88 track 176 bytes), so
// a sector a stretch touches is completed with the bytes the file holds
// around it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "host/file.h"
#include "volume/format.h"
#include "volume/pager.h"

namespace tarnwick {

inline constexpr uint64_t kSectorSize = 512;

// One stretch of the image file: where it starts and the bytes it gets.
// A fresh stretch lies wholly over records the volume did not use when it
// was loaded (they belong to no file of the old volume).
struct Stretch {
  uint64_t offset = 0;
  std::span<const uint8_t> bytes;
  bool fresh = false;
};

// The stretches, without overlaps. Their bytes live in the volume or,
// where the container builds them (a D88 track with its sector headers),
// in `storage`, so a plan is not copied.
struct SavePlan {
  SavePlan() = default;
  SavePlan(const SavePlan&) = delete;
  SavePlan& operator=(const SavePlan&) = delete;
  std::vector<Stretch> stretches;
  std::vector<uint8_t> storage;
};

// True when every record of the volume's bytes [offset, offset + length)
// is marked in `unused` (unused_records of the volume as loaded).
inline bool all_unused(const std::vector<bool>* unused, uint64_t offset, uint64_t length) {
  if (!unused || length == 0) return false;
  const uint64_t end = (offset + length + kRecordSize - 1) / kRecordSize;
  if (end > unused->size()) return false;
  for (uint64_t r = offset / kRecordSize; r < end; ++r) {
    if (!(*unused)[r]) return false;
  }
  return true;
}

// Sectors [offset, offset + length) of the file that a save writes, all of
// them fresh or none: a sector is fresh when every byte the stretches put
// into it comes from a fresh stretch. The last sector of the file may be
// short.
struct SectorRun {
  uint64_t offset = 0;
  uint64_t length = 0;
  bool fresh = false;
};

// Sectors that follow each other, written with one call: their runs and,
// once gathered, their new bytes.
struct WriteUnit {
  uint64_t offset = 0;
  std::vector<SectorRun> runs;
  std::vector<uint8_t> bytes;
  uint64_t end() const { return runs.empty() ? offset : runs.back().offset + runs.back().length; }
};

// The units a plan's stretches make in a file of `file_size` bytes, in file
// order. Nothing when a stretch lies outside the file or stretches overlap.
std::optional<std::vector<WriteUnit>> sector_units(std::span<const Stretch> stretches, uint64_t file_size);

// Called with each run of a unit being gathered: its bytes as the file
// holds them, then the same bytes with the stretches laid over them.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual bool old_bytes(const SectorRun& run, std::span<const uint8_t> bytes) = 0;
  virtual bool new_bytes(const SectorRun& run, std::span<const uint8_t> bytes) = 0;
};

// Fills each unit's bytes: the file's sectors with the stretches laid over
// them, handing every run to `observer` (if any) on the way. False when
// the file cannot be read or the observer refuses.
bool gather_units(File& image, std::span<const Stretch> stretches, std::vector<WriteUnit>& units,
                  RunObserver* observer = nullptr, const MemoryHint& hint = {});

// Writes every unit with one call. True when every byte was accepted
// (nothing is synced).
bool write_units(File& image, const std::vector<WriteUnit>& units);


}  // namespace tarnwick
