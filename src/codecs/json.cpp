#include "codecs/json.h"

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

namespace tarnwick {

const JsonValue* JsonValue::member(std::string_view key) const {
  if (kind != Kind::kObject) return nullptr;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == key) return &items[i];
  }
  return nullptr;
}

std::optional<int64_t> JsonValue::integer(int64_t least, int64_t most) const {
  if (kind != Kind::kNumber || !integral || number < least || number > most) return std::nullopt;
  return number;
}

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A reader over one document; each read_ function leaves `at_` past what
// it read, or fails with `at_` where the fault is.
class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  std::optional<JsonValue> document() {
    JsonValue v;
    skip_blanks();
    if (!read_value(v, 0)) return std::nullopt;
    skip_blanks();
    if (at_ != text_.size()) return std::nullopt;
    return v;
  }

  size_t line() const {
    size_t n = 1;
    for (size_t i = 0; i < at_ && i < text_.size(); ++i) n += text_[i] == '\n';
    return n;
  }

 private:
  bool more() const { return at_ < text_.size(); }
  char peek() const { return more() ? text_[at_] : '\0'; }
  void skip_blanks() {
    while (more() && is_blank(text_[at_])) ++at_;
  }
  bool take(char c) {
    if (peek() != c) return false;
    ++at_;
    return true;
  }
  bool literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  bool read_value(JsonValue& v, int depth) {
    if (++values_ > kMaxValues) return false;
    switch (peek()) {
      case '{': return depth < kJsonMaxDepth && read_object(v, depth + 1);
      case '[': return depth < kJsonMaxDepth && read_array(v, depth + 1);
      case '"': v.kind = JsonValue::Kind::kText; return read_text(v.text);
      case 't': v.kind = JsonValue::Kind::kBoolean; v.boolean = true; return literal("true");
      case 'f': v.kind = JsonValue::Kind::kBoolean; return literal("false");
      case 'n': return literal("null");
      default: return read_number(v);
    }
  }

  bool read_array(JsonValue& v, int depth) {
    v.kind = JsonValue::Kind::kArray;
    ++at_;
    skip_blanks();
    if (take(']')) return true;
    for (;;) {
      skip_blanks();
      if (!read_value(v.items.emplace_back(), depth)) return false;
      skip_blanks();
      if (take(']')) return true;
      if (!take(',')) return false;
    }
  }

  bool read_object(JsonValue& v, int depth) {
    v.kind = JsonValue::Kind::kObject;
    ++at_;
    skip_blanks();
    if (take('}')) return true;
    for (;;) {
      skip_blanks();
      std::string key;
      if (peek() != '"' || !read_text(key)) return false;
      if (v.member(key)) return false;  // a key given twice: which one counts?
      skip_blanks();
      if (!take(':')) return false;
      skip_blanks();
      v.keys.push_back(std::move(key));
      if (!read_value(v.items.emplace_back(), depth)) return false;
      skip_blanks();
      if (take('}')) return true;
      if (!take(',')) return false;
    }
  }

  // Four hex digits after "\u".
  std::optional<char32_t> read_hex4() {
    if (text_.size() - at_ < 4) return std::nullopt;
    char32_t c = 0;
    for (int i = 0; i < 4; ++i) {
      const int d = hex_digit(text_[at_++]);
      if (d < 0) return std::nullopt;
      c = c * 16 + static_cast<char32_t>(d);
    }
    return c;
  }

  // The character of a "\u" escape, a surrogate pair joined; nothing for
  // a surrogate alone.
  std::optional<char32_t> read_unicode_escape() {
    const std::optional<char32_t> c = read_hex4();
    if (!c || (*c >= 0xDC00 && *c <= 0xDFFF)) return std::nullopt;
    if (*c < 0xD800 || *c > 0xDBFF) return c;
    if (!literal("\\u")) return std::nullopt;
    const std::optional<char32_t> low = read_hex4();
    if (!low || *low < 0xDC00 || *low > 0xDFFF) return std::nullopt;
    return 0x10000 + ((*c - 0xD800) << 10) + (*low - 0xDC00);
  }

  bool read_escape(std::string& out) {
    const char c = peek();
    ++at_;
    switch (c) {
      case '"': case '\\': case '/': out += c; return true;
      case 'b': out += '\b'; return true;
      case 'f': out += '\f'; return true;
      case 'n': out += '\n'; return true;
      case 'r': out += '\r'; return true;
      case 't': out += '\t'; return true;
      case 'u': {
        const std::optional<char32_t> u = read_unicode_escape();
        if (u) append_utf8(out, *u);
        return u.has_value();
      }
      default: return false;
    }
  }

  bool read_text(std::string& out) {
    ++at_;  // the opening quote
    while (more()) {
      const char c = text_[at_];
      if (c == '"') {
        ++at_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c == '\\') {
        ++at_;
        if (!read_escape(out)) return false;
        continue;
      }
      const size_t from = at_;
      if (!next_utf8(text_, at_)) return false;
      out.append(text_.substr(from, at_ - from));
    }
    return false;
  }

  // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
  bool read_number(JsonValue& v) {
    v.kind = JsonValue::Kind::kNumber;
    const bool negative = take('-');
    if (!is_digit(peek())) return false;
    bool fits = true;
    uint64_t magnitude = 0;
    if (!take('0')) {
      while (is_digit(peek())) {
        const auto d = static_cast<uint64_t>(text_[at_++] - '0');
        fits = fits && magnitude <= (uint64_t{1} << 62) / 5;  // so that * 10 + 9 stays below 2^63 + 9
        magnitude = magnitude * 10 + d;
      }
    }
    bool whole = true;
    if (take('.')) {
      whole = false;
      if (!digits()) return false;
    }
    if (peek() == 'e' || peek() == 'E') {
      ++at_;
      whole = false;
      if (!take('+')) take('-');
      if (!digits()) return false;
    }
    const uint64_t most = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    v.integral = whole && fits && magnitude <= most;
    if (v.integral) v.number = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
  }

  bool digits() {
    if (!is_digit(peek())) return false;
    while (is_digit(peek())) ++at_;
    return true;
  }

  // A value takes some 150 bytes in memory whatever its text: the count
  // bounds what a document of single digits can cost.
  static constexpr size_t kMaxValues = size_t{1} << 20;

  std::string_view text_;
  size_t at_ = 0;
  size_t values_ = 0;
};

}  // namespace

std::optional<JsonValue> read_json(std::string_view text, JsonFault* fault) {
  JsonReader reader(text);
  std::optional<JsonValue> v = reader.document();
  if (!v && fault) fault->line = reader.line();
  return v;
}

}  // namespace tarnwick

namespace tarnwick {

std::string hex_text(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    out += kHex[static_cast<uint8_t>(c) >> 4];
    out += kHex[static_cast<uint8_t>(c) & 0x0F];
  }
  return out;
}

std::optional<std::string> bytes_of_hex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = hex_digit(hex[i]);
    const int low = hex_digit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
  }
  return out;
}

}  // namespace tarnwick
