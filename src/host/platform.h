// The platform calls the native host is made of, on open files as the
// system's descriptors (POSIX) or handles (Windows) and on paths in their
// native form. One implementation per platform: platform_posix.cpp (with
// host_time_posix.cpp), platform_win32.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "host/file.h"
#include "host/host_path.h"
#include "host/host_time.h"

namespace tarnwick::platform {

// An open file of the system.
#ifdef _WIN32
using Descriptor = void*;  // a HANDLE
inline Descriptor const kNoDescriptor = reinterpret_cast<Descriptor>(static_cast<intptr_t>(-1));
#else
using Descriptor = int;
inline constexpr Descriptor kNoDescriptor = -1;
#endif

// The system's text for the error of the call that has just failed.
std::string last_error_text();
// The system's text for an error number of the C library.
std::string error_text(int error);

// Opens a host file for `mode` (kCreate empties it or makes it); on failure
// kNoDescriptor and, in `reason`, the C library's text for the error.
Descriptor open_file(const NativeString& path, OpenMode mode, std::string* reason);
// Creates a file that must not exist yet (nothing is ever replaced, even
// by a file another program creates at the same moment) and opens it for
// writing; kNoDescriptor on failure.
Descriptor create_new_file(const NativeString& path);
// Opens the regular file at `path` for reading, following no link at its
// end and waiting for nothing (a FIFO is never waited on). `found` tells
// what is there; only a regular file (kFile) is opened, and when even that
// fails, `reason` gets the system's text. A link, a FIFO or a device is
// kOther.
Descriptor open_regular(const NativeString& path, PathKind& found, std::string* reason);
bool close_file(Descriptor d);

// What an open file is.
enum class FileKind { kRegular, kDirectory, kOther };
FileKind file_kind(Descriptor d);

// One read or write of up to n bytes: at `offset` when one is given (a
// positioned transfer, which leaves no position behind), else where the
// file stands. The bytes moved, 0 for a read at the end of the file;
// nothing when it failed (last_error_text() tells why). Interrupted calls
// are made again.
std::optional<size_t> read_some(Descriptor d, std::optional<uint64_t> offset, void* buf, size_t n);
std::optional<size_t> write_some(Descriptor d, std::optional<uint64_t> offset, const void* buf, size_t n);
// Moves where the file stands (false for a pipe, which cannot be moved).
bool seek(Descriptor d, uint64_t offset);

// Pushes an open file's written data to the disk. A file that has no disk
// copy to push (a pipe, a character device) counts as synced; a regular
// file or a disk only when the system says so.
bool sync_file(Descriptor d);
// The last-write time of an open file as local time, seconds dropped; `t`
// is only written when every step succeeded.
bool read_file_time(Descriptor d, HostTime& t);
// Sets an open file's or folder's last-write time from local time, its
// access time left alone; false for a time that forms no valid date.
bool set_file_time(Descriptor d, const HostTime& t);
// How many names (hard links) the open file has; 1 when it cannot be told.
uint64_t link_count(Descriptor d);
std::optional<uint64_t> file_size(Descriptor d);
// The final path of the file open as `d`, opened by `opened_as`: every
// symbolic link and relative step resolved (realpath on POSIX systems, the
// name of the open handle on Windows). Nothing when it cannot be told, or
// when the path no longer leads to the open file.
std::optional<NativeString> real_path(const NativeString& opened_as, Descriptor d);

// Locks the whole of an open file, shared or exclusive, without waiting.
// kBusy: another holds a conflicting lock; kUnsupported: the file cannot be
// locked at all (a file system without locks), `unsupported_reason` then
// getting the system's text.
enum class LockResult { kLocked, kBusy, kUnsupported };
LockResult try_lock(Descriptor d, bool exclusive, std::string& unsupported_reason);
// Lets go of the lock before the file is closed.
void unlock(Descriptor d);
// The system's text for a file that another holds locked.
std::string lock_busy_text();

// The standard streams, which go through the C library: the descriptor
// under a stream, a seek with 64-bit offsets, and binary mode, so that its
// bytes pass without line-end translation (Windows; POSIX streams have no
// other mode).
Descriptor descriptor_of(std::FILE* f);
bool seek_stream(std::FILE* f, uint64_t offset);
void set_binary_mode(std::FILE* f);

// True when both paths lead to the same existing file (by the system's
// file identity, whatever the spelling of the paths).
bool same_file(const NativeString& a, const NativeString& b);
// True when the path leads to the file standard output is.
bool is_standard_output(const NativeString& path);

// The local time now, seconds dropped.
HostTime local_time_now();
// Sets the last-write time of the regular file or folder at `path`, as
// Host::set_time does.
bool set_path_time(const NativeString& path, const HostTime& t);

PathKind path_kind(const NativeString& path);
// Makes one folder; false when it exists already or cannot be made.
bool make_folder(const NativeString& path);
bool remove_file(const NativeString& path);
// Renames a file, replacing the file that stands at `to` in one step;
// false on failure (last_error_text() tells why).
bool rename_file(const NativeString& from, const NativeString& to);
// As Host::sync_folder_of.
bool sync_folder_of(const NativeString& path);

#ifdef _WIN32
// A path as the system takes it (long_path.h).
NativeString system_path(const NativeString& path);
// A FILETIME's 100-nanosecond ticks as local time, through the system's
// current time zone, seconds dropped.
std::optional<HostTime> local_time_of(uint64_t file_ticks);
#else
// Seconds since the epoch as local time, seconds dropped, by the zone's
// rules as the last tzset() read them.
std::optional<HostTime> local_time_of(std::time_t when);
#endif

}  // namespace tarnwick::platform
