// Text in the user's encoding.
//
// The volume's names are code page 932 bytes, and so are the tool's texts.
// A run whose user works in UTF-8 (a POSIX locale whose codeset is UTF-8)
// or reads a Windows console sees the text decoded with the compiled code
// page 932 table, volume names and paths showing the escapes of the host
// names X gives them; the UTF-8 user types PATH arguments as UTF-8 text,
// which is turned back into code page 932 before the volume sees it. Every
// other run reads and writes the bytes as they are. The choice is the
// console's (Console::set_text), made once here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "output/console.h"

namespace tarnwick {

// Reads the user's encoding once, at the start of the run, and sets the
// console's streams up for it: a POSIX locale whose codeset is UTF-8 shows
// both streams in UTF-8 and takes PATH arguments and text files (BASIC
// listings, BSD text) as UTF-8; any other locale leaves the run as it
// always was (and the C locale in force). On Windows
// a stream that is a console shows the text through the wide console calls;
// a redirected one gets the bytes (host names in the ANSI code page), and
// PATH arguments, read as wide text, are turned into code page 932; text
// files are code page 932.
void start_user_text(Console& con);

}  // namespace tarnwick
