// What the operations say about the volume layer's work: the walk of a path
// (a directory on the way that is not there, and in verbose mode the name
// looked for and whether it was found) and the allocator's steps in verbose
// mode. The volume layer computes and returns; these say it into a report.
#pragma once

#include <string_view>

#include "output/report.h"
#include "volume/edit.h"
#include "volume/path.h"

namespace tarnwick {

// Reports a resolution that stopped at a directory that is not there:
// "ディレクトリ '%s' が見つかりません". Nothing for any other outcome.
inline void report_missing_directory(Report& rep, const PathResult& r) {
  if (r.fault == PathFault::kDirectoryMissing) rep.err(msg::kDirectoryNotFound, r.component);
}

// As the volume's resolve_path, reporting a missing directory on the way.
PathResult resolve_path(const Volume& vol, Report& rep, std::string_view path);

// In verbose mode, what a resolution found: "FILE: %s" and "File '%s' found.".
void trace_lookup(Report& rep, const PathResult& found);

// "空き容量が不足しています", then for whom (a volume path) and how many
// bytes the failed claim of the edit needed and the volume had free.
void report_no_space(Report& rep, const VolumeEdit& edit, std::string_view path);

// "ディレクトリに空きがありません", then which (a volume path).
void report_directory_full(Report& rep, std::string_view directory);

// The allocator's steps as verbose traces; none outside verbose mode.
AllocTrace alloc_trace(Report& rep);

}  // namespace tarnwick
