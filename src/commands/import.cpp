#include "commands/import.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "host/file.h"

namespace tarnwick {

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Parses the record number. A number beyond `limit` stops growing there, so
// any count of digits neither overflows nor wraps round to a small record.
std::optional<uint64_t> parse_record_number(const std::string& text, uint64_t limit) {
  uint64_t value = 0;
  for (char c : text) {
    const int digit = hex_digit(c);
    if (digit < 0) return std::nullopt;
    if (value <= limit) value = value * 16 + static_cast<uint64_t>(digit);
  }
  return value;
}

}  // namespace

bool import_records(Volume& vol, Console& con, Host& host, const std::string& record_text,
                    const std::string& host_file) {
  // Records 0 to last - 1 exist; an empty file may still start at `last`,
  // just past the end.
  const uint64_t last = vol.size() / kRecordSize;
  const std::optional<uint64_t> record = parse_record_number(record_text, last);
  if (!record || *record > last) {
    con.err(msg::kBadRecordNumber);
    return false;
  }
  const uint64_t start = *record * kRecordSize;

  std::unique_ptr<File> f = host.open(host_file, OpenMode::kRead);
  if (!f) {
    con.err(msg::kHostFileNotFound, host_file.c_str());
    return false;
  }
  // A length that cannot be taken (a pipe) cannot be shown to fit.
  const std::optional<uint64_t> length = f->size();
  if (!length || !vol.holds(start, *length)) {
    if (start >= vol.size()) {
      con.err(msg::kBadRecordNumber);
    } else {
      con.err(msg::kDoesNotFit, host_file.c_str());
    }
    f->close();
    return false;
  }

  // Read into a buffer of its own first, so that a failed read leaves the
  // volume as it was.
  std::vector<uint8_t> data;
  try {
    data.resize(static_cast<size_t>(*length));
  } catch (const std::bad_alloc&) {
    con.err(msg::kReadFailed, host_file.c_str());
    f->close();
    return false;
  }
  const size_t got = data.empty() ? 0 : f->read_at(0, data.data(), data.size());
  f->close();
  if (got != data.size()) {
    con.err(msg::kReadFailed, host_file.c_str());
    return false;
  }
  const std::span<uint8_t> target = vol.bytes(start, data.size());
  std::copy(data.begin(), data.end(), target.begin());
  return true;
}

bool command_import(RunContext& ctx, const std::string& record_text, const std::string& host_file) {
  return import_records(ctx.vol, ctx.con, ctx.host, record_text, host_file);
}

}  // namespace tarnwick
