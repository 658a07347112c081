#include "volume/check.h"

namespace tarnwick {

int sanity_check(Volume& vol, Console& con) {
  (void)con;
  vol.current_directory = kRootDirectoryRecord;
  return 1;
}

}  // namespace tarnwick
