// The loaded volume: its bytes, and the geometry its system record gives.
//
// Every access to the volume image goes through the bounds-checked accessors
// below. Callers check the ranges they work on with holds() first; the
// accessors are the last line of defence and never touch memory outside the
// image (a read out of range gives 0, a write out of range is dropped).
//
// A volume loaded from an image file is brought in lazily: the image is one
// buffer of volume size, but a page of it (4096 bytes, 16 records) is read
// from its container the first time an accessor touches it, so a command
// reads only the records it needs. The volume also remembers which pages
// were changed, so a save writes back only those.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "volume/coding.h"
#include "volume/format.h"
#include "volume/timestamp.h"

namespace tarnwick {

// Values derived from the system record.
struct Geometry {
  int32_t records_per_block = 0;
  int32_t bytes_per_block = 0;
  int32_t reserved_blocks = 0;
  int32_t reserved_records = 0;
  int32_t used_blocks = 0;
  int32_t total_blocks = 0;
};

// Geometry from a system record's 256 bytes (all zero when it is shorter).
Geometry geometry_from_system_record(std::span<const uint8_t> record);

// Whether the bitmap and the record numbers of a geometry can be followed
// in a volume image of `image_records` records: reserved blocks <= total
// blocks, at most 1992 data blocks, and total blocks x records per block
// within the image. The consistency check asks this of every volume.
bool geometry_fits(const Geometry& g, uint64_t image_records);

// Whether a geometry describes a volume the tool can load and work on
// safely: it fits, it has at least one block, and the volume holds 24 to
// 65536 records.
bool geometry_is_sound(const Geometry& g, uint64_t image_records);

// Records [first, end): a range of record numbers.
struct RecordRange {
  uint32_t first = 0;
  uint32_t end = 0;
  bool contains(uint64_t record) const { return record >= first && record < end; }
  bool contains(uint64_t record, uint64_t count) const {
    return record >= first && record <= end && count <= end - record;
  }
};

// A directory entry: the byte offset of its first byte in the volume image.
struct EntryRef {
  uint32_t offset = 0;
  bool operator==(const EntryRef&) const = default;
};

// Where a lazily loaded volume's pages come from: its container. It reads
// from the image file, which must stay open while the volume is in use.
class PageSource {
 public:
  virtual ~PageSource() = default;
  // Fills `out` with the source's bytes from `offset` on (for the image's
  // pages: whole pages from a page boundary, the volume's last one perhaps
  // short). False when they could not all be read (the image file was
  // shortened since it was loaded, say); `out` is then zero-filled where it
  // failed.
  virtual bool fill(uint64_t offset, std::span<uint8_t> out) = 0;
};

class Volume {
 public:
  static constexpr uint32_t kPageSize = 4096;

  Volume() = default;
  // A volume whose bytes are all present (tests, image builders).
  explicit Volume(std::vector<uint8_t> image) : image_(std::move(image)) {}
  // A volume of `size` bytes whose pages are read from `source` on first use.
  Volume(size_t size, std::unique_ptr<PageSource> source);
  Volume(Volume&&) noexcept = default;
  Volume& operator=(Volume&&) noexcept = default;
  // A volume is moved, not copied; clone() makes the one explicit copy.
  Volume(const Volume&) = delete;
  Volume& operator=(const Volume&) = delete;
  // A copy holding every byte and the same record of changed pages; it no
  // longer reads from the image file (every page is read in first).
  Volume clone() const;

  // The whole image as one vector; a lazily loaded volume reads every page
  // it has not read yet first.
  std::vector<uint8_t>& image();
  const std::vector<uint8_t>& image() const;
  size_t size() const { return size_; }
  uint32_t record_count() const { return static_cast<uint32_t>(size_ / kRecordSize); }
  bool loaded() const { return size_ != 0; }

  // True when [offset, offset + length) lies inside the image.
  bool holds(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
  // True when records [first, first + count) lie inside the image.
  bool holds_records(uint64_t first, uint64_t count) const {
    return holds(first * kRecordSize, count * kRecordSize);
  }

  uint8_t u8(uint64_t offset) const {
    if (offset >= size_) return 0;
    return present(offset, 1)[offset];
  }
  uint16_t le16(uint64_t offset) const {
    if (!holds(offset, 2)) return static_cast<uint16_t>(u8(offset));
    return load16(present(offset, 2) + offset);
  }
  void put8(uint64_t offset, uint8_t v) {
    if (offset < size_) changing(offset, 1)[offset] = v;
  }
  void put16(uint64_t offset, uint16_t v) {
    if (holds(offset, 2)) {
      store16(changing(offset, 2) + offset, v);
    } else {
      put8(offset, static_cast<uint8_t>(v));
    }
  }
  // A view of [offset, offset + length) for reading, or an empty span when
  // out of range. Reading never counts as a change.
  std::span<const uint8_t> bytes(uint64_t offset, uint64_t length) const {
    if (!holds(offset, length)) return {};
    return {present(offset, length) + offset, static_cast<size_t>(length)};
  }
  // Copies [offset, offset + out.size()) into `out`. Pages not read yet are
  // read straight into it and not kept, so a reader that needs bytes once
  // (extraction) costs the volume no memory. False when the range is not in
  // the image or could not be read (read_failed() then says so).
  bool read(uint64_t offset, std::span<uint8_t> out) const;

  // The same view for writing: it counts as a change of those bytes.
  std::span<uint8_t> writable_bytes(uint64_t offset, uint64_t length) {
    if (!holds(offset, length)) return {};
    return {changing(offset, length) + offset, static_cast<size_t>(length)};
  }
  // A view for writing that the caller fills whole, every byte of it: the
  // pages wholly inside it are not read from the image first (they hold
  // zeros until the caller writes them). A file's data stored into new
  // blocks goes in this way, without a read of what the blocks held.
  std::span<uint8_t> overwritten_bytes(uint64_t offset, uint64_t length) {
    if (!holds(offset, length)) return {};
    if (!pages_.empty()) take_over(offset, length);
    return {data_ + offset, static_cast<size_t>(length)};
  }

  // Pages changed since the load, as runs of bytes [offset, offset + length)
  // in volume order; every page for a volume that was not loaded lazily.
  struct Run {
    uint64_t offset;
    uint64_t length;
  };
  std::vector<Run> changed_runs() const;
  // True when a page could not be read from the image file: the bytes the
  // command saw there were not the volume's, and it must not be saved.
  bool read_failed() const { return read_failed_; }

  // System record fields.
  static constexpr uint32_t kSystemOffset = kSystemRecord * kRecordSize;
  uint8_t sys8(uint32_t field) const { return u8(kSystemOffset + field); }
  uint16_t sys16(uint32_t field) const { return le16(kSystemOffset + field); }
  void set_sys8(uint32_t field, uint8_t v) { put8(kSystemOffset + field, v); }
  void set_sys16(uint32_t field, uint16_t v) { put16(kSystemOffset + field, v); }
  std::span<const uint8_t> system_record() const { return bytes(kSystemOffset, kRecordSize); }
  // The geometry as the system record gives it now. The system record is the
  // one authority: commands such as I may rewrite it at any time.
  Geometry geometry() const { return geometry_from_system_record(system_record()); }

  // Directory entry fields.
  uint8_t field8(EntryRef e, uint32_t field) const { return u8(uint64_t{e.offset} + field); }
  uint16_t field16(EntryRef e, uint32_t field) const { return le16(uint64_t{e.offset} + field); }
  void set_field8(EntryRef e, uint32_t field, uint8_t v) { put8(uint64_t{e.offset} + field, v); }
  void set_field16(EntryRef e, uint32_t field, uint16_t v) { put16(uint64_t{e.offset} + field, v); }
  uint8_t mode(EntryRef e) const { return field8(e, entry::kMode); }
  uint16_t start_record(EntryRef e) const { return field16(e, entry::kStartRecord); }
  uint16_t file_size(EntryRef e) const { return field16(e, entry::kSize); }
  TimeStamp time_stamp(EntryRef e) const {
    TimeStamp t{};
    for (uint32_t i = 0; i < t.size(); ++i) t[i] = field8(e, entry::kTimeStamp + i);
    return t;
  }
  void set_time_stamp(EntryRef e, const TimeStamp& t) {
    for (uint32_t i = 0; i < t.size(); ++i) set_field8(e, entry::kTimeStamp + i, t[i]);
  }

  // Entry `index` (0-63) of the directory starting at record `dir_record`.
  static EntryRef entry_at(uint32_t dir_record, int index) {
    return EntryRef{dir_record * kRecordSize + static_cast<uint32_t>(index) * kEntrySize};
  }
  // True when the 8 records of a directory starting at `record` are in the image.
  bool holds_directory(uint32_t record) const { return holds_records(record, kDirectoryRecords); }


 private:
  enum PageState : uint8_t { kAbsent, kPresent, kChanged };
  // The buffer with [offset, offset + length) read in (the range must lie
  // inside the image).
  uint8_t* present(uint64_t offset, uint64_t length) const {
    if (!pages_.empty() && !in_memory(offset, length)) bring_in(offset, length);
    return data_;
  }
  // True when the one or two pages an access of a few bytes touches are in
  // (the common case, tested without a call); longer ranges go to bring_in.
  bool in_memory(uint64_t offset, uint64_t length) const {
    const uint64_t first = offset / kPageSize;
    const uint64_t last = length == 0 ? first : (offset + length - 1) / kPageSize;
    return last - first <= 1 && last < pages_.size() && pages_[first] >= kPresent && pages_[last] >= kPresent;
  }
  uint8_t* changing(uint64_t offset, uint64_t length) {
    if (!pages_.empty()) mark_changed(offset, length);
    return data_;
  }
  void bring_in(uint64_t offset, uint64_t length) const;
  void take_over(uint64_t offset, uint64_t length);
  void mark_changed(uint64_t offset, uint64_t length);
  void read_all() const;

  // Fully present volumes keep their bytes in image_; lazily loaded ones in
  // lazy_, allocated without being zero-filled so untouched pages cost
  // nothing, with a state for each page.
  mutable std::vector<uint8_t> image_;
  mutable std::unique_ptr<uint8_t[]> lazy_;
  mutable std::vector<PageState> pages_;
  std::unique_ptr<PageSource> source_;
  mutable bool read_failed_ = false;
  mutable uint8_t* data_ = image_.data();
  size_t size_ = image_.size();
};

// The entries of a directory that can describe files, 1 to 63, in order
// (entry 0 is the directory's header):
//   for (const EntryRef e : directory_entries(dir)) ...
class DirectoryEntries {
 public:
  class Iterator {
   public:
    Iterator(uint32_t dir, int index) : dir_(dir), index_(index) {}
    EntryRef operator*() const { return Volume::entry_at(dir_, index_); }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    bool operator==(const Iterator&) const = default;

   private:
    uint32_t dir_;
    int index_;
  };
  explicit DirectoryEntries(uint32_t dir) : dir_(dir) {}
  Iterator begin() const { return {dir_, 1}; }
  Iterator end() const { return {dir_, kEntriesPerDirectory}; }

 private:
  uint32_t dir_;
};
inline DirectoryEntries directory_entries(uint32_t dir) { return DirectoryEntries(dir); }

}  // namespace tarnwick
