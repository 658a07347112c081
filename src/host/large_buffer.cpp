#include "host/large_buffer.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tarnwick::platform {

#if defined(__linux__) && defined(MADV_HUGEPAGE)

void advise_large_buffer(void* data, size_t size) {
  const long page = sysconf(_SC_PAGESIZE);
  if (page <= 0) return;
  const uintptr_t mask = static_cast<uintptr_t>(page) - 1;
  const uintptr_t first = reinterpret_cast<uintptr_t>(data);
  // madvise takes whole pages: advise every page the buffer touches. The
  // hint only concerns this process's own memory, so the neighbours of the
  // buffer's first and last bytes may share it.
  const uintptr_t begin = first & ~mask;
  const uintptr_t end = (first + size + mask) & ~mask;
  if (end <= begin) return;
  madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
  // The pages that large pages cannot cover (the buffer does not start on a
  // large-page boundary) are then mapped in one call, not by 450 faults.
  madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#endif
}

#else

void advise_large_buffer(void*, size_t) {}

#endif

}  // namespace tarnwick::platform
