// Paths as text: the volume's names joined into a path, and a PATH the user
// typed turned into the volume's bytes.
//
// A path's components are separated by '/'. A '/' inside a name stands in
// a component as kSlashInName (0x0D, which no name holds), so that the
// path of a name with a '/' still splits where it should, and what the
// UTF-8 mode shows of such a path ("A%2FB/C") can be typed back.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "output/messages.h"

namespace tarnwick {

// A name as one component of a path's text, and back.
std::string path_component(std::string_view name);
std::string name_of_component(std::string_view component);

// The code page 932 bytes of a PATH typed as UTF-8 text: each character by
// its canonical code, %XX (either case) for the byte XX, a '%' without two
// hexadecimal digits after it for itself; "%2F" is a '/' inside a name
// (kSlashInName). Nothing when the text is not UTF-8, holds a character
// code page 932 cannot hold, or names the byte 0x0D, which no name holds.
std::optional<std::string> path_from_utf8(std::string_view typed);

// The volume's bytes of a PATH as typed: UTF-8 text turned as above when
// `utf8`, else the bytes as they are. Nothing for text that cannot be
// turned, and for bytes holding a 0x0D: a name field ends at its first
// 0x0D, so a name made with one could never be reached again.
std::optional<std::string> path_argument(std::string_view typed, bool utf8);

}  // namespace tarnwick
