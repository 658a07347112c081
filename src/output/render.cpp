#include "output/render.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "output/cp932.h"
#include "output/name_text.h"
#include "output/text.h"

namespace tarnwick {

namespace {

// One conversion of a format ("%-18s") and what it says.
struct Conversion {
  std::string_view conversion;
  bool left = false;
  bool zeros = false;
  bool plain = true;  // no flag, precision or length but '-' and '0'
  size_t width = 0;
  char letter = 0;
};

// Reads the conversion at fmt[at] == '%' and moves `at` past it.
Conversion read_conversion(std::string_view fmt, size_t& at) {
  Conversion c;
  const size_t from = at++;
  for (; at < fmt.size() && std::string_view("-+ #0").find(fmt[at]) != std::string_view::npos; ++at) {
    c.left = c.left || fmt[at] == '-';
    c.zeros = c.zeros || fmt[at] == '0';
    c.plain = c.plain && (fmt[at] == '-' || fmt[at] == '0');
  }
  for (; at < fmt.size() && fmt[at] >= '0' && fmt[at] <= '9'; ++at) {
    c.width = c.width * 10 + static_cast<size_t>(fmt[at] - '0');
  }
  for (; at < fmt.size() && std::string_view(".0123456789hlz").find(fmt[at]) != std::string_view::npos; ++at) {
    c.plain = false;
  }
  if (at < fmt.size()) c.letter = fmt[at++];
  c.conversion = fmt.substr(from, at - from);
  return c;
}

// Appends `text` padded to the conversion's width, `columns` wide as it
// stands.
void append_padded(std::string& out, std::string_view text, size_t columns, const Conversion& c, char pad = ' ') {
  const size_t fill = columns < c.width ? c.width - columns : 0;
  if (!c.left) out.append(fill, pad);
  out.append(text);
  if (c.left) out.append(fill, ' ');
}

// A number as printf's d, u, x, X and c conversions show it, with their
// width and the flags '-' and '0'.
void append_number(std::string& out, const Conversion& c, int64_t value) {
  if (c.letter == 'c') {
    const char ch = static_cast<char>(value);
    append_padded(out, std::string_view(&ch, 1), 1, c);
    return;
  }
  const bool hex = c.letter == 'x' || c.letter == 'X';
  const char* digits = c.letter == 'x' ? "0123456789abcdef" : "0123456789ABCDEF";
  const bool negative = value < 0;
  uint64_t n = negative ? uint64_t(0) - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char text[24];
  size_t at = sizeof text;
  do {
    text[--at] = digits[hex ? n % 16 : n % 10];
    n = hex ? n / 16 : n / 10;
  } while (n != 0);
  const std::string_view shown(text + at, sizeof text - at);
  if (negative && c.zeros && !c.left) {
    out += '-';
    Conversion rest = c;
    rest.width = c.width > 0 ? c.width - 1 : 0;
    append_padded(out, shown, shown.size(), rest, '0');
    return;
  }
  if (negative) text[--at] = '-';
  const std::string_view signed_text(text + at, sizeof text - at);
  append_padded(out, signed_text, signed_text.size(), c, c.zeros && !c.left ? '0' : ' ');
}

// Screen columns of UTF-8 text as the volume's names take them: a character
// that comes from two bytes of code page 932 is full-width; ASCII and the
// half-width katakana take one column.
size_t columns_of(std::string_view utf8) {
  size_t columns = 0;
  for (size_t i = 0; i < utf8.size();) {
    const std::optional<char32_t> c = next_utf8(utf8, i);
    if (!c) ++i;
    columns += !c || *c < 0x80 || is_halfwidth_katakana(*c) ? 1 : 2;
  }
  return columns;
}

// A text argument as the stream shows it: its bytes, and the columns they
// take where the width counts columns (a volume name in the UTF-8 mode).
std::string shown_text(const LineArg& a, const StreamText& t, size_t& columns) {
  std::string shown;
  if (a.kind == ArgKind::kAsIs) {
    shown = t.writer ? t.writer->host_text(a.text) : a.text;
  } else if (t.mode == TextMode::kBytes) {
    // The catalogue's bytes: a name is a C text, ended by a 0x00 in it.
    const std::string_view name = std::string_view(a.text).substr(0, a.text.find('\0'));
    switch (a.kind) {
      case ArgKind::kQuotedName: shown = '"' + std::string(name) + '"'; break;
      case ArgKind::kVolumePath: shown = path_shown_as_bytes(name); break;
      default: shown = std::string(name); break;
    }
  } else {
    shown = shown_volume_text(a.text, a.kind);
    columns = columns_of(shown);
    return shown;
  }
  // printf's text: up to a 0x00, its width in bytes.
  shown.resize(std::min(shown.size(), shown.find('\0')));
  columns = shown.size();
  return shown;
}

void append_formatted(std::string& out, const std::string& conversion, const auto& value) {
  char small[64];
  const int n = std::snprintf(small, sizeof small, conversion.c_str(), value);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof small) {
    out.append(small, static_cast<size_t>(n));
    return;
  }
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), conversion.c_str(), value);
  out.append(big.data(), static_cast<size_t>(n));
}

void append_argument(std::string& out, const Conversion& c, const LineArg& a, const StreamText& t) {
  if (a.type == LineArg::Type::kText) {
    size_t columns = 0;
    const std::string shown = shown_text(a, t, columns);
    if (c.plain && c.letter == 's') {
      append_padded(out, shown, columns, c);
    } else {
      append_formatted(out, std::string(c.conversion), shown.c_str());
    }
    return;
  }
  const bool known = c.plain && std::string_view("diuxXc").find(c.letter) != std::string_view::npos;
  if (known) {
    append_number(out, c, a.type == LineArg::Type::kInt ? int64_t{static_cast<int>(a.number)}
                                                        : int64_t{static_cast<unsigned>(a.number)});
  } else if (a.type == LineArg::Type::kInt) {
    append_formatted(out, std::string(c.conversion), static_cast<int>(a.number));
  } else {
    append_formatted(out, std::string(c.conversion), static_cast<unsigned>(a.number));
  }
}

}  // namespace

void render_to(std::string& out, const Line& line, const StreamText& text) {
  const MessageText& m = *line.message;
  const std::string_view fmt =
      text.mode == TextMode::kUtf8 ? std::string_view(reinterpret_cast<const char*>(m.text.data()), m.text.size())
                                   : std::string_view(m.bytes);
  size_t next_arg = 0;
  for (size_t at = 0; at < fmt.size();) {
    const size_t percent = fmt.find('%', at);
    out.append(fmt.substr(at, percent - at));
    if (percent == std::string_view::npos) break;
    at = percent;
    if (at + 1 < fmt.size() && fmt[at + 1] == '%') {
      out += '%';
      at += 2;
      continue;
    }
    const Conversion c = read_conversion(fmt, at);
    if (next_arg < line.args.size()) append_argument(out, c, line.args[next_arg++], text);
  }
}

std::string readable_text(const Line& line) {
  std::string text = render(line, StreamText{TextMode::kUtf8});
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace tarnwick
