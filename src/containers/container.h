// The image file around a volume, and how to write the volume back into it.
#pragma once

#include <array>
#include <cstdint>

#include "host/file.h"
#include "volume/volume.h"

namespace tarnwick {

enum class ContainerKind { kHdd, kRom, kD88 };

// The first 688 bytes of a D88 image: 32 header bytes and 164 track offsets.
struct D88Header {
  static constexpr size_t kSize = 688;
  static constexpr int kTracks = 164;
  static constexpr uint32_t kWriteProtect = 0x1A;
  static constexpr uint32_t kDiskType = 0x1B;
  static constexpr uint32_t kDiskSize = 0x1C;  // 4 bytes LE: the whole file
  static constexpr uint32_t kTrackTable = 0x20;
  std::array<uint8_t, kSize> bytes{};

  uint32_t track_offset(int d88_track) const;
};

// Where the loaded volume came from: all the save routine needs.
struct Container {
  ContainerKind kind = ContainerKind::kHdd;
  uint32_t partition_offset = 0;  // HDD images
  D88Header d88;                  // D88 images
};

// Writes the volume back where it was loaded from (the container's save
// routine) and syncs the file to the disk. True only when every byte was
// written and the sync succeeded.
bool save_volume(File& image, const Volume& vol, const Container& where);

}  // namespace tarnwick
