#include "containers/d88.h"

namespace tarnwick {

bool check_d88_format(File& image, Console& con, D88Header& header) {
  (void)image;
  (void)con;
  (void)header;
  return false;
}

bool load_d88_image(File& image, const D88Header& header, Volume& vol) {
  (void)image;
  (void)header;
  (void)vol;
  return false;
}

bool save_d88_image(File& image, const Volume& vol, const D88Header& header) {
  (void)image;
  (void)vol;
  (void)header;
  return false;
}

}  // namespace tarnwick
