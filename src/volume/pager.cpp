#include "volume/pager.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <new>

namespace tarnwick {

uint8_t* Pager::zeroed(size_t size) {
  // calloc takes a large buffer from the system as it is, zero pages the
  // system provides on the first touch: nothing is filled or made resident
  // here.
  void* p = std::calloc(std::max<size_t>(size, 1), 1);
  if (!p) throw std::bad_alloc();
  return static_cast<uint8_t*>(p);
}

Pager::Pager(size_t size, std::unique_ptr<PageSource> source, MemoryHint hint)
    : size_(size),
      source_(std::move(source)),
      hint_(std::move(hint)),
      data_(zeroed(size)),
      pages_((size + kPageSize - 1) / kPageSize, kAbsent) {}

bool Pager::fill(uint64_t offset, std::span<uint8_t> out) {
  if (source_ && source_->fill(offset, out)) return true;
  read_failed_ = true;
  return false;
}

void Pager::bring_in(uint64_t offset, uint64_t length) {
  const uint64_t end = length == 0 ? offset / kPageSize + 1 : (offset + length - 1) / kPageSize + 1;
  for (uint64_t p = offset / kPageSize; p < end && p < pages_.size(); ++p) {
    if (pages_[p] != kAbsent) continue;
    // Pages not read yet that follow each other come with one read.
    uint64_t q = p + 1;
    while (q < end && q < pages_.size() && pages_[q] == kAbsent) ++q;
    const uint64_t at = p * kPageSize;
    const std::span<uint8_t> pages(data_.get() + at, static_cast<size_t>(std::min<uint64_t>(q * kPageSize, size_) - at));
    if (hint_) hint_(pages.data(), pages.size());
    fill(at, pages);
    std::fill(pages_.begin() + static_cast<std::ptrdiff_t>(p), pages_.begin() + static_cast<std::ptrdiff_t>(q),
              kPresent);
    p = q - 1;
  }
}

void Pager::mark_changed(uint64_t offset, uint64_t length) {
  const uint64_t end = length == 0 ? offset / kPageSize + 1 : (offset + length - 1) / kPageSize + 1;
  for (uint64_t p = offset / kPageSize; p < end && p < pages_.size(); ++p) pages_[p] = kChanged;
}

uint8_t* Pager::overwritten(uint64_t offset, uint64_t length) {
  if (hint_) hint_(data_.get() + offset, static_cast<size_t>(length));
  for (uint64_t p = offset / kPageSize; p < pages_.size() && p * kPageSize < offset + length; ++p) {
    const uint64_t at = p * kPageSize;
    const uint64_t end = std::min<uint64_t>(at + kPageSize, size_);
    if (pages_[p] != kAbsent || at < offset || end > offset + length) continue;
    pages_[p] = kPresent;  // still zeros: a page not read yet was never written
  }
  return writable(offset, length);
}

bool Pager::read(uint64_t offset, std::span<uint8_t> out) {
  const uint64_t end = offset + out.size();
  for (uint64_t at = offset; at < end;) {
    const uint64_t p = at / kPageSize;
    const uint64_t page_at = p * kPageSize;
    const uint64_t page_end = std::min<uint64_t>(page_at + kPageSize, size_);
    uint8_t* to = out.data() + (at - offset);
    if (pages_[p] != kAbsent) {
      const uint64_t n = std::min(page_end, end) - at;
      std::copy_n(data_.get() + at, n, to);
      at += n;
    } else if (at == page_at && page_end <= end) {
      // Whole pages not read yet, one read straight into `out`.
      uint64_t q = p + 1;
      while (q < pages_.size() && pages_[q] == kAbsent && std::min<uint64_t>((q + 1) * kPageSize, size_) <= end) ++q;
      const uint64_t n = std::min<uint64_t>(q * kPageSize, size_) - at;
      fill(at, {to, static_cast<size_t>(n)});
      at += n;
    } else {
      // Part of a page: through a page of its own.
      std::array<uint8_t, kPageSize> page;
      fill(page_at, {page.data(), static_cast<size_t>(page_end - page_at)});
      const uint64_t n = std::min(page_end, end) - at;
      std::copy_n(page.data() + (at - page_at), n, to);
      at += n;
    }
  }
  return !read_failed_;
}

std::vector<Pager::Run> Pager::changed_runs() const {
  std::vector<Run> runs;
  for (uint64_t p = 0; p < pages_.size(); ++p) {
    if (pages_[p] != kChanged) continue;
    const uint64_t at = p * kPageSize;
    const uint64_t length = std::min<uint64_t>(kPageSize, size_ - at);
    if (!runs.empty() && runs.back().offset + runs.back().length == at) {
      runs.back().length += length;
    } else {
      runs.push_back({at, length});
    }
  }
  return runs;
}

}  // namespace tarnwick
