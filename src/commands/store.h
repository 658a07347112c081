// W: store an MZT file as an OBJ file.
#pragma once

#include <string>

#include "commands/run_context.h"
#include "volume/edit.h"
#include "volume/path.h"

namespace tarnwick {

// Stores an MZT file as an OBJ file where a resolution points, within
// `edit`: claims a run of blocks for the header's size, fills the first
// free entry of the path's directory (name from the path, size and
// addresses from the header, the MZT file's last-write time as its time
// stamp) and reads the body into the run. The MZT file is read in
// sequence, so it may be a pipe. True when the whole body was read; false
// after printing why not (the caller rolls the edit back).
bool store_mzt_file(VolumeEdit& edit, Console& con, const PathResult& target, const HostFile& mzt,
                    const HostTime& host_time);

// The W command as the front end runs it: deletes a former file of the path
// and stores the MZT file. True when the volume holds the stored file and
// must be saved; false when the volume is as it was before the command.
bool command_store(RunContext& ctx, const std::string& path, const std::string& host_file);

}  // namespace tarnwick
