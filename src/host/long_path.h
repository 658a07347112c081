// Long paths on Windows: the plain calls take paths of up to MAX_PATH
// characters (a folder's fewer), longer ones only as verbatim paths
// ("\\?\"), which the system takes as they are, without making them full
// or turning '/' into '\'. A plain function without system calls, built on
// every host, so that it is tested on any.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace tarnwick {

// Paths of this many UTF-16 units or more are made verbatim: MAX_PATH less
// the 12 a folder's path must leave for an 8.3 name in it (what
// CreateDirectoryW allows), so that one limit serves files and folders.
inline constexpr size_t kLongPathUnits = 260 - 12;

// The form in which `path` reaches the Windows file system:
//   - shorter than kLongPathUnits, or already verbatim ("\\?\...") or in
//     the device namespace ("\\.\..."): the path as it is;
//   - else made a full path by `full_path` (GetFullPathNameW, which
//     resolves the current folder, "." and ".." and turns '/' into '\'; the
//     path as it is when that fails) and given the verbatim prefix:
//     "C:\dir\..." becomes "\\?\C:\dir\...", and a UNC path
//     "\\server\share\dir\..." becomes "\\?\UNC\server\share\dir\..." (the
//     plain prefix would make "\\?\\\server\..." of it, which names no
//     file). A full path that comes out verbatim or in the device
//     namespace stays as it is.
std::wstring long_path(const std::wstring& path,
                       const std::function<std::optional<std::wstring>(const std::wstring&)>& full_path);

}  // namespace tarnwick
