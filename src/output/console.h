// The run's two output streams and the verbose flag.
//
// Everything the tool prints goes through a Console: results and traces to
// the output stream, diagnostics to the error stream, each a line of the
// catalogue (output/report.h) rendered as the stream shows text
// (output/render.h). A Console writes either to C streams (the real run)
// or into strings (tests).
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "output/messages.h"
#include "output/render.h"
#include "output/report.h"

namespace tarnwick {

class Console {
 public:
  // Writes to C streams; stdout and stderr for a real run.
  Console(std::FILE* out, std::FILE* err) : out_file_(out), err_file_(err) {}
  // Collects everything in memory; for tests.
  Console() = default;

  bool verbose = false;

  // Shows text on the output and the error stream as given from now on
  // (the writers must outlive the Console), and takes PATH arguments as
  // UTF-8 text or as bytes.
  void set_text(StreamText out, StreamText err, bool utf8_paths) {
    text_[0] = out;
    text_[1] = err;
    utf8_paths_ = utf8_paths;
  }
  // True when PATH arguments are UTF-8 text, to be turned into code page
  // 932 before the volume sees them.
  bool utf8_paths() const { return utf8_paths_; }
  // Whether the text files a run makes and reads (BASIC listings, BSD
  // text) are UTF-8 or, as by default, code page 932.
  void set_utf8_files(bool utf8) { utf8_files_ = utf8; }
  bool utf8_files() const { return utf8_files_; }

  // Print a catalogue message with its arguments, as its entry's type
  // says, rendered as the stream shows text. A failure, on either stream,
  // fails the run (unless it is the volume check's); notices go to the
  // error stream only.
  template <Severity S, typename... A>
  void out(const Message<S, A...>& m, typename A::Type... args) {
    static_assert(S != Severity::kNotice, "a notice goes to the error stream");
    show(make_line<S, A...>(Stream::kOut, m, args...));
  }
  template <Severity S, typename... A>
  void err(const Message<S, A...>& m, typename A::Type... args) {
    static_assert(S != Severity::kInfo, "the error stream takes failures and notices");
    show(make_line<S, A...>(Stream::kErr, m, args...));
  }
  // As out(), but only in verbose mode.
  template <Severity S, typename... A>
  void trace(const Message<S, A...>& m, typename A::Type... args) {
    static_assert(S == Severity::kInfo, "a trace is no failure");
    if (verbose) show(make_line<S, A...>(Stream::kTrace, m, args...));
  }

  // Shows a line, or every line of a report in order, on its stream.
  void show(const Line& line);
  void show(const Report& report) {
    for (const Line& l : report.lines()) show(l);
  }

  // Data the output stream carries (a document), written as it is
  // whatever becomes of the lines meant for that stream.
  void data(std::string_view bytes) { write(false, bytes, true); }

  // What a memory Console has collected.
  const std::string& out_text() const { return out_buf_; }
  const std::string& err_text() const { return err_buf_; }
  void clear() { out_buf_.clear(); err_buf_.clear(); }

  // Flushes the C streams; false when a stream reported an error. The
  // first write to the output stream that fails is reported on the error
  // stream, as a failure, unless the reader went away (EPIPE), and the
  // output stream is written no more.
  bool flush();

  // The process was started without standard output (what stands at its
  // number is only kept taken): the first write meant for it fails, with
  // `reason`, and nothing is written there.
  void set_output_closed(std::string reason) { output_closed_ = std::move(reason); }

  // True once the run has reported a failure of its own (the volume
  // check's lines do not count).
  bool failure_reported() const { return failure_reported_; }
  // True once a line of the volume's check has told a fault.
  bool check_fault_reported() const { return check_fault_reported_; }

  // Sends everything meant for the output stream to the error stream from
  // now on, for a run whose output stream carries a file's bytes.
  void divert_output() { output_diverted_ = true; }
  // For a run whose output stream carries one document (data()): the lines
  // meant for that stream are left out, and traces go to the error stream.
  void keep_output_for_data() { output_for_data_ = true; }
  // Leaves out of the output stream the lines that only tell how the run
  // went (the image's kind, the lookup of a path, the closing line), so
  // that it carries the data asked for alone.
  void set_quiet(bool quiet) { quiet_ = quiet; }

 private:
  void emit(bool to_err, std::string_view bytes);
  void write(bool to_err, std::string_view bytes, bool data = false);
  void flush_out();
  void out_failed(const std::string& reason);

  StreamText text_[2];  // output, error stream
  bool utf8_paths_ = false;
  bool utf8_files_ = false;
  std::FILE* out_file_ = nullptr;
  std::FILE* err_file_ = nullptr;
  std::string out_buf_;
  std::string err_buf_;
  bool out_broken_ = false;
  bool failure_reported_ = false;
  bool check_fault_reported_ = false;
  bool output_diverted_ = false;
  bool output_for_data_ = false;
  bool quiet_ = false;
  std::optional<std::string> output_closed_;
  std::string line_;  // the line being shown
};

}  // namespace tarnwick
