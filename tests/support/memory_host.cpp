#include "support/memory_host.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tarnwick::testing {

namespace {

class MemoryFile final : public File {
 public:
  MemoryFile(MemoryHost& host, std::string name) : host_(host), name_(std::move(name)) {}

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

  bool last_write_time(HostTime& t) override {
    auto it = host_.times.find(name_);
    if (it == host_.times.end()) return false;
    t = it->second;
    return true;
  }

  bool sync() override {
    if (!host_.step() || (host_.faulty(name_) && host_.fail_sync)) return false;
    host_.synced[name_] = host_.files[name_];
    return true;
  }
  bool close() override { return !(host_.faulty(name_) && host_.fail_close); }

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
};

}  // namespace

std::unique_ptr<File> MemoryHost::open(const std::string& name, OpenMode mode, std::string* reason, Lock lock) {
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
  return std::make_unique<MemoryFile>(*this, name);
}

bool MemoryHost::set_file_time(const std::string& name, const HostTime& t) {
  if (!files.count(name) || is_pipe(name)) return false;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return false;
  times[name] = t;
  return true;
}

namespace {

// The folder a path lies in must exist, unless the path has none.
bool parent_exists(const MemoryHost& host, const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 || host.folders.count(path.substr(0, slash));
}

}  // namespace

PathKind MemoryHost::path_kind(const HostPath& path) {
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

bool MemoryHost::make_folder(const HostPath& path) {
  const std::string& p = path.native();
  if (fail_create && faulty(p)) return false;
  if (p.empty() || path_kind(path) != PathKind::kMissing || !parent_exists(*this, p)) return false;
  folders.insert(p);
  return true;
}

std::unique_ptr<File> MemoryHost::create_file(const HostPath& path) {
  const std::string& p = path.native();
  if (!step() || (fail_create && faulty(p))) return nullptr;
  if (p.empty() || path_kind(path) != PathKind::kMissing || !parent_exists(*this, p)) return nullptr;
  files[p].clear();
  return std::make_unique<MemoryFile>(*this, p);
}

bool MemoryHost::remove_file(const HostPath& path) {
  if (!step()) return false;
  times.erase(path.native());
  return files.erase(path.native()) != 0;
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
  if (path_kind(path) == PathKind::kMissing || !host_time_is_valid(t)) return false;
  times[path.native()] = t;
  return true;
}

bool MemoryHost::is_pipe(const std::string& name) const {
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

std::unique_ptr<File> MemoryHost::open_regular(const HostPath& path) {
  const std::string& p = path.native();
  if (!files.count(p) || is_pipe(p) || others.count(p)) return nullptr;
  return std::make_unique<MemoryFile>(*this, p);
}

std::optional<HostTime> MemoryHost::path_time(const HostPath& path) {
  const auto t = times.find(path.native());
  if (t == times.end() || path_kind(path) == PathKind::kMissing) return std::nullopt;
  return t->second;
}

}  // namespace tarnwick::testing
