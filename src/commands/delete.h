// D: delete a file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "output/console.h"
#include "commands/run_context.h"
#include "volume/volume.h"

namespace tarnwick {

// Releases the blocks of the file the path names and frees its entry (mode
// 0; every other byte of the entry and the file's records keep their
// contents). Returns the freed entry. When no used entry bears the name it
// changes nothing and returns the directory's first free entry, if any.
// Directories and modes whose layout is unknown are refused with a message:
// nothing then, and for an unresolved path too.
//
// Data reaching outside the data blocks (a damaged entry, chain or index) is
// released as far as it is valid, reported, and the entry is still freed.
std::optional<EntryRef> delete_file(Volume& vol, Console& con, std::string_view path);

// The D command as the front end runs it, up to the save. True when the
// file was deleted and the volume must be saved.
bool command_delete(RunContext& ctx, const std::string& path);

}  // namespace tarnwick
