// F: a new image file holding a blank 2DD data disk.
#pragma once

#include <string>

#include "host/file.h"
#include "output/console.h"

namespace tarnwick {

// Creates the image file, which must not exist yet and must be named
// *.D88 (in any case), and writes a blank 2DD data disk into it as the
// machine formats one. Refusals and failures are reported; a failed write
// removes the file again. True when the image is written and synced, so
// the run can go on to load it.
bool command_format(Console& con, Host& host, const std::string& image_name);

}  // namespace tarnwick
