#include "output/cp932.h"

#include <algorithm>
#include <cstddef>

#include "output/cp932_table.h"

namespace tarnwick {

namespace {

namespace table = cp932_table;

// The user-defined area: 188 characters a lead byte, in order.
constexpr uint8_t kUserFirstLead = 0xF0;
constexpr uint8_t kUserLastLead = 0xF9;
constexpr char32_t kUserFirstChar = 0xE000;
constexpr unsigned kTrailsPerLead = 188;
constexpr char32_t kUserLastChar = kUserFirstChar + (kUserLastLead - kUserFirstLead + 1) * kTrailsPerLead - 1;

// The code point a code in the table stands for, 0 for none.
char32_t table_char(uint16_t code) {
  const uint8_t row = table::kRowOfLead[(code >> 8) - 0x81];
  return row == table::kNoRow ? 0 : table::kRows[row][(code & 0xFF) - 0x40];
}

}  // namespace

std::optional<char32_t> decode_cp932_pair(uint8_t lead, uint8_t trail) {
  if (!is_cp932_lead(lead) || !is_cp932_trail(trail)) return std::nullopt;
  if (lead >= kUserFirstLead && lead <= kUserLastLead) {
    const unsigned index = (lead - kUserFirstLead) * kTrailsPerLead + (trail - 0x40) - (trail > 0x7F ? 1 : 0);
    return kUserFirstChar + index;
  }
  const char32_t c = table_char(static_cast<uint16_t>(lead << 8 | trail));
  if (c == 0) return std::nullopt;
  return c;
}

std::optional<uint16_t> encode_cp932(char32_t c) {
  if (c < 0x80) return static_cast<uint16_t>(c);
  if (is_halfwidth_katakana(c)) return static_cast<uint16_t>(0xA1 + (c - 0xFF61));
  if (c >= kUserFirstChar && c <= kUserLastChar) {
    const unsigned index = c - kUserFirstChar;
    const unsigned t = index % kTrailsPerLead;
    return static_cast<uint16_t>((kUserFirstLead + index / kTrailsPerLead) << 8 | (0x40 + t + (t >= 0x3F ? 1 : 0)));
  }
  const uint16_t* const end = table::kByCodePoint + table::kByCodePointCount;
  const uint16_t* const at =
      std::lower_bound(table::kByCodePoint, end, c, [](uint16_t code, char32_t x) { return table_char(code) < x; });
  if (at == end || table_char(*at) != c) return std::nullopt;
  return *at;
}

}  // namespace tarnwick
