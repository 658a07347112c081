// What the commands print about the volume layer's work: the walk of a path
// (a directory on the way that is not there, and in verbose mode the name
// looked for and whether it was found) and the allocator's steps in verbose
// mode. The volume layer computes and returns; these print.
#pragma once

#include <optional>
#include <string_view>

#include "output/console.h"
#include "volume/alloc.h"
#include "volume/path.h"

namespace tarnwick {

// Reports a resolution that stopped at a directory that is not there:
// "ディレクトリ '%s' が見つかりません". Nothing for any other outcome.
void report_missing_directory(Console& con, const Resolution& r);

// As the volume's resolve_path and lookup_path, reporting a missing
// directory on the way.
Resolution resolve_path(const Volume& vol, Console& con, std::string_view path);
Lookup lookup_path(const Volume& vol, Console& con, std::string_view path);

// In verbose mode, what a lookup found: "FILE: %s" and "File '%s' found.".
void trace_lookup(Console& con, const Lookup& found);

// As the volume's find_entry, with the lookup's report and traces.
std::optional<EntryRef> find_entry(const Volume& vol, Console& con, std::string_view path);

// The allocator's steps as verbose traces; none outside verbose mode.
AllocTrace alloc_trace(Console& con);

}  // namespace tarnwick
