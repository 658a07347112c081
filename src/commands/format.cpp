#include "commands/format.h"

#include <memory>
#include <string_view>

#include "commands/convert.h"
#include "containers/d88.h"
#include "containers/image_file.h"
#include "containers/raw.h"
#include "volume/blank.h"

namespace tarnwick {

bool write_new_image(Console& con, Host& host, const std::string& name, const std::function<bool(File&)>& fill) {
  std::unique_ptr<ImageFile> image = ImageFile::create(host, con, name);
  if (!image) return false;
  bool written = fill(image->file()) && image->file().sync();
  written = image->close() && written;
  if (!written) {
    const std::string reason = image->failure_text();
    image->discard();  // no partial image stays behind
    report_write_failed(con, name, reason);
  }
  return written;
}

bool write_new_image_bytes(Console& con, Host& host, const std::string& name, std::span<const uint8_t> bytes) {
  return write_new_image(con, host, name,
                         [bytes](File& file) { return file.write_at(0, bytes.data(), bytes.size()) == bytes.size(); });
}

bool command_format(Console& con, Host& host, const std::string& image_name) {
  const std::optional<NewImageForm> form = new_image_form(image_name);
  if (!form) {
    con.err(msg::kUnsupportedImage, image_name.c_str());
    return false;
  }
  const std::vector<uint8_t> vol = blank_volume(k2ddDataDisk);
  if (*form == NewImageForm::kRaw) return write_new_image_bytes(con, host, image_name, raw_image_bytes(vol));
  return write_new_image(con, host, image_name,
                         [&vol](File& file) { return write_new_d88_image(file, vol, d88::kDiskType2DD); });
}

}  // namespace tarnwick
