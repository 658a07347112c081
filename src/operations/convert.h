// C: one floppy disk, a disk of a D88 file or a raw image, as an image file
// of its own, in the form NEWIMAGE's extension names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "containers/image.h"
#include "host/file.h"
#include "output/report.h"

namespace tarnwick {

enum class NewImageForm {
  kD88,  // .d88: a D88 file of one disk
  kRaw,  // .2d, .2dd: a raw image as on the disk
};

// The form NEWIMAGE's extension names, in any case; nothing for another.
std::optional<NewImageForm> new_image_form(std::string_view name);

// What C checks before the image is opened: NEWIMAGE's extension, then
// that nothing exists by that name. False after saying which.
bool check_new_image(Host& host, Report& rep, const std::string& name);

// The bytes of an image file in `form` holding the loaded floppy disk of
// `source`:
//   D88 disk to .d88   the disk's bytes exactly (d88_disk_bytes);
//   raw image to .d88  a D88 file laid out as F lays one out (2DD for more
//                      than 84 tracks, else 2D), with the image's tracks;
//   either to raw      the tracks in D88 order, every byte inverted.
// An image of no floppy disk is refused; a raw image needs an even number
// of tracks, at least 70. Nothing after saying why there are none (`new_name` names the new file); nothing
// unsaid when the image could not be read (Image::read_failed).
std::optional<std::vector<uint8_t>> disk_image_bytes(Image& source, NewImageForm form, const std::string& new_name,
                                                     Report& rep);

}  // namespace tarnwick
