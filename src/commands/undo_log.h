// The bytes of the volume ranges a command is about to change, kept so that
// a command that fails can put them back. Only the touched ranges are kept
// (the system record, an entry, a file's records), never the whole volume.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "volume/volume.h"

namespace tarnwick {

class UndoLog {
 public:
  explicit UndoLog(Volume& vol) : vol_(vol) {}

  void save(uint64_t offset, uint64_t length) {
    const std::span<const uint8_t> b = vol_.bytes(offset, length);
    saved_.push_back(Saved{offset, std::vector<uint8_t>(b.begin(), b.end())});
  }
  void save_system_record() { save(Volume::kSystemOffset, kRecordSize); }
  void save_records(uint32_t first, uint32_t count) {
    save(uint64_t{first} * kRecordSize, uint64_t{count} * kRecordSize);
  }

  // Puts every saved range back, the latest first, so a range saved twice
  // ends with its oldest bytes.
  void restore() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      const std::span<uint8_t> to = vol_.writable_bytes(it->offset, it->bytes.size());
      std::copy(it->bytes.begin(), it->bytes.begin() + static_cast<std::ptrdiff_t>(to.size()), to.begin());
    }
    saved_.clear();
  }

 private:
  struct Saved {
    uint64_t offset;
    std::vector<uint8_t> bytes;
  };
  Volume& vol_;
  std::vector<Saved> saved_;
};

}  // namespace tarnwick
