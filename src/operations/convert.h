// C: one floppy disk, a disk of a D88 file or a raw image, into an image
// file of its own, in the form NEWIMAGE's extension names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "operations/run_context.h"
#include "containers/image.h"
#include "host/file.h"
#include "output/console.h"

namespace tarnwick {

enum class NewImageForm {
  kD88,  // .d88: a D88 file of one disk
  kRaw,  // .2d, .2dd: a raw image as on the disk
};

// The form NEWIMAGE's extension names, in any case; nothing for another.
std::optional<NewImageForm> new_image_form(std::string_view name);

// What C checks before the image is opened: NEWIMAGE's extension, then
// that nothing exists by that name. False after reporting which.
bool check_new_image(Console& con, Host& host, const std::string& name);

// Writes the loaded floppy disk into the new image file `new_name`:
//   D88 disk to .d88   the disk's bytes exactly (d88_disk_bytes);
//   raw image to .d88  a D88 file laid out as F lays one out (2DD for more
//                      than 84 tracks, else 2D), with the image's tracks;
//   either to raw      the tracks in D88 order, every byte inverted.
// A raw image needs an even number of tracks, at least 70. Reports what it
// made or why it made nothing; a failed write leaves no file behind.
void command_convert(RunContext& ctx, Image& source, const std::string& new_name);

}  // namespace tarnwick
