#include "commands/convert.h"

#include <cctype>
#include <vector>

#include "commands/format.h"
#include "containers/d88.h"
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
// be read (the front end reports the image then).
bool read_volume(const Volume& vol, std::vector<uint8_t>& out, Host& host) {
  host.resize_buffer(out, vol.size());
  return vol.read(0, out);
}

}  // namespace

std::optional<NewImageForm> new_image_form(std::string_view name) {
  if (ends_with_any_case(name, ".d88")) return NewImageForm::kD88;
  if (ends_with_any_case(name, ".2d") || ends_with_any_case(name, ".2dd")) return NewImageForm::kRaw;
  return std::nullopt;
}

bool check_new_image(Console& con, Host& host, const std::string& name) {
  if (!new_image_form(name)) {
    con.err(msg::kUnknownImageForm, name);
    return false;
  }
  if (host.path_kind(HostPath::from_argument(name)) != PathKind::kMissing) {
    con.err(msg::kAlreadyExists, as_host_text(name));
    return false;
  }
  return true;
}

void command_convert(RunContext& ctx, ImageFile& source, const std::string& new_name) {
  const Container& from = source.container();
  const NewImageForm form = new_image_form(new_name).value_or(NewImageForm::kD88);
  const size_t tracks = ctx.vol.size() / raw::kTrackBytes;
  if (form == NewImageForm::kRaw && !is_raw_track_count(tracks)) {
    ctx.con.err(msg::kUnknownImageForm, new_name);
    return;
  }
  std::vector<uint8_t> bytes;
  if (form == NewImageForm::kD88 && from.kind == ContainerKind::kD88) {
    // The disk as the file holds it, header and size field included.
    if (!source.read_bytes(d88_disk_bytes(from), bytes)) {
      ctx.con.err(msg::kReadFailed, ctx.image_name);
      return;
    }
  } else if (!read_volume(ctx.vol, bytes, ctx.host)) {
    return;
  } else if (form == NewImageForm::kRaw) {
    bytes = raw_image_bytes(bytes);
  }
  const bool rebuild = form == NewImageForm::kD88 && from.kind == ContainerKind::kRaw;
  const uint8_t type = tracks > k2dMaxTracks ? d88::kDiskType2DD : d88::kDiskType2D;
  const bool written =
      rebuild ? write_new_image(ctx.con, ctx.host, new_name,
                                [&](File& file) { return write_new_d88_image(file, bytes, type); })
              : write_new_image_bytes(ctx.con, ctx.host, new_name, bytes);
  if (written) ctx.con.out(msg::kImageCreated, new_name);
}

}  // namespace tarnwick
