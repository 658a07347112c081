// Raw floppy images: the data of a floppy's sectors with no headers, 16
// sectors of 256 bytes per track in stored order, an even number of tracks
// (whole cylinders) from 70 (the 2D disks of the machines before the
// MZ-2500) to 164; 160 tracks make a 2DD disk of 655,360 bytes.
//
// Two orders are in use:
//   as on the disk   tracks in D88 order (cylinder x 2 + side), every byte
//                    inverted: a D88 file's sector data without its
//                    headers. Volume track t lies at (t XOR 1) x 4096.
//   as the volume    the volume's own bytes in volume order, not inverted.
// Nothing in the file tells them apart but the system record: an image is
// taken in the first order whose record 15 gives a volume that fits it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "containers/save_plan.h"
#include "host/file.h"
#include "volume/pager.h"

namespace tarnwick {

enum class RawOrder { kAsOnDisk, kAsVolume };

namespace raw {
inline constexpr uint32_t kTrackBytes = 4096;
inline constexpr uint64_t kMinTracks = 70;
inline constexpr uint64_t kMaxTracks = 164;
}  // namespace raw

// True when a raw image of `tracks` tracks is one the tool makes and reads.
inline bool is_raw_track_count(uint64_t tracks) {
  return tracks % 2 == 0 && tracks >= raw::kMinTracks && tracks <= raw::kMaxTracks;
}

// The order of a raw image of `size` bytes: the first, as on the disk
// before as the volume, in which record 15 gives a geometry that fits the
// file (reserved blocks below total blocks, total blocks x records per
// block from 24 to the records in the file) and that the tool can load.
// Nothing when the size is no raw image's or neither order fits.
std::optional<RawOrder> raw_image_order(File& image, uint64_t size);

// The pager over a raw image of `size` bytes in `order`: every track is a
// page of the volume. Nothing when the system record describes a volume
// the image cannot hold.
std::unique_ptr<Pager> load_raw_image(File& image, RawOrder order, uint64_t size, MemoryHint hint = {});

// Where volume byte `offset` lies in a raw image in `order`.
uint64_t raw_file_offset(RawOrder order, uint64_t offset);

// The plan of a raw image's save: each changed page back where it was
// read, in the order it was read (inverted for as on the disk). Fresh where
// `unused` marks all its records.
bool plan_raw_save(Pager& pager, RawOrder order, SavePlan& plan, const std::vector<bool>* unused = nullptr);

// The bytes of a raw image, as on the disk, of a volume of whole tracks
// (an even number of them): D88 track d is volume track d XOR 1, inverted.
std::vector<uint8_t> raw_image_bytes(std::span<const uint8_t> volume);

}  // namespace tarnwick
