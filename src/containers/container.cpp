#include "containers/container.h"

#include "containers/d88.h"
#include "containers/hdd_rom.h"

namespace tarnwick {

uint32_t D88Header::track_offset(int d88_track) const {
  if (d88_track < 0 || d88_track >= kTracks) return 0;
  const size_t at = kTrackTable + static_cast<size_t>(d88_track) * 4;
  return uint32_t{bytes[at]} | (uint32_t{bytes[at + 1]} << 8) | (uint32_t{bytes[at + 2]} << 16) |
         (uint32_t{bytes[at + 3]} << 24);
}

bool save_volume(File& image, const Volume& vol, const Container& where) {
  bool written = false;
  switch (where.kind) {
    case ContainerKind::kHdd: written = save_hdd_partition(image, vol, where.partition_offset); break;
    case ContainerKind::kRom: written = save_rom_image(image, vol); break;
    case ContainerKind::kD88: written = save_d88_image(image, vol, where.d88); break;
  }
  return written && image.sync();
}

}  // namespace tarnwick
