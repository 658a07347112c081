// A line as the bytes a stream shows: the one renderer every face uses.
//
// A stream shows text in one of two modes, chosen once for the run: the
// catalogue's code page 932 bytes as they are, or its readable (UTF-8)
// text with volume names and paths shown with escapes
// (output/name_text.h). A line's message is a printf-style format whose
// conversions take the line's arguments in order, with printf's meaning
// (%s %d %c %u %X with their flags and widths). A volume name keeps every
// byte, a 0x00 too: in the UTF-8 mode that byte shows as "%00", and the
// width of a conversion counts the name's columns on the screen; in the
// bytes mode a name ends at it, as a C text does. Where a plain write of
// the text does not reach the user as it should (a Windows console; host
// names on a Windows host), a StreamWriter from the host layer writes it.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "output/report.h"

namespace tarnwick {

enum class TextMode { kBytes, kUtf8 };

class StreamWriter {
 public:
  virtual ~StreamWriter() = default;
  // Writes the text to the stream; false when the stream fails.
  virtual bool write(std::FILE* f, std::string_view text) const = 0;
  // A host name or system text (UTF-8 from the command line on Windows,
  // bytes elsewhere) as the stream takes it.
  virtual std::string host_text(std::string_view text) const = 0;
};

// How one stream shows text.
struct StreamText {
  TextMode mode = TextMode::kBytes;
  const StreamWriter* writer = nullptr;  // nothing: the text's bytes as they are
};

// Appends the line as `text` shows it to `out`.
void render_to(std::string& out, const Line& line, const StreamText& text);
inline std::string render(const Line& line, const StreamText& text) {
  std::string out;
  render_to(out, line, text);
  return out;
}

// The readable (UTF-8) text of a line without its line end: how the page's
// log and a JSON document carry it.
std::string readable_text(const Line& line);

}  // namespace tarnwick
