#include "commands/extract.h"

namespace tarnwick {

void command_extract(RunContext& ctx, const std::string& path, const std::string& host_file) {
  (void)ctx;
  (void)path;
  (void)host_file;
}

}  // namespace tarnwick
