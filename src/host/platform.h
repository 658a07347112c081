// The few platform calls the tool needs beyond the C and C++ libraries.
// One implementation per platform: platform_posix.cpp, platform_win32.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "host/host_time.h"

namespace tarnwick::platform {

// What an open stream leads to.
enum class FileKind { kRegular, kDirectory, kOther };
FileKind file_kind(std::FILE* f);

// Pushes an open stream's written data to the disk (after fflush). A file
// that has no disk copy to push (a pipe, a character device) counts as
// synced; a regular file or a disk only when the system says so.
bool sync_stream(std::FILE* f);

// Seeks with 64-bit offsets.
bool seek(std::FILE* f, uint64_t offset);

// True when both names lead to the same existing file (by the system's file
// identity, whatever the spelling of the names).
bool same_file(const std::string& a, const std::string& b);

// Locks the whole of an open stream's file, shared or exclusive, without
// waiting. kBusy: another holds a conflicting lock; kUnsupported: the file
// cannot be locked at all (a file system without locks).
enum class LockResult { kLocked, kBusy, kUnsupported };
LockResult try_lock(std::FILE* f, bool exclusive);
// Lets go of the lock, once the stream's buffered writes are flushed.
void unlock(std::FILE* f);
// The system's text for a file that another holds locked.
std::string lock_busy_text();

// Last-write time of an open stream's file as local broken-down time.
bool read_stream_time(std::FILE* f, HostTime& t);
// Sets the named regular file's last-write time from local broken-down time.
bool set_host_file_time(const std::string& name, const HostTime& t);

}  // namespace tarnwick::platform
