#include "host/unicode.h"

#include <cstdint>
#include <utility>

#include "host/host_path.h"
#include "output/text.h"

namespace tarnwick {

namespace {

bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The character that starts at text[i] and how many bytes it takes;
// nothing when the bytes there form none.
std::optional<std::pair<char32_t, size_t>> utf8_character(std::string_view text, size_t i) {
  size_t at = i;
  const std::optional<char32_t> c = next_utf8(text, at);
  if (!c) return std::nullopt;
  return std::make_pair(*c, at - i);
}

// The same for UTF-16: one unit, or a high and a low surrogate.
std::optional<std::pair<char32_t, size_t>> utf16_character(std::wstring_view text, size_t i) {
  const char32_t u = static_cast<char16_t>(text[i]);
  if (!is_surrogate(u)) return std::make_pair(u, size_t{1});
  if (u >= 0xDC00 || i + 1 >= text.size()) return std::nullopt;
  const char32_t low = static_cast<char16_t>(text[i + 1]);
  if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
  return std::make_pair(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), size_t{2});
}

template <typename Text, typename Next>
std::optional<std::u32string> decode(Text text, std::optional<char32_t> replacement, Next next) {
  std::u32string out;
  for (size_t i = 0; i < text.size();) {
    const auto c = next(text, i);
    if (!c && !replacement) return std::nullopt;
    out += c ? c->first : *replacement;
    i += c ? c->second : 1;
  }
  return out;
}

char32_t character_or_replacement(char32_t c) {
  return is_surrogate(c) || c > 0x10FFFF ? kReplacementCharacter : c;
}

}  // namespace

std::optional<std::u32string> decode_utf8(std::string_view text, std::optional<char32_t> replacement) {
  return decode(text, replacement, utf8_character);
}

std::optional<std::u32string> decode_utf16(std::wstring_view text, std::optional<char32_t> replacement) {
  return decode(text, replacement, utf16_character);
}

std::string encode_utf8(std::u32string_view text) {
  std::string out;
  for (const char32_t c : text) append_utf8(out, character_or_replacement(c));
  return out;
}

std::wstring encode_utf16(std::u32string_view text) {
  std::wstring out;
  for (char32_t c : text) {
    c = character_or_replacement(c);
    if (c < 0x10000) {
      out += static_cast<wchar_t>(c);
    } else {
      c -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (c >> 10));
      out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    }
  }
  return out;
}

}  // namespace tarnwick
