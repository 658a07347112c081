#include "app/command_line.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>
#include <vector>

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
constexpr std::string_view kForTape = "T";

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
    case 'q': o.quiet = true; return true;
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
  if (name == "quiet") return short_option('q', o);
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

// An option that takes a value, at argv[i]: the value is the rest of the
// argument (`rest`, "-nNAME", "--name=NAME") or else the next argument,
// which `i` then moves to. False when there is none.
bool option_value(int argc, const char* const argv[], int& i, std::string_view rest, std::optional<std::string>& to) {
  if (!rest.empty()) {
    to = std::string(rest);
  } else if (i + 1 < argc) {
    to = argv[++i];
  } else {
    return false;
  }
  return true;
}

// -n and --name (`option`): T's tape name.
bool tape_name_option(int argc, const char* const argv[], int& i, std::string_view rest, const char* option,
                      CommandLine& line) {
  line.options.restricted.push_back({option, kForTape});
  if (option_value(argc, argv, i, rest, line.options.tape_name)) return true;
  if (line.fault == UsageFault::kNone) {
    line.fault = UsageFault::kNeedsValue;
    line.subject = option;
  }
  return true;
}

// The argument argv[i], which begins with '-' (not "-" alone, a stream),
// read as options; -n takes its value from the next argument when the
// argument holds none. The first option the tool does not know is the fault.
void read_option(int argc, const char* const argv[], int& i, CommandLine& line) {
  const std::string_view arg = argv[i];
  bool known = true;
  const size_t n = arg.find('n');
  if (arg == "--name" || arg.starts_with("--name=")) {
    known = tape_name_option(argc, argv, i, arg.substr(std::min<size_t>(arg.size(), 7)), "--name", line);
  } else if (arg.starts_with("--")) {
    known = long_option(arg.substr(2), line.options);
  } else if (n != std::string_view::npos) {
    // Letters before the n are options of their own: "-bnNAME".
    for (const char letter : arg.substr(1, n - 1)) known = short_option(letter, line.options) && known;
    known = tape_name_option(argc, argv, i, arg.substr(n + 1), "-n", line) && known;
  } else {
    for (const char letter : arg.substr(1)) known = short_option(letter, line.options) && known;
  }
  if (!known && line.fault == UsageFault::kNone) {
    line.fault = UsageFault::kUnknownOption;
    line.subject = std::string(arg);
  }
}

// Reads the options wherever they stand up to "--", which ends them;
// the other arguments in their order, the command first.
std::vector<std::string_view> read_options(int argc, const char* const argv[], CommandLine& line) {
  std::vector<std::string_view> rest;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!options_end && arg == "--") {
      options_end = true;
    } else if (!options_end && arg.size() > 1 && arg[0] == '-') {
      read_option(argc, argv, i, line);
    } else {
      rest.push_back(arg);
    }
  }
  return rest;
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

namespace {

// IMAGE, PART, PATH and the host files, as far as they were given.
void read_arguments(CommandLine& line, const std::vector<std::string_view>& args, bool disk_part) {
  const size_t count = args.size();
  if (count >= 3) {
    line.part = args[2];
    if (disk_part) {
      const std::optional<unsigned> disk = disk_number(*line.part);
      line.partition_index = disk ? static_cast<int>(*disk - 1) : -1;
    } else {
      if (*line.part != "1" && *line.part != "2") fail(line, UsageFault::kPart);
      line.partition_index = *line.part == "2" ? 1 : 0;
    }
  }
  if (count >= 2) line.image_name = args[1];
  if (count >= 4) line.path = args[3];
  if (count >= 5) line.host_file = args[4];
  for (size_t i = 4; i < count; ++i) line.host_files.emplace_back(args[i]);
  // C's fourth argument names a host file, not a path in the volume.
  if (line.letter == 'C' && count == 4) std::swap(line.path, line.host_file);
}

}  // namespace

CommandLine parse_command_line(int argc, const char* const argv[], bool utf8_paths, bool disk_part) {
  CommandLine line;
  if (argc < 2) {
    line.fault = UsageFault::kNoArguments;
    return line;
  }
  const std::vector<std::string_view> args = read_options(argc, argv, line);
  const int count = static_cast<int>(args.size());  // counting the command as the first
  const std::string_view command = count > 0 ? args[0] : "";
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
      line.source = args[1];
      line.target = args[2];
    }
    return line;
  }
  read_arguments(line, args, disk_part);
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
  // The usage first, the reason last: what a terminal shows at the end.
  con.out(msg::kUsage);
  con.flush();
  switch (line.fault) {
    case UsageFault::kNone:
    case UsageFault::kNoArguments: break;
    case UsageFault::kUnknownOption: con.err(msg::kUnknownOption, line.subject); break;
    case UsageFault::kUnknownCommand: con.err(msg::kUnknownCommand, line.subject); break;
    case UsageFault::kOnlyForCommands: con.err(msg::kOptionOnlyFor, line.subject, line.commands); break;
    case UsageFault::kNeedsValue: con.err(msg::kOptionNeedsValue, line.subject); break;
    case UsageFault::kArgumentCount: con.err(msg::kArgumentCount, line.subject, line.counts); break;
    case UsageFault::kPart: con.err(msg::kPartOneOrTwo); break;
    case UsageFault::kPathTooLong: con.err(msg::kPathTooLong); break;
  }
  if (line.fault != UsageFault::kNoArguments) con.err(msg::kSeeHelp);
  con.flush();
}

}  // namespace tarnwick
