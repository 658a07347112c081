// Code page 932 (Windows' Shift_JIS) and Unicode, by a table compiled in:
// the same on every host, and no converter of the system's needed.
//
// The characters are Windows' and the C library's: ASCII as itself (0x5C is
// '\', 0x7E '~'), 0xA1-0xDF as U+FF61-FF9F, the two-byte characters with
// NEC's and IBM's extensions, and the user-defined area 0xF040-0xF9FC as
// U+E000-E757. The single bytes 0x80, 0xA0 and 0xFD-0xFF are none (Windows
// reads them as U+0080 and U+F8F0-F8F3, the C library not at all).
//
// Some characters have two or three codes (NEC and IBM each added the
// same symbols and kanji). Every code decodes; a character encodes to the
// one code Windows and the C library write, its canonical one: a JIS X 0208
// code before NEC's row 13 (0x87), that before IBM's extension (0xFA-0xFC),
// and NEC's copy of that extension (0xED-0xEE) never. The one-way mappings
// of some converters (U+00A5 to 0x5C, U+301C to 0x8160, ...) are not made.
#pragma once

#include <cstdint>
#include <optional>

namespace tarnwick {

constexpr bool is_cp932_lead(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool is_cp932_trail(uint8_t b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }
// The half-width katakana: one byte each, 0xA1-0xDF, U+FF61-FF9F.
constexpr bool is_halfwidth_katakana(uint8_t b) { return b >= 0xA1 && b <= 0xDF; }
constexpr bool is_halfwidth_katakana(char32_t c) { return c >= 0xFF61 && c <= 0xFF9F; }

// A one-byte character: ASCII, or half-width katakana.
constexpr std::optional<char32_t> decode_cp932_byte(uint8_t b) {
  if (b < 0x80) return b;
  if (is_halfwidth_katakana(b)) return static_cast<char32_t>(0xFF61 + (b - 0xA1));
  return std::nullopt;
}

// A two-byte character, by any of its codes; nothing for bytes that form
// none.
std::optional<char32_t> decode_cp932_pair(uint8_t lead, uint8_t trail);

// The canonical code of a character: below 0x100 a one-byte code, else the
// lead byte times 256 plus the trail byte. Nothing when code page 932 has
// no such character.
std::optional<uint16_t> encode_cp932(char32_t c);

}  // namespace tarnwick
