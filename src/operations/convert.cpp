#include "operations/convert.h"

#include <cctype>

#include "containers/d88.h"
#include "containers/memory_store.h"
#include "containers/raw.h"

namespace tarnwick {

namespace {

// More tracks than a 2D disk of 42 cylinders holds make a 2DD disk.
constexpr size_t k2dMaxTracks = 84;

bool ends_with_any_case(std::string_view name, std::string_view ext) {
  if (name.size() < ext.size()) return false;
  const std::string_view tail = name.substr(name.size() - ext.size());
  for (size_t i = 0; i < ext.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(tail[i])) != ext[i]) return false;
  }
  return true;
}

// The volume's bytes, every page read once; false when a page could not
// be read (Session::run reports the image then).
bool read_volume(Image& image, std::vector<uint8_t>& out) {
  const Volume& vol = image.volume();
  resize_prepared(out, vol.size(), [&image](void* p, size_t n) { image.store().prepare_for_writing(p, n); });
  return vol.read(0, out);
}

// A D88 file of one disk of `type` holding the raw image's tracks.
std::optional<std::vector<uint8_t>> rebuilt_d88(const std::vector<uint8_t>& tracks, uint8_t type) {
  MemoryStore made("", {});
  if (!write_new_d88_image(made.file(), tracks, type)) return std::nullopt;
  return made.bytes();
}

}  // namespace

std::optional<NewImageForm> new_image_form(std::string_view name) {
  if (ends_with_any_case(name, ".d88")) return NewImageForm::kD88;
  if (ends_with_any_case(name, ".2d") || ends_with_any_case(name, ".2dd")) return NewImageForm::kRaw;
  return std::nullopt;
}

bool check_new_image(Host& host, Report& rep, const std::string& name) {
  if (!new_image_form(name)) {
    rep.err(msg::kUnknownImageForm, name);
    return false;
  }
  if (host.path_kind(HostPath::from_argument(name)) != PathKind::kMissing) {
    rep.err(msg::kAlreadyExists, as_host_text(name));
    return false;
  }
  return true;
}

std::optional<std::vector<uint8_t>> disk_image_bytes(Image& source, NewImageForm form, const std::string& new_name,
                                                     Report& rep) {
  const Container& from = source.container();
  if (!from.floppy()) {
    rep.err(msg::kNotFloppy, source.name());
    return std::nullopt;
  }
  const size_t tracks = source.volume().size() / raw::kTrackBytes;
  if (form == NewImageForm::kRaw && !is_raw_track_count(tracks)) {
    rep.err(msg::kUnknownImageForm, new_name);
    return std::nullopt;
  }
  std::vector<uint8_t> bytes;
  if (form == NewImageForm::kD88 && from.kind == ContainerKind::kD88) {
    // The disk as the file holds it, header and size field included.
    if (!source.read_bytes(d88_disk_bytes(from), bytes)) {
      rep.err(msg::kReadFailed, source.name());
      return std::nullopt;
    }
    return bytes;
  }
  if (!read_volume(source, bytes)) return std::nullopt;
  if (form == NewImageForm::kRaw) return raw_image_bytes(bytes);
  // A raw image to a D88 file.
  const uint8_t type = tracks > k2dMaxTracks ? d88::kDiskType2DD : d88::kDiskType2D;
  const std::optional<std::vector<uint8_t>> d88 = rebuilt_d88(bytes, type);
  if (!d88) report_write_failed(rep, new_name, "");
  return d88;
}

}  // namespace tarnwick
