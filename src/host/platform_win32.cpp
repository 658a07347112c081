// Windows implementations of the platform calls, through the wide calls
// and the files' handles.
//
// File times: Windows keeps a file's times as FILETIMEs, 100-nanosecond
// ticks in UTC. The host time is a local date and time to the minute, so
// reading goes FILETIME -> SYSTEMTIME (UTC) -> SYSTEMTIME (local) and setting
// goes the other way, both through the system's current time zone. Only the
// last-write time is read or changed; creation and last-access times are
// left alone.
#ifdef _WIN32

#include "host/win32.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "host/long_path.h"
#include "host/memory.h"
#include "host/platform.h"
#include "host/unicode.h"

namespace tarnwick::platform {

void prepare_for_writing(void*, size_t) {}
void prefer_large_pages(void*, size_t) {}

namespace {

HANDLE handle(Descriptor d) { return static_cast<HANDLE>(d); }

// The system's text for an error code (UTF-8, as names are), without its
// line end.
std::string system_text(DWORD error) {
  wchar_t text[512];
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                 sizeof text / sizeof text[0], nullptr);
  std::string s = utf8_of_utf16(std::wstring_view(text, n));
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s.empty() ? std::strerror(EACCES) : s;
}

std::optional<std::wstring> full_path_name(const std::wstring& path) {
  const DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (need == 0) return std::nullopt;
  std::wstring full(need, L'\0');
  const DWORD got = GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return std::nullopt;
  full.resize(got);
  return full;
}

OVERLAPPED at_offset(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// The most one ReadFile or WriteFile is asked to move.
DWORD chunk(size_t n) { return static_cast<DWORD>(std::min<size_t>(n, size_t{1} << 30)); }

// A local time to the minute as a FILETIME, through the system's current
// time zone. False for a time that forms no valid date.
bool local_to_filetime(const HostTime& t, FILETIME& written) {
  if (!host_time_is_valid(t)) return false;
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(t.year);
  local.wMonth = static_cast<WORD>(t.month);
  local.wDay = static_cast<WORD>(t.day);
  local.wHour = static_cast<WORD>(t.hour);
  local.wMinute = static_cast<WORD>(t.minute);
  SYSTEMTIME utc;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc)) return false;
  return SystemTimeToFileTime(&utc, &written) != 0;
}

// A file is known by its volume's serial number and its index on that
// volume; paths may differ in case, in their folders or by a link.
bool same_identity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

bool identify(const NativeString& path, BY_HANDLE_FILE_INFORMATION& info) {
  // No access asked for: the file's identity can be read even while
  // another program holds it open exclusively.
  HANDLE h = CreateFileW(system_path(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  return ok != 0;
}

}  // namespace

NativeString system_path(const NativeString& path) { return long_path(path, full_path_name); }

std::string error_text(int error) { return std::strerror(error); }

std::string last_error_text() { return system_text(GetLastError()); }

// Opened as fopen opens ("rb", "r+b", "wb"; others may read and write the
// file meanwhile), through the C runtime, whose error numbers give the
// reason as every other run has given it; the file is then kept as a
// handle of its own.
Descriptor open_file(const NativeString& path, OpenMode mode, std::string* reason) {
  const int flags = mode == OpenMode::kRead     ? _O_RDONLY
                    : mode == OpenMode::kUpdate ? _O_RDWR
                                                : _O_WRONLY | _O_CREAT | _O_TRUNC;
  errno = 0;
  const int fd = _wopen(system_path(path).c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    if (reason) *reason = std::strerror(errno ? errno : ENOENT);
    return kNoDescriptor;
  }
  HANDLE own = INVALID_HANDLE_VALUE;
  const HANDLE process = GetCurrentProcess();
  const BOOL kept = DuplicateHandle(process, reinterpret_cast<HANDLE>(_get_osfhandle(fd)), process, &own, 0, FALSE,
                                    DUPLICATE_SAME_ACCESS);
  if (!kept && reason) *reason = system_text(GetLastError());
  _close(fd);
  return kept ? own : kNoDescriptor;
}

Descriptor create_new_file(const NativeString& path) {
  return CreateFileW(system_path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

Descriptor open_regular(const NativeString& path, PathKind& found, std::string* reason) {
  // A link or junction is opened as itself, and then refused.
  HANDLE h = CreateFileW(system_path(path).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    found = path_kind(path);
    if (found == PathKind::kFile && reason) *reason = system_text(error);
    return kNoDescriptor;
  }
  BY_HANDLE_FILE_INFORMATION info;
  const bool regular = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
                       !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  if (!regular) {
    found = path_kind(path) == PathKind::kFolder ? PathKind::kFolder : PathKind::kOther;
    CloseHandle(h);
    return kNoDescriptor;
  }
  found = PathKind::kFile;
  return h;
}

bool close_file(Descriptor d) { return CloseHandle(handle(d)) != 0; }

FileKind file_kind(Descriptor d) {
  if (GetFileType(handle(d)) != FILE_TYPE_DISK) return FileKind::kOther;
  // The standard information is all this needs: the full information also
  // asks for the volume's, which a handle inherited as a standard stream
  // does not always give (Wine).
  FILE_STANDARD_INFO info;
  if (!GetFileInformationByHandleEx(handle(d), FileStandardInfo, &info, sizeof info)) return FileKind::kOther;
  return info.Directory ? FileKind::kDirectory : FileKind::kRegular;
}

// A positioned transfer names its offset in an OVERLAPPED; the handle is
// synchronous, so the call still returns when it is done.
std::optional<size_t> read_some(Descriptor d, std::optional<uint64_t> offset, void* buf, size_t n) {
  OVERLAPPED at = at_offset(offset.value_or(0));
  DWORD got = 0;
  if (ReadFile(handle(d), buf, chunk(n), &got, offset ? &at : nullptr)) return got;
  // The end of the file, or of a pipe whose writer has gone.
  const DWORD error = GetLastError();
  if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) return size_t{0};
  return std::nullopt;
}

std::optional<size_t> write_some(Descriptor d, std::optional<uint64_t> offset, const void* buf, size_t n) {
  OVERLAPPED at = at_offset(offset.value_or(0));
  DWORD put = 0;
  if (WriteFile(handle(d), buf, chunk(n), &put, offset ? &at : nullptr)) return put;
  return std::nullopt;
}

bool seek(Descriptor d, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(handle(d), to, nullptr, FILE_BEGIN) != 0;
}

bool sync_file(Descriptor d) {
  if (FlushFileBuffers(handle(d))) return true;
  // A character device (NUL) or a pipe has no disk copy to flush.
  return GetFileType(handle(d)) != FILE_TYPE_DISK;
}

bool read_file_time(Descriptor d, HostTime& t) {
  FILETIME written;
  if (!GetFileTime(handle(d), nullptr, nullptr, &written)) return false;
  const std::optional<HostTime> local =
      local_time_of((uint64_t{written.dwHighDateTime} << 32) | written.dwLowDateTime);
  if (!local) return false;
  t = *local;
  return true;
}

bool set_file_time(Descriptor d, const HostTime& t) {
  FILETIME written;
  return local_to_filetime(t, written) && SetFileTime(handle(d), nullptr, nullptr, &written) != 0;
}

uint64_t link_count(Descriptor d) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle(d), &info) || info.nNumberOfLinks < 1) return 1;
  return info.nNumberOfLinks;
}

std::optional<uint64_t> file_size(Descriptor d) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle(d), &size) || size.QuadPart < 0) return std::nullopt;
  return static_cast<uint64_t>(size.QuadPart);
}

std::optional<NativeString> real_path(const NativeString&, Descriptor d) {
  const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
  const DWORD need = GetFinalPathNameByHandleW(handle(d), nullptr, 0, flags);
  if (need == 0) return std::nullopt;
  std::wstring path(need, L'\0');
  const DWORD got = GetFinalPathNameByHandleW(handle(d), path.data(), need, flags);
  if (got == 0 || got >= need) return std::nullopt;
  path.resize(got);
  // The name comes as "\\?\C:\..." or "\\?\UNC\server\share\..."; the usual
  // form reads better in messages, and system_path() puts the prefix back
  // where a path needs it.
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
  if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

// The whole file, from its start to as far as an offset goes; a lock may
// reach past the end of the file.
LockResult try_lock(Descriptor d, bool exclusive, std::string& unsupported_reason) {
  OVERLAPPED at{};
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  if (LockFileEx(handle(d), flags, 0, MAXDWORD, MAXDWORD, &at)) return LockResult::kLocked;
  const DWORD error = GetLastError();
  if (error == ERROR_LOCK_VIOLATION || error == ERROR_SHARING_VIOLATION || error == ERROR_IO_PENDING) {
    return LockResult::kBusy;
  }
  unsupported_reason = system_text(error);
  return LockResult::kUnsupported;
}

// The system lets go of a closed handle's locks only in its own time, so
// they are let go of first.
void unlock(Descriptor d) {
  OVERLAPPED at{};
  UnlockFileEx(handle(d), 0, MAXDWORD, MAXDWORD, &at);
}

std::string lock_busy_text() { return system_text(ERROR_LOCK_VIOLATION); }

Descriptor descriptor_of(std::FILE* f) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f))); }

bool seek_stream(std::FILE* f, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  return _fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0;
}

void set_binary_mode(std::FILE* f) { _setmode(_fileno(f), _O_BINARY); }

bool same_file(const NativeString& a, const NativeString& b) {
  BY_HANDLE_FILE_INFORMATION ia;
  BY_HANDLE_FILE_INFORMATION ib;
  return identify(a, ia) && identify(b, ib) && same_identity(ia, ib);
}

bool is_standard_output(const NativeString& path) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == INVALID_HANDLE_VALUE || out == nullptr || GetFileType(out) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION io;
  BY_HANDLE_FILE_INFORMATION named;
  return GetFileInformationByHandle(out, &io) && identify(path, named) && same_identity(io, named);
}

HostTime local_time_now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return HostTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute};
}

std::optional<HostTime> local_time_of(uint64_t file_ticks) {
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(file_ticks & 0xFFFFFFFFu);
  written.dwHighDateTime = static_cast<DWORD>(file_ticks >> 32);
  SYSTEMTIME utc;
  SYSTEMTIME local;
  if (!FileTimeToSystemTime(&written, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    return std::nullopt;
  }
  return HostTime{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute};
}

bool set_path_time(const NativeString& path, const HostTime& t) {
  // The time is converted before the file is opened, so an impossible time
  // leaves the file untouched.
  FILETIME written;
  if (!local_to_filetime(t, written)) return false;
  // A folder opens only with backup semantics; a file opens with them too.
  HANDLE h = CreateFileW(system_path(path).c_str(), FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  // A device (NUL, say) has no time of its own to set.
  const BOOL set = GetFileType(h) == FILE_TYPE_DISK && SetFileTime(h, nullptr, nullptr, &written);
  CloseHandle(h);
  return set != 0;
}

PathKind path_kind(const NativeString& path) {
  const DWORD attributes = GetFileAttributesW(system_path(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kFolder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::kOther;
  return PathKind::kFile;
}

bool make_folder(const NativeString& path) { return CreateDirectoryW(system_path(path).c_str(), nullptr) != 0; }

bool rename_file(const NativeString& from, const NativeString& to) {
  return MoveFileExW(system_path(from).c_str(), system_path(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// A file another program holds open (a virus scanner looking at a journal
// just written, an indexer) cannot be deleted for a moment: the deletion is
// tried again for up to 2 seconds.
bool remove_file(const NativeString& path) {
  const std::wstring name = system_path(path);
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


}  // namespace tarnwick::platform

#endif  // _WIN32
