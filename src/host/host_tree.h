// Host folders read as a tree: what a folder holds, without following
// links, and the names of its entries as text.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/host_path.h"
#include "host/host_time.h"

namespace tarnwick {

// What a folder entry is by itself: a link is kOther whatever it leads to,
// as are pipes, devices and sockets.
enum class EntryKind { kFile, kFolder, kOther };

struct FolderEntry {
  NativeString name;                // the entry's own name, no separator
  EntryKind kind = EntryKind::kOther;
  std::optional<HostTime> time;     // last-write time as local time, seconds dropped
};

// A host name as code points: UTF-8 on POSIX systems, UTF-16 on Windows,
// decoded strictly (nothing for bytes or units that form no character), so
// that native_text() gives the same native name back.
std::optional<std::u32string> name_code_points(const NativeString& name);

// A native path or name as bytes for messages: unchanged on POSIX, in the
// ANSI code page on Windows (as command-line text arrives there).
std::string printable_text(const NativeString& text);

namespace platform {

// The entries of a folder, "." and ".." left out, in the order the system
// gives them. False when the folder cannot be read to its end.
bool list_folder(const NativeString& path, std::vector<FolderEntry>& entries);

// The last-write time of a file or folder (links followed), local time.
std::optional<HostTime> path_time(const NativeString& path);

}  // namespace platform

}  // namespace tarnwick
