// M and K: make a subdirectory, remove an empty one.
//
// A new directory is 8 records taken as a store takes them (whole blocks,
// first fit, never over what the volume uses), written as VolumeEdit's
// make_directory writes them. Every message names the path as the user
// gave it.
#pragma once

#include <string>

#include "host/host_time.h"
#include "output/report.h"
#include "volume/volume.h"

namespace tarnwick {

// Makes the directory `path` names inside the directory its other
// components lead to, stamped with `now`. True when the volume changed and
// must be saved; a refusal has said why and changed nothing.
bool make_directory(Volume& vol, Report& rep, const std::string& path, const HostTime& now);

// Removes the directory `path` names when it holds nothing but "." and
// "..": its records are released and its entry freed as D frees a file's.
// True when the volume changed and must be saved.
bool remove_directory(Volume& vol, Report& rep, const std::string& path);

}  // namespace tarnwick
