#ifdef _WIN32

#include "host/win32.h"

#include <io.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <utility>

#include "host/process.h"
#include "host/unicode.h"

namespace tarnwick {

ProcessStart prepare_process() {
  ProcessStart start;
  // A stream the process was started without has no handle behind it.
  const struct {
    std::FILE* stream;
    const char* mode;
  } standard[] = {{stdin, "r"}, {stdout, "w"}, {stderr, "w"}};
  for (int fd = 0; fd <= 2; ++fd) {
    const intptr_t h = _get_osfhandle(fd);
    if (h != -1 && h != -2) continue;
    if (fd == 1) start.output_closed = true;
    (void)std::freopen("NUL", standard[fd].mode, standard[fd].stream);
  }
  return start;
}

std::vector<std::string> command_line(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(utf8_of_utf16(wide[i]));
  LocalFree(wide);
  return args;
}

}  // namespace tarnwick

#endif  // _WIN32
