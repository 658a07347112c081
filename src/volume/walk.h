// The records a file occupies, in file order: one walker for every layout,
// used by extraction, deletion, the consistency check and allocation alike,
// so that the bounds and the end of every walk are decided in one place.
//
// A walk yields pieces, each a run of consecutive records:
//   contiguous (OBJ, BTX, DIR)  one piece, from the start record on;
//   chained (BSD)               one piece per chain record, following the
//                               links in bytes 254-255 until a link of 0;
//   indexed (BRD)               the index record, then one piece per run
//                               entry (16 records) until an entry of 0 or
//                               the 128th.
// Every piece lies inside the walk's bound, a range of records given by the
// caller (the volume image, the data blocks, the check's table). A walk ends
// in one of three ways:
//   kComplete  the layout ended;
//   kOutside   a record lies outside the bound: a contiguous file yields the
//              records before it first, an index run is refused whole;
//   kLoop      a chain came back to a record it had already passed, which
//              would make it go round for ever.
// A walk never takes more steps than its bound has records.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "volume/volume.h"

namespace tarnwick {

enum class Layout { kNone, kContiguous, kChained, kIndexed };

// How a file of this mode lies in its records (kNone: the tool does not know).
Layout layout_of(uint8_t mode);

enum class WalkEnd { kComplete, kOutside, kLoop };

struct Piece {
  uint32_t first = 0;    // first record
  uint32_t records = 0;  // records in the piece, at least 1
  uint32_t bytes = 0;    // the file's data bytes in it, from the first byte of `first`
  bool index = false;    // a BRD index record (holds no data of the file)
};

class FileWalk {
 public:
  // `bytes` bytes from `start` on (none for 0 bytes).
  static FileWalk contiguous(const Volume& vol, RecordRange bound, uint32_t start, uint32_t bytes);
  // The chain from `start` (none for 0); 254 data bytes a record. With a
  // limit the walk ends once that many bytes are yielded, the last piece cut.
  static FileWalk chained(const Volume& vol, RecordRange bound, uint32_t start, std::optional<uint64_t> limit);
  // The index record and its runs of 16 records, 4096 data bytes a run.
  // With a limit the walk ends once that many bytes are yielded, and the
  // last run holds only the records those bytes need.
  static FileWalk indexed(const Volume& vol, RecordRange bound, uint32_t index, std::optional<uint64_t> limit);

  // The file an entry describes. `sized`: stop at the entry's size (what
  // extraction reads); otherwise follow chains and indexes to their end (what
  // the file holds). A directory is its 8 records.
  static FileWalk of_entry(const Volume& vol, EntryRef e, RecordRange bound, bool sized);

  // The next piece, or nothing once the walk has ended.
  std::optional<Piece> next();
  WalkEnd end() const { return end_; }
  // After kLoop: the record the chain came back to.
  uint32_t loop_record() const { return at_; }
  // After kOutside: the first record that lies outside the bound.
  uint32_t outside_record() const { return outside_; }

 private:
  FileWalk(const Volume& vol, Layout layout, RecordRange bound, uint32_t start, std::optional<uint64_t> limit)
      : vol_(&vol), layout_(layout), bound_(bound), at_(start), limit_(limit) {}
  std::optional<Piece> stop(WalkEnd why);
  std::optional<Piece> stop_outside(uint32_t record);
  std::optional<Piece> next_contiguous();
  std::optional<Piece> next_chained();
  std::optional<Piece> next_indexed();
  uint32_t take(uint32_t most);

  const Volume* vol_;
  Layout layout_;
  RecordRange bound_;
  uint32_t at_;                     // contiguous: start; chain: next record; indexed: index record
  std::optional<uint64_t> limit_;   // data bytes still wanted (nothing: no limit)
  bool started_ = false;
  bool done_ = false;
  WalkEnd end_ = WalkEnd::kComplete;
  int slot_ = 0;                    // indexed: next run entry
  uint32_t outside_ = 0;            // after kOutside: the first record outside
  std::vector<bool> seen_;          // chained: records passed
};

// Calls visit(e) for every used entry of every directory reachable from
// the root. Each directory is entered once, so the walk ends on any volume,
// whatever its directories point at.
template <typename Visit>
void for_each_reachable_entry(const Volume& vol, Visit visit) {
  std::vector<bool> entered(vol.record_count(), false);
  std::vector<uint32_t> pending;
  if (vol.holds_directory(kRootDirectoryRecord)) {
    entered[kRootDirectoryRecord] = true;
    pending.push_back(kRootDirectoryRecord);
  }
  while (!pending.empty()) {
    const uint32_t dir = pending.back();
    pending.pop_back();
    for (const EntryRef e : directory_entries(dir)) {
      visit(e);
      const uint32_t start = vol.start_record(e);
      if (vol.mode(e) == mode::kDir && vol.holds_directory(start) && !entered[start]) {
        entered[start] = true;
        pending.push_back(start);
      }
    }
  }
}

}  // namespace tarnwick
