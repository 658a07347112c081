// The few platform calls the tool needs beyond the C and C++ libraries.
// One implementation per platform: platform_posix.cpp, platform_win32.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "host/host_time.h"

namespace tarnwick::platform {

// Pushes an open stream's written data to the disk (after fflush).
bool sync_stream(std::FILE* f);

// Seeks and tells with 64-bit offsets.
bool seek(std::FILE* f, uint64_t offset);
bool seek_end(std::FILE* f);
std::optional<uint64_t> tell(std::FILE* f);

// True when both names lead to the same existing file (by the system's file
// identity, whatever the spelling of the names).
bool same_file(const std::string& a, const std::string& b);

// Last-write time of the named file as local broken-down time.
bool read_host_file_time(const std::string& name, HostTime& t);
// Sets the named file's last-write time from local broken-down time.
bool set_host_file_time(const std::string& name, const HostTime& t);

}  // namespace tarnwick::platform
