// I: copy a host file over the volume's records.
#pragma once

#include <string>

#include "commands/run_context.h"

namespace tarnwick {

// The I command as the front end runs it. True when the volume changed and
// must be saved.
bool command_import(RunContext& ctx, const std::string& record_text, const std::string& host_file);

}  // namespace tarnwick
