#include "app/command_line.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

#include "app/commands.h"
#include "volume/path_text.h"

#ifndef TARNWICK_VERSION
#define TARNWICK_VERSION "0"
#endif

namespace tarnwick {

namespace {

// The commands that take an option that not all of them take, as the
// message names them.
constexpr std::string_view kForList = "L";
constexpr std::string_view kForListAndExamine = "L, E";
constexpr std::string_view kForExamine = "E";

// The list path buffer of the machine's tool holds 255 characters.
constexpr size_t kListPathMax = 255;

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

// True when `word`, the command after its V, names the command `c`.
bool names_command(const Command& c, std::string_view word) {
  if (word.size() == 1 || c.names.empty()) return true;
  for (std::string_view rest = c.names; !rest.empty();) {
    const size_t blank = std::min(rest.find(' '), rest.size());
    if (same_ignoring_case(word, rest.substr(0, blank))) return true;
    rest.remove_prefix(std::min(blank + 1, rest.size()));
  }
  return false;
}

// Applies one short option letter; false for a letter the tool does not know.
bool short_option(char letter, Options& o) {
  switch (letter) {
    case 's': return true;  // the exit status always tells the result
    case 'l': o.long_listing = true; return true;
    case 'b': o.basic = true; return true;
    case 't': o.text = true; return true;
    case 'r':
      o.recursive = true;
      o.restricted.push_back({"-r", kForList});
      return true;
    case 'j':
      o.json = true;
      o.restricted.push_back({"-j", kForListAndExamine});
      return true;
    case 'h':
      if (o.answer == Options::Answer::kNone) o.answer = Options::Answer::kHelp;
      return true;
    default: return false;
  }
}

bool long_option(std::string_view name, Options& o) {
  if (name == "status") return short_option('s', o);
  if (name == "long") return short_option('l', o);
  if (name == "basic") return short_option('b', o);
  if (name == "text") return short_option('t', o);
  if (name == "recursive" || name == "json") {
    short_option(name[0], o);
    o.restricted.back().typed = "--" + std::string(name);
    return true;
  }
  if (name == "fix") {
    o.fix = true;
    o.restricted.push_back({"--fix", kForExamine});
    return true;
  }
  if (name == "help") return short_option('h', o);
  if (name == "version") {
    if (o.answer == Options::Answer::kNone) o.answer = Options::Answer::kVersion;
    return true;
  }
  return false;
}

// Reads the options from argv[1] on; the index of the first argument
// after them.
int read_options(int argc, const char* const argv[], CommandLine& line) {
  int i = 1;
  for (; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.empty() || arg[0] != '-') break;
    bool known = arg.size() > 1;  // "-" alone is no option
    if (arg.starts_with("--")) {
      known = long_option(arg.substr(2), line.options);
    } else {
      for (const char letter : arg.substr(1)) known = short_option(letter, line.options) && known;
    }
    if (!known && line.fault == UsageFault::kNone) {
      line.fault = UsageFault::kUnknownOption;
      line.subject = std::string(arg);
    }
  }
  // "--help" and "--version" are answered wherever they stand.
  for (int k = i; k < argc && line.options.answer == Options::Answer::kNone; ++k) {
    const std::string_view arg = argv[k];
    if (arg == "--help") line.options.answer = Options::Answer::kHelp;
    if (arg == "--version") line.options.answer = Options::Answer::kVersion;
  }
  return i;
}

// L's path must fit the list path buffer once the '/' is appended.
bool list_path_fits(const std::string& path, bool utf8_paths) {
  // A PATH typed as UTF-8 text counts in the bytes it becomes.
  const std::optional<std::string> bytes = utf8_paths ? path_from_utf8(path) : std::nullopt;
  const std::string& p = bytes ? *bytes : path;
  const bool has_slash = !p.empty() && p.back() == '/';
  return p.size() + (has_slash ? 0 : 1) <= kListPathMax;
}

void fail(CommandLine& line, UsageFault fault, std::string subject = {}) {
  if (line.fault != UsageFault::kNone) return;
  line.fault = fault;
  line.subject = std::move(subject);
}

}  // namespace

std::optional<unsigned> disk_number(std::string_view part) {
  // More digits than any file holds disks: no number.
  if (part.empty() || part.size() > 9 || part[0] == '0') return std::nullopt;
  unsigned n = 0;
  for (const char c : part) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  return n;
}

CommandLine parse_command_line(int argc, const char* const argv[], bool utf8_paths, bool disk_part) {
  CommandLine line;
  if (argc < 2) {
    line.fault = UsageFault::kNoArguments;
    return line;
  }
  const int first = read_options(argc, argv, line);
  const int count = argc - first;  // arguments, counting the command as the first
  const std::string_view command = first < argc ? argv[first] : "";
  size_t at = 0;
  if (!command.empty() && upper(command[0]) == 'V') {
    line.verbose = true;
    at = 1;
  }
  line.letter = at < command.size() ? upper(command[at]) : '\0';
  const Command* known = find_command(line.letter);
  if (known && !names_command(*known, command.substr(at))) known = nullptr;
  if (!known) fail(line, UsageFault::kUnknownCommand, std::string(command));
  for (const Options::Restricted& r : line.options.restricted) {
    if (known && line.fault == UsageFault::kNone && r.commands.find(line.letter) == std::string_view::npos) {
      fail(line, UsageFault::kOnlyForCommands, r.typed);
      line.commands = r.commands;
    }
  }
  if (known && (count < known->min_count || count > known->max_count)) {
    fail(line, UsageFault::kArgumentCount, std::string(1, command[at]));
    line.counts = known->counts;
  }
  if (line.letter == 'T') {
    // SOURCE and TARGET, host files both: no image and no PART.
    if (count == 3) {
      line.source = argv[first + 1];
      line.target = argv[first + 2];
    }
    return line;
  }
  if (count >= 3) {
    line.part = argv[first + 2];
    if (disk_part) {
      const std::optional<unsigned> disk = disk_number(*line.part);
      line.partition_index = disk ? static_cast<int>(*disk - 1) : -1;
    } else {
      if (*line.part != "1" && *line.part != "2") fail(line, UsageFault::kPart);
      line.partition_index = *line.part == "2" ? 1 : 0;
    }
  }
  if (count >= 2) line.image_name = argv[first + 1];
  if (count >= 4) line.path = argv[first + 3];
  if (count >= 5) line.host_file = argv[first + 4];
  // C's fourth argument names a host file, not a path in the volume.
  if (line.letter == 'C' && count == 4) std::swap(line.path, line.host_file);
  if (line.letter == 'L' && !line.path) line.path = "/";
  if (line.letter == 'L' && !list_path_fits(*line.path, utf8_paths)) fail(line, UsageFault::kPathTooLong);
  return line;
}

bool answer_help_or_version(const CommandLine& line, Console& con) {
  switch (line.options.answer) {
    case Options::Answer::kNone: return false;
    case Options::Answer::kHelp: con.out(msg::kHelp); break;
    case Options::Answer::kVersion: con.out(msg::kVersion, TARNWICK_VERSION); break;
  }
  con.flush();
  return true;
}

void report_usage(const CommandLine& line, Console& con) {
  switch (line.fault) {
    case UsageFault::kNone:
    case UsageFault::kNoArguments: break;
    case UsageFault::kUnknownOption: con.err(msg::kUnknownOption, line.subject); break;
    case UsageFault::kUnknownCommand: con.err(msg::kUnknownCommand, line.subject); break;
    case UsageFault::kOnlyForCommands: con.err(msg::kOptionOnlyFor, line.subject, line.commands); break;
    case UsageFault::kArgumentCount: con.err(msg::kArgumentCount, line.subject, line.counts); break;
    case UsageFault::kPart: con.err(msg::kPartOneOrTwo); break;
    case UsageFault::kPathTooLong: con.err(msg::kPathTooLong); break;
  }
  if (line.fault != UsageFault::kNoArguments) con.err(msg::kSeeHelp);
  con.out(msg::kUsage);
  con.flush();
}

}  // namespace tarnwick
