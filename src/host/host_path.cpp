#include "host/host_path.h"

#include "host/platform.h"

namespace tarnwick {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

#ifdef _WIN32
constexpr NativeChar kSeparator = L'\\';
bool is_separator(NativeChar c) { return c == L'\\' || c == L'/'; }
#else
constexpr NativeChar kSeparator = '/';
bool is_separator(NativeChar c) { return c == '/'; }
#endif

}  // namespace

HostPath HostPath::from_argument(std::string_view text) { return HostPath(platform::native_argument(text)); }

std::string HostPath::text() const { return platform::path_text(native_); }

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

NativeString native_text(std::u32string_view text) {
  NativeString out;
  for (char32_t c : text) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
#ifdef _WIN32
    if (c < 0x10000) {
      out += static_cast<wchar_t>(c);
    } else {
      c -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (c >> 10));
      out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    }
#else
    append_utf8(out, c);
#endif
  }
  return out;
}

}  // namespace tarnwick
