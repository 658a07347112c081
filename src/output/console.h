// The run's two output streams and the verbose flag.
//
// Everything the tool prints goes through a Console: results and traces to
// the output stream, diagnostics to the error stream, each as printf-style
// formats taken from the message catalogue. A Console writes either to C
// streams (the real run) or into strings (tests).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "output/messages.h"

namespace tarnwick {

class Console {
 public:
  // Writes to C streams; stdout and stderr for a real run.
  Console(std::FILE* out, std::FILE* err) : out_file_(out), err_file_(err) {}
  // Collects everything in memory; for tests.
  Console() = default;

  bool verbose = false;

  // Print a catalogue message, its placeholders expanded as printf does.
  // Arguments must match the placeholders exactly (%d and %c take int,
  // %02X and %04X take unsigned, %s takes const char*; use or_null for a
  // text that may be absent).
  template <typename... Args>
  void out(const Message& m, Args... args) {
    if (&m == &msg::kCheckFailed) failure_reported_ = true;
    print(false, m.bytes, args...);
  }
  template <typename... Args>
  void err(const Message& m, Args... args) {
    if (!is_notice(m)) failure_reported_ = true;
    print(true, m.bytes, args...);
  }
  // As out(), but only in verbose mode.
  template <typename... Args>
  void trace(const Message& m, Args... args) {
    if (verbose) print(false, m.bytes, args...);
  }

  void out_bytes(std::string_view bytes);
  void err_bytes(std::string_view bytes);

  // What a memory Console has collected.
  const std::string& out_text() const { return out_buf_; }
  const std::string& err_text() const { return err_buf_; }
  void clear() { out_buf_.clear(); err_buf_.clear(); }

  // Flushes the C streams; false when a stream reported an error. The
  // first write to the output stream that fails is reported on the error
  // stream, unless the reader went away (EPIPE), and the output stream is
  // written no more.
  bool flush();

  // Holds back everything printed from now on, in order, until release()
  // prints it or discard() drops it: a run that finds its input was not what
  // it seemed can take back what it printed from it.
  void hold() { holding_ = true; }

  // True once the run has reported a failure: a message on the error stream
  // that is not a notice, or the consistency check's error line. Notices
  // (a journal played back or left alone, a lock the system would not take,
  // a file skipped) tell of something done or left alone on purpose.
  bool failure_reported() const { return failure_reported_; }
  static bool is_notice(const Message& m);

  // Sends everything meant for the output stream to the error stream from
  // now on, for a run whose output stream carries a file's bytes.
  void divert_output() { output_diverted_ = true; }
  void release();
  void discard() {
    held_.clear();
    holding_ = false;
  }

 private:
  void print(bool to_err, const char* fmt, ...);
  void emit(bool to_err, std::string_view bytes);
  void write(bool to_err, std::string_view bytes);
  void flush_out();
  void out_failed(int error);

  std::FILE* out_file_ = nullptr;
  std::FILE* err_file_ = nullptr;
  std::string out_buf_;
  std::string err_buf_;
  bool holding_ = false;
  bool out_broken_ = false;
  bool failure_reported_ = false;
  bool output_diverted_ = false;
  std::vector<std::pair<bool, std::string>> held_;  // (to the error stream, bytes)
};

// A text argument that may be absent prints as "(null)".
inline const char* or_null(const char* text) { return text ? text : msg::kNull.bytes; }

}  // namespace tarnwick
