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
std::optional<EntryRef> announce_target(Console& con, const PathResult& target) {
  if (!target.name) {
    // A missing directory has been reported by the resolution itself.
    if (target.fault != PathFault::kDirectoryMissing) {
      con.err(msg::kPathNotFound, as_volume_path(target.path));
    }
    return std::nullopt;
  }
  const std::string& name = target.last();
  con.out(msg::kFileTrace, name);
  if (!target.entry) {
    con.err(msg::kPathNotFound, as_volume_path(name));
    return std::nullopt;
  }
  con.out(msg::kFileFound, name);
  return target.entry;
}

}  // namespace

Extraction gather_contents(const Volume& vol, Console& con, Host& host, EntryRef e, const std::string& name,
                           std::vector<uint8_t>& bytes, bool with_header) {
  const uint8_t file_mode = vol.mode(e);
  if (file_mode == mode::kDir) {
    con.err(msg::kIsDirectory, name);
    return Extraction::kRefused;
  }
  if (layout_of(file_mode) == Layout::kNone) {
    con.err(msg::kUnsupportedMode, static_cast<unsigned>(file_mode));
    return Extraction::kRefused;
  }
  const std::optional<std::vector<Extent>> plan = plan_extraction(vol, e);
  if (!plan) {
    con.err(msg::kDataDamaged, path_component(name));
    return Extraction::kRefused;
  }

  // The whole host file is made in `bytes` before its first byte goes out:
  // bytes that could not be read from the image file are not written. The
  // volume keeps none of them.
  const bool mzt = with_header && (file_mode == mode::kObj || file_mode == mode::kBtx);
  uint64_t size = mzt ? mzt::kHeaderSize : 0;
  for (const Extent& s : *plan) size += s.length;
  host.resize_buffer(bytes, static_cast<size_t>(size));
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

Extraction extract_contents(const Volume& vol, Console& con, Host& host, EntryRef e, const std::string& name,
                            File& out, std::vector<uint8_t>& bytes) {
  const Extraction gathered = gather_contents(vol, con, host, e, name, bytes, true);
  if (gathered != Extraction::kWritten) return gathered;
  uint64_t at = 0;
  return write_all(out, at, bytes.data(), bytes.size()) ? Extraction::kWritten : Extraction::kWriteFailed;
}

namespace {

// Where R's bytes go: standard output ("-", or a name of the file it is),
// opened at once, or HOSTFILE, which is replaced once the bytes are
// complete (Host::replace_file), so that a failed or refused R leaves it as
// it was.
struct Output {
  std::unique_ptr<File> standard;
};

// HOSTFILE's output; nothing after saying why R cannot write there: were it
// the image file itself, the volume would be lost.
std::optional<Output> open_output(RunContext& ctx, const std::string& host_file) {
  Console& con = ctx.con;
  const HostPath path = HostPath::from_argument(host_file);
  const HostPath image_path = HostPath::from_argument(ctx.image_name);
  const bool to_stdout = ctx.host.writes_standard_output(path);
  if (to_stdout ? ctx.host.is_standard_output(image_path) : ctx.host.same_file(path, image_path)) {
    con.err(msg::kCannotWrite, as_host_text(host_file));
    return std::nullopt;
  }
  Output out;
  if (!to_stdout) return out;
  std::string reason;
  out.standard = ctx.host.open_standard(OpenMode::kCreate, &reason);
  if (out.standard) return out;
  con.err(msg::kStdoutWriteFailed, reason);
  return std::nullopt;
}

// Gives HOSTFILE the host time. A time stamp that names no date leaves the
// file's time alone, and a FIFO or a device has no time of its own.
void set_host_time(RunContext& ctx, const std::string& host_file) {
  const HostPath path = HostPath::from_argument(host_file);
  if (host_time_is_valid(ctx.host_time) && !ctx.host.set_time(path, ctx.host_time) &&
      ctx.host.path_kind(path) == PathKind::kFile) {
    ctx.con.err(msg::kCannotSetTime, as_host_text(host_file));
  }
}

// Makes HOSTFILE hold `bytes`, with the host time unless it is standard
// output. A full disk must not pass for a good extraction: the writes, the
// sync and the close all count.
void deliver(RunContext& ctx, Output& out, const std::string& host_file, std::span<const uint8_t> bytes) {
  std::string reason;
  bool written = false;
  if (out.standard) {
    uint64_t at = 0;
    written = write_all(*out.standard, at, bytes.data(), bytes.size()) && out.standard->sync();
    written = out.standard->close() && written;
    if (!written) reason = out.standard->failure_text();
  } else {
    written = ctx.host.replace_file(HostPath::from_argument(host_file), bytes, &reason);
  }
  if (!written) {
    report_cannot_write(ctx.con, as_host_text(host_file), reason);
  } else if (!out.standard) {
    set_host_time(ctx, host_file);
  }
}

// After an entry was refused: where there was no HOSTFILE, an empty one is
// made with the entry's time. A file that stands there, or a link to one,
// is left alone; standard output, a FIFO or a device is opened and closed,
// its reader seeing the end.
void leave_empty_file(RunContext& ctx, Output& out, const std::string& host_file) {
  if (out.standard) {
    if (!out.standard->close()) report_cannot_write(ctx.con, as_host_text(host_file), out.standard->failure_text());
    return;
  }
  const HostPath path = HostPath::from_argument(host_file);
  PathKind found = PathKind::kMissing;
  if (const std::unique_ptr<File> existing = ctx.host.open_regular(path, found)) existing->close();
  if (found == PathKind::kFile || found == PathKind::kFolder || ctx.host.path_kind(path) == PathKind::kFile) return;
  std::string reason;
  const std::unique_ptr<File> made = found == PathKind::kMissing ? ctx.host.create_file(path, &reason)
                                                                 : ctx.host.open(path, OpenMode::kCreate, &reason);
  // Made meanwhile by someone else: theirs.
  if (!made && found == PathKind::kMissing && ctx.host.path_kind(path) != PathKind::kMissing) return;
  if (!made || !made->close()) {
    report_cannot_write(ctx.con, as_host_text(host_file), made ? made->failure_text() : reason);
  } else if (found == PathKind::kMissing) {
    set_host_time(ctx, host_file);
  }
}

// The text R -b or -t makes of the file a resolution found, announced as R
// announces it, its time stamp in the host time; nothing after saying why
// there is none.
std::optional<std::string> text_of_file(RunContext& ctx, const std::string& path, const PathResult& target) {
  Console& con = ctx.con;
  const std::optional<EntryRef> e = announce_target(con, target);
  if (!e) return std::nullopt;
  ctx.host_time = decode_time_stamp(ctx.vol.time_stamp(*e));
  const AsText how = as_text_for(ctx.vol.mode(*e), ctx.basic, ctx.text);
  if (how == AsText::kNone) {
    if (ctx.text) {
      con.err(msg::kNotText, path);
    } else {
      con.err(msg::kNotBasic, path);
    }
    return std::nullopt;
  }
  std::vector<uint8_t> bytes;
  if (gather_contents(ctx.vol, con, ctx.host, *e, target.last(), bytes, false) != Extraction::kWritten) {
    return std::nullopt;
  }
  std::optional<std::string> text = file_as_text(how, bytes, text_form(con));
  if (!text && how == AsText::kBasic) con.err(msg::kNotBasicProgram, as_volume_path(path));
  if (!text && how == AsText::kText) con.err(msg::kNotText, path);
  return text;
}

}  // namespace

void command_extract(RunContext& ctx, const std::string& path, const std::string& host_file) {
  Console& con = ctx.con;
  const PathResult target = resolve_path(ctx.vol, con, path);
  trace_lookup(con, target);
  if (!target.entry) {
    con.err(msg::kPathNotFound, as_volume_path(path));
    return;
  }
  // The whole host file is made before HOSTFILE is touched: a file that
  // is refused or cannot be read or converted changes nothing there.
  if (ctx.basic || ctx.text) {
    const std::optional<std::string> text = text_of_file(ctx, path, target);
    std::optional<Output> out = text ? open_output(ctx, host_file) : std::nullopt;
    if (out) deliver(ctx, *out, host_file, std::span(reinterpret_cast<const uint8_t*>(text->data()), text->size()));
    return;
  }
  std::optional<Output> out = open_output(ctx, host_file);
  if (!out) return;
  const std::optional<EntryRef> e = announce_target(con, target);
  if (!e) return;
  // The time stamp travels with the file, whatever its mode turns out to be.
  ctx.host_time = decode_time_stamp(ctx.vol.time_stamp(*e));
  std::vector<uint8_t> bytes;
  switch (gather_contents(ctx.vol, con, ctx.host, *e, target.last(), bytes, true)) {
    case Extraction::kWritten: deliver(ctx, *out, host_file, bytes); break;
    case Extraction::kRefused: leave_empty_file(ctx, *out, host_file); break;
    case Extraction::kWriteFailed:
    case Extraction::kUnreadable: break;
  }
}

}  // namespace tarnwick
