// X's manifest, as A reads it from a folder anyone may have edited: the
// input is the document. Besides the sanitizers' findings, a run aborts when
// a manifest that reads does not read back the same once written again, or
// when a text that reads as a manifest is no JSON document.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "broken_promise.h"
#include "codecs/json.h"
#include "operations/manifest.h"

using namespace tarnwick;

namespace {

bool same_entry(const ManifestEntry& a, const ManifestEntry& b) {
  return a.entry.mode == b.entry.mode && a.entry.name_bytes == b.entry.name_bytes &&
         a.entry.attribute == b.entry.attribute && a.entry.load == b.entry.load && a.entry.exec == b.entry.exec &&
         a.entry.stamp == b.entry.stamp && a.host == b.host && a.dir == b.dir;
}

// A name left empty (given twice) is written empty, which no manifest
// holds: such a manifest is not written again.
bool names_all(const Manifest& m) {
  for (const auto& dir : m) {
    for (const ManifestEntry& e : dir) {
      if (e.entry.name_bytes.empty()) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ManifestFault fault;
  const std::optional<Manifest> m = read_manifest(text, fault);
  if (!m) {
    if (fault.json != read_json(text).has_value()) broken("a manifest's fault tells JSON from no JSON");
    return 0;
  }
  if (!names_all(*m)) return 0;
  const std::optional<Manifest> back = read_manifest(manifest_document("/", *m), fault);
  if (!back || back->size() != m->size()) broken("a manifest written again reads back");
  for (size_t d = 0; d < m->size(); ++d) {
    if ((*back)[d].size() != (*m)[d].size()) broken("a manifest written again keeps its directories");
    for (size_t i = 0; i < (*m)[d].size(); ++i) {
      if (!same_entry((*back)[d][i], (*m)[d][i])) broken("a manifest written again keeps its entries");
    }
  }
  return 0;
}
