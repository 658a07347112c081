#include "operations/import.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "host/file.h"
#include "output/text.h"
#include "volume/edit.h"

namespace tarnwick {

namespace {

// Parses the record number. A number beyond `limit` stops growing there, so
// any count of digits neither overflows nor wraps round to a small record.
std::optional<uint64_t> parse_record_number(const std::string& text, uint64_t limit) {
  uint64_t value = 0;
  for (char c : text) {
    const std::optional<uint8_t> digit = hex_digit(static_cast<unsigned char>(c));
    if (!digit) return std::nullopt;
    if (value <= limit) value = value * 16 + *digit;
  }
  return value;
}

// Reads the file in sequence into `data` until it ends or `limit` bytes
// have arrived, in pieces, so that a short file needs no buffer of the
// volume's size. False when memory runs out.
bool read_up_to(File& f, uint64_t limit, std::vector<uint8_t>& data) {
  constexpr uint64_t kPiece = 64 * 1024;
  try {
    while (data.size() < limit) {
      const size_t at = data.size();
      const size_t want = static_cast<size_t>(std::min(kPiece, limit - at));
      data.resize(at + want);
      const size_t got = f.read_at(at, data.data() + at, want);
      data.resize(at + got);
      if (got < want) break;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

bool import_records(Volume& vol, Report& rep, Host& host, const std::string& record_text,
                    const std::string& host_file) {
  // Records 0 to last - 1 exist; an empty file may still start at `last`,
  // just past the end.
  const uint64_t last = vol.size() / kRecordSize;
  const std::optional<uint64_t> record = parse_record_number(record_text, last);
  if (!record || *record > last) {
    rep.err(msg::kBadRecordNumber);
    return false;
  }
  const uint64_t start = *record * kRecordSize;

  std::unique_ptr<File> f = host.open_argument(HostPath::from_argument(host_file), OpenMode::kRead);
  if (!f) {
    rep.err(msg::kHostFileNotFound, host_file);
    return false;
  }
  // The file is read in sequence up to one byte more than the records from
  // `start` on hold: that byte shows that it does not fit, whatever the file
  // (a pipe or an endless device has no length to ask for). It goes into a
  // buffer of its own first, so that a failed read leaves the volume as it
  // was.
  const uint64_t room = start < vol.size() ? vol.size() - start : 0;
  std::vector<uint8_t> data;
  const bool read = read_up_to(*f, room + 1, data);
  const bool failed = !read || f->failed();
  f->close();
  if (failed) {
    rep.err(msg::kReadFailed, host_file.c_str());
    return false;
  }
  if (data.size() > room) {
    if (start >= vol.size()) {
      rep.err(msg::kBadRecordNumber);
    } else {
      rep.err(msg::kDoesNotFit, host_file.c_str());
    }
    return false;
  }
  VolumeEdit(vol).overwrite(start, data);
  return true;
}

}  // namespace tarnwick
