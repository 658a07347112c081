// Host names for volume names, under the POSIX and the Windows rules alike
// (the mapping is the same code on both; only the rules differ).
#include "host/host_name.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/host_path.h"

namespace tarnwick {
namespace {

constexpr NameRules kPosix{false};
constexpr NameRules kWindows{true};

std::string utf8(const std::u32string& s) { return native_text(s); }
std::string utf8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

struct NameCase {
  const char* what;
  std::string volume;  // Shift_JIS bytes
  const char8_t* posix;
  const char8_t* windows;
};

TEST(HostNameTest, MapsVolumeNames) {
  const std::vector<NameCase> cases = {
      {"ASCII", "HELLO 2", u8"HELLO 2", u8"HELLO 2"},
      {"kanji", "\x8A\xBF\x8E\x9A\x83t\x83@\x83" "C\x83\x8B", u8"漢字ファイル", u8"漢字ファイル"},
      {"half-width katakana", "\xB1\xB2\xB3\xDF\xA1", u8"ｱｲｳﾟ｡", u8"ｱｲｳﾟ｡"},
      {"0x5C is a backslash", "A\\B", u8"A\\B", u8"A%5CB"},
      {"0x7E is a tilde", "A~B", u8"A~B", u8"A~B"},
      {"slash", "A/B", u8"A%2FB", u8"A%2FB"},
      {"percent", "100%", u8"100%25", u8"100%25"},
      {"control bytes", std::string("A\x00\x01\x1F\x7F", 5), u8"A%00%01%1F%7F", u8"A%00%01%1F%7F"},
      {"Windows characters", "a:b*c?\"<>|", u8"a:b*c?\"<>|", u8"a%3Ab%2Ac%3F%22%3C%3E%7C"},
      {"one-byte non-characters", "\x80\xA0\xFD\xFE\xFF", u8"%80%A0%FD%FE%FF", u8"%80%A0%FD%FE%FF"},
      {"unassigned pair: lead byte only", "\x85\x40Z", u8"%85@Z", u8"%85@Z"},
      {"lead byte at the end", "A\x81", u8"A%81", u8"A%81"},
      {"lead byte, no trail byte", "\x81\x0D", u8"%81%0D", u8"%81%0D"},
      {"second code of a character", "\x87\x90\xED\x40", u8"%87%90%ED%40", u8"%87%90%ED%40"},
      {"first code of the same", "\x81\xE0\xFA\x5C", u8"≒纊", u8"≒纊"},
      {"device names", "CON", u8"CON", u8"CO%4E"},
      {"device name, extension", "nul.txt", u8"nul.txt", u8"nu%6C.txt"},
      {"device name, blank", "Aux .b", u8"Aux .b", u8"Au%78 .b"},
      {"numbered devices", "COM1", u8"COM1", u8"COM%31"},
      {"numbered device, extension", "lpt9.A.B", u8"lpt9.A.B", u8"lpt%39.A.B"},
      {"not devices", "COM0", u8"COM0", u8"COM0"},
      {"not devices either", "CONSOLE", u8"CONSOLE", u8"CONSOLE"},
      {"trailing dot", "ABC.", u8"ABC.", u8"ABC%2E"},
      {"trailing blank", "AB ", u8"AB ", u8"AB%20"},
      {"dot", ".", u8"%2E", u8"%2E"},
      {"dot dot", "..", u8".%2E", u8".%2E"},
      {"empty", "", u8"%0D", u8"%0D"},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(utf8(host_name(c.volume, kPosix)), utf8(c.posix)) << c.what;
    EXPECT_EQ(utf8(host_name(c.volume, kWindows)), utf8(c.windows)) << c.what;
    // The way back gives the same bytes: the two mappings are one to one.
    // (A name holds no 0x0D; it would end the name field. No path names the
    // empty name.)
    if (c.volume.empty() || c.volume.find('\x0D') != std::string::npos) continue;
    EXPECT_EQ(volume_name(host_name(c.volume, kPosix)), c.volume) << c.what;
    EXPECT_EQ(volume_name(host_name(c.volume, kWindows)), c.volume) << c.what;
  }
}

TEST(HostNameTest, HostNamesThatXDoesNotWriteMapBackToo) {
  const std::vector<std::pair<std::u32string, std::optional<std::string>>> cases = {
      {U"%2f%7e", "/~"},                  // hex digits in either case
      {U"50%", "50%"},                    // a '%' without two hex digits is itself
      {U"%4G%", "%4G%"},
      {U"A~2", "A~2"},                    // X's suffix stays part of the name
      {U"ｶﾅ漢", "\xB6\xC5\x8A\xBF"},
      {U"\u00E9", std::nullopt},           // no code in code page 932
      {U"\U0001F600", std::nullopt},
      {U"A%0DB", std::nullopt},           // a 0x0D would end the name
      {U"%0D", std::nullopt},             // the empty name, which no path names
  };
  for (const auto& [host, volume] : cases) EXPECT_EQ(volume_name(host), volume) << utf8(host);
}

TEST(HostNameTest, DuplicatesGetANumberBeforeTheExtension) {
  struct Claim {
    NameRules rules;
    std::vector<std::u32string> wanted;
    std::vector<std::u32string> given;
  };
  const std::vector<Claim> claims = {
      {kPosix, {U"A.mzt", U"A.mzt", U"A.mzt", U"A", U"A"}, {U"A.mzt", U"A~2.mzt", U"A~3.mzt", U"A", U"A~2"}},
      {kPosix, {U"A~2.mzt", U"A.mzt", U"A.mzt"}, {U"A~2.mzt", U"A.mzt", U"A~3.mzt"}},
      {kPosix, {U"A.B.bsd", U"A.B.bsd", U".X", U".X"}, {U"A.B.bsd", U"A.B~2.bsd", U".X", U".X~2"}},
      {kPosix, {U"abc", U"ABC"}, {U"abc", U"ABC"}},
      {kWindows, {U"abc.mzt", U"ABC.MZT", U"Abc.mzt"}, {U"abc.mzt", U"ABC~2.MZT", U"Abc~3.mzt"}},
      {kWindows, {U"ａβж\u2170", U"ＡΒЖ\u2160"}, {U"ａβж\u2170", U"ＡΒЖ\u2160~2"}},
  };
  for (const Claim& c : claims) {
    FolderNames names(c.rules);
    for (size_t i = 0; i < c.wanted.size(); ++i) {
      EXPECT_EQ(utf8(names.claim(c.wanted[i])), utf8(c.given[i])) << utf8(c.wanted[i]) << " " << i;
    }
  }
  FolderNames many(kPosix);
  for (int n = 1; n <= 12; ++n) many.claim(U"F.brd");
  EXPECT_EQ(utf8(many.claim(U"F.brd")), "F~13.brd");
}

}  // namespace
}  // namespace tarnwick
