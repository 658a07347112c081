#include "operations/delete.h"

#include "operations/volume_report.h"
#include "volume/path_text.h"
#include "volume/walk.h"

namespace tarnwick {

namespace {

// True when D deletes the entry `name`; false after saying why not.
bool deletable(const Volume& vol, Report& rep, EntryRef e, const std::string& name) {
  const uint8_t m = vol.mode(e);
  if (m == mode::kDir) {
    rep.err(msg::kIsDirectory, name);
    return false;
  }
  if (layout_of(m) == Layout::kNone) {
    rep.err(msg::kUnsupportedMode, unsigned{m});
    return false;
  }
  return true;
}

}  // namespace

bool delete_file(VolumeEdit& edit, Report& rep, const PathResult& target) {
  if (!target.name) return false;
  trace_lookup(rep, target);
  if (!target.entry) return false;
  if (!deletable(edit.volume(), rep, *target.entry, target.last())) return false;
  // The file goes all the same: what could be released is free again, and a
  // damaged file that cannot be deleted would stay in the way for good.
  if (!edit.remove_entry(*target.entry)) rep.err(msg::kDataDamaged, path_component(target.last()));
  return true;
}

bool delete_path(Volume& vol, Report& rep, std::string_view path) {
  const PathResult target = resolve_path(vol, rep, path);
  trace_lookup(rep, target);
  if (!target.entry) {
    rep.err(msg::kPathNotFound, as_volume_path(path));
    return false;
  }
  VolumeEdit edit(vol, alloc_trace(rep));
  return delete_file(edit, rep, target);
}

std::optional<std::vector<std::string>> delete_matching(Volume& vol, Report& rep, const PathPattern& pattern,
                                                        std::string_view shown) {
  const std::string dir = pattern.directory.empty() ? "/" : pattern.directory;
  const PathResult where = resolve_path(vol, rep, dir);
  if (where.fault != PathFault::kEmptyLast) {
    if (where.fault != PathFault::kDirectoryMissing) rep.err(msg::kDirectoryNotFound, dir);
    return std::nullopt;
  }
  const std::vector<EntryRef> matches = matching_entries(vol, where.directory, pattern.last);
  if (matches.empty()) rep.err(msg::kNoMatch, shown);
  std::vector<std::string> names;
  bool all = !matches.empty();
  for (const EntryRef e : matches) {
    names.push_back(entry_name_text(vol, e));
    Report why(rep.verbose());
    if (!deletable(vol, why, e, names.back())) {
      rep.err(msg::kCannotDelete, pattern.directory + path_component(names.back()));
      rep.append(std::move(why));
      all = false;
    }
  }
  if (!all) return std::nullopt;
  VolumeEdit edit(vol, alloc_trace(rep));
  std::vector<std::string> deleted;
  for (size_t i = 0; i < matches.size(); ++i) {
    if (!edit.remove_entry(matches[i])) rep.err(msg::kDataDamaged, path_component(names[i]));
    deleted.push_back(pattern.directory + path_component(names[i]));
  }
  return deleted;
}

}  // namespace tarnwick
