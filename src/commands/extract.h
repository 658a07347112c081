// R: extract a file into a host file.
//
// OBJ and BTX files leave the volume as MZT files, a 128-byte header and the
// file's bytes:
//   OFFSET SIZE DESCRIPTION
//        0    1 mode (1 OBJ, 2 BTX)
//        1   17 file name field, copied unchanged from the entry (the name,
//               its 0x0D and whatever follows it)
//       18    2 size: number of body bytes
//       20    2 load address
//       22    2 execution address
//       24  104 zero
//      128 size body
// BSD and BRD files leave it as their bare data bytes. The entry's time stamp
// becomes the host time, which the host file then gets as its last-write time.
#pragma once

#include <string>
#include <string_view>

#include "output/console.h"
#include "commands/run_context.h"
#include "host/file.h"
#include "host/host_time.h"
#include "volume/volume.h"

namespace tarnwick {

inline constexpr size_t kMztHeaderSize = 128;

enum class Extraction {
  kWritten,      // the file's bytes are in the host file
  kRefused,      // nothing written; the reason has been printed
  kWriteFailed,  // a write to the host file failed; not reported yet
};

// Finds the file the path names, prints "FILE: %s" and "File '%s' found.",
// decodes its time stamp into `host_time` and writes its contents to `out`
// from offset 0. Every record the contents need is checked before the first
// byte is written, so a damaged entry leaves `out` empty.
Extraction extract_file(Volume& vol, Console& con, std::string_view path, File& out, HostTime& host_time);

// The R command as the front end runs it: look the path up, create the host
// file, extract, close it and set its last-write time.
void command_extract(RunContext& ctx, const std::string& path, const std::string& host_file);

}  // namespace tarnwick
