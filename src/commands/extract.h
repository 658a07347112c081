// R: extract a file into a host file.
#pragma once

#include <string>
#include <string_view>

#include "commands/run_context.h"

namespace tarnwick {

// The R command as the front end runs it: look the path up, create the host
// file, extract, close it and set its last-write time.
void command_extract(RunContext& ctx, const std::string& path, const std::string& host_file);

}  // namespace tarnwick
