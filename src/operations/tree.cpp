#include "operations/tree.h"

#include <memory>
#include <optional>
#include <vector>

#include "codecs/text_file.h"
#include "host/file.h"
#include "host/host_name.h"
#include "host/host_path.h"
#include "operations/extract.h"
#include "operations/volume_report.h"
#include "output/name_text.h"
#include "volume/path.h"
#include "volume/path_text.h"
#include "volume/timestamp.h"
#include "volume/walk.h"

namespace tarnwick {

namespace {

// A directory being written out: where it is on the volume, its host
// folder (held open, so that what goes into it lands there whatever becomes
// of the folder's path), its path text from the volume's root ("" for the
// top), the time its host folder gets once its contents are written, the
// next entry to visit and the host names given out in its folder.
struct FolderOut {
  uint32_t dir;
  std::unique_ptr<HostFolder> folder;
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
  TreeWriter(const Volume& vol, Report& rep, Host& host, TextKinds kinds, TextForm form)
      : vol_(vol),
        rep_(rep),
        hint_([&host](void* p, size_t n) { host.prepare_for_writing(p, n); }),
        kinds_(kinds),
        form_(form),
        entered_(vol_.record_count(), false) {}

  // Writes the tree below directory `dir` into `top`, depth first in entry
  // order (files() then counts the files written), and makes it durable.
  // Directories are entered once each, so the walk ends on any volume.
  // Files are not synced one by one as they are written: everything is
  // made durable once, at the end (see HostFolder::make_durable). False
  // when that failed.
  bool run(uint32_t dir, std::unique_ptr<HostFolder> top) {
    if (dir < entered_.size()) entered_[dir] = true;
    HostFolder& top_folder = *top;
    stack_.push_back(FolderOut{dir, std::move(top), "", std::nullopt, 1, FolderNames()});
    while (stack_.size() > 1 || stack_.back().next_entry < kEntriesPerDirectory) {
      FolderOut& f = stack_.back();
      if (f.next_entry >= kEntriesPerDirectory) {
        // Nothing more is made in the folder: its time stays as set.
        if (f.time && host_time_is_valid(*f.time) && !f.folder->set_time(*f.time)) {
          rep_.err(msg::kCannotSetTime, as_volume_path(f.text));
        }
        if (!f.folder->make_durable()) rep_.err(msg::kCannotWrite, as_volume_path(f.text));
        stack_.pop_back();
        continue;
      }
      visit(Volume::entry_at(f.dir, f.next_entry++));
    }
    return top_folder.make_durable();
  }

  int files() const { return files_; }
  int skipped() const { return skipped_; }

 private:
  // One entry of the directory on top of the stack; a subdirectory is pushed
  // and walked next.
  void visit(EntryRef e) {
    const uint8_t m = vol_.mode(e);
    if (m == mode::kFree) return;
    const std::string name = entry_name_text(vol_, e);
    FolderOut& f = stack_.back();
    const std::string text = f.text.empty() ? path_component(name) : f.text + "/" + path_component(name);
    // A directory's links to itself and its parent are passed over. A file
    // of those names (no file takes one, so it would not come back) and a
    // file of a kind X does not write are skipped, and said.
    if (is_dot_name(name) && m == mode::kDir) return;
    if (is_dot_name(name) || layout_of(m) == Layout::kNone) {
      rep_.err(msg::kSkippedMode, text, unsigned{m});
      ++skipped_;
      return;
    }
    const HostTime time = decode_time_stamp(vol_.time_stamp(e));
    if (m == mode::kDir) {
      const uint32_t dir = vol_.start_record(e);
      std::unique_ptr<HostFolder> folder = make_subfolder(*f.folder, f.names, name, text, dir);
      // `f` is not used past this point: the push may move it.
      if (folder) stack_.push_back(FolderOut{dir, std::move(folder), text, time, 1, FolderNames()});
      return;
    }
    write_file(*f.folder, f.names, e, name, text, time);
  }

  // The text -b or -t makes of a file, into `text_out` when it has one. False
  // when the file cannot go out at all: its data is damaged (said) or could
  // not be read (which the image's owner says).
  bool as_text(EntryRef e, const std::string& name, AsText how, std::optional<std::string>& text_out) {
    if (how == AsText::kNone) return true;
    if (gather_contents(vol_, rep_, hint_, e, name, buffer_, false) != Extraction::kWritten) return false;
    text_out = file_as_text(how, buffer_, form_);
    return true;
  }

  std::unique_ptr<HostFolder> make_subfolder(HostFolder& parent, FolderNames& names, const std::string& name,
                                             const std::string& text, uint32_t dir) {
    if (!vol_.holds_directory(dir) || entered_[dir]) {
      rep_.err(msg::kSubdirectoryError, text);
      return nullptr;
    }
    entered_[dir] = true;
    std::string reason;
    std::unique_ptr<HostFolder> folder = parent.make_folder(names.claim(host_name(name)), &reason);
    if (!folder) report_cannot_write(rep_, as_volume_path(text), reason);
    return folder;
  }

  // Writes a file as NAME.mzt, NAME.bsd or NAME.brd with R's bytes, or with
  // -b and -t as NAME.bas and NAME.txt with its text, when it has one.
  void write_file(HostFolder& folder, FolderNames& names, EntryRef e, const std::string& name,
                  const std::string& text, const HostTime& time) {
    const AsText how = as_text_for(vol_.mode(e), kinds_);
    std::optional<std::string> converted;
    if (!as_text(e, name, how, converted)) return;
    const std::u32string host = names.claim(host_file_name(name, vol_.mode(e), converted ? how : AsText::kNone));
    std::string reason;
    std::unique_ptr<NewFile> out = folder.create_file(host, &reason);
    if (!out) {
      report_cannot_write(rep_, as_volume_path(text), reason);
      return;
    }
    Extraction result = Extraction::kWritten;
    if (converted) {
      const bool all = converted->empty() || out->write_at(0, converted->data(), converted->size()) == converted->size();
      if (!all) result = Extraction::kWriteFailed;
    } else {
      result = extract_contents(vol_, rep_, hint_, e, name, *out, buffer_);
    }
    const bool written = result == Extraction::kWritten;
    // Stamped after the last write and before the close, through the file
    // itself. A time stamp that names no date leaves the file's time alone.
    const bool timed = !written || !host_time_is_valid(time) || out->set_time(time);
    const bool closed = out->close();
    if (!written || !closed) {
      if (result == Extraction::kWriteFailed || written) {
        report_cannot_write(rep_, as_volume_path(text), out->failure_text());
      }
      out.reset();
      folder.remove_file(host);
      return;
    }
    out.reset();
    if (!timed) rep_.err(msg::kCannotSetTime, as_volume_path(text));
    rep_.out(msg::kTreeFileLine, text);
    if (how != AsText::kNone && !converted) rep_.err(msg::kWrittenAsIs, text);
    ++files_;
  }

  const Volume& vol_;
  Report& rep_;
  MemoryHint hint_;   // for the buffer
  TextKinds kinds_;   // BTX files as NAME.bas listings, BSD files as NAME.txt text
  TextForm form_;     // of those
  std::vector<bool> entered_;
  std::vector<FolderOut> stack_;
  std::vector<uint8_t> buffer_;  // one file's contents at a time
  int files_ = 0;
  int skipped_ = 0;  // files of kinds that are not written out
};

// The folder X writes into, made when it is missing; it must be empty.
// Nothing after saying why it cannot be used.
std::unique_ptr<HostFolder> open_top_folder(Report& rep, Host& host, const std::string& host_folder) {
  const HostPath folder = HostPath::from_argument(host_folder);
  const PathKind kind = host.path_kind(folder);
  std::string reason;
  if (kind == PathKind::kMissing ? !host.make_folder(folder, &reason) : kind != PathKind::kFolder) {
    report_cannot_write(rep, as_host_text(host_folder), reason);
    return nullptr;
  }
  if (kind == PathKind::kFolder && !host.folder_is_empty(folder)) {
    rep.err(msg::kCannotWrite, as_host_text(host_folder));
    rep.err(msg::kNotEmptyFolder, host_folder);
    return nullptr;
  }
  std::unique_ptr<HostFolder> top = host.open_folder(folder);
  if (!top) rep.err(msg::kCannotWrite, as_host_text(host_folder));
  return top;
}

}  // namespace

std::u32string host_file_name(std::string_view name, uint8_t mode, AsText as) {
  std::u32string host = host_name(name);
  const char* extension = as == AsText::kNone ? extension_of(mode) : as == AsText::kBasic ? ".bas" : ".txt";
  for (const char* c = extension; *c; ++c) host.push_back(static_cast<char32_t>(*c));
  return host;
}

ExtractedTree extract_tree(const Volume& vol, Report& rep, Host& host, const std::string& path,
                           const std::string& host_folder, TextKinds kinds, TextForm form) {
  // The directory as L takes it, which must lead through directories all
  // the way.
  const PathResult r = resolve_path(vol, rep, directory_path(path));
  if (r.fault != PathFault::kEmptyLast) {
    if (r.fault != PathFault::kDirectoryMissing) rep.err(msg::kDirectoryNotFound, path);
    return {};
  }
  std::unique_ptr<HostFolder> top = open_top_folder(rep, host, host_folder);
  if (!top) return {};
  TreeWriter writer(vol, rep, host, kinds, form);
  if (!writer.run(r.directory, std::move(top))) rep.err(msg::kCannotWrite, as_host_text(host_folder));
  if (writer.skipped() > 0) {
    rep.out(msg::kFilesExtractedSkipped, writer.files(), writer.skipped());
  } else {
    rep.out(msg::kFilesExtracted, writer.files());
  }
  return {writer.files(), writer.skipped()};
}

}  // namespace tarnwick
