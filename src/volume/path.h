// Paths inside a volume: components separated by '/', resolved from the
// root directory through subdirectories. A resolution is a value: the
// directory it reached and the last component's text, handed to whatever
// works on the path next, so each path is walked once.
#pragma once

#include <optional>
#include <string>
#include <string_view>

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
  kDirectoryMissing,  // a directory on the way is not there
  kEmptyLast,         // the path is empty or ends in '/'
  kTooLongLast,       // the last component has 17 characters or more
  kInvalidMiddle,     // an empty or over-long component before the last
};

struct Resolution {
  // The deepest directory entered, also when the resolution failed.
  uint32_t directory = kRootDirectoryRecord;
  std::optional<std::string> name;  // the last component, when resolved
  ResolveFailure failure = ResolveFailure::kNone;
  // The over-long last component, or the directory that was not found.
  std::string bad_component;
};

// Why a path that resolution gave no name for names nothing, the first that
// applies: a component of more than 16 characters anywhere (`component`), a
// path that is empty or ends in '/', or a directory on the way that is not
// there (or an empty component inside the path).
enum class PathFault { kNameTooLong, kNoFileName, kNotFound };
struct PathFaultInfo {
  PathFault fault;
  std::string component;
};
PathFaultInfo path_fault(std::string_view path);

// Walks `path` from the root. A directory on the way that is not there ends
// the walk: kDirectoryMissing, with its name in `bad_component`.
Resolution resolve_path(const Volume& vol, std::string_view path);

// The first used entry of directory `dir` named `name`.
std::optional<EntryRef> find_in_directory(const Volume& vol, uint32_t dir, std::string_view name);

// The first free entry of directory `dir`.
std::optional<EntryRef> first_free_entry(const Volume& vol, uint32_t dir);

// True for "." and "..", the entries that lead to a directory itself and to
// its parent.
inline bool is_dot_name(std::string_view name) { return name == "." || name == ".."; }

// A path as a directory is named by it: with a '/' at its end (L lists and X
// takes out the directory "A/B" names, not an entry of A).
inline std::string directory_path(std::string_view path) {
  std::string p(path);
  if (!p.empty() && p.back() != '/') p += '/';
  return p;
}

// A path looked up once: where its resolution went and the used entry it
// names there, if any.
struct Lookup {
  std::string path;
  Resolution resolution;
  std::optional<EntryRef> entry;
  const std::string& name() const { return *resolution.name; }  // only when resolved
};
Lookup lookup_path(const Volume& vol, std::string_view path);

// The first used entry of the path's directory whose name is the path's last
// component.
std::optional<EntryRef> find_entry(const Volume& vol, std::string_view path);

}  // namespace tarnwick
