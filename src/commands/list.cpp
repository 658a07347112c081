#include "commands/list.h"

#include "volume/path.h"

namespace tarnwick {

void list_directory(Volume& vol, Console& con, std::string_view path) {
  (void)vol;
  (void)con;
  (void)path;
}

}  // namespace tarnwick
