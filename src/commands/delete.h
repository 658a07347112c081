// D: delete a file.
#pragma once

#include <string>

#include "commands/run_context.h"

namespace tarnwick {

// The D command as the front end runs it, up to the save. True when the
// file was deleted and the volume must be saved.
bool command_delete(RunContext& ctx, const std::string& path);

}  // namespace tarnwick
