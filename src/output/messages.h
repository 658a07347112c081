// The message catalogue: every text the tool prints, as the exact Shift_JIS
// (code page 932) bytes it writes, with the readable text kept beside it.
// The tool always writes these bytes, whatever the terminal's encoding.
#pragma once

#include <span>
#include <string_view>

namespace tarnwick {

struct Message {
  const char* name;        // the constant's name, for tests and diagnostics
  const char* bytes;       // printf-style format, CP932 bytes, NUL-terminated
  std::u8string_view text; // the same text, readable (UTF-8)
  // What each argument is, one letter an argument: 'n' a volume name, 'q' a
  // volume name in double quotes, 'p' a volume path; 'h' and every argument
  // past the letters: text shown as it is (host names, system texts).
  const char* args;
};

namespace msg {
#define TARNWICK_MESSAGE(id, cp932, utf8, args) inline constexpr Message id{#id, cp932, utf8, args};
#include "output/messages.def"
#undef TARNWICK_MESSAGE
}  // namespace msg

// Every entry of the catalogue, in catalogue order.
std::span<const Message* const> all_messages();

}  // namespace tarnwick
