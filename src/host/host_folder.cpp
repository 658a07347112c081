#include "host/host_folder.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace tarnwick {

void pause_after_making_folder() {
  static const char* const pause = std::getenv("TARNWICK_TEST_FOLDER_PAUSE_MS");
  if (!pause) return;
  std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(pause)));
}

}  // namespace tarnwick
