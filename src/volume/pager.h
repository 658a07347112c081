// The pages of one volume in memory, read from where the volume lies the
// first time they are touched, and the record of which pages were changed.
//
// The image (containers/image.h) makes a pager over its store's bytes;
// the volume's readers and writers reach the bytes through the Volume view
// (volume/volume.h). A pager holds one buffer of the volume's size, not
// filled until touched, so pages never touched cost nothing; a page is
// 4096 bytes, 16 records (the last one may be short). A volume held in
// memory (a test's, a blank one) is a pager over a source of its bytes,
// like any other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace tarnwick {

// Where a volume's bytes come from: its container, reading from the image
// file, which must stay open while the pager is in use.
class PageSource {
 public:
  virtual ~PageSource() = default;
  // Fills `out` with the volume's bytes from `offset` on, whole pages from a
  // page boundary (the volume's last one perhaps short). False when they
  // could not all be read (the image file was shortened since it was
  // loaded, say); `out` is then zero-filled where it failed.
  virtual bool fill(uint64_t offset, std::span<uint8_t> out) = 0;
};

// Brings in the memory [p, p + n) for writing at once, where the host can
// (see Host::prepare_for_writing); nothing else changes.
using MemoryHint = std::function<void(void* p, size_t n)>;

// Makes `buffer` hold n bytes (zeros where it grows), new memory brought in
// through `hint` first.
inline void resize_prepared(std::vector<uint8_t>& buffer, size_t n, const MemoryHint& hint) {
  if (buffer.capacity() < n) {
    buffer.reserve(n);
    if (hint) hint(buffer.data(), n);
  }
  buffer.resize(n);
}

class Pager {
 public:
  static constexpr uint32_t kPageSize = 4096;

  Pager(size_t size, std::unique_ptr<PageSource> source, MemoryHint hint = {});
  Pager(const Pager&) = delete;
  Pager& operator=(const Pager&) = delete;

  size_t size() const { return size_; }

  // The bytes [offset, offset + length), brought in, for reading; the range
  // must lie inside the volume. Reading never counts as a change.
  const uint8_t* readable(uint64_t offset, uint64_t length) {
    if (!in_memory(offset, length)) bring_in(offset, length);
    return data_.get() + offset;
  }
  // The same for writing: it counts as a change of those bytes.
  uint8_t* writable(uint64_t offset, uint64_t length) {
    bring_in(offset, length);
    mark_changed(offset, length);
    return data_.get() + offset;
  }
  // For writing by a caller that fills every byte of it: the pages wholly
  // inside are not read first (they hold zeros until the caller writes
  // them). A file's data stored into new blocks goes in this way.
  uint8_t* overwritten(uint64_t offset, uint64_t length);

  // Copies [offset, offset + out.size()) into `out`. Pages not read yet are
  // read straight into it and not kept, so a reader that needs bytes once
  // (extraction) costs the pager no memory. False when they could not be
  // read (read_failed() then says so).
  bool read(uint64_t offset, std::span<uint8_t> out);

  // Hands the whole buffer to `advice` (the host's hint for a buffer that
  // is about to be filled far and wide).
  void advise(const MemoryHint& advice) {
    if (advice) advice(data_.get(), size_);
  }

  // Pages changed so far, as runs of bytes [offset, offset + length) in
  // volume order.
  struct Run {
    uint64_t offset;
    uint64_t length;
  };
  std::vector<Run> changed_runs() const;

  // True once a page could not be read from the source: the bytes seen
  // there were not the volume's, and it must not be saved.
  bool read_failed() const { return read_failed_; }

 private:
  enum PageState : uint8_t { kAbsent, kPresent, kChanged };
  // True when the one or two pages an access of a few bytes touches are in
  // (the common case, tested without a call); longer ranges go to bring_in.
  bool in_memory(uint64_t offset, uint64_t length) const {
    const uint64_t first = offset / kPageSize;
    const uint64_t last = length == 0 ? first : (offset + length - 1) / kPageSize;
    return last - first <= 1 && last < pages_.size() && pages_[first] != kAbsent && pages_[last] != kAbsent;
  }
  void bring_in(uint64_t offset, uint64_t length);
  void mark_changed(uint64_t offset, uint64_t length);
  bool fill(uint64_t offset, std::span<uint8_t> out);

  size_t size_;
  std::unique_ptr<PageSource> source_;
  MemoryHint hint_;
  // Zeros until a page is read or written, and untouched pages cost
  // nothing; a state for each page.
  struct Free {
    void operator()(uint8_t* p) const { std::free(p); }
  };
  static uint8_t* zeroed(size_t size);
  std::unique_ptr<uint8_t[], Free> data_;
  std::vector<PageState> pages_;
  bool read_failed_ = false;
};

}  // namespace tarnwick
