#include "host/in_memory_host.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tarnwick {

namespace {

constexpr const char* kMissing = "No such file or directory";
constexpr const char* kTaken = "File exists";

bool is_separator(NativeChar c) {
#ifdef _WIN32
  if (c == NativeChar('\\')) return true;
#endif
  return c == NativeChar('/');
}

// The folder a path lies in: what comes before its last separator, or
// nothing for a path of one component.
std::optional<NativeString> folder_of(const NativeString& path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (is_separator(path[i - 1])) return path.substr(0, i - 1);
  }
  return std::nullopt;
}

// A file of the host, read and written at any offset; it follows its path,
// and fails once the path holds no file.
class MemoryFile final : public NewFile {
 public:
  MemoryFile(InMemoryHost& host, NativeString path) : host_(host), path_(std::move(path)) {}

  size_t read_at(uint64_t offset, void* buf, size_t n) override {
    const std::vector<uint8_t>* bytes = data();
    if (!bytes || offset >= bytes->size()) return 0;
    const size_t got = static_cast<size_t>(std::min<uint64_t>(n, bytes->size() - offset));
    std::memcpy(buf, bytes->data() + offset, got);
    return got;
  }
  size_t write_at(uint64_t offset, const void* buf, size_t n) override {
    std::vector<uint8_t>* bytes = data();
    if (!bytes || n == 0) return 0;
    if (bytes->size() < offset + n) bytes->resize(static_cast<size_t>(offset + n));
    std::memcpy(bytes->data() + offset, buf, n);
    return n;
  }
  bool failed() override { return !data(); }
  std::string failure_text() override { return failed() ? kMissing : ""; }
  bool last_write_time(HostTime& t) override {
    const std::optional<HostTime> time = host_.path_time(HostPath::from_native(path_));
    if (time) t = *time;
    return time.has_value();
  }
  bool sync() override { return !failed(); }
  bool close() override { return !failed(); }
  uint64_t link_count() override { return 1; }
  std::optional<uint64_t> size() override {
    const std::vector<uint8_t>* bytes = data();
    return bytes ? std::optional<uint64_t>(bytes->size()) : std::nullopt;
  }
  std::optional<HostPath> real_path(const HostPath& opened_as) override { return opened_as; }
  std::optional<std::string> lock_unavailable() override { return std::nullopt; }
  bool set_time(const HostTime& t) override { return host_.set_time(HostPath::from_native(path_), t); }

 private:
  std::vector<uint8_t>* data() {
    const auto it = host_.entries.find(path_);
    return it == host_.entries.end() || it->second.folder ? nullptr : &it->second.bytes;
  }

  InMemoryHost& host_;
  NativeString path_;
};

class MemoryFolder final : public HostFolder {
 public:
  MemoryFolder(InMemoryHost& host, HostPath path) : host_(host), path_(std::move(path)) {}
  std::unique_ptr<HostFolder> make_folder(std::u32string_view name, std::string* reason) override {
    if (!host_.make_folder(path_ / name, reason)) return nullptr;
    return std::make_unique<MemoryFolder>(host_, path_ / name);
  }
  std::unique_ptr<NewFile> create_file(std::u32string_view name, std::string* reason) override {
    if (!host_.create_file(path_ / name, reason)) return nullptr;
    return std::make_unique<MemoryFile>(host_, (path_ / name).native());
  }
  bool remove_file(std::u32string_view name) override { return host_.remove_file(path_ / name); }
  bool set_time(const HostTime& t) override { return host_.set_time(path_, t); }
  bool make_durable() override { return true; }

 private:
  InMemoryHost& host_;
  HostPath path_;
};

}  // namespace

InMemoryHost::Entry* InMemoryHost::find(const NativeString& path, bool folder) {
  const auto it = entries.find(path);
  return it == entries.end() || it->second.folder != folder ? nullptr : &it->second;
}

const char* InMemoryHost::cannot_make(const NativeString& path) {
  if (entries.contains(path)) return kTaken;
  const std::optional<NativeString> folder = folder_of(path);
  if (path.empty() || (folder && !folder->empty() && !find(*folder, true))) return kMissing;
  return nullptr;
}

std::unique_ptr<File> InMemoryHost::open(const HostPath& path, OpenMode mode, std::string* reason, Lock) {
  const NativeString& p = path.native();
  if (mode == OpenMode::kCreate && !find(p, false) && !create_file(path, reason)) return nullptr;
  Entry* file = find(p, false);
  if (!file) {
    if (reason) *reason = kMissing;
    return nullptr;
  }
  if (mode == OpenMode::kCreate) file->bytes.clear();
  return std::make_unique<MemoryFile>(*this, p);
}

bool InMemoryHost::same_file(const HostPath& a, const HostPath& b) { return a == b && find(a.native(), false); }

std::unique_ptr<File> InMemoryHost::open_standard(OpenMode, std::string* reason) {
  if (reason) *reason = kMissing;
  return nullptr;
}

PathKind InMemoryHost::path_kind(const HostPath& path) {
  const auto it = entries.find(path.native());
  if (it == entries.end()) return PathKind::kMissing;
  return it->second.folder ? PathKind::kFolder : PathKind::kFile;
}

bool InMemoryHost::folder_is_empty(const HostPath& path) {
  return find(path.native(), true) &&
         std::none_of(entries.begin(), entries.end(), [&](const auto& e) { return folder_of(e.first) == path.native(); });
}

bool InMemoryHost::make_folder(const HostPath& path, std::string* reason) {
  if (const char* why = cannot_make(path.native())) {
    if (reason) *reason = why;
    return false;
  }
  entries[path.native()].folder = true;
  return true;
}

std::unique_ptr<File> InMemoryHost::create_file(const HostPath& path, std::string* reason) {
  if (const char* why = cannot_make(path.native())) {
    if (reason) *reason = why;
    return nullptr;
  }
  entries[path.native()];
  return std::make_unique<MemoryFile>(*this, path.native());
}

std::unique_ptr<File> InMemoryHost::open_regular(const HostPath& path, PathKind& found, std::string* reason) {
  found = path_kind(path);
  return found == PathKind::kFile ? open(path, OpenMode::kRead, reason) : nullptr;
}

bool InMemoryHost::remove_file(const HostPath& path) {
  if (!find(path.native(), false)) return false;
  entries.erase(path.native());
  return true;
}

bool InMemoryHost::rename_file(const HostPath& from, const HostPath& to, std::string* reason) {
  Entry* file = find(from.native(), false);
  if (!file || find(to.native(), true)) {
    if (reason) *reason = kMissing;
    return false;
  }
  Entry moved = std::move(*file);
  entries.erase(from.native());
  entries[to.native()] = std::move(moved);
  return true;
}

bool InMemoryHost::set_time(const HostPath& path, const HostTime& t) {
  const auto it = entries.find(path.native());
  if (it == entries.end() || !host_time_is_valid(t)) return false;
  it->second.time = t;
  return true;
}

std::unique_ptr<HostFolder> InMemoryHost::open_folder(const HostPath& path) {
  if (!find(path.native(), true)) return nullptr;
  return std::make_unique<MemoryFolder>(*this, path);
}

bool InMemoryHost::list_folder(const HostPath& path, std::vector<FolderEntry>& listed) {
  if (!find(path.native(), true)) return false;
  for (const auto& [p, e] : entries) {
    if (folder_of(p) != path.native()) continue;
    const NativeString name = p.substr(path.native().size() + 1);
    listed.push_back(FolderEntry{name, e.folder ? EntryKind::kFolder : EntryKind::kFile, e.time});
  }
  return true;
}

std::optional<HostTime> InMemoryHost::path_time(const HostPath& path) {
  const auto it = entries.find(path.native());
  return it == entries.end() ? std::nullopt : it->second.time;
}

}  // namespace tarnwick
