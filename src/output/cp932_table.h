// The tables behind output/cp932.h, generated into cp932_table.cpp by
// tools/gen_cp932.py from Python's cp932 codec.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick::cp932_table {

// Trail bytes 0x40-0xFC, 0x7F (never a trail byte) included.
inline constexpr size_t kTrailCount = 0xFC - 0x40 + 1;
inline constexpr uint8_t kNoRow = 0xFF;

// The row in kRows of each lead byte 0x81-0xFC; kNoRow for a lead byte with
// no characters and for the user-defined area 0xF0-0xF9.
extern const uint8_t kRowOfLead[0xFC - 0x81 + 1];
// The code point of each trail byte after a row's lead byte; 0 for none.
extern const uint16_t kRows[][kTrailCount];
// The canonical code of every two-byte character, in order of code point.
extern const uint16_t kByCodePoint[];
extern const size_t kByCodePointCount;

}  // namespace tarnwick::cp932_table
