// POSIX implementations of the platform calls.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/platform.h"

namespace tarnwick::platform {

FileKind file_kind(std::FILE* f) {
  struct stat st {};
  if (fstat(fileno(f), &st) != 0) return FileKind::kOther;
  if (S_ISREG(st.st_mode)) return FileKind::kRegular;
  if (S_ISDIR(st.st_mode)) return FileKind::kDirectory;
  return FileKind::kOther;
}

bool sync_stream(std::FILE* f) {
  const int fd = fileno(f);
  if (fd < 0) return false;
  if (fsync(fd) == 0) return true;
  // The system's answer for a file that does not support syncing.
  if (errno != EINVAL && errno != EROFS) return false;
  return file_kind(f) == FileKind::kOther;
}

bool seek(std::FILE* f, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Open file description locks where the system has them (Linux): they
// belong to the open stream, not to the process, so no other close of the
// file by this process lets go of them, as it would of a classic record
// lock. A Windows program under Wine locks through classic record locks,
// which these locks meet. Elsewhere flock does the same.
LockResult try_lock(std::FILE* f, bool exclusive) {
  const int fd = fileno(f);
  if (fd < 0) return LockResult::kUnsupported;
#ifdef F_OFD_SETLK
  struct flock fl {};
  fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
  fl.l_whence = SEEK_SET;  // from the start, l_len 0: to the end and beyond
  if (fcntl(fd, F_OFD_SETLK, &fl) == 0) return LockResult::kLocked;
#else
  if (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return LockResult::kLocked;
#endif
  return errno == EAGAIN || errno == EACCES || errno == EWOULDBLOCK ? LockResult::kBusy : LockResult::kUnsupported;
}

// Closing the stream lets go of the lock.
void unlock(std::FILE*) {}

std::string lock_busy_text() { return std::strerror(EWOULDBLOCK); }

// The host file time calls live in host_time_posix.cpp.

}  // namespace tarnwick::platform

#endif  // !_WIN32
