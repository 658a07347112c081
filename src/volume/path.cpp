#include "volume/path.h"

#include <algorithm>

#include "output/name_text.h"
#include "volume/path_text.h"

namespace tarnwick {

std::string entry_name_text(const Volume& vol, EntryRef e) {
  std::string name;
  for (int i = 0; i < kNameFieldLength; ++i) {
    const uint8_t b = vol.field8(e, entry::kName + static_cast<uint32_t>(i));
    if (b == kNameEnd) return name;
    name.push_back(static_cast<char>(b));
  }
  return "<error>";
}

bool name_matches(const Volume& vol, std::string_view component, EntryRef e) {
  size_t i = 0;
  while (i < kNameLength && i < component.size() &&
         vol.field8(e, entry::kName + static_cast<uint32_t>(i)) == static_cast<uint8_t>(component[i])) {
    ++i;
  }
  return i > 0 && i == component.size() &&
         vol.field8(e, entry::kName + static_cast<uint32_t>(i)) == kNameEnd;
}

namespace {

enum class ComponentStatus {
  kInvalid,  // empty, or 17 characters or more
  kLast,     // the component ends the path
  kMore,     // the component is followed by '/'
};

// Splits the next component off `path` at `cursor` (moved past it). One
// leading '/' is skipped. The component is left in `component`.
ComponentStatus next_component(std::string_view path, size_t& cursor, std::string& component) {
  component.clear();
  if (cursor < path.size() && path[cursor] == '/') ++cursor;
  for (int read = 0; read < kNameFieldLength; ++read) {
    const bool at_end = cursor >= path.size();
    const char c = at_end ? '\0' : path[cursor];
    if (at_end || c == '/') {
      if (component.empty()) return ComponentStatus::kInvalid;
      if (at_end) return ComponentStatus::kLast;
      ++cursor;
      return ComponentStatus::kMore;
    }
    component.push_back(c);
    ++cursor;
  }
  return ComponentStatus::kInvalid;  // 17 characters without an end
}

// Where an invalid component at `start` leaves the resolution.
PathFault classify_invalid(std::string_view path, size_t start) {
  size_t pos = start;
  if (pos < path.size() && path[pos] == '/') ++pos;
  return pos >= path.size() ? PathFault::kEmptyLast : PathFault::kBadName;
}

// The first name of 17 characters or more in the path's text.
std::optional<std::string> first_too_long(std::string_view path) {
  for (size_t at = 0; at <= path.size();) {
    const size_t slash = std::min(path.find('/', at), path.size());
    if (slash - at > static_cast<size_t>(kNameLength)) return std::string(path.substr(at, slash - at));
    at = slash + 1;
  }
  return std::nullopt;
}

// The subdirectory `component` of `dir`, when it is there and inside the
// volume.
std::optional<uint32_t> subdirectory(const Volume& vol, uint32_t dir, std::string_view component) {
  for (const EntryRef e : directory_entries(dir)) {
    if (vol.mode(e) == mode::kDir && name_matches(vol, component, e)) {
      const uint32_t start = vol.start_record(e);
      return vol.holds_directory(start) ? std::optional<uint32_t>(start) : std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace

PathResult resolve_path(const Volume& vol, std::string_view path) {
  PathResult r;
  r.path = std::string(path);
  r.too_long = first_too_long(path);
  r.no_file_name = path.empty() || path.back() == '/';
  size_t cursor = 0;
  std::string component;
  for (;;) {
    const size_t start = cursor;
    switch (next_component(path, cursor, component)) {
      case ComponentStatus::kInvalid:
        r.fault = classify_invalid(path, start);
        return r;
      case ComponentStatus::kLast:
        r.name = name_of_component(component);
        r.entry = find_in_directory(vol, r.directory, *r.name);
        return r;
      case ComponentStatus::kMore:
        break;
    }
    const std::optional<uint32_t> next = subdirectory(vol, r.directory, name_of_component(component));
    if (!next) {
      r.fault = PathFault::kDirectoryMissing;
      r.component = component;
      return r;
    }
    r.directory = *next;
    r.entered = cursor;
  }
}

std::optional<EntryRef> find_in_directory(const Volume& vol, uint32_t dir, std::string_view name) {
  for (const EntryRef e : directory_entries(dir)) {
    if (vol.mode(e) != mode::kFree && name_matches(vol, name, e)) return e;
  }
  return std::nullopt;
}

std::optional<EntryRef> first_free_entry(const Volume& vol, uint32_t dir) {
  for (const EntryRef e : directory_entries(dir)) {
    if (vol.mode(e) == mode::kFree) return e;
  }
  return std::nullopt;
}

}  // namespace tarnwick
