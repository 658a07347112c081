#include "host/user_text.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdint>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <langinfo.h>
#endif

#include "host/host_name.h"
#include "host/host_path.h"
#include "host/platform.h"

namespace tarnwick {

namespace {

// One name, escaped as the POSIX hosts escape it: the escapes of other
// hosts would make a listing differ from system to system.
std::string shown_name(std::string_view cp932) {
  if (cp932.empty() || cp932 == "." || cp932 == "..") return std::string(cp932);
  std::string out;
  for (const char32_t c : host_name(cp932, NameRules{false})) append_utf8(out, c);
  return out;
}

// The next character of UTF-8 text at `at`, which moves past it; nothing
// for a sequence that is not UTF-8 (overlong forms and surrogates are not).
std::optional<char32_t> next_utf8(std::string_view s, size_t& at) {
  const auto b = static_cast<uint8_t>(s[at]);
  size_t len;
  char32_t c;
  char32_t least;
  if (b < 0x80) {
    ++at;
    return b;
  } else if (b >= 0xC2 && b <= 0xDF) {
    len = 2, c = b & 0x1F, least = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3, c = b & 0x0F, least = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4, c = b & 0x07, least = 0x10000;
  } else {
    return std::nullopt;
  }
  if (s.size() - at < len) return std::nullopt;
  for (size_t k = 1; k < len; ++k) {
    const auto t = static_cast<uint8_t>(s[at + k]);
    if ((t & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (t & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  at += len;
  return c;
}

int hex_digit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return -1;
}

bool utf8_paths = false;

}  // namespace

std::string shown_volume_text(std::string_view cp932, ArgKind kind) {
  switch (kind) {
    case ArgKind::kAsIs:
      return std::string(cp932);
    case ArgKind::kVolumeName:
      return shown_name(cp932);
    case ArgKind::kQuotedName:
      return '"' + shown_name(cp932) + '"';
    case ArgKind::kVolumePath:
      break;
  }
  std::string out;
  size_t at = 0;
  for (;;) {
    const size_t slash = cp932.find('/', at);
    out += shown_name(cp932.substr(at, slash - at));
    if (slash == std::string_view::npos) return out;
    out += '/';
    at = slash + 1;
  }
}

std::optional<std::string> path_from_utf8(std::string_view typed) {
  std::string out;
  size_t at = 0;
  while (at < typed.size()) {
    if (typed[at] == '%' && typed.size() - at >= 3) {
      const int hi = hex_digit(typed[at + 1]);
      const int lo = hex_digit(typed[at + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        at += 3;
        continue;
      }
    }
    const std::optional<char32_t> c = next_utf8(typed, at);
    if (!c) return std::nullopt;
    if (*c < 0x80) {
      out += static_cast<char>(*c);
      continue;
    }
    // Only a code that reads back as the same character counts: the C
    // library's tables also take U+00A5 for 0x5C and U+2212 for the full-width
    // minus, which would not show as typed.
    const std::optional<std::string> code = platform::encode_cp932(*c);
    if (!code) return std::nullopt;
    const bool one_byte = code->size() == 1;
    const auto b = static_cast<uint8_t>((*code)[0]);
    const std::optional<char32_t> back =
        one_byte ? (b >= 0xA1 && b <= 0xDF ? std::optional<char32_t>(0xFF61 + (b - 0xA1)) : std::nullopt)
                 : platform::decode_cp932(*code);
    if (back != c) return std::nullopt;
    out += *code;
  }
  return out;
}

bool paths_are_utf8() { return utf8_paths; }

bool convert_path_argument(std::string& path, Console& con) {
  if (!utf8_paths) return true;
  const std::optional<std::string> bytes = path_from_utf8(path);
  if (!bytes) {
    con.err(msg::kPathNotShiftJis, path.c_str());
    return false;
  }
  path = *bytes;
  return true;
}

#ifndef _WIN32

void start_user_text(Console& con) {
  static const Utf8Encoder utf8;
  // Only a UTF-8 codeset changes anything; every other locale keeps the C
  // locale the run has always had (its system texts included).
  const char* locale = std::setlocale(LC_ALL, "");
  std::string codeset = locale ? nl_langinfo(CODESET) : "";
  for (char& ch : codeset) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (codeset != "UTF-8" && codeset != "UTF8") {
    std::setlocale(LC_ALL, "C");
    return;
  }
  utf8_paths = true;
  con.set_encoders(&utf8, &utf8);
}

#else  // _WIN32

namespace {

std::wstring wide_of(UINT code_page, std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), n);
  return wide;
}

// A console: the text goes through the wide console calls, so it reads
// right whatever the console's code page. Host names and system texts are
// UTF-8 already (the command line is read as wide text).
class ConsoleEncoder : public Utf8Encoder {
 public:
  bool write(std::FILE* f, std::string_view utf8) const override {
    std::fflush(f);
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    const std::wstring wide = wide_of(CP_UTF8, utf8);
    for (size_t at = 0; at < wide.size();) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(wide.size() - at, 8192));
      if (!WriteConsoleW(h, wide.data() + at, chunk, &written, nullptr) || written == 0) return false;
      at += written;
    }
    return true;
  }
};

// A redirected stream: the catalogue's bytes and the volume's names as
// they are, host names and system texts in the ANSI code page, as a
// program that reads the file expects them.
class AnsiEncoder : public Utf8Encoder {
 public:
  bool keeps_bytes() const override { return true; }
  std::string host_text(std::string_view text) const override {
    const std::wstring wide = wide_of(CP_UTF8, text);
    const int size = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), size, out.data(), n, nullptr, nullptr);
    return out;
  }
};

bool is_console(std::FILE* f) {
  const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

}  // namespace

void start_user_text(Console& con) {
  static const ConsoleEncoder console;
  static const AnsiEncoder redirected;
  // A redirected stream gets the code page 932 bytes, as a file expects.
  con.set_encoders(is_console(stdout) ? static_cast<const TextEncoder*>(&console) : &redirected,
                   is_console(stderr) ? static_cast<const TextEncoder*>(&console) : &redirected);
  // The arguments come as wide text (UTF-8 from here on): PATH is turned
  // into code page 932 as a UTF-8 user's is.
  utf8_paths = true;
}

#endif  // _WIN32

}  // namespace tarnwick
