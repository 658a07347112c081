// POSIX implementations of the platform calls.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <cstring>
#include <utility>

#include "host/memory.h"
#include "host/platform.h"

namespace tarnwick::platform {

void prepare_for_writing(void* p, size_t n) {
#if defined(__linux__)
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels refuse it, which is harmless
#endif
  static const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  if (n == 0 || page == 0) return;
  const uintptr_t from = reinterpret_cast<uintptr_t>(p) & ~(page - 1);
  const uintptr_t to = reinterpret_cast<uintptr_t>(p) + n;
  madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
  (void)p;
  (void)n;
#endif
}

void prefer_large_pages(void* p, size_t n) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  static const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  if (page == 0) return;
  // The whole pages inside: madvise takes nothing else.
  const uintptr_t from = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
  const uintptr_t to = (reinterpret_cast<uintptr_t>(p) + n) & ~(page - 1);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
  (void)p;
  (void)n;
#endif
}

std::string error_text(int error) { return std::strerror(error); }

std::string last_error_text() { return error_text(errno); }

namespace {

FileKind kind_of(const struct stat& st) {
  if (S_ISREG(st.st_mode)) return FileKind::kRegular;
  if (S_ISDIR(st.st_mode)) return FileKind::kDirectory;
  return FileKind::kOther;
}

// Sets what `reason` points to, when it points anywhere.
void tell(std::string* reason, std::string text) {
  if (reason) *reason = std::move(text);
}

}  // namespace

// The modes of fopen's "rb", "r+b" and "wb", the file kept from programs
// this one starts.
Descriptor open_file(const NativeString& path, OpenMode mode, std::string* reason) {
  const int flags = mode == OpenMode::kRead     ? O_RDONLY
                    : mode == OpenMode::kUpdate ? O_RDWR
                                                : O_WRONLY | O_CREAT | O_TRUNC;
  int fd = -1;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) tell(reason, last_error_text());
  return fd;
}

Descriptor create_new_file(const NativeString& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
}

Descriptor open_regular(const NativeString& path, PathKind& found, std::string* reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
  struct stat st {};
  if (fd < 0) {
    const int error = errno;
    found = lstat(path.c_str(), &st) != 0 ? PathKind::kMissing
            : S_ISREG(st.st_mode)         ? PathKind::kFile
            : S_ISDIR(st.st_mode)         ? PathKind::kFolder
                                          : PathKind::kOther;
    if (found == PathKind::kFile) tell(reason, error_text(error));
    return kNoDescriptor;
  }
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    found = S_ISDIR(st.st_mode) ? PathKind::kFolder : PathKind::kOther;
    ::close(fd);
    return kNoDescriptor;
  }
  found = PathKind::kFile;
  // Reads of a regular file wait as they always do.
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

// A close that is interrupted has closed the descriptor all the same
// (Linux), so it is not made again.
bool close_file(Descriptor d) { return ::close(d) == 0 || errno == EINTR; }

FileKind file_kind(Descriptor d) {
  struct stat st {};
  if (fstat(d, &st) != 0) return FileKind::kOther;
  return kind_of(st);
}

std::optional<size_t> read_some(Descriptor d, std::optional<uint64_t> offset, void* buf, size_t n) {
  if (offset && *offset > static_cast<uint64_t>(INT64_MAX)) return size_t{0};
  for (;;) {
    const ssize_t r = offset ? pread(d, buf, n, static_cast<off_t>(*offset)) : ::read(d, buf, n);
    if (r >= 0) return static_cast<size_t>(r);
    if (errno != EINTR) return std::nullopt;
  }
}

std::optional<size_t> write_some(Descriptor d, std::optional<uint64_t> offset, const void* buf, size_t n) {
  if (offset && *offset > static_cast<uint64_t>(INT64_MAX)) {
    errno = EFBIG;
    return std::nullopt;
  }
  for (;;) {
    const ssize_t w = offset ? pwrite(d, buf, n, static_cast<off_t>(*offset)) : ::write(d, buf, n);
    if (w >= 0) return static_cast<size_t>(w);
    if (errno != EINTR) return std::nullopt;
  }
}

bool seek(Descriptor d, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  return lseek(d, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(-1);
}

bool sync_file(Descriptor d) {
  if (fsync(d) == 0) return true;
  // The system's answer for a file that does not support syncing.
  if (errno != EINVAL && errno != EROFS) return false;
  return file_kind(d) == FileKind::kOther;
}

uint64_t link_count(Descriptor d) {
  struct stat st {};
  if (fstat(d, &st) != 0 || st.st_nlink < 1) return 1;
  return static_cast<uint64_t>(st.st_nlink);
}

std::optional<uint64_t> file_size(Descriptor d) {
  struct stat st {};
  if (fstat(d, &st) != 0 || st.st_size < 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

std::optional<NativeString> real_path(const NativeString& opened_as, Descriptor d) {
  char* resolved = realpath(opened_as.c_str(), nullptr);
  if (!resolved) return std::nullopt;
  NativeString path(resolved);
  std::free(resolved);
  // The path may have been given to another file since it was opened.
  struct stat by_name {};
  struct stat opened {};
  if (stat(path.c_str(), &by_name) != 0 || fstat(d, &opened) != 0) return std::nullopt;
  if (by_name.st_dev != opened.st_dev || by_name.st_ino != opened.st_ino) return std::nullopt;
  return path;
}

// Open file description locks where the system has them (Linux): they
// belong to the open file, not to the process, so no other close of the
// file by this process lets go of them, as it would of a classic record
// lock. A Windows program under Wine locks through classic record locks,
// which these locks meet. Elsewhere flock does the same.
LockResult try_lock(Descriptor d, bool exclusive, std::string& unsupported_reason) {
#ifdef F_OFD_SETLK
  struct flock fl {};
  fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
  fl.l_whence = SEEK_SET;  // from the start, l_len 0: to the end and beyond
  if (fcntl(d, F_OFD_SETLK, &fl) == 0) return LockResult::kLocked;
#else
  if (flock(d, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return LockResult::kLocked;
#endif
  if (errno == EAGAIN || errno == EACCES || errno == EWOULDBLOCK) return LockResult::kBusy;
  unsupported_reason = last_error_text();
  return LockResult::kUnsupported;
}

// Closing the file lets go of the lock.
void unlock(Descriptor) {}

std::string lock_busy_text() { return error_text(EWOULDBLOCK); }

Descriptor descriptor_of(std::FILE* f) { return fileno(f); }

bool seek_stream(std::FILE* f, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
}

void set_binary_mode(std::FILE*) {}

namespace {

bool same_identity(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

bool same_file(const NativeString& a, const NativeString& b) {
  struct stat sa {};
  struct stat sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && same_identity(sa, sb);
}

bool is_standard_output(const NativeString& path) {
  struct stat named {};
  struct stat out {};
  return stat(path.c_str(), &named) == 0 && fstat(STDOUT_FILENO, &out) == 0 && same_identity(named, out);
}

PathKind path_kind(const NativeString& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return PathKind::kMissing;
  if (S_ISREG(st.st_mode)) return PathKind::kFile;
  if (S_ISDIR(st.st_mode)) return PathKind::kFolder;
  return PathKind::kOther;
}

bool make_folder(const NativeString& path) { return mkdir(path.c_str(), 0777) == 0; }

bool remove_file(const NativeString& path) { return unlink(path.c_str()) == 0; }

bool rename_file(const NativeString& from, const NativeString& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

bool sync_folder_of(const NativeString& path) {
  const size_t slash = path.rfind('/');
  const NativeString folder = slash == NativeString::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  // A file system that cannot sync folders (EINVAL) keeps names as it
  // keeps them; there is nothing more to ask of it.
  const bool synced = fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  return synced;
}

}  // namespace tarnwick::platform

#endif  // !_WIN32
