// Volume text shown in UTF-8 and PATH arguments typed in it. The escapes of
// single names are host_name()'s, tested with it; these are the cases that
// differ and the conversion back.
#include "host/user_text.h"
#include "output/name_text.h"
#include "volume/path_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tarnwick {
namespace {

std::string utf8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

TEST(UserTextTest, ShowsVolumeNamesAndPaths) {
  struct Case {
    std::string cp932;
    ArgKind kind;
    const char8_t* shown;
  };
  const std::vector<Case> cases = {
      {"\x8A\xBF\x8E\x9A/\xB1\xB2/A\\B~", ArgKind::kVolumePath, u8"漢字/ｱｲ/A\\B~"},
      {"A/B", ArgKind::kVolumeName, u8"A%2FB"},
      {"A/B", ArgKind::kQuotedName, u8"\"A%2FB\""},
      {"\x1B[31m%", ArgKind::kQuotedName, u8"\"%1B[31m%25\""},
      {"", ArgKind::kQuotedName, u8"\"\""},
      {"\"", ArgKind::kQuotedName, u8"\"\"\""},
      {std::string("A\0B", 3), ArgKind::kQuotedName, u8"\"A%00B\""},
      {"\x80/\x87\x90/\x81", ArgKind::kVolumePath, u8"%80/%87%90/%81"},
      // "." and ".." are entries of every subdirectory, not names to escape;
      // an empty name is where a path has two slashes.
      {"/GAMES//../.", ArgKind::kVolumePath, u8"/GAMES//../."},
      {".", ArgKind::kVolumeName, u8"."},
      {"..", ArgKind::kQuotedName, u8"\"..\""},
      {"\x80", ArgKind::kAsIs, u8"\x80"},
  };
  for (const Case& c : cases) EXPECT_EQ(shown_volume_text(c.cp932, c.kind), utf8(c.shown)) << c.cp932;
}

TEST(UserTextTest, TurnsTypedPathsIntoCodePage932) {
  struct Case {
    const char* what;
    std::string typed;
    std::optional<std::string> bytes;  // nothing: refused
  };
  const std::vector<Case> cases = {
      {"ASCII, backslash, tilde", "GAMES/A\\B~", "GAMES/A\\B~"},
      {"kanji and katakana", utf8(u8"漢字/ゲーム"), "\x8A\xBF\x8E\x9A/\x83Q\x81[\x83\x80"},
      {"half-width katakana", utf8(u8"ｱｲﾟ"), "\xB1\xB2\xDF"},
      {"canonical code: JIS before NEC row 13", utf8(u8"≒∵"), "\x81\xE0\x81\xE6"},
      {"canonical code: NEC row 13 before IBM", utf8(u8"①Ⅰ"), "\x87\x40\x87\x54"},
      {"canonical code: IBM before NEC-selected", utf8(u8"ⅰ纊￢"), "\xFA\x40\xFA\x5C\x81\xCA"},
      {"%XX in either case; %2F a '/' of a name", "%41%2f%e9%FD/B", "A\r\xE9\xFD/B"},
      {"0x0D, which no name holds", "A%0D", std::nullopt},
      {"0x0D typed as it is", "A\r", std::nullopt},
      {"%25 is '%'", "100%25", "100%"},
      {"'%' without two hex digits", "%%4%zz%4", "%%4%zz%4"},
      {"empty", "", ""},
      {"no code page 932 character", utf8(u8"é"), std::nullopt},
      {"outside the BMP", utf8(u8"A😀"), std::nullopt},
      {"yen sign is not 0x5C", utf8(u8"¥"), std::nullopt},
      {"overline is not 0x7E", utf8(u8"‾"), std::nullopt},
      {"minus sign is not the full-width minus", utf8(u8"−"), std::nullopt},
      {"wave dash is not the full-width tilde", utf8(u8"〜"), std::nullopt},
      {"not UTF-8", "A\xFF", std::nullopt},
      {"cut short", "\xE6\xBC", std::nullopt},
      {"overlong '/'", "\xC0\xAF", std::nullopt},
      {"surrogate", "\xED\xA0\x80", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(path_from_utf8(c.typed), c.bytes) << c.what;
}

}  // namespace
}  // namespace tarnwick
