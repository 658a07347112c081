// The run's two output streams and the verbose flag.
//
// Everything the tool prints goes through a Console: results and traces to
// the output stream, diagnostics to the error stream, each as printf-style
// formats taken from the message catalogue. A Console writes either to C
// streams (the real run) or into strings (tests).
//
// A stream prints the catalogue's code page 932 bytes as they are unless it
// is given a TextEncoder: then it prints the readable (UTF-8) text, with the
// volume names and paths among the arguments shown as the encoder shows
// them, and the encoder writes the text out.
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

// What a text argument of a message is (the letters of Message::args).
enum class ArgKind : char {
  kAsIs = 'h',         // host names, system texts: shown as they are
  kVolumeName = 'n',   // code page 932 bytes of one entry's name
  kQuotedName = 'q',   // the same, shown between two double quotes
  kVolumePath = 'p',   // names joined by '/'
};

// Shows text in the user's encoding. The host layer provides one.
class TextEncoder {
 public:
  virtual ~TextEncoder() = default;
  // UTF-8 text of a volume name or path (kind not kAsIs).
  virtual std::string volume_text(std::string_view cp932, ArgKind kind) const = 0;
  // UTF-8 text of a host name or system text given in the host's own
  // encoding: the same on POSIX hosts.
  virtual std::string host_text(std::string_view text) const { return std::string(text); }
  // Writes UTF-8 text to the stream; false when the stream fails.
  virtual bool write(std::FILE* f, std::string_view utf8) const;
  // True for a stream that takes the catalogue's code page 932 bytes and
  // volume names as they are, only host texts passing through host_text()
  // (and write()): a redirected stream on a host whose names are not in
  // the stream's encoding.
  virtual bool keeps_bytes() const { return false; }
};

// A text argument that is not what its message's entry says it is, where a
// message takes either kind.
struct ShownAs {
  ArgKind kind;
  std::string_view text;
};
inline ShownAs as_volume_path(std::string_view text) { return {ArgKind::kVolumePath, text}; }
inline ShownAs as_host_text(std::string_view text) { return {ArgKind::kAsIs, text}; }

class Console {
 public:
  // Writes to C streams; stdout and stderr for a real run.
  Console(std::FILE* out, std::FILE* err) : out_file_(out), err_file_(err) {}
  // Collects everything in memory; for tests.
  Console() = default;

  bool verbose = false;

  // Print a catalogue message, its placeholders expanded as printf does.
  // Arguments must match the placeholders exactly (%d and %c take int,
  // %02X and %04X take unsigned, %s takes a text: const char*, a
  // std::string or a ShownAs; use or_null for a text that may be absent).
  // A volume name keeps every byte, a 0x00 too: where the text is shown in
  // the user's encoding that byte shows as "%00"; where the catalogue's
  // bytes are written, a name ends at it, as a C text does.
  template <typename... Args>
  void out(const Message& m, const Args&... args) {
    if (&m == &msg::kCheckFailed) failure_reported_ = true;
    print_message(false, m, args...);
  }
  template <typename... Args>
  void err(const Message& m, const Args&... args) {
    if (!is_notice(m)) failure_reported_ = true;
    print_message(true, m, args...);
  }
  // As out(), but only in verbose mode.
  template <typename... Args>
  void trace(const Message& m, const Args&... args) {
    if (verbose) print_message(false, m, args...);
  }

  // Shows what goes to the output and the error stream through these
  // encoders from now on; nullptr for the catalogue's bytes. The encoders
  // must outlive the Console.
  void set_encoders(const TextEncoder* out, const TextEncoder* err) {
    encoder_[0] = out;
    encoder_[1] = err;
  }

  // Text already in the stream's form (bytes, or UTF-8 where the stream
  // has an encoder), written as it is.
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
  template <typename... Args>
  void print_message(bool to_err, const Message& m, const Args&... args) {
    print_indexed(to_err, m, std::index_sequence_for<Args...>{}, args...);
  }
  template <typename... Args, size_t... I>
  void print_indexed(bool to_err, const Message& m, std::index_sequence<I...>, const Args&... args) {
    const TextEncoder* enc = encoder_[to_err];
    const bool readable = enc && !enc->keeps_bytes();
    std::string shown[sizeof...(Args) + 1];  // the texts as printed, alive for the call
    print(to_err, readable ? reinterpret_cast<const char*>(m.text.data()) : m.bytes,
          prepare(enc, m, I, shown[I], args)...);
  }
  // An argument as printf takes it: numbers as they are, texts shown as the
  // stream shows them.
  template <typename T>
  static auto prepare(const TextEncoder* enc, const Message& m, size_t index, std::string& shown, const T& value) {
    if constexpr (std::is_same_v<T, ShownAs>) {
      return prepare_text(enc, m, index, shown, value);
    } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
      return prepare_text(enc, m, index, shown, ShownAs{kind_of(m, index), std::string_view(value)});
    } else {
      return value;
    }
  }
  static ArgKind kind_of(const Message& m, size_t index);
  static const char* prepare_text(const TextEncoder* enc, const Message& m, size_t index, std::string& shown,
                                  ShownAs a);

  void print(bool to_err, const char* fmt, ...);
  void emit(bool to_err, std::string_view bytes);
  void write(bool to_err, std::string_view bytes);
  void flush_out();
  void out_failed(const std::string& reason);

  const TextEncoder* encoder_[2] = {nullptr, nullptr};  // output, error stream
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

// A text argument that may be absent prints as "(null)".
inline const char* or_null(const char* text) { return text ? text : msg::kNull.bytes; }

}  // namespace tarnwick
