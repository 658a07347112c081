#include "commands/delete.h"

#include "commands/volume_report.h"
#include "volume/alloc.h"
#include "volume/walk.h"

namespace tarnwick {

bool release_file(Volume& vol, Console& con, EntryRef e) {
  // A file of size 0 still holds the one block its allocation gave it.
  const AllocTrace trace = alloc_trace(con);
  const uint8_t m = vol.mode(e);
  if ((m == mode::kObj || m == mode::kBtx) && vol.file_size(e) == 0) {
    if (vol.start_record(e) != 0) release_block(vol, vol.start_record(e), trace);
    return true;
  }
  FileWalk walk = FileWalk::of_entry(vol, e, data_records(vol), false);
  while (const std::optional<Piece> p = walk.next()) {
    for (uint32_t r = p->first; r < p->first + p->records; ++r) release_block(vol, r, trace);
  }
  return walk.end() == WalkEnd::kComplete;
}

std::optional<EntryRef> delete_file(Volume& vol, Console& con, const Lookup& target) {
  if (!target.resolution.name) return std::nullopt;
  trace_lookup(con, target);
  if (!target.entry) return std::nullopt;
  const EntryRef file = *target.entry;
  const std::string& name = target.name();

  const uint8_t m = vol.mode(file);
  if (m == mode::kDir) {
    con.err(msg::kIsDirectory, name.c_str());
    return std::nullopt;
  }
  if (layout_of(m) == Layout::kNone) {
    con.err(msg::kUnsupportedMode, unsigned{m});
    return std::nullopt;
  }
  // The file goes all the same: what could be released is free again, and a
  // damaged file that cannot be deleted would stay in the way for good.
  if (!release_file(vol, con, file)) con.err(msg::kDataDamaged, name.c_str());
  vol.set_field8(file, entry::kMode, mode::kFree);
  return file;
}

bool command_delete(RunContext& ctx, const std::string& path) {
  const Lookup target = lookup_path(ctx.vol, ctx.con, path);
  trace_lookup(ctx.con, target);
  if (!target.entry) {
    ctx.con.err(msg::kPathNotFound, as_volume_path(path));
    return false;
  }
  return delete_file(ctx.vol, ctx.con, target).has_value();
}

}  // namespace tarnwick
