// The run itself: command line, loading, the command, saving, closing.
#pragma once

#include <string>
#include <string_view>

#include "output/console.h"
#include "host/file.h"

namespace tarnwick {

// The image file name's extension: its last three characters upper-cased
// when the fourth-last is '.', else empty.
std::string image_extension(std::string_view file_name);

// Runs one command line (argv[0] is the program name) and returns the exit
// status, which is 0 for every run that ends in order.
int run_tarnwick(int argc, const char* const argv[], Console& con, Host& host);

}  // namespace tarnwick
