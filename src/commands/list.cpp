#include "commands/list.h"

#include <array>
#include <string>

#include "volume/path.h"
#include "volume/timestamp.h"

namespace tarnwick {

void list_directory(Volume& vol, Console& con, std::string_view path) {
  // A path ending in '/' resolves to no name; the listing only needs where
  // the walk stopped.
  (void)resolve_directory(vol, con, path);
  const uint32_t dir = vol.current_directory;

  for (int i = 1; i < kEntriesPerDirectory; ++i) {
    const EntryRef e = Volume::entry_at(dir, i);
    const uint8_t m = vol.mode(e);
    if (m == mode::kFree) continue;

    const char mark = (vol.field8(e, entry::kAttribute) & 0x01) ? '*' : ' ';
    con.out(msg::kListLabel, mode_label(m), static_cast<int>(mark));

    // The name is a C text: a NUL byte in the name field ends it there.
    const std::string quoted = std::string("\"") + entry_name_text(vol, e).c_str() + "\"";
    con.out(msg::kListName, quoted.c_str());

    std::array<uint8_t, 4> stamp{};
    for (uint32_t k = 0; k < stamp.size(); ++k) stamp[k] = vol.field8(e, entry::kTimeStamp + k);
    const StampDisplay s = display_time_stamp(stamp);
    con.out(msg::kListStamp, s.year, s.month, s.day, s.hour, s.minute);

    con.trace(msg::kListStartRecord, static_cast<unsigned>(vol.start_record(e)));
    con.out(msg::kNewline);
  }
}

}  // namespace tarnwick
