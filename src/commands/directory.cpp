#include "commands/directory.h"

#include <string_view>

#include "commands/delete.h"
#include "commands/volume_report.h"
#include "volume/alloc.h"
#include "volume/blank.h"
#include "volume/path.h"
#include "volume/timestamp.h"

namespace tarnwick {

namespace {

constexpr uint8_t kDirectoryAttribute = 0x80;

// Entry bytes as a blank directory holds them: the name field all 0x0D (the
// 17th byte too), every other byte 0.
void blank_entry(Volume& vol, EntryRef e) {
  for (uint32_t k = 0; k < kEntrySize; ++k) vol.set_field8(e, k, 0);
  for (uint32_t k = 0; k < static_cast<uint32_t>(kNameFieldLength); ++k) vol.set_field8(e, entry::kName + k, kNameEnd);
}

// A DIR entry: mode 15, the name with its 0x0D fill, attribute 0x80, the
// size and address fields 0.
void directory_entry(Volume& vol, EntryRef e, std::string_view name, const TimeStamp& stamp, uint32_t start) {
  blank_entry(vol, e);
  vol.set_field8(e, entry::kMode, mode::kDir);
  for (uint32_t k = 0; k < name.size() && k < static_cast<uint32_t>(kNameLength); ++k) {
    vol.set_field8(e, entry::kName + k, static_cast<uint8_t>(name[k]));
  }
  vol.set_field8(e, entry::kAttribute, kDirectoryAttribute);
  vol.set_time_stamp(e, stamp);
  vol.set_field16(e, entry::kStartRecord, static_cast<uint16_t>(start));
}

// Looks the path up, reporting why it leads nowhere in the words of M and K,
// which name the whole path. Nothing after that report.
std::optional<Lookup> look_up_for_directory(const Volume& vol, Console& con, const std::string& path) {
  Lookup l = lookup_path(vol, path);
  if (l.resolution.name) return l;
  switch (path_fault(path).fault) {
    case PathFault::kNameTooLong: con.err(msg::kNameTooLong, as_volume_path(path)); break;
    case PathFault::kNoFileName: con.err(msg::kNoFileName); break;
    case PathFault::kNotFound: con.err(msg::kDirectoryNotFound, path.c_str()); break;
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

// The root: a path of nothing but '/'.
bool names_the_root(std::string_view path) { return path.find_first_not_of('/') == std::string_view::npos; }

}  // namespace

bool make_directory(Volume& vol, Console& con, const std::string& path, const HostTime& now) {
  const std::optional<Lookup> target = look_up_for_directory(vol, con, path);
  if (!target) return false;
  const uint32_t parent = target->resolution.directory;
  if (target->entry || is_dot_name(target->name())) {
    con.err(msg::kAlreadyExists, as_volume_path(path));
    return false;
  }
  const std::optional<EntryRef> e = first_free_entry(vol, parent);
  if (!e) {
    con.err(msg::kDirectoryFull);
    return false;
  }
  const uint32_t start = allocate_blocks(vol, kDirectorySize, alloc_trace(con));
  // A run beyond 16-bit record numbers can only come from a volume the load
  // refuses; it is treated as no room. allocate_blocks changed nothing then
  // unless it found a run, which is given back.
  if (start == 0 || start > 0xFFFF || !vol.holds_directory(start)) {
    if (start != 0) {
      const AllocTrace trace = alloc_trace(con);
      for (uint32_t r = start; r < start + kDirectoryRecords; ++r) release_block(vol, r, trace);
    }
    con.err(msg::kNoSpace);
    return false;
  }
  write_new_directory(vol, *e, target->name(), encode_time_stamp(now), start, parent);
  return true;
}

void write_new_directory(Volume& vol, EntryRef e, std::string_view name, const TimeStamp& stamp, uint32_t start,
                         uint32_t parent) {
  directory_entry(vol, e, name, stamp, start);
  write_blank_directory(vol, start);
  directory_entry(vol, Volume::entry_at(start, 1), ".", stamp, start);
  directory_entry(vol, Volume::entry_at(start, 2), "..", stamp, parent);
}

bool remove_directory(Volume& vol, Console& con, const std::string& path) {
  if (names_the_root(path)) {
    con.err(msg::kCannotDelete, path.c_str());
    return false;
  }
  const std::optional<Lookup> target = look_up_for_directory(vol, con, path);
  if (!target) return false;
  if (is_dot_name(target->name())) {
    con.err(msg::kCannotDelete, path.c_str());
    return false;
  }
  if (!target->entry) {
    con.err(msg::kPathNotFound, as_volume_path(path));
    return false;
  }
  const EntryRef e = *target->entry;
  if (vol.mode(e) != mode::kDir) {
    con.err(msg::kNotADirectory, path.c_str());
    return false;
  }
  const uint32_t dir = vol.start_record(e);
  if (!vol.holds_directory(dir) || !holds_only_dots(vol, dir)) {
    con.err(msg::kDirectoryNotEmpty, path.c_str());
    return false;
  }
  if (!release_file(vol, con, e)) con.err(msg::kDataDamaged, path.c_str());
  vol.set_field8(e, entry::kMode, mode::kFree);
  return true;
}

}  // namespace tarnwick
