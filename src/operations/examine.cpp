#include "operations/examine.h"

#include <algorithm>
#include <string_view>

#include "volume/edit.h"

namespace tarnwick {

namespace {

// A line that explains, on the error stream beside the check's own.
template <Severity S, typename... A>
Line note(const Message<S, A...>& m, typename A::Type... args) {
  return make_line(Stream::kErr, m, args...);
}

// What the reasons are told from: the walk's log, its table and the
// volume's shape.
struct Walked {
  const CheckState& st;
  const WalkLog& log;
  uint32_t rpb;
  uint32_t reserved_records;
  uint32_t table_records;
};

RecordSpan block_span(const Walked& w, uint32_t block) { return {block * w.rpb, block * w.rpb + w.rpb - 1}; }

// Why a file's or subdirectory's records could not be claimed, the records
// at fault, and whether the data lies outside the data blocks: then D can
// remove the entry without freeing anything another file holds.
struct Why {
  Line line;
  std::optional<RecordSpan> records;
  bool data_outside = false;
};

// A block it enters holds a record claimed already.
Why held_why(const Walked& w, const WalkFault& f) {
  const ClaimFault& c = f.claim;
  const uint32_t h = w.log.holder_of[c.met];
  const Holder& other = w.log.holders[h];
  const std::string_view path = f.path;
  const unsigned r = c.record;
  const bool at_start = c.record == f.start;
  const bool root = f.start == kRootDirectoryRecord;
  if (f.kind == FaultKind::kSubdirectory && (root || (other.directory && other.start == f.start))) {
    return {note(msg::kWhyReachedTwice, path, root ? "/" : other.path, unsigned{f.start}),
            RecordSpan{f.start, f.start + kDirectoryRecords - 1}};
  }
  if (r < kMinimumRecords && (h == WalkLog::kReserved || h == WalkLog::kRoot)) {
    Line line = at_start ? note(msg::kWhyStartInSystem, path, r) : note(msg::kWhyRecordInSystem, path, r);
    return {std::move(line), RecordSpan{r, r}, h == WalkLog::kReserved};
  }
  if (h == WalkLog::kReserved) {
    const unsigned last = w.reserved_records - 1;
    Line line = at_start ? note(msg::kWhyStartInReserved, path, r, last)
                         : note(msg::kWhyRecordInReserved, path, r, last);
    return {std::move(line), RecordSpan{r, r}, true};
  }
  const unsigned block = r / w.rpb;
  if (h == f.holder) return {note(msg::kWhyUsedTwice, path, block), block_span(w, block)};
  return {note(msg::kWhyShared, path, block, other.path), block_span(w, block)};
}

Why claim_why(const Walked& w, const WalkFault& f) {
  const ClaimFault& c = f.claim;
  const std::string_view path = f.path;
  const unsigned r = c.record;
  switch (c.kind) {
    case ClaimFault::Kind::kHeld:
      return held_why(w, f);
    case ClaimFault::Kind::kOutside: {
      const unsigned records = w.table_records;
      Line line = r == f.start ? note(msg::kWhyStartOutside, path, r, records)
                               : note(msg::kWhyRecordOutside, path, r, records);
      return {std::move(line), RecordSpan{r, r}, true};
    }
    default:
      if (f.start == 0) return {note(msg::kWhyNoStart, path), std::nullopt, true};
      return {note(msg::kWhySizeZero, path), RecordSpan{f.start, f.start}};
  }
}

// Blocks of the volume of which some record is claimed, the reserved ones
// included.
unsigned held_blocks(const Walked& w) {
  const std::vector<uint8_t>& table = w.st.sanity_check_record_status;
  unsigned held = 0;
  for (size_t first = 0; first < table.size(); first += w.rpb) {
    const auto block = table.begin() + static_cast<std::ptrdiff_t>(first);
    held += std::find(block, block + w.rpb, uint8_t{1}) != block + w.rpb ? 1 : 0;
  }
  return held;
}

// Why the system record does not fit the volume.
Line geometry_why(const Volume& vol) {
  const Geometry g = vol.geometry();
  const unsigned reserved = static_cast<unsigned>(g.reserved_blocks);
  const unsigned total = static_cast<unsigned>(g.total_blocks);
  if (reserved > total) return note(msg::kWhyReservedPastTotal, reserved, total);
  if (total - reserved > kMaxDataBlocks) return note(msg::kWhyBitmapTooLong, total - reserved, kMaxDataBlocks);
  return note(msg::kWhyVolumeTooSmall, total, static_cast<unsigned>(g.records_per_block), vol.record_count());
}

// The faults found before the walk.
void tell_volume_fault(const Walked& w, Finding& out) {
  const Volume& vol = w.st.vol;
  const Geometry g = vol.geometry();
  switch (out.kind) {
    case FaultKind::kRecordsPerBlock:
      out.reason = note(msg::kWhyRecordsPerBlock, unsigned{vol.sys8(sys::kRecordsPerBlockMinusOne)});
      break;
    case FaultKind::kSystemRecord:
      out.reason = geometry_why(vol);
      break;
    case FaultKind::kUsedBlocks:
      out.reason = note(msg::kWhyUsedBlocks, held_blocks(w), static_cast<unsigned>(g.reserved_blocks));
      out.fixable = !w.st.system_record_held;
      break;
    default:  // out of memory: one byte a record
      out.reason = note(msg::kWhyOutOfMemory, static_cast<unsigned>(g.total_blocks * g.records_per_block));
      break;
  }
}

// A "." or ".." entry pointing elsewhere.
void tell_dot_fault(const WalkFault& f, Finding& out) {
  const unsigned to = f.value;
  if (f.kind == FaultKind::kDot) {
    out.reason = note(msg::kWhyDotNotSelf, f.path, to, unsigned{f.start});
  } else if (f.expected) {
    out.reason = note(msg::kWhyDotDotNotParent, f.path, to, unsigned{*f.expected});
  } else {
    out.reason = note(msg::kWhyRootDotDot, to);
  }
  out.records = RecordSpan{to, to};
}

// Blocks held that the bitmap shows free: mended unless the system record,
// where the bitmap lies, is a file's or directory's data.
void tell_free_blocks(const Walked& w, const WalkFault& f, Finding& out) {
  const unsigned first = f.blocks.front();
  const unsigned last = f.blocks.back();
  out.fixable = !w.st.system_record_held;
  out.message = out.fixable ? note(msg::kBlocksFreeFixable, f.path, first, last)
                            : note(msg::kBlocksFree, f.path, first, last);
  out.reason = note(msg::kWhyBlocksFree, f.path, static_cast<unsigned>(f.blocks.size()));
  out.records = RecordSpan{block_span(w, first).first, block_span(w, last).last};
  out.blocks = f.blocks;
  if (!out.fixable) out.advice = note(msg::kCannotMendBitmap);
}

Finding finding_of(const Walked& w, const WalkFault& f) {
  Finding out{f.kind, f.line, {}};
  if (!f.path.empty()) out.path = f.path;
  switch (f.kind) {
    case FaultKind::kHeader:
      out.reason = note(msg::kWhyHeader, f.path, unsigned{f.start}, unsigned{f.value});
      out.records = RecordSpan{f.start, f.start};
      break;
    case FaultKind::kFile:
    case FaultKind::kSubdirectory: {
      Why why = claim_why(w, f);
      out.reason = std::move(why.line);
      out.records = why.records;
      if (why.data_outside && f.kind == FaultKind::kFile) out.advice = note(msg::kAdviseDelete);
      break;
    }
    case FaultKind::kDot:
    case FaultKind::kDotDot:
      tell_dot_fault(f, out);
      break;
    case FaultKind::kFreeInBitmap:
      tell_free_blocks(w, f, out);
      break;
    default:
      tell_volume_fault(w, out);
      break;
  }
  return out;
}

// Marks the finding's blocks used; the blocks marked.
uint32_t mark_blocks(VolumeEdit& edit, const Finding& f, uint32_t rpb, std::vector<Mend>& mends) {
  std::vector<uint32_t> marked;
  for (const uint32_t block : f.blocks) {
    if (edit.mark_used(block)) marked.push_back(block);
  }
  if (marked.empty()) return 0;
  const unsigned first = marked.front();
  const unsigned last = marked.back();
  mends.push_back(Mend{f.path, RecordSpan{first * rpb, last * rpb + rpb - 1},
                       make_line(Stream::kOut, msg::kBlocksMarked, f.path.value_or(""), first, last)});
  return static_cast<uint32_t>(marked.size());
}

}  // namespace

Examination examine_volume(const Volume& vol) {
  Report quiet;
  CheckState st{vol, quiet};
  WalkLog log;
  st.log = &log;
  run_check(st);
  const uint32_t rpb = static_cast<uint32_t>(std::max(st.records_per_block, 1));
  const Walked w{st, log, rpb, static_cast<uint32_t>(std::max(st.reserved_blocks, 0)) * rpb,
                 static_cast<uint32_t>(st.sanity_check_record_status.size())};
  Examination exam;
  exam.findings.reserve(log.faults.size());
  for (const WalkFault& f : log.faults) exam.findings.push_back(finding_of(w, f));
  return exam;
}

void report_examination(const Examination& exam, bool advise, Report& rep) {
  for (const Finding& f : exam.findings) {
    rep.add(f.message);
    rep.add(f.reason);
    if (advise && f.advice) rep.add(*f.advice);
  }
  if (exam.sound()) {
    rep.out(msg::kExamineClean);
  } else {
    rep.out(msg::kExamineProblems, static_cast<unsigned>(exam.findings.size()));
  }
}

Repair repair_volume(Volume& vol) {
  Examination before = examine_volume(vol);
  Repair repair;
  VolumeEdit edit(vol);
  const uint32_t rpb = static_cast<uint32_t>(std::max(vol.geometry().records_per_block, 1));
  uint32_t marked = 0;
  bool recount = false;
  for (const Finding& f : before.findings) {
    if (!f.fixable) continue;
    recount = true;
    if (f.kind == FaultKind::kFreeInBitmap) marked += mark_blocks(edit, f, rpb, repair.mends);
  }
  const unsigned was = vol.sys16(sys::kUsedBlocks);
  if (recount) edit.recount_used_blocks();
  const unsigned now = vol.sys16(sys::kUsedBlocks);
  // A count that moved with the blocks marked was right, and so was one
  // that stayed (the bitmap alone had lost the blocks); any other is a
  // mend of its own.
  if (now != was && now != was + marked) {
    repair.mends.push_back(Mend{std::nullopt, std::nullopt, make_line(Stream::kOut, msg::kUsedBlocksSet, was, now)});
  }
  repair.after = repair.changed() ? examine_volume(vol) : std::move(before);
  return repair;
}

void report_repair(const Repair& repair, Report& rep) {
  for (const Mend& m : repair.mends) rep.add(m.line);
  report_examination(repair.after, true, rep);
}

}  // namespace tarnwick
