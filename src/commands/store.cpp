#include "commands/store.h"

namespace tarnwick {

bool command_store(RunContext& ctx, const std::string& path, const std::string& host_file) {
  (void)ctx;
  (void)path;
  (void)host_file;
  return false;
}

}  // namespace tarnwick
