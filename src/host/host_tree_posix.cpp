// Host folders on POSIX systems.
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string_view>

#include "host/host_tree.h"
#include "host/platform.h"

namespace tarnwick {

namespace {

EntryKind kind_of(mode_t m) {
  if (S_ISREG(m)) return EntryKind::kFile;
  if (S_ISDIR(m)) return EntryKind::kFolder;
  return EntryKind::kOther;
}

}  // namespace

std::string printable_text(const NativeString& text) { return text; }

namespace platform {

bool list_folder(const NativeString& path, std::vector<FolderEntry>& entries) {
  DIR* dir = opendir(path.c_str());
  if (!dir) return false;
  tzset();
  errno = 0;
  while (const dirent* e = readdir(dir)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry entry;
    entry.name = NativeString(name);
    struct stat st {};
    // The entry itself: a link is looked at, not what it leads to.
    if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      entry.kind = kind_of(st.st_mode);
      entry.time = local_time_of(st.st_mtime);
    }
    entries.push_back(std::move(entry));
    errno = 0;
  }
  const bool complete = errno == 0;
  closedir(dir);
  return complete;
}

std::optional<HostTime> path_time(const NativeString& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  tzset();
  return local_time_of(st.st_mtime);
}

}  // namespace platform

}  // namespace tarnwick

#endif  // !_WIN32
