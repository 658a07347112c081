// The consistency check ("Sanity check"): reports damage that would make
// commands unsafe. It only reads the volume and gives its lines; the first
// fault found ends it.
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
};

// Checks the volume as its system record describes it now.
CheckReport sanity_check(const Volume& vol, bool verbose = false);

// What one check works with. The table lives for one check only.
struct CheckState {
  const Volume& vol;
  Report& rep;
  int32_t records_per_block = 1;
  // sanity_check_record_status[r]: 0 = record r unclaimed, 1 = claimed.
  // total blocks x records per block entries; a record at or beyond its end
  // is outside the volume and can never be claimed.
  std::vector<uint8_t> sanity_check_record_status;
};

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
