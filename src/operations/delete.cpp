#include "operations/delete.h"

#include "operations/volume_report.h"
#include "volume/path_text.h"
#include "volume/walk.h"

namespace tarnwick {

bool delete_file(VolumeEdit& edit, Report& rep, const PathResult& target) {
  if (!target.name) return false;
  trace_lookup(rep, target);
  if (!target.entry) return false;
  const Volume& vol = edit.volume();
  const uint8_t m = vol.mode(*target.entry);
  if (m == mode::kDir) {
    rep.err(msg::kIsDirectory, target.last());
    return false;
  }
  if (layout_of(m) == Layout::kNone) {
    rep.err(msg::kUnsupportedMode, unsigned{m});
    return false;
  }
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

}  // namespace tarnwick
