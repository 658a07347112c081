// What the commands print about the volume layer's work: the walk of a path
// (a directory on the way that is not there, and in verbose mode the name
// looked for and whether it was found) and the allocator's steps in verbose
// mode. The volume layer computes and returns; these print.
#pragma once

#include <string_view>

#include "output/console.h"
#include "volume/edit.h"
#include "volume/path.h"

namespace tarnwick {

// Reports a resolution that stopped at a directory that is not there:
// "ディレクトリ '%s' が見つかりません". Nothing for any other outcome.
// `Sink` is a Report or a Console.
template <typename Sink>
void report_missing_directory(Sink& to, const PathResult& r) {
  if (r.fault == PathFault::kDirectoryMissing) to.err(msg::kDirectoryNotFound, r.component);
}

// As the volume's resolve_path, reporting a missing directory on the way.
PathResult resolve_path(const Volume& vol, Console& con, std::string_view path);

// In verbose mode, what a resolution found: "FILE: %s" and "File '%s' found.".
void trace_lookup(Console& con, const PathResult& found);

// "空き容量が不足しています", then for whom (a volume path) and how many
// bytes the failed claim of the edit needed and the volume had free.
void report_no_space(Console& con, const VolumeEdit& edit, std::string_view path);

// "ディレクトリに空きがありません", then which (a volume path).
void report_directory_full(Console& con, std::string_view directory);

// The allocator's steps as verbose traces; none outside verbose mode.
AllocTrace alloc_trace(Console& con);

}  // namespace tarnwick
