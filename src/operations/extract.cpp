#include "operations/extract.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "codecs/mzt.h"
#include "codecs/text_file.h"
#include "operations/volume_report.h"
#include "output/name_text.h"
#include "volume/path.h"
#include "volume/path_text.h"
#include "volume/timestamp.h"
#include "volume/walk.h"

namespace tarnwick {

namespace {

// Bytes [offset, offset + length) of the volume that go to the host file.
struct Extent {
  uint64_t offset;
  uint64_t length;
};

// The extents a file's contents are made of, in file order, each inside
// the volume; nothing when the file reaches outside it or its chain loops.
// Extents that meet in the volume (runs of a BRD file stored one after the
// other) are joined, so each is read at once. A chain or an index that ends
// before the size is reached is no damage: the file simply ends there.
std::optional<std::vector<Extent>> plan_extraction(const Volume& vol, EntryRef e) {
  FileWalk walk = FileWalk::of_entry(vol, e, RecordRange{0, vol.record_count()}, true);
  std::vector<Extent> plan;
  while (const std::optional<Piece> p = walk.next()) {
    const uint64_t offset = uint64_t{p->first} * kRecordSize;
    if (p->bytes == 0) continue;
    if (!plan.empty() && plan.back().offset + plan.back().length == offset) {
      plan.back().length += p->bytes;
    } else {
      plan.push_back({offset, p->bytes});
    }
  }
  if (walk.end() != WalkEnd::kComplete) return std::nullopt;
  return plan;
}

// The MZT header of an OBJ or BTX entry: mode and the whole name field as
// they stand, then size, load and execution addresses, then zeros.
std::array<uint8_t, mzt::kHeaderSize> mzt_header(const Volume& vol, EntryRef e) {
  std::array<uint8_t, mzt::kHeaderSize> h{};
  h[mzt::kMode] = vol.mode(e);
  for (uint32_t i = 0; i < kNameFieldLength; ++i) h[mzt::kName + i] = vol.field8(e, entry::kName + i);
  for (uint32_t i = 0; i < mzt::kFieldsLength; ++i) h[mzt::kFields + i] = vol.field8(e, entry::kSize + i);
  return h;
}

bool write_all(File& out, uint64_t& at, const uint8_t* data, size_t n) {
  if (n == 0) return true;
  if (out.write_at(at, data, n) != n) return false;
  at += n;
  return true;
}


// The entry a resolution found, announced as R announces it; nothing after
// reporting why there is none.
std::optional<EntryRef> announce_target(Report& rep, const PathResult& target) {
  if (!target.name) {
    // A missing directory has been reported by the resolution itself.
    if (target.fault != PathFault::kDirectoryMissing) {
      rep.err(msg::kPathNotFound, as_volume_path(target.path));
    }
    return std::nullopt;
  }
  const std::string& name = target.last();
  rep.out(msg::kFileTrace, name);
  if (!target.entry) {
    rep.err(msg::kPathNotFound, as_volume_path(name));
    return std::nullopt;
  }
  rep.out(msg::kFileFound, name);
  return target.entry;
}

}  // namespace

Extraction gather_contents(const Volume& vol, Report& rep, const MemoryHint& hint, EntryRef e,
                           const std::string& name, std::vector<uint8_t>& bytes, bool with_header) {
  const uint8_t file_mode = vol.mode(e);
  if (file_mode == mode::kDir) {
    rep.err(msg::kIsDirectory, name);
    return Extraction::kRefused;
  }
  if (layout_of(file_mode) == Layout::kNone) {
    rep.err(msg::kUnsupportedMode, static_cast<unsigned>(file_mode));
    return Extraction::kRefused;
  }
  const std::optional<std::vector<Extent>> plan = plan_extraction(vol, e);
  if (!plan) {
    rep.err(msg::kDataDamaged, path_component(name));
    return Extraction::kRefused;
  }

  // The whole host file is made in `bytes` before its first byte goes out:
  // bytes that could not be read from the image file are not written. The
  // volume keeps none of them.
  const bool mzt = with_header && (file_mode == mode::kObj || file_mode == mode::kBtx);
  uint64_t size = mzt ? mzt::kHeaderSize : 0;
  for (const Extent& s : *plan) size += s.length;
  resize_prepared(bytes, static_cast<size_t>(size), hint);
  uint64_t at = 0;
  if (mzt) {
    const std::array<uint8_t, mzt::kHeaderSize> header = mzt_header(vol, e);
    std::copy(header.begin(), header.end(), bytes.begin());
    at = header.size();
  }
  for (const Extent& s : *plan) {
    if (!vol.read(s.offset, std::span<uint8_t>(bytes).subspan(static_cast<size_t>(at), static_cast<size_t>(s.length)))) {
      return Extraction::kUnreadable;
    }
    at += s.length;
  }
  return Extraction::kWritten;
}

Extraction extract_contents(const Volume& vol, Report& rep, const MemoryHint& hint, EntryRef e,
                            const std::string& name, File& out, std::vector<uint8_t>& bytes) {
  const Extraction gathered = gather_contents(vol, rep, hint, e, name, bytes, true);
  if (gathered != Extraction::kWritten) return gathered;
  uint64_t at = 0;
  return write_all(out, at, bytes.data(), bytes.size()) ? Extraction::kWritten : Extraction::kWriteFailed;
}

std::optional<PathResult> find_file(const Volume& vol, Report& rep, std::string_view path) {
  PathResult target = resolve_path(vol, rep, path);
  trace_lookup(rep, target);
  if (!target.entry) {
    rep.err(msg::kPathNotFound, as_volume_path(path));
    return std::nullopt;
  }
  return target;
}

namespace {

// The text -b or -t makes of the file found, into `out`; nothing changed
// there after saying why there is none.
void read_as_text(const Volume& vol, Report& rep, const MemoryHint& hint, EntryRef e, const PathResult& found,
                  TextKinds kinds, TextForm form, FileOut& out) {
  const std::string& path = found.path;
  out.as = as_text_for(vol.mode(e), kinds);
  if (out.as == AsText::kNone) {
    if (kinds.text) {
      rep.err(msg::kNotText, path);
    } else {
      rep.err(msg::kNotBasic, path);
    }
    return;
  }
  std::vector<uint8_t> bytes;
  const Extraction gathered = gather_contents(vol, rep, hint, e, found.last(), bytes, false);
  if (gathered != Extraction::kWritten) {
    out.result = gathered;
    return;
  }
  const std::optional<std::string> text = file_as_text(out.as, bytes, form);
  if (!text && out.as == AsText::kBasic) rep.err(msg::kNotBasicProgram, as_volume_path(path));
  if (!text && out.as == AsText::kText) rep.err(msg::kNotText, path);
  if (!text) return;
  out.bytes.assign(text->begin(), text->end());
  out.result = Extraction::kWritten;
}

}  // namespace

FileOut read_found_file(const Volume& vol, Report& rep, const MemoryHint& hint, const PathResult& found,
                        TextKinds kinds, TextForm form, bool with_header) {
  FileOut out;
  const std::optional<EntryRef> e = announce_target(rep, found);
  if (!e) return out;
  out.name = found.last();
  out.mode = vol.mode(*e);
  // The time stamp travels with the file, whatever its mode turns out to be.
  out.time = decode_time_stamp(vol.time_stamp(*e));
  if (kinds.any()) {
    read_as_text(vol, rep, hint, *e, found, kinds, form, out);
  } else {
    out.result = gather_contents(vol, rep, hint, *e, found.last(), out.bytes, with_header);
  }
  return out;
}

namespace {

// Where R's bytes go: standard output ("-", or a name of the file it is),
// opened at once, or HOSTFILE, which is replaced once the bytes are
// complete (Host::replace_file), so that a failed or refused R leaves it as
// it was.
struct Output {
  std::unique_ptr<File> standard;
};

// R's run on the host: where its output goes, the host file's name, the
// file's time.
struct HostOut {
  Report& rep;
  Host& host;
  const std::string& host_file;
  HostTime time{};
};

// HOSTFILE's output; nothing after saying why R cannot write there: were it
// the image file itself, the volume would be lost.
std::optional<Output> open_output(HostOut& r, const std::string& image_name) {
  const HostPath path = HostPath::from_argument(r.host_file);
  const HostPath image_path = HostPath::from_argument(image_name);
  const bool to_stdout = r.host.writes_standard_output(path);
  if (to_stdout ? r.host.is_standard_output(image_path) : r.host.same_file(path, image_path)) {
    r.rep.err(msg::kCannotWrite, as_host_text(r.host_file));
    return std::nullopt;
  }
  Output out;
  if (!to_stdout) return out;
  std::string reason;
  out.standard = r.host.open_standard(OpenMode::kCreate, &reason);
  if (out.standard) return out;
  r.rep.err(msg::kStdoutWriteFailed, reason);
  return std::nullopt;
}

// Gives HOSTFILE the host time. A time stamp that names no date leaves the
// file's time alone, and a FIFO or a device has no time of its own.
void set_host_time(HostOut& r) {
  const HostPath path = HostPath::from_argument(r.host_file);
  if (host_time_is_valid(r.time) && !r.host.set_time(path, r.time) && r.host.path_kind(path) == PathKind::kFile) {
    r.rep.err(msg::kCannotSetTime, as_host_text(r.host_file));
  }
}

// Makes HOSTFILE hold `bytes`, with the host time unless it is standard
// output. A full disk must not pass for a good extraction: the writes, the
// sync and the close all count.
void deliver(HostOut& r, Output& out, std::span<const uint8_t> bytes) {
  std::string reason;
  bool written = false;
  if (out.standard) {
    uint64_t at = 0;
    written = write_all(*out.standard, at, bytes.data(), bytes.size()) && out.standard->sync();
    written = out.standard->close() && written;
    if (!written) reason = out.standard->failure_text();
  } else {
    written = r.host.replace_file(HostPath::from_argument(r.host_file), bytes, &reason);
  }
  if (!written) {
    report_cannot_write(r.rep, as_host_text(r.host_file), reason);
  } else if (!out.standard) {
    set_host_time(r);
  }
}

// After an entry was refused: where there was no HOSTFILE, an empty one is
// made with the entry's time. A file that stands there, or a link to one,
// is left alone; standard output, a FIFO or a device is opened and closed,
// its reader seeing the end.
void leave_empty_file(HostOut& r, Output& out) {
  const std::string& host_file = r.host_file;
  if (out.standard) {
    if (!out.standard->close()) report_cannot_write(r.rep, as_host_text(host_file), out.standard->failure_text());
    return;
  }
  const HostPath path = HostPath::from_argument(host_file);
  PathKind found = PathKind::kMissing;
  if (const std::unique_ptr<File> existing = r.host.open_regular(path, found)) existing->close();
  if (found == PathKind::kFile || found == PathKind::kFolder || r.host.path_kind(path) == PathKind::kFile) return;
  std::string reason;
  const std::unique_ptr<File> made =
      found == PathKind::kMissing ? r.host.create_file(path, &reason) : r.host.open(path, OpenMode::kCreate, &reason);
  // Made meanwhile by someone else: theirs.
  if (!made && found == PathKind::kMissing && r.host.path_kind(path) != PathKind::kMissing) return;
  if (!made || !made->close()) {
    report_cannot_write(r.rep, as_host_text(host_file), made ? made->failure_text() : reason);
  } else if (found == PathKind::kMissing) {
    set_host_time(r);
  }
}

}  // namespace

void extract_to_host(const Volume& vol, Report& rep, Host& host, const std::string& image_name,
                     std::string_view path, const std::string& host_file, TextKinds kinds, TextForm form) {
  const MemoryHint hint = [&host](void* p, size_t n) { host.prepare_for_writing(p, n); };
  const std::optional<PathResult> found = find_file(vol, rep, path);
  if (!found) return;
  HostOut r{rep, host, host_file};
  // The whole host file is made before HOSTFILE is touched: a file that
  // is refused or cannot be read or converted changes nothing there.
  if (kinds.any()) {
    FileOut file = read_found_file(vol, rep, hint, *found, kinds, form);
    r.time = file.time;
    std::optional<Output> out = file.result == Extraction::kWritten ? open_output(r, image_name) : std::nullopt;
    if (out) deliver(r, *out, file.bytes);
    return;
  }
  std::optional<Output> out = open_output(r, image_name);
  if (!out) return;
  FileOut file = read_found_file(vol, rep, hint, *found, kinds, form);
  r.time = file.time;
  switch (file.result) {
    case Extraction::kWritten: deliver(r, *out, file.bytes); break;
    case Extraction::kRefused: leave_empty_file(r, *out); break;
    case Extraction::kWriteFailed:
    case Extraction::kUnreadable: break;
  }
}

}  // namespace tarnwick
