// Expected output for tests: a catalogue message expanded with its arguments,
// as the CP932 bytes the tool writes.
#pragma once

#include <string>

#include "output/console.h"

namespace tarnwick::testing {

template <typename... Args>
std::string message_text(const Message& m, Args... args) {
  Console c;
  c.out(m, args...);
  return c.out_text();
}

}  // namespace tarnwick::testing
