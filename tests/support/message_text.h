// Expected output for tests: a catalogue message expanded with its arguments,
// as the CP932 bytes the tool writes.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

#include "output/console.h"
#include "output/cp932.h"
#include "output/text.h"

namespace tarnwick::testing {

// What a test passes for an argument: a text where the message takes
// either kind (the catalogue's bytes show both alike).
template <typename Kind>
using TestArg = std::conditional_t<std::is_same_v<Kind, arg::AnyText>, std::string_view, typename Kind::Type>;

template <typename Kind>
typename Kind::Type as_argument(TestArg<Kind> value) {
  if constexpr (std::is_same_v<Kind, arg::AnyText>) {
    return as_host_text(value);
  } else {
    return value;
  }
}

// A message of one text argument, whatever its entry's type, as the
// catalogue's bytes show it.
inline std::string message_with_text(const MessageText& m, const std::string& text) {
  const int n = std::snprintf(nullptr, 0, m.bytes, text.c_str());
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), m.bytes, text.c_str());
  out.pop_back();
  return out;
}

template <Severity S, typename... A>
std::string message_text(const Message<S, A...>& m, TestArg<A>... args) {
  Console c;
  if constexpr (S == Severity::kInfo) {
    c.out(m, as_argument<A>(args)...);
    return c.out_text();
  } else {
    c.err(m, as_argument<A>(args)...);
    return c.err_text();
  }
}

// What a report says on the output stream (its traces with it) and on the
// error stream, as the bytes mode shows it.
inline std::string out_text(const Report& said) {
  Console c;
  c.show(said);
  return c.out_text();
}
inline std::string err_text(const Report& said) {
  Console c;
  c.show(said);
  return c.err_text();
}

// Readable text (UTF-8) as code page 932 bytes, as the C locale shows it.
inline std::string cp932_text(std::u8string_view text) {
  const std::string_view utf8(reinterpret_cast<const char*>(text.data()), text.size());
  std::string out;
  for (size_t at = 0; at < utf8.size();) {
    const uint16_t code = encode_cp932(next_utf8(utf8, at).value_or(U'?')).value_or('?');
    if (code > 0xFF) out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
  }
  return out;
}

// The exit status a run's lines tell, for a command other than E: 1 after
// a failure of its own, else 3 when the volume's check told a fault, else 0.
inline int exit_status_told(const Console& con) {
  return con.failure_reported() ? 1 : con.check_fault_reported() ? 3 : 0;
}

}  // namespace tarnwick::testing
