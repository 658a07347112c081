// Volumes held in memory for tests: a pager over a copy of the bytes, seen
// as a Volume, and the saves that write a volume back without a journal.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "containers/container.h"
#include "host/file.h"
#include "volume/volume.h"

namespace tarnwick::testing {

using Bytes = std::vector<uint8_t>;

namespace detail {
// Holds the pager a MemoryVolume views, made before the view.
struct HeldPager {
  explicit HeldPager(Bytes bytes);
  std::unique_ptr<Pager> pager;
};
}  // namespace detail

class MemoryVolume : private detail::HeldPager, public Volume {
 public:
  explicit MemoryVolume(Bytes bytes) : HeldPager(std::move(bytes)), Volume(*pager) {}
  MemoryVolume(const MemoryVolume& other) : MemoryVolume(other.bytes()) {}
  MemoryVolume& operator=(const MemoryVolume& other);

  // Every byte as the volume holds it now.
  Bytes bytes() const;
  using Volume::bytes;
  Pager& pages() { return *pager; }
};

// The used entry a path names, if any.
std::optional<EntryRef> find_entry(const Volume& vol, std::string_view path);

// Writes the pager's changed pages back where `container` loaded them from,
// in whole sectors, and syncs the file: a save without a journal.
bool save_unjournaled(File& image, Pager& pager, const Container& container);

}  // namespace tarnwick::testing
