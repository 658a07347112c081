#include "volume/path.h"

#include <algorithm>

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

ComponentStatus next_path_component(std::string_view path, size_t& cursor, std::string& component) {
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

// Classifies an invalid component at `start` for callers that report it.
void classify_invalid(std::string_view path, size_t start, Resolution& r) {
  size_t pos = start;
  if (pos < path.size() && path[pos] == '/') ++pos;
  const size_t slash = path.find('/', pos);
  if (pos >= path.size()) {
    r.failure = ResolveFailure::kEmptyLast;
  } else if (slash == std::string_view::npos) {
    r.failure = ResolveFailure::kTooLongLast;
    r.bad_component = std::string(path.substr(pos));
  } else {
    r.failure = ResolveFailure::kInvalidMiddle;
  }
}

}  // namespace

PathFaultInfo path_fault(std::string_view path) {
  for (size_t at = 0; at <= path.size();) {
    const size_t slash = std::min(path.find('/', at), path.size());
    if (slash - at > static_cast<size_t>(kNameLength)) {
      return {PathFault::kNameTooLong, std::string(path.substr(at, slash - at))};
    }
    at = slash + 1;
  }
  if (path.empty() || path.back() == '/') return {PathFault::kNoFileName, {}};
  return {PathFault::kNotFound, {}};
}

Resolution resolve_path(const Volume& vol, std::string_view path) {
  Resolution r;
  size_t cursor = 0;
  std::string component;
  // Each step enters a directory or ends, and every step consumes at least
  // one character of the path, so the walk is bounded by the path's length.
  for (;;) {
    const size_t start = cursor;
    switch (next_path_component(path, cursor, component)) {
      case ComponentStatus::kInvalid:
        classify_invalid(path, start, r);
        return r;
      case ComponentStatus::kLast:
        r.name = component;
        return r;
      case ComponentStatus::kMore:
        break;
    }
    std::optional<uint32_t> next;
    for (const EntryRef e : directory_entries(r.directory)) {
      if (vol.mode(e) == mode::kDir && name_matches(vol, component, e)) {
        next = vol.start_record(e);
        break;
      }
    }
    // A subdirectory whose records lie outside the volume counts as missing.
    if (!next || !vol.holds_directory(*next)) {
      r.failure = ResolveFailure::kDirectoryMissing;
      r.bad_component = component;
      return r;
    }
    r.directory = *next;
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

Lookup lookup_path(const Volume& vol, std::string_view path) {
  Lookup l{std::string(path), resolve_path(vol, path), std::nullopt};
  if (l.resolution.name) l.entry = find_in_directory(vol, l.resolution.directory, l.name());
  return l;
}

std::optional<EntryRef> find_entry(const Volume& vol, std::string_view path) {
  return lookup_path(vol, path).entry;
}

}  // namespace tarnwick
