#include "commands/store.h"

#include <array>
#include <memory>
#include <optional>

#include "commands/delete.h"
#include "commands/mzt.h"
#include "commands/volume_report.h"
#include "volume/timestamp.h"

namespace tarnwick {

namespace {

// Why a path gave no file name, told to the user. A missing directory has
// been reported by the resolution.
void report_unresolved(Console& con, const PathResult& r) {
  if (r.fault == PathFault::kDirectoryMissing) return;
  if (r.too_long) {
    con.err(msg::kNameTooLong, as_volume_path(*r.too_long));
  } else if (r.no_file_name) {
    con.err(msg::kNoFileName);
  } else {
    con.err(msg::kDirectoryNotFound, r.path);
  }
}

// The entry a store fills: the first free one of the directory the path
// leads to. Nothing after reporting why there is none. The resolution is
// reported as a store reports it, after the allocation: a missing directory
// a second time, as the lookup before the delete has reported it once.
std::optional<EntryRef> entry_to_fill(const Volume& vol, Console& con, const PathResult& target) {
  report_missing_directory(con, target);
  if (!target.name) {
    report_unresolved(con, target);
    return std::nullopt;
  }
  const std::optional<EntryRef> e = first_free_entry(vol, target.directory);
  if (!e) report_directory_full(con, parent_text(target.path));
  return e;
}

}  // namespace

bool store_mzt_file(VolumeEdit& edit, Console& con, const PathResult& target, const HostFile& mzt,
                    const HostTime& host_time) {
  std::array<uint8_t, mzt::kHeaderSize> header;
  if (mzt.file.read_at(0, header.data(), header.size()) != header.size()) {
    // A file too short to hold a header is no MZT file; a read that
    // failed is a read failure.
    if (mzt.file.failed()) {
      con.err(msg::kReadFailed, mzt.name);
    } else {
      con.err(msg::kNotMzt, mzt.name);
    }
    return false;
  }
  const uint16_t size = load16(header.data() + mzt::kSize);
  const std::optional<uint32_t> start = edit.claim(size);
  if (!start) {
    report_no_space(con, edit, target.path);
    return false;
  }
  const std::optional<EntryRef> e = entry_to_fill(edit.volume(), con, target);
  if (!e) return false;
  NewEntry entry{mode::kObj, target.last(), {}, *start, encode_time_stamp(host_time)};
  std::copy_n(header.begin() + mzt::kFields, entry.fields.size(), entry.fields.begin());
  edit.write_entry(*e, entry);
  // The body goes straight into the run with one read; the bytes of the run
  // beyond it keep what they held.
  const ByteSource body = [&](uint64_t from, std::span<uint8_t> out) {
    return mzt.file.read_at(mzt::kHeaderSize + from, out.data(), out.size()) == out.size();
  };
  if (edit.fill(*start, size, body) != WriteFault::kNone) {
    con.err(msg::kReadFailed, mzt.name);
    return false;
  }
  return true;
}

bool command_store(RunContext& ctx, const std::string& path, const std::string& host_file) {
  // A store that fails must not cost the former file of the path: the edit
  // puts back what the delete changed.
  VolumeEdit edit(ctx.vol, alloc_trace(ctx.con));
  const PathResult target = resolve_path(ctx.vol, ctx.con, path);
  trace_lookup(ctx.con, target);
  if (target.entry && !delete_file(edit, ctx.con, target)) {
    edit.rollback();
    return false;
  }
  const std::unique_ptr<File> mzt = ctx.host.open_argument(HostPath::from_argument(host_file), OpenMode::kRead);
  if (!mzt) {
    edit.rollback();
    ctx.con.err(msg::kHostFileNotFound, host_file);
    return false;
  }
  // The time comes from the open file: a pipe can be opened only once. When
  // it cannot be read the host time keeps its values.
  mzt->last_write_time(ctx.host_time);
  if (!store_mzt_file(edit, ctx.con, target, HostFile{*mzt, host_file}, ctx.host_time)) {
    edit.rollback();
    return false;
  }
  return true;
}

}  // namespace tarnwick
