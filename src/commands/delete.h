// D: delete a file.
#pragma once

#include <optional>
#include <string>

#include "output/console.h"
#include "commands/run_context.h"
#include "volume/path.h"
#include "volume/volume.h"

namespace tarnwick {

// Releases the blocks of the file a lookup found and frees its entry (mode
// 0; every other byte of the entry and the file's records keep their
// contents). Returns the freed entry; nothing when the lookup found no file
// or the file was refused: directories and modes whose layout is unknown,
// with a message.
//
// Data reaching outside the data blocks (a damaged entry, chain or index) is
// released as far as it is valid, reported, and the entry is still freed.
std::optional<EntryRef> delete_file(Volume& vol, Console& con, const Lookup& target);

// Releases the blocks of every record the file (or directory) an entry
// describes holds, walking it to the end of its chain or index. A walk that
// leaves the data blocks or loops releases what came before and gives false;
// a BRD run reaching outside is not released at all.
bool release_file(Volume& vol, Console& con, EntryRef e);

// The D command as the front end runs it, up to the save. True when the
// file was deleted and the volume must be saved.
bool command_delete(RunContext& ctx, const std::string& path);

}  // namespace tarnwick
