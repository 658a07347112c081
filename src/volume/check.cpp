#include "volume/check.h"

#include <cstdio>
#include <new>
#include <string_view>

#include "volume/path.h"

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

// "%s/%s" of the parent's path text and the name, cut to 255 bytes.
std::string subdirectory_path(const std::string& parent, const std::string& name) {
  char text[kPathTextMax + 1];
  std::snprintf(text, sizeof text, msg::kSubdirectoryPath.bytes, parent.c_str(), name.c_str());
  return text;
}

// The system record describes a volume the table can follow: the reserved
// blocks lie inside the volume, the bitmap ends before byte 255, and every
// block has its records in the volume image. Commands such as I may have
// rewritten the system record since the load, so the check looks again.
bool geometry_fits_image(const Geometry& g, uint32_t image_records) {
  if (g.reserved_blocks > g.total_blocks) return false;
  if (static_cast<uint32_t>(g.total_blocks - g.reserved_blocks) > kMaxDataBlocks) return false;
  return uint64_t(g.total_blocks) * uint64_t(g.records_per_block) <= image_records;
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

int check_block_free(CheckState& st, uint32_t r) {
  const uint32_t rpb = static_cast<uint32_t>(st.records_per_block);
  const uint32_t first = r - r % rpb;
  // The table holds whole blocks, so a record inside it has its block too.
  if (!in_table(st, first, rpb)) return 0;
  for (uint32_t q = first; q < first + rpb; ++q) {
    const uint8_t status = st.sanity_check_record_status[q];
    st.con.trace(msg::kRecordStatusTrace, q, static_cast<int>(status));
    if (status != 0) return 0;
  }
  return 1;
}

int mark_contiguous_records(CheckState& st, uint32_t start, int32_t length) {
  const uint32_t rpb = static_cast<uint32_t>(st.records_per_block);
  std::optional<uint32_t> last_block;
  int count = 0;
  uint32_t r = start;
  for (int32_t n = length; n > 0; n -= static_cast<int32_t>(kRecordSize), ++r) {
    if (!in_table(st, r, 1)) return 0;
    const uint32_t b = r / rpb;
    if (b != last_block) {
      last_block = b;
      if (!check_block_free(st, r)) return 0;
    }
    claim(st, r);
    ++count;
  }
  return count;
}

int mark_chained_records(CheckState& st, uint32_t start) {
  const uint32_t rpb = static_cast<uint32_t>(st.records_per_block);
  std::optional<uint32_t> last_block;
  int count = 0;
  // Every step claims a record that was unclaimed, so the walk ends within
  // the table's size even when the links form a loop.
  for (uint32_t r = start; r != 0; r = st.vol.le16(uint64_t{r} * kRecordSize + kChainLink)) {
    if (!in_table(st, r, 1)) return 0;
    const uint32_t b = r / rpb;
    if (b != last_block) {
      last_block = b;
      if (!check_block_free(st, r)) return 0;
    } else if (st.sanity_check_record_status[r] != 0) {
      return 0;  // the chain came back to a record of the block it is in
    }
    claim(st, r);
    ++count;
  }
  return count;
}

int mark_indexed_records(CheckState& st, uint32_t index) {
  const uint32_t rpb = static_cast<uint32_t>(st.records_per_block);
  if (!in_table(st, index, 1) || !check_block_free(st, index)) return 0;
  claim(st, index);
  int count = 1;
  for (int k = 0; k < kIndexSlots; ++k) {
    const uint32_t e = st.vol.le16(uint64_t{index} * kRecordSize + 2u * static_cast<uint32_t>(k));
    if (e == 0) break;
    if (!in_table(st, e, kRunRecords)) return 0;
    // Every block the run enters is tested before any record of it is
    // claimed; with 16 or more records per block that is the block of e.
    for (uint32_t j = 0; j < kRunRecords; j += rpb) {
      if (!check_block_free(st, e + j)) return 0;
    }
    for (uint32_t j = 0; j < kRunRecords; ++j) {
      claim(st, e + j);
      ++count;
    }
    ++count;
  }
  return count;
}

int check_directory(CheckState& st, uint32_t dir, std::optional<uint32_t> parent, const std::string& path) {
  // The walk keeps its own stack of directories being visited rather than
  // recursing, so no nesting can exhaust the machine stack. A subdirectory's
  // records are claimed before it is entered, so each level holds a block of
  // its own and the stack never grows past the number of blocks.
  struct Frame {
    uint32_t dir;
    std::optional<uint32_t> parent;
    std::string path;
    int next_entry;
  };
  std::vector<Frame> stack;

  auto enter = [&](uint32_t d, std::optional<uint32_t> p, std::string t) {
    const uint8_t state = st.vol.u8(uint64_t{d} * kRecordSize);
    if (state == kDirectorySwapped) {
      st.con.err(msg::kSwappedDirectory);
      return false;
    }
    if (state != kDirectoryNormal) {
      st.con.err(msg::kBadDirectoryHeader);
      return false;
    }
    stack.push_back(Frame{d, p, std::move(t), 1});
    return true;
  };

  if (!enter(dir, parent, path)) return 0;
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next_entry >= kEntriesPerDirectory) {
      stack.pop_back();
      continue;
    }
    const EntryRef e = Volume::entry_at(f.dir, f.next_entry++);
    const uint8_t m = st.vol.mode(e);
    if (m == mode::kFree) continue;

    const std::string name = entry_name_text(st.vol, e);
    st.con.trace(msg::kEntryNameTrace, name.c_str());
    const uint32_t start = st.vol.start_record(e);
    switch (m) {
      case mode::kObj:
      case mode::kBtx:
        if (!mark_contiguous_records(st, start, st.vol.file_size(e))) {
          st.con.err(msg::kContiguousFileError, mode_label(m), name.c_str());
          return 0;
        }
        break;
      case mode::kBsd:
        if (!mark_chained_records(st, start)) {
          st.con.err(msg::kBsdFileError, name.c_str());
          return 0;
        }
        break;
      case mode::kBrd:
        if (!mark_indexed_records(st, start)) {
          st.con.err(msg::kBrdFileError, name.c_str());
          return 0;
        }
        break;
      case mode::kDir: {
        const std::string sub = subdirectory_path(f.path, name);
        // The name is compared as the text the messages show, up to a NUL.
        const std::string_view text = name.c_str();
        if (text == ".") {
          if (start != f.dir) {
            st.con.err(msg::kDotNotSelf);
            return 0;
          }
          break;
        }
        if (text == "..") {
          // The root has no parent, so a ".." there always fails.
          if (!f.parent || start != *f.parent) {
            st.con.err(msg::kDotDotNotParent);
            return 0;
          }
          break;
        }
        if (!mark_contiguous_records(st, start, static_cast<int32_t>(kDirectorySize))) {
          st.con.err(msg::kSubdirectoryError, sub.c_str());
          return 0;
        }
        // `f` is not used past this point: entering may move the stack.
        if (!enter(start, f.dir, sub)) return 0;
        break;
      }
      default:
        break;  // modes the tool does not read claim nothing
    }
  }
  return 1;
}

int sanity_check(Volume& vol, Console& con) {
  vol.current_directory = kRootDirectoryRecord;

  const int32_t rpb = vol.sys8(sys::kRecordsPerBlockMinusOne) + 1;
  vol.geometry.records_per_block = rpb;
  if (rpb > kMaxRecordsPerBlock) {
    con.err(msg::kBadRecordsPerBlock, static_cast<int>(rpb));
    return 0;
  }

  Geometry& g = vol.geometry;
  g.bytes_per_block = rpb * static_cast<int32_t>(kRecordSize);
  g.reserved_blocks = vol.sys8(sys::kReservedBlocks);
  g.reserved_records = g.reserved_blocks * rpb;
  g.used_blocks = vol.sys16(sys::kUsedBlocks);
  g.total_blocks = vol.sys16(sys::kTotalBlocks);
  if (!geometry_fits_image(g, vol.record_count())) {
    con.err(msg::kBadSystemRecord);
    return 0;
  }

  const int32_t counted = g.reserved_blocks + count_bitmap(vol, g.total_blocks - g.reserved_blocks);
  if (counted != g.used_blocks) {
    con.err(msg::kUsedBlocksMismatch, static_cast<int>(g.used_blocks), static_cast<int>(counted));
    return 0;
  }

  CheckState st{vol, con, rpb, {}};
  const size_t records = size_t(g.total_blocks) * size_t(rpb);
  try {
    st.sanity_check_record_status.assign(records, 0);
  } catch (const std::bad_alloc&) {
    con.err(msg::kOutOfMemory);
    return 0;
  }
  for (int32_t r = 0; r < g.reserved_records; ++r) claim(st, static_cast<uint32_t>(r));
  // The walk never claims the root directory itself; claiming it here makes
  // a DIR entry that points back at the root a conflict instead of a loop.
  for (uint32_t r = kRootDirectoryRecord; r < kRootDirectoryRecord + kDirectoryRecords; ++r) {
    if (in_table(st, r, 1)) claim(st, r);
  }

  if (!check_directory(st, kRootDirectoryRecord, std::nullopt, "")) {
    con.out(msg::kCheckFailed);
  } else {
    con.trace(msg::kCheckPassed);
  }
  return 1;
}

}  // namespace tarnwick
