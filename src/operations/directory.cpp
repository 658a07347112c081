#include "operations/directory.h"

#include <optional>
#include <string_view>

#include "operations/volume_report.h"
#include "volume/edit.h"
#include "volume/path.h"
#include "volume/timestamp.h"

namespace tarnwick {

namespace {

// Resolves the path, reporting why it leads nowhere in the words of M and
// K, which name the whole path. Nothing after that report.
std::optional<PathResult> resolve_for_directory(const Volume& vol, Report& rep, const std::string& path) {
  PathResult r = resolve_path(vol, path);
  if (r.name) return r;
  if (r.too_long) {
    rep.err(msg::kNameTooLong, as_volume_path(path));
  } else if (r.no_file_name) {
    rep.err(msg::kNoFileName);
  } else {
    rep.err(msg::kDirectoryNotFound, path);
  }
  return std::nullopt;
}

// True when the directory holds no used entry but "." and "..".
bool holds_only_dots(const Volume& vol, uint32_t dir) {
  for (const EntryRef e : directory_entries(dir)) {
    if (vol.mode(e) != mode::kFree && !is_dot_name(entry_name_text(vol, e))) return false;
  }
  return true;
}

}  // namespace

bool make_directory(Volume& vol, Report& rep, const std::string& path, const HostTime& now) {
  const std::optional<PathResult> target = resolve_for_directory(vol, rep, path);
  if (!target) return false;
  if (target->entry || is_dot_name(target->last())) {
    rep.err(msg::kAlreadyExists, as_volume_path(path));
    return false;
  }
  const std::optional<EntryRef> e = first_free_entry(vol, target->directory);
  if (!e) {
    report_directory_full(rep, parent_text(path));
    return false;
  }
  VolumeEdit edit(vol, alloc_trace(rep));
  if (!edit.make_directory(target->directory, *e, target->last(), encode_time_stamp(now))) {
    edit.rollback();
    report_no_space(rep, edit, path);
    return false;
  }
  return true;
}

bool remove_directory(Volume& vol, Report& rep, const std::string& path) {
  if (names_the_root(path)) {
    rep.err(msg::kCannotDelete, path);
    return false;
  }
  const std::optional<PathResult> target = resolve_for_directory(vol, rep, path);
  if (!target) return false;
  if (is_dot_name(target->last())) {
    rep.err(msg::kCannotDelete, path);
    return false;
  }
  if (!target->entry) {
    rep.err(msg::kPathNotFound, as_volume_path(path));
    return false;
  }
  const EntryRef e = *target->entry;
  if (vol.mode(e) != mode::kDir) {
    rep.err(msg::kNotADirectory, path);
    return false;
  }
  const uint32_t dir = vol.start_record(e);
  if (!vol.holds_directory(dir) || !holds_only_dots(vol, dir)) {
    rep.err(msg::kDirectoryNotEmpty, path);
    return false;
  }
  VolumeEdit edit(vol, alloc_trace(rep));
  if (!edit.remove_entry(e)) rep.err(msg::kDataDamaged, path);
  return true;
}

}  // namespace tarnwick
