// Host folders on Windows, through the wide-character calls.
#ifdef _WIN32

#include "host/win32.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "host/host_tree.h"
#include "host/platform.h"

namespace tarnwick {

namespace {

std::optional<HostTime> local_time_of_filetime(const FILETIME& t) {
  return platform::local_time_of((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime);
}

EntryKind kind_of(DWORD attributes) {
  // A link or junction is a reparse point: it is not followed.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::kOther;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::kFolder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryKind::kOther;
  return EntryKind::kFile;
}

}  // namespace

std::string printable_text(const NativeString& text) {
  const int size = static_cast<int>(text.size());
  const int n = size ? WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr) : 0;
  std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
  if (!out.empty()) WideCharToMultiByte(CP_ACP, 0, text.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

namespace platform {

bool list_folder(const NativeString& path, std::vector<FolderEntry>& entries) {
  std::wstring pattern = path;
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/' && pattern.back() != L':') {
    pattern += L'\\';
  }
  pattern += L'*';
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(system_path(pattern).c_str(), &found);
  // A drive's root lists no "." and "..", so an empty one lists nothing.
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back(FolderEntry{std::wstring(name), kind_of(found.dwFileAttributes),
                                  local_time_of_filetime(found.ftLastWriteTime)});
  } while (FindNextFileW(h, &found));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(h);
  return complete;
}

std::optional<HostTime> path_time(const NativeString& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(system_path(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return local_time_of_filetime(data.ftLastWriteTime);
}

}  // namespace platform

}  // namespace tarnwick

#endif  // _WIN32
