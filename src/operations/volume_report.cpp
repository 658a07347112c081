#include "operations/volume_report.h"

#include <algorithm>
#include <climits>

namespace tarnwick {

PathResult resolve_path(const Volume& vol, Report& rep, std::string_view path) {
  PathResult r = resolve_path(vol, path);
  report_missing_directory(rep, r);
  return r;
}

void trace_lookup(Report& rep, const PathResult& found) {
  if (!found.name) return;
  rep.trace(msg::kFileTrace, found.last());
  if (found.entry) rep.trace(msg::kFileFound, found.last());
}

AllocTrace alloc_trace(Report& rep) {
  if (!rep.verbose()) return {};
  return [&rep](const AllocStep& s) {
    switch (s.kind) {
      case AllocStep::Kind::kBlocks: rep.trace(msg::kAllocBlocks, static_cast<int>(s.a)); break;
      case AllocStep::Kind::kDataBlocks: rep.trace(msg::kAllocDataBlocks, static_cast<int>(s.a)); break;
      case AllocStep::Kind::kScan:
        rep.trace(msg::kAllocScan, static_cast<unsigned>(s.a), static_cast<unsigned>(s.b), static_cast<int>(s.c));
        break;
      case AllocStep::Kind::kReserve: rep.trace(msg::kAllocReserve, static_cast<int>(s.a)); break;
      case AllocStep::Kind::kRelease:
        rep.trace(msg::kReleaseTrace, static_cast<unsigned>(s.a), static_cast<unsigned>(s.b),
                  static_cast<unsigned>(s.c));
        break;
    }
  };
}

void report_no_space(Report& rep, const VolumeEdit& edit, std::string_view path) {
  rep.err(msg::kNoSpace);
  const auto shown = [](uint64_t n) { return static_cast<unsigned>(std::min<uint64_t>(n, UINT_MAX)); };
  rep.err(msg::kSpaceNeeded, as_volume_path(path), shown(edit.no_space().needed), shown(edit.no_space().free));
}

void report_directory_full(Report& rep, std::string_view directory) {
  rep.err(msg::kDirectoryFull);
  rep.err(msg::kDirectoryFullNamed, as_volume_path(directory));
}

}  // namespace tarnwick
