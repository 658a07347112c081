// Paths inside a volume: components separated by '/', resolved from the
// root directory through subdirectories, the current directory moving as
// the walk goes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "output/console.h"
#include "volume/volume.h"

namespace tarnwick {

// The entry's file name up to its 0x0D (0-16 bytes), or "<error>" when name
// bytes 1-17 hold no 0x0D.
std::string entry_name_text(const Volume& vol, EntryRef e);

enum class ComponentStatus {
  kInvalid = -1,  // empty, or 17 characters or more
  kLast = 0,      // the component ends the path
  kMore = 1,      // the component is followed by '/'
};

// Splits the next component off `path` at `cursor` (moved past it). One
// leading '/' is skipped. The component is left in `component`.
ComponentStatus next_path_component(std::string_view path, size_t& cursor, std::string& component);

// True when the entry's file name is exactly `component`, ended by 0x0D.
bool name_matches(const Volume& vol, std::string_view component, EntryRef e);

// Why a resolution gave no name, for callers that report it themselves.
enum class ResolveFailure {
  kNone,
  kDirectoryMissing,  // reported: "ディレクトリ '%s' が見つかりません"
  kEmptyLast,         // the path is empty or ends in '/'
  kTooLongLast,       // the last component has 17 characters or more
  kInvalidMiddle,     // an empty or over-long component before the last
};

struct Resolution {
  std::optional<std::string> name;  // the last component, when resolved
  ResolveFailure failure = ResolveFailure::kNone;
  std::string bad_component;        // the over-long last component
};

// Walks `path` from the root, leaving vol.current_directory at the last
// directory entered (also on failure). Returns the last component's text.
Resolution resolve_path(Volume& vol, Console& con, std::string_view path);
inline std::optional<std::string> resolve_directory(Volume& vol, Console& con, std::string_view path) {
  return resolve_path(vol, con, path).name;
}

// The first used entry of the path's directory whose name is the path's last
// component. Prints "FILE: %s" and "File '%s' found." in verbose mode.
std::optional<EntryRef> find_entry(Volume& vol, Console& con, std::string_view path);

// The first used entry of the current directory named `name`.
std::optional<EntryRef> find_in_current_directory(const Volume& vol, std::string_view name);

}  // namespace tarnwick
