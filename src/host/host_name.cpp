#include "host/host_name.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "host/platform.h"

namespace tarnwick {

namespace {

// Code page 932: lead and trail bytes of two-byte characters, and the
// one-byte half-width katakana.
bool is_lead(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool is_trail(uint8_t b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }
bool is_katakana(uint8_t b) { return b >= 0xA1 && b <= 0xDF; }

void escape(std::u32string& out, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char ch : bytes) {
    const auto b = static_cast<uint8_t>(ch);
    out += U'%';
    out += static_cast<char32_t>(kHex[b >> 4]);
    out += static_cast<char32_t>(kHex[b & 0x0F]);
  }
}

bool host_refuses(char32_t c, const NameRules& rules) {
  if (c == U'/' || c == U'%' || c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
  return rules.windows && std::u32string_view(U"\\:*?\"<>|").find(c) != std::u32string_view::npos;
}

// The character a piece of the name stands for, when the bytes form one
// that encodes back to the same bytes. One-byte characters are the same in
// every version of the code page; two-byte ones come from the system.
std::optional<char32_t> decode(std::string_view piece) {
  const auto b = static_cast<uint8_t>(piece[0]);
  if (piece.size() == 1) {
    if (b < 0x80) return b;
    if (is_katakana(b)) return 0xFF61 + (b - 0xA1);
    return std::nullopt;
  }
  const std::optional<char32_t> c = platform::decode_cp932(piece);
  if (!c || platform::encode_cp932(*c) != piece) return std::nullopt;
  return c;
}

// Replaces the last code point of `name[0, end)`, an ASCII character, by
// its escape.
void escape_last(std::u32string& name, size_t end) {
  std::u32string escaped;
  escape(escaped, std::string(1, static_cast<char>(name[end - 1])));
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
  std::u32string out;
  size_t i = 0;
  while (i < volume_name.size()) {
    const auto b = static_cast<uint8_t>(volume_name[i]);
    const bool pair = is_lead(b) && i + 1 < volume_name.size() && is_trail(static_cast<uint8_t>(volume_name[i + 1]));
    std::string_view piece = volume_name.substr(i, pair ? 2 : 1);
    std::optional<char32_t> c = decode(piece);
    // A pair that forms no character: the lead byte alone does not decode,
    // and the next byte starts afresh.
    if (!c && pair && !platform::decode_cp932(piece)) piece = piece.substr(0, 1);
    if (c && !host_refuses(*c, rules)) {
      out += *c;
    } else {
      escape(out, piece);
    }
    i += piece.size();
  }
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

namespace {

// The byte that ends a name in a directory entry's name field.
constexpr char kNameEndByte = 0x0D;

std::optional<uint8_t> hex_digit(char32_t c) {
  if (c >= U'0' && c <= U'9') return static_cast<uint8_t>(c - U'0');
  if (c >= U'A' && c <= U'F') return static_cast<uint8_t>(c - U'A' + 10);
  if (c >= U'a' && c <= U'f') return static_cast<uint8_t>(c - U'a' + 10);
  return std::nullopt;
}

// The code page 932 bytes host_name() decodes to `c`.
std::optional<std::string> encode(char32_t c) {
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  if (c >= 0xFF61 && c <= 0xFF9F) return std::string(1, static_cast<char>(0xA1 + (c - 0xFF61)));
  std::optional<std::string> bytes = platform::encode_cp932(c);
  if (!bytes || bytes->size() != 2 || decode(*bytes) != c) return std::nullopt;
  return bytes;
}

}  // namespace

std::optional<std::string> volume_name(std::u32string_view host_name) {
  if (host_name == U"%0D") return std::string();
  std::string out;
  for (size_t i = 0; i < host_name.size(); ++i) {
    if (host_name[i] == U'%' && i + 2 < host_name.size() && hex_digit(host_name[i + 1]) &&
        hex_digit(host_name[i + 2])) {
      out += static_cast<char>(*hex_digit(host_name[i + 1]) << 4 | *hex_digit(host_name[i + 2]));
      i += 2;
      continue;
    }
    const std::optional<std::string> bytes = encode(host_name[i]);
    if (!bytes) return std::nullopt;
    out += *bytes;
  }
  if (out.find(kNameEndByte) != std::string::npos) return std::nullopt;
  return out;
}

}  // namespace tarnwick
