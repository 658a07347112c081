#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <utility>

#include "host/process.h"

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
  for (int i = 0; i < count; ++i) {
    const int size = static_cast<int>(std::wcslen(wide[i]));
    std::string text;
    const int n = size ? WideCharToMultiByte(CP_UTF8, 0, wide[i], size, nullptr, 0, nullptr, nullptr) : 0;
    if (n > 0) {
      text.resize(static_cast<size_t>(n));
      WideCharToMultiByte(CP_UTF8, 0, wide[i], size, text.data(), n, nullptr, nullptr);
    }
    args.push_back(std::move(text));
  }
  LocalFree(wide);
  return args;
}

}  // namespace tarnwick

#endif  // _WIN32
