#include "operations/store.h"

#include <array>
#include <memory>
#include <optional>

#include "operations/delete.h"
#include "codecs/mzt.h"
#include "operations/volume_report.h"
#include "host/host_path.h"
#include "volume/timestamp.h"

namespace tarnwick {

namespace {

// Why a path gave no file name, told to the user. A missing directory has
// been reported by the resolution.
void report_unresolved(Report& rep, const PathResult& r) {
  if (r.fault == PathFault::kDirectoryMissing) return;
  if (r.too_long) {
    rep.err(msg::kNameTooLong, as_volume_path(*r.too_long));
  } else if (r.no_file_name) {
    rep.err(msg::kNoFileName);
  } else {
    rep.err(msg::kDirectoryNotFound, r.path);
  }
}

// The entry a store fills: the first free one of the directory the path
// leads to. Nothing after reporting why there is none. The resolution is
// reported as a store reports it, after the allocation: a missing directory
// a second time, as the lookup before the delete has reported it once.
std::optional<EntryRef> entry_to_fill(const Volume& vol, Report& rep, const PathResult& target) {
  report_missing_directory(rep, target);
  if (!target.name) {
    report_unresolved(rep, target);
    return std::nullopt;
  }
  const std::optional<EntryRef> e = first_free_entry(vol, target.directory);
  if (!e) report_directory_full(rep, parent_text(target.path));
  return e;
}

}  // namespace

bool store_mzt_file(VolumeEdit& edit, Report& rep, const PathResult& target, const HostFile& mzt,
                    const HostTime& host_time) {
  std::array<uint8_t, mzt::kHeaderSize> header;
  if (mzt.file.read_at(0, header.data(), header.size()) != header.size()) {
    // A file too short to hold a header is no MZT file; a read that
    // failed is a read failure.
    if (mzt.file.failed()) {
      rep.err(msg::kReadFailed, mzt.name);
    } else {
      rep.err(msg::kNotMzt, mzt.name);
    }
    return false;
  }
  const uint16_t size = load16(header.data() + mzt::kSize);
  const std::optional<uint32_t> start = edit.claim(size);
  if (!start) {
    report_no_space(rep, edit, target.path);
    return false;
  }
  const std::optional<EntryRef> e = entry_to_fill(edit.volume(), rep, target);
  if (!e) return false;
  // A BASIC program stays one: the machine loads an OBJ file as machine code.
  const uint8_t m = header[mzt::kMode] == mode::kBtx ? mode::kBtx : mode::kObj;
  NewEntry entry{m, target.last(), {}, *start, encode_time_stamp(host_time)};
  std::copy_n(header.begin() + mzt::kFields, entry.fields.size(), entry.fields.begin());
  edit.write_entry(*e, entry);
  // The body goes straight into the run with one read; the bytes of the run
  // beyond it keep what they held.
  const ByteSource body = [&](uint64_t from, std::span<uint8_t> out) {
    return mzt.file.read_at(mzt::kHeaderSize + from, out.data(), out.size()) == out.size();
  };
  if (edit.fill(*start, size, body) != WriteFault::kNone) {
    rep.err(msg::kReadFailed, mzt.name);
    return false;
  }
  return true;
}

bool store_text_file(VolumeEdit& edit, Report& rep, const PathResult& target, const HostFile& text, AsText how,
                     TextForm form, const Addresses& addresses, const HostTime& host_time) {
  const std::optional<std::vector<uint8_t>> bytes = file_from_text(rep, text.file, text.name, how, form);
  if (!bytes) return false;
  const bool program = how == AsText::kBasic;
  const Written written = program ? edit.write_contiguous(*bytes) : edit.write_chained(*bytes);
  if (!written) {
    report_no_space(rep, edit, target.path);
    return false;
  }
  const std::optional<EntryRef> e = entry_to_fill(edit.volume(), rep, target);
  if (!e) return false;
  NewEntry entry{program ? mode::kBtx : mode::kBsd, target.last(), sized_fields(static_cast<uint32_t>(bytes->size())),
                 written.start, encode_time_stamp(host_time)};
  std::copy(addresses.begin(), addresses.end(), entry.fields.begin() + 2);
  edit.write_entry(*e, entry);
  return true;
}

Addresses kept_addresses(const Volume& vol, std::optional<EntryRef> replaced, AsText how) {
  Addresses kept{};
  if (how != AsText::kBasic || !replaced || vol.mode(*replaced) != mode::kBtx) return kept;
  for (uint32_t i = 0; i < kept.size(); ++i) kept[i] = vol.field8(*replaced, entry::kLoadAddress + i);
  return kept;
}

bool names_text_file(std::string_view host_file) {
  const std::string_view name = last_component(host_file);
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || name.size() - dot != 4) return false;
  for (size_t i = 0; i < 3; ++i) {
    if ((name[dot + 1 + i] | 0x20) != "txt"[i]) return false;
  }
  return true;
}

bool store_host_file(Volume& vol, Report& rep, Host& host, const std::string& path, const std::string& host_file,
                     TextKinds kinds, TextForm form) {
  // -b stores a listing, -t a text; with both a .txt file is text.
  AsText how = AsText::kNone;
  if (kinds.any()) how = kinds.text && (!kinds.basic || names_text_file(host_file)) ? AsText::kText : AsText::kBasic;
  // A store that fails must not cost the former file of the path: the edit
  // puts back what the delete changed.
  VolumeEdit edit(vol, alloc_trace(rep));
  const PathResult target = resolve_path(vol, rep, path);
  trace_lookup(rep, target);
  // "." and ".." name a directory and its parent in every directory, the
  // root too: no file takes those names, as M makes no directory of them.
  if (target.name && is_dot_name(target.last())) {
    rep.err(msg::kAlreadyExists, as_volume_path(path));
    return false;
  }
  const Addresses addresses = kept_addresses(vol, target.entry, how);
  if (target.entry && !delete_file(edit, rep, target)) {
    edit.rollback();
    return false;
  }
  const std::unique_ptr<File> in = host.open_argument(HostPath::from_argument(host_file), OpenMode::kRead);
  if (!in) {
    edit.rollback();
    rep.err(msg::kHostFileNotFound, host_file);
    return false;
  }
  // The time comes from the open file: a pipe can be opened only once. When
  // it cannot be read the time stays zero.
  HostTime time{};
  in->last_write_time(time);
  const HostFile file{*in, host_file};
  const bool stored = how == AsText::kNone ? store_mzt_file(edit, rep, target, file, time)
                                           : store_text_file(edit, rep, target, file, how, form, addresses, time);
  if (!stored) edit.rollback();
  return stored;
}

}  // namespace tarnwick
