#include "output/text.h"

namespace tarnwick {

std::optional<char32_t> next_utf8(std::string_view s, size_t& at) {
  const auto b = static_cast<uint8_t>(s[at]);
  size_t len = 1;
  char32_t c = b;
  char32_t least = 0;
  if (b < 0x80) {
    ++at;
    return c;
  } else if (b >= 0xC2 && b <= 0xDF) {
    len = 2, c = b & 0x1F, least = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3, c = b & 0x0F, least = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4, c = b & 0x07, least = 0x10000;
  } else {
    return std::nullopt;
  }
  if (s.size() - at < len) return std::nullopt;
  for (size_t k = 1; k < len; ++k) {
    const auto t = static_cast<uint8_t>(s[at + k]);
    if ((t & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (t & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  at += len;
  return c;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace tarnwick
