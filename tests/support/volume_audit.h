// Looks at an image file from outside a run: the volume the tool would load
// from it, and whether that volume is sound enough that storing and deleting
// must keep it so.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "support/image_builder.h"
#include "support/memory_volume.h"
#include "volume/volume.h"

namespace tarnwick::testing {

// The volume the tool loads from `image` (the container chosen by the name's
// extension, as the tool does), or nothing when it loads none.
std::optional<MemoryVolume> load_image_volume(const Bytes& image, const std::string& image_name,
                                              int partition_index);

// One flag per allocation bitmap bit (data block), as the bitmap has them.
std::vector<bool> bitmap_bits(const Volume& vol);

// One flag per bitmap bit: whether the block holds a record that the
// consistency check claims (the root directory, a file, a subdirectory).
// Nothing when the check does not pass without a word.
std::optional<std::vector<bool>> claimed_blocks(Volume& vol);

// A volume is sound when the check passes and the bitmap marks used every
// block it claims. On a sound volume a store takes only blocks that no file
// holds and a delete frees exactly the deleted file's blocks, so across a
// store or a delete the bitmap must change exactly where the claims do.
// True when `after` is sound and its bitmap moved with its claims; `before`
// must be sound.
bool sound_volume_moved_in_step(Volume& before, Volume& after);
bool volume_is_sound(Volume& vol);

}  // namespace tarnwick::testing
