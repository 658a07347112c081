#include "commands/import.h"

namespace tarnwick {

bool command_import(RunContext& ctx, const std::string& record_text, const std::string& host_file) {
  (void)ctx;
  (void)record_text;
  (void)host_file;
  return false;
}

}  // namespace tarnwick
