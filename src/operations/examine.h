// Examining a volume: the consistency check's walk, going on after each
// fault, with every finding told in names and numbers; and the mends that
// cannot lose data.
//
// A finding is what the check would say about one fault (or the notice of
// blocks that a file holds while the bitmap shows them free), followed by
// its reason: the path of the file or directory, the record at fault and
// the area it lies in (the system area of records 0-23, the reserved
// records, past the volume's end), the other file or directory whose block
// it shares, the directory it is a second name for, the blocks the bitmap
// shows free, the used blocks count against the blocks held.
//
// A repair mends only the allocation bitmap and its used blocks count: it
// marks used every block that a file or directory holds and sets the count
// to what the bitmap then holds. It never frees a block (a block marked
// used that no entry holds may hold data another program reads by record
// number), never changes or deletes an entry and never moves data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "operations/check.h"
#include "output/report.h"
#include "volume/volume.h"

namespace tarnwick {

// Records [first, last].
struct RecordSpan {
  uint32_t first = 0;
  uint32_t last = 0;
  bool operator==(const RecordSpan&) const = default;
};

struct Finding {
  FaultKind kind;
  Line message{};                    // the check's line, or the notice of free blocks
  Line reason{};                     // what is wrong, in names and numbers
  std::optional<std::string> path{}; // the file's or directory's path text
  std::optional<RecordSpan> records{};  // the records at fault
  bool fixable = false;              // a repair mends it
  std::optional<Line> advice{};      // the command that deals with it, where one does
  std::vector<uint32_t> blocks{};    // kFreeInBitmap: the blocks a repair marks used
};

struct Examination {
  std::vector<Finding> findings{};  // in the order the walk met them
  bool sound() const { return findings.empty(); }
};

// Examines the volume as its system record describes it now. Reads only.
Examination examine_volume(const Volume& vol);

// The lines a person reads: each finding's line and its reason (and its
// advice, with `advise`), then "検査: %u 件の問題" or "検査: 問題はありません".
void report_examination(const Examination& exam, bool advise, Report& rep);

// One mend: blocks of a file or directory marked used, or (with no path)
// the used blocks count set.
struct Mend {
  std::optional<std::string> path{};
  std::optional<RecordSpan> records{};
  Line line{};  // "'%s' のブロック %04X - %04X を使用中にしました", or the count's
};

struct Repair {
  std::vector<Mend> mends{};
  Examination after{};  // what remains
  // True when the volume changed and is to be saved.
  bool changed() const { return !mends.empty(); }
};

// Examines the volume, mends what a repair may mend and examines it again.
// Changes only the system record, through a VolumeEdit; a volume with
// nothing to mend is left untouched.
Repair repair_volume(Volume& vol);

// The lines of a repair: one per mend, then what remains, each with its
// advice, and the summary.
void report_repair(const Repair& repair, Report& rep);

}  // namespace tarnwick
