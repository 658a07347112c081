#include "commands/list.h"

#include <string>

#include "commands/volume_report.h"
#include "volume/path.h"
#include "volume/timestamp.h"

namespace tarnwick {

namespace {

// The bytes a file holds as the long listing tells them: the size field,
// which counts 32-byte units in a BRD file; a directory is its 8 records.
unsigned listed_size(const Volume& vol, EntryRef e) {
  const unsigned size = vol.file_size(e);
  switch (vol.mode(e)) {
    case mode::kBrd: return size * kBrdUnit;
    case mode::kDir: return kDirectorySize;
    default: return size;
  }
}

void print_long_additions(const Volume& vol, Console& con, EntryRef e) {
  con.out(msg::kListSize, listed_size(vol, e));
  const uint8_t m = vol.mode(e);
  if (m == mode::kObj || m == mode::kBtx) {
    con.out(msg::kListAddresses, unsigned{vol.field16(e, entry::kLoadAddress)},
            unsigned{vol.field16(e, entry::kExecAddress)});
  }
}

// Free blocks are the blocks the system record does not count as used; a
// count of used blocks beyond the total leaves none.
void print_free_space(const Volume& vol, Console& con) {
  const Geometry g = vol.geometry();
  const unsigned total = static_cast<unsigned>(g.total_blocks);
  const unsigned used = static_cast<unsigned>(g.used_blocks);
  const unsigned free_blocks = used < total ? total - used : 0;
  con.out(msg::kListFree, free_blocks * static_cast<unsigned>(g.bytes_per_block), free_blocks, total);
}

}  // namespace

void list_directory(const Volume& vol, Console& con, std::string_view path, Listing listing) {
  // A path ending in '/' resolves to no name; the listing only needs where
  // the walk stopped.
  const uint32_t dir = resolve_path(vol, con, path).directory;

  for (const EntryRef e : directory_entries(dir)) {
    const uint8_t m = vol.mode(e);
    if (m == mode::kFree) continue;

    const char mark = (vol.field8(e, entry::kAttribute) & 0x01) ? '*' : ' ';
    con.out(msg::kListLabel, mode_label(m), static_cast<int>(mark));

    // Shown between double quotes; in the catalogue's bytes a NUL byte in
    // the name ends it there, as a C text.
    con.out(msg::kListName, entry_name_text(vol, e));

    const StampDisplay s = display_time_stamp(vol.time_stamp(e));
    con.out(msg::kListStamp, s.year, s.month, s.day, s.hour, s.minute);

    con.trace(msg::kListStartRecord, static_cast<unsigned>(vol.start_record(e)));
    if (listing == Listing::kLong) print_long_additions(vol, con, e);
    con.out(msg::kNewline);
  }
  if (listing == Listing::kLong) print_free_space(vol, con);
}

}  // namespace tarnwick
