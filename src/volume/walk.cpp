#include "volume/walk.h"

#include <algorithm>

namespace tarnwick {

Layout layout_of(uint8_t m) {
  switch (m) {
    case mode::kObj:
    case mode::kBtx:
    case mode::kDir:
      return Layout::kContiguous;
    case mode::kBsd:
      return Layout::kChained;
    case mode::kBrd:
      return Layout::kIndexed;
    default:
      return Layout::kNone;
  }
}

FileWalk FileWalk::contiguous(const Volume& vol, RecordRange bound, uint32_t start, uint32_t bytes) {
  return FileWalk(vol, Layout::kContiguous, bound, start, bytes);
}

FileWalk FileWalk::chained(const Volume& vol, RecordRange bound, uint32_t start, std::optional<uint64_t> limit) {
  return FileWalk(vol, Layout::kChained, bound, start, limit);
}

FileWalk FileWalk::indexed(const Volume& vol, RecordRange bound, uint32_t index, std::optional<uint64_t> limit) {
  return FileWalk(vol, Layout::kIndexed, bound, index, limit);
}

FileWalk FileWalk::of_entry(const Volume& vol, EntryRef e, RecordRange bound, bool sized) {
  const uint8_t m = vol.mode(e);
  const uint32_t start = vol.start_record(e);
  const uint32_t size = vol.file_size(e);
  switch (layout_of(m)) {
    case Layout::kContiguous:
      return contiguous(vol, bound, start, m == mode::kDir ? kDirectorySize : size);
    case Layout::kChained:
      return chained(vol, bound, start, sized ? std::optional<uint64_t>(size) : std::nullopt);
    case Layout::kIndexed:
      return indexed(vol, bound, start, sized ? std::optional<uint64_t>(uint64_t{size} * kBrdUnit) : std::nullopt);
    case Layout::kNone:
      break;
  }
  FileWalk none(vol, Layout::kNone, bound, 0, 0);
  none.done_ = true;
  return none;
}

std::optional<Piece> FileWalk::stop(WalkEnd why) {
  done_ = true;
  end_ = why;
  return std::nullopt;
}

std::optional<Piece> FileWalk::stop_outside(uint32_t record) {
  outside_ = record;
  return stop(WalkEnd::kOutside);
}

// Counts up to `most` data bytes off the limit; all of them without one.
uint32_t FileWalk::take(uint32_t most) {
  if (!limit_) return most;
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(*limit_, most));
  *limit_ -= n;
  return n;
}

std::optional<Piece> FileWalk::next() {
  if (done_) return std::nullopt;
  switch (layout_) {
    case Layout::kContiguous: return next_contiguous();
    case Layout::kChained: return next_chained();
    case Layout::kIndexed: return next_indexed();
    case Layout::kNone: break;
  }
  return stop(WalkEnd::kComplete);
}

std::optional<Piece> FileWalk::next_contiguous() {
  if (started_) return bound_.contains(at_) ? stop(WalkEnd::kComplete) : stop_outside(at_);
  started_ = true;
  const uint64_t bytes = limit_.value_or(0);
  const uint64_t records = (bytes + kRecordSize - 1) / kRecordSize;
  if (records == 0) return stop(WalkEnd::kComplete);
  if (!bound_.contains(at_)) return stop_outside(at_);
  // What lies inside the bound is yielded; the next call reports the rest.
  const uint64_t inside = std::min<uint64_t>(records, bound_.end - at_);
  const Piece p{at_, static_cast<uint32_t>(inside),
                static_cast<uint32_t>(std::min<uint64_t>(bytes, inside * kRecordSize)), false};
  if (inside == records) {
    done_ = true;
  } else {
    at_ += static_cast<uint32_t>(inside);  // the first record outside
  }
  return p;
}

std::optional<Piece> FileWalk::next_chained() {
  if (at_ == 0 || (limit_ && *limit_ == 0)) return stop(WalkEnd::kComplete);
  if (!bound_.contains(at_)) return stop_outside(at_);
  if (seen_.empty()) seen_.assign(bound_.end, false);
  if (seen_[at_]) return stop(WalkEnd::kLoop);
  seen_[at_] = true;
  const Piece p{at_, 1, take(kChainData), false};
  at_ = vol_->le16(uint64_t{at_} * kRecordSize + kChainLink);
  return p;
}

std::optional<Piece> FileWalk::next_indexed() {
  if (!started_) {
    started_ = true;
    if (!bound_.contains(at_)) return stop_outside(at_);
    return Piece{at_, 1, 0, true};
  }
  if (slot_ >= kIndexSlots || (limit_ && *limit_ == 0)) return stop(WalkEnd::kComplete);
  const uint32_t run = vol_->le16(uint64_t{at_} * kRecordSize + 2u * static_cast<uint32_t>(slot_));
  if (run == 0) return stop(WalkEnd::kComplete);
  ++slot_;
  const uint32_t wanted = limit_ ? static_cast<uint32_t>(std::min<uint64_t>(*limit_, kRunSize)) : kRunSize;
  const uint32_t records = (wanted + kRecordSize - 1) / kRecordSize;
  if (!bound_.contains(run, records)) return stop_outside(std::max(run, bound_.end));
  return Piece{run, records, take(kRunSize), false};
}

}  // namespace tarnwick
