// Windows implementations of the platform calls.
//
// File times: Windows keeps a file's times as FILETIMEs, 100-nanosecond
// ticks in UTC. The host time is a local date and time to the minute, so
// reading goes FILETIME -> SYSTEMTIME (UTC) -> SYSTEMTIME (local) and setting
// goes the other way, both through the system's current time zone. Only the
// last-write time is read or changed; creation and last-access times are
// left alone.
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

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <cstring>
#include <string>

#include "host/host_time.h"
#include "host/memory.h"
#include "host/platform.h"

namespace tarnwick::platform {


bool seek(std::FILE* f, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  return _fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0;
}

namespace {

// Names and texts cross into the tool as UTF-8: every name the command
// line gives reaches the system through the wide calls, whatever the ANSI
// code page can spell.
std::wstring wide_of_utf8(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), n);
  return wide;
}

std::string utf8_of(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), n, nullptr, nullptr);
  return text;
}

std::wstring win32_path(const std::wstring& path);

// The handle through which the stream reads and writes.
HANDLE handle_of(std::FILE* f) {
  const int fd = _fileno(f);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

}  // namespace

std::optional<size_t> read_positioned(std::FILE*, uint64_t, void*, size_t) { return std::nullopt; }

std::optional<size_t> write_positioned(std::FILE*, uint64_t, const void*, size_t) { return std::nullopt; }

void prepare_for_writing(void*, size_t) {}

bool sync_stream(std::FILE* f) {
  const HANDLE h = handle_of(f);
  if (h == INVALID_HANDLE_VALUE) return false;
  if (FlushFileBuffers(h)) return true;
  // A character device (NUL) or a pipe has no disk copy to flush.
  return GetFileType(h) != FILE_TYPE_DISK;
}

FileKind file_kind(std::FILE* f) {
  const HANDLE h = handle_of(f);
  if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK) return FileKind::kOther;
  // The standard information is all this needs: the full information also
  // asks for the volume's, which a handle inherited as a standard stream
  // does not always give (Wine).
  FILE_STANDARD_INFO info;
  if (!GetFileInformationByHandleEx(h, FileStandardInfo, &info, sizeof info)) return FileKind::kOther;
  return info.Directory ? FileKind::kDirectory : FileKind::kRegular;
}

namespace {

// The system's text for an error code (UTF-8, as names are), without its
// line end.
std::string system_text(DWORD error) {
  wchar_t text[512];
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                 sizeof text / sizeof text[0], nullptr);
  std::string s = utf8_of(std::wstring_view(text, n));
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s.empty() ? std::strerror(EACCES) : s;
}

}  // namespace

// The whole file, from its start to as far as an offset goes; a lock may
// reach past the end of the file.
LockResult try_lock(std::FILE* f, bool exclusive, std::string* unsupported_reason) {
  const HANDLE h = handle_of(f);
  if (h == INVALID_HANDLE_VALUE) return LockResult::kUnsupported;
  OVERLAPPED at{};
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  if (LockFileEx(h, flags, 0, MAXDWORD, MAXDWORD, &at)) return LockResult::kLocked;
  const DWORD error = GetLastError();
  if (error == ERROR_LOCK_VIOLATION || error == ERROR_SHARING_VIOLATION || error == ERROR_IO_PENDING) {
    return LockResult::kBusy;
  }
  if (unsupported_reason) *unsupported_reason = system_text(error);
  return LockResult::kUnsupported;
}

// The system lets go of a closed handle's locks only in its own time, so
// they are let go of first.
void unlock(std::FILE* f) {
  const HANDLE h = handle_of(f);
  if (h == INVALID_HANDLE_VALUE) return;
  OVERLAPPED at{};
  UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &at);
}

std::string lock_busy_text() { return system_text(ERROR_LOCK_VIOLATION); }

// A file is known by its volume's serial number and its index on that volume;
// the names may differ in case, in their path or by a link.
namespace {

bool identify(const std::string& name, BY_HANDLE_FILE_INFORMATION& info) {
  // No access asked for: the file's identity can be read even while
  // another program holds it open exclusively.
  HANDLE h = CreateFileW(win32_path(wide_of_utf8(name)).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  return ok != 0;
}

}  // namespace

bool is_standard_output(const std::string& name) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == INVALID_HANDLE_VALUE || out == nullptr || GetFileType(out) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION io;
  BY_HANDLE_FILE_INFORMATION in;
  if (!GetFileInformationByHandle(out, &io) || !identify(name, in)) return false;
  return io.dwVolumeSerialNumber == in.dwVolumeSerialNumber && io.nFileIndexHigh == in.nFileIndexHigh &&
         io.nFileIndexLow == in.nFileIndexLow;
}

void set_binary_mode(std::FILE* f) { _setmode(_fileno(f), _O_BINARY); }

bool same_file(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION ia;
  BY_HANDLE_FILE_INFORMATION ib;
  if (!identify(a, ia) || !identify(b, ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

// The last-write time of an open file as local time, seconds and
// milliseconds cut off. The handle stays open; `t` is only written when
// every step succeeded.
bool read_open_file_time(HANDLE h, HostTime& t) {
  FILETIME created;
  FILETIME accessed;
  FILETIME written;
  if (!GetFileTime(h, &created, &accessed, &written)) return false;
  SYSTEMTIME utc;
  if (!FileTimeToSystemTime(&written, &utc)) return false;
  SYSTEMTIME local;
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return false;
  t.year = local.wYear;
  t.month = local.wMonth;
  t.day = local.wDay;
  t.hour = local.wHour;
  t.minute = local.wMinute;
  return true;
}

HostTime local_time_now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return HostTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute};
}

bool read_stream_time(std::FILE* f, HostTime& t) {
  const HANDLE h = handle_of(f);
  return h != INVALID_HANDLE_VALUE && read_open_file_time(h, t);
}

namespace {

// A local time to the minute as a FILETIME, through the system's current
// time zone. False for a time that forms no valid date.
bool local_to_filetime(const HostTime& t, FILETIME& written) {
  if (!host_time_is_valid(t)) return false;
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(t.year);
  local.wMonth = static_cast<WORD>(t.month);
  local.wDayOfWeek = 0;
  local.wDay = static_cast<WORD>(t.day);
  local.wHour = static_cast<WORD>(t.hour);
  local.wMinute = static_cast<WORD>(t.minute);
  local.wSecond = 0;
  local.wMilliseconds = 0;
  SYSTEMTIME utc;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc)) return false;
  return SystemTimeToFileTime(&utc, &written) != 0;
}

// Paths of MAX_PATH characters or more reach the file system only as full
// paths with the "\\?\" prefix, which also turns off the Win32 layer's
// name parsing; shorter paths go as they are. (Folders have the lower limit, MAX_PATH - 12.)
std::wstring win32_path(const std::wstring& path) {
  if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\?\\", 0) == 0) return path;
  const DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return path;
  std::wstring full(need, L'\0');
  const DWORD got = GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return path;
  full.resize(got);
  if (full.rfind(L"\\\\.\\", 0) == 0 || full.rfind(L"\\\\?\\", 0) == 0) return full;  // a device
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share\...
  return L"\\\\?\\" + full;
}

}  // namespace

bool local_to_file_ticks(const HostTime& t, uint64_t& ticks) {
  FILETIME written;
  if (!local_to_filetime(t, written)) return false;
  ticks = (uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime;
  return true;
}

NativeString full_native_path(const NativeString& path) { return win32_path(path); }

bool set_host_file_time(const std::string& name, const HostTime& t) {
  // The time is converted before the file is opened, so an impossible time
  // leaves the file untouched.
  FILETIME written;
  if (!local_to_filetime(t, written)) return false;

  // No other opener is admitted while the time changes.
  HANDLE h = CreateFileW(win32_path(wide_of_utf8(name)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  // A device (NUL, say) has no time of its own to set.
  const BOOL set = GetFileType(h) == FILE_TYPE_DISK && SetFileTime(h, nullptr, nullptr, &written);
  CloseHandle(h);
  return set != 0;
}

NativeString native_argument(std::string_view text) { return wide_of_utf8(text); }

std::FILE* open_stream(const std::string& name, const char* mode) {
  const std::wstring wide_mode(mode, mode + std::strlen(mode));
  return _wfopen(win32_path(wide_of_utf8(name)).c_str(), wide_mode.c_str());
}

PathKind path_kind(const NativeString& path) {
  const DWORD attributes = GetFileAttributesW(win32_path(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kFolder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::kOther;
  return PathKind::kFile;
}

bool folder_is_empty(const NativeString& path) {
  if (path_kind(path) != PathKind::kFolder) return false;
  std::wstring pattern = path;
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/' && pattern.back() != L':') {
    pattern += L'\\';
  }
  pattern += L'*';
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(win32_path(pattern).c_str(), &found);
  // A drive's root lists no "." and "..", so an empty one lists nothing.
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  bool empty = true;
  do {
    const std::wstring_view name = found.cFileName;
    if (name != L"." && name != L"..") {
      empty = false;
      break;
    }
  } while (FindNextFileW(h, &found));
  if (empty && GetLastError() != ERROR_NO_MORE_FILES) empty = false;
  FindClose(h);
  return empty;
}

bool make_folder(const NativeString& path) { return CreateDirectoryW(win32_path(path).c_str(), nullptr) != 0; }

std::FILE* create_new_file(const NativeString& path) {
  HANDLE h = CreateFileW(win32_path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, "wb");
  if (!f) _close(fd);  // closes the handle too
  return f;
}

// A file another program holds open (a virus scanner looking at a journal
// just written, an indexer) cannot be deleted for a moment: the deletion is
// tried again for up to 2 seconds.
bool remove_file(const NativeString& path) {
  const std::wstring name = win32_path(path);
  const ULONGLONG give_up = GetTickCount64() + 2000;
  for (;;) {
    if (DeleteFileW(name.c_str())) return true;
    const DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION) ||
        GetTickCount64() >= give_up) {
      return false;
    }
    Sleep(100);
  }
}

// Windows offers no call that syncs a folder's entries (NTFS logs them in
// its own journal); the file's own flush is all there is.
bool sync_folder_of(const NativeString&) { return true; }

bool set_path_time(const NativeString& path, const HostTime& t) {
  FILETIME written;
  if (!local_to_filetime(t, written)) return false;
  // A folder opens only with backup semantics; a file opens with them too.
  HANDLE h = CreateFileW(win32_path(path).c_str(), FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const BOOL set = SetFileTime(h, nullptr, nullptr, &written);
  CloseHandle(h);
  return set != 0;
}

std::optional<NativeString> real_path(const std::string&, std::FILE* f) {
  const HANDLE h = handle_of(f);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
  const DWORD need = GetFinalPathNameByHandleW(h, nullptr, 0, flags);
  if (need == 0) return std::nullopt;
  std::wstring path(need, L'\0');
  const DWORD got = GetFinalPathNameByHandleW(h, path.data(), need, flags);
  if (got == 0 || got >= need) return std::nullopt;
  path.resize(got);
  // The name comes as "\\?\C:\..." or "\\?\UNC\server\share\..."; the usual
  // form reads better in messages, and win32_path() puts the prefix back
  // where a path needs it.
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
  if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

uint64_t link_count(std::FILE* f) {
  const HANDLE h = handle_of(f);
  BY_HANDLE_FILE_INFORMATION info;
  if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info) || info.nNumberOfLinks < 1) return 1;
  return info.nNumberOfLinks;
}

std::optional<uint64_t> stream_size(std::FILE* f) {
  const HANDLE h = handle_of(f);
  LARGE_INTEGER size;
  if (h == INVALID_HANDLE_VALUE || !GetFileSizeEx(h, &size) || size.QuadPart < 0) return std::nullopt;
  return static_cast<uint64_t>(size.QuadPart);
}

std::FILE* open_regular(const NativeString& path, PathKind& found, std::string* reason) {
  // A link or junction is opened as itself, and then refused.
  HANDLE h = CreateFileW(win32_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    found = path_kind(path);
    if (found == PathKind::kFile && reason) *reason = system_text(error);
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info;
  const bool regular = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
                       !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  if (!regular) {
    found = path_kind(path) == PathKind::kFolder ? PathKind::kFolder : PathKind::kOther;
    CloseHandle(h);
    return nullptr;
  }
  found = PathKind::kFile;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    if (reason) *reason = std::strerror(EMFILE);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "rb");
  if (!file) {
    if (reason) *reason = std::strerror(errno);
    _close(fd);
  }
  return file;
}

std::string path_text(const NativeString& path) { return utf8_of(path); }

std::optional<char32_t> decode_cp932(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > 2) return std::nullopt;
  wchar_t wide[2];
  const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), wide, 2);
  if (n != 1) return std::nullopt;  // exactly one character
  return static_cast<char32_t>(wide[0]);
}

std::optional<std::string> encode_cp932(char32_t c) {
  if (c > 0xFFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;  // none outside the BMP
  const wchar_t wide = static_cast<wchar_t>(c);
  char out[4];
  BOOL used_default = FALSE;
  const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &wide, 1, out, sizeof out, nullptr, &used_default);
  if (n <= 0 || used_default) return std::nullopt;
  return std::string(out, static_cast<size_t>(n));
}

}  // namespace tarnwick::platform

#endif  // _WIN32
