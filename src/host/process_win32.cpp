#ifdef _WIN32

#include <io.h>

#include <cstdint>
#include <cstdio>

#include "host/process.h"

namespace tarnwick {

void prepare_process() {
  // A stream the process was started without has no handle behind it.
  const struct {
    std::FILE* stream;
    const char* mode;
  } standard[] = {{stdin, "r"}, {stdout, "w"}, {stderr, "w"}};
  for (int fd = 0; fd <= 2; ++fd) {
    const intptr_t h = _get_osfhandle(fd);
    if (h == -1 || h == -2) (void)std::freopen("NUL", standard[fd].mode, standard[fd].stream);
  }
}

}  // namespace tarnwick

#endif  // _WIN32
