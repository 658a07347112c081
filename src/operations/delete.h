// D: delete a file.
#pragma once

#include <string_view>

#include "output/report.h"
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
bool delete_file(VolumeEdit& edit, Report& rep, const PathResult& target);

// D: deletes the file `path` names. True when the file was deleted and the
// volume must be saved; false after saying why not.
bool delete_path(Volume& vol, Report& rep, std::string_view path);

}  // namespace tarnwick
