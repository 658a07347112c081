#include "operations/format.h"

#include <vector>

#include "containers/d88.h"
#include "containers/image_file.h"
#include "containers/raw.h"
#include "volume/blank.h"

namespace tarnwick {

bool write_blank_disk(File& file, NewImageForm form) {
  const std::vector<uint8_t> vol = blank_volume(k2ddDataDisk);
  if (form == NewImageForm::kD88) return write_new_d88_image(file, vol, d88::kDiskType2DD);
  const std::vector<uint8_t> raw = raw_image_bytes(vol);
  return file.write_at(0, raw.data(), raw.size()) == raw.size();
}

bool format_image_file(Host& host, Report& rep, const std::string& image_name) {
  const std::optional<NewImageForm> form = new_image_form(image_name);
  if (!form) {
    rep.err(msg::kUnsupportedImage, image_name.c_str());
    return false;
  }
  return ImageFile::write_new(host, rep, image_name, [form](File& file) { return write_blank_disk(file, *form); });
}

}  // namespace tarnwick
