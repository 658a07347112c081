// X: a whole directory tree out into a host folder.
//
// Every entry of the directory and of its subdirectories, depth first in
// entry order (the directories "." and ".." passed over; a file of those
// names, or of a mode X does not write, skipped with a notice and counted):
// a subdirectory becomes a host folder, OBJ and BTX files NAME.mzt, BSD and
// BRD files NAME.bsd and NAME.brd, each with exactly the bytes R writes and
// the entry's time stamp as its last-write time (a folder's is set once its
// contents are written).
// Host names come from volume names through host_name(); two entries that
// come to one host name are told apart with "~2", "~3", ...
#pragma once

#include <string>

#include "operations/run_context.h"

namespace tarnwick {

// The X command as the front end runs it: `path` is a directory as L takes
// it, `host_folder` a folder to create or an empty one. Prints one line per
// file written, its path from the volume's root, then the count. Each
// failure is reported and the walk goes on; the image is never written.
void command_extract_tree(RunContext& ctx, const std::string& path, const std::string& host_folder);

}  // namespace tarnwick
