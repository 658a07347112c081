#include "host/host_path.h"

#include "host/host_tree.h"
#include "host/unicode.h"

namespace tarnwick {

namespace {

#ifdef _WIN32
constexpr NativeChar kSeparator = L'\\';
bool is_separator(NativeChar c) { return c == L'\\' || c == L'/'; }
#else
constexpr NativeChar kSeparator = '/';
bool is_separator(NativeChar c) { return c == '/'; }
#endif

}  // namespace

// The command line's text is UTF-8 on Windows (read as wide text), and
// paths are kept in UTF-16 there.
#ifdef _WIN32
HostPath HostPath::from_argument(std::string_view text) { return HostPath(utf16_of_utf8(text)); }
std::string HostPath::text() const { return utf8_of_utf16(native_); }
#else
HostPath HostPath::from_argument(std::string_view text) { return HostPath(NativeString(text)); }
std::string HostPath::text() const { return native_; }
#endif

HostPath HostPath::operator/(std::u32string_view name) const {
  NativeString joined = native_;
  bool separate = !joined.empty() && !is_separator(joined.back());
#ifdef _WIN32
  if (joined.size() == 2 && joined[1] == L':') separate = false;
#endif
  if (separate) joined += kSeparator;
  joined += native_text(name);
  return HostPath(std::move(joined));
}

std::string_view last_component(std::string_view argument) {
#ifdef _WIN32
  const size_t separator = argument.find_last_of("\\/:");
#else
  const size_t separator = argument.rfind('/');
#endif
  return separator == std::string_view::npos ? argument : argument.substr(separator + 1);
}

NativeString native_text(std::u32string_view text) {
#ifdef _WIN32
  return encode_utf16(text);
#else
  return encode_utf8(text);
#endif
}

std::optional<std::u32string> name_code_points(const NativeString& name) {
#ifdef _WIN32
  return decode_utf16(name);
#else
  return decode_utf8(name);
#endif
}

}  // namespace tarnwick
