#include "host/native_file.h"

#include <cerrno>
#include <utility>

namespace tarnwick {

NativeFile::NativeFile(platform::Descriptor d, bool positioned, Options options)
    : d_(d), positioned_(positioned), options_(std::move(options)) {}

size_t NativeFile::read_at(uint64_t offset, void* buf, size_t n) {
  return transfer(offset, n, false, [&](std::optional<uint64_t> at, size_t done) {
    return platform::read_some(d_, at, static_cast<char*>(buf) + done, n - done);
  });
}

size_t NativeFile::write_at(uint64_t offset, const void* buf, size_t n) {
  return transfer(offset, n, true, [&](std::optional<uint64_t> at, size_t done) {
    return platform::write_some(d_, at, static_cast<const char*>(buf) + done, n - done);
  });
}

// Moves n bytes, `move(at, done)` making one call for what is left after
// `done` bytes, at `at` or where the file stands: a read ends early at the
// end of the file, either ends at a failure.
template <typename Move>
size_t NativeFile::transfer(uint64_t offset, size_t n, bool writing, Move move) {
  if (!open()) {
    fail(platform::error_text(EBADF), writing);
    return 0;
  }
  if (!positioned_ && position_ != offset) {
    if (!platform::seek(d_, offset)) {
      fail(platform::last_error_text(), writing);
      position_.reset();
      return 0;
    }
    position_ = offset;
  }
  size_t done = 0;
  while (done < n) {
    const std::optional<uint64_t> at = positioned_ ? std::optional<uint64_t>(offset + done) : std::nullopt;
    const std::optional<size_t> moved = move(at, done);
    if (!moved || (*moved == 0 && writing)) {
      fail(moved ? platform::error_text(EIO) : platform::last_error_text(), writing);
      position_.reset();
      return done;
    }
    if (*moved == 0) break;  // the end of the file
    done += *moved;
  }
  if (!positioned_) position_ = offset + done;
  return done;
}

void NativeFile::fail(std::string text, bool writing) {
  if (!failure_) failure_ = std::move(text);
  if (writing) write_failed_ = true;
}

bool NativeFile::last_write_time(HostTime& t) { return open() && platform::read_file_time(d_, t); }

// A failed sync or close is a failed write: what was written may not be
// on the disk.
bool NativeFile::sync() {
  if (!open() || write_failed_) return false;
  if (platform::sync_file(d_)) return true;
  fail(platform::last_error_text(), true);
  return false;
}

bool NativeFile::close() {
  if (!open()) return false;
  if (options_.sync_on_close && !platform::sync_file(d_)) fail(platform::last_error_text(), true);
  // The system may let go of a closed handle's locks only in its own time
  // (Windows): they are let go of first.
  if (options_.locked) platform::unlock(d_);
  if (!platform::close_file(d_)) fail(platform::last_error_text(), true);
  d_ = platform::kNoDescriptor;
  return !write_failed_;
}

uint64_t NativeFile::link_count() { return open() ? platform::link_count(d_) : 1; }

std::optional<uint64_t> NativeFile::size() { return open() ? platform::file_size(d_) : std::nullopt; }

std::optional<HostPath> NativeFile::real_path(const HostPath& opened_as) {
  if (!open()) return std::nullopt;
  std::optional<NativeString> path = platform::real_path(opened_as.native(), d_);
  if (!path) return std::nullopt;
  return HostPath::from_native(std::move(*path));
}

bool NativeFile::set_time(const HostTime& t) { return open() && platform::set_file_time(d_, t); }

}  // namespace tarnwick
