#include "host/file.h"

#include <memory>
#include <string>

namespace tarnwick {

namespace {

// How many names beside a file replace_file() tries for the new file before
// it gives up: a crash may have left one behind, which is never reused.
constexpr int kNewFileNames = 100;

bool write_in_place(Host& host, const HostPath& path, std::span<const uint8_t> bytes, std::string* reason) {
  const std::unique_ptr<File> f = host.open(path, OpenMode::kCreate, reason);
  if (!f) return false;
  bool written = bytes.empty() || f->write_at(0, bytes.data(), bytes.size()) == bytes.size();
  written = f->sync() && written;
  written = f->close() && written;
  if (!written && reason) *reason = f->failure_text();
  return written;
}

}  // namespace

bool Host::replace_file(const HostPath& path, std::span<const uint8_t> bytes, std::string* reason) {
  // A device is told by opening it: its attributes may not say so (Wine).
  PathKind found = PathKind::kMissing;
  if (const std::unique_ptr<File> existing = open_regular(path, found)) existing->close();
  if (found == PathKind::kOther) return write_in_place(*this, path, bytes, reason);
  for (int attempt = 1; attempt <= kNewFileNames; ++attempt) {
    const HostPath beside = path.with_suffix(".tarnwick-new" + (attempt == 1 ? std::string() : std::to_string(attempt)));
    std::string why;
    std::unique_ptr<File> f = create_file(beside, &why);
    if (!f) {
      if (path_kind(beside) != PathKind::kMissing && attempt < kNewFileNames) continue;
      if (reason) *reason = why;
      return false;
    }
    const bool written = bytes.empty() || f->write_at(0, bytes.data(), bytes.size()) == bytes.size();
    const bool synced = written && f->sync();
    const bool closed = f->close();
    const std::string failure = f->failure_text();
    f.reset();
    if (synced && closed && rename_file(beside, path, reason)) return sync_folder_of(path);
    if (reason && !(synced && closed)) *reason = failure;
    remove_file(beside);
    return false;
  }
  return false;
}

}  // namespace tarnwick
