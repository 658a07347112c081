#include "commands/delete.h"

#include "volume/alloc.h"
#include "volume/path.h"

namespace tarnwick {

namespace {

// OBJ and BTX: one record for each 256 bytes of the size begun, from the
// start record on. A file of size 0 still holds the one block its
// allocation gave it, so that block is released too. False when the
// records run out of the data blocks (released up to there).
bool release_contiguous(Volume& vol, Console& con, uint32_t start, uint32_t size) {
  if (size == 0) {
    if (start != 0) release_block(vol, con, start);
    return true;
  }
  const uint32_t records = (size + kRecordSize - 1) / kRecordSize;
  for (uint32_t k = 0; k < records; ++k) {
    if (!is_data_record(vol, start + k)) return false;
    release_block(vol, con, start + k);
  }
  return true;
}

// BSD: every record of the chain. A link leaving the data blocks ends the
// walk there, and so does a chain longer than the volume has records (it
// must loop). False in both cases.
bool release_chain(Volume& vol, Console& con, uint32_t start) {
  uint32_t steps = vol.record_count();
  for (uint32_t r = start; r != 0; r = vol.le16(uint64_t{r} * kRecordSize + kChainLink)) {
    if (!is_data_record(vol, r) || steps == 0) return false;
    --steps;
    release_block(vol, con, r);
  }
  return true;
}

// BRD: the index record, then the 16-record run of each slot up to the
// first slot holding 0. An index or a run outside the data blocks ends the
// walk before any of it is released. False then.
bool release_indexed(Volume& vol, Console& con, uint32_t index) {
  if (!is_data_record(vol, index)) return false;
  release_block(vol, con, index);
  for (int k = 0; k < kIndexSlots; ++k) {
    const uint32_t run = vol.le16(uint64_t{index} * kRecordSize + 2u * static_cast<uint32_t>(k));
    if (run == 0) break;
    for (uint32_t j = 0; j < kRunRecords; ++j) {
      if (!is_data_record(vol, run + j)) return false;
    }
    for (uint32_t j = 0; j < kRunRecords; ++j) release_block(vol, con, run + j);
  }
  return true;
}

}  // namespace

std::optional<EntryRef> delete_file(Volume& vol, Console& con, std::string_view path) {
  const std::optional<std::string> name = resolve_directory(vol, con, path);
  if (!name) return std::nullopt;
  con.trace(msg::kFileTrace, name->c_str());

  std::optional<EntryRef> first_free;
  std::optional<EntryRef> file;
  for (int i = 1; i < kEntriesPerDirectory && !file; ++i) {
    const EntryRef e = Volume::entry_at(vol.current_directory, i);
    if (vol.mode(e) == mode::kFree) {
      if (!first_free) first_free = e;
    } else if (name_matches(vol, *name, e)) {
      file = e;
    }
  }
  if (!file) return first_free;
  con.trace(msg::kFileFound, name->c_str());

  const uint8_t m = vol.mode(*file);
  const uint32_t start = vol.start_record(*file);
  const uint32_t size = vol.file_size(*file);
  bool sound = true;
  switch (m) {
    case mode::kObj:
    case mode::kBtx:
      sound = release_contiguous(vol, con, start, size);
      break;
    case mode::kBsd:
      sound = release_chain(vol, con, start);
      break;
    case mode::kBrd:
      sound = release_indexed(vol, con, start);
      break;
    case mode::kDir:
      con.err(msg::kIsDirectory, name->c_str());
      return std::nullopt;
    default:
      con.err(msg::kUnsupportedMode, unsigned{m});
      return std::nullopt;
  }
  // The file goes all the same: what could be released is free again, and a
  // damaged file that cannot be deleted would stay in the way for good.
  if (!sound) con.err(msg::kDataDamaged, name->c_str());
  vol.set_field8(*file, entry::kMode, mode::kFree);
  return file;
}

bool command_delete(RunContext& ctx, const std::string& path) {
  if (!find_entry(ctx.vol, ctx.con, path)) {
    ctx.con.err(msg::kPathNotFound, path.c_str());
    return false;
  }
  return delete_file(ctx.vol, ctx.con, path).has_value();
}

}  // namespace tarnwick
