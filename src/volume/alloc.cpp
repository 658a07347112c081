#include "volume/alloc.h"

namespace tarnwick {

uint32_t allocate_blocks(Volume& vol, Console& con, uint32_t length) {
  (void)vol;
  (void)con;
  (void)length;
  return 0;
}

void release_block(Volume& vol, Console& con, uint32_t record) {
  (void)vol;
  (void)con;
  (void)record;
}

}  // namespace tarnwick
