// L: list a directory.
#pragma once

#include <string_view>

#include "output/console.h"
#include "volume/volume.h"

namespace tarnwick {

// Prints one line per used entry of the directory the path leads to. The
// path is resolved as far as it goes and the deepest directory it reached is
// listed whatever resolution gave: "/" and "A/B/" list those directories, "A/B"
// lists A, and a path that fails lists the deepest directory entered.
//
// A line is the mode label and '*' (attribute bit 0) or a space, the quoted
// name padded to 18 bytes, the time stamp's raw bit groups in hexadecimal
// and, in verbose mode, the start record:
//    OBJ  "GAME"            '98/12/31 23:59 01A0
//
// The long listing adds to each line the size in bytes and, for OBJ and BTX
// files, the load and execution addresses, and after the last line the free
// space of the volume:
//    OBJ  "GAME"            '98/12/31 23:59     1000 2000 2000
//    BSD  "SCORES"          '88/02/29 23:59      700
//   空き 65536 バイト (64 / 100 ブロック)
enum class Listing { kShort, kLong };
void list_directory(const Volume& vol, Console& con, std::string_view path, Listing listing = Listing::kShort);

}  // namespace tarnwick
