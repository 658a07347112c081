#include "commands/store.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "commands/delete.h"
#include "volume/alloc.h"
#include "volume/path.h"
#include "volume/timestamp.h"

namespace tarnwick {

namespace {

// The MZT header: 128 bytes before the body. Storing reads only bytes 18-23
// (body size, load address, execution address, each 16-bit little-endian),
// which map onto directory entry bytes 20-25 in the same order.
constexpr size_t kMztHeaderSize = 128;
constexpr size_t kMztSize = 18;
constexpr size_t kMztAddressBytes = 6;  // size, load and execution address

// Attribute of a stored file.
constexpr uint8_t kStoredAttribute = 0x80;

// Remembers the bytes of the volume ranges a command is about to change, so
// that a command that fails can put them back. Only the touched ranges are
// kept (the system record, an entry, a file's run), never the whole volume.
class UndoLog {
 public:
  explicit UndoLog(Volume& vol) : vol_(vol) {}

  void save(uint64_t offset, uint64_t length) {
    const std::span<const uint8_t> b = std::as_const(vol_).bytes(offset, length);
    saved_.push_back(Saved{offset, std::vector<uint8_t>(b.begin(), b.end())});
  }
  void save_system_record() { save(Volume::kSystemOffset, kRecordSize); }

  // Puts every saved range back, the latest first, so a range saved twice
  // ends with its oldest bytes.
  void restore() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      const std::span<uint8_t> to = vol_.bytes(it->offset, it->bytes.size());
      std::copy(it->bytes.begin(), it->bytes.begin() + static_cast<long>(to.size()), to.begin());
    }
    saved_.clear();
  }

 private:
  struct Saved {
    uint64_t offset;
    std::vector<uint8_t> bytes;
  };
  Volume& vol_;
  std::vector<Saved> saved_;
};

// Why a path gave no file name, told to the user. A missing directory has
// been reported by the resolution; an invalid middle component stays silent.
void report_unresolved(Console& con, const Resolution& r) {
  switch (r.failure) {
    case ResolveFailure::kEmptyLast:
      con.err(msg::kNoFileName);
      break;
    case ResolveFailure::kTooLongLast:
      con.err(msg::kNameTooLong, r.bad_component.c_str());
      break;
    case ResolveFailure::kNone:
    case ResolveFailure::kDirectoryMissing:
    case ResolveFailure::kInvalidMiddle:
      break;
  }
}

std::optional<EntryRef> first_free_entry(const Volume& vol) {
  for (int i = 1; i < kEntriesPerDirectory; ++i) {
    const EntryRef e = Volume::entry_at(vol.current_directory, i);
    if (vol.mode(e) == mode::kFree) return e;
  }
  return std::nullopt;
}

void fill_entry(Volume& vol, EntryRef e, const std::string& name, const uint8_t* header, uint16_t start,
                const TimeStamp& stamp) {
  vol.set_field8(e, entry::kMode, mode::kObj);
  for (uint32_t k = 0; k < kNameFieldLength; ++k) {
    vol.set_field8(e, entry::kName + k, k < name.size() ? static_cast<uint8_t>(name[k]) : kNameEnd);
  }
  vol.set_field8(e, entry::kAttribute, kStoredAttribute);
  vol.set_field8(e, entry::kUnnamed, 0);
  for (uint32_t k = 0; k < kMztAddressBytes; ++k) vol.set_field8(e, entry::kSize + k, header[kMztSize + k]);
  vol.set_field16(e, entry::kStartRecord, start);
  for (uint32_t k = 0; k < stamp.size(); ++k) vol.set_field8(e, entry::kTimeStamp + k, stamp[k]);
}

}  // namespace

bool store_mzt_file(RunContext& ctx, std::string_view path, const std::string& mzt_name) {
  Volume& vol = ctx.vol;
  Console& con = ctx.con;
  const std::unique_ptr<File> mzt = ctx.host.open(mzt_name, OpenMode::kRead);
  if (!mzt) {
    con.err(msg::kHostFileNotFound, mzt_name.c_str());
    return false;
  }
  // The time comes from the open file: a pipe can be opened only once. When
  // it cannot be read the host time keeps its values.
  mzt->last_write_time(ctx.host_time);
  uint8_t header[kMztHeaderSize];
  if (mzt->read_at(0, header, sizeof header) != sizeof header) {
    con.err(msg::kReadFailed, mzt_name.c_str());
    return false;
  }
  const uint16_t size = static_cast<uint16_t>(header[kMztSize] | (header[kMztSize + 1] << 8));

  // Every change below is undone when a later step fails, so a failed store
  // leaves no block claimed without an entry and no entry half filled.
  UndoLog undo(vol);
  undo.save_system_record();
  const uint32_t start = allocate_blocks(vol, con, size);
  // A run outside the image or beyond 16-bit record numbers can only come
  // from a volume the load refuses; it is treated as no room.
  if (start == 0 || start > 0xFFFF || !vol.holds(uint64_t{start} * kRecordSize, size)) {
    undo.restore();
    con.err(msg::kNoSpace);
    return false;
  }

  const Resolution where = resolve_path(vol, con, path);
  if (!where.name || where.name->empty()) {
    undo.restore();
    if (where.name) {
      con.err(msg::kNoFileName);
    } else {
      report_unresolved(con, where);
    }
    return false;
  }
  const std::optional<EntryRef> e = first_free_entry(vol);
  if (!e) {
    undo.restore();
    con.err(msg::kDirectoryFull);
    return false;
  }

  undo.save(e->offset, kEntrySize);
  fill_entry(vol, *e, *where.name, header, static_cast<uint16_t>(start), encode_time_stamp(ctx.host_time));

  // The body goes straight into the run with one read; the bytes of the run
  // beyond it keep what they held.
  const uint64_t body_at = uint64_t{start} * kRecordSize;
  undo.save(body_at, size);
  const std::span<uint8_t> body = vol.bytes(body_at, size);
  if (size > 0 && mzt->read_at(kMztHeaderSize, body.data(), body.size()) != body.size()) {
    undo.restore();
    con.err(msg::kReadFailed, mzt_name.c_str());
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
  if (const std::optional<EntryRef> former = find_entry(ctx.vol, ctx.con, path)) {
    undo.save(former->offset, kEntrySize);
    if (!delete_file(ctx.vol, ctx.con, path)) {
      undo.restore();
      return false;
    }
  }
  if (!store_mzt_file(ctx, path, host_file)) {
    undo.restore();
    return false;
  }
  return true;
}

}  // namespace tarnwick
