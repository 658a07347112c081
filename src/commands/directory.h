// M and K: make a subdirectory, remove an empty one.
//
// A new directory is 8 records taken as a store takes them (whole blocks,
// first fit, never over what the volume uses). Its header entry is that of a
// blank root (byte 0 = 0x80, name bytes 0x0D, the rest 0), entry 1 is "."
// (its own first record), entry 2 ".." (its parent's, 16 for the root) and
// entries 3-63 are blank. The parent's first free entry describes it: mode
// DIR, the name with its 0x0D fill, attribute 0x80, size and addresses 0,
// the time stamp, and its first record.
//
// Every message names the path as the user gave it.
#pragma once

#include <string>
#include <string_view>

#include "commands/run_context.h"
#include "host/host_time.h"
#include "output/console.h"
#include "volume/volume.h"

namespace tarnwick {

// Makes the directory `path` names inside the directory its other
// components lead to, stamped with `now`. True when the volume changed and
// must be saved; a refusal has printed why and changed nothing.
bool make_directory(Volume& vol, Console& con, const std::string& path, const HostTime& now);

// Fills entry `e` of directory `parent` with a new directory named `name`
// whose 8 records from `start` on are claimed already, and writes those
// records as a blank directory holding "." and "..".
void write_new_directory(Volume& vol, EntryRef e, std::string_view name, const TimeStamp& stamp, uint32_t start,
                         uint32_t parent);

// Removes the directory `path` names when it holds nothing but "." and
// "..": its records are released and its entry freed as D frees a file's.
// True when the volume changed and must be saved.
bool remove_directory(Volume& vol, Console& con, const std::string& path);

}  // namespace tarnwick
