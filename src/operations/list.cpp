#include "operations/list.h"

#include <utility>

#include "operations/volume_report.h"
#include "output/name_text.h"
#include "volume/path_text.h"

namespace tarnwick {

namespace {

// The bytes a file holds as the long listing tells them: the size field,
// which counts 32-byte units in a BRD file; a directory is its 8 records.
uint32_t listed_size(const Volume& vol, EntryRef e) {
  const uint32_t size = vol.file_size(e);
  switch (vol.mode(e)) {
    case mode::kBrd: return size * kBrdUnit;
    case mode::kDir: return kDirectorySize;
    default: return size;
  }
}

std::string name_field(const Volume& vol, EntryRef e) {
  std::string bytes;
  for (int i = 0; i < kNameFieldLength; ++i) {
    const uint8_t b = vol.field8(e, entry::kName + static_cast<uint32_t>(i));
    if (b == kNameEnd) break;
    bytes.push_back(static_cast<char>(b));
  }
  return bytes;
}

ListedEntry listed_entry(const Volume& vol, EntryRef e) {
  ListedEntry l;
  l.mode = vol.mode(e);
  l.name = entry_name_text(vol, e);
  l.name_bytes = name_field(vol, e);
  l.attribute = vol.field8(e, entry::kAttribute);
  l.size = listed_size(vol, e);
  l.load = vol.field16(e, entry::kLoadAddress);
  l.exec = vol.field16(e, entry::kExecAddress);
  l.stamp = vol.time_stamp(e);
  l.record = vol.start_record(e);
  return l;
}

std::vector<ListedEntry> listed_entries(const Volume& vol, uint32_t dir) {
  std::vector<ListedEntry> entries;
  for (const EntryRef e : directory_entries(dir)) {
    if (vol.mode(e) != mode::kFree) entries.push_back(listed_entry(vol, e));
  }
  return entries;
}

// The path, from the root, of the directories a resolution entered: their
// names joined by one '/' each.
std::string entered_path(const PathResult& r) {
  std::string path = "/";
  for (const char c : std::string_view(r.path).substr(0, r.entered)) {
    if (c != '/' || path.back() != '/') path += c;
  }
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Adds every directory below the first, depth first: a directory's
// subdirectories each follow it with everything below them before the
// next. The walk keeps its own stack, and enters each directory once.
void add_subdirectories(const Volume& vol, Listing& l, uint32_t top) {
  std::vector<bool> entered(vol.record_count(), false);
  if (top < entered.size()) entered[top] = true;
  std::vector<std::pair<size_t, size_t>> stack{{0, 0}};  // (directory, next entry)
  while (!stack.empty()) {
    auto& [d, next] = stack.back();
    if (next >= l.directories[d].entries.size()) {
      stack.pop_back();
      continue;
    }
    ListedEntry& e = l.directories[d].entries[next++];
    if (e.mode != mode::kDir || is_dot_name(e.name.c_str())) continue;
    const std::string& parent = l.directories[d].path;
    ListedDirectory sub{(parent == "/" ? "" : parent) + "/" + path_component(e.name), false, {}};
    if (!vol.holds_directory(e.record) || entered[e.record]) {
      sub.refused = true;
    } else {
      entered[e.record] = true;
      sub.entries = listed_entries(vol, e.record);
    }
    e.listing = static_cast<int>(l.directories.size());
    const bool refused = sub.refused;
    // `d`, `next` and `e` are not used past this point: the push may move them.
    l.directories.push_back(std::move(sub));
    if (!refused) stack.emplace_back(l.directories.size() - 1, 0);
  }
}

}  // namespace

Listing list_entries(const Volume& vol, std::string_view path, bool recursive) {
  Listing l;
  l.where = resolve_path(vol, path);
  report_missing_directory(l.lines, l.where);
  l.geometry = vol.geometry();
  l.directories.push_back({entered_path(l.where), false, listed_entries(vol, l.where.directory)});
  if (recursive) add_subdirectories(vol, l, l.where.directory);
  return l;
}

}  // namespace tarnwick
