// How a fuzz target reports a promise of the tool that a run broke: the
// promise on standard error, then an abort, which libFuzzer records as a
// crash with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void broken(const char* promise) {
  std::fprintf(stderr, "broken promise: %s\n", promise);
  std::abort();
}
