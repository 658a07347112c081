// Folders held open as descriptors: everything below the top folder is made
// with mkdirat and openat relative to the folder that holds it, never
// following a symbolic link, and stamped through its own descriptor.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "host/host_folder.h"
#include "host/native_file.h"
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

bool sync_descriptor(int fd) { return fsync(fd) == 0 || errno == EINVAL; }

// A file made in a folder, synced as it is closed where the file system is
// not synced at once.
std::unique_ptr<NewFile> made_file(int fd) {
  NativeFile::Options options;
  options.sync_on_close = !kSyncWholeFileSystem;
  return std::make_unique<NativeFile>(fd, true, std::move(options));
}

// Nothing, with the error of the call that just failed in `reason`.
std::nullptr_t failed(std::string* reason) {
  if (reason) *reason = platform::last_error_text();
  return nullptr;
}

class DescriptorFolder final : public HostFolder {
 public:
  DescriptorFolder(int fd, bool top, const std::function<void()>& after_making_folder)
      : fd_(fd), top_(top), after_making_folder_(after_making_folder) {}
  ~DescriptorFolder() override { ::close(fd_); }
  DescriptorFolder(const DescriptorFolder&) = delete;
  DescriptorFolder& operator=(const DescriptorFolder&) = delete;

  std::unique_ptr<HostFolder> make_folder(std::u32string_view name, std::string* reason) override {
    const NativeString n = native_text(name);
    if (mkdirat(fd_, n.c_str(), 0777) != 0) return failed(reason);
    if (after_making_folder_) after_making_folder_();
    // Whatever stands at the name now must be the folder just made: a
    // symbolic link put there meanwhile fails to open.
    const int fd = openat(fd_, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return failed(reason);
    return std::make_unique<DescriptorFolder>(fd, false, after_making_folder_);
  }

  std::unique_ptr<NewFile> create_file(std::u32string_view name, std::string* reason) override {
    const NativeString n = native_text(name);
    const int fd = openat(fd_, n.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return failed(reason);
    return made_file(fd);
  }

  bool remove_file(std::u32string_view name) override { return unlinkat(fd_, native_text(name).c_str(), 0) == 0; }

  bool set_time(const HostTime& t) override { return platform::set_file_time(fd_, t); }

  bool make_durable() override {
    if (!kSyncWholeFileSystem) return sync_descriptor(fd_);
    return !top_ || sync_file_system(fd_);
  }

 private:
  int fd_;
  bool top_;
  const std::function<void()>& after_making_folder_;
};

}  // namespace

std::unique_ptr<HostFolder> open_native_folder(const HostPath& path, const std::function<void()>& after_making_folder) {
  const int fd = open(path.native().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<DescriptorFolder>(fd, true, after_making_folder);
}

}  // namespace tarnwick

#endif  // !_WIN32
