#include "commands/store.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "commands/delete.h"
#include "commands/mzt.h"
#include "commands/undo_log.h"
#include "commands/volume_report.h"
#include "volume/alloc.h"
#include "volume/path.h"
#include "volume/timestamp.h"

namespace tarnwick {

namespace {

// Attribute of a stored file.
constexpr uint8_t kStoredAttribute = 0x80;

// Why a path gave no file name, told to the user. A missing directory has
// been reported by the resolution.
void report_unresolved(Console& con, std::string_view path, const Resolution& r) {
  if (r.failure == ResolveFailure::kDirectoryMissing) return;
  const PathFaultInfo why = path_fault(path);
  switch (why.fault) {
    case PathFault::kNameTooLong: con.err(msg::kNameTooLong, why.component.c_str()); break;
    case PathFault::kNoFileName: con.err(msg::kNoFileName); break;
    case PathFault::kNotFound: con.err(msg::kDirectoryNotFound, std::string(path).c_str()); break;
  }
}

// What a stored file's entry takes from its MZT header: bytes 18-23 (size,
// load and execution address), which become entry bytes 20-25 unchanged.
struct MztFields {
  std::array<uint8_t, mzt::kFieldsLength> bytes{};
  uint16_t size() const { return load16(bytes.data()); }
};

// Reads the MZT header; nothing when the file is shorter.
std::optional<MztFields> read_mzt_header(File& mzt) {
  uint8_t header[mzt::kHeaderSize];
  if (mzt.read_at(0, header, sizeof header) != sizeof header) return std::nullopt;
  MztFields f;
  std::copy_n(header + mzt::kFields, f.bytes.size(), f.bytes.begin());
  return f;
}

void fill_entry(Volume& vol, EntryRef e, const std::string& name, const MztFields& fields, uint16_t start,
                const TimeStamp& stamp) {
  vol.set_field8(e, entry::kMode, mode::kObj);
  for (uint32_t k = 0; k < kNameFieldLength; ++k) {
    vol.set_field8(e, entry::kName + k, k < name.size() ? static_cast<uint8_t>(name[k]) : kNameEnd);
  }
  vol.set_field8(e, entry::kAttribute, kStoredAttribute);
  vol.set_field8(e, entry::kUnnamed, 0);
  for (uint32_t k = 0; k < fields.bytes.size(); ++k) vol.set_field8(e, entry::kSize + k, fields.bytes[k]);
  vol.set_field16(e, entry::kStartRecord, start);
  vol.set_time_stamp(e, stamp);
}

// The entry a store fills: the first free one of the directory the path
// leads to. Nothing after reporting why there is none. The resolution is
// reported as a store reports it, after the allocation: a missing directory
// a second time, as the lookup before the delete has reported it once.
std::optional<EntryRef> entry_to_fill(const Volume& vol, Console& con, const Lookup& target) {
  const Resolution& r = target.resolution;
  report_missing_directory(con, r);
  if (!r.name) {
    report_unresolved(con, target.path, r);
    return std::nullopt;
  }
  const std::optional<EntryRef> e = first_free_entry(vol, r.directory);
  if (!e) con.err(msg::kDirectoryFull);
  return e;
}

}  // namespace

bool store_mzt_file(Volume& vol, Console& con, const Lookup& target, const HostFile& mzt, const HostTime& host_time) {
  const std::optional<MztFields> fields = read_mzt_header(mzt.file);
  if (!fields) {
    con.err(msg::kReadFailed, mzt.name.c_str());
    return false;
  }
  const uint16_t size = fields->size();

  // Every change below is undone when a later step fails, so a failed store
  // leaves no block claimed without an entry and no entry half filled.
  UndoLog undo(vol);
  undo.save_system_record();
  const uint32_t start = allocate_blocks(vol, size, alloc_trace(con));
  // A run outside the image or beyond 16-bit record numbers can only come
  // from a volume the load refuses; it is treated as no room.
  if (start == 0 || start > 0xFFFF || !vol.holds(uint64_t{start} * kRecordSize, size)) {
    undo.restore();
    con.err(msg::kNoSpace);
    return false;
  }
  const std::optional<EntryRef> e = entry_to_fill(vol, con, target);
  if (!e) {
    undo.restore();
    return false;
  }
  undo.save(e->offset, kEntrySize);
  fill_entry(vol, *e, target.name(), *fields, static_cast<uint16_t>(start), encode_time_stamp(host_time));

  // The body goes straight into the run with one read; the bytes of the run
  // beyond it keep what they held.
  const uint64_t body_at = uint64_t{start} * kRecordSize;
  undo.save(body_at, size);
  const std::span<uint8_t> body = vol.writable_bytes(body_at, size);
  if (size > 0 && mzt.file.read_at(mzt::kHeaderSize, body.data(), body.size()) != body.size()) {
    undo.restore();
    con.err(msg::kReadFailed, mzt.name.c_str());
    return false;
  }
  return true;
}

bool command_store(RunContext& ctx, const std::string& path, const std::string& host_file) {
  // A store that fails must not cost the former file of the path: what the
  // delete changes (the system record and the entry's mode) is kept to be
  // put back.
  UndoLog undo(ctx.vol);
  undo.save_system_record();
  const Lookup target = lookup_path(ctx.vol, ctx.con, path);
  trace_lookup(ctx.con, target);
  if (target.entry) {
    undo.save(target.entry->offset, kEntrySize);
    if (!delete_file(ctx.vol, ctx.con, target)) {
      undo.restore();
      return false;
    }
  }
  const std::unique_ptr<File> mzt = ctx.host.open_argument(HostPath::from_argument(host_file), OpenMode::kRead);
  if (!mzt) {
    undo.restore();
    ctx.con.err(msg::kHostFileNotFound, host_file.c_str());
    return false;
  }
  // The time comes from the open file: a pipe can be opened only once. When
  // it cannot be read the host time keeps its values.
  mzt->last_write_time(ctx.host_time);
  if (!store_mzt_file(ctx.vol, ctx.con, target, HostFile{*mzt, host_file}, ctx.host_time)) {
    undo.restore();
    return false;
  }
  return true;
}

}  // namespace tarnwick
