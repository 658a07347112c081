#include "volume/edit.h"

#include <algorithm>
#include <memory>

#include "volume/blank.h"
#include "volume/walk.h"

namespace tarnwick {

namespace {

// Bitmap bit i: bit (i mod 8) of system record byte 6 + i / 8.
uint32_t bitmap_byte(uint32_t bit) { return sys::kBitmap + bit / 8; }
uint8_t bitmap_mask(uint32_t bit) { return static_cast<uint8_t>(1u << (bit % 8)); }

uint32_t block_records(const Volume& vol) {
  return static_cast<uint32_t>(std::max(vol.geometry().records_per_block, 1));
}

// Per block: how many records of it files and directories reachable from
// the root hold, records 0-23 (the system record and the root directory)
// included. Unlike the consistency check, the walk does not stop at a
// damaged file or directory: whatever it can reach is protected. With
// `use`, marks there the records held and those of the structure.
std::vector<uint32_t> held_per_block(const Volume& vol, uint32_t rpb, VolumeUse* use = nullptr) {
  std::vector<uint32_t> held(vol.record_count() / rpb + 1, 0);
  const auto hold = [&](uint32_t r, bool structure) {
    ++held[r / rpb];
    if (!use) return;
    use->held[r] = true;
    if (structure) use->structure[r] = true;
  };
  for (uint32_t r = 0; r < std::min(kMinimumRecords, vol.record_count()); ++r) hold(r, true);
  for_each_reachable_entry(vol, [&](EntryRef e) {
    const bool dir = vol.mode(e) == mode::kDir;
    FileWalk walk = FileWalk::of_entry(vol, e, RecordRange{0, vol.record_count()}, false);
    while (const std::optional<Piece> p = walk.next()) {
      for (uint32_t r = p->first; r < p->first + p->records; ++r) hold(r, dir || p->index);
    }
  });
  return held;
}

// Bitmap bits that describe blocks: the data blocks, at most 1992, so the
// scan never reads byte 255 (the load refuses volumes with more).
uint32_t scanned_bits(const Geometry& g) {
  return static_cast<uint32_t>(std::clamp<int>(g.total_blocks - g.reserved_blocks, 0, kMaxDataBlocks));
}

}  // namespace

RecordRange data_records(const Volume& vol) {
  const Geometry g = vol.geometry();
  const int32_t data_end = std::min(g.total_blocks, g.reserved_blocks + static_cast<int32_t>(kMaxDataBlocks));
  const uint64_t first = uint64_t(g.reserved_blocks) * uint64_t(g.records_per_block);
  const uint64_t end = std::max<uint64_t>(uint64_t(std::max(data_end, 0)) * uint64_t(g.records_per_block), first);
  const uint64_t records = vol.record_count();
  return RecordRange{static_cast<uint32_t>(std::min(first, records)), static_cast<uint32_t>(std::min(end, records))};
}

VolumeUse volume_use(const Volume& vol) {
  const std::vector<bool> none(vol.record_count(), false);
  VolumeUse use{none, none, none};
  const Geometry g = vol.geometry();
  const RecordRange data = data_records(vol);
  if (g.records_per_block < 1 || data.first >= data.end) return use;
  const uint32_t rpb = static_cast<uint32_t>(g.records_per_block);
  const std::vector<uint32_t> held = held_per_block(vol, rpb, &use);
  for (uint32_t block = data.first / rpb; uint64_t{block} * rpb < data.end; ++block) {
    const uint32_t bit = block - static_cast<uint32_t>(g.reserved_blocks);
    if ((vol.sys8(bitmap_byte(bit)) & bitmap_mask(bit)) || held[block] != 0) continue;
    for (uint32_t r = block * rpb; r < (block + 1) * rpb && r < data.end; ++r) use.unused[r] = true;
  }
  return use;
}

std::vector<bool> bound_records(const Volume& vol, const VolumeUse& loaded) {
  std::vector<bool> bound = loaded.structure;
  bound.resize(vol.record_count(), false);
  const Geometry g = vol.geometry();
  const RecordRange data = data_records(vol);
  if (g.records_per_block < 1 || loaded.held.size() < data.end) return bound;
  const uint32_t rpb = static_cast<uint32_t>(g.records_per_block);
  for (uint32_t r = data.first; r < data.end; ++r) {
    const uint32_t bit = r / rpb - static_cast<uint32_t>(g.reserved_blocks);
    if (loaded.held[r] && !(vol.sys8(bitmap_byte(bit)) & bitmap_mask(bit))) bound[r] = true;
  }
  return bound;
}

std::array<uint8_t, 6> sized_fields(uint32_t size) {
  std::array<uint8_t, 6> fields{};
  store16(fields.data(), static_cast<uint16_t>(size));
  return fields;
}

// The blocks an edit may claim: made when the edit first claims one, from
// one walk of what the volume holds, and told of every file the edit
// writes or removes meanwhile.
class VolumeEdit::BlockPool {
 public:
  explicit BlockPool(const Volume& vol)
      : vol_(vol),
        rpb_(block_records(vol)),
        reserved_(static_cast<uint32_t>(std::max(vol.geometry().reserved_blocks, 0))),
        bits_(scanned_bits(vol.geometry())),
        held_(held_per_block(vol, rpb_)) {}

  uint32_t records_per_block() const { return rpb_; }

  // The records of the file or directory an entry describes now count as
  // held (`by` 1) or no longer (`by` -1).
  void hold(EntryRef e, int by) {
    FileWalk walk = FileWalk::of_entry(vol_, e, RecordRange{0, vol_.record_count()}, false);
    while (const std::optional<Piece> p = walk.next()) {
      for (uint32_t r = p->first; r < p->first + p->records; ++r) {
        uint32_t& n = held_[r / rpb_];
        n = static_cast<uint32_t>(static_cast<int64_t>(n) + by);
      }
    }
    if (by < 0) first_candidate_ = 0;
  }

  // The first bit of the first run of `blocks` free ones (at least one),
  // handing every bit it looks at to `trace`; nothing when none fits.
  std::optional<uint32_t> find(uint64_t blocks, const AllocTrace& trace) {
    // A traced scan starts at bit 0, so its steps are those of every scan.
    if (!trace) {
      while (first_candidate_ < bits_ && taken(first_candidate_)) ++first_candidate_;
    }
    uint32_t run = 0;
    for (uint32_t i = trace ? 0 : first_candidate_; i < bits_; ++i) {
      if (trace) trace({AllocStep::Kind::kScan, bitmap_mask(i), vol_.sys8(bitmap_byte(i)), run});
      if (taken(i)) {
        run = 0;
        continue;
      }
      // Tested after the run grew, so a request for 0 blocks takes one.
      if (++run >= blocks) return i + 1 - run;
    }
    return std::nullopt;
  }

  // The blocks that are free now.
  uint32_t free_blocks() const {
    uint32_t n = 0;
    for (uint32_t i = 0; i < bits_; ++i) n += taken(i) ? 0 : 1;
    return n;
  }

  uint32_t block_of_bit(uint32_t bit) const { return reserved_ + bit; }
  uint32_t data_blocks() const { return bits_; }

 private:
  bool taken(uint32_t bit) const {
    if (vol_.sys8(bitmap_byte(bit)) & bitmap_mask(bit)) return true;
    const uint32_t block = reserved_ + bit;
    return block < held_.size() && held_[block] != 0;
  }

  const Volume& vol_;
  uint32_t rpb_;
  uint32_t reserved_;  // bitmap bit i is block reserved_ + i
  uint32_t bits_;
  std::vector<uint32_t> held_;
  uint32_t first_candidate_ = 0;  // every bit before it is taken
};

VolumeEdit::VolumeEdit(Volume& vol, AllocTrace trace) : vol_(vol), trace_(std::move(trace)) {}

VolumeEdit::~VolumeEdit() = default;

VolumeEdit::BlockPool& VolumeEdit::pool() {
  if (!pool_) pool_ = std::make_unique<BlockPool>(vol_);
  return *pool_;
}

void VolumeEdit::keep(uint64_t offset, uint64_t length) {
  const std::span<const uint8_t> b = vol_.bytes(offset, length);
  kept_.push_back(Kept{offset, std::vector<uint8_t>(b.begin(), b.end())});
}

void VolumeEdit::keep_system_record() {
  if (system_kept_) return;
  keep(Volume::kSystemOffset, kRecordSize);
  system_kept_ = true;
}

void VolumeEdit::keep_released(uint64_t offset, uint64_t length) {
  for (uint64_t r = offset / kRecordSize; r * kRecordSize < offset + length && r < released_.size(); ++r) {
    if (released_[r]) keep(r * kRecordSize, kRecordSize);
  }
}

void VolumeEdit::add_used_block(int by) {
  const uint8_t low = static_cast<uint8_t>(vol_.sys8(sys::kUsedBlocks) + by);
  vol_.set_sys8(sys::kUsedBlocks, low);
  if (low == (by > 0 ? 0x00 : 0xFF)) {
    vol_.set_sys8(sys::kUsedBlocks + 1, static_cast<uint8_t>(vol_.sys8(sys::kUsedBlocks + 1) + by));
  }
}

std::optional<uint32_t> VolumeEdit::allocate(uint64_t length) {
  BlockPool& p = pool();
  const uint64_t bytes_per_block = uint64_t{p.records_per_block()} * kRecordSize;
  const uint64_t blocks = (length + bytes_per_block - 1) / bytes_per_block;
  if (trace_) trace_({AllocStep::Kind::kBlocks, static_cast<int64_t>(blocks)});
  if (trace_) trace_({AllocStep::Kind::kDataBlocks, vol_.geometry().total_blocks - vol_.geometry().reserved_blocks});
  const std::optional<uint32_t> first = p.find(blocks, trace_);
  if (!first) {
    no_space_ = {std::max<uint64_t>(blocks, 1) * bytes_per_block, uint64_t{p.free_blocks()} * bytes_per_block};
    return std::nullopt;
  }
  keep_system_record();
  for (uint32_t j = *first; j < *first + std::max<uint64_t>(blocks, 1); ++j) {
    vol_.set_sys8(bitmap_byte(j), static_cast<uint8_t>(vol_.sys8(bitmap_byte(j)) | bitmap_mask(j)));
    if (trace_) trace_({AllocStep::Kind::kReserve, int64_t{p.block_of_bit(j)}});
    add_used_block(1);
  }
  return p.block_of_bit(*first) * p.records_per_block();
}

std::optional<uint32_t> VolumeEdit::claim(uint64_t length) {
  const uint64_t records = (length + kRecordSize - 1) / kRecordSize;
  const std::optional<uint32_t> first = allocate(length);
  if (!first) return std::nullopt;
  // A run outside the volume or beyond 16-bit record numbers can only come
  // from a volume the load refuses; it is treated as no room.
  if (*first == 0 || *first + std::max<uint64_t>(records, 1) - 1 > 0xFFFF || !vol_.holds_records(*first, records)) {
    no_space_ = {length, 0};
    return std::nullopt;
  }
  keep_released(uint64_t{*first} * kRecordSize, records * kRecordSize);
  return first;
}

bool VolumeEdit::release(uint32_t record) {
  if (!data_records(vol_).contains(record)) return false;
  const Geometry g = vol_.geometry();
  const uint32_t block = record / static_cast<uint32_t>(g.records_per_block);
  const uint32_t bit = block - static_cast<uint32_t>(g.reserved_blocks);
  const uint8_t b = vol_.sys8(bitmap_byte(bit));
  if (!(b & bitmap_mask(bit))) return false;
  keep_system_record();
  vol_.set_sys8(bitmap_byte(bit), static_cast<uint8_t>(b & ~bitmap_mask(bit)));
  add_used_block(-1);
  if (trace_) trace_({AllocStep::Kind::kRelease, record, block, vol_.sys16(sys::kUsedBlocks)});
  return true;
}

bool VolumeEdit::remove_entry(EntryRef e) {
  keep(e.offset, kEntrySize);
  if (pool_) pool_->hold(e, -1);
  if (released_.empty()) released_.assign(vol_.record_count(), false);
  bool complete = true;
  const uint8_t m = vol_.mode(e);
  // A file of size 0 still holds the one block its allocation gave it.
  if ((m == mode::kObj || m == mode::kBtx) && vol_.file_size(e) == 0) {
    const uint32_t start = vol_.start_record(e);
    if (start != 0) release(start);
    if (start < released_.size()) released_[start] = true;
  } else {
    FileWalk walk = FileWalk::of_entry(vol_, e, data_records(vol_), false);
    while (const std::optional<Piece> p = walk.next()) {
      for (uint32_t r = p->first; r < p->first + p->records; ++r) {
        released_[r] = true;
        release(r);
      }
    }
    complete = walk.end() == WalkEnd::kComplete;
  }
  vol_.set_field8(e, entry::kMode, mode::kFree);
  return complete;
}

void VolumeEdit::write_entry(EntryRef e, const NewEntry& n) {
  keep(e.offset, kEntrySize);
  vol_.set_field8(e, entry::kMode, n.mode);
  for (uint32_t k = 0; k < static_cast<uint32_t>(kNameFieldLength); ++k) {
    vol_.set_field8(e, entry::kName + k, k < n.name.size() ? static_cast<uint8_t>(n.name[k]) : kNameEnd);
  }
  vol_.set_field8(e, entry::kAttribute, kStoredAttribute);
  vol_.set_field8(e, entry::kUnnamed, 0);
  for (uint32_t k = 0; k < n.fields.size(); ++k) vol_.set_field8(e, entry::kSize + k, n.fields[k]);
  vol_.set_field16(e, entry::kStartRecord, static_cast<uint16_t>(n.start));
  vol_.set_time_stamp(e, n.stamp);
  if (pool_) pool_->hold(e, 1);
}

void VolumeEdit::amend_entry(EntryRef e, uint8_t attribute, const TimeStamp& stamp) {
  keep(e.offset, kEntrySize);
  vol_.set_field8(e, entry::kAttribute, attribute);
  vol_.set_time_stamp(e, stamp);
}

std::optional<uint32_t> VolumeEdit::make_directory(uint32_t parent, EntryRef e, std::string_view name,
                                                   const TimeStamp& stamp) {
  const std::optional<uint32_t> start = claim(kDirectorySize);
  if (!start) return std::nullopt;
  write_blank_directory(vol_.overwritten_bytes(uint64_t{*start} * kRecordSize, kDirectorySize));
  write_entry(Volume::entry_at(*start, 1), NewEntry{mode::kDir, ".", {}, *start, stamp});
  write_entry(Volume::entry_at(*start, 2), NewEntry{mode::kDir, "..", {}, parent, stamp});
  write_entry(e, NewEntry{mode::kDir, name, {}, *start, stamp});
  return start;
}

WriteFault VolumeEdit::fill(uint32_t start, uint64_t size, const ByteSource& bytes) {
  const std::span<uint8_t> to = vol_.overwritten_bytes(uint64_t{start} * kRecordSize, size);
  if (to.size() != size) return WriteFault::kNoSpace;
  return size == 0 || bytes(0, to) ? WriteFault::kNone : WriteFault::kReadFailed;
}

Written VolumeEdit::out_of_space(uint64_t blocks, uint64_t free_blocks) {
  const uint64_t block_bytes = uint64_t{pool().records_per_block()} * kRecordSize;
  no_space_ = {blocks * block_bytes, free_blocks * block_bytes};
  return {WriteFault::kNoSpace};
}

Written VolumeEdit::write_contiguous(std::span<const uint8_t> bytes) {
  const std::optional<uint32_t> start = claim(bytes.size());
  if (!start) return {WriteFault::kNoSpace};
  const WriteFault fault = fill(*start, bytes.size(), [bytes](uint64_t from, std::span<uint8_t> out) {
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), out.size(), out.begin());
    return true;
  });
  return {fault, *start};
}

Written VolumeEdit::write_chained(std::span<const uint8_t> data) {
  const uint32_t rpb = block_records(vol_);
  const size_t records = std::max<size_t>((data.size() + kChainData - 1) / kChainData, 1);
  const uint64_t free_before = pool().free_blocks();
  // The records in chain order, a block at a time.
  std::vector<uint32_t> chain;
  chain.reserve(records);
  while (chain.size() < records) {
    const std::optional<uint32_t> first = claim(uint64_t{rpb} * kRecordSize);
    if (!first) return out_of_space((records + rpb - 1) / rpb, free_before);
    for (uint32_t r = *first; r < *first + rpb && chain.size() < records; ++r) chain.push_back(r);
  }
  // Every record but the last is written whole, a run of consecutive ones
  // at a time; the last keeps the bytes after its data.
  for (size_t k = 0; k + 1 < chain.size();) {
    size_t end = k + 1;
    while (end + 1 < chain.size() && chain[end] == chain[end - 1] + 1) ++end;
    const std::span<uint8_t> run = vol_.overwritten_bytes(uint64_t{chain[k]} * kRecordSize, (end - k) * kRecordSize);
    for (size_t i = k; i < end; ++i) {
      uint8_t* record = run.data() + (i - k) * kRecordSize;
      std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(i * kChainData), kChainData, record);
      store16(record + kChainLink, static_cast<uint16_t>(chain[i + 1]));
    }
    k = end;
  }
  const size_t from = std::min((chain.size() - 1) * kChainData, data.size());
  const uint64_t at = uint64_t{chain.back()} * kRecordSize;
  const std::span<uint8_t> record = vol_.writable_bytes(at, kRecordSize);
  std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(from), std::min<size_t>(kChainData, data.size() - from),
              record.begin());
  vol_.put16(at + kChainLink, 0);
  return {WriteFault::kNone, chain.front()};
}

Written VolumeEdit::write_indexed(uint64_t size, const ByteSource& bytes) {
  const uint64_t count = (size + kRunSize - 1) / kRunSize;
  // The index record's block and each run's own blocks.
  const uint32_t rpb = block_records(vol_);
  const uint64_t blocks = 1 + count * ((kRunSize / kRecordSize + rpb - 1) / rpb);
  const uint64_t free_before = pool().free_blocks();
  if (count > static_cast<uint64_t>(kIndexSlots)) return out_of_space(blocks, free_before);
  const std::optional<uint32_t> index = claim(kRecordSize);
  if (!index) return out_of_space(blocks, free_before);
  const std::span<uint8_t> slots = vol_.overwritten_bytes(uint64_t{*index} * kRecordSize, kRecordSize);
  std::fill(slots.begin(), slots.end(), uint8_t{0});
  std::vector<uint32_t> runs;
  for (uint64_t k = 0; k < count; ++k) {
    const std::optional<uint32_t> run = claim(kRunSize);
    if (!run) return out_of_space(blocks, free_before);
    vol_.put16(uint64_t{*index} * kRecordSize + 2 * k, static_cast<uint16_t>(*run));
    runs.push_back(*run);
  }
  for (size_t k = 0; k < runs.size(); ++k) {
    const uint64_t from = uint64_t{k} * kRunSize;
    const uint64_t n = std::min<uint64_t>(kRunSize, size - from);
    const ByteSource part = [&](uint64_t at, std::span<uint8_t> out) { return bytes(from + at, out); };
    if (const WriteFault f = fill(runs[k], n, part); f != WriteFault::kNone) return {f};
  }
  return {WriteFault::kNone, *index};
}

bool VolumeEdit::mark_used(uint32_t block) {
  const Geometry g = vol_.geometry();
  const int64_t bit = int64_t{block} - g.reserved_blocks;
  if (bit < 0 || bit >= int64_t{scanned_bits(g)}) return false;
  const uint32_t i = static_cast<uint32_t>(bit);
  const uint8_t b = vol_.sys8(bitmap_byte(i));
  if (b & bitmap_mask(i)) return false;
  keep_system_record();
  vol_.set_sys8(bitmap_byte(i), static_cast<uint8_t>(b | bitmap_mask(i)));
  return true;
}

void VolumeEdit::recount_used_blocks() {
  const Geometry g = vol_.geometry();
  uint32_t used = static_cast<uint32_t>(std::max(g.reserved_blocks, 0));
  for (uint32_t i = 0; i < scanned_bits(g); ++i) used += (vol_.sys8(bitmap_byte(i)) & bitmap_mask(i)) ? 1 : 0;
  if (used == vol_.sys16(sys::kUsedBlocks)) return;
  keep_system_record();
  vol_.set_sys16(sys::kUsedBlocks, static_cast<uint16_t>(used));
}

void VolumeEdit::overwrite(uint64_t offset, std::span<const uint8_t> bytes) {
  const std::span<uint8_t> to = vol_.writable_bytes(offset, bytes.size());
  std::copy_n(bytes.begin(), to.size(), to.begin());
}

void VolumeEdit::rollback() {
  for (auto it = kept_.rbegin(); it != kept_.rend(); ++it) {
    const std::span<uint8_t> to = vol_.writable_bytes(it->offset, it->bytes.size());
    std::copy_n(it->bytes.begin(), to.size(), to.begin());
  }
  kept_.clear();
  system_kept_ = false;
  pool_.reset();
}

}  // namespace tarnwick
