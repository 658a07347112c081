#include "host/host_name.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "output/name_text.h"

namespace tarnwick {

namespace {

// Replaces the last code point of `name[0, end)`, an ASCII character, by
// its escape.
void escape_last(std::u32string& name, size_t end) {
  std::u32string escaped;
  append_escape(escaped, static_cast<uint8_t>(name[end - 1]));
  name.replace(end - 1, 1, escaped);
}

char32_t ascii_upper(char32_t c) { return c >= U'a' && c <= U'z' ? c - 0x20 : c; }

// Windows' device names: the part before the first '.', trailing blanks
// dropped, in any case.
bool is_device_name(std::u32string_view base) {
  static constexpr std::array<std::u32string_view, 4> kPlain = {U"CON", U"PRN", U"AUX", U"NUL"};
  std::u32string upper;
  for (char32_t c : base) upper += ascii_upper(c);
  for (std::u32string_view d : kPlain) {
    if (upper == d) return true;
  }
  return upper.size() == 4 && (upper.starts_with(U"COM") || upper.starts_with(U"LPT")) && upper[3] >= U'1' &&
         upper[3] <= U'9';
}

void apply_windows_rules(std::u32string& name) {
  if (name.back() == U'.' || name.back() == U' ') escape_last(name, name.size());
  size_t base_end = std::min(name.find(U'.'), name.size());
  while (base_end > 0 && name[base_end - 1] == U' ') --base_end;
  if (base_end > 0 && is_device_name(std::u32string_view(name).substr(0, base_end))) escape_last(name, base_end);
}

}  // namespace

NameRules native_name_rules() {
#ifdef _WIN32
  return NameRules{true};
#else
  return NameRules{false};
#endif
}

std::u32string host_name(std::string_view volume_name, const NameRules& rules) {
  if (volume_name.empty()) return U"%0D";
  std::u32string out = escaped_name(volume_name, rules.windows ? U"\\:*?\"<>|" : U"");
  if (out == U"." || out == U"..") escape_last(out, out.size());
  if (rules.windows) apply_windows_rules(out);
  return out;
}

std::u32string FolderNames::key(std::u32string_view name) const {
  std::u32string k(name);
  if (!rules_.windows) return k;
  // Windows compares names without case. Of the characters code page 932
  // holds, these have case: Latin letters (also full-width), Greek,
  // Cyrillic and the Roman numerals.
  for (char32_t& c : k) {
    if ((c >= U'a' && c <= U'z') || (c >= 0xFF41 && c <= 0xFF5A) || (c >= 0x03B1 && c <= 0x03C9 && c != 0x03C2) ||
        (c >= 0x0430 && c <= 0x044F)) {
      c -= 0x20;
    } else if (c >= 0x0450 && c <= 0x045F) {
      c -= 0x50;
    } else if (c >= 0x2170 && c <= 0x217F) {
      c -= 0x10;
    }
  }
  return k;
}

std::u32string FolderNames::claim(const std::u32string& wanted) {
  std::u32string name = wanted;
  const size_t dot = wanted.rfind(U'.');
  const size_t at = dot == std::u32string::npos || dot == 0 ? wanted.size() : dot;
  for (int n = 2; taken_.count(key(name)); ++n) {
    std::u32string suffix = U"~";
    for (const char digit : std::to_string(n)) suffix += static_cast<char32_t>(digit);
    name = wanted.substr(0, at) + suffix + wanted.substr(at);
  }
  taken_.insert(key(name));
  return name;
}

std::optional<std::string> volume_name(std::u32string_view host_name) {
  std::optional<std::string> bytes = name_bytes(host_name);
  // A 0x0D would end the name field; "%0D" alone, the empty name, is one no
  // path can name.
  if (!bytes || bytes->find('\r') != std::string::npos) return std::nullopt;
  return bytes;
}

}  // namespace tarnwick
