// Unicode text in the forms the hosts keep it: UTF-8 (names on POSIX
// systems, and every text of the tool) and UTF-16 (names on Windows, in
// wchar_t units as the wide calls take them). Plain functions without
// system calls, built on every host, so that what the Windows host does
// with text is tested on any.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Text as code points. A byte (UTF-8) or unit (UTF-16) that starts no
// character there (a stray or missing continuation, an overlong form, a
// surrogate written in UTF-8, a lone surrogate, a value past U+10FFFF)
// makes the whole text nothing; with `replacement`, it stands as that code
// point instead, one for each such byte or unit, and the text goes on.
std::optional<std::u32string> decode_utf8(std::string_view text, std::optional<char32_t> replacement = std::nullopt);
std::optional<std::u32string> decode_utf16(std::wstring_view text,
                                           std::optional<char32_t> replacement = std::nullopt);

// Code points as UTF-8 or UTF-16; one that is no character (a surrogate,
// past U+10FFFF) becomes U+FFFD.
std::string encode_utf8(std::u32string_view text);
std::wstring encode_utf16(std::u32string_view text);

// The conversions between the tool's text and the Windows wide calls, made
// as the system makes them with CP_UTF8: whatever forms no character
// becomes U+FFFD.
inline std::wstring utf16_of_utf8(std::string_view text) {
  return encode_utf16(*decode_utf8(text, kReplacementCharacter));
}
inline std::string utf8_of_utf16(std::wstring_view text) {
  return encode_utf8(*decode_utf16(text, kReplacementCharacter));
}

}  // namespace tarnwick
