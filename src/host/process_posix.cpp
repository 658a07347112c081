#ifndef _WIN32

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "host/process.h"

namespace tarnwick {

ProcessStart prepare_process() {
  ProcessStart start;
  // open() takes the lowest free number: going up from 0, each missing
  // descriptor is the one the null device gets.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == STDOUT_FILENO) start.output_closed = true;
    const int opened = open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != fd) close(opened);
  }
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  return start;
}

std::vector<std::string> command_line(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

}  // namespace tarnwick

#endif  // !_WIN32
