// What the process sets up before anything else runs.
#pragma once

namespace tarnwick {

// Opens each of the standard input, output and error that the run was
// started without on the null device, so that no file the run opens takes
// its number (and a message meant for standard error lands in an image
// file). On POSIX systems also ignores SIGPIPE: a write to a pipe whose
// reader has gone fails with EPIPE instead of ending the process, and the
// tool reports or ends it as it would any failed write.
void prepare_process();

}  // namespace tarnwick
