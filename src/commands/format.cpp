#include "commands/format.h"

#include <memory>
#include <string_view>

#include "containers/d88.h"
#include "containers/journal.h"
#include "host/host_path.h"
#include "volume/blank.h"

namespace tarnwick {

namespace {

bool is_d88_name(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string_view ext = name.substr(name.size() - 4);
  return ext[0] == '.' && (ext[1] == 'D' || ext[1] == 'd') && ext[2] == '8' && ext[3] == '8';
}

}  // namespace

bool command_format(Console& con, Host& host, const std::string& image_name) {
  if (!is_d88_name(image_name)) {
    con.err(msg::kUnsupportedImage, image_name.c_str());
    return false;
  }
  // Created exclusively: a file that exists, even one that another run has
  // just created, is never touched.
  const HostPath path = HostPath::from_argument(image_name);
  std::unique_ptr<File> image = host.create_file(path);
  if (!image) {
    const bool exists = host.path_kind(path) != PathKind::kMissing;
    con.err(exists ? msg::kAlreadyExists : msg::kImageWriteFailed, as_host_text(image_name.c_str()));
    return false;
  }
  // A journal of that name belongs to an image that is gone: played back,
  // it would write that image's old bytes over the new one.
  bool written = true;
  if (journal_exists(host, image_name)) {
    const HostPath journal = HostPath::from_argument(journal_name(image_name));
    written = host.remove_file(journal) && host.sync_folder_of(journal);
  }
  const Volume vol = blank_volume(k2ddDataDisk);
  written = written && write_new_d88_image(*image, vol, d88::kDiskType2DD) && image->sync();
  written = image->close() && written;
  image.reset();
  if (!written) {
    host.remove_file(path);  // no partial image stays behind
    con.err(msg::kImageWriteFailed, image_name.c_str());
  }
  return written;
}

}  // namespace tarnwick
