#include "operations/manifest.h"

#include <algorithm>
#include <set>
#include <utility>

#include "codecs/json.h"
#include "host/unicode.h"
#include "volume/format.h"

namespace tarnwick {

namespace {

void write_manifest_entry(JsonWriter& w, const ManifestEntry& m) {
  w.begin_object();
  write_entry_members(w, m.entry, false);
  w.key("host");
  if (m.host) {
    w.text(encode_utf8(*m.host));
  } else {
    w.null();
  }
  if (m.dir >= 0) w.key("entries").begin_array();
}

// A host name A can take: one component, neither "." nor "..".
bool is_one_component(const std::u32string& name) {
  if (name.empty() || name == U"." || name == U"..") return false;
  return std::none_of(name.begin(), name.end(), [](char32_t c) { return c == U'/' || c == U'\\' || c == 0; });
}

// The members A reads of one entry; false when one of them is missing or
// out of its range.
bool read_entry(const JsonValue& v, ManifestEntry& m) {
  const JsonValue* name = v.member("name_bytes");
  const JsonValue* stamp = v.member("stamp");
  const JsonValue* host = v.member("host");
  const std::optional<int64_t> mode = v.member("mode") ? v.member("mode")->integer(1, 255) : std::nullopt;
  const std::optional<int64_t> attribute = v.member("attribute") ? v.member("attribute")->integer(0, 255) : std::nullopt;
  const std::optional<int64_t> load = v.member("load") ? v.member("load")->integer(0, 0xFFFF) : std::nullopt;
  const std::optional<int64_t> exec = v.member("exec") ? v.member("exec")->integer(0, 0xFFFF) : std::nullopt;
  if (!name || !stamp || !host || !mode || !attribute || !load || !exec) return false;
  if (name->kind != JsonValue::Kind::kText || stamp->kind != JsonValue::Kind::kText) return false;
  const std::optional<std::string> bytes = bytes_of_hex(name->text);
  const std::optional<std::string> stamp_bytes = bytes_of_hex(stamp->text);
  if (!bytes || bytes->empty() || bytes->size() > static_cast<size_t>(kNameLength) ||
      bytes->find(static_cast<char>(kNameEnd)) != std::string::npos || !stamp_bytes || stamp_bytes->size() != 4) {
    return false;
  }
  m.entry.mode = static_cast<uint8_t>(*mode);
  m.entry.name = m.entry.name_bytes = *bytes;
  m.entry.attribute = static_cast<uint8_t>(*attribute);
  m.entry.load = static_cast<uint16_t>(*load);
  m.entry.exec = static_cast<uint16_t>(*exec);
  std::copy(stamp_bytes->begin(), stamp_bytes->end(), m.entry.stamp.begin());
  if (host->kind == JsonValue::Kind::kNull) return true;
  std::optional<std::u32string> host_name =
      host->kind == JsonValue::Kind::kText ? decode_utf8(host->text) : std::nullopt;
  // "." and ".." lead to a directory itself and to its parent.
  if (!host_name || !is_one_component(*host_name) || *bytes == "." || *bytes == "..") return false;
  m.host = std::move(*host_name);
  return true;
}

// Reads the entries of one directory into manifest[dir], queuing those of
// its subdirectories; false when one is no manifest's entry.
bool read_directory(const JsonValue& entries, size_t dir, Manifest& manifest,
                    std::vector<std::pair<const JsonValue*, size_t>>& queue) {
  if (entries.kind != JsonValue::Kind::kArray) return false;
  std::set<std::string> names;
  std::set<std::u32string> hosts;
  for (const JsonValue& v : entries.items) {
    ManifestEntry m;
    if (!read_entry(v, m)) return false;
    if (m.host && !hosts.insert(*m.host).second) return false;
    // A damaged directory may hold a name twice, which no directory can be
    // given back: the second one takes its host file's name.
    if (!names.insert(m.entry.name_bytes).second) m.entry.name_bytes.clear();
    const JsonValue* below = v.member("entries");
    if (below && m.host && m.entry.mode == mode::kDir) {
      m.dir = static_cast<int>(manifest.size());
      manifest.emplace_back();
      queue.emplace_back(below, manifest.size() - 1);
    }
    manifest[dir].push_back(std::move(m));
  }
  return true;
}

}  // namespace

std::string manifest_document(std::string_view path, const Manifest& manifest) {
  JsonWriter w;
  w.begin_object().key("format").number(1);
  w.key("path").text(path);
  w.key("entries").begin_array();
  // Each directory's entries inside its own entry, walked with a stack of
  // our own: (directory, next entry).
  std::vector<std::pair<size_t, size_t>> stack{{0, 0}};
  while (!stack.empty()) {
    auto& [d, next] = stack.back();
    if (d >= manifest.size() || next == manifest[d].size()) {
      w.end_array();
      stack.pop_back();
      if (!stack.empty()) w.end_object();
      continue;
    }
    const ManifestEntry& m = manifest[d][next++];
    write_manifest_entry(w, m);
    if (m.dir < 0) {
      w.end_object();
    } else {
      stack.emplace_back(static_cast<size_t>(m.dir), 0);
    }
  }
  w.end_object();
  return w.finish();
}

std::optional<Manifest> read_manifest(std::string_view text, ManifestFault& fault) {
  JsonFault json;
  const std::optional<JsonValue> document = read_json(text, &json);
  if (!document) {
    fault = {false, json.line};
    return std::nullopt;
  }
  fault = {true, 0};
  const JsonValue* format = document->member("format");
  const JsonValue* entries = document->member("entries");
  if (!format || format->integer(1, 1) != 1 || !entries) return std::nullopt;
  Manifest manifest(1);
  std::vector<std::pair<const JsonValue*, size_t>> queue{{entries, 0}};
  for (size_t i = 0; i < queue.size(); ++i) {
    if (!read_directory(*queue[i].first, queue[i].second, manifest, queue)) return std::nullopt;
  }
  return manifest;
}

}  // namespace tarnwick
