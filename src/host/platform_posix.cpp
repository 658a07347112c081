// POSIX implementations of the platform calls.
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <span>
#include <cstdlib>
#include <cstring>

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

FileKind file_kind(std::FILE* f) {
  struct stat st {};
  if (fstat(fileno(f), &st) != 0) return FileKind::kOther;
  if (S_ISREG(st.st_mode)) return FileKind::kRegular;
  if (S_ISDIR(st.st_mode)) return FileKind::kDirectory;
  return FileKind::kOther;
}

std::optional<size_t> read_positioned(std::FILE* f, uint64_t offset, void* buf, size_t n) {
  const int fd = fileno(f);
  if (fd < 0 || offset > static_cast<uint64_t>(INT64_MAX)) return size_t{0};
  size_t got = 0;
  while (got < n) {
    const ssize_t r = pread(fd, static_cast<char*>(buf) + got, n - got, static_cast<off_t>(offset + got));
    if (r < 0 && errno == EINTR) continue;
    // A failed read is made again through the stream, whose error flag
    // then tells it from the end of the file.
    if (r < 0) return std::nullopt;
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return got;
}

std::optional<size_t> write_positioned(std::FILE* f, uint64_t offset, const void* buf, size_t n) {
  const int fd = fileno(f);
  if (fd < 0 || offset > static_cast<uint64_t>(INT64_MAX)) return size_t{0};
  size_t put = 0;
  while (put < n) {
    const ssize_t w = pwrite(fd, static_cast<const char*>(buf) + put, n - put, static_cast<off_t>(offset + put));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) break;
    put += static_cast<size_t>(w);
  }
  return put;
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

bool is_standard_output(const std::string& name) {
  struct stat named {};
  struct stat out {};
  if (stat(name.c_str(), &named) != 0 || fstat(STDOUT_FILENO, &out) != 0) return false;
  return named.st_dev == out.st_dev && named.st_ino == out.st_ino;
}

void set_binary_mode(std::FILE*) {}

// Open file description locks where the system has them (Linux): they
// belong to the open stream, not to the process, so no other close of the
// file by this process lets go of them, as it would of a classic record
// lock. A Windows program under Wine locks through classic record locks,
// which these locks meet. Elsewhere flock does the same.
LockResult try_lock(std::FILE* f, bool exclusive, std::string* unsupported_reason) {
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
  if (errno == EAGAIN || errno == EACCES || errno == EWOULDBLOCK) return LockResult::kBusy;
  if (unsupported_reason) *unsupported_reason = std::strerror(errno);
  return LockResult::kUnsupported;
}

// Closing the stream lets go of the lock.
void unlock(std::FILE*) {}

std::string lock_busy_text() { return std::strerror(EWOULDBLOCK); }

// The host file time calls live in host_time_posix.cpp.

NativeString native_argument(std::string_view text) { return NativeString(text); }

std::FILE* open_stream(const std::string& name, const char* mode) { return std::fopen(name.c_str(), mode); }

PathKind path_kind(const NativeString& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return PathKind::kMissing;
  if (S_ISREG(st.st_mode)) return PathKind::kFile;
  if (S_ISDIR(st.st_mode)) return PathKind::kFolder;
  return PathKind::kOther;
}

bool folder_is_empty(const NativeString& path) {
  DIR* dir = opendir(path.c_str());
  if (!dir) return false;
  bool empty = true;
  errno = 0;
  while (const dirent* e = readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name != "." && name != "..") {
      empty = false;
      break;
    }
  }
  // A read error leaves the folder's contents unknown.
  if (errno != 0) empty = false;
  closedir(dir);
  return empty;
}

bool make_folder(const NativeString& path) { return mkdir(path.c_str(), 0777) == 0; }

std::FILE* create_new_file(const NativeString& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, "wb");
  if (!f) close(fd);
  return f;
}

bool remove_file(const NativeString& path) { return unlink(path.c_str()) == 0; }

bool sync_folder_of(const NativeString& path) {
  const size_t slash = path.rfind('/');
  const NativeString folder = slash == NativeString::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  // A file system that cannot sync folders (EINVAL) keeps names as it
  // keeps them; there is nothing more to ask of it.
  const bool synced = fsync(fd) == 0 || errno == EINVAL;
  close(fd);
  return synced;
}

bool set_path_time(const NativeString& path, const HostTime& t) { return set_host_file_time(path, t); }

std::optional<NativeString> real_path(const std::string& name, std::FILE* f) {
  char* resolved = realpath(name.c_str(), nullptr);
  if (!resolved) return std::nullopt;
  NativeString path(resolved);
  std::free(resolved);
  // The name may have been given to another file since it was opened.
  struct stat by_name {};
  struct stat opened {};
  if (stat(path.c_str(), &by_name) != 0 || fstat(fileno(f), &opened) != 0) return std::nullopt;
  if (by_name.st_dev != opened.st_dev || by_name.st_ino != opened.st_ino) return std::nullopt;
  return path;
}

uint64_t link_count(std::FILE* f) {
  struct stat st {};
  if (fstat(fileno(f), &st) != 0 || st.st_nlink < 1) return 1;
  return static_cast<uint64_t>(st.st_nlink);
}

std::optional<uint64_t> stream_size(std::FILE* f) {
  struct stat st {};
  if (fstat(fileno(f), &st) != 0 || st.st_size < 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

std::FILE* open_regular(const NativeString& path, PathKind& found, std::string* reason) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int error = errno;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
      found = PathKind::kMissing;
    } else if (S_ISREG(st.st_mode)) {
      found = PathKind::kFile;
      if (reason) *reason = std::strerror(error);
    } else {
      found = S_ISDIR(st.st_mode) ? PathKind::kFolder : PathKind::kOther;
    }
    return nullptr;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    found = S_ISDIR(st.st_mode) ? PathKind::kFolder : PathKind::kOther;
    close(fd);
    return nullptr;
  }
  found = PathKind::kFile;
  // Reads of a regular file wait as they always do.
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* file = fdopen(fd, "rb");
  if (!file) {
    if (reason) *reason = std::strerror(errno);
    close(fd);
  }
  return file;
}

std::string path_text(const NativeString& path) { return path; }

namespace {

// One conversion through iconv: the whole input must turn into at most
// `out.size()` bytes. The descriptor is reset first; it keeps no state
// between characters of these stateless encodings anyway.
std::optional<size_t> convert(iconv_t cd, std::string_view in, std::span<char> out) {
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* from = const_cast<char*>(in.data());
  size_t from_left = in.size();
  char* to = out.data();
  size_t to_left = out.size();
  if (iconv(cd, &from, &from_left, &to, &to_left) == static_cast<size_t>(-1) || from_left != 0) return std::nullopt;
  return out.size() - to_left;
}

}  // namespace

std::optional<char32_t> decode_cp932(std::string_view bytes) {
  static const iconv_t cd = iconv_open("UTF-32LE", "CP932");
  std::array<char, 8> out{};
  const std::optional<size_t> n = convert(cd, bytes, out);
  if (!n || *n != 4) return std::nullopt;  // exactly one character
  const auto b = [&](size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(out[i])); };
  return b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24);
}

std::optional<std::string> encode_cp932(char32_t c) {
  static const iconv_t cd = iconv_open("CP932", "UTF-32LE");
  const std::array<char, 4> in = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                                  static_cast<char>((c >> 16) & 0xFF), static_cast<char>(c >> 24)};
  std::array<char, 8> out{};
  const std::optional<size_t> n = convert(cd, std::string_view(in.data(), in.size()), out);
  if (!n || *n == 0) return std::nullopt;
  return std::string(out.data(), *n);
}

}  // namespace tarnwick::platform

#endif  // !_WIN32
