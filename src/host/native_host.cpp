// The real host: C streams for files, platform calls for syncing and times.
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "host/file.h"
#include "host/platform.h"

namespace tarnwick {

namespace {

class StdioFile final : public File {
 public:
  explicit StdioFile(std::FILE* f) : f_(f) {}
  ~StdioFile() override {
    if (f_) std::fclose(f_);
  }

  size_t read_at(uint64_t offset, void* buf, size_t n) override {
    if (!f_ || !position(offset, false)) return 0;
    return std::fread(buf, 1, n, f_);
  }

  size_t write_at(uint64_t offset, const void* buf, size_t n) override {
    if (!f_ || !position(offset, true)) return 0;
    const size_t written = std::fwrite(buf, 1, n, f_);
    pos_ += written;
    return written;
  }

  std::optional<uint64_t> size() override {
    if (!f_ || !platform::seek_end(f_)) return std::nullopt;
    std::optional<uint64_t> length = platform::tell(f_);
    last_ = Last::kNone;  // the position moved
    return length;
  }

  bool sync() override {
    if (!f_) return false;
    return std::fflush(f_) == 0 && platform::sync_stream(f_);
  }

  bool close() override {
    if (!f_) return false;
    const bool ok = std::ferror(f_) == 0;
    const bool closed = std::fclose(f_) == 0;
    f_ = nullptr;
    return ok && closed;
  }

 private:
  enum class Last { kNone, kRead, kWrite };

  // A C stream needs a positioning call between reads and writes; one is
  // made for every access, except for sequential writes, which are common
  // (extraction) and stay buffered.
  bool position(uint64_t offset, bool writing) {
    if (writing && last_ == Last::kWrite && offset == pos_) return true;
    if (!platform::seek(f_, offset)) return false;
    last_ = writing ? Last::kWrite : Last::kRead;
    pos_ = offset;
    return true;
  }

  std::FILE* f_;
  Last last_ = Last::kNone;
  uint64_t pos_ = 0;
};

class NativeHost final : public Host {
 public:
  std::unique_ptr<File> open(const std::string& name, OpenMode mode, std::string* reason) override {
    const char* m = mode == OpenMode::kUpdate ? "r+b" : mode == OpenMode::kRead ? "rb" : "wb";
    errno = 0;
    std::FILE* f = std::fopen(name.c_str(), m);
    if (!f) {
      if (reason) *reason = std::strerror(errno ? errno : ENOENT);
      return nullptr;
    }
    // A directory opens for reading on some systems; it is not a file.
    std::error_code ec;
    if (std::filesystem::is_directory(name, ec)) {
      std::fclose(f);
      if (reason) *reason = std::strerror(EISDIR);
      return nullptr;
    }
    return std::make_unique<StdioFile>(f);
  }

  bool read_file_time(const std::string& name, HostTime& t) override {
    return platform::read_host_file_time(name, t);
  }

  bool set_file_time(const std::string& name, const HostTime& t) override {
    return platform::set_host_file_time(name, t);
  }

  bool same_file(const std::string& a, const std::string& b) override { return platform::same_file(a, b); }

  PathKind path_kind(const HostPath& path) override { return platform::path_kind(path.native()); }
  bool folder_is_empty(const HostPath& path) override { return platform::folder_is_empty(path.native()); }
  bool make_folder(const HostPath& path) override { return platform::make_folder(path.native()); }

  std::unique_ptr<File> create_file(const HostPath& path) override {
    std::FILE* f = platform::create_new_file(path.native());
    if (!f) return nullptr;
    return std::make_unique<StdioFile>(f);
  }

  bool remove_file(const HostPath& path) override { return platform::remove_file(path.native()); }
  HostTime now() override { return platform::local_time_now(); }

  bool set_time(const HostPath& path, const HostTime& t) override {
    return platform::set_path_time(path.native(), t);
  }
};

}  // namespace

Host& native_host() {
  static NativeHost host;
  return host;
}

}  // namespace tarnwick
