#include "operations/store.h"

#include <array>
#include <memory>
#include <optional>

#include "operations/delete.h"
#include "codecs/mzt.h"
#include "operations/volume_report.h"
#include "host/host_path.h"
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
  // A BASIC program stays one: the machine loads an OBJ file as machine code.
  const uint8_t m = header[mzt::kMode] == mode::kBtx ? mode::kBtx : mode::kObj;
  NewEntry entry{m, target.last(), {}, *start, encode_time_stamp(host_time)};
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

bool store_text_file(VolumeEdit& edit, Console& con, const PathResult& target, const HostFile& text, AsText how,
                     const Addresses& addresses, const HostTime& host_time) {
  const std::optional<std::vector<uint8_t>> bytes = file_from_text(con, text.file, text.name, how);
  if (!bytes) return false;
  const bool program = how == AsText::kBasic;
  const Written written = program ? edit.write_contiguous(*bytes) : edit.write_chained(*bytes);
  if (!written) {
    report_no_space(con, edit, target.path);
    return false;
  }
  const std::optional<EntryRef> e = entry_to_fill(edit.volume(), con, target);
  if (!e) return false;
  NewEntry entry{program ? mode::kBtx : mode::kBsd, target.last(), sized_fields(static_cast<uint32_t>(bytes->size())),
                 written.start, encode_time_stamp(host_time)};
  std::copy(addresses.begin(), addresses.end(), entry.fields.begin() + 2);
  edit.write_entry(*e, entry);
  return true;
}

Addresses kept_addresses(const Volume& vol, std::optional<EntryRef> replaced, AsText how) {
  Addresses kept{};
  if (how != AsText::kBasic || !replaced || vol.mode(*replaced) != mode::kBtx) return kept;
  for (uint32_t i = 0; i < kept.size(); ++i) kept[i] = vol.field8(*replaced, entry::kLoadAddress + i);
  return kept;
}

bool names_text_file(std::string_view host_file) {
  const std::string_view name = last_component(host_file);
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || name.size() - dot != 4) return false;
  for (size_t i = 0; i < 3; ++i) {
    if ((name[dot + 1 + i] | 0x20) != "txt"[i]) return false;
  }
  return true;
}

bool command_store(RunContext& ctx, const std::string& path, const std::string& host_file) {
  // -b stores a listing, -t a text; with both a .txt file is text.
  AsText how = AsText::kNone;
  if (ctx.basic || ctx.text) how = ctx.text && (!ctx.basic || names_text_file(host_file)) ? AsText::kText : AsText::kBasic;
  // A store that fails must not cost the former file of the path: the edit
  // puts back what the delete changed.
  VolumeEdit edit(ctx.vol, alloc_trace(ctx.con));
  const PathResult target = resolve_path(ctx.vol, ctx.con, path);
  trace_lookup(ctx.con, target);
  // "." and ".." name a directory and its parent in every directory, the
  // root too: no file takes those names, as M makes no directory of them.
  if (target.name && is_dot_name(target.last())) {
    ctx.con.err(msg::kAlreadyExists, as_volume_path(path));
    return false;
  }
  const Addresses addresses = kept_addresses(ctx.vol, target.entry, how);
  if (target.entry && !delete_file(edit, ctx.con, target)) {
    edit.rollback();
    return false;
  }
  const std::unique_ptr<File> in = ctx.host.open_argument(HostPath::from_argument(host_file), OpenMode::kRead);
  if (!in) {
    edit.rollback();
    ctx.con.err(msg::kHostFileNotFound, host_file);
    return false;
  }
  // The time comes from the open file: a pipe can be opened only once. When
  // it cannot be read the host time keeps its values.
  in->last_write_time(ctx.host_time);
  const HostFile file{*in, host_file};
  const bool stored = how == AsText::kNone
                          ? store_mzt_file(edit, ctx.con, target, file, ctx.host_time)
                          : store_text_file(edit, ctx.con, target, file, how, addresses, ctx.host_time);
  if (!stored) edit.rollback();
  return stored;
}

}  // namespace tarnwick
