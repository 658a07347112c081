// One stretch of a file seen as a file of its own: a disk of a D88 file
// that holds several. Reads stop at the stretch's end as they stop at a
// file's end, so a track offset of one disk never reaches another disk's
// bytes; offsets count from the stretch's start. Writes go through the
// image owner's save, never through a window.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "host/file.h"

namespace tarnwick {

// Where a stretch of a file lies: [offset, offset + size).
struct DiskSpan {
  uint64_t offset = 0;
  uint64_t size = 0;
  bool operator==(const DiskSpan&) const = default;
};

class FileWindow final : public File {
 public:
  FileWindow(File& file, DiskSpan span) : file_(file), span_(span) {}

  size_t read_at(uint64_t offset, void* buf, size_t n) override {
    if (offset >= span_.size) return 0;
    const uint64_t room = span_.size - offset;
    return file_.read_at(span_.offset + offset, buf, static_cast<size_t>(std::min<uint64_t>(n, room)));
  }
  size_t write_at(uint64_t, const void*, size_t) override { return 0; }
  bool failed() override { return file_.failed(); }
  std::string failure_text() override { return file_.failure_text(); }
  bool last_write_time(HostTime& t) override { return file_.last_write_time(t); }
  bool sync() override { return file_.sync(); }
  bool close() override { return true; }  // the file stays open: its owner closes it
  uint64_t link_count() override { return file_.link_count(); }
  std::optional<uint64_t> size() override {
    const std::optional<uint64_t> whole = file_.size();
    if (!whole || *whole <= span_.offset) return whole ? std::optional<uint64_t>(0) : std::nullopt;
    return std::min(*whole - span_.offset, span_.size);
  }
  std::optional<HostPath> real_path(const HostPath& opened_as) override { return file_.real_path(opened_as); }
  std::optional<std::string> lock_unavailable() override { return file_.lock_unavailable(); }

 private:
  File& file_;
  DiskSpan span_;
};

}  // namespace tarnwick
