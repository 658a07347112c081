// F: a new image file holding a blank 2DD data disk.
#pragma once

#include <string>
#include <string_view>

#include "host/file.h"
#include "output/report.h"

namespace tarnwick {

// True for a name that ends in ".D88", in any case.
bool is_d88_name(std::string_view name);

// Writes a D88 file of one blank 2DD data disk, as the machine formats
// one, into `file` from offset 0; false when a write failed.
bool write_blank_disk(File& file);

// F's image file: creates `image_name`, which must not exist yet and must be
// named *.D88 (in any case), and writes a blank disk into it. Refusals and
// failures are said; a failed write removes the file again. True when the
// image is written and synced, so the run can go on to load it.
bool format_image_file(Host& host, Report& rep, const std::string& image_name);

}  // namespace tarnwick
