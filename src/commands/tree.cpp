#include "commands/tree.h"

#include <memory>
#include <vector>

#include "commands/extract.h"
#include "host/host_name.h"
#include "host/host_path.h"
#include "volume/path.h"
#include "volume/timestamp.h"
#include "volume/walk.h"

namespace tarnwick {

namespace {

// A directory being written out: where it is on the volume and on the host,
// its path text from the volume's root ("" for the top), the time its host
// folder gets once its contents are written, the next entry to visit and
// the host names given out in its folder.
struct Frame {
  uint32_t dir;
  HostPath folder;
  std::string text;
  std::optional<HostTime> time;
  int next_entry = 1;
  FolderNames names;
};

const char* extension_of(uint8_t m) {
  switch (m) {
    case mode::kObj:
    case mode::kBtx: return ".mzt";
    case mode::kBsd: return ".bsd";
    default: return ".brd";
  }
}

class TreeWriter {
 public:
  explicit TreeWriter(RunContext& ctx) : ctx_(ctx), vol_(ctx.vol), con_(ctx.con), entered_(vol_.record_count(), false) {}

  // Writes the tree below directory `dir` into `folder`, depth first in entry
  // order; the number of files written. Directories are entered once each,
  // so the walk ends on any volume.
  int run(uint32_t dir, const HostPath& folder) {
    if (dir < entered_.size()) entered_[dir] = true;
    stack_.push_back(Frame{dir, folder, "", std::nullopt, 1, FolderNames()});
    while (!stack_.empty()) {
      Frame& f = stack_.back();
      if (f.next_entry >= kEntriesPerDirectory) {
        if (f.time) ctx_.host.set_time(f.folder, *f.time);
        stack_.pop_back();
        continue;
      }
      visit(Volume::entry_at(f.dir, f.next_entry++));
    }
    return files_;
  }

 private:
  // One entry of the directory on top of the stack; a subdirectory is pushed
  // and walked next.
  void visit(EntryRef e) {
    const uint8_t m = vol_.mode(e);
    if (m == mode::kFree) return;
    const std::string name = entry_name_text(vol_, e);
    if (is_dot_name(name)) return;
    Frame& f = stack_.back();
    const std::string text = f.text.empty() ? name : f.text + "/" + name;
    const HostTime time = decode_time_stamp(vol_.time_stamp(e));
    if (m == mode::kDir) {
      const uint32_t dir = vol_.start_record(e);
      std::optional<HostPath> folder = make_subfolder(f.folder, f.names, name, text, dir);
      // `f` is not used past this point: the push may move it.
      if (folder) stack_.push_back(Frame{dir, std::move(*folder), text, time, 1, FolderNames()});
      return;
    }
    if (layout_of(m) == Layout::kNone) {
      con_.err(msg::kUnsupportedMode, unsigned{m});
      return;
    }
    std::u32string host = host_name(name);
    for (const char* c = extension_of(m); *c; ++c) host.push_back(static_cast<char32_t>(*c));
    write_file(f.folder / f.names.claim(host), e, name, text, time);
  }

  std::optional<HostPath> make_subfolder(const HostPath& parent, FolderNames& names, const std::string& name,
                                         const std::string& text, uint32_t dir) {
    if (!vol_.holds_directory(dir) || entered_[dir]) {
      con_.err(msg::kSubdirectoryError, text.c_str());
      return std::nullopt;
    }
    entered_[dir] = true;
    const HostPath folder = parent / names.claim(host_name(name));
    if (!ctx_.host.make_folder(folder)) {
      con_.err(msg::kCannotWrite, as_volume_path(text.c_str()));
      return std::nullopt;
    }
    return folder;
  }

  void write_file(const HostPath& path, EntryRef e, const std::string& name, const std::string& text,
                  const HostTime& time) {
    std::unique_ptr<File> out = ctx_.host.create_file(path);
    if (!out) {
      con_.err(msg::kCannotWrite, as_volume_path(text.c_str()));
      return;
    }
    const Extraction result = extract_contents(vol_, con_, e, name, *out);
    bool written = result == Extraction::kWritten && out->sync();
    written = out->close() && written;
    out.reset();
    if (!written) {
      if (result != Extraction::kRefused) con_.err(msg::kCannotWrite, as_volume_path(text.c_str()));
      ctx_.host.remove_file(path);
      return;
    }
    ctx_.host.set_time(path, time);
    con_.out(msg::kTreeFileLine, text.c_str());
    ++files_;
  }

  RunContext& ctx_;
  const Volume& vol_;
  Console& con_;
  std::vector<bool> entered_;
  std::vector<Frame> stack_;
  int files_ = 0;
};

}  // namespace

void command_extract_tree(RunContext& ctx, const std::string& path, const std::string& host_folder) {
  // The directory as L takes it, which must lead through directories all
  // the way.
  const Resolution r = resolve_path(ctx.vol, ctx.con, directory_path(path));
  if (r.failure != ResolveFailure::kEmptyLast) {
    if (r.failure != ResolveFailure::kDirectoryMissing) ctx.con.err(msg::kDirectoryNotFound, path.c_str());
    return;
  }
  const HostPath folder = HostPath::from_argument(host_folder);
  const PathKind kind = ctx.host.path_kind(folder);
  const bool usable = kind == PathKind::kMissing ? ctx.host.make_folder(folder)
                                                 : kind == PathKind::kFolder && ctx.host.folder_is_empty(folder);
  if (!usable) {
    ctx.con.err(msg::kCannotWrite, host_folder.c_str());
    return;
  }
  const int files = TreeWriter(ctx).run(r.directory, folder);
  ctx.con.out(msg::kFilesExtracted, files);
}

}  // namespace tarnwick
