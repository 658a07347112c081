#include "operations/format.h"

#include <memory>
#include <string_view>

#include "containers/d88.h"
#include "containers/image_file.h"
#include "volume/blank.h"

namespace tarnwick {

namespace {

bool is_d88_name(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string_view ext = name.substr(name.size() - 4);
  return ext[0] == '.' && (ext[1] == 'D' || ext[1] == 'd') && ext[2] == '8' && ext[3] == '8';
}

}  // namespace

bool write_new_image(Console& con, Host& host, const std::string& name, const std::function<bool(File&)>& fill) {
  Report creating;
  std::unique_ptr<ImageFile> image = ImageFile::create(host, creating, name);
  con.show(creating);
  if (!image) return false;
  bool written = fill(image->file()) && image->file().sync();
  Report closing;
  written = image->close(closing) && written;
  con.show(closing);
  if (!written) {
    const std::string reason = image->failure_text();
    image->discard();  // no partial image stays behind
    report_write_failed(con, name, reason);
  }
  return written;
}

bool command_format(Console& con, Host& host, const std::string& image_name) {
  if (!is_d88_name(image_name)) {
    con.err(msg::kUnsupportedImage, image_name.c_str());
    return false;
  }
  const std::vector<uint8_t> vol = blank_volume(k2ddDataDisk);
  return write_new_image(con, host, image_name,
                         [&vol](File& file) { return write_new_d88_image(file, vol, d88::kDiskType2DD); });
}

}  // namespace tarnwick
