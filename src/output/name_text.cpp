#include "output/name_text.h"

#include <algorithm>

#include "output/cp932.h"
#include "output/text.h"

namespace tarnwick {

namespace {

void escape(std::u32string& out, std::string_view bytes) {
  for (const char ch : bytes) append_escape(out, static_cast<uint8_t>(ch));
}

bool always_escaped(char32_t c) { return c == U'/' || c == U'%' || c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// The character a piece of a name stands for, when its bytes are the
// character's canonical code.
std::optional<char32_t> decode(std::string_view piece) {
  const auto b = static_cast<uint8_t>(piece[0]);
  if (piece.size() == 1) return decode_cp932_byte(b);
  const std::optional<char32_t> c = decode_cp932_pair(b, static_cast<uint8_t>(piece[1]));
  if (!c || encode_cp932(*c) != (b << 8 | static_cast<uint8_t>(piece[1]))) return std::nullopt;
  return c;
}

// The bytes of a character's code, when escaped_name() decodes them back
// to it.
std::optional<std::string> encode(char32_t c) {
  const std::optional<uint16_t> code = encode_cp932(c);
  if (!code) return std::nullopt;
  if (*code < 0x100) return std::string(1, static_cast<char>(*code));
  std::string bytes{static_cast<char>(*code >> 8), static_cast<char>(*code & 0xFF)};
  if (decode(bytes) != c) return std::nullopt;
  return bytes;
}

// One name as the UTF-8 mode shows it.
std::string shown_name(std::string_view cp932) {
  if (cp932.empty() || cp932 == "." || cp932 == "..") return std::string(cp932);
  std::string out;
  for (const char32_t c : escaped_name(cp932)) append_utf8(out, c);
  return out;
}

}  // namespace

std::string path_shown_as_bytes(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), kSlashInName, '/');
  return out;
}

void append_escape(std::u32string& out, uint8_t byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += U'%';
  out += static_cast<char32_t>(kHex[byte >> 4]);
  out += static_cast<char32_t>(kHex[byte & 0x0F]);
}

std::u32string escaped_name(std::string_view cp932, std::u32string_view also_escaped) {
  std::u32string out;
  for (size_t i = 0; i < cp932.size();) {
    const auto b = static_cast<uint8_t>(cp932[i]);
    const bool pair = is_cp932_lead(b) && i + 1 < cp932.size() && is_cp932_trail(static_cast<uint8_t>(cp932[i + 1]));
    std::string_view piece = cp932.substr(i, pair ? 2 : 1);
    const std::optional<char32_t> c = decode(piece);
    // A pair that forms no character: the lead byte alone does not decode,
    // and the next byte starts afresh.
    if (!c && pair && !decode_cp932_pair(b, static_cast<uint8_t>(piece[1]))) piece = piece.substr(0, 1);
    if (c && !always_escaped(*c) && also_escaped.find(*c) == std::u32string_view::npos) {
      out += *c;
    } else {
      escape(out, piece);
    }
    i += piece.size();
  }
  return out;
}

std::optional<std::string> name_bytes(std::u32string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == U'%' && i + 2 < text.size() && hex_digit(text[i + 1]) && hex_digit(text[i + 2])) {
      out += static_cast<char>(*hex_digit(text[i + 1]) << 4 | *hex_digit(text[i + 2]));
      i += 2;
      continue;
    }
    const std::optional<std::string> bytes = encode(text[i]);
    if (!bytes) return std::nullopt;
    out += *bytes;
  }
  return out;
}

std::string shown_volume_text(std::string_view cp932, ArgKind kind) {
  switch (kind) {
    case ArgKind::kAsIs:
      return std::string(cp932);
    case ArgKind::kVolumeName:
      return shown_name(cp932);
    case ArgKind::kQuotedName:
      return '"' + shown_name(cp932) + '"';
    case ArgKind::kVolumePath:
      break;
  }
  std::string out;
  for (size_t at = 0;;) {
    const size_t slash = cp932.find('/', at);
    out += shown_name(path_shown_as_bytes(cp932.substr(at, slash - at)));
    if (slash == std::string_view::npos) return out;
    out += '/';
    at = slash + 1;
  }
}

}  // namespace tarnwick
