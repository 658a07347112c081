#include "volume/pattern.h"

#include <gtest/gtest.h>

#include <string>

#include "support/image_builder.h"

namespace tarnwick {
namespace {

constexpr PatternText B = PatternText::kBytes;
constexpr PatternText U = PatternText::kUtf8;

// Which names a pattern takes, as bytes and in the UTF-8 mode. Shift_JIS:
// ソ 83 5C, ゼ 83 5B, ア 83 41, あ 82 A0, ぁ 82 9F, ん 82 F1, ｶ B6; 85 40
// is a pair that forms no character.
TEST(NamePatternTest, MatchesByUnits) {
  const struct {
    PatternText text;
    std::string pattern, name;
    bool match;
  } cases[] = {
      {B, "*", "HELLO", true},
      {B, "*", ".", false},
      {B, ".*", "..", false},
      {B, ".*", ".RC", true},
      {B, "H*O", "HELL", false},
      {B, "*A", "BANANAS", false},
      {B, "*AN*S", "BANANAS", true},
      {B, "?", "\x83\x41", true},        // a double-byte character is one unit
      {B, "??", "\x83\x41", false},
      {B, "\x83*", "\x83\x41", false},   // never half of one
      {B, "[A-C]*", "BALL", true},
      {B, "[!A-C]*", "BALL", false},
      {B, "[]A]", "]", true},
      {B, "[!]", "[!]", true},           // no ']' closes it: itself
      {B, "[a-]", "-", true},
      {B, "\\*", "*", true},
      {B, "\\*", "A", false},
      {B, "\\\\?", "\\A", true},
      {B, "A\\B", "A\\B", true},         // a '\' before a plain character is itself
      {B, "\x83\x5C*", "\x83\x5C" "A", true},  // its 5C is no '\'
      {B, "\x83\x5B" "A]", "\x83\x5B" "A]", true},  // its 5B is no '['
      {B, "[\x82\x9F-\x82\xF1]*", "\x82\xA0\x82\xA0", true},
      {B, "[\x82\x9F-\x82\xF1]*", "\x83\x41", false},
      {B, "[\xB1-\xDD]", "\xB6", true},
      {B, "?", "\x85\x40", true},
      {U, "?", "\x85\x40", false},       // the UTF-8 mode shows it as %85 and @
      {U, "%85?", "\x85\x40", true},
      {U, "ソ*", "\x83\x5C" "A", true},
      {U, "[ぁ-ん]", "\x82\xA0", true},
      {U, "%2A?", "*B", true},           // %2A is a '*' of the name
      {U, "%2A?", "AB", false},
      {U, "A%2F*", "A/B", true},
  };
  for (const auto& c : cases) {
    const std::optional<NamePattern> p = NamePattern::compile(c.pattern, c.text);
    ASSERT_TRUE(p) << c.pattern;
    EXPECT_EQ(p->matches(c.name), c.match) << c.pattern << " ~ " << c.name;
  }
  for (const auto& [typed, text] : {std::pair{"é", U}, {"%0D", U}, {"\xFF*", U}, {"A\r", B}}) {
    EXPECT_FALSE(NamePattern::compile(typed, text)) << typed;
  }
}

TEST(NamePatternTest, SplitsPathAtItsLastName) {
  const std::optional<PathPattern> p = split_path_pattern("A%2FB/X\\*%2F", U);
  ASSERT_TRUE(p);
  EXPECT_FALSE(p->last.has_wildcard());
  EXPECT_EQ(p->literal_path(), "A\x0D" "B/X*\x0D");
  EXPECT_TRUE(has_wildcard("GAMES/S*", B));
  EXPECT_FALSE(has_wildcard("G*/S", B));  // only the last name is a pattern
}

TEST(NamePatternTest, PicksUsedEntriesButDotsInEntryOrder) {
  testing::VolumeBuilder b(200);
  const uint32_t games = b.add_directory(kRootDirectoryRecord, "GAMES");
  const EntryRef space = b.add_contiguous(games, "SPACE", testing::pattern(1));
  const EntryRef gone = b.add_contiguous(games, "SHOT", testing::pattern(1));
  const EntryRef star = b.add_contiguous(games, "STAR", testing::pattern(1));
  b.volume().set_field8(gone, entry::kMode, 0);
  const std::vector<EntryRef> found = matching_entries(b.volume(), games, *NamePattern::compile("*", B));
  EXPECT_EQ(found, (std::vector<EntryRef>{space, star}));
}

}  // namespace
}  // namespace tarnwick
