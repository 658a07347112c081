#include "output/console.h"

#include <cerrno>
#include <cstring>

namespace tarnwick {

namespace {

// The output lines a quiet run leaves out.
bool tells_how_it_went(const MessageText* m) {
  static const MessageText* const kLines[] = {
      &msg::kIsHddImage,  &msg::kIsRomImage,   &msg::kIsD88Image,   &msg::kIsRawImage,
      &msg::kDiskType,    &msg::kDiskType2D,   &msg::kDiskType2DD,  &msg::kDiskType2HD,
      &msg::kDiskTypeUnknown, &msg::kDiskOfFile, &msg::kFileTrace, &msg::kFileFound,
      &msg::kDone,
  };
  for (const MessageText* k : kLines) {
    if (k == m) return true;
  }
  return false;
}

}  // namespace

void Console::show(const Line& line) {
  if (line.failure()) (line.of_check ? check_fault_reported_ : failure_reported_) = true;
  if (quiet_ && line.stream == Stream::kOut && tells_how_it_went(line.message)) return;
  bool to_err = line.stream == Stream::kErr;
  if (output_for_data_ && !to_err) {
    if (line.stream == Stream::kOut) return;
    to_err = true;
  }
  line_.clear();
  render_to(line_, line, text_[to_err || output_diverted_]);
  emit(to_err, line_);
}

void Console::write(bool to_err, std::string_view bytes, bool data) {
  to_err = to_err || (output_diverted_ && !data);
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

void Console::emit(bool to_err, std::string_view s) {
  if (!to_err) {
    write(to_err, s);
    return;
  }
  // Keep the order of the two streams as a reader sees it on one terminal.
  flush_out();
  write(true, s);
  if (err_file_) std::fflush(err_file_);
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

}  // namespace tarnwick
