// Wildcards in the last name of a PATH: a pattern that picks entries of one
// directory by their names, as the shell picks files.
//
//   *      any run of units, the empty one too
//   ?      one unit
//   [...]  one unit of a set of units and ranges (A-Z); '!' first in the
//          set takes every unit that is not in it; ']' first (after any
//          '!') belongs to the set, '-' first or last too; a '[' with no
//          ']' after it is itself
//   \c     c itself, when c is one of \ * ? [ ]; a '\' before anything
//          else is itself, so names holding '\' are typed as they are
//
// A unit is one character of a name. As bytes (the C locale), that is a
// byte, or a Shift_JIS double-byte character (a lead byte and a trail
// byte), whose second byte is never taken for '\', '[' or ']'. In the
// UTF-8 mode it is a character as the mode shows the name: a double-byte
// character only when it is one the mode shows (its canonical code),
// every byte shown as %XX one unit of its own.
//
// The pattern typed in the UTF-8 mode is compiled to code page 932, as a
// PATH is: each character becomes its canonical code, "%XX" the byte XX.
// The name's bytes are then matched as they stand, so a pattern and the
// name the listing shows agree byte for byte, and an escape "%2A" is a
// '*' of the name, never a wildcard. Ranges compare code page 932 codes
// (a double-byte character as lead x 256 + trail) in both modes, so
// [ｱ-ﾝ] and [ぁ-ん] hold what they say; inside a set each %XX is one byte.
//
// A pattern with a wildcard never matches "." or "..", whatever it is:
// `D disk 1 GAMES/*` or `X ... .*` never reaches a directory's own entry or
// its parent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "volume/volume.h"

namespace tarnwick {

// How the user's text is read: as the volume's bytes, or as UTF-8 text
// with %XX escapes (the UTF-8 mode).
enum class PatternText { kBytes, kUtf8 };

class NamePattern {
 public:
  // One name's pattern as typed. Nothing when the text is not what the
  // mode reads (not UTF-8, or a character code page 932 has no canonical
  // code for) or names the byte 0x0D, which no name holds.
  static std::optional<NamePattern> compile(std::string_view typed, PatternText text);

  // True when the pattern holds *, ? or a set.
  bool has_wildcard() const { return wild_; }
  // The name's bytes, escapes taken out; the name itself when the pattern
  // has no wildcard.
  const std::string& literal() const { return literal_; }
  // True when the name (its bytes up to the 0x0D) matches.
  bool matches(std::string_view name) const;

  struct Piece;  // a unit of the typed text, as compile() reads it

 private:
  struct Range {
    uint16_t low, high;
  };
  enum class Kind { kLiteral, kOne, kAny, kSet };
  struct Token {
    Kind kind;
    std::string bytes;         // kLiteral
    std::vector<Range> set;    // kSet
    bool negated = false;      // kSet
  };
  static std::optional<std::vector<Piece>> read_pieces(std::string_view typed, PatternText text);
  static size_t read_set(const std::vector<Piece>& pieces, size_t at, Token& set);
  bool step(const Token& token, std::string_view name, const std::vector<bool>& boundary, size_t& at) const;

  std::vector<Token> tokens_;
  std::string literal_;
  PatternText text_ = PatternText::kBytes;
  bool wild_ = false;
};

// A PATH split at its last '/': the directory, as the volume's path text
// (what a PATH without wildcards becomes), and the last name's pattern.
struct PathPattern {
  std::string directory;  // up to and with the last '/'; empty when PATH has none
  NamePattern last;

  // The whole PATH as the volume's path text, the last name with its
  // escapes taken out: what to resolve when it has no wildcard.
  std::string literal_path() const;
};

// Splits PATH as typed. Nothing when a part is not what the mode reads
// (NamePattern::compile).
std::optional<PathPattern> split_path_pattern(std::string_view typed, PatternText text);

// True when the last name of PATH, as typed, holds a wildcard.
bool has_wildcard(std::string_view typed, PatternText text);

// The used entries of directory `dir` whose names match, in entry order.
// An entry whose name has no 0x0D in its field matches nothing.
std::vector<EntryRef> matching_entries(const Volume& vol, uint32_t dir, const NamePattern& pattern);

}  // namespace tarnwick
