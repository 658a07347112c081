// Lines as values: what an operation has to say, kept in order for whoever
// shows it.
//
// A Line is one message of the catalogue with its arguments, each owning
// its value, and the stream it belongs to. A Report holds the lines of one
// piece of work in the order they were said, with the same typed calls a
// Console takes (out, err, trace), so a call with the wrong arguments does
// not compile here either. The core says everything into Reports; the
// command line shows them on its streams (output/console.h), a page shows
// them in its log, and both render a line the same way (output/render.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "output/messages.h"

namespace tarnwick {

// Where a line belongs.
enum class Stream : uint8_t {
  kOut,    // results and the container's lines
  kErr,    // failures and notices
  kTrace,  // verbose traces, shown with the results
};

// One argument of a line.
struct LineArg {
  enum class Type : uint8_t { kInt, kUnsigned, kText };
  Type type = Type::kInt;
  ArgKind kind = ArgKind::kAsIs;  // how a text is shown
  int64_t number = 0;
  std::string text;
};

struct Line {
  const MessageText* message = nullptr;
  Stream stream = Stream::kOut;
  std::vector<LineArg> args;
  // A line of the volume's check: the fault it tells is the volume's, and
  // does not make the command fail.
  bool of_check = false;

  bool failure() const { return message->severity == Severity::kFailure; }
};

namespace line_detail {
template <typename Kind>
LineArg arg_of(typename Kind::Type value) {
  LineArg a;
  if constexpr (std::is_same_v<Kind, arg::Int>) {
    a.number = value;
  } else if constexpr (std::is_same_v<Kind, arg::Unsigned>) {
    a.type = LineArg::Type::kUnsigned;
    a.number = value;
  } else if constexpr (std::is_same_v<Kind, arg::AnyText>) {
    a.type = LineArg::Type::kText;
    a.kind = value.kind;
    a.text = std::string(value.text);
  } else {
    a.type = LineArg::Type::kText;
    a.kind = Kind::kKind;
    a.text = std::string(value);
  }
  return a;
}
}  // namespace line_detail

// A line of message `m` with its arguments, for `stream`.
template <Severity S, typename... A>
Line make_line(Stream stream, const Message<S, A...>& m, typename A::Type... args) {
  Line line{&m, stream, {}};
  line.args.reserve(sizeof...(A));
  (line.args.push_back(line_detail::arg_of<A>(args)), ...);
  return line;
}

class Report {
 public:
  // Traces are kept only in a verbose report: nobody shows them otherwise.
  explicit Report(bool verbose = false) : verbose_(verbose) {}

  bool verbose() const { return verbose_; }

  template <Severity S, typename... A>
  void out(const Message<S, A...>& m, typename A::Type... args) {
    static_assert(S != Severity::kNotice, "a notice goes to the error stream");
    lines_.push_back(make_line<S, A...>(Stream::kOut, m, args...));
  }
  template <Severity S, typename... A>
  void err(const Message<S, A...>& m, typename A::Type... args) {
    static_assert(S != Severity::kInfo, "the error stream takes failures and notices");
    lines_.push_back(make_line<S, A...>(Stream::kErr, m, args...));
  }
  template <Severity S, typename... A>
  void trace(const Message<S, A...>& m, typename A::Type... args) {
    static_assert(S == Severity::kInfo, "a trace is no failure");
    if (verbose_) lines_.push_back(make_line<S, A...>(Stream::kTrace, m, args...));
  }
  void add(Line line) { lines_.push_back(std::move(line)); }

  const std::vector<Line>& lines() const { return lines_; }
  bool empty() const { return lines_.empty(); }
  // True when a line says that something failed.
  bool failed() const {
    for (const Line& l : lines_) {
      if (l.failure()) return true;
    }
    return false;
  }

  // The lines said so far, and taking back those said since.
  size_t size() const { return lines_.size(); }
  void drop_from(size_t n) {
    if (n < lines_.size()) lines_.resize(n);
  }
  // Appends another report's lines, in order.
  void append(Report&& other) {
    for (Line& l : other.lines_) lines_.push_back(std::move(l));
    other.lines_.clear();
  }

 private:
  bool verbose_;
  std::vector<Line> lines_;
};

// "'%s' が書き込めません" for a host file or a volume path, with the
// system's reason appended as " (%s)" when it gave one. `Sink` is a Report
// or a Console.
template <typename Sink>
void report_cannot_write(Sink& to, ShownAs what, std::string_view reason) {
  if (reason.empty()) {
    to.err(msg::kCannotWrite, what);
  } else {
    to.err(msg::kCannotWriteBecause, what, reason);
  }
}

// "'%s' への書き込みに失敗しました" for a host file, likewise.
template <typename Sink>
void report_write_failed(Sink& to, std::string_view what, std::string_view reason) {
  if (reason.empty()) {
    to.err(msg::kImageWriteFailed, what);
  } else {
    to.err(msg::kWriteFailedBecause, what, reason);
  }
}

}  // namespace tarnwick
