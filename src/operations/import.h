// I: copy a host file over the volume's records.
//
// The host file's bytes go into the volume image from the first byte of the
// record whose number is given in hexadecimal, bypassing the file system:
// no block is allocated and no directory entry is touched.
#pragma once

#include <string>

#include "host/file.h"
#include "output/report.h"
#include "volume/volume.h"

namespace tarnwick {

// Copies the host file over the records from `record_text` (hexadecimal
// digits only; the empty text is record 0) on. The host file is read in
// sequence, so it may be a pipe or a device, up to one byte more than fits:
// the copy happens only when the whole file fits in the volume and was read
// without error; any refusal or failure is reported and leaves the volume
// unchanged. True when the file
// was copied (an empty file included).
bool import_records(Volume& vol, Report& rep, Host& host, const std::string& record_text,
                    const std::string& host_file);

}  // namespace tarnwick
