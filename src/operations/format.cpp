#include "operations/format.h"

#include <vector>

#include "containers/d88.h"
#include "containers/image_file.h"
#include "volume/blank.h"

namespace tarnwick {

bool is_d88_name(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string_view ext = name.substr(name.size() - 4);
  return ext[0] == '.' && (ext[1] == 'D' || ext[1] == 'd') && ext[2] == '8' && ext[3] == '8';
}

bool write_blank_disk(File& file) {
  const std::vector<uint8_t> vol = blank_volume(k2ddDataDisk);
  return write_new_d88_image(file, vol, d88::kDiskType2DD);
}

bool format_image_file(Host& host, Report& rep, const std::string& image_name) {
  if (!is_d88_name(image_name)) {
    rep.err(msg::kUnsupportedImage, image_name.c_str());
    return false;
  }
  return ImageFile::write_new(host, rep, image_name, write_blank_disk);
}

}  // namespace tarnwick
