// Folders held open as handles on the real host (see HostFolder in file.h).
// One implementation per platform: host_folder_posix.cpp,
// host_folder_win32.cpp.
#pragma once

#include <memory>

#include "host/file.h"
#include "host/host_path.h"

namespace tarnwick {

// Opens an existing folder of the real host; nothing when it is no folder
// or cannot be opened.
std::unique_ptr<HostFolder> open_native_folder(const HostPath& path);

// A pause for the end-to-end tests, which change the host tree in the
// moment after a folder is made and before it is opened:
// TARNWICK_TEST_FOLDER_PAUSE_MS in the environment gives its length in
// milliseconds (none when unset).
void pause_after_making_folder();

}  // namespace tarnwick
