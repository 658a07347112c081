// D88 floppy-disk images.
//
// A D88 image holds a 688-byte header (disk type at 0x1B, 164 track offsets
// from 0x20) and tracks of sectors, each sector a 16-byte header and its
// data. The volume takes 16 sectors of 256 bytes per track, in stored order,
// every byte inverted; volume track t is D88 track t XOR 1 (D88 numbers a
// track cylinder x 2 + side, and the volume takes side 1 before side 0).
//
// Sector header:
//   OFFSET SIZE FIELD
//        0    1 C, cylinder (ignored)
//        1    1 H, head (ignored)
//        2    1 R, sector number (only printed; never orders sectors)
//        3    1 N, size code: must be 1 (256 bytes)
//        4    2 sectors in the track (first sector of a track only)
//        6    1 density: must be 0 (double)
//        7    7 deleted mark, status, reserved (ignored)
//       14    2 data size: must be 256
//
// Only the first 16 stored sectors of a track are used. Once the check has
// passed they lie back to back, 272 bytes each, so the data of stored
// sector j is at track offset + 272 j + 16. A track with more sectors keeps
// the rest untouched.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "containers/file_window.h"
#include "containers/save_plan.h"
#include "host/file.h"
#include "output/report.h"
#include "volume/coding.h"
#include "volume/pager.h"

namespace tarnwick {

namespace d88 {
inline constexpr uint32_t kSectorHeaderSize = 16;
inline constexpr uint32_t kSectorDataSize = 256;
inline constexpr uint32_t kSectorSpan = kSectorHeaderSize + kSectorDataSize;  // 272
inline constexpr int kSectorsUsed = 16;                                       // one per record
inline constexpr uint32_t kTrackSpan = kSectorSpan * kSectorsUsed;            // 4352 in the file
inline constexpr uint32_t kTrackBytes = kSectorDataSize * kSectorsUsed;       // 4096 of volume

// Sector header fields.
inline constexpr uint32_t kC = 0;
inline constexpr uint32_t kH = 1;
inline constexpr uint32_t kR = 2;
inline constexpr uint32_t kN = 3;
inline constexpr uint32_t kSectorCount = 4;  // 2 bytes LE
inline constexpr uint32_t kDensity = 6;
inline constexpr uint32_t kDataSize = 14;    // 2 bytes LE

inline constexpr uint8_t kSizeCode256 = 1;
inline constexpr uint8_t kDoubleDensity = 0;
inline constexpr uint8_t kDiskType2D = 0x00;
inline constexpr uint8_t kDiskType2DD = 0x10;

// Volume track t lives on D88 track t XOR 1 (and the other way round).
inline constexpr int d88_track_of(int volume_track) { return volume_track ^ 1; }

// Copies n bytes with every byte inverted, eight at a time (a byte loop
// took a fifth of a listing's time on a 2DD disk).
void copy_inverted(const uint8_t* from, uint8_t* to, size_t n = kSectorDataSize);
}  // namespace d88

// The first 688 bytes of a D88 image: 32 header bytes and 164 track offsets.
struct D88Header {
  static constexpr size_t kSize = 688;
  static constexpr int kTracks = 164;
  static constexpr uint32_t kName = 0;  // 17 bytes, ended by the first 0x00
  static constexpr size_t kNameLength = 17;
  static constexpr uint32_t kWriteProtect = 0x1A;
  static constexpr uint8_t kProtected = 0x10;
  static constexpr uint32_t kDiskType = 0x1B;
  static constexpr uint32_t kDiskSize = 0x1C;  // 4 bytes LE: the disk, header included
  static constexpr uint32_t kTrackTable = 0x20;
  std::array<uint8_t, kSize> bytes{};

  uint32_t disk_size() const { return load32(bytes.data() + kDiskSize); }

  // The offset of D88 track `d88_track` in the file; 0 when unformatted.
  uint32_t track_offset(int d88_track) const {
    if (d88_track < 0 || d88_track >= kTracks) return 0;
    return load32(bytes.data() + kTrackTable + static_cast<size_t>(d88_track) * 4);
  }
};

// Reads the header into `header`, says the disk type line and checks every
// formatted track, saying the first fault found. True when usable.
bool check_d88_format(File& image, Report& rep, D88Header& header);

// The disk type as the "Disk type" line names it: 2D, 2DD, 2HD or ???,
// with its line end.
const Message<Severity::kInfo>& d88_disk_type_name(uint8_t type);
// The same without its line end.
std::string_view d88_disk_type_text(uint8_t type);

// All of a file, for a D88 file that holds one disk.
inline constexpr DiskSpan kWholeFile{0, UINT64_MAX};

// The pager over the formatted tracks' sectors, inverted back, after a look
// at the geometry record 15 gives; the track offsets count from the start
// of `disk`, and no track is read past its end. Nothing when there is no
// formatted track, a track cannot be read, or the system record describes
// a volume the image cannot hold.
std::unique_ptr<Pager> load_d88_image(File& image, const D88Header& header, MemoryHint hint = {},
                                      DiskSpan disk = kWholeFile);

// The plan of a save, which writes every sector's data back in place,
// inverted, the header, the sector headers and sectors after the 16th
// keeping their bytes: each changed track's 16 sectors (4352 bytes, the
// sector headers as the file holds them now) as one stretch, built in the
// plan's storage, fresh when `unused` marks all 16 of its records. False
// when the header does not describe the volume or a track cannot be read.
bool plan_d88_save(File& image, Pager& pager, const D88Header& header, SavePlan& plan,
                   const std::vector<bool>* unused = nullptr);

// Writes a whole new D88 image holding the volume's bytes (an even number
// of whole tracks, at most 164) as a format leaves a disk: an empty disk name, not
// write-protected, `disk_type`, the tracks back to back after the header
// in D88 track order, each of 16 sectors R = 1 to 16 with C = track / 2,
// H = track % 2, N = 1, 16 sectors, double density, not deleted, status 0,
// 256 bytes; the data inverted, volume track t in D88 track t XOR 1. True
// when every byte was accepted.
bool write_new_d88_image(File& image, std::span<const uint8_t> volume, uint8_t disk_type);

}  // namespace tarnwick
