#include "output/render.h"

#include <optional>

#include "output/cp932.h"
#include "output/name_text.h"
#include "output/text.h"

namespace tarnwick {

namespace {

// One conversion of a format: its text ("%-18s") and what it says.
struct Conversion {
  std::string spec;
  bool left = false;
  size_t width = 0;
  char letter = 0;
};

// Reads the conversion at fmt[at] == '%' and moves `at` past it.
Conversion read_conversion(std::string_view fmt, size_t& at) {
  Conversion c;
  c.spec += fmt[at++];
  for (; at < fmt.size() && std::string_view("-+ #0").find(fmt[at]) != std::string_view::npos; ++at) {
    if (fmt[at] == '-') c.left = true;
    c.spec += fmt[at];
  }
  for (; at < fmt.size() && fmt[at] >= '0' && fmt[at] <= '9'; ++at) {
    c.width = c.width * 10 + static_cast<size_t>(fmt[at] - '0');
    c.spec += fmt[at];
  }
  for (; at < fmt.size() && std::string_view(".0123456789hlz").find(fmt[at]) != std::string_view::npos; ++at) {
    c.spec += fmt[at];
  }
  if (at < fmt.size()) {
    c.letter = fmt[at];
    c.spec += fmt[at++];
  }
  return c;
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

// A text argument as the stream shows it, before printf's width.
std::string shown_text(const LineArg& a, const Conversion& c, const StreamText& t) {
  if (a.kind == ArgKind::kAsIs) return t.writer ? t.writer->host_text(a.text) : a.text;
  if (t.mode == TextMode::kBytes) {
    // The catalogue's bytes: a name is a C text, ended by a 0x00 in it.
    const std::string_view name = std::string_view(a.text).substr(0, a.text.find('\0'));
    switch (a.kind) {
      case ArgKind::kQuotedName: return '"' + std::string(name) + '"';
      case ArgKind::kVolumePath: return name_of_component(name);
      default: return std::string(name);
    }
  }
  std::string shown = shown_volume_text(a.text, a.kind);
  // printf pads by bytes; the names keep their columns on the screen.
  const size_t columns = columns_of(shown);
  if (columns < c.width) {
    const std::string pad(c.width - columns, ' ');
    shown = c.left ? shown + pad : pad + shown;
  }
  return shown;
}

void append_formatted(std::string& out, const char* spec, const auto& value) {
  char small[64];
  const int n = std::snprintf(small, sizeof small, spec, value);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof small) {
    out.append(small, static_cast<size_t>(n));
    return;
  }
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), spec, value);
  out.append(big.data(), static_cast<size_t>(n));
}

void append_argument(std::string& out, const Conversion& c, const LineArg& a, const StreamText& t) {
  switch (a.type) {
    case LineArg::Type::kInt: append_formatted(out, c.spec.c_str(), static_cast<int>(a.number)); break;
    case LineArg::Type::kUnsigned: append_formatted(out, c.spec.c_str(), static_cast<unsigned>(a.number)); break;
    case LineArg::Type::kText: append_formatted(out, c.spec.c_str(), shown_text(a, c, t).c_str()); break;
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
