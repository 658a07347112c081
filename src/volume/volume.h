// The loaded volume: its bytes, its geometry and the current directory.
//
// Every access to the volume image goes through the bounds-checked accessors
// below. Callers check the ranges they work on with holds() first; the
// accessors are the last line of defence and never touch memory outside the
// image (a read out of range gives 0, a write out of range is dropped).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "volume/format.h"

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

// Geometry from a system record's 256 bytes.
Geometry geometry_from_system_record(std::span<const uint8_t> record);

// Whether a system record describes a volume the tool can work on safely
// when the volume image holds `image_records` records: at least 24 records,
// reserved blocks <= total blocks, at most 1992 data blocks, at most 65536
// records, and total blocks x records per block within the image.
bool geometry_is_sound(const Geometry& g, uint64_t image_records);

// A directory entry: the byte offset of its first byte in the volume image.
struct EntryRef {
  uint32_t offset = 0;
  bool operator==(const EntryRef&) const = default;
};

class Volume {
 public:
  Volume() = default;
  explicit Volume(std::vector<uint8_t> image) : image_(std::move(image)) {}

  std::vector<uint8_t>& image() { return image_; }
  const std::vector<uint8_t>& image() const { return image_; }
  size_t size() const { return image_.size(); }
  uint32_t record_count() const { return static_cast<uint32_t>(image_.size() / kRecordSize); }
  bool loaded() const { return !image_.empty(); }

  // True when [offset, offset + length) lies inside the image.
  bool holds(uint64_t offset, uint64_t length) const {
    return offset <= image_.size() && length <= image_.size() - offset;
  }
  // True when records [first, first + count) lie inside the image.
  bool holds_records(uint64_t first, uint64_t count) const {
    return holds(first * kRecordSize, count * kRecordSize);
  }

  uint8_t u8(uint64_t offset) const { return offset < image_.size() ? image_[offset] : 0; }
  uint16_t le16(uint64_t offset) const {
    return static_cast<uint16_t>(u8(offset) | (u8(offset + 1) << 8));
  }
  void put8(uint64_t offset, uint8_t v) {
    if (offset < image_.size()) image_[offset] = v;
  }
  void put16(uint64_t offset, uint16_t v) {
    put8(offset, static_cast<uint8_t>(v & 0xFF));
    put8(offset + 1, static_cast<uint8_t>(v >> 8));
  }
  // A view of [offset, offset + length), or an empty span when out of range.
  std::span<uint8_t> bytes(uint64_t offset, uint64_t length) {
    if (!holds(offset, length)) return {};
    return {image_.data() + offset, static_cast<size_t>(length)};
  }
  std::span<const uint8_t> bytes(uint64_t offset, uint64_t length) const {
    if (!holds(offset, length)) return {};
    return {image_.data() + offset, static_cast<size_t>(length)};
  }

  // System record fields.
  static constexpr uint32_t kSystemOffset = kSystemRecord * kRecordSize;
  uint8_t sys8(uint32_t field) const { return u8(kSystemOffset + field); }
  uint16_t sys16(uint32_t field) const { return le16(kSystemOffset + field); }
  void set_sys8(uint32_t field, uint8_t v) { put8(kSystemOffset + field, v); }
  void set_sys16(uint32_t field, uint16_t v) { put16(kSystemOffset + field, v); }
  std::span<const uint8_t> system_record() const { return bytes(kSystemOffset, kRecordSize); }

  // Directory entry fields.
  uint8_t field8(EntryRef e, uint32_t field) const { return u8(uint64_t{e.offset} + field); }
  uint16_t field16(EntryRef e, uint32_t field) const { return le16(uint64_t{e.offset} + field); }
  void set_field8(EntryRef e, uint32_t field, uint8_t v) { put8(uint64_t{e.offset} + field, v); }
  void set_field16(EntryRef e, uint32_t field, uint16_t v) { put16(uint64_t{e.offset} + field, v); }
  uint8_t mode(EntryRef e) const { return field8(e, entry::kMode); }
  uint16_t start_record(EntryRef e) const { return field16(e, entry::kStartRecord); }
  uint16_t file_size(EntryRef e) const { return field16(e, entry::kSize); }

  // Entry `index` (0-63) of the directory starting at record `dir_record`.
  static EntryRef entry_at(uint32_t dir_record, int index) {
    return EntryRef{dir_record * kRecordSize + static_cast<uint32_t>(index) * kEntrySize};
  }
  // True when the 8 records of a directory starting at `record` are in the image.
  bool holds_directory(uint32_t record) const { return holds_records(record, kDirectoryRecords); }

  // Geometry as last refreshed (by the load or the consistency check).
  Geometry geometry;
  // Record where the current directory starts (path resolution moves it).
  uint32_t current_directory = kRootDirectoryRecord;

 private:
  std::vector<uint8_t> image_;
};

}  // namespace tarnwick
