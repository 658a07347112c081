// The options that may come before the command letter.
//
// Every argument before the command that begins with '-' is an option, in
// any order: -s/--status (an exit status that tells the result), -l/--long
// (L shows sizes, addresses and the free space), -h/--help and --version.
// Short options may be run together ("-sl"). An option the tool does not
// know, or options without a command after them, make a wrong command line.
#pragma once

#include "output/console.h"

namespace tarnwick {

// The exit statuses a run has under -s.
inline constexpr int kExitFailure = 1;     // a failure was reported
inline constexpr int kExitWrongUsage = 2;  // the command line was wrong

struct Options {
  bool status = false;        // -s, --status
  bool long_listing = false;  // -l, --long
  // What the run gives instead of running a command: the first of -h and
  // --version on the line.
  enum class Answer { kNone, kHelp, kVersion } answer = Answer::kNone;
  bool unknown = false;       // an option the tool does not know
  // How many arguments (after the program name) the options took.
  int count = 0;

  // The exit status of a run that printed the usage.
  int usage_status() const { return status ? kExitWrongUsage : 0; }
  // The exit status of a run that got past the command line.
  int run_status(const Console& con) const { return status && con.failure_reported() ? kExitFailure : 0; }
};

// Reads the options from the start of a command line (argv[0] is the
// program name).
Options parse_options(int argc, const char* const argv[]);

// Prints the help text or the version when the options ask for one (and
// know every option); the run then ends with status 0 and opens nothing.
// False when they ask for neither.
bool answer_help_or_version(const Options& options, Console& con);

}  // namespace tarnwick
