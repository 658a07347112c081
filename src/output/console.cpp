#include "output/console.h"

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

}  // namespace

bool Console::is_notice(const Message& m) {
  for (const Message* notice :
       {&msg::kRestoredFromJournal, &msg::kReadOnlyNotRestored, &msg::kCannotLock, &msg::kSkipped}) {
    if (&m == notice) return true;
  }
  return false;
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
    if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() && !to_err) out_failed(errno);
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
  if (out_file_ && !out_broken_ && std::fflush(out_file_) != 0) out_failed(errno);
}

void Console::out_failed(int error) {
  out_broken_ = true;
  if (error == EPIPE) return;
  print(true, msg::kStdoutWriteFailed.bytes, std::strerror(error));
}

}  // namespace tarnwick
