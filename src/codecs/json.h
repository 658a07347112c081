// JSON documents (RFC 8259), written and read.
//
// The writer writes as it goes: objects, arrays, keys and values, the
// commas and the escapes where they belong. Text goes in as UTF-8; a byte
// that is not part of UTF-8 is written as U+FFFD, so the document is UTF-8
// whatever it is given. The reader is strict and bounded, for documents
// that come from anywhere (a host file a user may have edited).
#pragma once

#include <cstdint>
#include <optional>
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

namespace tarnwick {

// A JSON value as read. Numbers are kept when they are integers that an
// int64_t holds; any other number reads as one that is no integer.
struct JsonValue {
  enum class Kind { kNull, kBoolean, kNumber, kText, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  bool integral = false;  // a number that is an integer in range
  int64_t number = 0;
  std::string text;  // UTF-8
  // An array's values; an object's, each under the key of the same place
  // in `keys` (in document order, no key twice).
  std::vector<JsonValue> items;
  std::vector<std::string> keys;

  // The member `key` of an object; nothing when there is none or this is
  // no object.
  const JsonValue* member(std::string_view key) const;
  // An integer in [least, most], else nothing.
  std::optional<int64_t> integer(int64_t least, int64_t most) const;
};

// Why a text is no JSON document.
struct JsonFault {
  size_t line = 1;  // where the reading stopped, from 1
};

// Reads one JSON document (RFC 8259) and nothing else but white space
// around it, strictly: no comments, no trailing commas, no key twice in an
// object, text only as UTF-8 with escapes that stand for characters. Arrays
// and objects nest at most kJsonMaxDepth deep, and a document holds at most
// some million values. Nothing, with where it
// stopped in `fault`, for any other text.
inline constexpr int kJsonMaxDepth = 200;
std::optional<JsonValue> read_json(std::string_view text, JsonFault* fault = nullptr);

// Bytes as upper-case hexadecimal, two digits each, and back (digits in
// either case; nothing for an odd count or a character that is no digit).
std::string hex_text(std::string_view bytes);
std::optional<std::string> bytes_of_hex(std::string_view hex);

}  // namespace tarnwick
