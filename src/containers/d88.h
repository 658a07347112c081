// D88 floppy-disk images.
//
// A D88 image holds a 688-byte header (disk type at 0x1B, 164 track offsets
// from 0x20) and tracks of sectors, each sector a 16-byte header and its
// data. The volume takes 16 sectors of 256 bytes per track, in stored order,
// every byte inverted; volume track t is D88 track t XOR 1.
//
// Sector header:
//   OFFSET SIZE FIELD
//        2    1 R, sector number (only printed)
//        3    1 N, size code: must be 1 (256 bytes)
//        4    2 sectors in the track (first sector of a track only)
//        6    1 density: must be 0 (double)
//       14    2 data size: must be 256
#pragma once

#include "app/console.h"
#include "containers/container.h"
#include "host/file.h"
#include "volume/volume.h"

namespace tarnwick {

// Reads the header into `header`, prints the disk type line and checks every
// formatted track, printing the first fault found. True when usable.
bool check_d88_format(File& image, Console& con, D88Header& header);

// Gathers the formatted tracks' sectors into `vol`, inverted back.
bool load_d88_image(File& image, const D88Header& header, Volume& vol);

// Writes every sector's data back in place, inverted. Data areas only.
bool save_d88_image(File& image, const Volume& vol, const D88Header& header);

}  // namespace tarnwick
