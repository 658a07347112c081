#include "commands/extract.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "volume/path.h"
#include "volume/timestamp.h"

namespace tarnwick {

namespace {

// One stretch of the volume image that goes to the host file.
struct Stretch {
  uint64_t offset;
  uint64_t length;
};

// The stretches a file's contents are made of, in file order, each checked
// to lie inside the volume image. Stretches that meet in the image (runs of
// a BRD file stored one after the other) are joined, so each goes out in one
// write.
class Plan {
 public:
  void add(uint64_t offset, uint64_t length) {
    if (length == 0) return;
    if (!stretches_.empty() && stretches_.back().offset + stretches_.back().length == offset) {
      stretches_.back().length += length;
    } else {
      stretches_.push_back({offset, length});
    }
  }
  const std::vector<Stretch>& stretches() const { return stretches_; }

 private:
  std::vector<Stretch> stretches_;
};

// Contiguous layout (OBJ, BTX): `size` bytes from the start record on.
std::optional<Plan> plan_contiguous(const Volume& vol, uint32_t start, uint32_t size) {
  Plan plan;
  if (size == 0) return plan;  // nothing is read, wherever it would start
  const uint64_t offset = uint64_t{start} * kRecordSize;
  if (!vol.holds(offset, size)) return std::nullopt;
  plan.add(offset, size);
  return plan;
}

// Chained layout (BSD): 254 data bytes from each record of the chain until
// `size` bytes are taken or a link of 0 ends the chain early (not damage: the
// file simply ends there). A record outside the image, or one met a second
// time, which would make the walk go round for ever, is damage.
std::optional<Plan> plan_chain(const Volume& vol, uint32_t start, uint32_t size) {
  Plan plan;
  std::vector<bool> seen(vol.record_count(), false);
  uint32_t record = start;
  uint32_t remaining = size;
  while (record != 0 && remaining > 0) {
    if (!vol.holds_records(record, 1) || seen[record]) return std::nullopt;
    seen[record] = true;
    const uint64_t offset = uint64_t{record} * kRecordSize;
    const uint32_t n = std::min(remaining, kChainData);
    plan.add(offset, n);
    remaining -= n;
    record = vol.le16(offset + kChainLink);
  }
  return plan;
}

// Indexed layout (BRD): `units` x 32 bytes from the runs the index record
// lists, 4096 bytes from each, the last one cut. A slot of 0 ends the index
// early (not damage); the 128th slot ends it in any case.
std::optional<Plan> plan_indexed(const Volume& vol, uint32_t index, uint32_t units) {
  if (!vol.holds_records(index, 1)) return std::nullopt;
  Plan plan;
  const uint64_t index_offset = uint64_t{index} * kRecordSize;
  uint64_t remaining = uint64_t{units} * kBrdUnit;
  for (uint32_t slot = 0; slot < kIndexSlots && remaining > 0; ++slot) {
    const uint32_t run = vol.le16(index_offset + 2 * slot);
    if (run == 0) break;
    const uint64_t offset = uint64_t{run} * kRecordSize;
    const uint64_t n = std::min<uint64_t>(remaining, kRunSize);
    if (!vol.holds(offset, n)) return std::nullopt;
    plan.add(offset, n);
    remaining -= n;
  }
  return plan;
}

// The MZT header of an OBJ or BTX entry: mode and the whole name field as
// they stand, then size, load and execution addresses, then zeros.
std::array<uint8_t, kMztHeaderSize> mzt_header(const Volume& vol, EntryRef e) {
  std::array<uint8_t, kMztHeaderSize> h{};
  h[0] = vol.mode(e);
  for (uint32_t i = 0; i < kNameFieldLength; ++i) h[1 + i] = vol.field8(e, entry::kName + i);
  // Entry bytes 20-25 (size, load address, execution address) become header
  // bytes 18-23, both little-endian.
  for (uint32_t i = 0; i < 6; ++i) h[18 + i] = vol.field8(e, entry::kSize + i);
  return h;
}

bool write_all(File& out, uint64_t& at, const uint8_t* data, size_t n) {
  if (n == 0) return true;
  if (out.write_at(at, data, n) != n) return false;
  at += n;
  return true;
}

}  // namespace

Extraction extract_file(Volume& vol, Console& con, std::string_view path, File& out, HostTime& host_time) {
  const Resolution resolved = resolve_path(vol, con, path);
  if (!resolved.name) {
    // A missing directory has been reported by the resolution itself.
    if (resolved.failure != ResolveFailure::kDirectoryMissing) {
      con.err(msg::kPathNotFound, std::string(path).c_str());
    }
    return Extraction::kRefused;
  }
  const std::string& name = *resolved.name;
  con.out(msg::kFileTrace, name.c_str());
  const std::optional<EntryRef> found = find_in_current_directory(vol, name);
  if (!found) {
    con.err(msg::kPathNotFound, name.c_str());
    return Extraction::kRefused;
  }
  con.out(msg::kFileFound, name.c_str());
  const EntryRef e = *found;

  // The time stamp travels with the file, whatever its mode turns out to be.
  std::array<uint8_t, 4> stamp;
  for (uint32_t i = 0; i < stamp.size(); ++i) stamp[i] = vol.field8(e, entry::kTimeStamp + i);
  host_time = decode_time_stamp(stamp);

  const uint8_t file_mode = vol.mode(e);
  const uint32_t size = vol.file_size(e);
  const uint32_t start = vol.start_record(e);
  std::optional<Plan> plan;
  switch (file_mode) {
    case mode::kObj:
    case mode::kBtx:
      plan = plan_contiguous(vol, start, size);
      break;
    case mode::kBsd:
      plan = plan_chain(vol, start, size);
      break;
    case mode::kBrd:
      plan = plan_indexed(vol, start, size);
      break;
    case mode::kDir:
      con.err(msg::kIsDirectory, name.c_str());
      return Extraction::kRefused;
    default:
      con.err(msg::kUnsupportedMode, static_cast<unsigned>(file_mode));
      return Extraction::kRefused;
  }
  if (!plan) {
    con.err(msg::kDataDamaged, name.c_str());
    return Extraction::kRefused;
  }

  uint64_t at = 0;
  if (file_mode == mode::kObj || file_mode == mode::kBtx) {
    const std::array<uint8_t, kMztHeaderSize> header = mzt_header(vol, e);
    if (!write_all(out, at, header.data(), header.size())) return Extraction::kWriteFailed;
  }
  for (const Stretch& s : plan->stretches()) {
    const std::span<const uint8_t> bytes = vol.bytes(s.offset, s.length);
    if (!write_all(out, at, bytes.data(), bytes.size())) return Extraction::kWriteFailed;
  }
  return Extraction::kWritten;
}

void command_extract(RunContext& ctx, const std::string& path, const std::string& host_file) {
  Console& con = ctx.con;
  if (!find_entry(ctx.vol, con, path)) {
    con.err(msg::kPathNotFound, path.c_str());
    return;
  }
  // Creating the host file would empty it; if it is the image file itself,
  // the volume would be lost.
  if (ctx.host.same_file(host_file, ctx.image_name)) {
    con.err(msg::kCannotWrite, host_file.c_str());
    return;
  }
  std::unique_ptr<File> out = ctx.host.open(host_file, OpenMode::kCreate);
  if (!out) {
    con.err(msg::kCannotWrite, host_file.c_str());
    return;
  }
  const Extraction result = extract_file(ctx.vol, con, path, *out, ctx.host_time);
  // A full disk must not pass for a good extraction: the writes, the sync
  // and the close all count. What was written stays, and gets its time.
  bool written = result != Extraction::kWriteFailed;
  if (result == Extraction::kWritten) written = out->sync();
  const bool closed = out->close();
  out.reset();
  if (!written || !closed) con.err(msg::kCannotWrite, host_file.c_str());
  ctx.host.set_file_time(host_file, ctx.host_time);
}

}  // namespace tarnwick
