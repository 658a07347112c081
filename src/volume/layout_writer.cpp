#include "volume/layout_writer.h"

#include <algorithm>

#include "volume/walk.h"

namespace tarnwick {

namespace {

// The used blocks counter goes up byte by byte, as allocate_blocks counts.
void add_used_block(Volume& vol) {
  const uint8_t low = static_cast<uint8_t>(vol.sys8(sys::kUsedBlocks) + 1);
  vol.set_sys8(sys::kUsedBlocks, low);
  if (low == 0) vol.set_sys8(sys::kUsedBlocks + 1, static_cast<uint8_t>(vol.sys8(sys::kUsedBlocks + 1) + 1));
}

// True when records [first, first + count) can be written and named by a
// 16-bit record number.
bool usable(const Volume& vol, uint32_t first, uint32_t count) {
  return first != 0 && first + count - 1 <= 0xFFFF && vol.holds_records(first, count);
}

}  // namespace

BlockPool::BlockPool(Volume& vol) : vol_(vol) {
  const Geometry g = vol.geometry();
  records_per_block_ = static_cast<uint32_t>(std::max(g.records_per_block, 1));
  reserved_ = static_cast<uint32_t>(std::max(g.reserved_blocks, 0));
  scan_ = static_cast<uint32_t>(std::clamp<int>(g.total_blocks - g.reserved_blocks, 0, kMaxDataBlocks));
  held_.assign(vol.record_count() / records_per_block_ + 1, 0);
  for (uint32_t r = 0; r < std::min(kMinimumRecords, vol.record_count()); ++r) ++held_[r / records_per_block_];
  // Every file and directory reachable from the root, as allocate_blocks
  // finds them.
  for_each_reachable_entry(vol, [&](EntryRef e) { hold_file(e, 1); });
}

void BlockPool::hold_file(EntryRef e, int by) {
  FileWalk walk = FileWalk::of_entry(vol_, e, RecordRange{0, vol_.record_count()}, false);
  while (const std::optional<Piece> p = walk.next()) {
    for (uint32_t r = p->first; r < p->first + p->records; ++r) {
      uint32_t& n = held_[r / records_per_block_];
      n = static_cast<uint32_t>(static_cast<int64_t>(n) + by);
    }
  }
}

void BlockPool::forget_file(EntryRef e) {
  hold_file(e, -1);
  first_candidate_ = 0;
}

bool BlockPool::taken(uint32_t bit) const {
  const uint8_t byte = vol_.sys8(sys::kBitmap + bit / 8);
  if (byte & (1u << (bit % 8))) return true;
  const uint32_t block = reserved_ + bit;
  return block < held_.size() && held_[block] != 0;
}

uint32_t BlockPool::allocate(uint32_t length) {
  const uint64_t bytes_per_block = uint64_t{records_per_block_} * kRecordSize;
  const uint64_t blocks = std::max<uint64_t>((uint64_t{length} + bytes_per_block - 1) / bytes_per_block, 1);
  while (first_candidate_ < scan_ && taken(first_candidate_)) ++first_candidate_;
  uint32_t run = 0;
  for (uint32_t i = first_candidate_; i < scan_; ++i) {
    if (taken(i)) {
      run = 0;
      continue;
    }
    if (++run < blocks) continue;
    const uint32_t first = i + 1 - run;
    for (uint32_t j = first; j <= i; ++j) {
      const uint32_t at = sys::kBitmap + j / 8;
      vol_.set_sys8(at, static_cast<uint8_t>(vol_.sys8(at) | (1u << (j % 8))));
      add_used_block(vol_);
    }
    return (first + reserved_) * records_per_block_;
  }
  return 0;
}

std::optional<uint32_t> write_chained(Volume& vol, BlockPool& pool, std::span<const uint8_t> data) {
  const uint32_t rpb = static_cast<uint32_t>(std::max(vol.geometry().records_per_block, 1));
  const size_t records = std::max<size_t>((data.size() + kChainData - 1) / kChainData, 1);
  // The records in chain order, a block at a time.
  std::vector<uint32_t> chain;
  chain.reserve(records);
  while (chain.size() < records) {
    const uint32_t first = pool.allocate(0);
    if (!usable(vol, first, rpb)) return std::nullopt;
    for (uint32_t r = first; r < first + rpb && chain.size() < records; ++r) chain.push_back(r);
  }
  // Every record but the last is written whole, a run of consecutive ones
  // at a time; the last keeps the bytes after its data.
  for (size_t k = 0; k + 1 < chain.size();) {
    size_t end = k + 1;
    while (end + 1 < chain.size() && chain[end] == chain[end - 1] + 1) ++end;
    const std::span<uint8_t> run = vol.overwritten_bytes(uint64_t{chain[k]} * kRecordSize, (end - k) * kRecordSize);
    if (run.size() != (end - k) * kRecordSize) return std::nullopt;
    for (size_t i = k; i < end; ++i) {
      uint8_t* record = run.data() + (i - k) * kRecordSize;
      std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(i * kChainData), kChainData, record);
      store16(record + kChainLink, static_cast<uint16_t>(chain[i + 1]));
    }
    k = end;
  }
  const size_t last = chain.size() - 1;
  const uint64_t at = uint64_t{chain[last]} * kRecordSize;
  const size_t from = last * kChainData;
  const size_t n = std::min<size_t>(kChainData, data.size() - std::min(from, data.size()));
  const std::span<uint8_t> record = vol.writable_bytes(at, kRecordSize);
  if (record.size() != kRecordSize) return std::nullopt;
  std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(std::min(from, data.size())), n, record.begin());
  vol.put16(at + kChainLink, 0);
  return chain.front();
}

std::optional<uint32_t> lay_out_indexed(Volume& vol, BlockPool& pool, uint64_t size, std::vector<uint32_t>& runs) {
  const uint64_t count = (size + kRunSize - 1) / kRunSize;
  if (count > static_cast<uint64_t>(kIndexSlots)) return std::nullopt;
  const uint32_t index = pool.allocate(kRecordSize);
  if (!usable(vol, index, 1)) return std::nullopt;
  const std::span<uint8_t> slots = vol.writable_bytes(uint64_t{index} * kRecordSize, kRecordSize);
  std::fill(slots.begin(), slots.end(), uint8_t{0});
  runs.clear();
  for (uint64_t k = 0; k < count; ++k) {
    const uint32_t run = pool.allocate(kRunSize);
    if (!usable(vol, run, kRunRecords)) return std::nullopt;
    vol.put16(uint64_t{index} * kRecordSize + 2 * k, static_cast<uint16_t>(run));
    runs.push_back(run);
  }
  return index;
}

}  // namespace tarnwick
