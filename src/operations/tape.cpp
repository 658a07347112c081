#include "operations/tape.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "codecs/basic.h"
#include "codecs/mzt.h"
#include "codecs/text_file.h"
#include "host/host_path.h"
#include "volume/coding.h"
#include "volume/format.h"
#include "volume/path_text.h"

namespace tarnwick {

namespace {

// The most SOURCE may hold: an MZT header and the largest body, or a
// listing (codecs/text_file.h reads listings of up to 16 MiB).
constexpr size_t kMaxSource = size_t{16} << 20;

// The body of an MZT file of mode 2 whose size fits in it; nothing for
// anything else.
std::optional<std::span<const uint8_t>> basic_body(std::span<const uint8_t> file) {
  if (file.size() < mzt::kHeaderSize || file[mzt::kMode] != mode::kBtx) return std::nullopt;
  const size_t size = load16(file.data() + mzt::kSize);
  if (file.size() - mzt::kHeaderSize < size) return std::nullopt;
  return file.subspan(mzt::kHeaderSize, size);
}

// The mode of a file that starts as an MZT file does: 128 bytes or more, a
// mode byte that no listing starts with (a control character other than
// TAB, LF and CR), and a name field ended by 0x0D.
std::optional<uint8_t> tape_mode(std::span<const uint8_t> file) {
  if (file.size() < mzt::kHeaderSize) return std::nullopt;
  const uint8_t m = file[mzt::kMode];
  if (m == 0 || m >= 0x20 || m == '\t' || m == '\n' || m == '\r') return std::nullopt;
  const std::span<const uint8_t> name = file.subspan(mzt::kName, kNameFieldLength);
  if (std::find(name.begin(), name.end(), kNameEnd) == name.end()) return std::nullopt;
  return m;
}

// The MZT header's name field for TARGET: its last component without its
// extension (from the last '.', unless that is its first character), as
// PATH becomes the volume's bytes, filled with 0x0D; nothing after saying
// why there is none.
std::optional<std::array<uint8_t, kNameFieldLength>> tape_name(Report& rep, const std::string& target, bool utf8_paths) {
  std::array<uint8_t, kNameFieldLength> field;
  field.fill(kNameEnd);
  if (Host::is_standard_stream(HostPath::from_argument(target))) return field;
  std::string name(last_component(target));
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  const std::string typed = name;
  // 0x0D would end the name early (a name's "%2F" in the UTF-8 mode too).
  const std::optional<std::string> bytes = path_argument(typed, utf8_paths);
  if (!bytes || bytes->find(static_cast<char>(kNameEnd)) != std::string::npos) {
    rep.err(msg::kPathNotShiftJis, typed);
    return std::nullopt;
  }
  name = *bytes;
  if (name.size() > static_cast<size_t>(kNameLength)) {
    rep.err(msg::kNameTooLong, as_host_text(typed));
    return std::nullopt;
  }
  std::copy(name.begin(), name.end(), field.begin());
  return field;
}

// An MZT file of mode 2 holding the program of the listing in `text`;
// nothing after saying why not.
std::optional<std::string> tape_of_listing(Report& rep, std::string_view text, const std::string& source,
                                           const std::string& target, TextForm form, bool utf8_paths) {
  const TextRead program = read_basic_listing(text, form.encoding);
  if (program.error) {
    report_text_error(rep, *program.error);
    return std::nullopt;
  }
  if (program.bytes.size() > basic::kMaxFile) {
    rep.err(msg::kTooLarge, source);
    return std::nullopt;
  }
  const std::optional<std::array<uint8_t, kNameFieldLength>> name = tape_name(rep, target, utf8_paths);
  if (!name) return std::nullopt;
  std::string file(mzt::kHeaderSize, '\0');
  file[mzt::kMode] = static_cast<char>(mode::kBtx);
  std::copy(name->begin(), name->end(), file.begin() + mzt::kName);
  file[mzt::kSize] = static_cast<char>(program.bytes.size() & 0xFF);
  file[mzt::kSize + 1] = static_cast<char>(program.bytes.size() >> 8);
  file.append(program.bytes.begin(), program.bytes.end());
  return file;
}

// What SOURCE becomes; nothing after saying why it cannot be read or
// converted.
std::optional<std::string> convert_source(Host& host, Report& rep, const std::string& source,
                                          const std::string& target, TextForm form, bool utf8_paths) {
  const std::unique_ptr<File> in = host.open_argument(HostPath::from_argument(source), OpenMode::kRead);
  if (!in) {
    if (host.path_kind(HostPath::from_argument(source)) == PathKind::kFolder) {
      rep.err(msg::kNotAFile, source);
    } else {
      rep.err(msg::kHostFileNotFound, source);
    }
    return std::nullopt;
  }
  std::string bytes;
  switch (read_whole_file(*in, kMaxSource, bytes)) {
    case WholeRead::kFailed: rep.err(msg::kReadFailed, source); return std::nullopt;
    case WholeRead::kTooLarge: rep.err(msg::kTooLarge, source); return std::nullopt;
    case WholeRead::kRead: break;
  }
  const auto file = std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  // A tape file of another mode is no listing either.
  const std::optional<uint8_t> tape = tape_mode(file);
  if (tape && *tape != mode::kBtx) {
    rep.err(msg::kTapeNotBasic, as_host_text(source), unsigned{*tape});
    return std::nullopt;
  }
  const std::optional<std::span<const uint8_t>> body = basic_body(file);
  if (!body && !tape) return tape_of_listing(rep, bytes, source, target, form, utf8_paths);
  std::optional<std::string> listing = body ? list_basic_program(*body, form) : std::nullopt;
  if (!listing) rep.err(msg::kNotBasicProgram, as_host_text(source));
  return listing;
}

}  // namespace

bool convert_tape(Host& host, Report& rep, const std::string& source, const std::string& target, TextForm form,
                  bool utf8_paths) {
  const std::optional<std::string> converted = convert_source(host, rep, source, target, form, utf8_paths);
  if (!converted) return false;
  const auto bytes = std::span(reinterpret_cast<const uint8_t*>(converted->data()), converted->size());
  const HostPath path = HostPath::from_argument(target);
  std::string reason;
  if (!host.writes_standard_output(path)) {
    if (host.replace_file(path, bytes, &reason)) return true;
    report_cannot_write(rep, as_host_text(target), reason);
    return false;
  }
  const std::unique_ptr<File> out = host.open_standard(OpenMode::kCreate, &reason);
  const bool written = out && (bytes.empty() || out->write_at(0, bytes.data(), bytes.size()) == bytes.size());
  if (out && written && out->close()) return true;
  rep.err(msg::kStdoutWriteFailed, out ? out->failure_text() : reason);
  return false;
}

}  // namespace tarnwick
