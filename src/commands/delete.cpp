#include "commands/delete.h"

namespace tarnwick {

bool command_delete(RunContext& ctx, const std::string& path) {
  (void)ctx;
  (void)path;
  return false;
}

}  // namespace tarnwick
