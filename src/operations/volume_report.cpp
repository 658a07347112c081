#include "operations/volume_report.h"

#include <algorithm>
#include <climits>

namespace tarnwick {

PathResult resolve_path(const Volume& vol, Console& con, std::string_view path) {
  PathResult r = resolve_path(vol, path);
  report_missing_directory(con, r);
  return r;
}

void trace_lookup(Console& con, const PathResult& found) {
  if (!found.name) return;
  con.trace(msg::kFileTrace, found.last());
  if (found.entry) con.trace(msg::kFileFound, found.last());
}

AllocTrace alloc_trace(Console& con) {
  if (!con.verbose) return {};
  return [&con](const AllocStep& s) {
    switch (s.kind) {
      case AllocStep::Kind::kBlocks: con.trace(msg::kAllocBlocks, static_cast<int>(s.a)); break;
      case AllocStep::Kind::kDataBlocks: con.trace(msg::kAllocDataBlocks, static_cast<int>(s.a)); break;
      case AllocStep::Kind::kScan:
        con.trace(msg::kAllocScan, static_cast<unsigned>(s.a), static_cast<unsigned>(s.b), static_cast<int>(s.c));
        break;
      case AllocStep::Kind::kReserve: con.trace(msg::kAllocReserve, static_cast<int>(s.a)); break;
      case AllocStep::Kind::kRelease:
        con.trace(msg::kReleaseTrace, static_cast<unsigned>(s.a), static_cast<unsigned>(s.b),
                  static_cast<unsigned>(s.c));
        break;
    }
  };
}

void report_no_space(Console& con, const VolumeEdit& edit, std::string_view path) {
  con.err(msg::kNoSpace);
  const auto shown = [](uint64_t n) { return static_cast<unsigned>(std::min<uint64_t>(n, UINT_MAX)); };
  con.err(msg::kSpaceNeeded, as_volume_path(path), shown(edit.no_space().needed), shown(edit.no_space().free));
}

void report_directory_full(Console& con, std::string_view directory) {
  con.err(msg::kDirectoryFull);
  con.err(msg::kDirectoryFullNamed, as_volume_path(directory));
}

}  // namespace tarnwick
