// A file of the real host, open as the system's descriptor (POSIX) or
// handle (Windows): the image, its journal, the host files commands read
// and write, and the files a HostFolder makes. A regular file is read and
// written with positioned calls, one system call a stretch wherever it
// lies; a pipe or a device in sequence. Nothing is buffered: each write is
// with the system when write_at returns.
#pragma once

#include <optional>
#include <string>

#include "host/file.h"
#include "host/platform.h"

namespace tarnwick {

struct NativeFileOptions {
  bool locked = false;                          // unlocked before it is closed
  std::optional<std::string> lock_unavailable;  // the system's text, when no lock could be had
  bool sync_on_close = false;                   // synced as it is closed, after the last write
};

class NativeFile final : public NewFile {
 public:
  using Options = NativeFileOptions;
  // Takes over `d`, which it closes. `positioned`: a regular file, read and
  // written at any offset.
  NativeFile(platform::Descriptor d, bool positioned, Options options = {});
  ~NativeFile() override { close(); }
  NativeFile(const NativeFile&) = delete;
  NativeFile& operator=(const NativeFile&) = delete;

  size_t read_at(uint64_t offset, void* buf, size_t n) override;
  size_t write_at(uint64_t offset, const void* buf, size_t n) override;
  bool failed() override { return failure_.has_value(); }
  std::string failure_text() override { return failure_.value_or(""); }
  bool last_write_time(HostTime& t) override;
  bool sync() override;
  bool close() override;
  uint64_t link_count() override;
  std::optional<uint64_t> size() override;
  std::optional<HostPath> real_path(const HostPath& opened_as) override;
  std::optional<std::string> lock_unavailable() override { return options_.lock_unavailable; }
  bool set_time(const HostTime& t) override;

 private:
  template <typename Move>
  size_t transfer(uint64_t offset, size_t n, bool writing, Move move);
  bool open() const { return d_ != platform::kNoDescriptor; }
  void fail(std::string text, bool writing);

  platform::Descriptor d_;
  bool positioned_;
  Options options_;
  // Where a file read in sequence stands; nothing after a failure, when it
  // is unknown.
  std::optional<uint64_t> position_ = 0;
  std::optional<std::string> failure_;  // the first
  bool write_failed_ = false;
};

}  // namespace tarnwick
