#include "host/user_text.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdlib>
#include <cstdint>

#ifdef _WIN32
#include <io.h>

#include "host/host_tree.h"
#include "host/unicode.h"
#include "host/win32.h"
#else
#include <langinfo.h>
#endif


namespace tarnwick {

#ifndef _WIN32

namespace {

// The locale the user named for text: the first of LC_ALL, LC_CTYPE and
// LANG that is set and not empty.
std::string named_locale() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return value;
  }
  return {};
}

std::string upper_case(std::string text) {
  for (char& ch : text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return text;
}

// True when a locale's name says UTF-8 (its codeset, after the '.' and
// before any '@'), whether or not the system has that locale.
bool names_utf8(const std::string& locale) {
  const size_t dot = locale.find('.');
  if (dot == std::string::npos) return false;
  const std::string codeset = upper_case(locale.substr(dot + 1, locale.find('@', dot) - dot - 1));
  return codeset == "UTF-8" || codeset == "UTF8";
}

}  // namespace

void start_user_text(Console& con) {
  // The encoding the user named decides; a locale named without one (ja_JP)
  // is asked for its codeset. Every other run keeps the C locale it has
  // always had (its system texts included).
  const bool named = names_utf8(named_locale());
  const char* locale = std::setlocale(LC_ALL, "");
  const bool utf8 = named || (locale && names_utf8(std::string(".") + nl_langinfo(CODESET)));
  if (!utf8 || !locale) std::setlocale(LC_ALL, "C");
  if (utf8) con.set_text({TextMode::kUtf8}, {TextMode::kUtf8}, true);
  con.set_utf8_files(utf8);
}

#else  // _WIN32

namespace {

// A console: the text goes through the wide console calls, so it reads
// right whatever the console's code page. Host names and system texts are
// UTF-8 already (the command line is read as wide text).
class ConsoleWriter : public StreamWriter {
 public:
  bool write(std::FILE* f, std::string_view utf8) const override {
    std::fflush(f);
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    const std::wstring wide = utf16_of_utf8(utf8);
    for (size_t at = 0; at < wide.size();) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(wide.size() - at, 8192));
      if (!WriteConsoleW(h, wide.data() + at, chunk, &written, nullptr) || written == 0) return false;
      at += written;
    }
    return true;
  }
  std::string host_text(std::string_view text) const override { return std::string(text); }
};

// A redirected stream: the catalogue's bytes and the volume's names as
// they are, host names and system texts in the ANSI code page, as a
// program that reads the file expects them.
class AnsiWriter : public StreamWriter {
 public:
  bool write(std::FILE* f, std::string_view text) const override {
    return std::fwrite(text.data(), 1, text.size(), f) == text.size();
  }
  std::string host_text(std::string_view text) const override { return printable_text(utf16_of_utf8(text)); }
};

bool is_console(std::FILE* f) {
  const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

StreamText stream_text(std::FILE* f) {
  static const ConsoleWriter console;
  static const AnsiWriter redirected;
  // A redirected stream gets the code page 932 bytes, as a file expects.
  if (is_console(f)) return {TextMode::kUtf8, &console};
  return {TextMode::kBytes, &redirected};
}

}  // namespace

void start_user_text(Console& con) {
  // The arguments come as wide text (UTF-8 from here on): PATH is turned
  // into code page 932 as a UTF-8 user's is.
  con.set_text(stream_text(stdout), stream_text(stderr), true);
  // Text files (listings, BSD text) stay code page 932, as Windows' own
  // Japanese text files are.
  con.set_utf8_files(false);
}

#endif  // _WIN32

}  // namespace tarnwick
