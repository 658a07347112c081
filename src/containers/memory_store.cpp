#include "containers/memory_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace tarnwick {

namespace {

// A file over bytes in memory: read and written at any offset, never
// failing but for want of memory.
class BytesFile final : public File {
 public:
  explicit BytesFile(std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  size_t read_at(uint64_t offset, void* buf, size_t n) override {
    if (offset >= bytes_.size()) return 0;
    const size_t got = static_cast<size_t>(std::min<uint64_t>(n, bytes_.size() - offset));
    std::memcpy(buf, bytes_.data() + offset, got);
    return got;
  }
  size_t write_at(uint64_t offset, const void* buf, size_t n) override {
    if (n == 0) return 0;
    try {
      if (offset + n > bytes_.size()) bytes_.resize(static_cast<size_t>(offset + n));
    } catch (const std::bad_alloc&) {
      failed_ = true;
      return 0;
    }
    std::memcpy(bytes_.data() + offset, buf, n);
    return n;
  }
  bool failed() override { return failed_; }
  std::string failure_text() override { return failed_ ? std::strerror(ENOMEM) : std::string(); }
  bool last_write_time(HostTime&) override { return false; }
  bool sync() override { return !failed_; }
  bool close() override { return !failed_; }
  uint64_t link_count() override { return 1; }
  std::optional<uint64_t> size() override { return bytes_.size(); }
  std::optional<HostPath> real_path(const HostPath&) override { return std::nullopt; }
  std::optional<std::string> lock_unavailable() override { return std::nullopt; }

 private:
  std::vector<uint8_t>& bytes_;
  bool failed_ = false;
};

}  // namespace

MemoryStore::MemoryStore(std::string name, std::vector<uint8_t> bytes)
    : name_(std::move(name)), bytes_(std::move(bytes)), file_(std::make_unique<BytesFile>(bytes_)) {}

MemoryStore::~MemoryStore() = default;

bool MemoryStore::write(const SavePlan& plan, Report& rep) {
  const std::vector<Stretch>& stretches = plan.stretches;
  // All or nothing: the room first, then the bytes.
  uint64_t end = bytes_.size();
  for (const Stretch& s : stretches) end = std::max<uint64_t>(end, s.offset + s.bytes.size());
  try {
    bytes_.resize(static_cast<size_t>(end));
  } catch (const std::bad_alloc&) {
    report_write_failed(rep, name_, std::strerror(ENOMEM));
    return false;
  }
  for (const Stretch& s : stretches) std::copy(s.bytes.begin(), s.bytes.end(), bytes_.begin() + static_cast<long>(s.offset));
  return true;
}

}  // namespace tarnwick
