// Volume names as text: code page 932 bytes shown as characters, with
// escapes for what a character cannot show, and typed text read back.
//
// A name's bytes are decoded with the compiled code page 932 table (so
// 0x5C is '\', not a yen sign, and the half-width katakana 0xA1-0xDF are
// U+FF61-FF9F). What cannot be shown as it is is written %XX, the byte in
// upper-case hex:
//   - a byte that forms no character, and a character whose bytes are not
//     its canonical code (code page 932 gives some characters two codes),
//     byte by byte;
//   - '%' itself, '/', the control characters U+0000-001F and U+007F-009F,
//     and whatever else the caller names.
// So every name has text of its own, and the bytes can be read back from
// it. X names host files this way (host/host_name.h adds the rules of
// Windows), and a run in the UTF-8 mode shows names and takes PATH so.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "output/messages.h"

namespace tarnwick {

// Appends "%XX" for the byte.
void append_escape(std::u32string& out, uint8_t byte);

// The characters of a name, escaped as above; `also_escaped` names more
// characters to escape.
std::u32string escaped_name(std::string_view cp932, std::u32string_view also_escaped = {});

// The bytes a name's text stands for: escaped_name() run backwards. "%XX"
// (either case) is that byte; every other character is written in code
// page 932, by its one code that escaped_name() decodes back to it. Nothing
// when a character has no such code.
std::optional<std::string> name_bytes(std::u32string_view text);

// How a volume name or path reads in UTF-8: escaped as above, except that
// "." and ".." and an empty name stay as they are. In a path '/' separates
// names; inside a name (kinds kVolumeName, kQuotedName, and a path's
// kSlashInName) it is escaped. A quoted name is put between double quotes.
std::string shown_volume_text(std::string_view cp932, ArgKind kind);

// A volume path's bytes with each kSlashInName put back as the '/' of its
// name: how the bytes mode shows a path.
std::string path_shown_as_bytes(std::string_view path);

}  // namespace tarnwick
