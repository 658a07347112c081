// The few platform calls the tool needs beyond the C and C++ libraries.
// One implementation per platform: platform_posix.cpp, platform_win32.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "host/host_path.h"
#include "host/host_time.h"

namespace tarnwick::platform {

// Opens a host file by its name as the command line gave it (bytes on
// POSIX systems, UTF-8 text on Windows, opened through the wide calls), in
// a C stream mode ("rb", "r+b", "wb").
std::FILE* open_stream(const std::string& name, const char* mode);

// What an open stream leads to.
enum class FileKind { kRegular, kDirectory, kOther };
FileKind file_kind(std::FILE* f);

// Reads up to n bytes at `offset` of a regular file's stream without moving
// the stream (a positioned read, one system call for a page). The bytes
// read; nothing where the platform has no such read or the read failed,
// and the stream is read by seeking instead (whose error flag then tells a
// failure from the end of the file). Buffered writes must have been flushed.
std::optional<size_t> read_positioned(std::FILE* f, uint64_t offset, void* buf, size_t n);

// Writes n bytes at `offset` of a regular file's stream without moving the
// stream (one system call however far the last write was). The bytes
// written; nothing where the platform has no such write, and the stream is
// written by seeking instead. Buffered writes must have been flushed.
std::optional<size_t> write_positioned(std::FILE* f, uint64_t offset, const void* buf, size_t n);

// Pushes an open stream's written data to the disk (after fflush). A file
// that has no disk copy to push (a pipe, a character device) counts as
// synced; a regular file or a disk only when the system says so.
bool sync_stream(std::FILE* f);

// Seeks with 64-bit offsets.
bool seek(std::FILE* f, uint64_t offset);

// True when both names lead to the same existing file (by the system's file
// identity, whatever the spelling of the names).
bool same_file(const std::string& a, const std::string& b);

// True when the named file is the file standard output leads to (by the
// system's file identity).
bool is_standard_output(const std::string& name);
// Puts a standard stream into binary mode, so that its bytes pass without
// line-end translation (Windows); POSIX streams have no other mode.
void set_binary_mode(std::FILE* f);

// The local time now, seconds dropped.
HostTime local_time_now();

// Locks the whole of an open stream's file, shared or exclusive, without
// waiting. kBusy: another holds a conflicting lock; kUnsupported: the file
// cannot be locked at all (a file system without locks).
// With kUnsupported, `unsupported_reason` (when given) gets the system's text.
enum class LockResult { kLocked, kBusy, kUnsupported };
LockResult try_lock(std::FILE* f, bool exclusive, std::string* unsupported_reason = nullptr);
// Lets go of the lock, once the stream's buffered writes are flushed.
void unlock(std::FILE* f);
// The system's text for a file that another holds locked.
std::string lock_busy_text();

// Last-write time of an open stream's file as local broken-down time.
bool read_stream_time(std::FILE* f, HostTime& t);
// Sets the named regular file's last-write time from local broken-down time.
bool set_host_file_time(const std::string& name, const HostTime& t);

// Host paths (host_path.h). The text of a command-line argument in the
// native form: unchanged on POSIX, from UTF-8 on Windows.
NativeString native_argument(std::string_view text);
PathKind path_kind(const NativeString& path);
// True when the folder can be read and holds no entry but "." and "..".
bool folder_is_empty(const NativeString& path);
// Makes one folder; false when it exists already or cannot be made.
bool make_folder(const NativeString& path);
// Creates a file that must not exist yet (nothing is ever replaced, even
// by a file another program creates at the same moment) and opens it for
// writing; nothing on failure.
std::FILE* create_new_file(const NativeString& path);
bool remove_file(const NativeString& path);
// Makes the creation or removal of the file at `path` durable: on POSIX
// systems the folder that holds it is synced (a file's own sync does not
// promise that its name survives a crash). Windows has no such call, and
// true is all it gives.
bool sync_folder_of(const NativeString& path);
// As set_host_file_time, for a file or a folder.
bool set_path_time(const NativeString& path, const HostTime& t);

// POSIX only: a local time to the minute as the instant it names, in
// seconds since the epoch, by the zone's rules (false for no valid date).
bool local_to_epoch_seconds(const HostTime& t, int64_t& seconds);

// Windows only: a local time to the minute as a FILETIME's 100-nanosecond
// ticks (false for no valid date), and a path as a full "\\?\" path
// when it is too long for the plain calls.
bool local_to_file_ticks(const HostTime& t, uint64_t& ticks);
NativeString full_native_path(const NativeString& path);

// One character of code page 932 (one or two bytes) as its code point, by
// the system's tables; nothing when the bytes form no character.
std::optional<char32_t> decode_cp932(std::string_view bytes);
// A code point in code page 932 by the system's tables (without best-fit
// substitutes); nothing when the code page has no such character.
std::optional<std::string> encode_cp932(char32_t c);

// The image's owner: its real name, its names and its size, and the file
// at its journal's name.
//
// The final name of the file open as `f` (opened by `name`): every symbolic
// link and relative step resolved (realpath on POSIX systems, the name of
// the open handle on Windows). Nothing when it cannot be told, or when the
// name no longer leads to the open file.
std::optional<NativeString> real_path(const std::string& name, std::FILE* f);
// How many names (hard links) the open file has; 1 when it cannot be told.
uint64_t link_count(std::FILE* f);
// The open file's size in bytes.
std::optional<uint64_t> stream_size(std::FILE* f);
// Opens the regular file at `path` for reading, following no link at its
// end and waiting for nothing (a FIFO is never waited on). `found` tells
// what is there; only a regular file (kFile) is opened, and when even that
// fails, `reason` gets the system's text. A link, a FIFO or a device is
// kOther.
std::FILE* open_regular(const NativeString& path, PathKind& found, std::string* reason);
// The text of a native path as the console prints it: its bytes on POSIX
// systems, UTF-8 on Windows.
std::string path_text(const NativeString& path);

}  // namespace tarnwick::platform
