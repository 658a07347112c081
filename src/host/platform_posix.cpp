// POSIX implementations of the platform calls.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/platform.h"

namespace tarnwick::platform {

bool sync_stream(std::FILE* f) {
  const int fd = fileno(f);
  if (fd < 0) return false;
  return fsync(fd) == 0;
}

bool seek(std::FILE* f, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
}

FileKind file_kind(std::FILE* f) {
  struct stat st {};
  if (fstat(fileno(f), &st) != 0) return FileKind::kOther;
  if (S_ISREG(st.st_mode)) return FileKind::kRegular;
  if (S_ISDIR(st.st_mode)) return FileKind::kDirectory;
  return FileKind::kOther;
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The host file time calls live in host_time_posix.cpp.

}  // namespace tarnwick::platform

#endif  // !_WIN32
