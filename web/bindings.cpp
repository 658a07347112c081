// The core as the web page's module sees it (embind).
//
// For now one call: a whole command line run on files in the module's
// memory file system, its lines collected as the UTF-8 mode prints them.
// It proves that the core builds and runs as WebAssembly; the page's own
// calls, on images held in memory, come with the core's session.
//
//   run(args: string[]) -> {status: number, out: string, err: string}
//     args  the command line without the program's name, e.g.
//           ["F", "/blank.d88"]; paths name files of Module.FS
//     out, err  what the run printed on each stream, UTF-8 text
#include <emscripten/bind.h>

#include <memory>
#include <string>
#include <vector>

#include "app/frontend.h"
#include "host/file.h"
#include "output/console.h"

namespace {

using emscripten::val;

val run(const val& args) {
  std::vector<std::string> texts{"tarnwick"};
  const auto given = emscripten::vecFromJSArray<std::string>(args);
  texts.insert(texts.end(), given.begin(), given.end());
  std::vector<const char*> argv;
  for (const std::string& t : texts) argv.push_back(t.c_str());
  argv.push_back(nullptr);

  tarnwick::Console con;
  con.set_text({tarnwick::TextMode::kUtf8, nullptr}, {tarnwick::TextMode::kUtf8, nullptr}, true);
  con.set_utf8_files(true);
  const std::unique_ptr<tarnwick::Host> host = tarnwick::make_native_host(std::chrono::milliseconds{0});
  const int status = tarnwick::run_tarnwick(static_cast<int>(texts.size()), argv.data(), con, *host);

  val result = val::object();
  result.set("status", status);
  result.set("out", con.out_text());
  result.set("err", con.err_text());
  return result;
}

}  // namespace

EMSCRIPTEN_BINDINGS(tarnwick) {
  emscripten::function("run", &run);
}
