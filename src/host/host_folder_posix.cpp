// Folders held open as descriptors: everything below the top folder is made
// with mkdirat and openat relative to the folder that holds it, never
// following a symbolic link, and stamped with futimens on its own
// descriptor.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "host/host_folder.h"
#include "host/platform.h"

namespace tarnwick {

namespace {

// Linux syncs a whole file system at once (syncfs): one call at the end
// costs less than a sync per file. Elsewhere each file is synced as it is
// closed, after its last write.
#ifdef __linux__
constexpr bool kSyncWholeFileSystem = true;
#else
constexpr bool kSyncWholeFileSystem = false;
#endif

bool sync_file_system([[maybe_unused]] int fd) {
#ifdef __linux__
  return syncfs(fd) == 0;
#else
  return false;
#endif
}

// Sets the last-write time of an open file or folder, as the path-based
// time calls do, its access time left alone.
bool stamp(int fd, const HostTime& t) {
  int64_t when = 0;
  if (!platform::local_to_epoch_seconds(t, when)) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<std::time_t>(when);
  times[1].tv_nsec = 0;
  return futimens(fd, times) == 0;
}

bool sync_descriptor(int fd) { return fsync(fd) == 0 || errno == EINVAL; }

class DescriptorFile final : public NewFile {
 public:
  explicit DescriptorFile(int fd) : fd_(fd) {}
  ~DescriptorFile() override { close(); }

  size_t read_at(uint64_t, void*, size_t) override {
    failed_ = true;
    return 0;
  }

  size_t write_at(uint64_t offset, const void* buf, size_t n) override {
    size_t done = 0;
    while (fd_ >= 0 && done < n) {
      const ssize_t w = pwrite(fd_, static_cast<const char*>(buf) + done, n - done, static_cast<off_t>(offset + done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) break;
      done += static_cast<size_t>(w);
    }
    if (done < n) failed_ = true;
    return done;
  }

  bool failed() override { return failed_; }
  bool last_write_time(HostTime&) override { return false; }
  bool sync() override { return fd_ >= 0 && sync_descriptor(fd_); }
  bool set_time(const HostTime& t) override { return fd_ >= 0 && stamp(fd_, t); }

  bool close() override {
    if (fd_ < 0) return false;
    bool ok = !failed_;
    if (!kSyncWholeFileSystem) ok = sync_descriptor(fd_) && ok;
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
  bool failed_ = false;
};

class DescriptorFolder final : public HostFolder {
 public:
  DescriptorFolder(int fd, bool top) : fd_(fd), top_(top) {}
  ~DescriptorFolder() override { ::close(fd_); }
  DescriptorFolder(const DescriptorFolder&) = delete;
  DescriptorFolder& operator=(const DescriptorFolder&) = delete;

  std::unique_ptr<HostFolder> make_folder(std::u32string_view name) override {
    const NativeString n = native_text(name);
    if (mkdirat(fd_, n.c_str(), 0777) != 0) return nullptr;
    pause_after_making_folder();
    // Whatever stands at the name now must be the folder just made: a
    // symbolic link put there meanwhile fails to open.
    const int fd = openat(fd_, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<DescriptorFolder>(fd, false);
  }

  std::unique_ptr<NewFile> create_file(std::u32string_view name) override {
    const NativeString n = native_text(name);
    const int fd = openat(fd_, n.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    return std::make_unique<DescriptorFile>(fd);
  }

  bool remove_file(std::u32string_view name) override { return unlinkat(fd_, native_text(name).c_str(), 0) == 0; }

  bool set_time(const HostTime& t) override { return stamp(fd_, t); }

  bool make_durable() override {
    if (!kSyncWholeFileSystem) return sync_descriptor(fd_);
    return !top_ || sync_file_system(fd_);
  }

 private:
  int fd_;
  bool top_;
};

}  // namespace

std::unique_ptr<HostFolder> open_native_folder(const HostPath& path) {
  const int fd = open(path.native().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<DescriptorFolder>(fd, true);
}

}  // namespace tarnwick

#endif  // !_WIN32
