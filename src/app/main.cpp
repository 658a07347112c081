// Tarnwick: lists, extracts, stores and deletes files in MZ-2500 disk images.
#include <cstdio>
#include <string>
#include <vector>

#include "output/console.h"
#include "app/frontend.h"
#include "host/file.h"
#include "host/process.h"
#include "host/user_text.h"

int main(int argc, char** argv) {
  tarnwick::prepare_process();
  tarnwick::Console con(stdout, stderr);
  tarnwick::start_user_text(con);
  const std::vector<std::string> args = tarnwick::command_line(argc, argv);
  std::vector<const char*> arg_texts;
  for (const std::string& a : args) arg_texts.push_back(a.c_str());
  arg_texts.push_back(nullptr);
  return tarnwick::run_tarnwick(static_cast<int>(args.size()), arg_texts.data(), con, tarnwick::native_host());
}
