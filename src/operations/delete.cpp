#include "operations/delete.h"

#include "operations/volume_report.h"
#include "output/name_text.h"
#include "volume/path_text.h"
#include "volume/walk.h"

namespace tarnwick {

bool delete_file(VolumeEdit& edit, Console& con, const PathResult& target) {
  if (!target.name) return false;
  trace_lookup(con, target);
  if (!target.entry) return false;
  const Volume& vol = edit.volume();
  const uint8_t m = vol.mode(*target.entry);
  if (m == mode::kDir) {
    con.err(msg::kIsDirectory, target.last());
    return false;
  }
  if (layout_of(m) == Layout::kNone) {
    con.err(msg::kUnsupportedMode, unsigned{m});
    return false;
  }
  // The file goes all the same: what could be released is free again, and a
  // damaged file that cannot be deleted would stay in the way for good.
  if (!edit.remove_entry(*target.entry)) con.err(msg::kDataDamaged, path_component(target.last()));
  return true;
}

bool command_delete(RunContext& ctx, const std::string& path) {
  const PathResult target = resolve_path(ctx.vol, ctx.con, path);
  trace_lookup(ctx.con, target);
  if (!target.entry) {
    ctx.con.err(msg::kPathNotFound, as_volume_path(path));
    return false;
  }
  VolumeEdit edit(ctx.vol, alloc_trace(ctx.con));
  return delete_file(edit, ctx.con, target);
}

}  // namespace tarnwick
