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

void claim(CheckState& st, uint32_t r) { st.sanity_check_record_status[r] = 1; }

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
  if (!in_table(st, first, rpb)) return false;
  for (uint32_t q = first; q < first + rpb; ++q) {
    const uint8_t status = st.sanity_check_record_status[q];
    st.rep.trace(msg::kRecordStatusTrace, q, static_cast<int>(status));
    if (status != 0) return false;
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
    } else if (st_.sanity_check_record_status[r] != 0) {
      return false;
    }
    claim(st_, r);
    ++count_;
    return true;
  }
  // Claims what the walk yields; the count, or 0 on a conflict or a walk
  // that left the table or looped.
  int claim_walk(FileWalk walk) {
    while (const std::optional<Piece> p = walk.next()) {
      for (uint32_t r = p->first; r < p->first + p->records; ++r) {
        if (!claim_record(r)) return 0;
      }
    }
    // A chain that comes back to one of its records is tested there like any
    // other record, so the traces show where it failed.
    if (walk.end() == WalkEnd::kLoop) claim_record(walk.loop_record());
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
  return RecordClaimer(st).claim_walk(FileWalk::contiguous(st.vol, table_range(st), start, bytes));
}

int mark_chained_records(CheckState& st, uint32_t start) {
  return RecordClaimer(st).claim_walk(FileWalk::chained(st.vol, table_range(st), start, std::nullopt));
}

int mark_indexed_records(CheckState& st, uint32_t index) {
  const uint32_t rpb = static_cast<uint32_t>(st.records_per_block);
  FileWalk walk = FileWalk::indexed(st.vol, table_range(st), index, std::nullopt);
  int count = 0;
  while (const std::optional<Piece> p = walk.next()) {
    if (p->index) {
      if (!check_block_free(st, p->first)) return 0;
      claim(st, p->first);
      ++count;
      continue;
    }
    // Every block the run enters is tested before any record of it is
    // claimed; with 16 or more records per block that is the block of its
    // first record.
    for (uint32_t j = 0; j < p->records; j += rpb) {
      if (!check_block_free(st, p->first + j)) return 0;
    }
    for (uint32_t j = 0; j < p->records; ++j) claim(st, p->first + j);
    count += static_cast<int>(p->records) + 1;
  }
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
// its own and the stack never grows past the number of blocks.
class DirectoryWalk {
 public:
  explicit DirectoryWalk(CheckState& st) : st_(st) {}

  // Tests a directory's header and pushes it to be visited.
  bool enter(uint32_t dir, std::optional<uint32_t> parent, std::string path) {
    const uint8_t state = st_.vol.u8(uint64_t{dir} * kRecordSize);
    if (state == kDirectorySwapped) {
      st_.rep.err(msg::kSwappedDirectory);
      return false;
    }
    if (state != kDirectoryNormal) {
      st_.rep.err(msg::kBadDirectoryHeader);
      return false;
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
  // Entering a subdirectory may move the stack, and `f` with it: nothing
  // reads `f` after enter() is called.
  bool check_entry(const Frame& f, EntryRef e) {
    const uint8_t m = st_.vol.mode(e);
    const std::string name = entry_name_text(st_.vol, e);
    st_.rep.trace(msg::kEntryNameTrace, name.c_str());
    const uint32_t start = st_.vol.start_record(e);
    switch (m) {
      case mode::kObj:
      case mode::kBtx:
        if (mark_contiguous_records(st_, start, st_.vol.file_size(e))) return true;
        st_.rep.err(msg::kContiguousFileError, mode_label(m), name.c_str());
        return false;
      case mode::kBsd:
        if (mark_chained_records(st_, start)) return true;
        st_.rep.err(msg::kBsdFileError, name.c_str());
        return false;
      case mode::kBrd:
        if (mark_indexed_records(st_, start)) return true;
        st_.rep.err(msg::kBrdFileError, name.c_str());
        return false;
      case mode::kDir:
        return check_subdirectory(f, name, start);
      default:
        return true;  // modes the tool does not read claim nothing
    }
  }

  bool check_subdirectory(const Frame& f, const std::string& name, uint32_t start) {
    // The name is compared as the text the messages show, up to a NUL.
    const std::string_view text = name.c_str();
    if (text == ".") {
      if (start == f.dir) return true;
      st_.rep.err(msg::kDotNotSelf);
      return false;
    }
    if (text == "..") {
      // The root has no parent, so a ".." there always fails.
      if (f.parent && start == *f.parent) return true;
      st_.rep.err(msg::kDotDotNotParent);
      return false;
    }
    std::string sub = subdirectory_path(f.path, name);
    if (!mark_contiguous_records(st_, start, static_cast<int32_t>(kDirectorySize))) {
      st_.rep.err(msg::kSubdirectoryError, sub.c_str());
      return false;
    }
    return enter(start, f.dir, std::move(sub));
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

// The checks before the walk; false after saying the first fault.
bool check_system_record(const Volume& vol, Report& rep) {
  const int32_t rpb = vol.sys8(sys::kRecordsPerBlockMinusOne) + 1;
  if (rpb > kMaxRecordsPerBlock) {
    rep.err(msg::kBadRecordsPerBlock, static_cast<int>(rpb));
    return false;
  }
  // Commands such as I may have rewritten the system record since the load,
  // so the check looks at the geometry again.
  const Geometry g = vol.geometry();
  if (!geometry_fits(g, vol.record_count())) {
    rep.err(msg::kBadSystemRecord);
    return false;
  }
  const int32_t counted = g.reserved_blocks + count_bitmap(vol, g.total_blocks - g.reserved_blocks);
  if (counted != g.used_blocks) {
    rep.err(msg::kUsedBlocksMismatch, static_cast<int>(g.used_blocks), static_cast<int>(counted));
    return false;
  }
  return true;
}

}  // namespace

CheckReport sanity_check(const Volume& vol, bool verbose) {
  CheckReport result{Report(verbose)};
  Report& rep = result.lines;
  if (!check_system_record(vol, rep)) return result;
  const Geometry g = vol.geometry();
  const int32_t rpb = g.records_per_block;
  CheckState st{vol, rep, rpb, {}};
  const size_t records = size_t(g.total_blocks) * size_t(rpb);
  try {
    st.sanity_check_record_status.assign(records, 0);
  } catch (const std::bad_alloc&) {
    rep.err(msg::kOutOfMemory);
    return result;
  }
  for (int32_t r = 0; r < g.reserved_records; ++r) claim(st, static_cast<uint32_t>(r));
  // The walk never claims the root directory itself; claiming it here makes
  // a DIR entry that points back at the root a conflict instead of a loop.
  for (uint32_t r = kRootDirectoryRecord; r < kRootDirectoryRecord + kDirectoryRecords; ++r) {
    if (in_table(st, r, 1)) claim(st, r);
  }
  result.walked = true;
  if (!check_directory(st, kRootDirectoryRecord, std::nullopt, "")) {
    rep.out(msg::kCheckFailed);
  } else {
    rep.trace(msg::kCheckPassed);
    result.sound = true;
  }
  return result;
}

}  // namespace tarnwick
