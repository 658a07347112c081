#include "support/json_check.h"

#include "output/text.h"

namespace tarnwick::testing {

namespace {

class JsonCheck {
 public:
  explicit JsonCheck(std::string_view t) : t_(t) {}
  bool document() {
    space();
    if (!value(0)) return false;
    space();
    return at_ == t_.size();
  }

 private:
  bool value(int depth) {
    if (depth > 10000 || at_ >= t_.size()) return false;
    switch (t_[at_]) {
      case '{': return group('}', depth, true);
      case '[': return group(']', depth, false);
      case '"': return string();
      case 't': return word("true");
      case 'f': return word("false");
      case 'n': return word("null");
      default: return number();
    }
  }
  // An object (members `key: value`) or an array.
  bool group(char close, int depth, bool members) {
    ++at_;
    space();
    if (take(close)) return true;
    do {
      space();
      if (members && (!string() || (space(), !take(':')))) return false;
      space();
      if (!value(depth + 1)) return false;
      space();
    } while (take(','));
    return take(close);
  }
  bool string() {
    if (!take('"')) return false;
    while (at_ < t_.size() && t_[at_] != '"') {
      const unsigned char c = static_cast<unsigned char>(t_[at_]);
      if (c < 0x20) return false;
      if (c == '\\') {
        if (++at_ >= t_.size()) return false;
        if (t_[at_] == 'u') {
          for (int i = 0; i < 4; ++i) {
            if (++at_ >= t_.size() || !hex_digit(static_cast<unsigned char>(t_[at_]))) return false;
          }
        } else if (std::string_view("\"\\/bfnrt").find(t_[at_]) == std::string_view::npos) {
          return false;
        }
        ++at_;
      } else if (!next_utf8(t_, at_)) {
        return false;
      }
    }
    return take('"');
  }
  bool number() {
    take('-');
    // No leading zero in an integer part of more than one digit.
    const size_t integer = at_;
    if (!digits() || (at_ - integer > 1 && t_[integer] == '0')) return false;
    if (take('.') && !digits()) return false;
    if (take('e') || take('E')) {
      if (!take('+')) take('-');
      if (!digits()) return false;
    }
    return true;
  }
  bool digits() {
    const size_t from = at_;
    while (at_ < t_.size() && is_digit(t_[at_])) ++at_;
    return at_ > from;
  }
  static bool is_digit(char c) { return c >= '0' && c <= '9'; }
  bool word(std::string_view w) {
    if (t_.substr(at_, w.size()) != w) return false;
    at_ += w.size();
    return true;
  }
  bool take(char c) {
    if (at_ < t_.size() && t_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  void space() {
    while (at_ < t_.size() && std::string_view(" \t\r\n").find(t_[at_]) != std::string_view::npos) ++at_;
  }

  std::string_view t_;
  size_t at_ = 0;
};

}  // namespace

bool is_json_document(std::string_view text) { return JsonCheck(text).document(); }

}  // namespace tarnwick::testing
