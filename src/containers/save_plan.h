// What a save writes: stretches of the image file and their new bytes.
//
// A container turns a changed volume into a plan before any byte of the
// image changes, so that the old bytes of exactly those stretches can be put
// aside first (containers/journal.h).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "host/file.h"
#include "volume/format.h"

namespace tarnwick {

// One stretch of the image file: where it starts and the bytes it gets.
// A fresh stretch lies wholly over records the volume did not use when it
// was loaded: what it held is still put aside, but its new bytes are not
// (they belong to no file of the old volume, and may be any bytes after an
// interrupted save).
struct Stretch {
  uint64_t offset = 0;
  std::span<const uint8_t> bytes;
  bool fresh = false;
};

// The stretches in the order they are written, without overlaps. Their
// bytes live in the volume or, where the container builds them (a D88
// track with its sector headers), in `storage`, so a plan is not copied.
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

// Writes every stretch in place, each with one write. True when every byte
// was accepted (nothing is synced).
inline bool write_plan(File& image, const SavePlan& plan) {
  for (const Stretch& s : plan.stretches) {
    if (image.write_at(s.offset, s.bytes.data(), s.bytes.size()) != s.bytes.size()) return false;
  }
  return true;
}

}  // namespace tarnwick
