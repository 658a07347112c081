// The message catalogue: every text the tool prints, as the exact Shift_JIS
// (code page 932) bytes it writes, with the readable text beside it.
//
// Each entry's type carries its severity and the kind of each argument, so
// the console knows which lines fail a run without being told, and a call
// with the wrong arguments does not compile (the generator checks that the
// kinds match the printf placeholders).
#pragma once

#include <span>
#include <string_view>

namespace tarnwick {

// What a line means for the run.
enum class Severity {
  kInfo,     // a result, a container line, a trace
  kNotice,   // something done or left alone on purpose: the run does not fail
  kFailure,  // the run failed
};

// How a text argument is shown in the user's encoding.
enum class ArgKind : char {
  kAsIs = 'h',         // host names, system texts: shown as they are
  kVolumeName = 'n',   // code page 932 bytes of one entry's name
  kQuotedName = 'q',   // the same, shown between two double quotes
  kVolumePath = 'p',   // names joined by '/', a '/' of a name as kSlashInName
};

// In a path's text a '/' that belongs to a name, not one between two names,
// stands as 0x0D: the byte that ends a name field, which no name holds
// (volume/path_text.h joins names into paths so).
inline constexpr char kSlashInName = '\x0D';

// A text argument of a message that takes either kind, said at the call.
struct ShownAs {
  ArgKind kind;
  std::string_view text;
};
inline ShownAs as_volume_path(std::string_view text) { return {ArgKind::kVolumePath, text}; }
inline ShownAs as_host_text(std::string_view text) { return {ArgKind::kAsIs, text}; }

// The kinds of arguments, each with the type a call passes.
namespace arg {
struct Int {  // %d, %c
  using Type = int;
};
struct Unsigned {  // %u, %X and their widths
  using Type = unsigned;
};
template <ArgKind K>
struct Text {
  using Type = std::string_view;
  static constexpr ArgKind kKind = K;
};
using HostText = Text<ArgKind::kAsIs>;
using Name = Text<ArgKind::kVolumeName>;
using QuotedName = Text<ArgKind::kQuotedName>;
using Path = Text<ArgKind::kVolumePath>;
struct AnyText {
  using Type = ShownAs;
};
}  // namespace arg

// What every entry holds.
struct MessageText {
  const char* name;         // the constant's name, for tests and diagnostics
  const char* bytes;        // printf-style format, CP932 bytes, NUL-terminated
  std::u8string_view text;  // the same text, readable (UTF-8)
  Severity severity;
};

template <Severity S, typename... Args>
struct Message : MessageText {
  constexpr Message(const char* n, const char* b, std::u8string_view t) : MessageText{n, b, t, S} {}
};

namespace msg {
#define TARNWICK_MESSAGE(id, severity, cp932, utf8, ...) \
  inline constexpr Message<Severity::severity __VA_OPT__(, ) __VA_ARGS__> id{#id, cp932, utf8};
#include "output/messages.def"
#undef TARNWICK_MESSAGE
}  // namespace msg

// Every entry of the catalogue, in catalogue order.
std::span<const MessageText* const> all_messages();

}  // namespace tarnwick
