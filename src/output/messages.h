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
};

namespace msg {
#define TARNWICK_MESSAGE(id, cp932, utf8) inline constexpr Message id{#id, cp932, utf8};
#include "output/messages.def"
#undef TARNWICK_MESSAGE
}  // namespace msg

// Every entry of the catalogue, in catalogue order.
std::span<const Message* const> all_messages();

}  // namespace tarnwick
