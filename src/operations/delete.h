// D: delete a file.
#pragma once

#include <string>

#include "operations/run_context.h"
#include "output/console.h"
#include "volume/edit.h"
#include "volume/path.h"

namespace tarnwick {

// Releases the blocks of the file a resolution found and frees its entry
// (mode 0; every other byte of the entry and the file's records keep their
// contents), within `edit`. False when the resolution found no file or the
// file was refused: directories and modes whose layout is unknown, with a
// message. Data reaching outside the data blocks (a damaged entry, chain or
// index) is released as far as it is valid, reported, and the entry is
// still freed.
bool delete_file(VolumeEdit& edit, Console& con, const PathResult& target);

// The D command as the front end runs it, up to the save. True when the
// file was deleted and the volume must be saved.
bool command_delete(RunContext& ctx, const std::string& path);

}  // namespace tarnwick
