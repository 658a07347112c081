#include "operations/store_tree.h"

#include <algorithm>
#include <array>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>

#include "codecs/mzt.h"
#include "codecs/text_file.h"
#include "host/host_name.h"
#include "host/host_tree.h"
#include "operations/delete.h"
#include "operations/directory.h"
#include "operations/store.h"
#include "operations/volume_report.h"
#include "output/name_text.h"
#include "volume/edit.h"
#include "volume/path.h"
#include "volume/path_text.h"
#include "volume/timestamp.h"
#include "volume/walk.h"

namespace tarnwick {

namespace {

constexpr size_t kBsdMost = 65535;                  // the size field
constexpr size_t kBrdMost = kIndexSlots * kRunSize;  // 524,288
// What a folder entry becomes.
enum class Kind { kFolder, kMzt, kBsd, kBrd, kBas, kTxt, kSkipped, kNotShiftJis, kTooLong, kDotName };

struct Item {
  FolderEntry entry;
  Kind kind = Kind::kSkipped;
  std::string name;  // the volume name, for the kinds that have one
  std::string text;  // the host path for messages
  bool maps() const { return kind < Kind::kSkipped; }
};

char ascii_lower(NativeChar c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : static_cast<char>(c); }

// The file kind an extension names, in any case.
Kind kind_of_extension(const NativeString& ext, TextKinds kinds) {
  if (ext.size() != 3) return Kind::kSkipped;
  std::string lower;
  for (const NativeChar c : ext) {
    if (static_cast<std::make_unsigned_t<NativeChar>>(c) > 0x7F) return Kind::kSkipped;
    lower += ascii_lower(c);
  }
  if (lower == "mzt") return Kind::kMzt;
  if (lower == "bsd") return Kind::kBsd;
  if (lower == "brd") return Kind::kBrd;
  if (lower == "bas" && kinds.basic) return Kind::kBas;
  if (lower == "txt" && kinds.text) return Kind::kTxt;
  return Kind::kSkipped;
}

Item classify(FolderEntry entry, std::string text, TextKinds kinds) {
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
    item.kind = kind_of_extension(name.substr(dot + 1), kinds);
    if (item.kind == Kind::kSkipped) return item;
    base = name.substr(0, dot);
  }
  const std::optional<std::u32string> points = name_code_points(base);
  std::optional<std::string> mapped = points ? volume_name(*points) : std::nullopt;
  if (!mapped) {
    item.kind = Kind::kNotShiftJis;
  } else if (mapped->size() > static_cast<size_t>(kNameLength)) {
    item.kind = Kind::kTooLong;
  } else {
    // "." and ".." lead to a directory itself and to its parent: a file
    // or folder of that name would put what follows outside PATH.
    if (is_dot_name(*mapped)) item.kind = Kind::kDotName;
    item.name = std::move(*mapped);
  }
  return item;
}

// A folder being stored: the volume directory it fills, its host path and
// message text, its path text from the command's directory ("" at the
// top), its entries in walk order and the next one to visit.
struct FolderIn {
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

// A host file opened and judged before the volume changes: its time, and
// what its kind needs of it (an MZT's header, a BSD file's bytes, a BRD
// file's size).
struct HostInput {
  std::unique_ptr<File> file;
  HostTime time{};
  std::array<uint8_t, mzt::kHeaderSize> header{};
  std::span<const uint8_t> data;
  uint64_t size = 0;
};

class TreeStorer {
 public:
  TreeStorer(Report& rep, Host& host, VolumeEdit& edit, std::string path_prefix, TextKinds kinds, TextForm form)
      : rep_(rep),
        host_(host),
        vol_(edit.volume()),
        edit_(edit),
        prefix_(std::move(path_prefix)),
        kinds_(kinds),
        form_(form) {}

  // Stores the folder's tree into directory `dir`, or with `one_file` the
  // host file `host_text` names as a folder would hold it; false after the
  // first failure has been reported.
  bool run(uint32_t dir, const HostPath& folder, const std::string& host_text, bool one_file) {
    if (one_file) {
      enter_file(dir, host_text);
    } else if (!enter(dir, folder, host_text, "")) {
      return false;
    }
    while (!stack_.empty()) {
      FolderIn& f = stack_.back();
      if (f.next >= f.items.size()) {
        stack_.pop_back();
        continue;
      }
      if (!visit(f.items[f.next++])) return false;
    }
    return true;
  }

  // Makes directory `name` in `parent` as M makes one; its first record, or
  // nothing after reporting why not. The texts name the parent and the new
  // directory in messages.
  std::optional<uint32_t> make_directory_in(uint32_t parent, const std::string& name, const HostTime& time,
                                            std::string_view parent_text, std::string_view text) {
    const std::optional<EntryRef> e = first_free_entry(vol_, parent);
    if (!e) {
      report_directory_full(rep_, parent_text);
      return std::nullopt;
    }
    const std::optional<uint32_t> start = edit_.make_directory(parent, *e, name, encode_time_stamp(time));
    if (!start) report_no_space(rep_, edit_, text);
    return start;
  }

  std::vector<std::string> lines;

 private:
  // Lists a folder and pushes it to be walked: the entries that map to
  // volume names in the byte order of those names, the others after them.
  bool enter(uint32_t dir, const HostPath& folder, const std::string& host_text, std::string volume_text) {
    std::vector<FolderEntry> entries;
    if (!host_.list_folder(folder, entries)) {
      rep_.err(msg::kReadFailed, host_text);
      return false;
    }
    FolderIn f{dir, folder, host_text, std::move(volume_text), {}, 0};
    f.items.reserve(entries.size());
    for (FolderEntry& e : entries) {
      std::string text = joined(host_text, printable_text(e.name));
      f.items.push_back(classify(std::move(e), std::move(text), kinds_));
    }
    std::sort(f.items.begin(), f.items.end(), [](const Item& a, const Item& b) {
      if (a.maps() != b.maps()) return a.maps();
      if (a.maps() && a.name != b.name) return a.name < b.name;
      return a.entry.name < b.entry.name;
    });
    stack_.push_back(std::move(f));
    return true;
  }

  // Pushes the folder of one host file, the path typed, holding it alone.
  void enter_file(uint32_t dir, const std::string& typed) {
    const std::string_view name = last_component(typed);
    const HostPath folder = HostPath::from_argument(std::string_view(typed).substr(0, typed.size() - name.size()));
    FolderEntry entry{HostPath::from_argument(name).native(), EntryKind::kFile, std::nullopt};
    FolderIn f{dir, folder, typed, "", {}, 0};
    f.items.push_back(classify(std::move(entry), typed, kinds_));
    stack_.push_back(std::move(f));
  }

  // An entry that maps to no volume name: skipped (true) or refused.
  bool pass_over(const Item& item) {
    switch (item.kind) {
      case Kind::kNotShiftJis: rep_.err(msg::kPathNotShiftJis, item.text); return false;
      case Kind::kTooLong: rep_.err(msg::kNameTooLong, as_host_text(item.text)); return false;
      case Kind::kDotName:
        // Refused as M refuses a directory of that name.
        rep_.err(msg::kAlreadyExists, as_volume_path(joined(prefix_, joined(stack_.back().volume_text, item.name))));
        return false;
      default: rep_.err(msg::kSkipped, item.text); return true;
    }
  }

  bool visit(const Item& item) {
    if (!item.maps()) return pass_over(item);
    FolderIn& f = stack_.back();
    const std::string volume_text = joined(f.volume_text, path_component(item.name));
    // Two entries of one folder for one volume name: the items are sorted,
    // so they are neighbours.
    const size_t at = f.next - 1;
    const bool twice = at > 0 && f.items[at - 1].maps() && f.items[at - 1].name == item.name;
    const std::optional<EntryRef> existing = find_in_directory(vol_, f.dir, item.name);
    const bool is_dir = existing && vol_.mode(*existing) == mode::kDir;
    if (twice || (item.kind == Kind::kFolder ? existing && !is_dir : is_dir)) {
      rep_.err(msg::kAlreadyExists, as_volume_path(joined(prefix_, volume_text)));
      return false;
    }
    if (item.kind == Kind::kFolder) return store_folder(item, existing, volume_text);
    return store_file(item, existing, volume_text);
  }

  // `f` may move once a folder is pushed: nothing reads it after enter().
  bool store_folder(const Item& item, std::optional<EntryRef> existing, const std::string& volume_text) {
    const FolderIn& f = stack_.back();
    const HostPath folder = f.folder / *name_code_points(item.entry.name);
    uint32_t dir = 0;
    if (existing) {
      dir = vol_.start_record(*existing);
      if (!vol_.holds_directory(dir)) {
        rep_.err(msg::kSubdirectoryError, joined(prefix_, volume_text));
        return false;
      }
    } else {
      const std::optional<uint32_t> made = make_directory_in(f.dir, item.name, item.entry.time.value_or(HostTime{}),
                                                             directory_text(), volume_text);
      if (!made) return false;
      dir = *made;
    }
    return enter(dir, folder, item.text, volume_text);
  }

  bool store_file(const Item& item, std::optional<EntryRef> existing, const std::string& volume_text) {
    const FolderIn& f = stack_.back();
    HostInput in;
    if (!read_input(item, f.folder / *name_code_points(item.entry.name), in)) return false;
    const Addresses addresses = kept_addresses(vol_, existing, item.kind == Kind::kBas ? AsText::kBasic : AsText::kNone);
    if (existing && !replace(*existing, f.dir, item.name, volume_text)) return false;
    bool stored = false;
    switch (item.kind) {
      case Kind::kMzt: stored = store_mzt(item, in); break;
      case Kind::kBsd:
      case Kind::kTxt: stored = store_layout(item, in, mode::kBsd, edit_.write_chained(in.data), in.data.size()); break;
      case Kind::kBas:
        stored = store_layout(item, in, mode::kBtx, edit_.write_contiguous(in.data), in.data.size(), addresses);
        break;
      default: stored = store_brd(item, in); break;
    }
    if (stored) lines.push_back(volume_text);
    return stored;
  }

  // Opens the host file and judges it as its kind needs; false after
  // reporting why it cannot be stored.
  bool read_input(const Item& item, const HostPath& path, HostInput& in) {
    PathKind found = PathKind::kMissing;
    in.file = host_.open_regular(path, found);
    if (!in.file) return read_failed(item);
    // The last-write time from the folder's listing, else from the open
    // file as W takes it.
    if (item.entry.time) {
      in.time = *item.entry.time;
    } else {
      in.file->last_write_time(in.time);
    }
    switch (item.kind) {
      case Kind::kMzt:
        return in.file->read_at(0, in.header.data(), in.header.size()) == in.header.size() || read_failed(item);
      case Kind::kBas:
      case Kind::kTxt: return read_text(item, in);
      case Kind::kBsd: {
        // One byte more than the most a file may hold tells a longer file.
        if (buffer_.size() < kBsdMost + 1) host_.resize_buffer(buffer_, kBsdMost + 1);
        const size_t got = in.file->read_at(0, buffer_.data(), kBsdMost + 1);
        if (in.file->failed()) return read_failed(item);
        in.data = std::span<const uint8_t>(buffer_.data(), got);
        if (got <= kBsdMost) return true;
        rep_.err(msg::kNotBsdFile, item.text);
        return false;
      }
      default: {
        // A BRD file is judged by its size; its bytes are read as they are
        // stored.
        const std::optional<uint64_t> size = in.file->size();
        if (!size) return read_failed(item);
        in.size = *size;
        if (in.size <= kBrdMost && in.size % kBrdUnit == 0) return true;
        rep_.err(msg::kNotBrdFile, item.text);
        return false;
      }
    }
  }

  // A listing or a text, read whole and converted; false after saying why
  // not, the file named.
  bool read_text(const Item& item, HostInput& in) {
    const AsText how = item.kind == Kind::kBas ? AsText::kBasic : AsText::kText;
    std::optional<std::vector<uint8_t>> bytes = file_from_text(rep_, *in.file, item.text, how, form_, true);
    if (!bytes) return false;
    converted_ = std::move(*bytes);
    in.data = converted_;
    return true;
  }

  bool read_failed(const Item& item) {
    rep_.err(msg::kReadFailed, item.text);
    return false;
  }

  // Deletes the file a store replaces, as W deletes it.
  bool replace(EntryRef e, uint32_t dir, const std::string& name, const std::string& volume_text) {
    PathResult target;
    target.path = joined(prefix_, volume_text);
    target.directory = dir;
    target.name = name;
    target.entry = e;
    return delete_file(edit_, rep_, target);
  }

  // The current directory in messages: the command's path, then the
  // folders below it; "/" for the root.
  std::string directory_text() const {
    const std::string text = joined(prefix_, stack_.back().volume_text);
    return text.empty() ? std::string("/") : text;
  }

  // The first free entry of the current directory, or nothing after
  // reporting that it is full.
  std::optional<EntryRef> free_entry() {
    const std::optional<EntryRef> e = first_free_entry(vol_, stack_.back().dir);
    if (!e) report_directory_full(rep_, directory_text());
    return e;
  }

  // As W stores an MZT file: a run for the header's size, the first free
  // entry, the body read from the file into the run. The MZT's mode is kept
  // when it is OBJ or BTX.
  bool store_mzt(const Item& item, const HostInput& in) {
    const uint16_t size = load16(in.header.data() + mzt::kSize);
    const std::optional<uint32_t> start = edit_.claim(size);
    if (!start) {
      report_no_space(rep_, edit_, joined(stack_.back().volume_text, path_component(item.name)));
      return false;
    }
    const std::optional<EntryRef> e = free_entry();
    if (!e) return false;
    const uint8_t m = in.header[mzt::kMode] == mode::kBtx ? mode::kBtx : mode::kObj;
    NewEntry entry{m, item.name, {}, *start, encode_time_stamp(in.time)};
    std::copy_n(in.header.begin() + mzt::kFields, entry.fields.size(), entry.fields.begin());
    edit_.write_entry(*e, entry);
    const ByteSource body = [&](uint64_t from, std::span<uint8_t> out) {
      return in.file->read_at(mzt::kHeaderSize + from, out.data(), out.size()) == out.size();
    };
    return edit_.fill(*start, size, body) == WriteFault::kNone || read_failed(item);
  }

  // A BRD file in the indexed layout, its runs read from the file.
  bool store_brd(const Item& item, const HostInput& in) {
    const ByteSource bytes = [&](uint64_t from, std::span<uint8_t> out) {
      return in.file->read_at(from, out.data(), out.size()) == out.size();
    };
    return store_layout(item, in, mode::kBrd, edit_.write_indexed(in.size, bytes), in.size / kBrdUnit);
  }

  // The entry of a file whose layout has been written (or not), with the
  // load and execution addresses given (BSD and BRD files: 0).
  bool store_layout(const Item& item, const HostInput& in, uint8_t m, const Written& written, uint64_t size,
                    const Addresses& addresses = {}) {
    if (written.fault == WriteFault::kNoSpace) {
      report_no_space(rep_, edit_, joined(stack_.back().volume_text, path_component(item.name)));
    }
    if (written.fault == WriteFault::kReadFailed) read_failed(item);
    if (!written) return false;
    const std::optional<EntryRef> e = free_entry();
    if (!e) return false;
    NewEntry entry{m, item.name, sized_fields(static_cast<uint32_t>(size)), written.start, encode_time_stamp(in.time)};
    std::copy(addresses.begin(), addresses.end(), entry.fields.begin() + 2);
    edit_.write_entry(*e, entry);
    return true;
  }

  Report& rep_;
  Host& host_;
  const Volume& vol_;
  VolumeEdit& edit_;
  std::string prefix_;  // the command's path, for volume paths in messages
  std::vector<FolderIn> stack_;
  TextKinds kinds_;  // NAME.bas listings, NAME.txt text
  TextForm form_;    // of those
  std::vector<uint8_t> buffer_;  // room for the longest BSD file and a byte
  std::vector<uint8_t> converted_;  // the bytes of the last listing or text read
};

// The directory the command fills, made when its last component is
// missing; nothing after reporting why there is none.
std::optional<uint32_t> target_directory(const Volume& vol, Report& rep, TreeStorer& storer, const std::string& path,
                                         const HostTime& folder_time) {
  if (names_the_root(path)) return kRootDirectoryRecord;
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const PathResult target = resolve_path(vol, rep, p);
  if (!target.name) {
    if (target.fault == PathFault::kDirectoryMissing) return std::nullopt;
    if (target.too_long) {
      rep.err(msg::kNameTooLong, as_volume_path(path));
    } else {
      rep.err(msg::kDirectoryNotFound, path);
    }
    return std::nullopt;
  }
  if (target.entry) {
    const uint32_t dir = vol.start_record(*target.entry);
    if (vol.mode(*target.entry) != mode::kDir || !vol.holds_directory(dir)) {
      rep.err(msg::kNotADirectory, path);
      return std::nullopt;
    }
    return dir;
  }
  if (is_dot_name(target.last())) {
    rep.err(msg::kAlreadyExists, as_volume_path(path));
    return std::nullopt;
  }
  return storer.make_directory_in(target.directory, target.last(), folder_time, parent_text(p), p);
}

}  // namespace

std::optional<std::vector<std::string>> store_tree(Volume& vol, Report& rep, Host& host, const std::string& path,
                                                   const std::string& host_folder, TextKinds kinds, TextForm form) {
  const HostPath top = HostPath::from_argument(host_folder);
  const PathKind top_kind = host.path_kind(top);
  if (top_kind != PathKind::kFolder && top_kind != PathKind::kFile) {
    rep.err(msg::kPathNotFound, as_host_text(host_folder));
    return std::nullopt;
  }
  VolumeEdit edit(vol, alloc_trace(rep));
  TreeStorer storer(rep, host, edit, names_the_root(path) ? std::string() : path, kinds, form);
  const std::optional<uint32_t> dir =
      target_directory(vol, rep, storer, path, host.path_time(top).value_or(HostTime{}));
  if (!dir || !storer.run(*dir, top, host_folder, top_kind == PathKind::kFile)) {
    edit.rollback();
    return std::nullopt;
  }
  return std::move(storer.lines);
}

void report_stored_tree(Report& rep, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) rep.out(msg::kTreeFileLine, line);
  rep.out(msg::kFilesStored, static_cast<int>(lines.size()));
}

}  // namespace tarnwick
