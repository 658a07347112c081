// Host folders on Windows, through the wide-character calls.
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <string_view>

#include "host/host_tree.h"

namespace tarnwick {

namespace {

std::optional<HostTime> local_time_of(const FILETIME& written) {
  SYSTEMTIME utc;
  SYSTEMTIME local;
  if (!FileTimeToSystemTime(&written, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    return std::nullopt;
  }
  return HostTime{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute};
}

// Long paths reach the file system only as full paths with the "\\?\"
// prefix (see the platform calls).
std::wstring long_path(const std::wstring& path) {
  if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\", 0) == 0) return path;
  const DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return path;
  std::wstring full(need, L'\0');
  const DWORD got = GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return path;
  full.resize(got);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

EntryKind kind_of(DWORD attributes) {
  // A link or junction is a reparse point: it is not followed.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::kOther;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::kFolder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryKind::kOther;
  return EntryKind::kFile;
}

}  // namespace

std::optional<std::u32string> name_code_points(const NativeString& name) {
  std::u32string out;
  for (size_t i = 0; i < name.size(); ++i) {
    const char32_t u = static_cast<char16_t>(name[i]);
    if (u >= 0xDC00 && u <= 0xDFFF) return std::nullopt;
    if (u < 0xD800 || u > 0xDBFF) {
      out += u;
      continue;
    }
    if (i + 1 >= name.size()) return std::nullopt;
    const char32_t low = static_cast<char16_t>(name[i + 1]);
    if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
    out += 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
    ++i;
  }
  return out;
}

std::string printable_text(const NativeString& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), size, out.data(), n, nullptr, nullptr);
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
  HANDLE h = FindFirstFileW(long_path(pattern).c_str(), &found);
  // A drive's root lists no "." and "..", so an empty one lists nothing.
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back(FolderEntry{std::wstring(name), kind_of(found.dwFileAttributes),
                                  local_time_of(found.ftLastWriteTime)});
  } while (FindNextFileW(h, &found));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(h);
  return complete;
}

std::optional<HostTime> path_time(const NativeString& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(long_path(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return local_time_of(data.ftLastWriteTime);
}

}  // namespace platform

}  // namespace tarnwick

#endif  // _WIN32
