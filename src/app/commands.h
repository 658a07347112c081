// The command line's commands, one row each: the one place that says what a
// command takes, how it opens the image and what it does there.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "codecs/basic.h"
#include "containers/image_store.h"
#include "host/file.h"
#include "operations/session.h"
#include "output/console.h"
#include "output/report.h"
#include "volume/pattern.h"

namespace tarnwick {

// One run of the command line as a command's steps see it.
struct Run {
  const CommandLine& line;
  Console& con;
  Host& host;
  Session* session = nullptr;  // from the image's opening on
  // L's JSON document, and how many of the lines said in the run on the
  // volume come before it.
  std::optional<std::string> document;
  size_t document_at = 0;
  // PATH with a wildcard in its last name, for a command that takes one.
  std::optional<PathPattern> pattern;

  // How the run's text files (listings, BSD text) reach the host.
  TextForm text_files() const;
};

// What standard output carries when the command's host file argument
// names it: the file's bytes, and then no line.
enum class DataOut { kNone, kHostFile, kTarget };

struct Command {
  char letter;
  // How many arguments the command takes, counting the command as the
  // first, and how the usage says it.
  int min_count;
  int max_count;
  const char* counts;
  // A command that changes nothing is named by any word that starts with
  // its letter; one that writes by its letter alone or by one of these
  // names (separated by blanks), in any case, so that a word typed for
  // another tool ("dir", "info") runs nothing.
  std::string_view names;
  Access access;  // the lock goes with it: shared or exclusive
  DataOut data;
  bool needs_image;   // false: the step before opening is the whole run (T)
  bool floppy_only;   // the image must be a floppy disk's (C)
  bool wildcards;     // PATH may hold a wildcard in its last name
  // Runs before the image is opened; false ends the run there, said why.
  bool (*before_open)(Run& run, Report& rep);
  // The command's work on the loaded volume (Session::run); nothing: the
  // run loads and checks the image only.
  std::optional<Change> (*handler)(Run& run, const CheckReport& before, Report& rep);
  // A command that runs its own walk of the volume in place of the check
  // around it (E): all it does on the loaded volume, instead of Session::run.
  Ran (*checks_itself)(Run& run, Report& rep) = nullptr;
};

// How the command line has the image opened: as its command reads or
// writes it (--fix makes E write).
Access access_of(const Command& c, const CommandLine& line);

// The command of an upper-case letter; nothing for a letter that names none.
const Command* find_command(char letter);

}  // namespace tarnwick
