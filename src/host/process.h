// What the process sets up before anything else runs.
#pragma once

#include <string>
#include <vector>

namespace tarnwick {

// What the process was started with.
struct ProcessStart {
  // Standard output was closed: nothing may be written there, and a run
  // that would write there fails as a failed write does.
  bool output_closed = false;
};

// Opens each of the standard input, output and error that the run was
// started without on the null device, so that no file the run opens takes
// its number (and a message meant for standard error lands in an image
// file), and tells which of them standard output was. On POSIX systems
// also ignores SIGPIPE: a write to a pipe whose reader has gone fails with
// EPIPE instead of ending the process, and the tool reports or ends it as
// it would any failed write. SIGXFSZ likewise: a write past the file size
// limit fails with EFBIG, and the file it was making is removed.
ProcessStart prepare_process();

// The command line's arguments, the program's name first: argv as it is on
// POSIX systems; on Windows the wide command line, each argument as UTF-8,
// so no name is bent to the ANSI code page on the way in.
std::vector<std::string> command_line(int argc, char** argv);

}  // namespace tarnwick
