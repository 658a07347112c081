// F: a new image file holding a blank 2DD data disk; and the writing of a
// new image file that F and C share.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "host/file.h"
#include "output/console.h"

namespace tarnwick {

// Creates the image file `name`, which must not exist yet, and has `fill`
// write it. The file is created exclusively, as an image is, and synced;
// when anything fails the failure is reported and the file removed again,
// so no partial image stays behind. True when the image is written.
bool write_new_image(Console& con, Host& host, const std::string& name, const std::function<bool(File&)>& fill);

// Writes `bytes` as they are into the new image file `name`, as
// write_new_image does.
bool write_new_image_bytes(Console& con, Host& host, const std::string& name, std::span<const uint8_t> bytes);

// Creates the image file, which must not exist yet and must be named
// *.D88, *.2D or *.2DD (in any case), and writes a blank 2DD data disk into
// it as the machine formats one: a D88 file, or a raw image as on the disk. Refusals and failures are reported; a failed write
// removes the file again. True when the image is written and synced, so
// the run can go on to load it.
bool command_format(Console& con, Host& host, const std::string& image_name);

}  // namespace tarnwick
