#include "volume/volume.h"

#include <algorithm>
#include <array>

#include "host/memory.h"

namespace tarnwick {

Geometry geometry_from_system_record(std::span<const uint8_t> record) {
  Geometry g;
  if (record.size() < kRecordSize) return g;
  g.records_per_block = record[sys::kRecordsPerBlockMinusOne] + 1;
  g.bytes_per_block = g.records_per_block * static_cast<int32_t>(kRecordSize);
  g.reserved_blocks = record[sys::kReservedBlocks];
  g.reserved_records = g.reserved_blocks * g.records_per_block;
  g.used_blocks = load16(record.data() + sys::kUsedBlocks);
  g.total_blocks = load16(record.data() + sys::kTotalBlocks);
  return g;
}

bool geometry_fits(const Geometry& g, uint64_t image_records) {
  if (g.reserved_blocks > g.total_blocks) return false;
  if (static_cast<uint32_t>(g.total_blocks - g.reserved_blocks) > kMaxDataBlocks) return false;
  return uint64_t(g.total_blocks) * uint64_t(g.records_per_block) <= image_records;
}

bool geometry_is_sound(const Geometry& g, uint64_t image_records) {
  if (g.records_per_block < 1 || g.total_blocks < 1) return false;
  const uint64_t records = uint64_t(g.total_blocks) * uint64_t(g.records_per_block);
  if (records < kMinimumRecords || records > kMaxRecords) return false;
  return geometry_fits(g, image_records);
}

Volume::Volume(size_t size, std::unique_ptr<PageSource> source)
    : lazy_(new uint8_t[size]),  // not zero-filled: untouched pages are never written
      pages_((size + kPageSize - 1) / kPageSize, kAbsent),
      source_(std::move(source)),
      data_(lazy_.get()),
      size_(size) {}

Volume Volume::clone() const {
  if (pages_.empty()) return Volume(image_);
  bring_in(0, size_);
  Volume copy;
  copy.lazy_.reset(new uint8_t[size_]);
  std::copy_n(data_, size_, copy.lazy_.get());
  copy.pages_ = pages_;
  copy.read_failed_ = read_failed_;
  copy.data_ = copy.lazy_.get();
  copy.size_ = size_;
  return copy;
}

void Volume::bring_in(uint64_t offset, uint64_t length) const {
  if (pages_.empty()) return;
  const uint64_t last = std::min<uint64_t>(length == 0 ? offset / kPageSize : (offset + length - 1) / kPageSize,
                                           pages_.size() - 1);
  for (uint64_t p = offset / kPageSize; p <= last && p < pages_.size(); ++p) {
    if (pages_[p] >= kPresent) continue;
    const uint64_t at = p * kPageSize;
    // Pages not read yet that follow each other come with one read.
    uint64_t q = p + 1;
    while (q <= last && pages_[q] == kAbsent) ++q;
    const std::span<uint8_t> pages(data_ + at, static_cast<size_t>(std::min<uint64_t>(q * kPageSize, size_) - at));
    platform::prepare_for_writing(pages.data(), pages.size());
    if (!source_ || !source_->fill(at, pages)) read_failed_ = true;
    std::fill(pages_.begin() + static_cast<std::ptrdiff_t>(p), pages_.begin() + static_cast<std::ptrdiff_t>(q),
              kPresent);
    p = q - 1;
  }
}

bool Volume::read(uint64_t offset, std::span<uint8_t> out) const {
  if (!holds(offset, out.size())) return false;
  if (pages_.empty()) {
    std::copy_n(data_ + offset, out.size(), out.begin());
    return true;
  }
  const uint64_t end = offset + out.size();
  for (uint64_t at = offset; at < end;) {
    const uint64_t p = at / kPageSize;
    const uint64_t page_at = p * kPageSize;
    const uint64_t page_end = std::min<uint64_t>(page_at + kPageSize, size_);
    uint8_t* to = out.data() + (at - offset);
    if (pages_[p] != kAbsent) {
      const uint64_t n = std::min(page_end, end) - at;
      std::copy_n(present(at, n) + at, n, to);
      at += n;
    } else if (at == page_at && page_end <= end) {
      // Whole pages not read yet, one read straight into `out`.
      uint64_t q = p + 1;
      while (q < pages_.size() && pages_[q] == kAbsent && std::min<uint64_t>((q + 1) * kPageSize, size_) <= end) ++q;
      const uint64_t n = std::min<uint64_t>(q * kPageSize, size_) - at;
      if (!source_ || !source_->fill(at, {to, static_cast<size_t>(n)})) read_failed_ = true;
      at += n;
    } else {
      // Part of a page: through a page of its own.
      std::array<uint8_t, kPageSize> page;
      const std::span<uint8_t> whole(page.data(), static_cast<size_t>(page_end - page_at));
      if (!source_ || !source_->fill(page_at, whole)) read_failed_ = true;
      const uint64_t n = std::min(page_end, end) - at;
      std::copy_n(page.data() + (at - page_at), n, to);
      at += n;
    }
  }
  return !read_failed_;
}

void Volume::mark_changed(uint64_t offset, uint64_t length) {
  bring_in(offset, length);
  const uint64_t last = length == 0 ? offset / kPageSize : (offset + length - 1) / kPageSize;
  for (uint64_t p = offset / kPageSize; p <= last && p < pages_.size(); ++p) pages_[p] = kChanged;
}

void Volume::take_over(uint64_t offset, uint64_t length) {
  platform::prepare_for_writing(data_ + offset, static_cast<size_t>(length));
  for (uint64_t p = offset / kPageSize; p < pages_.size() && p * kPageSize < offset + length; ++p) {
    const uint64_t at = p * kPageSize;
    const uint64_t end = std::min<uint64_t>(at + kPageSize, size_);
    if (pages_[p] >= kPresent || at < offset || end > offset + length) continue;
    std::fill(data_ + at, data_ + end, uint8_t{0});
    pages_[p] = kPresent;
  }
  mark_changed(offset, length);
}

void Volume::read_all() const {
  if (pages_.empty()) return;
  bring_in(0, size_);
  image_.assign(data_, data_ + size_);
  lazy_.reset();
  pages_.clear();
  data_ = image_.data();
}

std::vector<uint8_t>& Volume::image() {
  read_all();
  return image_;
}

const std::vector<uint8_t>& Volume::image() const {
  read_all();
  return image_;
}

std::vector<Volume::Run> Volume::changed_runs() const {
  std::vector<Run> runs;
  if (pages_.empty()) {
    if (size_ != 0) runs.push_back({0, size_});
    return runs;
  }
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

const char* mode_label(uint8_t m) {
  switch (m) {
    case mode::kObj: return "OBJ";
    case mode::kBtx: return "BTX";
    case mode::kBsd: return "BSD";
    case mode::kBrd: return "BRD";
    case mode::kRb: return "RB ";
    case mode::kLib: return "LIB";
    case mode::kSys: return "SYS";
    case mode::kGr: return "GR ";
    case mode::kDir: return "DIR";
    default: return "???";
  }
}

}  // namespace tarnwick
