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

namespace tarnwick {

// One stretch of the image file: where it starts and the bytes it gets.
struct Stretch {
  uint64_t offset = 0;
  std::span<const uint8_t> bytes;
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

// Writes every stretch in place, each with one write. True when every byte
// was accepted (nothing is synced).
inline bool write_plan(File& image, const SavePlan& plan) {
  for (const Stretch& s : plan.stretches) {
    if (image.write_at(s.offset, s.bytes.data(), s.bytes.size()) != s.bytes.size()) return false;
  }
  return true;
}

}  // namespace tarnwick
