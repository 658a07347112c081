// The command line: the options before the command letter, the letter and
// its arguments, each checked, and why a command line does not fit.
//
// Every argument that begins with '-' is an option, in any order and
// wherever it stands, before the command or among its arguments, up to
// "--", which ends the options ("-" alone is an argument, a stream):
// -s/--status (accepted; the exit status always tells the
// result), -l/--long (L shows sizes, addresses and the free space),
// -r/--recursive (L lists the whole tree), -j/--json (L and E write one
// JSON document), --fix (E mends what it safely can), -b/--basic and
// -t/--text (BASIC programs and BSD files as text where a command moves
// files), -q/--quiet (standard output carries only the data asked for),
// -n/--name NAME (T's tape name; also -nNAME and --name=NAME), -h/--help
// and --version. Short options may be run together ("-sl"). A file whose
// name begins with '-' is written after "--" or as "./-name".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/console.h"

namespace tarnwick {

// The exit statuses of a run.
inline constexpr int kExitFailure = 1;     // something failed
inline constexpr int kExitWrongUsage = 2;  // the command line does not fit
// The command did what was asked, but the volume's check (before or after
// it; E's examination) found it at fault.
inline constexpr int kExitVolumeAtFault = 3;

struct Options {
  bool long_listing = false;  // -l, --long
  bool basic = false;         // -b, --basic
  bool text = false;          // -t, --text
  bool recursive = false;     // -r, --recursive
  bool json = false;          // -j, --json
  bool quiet = false;         // -q, --quiet
  bool fix = false;           // --fix
  // -n NAME, --name NAME: T's tape name, as typed.
  std::optional<std::string> tape_name;
  // The options given that only some commands take, in the order typed:
  // each as typed ("-j" also when it came in a group such as "-lj"), and
  // the commands that take it, as the message names them.
  struct Restricted {
    std::string typed;
    std::string_view commands;
  };
  std::vector<Restricted> restricted;
  // What the run gives instead of running a command.
  enum class Answer { kNone, kHelp, kVersion } answer = Answer::kNone;
};

// Why a command line does not fit, the first that applies in this order.
enum class UsageFault {
  kNone,
  kNoArguments,     // nothing at all: the usage alone
  kUnknownOption,   // `subject`: the option as typed
  kUnknownCommand,  // `subject`: argument 1 as typed
  kOnlyForCommands, // `subject`: an option the command does not take; `commands`: those that do
  kNeedsValue,      // `subject`: an option that takes a value, given none
  kArgumentCount,   // `subject`: the letter as typed; `counts`: what the usage gives
  kPart,            // PART other than 1 or 2
  kPathTooLong,     // L's path does not fit its buffer
};

struct CommandLine {
  Options options;
  bool verbose = false;  // a V before the letter
  char letter = 0;       // upper case
  std::string image_name;
  // PART 1 or 2, as 0 or 1; for a D88 file of several disks, the disk
  // number less one (-1 for a PART that is no number).
  int partition_index = 0;
  std::optional<std::string> part;  // PART as typed
  std::optional<std::string> path;
  std::optional<std::string> host_file;  // C: NEWIMAGE
  std::vector<std::string> host_files;   // W: every host file from the fifth argument on
  // T, which takes no image: its SOURCE and TARGET.
  std::string source;
  std::string target;

  UsageFault fault = UsageFault::kNone;
  std::string subject;
  const char* counts = "";
  std::string_view commands;
};

// Reads the command line (argv[0] is the program's name). A PATH typed as
// UTF-8 text (`utf8_paths`) counts in the bytes it becomes. PART must be 1
// or 2 unless `disk_part` says that the image is a D88 file of several
// disks, whose PART is judged once the image is open.
CommandLine parse_command_line(int argc, const char* const argv[], bool utf8_paths, bool disk_part = false);

// The disk number a PART gives: decimal, without sign or leading zero,
// from 1; nothing for any other text.
std::optional<unsigned> disk_number(std::string_view part);

// Prints the help text or the version when the command line asks for one;
// the run then ends with status 0 and opens nothing. False when it asks for
// neither.
bool answer_help_or_version(const CommandLine& line, Console& con);

// Prints the usage, then why the command line does not fit (nothing for no
// arguments at all) and where to read more.
void report_usage(const CommandLine& line, Console& con);

}  // namespace tarnwick
