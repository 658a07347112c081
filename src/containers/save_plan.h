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

namespace tarnwick {

inline constexpr uint64_t kSectorSize = 512;

// One stretch of the image file: where it starts and the bytes it gets.
// A fresh stretch lies wholly over records the volume did not use when it
// was loaded (they belong to no file of the old volume).
struct Stretch {
  uint64_t offset = 0;
  std::span<const uint8_t> bytes;
  bool fresh = false;
  uint64_t end() const { return offset + bytes.size(); }
};

// Bytes [offset, offset + length) of the image file.
struct FileSpan {
  uint64_t offset = 0;
  uint64_t length = 0;
};

// The stretches, without overlaps, and the spans of the file the save
// leaves as they are but whose bytes its journal binds (see journal.h).
// The stretches' bytes live in the volume or, where the container builds
// them (a D88 track with its sector headers), in `storage`, so a plan is
// not copied.
struct SavePlan {
  SavePlan() = default;
  SavePlan(const SavePlan&) = delete;
  SavePlan& operator=(const SavePlan&) = delete;
  std::vector<Stretch> stretches;
  std::vector<FileSpan> unchanged;
  std::vector<uint8_t> storage;
};

// True when every record of the volume's bytes [offset, offset + length)
// is marked in `unused` (VolumeUse::unused of the volume as loaded).
inline bool all_unused(const std::vector<bool>* unused, uint64_t offset, uint64_t length) {
  if (!unused || length == 0) return false;
  const uint64_t end = (offset + length + kRecordSize - 1) / kRecordSize;
  if (end > unused->size()) return false;
  for (uint64_t r = offset / kRecordSize; r < end; ++r) {
    if (!(*unused)[r]) return false;
  }
  return true;
}

// Sectors [offset, offset + length) of the file: written by a save, all of
// them fresh or none (a sector is fresh when every byte the stretches put
// into it comes from a fresh stretch), or, `unchanged`, left as they are.
// The last sector of the file may be short.
struct SectorRun {
  uint64_t offset = 0;
  uint64_t length = 0;
  bool fresh = false;
  bool unchanged = false;
};

// Sectors that follow each other and are written in file order: their runs
// and, once gathered, the new bytes of the sectors no one stretch holds
// whole (`edges`, in file order), which are completed with the bytes the
// file holds around the stretches. Every other sector is written straight
// from its stretch.
struct WriteUnit {
  uint64_t offset = 0;
  std::vector<SectorRun> runs;
  std::vector<uint8_t> edges;
  uint64_t end() const { return runs.empty() ? offset : runs.back().offset + runs.back().length; }
};

// The units a plan's stretches make in a file of `file_size` bytes, in file
// order. Nothing when a stretch lies outside the file or stretches overlap.
std::optional<std::vector<WriteUnit>> sector_units(std::span<const Stretch> stretches, uint64_t file_size);

// The unchanged runs: the sectors the spans touch that no unit writes, in
// file order. Nothing when a span lies outside the file.
std::optional<std::vector<SectorRun>> unchanged_runs(std::span<const FileSpan> spans,
                                                     const std::vector<WriteUnit>& units, uint64_t file_size);

// The most bytes of a run handed on at a time: whole sectors.
inline constexpr uint64_t kPieceSize = 64 * 1024;
static_assert(kPieceSize % kSectorSize == 0);
// The pieces a run is handed on in.
inline uint64_t pieces_of(const SectorRun& run) { return (run.length + kPieceSize - 1) / kPieceSize; }

// Called with each piece of a run being gathered, in order: its sectors as
// the file holds them, then as the save leaves them (the same bytes for an
// unchanged run), in spans that follow each other in the file, each of
// whole sectors but for the file's last.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual bool piece(const SectorRun& piece, std::span<const uint8_t> old_bytes,
                     std::span<const std::span<const uint8_t>> new_bytes) = 0;
};

// Reads the runs of the units and the unchanged runs a piece at a time,
// handing each piece to `observer` (if any), and keeps each unit's edges.
// False when the file cannot be read or the observer refuses.
bool gather_units(File& image, std::span<const Stretch> stretches, std::vector<WriteUnit>& units,
                  std::span<const SectorRun> unchanged = {}, RunObserver* observer = nullptr);

// Writes every gathered unit, its sectors from their stretches or its edges,
// each sector inside one write. True when every byte was accepted (nothing
// is synced).
bool write_units(File& image, std::span<const Stretch> stretches, const std::vector<WriteUnit>& units);

}  // namespace tarnwick
