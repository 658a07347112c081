#include "commands/store_tree.h"

#include <algorithm>
#include <array>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>

#include "commands/delete.h"
#include "commands/directory.h"
#include "commands/mzt.h"
#include "commands/undo_log.h"
#include "commands/volume_report.h"
#include "host/host_name.h"
#include "host/host_tree.h"
#include "volume/layout_writer.h"
#include "volume/path.h"
#include "volume/timestamp.h"
#include "volume/walk.h"

namespace tarnwick {

namespace {

constexpr uint8_t kStoredAttribute = 0x80;
constexpr size_t kBsdMost = 65535;                  // the size field
constexpr size_t kBrdMost = kIndexSlots * kRunSize;  // 524,288
// What a folder entry becomes.
enum class Kind { kFolder, kMzt, kBsd, kBrd, kSkipped, kNotShiftJis, kTooLong, kDotName };

struct Item {
  FolderEntry entry;
  Kind kind = Kind::kSkipped;
  std::string name;  // the volume name, for the kinds that have one
  std::string text;  // the host path for messages
  bool maps() const { return kind <= Kind::kBrd; }
};

char ascii_lower(NativeChar c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : static_cast<char>(c); }

// The file kind an extension names, in any case.
Kind kind_of_extension(const NativeString& ext) {
  if (ext.size() != 3) return Kind::kSkipped;
  std::string lower;
  for (const NativeChar c : ext) {
    if (static_cast<std::make_unsigned_t<NativeChar>>(c) > 0x7F) return Kind::kSkipped;
    lower += ascii_lower(c);
  }
  if (lower == "mzt") return Kind::kMzt;
  if (lower == "bsd") return Kind::kBsd;
  if (lower == "brd") return Kind::kBrd;
  return Kind::kSkipped;
}

Item classify(FolderEntry entry, std::string text) {
  Item item{std::move(entry), Kind::kSkipped, {}, std::move(text)};
  const NativeString& name = item.entry.name;
  NativeString base = name;
  if (item.entry.kind == EntryKind::kOther) return item;
  if (item.entry.kind == EntryKind::kFolder) {
    item.kind = Kind::kFolder;
  } else {
    // The extension starts at the last '.', unless that is the first
    // character, as X puts it on.
    const size_t dot = name.rfind(NativeChar('.'));
    if (dot == NativeString::npos || dot == 0) return item;
    item.kind = kind_of_extension(name.substr(dot + 1));
    if (item.kind == Kind::kSkipped) return item;
    base = name.substr(0, dot);
  }
  const std::optional<std::u32string> points = name_code_points(base);
  std::optional<std::string> mapped = points ? volume_name(*points) : std::nullopt;
  if (!mapped) {
    item.kind = Kind::kNotShiftJis;
  } else if (mapped->size() > static_cast<size_t>(kNameLength)) {
    item.kind = Kind::kTooLong;
  } else if (is_dot_name(*mapped)) {
    // "." and ".." lead to a directory itself and to its parent: a file
    // or folder of that name would put what follows outside PATH.
    item.kind = Kind::kDotName;
  } else {
    item.name = std::move(*mapped);
  }
  return item;
}

// A folder being stored: the volume directory it fills, its host path and
// message text, its path text from the command's directory ("" at the
// top), its entries in walk order and the next one to visit.
struct Frame {
  uint32_t dir;
  HostPath folder;
  std::string host_text;
  std::string volume_text;
  std::vector<Item> items;
  size_t next = 0;
};

std::string joined(const std::string& parent, const std::string& name) {
  if (parent.empty()) return name;
  if (parent.back() == '/') return parent + name;
  return parent + "/" + name;
}

class TreeStorer {
 public:
  TreeStorer(RunContext& ctx, UndoLog& undo, BlockPool& pool, std::string path_prefix)
      : ctx_(ctx), vol_(ctx.vol), con_(ctx.con), undo_(undo), pool_(pool), prefix_(std::move(path_prefix)) {}

  // Stores the folder's tree into directory `dir`; false after the first
  // failure has been reported.
  bool run(uint32_t dir, const HostPath& folder, const std::string& host_text) {
    if (!enter(dir, folder, host_text, "")) return false;
    while (!stack_.empty()) {
      Frame& f = stack_.back();
      if (f.next >= f.items.size()) {
        stack_.pop_back();
        continue;
      }
      if (!visit(f.items[f.next++])) return false;
    }
    return true;
  }

  std::vector<std::string> lines;

 private:
  // Lists a folder and pushes it to be walked: the entries that map to
  // volume names in the byte order of those names, the others after them.
  bool enter(uint32_t dir, const HostPath& folder, const std::string& host_text, std::string volume_text) {
    std::vector<FolderEntry> entries;
    if (!ctx_.host.list_folder(folder, entries)) {
      con_.err(msg::kReadFailed, host_text.c_str());
      return false;
    }
    Frame f{dir, folder, host_text, std::move(volume_text), {}, 0};
    f.items.reserve(entries.size());
    for (FolderEntry& e : entries) {
      std::string text = joined(host_text, printable_text(e.name));
      f.items.push_back(classify(std::move(e), std::move(text)));
    }
    std::sort(f.items.begin(), f.items.end(), [](const Item& a, const Item& b) {
      if (a.maps() != b.maps()) return a.maps();
      if (a.maps() && a.name != b.name) return a.name < b.name;
      return a.entry.name < b.entry.name;
    });
    stack_.push_back(std::move(f));
    return true;
  }

  bool visit(const Item& item) {
    switch (item.kind) {
      case Kind::kSkipped:
        con_.err(msg::kSkipped, item.text.c_str());
        return true;
      case Kind::kNotShiftJis:
        con_.err(msg::kPathNotShiftJis, item.text.c_str());
        return false;
      case Kind::kTooLong:
        con_.err(msg::kNameTooLong, as_host_text(item.text.c_str()));
        return false;
      case Kind::kDotName:
        con_.err(msg::kNameNotUsable, item.text.c_str());
        return false;
      default:
        break;
    }
    Frame& f = stack_.back();
    const std::string volume_text = joined(f.volume_text, item.name);
    // Two entries of one folder for one volume name: the items are sorted,
    // so they are neighbours.
    const size_t at = f.next - 1;
    if (at > 0 && f.items[at - 1].maps() && f.items[at - 1].name == item.name) {
      con_.err(msg::kAlreadyExists, joined(prefix_, volume_text).c_str());
      return false;
    }
    const std::optional<EntryRef> existing = find_in_directory(vol_, f.dir, item.name);
    const bool is_dir = existing && vol_.mode(*existing) == mode::kDir;
    if (item.kind == Kind::kFolder ? existing && !is_dir : is_dir) {
      con_.err(msg::kAlreadyExists, joined(prefix_, volume_text).c_str());
      return false;
    }
    if (item.kind == Kind::kFolder) return store_folder(item, existing, volume_text);
    return store_file(item, existing, volume_text);
  }

  // `f` may move once a frame is pushed: nothing reads it after enter().
  bool store_folder(const Item& item, std::optional<EntryRef> existing, const std::string& volume_text) {
    const Frame& f = stack_.back();
    const HostPath folder = f.folder / *name_code_points(item.entry.name);
    uint32_t dir = 0;
    if (existing) {
      dir = vol_.start_record(*existing);
      if (!vol_.holds_directory(dir)) {
        con_.err(msg::kSubdirectoryError, joined(prefix_, volume_text).c_str());
        return false;
      }
    } else {
      const std::optional<uint32_t> made =
          make_directory_in(f.dir, item.name, item.entry.time.value_or(HostTime{}));
      if (!made) return false;
      dir = *made;
    }
    return enter(dir, folder, item.text, volume_text);
  }

  bool store_file(const Item& item, std::optional<EntryRef> existing, const std::string& volume_text) {
    const Frame& f = stack_.back();
    const HostPath path = f.folder / *name_code_points(item.entry.name);
    PathKind found = PathKind::kMissing;
    const std::unique_ptr<File> file = ctx_.host.open_regular(path, found);
    if (!file) {
      con_.err(msg::kReadFailed, item.text.c_str());
      return false;
    }
    // The last-write time from the folder's listing, else from the open file
    // as W takes it.
    HostTime time{};
    if (item.entry.time) {
      time = *item.entry.time;
    } else {
      file->last_write_time(time);
    }

    // The host file is read and judged before the volume changes.
    std::array<uint8_t, mzt::kHeaderSize> header{};
    if (item.kind == Kind::kMzt) {
      if (file->read_at(0, header.data(), header.size()) != header.size()) {
        con_.err(msg::kReadFailed, item.text.c_str());
        return false;
      }
    } else if (item.kind == Kind::kBsd) {
      // One byte more than the most a file may hold tells a longer file.
      if (buffer_.size() < kBsdMost + 1) ctx_.host.resize_buffer(buffer_, kBsdMost + 1);
      const size_t got = file->read_at(0, buffer_.data(), kBsdMost + 1);
      if (file->failed()) {
        con_.err(msg::kReadFailed, item.text.c_str());
        return false;
      }
      data_ = std::span<const uint8_t>(buffer_.data(), got);
      if (got > kBsdMost) {
        con_.err(msg::kNotBsdFile, item.text.c_str());
        return false;
      }
    } else {
      // A BRD file is judged by its size; its bytes are read as they are stored.
      const std::optional<uint64_t> size = file->size();
      if (!size) {
        con_.err(msg::kReadFailed, item.text.c_str());
        return false;
      }
      brd_size_ = *size;
      if (brd_size_ > kBrdMost || brd_size_ % kBrdUnit != 0) {
        con_.err(msg::kNotBrdFile, item.text.c_str());
        return false;
      }
    }

    if (existing && !replace(*existing, f.dir, item.name, volume_text)) return false;

    bool stored = false;
    switch (item.kind) {
      case Kind::kMzt: stored = store_mzt(*file, header, item, time); break;
      case Kind::kBsd: stored = store_bsd(item, time); break;
      default: stored = store_brd(*file, item, time); break;
    }
    if (stored) lines.push_back(volume_text);
    return stored;
  }

  // Deletes the file a store replaces, as W deletes it.
  bool replace(EntryRef e, uint32_t dir, const std::string& name, const std::string& volume_text) {
    undo_.save(e.offset, kEntrySize);
    // The records the check and the walk read stay as they were if the
    // command fails after new files took their blocks.
    FileWalk walk = FileWalk::of_entry(vol_, e, RecordRange{0, vol_.record_count()}, false);
    while (const std::optional<Piece> p = walk.next()) undo_.save_records(p->first, p->records);
    pool_.forget_file(e);
    Lookup target{joined(prefix_, volume_text), Resolution{dir, name, ResolveFailure::kNone, {}}, e};
    return delete_file(vol_, con_, target).has_value();
  }

  // The first free entry of the current directory, or nothing after
  // reporting that it is full.
  std::optional<EntryRef> free_entry() {
    const std::optional<EntryRef> e = first_free_entry(vol_, stack_.back().dir);
    if (!e) {
      con_.err(msg::kDirectoryFull);
      return std::nullopt;
    }
    undo_.save(e->offset, kEntrySize);
    return e;
  }

  void fill_entry(EntryRef e, uint8_t m, const std::string& name, std::span<const uint8_t, 6> fields, uint32_t start,
                  const HostTime& time) {
    vol_.set_field8(e, entry::kMode, m);
    for (uint32_t k = 0; k < static_cast<uint32_t>(kNameFieldLength); ++k) {
      vol_.set_field8(e, entry::kName + k, k < name.size() ? static_cast<uint8_t>(name[k]) : kNameEnd);
    }
    vol_.set_field8(e, entry::kAttribute, kStoredAttribute);
    vol_.set_field8(e, entry::kUnnamed, 0);
    for (uint32_t k = 0; k < fields.size(); ++k) vol_.set_field8(e, entry::kSize + k, fields[k]);
    vol_.set_field16(e, entry::kStartRecord, static_cast<uint16_t>(start));
    vol_.set_time_stamp(e, encode_time_stamp(time));
  }

  // As W stores an MZT file: a run for the header's size, the first free
  // entry, the body taken from the file into the run. The MZT's mode is
  // kept when it is OBJ or BTX.
  bool store_mzt(File& file, const std::array<uint8_t, mzt::kHeaderSize>& header,
                 const Item& item, const HostTime& time) {
    const uint16_t size = load16(header.data() + mzt::kSize);
    const uint32_t start = pool_.allocate(size);
    if (start == 0 || start > 0xFFFF || !vol_.holds(uint64_t{start} * kRecordSize, size)) {
      con_.err(msg::kNoSpace);
      return false;
    }
    const std::optional<EntryRef> e = free_entry();
    if (!e) return false;
    const uint8_t m = header[mzt::kMode] == mode::kBtx ? mode::kBtx : mode::kObj;
    fill_entry(*e, m, item.name, std::span<const uint8_t, 6>(header.data() + mzt::kFields, 6), start, time);
    return read_into(file, mzt::kHeaderSize, uint64_t{start} * kRecordSize, size, item);
  }

  // A BSD file in the chained layout, of the bytes read; load and
  // execution addresses 0.
  bool store_bsd(const Item& item, const HostTime& time) {
    const std::optional<uint32_t> start = write_chained(vol_, pool_, data_);
    if (!start) {
      con_.err(msg::kNoSpace);
      return false;
    }
    return add_entry(mode::kBsd, item, data_.size(), *start, time);
  }

  // A BRD file in the indexed layout, its runs taken from the file; load
  // and execution addresses 0.
  bool store_brd(File& file, const Item& item, const HostTime& time) {
    const std::optional<uint32_t> index = lay_out_indexed(vol_, pool_, brd_size_, runs_);
    if (!index) {
      con_.err(msg::kNoSpace);
      return false;
    }
    for (size_t k = 0; k < runs_.size(); ++k) {
      const uint64_t from = uint64_t{k} * kRunSize;
      if (!read_into(file, from, uint64_t{runs_[k]} * kRecordSize, std::min<uint64_t>(kRunSize, brd_size_ - from), item)) {
        return false;
      }
    }
    return add_entry(mode::kBrd, item, brd_size_ / kBrdUnit, *index, time);
  }

  // Reads n bytes of the host file from `from` on into the volume's new
  // records at `offset`, which they fill whole; false after reporting a
  // file that has fewer.
  bool read_into(File& file, uint64_t from, uint64_t offset, uint64_t n, const Item& item) {
    const std::span<uint8_t> to = vol_.overwritten_bytes(offset, n);
    if (to.size() == n && file.read_at(from, to.data(), to.size()) == n) return true;
    con_.err(msg::kReadFailed, item.text.c_str());
    return false;
  }

  bool add_entry(uint8_t m, const Item& item, uint64_t size, uint32_t start, const HostTime& time) {
    const std::optional<EntryRef> e = free_entry();
    if (!e) return false;
    std::array<uint8_t, 6> fields{};
    store16(fields.data(), static_cast<uint16_t>(size));
    fill_entry(*e, m, item.name, fields, start, time);
    return true;
  }

 public:
  // Makes directory `name` in `parent` as M makes one; its first record, or
  // nothing after reporting why not.
  std::optional<uint32_t> make_directory_in(uint32_t parent, const std::string& name, const HostTime& time) {
    const std::optional<EntryRef> e = first_free_entry(vol_, parent);
    if (!e) {
      con_.err(msg::kDirectoryFull);
      return std::nullopt;
    }
    const uint32_t start = pool_.allocate(kDirectorySize);
    if (start == 0 || start > 0xFFFF || !vol_.holds_directory(start)) {
      con_.err(msg::kNoSpace);
      return std::nullopt;
    }
    undo_.save(e->offset, kEntrySize);
    write_new_directory(vol_, *e, name, encode_time_stamp(time), start, parent);
    return start;
  }

 private:
  RunContext& ctx_;
  Volume& vol_;
  Console& con_;
  UndoLog& undo_;
  BlockPool& pool_;
  std::string prefix_;  // the command's path, for volume paths in messages
  std::vector<Frame> stack_;
  std::vector<uint8_t> buffer_;    // room for the longest BSD file and a byte
  std::span<const uint8_t> data_;  // the BSD file read into it
  uint64_t brd_size_ = 0;          // the BRD file's size
  std::vector<uint32_t> runs_;     // its runs' first records
};

// The root: a path of nothing but '/'.
bool names_the_root(std::string_view path) { return path.find_first_not_of('/') == std::string_view::npos; }

// The directory the command fills, made when its last component is
// missing; nothing after reporting why there is none.
std::optional<uint32_t> target_directory(RunContext& ctx, TreeStorer& storer, const std::string& path,
                                         const HostTime& folder_time) {
  if (names_the_root(path)) return kRootDirectoryRecord;
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const Lookup target = lookup_path(ctx.vol, ctx.con, p);
  if (!target.resolution.name) {
    if (target.resolution.failure == ResolveFailure::kDirectoryMissing) return std::nullopt;
    switch (path_fault(p).fault) {
      case PathFault::kNameTooLong: ctx.con.err(msg::kNameTooLong, path.c_str()); break;
      case PathFault::kNoFileName:
      case PathFault::kNotFound: ctx.con.err(msg::kDirectoryNotFound, path.c_str()); break;
    }
    return std::nullopt;
  }
  if (target.entry) {
    const uint32_t dir = ctx.vol.start_record(*target.entry);
    if (ctx.vol.mode(*target.entry) != mode::kDir || !ctx.vol.holds_directory(dir)) {
      ctx.con.err(msg::kNotADirectory, path.c_str());
      return std::nullopt;
    }
    return dir;
  }
  if (is_dot_name(target.name())) {
    ctx.con.err(msg::kAlreadyExists, path.c_str());
    return std::nullopt;
  }
  return storer.make_directory_in(target.resolution.directory, target.name(), folder_time);
}

}  // namespace

std::optional<std::vector<std::string>> command_store_tree(RunContext& ctx, const std::string& path,
                                                           const std::string& host_folder) {
  const HostPath top = HostPath::from_argument(host_folder);
  if (ctx.host.path_kind(top) != PathKind::kFolder) {
    ctx.con.err(msg::kPathNotFound, as_host_text(host_folder.c_str()));
    return std::nullopt;
  }
  // Only what the volume's other contents depend on is kept (the system
  // record, entries, the records of a file being replaced): blocks that were
  // free need no undoing, since nothing leads to them once the entries are
  // back, and the check that follows a failure sees the volume as loaded.
  UndoLog undo(ctx.vol);
  undo.save_system_record();
  BlockPool pool(ctx.vol);
  std::string prefix = names_the_root(path) ? std::string() : path;
  TreeStorer storer(ctx, undo, pool, prefix);
  const std::optional<uint32_t> dir =
      target_directory(ctx, storer, path, ctx.host.path_time(top).value_or(HostTime{}));
  if (!dir || !storer.run(*dir, top, host_folder)) {
    undo.restore();
    return std::nullopt;
  }
  return std::move(storer.lines);
}

void report_stored_tree(Console& con, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) con.out(msg::kTreeFileLine, line.c_str());
  con.out(msg::kFilesStored, static_cast<int>(lines.size()));
}

}  // namespace tarnwick
