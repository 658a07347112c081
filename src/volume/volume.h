// The loaded volume as the file system sees it: its bytes, the geometry its
// system record gives, and the fields of its records.
//
// A Volume is a view of a pager (volume/pager.h), which holds the bytes and
// reads them from the image file as they are first touched. Every access
// goes through the bounds-checked accessors below. Callers check the ranges
// they work on with holds() first; the accessors are the last line of
// defence and never touch memory outside the volume (a read out of range
// gives 0, a write out of range is dropped).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "volume/coding.h"
#include "volume/format.h"
#include "volume/pager.h"
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

class Volume {
 public:
  static constexpr uint32_t kPageSize = Pager::kPageSize;

  explicit Volume(Pager& pager) : pager_(&pager) {}

  size_t size() const { return pager_->size(); }
  uint32_t record_count() const { return static_cast<uint32_t>(size() / kRecordSize); }

  // True when [offset, offset + length) lies inside the volume.
  bool holds(uint64_t offset, uint64_t length) const { return offset <= size() && length <= size() - offset; }
  // True when records [first, first + count) lie inside the volume.
  bool holds_records(uint64_t first, uint64_t count) const {
    return holds(first * kRecordSize, count * kRecordSize);
  }

  uint8_t u8(uint64_t offset) const {
    if (offset >= size()) return 0;
    return *pager_->readable(offset, 1);
  }
  uint16_t le16(uint64_t offset) const {
    if (!holds(offset, 2)) return static_cast<uint16_t>(u8(offset));
    return load16(pager_->readable(offset, 2));
  }
  void put8(uint64_t offset, uint8_t v) {
    if (offset < size()) *pager_->writable(offset, 1) = v;
  }
  void put16(uint64_t offset, uint16_t v) {
    if (holds(offset, 2)) {
      store16(pager_->writable(offset, 2), v);
    } else {
      put8(offset, static_cast<uint8_t>(v));
    }
  }
  // A view of [offset, offset + length) for reading, or an empty span when
  // out of range.
  std::span<const uint8_t> bytes(uint64_t offset, uint64_t length) const {
    if (!holds(offset, length)) return {};
    return {pager_->readable(offset, length), static_cast<size_t>(length)};
  }
  // Copies [offset, offset + out.size()) into `out`, keeping nothing it
  // reads (see Pager::read). False when the range is not in the volume or
  // could not be read.
  bool read(uint64_t offset, std::span<uint8_t> out) const {
    return holds(offset, out.size()) && pager_->read(offset, out);
  }
  // The same view for writing: it counts as a change of those bytes.
  std::span<uint8_t> writable_bytes(uint64_t offset, uint64_t length) {
    if (!holds(offset, length)) return {};
    return {pager_->writable(offset, length), static_cast<size_t>(length)};
  }
  // A view for writing that the caller fills whole, every byte of it (see
  // Pager::overwritten).
  std::span<uint8_t> overwritten_bytes(uint64_t offset, uint64_t length) {
    if (!holds(offset, length)) return {};
    return {pager_->overwritten(offset, length), static_cast<size_t>(length)};
  }
  // True when a page could not be read from the image file: the bytes seen
  // there were not the volume's.
  bool read_failed() const { return pager_->read_failed(); }

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
  // True when the 8 records of a directory starting at `record` are in the volume.
  bool holds_directory(uint32_t record) const { return holds_records(record, kDirectoryRecords); }

 private:
  Pager* pager_;
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
