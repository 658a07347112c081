#include "operations/check.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "output/name_text.h"
#include "volume/path.h"
#include "volume/path_text.h"
#include "volume/walk.h"

namespace tarnwick {

namespace {

// Directory path texts are cut to this many bytes; they only serve messages.
constexpr size_t kPathTextMax = 255;

uint32_t table_size(const CheckState& st) {
  return static_cast<uint32_t>(st.sanity_check_record_status.size());
}

// True when records [first, first + count) all have a place in the table.
bool in_table(const CheckState& st, uint64_t first, uint64_t count) {
  return first <= table_size(st) && count <= table_size(st) - first;
}

// True when the block has a bitmap bit and it is clear.
bool free_in_bitmap(const CheckState& st, uint32_t block) {
  const int64_t bit = int64_t{block} - st.reserved_blocks;
  if (bit < 0 || bit >= st.data_blocks) return false;
  return (st.vol.sys8(sys::kBitmap + static_cast<uint32_t>(bit / 8)) & (1u << (bit % 8))) == 0;
}

// Claims records [first, first + count) for the file or directory being
// claimed.
void claim_run(CheckState& st, uint32_t first, uint32_t count) {
  std::fill_n(st.sanity_check_record_status.begin() + first, count, uint8_t{1});
  if (st.log) std::fill_n(st.log->holder_of.begin() + first, count, st.log->current);
  if (first <= kSystemRecord && kSystemRecord - first < count) st.system_record_held = true;
}
void claim(CheckState& st, uint32_t r) {
  st.sanity_check_record_status[r] = 1;
  if (st.log) st.log->holder_of[r] = st.log->current;
  if (r == kSystemRecord) st.system_record_held = true;
}

// The file or directory being claimed holds records of `block`: the block
// is looked up in the bitmap, once.
void note_block(CheckState& st, uint32_t block) {
  if (st.bitmap_block == block) return;
  st.bitmap_block = block;
  if (free_in_bitmap(st, block)) st.free_blocks.push_back(block);
}

// A file or directory starts claiming its records.
void begin_holder(CheckState& st, const std::string& path, uint32_t start, bool directory) {
  st.claim = {};
  st.free_blocks.clear();
  st.bitmap_block.reset();
  if (!st.log) return;
  st.log->current = static_cast<uint32_t>(st.log->holders.size());
  st.log->holders.push_back(Holder{path, start, directory});
}

// It has claimed them: notes the blocks it holds that the bitmap shows free.
void end_holder(CheckState& st, const std::string& path) {
  if (st.free_blocks.empty()) return;
  std::sort(st.free_blocks.begin(), st.free_blocks.end());
  st.free_blocks.erase(std::unique(st.free_blocks.begin(), st.free_blocks.end()), st.free_blocks.end());
  if (st.log) {
    WalkFault f{FaultKind::kFreeInBitmap, {}, path};
    f.blocks = st.free_blocks;
    st.log->faults.push_back(std::move(f));
  }
  st.free_in_bitmap.push_back(FreeInBitmap{path, st.free_blocks});
  st.free_blocks.clear();
}

// Says a fault: the check reports it and stops (false); an examination
// notes it and goes on (true).
bool fault(CheckState& st, WalkFault f) {
  f.line.of_check = true;
  if (st.log) {
    st.log->faults.push_back(std::move(f));
    return true;
  }
  st.rep.add(std::move(f.line));
  return false;
}

// The path text the messages show: "/" for the root.
std::string shown_path(const std::string& path) { return path.empty() ? "/" : path; }

// The parent's path text, '/' and the name (each as a C text, up to a
// 0x00 in it), cut to 255 bytes.
std::string subdirectory_path(const std::string& parent, const std::string& name) {
  const auto c_text = [](std::string_view s) { return s.substr(0, s.find('\0')); };
  std::string text(c_text(parent));
  text += '/';
  text += c_text(path_component(name));
  if (text.size() > kPathTextMax) text.resize(kPathTextMax);
  return text;
}

// Set bits among bitmap bits 0 to data_blocks - 1 (data_blocks <= 1992, so
// the bitmap stays inside the system record).
int32_t count_bitmap(const Volume& vol, int32_t data_blocks) {
  int32_t set = 0;
  for (int32_t i = 0; i < data_blocks; ++i) {
    const uint8_t byte = vol.sys8(sys::kBitmap + static_cast<uint32_t>(i / 8));
    if (byte & (1u << (i % 8))) ++set;
  }
  return set;
}

}  // namespace

bool check_block_free(CheckState& st, uint32_t r) {
  const uint32_t rpb = static_cast<uint32_t>(st.records_per_block);
  const uint32_t first = r - r % rpb;
  // The table holds whole blocks, so a record inside it has its block too.
  if (!in_table(st, first, rpb)) {
    st.claim = {ClaimFault::Kind::kOutside, r, 0};
    return false;
  }
  for (uint32_t q = first; q < first + rpb; ++q) {
    const uint8_t status = st.sanity_check_record_status[q];
    st.rep.trace(msg::kRecordStatusTrace, q, static_cast<int>(status));
    if (status != 0) {
      st.claim = {ClaimFault::Kind::kHeld, r, q};
      return false;
    }
  }
  return true;
}

namespace {

RecordRange table_range(const CheckState& st) { return RecordRange{0, table_size(st)}; }

// Claims records one by one as a contiguous file or a chain enters them: a
// block is tested when the file enters it, and a record of the current block
// that is claimed already (a chain coming back) is a conflict too.
class RecordClaimer {
 public:
  explicit RecordClaimer(CheckState& st) : st_(st) {}
  bool claim_record(uint32_t r) {
    const uint32_t b = r / static_cast<uint32_t>(st_.records_per_block);
    if (b != last_block_) {
      last_block_ = b;
      if (!check_block_free(st_, r)) return false;
      note_block(st_, b);
    } else if (st_.sanity_check_record_status[r] != 0) {
      st_.claim = {ClaimFault::Kind::kHeld, r, r};
      return false;
    }
    claim(st_, r);
    ++count_;
    return true;
  }
  // Claims what the walk yields; the count, or 0 on a conflict or a walk
  // that left the table or looped.
  int claim_walk(FileWalk walk, uint32_t start) {
    while (const std::optional<Piece> p = walk.next()) {
      for (uint32_t r = p->first; r < p->first + p->records; ++r) {
        if (!claim_record(r)) return 0;
      }
    }
    // A chain that comes back to one of its records is tested there like any
    // other record, so the traces show where it failed.
    if (walk.end() == WalkEnd::kLoop) claim_record(walk.loop_record());
    if (walk.end() == WalkEnd::kOutside) st_.claim = {ClaimFault::Kind::kOutside, walk.outside_record(), 0};
    if (walk.end() == WalkEnd::kComplete && count_ == 0) st_.claim = {ClaimFault::Kind::kEmpty, start, 0};
    return walk.end() == WalkEnd::kComplete ? count_ : 0;
  }

 private:
  CheckState& st_;
  std::optional<uint32_t> last_block_;
  int count_ = 0;
};

}  // namespace

int mark_contiguous_records(CheckState& st, uint32_t start, int32_t length) {
  const uint32_t bytes = static_cast<uint32_t>(std::max(length, 0));
  return RecordClaimer(st).claim_walk(FileWalk::contiguous(st.vol, table_range(st), start, bytes), start);
}

int mark_chained_records(CheckState& st, uint32_t start) {
  return RecordClaimer(st).claim_walk(FileWalk::chained(st.vol, table_range(st), start, std::nullopt), start);
}

int mark_indexed_records(CheckState& st, uint32_t index) {
  const uint32_t rpb = static_cast<uint32_t>(st.records_per_block);
  FileWalk walk = FileWalk::indexed(st.vol, table_range(st), index, std::nullopt);
  int count = 0;
  while (const std::optional<Piece> p = walk.next()) {
    if (p->index) {
      if (!check_block_free(st, p->first)) return 0;
      claim(st, p->first);
      note_block(st, p->first / rpb);
      ++count;
      continue;
    }
    // Every block the run enters is tested before any record of it is
    // claimed; with 16 or more records per block that is the block of its
    // first record.
    for (uint32_t j = 0; j < p->records; j += rpb) {
      if (!check_block_free(st, p->first + j)) return 0;
    }
    claim_run(st, p->first, p->records);
    for (uint32_t b = p->first / rpb; b <= (p->first + p->records - 1) / rpb; ++b) note_block(st, b);
    count += static_cast<int>(p->records) + 1;
  }
  if (walk.end() == WalkEnd::kOutside) st.claim = {ClaimFault::Kind::kOutside, walk.outside_record(), 0};
  return walk.end() == WalkEnd::kComplete ? count : 0;
}

namespace {

// A directory being walked: where it is, its parent, its path text for
// messages and the next entry to visit.
struct Frame {
  uint32_t dir;
  std::optional<uint32_t> parent;
  std::string path;
  int next_entry;
};

// The walk keeps its own stack of directories being visited rather than
// recursing, so no nesting can exhaust the machine stack. A subdirectory's
// records are claimed before it is entered, so each level holds a block of
// its own and the stack never grows past the number of blocks; an
// examination, which goes on past a subdirectory at fault, enters each
// directory once.
class DirectoryWalk {
 public:
  explicit DirectoryWalk(CheckState& st) : st_(st) {}

  // Tests a directory's header and pushes it to be visited. False when the
  // walk ends here.
  bool enter(uint32_t dir, std::optional<uint32_t> parent, std::string path) {
    const uint8_t state = st_.vol.u8(uint64_t{dir} * kRecordSize);
    if (state != kDirectoryNormal) {
      Line line = state == kDirectorySwapped ? make_line(Stream::kErr, msg::kSwappedDirectory)
                                             : make_line(Stream::kErr, msg::kBadDirectoryHeader);
      WalkFault f{FaultKind::kHeader, std::move(line), shown_path(path), dir};
      f.value = state;
      return fault(st_, std::move(f));
    }
    stack_.push_back(Frame{dir, parent, std::move(path), 1});
    return true;
  }

  // Visits every entry below the directories entered; false after the first
  // fault has been reported.
  bool run() {
    while (!stack_.empty()) {
      Frame& f = stack_.back();
      if (f.next_entry >= kEntriesPerDirectory) {
        stack_.pop_back();
        continue;
      }
      const EntryRef e = Volume::entry_at(f.dir, f.next_entry++);
      if (st_.vol.mode(e) == mode::kFree) continue;
      if (!check_entry(f, e)) return false;
    }
    return true;
  }

 private:
  // Claims the records of a file or subdirectory with `mark`. Its path
  // text, from `path_of`, is made only where it is said.
  template <typename PathOf, typename Mark>
  bool claim_entry(const PathOf& path_of, uint32_t start, bool directory, Mark mark) {
    begin_holder(st_, st_.log ? path_of() : std::string(), start, directory);
    const bool claimed = mark() != 0;
    if (!st_.free_blocks.empty()) end_holder(st_, path_of());
    return claimed;
  }

  // Records of `path` that could not be claimed.
  bool claim_fault(FaultKind kind, Line line, const std::string& path, uint32_t start) {
    WalkFault f{kind, std::move(line), path, start};
    f.claim = st_.claim;
    if (st_.log) f.holder = st_.log->current;
    return fault(st_, std::move(f));
  }
  // The check's line for a file whose records are at fault.
  static Line file_error(uint8_t m, const std::string& name) {
    if (m == mode::kBsd) return make_line(Stream::kErr, msg::kBsdFileError, name.c_str());
    if (m == mode::kBrd) return make_line(Stream::kErr, msg::kBrdFileError, name.c_str());
    return make_line(Stream::kErr, msg::kContiguousFileError, mode_label(m), name.c_str());
  }

  // Entering a subdirectory may move the stack, and `f` with it: nothing
  // reads `f` after enter() is called.
  bool check_entry(const Frame& f, EntryRef e) {
    const uint8_t m = st_.vol.mode(e);
    const std::string name = entry_name_text(st_.vol, e);
    st_.rep.trace(msg::kEntryNameTrace, name.c_str());
    const uint32_t start = st_.vol.start_record(e);
    if (m == mode::kDir) return check_subdirectory(f, name, start);
    const Layout layout = layout_of(m);
    if (layout == Layout::kNone) return true;  // modes the tool does not read claim nothing
    const auto path = [&] { return subdirectory_path(f.path, name); };
    const auto mark = [&] {
      switch (layout) {
        case Layout::kChained: return mark_chained_records(st_, start);
        case Layout::kIndexed: return mark_indexed_records(st_, start);
        default: return mark_contiguous_records(st_, start, st_.vol.file_size(e));
      }
    };
    if (claim_entry(path, start, false, mark)) return true;
    return claim_fault(FaultKind::kFile, file_error(m, name), path(), start);
  }

  // A "." or ".." entry that points elsewhere than `expected`.
  bool dot_fault(FaultKind kind, Line line, const Frame& f, uint32_t start, std::optional<uint32_t> expected) {
    WalkFault fault_seen{kind, std::move(line), shown_path(f.path), f.dir};
    fault_seen.value = start;
    fault_seen.expected = expected;
    return fault(st_, std::move(fault_seen));
  }

  bool check_subdirectory(const Frame& f, const std::string& name, uint32_t start) {
    // The name is compared as the text the messages show, up to a NUL.
    const std::string_view text = name.c_str();
    if (text == ".") {
      if (start == f.dir) return true;
      return dot_fault(FaultKind::kDot, make_line(Stream::kErr, msg::kDotNotSelf), f, start, f.dir);
    }
    if (text == "..") {
      // The root has no parent, so a ".." there always fails.
      if (f.parent && start == *f.parent) return true;
      return dot_fault(FaultKind::kDotDot, make_line(Stream::kErr, msg::kDotDotNotParent), f, start, f.parent);
    }
    std::string sub = subdirectory_path(f.path, name);
    const auto mark = [&] { return mark_contiguous_records(st_, start, static_cast<int32_t>(kDirectorySize)); };
    if (!claim_entry([&] { return sub; }, start, true, mark) &&
        !claim_fault(FaultKind::kSubdirectory, make_line(Stream::kErr, msg::kSubdirectoryError, sub.c_str()), sub,
                     start)) {
      return false;
    }
    if (st_.log && !first_visit(start)) return true;
    return enter(start, f.dir, std::move(sub));
  }

  // An examination enters a directory that lies inside the volume, once.
  bool first_visit(uint32_t dir) {
    std::vector<bool>& entered = st_.log->entered;
    if (!in_table(st_, dir, kDirectoryRecords) || entered[dir]) return false;
    entered[dir] = true;
    // Its entries would be read from the system record's bytes.
    if (dir <= kSystemRecord && kSystemRecord < dir + kDirectoryRecords) st_.system_record_held = true;
    return true;
  }

  CheckState& st_;
  std::vector<Frame> stack_;
};

}  // namespace

bool check_directory(CheckState& st, uint32_t dir, std::optional<uint32_t> parent, const std::string& path) {
  DirectoryWalk walk(st);
  return walk.enter(dir, parent, path) && walk.run();
}

namespace {

// The checks before the walk; false when the walk cannot go on.
bool check_system_record(CheckState& st) {
  const Volume& vol = st.vol;
  const int32_t rpb = vol.sys8(sys::kRecordsPerBlockMinusOne) + 1;
  if (rpb > kMaxRecordsPerBlock) {
    fault(st, WalkFault{FaultKind::kRecordsPerBlock, make_line(Stream::kErr, msg::kBadRecordsPerBlock, int{rpb})});
    return false;
  }
  // Commands such as I may have rewritten the system record since the load,
  // so the check looks at the geometry again.
  const Geometry g = vol.geometry();
  if (!geometry_fits(g, vol.record_count())) {
    fault(st, WalkFault{FaultKind::kSystemRecord, make_line(Stream::kErr, msg::kBadSystemRecord)});
    return false;
  }
  const int32_t counted = g.reserved_blocks + count_bitmap(vol, g.total_blocks - g.reserved_blocks);
  if (counted != g.used_blocks) {
    Line line = make_line(Stream::kErr, msg::kUsedBlocksMismatch, int{g.used_blocks}, int{counted});
    return fault(st, WalkFault{FaultKind::kUsedBlocks, std::move(line)});
  }
  return true;
}

// The table, and an examination's record of who holds each record; false
// when there is no room for them.
bool make_table(CheckState& st, size_t records) {
  try {
    st.sanity_check_record_status.assign(records, 0);
    if (st.log) {
      st.log->holder_of.assign(records, WalkLog::kReserved);
      st.log->entered.assign(records, false);
      st.log->holders = {Holder{"", 0, false}, Holder{"/", kRootDirectoryRecord, true}};
    }
  } catch (const std::bad_alloc&) {
    fault(st, WalkFault{FaultKind::kOutOfMemory, make_line(Stream::kErr, msg::kOutOfMemory)});
    return false;
  }
  return true;
}

// Claims what the walk never reaches: the reserved records, and the root
// directory itself, which makes a DIR entry that points back at the root a
// conflict instead of a loop.
void claim_before_walk(CheckState& st, const Geometry& g) {
  for (int32_t r = 0; r < g.reserved_records; ++r) st.sanity_check_record_status[static_cast<size_t>(r)] = 1;
  begin_holder(st, "/", kRootDirectoryRecord, true);
  if (st.log) st.log->current = WalkLog::kRoot;
  for (uint32_t r = kRootDirectoryRecord; r < kRootDirectoryRecord + kDirectoryRecords; ++r) {
    if (in_table(st, r, 1) && st.sanity_check_record_status[r] == 0) {
      claim(st, r);
      note_block(st, r / static_cast<uint32_t>(st.records_per_block));
    }
  }
  end_holder(st, "/");
  if (st.log && in_table(st, kRootDirectoryRecord, 1)) st.log->entered[kRootDirectoryRecord] = true;
}

}  // namespace

CheckVerdict run_check(CheckState& st) {
  CheckVerdict verdict;
  if (!check_system_record(st)) return verdict;
  const Geometry g = st.vol.geometry();
  st.records_per_block = g.records_per_block;
  st.reserved_blocks = g.reserved_blocks;
  st.data_blocks = g.total_blocks - g.reserved_blocks;
  if (!make_table(st, size_t(g.total_blocks) * size_t(g.records_per_block))) return verdict;
  claim_before_walk(st, g);
  verdict.walked = true;
  verdict.sound = check_directory(st, kRootDirectoryRecord, std::nullopt, "");
  return verdict;
}

CheckReport sanity_check(const Volume& vol, bool verbose) {
  CheckReport result{Report(verbose)};
  Report& rep = result.lines;
  CheckState st{vol, rep};
  const CheckVerdict verdict = run_check(st);
  result.walked = verdict.walked;
  if (!verdict.walked) return result;
  if (!verdict.sound) {
    Line failed = make_line(Stream::kOut, msg::kCheckFailed);
    failed.of_check = true;
    rep.add(std::move(failed));
  } else {
    rep.trace(msg::kCheckPassed);
    result.sound = true;
  }
  for (const FreeInBitmap& free : st.free_in_bitmap) {
    const unsigned first = free.blocks.front();
    const unsigned last = free.blocks.back();
    if (st.system_record_held) {
      rep.err(msg::kBlocksFree, free.path, first, last);
    } else {
      rep.err(msg::kBlocksFreeFixable, free.path, first, last);
    }
  }
  result.free_in_bitmap = std::move(st.free_in_bitmap);
  return result;
}

}  // namespace tarnwick
