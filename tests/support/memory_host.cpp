#include "support/memory_host.h"

#include "app/frontend.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tarnwick::testing {

namespace {

class MemoryFile final : public File {
 public:
  MemoryFile(MemoryHost& host, std::string name, bool lock_unavailable = false, bool in_sectors = false)
      : host_(host), name_(std::move(name)), lock_unavailable_(lock_unavailable), in_sectors_(in_sectors) {}

  size_t read_at(uint64_t offset, void* buf, size_t n) override {
    if (!in_sequence(offset)) return 0;
    const auto& data = host_.files[name_];
    if (offset >= data.size()) return 0;
    size_t got = static_cast<size_t>(std::min<uint64_t>(n, data.size() - offset));
    if (host_.faulty(name_) && host_.read_budget) {
      if (*host_.read_budget < got) failed_ = true;
      got = static_cast<size_t>(std::min<uint64_t>(got, *host_.read_budget));
      *host_.read_budget -= got;
    }
    std::memcpy(buf, data.data() + offset, got);
    pos_ = offset + got;
    return got;
  }

  size_t write_at(uint64_t offset, const void* buf, size_t n) override {
    if (!in_sequence(offset)) return 0;
    if (!host_.step()) {
      failed_ = true;
      return 0;
    }
    size_t allowed = n;
    if (host_.faulty(name_) && host_.write_budget) {
      allowed = static_cast<size_t>(std::min<uint64_t>(n, *host_.write_budget));
      // A write in place stops at a sector's end, as a device writes.
      if (in_sectors_ && allowed < n) allowed -= std::min(allowed, static_cast<size_t>((offset + allowed) % 512));
      *host_.write_budget -= allowed;
    }
    host_.written[name_] += allowed;
    if (allowed < n) failed_ = true;
    if (allowed == 0) return 0;  // an empty file has no buffer to copy into
    auto& data = host_.files[name_];
    if (data.size() < offset + allowed) data.resize(static_cast<size_t>(offset + allowed), 0);
    std::memcpy(data.data() + offset, buf, allowed);
    pos_ = offset + allowed;
    return allowed;
  }

  bool failed() override { return failed_; }
  std::string failure_text() override { return failed_ ? "Input/output error" : ""; }

  bool last_write_time(HostTime& t) override {
    auto it = host_.times.find(name_);
    if (it == host_.times.end()) return false;
    t = it->second;
    return true;
  }

  // A failed sync or close counts as a failed write, as on a real host.
  bool sync() override {
    if (!host_.step() || (host_.faulty(name_) && host_.fail_sync)) {
      failed_ = true;
      return false;
    }
    if (host_.on_sync) host_.on_sync(name_);
    host_.synced[name_] = host_.files[name_];
    return true;
  }
  bool close() override {
    if (host_.faulty(name_) && host_.fail_close) failed_ = true;
    return !failed_;
  }

  uint64_t link_count() override {
    const auto it = host_.link_counts.find(name_);
    return it == host_.link_counts.end() ? 1 : it->second;
  }
  std::optional<uint64_t> size() override { return host_.files[name_].size(); }
  // A name leads to itself: the memory host has no links.
  std::optional<HostPath> real_path(const HostPath& opened_as) override {
    if (opened_as.native() != name_) return std::nullopt;
    return opened_as;
  }
  std::optional<std::string> lock_unavailable() override {
    if (!lock_unavailable_) return std::nullopt;
    return "No locks available";
  }

 private:
  // A pipe is read and written where the last access ended, and nowhere else.
  bool in_sequence(uint64_t offset) {
    if (!host_.is_pipe(name_) || offset == pos_) return true;
    failed_ = true;
    return false;
  }

  MemoryHost& host_;
  std::string name_;
  uint64_t pos_ = 0;
  bool failed_ = false;
  bool lock_unavailable_ = false;
  bool in_sectors_ = false;
};

}  // namespace

std::unique_ptr<File> MemoryHost::open(const HostPath& path, OpenMode mode, std::string* reason, Lock lock) {
  const std::string& name = path.native();
  locks[name] = lock;
  if (mode != OpenMode::kRead && std::find(read_only.begin(), read_only.end(), name) != read_only.end()) {
    if (reason) *reason = "Permission denied";
    return nullptr;
  }
  if (mode == OpenMode::kCreate) {
    files[name].clear();
  } else if (!files.count(name)) {
    if (reason) *reason = "No such file or directory";
    return nullptr;
  }
  return std::make_unique<MemoryFile>(*this, name, no_locks && lock != Lock::kNone, mode == OpenMode::kUpdate);
}

namespace {

// The folder a path lies in must exist, unless the path has none.
bool parent_exists(const MemoryHost& host, const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 || host.folders.count(path.substr(0, slash));
}

// Where a file or folder cannot be made, and the system's words for why.
bool cannot_make(MemoryHost& host, const std::string& p, std::string* reason) {
  const char* why = nullptr;
  if (host.fail_create && host.faulty(p)) {
    why = "Permission denied";
  } else if (p.empty() || !parent_exists(host, p)) {
    why = "No such file or directory";
  } else if (host.path_kind(HostPath::from_native(p)) != PathKind::kMissing) {
    why = "File exists";
  }
  if (why && reason) *reason = why;
  return why != nullptr;
}

}  // namespace

PathKind MemoryHost::path_kind(const HostPath& path) {
  if (others.count(path.native())) return PathKind::kOther;
  if (files.count(path.native())) return PathKind::kFile;
  if (folders.count(path.native())) return PathKind::kFolder;
  return PathKind::kMissing;
}

bool MemoryHost::folder_is_empty(const HostPath& path) {
  const std::string prefix = path.native() + "/";
  const auto inside = [&](const auto& entry) { return entry.first.rfind(prefix, 0) == 0; };
  const auto starts = [&](const std::string& f) { return f.rfind(prefix, 0) == 0; };
  return folders.count(path.native()) && std::none_of(files.begin(), files.end(), inside) &&
         std::none_of(folders.begin(), folders.end(), starts);
}

bool MemoryHost::make_folder(const HostPath& path, std::string* reason) {
  const std::string& p = path.native();
  if (cannot_make(*this, p, reason)) return false;
  folders.insert(p);
  return true;
}

std::unique_ptr<File> MemoryHost::create_file(const HostPath& path, std::string* reason) {
  const std::string& p = path.native();
  if (!step()) {
    if (reason) *reason = "Input/output error";
    return nullptr;
  }
  if (cannot_make(*this, p, reason)) return nullptr;
  files[p].clear();
  return std::make_unique<MemoryFile>(*this, p);
}

std::unique_ptr<File> MemoryHost::create_locked_file(const HostPath& path, std::string* reason) {
  std::unique_ptr<File> file = create_file(path, reason);
  if (file) {
    locks[path.native()] = Lock::kExclusive;
    if (no_locks) file = std::make_unique<MemoryFile>(*this, path.native(), true);
  }
  return file;
}

std::unique_ptr<File> MemoryHost::open_regular(const HostPath& path, PathKind& found, std::string* reason) {
  const std::string& p = path.native();
  if (others.count(p)) {
    found = PathKind::kOther;
    return nullptr;
  }
  found = path_kind(path);
  if (found != PathKind::kFile) return nullptr;
  return open(path, OpenMode::kRead, reason);
}

bool MemoryHost::remove_file(const HostPath& path) {
  if (!step()) return false;
  times.erase(path.native());
  return files.erase(path.native()) != 0;
}

bool MemoryHost::rename_file(const HostPath& from, const HostPath& to, std::string* reason) {
  const auto file = files.find(from.native());
  if (!step() || fail_rename || file == files.end() || folders.count(to.native())) {
    if (reason) *reason = "Operation not permitted";
    return false;
  }
  std::vector<uint8_t> bytes = std::move(file->second);
  files.erase(file);
  files[to.native()] = std::move(bytes);
  times.erase(to.native());
  if (const auto t = times.find(from.native()); t != times.end()) {
    times[to.native()] = t->second;
    times.erase(t);
  }
  return true;
}

namespace {

std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

bool MemoryHost::sync_folder_of(const HostPath& path) {
  if (!step()) return false;
  const std::string folder = folder_of(path.native());
  std::erase_if(durable_names, [&](const std::string& name) { return folder_of(name) == folder; });
  for (const auto& [name, bytes] : files) {
    if (folder_of(name) == folder) durable_names.insert(name);
  }
  return true;
}

void MemoryHost::keep_as_synced() {
  synced = files;
  durable_names.clear();
  for (const auto& [name, bytes] : files) durable_names.insert(name);
}

bool MemoryHost::step() {
  if (crash_after && steps >= *crash_after) return false;
  ++steps;
  return true;
}

void MemoryHost::crash(Crash how) {
  crash_after.reset();
  steps = 0;
  if (how != Crash::kProcessKilled) {
    std::map<std::string, std::vector<uint8_t>> kept;
    for (const std::string& name : durable_names) {
      if (how == Crash::kNamesLost && files.count(name)) {
        kept[name] = files[name];
      } else {
        kept[name] = synced.count(name) ? synced[name] : std::vector<uint8_t>{};
      }
    }
    files = std::move(kept);
  }
  keep_as_synced();
}

bool MemoryHost::set_time(const HostPath& path, const HostTime& t) {
  if (fail_set_time || path_kind(path) == PathKind::kMissing || is_pipe(path.native()) || !host_time_is_valid(t)) {
    return false;
  }
  times[path.native()] = t;
  return true;
}

namespace {

class MemoryNewFile final : public NewFile {
 public:
  MemoryNewFile(MemoryHost& host, std::unique_ptr<File> file, HostPath path)
      : host_(host), file_(std::move(file)), path_(std::move(path)) {}
  size_t read_at(uint64_t offset, void* buf, size_t n) override { return file_->read_at(offset, buf, n); }
  size_t write_at(uint64_t offset, const void* buf, size_t n) override { return file_->write_at(offset, buf, n); }
  bool failed() override { return file_->failed(); }
  std::string failure_text() override { return file_->failure_text(); }
  bool last_write_time(HostTime& t) override { return file_->last_write_time(t); }
  bool sync() override { return file_->sync(); }
  bool close() override { return file_->close(); }
  uint64_t link_count() override { return file_->link_count(); }
  std::optional<uint64_t> size() override { return file_->size(); }
  std::optional<HostPath> real_path(const HostPath& opened_as) override { return file_->real_path(opened_as); }
  std::optional<std::string> lock_unavailable() override { return file_->lock_unavailable(); }
  bool set_time(const HostTime& t) override { return host_.set_time(path_, t); }

 private:
  MemoryHost& host_;
  std::unique_ptr<File> file_;
  HostPath path_;
};

class MemoryFolder final : public HostFolder {
 public:
  MemoryFolder(MemoryHost& host, HostPath path) : host_(host), path_(std::move(path)) {}
  std::unique_ptr<HostFolder> make_folder(std::u32string_view name, std::string* reason) override {
    if (!host_.make_folder(path_ / name, reason)) return nullptr;
    return std::make_unique<MemoryFolder>(host_, path_ / name);
  }
  std::unique_ptr<NewFile> create_file(std::u32string_view name, std::string* reason) override {
    std::unique_ptr<File> f = host_.create_file(path_ / name, reason);
    if (!f) return nullptr;
    return std::make_unique<MemoryNewFile>(host_, std::move(f), path_ / name);
  }
  bool remove_file(std::u32string_view name) override { return host_.remove_file(path_ / name); }
  bool set_time(const HostTime& t) override { return host_.set_time(path_, t); }
  bool make_durable() override {
    ++host_.durable_calls;
    return !host_.fail_durable;
  }

 private:
  MemoryHost& host_;
  HostPath path_;
};

}  // namespace

std::unique_ptr<HostFolder> MemoryHost::open_folder(const HostPath& path) {
  if (!folders.count(path.native())) return nullptr;
  return std::make_unique<MemoryFolder>(*this, path);
}

std::unique_ptr<File> MemoryHost::open_standard(OpenMode mode, std::string*) {
  if (mode == OpenMode::kUpdate) return nullptr;
  const std::string name = mode == OpenMode::kRead ? kStandardInput : kStandardOutput;
  if (mode == OpenMode::kRead) times[name] = clock;
  files[name];  // an empty stream when nothing was put there
  return std::make_unique<MemoryFile>(*this, name);
}

bool MemoryHost::is_pipe(const std::string& name) const {
  if (name == kStandardInput || name == kStandardOutput) return true;
  return std::find(pipes.begin(), pipes.end(), name) != pipes.end();
}

bool MemoryHost::list_folder(const HostPath& path, std::vector<FolderEntry>& entries) {
  if (!folders.count(path.native())) return false;
  const std::string prefix = path.native() + "/";
  // The entries directly inside: names after the prefix without a '/'.
  const auto add = [&](const std::string& p, EntryKind kind) {
    if (p.rfind(prefix, 0) != 0 || p.find('/', prefix.size()) != std::string::npos) return;
    const auto t = times.find(p);
    entries.push_back(FolderEntry{p.substr(prefix.size()), kind,
                                  t == times.end() ? std::nullopt : std::optional<HostTime>(t->second)});
  };
  for (const auto& [name, bytes] : files) add(name, is_pipe(name) ? EntryKind::kOther : EntryKind::kFile);
  for (const std::string& name : folders) add(name, EntryKind::kFolder);
  for (const std::string& name : others) add(name, EntryKind::kOther);
  return true;
}

std::optional<HostTime> MemoryHost::path_time(const HostPath& path) {
  const auto t = times.find(path.native());
  if (t == times.end() || path_kind(path) == PathKind::kMissing) return std::nullopt;
  return t->second;
}

MemoryHost stopped_before_journal_removal(const MemoryHost& start, const std::vector<std::string>& args) {
  std::vector<const char*> argv{"tarnwick"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  Console con;
  MemoryHost clean = start;
  run_tarnwick(static_cast<int>(argv.size()), argv.data(), con, clean);
  MemoryHost host = start;
  host.crash_after = clean.steps - 2;
  run_tarnwick(static_cast<int>(argv.size()), argv.data(), con, host);
  return host;
}

}  // namespace tarnwick::testing
