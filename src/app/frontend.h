// The run itself: command line, loading, the command, saving, closing.
#pragma once

#include "host/file.h"
#include "output/console.h"

namespace tarnwick {

// Runs one command line (argv[0] is the program name) and returns the exit
// status, which is 0 for every run that ends in order.
int run_tarnwick(int argc, const char* const argv[], Console& con, Host& host);

}  // namespace tarnwick
