#include "volume/pattern.h"

#include "output/cp932.h"
#include "output/name_text.h"
#include "output/text.h"
#include "volume/path_text.h"

namespace tarnwick {

// One unit of the typed pattern: its bytes, and whether it stands for
// itself whatever it is (a double-byte character, an escape, %XX) or may
// be a wildcard's character.
struct NamePattern::Piece {
  std::string bytes;
  bool literal = false;

  bool is(char c) const { return !literal && bytes.size() == 1 && bytes[0] == c; }
};

namespace {

constexpr std::string_view kEscapable = "\\*?[]";

bool pair_at(std::string_view s, size_t at) {
  return at + 1 < s.size() && is_cp932_lead(static_cast<uint8_t>(s[at])) &&
         is_cp932_trail(static_cast<uint8_t>(s[at + 1]));
}

// The length of the unit of `name` at `at`: a double-byte character is one
// unit, in the UTF-8 mode only one the mode shows as a character.
size_t unit_length(std::string_view name, size_t at, PatternText text) {
  if (!pair_at(name, at)) return 1;
  if (text == PatternText::kBytes) return 2;
  const auto lead = static_cast<uint8_t>(name[at]), trail = static_cast<uint8_t>(name[at + 1]);
  const std::optional<char32_t> c = decode_cp932_pair(lead, trail);
  return c && encode_cp932(*c) == (lead << 8 | trail) ? 2 : 1;
}

uint16_t code_of(std::string_view unit) {
  const auto first = static_cast<uint8_t>(unit[0]);
  return unit.size() == 1 ? first : static_cast<uint16_t>(first << 8 | static_cast<uint8_t>(unit[1]));
}

// The next piece of text typed in the UTF-8 mode: %XX, or one character by
// its canonical code (an ASCII character may be a wildcard's).
std::optional<NamePattern::Piece> next_utf8_piece(std::string_view typed, size_t& at) {
  if (typed[at] == '%' && typed.size() - at >= 3 && hex_digit(typed[at + 1]) && hex_digit(typed[at + 2])) {
    const char byte = static_cast<char>(*hex_digit(typed[at + 1]) << 4 | *hex_digit(typed[at + 2]));
    at += 3;
    return NamePattern::Piece{std::string(1, byte), true};
  }
  const std::optional<char32_t> c = next_utf8(typed, at);
  if (!c) return std::nullopt;
  std::optional<std::string> bytes = name_bytes(std::u32string(1, *c));
  if (!bytes) return std::nullopt;
  return NamePattern::Piece{std::move(*bytes), *c >= 0x80};
}

}  // namespace

std::optional<std::vector<NamePattern::Piece>> NamePattern::read_pieces(std::string_view typed, PatternText text) {
  std::vector<Piece> pieces;
  for (size_t at = 0; at < typed.size();) {
    std::optional<Piece> piece;
    if (text == PatternText::kUtf8) {
      piece = next_utf8_piece(typed, at);
    } else {
      const size_t n = pair_at(typed, at) ? 2 : 1;
      piece = Piece{std::string(typed.substr(at, n)), n == 2};
      at += n;
    }
    if (!piece || piece->bytes.find(static_cast<char>(kNameEnd)) != std::string::npos) return std::nullopt;
    // A '\' makes the wildcard's character after it itself.
    if (!pieces.empty() && pieces.back().is('\\') && piece->bytes.size() == 1 && !piece->literal &&
        kEscapable.find(piece->bytes[0]) != std::string_view::npos) {
      pieces.back() = Piece{piece->bytes, true};
      continue;
    }
    pieces.push_back(std::move(*piece));
  }
  return pieces;
}

// Reads the set whose '[' is at `at` into `set`; the index after its ']',
// or 0 (and `set` untouched) when no ']' closes it and the '[' is itself.
size_t NamePattern::read_set(const std::vector<Piece>& pieces, size_t at, Token& set) {
  Token read{Kind::kSet, {}, {}, false};
  size_t i = at + 1;
  if (i < pieces.size() && pieces[i].is('!')) {
    read.negated = true;
    ++i;
  }
  for (bool first = true; i < pieces.size(); first = false) {
    if (!first && pieces[i].is(']')) {
      set = std::move(read);
      return i + 1;
    }
    const uint16_t low = code_of(pieces[i].bytes);
    uint16_t high = low;
    if (i + 2 < pieces.size() && pieces[i + 1].is('-') && !pieces[i + 2].is(']')) {
      high = code_of(pieces[i + 2].bytes);
      i += 2;
    }
    read.set.push_back({low, high});
    ++i;
  }
  return 0;
}

std::optional<NamePattern> NamePattern::compile(std::string_view typed, PatternText text) {
  const std::optional<std::vector<Piece>> pieces = read_pieces(typed, text);
  if (!pieces) return std::nullopt;
  NamePattern p;
  p.text_ = text;
  for (size_t i = 0; i < pieces->size(); ++i) {
    const Piece& piece = (*pieces)[i];
    Token token{Kind::kLiteral, {}, {}, false};
    if (piece.is('*')) {
      token.kind = Kind::kAny;
      if (!p.tokens_.empty() && p.tokens_.back().kind == Kind::kAny) continue;
    } else if (piece.is('?')) {
      token.kind = Kind::kOne;
    } else if (piece.is('[')) {
      const size_t end = read_set(*pieces, i, token);
      if (end != 0) i = end - 1;
    }
    if (token.kind != Kind::kLiteral) {
      p.wild_ = true;
      p.tokens_.push_back(std::move(token));
      continue;
    }
    p.literal_ += piece.bytes;
    if (p.tokens_.empty() || p.tokens_.back().kind != Kind::kLiteral) p.tokens_.push_back(std::move(token));
    p.tokens_.back().bytes += piece.bytes;
  }
  return p;
}

bool NamePattern::step(const Token& token, std::string_view name, const std::vector<bool>& boundary,
                       size_t& at) const {
  if (token.kind == Kind::kLiteral) {
    const size_t end = at + token.bytes.size();
    if (end > name.size() || !boundary[end] || name.substr(at, token.bytes.size()) != token.bytes) return false;
    at = end;
    return true;
  }
  if (at >= name.size()) return false;
  const size_t length = unit_length(name, at, text_);
  if (token.kind == Kind::kSet) {
    const uint16_t code = code_of(name.substr(at, length));
    bool in = false;
    for (const Range& r : token.set) in = in || (code >= r.low && code <= r.high);
    if (in == token.negated) return false;
  }
  at += length;
  return true;
}

bool NamePattern::matches(std::string_view name) const {
  if (!wild_) return name == literal_;
  if (name == "." || name == "..") return false;
  std::vector<bool> boundary(name.size() + 1, false);
  for (size_t at = 0; at < name.size(); at += unit_length(name, at, text_)) boundary[at] = true;
  boundary[name.size()] = true;
  // Each token but '*' takes a fixed stretch, so only the last '*' met
  // needs to take one unit more when the rest fails.
  size_t t = 0, at = 0;
  std::optional<size_t> star_token, star_at;
  while (t < tokens_.size() || at < name.size()) {
    if (t < tokens_.size() && tokens_[t].kind == Kind::kAny) {
      star_token = t++;
      star_at = at;
      continue;
    }
    if (t < tokens_.size() && step(tokens_[t], name, boundary, at)) {
      ++t;
      continue;
    }
    if (!star_token || *star_at >= name.size()) return false;
    *star_at += unit_length(name, *star_at, text_);
    at = *star_at;
    t = *star_token + 1;
  }
  return true;
}

std::string PathPattern::literal_path() const { return directory + path_component(last.literal()); }

std::optional<PathPattern> split_path_pattern(std::string_view typed, PatternText text) {
  const size_t slash = typed.rfind('/');
  const size_t name_at = slash == std::string_view::npos ? 0 : slash + 1;
  std::optional<std::string> directory(std::string(typed.substr(0, name_at)));
  if (text == PatternText::kUtf8) directory = path_from_utf8(*directory);
  std::optional<NamePattern> last = NamePattern::compile(typed.substr(name_at), text);
  if (!directory || !last) return std::nullopt;
  return PathPattern{std::move(*directory), std::move(*last)};
}

bool has_wildcard(std::string_view typed, PatternText text) {
  const std::optional<PathPattern> p = split_path_pattern(typed, text);
  return p && p->last.has_wildcard();
}

std::vector<EntryRef> matching_entries(const Volume& vol, uint32_t dir, const NamePattern& pattern) {
  std::vector<EntryRef> found;
  for (const EntryRef e : directory_entries(dir)) {
    if (vol.mode(e) == 0) continue;
    std::string name;
    for (int i = 0; i < kNameFieldLength; ++i) {
      const uint8_t b = vol.field8(e, entry::kName + static_cast<uint32_t>(i));
      if (b == kNameEnd) {
        if (pattern.matches(name)) found.push_back(e);
        break;
      }
      name.push_back(static_cast<char>(b));
    }
  }
  return found;
}

}  // namespace tarnwick
