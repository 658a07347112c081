#include "commands/volume_report.h"

namespace tarnwick {

void report_missing_directory(Console& con, const Resolution& r) {
  if (r.failure == ResolveFailure::kDirectoryMissing) con.err(msg::kDirectoryNotFound, r.bad_component.c_str());
}

Resolution resolve_path(const Volume& vol, Console& con, std::string_view path) {
  Resolution r = resolve_path(vol, path);
  report_missing_directory(con, r);
  return r;
}

Lookup lookup_path(const Volume& vol, Console& con, std::string_view path) {
  Lookup l = lookup_path(vol, path);
  report_missing_directory(con, l.resolution);
  return l;
}

void trace_lookup(Console& con, const Lookup& found) {
  if (!found.resolution.name) return;
  con.trace(msg::kFileTrace, found.name().c_str());
  if (found.entry) con.trace(msg::kFileFound, found.name().c_str());
}

std::optional<EntryRef> find_entry(const Volume& vol, Console& con, std::string_view path) {
  const Lookup l = lookup_path(vol, con, path);
  trace_lookup(con, l);
  return l.entry;
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

}  // namespace tarnwick
