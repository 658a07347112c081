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

namespace tarnwick {

namespace {

std::optional<HostTime> local_time_of(std::time_t when) {
  std::tm local{};
  if (!localtime_r(&when, &local)) return std::nullopt;
  const int64_t year = int64_t{local.tm_year} + 1900;
  if (year < INT32_MIN || year > INT32_MAX) return std::nullopt;
  return HostTime{static_cast<int32_t>(year), local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
}

EntryKind kind_of(mode_t m) {
  if (S_ISREG(m)) return EntryKind::kFile;
  if (S_ISDIR(m)) return EntryKind::kFolder;
  return EntryKind::kOther;
}

}  // namespace

std::optional<std::u32string> name_code_points(const NativeString& name) {
  std::u32string out;
  size_t i = 0;
  while (i < name.size()) {
    const auto b = static_cast<uint8_t>(name[i]);
    const size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > name.size()) return std::nullopt;
    char32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; k < n; ++k) {
      const auto t = static_cast<uint8_t>(name[i + k]);
      if ((t & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (t & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are no characters.
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kLeast[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    out += c;
    i += n;
  }
  return out;
}

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
