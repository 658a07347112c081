#include "app/json.h"

#include <optional>

#include "output/text.h"

namespace tarnwick {

void JsonWriter::separate() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!empty_.empty()) {
    if (!empty_.back()) out_ += ',';
    empty_.back() = 0;
  }
}

JsonWriter& JsonWriter::open(char c) {
  separate();
  out_ += c;
  empty_.push_back(1);
  return *this;
}

JsonWriter& JsonWriter::close(char c) {
  out_ += c;
  empty_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
  separate();
  // The document's own keys need no escapes.
  out_ += '"';
  out_ += name;
  out_ += "\":";
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::text(std::string_view utf8) {
  separate();
  quoted(utf8);
  return *this;
}

JsonWriter& JsonWriter::number(int64_t n) {
  separate();
  out_ += std::to_string(n);
  return *this;
}

JsonWriter& JsonWriter::boolean(bool b) {
  separate();
  out_ += b ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::null() {
  separate();
  out_ += "null";
  return *this;
}

void JsonWriter::quoted(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789abcdef";
  out_ += '"';
  for (size_t at = 0; at < utf8.size();) {
    // Printable ASCII as it is, a run at a time.
    const size_t from = at;
    while (at < utf8.size() && utf8[at] >= 0x20 && utf8[at] < 0x7F && utf8[at] != '"' && utf8[at] != '\\') ++at;
    out_.append(utf8.substr(from, at - from));
    if (at == utf8.size()) break;
    const size_t start = at;
    const std::optional<char32_t> c = next_utf8(utf8, at);
    if (!c) {
      out_ += "\xEF\xBF\xBD";  // U+FFFD
      ++at;
    } else if (*c == U'"' || *c == U'\\') {
      out_ += '\\';
      out_ += static_cast<char>(*c);
    } else if (*c < 0x20) {
      out_ += "\\u00";
      out_ += kHex[*c >> 4];
      out_ += kHex[*c & 0xF];
    } else {
      out_.append(utf8.substr(start, at - start));
    }
  }
  out_ += '"';
}

}  // namespace tarnwick
