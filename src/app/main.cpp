// Tarnwick: lists, extracts, stores and deletes files in MZ-2500 disk images.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "output/console.h"
#include "app/frontend.h"
#include "host/file.h"
#include "host/process.h"
#include "host/user_text.h"

int main(int argc, char** argv) {
  const tarnwick::ProcessStart start = tarnwick::prepare_process();
  tarnwick::Console con(stdout, stderr);
  tarnwick::start_user_text(con);
  const std::unique_ptr<tarnwick::Host> host = tarnwick::make_native_host(tarnwick::kImageLockWait, start.output_closed);
  if (start.output_closed) con.set_output_closed(std::strerror(EBADF));
  const std::vector<std::string> args = tarnwick::command_line(argc, argv);
  std::vector<const char*> arg_texts;
  for (const std::string& a : args) arg_texts.push_back(a.c_str());
  arg_texts.push_back(nullptr);
  return tarnwick::run_tarnwick(static_cast<int>(args.size()), arg_texts.data(), con, *host);
}
