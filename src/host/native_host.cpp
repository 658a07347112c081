// The real host: files as the system's descriptors or handles (NativeFile),
// the standard streams through the C library, platform calls for the rest.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "host/file.h"
#include "host/host_folder.h"
#include "host/memory.h"
#include "host/native_file.h"
#include "host/platform.h"

namespace tarnwick {

namespace {

// Standard input or output: read or written in sequence from where it
// stands, through the stream's own buffer, never synced to the disk and
// never closed.
class StandardStream final : public File {
 public:
  explicit StandardStream(std::FILE* f) : f_(f) {}
  ~StandardStream() override { close(); }

  size_t read_at(uint64_t offset, void* buf, size_t n) override {
    if (!position(offset)) return 0;
    const size_t got = std::fread(buf, 1, n, f_);
    moved(got, got == n || !std::ferror(f_));
    return got;
  }

  size_t write_at(uint64_t offset, const void* buf, size_t n) override {
    if (!position(offset)) return 0;
    const size_t written = std::fwrite(buf, 1, n, f_);
    moved(written, written == n);
    return written;
  }

  bool failed() override { return failure_.has_value(); }
  std::string failure_text() override { return failure_.value_or(""); }

  bool last_write_time(HostTime& t) override {
    if (!f_) return false;
    // What comes through a pipe or from a terminal is made now.
    const platform::Descriptor d = platform::descriptor_of(f_);
    if (platform::file_kind(d) != platform::FileKind::kRegular) {
      t = platform::local_time_now();
      return true;
    }
    return platform::read_file_time(d, t);
  }

  bool sync() override { return f_ && std::fflush(f_) == 0 && std::ferror(f_) == 0; }

  bool close() override {
    if (!f_) return false;
    const bool ok = sync();
    f_ = nullptr;
    return ok;
  }

  // A standard stream is no file the tool names, sizes or locks.
  uint64_t link_count() override { return 1; }
  std::optional<uint64_t> size() override { return std::nullopt; }
  std::optional<HostPath> real_path(const HostPath&) override { return std::nullopt; }
  std::optional<std::string> lock_unavailable() override { return std::nullopt; }

 private:
  // An access that goes on where the last one ended needs no positioning
  // call, which a pipe or a terminal would refuse.
  bool position(uint64_t offset) {
    if (f_ && pos_ == offset) return true;
    if (f_ && platform::seek_stream(f_, offset)) {
      pos_ = offset;
      return true;
    }
    moved(0, false);
    return false;
  }

  // After an access that moved `n` bytes; one that failed leaves the
  // position unknown, so the next access positions the stream anew.
  void moved(size_t n, bool ok) {
    if (ok) {
      *pos_ += n;
      return;
    }
    if (!failure_) failure_ = platform::error_text(errno ? errno : EIO);
    pos_.reset();
  }

  std::FILE* f_;
  std::optional<uint64_t> pos_ = 0;  // nothing when unknown
  std::optional<std::string> failure_;
};

class NativeHost final : public Host {
 public:
  NativeHost(std::chrono::milliseconds lock_wait, bool output_closed, std::function<void()> after_making_folder)
      : lock_wait_(lock_wait), output_closed_(output_closed), after_making_folder_(std::move(after_making_folder)) {}

  std::unique_ptr<File> open(const HostPath& path, OpenMode mode, std::string* reason, Lock lock) override {
    const platform::Descriptor d = platform::open_file(path.native(), mode, reason);
    if (d == platform::kNoDescriptor) return nullptr;
    // A directory opens for reading on some systems; it is not a file.
    const platform::FileKind kind = platform::file_kind(d);
    if (kind == platform::FileKind::kDirectory) {
      platform::close_file(d);
      if (reason) *reason = platform::error_text(EISDIR);
      return nullptr;
    }
    std::unique_ptr<NativeFile> file = locked(d, kind == platform::FileKind::kRegular, lock);
    if (!file && reason) *reason = platform::lock_busy_text();
    return file;
  }

  bool same_file(const HostPath& a, const HostPath& b) override { return platform::same_file(a.native(), b.native()); }

  std::unique_ptr<File> open_standard(OpenMode mode, std::string* reason) override {
    // What stands at standard output's number then is the null device,
    // put there to keep the number taken.
    if (mode == OpenMode::kCreate && output_closed_) {
      if (reason) *reason = platform::error_text(EBADF);
      return nullptr;
    }
    std::FILE* f = mode == OpenMode::kRead ? stdin : mode == OpenMode::kCreate ? stdout : nullptr;
    if (!f) return nullptr;
    platform::set_binary_mode(f);
    return std::make_unique<StandardStream>(f);
  }
  bool is_standard_output(const HostPath& path) override { return platform::is_standard_output(path.native()); }

  PathKind path_kind(const HostPath& path) override { return platform::path_kind(path.native()); }

  bool folder_is_empty(const HostPath& path) override {
    std::vector<FolderEntry> entries;
    return path_kind(path) == PathKind::kFolder && list_folder(path, entries) && entries.empty();
  }

  bool make_folder(const HostPath& path, std::string* reason) override {
    if (platform::make_folder(path.native())) return true;
    if (reason) *reason = platform::last_error_text();
    return false;
  }

  std::unique_ptr<File> create_file(const HostPath& path, std::string* reason) override {
    const platform::Descriptor d = platform::create_new_file(path.native());
    if (d == platform::kNoDescriptor) {
      if (reason) *reason = platform::last_error_text();
      return nullptr;
    }
    return std::make_unique<NativeFile>(d, true);
  }

  std::unique_ptr<File> create_locked_file(const HostPath& path, std::string* reason) override {
    const platform::Descriptor d = platform::create_new_file(path.native());
    if (d == platform::kNoDescriptor) {
      if (reason) *reason = platform::last_error_text();
      return nullptr;
    }
    std::unique_ptr<File> file = locked(d, true, Lock::kExclusive);
    if (!file) {
      if (reason) *reason = platform::lock_busy_text();
      platform::remove_file(path.native());
    }
    return file;
  }

  std::unique_ptr<File> open_regular(const HostPath& path, PathKind& found, std::string* reason) override {
    const platform::Descriptor d = platform::open_regular(path.native(), found, reason);
    if (d == platform::kNoDescriptor) return nullptr;
    return std::make_unique<NativeFile>(d, true);
  }

  bool remove_file(const HostPath& path) override { return platform::remove_file(path.native()); }
  bool rename_file(const HostPath& from, const HostPath& to, std::string* reason) override {
    if (platform::rename_file(from.native(), to.native())) return true;
    if (reason) *reason = platform::last_error_text();
    return false;
  }
  bool sync_folder_of(const HostPath& path) override { return platform::sync_folder_of(path.native()); }
  HostTime now() override { return platform::local_time_now(); }
  bool set_time(const HostPath& path, const HostTime& t) override { return platform::set_path_time(path.native(), t); }

  std::unique_ptr<HostFolder> open_folder(const HostPath& path) override {
    return open_native_folder(path, after_making_folder_);
  }

  bool list_folder(const HostPath& path, std::vector<FolderEntry>& entries) override {
    return platform::list_folder(path.native(), entries);
  }

  std::optional<HostTime> path_time(const HostPath& path) override { return platform::path_time(path.native()); }

  void prepare_for_writing(void* p, size_t n) override { platform::prepare_for_writing(p, n); }
  void prefer_large_pages(void* p, size_t n) override { platform::prefer_large_pages(p, n); }

 private:
  // The open file `d` with the lock asked for. Nothing (and `d` closed)
  // when another run holds a conflicting lock until the lock wait is over.
  std::unique_ptr<NativeFile> locked(platform::Descriptor d, bool positioned, Lock lock) {
    NativeFile::Options options;
    if (lock != Lock::kNone && !wait_for_lock(d, lock == Lock::kExclusive, options)) {
      platform::close_file(d);
      return nullptr;
    }
    return std::make_unique<NativeFile>(d, positioned, std::move(options));
  }

  // Tries to lock the file until the lock wait is over, a little while
  // apart. A file that cannot be locked at all (a file system without
  // locks) is used unlocked, the options telling why.
  bool wait_for_lock(platform::Descriptor d, bool exclusive, NativeFile::Options& options) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point give_up = Clock::now() + lock_wait_;
    for (;;) {
      std::string why;
      switch (platform::try_lock(d, exclusive, why)) {
        case platform::LockResult::kLocked:
          options.locked = true;
          return true;
        case platform::LockResult::kUnsupported:
          options.lock_unavailable = why;
          return true;
        case platform::LockResult::kBusy:
          break;
      }
      const Clock::time_point now = Clock::now();
      if (now >= give_up) return false;
      std::this_thread::sleep_for(std::min<Clock::duration>(kLockPoll, give_up - now));
    }
  }

  static constexpr std::chrono::milliseconds kLockPoll{20};
  std::chrono::milliseconds lock_wait_;
  bool output_closed_;
  std::function<void()> after_making_folder_;
};

}  // namespace

Host& native_host() {
  static NativeHost host(kImageLockWait, false, nullptr);
  return host;
}

std::unique_ptr<Host> make_native_host(std::chrono::milliseconds lock_wait, bool output_closed,
                                       std::function<void()> after_making_folder) {
  return std::make_unique<NativeHost>(lock_wait, output_closed, std::move(after_making_folder));
}

}  // namespace tarnwick
