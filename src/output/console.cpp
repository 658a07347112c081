#include "output/console.h"

#include "output/cp932.h"
#include "output/name_text.h"
#include "output/text.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <vector>

namespace tarnwick {

namespace {

std::string vformat(const char* fmt, std::va_list args) {
  char small[512];
  std::va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(small, sizeof small, fmt, args);
  if (n < 0) {
    va_end(again);
    return {};
  }
  if (static_cast<size_t>(n) < sizeof small) {
    va_end(again);
    return std::string(small, static_cast<size_t>(n));
  }
  std::vector<char> big(static_cast<size_t>(n) + 1);
  std::vsnprintf(big.data(), big.size(), fmt, again);
  va_end(again);
  return std::string(big.data(), static_cast<size_t>(n));
}

// The flags and width of the `index`-th conversion of a printf format (the
// argument it takes): whether it pads on the left, and to how many columns.
struct Width {
  bool left = false;
  size_t columns = 0;
};
Width width_of(std::string_view fmt, size_t index) {
  size_t n = 0;
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%') continue;
    if (++i < fmt.size() && fmt[i] == '%') continue;
    Width w;
    for (; i < fmt.size() && std::string_view("-+ #0").find(fmt[i]) != std::string_view::npos; ++i) {
      if (fmt[i] == '-') w.left = true;
    }
    for (; i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9'; ++i) w.columns = w.columns * 10 + (fmt[i] - '0');
    if (n++ == index) return w;
  }
  return {};
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

}  // namespace

const char* Console::prepare_text(const StreamText& t, const char* fmt, size_t index, std::string& shown, ShownAs a) {
  const bool volume = a.kind != ArgKind::kAsIs;
  if (!volume) {
    shown = t.writer ? t.writer->host_text(a.text) : std::string(a.text);
    return shown.c_str();
  }
  if (t.mode == TextMode::kBytes) {
    // The catalogue's bytes: a name is a C text, ended by a 0x00 in it.
    const std::string_view name = a.text.substr(0, a.text.find('\0'));
    switch (a.kind) {
      case ArgKind::kQuotedName: shown = '"' + std::string(name) + '"'; break;
      case ArgKind::kVolumePath: shown = name_of_component(name); break;
      default: shown = std::string(name); break;
    }
    return shown.c_str();
  }
  shown = shown_volume_text(a.text, a.kind);
  // printf pads by bytes; the names keep their columns on the screen.
  const Width w = width_of(fmt, index);
  const size_t columns = columns_of(shown);
  if (columns < w.columns) {
    const std::string pad(w.columns - columns, ' ');
    shown = w.left ? shown + pad : pad + shown;
  }
  return shown.c_str();
}

void Console::write(bool to_err, std::string_view bytes) {
  to_err = to_err || output_diverted_;
  if (holding_) {
    held_.emplace_back(to_err, std::string(bytes));
    return;
  }
  std::FILE* f = to_err ? err_file_ : out_file_;
  if (f) {
    if (!to_err && out_broken_) return;
    if (!to_err && output_closed_) {
      out_failed(*output_closed_);
      return;
    }
    const StreamWriter* writer = text_[to_err].writer;
    const bool written =
        writer ? writer->write(f, bytes) : std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (!written && !to_err) out_failed(errno == EPIPE ? std::string() : std::strerror(errno));
    return;
  }
  (to_err ? err_buf_ : out_buf_).append(bytes);
}

void Console::print(bool to_err, const char* fmt, ...) {
  std::va_list args;
  va_start(args, fmt);
  const std::string s = vformat(fmt, args);
  va_end(args);
  emit(to_err, s);
}

void Console::emit(bool to_err, std::string_view s) {
  if (!to_err || holding_) {
    write(to_err, s);
    return;
  }
  // Keep the order of the two streams as a reader sees it on one terminal.
  flush_out();
  write(true, s);
  if (err_file_) std::fflush(err_file_);
}

void Console::out_bytes(std::string_view bytes) { write(false, bytes); }
void Console::err_bytes(std::string_view bytes) { write(true, bytes); }

void Console::release() {
  holding_ = false;
  std::vector<std::pair<bool, std::string>> held;
  held.swap(held_);
  for (const auto& [to_err, bytes] : held) emit(to_err, bytes);
}

bool Console::flush() {
  flush_out();
  bool ok = !out_broken_;
  if (err_file_ && std::fflush(err_file_) != 0) ok = false;
  return ok;
}

void Console::flush_out() {
  if (out_file_ && !out_broken_ && std::fflush(out_file_) != 0) {
    out_failed(errno == EPIPE ? std::string() : std::strerror(errno));
  }
}

void Console::out_failed(const std::string& reason) {
  out_broken_ = true;
  // A reader that went away wanted no more: nothing to report.
  if (reason.empty()) return;
  err(msg::kStdoutWriteFailed, reason);
}

void report_cannot_write(Console& con, ShownAs what, std::string_view reason) {
  if (reason.empty()) {
    con.err(msg::kCannotWrite, what);
  } else {
    con.err(msg::kCannotWriteBecause, what, reason);
  }
}

void report_write_failed(Console& con, std::string_view what, std::string_view reason) {
  if (reason.empty()) {
    con.err(msg::kImageWriteFailed, what);
  } else {
    con.err(msg::kWriteFailedBecause, what, reason);
  }
}

}  // namespace tarnwick
