// Text in the user's encoding.
//
// The volume's names are code page 932 bytes, and so are the tool's texts.
// A run whose user works in UTF-8 (a POSIX locale whose codeset is UTF-8)
// or reads a Windows console sees the text decoded with the code page 932 tables
// host_name() uses, volume names and paths showing the escapes of the host
// names X gives them; the UTF-8 user types PATH arguments as UTF-8 text,
// which is turned back into code page 932 before the volume sees it. Every
// other run reads and writes the bytes as they are.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "output/console.h"

namespace tarnwick {

// How a volume name or path reads in UTF-8: decoded as host_name() decodes
// it, with its escapes (%XX), except that "." and ".." and an empty name
// stay as they are. In a path '/' separates names; inside a name (kinds
// kVolumeName, kQuotedName) it is escaped. A quoted name is put between
// double quotes.
std::string shown_volume_text(std::string_view cp932, ArgKind kind);

// The code page 932 bytes of a PATH typed as UTF-8 text: each character by
// its canonical code, %XX (either case) for the byte XX, a '%' without two
// hexadecimal digits after it for itself. Nothing when the text is not
// UTF-8 or holds a character code page 932 cannot hold.
std::optional<std::string> path_from_utf8(std::string_view typed);

// Shows text as UTF-8 on a stream.
class Utf8Encoder : public TextEncoder {
 public:
  std::string volume_text(std::string_view cp932, ArgKind kind) const override {
    return shown_volume_text(cp932, kind);
  }
};

// Reads the user's encoding once, at the start of the run, and sets the
// console's streams up for it: a POSIX locale whose codeset is UTF-8 shows
// both streams in UTF-8 and takes PATH arguments as UTF-8; any other locale
// leaves the run as it always was (and the C locale in force). On Windows
// a stream that is a console shows the text through the wide console calls;
// a redirected one gets the bytes (host names in the ANSI code page), and
// PATH arguments, read as wide text, are turned into code page 932.
void start_user_text(Console& con);

// True when PATH arguments are UTF-8 text, to be turned into code page 932.
bool paths_are_utf8();

// Turns a PATH argument into the volume's bytes when the run takes it as
// UTF-8 text. On a PATH that cannot be turned, says so on the error stream
// (showing the PATH as typed) and gives false.
bool convert_path_argument(std::string& path, Console& con);

}  // namespace tarnwick
