// Host paths for files and folders the tool creates: a path given on the
// command line, joined with names made from volume names.
//
// A path is kept in the host's native form: bytes on POSIX systems (the
// names made from volume names are UTF-8), UTF-16 on Windows, where the
// command line is read as wide text (kept as UTF-8 until a path is made)
// and every call uses the wide-character functions, so names the ANSI code
// page cannot spell still work. Callers join components without caring which.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "output/text.h"

namespace tarnwick {

#ifdef _WIN32
using NativeChar = wchar_t;
#else
using NativeChar = char;
#endif
using NativeString = std::basic_string<NativeChar>;

// What a host path names. A path that cannot be reached (a missing folder
// on the way, no permission to look) counts as missing.
enum class PathKind { kMissing, kFile, kFolder, kOther };

class HostPath {
 public:
  HostPath() = default;

  // A path as the command line gives it: bytes on POSIX systems, UTF-8
  // text on Windows.
  static HostPath from_argument(std::string_view text);
  // A path in the host's native form, as the system gave it.
  static HostPath from_native(NativeString native) { return HostPath(std::move(native)); }

  // This path with `suffix` (plain ASCII) added to its last component.
  HostPath with_suffix(std::string_view suffix) const {
    return HostPath(native_ + NativeString(suffix.begin(), suffix.end()));
  }
  // The path as messages print it: its bytes on POSIX systems, UTF-8 on
  // Windows.
  std::string text() const;

  // This path with one more component: a single name (see host_name.h),
  // which holds no separator. A separator is put between them unless this
  // path is empty or already ends in one (or, on Windows, is a bare drive
  // such as "C:", which a separator would turn into its root).
  HostPath operator/(std::u32string_view name) const;

  const NativeString& native() const { return native_; }
  bool operator==(const HostPath&) const = default;

 private:
  explicit HostPath(NativeString native) : native_(std::move(native)) {}
  NativeString native_;
};

// The last component of a path as the command line gives it: what follows
// its last separator ('/', and on Windows '\\' and a drive's ':' too).
std::string_view last_component(std::string_view argument);

// The UTF-8 (POSIX) or UTF-16 (Windows) form of a text of code points.
// Code points that are no characters (surrogates, beyond U+10FFFF) become
// U+FFFD.
NativeString native_text(std::u32string_view text);

}  // namespace tarnwick
