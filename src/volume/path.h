// Paths inside a volume: components separated by '/', resolved from the
// root directory through subdirectories. A component's 0x0D stands for a
// '/' of the name (output/name_text.h). A resolution is a value: the
// directory it reached, the last component's text and the entry it names,
// handed to whatever works on the path next, so each path is walked once.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "volume/volume.h"

namespace tarnwick {

// The entry's file name up to its 0x0D (0-16 bytes), or "<error>" when name
// bytes 1-17 hold no 0x0D.
std::string entry_name_text(const Volume& vol, EntryRef e);

// True when the entry's file name is exactly `component`, ended by 0x0D.
bool name_matches(const Volume& vol, std::string_view component, EntryRef e);

// Where resolving a path stopped, when it named no place for an entry.
enum class PathFault {
  kNone,
  kDirectoryMissing,  // a directory on the way is not there (`component`)
  kEmptyLast,         // the path is empty or ends in '/': every directory entered
  kBadName,           // an empty name inside the path, or one of 17 characters or more
};

// A path resolved from the root: every directory it passes through entered,
// then the entry its last component names looked up there. Each step
// enters a directory or ends, and every step consumes at least one
// character of the path, so a resolution is bounded by the path's length.
struct PathResult {
  std::string path;                           // as given
  uint32_t directory = kRootDirectoryRecord;  // the deepest directory entered
  size_t entered = 0;                         // how much of the path led there
  std::optional<std::string> name;            // the last component's name, when the path names one
  std::optional<EntryRef> entry;              // the used entry of `directory` named so
  PathFault fault = PathFault::kNone;
  std::string component;                      // the directory that was not found, as the path has it
  // What the path's text says, wherever the resolution stopped: its first
  // name of 17 characters or more, and whether it ends where a file's name
  // should be (empty, or ending in '/').
  std::optional<std::string> too_long;
  bool no_file_name = false;

  const std::string& last() const { return *name; }  // only when there is a name
};

// Resolves `path`; a directory on the way that is not there (or lies outside
// the volume) ends the walk with kDirectoryMissing.
PathResult resolve_path(const Volume& vol, std::string_view path);

// The first used entry of directory `dir` named `name`.
std::optional<EntryRef> find_in_directory(const Volume& vol, uint32_t dir, std::string_view name);

// The first free entry of directory `dir`.
std::optional<EntryRef> first_free_entry(const Volume& vol, uint32_t dir);

// True for "." and "..", the entries that lead to a directory itself and to
// its parent.
inline bool is_dot_name(std::string_view name) { return name == "." || name == ".."; }

// True for a path of nothing but '/': the root.
inline bool names_the_root(std::string_view path) { return path.find_first_not_of('/') == std::string_view::npos; }

// The directory a path's last component lies in, as the path names it:
// "A/B" for "A/B/C", "/" for "C" or "/C".
inline std::string parent_text(std::string_view path) {
  size_t end = path.rfind('/');
  if (end == std::string_view::npos) return "/";
  while (end > 0 && path[end - 1] == '/') --end;
  return end == 0 ? std::string("/") : std::string(path.substr(0, end));
}

// A path as a directory is named by it: with a '/' at its end (L lists and X
// takes out the directory "A/B" names, not an entry of A).
inline std::string directory_path(std::string_view path) {
  std::string p(path);
  if (!p.empty() && p.back() != '/') p += '/';
  return p;
}

}  // namespace tarnwick
