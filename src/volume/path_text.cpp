#include "volume/path_text.h"

#include <algorithm>

#include "output/name_text.h"
#include "output/text.h"

namespace tarnwick {

std::string path_component(std::string_view name) {
  std::string out(name);
  std::replace(out.begin(), out.end(), '/', kSlashInName);
  return out;
}

std::string name_of_component(std::string_view component) {
  std::string out(component);
  std::replace(out.begin(), out.end(), kSlashInName, '/');
  return out;
}

std::optional<std::string> path_from_utf8(std::string_view typed) {
  // Each name between two '/' as a name's text (name_bytes), which reads
  // "%2F" as a '/' of the name.
  std::string out;
  for (size_t at = 0;;) {
    const size_t slash = std::min(typed.find('/', at), typed.size());
    std::u32string text;
    for (size_t i = at; i < slash;) {
      const std::optional<char32_t> c = next_utf8(typed, i);
      if (!c) return std::nullopt;
      text += *c;
    }
    const std::optional<std::string> name = name_bytes(text);
    if (!name || name->find(kSlashInName) != std::string::npos) return std::nullopt;
    out += path_component(*name);
    if (slash == typed.size()) return out;
    out += '/';
    at = slash + 1;
  }
}

std::optional<std::string> path_argument(std::string_view typed, bool utf8) {
  if (utf8) return path_from_utf8(typed);
  if (typed.find(kSlashInName) != std::string_view::npos) return std::nullopt;
  return std::string(typed);
}

}  // namespace tarnwick
