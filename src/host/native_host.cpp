// The real host: C streams for files, platform calls for syncing and times.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "host/file.h"
#include "host/host_folder.h"
#include "host/platform.h"

namespace tarnwick {

namespace {

class StdioFile final : public File {
 public:
  StdioFile(std::FILE* f, bool locked, std::optional<std::string> lock_unavailable = std::nullopt)
      : f_(f),
        locked_(locked),
        regular_(platform::file_kind(f) == platform::FileKind::kRegular),
        lock_unavailable_(std::move(lock_unavailable)) {}
  // A standard stream: read or written in sequence from where it stands,
  // never synced to the disk and never closed.
  struct Standard {};
  StdioFile(std::FILE* f, Standard) : f_(f), locked_(false), regular_(false), standard_(true) {}
  ~StdioFile() override { close(); }

  size_t read_at(uint64_t offset, void* buf, size_t n) override {
    // A regular file is read with positioned reads where the platform has
    // them: a volume's pages arrive one system call each, wherever they lie.
    if (f_ && regular_) {
      // Buffered writes go out first; one that fails is a failure of the
      // file, which sync() and close() report too (the stream's error flag).
      if (last_ == Access::kWrite && std::fflush(f_) != 0) {
        failed_ = true;
        return 0;
      }
      if (const std::optional<size_t> got = platform::read_positioned(f_, offset, buf, n)) {
        last_ = Access::kNone;  // the stream's own position is the one to seek from
        pos_.reset();
        return *got;
      }
    }
    if (!f_ || !position(offset, Access::kRead)) {
      failed_ = true;
      return 0;
    }
    const size_t got = std::fread(buf, 1, n, f_);
    moved(got, got == n || !std::ferror(f_));
    return got;
  }

  size_t write_at(uint64_t offset, const void* buf, size_t n) override {
    // A regular file is written with positioned writes where the platform
    // has them: a save's stretches go out one system call each.
    if (f_ && regular_ && !standard_) {
      if (last_ == Access::kWrite && std::fflush(f_) != 0) {
        failed_ = true;
        return 0;
      }
      if (const std::optional<size_t> put = platform::write_positioned(f_, offset, buf, n)) {
        last_ = Access::kNone;
        pos_.reset();
        wrote_ = true;
        if (*put != n) failed_ = true;
        return *put;
      }
    }
    if (!f_ || !position(offset, Access::kWrite)) {
      failed_ = true;
      return 0;
    }
    wrote_ = true;
    const size_t written = std::fwrite(buf, 1, n, f_);
    moved(written, written == n);
    return written;
  }

  bool failed() override { return failed_; }

  bool last_write_time(HostTime& t) override {
    if (!f_) return false;
    // What comes through a pipe or from a terminal is made now.
    if (standard_ && platform::file_kind(f_) != platform::FileKind::kRegular) {
      t = platform::local_time_now();
      return true;
    }
    return platform::read_stream_time(f_, t);
  }

  bool sync() override {
    if (!f_) return false;
    return std::fflush(f_) == 0 && std::ferror(f_) == 0 && (standard_ || platform::sync_stream(f_));
  }

  uint64_t link_count() override { return f_ ? platform::link_count(f_) : 1; }

  std::optional<uint64_t> size() override {
    // Only what was written needs flushing first: some C runtimes refuse to
    // flush a stream opened for reading.
    if (!f_ || (wrote_ && std::fflush(f_) != 0)) return std::nullopt;
    return platform::stream_size(f_);
  }

  std::optional<HostPath> real_path(const std::string& opened_as) override {
    if (!f_) return std::nullopt;
    std::optional<NativeString> path = platform::real_path(opened_as, f_);
    if (!path) return std::nullopt;
    return HostPath::from_native(std::move(*path));
  }

  std::optional<std::string> lock_unavailable() override { return lock_unavailable_; }

  bool close() override {
    if (!f_) return false;
    if (standard_) {
      const bool ok = std::fflush(f_) == 0 && std::ferror(f_) == 0;
      f_ = nullptr;
      return ok;
    }
    // Everything written reaches the file before the lock is let go.
    bool flushed = true;
    if (locked_) {
      if (wrote_) flushed = std::fflush(f_) == 0;
      platform::unlock(f_);
    }
    const bool ok = std::ferror(f_) == 0;
    const bool closed = std::fclose(f_) == 0;
    f_ = nullptr;
    return flushed && ok && closed;
  }

 private:
  enum class Access { kNone, kRead, kWrite };

  // A C stream needs a positioning call between reads and writes. None is
  // made for an access that goes on where the last one of its kind ended,
  // or for the first one at the start: pipes and devices, which cannot be
  // positioned, are read and written in sequence that way, and sequential
  // writes (extraction) stay buffered.
  bool position(uint64_t offset, Access access) {
    if (pos_ == offset && (last_ == access || last_ == Access::kNone)) {
      last_ = access;
      return true;
    }
    if (!platform::seek(f_, offset)) return false;
    last_ = access;
    pos_ = offset;
    return true;
  }

  // After an access that moved `n` bytes; one that failed leaves the
  // position unknown, so the next access positions the stream anew.
  void moved(size_t n, bool ok) {
    if (ok) {
      *pos_ += n;
      return;
    }
    failed_ = true;
    last_ = Access::kNone;
    pos_.reset();
  }

  std::FILE* f_;
  bool locked_;
  bool regular_;
  bool standard_ = false;
  bool wrote_ = false;
  Access last_ = Access::kNone;
  std::optional<uint64_t> pos_ = 0;  // nothing when unknown
  bool failed_ = false;
  std::optional<std::string> lock_unavailable_;
};

class NativeHost final : public Host {
 public:
  NativeHost(std::chrono::milliseconds lock_wait, bool output_closed)
      : lock_wait_(lock_wait), output_closed_(output_closed) {}

  std::unique_ptr<File> open(const std::string& name, OpenMode mode, std::string* reason, Lock lock) override {
    const char* m = mode == OpenMode::kUpdate ? "r+b" : mode == OpenMode::kRead ? "rb" : "wb";
    errno = 0;
    std::FILE* f = platform::open_stream(name, m);
    if (!f) {
      if (reason) *reason = std::strerror(errno ? errno : ENOENT);
      return nullptr;
    }
    // A directory opens for reading on some systems; it is not a file.
    if (platform::file_kind(f) == platform::FileKind::kDirectory) {
      std::fclose(f);
      if (reason) *reason = std::strerror(EISDIR);
      return nullptr;
    }
    bool locked = false;
    std::optional<std::string> unavailable;
    if (lock != Lock::kNone && !wait_for_lock(f, lock == Lock::kExclusive, locked, unavailable)) {
      std::fclose(f);
      if (reason) *reason = platform::lock_busy_text();
      return nullptr;
    }
    return std::make_unique<StdioFile>(f, locked, std::move(unavailable));
  }

  bool set_file_time(const std::string& name, const HostTime& t) override {
    return platform::set_host_file_time(name, t);
  }

  bool same_file(const std::string& a, const std::string& b) override { return platform::same_file(a, b); }

  std::unique_ptr<File> open_standard(OpenMode mode, std::string* reason) override {
    // What stands at standard output's number then is the null device,
    // put there to keep the number taken.
    if (mode == OpenMode::kCreate && output_closed_) {
      if (reason) *reason = std::strerror(EBADF);
      return nullptr;
    }
    std::FILE* f = mode == OpenMode::kRead ? stdin : mode == OpenMode::kCreate ? stdout : nullptr;
    if (!f) return nullptr;
    platform::set_binary_mode(f);
    return std::make_unique<StdioFile>(f, StdioFile::Standard{});
  }
  bool is_standard_output(const std::string& name) override { return platform::is_standard_output(name); }

  PathKind path_kind(const HostPath& path) override { return platform::path_kind(path.native()); }
  bool folder_is_empty(const HostPath& path) override { return platform::folder_is_empty(path.native()); }
  bool make_folder(const HostPath& path) override { return platform::make_folder(path.native()); }

  std::unique_ptr<File> create_file(const HostPath& path) override {
    std::FILE* f = platform::create_new_file(path.native());
    if (!f) return nullptr;
    return std::make_unique<StdioFile>(f, false);
  }

  std::unique_ptr<File> create_locked_file(const HostPath& path) override {
    std::FILE* f = platform::create_new_file(path.native());
    if (!f) return nullptr;
    bool locked = false;
    std::optional<std::string> unavailable;
    if (!wait_for_lock(f, true, locked, unavailable)) {
      std::fclose(f);
      platform::remove_file(path.native());
      return nullptr;
    }
    return std::make_unique<StdioFile>(f, locked, std::move(unavailable));
  }

  std::unique_ptr<File> open_regular(const HostPath& path, PathKind& found, std::string* reason) override {
    std::FILE* f = platform::open_regular(path.native(), found, reason);
    if (!f) return nullptr;
    return std::make_unique<StdioFile>(f, false);
  }

  bool remove_file(const HostPath& path) override { return platform::remove_file(path.native()); }
  bool sync_folder_of(const HostPath& path) override { return platform::sync_folder_of(path.native()); }
  HostTime now() override { return platform::local_time_now(); }

  bool set_time(const HostPath& path, const HostTime& t) override {
    return platform::set_path_time(path.native(), t);
  }

  std::unique_ptr<HostFolder> open_folder(const HostPath& path) override { return open_native_folder(path); }

  bool list_folder(const HostPath& path, std::vector<FolderEntry>& entries) override {
    return platform::list_folder(path.native(), entries);
  }

  std::optional<HostTime> path_time(const HostPath& path) override { return platform::path_time(path.native()); }

 private:
  // Tries to lock the file until the lock wait is over, a little while
  // apart. A file that cannot be locked at all (a file system without
  // locks) is used unlocked, `unavailable` telling why.
  bool wait_for_lock(std::FILE* f, bool exclusive, bool& locked, std::optional<std::string>& unavailable) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point give_up = Clock::now() + lock_wait_;
    for (;;) {
      std::string why;
      switch (platform::try_lock(f, exclusive, &why)) {
        case platform::LockResult::kLocked:
          locked = true;
          return true;
        case platform::LockResult::kUnsupported:
          unavailable = why;
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
};

}  // namespace

Host& native_host() {
  static NativeHost host(kImageLockWait, false);
  return host;
}

std::unique_ptr<Host> make_native_host(std::chrono::milliseconds lock_wait, bool output_closed) {
  return std::make_unique<NativeHost>(lock_wait, output_closed);
}

}  // namespace tarnwick
