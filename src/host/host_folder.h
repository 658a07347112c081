// Folders held open as handles on the real host (see HostFolder in file.h).
// One implementation per platform: host_folder_posix.cpp,
// host_folder_win32.cpp.
#pragma once

#include <functional>
#include <memory>

#include "host/file.h"
#include "host/host_path.h"

namespace tarnwick {

// Opens an existing folder of the real host; nothing when it is no folder
// or cannot be opened. `after_making_folder`, when it holds a call, runs
// each time a folder below has been made and before it is opened (see
// make_native_host); it must outlive the folders.
std::unique_ptr<HostFolder> open_native_folder(const HostPath& path, const std::function<void()>& after_making_folder);

}  // namespace tarnwick
