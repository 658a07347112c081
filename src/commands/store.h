// W: store an MZT file as an OBJ file.
#pragma once

#include <string>

#include "commands/run_context.h"
#include "volume/path.h"

namespace tarnwick {

// Stores an MZT file as an OBJ file where a lookup points: claims a run of
// blocks for the header's size, fills the first free entry of the path's
// directory (name from the path, size and addresses from the header, the
// MZT file's last-write time as its time stamp) and reads the body into the
// run. The MZT file is opened once and read in sequence, so it may be a
// pipe. True when
// the whole body was read. A store that fails has printed why and left the
// volume exactly as it found it.
bool store_mzt_file(Volume& vol, Console& con, const Lookup& target, const HostFile& mzt, const HostTime& host_time);

// The W command as the front end runs it: deletes a former file of the path
// and stores the MZT file. True when the volume
// holds the stored file and must be saved; false when the volume is as it was
// before the command.
bool command_store(RunContext& ctx, const std::string& path, const std::string& host_file);

}  // namespace tarnwick
