#include "commands/list.h"

#include <string>

#include "volume/path.h"
#include "volume/timestamp.h"

namespace tarnwick {

void list_directory(const Volume& vol, Console& con, std::string_view path) {
  // A path ending in '/' resolves to no name; the listing only needs where
  // the walk stopped.
  const uint32_t dir = resolve_path(vol, con, path).directory;

  for (const EntryRef e : directory_entries(dir)) {
    const uint8_t m = vol.mode(e);
    if (m == mode::kFree) continue;

    const char mark = (vol.field8(e, entry::kAttribute) & 0x01) ? '*' : ' ';
    con.out(msg::kListLabel, mode_label(m), static_cast<int>(mark));

    // The name is a C text: a NUL byte in the name field ends it there.
    const std::string quoted = std::string("\"") + entry_name_text(vol, e).c_str() + "\"";
    con.out(msg::kListName, quoted.c_str());

    const StampDisplay s = display_time_stamp(vol.time_stamp(e));
    con.out(msg::kListStamp, s.year, s.month, s.day, s.hour, s.minute);

    con.trace(msg::kListStartRecord, static_cast<unsigned>(vol.start_record(e)));
    con.out(msg::kNewline);
  }
}

}  // namespace tarnwick
