// A host held in memory: folders and files by their paths, each file's
// bytes and each entry's last-write time. It is the host of a face that
// has no file system of its own (the web page): X writes a tree into it
// and A reads one from it, as they do on disk.
//
// Paths are native paths (host/host_path.h) whose components are joined by
// HostPath's separator; a path's folder is what comes before its last
// separator. There are no standard streams, no locks and no links, and
// nothing fails but a name that is taken or a folder that is missing.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/file.h"

namespace tarnwick {

class InMemoryHost final : public Host {
 public:
  struct Entry {
    bool folder = false;
    std::vector<uint8_t> bytes;     // a file's
    std::optional<HostTime> time;   // last-write time, when set
  };
  // Every folder and file, by path.
  std::map<NativeString, Entry> entries;
  // What now() gives.
  HostTime clock{};

  std::unique_ptr<File> open(const HostPath& path, OpenMode mode, std::string* reason = nullptr,
                             Lock lock = Lock::kNone) override;
  HostTime now() override { return clock; }
  bool same_file(const HostPath& a, const HostPath& b) override;
  std::unique_ptr<File> open_standard(OpenMode mode, std::string* reason = nullptr) override;
  bool is_standard_output(const HostPath&) override { return false; }
  PathKind path_kind(const HostPath& path) override;
  bool folder_is_empty(const HostPath& path) override;
  bool make_folder(const HostPath& path, std::string* reason = nullptr) override;
  std::unique_ptr<File> create_file(const HostPath& path, std::string* reason = nullptr) override;
  std::unique_ptr<File> create_locked_file(const HostPath& path, std::string* reason = nullptr) override {
    return create_file(path, reason);
  }
  std::unique_ptr<File> open_regular(const HostPath& path, PathKind& found, std::string* reason = nullptr) override;
  bool remove_file(const HostPath& path) override;
  bool rename_file(const HostPath& from, const HostPath& to, std::string* reason = nullptr) override;
  bool sync_folder_of(const HostPath&) override { return true; }
  bool set_time(const HostPath& path, const HostTime& t) override;
  std::unique_ptr<HostFolder> open_folder(const HostPath& path) override;
  bool list_folder(const HostPath& path, std::vector<FolderEntry>& entries) override;
  std::optional<HostTime> path_time(const HostPath& path) override;
  void prepare_for_writing(void*, size_t) override {}

 private:
  Entry* find(const NativeString& path, bool folder);
  // Why `path` cannot be made, when it cannot: taken, or its folder missing.
  const char* cannot_make(const NativeString& path);
};

}  // namespace tarnwick
