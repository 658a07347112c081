// The consistency check ("Sanity check"): reports damage that would make
// commands unsafe. It only reads the volume and gives its lines; the first
// fault found ends it. An examination (operations/examine.h) runs the same
// walk and goes on after each fault.
//
// The check walks the directory tree from the root and claims, in a table of
// one byte per record, every record that a file or subdirectory occupies.
// The reserved records are claimed before the walk. A file conflicts when a
// block it enters already holds a claimed record, so two files never share a
// block, not even in different records of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output/report.h"
#include "volume/volume.h"

namespace tarnwick {

// Blocks that a file or directory holds although the bitmap shows them
// free: another program's store may take them and overwrite it.
struct FreeInBitmap {
  std::string path{};              // its path text, "/" for the root directory
  std::vector<uint32_t> blocks{};  // ascending
};

// What a check found: every line it says, in order (its traces in a
// verbose report), and its verdict.
struct CheckReport {
  Report lines;
  // False when it stopped before the directory walk (records per block,
  // system record, bitmap count or memory), else true whatever the walk
  // found.
  bool walked = false;
  // True when it found no fault at all.
  bool sound = false;
  // The files and directories walked that lie in blocks the bitmap shows
  // free. They do not count as faults: each is a notice at the end of the
  // lines.
  std::vector<FreeInBitmap> free_in_bitmap{};
};

// Checks the volume as its system record describes it now.
CheckReport sanity_check(const Volume& vol, bool verbose = false);

// What kind of fault the walk met.
enum class FaultKind : uint8_t {
  kRecordsPerBlock,  // more than 32 records per block: nothing else is looked at
  kSystemRecord,     // a geometry that does not fit the volume: likewise
  kUsedBlocks,       // the used blocks count disagrees with the bitmap
  kOutOfMemory,      // no room for the table
  kHeader,           // a directory's header entry is not a normal one
  kFile,             // an OBJ, BTX, BSD or BRD file's records
  kDot,              // a "." entry that does not point at its directory
  kDotDot,           // a ".." entry that does not point at the parent
  kSubdirectory,     // a subdirectory's records
  kFreeInBitmap,     // blocks held that the bitmap shows free (no fault of the check)
};

// Why the records of a file or subdirectory could not all be claimed.
struct ClaimFault {
  enum class Kind : uint8_t {
    kNone,
    kEmpty,    // it has no records at all: size 0, or start record 0
    kHeld,     // the block of `record` holds `met`, which is claimed already
    kOutside,  // `record` lies outside the volume
  };
  Kind kind = Kind::kNone;
  uint32_t record = 0;
  uint32_t met = 0;
};

// A fault as an examination keeps it.
struct WalkFault {
  FaultKind kind;
  Line line{};                // what the check says (nothing for kFreeInBitmap)
  std::string path{};         // the file's or directory's path text ("/": the root)
  uint32_t start = 0;       // its start record (kHeader: the directory's record)
  ClaimFault claim{};         // kFile, kSubdirectory
  uint32_t holder = 0;      // kFile, kSubdirectory: its holder (WalkLog::holders)
  uint32_t value = 0;       // kHeader: the header byte; kDot, kDotDot: where it points
  std::optional<uint32_t> expected{};  // kDot, kDotDot: where it should (none: the root has no parent)
  std::vector<uint32_t> blocks{};      // kFreeInBitmap
};

// A file or directory whose records the walk claims.
struct Holder {
  std::string path{};
  uint32_t start = 0;
  bool directory = false;
};

// What an examination keeps of the walk. With a log the walk notes each
// fault and goes on: with the next entry after a file or a subdirectory
// whose records are at fault (a file's records are claimed up to its first
// conflict, as the check claims them), past a directory whose header is
// at fault, and on to the walk after a miscounted bitmap. It enters every
// directory once.
struct WalkLog {
  static constexpr uint32_t kReserved = 0;  // holder of the reserved records
  static constexpr uint32_t kRoot = 1;      // holder of the root directory
  std::vector<WalkFault> faults;            // in the order the walk met them
  std::vector<Holder> holders;
  std::vector<uint32_t> holder_of;  // per record of the table, while claimed
  std::vector<bool> entered;        // per record: a directory was entered there
  uint32_t current = kReserved;     // the holder whose records are being claimed
};

// What one check works with. The table lives for one check only.
struct CheckState {
  const Volume& vol;
  Report& rep;
  int32_t records_per_block = 1;
  // sanity_check_record_status[r]: 0 = record r unclaimed, 1 = claimed.
  // total blocks x records per block entries; a record at or beyond its end
  // is outside the volume and can never be claimed.
  std::vector<uint8_t> sanity_check_record_status{};
  // The blocks with a bitmap bit: blocks reserved_blocks on, data_blocks of
  // them (none when 0). Each block a file enters is looked up there.
  int32_t reserved_blocks = 0;
  int32_t data_blocks = 0;
  // Set by an examination (operations/examine.h).
  WalkLog* log = nullptr;

  // Why the last claim failed.
  ClaimFault claim{};
  // Blocks free in the bitmap: of the walk so far, and of the file or
  // directory being claimed (with the last block looked up).
  std::vector<FreeInBitmap> free_in_bitmap{};
  std::vector<uint32_t> free_blocks{};
  std::optional<uint32_t> bitmap_block{};
  // A file or directory holds record 15: its bytes are the system record,
  // which a mend of the bitmap would change.
  bool system_record_held = false;
};

// The check on a state that holds its volume and report: the system record,
// the table, the walk from the root. Whether it got to the walk, and
// whether it found no fault at all.
struct CheckVerdict {
  bool walked = false;
  bool sound = false;
};
CheckVerdict run_check(CheckState& st);

// True if every record of the block holding record `r` is unclaimed. Traces
// each record it tests in verbose mode.
bool check_block_free(CheckState& st, uint32_t r);

// Claims the ceil(length / 256) records from `start` on, testing each block
// when the file enters it. The number of records claimed, or 0 on a
// conflict (also for length 0).
int mark_contiguous_records(CheckState& st, uint32_t start, int32_t length);

// Claims the records of a BSD chain from `start` on. The number of records
// claimed, or 0 on a conflict (also for start 0, and for a chain that comes
// back to a record already claimed).
int mark_chained_records(CheckState& st, uint32_t start);

// Claims a BRD index record and the 16-record runs it lists. A positive
// count, or 0 on a conflict.
int mark_indexed_records(CheckState& st, uint32_t index);

// Checks the directory at record `dir` and everything below it. `parent` is
// none for the root; `path` is the directory's path text for messages ("" for
// the root, "/DIR1/SUB" below it). True if all passed; false after the fault
// has been reported.
bool check_directory(CheckState& st, uint32_t dir, std::optional<uint32_t> parent, const std::string& path);

}  // namespace tarnwick
