// L: a directory's entries as values.
//
// The path is resolved as far as it goes and the deepest directory it
// reached is listed whatever resolution gave: "/" and "A/B/" list those
// directories, "A/B" lists A, and a path that fails lists the deepest
// directory entered. Every used entry is listed, in entry order, "." and
// ".." included. A recursive listing adds, depth first in the order the
// entries come, every subdirectory below it; one met twice (a loop in a
// damaged volume) or lying outside the volume is not listed again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "output/report.h"
#include "volume/path.h"
#include "volume/volume.h"

namespace tarnwick {

// One entry as the listing tells it.
struct ListedEntry {
  uint8_t mode = 0;
  std::string name;        // up to the name's end, or "<error>" when it has none
  std::string name_bytes;  // the name field up to its end (all 17 bytes when it has none)
  uint8_t attribute = 0;
  uint32_t size = 0;  // in bytes: a BRD file's 32-byte units counted out, a directory its 8 records
  uint16_t load = 0;
  uint16_t exec = 0;
  TimeStamp stamp{};
  uint16_t record = 0;  // the start record
  // In a recursive listing, for a subdirectory other than "." and "..": the
  // index of its listing among the listing's directories.
  static constexpr int kNone = -1;
  int listing = kNone;
};

struct ListedDirectory {
  // Its path from the root, names joined by '/' ("/" for the root, a '/'
  // inside a name as in a path's text: volume/path.h).
  std::string path;
  // Met before, or not inside the volume: not listed.
  bool refused = false;
  std::vector<ListedEntry> entries;
};

struct Listing {
  PathResult where;  // how the path resolved
  Report lines;      // what resolving it said
  // The directory the path led to, then (recursive) those below it.
  std::vector<ListedDirectory> directories;
  Geometry geometry;  // the volume's, for its free space
};

Listing list_entries(const Volume& vol, std::string_view path, bool recursive = false);

}  // namespace tarnwick
