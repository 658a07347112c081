// The run's two output streams and the verbose flag.
//
// Everything the tool prints goes through a Console: results and traces to
// the output stream, diagnostics to the error stream, each a message of
// the catalogue with its arguments. A Console writes either to C streams
// (the real run) or into strings (tests).
//
// Each stream shows text in one of two modes, chosen once at the start of
// the run: the catalogue's code page 932 bytes as they are, or its readable
// (UTF-8) text with volume names and paths shown with escapes
// (output/name_text.h). Where a plain write of the text does not reach the
// user as it should (a Windows console; host names on a Windows host), a
// StreamWriter from the host layer writes it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "output/messages.h"

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
  // says. A volume name keeps every byte, a 0x00 too: where the text is
  // shown in UTF-8 that byte shows as "%00"; where the catalogue's bytes are
  // written, a name ends at it, as a C text does. A failure, on either
  // stream, fails the run; notices go to the error stream only.
  template <Severity S, typename... A>
  void out(const Message<S, A...>& m, typename A::Type... args) {
    static_assert(S != Severity::kNotice, "a notice goes to the error stream");
    if constexpr (S == Severity::kFailure) failure_reported_ = true;
    print_message<A...>(false, m, args...);
  }
  template <Severity S, typename... A>
  void err(const Message<S, A...>& m, typename A::Type... args) {
    static_assert(S != Severity::kInfo, "the error stream takes failures and notices");
    if constexpr (S == Severity::kFailure) failure_reported_ = true;
    print_message<A...>(true, m, args...);
  }
  // As out(), but only in verbose mode.
  template <Severity S, typename... A>
  void trace(const Message<S, A...>& m, typename A::Type... args) {
    static_assert(S == Severity::kInfo, "a trace is no failure");
    if (verbose) print_message<A...>(false, m, args...);
  }

  // Text already in the stream's form, written as it is.
  void out_bytes(std::string_view bytes);
  void err_bytes(std::string_view bytes);

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

  // Holds back everything printed from now on, in order, until release()
  // prints it or discard() drops it: a run that finds its input was not what
  // it seemed can take back what it printed from it.
  void hold() { holding_ = true; }

  // True once the run has reported a failure.
  bool failure_reported() const { return failure_reported_; }

  // Sends everything meant for the output stream to the error stream from
  // now on, for a run whose output stream carries a file's bytes.
  void divert_output() { output_diverted_ = true; }
  void release();
  void discard() {
    held_.clear();
    holding_ = false;
  }

 private:
  template <typename... A, size_t... I>
  void print_indexed(bool to_err, const MessageText& m, std::index_sequence<I...>, typename A::Type... args) {
    const StreamText& t = text_[to_err];
    const char* fmt = t.mode == TextMode::kUtf8 ? reinterpret_cast<const char*>(m.text.data()) : m.bytes;
    std::string shown[sizeof...(A) + 1];  // the texts as printed, alive for the call
    print(to_err, fmt, prepare<A>(t, fmt, I, shown[I], args)...);
  }
  template <typename... A>
  void print_message(bool to_err, const MessageText& m, typename A::Type... args) {
    print_indexed<A...>(to_err, m, std::index_sequence_for<A...>{}, args...);
  }
  // An argument as printf takes it: numbers as they are, texts shown as the
  // stream shows them.
  template <typename Kind>
  static auto prepare(const StreamText& t, const char* fmt, size_t index, std::string& shown,
                      typename Kind::Type value) {
    if constexpr (std::is_same_v<Kind, arg::Int> || std::is_same_v<Kind, arg::Unsigned>) {
      return value;
    } else if constexpr (std::is_same_v<Kind, arg::AnyText>) {
      return prepare_text(t, fmt, index, shown, value);
    } else {
      return prepare_text(t, fmt, index, shown, ShownAs{Kind::kKind, value});
    }
  }
  static const char* prepare_text(const StreamText& t, const char* fmt, size_t index, std::string& shown, ShownAs a);

  void print(bool to_err, const char* fmt, ...);
  void emit(bool to_err, std::string_view bytes);
  void write(bool to_err, std::string_view bytes);
  void flush_out();
  void out_failed(const std::string& reason);

  StreamText text_[2];  // output, error stream
  bool utf8_paths_ = false;
  bool utf8_files_ = false;
  std::FILE* out_file_ = nullptr;
  std::FILE* err_file_ = nullptr;
  std::string out_buf_;
  std::string err_buf_;
  bool holding_ = false;
  bool out_broken_ = false;
  bool failure_reported_ = false;
  bool output_diverted_ = false;
  std::optional<std::string> output_closed_;
  std::vector<std::pair<bool, std::string>> held_;  // (to the error stream, bytes)
};

// "'%s' が書き込めません" for a host file or a volume path, with the
// system's reason appended as " (%s)" when it gave one.
void report_cannot_write(Console& con, ShownAs what, std::string_view reason);
// "'%s' への書き込みに失敗しました" for a host file, likewise.
void report_write_failed(Console& con, std::string_view what, std::string_view reason);

}  // namespace tarnwick
