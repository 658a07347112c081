// W: store an MZT file as an OBJ file.
#pragma once

#include <string>

#include "commands/run_context.h"

namespace tarnwick {

// The W command as the front end runs it. True when the volume holds the
// stored file and must be saved; false when nothing changed.
bool command_store(RunContext& ctx, const std::string& path, const std::string& host_file);

}  // namespace tarnwick
