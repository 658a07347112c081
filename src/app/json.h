// A JSON document (RFC 8259) written as it goes: objects, arrays, keys and
// values, the commas and the escapes where they belong. Text goes in as
// UTF-8; a byte that is not part of UTF-8 is written as U+FFFD, so the
// document is UTF-8 whatever it is given.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

class JsonWriter {
 public:
  JsonWriter& begin_object() { return open('{'); }
  JsonWriter& end_object() { return close('}'); }
  JsonWriter& begin_array() { return open('['); }
  JsonWriter& end_array() { return close(']'); }
  // The key of the next value inside an object: the document's own,
  // which needs no escapes.
  JsonWriter& key(std::string_view name);

  JsonWriter& text(std::string_view utf8);
  JsonWriter& number(int64_t n);
  JsonWriter& boolean(bool b);
  JsonWriter& null();

  // Room for a document of about n bytes.
  void reserve(size_t n) { out_.reserve(n); }
  // The document, ended by a newline.
  std::string finish() { return std::move(out_) + "\n"; }

 private:
  JsonWriter& open(char c);
  JsonWriter& close(char c);
  // The comma before a value or a key, where one is due.
  void separate();
  void quoted(std::string_view utf8);

  std::string out_;
  std::vector<uint8_t> empty_;  // of each open object or array: nothing in it yet
  bool after_key_ = false;
};

}  // namespace tarnwick
