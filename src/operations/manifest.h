// The record X leaves of a tree it took out, and A reads to put it back as
// it was: the file .tarnwick.json at the top of the host folder.
//
// It is one JSON document:
//   {"format": 1, "path": the directory taken out, "/" joined from the root,
//    "entries": [{"name", "name_bytes", "type", "mode", "size", "load",
//                 "exec", "date", "stamp", "attribute" (as L's document
//                 has them), "host": the host file or folder that holds
//                 the entry, or null, "entries": [...] (a directory with
//                 a host folder)}]}
// Each directory's entries come in entry order, "." and ".." included
// (with no host file: A gives their attribute and stamp to a directory it
// makes); files X does not write are left out. A reads "mode",
// "name_bytes", "attribute", "load", "exec", "stamp", "host" and
// "entries", and passes over the other members.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "operations/list.h"

namespace tarnwick {

// The manifest's name in the top folder.
inline constexpr std::u32string_view kManifestName = U".tarnwick.json";
// The longest manifest A reads.
inline constexpr size_t kManifestMost = size_t{8} << 20;

struct ManifestEntry {
  ListedEntry entry;                 // what A reads of it: as listed_entry() gives it
  std::optional<std::u32string> host;  // the host name of its file or folder
  int dir = -1;                      // a directory's own entries: an index into the manifest
};

// The entries of each directory; the first is the top folder's.
using Manifest = std::vector<std::vector<ManifestEntry>>;

// The document of a manifest of the tree below `path`.
std::string manifest_document(std::string_view path, const Manifest& manifest);

// Why a text is no manifest.
struct ManifestFault {
  bool json = true;  // false: the text is no JSON document at all
  size_t line = 0;   // then where its reading stopped
};

// The manifest a document holds, every member A reads checked: a name of 1
// to 16 bytes without 0x0D, numbers within their fields, a stamp of 4
// bytes, a host name that is one component, given once in its directory,
// for an entry not named "." or "..". A name given before in its directory
// is left empty: the entry takes its host file's name. Nothing, with why in
// `fault`, for anything else.
std::optional<Manifest> read_manifest(std::string_view text, ManifestFault& fault);

}  // namespace tarnwick
