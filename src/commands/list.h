// L: list a directory.
#pragma once

#include <string_view>

#include "app/console.h"
#include "volume/volume.h"

namespace tarnwick {

// Prints one line per used entry of the directory the path leads to.
void list_directory(Volume& vol, Console& con, std::string_view path);

}  // namespace tarnwick
