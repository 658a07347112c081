// Tarnwick: lists, extracts, stores and deletes files in MZ-2500 disk images.
#include <cstdio>

#include "output/console.h"
#include "app/frontend.h"
#include "host/file.h"
#include "host/process.h"
#include "host/user_text.h"

int main(int argc, char** argv) {
  tarnwick::prepare_process();
  tarnwick::Console con(stdout, stderr);
  tarnwick::start_user_text(con);
  return tarnwick::run_tarnwick(argc, argv, con, tarnwick::native_host());
}
