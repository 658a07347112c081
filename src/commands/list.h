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
void list_directory(const Volume& vol, Console& con, std::string_view path);

}  // namespace tarnwick
