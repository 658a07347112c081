#include "app/options.h"

#include <string_view>

#ifndef TARNWICK_VERSION
#define TARNWICK_VERSION "0"
#endif

namespace tarnwick {

namespace {

// Applies one short option letter; false for a letter the tool does not know.
bool short_option(char letter, Options& o) {
  switch (letter) {
    case 's': o.status = true; return true;
    case 'l': o.long_listing = true; return true;
    case 'h':
      if (o.answer == Options::Answer::kNone) o.answer = Options::Answer::kHelp;
      return true;
    default: return false;
  }
}

bool long_option(std::string_view name, Options& o) {
  if (name == "status") return short_option('s', o);
  if (name == "long") return short_option('l', o);
  if (name == "help") return short_option('h', o);
  if (name == "version") {
    if (o.answer == Options::Answer::kNone) o.answer = Options::Answer::kVersion;
    return true;
  }
  return false;
}

}  // namespace

Options parse_options(int argc, const char* const argv[]) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.empty() || arg[0] != '-') break;
    ++o.count;
    bool known = arg.size() > 1;  // "-" alone is no option
    if (arg.starts_with("--")) {
      known = long_option(arg.substr(2), o);
    } else {
      for (const char letter : arg.substr(1)) known = short_option(letter, o) && known;
    }
    if (!known) o.unknown = true;
  }
  return o;
}

bool answer_help_or_version(const Options& options, Console& con) {
  if (options.unknown || options.answer == Options::Answer::kNone) return false;
  if (options.answer == Options::Answer::kHelp) {
    con.out(msg::kHelp);
  } else {
    con.out(msg::kVersion, TARNWICK_VERSION);
  }
  con.flush();
  return true;
}

}  // namespace tarnwick
