// F: a new image file holding a blank 2DD data disk.
#pragma once

#include <string>

#include "host/file.h"
#include "operations/convert.h"
#include "output/report.h"

namespace tarnwick {

// Writes a blank 2DD data disk, as the machine formats one, into `file`
// from offset 0, in `form`: a D88 file of that disk, or a raw image as on
// the disk. False when a write failed.
bool write_blank_disk(File& file, NewImageForm form = NewImageForm::kD88);

// F's image file: creates `image_name`, which must not exist yet and must be
// named *.D88, *.2D or *.2DD (in any case), and writes a blank disk into it
// in the form the name says. Refusals and failures are said; a failed write
// removes the file again. True when the image is written and synced, so the
// run can go on to load it.
bool format_image_file(Host& host, Report& rep, const std::string& image_name);

}  // namespace tarnwick
