// Small pieces of text handling that several layers share: hexadecimal
// digits and UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// The value of a hexadecimal digit, in either case.
constexpr std::optional<uint8_t> hex_digit(char32_t c) {
  if (c >= U'0' && c <= U'9') return static_cast<uint8_t>(c - U'0');
  if (c >= U'A' && c <= U'F') return static_cast<uint8_t>(c - U'A' + 10);
  if (c >= U'a' && c <= U'f') return static_cast<uint8_t>(c - U'a' + 10);
  return std::nullopt;
}

// The next character of UTF-8 text at `at`, which moves past it; nothing
// (and `at` unmoved) for a sequence that is not UTF-8: a stray or missing
// continuation byte, an overlong form, a surrogate, beyond U+10FFFF.
std::optional<char32_t> next_utf8(std::string_view text, size_t& at);

// Appends the UTF-8 form of one code point.
void append_utf8(std::string& out, char32_t c);

}  // namespace tarnwick
