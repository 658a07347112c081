// What a save writes: stretches of the image file and their new bytes.
//
// A container turns a changed volume into a plan before any byte of the
// image changes, so that the old bytes of exactly those stretches can be put
// aside first (containers/journal.h).
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "host/file.h"
#include "host/memory.h"
#include "volume/format.h"
#include "volume/volume.h"

namespace tarnwick {

// One stretch of the image file: where it starts and the bytes it gets.
// A fresh stretch lies wholly over records the volume did not use when it
// was loaded: what it held is still put aside, but its new bytes are not
// (they belong to no file of the old volume, and may be any bytes after an
// interrupted save).
// Its bytes are in memory, or, where the volume deferred them, `length`
// bytes of `source` from `from` on.
struct Stretch {
  uint64_t offset = 0;
  std::span<const uint8_t> bytes;
  bool fresh = false;
  PageSource* source = nullptr;
  uint64_t from = 0;
  uint64_t length = 0;

  uint64_t size() const { return source ? length : bytes.size(); }
  // Copies n of its bytes, from its byte `done` on, to `out`.
  bool read(uint64_t done, uint8_t* out, size_t n) const {
    if (source) return source->fill(from + done, {out, n});
    if (done > bytes.size() || n > bytes.size() - done) return false;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(done), n, out);
    return true;
  }
};

// The stretches in the order they are written, without overlaps. Their
// bytes live in the volume or its deferred sources or, where the container
// builds them (a D88 track with its sector headers), in `storage`, so a
// plan is not copied.
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

// Bytes copied at a time from a deferred source.
inline constexpr size_t kCopyChunk = 256 * 1024;

// Writes a stretch in place: one write from memory, or its source copied
// through `chunk` (made the first time it is needed). True when every byte
// was read and accepted (nothing is synced).
inline bool write_stretch(File& image, const Stretch& s, std::vector<uint8_t>& chunk) {
  if (!s.source) return image.write_at(s.offset, s.bytes.data(), s.bytes.size()) == s.bytes.size();
  if (chunk.empty()) platform::resize_buffer(chunk, kCopyChunk);
  for (uint64_t done = 0; done < s.length;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), s.length - done));
    if (!s.read(done, chunk.data(), n) || image.write_at(s.offset + done, chunk.data(), n) != n) return false;
    done += n;
  }
  return true;
}

// Writes every stretch in place. True when every byte was accepted
// (nothing is synced).
inline bool write_plan(File& image, const SavePlan& plan) {
  std::vector<uint8_t> chunk;
  for (const Stretch& s : plan.stretches) {
    if (!write_stretch(image, s, chunk)) return false;
  }
  return true;
}

}  // namespace tarnwick
